// Tests of the handle table (indices, recycling, unbalanced releases) and of
// HbHandlePtr over the program's table.
#include "hbptr.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace
{

// ---- A table of the test's own -------------------------------------------------------------
// The objects are declared before the table, so they outlive it: its destructor
// clears their handles and their own destructors leave the program's table alone.

class LocalTable : public ::testing::Test
{
protected:
    LocalTable() : mObjects(8) {}
    HbRoot* Obj(int i) { return &mObjects[static_cast<size_t>(i)]; }
    HbHandle RegisterHeld(int i)
    {
        HbHandle h = mTable.Register(Obj(i));
        mTable.AddRef(h);
        return h;
    }

    std::vector<HbRoot> mObjects;
    HbHandlesManager mTable;
};

TEST_F(LocalTable, IndexZeroIsReservedAndTheFirstObjectGetsOne)
{
    EXPECT_EQ(mTable.Get(0), nullptr);
    EXPECT_EQ(mTable.GetEntryCount(), 1);
    EXPECT_EQ(mTable.Register(Obj(0)), 1u);
    EXPECT_EQ(Obj(0)->GetHandle(), 1u);
    EXPECT_EQ(mTable.Get(1), Obj(0));
    EXPECT_EQ(mTable.GetRefCount(1), 0);
    EXPECT_EQ(mTable.Get(99), nullptr);
    mTable.AddRef(0); // ignored
    mTable.Release(0);
    EXPECT_EQ(mTable.GetRefCount(0), 0);
}

TEST_F(LocalTable, FreedIndicesAreReusedLastFreedFirst)
{
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(RegisterHeld(i), static_cast<HbHandle>(i + 1));
    mTable.Release(3);
    mTable.Release(5);
    EXPECT_EQ(Obj(2)->GetHandle(), 0u); // the living object forgets its index
    EXPECT_EQ(mTable.Get(3), nullptr);
    EXPECT_EQ(mTable.Register(Obj(5)), 5u);
    EXPECT_EQ(mTable.Register(Obj(6)), 3u);
    EXPECT_EQ(mTable.Register(Obj(7)), 6u);
    EXPECT_EQ(mTable.Get(3), Obj(6));
}

TEST_F(LocalTable, UnbalancedReleasesNeverFreeAnIndexTwice)
{
    RegisterHeld(0);
    RegisterHeld(1);
    mTable.Release(1);
    mTable.Release(1); // count already 0
    mTable.AddRef(1);  // the index is free: ignored
    mTable.Release(1);
    EXPECT_EQ(mTable.GetFreeCount(), 1);
    EXPECT_EQ(mTable.Register(Obj(2)), 1u);
    EXPECT_EQ(mTable.Register(Obj(3)), 3u); // not 1 again
    // An object registered but never referenced is not freed by a release either.
    mTable.Release(3);
    EXPECT_EQ(mTable.Get(3), Obj(3));
}

TEST_F(LocalTable, InvalidateKeepsTheIndexUntilItsReferencesGo)
{
    HbHandle h = RegisterHeld(0);
    mTable.AddRef(h);
    EXPECT_EQ(mTable.Invalidate(h), h);
    Obj(0)->SetHandle(0); // a dying object invalidates; this one lives on, so it forgets
    EXPECT_EQ(mTable.Get(h), nullptr);
    EXPECT_EQ(mTable.GetRefCount(h), 2);
    mTable.Release(h);
    EXPECT_EQ(mTable.GetFreeCount(), 0);
    mTable.Release(h);
    EXPECT_EQ(mTable.GetFreeCount(), 1);
    EXPECT_EQ(mTable.Register(Obj(1)), h);
}

TEST(HbHandlesManager, ObjectsOutlivingTheTableForgetTheirHandles)
{
    HbRoot survivor;
    {
        HbHandlesManager table;
        table.Register(&survivor);
        EXPECT_NE(survivor.GetHandle(), 0u);
    }
    EXPECT_EQ(survivor.GetHandle(), 0u);
}

// ---- Handle pointers over the program's table ---------------------------------------------

class HandlePtr : public ::testing::Test
{
protected:
    HbHandlesManager* Table() { return HbHandlesManager::Instance(); }
    int32_t Count(HbHandle h) { return Table()->GetRefCount(h); }
};

TEST_F(HandlePtr, HandlesReadNullOnceTheObjectIsDestroyed)
{
    auto* object = new HbRoot();
    HbHandlePtr first(object);
    HbHandlePtr second(object);
    HbHandle h = first.GetHandle();
    ASSERT_NE(h, 0u);
    EXPECT_EQ(second.GetHandle(), h);
    EXPECT_EQ(Count(h), 2);
    EXPECT_EQ(first.IsValid(), 1);
    EXPECT_EQ(Table()->Get(h), object);

    delete object;
    EXPECT_EQ(Table()->Get(h), nullptr);
    EXPECT_EQ(first.IsValid(), 0);
    EXPECT_EQ(first.GetObject(), nullptr);
    EXPECT_EQ(first.GetHandle(), 0u);
    EXPECT_EQ(Count(h), 1); // still reserved for the second pointer
    int32_t freeBefore = Table()->GetFreeCount();
    second.Reset();
    EXPECT_EQ(Table()->GetFreeCount(), freeBefore + 1);

    // The index is recycled first.
    HbRoot next;
    HbHandlePtr third(&next);
    EXPECT_EQ(third.GetHandle(), h);
}

TEST_F(HandlePtr, AssignmentAndResetKeepTheCountsRight)
{
    HbRoot a;
    HbRoot b;
    HbHandlePtr p;
    EXPECT_EQ(p.IsValid(), 0);
    p.Assign(&a);
    HbHandle ha = a.GetHandle();
    EXPECT_EQ(Count(ha), 1);
    for (int again = 0; again < 2; ++again)
    {
        p.Assign(&a); // the same object: its entry must survive
        EXPECT_EQ(Count(ha), 1);
        EXPECT_EQ(a.GetHandle(), ha);
    }

    {
        HbHandlePtr copy(p);
        EXPECT_EQ(Count(ha), 2);
        copy = p;
        copy = copy;
        copy.AssignFrom(copy);
        EXPECT_EQ(Count(ha), 2);
        HbHandlePtr empty;
        copy.AssignFrom(empty);
        EXPECT_EQ(Count(ha), 1);
        EXPECT_EQ(copy.GetObject(), nullptr);
        copy.AssignFrom(p);
        EXPECT_EQ(Count(ha), 2);
        EXPECT_EQ(copy.GetObject(), &a);
    }
    EXPECT_EQ(Count(ha), 1);

    // Moving to another object drops the last reference to the first, which
    // lives on without a handle.
    p.Assign(&b);
    EXPECT_EQ(a.GetHandle(), 0u);
    EXPECT_EQ(Count(b.GetHandle()), 1);
    EXPECT_EQ(p.GetObject(), &b);

    HbHandle hb = b.GetHandle();
    p.Assign(nullptr);
    EXPECT_EQ(p.GetHandle(), 0u);
    EXPECT_EQ(b.GetHandle(), 0u);
    EXPECT_EQ(Count(hb), 0);

    p.Assign(&b);
    p.Reset();
    EXPECT_EQ(p.GetObject(), nullptr);
    EXPECT_EQ(b.GetHandle(), 0u);
    p.Reset(); // nothing held: no effect
}

TEST_F(HandlePtr, DestroyedPointerReleasesItsReference)
{
    HbRoot object;
    auto outer = std::make_unique<HbHandlePtr>(&object);
    HbHandle h = object.GetHandle();
    {
        HbHandlePtr inner(&object);
        EXPECT_EQ(Count(h), 2);
    }
    EXPECT_EQ(Count(h), 1);
    outer.reset();
    EXPECT_EQ(object.GetHandle(), 0u);
}

} // namespace
