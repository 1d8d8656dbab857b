#include "common/xml_file.h"

#include <sys/stat.h>
#include <tinyxml.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <utility>

#include "common/file_util.h"
#include "common/log.h"
#include "common/text.h"
#include "common/third_xml_tool_v2.h"

namespace qarv {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
// The declaration is looked for in this many leading bytes.
constexpr std::size_t kDeclarationScanSize = 1024;
// Room for TinyXML reading past the end of an unterminated declaration.
constexpr std::size_t kParsePadding = 16;

bool IsGbEncoding(std::string_view name) {
    return EqualsIgnoreAsciiCase(name, "gb2312") || EqualsIgnoreAsciiCase(name, "gbk") ||
           EqualsIgnoreAsciiCase(name, "gb18030");
}

bool IsUtf8Encoding(std::string_view name) {
    return name.empty() || EqualsIgnoreAsciiCase(name, "utf-8") || EqualsIgnoreAsciiCase(name, "utf8");
}

// The iconv name of a declared encoding.
const char* IconvName(const std::string& encoding) {
    return IsGbEncoding(encoding) ? "GB18030" : encoding.c_str();
}

// The encoding named by the XML declaration at the start of `bytes`, or "" if it has none.
// The declaration is ASCII in every encoding this reads, so it is read before decoding.
std::string DeclaredEncoding(std::string_view bytes) {
    if (bytes.size() < 6 || !EqualsIgnoreAsciiCase(bytes.substr(0, 5), "<?xml"))
        return std::string();
    const char after = bytes[5];
    if (after != ' ' && after != '\t' && after != '\r' && after != '\n')
        return std::string();
    std::string head(bytes.substr(0, kDeclarationScanSize));
    head.append(kParsePadding, '\0');
    TiXmlDeclaration declaration;
    declaration.Parse(head.c_str(), nullptr, TIXML_ENCODING_LEGACY);
    return declaration.Encoding();
}

// Converts the file's `bytes` in `encoding` to UTF-8 in place. 0, or -1 if they cannot be.
int DecodeToUtf8(std::string& bytes, const std::string& encoding) {
    if (IsUtf8Encoding(encoding))
        return IsValidUtf8(bytes) ? 0 : -1;
    std::string decoded;
    const int converted = IsGbEncoding(encoding)
                              ? Gb18030ToUtf8(bytes, decoded)
                              : ConvertEncoding(IconvName(encoding), "UTF-8", bytes, decoded);
    if (converted == 0) {
        bytes.swap(decoded);
        return 0;
    }
    // A file written as UTF-8 under a declaration it does not follow.
    return IsValidUtf8(bytes) ? 0 : -1;
}

// Turns CR LF and lone CR into LF, as XML readers do and as TinyXML's own file load does.
void NormalizeLineBreaks(std::string& text) {
    if (text.find('\r') == std::string::npos)
        return;
    // Copies the runs between CRs whole, in place: the text only shrinks.
    std::size_t to = 0;
    std::size_t from = 0;
    while (from < text.size()) {
        const std::size_t cr = std::min(text.find('\r', from), text.size());
        std::memmove(text.data() + to, text.data() + from, cr - from);
        to += cr - from;
        if (cr == text.size())
            break;
        const bool pair = cr + 1 < text.size() && text[cr + 1] == '\n';
        text[to++] = '\n';
        from = cr + (pair ? 2 : 1);
    }
    text.resize(to);
}

// "&#xE78D;": a character written so that any XML reader gets it back, whatever the
// file's encoding.
std::string CharacterReference(char32_t codePoint) {
    char text[16];
    std::snprintf(text, sizeof text, "&#x%X;", static_cast<unsigned>(codePoint));
    return text;
}

// True if the names of `node` and its descendants can be written in `encoding` as they
// are (a character reference is no part of a name).
bool NamesFitEncoding(const ThirdNode& node, const std::string& encoding) {
    const auto fits = [&encoding](std::string name) {
        ReplaceInvalidUtf8(name);  // as the printed text has it
        std::string bytes;
        return ConvertEncoding("UTF-8", IconvName(encoding), name, bytes) == 0;
    };
    if (!fits(node.name()))
        return false;
    for (const ThirdAttribute& attribute : node.attributes()) {
        if (!fits(attribute.name()))
            return false;
    }
    for (const ThirdNode& child : node.children()) {
        if (!NamesFitEncoding(child, encoding))
            return false;
    }
    return true;
}

// True if `encoding` writes ASCII as it is, so that LoadXmlFile finds the declaration before
// decoding (UTF-7, UTF-16 or EBCDIC would hide it and the file would not load).
bool KeepsAscii(const std::string& encoding) {
    std::string ascii = "\t\r\n";
    for (char c = 0x20; c < 0x7f; ++c)
        ascii += c;
    std::string bytes;
    return ConvertEncoding("UTF-8", IconvName(encoding), ascii, bytes) == 0 && bytes == ascii;
}

// Converts the printed UTF-8 `text` of `root` to `encoding` into `bytes`: a character the
// encoding cannot carry becomes a character reference, bytes that are not UTF-8 become
// U+FFFD (logged). 0, or -1 if the encoding is unknown, does not write ASCII as it is, or
// cannot carry an element or attribute name.
int EncodeFromUtf8(std::string& text, const ThirdNode& root, const std::string& encoding,
                   const std::string& path, std::string& bytes) {
    if (const std::size_t replaced = ReplaceInvalidUtf8(text); replaced > 0) {
        LogWarn(__LINE__, "XmlFile", -1, "%zu bytes that are not UTF-8 written as U+FFFD in %s", replaced,
                path.c_str());
    }
    if (IsUtf8Encoding(encoding)) {
        bytes = text;
        return 0;
    }
    if (!IsGbEncoding(encoding) && !KeepsAscii(encoding))
        return -1;
    std::size_t referenced = 0;
    if (ConvertFromUtf8(IconvName(encoding), text, CharacterReference, bytes, referenced) != 0)
        return -1;
    return referenced == 0 || NamesFitEncoding(root, encoding) ? 0 : -1;
}

}  // namespace

int LoadXmlFile(const std::string& path, ThirdNode& root, ThirdDeclaration* declaration) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        return -1;
    // Opening a FIFO or a device could block or never end.
    if (!S_ISREG(status.st_mode)) {
        LogError(__LINE__, "XmlFile", -2, "Not a regular file: %s", path.c_str());
        return -2;
    }
    std::string bytes;
    const int read = ReadWholeFile(path, kMaxXmlFileSize, bytes);
    if (read == kReadTooLarge) {
        LogError(__LINE__, "XmlFile", -2, "XML file larger than %zu bytes refused: %s", kMaxXmlFileSize,
                 path.c_str());
        return -2;
    }
    if (read != kReadOk)
        return -1;

    std::string encoding;
    if (bytes.starts_with(kUtf8Bom)) {
        bytes.erase(0, kUtf8Bom.size());  // the mark says UTF-8, whatever the declaration says
    } else {
        encoding = DeclaredEncoding(bytes);
    }
    if (DecodeToUtf8(bytes, encoding) != 0) {
        LogError(__LINE__, "XmlFile", -2, "Cannot decode XML file as %s: %s",
                 encoding.empty() ? "UTF-8" : encoding.c_str(), path.c_str());
        return -2;
    }

    NormalizeLineBreaks(bytes);

    ThirdXmlToolV2 tool;
    ThirdNode parsed;
    if (tool.ParseText(bytes, parsed) != 0) {
        LogError(__LINE__, "XmlFile", -2, "Not a usable XML document: %s", path.c_str());
        return -2;
    }
    root = std::move(parsed);
    if (declaration != nullptr)
        *declaration = tool.declaration();
    return 0;
}

int SaveXmlFile(const std::string& path, const ThirdNode& root, const ThirdDeclaration& declaration) {
    // The layout of TinyXML's document save in text mode on Windows: the declaration line,
    // four spaces of indent per level, CR LF at the end of every line.
    ThirdXmlToolV2 tool(declaration);
    tool.set_indent("    ");
    tool.set_line_break("\r\n");
    std::string text;
    if (tool.PrintText(root, text) != 0) {
        LogError(__LINE__, "XmlFile", -1, "Cannot print the XML document for %s", path.c_str());
        return -1;
    }
    std::string bytes;
    if (EncodeFromUtf8(text, root, declaration.encoding, path, bytes) != 0) {
        LogError(__LINE__, "XmlFile", -1, "Cannot encode the XML document as %s for %s",
                 declaration.encoding.c_str(), path.c_str());
        return -1;
    }
    if (WriteFileAtomically(path, bytes) != 0) {
        LogError(__LINE__, "XmlFile", -1, "Cannot write XML file %s", path.c_str());
        return -1;
    }
    return 0;
}

IncrementalXmlFile::IncrementalXmlFile(std::string path, ThirdDeclaration declaration)
    : path_(std::move(path)), declaration_(std::move(declaration)) {}

void IncrementalXmlFile::MarkChanged(std::size_t index) {
    if (index < children_.size())
        children_[index].reset();
}

void IncrementalXmlFile::MarkAllChanged() {
    children_.clear();
}

int IncrementalXmlFile::EncodeFrame(const ThirdNode& root, std::string& head, std::string& tail) const {
    // The root with one empty child in place of its children, printed whole and cut at that
    // child's line.
    ThirdNode frame(root.name());
    frame.attributes() = root.attributes();
    frame.children().emplace_back("x");
    ThirdXmlToolV2 tool(declaration_);
    std::string text;
    if (tool.PrintText(frame, text) != 0)
        return -1;
    const std::string placeholder = tool.line_break() + tool.indent() + "<x />" + tool.line_break();
    const std::size_t at = text.find(placeholder);
    if (at == std::string::npos)
        return -1;
    std::string headText = text.substr(0, at + tool.line_break().size());
    std::string tailText = text.substr(at + placeholder.size());
    return EncodeFromUtf8(headText, frame, declaration_.encoding, path_, head) == 0 &&
                   EncodeFromUtf8(tailText, frame, declaration_.encoding, path_, tail) == 0
               ? 0
               : -1;
}

int IncrementalXmlFile::Save(const ThirdNode& root) {
    // Text of the root itself is printed among its children; such a rare tree is saved whole.
    if (root.children().empty() || !root.text().empty())
        return SaveXmlFile(path_, root, declaration_);
    std::string head;
    std::string tail;
    if (EncodeFrame(root, head, tail) != 0) {
        LogError(__LINE__, "XmlFile", -1, "Cannot print the XML document for %s", path_.c_str());
        return -1;
    }
    children_.resize(root.children().size());
    std::size_t size = head.size() + tail.size();
    ThirdXmlToolV2 tool(declaration_);
    for (std::size_t i = 0; i < children_.size(); ++i) {
        if (!children_[i]) {
            std::string text;
            std::string bytes;
            if (tool.PrintElement(root.children()[i], 1, text) != 0 ||
                EncodeFromUtf8(text, root.children()[i], declaration_.encoding, path_, bytes) != 0) {
                LogError(__LINE__, "XmlFile", -1, "Cannot print the XML document for %s", path_.c_str());
                return -1;
            }
            children_[i] = std::move(bytes);
        }
        size += children_[i]->size();
    }
    std::string document;
    document.reserve(size);
    document += head;
    for (const std::optional<std::string>& child : children_)
        document += *child;
    document += tail;
    if (WriteFileAtomically(path_, document) != 0) {
        LogError(__LINE__, "XmlFile", -1, "Cannot write XML file %s", path_.c_str());
        return -1;
    }
    return 0;
}

}  // namespace qarv
