// Sound objects and their resources: samples loaded whole by FMOD, streams worked by their
// command queue, the location of a sound's bytes and the "SOUNDS" descriptions.
#include "tsfmodsound.h"

#include "fmod3.h"
#include "hbdatamanager.h"
#include "hbfile.h"
#include "hbpack.h"
#include "hbresource.h"
#include "hbstream.h"
#include "tsfmod.h"

#include <cfloat>
#include <cmath>
#include <cstring>

HB_DEFINE_CLASS_DESC(TsFModSound, HbRoot);
HB_DEFINE_CLASS_DESC(TsFModSample, TsFModSound);
HB_DEFINE_CLASS_DESC(TsFMod3DSample, TsFModSample);
HB_DEFINE_CLASS_DESC(TsFModStream, TsFModSound);

HB_REGISTER_RESOURCE_TYPE(TsFModStream, "STDSB");
HB_REGISTER_RESOURCE_TYPE(TsFModSample, "S2DSB");
HB_REGISTER_RESOURCE_TYPE(TsFMod3DSample, "S3DSB");

namespace
{
/// Mode of the game's streams: non-blocking, hardware 2D.
constexpr unsigned int kStreamOpenMode = FSOUND_NONBLOCKING | FSOUND_HW2D;

/// A volume in 0..1 (times its factor) as FMOD's byte, clamped rather than wrapped.
int ToFmodVolume(float factor, float volume)
{
    float v = factor * volume * 255.0f;
    if (!(v > 0.0f))
        return 0;
    return v >= 255.0f ? 255 : static_cast<int>(v);
}

/// Real entries are taken as they are, integer entries converted; other kinds are ignored.
bool ReadDistance(const TDataManagerContainer* container, const char* key, float& value)
{
    const TDataManagerContainer::TDataEntry* entry = container->FindEntry(key);
    if (!entry)
        return false;
    if (const float* real = entry->AsReal())
    {
        value = *real;
        return true;
    }
    if (const int32_t* integer = entry->AsInteger())
    {
        value = static_cast<float>(*integer);
        return true;
    }
    return false;
}
} // namespace

// ---- TsFModSound ------------------------------------------------------------------------------

void TsFModSound::SetVolume(int32_t channel, float volume)
{
    if (channel != -1)
        FSOUND_SetVolume(channel, ToFmodVolume(TsFModGetSoundSettings().soundVolume, volume));
}

float TsFModSound::GetVolume(int32_t channel)
{
    if (channel == -1)
        return -1.0f;
    float factor = TsFModGetSoundSettings().soundVolume;
    return factor > 0.0f ? static_cast<float>(FSOUND_GetVolume(channel)) / (factor * 255.0f) : 0.0f;
}

// ---- Samples -------------------------------------------------------------------------------------

TsFModSample::~TsFModSample()
{
    // A sample the layer already dropped at its close is unknown to it and left alone.
    if (mSample)
        FSOUND_Sample_Free(mSample);
}

int32_t TsFModSample::Play()
{
    if (!mSample)
        return -1;
    int32_t channel = FSOUND_PlaySound(FSOUND_FREE, mSample);
    if (channel != -1)
    {
        SetVolume(channel, 1.0f);
        mFlags |= kPlaying;
    }
    return channel;
}

void TsFModSample::UpdatePlayState(int32_t channel)
{
    if (channel == -1)
        return;
    unsigned int loop = FSOUND_GetLoopMode(channel);
    if (!(loop & (FSOUND_LOOP_NORMAL | FSOUND_LOOP_BIDI)) && !FSOUND_IsPlaying(channel))
        mFlags &= ~kPlaying;
}

void TsFModSample::Stop(int32_t channel)
{
    if (channel != -1)
        FSOUND_StopSound(channel);
    mFlags &= ~kPlaying;
}

float TsFModSample::GetLength()
{
    int frequency = 0;
    if (!mSample || !FSOUND_Sample_GetDefaults(mSample, &frequency, nullptr, nullptr, nullptr) || frequency <= 0)
        return -1.0f;
    return static_cast<float>(static_cast<double>(FSOUND_Sample_GetLength(mSample)) / frequency);
}

int TsFModSample::LoadSample(HbStream* stream, const char* name, uint32_t mode)
{
    std::string path;
    int32_t offset = 0, length = 0;
    if (!TsFModLocateSoundFile(stream, name, path, offset, length))
        return 0;
    mSample = FSOUND_Sample_Load(FSOUND_FREE, path.c_str(), mode, offset, length);
    if (!mSample)
        return 0;
    mName = name;
    FSOUND_Sample_SetMode(mSample, FSOUND_LOOP_OFF);
    return 1;
}

int TsFModSample::Load(HbStream* stream, const char* name)
{
    if (!TsFModIsEnabled() || !LoadSample(stream, name, FSOUND_HW2D))
        return 0;
    FSOUND_Sample_SetMinMaxDistance(mSample, 0.1f, 0.1f);
    TsFModSoundDescription description;
    if (TsFModReadSoundDescription(name, description))
        FSOUND_Sample_SetMode(mSample, static_cast<unsigned int>(description.loopMode));
    return 1;
}

int TsFMod3DSample::Load(HbStream* stream, const char* name)
{
    if (!TsFModIsEnabled() || !LoadSample(stream, name, FSOUND_HW3D))
        return 0;
    FSOUND_Sample_SetMinMaxDistance(mSample, 1500.0f, FLT_MAX);
    TsFModSoundDescription description;
    description.minDistance = 1500.0f;
    description.maxDistance = FLT_MAX;
    if (TsFModReadSoundDescription(name, description))
    {
        FSOUND_Sample_SetMode(mSample, static_cast<unsigned int>(description.loopMode));
        FSOUND_Sample_SetMinMaxDistance(mSample, description.minDistance, description.maxDistance);
    }
    return 1;
}

// ---- Streams --------------------------------------------------------------------------------------

TsFModStream::TsFModStream()
{
    mFlags |= kSinglePlay;
}

TsFModStream::~TsFModStream()
{
    // A stream still open is stopped and closed, so that FMOD does not keep it.
    if (mHandle)
    {
        FSOUND_Stream_Stop(mHandle);
        FSOUND_Stream_Close(mHandle);
        mHandle = nullptr;
    }
}

int TsFModStream::Load(HbStream* stream, const char* name)
{
    if (!TsFModIsEnabled() || !TsFModLocateSoundFile(stream, name, mPath, mOffset, mLength))
        return 0;
    mName = name;
    mLoopMode = FSOUND_LOOP_OFF;
    mVolumeMode = 0;
    TsFModSoundDescription description;
    if (TsFModReadSoundDescription(name, description))
    {
        mLoopMode = static_cast<uint32_t>(description.loopMode);
        mVolumeMode = description.volumeMode;
    }
    mQueue.RemoveAll();
    Push(kOpen);
    return 1;
}

void TsFModStream::Push(int32_t command)
{
    mQueue.AddTail(reinterpret_cast<void*>(static_cast<intptr_t>(command)));
}

void TsFModStream::Pop()
{
    mQueue.PopFront();
}

int32_t TsFModStream::FrontCommand() const
{
    HbPtrListNode* head = mQueue.GetHead();
    return head ? static_cast<int32_t>(reinterpret_cast<intptr_t>(head->value)) : -1;
}

int32_t TsFModStream::QueuePlay()
{
    // Played again after its close: open anew on a fresh channel.
    if (!mHandle && mQueue.IsEmpty())
    {
        mChannel = -1;
        Push(kOpen);
    }
    HbPtrListNode* tail = mQueue.GetTail();
    if (!tail || static_cast<int32_t>(reinterpret_cast<intptr_t>(tail->value)) != kPlay)
        Push(kPlay);
    return mChannel;
}

void TsFModStream::QueueStop()
{
    // A closed stream with nothing pending has nothing to stop.
    if (!mHandle && mQueue.IsEmpty() && !(mFlags & kPlaying))
        return;
    mQueue.RemoveAll();
    Push(kStop);
}

void TsFModStream::Step()
{
    switch (FrontCommand())
    {
    case -1:
        if (mChannel == -1 || !FSOUND_IsPlaying(mChannel))
            QueueStop();
        break;
    case kOpen:
        mFlags |= kPlaying;
        if (!mHandle)
            mHandle = FSOUND_Stream_Open(mPath.c_str(), kStreamOpenMode, mOffset, mLength);
        if (mHandle)
        {
            int state = FSOUND_Stream_GetOpenState(mHandle);
            if (state == FSOUND_OPENSTATE_FAILED)
            {
                mQueue.RemoveAll();
                Push(kClose);
            }
            else if (state == 0)
            {
                FSOUND_Stream_SetMode(mHandle, FSOUND_Stream_GetMode(mHandle) | mLoopMode);
                Pop();
            }
        }
        break;
    case kPlay:
        if (mChannel == -1)
            mChannel = FSOUND_Stream_Play(FSOUND_FREE, mHandle);
        else
            Pop();
        break;
    case kStop:
        if (mHandle)
        {
            // A stream whose open failed has nothing to stop: waiting on it would never end.
            int state = FSOUND_Stream_GetOpenState(mHandle);
            if (state != FSOUND_OPENSTATE_FAILED && (state != 0 || !FSOUND_Stream_Stop(mHandle)))
                break;
        }
        Pop();
        Push(kClose);
        break;
    case kClose:
        if (mHandle)
        {
            if (FSOUND_Stream_GetOpenState(mHandle) != 0 && mChannel != -1)
                break;
            if (!FSOUND_Stream_Close(mHandle))
                break;
            mHandle = nullptr;
        }
        mFlags &= ~kPlaying;
        Pop();
        break;
    default:
        Pop();
        break;
    }
}

float TsFModStream::GetLength()
{
    if (mMeasuredLength >= 0.0f)
        return mMeasuredLength;
    if (mHandle && FSOUND_Stream_GetOpenState(mHandle) == 0)
    {
        mMeasuredLength = static_cast<float>(FSOUND_Stream_GetLengthMs(mHandle)) * 0.001f;
        return mMeasuredLength;
    }
    if (!TsFModIsEnabled() || mPath.empty())
        return -1.0f;
    // Not open yet (or no longer): a blocking open of its own measures it.
    FSOUND_STREAM* probe = FSOUND_Stream_Open(mPath.c_str(), FSOUND_HW2D, mOffset, mLength);
    if (!probe)
        return -1.0f;
    mMeasuredLength = static_cast<float>(FSOUND_Stream_GetLengthMs(probe)) * 0.001f;
    FSOUND_Stream_Close(probe);
    return mMeasuredLength;
}

float TsFModStream::VolumeFactor() const
{
    const TsFModSoundSettings& settings = TsFModGetSoundSettings();
    return mVolumeMode == 1 ? settings.soundVolume : mVolumeMode == 2 ? settings.musicVolume : 1.0f;
}

void TsFModStream::SetVolume(int32_t channel, float volume)
{
    int32_t front = FrontCommand();
    if (mVolumeMode == 0 || front == kStop || front == kClose || mChannel == -1)
        return;
    FSOUND_SetVolume(mChannel, ToFmodVolume(VolumeFactor(), volume));
}

float TsFModStream::GetVolume(int32_t channel)
{
    int32_t front = FrontCommand();
    if (front == kStop || front == kClose || mChannel == -1)
        return -1.0f;
    if (mVolumeMode == 0)
        return 1.0f;
    float factor = VolumeFactor();
    return factor > 0.0f ? static_cast<float>(FSOUND_GetVolume(mChannel)) / (factor * 255.0f) : 0.0f;
}

// ---- Files and descriptions -------------------------------------------------------------------

int32_t TsFModLocateSoundFile(HbStream* stream, const char* identifier, std::string& path, int32_t& offset,
                              int32_t& length)
{
    HbResourceStream* resource = HbResourceStream::From(stream);
    HbFile* file = resource ? resource->GetFile() : nullptr;
    if (!file)
        return 0;
    offset = 0;
    length = 0;
    if (HbPackArchive* root = HbPackEntryRootArchive(file))
    {
        int64_t start = 0, end = 0;
        if (!HbPackEntryAbsoluteRange(file, &start, &end) || start < 0 || end < start || start > INT32_MAX ||
            end - start > INT32_MAX)
            return 0;
        path = HbPathResolveOnDisk(root->GetName().c_str());
        offset = static_cast<int32_t>(start);
        length = static_cast<int32_t>(end - start);
        return 1;
    }
    HbResourceManager* manager = HbResourceManager::Instance();
    if (!manager || !identifier)
        return 0;
    path = HbPathResolveOnDisk(manager->GetPath(identifier));
    return path.empty() ? 0 : 1;
}

int32_t TsFModReadSoundDescription(const char* identifier, TsFModSoundDescription& description)
{
    TDataManagerContainer* root = HbDataManager::Root();
    TDataManagerContainer* sounds = root ? root->FindContainer("SOUNDS") : nullptr;
    if (!sounds || !identifier)
        return 0;
    std::string name = identifier;
    size_t underscore = name.rfind('_');
    if (underscore != std::string::npos)
        name.resize(underscore);
    const TDataManagerContainer* child = sounds->FindContainer(name.c_str());
    if (!child)
        return 0;
    int32_t found = 0;
    if (ReadDistance(child, "3D_MIN_DIST", description.minDistance))
        found = 1;
    if (ReadDistance(child, "3D_MAX_DIST", description.maxDistance))
        found = 1;
    std::string text;
    if (child->GetString("LOOP_MODE", text))
    {
        description.loopMode = text == "NORMAL" ? 2 : text == "BIDI" ? 4 : 1;
        found = 1;
    }
    if (child->GetString("VOLUME_MODE", text))
    {
        description.volumeMode = text == "MUSIC" ? 2 : text == "SOUND" ? 1 : 0;
        found = 1;
    }
    return found;
}
