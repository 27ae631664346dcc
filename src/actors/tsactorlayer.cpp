// The actor layer's start-up, the family registrations and the lookups by name.
#include "tsactorlayer.h"

#include "scriptworldmanager.h"
#include "tsactor.h"
#include "tsanimactor.h"
#include "tsastarpathfinder.h"
#include "tsdof.h"
#include "tsdofskills.h"
#include "tsevent.h"
#include "tseventboxes.h"
#include "tsfamilytable.h"
#include "tsfmod.h"
#include "tsmarksystem.h"
#include "tsmotorskills.h"
#include "tsnothingtodo.h"
#include "tsscriptbinding.h"
#include "tssenses.h"
#include "tsskillregistry.h"
#include "tssoundmodule.h"
#include "tstrigger.h"
#include "w3dnode.h"

#include <Python.h>

namespace
{
struct FamilyName
{
    const char* name;
    int32_t value;
};

constexpr FamilyName kFamilies[] = {
    {"UndefinedFamily", 0},  {"HeroFamily", 1},       {"HeroFriendFamily", 2},  {"HeroEnemyFamily", 4},
    {"WeaponFamily", 8},     {"HeroWeaponFamily", 16}, {"SaveActorFamily", 32}, {"TriggerFamily", 64},
    {"faction0", 256},       {"faction1", 512},       {"faction2", 1024},       {"faction3", 2048},
    {"faction4", 4096},      {"faction5", 8192},      {"faction6", 16384},      {"faction7", 32768},
    {"DofFamily", 65536},    {"CameraCollFamily", 131072},
};

/// Registered before the entry point, as the scripts expect the table filled at start.
struct FamilyRegistration
{
    FamilyRegistration() { TsRegisterFamilies(); }
} gFamilyRegistration;

void FillActorTools(PyObject* module)
{
    PyActorToolsInit(module);
}

int PublishSkillConstant(const char* name, int32_t value)
{
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    return world ? world->AddSkillConstant(name, value) : -1;
}

void FillSoundModule(PyObject* module)
{
    TsSoundModuleInit(module);
}

void StopAllSoundChannels()
{
    TsFModStopAllChannels();
}

bool InWorld(TsActor* actor)
{
    return actor && actor->mRegistered;
}
} // namespace

void TsRegisterFamilies()
{
    TsFamilyTable* table = TsFamilyTable::Instance();
    if (!table)
        return;
    for (const FamilyName& family : kFamilies)
        if (!table->FindByName(family.name))
            table->AddEntry(family.name, family.value);
}

void TsActorsInstall(ScriptWorldManager* world)
{
    TsRegisterFamilies();
    TsRegisterActorTypes();
    TsAnimActorInstallRequestHooks();
    if (TsSkillRegistry* registry = TsSkillRegistry::Instance())
    {
        registry->SetConstantPublisher(PublishSkillConstant);
        TsNothingToDoQueueRegistration(registry);
        TsDofSkillsQueueRegistration(registry);
    }
    TsSensesInstall(world, TsSkillRegistry::Instance());
    if (world)
    {
        world->Hooks().fillActorToolsModule = FillActorTools;
        world->Hooks().fillSoundModule = FillSoundModule;
        world->Hooks().stopAllSoundChannels = StopAllSoundChannels;
        world->Hooks().graphCellCount = [](HbRoot* graph) -> int32_t
        {
            auto* pathfinder = HbCastTo<TsAStarPathfinder>(graph);
            return pathfinder ? pathfinder->GetCellCount() : -1;
        };
        TsMarkSystemInstall(world);
        TsEventBoxesInstall(world);
        TriggerManager::Install(world);
    }
}

TsActor* TsFindActorByName(const char* name)
{
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    if (!world || !name)
        return nullptr;
    for (HbPtrListNode* node = world->GetActors().GetHead(); node; node = node->next)
    {
        auto* actor = static_cast<TsActor*>(node->value);
        if (actor->GetName() == name)
            return actor;
    }
    return nullptr;
}

TsActor* TsFindActorOfScriptObject(PyObject* object)
{
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    if (!world || !object)
        return nullptr;
    if (TsActor* hero = world->GetHero(); hero && hero->GetScriptObject() == object)
        return hero;
    for (const HbPtrListNode* node = world->GetActors().GetHead(); node; node = node->next)
        if (auto* actor = static_cast<TsActor*>(node->value); actor->GetScriptObject() == object)
            return actor;
    return nullptr;
}

int32_t TsActorRequestBehaviour(TsActor* actor, const char* behaviour, PyObject* parameter)
{
    if (!InWorld(actor) || !behaviour)
        return 0;
    PyObject* args = parameter ? Py_BuildValue("(isO)", 0, behaviour, parameter) : Py_BuildValue("(is)", 0, behaviour);
    if (!args)
    {
        PyErr_Clear();
        return 4;
    }
    int32_t result = TsActorCallScriptMethod(actor, "requestBehaviourFromScenaric", args);
    Py_DECREF(args);
    return result;
}

int32_t TsActorByNameCallScript(const char* name, const char* behaviour, PyObject* parameter)
{
    TsActor* actor = TsFindActorByName(name);
    return actor ? TsActorRequestBehaviour(actor, behaviour, parameter) : 4;
}

int32_t TsActorByNameBehaviourNameEquals(const char* name, const char* text)
{
    TsActor* actor = TsFindActorByName(name);
    return actor ? TsActorBehaviourNameEquals(actor, text) : 0;
}

int32_t TsActorByNameGetBehaviourName(const char* name, std::string& out)
{
    out.clear();
    TsActor* actor = TsFindActorByName(name);
    return actor ? TsActorGetBehaviourName(actor, out) : 1;
}

const char* TsActorGetChangingSkillName(TsActor* actor)
{
    TsMotorSkills* skills = actor ? actor->GetMotorSkills() : nullptr;
    return skills ? skills->GetCurrentSkillName() : nullptr;
}

int32_t TsActorSubscribe(TsActor* actor, int32_t id, uint32_t mask, PyObject* callable, float radius, TsActor* other)
{
    if (!actor)
        return 0;
    TsEvent* event = actor->FindEvent(id);
    bool fresh = event == nullptr;
    if (fresh)
    {
        event = new TsEvent();
        event->id = id;
        event->SetTarget(other);
    }
    event->SetCallable(callable);
    event->familyMask = mask;
    if (id >= kEventTimer1 && id <= kEventTimer4)
    {
        event->value = radius;
        event->period = radius;
    }
    else
    {
        if (radius == 0.0f)
        {
            W3dNode* node = actor->GetNode();
            const Sphere* sphere = node ? node->GetBoundingSphere() : nullptr;
            radius = sphere ? sphere->radius : 0.0f;
        }
        event->value = radius * radius;
    }
    if (fresh && !actor->AddEvent(event))
    {
        delete event;
        return 0;
    }
    return 1;
}
