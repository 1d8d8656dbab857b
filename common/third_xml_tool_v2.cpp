#include "common/third_xml_tool_v2.h"

#include <tinyxml.h>

#include <memory>
#include <string_view>
#include <vector>

#include "common/text.h"

namespace qarv {

namespace {

// Narrow strings are UTF-8 on this platform, whatever the declaration of a text says (files
// are decoded to UTF-8 when they are loaded). TinyXML's automatic detection would switch to
// its byte-wise legacy mode for a declaration such as "gb2312" and would then turn character
// references like &#x4E2D; into one truncated byte instead of their UTF-8 sequence.
constexpr TiXmlEncoding kEncoding = TIXML_ENCODING_UTF8;

// TinyXML can step a few bytes past the terminating NUL (after an unterminated comment, CDATA
// section or quoted value, or a multi-byte sequence cut off at the end); these extra NULs
// keep such reads inside the buffer.
constexpr std::size_t kParsePadding = 16;

// TinyXML's own scanning routines (protected members of TiXmlBase), so that the checks below
// read names, white space and markup exactly as the parser does.
class TinyXmlScanner : public TiXmlBase {
  public:
    using TiXmlBase::GetChar;
    using TiXmlBase::IsAlpha;
    using TiXmlBase::IsWhiteSpace;
    using TiXmlBase::ReadName;
    using TiXmlBase::SkipWhiteSpace;
    using TiXmlBase::StringEqual;
};

// Steps over text up to `end` as TinyXML's text reader does (a character, entity or UTF-8
// sequence at a time, so an entity may carry it past what looks like the end), without
// keeping the text. Returns the position of `end`, or null where the reader fails or the text
// runs out first (the parse stops there).
const char* SkipTextTo(const char* p, char end) {
    using X = TinyXmlScanner;
    char character[4];
    int length = 0;
    while (p != nullptr && *p != '\0' && *p != end)
        p = X::GetChar(p, character, &length, kEncoding);
    return p != nullptr && *p == end ? p : nullptr;
}

// Steps over one attribute as TiXmlAttribute::Parse reads it: name, "=", then a value in
// quotes or, unquoted, up to white space, "/" or ">". Null where that parse fails or the text
// runs out.
const char* SkipAttribute(const char* p, std::string& name) {
    using X = TinyXmlScanner;
    p = X::SkipWhiteSpace(p, kEncoding);
    if (p == nullptr || *p == '\0')
        return nullptr;
    p = X::ReadName(p, &name, kEncoding);
    if (p == nullptr || *p == '\0')
        return nullptr;
    p = X::SkipWhiteSpace(p, kEncoding);
    if (p == nullptr || *p != '=')
        return nullptr;
    p = X::SkipWhiteSpace(p + 1, kEncoding);
    if (p == nullptr || *p == '\0')
        return nullptr;
    if (*p == '\'' || *p == '"') {
        p = SkipTextTo(p + 1, *p);
        return p != nullptr ? p + 1 : nullptr;
    }
    while (*p != '\0' && !X::IsWhiteSpace(*p) && *p != '/' && *p != '>') {
        if (*p == '\'' || *p == '"')
            return nullptr;
        ++p;
    }
    return p;
}

// True if `name` is read back by TinyXML as exactly this element or attribute name.
bool IsReadableName(const std::string& name) {
    std::string read;
    const char* end = TinyXmlScanner::ReadName(name.c_str(), &read, kEncoding);
    return end != nullptr && read.size() == name.size();
}

// Follows TiXmlDocument::Parse over `p` without building nodes or recursing: the same calls
// decide where each node ends, so the nesting it sees is the nesting TinyXML's recursive
// parser would reach. Returns false if that exceeds kMaxXmlDepth or an element carries more
// than kMaxXmlAttributes attributes; true otherwise (also where TinyXML would stop with an
// error, which the real parse then reports).
bool WithinParseLimits(const char* p) {
    using X = TinyXmlScanner;
    std::vector<std::string> endTags;  // "</name>" of each open element, innermost last
    std::string name;
    p = X::SkipWhiteSpace(p, kEncoding);
    while (p != nullptr && *p != '\0') {
        if (*p != '<') {
            if (endTags.empty())
                return true;  // the document parser stops at text outside elements
            // Element text runs to the next "<" (leading white space is skipped as GetChar
            // steps over it).
            p = SkipTextTo(p, '<');
            if (p == nullptr)
                return true;
        } else if (!endTags.empty() && X::StringEqual(p, "</", false, kEncoding)) {
            if (!X::StringEqual(p, endTags.back().c_str(), false, kEncoding))
                return true;
            p += endTags.back().size();
            endTags.pop_back();
        } else if (X::StringEqual(p, "<?xml", true, kEncoding)) {
            TiXmlDeclaration declaration;
            p = declaration.Parse(p, nullptr, kEncoding);
        } else if (X::StringEqual(p, "<!--", false, kEncoding)) {
            TiXmlComment comment;
            p = comment.Parse(p, nullptr, kEncoding);
        } else if (X::StringEqual(p, "<![CDATA[", false, kEncoding)) {
            TiXmlText cdata("");
            cdata.SetCDATA(true);
            p = cdata.Parse(p, nullptr, kEncoding);
        } else if (X::StringEqual(p, "<!", false, kEncoding) ||
                   !(X::IsAlpha(static_cast<unsigned char>(p[1]), kEncoding) || p[1] == '_')) {
            TiXmlUnknown unknown;
            p = unknown.Parse(p, nullptr, kEncoding);
        } else {
            // An element: its name and attributes as TiXmlElement::Parse reads them.
            if (endTags.size() >= static_cast<std::size_t>(kMaxXmlDepth))
                return false;
            p = X::ReadName(X::SkipWhiteSpace(p + 1, kEncoding), &name, kEncoding);
            int attributes = 0;
            while (true) {
                p = X::SkipWhiteSpace(p, kEncoding);
                if (p == nullptr || *p == '\0')
                    return true;
                if (*p == '/') {
                    if (p[1] != '>')
                        return true;
                    p += 2;
                    break;
                }
                if (*p == '>') {
                    ++p;
                    endTags.push_back("</" + name + ">");
                    break;
                }
                if (++attributes > kMaxXmlAttributes)
                    return false;
                p = SkipAttribute(p, name);
            }
        }
        p = X::SkipWhiteSpace(p, kEncoding);
    }
    return true;
}

// TinyXML's parser condenses white space in element text (trims both ends, folds runs into
// one space). Text whose spaces would change that way is written as a CDATA section, which
// is read verbatim, unless it contains "]]>" (which would end the section) or a control
// character (written as a character reference outside CDATA it survives, while a raw CR in
// CDATA would be turned into LF by the line break normalization of a file load).
bool NeedsCdataForSpaces(std::string_view text) {
    if (text.find_first_not_of(' ') == std::string_view::npos)
        return false;  // reads back empty anyway
    if (text.front() != ' ' && text.back() != ' ' && text.find("  ") == std::string_view::npos)
        return false;
    if (text.find("]]>") != std::string_view::npos)
        return false;
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x20)
            return false;
    }
    return true;
}

// TinyXML prints a declaration's fields unescaped and reads them as attribute values: a quote
// would end the value, "&" would start an entity, and a stray UTF-8 lead byte would take the
// closing quote with it. Such a field would not read back.
bool IsPrintableDeclarationField(const std::string& field) {
    return field.find_first_of(std::string_view("\"&\0", 3)) == std::string::npos && IsValidUtf8(field);
}

}  // namespace

ThirdXmlToolV2::ThirdXmlToolV2(const ThirdDeclaration& declaration) : declaration_(declaration) {}

int ThirdXmlToolV2::ParseText(const std::string& text, ThirdNode& root) {
    root.attributes().Clear();
    root.children().clear();
    // XML text holds no NUL; TinyXML would silently stop reading at the first one.
    if (text.find('\0') != std::string::npos)
        return -1;

    std::string buffer;
    buffer.reserve(text.size() + kParsePadding);
    buffer = text;
    buffer.append(kParsePadding, '\0');
    if (!WithinParseLimits(buffer.c_str()))
        return -1;

    TiXmlDocument document;
    document.Parse(buffer.c_str(), nullptr, kEncoding);
    if (document.Error())
        return -1;

    const TiXmlNode* first = document.FirstChild();
    if (const TiXmlDeclaration* found = first != nullptr ? first->ToDeclaration() : nullptr) {
        declaration_.version = found->Version();
        declaration_.encoding = found->Encoding();
        declaration_.standalone = found->Standalone();
    }
    const TiXmlElement* rootElement = document.RootElement();
    if (rootElement == nullptr)
        return -1;
    return NodeTreeFromElement(rootElement, root);
}

int ThirdXmlToolV2::NodeFromElement(const TiXmlElement* element, ThirdNode& node) const {
    if (element == nullptr)
        return -1;
    node.set_name(element->ValueStr());
    // The element's text is its first child when that is text (TiXmlElement::GetText, but
    // taken whole: a character reference may have put a NUL into it).
    const TiXmlNode* first = element->FirstChild();
    const TiXmlText* text = first != nullptr ? first->ToText() : nullptr;
    node.set_text(text != nullptr ? text->ValueStr() : std::string());
    std::size_t count = 0;
    for (const TiXmlAttribute* attribute = element->FirstAttribute(); attribute != nullptr;
         attribute = attribute->Next()) {
        ++count;
    }
    node.attributes().Reserve(node.attributes().size() + count);
    for (const TiXmlAttribute* attribute = element->FirstAttribute(); attribute != nullptr;
         attribute = attribute->Next()) {
        node.attributes().Append(ThirdAttribute(attribute->NameTStr(), attribute->ValueStr()));
    }
    return 0;
}

int ThirdXmlToolV2::NodeTreeFromElement(const TiXmlElement* element, ThirdNode& node) const {
    return NodeTreeFromElement(element, node, 1);
}

int ThirdXmlToolV2::NodeTreeFromElement(const TiXmlElement* element, ThirdNode& node, int depth) const {
    if (element == nullptr)
        return 0;
    if (depth > kMaxXmlDepth)
        return -1;
    const int result = NodeFromElement(element, node);
    if (result != 0)
        return result;
    for (const TiXmlElement* child = element->FirstChildElement(); child != nullptr;
         child = child->NextSiblingElement()) {
        ThirdNode childNode;
        const int childResult = NodeTreeFromElement(child, childNode, depth + 1);
        if (childResult != 0)
            return childResult;
        node.children().push_back(std::move(childNode));
    }
    return 0;
}

int ThirdXmlToolV2::ElementFromNode(const ThirdNode& node, TiXmlElement& element) const {
    return ElementFromNode(node, element, false, 1);
}

int ThirdXmlToolV2::ElementFromNode(const ThirdNode& node, TiXmlElement& element, bool forPrinting,
                                    int depth) const {
    if (depth > kMaxXmlDepth || !IsReadableName(node.name()))
        return -1;
    element.SetValue(node.name());
    if (!node.text().empty()) {
        TiXmlText text(node.text());
        if (forPrinting && NeedsCdataForSpaces(node.text()))
            text.SetCDATA(true);
        if (element.FirstChild() != nullptr) {
            element.InsertBeforeChild(element.FirstChild(), text);
        } else {
            element.InsertEndChild(text);
        }
    }
    for (const ThirdAttribute& attribute : node.attributes()) {
        if (!IsReadableName(attribute.name()))
            return -1;
        element.SetAttribute(attribute.name(), attribute.value());
    }
    for (const ThirdNode& child : node.children()) {
        auto childElement = std::make_unique<TiXmlElement>("");
        const int result = ElementFromNode(child, *childElement, forPrinting, depth + 1);
        if (result != 0)
            return result;
        element.LinkEndChild(childElement.release());
    }
    return 0;
}

int ThirdXmlToolV2::PrintText(const ThirdNode& root, std::string& text) const {
    if (!IsPrintableDeclarationField(declaration_.version) ||
        !IsPrintableDeclarationField(declaration_.encoding) ||
        !IsPrintableDeclarationField(declaration_.standalone)) {
        return -1;
    }
    TiXmlDocument document;
    document.LinkEndChild(
        new TiXmlDeclaration(declaration_.version, declaration_.encoding, declaration_.standalone));
    auto element = std::make_unique<TiXmlElement>("");
    const int result = ElementFromNode(root, *element, true, 1);
    if (result != 0)
        return result;
    document.LinkEndChild(element.release());

    TiXmlPrinter printer;
    printer.SetIndent(indent_.c_str());
    printer.SetLineBreak(lineBreak_.c_str());
    document.Accept(&printer);
    text = printer.Str();
    return 0;
}

int ThirdXmlToolV2::PrintElement(const ThirdNode& node, int depth, std::string& text) const {
    auto element = std::make_unique<TiXmlElement>("");
    const int result = ElementFromNode(node, *element, true, depth + 1);
    if (result != 0)
        return result;
    // TinyXML's printer starts at depth 0: the element is printed inside `depth` wrappers,
    // whose own lines (one above and one below per wrapper) are then cut off.
    for (int level = 0; level < depth; ++level) {
        auto wrapper = std::make_unique<TiXmlElement>("w");
        wrapper->LinkEndChild(element.release());
        element = std::move(wrapper);
    }
    TiXmlPrinter printer;
    printer.SetIndent(indent_.c_str());
    printer.SetLineBreak(lineBreak_.c_str());
    element->Accept(&printer);
    const std::string& printed = printer.Str();
    std::size_t begin = 0;
    std::size_t end = printed.size();
    for (int level = 0; level < depth; ++level) {
        begin = printed.find(lineBreak_, begin) + lineBreak_.size();
        end = printed.rfind(lineBreak_, end - lineBreak_.size() - 1) + lineBreak_.size();
    }
    text.assign(printed, begin, end - begin);
    return 0;
}

}  // namespace qarv
