// The decoder behind the filter graph, the clip encoder of the test hooks and the bare
// decoder the benchmark compares with: libavformat, libavcodec and libswscale.
#include "dshow_local.h"
#include "dshowtesthooks.h"

extern "C"
{
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <cstring>

namespace
{

constexpr REFERENCE_TIME kUnitsPerSecond = 10000000;

/// One open video stream with its decoder and the converter to 24-bit rows.
struct VideoReader
{
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    SwsContext* scaler = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    int stream = -1;
    bool draining = false;
    int64_t firstPts = AV_NOPTS_VALUE;
    /// The picture size the stream opened with: what every frame is delivered at.
    int width = 0;
    int height = 0;

    ~VideoReader()
    {
        sws_freeContext(scaler);
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
    }

    HRESULT Open(const std::string& path)
    {
        // The library's own messages have no sink here; failures come back as results.
        av_log_set_level(AV_LOG_QUIET);
        struct stat info;
        if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
            return HRESULT_FILE_NOT_FOUND;
        if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0)
            return VFW_E_UNKNOWN_FILE_TYPE;
        if (avformat_find_stream_info(format, nullptr) < 0)
            return VFW_E_UNKNOWN_FILE_TYPE;
        for (unsigned i = 0; i < format->nb_streams; ++i)
            if (format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO)
            {
                stream = int(i);
                break;
            }
        if (stream < 0)
            return VFW_E_CANNOT_RENDER;
        const AVCodecParameters* parameters = format->streams[stream]->codecpar;
        const AVCodec* decoder = avcodec_find_decoder(parameters->codec_id);
        if (!decoder || parameters->width <= 0 || parameters->height <= 0)
            return VFW_E_CANNOT_RENDER;
        codec = avcodec_alloc_context3(decoder);
        if (!codec || avcodec_parameters_to_context(codec, parameters) < 0)
            return E_OUTOFMEMORY;
        // One thread: frames come out in order and without the decoder's own pool.
        codec->thread_count = 1;
        if (avcodec_open2(codec, decoder, nullptr) < 0)
            return VFW_E_CANNOT_RENDER;
        packet = av_packet_alloc();
        frame = av_frame_alloc();
        if (!packet || !frame)
            return E_OUTOFMEMORY;
        width = codec->width;
        height = codec->height;
        return S_OK;
    }

    int Width() const { return width; }
    int Height() const { return height; }

    /// The next decoded frame in `frame`; false at the end or on an error.
    bool Decode()
    {
        for (;;)
        {
            int received = avcodec_receive_frame(codec, frame);
            if (received == 0)
                return true;
            if (received != AVERROR(EAGAIN))
                return false;
            if (draining)
                return false;
            int read = av_read_frame(format, packet);
            if (read < 0)
            {
                draining = true;
                if (avcodec_send_packet(codec, nullptr) < 0)
                    return false;
                continue;
            }
            if (packet->stream_index == stream)
            {
                int sent = avcodec_send_packet(codec, packet);
                av_packet_unref(packet);
                if (sent < 0 && sent != AVERROR(EAGAIN))
                    return false;
            }
            else
                av_packet_unref(packet);
        }
    }

    /// The decoded frame as 24-bit rows of the opened size: a picture whose size changed
    /// mid-stream is scaled to it, since the rows were sized when the stream opened.
    bool Convert(uint8_t* rows, int pitch, bool bottomUp)
    {
        if (frame->width <= 0 || frame->height <= 0)
            return false;
        scaler = sws_getCachedContext(scaler, frame->width, frame->height, AVPixelFormat(frame->format), width, height,
                                      AV_PIX_FMT_BGR24, SWS_POINT, nullptr, nullptr, nullptr);
        if (!scaler)
            return false;
        uint8_t* target[4] = {rows, nullptr, nullptr, nullptr};
        int stride[4] = {pitch, 0, 0, 0};
        if (bottomUp)
        {
            target[0] = rows + size_t(height - 1) * size_t(pitch);
            stride[0] = -pitch;
        }
        sws_scale(scaler, frame->data, frame->linesize, 0, frame->height, target, stride);
        return true;
    }

    REFERENCE_TIME FrameStart()
    {
        int64_t pts = frame->best_effort_timestamp;
        if (pts == AV_NOPTS_VALUE)
            return 0;
        if (firstPts == AV_NOPTS_VALUE)
        {
            int64_t start = format->streams[stream]->start_time;
            firstPts = start != AV_NOPTS_VALUE && start <= pts ? start : pts;
        }
        return av_rescale_q(pts - firstPts, format->streams[stream]->time_base, AVRational{1, int(kUnitsPerSecond)});
    }

    bool Rewind()
    {
        draining = false;
        if (av_seek_frame(format, stream,
                          format->streams[stream]->start_time == AV_NOPTS_VALUE ? 0
                                                                                : format->streams[stream]->start_time,
                          AVSEEK_FLAG_BACKWARD) < 0)
            return false;
        avcodec_flush_buffers(codec);
        return true;
    }
};

int RowPitch(int width)
{
    return (3 * width + 3) & ~3;
}

} // namespace

namespace dshow
{

struct Decoder::State
{
    VideoReader reader;
};

Decoder::Decoder() : mState(std::make_unique<State>()) {}
Decoder::~Decoder() = default;

HRESULT Decoder::Open(const std::string& path)
{
    return mState->reader.Open(path);
}

int Decoder::Width() const
{
    return mState->reader.Width();
}

int Decoder::Height() const
{
    return mState->reader.Height();
}

REFERENCE_TIME Decoder::AvgTimePerFrame() const
{
    AVStream* stream = mState->reader.format->streams[mState->reader.stream];
    AVRational rate = stream->avg_frame_rate.num > 0 ? stream->avg_frame_rate : stream->r_frame_rate;
    if (rate.num <= 0 || rate.den <= 0)
        return 0;
    return av_rescale(kUnitsPerSecond, rate.den, rate.num);
}

REFERENCE_TIME Decoder::Duration() const
{
    const VideoReader& reader = mState->reader;
    AVStream* stream = reader.format->streams[reader.stream];
    if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0)
        return av_rescale_q(stream->duration, stream->time_base, AVRational{1, int(kUnitsPerSecond)});
    if (reader.format->duration != AV_NOPTS_VALUE && reader.format->duration > 0)
        return av_rescale(reader.format->duration, kUnitsPerSecond, AV_TIME_BASE);
    return 0;
}

bool Decoder::Next(uint8_t* rows, int pitch, bool bottomUp, REFERENCE_TIME* start)
{
    VideoReader& reader = mState->reader;
    if (!reader.Decode() || !reader.Convert(rows, pitch, bottomUp))
        return false;
    *start = reader.FrameStart();
    return true;
}

bool Decoder::Rewind()
{
    return mState->reader.Rewind();
}

std::string DiskPath(LPCWSTR path)
{
    std::string text;
    for (const WCHAR* unit = path; unit && *unit; ++unit)
    {
        // The program widens single bytes; anything else has no place in an ASCII path.
        char c = *unit < 0x100 ? char(*unit) : '?';
        text.push_back(c == '\\' ? '/' : c);
    }
    struct stat info;
    if (text.empty() || stat(text.c_str(), &info) == 0)
        return text;
    // Match each missing component ignoring case, as the content's file system did.
    std::string resolved = text[0] == '/' ? "/" : "";
    size_t begin = text[0] == '/' ? 1 : 0;
    while (begin <= text.size())
    {
        size_t end = text.find('/', begin);
        if (end == std::string::npos)
            end = text.size();
        std::string part = text.substr(begin, end - begin);
        if (!part.empty())
        {
            std::string candidate = resolved + part;
            if (stat(candidate.c_str(), &info) != 0)
                if (DIR* dir = opendir(resolved.empty() ? "." : resolved.c_str()))
                {
                    while (dirent* entry = readdir(dir))
                        if (strcasecmp(entry->d_name, part.c_str()) == 0)
                        {
                            candidate = resolved + entry->d_name;
                            break;
                        }
                    closedir(dir);
                }
            resolved = candidate;
            if (end < text.size())
                resolved += '/';
        }
        begin = end + 1;
    }
    return resolved;
}

} // namespace dshow

namespace dshowtest
{

bool WriteClip(const std::string& path, int width, int height, int frames, int fps, const ClipPixel& pixel)
{
    if (width <= 0 || height <= 0 || frames <= 0 || fps <= 0)
        return false;
    const AVCodec* encoder = avcodec_find_encoder(AV_CODEC_ID_FFV1);
    AVFormatContext* output = nullptr;
    if (!encoder || avformat_alloc_output_context2(&output, nullptr, "matroska", path.c_str()) < 0)
        return false;
    bool ok = false;
    AVCodecContext* codec = avcodec_alloc_context3(encoder);
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    AVStream* stream = avformat_new_stream(output, nullptr);
    auto drain = [&]()
    {
        while (avcodec_receive_packet(codec, packet) == 0)
        {
            av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
            packet->stream_index = stream->index;
            if (av_interleaved_write_frame(output, packet) < 0)
                return false;
        }
        return true;
    };
    if (codec && frame && packet && stream)
    {
        codec->width = width;
        codec->height = height;
        codec->pix_fmt = AV_PIX_FMT_BGR0; // lossless colours: no YUV round trip
        codec->time_base = AVRational{1, fps};
        codec->framerate = AVRational{fps, 1};
        codec->thread_count = 1;
        if (output->oformat->flags & AVFMT_GLOBALHEADER)
            codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        frame->format = AV_PIX_FMT_BGR0;
        frame->width = width;
        frame->height = height;
        if (avcodec_open2(codec, encoder, nullptr) >= 0 &&
            avcodec_parameters_from_context(stream->codecpar, codec) >= 0 && av_frame_get_buffer(frame, 0) >= 0 &&
            avio_open(&output->pb, path.c_str(), AVIO_FLAG_WRITE) >= 0)
        {
            stream->time_base = codec->time_base;
            stream->avg_frame_rate = codec->framerate;
            ok = avformat_write_header(output, nullptr) >= 0;
            for (int n = 0; ok && n < frames; ++n)
            {
                ok = av_frame_make_writable(frame) >= 0;
                for (int y = 0; ok && y < height; ++y)
                    for (int x = 0; x < width; ++x)
                    {
                        uint32_t rgb = pixel(n, x, y);
                        uint8_t* p = frame->data[0] + size_t(y) * size_t(frame->linesize[0]) + 4 * size_t(x);
                        p[0] = uint8_t(rgb), p[1] = uint8_t(rgb >> 8), p[2] = uint8_t(rgb >> 16), p[3] = 0;
                    }
                frame->pts = n;
                ok = ok && avcodec_send_frame(codec, frame) >= 0 && drain();
            }
            ok = ok && avcodec_send_frame(codec, nullptr) >= 0 && drain() && av_write_trailer(output) >= 0;
            avio_closep(&output->pb);
        }
    }
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&codec);
    avformat_free_context(output);
    return ok;
}

bool WriteResizingClip(const std::string& path, int width, int height, int from, int width2, int height2, int frames,
                       int fps, const ClipPixel& pixel)
{
    if (width <= 0 || height <= 0 || width2 <= 0 || height2 <= 0 || frames <= 0 || fps <= 0)
        return false;
    const AVCodec* encoder = avcodec_find_encoder(AV_CODEC_ID_PNG);
    AVFormatContext* output = nullptr;
    if (!encoder || avformat_alloc_output_context2(&output, nullptr, "matroska", path.c_str()) < 0)
        return false;
    AVCodecContext* codecs[2] = {avcodec_alloc_context3(encoder), avcodec_alloc_context3(encoder)};
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    AVStream* stream = avformat_new_stream(output, nullptr);
    bool ok = codecs[0] && codecs[1] && frame && packet && stream;
    const int sizes[2][2] = {{width, height}, {width2, height2}};
    for (int c = 0; ok && c < 2; ++c)
    {
        codecs[c]->width = sizes[c][0];
        codecs[c]->height = sizes[c][1];
        codecs[c]->pix_fmt = AV_PIX_FMT_RGB24;
        codecs[c]->time_base = AVRational{1, fps};
        codecs[c]->thread_count = 1;
        ok = avcodec_open2(codecs[c], encoder, nullptr) >= 0;
    }
    ok = ok && avcodec_parameters_from_context(stream->codecpar, codecs[0]) >= 0 &&
         avio_open(&output->pb, path.c_str(), AVIO_FLAG_WRITE) >= 0;
    if (ok)
    {
        stream->time_base = AVRational{1, fps};
        ok = avformat_write_header(output, nullptr) >= 0;
        for (int n = 0; ok && n < frames; ++n)
        {
            AVCodecContext* codec = codecs[n < from ? 0 : 1];
            av_frame_unref(frame);
            frame->format = AV_PIX_FMT_RGB24;
            frame->width = codec->width;
            frame->height = codec->height;
            ok = av_frame_get_buffer(frame, 0) >= 0;
            for (int y = 0; ok && y < frame->height; ++y)
                for (int x = 0; x < frame->width; ++x)
                {
                    uint32_t rgb = pixel(n, x, y);
                    uint8_t* p = frame->data[0] + size_t(y) * size_t(frame->linesize[0]) + 3 * size_t(x);
                    p[0] = uint8_t(rgb >> 16), p[1] = uint8_t(rgb >> 8), p[2] = uint8_t(rgb);
                }
            frame->pts = n;
            ok = ok && avcodec_send_frame(codec, frame) >= 0;
            while (ok && avcodec_receive_packet(codec, packet) == 0)
            {
                packet->pts = packet->dts = n;
                av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
                packet->stream_index = stream->index;
                ok = av_interleaved_write_frame(output, packet) >= 0;
            }
        }
        ok = ok && av_write_trailer(output) >= 0;
        avio_closep(&output->pb);
    }
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&codecs[0]);
    avcodec_free_context(&codecs[1]);
    avformat_free_context(output);
    return ok;
}

struct BareDecoder::State
{
    VideoReader reader;
};

BareDecoder::BareDecoder() : mState(std::make_unique<State>()) {}
BareDecoder::~BareDecoder() = default;

bool BareDecoder::Open(const std::string& path)
{
    mState = std::make_unique<State>();
    return mState->reader.Open(path) == S_OK;
}

int BareDecoder::Width() const
{
    return mState->reader.Width();
}

int BareDecoder::Height() const
{
    return mState->reader.Height();
}

bool BareDecoder::Next(std::vector<uint8_t>* rows)
{
    VideoReader& reader = mState->reader;
    int pitch = RowPitch(reader.Width());
    rows->resize(size_t(pitch) * size_t(reader.Height()));
    return reader.Decode() && reader.Convert(rows->data(), pitch, true);
}

bool BareDecoder::Rewind()
{
    return mState->reader.Rewind();
}

} // namespace dshowtest
