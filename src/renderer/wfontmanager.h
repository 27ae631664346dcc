// WFontManager: the cache of 2D fonts by resource id.
#pragma once

#include "hbhashmap.h"
#include "hbmemory.h"

#include <cstdint>

struct Font2d;

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

    /// The font of a resource id: cached, or read from the file registered for it (the
    /// folder up to the last separator becomes the font path, the name is the rest up to its
    /// extension). Null when the id has no file or the font cannot be read; nothing is cached then.
    Font2d* GetFont(const char* id);
    int32_t GetCachedCount() const { return mFonts.GetCount(); }

private:
    WFontManager() = default;
    Font2d* Load(const char* id);

    int32_t mOpen = 0;
    StringHashMap mFonts{17, 10};
};
