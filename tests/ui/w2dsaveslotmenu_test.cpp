// The save carousel and its cards: steps refused with too few cards, the slide and cross-fade with input
// waiting, the play time, a card built once (and not at all for an unknown mission), and colours that
// never go below 50.
#include "mosavepicture.h"
#include "ui_fixture.h"
#include "w2dframedpanel.h"
#include "w2dsaveslotmenu.h"
#include "w2dsurfacegraphicitem.h"
#include "w2dtextgraphicitem.h"
#include "win32keyboard.h"

#include <memory>
#include <vector>

namespace uitest
{
namespace
{

const int64_t kT0 = Ticks(50.0);

class SaveSlots : public UiTest
{
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        mClocks->SetReal(kT0);
        mResources->SolidTexture("UI_CARD_TEX", 4, 4, 0xFF808080u);
        mResources->SolidTexture("FE_HIT_TEX", 4, 4, 0xFFFFFFFFu);
        mInput = std::make_unique<InjectedInput>();
        ASSERT_TRUE(mInput->Bind("MENU_NEXT_VALUE", "VK_RIGHT"));
        ASSERT_TRUE(mInput->Bind("MENU_PREVIOUS_VALUE", "VK_LEFT"));
        mInput->Frame();
    }

    void TearDown() override
    {
        if (mMenu)
        {
            mMenu->Clear();
            mMenu->Release();
        }
        mInput.reset();
        UiTest::TearDown();
    }

    void Build(int cards)
    {
        mMenu = new W2dSaveSlotMenu(nullptr);
        mMenu->AddRef();
        mMenu->SetPosition({-0.3f, 0.1f, 0.0f});
        mMenu->SetStep({0.4f, 0.0f, 0.0f});
        for (int i = 0; i < cards; ++i)
        {
            auto* entry = new W2dMenu(mMenu);
            auto* card = new W2dPictureItem("UI_CARD_TEX", -1.0f, nullptr);
            card->AddRef();
            card->Create();
            card->SetSize({0.3f, 0.5f, 0.0f});
            entry->SetLabel(card);
            card->HbRoot::Release();
            mMenu->AddEntry(entry);
            mCards.push_back(card);
        }
    }

    void Frame(double at, std::initializer_list<uint8_t> keys = {})
    {
        mClocks->SetReal(kT0 + Ticks(at));
        for (uint8_t key : keys)
            mInput->Press(key);
        mInput->Frame();
        EXPECT_EQ(mMenu->HandleInput(), mMenu);
        for (uint8_t key : keys)
            mInput->Lift(key);
    }

    static uint8_t Alpha(W2dGenericItem* item)
    {
        Rgba c[4];
        item->GetCornerColours(&c[0], &c[1], &c[2], &c[3]);
        return c[0].alpha;
    }

    static float X(W2dGenericItem* item)
    {
        Vector at;
        item->GetPosition(&at);
        return at.x;
    }

    std::unique_ptr<InjectedInput> mInput;
    W2dSaveSlotMenu* mMenu = nullptr;
    std::vector<W2dGenericItem*> mCards;
};

TEST_F(SaveSlots, TwoCardsStepBackButNotForward)
{
    Build(2);
    ASSERT_NE(W2dSaveSlotMenu::GetRightArrow(), nullptr);
    EXPECT_EQ(mMenu->GetState(), W2dMenu::kOpen);
    Frame(0.0, {VK_RIGHT});
    EXPECT_EQ(mMenu->GetCurrentEntry(), mMenu->GetEntry(0));
    EXPECT_TRUE(W2dSaveSlotMenu::GetRightArrow()->IsHidden());
    Frame(0.1, {VK_LEFT});
    EXPECT_EQ(mMenu->GetCurrentEntry(), mMenu->GetEntry(1));
    EXPECT_EQ(mMenu->GetState(), W2dSaveSlotMenu::kMovingPrevious);
    EXPECT_FALSE(W2dSaveSlotMenu::GetLeftArrow()->IsHidden());
}

TEST_F(SaveSlots, AStepSlidesAndCrossFadesForAFifthOfASecondWhileInputWaits)
{
    Build(3);
    Frame(0.0);
    EXPECT_EQ(Alpha(mCards[0]), 255) << "the current card at rest";
    EXPECT_EQ(Alpha(mCards[1]), 0);
    EXPECT_FLOAT_EQ(X(mCards[0]), 0.1f) << "one step along";
    Frame(1.0, {VK_RIGHT});
    EXPECT_EQ(mMenu->GetState(), W2dSaveSlotMenu::kMovingNext);
    EXPECT_EQ(mMenu->GetCurrentEntry(), mMenu->GetEntry(1));
    EXPECT_FALSE(W2dSaveSlotMenu::GetRightArrow()->IsHidden());

    // Half-way: rows start two before the current card, shifted back half a step.
    Frame(1.1, {VK_RIGHT});
    EXPECT_EQ(mMenu->GetCurrentEntry(), mMenu->GetEntry(1)) << "no step during the move";
    EXPECT_NEAR(X(mCards[0]), -0.3f + 0.4f - 0.2f, 1e-5f) << "the outgoing card";
    EXPECT_NEAR(Alpha(mCards[0]), 127, 1);
    EXPECT_NEAR(X(mCards[1]), -0.3f + 0.8f - 0.2f, 1e-5f) << "the incoming card";
    EXPECT_NEAR(Alpha(mCards[1]), 127, 1);
    EXPECT_EQ(Alpha(mCards[2]), 0);

    Frame(1.2);
    EXPECT_EQ(mMenu->GetState(), W2dMenu::kOpen);
    Frame(1.25);
    EXPECT_EQ(Alpha(mCards[1]), 255);
    EXPECT_FLOAT_EQ(X(mCards[1]), 0.1f);
    Frame(1.3, {VK_LEFT});
    EXPECT_EQ(mMenu->GetState(), W2dSaveSlotMenu::kMovingPrevious);
    EXPECT_EQ(mMenu->GetCurrentEntry(), mMenu->GetEntry(0));
}

struct Card
{
    MoSavePicture* card = new MoSavePicture("CARD");
    Card() { card->AddRef(); }
    ~Card()
    {
        card->Release();
        card->HbRoot::Release();
    }
};

TEST_F(SaveSlots, PlayTimeIsShownAsHoursMinutesAndSecondsUpTo9999Hours)
{
    Card c;
    ASSERT_EQ(c.card->Build(0), 1);
    EXPECT_EQ(c.card->GetPlayTimeText()->GetText(), "00:00:00") << "a new save";
    const struct
    {
        double seconds;
        const char* text;
    } cases[] = {{3725.0, "01:02:05"}, {3725.9, "01:02:05"}, {35996399.0, "9998:59:59"}, {35996400.0, "9999:59:59"}, {36000000.0, "9999:59:59"},
                 {1e9, "9999:59:59"}};
    for (const auto& t : cases)
    {
        EXPECT_EQ(c.card->SetPlayTime(Ticks(t.seconds)), 1);
        EXPECT_EQ(c.card->GetPlayTimeText()->GetText(), t.text) << t.seconds;
    }
}

TEST_F(SaveSlots, ACardIsBuiltOnceAndNotForAMissionOutsideTheTable)
{
    mResources->Text("TX_MENU_SAVE_NEW_FILE_TXT", "New save");
    mResources->Text("TX_MENU_DIFFICULTY_HARD_TXT", "Hard");
    Card bad;
    EXPECT_EQ(bad.card->Build(7), 0);
    EXPECT_EQ(bad.card->Build(-1), 0);
    EXPECT_EQ(bad.card->GetChildCount(), 0);
    EXPECT_EQ(bad.card->GetPicture(), nullptr);

    Card c;
    ASSERT_EQ(c.card->Build(6), 1);
    EXPECT_EQ(c.card->GetPicture()->GetTextureId(), "FE_MISSION7_PIC_TEX");
    EXPECT_EQ(c.card->GetChildCount(), 4);
    EXPECT_EQ(c.card->GetNameText()->GetText(), "New save");
    EXPECT_EQ(c.card->GetFlags(), 2u) << "children follow its size";
    EXPECT_EQ(c.card->Build(2), 1);
    EXPECT_EQ(c.card->GetChildCount(), 4) << "the second build changes nothing";
    EXPECT_EQ(c.card->GetPicture()->GetTextureId(), "FE_MISSION7_PIC_TEX");
    EXPECT_EQ(c.card->SetDifficulty(2), 1);
    auto* difficulty = static_cast<W2dTextGraphicItem*>(c.card->GetDifficultyPanel()->GetContent());
    EXPECT_EQ(difficulty->GetText(), "Hard");
    EXPECT_EQ(c.card->SetDifficulty(3), 0);

    c.card->SetCornerColours({0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0});
    for (int32_t i = 0; i < c.card->GetChildCount(); ++i)
    {
        Rgba k[4];
        c.card->GetChild(i)->GetCornerColours(&k[0], &k[1], &k[2], &k[3]);
        for (const Rgba& corner : k)
        {
            EXPECT_EQ(corner.red, 50) << i;
            EXPECT_EQ(corner.alpha, 50) << i;
        }
    }
    EXPECT_EQ(c.card->ShowHighlight(0), 1);
    EXPECT_TRUE(c.card->GetPicture()->IsHidden());
    EXPECT_EQ(bad.card->ShowHighlight(1), 0);
}

} // namespace
} // namespace uitest
