// The playable sound objects and their resources: TsFModSound and its three resource types
// (streams "STDSB", 2D samples "S2DSB", 3D samples "S3DSB"), where the sound's bytes lie on
// disk (in place inside the outermost pack archive), and the optional description of each
// sound in the data container "SOUNDS".
#pragma once

#include "hbptrlist.h"
#include "hbroot.h"

#include <cstdint>
#include <string>

struct FSOUND_SAMPLE;
struct FSOUND_STREAM;
class HbStream;

// ---- Sounds -----------------------------------------------------------------------------------

/// The shared object behind every started sound; the sound layer calls these with the FMOD
/// channel that a channel record plays on.
class TsFModSound : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    enum Flag : uint32_t
    {
        kPlaying = 2,
        /// One play at a time (streams).
        kSinglePlay = 4,
    };

    /// The FMOD channel it started on, or -1.
    virtual int32_t Play() { return -1; }
    virtual void UpdatePlayState(int32_t channel) {}
    virtual void Stop(int32_t channel) {}
    /// The FMOD channel the object itself plays on (streams), or -1.
    virtual int32_t GetChannel() { return -1; }
    /// Length in seconds; negative when it cannot be measured.
    virtual float GetLength() { return 0.0f; }
    /// Applies the volume (0..1, times the sound volume of the settings) to the channel.
    virtual void SetVolume(int32_t channel, float volume);
    /// The channel's volume in the same scale; -1.0 for channel -1.
    virtual float GetVolume(int32_t channel);

    uint32_t mFlags = 0;
    /// The resource identifier it was loaded under.
    std::string mName;
};

class TsFModSample : public TsFModSound
{
    HB_DECLARE_CLASS_DESC();

public:
    /// Frees the FMOD sample.
    ~TsFModSample() override;

    /// The 2D sample's resource load: hardware 2D, distances 0.1/0.1, the description's
    /// loop mode.
    int Load(HbStream* stream, const char* name) override;
    std::string GetTypeKey() const override { return "S2DSB"; }
    int IsShared() const override { return 1; }

    int32_t Play() override;
    void UpdatePlayState(int32_t channel) override;
    void Stop(int32_t channel) override;
    /// The decoded data's length.
    float GetLength() override;

    /// The part both samples share: locate the bytes, load them with the mode, loop off.
    int LoadSample(HbStream* stream, const char* name, uint32_t mode);

    FSOUND_SAMPLE* mSample = nullptr;
};

class TsFMod3DSample : public TsFModSample
{
    HB_DECLARE_CLASS_DESC();

public:
    /// Hardware 3D; distances and loop mode from the description (1500 up to the largest
    /// finite real, no loop, by default).
    int Load(HbStream* stream, const char* name) override;
    std::string GetTypeKey() const override { return "S3DSB"; }
};

/// Music: an FMOD stream opened, played, stopped and closed by a queue of commands that
/// the update of the channel playing it works through, one frame at a time.
class TsFModStream : public TsFModSound
{
    HB_DECLARE_CLASS_DESC();

public:
    enum Command : int32_t
    {
        kOpen = 0,
        kPlay = 1,
        kStop = 2,
        kClose = 3,
    };

    TsFModStream();
    /// Stops and closes the FMOD stream when one is still open.
    ~TsFModStream() override;

    int Load(HbStream* stream, const char* name) override;
    std::string GetTypeKey() const override { return "STDSB"; }
    int IsShared() const override { return 1; }

    int32_t Play() override { return QueuePlay(); }
    void UpdatePlayState(int32_t channel) override { Step(); }
    void Stop(int32_t channel) override { QueueStop(); }
    int32_t GetChannel() override { return mChannel; }
    /// The stream's length; an unopened stream is opened blocking once to measure it.
    float GetLength() override;
    void SetVolume(int32_t channel, float volume) override;
    float GetVolume(int32_t channel) override;

    /// Appends a play unless the last queued command is one; the stream's channel.
    int32_t QueuePlay();
    /// Empties the queue and appends a stop.
    void QueueStop();
    /// Works the first queued command (see the sound layer's update).
    void Step();

    /// The first queued command, or -1 when the queue is empty.
    int32_t FrontCommand() const;
    int32_t QueuedCount() const { return mQueue.GetCount(); }

    FSOUND_STREAM* mHandle = nullptr;
    int32_t mChannel = -1;
    HbPtrList mQueue{10};
    std::string mPath;
    int32_t mOffset = 0;
    int32_t mLength = 0;
    uint32_t mLoopMode = 1;
    /// 0 none, 1 scaled by the sound volume, 2 by the music volume.
    int32_t mVolumeMode = 0;

private:
    void Push(int32_t command);
    void Pop();
    float VolumeFactor() const;
    /// Seconds once measured, else negative.
    float mMeasuredLength = -1.0f;
};

// ---- Files and descriptions ---------------------------------------------------------------

/// Where FMOD reads a sound's bytes: the outermost pack archive's disk path with the
/// entry's absolute range, or the disk path declared for the identifier with 0 and 0.
/// 1, or 0 without a file or when the range cannot be had.
int32_t TsFModLocateSoundFile(HbStream* stream, const char* identifier, std::string& path, int32_t& offset,
                              int32_t& length);

struct TsFModSoundDescription
{
    int32_t loopMode = 1;
    float minDistance = 0.0f;
    float maxDistance = 0.0f;
    int32_t volumeMode = 0;
};

/// Reads the child of "SOUNDS" named by the identifier up to its last '_' into the
/// description, overwriting only the keys present (the caller sets the defaults). The
/// distances take real entries as they are and integer entries converted; other kinds are
/// ignored. 1 when at least one key was found.
int32_t TsFModReadSoundDescription(const char* identifier, TsFModSoundDescription& description);
