// MS_MOVE_DOF and its script function MoveDof.
#include "movedof.h"

#include "frame.h"
#include "hbclock.h"
#include "mobiledof.h"
#include "scripteventid.h"
#include "scriptworldmanager.h"
#include "slerp.h"
#include "tsactorlayer.h"
#include "tsmotorskills.h"
#include "tssendevent.h"
#include "tsskillregistry.h"
#include "w3dnode.h"

#include <Python.h>

#include <cmath>

HB_DEFINE_CLASS_DESC(MoveDofMSState, TsMotorSkill);

namespace
{
constexpr float kTiny = 0.001f;

float Wrap(float degrees)
{
    degrees = std::fmod(degrees, 360.0f);
    return degrees < 0.0f ? degrees + 360.0f : degrees;
}

float SecondsSince(int64_t stamp)
{
    const int64_t ticks = HbGameClock::Instance()->mGameTime - stamp;
    return float(double(ticks) / double(HbPerformanceFrequency()));
}

PyObject* MoveDof(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    int mode = 0;
    if (!PyArg_ParseTuple(args, "Oi:MoveDof", &object, &mode))
        return nullptr;
    TsActor* actor = TsFindActorOfScriptObject(object);
    TsMotorSkills* table = actor ? actor->GetMotorSkills() : nullptr;
    if (!table)
    {
        PyErr_SetString(PyExc_RuntimeError, "MoveDof : actor has no motor skills");
        return nullptr;
    }
    // The mode travels in the table's amount word; the refresh makes the next loop run Init.
    table->mAmount = float(mode);
    table->mFlags |= TsMotorSkills::kResetRequested;
    Py_RETURN_NONE;
}

int Register()
{
    TsSkillRegistry* registry = TsSkillRegistry::Instance();
    if (!registry)
        return 0;
    registry->AddSkillFunction(MoveDof, "MoveDof", "{behaviour} to use", __FILE__, __LINE__);
    registry->AddSkillState(MoveDofMSState::kScriptId, MoveDofMSState::kName, __FILE__, MoveDofMSState::Create,
                            __LINE__);
    return 1;
}

bool gQueued = false;

[[maybe_unused]] const int gQueuedAtStart = (MoveDofQueueRegistrations(), 1);
} // namespace

MoveDofMSState::MoveDofMSState(TsActor* owner) : TsMotorSkill(owner, kName), mInterpolated(MobileDofIdentity()) {}

MoveDofMSState::~MoveDofMSState()
{
    if (mInterpolator)
        Slerp::Destroy(mInterpolator);
}

MobileDof* MoveDofMSState::Dof() const
{
    return HbCastTo<MobileDof>(mOwner);
}

void MoveDofMSState::Setup()
{
    mMode = kSpinClosed;
    mPosition = 0.0f;
    mSpinAngle = 0.0f;
    mSpinSpeed = 0.0f;
    if (!mInterpolator)
        mInterpolator = Slerp::Create(0);
    mSpare = -1;
}

void MoveDofMSState::Init()
{
    MobileDof* dof = Dof();
    TsMotorSkills* table = mOwner ? mOwner->GetMotorSkills() : nullptr;
    mPreviousMode = mMode;
    mMode = table ? int32_t(table->mAmount) : kSpinClosed;
    mStamp = HbGameClock::Instance()->mGameTime;
    mSpeed = 0.0f;
    if (!dof)
        return;
    dof->ReadEndFrames();
    dof->ComputeTravel();
    if (mInterpolator)
        Slerp::Initialise(mInterpolator, &dof->mStart, &dof->mEnd);
    if (mMode == kSpinClosed)
    {
        mSpinSpeed = dof->mParameters.spinStart;
        mPosition = 0.0f;
    }
    else if (mMode == kSpinOpen)
    {
        mSpinSpeed = dof->mParameters.spinEnd;
        mPosition = dof->mTravel;
    }
    // The time left of a motion being reversed, which the next motion turns into its own time.
    if (mPreviousMode == kOpen)
        mReversalOffset = std::fmax(dof->OpenTime() - mElapsed, 0.0f);
    else if (mPreviousMode == kClose)
        mReversalOffset = std::fmax(dof->CloseTime() - mElapsed, 0.0f);
    else
        mReversalOffset = 0.0f;
}

void MoveDofMSState::Enter()
{
    MobileDof* dof = Dof();
    W3dNode* node = dof ? dof->GetNode() : nullptr;
    if (Frame* frame = node ? node->GetEngineFrame() : nullptr)
        dof->mRest = frame->modelling;
}

void MoveDofMSState::Place(MobileDof* dof, const Matrix* motion)
{
    W3dNode* node = dof->GetNode();
    Frame* frame = node ? node->GetEngineFrame() : nullptr;
    if (!frame)
        return;
    Frame::SetIdentity(frame);
    Frame::Transform(frame, &dof->mRest, kCombinePreConcat);
    if (motion)
        Frame::Transform(frame, motion, kCombinePreConcat);
    const Vector& axis = dof->mParameters.spinAxis;
    if (mSpinAngle != 0.0f && axis.x * axis.x + axis.y * axis.y + axis.z * axis.z > 0.0f)
        Frame::Rotate(frame, &axis, mSpinAngle, kCombinePreConcat);
}

void MoveDofMSState::Spin(float dt)
{
    mSpinAngle = Wrap(mSpinAngle + mSpinSpeed * dt);
}

int32_t MoveDofMSState::Finish(MobileDof* dof)
{
    // The motion ends on its placement, however far the last frame fell short or beyond.
    mPosition = mMode == kOpen ? dof->mTravel : 0.0f;
    mSpeed = 0.0f;
    Place(dof, mMode == kOpen ? &dof->mEnd : &dof->mStart);
    if (TsMotorSkills* table = dof->GetMotorSkills())
        table->mFlags |= TsMotorSkills::kSucceeded;
    if (ScriptWorldManager* world = ScriptWorldManager::Instance())
    {
        TsSendEvent event;
        event.id = kEventMapStateOver;
        event.sender = dof;
        event.target = dof;
        world->QueueEvent(event);
    }
    return 0;
}

int32_t MoveDofMSState::Loop()
{
    MobileDof* dof = Dof();
    TsMotorSkills* table = dof ? dof->GetMotorSkills() : nullptr;
    if (!table)
        return 0;
    const float dt = HbGameClock::Instance()->mStepSeconds;
    const float travel = dof->mTravel;
    switch (mMode)
    {
    case kSpinClosed:
    case kSpinOpen:
        Spin(dt);
        Place(dof, mMode == kSpinOpen ? &dof->mEnd : nullptr);
        table->mFlags |= TsMotorSkills::kRunning;
        return 1;
    case kOpen:
    {
        const float* times = dof->mParameters.openTimes;
        const float total = dof->OpenTime();
        const float t = SecondsSince(mStamp) + dof->mTimeRatio * mReversalOffset;
        mElapsed = t;
        if (t < times[0])
            mSpeed = t * dof->mOpenAcceleration;
        else if (t < times[0] + times[1])
            mSpeed = dof->mOpenSpeed;
        else
            mSpeed = dof->mOpenSpeed + (t - times[0] - times[1]) * dof->mOpenDeceleration;
        mPosition += dt * mSpeed;
        mSpinSpeed = dof->mOpenSpinRate * t + dof->mParameters.spinStart;
        Spin(dt);
        // An opening that takes no time is a move straight to the open placement.
        if (total <= kTiny || !(mPosition < travel && t <= total))
            return Finish(dof);
        break;
    }
    case kClose:
    {
        const float* times = dof->mParameters.closeTimes;
        const float total = dof->CloseTime();
        const float offset = dof->mTimeRatio > kTiny ? mReversalOffset / dof->mTimeRatio : 0.0f;
        const float t = SecondsSince(mStamp) + offset;
        mElapsed = t;
        // The closing accelerates over close 3 and decelerates over close 1.
        if (t < times[2])
            mSpeed = t * -dof->mCloseRateB;
        else if (t < times[2] + times[1])
            mSpeed = dof->mCloseSpeed;
        else
            mSpeed = dof->mCloseSpeed - (t - times[2] - times[1]) * dof->mCloseRateA;
        mPosition -= dt * mSpeed;
        mSpinSpeed = dof->mCloseSpinRate * t + dof->mParameters.spinEnd;
        Spin(dt);
        if (total <= kTiny || !(mPosition > 0.0f && t <= total))
            return Finish(dof);
        break;
    }
    default:
        return 0;
    }
    const float at = travel > kTiny ? mPosition / travel : 0.0f;
    if (mInterpolator)
        Slerp::InterpolateMatrix(mInterpolator, &mInterpolated, at);
    Place(dof, &mInterpolated);
    table->mFlags |= TsMotorSkills::kRunning;
    return 1;
}

int32_t MoveDofMSState::AttachTo(TsActor* owner)
{
    if (!HbCastTo<MobileDof>(owner))
        return 0;
    mOwner = owner;
    return 1;
}

TsMotorSkill* MoveDofMSState::Create(TsActor* owner, PyObject* parameters)
{
    auto* state = new MoveDofMSState(owner);
    if (!state->SetParameters(parameters))
    {
        delete state;
        return nullptr;
    }
    state->Setup();
    return state;
}

void MoveDofQueueRegistrations()
{
    if (gQueued)
        return;
    TsSkillRegistry* registry = TsSkillRegistry::Instance();
    if (!registry)
        return;
    registry->AddRegistration(Register);
    gQueued = true;
}
