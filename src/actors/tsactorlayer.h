// The actor layer's start-up and its actor lookups by name: the family registrations, the
// skill registrations, the script world's pyactor_tools and skills hooks, and the native
// functions that find an actor of the script world by its name (or its script object).
#pragma once

#include <cstdint>
#include <string>

typedef struct _object PyObject;
class ScriptWorldManager;
class TsActor;

/// Registers the families and the skills of this layer (once) and fills the script world's
/// hooks for pyactor_tools, the skill constants, the module "sound" and the stop of every
/// sound channel. Call before StartScripting.
void TsActorsInstall(ScriptWorldManager* world);
/// The 18 family registrations, in table order; again does nothing new.
void TsRegisterFamilies();

/// Subscribes the actor to the event id: its active subscription of that id gets the new
/// callable and mask, else a new one is added. Timers (256..259) take the radius as seconds
/// of countdown and period; other ids store it squared, 0 meaning the node's bounding
/// radius. 1 done, 0 refused (nothing callable; a new record is freed).
int32_t TsActorSubscribe(TsActor* actor, int32_t id, uint32_t mask, PyObject* callable, float radius,
                         TsActor* other);

/// The name of the skill the actor's motor-skill table has changed to and runs (its current
/// skill); null for an actor without a table.
const char* TsActorGetChangingSkillName(TsActor* actor);

/// The first actor of the script world's list whose name equals the given one, or null.
TsActor* TsFindActorByName(const char* name);
/// The hero, else the first actor of the script world's list, bound to the script object; null
/// for a null object or when none is.
TsActor* TsFindActorOfScriptObject(PyObject* object);
/// 0 without a call when the actor is not in the world; otherwise requestBehaviourFromScenaric
/// with (0, behaviour) or (0, behaviour, parameter): the call's result code.
int32_t TsActorRequestBehaviour(TsActor* actor, const char* behaviour, PyObject* parameter);
/// The same for the actor of that name; 4 when there is none.
int32_t TsActorByNameCallScript(const char* name, const char* behaviour, PyObject* parameter);
/// TsActorBehaviourNameEquals on the actor of that name; 0 when there is none.
int32_t TsActorByNameBehaviourNameEquals(const char* name, const char* text);
/// TsActorGetBehaviourName on the actor of that name; 1 and empty when there is none.
int32_t TsActorByNameGetBehaviourName(const char* name, std::string& out);
