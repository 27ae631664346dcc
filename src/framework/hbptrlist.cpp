// HbPtrList: node blocks, free chain and the callback-list runner.
#include "hbptrlist.h"

HbPtrListNode* HbPtrList::NewNode(HbPtrListNode* previous, HbPtrListNode* next)
{
    if (!mFree)
    {
        void* block = HbNodeBlockChainAdd(mBlocks, static_cast<size_t>(mBlockSize), sizeof(HbPtrListNode));
        if (!block)
            return nullptr;
        mBlocks = block;
        // Chain the new nodes so that they are handed out in address order.
        auto* nodes = static_cast<HbPtrListNode*>(HbNodeBlockNodes(block));
        for (int32_t i = mBlockSize - 1; i >= 0; --i)
        {
            nodes[i].next = mFree;
            mFree = &nodes[i];
        }
    }
    HbPtrListNode* node = mFree;
    mFree = node->next;
    node->next = next;
    node->prev = previous;
    node->value = nullptr;
    ++mCount;
    return node;
}

HbPtrListNode* HbPtrList::AddTail(void* value)
{
    HbPtrListNode* node = NewNode(mTail, nullptr);
    if (!node)
        return nullptr;
    node->value = value;
    if (mTail)
        mTail->next = node;
    else
        mHead = node;
    mTail = node;
    return node;
}

HbPtrListNode* HbPtrList::AddHead(void* value)
{
    HbPtrListNode* node = NewNode(nullptr, mHead);
    if (!node)
        return nullptr;
    node->value = value;
    if (mHead)
        mHead->prev = node;
    else
        mTail = node;
    mHead = node;
    return node;
}

void* HbPtrList::PopFront()
{
    HbPtrListNode* node = mHead;
    if (!node)
        return nullptr;
    void* value = node->value;
    RemoveAt(node);
    return value;
}

void HbPtrList::RemoveAt(HbPtrListNode* node)
{
    if (!node)
        return;
    if (node->prev)
        node->prev->next = node->next;
    else
        mHead = node->next;
    if (node->next)
        node->next->prev = node->prev;
    else
        mTail = node->prev;
    FreeNode(node);
}

void HbPtrList::FreeNode(HbPtrListNode* node)
{
    node->next = mFree;
    node->prev = nullptr;
    node->value = nullptr;
    mFree = node;
    if (--mCount <= 0)
        RemoveAll();
}

void HbPtrList::RemoveAll()
{
    mHead = mTail = nullptr;
    mCount = 0;
    mFree = nullptr;
    mBlocks = HbNodeBlockChainFree(mBlocks);
}

int HbCallbackList::RunAll(const HbPtrList& list)
{
    for (HbPtrListNode* node = list.GetHead(); node; node = node->next)
    {
        auto check = reinterpret_cast<int (*)()>(node->value);
        if (check() == 0)
            return 0;
    }
    return 1;
}
