// GameState_Inventory: the wheel's items, the stick's pick with its hold, the frame of play under
// the wheel, and the hero's weapon change on closing.
#include "gamestateinventory.h"

#include "boardcontrol.h"
#include "boardcontroltheme_ingame.h"
#include "gameinputaction.h"
#include "gamekeyhintbar.h"
#include "gamemenu.h"
#include "gameservices.h"
#include "gamestatestage.h"
#include "hbclock.h"
#include "hbcontroller.h"
#include "hbinputmanager.h"
#include "hbpadcontroller.h"
#include "hbptr.h"
#include "herohudaccess.h"
#include "heroinput.h"
#include "herostatemachine.h"
#include "scriptworldmanager.h"
#include "tsheroactor.h"
#include "tsinventory.h"
#include "tssoundmodule.h"
#include "tsweapon.h"
#include "tsweaponshoot.h"
#include "w2dsurfacegraphicitem.h"
#include "w2dtextgraphicitem.h"
#include "wrenderer.h"

#include <cmath>
#include <cstdio>

HB_DEFINE_CLASS_DESC(GameState_Inventory, GameState);

namespace
{
constexpr int32_t kHeroInventoryEnter = 112;
constexpr int32_t kHeroInventoryQuit = 128;
constexpr int32_t kLayer = 100;
constexpr int32_t kIndicatorLayer = 105;
const char* const kFont = "ID_ARIAL_BLACK_FONT";

struct Slot
{
    const char* weapon;
    const char* texture;
    float pictureX, pictureY;
    const char* label;
    float labelX, labelY;
    float counterX, counterY;
    float markerX, markerY;
    float dx, dy;
};

// The knife's counter and marker are built but never shown.
constexpr Slot kSlotTable[GameState_Inventory::kSlots] = {
    {"KNIFE", "WEAPON_KNIFE_TEX", 0.188279f, 0.667774f, "TX_WEP_KNIFE_NAME_TXT", 0.256858f, 0.742525f, 0.256858f,
     0.742525f, 0.706983f, 0.581395f, 0.0f, -1.0f},
    {"MG42", "WEAPON_MG42_TEX", 0.028678f, 0.612957f, "TX_WEP_MG42_NAME_TXT", -0.008728f, 0.581395f, 0.099751f,
     0.581395f, 0.29054f, 0.568895f, -0.5f, -0.5f},
    {"THOMPSON", "WEAPON_THOMPSON_TEX", -0.0431422f, 0.476741f, "TX_WEP_THOMPSON_NAME_TXT", -0.024938f, 0.446844f,
     0.109726f, 0.446844f, 0.301746f, 0.43434402f, -1.0f, 0.0f},
    {"M1GARAND", "WEAPON_M1GARAND_TEX", 0.003741f, 0.347176f, "TX_WEP_GARAND_NAME_TXT", -0.021197f, 0.313953f,
     0.119701f, 0.313953f, 0.30998f, 0.30145302f, -0.5f, 0.5f},
    {"COLT1911", "WEAPON_COLT1911_TEX", 0.21197f, 0.265781f, "TX_WEP_COLT_NAME_TXT", 0.24813f, 0.230897f, 0.376559f,
     0.230897f, 0.567332f, 0.21839699f, 0.0f, 1.0f},
    {"MAUSER", "WEAPON_MAUSER_TEX", 0.545135f, 0.33887f, "TX_WEP_MAUSER_NAME_TXT", 0.527431f, 0.313953f, 0.669576f,
     0.313953f, 0.860349f, 0.30145302f, 0.5f, 0.5f},
    {"MP40", "WEAPON_MP40_TEX", 0.521444f, 0.4701f, "TX_WEP_MP40_NAME_TXT", 0.531172f, 0.446844f, 0.638404f, 0.446844f,
     0.829177f, 0.43434402f, 1.0f, 0.0f},
    {"PANZERSHRECK", "WEAPON_PANZERSHRECK_TEX", 0.604985f, 0.614618f, "TX_WEP_PANZER_NAME_TXT", 0.546135f, 0.581395f,
     0.706983f, 0.581395f, 0.898756f, 0.568895f, 0.5f, -0.5f},
};

/// The order in which the stick's direction is tested; overlapping areas go to the first.
constexpr int32_t kTestOrder[GameState_Inventory::kSlots] = {6, 2, 4, 0, 5, 3, 1, 7};

constexpr Rgba kDimmed = {255, 255, 255, 150};
constexpr Rgba kWhite = {255, 255, 255, 255};
constexpr Rgba kAmber = {253, 167, 1, 255};
constexpr Rgba kAmberFaint = {253, 167, 1, 100};
constexpr Rgba kAmberClear = {253, 167, 1, 0};

GameInputAction gOpen{"INVENTORY_OPEN"};

TsActor* Hero()
{
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    return world ? world->GetHero() : nullptr;
}

TsInventory* WeaponList(TsActor* hero)
{
    HbRoot* list = hero ? HeroHudAccess::Get()->GetWeaponList(hero) : nullptr;
    return list ? HbCastTo<TsInventory>(list) : nullptr;
}

/// The first carried weapon of the name.
TsInventoryItem* FindWeapon(TsInventory* list, const char* name)
{
    for (int32_t i = 0; list && i < list->GetCount(); ++i)
    {
        TsInventoryItem* item = list->GetItem(i);
        if (item && item->mName == name && item->GetActor() && HbCastTo<TsWeapon>(item->GetActor()))
            return item;
    }
    return nullptr;
}

void SetHeroState(TsActor* hero, int32_t code)
{
    auto* heroActor = hero ? HbCastTo<TsHeroActor>(hero) : nullptr;
    if (HeroStateMachine* machine = heroActor ? heroActor->GetStateMachine() : nullptr)
        machine->SetState(code);
}

int32_t HeroStateCode(TsActor* hero)
{
    auto* heroActor = hero ? HbCastTo<TsHeroActor>(hero) : nullptr;
    HeroStateMachine* machine = heroActor ? heroActor->GetStateMachine() : nullptr;
    return machine ? machine->GetCurrentCode() : -1;
}

/// Made, given one reference, its layer, created, sized and placed.
template <class Item> Item* Place(Item* item, int32_t layer, float w, float h, float x, float y)
{
    if (!item)
        return nullptr;
    item->AddRef();
    if (layer >= 0)
        item->SetPriority(layer);
    item->Create();
    item->SetSize({w, h, 0.0f});
    item->SetPosition({x, y, 0.0f});
    return item;
}

W2dTextGraphicItem* Text(float w, float x, float y, const std::string& text, int32_t justify)
{
    W2dTextGraphicItem* item = Place(new W2dTextGraphicItem(kFont, nullptr), -1, w, 0.0625f, x, y);
    if (!item)
        return nullptr;
    item->SetCharHeight(0.04f);
    item->SetText(text.c_str());
    item->SetJustify(justify);
    item->SetColour(kAmberFaint);
    item->Hide();
    return item;
}

template <class Item> void Colour(Item* item, const Rgba& colour)
{
    if (item)
        item->SetColour(colour);
}
template <class Item> void ShowItem(Item* item)
{
    if (item)
        item->Show();
}
template <class Item> void HideItem(Item* item)
{
    if (item)
        item->Hide();
}
} // namespace

int32_t InventoryStickSlot(float x, float y)
{
    const float length = std::sqrt(x * x + y * y);
    if (length == 0.0f)
        return GameState_Inventory::kNoSlot;
    const float nx = x / length, ny = y / length;
    for (int32_t slot : kTestOrder)
        if (std::fabs(nx - kSlotTable[slot].dx) <= 0.47f && std::fabs(ny - kSlotTable[slot].dy) <= 0.47f)
            return slot;
    return GameState_Inventory::kNoSlot;
}

std::string InventoryCountText(TsActor* hero, const char* weaponName)
{
    TsInventoryItem* item = FindWeapon(WeaponList(hero), weaponName);
    auto* shoot = item ? HbCastTo<TsWeaponShoot>(item->GetActor()) : nullptr;
    if (!shoot)
        return "0";
    if (shoot->mStock == -1)
        return "999";
    char text[16];
    std::snprintf(text, sizeof(text), "%d", shoot->mStock * shoot->mMagazineSize + shoot->mMagazine);
    return text;
}

GameState_Inventory::GameState_Inventory() : GameState(kGameStateInventory) {}

GameState_Inventory::~GameState_Inventory()
{
    ReleaseItems();
}

void GameState_Inventory::Build()
{
    ReleaseItems();
    TsActor* hero = Hero();
    for (int32_t i = 0; i < kSlots; ++i)
    {
        const float x = 0.492574f, y = 0.374801f, w = 0.015625f, h = 0.25f;
        W2dBlendedPictureItem* spoke =
            Place(new W2dBlendedPictureItem("FE_WEAPON_LIGNE_TEX", 0.0f, nullptr), kLayer, w, h, x, y);
        mSpokes[i] = spoke;
        if (!spoke)
            continue;
        // The pivot is measured up from the bottom of the screen.
        spoke->SetRotationCentre(x + w / 2.0f, 1.0f - (y + h / 2.0f));
        spoke->SetRotation(180.0f - 45.0f * float(i));
        spoke->Show();
    }
    for (int32_t i = 0; i < kSlots; ++i)
    {
        const Slot& slot = kSlotTable[i];
        mPictures[i] = Place(new W2dPictureItem(slot.texture, -1.0f, nullptr), kLayer, 0.375f, 0.09375f, slot.pictureX,
                             slot.pictureY);
        Colour(mPictures[i], kDimmed);
        HideItem(mPictures[i]);
    }
    for (int32_t i = 0; i < kSlots; ++i)
    {
        const Slot& slot = kSlotTable[i];
        mLabels[i] = Text(0.5f, slot.labelX, slot.labelY, GetLocalizedText(slot.label), 0);
        mCounters[i] = Text(0.25f, slot.counterX, slot.counterY, InventoryCountText(hero, slot.weapon), 2);
    }
    for (int32_t i = 0; i < kSlots; ++i)
    {
        const Slot& slot = kSlotTable[i];
        W2dPictureItem* marker = Place(new W2dPictureItem("FE_BULLET_TEX", -1.0f, nullptr), kLayer, 0.008f, 0.025f,
                                       slot.markerX, slot.markerY);
        mMarkers[i] = marker;
        if (!marker)
            continue;
        marker->Show();
        // The bullet lies on its side: each corner takes the texture coordinates of the one before.
        Vector2 uv[4];
        marker->GetCornerUVs(&uv[0], &uv[1], &uv[2], &uv[3]);
        marker->SetCornerUVs(uv[3].x, uv[3].y, uv[0].x, uv[0].y, uv[1].x, uv[1].y, uv[2].x, uv[2].y);
        marker->Hide();
    }
}

void GameState_Inventory::RefreshOwned()
{
    for (int32_t& owned : mOwned)
        owned = 0;
    TsInventory* list = WeaponList(Hero());
    if (!list)
        return;
    for (int32_t i = 0; i < kSlots; ++i)
    {
        if (!list->Contains(kSlotTable[i].weapon))
            continue;
        ShowItem(mPictures[i]);
        ShowItem(mLabels[i]);
        if (i > 0)
        {
            ShowItem(mCounters[i]);
            ShowItem(mMarkers[i]);
        }
        mOwned[i] = 1;
    }
}

void GameState_Inventory::Enter()
{
    GameState::Enter();
    Build();
    RefreshOwned();
    W2dPictureItem* indicator = Place(new W2dPictureItem("FE_INDICATOR_TEX", -1.0f, nullptr), kIndicatorLayer, 0.03125f,
                                      0.03125f, 0.484375f, 0.484375f);
    mIndicator = indicator;
    ShowItem(indicator);
    mSelected = kNoSlot;
    SetHeroState(Hero(), kHeroInventoryEnter);
    GameState::Enter();
}

void GameState_Inventory::Resume()
{
    GameState::Resume();
    RefreshOwned();
    TsActor* hero = Hero();
    for (int32_t i = 0; i < kSlots; ++i)
        if (mCounters[i])
            mCounters[i]->SetText(InventoryCountText(hero, kSlotTable[i].weapon).c_str());
    for (W2dBlendedPictureItem* spoke : mSpokes)
        ShowItem(spoke);
    ShowItem(mIndicator);
    mSelected = kNoSlot;
    SetHeroState(hero, kHeroInventoryEnter);
}

void GameState_Inventory::Select(float x, float y)
{
    const float length = std::sqrt(x * x + y * y);
    if (length != 0.0f && length >= 0.97f)
    {
        if (mIndicator)
            mIndicator->SetColour(kAmberClear);
        const int32_t slot = InventoryStickSlot(x, y);
        // A slot whose weapon is not carried takes nothing, and no later direction is tried.
        if (slot == kNoSlot || !mOwned[slot])
            return;
        Colour(mPictures[slot], kWhite);
        Colour(mLabels[slot], kAmber);
        Colour(mSpokes[slot], kAmber);
        mSelected = slot;
        mSelectionTime = HbRealClock::Instance()->mCurrentTime;
        return;
    }
    if (mSelected == kNoSlot)
        return;
    Colour(mSpokes[mSelected], kAmber);
    const int64_t hold = int64_t(kHoldSeconds * double(HbPerformanceFrequency()));
    if (HbRealClock::Instance()->mCurrentTime - mSelectionTime > hold)
        mSelected = kNoSlot;
}

void GameState_Inventory::Update()
{
    float x = 0.0f, y = 0.0f;
    HbInputManager* input = HbInputManager::Instance();
    if (input && input->IsPadPresent())
    {
        HbController* controller = input->GetController(kHbControllerPad1);
        auto* pad = controller ? HbCastTo<HbPadController>(controller) : nullptr;
        if (HbPadStick* stick = pad ? pad->GetStick(1) : nullptr)
        {
            x = stick->GetRaw(0) * (1.0f / 127.0f);
            y = stick->GetRaw(1) * (1.0f / 127.0f);
        }
    }
    for (int32_t i = 0; i < kSlots; ++i)
    {
        Colour(mPictures[i], kDimmed);
        Colour(mLabels[i], kDimmed);
        Colour(mSpokes[i], kDimmed);
    }
    if (mSelected == kNoSlot && mIndicator)
        mIndicator->SetColour(kAmber);
    Select(x, y);

    GameServices& services = GameServicesTable();
    if (HbGameClock* clock = HbGameClock::Instance())
        clock->Update();
    StageUpdateWorld();
    services.rendererBeginFrame();
    HbHandlePtr level;
    GetLevelHandle(&level);
    if (level.IsValid())
        StageRenderScene();
    else
        level.Reset();
    services.rendererEndFrame();

    if (BoardControlTheme_InGame* inGame = BoardControlTheme_InGame::Find(GameKeyHintBar()))
    {
        inGame->Update();
        inGame->OnAmmoChanged();
        inGame->RestoreHealthDisplay(1);
    }
    services.timedAnimRequestsTick();

    if (!gOpen.IsTriggered())
        SwitchTo(kGameStateStage);
}

void GameState_Inventory::HideItems()
{
    for (int32_t i = 0; i < kSlots; ++i)
    {
        HideItem(mSpokes[i]);
        HideItem(mPictures[i]);
        HideItem(mLabels[i]);
        HideItem(mCounters[i]);
        HideItem(mMarkers[i]);
    }
    HideItem(mIndicator);
}

void GameState_Inventory::Suspend()
{
    GameState::Suspend();
    HideItems();
    TsActor* hero = Hero();
    auto* inHand = hero ? HbCastTo<TsInventoryItem>(HeroHudAccess::Get()->GetItemInHand(hero)) : nullptr;
    BoardControlTheme_InGame* inGame = BoardControlTheme_InGame::Find(GameKeyHintBar());
    // Nothing in hand differs from every weapon name.
    if (hero && InSlots(mSelected) && !(inHand && inHand->mName == kSlotTable[mSelected].weapon))
    {
        const char* weapon = kSlotTable[mSelected].weapon;
        if (mSelected == 1)
            HeroSetPendingWeapon("MG42");
        else if (HeroGetHoldMode(hero) == 2)
        {
            if (WeaponList(hero))
            {
                std::string next;
                HeroGetInputHost()->CycleWeapon(hero, 1, &next);
                HeroGetInputHost()->DropObject(hero, weapon);
            }
        }
        else
            HeroSetPendingWeapon(weapon);
        if (inGame)
            inGame->HideAmmo();
    }
    if (hero)
        SetHeroState(hero, kHeroInventoryQuit);
    if (inGame && inGame->IsSightShown())
        inGame->ShowSight();
}

void GameState_Inventory::ReleaseItems()
{
    for (int32_t i = 0; i < kSlots; ++i)
    {
        MenuReleaseItem(mSpokes[i]);
        MenuReleaseItem(mPictures[i]);
        MenuReleaseItem(mLabels[i]);
        MenuReleaseItem(mCounters[i]);
        MenuReleaseItem(mMarkers[i]);
        mOwned[i] = 0;
    }
    MenuReleaseItem(mIndicator);
}

void GameState_Inventory::Leave()
{
    TsFModPlaySoundAt("SD_I_INVENTORY_OFF_S2DSB", nullptr);
    ReleaseItems();
    TsActor* hero = Hero();
    if (hero && HeroStateCode(hero) == kHeroInventoryEnter)
        SetHeroState(hero, kHeroInventoryQuit);
    mEntered = 0;
}
