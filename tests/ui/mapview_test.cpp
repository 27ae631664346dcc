// The map overlay over a mission: entries and markers in the mission's order, the arrows' search with
// its sound, the arrows hidden at the ends, the zoom held in, recentring without any marker, the pad's
// sticks; its items through building, refreshing and closing; its quads as a recording painter sees
// them, and the map drawn at zoom 2 read back against the texture window.
#include "camera.h"
#include "dinput8testhooks.h"
#include "frame.h"
#include "framecheck.h"
#include "hbinputmanager.h"
#include "herohudaccess.h"
#include "mapview.h"
#include "missionmanager.h"
#include "raster.h"
#include "scriptworldmanager.h"
#include "texture.h"
#include "tsactor.h"
#include "ui_fixture.h"
#include "w2dframedpanel.h"
#include "w2dgraphiccontainer.h"
#include "w2ditemeffect.h"
#include "w2dsurfacegraphicitem.h"
#include "w2dtextgraphicitem.h"
#include "w3dframe.h"
#include "win32keyboard.h"
#include "wscene.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace
{

using namespace uitest;

const char* const kNew = "SD_I_OBJECTIVE_NEW_S2DSB";
const char* const kFinished = "SD_I_OBJECTIVE_FINISHED_S2DSB";

/// Gives the objective an action at the point, in its next free slot.
void AddPlace(Objective& objective, float x, float y, float z)
{
    int32_t slot = 0;
    while (objective.GetAction(slot))
        ++slot;
    auto* action = new ObjectiveAction();
    action->mId = slot;
    action->mPoint[0] = x;
    action->mPoint[1] = y;
    action->mPoint[2] = z;
    objective.SetAction(slot, action);
}

/// A mission whose slots hold the objectives given (number, kind, done, markers).
class FakeMissions : public MissionManager
{
public:
    struct Row
    {
        int32_t number;
        int32_t kind;
        int32_t done;
        int32_t markers;
    };
    explicit FakeMissions(std::initializer_list<Row> rows)
    {
        int32_t slot = 0;
        for (const Row& row : rows)
        {
            Objective& o = mObjectives[slot++];
            o.mId = row.number;
            o.mCategory = row.kind;
            o.mDone = row.done;
            o.mActive = 1;
            o.mDescriptionText = "OBJ_" + std::to_string(row.number) + "_TXT";
            for (int32_t m = 0; m < row.markers; ++m)
                AddPlace(o, float(row.number) * 1000.0f, 0.0f, -500.0f);
        }
        mCount = slot;
    }
    int32_t GetObjectiveCount() const override { return mCount; }
    Objective& At(int32_t slot) { return mObjectives[slot]; }
    Objective* GetObjective(int32_t index) const override
    {
        return index >= 0 && index < mCount ? const_cast<Objective*>(&mObjectives[index]) : nullptr;
    }

private:
    Objective mObjectives[kMaxObjectives];
    int32_t mCount = 0;
};

/// The hero where the gameplay layer would report it.
class PlacedHero : public HeroHudAccess
{
public:
    int32_t GetHeroPlacement(HbRoot*, float p[3], float f[3]) override
    {
        if (!placed)
            return 0;
        std::memcpy(p, position, sizeof(position));
        std::memcpy(f, forward, sizeof(forward));
        return 1;
    }

    bool placed = true;
    float position[3] = {0.0f, 0.0f, 0.0f};
    float forward[3] = {0.0f, 0.0f, 1.0f};
};

/// A world x that lands at the map x (0..0.75) with the whole texture in the window.
float WorldXAt(float mapX)
{
    return (mapX / 0.75f - 0.5f) / 0.00002f;
}

/// A world z that lands at the map y (0..0.5, upward) with the whole texture in the window.
float WorldZAt(float mapY)
{
    return (0.5f - mapY / 0.5f) / 0.00002f;
}

Rgba Colour(W2dGenericItem* item)
{
    Rgba c[4] = {};
    item->GetCornerColours(&c[0], &c[1], &c[2], &c[3]);
    return c[0];
}

::testing::AssertionResult Is(const Rgba& c, int r, int g, int b, int a)
{
    if (c.red == r && c.green == g && c.blue == b && c.alpha == a)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << int(c.red) << ", " << int(c.green) << ", " << int(c.blue) << ", "
                                         << int(c.alpha) << ")";
}

bool Shown(W2dGenericItem* item)
{
    return item && !item->IsHidden();
}

/// Sizes that tell the three textures apart in what the recorder saw.
constexpr int32_t kMapTextureSize = 64;
constexpr int32_t kHeroTextureSize = 8;
constexpr int32_t kHighlightTextureSize = 16;
// The four quadrants of the map texture: top left, top right, bottom left, bottom right.
constexpr uint32_t kQuadrants[4] = {0xFFD03020u, 0xFF30C040u, 0xFF2050E0u, 0xFFE0D030u};

class MapViews : public UiTest
{
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        std::vector<uint32_t> map(size_t(kMapTextureSize) * kMapTextureSize);
        for (int32_t y = 0; y < kMapTextureSize; ++y)
            for (int32_t x = 0; x < kMapTextureSize; ++x)
                map[size_t(y) * kMapTextureSize + size_t(x)] =
                    kQuadrants[(y < kMapTextureSize / 2 ? 0 : 2) + (x < kMapTextureSize / 2 ? 0 : 1)];
        mResources->ImageTexture("FE_MAP_W1_TEX", kMapTextureSize, kMapTextureSize, map);
        mResources->SolidTexture("FE_HIT_TEX", kHeroTextureSize, kHeroTextureSize, 0xFFFFFFFFu);
        mResources->SolidTexture("FE_HERO_ICON_TEX", kHighlightTextureSize, kHighlightTextureSize, 0xFFFFFFFFu);
        mSounds = std::make_unique<Sounds>(std::initializer_list<const char*>{kNew, kFinished});
        ASSERT_TRUE(mSounds->Started());
        mInput = std::make_unique<InjectedInput>();
        ASSERT_TRUE(mInput->Bind("MAP_OBJECTIVES_SCROLL_DOWN", "VK_DOWN"));
        ASSERT_TRUE(mInput->Bind("MAP_OBJECTIVES_SCROLL_UP", "VK_UP"));
        ASSERT_TRUE(mInput->Bind("MAP_ZOOM_IN", "VK_A"));
        ASSERT_TRUE(mInput->Bind("SELECT_OBJ", "VK_RETURN"));
        mInput->Frame();
        mClocks->SetReal(Ticks(100.0));

        mWorld = std::make_unique<ScriptWorldManager>();
        mHeroActor = new TsActor();
        mHeroActor->AddRef(); // the test's, so the hero outlives leaving the world
        mWorld->SetHero(mHeroActor);
        HeroHudAccess::Install(&mHero);
        mRenderer->SetScene(new WScene());
    }
    void TearDown() override
    {
        MapView::InstallPainter(nullptr);
        mRenderer->ReleaseScene();
        HeroHudAccess::Install(nullptr);
        if (mWorld)
            mWorld->SetHero(nullptr);
        if (mHeroActor)
            mHeroActor->HbRoot::Release();
        mWorld.reset();
        mInput.reset();
        mSounds.reset();
        UiTest::TearDown();
    }
    void Frame(MapView* view, std::initializer_list<uint8_t> keys = {})
    {
        for (uint8_t key : keys)
            mInput->Press(key);
        mInput->Frame();
        view->HandleInput();
        for (uint8_t key : keys)
            mInput->Lift(key);
        mInput->Frame();
    }

    std::unique_ptr<Sounds> mSounds;
    std::unique_ptr<InjectedInput> mInput;
    std::unique_ptr<ScriptWorldManager> mWorld;
    TsActor* mHeroActor = nullptr;
    PlacedHero mHero;
};

/// What the map's drawing asked of the toolkit: each rectangle with the translation and turn in force.
class RecordingPainter : public MapPainter
{
public:
    struct Quad
    {
        int32_t textureSize; ///< the texture's width in pixels, 0 without one
        float x, y, width, height;
        float dx, dy, angle;
        MapUv uvs[4];
        Rgba colours[4];
    };
    void Push() override { mStack.push_back(mTop); }
    void Pop() override
    {
        ASSERT_FALSE(mStack.empty());
        mTop = mStack.back();
        mStack.pop_back();
    }
    // The map only translates before it turns, so the translations add up.
    void Translate(float x, float y) override
    {
        mTop.dx += x;
        mTop.dy += y;
    }
    void Rotate(float degrees) override { mTop.angle += degrees; }
    void FillRect(Texture* texture, float x, float y, float width, float height, const MapUv uvs[4],
                  const Rgba colours[4]) override
    {
        Quad q = {texture && texture->raster ? texture->raster->width : 0,
                  x,
                  y,
                  width,
                  height,
                  mTop.dx,
                  mTop.dy,
                  mTop.angle,
                  {},
                  {}};
        std::copy(uvs, uvs + 4, q.uvs);
        std::copy(colours, colours + 4, q.colours);
        quads.push_back(q);
    }
    /// The quads of one texture.
    std::vector<Quad> Of(int32_t textureSize) const
    {
        std::vector<Quad> out;
        for (const Quad& q : quads)
            if (q.textureSize == textureSize)
                out.push_back(q);
        return out;
    }
    size_t Depth() const { return mStack.size(); }

    std::vector<Quad> quads;

private:
    struct Transform
    {
        float dx = 0.0f, dy = 0.0f, angle = 0.0f;
    };
    Transform mTop;
    std::vector<Transform> mStack;
};

constexpr float kMapLeft = 0.03125f * 0.5f + 0.111386f;
constexpr float kMapBottom = 0.382775f;

TEST_F(MapViews, AnObjectiveWithoutMarkerStopsTheArrowsButTheSoundPlays)
{
    FakeMissions missions({{1, 0, 0, 1}, {2, 0, 0, 0}, {3, 0, 0, 1}});
    MapView view;
    view.Build(&missions);
    ASSERT_EQ(view.GetEntryCount(), 3);
    ASSERT_EQ(view.GetCurrentIndex(), 0);
    Frame(&view);
    EXPECT_FALSE(view.IsUpArrowShown());
    EXPECT_TRUE(view.IsDownArrowShown());
    EXPECT_FALSE(Shown(view.GetUpArrow()));
    EXPECT_TRUE(Shown(view.GetDownArrow()));
    EXPECT_EQ(view.GetDownArrow()->GetEffect(0)->IsRunning(), 0);
    mSounds->Clear();
    Frame(&view, {VK_DOWN});
    EXPECT_EQ(view.GetCurrentIndex(), 0);
    EXPECT_EQ(mSounds->Played(), std::vector<std::string>{kNew});
    // The arrow flashes and the entry fades out, though nothing moved.
    EXPECT_EQ(view.GetDownArrow()->GetEffect(0)->IsRunning(), 1);
    EXPECT_EQ(view.GetDownArrow()->GetEffect(1)->IsRunning(), 1);
    EXPECT_EQ(view.GetEntryItem(0)->AreEffectsStopped(), 0);
}

TEST_F(MapViews, GapsInNumbersKeepEntriesMarkersAndArrowsAligned)
{
    // The third objective (number 4) is finished: nothing is pending past the first two.
    FakeMissions missions({{4, 1, 1, 1}, {1, 0, 1, 1}, {2, 0, 1, 1}});
    MapView view;
    view.Build(&missions);
    ASSERT_EQ(view.GetEntryCount(), 3);
    ASSERT_EQ(view.GetMarkerCount(), 3);
    for (int32_t i = 0; i < 3; ++i)
        EXPECT_EQ(view.GetMarker(i).entry, i);
    EXPECT_EQ(view.GetEntry(2).number, 4);
    EXPECT_EQ(view.GetMainCount(), 2);
    EXPECT_EQ(view.GetMarker(2).text, "2"); // kind 1: 4 minus two main objectives
    EXPECT_EQ(view.GetCurrentIndex(), 2);   // none pending: the last entry
    Frame(&view);
    EXPECT_TRUE(view.IsUpArrowShown());
    EXPECT_FALSE(view.IsDownArrowShown());
    EXPECT_TRUE(Shown(view.GetUpArrow()));
    EXPECT_FALSE(Shown(view.GetDownArrow()));
    mSounds->Clear();
    Frame(&view, {VK_UP});
    EXPECT_EQ(view.GetCurrentIndex(), 1);
    EXPECT_EQ(mSounds->Played(), std::vector<std::string>{kFinished});
}

TEST_F(MapViews, ZoomHeldInAndTheTextureWindow)
{
    FakeMissions missions({});
    MapView view;
    view.Build(&missions);
    EXPECT_EQ(view.GetEntryCount(), 0);
    for (int i = 0; i < 100; ++i)
        Frame(&view, {'A'});
    EXPECT_NEAR(view.GetPan().zoom, std::pow(1.001, 100), 1e-3);
    view.SetPan({2.0f, 0.0f, 0.0f});
    EXPECT_NEAR(view.GetTexCoords()[0].u, 0.25f, 1e-6);
    EXPECT_NEAR(view.GetTexCoords()[2].u, 0.75f, 1e-6);
    // No marker record at all: recentring leaves the view as it is.
    Frame(&view, {VK_RETURN});
    EXPECT_FLOAT_EQ(view.GetPan().zoom, 2.0f);
    EXPECT_FLOAT_EQ(view.GetPan().panX, 0.0f);
}

TEST_F(MapViews, NoMissionGivesNoEntries)
{
    MapView view;
    view.Build(nullptr);
    Frame(&view, {VK_DOWN, VK_UP, VK_RETURN});
    EXPECT_EQ(view.GetEntryCount(), 0);
    EXPECT_EQ(view.GetCurrentIndex(), 0);
}

TEST_F(MapViews, ItemsAreBuiltShownOnRefreshHiddenOnCloseAndReleasedWithTheView)
{
    FakeMissions missions({{1, 0, 0, 1}, {2, 1, 0, 2}});
    mResources->Text("OBJ_1_TXT", "Reach the bridge");
    int32_t before = Screen()->GetCount();
    auto* view = new MapView();
    view->AddRef();
    view->Build(&missions);
    ASSERT_NE(view->GetList(), nullptr);
    EXPECT_EQ(view->GetList()->GetChildCount(), 2);
    W2dTextGraphicItem* first = view->GetEntryItem(0);
    EXPECT_EQ(first->GetText(), "Reach the bridge");
    // Entries wait hidden and transparent in their objective's colour.
    EXPECT_FALSE(Shown(first));
    EXPECT_TRUE(Is(Colour(first), 228, 155, 60, 0));
    EXPECT_TRUE(Is(Colour(view->GetEntryItem(1)), 59, 201, 92, 0));
    ASSERT_EQ(view->GetMarkerCount(), 3);
    EXPECT_FALSE(Shown(view->GetMarker(2).item));
    EXPECT_EQ(view->GetMarker(2).item->GetText(), "1"); // kind 1 after the one main objective
    EXPECT_TRUE(view->GetMarker(2).item->AreEffectsStopped());
    // The arrows start transparent; the down arrow shows the texture upside down.
    EXPECT_TRUE(Is(Colour(view->GetUpArrow()), 255, 255, 255, 0));
    Vector2 up[4], down[4];
    view->GetUpArrow()->GetCornerUVs(&up[0], &up[1], &up[2], &up[3]);
    view->GetDownArrow()->GetCornerUVs(&down[0], &down[1], &down[2], &down[3]);
    for (int k = 0; k < 4; ++k)
    {
        EXPECT_FLOAT_EQ(down[k].x, up[(k + 2) % 4].x);
        EXPECT_FLOAT_EQ(down[k].y, up[(k + 2) % 4].y);
    }
    // The map's frame holds the map's white picture inside 0.75 x 0.5.
    EXPECT_FLOAT_EQ(view->GetMapFrame()->GetInsideWidth(), 0.75f);
    EXPECT_FLOAT_EQ(view->GetMapFrame()->GetInsideHeight(), 0.5f);
    EXPECT_TRUE(Is(Colour(view->GetMapFrame()), 255, 255, 255, 150));

    view->Refresh(&missions);
    for (W2dGenericItem* item :
         {static_cast<W2dGenericItem*>(view->GetUpArrow()), static_cast<W2dGenericItem*>(view->GetDownArrow()),
          static_cast<W2dGenericItem*>(view->GetBackground()), static_cast<W2dGenericItem*>(view->GetMapFrame()),
          static_cast<W2dGenericItem*>(view->GetObjectivePanel()), static_cast<W2dGenericItem*>(view->GetList())})
        EXPECT_TRUE(Shown(item));
    EXPECT_TRUE(Shown(view->GetMarker(0).item));
    EXPECT_EQ(view->IsVisible(), 1);
    // The panel slides in from below the screen.
    Vector at;
    view->GetObjectivePanel()->GetPosition(&at);
    EXPECT_GT(at.y, 1.0f);

    view->Close();
    EXPECT_FALSE(Shown(view->GetUpArrow()));
    EXPECT_FALSE(Shown(view->GetObjectivePanel()));
    EXPECT_FALSE(Shown(view->GetList()));
    EXPECT_FALSE(Shown(view->GetMarker(1).item));
    EXPECT_EQ(view->IsVisible(), 0);

    EXPECT_GT(Screen()->GetCount(), before);
    view->Release();
    EXPECT_EQ(Screen()->GetCount(), before);
}

TEST_F(MapViews, TheChosenEntryShowsOnceTheOldOneHasFadedAndRefreshGreysFinishedObjectives)
{
    FakeMissions missions({{1, 0, 0, 1}, {2, 1, 0, 1}});
    MapView view;
    view.Build(&missions);
    view.Refresh(&missions);
    view.Render(); // the first draw only centres
    Frame(&view);
    view.Render();
    EXPECT_FALSE(Shown(view.GetEntryItem(1)));
    EXPECT_TRUE(Shown(view.GetEntryItem(0)));
    EXPECT_TRUE(Is(Colour(view.GetEntryItem(0)), 228, 155, 60, 255));
    EXPECT_TRUE(Is(Colour(view.GetDownArrow()), 255, 255, 255, 255));

    Frame(&view, {VK_DOWN});
    ASSERT_EQ(view.GetCurrentIndex(), 1);
    view.Render(); // the old entry is still fading: nothing changes
    EXPECT_TRUE(Shown(view.GetEntryItem(0)));
    EXPECT_FALSE(Shown(view.GetEntryItem(1)));
    mClocks->AdvanceReal(Ticks(0.6));
    Frame(&view);
    view.Render();
    EXPECT_FALSE(Shown(view.GetEntryItem(0)));
    EXPECT_TRUE(Shown(view.GetEntryItem(1)));
    EXPECT_TRUE(Is(Colour(view.GetEntryItem(1)), 59, 201, 92, 255));

    // The first objective is done: its entry and marker turn grey, the second is the first pending.
    missions.At(0).mDone = 1;
    view.Refresh(&missions);
    EXPECT_EQ(view.GetFirstPending(), 1);
    EXPECT_EQ(view.GetCurrentIndex(), 1);
    EXPECT_TRUE(Is(Colour(view.GetEntryItem(0)), 150, 150, 150, 0));
    EXPECT_TRUE(Is(Colour(view.GetMarker(0).item), 150, 150, 150, 255));
    mSounds->Clear();
    Frame(&view, {VK_UP});
    EXPECT_EQ(view.GetCurrentIndex(), 0);
    EXPECT_EQ(mSounds->Played(), std::vector<std::string>{kFinished});
}

TEST_F(MapViews, PaintedQuadsMapHighlightCutAtTheEdgeAndTheTurnedHero)
{
    // The selected objective's marker sits 0.01 inside the map's left edge, the other in the middle.
    FakeMissions missions({{1, 0, 0, 0}, {2, 0, 0, 0}});
    AddPlace(missions.At(0), WorldXAt(0.01f), 0.0f, WorldZAt(0.25f));
    AddPlace(missions.At(1), WorldXAt(0.375f), 0.0f, WorldZAt(0.15f));
    RecordingPainter painter;
    MapView::InstallPainter(&painter);
    MapView view;
    view.Build(&missions);
    view.Refresh(&missions);

    // The first draw centres the window near the hero at the world's origin, and paints nothing.
    view.Render();
    EXPECT_EQ(view.IsFirstDraw(), 0);
    EXPECT_TRUE(painter.quads.empty());
    EXPECT_FLOAT_EQ(view.GetPan().zoom, 3.0f);
    EXPECT_NEAR(view.GetPan().panX, -0.015625f - (0.375f * 1.3333334f - 0.625f), 1e-6);
    EXPECT_NEAR(view.GetPan().panY, 0.25f * 2.0f - 0.6f, 1e-6);

    view.SetPan({1.0f, 0.0f, 0.0f});
    mHero.forward[0] = 1.0f; // facing along x: a quarter turn from the map's north
    mHero.forward[2] = 0.0f;
    view.Render();
    EXPECT_EQ(painter.Depth(), 0u);
    ASSERT_EQ(painter.quads.size(), 3u);

    const RecordingPainter::Quad& map = painter.quads[0];
    EXPECT_EQ(map.textureSize, kMapTextureSize);
    EXPECT_FLOAT_EQ(map.dx, kMapLeft);
    EXPECT_FLOAT_EQ(map.dy, kMapBottom);
    EXPECT_FLOAT_EQ(map.width, 0.75f);
    EXPECT_FLOAT_EQ(map.height, 0.5f);
    for (int k = 0; k < 4; ++k)
    {
        EXPECT_FLOAT_EQ(map.uvs[k].u, kMapBaseUvs[k].u);
        EXPECT_FLOAT_EQ(map.uvs[k].v, kMapBaseUvs[k].v);
        EXPECT_TRUE(Is(map.colours[k], 255, 255, 255, 255));
    }

    // Only the selected objective's marker is highlighted, cut at the left edge: a third of the icon's
    // width lies outside, so its texture starts a third of the way in.
    std::vector<RecordingPainter::Quad> highlights = painter.Of(kHighlightTextureSize);
    ASSERT_EQ(highlights.size(), 1u);
    const RecordingPainter::Quad& h = highlights[0];
    const float cut = (0.03125f - 0.01f) / 0.0625f;
    EXPECT_NEAR(h.x, 0.0f, 1e-5);
    EXPECT_NEAR(h.width, 0.01f + 0.03125f, 1e-5);
    EXPECT_NEAR(h.y, 0.25f - 0.03125f, 1e-5);
    EXPECT_NEAR(h.height, 0.0625f, 1e-5);
    const float uvs[4][2] = {{cut, 1.0f}, {1.0f, 1.0f}, {1.0f, 0.0f}, {cut, 0.0f}};
    for (int k = 0; k < 4; ++k)
    {
        EXPECT_NEAR(h.uvs[k].u, uvs[k][0], 1e-4) << k;
        EXPECT_NEAR(h.uvs[k].v, uvs[k][1], 1e-4) << k;
        EXPECT_TRUE(Is(h.colours[k], 228, 155, 60, 255)) << k;
    }

    // The hero: a red icon centred on its place, turned by its heading.
    std::vector<RecordingPainter::Quad> heroes = painter.Of(kHeroTextureSize);
    ASSERT_EQ(heroes.size(), 1u);
    const RecordingPainter::Quad& hero = heroes[0];
    EXPECT_NEAR(hero.dx, kMapLeft + 0.375f, 1e-5);
    EXPECT_NEAR(hero.dy, kMapBottom + 0.25f, 1e-5);
    EXPECT_NEAR(hero.x, -0.052083332f / 2, 1e-6);
    EXPECT_NEAR(hero.width, 0.052083332f, 1e-6);
    EXPECT_NEAR(std::fabs(hero.angle), 90.0f, 1e-3);
    EXPECT_TRUE(Is(hero.colours[0], 255, 0, 0, 255));

    // The first pending objective's marker blinks; the other shows still, both placed on the screen.
    EXPECT_EQ(view.GetMarker(0).item->AreEffectsStopped(), 0);
    EXPECT_EQ(view.GetMarker(1).item->AreEffectsStopped(), 1);
    EXPECT_TRUE(Shown(view.GetMarker(1).item));
    Vector at;
    view.GetMarker(1).item->GetPosition(&at);
    EXPECT_NEAR(at.x, 0.375f + 0.13f - 0.009469697f, 1e-5);
    EXPECT_NEAR(at.y, 0.415f - 0.15f + 0.20625f, 1e-5);
}

TEST_F(MapViews, TheHeroIsDrawnOnlyWellInsideTheMapAndNothingWithoutHeroOrScene)
{
    RecordingPainter painter;
    MapView::InstallPainter(&painter);
    MapView view;
    view.Build(nullptr);
    view.Render();
    view.SetPan({1.0f, 0.0f, 0.0f});
    const struct
    {
        float mapX, mapY;
        bool drawn;
    } cases[] = {
        {0.375f, 0.25f, true}, {0.02f, 0.25f, false},  {0.03f, 0.25f, true},
        {0.74f, 0.25f, false}, {0.375f, 0.48f, false}, {0.375f, 0.03f, true},
    };
    for (const auto& c : cases)
    {
        painter.quads.clear();
        mHero.position[0] = WorldXAt(c.mapX);
        mHero.position[2] = WorldZAt(c.mapY);
        view.Render();
        EXPECT_EQ(painter.Of(kHeroTextureSize).size(), c.drawn ? 1u : 0u) << c.mapX << ", " << c.mapY;
        EXPECT_EQ(painter.Of(kMapTextureSize).size(), 1u);
    }

    // Without the gameplay layer's place, the hero actor's node gives it.
    W3dFrame* node = W3dFrame::Create();
    ASSERT_NE(node, nullptr);
    const Vector place = {WorldXAt(0.02f), 0.0f, 0.0f};
    node->SetWorldPosition(&place);
    mHeroActor->mNode = node;
    mHero.placed = false;
    painter.quads.clear();
    view.Render();
    EXPECT_EQ(painter.Of(kHeroTextureSize).size(), 0u);
    mHeroActor->mNode = nullptr;
    painter.quads.clear();
    view.Render();
    EXPECT_TRUE(painter.quads.empty()) << "no place at all";
    node->HbRoot::Release();
    mHero.placed = true;

    mRenderer->ReleaseScene();
    view.Render();
    EXPECT_TRUE(painter.quads.empty());
    mRenderer->SetScene(new WScene());
    mWorld->SetHero(nullptr);
    view.Render();
    EXPECT_TRUE(painter.quads.empty());
    mWorld->SetHero(mHeroActor);
}

TEST_F(MapViews, PadSticksZoomAndPanInsteadOfTheKeys)
{
    // The input manager starts again on the injected pads, with the keyboard's bindings.
    mInput.reset();
    Window().instance = GetModuleHandleA(nullptr); // DirectInput is made for the program's module
    SetFocus(Window().window);                     // the pad reads only while the window has the focus
    dinput8test::UseSource(dinput8test::Source::Injected);
    uint32_t pad = dinput8test::AttachPad();
    mInput = std::make_unique<InjectedInput>();
    ASSERT_TRUE(mInput->Bind("MAP_ZOOM_IN", "VK_A"));
    ASSERT_EQ(HbInputManager::Instance()->CreateController(2, "Paddle1"), 1);
    ASSERT_EQ(HbInputManager::Instance()->IsPadPresent(), 1);
    MapView view;
    view.Build(nullptr);
    // Raw axes 0..65535; the middle is a centred stick.
    auto axis = [](float v) { return LONG(std::lround((v / 128.0f + 1.0f) * 32767.5f)); };
    // Right stick pushed up: zoom in, whatever the zoom key says.
    dinput8test::SetPadAxes(pad, axis(0), axis(0), axis(0), axis(-120));
    Frame(&view);
    EXPECT_NEAR(view.GetPan().zoom, 1.001f, 1e-6);
    // Centred: the zoom key does nothing while a pad is there.
    dinput8test::SetPadAxes(pad, axis(0), axis(0), axis(0), axis(0));
    Frame(&view, {'A'});
    EXPECT_NEAR(view.GetPan().zoom, 1.001f, 1e-6);
    // Left stick right and down: pan x grows by 0.001 of the value, pan y too (the raw y is turned over).
    dinput8test::SetPadAxes(pad, axis(100), axis(100), axis(0), axis(0));
    Frame(&view);
    EXPECT_NEAR(view.GetPan().panX, 0.001f * 100.0f / 127.0f, 2e-5);
    EXPECT_NEAR(view.GetPan().panY, 0.001f * 100.0f / 127.0f, 2e-5);
    // Inside half a throw nothing moves.
    dinput8test::SetPadAxes(pad, axis(40), axis(0), axis(0), axis(40));
    MapPanState before = view.GetPan();
    Frame(&view);
    EXPECT_FLOAT_EQ(view.GetPan().panX, before.panX);
    EXPECT_FLOAT_EQ(view.GetPan().zoom, before.zoom);
    dinput8test::DetachPad(pad);
}

TEST_F(MapViews, DrawnAtZoomTwoTheMapShowsItsTextureWindow)
{
    constexpr int32_t kSize = 128;
    Camera* camera = Camera::Create();
    ASSERT_NE(camera, nullptr);
    camera->frameBuffer = Raster::Create(kSize, kSize, 0, kRasterTypeCamera);
    camera->zBuffer = Raster::Create(kSize, kSize, 0, kRasterTypeZBuffer);
    FrameObject::SetFrame(&camera->object, ::Frame::Create());
    const Vector2 window = {1.0f, 1.0f};
    Camera::SetViewWindow(camera, &window);
    Camera::SetNearClipPlane(camera, 0.1f);
    Camera::SetFarClipPlane(camera, 10.0f);
    ::Frame::SyncDirtyList();

    auto* view = new MapView();
    view->Build(nullptr);
    // The hero far outside the window: only the map is drawn.
    mHero.position[0] = 20000.0f;
    {
        W2dSurfaceList list(camera);
        list.Insert(view);
        int32_t width = 0, height = 0;
        DrawSurfaces(&list, kClear, &width, &height); // the first draw centres
        // Windows worked out by hand: zoom 2 shows [0.25, 0.75] of the texture; a pan shifts it by half
        // the pan at that zoom, plus the quarter the zoom keeps around the centre.
        const struct
        {
            float panX, panY;
            float uLeft, uRight, vBottom, vTop;
            const char* name;
        } cases[] = {
            {0.0f, 0.0f, 0.25f, 0.75f, 0.75f, 0.25f, "ui_map_zoom2"},
            {0.1f, -0.05f, 0.175f, 0.675f, 0.7875f, 0.2875f, "ui_map_zoom2_panned"},
        };
        for (const auto& c : cases)
        {
            view->SetPan({2.0f, c.panX, c.panY});
            std::vector<uint32_t> actual = DrawSurfaces(&list, kClear, &width, &height);
            ASSERT_EQ(width, kSize);
            ASSERT_EQ(actual.size(), size_t(kSize) * kSize);

            // Each pixel inside the map shows the quadrant its texture coordinates fall in; pixels on the
            // map's edges and within a texel and a half of the quadrants' seams (filtering) are not compared.
            std::vector<uint32_t> expected(actual.size(), kClear);
            for (int32_t py = 0; py < kSize; ++py)
                for (int32_t px = 0; px < kSize; ++px)
                {
                    size_t at = size_t(py) * kSize + size_t(px);
                    float x = (float(px) + 0.5f) / kSize;
                    float y = 1.0f - (float(py) + 0.5f) / kSize; // upward, as the toolkit draws
                    // Distances inside the map from its nearest edge, in pixels (negative outside).
                    float inside = std::min(std::min(x - kMapLeft, kMapLeft + 0.75f - x),
                                            std::min(y - kMapBottom, kMapBottom + 0.5f - y)) *
                                   kSize;
                    if (inside < -1.0f)
                        continue;
                    if (inside < 1.5f)
                    {
                        expected[at] = actual[at];
                        continue;
                    }
                    float s = (x - kMapLeft) / 0.75f;
                    float t = (y - kMapBottom) / 0.5f;
                    float u = (c.uLeft + s * (c.uRight - c.uLeft)) * kMapTextureSize;
                    float v = (c.vBottom + t * (c.vTop - c.vBottom)) * kMapTextureSize;
                    const float seam = kMapTextureSize / 2.0f;
                    if (std::fabs(u - seam) < 1.5f || std::fabs(v - seam) < 1.5f)
                    {
                        expected[at] = actual[at];
                        continue;
                    }
                    expected[at] = kQuadrants[(v < seam ? 0 : 2) + (u < seam ? 0 : 1)];
                }
            EXPECT_EQ(framecheck::CheckFrame(c.name, kSize, kSize, actual, expected, 3), "") << c.name;
        }
    }

    ::Frame* cameraFrame = camera->object.frame;
    FrameObject::SetFrame(&camera->object, nullptr);
    ::Frame::Destroy(cameraFrame);
    Raster::Destroy(camera->frameBuffer);
    Raster::Destroy(camera->zBuffer);
    camera->frameBuffer = camera->zBuffer = nullptr;
    Camera::Destroy(camera);
}

} // namespace
