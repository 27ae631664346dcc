// The hero actor on the walker's model: the weapon list's walks, the weapon choice by key,
// wheel and pad, the crouch toggle and the aim ray once per frame, damage and hit feedback, the
// save and load of the whole hero, the checkpoint's ammunition, unlimited ammunition that
// gives the counts back, and the sight's spread targets.
#include "dinput8testhooks.h"
#include "frame.h"
#include "gameplay_fixture.h"
#include "gameprofile.h"
#include "gamestatemanager.h"
#include "hbinputmanager.h"
#include "hbrandom.h"
#include "hbsavefile.h"
#include "hero.h"
#include "heroactorhooks.h"
#include "herohudaccess.h"
#include "heroinput.h"
#include "heromove.h"
#include "herostates.h"
#include "script_fixture.h"
#include "scriptworld_fixture.h"
#include "shoothelper.h"
#include "shootsight.h"
#include "tscameraregistry.h"
#include "tssendevent.h"
#include "tstrigger.h"
#include "w3danimobject.h"
#include "walker_fixture.h"
#include "weaponcontact.h"
#include "weaponshoot.h"
#include "win32.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace scriptworldtest
{
namespace
{
using gameplaytest::GameClock;
using gameplaytest::Input;

/// Shakes and zooms the hero sends its cameras, by kind.
class Camera : public TsCamera
{
public:
    void SetPlacement(const void* placement) override
    {
        const int32_t kind = *static_cast<const int32_t*>(placement);
        kinds.push_back(kind);
        if (kind == 2)
            shakes.push_back(static_cast<const HeroShakePlacement*>(placement)->shake);
        else if (kind == 1 && pointerKind)
            shakes.push_back(*static_cast<const HeroShakeRequestPlacement*>(placement)->shake);
    }
    std::vector<int32_t> kinds;
    std::vector<HeroShake> shakes;
    bool pointerKind = false;
};

struct Rumble
{
    int32_t effect;
    float a;
    float b;
};
std::vector<Rumble> gRumbles;
int32_t gCameraId = -1;
int32_t gDifficulty = 2;
int32_t gUnlimited = 0;

Hero* MakeHero()
{
    auto* hero = new Hero();
    hero->AddRef();
    if (walkertest::Walker* walker = walkertest::MakeWalker())
    {
        W3dAnimObject* model = walker->GetModel();
        model->AddRef();
        walker->Release();
        hero->SetModel(model);
        model->Release();
    }
    return hero;
}

class HeroActor : public ScriptWorldTest
{
protected:
    void SetUp() override
    {
        ScriptWorldTest::SetUp();
        HeroActorHooksInstall();
        HeroInputReset();
        gRumbles.clear();
        HeroSetRumbleSink([](int32_t effect, float a, float b) { gRumbles.push_back({effect, a, b}); });
        gCameraId = -1;
        gDifficulty = 2;
        gUnlimited = 0;
        WeaponSetInGameCameraReader([] { return gCameraId; });
        WeaponSetProfileReaders([] { return gDifficulty; }, [] { return gUnlimited; });
        mProfile = new GameProfile();
        GameStateManager::Instance()->SetProfile(mProfile);
        ASSERT_EQ(
            Exec("class Gun:\n"
                 "    def __init__(self, name, data=''):\n"
                 "        self.actorName = name\n"
                 "        self.data = Gun\n"
                 "    def DropObject(self, at, along, flag):\n"
                 "        note('dropped %s at %g %g %g along %g %d' % (self.actorName, at.x, at.y, at.z, along.x, "
                 "flag))\n"
                 "gun = Gun('gun')\n"
                 "knife = Gun('knife')\n"
                 "rifle = Gun('rifle')\n"),
            "");
        mHero = MakeHero();
        ASSERT_NE(mHero->GetModel(), nullptr);
        mWorld->SetHero(mHero);
        mWorld->AddActor(mHero);
        mGun = Weapon<WeaponShoot>("gun");
        mRifle = Weapon<WeaponShoot>("rifle");
        mKnife = Weapon<WeaponContact>("knife");
        for (WeaponShoot* gun : {mGun, mRifle})
        {
            gun->mMagazineSize = 10;
            gun->mMaxAmmo = 90;
            gun->SetAmmo(27);
        }
    }
    void TearDown() override
    {
        mHero->Restart();
        mWorld->RemoveActor(mHero);
        mWorld->SetHero(nullptr);
        mHero->Release();
        for (TsActor* weapon : mWeapons)
        {
            mWorld->RemoveActor(weapon);
            weapon->Release();
        }
        TsCameraRegistry::Clear();
        GameStateManager::Instance()->SetProfile(nullptr);
        WeaponSetInGameCameraReader(nullptr);
        WeaponSetProfileReaders(nullptr, nullptr);
        HeroSetRumbleSink(nullptr);
        HeroActorHooksRemove();
        HeroInputReset();
        SetShootHelper(0);
        ScriptWorldTest::TearDown();
    }

    template <typename Class> Class* Weapon(const char* name)
    {
        auto* weapon = new Class();
        weapon->AddRef();
        weapon->BindScriptObject(PyDict_GetItemString(scripttest::MainDict(), name));
        mWorld->AddActor(weapon);
        mWeapons.push_back(weapon);
        return weapon;
    }
    static TsInventoryItem* Item(const char* name, TsActor* actor)
    {
        auto* item = new TsInventoryItem();
        item->mName = name;
        item->SetActor(actor);
        return item;
    }
    /// The hero carries the gun, a key (equipment in the list), the knife and the rifle.
    void Carry()
    {
        WeaponList* list = mHero->GetWeaponList();
        list->Add(Item("GUN", mGun));
        list->Add(Item("KEY", nullptr));
        list->Add(Item("KNIFE", mKnife));
        list->Add(Item("RIFLE", mRifle));
    }
    Camera* AddCamera(const Vector& at)
    {
        auto* camera = new Camera();
        const int32_t id = TsCameraRegistry::AddCamera(camera, mScene);
        TsCameraRegistry::SetCurrentCamera(id);
        ::Frame* frame = TsCameraRegistry::GetCurrentCameraNode();
        ::Frame::Translate(frame, &at, 2);
        ::Frame::SyncDirtyList();
        gCameraId = id;
        return camera;
    }
    void PlaceHero(const Vector& at)
    {
        mHero->SetPosition(&at);
        ::Frame::SyncDirtyList();
    }
    /// A pad in slot 2 beside the keyboard: the input manager then reports one present.
    void AttachPad()
    {
        HbInputManager* input = HbInputManager::Instance();
        dinput8test::UseSource(dinput8test::Source::Injected);
        dinput8test::AttachPad();
        Window().instance = GetModuleHandleA(nullptr);
        ASSERT_EQ(input->InitDirectInput(), 0);
        ASSERT_EQ(input->CreateController(2, "Paddle1"), 1);
        ASSERT_EQ(input->IsPadPresent(), 1);
    }

    GameClock mClock;
    GameProfile* mProfile = nullptr;
    Hero* mHero = nullptr;
    WeaponShoot* mGun = nullptr;
    WeaponShoot* mRifle = nullptr;
    WeaponContact* mKnife = nullptr;
    std::vector<TsActor*> mWeapons;
};

TEST_F(HeroActor, TheWeaponListWalksOnlyWeaponsAndFindsThemByName)
{
    WeaponList* list = mHero->GetWeaponList();
    EXPECT_EQ(list->Next(), nullptr) << "empty";
    EXPECT_EQ(list->Previous(), nullptr);
    Carry();
    // Forward from the cursor (0, the gun): the key is passed over and the walk wraps.
    const char* forward[] = {"KNIFE", "RIFLE", "GUN", "KNIFE"};
    for (const char* name : forward)
        EXPECT_EQ(list->Next()->mName, name);
    const char* backward[] = {"GUN", "RIFLE", "KNIFE"};
    for (const char* name : backward)
        EXPECT_EQ(list->Previous()->mName, name);
    EXPECT_EQ(list->mCursor, 2);

    EXPECT_EQ(list->FindByName("RIFLE")->GetActor(), mRifle);
    EXPECT_EQ(list->FindByName("KEY"), nullptr) << "no weapon";
    EXPECT_EQ(list->mCursor, 2) << "finding does not move the cursor";

    const struct
    {
        const char* name;
        int32_t moved;
        int32_t cursor;
    } cursors[] = {{"", 0, 2}, {"KNIFE", 0, 2}, {"GUN", 1, 0}, {"KEY", 1, 1}, {"NONE", 0, 1}};
    for (const auto& c : cursors)
    {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(list->SetCursorByName(c.name), c.moved);
        EXPECT_EQ(list->mCursor, c.cursor);
    }

    // A cursor past the end starts again at 0; a list of equipment only gives none after a turn.
    list->mCursor = 7;
    EXPECT_EQ(list->Next()->mName, "KNIFE");
    list->Clear();
    EXPECT_EQ(list->mCursor, 0);
    list->Add(Item("KEY", nullptr));
    list->Add(Item("MAP", nullptr));
    EXPECT_EQ(list->Next(), nullptr);
    EXPECT_EQ(list->Previous(), nullptr);
}

TEST_F(HeroActor, WeaponChoiceByKeyWheelAndPadTakesTheWeaponAtTheChange)
{
    Input input;
    for (const auto& [action, key] :
         {std::pair{"CHANGE_WEAPON", "VK_W"}, std::pair{"WEAPON_3", "VK_3"}, std::pair{"WEAPON_4", "VK_4"},
          std::pair{"NEXT_WEAPON", "VK_N"}, std::pair{"PREVIOUS_WEAPON", "VK_P"}, std::pair{"CROUCH", "VK_C"}})
        ASSERT_TRUE(input.Bind(action, key)) << action;
    auto keys = [&](const std::string& down)
    {
        for (char key : std::string("W34NPC"))
            input.Lift(uint8_t(key));
        for (char key : down)
            input.Press(uint8_t(key));
        input.Frame();
        mClock.Step(1.0f / 60.0f);
    };
    Carry();
    ASSERT_EQ(mHero->SelectWeapon("GUN"), 1);
    EXPECT_EQ(mHero->GetWeapon(), mGun);
    mHero->SetWeaponSlotName(2, "RIFLE");
    mHero->SetWeaponSlotName(3, "GUN");

    // Key WEAPON_3 names the rifle; WEAPON_4 names the gun already in hand: no change.
    keys("3");
    EXPECT_EQ(HeroInWeaponSelect(mHero), 1);
    EXPECT_EQ(HeroGetPendingWeapon(), "RIFLE");
    HeroSetPendingWeapon("");
    keys("4");
    EXPECT_EQ(HeroInWeaponSelect(mHero), 0);
    EXPECT_EQ(HeroGetPendingWeapon(), "");

    // CHANGE_WEAPON without a pad cycles forward past the key.
    keys("W");
    EXPECT_EQ(HeroInWeaponSelect(mHero), 1);
    EXPECT_EQ(HeroGetPendingWeapon(), "KNIFE");
    // The change animation's end takes the pending weapon.
    HeroMoveWeaponTaken(nullptr, mHero, nullptr);
    EXPECT_EQ(mHero->GetWeapon(), mKnife);
    EXPECT_EQ(mHero->GetCurrentWeaponName(), "KNIFE");
    EXPECT_EQ(mHero->GetPreviousWeaponName(), "GUN");
    EXPECT_EQ(HeroGetPendingWeapon(), "");

    // The wheel turned down cycles forward too.
    HbInputManager* manager = HbInputManager::Instance();
    dinput8test::UseSource(dinput8test::Source::Injected);
    Window().instance = GetModuleHandleA(nullptr);
    Window().active = 1;
    Window().desktop = RECT{0, 0, 1024, 768};
    // The mouse reads only while the game's window has the focus.
    SetFocus(Window().window);
    ASSERT_EQ(manager->InitDirectInput(), 0);
    ASSERT_EQ(manager->CreateController(1, "Mouse"), 1);
    keys("");
    dinput8test::MouseWheel(-1);
    keys("");
    EXPECT_EQ(HeroInWeaponSelect(mHero), 1);
    EXPECT_EQ(HeroGetPendingWeapon(), "RIFLE");

    // With a pad: NEXT_WEAPON and PREVIOUS_WEAPON; CHANGE_WEAPON no longer cycles.
    AttachPad();
    keys("W");
    EXPECT_EQ(HeroInWeaponSelect(mHero), 0);
    keys("P");
    EXPECT_EQ(HeroInWeaponSelect(mHero), 1);
    EXPECT_EQ(HeroGetPendingWeapon(), "KNIFE") << "the wheel left the cursor on the rifle";
    keys("N");
    EXPECT_EQ(HeroInWeaponSelect(mHero), 1);
    EXPECT_EQ(HeroGetPendingWeapon(), "RIFLE");

    // However many states ask in one frame, CROUCH toggles once.
    keys("C");
    int32_t toggles = 0;
    for (int32_t ask = 0; ask < 4; ++ask)
        toggles += HeroInCrouchEnter(mHero) + HeroInCrouchLeave(mHero);
    EXPECT_EQ(toggles, 1);
    EXPECT_EQ(HeroIsCrouched(), 1);
    manager->Reset();
}

TEST_F(HeroActor, TheAimRayIsComputedOncePerTickAndPlacesTheMarker)
{
    AddCamera({0.0f, 0.0f, -500.0f});
    PlaceHero({-200.0f, 0.0f, 0.0f});
    TsActor* marker = mHero->GetAimTarget();
    ASSERT_NE(marker, nullptr);
    for (int32_t ask = 0; ask < 5; ++ask)
        EXPECT_EQ(mHero->GetAimTarget(), marker);
    EXPECT_EQ(mHero->mAimRayCount, 1);
    // Straight ahead of the camera, 5000 units from 80 above the hero.
    const Vector* at = marker->GetNode()->GetWorldPosition();
    EXPECT_NEAR(at->x, -200.0f, 0.01f);
    EXPECT_NEAR(at->y, 80.0f, 0.01f);
    EXPECT_NEAR(at->z, 5000.0f, 0.01f);
    mClock.Step(1.0f / 60.0f);
    mHero->GetAimTarget();
    mHero->GetAimTarget();
    EXPECT_EQ(mHero->mAimRayCount, 2);
}

TEST_F(HeroActor, DamageByTable)
{
    Camera* camera = AddCamera({0.0f, 0.0f, -500.0f});
    PlaceHero({0.0f, 0.0f, 0.0f});
    FakeActor* front = Listed("front", {0.0f, 0.0f, 400.0f});
    FakeActor* behind = Listed("behind", {10.0f, 0.0f, -400.0f});
    AttachPad();
    mHero->GetStateMachine()->SetState(kHeroNormalWait);
    uint32_t& random = HbRandom::Instance()->GameState();

    const struct
    {
        const char* why;
        int32_t hitPoints;
        int32_t maximum;
        float amount;
        TsActor* attacker;
        int32_t god;
        int32_t hitPointsAfter;
        int32_t direction;
        bool killed;
        size_t shakes;
        float rumble; ///< the second value of effect 4; -1: no rumble
        int32_t state;
    } cases[] = {
        {"ordinary hit from the front", 100, 100, 25.0f, front, 0, 75, 0, false, 2, 1.0f, kHeroNormalWait},
        {"from behind", 100, 100, 25.0f, behind, 0, 75, 2, false, 2, 1.0f, kHeroNormalWait},
        {"exactly the hit points", 40, 100, 40.0f, front, 0, 0, 0, true, 0, -1.0f, kHeroNormalWait},
        {"god mode", 40, 100, 90.0f, front, 1, 100, 0, false, 2, 3.6f, kHeroNormalWait},
        {"100 is no heavy hit", 200, 200, 100.0f, front, 0, 100, 0, false, 2, 2.0f, kHeroNormalWait},
        {"100.5 is", 200, 200, 100.5f, front, 0, 100, 0, false, 2, 2.01f, kHeroHit},
        {"no maximum: no feedback", 0, 0, 0.0f, front, 1, 0, 0, false, 0, -1.0f, kHeroNormalWait},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.why);
        mHero->GetStateMachine()->SetState(kHeroNormalWait);
        mHero->SetMaxHitPoints(c.maximum);
        mHero->SetHitPoints(c.hitPoints);
        mProfile->godMode = c.god;
        camera->shakes.clear();
        gRumbles.clear();
        const uint32_t before = random;
        mHero->TakeDamage(c.attacker, c.amount);
        EXPECT_EQ(mHero->mHitPoints, c.hitPointsAfter);
        EXPECT_EQ(mHero->GetHitDirection(), c.direction);
        if (c.killed)
            EXPECT_EQ(mHero->GetKiller(), c.attacker);
        EXPECT_EQ(random == before, c.killed) << "the hurt sound is drawn unless the hero died";
        ASSERT_EQ(camera->shakes.size(), c.shakes);
        if (c.shakes == 2)
        {
            const float t = 10.0f * c.amount / float(c.maximum);
            EXPECT_FLOAT_EQ(camera->shakes[0].amplitude, 2.5f * t);
            EXPECT_EQ(camera->shakes[0].frequency, 20.0f);
            EXPECT_EQ(camera->shakes[1].channel, 1);
            EXPECT_FLOAT_EQ(camera->shakes[1].amplitude, 4.0f * t);
            EXPECT_EQ(camera->shakes[1].damping, 10.0f);
        }
        if (c.rumble < 0.0f)
            EXPECT_TRUE(gRumbles.empty());
        else
        {
            ASSERT_EQ(gRumbles.size(), 1u);
            EXPECT_EQ(gRumbles[0].effect, 4);
            EXPECT_EQ(gRumbles[0].a, 1.0f);
            EXPECT_NEAR(gRumbles[0].b, c.rumble, 1e-4f);
        }
        EXPECT_EQ(mHero->GetStateMachine()->GetCurrentCode(), c.state);
        // The display's markers read the hit for this frame only.
        EXPECT_EQ(HeroHudAccess::Get()->GetLastHitDirection(mHero), c.direction);
    }
    mProfile->godMode = 0;
    mHero->Update();
    EXPECT_EQ(mHero->GetHitDirection(), HeroHudAccess::kNoHit);

    // The bands, with the two ends of the half turn apart.
    const struct
    {
        float angle;
        int32_t direction;
    } bands[] = {{180.0f, 2}, {-180.0f, 1}, {135.5f, 2}, {135.0f, 3}, {45.5f, 3},
                 {45.0f, 0},  {0.0f, 0},    {-44.5f, 0}, {-45.0f, 1}, {-135.0f, 1}};
    for (const auto& b : bands)
        EXPECT_EQ(HeroHitDirectionForAngle(b.angle), b.direction) << b.angle;
    HbInputManager::Instance()->Reset();
}

TEST_F(HeroActor, FeedbackIsScaledByTheTriggersReachAndANodelessOrRadiuslessSenderGivesNone)
{
    Camera* camera = AddCamera({0.0f, 0.0f, -100.0f});
    PlaceHero({0.0f, 0.0f, 0.0f});
    AttachPad();
    auto* trigger = new TsTrigger();
    trigger->AddRef();
    trigger->Start(4, 200, 0, 0, HeroFamily, 0, 0.0f);
    const Vector at = {0.0f, 0.0f, 100.0f};
    trigger->SetPosition(&at);
    ::Frame::SyncDirtyList();
    mWorld->AddActor(trigger);

    // 100 units away with a radius of 200: c = 1 - 100^2 / 200^2, k = 1 - 200 / 200.
    mHero->Feedback(trigger, 1.0f);
    ASSERT_EQ(gRumbles.size(), 2u);
    EXPECT_NEAR(gRumbles[0].a, 0.9f * 0.75f + 0.1f, 1e-4f);
    EXPECT_NEAR(gRumbles[0].b, 0.8f * 0.75f, 1e-4f);
    EXPECT_NEAR(gRumbles[1].b, 0.2f * 0.75f, 1e-4f);
    ASSERT_EQ(camera->shakes.size(), 2u);
    EXPECT_NEAR(camera->shakes[0].amplitude, 0.5f, 1e-4f);
    EXPECT_NEAR(camera->shakes[1].frequency, 100.0f * 0.5555556f, 1e-3f);

    // A radius of 0 divides nothing: no feedback at all.
    gRumbles.clear();
    camera->shakes.clear();
    trigger->Start(4, 0, 0, 0, HeroFamily, 0, 0.0f);
    mHero->Feedback(trigger, 1.0f);
    EXPECT_TRUE(gRumbles.empty());
    EXPECT_TRUE(camera->shakes.empty());
    mWorld->RemoveActor(trigger);
    trigger->Release();
    HbInputManager::Instance()->Reset();
}

TEST_F(HeroActor, TheDamageEventsReachTheHeroOnceSubscribed)
{
    PlaceHero({0.0f, 0.0f, 0.0f});
    FakeActor* enemy = Listed("enemy", {0.0f, 0.0f, 300.0f});
    mHero->SetMaxHitPoints(100);
    mHero->EnableDamageEvents();
    mHero->EnableDamageEvents();
    int32_t subscriptions = 0;
    for (HbPtrListNode* node = mHero->GetEvents().GetHead(); node; node = node->next)
        ++subscriptions;
    EXPECT_EQ(subscriptions, 4) << "each event once";
    const struct
    {
        int32_t id;
        float value;
        int32_t hitPoints;
        int32_t lastHit;
    } events[] = {
        {Hero::kEventHit, 10.0f, 90, 10}, {Hero::kEventStrike, 5.0f, 85, 520}, {Hero::kEventExplosion, 20.0f, 65, 13}};
    for (const auto& e : events)
    {
        SCOPED_TRACE(e.id);
        TsSendEvent event;
        event.id = e.id;
        event.sender = enemy;
        event.target = mHero;
        event.value = e.value;
        mWorld->QueueEvent(event);
        Frame(0.05f);
        EXPECT_EQ(mHero->mHitPoints, e.hitPoints);
        EXPECT_EQ(mHero->mLastHitEvent, e.lastHit);
    }
}

TEST_F(HeroActor, AnObjectHungInTheHandThroughTheActorBecomesTheCarriedItemInHand)
{
    // As a level script's SetObjectInHand does it: through the animated actor.
    Carry();
    TsAnimActor* actor = mHero;
    ASSERT_EQ(actor->SetWeapon(mRifle), 1);
    ASSERT_NE(mHero->GetItemInHand(), nullptr);
    EXPECT_EQ(mHero->GetItemInHand()->GetActor(), mRifle);
    EXPECT_EQ(mHero->GetCurrentWeaponName(), "RIFLE");
    EXPECT_EQ(HeroGetInputHost()->GetObjectInHand(mHero), mRifle) << "what the states shoot with";
    actor->SetWeapon(nullptr);
    EXPECT_EQ(mHero->GetItemInHand(), nullptr);
    EXPECT_EQ(mHero->GetWeapon(), nullptr);
}

TEST_F(HeroActor, DroppingTheObjectInHandTakesThePreviousWeaponAndCallsTheDroppedOnesScript)
{
    Carry();
    ASSERT_EQ(mHero->SelectWeapon("GUN"), 1);
    ASSERT_EQ(mHero->SelectWeapon("RIFLE"), 1);
    EXPECT_EQ(mHero->GetPreviousWeaponName(), "GUN");
    mRifle->mLocation = {1.0f, 2.0f, 3.0f};
    Log().clear();
    mHero->DropObject("");
    EXPECT_EQ(mHero->GetWeapon(), mGun) << "the previous weapon";
    EXPECT_EQ(mHero->GetWeaponList()->FindByName("RIFLE"), nullptr) << "no longer carried";
    EXPECT_EQ(Log(), std::vector<std::string>{"dropped rifle at 1 2 3 along 1 0"});
    // A name not carried: nothing happens.
    mHero->DropObject("NONE");
    EXPECT_EQ(mHero->GetWeapon(), mGun);
    EXPECT_NE(mHero->GetWeaponList()->FindByName("GUN"), nullptr);
}

TEST_F(HeroActor, SaveAndLoadTheWholeHeroIncludingAnEmptyHand)
{
    Carry();
    mHero->GetEquipment()->Add(Item("MAP", nullptr));
    ASSERT_EQ(mHero->SelectWeapon("RIFLE"), 1);
    mHero->SetMaxHitPoints(120);
    mHero->SetHitPoints(70);
    mRifle->SetAmmo(13);

    for (bool emptyHand : {false, true})
    {
        SCOPED_TRACE(emptyHand ? "empty hand" : "rifle in hand");
        if (emptyHand)
            mHero->Equip(nullptr);
        HbSaveFile save;
        ASSERT_EQ(mHero->Save(&save), 1);
        save.EndAccess();
        // Everything changes before the load.
        mHero->SelectWeapon("GUN");
        mHero->SetHitPoints(5);
        mRifle->SetAmmo(2);
        ASSERT_EQ(save.BeginRead(), 1);
        ASSERT_EQ(mHero->Load(&save), 1);
        EXPECT_EQ(mHero->mHitPoints, 70);
        EXPECT_EQ(mHero->mMaxHitPoints, 120);
        EXPECT_EQ(mRifle->GetTotal(), 13);
        ASSERT_EQ(mHero->GetWeaponList()->GetCount(), 4);
        EXPECT_EQ(mHero->GetWeaponList()->FindByName("KNIFE")->GetActor(), mKnife);
        ASSERT_EQ(mHero->GetEquipment()->GetCount(), 1);
        EXPECT_EQ(mHero->GetEquipment()->GetItem(0)->mName, "MAP");
        EXPECT_EQ(mHero->GetWeapon(), emptyHand ? nullptr : static_cast<TsActor*>(mRifle));
        EXPECT_EQ(mHero->GetItemInHand() ? mHero->GetItemInHand()->mName : "", emptyHand ? "" : "RIFLE");
    }
}

TEST_F(HeroActor, CheckpointAmmunitionAndUnlimitedAmmunitionThatGivesTheCountsBack)
{
    Carry();
    mHero->SetMaxHitPoints(100);
    mHero->SetHitPoints(10);
    mRifle->mMaxAmmo = -1; // not counted: keeps what it has
    mHero->OnSectorEnter();
    EXPECT_EQ(mHero->mHitPoints, 100);
    EXPECT_EQ(mGun->GetTotal(), 45) << "half of 90";
    EXPECT_EQ(mRifle->GetTotal(), 27);

    // The profile's flag on: unlimited; off again: the real counts come back.
    gUnlimited = 1;
    mHero->Update();
    EXPECT_EQ(mGun->mStock, -1);
    EXPECT_EQ(mRifle->mStock, -1);
    mHero->Update();
    EXPECT_EQ(mGun->mStock, -1) << "once per change of the flag";
    gUnlimited = 0;
    mHero->Update();
    EXPECT_EQ(mGun->GetTotal(), 45);
    EXPECT_EQ(mRifle->GetTotal(), 27);
}

TEST_F(HeroActor, SightSpreadTargetsByPostureAndDifficulty)
{
    SetShootHelper(1);
    const struct
    {
        int32_t difficulty;
        int32_t posture;
        float target;
    } cases[] = {{0, 3, 0.0625f}, {0, 0, 0.046875f}, {1, 0, 0.03515625f}, {2, 4, 0.0234375f}, {2, 2, 0.015625f}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.posture);
        ShootHelperInit();
        ShootHelperShowSight(1);
        gDifficulty = c.difficulty;
        ShootHelperUpdateSight(c.posture);
        EXPECT_FLOAT_EQ(ShootHelperGetTargetSpread(), c.target);
    }
    // At 60 frames a second the spread moves 12 % of the gap.
    ShootHelperInit();
    ShootHelperShowSight(1);
    gDifficulty = 0;
    mClock.Step(1.0f / 60.0f);
    ShootHelperUpdateSight(3);
    EXPECT_NEAR(ShootHelperGetSpread(), 0.015625f + 0.12f * (0.0625f - 0.015625f), 1e-6f);
    // A new hero starts the sight again but keeps the player's option.
    Hero* second = MakeHero();
    EXPECT_EQ(ShootHelperGetSpread(), kShootHelperBaseSpread);
    EXPECT_EQ(GetShootHelper(), 1);
    second->Release();
}

} // namespace
} // namespace scriptworldtest
