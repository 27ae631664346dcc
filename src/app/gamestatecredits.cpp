// GameState_Credits: the credits text broken into lines by a text surface's own wrapping, each
// line a text item with its fades, and one step effect shared by every started line.
#include "gamestatecredits.h"

#include "gameinputaction.h"
#include "gamemenu.h"
#include "gameservices.h"
#include "hbclock.h"
#include "tsfmod.h"
#include "tssoundmodule.h"
#include "w2dgraphiccontainer.h"
#include "w2ditemeffect.h"
#include "w2dsurfacegraphicitem.h"
#include "w2dsurfacelist.h"
#include "w2dtextgraphicitem.h"
#include "w2dtextsurface.h"
#include "wrenderer.h"

#include <string>
#include <vector>

HB_DEFINE_CLASS_DESC(GameState_Credits, GameState);

namespace
{
const char* const kFont = "ID_ARIAL_BLACK_FONT";
constexpr float kCharHeight = 0.04f;

GameInputAction gQuit{"CMD_QUIT_CREDITS"};

/// The text broken into lines as a full-width text surface at the credits' height breaks it.
std::vector<std::string> BreakIntoLines(const std::string& text)
{
    std::vector<std::string> lines;
    WRenderer* renderer = WRenderer::Existing();
    W2dSurfaceList* list = renderer ? renderer->GetSurfaceList() : nullptr;
    auto* surface = new W2dTextSurface(kFont, 0.0f, 0.0f, 1.0f, 0.25f, 0);
    if (!surface)
        return lines;
    surface->AddRef();
    // The list fetches the font the wrapping measures with.
    if (list)
        list->Insert(surface);
    surface->SetTextHeight(kCharHeight);
    surface->SetText(text.c_str());
    for (int32_t i = 0; i < surface->GetLineCount(); ++i)
        lines.push_back(surface->GetLine(i));
    if (list)
        list->Remove(surface);
    surface->Release();
    return lines;
}
} // namespace

GameState_Credits::GameState_Credits() : GameState(kGameStateCredits) {}

GameState_Credits::~GameState_Credits()
{
    ReleaseItems();
}

void GameState_Credits::Enter()
{
    ReleaseItems();
    mLinesStarted = 0;
    TsFModPlaySoundAt("Z_END_STDSB", nullptr);

    if (auto* background = new W2dPictureItem("FE_MAIN_WHITE", -1.0f, nullptr))
    {
        background->AddRef();
        mBackground = background;
        background->SetPriority(-100);
        background->Create();
        background->SetSize({1.0f, 1.0f, 0.0f});
        background->SetPosition({0.0f, 0.0f, 0.0f});
        background->Show();
        background->SetColour({0, 0, 0, 255});
    }
    const auto delay = int64_t(double(HbPerformanceFrequency()) * 0.01);
    if (auto* scroll = new W2dStepMoveEffect(delay, 0.0f, -0.001f, 0.0f))
    {
        scroll->AddRef();
        mScroll = scroll;
    }

    if (auto* lines = new W2dGraphicContainer())
    {
        lines->AddRef();
        mLines = lines;
    }
    const Vector outFrom = {0.0f, 0.17f, 0.0f}, outTo = {0.0f, -0.03f, 0.0f};
    const Vector inFrom = {0.0f, 0.7f, 0.0f}, inTo = {0.0f, 0.9f, 0.0f};
    for (const std::string& text : BreakIntoLines(GetLocalizedText("TX_FRONTEND_CREDITS_TXT")))
    {
        auto* line = new W2dTextGraphicItem(kFont, nullptr);
        if (!line || !mLines)
        {
            delete line;
            break;
        }
        line->SetPriority(98);
        line->Create();
        line->SetSize({1.0f, 0.25f, 0.0f});
        line->SetJustify(0);
        line->SetPosition({0.0f, kStartY, 0.0f});
        line->SetCharHeight(kCharHeight);
        line->SetText(text.c_str());
        line->SetColour({255, 255, 255, 255});
        line->Show();
        mLines->AddChild(line);
        // The fade-out first: inside or past its range it decides the line's alpha for the frame.
        for (W2dItemEffect* fade : {static_cast<W2dItemEffect*>(new W2dPositionFadeEffect(&outFrom, &outTo)),
                                    static_cast<W2dItemEffect*>(new W2dPositionFadeEffect(&inFrom, &inTo))})
            if (fade)
            {
                line->AddEffect(fade);
                fade->Begin(line);
            }
    }
    if (mLines && mLines->GetChildCount() > 0)
        StartLine(0);
}

void GameState_Credits::StartLine(int32_t index)
{
    W2dGenericItem* line = mLines ? mLines->GetChild(index) : nullptr;
    if (!line)
        return;
    line->Show();
    if (mScroll)
        line->AddEffect(mScroll);
    mLinesStarted = index + 1;
}

void GameState_Credits::Update()
{
    const int32_t count = mLines ? mLines->GetChildCount() : 0;
    if (mLinesStarted == count)
    {
        Vector last;
        if (count > 0 && mLines->GetChild(count - 1)->GetPosition(&last) && last.y <= 0.0f)
        {
            SwitchTo(kGameStateSelectMission);
            return;
        }
    }
    else if (mLinesStarted > 0)
    {
        Vector previous;
        if (mLines->GetChild(mLinesStarted - 1)->GetPosition(&previous) && previous.y <= kNextLineY)
            StartLine(mLinesStarted);
    }
    if (mScroll)
        mScroll->Tick();
    if (mLines)
        mLines->Update();
    if (gQuit.IsTriggered())
    {
        SwitchTo(kGameStateSelectMission);
        return;
    }
    GameServices& services = GameServicesTable();
    services.rendererBeginFrame();
    services.rendererEndFrame();
}

void GameState_Credits::ReleaseItems()
{
    if (W2dGraphicContainer* lines = mLines)
    {
        mLines = nullptr;
        lines->Clear();
        lines->HbRoot::Release();
    }
    if (W2dStepMoveEffect* scroll = mScroll)
    {
        mScroll = nullptr;
        scroll->Release();
    }
    MenuReleaseItem(mBackground);
}

void GameState_Credits::Leave()
{
    TsFModStopAllChannels();
    ReleaseItems();
}
