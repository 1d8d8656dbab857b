#pragma once
// Converts between XML text or TinyXML elements and ThirdNode trees. The tool holds the
// declaration, indent and line break used for printing; parsing a text with a declaration
// replaces the tool's declaration. A tool is used by one thread at a time; make one on the
// stack for each load or save.

#include <string>
#include <utility>

#include "common/third_node.h"

class TiXmlElement;

namespace qarv {

// Deepest element nesting the tool reads or builds. TinyXML parses, prints and frees
// documents recursively, so deeper documents would exhaust the stack.
inline constexpr int kMaxXmlDepth = 256;
// Most attributes read on one element (TinyXML checks each new attribute against all
// earlier ones, so the time grows with the square of their number).
inline constexpr int kMaxXmlAttributes = 256;

class ThirdXmlToolV2 {
  public:
    ThirdXmlToolV2() = default;
    explicit ThirdXmlToolV2(const ThirdDeclaration& declaration);
    virtual ~ThirdXmlToolV2() = default;
    ThirdXmlToolV2(const ThirdXmlToolV2&) = default;
    ThirdXmlToolV2& operator=(const ThirdXmlToolV2&) = default;

    const ThirdDeclaration& declaration() const { return declaration_; }
    void set_declaration(const ThirdDeclaration& declaration) { declaration_ = declaration; }
    const std::string& indent() const { return indent_; }
    void set_indent(std::string indent) { indent_ = std::move(indent); }
    const std::string& line_break() const { return lineBreak_; }
    void set_line_break(std::string lineBreak) { lineBreak_ = std::move(lineBreak); }

    // Parses a whole XML text (UTF-8) into `root`: the root element with all its descendant
    // elements. The attributes and children of `root` are cleared first. A declaration at the
    // start of the text replaces the tool's declaration. Returns 0; -1 if the text is not
    // well-formed, has no root element, contains a NUL byte, or nests elements deeper than
    // kMaxXmlDepth or has more than kMaxXmlAttributes attributes on an element.
    int ParseText(const std::string& text, ThirdNode& root);

    // Fills name, text (the element's first child if that is text) and attributes of `node`
    // from `element`; attributes are appended after those `node` already has. Children are
    // not read. 0, or -1 if `element` is null.
    int NodeFromElement(const TiXmlElement* element, ThirdNode& node) const;
    // As NodeFromElement, then appends a node for every child element (other children are
    // skipped), recursively. A null `element` gives 0 and leaves `node` as it is; -1 if the
    // tree is deeper than kMaxXmlDepth.
    int NodeTreeFromElement(const TiXmlElement* element, ThirdNode& node) const;
    // Fills the empty `element` and its subtree from `node`: the text as the first child,
    // attributes by name (a later duplicate replaces the value of an earlier one), then the
    // child elements. -1 if a name of an element or attribute is not one TinyXML reads back
    // as a name, or the tree is deeper than kMaxXmlDepth.
    int ElementFromNode(const ThirdNode& node, TiXmlElement& element) const;
    // Prints `root` as a complete XML document with the tool's declaration, indent and line
    // break. 0, or the result of ElementFromNode, or -1 if a declaration field holds a double
    // quote or "&" or is not UTF-8 (`text` is then unchanged). The printed text reads back through
    // ParseText to the same tree, except that duplicate attributes keep only the last value,
    // text of spaces only reads back empty, and text with spaces at either end or two in a row
    // that also holds "]]>" or a control character reads back with its spaces condensed. (Other
    // text with such spaces is written as a CDATA section so that the parser keeps them.)
    int PrintText(const ThirdNode& root, std::string& text) const;

    // Prints `node` and its subtree as PrintText prints an element `depth` levels below the
    // root of a document: its lines with their indent, each ending in the line break. 0, or
    // the result of ElementFromNode (`text` is then unchanged).
    int PrintElement(const ThirdNode& node, int depth, std::string& text) const;

  private:
    int NodeTreeFromElement(const TiXmlElement* element, ThirdNode& node, int depth) const;
    int ElementFromNode(const ThirdNode& node, TiXmlElement& element, bool forPrinting, int depth) const;

    ThirdDeclaration declaration_;
    std::string indent_ = "    ";
    std::string lineBreak_ = "\r\n";
};

}  // namespace qarv
