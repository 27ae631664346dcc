// The noise-level table: how far each named noise carries, how loud and how alarming it is.
// Footsteps, shots, ground types and scripts name noises by the rows 0..13.
#pragma once

#include <cstdint>

/// Noise types and levels of the table's rows.
enum TsNoiseType : int32_t
{
    kNoiseNormal = 0,
    kNoiseSuspect = 1,
    kNoiseAlarm = 2,
    kNoiseDanger = 3,
};
enum TsNoiseLevel : int32_t
{
    kNoiseNone = 0,
    kNoiseLight = 25,
    kNoiseMedium = 50,
    kNoiseHeavy = 75,
    kNoiseSaturate = 100,
};

struct TsNoiseRow
{
    const char* name;
    int32_t radius;
    int32_t level;
    int32_t type;
};

constexpr int32_t kTsNoiseRowCount = 14;

/// The row of the index; a row outside 0..13 (an unknown name stores -1, scripts pass any
/// integer) reads as row 0, NONE.
const TsNoiseRow& TsNoiseRowAt(int32_t row);
/// The row of a name of the table (exact, case-sensitive), or -1.
int32_t TsNoiseRowByName(const char* name);

int32_t TsGetSoundRadius(int32_t row);
int32_t TsGetSoundLevel(int32_t row);
bool TsSoundLevelIsNormal(int32_t row);
bool TsSoundLevelIsSuspect(int32_t row);
bool TsSoundLevelIsAlarm(int32_t row);
bool TsSoundLevelIsDanger(int32_t row);
bool TsSoundLevelIsNone(int32_t row);
bool TsSoundLevelIsLight(int32_t row);
bool TsSoundLevelIsMedium(int32_t row);
bool TsSoundLevelIsHeavy(int32_t row);
bool TsSoundLevelIsSaturate(int32_t row);
