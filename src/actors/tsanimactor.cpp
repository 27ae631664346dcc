// The animated actor.
#include "tsanimactor.h"

#include "animmovectrl.h"
#include "frame.h"
#include "hbclock.h"
#include "moveanimplayerstate.h"
#include "rdanimchannel.h"
#include "rdanimmotor.h"
#include "rdanimrequest.h"
#include "rdchannel.h"
#include "scriptworldmanager.h"
#include "staticanimplayerstate.h"
#include "tsanimactorctrl.h"
#include "tsmotorskill.h"
#include "tsmotorskills.h"
#include "virtualtargetactor.h"
#include "w3danimobject.h"
#include "w3dcollision.h"
#include "w3dframe.h"
#include "w3dlevel.h"
#include "wscene.h"
#include "wvectorutil.h"

#include <cmath>

HB_DEFINE_CLASS_DESC(TsAnimActor, TsActor);

namespace
{
TsAnimActor::WeaponKindReader gWeaponKindReader = nullptr;

/// Hangs the node on the bone after resetting its frame.
void HangOnBone(W3dAnimObject* model, W3dNode* node, int32_t bone)
{
    if (Frame* frame = node->GetEngineFrame())
        Frame::SetIdentity(frame);
    model->AttachNode(node, bone);
}
} // namespace

/// The root node of the script world's level, or null.
W3dNode* TsActorsLevelRoot()
{
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    WScene* scene = world ? world->GetScene() : nullptr;
    return scene ? scene->GetRoot() : nullptr;
}

void TsAnimActor::SetWeaponKindReader(WeaponKindReader reader)
{
    gWeaponKindReader = reader;
}

TsAnimActor::TsAnimActor()
    : mSkills(new TsMotorSkills(this)), mMovePlayer(MoveAnimPlayerStateMachine::Allocate()),
      mStaticPlayer(StaticAnimPlayerStateMachine::Allocate())
{
    if (mSkills)
        mSkills->AddRef();
    if (mMovePlayer)
        mMovePlayer->AddRef();
    if (mStaticPlayer)
        mStaticPlayer->AddRef();
}

TsAnimActor::~TsAnimActor()
{
    SetWeapon(nullptr);
    ExitMotorSkills();
    // The players' states fade their channels on the model, which is still there.
    for (AnimPlayerStateMachine* player : {static_cast<AnimPlayerStateMachine*>(mMovePlayer),
                                           static_cast<AnimPlayerStateMachine*>(mStaticPlayer)})
        if (player)
        {
            player->Reset();
            player->Release();
        }
    mMovePlayer = nullptr;
    mStaticPlayer = nullptr;
    if (mSkills)
        mSkills->Release();
    if (mMoveController)
        mMoveController->Release();
    if (mModel)
    {
        mModel->mEventReceiver = nullptr;
        RemoveNodeFromParent();
        mModel->Release();
    }
    if (mTarget)
        mTarget->Release();
}

W3dNode* TsAnimActor::GetNode()
{
    return mModel;
}

void TsAnimActor::ForwardEvent(int32_t eventId, void* data)
{
    auto* actor = static_cast<TsAnimActor*>(data);
    TsMotorSkill* skill = actor->mSkills ? actor->mSkills->GetCurrent() : nullptr;
    if (skill)
        skill->OnEvent(eventId);
}

void TsAnimActor::SetModel(W3dNode* node)
{
    if (node && node == mModel)
        return;
    if (mModel)
    {
        // The controller works on the model's motor: it goes first.
        if (mMoveController)
            mMoveController->Release();
        mMoveController = nullptr;
        mModel->mEventReceiver = nullptr;
        RemoveNodeFromParent();
        mModel->Release();
        mModel = nullptr;
    }
    mModel = HbCastTo<W3dAnimObject>(node);
    if (!mModel)
        return;
    mModel->AddRef();
    if (W3dNode* root = TsActorsLevelRoot())
        root->AttachChild(mModel);
    mModel->mEventReceiver = ForwardEvent;
    mModel->mEventReceiverData = this;
    if (mMoveController)
        mMoveController->Release();
    mMoveController = new AnimMoveCtrl(this);
    mMoveController->AddRef();
    if (mTarget)
        mTarget->Release();
    mTarget = new VirtualTargetActor();
    if (mTarget)
        mTarget->AddRef();
}

int32_t TsAnimActor::LoadModel(const char* name)
{
    W3dAnimObject* model = W3dAnimObject::Create();
    if (!model)
        return mModel ? 1 : 0;
    if (model->LoadDescription(name))
        SetModel(model);
    else
        model->Release();
    return mModel ? 1 : 0;
}

RdAnimMotor* TsAnimActor::GetAnimMotor()
{
    return mModel ? &mModel->GetMotor() : nullptr;
}

AnimMoveCtrl* TsAnimActor::GetMoveController()
{
    return mMoveController;
}

TsActor* TsAnimActor::GetTarget()
{
    return mTarget;
}

int32_t TsAnimActor::SetPositionOnGround(const Vector* position)
{
    SetPosition(position);
    return SnapToGround(nullptr);
}

void TsAnimActor::SetMotorSkills(TsMotorSkills* table)
{
    if (table)
        table->AddRef();
    if (mSkills)
        mSkills->Release();
    mSkills = table;
}

int32_t TsAnimActor::SetWeapon(TsActor* weapon)
{
    if (mWeapon)
    {
        if (W3dNode* node = mWeapon->GetNode(); node && mModel)
            mModel->DetachNode(node);
        mWeapon->Release();
        mWeapon = nullptr;
    }
    if (!weapon)
        return 0;
    weapon->AddRef();
    mWeapon = weapon;
    if (W3dNode* node = weapon->GetNode(); node && mModel)
    {
        node->SetFlags(node->GetFlags() | W3dNode::kVisible);
        HangOnBone(mModel, node, kWeaponBone);
    }
    int32_t kind = 0;
    if (gWeaponKindReader && gWeaponKindReader(weapon, &kind))
        mWeaponKind = kind;
    return 1;
}

int32_t TsAnimActor::AttachToBone(TsActor* object, int32_t bone)
{
    if (!mModel)
        return 1;
    if (W3dNode* node = object ? object->GetNode() : nullptr)
        HangOnBone(mModel, node, bone);
    else if (!object)
        mModel->DetachNode(mModel->GetAttachedNode(bone));
    return 1;
}

// ---- Target search -----------------------------------------------------------------------------

namespace
{
struct TargetSearch
{
    TsAnimActor* self;
    Vector origin;
    Vector view;
    W3dLevel* level;
    int32_t mode;
    int32_t lineTest;
    int32_t firstEvent;
    int32_t secondEvent;
    float cosine;
    float threshold;
    TsActor* best;
    Vector bestDirection;
};

/// Shots and sight lines pass surfaces whose flag byte holds 0x20.
int32_t SolidSurface(const W3dCollisionResult* candidate)
{
    return candidate->color[TsActor::kSurfaceFlagByte] & 0x20 ? 0 : 1;
}

bool LineFree(W3dLevel* level, Vector a, Vector b)
{
    World* world = level ? level->GetCollisionWorld() : nullptr;
    if (!world)
        return true;
    W3dCollisionResult result;
    return !CollisionTestLineEx(nullptr, world, &a, &b, nullptr, nullptr, &result, SolidSurface);
}

int32_t VisitCandidate(TsActor* actor, void* user, const float*)
{
    auto* search = static_cast<TargetSearch*>(user);
    W3dNode* node = actor->GetNode();
    if (!node || !node->GetScene() || !actor->mRegistered || actor->mHitPoints <= 0)
        return 1;
    if (search->firstEvent != 0 && !actor->FindEvent(search->firstEvent))
        return 1;
    const Vector position = *node->GetWorldPosition();
    Vector direction = {position.x - search->origin.x, 0.0f, position.z - search->origin.z};
    const float length = std::sqrt(direction.x * direction.x + direction.z * direction.z);
    if (length <= 0.0f)
        return 1;
    direction.x /= length;
    direction.z /= length;
    const float dot = search->view.x * direction.x + search->view.y * direction.y + search->view.z * direction.z;
    if (search->mode == 0)
    {
        if (length > search->threshold || dot < search->cosine)
            return 1;
        const Vector from = {search->origin.x, search->origin.y + 100.0f, search->origin.z};
        const Vector to = {position.x, position.y + 100.0f, position.z};
        if (search->lineTest && !LineFree(search->level, from, to))
            return 1;
        search->threshold = length;
    }
    else
    {
        if (search->secondEvent != 0 && search->best && search->best->FindEvent(search->secondEvent) &&
            !actor->FindEvent(search->secondEvent))
            return 1;
        if (dot < search->threshold)
            return 1;
        if (search->lineTest && !LineFree(search->level, search->origin, position))
            return 1;
        search->threshold = dot;
    }
    search->best = actor;
    search->bestDirection = direction;
    return 1;
}
} // namespace

TsActor* TsAnimActor::FindNearestTarget(uint32_t mask, float distance, float cosine, int32_t mode, int32_t lineTest,
                                        int32_t firstEvent, int32_t secondEvent)
{
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    Frame* frame = mModel ? mModel->GetEngineFrame() : nullptr;
    if (!world || !frame || !(distance >= 0.0f) || distance > 2.0e9f)
        return nullptr;
    const Matrix* matrix = Frame::GetWorldMatrix(frame);
    WScene* scene = mModel->GetScene();
    TargetSearch search = {
        this,       matrix->pos, matrix->at, scene ? scene->GetLevel() : nullptr, mode,    lineTest,
        firstEvent, secondEvent, cosine,     mode == 1 ? cosine : distance,       nullptr, {0.0f, 0.0f, 0.0f}};
    world->QueryActorsInRange(VisitCandidate, &search, this, int32_t(std::ceil(distance)), mask, 0);
    if (mTarget && search.best)
        FrameLookAlong(frame, &search.bestDirection);
    return search.best;
}

// ---- The animation layer's hooks ----------------------------------------------------------------

int32_t TsAnimActorFadeOutChannel(TsActor* actor, uint16_t* channelId, int64_t ticks)
{
    if (!channelId || *channelId == 0)
        return 1;
    RdAnimMotor* motor = actor ? actor->GetAnimMotor() : nullptr;
    RdChannel* channel = motor ? motor->GetChannel(*channelId) : nullptr;
    if (channel && dynamic_cast<RdAnimChannel*>(channel))
        motor->RampChannelWeight(*channelId, channel->GetWeight(), 0.0f, ticks);
    *channelId = 0;
    return 1;
}

namespace
{
RdAnimMotor* MotorOf(TsActor* actor)
{
    return actor ? actor->GetAnimMotor() : nullptr;
}

void PlayAnim(TsActor* actor, HbHandlePtr* channel, RdAnimation* animation, int32_t, int64_t blendIn,
              int64_t startOffset, int32_t)
{
    RdAnimMotor* motor = MotorOf(actor);
    const float start = float(double(startOffset) / double(HbPerformanceFrequency()));
    RdAnimChannel* played = motor && animation ? motor->PlayAnim(animation, 1, start) : nullptr;
    if (played)
        motor->RampChannelWeight(played->GetId(), 0.0f, 1.0f, blendIn);
    if (channel)
        channel->Assign(played);
}

void FadeOut(TsActor* actor, uint16_t* channelId, int64_t ticks)
{
    TsAnimActorFadeOutChannel(actor, channelId, ticks);
}
} // namespace

void TsAnimActorInstallRequestHooks()
{
    AnimRequestHooks hooks = {};
    hooks.playAnim = PlayAnim;
    hooks.playTimedAnim = [](TsActor* actor, void* request) {
        // No request is state 0: the move machine then holds its defaults.
        TsAnimActorPlayTimedAnim(HbCastTo<TsAnimActor>(actor), request ? *static_cast<int32_t*>(request) : 0);
    };
    hooks.setMoveRecord = [](TsActor* actor, uint32_t flags, float endTime) {
        TsAnimActorSetMoveDefaults(HbCastTo<TsAnimActor>(actor), flags, endTime);
    };
    hooks.requestMoveState = [](TsActor* actor, int32_t state, int32_t parameter) {
        TsAnimActorRequestMoveState(HbCastTo<TsAnimActor>(actor), state, parameter);
    };
    hooks.fadeOutChannel = FadeOut;
    hooks.getMotor = MotorOf;
    AnimRequestSetHooks(&hooks);
}
