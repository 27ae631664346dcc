// Our FMOD 3 layer on OpenAL's null output and loopback device: start-up faults, samples
// loaded whole and from a byte range, channels and their timeline, streams with pending and
// failed opens, panning read back from a loopback render, the call log, and a sweep of
// mutated WAV files.
#include "fmod3.h"
#include "fmod3testhooks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{

namespace fs = std::filesystem;
using fmod3test::ToneFormat;

std::vector<char> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::vector<char>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

class Fmod3Test : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fmod3test::Reset();
        mDir = fs::path(::testing::TempDir()) / ("fmod3_" + std::to_string(getpid()));
        fs::create_directories(mDir);
        // Half a second of 440 Hz, mono: 24000 frames at 48 kHz.
        ASSERT_TRUE(fmod3test::WriteTone(Path("tone.wav"), ToneFormat::Wav16, 48000, 1, 0.5, 440.0));
        fmod3test::SetUpdateStep(0.1);
    }

    void TearDown() override
    {
        FSOUND_Close();
        fmod3test::Reset();
        std::error_code ignored;
        fs::remove_all(mDir, ignored);
    }

    std::string Path(const char* name) const { return (mDir / name).string(); }

    void Init() { ASSERT_NE(FSOUND_Init(48000, 32, 0), 0); }

    FSOUND_SAMPLE* Load(unsigned int mode = FSOUND_HW2D)
    {
        return FSOUND_Sample_Load(FSOUND_FREE, Path("tone.wav").c_str(), mode, 0, 0);
    }

    void Updates(int n)
    {
        for (int i = 0; i < n; ++i)
            FSOUND_Update();
    }

    fs::path mDir;
};

TEST_F(Fmod3Test, StartUpReportsVersionAndRefusesFaultsAndSecondInit)
{
    EXPECT_FLOAT_EQ(FSOUND_GetVersion(), 3.73f);
    fmod3test::FailInit(true);
    EXPECT_EQ(FSOUND_Init(48000, 32, 0), 0);
    EXPECT_EQ(FSOUND_Init(48000, 0, 0), 0);
    Init();
    EXPECT_EQ(FSOUND_Init(48000, 32, 0), 0) << "already open";
    FSOUND_Close();
    // Everything answers its failure value once closed.
    EXPECT_EQ(Load(), nullptr);
    EXPECT_EQ(FSOUND_IsPlaying(0), 0);
}

TEST_F(Fmod3Test, SampleLoadsWholeAndFromAByteRangeOfALargerFile)
{
    Init();
    FSOUND_SAMPLE* whole = Load();
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(FSOUND_Sample_GetLength(whole), 24000u);
    int freq = 0, vol = 0;
    ASSERT_NE(FSOUND_Sample_GetDefaults(whole, &freq, &vol, nullptr, nullptr), 0);
    EXPECT_EQ(freq, 48000);
    EXPECT_EQ(vol, 255);

    // The WAV between 1000 bytes before and 500 after, as inside a pack archive.
    std::vector<char> wav = ReadBytes(Path("tone.wav"));
    std::vector<char> pack(1000, 'x');
    pack.insert(pack.end(), wav.begin(), wav.end());
    pack.insert(pack.end(), 500, 'y');
    WriteBytes(Path("pack.bin"), pack);
    const int size = static_cast<int>(wav.size());
    FSOUND_SAMPLE* ranged = FSOUND_Sample_Load(FSOUND_FREE, Path("pack.bin").c_str(), FSOUND_HW3D, 1000, size);
    ASSERT_NE(ranged, nullptr);
    EXPECT_EQ(FSOUND_Sample_GetLength(ranged), 24000u);

    struct Bad
    {
        const char* file;
        int offset, length;
    } bad[] = {
        {"pack.bin", 0, 0},             // the whole file is no sound
        {"pack.bin", 1000, size + 501}, // passes the end
        {"pack.bin", size + 1500, 1},   // starts past the end
        {"pack.bin", -1, 10},           // negative
        {"missing.wav", 0, 0},          // no file
    };
    for (const Bad& b : bad)
        EXPECT_EQ(FSOUND_Sample_Load(FSOUND_FREE, Path(b.file).c_str(), FSOUND_HW2D, b.offset, b.length), nullptr)
            << b.file << " " << b.offset << " " << b.length;
    fmod3test::FailOpens(true);
    EXPECT_EQ(Load(), nullptr);
    EXPECT_EQ(fmod3test::LiveSamples(), 2);
}

TEST_F(Fmod3Test, OggVorbisDecodes)
{
    ASSERT_TRUE(fmod3test::WriteTone(Path("tone.ogg"), ToneFormat::OggVorbis, 44100, 2, 0.25, 330.0));
    Init();
    FSOUND_SAMPLE* sample = FSOUND_Sample_Load(FSOUND_FREE, Path("tone.ogg").c_str(), FSOUND_HW2D, 0, 0);
    ASSERT_NE(sample, nullptr);
    EXPECT_NEAR(static_cast<double>(FSOUND_Sample_GetLength(sample)), 44100 * 0.25, 2.0);
}

TEST_F(Fmod3Test, AnOggStreamOfUntoldLengthIsMeasuredAndLoops)
{
    // Cut short by one byte, the last page is gone: the decoder cannot tell the length.
    ASSERT_TRUE(fmod3test::WriteTone(Path("whole.ogg"), ToneFormat::OggVorbis, 44100, 1, 4.0, 330.0));
    std::string bytes;
    {
        std::ifstream in(Path("whole.ogg"), std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    ASSERT_GT(bytes.size(), 1u);
    {
        std::ofstream out(Path("cut.ogg"), std::ios::binary);
        out.write(bytes.data(), std::streamsize(bytes.size() - 1));
    }
    Init();
    FSOUND_STREAM* stream = FSOUND_Stream_Open(Path("cut.ogg").c_str(), FSOUND_HW2D, 0, 0);
    ASSERT_NE(stream, nullptr);
    ASSERT_EQ(FSOUND_Stream_GetOpenState(stream), 0);
    const int ms = FSOUND_Stream_GetLengthMs(stream);
    EXPECT_GT(ms, 0);
    EXPECT_LE(ms, 4000) << "what decodes, never the untold count";
    ASSERT_NE(FSOUND_Stream_SetMode(stream, FSOUND_Stream_GetMode(stream) | FSOUND_LOOP_NORMAL), 0);
    const int channel = FSOUND_Stream_Play(FSOUND_FREE, stream);
    ASSERT_GE(channel, 0);
    Updates(45); // 4.5 s, past its length: the loop comes round
    EXPECT_NE(FSOUND_IsPlaying(channel), 0);
    EXPECT_NE(FSOUND_Stream_Close(stream), 0);
}

TEST_F(Fmod3Test, ThirtyTwoChannelsThenNoneAndAStoppedOneIsReused)
{
    Init();
    FSOUND_SAMPLE* sample = Load();
    ASSERT_NE(sample, nullptr);
    for (int i = 0; i < 32; ++i)
        EXPECT_EQ(FSOUND_PlaySound(FSOUND_FREE, sample), i);
    EXPECT_EQ(FSOUND_PlaySound(FSOUND_FREE, sample), -1);
    EXPECT_NE(FSOUND_StopSound(7), 0);
    EXPECT_NE(FSOUND_StopSound(3), 0);
    EXPECT_EQ(FSOUND_IsPlaying(7), 0);
    // Free channels are handed out in turn after the last one given (31): 3, then 7.
    EXPECT_EQ(FSOUND_PlaySound(FSOUND_FREE, sample), 3);
    EXPECT_EQ(FSOUND_PlaySound(FSOUND_FREE, sample), 7);
    EXPECT_EQ(FSOUND_PlaySound(FSOUND_FREE, sample), -1);
    EXPECT_NE(FSOUND_StopSound(2), 0);
    EXPECT_NE(FSOUND_StopSound(9), 0);
    EXPECT_EQ(FSOUND_PlaySound(FSOUND_FREE, sample), 9) << "the search goes on after 7";
    EXPECT_EQ(FSOUND_PlaySound(FSOUND_FREE, nullptr), -1);
    // Freeing the sample stops its channels.
    FSOUND_Sample_Free(sample);
    EXPECT_EQ(fmod3test::PlayingChannels(), 0);
    fmod3test::NoFreeChannel(true);
    EXPECT_EQ(FSOUND_PlaySound(FSOUND_FREE, Load()), -1);
}

TEST_F(Fmod3Test, ChannelsEndAfterTheirLengthOfUpdateTimeUnlessTheyLoop)
{
    Init();
    FSOUND_SAMPLE* sample = Load();
    int once = FSOUND_PlaySound(FSOUND_FREE, sample);
    EXPECT_EQ(FSOUND_GetLoopMode(once), FSOUND_LOOP_OFF);
    ASSERT_NE(FSOUND_Sample_SetMode(sample, FSOUND_LOOP_NORMAL), 0);
    int looped = FSOUND_PlaySound(FSOUND_FREE, sample);
    ASSERT_NE(FSOUND_Sample_SetMode(sample, FSOUND_LOOP_BIDI), 0);
    int pingPong = FSOUND_PlaySound(FSOUND_FREE, sample);
    EXPECT_EQ(FSOUND_GetLoopMode(looped), FSOUND_LOOP_NORMAL);
    EXPECT_EQ(FSOUND_GetLoopMode(pingPong), FSOUND_LOOP_BIDI);

    Updates(4); // 0.4 s of a 0.5 s sound
    EXPECT_NE(FSOUND_IsPlaying(once), 0);
    Updates(1);
    EXPECT_EQ(FSOUND_IsPlaying(once), 0);
    EXPECT_EQ(FSOUND_GetLoopMode(once), 0u);
    EXPECT_NE(FSOUND_IsPlaying(looped), 0);
    EXPECT_NE(FSOUND_IsPlaying(pingPong), 0);
    Updates(2); // 0.7 s: the plain loop starts over, the ping-pong runs back
    EXPECT_NEAR(fmod3test::ChannelPosition(looped), 0.2 * 48000, 1.0);
    EXPECT_NEAR(fmod3test::ChannelPosition(pingPong), 0.3 * 48000, 1.0);
    Updates(20);
    EXPECT_NE(FSOUND_IsPlaying(looped), 0);
}

TEST_F(Fmod3Test, VolumeIsClampedToAByte)
{
    Init();
    int channel = FSOUND_PlaySound(FSOUND_FREE, Load());
    EXPECT_EQ(FSOUND_GetVolume(channel), 255);
    const int cases[][2] = {{128, 128}, {300, 255}, {-5, 0}, {0, 0}};
    for (const auto& c : cases)
    {
        ASSERT_NE(FSOUND_SetVolume(channel, c[0]), 0);
        EXPECT_EQ(FSOUND_GetVolume(channel), c[1]) << c[0];
    }
    EXPECT_EQ(FSOUND_SetVolume(31, 10), 0) << "nothing plays there";
    EXPECT_EQ(FSOUND_GetVolume(31), 0);
}

TEST_F(Fmod3Test, StreamOpensAtTheNextUpdateThenPlaysStopsAndCloses)
{
    Init();
    const unsigned int mode = FSOUND_NONBLOCKING | FSOUND_HW2D;
    FSOUND_STREAM* stream = FSOUND_Stream_Open(Path("tone.wav").c_str(), mode, 0, 0);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(FSOUND_Stream_GetOpenState(stream), FSOUND_OPENSTATE_PENDING);
    EXPECT_EQ(FSOUND_Stream_GetLengthMs(stream), 0);
    EXPECT_EQ(FSOUND_Stream_Play(FSOUND_FREE, stream), -1) << "not open yet";
    Updates(1);
    ASSERT_EQ(FSOUND_Stream_GetOpenState(stream), 0);
    EXPECT_EQ(FSOUND_Stream_GetLengthMs(stream), 500);
    ASSERT_NE(FSOUND_Stream_SetMode(stream, FSOUND_Stream_GetMode(stream) | FSOUND_LOOP_NORMAL), 0);
    EXPECT_EQ(FSOUND_Stream_GetMode(stream) & FSOUND_LOOP_MASK, FSOUND_LOOP_NORMAL);

    int channel = FSOUND_Stream_Play(FSOUND_FREE, stream);
    ASSERT_EQ(channel, 0);
    Updates(12); // looping: still on after more than its length
    EXPECT_NE(FSOUND_IsPlaying(channel), 0);
    EXPECT_EQ(FSOUND_GetLoopMode(channel), FSOUND_LOOP_NORMAL);

    fmod3test::RefuseStreamStops(2);
    fmod3test::RefuseStreamCloses(1);
    EXPECT_EQ(FSOUND_Stream_Stop(stream), 0);
    EXPECT_EQ(FSOUND_Stream_Stop(stream), 0);
    EXPECT_NE(FSOUND_IsPlaying(channel), 0);
    EXPECT_NE(FSOUND_Stream_Stop(stream), 0);
    EXPECT_EQ(FSOUND_IsPlaying(channel), 0);
    EXPECT_EQ(FSOUND_Stream_Close(stream), 0);
    EXPECT_EQ(fmod3test::LiveStreams(), 1);
    EXPECT_NE(FSOUND_Stream_Close(stream), 0);
    EXPECT_EQ(fmod3test::LiveStreams(), 0);
}

TEST_F(Fmod3Test, StreamOpenCanBeHeldOrFailAndABlockingOpenIsImmediate)
{
    Init();
    const unsigned int mode = FSOUND_NONBLOCKING | FSOUND_HW2D;
    fmod3test::HoldStreamOpens(2);
    FSOUND_STREAM* held = FSOUND_Stream_Open(Path("tone.wav").c_str(), mode, 0, 0);
    fmod3test::HoldStreamOpens(0);
    FSOUND_STREAM* missing = FSOUND_Stream_Open(Path("missing.wav").c_str(), mode, 0, 0);
    fmod3test::FailOpens(true);
    FSOUND_STREAM* failed = FSOUND_Stream_Open(Path("tone.wav").c_str(), mode, 0, 0);
    fmod3test::FailOpens(false);
    Updates(1);
    EXPECT_EQ(FSOUND_Stream_GetOpenState(missing), FSOUND_OPENSTATE_FAILED);
    EXPECT_EQ(FSOUND_Stream_GetOpenState(failed), FSOUND_OPENSTATE_FAILED);
    EXPECT_EQ(FSOUND_Stream_GetOpenState(held), FSOUND_OPENSTATE_PENDING);
    Updates(1);
    EXPECT_EQ(FSOUND_Stream_GetOpenState(held), FSOUND_OPENSTATE_PENDING);
    Updates(1);
    EXPECT_EQ(FSOUND_Stream_GetOpenState(held), 0);

    FSOUND_STREAM* blocking = FSOUND_Stream_Open(Path("tone.wav").c_str(), FSOUND_HW2D, 0, 0);
    ASSERT_NE(blocking, nullptr);
    EXPECT_EQ(FSOUND_Stream_GetOpenState(blocking), 0);
    EXPECT_EQ(FSOUND_Stream_GetLengthMs(blocking), 500);
    EXPECT_EQ(FSOUND_Stream_Open(Path("missing.wav").c_str(), FSOUND_HW2D, 0, 0), nullptr);

    // A non-looping stream ends with its length.
    int channel = FSOUND_Stream_Play(FSOUND_FREE, blocking);
    ASSERT_GE(channel, 0);
    Updates(4);
    EXPECT_NE(FSOUND_IsPlaying(channel), 0);
    Updates(1);
    EXPECT_EQ(FSOUND_IsPlaying(channel), 0);
}

double Rms(const std::vector<float>& frames, int side)
{
    double sum = 0.0;
    size_t n = frames.size() / 2;
    for (size_t i = 0; i < n; ++i)
        sum += static_cast<double>(frames[i * 2 + side]) * frames[i * 2 + side];
    return n ? std::sqrt(sum / static_cast<double>(n)) : 0.0;
}

TEST_F(Fmod3Test, LoopbackRenderPansASourceToTheSideItIsOn)
{
    fmod3test::UseLoopback(true);
    Init();
    FSOUND_SAMPLE* sample = Load(FSOUND_HW3D);
    ASSERT_NE(sample, nullptr);
    ASSERT_NE(FSOUND_Sample_SetMinMaxDistance(sample, 1.0f, 1000.0f), 0);
    ASSERT_NE(FSOUND_Sample_SetMode(sample, FSOUND_LOOP_NORMAL), 0);
    // The listener at the origin looks along +z with +y up: +x is its right (left-handed).
    const float origin[3] = {0.0f, 0.0f, 0.0f};
    FSOUND_3D_Listener_SetAttributes(origin, origin, 0.0f, 0.0f, 1.0f, 0.0f, 1.0f, 0.0f);

    struct Case
    {
        float x;
        int louder;
    } cases[] = {{3.0f, 1}, {-3.0f, 0}};
    for (const Case& c : cases)
    {
        int channel = FSOUND_PlaySound(FSOUND_FREE, sample);
        const float pos[3] = {c.x, 0.0f, 0.0f};
        ASSERT_NE(FSOUND_3D_SetAttributes(channel, pos, nullptr), 0);
        fmod3test::TakeRendered();
        Updates(1);
        std::vector<float> frames = fmod3test::TakeRendered();
        ASSERT_EQ(frames.size(), 4800u * 2);
        double loud = Rms(frames, c.louder), quiet = Rms(frames, 1 - c.louder);
        EXPECT_GT(loud, 0.01) << c.x;
        EXPECT_GT(loud, 1.5 * quiet) << c.x;
        FSOUND_StopSound(channel);
    }
}

TEST_F(Fmod3Test, LoopbackRenderCarriesStreamsAnd2DSamplesToBothSides)
{
    ASSERT_TRUE(fmod3test::WriteTone(Path("music.wav"), ToneFormat::Wav16, 44100, 2, 0.25, 440.0));
    fmod3test::UseLoopback(true);
    Init();
    struct Case
    {
        unsigned int loop;
        int updates;
        bool sounding;
    } cases[] = {
        {FSOUND_LOOP_OFF, 2, true},    // 0.2 s of a 0.25 s stream
        {FSOUND_LOOP_OFF, 4, false},   // its end has passed: silence
        {FSOUND_LOOP_NORMAL, 6, true}, // fed again from its start
        {FSOUND_LOOP_BIDI, 6, true},   // and backwards
    };
    for (const Case& c : cases)
    {
        FSOUND_STREAM* stream = FSOUND_Stream_Open(Path("music.wav").c_str(), FSOUND_HW2D | c.loop, 0, 0);
        ASSERT_NE(stream, nullptr);
        ASSERT_GE(FSOUND_Stream_Play(FSOUND_FREE, stream), 0);
        Updates(c.updates - 1);
        fmod3test::TakeRendered();
        Updates(1);
        std::vector<float> frames = fmod3test::TakeRendered();
        for (int side = 0; side < 2; ++side)
            if (c.sounding)
                EXPECT_GT(Rms(frames, side), 0.1) << c.loop << " " << c.updates << " side " << side;
            else
                EXPECT_LT(Rms(frames, side), 0.001) << c.loop << " " << c.updates << " side " << side;
        ASSERT_NE(FSOUND_Stream_Close(stream), 0);
    }
    // A 2D sample is heard the same on both sides wherever the listener looks.
    const float origin[3] = {0.0f, 0.0f, 0.0f};
    FSOUND_3D_Listener_SetAttributes(origin, origin, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f);
    int channel = FSOUND_PlaySound(FSOUND_FREE, Load(FSOUND_HW2D));
    ASSERT_GE(channel, 0);
    fmod3test::TakeRendered();
    Updates(1);
    std::vector<float> frames = fmod3test::TakeRendered();
    EXPECT_GT(Rms(frames, 0), 0.05);
    EXPECT_NEAR(Rms(frames, 0), Rms(frames, 1), 0.01);
}

TEST_F(Fmod3Test, CallLogRecordsCallsWithObjectsAndResults)
{
    Init();
    fmod3test::EnableCallLog(true);
    FSOUND_SAMPLE* sample = Load();
    int channel = FSOUND_PlaySound(FSOUND_FREE, sample);
    const float pos[3] = {1.0f, 2.5f, -3.0f};
    FSOUND_3D_SetAttributes(channel, pos, nullptr);
    FSOUND_SetVolume(channel, 300);
    const std::string name = fmod3test::ObjectName(sample);
    ASSERT_EQ(fmod3test::CountCalls("FSOUND_Sample_Load"), 1u);
    EXPECT_EQ(fmod3test::CallLog()[0].result, name);
    EXPECT_EQ(fmod3test::CallArgs("FSOUND_PlaySound"), std::vector<std::string>{"-1, " + name});
    EXPECT_EQ(fmod3test::CallLog()[1].Text(), "FSOUND_PlaySound(-1, " + name + ") = 0");
    EXPECT_EQ(fmod3test::CallArgs("FSOUND_3D_SetAttributes"), std::vector<std::string>{"0, (1, 2.5, -3), null"});
    EXPECT_EQ(fmod3test::CallArgs("FSOUND_SetVolume"), std::vector<std::string>{"0, 300"});
    fmod3test::EnableCallLog(false);
    FSOUND_Update();
    EXPECT_EQ(fmod3test::CallLog().size(), 4u);
}

TEST_F(Fmod3Test, MutatedWavFilesAreRefusedOrPlayedSafely)
{
    ASSERT_TRUE(fmod3test::WriteTone(Path("short.wav"), ToneFormat::Wav16, 8000, 2, 0.05, 440.0));
    Init();
    const std::vector<char> good = ReadBytes(Path("short.wav"));
    ASSERT_GT(good.size(), 64u);
    const std::string path = Path("mutated.wav");
    auto exercise = [&](const std::vector<char>& bytes)
    {
        WriteBytes(path, bytes);
        if (FSOUND_SAMPLE* sample = FSOUND_Sample_Load(FSOUND_FREE, path.c_str(), FSOUND_HW2D, 0, 0))
        {
            FSOUND_Sample_SetMode(sample, FSOUND_LOOP_BIDI);
            FSOUND_PlaySound(FSOUND_FREE, sample);
            FSOUND_Sample_Free(sample);
        }
        if (FSOUND_STREAM* stream = FSOUND_Stream_Open(path.c_str(), FSOUND_HW2D, 0, 0))
        {
            FSOUND_Stream_SetMode(stream, FSOUND_LOOP_BIDI);
            FSOUND_Stream_Play(FSOUND_FREE, stream);
            FSOUND_Update();
            FSOUND_Stream_Close(stream);
        }
    };
    const unsigned char values[] = {0x00, 0xff, 0x7f, 0x80, 0x01};
    for (size_t at = 0; at < 64; ++at)
        for (unsigned char value : values)
        {
            std::vector<char> bytes = good;
            bytes[at] = static_cast<char>(value);
            exercise(bytes);
        }
    for (size_t length = 0; length < good.size(); length += length < 64 ? 1 : 97)
        exercise(std::vector<char>(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(length)));
    EXPECT_EQ(fmod3test::LiveSamples(), 0);
    EXPECT_EQ(fmod3test::LiveStreams(), 0);
    EXPECT_EQ(fmod3test::PlayingChannels(), 0);
}

} // namespace
