// The save manager: the checkpoint stream with the profile record and the hero's state, the save
// files of the player's folder, their listing and their headers.
#include "gamesavemanager.h"

#include "gameservices.h"
#include "gamestate.h"
#include "gamestatemanager.h"
#include "hbclock.h"
#include "hbexitlist.h"
#include "hbstringarray.h"
#include "hbuserfolder.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace
{
GameSaveManager* gInstance = nullptr;
bool gExitRegistered = false;

constexpr const char* kFilePrefix = "Velmoran_";
constexpr const char* kFileExtension = ".sav";

GameProfile* CurrentProfile()
{
    GameStateManager* manager = GameStateManager::Existing();
    GameState* state = manager ? manager->GetCurrentState() : nullptr;
    return state ? state->GetProfile() : nullptr;
}

/// A save file is the whole buffer of its stream: a file of another size was cut short (or is
/// not a save), and reading it would take the zeros of the empty buffer for values.
int32_t ReadWholeFile(HbSaveFile* stream, const std::string& path)
{
    HbMemoryStreamBuf* buffer = stream ? stream->GetMemoryBuffer() : nullptr;
    struct stat info;
    if (!buffer || ::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
        info.st_size != static_cast<off_t>(buffer->GetCapacity()))
        return 0;
    return stream->ReadFromFile(path.c_str());
}

/// Only what the game itself writes: the reader of a damaged file stops here.
bool Plausible(const SaveHeader& header)
{
    const int32_t difficulty = header.missions.words[MissionTable::kDifficulty];
    const int32_t completed = header.missions.words[MissionTable::kCompletedDifficulty];
    return header.playSeconds >= 0 && header.prefs.InRange() && difficulty >= 0 && difficulty <= 2 && completed >= 0 &&
           completed <= 2 && header.missionNumber >= 0;
}

int32_t WriteObjective(Objective* objective, void* data)
{
    auto* stream = static_cast<HbSaveFile*>(data);
    return stream->WriteInt32(objective->GetId()) && stream->WriteInt32(objective->IsDone() ? 1 : 0) ? 1 : 0;
}

/// The mission number, the objective count and each objective's id and done flag.
int32_t WriteMissions(HbSaveFile* stream, const MissionManager& missions)
{
    return stream->WriteInt32(missions.GetMissionNumber()) && stream->WriteInt32(missions.GetObjectiveCount()) &&
                   missions.ForEachObjective(WriteObjective, stream)
               ? 1
               : 0;
}

/// The count is checked before anything is read for it; the ids must rise within the table.
int32_t ReadMissions(HbSaveFile* stream, SaveHeader& header)
{
    int32_t count = 0;
    if (!stream->ReadInt32(header.missionNumber) || !stream->ReadInt32(count) || count < 0 ||
        count > MissionManager::kMaxObjectives)
        return 0;
    header.objectives.clear();
    for (int32_t i = 0; i < count; ++i)
    {
        SaveHeader::ObjectiveFlags flags;
        if (!stream->ReadInt32(flags.id) || !stream->ReadInt32(flags.done))
            return 0;
        const int32_t lowest = header.objectives.empty() ? 0 : header.objectives.back().id + 1;
        if (flags.id < lowest || flags.id >= MissionManager::kMaxObjectives || (flags.done != 0 && flags.done != 1))
            return 0;
        header.objectives.push_back(flags);
    }
    return 1;
}
} // namespace

// ---- The singleton ------------------------------------------------------------------------------

GameSaveManager* GameSaveManager::Instance()
{
    if (!gInstance)
    {
        gInstance = new GameSaveManager();
        if (gInstance && !gExitRegistered)
        {
            gExitRegistered = true;
            HbExitList::Add(&GameSaveManager::Destroy);
        }
    }
    return gInstance;
}

GameSaveManager* GameSaveManager::Existing()
{
    return gInstance;
}

void GameSaveManager::Destroy()
{
    delete gInstance;
    gInstance = nullptr;
}

GameSaveManager::~GameSaveManager()
{
    Release();
}

// ---- Names ----------------------------------------------------------------------------------------

std::string GameSaveManager::MakeFileName(const char* name)
{
    std::string safe = name ? name : "";
    for (size_t i = 0; i < safe.size(); ++i)
    {
        if (safe[i] == '/' || safe[i] == '\\')
            safe[i] = '_';
        else if (safe[i] == '.' && i + 1 < safe.size() && safe[i + 1] == '.')
            safe[i] = '_';
    }
    return kFilePrefix + safe + kFileExtension;
}

int32_t GameSaveManager::IsKey(const char* key)
{
    if (!key || !*key || std::strchr(key, '/') || std::strchr(key, '\\'))
        return 0;
    return std::strcmp(key, ".") != 0 && std::strcmp(key, "..") != 0 ? 1 : 0;
}

// ---- The checkpoint -------------------------------------------------------------------------------

int32_t GameSaveManager::OpenNewStream()
{
    Release();
    auto* stream = new HbSaveFile();
    if (!stream)
        return 0;
    stream->AddRef();
    if (!stream->GetChunkStream() || !Add(kStreamKey, stream))
    {
        stream->Release();
        return 0;
    }
    mStream = stream;
    return 1;
}

void GameSaveManager::Release()
{
    Remove(kStreamKey);
    if (HbSaveFile* stream = mStream)
    {
        mStream = nullptr;
        stream->Release();
    }
}

int32_t GameSaveManager::WriteProfileRecord(HbSaveFile* stream)
{
    if (!stream)
        stream = mStream;
    GameProfile* profile = CurrentProfile();
    if (!stream || !profile)
        return 0;
    const auto seconds = static_cast<int32_t>(profile->GetPlayTime());
    HbRealClock* clock = HbRealClock::Instance();
    const auto stamp = static_cast<int32_t>(static_cast<uint32_t>(clock ? clock->mCurrentTime : 0));
    return stream->WriteString(profile->profileName.c_str()) && stream->WriteInt32(seconds) &&
                   profile->prefs.Write(stream) && profile->missionTable.Write(stream) && stream->WriteInt32(stamp) &&
                   WriteMissions(stream, profile->GetMissions())
               ? 1
               : 0;
}

int32_t GameSaveManager::ReadProfileRecord(SaveHeader& header, HbSaveFile* stream)
{
    if (!stream)
        stream = mStream;
    if (!stream)
        return 0;
    SaveHeader read;
    read.fileName = header.fileName;
    if (!stream->ReadString(read.profileName) || !stream->ReadInt32(read.playSeconds) || !read.prefs.Read(stream) ||
        !read.missions.Read(stream) || !stream->ReadInt32(read.stamp) || !ReadMissions(stream, read) ||
        !Plausible(read))
        return 0;
    header = read;
    return 1;
}

void GameSaveManager::RestoreMissions(const SaveHeader& header, MissionManager& missions)
{
    missions.Reset();
    missions.mNumber = header.missionNumber;
    for (const SaveHeader::ObjectiveFlags& flags : header.objectives)
    {
        auto* objective = new Objective();
        if (!objective)
            continue;
        objective->mId = flags.id;
        objective->mDone = flags.done;
        // The missions take their own reference.
        objective->AddRef();
        missions.SetObjective(objective);
        objective->Release();
    }
}

int32_t GameSaveManager::SaveCheckpoint()
{
    GameServices& services = GameServicesTable();
    const int32_t heroPresent = services.scriptHasHero() ? 1 : 0;
    bool done = OpenNewStream() && WriteProfileRecord() && mStream->WriteInt32(heroPresent);
    done = done && (!heroPresent || services.heroSave(mStream));
    if (!done)
    {
        // The stream holds only part of the game: the next retry or save must not use it.
        Release();
        return 0;
    }
    mStream->EndAccess();
    return 1;
}

int32_t GameSaveManager::RestoreCheckpoint()
{
    if (!mStream)
        return 0;
    mStream->EndAccess();
    int32_t heroPresent = 0;
    bool done = mStream->BeginRead() && ReadProfileRecord(mHeader) && mStream->ReadInt32(heroPresent);
    done = done && (heroPresent == 0 || GameServicesTable().heroLoad(mStream));
    mStream->EndAccess();
    return done ? 1 : 0;
}

// ---- Save files -----------------------------------------------------------------------------------

int32_t GameSaveManager::SaveCurrentProfile()
{
    GameProfile* profile = CurrentProfile();
    if (!mStream || !profile || profile->profileName.size() > kMaxNameLength)
        return 0;
    const std::string name = MakeFileName(profile->profileName.c_str());
    if (!HbUserFolderMake())
        return 0;
    return mStream->WriteToFile(HbUserPath(name.c_str()).c_str()) ? 1 : 0;
}

int32_t GameSaveManager::LoadProfile(const char* key)
{
    std::string name;
    if (key && *key)
    {
        if (!IsKey(key) || !OpenNewStream())
            return 0;
        name = key;
    }
    else
    {
        GameProfile* profile = CurrentProfile();
        if (!mStream || !profile)
            return 0;
        name = MakeFileName(profile->profileName.c_str());
        if (HbMemoryStreamBuf* buffer = mStream->GetMemoryBuffer())
            buffer->Reset();
    }
    mStream->EndAccess();
    const int32_t read = ReadWholeFile(mStream, HbUserPath(name.c_str()));
    mStream->EndAccess();
    int32_t decoded = 0;
    if (read && mStream->BeginRead())
    {
        SaveHeader header;
        header.fileName = name;
        decoded = ReadProfileRecord(header);
        if (decoded)
            mHeader = header;
    }
    mStream->EndAccess();
    if (read && decoded)
        return 1;
    // What is left in the stream is no game: a later restore must not take it for one.
    Release();
    return 0;
}

int32_t GameSaveManager::ListSaves(std::vector<SaveHeader>& out, int32_t slot)
{
    // The folder is made on the first write: before that there is nothing to list.
    const std::string& folder = HbUserFolder();
    struct stat info;
    if (!folder.empty() && ::stat(folder.c_str(), &info) != 0 && errno == ENOENT)
        return 1;
    HbStringArray names;
    if (!ListFiles(names, HbUserPath(MakeFileName("*").c_str()).c_str()))
        return 0;
    for (int32_t i = 0; i < names.GetCount(); ++i)
    {
        SaveHeader header;
        if (ReadSaveHeader(names[i].c_str(), header, slot))
            out.push_back(header);
    }
    return 1;
}

int32_t GameSaveManager::FindSave(const char* key, int32_t, int32_t* hasData)
{
    if (hasData)
        *hasData = 0;
    if (!IsKey(key))
        return 0;
    struct stat info;
    if (::stat(HbUserPath(key).c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return 0;
    if (hasData)
        *hasData = info.st_size > 0 ? 1 : 0;
    return 1;
}

int32_t GameSaveManager::ReadSaveHeader(const char* key, SaveHeader& header, int32_t)
{
    if (!IsKey(key))
        return 0;
    auto* stream = new HbSaveFile();
    if (!stream)
        return 0;
    stream->AddRef();
    int32_t result = 0;
    if (ReadWholeFile(stream, HbUserPath(key)))
    {
        stream->EndAccess();
        if (stream->BeginRead())
        {
            SaveHeader read;
            read.fileName = key;
            if (ReadProfileRecord(read, stream))
            {
                header = read;
                result = 1;
            }
        }
    }
    stream->EndAccess();
    stream->Release();
    return result;
}
