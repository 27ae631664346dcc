#include "boardcontroltheme_ingame.h"

#include "hbclock.h"
#include "herohudaccess.h"
#include "raster.h"
#include "scriptworldmanager.h"
#include "tsactor.h"
#include "tsfmod.h"
#include "tsinventory.h"
#include "tssoundmodule.h"
#include "tsweapon.h"
#include "tsweaponshoot.h"
#include "ui_local.h"
#include "vector.h"
#include "w2ditemeffect.h"
#include "w2dlistgraphiccontainer.h"
#include "w2dsurfacegraphicitem.h"
#include "w2dtextgraphicitem.h"
#include "w2dtextsurface.h"
#include "w3dframe.h"
#include "wrenderer.h"

#include <algorithm>

HB_DEFINE_CLASS_DESC(BoardControlTheme_InGame, BoardControlTheme);

namespace
{
constexpr Rgba kWhite = {255, 255, 255, 255};
constexpr Rgba kClearBlack = {0, 0, 0, 0};
constexpr Rgba kLaggingColour = {255, 128, 153, 150};
constexpr Rgba kSightColour = {248, 230, 127, 100};
constexpr Rgba kFrameColour = {0, 0, 0, 150};
constexpr Rgba kTextColour = {252, 196, 121, 255};
constexpr Rgba kAlarmRed = {234, 83, 42, 255};

const char* const kFaceTexture = "FE_FRONT_01_TEX";
const char* const kHurtTexture = "FE_FRONT_HURT_TEX";
const char* const kDeathTexture = "FE_FRONT_DEATH_TEX";
const char* const kNearDeathSound = "SD_I_NEAR_DEATH_S2DSB";

// Hero states in which the hero aims: the health group stays up.
constexpr int32_t kFirstAimState = 9;
constexpr int32_t kLastAimState = 12;

BoardControl* gGameBar = nullptr;

int32_t DefaultLevelCheck()
{
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    return world && world->IsLevelStarted() ? 1 : 0;
}

BoardControlTheme_InGame::LevelCheck gLevelCheck = DefaultLevelCheck;

int64_t Now()
{
    return HbGameClock::Instance()->mGameTime;
}

double Seconds(int64_t ticks)
{
    return double(ticks) / double(HbPerformanceFrequency());
}

int64_t Ticks(double seconds)
{
    return int64_t(seconds * double(HbPerformanceFrequency()));
}

/// The window's width over its height; 4/3 when there is no window.
float ScreenRatio()
{
    WRenderer* renderer = WRenderer::Instance();
    if (!renderer)
        return 4.0f / 3.0f;
    WDisplaySettings settings = {};
    renderer->GetDisplaySettings(&settings);
    if (settings.width <= 0 || settings.height <= 0)
        return 4.0f / 3.0f;
    return float(settings.width) / float(settings.height);
}

template <typename T> T* Hold(T* item)
{
    item->AddRef();
    return item;
}

using uiitems::Drop;
using uiitems::HideItem;
using uiitems::ShowItem;

/// Priority, Create, size, position, colour and visibility, in the build's order.
template <typename T> T* Place(T* item, int32_t priority, float w, float h, float x, float y, const Rgba& colour,
                               bool shown)
{
    Hold(item);
    item->SetPriority(priority);
    item->Create();
    item->SetSize({w, h, 0.0f});
    item->SetPosition({x, y, 0.0f});
    item->SetColour(colour);
    if (shown)
        item->Show();
    else
        item->Hide();
    return item;
}

W2dPictureItem* Picture(const char* texture, int32_t priority, float w, float h, float x, float y,
                        const Rgba& colour, bool shown)
{
    return Place(new W2dPictureItem(texture, -1.0f, nullptr), priority, w, h, x, y, colour, shown);
}

W2dGaugeItem* Gauge(float y, const Rgba& colour, bool shown)
{
    return Place(new W2dGaugeItem("FE_GREEN_TEX", -1.0f, nullptr, 13), 99, 0.162598f, 0.0625f, 0.122201f, y,
                 colour, shown);
}

void AttachSlideIn(W2dGenericItem* item, float x, float y)
{
    Vector start = {x, y, 0.0f};
    item->AddEffect(new W2dSlideInEffect(Ticks(0.5), &start, item));
}

/// A colour fade attached with its Begin (the item takes the start colour); its index.
int32_t AttachFade(W2dGenericItem* item, const Rgba& from, const Rgba& to, double delay)
{
    auto* fade = new W2dColourFadeEffect(Ticks(1.0), &from, &to, Ticks(delay));
    item->AddEffect(fade);
    fade->Begin(item);
    return item->GetEffectCount() - 1;
}

/// New corner i takes the coordinates of old corner order[i].
void PermuteCorners(W2dPictureItem* item, const int32_t order[4])
{
    Vector2 old[4];
    item->GetCornerUVs(&old[0], &old[1], &old[2], &old[3]);
    const Vector2& a = old[order[0]];
    const Vector2& b = old[order[1]];
    const Vector2& c = old[order[2]];
    const Vector2& d = old[order[3]];
    item->SetCornerUVs(a.x, a.y, b.x, b.y, c.x, c.y, d.x, d.y);
}

void SetAllCorners(W2dGenericItem* item, const Rgba& colour)
{
    item->SetCornerColours(colour, colour, colour, colour);
}

// Hit markers, ring by ring within each direction: size and top-left position.
struct MarkerPlace
{
    float w, h, x, y;
};
constexpr float kR1 = 0.03125f;
constexpr float kR2 = 0.015625f;
constexpr MarkerPlace kMarkerPlaces[4][3] = {
    {{0.125f, 0.0625f, 0.422f, 0.083f},
     {0.0625f, 0.03125f, 0.422f + kR1, 0.083f - kR1},
     {0.03125f, 0.015625f, 0.422f + kR1 + kR2, 0.083f - kR1 - kR2}},
    {{0.0625f, 0.125f, 0.85f, 0.4375f},
     {0.03125f, 0.0625f, 0.85f + 0.0625f, 0.4375f + kR1},
     {0.015625f, 0.03125f, 0.85f + 0.0625f + kR1, 0.4375f + kR1 + kR2}},
    {{0.125f, 0.0625f, 0.422f, 0.8545f},
     {0.0625f, 0.03125f, 0.422f + kR1, 0.8545f + 0.0625f},
     {0.03125f, 0.015625f, 0.422f + kR1 + kR2, 0.8545f + 0.0625f + kR1}},
    {{0.0625f, 0.125f, 0.0875f, 0.4375f},
     {0.03125f, 0.0625f, 0.0875f - kR1, 0.4375f + kR1},
     {0.015625f, 0.03125f, 0.0875f - kR1 - kR2, 0.4375f + kR1 + kR2}},
};

/// The display data of the hero's weapon: the gameplay reader first, else the actor layer's firearm.
int32_t ShootingData(TsActor* actor, WeaponDisplayData* data)
{
    if (HeroHudAccess::Get()->GetWeaponDisplayData(actor, data))
        return 1;
    auto* shoot = HbCastTo<TsWeaponShoot>(actor);
    if (!shoot)
        return 0;
    data->rounds = shoot->mMagazine;
    data->magazineSize = shoot->mMagazineSize;
    data->magazines = shoot->mStock;
    data->showSegments = shoot->mWeaponData[1];
    data->showCentre = shoot->mWeaponData[2];
    return 1;
}

/// The physical actor of the hero's item in hand, or null.
TsActor* WeaponActorInHand(HbRoot* hero)
{
    auto* item = HbCastTo<TsInventoryItem>(HeroHudAccess::Get()->GetItemInHand(hero));
    return item ? item->GetActor() : nullptr;
}
} // namespace

// ---- Construction ---------------------------------------------------------------------------------------

BoardControlTheme_InGame::BoardControlTheme_InGame()
{
    mObjectFrame = W3dFrame::Create();
    if (mObjectFrame)
        mObjectFrame->AddRef();
}

BoardControlTheme_InGame::~BoardControlTheme_InGame()
{
    if (mObjectFrame)
        mObjectFrame->HbRoot::Release();
    mHeldItem.Reset();
}

// ---- Reaching the theme -----------------------------------------------------------------------------------

void BoardControlTheme_InGame::SetGameBoardControl(BoardControl* bar)
{
    gGameBar = bar;
}

BoardControl* BoardControlTheme_InGame::GetGameBoardControl()
{
    return gGameBar;
}

BoardControlTheme_InGame* BoardControlTheme_InGame::Find(BoardControl* bar)
{
    if (!bar)
        bar = gGameBar;
    return bar ? HbCastTo<BoardControlTheme_InGame>(bar->GetTheme(kThemeId)) : nullptr;
}

void BoardControlTheme_InGame::OnAmmoChanged(BoardControlTheme_InGame* theme)
{
    if (!theme)
        theme = Find(nullptr);
    if (theme)
        theme->OnAmmoChanged();
}

void BoardControlTheme_InGame::SetLevelCheck(LevelCheck check)
{
    gLevelCheck = check ? check : DefaultLevelCheck;
}

void BoardControlTheme_InGame::CreateTheme(BoardControl* bar)
{
    auto* theme = new BoardControlTheme_InGame();
    if (!bar->RegisterTheme(kThemeId, theme))
        delete theme;
    SetGameBoardControl(bar);
}

int32_t BoardControlTheme_InGame::IsInPlay() const
{
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    TsActor* hero = world ? world->GetHero() : nullptr;
    if (!hero || hero->mLinkedObject)
        return 0;
    return gLevelCheck();
}

// ---- Life cycle -------------------------------------------------------------------------------------------

int32_t BoardControlTheme_InGame::Build()
{
    if (!BoardControlTheme::Build())
        return 0;

    mHintTexts[0].clear();
    mHintTexts[1] = GetLocalizedText("INTERFACE_ICONES_DE_JEU_1_1_TXT");
    mHintTexts[2] = GetLocalizedText("FRONTEND_BOARDCONTROL_USE_TXT");
    mHintTexts[3] = GetLocalizedText("INTERFACE_ICONES_DE_JEU_2_1_TXT");

    mFace = Picture(kFaceTexture, 100, 0.25f, 0.125f, 0.062f, 0.034f, kWhite, true);
    AttachSlideIn(mFace, 0.062f, -0.216f);
    mHealthGauge = Gauge(0.086101f, kWhite, true);
    AttachSlideIn(mHealthGauge, 0.122201f, 0.086101f - 0.25f);
    mLaggingGauge = Gauge(0.086101f, kWhite, true);
    AttachSlideIn(mLaggingGauge, 0.122201f, 0.086101f - 0.25f);
    mLaggingGauge->SetColour(kLaggingColour);
    mAlarm = Picture("FE_FRONT_02_TEX", 100, 0.0625f, 0.0625f, 0.074f, 0.137f, kWhite, true);
    AttachSlideIn(mAlarm, -0.0625f, 0.137f);
    mAlarm->SetEffectActive(0, 0);
    mBossGauge = Gauge(0.9f, kWhite, true);
    mBossGauge->Hide();

    mFace->SetEffectActive(AttachFade(mFace, kWhite, kClearBlack, 0.0), 0);
    mHealthGauge->SetEffectActive(AttachFade(mHealthGauge, kWhite, kClearBlack, 0.0), 0);
    mLaggingGauge->SetEffectActive(AttachFade(mLaggingGauge, kLaggingColour, kClearBlack, 0.0), 0);
    mAlarm->SetEffectActive(AttachFade(mAlarm, kWhite, kClearBlack, 0.5), 0);
    int64_t now = Now();
    mAlarmBlinkTime = now;

    for (int32_t direction = 0; direction < 4; ++direction)
        for (int32_t ring = 0; ring < 3; ++ring)
        {
            const MarkerPlace& p = kMarkerPlaces[direction][ring];
            W2dPictureItem* marker = Picture("FE_HIT_TEX", 100, p.w, p.h, p.x, p.y, kWhite, true);
            if (direction > 0)
            {
                int32_t order[4];
                for (int32_t i = 0; i < 4; ++i)
                    order[i] = (i + direction) % 4;
                PermuteCorners(marker, order);
            }
            mMarkers[ring * 4 + direction] = marker;
        }
    mLastHitTime = mHealthDisplayTime = mAmmoTime = now;
    mLaggingValue = 1.0f;

    for (int32_t k = 0; k < kMagazines; ++k)
        mMagazineIcons[k] = Picture("FE_CHARGER_TEX", 100, 0.0625f, 0.0625f, 0.867f, 0.1f + float(k) * 0.03125f,
                                    kWhite, true);
    for (int32_t i = 0; i < kBullets; ++i)
        mBulletIcons[i] = Picture("FE_BULLET_TEX", 100, 0.025f, 0.008f, 0.916f, 0.114f + float(i) * 0.008f, kWhite,
                                  true);
    auto countFades = [](W2dPictureItem* icon) {
        AttachFade(icon, kClearBlack, kWhite, 0.5);
        icon->StopAllEffects();
        icon->SetEffectActive(AttachFade(icon, kWhite, kClearBlack, 0.0), 0);
    };
    for (W2dPictureItem* icon : mMagazineIcons)
        countFades(icon);
    for (W2dPictureItem* icon : mBulletIcons)
        countFades(icon);

    mSightCentre = Picture("FE_POINT_SIGHT_TEX", 100, 0.03125f, 0.03125f, 0.5f, 0.5f, kSightColour, false);
    Vector centreSize = {};
    mSightCentre->GetSize(&centreSize);
    mSightCentre->SetPosition({0.5f - centreSize.x / 2.0f, 0.5f - centreSize.y / 2.0f, 0.0f});
    static constexpr int32_t kSegmentCorners[4][4] = {{1, 0, 3, 2}, {0, 1, 2, 3}, {2, 3, 0, 1}, {3, 2, 1, 0}};
    float ratio = ScreenRatio();
    for (int32_t s = 0; s < 4; ++s)
    {
        mSegments[s] = Place(new W2dBlendedPictureItem("FE_SIGHT_TEX", -1.0f, nullptr), 100, 0.05f, 0.05f * ratio,
                             0.5f, 0.5f, kSightColour, true);
        mSegments[s]->SetBlendFactors(5, 2);
        PermuteCorners(mSegments[s], kSegmentCorners[s]);
    }
    SetSightSpread(0.0f);

    mMessageBox[0] = 0.1f;
    mMessageBox[1] = 0.7f;
    mMessageBox[2] = 0.0f;
    mMessageFrame = Picture("", -4, 0.8f, 0.1625f, mMessageBox[0], mMessageBox[1], kFrameColour, true);
    mMessages = Hold(new W2dTimedListGraphicContainer(""));
    mMessages->SetLifetime(4.0f);
    mMessages->Create();
    mMessages->SetReversed(0);
    mMessages->SetFixedRows(0);
    mMessages->SetPosition({0.16f, 0.74f, 0.0f});
    mMessages->SetSize({0.68f, 0.1625f, 0.0f});
    mMessages->Hide();

    mHintCaption = Hold(new W2dTextGraphicItem(kW2dStandardFont, nullptr));
    mHintCaption->SetPriority(100);
    mHintCaption->Create();
    mHintCaption->SetCharHeight(0.03f);
    mHintCaption->SetJustify(0);
    mHintCaption->SetSize({0.378188f, 0.023453f, 0.0f});
    mHintCaption->SetPosition({0.284851f, 0.811802f, 0.0f});
    mHintCaption->SetColour({252, 196, 121, 255});
    mHintCaption->Show();

    mHeldItem.Reset();
    mObjectState = 0;
    mNearDeathChannel = -1;

    mWeaponIcon = Picture("", 100, 0.25f, 0.0625f, 0.67f, 0.08f, kWhite, true);
    AttachSlideIn(mWeaponIcon, 1.25f, 0.08f);
    AttachFade(mWeaponIcon, kClearBlack, kWhite, 0.0);
    mWeaponIcon->SetEffectActive(AttachFade(mWeaponIcon, kWhite, kClearBlack, 0.0), 0);
    return 1;
}

int32_t BoardControlTheme_InGame::Show()
{
    if (!IsInPlay() || !IsBuilt())
        return 0;
    mState |= kShown;
    ShowItem(mMessages);
    ShowItem(mWeaponIcon);
    ShowItem(mMessageFrame);
    ShowItem(mHealthGauge);
    ShowItem(mLaggingGauge);
    ShowItem(mFace);
    for (W2dPictureItem* marker : mMarkers)
        ShowItem(marker);
    for (W2dPictureItem* icon : mMagazineIcons)
        ShowItem(icon);
    for (W2dPictureItem* icon : mBulletIcons)
        ShowItem(icon);
    ShowItem(mHintCaption);
    ShowItem(mAlarm);
    if (mSightShown)
        ShowSight();
    if (mHasPendingMessage)
    {
        mHasPendingMessage = 0;
        std::string text;
        text.swap(mPendingMessage);
        LogMessage(text.c_str());
    }
    return 1;
}

int32_t BoardControlTheme_InGame::Hide()
{
    StopNearDeath();
    if (!IsBuilt())
        return 0;
    mState &= ~uint32_t(kShown);
    HideItem(mMessages);
    HideItem(mWeaponIcon);
    HideItem(mMessageFrame);
    HideItem(mHealthGauge);
    HideItem(mLaggingGauge);
    HideItem(mFace);
    HideItem(mBossGauge);
    HideItem(mBossPicture);
    for (W2dPictureItem* marker : mMarkers)
        HideItem(marker);
    for (W2dPictureItem* icon : mMagazineIcons)
        HideItem(icon);
    for (W2dPictureItem* icon : mBulletIcons)
        HideItem(icon);
    for (W2dBlendedPictureItem* segment : mSegments)
        HideItem(segment);
    HideItem(mSightCentre);
    HideItem(mHintCaption);
    HideItem(mAlarm);
    return 1;
}

int32_t BoardControlTheme_InGame::Update()
{
    if (!IsInPlay())
    {
        if (mState & kShown)
            Hide();
        StopNearDeath();
        return 1;
    }
    if (!(mState & kShown))
        Show();
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    TsActor* hero = world ? world->GetHero() : nullptr;
    if (!hero || !IsBuilt())
        return 0;
    int64_t now = Now();

    // The object display: nothing is ever queued, so it stays in its idle state.
    mObjectState = 0;

    UpdateAmmo();
    UpdateHealth(hero, now);

    if (Seconds(now - mAmmoTime) > 5.0 && !mAmmoFade)
    {
        for (W2dPictureItem* icon : mMagazineIcons)
            icon->RestartEffect(1);
        for (W2dPictureItem* icon : mBulletIcons)
            icon->RestartEffect(1);
        mWeaponIcon->RestartEffect(2);
        mAmmoFade = 1;
    }

    UpdateAlarm();

    mMessages->Update();
    if (mMessages->GetChildCount() > 0)
        mMessageFrame->Show();
    else
        mMessageFrame->Hide();

    if (mAmmoFade)
    {
        mAmmoRedisplay = 1;
        mAmmoFade = 0;
    }
    mAmmoTime = now;

    int32_t state = HeroHudAccess::Get()->GetHeroStateId(hero);
    if (state >= kFirstAimState && state <= kLastAimState)
        RestoreHealthDisplay(1);

    mFace->Update();
    mHealthGauge->Update();
    mLaggingGauge->Update();
    mAlarm->Update();
    return 1;
}

void BoardControlTheme_InGame::Reset()
{
    if (mMessages)
        ClearMessages();
    mHasPendingMessage = 0;
    mPendingMessage.clear();
    if (mWeaponIcon)
    {
        mWeaponIcon->RestartEffect(0);
        mWeaponIcon->RestartEffect(2);
        mWeaponIcon->SetEffectActive(2, 0);
    }
    mAlarmMode = 1;
    mObjectState = 0;
    mHeldItem.Reset();
    W2dGenericItem* health[3] = {mFace, mHealthGauge, mLaggingGauge};
    for (W2dGenericItem* item : health)
        if (item)
            item->RestartEffect(0);
    for (W2dGenericItem* item : health)
        if (item)
        {
            item->RestartEffect(1);
            item->SetEffectActive(1, 0);
        }
    if (mAlarm)
    {
        mAlarm->RestartEffects();
        mAlarm->StopAllEffects();
    }
    HideItem(mBossGauge);
    HideItem(mBossPicture);
    auto resetFade = [](W2dPictureItem* icon) {
        if (icon)
        {
            icon->RestartEffect(1);
            icon->SetEffectActive(1, 0);
        }
    };
    for (W2dPictureItem* icon : mMagazineIcons)
        resetFade(icon);
    for (W2dPictureItem* icon : mBulletIcons)
        resetFade(icon);
    Drop(mBossPicture);
}

int32_t BoardControlTheme_InGame::Release()
{
    if (!IsBuilt())
        return 0;
    Reset();
    Drop(mMessageFrame);
    for (W2dPictureItem*& icon : mMagazineIcons)
        Drop(icon);
    Drop(mHealthGauge);
    Drop(mLaggingGauge);
    Drop(mFace);
    Drop(mBossGauge);
    Drop(mBossPicture);
    Drop(mAlarm);
    for (W2dPictureItem*& marker : mMarkers)
        Drop(marker);
    for (W2dPictureItem*& icon : mBulletIcons)
        Drop(icon);
    Drop(mSightCentre);
    for (W2dBlendedPictureItem*& segment : mSegments)
        Drop(segment);
    Drop(mMessages);
    Drop(mHintCaption);
    StopNearDeath();
    Drop(mWeaponIcon);
    return BoardControlTheme::Release();
}

int32_t BoardControlTheme_InGame::QueueObjectDisplay(HbRoot*)
{
    return 1;
}

int32_t BoardControlTheme_InGame::QueueItemDisplay(const char*)
{
    return 1;
}

// ---- Alarm and boss gauge -----------------------------------------------------------------------------------

void BoardControlTheme_InGame::SetAlarm(int32_t on)
{
    if (!mAlarm)
    {
        mAlarmMode = on ? 2 : 1;
        return;
    }
    if (on)
    {
        if (mAlarmMode != 2)
        {
            mAlarm->RestartEffect(0);
            mAlarm->RestartEffect(1);
            mAlarm->SetEffectActive(1, 0);
        }
        mAlarmMode = 2;
        return;
    }
    mAlarmMode = 1;
    mAlarm->SetEffectActive(0, 0);
    mAlarm->RestartEffect(1);
}

void BoardControlTheme_InGame::UpdateAlarm()
{
    if (mAlarmMode != 2 || !mAlarm)
        return;
    int64_t now = Now();
    double e = Seconds(now - mAlarmBlinkTime);
    Rgba colour;
    if (e > 0.5)
    {
        mAlarmBlinkTime = now;
        colour = mAlarmPhase == 1 ? kWhite : kAlarmRed;
        mAlarmPhase = mAlarmPhase == 1 ? 0 : 1;
    }
    else
    {
        double t = 2.0 * e;
        auto step = [t](int32_t range) { return int32_t(double(range) * t); };
        if (mAlarmPhase == 0)
            colour = {uint8_t(255 - step(21)), uint8_t(255 - step(172)), uint8_t(255 - step(213)), 255};
        else
            colour = {uint8_t(234 + step(21)), uint8_t(83 + step(172)), uint8_t(42 + step(213)), 255};
    }
    SetAllCorners(mAlarm, colour);
}

void BoardControlTheme_InGame::DrawBossHitPoints(const char* textureId, float fraction)
{
    if (!mBossGauge)
        return;
    if (!mBossPicture)
    {
        mBossPicture = Hold(new W2dPictureItem(textureId ? textureId : "", -1.0f, nullptr));
        mBossPicture->SetPriority(100);
        mBossPicture->Create();
        mBossPicture->SetSize({0.25f, 0.125f, 0.0f});
        mBossPicture->SetPosition({0.062f, 0.847899f, 0.0f});
        mBossPicture->Show();
    }
    mBossGauge->SetValue(fraction);
    if (fraction > 0.0f)
    {
        mBossGauge->Show();
        mBossPicture->Show();
    }
    else
    {
        mBossGauge->Hide();
        mBossPicture->Hide();
    }
}

// ---- Messages -------------------------------------------------------------------------------------------------

void BoardControlTheme_InGame::LogMessage(const char* text)
{
    if (!mMessages || !text)
        return;
    if (!(mState & kShown))
    {
        // Shown later: objective texts arrive during stage entry, before the display is up.
        mMessages->RemoveAllChildren();
        mPendingMessage = text;
        mHasPendingMessage = 1;
        return;
    }
    auto* item = Hold(new W2dTextGraphicItem(kW2dStandardFont, nullptr));
    mMessages->RemoveAllChildren();
    Vector size = {};
    Vector position = {};
    mMessages->GetSize(&size);
    mMessages->GetPosition(&position);
    if (size.y == 0.0f)
        size.y = 0.08f;
    item->Create();
    item->SetSize({size.x, size.y, 0.0f});
    item->SetJustify(0);
    item->SetCharHeight(0.04f);
    item->SetText(text);
    auto* surface = static_cast<W2dTextSurface*>(item->GetSurface());
    // At least one line, so that the message still expires.
    int32_t lines = std::max(surface ? surface->GetLineCount() : 0, 1);
    float height = 0.04f * float(lines);
    item->SetSize({size.x, height, 0.0f});
    mMessages->SetSize({size.x, height, 0.0f});
    mMessages->SetLifetime(2.0f * float(lines));
    item->SetColour(kTextColour);
    mMessageFrame->SetSize({size.x + 0.12f, height + 0.01f, 0.0f});
    mMessages->AddChild(item);
    item->HbRoot::Release();
}

void BoardControlTheme_InGame::LogMessageFromResource(const char* textId)
{
    std::string text = GetLocalizedText(textId);
    if (!text.empty())
        LogMessage(text.c_str());
}

void BoardControlTheme_InGame::ClearMessages()
{
    while (mMessages && mMessages->RemoveChildByName(""))
    {
    }
}

// ---- Health and hit markers -----------------------------------------------------------------------------------

void BoardControlTheme_InGame::StopNearDeath()
{
    if (mNearDeathChannel != -1)
        TsFModStopChannel(mNearDeathChannel);
    mNearDeathChannel = -1;
}

void BoardControlTheme_InGame::RestoreHealthDisplay(int32_t stamp)
{
    if (mHealthFaded && mFace)
    {
        W2dGenericItem* health[3] = {mHealthGauge, mLaggingGauge, mFace};
        for (W2dGenericItem* item : health)
            item->RestartEffect(0);
        for (W2dGenericItem* item : health)
        {
            item->RestartEffect(1);
            item->SetEffectActive(1, 0);
        }
        mHealthFaded = 0;
    }
    if (stamp)
        mHealthDisplayTime = Now();
}

void BoardControlTheme_InGame::UpdateHealth(HbRoot* hero, int64_t now)
{
    HeroHudAccess* access = HeroHudAccess::Get();
    int32_t hitPoints = access->GetHitPoints(hero);
    int32_t maximum = access->GetMaxHitPoints(hero);
    // A hero without a maximum counts as spent rather than dividing by zero.
    float f = maximum > 0 ? float(double(hitPoints) / double(maximum)) : 0.0f;
    mHealthGauge->SetValue(f);
    mLaggingGauge->SetValue(mLaggingValue);

    if (f < 0.2f)
    {
        if (mNearDeathChannel == -1)
            mNearDeathChannel = TsFModPlaySoundAt(kNearDeathSound, nullptr);
        if (mLaggingValue != f)
            mFace->SetTexture(kDeathTexture);
    }
    else
    {
        StopNearDeath();
        if (mLaggingValue != f)
            mFace->SetTexture(f < 0.6f ? kHurtTexture : kFaceTexture);
    }

    for (W2dPictureItem* marker : mMarkers)
    {
        marker->Hide();
        SetAllCorners(marker, kWhite);
    }

    int32_t d = access->GetLastHitDirection(hero);
    if (d >= 0 && d < kNoDirection)
    {
        mShownHitDirection = d;
        mLastHitTime = now;
    }
    float e = float(Seconds(now - mLastHitTime));
    if (mShownHitDirection < kNoDirection)
    {
        RestoreHealthDisplay(0);
        const float k = 4.0f / 3.0f;
        uint8_t alpha = uint8_t(int32_t(255.0f - e * 255.0f * k));
        int32_t rings = e < 0.4f ? 1 : e < 0.5f ? 2 : e < 0.75f ? 3 : 0;
        for (int32_t ring = 0; ring < rings; ++ring)
        {
            W2dPictureItem* marker = mMarkers[ring * 4 + mShownHitDirection];
            SetAllCorners(marker, {255, 255, 255, alpha});
            marker->Show();
        }
        if (rings == 0)
        {
            mLaggingValue = f;
            mShownHitDirection = kNoDirection;
        }
    }
    else if (Seconds(now - mHealthDisplayTime) > 5.0 && !mHealthFaded)
    {
        mHealthGauge->RestartEffect(1);
        mLaggingGauge->RestartEffect(1);
        mFace->RestartEffect(1);
        mHealthFaded = 1;
    }
}

// ---- Ammunition and cross-hair ---------------------------------------------------------------------------------

void BoardControlTheme_InGame::HideCounts()
{
    for (W2dPictureItem* icon : mMagazineIcons)
        icon->Hide();
    for (W2dPictureItem* icon : mBulletIcons)
        icon->Hide();
}

void BoardControlTheme_InGame::UpdateAmmo()
{
    if (!mWeaponIcon)
        return;
    if (mAmmoRedisplay)
    {
        mWeaponIcon->RestartEffect(0);
        mWeaponIcon->RestartEffect(1);
        for (W2dPictureItem* icon : mMagazineIcons)
            icon->RestartEffect(0);
        for (W2dPictureItem* icon : mBulletIcons)
            icon->RestartEffect(0);
        mAmmoRedisplay = 0;
        return;
    }
    for (W2dPictureItem* icon : mMagazineIcons)
        icon->Update();
    for (W2dPictureItem* icon : mBulletIcons)
        icon->Update();
    mWeaponIcon->Update();

    ScriptWorldManager* world = ScriptWorldManager::Instance();
    TsActor* hero = world ? world->GetHero() : nullptr;
    auto* item = HbCastTo<TsInventoryItem>(HeroHudAccess::Get()->GetItemInHand(hero));
    if (!item)
    {
        mWeaponIcon->Hide();
        HideCounts();
        return;
    }
    TsActor* actor = item->GetActor();
    if (!actor || !HbCastTo<TsWeapon>(actor))
    {
        mWeaponIcon->Hide();
        mHeldItem.Assign(item);
        HideCounts();
        return;
    }
    WeaponDisplayData data;
    if (ShootingData(actor, &data))
    {
        // Icons for at most 32 rounds and 5 magazines; an unlimited stock shows all five.
        int32_t n = data.rounds < 0 ? data.magazineSize : data.rounds;
        n = std::clamp(n, 0, int32_t(kBullets));
        for (int32_t i = 0; i < kBullets; ++i)
        {
            if (i < n)
                mBulletIcons[i]->Show();
            else
                mBulletIcons[i]->Hide();
        }
        for (W2dPictureItem* icon : mMagazineIcons)
            icon->Hide();
        int32_t m = data.magazines == -1 || data.magazines > kMagazines ? kMagazines : std::max(data.magazines, 0);
        for (int32_t k = 0; k < m; ++k)
            mMagazineIcons[k]->Show();
    }
    else
    {
        HideCounts();
    }
    if (mHeldItem.GetObject() != item)
    {
        mWeaponIcon->SetTexture(item->mTexts[1].c_str());
        mHeldItem.Assign(item);
    }
    mWeaponIcon->Show();
}

void BoardControlTheme_InGame::HideAmmo()
{
    HideItem(mWeaponIcon);
    for (W2dPictureItem* icon : mBulletIcons)
        HideItem(icon);
    for (W2dPictureItem* icon : mMagazineIcons)
        HideItem(icon);
    mAmmoRedisplay = 1;
    mAmmoTime = Now();
    mAmmoFade = 0;
}

void BoardControlTheme_InGame::OnAmmoChanged()
{
    if (mAmmoFade)
    {
        mAmmoRedisplay = 1;
        mAmmoFade = 0;
    }
    mAmmoTime = Now();
}

void BoardControlTheme_InGame::ShowSight()
{
    mSightShown = 1;
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    TsActor* weapon = WeaponActorInHand(world ? world->GetHero() : nullptr);
    WeaponDisplayData data;
    if (!weapon || !ShootingData(weapon, &data))
    {
        HideSight();
        return;
    }
    for (W2dBlendedPictureItem* segment : mSegments)
    {
        if (!segment)
            continue;
        if (data.showSegments)
            segment->Show();
        else
            segment->Hide();
    }
    if (mSightCentre)
    {
        if (data.showCentre)
            mSightCentre->Show();
        else
            mSightCentre->Hide();
    }
}

void BoardControlTheme_InGame::HideSight()
{
    mSightShown = 0;
    for (W2dBlendedPictureItem* segment : mSegments)
        HideItem(segment);
    HideItem(mSightCentre);
}

void BoardControlTheme_InGame::SetSightSpread(float spread)
{
    if (!mSegments[kUpperLeft])
        return;
    Vector size = {};
    mSegments[kUpperLeft]->GetSize(&size);
    float w = size.x;
    float h = size.y;
    float a = w / 2.0f + spread;
    float b = ScreenRatio() * a;
    mSegments[kUpperLeft]->SetPosition({0.5f - w / 2.0f - a, 0.5f - h / 2.0f - b, 0.0f});
    mSegments[kUpperRight]->SetPosition({0.5f - w / 2.0f + a, 0.5f - h / 2.0f - b, 0.0f});
    mSegments[kLowerRight]->SetPosition({0.5f - w / 2.0f + a, 0.5f - h / 2.0f + b, 0.0f});
    mSegments[kLowerLeft]->SetPosition({0.5f - w / 2.0f - a, 0.5f - h / 2.0f + b, 0.0f});
}
