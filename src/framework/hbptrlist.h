// HbPtrList: doubly linked list of pointer-sized values, nodes carved from blocks.
#pragma once

#include "hbmemory.h"

#include <cstdint>

struct HbPtrListNode
{
    HbPtrListNode* next;
    HbPtrListNode* prev;
    void* value;
};

class HbPtrList : public HbAllocated
{
public:
    explicit HbPtrList(int32_t blockSize = 10) : mBlockSize(blockSize > 0 ? blockSize : 10) {}
    HbPtrList(const HbPtrList&) = delete;
    HbPtrList& operator=(const HbPtrList&) = delete;
    ~HbPtrList() { RemoveAll(); }

    /// A node with the given links and value 0 (the caller links it in); null
    /// when no node block can be had.
    HbPtrListNode* NewNode(HbPtrListNode* previous, HbPtrListNode* next);
    /// Appends a value; the new node, or null when out of memory.
    HbPtrListNode* AddTail(void* value);
    /// Puts a value in front of the head; the new node, or null when out of memory.
    HbPtrListNode* AddHead(void* value);
    /// Removes the head and returns its value; null on an empty list.
    void* PopFront();
    /// Unlinks a node of this list and frees it.
    void RemoveAt(HbPtrListNode* node);
    /// Returns an unlinked node to the free chain; the last one frees the blocks.
    void FreeNode(HbPtrListNode* node);
    void RemoveAll();

    HbPtrListNode* GetHead() const { return mHead; }
    HbPtrListNode* GetTail() const { return mTail; }
    int32_t GetCount() const { return mCount; }
    bool IsEmpty() const { return mCount == 0; }
    int32_t GetBlockSize() const { return mBlockSize; }
    void SetBlockSize(int32_t blockSize) { mBlockSize = blockSize > 0 ? blockSize : 10; }
    /// The node-block chain (null when the list holds no blocks).
    void* GetBlocks() const { return mBlocks; }

private:
    HbPtrListNode* mHead = nullptr;
    HbPtrListNode* mTail = nullptr;
    int32_t mCount = 0;
    HbPtrListNode* mFree = nullptr;
    void* mBlocks = nullptr;
    int32_t mBlockSize = 10;
};

/// Calls every value of the list as a function without arguments returning a
/// 32-bit result, head to tail; 0 as soon as one returns 0, else 1.
namespace HbCallbackList
{
int RunAll(const HbPtrList& list);
}
