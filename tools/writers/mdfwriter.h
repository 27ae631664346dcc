// Writes mobile-DOF parameter files ("MDF"): one chunk 4146 holding the open and close times
// (the older layout, key2 0, only the open times), the spin speeds, the spin axis, a spare
// word and four zero-terminated names.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct MdfRecord
{
    float openTimes[3] = {};
    float closeTimes[3] = {};
    float spinStart = 0.0f;
    float spinEnd = 0.0f;
    float spinAxis[3] = {};
    int32_t spare = 0;
    std::string names[4] = {"None", "None", "None", "None"};
};

struct MdfWriter
{
    /// key2 1 writes the open and close times, key2 0 only the open ones. The header's value
    /// word is 1 unless told.
    static std::vector<uint8_t> Bytes(const MdfRecord& record, uint32_t key2 = 1, uint32_t value = 1);
};
