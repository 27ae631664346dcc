// The animation-driven movement controller: root motion and the per-frame step.
#include "animmovectrl.h"

#include "clump.h"
#include "collision.h"
#include "frame.h"
#include "hbarena.h"
#include "hbclock.h"
#include "quat.h"
#include "rdanim.h"
#include "rdanimchannel.h"
#include "rdanimmotor.h"
#include "rdprocchannel.h"
#include "rdskeleton.h"
#include "scriptworldmanager.h"
#include "stdkey.h"
#include "tsactor.h"
#include "tsastarpathfinder.h"
#include "w3danimobject.h"
#include "w3dcollision.h"
#include "w3dlevel.h"
#include "world.h"
#include "wscene.h"
#include "wvectorutil.h"

#include <algorithm>
#include <cmath>

HB_DEFINE_CLASS_DESC(AnimMoveCtrl, HbRoot);
HB_DEFINE_CLASS_POOL(AnimMoveCtrl, "AnimMoveCtrl", AnimMoveCtrl::kPoolSize);

namespace
{
const Vector kUp = {0, 1, 0};

float Length(const Vector& v)
{
    return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}

/// The rotation's angle about the vertical, degrees: the unsigned angle takes the sign of
/// its axis, so that a turn about the downward axis is a turn the other way.
float SignedYaw(const AnimQuat& rotation)
{
    Quat q = {rotation.x, rotation.y, rotation.z, rotation.w};
    Vector axis = {0, 0, 0};
    float angle = 0.0f;
    Quat::GetRotation(&q, &axis, &angle);
    return axis.y < 0.0f ? -angle : angle;
}

TsAStarPathfinder* gLevelGraph = nullptr;

float Dot(const Vector& a, const Vector& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

Vector Normalised(const Vector& v)
{
    const float length = Length(v);
    return length > 0.0f ? Vector{v.x / length, v.y / length, v.z / length} : Vector{0, 0, 0};
}

/// What a wall query gathers: the horizontal step it faces, the summed wall normals and the
/// last wall counted.
struct WallQuery
{
    Vector step;
    Vector push;
    int32_t hits;
    Vector lastNormal;
    Vector lastPoints[3];
    Rgba lastColour;
};

CollisionTriangle* OnWallTriangle(IntersectionPrimitive*, WorldSector* sector, CollisionTriangle* triangle, float,
                                  void* data)
{
    auto* query = static_cast<WallQuery*>(data);
    const Vector n = Normalised(triangle->normal);
    // Only walls count, and only those the step runs into.
    if (std::fabs(n.y) >= 0.1f || n.x * query->step.x + n.z * query->step.z >= 0.0f)
        return triangle;
    query->push.x += n.x;
    query->push.z += n.z;
    ++query->hits;
    query->lastNormal = n;
    for (int32_t i = 0; i < 3; ++i)
        query->lastPoints[i] = triangle->vertices[i] ? *triangle->vertices[i] : Vector{0, 0, 0};
    query->lastColour = CollisionTriangleGetMaterialColor(sector, triangle->index);
    return triangle;
}

/// Surface-flag bits of a special wall (a ladder's top or foot) in the colour's third byte.
constexpr uint8_t kSpecialWallBits = 0x80 | 0x10;
/// Shots and probe lines pass surfaces whose flag byte holds this bit.
constexpr uint8_t kShootThrough = 0x20;
/// Collision-mask bits of an atomic that stop a probe line: any but the bookkeeping bit of a
/// borrowed sphere record.
constexpr uint8_t kProbeBlockingMask = uint8_t(~W3dCollisionNode::kBorrowedSphere);

int32_t ProbeLineFilter(const W3dCollisionResult* candidate)
{
    if (candidate->color[TsActor::kSurfaceFlagByte] & kShootThrough)
        return 0;
    if (candidate->kind == W3dCollisionResult::kAtomicTriangle && !(candidate->color[1] & kProbeBlockingMask))
        return 0;
    return 1;
}

/// The probes of every controller share one arena, made on first use and kept to the end.
HbArena& ProbeArena()
{
    static HbArena arena;
    if (!arena.Exists())
        arena.Init(AnimMoveCtrl::kProbeArenaBytes);
    return arena;
}

/// -1, 0 or 1: an axis the loop does not move along gets no preset offset.
float Sign(float v)
{
    return v > 0.0f ? 1.0f : (v < 0.0f ? -1.0f : 0.0f);
}
} // namespace

AnimMoveCtrl::AnimMoveCtrl(TsActor* actor) : mActor(actor)
{
    mModel = HbCastTo<W3dAnimObject>(actor ? actor->GetNode() : nullptr);
    if (!mModel)
        return;
    // The motor lives in the model: it must outlast the callbacks registered on it.
    mModel->AddRef();
    RdAnimMotor& motor = mModel->GetMotor();
    motor.SetBoneCallback(kRootBone, OnRootBone, this);
    motor.SetPostUpdateCallback(OnAfterBlend, this);
}

struct AnimMoveCtrl::BoneProbe
{
    int32_t enabled;
    int32_t kind;
    Frame* boneFrame;
    Vector lastPosition;
    Vector smoothedPush;
    float radius;
    Vector offset;
    float pushFactor;
    int32_t hit;
};

AnimMoveCtrl::~AnimMoveCtrl()
{
    if (mProbes)
        ProbeArena().Free(mProbes);
    mProbes = nullptr;
    if (!mModel)
        return;
    RdAnimMotor& motor = mModel->GetMotor();
    uint16_t ids[RdAnimMotor::kMaxAnimChannels];
    int32_t count = 0;
    for (int32_t i = 0; i < motor.GetAnimChannelCount() && count < RdAnimMotor::kMaxAnimChannels; ++i)
    {
        RdChannel* channel = motor.GetAnimChannel(i);
        channel->RemoveCallback(OnLoop, RdChannel::kLoopEvent);
        ids[count++] = channel->GetId();
    }
    for (int32_t i = 0; i < count; ++i)
        motor.RemoveChannel(ids[i]);
    RemoveRootChannel();
    motor.SetBoneCallback(kRootBone, nullptr, nullptr);
    motor.SetPostUpdateCallback(nullptr, nullptr);
    mModel->Release();
}

void AnimMoveCtrl::ClearFrame()
{
    mAccumulated = {0, 0, 0};
    mTurnAngle = 0.0f;
    mAnimYaw = 0.0f;
    mMaxStep = kNoMaximum;
    mStepScale = 1.0f;
}

void AnimMoveCtrl::RemoveRootChannel()
{
    if (mRootChannelId && mModel)
        mModel->GetMotor().RemoveChannel(mRootChannelId);
    mRootChannelId = 0;
}

void AnimMoveCtrl::SetLevelGraph(TsAStarPathfinder* graph)
{
    gLevelGraph = graph;
}

void AnimMoveCtrl::Reset()
{
    ClearFrame();
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    WScene* scene = world ? world->GetScene() : nullptr;
    if (W3dLevel* level = scene ? scene->GetLevel() : nullptr)
        SetCollisionWorlds(level->GetCollisionWorld(), level->GetMainWorld());
    mLastAccepted = {0, 0, 0};
    mPush = {0, 0, 0};
    RemoveRootChannel();
    mMode = 0;
    mMoveFlags = 0;
    mFamilyMask = 0;
    mResultFlags = 0;
    mTouched = nullptr;
    mLastDistance = 0.0f;
}

void AnimMoveCtrl::SetDirection(const Vector* direction)
{
    const float length = direction ? Length(*direction) : 0.0f;
    mDirection =
        length > 0.0f ? Vector{direction->x / length, direction->y / length, direction->z / length} : Vector{0, 0, 0};
}

void AnimMoveCtrl::SetGoal(const Vector* point)
{
    if (!point)
        return;
    mGoal = {point->x, 0.0f, point->z};
    mMoveFlags |= kStopOnGoal;
}

TsActor* AnimMoveCtrl::GetActor()
{
    return mActor.IsValid() ? static_cast<TsActor*>(mActor.GetObject()) : nullptr;
}

int32_t AnimMoveCtrl::IsBoneTargetSet(int32_t index) const
{
    return index >= 0 && index < mProbeCount ? mProbes[index].enabled : 0;
}

int32_t AnimMoveCtrl::AddBoneTarget(int32_t boneId, float radius, float pushFactor, int32_t kind, const Vector* offset)
{
    Frame* boneFrame = mModel ? mModel->GetBoneFrame(boneId) : nullptr;
    if (!boneFrame || mProbeCount >= kMaxBoneTargets)
        return -1;
    if (!mProbes)
    {
        // The arena is shared by every controller and has no overflow: when it is full the
        // probe is refused.
        mProbes = static_cast<BoneProbe*>(ProbeArena().Alloc(sizeof(BoneProbe) * kMaxBoneTargets));
        if (!mProbes)
            return -1;
    }
    BoneProbe& probe = mProbes[mProbeCount];
    probe = {};
    probe.kind = kind;
    probe.boneFrame = boneFrame;
    probe.radius = radius;
    probe.offset = offset ? *offset : Vector{0, 0, 0};
    probe.pushFactor = pushFactor;
    return mProbeCount++;
}

void AnimMoveCtrl::SetBoneTarget(int32_t index, const Vector* offset)
{
    if (index < 0 || index >= mProbeCount)
        return;
    BoneProbe& probe = mProbes[index];
    probe.enabled = 1;
    probe.lastPosition = Frame::GetWorldMatrix(probe.boneFrame)->pos;
    if (offset)
        probe.offset = *offset;
}

void AnimMoveCtrl::ClearBoneTarget(int32_t index)
{
    if (index >= 0 && index < mProbeCount)
        mProbes[index].enabled = 0;
}

void AnimMoveCtrl::ClearBoneTargets()
{
    for (int32_t i = 0; i < mProbeCount; ++i)
    {
        mProbes[i].enabled = 0;
        mProbes[i].hit = 0;
    }
}

int32_t AnimMoveCtrl::IsBoneTargetHit(int32_t index) const
{
    return index >= 0 && index < mProbeCount ? mProbes[index].hit : 0;
}

const Vector* AnimMoveCtrl::GetBoneTargetOffset(int32_t index) const
{
    return index >= 0 && index < mProbeCount ? &mProbes[index].offset : nullptr;
}

const Vector* AnimMoveCtrl::GetBoneTargetPush(int32_t index) const
{
    return index >= 0 && index < mProbeCount ? &mProbes[index].smoothedPush : nullptr;
}

HbHandlePtr AnimMoveCtrl::PlayAnim(RdAnimation* animation, int32_t profileId, int64_t blendIn, int64_t start,
                                   int32_t loop)
{
    ClearFrame();
    if (!mModel)
        return HbHandlePtr();
    RdAnimMotor& motor = mModel->GetMotor();
    const double frequency = double(HbPerformanceFrequency());
    const float startSeconds = float(double(start) / frequency);
    RdAnimChannel* channel = motor.PlayAnim(animation, profileId, startSeconds);
    if (!channel)
        return HbHandlePtr();
    mCurrentChannelId = channel->GetId();
    motor.RampChannelWeight(mCurrentChannelId, 0.0f, 1.0f, blendIn);

    // Started part-way: the root already stands where the skipped time took it.
    channel->mLastRootPosition = {0, 0, 0};
    if (start > 0)
    {
        const float travelled = startSeconds * animation->GetRootSpeed();
        const Vector& loopOffset = animation->GetRootDelta();
        if (mMoveFlags & kPresetRootX)
            channel->mLastRootPosition.x = Sign(loopOffset.x) * travelled;
        if (mMoveFlags & kPresetRootY)
            channel->mLastRootPosition.y = Sign(loopOffset.y) * travelled;
        if (mMoveFlags & kPresetRootZ)
            channel->mLastRootPosition.z = Sign(loopOffset.z) * travelled;
    }
    channel->mLastRootYaw = 0.0f;

    channel->SetLoop(loop);
    if (loop)
    {
        channel->RemoveCallback(OnLoop, RdChannel::kLoopEvent);
        channel->AddTimedCallback(OnLoop, this, RdChannel::kLoopEvent);
    }

    // The pose keeps the skeleton in place: the root bone always plays the identity.
    RemoveRootChannel();
    if (const RdBone* bone = motor.GetSkeleton() ? motor.GetSkeleton()->FindBone(kRootBone) : nullptr)
    {
        RdProfile bones = channel->GetBones();
        bones.AddBone(bone->index);
        channel->SetBones(bones);
    }
    if (RdProcChannel* root = motor.AddProcChannel(kRootBone, ClearRootBone, nullptr))
        mRootChannelId = root->GetId();
    return HbHandlePtr(channel);
}

void AnimMoveCtrl::ClearRootBone(void* keyFrame, void*)
{
    auto* frame = static_cast<StdInterpFrame*>(keyFrame);
    if (!frame)
        return;
    frame->q = {0, 0, 0, 1};
    frame->t = {0, 0, 0};
}

void AnimMoveCtrl::OnLoop(uint16_t channelId, void* data)
{
    auto* self = static_cast<AnimMoveCtrl*>(data);
    RdChannel* found = self && self->mModel ? self->mModel->GetMotor().GetChannel(channelId) : nullptr;
    auto* channel = HbCastTo<RdAnimChannel>(found);
    if (!channel)
        return;
    const RdAnimation* animation = channel->GetAnimation();
    // A turning loop starts over at its first angle: the yaw goes on from there.
    const StdKeyFrame* first = animation ? animation->GetFirstRootKeyFrame() : nullptr;
    const StdKeyFrame* last = animation ? animation->GetLastRootKeyFrame() : nullptr;
    if (first && last)
        channel->mLastRootYaw -= SignedYaw(last->q) - SignedYaw(first->q);
    const Vector offset = animation ? animation->GetRootDelta() : Vector{0, 0, 0};
    if (offset.x == 0.0f && offset.y == 0.0f && offset.z == 0.0f)
    {
        channel->mLastRootPosition = {0, 0, 0};
        return;
    }
    channel->mLastRootPosition.x -= offset.x;
    channel->mLastRootPosition.y -= offset.y;
    channel->mLastRootPosition.z -= offset.z;
}

void AnimMoveCtrl::OnRootBone(void* keyFrame, RdChannel* channel, void* data)
{
    static_cast<AnimMoveCtrl*>(data)->RootMotion(keyFrame, channel);
}

void AnimMoveCtrl::RootMotion(void* keyFrame, RdChannel* channel)
{
    auto* animChannel = HbCastTo<RdAnimChannel>(channel);
    if (!animChannel || !keyFrame || !GetActor())
        return;
    if ((mMoveFlags & kCurrentChannelOnly) && channel->GetId() != mCurrentChannelId)
        return;
    auto* frame = static_cast<StdInterpFrame*>(keyFrame);
    Vector& last = animChannel->mLastRootPosition;
    Vector d = {frame->t.x - last.x, frame->t.y - last.y, frame->t.z - last.z};
    last = frame->t;
    frame->t = {0, 0, 0};
    const float weight = channel->GetWeight();
    if ((mMoveFlags & kWeightRootMotion) && weight >= 0.0f && weight < 1.0f)
        d = {d.x * weight, d.y * weight, d.z * weight};
    mAccumulated = {mAccumulated.x + d.x, mAccumulated.y + d.y, mAccumulated.z + d.z};

    if (!(mMoveFlags & kApplyYaw))
        return;
    const float angle = SignedYaw(frame->q);
    if (angle == 0.0f)
        return;
    const Vector& a = mAccumulated;
    if (std::fabs(a.x) > 0.001f || std::fabs(a.y) > 0.001f || std::fabs(a.z) > 0.001f)
    {
        // Into the turned frame; what goes sideways there is dropped.
        const float radians = angle * 3.14159265f / 180.0f;
        const float c = std::cos(radians);
        const float s = std::sin(radians);
        mAccumulated = {0.0f, a.y, -a.x * s + a.z * c};
    }
    mAnimYaw = angle - animChannel->mLastRootYaw;
    animChannel->mLastRootYaw = angle;
}

void AnimMoveCtrl::OnAfterBlend(RdAnimMotor*, void* data)
{
    static_cast<AnimMoveCtrl*>(data)->Step();
}

bool AnimMoveCtrl::ApplyStep(const Vector& step)
{
    if (!(mMoveFlags & kFollowGround))
    {
        Frame::Translate(mModel->GetEngineFrame(), &step, 2);
        return true;
    }
    TsActor* actor = GetActor();
    if (actor && actor->SnapToGround(&step))
        return true;
    mResultFlags |= kGroundRefused;
    return false;
}

void AnimMoveCtrl::RunBoneProbes()
{
    const float frameSeconds = HbGameClock::Instance()->mStepSeconds;
    for (int32_t i = 0; i < mProbeCount; ++i)
    {
        BoneProbe& probe = mProbes[i];
        if (!probe.enabled)
            continue;
        probe.hit = 0;
        const Matrix* boneMatrix = Frame::GetWorldMatrix(probe.boneFrame);
        const Vector bone = boneMatrix->pos;
        Vector o = {0, 0, 0};
        if (probe.offset.x != 0.0f || probe.offset.y != 0.0f || probe.offset.z != 0.0f)
            Vector::TransformVector(&o, &probe.offset, boneMatrix);
        if (probe.kind == kProbeLine)
        {
            const Vector from = {bone.x, bone.y + o.y, bone.z};
            const Vector to = {bone.x + o.x, bone.y + o.y, bone.z + o.z};
            W3dCollisionResult result;
            if (CollisionTestLineEx(mDynamicWorld, mStaticWorld, &from, &to, mModel, nullptr, &result, ProbeLineFilter))
                probe.hit = 1;
            continue;
        }
        // The bone's horizontal motion since the last frame: what a wall pushes back.
        const Vector v = {bone.x - probe.lastPosition.x, 0.0f, bone.z - probe.lastPosition.z};
        probe.lastPosition = bone;
        Sphere sphere;
        sphere.centre = {bone.x + o.x, bone.y + o.y, bone.z + o.z};
        sphere.radius = probe.radius;
        Vector push = {0, 0, 0};
        Vector step = {0, 0, 0};
        if (TestWallSphere(sphere, v, &push, false))
        {
            probe.hit = 1;
            const Vector u = Normalised(v);
            const Vector n = Normalised(push);
            const float force = -Dot(u, n) * probe.pushFactor;
            if (force > 0.0f)
            {
                const float amount = force * Length(v);
                step = {n.x * amount, n.y * amount, n.z * amount};
            }
        }
        BlendVectorByFrameTime(&probe.smoothedPush, &step, 50.0f, frameSeconds, &probe.smoothedPush);
        // The smoothed push moves the actor now, before its own step: the probe eases off a
        // wall instead of jerking.
        if (Length(probe.smoothedPush) > 0.0f)
            ApplyStep(probe.smoothedPush);
    }
}

void AnimMoveCtrl::Step()
{
    mLastDistance = 0.0f;
    mResultFlags = 0;
    mTouched = nullptr;
    mWall.set = 0;
    Frame* frame = mModel ? mModel->GetEngineFrame() : nullptr;
    if (!frame)
    {
        ClearFrame();
        return;
    }
    RunBoneProbes();

    Vector step = mAccumulated;
    if (mMoveFlags & kReverseStep)
        step = {-step.x, -step.y, -step.z};
    float length = Length(step);
    const Vector dir = length > 0.0f ? Vector{step.x / length, step.y / length, step.z / length} : Vector{0, 0, 0};
    if (mMoveFlags & kScaleStep)
        length *= mStepScale;
    length = std::min(length, mMaxStep);
    if (mMoveFlags & kStopOnGoal)
    {
        const Matrix* m = Frame::GetWorldMatrix(frame);
        const float dx = mGoal.x - m->pos.x;
        const float dz = mGoal.z - m->pos.z;
        length = std::min(length, std::sqrt(dx * dx + dz * dz));
    }

    if ((mMoveFlags & kApplyYaw) && std::fabs(mAnimYaw) > 0.001f)
        Frame::Rotate(frame, &kUp, mAnimYaw, 1);
    else if (std::fabs(mTurnAngle) > 0.001f)
        Frame::Rotate(frame, &kUp, mTurnAngle, 1);

    Vector world = {0, 0, 0};
    if (length > 0.0f)
    {
        if (mMoveFlags & kAlongDirection)
            world = {mDirection.x * length, mDirection.y * length, mDirection.z * length};
        else
        {
            const Vector local = {dir.x * length, dir.y * length, dir.z * length};
            Vector::TransformVector(&world, &local, Frame::GetWorldMatrix(frame));
        }
    }

    if (mMode & kModeApproach)
    {
        if (TouchesApproached())
            length = 0.0f;
    }
    else if (length > 0.0f && !GuardedMove(&world))
        length = 0.0f;
    if (length > 0.0f && ApplyStep(world))
        mLastDistance = Length(world);
    ClearFrame();
}

bool AnimMoveCtrl::TestWallSphere(const Sphere& bounds, const Vector& step, Vector* push, bool record)
{
    if (!mStaticWorld)
        return false;
    IntersectionPrimitive sphere;
    sphere.type = kIntersectSphere;
    sphere.data.sphere = bounds;
    WallQuery query = {};
    query.step = step;
    World::ForAllTriangleIntersections(mStaticWorld, &sphere, OnWallTriangle, &query);
    if (!query.hits)
        return false;
    *push = query.push;
    if (record && (query.lastColour.blue & kSpecialWallBits))
    {
        mWall.set = 1;
        mWall.normal = query.lastNormal;
        for (int32_t i = 0; i < 3; ++i)
            mWall.points[i] = query.lastPoints[i];
        mWall.colour[0] = query.lastColour.red;
        mWall.colour[1] = query.lastColour.green;
        mWall.colour[2] = query.lastColour.blue;
        mWall.colour[3] = query.lastColour.alpha;
    }
    return true;
}

namespace
{
struct FineSpheres
{
    const W3dCollisionNode* nodes[64];
    int32_t count;
};

void CollectFineSpheres(const W3dCollisionNode* volume, FineSpheres* out)
{
    if (!volume || out->count >= 64)
        return;
    if (volume->kind & W3dCollisionNode::kFrameSphere)
        out->nodes[out->count++] = volume;
    for (int32_t i = 0; i < volume->children.GetCount(); ++i)
        CollectFineSpheres(static_cast<const W3dCollisionNode*>(volume->children[i]), out);
}
} // namespace

bool AnimMoveCtrl::TestFineSpheres(const Vector& step, bool* found)
{
    FineSpheres fine;
    fine.count = 0;
    CollectFineSpheres(mModel->GetMoveCollisionSet().GetRoot(), &fine);
    *found = fine.count > 0;
    if (!fine.count)
        return false;
    // The spheres hang on the model's bones: the node goes to the candidate place for the
    // test and comes back after it.
    Frame* frame = mModel->GetEngineFrame();
    const Matrix saved = frame->modelling;
    Frame::Translate(frame, &step, 2);
    bool hit = false;
    for (int32_t i = 0; i < fine.count && !hit; ++i)
    {
        const Sphere sphere = *fine.nodes[i]->GetWorldSphere();
        Vector push = {0, 0, 0};
        if (TestWallSphere(sphere, step, &push, false))
        {
            mPush = push;
            hit = true;
        }
    }
    Frame::Transform(frame, &saved, kCombineReplace);
    return hit;
}

bool AnimMoveCtrl::TestWalls(const Vector& position, const Vector& step)
{
    if (!mStaticWorld || !mModel)
        return false;
    const Sphere* bounds = mModel->GetBoundingSphere();
    Sphere sphere;
    sphere.centre = {position.x + bounds->centre.x, position.y + bounds->centre.y, position.z + bounds->centre.z};
    sphere.radius = bounds->radius;
    Vector push = {0, 0, 0};
    if (!TestWallSphere(sphere, step, &push, true))
        return false;
    mPush = push;
    // The whole body's sphere met a wall: the finer spheres, when the model has them, decide.
    bool found = false;
    const bool fineHit = TestFineSpheres(step, &found);
    return !found || fineHit;
}

namespace
{
struct Candidate
{
    TsActor* actor;
    Vector centre;
    float radius;
    float distance;
    /// The root of the actor's collision tree, or null.
    const W3dCollisionNode* tree;
};

struct BodyQuery
{
    IntersectionPrimitive* sphere;
    Vector step;
    bool hit;
};

CollisionTriangle* OnBodyTriangle(IntersectionPrimitive*, CollisionTriangle* triangle, float, void* data)
{
    auto* query = static_cast<BodyQuery*>(data);
    const Vector n = Normalised(triangle->normal);
    // As for the level's walls: a side the step runs into.
    if (std::fabs(n.y) < 0.1f && n.x * query->step.x + n.z * query->step.z < 0.0f)
    {
        query->hit = true;
        return nullptr;
    }
    return triangle;
}

void TestBodyAtomic(Atomic* atomic, void* data)
{
    auto* query = static_cast<BodyQuery*>(data);
    if (!query->hit)
        Atomic::ForAllIntersections(atomic, query->sphere, OnBodyTriangle, query);
}

/// Whether the sphere meets a wall-like side of the tree's atomics that faces the step.
bool TouchesTree(const W3dCollisionNode* volume, IntersectionPrimitive* sphere, const Vector& step)
{
    BodyQuery query = {sphere, step, false};
    // The tree's volumes, depth first; a tree is small (a vehicle's body, a crate stack).
    const W3dCollisionNode* stack[64];
    int32_t depth = 0;
    stack[depth++] = volume;
    while (depth > 0 && !query.hit)
    {
        const W3dCollisionNode* v = stack[--depth];
        if (v->kind & (W3dCollisionNode::kAtomic | W3dCollisionNode::kNode))
            v->ForAllAtomics(TestBodyAtomic, &query);
        for (int32_t i = 0; i < v->children.GetCount() && depth < 64; ++i)
            stack[depth++] = static_cast<const W3dCollisionNode*>(v->children[i]);
    }
    return query.hit;
}
} // namespace

bool AnimMoveCtrl::TestActors(const Vector& position, const Vector& step)
{
    TsActor* self = GetActor();
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    const float length = Length(step);
    if (length <= 0.0f || !self || !world || !mModel)
        return false;
    const Sphere* bounds = mModel->GetBoundingSphere();
    const Vector centre = {position.x + bounds->centre.x, position.y + bounds->centre.y, position.z + bounds->centre.z};
    TsActor* hero = world->GetHero();
    // Candidates nearest first; the list is bounded like the script world's own.
    constexpr int32_t kMaxCandidates = 200;
    Candidate candidates[kMaxCandidates];
    int32_t count = 0;
    for (const HbPtrListNode* node = world->GetActors().GetHead(); node && count < kMaxCandidates; node = node->next)
    {
        auto* other = static_cast<TsActor*>(node->value);
        W3dNode* otherNode = other ? other->GetNode() : nullptr;
        Frame* otherFrame = otherNode ? otherNode->GetEngineFrame() : nullptr;
        // An actor made not collideable (a dead guard, a weapon in a hand) blocks no one.
        if (other == self || !otherFrame || !otherNode->GetMoveCollisionSet().IsEnabled())
            continue;
        const Vector& at = Frame::GetWorldMatrix(otherFrame)->pos;
        const W3dCollisionNode* tree = otherNode->GetMoveCollisionSet().GetRoot();
        Vector c;
        float radius;
        if (other == hero)
        {
            // The hero stands for its own collision radius around its place.
            c = at;
            radius = other->mActorCollisionDistance > 0 ? float(other->mActorCollisionDistance)
                                                        : otherNode->GetBoundingSphere()->radius;
            tree = nullptr;
        }
        else if (tree)
        {
            const Sphere* s = tree->GetWorldSphere();
            c = s->centre;
            radius = s->radius;
        }
        else
        {
            const Sphere* s = otherNode->GetBoundingSphere();
            c = {at.x + s->centre.x, at.y + s->centre.y, at.z + s->centre.z};
            radius = s->radius;
        }
        const float distance = Length(Vector{c.x - centre.x, c.y - centre.y, c.z - centre.z});
        if (distance >= radius + bounds->radius)
            continue;
        candidates[count++] = {other, c, radius, distance, tree};
    }
    if (!count)
        return false;
    std::sort(candidates, candidates + count,
              [](const Candidate& a, const Candidate& b) { return a.distance < b.distance; });
    IntersectionPrimitive sphere;
    sphere.type = kIntersectSphere;
    sphere.data.sphere.centre = centre;
    sphere.data.sphere.radius = bounds->radius;
    for (int32_t i = 0; i < count; ++i)
    {
        const Candidate& hit = candidates[i];
        // A body with a collision tree stops the mover only at its sides.
        if (hit.tree && !TouchesTree(hit.tree, &sphere, step))
            continue;
        mTouched = hit.actor;
        // Away from the actor touched; at one point there is no direction, and the move is
        // refused.
        const Vector towards = Normalised(Vector{hit.centre.x - centre.x, 0.0f, hit.centre.z - centre.z});
        const float reach = hit.radius + bounds->radius;
        mPush = {-towards.x * reach, 0.0f, -towards.z * reach};
        return true;
    }
    return false;
}

namespace
{
struct ApproachQuery
{
    IntersectionPrimitive* sphere;
    bool hit;
};

CollisionTriangle* OnAnyTriangle(IntersectionPrimitive*, CollisionTriangle*, float, void* data)
{
    static_cast<ApproachQuery*>(data)->hit = true;
    return nullptr;
}

int32_t TestAtomic(W3dNode*, Atomic* atomic, void* data)
{
    auto* query = static_cast<ApproachQuery*>(data);
    if (!query->hit)
        Atomic::ForAllIntersections(atomic, query->sphere, OnAnyTriangle, query);
    return query->hit ? 0 : 1;
}
} // namespace

bool AnimMoveCtrl::TouchesApproached()
{
    TsActor* self = GetActor();
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    Frame* frame = mModel ? mModel->GetEngineFrame() : nullptr;
    if (!self || !world || !frame)
        return false;
    const Sphere* bounds = mModel->GetBoundingSphere();
    const Vector& at = Frame::GetWorldMatrix(frame)->pos;
    const Vector centre = {at.x + bounds->centre.x, at.y + bounds->centre.y, at.z + bounds->centre.z};
    TsActor* touched = nullptr;
    Vector touchedAt = {0, 0, 0};
    for (const HbPtrListNode* node = world->GetActors().GetHead(); node; node = node->next)
    {
        auto* other = static_cast<TsActor*>(node->value);
        W3dNode* otherNode = other ? other->GetNode() : nullptr;
        Frame* otherFrame = otherNode ? otherNode->GetEngineFrame() : nullptr;
        if (other == self || !otherFrame || !(other->mFamily & mFamilyMask))
            continue;
        const Sphere* s = otherNode->GetBoundingSphere();
        const Vector& p = Frame::GetWorldMatrix(otherFrame)->pos;
        const Vector d = {p.x + s->centre.x - centre.x, p.y + s->centre.y - centre.y, p.z + s->centre.z - centre.z};
        if (Length(d) >= s->radius + bounds->radius)
            continue;
        touched = other;
        touchedAt = p;
    }
    if (!touched)
        return false;
    // The touched actor's body, at chest height, against the mover's own collision shapes.
    IntersectionPrimitive sphere;
    sphere.type = kIntersectSphere;
    sphere.data.sphere.centre = {touchedAt.x, touchedAt.y + 100.0f, touchedAt.z};
    sphere.data.sphere.radius = float(touched->mActorCollisionDistance);
    ApproachQuery query = {&sphere, false};
    mModel->ForAllAtomics(TestAtomic, &query);
    mTouched = touched;
    if (query.hit)
        mResultFlags |= kHitActor;
    return query.hit;
}

bool AnimMoveCtrl::IsWalkable(const Vector& position) const
{
    return !gLevelGraph || gLevelGraph->IsPointOnGraph(position);
}

uint32_t AnimMoveCtrl::TestPosition(const Vector& step)
{
    mPush = {0, 0, 0};
    Frame* frame = mModel ? mModel->GetEngineFrame() : nullptr;
    if (!frame)
        return 0;
    const Vector& at = Frame::GetWorldMatrix(frame)->pos;
    const Vector position = {at.x + step.x, at.y + step.y, at.z + step.z};
    uint32_t flags = 0;
    if ((mMode & kModeWalls) && TestWalls(position, step))
        flags |= kHitWall;
    // Actors only count where no wall stood in the way.
    if ((mMode & kModeActors) && !(flags & kHitWall) && TestActors(position, step))
        flags |= kHitActor;
    if ((mMode & kModeWalkable) && !IsWalkable(position))
        flags |= kOffWalkable;
    return flags;
}

bool AnimMoveCtrl::GuardedMove(Vector* step)
{
    if (Length(*step) <= 0.0f)
        return true;
    const uint32_t first = TestPosition(*step);
    if (!first)
        return true;
    mResultFlags |= first;
    if ((first & kOffWalkable) || ((first & kHitActor) && !(mMoveFlags & kSlideActors)) ||
        ((first & kHitWall) && !(mMoveFlags & kSlideWalls)))
        return false;

    // Two actors at one point give no direction to slide along.
    const Vector firstPush = Normalised(mPush);
    if (Length(firstPush) == 0.0f)
        return false;
    auto slide = [](Vector s, const Vector& n)
    {
        const float along = std::fabs(Dot(n, s)) * 1.05f;
        s = {s.x + n.x * along, s.y + n.y * along, s.z + n.z * along};
        if (std::fabs(s.x) < 0.1f)
            s.x = 0.0f;
        if (std::fabs(s.z) < 0.1f)
            s.z = 0.0f;
        return s;
    };
    const Vector unslid = *step;
    Vector slid = slide(unslid, firstPush);
    Frame* frame = mModel->GetEngineFrame();
    const Vector& at = Frame::GetWorldMatrix(frame)->pos;
    auto outside = [&](const Vector& s) { return !IsWalkable(Vector{at.x + s.x, at.y + s.y, at.z + s.z}); };
    if ((mMoveFlags & kKeepUnslid) && outside(slid))
    {
        *step = unslid;
        mLastAccepted = *step;
        return true;
    }
    const uint32_t second = TestPosition(slid);
    Vector secondPush = Normalised(mPush);
    if (second)
    {
        Vector again = slide(slid, secondPush);
        if (second != first)
            return false;
        if ((mMoveFlags & kKeepUnslid) && outside(again))
            again = slid;
        slid = again;
    }
    if (Length(slid) <= 0.0f)
        return false;
    if ((first & kHitWall) && Length(mLastAccepted) > 0.0f)
    {
        if (Dot(Normalised(slid), Normalised(mLastAccepted)) <= 0.0f)
            return false;
        if (second && Dot(firstPush, secondPush) <= 0.0f)
            return false;
    }
    *step = slid;
    mLastAccepted = *step;
    return true;
}
