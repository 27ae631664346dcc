// Inventories: adding hides, removing deletes or puts the actor far below, saved inventories
// reload in order with their actors' state, and mutated inventory and weapon records read
// within their buffers.
#include "frame.h"
#include "hbsavefile.h"
#include "script_fixture.h"
#include "scriptworld_fixture.h"
#include "tsinventory.h"
#include "tsweaponshoot.h"
#include "w3dnode.h"
#include "w3dobject.h"

#include <gtest/gtest.h>

#include <random>

namespace scriptworldtest
{
namespace
{

class Inventory : public ScriptWorldTest
{
protected:
    void SetUp() override
    {
        ScriptWorldTest::SetUp();
        ASSERT_EQ(Exec("class Gun:\n"
                       "    def __init__(self, name, data=''):\n"
                       "        self.actorName = name\n"
                       "        self.data = Gun\n"
                       "class Junk(Gun):\n"
                       "    def delete(self):\n"
                       "        note('deleted ' + self.actorName)\n"
                       "gun1 = Gun('gun1')\n"
                       "junk1 = Junk('junk1')\n"),
                  "");
        mGun = new TsWeaponShoot();
        mGun->AddRef();
        W3dObject* model = W3dObject::Create();
        model->SetClump(renderertest::MakeClump({nullptr}));
        mGun->SetModel(model);
        mGun->mMagazineSize = 10;
        mGun->SetAmmo(27);
        mGun->BindScriptObject(PyDict_GetItemString(scripttest::MainDict(), "gun1"));
        mWorld->AddActor(mGun);
    }
    void TearDown() override
    {
        mWorld->RemoveActor(mGun);
        mGun->Release();
        ScriptWorldTest::TearDown();
    }
    TsInventoryItem* Item(const char* name, TsActor* actor = nullptr, const char* text = "")
    {
        auto* item = new TsInventoryItem();
        item->mName = name;
        item->mTexts[0] = text;
        item->mTexts[1] = std::string(text) + "!";
        item->SetActor(actor);
        return item;
    }
    /// An inventory of a key (no actor), the gun and a map whose actor has no script object.
    void Fill(TsInventory& inventory)
    {
        FakeActor* map = Make("map", {0, 0, 0});
        map->SetScriptObject(nullptr);
        inventory.Add(Item("key", nullptr, "opens"));
        inventory.Add(Item("gun", mGun, "shoots"));
        inventory.Add(Item("map", map, "shows"));
    }

    TsWeaponShoot* mGun = nullptr;
};

TEST_F(Inventory, ThreeItemsSaveAndReloadInOrderWithTheirActors)
{
    HbSaveFile save;
    {
        TsInventory inventory;
        Fill(inventory);
        EXPECT_FALSE(mGun->GetNode()->GetFlags() & W3dNode::kVisible) << "carried: hidden";
        EXPECT_EQ(inventory.Save(&save), 1);
        inventory.RemoveByName("gun");
    }
    save.EndAccess();
    ASSERT_EQ(save.BeginRead(), 1);
    mGun->SetAmmo(5);

    TsInventory loaded;
    ASSERT_EQ(loaded.Load(&save), 1);
    ASSERT_EQ(loaded.GetCount(), 3);
    const char* names[] = {"key", "gun", "map"};
    const char* texts[] = {"opens", "shoots", "shows"};
    for (int32_t i = 0; i < 3; ++i)
    {
        EXPECT_EQ(loaded.GetItem(i)->mName, names[i]);
        EXPECT_EQ(loaded.GetItem(i)->mTexts[0], texts[i]);
        EXPECT_EQ(loaded.GetItem(i)->mTexts[1], std::string(texts[i]) + "!");
    }
    EXPECT_EQ(loaded.GetItem(0)->GetActor(), nullptr);
    EXPECT_EQ(loaded.GetItem(1)->GetActor(), mGun);
    EXPECT_EQ(mGun->GetTotal(), 27) << "the actor loaded its own state";
    EXPECT_EQ(loaded.GetItem(2)->GetActor(), nullptr) << "an actor without a script object is saved as None";

    TsInventoryMatch match = {mGun, nullptr};
    loaded.ForEach(TsInventoryItemMatchesActor, &match);
    EXPECT_EQ(match.item, loaded.GetItem(1));
    EXPECT_EQ(loaded.RemoveByName("gun"), mGun);
    EXPECT_EQ(loaded.GetCount(), 2);
}

TEST_F(Inventory, AnActorThatCannotBeFoundStillLeavesTheStreamInStep)
{
    HbSaveFile save;
    {
        TsInventory inventory;
        Fill(inventory);
        inventory.Add(Item("last", nullptr, "after"));
        ASSERT_EQ(inventory.Save(&save), 1);
        inventory.RemoveByName("gun");
    }
    save.EndAccess();
    ASSERT_EQ(save.BeginRead(), 1);
    mWorld->RemoveActor(mGun);

    TsInventory loaded;
    ASSERT_EQ(loaded.Load(&save), 1);
    ASSERT_EQ(loaded.GetCount(), 4);
    EXPECT_EQ(loaded.GetItem(1)->GetActor(), nullptr);
    EXPECT_EQ(loaded.GetItem(3)->mName, "last") << "the gun's total was passed over";
    mWorld->AddActor(mGun);
}

TEST_F(Inventory, RemovingDeletesThroughTheScriptOrPutsTheActorFarBelow)
{
    FakeActor* junk = Make("junk", {0, 0, 0});
    junk->BindScriptObject(PyDict_GetItemString(scripttest::MainDict(), "junk1"));
    FakeActor* plain = Make("plain", {10, 0, 0});
    TsInventory inventory;
    ASSERT_EQ(inventory.Add(Item("junk", junk)), 1);
    ASSERT_EQ(inventory.Add(Item("plain", plain)), 1);
    ASSERT_EQ(inventory.Add(Item("plain")), 1) << "duplicates allowed";
    EXPECT_EQ(inventory.GetCount(), 3);

    EXPECT_EQ(inventory.RemoveItem("junk"), 1);
    ASSERT_EQ(Log().size(), 1u);
    EXPECT_EQ(Log()[0], "deleted junk1");
    EXPECT_EQ(inventory.RemoveItem("plain"), 1);
    Frame::SyncDirtyList();
    EXPECT_TRUE(plain->GetNode()->GetFlags() & W3dNode::kVisible);
    EXPECT_EQ(plain->GetNode()->GetWorldPosition()->y, TsInventory::kOutOfTheWay);
    EXPECT_EQ(plain->GetNode()->GetWorldPosition()->x, 0.0f);
    EXPECT_EQ(inventory.GetCount(), 1);
    EXPECT_EQ(inventory.RemoveItem("junk"), 0);
    TsInventoryItem stranger;
    EXPECT_EQ(inventory.Remove(&stranger), 0);

    inventory.mDuplicatesAllowed = 0;
    TsInventoryItem* twin = Item("plain");
    twin->AddRef();
    EXPECT_EQ(inventory.Add(twin), 0);
    twin->Release();
    EXPECT_EQ(inventory.RemoveByName("nothing"), nullptr);
}

/// Writes the bytes over the start of the save buffer and rewinds it for reading.
void Overwrite(HbSaveFile& save, const std::vector<uint8_t>& bytes)
{
    save.EndAccess();
    save.GetMemoryBuffer()->Seek(0, 0);
    save.GetMemoryBuffer()->Write(bytes.data(), bytes.size());
    ASSERT_EQ(save.BeginRead(), 1);
}

TEST_F(Inventory, MutatedInventoryAndWeaponRecordsReadWithinTheirBuffer)
{
    HbSaveFile save(512);
    {
        TsInventory inventory;
        Fill(inventory);
        ASSERT_EQ(inventory.Save(&save), 1);
        inventory.RemoveByName("gun");
    }
    HbMemoryStreamBuf* buffer = save.GetMemoryBuffer();
    const std::vector<uint8_t> original(buffer->GetData(), buffer->GetData() + buffer->GetCapacity());
    std::mt19937 random(53);
    for (int32_t round = 0; round < 1500; ++round)
    {
        std::vector<uint8_t> bytes = original;
        for (int32_t n = random() % 4 + 1; n > 0; --n)
        {
            // Counts and lengths are what matter: hit the first 100 bytes most.
            const size_t at = random() % 2 ? random() % 100 : random() % bytes.size();
            const uint32_t kind = random() % 4;
            bytes[at] = kind == 0 ? 0 : kind == 1 ? 0xFF : kind == 2 ? 0x7F : uint8_t(random());
        }
        Overwrite(save, bytes);
        TsInventory loaded;
        loaded.Load(&save);
        EXPECT_LE(loaded.GetCount(), int32_t(buffer->GetCapacity() / 10));
        for (int32_t i = 0; i < loaded.GetCount(); ++i)
            EXPECT_LE(loaded.GetItem(i)->mName.size(), size_t(buffer->GetCapacity()));
    }

    // A weapon's record alone: three names and the total.
    HbSaveFile record(64);
    ASSERT_EQ(mGun->Save(&record), 1);
    const std::vector<uint8_t> weapon(record.GetMemoryBuffer()->GetData(), record.GetMemoryBuffer()->GetData() + 64);
    for (int32_t round = 0; round < 1500; ++round)
    {
        std::vector<uint8_t> bytes = weapon;
        for (int32_t n = random() % 3 + 1; n > 0; --n)
            bytes[random() % bytes.size()] = uint8_t(random() % 3 == 0 ? 0 : random());
        Overwrite(record, bytes);
        std::string name;
        bool names = record.ReadString(name) && record.ReadString(name) && record.ReadString(name);
        mGun->SetAmmo(27);
        const int32_t loaded = names ? mGun->Load(&record) : 0;
        if (!loaded)
            EXPECT_EQ(mGun->GetTotal(), 27) << "a failed load keeps the ammunition";
    }
}

} // namespace
} // namespace scriptworldtest
