// The noise-level table and its lookups.
#include "tsnoise.h"

#include <cstring>

namespace
{
// Row 13 came last; the rows are not ordered by level.
constexpr TsNoiseRow kRows[kTsNoiseRowCount] = {
    {"NONE", 0, kNoiseNone, kNoiseNormal},
    {"LIGHT_NORMAL", 300, kNoiseLight, kNoiseNormal},
    {"LIGHT_SUSPECT", 300, kNoiseLight, kNoiseSuspect},
    {"LIGHT_DANGER", 300, kNoiseLight, kNoiseDanger},
    {"MEDIUM_NORMAL", 1000, kNoiseMedium, kNoiseNormal},
    {"MEDIUM_SUSPECT", 1000, kNoiseMedium, kNoiseSuspect},
    {"MEDIUM_ALARM", 1000, kNoiseMedium, kNoiseAlarm},
    {"MEDIUM_DANGER", 1000, kNoiseMedium, kNoiseDanger},
    {"HEAVY_NORMAL", 3000, kNoiseHeavy, kNoiseNormal},
    {"HEAVY_SUSPECT", 3000, kNoiseHeavy, kNoiseSuspect},
    {"HEAVY_ALARM", 3000, kNoiseHeavy, kNoiseAlarm},
    {"SATURATE_NORMAL", 4000, kNoiseSaturate, kNoiseNormal},
    {"SATURATE_ALARM", 4000, kNoiseSaturate, kNoiseAlarm},
    {"LIGHT_ALARM", 300, kNoiseLight, kNoiseAlarm},
};
} // namespace

const TsNoiseRow& TsNoiseRowAt(int32_t row)
{
    return kRows[row >= 0 && row < kTsNoiseRowCount ? row : 0];
}

int32_t TsNoiseRowByName(const char* name)
{
    if (!name)
        return -1;
    for (int32_t row = 0; row < kTsNoiseRowCount; ++row)
        if (std::strcmp(kRows[row].name, name) == 0)
            return row;
    return -1;
}

int32_t TsGetSoundRadius(int32_t row)
{
    return TsNoiseRowAt(row).radius;
}

int32_t TsGetSoundLevel(int32_t row)
{
    return TsNoiseRowAt(row).level;
}

bool TsSoundLevelIsNormal(int32_t row)
{
    return TsNoiseRowAt(row).type == kNoiseNormal;
}

bool TsSoundLevelIsSuspect(int32_t row)
{
    return TsNoiseRowAt(row).type == kNoiseSuspect;
}

bool TsSoundLevelIsAlarm(int32_t row)
{
    return TsNoiseRowAt(row).type == kNoiseAlarm;
}

bool TsSoundLevelIsDanger(int32_t row)
{
    return TsNoiseRowAt(row).type == kNoiseDanger;
}

bool TsSoundLevelIsNone(int32_t row)
{
    return TsNoiseRowAt(row).level == kNoiseNone;
}

bool TsSoundLevelIsLight(int32_t row)
{
    return TsNoiseRowAt(row).level == kNoiseLight;
}

bool TsSoundLevelIsMedium(int32_t row)
{
    return TsNoiseRowAt(row).level == kNoiseMedium;
}

bool TsSoundLevelIsHeavy(int32_t row)
{
    return TsNoiseRowAt(row).level == kNoiseHeavy;
}

bool TsSoundLevelIsSaturate(int32_t row)
{
    return TsNoiseRowAt(row).level == kNoiseSaturate;
}
