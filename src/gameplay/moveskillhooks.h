// The actor layer's services the move skills call: the two animation-player machines, the
// ground types' footsteps, the weapon's strike, the movement controller's goal and step, and
// the level's path graph. MoveSkillHooksInstall fills the table at start-up, tests put fakes
// in; an empty entry means the service is missing and the skill does nothing with it (a
// missing graph fails the path as a level without one does).
#pragma once

#include "vector.h"

#include <cstdint>

class TsActor;
class TsAnimActor;

/// The two animation-player machines of an animated actor.
enum MoveAnimPlayer : int32_t
{
    kMoveAnimPlayer = 0,   ///< "MAP", the move animation player
    kStaticAnimPlayer = 1, ///< "SAP", the static animation player
};

/// The footstep a move-animation state plays.
enum MoveStepKind : int32_t
{
    kWalkStep = 0,
    kRunStep = 1,
    kCrouchedWalkStep = 2,
};

/// What a script sets on an animation-player state.
struct MoveAnimStateTuning
{
    int32_t animationIndex;
    int32_t followUpState;
    int32_t entryValue;
    const char* soundName;
    int64_t time1; ///< ticks
    int64_t time2; ///< ticks
};

/// The level's walkable graph as the path follower asks it.
class MovePathGraph
{
public:
    virtual ~MovePathGraph() = default;
    /// True when the point lies in a cell of the graph.
    virtual bool IsPointOnGraph(const Vector* point) = 0;
    /// The graph's point nearest to the point within the distance; false when none.
    virtual bool FindNearestPoint(const Vector* point, float maxDistance, Vector* out) = 0;
    /// True when the straight walk between the points stays on the graph.
    virtual bool IsStraightWalkable(const Vector* from, const Vector* to) = 0;
    /// Forgets the last search.
    virtual void ResetSearch() = 0;
    /// Searches a path; true when one was found. Its points are then the result list.
    virtual bool FindPath(const Vector* start, const Vector* goal, const Vector* forward, int32_t flags) = 0;
    virtual int32_t GetResultCount() const = 0;
    virtual Vector GetResultPoint(int32_t index) const = 0;
};

struct MoveSkillHooks
{
    /// Prepares the player with the state slots and the initial state.
    void (*initPlayer)(TsAnimActor* actor, MoveAnimPlayer player, int32_t slots, int32_t initialState) = nullptr;
    /// Starts the move player's transition.
    void (*startTransition)(TsAnimActor* actor) = nullptr;
    /// Resets the player; false when the actor has none.
    bool (*resetPlayer)(TsAnimActor* actor, MoveAnimPlayer player) = nullptr;
    /// The move player's current state id; -1 when unknown.
    int32_t (*getMoveStateIndex)(TsAnimActor* actor) = nullptr;
    /// Sets the state's tuning; false when the player has no state of that id.
    bool (*tuneState)(TsAnimActor* actor, MoveAnimPlayer player, int32_t stateId,
                      const MoveAnimStateTuning* tuning) = nullptr;
    /// Plays the step on the ground type of the actor's collision record at its position;
    /// false when the ground is of no known type.
    bool (*playStep)(TsActor* actor, MoveStepKind kind) = nullptr;
    /// Strikes with the weapon, no hit object; false when it is not a weapon.
    bool (*strikeWeapon)(TsActor* weapon) = nullptr;
    /// The movement controller's goal.
    void (*setMoveGoal)(TsActor* actor, const Vector* goal) = nullptr;
    /// The distance the movement controller moved the actor in this frame.
    float (*getMovedDistance)(TsActor* actor) = nullptr;
    /// The running level's path graph, or null.
    MovePathGraph* (*getPathGraph)() = nullptr;
};

/// The one table, empty until filled.
MoveSkillHooks& GetMoveSkillHooks();

/// Fills every entry from the actor layer: the actor's two animation players, the ground type
/// under it, the contact weapon's strike, its movement controller and the script world's
/// path-finding graph. Start-up calls it once scripting is installed.
void MoveSkillHooksInstall();
