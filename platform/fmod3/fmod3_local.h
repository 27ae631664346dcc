// The FMOD 3 layer's private state: the decoder over a byte range, samples, streams,
// channels, the output device, the faults and the call log.
#pragma once

#include "fmod3.h"
#include "fmod3testhooks.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

// Backing-library handles, kept opaque here so that only the layer's sources see the
// libraries' headers.
using ALuint = unsigned int;
struct sf_private_tag;

namespace fmod3
{

// ---- Decoding ---------------------------------------------------------------------------

/// libsndfile over offset..offset+length of a disk file, through its virtual I/O so that a
/// sound inside a pack archive is read in place.
class Decoder
{
public:
    Decoder() = default;
    ~Decoder() { Close(); }
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    /// False when the file is missing, the range passes its end, or the data is not a
    /// mono or stereo sound at 1..384000 Hz.
    bool Open(const char* path, int64_t offset, int64_t length);
    void Close();
    bool IsOpen() const { return mFile != nullptr; }
    /// Frames read (interleaved 16-bit); 0 at the end or on error.
    int64_t Read(int16_t* out, int64_t frames);
    bool Seek(int64_t frame);
    /// Decodes everything from the start, in blocks, never trusting the header's count;
    /// false when nothing can be read or the sound is longer than the cap.
    bool ReadAll(std::vector<int16_t>& pcm, int64_t& frames);

    int Channels() const { return mChannels; }
    int Rate() const { return mRate; }
    /// The header's frame count, or what decoded when the header cannot tell (ReadAll counts
    /// what decoding really finds).
    int64_t Frames() const { return mFrames; }

    // Virtual I/O state (libsndfile's callbacks reach it).
    FILE* mStream = nullptr;
    int64_t mBase = 0;
    int64_t mLength = 0;
    int64_t mPosition = 0;

private:
    /// Counts the frames that decode and reopens at the first; false when none do.
    bool MeasureUntoldLength();

    sf_private_tag* mFile = nullptr;
    int mChannels = 0;
    int mRate = 0;
    int64_t mFrames = 0;
};

/// Longest sound decoded whole: ten minutes at 48 kHz.
constexpr int64_t kMaxSampleFrames = 48000LL * 600;

std::string DiskPath(const char* name);

// ---- Objects ----------------------------------------------------------------------------------

struct Channel;

} // namespace fmod3

struct FSOUND_SAMPLE
{
    int id = 0;
    std::vector<int16_t> pcm;
    int64_t frames = 0;
    int channels = 1;
    int rate = 48000;
    unsigned int mode = FSOUND_LOOP_OFF;
    float minDistance = 1.0f;
    float maxDistance = 1000000000.0f;
    ALuint buffer = 0;
    /// Forward then reversed, made when a ping-pong channel first needs it.
    ALuint bidiBuffer = 0;
};

struct FSOUND_STREAM
{
    static constexpr int kBuffers = 3;
    static constexpr int kBufferFrames = 4800;

    int id = 0;
    std::string path;
    int64_t offset = 0;
    int64_t length = 0;
    unsigned int mode = 0;
    int openState = FSOUND_OPENSTATE_PENDING;
    /// Updates still to see before a pending open ends.
    int pendingUpdates = 0;
    bool failOpen = false;
    fmod3::Decoder decoder;
    int64_t frames = 0;
    int channel = -1;
    ALuint buffers[kBuffers] = {};
    /// Where feeding goes on, on the unfolded timeline (a ping-pong loop runs 0..2 x frames).
    int64_t feedPosition = 0;
    bool feedEnded = false;
    std::vector<int16_t> scratch;
};

namespace fmod3
{

struct Channel
{
    ALuint source = 0;
    bool active = false;
    FSOUND_SAMPLE* sample = nullptr;
    FSOUND_STREAM* stream = nullptr;
    /// Position on the unfolded timeline in frames, and the frames and rate it runs over.
    double position = 0.0;
    int64_t frames = 0;
    int rate = 48000;
    unsigned int loop = FSOUND_LOOP_OFF;
    int volume = 255;
    bool is3d = false;
};

struct Faults
{
    float version = 3.73f;
    bool failInit = false;
    bool failOpens = false;
    int holdStreamOpens = 0;
    int refuseStops = 0;
    int refuseCloses = 0;
    bool noFreeChannel = false;
    double updateStep = -1.0;
    bool loopback = false;
};

struct State
{
    bool open = false;
    void* device = nullptr;  ///< ALCdevice
    void* context = nullptr; ///< ALCcontext
    bool loopbackDevice = false;
    int mixRate = 48000;
    std::vector<Channel> channels;
    /// Where the search for a free channel starts.
    int nextChannel = 0;
    std::vector<FSOUND_SAMPLE*> samples;
    std::vector<FSOUND_STREAM*> streams;
    float distanceFactor = 1.0f;
    std::chrono::steady_clock::time_point lastUpdate;
    bool haveLastUpdate = false;
    std::vector<float> rendered;
    Faults faults;
    bool logCalls = false;
    std::vector<fmod3test::Call> log;
    int nextObjectId = 1;
};

State& Get();

// ---- Call log -----------------------------------------------------------------------------------

std::string Arg(int value);
std::string Arg(unsigned int value);
std::string Arg(float value);
std::string Arg(const char* text);
std::string Arg(const void* object);
std::string Arg(const float* vector3);
/// Appends the call while the log is on.
void Log(const char* name, std::string args, std::string result = std::string());
inline bool Logging()
{
    return Get().logCalls;
}
/// Logs without building the argument texts while the log is off (the per-frame calls
/// must not allocate).
#define FMOD3_LOG(...)                                                                                                 \
    do                                                                                                                 \
    {                                                                                                                  \
        if (::fmod3::Logging())                                                                                        \
            ::fmod3::Log(__VA_ARGS__);                                                                                 \
    } while (0)

// ---- Channels and output ------------------------------------------------------------------------

/// The channel record, or null when the number is outside the table or nothing plays on it.
Channel* ActiveChannel(int channel);
/// The first free channel (or the one asked for), -1 when none.
int PickChannel(int wanted);
/// Stops the source, drops its buffers and frees the record.
void StopChannel(Channel& channel);
/// The mirrored (right-handed) position for OpenAL.
void SetSourcePosition(ALuint source, const float* pos);

// ---- Streams ----------------------------------------------------------------------------------------

/// Ends pending opens that are due, and refills the buffers of playing streams.
void UpdateStreams();
void FreeStream(FSOUND_STREAM* stream);
void FreeSample(FSOUND_SAMPLE* sample);

} // namespace fmod3
