// Menus: a three-level tree driven frame by frame by injected menu actions (wrap-around, one step per
// frame, choosing leaves and nodes, backing out), properties and layout, the key-hint theme while
// shown, the action cache across rebinding, the reference cycle that Clear breaks, and a drawn menu.
#include "boardcontrol.h"
#include "framecheck.h"
#include "hbcommand.h"
#include "ui_fixture.h"
#include "w2dmenu.h"
#include "w2dsurfacegraphicitem.h"
#include "w2dtextgraphicitem.h"
#include "win32keyboard.h"

#include <memory>
#include <string>
#include <vector>

namespace uitest
{
namespace
{

const char* const kSelect = "SD_I_SELECT_S2DSB";
const char* const kConfirm = "SD_I_CONFIRM_S2DSB";
const char* const kCancel = "SD_I_CANCEL_S2DSB";
constexpr uint32_t kLabelTexture = 0xFF40A0E0u;
constexpr Rgba kLit = {255, 255, 255, 255};
constexpr Rgba kDim = {128, 128, 128, 255};

void Lit(W2dGenericItem* item)
{
    item->SetColour(kLit);
}

void Dim(W2dGenericItem* item)
{
    item->SetColour(kDim);
}

int32_t Count(void* context)
{
    ++*static_cast<int*>(context);
    return 1;
}

int32_t Refuse(void* context)
{
    ++*static_cast<int*>(context);
    return 0;
}

/// A console command that answers done or failed as told.
class Answering : public HbCommand
{
public:
    Answering(const char* name, int answer) : HbCommand(name, ""), mAnswer(answer) {}
    int Execute(const HbCommandArgs&, int32_t) override { return ++mRuns, mAnswer; }
    int mAnswer;
    int mRuns = 0;
};

/// root: play, options, credits, quit; options: sound, video; video: low, high. Each menu has a label
/// picture 0.3 x 0.05 except the root, which is no row of anything; the test holds one reference on every menu so that
/// it can watch the counts.
struct Tree
{
    W2dMenu *root, *play, *options, *credits, *quit, *sound, *video, *low, *high;
    std::vector<W2dMenu*> all;

    W2dMenu* Entry(W2dMenu* parent)
    {
        auto* menu = new W2dMenu(parent);
        menu->AddRef();
        all.push_back(menu);
        if (!parent)
            return menu;
        auto* label = new W2dPictureItem("UI_LABEL_TEX", -1.0f, nullptr);
        label->AddRef();
        label->SetPriority(90);
        label->Create();
        label->SetSize({0.3f, 0.05f, 0.0f});
        label->Hide();
        menu->SetLabel(label);
        label->HbRoot::Release();
        parent->AddEntry(menu);
        return menu;
    }

    Tree()
    {
        root = Entry(nullptr);
        play = Entry(root);
        options = Entry(root);
        credits = Entry(root);
        quit = Entry(root);
        sound = Entry(options);
        video = Entry(options);
        low = Entry(video);
        high = Entry(video);
    }

    ~Tree()
    {
        // Clearing the root reaches the whole tree; menus taken out of it are cleared on their own.
        root->Clear();
        for (W2dMenu* menu : all)
        {
            menu->Clear();
            menu->Release();
        }
    }
};

class Menus : public UiTest
{
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        mResources->SolidTexture("UI_LABEL_TEX", 4, 4, kLabelTexture);
        mSounds = std::make_unique<Sounds>(std::initializer_list<const char*>{kSelect, kConfirm, kCancel});
        ASSERT_TRUE(mSounds->Started());
        mInput = std::make_unique<InjectedInput>();
        ASSERT_TRUE(mInput->Bind("MENU_NEXT", "VK_DOWN"));
        ASSERT_TRUE(mInput->Bind("MENU_PREVIOUS", "VK_UP"));
        ASSERT_TRUE(mInput->Bind("MENU_CHOOSE", "VK_RETURN"));
        ASSERT_TRUE(mInput->Bind("MENU_UP", "VK_ESCAPE"));
        mInput->Frame();
    }

    void TearDown() override
    {
        mInput.reset();
        mSounds.reset();
        UiTest::TearDown();
    }

    /// One frame with the keys held: the input manager reads them, the receiver handles its input.
    W2dMenu* Frame(W2dMenu* receiver, std::initializer_list<uint8_t> keys = {})
    {
        for (uint8_t key : keys)
            mInput->Press(key);
        mInput->Frame();
        W2dMenu* next = receiver->HandleInput();
        for (uint8_t key : keys)
            mInput->Lift(key);
        return next;
    }

    static std::vector<std::string> Times(int n, const char* sound) { return std::vector<std::string>(n, sound); }

    std::unique_ptr<Sounds> mSounds;
    std::unique_ptr<InjectedInput> mInput;
};

TEST_F(Menus, NextAndPreviousWrapAroundWithOneSelectSoundEachAndPreviousWins)
{
    Tree tree;
    W2dMenu* root = tree.root;
    int inputs = 0;
    root->SetInputCallback(Count, &inputs);
    root->Show();
    EXPECT_EQ(root->GetState(), W2dMenu::kOpening);
    EXPECT_EQ(Frame(root), root);
    EXPECT_EQ(root->GetState(), W2dMenu::kOpen) << "the base layout opens at once";
    EXPECT_EQ(root->GetCurrentEntry(), tree.play);
    EXPECT_TRUE(mSounds->Played().empty());

    struct Step
    {
        std::initializer_list<uint8_t> keys;
        W2dMenu* current;
    };
    const Step steps[] = {
        {{VK_UP}, tree.quit},          // first to last
        {{VK_DOWN}, tree.play},        // last to first
        {{VK_DOWN}, tree.options},     //
        {{VK_DOWN, VK_UP}, tree.play}, // both pressed: previous only
        {{}, tree.play},               // nothing pressed
    };
    int frame = 0;
    for (const Step& step : steps)
    {
        EXPECT_EQ(Frame(root, step.keys), root) << frame;
        EXPECT_EQ(root->GetCurrentEntry(), step.current) << frame;
        ++frame;
    }
    EXPECT_EQ(mSounds->Played(), Times(4, kSelect));
    EXPECT_EQ(inputs, 4) << "the input callback runs before every step";
    // An empty menu ignores input and answers itself.
    EXPECT_EQ(Frame(tree.low, {VK_DOWN}), tree.low);
    EXPECT_EQ(tree.low->GetState(), W2dMenu::kOpening);
}

TEST_F(Menus, ChoosingLeavesRunsCallbacksAndChoosingNodesOpensThemAtTheFirstEntry)
{
    Tree tree;
    W2dMenu* root = tree.root;
    int chosen = 0, refusals = 0;
    tree.play->SetCallback(Count, &chosen, W2dMenu::kChoose);
    root->Show();
    Frame(root);

    // A leaf: its callback, no sound, the menu stays the receiver.
    EXPECT_EQ(Frame(root, {VK_RETURN}), root);
    EXPECT_EQ(chosen, 1);
    EXPECT_TRUE(mSounds->Played().empty());

    // A refused confirm leaves the menu as it is.
    root->SetCallback(Refuse, &refusals, W2dMenu::kConfirm);
    EXPECT_EQ(Frame(root, {VK_RETURN}), root);
    EXPECT_EQ(chosen, 1);
    EXPECT_EQ(refusals, 1);
    root->SetCallback(nullptr, nullptr, W2dMenu::kConfirm);

    // A refused choose sends the owner back to its root.
    tree.play->SetCallback(Refuse, &refusals, W2dMenu::kChoose);
    EXPECT_EQ(Frame(root, {VK_RETURN}), nullptr);
    EXPECT_EQ(refusals, 2);

    // A node: the confirm sound, closing, handing over to the node at its first entry.
    tree.options->SetCurrentIndex(1);
    Frame(root, {VK_DOWN});
    mSounds->Clear();
    EXPECT_EQ(Frame(root, {VK_RETURN}), root);
    EXPECT_EQ(mSounds->Played(), std::vector<std::string>{kConfirm});
    EXPECT_EQ(root->GetState(), W2dMenu::kClosing);
    EXPECT_EQ(root->GetActiveMenu(), tree.options);
    EXPECT_EQ(tree.options->GetCurrentEntry(), tree.sound);

    // Three levels down and back: the owner follows the hand-over a closing menu would make.
    W2dMenu* receiver = tree.options;
    receiver->Show();
    Frame(receiver, {VK_DOWN});
    EXPECT_EQ(Frame(receiver, {VK_RETURN}), tree.options);
    receiver = tree.options->GetActiveMenu();
    ASSERT_EQ(receiver, tree.video);
    receiver->Show();
    Frame(receiver);
    mSounds->Clear();
    EXPECT_EQ(Frame(receiver, {VK_ESCAPE}), tree.video);
    EXPECT_EQ(tree.video->GetState(), W2dMenu::kClosing);
    EXPECT_EQ(tree.video->GetActiveMenu(), tree.options);
    EXPECT_EQ(tree.options->GetCurrentEntry(), tree.sound) << "the parent opens at its first entry";

    // Back plays its sound even when the back callback then refuses; the refusal returns null.
    tree.video->SetCallback(Refuse, &refusals, W2dMenu::kBack);
    EXPECT_EQ(Frame(receiver, {VK_ESCAPE}), nullptr);
    EXPECT_EQ(mSounds->Played(), Times(2, kCancel));
    // A back press on a root is ignored.
    EXPECT_EQ(Frame(root, {VK_ESCAPE}), root);
    EXPECT_EQ(mSounds->Played(), Times(2, kCancel));
}

/// The row and the menu a callback acts on.
struct Removal
{
    W2dMenu* menu;
    W2dMenu* row;
};

int32_t RemoveRow(void* context)
{
    auto* removal = static_cast<Removal*>(context);
    removal->row->Clear();
    removal->menu->RemoveEntry(removal->row);
    return 1;
}

int32_t ClearPage(void* context)
{
    static_cast<W2dMenu*>(context)->Clear();
    return 1;
}

TEST_F(Menus, CallbacksMayRemoveTheChosenRowOrClearTheirOwnPage)
{
    // Rows held only by their menu, each a node with one leaf below it.
    auto* root = new W2dMenu(nullptr);
    root->AddRef();
    auto node = [](W2dMenu* parent)
    {
        auto* menu = new W2dMenu(parent);
        parent->AddEntry(menu);
        menu->AddEntry(new W2dMenu(menu));
        return menu;
    };
    node(root);
    node(root);
    root->Show();
    Frame(root);

    for (int32_t kind : {W2dMenu::kChoose, W2dMenu::kConfirm})
    {
        SCOPED_TRACE(kind);
        W2dMenu* chosen = root->GetCurrentEntry();
        ASSERT_NE(chosen, nullptr);
        Removal removal = {root, chosen};
        (kind == W2dMenu::kChoose ? chosen : root)->SetCallback(RemoveRow, &removal, kind);
        W2dMenu* next = Frame(root, {VK_RETURN});
        EXPECT_EQ(next, root);
        for (int32_t i = 0; i < root->GetEntryCount(); ++i)
            EXPECT_NE(root->GetEntry(i), chosen);
        EXPECT_NE(root->GetActiveMenu(), chosen) << "a removed row is not opened";
        root->SetCallback(nullptr, nullptr, W2dMenu::kConfirm);
    }
    EXPECT_EQ(root->GetEntryCount(), 0);

    // A page whose back callback clears it has no parent to go back to: the owner starts again.
    W2dMenu* page = node(root);
    page->AddRef();
    root->SetCurrentIndex(0);
    Frame(root, {VK_RETURN});
    ASSERT_EQ(root->GetActiveMenu(), page);
    page->Show();
    Frame(page);
    page->SetCallback(ClearPage, page, W2dMenu::kBack);
    EXPECT_EQ(Frame(page, {VK_ESCAPE}), nullptr);
    EXPECT_EQ(page->GetParent(), nullptr);
    page->Release();
    root->Clear();
    root->Release();
}

TEST_F(Menus, ACommandThatRanCountsAsChosen)
{
    Tree tree;
    Answering done("zzMenuDone", 1), failed("zzMenuFailed", 0);
    struct Case
    {
        const char* command;
        W2dMenu* (*expected)(Tree&);
    };
    const Case cases[] = {
        {"zzMenuDone", [](Tree& t) { return t.root; }},
        {"zzMenuFailed", [](Tree&) -> W2dMenu* { return nullptr; }},
        {"zzMenuNoSuchCommand", [](Tree&) -> W2dMenu* { return nullptr; }},
    };
    tree.root->Show();
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.command);
        tree.play->SetCommand(c.command);
        EXPECT_EQ(Frame(tree.root, {VK_RETURN}), c.expected(tree));
    }
    EXPECT_EQ(done.mRuns, 1);
    EXPECT_EQ(failed.mRuns, 1);
    // A choose callback wins over the command; without either the choice goes on.
    int chosen = 0;
    tree.play->SetCallback(Count, &chosen, W2dMenu::kChoose);
    EXPECT_EQ(tree.play->Notify(W2dMenu::kChoose), 1);
    EXPECT_EQ(chosen, 1);
    EXPECT_EQ(done.mRuns, 1);
    EXPECT_EQ(tree.quit->Notify(W2dMenu::kChoose), 1);
    EXPECT_EQ(tree.quit->Notify(42), 1);
}

TEST_F(Menus, PropertiesReachTheWholeTreeLayoutGivesTheCurrentOneToTheCurrentLabelAndTitlesFollowTheMenu)
{
    Tree tree;
    W2dMenu* root = tree.root;
    EXPECT_EQ(root->SetProperty(1, Lit), 1);
    EXPECT_EQ(root->SetProperty(0, Dim), 1);
    for (W2dMenu* menu : tree.all)
    {
        EXPECT_EQ(menu->GetProperty(1), &Lit);
        EXPECT_EQ(menu->GetProperty(0), &Dim);
    }
    EXPECT_EQ(root->GetProperty(3), nullptr);
    root->SetPosition({0.1f, 0.2f, 0.5f});
    root->SetStep({0.0f, 0.1f, 0.0f});
    EXPECT_FLOAT_EQ(tree.high->GetPosition().y, 0.2f) << "position and step reach the whole tree";
    root->SetCurrentIndex(2);
    EXPECT_EQ(root->Layout(), root);
    for (int32_t i = 0; i < 4; ++i)
    {
        W2dGenericItem* label = root->GetEntry(i)->GetLabel();
        EXPECT_EQ(label->GetUpdateCallback(), i == 2 ? &Lit : &Dim) << i;
        Vector at;
        label->GetPosition(&at);
        EXPECT_NEAR(at.x, 0.1f, 1e-6f);
        EXPECT_NEAR(at.y, 0.2f + 0.1f * float(i), 1e-6f) << i;
    }
    // The sub-menus' labels are not the root's to lay out.
    EXPECT_EQ(tree.sound->GetLabel()->GetUpdateCallback(), nullptr);

    struct Case
    {
        int32_t index;
        int32_t expected;
    };
    for (const Case& c : {Case{10, 3}, Case{3, 3}, Case{1, 1}, Case{0, 0}, Case{-5, 0}})
    {
        root->SetCurrentIndex(c.index);
        EXPECT_EQ(root->GetCurrentEntry(), root->GetEntry(c.expected)) << c.index;
    }
    EXPECT_EQ(root->IsFirstEntry(tree.play), 1);
    EXPECT_EQ(root->IsFirstEntry(tree.quit), 0);
    EXPECT_EQ(tree.low->IsFirstEntry(nullptr), 0);

    // A title text: a hidden grey localized text, shown and hidden with its menu.
    mResources->Text("TX_MENU_OPTIONS_TXT", "Options");
    EXPECT_EQ(tree.options->HasTitle(), 0);
    tree.options->SetTitleText("TX_MENU_OPTIONS_TXT", {0.5f, 0.1f, 0.0f});
    ASSERT_EQ(tree.options->HasTitle(), 1);
    auto* title = HbCastTo<W2dTextGraphicItem>(tree.options->GetTitle());
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->GetText(), "Options");
    EXPECT_EQ(title->GetPriority(), 100);
    EXPECT_EQ(title->IsHidden(), 1);
    float charHeight = 0.0f;
    title->GetCharHeight(&charHeight);
    EXPECT_FLOAT_EQ(charHeight, 0.05f);
    Rgba c0, c1, c2, c3;
    title->GetCornerColours(&c0, &c1, &c2, &c3);
    EXPECT_EQ(c3.red, 183);
    EXPECT_EQ(c3.alpha, 255);
    tree.options->Show();
    EXPECT_EQ(title->IsHidden(), 0);
    EXPECT_EQ(tree.sound->GetLabel()->IsHidden(), 0) << "the entries' labels are shown";
    tree.options->Hide();
    EXPECT_EQ(title->IsHidden(), 1);
    // A new title releases the old one.
    title->AddRef();
    tree.options->SetTitle(nullptr);
    EXPECT_EQ(title->IsReleased(), 1);
    EXPECT_EQ(title->GetRefCount(), 1);
    title->HbRoot::Release();

    // Removing every entry clears them: only the test's references are left.
    tree.options->RemoveAllEntries();
    EXPECT_EQ(tree.options->HasEntries(), 0);
    EXPECT_EQ(tree.options->GetCurrentEntry(), nullptr);
    for (W2dMenu* menu : {tree.sound, tree.video, tree.low, tree.high})
        EXPECT_EQ(menu->GetRefCount(), 1);
}

TEST_F(Menus, AThemeIsPushedWhileShownAndPoppedOnlyWhenThisMenuPushedIt)
{
    BoardControl bar;
    auto* theme = new BoardControlTheme();
    bar.RegisterTheme(2, theme);
    bar.BuildTheme(2);
    Tree tree;
    W2dMenu* root = tree.root;
    root->SetBoardControl(&bar);
    EXPECT_EQ(bar.GetStackDepth(), 0);

    // No theme id: nothing pushed.
    root->Show();
    EXPECT_EQ(root->IsShown(), 1);
    EXPECT_EQ(bar.GetStackDepth(), 0);
    root->Hide();
    // An unregistered id is refused and remembered as not pushed.
    root->SetBoardThemeId(9);
    root->Show();
    EXPECT_EQ(root->IsThemePushed(), 0);
    EXPECT_EQ(bar.GetStackDepth(), 0);
    root->Hide();

    root->SetBoardThemeId(2);
    root->Show();
    EXPECT_EQ(bar.GetTopThemeId(), 2);
    EXPECT_EQ(theme->GetState() & BoardControlTheme::kShown, uint32_t(BoardControlTheme::kShown));
    root->Show();
    EXPECT_EQ(bar.GetStackDepth(), 1) << "pushed once";
    // A sub-menu with the same id that never pushed pops nothing.
    tree.options->SetBoardThemeId(2);
    tree.options->Hide();
    EXPECT_EQ(bar.GetStackDepth(), 1);
    // AddEntry hides the menu it adds to, popping its theme.
    W2dMenu* extra = tree.Entry(root);
    EXPECT_EQ(root->IsShown(), 0);
    EXPECT_EQ(bar.GetStackDepth(), 0);
    EXPECT_EQ(root->GetEntryCount(), 5);
    EXPECT_EQ(root->RemoveEntry(extra), 1);
    EXPECT_EQ(root->RemoveEntry(extra), 0);
    EXPECT_EQ(extra->GetParent(), nullptr);
    EXPECT_EQ(root->GetCurrentEntry(), tree.play);
    tree.root->Clear();
    bar.DestroyAll();
}

TEST_F(Menus, TheCachedActionsFollowARebinding)
{
    Tree tree;
    W2dMenu* root = tree.root;
    root->Show();
    Frame(root, {VK_DOWN});
    EXPECT_EQ(root->GetCurrentEntry(), tree.options);
    // New controllers, new actions: the old handles must not be used again.
    mInput.reset();
    mInput = std::make_unique<InjectedInput>();
    Frame(root, {VK_DOWN});
    EXPECT_EQ(root->GetCurrentEntry(), tree.options) << "no action of that name: no step";
    ASSERT_TRUE(mInput->Bind("MENU_NEXT", "VK_RIGHT"));
    Frame(root, {VK_DOWN});
    EXPECT_EQ(root->GetCurrentEntry(), tree.options);
    Frame(root, {VK_RIGHT});
    EXPECT_EQ(root->GetCurrentEntry(), tree.credits);
}

TEST_F(Menus, ClearBreaksTheReferenceCycle)
{
    auto tree = std::make_unique<Tree>();
    // The test holds one reference on each menu; the tree holds the rest.
    EXPECT_EQ(tree->root->GetRefCount(), 1 + 4);
    EXPECT_EQ(tree->options->GetRefCount(), 1 + 1 + 2);
    EXPECT_EQ(tree->low->GetRefCount(), 1 + 1);
    W2dGenericItem* label = tree->play->GetLabel();
    label->AddRef();
    tree->root->Clear();
    for (W2dMenu* menu : tree->all)
        EXPECT_EQ(menu->GetRefCount(), 1) << "only the test's reference is left";
    EXPECT_EQ(tree->play->GetLabel(), nullptr);
    EXPECT_EQ(label->GetRefCount(), 1);
    EXPECT_EQ(label->IsReleased(), 1);
    label->HbRoot::Release();
    tree.reset();
}

TEST_F(Menus, AMenuIsDrawnWithItsCurrentLabelLit)
{
    Tree tree;
    W2dMenu* root = tree.root;
    root->SetProperty(0, Dim);
    root->SetProperty(1, Lit);
    root->SetPosition({0.2f, 0.25f, 0.0f});
    root->SetStep({0.05f, 0.125f, 0.0f});
    root->Show();
    Frame(root, {VK_DOWN});
    Frame(root);
    int32_t width = 0, height = 0;
    std::vector<uint32_t> actual = DrawSurfaces(Screen(), kClear, &width, &height);
    ASSERT_EQ(actual.size(), 640u * 480u);

    Reference expected(width, height, kClear);
    auto modulate = [](uint32_t rgb, const Rgba& c)
    {
        uint32_t out = 0;
        const uint8_t k[3] = {c.blue, c.green, c.red};
        for (int i = 0; i < 3; ++i)
            out |= ((((rgb >> (8 * i)) & 0xFF) * k[i] + 127) / 255) << (8 * i);
        return out;
    };
    for (int32_t i = 0; i < 4; ++i)
    {
        float x = 0.2f + 0.05f * float(i), y = 0.25f + 0.125f * float(i);
        expected.Fill(x, y, 0.3f, 0.05f, modulate(kLabelTexture & 0xFFFFFF, i == 1 ? kLit : kDim));
        expected.IgnoreEdges(x, y, 0.3f, 0.05f, actual);
    }
    EXPECT_EQ(framecheck::CheckFrame("ui_menu", width, height, actual, expected.pixels, 3), "");
}

} // namespace
} // namespace uitest
