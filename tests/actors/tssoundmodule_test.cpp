// The script module "sound" as the script world builds it: PlaySound with a vertex and with
// None, GetSoundLength and its errors, SetSoundFade, and actors whose queued events make their
// scripts play 3D sounds where the actors stand.
#include "tsfmod_fixture.h"

#include "fmod3.h"
#include "fmod3testhooks.h"
#include "hbresource.h"
#include "scripteventid.h"
#include "tsactorlayer.h"
#include "tsfmod.h"
#include "tssendevent.h"
#include "tssoundmodule.h"

#include <fstream>

namespace scriptworldtest
{
namespace
{

class SoundModule : public soundtest::SoundTest
{
protected:
    void SetUp() override
    {
        SoundTest::SetUp();
        TsActorsInstall(mWorld);
        mWorld->StartScripting();
        ASSERT_EQ(Exec("import sound"), "");
    }

    void TearDown() override
    {
        mWorld->Hooks().fillSoundModule = nullptr;
        mWorld->Hooks().fillActorToolsModule = nullptr;
        SoundTest::TearDown();
    }
};

TEST_F(SoundModule, TheWorldFillsTheModuleAndStopsChannelsThroughTheActorLayer)
{
    EXPECT_EQ(Eval("[k for k in vars(sound) if not k.startswith('__')]"),
              "['PlaySound', 'GetSoundLength', 'SetSoundFade']");
    ASSERT_NE(mWorld->Hooks().stopAllSoundChannels, nullptr);
    TsFModStartSound("SD_LOOP_S2DSB");
    mWorld->Hooks().stopAllSoundChannels();
    EXPECT_EQ(TsFModGetLiveCount(), 0);
    EXPECT_EQ(TsSoundModuleInit(nullptr), 1) << "no dictionary";
}

TEST_F(SoundModule, PlaySoundPlacesTheSoundAtAVertexOnly)
{
    fmod3test::EnableCallLog(true);
    EXPECT_EQ(Eval("sound.PlaySound('SD_HUM_S3DSB', vertex(1, 2.5, -3))"), "None");
    EXPECT_EQ(Eval("sound.PlaySound('SD_HIT_S2DSB', None)"), "None");
    EXPECT_EQ(Eval("sound.PlaySound('SD_HIT_S2DSB', (4, 5, 6))"), "None") << "not a vertex: no position";
    EXPECT_EQ(Eval("sound.PlaySound('SD_NOPE_S2DSB', None)"), "None");
    EXPECT_EQ(TsFModGetLiveCount(), 3);
    std::vector<std::string> placed = fmod3test::CallArgs("FSOUND_3D_SetAttributes");
    ASSERT_EQ(placed.size(), 1u);
    EXPECT_EQ(placed[0], std::to_string(TsFModGetChannel(0)->mFmodChannel) + ", (1, 2.5, -3), null");

    EXPECT_NE(Exec("sound.PlaySound('SD_HIT_S2DSB')").find("TypeError"), std::string::npos);
}

TEST_F(SoundModule, GetSoundLengthMeasuresSamplesAndUnplayedStreams)
{
    struct Case
    {
        const char* expression;
        const char* result;
    } cases[] = {
        {"round(sound.GetSoundLength('SD_HIT_S2DSB'), 3)", "0.3"},
        {"round(sound.GetSoundLength('SD_HUM_S3DSB'), 3)", "1.0"},
        {"round(sound.GetSoundLength('Z_MUSIC_STDSB'), 3)", "0.5"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Eval(c.expression), c.result) << c.expression;
    // Held for the call only.
    EXPECT_EQ(HbResourceManager::Instance()->FindRecord("Z_MUSIC_STDSB")->object.IsValid(), 0);
    EXPECT_EQ(fmod3test::LiveStreams(), 0);

    std::ofstream(mDirectory + "/noise.bin") << "not a sound at all";
    Declare("Z_NOISE_STDSB", "noise.bin");
    std::string missing = Exec("sound.GetSoundLength('SD_NOPE_S2DSB')");
    EXPECT_NE(missing.find("Unable to get resource sound buffer ( Ressource may be undefined ! )"), std::string::npos)
        << missing;
    std::string unreadable = Exec("sound.GetSoundLength('Z_NOISE_STDSB')");
    EXPECT_NE(unreadable.find("Unable to get sound buffer length for resource"), std::string::npos) << unreadable;
}

TEST_F(SoundModule, SetSoundFadeFadesOrStopsTheFirstChannelOfThatSound)
{
    int32_t slot = TsFModStartSound("SD_LOOP_S2DSB");
    ASSERT_EQ(Exec("sound.SetSoundFade('SD_LOOP_S2DSB', 1.0, 0.5, 0.0)"), "");
    Tick(0.0);
    EXPECT_EQ(FSOUND_GetVolume(TsFModGetChannel(slot)->mFmodChannel), 127);
    ASSERT_EQ(Exec("sound.SetSoundFade('SD_NOPE_S2DSB', 1.0, 0.0, 1.0)"), "");
    ASSERT_EQ(Exec("sound.SetSoundFade('SD_LOOP_S2DSB', 1.0, 0.0, 5.0)"), "");
    Tick(0.0);
    EXPECT_EQ(TsFModGetChannel(slot), nullptr) << "a target of 0 stops at once";
    EXPECT_NE(Exec("sound.SetSoundFade('SD_LOOP_S2DSB', 1.0)").find("TypeError"), std::string::npos);
}

TEST_F(SoundModule, QueuedEventsMakeScriptsPlaySoundsWhereTheirActorsStand)
{
    FakeActor* guard = Listed("guard", {100.0f, 0.0f, 50.0f});
    FakeActor* sentry = Listed("sentry", {-40.0f, 10.0f, 0.0f});
    ASSERT_EQ(Exec("where = {'guard': vertex(100, 0, 50), 'sentry': vertex(-40, 10, 0)}\n"
                   "def shout(name):\n"
                   "    def f(*args):\n"
                   "        sound.PlaySound('SD_HUM_S3DSB', where[name])\n"
                   "    return f\n"),
              "");
    Register(guard, kEventHit, "shout('guard')", 0.0f);
    Register(sentry, kEventHit, "shout('sentry')", 0.0f);
    for (FakeActor* target : {guard, sentry})
    {
        TsSendEvent event;
        event.id = kEventHit;
        event.sender = target == guard ? sentry : guard;
        event.target = target;
        event.value = 1.0f;
        mWorld->QueueEvent(event);
    }
    fmod3test::EnableCallLog(true);
    Frame(0.02f);
    EXPECT_EQ(TsFModGetLiveCount(), 2) << LogText();
    std::vector<std::string> placed = fmod3test::CallArgs("FSOUND_3D_SetAttributes");
    ASSERT_EQ(placed.size(), 2u);
    std::vector<std::string> positions;
    for (const std::string& args : placed)
        positions.push_back(args.substr(args.find('(')));
    std::sort(positions.begin(), positions.end());
    EXPECT_EQ(positions, (std::vector<std::string>{"(-40, 10, 0), null", "(100, 0, 50), null"}));
}

} // namespace
} // namespace scriptworldtest
