// The sound layer: 64 numbered channel slots through which every sound is started, placed,
// faded and stopped; the per-frame update that reaps ended channels and places the listener
// at the viewing camera; and the scene node that carries a channel along.
#pragma once

#include "hbperclassfreelist.h"
#include "hbptr.h"
#include "hbroot.h"
#include "w3dframe.h"

#include <cstdint>

class TsFModSound;
class TsFModSoundNode;
class W3dNode;
struct Vector;

struct TsFModSoundSettings
{
    float musicVolume = 1.0f;
    float soundVolume = 1.0f;
};

/// One started sound in a slot.
class TsFModChannel : public HbRoot
{
    HB_DECLARE_CLASS_POOL();

public:
    static constexpr int32_t kPoolSize = 64;
    enum Flag : uint32_t
    {
        kLive = 1,
    };

    /// Drops its node (taken from its parent) and its sound.
    ~TsFModChannel() override;

    /// Takes the resource and plays it; 0 when there is none, or it is a stream already
    /// playing.
    int32_t Start(const char* identifier, int32_t slot);
    /// The frame's work with the real clock's time in ticks: play state, live bit, fade.
    void Update(int64_t now);
    void SetFade(float start, float target, float seconds);
    /// Replaces the node (the old one taken from its parent and released); 1 when set.
    int32_t SetNode(TsFModSoundNode* node);
    HbHandlePtr GetNodeHandle();
    virtual int32_t GetChannel() const { return mFmodChannel; }

    TsFModSound* mSound = nullptr;
    TsFModSoundNode* mNode = nullptr;
    int32_t mSlot = -1;
    int32_t mFmodChannel = -1;
    uint32_t mFlags = 0;
    float mVolume = 1.0f;
    float mFadeStart = 1.0f;
    float mFadeTarget = 1.0f;
    int64_t mFadeDuration = 0;
    int64_t mFadeStartTime = 0;
    /// Clear until the fade has its start time (set by the first update without a clock).
    bool mFadeStarted = false;
    bool mFadeActive = false;
};

/// A frame node that carries a channel: each update moves the channel to the node.
class TsFModSoundNode : public W3dFrame
{
    HB_DECLARE_CLASS_DESC();
    HB_DECLARE_CLASS_POOL();

public:
    static constexpr int32_t kPoolSize = 64;

    /// Null when no frame can be had.
    static TsFModSoundNode* Create(int32_t slot);
    /// Stops the sound of its slot's channel while the layer runs and the slot is taken.
    ~TsFModSoundNode() override;

    void Update() override;
    void OnAddToWorld() override;
    void OnRemoveFromWorld() override;

    int32_t mSlot = -1;

private:
    TsFModSoundNode() = default;
};

// ---- The layer ----------------------------------------------------------------------------------

constexpr int32_t kTsFModSlots = 64;

/// 0 started; 1 the library is older than 3.73; 2 its start failed.
int32_t TsFModStart();
/// Stops every channel, frees the tables, closes FMOD and disables the layer; 0.
int32_t TsFModClose();
int32_t TsFModIsEnabled();
/// A slot 0..63, or -1 (disabled, empty identifier, no such sound, 64 live, a stream
/// already playing).
int32_t TsFModStartSound(const char* identifier);
/// The hint when that slot is free, else the first free slot; -1 when none.
int32_t TsFModFindFreeSlot();
/// 1 when disabled; 0 for a slot outside 0..63 or empty; else stops it (reaped next update), 1.
int32_t TsFModStopChannel(int32_t slot);
/// Stops every channel and updates until none is live, for at most a second of waiting;
/// what is left then is released by force. 1.
int32_t TsFModStopAllChannels();
/// The first live channel's slot whose sound has that name; -1.
int32_t TsFModFindChannelBySoundName(const char* identifier);
/// FSOUND_3D_SetAttributes on the slot's channel; 0 for a bad slot or no FMOD channel.
int32_t TsFModSetChannelPosition(int32_t slot, const Vector* position);
/// 0 when disabled or for a bad slot; else the channel's fade is set, 1.
int32_t TsFModSetChannelFade(int32_t slot, float start, float target, float seconds);
/// A new sound node under the node's frame carrying the slot's channel; empty when
/// disabled, the node is null or the slot bad.
HbHandlePtr TsFModAttachChannelToNode(W3dNode* node, int32_t slot);
/// Sets every live channel's volume again (after the settings changed); the live count.
int32_t TsFModReapplyVolumes();
TsFModSoundSettings& TsFModGetSoundSettings();
/// The frame's work: each live channel updated, ended ones reaped, the listener placed,
/// FMOD updated. 0.
int32_t TsFModUpdate();
/// The listener at the renderer's current camera (forward = the negated at row). 0.
int32_t TsFModUpdateListener();

// ---- Inspection -----------------------------------------------------------------------------------

/// The channel in the slot, or null (also for slots outside 0..63).
TsFModChannel* TsFModGetChannel(int32_t slot);
int32_t TsFModGetLiveCount();
int32_t TsFModGetFreeSlotHint();
