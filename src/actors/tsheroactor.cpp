// The hero actor.
#include "tsheroactor.h"

#include "frame.h"
#include "hbclock.h"
#include "hbcontroller.h"
#include "hbinputaction.h"
#include "hbinputmanager.h"
#include "herostatemachine.h"
#include "tscameraregistry.h"
#include "w3dlevel.h"
#include "w3dnode.h"
#include "wscene.h"
#include "wvectorutil.h"

#include <cmath>

HB_DEFINE_CLASS_DESC(TsHeroActor, TsAnimActor);

namespace
{
constexpr float kPi = 3.14159265358979f;
constexpr float kNoInput = 0.001f;
constexpr const char* kArrowNames[4] = {"WIN_LEFT_ARROW", "WIN_RIGHT_ARROW", "WIN_DOWN_ARROW", "WIN_UP_ARROW"};

float Clamp1(float v)
{
    return v < -1.0f ? -1.0f : (v > 1.0f ? 1.0f : v);
}
} // namespace

TsHeroActor::TsHeroActor()
{
    mStateMachine = HeroStateMachine::Acquire(this);
    mLightLevel = 1.0f;
    ResetHeading(&mMoveDirection);
}

TsHeroActor::~TsHeroActor()
{
    if (mStateMachine)
    {
        mStateMachine->RemoveAll();
        HeroStateMachine::ReleaseToPool(mStateMachine);
    }
    mHandle.Reset();
    for (int32_t i = 0; i < mObjectives.GetCount(); ++i)
        static_cast<HbRoot*>(mObjectives[i])->Release();
}

void TsHeroActor::Update()
{
    UpdateLightLevel();
    if (mStateMachine)
        mStateMachine->Step();
}

void TsHeroActor::UpdateVisibilityClass()
{
    if (mLightLevel > 1.0f)
        mVisibilityClass = 3;
    else if (mLightLevel > 0.66666f)
        mVisibilityClass = 0;
    else if (mLightLevel > 0.33333f)
        mVisibilityClass = 1;
    else
        mVisibilityClass = 2;
}

void TsHeroActor::UpdateLightLevel()
{
    float light = 1.0f;
    W3dNode* node = GetNode();
    WScene* scene = node ? node->GetScene() : nullptr;
    W3dLevel* level = scene ? scene->GetLevel() : nullptr;
    if (level && level->GetLightField())
    {
        // The four components of the light the field gave the node.
        const float* samples = node->GetLightDirectionalColor();
        const float mean = (samples[0] + samples[1] + samples[2] + samples[3]) * 0.25f;
        light = std::fmin((std::fmax(mean, 0.2f) - 0.2f) / 0.7f, 1.0f);
    }
    if (mLightBoost >= 0.0f)
    {
        if (mLightBoost > light)
            light = mLightBoost;
        // The boost fades whatever the light around: a faded boost must not come back in the
        // dark.
        HbGameClock* clock = HbGameClock::Instance();
        mLightBoost -= kBoostDecay * (clock ? clock->mStepSeconds : 0.0f);
        if (mLightBoost <= 0.0f)
            mLightBoost = -1.0f;
    }
    mLightLevel = light;
    UpdateVisibilityClass();
}

void TsHeroActor::SetMoveDirection(const Vector* direction)
{
    const float length =
        std::sqrt(direction->x * direction->x + direction->y * direction->y + direction->z * direction->z);
    if (length > 0.0f)
        mMoveDirection = {Clamp1(direction->x / length), Clamp1(direction->y / length), Clamp1(direction->z / length)};
    ResetHeading(&mMoveDirection);
}

void TsHeroActor::ResetHeading(const Vector* direction)
{
    mSmoothedDirection = *direction;
    mTurns = 0;
    mInputHeading = HeadingFromVector(direction);
    mTargetHeading = mPreviousInputHeading = mSmoothedHeading = mInputHeading;
}

void TsHeroActor::ReadRawInput(Vector* raw)
{
    *raw = {0.0f, 0.0f, 0.0f};
    HbInputManager* input = HbInputManager::Instance();
    if (!input)
        return;
    if (input->IsPadPresent() && input->GetController(kHbControllerPad1))
    {
        float axis[2] = {0.0f, 0.0f};
        input->GetControllerAxis(kHbControllerPad1, 1, axis);
        *raw = {axis[0], 0.0f, axis[1]};
        return;
    }
    const uint32_t bindings = HbInputManager::BindingCounter();
    if (!mArrowsFound || bindings != mArrowBindings)
    {
        for (int32_t i = 0; i < 4; ++i)
            mArrows[i] = input->FindAction(kArrowNames[i]);
        mArrowBindings = bindings;
        mArrowsFound = true;
    }
    auto held = [this](int32_t i) { return mArrows[i] && mArrows[i]->IsTriggered(); };
    if (held(0))
        raw->x = -1.0f;
    if (held(1))
        raw->x = 1.0f;
    if (held(2))
        raw->z = -1.0f;
    if (held(3))
        raw->z = 1.0f;
}

void TsHeroActor::ReadMoveInput(float frameSeconds, float turnRate)
{
    Vector raw;
    ReadRawInput(&raw);
    ApplyMoveInput(&raw, frameSeconds, turnRate);
}

void TsHeroActor::ApplyMoveInput(const Vector* raw, float frameSeconds, float turnRate)
{
    mPreviousInputStrength = mInputStrength;
    if (std::fabs(raw->x) <= kNoInput && std::fabs(raw->z) <= kNoInput)
    {
        mInputStrength = 0.0f;
        return;
    }
    mInputStrength = std::sqrt(raw->x * raw->x + raw->z * raw->z);
    mMoveDirection = {Clamp1(raw->x / mInputStrength), 0.0f, Clamp1(raw->z / mInputStrength)};
    UpdateHeading();
    mSmoothedHeading = BlendByFrameTime(mSmoothedHeading, mTargetHeading, turnRate, frameSeconds);
    mSmoothedDirection = VectorFromHeading(mSmoothedHeading);
}

void TsHeroActor::UpdateHeading()
{
    mInputHeading = HeadingFromVector(&mMoveDirection);
    mHeadingStep = mInputHeading - mPreviousInputHeading;
    if (mHeadingStep < -kPi)
    {
        ++mTurns;
        mHeadingStep += 2.0f * kPi;
    }
    else if (mHeadingStep > kPi)
    {
        --mTurns;
        mHeadingStep -= 2.0f * kPi;
    }
    mTargetHeading = mInputHeading + 2.0f * kPi * float(mTurns);
    mPreviousInputHeading = mInputHeading;
}

int32_t TsHeroActor::GetCameraHeadingVector(Vector* out) const
{
    Frame* frame = TsCameraRegistry::GetCurrentCameraNode();
    if (!frame)
        return 0;
    const Vector at = Frame::GetWorldMatrix(frame)->at;
    const float length = std::sqrt(at.x * at.x + at.z * at.z);
    if (!(length > 0.0f))
        return 0;
    *out = {at.x / length, 0.0f, at.z / length};
    return 1;
}

int32_t TsHeroActor::CameraToWorldDirection(const Vector* input, Vector* out) const
{
    Vector f;
    const int32_t haveCamera = GetCameraHeadingVector(&f);
    Vector world = haveCamera ? Vector{f.x * input->z - f.z * input->x, 0.0f, f.x * input->x + f.z * input->z}
                              : Vector{input->x, 0.0f, input->z};
    const float length = std::sqrt(world.x * world.x + world.z * world.z);
    if (length > 0.0f)
        world = {Clamp1(world.x / length), 0.0f, Clamp1(world.z / length)};
    *out = world;
    return haveCamera;
}
