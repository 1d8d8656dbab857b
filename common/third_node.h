#pragma once
// Plain records for a small XML document: an element (ThirdNode) with its attributes
// (ThirdAttribute, ThirdAttributeList) and the fields of an XML declaration. They hold UTF-8
// text and know nothing of the XML library; ThirdXmlToolV2 converts them to and from XML.
// Value types: a record is used by one thread at a time.

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qarv {

// Reads a number as atoi does (leading white space, an optional sign, the digits up to the
// first non-digit; 0 if there are none). Values beyond the range of int are clamped to it.
int ParseIntLikeAtoi(const std::string& text);

// One attribute: a name and its value, always held as text.
class ThirdAttribute {
  public:
    ThirdAttribute() = default;
    ThirdAttribute(std::string name, std::string value);
    virtual ~ThirdAttribute() = default;
    ThirdAttribute(const ThirdAttribute&) = default;
    ThirdAttribute(ThirdAttribute&&) = default;
    ThirdAttribute& operator=(const ThirdAttribute&) = default;
    ThirdAttribute& operator=(ThirdAttribute&&) = default;

    const std::string& name() const { return name_; }
    const std::string& value() const { return value_; }
    void set_name(std::string name) { name_ = std::move(name); }
    void set_value(std::string value) { value_ = std::move(value); }

    // The value becomes `value` in signed decimal.
    void SetIntValue(int value);

    bool operator==(const ThirdAttribute&) const = default;

  private:
    std::string name_;
    std::string value_;
};

// Attributes in document order. Duplicate names are allowed; lookups by name ignore ASCII
// letter case and take the first match.
class ThirdAttributeList {
  public:
    using const_iterator = std::vector<ThirdAttribute>::const_iterator;
    using iterator = std::vector<ThirdAttribute>::iterator;

    ThirdAttributeList() = default;
    virtual ~ThirdAttributeList() = default;
    ThirdAttributeList(const ThirdAttributeList&) = default;
    ThirdAttributeList(ThirdAttributeList&&) = default;
    ThirdAttributeList& operator=(const ThirdAttributeList&) = default;
    ThirdAttributeList& operator=(ThirdAttributeList&&) = default;

    // Adds a copy at the end.
    void Append(const ThirdAttribute& attribute);
    void Append(ThirdAttribute&& attribute);
    // The value of the first attribute named `name`, or null if there is none. Valid until the
    // list changes.
    const std::string* FindValue(std::string_view name) const;
    // First attribute named `name`: copies it into `out` and returns true; otherwise empties
    // the name and value of `out` and returns false.
    bool Find(const std::string& name, ThirdAttribute& out) const;
    // Overwrites the name and value of the first attribute named `name` with those of
    // `attribute`: 0, or -2 (list unchanged) if there is none.
    int Replace(const ThirdAttribute& attribute, const std::string& name);
    void Clear() { items_.clear(); }
    void Reserve(std::size_t count) { items_.reserve(count); }

    std::size_t size() const { return items_.size(); }
    bool empty() const { return items_.empty(); }
    const ThirdAttribute& operator[](std::size_t index) const { return items_[index]; }
    ThirdAttribute& operator[](std::size_t index) { return items_[index]; }
    const_iterator begin() const { return items_.begin(); }
    const_iterator end() const { return items_.end(); }
    iterator begin() { return items_.begin(); }
    iterator end() { return items_.end(); }

    bool operator==(const ThirdAttributeList&) const = default;

  private:
    std::vector<ThirdAttribute> items_;
};

// One element: name, text, attributes and child elements, all owned (copies are deep).
// Child names are compared exactly; attribute names without regard to ASCII letter case.
class ThirdNode {
  public:
    ThirdNode() = default;
    explicit ThirdNode(std::string name, std::string text = std::string());

    const std::string& name() const { return name_; }
    void set_name(std::string name) { name_ = std::move(name); }
    // The element's text (empty if none).
    const std::string& text() const { return text_; }
    void set_text(std::string text) { text_ = std::move(text); }
    const std::vector<ThirdNode>& children() const { return children_; }
    std::vector<ThirdNode>& children() { return children_; }
    const ThirdAttributeList& attributes() const { return attributes_; }
    ThirdAttributeList& attributes() { return attributes_; }

    // Appends a copy of `node` to the children.
    void AddChild(const ThirdNode& node);
    // 0 and a copy of the first child named `name` in `out`; -1 (out untouched) if none.
    int FindChild(const std::string& name, ThirdNode& out) const;
    // 0 and the text of the first child named `name`; -1 (out untouched) if none.
    int GetChildText(const std::string& name, std::string& out) const;
    // As GetChildText, with the text read by ParseIntLikeAtoi.
    int GetChildInt(const std::string& name, int& out) const;
    // Removes every child named `name`, keeping the order of the others.
    void RemoveChildren(const std::string& name);

    // Appends an attribute; an existing one of the same name is kept as well.
    void AddAttribute(const std::string& name, const std::string& value);
    // Appends an attribute holding `number` in unsigned decimal.
    void AddIntAttribute(const std::string& name, unsigned long number);
    // 0 and the value of the first attribute named `name`; -1 (out untouched) if none.
    int GetAttribute(const std::string& name, std::string& out) const;
    // As GetAttribute, with the value read by ParseIntLikeAtoi.
    int GetIntAttribute(const std::string& name, int& out) const;
    // The value of the first attribute named `name`, or null if none (no copy is made).
    const std::string* AttributeValue(std::string_view name) const { return attributes_.FindValue(name); }

    bool operator==(const ThirdNode&) const = default;

  private:
    const ThirdNode* FirstChild(const std::string& name) const;

    std::string name_;
    std::string text_;
    std::vector<ThirdNode> children_;
    ThirdAttributeList attributes_;
};

// The three fields of an XML declaration.
struct ThirdDeclaration {
    std::string version = "1.0";
    std::string encoding = "UTF-8";
    std::string standalone;

    bool operator==(const ThirdDeclaration&) const = default;
};

}  // namespace qarv
