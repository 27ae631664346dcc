// The mission commands that mission files run (BeginCreateMission, CreateObjective,
// AddObjectiveAction, AddNeededObjective, AddObjective, EndCreateMission,
// SetSignaleticForAllObjectiveActions), and the services the missions reach the world through:
// marks, actors' scripts, the head-up display's texts and the effect markers.
#include "boardcontroltheme_ingame.h"
#include "fxcontext.h"
#include "fxservices.h"
#include "gameprofile.h"
#include "gamestate.h"
#include "gamestatemanager.h"
#include "hbcommand.h"
#include "kfxmanagerimp.h"
#include "missionmanager.h"
#include "scenario_local.h"
#include "scriptworldmanager.h"
#include "tsactor.h"
#include "tsactorlayer.h"
#include "tsmarksystem.h"
#include "tsscriptbinding.h"
#include "w3dframe.h"
#include "wscene.h"
#include "yoscenaricmark.h"

#include <Python.h>

#include <cstdlib>

namespace
{
constexpr const char* kNoText = "INVALID_RESOURCE_ID";

// ---- Services ------------------------------------------------------------------------------------

W3dFrame* CurrentLevelRoot()
{
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    WScene* scene = world ? world->GetScene() : nullptr;
    return scene && scene->GetLevel() ? scene->GetRoot() : nullptr;
}

int32_t FindMarkPoint(const char* name, float out[3])
{
    TsMarkSystem* marks = TsGetMarkSystem();
    YoScenaricMark* mark = marks && name ? marks->FindMark(name) : nullptr;
    if (!mark)
        return 0;
    const Vector& at = mark->GetPosition();
    out[0] = at.x;
    out[1] = at.y;
    out[2] = at.z;
    return 1;
}

void InitActor(const char* actorName, const char* argument)
{
    TsActor* actor = TsFindActorByName(actorName);
    if (!actor)
        return;
    PyObject* text = PyUnicode_FromString(argument);
    if (!text)
    {
        PyErr_Clear();
        return;
    }
    TsActorCallScriptMethod(actor, "initObjectiveFromObjectiveManager", text);
    Py_DECREF(text);
}

void ShowText(const char* textId)
{
    if (BoardControlTheme_InGame* hud = BoardControlTheme_InGame::Find())
        hud->LogMessageFromResource(textId);
}

/// A frame node playing a signaletic effect; it holds one reference on each.
class EffectMarker : public MissionMarker
{
public:
    EffectMarker(W3dFrame* node, KFX* effect) : mNode(node), mEffect(effect) {}
    ~EffectMarker() override
    {
        Detach();
        if (mEffect)
        {
            mEffect->Stop();
            mEffect->Release();
        }
        mNode->Release();
    }
    int32_t Show(const float point[3]) override
    {
        W3dFrame* root = CurrentLevelRoot();
        if (!root)
            return 0;
        Detach();
        root->AddChild(mNode, nullptr);
        const Vector at = {point[0], point[1], point[2]};
        mNode->SetWorldPosition(&at);
        if (mEffect)
            mEffect->Start();
        return 1;
    }
    int32_t Hide() override
    {
        if (!CurrentLevelRoot())
            return 0;
        Detach();
        if (mEffect)
            mEffect->Stop();
        return 1;
    }
    int32_t GetWorldPosition(float out[3]) const override
    {
        const Vector* at = mNode->GetWorldPosition();
        if (!at)
            return 0;
        out[0] = at->x;
        out[1] = at->y;
        out[2] = at->z;
        return 1;
    }

private:
    void Detach()
    {
        if (W3dNode* parent = mNode->GetParent())
            parent->RemoveChild(mNode);
    }

    W3dFrame* mNode;
    KFX* mEffect;
};

MissionMarker* CreateMarker(int32_t effectId)
{
    W3dFrame* node = W3dFrame::Create();
    if (!node)
        return nullptr;
    node->AddRef();
    FxContext* context = FxContextGet();
    context->Reset();
    auto* effect = new KFX();
    effect->AddRef();
    context->effect = effect;
    context->frame.Set(node->GetEngineFrame(), node);
    FxBindDefinition(effectId, context);
    context->Reset();
    return new EffectMarker(node, effect);
}

std::string ProfileSector()
{
    GameStateManager* manager = GameStateManager::Existing();
    GameState* state = manager ? manager->GetCurrentState() : nullptr;
    GameProfile* profile = state ? state->GetProfile() : nullptr;
    return profile ? profile->sectorId : std::string();
}

[[maybe_unused]] const int sServices = []()
{
    MissionServices services;
    services.findMark = FindMarkPoint;
    services.initActor = InitActor;
    services.showText = ShowText;
    services.createMarker = CreateMarker;
    services.profileSector = ProfileSector;
    MissionManager::SetServices(services);
    return 1;
}();

// ---- Commands --------------------------------------------------------------------------------------

std::string Text(const HbCommandArgs& args, int32_t index, const char* empty)
{
    const std::string& token = args.GetToken(index);
    return token == empty ? std::string() : token;
}

int32_t Int(const HbCommandArgs& args, int32_t index)
{
    return int32_t(std::atoi(args.GetToken(index).c_str()));
}

int BeginCreateMission(const HbCommandArgs& args)
{
    MissionManager* missions = MissionManager::Building();
    if (args.GetCount() != 3 || !missions)
        return 1;
    missions->mNumber = Int(args, 1);
    missions->mTitleText = Text(args, 2, kNoText);
    return 1;
}

int CreateObjective(const HbCommandArgs& args)
{
    if (args.GetCount() != 7)
        return 1;
    auto* objective = new Objective();
    objective->mId = Int(args, 1);
    objective->mSector = args.GetToken(2);
    objective->mCategory = Int(args, 3) - 1;
    objective->mActive = Int(args, 4) != 0 ? 1 : 0;
    objective->mDescriptionText = Text(args, 5, kNoText);
    objective->mCompletionText = Text(args, 6, kNoText);
    MissionManager::SetBuildingObjective(objective);
    return 1;
}

int AddObjectiveAction(const HbCommandArgs& args)
{
    Objective* objective = MissionManager::BuildingObjective();
    if (args.GetCount() != 6 || !objective)
        return 1;
    const std::string actor = Text(args, 3, "none");
    const std::string argument = Text(args, 4, "none");
    if (!actor.empty() && argument.empty())
        return 1;
    const int32_t id = Int(args, 1);
    // Only slots 0 to 14 exist; an action for another slot is never built.
    if (id < 0 || id >= Objective::kMaxActions)
        return 1;
    auto* action = new ObjectiveAction();
    action->mId = id;
    action->mMarkName = Text(args, 2, "none");
    action->mActorName = actor;
    action->mArgument = argument;
    action->mMessageText = Text(args, 5, kNoText);
    const int32_t signaletic = MissionManager::SignaleticEffectId();
    action->mEffectId = signaletic >= 0 && signaletic < MissionManager::kMaxEffectId ? signaletic : -1;
    action->ReadPoint();
    if (action->mActorName.empty() && action->mEffectId != -1 && MissionManager::Services().createMarker)
        action->SetMarker(MissionManager::Services().createMarker(action->mEffectId));
    objective->SetAction(id, action);
    action->mActive = objective->mActive;
    return 1;
}

int AddNeededObjective(const HbCommandArgs& args)
{
    Objective* objective = MissionManager::BuildingObjective();
    if (args.GetCount() != 2 || !objective)
        return 1;
    objective->AddNeeded(Int(args, 1));
    return 1;
}

int AddObjective(const HbCommandArgs&)
{
    MissionManager* missions = MissionManager::Building();
    if (Objective* objective = MissionManager::BuildingObjective(); missions && objective)
        missions->SetObjective(objective);
    MissionManager::SetBuildingObjective(nullptr);
    return 1;
}

int EndCreateMission(const HbCommandArgs&)
{
    MissionManager::SetBuilding(nullptr);
    return 1;
}

int SetSignaleticForAllObjectiveActions(const HbCommandArgs& args)
{
    if (args.GetCount() != 2)
        return 1;
    PyObject* modules = Py_IsInitialized() ? PyImport_GetModuleDict() : nullptr;
    PyObject* fx = modules ? PyDict_GetItemString(modules, "fx") : nullptr;
    if (!fx || !PyModule_Check(fx))
        return 1;
    PyObject* value = PyObject_GetAttrString(fx, args.GetToken(1).c_str());
    const bool isInt = value && PyLong_Check(value);
    long id = -1;
    if (isInt)
        id = PyLong_AsLong(value);
    Py_XDECREF(value);
    PyErr_Clear();
    if (!isInt)
        return 0;
    MissionManager::SetSignaleticEffectId(id < -1 || id > INT32_MAX ? -1 : int32_t(id));
    return 1;
}

class MissionCommand : public HbCommand
{
public:
    using Body = int (*)(const HbCommandArgs&);
    MissionCommand(const char* name, const char* help, Body body) : HbCommand(name, help), mBody(body) {}
    int Execute(const HbCommandArgs& args, int32_t) override { return mBody(args); }

private:
    Body mBody;
};

MissionCommand sCommands[] = {
    {"BeginCreateMission", "Start mission creation : update mission params and add ovjectives\n ", BeginCreateMission},
    {"CreateObjective", "Start mission creation : update mission params and add ovjectives\n ", CreateObjective},
    {"AddObjectiveAction", "Add objective action : Cree un sous objectif et l'ajoute a l'objective courant\n ",
     AddObjectiveAction},
    {"AddNeededObjective", "Add needed objective : Ajoute un objectif necessaire a l'activation du courant\n ",
     AddNeededObjective},
    {"AddObjective", "Add objective to the mission : Ajoute l'objectif cree a la mission\n ", AddObjective},
    {"EndCreateMission", "End mission creation : fin de creation de la mission.\n ", EndCreateMission},
    {"SetSignaleticForAllObjectiveActions",
     "Set a signaletic for all actions : definit un fx id pour toutes les actions.\n ",
     SetSignaleticForAllObjectiveActions},
};
} // namespace
