// The parser's grammar, the tree it builds, and where it leaves NUL bytes in
// the text copy. Runs natively under the sanitizers and under Wine.
#include "xml/xml.h"

#include <gtest/gtest.h>

#include <string.h>
#include <string>
#include <vector>

namespace {

struct Parsed {
    XmlDocument *document;
    explicit Parsed(const std::string &text, int lenient = 0)
        : document(ParseDocument(text.data(), (int32_t)text.size(), lenient)) {}
    ~Parsed() { FreeDocument(document); }
    XmlNode &Node(XmlCount i) { return document->nodes[i]; }
    XmlNode &Root() { return document->nodes[document->count - 1]; }
    // Offset of a string of the tree inside the text copy.
    size_t Offset(const char *p) const { return (size_t)(p - document->buffer); }
};

const std::string kProlog = "<?xml version=\"1.0\"?>";

bool Parses(const std::string &text, int lenient = 0)
{
    Parsed parsed(text, lenient);
    return parsed.document != 0;
}

XmlNode &Child(XmlNode &node, XmlCount i)
{
    return node.children->items[i];
}

TEST(Parse, PrologThenElementGivesTwoTopLevelNodes)
{
    Parsed p("<?xml version=\"1.0\"encoding=\"UTF-8\"?><root/>");
    ASSERT_TRUE(p.document);
    ASSERT_EQ(2u, p.document->count);
    EXPECT_STREQ("?xml", p.Node(0).name);
    ASSERT_EQ(2u, p.Node(0).attributeCount);
    EXPECT_STREQ("version", p.Node(0).attributes[0].name);
    EXPECT_STREQ("1.0", p.Node(0).attributes[0].value);
    EXPECT_STREQ("encoding", p.Node(0).attributes[1].name);  // right after the closing quote
    EXPECT_STREQ("", p.Node(0).text);
    EXPECT_STREQ("root", p.Node(1).name);
    EXPECT_EQ(0, p.Node(1).children);
    EXPECT_EQ(0, p.Node(1).attributes);
}

TEST(Parse, PrologPlacement)
{
    EXPECT_TRUE(Parses("\xEF\xBB\xBF" + kProlog + "<r/>"));
    EXPECT_TRUE(Parses("\r\n\r\n\r\n" + kProlog + "<r/>"));        // six bytes before
    EXPECT_FALSE(Parses("\r\n\r\n\r\n\n" + kProlog + "<r/>"));     // seven bytes before
    EXPECT_FALSE(Parses("<?xml?><r/>"));                            // no blank behind "<?xml"
    EXPECT_FALSE(Parses("<r/>" + kProlog));
    EXPECT_FALSE(Parses(std::string("\xFF\xFE<\0?\0x\0m\0l\0 \0", 14) + "<r/>"));  // UTF-16
    EXPECT_FALSE(Parses(std::string("  \0<?xml <r/>", 13)));      // NUL ends the window
    EXPECT_FALSE(Parses(""));
    EXPECT_FALSE(Parses("no markup at all"));
    EXPECT_FALSE(Parses("no markup at all", 1));
}

TEST(Parse, TextIsLeadingContentWithTrailingWhiteSpaceKept)
{
    Parsed p(kProlog + "<r>  word other  </r>");
    ASSERT_TRUE(p.document);
    EXPECT_STREQ("word other  ", p.Root().text);

    Parsed q(kProlog + "<r>\n  <c>x</c></r>");
    ASSERT_TRUE(q.document);
    EXPECT_STREQ("", q.Root().text);
    ASSERT_TRUE(q.Root().children);
    EXPECT_EQ(1u, q.Root().children->count);
    EXPECT_STREQ("x", Child(q.Root(), 0).text);
}

TEST(Parse, AttributeSyntax)
{
    EXPECT_FALSE(Parses(kProlog + "<r a='1'/>"));
    EXPECT_FALSE(Parses(kProlog + "<r a=1/>"));
    EXPECT_FALSE(Parses(kProlog + "<r a = \"1\"/>"));
    EXPECT_FALSE(Parses(kProlog + "<r a=\"1/>"));
    EXPECT_FALSE(Parses(kProlog + "<r a=\"x>y\"></r>"));  // no quoting protects ">"

    Parsed p(kProlog + "<r a=\"1\" b=\"\"c=\"has blanks\" bare/>");
    ASSERT_TRUE(p.document);
    XmlNode &r = p.Root();
    ASSERT_EQ(3u, r.attributeCount);  // the trailing bare word is dropped
    EXPECT_STREQ("b", r.attributes[1].name);
    EXPECT_STREQ("", r.attributes[1].value);
    EXPECT_STREQ("c", r.attributes[2].name);  // right after the closing quote
    EXPECT_STREQ("has blanks", r.attributes[2].value);

    Parsed q(kProlog + "<r bare x=\"1\" x=\"2\"></r>");
    ASSERT_TRUE(q.document);
    ASSERT_EQ(3u, q.Root().attributeCount);
    EXPECT_STREQ("bare", q.Root().attributes[0].name);
    EXPECT_STREQ("", q.Root().attributes[0].value);
    EXPECT_STREQ("2", q.Root().attributes[2].value);  // duplicates kept in order
}

// The tag's end is its first ">", with a "/" right before it for an
// empty-element tag; a "/" elsewhere is part of a name or value.
TEST(Parse, AttributesAroundTheTagEnd)
{
    EXPECT_FALSE(Parses(kProlog + "<r a=/>"));
    EXPECT_FALSE(Parses(kProlog + "<r a=>x</r>"));
    EXPECT_FALSE(Parses(kProlog + "<r a=\"/>"));
    EXPECT_FALSE(Parses(kProlog + "<r a=\"x\" b=\"y>z\"/>"));
    Parsed bare(kProlog + "<r a/>");
    ASSERT_TRUE(bare.document);
    EXPECT_EQ(0u, bare.Root().attributeCount);
    Parsed slash(kProlog + "<r / ></r>");  // a lone "/" is a name
    ASSERT_TRUE(slash.document);
    ASSERT_EQ(1u, slash.Root().attributeCount);
    EXPECT_STREQ("/", slash.Root().attributes[0].name);
    Parsed values(kProlog + "<r a=\"x/\" b=\"1/\"/>");
    ASSERT_TRUE(values.document);
    EXPECT_STREQ("x/", values.Root().attributes[0].value);
    EXPECT_STREQ("1/", values.Root().attributes[1].value);
    EXPECT_EQ(0, values.Root().children);
}

TEST(Parse, EntitiesDecodedOnceLeftToRight)
{
    Parsed p(kProlog + "<r a=\"&lt;&gt;&amp;&quot;&apos;\">&amp;lt; &#65; &bogus; &</r>");
    ASSERT_TRUE(p.document);
    EXPECT_STREQ("<>&\"'", p.Root().attributes[0].value);
    EXPECT_STREQ("&lt; &#65; &bogus; &", p.Root().text);
}

TEST(Parse, CDataKeptRawAndStoredAsChild)
{
    Parsed p(kProlog + "<r><![CDATA[&lt;a> ] ]> x]]></r>");
    ASSERT_TRUE(p.document);
    ASSERT_TRUE(p.Root().children);
    XmlNode &cdata = Child(p.Root(), 0);
    EXPECT_STREQ(XML_CDATA_NAME, cdata.name);
    EXPECT_STREQ("&lt;a> ] ]> x", cdata.text + 0);
    EXPECT_FALSE(Parses(kProlog + "<r><![CDATA[never closed</r>"));
}

TEST(Parse, CommentsLeaveNoNode)
{
    Parsed p(kProlog + "<!-- top --><r><a/><!-- between --><b/></r>");
    ASSERT_TRUE(p.document);
    ASSERT_EQ(2u, p.document->count);
    ASSERT_EQ(2u, p.Root().children->count);
    EXPECT_STREQ("a", Child(p.Root(), 0).name);
    EXPECT_STREQ("b", Child(p.Root(), 1).name);

    Parsed only(kProlog + "<r><!-- alone --></r>");
    ASSERT_TRUE(only.document);
    EXPECT_EQ(0, only.Root().children);
    EXPECT_FALSE(Parses(kProlog + "<r><!-- open </r>"));
}

TEST(Parse, InstructionsAndDeclarationsOnlyAtTopLevel)
{
    Parsed p(kProlog + "<!DOCTYPE build last><?zyn version=\"2\"?><build><?x y?></?x></build>");
    ASSERT_TRUE(p.document);
    ASSERT_EQ(4u, p.document->count);
    EXPECT_STREQ("!DOCTYPE", p.Node(1).name);
    ASSERT_EQ(1u, p.Node(1).attributeCount);
    EXPECT_STREQ("build", p.Node(1).attributes[0].name);
    EXPECT_STREQ("?zyn", p.Node(2).name);
    EXPECT_STREQ("2", p.Node(2).attributes[0].value);
    // Inside an element "<?x y?>" is an element named "?x" that needs an end tag.
    XmlNode &inner = Child(p.Root(), 0);
    EXPECT_STREQ("?x", inner.name);
    EXPECT_FALSE(Parses(kProlog + "<build><?x y?></build>"));
    EXPECT_FALSE(Parses(kProlog + "<?zyn version=\"2\""));
}

TEST(Parse, ElementErrors)
{
    EXPECT_FALSE(Parses(kProlog + "<r>"));                  // content without "<"
    EXPECT_FALSE(Parses(kProlog + "<r>text"));
    EXPECT_FALSE(Parses(kProlog + "<r></R>"));              // case matters in XML mode
    EXPECT_FALSE(Parses(kProlog + "<r></r >"));             // ">" must follow at once
    EXPECT_FALSE(Parses(kProlog + "<r></r"));               // ">" outside the input
    EXPECT_FALSE(Parses(kProlog + "<r><a></r>"));           // missing end tag
    EXPECT_FALSE(Parses(kProlog + "<r a=\"1\""));           // start tag without ">"
    EXPECT_FALSE(Parses(kProlog + "<rootname"));            // name runs to the end
    EXPECT_TRUE(Parses(kProlog + "<r>\n</r>\n"));
}

TEST(Parse, TopLevelMayEndWithoutAnotherTag)
{
    // A complete last construct needs no "<" behind it.
    EXPECT_TRUE(Parses(kProlog + "<r></r><!-- trailing -->"));
    EXPECT_TRUE(Parses(kProlog + "<r/>"));
    EXPECT_TRUE(Parses(kProlog + "<r></r> trailing text"));
    Parsed prologOnly(kProlog);  // the instruction is a stored node, but there is no root
    ASSERT_TRUE(prologOnly.document);
    XmlNode *root = 0;
    EXPECT_EQ(0, FindRoot(prologOnly.document, &root));
}

TEST(Parse, EmptyNamesLeaveNoNode)
{
    const std::string text = kProlog + "<?><r>< k=\"&amp;\">t&amp;<c a=\"&lt;\"/></><d/></r>";
    Parsed p(text);
    ASSERT_TRUE(p.document);
    ASSERT_EQ(2u, p.document->count);  // "<?>" gives no instruction node
    XmlNode &r = p.Root();
    ASSERT_EQ(1u, r.children->count);  // the nameless element goes with its child
    EXPECT_STREQ("d", Child(r, 0).name);
    // Its own strings stay undecoded in the copy; its child's were decoded.
    const std::string copy(p.document->buffer, p.document->buffer + text.size());
    EXPECT_NE(std::string::npos, copy.find("&amp;\0t&amp;"));
    EXPECT_NE(std::string::npos, copy.find(std::string("a\0\"<\0\0\0\0\0>", 10)));
}

TEST(Parse, EmbeddedNulEndsNamesAndDecoding)
{
    const std::string text = kProlog + std::string("<r\0x>&amp;\0&amp;</r>", 20);
    Parsed p(text);
    ASSERT_TRUE(p.document);
    EXPECT_STREQ("r", p.Root().name);  // the end tag matches the name up to its NUL
    const char *content = p.document->buffer + text.find("&amp;");
    EXPECT_EQ(0, memcmp(content, "&\0\0\0\0\0&amp;", 11));  // decoded only before the NUL
}

TEST(Parse, ManyAttributesInOneTag)
{
    std::string text = kProlog + "<r";
    for (int i = 0; i < 3000; ++i)
        text += " a" + std::to_string(i) + "=\"" + std::to_string(i) + "&amp;\"";
    text += "><c k=\"v\"/></r>";
    Parsed p(text);
    ASSERT_TRUE(p.document);
    ASSERT_EQ(3000u, p.Root().attributeCount);
    EXPECT_STREQ("a0", p.Root().attributes[0].name);
    EXPECT_STREQ("2999&", p.Root().attributes[2999].value);
    EXPECT_STREQ("v", Child(p.Root(), 0).attributes[0].value);
}

TEST(Parse, MixedContentIsSkippedInTheTree)
{
    Parsed p(kProlog + "<r>head<a>x</a>tail<b/>more</r>");
    ASSERT_TRUE(p.document);
    EXPECT_STREQ("head", p.Root().text);
    ASSERT_EQ(2u, p.Root().children->count);
    EXPECT_STREQ("b", Child(p.Root(), 1).name);
}

// Every place where the parser leaves a NUL in the copy, and nowhere else.
TEST(Parse, NulPlacementInTheTextCopy)
{
    const std::string text = kProlog + "<r k=\"v\" e>a<!--c--><x/><y z=\"1\"/><![CDATA[d]]>b</r>";
    Parsed p(text);
    ASSERT_TRUE(p.document);
    // Each mark: a piece found after the previous one, and the offset of the NUL in it.
    const struct {
        const char *piece;
        size_t offset;
    } marks[] = {
        {" version", 0}, // instruction name end
        {"=\"1.0", 0},   // attribute name end
        {"\"?>", 0},     // closing quote of the value
        {"?>", 0},       // first character of the terminator
        {" k=", 0},      // element name end
        {"=\"v", 0},     // attribute name end
        {"\" e", 0},     // closing quote; the bare "e" ends the tag and is dropped
        {">a", 0},       // closing ">" of a start tag with attributes
        {"<!--", 0},     // "<" in front of a comment
        {"<x/>", 0},     // "<" of a child
        {"/>", 0},       // "/" of an empty-element tag
        {"<y", 0},
        {" z", 0},
        {"=\"1", 0},
        {"\"/>", 0},
        {"/>", 0},       // "/" before ">" of an empty-element tag with attributes
        {"<![CDATA[", 0},
        {"[d", 0},       // "[" that ends "![CDATA["
        {"]]>", 0},      // first "]" of "]]>"
        {"</r>", 0},     // "<" of the end tag
    };
    std::vector<size_t> expected;
    size_t at = 0;
    for (const auto &mark : marks) {
        at = text.find(mark.piece, at);
        ASSERT_NE(std::string::npos, at) << mark.piece;
        expected.push_back(at + mark.offset);
        ++at;
    }
    std::vector<size_t> found;
    for (size_t i = 0; i < text.size(); ++i)
        if (p.document->buffer[i] == 0)
            found.push_back(i);
    EXPECT_EQ(expected, found);
    EXPECT_EQ(0, p.document->buffer[text.size()]);
    // The end tag's "/", name and ">" follow its NUL intact, and so does the comment.
    EXPECT_EQ(0, memcmp(p.document->buffer + text.find("</r>") + 1, "/r>", 3));
    EXPECT_EQ(0, memcmp(p.document->buffer + text.find("<!--") + 1, "!--c-->", 7));
}

TEST(Parse, CallerBufferUntouched)
{
    std::string text = kProlog + "<r a=\"&amp;\">t</r>";
    const std::string copy = text;
    Parsed p(text);
    ASSERT_TRUE(p.document);
    EXPECT_EQ(copy, text);
    EXPECT_NE(text.data(), p.document->buffer);
}

TEST(Parse, LenientMode)
{
    Parsed p("<html><Head><META x><meta name=\"robots\" content=\"n\"><title>t</title></hEAD>"
             "<body>b<INPUT type=\"x\"></BODY></HTML>",
             1);
    ASSERT_TRUE(p.document);
    XmlNode &html = p.Root();
    EXPECT_STREQ("HTML", html.name);
    ASSERT_EQ(2u, html.children->count);
    EXPECT_STREQ("HEAD", Child(html, 0).name);
    ASSERT_EQ(1u, Child(html, 0).children->count);  // META and robots skipped
    EXPECT_STREQ("title", Child(Child(html, 0), 0).name);
    EXPECT_STREQ("BODY", Child(html, 1).name);
    EXPECT_EQ(0, Child(html, 1).children);
    EXPECT_FALSE(Parses("<html><META x</html>", 1));

    Parsed empty("<r><body/><head a=\"1\"/></r>", 1);  // only "<name/>" keeps its case
    ASSERT_TRUE(empty.document);
    EXPECT_STREQ("body", Child(empty.Root(), 0).name);
    EXPECT_STREQ("HEAD", Child(empty.Root(), 1).name);
    EXPECT_FALSE(Parses("<r></R>"));
    EXPECT_TRUE(Parses("<r></R>", 1));
}

TEST(Parse, DepthLimit)
{
    auto nested = [](int levels) {
        std::string text = kProlog;
        for (int i = 0; i < levels; ++i)
            text += "<a>";
        text += "x";
        for (int i = 0; i < levels; ++i)
            text += "</a>";
        return text;
    };
    EXPECT_TRUE(Parses(nested(XML_MAX_DEPTH)));
    EXPECT_FALSE(Parses(nested(XML_MAX_DEPTH + 1)));
    // The limit holds for every construct, a comment at the deepest level too.
    std::string commented = nested(XML_MAX_DEPTH);
    commented.insert(commented.rfind('x'), "<!--c-->");
    EXPECT_FALSE(Parses(commented));
    commented = nested(XML_MAX_DEPTH - 1);
    commented.insert(commented.rfind('x'), "<!--c-->");
    EXPECT_TRUE(Parses(commented));
    EXPECT_FALSE(Parses(nested(100000)));  // fails cleanly instead of exhausting the stack
}

TEST(Parse, WideDocument)
{
    std::string text = kProlog + "<r>";
    for (int i = 0; i < 20000; ++i)
        text += "<i n=\"" + std::to_string(i) + "\"/>";
    text += "</r>";
    Parsed p(text);
    ASSERT_TRUE(p.document);
    ASSERT_EQ(20000u, p.Root().children->count);
    EXPECT_STREQ("19999", Child(p.Root(), 19999).attributes[0].value);
}

// A long list of children inside other elements, with siblings on both sides
// and elements still open around it, and more elements behind it.
TEST(Parse, LongChildListAmongOtherElements)
{
    std::string text = kProlog + "<r><a/><w k=\"1\">";
    for (int i = 0; i < 5000; ++i)
        text += "<i n=\"" + std::to_string(i) + "\">t" + std::to_string(i) + "</i>";
    text += "</w><b x=\"2\"><c/>";
    for (int i = 0; i < 1500; ++i)
        text += "<d/>";
    text += "</b></r><!-- end -->";
    Parsed p(text);
    ASSERT_TRUE(p.document);
    ASSERT_EQ(2u, p.document->count);
    XmlNode &root = p.Root();
    ASSERT_EQ(3u, root.children->count);
    EXPECT_STREQ("a", Child(root, 0).name);
    XmlNode &w = Child(root, 1);
    EXPECT_STREQ("w", w.name);
    EXPECT_STREQ("1", w.attributes[0].value);
    ASSERT_EQ(5000u, w.children->count);
    EXPECT_STREQ("0", Child(w, 0).attributes[0].value);
    EXPECT_STREQ("t4999", Child(w, 4999).text);
    XmlNode &b = Child(root, 2);
    EXPECT_STREQ("2", b.attributes[0].value);
    ASSERT_EQ(1501u, b.children->count);
    EXPECT_STREQ("c", Child(b, 0).name);
    EXPECT_STREQ("d", Child(b, 1500).name);
}

TEST(Parse, EveryPrefixOfADocumentStaysInBounds)
{
    // Cut anywhere, the input must never be read past its end (the sanitizers
    // and the exact-size copy below catch a stray read).
    const std::string text = kProlog + "<!DOCTYPE d><r a=\"1\" b><c>t&amp;</c><![CDATA[x]]>"
                                       "<!--y--><d/><e f=\"\"/></r>";
    const size_t root = text.find("<r ");
    for (size_t n = 0; n <= text.size(); ++n) {
        std::vector<char> exact(text.begin(), text.begin() + (std::ptrdiff_t)n);
        XmlDocument *document = ParseDocument(exact.data(), (int32_t)n, 0);
        if (n > root) {  // cut inside the root element
            EXPECT_EQ(n == text.size(), document != 0) << n;
        }
        FreeDocument(document);
    }
}

TEST(Parse, NegativeLengthAndFreeing)
{
    EXPECT_EQ(0, ParseDocument("<?xml ", -1, 0));
    EXPECT_EQ(0, FreeDocument(0));
    XmlDocument empty = {0, 0, 0};
    EXPECT_EQ(0, FreeDocument(&empty));  // no text copy: nothing released
}

TEST(Parse, FreeNodeResetsButKeepsStrings)
{
    Parsed p(kProlog + "<r a=\"1\"><c/></r>");
    ASSERT_TRUE(p.document);
    XmlNode &r = p.Root();
    FreeNode(&r);
    EXPECT_EQ(0, r.attributes);
    EXPECT_EQ(0u, r.attributeCount);
    EXPECT_EQ(0, r.children);
    EXPECT_STREQ("r", r.name);
}

TEST(DecodeEntities, InPlace)
{
    char text[] = "a&amp;lt;b&quot;&unknown;&";
    DecodeEntities(text);
    EXPECT_STREQ("a&lt;b\"&unknown;&", text);
    char plain[] = "nothing";
    DecodeEntities(plain);
    EXPECT_STREQ("nothing", plain);
}

} // namespace
