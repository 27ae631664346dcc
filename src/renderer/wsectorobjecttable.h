// SectorObjectTable: the game objects of one world sector listed by type, so that a position
// leads to its sector and the objects of one type there without searching the whole level;
// and the world-sector extension that holds one table per sector.
#pragma once

#include "hbgrowarray.h"
#include "hbhashmap.h"
#include "hbroot.h"

#include <cstdint>

struct WorldSector;

class SectorObjectTable : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    static constexpr int32_t kPluginId = 0x123407;

    /// Registers the sector extension (an engine plug-in list entry): a table pointer that
    /// holds one reference, null at creation, shared by copies. 1, or 0 when refused.
    static int Attach();
    /// The address of the sector's extension; null before the extension is attached.
    static SectorObjectTable** Extension(WorldSector* sector);
    /// The extension's offset in every sector, -1 before it is attached.
    static int32_t GetOffset();

    SectorObjectTable() = default;
    /// Releases one reference on every listed object.
    ~SectorObjectTable() override;

    /// Lists the object under the type (the list is made on first use) and takes a
    /// reference on it. 1, or 0 when out of memory (nothing taken then).
    int32_t AddObject(int32_t type, HbRoot* object);
    /// The objects of the type (HbRoot pointers), or null when none was ever added.
    HbPtrArray* FindList(int32_t type) const;

private:
    HbIntHashMap mLists{17, 10};
};

/// The table of a sector's extension, or null.
SectorObjectTable* SectorObjectTableGet(SectorObjectTable** extension);
/// Releases the old table (destroyed at no reference) and takes a reference on the new one.
void SectorObjectTableAssign(SectorObjectTable** extension, SectorObjectTable* table);
