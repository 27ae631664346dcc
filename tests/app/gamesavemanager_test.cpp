// The game saves: file names that stay in the player's folder, the profile record written and read
// back, checkpoints with and without a hero (and one that does not fit), the listing of save files,
// writes that fail half-way or on a full disk leaving the previous save whole, a save -> load ->
// save cycle byte for byte, and damaged save files refused without a crash.
#include "gameprofile.h"
#include "gamesavemanager.h"
#include "gameservices.h"
#include "gamestate.h"
#include "gamestatemanager.h"
#include "hbclock.h"
#include "hbfile.h"
#include "hbuserfolder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace
{
namespace fs = std::filesystem;

class Holder : public GameState
{
public:
    Holder() : GameState(kGameStateSaveLoad) {}
    void Leave() override {}
    void Update() override {}
};

std::string Bytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void Put(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// The fake hero: a name and its hit points, or a state too big for any save.
int32_t gHero = 0;
int32_t gHeroLoads = 0;
int32_t gHeroHitPoints = 0;
bool gHeroTooBig = false;

int32_t HeroSave(HbSaveFile* save)
{
    if (gHeroTooBig)
    {
        const std::string big(1000, 'w');
        for (int i = 0; i < 3; ++i)
            if (!save->WriteString(big.c_str()))
                return 0;
    }
    return save->WriteString("hero") && save->WriteInt32(gHeroHitPoints);
}

int32_t HeroLoad(HbSaveFile* save)
{
    ++gHeroLoads;
    std::string name;
    return save->ReadString(name) && name == "hero" && save->ReadInt32(gHeroHitPoints);
}

/// An objective of that id in the missions, done or not.
void AddObjective(MissionManager& missions, int32_t id, int32_t done)
{
    auto* objective = new Objective();
    objective->mId = id;
    objective->mDone = done;
    objective->AddRef();
    missions.SetObjective(objective);
    objective->Release();
}

size_t gAllowance = 0;
size_t LimitWrites(HbFile*, size_t bytes)
{
    return std::min(bytes, gAllowance);
}

class Saves : public ::testing::Test
{
protected:
    void SetUp() override
    {
        mOld = fs::current_path();
        mDir = fs::temp_directory_path() / ("gamesave_test_" + std::to_string(getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(mDir);
        fs::create_directories(mDir);
        fs::current_path(mDir);
        mUser = mDir / "player";
        HbUserFolderSet(mUser.string());
        GameServicesTable() = GameServicesLeast();
        GameServices& services = GameServicesTable();
        services.scriptHasHero = [] { return gHero; };
        services.heroSave = HeroSave;
        services.heroLoad = HeroLoad;
        gHero = 0, gHeroLoads = 0, gHeroHitPoints = 0, gHeroTooBig = false;

        mSavedReal = HbRealClock::Instance()->mCurrentTime;
        mSavedGame = HbGameClock::Instance()->mLastCounterValue;
        HbRealClock::Instance()->mCurrentTime = 0x123456789LL;
        HbGameClock::Instance()->mLastCounterValue = 0;

        mProfile = new GameProfile();
        mProfile->AddRef();
        mState = new Holder();
        mState->SetProfile(mProfile);
        GameStateManager::Instance()->SetCurrentState(mState);
        mSaves = GameSaveManager::Instance();
    }

    void TearDown() override
    {
        mSaves->Release();
        GameStateManager::Instance()->SetCurrentState(nullptr);
        delete mState;
        mProfile->Release();
        HbRealClock::Instance()->mCurrentTime = mSavedReal;
        HbGameClock::Instance()->mLastCounterValue = mSavedGame;
        GameServicesTable() = GameServicesLeast();
        HbUserFolderSet(std::string());
        fs::current_path(mOld);
        fs::remove_all(mDir);
    }

    /// A profile of that name saved to its file: the checkpoint, then the file; its path.
    fs::path SaveAs(const std::string& name, int32_t seconds = 61)
    {
        mProfile->profileName = name;
        mProfile->secondsBefore = seconds;
        EXPECT_EQ(mSaves->SaveCheckpoint(), 1);
        EXPECT_EQ(mSaves->SaveCurrentProfile(), 1);
        return mUser / GameSaveManager::MakeFileName(name.c_str());
    }

    fs::path mOld, mDir, mUser;
    int64_t mSavedReal = 0, mSavedGame = 0;
    GameProfile* mProfile = nullptr;
    Holder* mState = nullptr;
    GameSaveManager* mSaves = nullptr;
};

TEST(GameSaveNames, FileNamesStayInThePlayersFolder)
{
    const struct
    {
        const char* name;
        const char* file;
    } cases[] = {
        {"No Profile", "Velmoran_No Profile.sav"},
        {"*", "Velmoran_*.sav"},
        {"", "Velmoran_.sav"},
        {"a/b\\c", "Velmoran_a_b_c.sav"},
        {"../../etc/x", "Velmoran__.__._etc_x.sav"},
        {"v1.2...", "Velmoran_v1.2__..sav"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GameSaveManager::MakeFileName(c.name), c.file) << c.name;
    for (const char* key : {"", ".", "..", "a/b", "..\\x"})
        EXPECT_EQ(GameSaveManager::IsKey(key), 0) << key;
    EXPECT_EQ(GameSaveManager::IsKey("Velmoran_a.sav"), 1);
}

TEST_F(Saves, TheProfileRecordReadsBackAndTheEighthPreferenceIsNotStored)
{
    mProfile->profileName = "Ann";
    mProfile->secondsBefore = 100;
    HbGameClock::Instance()->mLastCounterValue = int64_t(25.75 * double(HbPerformanceFrequency()));
    mProfile->prefs.padVibration = 0;
    mProfile->prefs.invertX = 1;
    mProfile->prefs.mouseSensitivity = 2.5f;
    mProfile->prefs.musicVolume = 0.25f;
    mProfile->prefs.shootHelper = 1;
    mProfile->prefs.reserved = 9;
    for (int32_t i = 0; i < MissionTable::kWords; ++i)
        mProfile->missionTable.words[i] = i == MissionTable::kDifficulty ? 2 : i + 3;
    mProfile->missionTable.words[MissionTable::kCompletedDifficulty] = 1;
    // Sparse slots: the record keeps the ids, not the positions.
    mProfile->GetMissions().mNumber = 3;
    AddObjective(mProfile->GetMissions(), 0, 1);
    AddObjective(mProfile->GetMissions(), 2, 0);
    AddObjective(mProfile->GetMissions(), 19, 1);

    ASSERT_EQ(mSaves->OpenNewStream(), 1);
    ASSERT_EQ(mSaves->WriteProfileRecord(), 1);
    mSaves->GetStream()->EndAccess();
    ASSERT_EQ(mSaves->GetStream()->BeginRead(), 1);
    SaveHeader header;
    ASSERT_EQ(mSaves->ReadProfileRecord(header), 1);
    EXPECT_EQ(header.profileName, "Ann");
    EXPECT_EQ(header.playSeconds, 125) << "whole seconds, the fraction dropped";
    EXPECT_EQ(header.prefs.padVibration, 0);
    EXPECT_EQ(header.prefs.invertX, 1);
    EXPECT_EQ(header.prefs.mouseSensitivity, 2.5f);
    EXPECT_EQ(header.prefs.musicVolume, 0.25f);
    EXPECT_EQ(header.prefs.shootHelper, 1);
    EXPECT_EQ(header.prefs.reserved, 0);
    EXPECT_EQ(std::memcmp(header.missions.words, mProfile->missionTable.words, sizeof(header.missions.words)), 0);
    EXPECT_EQ(header.stamp, 0x23456789) << "the low 32 bits of the real clock";
    EXPECT_EQ(header.missionNumber, 3);
    EXPECT_EQ(header.objectives, (std::vector<SaveHeader::ObjectiveFlags>{{0, 1}, {2, 0}, {19, 1}}));
    EXPECT_EQ(mSaves->Find(GameSaveManager::kStreamKey), mSaves->GetStream());

    // Without a profile nothing is written; without a stream nothing is read.
    GameStateManager::Instance()->SetCurrentState(nullptr);
    EXPECT_EQ(mSaves->WriteProfileRecord(), 0);
    mSaves->Release();
    EXPECT_EQ(mSaves->Find(GameSaveManager::kStreamKey), nullptr);
    EXPECT_EQ(mSaves->ReadProfileRecord(header), 0);
}

TEST_F(Saves, CheckpointsCarryTheHeroWhenThereIsOneAndAPartWrittenOneIsDropped)
{
    // No hero: the flag reads 0 and no hero is asked.
    ASSERT_EQ(mSaves->SaveCheckpoint(), 1);
    EXPECT_EQ(mSaves->RestoreCheckpoint(), 1);
    EXPECT_EQ(gHeroLoads, 0);
    EXPECT_EQ(mSaves->GetHeader().profileName, "No Profile");

    // A hero: its state comes back, again on a second restore.
    gHero = 1;
    gHeroHitPoints = 70;
    ASSERT_EQ(mSaves->SaveCheckpoint(), 1);
    gHeroHitPoints = 5;
    EXPECT_EQ(mSaves->RestoreCheckpoint(), 1);
    EXPECT_EQ(gHeroHitPoints, 70);
    gHeroHitPoints = 5;
    EXPECT_EQ(mSaves->RestoreCheckpoint(), 1);
    EXPECT_EQ(gHeroHitPoints, 70);

    // A hero whose state does not fit the buffer: nothing is kept to restore or save.
    gHeroTooBig = true;
    EXPECT_EQ(mSaves->SaveCheckpoint(), 0);
    EXPECT_EQ(mSaves->GetStream(), nullptr);
    EXPECT_EQ(mSaves->RestoreCheckpoint(), 0);
    EXPECT_EQ(mSaves->SaveCurrentProfile(), 0);
    EXPECT_FALSE(fs::exists(mUser));

    // A name that does not fit the record, or a file name the file system refuses: refused.
    gHeroTooBig = false;
    mProfile->profileName = std::string(1100, 'n');
    EXPECT_EQ(mSaves->SaveCheckpoint(), 0);
    mProfile->profileName = std::string(GameSaveManager::kMaxNameLength + 1, 'n');
    ASSERT_EQ(mSaves->SaveCheckpoint(), 1);
    EXPECT_EQ(mSaves->SaveCurrentProfile(), 0);
    mProfile->profileName = std::string(GameSaveManager::kMaxNameLength, 'n');
    EXPECT_EQ(mSaves->SaveCurrentProfile(), 1) << "the longest name still makes its file";
}

TEST_F(Saves, ListingDecodesEveryHeaderAndLeavesOutWhatDoesNotDecode)
{
    std::vector<SaveHeader> list;
    EXPECT_EQ(mSaves->ListSaves(list, -1), 1) << "the folder is not made yet";
    EXPECT_TRUE(list.empty());
    fs::create_directories(mUser);
    EXPECT_EQ(mSaves->ListSaves(list, -1), 1);
    EXPECT_TRUE(list.empty());

    const fs::path bob = SaveAs("bob", 30);
    SaveAs("Al", 20);
    const fs::path first = SaveAs("../Zed", 10);
    ASSERT_TRUE(fs::exists(first)) << "the name is kept inside the folder";
    Put(mUser / "Velmoran_cut.sav", Bytes(bob).substr(0, 5));
    Put(mUser / "Velmoran_empty.sav", "");
    Put(mUser / "other.sav", Bytes(bob));
    fs::create_directories(mUser / "Velmoran_folder.sav");
    ASSERT_EQ(mSaves->ListSaves(list, -1), 1);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].profileName, "../Zed");
    EXPECT_EQ(list[0].fileName, "Velmoran__._Zed.sav");
    EXPECT_EQ(list[0].playSeconds, 10);
    EXPECT_EQ(list[1].profileName, "Al");
    EXPECT_EQ(list[2].profileName, "bob");
    EXPECT_EQ(list[2].fileName, "Velmoran_bob.sav");

    int32_t hasData = -1;
    EXPECT_EQ(mSaves->FindSave("Velmoran_bob.sav", -1, &hasData), 1);
    EXPECT_EQ(hasData, 1);
    EXPECT_EQ(mSaves->FindSave("Velmoran_empty.sav", -1, &hasData), 1);
    EXPECT_EQ(hasData, 0);
    EXPECT_EQ(mSaves->FindSave("Velmoran_none.sav", -1, &hasData), 0);
    EXPECT_EQ(mSaves->FindSave("../player/Velmoran_bob.sav", -1, &hasData), 0);

    // An unreadable folder is a failed listing.
    HbUserFolderSet((mUser / "Velmoran_bob.sav").string());
    EXPECT_EQ(mSaves->ListSaves(list, -1), 0);
}

TEST_F(Saves, AWriteThatFailsHalfWayLeavesThePreviousSaveWholeAndReadable)
{
    const fs::path file = SaveAs("Ann", 40);
    const std::string previous = Bytes(file);
    ASSERT_EQ(previous.size(), size_t(HbSaveFile::kDefaultCapacity));

    mProfile->secondsBefore = 99;
    ASSERT_EQ(mSaves->SaveCheckpoint(), 1);
    // A fault in the file layer after 1000 bytes.
    gAllowance = 1000;
    HbFileWriteLimitHook = LimitWrites;
    EXPECT_EQ(mSaves->SaveCurrentProfile(), 0);
    HbFileWriteLimitHook = nullptr;
    EXPECT_EQ(Bytes(file), previous);

    // A full disk: the process may not grow a file past 1500 bytes.
    {
        rlimit old{};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
        void (*oldHandler)(int) = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = old;
        small.rlim_cur = 1500;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        const int32_t saved = mSaves->SaveCurrentProfile();
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        EXPECT_EQ(saved, 0);
    }
    EXPECT_EQ(Bytes(file), previous);
    EXPECT_EQ(std::distance(fs::directory_iterator(mUser), {}), 1) << "no temporary left";
    SaveHeader header;
    ASSERT_EQ(mSaves->ReadSaveHeader(file.filename().c_str(), header, -1), 1);
    EXPECT_EQ(header.playSeconds, 40);

    EXPECT_EQ(mSaves->SaveCurrentProfile(), 1);
    ASSERT_EQ(mSaves->ReadSaveHeader(file.filename().c_str(), header, -1), 1);
    EXPECT_EQ(header.playSeconds, 99);
}

TEST_F(Saves, SaveLoadSaveGivesTheSameFileByteForByte)
{
    gHero = 1;
    gHeroHitPoints = 33;
    mProfile->prefs.soundVolume = 0.5f;
    mProfile->missionTable.words[2] = 1;
    MissionManager& missions = mProfile->GetMissions();
    missions.mNumber = 1;
    AddObjective(missions, 0, 1);
    AddObjective(missions, 1, 0);
    const fs::path file = SaveAs("Cyc", 3600);
    const std::string first = Bytes(file);

    // Another profile in play, then the save loaded over it as the load screen does.
    mProfile->profileName = "Other";
    mProfile->secondsBefore = 5;
    mProfile->prefs.soundVolume = 1.0f;
    mProfile->missionTable.Reset();
    missions.Reset();
    missions.mNumber = 4;
    AddObjective(missions, 1, 1);
    AddObjective(missions, 5, 1);
    ASSERT_EQ(mSaves->LoadProfile(file.filename().c_str()), 1);
    const SaveHeader& loaded = mSaves->GetHeader();
    EXPECT_EQ(loaded.fileName, file.filename().string());
    mProfile->profileName = loaded.profileName;
    mProfile->secondsBefore = loaded.playSeconds;
    mProfile->playStart = HbGameClock::Instance()->mLastCounterValue;
    mProfile->prefs = loaded.prefs;
    mProfile->missionTable = loaded.missions;
    GameSaveManager::RestoreMissions(loaded, missions);
    EXPECT_EQ(missions.GetMissionNumber(), 1);
    EXPECT_EQ(missions.GetObjectiveCount(), 2);
    EXPECT_EQ(missions.IsObjectiveDone(0), 1);
    ASSERT_NE(missions.GetObjective(1), nullptr);
    EXPECT_EQ(missions.IsObjectiveDone(1), 0);
    EXPECT_EQ(missions.GetObjective(5), nullptr) << "the objectives of the mission in play are gone";
    gHeroHitPoints = 0;
    ASSERT_EQ(mSaves->RestoreCheckpoint(), 1);
    EXPECT_EQ(gHeroHitPoints, 33);

    ASSERT_EQ(mSaves->SaveCheckpoint(), 1);
    ASSERT_EQ(mSaves->SaveCurrentProfile(), 1);
    EXPECT_EQ(Bytes(file), first);

    // Loading the current profile's own file, and a file that is not there.
    EXPECT_EQ(mSaves->LoadProfile(""), 1);
    EXPECT_EQ(mSaves->LoadProfile("Velmoran_none.sav"), 0);
    EXPECT_EQ(mSaves->LoadProfile("../Velmoran_Cyc.sav"), 0);
}

TEST_F(Saves, AMissionPartNoGameWritesIsRefused)
{
    const struct
    {
        const char* what;
        std::vector<int32_t> part; // mission number, objective count, then id and done pairs
        int32_t read;
    } cases[] = {
        {"two objectives", {1, 2, 0, 1, 4, 0}, 1},
        {"none", {0, 0}, 1},
        {"a negative mission number", {-1, 0}, 0},
        {"more objectives than a mission holds", {1, 21}, 0},
        {"a negative count", {1, -1}, 0},
        {"fewer pairs than the count", {1, 3, 0, 1}, 0},
        {"an id past the table", {1, 1, 20, 0}, 0},
        {"a negative id", {1, 1, -1, 0}, 0},
        {"ids out of order", {1, 2, 3, 0, 2, 0}, 0},
        {"an id twice", {1, 2, 2, 0, 2, 1}, 0},
        {"a done flag of 2", {1, 1, 0, 2}, 0},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        // A buffer of exactly the record's bytes: no zeros after them to read as values.
        auto* stream = new HbSaveFile(uint32_t(108 + 4 * c.part.size()));
        stream->AddRef();
        GamePrefs prefs(GamePrefs::kQuiet);
        bool written = stream->WriteString("Ann") && stream->WriteInt32(1) && prefs.Write(stream) &&
                       MissionTable().Write(stream) && stream->WriteInt32(7);
        for (int32_t value : c.part)
            written = written && stream->WriteInt32(value);
        ASSERT_TRUE(written);
        stream->EndAccess();
        ASSERT_EQ(stream->BeginRead(), 1);
        SaveHeader header;
        EXPECT_EQ(mSaves->ReadProfileRecord(header, stream), c.read);
        if (c.read)
            EXPECT_EQ(int32_t(header.objectives.size()), c.part[1]);
        else
            EXPECT_EQ(header.profileName, "") << "a refused record leaves the header";
        stream->Release();
    }
}

TEST_F(Saves, DamagedSaveFilesAreRefusedOrReadWithoutACrash)
{
    gHero = 1;
    gHeroHitPoints = 12;
    const fs::path file = SaveAs("Mutant", 77);
    const std::string good = Bytes(file);
    const std::string key = file.filename().string();

    auto tryFile = [&](const std::string& bytes)
    {
        Put(file, bytes);
        SaveHeader header;
        if (mSaves->ReadSaveHeader(key.c_str(), header, -1))
        {
            EXPECT_TRUE(header.prefs.InRange());
            EXPECT_GE(header.playSeconds, 0);
        }
        if (mSaves->LoadProfile(key.c_str()))
            mSaves->RestoreCheckpoint();
        std::vector<SaveHeader> list;
        EXPECT_EQ(mSaves->ListSaves(list, -1), 1);
    };
    // Every truncation.
    for (size_t size = 0; size < good.size(); size += size < 200 ? 1 : 37)
        tryFile(good.substr(0, size));
    tryFile(good + "x") /* one byte too many for the buffer */;
    // Byte flips over the whole record and the hero's part, then at random.
    const uint8_t masks[] = {0x01, 0x80, 0xFF, 0x7F};
    for (size_t at = 0; at < 140; ++at)
        for (uint8_t mask : masks)
        {
            std::string bytes = good;
            bytes[at] = char(uint8_t(bytes[at]) ^ mask);
            tryFile(bytes);
        }
    std::mt19937 random(91);
    for (int round = 0; round < 200; ++round)
    {
        std::string bytes = good;
        for (int i = 0; i < 4; ++i)
            bytes[random() % bytes.size()] = char(random());
        tryFile(bytes);
    }
    // A refused file leaves nothing a stage entry could restore.
    Put(file, good.substr(0, 10));
    EXPECT_EQ(mSaves->LoadProfile(key.c_str()), 0);
    EXPECT_EQ(mSaves->GetStream(), nullptr);
    EXPECT_EQ(mSaves->RestoreCheckpoint(), 0);
}

} // namespace
