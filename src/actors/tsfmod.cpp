// The sound layer: the 64 slots and the compact live list, channel starts, fades and stops,
// the per-frame update, the listener at the viewing camera and the sound node.
#include "tsfmod.h"

#include "fmod3.h"
#include "frame.h"
#include "hbclock.h"
#include "hbresource.h"
#include "matrix.h"
#include "tsfmodsound.h"
#include "w3dnode.h"
#include "wrenderer.h"
#include "wscene.h"

#include <chrono>
#include <cmath>
#include <thread>

HB_DEFINE_CLASS_POOL(TsFModChannel, "TsFModChannel", TsFModChannel::kPoolSize);
HB_DEFINE_CLASS_DESC(TsFModSoundNode, W3dFrame);
HB_DEFINE_CLASS_POOL(TsFModSoundNode, "TsFModSoundNode", TsFModSoundNode::kPoolSize);

namespace
{
struct Layer
{
    int32_t enabled = 0;
    TsFModChannel* slots[kTsFModSlots] = {};
    TsFModChannel* live[kTsFModSlots] = {};
    int32_t liveCount = 0;
    int32_t hint = 0;
    TsFModSoundSettings settings;
    float position[3] = {};
    float velocity[3] = {};
    float forward[3] = {};
    float up[3] = {};
};

Layer gLayer;

/// Rounds of TsFModStopAllChannels' wait and the pause between them: one second at most
/// before what is left is released by force.
constexpr int32_t kStopAllRounds = 500;
constexpr auto kStopAllPause = std::chrono::milliseconds(2);

/// Fades run on the real clock, so that they also move in the front end and during pauses.
bool RealNow(int64_t& now)
{
    HbRealClock* clock = HbRealClock::Instance();
    if (!clock)
        return false;
    now = clock->mCurrentTime;
    return true;
}

bool ValidSlot(int32_t slot)
{
    return slot >= 0 && slot < kTsFModSlots && gLayer.slots[slot];
}

/// Takes the live entry at i out of the list and the slot, and drops the slot's reference.
void Reap(int32_t i)
{
    TsFModChannel* channel = gLayer.live[i];
    gLayer.live[i] = gLayer.live[gLayer.liveCount - 1];
    gLayer.live[--gLayer.liveCount] = nullptr;
    if (channel->mSlot >= 0 && channel->mSlot < kTsFModSlots && gLayer.slots[channel->mSlot] == channel)
        gLayer.slots[channel->mSlot] = nullptr;
    // The slot is cleared first, so that the node the channel drops finds nothing to stop.
    channel->Release();
}
} // namespace

// ---- TsFModChannel ------------------------------------------------------------------------------

TsFModChannel::~TsFModChannel()
{
    SetNode(nullptr);
    if (mSound)
    {
        mSound->Release();
        mSound = nullptr;
    }
}

int32_t TsFModChannel::Start(const char* identifier, int32_t slot)
{
    mSlot = -1;
    mFmodChannel = -1;
    HbResourceManager* manager = HbResourceManager::Instance();
    HbRoot* resource = manager ? manager->AcquireResource(identifier) : nullptr;
    if (!resource)
        return 0;
    auto* sound = HbCastTo<TsFModSound>(resource);
    if (!sound || ((sound->mFlags & TsFModSound::kSinglePlay) && (sound->mFlags & TsFModSound::kPlaying)))
    {
        resource->Release();
        return 0;
    }
    mSound = sound;
    mFmodChannel = sound->Play();
    mSlot = slot;
    if (mFmodChannel != -1)
    {
        mVolume = 1.0f;
        sound->SetVolume(mFmodChannel, 1.0f);
    }
    return 1;
}

void TsFModChannel::Update(int64_t now)
{
    if (mSound)
        mSound->UpdatePlayState(mFmodChannel);
    if (!mSound || !(mSound->mFlags & TsFModSound::kPlaying))
    {
        mFlags &= ~kLive;
        return;
    }
    mFlags |= kLive;
    if (mFmodChannel == -1)
    {
        mFmodChannel = mSound->GetChannel();
        mSound->SetVolume(mFmodChannel, mVolume);
    }
    if (!mFadeActive || mFmodChannel == -1)
        return;

    float volume = mFadeTarget;
    if (!mFadeStarted)
    {
        mFadeStartTime = now;
        mFadeStarted = true;
        volume = mFadeStart;
    }
    else
    {
        int64_t elapsed = now - mFadeStartTime;
        if (elapsed > mFadeDuration)
        {
            mVolume = mFadeTarget;
            mSound->SetVolume(mFmodChannel, mVolume);
            mFadeActive = false;
            if (mFadeTarget <= 0.0f)
                mSound->Stop(mFmodChannel);
            return;
        }
        if (mFadeDuration > 0)
        {
            double frequency = static_cast<double>(HbPerformanceFrequency());
            double t = (static_cast<double>(elapsed) / frequency) / (static_cast<double>(mFadeDuration) / frequency);
            volume = mFadeStart + static_cast<float>(t) * (mFadeTarget - mFadeStart);
        }
    }
    mVolume = volume;
    mSound->SetVolume(mFmodChannel, mVolume);
}

void TsFModChannel::SetFade(float start, float target, float seconds)
{
    mFadeStart = start;
    mFadeTarget = target;
    double ticks = static_cast<double>(HbPerformanceFrequency()) * static_cast<double>(seconds);
    // Negative, NaN and absurd durations are clamped rather than cast blindly.
    mFadeDuration = ticks > 0.0 ? (ticks < 9.0e18 ? static_cast<int64_t>(ticks) : INT64_MAX) : 0;
    if (mFadeActive && mFmodChannel != -1)
    {
        TsFModChannel* current = TsFModGetChannel(mSlot);
        mFadeStart = current && current->mSound ? current->mSound->GetVolume(current->mFmodChannel) : -1.0f;
    }
    mFadeStarted = RealNow(mFadeStartTime);
    mFadeActive = true;
}

int32_t TsFModChannel::SetNode(TsFModSoundNode* node)
{
    if (mNode)
    {
        TsFModSoundNode* old = mNode;
        mNode = nullptr;
        if (W3dNode* parent = old->GetParent())
            parent->RemoveChild(old);
        old->Release();
    }
    if (!node)
        return 0;
    node->AddRef();
    mNode = node;
    return 1;
}

HbHandlePtr TsFModChannel::GetNodeHandle()
{
    return HbHandlePtr(mNode);
}

// ---- TsFModSoundNode -------------------------------------------------------------------------------

TsFModSoundNode* TsFModSoundNode::Create(int32_t slot)
{
    auto* node = new TsFModSoundNode();
    if (node && !node->mFrame)
    {
        delete node;
        return nullptr;
    }
    if (node)
        node->mSlot = slot;
    return node;
}

TsFModSoundNode::~TsFModSoundNode()
{
    if (gLayer.enabled && ValidSlot(mSlot))
    {
        TsFModChannel* channel = gLayer.slots[mSlot];
        if (channel->mSound)
            channel->mSound->Stop(channel->mFmodChannel);
    }
}

void TsFModSoundNode::Update()
{
    const Vector* position = GetWorldPosition();
    if (!position || !ValidSlot(mSlot))
        return;
    TsFModChannel* channel = gLayer.slots[mSlot];
    if (channel->mFmodChannel == -1)
        return;
    const float at[3] = {position->x, position->y, position->z};
    FSOUND_3D_SetAttributes(channel->mFmodChannel, at, nullptr);
}

void TsFModSoundNode::OnAddToWorld()
{
    if (WScene* scene = GetScene())
        scene->AddUpdatable(this);
}

void TsFModSoundNode::OnRemoveFromWorld()
{
    if (WScene* scene = GetScene())
        scene->RemoveUpdatable(this);
}

// ---- The layer ---------------------------------------------------------------------------------------

int32_t TsFModStart()
{
    if (gLayer.enabled)
        return 0;
    if (FSOUND_GetVersion() < 3.73f)
        return 1;
    if (!FSOUND_Init(48000, 32, 0))
        return 2;
    FSOUND_3D_SetDistanceFactor(100.0f);
    for (int i = 0; i < 3; ++i)
        gLayer.position[i] = gLayer.velocity[i] = gLayer.forward[i] = gLayer.up[i] = 0.0f;
    for (int32_t i = 0; i < kTsFModSlots; ++i)
        gLayer.slots[i] = gLayer.live[i] = nullptr;
    gLayer.liveCount = 0;
    gLayer.hint = 0;
    gLayer.enabled = 1;
    return 0;
}

int32_t TsFModClose()
{
    if (!gLayer.enabled)
        return 0;
    TsFModStopAllChannels();
    while (gLayer.liveCount > 0)
        Reap(gLayer.liveCount - 1);
    for (TsFModChannel*& slot : gLayer.slots)
        if (slot)
        {
            TsFModChannel* channel = slot;
            slot = nullptr;
            channel->Release();
        }
    FSOUND_Close();
    // Nothing may reach the freed tables or the closed library any more.
    gLayer.enabled = 0;
    return 0;
}

int32_t TsFModIsEnabled()
{
    return gLayer.enabled;
}

int32_t TsFModStartSound(const char* identifier)
{
    if (!gLayer.enabled || !identifier || !*identifier || gLayer.liveCount >= kTsFModSlots)
        return -1;
    int32_t slot = TsFModFindFreeSlot();
    if (slot < 0)
        return -1;
    auto* channel = new TsFModChannel();
    if (!channel)
        return -1;
    gLayer.slots[slot] = channel;
    channel->AddRef();
    if (!channel->Start(identifier, slot))
    {
        gLayer.slots[slot] = nullptr;
        channel->Release();
        gLayer.hint = slot;
        return -1;
    }
    gLayer.live[gLayer.liveCount++] = channel;
    return slot;
}

int32_t TsFModFindFreeSlot()
{
    if (gLayer.hint >= 0 && gLayer.hint < kTsFModSlots && !gLayer.slots[gLayer.hint])
        return gLayer.hint;
    for (int32_t i = 0; i < kTsFModSlots; ++i)
        if (!gLayer.slots[i])
        {
            gLayer.hint = i;
            return i;
        }
    return -1;
}

int32_t TsFModStopChannel(int32_t slot)
{
    if (!gLayer.enabled)
        return 1;
    if (!ValidSlot(slot))
        return 0;
    TsFModChannel* channel = gLayer.slots[slot];
    if (channel->mSound)
        channel->mSound->Stop(channel->mFmodChannel);
    return 1;
}

int32_t TsFModStopAllChannels()
{
    if (!gLayer.enabled)
        return 1;
    for (int32_t i = 0; i < gLayer.liveCount; ++i)
    {
        TsFModChannel* channel = gLayer.live[i];
        if (channel->mSound)
            channel->mSound->Stop(channel->mFmodChannel);
    }
    for (int32_t round = 0; gLayer.liveCount > 0 && round < kStopAllRounds; ++round)
    {
        TsFModUpdate();
        if (gLayer.liveCount > 0)
            std::this_thread::sleep_for(kStopAllPause);
    }
    // A stream whose stop or close keeps failing is let go: its object closes it when it dies.
    while (gLayer.liveCount > 0)
    {
        TsFModChannel* channel = gLayer.live[gLayer.liveCount - 1];
        gLayer.hint = channel->mSlot;
        Reap(gLayer.liveCount - 1);
    }
    return 1;
}

int32_t TsFModFindChannelBySoundName(const char* identifier)
{
    if (!gLayer.enabled || !identifier)
        return -1;
    for (int32_t i = 0; i < gLayer.liveCount; ++i)
    {
        TsFModChannel* channel = gLayer.live[i];
        if (channel->mSound && channel->mSound->mName == identifier)
            return channel->mSlot;
    }
    return -1;
}

int32_t TsFModSetChannelPosition(int32_t slot, const Vector* position)
{
    if (!gLayer.enabled || !ValidSlot(slot) || !position)
        return 0;
    TsFModChannel* channel = gLayer.slots[slot];
    if (channel->mFmodChannel == -1)
        return 0;
    const float at[3] = {position->x, position->y, position->z};
    return FSOUND_3D_SetAttributes(channel->mFmodChannel, at, nullptr);
}

int32_t TsFModSetChannelFade(int32_t slot, float start, float target, float seconds)
{
    if (!gLayer.enabled || !ValidSlot(slot))
        return 0;
    gLayer.slots[slot]->SetFade(start, target, seconds);
    return 1;
}

HbHandlePtr TsFModAttachChannelToNode(W3dNode* node, int32_t slot)
{
    if (!gLayer.enabled || !node || !ValidSlot(slot))
        return HbHandlePtr();
    TsFModSoundNode* soundNode = TsFModSoundNode::Create(slot);
    if (!soundNode)
        return HbHandlePtr();
    node->AddChild(soundNode, node->GetEngineFrame());
    gLayer.slots[slot]->SetNode(soundNode);
    return HbHandlePtr(soundNode);
}

int32_t TsFModReapplyVolumes()
{
    if (!gLayer.enabled)
        return 0;
    for (int32_t i = 0; i < gLayer.liveCount; ++i)
    {
        TsFModChannel* channel = gLayer.live[i];
        if (channel->mSound)
            channel->mSound->SetVolume(channel->mFmodChannel, channel->mVolume);
    }
    return gLayer.liveCount;
}

TsFModSoundSettings& TsFModGetSoundSettings()
{
    return gLayer.settings;
}

int32_t TsFModUpdate()
{
    if (!gLayer.enabled)
        return 0;
    int64_t now = 0;
    RealNow(now);
    for (int32_t i = 0; i < gLayer.liveCount;)
    {
        TsFModChannel* channel = gLayer.live[i];
        channel->Update(now);
        if (channel->mFlags & TsFModChannel::kLive)
        {
            ++i;
            continue;
        }
        gLayer.hint = channel->mSlot;
        if (channel->mSound)
            channel->mSound->Stop(channel->mFmodChannel);
        Reap(i);
    }
    TsFModUpdateListener();
    FSOUND_Update();
    return 0;
}

int32_t TsFModUpdateListener()
{
    WRenderer* renderer = WRenderer::Existing();
    if (!renderer)
        return 0;
    HbHandlePtr camera = renderer->GetCamera();
    if (!camera.IsValid())
        return 0;
    auto* node = HbCastTo<W3dNode>(camera.GetObject());
    Frame* frame = node ? node->GetEngineFrame() : nullptr;
    const Matrix* world = frame ? Frame::GetWorldMatrix(frame) : nullptr;
    if (!world)
        return 0;
    gLayer.position[0] = world->pos.x;
    gLayer.position[1] = world->pos.y;
    gLayer.position[2] = world->pos.z;
    gLayer.velocity[0] = gLayer.velocity[1] = gLayer.velocity[2] = 0.0f;
    gLayer.forward[0] = -world->at.x;
    gLayer.forward[1] = -world->at.y;
    gLayer.forward[2] = -world->at.z;
    gLayer.up[0] = world->up.x;
    gLayer.up[1] = world->up.y;
    gLayer.up[2] = world->up.z;
    FSOUND_3D_Listener_SetAttributes(gLayer.position, gLayer.velocity, gLayer.forward[0], gLayer.forward[1],
                                     gLayer.forward[2], gLayer.up[0], gLayer.up[1], gLayer.up[2]);
    return 0;
}

TsFModChannel* TsFModGetChannel(int32_t slot)
{
    return slot >= 0 && slot < kTsFModSlots ? gLayer.slots[slot] : nullptr;
}

int32_t TsFModGetLiveCount()
{
    return gLayer.liveCount;
}

int32_t TsFModGetFreeSlotHint()
{
    return gLayer.hint;
}
