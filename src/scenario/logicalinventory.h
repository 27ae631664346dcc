// Logical inventories: counted sets of item names kept in a string hash map (name -> count).
#pragma once

#include <cstdint>

class StringHashMap;

namespace LogicalInventory
{
/// One more of the name; the new count (0 for an empty name or no memory).
int32_t Add(StringHashMap& inventory, const char* name);
/// How many of the name the inventory holds.
int32_t Count(const StringHashMap& inventory, const char* name);
} // namespace LogicalInventory
