// The stream form of clumps: the clump chunk with its frame list, geometry list, atomics,
// lights and cameras, each object tied to a frame and a geometry of the lists by index.
#include "clump.h"

#include "frame.h"
#include "framelist.h"
#include "geometry.h"
#include "light.h"
#include "memory.h"
#include "world_local.h"

#include <cstring>

namespace
{

constexpr uint32_t kChunkGeometry = 15;
constexpr uint32_t kChunkLight = 18;
constexpr uint32_t kChunkAtomic = 20;
constexpr uint32_t kChunkGeometryList = 26;
constexpr uint32_t kGeometryListHint = kMemoryHintObject | 0xF;
constexpr uint32_t kAtomicStructSize = 16;
constexpr uint32_t kClumpStructSize = 12;

uint32_t Get32(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

/// Reads at most want bytes of a struct chunk's body into a zero-filled record and keeps
/// the stream in step past a longer body. False with the error set.
bool ReadStruct(Stream* stream, uint8_t* record, uint32_t want, uint32_t least)
{
    uint32_t size = 0, version = 0;
    if (!FindStructChunk(stream, &size, &version))
        return false;
    std::memset(record, 0, want);
    uint32_t take = size < want ? size : want;
    if (size < least || !Stream::ReadWords(stream, record, take) || (size > take && !Stream::Skip(stream, size - take)))
    {
        WorldError(kErrStreamRead);
        return false;
    }
    return true;
}

/// The geometries of a clump's geometry list, one reference each.
struct GeometryList
{
    Geometry** items = nullptr;
    int32_t count = 0;

    void Release()
    {
        for (int32_t i = 0; i < count; ++i)
            Geometry::Destroy(items[i]);
        Memory::Free(items);
        items = nullptr;
        count = 0;
    }
};

/// The list's array grows as geometries arrive, so a stored count the stream does not
/// back allocates nothing.
bool ReadGeometryList(Stream* stream, GeometryList* list)
{
    uint8_t record[4];
    if (!Stream::FindChunk(stream, kChunkGeometryList, nullptr, nullptr) || !ReadStruct(stream, record, 4, 4))
        return false;
    auto stored = int32_t(Get32(record));
    int32_t capacity = 0;
    for (int32_t i = 0; i < stored; ++i)
    {
        if (i == capacity)
        {
            int32_t next = capacity ? (capacity > stored / 2 ? stored : 2 * capacity) : (stored < 16 ? stored : 16);
            size_t bytes = sizeof(Geometry*) * size_t(next);
            void* grown = list->items ? Memory::Reallocate(list->items, bytes, kGeometryListHint)
                                      : Memory::Allocate(bytes, kGeometryListHint);
            if (!grown)
            {
                WorldError(kErrNoMemory);
                return false;
            }
            list->items = static_cast<Geometry**>(grown);
            capacity = next;
        }
        Geometry* geometry = nullptr;
        uint32_t size = 0;
        if (!Stream::FindChunk(stream, kChunkGeometry, &size, nullptr) ||
            !(geometry = Geometry::StreamRead(stream, size)))
            return false;
        list->items[list->count++] = geometry;
    }
    return true;
}

/// A struct chunk holding a frame index, which must name a frame of the list.
Frame* ReadFrameIndex(Stream* stream, const FrameList* frames)
{
    uint8_t record[4];
    if (!ReadStruct(stream, record, 4, 4))
        return nullptr;
    auto index = int32_t(Get32(record));
    if (index < 0 || index >= frames->numFrames)
    {
        WorldError(kErrStreamRead);
        return nullptr;
    }
    return frames->frames[index];
}

/// The clump owns frame 0's hierarchy only: a second root would be left behind.
bool SingleHierarchy(const FrameList* frames)
{
    for (int32_t i = 1; i < frames->numFrames; ++i)
        if (!frames->frames[i]->parent)
            return false;
    return true;
}

} // namespace

Atomic* Atomic::StreamRead(Stream* stream, const FrameList* frames, Geometry* const* geometries, int32_t numGeometries)
{
    uint8_t record[kAtomicStructSize];
    if (!ReadStruct(stream, record, kAtomicStructSize, 0))
        return nullptr;
    auto frameIndex = int32_t(Get32(record)), geometryIndex = int32_t(Get32(record + 4));
    Atomic* atomic = Create();
    if (!atomic)
        return nullptr;
    atomic->object.flags = record[8];
    bool ok = true;
    if (frames->numFrames > 0)
    {
        ok = frameIndex >= 0 && frameIndex < frames->numFrames;
        if (ok)
            SetFrame(atomic, frames->frames[frameIndex]);
    }
    if (ok && numGeometries > 0)
    {
        ok = geometryIndex >= 0 && geometryIndex < numGeometries;
        if (ok)
            SetGeometry(atomic, geometries[geometryIndex], 0);
    }
    else if (ok)
    {
        Geometry* own = nullptr;
        uint32_t size = 0;
        ok = Stream::FindChunk(stream, kChunkGeometry, &size, nullptr) && (own = Geometry::StreamRead(stream, size));
        if (ok)
        {
            SetGeometry(atomic, own, 0);
            Geometry::Destroy(own);
        }
    }
    RightsRecord* rights = PendingRights(kRightsAtomic);
    *rights = {};
    ok = ok && PluginRegistry::ReadExtensionChunk(Registry(), stream, atomic);
    if (!ok)
    {
        WorldError(kErrStreamRead);
        Destroy(atomic);
        return nullptr;
    }
    if (rights->pluginId != 0)
        PluginRegistry::CallRightsCallback(Registry(), rights->pluginId, atomic, rights->extraData);
    return atomic;
}

Clump* Clump::StreamRead(Stream* stream)
{
    uint8_t counts[kClumpStructSize];
    if (!ReadStruct(stream, counts, kClumpStructSize, kClumpStructSize))
        return nullptr;
    auto numAtomics = int32_t(Get32(counts)), numLights = int32_t(Get32(counts + 4)),
         numCameras = int32_t(Get32(counts + 8));
    Clump* clump = Create();
    if (!clump)
        return nullptr;
    FrameList frames = {nullptr, 0};
    if (!Stream::FindChunk(stream, kChunkFrameList, nullptr, nullptr) || !FrameList::StreamRead(stream, &frames))
    {
        WorldError(kErrStreamRead);
        Destroy(clump);
        return nullptr;
    }
    if (frames.numFrames > 0)
        clump->frame = frames.frames[0];
    GeometryList geometries;
    bool ok = SingleHierarchy(&frames);
    if (!ok)
    {
        // Frames outside frame 0's hierarchy are not the clump's: free them here.
        for (int32_t i = 1; i < frames.numFrames; ++i)
            if (!frames.frames[i]->parent)
                Frame::DestroyHierarchy(frames.frames[i]);
    }
    ok = ok && ReadGeometryList(stream, &geometries);
    for (int32_t i = 0; ok && i < numAtomics; ++i)
    {
        Atomic* atomic = nullptr;
        ok = Stream::FindChunk(stream, kChunkAtomic, nullptr, nullptr) &&
             (atomic = Atomic::StreamRead(stream, &frames, geometries.items, geometries.count));
        if (ok)
            AddAtomic(clump, atomic);
    }
    for (int32_t i = 0; ok && i < numLights; ++i)
    {
        Frame* frame = ReadFrameIndex(stream, &frames);
        Light* light = nullptr;
        ok = frame && Stream::FindChunk(stream, kChunkLight, nullptr, nullptr) && (light = Light::StreamRead(stream));
        if (ok)
        {
            Light::SetFrame(light, frame);
            AddLight(clump, light);
        }
    }
    for (int32_t i = 0; ok && i < numCameras; ++i)
    {
        Frame* frame = ReadFrameIndex(stream, &frames);
        Camera* camera = nullptr;
        ok =
            frame && Stream::FindChunk(stream, kChunkCamera, nullptr, nullptr) && (camera = Camera::StreamRead(stream));
        if (ok)
        {
            FrameObject::SetFrame(&camera->object, frame);
            AddCamera(clump, camera);
        }
    }
    geometries.Release();
    FrameList::Deinit(&frames);
    ok = ok && PluginRegistry::ReadExtensionChunk(Registry(), stream, clump);
    if (!ok)
    {
        WorldError(kErrStreamRead);
        Destroy(clump);
        return nullptr;
    }
    return clump;
}
