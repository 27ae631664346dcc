// Chained hash maps of the framework: string keys (StringHashMap) and 32-bit
// keys with pointer values (HbIntHashMap) or string values (IntStringHashMap).
// Buckets come from the bucket pool, nodes from node blocks; freed nodes wait on
// the map's free chain and every block goes back when the map becomes empty.
#pragma once

#include "hbmemory.h"

#include <cstdint>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>

/// Iteration position of GetNextAssoc: start with kHbStartPosition and call while
/// the position is not 0 (the end).
using HbPosition = uintptr_t;
constexpr HbPosition kHbStartPosition = ~HbPosition(0);

constexpr uint32_t kHbDefaultBucketCount = 17;
constexpr int32_t kHbDefaultNodeBlockSize = 10;

/// Storage shared by the three map families: buckets, count, free chain and node
/// blocks. Every node of a block is constructed when the block is carved and
/// destroyed when the blocks are released, so a node on the free chain is a valid
/// empty node and no string outlives its map.
template <typename Node> class HbHashTableCore
{
public:
    HbHashTableCore(const HbHashTableCore&) = delete;
    HbHashTableCore& operator=(const HbHashTableCore&) = delete;

    int32_t GetCount() const { return mCount; }
    bool IsEmpty() const { return mCount == 0; }
    uint32_t GetBucketCount() const { return mBucketCount; }
    int32_t GetBlockSize() const { return mBlockSize; }
    /// The node-block chain, null while the map holds no node.
    void* GetBlocks() const { return mBlocks; }
    /// Where GetNextAssoc should start: 0 for an empty map, so that a loop on
    /// the position runs no pass at all.
    HbPosition GetStartPosition() const { return mCount > 0 ? kHbStartPosition : 0; }

protected:
    HbHashTableCore(uint32_t bucketCount, int32_t blockSize)
        : mBucketCount(bucketCount > 0 ? bucketCount : kHbDefaultBucketCount),
          mBlockSize(blockSize > 0 ? blockSize : kHbDefaultNodeBlockSize)
    {
    }
    ~HbHashTableCore() { ReleaseAll(); }

    /// The node of the bucket whose key equals key, or null (also before the
    /// first insertion).
    template <typename Key> Node* FindInBucket(uint32_t bucket, const Key& key) const
    {
        if (!mBuckets)
            return nullptr;
        for (Node* node = mBuckets[bucket]; node; node = node->next)
            if (node->key == key)
                return node;
        return nullptr;
    }

    /// A node from the free chain (refilled with one block of nodes, handed out
    /// in address order); the count goes up. Null when no block can be had.
    Node* TakeNode()
    {
        if (!mFree && !AddBlock())
            return nullptr;
        Node* node = mFree;
        mFree = node->next;
        node->next = nullptr;
        ++mCount;
        return node;
    }

    /// The bucket array, allocated and zeroed on first use; null when out of memory.
    Node** Buckets()
    {
        if (!mBuckets)
        {
            size_t bytes = sizeof(Node*) * mBucketCount;
            auto* buckets = static_cast<Node**>(HbHashBucketAlloc(bytes));
            if (!buckets)
                return nullptr;
            for (uint32_t i = 0; i < mBucketCount; ++i)
                buckets[i] = nullptr;
            mBuckets = buckets;
        }
        return mBuckets;
    }

    /// A new node at the front of the bucket's chain; null when out of memory.
    Node* InsertNode(uint32_t bucket)
    {
        Node** buckets = Buckets();
        if (!buckets)
            return nullptr;
        Node* node = TakeNode();
        if (!node)
            return nullptr;
        node->bucket = bucket;
        node->next = buckets[bucket];
        buckets[bucket] = node;
        return node;
    }

    /// Unlinks a node from its bucket and frees it; the last one releases everything.
    void RemoveNode(Node* node)
    {
        Node** link = &mBuckets[node->bucket];
        while (*link != node)
            link = &(*link)->next;
        *link = node->next;
        node->Reset();
        node->next = mFree;
        mFree = node;
        if (--mCount <= 0)
            ReleaseAll();
    }

    /// The node at the position and the position after it; null (position 0)
    /// at the end and at once for an empty map.
    Node* NextNode(HbPosition& position) const
    {
        Node* node = nullptr;
        if (position == kHbStartPosition)
            node = FirstNodeFrom(0);
        else
            node = reinterpret_cast<Node*>(position);
        if (!node)
        {
            position = 0;
            return nullptr;
        }
        Node* next = node->next ? node->next : FirstNodeFrom(node->bucket + 1);
        position = reinterpret_cast<HbPosition>(next);
        return node;
    }

    /// Destroys every node, frees the node blocks and the bucket array.
    void ReleaseAll()
    {
        if constexpr (!std::is_trivially_destructible_v<Node>)
        {
            for (void* block = mBlocks; block; block = *static_cast<void**>(block))
            {
                auto* nodes = static_cast<Node*>(HbNodeBlockNodes(block));
                for (int32_t i = 0; i < mBlockSize; ++i)
                    nodes[i].~Node();
            }
        }
        mBlocks = HbNodeBlockChainFree(mBlocks);
        if (mBuckets)
            HbHashBucketFree(mBuckets);
        mBuckets = nullptr;
        mFree = nullptr;
        mCount = 0;
    }

    Node** mBuckets = nullptr;

private:
    bool AddBlock()
    {
        void* block = HbNodeBlockChainAdd(mBlocks, static_cast<size_t>(mBlockSize), sizeof(Node));
        if (!block)
            return false;
        mBlocks = block;
        auto* nodes = static_cast<Node*>(HbNodeBlockNodes(block));
        for (int32_t i = mBlockSize - 1; i >= 0; --i)
        {
            Node* node = new (&nodes[i]) Node();
            node->next = mFree;
            mFree = node;
        }
        return true;
    }

    Node* FirstNodeFrom(uint32_t bucket) const
    {
        if (!mBuckets)
            return nullptr;
        for (; bucket < mBucketCount; ++bucket)
            if (mBuckets[bucket])
                return mBuckets[bucket];
        return nullptr;
    }

    uint32_t mBucketCount;
    int32_t mCount = 0;
    Node* mFree = nullptr;
    void* mBlocks = nullptr;
    int32_t mBlockSize;
};

// ---- String keys ---------------------------------------------------------------

struct StringHashMapNode
{
    StringHashMapNode* next = nullptr;
    uint32_t bucket = 0;
    std::string key;
    void* value = nullptr;

    void Reset()
    {
        std::string().swap(key);
        value = nullptr;
    }
};

/// Case-sensitive string keys, pointer-sized values.
class StringHashMap : public HbHashTableCore<StringHashMapNode>
{
public:
    using Node = StringHashMapNode;

    explicit StringHashMap(uint32_t bucketCount = kHbDefaultBucketCount, int32_t blockSize = kHbDefaultNodeBlockSize)
        : HbHashTableCore(bucketCount, blockSize)
    {
    }

    /// hash = hash x 33 + c over the bytes taken as signed 8-bit values, in
    /// unsigned 32-bit arithmetic.
    static uint32_t HashKey(std::string_view key);
    uint32_t BucketOf(std::string_view key) const { return HashKey(key) % GetBucketCount(); }

    /// The node holding the key, or null; stores the key's bucket when asked.
    Node* Find(std::string_view key, uint32_t* bucket = nullptr) const;
    /// The value under the key, or null.
    void* Lookup(std::string_view key) const;
    /// The address of the value under the key, inserting the key with value null
    /// when it is absent; null only when out of memory.
    void** FindOrInsert(std::string_view key);
    /// Drops the key; 1, or 0 when it is absent. The last key releases the storage.
    int Remove(std::string_view key);
    /// Drops every key and frees buckets and node blocks (the bucket count stays).
    void RemoveAll() { ReleaseAll(); }
    /// RemoveAll as a reset callback; returns 1.
    int Clear()
    {
        ReleaseAll();
        return 1;
    }
    /// Returns the entry at the position and advances it; false, with the
    /// position at 0, when there is no entry (the end, or an empty map).
    bool GetNextAssoc(HbPosition& position, std::string& key, void*& value) const;
    /// A free node with an empty key and value null, counted but not linked into
    /// a bucket (FindOrInsert links its nodes itself); null when out of memory.
    Node* AllocNode() { return TakeNode(); }
};

// ---- 32-bit keys ---------------------------------------------------------------

/// Bucket of a 32-bit key: (key >> 4) mod the bucket count.
inline uint32_t HbIntKeyBucket(uint32_t key, uint32_t bucketCount)
{
    return (key >> 4) % bucketCount;
}

struct HbIntHashMapNode
{
    HbIntHashMapNode* next = nullptr;
    uint32_t bucket = 0;
    uint32_t key = 0;
    void* value = nullptr;

    void Reset()
    {
        key = 0;
        value = nullptr;
    }
};

/// 32-bit keys, pointer-sized values (the values are not owned).
class HbIntHashMap : public HbHashTableCore<HbIntHashMapNode>
{
public:
    using Node = HbIntHashMapNode;

    explicit HbIntHashMap(uint32_t bucketCount = kHbDefaultBucketCount, int32_t blockSize = kHbDefaultNodeBlockSize)
        : HbHashTableCore(bucketCount, blockSize)
    {
    }

    uint32_t BucketOf(uint32_t key) const { return HbIntKeyBucket(key, GetBucketCount()); }
    /// 1 and the value when the key is present, else 0 (value untouched).
    int Find(uint32_t key, void*& value) const;
    /// The address of the value under the key, inserting null when absent; null
    /// only when out of memory.
    void** FindOrInsert(uint32_t key);
    bool GetNextAssoc(HbPosition& position, uint32_t& key, void*& value) const;
    /// Drops the key; 1, or 0 when it is absent. The last key releases the storage.
    int Remove(uint32_t key);
    void RemoveAll() { ReleaseAll(); }
    /// A free node (key 0, value null), counted but not linked into a bucket.
    Node* AllocNode() { return TakeNode(); }

private:
    Node* FindNode(uint32_t key) const;
};

struct IntStringHashMapNode
{
    IntStringHashMapNode* next = nullptr;
    uint32_t bucket = 0;
    uint32_t key = 0;
    std::string value;

    void Reset()
    {
        key = 0;
        std::string().swap(value);
    }
};

/// 32-bit keys, string values owned by the map.
class IntStringHashMap : public HbHashTableCore<IntStringHashMapNode>
{
public:
    using Node = IntStringHashMapNode;

    explicit IntStringHashMap(uint32_t bucketCount = kHbDefaultBucketCount, int32_t blockSize = kHbDefaultNodeBlockSize)
        : HbHashTableCore(bucketCount, blockSize)
    {
    }

    uint32_t BucketOf(uint32_t key) const { return HbIntKeyBucket(key, GetBucketCount()); }
    /// 1 and a copy of the string when the key is present, else 0.
    int Lookup(uint32_t key, std::string& value) const;
    /// The value string under the key, inserting an empty one when absent; null
    /// only when out of memory.
    std::string* FindOrInsert(uint32_t key);
    bool GetNextAssoc(HbPosition& position, uint32_t& key, std::string& value) const;
    /// Destroys every value string, then frees buckets and node blocks.
    void RemoveAll() { ReleaseAll(); }
    /// A free node (key 0, empty string), counted but not linked into a bucket.
    Node* NewNode() { return TakeNode(); }

private:
    Node* FindNode(uint32_t key) const;
};
