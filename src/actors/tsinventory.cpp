// Inventory items, inventories and their save records.
#include "tsinventory.h"

#include "hbsavefile.h"
#include "tsactor.h"
#include "tsactorlayer.h"
#include "tsscriptbinding.h"
#include "tsweaponshoot.h"
#include "w3dnode.h"

#include <Python.h>

HB_DEFINE_CLASS_POOL(TsInventoryItem, "TsInventoryItem", TsInventoryItem::kPoolSize);
HB_DEFINE_CLASS_POOL(TsInventory, "TsInventory", TsInventory::kPoolSize);

namespace
{
constexpr const char* kNone = "None";
/// The least an item takes in a stream: six empty strings and its word count.
constexpr int64_t kSmallestItem = 6 + 4;

/// Bytes between the read position and the end of the save buffer.
int64_t Remaining(HbSaveFile* save)
{
    HbMemoryStreamBuf* buffer = save ? save->GetMemoryBuffer() : nullptr;
    return buffer ? int64_t(buffer->GetCapacity()) - buffer->Tell() : 0;
}

bool HasScriptObject(TsActor* actor)
{
    return actor && actor->GetScriptObject() && actor->GetScriptObject() != Py_None;
}

void SetVisible(TsActor* actor, bool visible)
{
    W3dNode* node = actor ? actor->GetNode() : nullptr;
    if (!node)
        return;
    const uint32_t flags = node->GetFlags();
    node->SetFlags(visible ? flags | W3dNode::kVisible : flags & ~uint32_t(W3dNode::kVisible));
}
} // namespace

int32_t TsActorSavedWordCount(TsActor* actor)
{
    return HbCastTo<TsWeaponShoot>(actor) ? 1 : 0;
}

// ---- TsInventoryItem ----------------------------------------------------------------------------------

TsInventoryItem::~TsInventoryItem()
{
    SetActor(nullptr);
}

void TsInventoryItem::SetActor(TsActor* actor)
{
    if (actor)
        actor->AddRef();
    if (mActor)
        mActor->Release();
    mActor = actor;
}

int32_t TsInventoryItem::Save(HbSaveFile* save)
{
    if (!save || !save->WriteString(mName.c_str()) || !save->WriteString(mTexts[0].c_str()) ||
        !save->WriteString(mTexts[1].c_str()))
        return 0;
    // The actor's class data is counted first, so that a reader that cannot make the actor
    // again still knows how much to pass over.
    if (HasScriptObject(mActor))
        return save->WriteInt32(TsActorSavedWordCount(mActor)) && mActor->Save(save) ? 1 : 0;
    return save->WriteInt32(0) && save->WriteString(kNone) && save->WriteString(kNone) && save->WriteString(kNone) ? 1
                                                                                                                   : 0;
}

int32_t TsInventoryItem::Load(HbSaveFile* save)
{
    SetActor(nullptr);
    int32_t words = 0;
    std::string names[3];
    if (!save || !save->ReadString(mName) || !save->ReadString(mTexts[0]) || !save->ReadString(mTexts[1]) ||
        !save->ReadInt32(words) || words < 0 || int64_t(words) * 4 > Remaining(save) || !save->ReadString(names[0]) ||
        !save->ReadString(names[1]) || !save->ReadString(names[2]))
        return 0;
    if (names[0] != kNone && names[1] != kNone && names[2] != kNone)
    {
        TsCreateScriptObject(names[0].c_str(), names[1].c_str(), names[2].c_str());
        PyErr_Clear();
        TsActor* actor = TsFindActorByName(names[1].c_str());
        if (actor && TsActorSavedWordCount(actor) == words)
        {
            SetActor(actor);
            return actor->Load(save) ? 1 : 0;
        }
        SetActor(actor);
    }
    // Words nobody reads here are passed over so that the next record starts where it should.
    for (int32_t i = 0; i < words; ++i)
    {
        int32_t word = 0;
        if (!save->ReadInt32(word))
            return 0;
    }
    return 1;
}

// ---- TsInventory ---------------------------------------------------------------------------------------

TsInventory::~TsInventory()
{
    RemoveAll();
    mItems.RemoveAll();
}

TsInventoryItem* TsInventory::FindItem(const char* name) const
{
    for (int32_t i = 0; name && i < mItems.GetCount(); ++i)
        if (GetItem(i)->mName == name)
            return GetItem(i);
    return nullptr;
}

int32_t TsInventory::Add(TsInventoryItem* item)
{
    if (!item || (!mDuplicatesAllowed && Contains(item->mName.c_str())))
        return 0;
    if (mItems.Add(item) < 0)
        return 0;
    item->AddRef();
    SetVisible(item->GetActor(), false);
    return 1;
}

int32_t TsInventory::Remove(TsInventoryItem* item)
{
    int32_t index = -1;
    for (int32_t i = 0; item && i < mItems.GetCount(); ++i)
        if (mItems[i] == item)
            index = i;
    if (index < 0)
        return 0;
    if (TsActor* actor = item->GetActor())
    {
        if (TsActorScriptDelete(actor) != 0)
        {
            PyErr_Clear();
            SetVisible(actor, true);
            const Vector away = {0.0f, kOutOfTheWay, 0.0f};
            actor->SetPosition(&away);
        }
    }
    for (int32_t i = index; i + 1 < mItems.GetCount(); ++i)
        mItems[i] = mItems[i + 1];
    mItems.SetSize(mItems.GetCount() - 1);
    item->Release();
    return 1;
}

int32_t TsInventory::RemoveItem(const char* name)
{
    TsInventoryItem* item = FindItem(name);
    return item ? Remove(item) : 0;
}

TsActor* TsInventory::RemoveByName(const char* name)
{
    for (int32_t index = 0; name && index < mItems.GetCount(); ++index)
    {
        TsInventoryItem* item = GetItem(index);
        if (item->mName != name)
            continue;
        // The actor outlives the item: the caller takes over, the world keeps its own hold.
        TsActor* actor = item->GetActor();
        SetVisible(actor, false);
        for (int32_t i = index; i + 1 < mItems.GetCount(); ++i)
            mItems[i] = mItems[i + 1];
        mItems.SetSize(mItems.GetCount() - 1);
        if (actor)
            actor->AddRef();
        item->Release();
        if (actor)
            actor->Release();
        return actor;
    }
    return nullptr;
}

void TsInventory::RemoveAll()
{
    while (mItems.GetCount() > 0)
        Remove(GetItem(0));
}

void TsInventory::ForEach(ItemFunction fn, void* data)
{
    for (int32_t i = 0; fn && i < mItems.GetCount(); ++i)
        if (!fn(GetItem(i), data))
            break;
}

int32_t TsInventory::Save(HbSaveFile* save)
{
    if (!save || !save->WriteInt32(mItems.GetCount()))
        return 0;
    int32_t done = 1;
    for (int32_t i = 0; done && i < mItems.GetCount(); ++i)
        done = GetItem(i)->Save(save);
    return done;
}

int32_t TsInventory::Load(HbSaveFile* save)
{
    RemoveAll();
    int32_t count = 0;
    if (!save || !save->ReadInt32(count) || count < 0 || int64_t(count) * kSmallestItem > Remaining(save))
        return 0;
    for (int32_t i = 0; i < count; ++i)
    {
        auto* item = new TsInventoryItem();
        if (!item)
            return 0;
        item->AddRef();
        const int32_t loaded = item->Load(save);
        if (loaded && (mDuplicatesAllowed || !Contains(item->mName.c_str())))
            Add(item);
        item->Release();
        // A record that could not be read leaves the stream at an unknown place.
        if (!loaded)
            break;
    }
    return 1;
}

int32_t TsInventoryItemMatchesActor(TsInventoryItem* item, void* match)
{
    auto* wanted = static_cast<TsInventoryMatch*>(match);
    if (item && wanted && item->GetActor() == wanted->actor)
    {
        wanted->item = item;
        return 0;
    }
    return 1;
}
