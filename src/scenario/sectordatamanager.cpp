// Storing and restoring sectors, and the mission snapshot of the last sector entry.
#include "sectordatamanager.h"

#include "eboxcontract.h"
#include "gameprofile.h"
#include "gamestate.h"
#include "gamestatemanager.h"
#include "hbexitlist.h"
#include "hbhashmap.h"
#include "hbptr.h"
#include "kfxmanagerimp.h"
#include "logicalinventory.h"
#include "missionmanager.h"
#include "scenario_local.h"
#include "scenarioslots.h"
#include "scriptworldmanager.h"
#include "tsactor.h"
#include "tsmarksystem.h"
#include "tsscenaricmarks.h"
#include "tsscriptbinding.h"
#include "w3dframe.h"
#include "w3dnode.h"

namespace
{
SectorDataManager* gInstance = nullptr;

using SectorData = SectorDataManager::SectorData;

bool FitsName(const std::string& name)
{
    return name.size() < SectorDataManager::kNameCapacity;
}

/// The script world's actors with SaveActorFamily, as weak handles: scripts run while the
/// list is walked may create or delete actors.
std::vector<HbHandlePtr> SavedFamilyActors()
{
    std::vector<HbHandlePtr> actors;
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    if (!world)
        return actors;
    for (HbPtrListNode* node = world->GetActors().GetHead(); node; node = node->next)
    {
        auto* actor = static_cast<TsActor*>(node->value);
        if (actor && (actor->mFamily & SaveActorFamily))
            actors.emplace_back(actor);
    }
    return actors;
}

/// The string attribute of the object, or empty.
std::string StringAttribute(PyObject* object, const char* name)
{
    std::string text;
    PyObject* value = object ? PyObject_GetAttrString(object, name) : nullptr;
    if (value && PyUnicode_Check(value))
        if (const char* utf8 = PyUnicode_AsUTF8(value))
            text = utf8;
    Py_XDECREF(value);
    PyErr_Clear();
    return text;
}

/// The "__name__" of the object's "data" when it is a string, else empty.
std::string DataName(PyObject* object)
{
    std::string text;
    PyObject* data = object ? PyObject_GetAttrString(object, "data") : nullptr;
    if (data)
        text = StringAttribute(data, "__name__");
    Py_XDECREF(data);
    PyErr_Clear();
    return text;
}

MissionManager* CurrentMissions()
{
    GameStateManager* manager = GameStateManager::Existing();
    GameState* state = manager ? manager->GetCurrentState() : nullptr;
    GameProfile* profile = state ? state->GetProfile() : nullptr;
    return profile ? &profile->GetMissions() : nullptr;
}

YoEBox* WorldEventBoxes()
{
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    return world ? HbCastTo<YoEBox>(world->GetEventBoxes()) : nullptr;
}

int32_t BoxWordsFor(const YoEBox* boxes)
{
    return boxes->GetBoxCount() / 32 + 1;
}

int32_t StoreMark(HbRoot* object, void* context)
{
    if (auto* mark = HbCastTo<RespawnMark>(object))
    {
        SectorDataManager::MarkData& data = static_cast<SectorData*>(context)->marks[mark->mName];
        data.unlimited = mark->mUnlimited;
        data.delay = mark->mDelay;
        data.remainingUses = mark->GetRemainingUses();
        data.lock = mark->mHeld;
    }
    return 1;
}

int32_t RestoreMark(HbRoot* object, void* context)
{
    auto* mark = HbCastTo<RespawnMark>(object);
    const auto& marks = static_cast<const SectorData*>(context)->marks;
    auto it = mark ? marks.find(mark->mName) : marks.end();
    if (it != marks.end())
        mark->RestoreState(it->second.delay, it->second.remainingUses, it->second.unlimited, it->second.lock);
    return 1;
}

int32_t StoreEffect(KFX* effect, int32_t index, void* context)
{
    static_cast<SectorData*>(context)->effects[index] = effect->IsFinished() ? 0 : 1;
    return 1;
}

int32_t RestoreEffect(KFX* effect, int32_t index, void* context)
{
    const auto& effects = static_cast<const SectorData*>(context)->effects;
    if (auto it = effects.find(index); it != effects.end())
    {
        if (it->second)
            effect->Start();
        else
            effect->Stop();
    }
    return 1;
}
} // namespace

SectorDataManager* SectorDataManager::Instance()
{
    if (!gInstance)
    {
        gInstance = new SectorDataManager();
        if (gInstance)
            HbExitList::Add(&SectorDataManager::DestroyInstance);
    }
    return gInstance;
}

SectorDataManager* SectorDataManager::Existing()
{
    return gInstance;
}

SectorDataManager::~SectorDataManager() = default;

void SectorDataManager::DestroyInstance()
{
    delete gInstance;
    gInstance = nullptr;
}

void SectorDataManager::ClearAll()
{
    mSectors.clear();
    mObjectives.clear();
    mInventory.clear();
}

const SectorDataManager::SectorData* SectorDataManager::FindSector(const char* name) const
{
    auto it = name ? mSectors.find(name) : mSectors.end();
    return it == mSectors.end() ? nullptr : it->second.get();
}

int32_t SectorDataManager::HasSector(const char* name) const
{
    return FindSector(name) ? 1 : 0;
}

int32_t SectorDataManager::StoreActors(SectorData& sector)
{
    // Actors with script objects exist only while the interpreter runs.
    if (!Py_IsInitialized())
        return 1;
    for (HbHandlePtr& handle : SavedFamilyActors())
    {
        if (!handle.IsValid())
            continue;
        auto* actor = static_cast<TsActor*>(handle.GetObject());
        PyObject* object = actor->GetScriptObject();
        if (!object || !TsActorIsScriptStored(actor))
            continue;
        const std::string name = StringAttribute(object, "actorName");
        ActorDatas data;
        data.className = Py_TYPE(object)->tp_name;
        data.dataName = DataName(object);
        if (TsActorGetBehaviourName(actor, data.behaviour) != 0)
            data.behaviour.clear();
        // A name that does not fit a record is refused, the actor not stored.
        if (name.empty() || !FitsName(name) || !FitsName(data.className) || !FitsName(data.dataName) ||
            !FitsName(data.behaviour))
            continue;
        W3dNode* node = actor->GetNode();
        if (!node)
            return 0;
        data.position = *node->GetWorldPosition();
        data.direction = *node->GetWorldAt();
        data.active = actor->mMustBeUpdated;
        sector.actors[name] = data;
    }
    return 1;
}

int32_t SectorDataManager::StoreSector(const char* name)
{
    return StoreSector(name, WorldEventBoxes());
}

int32_t SectorDataManager::StoreSector(const char* name, const YoEBox* boxes)
{
    if (!name)
        return 1;
    auto it = mSectors.find(name);
    const bool existed = it != mSectors.end();
    std::unique_ptr<SectorData> fresh;
    SectorData* sector = nullptr;
    if (existed)
    {
        sector = it->second.get();
        *sector = SectorData{};
    }
    else
    {
        fresh = std::make_unique<SectorData>();
        sector = fresh.get();
    }
    if (!StoreActors(*sector))
        return 1;
    // A level without a world files no marks: nothing to keep, not a failure.
    TsWorldForEachSectorObject(TsGetMarkSystem(), StoreMark, YoScenaricMark::kRespawnKind, sector);
    ScenarioEffectTableForEach(StoreEffect, sector);
    if (fresh)
        mSectors[name] = std::move(fresh);
    return StoreEventBoxBits(*sector, boxes);
}

int32_t SectorDataManager::StoreEventBoxBits(SectorData& sector, const YoEBox* boxes)
{
    if (!boxes)
        return 3;
    const int32_t words = BoxWordsFor(boxes);
    if (words >= kBoxWords)
        return 4;
    sector.boxWords = words;
    std::fill(std::begin(sector.boxBits), std::end(sector.boxBits), 0u);
    for (int32_t i = 0; i < boxes->GetBoxCount(); ++i)
        if (boxes->IsBoxEnabled(i))
            sector.boxBits[i / 32] |= 1u << (i % 32);
    return 0;
}

void SectorDataManager::RestoreSector(const char* name)
{
    RestoreEventBoxBits(name, WorldEventBoxes());
    RestoreMarkStates(name);
    RestoreActors(name);
    RestoreFxStates(name);
}

int32_t SectorDataManager::RestoreEventBoxBits(const char* name, YoEBox* boxes)
{
    if (!boxes)
        return 2;
    const SectorData* sector = FindSector(name);
    if (!sector)
        return 3;
    if (sector->boxWords != BoxWordsFor(boxes))
        return 4;
    for (int32_t i = 0; i < boxes->GetBoxCount(); ++i)
    {
        const uint32_t mode = boxes->GetBoxMode(i);
        if ((mode & 0x10) && !(mode & 0x80))
            boxes->SetBoxEnabled(i, (sector->boxBits[i / 32] >> (i % 32)) & 1);
    }
    return 0;
}

int32_t SectorDataManager::RestoreMarkStates(const char* name)
{
    const SectorData* sector = FindSector(name);
    if (!sector)
        return 3;
    void* context = const_cast<SectorData*>(sector);
    return TsWorldForEachSectorObject(TsGetMarkSystem(), RestoreMark, YoScenaricMark::kRespawnKind, context) ? 0 : 2;
}

int32_t SectorDataManager::RestoreActors(const char* name)
{
    const SectorData* sector = FindSector(name);
    if (!sector)
        return 3;
    if (!Py_IsInitialized())
        return sector->actors.empty() ? 0 : 2;
    for (const auto& [actorName, data] : sector->actors)
        if (!TsScriptNameExists(actorName.c_str()) &&
            TsCreateScriptObject(data.className.c_str(), actorName.c_str(), data.dataName.c_str()) != 0)
            return 2;

    std::vector<HbHandlePtr> doomed;
    bool completed = true;
    W3dFrame* root = ScenaricLevelRoot();
    for (HbHandlePtr& handle : SavedFamilyActors())
    {
        if (!handle.IsValid())
            continue;
        auto* actor = static_cast<TsActor*>(handle.GetObject());
        std::string scriptName;
        if (TsActorGetScriptName(actor, scriptName) != 0)
        {
            completed = false;
            break;
        }
        auto it = sector->actors.find(scriptName);
        if (it == sector->actors.end())
        {
            doomed.push_back(handle);
            continue;
        }
        const ActorDatas& stored = it->second;
        W3dNode* node = actor->GetNode();
        if (node)
        {
            node->SetWorldPosition(&stored.position);
            node->LookAlong(&stored.direction);
        }
        ScenarioActorSlots::SetPosition(actor->mScenarioSlot, stored.position);
        ScenarioActorSlots::SetDirection(actor->mScenarioSlot, stored.direction);
        const int32_t wasActive = actor->mMustBeUpdated;
        actor->mMustBeUpdated = 1;
        if (!stored.behaviour.empty())
        {
            PyObject* behaviour = PyUnicode_FromString(stored.behaviour.c_str());
            const int32_t result = behaviour ? TsActorCallScriptMethod(actor, "main", behaviour) : 4;
            Py_XDECREF(behaviour);
            PyErr_Clear();
            if (result != 0)
            {
                completed = false;
                break;
            }
            // The behaviour's script may have deleted the actor.
            if (!handle.IsValid())
                continue;
        }
        actor->mMustBeUpdated = stored.active;
        node = actor->GetNode();
        if (node && root)
        {
            if (wasActive && !stored.active)
                root->RemoveChild(node);
            else if (!wasActive && stored.active && !node->GetParent())
                root->AttachChild(node);
        }
    }
    for (HbHandlePtr& handle : doomed)
        if (handle.IsValid())
            TsActorScriptDelete(static_cast<TsActor*>(handle.GetObject()));
    return completed ? 0 : 2;
}

int32_t SectorDataManager::RestoreFxStates(const char* name)
{
    const SectorData* sector = FindSector(name);
    if (!sector)
        return 3;
    ScenarioEffectTableForEach(RestoreEffect, const_cast<SectorData*>(sector));
    return 0;
}

int32_t SectorDataManager::SaveObjectiveActions()
{
    return SaveObjectiveActions(CurrentMissions());
}

int32_t SectorDataManager::RestoreObjectiveActions()
{
    return RestoreObjectiveActions(CurrentMissions());
}

int32_t SectorDataManager::SaveObjectiveActions(const MissionManager* missions)
{
    mObjectives.clear();
    if (!missions)
        return 0;
    missions->ForEachObjectiveAction(
        [](Objective* objective, ObjectiveAction* action, void* data) -> int32_t
        {
            static_cast<std::vector<ObjectiveState>*>(data)->push_back(
                {objective->GetId(), action->mId, action->mActive, action->mDone});
            return 1;
        },
        &mObjectives);
    return 0;
}

int32_t SectorDataManager::RestoreObjectiveActions(MissionManager* missions)
{
    for (const ObjectiveState& state : mObjectives)
    {
        Objective* objective = missions ? missions->GetObjective(state.objective) : nullptr;
        ObjectiveAction* action = objective ? objective->GetAction(state.action) : nullptr;
        if (!action)
            return 3;
        action->SetState(state.active, state.done);
    }
    if (!missions)
        return 0;
    std::vector<int32_t> done;
    for (int32_t i = 0; i < MissionManager::kMaxObjectives; ++i)
        if (Objective* objective = missions->GetObjective(i))
        {
            objective->RecomputeState();
            if (objective->IsDone())
                done.push_back(objective->GetId());
        }
    for (int32_t i = 0; i < MissionManager::kMaxObjectives; ++i)
        if (Objective* objective = missions->GetObjective(i))
            objective->RecomputeNeeded(done);
    return 0;
}

int32_t SectorDataManager::StoreLogicalInventory(const StringHashMap& inventory)
{
    mInventory.clear();
    HbPosition position = inventory.GetStartPosition();
    std::string name;
    void* value = nullptr;
    while (position && inventory.GetNextAssoc(position, name, value))
        mInventory.emplace_back(name, static_cast<int32_t>(reinterpret_cast<intptr_t>(value)));
    return 0;
}

int32_t SectorDataManager::CopyLogicalInventory(StringHashMap& inventory) const
{
    inventory.RemoveAll();
    for (const auto& [name, count] : mInventory)
        for (int32_t i = 0; i < count; ++i)
            LogicalInventoryAdd(inventory, name.c_str());
    return 0;
}
