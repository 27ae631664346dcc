// The weapon wheel: stick directions to slots (the order of the tests decides overlaps, a stick
// short of 0.97 picks nothing); on a pad held over a stage, only carried weapons are shown and
// picked, a pick is held 1 s after the stick comes back, closing hands the pick to the hero by
// its hold mode, a later opening shows counts as they are then, and the stage's leave takes the
// wheel down. A frame of the open wheel is read back.
#include "dinput8testhooks.h"
#include "framecheck.h"
#include "gamestateinventory.h"
#include "herohudaccess.h"
#include "heroinput.h"
#include "herostatemachine.h"
#include "playstates_fixture.h"
#include "scriptworldmanager.h"
#include "tsheroactor.h"
#include "tsinventory.h"
#include "tsweaponcontact.h"
#include "tsweaponshoot.h"
#include "w2dsurfacegraphicitem.h"
#include "w2dtextgraphicitem.h"
#include "win32.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace fetest
{
namespace
{

TEST(InventoryStick, DirectionsPickTheFirstSlotWhoseAreaHoldsThem)
{
    const float d = std::sqrt(0.5f);
    struct Case
    {
        float x, y;
        int32_t slot;
    };
    for (const Case& c : {Case{d, d, 5},       // the diagonal: each cardinal test fails on the other axis
                          Case{0.9f, 0.3f, 6}, // normalised (0.949, 0.316)
                          Case{0.6f, 0.8f, 5}, // slot 6 fails on y, slot 4 on x
                          Case{-0.6f, -0.8f, 1}, Case{0.0f, -1.0f, 0}, Case{-1.0f, 0.0f, 2},
                          Case{0.0f, 0.2f, 4}, // only the direction counts
                          Case{0.0f, 0.0f, 8}})
        EXPECT_EQ(InventoryStickSlot(c.x, c.y), c.slot) << c.x << ", " << c.y;
}

/// A hero state that stays itself.
class StayState : public HeroState
{
public:
    explicit StayState(int32_t code) : HeroState(code) {}
    int32_t Decide(TsActor*) override { return GetCode(); }
};

/// The hero's weapon list and its item in hand, as the test sets them.
class Readers : public HeroHudAccess
{
public:
    HbRoot* GetItemInHand(HbRoot*) override { return inHand; }
    HbRoot* GetWeaponList(HbRoot*) override { return list; }
    HbRoot* inHand = nullptr;
    HbRoot* list = nullptr;
};

/// Records the weapon-list walk and the drops.
class Host : public HeroInputHost
{
public:
    int32_t CycleWeapon(TsActor*, int32_t direction, std::string*) override
    {
        calls.push_back("cycle " + std::to_string(direction));
        return 0;
    }
    void DropObject(TsActor*, const char* name) override { calls.push_back(std::string("drop ") + name); }
    std::vector<std::string> calls;
};

constexpr int32_t kEnterState = 112;
constexpr int32_t kQuitState = 128;

class Inventory : public PlayStates
{
protected:
    void SetUp() override
    {
        PlayStates::SetUp();
        if (HasFatalFailure())
            return;
        UseSounds({"SD_I_INVENTORY_OFF_S2DSB"});
        // A pad, and the wheel's key held by the test.
        mInput.reset();
        Window().instance = GetModuleHandleA(nullptr);
        SetFocus(Window().window);
        dinput8test::UseSource(dinput8test::Source::Injected);
        mPad = dinput8test::AttachPad();
        mInput = std::make_unique<uitest::InjectedInput>();
        ASSERT_TRUE(mInput->Bind("INVENTORY_OPEN", "VK_I"));
        ASSERT_EQ(HbInputManager::Instance()->CreateController(2, "Paddle1"), 1);
        ASSERT_EQ(HbInputManager::Instance()->IsPadPresent(), 1);

        mWorld = std::make_unique<ScriptWorldManager>();
        mHero = new TsHeroActor();
        mHero->AddRef();
        mWorld->SetHero(mHero);
        HeroStateMachine* machine = mHero->GetStateMachine();
        ASSERT_NE(machine, nullptr);
        for (int32_t code : {1, kEnterState, kQuitState})
            machine->AddState(new StayState(code));
        machine->SetState(1);

        mList = new TsInventory();
        mList->AddRef();
        Carry("KNIFE", new TsWeaponContact());
        mMp40 = static_cast<TsWeaponShoot*>(Carry("MP40", new TsWeaponShoot()));
        mMp40->mMagazineSize = 32, mMp40->mStock = 2, mMp40->mMagazine = 10;
        TsWeaponShoot* mauser = static_cast<TsWeaponShoot*>(Carry("MAUSER", new TsWeaponShoot()));
        mauser->mMagazineSize = 5, mauser->mStock = -1, mauser->mMagazine = 5;
        Carry("MG42", new TsWeaponShoot());
        Carry("COLT1911", new TsActor()); // carried, but not a weapon
        mReaders.list = mList;
        HeroHudAccess::Install(&mReaders);
        HeroSetInputHost(&mHost);
        HeroInputReset();

        mStage = Root(new Target(kGameStateStage));
        mWheel = Make(new GameState_Inventory());
        mOver = Make(new Target(kGameStateGameOver));
        mWheel->SetPersistent(1);
        mStage->AddTransition(mWheel, 1);
        mStage->AddTransition(mOver, 0);
        mWheel->AddTransition(mStage, 0);
        mStage->Enter();
        mManager->SetCurrentState(mStage);
    }

    void TearDown() override
    {
        PlayStates::TearDown();
        HeroSetInputHost(nullptr);
        HeroInputReset();
        HeroHudAccess::Install(nullptr);
        mWorld->SetHero(nullptr);
        mWorld.reset();
        // Taken out without the actors' scripts (no interpreter runs here).
        while (mList->GetCount() > 0)
            mList->RemoveByName(mList->GetItem(0)->mName.c_str());
        for (TsInventoryItem* item : mItems)
            item->HbRoot::Release();
        mList->HbRoot::Release();
        mHero->HbRoot::Release();
        dinput8test::DetachPad(mPad);
    }

    TsActor* Carry(const char* name, TsActor* actor)
    {
        auto* item = new TsInventoryItem();
        item->AddRef();
        item->mName = name;
        item->SetActor(actor);
        mList->Add(item);
        mItems.push_back(item);
        return actor;
    }
    TsInventoryItem* Item(const char* name) const { return mList->FindItem(name); }

    /// The stick at (x, y), up positive, in full throws.
    void Stick(float x, float y)
    {
        auto axis = [](float v) { return LONG(std::lround((v * 127.0f / 128.0f + 1.0f) * 32767.5f)); };
        dinput8test::SetPadAxes(mPad, axis(x), axis(-y), axis(0), axis(0));
    }
    /// The stage opens the wheel, as its "INVENTORY_OPEN" does.
    void Open()
    {
        ASSERT_EQ(mStage->SwitchTo(kGameStateInventory), 1);
        mManager->SetCurrentState(mStage);
    }
    /// A frame with the wheel's key held.
    void Held(double at) { Frame(at, {'I'}); }
    /// Opens, picks the direction's slot, centres the stick and closes at the time.
    void PickAndClose(float x, float y, double closeAt)
    {
        Open();
        Stick(x, y);
        Held(mAt += 0.1);
        Stick(0, 0);
        Frame(mAt = closeAt);
        ASSERT_FALSE(mStage->IsSuspended());
    }
    int32_t HeroState() const { return mHero->GetStateMachine()->GetCurrentCode(); }
    static std::string TextOf(W2dTextGraphicItem* item) { return item ? item->GetText() : "?"; }

    std::unique_ptr<ScriptWorldManager> mWorld;
    TsHeroActor* mHero = nullptr;
    TsInventory* mList = nullptr;
    std::vector<TsInventoryItem*> mItems;
    TsWeaponShoot* mMp40 = nullptr;
    Readers mReaders;
    Host mHost;
    uint32_t mPad = 0;
    Target* mStage = nullptr;
    GameState_Inventory* mWheel = nullptr;
    Target* mOver = nullptr;
    double mAt = 0.0;
};

TEST_F(Inventory, OnlyCarriedWeaponsShowWithTheirCountsAndAPickIsHeldOneSecond)
{
    Open();
    EXPECT_EQ(HeroState(), kEnterState);
    // Slots: 0 knife, 1 MG42, 2 Thompson, 3 Garand, 4 Colt, 5 Mauser, 6 MP40, 7 Panzerschreck.
    const int32_t owned[8] = {1, 1, 0, 0, 1, 1, 1, 0};
    for (int32_t slot = 0; slot < 8; ++slot)
    {
        SCOPED_TRACE(slot);
        EXPECT_EQ(mWheel->IsOwned(slot), owned[slot]);
        EXPECT_EQ(Shown(mWheel->GetPicture(slot)), owned[slot] == 1);
        EXPECT_EQ(Shown(mWheel->GetLabel(slot)), owned[slot] == 1);
        EXPECT_EQ(Shown(mWheel->GetCounter(slot)), owned[slot] == 1 && slot > 0) << "never the knife's";
        EXPECT_EQ(Shown(mWheel->GetMarker(slot)), owned[slot] == 1 && slot > 0);
        EXPECT_TRUE(Shown(mWheel->GetSpoke(slot)));
    }
    EXPECT_EQ(TextOf(mWheel->GetCounter(6)), "74") << "two spare magazines of 32 and 10 in hand";
    EXPECT_EQ(TextOf(mWheel->GetCounter(5)), "999") << "unlimited";
    EXPECT_EQ(TextOf(mWheel->GetCounter(4)), "0") << "not a weapon";
    EXPECT_EQ(TextOf(mWheel->GetCounter(2)), "0") << "not carried";

    // A weapon not carried cannot be picked; a stick short of 0.97 picks nothing.
    Stick(-1, 0);
    Held(mAt += 0.1);
    EXPECT_EQ(mWheel->GetSelectedSlot(), 8);
    EXPECT_TRUE(Is(Colour(mWheel->GetIndicator()), 253, 167, 1, 0)) << "the stick hides the centre marker";
    Stick(0.96f, 0);
    Held(mAt += 0.1);
    EXPECT_EQ(mWheel->GetSelectedSlot(), 8);
    EXPECT_TRUE(Is(Colour(mWheel->GetIndicator()), 253, 167, 1, 255));

    // (0.9, 0.3) pushed to a full throw.
    Stick(0.9f / std::hypot(0.9f, 0.3f), 0.3f / std::hypot(0.9f, 0.3f));
    Held(mAt += 0.1);
    EXPECT_EQ(mWheel->GetSelectedSlot(), 6);
    EXPECT_TRUE(Is(Colour(mWheel->GetPicture(6)), 255, 255, 255, 255));
    EXPECT_TRUE(Is(Colour(mWheel->GetLabel(6)), 253, 167, 1, 255));
    EXPECT_TRUE(Is(Colour(mWheel->GetSpoke(6)), 253, 167, 1, 255));
    // Back to the centre: the spoke stays lit for a second, picture and label dim at once.
    Stick(0, 0);
    Held(mAt += 0.9);
    EXPECT_EQ(mWheel->GetSelectedSlot(), 6);
    EXPECT_TRUE(Is(Colour(mWheel->GetSpoke(6)), 253, 167, 1, 255));
    EXPECT_TRUE(Is(Colour(mWheel->GetPicture(6)), 255, 255, 255, 150));
    EXPECT_TRUE(Is(Colour(mWheel->GetLabel(6)), 255, 255, 255, 150));
    Held(mAt += 0.2);
    EXPECT_EQ(mWheel->GetSelectedSlot(), 8);

    // Letting the key go closes the wheel: everything hidden, the hero told, nothing picked.
    Frame(mAt += 0.1);
    EXPECT_FALSE(mStage->IsSuspended());
    EXPECT_TRUE(mWheel->IsSuspended());
    EXPECT_FALSE(Shown(mWheel->GetSpoke(0)));
    EXPECT_FALSE(Shown(mWheel->GetPicture(6)));
    EXPECT_FALSE(Shown(mWheel->GetIndicator()));
    EXPECT_EQ(HeroState(), kQuitState);
    EXPECT_EQ(HeroGetPendingWeapon(), "");
    EXPECT_TRUE(mHost.calls.empty());
}

TEST_F(Inventory, ClosingHandsThePickToTheHeroByItsHoldMode)
{
    struct Case
    {
        const char* name;
        float x, y;
        int32_t holdMode;
        const char* inHand;
        double closeAfter;
        const char* pending;
        std::vector<std::string> calls;
    };
    const float d = std::sqrt(0.5f);
    const Case cases[] = {
        {"request", 1, 0, 0, "KNIFE", 0.5, "MP40", {}},
        {"nothing in hand", 1, 0, 0, nullptr, 0.5, "MP40", {}},
        {"already in hand", 1, 0, 0, "MP40", 0.5, "", {}},
        {"dropping what is held", 1, 0, 2, "KNIFE", 0.5, "", {"cycle 1", "drop MP40"}},
        {"the MG42 is always requested", -d, -d, 2, "KNIFE", 0.5, "MG42", {}},
        {"the hold has run out", 1, 0, 0, "KNIFE", 1.5, "", {}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        HeroInputReset();
        mHost.calls.clear();
        mHero->mWeaponKind = c.holdMode;
        mReaders.inHand = c.inHand ? Item(c.inHand) : nullptr;
        const double start = mAt;
        PickAndClose(c.x, c.y, start + 0.1 + c.closeAfter);
        EXPECT_EQ(HeroGetPendingWeapon(), c.pending);
        EXPECT_EQ(mHost.calls, c.calls);
        EXPECT_EQ(HeroState(), kQuitState);
    }
}

TEST_F(Inventory, ALaterOpeningShowsCountsAsTheyAreAndTheStageLeavingTakesTheWheelDown)
{
    Open();
    Frame(mAt += 0.1);
    ASSERT_TRUE(mWheel->IsSuspended());
    W2dTextGraphicItem* counter = mWheel->GetCounter(6);
    mMp40->mStock = 0;
    mMp40->mMagazine = 7;
    Open();
    EXPECT_EQ(mWheel->GetCounter(6), counter) << "resumed, not built again";
    EXPECT_EQ(TextOf(counter), "7");
    EXPECT_TRUE(Shown(mWheel->GetSpoke(3)));
    EXPECT_TRUE(Shown(mWheel->GetIndicator()));
    EXPECT_EQ(HeroState(), kEnterState);

    // The stage leaves with the wheel open: the wheel goes, the hero leaves its wheel state.
    mSounds->Clear();
    ASSERT_EQ(mStage->SwitchTo(kGameStateGameOver), 1);
    EXPECT_EQ(mWheel->IsEntered(), 0);
    EXPECT_EQ(mWheel->GetSpoke(0), nullptr);
    EXPECT_EQ(mWheel->GetIndicator(), nullptr);
    EXPECT_EQ(HeroState(), kQuitState);
    EXPECT_EQ(mSounds->Played(), std::vector<std::string>{"SD_I_INVENTORY_OFF_S2DSB"});
}

TEST_F(Inventory, AnUnboundKeyOrNoPadLeavesNothingPicked)
{
    // Without the binding the first update closes the wheel.
    mInput.reset();
    mInput = std::make_unique<uitest::InjectedInput>();
    Open();
    Stick(1, 0);
    Held(mAt += 0.1);
    EXPECT_FALSE(mStage->IsSuspended());
    EXPECT_EQ(HeroGetPendingWeapon(), "");

    // Bound but without a pad: open while held, nothing picked.
    ASSERT_TRUE(mInput->Bind("INVENTORY_OPEN", "VK_I"));
    ASSERT_EQ(HbInputManager::Instance()->IsPadPresent(), 0);
    Open();
    Held(mAt += 0.1);
    EXPECT_TRUE(mStage->IsSuspended());
    EXPECT_EQ(mWheel->GetSelectedSlot(), 8);
    Frame(mAt += 0.1);
    EXPECT_FALSE(mStage->IsSuspended());
    EXPECT_EQ(HeroGetPendingWeapon(), "");
}

// ---- Drawn ------------------------------------------------------------------------------------------------

/// A square screen; white spokes, bullets and centre marker, a green MP40 picture, labels without ink.
class InventoryDrawn : public Inventory
{
public:
    InventoryDrawn() { mScreenSize = 128; }

protected:
    static constexpr uint32_t kPicture = 0xFF30C050u;

    void SetUp() override
    {
        Inventory::SetUp();
        if (HasFatalFailure())
            return;
        BlankFont();
        for (const char* id : {"FE_WEAPON_LIGNE_TEX", "FE_BULLET_TEX", "FE_INDICATOR_TEX"})
            mResources->SolidTexture(id, 4, 4, 0xFFFFFFFFu);
        mResources->SolidTexture("WEAPON_MP40_TEX", 8, 8, kPicture);
        // Only the MP40 is carried.
        while (mList->GetCount() > 0)
            mList->RemoveByName(mList->GetItem(0)->mName.c_str());
        Carry("MP40", new TsWeaponShoot());
    }
};

/// Blends the colour at the alpha over the pixel.
uint32_t Over(uint32_t below, uint32_t rgb, float alpha)
{
    uint32_t out = 0xFF000000u;
    for (int shift = 0; shift <= 16; shift += 8)
    {
        const float b = float((below >> shift) & 0xFF), c = float((rgb >> shift) & 0xFF);
        out |= uint32_t(std::lround(b + (c - b) * alpha)) << shift;
    }
    return out;
}

TEST_F(InventoryDrawn, TheOpenWheelIsEightSpokesAboutTheCentreWithTheCarriedWeaponAndTheMarker)
{
    Open();
    ASSERT_TRUE(mWheel->IsOwned(6));
    Held(0.1);
    ASSERT_TRUE(mStage->IsSuspended());
    int32_t width = 0, height = 0;
    const std::vector<uint32_t> actual = uitest::DrawSurfaces(Screen(), 0xFF000000u, &width, &height);
    ASSERT_EQ(width, 128);

    // In pixels: each spoke is 2 x 32 about the point (0.500387, 0.499801) of the screen, turned by
    // a multiple of 45 degrees; spokes at alpha 150 over black and over each other, then the
    // picture at alpha 150, the bullet marker and the amber centre marker on top.
    const float cx = (0.492574f + 0.0078125f) * 128.0f, cy = (0.374801f + 0.125f) * 128.0f;
    const float a = 150.0f / 255.0f;
    auto inside = [](float px, float py, float x, float y, float w, float h)
    { return px >= x * 128.0f && px < (x + w) * 128.0f && py >= y * 128.0f && py < (y + h) * 128.0f; };
    auto colourAt = [&](float px, float py) -> uint32_t
    {
        uint32_t c = 0xFF000000u;
        for (int i = 0; i < 8; ++i)
        {
            const float angle = float(M_PI) / 180.0f * (180.0f - 45.0f * float(i));
            const float dx = px - cx, dy = py - cy;
            const float u = dx * std::cos(angle) + dy * std::sin(angle);
            const float v = -dx * std::sin(angle) + dy * std::cos(angle);
            if (std::fabs(u) < 1.0f && std::fabs(v) < 16.0f)
                c = Over(c, 0xFFFFFF, a);
        }
        if (inside(px, py, 0.521444f, 0.4701f, 0.375f, 0.09375f))
            c = Over(c, kPicture & 0xFFFFFF, a);
        if (inside(px, py, 0.829177f, 0.43434402f, 0.008f, 0.025f))
            c = 0xFFFFFFFFu;
        if (inside(px, py, 0.484375f, 0.484375f, 0.03125f, 0.03125f))
            c = 0xFFFDA701u;
        return c;
    };
    const std::vector<uint32_t> expected =
        framecheck::EdgeTolerantReference(width, height, actual, colourAt, {-0.75f, 0.0f, 0.75f});
    EXPECT_EQ(framecheck::CheckFrame("app_inventory_wheel", width, height, actual, expected, 4), "");
}

} // namespace
} // namespace fetest
