// The weapon base: model, animation records, sounds and the holder.
#include "tsweapon.h"

#include "fmod3.h"
#include "hbrandom.h"
#include "hbresource.h"
#include "scriptworldmanager.h"
#include "tsanimactor.h"
#include "tsfmodsound.h"
#include "w3dobject.h"

HB_DEFINE_CLASS_DESC(TsWeapon, TsActor);

namespace
{
bool ReadWeaponKind(TsActor* actor, int32_t* kind)
{
    auto* weapon = HbCastTo<TsWeapon>(actor);
    if (!weapon)
        return false;
    *kind = weapon->mWeaponKind;
    return true;
}

/// Installed before the entry point, as the holders may take weapons from the start.
struct KindReaderInstall
{
    KindReaderInstall() { TsAnimActor::SetWeaponKindReader(ReadWeaponKind); }
} gKindReaderInstall;
} // namespace

TsWeapon::TsWeapon() = default;

TsWeapon::~TsWeapon()
{
    SetModel(nullptr);
    for (HbPtrArray& list : mSounds)
    {
        for (int32_t i = 0; i < list.GetCount(); ++i)
            if (auto* sound = static_cast<TsFModSound*>(list[i]))
                sound->Release();
        list.RemoveAll();
    }
}

void TsWeapon::SetModel(W3dNode* node)
{
    if (mNode && mNode == node)
        return;
    if (mNode)
    {
        RemoveNodeFromParent();
        mNode->Release();
        mNode = nullptr;
    }
    if (auto* object = HbCastTo<W3dObject>(node))
    {
        object->AddRef();
        mNode = object;
    }
}

void TsWeapon::Update()
{
    if (mChannelCount == 0 || !mNode)
        return;
    const Vector at = *mNode->GetWorldPosition();
    const float position[3] = {at.x, at.y, at.z};
    for (int32_t i = 0; i < mChannelCount;)
    {
        if (FSOUND_IsPlaying(mChannels[i]))
        {
            FSOUND_3D_SetAttributes(mChannels[i], position, nullptr);
            ++i;
        }
        else
            mChannels[i] = mChannels[--mChannelCount];
    }
}

TsWeaponAnimation* TsWeapon::GetAnimation(int32_t state)
{
    return state >= 0 && state < kAnimationCount ? &mAnimations[state] : nullptr;
}

int32_t TsWeapon::AddSound(int32_t list, const char* name)
{
    if (list < 0 || list >= kSoundListCount)
        return 0;
    HbResourceManager* manager = HbResourceManager::Instance();
    // The list keeps the reference taken here; anything else goes back.
    HbRoot* resource = manager && name ? manager->AcquireResource(name) : nullptr;
    auto* sound = HbCastTo<TsFModSound>(resource);
    if (resource && !sound)
        resource->Release();
    mSounds[list].Add(sound);
    return 1;
}

int32_t TsWeapon::GetSoundCount(int32_t list) const
{
    return list >= 0 && list < kSoundListCount ? mSounds[list].GetCount() : 0;
}

int32_t TsWeapon::PlayRandomSound(int32_t list, int32_t remember)
{
    const int32_t count = GetSoundCount(list);
    if (count == 0)
        return -1;
    int32_t index = int32_t(HbRandom::QuickUniform(HbRandom::Instance()->GameState()) * float(count));
    // The uniform value stays below 1, yet a float product may round up to count.
    if (index >= count)
        index = count - 1;
    auto* sound = static_cast<TsFModSound*>(mSounds[list][index]);
    if (!sound)
        return -1;
    const int32_t channel = sound->Play();
    if (channel == -1)
        return -1;
    if (mNode)
    {
        const Vector at = *mNode->GetWorldPosition();
        const float position[3] = {at.x, at.y, at.z};
        FSOUND_3D_SetAttributes(channel, position, nullptr);
    }
    if (remember && mChannelCount < kMaxChannels)
        mChannels[mChannelCount++] = channel;
    return channel;
}

TsActor* TsWeapon::GetParentActor()
{
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    if (!mNode && world)
    {
        // A weapon without a model hangs on no bone: its holder is the actor whose hand holds it.
        if (auto* hero = HbCastTo<TsAnimActor>(world->GetHero()); hero && hero->GetWeapon() == this)
            return hero;
        for (HbPtrListNode* node = world->GetActors().GetHead(); node; node = node->next)
            if (auto* holder = HbCastTo<TsAnimActor>(static_cast<TsActor*>(node->value));
                holder && holder->GetWeapon() == this)
                return holder;
        return nullptr;
    }
    W3dNode* parent = mNode ? mNode->GetParent() : nullptr;
    if (!parent || !world)
        return nullptr;
    if (TsActor* hero = world->GetHero(); hero && hero->GetNode() == parent)
        return hero;
    for (HbPtrListNode* node = world->GetActors().GetHead(); node; node = node->next)
    {
        auto* actor = static_cast<TsActor*>(node->value);
        if (actor->GetNode() == parent)
            return actor;
    }
    return nullptr;
}
