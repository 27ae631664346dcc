// The move skills' service table, and its filling from the actor layer.
#include "moveskillhooks.h"

#include "animmovectrl.h"
#include "moveanimplayerstate.h"
#include "scriptworldmanager.h"
#include "staticanimplayerstate.h"
#include "tsanimactor.h"
#include "tsanimactorctrl.h"
#include "tsastarpathfinder.h"
#include "tsgroundtype.h"
#include "tsweaponcontact.h"
#include "w3dnode.h"

MoveSkillHooks& GetMoveSkillHooks()
{
    static MoveSkillHooks hooks;
    return hooks;
}

namespace
{
AnimPlayerStateMachine* Player(TsAnimActor* actor, MoveAnimPlayer player)
{
    if (!actor)
        return nullptr;
    if (player == kMoveAnimPlayer)
        return actor->GetMovePlayer();
    return actor->GetStaticPlayer();
}

/// The script world's graph, asked afresh each time: levels change it.
class WorldPathGraph : public MovePathGraph
{
public:
    bool IsPointOnGraph(const Vector* point) override { return Graph()->IsPointOnGraph(*point) != 0; }
    bool FindNearestPoint(const Vector* point, float maxDistance, Vector* out) override
    {
        return Graph()->SnapToGraph(out, *point, maxDistance) != 0;
    }
    bool IsStraightWalkable(const Vector* from, const Vector* to) override
    {
        return Graph()->IsStraightWalkable(*from, *to) != 0;
    }
    void ResetSearch() override { Graph()->SetSearchState(0); }
    bool FindPath(const Vector* start, const Vector* goal, const Vector* forward, int32_t flags) override
    {
        return Graph()->FindPath(*start, *goal, forward, flags) != 0;
    }
    int32_t GetResultCount() const override { return int32_t(Graph()->GetPath().size()); }
    Vector GetResultPoint(int32_t index) const override { return Graph()->GetPath()[size_t(index)]; }

    /// The running level's graph, or null.
    static TsAStarPathfinder* Current()
    {
        ScriptWorldManager* world = ScriptWorldManager::Instance();
        return world ? HbCastTo<TsAStarPathfinder>(world->GetAStar()) : nullptr;
    }

private:
    // Only handed out while Current() answers a graph.
    static TsAStarPathfinder* Graph() { return Current(); }
};

WorldPathGraph gWorldGraph;

template <typename Play> bool Step(TsActor* actor, Play play)
{
    W3dNode* node = actor ? actor->GetNode() : nullptr;
    TsGroundType* ground = node ? TsFindGroundType(actor->mCollision.color[TsActor::kGroundIdByte]) : nullptr;
    if (!ground)
        return false;
    const Vector position = *node->GetWorldPosition();
    (ground->*play)(actor, &position);
    return true;
}
} // namespace

void MoveSkillHooksInstall()
{
    MoveSkillHooks& hooks = GetMoveSkillHooks();
    hooks.initPlayer = [](TsAnimActor* actor, MoveAnimPlayer player, int32_t slots, int32_t initialState)
    {
        if (AnimPlayerStateMachine* machine = Player(actor, player))
            machine->Init(slots, actor, initialState);
    };
    hooks.startTransition = [](TsAnimActor* actor)
    {
        if (AnimPlayerStateMachine* machine = Player(actor, kMoveAnimPlayer))
            machine->StartTransition();
    };
    hooks.resetPlayer = [](TsAnimActor* actor, MoveAnimPlayer player)
    {
        AnimPlayerStateMachine* machine = Player(actor, player);
        if (machine)
            machine->Reset();
        return machine != nullptr;
    };
    hooks.getMoveStateIndex = [](TsAnimActor* actor)
    { return Player(actor, kMoveAnimPlayer) ? TsAnimActorGetMoveStateIndex(actor) : -1; };
    hooks.tuneState = [](TsAnimActor* actor, MoveAnimPlayer player, int32_t stateId, const MoveAnimStateTuning* tuning)
    {
        AnimPlayerStateMachine* machine = Player(actor, player);
        AnimPlayerState* state = machine ? machine->GetState(stateId) : nullptr;
        if (!state || !tuning)
            return false;
        state->mAnimState = tuning->animationIndex;
        state->mDefaultNext = tuning->followUpState;
        state->mLockOnEnter = tuning->entryValue;
        state->SetSound(tuning->soundName);
        // As in a state's description: time 1 gates leaving, time 2 entering again.
        state->mMinimumDuration = tuning->time1;
        state->mReentryDelay = tuning->time2;
        return true;
    };
    hooks.playStep = [](TsActor* actor, MoveStepKind kind)
    {
        switch (kind)
        {
        case kWalkStep:
            return Step(actor, &TsGroundType::PlayWalkStep);
        case kRunStep:
            return Step(actor, &TsGroundType::PlayRunStep);
        case kCrouchedWalkStep:
            return Step(actor, &TsGroundType::PlayCrouchedWalkStep);
        }
        return false;
    };
    hooks.strikeWeapon = [](TsActor* weapon)
    {
        auto* contact = HbCastTo<TsWeaponContact>(weapon);
        if (contact)
            contact->Strike(nullptr);
        return contact != nullptr;
    };
    hooks.setMoveGoal = [](TsActor* actor, const Vector* goal)
    {
        if (AnimMoveCtrl* controller = actor ? actor->GetMoveController() : nullptr)
            controller->SetGoal(goal);
    };
    hooks.getMovedDistance = [](TsActor* actor)
    {
        AnimMoveCtrl* controller = actor ? actor->GetMoveController() : nullptr;
        return controller ? controller->GetLastDistance() : 0.0f;
    };
    hooks.getPathGraph = []() -> MovePathGraph* { return WorldPathGraph::Current() ? &gWorldGraph : nullptr; };
}
