// Rendering an element's mixed content out of the document's text copy.
#include "descriptor/render.h"
#include "xml/platform.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>

namespace {

class Render : public ::testing::Test {
protected:
    void SetUp() override
    {
        memset(&machine, 0, sizeof(machine));
        machine.systemLanguageId = 0x0409;
        machine.systemPrimaryLanguage = 0x0009;
    }
    void TearDown() override { FreeDocument(document); }
    // Renders the root element of `body` (the prolog is added).
    std::string RenderRoot(const std::string &body)
    {
        std::string text = "<?xml version=\"1.0\"?>" + body;
        FreeDocument(document);
        document = ParseDocument(text.data(), (int32_t)text.size(), 0);
        EXPECT_TRUE(document);
        XmlNode *root = 0;
        if (!document || !FindRoot(document, &root))
            return "<no document>";
        return Rendered(root);
    }
    std::string Rendered(const XmlNode *node)
    {
        char *result = RenderText(node, document, &machine);
        if (!result)
            return "<null>";
        std::string text = result;
        HeapBlockFree(result);
        return text;
    }
    XmlDocument *document = 0;
    MachineInfo machine;
};

TEST_F(Render, TextAroundACommentIsJoined)
{
    EXPECT_EQ("beforeafter", RenderRoot("<r>before<!-- note -->after</r>"));
    EXPECT_EQ("after", RenderRoot("<r><!-- note -->after</r>"));
    EXPECT_EQ("a&bd", RenderRoot("<r>a&amp;b<!--c-->d</r>"));
}

TEST_F(Render, MachineValuePlaceholder)
{
    EXPECT_EQ("Language0409end", RenderRoot("<r>Language <pd method=\"LANGUAGE\"/> end</r>"));
    EXPECT_EQ("<null>", RenderRoot("<r>x<pd method=\"UNKNOWN\"/></r>"));
    EXPECT_EQ("<null>", RenderRoot("<r>x<pd/></r>"));
}

TEST_F(Render, NestedElementsAndTheirTails)
{
    EXPECT_EQ("axyzt", RenderRoot("<r>a<b>x<c>y</c>z</b>t</r>"));
    EXPECT_EQ("indeepmidtail", RenderRoot("<r><c>in<c>deep</c>mid</c>tail</r>"));
    EXPECT_EQ("onetwo", RenderRoot("<r>one<e/>two</r>"));
    EXPECT_EQ("onetwo", RenderRoot("<r>one<e k=\"v\"/>two</r>"));
}

TEST_F(Render, CDataChildIsRenderedRawAndEndsAtItsBrackets)
{
    EXPECT_EQ("abc", RenderRoot("<r>a<![CDATA[b]]>c</r>"));
    EXPECT_EQ("a<b>&x</b>c", RenderRoot("<r>a<![CDATA[<b>&amp;x</b>]]>c</r>"));
    EXPECT_EQ("xby", RenderRoot("<r><e>x<![CDATA[b]]></e>y</r>"));  // CDATA as the last child
    EXPECT_EQ("ab", RenderRoot("<r><![CDATA[a]]><![CDATA[]]>b</r>"));
}

TEST_F(Render, SelectedData)
{
    const std::string table =
        "<t method=\"LANGUAGE\" default=\"x\"><item id=\"0409\"><data id=\"D\">english</data></item>"
        "<item id=\"x\"><data id=\"D\">default</data></item></t>";
    EXPECT_EQ("[english]", RenderRoot("<r><v>[<gd path=\"/r/t\">D</gd>]</v>" + table + "</r>").substr(0, 9));
    XmlNode *root = 0;
    ASSERT_TRUE(FindRoot(document, &root));
    EXPECT_EQ("[english]", Rendered(&root->children->items[0]));
    RenderRoot("<r><v>[<gd path=\"/r/t\">NOWHERE</gd>]</v>" + table + "</r>");
    ASSERT_TRUE(FindRoot(document, &root));
    EXPECT_EQ("<null>", Rendered(&root->children->items[0]));
}

TEST_F(Render, CopyWithoutTheEndTagFailsInsideTheCopy)
{
    const std::string body = "<r><c>x</c>y</r>";
    EXPECT_EQ("xy", RenderRoot(body));
    size_t endTag = strlen("<?xml version=\"1.0\"?>") + body.find("</c>");
    ASSERT_EQ('/', document->buffer[endTag + 1]);
    document->buffer[endTag + 2] = 'q';  // the element's end can no longer be found
    XmlNode *root = 0;
    ASSERT_TRUE(FindRoot(document, &root));
    EXPECT_EQ("<null>", Rendered(root));
}

} // namespace
