// The player profile and its mission table.
#include "gameprofile.h"

#include "hbclock.h"
#include "hbsavefile.h"

void MissionTable::Reset()
{
    for (int32_t& word : words)
        word = 0;
    words[kDifficulty] = 1;
}

void MissionTable::SetSecondValue(int32_t index, int32_t value)
{
    if (index >= 0 && index < kMissions)
        words[kMissions + index] = value;
}

int32_t MissionTable::StreamOrder(int32_t position)
{
    if (position < 2 * kMissions)
        return position / 2 + (position % 2) * kMissions;
    return position;
}

int32_t MissionTable::Write(HbSaveFile* stream) const
{
    if (!stream)
        return 0;
    for (int32_t position = 0; position < kWords; ++position)
        if (!stream->WriteInt32(words[StreamOrder(position)]))
            return 0;
    return 1;
}

int32_t MissionTable::Read(HbSaveFile* stream)
{
    if (!stream)
        return 0;
    for (int32_t position = 0; position < kWords; ++position)
        if (!stream->ReadInt32(words[StreamOrder(position)]))
            return 0;
    return 1;
}

GameProfile::GameProfile() = default;

GameProfile::~GameProfile()
{
    globalInventory.RemoveAll();
    missions.Clear();
}

double GameProfile::GetPlayTime() const
{
    const HbGameClock* clock = HbGameClock::Instance();
    const int64_t now = clock ? clock->mLastCounterValue : playStart;
    return static_cast<double>(now - playStart) / static_cast<double>(HbPerformanceFrequency()) + secondsBefore;
}

void GameProfile::RequestStage(const char* sector, const char* mark)
{
    if (sector && sector[0])
        sectorId = sector;
    if (newMission)
        startMark = kDefaultStartMark;
    else if (mark && mark[0])
        startMark = mark;
    stageRequest = 1;
}

int32_t GameProfile::SetMissionResult(int32_t index, int32_t value)
{
    // A mission number that was missing from its file arrives here as -1.
    if (index < 0 || index >= MissionTable::kMissions)
        return 0;
    auto allDone = [this]()
    {
        for (int32_t i = 0; i < MissionTable::kMissions; ++i)
            if (missionTable.words[i] == 0)
                return false;
        return true;
    };
    if (allDone())
    {
        campaignComplete = 0;
        return 1;
    }
    missionTable.words[index] = value;
    if (allDone())
    {
        campaignComplete = 1;
        missionTable.words[MissionTable::kCompletedDifficulty] = missionTable.words[MissionTable::kDifficulty];
    }
    else
    {
        campaignComplete = 0;
    }
    return 1;
}
