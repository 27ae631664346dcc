// The map overlay's objective entries, markers and input.
#include "mapview.h"

#include "hbinputaction.h"
#include "hbinputmanager.h"
#include "missionmanager.h"
#include "tssoundmodule.h"

#include <algorithm>
#include <climits>

HB_DEFINE_CLASS_DESC(MapView, W2dSurface);

namespace
{

/// The mission's objectives in number order.
std::vector<const Objective*> Objectives(const MissionManager* missions)
{
    std::vector<const Objective*> out;
    if (!missions)
        return out;
    for (int32_t i = 0; i < MissionManager::kMaxObjectives; ++i)
        if (const Objective* objective = missions->GetObjective(i))
            out.push_back(objective);
    std::stable_sort(out.begin(), out.end(),
                     [](const Objective* a, const Objective* b) { return a->GetId() < b->GetId(); });
    return out;
}

} // namespace

MapView::MapView() : W2dSurface(0.0f, 0.0f, 1.0f, 1.0f, kLayer)
{
    std::copy(kMapBaseUvs, kMapBaseUvs + 4, mUvs);
}

void MapView::Build(const MissionManager* missions)
{
    mEntries.clear();
    mMarkers.clear();
    std::vector<const Objective*> objectives = Objectives(missions);
    for (const Objective* objective : objectives)
        mEntries.push_back({objective->GetId(), objective->GetCategory(), objective->IsDone(),
                            objective->GetDescriptionText()});
    ReadStates(missions);
    // Entries and markers share the visiting order, so gaps in the numbers cannot misalign them.
    for (size_t e = 0; e < objectives.size(); ++e)
        for (const ObjectiveMarker& place : objectives[e]->mMarkers)
            mMarkers.push_back({MapMarkerText(objectives[e]->GetId(), objectives[e]->GetCategory(), mMainCount),
                                {place.x, place.y, place.z},
                                int32_t(e),
                                objectives[e]->IsActive() || objectives[e]->IsDone()});
    mCurrent = mFirstPending;
}

void MapView::ReadStates(const MissionManager* missions)
{
    std::vector<const Objective*> objectives = Objectives(missions);
    mMainCount = 0;
    mFirstPending = INT32_MAX;
    for (size_t e = 0; e < objectives.size(); ++e)
    {
        if (objectives[e]->GetCategory() == 0)
            ++mMainCount;
        if (!objectives[e]->IsDone() && int32_t(e) < mFirstPending)
            mFirstPending = int32_t(e);
        if (e < mEntries.size())
            mEntries[e].finished = objectives[e]->IsDone();
    }
    int32_t count = GetEntryCount();
    if (mFirstPending >= count)
        mFirstPending = std::max(count - 1, 0);
}

void MapView::Refresh(const MissionManager* missions)
{
    ReadStates(missions);
    std::vector<const Objective*> objectives = Objectives(missions);
    for (Marker& marker : mMarkers)
        if (size_t(marker.entry) < objectives.size())
            marker.visible = objectives[size_t(marker.entry)]->IsActive() || objectives[size_t(marker.entry)]->IsDone();
    mCurrent = mFirstPending;
    SetVisible(1);
}

void MapView::SetPan(const MapPanState& pan)
{
    mPan = pan;
    MapTexCoords(kMapBaseUvs, mPan.zoom, mPan.panX, mPan.panY, mUvs);
}

bool MapView::Triggered(const char* action) const
{
    HbInputManager* manager = HbInputManager::Instance();
    HbInputAction* found = manager ? manager->FindAction(action) : nullptr;
    return found && found->IsTriggered();
}

void MapView::Scroll(int32_t step)
{
    int32_t count = GetEntryCount();
    std::vector<MapEntryMark> marks(size_t(count), MapEntryMark::kNone);
    for (const Marker& marker : mMarkers)
    {
        MapEntryMark& mark = marks[size_t(marker.entry)];
        if (marker.visible)
            mark = MapEntryMark::kVisible;
        else if (mark == MapEntryMark::kNone)
            mark = MapEntryMark::kHidden;
    }
    mCurrent = MapScrollTarget(marks.data(), count, mCurrent, step);
    // The sound plays whether the selection moved or not.
    TsFModPlaySoundAt(mEntries[size_t(mCurrent)].finished ? "SD_I_OBJECTIVE_FINISHED_S2DSB" : "SD_I_OBJECTIVE_NEW_S2DSB",
                      nullptr);
}

void MapView::Pan()
{
    if (Triggered("UP_MAP"))
        mPan.panY -= 0.001f;
    if (Triggered("DOWN_MAP"))
        mPan.panY += 0.001f;
    if (Triggered("LEFT_MAP"))
        mPan.panX -= 0.001f;
    if (Triggered("RIGHT_MAP"))
        mPan.panX += 0.001f;
    if (Triggered("SELECT_OBJ") && !mMarkers.empty())
    {
        const Marker* chosen = &mMarkers[0];
        for (const Marker& marker : mMarkers)
            if (marker.entry == mCurrent)
            {
                chosen = &marker;
                break;
            }
        float xz[2] = {chosen->position[0], chosen->position[2]};
        MapRecentre(&mPan, xz);
    }
    MapClampPan(&mPan);
}

void MapView::HandleInput()
{
    mPan.zoom = MapZoomFrame(mPan.zoom, Triggered("MAP_ZOOM_IN"), Triggered("MAP_ZOOM_OUT"));
    int32_t count = GetEntryCount();
    if (count > 0 && Triggered("MAP_OBJECTIVES_SCROLL_DOWN") && mCurrent < count - 1)
    {
        mCurrent = std::max(mCurrent, 0);
        Scroll(1);
    }
    if (count > 0 && Triggered("MAP_OBJECTIVES_SCROLL_UP") && mCurrent > 0)
    {
        mCurrent = std::min(mCurrent, count - 1);
        Scroll(-1);
    }
    Pan();
    MapTexCoords(kMapBaseUvs, mPan.zoom, mPan.panX, mPan.panY, mUvs);
    mUpShown = mCurrent != 0;
    mDownShown = mCurrent != count - 1;
}
