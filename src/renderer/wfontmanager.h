// WFontManager: the cache of 2D fonts by resource id. Reading fonts comes with the fonts.
#pragma once

#include "hbmemory.h"

#include <cstdint>

class WFontManager : public HbAllocated
{
public:
    /// The manager, made on first use and destroyed by the exit list; null when out of memory.
    static WFontManager* Instance();

    /// At renderer start. 1.
    int32_t Open();
    /// At renderer stop: every cached font destroyed. 1.
    int32_t Close();
    bool IsOpen() const { return mOpen != 0; }

private:
    WFontManager() = default;

    int32_t mOpen = 0;
};
