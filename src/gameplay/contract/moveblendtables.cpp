// Whether the move blend tables and the turn curve are made.
#include "moveblendtables.h"

namespace
{
int32_t gPnjTables = 0;
int32_t gHeroTables = 0;
int32_t gHeroTurnCurve = 0;
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
    gHeroTurnCurve = 1;
}

void HeroTurnCurveFree()
{
    gHeroTurnCurve = 0;
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
