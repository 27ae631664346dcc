// The sound layer and its resources over our FMOD 3 layer on the null output: slots and the
// free-slot hint, the shared playing flag of a sample, fades on the real clock, streams worked
// frame by frame, stop-all, the listener at the viewing camera (read back from a loopback
// render), the sound node, and sounds loaded from loose files and from a pack inside a pack
// with their "SOUNDS" descriptions.
#include "tsfmod_fixture.h"

#include "fmod3.h"
#include "fmod3testhooks.h"
#include "frame.h"
#include "hbdatamanager.h"
#include "hbpack.h"
#include "hbresource.h"
#include "matrix.h"
#include "tsfmod.h"
#include "tsfmodsound.h"
#include "w3dcamera.h"
#include "wscene.h"

#include <cfloat>
#include <cmath>
#include <fstream>
#include <iterator>

namespace
{

using soundtest::SoundTest;

int FmodVolume(int32_t slot)
{
    TsFModChannel* channel = TsFModGetChannel(slot);
    return channel ? FSOUND_GetVolume(channel->mFmodChannel) : -1;
}

TEST_F(SoundTest, StartRefusesAnOldLibraryOrAFailedInitAndCloseDisables)
{
    TsFModClose();
    EXPECT_EQ(TsFModIsEnabled(), 0);
    EXPECT_EQ(TsFModStartSound("SD_HIT_S2DSB"), -1);
    EXPECT_EQ(TsFModStopChannel(0), 1) << "disabled";
    fmod3test::SetVersion(3.72f);
    EXPECT_EQ(TsFModStart(), 1);
    fmod3test::SetVersion(3.73f);
    fmod3test::FailInit(true);
    EXPECT_EQ(TsFModStart(), 2);
    EXPECT_EQ(TsFModIsEnabled(), 0);
    EXPECT_EQ(TsFModStart(), 0);
    EXPECT_GE(TsFModStartSound("SD_HIT_S2DSB"), 0);
}

TEST_F(SoundTest, SixtyFifthStartIsRefusedAndTheFreedSlotIsTakenNext)
{
    EXPECT_EQ(TsFModStartSound(""), -1);
    EXPECT_EQ(TsFModStartSound("SD_NOPE_S2DSB"), -1) << "no such resource";
    EXPECT_EQ(TsFModGetLiveCount(), 0);
    for (int32_t i = 0; i < 64; ++i)
        ASSERT_EQ(TsFModStartSound(i == 40 ? "SD_HIT_S2DSB" : "SD_LOOP_S2DSB"), i);
    EXPECT_EQ(TsFModStartSound("SD_LOOP_S2DSB"), -1);
    // Slots outside the table are refused as well as empty ones.
    EXPECT_EQ(TsFModStopChannel(64), 0);
    EXPECT_EQ(TsFModStopChannel(-1), 0);
    EXPECT_EQ(TsFModSetChannelFade(64, 1.0f, 0.5f, 1.0f), 0);
    EXPECT_EQ(TsFModGetChannel(64), nullptr);

    EXPECT_EQ(TsFModStopChannel(40), 1);
    Tick(0.0);
    EXPECT_EQ(TsFModGetLiveCount(), 63);
    EXPECT_EQ(TsFModGetFreeSlotHint(), 40);
    EXPECT_EQ(TsFModStartSound("SD_HIT_S2DSB"), 40);
}

TEST_F(SoundTest, ChannelsOfOneSampleAreReapedWhenTheFirstEnds)
{
    int32_t first = TsFModStartSound("SD_HIT_S2DSB"); // 0.3 s
    Tick(0.0);
    int32_t second = TsFModStartSound("SD_HIT_S2DSB");
    int32_t other = TsFModStartSound("SD_LOOP_S2DSB");
    Tick(0.0);
    EXPECT_EQ(TsFModGetLiveCount(), 3);
    int fmodSecond = TsFModGetChannel(second)->mFmodChannel;
    Tick(0.0); // the first has played 0.3 s: FMOD ends it after the channels' update
    EXPECT_EQ(TsFModGetLiveCount(), 3);
    Tick(0.0);
    EXPECT_EQ(TsFModGetChannel(first), nullptr);
    EXPECT_EQ(TsFModGetChannel(second), nullptr);
    EXPECT_EQ(FSOUND_IsPlaying(fmodSecond), 0) << "stopped when reaped";
    EXPECT_NE(TsFModGetChannel(other), nullptr);
    EXPECT_EQ(TsFModFindChannelBySoundName("SD_LOOP_S2DSB"), other);
    EXPECT_EQ(TsFModFindChannelBySoundName("SD_HIT_S2DSB"), -1);
}

TEST_F(SoundTest, FadesRunOnTheRealClock)
{
    // The game clock stands still throughout, as in the front end.
    int32_t slot = TsFModStartSound("SD_LOOP_S2DSB");
    ASSERT_EQ(FmodVolume(slot), 255);

    // Zero duration: the target at the first update.
    ASSERT_EQ(TsFModSetChannelFade(slot, 1.0f, 0.5f, 0.0f), 1);
    Tick(0.0);
    EXPECT_EQ(FmodVolume(slot), 127);

    // A fade set while another runs starts from the current volume (0.5, not 0): half-way
    // through a second it is at 0.75.
    TsFModSetChannelFade(slot, 0.0f, 1.0f, 1.0f);
    EXPECT_NEAR(TsFModGetChannel(slot)->mFadeStart, 0.5f, 0.01f);
    Tick(0.5);
    EXPECT_NEAR(FmodVolume(slot), 191, 1);
    Tick(0.6);
    EXPECT_EQ(FmodVolume(slot), 255);
    EXPECT_FALSE(TsFModGetChannel(slot)->mFadeActive);

    // A fade to 0 stops the sound when it completes; the channel goes at the next update.
    TsFModSetChannelFade(slot, 1.0f, 0.0f, 1.0f);
    Tick(0.25);
    EXPECT_NEAR(FmodVolume(slot), 191, 1);
    Tick(0.8);
    ASSERT_NE(TsFModGetChannel(slot), nullptr);
    EXPECT_EQ(FmodVolume(slot), 0);
    Tick(0.0);
    EXPECT_EQ(TsFModGetChannel(slot), nullptr);
}

TEST_F(SoundTest, VolumesAboveOneAreClampedNotWrapped)
{
    int32_t slot = TsFModStartSound("SD_LOOP_S2DSB");
    TsFModGetSoundSettings().soundVolume = 1.2f;
    EXPECT_EQ(TsFModReapplyVolumes(), 1);
    EXPECT_EQ(FmodVolume(slot), 255);
    TsFModGetSoundSettings().soundVolume = 0.5f;
    TsFModReapplyVolumes();
    EXPECT_EQ(FmodVolume(slot), 127);
    TsFModGetSoundSettings().soundVolume = 1.0f;
}

TEST_F(SoundTest, StreamOpensPlaysAndTakesFramesToStop)
{
    int32_t slot = TsFModStartSound("Z_MUSIC_STDSB");
    ASSERT_GE(slot, 0);
    TsFModChannel* channel = TsFModGetChannel(slot);
    EXPECT_EQ(channel->mFmodChannel, -1) << "a stream plays once its open is done";
    // Open (pending), open done, play, play popped.
    for (int i = 0; i < 3 && channel->mFmodChannel == -1; ++i)
        Tick(0.0);
    ASSERT_NE(channel->mFmodChannel, -1);
    EXPECT_NE(FSOUND_IsPlaying(channel->mFmodChannel), 0);
    EXPECT_EQ(TsFModStartSound("Z_MUSIC_STDSB"), -1) << "one play at a time";
    auto* stream = static_cast<TsFModStream*>(channel->mSound);
    EXPECT_NEAR(stream->GetLength(), 0.5f, 0.001f);

    fmod3test::RefuseStreamStops(1);
    EXPECT_EQ(TsFModStopChannel(slot), 1);
    int frames = 0;
    while (TsFModGetChannel(slot) && frames < 10)
    {
        Tick(0.0);
        ++frames;
    }
    // Refused stop, stop, close.
    EXPECT_EQ(frames, 3);
    EXPECT_EQ(fmod3test::LiveStreams(), 0);
}

TEST_F(SoundTest, StreamThatFailsToOpenClosesItselfAndIsReaped)
{
    fmod3test::FailOpens(true);
    int32_t slot = TsFModStartSound("Z_MUSIC_STDSB");
    ASSERT_GE(slot, 0);
    for (int i = 0; i < 4; ++i)
        Tick(0.0);
    EXPECT_EQ(TsFModGetChannel(slot), nullptr);
    EXPECT_EQ(fmod3test::LiveStreams(), 0);
}

TEST_F(SoundTest, StopAllEndsEvenWhenAStreamNeverCloses)
{
    struct Case
    {
        int refusedCloses;
    } cases[] = {{3}, {1 << 30}};
    for (const Case& c : cases)
    {
        int32_t stream = TsFModStartSound("Z_MUSIC_STDSB");
        TsFModStartSound("SD_LOOP_S2DSB");
        for (int i = 0; i < 4; ++i)
            Tick(0.0);
        ASSERT_NE(TsFModGetChannel(stream)->mFmodChannel, -1);
        fmod3test::RefuseStreamCloses(c.refusedCloses);
        EXPECT_EQ(TsFModStopAllChannels(), 1);
        EXPECT_EQ(TsFModGetLiveCount(), 0) << c.refusedCloses;
        fmod3test::RefuseStreamCloses(0);
    }
    // The stream let go by force was closed by its object, or at the library's close.
    TsFModClose();
    EXPECT_EQ(fmod3test::LiveStreams(), 0);
    EXPECT_EQ(fmod3test::LiveSamples(), 0);
}

TEST_F(SoundTest, ListenerFollowsTheViewingCamera)
{
    W3dCamera* camera = W3dCamera::Create();
    ASSERT_NE(camera, nullptr);
    camera->AddRef();
    const Vector axis = {0.0f, 1.0f, 0.0f};
    const Vector at = {10.0f, 20.0f, 30.0f};
    Frame::Rotate(camera->GetEngineFrame(), &axis, 90.0f, kCombineReplace);
    Frame::Translate(camera->GetEngineFrame(), &at, kCombinePostConcat);
    WRenderer::Instance()->SetCamera(camera);

    fmod3test::EnableCallLog(true);
    Tick(0.0);
    const Matrix* world = Frame::GetWorldMatrix(camera->GetEngineFrame());
    char expected[256];
    snprintf(expected, sizeof(expected), "(10, 20, 30), (0, 0, 0), %g, %g, %g, %g, %g, %g", -world->at.x, -world->at.y,
             -world->at.z, world->up.x, world->up.y, world->up.z);
    std::vector<std::string> args = fmod3test::CallArgs("FSOUND_3D_Listener_SetAttributes");
    ASSERT_EQ(args.size(), 1u);
    EXPECT_EQ(args[0], expected);
    EXPECT_EQ(fmod3test::CallLog().back().name, "FSOUND_Update") << "the listener is set first";

    // A camera that died leaves the listener where it was.
    WRenderer::Instance()->SetCamera(nullptr);
    camera->Release();
    fmod3test::ClearCallLog();
    Tick(0.0);
    EXPECT_EQ(fmod3test::CountCalls("FSOUND_3D_Listener_SetAttributes"), 0u);
}

double Rms(const std::vector<float>& frames, int side)
{
    double sum = 0.0;
    size_t n = frames.size() / 2;
    for (size_t i = 0; i < n; ++i)
        sum += static_cast<double>(frames[i * 2 + side]) * frames[i * 2 + side];
    return n ? std::sqrt(sum / static_cast<double>(n)) : 0.0;
}

TEST_F(SoundTest, ASoundOnTheScreensRightIsLouderOnTheRight)
{
    TsFModClose();
    fmod3test::UseLoopback(true);
    ASSERT_EQ(TsFModStart(), 0);
    W3dCamera* camera = W3dCamera::Create();
    camera->AddRef();
    const Vector axis = {0.0f, 1.0f, 0.0f};
    Frame::Rotate(camera->GetEngineFrame(), &axis, 30.0f, kCombineReplace);
    WRenderer::Instance()->SetCamera(camera);
    const Matrix* world = Frame::GetWorldMatrix(camera->GetEngineFrame());
    // The camera's right row points to the screen's left: the screen's right is -right.
    struct Case
    {
        float side;
        int louder;
    } cases[] = {{-1.0f, 1}, {1.0f, 0}};
    for (const Case& c : cases)
    {
        int32_t slot = TsFModStartSound("SD_HUM_S3DSB");
        ASSERT_GE(slot, 0);
        Vector place = {world->pos.x + world->right.x * 2000.0f * c.side + world->at.x * 500.0f,
                        world->pos.y + world->right.y * 2000.0f * c.side + world->at.y * 500.0f,
                        world->pos.z + world->right.z * 2000.0f * c.side + world->at.z * 500.0f};
        ASSERT_EQ(TsFModSetChannelPosition(slot, &place), 1);
        fmod3test::TakeRendered();
        Tick(0.0);
        std::vector<float> frames = fmod3test::TakeRendered();
        ASSERT_FALSE(frames.empty());
        EXPECT_GT(Rms(frames, c.louder), 0.005) << c.side;
        EXPECT_GT(Rms(frames, c.louder), 1.5 * Rms(frames, 1 - c.louder)) << c.side;
        TsFModStopChannel(slot);
        Tick(0.0);
    }
    WRenderer::Instance()->SetCamera(nullptr);
    camera->Release();
}

TEST_F(SoundTest, SoundNodeCarriesItsChannelAndLeavesWithIt)
{
    W3dFrame* holder = W3dFrame::Create();
    holder->AddRef();
    mScene->GetRoot()->AttachChild(holder);
    int32_t slot = TsFModStartSound("SD_HUM_S3DSB");
    HbHandlePtr node = TsFModAttachChannelToNode(holder, slot);
    ASSERT_TRUE(node.IsValid());
    EXPECT_EQ(TsFModAttachChannelToNode(nullptr, slot).GetHandle(), 0u);
    EXPECT_EQ(TsFModAttachChannelToNode(holder, 63).GetHandle(), 0u);
    EXPECT_EQ(holder->GetChildren().GetCount(), 1);
    EXPECT_EQ(TsFModGetChannel(slot)->GetNodeHandle().GetObject(), node.GetObject());

    const Vector at = {100.0f, -20.0f, 5.0f};
    holder->SetWorldPosition(&at);
    Frame::SyncDirtyList();
    fmod3test::EnableCallLog(true);
    mScene->Update();
    int fmodChannel = TsFModGetChannel(slot)->mFmodChannel;
    EXPECT_EQ(fmod3test::CallArgs("FSOUND_3D_SetAttributes"),
              std::vector<std::string>{std::to_string(fmodChannel) + ", (100, -20, 5), null"});

    TsFModStopChannel(slot);
    Tick(0.0);
    EXPECT_EQ(holder->GetChildren().GetCount(), 0);
    EXPECT_FALSE(node.IsValid()) << "the node dies with its channel";
    holder->Release();
}

// ---- Resources -------------------------------------------------------------------------------------

std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WritePack(const std::string& path, const std::vector<std::pair<std::string, std::string>>& entries)
{
    HbPackArchive archive;
    if (!archive.Open(path.c_str(), "w"))
        return false;
    for (const auto& [name, bytes] : entries)
        if (!archive.AddEntry(name, bytes.data(), bytes.size()))
            return false;
    archive.Close();
    return true;
}

TEST_F(SoundTest, SoundsLoadFromLooseFilesWithTheirDescriptions)
{
    Describe("SD_BOOM", {{"3D_MIN_DIST", 50.0f}}, {{"3D_MAX_DIST", 4000}}, {{"LOOP_MODE", "BIDI"}});
    Describe("SD_FLAT", {{"3D_MIN_DIST", 50.0f}}, {}, {{"LOOP_MODE", "NORMAL"}});
    Describe("Z_THEME", {}, {}, {{"VOLUME_MODE", "MUSIC"}});
    Describe("NOUNDERSCORE", {}, {}, {{"VOLUME_MODE", "SOUND"}});
    Declare("SD_BOOM_S3DSB", "hum.wav");
    Declare("SD_FLAT_S2DSB", "hit.wav");
    Declare("Z_THEME_STDSB", "music.wav");

    fmod3test::EnableCallLog(true);
    ASSERT_GE(TsFModStartSound("SD_BOOM_S3DSB"), 0);
    ASSERT_GE(TsFModStartSound("SD_FLAT_S2DSB"), 0);
    std::vector<std::string> loads = fmod3test::CallArgs("FSOUND_Sample_Load");
    ASSERT_EQ(loads.size(), 2u);
    EXPECT_EQ(loads[0], "-1, \"" + mDirectory + "/hum.wav\", 0x1000, 0, 0");
    EXPECT_EQ(loads[1], "-1, \"" + mDirectory + "/hit.wav\", 0x80000, 0, 0");
    // 3D: the defaults, then the description's; 2D: always 0.1 and 0.1.
    std::vector<std::string> distances = fmod3test::CallArgs("FSOUND_Sample_SetMinMaxDistance");
    ASSERT_EQ(distances.size(), 3u);
    EXPECT_NE(distances[0].find(", 1500, 3.40282e+38"), std::string::npos) << distances[0];
    EXPECT_NE(distances[1].find(", 50, 4000"), std::string::npos) << distances[1];
    EXPECT_NE(distances[2].find(", 0.1, 0.1"), std::string::npos) << distances[2];
    std::vector<std::string> modes = fmod3test::CallArgs("FSOUND_Sample_SetMode");
    ASSERT_EQ(modes.size(), 4u);
    EXPECT_NE(modes[0].find(", 0x1"), std::string::npos);
    EXPECT_NE(modes[1].find(", 0x4"), std::string::npos);
    EXPECT_NE(modes[3].find(", 0x2"), std::string::npos);

    int32_t music = TsFModStartSound("Z_THEME_STDSB");
    auto* stream = static_cast<TsFModStream*>(TsFModGetChannel(music)->mSound);
    EXPECT_EQ(stream->mVolumeMode, 2);
    EXPECT_EQ(stream->mLoopMode, 1u);
    EXPECT_EQ(stream->mPath, mDirectory + "/music.wav");

    TsFModSoundDescription whole;
    EXPECT_EQ(TsFModReadSoundDescription("NOUNDERSCORE", whole), 1);
    EXPECT_EQ(whole.volumeMode, 1);
    TsFModSoundDescription none;
    EXPECT_EQ(TsFModReadSoundDescription("SD_UNDESCRIBED_S2DSB", none), 0);
}

TEST_F(SoundTest, SoundsLoadInPlaceFromAPackInsideAPack)
{
    std::string hum = ReadBytes(mDirectory + "/hum.wav");
    std::string hit = ReadBytes(mDirectory + "/hit.wav");
    std::string musicBytes = ReadBytes(mDirectory + "/music.wav");
    ASSERT_TRUE(WritePack(
        mDirectory + "/inner.pak",
        {{"pad", "0123456789"}, {"sound\\hum.wav", hum}, {"sound\\hit.wav", hit}, {"sound\\music.wav", musicBytes}}));
    ASSERT_TRUE(
        WritePack(mDirectory + "/outer.pak", {{"x", "prefix"}, {"inner.pak", ReadBytes(mDirectory + "/inner.pak")}}));
    MountPacks({mDirectory + "/outer.pak", "inner.pak"});
    DeclareEntry("SD_PHUM_S3DSB", "sound\\hum.wav");
    DeclareEntry("SD_PHIT_S2DSB", "sound\\hit.wav");
    DeclareEntry("Z_PMUSIC_STDSB", "sound\\music.wav");

    fmod3test::EnableCallLog(true);
    ASSERT_GE(TsFModStartSound("SD_PHUM_S3DSB"), 0);
    ASSERT_GE(TsFModStartSound("SD_PHIT_S2DSB"), 0);
    int32_t music = TsFModStartSound("Z_PMUSIC_STDSB");
    ASSERT_GE(music, 0);
    for (int i = 0; i < 4; ++i)
        Tick(0.0);
    EXPECT_NE(TsFModGetChannel(music)->mFmodChannel, -1) << "the packed stream plays";

    HbFile* entry = HbFileOpen("sound\\hit.wav", "rb");
    ASSERT_NE(entry, nullptr);
    int64_t start = 0, end = 0;
    ASSERT_EQ(HbPackEntryAbsoluteRange(entry, &start, &end), 1);
    HbFileClose(entry);
    std::vector<std::string> loads = fmod3test::CallArgs("FSOUND_Sample_Load");
    ASSERT_EQ(loads.size(), 2u);
    EXPECT_EQ(loads[1], "-1, \"" + mDirectory + "/outer.pak\", 0x80000, " + std::to_string(start) + ", " +
                            std::to_string(end - start));
    EXPECT_EQ(end - start, static_cast<int64_t>(hit.size()));
    std::vector<std::string> opens = fmod3test::CallArgs("FSOUND_Stream_Open");
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].rfind("\"" + mDirectory + "/outer.pak\", 0x1080000, ", 0), 0u) << opens[0];
}

TEST_F(SoundTest, LoadsFailWhileTheLayerIsDisabled)
{
    TsFModClose();
    HbResourceManager* manager = HbResourceManager::Instance();
    for (const char* id : {"SD_HIT_S2DSB", "SD_HUM_S3DSB", "Z_MUSIC_STDSB"})
        EXPECT_EQ(manager->GetResource(id), nullptr) << id;
}

} // namespace
