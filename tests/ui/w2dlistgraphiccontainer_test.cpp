// Lists: fixed rows and their trimming, the bottom-up column, the gradient, framed messages, and timed
// children expiring on the game clock with the text sounds.
#include "ui_fixture.h"
#include "w2dframedpanel.h"
#include "w2dlistgraphiccontainer.h"
#include "w2dtextgraphicitem.h"

#include <string>
#include <vector>

namespace uitest
{
namespace
{

const char* const kOn = "SD_I_TEXTS_ON_S2DSB";
const char* const kOff = "SD_I_TEXTS_OFF_S2DSB";

/// An item that keeps the corner colours it is given.
class Row : public W2dGenericItem
{
public:
    explicit Row(const char* name, float height = 0.1f) : W2dGenericItem(name) { mSize = {0.2f, height, 0.0f}; }
    int32_t SetCornerColours(const Rgba& c0, const Rgba& c1, const Rgba& c2, const Rgba& c3) override
    {
        mCorners[0] = c0, mCorners[1] = c1, mCorners[2] = c2, mCorners[3] = c3;
        return 1;
    }
    void GetCornerColours(Rgba* c0, Rgba* c1, Rgba* c2, Rgba* c3) override
    {
        *c0 = mCorners[0], *c1 = mCorners[1], *c2 = mCorners[2], *c3 = mCorners[3];
    }
    Rgba mCorners[4] = {};
};

/// A row held by the test as well as by the list it goes to.
Row* Held(const char* name, float height = 0.1f)
{
    auto* row = new Row(name, height);
    row->AddRef();
    return row;
}

void Drop(std::vector<Row*>& rows)
{
    for (Row* row : rows)
        row->HbRoot::Release();
    rows.clear();
}

Vector PositionOf(W2dGenericItem* item)
{
    Vector v;
    item->GetPosition(&v);
    return v;
}

Vector SizeOf(W2dGenericItem* item)
{
    Vector v;
    item->GetSize(&v);
    return v;
}

TEST(W2dLists, EachListPassesTheKindTestsOfItsOwnClassAndItsBasesOnly)
{
    W2dGraphicContainer plain("plain");
    W2dSimpleListGraphicContainer simple("simple");
    W2dProgressiveListGraphicContainer progressive("progressive");
    W2dMessageList messages("messages");
    W2dTimedListGraphicContainer timed("timed");
    struct Case
    {
        HbRoot* object;
        bool simple, progressive, message, timed;
    };
    const Case cases[] = {{&plain, false, false, false, false},
                          {&simple, true, false, false, false},
                          {&progressive, true, true, false, false},
                          {&messages, true, true, true, false},
                          {&timed, true, false, false, true}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(static_cast<W2dGraphicContainer*>(c.object)->GetName());
        EXPECT_NE(HbCastTo<W2dGraphicContainer>(c.object), nullptr);
        EXPECT_EQ(HbCastTo<W2dSimpleListGraphicContainer>(c.object) != nullptr, c.simple);
        EXPECT_EQ(HbCastTo<W2dProgressiveListGraphicContainer>(c.object) != nullptr, c.progressive);
        EXPECT_EQ(HbCastTo<W2dMessageList>(c.object) != nullptr, c.message);
        EXPECT_EQ(HbCastTo<W2dTimedListGraphicContainer>(c.object) != nullptr, c.timed);
    }
}

TEST(W2dSimpleList, FixedRowsTrimTheOldestAndStackInEitherDirection)
{
    struct Case
    {
        int32_t reversed;
        float rowY[3]; // children 0, 1, 2 after the fourth is added (the first gone)
    };
    // Stacking on: bottom up, the newest at the list's y. Off: one row below y, downward.
    const Case cases[] = {
        {1, {0.3f, 0.2f, 0.1f}},
        {0, {0.2f, 0.3f, 0.4f}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.reversed);
        W2dSimpleListGraphicContainer list("list");
        list.SetPosition({0.1f, 0.1f, 0.0f});
        list.SetSize({0.6f, 0.35f, 0.0f});
        list.SetFixedRows(1);
        list.SetReversed(c.reversed);
        std::vector<Row*> rows;
        for (const char* name : {"a", "b", "c", "d"})
        {
            rows.push_back(Held(name));
            EXPECT_EQ(list.AddChild(rows.back()), 1);
            EXPECT_EQ(rows.back()->IsReleased(), 0) << "created by the list";
            EXPECT_EQ(rows.back()->IsHidden(), 0) << "shown by the list";
        }
        ASSERT_EQ(list.GetChildCount(), 3);
        EXPECT_EQ(list.GetChild(0), rows[1]);
        EXPECT_EQ(rows[0]->GetRefCount(), 1) << "the first child left the list";
        EXPECT_EQ(rows[0]->IsReleased(), 1);
        for (int32_t i = 0; i < 3; ++i)
        {
            EXPECT_NEAR(PositionOf(list.GetChild(i)).x, 0.1f, 1e-6f);
            EXPECT_NEAR(PositionOf(list.GetChild(i)).y, c.rowY[i], 1e-6f) << i;
            EXPECT_NEAR(SizeOf(list.GetChild(i)).x, 0.6f, 1e-6f);
            EXPECT_NEAR(SizeOf(list.GetChild(i)).y, 0.1f, 1e-6f);
        }
        // A duplicate name is refused and lays nothing out.
        Row* twin = Held("b");
        EXPECT_EQ(list.AddChild(twin), 0);
        EXPECT_EQ(list.GetChildCount(), 3);
        twin->HbRoot::Release();
        list.RemoveLast();
        EXPECT_EQ(list.GetChildCount(), 2);
        EXPECT_EQ(rows[3]->GetRefCount(), 1);
        list.Release();
        list.RemoveAllChildren();
        Drop(rows);
    }
}

TEST(W2dSimpleList, WithoutFixedRowsChildrenSitOnEachOtherFromTheBottomEdge)
{
    W2dSimpleListGraphicContainer list("list");
    list.SetPosition({0.0f, 0.2f, 0.0f});
    list.SetSize({0.5f, 0.5f, 0.0f});
    std::vector<Row*> rows = {Held("a", 0.1f)};
    list.AddChild(rows[0]);
    EXPECT_NEAR(PositionOf(rows[0]).y, 0.6f, 1e-6f);
    // Later children go under the earlier ones; sizes stay, and the stacking flag is not used.
    rows.push_back(Held("b", 0.05f));
    list.SetReversed(0);
    list.AddChild(rows[1]);
    EXPECT_NEAR(PositionOf(rows[1]).y, 0.65f, 1e-6f);
    EXPECT_NEAR(PositionOf(rows[0]).y, 0.55f, 1e-6f);
    EXPECT_NEAR(SizeOf(rows[1]).y, 0.05f, 1e-6f);
    EXPECT_NEAR(SizeOf(rows[1]).x, 0.2f, 1e-6f);
    // Removing by name lays the list out again.
    EXPECT_EQ(list.RemoveChildByName("b"), 1);
    EXPECT_NEAR(PositionOf(rows[0]).y, 0.6f, 1e-6f);
    EXPECT_EQ(list.RemoveChildByName("b"), -1);
    list.RemoveAllChildren();
    Drop(rows);
}

TEST(W2dProgressiveList, TheGradientRunsFromTheStartColourAtTheBottomRow)
{
    struct Case
    {
        int32_t reversed;
        Rgba start, end;
        // Per child: top corners (0, 1), then bottom corners (2, 3).
        Rgba top[2], bottom[2];
    };
    const Rgba white = {255, 255, 255, 255}, black = {0, 0, 0, 0};
    const Case cases[] = {
        {1, white, black, {{128, 128, 128, 128}, {1, 1, 1, 1}}, {white, {128, 128, 128, 128}}},
        {0, white, black, {{127, 127, 127, 127}, {254, 254, 254, 254}}, {black, {127, 127, 127, 127}}},
        // A start below the end steps upward; the step truncates toward 0 ((10 - 255) / 2 = -122).
        {1,
         {10, 20, 30, 40},
         {255, 0, 30, 41},
         {{132, 10, 30, 40}, {254, 0, 30, 40}},
         {{10, 20, 30, 40}, {132, 10, 30, 40}}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.reversed);
        W2dProgressiveListGraphicContainer list("list");
        list.SetSize({0.5f, 0.5f, 0.0f});
        list.SetReversed(c.reversed);
        list.SetStartColour(c.start);
        list.SetEndColour(c.end);
        std::vector<Row*> rows = {Held("a"), Held("b")};
        list.AddChild(rows[0]);
        list.AddChild(rows[1]);
        for (int32_t i = 0; i < 2; ++i)
        {
            const Rgba* corners = rows[i]->mCorners;
            for (int32_t k = 0; k < 4; ++k)
            {
                const Rgba& want = k < 2 ? c.top[i] : c.bottom[i];
                EXPECT_EQ(corners[k].red, want.red) << "child " << i << " corner " << k;
                EXPECT_EQ(corners[k].green, want.green) << "child " << i << " corner " << k;
                EXPECT_EQ(corners[k].blue, want.blue) << "child " << i << " corner " << k;
                EXPECT_EQ(corners[k].alpha, want.alpha) << "child " << i << " corner " << k;
            }
        }
        list.RemoveAllChildren();
        Drop(rows);
    }
}

class MessageLists : public UiTest
{
};

TEST_F(MessageLists, TextSizeAcceptsOnlyZeroToOne)
{
    W2dMessageList list("messages");
    EXPECT_FLOAT_EQ(list.GetTextSize(), 0.025f);
    EXPECT_EQ(list.GetFont(), kW2dStandardFont);
    const struct
    {
        float size;
        int32_t answer;
        float after;
    } cases[] = {{0.0f, 0, 0.025f}, {1.5f, 0, 0.025f}, {-0.5f, 0, 0.025f}, {1.0f, 1, 1.0f}, {0.5f, 1, 0.5f}};
    for (const auto& c : cases)
    {
        EXPECT_EQ(list.SetTextSize(c.size), c.answer) << c.size;
        EXPECT_FLOAT_EQ(list.GetTextSize(), c.after) << c.size;
    }
}

TEST_F(MessageLists, AMessageIsAFramedTextOfFixedSize)
{
    W2dMessageList list("messages");
    list.SetPosition({0.1f, 0.2f, 0.0f});
    list.SetSize({0.3f, 0.5f, 0.0f});
    list.SetJustify(2);
    list.Create();
    list.Show();
    const size_t before = Screen()->GetCount();
    // The width and text size given change nothing.
    ASSERT_EQ(list.AddMessage("first line", 0.1f, 0.9f, "FONT", {10, 20, 30, 255}), 1);
    ASSERT_EQ(list.GetChildCount(), 1);
    auto* panel = dynamic_cast<W2dFramedPanel*>(list.GetChild(0));
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->GetRefCount(), 1) << "the list holds the only reference";
    auto* text = HbCastTo<W2dTextGraphicItem>(panel->GetContent());
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->GetText(), "first line");
    EXPECT_EQ(text->GetPriority(), 100);
    float charHeight = 0.0f;
    ASSERT_EQ(text->GetCharHeight(&charHeight), 1);
    EXPECT_FLOAT_EQ(charHeight, 0.04f);
    EXPECT_NEAR(SizeOf(text).x, 0.8f, 1e-6f);
    EXPECT_NEAR(SizeOf(text).y, 0.25f, 1e-6f);
    // Framed around 0.8 x 0.25: 26 columns, 9 rows.
    EXPECT_EQ(panel->GetColumns(), 26);
    EXPECT_EQ(panel->GetRows(), 9);
    // The text sits inside the frame's margins, wherever the layout put the panel.
    Vector panelAt = PositionOf(panel), textAt = PositionOf(text);
    EXPECT_NEAR(textAt.x - panelAt.x, 0.015625f, 1e-6f);
    EXPECT_NEAR(textAt.y - panelAt.y, 0.046875f, 1e-6f);
    EXPECT_NEAR(panelAt.x, 0.1f, 1e-6f);
    EXPECT_EQ(text->IsHidden(), 0);
    EXPECT_GT(Screen()->GetCount(), before);
    // The gradient of a single child: from opaque white at the bottom to transparent at the top.
    Rgba c0, c1, c2, c3;
    text->GetCornerColours(&c0, &c1, &c2, &c3);
    EXPECT_EQ(c2.alpha, 255);
    EXPECT_EQ(c0.alpha, 0);

    // The one-argument form takes the list's font, width and text size.
    ASSERT_EQ(list.AddMessage("second"), 1);
    ASSERT_EQ(list.GetChildCount(), 2);
    auto* second = dynamic_cast<W2dFramedPanel*>(list.GetChild(1));
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(HbCastTo<W2dTextGraphicItem>(second->GetContent())->GetText(), "second");

    list.Release();
    list.RemoveAllChildren();
    EXPECT_EQ(Screen()->GetCount(), before);
}

// ---- Timed lists ------------------------------------------------------------------------------------------------

/// Sounds are resources read through the engine's streams: the renderer runs.
class TimedLists : public UiTest
{
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        mSounds = std::make_unique<Sounds>(std::initializer_list<const char*>{kOn, kOff});
        ASSERT_TRUE(mSounds->Started());
    }
    void TearDown() override
    {
        mSounds.reset();
        UiTest::TearDown();
    }
    std::unique_ptr<Sounds> mSounds;
};

TEST_F(TimedLists, AChildExpiresInTheFirstUpdateAfterItsLifetimeOnTheGameClock)
{
    mClocks->SetGame(Ticks(10.0));
    W2dTimedListGraphicContainer list("box");
    list.SetSize({0.5f, 0.5f, 0.0f});
    EXPECT_EQ(list.SetLifetime(4.0f), 1);
    std::vector<Row*> rows = {Held("a"), Held("b")};
    list.AddChild(rows[0]);
    mClocks->AdvanceGame(Ticks(1.0));
    list.AddChild(rows[1]);
    EXPECT_EQ(mSounds->Played(), (std::vector<std::string>{kOn, kOn}));
    EXPECT_EQ(list.GetStamp(0), Ticks(10.0));
    mSounds->Clear();

    // The real clock running does nothing; only the game clock ages children.
    mClocks->AdvanceReal(Ticks(60.0));
    list.Update();
    EXPECT_EQ(list.GetChildCount(), 2);
    // Exactly 4 s old is not older than the lifetime.
    mClocks->SetGame(Ticks(14.0));
    list.Update();
    EXPECT_EQ(list.GetChildCount(), 2);
    EXPECT_TRUE(mSounds->Played().empty());
    mClocks->AdvanceGame(1);
    list.Update();
    ASSERT_EQ(list.GetChildCount(), 1);
    EXPECT_EQ(list.GetChild(0), rows[1]);
    EXPECT_EQ(list.GetStampCount(), 1);
    EXPECT_EQ(mSounds->Played(), std::vector<std::string>{kOn}) << "the adding sound, on expiry too";
    EXPECT_NEAR(PositionOf(rows[1]).y, 0.4f, 1e-6f) << "laid out again";
    // Two children both past their time go in one update.
    mClocks->AdvanceGame(Ticks(100.0));
    list.Update();
    EXPECT_EQ(list.GetChildCount(), 0);
    EXPECT_EQ(list.GetStampCount(), 0);
    Drop(rows);
}

TEST_F(TimedLists, LifetimesOfMinusOneAndZeroNeverExpire)
{
    for (float lifetime : {-1.0f, 0.0f})
    {
        SCOPED_TRACE(lifetime);
        mClocks->SetGame(0);
        W2dTimedListGraphicContainer list("box");
        list.SetLifetime(lifetime);
        Row* row = Held("a");
        list.AddChild(row);
        mClocks->AdvanceGame(Ticks(1000.0));
        list.Update();
        EXPECT_EQ(list.GetChildCount(), 1);
        list.RemoveAllChildren();
        EXPECT_EQ(list.GetStampCount(), 0);
        row->HbRoot::Release();
    }
}

TEST_F(TimedLists, StampsFollowTheChildrenThroughEveryRemoval)
{
    W2dTimedListGraphicContainer list("box");
    list.SetSize({0.5f, 0.25f, 0.0f});
    list.SetFixedRows(1);
    std::vector<Row*> rows;
    int64_t t = 0;
    for (const char* name : {"a", "b", "c"})
    {
        mClocks->SetGame(t += 100);
        rows.push_back(Held(name));
        list.AddChild(rows.back());
    }
    // Two rows fit: the third trimmed the first, and exactly one stamp with it.
    ASSERT_EQ(list.GetChildCount(), 2);
    ASSERT_EQ(list.GetStampCount(), 2);
    EXPECT_EQ(list.GetStamp(0), 200);
    EXPECT_EQ(list.GetStamp(1), 300);
    mSounds->Clear();

    // A refused duplicate adds no stamp and plays nothing.
    Row* twin = Held("b");
    EXPECT_EQ(list.AddChild(twin), 0);
    EXPECT_EQ(list.GetStampCount(), 2);
    twin->HbRoot::Release();
    // By name: 1 or 0, the closing sound only when something went.
    EXPECT_EQ(list.RemoveChildByName("b"), 1);
    EXPECT_EQ(list.RemoveChildByName("b"), 0);
    EXPECT_EQ(mSounds->Played(), std::vector<std::string>{kOff});
    ASSERT_EQ(list.GetStampCount(), 1);
    EXPECT_EQ(list.GetStamp(0), 300);

    mClocks->SetGame(400);
    rows.push_back(Held("d"));
    list.AddChild(rows.back());
    list.RemoveFirst();
    ASSERT_EQ(list.GetStampCount(), 1);
    EXPECT_EQ(list.GetStamp(0), 400);
    list.RemoveLast();
    EXPECT_EQ(list.GetStampCount(), 0);
    EXPECT_EQ(list.GetChildCount(), 0);
    Drop(rows);
}

} // namespace
} // namespace uitest
