// The FMOD 3 layer's samples: sounds decoded whole into an OpenAL buffer, and played on
// channels as 2D (listener-relative) or 3D (attenuated between the minimum and maximum
// distance) sources.
#include "fmod3_local.h"

#include <AL/al.h>

#include <algorithm>

namespace fmod3
{
namespace
{
ALenum Format(int channels)
{
    return channels == 2 ? AL_FORMAT_STEREO16 : AL_FORMAT_MONO16;
}

bool Known(FSOUND_SAMPLE* sample)
{
    const auto& samples = Get().samples;
    return sample && std::find(samples.begin(), samples.end(), sample) != samples.end();
}

/// The ping-pong form: the data forward, then reversed, looped as one.
ALuint BidiBuffer(FSOUND_SAMPLE* sample)
{
    if (sample->bidiBuffer)
        return sample->bidiBuffer;
    auto channels = static_cast<size_t>(sample->channels);
    size_t frames = static_cast<size_t>(sample->frames);
    std::vector<int16_t> data(sample->pcm);
    data.resize(frames * channels * 2);
    for (size_t i = 0; i < frames; ++i)
        for (size_t c = 0; c < channels; ++c)
            data[(frames + i) * channels + c] = sample->pcm[(frames - 1 - i) * channels + c];
    alGenBuffers(1, &sample->bidiBuffer);
    alBufferData(sample->bidiBuffer, Format(sample->channels), data.data(),
                 static_cast<ALsizei>(data.size() * sizeof(int16_t)), sample->rate);
    return sample->bidiBuffer;
}
} // namespace

void FreeSample(FSOUND_SAMPLE* sample)
{
    State& s = Get();
    for (Channel& c : s.channels)
        if (c.active && c.sample == sample)
            StopChannel(c);
    if (sample->buffer)
        alDeleteBuffers(1, &sample->buffer);
    if (sample->bidiBuffer)
        alDeleteBuffers(1, &sample->bidiBuffer);
    s.samples.erase(std::remove(s.samples.begin(), s.samples.end(), sample), s.samples.end());
    delete sample;
}

} // namespace fmod3

using namespace fmod3;

FSOUND_SAMPLE* FSOUND_Sample_Load(int index, const char* name, unsigned int mode, int offset, int length)
{
    State& s = Get();
    FSOUND_SAMPLE* result = nullptr;
    Decoder decoder;
    std::vector<int16_t> pcm;
    int64_t frames = 0;
    // A sound the size of the whole address space is refused by the decoder's cap.
    if (s.open && !s.faults.failOpens && decoder.Open(name, offset, length) && decoder.ReadAll(pcm, frames))
    {
        result = new FSOUND_SAMPLE();
        result->id = s.nextObjectId++;
        result->pcm = std::move(pcm);
        result->frames = frames;
        result->channels = decoder.Channels();
        result->rate = decoder.Rate();
        result->mode =
            (mode & ~FSOUND_LOOP_MASK) | ((mode & FSOUND_LOOP_MASK) ? (mode & FSOUND_LOOP_MASK) : FSOUND_LOOP_OFF);
        alGenBuffers(1, &result->buffer);
        alBufferData(result->buffer, Format(result->channels), result->pcm.data(),
                     static_cast<ALsizei>(result->pcm.size() * sizeof(int16_t)), result->rate);
        s.samples.push_back(result);
    }
    FMOD3_LOG("FSOUND_Sample_Load",
              Arg(index) + ", " + Arg(name) + ", " + Arg(mode) + ", " + Arg(offset) + ", " + Arg(length),
              Arg(static_cast<const void*>(result)));
    return result;
}

signed char FSOUND_Sample_SetMode(FSOUND_SAMPLE* sample, unsigned int mode)
{
    bool ok = Known(sample);
    FMOD3_LOG("FSOUND_Sample_SetMode", Arg(static_cast<const void*>(sample)) + ", " + Arg(mode), Arg(ok ? 1 : 0));
    if (!ok)
        return 0;
    if (mode & FSOUND_LOOP_MASK)
        sample->mode = (sample->mode & ~FSOUND_LOOP_MASK) | (mode & FSOUND_LOOP_MASK);
    return 1;
}

signed char FSOUND_Sample_SetMinMaxDistance(FSOUND_SAMPLE* sample, float min, float max)
{
    bool ok = Known(sample) && min > 0.0f && max >= min;
    FMOD3_LOG("FSOUND_Sample_SetMinMaxDistance",
              Arg(static_cast<const void*>(sample)) + ", " + Arg(min) + ", " + Arg(max), Arg(ok ? 1 : 0));
    if (!ok)
        return 0;
    sample->minDistance = min;
    sample->maxDistance = max;
    return 1;
}

void FSOUND_Sample_Free(FSOUND_SAMPLE* sample)
{
    FMOD3_LOG("FSOUND_Sample_Free", Arg(static_cast<const void*>(sample)));
    if (Known(sample))
        FreeSample(sample);
}

unsigned int FSOUND_Sample_GetLength(FSOUND_SAMPLE* sample)
{
    unsigned int result = Known(sample) ? static_cast<unsigned int>(sample->frames) : 0;
    FMOD3_LOG("FSOUND_Sample_GetLength", Arg(static_cast<const void*>(sample)), std::to_string(result));
    return result;
}

signed char FSOUND_Sample_GetDefaults(FSOUND_SAMPLE* sample, int* freq, int* vol, int* pan, int* pri)
{
    bool ok = Known(sample);
    FMOD3_LOG("FSOUND_Sample_GetDefaults", Arg(static_cast<const void*>(sample)), Arg(ok ? 1 : 0));
    if (!ok)
        return 0;
    if (freq)
        *freq = sample->rate;
    if (vol)
        *vol = 255;
    if (pan)
        *pan = 128;
    if (pri)
        *pri = 128;
    return 1;
}

int FSOUND_PlaySound(int channel, FSOUND_SAMPLE* sample)
{
    int result = Known(sample) ? PickChannel(channel) : -1;
    FMOD3_LOG("FSOUND_PlaySound", Arg(channel) + ", " + Arg(static_cast<const void*>(sample)), Arg(result));
    if (result < 0)
        return -1;
    Channel& c = Get().channels[static_cast<size_t>(result)];
    c.active = true;
    c.sample = sample;
    c.stream = nullptr;
    c.position = 0.0;
    c.frames = sample->frames;
    c.rate = sample->rate;
    c.loop = sample->mode & FSOUND_LOOP_MASK;
    c.volume = 255;
    c.is3d = (sample->mode & FSOUND_HW3D) != 0;
    ALuint buffer = (c.loop & FSOUND_LOOP_BIDI) ? BidiBuffer(sample) : sample->buffer;
    alSourcei(c.source, AL_BUFFER, static_cast<ALint>(buffer));
    alSourcei(c.source, AL_LOOPING, (c.loop & (FSOUND_LOOP_NORMAL | FSOUND_LOOP_BIDI)) ? AL_TRUE : AL_FALSE);
    alSourcef(c.source, AL_GAIN, 1.0f);
    alSource3f(c.source, AL_VELOCITY, 0.0f, 0.0f, 0.0f);
    if (c.is3d)
    {
        alSourcei(c.source, AL_SOURCE_RELATIVE, AL_FALSE);
        alSourcef(c.source, AL_ROLLOFF_FACTOR, 1.0f);
        alSourcef(c.source, AL_REFERENCE_DISTANCE, sample->minDistance);
        alSourcef(c.source, AL_MAX_DISTANCE, sample->maxDistance);
    }
    else
    {
        alSourcei(c.source, AL_SOURCE_RELATIVE, AL_TRUE);
        alSourcef(c.source, AL_ROLLOFF_FACTOR, 0.0f);
    }
    alSource3f(c.source, AL_POSITION, 0.0f, 0.0f, 0.0f);
    alSourcePlay(c.source);
    return result;
}
