// The binding of actors to their script objects: storing an actor's instance in __main__
// under its actorName, creating, calling, naming and comparing instances, and the module
// pyactor_tools. Results: 0 done, 1 nothing bound or not stored, 2 already exists, 3 no
// such attribute, 4 the call or the deletion failed.
#pragma once

#include <cstdint>
#include <string>

typedef struct _object PyObject;
class TsActor;

/// The __main__ module (borrowed), or null when it is missing or not a module.
PyObject* TsScriptMainModule();
/// 1 when the instance has an actorName and __main__ has an attribute of that name.
int32_t TsScriptIsStored(PyObject* instance);
/// The same for the actor's instance, whose actorName must be a string.
int32_t TsActorIsScriptStored(TsActor* actor);
/// 1 when __main__ has an attribute of that name.
int32_t TsScriptNameExists(const char* name);
/// 1 not stored, 3 no readable actorName, 4 the deletion failed, 0 removed (or, with
/// onlyItself, left because the name holds another instance).
int32_t TsScriptUnstore(PyObject* instance, bool onlyItself = false);
/// Calls the instance's method; a tuple argument is spread into arguments, another object
/// is the one argument, null none. 3 no such attribute (or nothing bound), 4 the call
/// failed (the error is printed), 0 done.
int32_t TsActorCallScriptMethod(TsActor* actor, const char* method, PyObject* argument);
/// The instance's delete method; guarded against a delete reached from inside a delete (4).
int32_t TsActorScriptDelete(TsActor* actor);
/// 1 when the instance's attribute is a str equal, byte for byte, to the text.
int32_t TsActorScriptAttrEquals(TsActor* actor, const char* attribute, const char* text);
int32_t TsActorBehaviourNameEquals(TsActor* actor, const char* text);
/// The instance's currentBehaviourGenericName when it is a str; 1 and empty otherwise, 0 done.
int32_t TsActorGetBehaviourName(TsActor* actor, std::string& out);
/// 1 when the actor's native name equals the text.
int32_t TsActorNameEquals(TsActor* actor, const char* text);
/// Empties out; 1 nothing bound, 3 no actorName, 0 with the name copied when __main__ has
/// it, else 1.
int32_t TsActorGetScriptName(TsActor* actor, std::string& out);
/// "TheHero" compares the actor's name; "Gard" stands for "ClassGardWithGraph"; otherwise
/// whether the instance's class is named so.
int32_t TsActorCheckScriptClass(TsActor* actor, const char* className);
/// Sets __main__.<variable> = <className>(variable, data). 2 when the variable exists, 4 when
/// either name is not an identifier, the data holds a quote, backslash or line break, the class is missing or not callable, or the call
/// raised (printed), 0 done.
int32_t TsCreateScriptObject(const char* className, const char* variable, const char* data);
/// Fills the module with StorePyActor, RemovePyActor and IsNameExist; 1, or 0 on failure.
int32_t PyActorToolsInit(PyObject* module);
