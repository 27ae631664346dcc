// Objectives and their actions: completion, activation and the markers' visibility.
#include "objective.h"

#include "missionmanager.h"

#include <algorithm>

HB_DEFINE_CLASS_DESC(Objective, HbRoot);
HB_DEFINE_CLASS_DESC(ObjectiveAction, HbRoot);
HB_DEFINE_CLASS_POOL(Objective, "Objective", Objective::kPoolSize);
HB_DEFINE_CLASS_POOL(ObjectiveAction, "ObjectiveAction", ObjectiveAction::kPoolSize);

namespace
{
void ShowText(const std::string& id)
{
    if (!id.empty() && MissionManager::Services().showText)
        MissionManager::Services().showText(id.c_str());
}
} // namespace

// ---- ObjectiveAction ---------------------------------------------------------------------------

ObjectiveAction::~ObjectiveAction()
{
    delete mMarker;
}

void ObjectiveAction::SetMarker(MissionMarker* marker)
{
    if (marker == mMarker)
        return;
    delete mMarker;
    mMarker = marker;
    mMarkerShown = 0;
}

void ObjectiveAction::GetPosition(float out[3]) const
{
    if (mActive && mMarkerShown && mMarker && mMarker->GetWorldPosition(out))
        return;
    std::copy(mPoint, mPoint + 3, out);
}

void ObjectiveAction::SetMarkerVisible(int32_t show)
{
    show = show ? 1 : 0;
    if (show == mMarkerShown || !mMarker)
        return;
    if (show ? mMarker->Show(mPoint) : mMarker->Hide())
        mMarkerShown = show;
}

void ObjectiveAction::Complete()
{
    if (mDone)
        return;
    mDone = 1;
    mActive = 0;
    SetMarkerVisible(0);
    ShowText(mMessageText);
}

void ObjectiveAction::ReadPoint()
{
    float point[3];
    if (!mMarkName.empty() && MissionManager::Services().findMark &&
        MissionManager::Services().findMark(mMarkName.c_str(), point))
        std::copy(point, point + 3, mPoint);
}

// ---- Objective -------------------------------------------------------------------------------------

Objective::~Objective()
{
    for (ObjectiveAction*& action : mActions)
        if (action)
        {
            action->Release();
            action = nullptr;
        }
}

ObjectiveAction* Objective::GetAction(int32_t index) const
{
    return index >= 0 && index < kMaxActions ? mActions[index] : nullptr;
}

int32_t Objective::SetAction(int32_t index, ObjectiveAction* action)
{
    if (index < 0 || index >= kMaxActions)
        return 0;
    if (action)
        action->AddRef();
    if (mActions[index])
        mActions[index]->Release();
    mActions[index] = action;
    return 1;
}

int32_t Objective::ForEachAction(ActionFunction function, void* data)
{
    for (ObjectiveAction* action : mActions)
        if (action && !function(this, action, data))
            return 0;
    return 1;
}

void Objective::SetActive(int32_t active, int32_t showMarkers)
{
    mActive = active;
    for (ObjectiveAction* action : mActions)
        if (action)
        {
            action->mActive = active;
            action->SetMarkerVisible(showMarkers);
        }
}

int32_t Objective::CompleteAction(int32_t index)
{
    if (!mActive)
        return 1;
    ObjectiveAction* action = GetAction(index);
    if (!action)
        return 2;
    if (action->mDone)
        return 0;
    action->Complete();
    mDone = 1;
    for (ObjectiveAction* other : mActions)
        if (other && !other->mDone)
            mDone = 0;
    if (mDone)
    {
        ShowText(mCompletionText);
        mActive = 0;
    }
    return 0;
}

void Objective::OnObjectiveDone(const Objective* finished, const std::string& currentSector)
{
    if (mDone || mActive || mNeeded.empty() || !finished || finished->mId == mId)
        return;
    for (Needed& needed : mNeeded)
        if (needed.id == finished->mId && !needed.satisfied)
        {
            needed.satisfied = 1;
            break;
        }
    for (const Needed& needed : mNeeded)
        if (!needed.satisfied)
            return;
    SetActive(1, mSector == currentSector ? 1 : 0);
}

void Objective::RecomputeState()
{
    int32_t done = 1;
    int32_t active = 1;
    for (ObjectiveAction* action : mActions)
        if (action && !action->mDone)
        {
            done = 0;
            if (!action->mActive)
                active = 0;
        }
    mDone = done;
    mActive = done ? 0 : active;
}

void Objective::RecomputeNeeded(const std::vector<int32_t>& doneIds)
{
    if (mDone || mActive || mNeeded.empty())
        return;
    for (Needed& needed : mNeeded)
        needed.satisfied = std::find(doneIds.begin(), doneIds.end(), needed.id) != doneIds.end() ? 1 : 0;
}

void Objective::AddNeeded(int32_t id)
{
    if (mActive)
        SetActive(0, 0);
    mNeeded.push_back({id, 0});
}
