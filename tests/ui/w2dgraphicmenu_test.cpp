// Framed menus: measuring and centring a tree, the opening and closing wipes with their sounds and the
// hand-over of input, a requested back, the frame shared by two trees, and an open menu drawn over
// flat-coloured tiles.
#include "framecheck.h"
#include "ui_fixture.h"
#include "w2dgraphicchoicemenu.h"
#include "w2dgraphiccontainer.h"
#include "w2dgraphicmenu.h"
#include "w2dgraphicslidermenu.h"
#include "w2dsurfacegraphicitem.h"
#include "win32keyboard.h"

#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace uitest
{
namespace
{

const int64_t kT0 = Ticks(100.0);
const char* const kSelect = "SD_I_SELECT_S2DSB";
const char* const kConfirm = "SD_I_CONFIRM_S2DSB";
const char* const kCancel = "SD_I_CANCEL_S2DSB";
const char* const kOn = "SD_I_MENU_ON_S2DSB";
const char* const kOff = "SD_I_MENU_OFF_S2DSB";
constexpr float u = 0.03125f;

constexpr uint32_t kLabelColour = 0xFF40A0E0u;
constexpr uint32_t kBorderColour = 0xFF203060u;
constexpr uint32_t kShadowColour = 0xFF802020u;
constexpr uint32_t kBackgroundColour = 0xFFE8E8D0u;

void Lit(W2dGenericItem* item)
{
    item->SetColour({255, 255, 255, 255});
}

/// root: play, options, quit; options: sound, video. Labels are pictures 0.3 (0.2 in options) x 0.05.
struct Tree
{
    W2dGraphicMenu *root, *play, *options, *quit, *sound, *video;
    std::vector<W2dGraphicMenu*> all;

    W2dGraphicMenu* Entry(W2dGraphicMenu* parent, float width)
    {
        auto* menu = new W2dGraphicMenu(parent);
        menu->AddRef();
        all.push_back(menu);
        if (!parent)
            return menu;
        auto* label = new W2dPictureItem("UI_LABEL_TEX", -1.0f, nullptr);
        label->AddRef();
        label->SetPriority(95);
        label->Create();
        label->SetSize({width, 0.05f, 0.0f});
        label->Hide();
        menu->SetLabel(label);
        label->HbRoot::Release();
        parent->AddEntry(menu);
        return menu;
    }

    Tree()
    {
        root = Entry(nullptr, 0.0f);
        play = Entry(root, 0.3f);
        options = Entry(root, 0.25f);
        quit = Entry(root, 0.1f);
        sound = Entry(options, 0.2f);
        video = Entry(options, 0.2f);
        root->SetStep({0.0f, 0.0625f, 0.0f});
    }

    ~Tree()
    {
        root->Clear();
        for (W2dGraphicMenu* menu : all)
        {
            menu->Clear();
            menu->Release();
        }
    }
};

class GraphicMenus : public UiTest
{
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        mClocks->SetReal(kT0);
        mResources->SolidTexture("UI_LABEL_TEX", 4, 4, kLabelColour);
        for (const char* id : {"FE_MAIN_BORDER_TEX", "FE_MAIN_BORDER_CORNER_TEX"})
            mResources->SolidTexture(id, 4, 4, kBorderColour);
        for (const char* id : {"FE_MAIN_BORDER_SHADOW_TEX", "FE_MAIN_CORNER_SHADOW_TEX", "FE_MAIN_ANGLE_SHADOW_TEX"})
            mResources->SolidTexture(id, 4, 4, kShadowColour);
        mResources->SolidTexture("FE_MAIN_WHITE_BACKGROUND_TEX", 4, 4, kBackgroundColour);
        mSounds = std::make_unique<Sounds>(std::initializer_list<const char*>{kSelect, kConfirm, kCancel, kOn, kOff});
        ASSERT_TRUE(mSounds->Started());
        mInput = std::make_unique<InjectedInput>();
        ASSERT_TRUE(mInput->Bind("MENU_NEXT", "VK_DOWN"));
        ASSERT_TRUE(mInput->Bind("MENU_PREVIOUS", "VK_UP"));
        ASSERT_TRUE(mInput->Bind("MENU_CHOOSE", "VK_RETURN"));
        ASSERT_TRUE(mInput->Bind("MENU_UP", "VK_ESCAPE"));
        ASSERT_TRUE(mInput->Bind("MENU_NEXT_VALUE", "VK_RIGHT"));
        ASSERT_TRUE(mInput->Bind("MENU_PREVIOUS_VALUE", "VK_LEFT"));
        mResources->SolidTexture("FE_OPTION_JAUGE_TEX", 4, 4, 0xFF30C030u);
        mResources->SolidTexture("FE_OPTION_JAUGE_ARROW_TEX", 4, 4, 0xFFC0C030u);
        mInput->Frame();
    }

    void TearDown() override
    {
        mInput.reset();
        mSounds.reset();
        UiTest::TearDown();
    }

    W2dMenu* Frame(W2dMenu* receiver, double at, std::initializer_list<uint8_t> keys = {})
    {
        mClocks->SetReal(kT0 + Ticks(at));
        for (uint8_t key : keys)
            mInput->Press(key);
        mInput->Frame();
        W2dMenu* next = receiver->HandleInput();
        for (uint8_t key : keys)
            mInput->Lift(key);
        return next;
    }

    std::unique_ptr<Sounds> mSounds;
    std::unique_ptr<InjectedInput> mInput;
};

TEST_F(GraphicMenus, BuildFrameMeasuresRoundsAndCentresTheTree)
{
    Tree tree;
    ASSERT_EQ(tree.root->BuildFrame(2), 1);
    EXPECT_FLOAT_EQ(tree.root->GetWidth(), 0.3125f) << "0.3 rounded up to ten columns";
    EXPECT_FLOAT_EQ(tree.root->GetCommonWidth(), 0.3125f);
    EXPECT_FLOAT_EQ(tree.root->GetPosition().x, 0.34375f);
    EXPECT_FLOAT_EQ(tree.root->GetPosition().y, (1.0f - 3.0f * 0.0625f) / 2.0f);
    // The sub-menu centres on its own width but shares the frame's.
    EXPECT_FLOAT_EQ(tree.options->GetWidth(), 0.21875f);
    EXPECT_FLOAT_EQ(tree.options->GetPosition().x, (1.0f - 0.21875f) / 2.0f);
    EXPECT_FLOAT_EQ(tree.options->GetPosition().y, (1.0f - 2.0f * 0.0625f) / 2.0f);
    EXPECT_FLOAT_EQ(tree.options->GetCommonWidth(), 0.3125f);
    EXPECT_GE(W2dGraphicMenu::GetRowHighWater(), 3);
    // Every label has the common width; the frame has a tile per column plus two corners.
    Vector size;
    tree.quit->GetLabel()->GetSize(&size);
    EXPECT_FLOAT_EQ(size.x, 0.3125f);
    EXPECT_EQ(tree.root->GetFramePart(W2dGraphicMenu::kTopEdge)->GetChildCount(), 12);
    EXPECT_EQ(tree.root->GetFramePart(W2dGraphicMenu::kTopEdge), tree.video->GetFramePart(W2dGraphicMenu::kTopEdge));
    EXPECT_EQ(tree.root->GetState(), W2dMenu::kOpening);

    // Kinds 0 and 1 centre one coordinate only.
    tree.root->SetPosition({0.0f, 0.0f, 0.0f});
    tree.root->Centre(1);
    EXPECT_FLOAT_EQ(tree.root->GetPosition().x, 0.0f);
    EXPECT_FLOAT_EQ(tree.root->GetPosition().y, 0.40625f);
}

TEST_F(GraphicMenus, ChoosingASubMenuClosesTheParentThenOpensTheSubMenuWhichTakesInputOnlyWhenOpen)
{
    Tree tree;
    ASSERT_EQ(tree.root->BuildFrame(2), 1);
    tree.root->Show();
    EXPECT_EQ(Frame(tree.root, 0.0), tree.root);
    EXPECT_EQ(mSounds->Played(), std::vector<std::string>{kOn}) << "on the opening's first frame";
    EXPECT_EQ(Frame(tree.root, 0.05, {VK_DOWN}), tree.root);
    EXPECT_EQ(tree.root->GetState(), W2dMenu::kOpening);
    EXPECT_EQ(tree.root->GetCurrentEntry(), tree.play) << "no input while opening";
    EXPECT_EQ(Frame(tree.root, 0.1, {VK_DOWN}), tree.root);
    EXPECT_EQ(tree.root->GetState(), W2dMenu::kOpen);
    EXPECT_EQ(tree.root->GetCurrentEntry(), tree.options);
    EXPECT_EQ(mSounds->Played(), (std::vector<std::string>{kOn, kSelect}));
    mSounds->Clear();

    EXPECT_EQ(Frame(tree.root, 0.2, {VK_RETURN}), tree.root);
    EXPECT_EQ(tree.root->GetState(), W2dMenu::kClosing);
    EXPECT_EQ(Frame(tree.root, 0.2), tree.root);
    EXPECT_EQ(Frame(tree.root, 0.25), tree.root);
    W2dMenu* receiver = Frame(tree.root, 0.3);
    EXPECT_EQ(receiver, tree.options) << "handed over once closed";
    EXPECT_EQ(tree.options->GetState(), W2dMenu::kOpening);
    EXPECT_EQ(mSounds->Played(), (std::vector<std::string>{kConfirm, kOff}));

    mSounds->Clear();
    EXPECT_EQ(Frame(receiver, 0.3, {VK_DOWN}), tree.options);
    EXPECT_EQ(mSounds->Played(), std::vector<std::string>{kOn});
    EXPECT_EQ(tree.options->GetCurrentEntry(), tree.sound);
    EXPECT_EQ(Frame(receiver, 0.35, {VK_DOWN}), tree.options);
    EXPECT_EQ(tree.options->GetCurrentEntry(), tree.sound);
    EXPECT_EQ(Frame(receiver, 0.4, {VK_DOWN}), tree.options);
    EXPECT_EQ(tree.options->GetState(), W2dMenu::kOpen);
    EXPECT_EQ(tree.options->GetCurrentEntry(), tree.video);
}

TEST_F(GraphicMenus, ARequestedBackActsAsOneBackPress)
{
    Tree tree;
    ASSERT_EQ(tree.root->BuildFrame(2), 1);
    tree.options->SetState(W2dMenu::kOpen);
    tree.options->mBackRequested = 1;
    mInput->Frame();
    EXPECT_EQ(Frame(tree.options, 0.0), tree.options);
    EXPECT_EQ(tree.options->GetState(), W2dMenu::kClosing);
    EXPECT_EQ(tree.options->GetActiveMenu(), tree.root);
    EXPECT_EQ(tree.options->mBackRequested, 0);
    EXPECT_EQ(mSounds->Played(), std::vector<std::string>{kCancel});
}

TEST_F(GraphicMenus, ClearingOneTreeKeepsTheFrameAnotherShownTreeDraws)
{
    auto first = std::make_unique<Tree>();
    ASSERT_EQ(first->root->BuildFrame(2), 1);
    Tree second;
    ASSERT_EQ(second.root->BuildFrame(2), 1);
    W2dGraphicContainer* top = second.root->GetFramePart(W2dGraphicMenu::kTopEdge);
    top->AddRef();
    second.root->Show();
    Frame(second.root, 0.0);
    Frame(second.root, 0.1);
    ASSERT_EQ(top->GetChildCount(), 12);
    first.reset();
    EXPECT_EQ(top->GetChildCount(), 12) << "the shown tree's tiles are still there";
    Frame(second.root, 0.2);
    EXPECT_FALSE(top->GetChild(0)->IsHidden());
    // The frame goes with the last menu holding it: a sub-menu taken out of the tree keeps it.
    second.root->RemoveEntry(second.options);
    second.root->Clear();
    EXPECT_EQ(top->GetChildCount(), 12);
    second.options->Clear();
    EXPECT_EQ(top->GetChildCount(), 0);
    EXPECT_EQ(second.root->GetFramePart(W2dGraphicMenu::kTopEdge), nullptr);
    top->HbRoot::Release();
}

/// An open framed menu of `entries` rows at (px, py), `width` wide: a border column either side
/// of its width, from one tile left of the rows; the rows' background between the borders; the
/// labels as wide as the menu.
std::vector<uint32_t> OpenMenuReference(int32_t width, int32_t height, float px, float py, float menuWidth,
                                        int entries, const std::vector<uint32_t>& actual)
{
    const float left = px - u;
    const int columns = int(std::lround(menuWidth / u)) + 2;
    Reference expected(width, height, kClear);
    std::vector<std::vector<float>> rects;
    auto fill = [&](float x, float y, float w, float h, uint32_t colour)
    {
        expected.Fill(x, y, w, h, colour & 0xFFFFFF);
        rects.push_back({x, y, w, h});
    };
    for (int r = 0; r < entries; ++r)
        fill(px, r == 0 ? py - u / 2 : py + 0.0625f * float(r), menuWidth, r == 0 ? 0.078125f : 0.0625f,
             kBackgroundColour);
    for (int r = 0; r < entries; ++r)
        fill(px, py + 0.0625f * float(r), menuWidth, 0.0625f, kLabelColour);
    for (int i = 0; i < columns; ++i)
    {
        fill(left + u * float(i), py - u, u, u, kBorderColour);
        fill(left + u * float(i), py + 2.0f * float(entries) * u, u, u, kBorderColour);
    }
    for (int j = 0; j < 2 * entries; ++j)
    {
        fill(left, py + u * float(j), u, u, kBorderColour);
        fill(left + u * float(columns - 1), py + u * float(j), u, u, kBorderColour);
    }
    for (const auto& r : rects)
        expected.IgnoreEdges(r[0], r[1], r[2], r[3], actual);
    return expected.pixels;
}

TEST_F(GraphicMenus, AnOpenFramedMenuIsDrawnAsItsTiles)
{
    Tree tree;
    ASSERT_EQ(tree.root->BuildFrame(2), 1);
    tree.root->SetProperty(0, Lit);
    tree.root->SetProperty(1, Lit);
    tree.root->Show();
    Frame(tree.root, 0.0);
    Frame(tree.root, 0.1);
    Frame(tree.root, 0.2);
    ASSERT_EQ(tree.root->GetState(), W2dMenu::kOpen);
    int32_t width = 0, height = 0;
    std::vector<uint32_t> actual = DrawSurfaces(Screen(), kClear, &width, &height);
    ASSERT_FALSE(actual.empty());

    EXPECT_EQ(framecheck::CheckFrame("ui_graphic_menu", width, height, actual,
                                     OpenMenuReference(width, height, 0.34375f, 0.40625f, 0.3125f, 3, actual), 3),
              "");

    // The options page is narrower than the tree's widest menu: its rows stop at its own right
    // edge, not a tile beyond it.
    Frame(tree.root, 0.3, {VK_DOWN});
    Frame(tree.root, 0.4, {VK_RETURN});
    Frame(tree.root, 0.4);
    Frame(tree.root, 0.45);
    W2dMenu* receiver = Frame(tree.root, 0.5);
    ASSERT_EQ(receiver, tree.options);
    for (double at : {0.5, 0.55, 0.6, 0.7})
        Frame(receiver, at);
    ASSERT_EQ(tree.options->GetState(), W2dMenu::kOpen);
    actual = DrawSurfaces(Screen(), kClear, &width, &height);
    EXPECT_EQ(framecheck::CheckFrame("ui_graphic_menu_options", width, height, actual,
                                     OpenMenuReference(width, height, (1.0f - 0.21875f) / 2.0f,
                                                       (1.0f - 2.0f * 0.0625f) / 2.0f, 0.21875f, 2, actual),
                                     3),
              "");
}

/// An open framed page whose rows the test adds; the page and its rows are cleared at the end.
struct Page
{
    W2dGraphicMenu* root = new W2dGraphicMenu(nullptr);
    Page() { root->AddRef(); }
    ~Page()
    {
        root->Clear();
        root->Release();
    }
    template <class Row> Row* Add()
    {
        auto* row = new Row(root);
        root->AddEntry(row);
        return row;
    }
};

std::vector<std::string>* gCalls = nullptr;

int32_t Log(void* context)
{
    gCalls->push_back(static_cast<const char*>(context));
    return 1;
}

TEST_F(GraphicMenus, ASliderStepsItsValueWithinTheRangeAndItsGaugesFollowAfterHalfASecond)
{
    Page page;
    auto* slider = page.Add<W2dGraphicSliderMenu>();
    std::vector<std::string> calls;
    gCalls = &calls;
    slider->SetCallback(Log, const_cast<char*>("changed"), W2dMenu::kChoose);
    float volume = 0.5f;
    slider->SetValuePointer(&volume);
    float other = 0.0f;
    slider->SetValuePointer(&other);
    slider->SetRange(0.0f, 1.0f, 0.25f);
    page.root->SetState(W2dMenu::kOpen);
    W2dGaugeItem* back = slider->GetBackGauge();
    W2dGaugeItem* front = slider->GetFrontGauge();
    ASSERT_NE(back, nullptr);
    EXPECT_FLOAT_EQ(back->GetValue(), 0.5f);

    struct Step
    {
        double at;
        std::initializer_list<uint8_t> keys;
        float value, back, front;
        bool left, right;
    };
    const Step steps[] = {
        {1.0, {VK_RIGHT}, 0.75f, 0.5f, 0.75f, true, true},  // the front gauge jumps
        {1.4, {}, 0.75f, 0.5f, 0.75f, true, true},          // the gap shows
        {1.6, {}, 0.75f, 0.75f, 0.75f, true, true},         // the back gauge catches up
        {2.0, {VK_RIGHT}, 1.0f, 0.75f, 1.0f, true, false},  // to the maximum
        {3.0, {VK_RIGHT}, 1.0f, 0.75f, 1.0f, true, false},  // at the maximum: kept, hidden right arrow, restamped
        {4.0, {VK_LEFT}, 0.75f, 0.75f, 1.0f, true, true},   // the back gauge jumps down
        {4.6, {}, 0.75f, 0.75f, 0.75f, true, true},         //
    };
    for (const Step& step : steps)
    {
        Frame(page.root, step.at, step.keys);
        EXPECT_FLOAT_EQ(volume, step.value) << step.at;
        EXPECT_FLOAT_EQ(back->GetValue(), step.back) << step.at;
        EXPECT_FLOAT_EQ(front->GetValue(), step.front) << step.at;
        EXPECT_EQ(!slider->GetLeftArrow()->IsHidden(), step.left) << step.at;
        EXPECT_EQ(!slider->GetRightArrow()->IsHidden(), step.right) << step.at;
    }
    EXPECT_EQ(calls.size(), 4u) << "every press runs the callback, also at the bound";
    EXPECT_FLOAT_EQ(other, 0.0f) << "only the first pointer is bound";

    // An empty range keeps the value and shows an empty gauge.
    slider->SetRange(0.5f, 0.5f, 0.1f);
    EXPECT_FLOAT_EQ(volume, 0.75f);
    EXPECT_FLOAT_EQ(back->GetValue(), 0.0f);
    slider->SyncValue();
    EXPECT_FLOAT_EQ(front->GetValue(), 0.0f);
    gCalls = nullptr;
}

TEST_F(GraphicMenus, ASlidersLabelLeavesRoomForItsWholeGaugeHoweverMuchOfItTheRowShows)
{
    Page page;
    auto* slider = page.Add<W2dGraphicSliderMenu>();
    auto* label = new W2dPictureItem("FE_MAIN_BORDER_TEX", -1.0f, nullptr);
    label->AddRef();
    label->Create();
    label->SetSize({0.3f, 0.0625f, 0.0f});
    slider->SetLabel(label);
    label->HbRoot::Release();
    slider->SetGaugeWidth({0.25f, 0.0625f, 0.0f});
    const float whole = 0.650004f * 0.25f + 2.0f * 0.0625f;
    EXPECT_FLOAT_EQ(slider->GetLabelWidth(), 0.3f + whole);
    // The opening wipe has shown a few columns of the row: the gauge is drawn shorter for now.
    slider->RevealRow(0, 14);
    EXPECT_FLOAT_EQ(slider->GetLabelWidth(), 0.3f + whole);
    slider->SetLabelSize({0.75f, 0.0625f, 0.0f});
    Vector size = {0.0f, 0.0f, 0.0f};
    slider->GetLabel()->GetSize(&size);
    EXPECT_FLOAT_EQ(size.x, 0.75f - whole);
}

TEST_F(GraphicMenus, ASliderWithoutAParentHasNoPartsAndOneWithoutAValueIgnoresTheValueActions)
{
    auto* lone = new W2dGraphicSliderMenu(nullptr);
    lone->AddRef();
    EXPECT_EQ(lone->GetLeftArrow(), nullptr);
    EXPECT_EQ(lone->GetBackGauge(), nullptr);
    lone->Release();

    Page page;
    auto* slider = page.Add<W2dGraphicSliderMenu>();
    int changes = 0;
    slider->SetCallback([](void* c) { return ++*static_cast<int*>(c), 1; }, &changes, W2dMenu::kChoose);
    page.root->SetState(W2dMenu::kOpen);
    Frame(page.root, 1.0, {VK_RIGHT});
    EXPECT_EQ(changes, 0);
}

TEST_F(GraphicMenus, AChoiceStaysWithinItsValuesAndChooseRunsItsOwnCallbackThenTheEntrys)
{
    Page page;
    auto* choice = page.Add<W2dGraphicChoiceMenu>();
    std::vector<W2dPictureItem*> values;
    for (int i = 0; i < 3; ++i)
    {
        auto* value = new W2dPictureItem("UI_LABEL_TEX", -1.0f, nullptr);
        value->AddRef();
        value->Create();
        EXPECT_EQ(choice->AddChoice(value), 1);
        value->HbRoot::Release();
        values.push_back(value);
    }
    EXPECT_TRUE(values[0]->IsHidden());
    std::vector<std::string> calls;
    gCalls = &calls;
    choice->SetChooseCallback(Log, const_cast<char*>("own"));
    choice->SetCallback(Log, const_cast<char*>("kind 5"), W2dMenu::kChoose);
    int32_t index = 7; // from damaged preferences
    choice->SetValuePointer(&index);
    EXPECT_EQ(index, 2) << "clamped on bind";
    page.root->SetState(W2dMenu::kOpen);

    struct Step
    {
        std::initializer_list<uint8_t> keys;
        int32_t index;
        bool left, right;
    };
    const Step steps[] = {
        {{VK_RIGHT}, 2, true, false}, // at the last value: kept
        {{VK_LEFT}, 1, true, true},   //
        {{VK_LEFT}, 0, false, true},  //
        {{VK_LEFT}, 0, false, true},  // no wrap-around
    };
    double at = 1.0;
    for (const Step& step : steps)
    {
        Frame(page.root, at += 0.1, step.keys);
        EXPECT_EQ(index, step.index) << at;
        EXPECT_FALSE(values[size_t(step.index)]->IsHidden()) << at;
        EXPECT_EQ(!choice->GetLeftArrow()->IsHidden(), step.left) << at;
        EXPECT_EQ(!choice->GetRightArrow()->IsHidden(), step.right) << at;
    }
    EXPECT_EQ(calls, std::vector<std::string>(4, "kind 5"));
    calls.clear();
    Frame(page.root, at += 0.1, {VK_RETURN});
    EXPECT_EQ(calls, (std::vector<std::string>{"own", "kind 5"}));

    // An index that went out of range behind the choice's back is clamped before use.
    index = -4;
    Frame(page.root, at += 0.1);
    EXPECT_EQ(index, 0);
    gCalls = nullptr;
}

} // namespace
} // namespace uitest
