// ScriptEventId: the game event ids shared by the script world's sensors, its event queue
// and the scripts (module "event").
#pragma once

#include <cstdint>

enum ScriptEventId : int32_t
{
    kEventDistanceIn = 1,
    kEventDistanceOut = 2,
    kEventSee = 3,
    kEventVibrations = 4,
    kEventDialog = 7,
    kEventCollision = 8,
    kEventHit = 10,
    kEventUse = 11,
    kEventStrike = 12,
    kEventExplo = 13,
    kEventDistanceInColl = 15,
    kEventReload = 20,
    kEventSound = 21,
    kEventCall = 39,
    kEventAlert = 40,
    kEventDanger = 41,
    kEventTimer1 = 256,
    kEventTimer2 = 257,
    kEventTimer3 = 258,
    kEventTimer4 = 259,
    kEventContextAction = 513,
    kEventContextTalk = 514,
    kEventNeutralise = 515,
    kEventDeath = 516,
    kEventMapStateOver = 517,
    kEventSapStateOver = 518,
    kEventSkillError = 519,
    kEventStrike1 = 520,
    kEventStrike2 = 521,
    kEventStrike3 = 522,
    kEventStrike4 = 523,
    kEventBlock = 524,
};

/// One row of the module "event": the script name of an id.
struct ScriptEventName
{
    const char* name;
    int32_t id;
};

/// The 32 rows of the module "event", in the order they are published.
const ScriptEventName* ScriptEventNames(int32_t* count);
