// GameSaveManager: the game's saves. It keeps one checkpoint of the running game in a save stream
// (the player profile's record, then the hero's state), writes that stream to the profile's save
// file in the player's folder, lists the save files and reads them back.
#pragma once

#include "gameprefs.h"
#include "gameprofile.h"
#include "hbsavefile.h"

#include <cstdint>
#include <string>
#include <vector>

/// The profile record of a save: who, how long, the preferences, the campaign, when, and the
/// mission in play with its objectives' done flags.
struct SaveHeader
{
    /// One objective of the mission: its id (its slot) and whether it is done.
    struct ObjectiveFlags
    {
        int32_t id = 0;
        int32_t done = 0;
        bool operator==(const ObjectiveFlags&) const = default;
    };

    std::string profileName;
    /// Whole seconds played.
    int32_t playSeconds = 0;
    /// The save's key: its file name in the player's folder (set when read from a file).
    std::string fileName;
    /// The defaults, without touching the shoot helpers a live profile has set.
    GamePrefs prefs{GamePrefs::kQuiet};
    MissionTable missions;
    /// The low 32 bits of the real clock's tick count when the record was written.
    int32_t stamp = 0;
    /// The number the mission file declared (0 for none).
    int32_t missionNumber = 0;
    /// The objectives held, in slot order.
    std::vector<ObjectiveFlags> objectives;
};

class GameSaveManager : public HbSaveObjectRegistry
{
public:
    /// The registry key of the current stream while it exists.
    static constexpr const char* kStreamKey = "MorrowSave";
    /// The longest profile name a save file can be named after: the file name with its
    /// temporary's extension stays within the file system's 255 bytes.
    static constexpr size_t kMaxNameLength = 238;

    /// The manager, made on first use; the exit list destroys it.
    static GameSaveManager* Instance();
    /// The manager when it exists, else null.
    static GameSaveManager* Existing();
    /// Destroys the manager now (the exit list's callback); a later Instance makes a new one.
    static void Destroy();

    /// "Velmoran_<name>.sav", the name's '/', '\' and ".." made harmless ('_') so the file stays
    /// in the player's folder. "*" gives the listing's pattern.
    static std::string MakeFileName(const char* name);
    /// 1 when a key can only name a file of the player's folder: not empty, no separator, not
    /// "." or "..".
    static int32_t IsKey(const char* key);

    // ---- The checkpoint ---------------------------------------------------------------------
    /// A fresh stream (the old one released), registered under kStreamKey; 1, else 0.
    int32_t OpenNewStream();
    /// Drops the stream and its registration.
    void Release();
    /// The current state's profile record into the stream (the current one when null): 0
    /// without a stream or a profile, or at the first failing write.
    int32_t WriteProfileRecord(HbSaveFile* stream = nullptr);
    /// A profile record from the stream (the current one when null) into the header: 0 without a
    /// stream, at the first failing read, or for a record whose values no game writes
    /// (preferences out of range, a difficulty outside 0..2, negative play time, more objectives
    /// than a mission holds, objective ids out of slot order, a done flag other than 0 or 1).
    int32_t ReadProfileRecord(SaveHeader& header, HbSaveFile* stream = nullptr);
    /// The header's mission put in place of the missions held: their number and, for each
    /// objective, one with its id and done flag (no actions: the mission file builds those when
    /// the mission is played again).
    static void RestoreMissions(const SaveHeader& header, MissionManager& missions);
    /// A new stream with the profile record, the hero-present flag and the hero's state. 1 done; 0
    /// with the stream dropped, so that a part-written checkpoint is never restored or saved.
    int32_t SaveCheckpoint();
    /// The stream read back from its start into the header and, when it holds one, the hero. 1
    /// done; 0 without a stream or at the first failure. The profile is not changed.
    int32_t RestoreCheckpoint();

    // ---- Save files -------------------------------------------------------------------------
    /// The stream written whole to the current profile's save file (the old file replaced only
    /// once the new one is on the device). 0 without a stream or a profile, for a name longer than
    /// kMaxNameLength, or when the write fails.
    int32_t SaveCurrentProfile();
    /// The save file of the key (the current profile's file when the key is empty) read into a
    /// fresh stream (the current one when the key is empty), its record into the header; the
    /// file read's result: 0 for a file that is not exactly one stream buffer long (a save cut
    /// short) and for a record that cannot be decoded, the stream then dropped. The hero's part
    /// stays in the stream for the next RestoreCheckpoint.
    int32_t LoadProfile(const char* key);
    /// The headers of every save file that decodes, in the listing's order (others left out). 1,
    /// also when there is none or the folder does not exist yet; 0 when the folder cannot be read.
    /// The slot word is not used.
    int32_t ListSaves(std::vector<SaveHeader>& out, int32_t slot);
    /// 1 when a save file has the key (a file name); hasData (when given) says whether it holds
    /// any bytes.
    int32_t FindSave(const char* key, int32_t slot, int32_t* hasData);
    /// The save file of the key read into a scratch stream and its record decoded into the header
    /// (its file name set); 1, else 0.
    int32_t ReadSaveHeader(const char* key, SaveHeader& header, int32_t slot);

    /// The last profile record read.
    const SaveHeader& GetHeader() const { return mHeader; }
    HbSaveFile* GetStream() const { return mStream; }

private:
    GameSaveManager() = default;
    ~GameSaveManager() override;

    SaveHeader mHeader;
    HbSaveFile* mStream = nullptr;
};
