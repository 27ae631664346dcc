// Tests of frames: marking and the dirty-frame list, lazy world matrices, synchronising
// attached objects, hierarchy changes, cloning and destroying, with a frame plug-in that
// counts its constructors, destructors and copies.
#include "engine.h"
#include "error.h"
#include "frame.h"
#include "frameobject.h"
#include "testdevice.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

namespace
{

constexpr int32_t kTagPlugin = 0x7E01;

struct Tag
{
    int32_t serial;
    int32_t copiedFrom;
};

int32_t sConstructed = 0;
int32_t sDestructed = 0;
int32_t sFailAtConstruction = 0; // the construction (counted from 1) that fails

void* ConstructTag(void* object, int32_t offset, int32_t)
{
    if (sConstructed + 1 == sFailAtConstruction)
        return nullptr;
    auto* tag = reinterpret_cast<Tag*>(static_cast<char*>(object) + offset);
    tag->serial = ++sConstructed;
    tag->copiedFrom = 0;
    return object;
}
void* DestructTag(void* object, int32_t, int32_t)
{
    ++sDestructed;
    return object;
}
void* CopyTag(void* destination, const void* source, int32_t offset, int32_t)
{
    auto* to = reinterpret_cast<Tag*>(static_cast<char*>(destination) + offset);
    const auto* from = reinterpret_cast<const Tag*>(static_cast<const char*>(source) + offset);
    to->copiedFrom = from->serial;
    return destination;
}

Tag* TagOf(Frame* frame)
{
    return reinterpret_cast<Tag*>(reinterpret_cast<char*>(frame) + Frame::GetPluginOffset(kTagPlugin));
}

// An object that counts its synchronisations and keeps the world position it saw.
struct Probe
{
    FrameObject header;
    int syncs;
    Vector seen;
};

FrameObject* SyncProbe(FrameObject* object)
{
    auto* probe = reinterpret_cast<Probe*>(object);
    ++probe->syncs;
    probe->seen = probe->header.frame->world.pos;
    return object;
}

class Frames : public EngineFixture
{
protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        Restart(0);
    }
    void TearDown() override
    {
        sFailAtConstruction = 0;
        EngineFixture::TearDown();
    }
    void Restart(uint32_t flags)
    {
        ShutDownEngine();
        sConstructed = sDestructed = 0;
        sFailAtConstruction = 0;
        ASSERT_NE(Engine::Init(TestMemory::Functions(), flags, 0), 0);
        ASSERT_GE(Frame::RegisterPlugin(sizeof(Tag), kTagPlugin, ConstructTag, DestructTag, CopyTag), 0);
        ASSERT_EQ(Engine::Open(&mWindow), 1);
        ASSERT_EQ(Engine::Start(), 1);
    }

    static std::vector<Frame*> DirtyRoots()
    {
        std::vector<Frame*> roots;
        ListLink* head = &Engine::Current()->dirtyFrames;
        for (ListLink* l = head->next; l != head; l = l->next)
            roots.push_back(reinterpret_cast<Frame*>(reinterpret_cast<char*>(l) - offsetof(Frame, dirtyLink)));
        return roots;
    }
    static std::vector<Frame*> Children(Frame* frame)
    {
        std::vector<Frame*> children;
        for (Frame* c = frame->child; c; c = c->next)
            children.push_back(c);
        return children;
    }
    static Vector Pos(Frame* frame) { return frame->world.pos; }
    static void Move(Frame* frame, float x, float y, float z)
    {
        Vector v = {x, y, z};
        Frame::Translate(frame, &v, kCombineReplace);
    }
    static Probe* Hang(Probe* probe, Frame* frame)
    {
        FrameObject::Init(&probe->header, 4, SyncProbe);
        probe->syncs = 0;
        FrameObject::SetFrame(&probe->header, frame);
        return probe;
    }

    /// root with children a, b (added in that order) and a1 under a; synchronised.
    void Build(Frame*& root, Frame*& a, Frame*& b, Frame*& a1)
    {
        root = Frame::Create();
        a = Frame::Create();
        b = Frame::Create();
        a1 = Frame::Create();
        Frame::AddChild(root, a);
        Frame::AddChild(root, b);
        Frame::AddChild(a, a1);
        Frame::SyncDirtyList();
    }
};

void ExpectPos(const Vector& v, float x, float y, float z)
{
    EXPECT_FLOAT_EQ(v.x, x);
    EXPECT_FLOAT_EQ(v.y, y);
    EXPECT_FLOAT_EQ(v.z, z);
}

TEST_F(Frames, NewFramesAreUnmarkedIdentityRoots)
{
    Frame* f = Frame::Create();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(Frame::IsDirty(f), 0);
    EXPECT_TRUE(DirtyRoots().empty());
    EXPECT_EQ(Frame::GetRoot(f), f);
    EXPECT_EQ(f->parent, nullptr);
    EXPECT_EQ(f->modelling.flags, kMatrixIdentity | kMatrixOrthonormal);
    EXPECT_EQ(f->world.flags, kMatrixIdentity | kMatrixOrthonormal);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(&f->modelling) % 16, 0u);
    EXPECT_EQ(Frame::GetPluginOffset(kTagPlugin) % 8, 0);
    EXPECT_EQ(TagOf(f)->serial, 1);
    Frame::Destroy(f);
    EXPECT_EQ(sDestructed, 1);
}

TEST_F(Frames, ChangesPutTheRootOnTheListOnceAndWorldMatricesWaitUntilAsked)
{
    Frame *root, *a, *b, *a1;
    Build(root, a, b, a1);
    Move(root, 1, 0, 0);
    Move(a, 0, 2, 0);
    Move(a1, 0, 0, 3);
    EXPECT_EQ(DirtyRoots(), std::vector<Frame*>{root});
    ExpectPos(Pos(a1), 0, 0, 0); // not computed yet

    ExpectPos(Frame::GetWorldMatrix(a1)->pos, 1, 2, 3);
    ExpectPos(Pos(b), 1, 0, 0);
    EXPECT_EQ(root->privateFlags, kFrameHierarchyObjects | kFrameObjectsDirty) << "objects still pending";
    EXPECT_EQ(DirtyRoots(), std::vector<Frame*>{root});
    EXPECT_EQ(a1->privateFlags, kFrameObjectsDirty);

    EXPECT_EQ(Frame::SyncDirtyList(), 1);
    EXPECT_TRUE(DirtyRoots().empty());
    for (Frame* f : {root, a, b, a1})
        EXPECT_EQ(f->privateFlags, 0);
    EXPECT_EQ(Frame::IsDirty(a1), 0);
    Frame::DestroyHierarchy(root);
}

TEST_F(Frames, SynchronisingRunsEveryObjectOfAChangedHierarchyOnce)
{
    Frame *root, *a, *b, *a1;
    Build(root, a, b, a1);
    Frame* other = Frame::Create();
    Probe onRoot, onA, onA1, onOther, twice;
    Hang(&onRoot, root);
    Hang(&onA, a);
    Hang(&onA1, a1);
    Hang(&onOther, other);
    Hang(&twice, b);
    FrameObject::SetFrame(&twice.header, b); // hung on the same frame again: linked once
    Frame::SyncDirtyList();
    for (Probe* p : {&onRoot, &onA, &onA1, &onOther, &twice})
        EXPECT_EQ(p->syncs, 1);

    Move(a, 5, 0, 0);
    Frame::SyncDirtyList();
    EXPECT_EQ(onRoot.syncs, 2);
    EXPECT_EQ(onA.syncs, 2);
    EXPECT_EQ(onA1.syncs, 2);
    EXPECT_EQ(twice.syncs, 2);
    EXPECT_EQ(onOther.syncs, 1) << "an unchanged hierarchy is left alone";
    ExpectPos(onA1.seen, 5, 0, 0);

    Frame::SyncDirtyList();
    EXPECT_EQ(onA.syncs, 2) << "nothing pending, nothing called";

    // Moving an object marks its new frame; without a frame it is left out.
    FrameObject::SetFrame(&onA.header, other);
    EXPECT_EQ(DirtyRoots(), std::vector<Frame*>{other});
    FrameObject::SetFrame(&onA.header, nullptr);
    FrameObject::RemoveFromFrame(&onOther.header);
    EXPECT_EQ(onOther.header.frame, other);
    Frame::SyncDirtyList();
    EXPECT_EQ(onA.syncs, 2);
    EXPECT_EQ(onOther.syncs, 1);
    Frame::DestroyHierarchy(root);
    Frame::Destroy(other);
}

// A root marked for matrices whose grandchild alone is marked: only the grandchild's
// world matrix is recomputed, but every object of the hierarchy is synchronised.
TEST_F(Frames, OnlyMarkedFramesAndTheirDescendantsAreRecomputed)
{
    Frame *root, *a, *b, *a1;
    Build(root, a, b, a1);
    Frame* a2 = Frame::Create();
    Frame::AddChild(a1, a2);
    Probe probes[4];
    Hang(&probes[0], root);
    Hang(&probes[1], a);
    Hang(&probes[2], b);
    Hang(&probes[3], a2);
    Frame::SyncDirtyList();

    Move(a1, 0, 0, 4);
    for (Frame* f : {root, a, b})
    {
        f->world.pos = {99, 99, 99}; // stale on purpose: a recomputation would overwrite it
        Matrix::Update(&f->world);
    }
    Frame::SyncDirtyList();
    for (Frame* f : {root, a, b})
        ExpectPos(Pos(f), 99, 99, 99);
    ExpectPos(Pos(a1), 99, 99, 103);
    ExpectPos(Pos(a2), 99, 99, 103); // below a marked frame
    for (Probe& p : probes)
        EXPECT_EQ(p.syncs, 2);
    Frame::DestroyHierarchy(root);
}

TEST_F(Frames, ReparentingMovesTheMarkToTheNewHierarchy)
{
    Frame *p1, *x, *p2, *x1;
    Build(p1, x, p2, x1);
    Frame::RemoveChild(p2);
    Frame::SyncDirtyList();

    Frame::AddChild(p2, x);
    EXPECT_TRUE(Children(p1).empty());
    EXPECT_EQ(Children(p2), std::vector<Frame*>{x});
    EXPECT_EQ(x->parent, p2);
    EXPECT_EQ(x1->root, p2);
    EXPECT_EQ(DirtyRoots(), std::vector<Frame*>{p2}) << "the detached frame was taken off again";

    // A marked root added as a child leaves the list; the new hierarchy is marked.
    Frame* y = Frame::Create();
    Move(y, 1, 1, 1);
    EXPECT_EQ(DirtyRoots(), (std::vector<Frame*>{y, p2}));
    Frame::AddChild(x1, y);
    EXPECT_EQ(DirtyRoots(), std::vector<Frame*>{p2});
    EXPECT_EQ(y->root, p2);
    EXPECT_EQ(y->privateFlags & kFrameHierarchyDirty, 0);
    Frame::SyncDirtyList();

    // Removing makes a marked root of the subtree.
    Frame::RemoveChild(x1);
    EXPECT_EQ(x1->root, x1);
    EXPECT_EQ(y->root, x1);
    EXPECT_EQ(DirtyRoots(), std::vector<Frame*>{x1});
    EXPECT_EQ(Frame::CountHierarchy(p2), 2);
    EXPECT_EQ(Frame::CountHierarchy(x1), 2);
    Frame::DestroyHierarchy(p1);
    Frame::DestroyHierarchy(p2);
    Frame::DestroyHierarchy(x1);
    EXPECT_TRUE(DirtyRoots().empty());
    EXPECT_EQ(sConstructed, sDestructed);
}

TEST_F(Frames, DestroyingAParentLeavesEachChildARootOfItsSubtree)
{
    Frame *root, *a, *b, *a1;
    Build(root, a, b, a1);
    EXPECT_EQ(Frame::CountHierarchy(root), 4);
    Frame::Destroy(root);
    for (Frame* f : {a, b})
    {
        EXPECT_EQ(f->parent, nullptr);
        EXPECT_EQ(f->root, f);
        EXPECT_EQ(f->next, nullptr);
    }
    EXPECT_EQ(a1->root, a);
    EXPECT_EQ(DirtyRoots().size(), 2u);
    Frame::SyncDirtyList();

    // A child destroyed through its parent's iteration: the next sibling was fetched first.
    Frame* p = Frame::Create();
    Frame::AddChild(p, a);
    Frame::AddChild(p, b);
    int visits = 0;
    Frame::ForAllChildren(
        p,
        [](Frame* child, void* data) -> Frame*
        {
            ++*static_cast<int*>(data);
            Frame::DestroyHierarchy(child);
            return child;
        },
        &visits);
    EXPECT_EQ(visits, 2);
    EXPECT_EQ(p->child, nullptr);
    Frame::Destroy(p);
    EXPECT_TRUE(DirtyRoots().empty());
    EXPECT_EQ(sConstructed, sDestructed);
}

TEST_F(Frames, CloningKeepsSiblingOrderAndMapsEachSourceToItsCopy)
{
    Frame *root, *a, *b, *a1;
    Build(root, a, b, a1);
    Move(root, 1, 0, 0);
    Move(a, 0, 2, 0);
    Move(a1, 0, 0, 3);
    Move(b, 0, 5, 0);
    Frame::SyncDirtyList();
    ASSERT_EQ(Children(root), (std::vector<Frame*>{b, a})) << "new children go to the front";

    int32_t before = sConstructed;
    Frame* copy = Frame::CloneHierarchy(root);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(sConstructed, before + 4);
    std::vector<Frame*> copies = Children(copy);
    EXPECT_EQ(copies, (std::vector<Frame*>{a->root, b->root})) << "a's copy, then b's: the order they were added";
    ASSERT_EQ(copies.size(), 2u);
    EXPECT_EQ(root->root, copy);
    EXPECT_EQ(TagOf(copies[0])->copiedFrom, TagOf(a)->serial);
    EXPECT_EQ(Children(copies[0]), std::vector<Frame*>{a1->root});
    for (Frame* c : {copy, copies[0], copies[1], a1->root})
        EXPECT_EQ(c->root, copy);

    Frame::SetRootInSubtree(root);
    for (Frame* f : {root, a, b, a1})
        EXPECT_EQ(f->root, root);

    // The copy is marked whole; its matrices are computed at the next synchronisation.
    EXPECT_EQ(DirtyRoots(), std::vector<Frame*>{copy});
    EXPECT_EQ(copy->privateFlags, kFrameHierarchyDirty | kFrameMatrixDirty | kFrameObjectsDirty);
    Frame::SyncDirtyList();
    Frame* a1Copy = copies[0]->child;
    ExpectPos(Pos(a1Copy), 1, 2, 3);
    ExpectPos(Pos(copies[1]), 1, 5, 0);
    Frame::DestroyHierarchy(root);
    Frame::DestroyHierarchy(copy);
    EXPECT_EQ(sConstructed, sDestructed);
}

// A copy that fails part-way leaves nothing behind and the sources as they were.
TEST_F(Frames, AFailedCloneUndoesItsCopiesAndRestoresTheSources)
{
    for (bool outOfMemory : {false, true})
    {
        SCOPED_TRACE(outOfMemory ? "allocation fails" : "constructor fails");
        if (outOfMemory)
            Restart(kEngineNoFreeLists); // every frame is its own allocation
        Frame *root, *a, *b, *a1;
        Build(root, a, b, a1);
        int32_t constructed = sConstructed, destructed = sDestructed;
        size_t live = TestMemory::live.size();
        int allowed = 2;
        if (outOfMemory)
            TestMemory::refuse = [&allowed](size_t, uint32_t hint) { return hint == 0x3000E && allowed-- <= 0; };
        else
            sFailAtConstruction = sConstructed + 3;

        EXPECT_EQ(Frame::CloneHierarchy(root), nullptr);
        TestMemory::refuse = nullptr;
        sFailAtConstruction = 0;
        EXPECT_EQ(sConstructed - constructed, sDestructed - destructed) << "constructed copies destructed";
        EXPECT_EQ(TestMemory::live.size(), live);
        for (Frame* f : {root, a, b, a1})
            EXPECT_EQ(f->root, root);
        EXPECT_TRUE(DirtyRoots().empty());
        Frame::DestroyHierarchy(root);
    }
}

// Hierarchies read from files can be arbitrarily deep: nothing walks them recursively
// (a recursive walk of this chain would overflow the stack).
TEST_F(Frames, DeepChainsAreWalkedWithoutRecursion)
{
    Restart(kEngineNoFreeLists); // a free list's give-back scans its blocks: keep this test fast
    constexpr int kDepth = 100000;
    Frame* top = Frame::Create();
    Frame* leaf = top;
    for (int i = 1; i < kDepth; ++i)
    {
        Frame* f = Frame::Create();
        ASSERT_NE(f, nullptr);
        Frame::AddChild(leaf, f);
        leaf = f;
    }
    Vector step = {0, 0, 1};
    Frame::Translate(leaf, &step, kCombineReplace);
    Frame::Translate(top, &step, kCombineReplace);
    EXPECT_EQ(Frame::CountHierarchy(top), kDepth);
    EXPECT_FLOAT_EQ(Frame::GetWorldMatrix(leaf)->pos.z, 2.0f);
    Frame* copy = Frame::CloneHierarchy(top);
    ASSERT_NE(copy, nullptr);
    Frame::SetRootInSubtree(top);
    Frame::SyncDirtyList();
    EXPECT_EQ(Frame::CountHierarchy(copy), kDepth);
    Frame::DestroyHierarchy(top);
    Frame::DestroyHierarchy(copy);
    EXPECT_EQ(sConstructed, sDestructed);
}

TEST_F(Frames, TransformsMarkTheFrameEvenWhenTheCombineModeIsRefused)
{
    Vector v = {1, 2, 3};
    Matrix m = {};
    struct Case
    {
        const char* name;
        void (*apply)(Frame*, const Vector*, const Matrix*, int32_t);
    } cases[] = {
        {"translate", [](Frame* f, const Vector* v, const Matrix*, int32_t c) { Frame::Translate(f, v, c); }},
        {"scale", [](Frame* f, const Vector* v, const Matrix*, int32_t c) { Frame::Scale(f, v, c); }},
        {"rotate", [](Frame* f, const Vector* v, const Matrix*, int32_t c) { Frame::Rotate(f, v, 30, c); }},
        {"transform", [](Frame* f, const Vector*, const Matrix* m, int32_t c) { Frame::Transform(f, m, c); }},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        Frame* f = Frame::Create();
        c.apply(f, &v, &m, 3);
        Error e;
        Error::Get(&e);
        EXPECT_EQ(e.code, kErrBadArgument);
        EXPECT_EQ(f->modelling.flags, kMatrixIdentity | kMatrixOrthonormal) << "the matrix is unchanged";
        EXPECT_EQ(DirtyRoots(), std::vector<Frame*>{f});
        Frame::Destroy(f);
    }

    // SetIdentity restores the rows and the identity flags and keeps the other bits.
    Frame* f = Frame::Create();
    Frame::Scale(f, &v, kCombineReplace);
    f->modelling.flags |= 0x100;
    Frame::SetIdentity(f);
    EXPECT_EQ(f->modelling.flags, 0x100 | kMatrixIdentity | kMatrixOrthonormal);
    ExpectPos(f->modelling.up, 0, 1, 0);
    Frame::Destroy(f);
}

} // namespace
