// MapView: the map overlay's state over its geometry: the objective entries in the order the mission
// holds them, one marker record per objective action, the selected entry, the zoom and pan, and the
// input that drives them (zoom, objective arrows with their sounds, pan, recentring).
#pragma once

#include "mapviewgeometry.h"
#include "w2dsurface.h"

#include <cstdint>
#include <string>
#include <vector>

class MissionManager;

class MapView : public W2dSurface
{
    HB_DECLARE_CLASS_DESC();

public:
    static constexpr int32_t kLayer = 85;

    struct Entry
    {
        int32_t number;
        int32_t kind;
        int32_t finished;
        std::string textId;
    };
    struct Marker
    {
        std::string text;
        float position[3];
        int32_t entry; ///< the entry of its objective
        int32_t visible;
    };

    MapView();
    /// Reads the mission's objectives (none without a mission).
    void Build(const MissionManager* missions);
    /// Reads the objectives' states again and selects the first pending one.
    void Refresh(const MissionManager* missions);
    void Close() { SetVisible(0); }
    /// One frame of the player's input.
    void HandleInput();

    int32_t GetCurrentIndex() const { return mCurrent; }
    int32_t GetEntryCount() const { return int32_t(mEntries.size()); }
    const Entry& GetEntry(int32_t i) const { return mEntries[size_t(i)]; }
    int32_t GetMarkerCount() const { return int32_t(mMarkers.size()); }
    const Marker& GetMarker(int32_t i) const { return mMarkers[size_t(i)]; }
    int32_t GetMainCount() const { return mMainCount; }
    const MapPanState& GetPan() const { return mPan; }
    void SetPan(const MapPanState& pan);
    const MapUv* GetTexCoords() const { return mUvs; }
    bool IsUpArrowShown() const { return mUpShown; }
    bool IsDownArrowShown() const { return mDownShown; }

private:
    void ReadStates(const MissionManager* missions);
    void Scroll(int32_t step);
    void Pan();
    bool Triggered(const char* action) const;

    std::vector<Entry> mEntries;
    std::vector<Marker> mMarkers;
    int32_t mCurrent = 0;
    int32_t mMainCount = 0;
    int32_t mFirstPending = 0;
    MapPanState mPan = {1.0f, 0.0f, 0.0f};
    MapUv mUvs[4];
    bool mUpShown = true;
    bool mDownShown = true;
};
