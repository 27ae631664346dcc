// TsWeapon: the actor class of every weapon: a model node hung in the hand of its holder,
// three lists of sounds played at random at the weapon, one animation record per animation
// state of the holder, and the per-frame step that keeps the weapon's 3D sounds on it.
#pragma once

#include "tsactor.h"
#include "vector.h"

#include <cstdint>

class TsFModSound;

/// What the holder's animation players read for one animation state when it plays a weapon
/// animation.
struct TsWeaponAnimation
{
    int32_t kind = 0;
    int32_t state = 0;
    float eventFraction = -2.0f;
    float startFraction = 0.0f;
    float parameter = 1.0f;
    Vector offset = {0.0f, 0.0f, 0.0f};
    int32_t offsetSet = 0;

    void SetAnimation(int32_t newKind, int32_t newState)
    {
        kind = newKind;
        state = newState;
    }
    void SetStartFraction(float value) { startFraction = value; }
    void SetEventFraction(float value) { eventFraction = value; }
    void SetParameter(float value) { parameter = value; }
    void SetOffset(const Vector* value)
    {
        offset = *value;
        offsetSet = 1;
    }
    /// The offset into out; whether one was set.
    int32_t GetOffset(Vector* out) const
    {
        *out = offset;
        return offsetSet;
    }
};

class TsWeapon : public TsActor
{
    HB_DECLARE_CLASS_DESC();

public:
    static constexpr int32_t kAnimationCount = 85;
    static constexpr int32_t kMaxChannels = 10;
    enum SoundList : int32_t
    {
        kShotSounds = 0,
        kEmptySounds = 1,
        kReloadSounds = 2,
        kSoundListCount = 3,
    };

    TsWeapon();
    /// Takes the model out of its parent and releases it, then the sounds.
    ~TsWeapon() override;

    /// Nothing when node is the current model. Otherwise the current model leaves its
    /// parent and is released; node becomes the model when it is a W3dObject (one
    /// reference), else the weapon has none.
    void SetModel(W3dNode* node) override;
    int32_t LoadModel(const char* name) override = 0;
    /// Keeps the tracked 3D sounds on the weapon; stopped channels are dropped.
    void Update() override;
    /// Handed the record's parameter when a weapon animation plays; nothing here.
    virtual void ScaleParameter(float value) { (void)value; }

    /// The record of an animation state; null outside 0..84.
    TsWeaponAnimation* GetAnimation(int32_t state);
    /// Appends the named sound resource (null when there is none) to list 0, 1 or 2; 1
    /// (0 for another list).
    int32_t AddSound(int32_t list, const char* name);
    /// Plays a random sound of the list at the weapon; with remember, the channel follows the
    /// weapon while fewer than 10 are tracked. The FMOD channel, or -1 (empty list, missing
    /// sound, no channel).
    int32_t PlayRandomSound(int32_t list, int32_t remember);
    /// The holder: the actor of the script world (or its hero) whose node is the parent of
    /// the weapon's node; null without a node or a parent.
    TsActor* GetParentActor();

    int32_t GetSoundCount(int32_t list) const;
    int32_t GetChannelCount() const { return mChannelCount; }
    int32_t GetChannel(int32_t index) const { return mChannels[index]; }

    /// The kind of the animation-set table the holder copies when it takes the weapon; set
    /// from the gameplay weapon's data.
    int32_t mWeaponKind = 0;
    /// The location the level script gives the weapon; the hero hands it to the weapon's
    /// script when it drops the weapon.
    Vector mLocation = {0.0f, 0.0f, 0.0f};
    /// SetWeaponData's three integers (hold mode, aim assist allowed, a reserved value) and
    /// SetWeaponShootData's arguments 12 to 14 (a stored value, the wall flag, the shoot-hold flag).
    int32_t mWeaponData[3] = {};
    int32_t mShootData[3] = {};

private:
    TsWeaponAnimation mAnimations[kAnimationCount];
    HbPtrArray mSounds[kSoundListCount];
    int32_t mChannels[kMaxChannels] = {};
    int32_t mChannelCount = 0;
};
