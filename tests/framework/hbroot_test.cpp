// Tests of HbRoot (reference counting, the root operations, KeepIfReady), the
// class descriptors over a three-level chain and the class-ID registry.
#include "hbroot.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

namespace
{

int gDestroyed = 0;

class Base : public HbRoot
{
    HB_DECLARE_CLASS_DESC()
    ~Base() override { ++gDestroyed; }
};
class Middle : public Base
{
    HB_DECLARE_CLASS_DESC()
};
class Leaf : public Middle
{
    HB_DECLARE_CLASS_DESC()
};
class Sibling : public Base
{
    HB_DECLARE_CLASS_DESC()
};
HB_DEFINE_CLASS_DESC(Base, HbRoot);
HB_DEFINE_CLASS_DESC(Middle, Base);
HB_DEFINE_CLASS_DESC(Leaf, Middle);
HB_DEFINE_CLASS_DESC(Sibling, Base);

// Takes and drops references to itself while it is being destroyed, as an owner
// cycle does.
class SelfReleasing : public HbRoot
{
public:
    ~SelfReleasing() override
    {
        ++gDestroyed;
        EXPECT_EQ(Release(), 0);
        AddRef();
        EXPECT_EQ(Release(), 0);
    }
};

// ---- Reference counting ------------------------------------------------------------------

TEST(HbRoot, LastReleaseDeletesAndEarlierOnesDoNot)
{
    gDestroyed = 0;
    Base* once = new Base();
    EXPECT_EQ(once->GetRefCount(), 0);
    once->AddRef();
    EXPECT_EQ(once->Release(), 0);
    EXPECT_EQ(gDestroyed, 1);

    Base* twice = new Base();
    twice->AddRef();
    twice->AddRef();
    EXPECT_EQ(twice->Release(), 1);
    EXPECT_EQ(gDestroyed, 1);
    EXPECT_EQ(twice->GetRefCount(), 1);
    EXPECT_EQ(twice->Release(), 0);
    EXPECT_EQ(gDestroyed, 2);
}

TEST(HbRoot, AnObjectNobodyReferencedIsDeletedByItsFirstRelease)
{
    gDestroyed = 0;
    Base* unowned = new Base();
    EXPECT_EQ(unowned->Release(), 0);
    EXPECT_EQ(gDestroyed, 1); // and LeakSanitizer finds nothing left

    // Releases from the destructor chain (an owner cycle) are ignored: one deletion.
    auto* cycle = new SelfReleasing();
    EXPECT_EQ(cycle->Release(), 0);
    EXPECT_EQ(gDestroyed, 2);
}

TEST(HbRoot, DeletingDestructorFreesOnlyWithBitZero)
{
    gDestroyed = 0;
    alignas(Base) unsigned char storage[sizeof(Base)];
    Base* inPlace = new (storage) Base();
    inPlace->DeletingDestructor(0); // destroyed, storage not freed
    EXPECT_EQ(gDestroyed, 1);
    (new Base())->DeletingDestructor(1);
    EXPECT_EQ(gDestroyed, 2);
}

TEST(HbRoot, RootOperationsAnswerNothing)
{
    HbRoot root;
    EXPECT_EQ(root.GetClassDesc(), &HbRoot::sClassDesc);
    EXPECT_EQ(HbRoot::sClassDesc.GetParent(), nullptr);
    HbRoot* target = nullptr;
    EXPECT_EQ(root.CloneInto(&target), 0);
    EXPECT_EQ(root.ReadChunks(nullptr), 0);
    EXPECT_EQ(root.Spare(5), 0);
    EXPECT_EQ(root.Load(nullptr, "x"), 0);
    EXPECT_EQ(root.WriteChunks(nullptr), 0);
    EXPECT_EQ(root.GetTypeKey(), "");
    EXPECT_EQ(root.IsShared(), 0);
    EXPECT_EQ(root.GetHandle(), 0u);
    EXPECT_EQ(root.GetStatus(), kHbStatusNone);
}

TEST(HbResource, KeepIfReadyKeepsOnlyReadyObjects)
{
    gDestroyed = 0;
    for (int32_t status : {kHbStatusNone, kHbStatusLoading})
    {
        Base* object = new Base();
        object->SetStatus(status);
        EXPECT_EQ(HbResource::KeepIfReady(object), nullptr) << status;
    }
    EXPECT_EQ(gDestroyed, 2);
    Base* ready = new Base();
    ready->SetStatus(kHbStatusReady);
    EXPECT_EQ(HbResource::KeepIfReady(ready), ready);
    EXPECT_EQ(gDestroyed, 2);
    EXPECT_EQ(HbResource::KeepIfReady(nullptr), nullptr);
    delete ready;
}

// ---- Class descriptors --------------------------------------------------------------------

TEST(HbClassDesc, KindOfAndCastsFollowTheParentChain)
{
    Leaf leaf;
    Middle middle;
    Sibling sibling;
    struct Case
    {
        HbRoot* object;
        const HbClassDesc* descriptor;
        bool kind;
    } cases[] = {
        {&leaf, &Leaf::sClassDesc, true},     {&leaf, &Middle::sClassDesc, true},
        {&leaf, &Base::sClassDesc, true},     {&leaf, &HbRoot::sClassDesc, true},
        {&leaf, &Sibling::sClassDesc, false}, {&middle, &Leaf::sClassDesc, false},
        {&middle, &Middle::sClassDesc, true}, {&sibling, &Middle::sClassDesc, false},
        {&sibling, &Base::sClassDesc, true},  {nullptr, &HbRoot::sClassDesc, false},
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(HbClassDesc::IsKindOf(c.object, c.descriptor), c.kind);
        EXPECT_EQ(HbClassDesc::CastTo(c.object, c.descriptor), c.kind ? c.object : nullptr);
    }
    EXPECT_EQ(HbCastTo<Middle>(&leaf), &leaf);
    EXPECT_EQ(HbCastTo<Leaf>(&middle), nullptr);
    EXPECT_EQ(Leaf::sClassDesc.GetParent(), &Middle::sClassDesc);
}

// ---- Class-ID registry --------------------------------------------------------------------

constexpr uint32_t kQueuedId = 0x7F00F001;
HB_QUEUE_CLASS_ID(kQueuedId, "tests\\hbroot");

TEST(HbClassIdRegistry, QueuedRegistrationsWaitUntilSomeoneRunsThem)
{
    HbClassIdRegistry* registry = HbClassIdRegistry::Instance();
    ASSERT_NE(registry, nullptr);
    EXPECT_EQ(HbClassIdRegistry::Instance(), registry);
    std::string source;
    EXPECT_EQ(registry->GetIds().Lookup(kQueuedId, source), 0);
    ASSERT_GE(registry->GetQueue().GetCount(), 1);

    // Framework modules queue registrations of their own; where this file's
    // lands depends on the order of static construction, so run the queue
    // from its head until this file's id is in.
    for (HbPtrListNode* node = registry->GetQueue().GetHead(); node; node = node->next)
    {
        EXPECT_EQ(reinterpret_cast<HbClassIdRegistration>(node->value)(), 1);
        if (registry->GetIds().Lookup(kQueuedId, source))
            break;
    }
    EXPECT_EQ(registry->GetIds().Lookup(kQueuedId, source), 1);
    EXPECT_EQ(source, "tests\\hbroot");
}

TEST(HbClassIdRegistry, DistinctIdsAreStored)
{
    HbClassIdRegistry registry;
    registry.Register(4097, "src\\w3dlevel", 10);
    registry.Register(4099, "src\\w3dlight", 11);
    std::string source;
    EXPECT_EQ(registry.GetIds().Lookup(4097, source), 1);
    EXPECT_EQ(source, "src\\w3dlevel");
    EXPECT_EQ(registry.GetIds().Lookup(4099, source), 1);
    EXPECT_EQ(source, "src\\w3dlight");
    EXPECT_EQ(registry.GetIds().GetCount(), 2);
}

TEST(HbClassIdRegistryDeathTest, ADuplicateIdEndsTheProgramWithCodeOne)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            HbClassIdRegistry registry;
            registry.Register(5410, "src\\tsscenaricmark", 1);
            registry.Register(5410, "src\\tsscenaricmark", 2);
        },
        ::testing::ExitedWithCode(1), "You have 2 classes with similar ID");
}

} // namespace
