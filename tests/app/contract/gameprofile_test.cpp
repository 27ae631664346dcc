// The player profile and its preferences: defaults, the mission table and its stream order,
// stage requests, gprefs.dat written and read byte for byte, damaged files refused, and what
// Apply hands on.
#include "gameprefs.h"
#include "gameprofile.h"
#include "gameservices.h"
#include "hbfile.h"
#include "hbsavefile.h"
#include "hbuserfolder.h"
#include "shoothelper.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{
// A working directory of the test's own.
class GamePrefsFile : public ::testing::Test
{
protected:
    void SetUp() override
    {
        mOld = std::filesystem::current_path();
        mDirectory =
            std::filesystem::temp_directory_path() / ("gameprefs_test_" + std::to_string(getpid()) + "_" +
                                                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(mDirectory);
        std::filesystem::current_path(mDirectory);
        GameServicesTable() = GameServicesLeast();
    }
    void TearDown() override
    {
        GameServicesTable() = GameServicesLeast();
        std::filesystem::current_path(mOld);
        std::filesystem::remove_all(mDirectory);
    }
    static std::vector<uint8_t> ReadBytes()
    {
        std::ifstream in("gprefs.dat", std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
    }
    static void WriteBytes(const std::vector<uint8_t>& bytes)
    {
        std::ofstream out("gprefs.dat", std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    std::filesystem::path mOld;
    std::filesystem::path mDirectory;
};

GamePrefs SamplePrefs()
{
    GamePrefs prefs;
    prefs.padVibration = 0;
    prefs.invertY = 1;
    prefs.invertX = 1;
    prefs.mouseSensitivity = 0.5f;
    prefs.musicVolume = 0.25f;
    prefs.soundVolume = 0.75f;
    prefs.shootHelper = 1;
    prefs.reserved = 77;
    return prefs;
}

TEST(GameProfile, FreshProfileHasTheDefaults)
{
    GameProfile profile;
    EXPECT_EQ(profile.missionTable.words[MissionTable::kDifficulty], 1);
    EXPECT_EQ(profile.profileName, "No Profile");
    EXPECT_EQ(profile.startMark, "MK_HERO_START01");
    EXPECT_EQ(profile.heroGroup, "HERO");
    EXPECT_TRUE(profile.IsMainHero());
    EXPECT_EQ(profile.saveLoadSlot, -1);
    EXPECT_EQ(profile.followCamera, -1);
    EXPECT_EQ(profile.prefs.padVibration, 1);
    EXPECT_EQ(profile.prefs.mouseSensitivity, 1.0f);
    EXPECT_EQ(GetShootHelper(), 0);
    profile.SelectBonusHero();
    EXPECT_FALSE(profile.IsMainHero());
}

TEST(GameProfile, SetMissionResultFillsTheTableOnceAndRefusesBadIndexes)
{
    GameProfile profile;
    profile.missionTable.words[MissionTable::kDifficulty] = 2;
    for (int32_t index : {7, 8, -1, -100})
        EXPECT_EQ(profile.SetMissionResult(index, 5), 0) << index;
    for (int32_t word = 0; word < MissionTable::kWords; ++word)
    {
        if (word != MissionTable::kDifficulty)
        {
            EXPECT_EQ(profile.missionTable.words[word], 0) << word;
        }
    }

    EXPECT_EQ(profile.SetMissionResult(3, 5), 1);
    EXPECT_EQ(profile.missionTable.words[3], 5);
    EXPECT_EQ(profile.campaignComplete, 0);
    for (int32_t index : {0, 1, 2, 4, 5})
        profile.SetMissionResult(index, 1);
    EXPECT_EQ(profile.campaignComplete, 0);
    EXPECT_EQ(profile.missionTable.words[MissionTable::kCompletedDifficulty], 0);

    EXPECT_EQ(profile.SetMissionResult(6, 9), 1);
    EXPECT_EQ(profile.campaignComplete, 1);
    EXPECT_EQ(profile.missionTable.words[MissionTable::kCompletedDifficulty], 2);

    EXPECT_EQ(profile.SetMissionResult(3, 4), 1);
    EXPECT_EQ(profile.missionTable.words[3], 5) << "a full table stores no more";
    EXPECT_EQ(profile.campaignComplete, 0);
}

TEST(GameProfile, MissionTableStreamsResultsAndSecondValuesInterleaved)
{
    MissionTable table;
    for (int32_t word = 0; word < MissionTable::kWords; ++word)
        table.words[word] = 100 + word;
    HbSaveFile save;
    ASSERT_EQ(table.Write(&save), 1);
    save.EndAccess();
    ASSERT_EQ(save.BeginRead(), 1);
    const int32_t order[] = {0, 7, 1, 8, 2, 9, 3, 10, 4, 11, 5, 12, 6, 13, 14, 15, 16};
    for (int32_t expected : order)
    {
        int32_t value = 0;
        ASSERT_EQ(save.ReadInt32(value), 1);
        EXPECT_EQ(value, 100 + expected);
    }
    save.EndAccess();
    ASSERT_EQ(save.BeginRead(), 1);
    MissionTable back;
    ASSERT_EQ(back.Read(&save), 1);
    EXPECT_EQ(std::memcmp(back.words, table.words, sizeof(table.words)), 0);

    back.Reset();
    back.SetSecondValue(6, 3);
    back.SetSecondValue(7, 4);
    back.SetSecondValue(-1, 4);
    EXPECT_EQ(back.words[13], 3);
    EXPECT_EQ(back.words[14], 0);
    EXPECT_EQ(back.words[15], 1);
    EXPECT_EQ(back.Read(nullptr), 0);
}

TEST(GameProfile, RequestStageKeepsTheSectorForAnEmptyIdAndHonoursNewMissions)
{
    GameProfile profile;
    profile.RequestStage("W1L1S01", "MK_HERO_START03");
    EXPECT_EQ(profile.sectorId, "W1L1S01");
    EXPECT_EQ(profile.startMark, "MK_HERO_START03");
    EXPECT_EQ(profile.stageRequest, 1);

    profile.stageRequest = 0;
    profile.RequestStage("", "");
    EXPECT_EQ(profile.sectorId, "W1L1S01");
    EXPECT_EQ(profile.startMark, "MK_HERO_START03");
    EXPECT_EQ(profile.stageRequest, 1);

    profile.newMission = 1;
    profile.RequestStage("W2L1S01", "MK_HERO_START05");
    EXPECT_EQ(profile.sectorId, "W2L1S01");
    EXPECT_EQ(profile.startMark, "MK_HERO_START01");
}

TEST_F(GamePrefsFile, SaveWritesTwentyEightLittleEndianBytesThatLoadReadsBack)
{
    const GamePrefs prefs = SamplePrefs();
    prefs.Save();
    const std::vector<uint8_t> expected = {0,    0,    0, 0, 1,    0,    0, 0, 1,    0,    0, 0, 0, 0,
                                           0x00, 0x3F, 0, 0, 0x80, 0x3E, 0, 0, 0x40, 0x3F, 1, 0, 0, 0};
    EXPECT_EQ(ReadBytes(), expected);

    GamePrefs back;
    ASSERT_EQ(back.Load(), 1);
    uint8_t a[GamePrefs::kFileSize], b[GamePrefs::kFileSize];
    prefs.Encode(a);
    back.Encode(b);
    EXPECT_EQ(std::memcmp(a, b, sizeof(a)), 0);
    EXPECT_EQ(back.reserved, 0) << "the eighth word is never stored";
}

size_t gWriteAllowance = 0;
size_t LimitWrites(HbFile*, size_t bytes)
{
    return std::min(bytes, gWriteAllowance);
}

TEST_F(GamePrefsFile, SaveReplacesThePlayersFileWholeOrNotAtAllAndSaysOnceWhenItCannot)
{
    HbUserFolderSet((mDirectory / "player").string());
    GamePrefs prefs = SamplePrefs();
    prefs.Save();
    const std::filesystem::path file = mDirectory / "player" / "gprefs.dat";
    ASSERT_TRUE(std::filesystem::exists(file)) << "the folder is made on the first write";
    EXPECT_FALSE(std::filesystem::exists("gprefs.dat")) << "nothing in the working directory";
    GamePrefs back;
    ASSERT_EQ(back.Load(), 1);
    EXPECT_EQ(back.musicVolume, 0.25f);

    // A write cut short after 10 bytes (a full disk) keeps the whole previous file.
    HbUserFolderResetReport();
    testing::internal::CaptureStderr();
    gWriteAllowance = 10;
    HbFileWriteLimitHook = LimitWrites;
    prefs.musicVolume = 0.5f;
    prefs.Save();
    prefs.Save();
    HbFileWriteLimitHook = nullptr;
    const std::string said = testing::internal::GetCapturedStderr();
    ASSERT_EQ(back.Load(), 1);
    EXPECT_EQ(back.musicVolume, 0.25f);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(mDirectory / "player"), {}), 1);
    // Said once, with the folder.
    EXPECT_NE(said.find("settings cannot be saved"), std::string::npos) << said;
    EXPECT_NE(said.find((mDirectory / "player").string()), std::string::npos) << said;
    EXPECT_EQ(said.find("settings", said.find("settings") + 1), std::string::npos) << said;

    HbUserFolderResetReport();
    HbUserFolderSet(std::string());
}

TEST_F(GamePrefsFile, DamagedFilesAreRefusedAndTheDefaultsStay)
{
    GamePrefs good = SamplePrefs();
    uint8_t bytes[GamePrefs::kFileSize];
    good.Encode(bytes);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    uint32_t nanBits, infBits;
    std::memcpy(&nanBits, &nan, 4);
    std::memcpy(&infBits, &inf, 4);

    std::vector<std::vector<uint8_t>> files;
    files.emplace_back();                               // empty
    files.emplace_back(bytes, bytes + 27);              // short
    files.emplace_back(bytes, bytes + 28).push_back(0); // long
    // Values outside their ranges, as 28 random bytes give them: not a number, infinite, a
    // volume of 2e35, a negative or huge mouse speed, switches that are neither 0 nor 1.
    const float huge = 2e35f, negative = -0.5f, fast = 11.0f;
    uint32_t hugeBits, negativeBits, fastBits;
    std::memcpy(&hugeBits, &huge, 4);
    std::memcpy(&negativeBits, &negative, 4);
    std::memcpy(&fastBits, &fast, 4);
    const std::pair<int, uint32_t> wrong[] = {
        {12, nanBits}, {16, nanBits}, {20, nanBits},   {12, infBits}, {16, infBits},        {20, infBits},
        {16, hugeBits}, {20, hugeBits}, {12, negativeBits}, {12, fastBits}, {16, negativeBits}, {0, 2u},
        {4, 0xFFFFFFFFu}, {8, 7u},      {24, 0x100u},
    };
    for (const auto& [offset, bits] : wrong)
    {
        std::vector<uint8_t> file(bytes, bytes + 28);
        std::memcpy(file.data() + offset, &bits, 4);
        files.push_back(file);
    }
    testing::internal::CaptureStderr();
    for (const auto& file : files)
    {
        WriteBytes(file);
        GamePrefs prefs;
        EXPECT_EQ(prefs.Load(), 0) << file.size();
        EXPECT_EQ(prefs.padVibration, 1);
        EXPECT_EQ(prefs.mouseSensitivity, 1.0f);
        EXPECT_EQ(prefs.musicVolume, 1.0f);
    }
    EXPECT_NE(testing::internal::GetCapturedStderr().find("gprefs.dat"), std::string::npos);

    std::filesystem::remove("gprefs.dat");
    GamePrefs none;
    EXPECT_EQ(none.Load(), 0);
}

TEST_F(GamePrefsFile, MutatedFilesAreReadSafely)
{
    uint8_t bytes[GamePrefs::kFileSize];
    SamplePrefs().Encode(bytes);
    std::mt19937 random(65);
    for (int round = 0; round < 300; ++round)
    {
        std::vector<uint8_t> file(bytes, bytes + GamePrefs::kFileSize);
        const int flips = 1 + static_cast<int>(random() % 6);
        for (int i = 0; i < flips; ++i)
            file[random() % file.size()] ^= static_cast<uint8_t>(1u << (random() % 8));
        if (round % 10 == 0)
            file.resize(random() % 40);
        WriteBytes(file);
        GamePrefs prefs;
        if (prefs.Load())
        {
            EXPECT_TRUE(prefs.InRange());
            EXPECT_EQ(file.size(), 28u);
        }
    }
}

TEST_F(GamePrefsFile, ApplyClampsWhatItHandsOnAndKeepsTheStoredValues)
{
    static float sMusic, sSound;
    static int sVideoPrefs;
    sMusic = sSound = -5.0f;
    sVideoPrefs = 0;
    GameServicesTable().soundApplyVolumes = [](float music, float sound)
    {
        sMusic = music;
        sSound = sound;
    };
    GameServicesTable().rendererSaveVideoPrefs = [] { ++sVideoPrefs; };
    GamePrefs prefs;
    prefs.musicVolume = 1.7f;
    prefs.soundVolume = -1.0f;
    prefs.mouseSensitivity = -0.5f;
    prefs.shootHelper = 1;
    EXPECT_EQ(prefs.Apply(), 1);
    EXPECT_EQ(sMusic, 1.0f);
    EXPECT_EQ(sSound, 0.0f);
    EXPECT_EQ(sVideoPrefs, 1);
    EXPECT_EQ(GetShootHelper(), 1);
    EXPECT_EQ(GetCameraShootHelper(), 1);
    EXPECT_EQ(prefs.musicVolume, 1.7f);
    EXPECT_EQ(prefs.soundVolume, -1.0f);
    EXPECT_EQ(prefs.mouseSensitivity, -0.5f);

    // The file gets the values in their ranges, so the next start takes it.
    GamePrefs back;
    ASSERT_EQ(back.Load(), 1) << "Apply saves";
    EXPECT_EQ(back.musicVolume, 1.0f);
    EXPECT_EQ(back.soundVolume, 0.0f);
    EXPECT_EQ(back.mouseSensitivity, 0.0f);

    // Difficulty switches the helper off for the known difficulties only.
    back.ApplyDifficulty(5);
    EXPECT_EQ(GetShootHelper(), 1);
    back.reserved = 3;
    back.ApplyDifficulty(2);
    EXPECT_EQ(back.shootHelper, 0);
    EXPECT_EQ(back.reserved, 0);
    EXPECT_EQ(GetShootHelper(), 0);
}

TEST(GamePrefs, SaveStreamRoundTripStopsAtTheFirstFailure)
{
    const GamePrefs prefs = SamplePrefs();
    HbSaveFile save;
    ASSERT_EQ(prefs.Write(&save), 1);
    save.EndAccess();
    ASSERT_EQ(save.BeginRead(), 1);
    GamePrefs back;
    ASSERT_EQ(back.Read(&save), 1);
    EXPECT_EQ(back.invertX, 1);
    EXPECT_EQ(back.soundVolume, 0.75f);
    EXPECT_EQ(back.shootHelper, 1);
    EXPECT_EQ(back.Write(nullptr), 0);
    // Reading in write mode fails at the first step.
    HbSaveFile writing;
    EXPECT_EQ(back.Read(&writing), 0);
}
} // namespace
