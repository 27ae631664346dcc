// The gameplay tests' harness.
#include "gameplay_fixture.h"

#include "hbclock.h"
#include "tsheroactor.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>

namespace gameplaytest
{
namespace
{
Services* gCurrent = nullptr;
Vector gStick = {0.0f, 0.0f, 0.0f};

void Note(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Note(const char* format, ...)
{
    char text[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    gCurrent->mCalls.push_back(text);
}

void StickReader(TsHeroActor* hero, float frameSeconds, float turnRate)
{
    hero->ApplyMoveInput(&gStick, frameSeconds, turnRate);
}
} // namespace

bool FakePathGraph::FindNearestPoint(const Vector* p, float maxDistance, Vector* out)
{
    const Vector nearest = {std::fmax(-mHalf, std::fmin(mHalf, p->x)), p->y, std::fmax(-mHalf, std::fmin(mHalf, p->z))};
    const float dx = nearest.x - p->x, dz = nearest.z - p->z;
    if (std::sqrt(dx * dx + dz * dz) > maxDistance)
        return false;
    *out = nearest;
    return true;
}

Services::Services()
{
    gCurrent = this;
    MoveSkillHooks& hooks = GetMoveSkillHooks();
    hooks.initPlayer = [](TsAnimActor*, MoveAnimPlayer player, int32_t slots, int32_t initial)
    { Note("init %d %d %d", int(player), int(slots), int(initial)); };
    hooks.startTransition = [](TsAnimActor*) { Note("transition"); };
    hooks.resetPlayer = [](TsAnimActor*, MoveAnimPlayer player)
    {
        Note("reset %d", int(player));
        return true;
    };
    hooks.getMoveStateIndex = [](TsAnimActor*) { return gCurrent->mMoveState; };
    hooks.tuneState = [](TsAnimActor*, MoveAnimPlayer player, int32_t id, const MoveAnimStateTuning* t)
    {
        bool known = false;
        for (int32_t state : gCurrent->mKnownStates)
            known = known || state == id;
        if (known)
            Note("tune %d %d %d %d %d %s %lld %lld", int(player), int(id), int(t->animationIndex),
                 int(t->followUpState), int(t->entryValue), t->soundName ? t->soundName : "None",
                 static_cast<long long>(t->time1), static_cast<long long>(t->time2));
        return known;
    };
    hooks.playStep = [](TsActor*, MoveStepKind kind)
    {
        Note("step %d", int(kind));
        return true;
    };
    hooks.strikeWeapon = [](TsActor*)
    {
        Note("strike");
        return true;
    };
    hooks.setMoveGoal = [](TsActor*, const Vector* goal) { gCurrent->mGoal = *goal; };
    hooks.getMovedDistance = [](TsActor*) { return gCurrent->mMoved; };
    hooks.getPathGraph = []() -> MovePathGraph* { return gCurrent->mHasGraph ? &gCurrent->mGraph : nullptr; };
}

Services::~Services()
{
    GetMoveSkillHooks() = MoveSkillHooks();
    gCurrent = nullptr;
}

Services& Services::Current()
{
    return *gCurrent;
}

GameClock::GameClock()
{
    HbGameClock* clock = HbGameClock::Instance();
    clock->mGameTime = 0;
    clock->mStepSeconds = 0.0f;
}

GameClock::~GameClock()
{
    HbGameClock* clock = HbGameClock::Instance();
    clock->mGameTime = 0;
    clock->mStepSeconds = 0.0f;
}

void GameClock::Step(float seconds)
{
    HbGameClock* clock = HbGameClock::Instance();
    clock->mStepSeconds = seconds;
    clock->mGameTime += int64_t(double(seconds) * double(HbPerformanceFrequency()));
}

Stick::Stick(HeroMoveHelper& helper) : mHelper(helper)
{
    gStick = {0.0f, 0.0f, 0.0f};
    helper.SetInputReader(StickReader);
}

Stick::~Stick()
{
    mHelper.SetInputReader(nullptr);
    gStick = {0.0f, 0.0f, 0.0f};
}

void Stick::Set(float x, float z)
{
    gStick = {x, 0.0f, z};
}

RecordingCamera* RecordingCamera::Create()
{
    auto* camera = new RecordingCamera();
    if (!camera->GetCamera())
    {
        delete camera;
        return nullptr;
    }
    return camera;
}

void RecordingCamera::SetPlacement(const void* placement)
{
    mCalls.push_back("placement " + std::to_string(placement ? *static_cast<const int32_t*>(placement) : -1));
}

void RecordingCamera::ApplyPlacement()
{
    mCalls.push_back("apply");
}

namespace
{
AnimRequests* gRequests = nullptr;
}

AnimRequests::AnimRequests()
{
    gRequests = this;
    AnimRequestHooks hooks = {};
    hooks.playAnim = [](TsActor*, HbHandlePtr*, RdAnimation*, int32_t mode, int64_t, int64_t, int32_t flag)
    { gRequests->mCalls.push_back("play " + std::to_string(mode) + " " + std::to_string(flag)); };
    hooks.playTimedAnim = [](TsActor*, void* request) { gRequests->mCalls.push_back(request ? "timed" : "timed none"); };
    hooks.setMoveRecord = [](TsActor*, uint32_t flags, float)
    { gRequests->mCalls.push_back("record " + std::to_string(flags)); };
    hooks.requestMoveState = [](TsActor*, int32_t state, int32_t parameter)
    { gRequests->mCalls.push_back("state " + std::to_string(state) + " " + std::to_string(parameter)); };
    hooks.fadeOutChannel = [](TsActor*, uint16_t* id, int64_t)
    {
        gRequests->mCalls.push_back("fade " + std::to_string(id ? *id : 0));
        if (id)
            *id = 0;
    };
    hooks.getMotor = [](TsActor*) -> RdAnimMotor* { return nullptr; };
    AnimRequestSetHooks(&hooks);
}

AnimRequests::~AnimRequests()
{
    AnimRequestSetHooks(nullptr);
    gRequests = nullptr;
}

} // namespace gameplaytest
