// The key-hint bar: scripted pushes, pops, shows, hides, updates, registrations, builds and releases on
// spy themes give exactly the theme calls of the bar's rules; the theme base's bits and container.
#include "boardcontrol.h"
#include "hbclock.h"
#include "ui_fixture.h"
#include "w2dgraphiccontainer.h"
#include "w2ditemeffect.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace uitest
{
namespace
{

std::vector<std::string> gCalls;

/// A theme that writes each call and its answer to the log and otherwise behaves as the base.
class Spy : public BoardControlTheme
{
public:
    explicit Spy(const char* name) : mName(name) {}
    int32_t Build() override { return Log("Build", BoardControlTheme::Build()); }
    int32_t Show() override { return Log("Show", BoardControlTheme::Show()); }
    int32_t Update() override { return Log("Update", BoardControlTheme::Update()); }
    int32_t Hide() override { return Log("Hide", BoardControlTheme::Hide()); }
    int32_t Release() override { return Log("Release", BoardControlTheme::Release()); }

protected:
    int32_t Log(const char* call, int32_t answer)
    {
        gCalls.push_back(mName + "." + call + "=" + std::to_string(answer));
        return answer;
    }
    std::string mName;
};

/// The in-game face: while the game is in play its own update shows it again.
class InGameSpy : public Spy
{
public:
    InGameSpy() : Spy("G") {}
    int32_t Update() override
    {
        if (IsBuilt() && !(GetState() & kShown))
            Show();
        return Log("Update", BoardControlTheme::Update());
    }
};

/// A bar with A as 2, B as 4, G as 1 and a blank 0, the three built through the bar (so hidden); C is
/// registered as 7 by the scripts that want it, built outside the bar.
struct Stage
{
    Stage()
    {
        for (Spy* theme : {mA, mB, mC, static_cast<Spy*>(mG)})
            theme->AddRef();
        EXPECT_EQ(mBar.RegisterTheme(0, nullptr), 1);
        EXPECT_EQ(mBar.RegisterTheme(2, mA), 1);
        EXPECT_EQ(mBar.RegisterTheme(4, mB), 1);
        EXPECT_EQ(mBar.RegisterTheme(1, mG), 1);
        for (int32_t id : {2, 4, 1})
            EXPECT_EQ(mBar.BuildTheme(id), 1);
        gCalls.clear();
    }

    ~Stage()
    {
        mBar.DestroyAll();
        for (Spy* theme : {mA, mB, mC, static_cast<Spy*>(mG)})
        {
            EXPECT_EQ(theme->GetRefCount(), 1) << "the bar dropped every reference it took";
            theme->HbRoot::Release();
        }
        gCalls.clear();
    }

    /// One scripted step: "push 2", "pop 4", "popall", "show", "hide", "update", "top", "build 2",
    /// "release 2", "register 5 A" (or "-" for no object), "buildC" (C built outside the bar).
    int32_t Run(const std::string& step)
    {
        char verb[16] = {};
        int id = 0;
        char object[4] = {};
        int fields = std::sscanf(step.c_str(), "%15s %d %3s", verb, &id, object);
        const std::string v = verb;
        if (v == "push")
            return mBar.PushTheme(id);
        if (v == "pop")
            return mBar.PopTheme(id);
        if (v == "popall")
            return mBar.PopAll(), 1;
        if (v == "show")
            return mBar.Show();
        if (v == "hide")
            return mBar.Hide();
        if (v == "update")
            return mBar.Update();
        if (v == "top")
            return mBar.GetTopThemeId();
        if (v == "build")
            return mBar.BuildTheme(id);
        if (v == "release")
            return mBar.ReleaseTheme(id);
        if (v == "buildC")
            return mC->Build();
        if (v == "register" && fields == 3)
        {
            const std::string o = object;
            BoardControlTheme* theme = o == "A" ? mA : o == "B" ? mB : o == "C" ? mC : nullptr;
            return mBar.RegisterTheme(id, theme);
        }
        ADD_FAILURE() << "unknown step " << step;
        return -1;
    }

    BoardControl mBar;
    Spy* mA = new Spy("A");
    Spy* mB = new Spy("B");
    Spy* mC = new Spy("C");
    InGameSpy* mG = new InGameSpy();
};

struct Script
{
    const char* what;
    std::vector<std::pair<std::string, int32_t>> steps; // step, its answer
    std::vector<std::string> calls;
};

TEST(BoardControl, ScriptedSequencesGiveExactlyTheThemeCalls)
{
    const Script scripts[] = {
        {"pushing 0 blanks the bar",
         {{"top", 0}, {"push 2", 1}, {"top", 2}, {"push 0", 1}, {"top", 0}, {"update", 1}},
         {"A.Show=1", "A.Hide=1"}},
        {"pushing while hidden hides, a later show shows",
         {{"hide", 0}, {"push 2", 1}, {"show", 0}},
         {"A.Hide=0", "A.Show=1"}},
        {"popping a theme that is not on top changes nothing",
         {{"push 2", 1}, {"push 4", 1}, {"pop 2", 0}, {"top", 4}, {"pop 99", 0}},
         {"A.Show=1", "A.Hide=1", "B.Show=1"}},
        {"the same theme twice stands twice",
         {{"push 2", 1}, {"push 2", 1}, {"pop 2", 1}, {"top", 2}, {"pop 2", 1}, {"pop 2", 0}},
         {"A.Show=1", "A.Hide=1", "A.Show=1", "A.Hide=1", "A.Show=1", "A.Hide=1"}},
        {"show on a visible bar and hide on a hidden one call nothing",
         {{"push 2", 1}, {"show", 0}, {"hide", 0}, {"hide", 0}, {"push 4", 1}, {"show", 0}},
         {"A.Show=1", "A.Hide=1", "A.Hide=0", "B.Hide=0", "B.Show=1"}},
        {"update reaches only the top, and nothing on an empty stack",
         {{"update", 0}, {"push 2", 1}, {"push 4", 1}, {"update", 1}, {"hide", 0}, {"update", 1}},
         {"A.Show=1", "A.Hide=1", "B.Show=1", "B.Update=1", "B.Hide=1", "B.Update=0"}},
        {"the in-game theme hidden with the bar comes back by its own update",
         {{"push 1", 1}, {"hide", 0}, {"update", 1}},
         {"G.Show=1", "G.Hide=1", "G.Show=1", "G.Update=1"}},
        {"duplicate registrations are refused",
         {{"register 5 A", 0}, {"register 6 -", 0}, {"register 2 C", 0}, {"register 7 C", 1}, {"top", 0}},
         {}},
        {"PopAll hides the stack and shows nothing below",
         {{"push 2", 1}, {"push 4", 1}, {"popall", 1}, {"top", 0}, {"update", 0}, {"pop 4", 0}},
         {"A.Show=1", "A.Hide=1", "B.Show=1", "B.Hide=1", "A.Hide=0"}},
        {"a theme built outside the bar keeps a stale shown bit until hidden",
         {{"buildC", 1}, {"register 7 C", 1}, {"push 7", 1}, {"hide", 0}, {"show", 0}},
         {"C.Build=1", "C.Show=0", "C.Hide=1", "C.Show=1"}},
        {"build and release go through the registered theme only",
         {{"build 2", 0},
          {"release 2", 1},
          {"build 2", 1},
          {"build 0", 0},
          {"release 0", 0},
          {"build 99", 0},
          {"release 99", 0}},
         {"A.Build=0", "A.Hide=0", "A.Hide=0", "A.Release=1", "A.Build=1", "A.Hide=1"}},
    };
    for (const Script& script : scripts)
    {
        SCOPED_TRACE(script.what);
        Stage stage;
        for (const auto& [step, answer] : script.steps)
            EXPECT_EQ(stage.Run(step), answer) << step;
        EXPECT_EQ(gCalls, script.calls);
        // Whatever the script did, every theme is still built.
        EXPECT_EQ(stage.mA->IsBuilt(), 1);
        EXPECT_EQ(stage.mB->IsBuilt(), 1);
    }
}

TEST(BoardControl, ShowingAThemeRestartsItsItemsEffectsAndDestroyAllReleasesEveryTheme)
{
    Stage stage;
    BoardControl& mBar = stage.mBar;
    Spy *mA = stage.mA, *mB = stage.mB;
    InGameSpy* mG = stage.mG;
    W2dGraphicContainer* container = mA->GetContainer();
    ASSERT_NE(container, nullptr);
    auto* item = new W2dGenericItem();
    container->AddChild(item);
    auto* blink = new W2dBlinkEffect(HbPerformanceFrequency());
    item->AddEffect(blink);
    item->StopAllEffects();
    ASSERT_EQ(item->AreEffectsStopped(), 1);
    EXPECT_EQ(mBar.PushTheme(2), 1);
    EXPECT_EQ(item->AreEffectsStopped(), 0);
    EXPECT_EQ(item->IsHidden(), 0);
    EXPECT_EQ(mA->GetState(), uint32_t(BoardControlTheme::kBuilt | BoardControlTheme::kShown));

    mBar.DestroyAll();
    EXPECT_EQ(mBar.GetStackDepth(), 0);
    EXPECT_EQ(mBar.GetTheme(2), nullptr);
    for (Spy* theme : {mA, mB, static_cast<Spy*>(mG)})
    {
        EXPECT_EQ(theme->IsBuilt(), 0);
        EXPECT_EQ(theme->GetContainer(), nullptr);
        EXPECT_EQ(theme->GetRefCount(), 1);
    }
    // DestroyAll pops without hiding, then releases every theme.
    const std::vector<std::string> calls = {"A.Show=1", "A.Release=1", "B.Release=1", "G.Release=1"};
    std::vector<std::string> sorted = gCalls;
    std::sort(sorted.begin() + 1, sorted.end());
    EXPECT_EQ(sorted, calls);
}

} // namespace
} // namespace uitest
