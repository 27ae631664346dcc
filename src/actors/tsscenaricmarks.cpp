// The mark kinds: their registrations, extra data and the respawn bookkeeping.
#include "tsscenaricmarks.h"

#include "hbchunkstream.h"
#include "hbclock.h"
#include "hbresource.h"

#include <cmath>

HB_DEFINE_CLASS_DESC(AttackMark, YoScenaricMark);
HB_DEFINE_CLASS_DESC(DefenseMark, YoScenaricMark);
HB_DEFINE_CLASS_DESC(RetreatMark, YoScenaricMark);
HB_DEFINE_CLASS_DESC(HomeBaseMark, YoScenaricMark);
HB_DEFINE_CLASS_DESC(AlarmMark, YoScenaricMark);
HB_DEFINE_CLASS_DESC(AmbushMark, YoScenaricMark);
HB_DEFINE_CLASS_DESC(DofMark, YoScenaricMark);
HB_DEFINE_CLASS_DESC(ActorMark, YoScenaricMark);
HB_DEFINE_CLASS_DESC(GenericDofMark, YoScenaricMark);
HB_DEFINE_CLASS_DESC(SoundMark, YoScenaricMark);
HB_DEFINE_CLASS_DESC(SearchMark, YoScenaricMark);
HB_DEFINE_CLASS_DESC(ActionMark, YoScenaricMark);
HB_DEFINE_CLASS_DESC(RespawnMark, YoScenaricMark);
HB_DEFINE_CLASS_DESC(PatrolMark, YoScenaricMark);

HB_REGISTER_RESOURCE_TYPE(AttackMark, "ATTACKMARK");
HB_REGISTER_RESOURCE_TYPE(DefenseMark, "DEFENSEMARK");
HB_REGISTER_RESOURCE_TYPE(RetreatMark, "RETREATMARK");
HB_REGISTER_RESOURCE_TYPE(HomeBaseMark, "HOMEBASEMARK");
HB_REGISTER_RESOURCE_TYPE(AlarmMark, "ALARMMARK");
HB_REGISTER_RESOURCE_TYPE(AmbushMark, "AMBUSHMARK");
HB_REGISTER_RESOURCE_TYPE(ActorMark, "ACTORMARK");
HB_REGISTER_RESOURCE_TYPE(GenericDofMark, "DOFMK");
HB_REGISTER_RESOURCE_TYPE(SoundMark, "SDMK");
HB_REGISTER_RESOURCE_TYPE(SearchMark, "SEARCHMARK");
HB_REGISTER_RESOURCE_TYPE(ActionMark, "ACTIONMARK");
HB_REGISTER_RESOURCE_TYPE(RespawnMark, "RESPAWNMARK");
HB_REGISTER_RESOURCE_TYPE(PatrolMark, "PATROLMARK");

namespace
{
int64_t Now()
{
    HbGameClock* clock = HbGameClock::Instance();
    return clock ? clock->mGameTime : 0;
}

int32_t ReadTicks(HbMChunkStream* stream, int64_t* ticks)
{
    float seconds = 0.0f;
    return stream->ReadReal(seconds) && TsSecondsToTicks(seconds, ticks);
}
} // namespace

int32_t TsSecondsToTicks(float seconds, int64_t* ticks)
{
    const double value = double(seconds) * double(HbPerformanceFrequency());
    // Beyond 2^62 ticks (about 14,000 years at 10 MHz) a time is not a time.
    if (!std::isfinite(value) || std::fabs(value) >= 4.6e18)
        return 0;
    *ticks = int64_t(value);
    return 1;
}

int32_t AmbushMark::ReadData(HbMChunkStream* stream)
{
    int32_t unused = 0;
    return YoScenaricMark::ReadData(stream) && stream->ReadInt32(unused) && stream->ReadInt32(mAmbushMode);
}

int32_t PatrolMark::ReadData(HbMChunkStream* stream)
{
    int32_t unused = 0;
    return YoScenaricMark::ReadData(stream) && stream->ReadInt32(unused) && ReadTicks(stream, &mPatrolTime);
}

int32_t RespawnMark::ReadData(HbMChunkStream* stream)
{
    int32_t flag = 0;
    if (!YoScenaricMark::ReadData(stream) || !stream->ReadInt32(flag))
        return 0;
    if (flag != 0)
        return 1;
    return stream->ReadInt32(mUnlimited) && ReadTicks(stream, &mDelay) && stream->ReadInt32(mRemainingUses);
}

int32_t RespawnMark::IsUsable(int32_t ignoreLimit) const
{
    if (!mUnlimited && !ignoreLimit && mRemainingUses <= 0)
        return 0;
    // Unsigned sum: a huge delay from a file must not overflow into a usable time.
    const int64_t due = int64_t(uint64_t(mLastUse) + uint64_t(mDelay));
    if (mDelay > 0 && due < mLastUse)
        return 0;
    return Now() >= due ? 1 : 0;
}

void RespawnMark::Use(int32_t ignoreLimit)
{
    if (!mUnlimited && !ignoreLimit)
        --mRemainingUses;
    mLastUse = Now();
}

void RespawnMark::RestoreState(int64_t delay, int32_t remainingUses, int32_t unlimited, int32_t held)
{
    mDelay = delay;
    mRemainingUses = remainingUses;
    mUnlimited = unlimited;
    mHeld = held;
}

template <int32_t Count> int32_t TsStringMark<Count>::ReadData(HbMChunkStream* stream)
{
    if (!YoScenaricMark::ReadData(stream))
        return 0;
    for (std::string& text : mStrings)
        if (!HbReadCString(stream, text))
            return 0;
    return 1;
}

template class TsStringMark<1>;
template class TsStringMark<3>;
template class TsStringMark<4>;
