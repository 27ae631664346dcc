// State shared by the vertex-shader generator and its cache: what the cache's open read
// from the device.
#pragma once

#include <cstdint>

struct VertexShaderSettings
{
    int32_t model;           ///< kVsModel*; kVsModelNone generates nothing
    int32_t constantCount;   ///< the device's vertex-shader constants, at most 256
    bool wFog;               ///< W-based table fog: fog needs no register of its own
    uint8_t effectCounts[64]; ///< constants each effect kind reads
};

VertexShaderSettings& VsSettings();
