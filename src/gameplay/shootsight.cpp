// The shoot helper's sight.
#include "shootsight.h"

#include "boardcontroltheme_ingame.h"
#include "hbclock.h"
#include "shoothelper.h"
#include "shootpick.h"
#include "weaponshoot.h"

#include <algorithm>
#include <cmath>

namespace
{
struct Sight
{
    int32_t shown = 0;
    /// On from the start: the player's option alone decides until the aim ray rests on an actor.
    int32_t aimActive = 1;
    int32_t posture = 1;
    float spread = kShootHelperBaseSpread;
    float target = kShootHelperBaseSpread;
    int32_t easing = 0;
};

Sight gSight;

void ShowGap()
{
    if (BoardControlTheme_InGame* hud = BoardControlTheme_InGame::Find())
        hud->SetSightSpread(gSight.spread - kShootHelperBaseSpread);
}

float FrameSeconds()
{
    HbGameClock* clock = HbGameClock::Instance();
    return clock ? clock->mStepSeconds : 0.0f;
}
} // namespace

void ShootHelperInit()
{
    gSight = Sight();
    WeaponSetAimPick(ShootHelperWeaponTarget);
}

void ShootHelperShowSight(int32_t on)
{
    if (on == gSight.shown)
        return;
    if (on)
    {
        gSight.easing = 0;
        ShowGap();
    }
    gSight.shown = on;
}

int32_t ShootHelperIsSightShown()
{
    return gSight.shown;
}

void ShootHelperSetAimActive(int32_t on)
{
    gSight.aimActive = on;
}

int32_t ShootHelperIsAimActive()
{
    return gSight.aimActive;
}

void ShootHelperSetSightKind(int32_t posture)
{
    if (!GetShootHelper() || !gSight.shown || posture == gSight.posture)
        return;
    float postureFactor;
    switch (posture)
    {
    case 0:
    case 4:
        postureFactor = 1.5f;
        break;
    case 1:
        postureFactor = 1.0f;
        break;
    case 3:
        postureFactor = 2.0f;
        break;
    default:
        // Running and no posture keep the target they had.
        return;
    }
    const int32_t difficulty = WeaponProfileDifficulty();
    const float difficultyFactor = difficulty == 0 ? 2.0f : (difficulty == 1 ? 1.5f : 1.0f);
    gSight.target = difficultyFactor * postureFactor * kShootHelperBaseSpread;
    gSight.easing = 1;
    gSight.posture = posture;
}

void ShootHelperUpdateSight(int32_t posture)
{
    if (!GetShootHelper() || !gSight.shown)
        return;
    if (posture != gSight.posture)
        ShootHelperSetSightKind(posture);
    if (gSight.easing)
    {
        // 12 % of the gap per 1/60 s frame, whatever the frame rate.
        const float step = std::min(1.0f, FrameSeconds() * 60.0f * 12.0f * 0.01f);
        gSight.spread += step * (gSight.target - gSight.spread);
        if (std::fabs(gSight.spread - gSight.target) <= 0.00001f)
        {
            gSight.spread = gSight.target;
            gSight.easing = 0;
        }
    }
    ShowGap();
}

float ShootHelperGetSpread()
{
    return gSight.spread;
}

float ShootHelperGetTargetSpread()
{
    return gSight.target;
}
