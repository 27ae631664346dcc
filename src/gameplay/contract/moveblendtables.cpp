// The soldiers' blend tables, and whether the hero's tables and the turn curve are made.
#include "moveblendtables.h"

#include "hbhashmap.h"

#include <cstring>

namespace
{
int32_t gPnjTables = 0;
HbIntHashMap* gPnjMap = nullptr;
HbIntHashMap* gPnjSap = nullptr;
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

namespace
{
constexpr int32_t kAll = 0xFFFF;


struct BlendRow
{
    int32_t from;
    int32_t to;
    float seconds;
    int32_t both;
};

// Stand 3, 11 and RotateWalk 14 ease into the neutralised fall; every death and the
// neutralised fall cut in at once; the strike (55) and the hit strike (77) start at once and
// leave slowly or in 0.2 s.
constexpr BlendRow kMapRows[] = {
    {3, 49, 0.5f, 1},    {11, 49, 0.5f, 1},   {14, 49, 0.5f, 1},    {kAll, 91, 0.0f, 1}, {kAll, 43, 0.0f, 1},
    {kAll, 44, 0.0f, 1}, {kAll, 45, 0.0f, 1}, {kAll, 46, 0.0f, 1},  {kAll, 47, 0.0f, 1}, {kAll, 48, 0.0f, 1},
    {kAll, 49, 0.0f, 1}, {kAll, 55, 0.0f, 0}, {55, kAll, 10.0f, 0}, {kAll, 77, 0.0f, 0}, {77, kAll, 0.2f, 0},
};
// The three hits of the upper body cut in and fade out in 0.2 s.
constexpr BlendRow kSapRows[] = {
    {kAll, 14, 0.0f, 0}, {kAll, 13, 0.0f, 0}, {kAll, 12, 0.0f, 0},
    {14, kAll, 0.2f, 0}, {13, kAll, 0.2f, 0}, {12, kAll, 0.2f, 0},
};

void FreeTable(HbIntHashMap*& table)
{
    delete table;
    table = nullptr;
}
} // namespace

int32_t PnjSetBlendTime(HbIntHashMap* table, int32_t from, int32_t to, float seconds, int32_t both)
{
    if (!table)
        return 1;
    // The players keep a real in the bits of the value pointer.
    uint32_t bits;
    std::memcpy(&bits, &seconds, sizeof bits);
    *table->FindOrInsert(Key(from, to)) = reinterpret_cast<void*>(uintptr_t(bits));
    if (both)
        *table->FindOrInsert(Key(to, from)) = reinterpret_cast<void*>(uintptr_t(bits));
    return 1;
}

float PnjGetBlendTime(const HbIntHashMap* table, int32_t from, int32_t to)
{
    void* value = nullptr;
    if (!table || !table->Find(Key(from, to), value))
        return -1.0f;
    const uint32_t bits = uint32_t(reinterpret_cast<uintptr_t>(value));
    float seconds;
    std::memcpy(&seconds, &bits, sizeof seconds);
    return seconds;
}

void PnjMoveBlendTablesInit()
{
    if (!gPnjMap)
        gPnjMap = new HbIntHashMap();
    if (!gPnjSap)
        gPnjSap = new HbIntHashMap();
    gPnjMap->RemoveAll();
    gPnjSap->RemoveAll();
    for (const BlendRow& row : kMapRows)
        PnjSetBlendTime(gPnjMap, row.from, row.to, row.seconds, row.both);
    for (const BlendRow& row : kSapRows)
        PnjSetBlendTime(gPnjSap, row.from, row.to, row.seconds, row.both);
    gPnjTables = 1;
}

void PnjMoveTablesFree()
{
    FreeTable(gPnjMap);
    FreeTable(gPnjSap);
    gPnjTables = 0;
}

HbIntHashMap* PnjMapTransitions()
{
    return gPnjMap;
}

HbIntHashMap* PnjSapTransitions()
{
    return gPnjSap;
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
