// The FMOD 3 layer's streams: a decoder kept open over the file or range, feeding a
// queue of OpenAL buffers from FSOUND_Update; non-blocking opens end at the next update.
#include "fmod3_local.h"

#include <AL/al.h>

#include <algorithm>

namespace fmod3
{
namespace
{
bool Known(FSOUND_STREAM* stream)
{
    const auto& streams = Get().streams;
    return stream && std::find(streams.begin(), streams.end(), stream) != streams.end();
}

bool OpenNow(FSOUND_STREAM* stream)
{
    if (stream->failOpen || !stream->decoder.Open(stream->path.c_str(), stream->offset, stream->length) ||
        stream->decoder.Frames() <= 0)
    {
        stream->decoder.Close();
        stream->openState = FSOUND_OPENSTATE_FAILED;
        return false;
    }
    stream->frames = stream->decoder.Frames();
    stream->scratch.resize(static_cast<size_t>(FSOUND_STREAM::kBufferFrames * stream->decoder.Channels()));
    alGenBuffers(FSOUND_STREAM::kBuffers, stream->buffers);
    stream->openState = 0;
    return true;
}

/// Decodes the next block of the unfolded timeline into the buffer; false when the
/// stream has nothing more to give (a non-looping stream at its end).
bool Fill(FSOUND_STREAM* stream, ALuint buffer)
{
    const int64_t frames = stream->frames;
    const int channels = stream->decoder.Channels();
    const unsigned int loop = stream->mode & FSOUND_LOOP_MASK;
    const bool loops = (loop & (FSOUND_LOOP_NORMAL | FSOUND_LOOP_BIDI)) != 0;
    const int64_t want = FSOUND_STREAM::kBufferFrames;
    int16_t* out = stream->scratch.data();
    int64_t filled = 0;
    while (filled < want)
    {
        int64_t p = stream->feedPosition;
        if (loop & FSOUND_LOOP_NORMAL)
            p %= frames;
        else if (loop & FSOUND_LOOP_BIDI)
            p %= 2 * frames;
        else if (p >= frames)
            break;
        int64_t got = 0;
        int16_t* at = out + filled * channels;
        if (p < frames)
        {
            int64_t n = std::min(want - filled, frames - p);
            got = stream->decoder.Seek(p) ? stream->decoder.Read(at, n) : 0;
            if (got <= 0)
            {
                // The data ends before the header said: silence up to the promised length.
                std::fill(at, at + n * channels, int16_t(0));
                got = n;
            }
        }
        else
        {
            // The way back of a ping-pong loop: read forward, then reverse the frames.
            int64_t last = 2 * frames - 1 - p;
            int64_t n = std::min(want - filled, last + 1);
            int64_t read = stream->decoder.Seek(last - n + 1) ? stream->decoder.Read(at, n) : 0;
            std::fill(at + std::max<int64_t>(read, 0) * channels, at + n * channels, int16_t(0));
            for (int64_t i = 0; i < n / 2; ++i)
                for (int c = 0; c < channels; ++c)
                    std::swap(at[i * channels + c], at[(n - 1 - i) * channels + c]);
            got = n;
        }
        filled += got;
        stream->feedPosition = p + got;
        if (!loops && stream->feedPosition >= frames)
            break;
    }
    if (filled == 0)
        return false;
    alBufferData(buffer, channels == 2 ? AL_FORMAT_STEREO16 : AL_FORMAT_MONO16, out,
                 static_cast<ALsizei>(filled * channels * static_cast<int64_t>(sizeof(int16_t))),
                 stream->decoder.Rate());
    return true;
}

void Feed(FSOUND_STREAM* stream)
{
    Channel& c = Get().channels[static_cast<size_t>(stream->channel)];
    ALint processed = 0;
    alGetSourcei(c.source, AL_BUFFERS_PROCESSED, &processed);
    while (processed-- > 0)
    {
        ALuint buffer = 0;
        alSourceUnqueueBuffers(c.source, 1, &buffer);
        if (!stream->feedEnded && Fill(stream, buffer))
            alSourceQueueBuffers(c.source, 1, &buffer);
        else
            stream->feedEnded = true;
    }
    // An output that ran dry restarts with what is queued.
    ALint state = 0, queued = 0;
    alGetSourcei(c.source, AL_SOURCE_STATE, &state);
    alGetSourcei(c.source, AL_BUFFERS_QUEUED, &queued);
    if (state != AL_PLAYING && queued > 0)
        alSourcePlay(c.source);
}
} // namespace

void UpdateStreams()
{
    State& s = Get();
    for (FSOUND_STREAM* stream : s.streams)
    {
        if (stream->openState == FSOUND_OPENSTATE_PENDING && --stream->pendingUpdates <= 0)
            OpenNow(stream);
        if (stream->channel >= 0)
            Feed(stream);
    }
}

void FreeStream(FSOUND_STREAM* stream)
{
    State& s = Get();
    if (stream->channel >= 0)
        StopChannel(s.channels[static_cast<size_t>(stream->channel)]);
    if (stream->buffers[0])
        alDeleteBuffers(FSOUND_STREAM::kBuffers, stream->buffers);
    s.streams.erase(std::remove(s.streams.begin(), s.streams.end(), stream), s.streams.end());
    delete stream;
}

} // namespace fmod3

using namespace fmod3;

FSOUND_STREAM* FSOUND_Stream_Open(const char* name, unsigned int mode, int offset, int length)
{
    State& s = Get();
    FSOUND_STREAM* stream = nullptr;
    if (s.open && name)
    {
        stream = new FSOUND_STREAM();
        stream->id = s.nextObjectId++;
        stream->path = name;
        stream->offset = offset;
        stream->length = length;
        stream->mode = (mode & FSOUND_LOOP_MASK) ? mode : (mode | FSOUND_LOOP_OFF);
        stream->failOpen = s.faults.failOpens;
        s.streams.push_back(stream);
        if (mode & FSOUND_NONBLOCKING)
        {
            stream->pendingUpdates = 1 + s.faults.holdStreamOpens;
        }
        else if (!OpenNow(stream))
        {
            FreeStream(stream);
            stream = nullptr;
        }
    }
    FMOD3_LOG("FSOUND_Stream_Open", Arg(name) + ", " + Arg(mode) + ", " + Arg(offset) + ", " + Arg(length),
              Arg(static_cast<const void*>(stream)));
    return stream;
}

int FSOUND_Stream_GetOpenState(FSOUND_STREAM* stream)
{
    int result = Known(stream) ? stream->openState : FSOUND_OPENSTATE_FAILED;
    FMOD3_LOG("FSOUND_Stream_GetOpenState", Arg(static_cast<const void*>(stream)), Arg(result));
    return result;
}

unsigned int FSOUND_Stream_GetMode(FSOUND_STREAM* stream)
{
    unsigned int result = Known(stream) ? stream->mode : 0;
    FMOD3_LOG("FSOUND_Stream_GetMode", Arg(static_cast<const void*>(stream)), Arg(result));
    return result;
}

signed char FSOUND_Stream_SetMode(FSOUND_STREAM* stream, unsigned int mode)
{
    bool ok = Known(stream);
    FMOD3_LOG("FSOUND_Stream_SetMode", Arg(static_cast<const void*>(stream)) + ", " + Arg(mode), Arg(ok ? 1 : 0));
    if (!ok)
        return 0;
    stream->mode = mode;
    if (mode & FSOUND_LOOP_MASK)
    {
        // The loop bits are one choice: the highest given wins.
        unsigned int loop = (mode & FSOUND_LOOP_BIDI)     ? FSOUND_LOOP_BIDI
                            : (mode & FSOUND_LOOP_NORMAL) ? FSOUND_LOOP_NORMAL
                                                          : FSOUND_LOOP_OFF;
        stream->mode = (mode & ~FSOUND_LOOP_MASK) | loop;
    }
    else
    {
        stream->mode |= FSOUND_LOOP_OFF;
    }
    if (stream->channel >= 0)
        Get().channels[static_cast<size_t>(stream->channel)].loop = stream->mode & FSOUND_LOOP_MASK;
    return 1;
}

int FSOUND_Stream_Play(int channel, FSOUND_STREAM* stream)
{
    int result = -1;
    if (Known(stream) && stream->openState == 0)
    {
        if (stream->channel >= 0)
            StopChannel(Get().channels[static_cast<size_t>(stream->channel)]);
        result = PickChannel(channel);
    }
    FMOD3_LOG("FSOUND_Stream_Play", Arg(channel) + ", " + Arg(static_cast<const void*>(stream)), Arg(result));
    if (result < 0)
        return -1;
    Channel& c = Get().channels[static_cast<size_t>(result)];
    c.active = true;
    c.sample = nullptr;
    c.stream = stream;
    c.position = 0.0;
    c.frames = stream->frames;
    c.rate = stream->decoder.Rate();
    c.loop = stream->mode & FSOUND_LOOP_MASK;
    c.volume = 255;
    c.is3d = false;
    stream->channel = result;
    stream->feedPosition = 0;
    stream->feedEnded = false;
    alSourcei(c.source, AL_BUFFER, 0);
    alSourcei(c.source, AL_LOOPING, AL_FALSE);
    alSourcei(c.source, AL_SOURCE_RELATIVE, AL_TRUE);
    alSourcef(c.source, AL_ROLLOFF_FACTOR, 0.0f);
    alSource3f(c.source, AL_POSITION, 0.0f, 0.0f, 0.0f);
    alSourcef(c.source, AL_GAIN, 1.0f);
    for (ALuint buffer : stream->buffers)
    {
        if (!Fill(stream, buffer))
        {
            stream->feedEnded = true;
            break;
        }
        alSourceQueueBuffers(c.source, 1, &buffer);
    }
    alSourcePlay(c.source);
    return result;
}

signed char FSOUND_Stream_Stop(FSOUND_STREAM* stream)
{
    State& s = Get();
    bool ok = Known(stream);
    if (ok && s.faults.refuseStops > 0)
    {
        --s.faults.refuseStops;
        ok = false;
    }
    else if (ok)
    {
        if (stream->channel >= 0)
            StopChannel(s.channels[static_cast<size_t>(stream->channel)]);
        stream->feedPosition = 0;
    }
    FMOD3_LOG("FSOUND_Stream_Stop", Arg(static_cast<const void*>(stream)), Arg(ok ? 1 : 0));
    return ok ? 1 : 0;
}

signed char FSOUND_Stream_Close(FSOUND_STREAM* stream)
{
    State& s = Get();
    bool ok = Known(stream);
    std::string name = Logging() ? Arg(static_cast<const void*>(stream)) : std::string();
    if (ok && s.faults.refuseCloses > 0)
    {
        --s.faults.refuseCloses;
        ok = false;
    }
    else if (ok)
    {
        FreeStream(stream);
    }
    FMOD3_LOG("FSOUND_Stream_Close", name, Arg(ok ? 1 : 0));
    return ok ? 1 : 0;
}

int FSOUND_Stream_GetLengthMs(FSOUND_STREAM* stream)
{
    int result = 0;
    if (Known(stream) && stream->openState == 0 && stream->decoder.Rate() > 0)
        result = static_cast<int>(std::min<int64_t>(stream->frames * 1000 / stream->decoder.Rate(), INT32_MAX));
    FMOD3_LOG("FSOUND_Stream_GetLengthMs", Arg(static_cast<const void*>(stream)), Arg(result));
    return result;
}
