// The fixture of the in-play and closing states (map, pause label, game over, label pages,
// debriefing, credits, artworks): the front end's bare manager and profile, the game's key-hint
// themes, a keyboard bound in the contexts those states push, sounds of the test's own, the real
// clock under the test's hand, and target states that record how they were reached.
#pragma once

#include "boardcontrol.h"
#include "fontwriter.h"
#include "frontend_fixture.h"
#include "groupwriter.h"
#include "hbinputmanager.h"
#include "hbresource.h"
#include "w2dgenericitem.h"
#include "w2dlabel.h"
#include "win32keyboard.h"

#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace fetest
{

/// A target that counts its entries and resumes.
class Target : public BareState
{
public:
    explicit Target(int32_t id) : BareState(id) {}
    void Enter() override
    {
        GameState::Enter();
        ++enters;
    }
    void Resume() override
    {
        GameState::Resume();
        ++resumes;
    }
    int enters = 0;
    int resumes = 0;
};

class PlayStates : public FrontEndTest
{
protected:
    static constexpr int64_t kT0 = int64_t(1) << 40;

    void SetUp() override
    {
        FrontEndTest::SetUp();
        if (HasFatalFailure())
            return;
        mClocks->SetReal(kT0);
        ResourceGroupResetLayers();
        GameKeyHintBar()->CreateThemes();
        mInput = std::make_unique<uitest::InjectedInput>();
        struct Binding
        {
            const char* context;
            const char* action;
            const char* key;
        };
        const Binding bindings[] = {
            {"Map", "MAP_BACK", "VK_M"},
            {"Map", "MAP_ESC", "VK_ESCAPE"},
            {"Label", "LABEL_NEXT", "VK_RETURN"},
            {"Label", "LABEL_ESC", "VK_ESCAPE"},
            {"Menu", "MENU_CHOOSE", "VK_RETURN"},
            {"Menu", "MENU_UP", "VK_BACK"},
            {"Menu", "MENU_NEXT", "VK_DOWN"},
            {"Menu", "MENU_PREVIOUS", "VK_UP"},
            {"UI_TEST", "CMD_QUIT_CREDITS", "VK_SPACE"},
        };
        HbInputManager* input = HbInputManager::Instance();
        for (const Binding& b : bindings)
        {
            const bool own = std::string(b.context) != "UI_TEST";
            if (own)
                input->PushCommandContext(b.context);
            ASSERT_TRUE(mInput->Bind(b.action, b.key)) << b.action;
            if (own)
                input->PopCommandContext(b.context);
        }
    }

    void TearDown() override
    {
        GameState* current = mManager->GetCurrentState();
        if (current && current->IsEntered())
            current->Leave();
        mManager->StopLoadingScreen();
        mManager->SetCurrentState(nullptr);
        for (GameState* state : mOwned)
            delete state; // each deletes what it reaches
        mOwned.clear();
        if (LabelList* labels = LabelList::Instance())
            labels->Clear();
        if (ArtworkList* artworks = ArtworkList::Instance())
            artworks->Clear();
        ResourceGroupUnloadAll();
        mInput.reset();
        mSounds.reset();
        HbResourceManager* manager = HbResourceManager::Instance();
        while (manager->GetPathCount("ID_ARIAL_BLACK_FONT") > 0)
            manager->RemovePath("ID_ARIAL_BLACK_FONT");
        FrontEndTest::TearDown();
    }

    /// The sound layer with tones under the ids, the log cleared.
    void UseSounds(std::initializer_list<const char*> ids)
    {
        mSounds = std::make_unique<uitest::Sounds>(ids);
        ASSERT_TRUE(mSounds->Started());
    }

    /// A state holding the profile; the graph's root deletes it.
    template <class State> State* Make(State* state)
    {
        state->SetProfile(mProfile);
        return state;
    }
    /// The root of a graph of states the test owns: deleted with every state it reaches.
    template <class State> State* Root(State* state)
    {
        mOwned.push_back(Make(state));
        return state;
    }

    /// One game-manager tick at the time (seconds after kT0) with the keys held for it.
    void Frame(double at, std::initializer_list<uint8_t> keys = {})
    {
        mClocks->SetReal(kT0 + uitest::Ticks(at));
        for (uint8_t key : keys)
            mInput->Press(key);
        mManager->Tick();
        for (uint8_t key : keys)
            mInput->Lift(key);
    }

    /// A group of the test's own: its script made of the lines (CreateLabel, add_ressource...).
    static void Group(const std::string& name, const std::vector<std::string>& lines)
    {
        std::string script;
        for (const std::string& line : lines)
            script += line + "\r\n";
        ASSERT_EQ(GroupWriter::WriteText(name + ".scr", script), 1);
    }

    /// A label or artwork line showing the texture over a quarter of the screen with the caption.
    static std::string Slide(const char* command, const std::string& texture, const std::string& caption,
                             float x = 0.25f, float y = 0.25f)
    {
        return std::string(command) + " " + texture + " INVALID_RESOURCE_ID " + caption + " " + std::to_string(x) +
               " " + std::to_string(y) + " 0.5 0.5 0";
    }

    /// The texts' font: every printable character with width and no ink, so only pictures show.
    static void BlankFont()
    {
        std::vector<OutlineGlyph> glyphs;
        for (uint32_t code = 32; code < 127; ++code)
            glyphs.push_back({code, {}, 0.5f});
        std::filesystem::create_directories("fonts");
        ASSERT_TRUE(FontWriter::WriteText("fonts/Blank.met", FontWriter::Metrics3("Blank", glyphs)));
        HbResourceManager::Instance()->AddPath("ID_ARIAL_BLACK_FONT", "fonts\\Blank.met");
    }

    static bool Shown(W2dGenericItem* item) { return item && !item->IsHidden(); }
    static Rgba Colour(W2dGenericItem* item)
    {
        Rgba c[4] = {};
        item->GetCornerColours(&c[0], &c[1], &c[2], &c[3]);
        return c[0];
    }
    static bool Is(const Rgba& c, uint8_t r, uint8_t g, uint8_t b, uint8_t a)
    {
        return c.red == r && c.green == g && c.blue == b && c.alpha == a;
    }
    static std::string ContextName() { return HbInputManager::Instance()->GetCommandContextName(); }
    static int32_t TopTheme() { return GameKeyHintBar()->GetTopThemeId(); }

    std::unique_ptr<uitest::InjectedInput> mInput;
    std::unique_ptr<uitest::Sounds> mSounds;
    std::vector<GameState*> mOwned;
};

} // namespace fetest
