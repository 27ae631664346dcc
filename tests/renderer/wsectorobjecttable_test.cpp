// World-sector object tables (objects by type, references, the sector extension shared on
// copy) and the atomic owner extension (zeroed on creation and on copy, set per clump).
#include "plugin.h"
#include "scene_fixture.h"
#include "watomicowner.h"
#include "world.h"
#include "wsectorobjecttable.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace renderertest
{
namespace
{

using SectorTables = SceneTest;

class Counted : public HbRoot
{
public:
    explicit Counted(int* destroyed) : mDestroyed(destroyed) {}
    ~Counted() override { ++*mDestroyed; }

private:
    int* mDestroyed;
};

// A leaf sector at the registry's size, its extensions constructed.
WorldSector* NewSector()
{
    auto* sector = static_cast<WorldSector*>(std::calloc(1, size_t(WorldSector::Registry()->size)));
    WorldSector::InitLeaf(sector);
    PluginRegistry::InitObject(WorldSector::Registry(), sector);
    return sector;
}

void FreeSector(WorldSector* sector)
{
    PluginRegistry::DeinitObject(WorldSector::Registry(), sector);
    std::free(sector);
}

TEST_F(SectorTables, ObjectsAreListedByTypeWithOneReferenceEach)
{
    int destroyed = 0;
    auto* table = new SectorObjectTable();
    auto* a = new Counted(&destroyed);
    auto* b = new Counted(&destroyed);
    b->AddRef(); // held by the level as well

    EXPECT_EQ(table->FindList(7), nullptr);
    ASSERT_EQ(table->AddObject(7, a), 1);
    ASSERT_EQ(table->AddObject(7, a), 1);
    ASSERT_EQ(table->AddObject(3, b), 1);
    HbPtrArray* sevens = table->FindList(7);
    ASSERT_NE(sevens, nullptr);
    EXPECT_EQ(sevens->GetCount(), 2) << "listed twice";
    EXPECT_EQ(a->GetRefCount(), 2);
    EXPECT_EQ(table->FindList(3)->GetCount(), 1);
    EXPECT_EQ(table->FindList(4), nullptr);

    table->Release();
    EXPECT_EQ(destroyed, 1) << "a lost its last reference; b is still held";
    EXPECT_EQ(b->GetRefCount(), 1);
    b->Release();
    EXPECT_EQ(destroyed, 2);
}

TEST_F(SectorTables, TheSectorExtensionHoldsAReferenceAndIsSharedOnCopy)
{
    ASSERT_GE(SectorObjectTable::GetOffset(), 0);
    WorldSector* first = NewSector();
    SectorObjectTable** slot = SectorObjectTable::Extension(first);
    EXPECT_EQ(SectorObjectTableGet(slot), nullptr) << "a sector without a table";

    auto* table = new SectorObjectTable();
    SectorObjectTableAssign(slot, table);
    SectorObjectTableAssign(slot, table);
    EXPECT_EQ(table->GetRefCount(), 1) << "assigning the table held keeps one reference";

    WorldSector* copy = NewSector();
    PluginRegistry::CopyObject(WorldSector::Registry(), copy, first);
    EXPECT_EQ(SectorObjectTableGet(SectorObjectTable::Extension(copy)), table);
    EXPECT_EQ(table->GetRefCount(), 2);
    FreeSector(copy);
    EXPECT_EQ(table->GetRefCount(), 1) << "the copy's destruction leaves the table to the first";
    EXPECT_EQ(SectorObjectTableGet(slot), table);

    SectorObjectTableAssign(slot, nullptr); // destroyed at no reference
    EXPECT_EQ(SectorObjectTableGet(slot), nullptr);
    FreeSector(first);
}

TEST_F(SectorTables, AtomicOwnerWordsAreZeroedOnCreationAndCopy)
{
    EXPECT_EQ(ExtensionSizeOf(Atomic::Registry(), AtomicOwner::kPluginId), int32_t(sizeof(AtomicOwnerData)))
        << "three words, the owner pointer-sized";
    LoggingNode* node = LoggingNode::Make("owner");
    Clump* clump = MakeClump({nullptr, nullptr});
    node->SetClump(clump);
    for (Atomic* atomic : Atomics(clump))
    {
        AtomicOwnerData* words = AtomicOwner::Get(atomic);
        ASSERT_NE(words, nullptr);
        EXPECT_EQ(words->visibility, 0);
        EXPECT_EQ(words->owner, nullptr);
    }
    ClumpSetOwnerNode(clump, node);
    for (Atomic* atomic : Atomics(clump))
    {
        EXPECT_EQ(AtomicOwner::GetOwner(atomic), node);
        AtomicOwner::Get(atomic)->visibility = 2;
    }

    Clump* clone = Clump::Clone(clump);
    ASSERT_NE(clone, nullptr);
    for (Atomic* atomic : Atomics(clone))
    {
        EXPECT_EQ(AtomicOwner::GetOwner(atomic), nullptr) << "a clone has no owner until it is set";
        EXPECT_EQ(AtomicOwner::Get(atomic)->visibility, 0);
    }
    Clump::Destroy(clone);
    node->Release();
}

} // namespace
} // namespace renderertest
