// Mesh building: triangles gathered with their materials, sorted so that opaque materials
// come first and materials sharing a raster, pipeline or texture lie together, then laid
// out as one triangle list per material, reordered so that neighbouring triangles do not
// share vertices.
#include "geometry.h"
#include "memory.h"
#include "world_local.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace
{

constexpr uint32_t kBuilderHint = kMemoryHintResize | kMemoryHintTemporary | 0x502;
constexpr uint32_t kHeaderHint = kMemoryHintObject | 0x502;

int CompareEntries(const void* a, const void* b)
{
    const auto* x = static_cast<const MeshBuilder::Entry*>(a);
    const auto* y = static_cast<const MeshBuilder::Entry*>(b);
    if (x->material == y->material)
        return 0;
    bool tx = Material::IsTransparent(x->material), ty = Material::IsTransparent(y->material);
    if (tx != ty)
        return tx ? 1 : -1;
    const uint16_t keysX[] = {x->rasterIndex, x->pipelineIndex, x->textureIndex, x->materialIndex};
    const uint16_t keysY[] = {y->rasterIndex, y->pipelineIndex, y->textureIndex, y->materialIndex};
    for (int i = 0; i < 4; ++i)
        if (keysX[i] != keysY[i])
            return keysX[i] < keysY[i] ? -1 : 1;
    return 0;
}

/// Index of value among the distinct values met so far, appending it when new.
template <typename T> uint16_t NumberOf(std::vector<T>& seen, T value)
{
    auto it = std::find(seen.begin(), seen.end(), value);
    if (it != seen.end())
        return uint16_t(it - seen.begin());
    seen.push_back(value);
    return uint16_t(seen.size() - 1);
}

/// Places triangles in passes: a pass takes each unplaced triangle none of whose
/// vertices an earlier triangle of the pass used.
void ReorderList(uint16_t* indices, uint32_t numTriangles)
{
    if (numTriangles < 2)
        return;
    uint32_t maxIndex = 0;
    for (uint32_t i = 0; i < numTriangles * 3; ++i)
        maxIndex |= indices[i];
    std::vector<uint8_t> used(size_t(maxIndex) + 1);
    std::vector<uint16_t> pending(indices, indices + numTriangles * 3);
    std::vector<uint16_t> next;
    uint16_t* out = indices;
    while (!pending.empty())
    {
        std::fill(used.begin(), used.end(), 0);
        next.clear();
        for (size_t t = 0; t < pending.size(); t += 3)
        {
            const uint16_t* tri = &pending[t];
            if (used[tri[0]] || used[tri[1]] || used[tri[2]])
            {
                next.insert(next.end(), tri, tri + 3);
                continue;
            }
            used[tri[0]] = used[tri[1]] = used[tri[2]] = 1;
            std::memcpy(out, tri, 3 * sizeof(uint16_t));
            out += 3;
        }
        pending.swap(next);
    }
}

} // namespace

MeshBuilder* MeshBuilder::Create(int32_t numTriangles)
{
    auto* builder = static_cast<MeshBuilder*>(Memory::Allocate(sizeof(MeshBuilder), kBuilderHint));
    if (!builder)
    {
        WorldError(kErrNoMemory);
        return nullptr;
    }
    builder->capacity = numTriangles;
    builder->count = 0;
    builder->entries = nullptr;
    if (numTriangles > 0)
    {
        builder->entries = static_cast<Entry*>(Memory::Allocate(size_t(numTriangles) * sizeof(Entry), kBuilderHint));
        if (!builder->entries)
        {
            Memory::Free(builder);
            WorldError(kErrNoMemory);
            return nullptr;
        }
    }
    return builder;
}

void MeshBuilder::Destroy(MeshBuilder* builder)
{
    Memory::Free(builder->entries);
    Memory::Free(builder);
}

MeshBuilder* MeshBuilder::AddTriangles(MeshBuilder* builder, const Triangle* triangles, int32_t count,
                                       const MaterialList* materials, int32_t materialBase)
{
    std::vector<const void*> textures, rasters, pipelines;
    for (int32_t t = 0; t < count && builder->count < builder->capacity; ++t)
    {
        const Triangle& tri = triangles[t];
        int32_t index = tri.material < 0 ? -1 : materialBase + tri.material;
        // A triangle without a material, or naming one past the list, is not drawn.
        if (index < 0 || index >= materials->count)
            continue;
        Material* material = materials->materials[index];
        Entry& entry = builder->entries[builder->count++];
        std::memcpy(entry.vertex, tri.vertex, sizeof(entry.vertex));
        entry.spare = 0;
        entry.material = material;
        entry.materialIndex = uint16_t(index);
        entry.textureIndex = NumberOf<const void*>(textures, material->texture);
        entry.rasterIndex = NumberOf<const void*>(rasters, MaterialRaster(material));
        entry.pipelineIndex = NumberOf<const void*>(pipelines, material->pipeline);
    }
    return builder;
}

MeshHeader* MeshBuilder::BuildHeader(MeshBuilder* builder, uint32_t stripFlag)
{
    if (builder->count == 0)
    {
        Destroy(builder);
        return MeshHeader::Empty();
    }
    MeshHeader* header = (stripFlag & 1) ? BuildStrips(builder) : BuildLists(builder);
    if (header)
        Destroy(builder);
    return header;
}

void MeshBuilder::Sort(MeshBuilder* builder)
{
    std::qsort(builder->entries, size_t(builder->count), sizeof(Entry), CompareEntries);
}

MeshHeader* MeshBuilder::BuildLists(MeshBuilder* builder)
{
    Sort(builder);
    uint32_t meshes = 0;
    for (int32_t i = 0; i < builder->count; ++i)
        if (i == 0 || builder->entries[i].material != builder->entries[i - 1].material)
            ++meshes;
    size_t size = sizeof(MeshHeader) + meshes * sizeof(Mesh) + size_t(builder->count) * 3 * sizeof(uint16_t);
    auto* header = static_cast<MeshHeader*>(Memory::Allocate(size, kHeaderHint));
    if (!header)
    {
        WorldError(kErrNoMemory);
        return nullptr;
    }
    header->flags = 0;
    header->numMeshes = uint16_t(meshes);
    header->serialNumber = MeshModule::NextSerial();
    header->totalIndices = uint32_t(builder->count) * 3;
    header->firstMeshOffset = 0;
    Mesh* mesh = MeshHeader::Meshes(header) - 1;
    auto* index = reinterpret_cast<uint16_t*>(MeshHeader::Meshes(header) + meshes);
    for (int32_t i = 0; i < builder->count; ++i)
    {
        const Entry& entry = builder->entries[i];
        if (i == 0 || entry.material != builder->entries[i - 1].material)
        {
            ++mesh;
            mesh->indices = index;
            mesh->numIndices = 0;
            mesh->material = entry.material;
        }
        std::memcpy(index, entry.vertex, 3 * sizeof(uint16_t));
        index += 3;
        mesh->numIndices += 3;
    }
    Mesh* all = MeshHeader::Meshes(header);
    for (uint32_t m = 0; m < meshes; ++m)
        ReorderList(all[m].indices, all[m].numIndices / 3);
    return header;
}
