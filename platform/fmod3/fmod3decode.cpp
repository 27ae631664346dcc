// Decoding for the FMOD 3 layer: libsndfile over a byte range of a disk file, and the
// tone writer the tests use.
#include "fmod3_local.h"

#include <sndfile.h>

#include <cmath>
#include <numbers>

namespace fmod3
{
namespace
{
sf_count_t VioLength(void* user)
{
    return static_cast<Decoder*>(user)->mLength;
}

sf_count_t VioSeek(sf_count_t offset, int whence, void* user)
{
    auto* d = static_cast<Decoder*>(user);
    int64_t target = offset;
    if (whence == SEEK_CUR)
        target += d->mPosition;
    else if (whence == SEEK_END)
        target += d->mLength;
    if (target < 0 || target > d->mLength)
        return -1;
    d->mPosition = target;
    return target;
}

sf_count_t VioRead(void* out, sf_count_t count, void* user)
{
    auto* d = static_cast<Decoder*>(user);
    if (count <= 0)
        return 0;
    int64_t left = d->mLength - d->mPosition;
    if (count > left)
        count = left;
    if (count <= 0 || fseeko(d->mStream, d->mBase + d->mPosition, SEEK_SET) != 0)
        return 0;
    size_t got = fread(out, 1, static_cast<size_t>(count), d->mStream);
    d->mPosition += static_cast<int64_t>(got);
    return static_cast<sf_count_t>(got);
}

sf_count_t VioWrite(const void*, sf_count_t, void*)
{
    return 0;
}

sf_count_t VioTell(void* user)
{
    return static_cast<Decoder*>(user)->mPosition;
}
} // namespace

std::string DiskPath(const char* name)
{
    std::string path = name ? name : "";
    for (char& c : path)
        if (c == '\\')
            c = '/';
    return path;
}

bool Decoder::Open(const char* path, int64_t offset, int64_t length)
{
    Close();
    if (!path || offset < 0 || length < 0)
        return false;
    mStream = fopen(DiskPath(path).c_str(), "rb");
    if (!mStream)
        return false;
    int64_t size = -1;
    if (fseeko(mStream, 0, SEEK_END) == 0)
        size = ftello(mStream);
    if (offset == 0 && length == 0)
        length = size;
    // The range must lie inside the file as it is now.
    if (size < 0 || length <= 0 || offset > size || length > size - offset)
    {
        Close();
        return false;
    }
    mBase = offset;
    mLength = length;
    mPosition = 0;

    SF_VIRTUAL_IO io = {VioLength, VioSeek, VioRead, VioWrite, VioTell};
    SF_INFO info = {};
    mFile = sf_open_virtual(&io, SFM_READ, &info, this);
    if (!mFile || info.channels < 1 || info.channels > 2 || info.samplerate < 1 || info.samplerate > 384000 ||
        info.frames < 0)
    {
        Close();
        return false;
    }
    mChannels = info.channels;
    mRate = info.samplerate;
    mFrames = info.frames;
    // A stream whose end the decoder cannot find (an Ogg file cut short) reports the largest
    // count: measure it by decoding, then start again from the first frame.
    if (info.frames == SF_COUNT_MAX && !MeasureUntoldLength())
    {
        Close();
        return false;
    }
    return true;
}

bool Decoder::MeasureUntoldLength()
{
    std::vector<int16_t> block(static_cast<size_t>(4096 * mChannels));
    int64_t counted = 0;
    for (int64_t got; (got = Read(block.data(), 4096)) > 0;)
        counted += got;
    sf_close(mFile);
    mPosition = 0;
    SF_VIRTUAL_IO io = {VioLength, VioSeek, VioRead, VioWrite, VioTell};
    SF_INFO info = {};
    mFile = sf_open_virtual(&io, SFM_READ, &info, this);
    if (!mFile || counted <= 0)
        return false;
    mFrames = counted;
    return true;
}

void Decoder::Close()
{
    if (mFile)
        sf_close(mFile);
    mFile = nullptr;
    if (mStream)
        fclose(mStream);
    mStream = nullptr;
    mChannels = mRate = 0;
    mFrames = 0;
}

int64_t Decoder::Read(int16_t* out, int64_t frames)
{
    if (!mFile || frames <= 0)
        return 0;
    sf_count_t got = sf_readf_short(mFile, out, frames);
    return got > 0 ? got : 0;
}

bool Decoder::Seek(int64_t frame)
{
    return mFile && sf_seek(mFile, frame, SEEK_SET) == frame;
}

bool Decoder::ReadAll(std::vector<int16_t>& pcm, int64_t& frames)
{
    pcm.clear();
    frames = 0;
    if (!mFile || !Seek(0))
        return false;
    constexpr int64_t kBlock = 4096;
    for (;;)
    {
        size_t at = pcm.size();
        pcm.resize(at + static_cast<size_t>(kBlock * mChannels));
        int64_t got = Read(pcm.data() + at, kBlock);
        pcm.resize(at + static_cast<size_t>(got * mChannels));
        frames += got;
        if (frames > kMaxSampleFrames)
            return false;
        if (got < kBlock)
            break;
    }
    return frames > 0;
}

} // namespace fmod3

namespace fmod3test
{
bool WriteTone(const std::string& path, ToneFormat format, int rate, int channels, double seconds, double hz)
{
    if (rate < 1 || channels < 1 || channels > 2 || seconds < 0.0)
        return false;
    SF_INFO info = {};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format == ToneFormat::Wav16 ? (SF_FORMAT_WAV | SF_FORMAT_PCM_16) : (SF_FORMAT_OGG | SF_FORMAT_VORBIS);
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file)
        return false;
    int64_t frames = static_cast<int64_t>(std::llround(seconds * rate));
    std::vector<float> data(static_cast<size_t>(frames * channels));
    for (int64_t i = 0; i < frames; ++i)
    {
        float v = static_cast<float>(0.5 * std::sin(2.0 * std::numbers::pi * hz * static_cast<double>(i) / rate));
        for (int c = 0; c < channels; ++c)
            data[static_cast<size_t>(i * channels + c)] = v;
    }
    bool ok = sf_writef_float(file, data.data(), frames) == frames;
    return sf_close(file) == 0 && ok;
}
} // namespace fmod3test
