// Counts live in the map's value words.
#include "logicalinventory.h"

#include "hbhashmap.h"

namespace LogicalInventory
{
int32_t Add(StringHashMap& inventory, const char* name)
{
    if (!name || !*name)
        return 0;
    void** value = inventory.FindOrInsert(name);
    if (!value)
        return 0;
    const intptr_t count = reinterpret_cast<intptr_t>(*value) + 1;
    *value = reinterpret_cast<void*>(count);
    return static_cast<int32_t>(count);
}

int32_t Count(const StringHashMap& inventory, const char* name)
{
    return name ? static_cast<int32_t>(reinterpret_cast<intptr_t>(inventory.Lookup(name))) : 0;
}
} // namespace LogicalInventory
