// Ground types: what steps and impacts on a kind of ground sound like, the effects they raise
// and the noise the hero's steps make, defined by the console script grounds.scr and found
// by the ground id of a collision surface.
#pragma once

#include "hbroot.h"

#include <cstdint>
#include <string>
#include <vector>

class TsActor;
class TsFModSound;
struct Vector;

class TsGroundType
{
public:
    /// One named sound; the sound is null when no resource had the name.
    struct Sound
    {
        std::string name;
        TsFModSound* sound = nullptr; ///< one reference
    };
    using SoundList = std::vector<Sound>;

    TsGroundType() = default;
    /// Releases every sound.
    virtual ~TsGroundType();
    TsGroundType(const TsGroundType&) = delete;
    TsGroundType& operator=(const TsGroundType&) = delete;

    /// The hero: its walk noise and a hero walk sound; anyone else an enemy walk sound only;
    /// then the walk effect, when there is one, at the position facing (0, 0, 1).
    void PlayWalkStep(TsActor* actor, const Vector* position);
    /// The same with the run noise, sounds and effect.
    void PlayRunStep(TsActor* actor, const Vector* position);
    /// Any actor: the crouched-walk noise and a crouched-walk sound; no effect.
    void PlayCrouchedWalkStep(TsActor* actor, const Vector* position);
    /// An impact sound and the impact effect along the direction, each when asked.
    void PlayImpact(const Vector* position, const Vector* direction, int32_t withSound, int32_t withEffect);
    /// Arms a free trigger that sends `sound` with the row to the walker's enemies around its
    /// position for 0.1 s and raises the walker's noise level to the row. A row outside the
    /// table counts as NONE, which carries nowhere: nothing is armed.
    static void EmitStepNoise(TsActor* actor, int32_t row);
    /// A random entry of the list (the shared quick generator), played at the position
    /// without velocity; nothing for an empty list or an entry without sound.
    static void PlayRandomSound(const SoundList& list, const Vector* position);

    SoundList mHeroWalk;
    SoundList mHeroRun;
    SoundList mHeroCrouchedWalk;
    SoundList mImpact;
    SoundList mEnemyWalk;
    SoundList mEnemyRun;
    int32_t mCrouchedWalkNoise = 0;
    int32_t mWalkNoise = 0;
    int32_t mRunNoise = 0;
    int32_t mRollNoise = 0;
    int32_t mFallNoise = 0;
    int32_t mWalkEffect = -1;
    int32_t mRunEffect = -1;
    int32_t mImpactEffect = -1;
};

/// Runs "execute grounds.scr" (game start-up).
void TsGroundTypesLoad();
/// The ground type of the id's low eight bits, or null.
TsGroundType* TsFindGroundType(int32_t id);
/// Deletes every ground type (shut-down).
void TsGroundTypesFree();
