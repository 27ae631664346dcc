// Geometry chunk writer: the byte layout the engine's geometry reader takes, written field
// by field in little-endian order.
#include "geometrywriter.h"

#include "chunk.h"
#include "writerbytes_local.h"

#include <cstring>

namespace
{

using Bytes = WriterBytes;

constexpr uint32_t kMatFxPluginId = 288;

// A string chunk: the characters, a terminator and zeros up to a multiple of 4.
void StringChunk(Bytes& out, const std::string& text, uint32_t version)
{
    const size_t size = (text.size() + 4) & ~size_t(3);
    out.Header(kChunkString, size, version);
    out.out.insert(out.out.end(), text.begin(), text.end());
    out.out.insert(out.out.end(), size - text.size(), 0);
}

std::vector<uint8_t> TextureChunk(const GeometryDescription::Material& material, uint32_t version)
{
    Bytes body;
    body.Header(kChunkStruct, 4, version);
    body.U32(material.textureFilterAddressing);
    StringChunk(body, material.texture, version);
    StringChunk(body, material.mask, version);
    body.Header(kChunkExtension, 0, version);
    Bytes chunk;
    chunk.Header(kChunkTexture, body.out.size(), version);
    chunk.Append(body.out);
    return chunk.out;
}

std::vector<uint8_t> MaterialChunk(const GeometryDescription::Material& material, uint32_t version)
{
    Bytes body;
    body.Header(kChunkStruct, 28, version);
    body.U32(0);
    body.out.insert(body.out.end(), material.colour.begin(), material.colour.end());
    body.U32(0);
    body.U32(material.texture.empty() ? 0 : 1);
    body.Real(material.ambient);
    body.Real(material.specular);
    body.Real(material.diffuse);
    if (!material.texture.empty())
        body.Append(TextureChunk(material, version));
    body.Header(kChunkExtension, material.extension.size(), version);
    body.Append(material.extension);
    Bytes chunk;
    chunk.Header(7, body.out.size(), version);
    chunk.Append(body.out);
    return chunk.out;
}

} // namespace

std::vector<uint8_t> GeometryWriter::WriteMaterialList(const std::vector<GeometryDescription::Material>& materials,
                                                       const std::vector<int32_t>& entries, uint32_t version)
{
    Bytes body;
    body.Header(kChunkStruct, 4 + 4 * entries.size(), version);
    body.U32(uint32_t(entries.size()));
    std::vector<uint8_t> chunks;
    for (size_t k = 0; k < entries.size(); ++k)
    {
        int32_t word = -1;
        for (size_t j = k; j-- > 0;)
            if (entries[j] == entries[k])
            {
                word = int32_t(j);
                break;
            }
        body.U32(uint32_t(word));
        if (word < 0)
        {
            std::vector<uint8_t> chunk = MaterialChunk(materials[size_t(entries[k])], version);
            chunks.insert(chunks.end(), chunk.begin(), chunk.end());
        }
    }
    body.Append(chunks);
    Bytes list;
    list.Header(8, body.out.size(), version);
    list.Append(body.out);
    return list.out;
}

std::vector<uint8_t>
GeometryWriter::WriteMeshExtension(uint32_t flags, const std::vector<std::pair<int32_t, std::vector<uint32_t>>>& meshes)
{
    Bytes body;
    uint32_t total = 0;
    for (const auto& mesh : meshes)
        total += uint32_t(mesh.second.size());
    body.U32(flags);
    body.U32(uint32_t(meshes.size()));
    body.U32(total);
    for (const auto& mesh : meshes)
    {
        body.U32(uint32_t(mesh.second.size()));
        body.U32(uint32_t(mesh.first));
        for (uint32_t index : mesh.second)
            body.U32(index);
    }
    Bytes chunk;
    chunk.Header(1294, body.out.size(), kLibraryVersion);
    chunk.Append(body.out);
    return chunk.out;
}

std::vector<uint8_t> GeometryWriter::WriteMatFxBump(float bumpiness, const std::string& bumpMap,
                                                    uint32_t filterAddressing)
{
    GeometryDescription::Material map;
    map.texture = bumpMap;
    map.textureFilterAddressing = filterAddressing;
    Bytes body;
    body.U32(1); // the bump-map kind
    body.U32(1); // first slot: bump
    body.Real(-bumpiness);
    body.U32(0); // no drawn texture
    body.U32(1);
    body.Append(TextureChunk(map, kLibraryVersion));
    body.U32(0); // second slot: none
    Bytes chunk;
    chunk.Header(kMatFxPluginId, body.out.size(), kLibraryVersion);
    chunk.Append(body.out);
    return chunk.out;
}

std::vector<uint8_t> GeometryWriter::WriteMatFxFlag()
{
    Bytes chunk;
    chunk.Header(kMatFxPluginId, 4, kLibraryVersion);
    chunk.U32(1);
    return chunk.out;
}

std::vector<uint8_t> GeometryWriter::Write(const GeometryDescription& g)
{
    Bytes s;
    bool old = g.version == 0x34000;
    s.U32(g.format);
    s.U32(uint32_t(g.triangles.size()));
    s.U32(uint32_t(g.numVertices));
    s.U32(uint32_t(g.targets.size()));
    if (old)
    {
        s.Real(1.0f);
        s.Real(1.0f);
        s.Real(1.0f);
    }
    // The arrays go inside the struct chunk, as a world's leaves keep theirs; the older
    // layout puts them after a struct that holds the head alone.
    if (!(g.format & 0x1000000) && g.numVertices > 0)
    {
        for (const auto& colour : g.prelit)
            s.out.insert(s.out.end(), colour.begin(), colour.end());
        for (const auto& set : g.texCoords)
            for (float f : set)
                s.Real(f);
        for (const auto& t : g.triangles)
        {
            s.U16(t.v1);
            s.U16(t.v0);
            s.U16(uint16_t(t.material));
            s.U16(t.v2);
        }
    }
    for (const auto& target : g.targets)
    {
        for (float f : target.sphere)
            s.Real(f);
        s.U32(target.positions.empty() ? 0 : 1);
        s.U32(target.normals.empty() ? 0 : 1);
        for (float f : target.positions)
            s.Real(f);
        for (float f : target.normals)
            s.Real(f);
    }
    Bytes body;
    body.Header(kChunkStruct, g.arraysAfterStruct ? (old ? 28 : 16) : s.out.size(), g.version);
    body.Append(s.out);
    body.Append(WriteMaterialList(g.materials, g.listEntries, g.version));
    body.Header(kChunkExtension, g.extension.size(), g.version);
    body.Append(g.extension);
    Bytes chunk;
    chunk.Header(15, body.out.size(), g.version);
    chunk.Append(body.out);
    return chunk.out;
}
