// The scenario commands: console commands through which scenario data, level scripts, event
// boxes and the front end drive a level by slot number. They register themselves when the
// program starts. The hero's lists and hand belong to the gameplay layer's hero: it fills the
// hooks below; without them a hero has no inventory, no equipment and nothing in hand.
#pragma once

#include <cstdint>

class TsActor;
class TsInventory;
class W3dNode;

struct ScenarioHeroHooks
{
    TsInventory* (*inventory)(TsActor* hero) = nullptr;
    TsInventory* (*equipment)(TsActor* hero) = nullptr;
    /// The name of the item in the hero's hand, or null.
    const char* (*itemInHand)(TsActor* hero) = nullptr;
    /// The weapon list moves to the previous weapon, which the hero takes in hand.
    void (*previousWeaponInHand)(TsActor* hero) = nullptr;
};

ScenarioHeroHooks& ScenarioGetHeroHooks();

/// Where the commands' texts go: the in-game display's message box unless replaced.
struct ScenarioHudHooks
{
    /// Logs the localised text of the id.
    void (*logText)(const char* textId);
    /// Removes every line of the message box.
    void (*clearTexts)();
};
ScenarioHudHooks& ScenarioGetHudHooks();
/// Back to the in-game display.
void ScenarioResetHudHooks();

/// The bone a hero carries an object on (27 once an object was hung there, else -1), and the
/// node carried. Cleared when that node is detached or dies.
constexpr int32_t kScenarioCarriedObjectBone = 27;
int32_t ScenarioGetCarriedBone(TsActor* hero);
W3dNode* ScenarioGetCarriedNode(TsActor* hero);
/// Forgets the carried-object record (level release).
void ScenarioForgetCarriedObject();

/// How many of the scenario commands hold their names in the console; a program that does
/// not link the scenario layer whole calls this to bring the commands in.
int32_t ScenarioCommandsRegisteredCount();

/// Level start: the slots, tables and camera shots reset. After the level script: the hero in slot 0.
void ScenarioCommandsLevelStart();
void ScenarioCommandsHeroReady();
/// Level release: the slots reset and the tables released.
void ScenarioCommandsLevelEnd();
