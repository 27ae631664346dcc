// The gameplay tests' harness: the move skills' service table filled with recording fakes
// (animation players, footsteps, strikes, move goals, the distance moved per frame), a path
// graph whose cells and search result the test sets, a stick the hero's move-input reader
// takes instead of the pad, the game clock stepped by hand, input actions on injected keys,
// a camera that records the placements the registry hands it, and the animation requests'
// hooks recording what the requests ask of an actor.
#pragma once

#include "heromovehelper.h"
#include "moveskillhooks.h"
#include "rdanimrequest.h"
#include "tscamera.h"
#include "uisupport.h"

#include <string>
#include <vector>

namespace gameplaytest
{

/// A square graph |x|, |z| <= half, whose path search answers the points the test set.
class FakePathGraph : public MovePathGraph
{
public:
    bool IsPointOnGraph(const Vector* p) override { return p->x >= -mHalf && p->x <= mHalf && p->z >= -mHalf && p->z <= mHalf; }
    bool FindNearestPoint(const Vector* p, float maxDistance, Vector* out) override;
    bool IsStraightWalkable(const Vector* from, const Vector* to) override
    {
        return IsPointOnGraph(from) && IsPointOnGraph(to);
    }
    void ResetSearch() override { ++mResets; }
    bool FindPath(const Vector* start, const Vector* goal, const Vector* forward, int32_t flags) override
    {
        ++mSearches;
        mGoal = *goal;
        return !mPath.empty();
    }
    int32_t GetResultCount() const override { return int32_t(mPath.size()); }
    Vector GetResultPoint(int32_t index) const override { return mPath[size_t(index)]; }

    float mHalf = 1000.0f;
    std::vector<Vector> mPath;
    Vector mGoal = {0.0f, 0.0f, 0.0f};
    int32_t mSearches = 0;
    int32_t mResets = 0;
};

/// Fills the service table with recorders while it lives; the table is emptied at the end.
class Services
{
public:
    Services();
    ~Services();
    Services(const Services&) = delete;
    Services& operator=(const Services&) = delete;

    static Services& Current();

    /// What the fakes were asked, in order ("init 0 92 0", "step 1", "tune 0 11 3 12 1 STEP
    /// 5000000 12500000"...).
    std::vector<std::string> mCalls;
    /// The move player's state the fake answers.
    int32_t mMoveState = 0;
    /// States the players have (tuneState refuses others).
    std::vector<int32_t> mKnownStates;
    /// The distance the movement controller reports for the next frames.
    float mMoved = 0.0f;
    Vector mGoal = {0.0f, 0.0f, 0.0f};
    FakePathGraph mGraph;
    bool mHasGraph = true;
};

/// The game clock's frame time and time (stepped by Step); put back at the end.
class GameClock
{
public:
    GameClock();
    ~GameClock();
    /// The clock moves on by the seconds, which become the frame time.
    void Step(float seconds);
};

/// The stick position the hero reads in place of the pad while a Stick lives (the helper's
/// reader is put back at the end).
class Stick
{
public:
    explicit Stick(HeroMoveHelper& helper);
    ~Stick();
    /// (x right, z forward) of magnitude up to 1 and beyond.
    void Set(float x, float z);

private:
    HeroMoveHelper& mHelper;
};

/// Input actions bound on injected keys (see uitest::InjectedInput): Bind, Press, Lift, Frame
/// and Triggered.
using Input = uitest::InjectedInput;

/// A camera that records every placement record and every placing, in order.
class RecordingCamera : public TsCamera
{
public:
    /// Null when the engine camera cannot be had.
    static RecordingCamera* Create();
    void SetPlacement(const void* placement) override;
    void ApplyPlacement() override;

    /// "placement <first word of the record>" and "apply".
    std::vector<std::string> mCalls;
};

/// The animation requests' hooks filled with recorders while it lives ("play <mode> <flag>",
/// "timed", "record <flags>", "state <state> <parameter>", "fade <id>"); emptied at the end.
class AnimRequests
{
public:
    AnimRequests();
    ~AnimRequests();
    AnimRequests(const AnimRequests&) = delete;
    AnimRequests& operator=(const AnimRequests&) = delete;

    std::vector<std::string> mCalls;
};

} // namespace gameplaytest
