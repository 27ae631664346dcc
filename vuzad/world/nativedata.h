// Native geometry data: a geometry, or the sectors of a world, stored already instanced for
// the device (the instance record, the vertex declaration and the bytes of the index and
// vertex buffers), so that loading only fills device buffers. The data is the plug-in data
// of the native-data extension of geometries and world sectors.
#pragma once

#include <cstdint>

struct Geometry;
struct Stream;
struct WorldSector;

struct NativeData
{
    /// The id the data carries for this device family; data of any other is refused.
    static constexpr uint32_t kPlatformId = 9;

    /// Nothing is written, and the stream returned, for an object that is not native or has
    /// no instance data. Null on the first failed write or lock.
    static Stream* WriteGeometry(Stream* stream, const Geometry* geometry);
    static Stream* WriteSector(Stream* stream, const WorldSector* sector);

    /// Reads at most length bytes (the plug-in sub-chunk) into device buffers and attaches
    /// them as the object's instance data, kept outside the resource arena. Null, with
    /// nothing attached, for a version outside the readable range (0x80000004), another
    /// platform's data (no error), a record whose counts, sizes or indices disagree with
    /// what the stream holds (0x8000001A), or a device buffer that cannot be made or locked.
    static Geometry* ReadGeometry(Stream* stream, Geometry* geometry, int32_t length);
    static WorldSector* ReadSector(Stream* stream, WorldSector* sector, int32_t length);

    /// The bytes the writers write: 0 when they write nothing.
    static int32_t GeometrySize(const Geometry* geometry);
    static int32_t SectorSize(const WorldSector* sector);

    /// The stream callbacks of the native-data plug-in on geometries and world sectors.
    static int32_t Attach();
};
