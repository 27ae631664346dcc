// The campaign map: its items and where they lie, the entrance, the selection's look, the runners,
// and hiding, showing and releasing it all.
#include "mocampaignmap.h"

#include "boardcontrol.h"
#include "hbclock.h"
#include "w2dframedpanel.h"
#include "w2ditemeffect.h"
#include "w2dsurface.h"
#include "w2dsurfacegraphicitem.h"
#include "w2dtextgraphicitem.h"

const Rgba MoCampaignMap::kNameColour = {252, 196, 121, 255};
const Rgba MoCampaignMap::kMarkerColour = {255, 255, 255, 255};
const Rgba MoCampaignMap::kMarkerSelectedColour = {255, 0, 0, 255};

namespace
{
const char* const kFont = "ID_ARIAL_BLACK_FONT";
// The left edge of the names of the first column, the titles and the pictures.
constexpr float kX0 = 0.083f + 0.03125f * 0.5f;
constexpr int32_t kTextLayer = 105;
constexpr float kCharHeight = 0.04f;
const Rgba kStoryColour = {254, 168, 2, 255};
const Rgba kPathColour = {255, 255, 255, 100};
const Rgba kTickColour = {194, 255, 0, 255};
const Rgba kOpaqueWhite = {255, 255, 255, 255};
const Rgba kClearWhite = {255, 255, 255, 0};
const Rgba kNothing = {0, 0, 0, 0};

const float kNameX[7] = {kX0, kX0, 0.382f, 0.382f, 0.681f, 0.681f, 0.681f};
const float kNameY[7] = {0.083f, 0.225f, 0.083f, 0.225f, 0.083f, 0.225f, 0.367f};
const float kMarkerX[7] = {0.055693f, 0.055693f, 0.354693f, 0.354693f, 0.653693f, 0.653693f, 0.653693f};
const float kMarkerY[7] = {0.033493f, 0.175493f, 0.033493f, 0.175493f, 0.033493f, 0.175493f, 0.317493f};
const float kTickX[7] = {0.230673f, 0.230673f, 0.514048f, 0.514048f, 0.813048f, 0.813048f, 0.813048f};
const float kTickY[7] = {0.112957f, 0.254957f, 0.112957f, 0.254957f, 0.112957f, 0.254957f, 0.396957f};

const char* const kNameTexts[7] = {"TX_MISSION1_NAME_TXT", "TX_MISSION2_NAME_TXT", "TX_MISSION3_NAME_TXT",
                                   "TX_MISSION4_NAME_TXT", "TX_MISSION5_NAME_TXT", "TX_MISSION6_NAME_TXT",
                                   "TX_MISSION7_NAME_TXT"};
const char* const kTitleTexts[7] = {"TX_MISSION1_TITLE_TXT", "TX_MISSION2_TITLE_TXT", "TX_MISSION3_TITLE_TXT",
                                    "TX_MISSION4_TITLE_TXT", "TX_MISSION5_TITLE_TXT", "TX_MISSION6_TITLE_TXT",
                                    "TX_MISSION7_TITLE_TXT"};
const char* const kStoryTexts[7] = {"TX_W1_STORY_TXT", "TX_W2_STORY_TXT", "TX_W3_STORY_TXT", "TX_W4_STORY_TXT",
                                    "TX_W5_STORY_TXT", "TX_W6_STORY_TXT", "TX_W7_STORY_TXT"};
const char* const kPictureTextures[7] = {"FE_MISSION1_PIC_TEX", "FE_MISSION2_PIC_TEX", "FE_MISSION3_PIC_TEX",
                                         "FE_MISSION4_PIC_TEX", "FE_MISSION5_PIC_TEX", "FE_MISSION6_PIC_TEX",
                                         "FE_MISSION7_PIC_TEX"};

enum Turn : int32_t
{
    kKeep = 0,
    kNext = 1,     ///< corner k takes what corner k + 1 had
    kPrevious = 3, ///< corner k takes what corner k - 1 had
};

struct PathPiece
{
    const char* texture;
    float x, y, width, height;
    Turn turn;
};

const char* const kLine = "FE_LINE_PATH_PIC_TEX";
const char* const kAngle = "FE_ANGLE_PATH_PIC_TEX";
const char* const kCross = "FE_CROSS_PATH_PIC_TEX";

const PathPiece kPieces[MoCampaignMap::kPathPieces] = {
    {kLine, 0.150941f, 0.154705f, 0.0625f, 0.0625f, kNext},
    {kLine, 0.150941f, 0.197767f, 0.0625f, 0.047f, kNext},
    {kLine, 0.272963f, 0.259968f, 0.02325f, 0.06f, kKeep},
    {kAngle, 0.290842f, 0.258373f, 0.0625f, 0.0625f, kNext},
    {kLine, 0.290842f, 0.23f, 0.0625f, 0.035997f, kNext},
    {kAngle, 0.290842f, 0.161085f, 0.0625f, 0.0785f, kPrevious},
    {kLine, 0.340297f, 0.15949f, 0.0625f, 0.082f, kKeep},
    {kLine, 0.379901f, 0.15949f, 0.0625f, 0.082f, kKeep},
    {kCross, 0.425693f, 0.1594f, 0.0625f, 0.083f, kPrevious},
    {kLine, 0.471485f, 0.15949f, 0.0625f, 0.082f, kKeep},
    {kLine, 0.509852f, 0.15949f, 0.0625f, 0.082f, kKeep},
    {kLine, 0.549456f, 0.15949f, 0.0625f, 0.082f, kKeep},
    {kLine, 0.58906f, 0.15949f, 0.0625f, 0.082f, kKeep},
    {kLine, 0.628664f, 0.15949f, 0.0625f, 0.082f, kKeep},
    {kLine, 0.668268f, 0.15949f, 0.0625f, 0.082f, kKeep},
    {kLine, 0.707872f, 0.15949f, 0.0625f, 0.082f, kKeep},
    {kCross, 0.753663f, 0.1594f, 0.0625f, 0.083f, kPrevious},
    {kLine, 0.799455f, 0.15949f, 0.0625f, 0.082f, kKeep},
    {kLine, 0.839059f, 0.15949f, 0.0625f, 0.082f, kKeep},
    {kAngle, 0.887327f, 0.161085f, 0.0625f, 0.0785f, kKeep},
    {kLine, 0.887327f, 0.22489f, 0.0625f, 0.0625f, kNext},
    {kLine, 0.887327f, 0.264753f, 0.0625f, 0.0625f, kNext},
    {kLine, 0.887327f, 0.304616f, 0.0625f, 0.0625f, kNext},
    {kLine, 0.887327f, 0.344479f, 0.0625f, 0.0625f, kNext},
    {kAngle, 0.887327f, 0.393939f, 0.0625f, 0.0625f, kNext},
    {kLine, 0.850248f, 0.393939f, 0.0461f, 0.0624f, kKeep},
};

const int32_t kRunnerStart[MoCampaignMap::kRunners] = {1, 10, 17};

int64_t Ticks(double seconds)
{
    return int64_t(seconds * double(HbPerformanceFrequency()));
}

int64_t Now()
{
    HbRealClock* clock = HbRealClock::Instance();
    return clock ? clock->mCurrentTime : 0;
}

Rgba ColourOf(W2dGenericItem* item)
{
    Rgba c0 = kOpaqueWhite, c1, c2, c3;
    c1 = c2 = c3 = c0;
    item->GetCornerColours(&c0, &c1, &c2, &c3);
    return c0;
}

/// A picture made the usual way: layer, surface, size, position, shown; one reference for the
/// map. Null when it cannot be made.
W2dPictureItem* MakePicture(const char* texture, int32_t layer, float x, float y, float width, float height)
{
    auto* picture = new W2dPictureItem(texture, -1.0f, nullptr);
    if (!picture)
        return nullptr;
    picture->AddRef();
    picture->SetPriority(layer);
    picture->Create();
    picture->SetSize({width, height, 0.0f});
    picture->SetPosition({x, y, 0.0f});
    picture->Show();
    return picture;
}

/// A text of the map's font, centred, in its layer; not referenced yet.
W2dTextGraphicItem* MakeText(const char* textId, float x, float y, float width, float height, const Rgba* colour)
{
    auto* text = new W2dTextGraphicItem(kFont, nullptr);
    if (!text)
        return nullptr;
    text->SetPriority(kTextLayer);
    text->Create();
    text->SetCharHeight(kCharHeight);
    text->SetJustify(0);
    text->SetSize({width, height, 0.0f});
    text->SetPosition({x, y, 0.0f});
    if (colour)
        text->SetColour(*colour);
    text->SetText(GetLocalizedText(textId).c_str());
    text->Show();
    return text;
}

/// A colour fade of the seconds after the delay, attached to the item and begun on it.
void AttachFade(W2dGenericItem* item, double seconds, const Rgba& from, const Rgba& to, double delay, bool begin)
{
    auto* fade = new W2dColourFadeEffect(Ticks(seconds), &from, &to, Ticks(delay));
    if (!fade)
        return;
    fade->AddRef();
    if (item->AddEffect(fade) && begin)
        fade->Begin(item);
    fade->Release();
}

/// Off the screen and the map's reference dropped; the slot cleared first.
template <class Item> void ReleaseItem(Item*& slot)
{
    Item* held = slot;
    if (!held)
        return;
    slot = nullptr;
    held->Release();
    held->HbRoot::Release();
}

/// The map's reference dropped on an item its panel takes off the screen.
template <class Item> void DropReference(Item*& slot)
{
    Item* held = slot;
    if (!held)
        return;
    slot = nullptr;
    held->HbRoot::Release();
}

void ShowItem(W2dGenericItem* item, int32_t shown)
{
    if (!item)
        return;
    if (shown)
        item->Show();
    else
        item->Hide();
}
} // namespace

MoCampaignMap::MoCampaignMap() = default;

MoCampaignMap::~MoCampaignMap()
{
    ReleaseAll();
}

int32_t MoCampaignMap::IsPathPieceOpen(int32_t piece, const int32_t open[kMissions])
{
    if (piece < 2)
        return open[1] ? 1 : 0;
    if (piece < 9)
        return open[2] && open[3] ? 1 : 0;
    if (piece < 17)
        return open[4] && open[5] ? 1 : 0;
    return open[6] ? 1 : 0;
}

W2dTextGraphicItem* MoCampaignMap::GetName(int32_t i) const
{
    W2dFramedPanel* panel = GetNamePanel(i);
    return panel ? HbCastTo<W2dTextGraphicItem>(panel->GetContent()) : nullptr;
}

// ---- Building ---------------------------------------------------------------------------------------

int32_t MoCampaignMap::Build(BoardControl* bar)
{
    mBackground = MakePicture("FE_INTRO_TEX", -100, 0.0f, 0.0f, 1.0f, 1.0f);

    for (int32_t i = 0; i < kMissions; ++i)
        if (W2dTextGraphicItem* name = MakeText(kNameTexts[i], kNameX[i], kNameY[i], 0.1875f, 0.0625f, &kNameColour))
            AddNamePanel({kNameX[i], kNameY[i], 0.0f}, {0.1875f, 0.0625f, 0.0f}, name);

    for (int32_t i = 0; i < kMissions; ++i)
    {
        const float y = i == 0 ? 0.432287f : 0.483537f;
        W2dTextGraphicItem* title = MakeText(kTitleTexts[i], kX0, y, 0.5625f, 0.0625f, nullptr);
        if (!title)
            continue;
        title->AddRef();
        title->Hide();
        mTitles[i] = title;
        if (i == 0)
        {
            mTitlePanel = new W2dFramedPanel();
            if (mTitlePanel)
            {
                mTitlePanel->AddRef();
                const Vector size = {0.5625f, 0.0625f, 0.0f};
                mTitlePanel->Build({kX0, 0.432287f, 0.0f}, title, 1, &size);
            }
        }
    }

    BuildPictures();
    BuildPathPieces();
    BuildMarkers();
    BuildCompleteTicks();
    if (bar)
        bar->PushTheme(kKeyHintTheme);
    return 1;
}

void MoCampaignMap::AddNamePanel(const Vector& position, const Vector& size, W2dTextGraphicItem* text)
{
    auto* panel = new W2dFramedPanel();
    if (!panel)
    {
        // Nobody holds the text yet: it goes at once.
        text->AddRef();
        ReleaseItem(text);
        return;
    }
    panel->AddRef();
    panel->Build(position, text, 1, &size);
    if (auto* pulse = new W2dTextPulseEffect(Ticks(0.77), 0.87f, text))
    {
        pulse->AddRef();
        text->AddEffect(pulse);
        text->SetEffectActive(kNamePulse, 0);
        pulse->Release();
    }
    for (W2dFramedPanel*& slot : mNamePanels)
        if (!slot)
        {
            slot = panel;
            break;
        }
    panel->Show();
}

void MoCampaignMap::BuildPictures()
{
    for (int32_t i = 0; i < kMissions; ++i)
    {
        const float x = i == 0 ? kX0 : -0.000125f;
        const float y = i == 0 ? 0.53125f : 0.453125f;
        W2dPictureItem* picture = MakePicture(kPictureTextures[i], 90, x, y, 1.01f, 0.5f);
        if (!picture)
            continue;
        mPictures[i] = picture;
        if (i == 0)
        {
            picture->Hide();
            mPicturePanel = new W2dFramedPanel();
            if (mPicturePanel)
            {
                mPicturePanel->AddRef();
                const Vector size = {0.84375f, 0.3125f, 0.0f};
                mPicturePanel->Build({kX0, 0.53125f, 0.0f}, picture, 1, &size);
            }
        }
        AttachFade(picture, 0.2, kOpaqueWhite, kClearWhite, 0.0, true);
        if (i != 0)
            picture->SetColour(kClearWhite);
        AttachFade(picture, 0.2, kClearWhite, kOpaqueWhite, 0.0, true);
        picture->Hide();
        picture->StopEffects();
    }
}

void MoCampaignMap::BuildPathPieces()
{
    for (int32_t i = 0; i < kPathPieces; ++i)
    {
        const PathPiece& p = kPieces[i];
        W2dPictureItem* piece = MakePicture(p.texture, 6, p.x, p.y, p.width, p.height);
        if (!piece)
            continue;
        mPathPieces[i] = piece;
        piece->SetColour(kPathColour);
        if (p.turn == kKeep)
            continue;
        Vector2 old[4];
        piece->GetCornerUVs(&old[0], &old[1], &old[2], &old[3]);
        Vector2 c[4];
        for (int32_t k = 0; k < 4; ++k)
            c[k] = old[(k + int32_t(p.turn)) % 4];
        piece->SetCornerUVs(c[0].x, c[0].y, c[1].x, c[1].y, c[2].x, c[2].y, c[3].x, c[3].y);
    }
}

void MoCampaignMap::BuildMarkers()
{
    for (int32_t i = 0; i < kMissions; ++i)
    {
        // The resource id has no type suffix: it is looked up by id.
        mMarkers[i] = MakePicture("FE_MISSION_SUCCEEDED", kTextLayer, 0.0f, 0.0f, 0.0625f, 0.125f);
        if (mMarkers[i])
            mMarkers[i]->SetPosition({kMarkerX[i], kMarkerY[i], 0.0f});
    }
}

void MoCampaignMap::BuildCompleteTicks()
{
    for (int32_t i = 0; i < kMissions; ++i)
    {
        mTicks[i] = MakePicture("FE_COMPLETE_TEX", kTextLayer, kTickX[i], kTickY[i], 0.03125f, 0.03125f);
        if (mTicks[i])
            mTicks[i]->SetColour(kTickColour);
    }
}

void MoCampaignMap::BuildStoryTexts()
{
    for (int32_t i = 0; i < kMissions; ++i)
    {
        ReleaseItem(mStories[i]);
        W2dTextGraphicItem* story = MakeText(kStoryTexts[i], 0.09901f, 0.59295f, 0.814249f, 0.3125f, &kStoryColour);
        if (!story)
            continue;
        story->AddRef();
        story->Hide();
        mStories[i] = story;
    }
}

// ---- The visit ----------------------------------------------------------------------------------------

void MoCampaignMap::HideClosedPaths(const int32_t open[kMissions])
{
    for (int32_t i = 0; i < kPathPieces; ++i)
        if (mPathPieces[i] && !IsPathPieceOpen(i, open))
            mPathPieces[i]->Hide();
}

void MoCampaignMap::ShowMarkersAndTicks(const CampaignProgress& progress)
{
    for (int32_t i = 0; i < kMissions; ++i)
    {
        ShowItem(mMarkers[i], progress.succeeded[i]);
        ShowItem(mTicks[i], progress.done[i]);
    }
}

void MoCampaignMap::EnterDisplay(const CampaignProgress& progress, int32_t current)
{
    if (!Valid(current))
        current = 0;
    for (int32_t i = 0; i < kMissions; ++i)
        if (W2dTextGraphicItem* name = GetName(i))
        {
            Rgba colour = kNameColour;
            colour.alpha = progress.open[i] ? 255 : 80;
            name->SetColour(colour);
        }

    if (mPicturePanel)
    {
        mPicturePanel->Show();
        if (W2dGenericItem* content = mPicturePanel->GetContent())
            content->Hide();
    }
    if (W2dPictureItem* picture = mPictures[current])
    {
        picture->Show();
        picture->SetEffectActive(kPictureFadeIn, 1);
    }
    ShowTitlePanel(1);
    if (mTitles[current])
        mTitles[current]->Show();

    HideClosedPaths(progress.open);
    for (int32_t i = 0; i < kMissions; ++i)
        ShowItem(mMarkers[i], progress.succeeded[i]);
    BuildStoryTexts();
    ShowStory(current, 0);
    StartRunners();
    StartEntrance();
    if (W2dTextGraphicItem* name = GetName(current))
        name->SetEffectActive(kNamePulse, 1);

    for (int32_t k = 1; k <= kMissions; ++k)
    {
        W2dFramedPanel* panel = mNamePanels[k - 1];
        if (!panel)
            continue;
        if (W2dTextGraphicItem* name = GetName(k - 1))
        {
            Rgba from = ColourOf(name);
            Rgba to = from;
            to.alpha = 255;
            AttachFade(name, 0.5, from, to, 0.0, false);
            name->SetEffectActive(kNameFade, 0);
        }
        AttachFade(panel, 2 * k * 0.1, kNothing, ColourOf(panel), k * 0.1, true);
    }
    for (int32_t k = 1; k <= kMissions; ++k)
        if (W2dPictureItem* tick = mTicks[k - 1])
        {
            AttachFade(tick, 3 * k * 0.1, kNothing, ColourOf(tick), k * 0.1, true);
            ShowItem(tick, progress.done[k - 1]);
        }
}

void MoCampaignMap::StartEntrance()
{
    // The pieces start clear, so the paths draw themselves one piece after another.
    for (int32_t k = 1; k <= kPathPieces; ++k)
        if (W2dPictureItem* piece = mPathPieces[k - 1])
            AttachFade(piece, k * 0.1, kNothing, ColourOf(piece), k * 0.1, true);
}

void MoCampaignMap::KeepRunnerPaths()
{
    // Surfaces share their rectangle paths by size and free a path with its last user. A runner
    // resizes a piece at every step, so without a hold of the map's own each step would make and
    // free a path.
    DropRunnerPaths();
    for (int32_t i = 0; i < kPathPieces; ++i)
    {
        W2dPictureItem* piece = mPathPieces[i];
        W2dSurface* surface = piece ? piece->GetSurface() : nullptr;
        if (!surface)
            continue;
        Vector size;
        piece->GetSize(&size);
        mKeptPaths[2 * i] = W2dSurfacePathCache::Acquire(surface->GetWidth(), surface->GetHeight());
        piece->SetSize({size.x * 0.75f, size.y * 0.75f, size.z});
        mKeptPaths[2 * i + 1] = W2dSurfacePathCache::Acquire(surface->GetWidth(), surface->GetHeight());
        piece->SetSize(size);
    }
}

void MoCampaignMap::DropRunnerPaths()
{
    for (Path2d*& path : mKeptPaths)
    {
        W2dSurfacePathCache::Release(path);
        path = nullptr;
    }
}

void MoCampaignMap::StartRunners()
{
    KeepRunnerPaths();
    const int64_t now = Now();
    for (int32_t r = 0; r < kRunners; ++r)
    {
        Runner& runner = mRunners[r];
        runner.piece = kRunnerStart[r];
        runner.lastStep = now;
        if (W2dPictureItem* piece = mPathPieces[runner.piece - 1])
        {
            piece->GetSize(&runner.savedSize);
            piece->GetPosition(&runner.savedPosition);
            runner.savedColour = ColourOf(piece);
        }
    }
}

void MoCampaignMap::StepRunners()
{
    W2dPictureItem* last = mPathPieces[kPathPieces - 1];
    if (last && !last->AreEffectsStopped())
        return;
    const int64_t now = Now();
    const int64_t step = Ticks(kRunnerStepSeconds);
    for (Runner& runner : mRunners)
    {
        if (now - runner.lastStep <= step)
            continue;
        const int32_t before = runner.piece == 0 ? kPathPieces - 1 : runner.piece - 1;
        if (W2dPictureItem* piece = mPathPieces[before])
        {
            piece->SetSize(runner.savedSize);
            piece->SetPosition(runner.savedPosition);
            piece->SetColour(runner.savedColour);
        }
        if (W2dPictureItem* piece = mPathPieces[runner.piece])
        {
            piece->GetSize(&runner.savedSize);
            piece->GetPosition(&runner.savedPosition);
            runner.savedColour = ColourOf(piece);
            const Vector lit = {runner.savedSize.x * 0.75f, runner.savedSize.y * 0.75f, runner.savedSize.z};
            piece->SetSize(lit);
            piece->SetPosition({runner.savedPosition.x + (runner.savedSize.x - lit.x) * 0.5f,
                                runner.savedPosition.y + (runner.savedSize.y - lit.y) * 0.5f, runner.savedPosition.z});
            Rgba colour = runner.savedColour;
            colour.alpha = 255;
            piece->SetColour(colour);
        }
        runner.piece = runner.piece + 1 == kPathPieces ? 0 : runner.piece + 1;
        runner.lastStep = now;
    }
}

void MoCampaignMap::Update()
{
    for (int32_t i = 0; i < kMissions; ++i)
        if (W2dTextGraphicItem* name = GetName(i))
            name->Update();
    for (W2dFramedPanel* panel : mNamePanels)
        if (panel)
            panel->Update();
    for (W2dPictureItem* tick : mTicks)
        if (tick)
            tick->Update();
    for (W2dPictureItem* piece : mPathPieces)
        if (piece)
            piece->Update();
    StepRunners();
    for (W2dPictureItem* picture : mPictures)
        if (picture)
            picture->Update();
}

void MoCampaignMap::HideAll()
{
    ShowItem(mBackground, 0);
    ShowItem(mTitlePanel, 0);
    ShowItem(mPicturePanel, 0);
    for (int32_t i = 0; i < kMissions; ++i)
    {
        ShowItem(mNamePanels[i], 0);
        ShowItem(mTitles[i], 0);
        ShowItem(mPictures[i], 0);
        ShowItem(mMarkers[i], 0);
        ShowItem(mStories[i], 0);
        ShowItem(mTicks[i], 0);
    }
    for (W2dPictureItem* piece : mPathPieces)
        ShowItem(piece, 0);
}

void MoCampaignMap::ShowAll(const CampaignProgress& progress, int32_t current)
{
    ShowItem(mBackground, 1);
    ShowItem(mTitlePanel, 1);
    ShowItem(mPicturePanel, 1);
    for (W2dFramedPanel* panel : mNamePanels)
        ShowItem(panel, 1);
    ShowOnlyTitle(current);
    for (W2dPictureItem* picture : mPictures)
        ShowItem(picture, 0);
    if (Valid(current))
        ShowItem(mPictures[current], 1);
    for (W2dPictureItem* piece : mPathPieces)
        ShowItem(piece, 1);
    HideClosedPaths(progress.open);
    ShowMarkersAndTicks(progress);
}

void MoCampaignMap::ReleaseAll()
{
    DropRunnerPaths();
    ReleaseItem(mBackground);
    for (W2dPictureItem*& piece : mPathPieces)
        ReleaseItem(piece);
    for (W2dPictureItem*& marker : mMarkers)
        ReleaseItem(marker);
    for (W2dPictureItem*& tick : mTicks)
        ReleaseItem(tick);
    // Title 1 and picture 1 go with their panels; the map only lets go of them.
    ReleaseItem(mTitlePanel);
    DropReference(mTitles[0]);
    for (W2dTextGraphicItem*& title : mTitles)
        ReleaseItem(title);
    ReleaseItem(mPicturePanel);
    DropReference(mPictures[0]);
    for (W2dPictureItem*& picture : mPictures)
        ReleaseItem(picture);
    for (W2dFramedPanel*& panel : mNamePanels)
        ReleaseItem(panel);
    for (W2dTextGraphicItem*& story : mStories)
        ReleaseItem(story);
}

// ---- The selection ----------------------------------------------------------------------------------

void MoCampaignMap::MoveSelection(int32_t from, int32_t to)
{
    if (!Valid(from) || !Valid(to))
        return;
    ShowItem(mTitles[from], 0);
    if (mPictures[from])
        mPictures[from]->SetEffectActive(kPictureFadeOut, 1);
    if (W2dTextGraphicItem* name = GetName(from))
    {
        name->RestartEffect(kNamePulse);
        name->SetEffectActive(kNamePulse, 0);
        name->RestartEffect(kNameFade);
        name->SetEffectActive(kNameFade, 0);
    }
    if (W2dTextGraphicItem* name = GetName(to))
    {
        name->RestartEffect(kNamePulse);
        name->SetEffectActive(kNamePulse, 1);
        name->RestartEffect(kNameFade);
        name->SetEffectActive(kNameFade, 1);
    }
    if (mPictures[to])
    {
        mPictures[to]->SetEffectActive(kPictureFadeIn, 1);
        mPictures[to]->Show();
    }
    ShowItem(mTitles[to], 1);
}

void MoCampaignMap::SetMarkerSelected(int32_t mission, int32_t selected)
{
    if (W2dPictureItem* marker = GetMarker(mission))
        marker->SetColour(selected ? kMarkerSelectedColour : kMarkerColour);
}

void MoCampaignMap::ShowDetails(int32_t mission)
{
    if (W2dPictureItem* picture = GetPicture(mission))
        picture->SetEffectActive(kPictureFadeOut, 1);
    ShowStory(mission, 1);
    for (W2dFramedPanel* panel : mNamePanels)
        if (panel)
            panel->StopAllEffects();
    for (W2dPictureItem* piece : mPathPieces)
        if (piece)
            piece->StopAllEffects();
}

void MoCampaignMap::HideDetails(int32_t mission)
{
    if (W2dPictureItem* picture = GetPicture(mission))
        picture->SetEffectActive(kPictureFadeIn, 1);
    ShowStory(mission, 0);
}

void MoCampaignMap::ShowTitlePanel(int32_t shown)
{
    if (!mTitlePanel)
        return;
    ShowItem(mTitlePanel, shown);
    // The panel's own title is one of the titles: the selection decides whether it shows.
    if (shown)
        ShowItem(mTitlePanel->GetContent(), 0);
}

void MoCampaignMap::ShowOnlyTitle(int32_t mission)
{
    for (W2dTextGraphicItem* title : mTitles)
        ShowItem(title, 0);
    ShowItem(GetTitle(mission), 1);
}

void MoCampaignMap::ShowStory(int32_t mission, int32_t shown)
{
    ShowItem(GetStory(mission), shown);
}

void MoCampaignMap::StopPicture(int32_t mission)
{
    if (W2dPictureItem* picture = GetPicture(mission))
        picture->StopAllEffects();
}
