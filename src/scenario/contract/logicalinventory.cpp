// Logical inventories.
#include "logicalinventory.h"

#include "hbhashmap.h"

int32_t LogicalInventoryCount(const StringHashMap& inventory, const char* name)
{
    return name ? int32_t(reinterpret_cast<intptr_t>(inventory.Lookup(name))) : 0;
}

int32_t LogicalInventoryAdd(StringHashMap& inventory, const char* name)
{
    // An empty name is no item: it would count as one and show in every snapshot.
    void** slot = name && *name ? inventory.FindOrInsert(name) : nullptr;
    if (!slot)
        return 0;
    const intptr_t count = reinterpret_cast<intptr_t>(*slot);
    if (count < INT32_MAX)
        *slot = reinterpret_cast<void*>(count + 1);
    return 1;
}

void LogicalInventoryRemove(StringHashMap& inventory, const char* name)
{
    StringHashMap::Node* node = name ? inventory.Find(name) : nullptr;
    if (!node)
        return;
    const intptr_t count = reinterpret_cast<intptr_t>(node->value);
    if (count > 1)
        node->value = reinterpret_cast<void*>(count - 1);
    else
        inventory.Remove(name);
}
