// MapView: the map overlay of a mission, a 2D surface of its own: a window onto the level's map texture
// that the player zooms and pans, the hero's place and heading, a numbered marker for every objective
// action with a highlight on the selected objective's, and the selected objective's text in a framed
// panel below the map, chosen with two arrows. Entries and markers follow the order the mission holds
// its objectives in.
#pragma once

#include "mapviewgeometry.h"
#include "w2dsurface.h"

#include <cstdint>
#include <string>
#include <vector>

class MissionManager;
class Objective;
class W2dFramedPanel;
class W2dGraphicContainer;
class W2dPictureItem;
class W2dTextGraphicItem;
struct Path2d;
struct Texture;

/// What the map's drawing asks of the 2D toolkit: the transform stack and filling rectangles with the
/// surfaces' shared brush. A test may install a recorder in its place.
class MapPainter
{
public:
    MapPainter() = default;
    MapPainter(const MapPainter&) = delete;
    MapPainter& operator=(const MapPainter&) = delete;
    virtual ~MapPainter();

    virtual void Push();
    virtual void Pop();
    virtual void Translate(float x, float y);
    virtual void Rotate(float degrees);
    /// Fills the rectangle (lower-left corner, y upward) with the texture, and the texture coordinates
    /// and colours of corners 0 bottom left, 1 bottom right, 2 top right, 3 top left. The device's texture
    /// state holds the texture's raster while it fills and is cleared after.
    virtual void FillRect(Texture* texture, float x, float y, float width, float height, const MapUv uvs[4],
                          const Rgba colours[4]);

private:
    Path2d* mPath = nullptr; ///< emptied and refilled for each rectangle, so drawing allocates nothing
};

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
        W2dTextGraphicItem* item; ///< the number drawn on the map; null when it could not be made
    };

    MapView();
    /// Releases the textures and every item.
    ~MapView() override;

    /// Builds the textures, pictures, frames, arrows, entries and markers from the mission's objectives
    /// (none without a mission).
    void Build(const MissionManager* missions);
    /// On (re)opening: reads the objectives' states again, selects the first pending one and shows
    /// everything.
    void Refresh(const MissionManager* missions);
    /// Hides everything.
    void Close();
    /// One frame of the player's input.
    void HandleInput();
    /// The map, the markers' highlight and the hero, inside the surface list's drawing; nothing without a
    /// hero or a scene.
    void Render() override;

    /// The painter the drawing uses: the toolkit's unless a test installed one (null puts it back).
    static void InstallPainter(MapPainter* painter);

    int32_t GetCurrentIndex() const { return mCurrent; }
    int32_t GetEntryCount() const { return int32_t(mEntries.size()); }
    const Entry& GetEntry(int32_t i) const { return mEntries[size_t(i)]; }
    int32_t GetMarkerCount() const { return int32_t(mMarkers.size()); }
    const Marker& GetMarker(int32_t i) const { return mMarkers[size_t(i)]; }
    int32_t GetMainCount() const { return mMainCount; }
    int32_t GetFirstPending() const { return mFirstPending; }
    const MapPanState& GetPan() const { return mPan; }
    void SetPan(const MapPanState& pan);
    const MapUv* GetTexCoords() const { return mUvs; }
    bool IsUpArrowShown() const { return mUpShown; }
    bool IsDownArrowShown() const { return mDownShown; }
    int32_t IsFirstDraw() const { return mFirstDraw; }

    // The items, for inspection.
    W2dTextGraphicItem* GetEntryItem(int32_t i) const;
    W2dGraphicContainer* GetList() const { return mList; }
    W2dPictureItem* GetUpArrow() const { return mUpArrow; }
    W2dPictureItem* GetDownArrow() const { return mDownArrow; }
    W2dPictureItem* GetBackground() const { return mBackground; }
    W2dFramedPanel* GetMapFrame() const { return mMapFrame; }
    W2dFramedPanel* GetObjectivePanel() const { return mPanel; }

private:
    void BuildObjectivePanel();
    void BuildMarkerItems();
    void BuildObjectiveList(const std::vector<const Objective*>& objectives);
    void ReadStates(const MissionManager* missions);
    void Scroll(int32_t step);
    void Zoom();
    void Pan();
    void ShowCurrentObjective();
    void DrawMarkers(MapPainter* painter);
    void ReleaseItems();

    std::vector<Entry> mEntries;
    std::vector<Marker> mMarkers;
    int32_t mCurrent = 0;
    int32_t mMainCount = 0;
    int32_t mFirstPending = 0;
    MapPanState mPan = {1.0f, 0.0f, 0.0f};
    MapUv mUvs[4];
    MapUv mIconUvs[4];
    int32_t mFirstDraw = 1;
    bool mUpShown = true;
    bool mDownShown = true;

    Texture* mMapTexture = nullptr;
    Texture* mHeroTexture = nullptr;
    Texture* mHighlightTexture = nullptr;
    W2dGraphicContainer* mList = nullptr;
    W2dPictureItem* mUpArrow = nullptr;
    W2dPictureItem* mDownArrow = nullptr;
    W2dPictureItem* mBackground = nullptr;
    W2dPictureItem* mMapPicture = nullptr;
    W2dFramedPanel* mMapFrame = nullptr;
    W2dPictureItem* mPanelPicture = nullptr;
    W2dFramedPanel* mPanel = nullptr;
    MapPainter mToolkitPainter;
};
