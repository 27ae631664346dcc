// The FMOD 3 layer's output and channels: start-up over an OpenAL device (the system's or
// the loopback one), the timeline that FSOUND_Update advances, the listener and the
// channel calls.
#define AL_ALEXT_PROTOTYPES
#include "fmod3_local.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace fmod3
{
namespace
{
/// The longest step one update renders to the loopback device.
constexpr double kMaxRenderSeconds = 1.0;

ALCdevice* Device()
{
    return static_cast<ALCdevice*>(Get().device);
}

/// Moves a channel's timeline by dt seconds; a non-looping channel that passes its end stops.
void Advance(Channel& channel, double dt)
{
    channel.position += dt * channel.rate;
    double frames = static_cast<double>(channel.frames);
    if (frames <= 0.0)
    {
        StopChannel(channel);
        return;
    }
    if (channel.loop & FSOUND_LOOP_NORMAL)
        channel.position = std::fmod(channel.position, frames);
    else if (channel.loop & FSOUND_LOOP_BIDI)
        channel.position = std::fmod(channel.position, 2.0 * frames);
    else if (channel.position >= frames)
        StopChannel(channel);
}

void Render(double seconds)
{
    State& s = Get();
    if (!s.loopbackDevice || seconds <= 0.0)
        return;
    seconds = std::min(seconds, kMaxRenderSeconds);
    auto frames = static_cast<ALCsizei>(std::lround(seconds * s.mixRate));
    if (frames <= 0)
        return;
    size_t at = s.rendered.size();
    s.rendered.resize(at + static_cast<size_t>(frames) * 2);
    alcRenderSamplesSOFT(Device(), s.rendered.data() + at, frames);
}
} // namespace

State& Get()
{
    static State state;
    return state;
}

// ---- Call log ---------------------------------------------------------------------------------

std::string Arg(int value)
{
    return std::to_string(value);
}

std::string Arg(unsigned int value)
{
    char text[16];
    snprintf(text, sizeof(text), "0x%x", value);
    return text;
}

std::string Arg(float value)
{
    char text[32];
    snprintf(text, sizeof(text), "%.6g", static_cast<double>(value));
    return text;
}

std::string Arg(const char* text)
{
    return text ? "\"" + std::string(text) + "\"" : "null";
}

std::string Arg(const void* object)
{
    return fmod3test::ObjectName(object);
}

std::string Arg(const float* v)
{
    return v ? "(" + Arg(v[0]) + ", " + Arg(v[1]) + ", " + Arg(v[2]) + ")" : "null";
}

void Log(const char* name, std::string args, std::string result)
{
    State& s = Get();
    if (s.logCalls)
        s.log.push_back({name, std::move(args), std::move(result)});
}

// ---- Channels ------------------------------------------------------------------------------------

Channel* ActiveChannel(int channel)
{
    State& s = Get();
    if (!s.open || channel < 0 || channel >= static_cast<int>(s.channels.size()))
        return nullptr;
    Channel& c = s.channels[static_cast<size_t>(channel)];
    return c.active ? &c : nullptr;
}

int PickChannel(int wanted)
{
    State& s = Get();
    if (!s.open || s.faults.noFreeChannel)
        return -1;
    int count = static_cast<int>(s.channels.size());
    if (wanted >= 0)
    {
        if (wanted >= count)
            return -1;
        if (s.channels[static_cast<size_t>(wanted)].active)
            StopChannel(s.channels[static_cast<size_t>(wanted)]);
        return wanted;
    }
    // Round robin from the channel after the last one handed out: a channel that just ended
    // is taken again last, so a caller still holding its number is unlikely to reach a new
    // sound through it.
    for (int n = 0; n < count; ++n)
    {
        int i = (s.nextChannel + n) % count;
        if (!s.channels[static_cast<size_t>(i)].active)
        {
            s.nextChannel = (i + 1) % count;
            return i;
        }
    }
    return -1;
}

void StopChannel(Channel& channel)
{
    alSourceStop(channel.source);
    alSourcei(channel.source, AL_BUFFER, 0);
    if (channel.stream)
        channel.stream->channel = -1;
    channel.active = false;
    channel.sample = nullptr;
    channel.stream = nullptr;
    channel.position = 0.0;
}

void SetSourcePosition(ALuint source, const float* pos)
{
    // Left-handed to right-handed: z mirrored.
    alSource3f(source, AL_POSITION, pos[0], pos[1], -pos[2]);
}

} // namespace fmod3

using namespace fmod3;

// ---- Start-up --------------------------------------------------------------------------------------

float FSOUND_GetVersion()
{
    float version = Get().faults.version;
    FMOD3_LOG("FSOUND_GetVersion", "", Arg(version));
    return version;
}

signed char FSOUND_Init(int mixrate, int channelCount, unsigned int flags)
{
    State& s = Get();
    auto done = [&](signed char result)
    {
        FMOD3_LOG("FSOUND_Init", Arg(mixrate) + ", " + Arg(channelCount) + ", " + Arg(static_cast<int>(flags)),
                  Arg(static_cast<int>(result)));
        return result;
    };
    if (s.open || s.faults.failInit || mixrate < 8000 || mixrate > 192000 || channelCount < 1 || channelCount > 64)
    {
        s.faults.failInit = false;
        return done(0);
    }
    ALCdevice* device = nullptr;
    std::vector<ALCint> attributes;
    if (s.faults.loopback)
    {
        device = alcLoopbackOpenDeviceSOFT(nullptr);
        attributes = {ALC_FORMAT_CHANNELS_SOFT,
                      ALC_STEREO_SOFT,
                      ALC_FORMAT_TYPE_SOFT,
                      ALC_FLOAT_SOFT,
                      ALC_FREQUENCY,
                      mixrate,
                      ALC_HRTF_SOFT,
                      ALC_FALSE,
                      0};
    }
    else
    {
        device = alcOpenDevice(nullptr);
        attributes = {ALC_FREQUENCY, mixrate, 0};
    }
    if (!device)
        return done(0);
    ALCcontext* context = alcCreateContext(device, attributes.data());
    if (!context || !alcMakeContextCurrent(context))
    {
        if (context)
            alcDestroyContext(context);
        alcCloseDevice(device);
        return done(0);
    }
    s.device = device;
    s.context = context;
    s.loopbackDevice = s.faults.loopback;
    s.mixRate = mixrate;
    s.channels.assign(static_cast<size_t>(channelCount), Channel());
    for (Channel& c : s.channels)
        alGenSources(1, &c.source);
    alDistanceModel(AL_INVERSE_DISTANCE_CLAMPED);
    alListener3f(AL_POSITION, 0.0f, 0.0f, 0.0f);
    s.haveLastUpdate = false;
    s.rendered.clear();
    s.nextChannel = 0;
    s.open = true;
    if (alGetError() != AL_NO_ERROR)
    {
        FSOUND_Close();
        return done(0);
    }
    return done(1);
}

void FSOUND_Close()
{
    State& s = Get();
    FMOD3_LOG("FSOUND_Close", "");
    if (!s.open)
        return;
    for (Channel& c : s.channels)
        if (c.active)
            StopChannel(c);
    while (!s.streams.empty())
        FreeStream(s.streams.back());
    while (!s.samples.empty())
        FreeSample(s.samples.back());
    for (Channel& c : s.channels)
        alDeleteSources(1, &c.source);
    s.channels.clear();
    alcMakeContextCurrent(nullptr);
    alcDestroyContext(static_cast<ALCcontext*>(s.context));
    alcCloseDevice(Device());
    s.context = nullptr;
    s.device = nullptr;
    s.loopbackDevice = false;
    s.open = false;
}

void FSOUND_Update()
{
    State& s = Get();
    FMOD3_LOG("FSOUND_Update", "");
    if (!s.open)
        return;
    auto now = std::chrono::steady_clock::now();
    double dt = 0.0;
    if (s.faults.updateStep >= 0.0)
        dt = s.faults.updateStep;
    else if (s.haveLastUpdate)
        dt = std::chrono::duration<double>(now - s.lastUpdate).count();
    s.lastUpdate = now;
    s.haveLastUpdate = true;

    for (Channel& c : s.channels)
        if (c.active)
            Advance(c, dt);
    UpdateStreams();
    Render(dt);
}

// ---- 3D ---------------------------------------------------------------------------------------------

void FSOUND_3D_SetDistanceFactor(float scale)
{
    FMOD3_LOG("FSOUND_3D_SetDistanceFactor", Arg(scale));
    if (scale > 0.0f)
        Get().distanceFactor = scale;
}

void FSOUND_3D_Listener_SetAttributes(const float* pos, const float* vel, float fx, float fy, float fz, float tx,
                                      float ty, float tz)
{
    FMOD3_LOG("FSOUND_3D_Listener_SetAttributes", Arg(pos) + ", " + Arg(vel) + ", " + Arg(fx) + ", " + Arg(fy) + ", " +
                                                      Arg(fz) + ", " + Arg(tx) + ", " + Arg(ty) + ", " + Arg(tz));
    if (!Get().open)
        return;
    if (pos)
        alListener3f(AL_POSITION, pos[0], pos[1], -pos[2]);
    if (vel)
        alListener3f(AL_VELOCITY, vel[0], vel[1], -vel[2]);
    ALfloat orientation[6] = {fx, fy, -fz, tx, ty, -tz};
    alListenerfv(AL_ORIENTATION, orientation);
}

signed char FSOUND_3D_SetAttributes(int channel, const float* pos, const float* vel)
{
    Channel* c = ActiveChannel(channel);
    signed char result = c ? 1 : 0;
    FMOD3_LOG("FSOUND_3D_SetAttributes", Arg(channel) + ", " + Arg(pos) + ", " + Arg(vel), Arg(int(result)));
    if (!c)
        return 0;
    if (pos && c->is3d)
        SetSourcePosition(c->source, pos);
    if (vel && c->is3d)
        alSource3f(c->source, AL_VELOCITY, vel[0], vel[1], -vel[2]);
    return 1;
}

// ---- Channels ---------------------------------------------------------------------------------------

signed char FSOUND_StopSound(int channel)
{
    Channel* c = ActiveChannel(channel);
    FMOD3_LOG("FSOUND_StopSound", Arg(channel), Arg(c ? 1 : 0));
    if (!c)
        return 0;
    StopChannel(*c);
    return 1;
}

signed char FSOUND_IsPlaying(int channel)
{
    signed char result = ActiveChannel(channel) ? 1 : 0;
    FMOD3_LOG("FSOUND_IsPlaying", Arg(channel), Arg(int(result)));
    return result;
}

unsigned int FSOUND_GetLoopMode(int channel)
{
    Channel* c = ActiveChannel(channel);
    unsigned int result = c ? c->loop : 0;
    FMOD3_LOG("FSOUND_GetLoopMode", Arg(channel), Arg(result));
    return result;
}

signed char FSOUND_SetVolume(int channel, int vol)
{
    Channel* c = ActiveChannel(channel);
    FMOD3_LOG("FSOUND_SetVolume", Arg(channel) + ", " + Arg(vol), Arg(c ? 1 : 0));
    if (!c)
        return 0;
    c->volume = std::clamp(vol, 0, 255);
    alSourcef(c->source, AL_GAIN, static_cast<float>(c->volume) / 255.0f);
    return 1;
}

int FSOUND_GetVolume(int channel)
{
    Channel* c = ActiveChannel(channel);
    int result = c ? c->volume : 0;
    FMOD3_LOG("FSOUND_GetVolume", Arg(channel), Arg(result));
    return result;
}

// ---- Test hooks ---------------------------------------------------------------------------------------

namespace fmod3test
{
void Reset()
{
    State& s = Get();
    s.faults = Faults();
    s.logCalls = false;
    s.log.clear();
    s.rendered.clear();
}

void EnableCallLog(bool on)
{
    Get().logCalls = on;
}

void ClearCallLog()
{
    Get().log.clear();
}

const std::vector<Call>& CallLog()
{
    return Get().log;
}

size_t CountCalls(std::string_view name)
{
    size_t count = 0;
    for (const Call& call : Get().log)
        count += call.name == name ? 1 : 0;
    return count;
}

std::vector<std::string> CallArgs(std::string_view name)
{
    std::vector<std::string> args;
    for (const Call& call : Get().log)
        if (call.name == name)
            args.push_back(call.args);
    return args;
}

std::string ObjectName(const void* object)
{
    if (!object)
        return "null";
    State& s = Get();
    for (FSOUND_SAMPLE* sample : s.samples)
        if (sample == object)
            return "#" + std::to_string(sample->id);
    for (FSOUND_STREAM* stream : s.streams)
        if (stream == object)
            return "#" + std::to_string(stream->id);
    return "#?";
}

void SetVersion(float version)
{
    Get().faults.version = version;
}

void FailInit(bool fail)
{
    Get().faults.failInit = fail;
}

void FailOpens(bool fail)
{
    Get().faults.failOpens = fail;
}

void HoldStreamOpens(int updates)
{
    Get().faults.holdStreamOpens = std::max(0, updates);
}

void RefuseStreamStops(int n)
{
    Get().faults.refuseStops = std::max(0, n);
}

void RefuseStreamCloses(int n)
{
    Get().faults.refuseCloses = std::max(0, n);
}

void NoFreeChannel(bool on)
{
    Get().faults.noFreeChannel = on;
}

void SetUpdateStep(double seconds)
{
    Get().faults.updateStep = seconds;
}

void UseLoopback(bool on)
{
    Get().faults.loopback = on;
}

std::vector<float> TakeRendered()
{
    std::vector<float> out;
    out.swap(Get().rendered);
    return out;
}

int PlayingChannels()
{
    int count = 0;
    for (const Channel& c : Get().channels)
        count += c.active ? 1 : 0;
    return count;
}

int LiveSamples()
{
    return static_cast<int>(Get().samples.size());
}

int LiveStreams()
{
    return static_cast<int>(Get().streams.size());
}

double ChannelPosition(int channel)
{
    Channel* c = ActiveChannel(channel);
    if (!c)
        return -1.0;
    double frames = static_cast<double>(c->frames);
    return c->position < frames ? c->position : 2.0 * frames - c->position;
}
} // namespace fmod3test
