// Inventory items and inventories: a named record that may keep the actor that stands for the
// thing in the world (hidden while carried), and the named lists of them the hero's inventory,
// its equipment and the event boxes use. Both are saved and loaded; an item's actor is made
// again from its script class on load.
#pragma once

#include "hbgrowarray.h"
#include "hbperclassfreelist.h"
#include "hbroot.h"

#include <cstdint>
#include <string>

class HbSaveFile;
class TsActor;

class TsInventoryItem : public HbRoot
{
    HB_DECLARE_CLASS_POOL();

public:
    static constexpr int32_t kPoolSize = 20;

    TsInventoryItem() = default;
    /// Releases the physical actor.
    ~TsInventoryItem() override;

    /// Keeps the actor (one reference) in place of the previous one; null clears.
    void SetActor(TsActor* actor);
    TsActor* GetActor() const { return mActor; }

    /// The name, the two texts, then the actor's record: the count of its class's extra
    /// words, its three names and those words; "None" three times without an actor or
    /// without a script object. 1, or 0 at the first failed write.
    int32_t Save(HbSaveFile* save);
    /// Reads what Save wrote, each length and count bounded by what the stream still holds.
    /// With three names other than "None" the script object is made again and the actor of
    /// that name becomes the physical actor and loads its own words; without such an actor
    /// the words are skipped. Whether every read succeeded.
    int32_t Load(HbSaveFile* save);
    using HbRoot::Load;

    std::string mName;
    std::string mTexts[2];

private:
    TsActor* mActor = nullptr;
};

class TsInventory : public HbRoot
{
    HB_DECLARE_CLASS_POOL();

public:
    static constexpr int32_t kPoolSize = 1;
    /// Where an actor whose script could not delete it is put out of the way.
    static constexpr float kOutOfTheWay = -10000000.0f;
    using ItemFunction = int32_t (*)(TsInventoryItem* item, void* data);

    TsInventory() = default;
    /// RemoveAll.
    ~TsInventory() override;

    /// 0 when duplicates are refused and the name is present; else appends the item (one
    /// reference), hides its actor and answers 1.
    int32_t Add(TsInventoryItem* item);
    TsInventoryItem* FindItem(const char* name) const;
    bool Contains(const char* name) const { return FindItem(name) != nullptr; }
    /// 0 when the item is not listed. Otherwise its actor's script deletes it, or the actor is
    /// shown and put far below the level; the item is released and taken out. 1.
    int32_t Remove(TsInventoryItem* item);
    /// Remove of the first item of the name; 0 when none.
    int32_t RemoveItem(const char* name);
    /// Takes the first item of the name out and releases it, keeping its actor (hidden); the
    /// actor, or null.
    TsActor* RemoveByName(const char* name);
    void RemoveAll();
    /// fn with each item in order until it answers 0.
    void ForEach(ItemFunction fn, void* data);

    /// The count, then each item; 1 when everything was written.
    int32_t Save(HbSaveFile* save);
    /// RemoveAll, then the count and the items: refused or failed items are dropped. 1, or 0
    /// when the count cannot be read or is more than the stream can hold.
    int32_t Load(HbSaveFile* save);
    using HbRoot::Load;

    int32_t GetCount() const { return mItems.GetCount(); }
    TsInventoryItem* GetItem(int32_t index) const { return static_cast<TsInventoryItem*>(mItems[index]); }

    int32_t mDuplicatesAllowed = 1;

private:
    HbPtrArray mItems;
};

/// For TsInventory::ForEach: stops at the item whose actor is match->actor and keeps it in
/// match->item.
struct TsInventoryMatch
{
    TsActor* actor;
    TsInventoryItem* item;
};
int32_t TsInventoryItemMatchesActor(TsInventoryItem* item, void* match);

/// The extra 32-bit words an actor's Save writes after its three names (the shooting weapon's
/// ammunition total).
int32_t TsActorSavedWordCount(TsActor* actor);
