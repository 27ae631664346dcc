// Logical inventories: counted sets of item names, held as a StringHashMap whose value is the
// item's count. The profile's global one and the stage's sector one; the level scripts, the
// event-box actions and conditions and the sector data all count through these.
#pragma once

#include <cstdint>

class StringHashMap;

/// The item's count; 0 when absent (or no name).
int32_t LogicalInventoryCount(const StringHashMap& inventory, const char* name);
/// The count rises by 1 (from 0 when absent); 0 for no or an empty name or out of memory, else 1.
int32_t LogicalInventoryAdd(StringHashMap& inventory, const char* name);
/// The count falls by 1 and the name goes when it was 1; an absent name changes nothing.
void LogicalInventoryRemove(StringHashMap& inventory, const char* name);
