// The bone look-at controller and the muzzle aim.
#include "tsbonelookat.h"

#include "frame.h"
#include "hbclock.h"
#include "matrix.h"
#include "quat.h"
#include "rdanimmotor.h"
#include "rdprocchannel.h"
#include "stdkey.h"
#include "tsanimactor.h"
#include "tscameraregistry.h"
#include "tsweaponshoot.h"
#include "w3danimobject.h"
#include "wvectorutil.h"

#include <cmath>

namespace
{

constexpr float kNearZero = 0.001f;
constexpr float kViewReach = 200.0f;

bool AlmostZero(const Vector& v)
{
    return std::fabs(v.x) <= kNearZero && std::fabs(v.y) <= kNearZero && std::fabs(v.z) <= kNearZero;
}

Vector Normalised(const Vector& v)
{
    Vector out = v;
    float length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    if (length > 0.0f)
        out = {v.x / length, v.y / length, v.z / length};
    return out;
}

} // namespace

TsBoneLookAt::~TsBoneLookAt()
{
    mActor.Reset();
}

TsAnimActor* TsBoneLookAt::LiveActor()
{
    if (!mActor.IsValid())
        return nullptr;
    return static_cast<TsAnimActor*>(mActor.GetObject());
}

void TsBoneLookAt::Init(TsAnimActor* actor, int32_t mode)
{
    mActor.Assign(actor);
    mTarget = {0, 0, 0};
    mPitch = 0.0f;
    mMode = mode;
    mBoneFrame = nullptr;
    mFrozen = 0;
}

void TsBoneLookAt::Start(int32_t boneId)
{
    TsAnimActor* actor = LiveActor();
    if (!actor)
        return;
    Stop();
    mBoneId = boneId;
    RdAnimMotor* motor = actor->GetAnimMotor();
    if (motor && mChannelId == 0)
        if (RdProcChannel* channel = motor->AddProcChannel(boneId, BoneCallback, this))
            mChannelId = channel->GetId();
    W3dAnimObject* model = actor->GetModel();
    mBoneFrame = model ? model->GetBoneFrame(boneId) : nullptr;
    mPitch = 0.0f;
}

void TsBoneLookAt::Stop()
{
    TsAnimActor* actor = LiveActor();
    if (!actor)
        return;
    RdAnimMotor* motor = actor->GetAnimMotor();
    if (mChannelId != 0 && motor && motor->RemoveChannel(mChannelId))
        mChannelId = 0;
    Init(actor, mMode);
}

void TsBoneLookAt::Update()
{
    TsAnimActor* actor = LiveActor();
    if (!actor || mFrozen)
        return;
    TsActor* target = actor->GetTarget();
    if (mMode == 0)
    {
        if (W3dNode* node = target ? target->GetNode() : nullptr)
            if (const Vector* position = node->GetWorldPosition())
                mTarget = *position;
    }
    else if (mMode == 1 && mBoneFrame)
    {
        // No current camera (yet): the point stays where it was.
        if (Frame* camera = TsCameraRegistry::GetCurrentCameraNode())
        {
            const Matrix* view = Frame::GetWorldMatrix(camera);
            const Vector& bone = Frame::GetWorldMatrix(mBoneFrame)->pos;
            mTarget = {bone.x + kViewReach * view->at.x, bone.y + kViewReach * view->at.y,
                       bone.z + kViewReach * view->at.z};
        }
    }
}

void TsBoneLookAt::BoneCallback(void* keyFrame, void* data)
{
    auto* self = static_cast<TsBoneLookAt*>(data);
    if (!self || !keyFrame || self->mFrozen || !self->mBoneFrame)
        return;
    TsAnimActor* actor = self->LiveActor();
    W3dNode* node = actor ? actor->GetNode() : nullptr;
    if (!node)
        return;
    const Matrix* boneWorld = Frame::GetWorldMatrix(self->mBoneFrame);
    const Vector& bone = boneWorld->pos;
    Vector d = {self->mTarget.x - bone.x, self->mTarget.y - bone.y, self->mTarget.z - bone.z};
    d = Normalised(d);
    Vector h = Normalised(Vector{d.x, 0.0f, d.z});
    float angle = 0.0f;
    if (!AlmostZero(d) && !AlmostZero(h))
        angle = VectorAngle(&d, &h, nullptr);
    if (angle - kNearZero > kMaxPitch)
        angle = kMaxPitch;
    if (d.y > kNearZero)
        angle = -angle;

    Vector axis = Frame::GetWorldMatrix(node->GetEngineFrame())->right;
    if (AlmostZero(axis))
        return;
    self->mPitch = BlendByFrameTime(self->mPitch, angle, 5.0f, HbGameClock::Instance()->mStepSeconds);
    if (std::fabs(self->mPitch) > std::fabs(angle))
        self->mPitch = angle;

    Matrix inverse;
    Matrix::Invert(&inverse, boneWorld);
    Vector local;
    Vector::TransformVector(&local, &axis, &inverse);
    local = Normalised(local);
    auto* frame = static_cast<StdInterpFrame*>(keyFrame);
    Quat rotation = {frame->q.x, frame->q.y, frame->q.z, frame->q.w};
    Quat::Rotate(&rotation, &local, self->mPitch, 1);
    frame->q = {rotation.x, rotation.y, rotation.z, rotation.w};
}

void TsAnimActorAimWeaponAt(TsActor* actor, const Vector* point)
{
    if (!actor || !point || !HbClassDesc::IsKindOf(actor, &TsAnimActor::sClassDesc))
        return;
    auto* weapon = HbCastTo<TsWeaponShoot>(static_cast<TsAnimActor*>(actor)->GetWeapon());
    Frame* muzzle = weapon ? weapon->GetMuzzleFrame() : nullptr;
    if (!muzzle)
        return;
    const Vector& from = Frame::GetWorldMatrix(muzzle)->pos;
    Vector d = Normalised(Vector{point->x - from.x, point->y - from.y, point->z - from.z});
    if (AlmostZero(d))
        return;
    FrameLookAlong(muzzle, &d);
}
