// The effect services: the sixty effect scripts, the script modules "fx", "fx3d" and
// "physic", and the start-up, tick and shut-down of the effects, debris and physics.
#pragma once

#include <cstdint>

typedef struct _object PyObject;

/// Effect ids 0 to 59; 60 is the game's "no effect".
constexpr int32_t kFxEffectCount = 60;
constexpr int32_t kFxNoEffect = 60;

/// The script resource of effect id (null outside the ids).
const char* FxEffectScriptName(int32_t id);
/// Sixty definition slots, each naming its script (nothing read yet).
void FxLoadEffectScripts();

/// The definition slot of effect id bound to the shared context's effect object; 0 when the
/// slot is empty or the id is not an effect.
int32_t FxBindDefinition(int32_t id, struct FxContext* context);
/// A uniform value in [a, b) from the engine's random generator.
float RandomFloatInRange(float a, float b);

struct PyMethodDef;
class TsActor;
/// The actor bound to the script object, or null.
TsActor* FxActorOf(PyObject* object);
/// The table's functions into the module's dictionary; false (error cleared) on failure.
bool FxAddFunctions(PyObject* module, PyMethodDef* methods);

/// Module fills for the script host's pending modules.
void FxModuleFill(PyObject* module, int32_t argument);

/// Start-up: installs the manager and fills the context hooks (idempotent).
void FxServicesInstall();
void FxServicesTick();
/// Stage enter: the debris pools allocated, the physics constants set.
void FxServicesStageEnter();
/// Every in-mission frame: the debris, then the physics.
void FxServicesStageStep();
/// Stage leave: pending fades, running debris and pools, idle physics entries.
void FxServicesStageLeave();
/// Every pending fade, the debris, then the manager's definitions; the manager uninstalled.
void FxServicesShutdown();
/// Loads the sixty scripts, builds the effect classes and fills the debris types.
void Fx3dInitTypeRecords();
