// Whether the move blend tables and the turn curve are made.
#include "moveblendtables.h"

#include "hbhashmap.h"

#include <cstring>

namespace
{
int32_t gPnjTables = 0;
int32_t gHeroTables = 0;
int32_t gHeroTurnCurve = 0;
void (*gTurnCurveBuild)() = nullptr;
void (*gTurnCurveRelease)() = nullptr;

/// Made on first use and never deleted: players may still point at them at exit.
HbIntHashMap* Table(int32_t which)
{
    static HbIntHashMap* tables[4] = {};
    if (!tables[which])
        tables[which] = new HbIntHashMap(17, 10);
    return tables[which];
}

uint32_t Key(int32_t from, int32_t to)
{
    return (uint32_t(from) << 16) | (uint32_t(to) & 0xFFFFu);
}

struct Pair
{
    int32_t a;
    int32_t b;
    float seconds;
};

// RunBankLeft, RunBankRight, Run, Walk and the two ladder moves.
constexpr Pair kMapPairs[] = {{59, 26, 0.2f}, {60, 26, 0.2f}, {59, 60, 0.3f}, {83, 82, 0.2f}, {11, 26, 0.2f}};
// Every pair of the four shooting states.
constexpr Pair kSapPairs[] = {{7, 8, 0.1f}, {7, 9, 0.1f}, {7, 10, 0.1f}, {8, 9, 0.1f}, {8, 10, 0.1f}, {9, 10, 0.1f}};
} // namespace

HbIntHashMap* HeroMapTransitions()
{
    return Table(0);
}

HbIntHashMap* HeroSapTransitions()
{
    return Table(1);
}

HbIntHashMap* HeroMapPairs()
{
    return Table(2);
}

HbIntHashMap* HeroSapPairs()
{
    return Table(3);
}

void HeroMoveTableSet(HbIntHashMap* table, int32_t from, int32_t to, float seconds, int32_t both)
{
    if (!table)
        return;
    uint32_t bits;
    std::memcpy(&bits, &seconds, sizeof bits);
    if (void** slot = table->FindOrInsert(Key(from, to)))
        *slot = reinterpret_cast<void*>(uintptr_t(bits));
    if (both)
        if (void** slot = table->FindOrInsert(Key(to, from)))
            *slot = reinterpret_cast<void*>(uintptr_t(bits));
}

int32_t HeroMoveTableFind(const HbIntHashMap* table, int32_t from, int32_t to, float* seconds)
{
    void* value = nullptr;
    if (!table || !table->Find(Key(from, to), value))
        return 0;
    const uint32_t bits = uint32_t(reinterpret_cast<uintptr_t>(value));
    if (seconds)
        std::memcpy(seconds, &bits, sizeof *seconds);
    return 1;
}

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
    for (const Pair& pair : kMapPairs)
        HeroMoveTableSet(HeroMapPairs(), pair.a, pair.b, pair.seconds, 1);
    for (const Pair& pair : kSapPairs)
        HeroMoveTableSet(HeroSapPairs(), pair.a, pair.b, pair.seconds, 1);
    gHeroTables = 1;
}

void HeroMoveTablesFree()
{
    for (int32_t which = 0; which < 4; ++which)
        Table(which)->RemoveAll();
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
