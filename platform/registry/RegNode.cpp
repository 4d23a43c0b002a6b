#include "RegNode.h"

#include <algorithm>
#include <utility>

namespace quillet::registry {

namespace {
char FoldCase(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}
} // namespace

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return FoldCase(x) == FoldCase(y);
           });
}

RegNode* RegNode::FindChild(std::string_view childName) const
{
    for (const auto& child : children)
        if (EqualsNoCase(child->name, childName))
            return child.get();
    return nullptr;
}

RegNode& RegNode::FindOrAddChild(std::string_view childName)
{
    if (RegNode* child = FindChild(childName))
        return *child;
    children.push_back(std::make_unique<RegNode>());
    children.back()->name = std::string(childName);
    return *children.back();
}

bool RegNode::RemoveChild(std::string_view childName)
{
    auto found = std::find_if(children.begin(), children.end(), [&](const auto& child) {
        return EqualsNoCase(child->name, childName);
    });
    if (found == children.end())
        return false;
    children.erase(found);
    return true;
}

const RegValue* RegNode::FindValue(std::string_view valueName) const
{
    for (const RegValue& value : values)
        if (EqualsNoCase(value.name, valueName))
            return &value;
    return nullptr;
}

RegValue* RegNode::FindValue(std::string_view valueName)
{
    return const_cast<RegValue*>(std::as_const(*this).FindValue(valueName));
}

bool RegNode::SetValue(std::string_view valueName, DWORD type, std::vector<BYTE> data)
{
    if (RegValue* value = FindValue(valueName)) {
        if (value->type == type && value->data == data)
            return false;
        value->type = type;
        value->data = std::move(data);
        return true;
    }
    values.push_back(RegValue{std::string(valueName), type, std::move(data)});
    return true;
}

bool RegNode::RemoveValue(std::string_view valueName)
{
    auto found = std::find_if(values.begin(), values.end(), [&](const RegValue& value) {
        return EqualsNoCase(value.name, valueName);
    });
    if (found == values.end())
        return false;
    values.erase(found);
    return true;
}

RegNode* FindPath(const RegNode& root, const KeyPath& path)
{
    auto* node = const_cast<RegNode*>(&root);
    for (const std::string& name : path) {
        node = node->FindChild(name);
        if (!node)
            return nullptr;
    }
    return node;
}

} // namespace quillet::registry
