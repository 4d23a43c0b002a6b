// One key of a hive held in memory: its values and its subkeys, each in stored order.
// Names compare case-insensitively (ASCII folding, as the registry's key and value names) and
// keep the case they were created with. Not thread-safe: the registry guards every tree with
// its mutex.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "registry/Registry.h"

namespace quillet::registry {

// A typed value; data holds exactly the bytes that were stored.
struct RegValue
{
    std::string name; // empty for the key's default value
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

// A path below a hive's root, one name per level.
using KeyPath = std::vector<std::string>;

// True when two names are equal ignoring ASCII case.
bool EqualsNoCase(std::string_view a, std::string_view b);

struct RegNode
{
    std::string name;
    std::vector<RegValue> values;
    // Owned one by one so that a node stays put while its siblings are added or removed.
    std::vector<std::unique_ptr<RegNode>> children;

    RegNode* FindChild(std::string_view childName) const;
    // The child with this name, created at the end when missing.
    RegNode& FindOrAddChild(std::string_view childName);
    // Removes the child with everything below it; false when there is none.
    bool RemoveChild(std::string_view childName);

    RegValue* FindValue(std::string_view valueName);
    const RegValue* FindValue(std::string_view valueName) const;
    // Stores the value, replacing one of the same name in its place; false when it was already
    // stored exactly so.
    bool SetValue(std::string_view valueName, DWORD type, std::vector<BYTE> data);
    bool RemoveValue(std::string_view valueName);
};

// The node at path below root, or null.
RegNode* FindPath(const RegNode& root, const KeyPath& path);

} // namespace quillet::registry
