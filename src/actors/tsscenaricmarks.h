// The scenario mark kinds of the actor layer: attack, defense, retreat, home-base, alarm,
// ambush, actor, generic degree-of-freedom, sound, search, action, respawn and patrol marks,
// each made by its resource type key and read from the scenario database's stream.
#pragma once

#include "yoscenaricmark.h"

#include <cstdint>
#include <string>

/// Kind numbers (the module marktype names them).
enum TsMarkKind : int32_t
{
    kMarkGeneric = 0,
    kMarkAttack = 1,
    kMarkDefense = 2,
    kMarkRetreat = 3,
    kMarkHomeBase = 4,
    kMarkAlarm = 5,
    kMarkAmbush = 6,
    kMarkDof = 7,
    kMarkActor = 8,
    kMarkGenericDof = 9,
    kMarkSound = 10,
    kMarkSearch = 11,
    kMarkAction = 12,
    kMarkRespawn = 13,
    kMarkPatrol = 14,
};

/// Seconds from a file as game-clock ticks, truncated; 0 when the value is not finite or its
/// ticks do not fit 64 bits.
int32_t TsSecondsToTicks(float seconds, int64_t* ticks);

#define TS_PLAIN_MARK(Class, kind, key)                                                                                \
    class Class : public YoScenaricMark                                                                                \
    {                                                                                                                  \
        HB_DECLARE_CLASS_DESC();                                                                                       \
                                                                                                                       \
    public:                                                                                                            \
        int32_t GetKind() const override { return kind; }                                                              \
        std::string GetTypeKey() const override { return key; }                                                        \
    }

TS_PLAIN_MARK(AttackMark, kMarkAttack, "ATTACKMARK");
TS_PLAIN_MARK(DefenseMark, kMarkDefense, "DEFENSEMARK");
TS_PLAIN_MARK(RetreatMark, kMarkRetreat, "RETREATMARK");
TS_PLAIN_MARK(HomeBaseMark, kMarkHomeBase, "HOMEBASEMARK");
TS_PLAIN_MARK(AlarmMark, kMarkAlarm, "ALARMMARK");
/// Registered as a class only: no mark of this kind is ever made.
TS_PLAIN_MARK(DofMark, kMarkDof, "");
TS_PLAIN_MARK(SearchMark, kMarkSearch, "SEARCHMARK");
TS_PLAIN_MARK(ActionMark, kMarkAction, "ACTIONMARK");
#undef TS_PLAIN_MARK

class AmbushMark : public YoScenaricMark
{
    HB_DECLARE_CLASS_DESC();

public:
    int32_t GetKind() const override { return kMarkAmbush; }
    std::string GetTypeKey() const override { return "AMBUSHMARK"; }
    /// An integer not kept, then the mode.
    int32_t ReadData(HbMChunkStream* stream) override;
    int32_t mAmbushMode = 0;
};

class PatrolMark : public YoScenaricMark
{
    HB_DECLARE_CLASS_DESC();

public:
    int32_t GetKind() const override { return kMarkPatrol; }
    std::string GetTypeKey() const override { return "PATROLMARK"; }
    /// An integer not kept, then the time in seconds, kept as truncated ticks.
    int32_t ReadData(HbMChunkStream* stream) override;
    int64_t mPatrolTime = 0;
};

class RespawnMark : public YoScenaricMark
{
    HB_DECLARE_CLASS_DESC();

public:
    int32_t GetKind() const override { return kMarkRespawn; }
    std::string GetTypeKey() const override { return "RESPAWNMARK"; }
    /// A flag; only when it is 0: the unlimited flag, the delay in seconds and the uses.
    int32_t ReadData(HbMChunkStream* stream) override;

    /// 0 when limited, the limit applies and no use is left; else whether the game clock has
    /// reached the last use plus the delay.
    int32_t IsUsable(int32_t ignoreLimit) const;
    /// Counts a use down (limited marks, limit applied) and stamps the game clock.
    void Use(int32_t ignoreLimit);
    /// -1 for an unlimited mark.
    int32_t GetRemainingUses() const { return mUnlimited ? -1 : mRemainingUses; }
    void RestoreState(int64_t delay, int32_t remainingUses, int32_t unlimited, int32_t held);

    int32_t mUnlimited = 0;
    int64_t mDelay = 0;
    int64_t mLastUse = 0;
    int32_t mRemainingUses = 0;
};

/// Marks carrying count strings, kept in the order read.
template <int32_t Count> class TsStringMark : public YoScenaricMark
{
public:
    int32_t ReadData(HbMChunkStream* stream) override;
    std::string mStrings[Count];
};

class ActorMark : public TsStringMark<3>
{
    HB_DECLARE_CLASS_DESC();

public:
    int32_t GetKind() const override { return kMarkActor; }
    std::string GetTypeKey() const override { return "ACTORMARK"; }
};

class GenericDofMark : public TsStringMark<4>
{
    HB_DECLARE_CLASS_DESC();

public:
    int32_t GetKind() const override { return kMarkGenericDof; }
    std::string GetTypeKey() const override { return "DOFMK"; }
};

class SoundMark : public TsStringMark<1>
{
    HB_DECLARE_CLASS_DESC();

public:
    int32_t GetKind() const override { return kMarkSound; }
    std::string GetTypeKey() const override { return "SDMK"; }
};
