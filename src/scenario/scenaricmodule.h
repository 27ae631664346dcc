// The script module "scenaric" through which level scripts drive the game, and the skill
// functions it offers through the module "skills".
#pragma once

#include <cstdint>

typedef struct _object PyObject;
class TsActor;
class TsInventory;

/// The module's initialiser: a new module "scenaric" with every function (the weapon
/// functions among them). Forgets the bindings and the module's state of an earlier
/// interpreter. Null with the interpreter's error on failure.
PyObject* ScenaricModuleInit();
/// Makes the initialiser the one the interpreter's built-in entry "scenaric" calls, and queues
/// the skill functions' registration. Before scripting starts.
void ScenaricModuleInstall();
/// Queues the registration of NewAddSkill, LoopSkill, GetSkillStatus, GetSkillError and
/// GetChangingSkillId with the skill registry (once).
void ScenaricQueueSkillRegistrations();

/// The actor word of a script object: binds it to the actor (weakly: the word reads empty
/// once the actor dies or binds another object). 1, or 0 for null arguments or no memory.
int32_t ScenaricBindActor(PyObject* object, TsActor* actor);
/// The live actor bound to the object, or null.
TsActor* ScenaricGetBoundActor(PyObject* object);
/// What the inventory functions need of the game's hero, which its own class offers: its
/// inventory and equipment lists and taking a weapon in hand. The game fills it at start-up;
/// a null entry means no such list (items are refused) or nothing taken.
struct ScenaricHeroAccess
{
    TsInventory* (*inventory)(TsActor* hero);
    TsInventory* (*equipment)(TsActor* hero);
    void (*takeWeapon)(TsActor* hero, TsActor* weapon, const char* itemName);
};
void ScenaricSetHeroAccess(const ScenaricHeroAccess& access);
/// What was set; empty entries before.
const ScenaricHeroAccess& ScenaricGetHeroAccess();

/// The countdown of LoopSkill's reports of unknown skills (10 when the module is made).
int32_t ScenaricGetUnknownSkillCountdown();
