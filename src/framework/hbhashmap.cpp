// Chained hash maps: key hashing, lookup, insertion, removal and iteration.
#include "hbhashmap.h"

// ---- StringHashMap -----------------------------------------------------------------

uint32_t StringHashMap::HashKey(std::string_view key)
{
    uint32_t hash = 0;
    for (char c : key)
        hash = hash * 33u + static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(c)));
    return hash;
}

StringHashMap::Node* StringHashMap::Find(std::string_view key, uint32_t* bucket) const
{
    uint32_t index = BucketOf(key);
    if (bucket)
        *bucket = index;
    return FindInBucket(index, key);
}

void* StringHashMap::Lookup(std::string_view key) const
{
    Node* node = Find(key);
    return node ? node->value : nullptr;
}

void** StringHashMap::FindOrInsert(std::string_view key)
{
    uint32_t bucket = 0;
    if (Node* node = Find(key, &bucket))
        return &node->value;
    Node* node = InsertNode(bucket);
    if (!node)
        return nullptr;
    node->key.assign(key);
    node->value = nullptr;
    return &node->value;
}

int StringHashMap::Remove(std::string_view key)
{
    Node* node = Find(key);
    if (!node)
        return 0;
    RemoveNode(node);
    return 1;
}

bool StringHashMap::GetNextAssoc(HbPosition& position, std::string& key, void*& value) const
{
    Node* node = NextNode(position);
    if (!node)
        return false;
    key = node->key;
    value = node->value;
    return true;
}

// ---- HbIntHashMap --------------------------------------------------------------------

HbIntHashMap::Node* HbIntHashMap::FindNode(uint32_t key) const
{
    return FindInBucket(BucketOf(key), key);
}

int HbIntHashMap::Find(uint32_t key, void*& value) const
{
    Node* node = FindNode(key);
    if (!node)
        return 0;
    value = node->value;
    return 1;
}

void** HbIntHashMap::FindOrInsert(uint32_t key)
{
    if (Node* node = FindNode(key))
        return &node->value;
    Node* node = InsertNode(BucketOf(key));
    if (!node)
        return nullptr;
    node->key = key;
    node->value = nullptr;
    return &node->value;
}

int HbIntHashMap::Remove(uint32_t key)
{
    Node* node = FindNode(key);
    if (!node)
        return 0;
    RemoveNode(node);
    return 1;
}

bool HbIntHashMap::GetNextAssoc(HbPosition& position, uint32_t& key, void*& value) const
{
    Node* node = NextNode(position);
    if (!node)
        return false;
    key = node->key;
    value = node->value;
    return true;
}

// ---- IntStringHashMap ----------------------------------------------------------------

IntStringHashMap::Node* IntStringHashMap::FindNode(uint32_t key) const
{
    return FindInBucket(BucketOf(key), key);
}

int IntStringHashMap::Lookup(uint32_t key, std::string& value) const
{
    Node* node = FindNode(key);
    if (!node)
        return 0;
    value = node->value;
    return 1;
}

std::string* IntStringHashMap::FindOrInsert(uint32_t key)
{
    if (Node* node = FindNode(key))
        return &node->value;
    Node* node = InsertNode(BucketOf(key));
    if (!node)
        return nullptr;
    node->key = key;
    return &node->value;
}

bool IntStringHashMap::GetNextAssoc(HbPosition& position, uint32_t& key, std::string& value) const
{
    Node* node = NextNode(position);
    if (!node)
        return false;
    key = node->key;
    value = node->value;
    return true;
}
