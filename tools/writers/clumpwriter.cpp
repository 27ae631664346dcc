// Clump chunk writer: the byte layout the engine's clump reader takes, written field by
// field in little-endian order.
#include "clumpwriter.h"

#include "chunk.h"
#include "writerbytes_local.h"

#include <cstring>

namespace
{

constexpr uint32_t kChunkClump = 16;
constexpr uint32_t kChunkGeometryList = 26;
constexpr uint32_t kChunkAtomic = 20;
constexpr uint32_t kChunkLight = 18;

using Bytes = WriterBytes;

/// A struct chunk holding one frame index.
std::vector<uint8_t> IndexStruct(int32_t index, uint32_t version)
{
    Bytes b;
    b.Header(kChunkStruct, 4, version);
    b.U32(uint32_t(index));
    return b.out;
}

} // namespace

std::vector<uint8_t> ClumpWriter::WriteFrameList(const std::vector<ClumpDescription::Frame>& frames, uint32_t version)
{
    Bytes s;
    s.U32(uint32_t(frames.size()));
    for (const auto& frame : frames)
    {
        for (float f : frame.rows)
            s.Real(f);
        s.U32(uint32_t(frame.parent));
        s.U32(0); // reserved
    }
    Bytes body;
    body.Chunk(kChunkStruct, s.out, version);
    for (const auto& frame : frames)
        body.Chunk(kChunkExtension, frame.extension, version);
    Bytes chunk;
    chunk.Chunk(kChunkFrameList, body.out, version);
    return chunk.out;
}

std::vector<uint8_t> ClumpWriter::WriteLight(const ClumpDescription::Light& light, uint32_t version)
{
    Bytes s;
    s.Real(light.radius);
    for (float f : light.colour)
        s.Real(f);
    s.Real(light.minusCosAngle);
    s.U16(light.flags);
    s.U16(light.type);
    Bytes body;
    body.Chunk(kChunkStruct, s.out, version);
    body.Chunk(kChunkExtension, light.extension, version);
    Bytes chunk;
    chunk.Chunk(kChunkLight, body.out, version);
    return chunk.out;
}

std::vector<uint8_t> ClumpWriter::WriteCamera(const ClumpDescription::Camera& camera, uint32_t version)
{
    Bytes s;
    for (float f : camera.viewWindow)
        s.Real(f);
    for (float f : camera.viewOffset)
        s.Real(f);
    s.Real(camera.nearPlane);
    s.Real(camera.farPlane);
    s.Real(camera.fogPlane);
    s.U32(camera.projection);
    Bytes body;
    body.Chunk(kChunkStruct, s.out, version);
    body.Header(kChunkExtension, 0, version);
    Bytes chunk;
    chunk.Chunk(kChunkCamera, body.out, version);
    return chunk.out;
}

std::vector<uint8_t> ClumpWriter::Write(const ClumpDescription& c)
{
    const uint32_t v = c.version;
    Bytes body;
    Bytes counts;
    counts.U32(uint32_t(c.atomics.size()));
    counts.U32(uint32_t(c.lights.size()));
    counts.U32(uint32_t(c.cameras.size()));
    body.Chunk(kChunkStruct, counts.out, v);
    body.Append(WriteFrameList(c.frames, v));

    Bytes list;
    Bytes count;
    count.U32(uint32_t(c.geometries.size()));
    list.Chunk(kChunkStruct, count.out, v);
    for (const auto& geometry : c.geometries)
        list.Append(GeometryWriter::Write(geometry));
    body.Chunk(kChunkGeometryList, list.out, v);

    for (const auto& atomic : c.atomics)
    {
        Bytes s;
        s.U32(uint32_t(atomic.frame));
        s.U32(uint32_t(atomic.geometry));
        s.U32(atomic.flags);
        s.U32(0); // reserved
        Bytes a;
        a.Chunk(kChunkStruct, s.out, v);
        if (c.geometries.empty())
            a.Append(GeometryWriter::Write(atomic.ownGeometry));
        a.Chunk(kChunkExtension, atomic.extension, v);
        body.Chunk(kChunkAtomic, a.out, v);
    }
    for (const auto& light : c.lights)
    {
        body.Append(IndexStruct(light.frame, v));
        body.Append(WriteLight(light, v));
    }
    for (const auto& camera : c.cameras)
    {
        body.Append(IndexStruct(camera.frame, v));
        body.Append(WriteCamera(camera, v));
    }
    body.Chunk(kChunkExtension, c.extension, v);
    Bytes chunk;
    chunk.Chunk(kChunkClump, body.out, v);
    return chunk.out;
}
