// Whether the move blend tables and the turn curve are made.
#include "moveblendtables.h"

namespace
{
int32_t gPnjTables = 0;
int32_t gHeroTables = 0;
int32_t gHeroTurnCurve = 0;
void (*gTurnCurveBuild)() = nullptr;
void (*gTurnCurveRelease)() = nullptr;
} // namespace

void PnjMoveBlendTablesInit()
{
    gPnjTables = 1;
}

void PnjMoveTablesFree()
{
    gPnjTables = 0;
}

void HeroMoveBlendTablesInit()
{
    gHeroTables = 1;
}

void HeroMoveTablesFree()
{
    gHeroTables = 0;
}

void HeroTurnCurveInit()
{
    if (gTurnCurveBuild)
        gTurnCurveBuild();
    gHeroTurnCurve = 1;
}

void HeroTurnCurveFree()
{
    if (gTurnCurveRelease)
        gTurnCurveRelease();
    gHeroTurnCurve = 0;
}

void HeroTurnCurveSetBuilder(void (*build)(), void (*release)())
{
    gTurnCurveBuild = build;
    gTurnCurveRelease = release;
}

int32_t PnjMoveBlendTablesMade()
{
    return gPnjTables;
}

int32_t HeroMoveBlendTablesMade()
{
    return gHeroTables;
}

int32_t HeroTurnCurveMade()
{
    return gHeroTurnCurve;
}
