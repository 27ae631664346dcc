// The map overlay: its items, the objective entries and markers, the player's input and the drawing of
// the map, the selected objective's highlight and the hero.
#include "mapview.h"

#include "brush2d.h"
#include "device.h"
#include "engine.h"
#include "hbclock.h"
#include "hbinputaction.h"
#include "hbinputmanager.h"
#include "hbpadcontroller.h"
#include "herohudaccess.h"
#include "missionmanager.h"
#include "path2d.h"
#include "scriptworldmanager.h"
#include "texture.h"
#include "toolkit2d.h"
#include "tsactor.h"
#include "tssoundmodule.h"
#include "ui_local.h"
#include "w2dframedpanel.h"
#include "w2dgraphiccontainer.h"
#include "w2ditemeffect.h"
#include "w2dsurfacegraphicitem.h"
#include "w2dtextgraphicitem.h"
#include "w3dnode.h"
#include "wrenderer.h"
#include "wtexturemanager.h"
#include "wvectorutil.h"

#include <algorithm>
#include <climits>

HB_DEFINE_CLASS_DESC(MapView, W2dSurface);

namespace
{

constexpr Rgba kWhite = {255, 255, 255, 255};
constexpr Rgba kTransparentWhite = {255, 255, 255, 0};
constexpr Rgba kFrameBackground = {255, 255, 255, 150};
constexpr Rgba kMainColour = {228, 155, 60, 255};
constexpr Rgba kSecondaryColour = {59, 201, 92, 255};
constexpr Rgba kFinishedColour = {150, 150, 150, 255};
constexpr Rgba kFinishedEntry = {150, 150, 150, 0};
constexpr Rgba kHeroColour = {255, 0, 0, 255};
/// The texture addressing mode that clamps coordinates to the edge.
constexpr uint32_t kAddressClamp = 3;

/// The screen place of the map's lower-left corner, in the 2D toolkit's coordinates (y upward).
constexpr float kMapLeft = 0.03125f * 0.5f + 0.111386f;
constexpr float kMapBottom = 0.382775f;
constexpr float kHighlightSize = 0.0625f;
constexpr float kHeroSize = 0.052083332f;
/// Where a marker's number may show, in screen fractions from the top left.
constexpr float kMarkerLeft = 0.119515f;
constexpr float kMarkerRight = 0.858446f;
constexpr float kMarkerTop = 0.12875f;
constexpr float kMarkerBottom = 0.604641f;

MapPainter* gInstalledPainter = nullptr;

int64_t Ticks(double seconds)
{
    return int64_t(seconds * double(HbPerformanceFrequency()));
}

using uiitems::Drop;
using uiitems::HideItem;
using uiitems::ShowItem;

Rgba ColourOf(W2dGenericItem* item)
{
    Rgba c[4] = {};
    if (item)
        item->GetCornerColours(&c[0], &c[1], &c[2], &c[3]);
    return c[0];
}

Rgba ObjectiveColour(int32_t kind, int32_t finished)
{
    if (finished)
        return kFinishedColour;
    return kind == 0 ? kMainColour : kSecondaryColour;
}

/// A held picture of the default list, created at its priority, size and place, shown and coloured.
W2dPictureItem* Picture(const char* textureId, int32_t priority, float w, float h, float x, float y, const Rgba& colour)
{
    auto* picture = new W2dPictureItem(textureId, -1.0f, nullptr);
    picture->AddRef();
    picture->SetPriority(priority);
    picture->Create();
    picture->SetSize({w, h, 0.0f});
    picture->SetPosition({x, y, 0.0f});
    picture->Show();
    picture->SetColour(colour);
    return picture;
}

/// A held panel framing the picture at its place, shown.
W2dFramedPanel* FramePicture(W2dPictureItem* content)
{
    auto* panel = new W2dFramedPanel();
    panel->AddRef();
    Vector at;
    content->GetPosition(&at);
    panel->Build(at, content, 0, nullptr);
    panel->Show();
    return panel;
}

void AttachSlideIn(W2dGenericItem* item, float x, float y)
{
    Vector start = {x, y, 0.0f};
    auto* slide = new W2dSlideInEffect(Ticks(0.5), &start, item);
    item->AddEffect(slide);
    slide->Begin(item);
}

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

/// The raw value of an axis of a stick of the first pad, scaled to about -1..1; 0 without one.
float PadAxis(HbInputManager* input, int32_t stick, int32_t axis)
{
    auto* pad = HbCastTo<HbPadController>(input->GetController(kHbControllerPad1));
    HbPadStick* element = pad ? pad->GetStick(stick) : nullptr;
    return element ? element->GetRaw(axis) * (1.0f / 127.0f) : 0.0f;
}

bool Triggered(const char* action)
{
    HbInputManager* manager = HbInputManager::Instance();
    HbInputAction* found = manager ? manager->FindAction(action) : nullptr;
    return found && found->IsTriggered();
}

void SetTextureState(Texture* texture)
{
    Engine* engine = Engine::Current();
    if (engine && engine->device.setRenderState)
        engine->device.setRenderState(kRenderStateTextureRaster,
                                      texture ? reinterpret_cast<intptr_t>(texture->raster) : 0);
}

/// The hero's world position and forward direction: the gameplay reader's, else the actor's node.
bool HeroPlacement(TsActor* hero, Vector* position, Vector* forward)
{
    float p[3], f[3];
    if (HeroHudAccess::Get()->GetHeroPlacement(hero, p, f))
    {
        *position = {p[0], p[1], p[2]};
        *forward = {f[0], f[1], f[2]};
        return true;
    }
    W3dNode* node = hero->GetNode();
    if (!node)
        return false;
    *position = *node->GetWorldPosition();
    *forward = *node->GetWorldAt();
    return true;
}

} // namespace

// ---- The toolkit's painter ----------------------------------------------------------------------------------

MapPainter::~MapPainter()
{
    if (mPath)
        Path2d::Destroy(mPath);
}

void MapPainter::Push()
{
    Transform2d::Push();
}

void MapPainter::Pop()
{
    Transform2d::Pop();
}

void MapPainter::Translate(float x, float y)
{
    Transform2d::Translate(x, y);
}

void MapPainter::Rotate(float degrees)
{
    Transform2d::Rotate(degrees);
}

void MapPainter::FillRect(Texture* texture, float x, float y, float width, float height, const MapUv uvs[4],
                          const Rgba colours[4])
{
    Brush2d* brush = W2dSurface::GetBrush();
    if (!brush)
        return;
    if (!mPath)
        mPath = Path2d::Create();
    else
        Path2d::Empty(mPath);
    if (!mPath)
        return;
    Path2d::AddRectangle(mPath, x, y, width, height);
    Vector2 corners[4];
    for (int32_t k = 0; k < 4; ++k)
        corners[k] = {uvs[k].u, uvs[k].v};
    Brush2d::SetTexture(brush, texture);
    Brush2d::SetUVs(brush, &corners[0], &corners[1], &corners[2], &corners[3]);
    Brush2d::SetColors(brush, &colours[0], &colours[1], &colours[2], &colours[3]);
    SetTextureState(texture);
    Path2d::FillAllWithBrush(mPath, brush);
    SetTextureState(nullptr);
}

// ---- Building -------------------------------------------------------------------------------------------------

MapView::MapView() : W2dSurface(0.0f, 0.0f, 1.0f, 1.0f, kLayer)
{
    std::copy(kMapBaseUvs, kMapBaseUvs + 4, mUvs);
    std::copy(kMapBaseUvs, kMapBaseUvs + 4, mIconUvs);
}

MapView::~MapView()
{
    ReleaseItems();
}

void MapView::InstallPainter(MapPainter* painter)
{
    gInstalledPainter = painter;
}

void MapView::ReleaseItems()
{
    for (Texture** texture : {&mMapTexture, &mHeroTexture, &mHighlightTexture})
        if (*texture)
        {
            Texture::Destroy(*texture);
            *texture = nullptr;
        }
    if (mList)
        mList->Clear();
    Drop(mUpArrow);
    Drop(mDownArrow);
    Drop(mBackground);
    // A panel releases its content and drops its own reference on it; the view then drops its one.
    Drop(mMapFrame);
    Drop(mMapPicture);
    Drop(mPanel);
    Drop(mPanelPicture);
    Drop(mList);
    for (Marker& marker : mMarkers)
        Drop(marker.item);
    mMarkers.clear();
    mEntries.clear();
}

void MapView::Build(const MissionManager* missions)
{
    ReleaseItems();
    WTextureManager* textures = WTextureManager::Instance();
    if (textures)
    {
        mMapTexture = textures->GetTexture("FE_MAP_W1_TEX");
        mHeroTexture = textures->GetTexture("FE_HIT_TEX");
        mHighlightTexture = textures->GetTexture("FE_HERO_ICON_TEX");
    }
    if (mMapTexture)
        mMapTexture->filterAddressing = (mMapTexture->filterAddressing & kTextureFilterMask) |
                                        (kAddressClamp << kTextureAddressUShift) |
                                        (kAddressClamp << kTextureAddressVShift);

    mBackground = Picture("FE_MAP_BACK_TEX", -100, 1.0f, 1.0f, 0.0f, 0.0f, kWhite);
    mMapPicture = Picture("FE_MAIN_WHITE_BACKGROUND_TEX", -100, kMapWidth, kMapHeight, 0.125f + 0.03125f * 0.5f, 0.1f,
                          kFrameBackground);
    mMapFrame = FramePicture(mMapPicture);
    BuildObjectivePanel();
    BuildMarkerItems();
    BuildObjectiveList(Objectives(missions));
    mCurrent = mFirstPending;
}

void MapView::BuildObjectivePanel()
{
    mPanelPicture = Picture("FE_MAIN_WHITE_BACKGROUND_TEX", 80, 0.75f, 0.19f, 0.125f + 0.03125f * 0.5f,
                            0.65f - 0.03125f * 0.5f, kFrameBackground);
    mPanel = FramePicture(mPanelPicture);
    Vector at;
    mPanelPicture->GetPosition(&at);
    AttachSlideIn(mPanel, at.x + 0.03125f, 1.0f + 0.19f);
}

void MapView::BuildMarkerItems()
{
    struct Arrow
    {
        W2dPictureItem** item;
        float y;
        float slideY;
    };
    const Arrow arrows[] = {{&mUpArrow, 0.614123f, 1.311208f}, {&mDownArrow, 0.832915f, 1.5f}};
    for (const Arrow& a : arrows)
    {
        W2dPictureItem* arrow = Picture("FE_HIT_TEX", 101, 0.0625f, 0.0625f, 0.46875f, a.y, kWhite);
        *a.item = arrow;
        if (a.item == &mDownArrow)
        {
            // The down arrow is the up arrow upside down.
            Vector2 c[4];
            arrow->GetCornerUVs(&c[0], &c[1], &c[2], &c[3]);
            arrow->SetCornerUVs(c[2].x, c[2].y, c[3].x, c[3].y, c[0].x, c[0].y, c[1].x, c[1].y);
        }
        // Stopped at once: the arrow starts transparent and flashes when the fade is restarted.
        auto* fade = new W2dColourFadeEffect(Ticks(0.2), &kWhite, &kTransparentWhite, 0);
        arrow->AddEffect(fade);
        fade->SetRunning(0);
        fade->Stop(arrow);
        // The bob reads its resting place before the slide moves the arrow off the screen.
        const Vector offset = {0.0f, 0.01f, 0.0f};
        auto* bob = new W2dMoveAndBackEffect(&offset, Ticks(0.5));
        arrow->AddEffect(bob);
        bob->Begin(arrow);
        AttachSlideIn(arrow, 0.46875f, a.slideY);
    }
}

void MapView::BuildObjectiveList(const std::vector<const Objective*>& objectives)
{
    mMainCount = 0;
    mList = new W2dGraphicContainer();
    mList->AddRef();
    mList->Create();
    for (const Objective* objective : objectives)
    {
        Rgba colour = ObjectiveColour(objective->GetCategory(), objective->IsDone());
        mEntries.push_back(
            {objective->GetId(), objective->GetCategory(), objective->IsDone(), objective->GetDescriptionText()});
        auto* entry = new W2dTextGraphicItem(kW2dStandardFont, nullptr);
        entry->SetPriority(98);
        entry->Create();
        entry->SetColour(colour);
        entry->SetSize({0.6875f, 0.185f, 0.0f});
        entry->SetJustify(0);
        entry->SetPosition({0.15625f, 0.69624996f, 0.0f});
        entry->SetCharHeight(0.04f);
        entry->SetText(GetLocalizedText(objective->GetDescriptionText().c_str()).c_str());
        entry->Hide();
        mList->AddChild(entry);
        // Faded out at once: the entry waits transparent until it is chosen.
        Rgba faded = colour;
        faded.alpha = 0;
        auto* fade = new W2dColourFadeEffect(Ticks(0.5), &colour, &faded, 0);
        entry->AddEffect(fade);
        fade->Begin(entry);
        entry->StopAllEffects();
        entry->Hide();
    }
    ReadStates(nullptr);
    // Entries and markers share the visiting order, so gaps in the numbers cannot misalign them.
    for (size_t e = 0; e < objectives.size(); ++e)
    {
        const Objective* objective = objectives[e];
        Rgba colour = ObjectiveColour(objective->GetCategory(), objective->IsDone());
        std::string text = MapMarkerText(objective->GetId(), objective->GetCategory(), mMainCount);
        for (int32_t a = 0; a < Objective::kMaxActions; ++a)
        {
            const ObjectiveAction* action = objective->GetAction(a);
            if (!action)
                continue;
            float place[3];
            action->GetPosition(place);
            auto* item = new W2dTextGraphicItem(kW2dStandardFont, nullptr);
            item->AddRef();
            item->SetPriority(98);
            item->Create();
            item->SetSize({0.0625f, 0.0625f, 0.0f});
            item->SetJustify(1);
            item->SetText(text.c_str());
            item->SetColour(colour);
            item->Hide();
            item->SetCharHeight(0.04f);
            item->AddEffect(new W2dBlinkEffect(Ticks(0.5)));
            item->StopAllEffects();
            mMarkers.push_back(
                {text, {place[0], place[1], place[2]}, int32_t(e), objective->IsActive() || objective->IsDone(), item});
        }
    }
    W2dGenericItem* first = mList->GetChild(0);
    Vector at = {0.15625f, 0.0f, 0.0f};
    if (first)
        first->GetPosition(&at);
    AttachSlideIn(mList, at.x - 0.15625f, 0.9f);
}

// ---- States ---------------------------------------------------------------------------------------------------

W2dTextGraphicItem* MapView::GetEntryItem(int32_t i) const
{
    return mList ? static_cast<W2dTextGraphicItem*>(mList->GetChild(i)) : nullptr;
}

void MapView::ReadStates(const MissionManager* missions)
{
    mMainCount = 0;
    mFirstPending = INT32_MAX;
    if (missions)
    {
        std::vector<const Objective*> objectives = Objectives(missions);
        for (size_t e = 0; e < objectives.size() && e < mEntries.size(); ++e)
        {
            mEntries[e].kind = objectives[e]->GetCategory();
            mEntries[e].finished = objectives[e]->IsDone();
        }
    }
    for (size_t e = 0; e < mEntries.size(); ++e)
    {
        if (mEntries[e].kind == 0)
            ++mMainCount;
        if (!mEntries[e].finished && int32_t(e) < mFirstPending)
            mFirstPending = int32_t(e);
    }
    int32_t count = GetEntryCount();
    if (mFirstPending >= count)
        mFirstPending = std::max(count - 1, 0);
}

void MapView::Refresh(const MissionManager* missions)
{
    ReadStates(missions);
    std::vector<const Objective*> objectives = Objectives(missions);
    for (size_t e = 0; e < mEntries.size(); ++e)
    {
        W2dTextGraphicItem* entry = GetEntryItem(int32_t(e));
        if (!entry || !mEntries[e].finished)
            continue;
        entry->SetColour(kFinishedEntry);
        if (auto* fade = static_cast<W2dColourFadeEffect*>(entry->GetEffect(0)))
            fade->SetColours(kFinishedEntry, kFinishedEntry);
    }
    for (Marker& marker : mMarkers)
    {
        if (size_t(marker.entry) >= objectives.size())
            continue;
        const Objective* objective = objectives[size_t(marker.entry)];
        if (objective->IsDone() && marker.item)
            marker.item->SetColour(kFinishedColour);
        marker.visible = objective->IsActive() || objective->IsDone();
    }
    int32_t old = mCurrent;
    mCurrent = mFirstPending;
    if (mCurrent != old && old >= 0 && old < GetEntryCount())
        if (W2dTextGraphicItem* entry = GetEntryItem(old))
            entry->StopAllEffects();
    for (W2dPictureItem* arrow : {mUpArrow, mDownArrow})
        if (arrow)
        {
            arrow->Show();
            arrow->RestartEffect(2);
        }
    ShowItem(mBackground);
    ShowItem(mMapFrame);
    if (mPanel)
    {
        mPanel->Show();
        mPanel->RestartEffects();
    }
    if (mList)
    {
        mList->RestartEffects();
        mList->Show();
    }
    for (Marker& marker : mMarkers)
        if (marker.visible)
            ShowItem(marker.item);
    SetVisible(1);
}

void MapView::Close()
{
    HideItem(mUpArrow);
    HideItem(mDownArrow);
    HideItem(mBackground);
    HideItem(mMapFrame);
    HideItem(mPanel);
    HideItem(mList);
    for (Marker& marker : mMarkers)
        HideItem(marker.item);
    SetVisible(0);
}

void MapView::SetPan(const MapPanState& pan)
{
    mPan = pan;
    MapTexCoords(kMapBaseUvs, mPan.zoom, mPan.panX, mPan.panY, mUvs);
}

// ---- Input ----------------------------------------------------------------------------------------------------

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
    int32_t old = mCurrent;
    mCurrent = MapScrollTarget(marks.data(), count, mCurrent, step);
    // Whether the selection moved or not, the old entry fades out, the sound plays and the arrow flashes.
    if (W2dTextGraphicItem* entry = GetEntryItem(old))
        entry->RestartEffects();
    W2dTextGraphicItem* entry = GetEntryItem(mCurrent);
    bool finished = entry ? ColourOf(entry).red == 150 : mEntries[size_t(mCurrent)].finished != 0;
    TsFModPlaySoundAt(finished ? "SD_I_OBJECTIVE_FINISHED_S2DSB" : "SD_I_OBJECTIVE_NEW_S2DSB", nullptr);
    if (W2dPictureItem* arrow = step > 0 ? mDownArrow : mUpArrow)
    {
        arrow->RestartEffect(0);
        arrow->RestartEffect(1);
    }
}

void MapView::Zoom()
{
    HbInputManager* input = HbInputManager::Instance();
    if (input && input->IsPadPresent())
    {
        float value = PadAxis(input, 2, 1);
        mPan.zoom = MapZoomFrame(mPan.zoom, value > 0.5f, value < -0.5f);
        return;
    }
    mPan.zoom = MapZoomFrame(mPan.zoom, Triggered("MAP_ZOOM_IN"), Triggered("MAP_ZOOM_OUT"));
}

void MapView::Pan()
{
    HbInputManager* input = HbInputManager::Instance();
    if (input && input->IsPadPresent())
    {
        float x = PadAxis(input, 1, 0);
        float y = PadAxis(input, 1, 1);
        if (x > 0.5f || x < -0.5f)
            mPan.panX += 0.001f * x;
        if (y > 0.5f || y < -0.5f)
            mPan.panY -= 0.001f * y;
    }
    else
    {
        if (Triggered("UP_MAP"))
            mPan.panY -= 0.001f;
        if (Triggered("DOWN_MAP"))
            mPan.panY += 0.001f;
        if (Triggered("LEFT_MAP"))
            mPan.panX -= 0.001f;
        if (Triggered("RIGHT_MAP"))
            mPan.panX += 0.001f;
    }
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
    if (mUpArrow)
        mUpArrow->Update();
    if (mDownArrow)
        mDownArrow->Update();
    if (mPanel)
        mPanel->Update();
    Zoom();
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
    ShowItem(mUpArrow);
    ShowItem(mDownArrow);
    if (!mUpShown)
        HideItem(mUpArrow);
    if (!mDownShown)
        HideItem(mDownArrow);
    if (mList)
        mList->Update();
}

// ---- Drawing --------------------------------------------------------------------------------------------------

void MapView::ShowCurrentObjective()
{
    if (!mList || !mList->AreChildEffectsStopped())
        return;
    W2dTextGraphicItem* entry = GetEntryItem(mCurrent);
    if (!entry)
        return;
    mList->Hide();
    for (int32_t i = 0; i < entry->GetEffectCount(); ++i)
        entry->SetEffectActive(i, 0);
    entry->Show();
    Rgba colour = ColourOf(entry);
    colour.alpha = 255;
    entry->SetColour(colour);
    Rgba arrows = ColourOf(mDownArrow);
    arrows.alpha = 255;
    for (W2dPictureItem* arrow : {mUpArrow, mDownArrow})
        if (arrow)
            arrow->SetColour(arrows);
}

void MapView::DrawMarkers(MapPainter* painter)
{
    for (Marker& marker : mMarkers)
    {
        if (!marker.visible || !marker.item)
            continue;
        MapUv m = MapWorldToMap(marker.position[0], marker.position[2], mPan.zoom, mUvs[0].u, mUvs[0].v);
        float x = m.u + 0.13f - 0.009469697f;
        float y = 0.415f - m.v + 0.20625f;
        marker.item->SetPosition({x, y, 0.0f});
        if (x < kMarkerLeft || x > kMarkerRight || y < kMarkerTop || y > kMarkerBottom)
        {
            marker.item->Hide();
            continue;
        }
        marker.item->Show();
        if (marker.entry == mFirstPending && marker.item->AreEffectsStopped())
            marker.item->RestartEffects();
        marker.item->Update();
        if (marker.entry != mCurrent || !mHighlightTexture)
            continue;
        const float half = kHighlightSize * 0.5f;
        MapQuad quad = {m.u - half, m.v - half, m.u + half, m.v + half, 0.0f, 1.0f, 1.0f, 0.0f};
        MapQuad cut;
        if (!MapClipQuad(quad, &cut))
            continue;
        mIconUvs[0] = {cut.uLeft, cut.vBottom};
        mIconUvs[1] = {cut.uRight, cut.vBottom};
        mIconUvs[2] = {cut.uRight, cut.vTop};
        mIconUvs[3] = {cut.uLeft, cut.vTop};
        Rgba colour = ColourOf(marker.item);
        const Rgba colours[4] = {colour, colour, colour, colour};
        painter->FillRect(mHighlightTexture, cut.left, cut.bottom, cut.right - cut.left, cut.top - cut.bottom, mIconUvs,
                          colours);
    }
}

void MapView::Render()
{
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    TsActor* hero = world ? world->GetHero() : nullptr;
    WRenderer* renderer = WRenderer::Instance();
    if (!hero || !renderer || !renderer->GetScene())
        return;
    Vector position, forward;
    if (!HeroPlacement(hero, &position, &forward))
        return;
    MapUv m = MapWorldToMap(position.x, position.z, mPan.zoom, mUvs[0].u, mUvs[0].v);
    if (mFirstDraw)
    {
        // The first frame only centres the window near the hero.
        mFirstDraw = 0;
        mPan.zoom = 3.0f;
        mPan.panX = -0.015625f - (m.u * 1.3333334f - 0.5f - 0.125f);
        mPan.panY = m.v * 2.0f - 0.5f - 0.1f;
        return;
    }
    const Vector north = {0.0f, 0.0f, 1.0f};
    float heading = VectorPlanarAngle(&north, &forward, nullptr);
    ShowCurrentObjective();

    MapPainter* painter = gInstalledPainter ? gInstalledPainter : &mToolkitPainter;
    // The surface list's base transform is the reset one: the map's corner is placed on it.
    painter->Push();
    painter->Translate(kMapLeft, kMapBottom);
    const Rgba white[4] = {kWhite, kWhite, kWhite, kWhite};
    if (mMapTexture)
        painter->FillRect(mMapTexture, 0.0f, 0.0f, kMapWidth, kMapHeight, mUvs, white);
    DrawMarkers(painter);
    if (mHeroTexture && MapHeroInside(m.u, m.v))
    {
        const Rgba red[4] = {kHeroColour, kHeroColour, kHeroColour, kHeroColour};
        const float half = kHeroSize * 0.5f;
        painter->Push();
        painter->Translate(m.u, m.v);
        painter->Rotate(heading);
        painter->FillRect(mHeroTexture, -half, -half, kHeroSize, kHeroSize, kMapBaseUvs, red);
        painter->Pop();
    }
    painter->Pop();
}
