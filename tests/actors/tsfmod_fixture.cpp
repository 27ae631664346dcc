// The sound tests' fixture.
#include "tsfmod_fixture.h"

#include "fmod3testhooks.h"
#include "hbclock.h"
#include "hbdatamanager.h"
#include "hbpack.h"
#include "hbresource.h"
#include "tsfmod.h"

namespace soundtest
{

void SoundTest::SetUp()
{
    ScriptWorldTest::SetUp();
    fmod3test::Reset();
    fmod3test::SetUpdateStep(0.1);
    using fmod3test::ToneFormat;
    ASSERT_TRUE(fmod3test::WriteTone(mDirectory + "/hit.wav", ToneFormat::Wav16, 22050, 1, 0.3, 660.0));
    ASSERT_TRUE(fmod3test::WriteTone(mDirectory + "/loop.wav", ToneFormat::Wav16, 22050, 1, 0.3, 550.0));
    ASSERT_TRUE(fmod3test::WriteTone(mDirectory + "/hum.wav", ToneFormat::Wav16, 48000, 1, 1.0, 220.0));
    ASSERT_TRUE(fmod3test::WriteTone(mDirectory + "/music.wav", ToneFormat::Wav16, 44100, 2, 0.5, 440.0));
    ASSERT_EQ(HbDataManager::Create(), 1);
    Describe("SD_LOOP", {}, {}, {{"LOOP_MODE", "NORMAL"}});
    Describe("SD_HUM", {{"3D_MIN_DIST", 100.0f}, {"3D_MAX_DIST", 100000.0f}}, {}, {{"LOOP_MODE", "NORMAL"}});
    Declare("SD_HIT_S2DSB", "hit.wav");
    Declare("SD_LOOP_S2DSB", "loop.wav");
    Declare("SD_HUM_S3DSB", "hum.wav");
    Declare("Z_MUSIC_STDSB", "music.wav");
    HbRealClock::Instance()->mCurrentTime = 1000000;
    ASSERT_EQ(TsFModStart(), 0);
}

void SoundTest::TearDown()
{
    TsFModClose();
    HbResourceManager* manager = HbResourceManager::Instance();
    for (const std::string& id : mDeclared)
        while (manager->GetPathCount(id.c_str()) > 0)
            manager->RemovePath(id.c_str());
    mDeclared.clear();
    HbPackSet* set = HbPackSet::Instance();
    while (set->GetMountedCount() > 0)
        set->Unmount(nullptr);
    set->SetEnabled(0);
    set->SetDiskFallback(0);
    HbDataManager::Destroy();
    fmod3test::Reset();
    TsFModGetSoundSettings() = TsFModSoundSettings();
    ScriptWorldTest::TearDown();
}

void SoundTest::Tick(double seconds)
{
    HbRealClock::Instance()->mCurrentTime +=
        static_cast<int64_t>(seconds * static_cast<double>(HbPerformanceFrequency()));
    TsFModUpdate();
}

void SoundTest::Declare(const char* identifier, const char* file)
{
    DeclareEntry(identifier, (mDirectory + "/" + file).c_str());
}

void SoundTest::DeclareEntry(const char* identifier, const char* entry)
{
    HbResourceManager::Instance()->AddPath(identifier, entry);
    mDeclared.push_back(identifier);
}

void SoundTest::Describe(const char* name, std::vector<std::pair<const char*, float>> reals,
                         std::vector<std::pair<const char*, int>> integers,
                         std::vector<std::pair<const char*, const char*>> strings)
{
    TDataManagerContainer* root = HbDataManager::Root();
    TDataManagerContainer* sounds = root->FindContainer("SOUNDS");
    if (!sounds)
    {
        sounds = new TDataManagerContainer("SOUNDS");
        root->AttachChild(sounds);
    }
    auto* child = new TDataManagerContainer(name);
    for (const auto& [key, value] : reals)
        child->SetReal(key, value);
    for (const auto& [key, value] : integers)
        child->SetInteger(key, value);
    for (const auto& [key, value] : strings)
        child->SetString(key, value);
    sounds->AttachChild(child);
}

void SoundTest::MountPacks(const std::vector<std::string>& names)
{
    HbPackSet* set = HbPackSet::Instance();
    set->SetEnabled(1);
    set->SetDiskFallback(1);
    for (const std::string& name : names)
        ASSERT_EQ(set->Mount(name.c_str()), 1) << name;
}

} // namespace soundtest
