// MoCampaignMap: the campaign map of the mission selection. Seven framed mission names joined by
// twenty-six path pieces over a background, a framed title line and a framed picture for the
// selected mission, and per mission a succeeded marker, a completion tick and a story text. Its
// animations: an entrance in which paths, names and ticks fade in one after another, a pulse on
// the selected name, cross-fades of the mission pictures, and three runners that travel along
// the paths lighting one piece at a time. The owner decides what is open and what is selected;
// the map only shows it.
#pragma once

#include "hbmemory.h"
#include "raster.h"
#include "vector.h"

#include <cstdint>

class BoardControl;
struct Path2d;
class W2dFramedPanel;
class W2dPictureItem;
class W2dTextGraphicItem;

/// What the map shows of the campaign, per mission (index = mission number - 1).
struct CampaignProgress
{
    int32_t open[7] = {};      ///< the mission can be played
    int32_t succeeded[7] = {}; ///< all its objectives were completed: its marker shows
    int32_t done[7] = {};      ///< it has a result: its completion tick shows
};

class MoCampaignMap : public HbAllocated
{
public:
    static constexpr int32_t kMissions = 7;
    static constexpr int32_t kPathPieces = 26;
    static constexpr int32_t kRunners = 3;
    /// The key-hint theme of the map.
    static constexpr int32_t kKeyHintTheme = 8;
    /// Effects of a name's text and of a picture, by index.
    static constexpr int32_t kNamePulse = 0;
    static constexpr int32_t kNameFade = 1;
    static constexpr int32_t kPictureFadeOut = 0;
    static constexpr int32_t kPictureFadeIn = 1;
    /// Seconds between two steps of a runner.
    static constexpr double kRunnerStepSeconds = 0.15;

    static const Rgba kNameColour;
    static const Rgba kMarkerColour;
    static const Rgba kMarkerSelectedColour;

    /// One light travelling along the path pieces.
    struct Runner
    {
        int32_t piece;    ///< the next piece it lights
        Vector savedSize; ///< the lit piece's own size, position and colour, put back when it moves on
        Vector savedPosition;
        Rgba savedColour;
        int64_t lastStep; ///< real-clock ticks
    };

    MoCampaignMap();
    /// Releases every item still held.
    ~MoCampaignMap();
    MoCampaignMap(const MoCampaignMap&) = delete;
    MoCampaignMap& operator=(const MoCampaignMap&) = delete;

    // ---- The visit ------------------------------------------------------------------------------
    /// Makes the background, the names, the title and picture panels with their titles and
    /// pictures, the path pieces, the markers and the ticks, then pushes the map's key-hint theme
    /// on the bar (none without a bar). Items that cannot be made stay null. 1.
    int32_t Build(BoardControl* bar);
    /// The first show of a visit with the mission current: names coloured by openness, the
    /// current picture and title, the paths to open missions, the markers, the story texts, the
    /// runners started, the entrance fades and the current name's pulse.
    void EnterDisplay(const CampaignProgress& progress, int32_t current);
    /// One frame: the names, panels, ticks and path pieces, the runners, the pictures. Allocates
    /// nothing.
    void Update();
    /// Every item hidden (an overlay covers the map).
    void HideAll();
    /// The map back as it was after an overlay; the story texts stay hidden.
    void ShowAll(const CampaignProgress& progress, int32_t current);
    /// Every item off the screen and dropped; the map is empty afterwards.
    void ReleaseAll();

    // ---- The selection ----------------------------------------------------------------------------
    /// The selection's look moves from one mission to the other: the old title hidden, its
    /// picture fading out and its name's pulse stopped; the new name pulsing, its picture fading
    /// in, picture and title shown.
    void MoveSelection(int32_t from, int32_t to);
    /// The mission's marker red while selected, else white.
    void SetMarkerSelected(int32_t mission, int32_t selected);
    /// The story of the mission shown: its picture fades out, and the entrance stops where it is
    /// (the names' frames and the paths take their final colours).
    void ShowDetails(int32_t mission);
    /// Back from the story: the picture fades in, the story hidden.
    void HideDetails(int32_t mission);
    /// The title panel shown or hidden (its own title stays hidden).
    void ShowTitlePanel(int32_t shown);
    /// Every title hidden, then the mission's shown (none for -1).
    void ShowOnlyTitle(int32_t mission);
    void ShowStory(int32_t mission, int32_t shown);
    /// Every effect of the mission's picture stopped where it is.
    void StopPicture(int32_t mission);

    // ---- Inspection -------------------------------------------------------------------------------
    W2dPictureItem* GetBackground() const { return mBackground; }
    W2dFramedPanel* GetTitlePanel() const { return mTitlePanel; }
    W2dFramedPanel* GetPicturePanel() const { return mPicturePanel; }
    W2dFramedPanel* GetNamePanel(int32_t i) const { return Valid(i) ? mNamePanels[i] : nullptr; }
    /// The name's text, held by its panel.
    W2dTextGraphicItem* GetName(int32_t i) const;
    W2dTextGraphicItem* GetTitle(int32_t i) const { return Valid(i) ? mTitles[i] : nullptr; }
    W2dPictureItem* GetPicture(int32_t i) const { return Valid(i) ? mPictures[i] : nullptr; }
    W2dPictureItem* GetPathPiece(int32_t i) const { return i >= 0 && i < kPathPieces ? mPathPieces[i] : nullptr; }
    W2dPictureItem* GetMarker(int32_t i) const { return Valid(i) ? mMarkers[i] : nullptr; }
    W2dTextGraphicItem* GetStory(int32_t i) const { return Valid(i) ? mStories[i] : nullptr; }
    W2dPictureItem* GetTick(int32_t i) const { return Valid(i) ? mTicks[i] : nullptr; }
    const Runner& GetRunner(int32_t i) const { return mRunners[i]; }
    /// 1 when the path pieces of the group leading to the mission show with these missions open:
    /// pieces 0-1 need mission 2, 2-8 missions 3 and 4, 9-16 missions 5 and 6, 17-25 mission 7.
    static int32_t IsPathPieceOpen(int32_t piece, const int32_t open[kMissions]);

private:
    static bool Valid(int32_t i) { return i >= 0 && i < kMissions; }
    void AddNamePanel(const Vector& position, const Vector& size, W2dTextGraphicItem* text);
    void BuildPictures();
    void BuildPathPieces();
    void BuildMarkers();
    void BuildCompleteTicks();
    void BuildStoryTexts();
    void HideClosedPaths(const int32_t open[kMissions]);
    void ShowMarkersAndTicks(const CampaignProgress& progress);
    void StartRunners();
    void StepRunners();
    void StartEntrance();
    /// Holds the shared paths of both sizes a runner gives each piece.
    void KeepRunnerPaths();
    void DropRunnerPaths();

    W2dPictureItem* mBackground = nullptr;
    W2dFramedPanel* mTitlePanel = nullptr;
    W2dFramedPanel* mPicturePanel = nullptr;
    W2dFramedPanel* mNamePanels[kMissions] = {};
    /// Title 1 and picture 1 are their panels' contents too.
    W2dTextGraphicItem* mTitles[kMissions] = {};
    W2dPictureItem* mPictures[kMissions] = {};
    W2dPictureItem* mPathPieces[kPathPieces] = {};
    W2dPictureItem* mMarkers[kMissions] = {};
    W2dTextGraphicItem* mStories[kMissions] = {};
    W2dPictureItem* mTicks[kMissions] = {};
    Runner mRunners[kRunners] = {};
    /// Each piece's path at its own size and at its lit size.
    Path2d* mKeptPaths[2 * kPathPieces] = {};
};
