#include <gtest/gtest.h>
#include <tinyxml.h>

#include <climits>
#include <random>
#include <string>

#include "common/third_node.h"
#include "common/third_xml_tool_v2.h"

namespace qarv {
namespace {

std::string Repeat(const std::string& part, int count) {
    std::string out;
    for (int i = 0; i < count; ++i)
        out += part;
    return out;
}

// A node with attributes and children that no lookup in the tests below should reach.
ThirdNode PrefilledNode() {
    ThirdNode node("Old", "old text");
    node.AddAttribute("a", "1");
    node.AddChild(ThirdNode("Child"));
    return node;
}

// ---- records -------------------------------------------------------------------------

TEST(ThirdXmlAttributeTest, FindIgnoresCaseButNotLength) {
    ThirdAttributeList list;
    list.Append(ThirdAttribute("IsFlag", "1"));
    list.Append(ThirdAttribute("isflag", "2"));
    ThirdAttribute found("stale", "stale");
    ASSERT_TRUE(list.Find("ISFLAG", found));
    EXPECT_EQ(found, ThirdAttribute("IsFlag", "1"));  // the first one, name as stored

    EXPECT_FALSE(list.Find("IsFla", found));
    EXPECT_EQ(found.name(), "");
    EXPECT_EQ(found.value(), "");
}

TEST(ThirdXmlAttributeTest, ReplaceOverwritesFirstMatchOnly) {
    ThirdAttributeList list;
    list.Append(ThirdAttribute("Title", "a"));
    list.Append(ThirdAttribute("TITLE", "b"));
    EXPECT_EQ(list.Replace(ThirdAttribute("Title", "new"), "title"), 0);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0], ThirdAttribute("Title", "new"));
    EXPECT_EQ(list[1], ThirdAttribute("TITLE", "b"));

    const ThirdAttributeList before = list;
    EXPECT_EQ(list.Replace(ThirdAttribute("X", "y"), "Missing"), -2);
    EXPECT_EQ(list, before);
}

TEST(ThirdXmlAttributeTest, NumbersAsText) {
    ThirdAttribute attribute("Duration", "");
    attribute.SetIntValue(-1);
    EXPECT_EQ(attribute.value(), "-1");

    ThirdNode node("Element");
    node.AddIntAttribute("Duration", 7);
    node.AddIntAttribute("Big", 4000000000UL);
    std::string value;
    ASSERT_EQ(node.GetAttribute("duration", value), 0);
    EXPECT_EQ(value, "7");
    ASSERT_EQ(node.GetAttribute("Big", value), 0);
    EXPECT_EQ(value, "4000000000");
}

TEST(ThirdXmlNodeTest, NumbersReadAsAtoiDoes) {
    const struct {
        const char* text;
        int expected;
    } cases[] = {
        {" 42abc", 42},
        {"abc", 0},
        {"-7", -7},
        {"+5", 5},
        {"", 0},
        {"\t\n 12", 12},
        {"0x1F", 0},
        {"99999999999", INT_MAX},
        {"-99999999999", INT_MIN},
    };
    for (const auto& c : cases) {
        ThirdNode node("Root");
        node.AddChild(ThirdNode("port", c.text));
        node.AddAttribute("Port", c.text);
        int fromChild = 12345;
        int fromAttribute = 12345;
        EXPECT_EQ(node.GetChildInt("port", fromChild), 0);
        EXPECT_EQ(node.GetIntAttribute("port", fromAttribute), 0);
        EXPECT_EQ(fromChild, c.expected) << '"' << c.text << '"';
        EXPECT_EQ(fromAttribute, c.expected) << '"' << c.text << '"';
    }
}

TEST(ThirdXmlNodeTest, ChildNamesExactAttributeNamesCaseless) {
    ThirdNode root("VideoRoot");
    ThirdNode list("DateList");
    list.AddAttribute("Date", "2014_9_9");
    root.AddChild(list);

    ThirdNode found = PrefilledNode();
    EXPECT_EQ(root.FindChild("datelist", found), -1);
    EXPECT_EQ(root.FindChild("DateLis", found), -1);
    EXPECT_EQ(found, PrefilledNode());
    ASSERT_EQ(root.FindChild("DateList", found), 0);
    EXPECT_EQ(found, list);

    ThirdNode entry("Element");
    entry.AddAttribute("IsFlag", "1");
    std::string value;
    ASSERT_EQ(entry.GetAttribute("isflag", value), 0);
    EXPECT_EQ(value, "1");
}

TEST(ThirdXmlNodeTest, FailedLookupsLeaveOutputUntouched) {
    ThirdNode node("ServerInfo");
    node.AddChild(ThirdNode("url", "http://127.0.0.1:9"));
    node.AddAttribute("IsFlag", "1");

    std::string text = "keep";
    int number = 99;
    EXPECT_EQ(node.GetChildText("URL", text), -1);
    EXPECT_EQ(node.GetChildInt("port", number), -1);
    EXPECT_EQ(node.GetAttribute("Title", text), -1);
    EXPECT_EQ(node.GetIntAttribute("Duration", number), -1);
    EXPECT_EQ(text, "keep");
    EXPECT_EQ(number, 99);
}

TEST(ThirdXmlNodeTest, AddAttributeTwiceKeepsBothAndFindsFirst) {
    ThirdNode node("Element");
    node.AddAttribute("Title", "first");
    node.AddAttribute("title", "second");
    ASSERT_EQ(node.attributes().size(), 2u);
    std::string value;
    ASSERT_EQ(node.GetAttribute("TITLE", value), 0);
    EXPECT_EQ(value, "first");
}

TEST(ThirdXmlNodeTest, ChildrenAreCopiedAndRemovedByName) {
    ThirdNode root("Root");
    ThirdNode child("A", "1");
    root.AddChild(child);
    child.set_text("changed after adding");
    root.AddChild(ThirdNode("B", "2"));
    root.AddChild(ThirdNode("A", "3"));
    root.AddChild(ThirdNode("C", "4"));

    std::string text;
    ASSERT_EQ(root.GetChildText("A", text), 0);
    EXPECT_EQ(text, "1");

    root.RemoveChildren("A");
    ASSERT_EQ(root.children().size(), 2u);
    EXPECT_EQ(root.children()[0].name(), "B");
    EXPECT_EQ(root.children()[1].name(), "C");
    root.RemoveChildren("a");  // exact names only
    EXPECT_EQ(root.children().size(), 2u);
}

TEST(ThirdXmlNodeTest, FindChildIntoItsOwnParent) {
    ThirdNode root("Config");
    ThirdNode server("ServerInfo");
    server.AddChild(ThirdNode("url", "http://127.0.0.1:9"));
    root.AddChild(server);
    ASSERT_EQ(root.FindChild("ServerInfo", root), 0);
    EXPECT_EQ(root, server);
}

// ---- parsing --------------------------------------------------------------------------

TEST(ThirdXmlToolTest, ParsesRootTextAttributesAndChildrenInOrder) {
    ThirdXmlToolV2 tool;
    ThirdNode root = PrefilledNode();
    const std::string text =
        "<Root b=\"2\" a=\"1\">root text<First>1</First><!-- note --><Second x='y'/>"
        "<Third><Inner>deep</Inner></Third></Root>";
    ASSERT_EQ(tool.ParseText(text, root), 0);

    EXPECT_EQ(root.name(), "Root");
    EXPECT_EQ(root.text(), "root text");
    ASSERT_EQ(root.attributes().size(), 2u);
    EXPECT_EQ(root.attributes()[0], ThirdAttribute("b", "2"));
    EXPECT_EQ(root.attributes()[1], ThirdAttribute("a", "1"));
    ASSERT_EQ(root.children().size(), 3u);
    EXPECT_EQ(root.children()[0].name(), "First");
    EXPECT_EQ(root.children()[0].text(), "1");
    EXPECT_EQ(root.children()[1].name(), "Second");
    EXPECT_EQ(root.children()[1].attributes()[0], ThirdAttribute("x", "y"));
    ASSERT_EQ(root.children()[2].children().size(), 1u);
    EXPECT_EQ(root.children()[2].children()[0].text(), "deep");
}

TEST(ThirdXmlToolTest, DeclarationOfTheTextReplacesTheTools) {
    ThirdNode root;
    ThirdXmlToolV2 tool(ThirdDeclaration{"1.0", "gb2312", "no"});
    ASSERT_EQ(tool.ParseText("<A/>", root), 0);
    EXPECT_EQ(tool.declaration(), (ThirdDeclaration{"1.0", "gb2312", "no"}));

    ThirdXmlToolV2 plain;
    ASSERT_EQ(plain.ParseText("<?xml version=\"1.0\" encoding=\"gb2312\" ?>\r\n<A/>", root), 0);
    EXPECT_EQ(plain.declaration(), (ThirdDeclaration{"1.0", "gb2312", ""}));
}

TEST(ThirdXmlToolTest, MalformedTextFailsWithRootCleared) {
    const std::string bad[] = {
        "",
        "   \r\n",
        "not xml at all",
        "<A><B></A>",
        "<A>",
        "<A x=\"1></A>",
        "<A x=\"1\" x=\"2\"/>",
        "<?xml version=\"1.0\"?>",          // no root element
        "<!-- only a comment -->",          // no root element
        std::string("<A>x</A>\0<B/>", 13),  // NUL byte
        "<A>&#xZZ;</A>",
    };
    for (const std::string& text : bad) {
        ThirdXmlToolV2 tool;
        ThirdNode root = PrefilledNode();
        EXPECT_EQ(tool.ParseText(text, root), -1) << text;
        EXPECT_TRUE(root.attributes().empty()) << text;
        EXPECT_TRUE(root.children().empty()) << text;
    }
}

TEST(ThirdXmlToolTest, EntitiesCdataCommentsAndByteOrderMark) {
    ThirdXmlToolV2 tool;
    ThirdNode root;
    ASSERT_EQ(tool.ParseText("\xEF\xBB\xBF<?xml version=\"1.0\"?><R t=\"&quot;&apos;&#20013;\">"
                             "<a>x &amp; y &lt; z &gt;</a><b>&#x4E2D;&#25991;</b>"
                             "<c><![CDATA[<not> &amp; parsed]]></c><!-- <d/> --></R>",
                             root),
              0);
    std::string value;
    ASSERT_EQ(root.GetAttribute("t", value), 0);
    EXPECT_EQ(value, "\"'\xE4\xB8\xAD");
    ASSERT_EQ(root.children().size(), 3u);
    EXPECT_EQ(root.children()[0].text(), "x & y < z >");
    EXPECT_EQ(root.children()[1].text(), "\xE4\xB8\xAD\xE6\x96\x87");  // "中文" in UTF-8
    EXPECT_EQ(root.children()[2].text(), "<not> &amp; parsed");
    EXPECT_EQ(tool.declaration().version, "1.0");
}

TEST(ThirdXmlToolTest, NestingBeyondTheLimitIsRefusedWithoutCrashing) {
    ThirdXmlToolV2 tool;
    ThirdNode root;
    const std::string deep = Repeat("<a>", 200000) + Repeat("</a>", 200000);
    EXPECT_EQ(tool.ParseText(deep, root), -1);
    EXPECT_EQ(tool.ParseText(Repeat("<a>", 200000), root), -1);

    const std::string atLimit = Repeat("<a>", kMaxXmlDepth - 1) + "<a/>" + Repeat("</a>", kMaxXmlDepth - 1);
    ASSERT_EQ(tool.ParseText(atLimit, root), 0);
    int depth = 1;
    for (const ThirdNode* node = &root; !node->children().empty(); node = &node->children()[0])
        ++depth;
    EXPECT_EQ(depth, kMaxXmlDepth);
    const std::string overLimit = "<a>" + atLimit + "</a>";
    EXPECT_EQ(tool.ParseText(overLimit, root), -1);

    // Markup inside comments, CDATA and attribute values does not nest.
    const std::string hidden = "<r x=\"" + Repeat("<a>", 1000) + "\"><!--" + Repeat("<a>", 1000) +
                               "--><![CDATA[" + Repeat("<a>", 1000) + "]]>" + Repeat("<b/>", 1000) + "</r>";
    ASSERT_EQ(tool.ParseText(hidden, root), 0);
    EXPECT_EQ(root.children().size(), 1000u);

    // TinyXML's reader may step over a closing quote: a "&#x...;" reference runs to the next
    // ";", and a UTF-8 lead byte takes its following bytes along. What lies inside is then
    // a value, not markup, and the parse keeps it.
    const std::string swallowed[] = {
        "<r a=\"&#x\">" + Repeat("<a>", 1000) + "x1;\"></r>",
        "<r a=\"\xE4\">" + Repeat("<a>", 1000) + "\"></r>",
        "<r>&#x" + Repeat("<a>", 1000) + "x1;</r>",
    };
    for (const std::string& text : swallowed) {
        EXPECT_EQ(tool.ParseText(text, root), 0) << text.substr(0, 20);
        EXPECT_TRUE(root.children().empty()) << text.substr(0, 20);
    }
}

TEST(ThirdXmlToolTest, TooManyAttributesOnOneElementAreRefused) {
    auto element = [](int count) {
        std::string text = "<A";
        for (int i = 0; i < count; ++i)
            text += " a" + std::to_string(i) + "=\"1\"";
        return text + "/>";
    };
    ThirdXmlToolV2 tool;
    ThirdNode root;
    ASSERT_EQ(tool.ParseText(element(kMaxXmlAttributes), root), 0);
    EXPECT_EQ(root.attributes().size(), static_cast<std::size_t>(kMaxXmlAttributes));
    EXPECT_EQ(tool.ParseText(element(kMaxXmlAttributes + 1), root), -1);
}

TEST(ThirdXmlToolTest, TruncatedAndRandomTextNeverCrashes) {
    const std::string document =
        "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"gb2312\" standalone=\"no\" ?>\r\n<Root a='1' "
        "b=\"&amp;\">"
        "t&#x4E2D;\xE4\xB8\xAD<!-- c --><![CDATA[x]]><Child x=\"y\">text</Child><E/></Root>\r\n";
    ThirdXmlToolV2 tool;
    for (std::size_t length = 0; length < document.size(); ++length) {
        ThirdNode root;
        tool.ParseText(document.substr(0, length), root);
    }
    ThirdNode whole;
    EXPECT_EQ(tool.ParseText(document, whole), 0);

    std::mt19937 random(12345);
    const std::string alphabet = "<>/!?-[]=\"'&#x;abAB \r\n\xE4\xB8\xAD\xEF\xBB\xBF";
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        const int size = static_cast<int>(random() % 64);
        for (int i = 0; i < size; ++i)
            text += alphabet[random() % alphabet.size()];
        ThirdNode root;
        tool.ParseText(text, root);
    }
}

TEST(ThirdXmlToolTest, NodeFromElementAndTree) {
    TiXmlElement element("E");
    element.SetAttribute("k", "v");
    element.LinkEndChild(new TiXmlText("t"));
    auto* child = new TiXmlElement("C");
    child->LinkEndChild(new TiXmlElement("G"));
    element.LinkEndChild(child);
    element.LinkEndChild(new TiXmlComment("skipped"));

    ThirdXmlToolV2 tool;
    ThirdNode node;
    node.AddAttribute("before", "0");
    ASSERT_EQ(tool.NodeFromElement(&element, node), 0);
    EXPECT_EQ(node.name(), "E");
    EXPECT_EQ(node.text(), "t");
    ASSERT_EQ(node.attributes().size(), 2u);
    EXPECT_EQ(node.attributes()[1], ThirdAttribute("k", "v"));
    EXPECT_TRUE(node.children().empty());

    ThirdNode tree;
    ASSERT_EQ(tool.NodeTreeFromElement(&element, tree), 0);
    ASSERT_EQ(tree.children().size(), 1u);
    ASSERT_EQ(tree.children()[0].children().size(), 1u);
    EXPECT_EQ(tree.children()[0].children()[0].name(), "G");

    ThirdNode untouched = PrefilledNode();
    EXPECT_EQ(tool.NodeTreeFromElement(nullptr, untouched), 0);
    EXPECT_EQ(untouched, PrefilledNode());
}

// ---- building and printing --------------------------------------------------------------

TEST(ThirdXmlToolTest, ElementFromNodePutsTextFirstAndMergesDuplicateAttributes) {
    ThirdNode node("Element", "game01.mp4");
    node.AddChild(ThirdNode("Child"));
    node.AddAttribute("Title", "first");
    node.AddAttribute("Title", "second");

    TiXmlElement element("");
    ASSERT_EQ(ThirdXmlToolV2().ElementFromNode(node, element), 0);
    EXPECT_EQ(element.ValueStr(), "Element");
    ASSERT_NE(element.FirstChild(), nullptr);
    ASSERT_NE(element.FirstChild()->ToText(), nullptr);
    EXPECT_STREQ(element.FirstChild()->Value(), "game01.mp4");
    ASSERT_NE(element.FirstChild()->NextSibling(), nullptr);
    EXPECT_STREQ(element.FirstChild()->NextSibling()->Value(), "Child");
    ASSERT_NE(element.FirstAttribute(), nullptr);
    EXPECT_EQ(element.FirstAttribute()->Next(), nullptr);
    EXPECT_STREQ(element.Attribute("Title"), "second");
}

TEST(ThirdXmlToolTest, PrintsEmptyElementExactly) {
    std::string text;
    ASSERT_EQ(ThirdXmlToolV2().PrintText(ThirdNode("A"), text), 0);
    EXPECT_EQ(text, "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n<A />\r\n");
}

TEST(ThirdXmlToolTest, PrintsWithIndentLineBreakAndDeclaration) {
    ThirdNode root("VideoRoot");
    ThirdNode list("DateList");
    list.AddAttribute("Date", "2014_9_9");
    ThirdNode entry("Element", "game01.mp4");
    entry.AddAttribute("IsFlag", "0");
    entry.AddAttribute("Title", "a \"b\" & <c>");
    list.AddChild(entry);
    root.AddChild(list);

    ThirdXmlToolV2 tool(ThirdDeclaration{"1.0", "gb2312", "no"});
    std::string text;
    ASSERT_EQ(tool.PrintText(root, text), 0);
    EXPECT_EQ(text,
              "<?xml version=\"1.0\" encoding=\"gb2312\" standalone=\"no\" ?>\r\n"
              "<VideoRoot>\r\n"
              "    <DateList Date=\"2014_9_9\">\r\n"
              "        <Element IsFlag=\"0\" Title='a &quot;b&quot; &amp; &lt;c&gt;'>game01.mp4</Element>\r\n"
              "    </DateList>\r\n"
              "</VideoRoot>\r\n");

    tool.set_indent("  ");
    tool.set_line_break("\n");
    ASSERT_EQ(tool.PrintText(list, text), 0);
    EXPECT_EQ(text,
              "<?xml version=\"1.0\" encoding=\"gb2312\" standalone=\"no\" ?>\n<DateList Date=\"2014_9_9\">\n"
              "  <Element IsFlag=\"0\" Title='a &quot;b&quot; &amp; &lt;c&gt;'>game01.mp4</Element>\n"
              "</DateList>\n");
}

TEST(ThirdXmlToolTest, PrintedTextParsesBackToTheSameTree) {
    const std::string awkward[] = {
        "plain",
        "\xE4\xB8\xAD\xE6\x96\x87 title",
        "&#x41; literally",
        "ends with &#x",
        "&#x\"'<>&",
        "two  spaces",
        " leading and trailing ",
        "tab\tnew\r\nline",
        "quotes \" and '",
        "<tag> & ]]> &amp;",
        "\x01\x1F",
    };
    ThirdNode root("Root");
    for (const std::string& value : awkward) {
        ThirdNode child("Item", value);
        child.AddAttribute("value", value);
        child.AddAttribute("empty", "");
        root.AddChild(child);
    }
    ThirdNode mixed("Mixed", " mixed text ");
    mixed.AddChild(ThirdNode("Inner", "x"));
    root.AddChild(mixed);

    ThirdXmlToolV2 tool;
    std::string text;
    ASSERT_EQ(tool.PrintText(root, text), 0);
    ThirdNode parsed;
    ASSERT_EQ(ThirdXmlToolV2().ParseText(text, parsed), 0) << text;
    EXPECT_EQ(parsed, root) << text;
}

TEST(ThirdXmlToolTest, NamesThatCannotBeReadBackAreRefused) {
    const std::string badNames[] = {"", "1abc", "a b", "a<b", "a\"b", "-x"};
    for (const std::string& name : badNames) {
        std::string text = "unchanged";
        EXPECT_EQ(ThirdXmlToolV2().PrintText(ThirdNode(name), text), -1) << name;
        EXPECT_EQ(text, "unchanged");

        ThirdNode root("Root");
        root.AddAttribute(name, "v");
        EXPECT_EQ(ThirdXmlToolV2().PrintText(root, text), -1) << name;

        ThirdNode parent("Root");
        parent.AddChild(ThirdNode(name));
        TiXmlElement element("");
        EXPECT_EQ(ThirdXmlToolV2().ElementFromNode(parent, element), -1) << name;
    }
    std::string text;
    EXPECT_EQ(ThirdXmlToolV2().PrintText(ThirdNode("ns:a_b-c.d"), text), 0);
    EXPECT_EQ(ThirdXmlToolV2().PrintText(ThirdNode("\xE4\xB8\xAD"), text), 0);
}

TEST(ThirdXmlToolTest, TreesDeeperThanTheLimitAreNotBuilt) {
    ThirdNode chain("a");
    for (int i = 1; i < kMaxXmlDepth; ++i) {
        ThirdNode parent("a");
        parent.children().push_back(std::move(chain));
        chain = std::move(parent);
    }
    std::string text;
    ASSERT_EQ(ThirdXmlToolV2().PrintText(chain, text), 0);
    ThirdNode parsed;
    ASSERT_EQ(ThirdXmlToolV2().ParseText(text, parsed), 0);
    EXPECT_EQ(parsed, chain);

    ThirdNode deeper("a");
    deeper.children().push_back(chain);
    EXPECT_EQ(ThirdXmlToolV2().PrintText(deeper, text), -1);
}

// TinyXML prints a declaration's fields as they are: a quote would end the value, a stray UTF-8
// lead byte would take the closing quote along, and "&" would be read back as an entity.
TEST(ThirdXmlToolTest, DeclarationFieldsThatWouldNotReadBackAreNotPrinted) {
    const ThirdDeclaration declarations[] = {
        {"1.0", "gb\"2312", ""},
        {"\xF4", "", ""},
        {"1.0", "utf-8", "n\xC3"},
        {"1.&#oding=", "gb2312", "no"},
    };
    for (const ThirdDeclaration& declaration : declarations) {
        ThirdXmlToolV2 tool(declaration);
        std::string text = "unchanged";
        EXPECT_EQ(tool.PrintText(ThirdNode("A"), text), -1) << declaration.version;
        EXPECT_EQ(text, "unchanged");
    }
}

}  // namespace
}  // namespace qarv
