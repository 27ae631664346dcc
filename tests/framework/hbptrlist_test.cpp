// Tests of HbPtrList: order, unlinking, node blocks and the callback runner.
#include "hbptrlist.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{

void* Value(uintptr_t v)
{
    return reinterpret_cast<void*>(v);
}

std::vector<uintptr_t> Values(const HbPtrList& list)
{
    std::vector<uintptr_t> out;
    const HbPtrListNode* prev = nullptr;
    for (const HbPtrListNode* n = list.GetHead(); n; n = n->next)
    {
        EXPECT_EQ(n->prev, prev); // the back links agree
        out.push_back(reinterpret_cast<uintptr_t>(n->value));
        prev = n;
    }
    EXPECT_EQ(list.GetTail(), prev);
    return out;
}

int CountBlocks(void* chain)
{
    int n = 0;
    for (; chain; chain = *static_cast<void**>(chain))
        ++n;
    return n;
}

TEST(HbPtrList, AddTailAddHeadPopFrontKeepOrder)
{
    HbPtrList list;
    list.AddTail(Value(2));
    list.AddTail(Value(3));
    list.AddHead(Value(1));
    list.AddHead(Value(0));
    EXPECT_EQ(Values(list), (std::vector<uintptr_t>{0, 1, 2, 3}));
    EXPECT_EQ(list.PopFront(), Value(0));
    EXPECT_EQ(list.PopFront(), Value(1));
    EXPECT_EQ(list.GetCount(), 2);
    EXPECT_EQ(Values(list), (std::vector<uintptr_t>{2, 3}));
}

TEST(HbPtrList, RemoveAtFixesHeadTailAndMiddle)
{
    HbPtrList list;
    std::vector<HbPtrListNode*> nodes;
    for (uintptr_t i = 0; i < 5; ++i)
        nodes.push_back(list.AddTail(Value(i)));
    list.RemoveAt(nodes[2]);
    EXPECT_EQ(Values(list), (std::vector<uintptr_t>{0, 1, 3, 4}));
    list.RemoveAt(nodes[0]);
    list.RemoveAt(nodes[4]);
    EXPECT_EQ(Values(list), (std::vector<uintptr_t>{1, 3}));
    // The most recently freed node is handed out first.
    EXPECT_EQ(list.AddTail(Value(9)), nodes[4]);
    EXPECT_EQ(Values(list), (std::vector<uintptr_t>{1, 3, 9}));
}

TEST(HbPtrList, NodeBlocksComeInTensAndGoWhenTheListEmpties)
{
    HbPtrList list;
    std::vector<HbPtrListNode*> nodes;
    for (uintptr_t i = 0; i < 10; ++i)
        nodes.push_back(list.AddTail(Value(i)));
    EXPECT_EQ(CountBlocks(list.GetBlocks()), 1);
    EXPECT_EQ(nodes[9], nodes[0] + 9); // handed out in address order
    list.AddTail(Value(10));
    EXPECT_EQ(CountBlocks(list.GetBlocks()), 2);

    while (list.GetCount() > 1)
        list.PopFront();
    EXPECT_EQ(CountBlocks(list.GetBlocks()), 2);
    EXPECT_EQ(list.PopFront(), Value(10)); // the last one frees every block
    EXPECT_EQ(list.GetBlocks(), nullptr);
    EXPECT_EQ(list.GetHead(), nullptr);
    EXPECT_EQ(list.GetTail(), nullptr);
    EXPECT_EQ(list.PopFront(), nullptr);

    list.AddTail(Value(1)); // a new block
    EXPECT_EQ(CountBlocks(list.GetBlocks()), 1);
    list.RemoveAt(list.GetHead());
    EXPECT_EQ(list.GetBlocks(), nullptr);
}

TEST(HbPtrList, OwnerBlockSizeIsUsed)
{
    HbPtrList list(3);
    for (uintptr_t i = 0; i < 7; ++i)
        list.AddTail(Value(i));
    EXPECT_EQ(CountBlocks(list.GetBlocks()), 3);
    list.RemoveAll();
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(list.GetBlocks(), nullptr);
    EXPECT_EQ(list.GetBlockSize(), 3);
}

int gCalls;
int CallOk()
{
    ++gCalls;
    return 1;
}
int CallFails()
{
    ++gCalls;
    return 0;
}

TEST(HbCallbackList, RunsHeadToTailAndStopsAtTheFirstZero)
{
    HbPtrList list;
    gCalls = 0;
    EXPECT_EQ(HbCallbackList::RunAll(list), 1);
    list.AddTail(reinterpret_cast<void*>(&CallOk));
    list.AddTail(reinterpret_cast<void*>(&CallOk));
    EXPECT_EQ(HbCallbackList::RunAll(list), 1);
    EXPECT_EQ(gCalls, 2);
    list.AddHead(reinterpret_cast<void*>(&CallFails));
    gCalls = 0;
    EXPECT_EQ(HbCallbackList::RunAll(list), 0);
    EXPECT_EQ(gCalls, 1);
}

} // namespace
