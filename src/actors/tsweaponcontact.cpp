// The contact weapon: its model frames and its strike.
#include "tsweaponcontact.h"

#include "frame.h"
#include "hbresource.h"
#include "scripteventid.h"
#include "scriptworldmanager.h"
#include "tsanimactor.h"
#include "w3danimobject.h"
#include "w3dnode.h"

#include <cmath>

HB_DEFINE_CLASS_DESC(TsWeaponContact, TsWeapon);

TsWeaponContact::TsWeaponContact()
{
    mStrikeEvent.id = kEventHit;
}

TsWeaponContact::~TsWeaponContact() = default;

void TsWeaponContactData::SetImpactSounds(HbRoot* world, HbRoot* actor)
{
    HbRoot* next[2] = {world, actor};
    HbRoot** held[2] = {&worldImpactSound, &actorImpactSound};
    for (int i = 0; i < 2; ++i)
    {
        if (next[i])
            next[i]->AddRef();
        if (*held[i])
            (*held[i])->Release();
        *held[i] = next[i];
    }
}

int32_t TsWeaponContact::LoadModel(const char* name)
{
    HbResourceManager* manager = HbResourceManager::Instance();
    // Held for the call: the model takes its own reference.
    HbRoot* resource = manager && name ? manager->AcquireResource(name) : nullptr;
    SetModel(HbCastTo<W3dNode>(resource));
    if (resource)
        resource->Release();
    return GetNode() ? 1 : 0;
}

void TsWeaponContact::SetModel(W3dNode* node)
{
    TsWeapon::SetModel(node);
    FindFrames();
}

void TsWeaponContact::FindFrames()
{
    W3dNode* node = GetNode();
    mModelFrame = node ? node->GetEngineFrame() : nullptr;
    Frame* first = mModelFrame && mModelFrame->child ? mModelFrame->child : mModelFrame;
    mStrikeFrame = first && first->child ? first->child : first;
}

int32_t TsWeaponContact::Strike(TsActor* actor)
{
    TsActor* holder = GetParentActor();
    mStruck = nullptr;
    mStrikePointSet = 0;
    if (actor)
        mStruck = actor;
    else if (auto* animated = HbCastTo<TsAnimActor>(holder))
        mStruck = animated->FindNearestTarget(holder->mEnemyFamily, kReach, 0.0f, 1, 0, 0, 0);
    if (!mStruck)
        return 1;

    mStrikeEvent.sender = this;
    mStrikeEvent.target = mStruck;
    mStrikeEvent.value = float(uint32_t(mContact.damage));
    mStrikeExtra = 0;
    if (ScriptWorldManager* world = ScriptWorldManager::Instance())
        world->QueueEvent(mStrikeEvent);

    // Without a torso bone (props, tank parts) or a holder there is nowhere to show the hit.
    auto* model = HbCastTo<W3dAnimObject>(mStruck->GetNode());
    Frame* torso = model ? model->GetBoneFrame(kTorsoBone) : nullptr;
    W3dNode* holderNode = holder ? holder->GetNode() : nullptr;
    if (!torso || !holderNode || !mStrikeFrame)
        return 1;
    const Vector strike = Frame::GetWorldMatrix(mStrikeFrame)->pos;
    const Vector bone = Frame::GetWorldMatrix(torso)->pos;
    const Vector hand = *holderNode->GetWorldPosition();
    Vector d = {hand.x - bone.x, strike.y - bone.y, hand.z - bone.z};
    if (std::fabs(d.x) <= 0.001f && std::fabs(d.y) <= 0.001f && std::fabs(d.z) <= 0.001f)
        return 1;
    Vector::Normalize(&d, &d);
    mStrikePoint = {bone.x + kStrikeDistance * d.x, bone.y + kStrikeDistance * d.y, bone.z + kStrikeDistance * d.z};
    mStrikePointSet = 1;
    OnStrike();
    return 1;
}
