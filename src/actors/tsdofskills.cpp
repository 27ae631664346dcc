// The degree-of-freedom skills and their script functions.
#include "tsdofskills.h"

#include "frame.h"
#include "hbclock.h"
#include "matrix.h"
#include "scriptworldmanager.h"
#include "tsdof.h"
#include "tsmotorskills.h"
#include "tsskillregistry.h"
#include "w3dnode.h"

#include <Python.h>

#include <cfloat>
#include <cmath>

HB_DEFINE_CLASS_DESC(TsDofTranslateMSState, TsMotorSkill);
HB_DEFINE_CLASS_DESC(TsDofRotateMSState, TsMotorSkill);

namespace
{
int64_t Now()
{
    return HbGameClock::Instance()->mGameTime;
}

TsMotorSkills* TableOf(TsActor* owner)
{
    return owner ? owner->GetMotorSkills() : nullptr;
}

Frame* FrameOf(TsActor* owner)
{
    W3dNode* node = owner ? owner->GetNode() : nullptr;
    return node ? node->GetEngineFrame() : nullptr;
}

template <typename State> TsMotorSkill* Make(TsActor* owner, PyObject* parameters)
{
    auto* state = new State(owner);
    if (!state)
        return nullptr;
    if (!state->SetParameters(parameters))
    {
        delete state;
        return nullptr;
    }
    state->Setup();
    return state;
}

/// The table of the actor bound to the script object; null with the error set.
TsMotorSkills* ScriptTable(PyObject* object, const char* function)
{
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    for (HbPtrListNode* node = world ? world->GetActors().GetHead() : nullptr; node; node = node->next)
    {
        auto* actor = static_cast<TsActor*>(node->value);
        if (actor->GetScriptObject() == object && actor->GetMotorSkills())
            return actor->GetMotorSkills();
    }
    PyErr_Format(PyExc_RuntimeError, "%s : actor has no motor skills", function);
    return nullptr;
}

PyObject* DofTranslate(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    float x = 0, y = 0, z = 0, speed = 0, distance = 0;
    if (!PyArg_ParseTuple(args, "Offfff:DofTranslate", &object, &x, &y, &z, &speed, &distance))
        return nullptr;
    TsMotorSkills* table = ScriptTable(object, "DofTranslate");
    if (!table)
        return nullptr;
    Vector axis = {x, y, z};
    const float length = std::sqrt(x * x + y * y + z * z);
    if (length > 0.0f)
        axis = {x / length, y / length, z / length};
    table->mAxis[0] = axis.x;
    table->mAxis[1] = axis.y;
    table->mAxis[2] = axis.z;
    table->mSpeed = speed;
    table->mAmount = distance;
    table->mFlags |= TsMotorSkills::kResetRequested;
    Py_RETURN_NONE;
}

PyObject* DofRotate(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    float x = 0, y = 0, z = 0, speed = 0, angle = 0;
    if (!PyArg_ParseTuple(args, "Offfff:DofRotate", &object, &x, &y, &z, &speed, &angle))
        return nullptr;
    TsMotorSkills* table = ScriptTable(object, "DofRotate");
    if (!table)
        return nullptr;
    table->mAxis[0] = x;
    table->mAxis[1] = y;
    table->mAxis[2] = z;
    table->mSpeed = speed;
    table->mAmount = angle;
    table->mFlags |= TsMotorSkills::kResetRequested;
    Py_RETURN_NONE;
}

int Register()
{
    TsSkillRegistry* registry = TsSkillRegistry::Instance();
    if (!registry)
        return 0;
    registry->AddSkillFunction(DofTranslate, "DofTranslate", "This function is not documented", __FILE__, __LINE__);
    registry->AddSkillFunction(DofRotate, "DofRotate", "This function is not documented", __FILE__, __LINE__);
    registry->AddSkillState(TsDofTranslateMSState::kScriptId, TsDofTranslateMSState::kName, __FILE__,
                            TsDofTranslateMSState::Create, __LINE__);
    registry->AddSkillState(TsDofRotateMSState::kScriptId, TsDofRotateMSState::kName, __FILE__,
                            TsDofRotateMSState::Create, __LINE__);
    return 1;
}

bool gQueued = false;
} // namespace

// ---- MS_DOF_TRANSLATE ---------------------------------------------------------------------------------

void TsDofTranslateMSState::Init()
{
    TsMotorSkills* table = TableOf(mOwner);
    if (!table)
        return;
    mRemaining = table->mAmount;
    if (mRemaining + 0.001f < 0.0f)
    {
        mRemaining = FLT_MIN;
        return;
    }
    // The axis is turned by the world matrix and added to the world position: one space for
    // both, whatever the parent's rotation. A negative speed moves forward as fast.
    Vector direction = {table->mAxis[0], table->mAxis[1], table->mAxis[2]};
    if (Frame* frame = FrameOf(mOwner))
    {
        const Vector axis = direction;
        Vector::TransformVector(&direction, &axis, Frame::GetWorldMatrix(frame));
        const float length =
            std::sqrt(direction.x * direction.x + direction.y * direction.y + direction.z * direction.z);
        if (length > 0.0f)
            direction = {direction.x / length, direction.y / length, direction.z / length};
    }
    mSpeed = std::fabs(table->mSpeed);
    if (std::fabs(mRemaining) > 0.001f)
        mVelocity = {mSpeed * direction.x, mSpeed * direction.y, mSpeed * direction.z};
}

int32_t TsDofTranslateMSState::Loop()
{
    TsMotorSkills* table = TableOf(mOwner);
    W3dNode* node = mOwner ? mOwner->GetNode() : nullptr;
    if (!table)
        return 0;
    if (mRemaining < kArrival || !node)
    {
        table->mFlags |= TsMotorSkills::kSucceeded;
        return 0;
    }
    const float dt = HbGameClock::Instance()->mStepSeconds;
    Vector step;
    if (dt * mSpeed < mRemaining)
    {
        step = {dt * mVelocity.x, dt * mVelocity.y, dt * mVelocity.z};
    }
    else
    {
        // The last step ends on the goal.
        const float length =
            std::sqrt(mVelocity.x * mVelocity.x + mVelocity.y * mVelocity.y + mVelocity.z * mVelocity.z);
        const float scale = length > 0.0f ? mRemaining / length : 0.0f;
        mVelocity = {mVelocity.x * scale, mVelocity.y * scale, mVelocity.z * scale};
        step = mVelocity;
    }
    mRemaining -= dt * mSpeed;
    // A world step becomes a step in the parent's space, where the frame's translation lives.
    Frame* frame = node->GetEngineFrame();
    if (frame && frame->parent)
    {
        Matrix inverse;
        Matrix::Invert(&inverse, Frame::GetWorldMatrix(frame->parent));
        const Vector world = step;
        Vector::TransformVector(&step, &world, &inverse);
    }
    if (frame)
        Frame::Translate(frame, &step, kCombinePostConcat);
    table->mFlags |= TsMotorSkills::kRunning;
    return 1;
}

int32_t TsDofTranslateMSState::AttachTo(TsActor* owner)
{
    if (!HbCastTo<TsDof>(owner))
        return 0;
    mOwner = owner;
    return 1;
}

TsMotorSkill* TsDofTranslateMSState::Create(TsActor* owner, PyObject* parameters)
{
    return Make<TsDofTranslateMSState>(owner, parameters);
}

// ---- MS_DOF_ROTATE -------------------------------------------------------------------------------------

void TsDofRotateMSState::Setup()
{
    mSpeed = 0.0f;
    mTarget = 0.0f;
    mAxis = {0.0f, 1.0f, 0.0f};
}

void TsDofRotateMSState::Init()
{
    if (TsMotorSkills* table = TableOf(mOwner))
    {
        mSpeed = table->mSpeed;
        mAxis = {table->mAxis[0], table->mAxis[1], table->mAxis[2]};
        mTarget = table->mAmount;
    }
    mLastTime = Now();
    mTurned = 0.0f;
}

int32_t TsDofRotateMSState::Loop()
{
    const int64_t now = Now();
    const float elapsed = float(double(now - mLastTime) / double(HbPerformanceFrequency()));
    mLastTime = now;
    mTurned += mSpeed * elapsed;
    float step = mSpeed * elapsed;
    bool finished = false;
    if ((mTarget > 0.0f && mTurned > mTarget) || (mTarget < 0.0f && mTurned < mTarget))
    {
        step -= mTurned - mTarget;
        mTurned = mTarget;
        finished = true;
    }
    if (Frame* frame = FrameOf(mOwner))
        Frame::Rotate(frame, &mAxis, step, 1);
    if (TsMotorSkills* table = TableOf(mOwner))
        table->mFlags |= finished ? TsMotorSkills::kSucceeded : TsMotorSkills::kRunning;
    return finished ? 0 : 1;
}

int32_t TsDofRotateMSState::AttachTo(TsActor* owner)
{
    if (!HbCastTo<TsDof>(owner))
        return 0;
    mOwner = owner;
    return 1;
}

TsMotorSkill* TsDofRotateMSState::Create(TsActor* owner, PyObject* parameters)
{
    return Make<TsDofRotateMSState>(owner, parameters);
}

void TsDofSkillsQueueRegistration(TsSkillRegistry* registry)
{
    if (registry && !gQueued)
        gQueued = registry->AddRegistration(Register) != 0;
}
