// Path queries over parsed documents.
#include "xml/xml.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char kDescriptor[] =
    "<?xml version=\"1.0\"?><!DOCTYPE build><?zyn version=\"2\"?>"
    "<build><zyn id=\"DORSEL\"><xrelease>"
    "<release>no id</release>"
    "<release id=\"OTHER\">other</release>"
    "<release kind=\"x\" id=\"RELEASE\"><NAME>Dorsel</NAME><VERSION>3.00.0000</VERSION>"
    "<title><![CDATA[raw &amp;]]></title><empty></empty></release>"
    "<release id=\"\">blank</release>"
    "</xrelease></zyn><Case/></build>";

class Query : public ::testing::Test {
protected:
    void SetUp() override
    {
        document = ParseDocument(kDescriptor, (int32_t)sizeof(kDescriptor) - 1, 0);
        ASSERT_TRUE(document);
    }
    void TearDown() override { FreeDocument(document); }
    // Text of the node a path designates, or "<none>".
    std::string Text(const char *path)
    {
        XmlNode *node = 0;
        return QueryPath(path, &node, document) ? node->text : "<none>";
    }
    std::string Name(const char *path)
    {
        XmlNode *node = 0;
        return QueryPath(path, &node, document) ? node->name : "<none>";
    }
    XmlDocument *document;
};

TEST_F(Query, RootIsFirstElementPastInstructionsAndDeclarations)
{
    XmlNode *root = 0;
    ASSERT_EQ(1, FindRoot(document, &root));
    EXPECT_STREQ("build", root->name);
    EXPECT_EQ("build", Name("/build"));
    EXPECT_EQ("build", Name("/build/"));
    EXPECT_EQ("build", Name("/build//zyn/anything"));  // an empty segment ends the walk
    EXPECT_EQ("<none>", Name("/zyn"));
    EXPECT_EQ("<none>", Name("/?zyn"));
}

TEST_F(Query, PredicateChoosesFirstMatchingChild)
{
    EXPECT_EQ("Dorsel", Text("/build/zyn[@id=DORSEL]/xrelease/release[@id=RELEASE]/NAME"));
    EXPECT_EQ("other", Text("/build/zyn[@id=DORSEL]/xrelease/release[@id=OTHER]"));
    EXPECT_EQ("blank", Text("/build/zyn[@id=DORSEL]/xrelease/release[@id=]"));
    EXPECT_EQ("no id", Text("/build/zyn/xrelease/release"));
    EXPECT_EQ("other", Text("/build/zyn/xrelease/release[@id=OTHER]ignored"));
    EXPECT_EQ("<none>", Text("/build/zyn/xrelease/nothing[@id=OTHER]"));
    EXPECT_EQ("<none>", Text("/build/zyn/xrelease/release[@id=MISSING]"));
}

TEST_F(Query, MalformedPathsFail)
{
    EXPECT_EQ("<none>", Name("build"));
    EXPECT_EQ("<none>", Name("/"));
    EXPECT_EQ("<none>", Name(""));
    EXPECT_EQ("<none>", Name("/build/zyn[id=DORSEL]"));
    EXPECT_EQ("<none>", Name("/build/zyn[@id]"));
    EXPECT_EQ("<none>", Name("/build/zyn[@id=DORSEL"));
    XmlNode *node = 0;
    EXPECT_EQ(0, QueryPath(0, &node, document));
    EXPECT_EQ(0, QueryPath("/build", &node, 0));
}

TEST_F(Query, LetterCaseMatters)
{
    EXPECT_EQ("<none>", Name("/Build"));
    EXPECT_EQ("<none>", Name("/build/case"));
    EXPECT_EQ("Case", Name("/build/Case"));
    EXPECT_EQ("<none>", Name("/build/zyn[@ID=DORSEL]"));
    EXPECT_EQ("<none>", Name("/build/zyn[@id=dorsel]"));
}

TEST_F(Query, CDataChildAndLeaves)
{
    EXPECT_EQ("raw &amp;",
              Text("/build/zyn/xrelease/release[@id=RELEASE]/title/![CDATA"));
    // A node without children stops the walk, even for "![CDATA".
    EXPECT_EQ("<none>", Text("/build/zyn/xrelease/release[@id=RELEASE]/empty/![CDATA"));
    EXPECT_EQ("<none>", Text("/build/Case/x"));
}

TEST_F(Query, PathLengthLimit)
{
    std::string path = "/build";
    while (path.size() < XML_PATH_SIZE - 1)
        path += "/";
    EXPECT_EQ("build", Name(path.c_str()));  // 259 characters: within the limit
    path += "/";
    EXPECT_EQ("<none>", Name(path.c_str()));  // 260: refused, never cut
}

} // namespace
