// The mission manager: its table of objectives, the mission file's run, sector entry and the
// completion of actions, and the program-wide state of mission files under construction.
#include "missionmanager.h"

#include "hbcommand.h"
#include "hbresource.h"

namespace
{
MissionServices gServices;
std::string gMissionWorld;
std::string gCurrentSector;
int32_t gSignaleticId = -1;
MissionManager* gBuilding = nullptr;
Objective* gBuildingObjective = nullptr;

int32_t HideMarker(Objective*, ObjectiveAction* action, void*)
{
    action->SetMarkerVisible(0);
    return 1;
}

int32_t EnterSectorAction(Objective*, ObjectiveAction* action, void*)
{
    action->ReadPoint();
    if (action->mDone)
        return 1;
    if (!action->mActorName.empty())
    {
        if (gServices.initActor)
            gServices.initActor(action->mActorName.c_str(), action->mArgument.c_str());
    }
    else
        action->SetMarkerVisible(action->mActive);
    return 1;
}
} // namespace

MissionManager::~MissionManager()
{
    if (gBuilding == this)
        gBuilding = nullptr;
    Clear();
}

void MissionManager::SetServices(const MissionServices& services)
{
    gServices = services;
}

const MissionServices& MissionManager::Services()
{
    return gServices;
}

const std::string& MissionManager::CurrentSector()
{
    return gCurrentSector;
}

const std::string& MissionManager::MissionWorld()
{
    return gMissionWorld;
}

void MissionManager::Clear()
{
    for (Objective*& objective : mObjectives)
        if (objective)
        {
            Objective* gone = objective;
            objective = nullptr;
            gone->Release();
        }
}

void MissionManager::Reset()
{
    Clear();
    gMissionWorld.clear();
}

int32_t MissionManager::GetObjectiveCount() const
{
    int32_t count = 0;
    for (int32_t i = 0; i < kMaxObjectives; ++i)
        count += GetObjective(i) ? 1 : 0;
    return count;
}

Objective* MissionManager::GetObjective(int32_t index) const
{
    return index >= 0 && index < kMaxObjectives ? mObjectives[index] : nullptr;
}

int32_t MissionManager::SetObjective(Objective* objective)
{
    if (!objective || objective->mId < 0 || objective->mId >= kMaxObjectives)
        return 0;
    objective->AddRef();
    if (Objective* old = mObjectives[objective->mId])
        old->Release();
    mObjectives[objective->mId] = objective;
    return 1;
}

int32_t MissionManager::RunMissionFile(const char* resourceId)
{
    const std::string sector = gServices.profileSector ? gServices.profileSector() : std::string();
    const std::string world = sector.size() >= 2 ? sector.substr(0, 2) : std::string();
    if (world == gMissionWorld && !world.empty())
        return 1;
    Reset();
    gMissionWorld = world;
    gSignaleticId = -1;
    HbResourceManager* resources = HbResourceManager::Instance();
    const char* path = resources && resourceId ? resources->GetPath(resourceId) : nullptr;
    if (!path || !*path)
        return 0;
    HbCommandManager* commands = HbCommandManager::Instance();
    if (!commands)
        return 0;
    const std::string line = std::string("execute ") + path;
    SetBuilding(this);
    const int result = commands->ExecuteLine(line.c_str());
    SetBuilding(nullptr);
    return result == HbCommandManager::kDone ? 1 : 0;
}

void MissionManager::OnEnterSector(const char* sectorId)
{
    gCurrentSector = sectorId ? sectorId : "";
    ForEachObjectiveAction(HideMarker, nullptr);
    ForEachSectorObjectiveAction(gCurrentSector.c_str(), EnterSectorAction, nullptr);
}

int32_t MissionManager::CompleteAction(int32_t objectiveIndex, int32_t actionIndex)
{
    Objective* objective = GetObjective(objectiveIndex);
    if (!objective)
        return 3;
    const int32_t result = objective->CompleteAction(actionIndex);
    if (result != 0)
        return result;
    if (objective->IsDone())
        for (int32_t i = 0; i < kMaxObjectives; ++i)
            if (Objective* other = GetObjective(i))
                other->OnObjectiveDone(objective, gCurrentSector);
    return 0;
}

int32_t MissionManager::FindActionByName(const char* sector, const char* name, int32_t* objective,
                                         int32_t* action) const
{
    if (!sector || !name)
        return 0;
    for (int32_t i = 0; i < kMaxObjectives; ++i)
    {
        Objective* candidate = GetObjective(i);
        if (!candidate || candidate->GetSector() != sector)
            continue;
        for (int32_t a = 0; a < kMaxActions; ++a)
        {
            ObjectiveAction* entry = candidate->GetAction(a);
            if (!entry)
                continue;
            const std::string& own = entry->mActorName.empty() ? entry->mMarkName : entry->mActorName;
            if (own == name)
            {
                *objective = i;
                *action = a;
                return 1;
            }
        }
    }
    return 0;
}

int32_t MissionManager::ForEachObjectiveAction(Objective::ActionFunction function, void* data) const
{
    for (int32_t i = 0; i < kMaxObjectives; ++i)
        if (Objective* objective = GetObjective(i))
            if (!objective->ForEachAction(function, data))
                return 0;
    return 1;
}

int32_t MissionManager::ForEachSectorObjectiveAction(const char* sector, Objective::ActionFunction function,
                                                     void* data) const
{
    for (int32_t i = 0; i < kMaxObjectives; ++i)
        if (Objective* objective = GetObjective(i))
            if (sector && objective->GetSector() == sector && !objective->ForEachAction(function, data))
                return 0;
    return 1;
}

// ---- Mission files -----------------------------------------------------------------------------------

MissionManager* MissionManager::Building()
{
    return gBuilding;
}

void MissionManager::SetBuilding(MissionManager* missions)
{
    gBuilding = missions;
    if (!missions)
        SetBuildingObjective(nullptr);
}

Objective* MissionManager::BuildingObjective()
{
    return gBuildingObjective;
}

void MissionManager::SetBuildingObjective(Objective* objective)
{
    if (objective)
        objective->AddRef();
    if (gBuildingObjective)
        gBuildingObjective->Release();
    gBuildingObjective = objective;
}

int32_t MissionManager::SignaleticEffectId()
{
    return gSignaleticId;
}

void MissionManager::SetSignaleticEffectId(int32_t id)
{
    gSignaleticId = id < -1 ? -1 : id;
}
