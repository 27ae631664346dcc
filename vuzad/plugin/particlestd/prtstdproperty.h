// Particle property tables: lists of (property id, size) with computed offsets that lay out
// one emitter's or one particle's record, shared by every class that asks for the same list.
#pragma once

#include <cstdint>

struct Stream;

struct PrtStdPropertyTable
{
    void* allocation;          ///< the block that holds the table and its arrays
    PrtStdPropertyTable* next; ///< in the ring of all tables
    uint32_t id;               ///< the key classes and streams refer to the table by
    int32_t refCount;
    int32_t count;
    int32_t* ids;
    int32_t* offsets;      ///< count + 1 entries: each property's offset, then the record size
    int32_t* roundedSizes; ///< each size rounded up to a multiple of 4
    int32_t* sizes;        ///< the sizes as requested

    /// A table with one reference: an existing one when every (id, size) pair matches an
    /// entry of a table of the same count whose rounded size equals the requested size (so
    /// a size that is not a multiple of 4 never matches), else a new one laid out in the
    /// requested order. Null for a negative count or size, or when memory fails.
    static PrtStdPropertyTable* Create(int32_t count, const int32_t* ids, const int32_t* sizes);
    /// Releases one reference; the last one frees the table. False for null or for a table
    /// the plug-in no longer holds (freed at engine close).
    static bool Destroy(PrtStdPropertyTable* table);
    static PrtStdPropertyTable* AddRef(PrtStdPropertyTable* table);
    /// The first entry of the id: its offset, or -1 when absent.
    static int32_t GetOffset(const PrtStdPropertyTable* table, int32_t id);
    static int32_t GetIndex(const PrtStdPropertyTable* table, int32_t id);
    static PrtStdPropertyTable* FindById(uint32_t id);
    /// Whether the table is in the ring of live tables.
    static bool IsAlive(const PrtStdPropertyTable* table);
    /// The ring pointer (the most recently created table), or null.
    static PrtStdPropertyTable* GetRing();
    // ---- Streams (chunk 37 bodies: id, count, ids, sizes as requested) ----------------------------

    static const PrtStdPropertyTable* StreamWrite(const PrtStdPropertyTable* table, Stream* stream);
    /// The stream stands inside the chunk of bodySize bytes. A table with one reference for
    /// the caller (shared when an equal one is loaded), carrying the stored id; null when
    /// the body does not hold what its count says or a size is out of range.
    static PrtStdPropertyTable* StreamRead(Stream* stream, uint32_t bodySize);
    static int32_t StreamGetSize(const PrtStdPropertyTable* table);
    /// Frees every table whatever its count (engine close).
    static void FreeAll();
};
