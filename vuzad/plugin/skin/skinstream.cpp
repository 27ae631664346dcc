// The skin's stream layouts: the geometry extension (current, older and native) and the
// older atomic-side one. Every count and byte is checked against the bone count and what
// the sub-chunk still holds before anything is allocated or indexed.
#include "skin.h"

#include "byteorder.h"
#include "chunk.h"
#include "clump.h"
#include "error.h"
#include "geometry.h"
#include "matrix.h"
#include "memory.h"
#include "stream.h"

#include <cstring>

namespace
{

constexpr uint32_t kHintSkin = kMemoryHintObject | 0x116;
constexpr int32_t kNativePlatform = 9;

Stream* Refuse()
{
    Error::Report(0, kErrStreamRead);
    return nullptr;
}

bool ReadBytes(Stream* stream, void* out, size_t size)
{
    return size == 0 || Stream::Read(stream, out, uint32_t(size)) == size;
}

bool ReadReals(Stream* stream, float* out, size_t count)
{
    if (!ReadBytes(stream, out, count * 4))
        return false;
    for (size_t i = 0; i < count; ++i)
    {
        uint32_t word;
        std::memcpy(&word, out + i, 4);
        word = ByteOrder::Load32(reinterpret_cast<const uint8_t*>(&word));
        std::memcpy(out + i, &word, 4);
    }
    return true;
}

bool ReadWords(Stream* stream, uint32_t* out, size_t count)
{
    if (!ReadBytes(stream, out, count * 4))
        return false;
    for (size_t i = 0; i < count; ++i)
        out[i] = ByteOrder::Load32(reinterpret_cast<const uint8_t*>(out + i));
    return true;
}

// Every bone byte of a weighted slot must name one of the skin's bones. Exporters leave any
// byte in a slot without weight: those are set to bone 0 so nothing indexes past the bones.
bool BonesInRange(Skin* skin)
{
    for (int32_t v = 0; v < skin->vertexCount; ++v)
        for (int k = 0; k < 4; ++k)
        {
            const int32_t shift = 8 * k;
            if (int32_t((skin->vertexBoneIndices[v] >> shift) & 0xFF) < skin->boneCount)
                continue;
            if (skin->vertexWeights[4 * v + k] != 0.0f)
                return false;
            skin->vertexBoneIndices[v] &= ~(0xFFu << shift);
        }
    return true;
}

// Older layouts keep no maximum: one more slot for every vertex that uses it.
void DeriveMaxWeights(Skin* skin)
{
    skin->maxWeights = 1;
    for (int32_t v = 0; v < skin->vertexCount; ++v)
        while (skin->maxWeights < 4 && skin->vertexWeights[4 * v + skin->maxWeights] != 0.0f)
            ++skin->maxWeights;
}

void DeriveUsedBones(Skin* skin)
{
    uint8_t list[256];
    int32_t count = 0;
    Skin::ComputeUsedBones(skin, skin->vertexBoneIndices, skin->vertexWeights, list, &count, skin->vertexCount);
    std::memcpy(skin->usedBones, list, size_t(count));
    skin->usedBoneCount = count;
}

// Indices, weights and matrices (each after `skipBefore` unused bytes) as the older layouts
// hold them; then the maximum and the used bones derived.
bool ReadOlderBody(Stream* stream, Skin* skin, uint32_t skipBefore)
{
    if (!ReadWords(stream, skin->vertexBoneIndices, size_t(skin->vertexCount)) ||
        !ReadReals(stream, skin->vertexWeights, 4 * size_t(skin->vertexCount)))
        return false;
    for (int32_t b = 0; b < skin->boneCount; ++b)
        if (!Stream::Skip(stream, skipBefore) || !ReadReals(stream, &skin->inverseMatrices[b].right.x, 16))
            return false;
    if (!BonesInRange(skin))
        return false;
    DeriveMaxWeights(skin);
    DeriveUsedBones(skin);
    return true;
}

void ClearSplit(Skin* skin)
{
    Memory::Free(skin->splitBlock);
    skin->splitBlock = skin->meshRuns = skin->boneRuns = nullptr;
    skin->splitBoneLimit = skin->splitMeshCount = skin->splitRunCount = 0;
}

bool ReadSplit(Stream* stream, Skin* skin, int64_t left, const Geometry* geometry)
{
    uint32_t words[3];
    if (left < 12 || !ReadWords(stream, words, 3))
        return false;
    left -= 12;
    const int64_t meshes = int32_t(words[1]);
    const int64_t runs = int32_t(words[2]);
    if (meshes == 0)
        return true;
    const MeshHeader* header = geometry->meshHeader;
    const int64_t meshLimit = header && header->numMeshes > 0 ? header->numMeshes : 65535;
    if (meshes < 0 || runs < 0 || meshes > meshLimit || runs > 65535 ||
        int64_t(skin->boneCount) + 2 * (meshes + runs) > left)
        return false;
    const size_t size = size_t(skin->boneCount) + 2 * size_t(meshes + runs);
    ClearSplit(skin);
    auto* block = static_cast<uint8_t*>(Memory::AllocateZeroed(1, size, kHintSkin));
    if (!block)
        return false;
    skin->splitBlock = block;
    if (!ReadBytes(stream, block, size))
    {
        ClearSplit(skin);
        return false;
    }
    const uint8_t* meshRuns = block + skin->boneCount;
    const uint8_t* boneRuns = meshRuns + 2 * meshes;
    // Runs index the run table and the remap table: both must stay inside them.
    bool good = true;
    for (int64_t m = 0; m < meshes && good; ++m)
        good = int64_t(meshRuns[2 * m]) + meshRuns[2 * m + 1] <= runs;
    for (int64_t r = 0; r < runs && good; ++r)
        good = int32_t(boneRuns[2 * r]) + boneRuns[2 * r + 1] <= skin->boneCount;
    if (!good)
    {
        ClearSplit(skin);
        return false;
    }
    skin->splitBoneLimit = int32_t(words[0]);
    skin->splitMeshCount = int32_t(meshes);
    skin->splitRunCount = int32_t(runs);
    skin->meshRuns = block + skin->boneCount;
    skin->boneRuns = skin->meshRuns + 2 * meshes;
    return true;
}

Stream* NativeStreamRead(Stream* stream, int32_t length, Geometry* geometry)
{
    uint32_t type = 0, size = 0, version = 0;
    if (length < int32_t(kChunkHeaderSize) + 8 || !Stream::ReadChunkHeader(stream, &type, &size, &version, nullptr) ||
        type != kChunkStruct)
        return Refuse();
    if (version < 0x34000 || version > 0x36003)
    {
        Error::Report(Skin::kPluginId, kErrBadVersion);
        return nullptr;
    }
    uint32_t words[2];
    if (size < 8 || size > uint32_t(length) - kChunkHeaderSize || !ReadWords(stream, words, 2))
        return Refuse();
    if (int32_t(words[0]) != kNativePlatform || words[1] > uint32_t(Skin::kMaxBones))
        return nullptr;
    Skin* skin = Skin::Create();
    if (!skin)
        return nullptr;
    skin->boneCount = int32_t(words[1]);
    const uint32_t rest = uint32_t(length) - kChunkHeaderSize - 8;
    if (rest > 0 && !Stream::Skip(stream, rest))
    {
        Skin::Destroy(skin);
        return nullptr;
    }
    SkinGeometry::SetSkin(geometry, skin);
    return stream;
}

Skin* ReadCurrent(Stream* stream, int64_t length, const uint8_t head[4], Geometry* geometry)
{
    const int32_t bones = head[0];
    const int32_t used = head[1];
    const int32_t maxWeights = head[2];
    const int64_t vertices = geometry->numVertices;
    int64_t left = length - 4;
    const int64_t fixed = used + 20 * vertices + 64 * int64_t(bones);
    if (maxWeights < 1 || maxWeights > 4 || used > bones || fixed + 12 > left)
        return nullptr;
    Skin* skin = Skin::Create();
    if (!skin)
        return nullptr;
    if (!Skin::AllocateData(skin, bones, used, int32_t(vertices), nullptr, nullptr, nullptr, nullptr) ||
        !ReadBytes(stream, skin->usedBones, size_t(used)) ||
        !ReadWords(stream, skin->vertexBoneIndices, size_t(vertices)) ||
        !ReadReals(stream, skin->vertexWeights, 4 * size_t(vertices)) ||
        !ReadReals(stream, &skin->inverseMatrices[0].right.x, 16 * size_t(bones)))
        return Skin::Destroy(skin);
    skin->maxWeights = maxWeights;
    left -= fixed;
    bool good = BonesInRange(skin);
    for (int32_t i = 0; i < used && good; ++i)
        good = skin->usedBones[i] < bones;
    if (!good || !ReadSplit(stream, skin, left, geometry))
        return Skin::Destroy(skin);
    return skin;
}

Skin* ReadOlder(Stream* stream, int64_t length, const uint8_t head[4], Geometry* geometry)
{
    const int32_t bones = head[0];
    const int64_t vertices = geometry->numVertices;
    if (20 * vertices + 68 * int64_t(bones) > length - 4)
        return nullptr;
    Skin* skin = Skin::Create();
    if (!skin)
        return nullptr;
    if (!Skin::AllocateData(skin, bones, bones, int32_t(vertices), nullptr, nullptr, nullptr, nullptr) ||
        !ReadOlderBody(stream, skin, 4))
        return Skin::Destroy(skin);
    return skin;
}

} // namespace

Stream* Skin::StreamRead(Stream* stream, int32_t length, void* object, int32_t, int32_t)
{
    auto* geometry = static_cast<Geometry*>(object);
    if (geometry->flags & kGeometryNative)
        return NativeStreamRead(stream, length, geometry);
    uint8_t head[4];
    if (length < 4 || !ReadBytes(stream, head, 4))
        return Refuse();
    Skin* skin = head[2] != 0 ? ReadCurrent(stream, length, head, geometry) : ReadOlder(stream, length, head, geometry);
    if (!skin)
        return Refuse();
    // Bytes past the layout belong to nobody: skipped so the next sub-chunk lines up.
    int64_t consumed = 4 + 20 * int64_t(skin->vertexCount);
    if (head[2] != 0)
    {
        consumed += skin->usedBoneCount + 64 * int64_t(skin->boneCount) + 12;
        if (skin->splitMeshCount != 0)
            consumed += skin->boneCount + 2 * (skin->splitMeshCount + skin->splitRunCount);
    }
    else
        consumed += 68 * int64_t(skin->boneCount);
    if (length > consumed && !Stream::Skip(stream, uint32_t(length - consumed)))
    {
        Destroy(skin);
        return nullptr;
    }
    SkinGeometry::SetSkin(geometry, skin);
    return stream;
}

Stream* Skin::AtomicStreamRead(Stream* stream, int32_t length, void* object, int32_t, int32_t)
{
    auto* atomic = static_cast<Atomic*>(object);
    Geometry* geometry = atomic->geometry;
    if (!geometry || SkinGeometry::GetSkin(geometry) || (geometry->flags & kGeometryNative))
        return length <= 0 || Stream::Skip(stream, uint32_t(length)) ? stream : nullptr;
    uint8_t head[8];
    if (length < 8 || !ReadBytes(stream, head, 8))
        return Refuse();
    const uint32_t bones = ByteOrder::Load32(head);
    const int64_t vertices = geometry->numVertices;
    if (bones > uint32_t(kMaxBones) || 20 * vertices + 76 * int64_t(bones) > int64_t(length) - 8)
        return Refuse();
    Skin* skin = Create();
    if (!skin)
        return nullptr;
    if (!AllocateData(skin, int32_t(bones), int32_t(bones), int32_t(vertices), nullptr, nullptr, nullptr, nullptr) ||
        !ReadOlderBody(stream, skin, 12))
    {
        Destroy(skin);
        return Refuse();
    }
    const int64_t rest = int64_t(length) - 8 - 20 * vertices - 76 * int64_t(bones);
    if (rest > 0 && !Stream::Skip(stream, uint32_t(rest)))
    {
        Destroy(skin);
        return nullptr;
    }
    SkinGeometry::SetSkin(geometry, skin);
    return stream;
}

int32_t Skin::StreamGetSize(const void* object, int32_t, int32_t)
{
    const auto* geometry = static_cast<const Geometry*>(object);
    const Skin* skin = SkinGeometry::GetSkin(geometry);
    if (!skin || (geometry->flags & kGeometryNative) || !skin->data)
        return 0;
    int32_t split = 12;
    if (skin->splitMeshCount != 0)
        split += skin->boneCount + 2 * (skin->splitMeshCount + skin->splitRunCount);
    return 4 + skin->usedBoneCount + 20 * skin->vertexCount + 64 * skin->boneCount + split;
}

Stream* Skin::StreamWrite(Stream* stream, int32_t, const void* object, int32_t, int32_t)
{
    const auto* geometry = static_cast<const Geometry*>(object);
    const Skin* skin = SkinGeometry::GetSkin(geometry);
    if (!skin || (geometry->flags & kGeometryNative) || !skin->data)
        return stream;
    uint8_t word[4];
    auto put = [&](uint32_t value) {
        ByteOrder::Store32(word, value);
        return Stream::Write(stream, word, 4) != nullptr;
    };
    bool good = put(uint32_t(skin->maxWeights) << 16 | uint32_t(skin->usedBoneCount) << 8 | uint32_t(skin->boneCount));
    good = good && (skin->usedBoneCount == 0 || Stream::Write(stream, skin->usedBones, uint32_t(skin->usedBoneCount)));
    for (int32_t v = 0; v < skin->vertexCount && good; ++v)
        good = put(skin->vertexBoneIndices[v]);
    const auto* reals = reinterpret_cast<const uint32_t*>(skin->vertexWeights);
    for (int32_t i = 0; i < 4 * skin->vertexCount && good; ++i)
        good = put(reals[i]);
    const auto* matrices = reinterpret_cast<const uint32_t*>(skin->inverseMatrices);
    for (int32_t i = 0; i < 16 * skin->boneCount && good; ++i)
        good = put(matrices[i]);
    good = good && put(uint32_t(skin->splitBoneLimit)) && put(uint32_t(skin->splitMeshCount)) &&
           put(uint32_t(skin->splitRunCount));
    if (good && skin->splitMeshCount != 0)
        good = Stream::Write(stream, skin->splitBlock,
                             uint32_t(skin->boneCount + 2 * (skin->splitMeshCount + skin->splitRunCount))) != nullptr;
    if (!good)
    {
        Error::Report(0, kErrStreamWrite);
        return nullptr;
    }
    return stream;
}
