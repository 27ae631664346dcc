// The scenario commands' frame, their registration, and the commands on sectors, the mission,
// texts, fades, the director actor, marks, objectives and the hero's control.
#include "scenariocommands.h"

#include "boardcontroltheme_ingame.h"
#include "gameprofile.h"
#include "gamestate.h"
#include "gamestatemanager.h"
#include "hbclock.h"
#include "hbmath.h"
#include "hbptr.h"
#include "herostatemachine.h"
#include "missionmanager.h"
#include "scenario_local.h"
#include "scenariocamera.h"
#include "scenariocommands_local.h"
#include "scenarioslots.h"
#include "scriptworldmanager.h"
#include "tsactorlayer.h"
#include "tsheroactor.h"
#include "tsmarksystem.h"
#include "tsscenaricdatabase.h"
#include "tsscriptbinding.h"
#include "w2dimagesurface.h"
#include "w3dframe.h"
#include "yoscenaricmark.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <string_view>

namespace scmd
{
int32_t Int(const HbCommandArgs& args, int32_t index)
{
    // Leading digits as the C library reads them; beyond 32 bits the nearest limit.
    const long value = std::strtol(args.GetToken(index).c_str(), nullptr, 10);
    return static_cast<int32_t>(std::clamp<long>(value, INT32_MIN, INT32_MAX));
}

int32_t Truncate(float value)
{
    if (!(value > -2147483648.0f && value < 2147483648.0f))
        return 0;
    return static_cast<int32_t>(value);
}

int64_t SecondsToTicks(double seconds, int64_t perSecond)
{
    // No negative, unbounded or undefined durations from a line: a day at most.
    if (!(seconds > 0))
        return 0;
    return static_cast<int64_t>(std::min(seconds, 86400.0) * static_cast<double>(perSecond));
}

float Real(const HbCommandArgs& args, int32_t index)
{
    return static_cast<float>(HbAtoF(args.GetToken(index).c_str()));
}

const std::string& Text(const HbCommandArgs& args, int32_t index)
{
    return args.GetToken(index);
}

Vector Vec(const HbCommandArgs& args, int32_t index)
{
    return {Real(args, index), Real(args, index + 1), Real(args, index + 2)};
}

int32_t Slot(const HbCommandArgs& args, int32_t index)
{
    const int32_t slot = Int(args, index);
    return ScenarioActorSlots::IsIndex(slot) ? slot : -1;
}

GameProfile* Profile()
{
    GameStateManager* manager = GameStateManager::Existing();
    GameState* state = manager ? manager->GetCurrentState() : nullptr;
    return state ? state->GetProfile() : nullptr;
}

W3dFrame* LevelRoot()
{
    return ScenaricLevelRoot();
}

TsHeroActor* Hero()
{
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    return world ? HbCastTo<TsHeroActor>(world->GetHero()) : nullptr;
}

void CallDirector(const char* method, PyObject* argument)
{
    if (TsActor* director = TsFindActorByName("Director"); director && argument)
        TsActorCallScriptMethod(director, method, argument);
    Py_XDECREF(argument);
    PyErr_Clear();
}

namespace
{
/// Mission end by script or data: the profile's requests and its last mission sector.
void RequestMissionEnd(GameProfile* profile, int32_t end, int32_t gameOver, const std::string& text)
{
    profile->missionEndRequest = end;
    profile->gameOverRequest = gameOver;
    profile->missionEndText = text;
    profile->lastMissionSector = profile->sectorId;
    profile->labelAfterMission = 1;
}

/// Byte-wise order, a shorter equal prefix first.
bool SortsBefore(const std::string& a, const std::string& b)
{
    return std::string_view(a) < std::string_view(b);
}

std::string IdPart(const std::string& id, size_t begin, size_t end)
{
    return id.size() >= end ? id.substr(begin, end - begin) : std::string();
}

void Fade(const HbCommandArgs& args, bool in)
{
    GameStateManager* manager = GameStateManager::Existing();
    if (!manager)
        return;
    if (W2dFadingSurface* overlay = manager->GetFadeOverlay())
    {
        const auto channel = [&](int32_t index) { return static_cast<uint8_t>(Int(args, index) & 0xFF); };
        const Rgba colour = {channel(2), channel(3), channel(4), 255};
        overlay->SetColor(&colour, &colour, &colour, &colour);
    }
    const int64_t duration = SecondsToTicks(Real(args, 5), HbPerformanceFrequency());
    if (in)
        manager->FadeIn(duration, 1);
    else
        manager->FadeOut(duration, 0);
}

void HudLogText(const char* id)
{
    if (BoardControlTheme_InGame* hud = BoardControlTheme_InGame::Find())
        hud->LogMessageFromResource(id);
}

void HudClearTexts()
{
    if (BoardControlTheme_InGame* hud = BoardControlTheme_InGame::Find())
        hud->ClearMessages();
}

ScenarioHudHooks sHudHooks = {HudLogText, HudClearTexts};
} // namespace

void LogText(const char* id)
{
    if (sHudHooks.logText)
        sHudHooks.logText(id);
}

int LaunchSector(const HbCommandArgs& args)
{
    const int32_t count = args.GetCount();
    GameProfile* profile = Profile();
    if ((count != 5 && count != 6) || Int(args, 1) != 0 || !profile)
        return 1;
    const std::string old = profile->sectorId;
    profile->lastMissionSector = old;
    profile->sectorId = Text(args, 2) + Text(args, 3) + Text(args, 4);
    const bool backward = SortsBefore(Text(args, 2), IdPart(old, 0, 2)) ||
                          SortsBefore(Text(args, 3), IdPart(old, 2, 4)) ||
                          SortsBefore(Text(args, 4), IdPart(old, 4, 7));
    profile->forwardEntry = backward ? 0 : 1;
    profile->startMark = count == 6 ? Text(args, 5) : std::string();
    profile->labelRequest = 1;
    if (profile->forwardEntry)
        profile->labelAfterMission = 1;
    return 1;
}

int SetSector(const HbCommandArgs& args)
{
    if (args.GetCount() == 5 && Int(args, 1) == 0)
        if (GameProfile* profile = Profile())
            profile->sectorId = Text(args, 2) + Text(args, 3) + Text(args, 4);
    return 1;
}

int SetSectorMusic(const HbCommandArgs& args)
{
    if (args.GetCount() != 6 || Int(args, 1) != 0)
        return 1;
    GameStateManager* manager = GameStateManager::Existing();
    GameState* state = manager ? manager->GetCurrentState() : nullptr;
    const bool inMission = state && state->GetId() == kGameStateStage;
    const auto text = [&](int32_t index) { return inMission ? Text(args, index).c_str() : ""; };
    CallDirector("setSectorMusic", Py_BuildValue("(ssss)", text(2), text(3), text(4), text(5)));
    return 1;
}

int SetEndMission(const HbCommandArgs& args)
{
    if (args.GetCount() < 3 || Int(args, 1) != 0)
        return 1;
    if (GameProfile* profile = Profile())
        RequestMissionEnd(profile, Int(args, 2), Int(args, 3), Text(args, 4));
    return 1;
}

int EndMission(const HbCommandArgs&)
{
    if (GameProfile* profile = Profile())
        RequestMissionEnd(profile, 1, 0, "prout prout");
    return 1;
}

int DisplayText(const HbCommandArgs& args)
{
    if (Int(args, 1) != 0)
        return 1;
    const std::string& id = Text(args, 2);
    LogText(id == "TX_TUTORIAL_02_MAP_TXT" ? "TX_TUTORIAL_02_MAP_WIN32_TXT" : id.c_str());
    return 1;
}

int LaunchLabel(const HbCommandArgs& args)
{
    if (args.GetCount() == 3 && Int(args, 1) == 0)
        if (GameProfile* profile = Profile())
            profile->pauseLabelRequest = 1;
    return 1;
}

int EraseText(const HbCommandArgs& args)
{
    if (args.GetCount() <= 3 && Int(args, 1) == 0 && sHudHooks.clearTexts)
        sHudHooks.clearTexts();
    return 1;
}

int FadeIn(const HbCommandArgs& args)
{
    if (args.GetCount() == 6 && Int(args, 1) == 0)
        Fade(args, true);
    return 1;
}

int FadeOut(const HbCommandArgs& args)
{
    if (args.GetCount() == 6 && Int(args, 1) == 0)
        Fade(args, false);
    return 1;
}

int SetSectorAlarm(const HbCommandArgs& args)
{
    if (args.GetCount() == 3 && Int(args, 1) == 0)
        CallDirector("activateAlarm", Py_BuildValue("(i)", Int(args, 2)));
    return 1;
}

int SetSectorRespawnBuffer(const HbCommandArgs& args)
{
    if (args.GetCount() == 3 && Int(args, 1) == 0)
        CallDirector("setRespawnBuffer", Py_BuildValue("(i)", Int(args, 2)));
    return 1;
}

int SetMarkLock(const HbCommandArgs& args)
{
    if (args.GetCount() == 5 || Int(args, 1) != 0)
        return 1;
    TsMarkSystem* marks = TsGetMarkSystem();
    YoScenaricDataBase* database = marks ? marks->GetDatabase() : nullptr;
    if (!database)
        return 1;
    const int32_t mode = Int(args, 2);
    const char* name = Text(args, 3).c_str();
    if (mode == 0 || mode == 1)
    {
        if (YoScenaricMark* mark = database->FindMark(name))
            mark->mHeld = mode == 0 ? 1 : 0;
    }
    else if (mode == 2 || mode == 3)
    {
        if (YoScenaricPath* path = database->FindPath(name))
            for (int32_t i = 0; i < path->mMarks.GetCount(); ++i)
                if (auto* mark = static_cast<YoScenaricMark*>(path->mMarks[i]))
                    mark->mHeld = mode == 2 ? 1 : 0;
    }
    return 1;
}

int SetObjective(const HbCommandArgs& args)
{
    if (args.GetCount() > 5 || Int(args, 1) != 0)
        return 1;
    GameProfile* profile = Profile();
    if (!profile)
        return 1;
    const int32_t mode = Int(args, 2);
    if (mode != 0 && mode != 1)
        return 1;
    MissionManager& missions = profile->GetMissions();
    if (mode == 0)
    {
        const int32_t result = missions.CompleteAction(Int(args, 3), Int(args, 4));
        return result == 2 || result == 3 ? 0 : 1;
    }
    Objective* objective = missions.GetObjective(Int(args, 3));
    if (!objective)
        return 0;
    objective->SetActive(1, 1);
    return 1;
}

int AssignTeam(const HbCommandArgs&)
{
    return 1;
}

int SetHeroControl(const HbCommandArgs& args)
{
    TsHeroActor* hero = Hero();
    HeroStateMachine* machine = hero ? hero->GetStateMachine() : nullptr;
    if (!machine)
        return 1;
    constexpr int32_t kDoNothing = 0;
    constexpr int32_t kNormalWait = 1;
    constexpr int32_t kSilentWait = 3;
    const int32_t form = Int(args, 1);
    const int32_t count = args.GetCount();
    const int32_t choice = Int(args, 2);
    if (form == 0)
    {
        if (count != 3)
            machine->SetState(machine->GetCurrentCode() != kDoNothing ? kDoNothing : kNormalWait);
        else if (choice == 0 || choice == 1)
            machine->SetState(choice == 0 ? kDoNothing : kNormalWait);
    }
    else if (form == 1 && count >= 3)
    {
        if (choice == 0)
            machine->SetState(kDoNothing);
        else if (choice == 1)
        {
            const int32_t quiet = Int(args, 3);
            if (quiet == 0 || quiet == 1)
                machine->SetState(quiet ? kSilentWait : kNormalWait);
        }
    }
    return 1;
}
} // namespace scmd

ScenarioHudHooks& ScenarioGetHudHooks()
{
    return scmd::sHudHooks;
}

void ScenarioResetHudHooks()
{
    scmd::sHudHooks = {scmd::HudLogText, scmd::HudClearTexts};
}

void ScenarioCommandsLevelStart()
{
    ScenarioLookupsReset();
    CameraShotsReset();
}

void ScenarioCommandsHeroReady()
{
    if (ScriptWorldManager* world = ScriptWorldManager::Instance())
        ScenarioActorSlots::SetFirst(world->GetHero());
}

void ScenarioCommandsLevelEnd()
{
    ScenarioTablesRelease();
    ScenarioForgetCarriedObject();
}
