#include "common/third_node.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "common/text.h"

namespace qarv {

int ParseIntLikeAtoi(const std::string& text) {
    // strtol reads exactly what atoi reads; unlike atoi it is defined on overflow.
    const long value = std::strtol(text.c_str(), nullptr, 10);
    return static_cast<int>(std::clamp<long>(value, INT_MIN, INT_MAX));
}

ThirdAttribute::ThirdAttribute(std::string name, std::string value)
    : name_(std::move(name)), value_(std::move(value)) {}

void ThirdAttribute::SetIntValue(int value) {
    value_ = std::to_string(value);
}

void ThirdAttributeList::Append(const ThirdAttribute& attribute) {
    items_.push_back(attribute);
}

void ThirdAttributeList::Append(ThirdAttribute&& attribute) {
    items_.push_back(std::move(attribute));
}

const std::string* ThirdAttributeList::FindValue(std::string_view name) const {
    for (const ThirdAttribute& item : items_) {
        if (EqualsIgnoreAsciiCase(item.name(), name))
            return &item.value();
    }
    return nullptr;
}

bool ThirdAttributeList::Find(const std::string& name, ThirdAttribute& out) const {
    for (const ThirdAttribute& item : items_) {
        if (EqualsIgnoreAsciiCase(item.name(), name)) {
            out = item;
            return true;
        }
    }
    out.set_name(std::string());
    out.set_value(std::string());
    return false;
}

int ThirdAttributeList::Replace(const ThirdAttribute& attribute, const std::string& name) {
    for (ThirdAttribute& item : items_) {
        if (EqualsIgnoreAsciiCase(item.name(), name)) {
            item.set_name(attribute.name());
            item.set_value(attribute.value());
            return 0;
        }
    }
    return -2;
}

ThirdNode::ThirdNode(std::string name, std::string text) : name_(std::move(name)), text_(std::move(text)) {}

void ThirdNode::AddChild(const ThirdNode& node) {
    children_.push_back(node);
}

const ThirdNode* ThirdNode::FirstChild(const std::string& name) const {
    for (const ThirdNode& child : children_) {
        if (child.name_ == name)
            return &child;
    }
    return nullptr;
}

int ThirdNode::FindChild(const std::string& name, ThirdNode& out) const {
    const ThirdNode* child = FirstChild(name);
    if (child == nullptr)
        return -1;
    ThirdNode copy = *child;  // `out` may own `child` (node.FindChild(name, node))
    out = std::move(copy);
    return 0;
}

int ThirdNode::GetChildText(const std::string& name, std::string& out) const {
    const ThirdNode* child = FirstChild(name);
    if (child == nullptr)
        return -1;
    out = child->text_;
    return 0;
}

int ThirdNode::GetChildInt(const std::string& name, int& out) const {
    const ThirdNode* child = FirstChild(name);
    if (child == nullptr)
        return -1;
    out = ParseIntLikeAtoi(child->text_);
    return 0;
}

void ThirdNode::RemoveChildren(const std::string& name) {
    std::erase_if(children_, [&name](const ThirdNode& child) { return child.name_ == name; });
}

void ThirdNode::AddAttribute(const std::string& name, const std::string& value) {
    attributes_.Append(ThirdAttribute(name, value));
}

void ThirdNode::AddIntAttribute(const std::string& name, unsigned long number) {
    attributes_.Append(ThirdAttribute(name, std::to_string(number)));
}

int ThirdNode::GetAttribute(const std::string& name, std::string& out) const {
    const std::string* value = attributes_.FindValue(name);
    if (value == nullptr)
        return -1;
    out = *value;
    return 0;
}

int ThirdNode::GetIntAttribute(const std::string& name, int& out) const {
    const std::string* value = attributes_.FindValue(name);
    if (value == nullptr)
        return -1;
    out = ParseIntLikeAtoi(*value);
    return 0;
}

}  // namespace qarv
