// Plug-in registries: registration and its refusals, the per-object callbacks, extension
// chunks, and the registry module that owns every entry.
#include "plugin.h"

#include "chunk.h"
#include "engine.h"
#include "error.h"
#include "freelist.h"
#include "stream.h"

#include <cstring>

namespace
{

constexpr int32_t kEntriesPerBlock = 64;
constexpr uint32_t kEntryHint = kMemoryHintEngine;

FreeList sEntryList;
bool sOpen = false;
PluginRegistry* sListed = nullptr; // registries that have had entries since Open

void* KeepObject(void* object, int32_t, int32_t)
{
    return object;
}

void* KeepDestination(void* destination, const void*, int32_t, int32_t)
{
    return destination;
}

int64_t RoundUp(int64_t size)
{
    return (size + kPluginAlignment - 1) & ~int64_t(kPluginAlignment - 1);
}

PluginEntry* Find(const PluginRegistry* registry, int32_t pluginId)
{
    for (PluginEntry* e = registry->first; e; e = e->next)
        if (e->pluginId == pluginId)
            return e;
    return nullptr;
}

void Report(int32_t code)
{
    Error::Report(kCorePluginId, code);
}

} // namespace

// ---- Registration ------------------------------------------------------------------------

int32_t PluginRegistry::Register(PluginRegistry* registry, int32_t size, int32_t pluginId,
                                 PluginConstructor constructor, PluginDestructor destructor, PluginCopy copy)
{
    if (!sOpen || !registry || size < 0)
        return -1;
    if (Engine::GetOpenCount() > 0)
    {
        Report(Error::MakeCode(kErrPluginRefused));
        return -1;
    }
    if (PluginEntry* existing = Find(registry, pluginId))
    {
        Report(Error::MakeCode(kErrPluginRefused));
        return existing->offset;
    }
    // Offsets start at the base rounded for pointers, so plug-in data never straddles.
    int64_t offset = RoundUp(registry->size);
    int64_t newSize = offset + RoundUp(size);
    if (newSize > INT32_MAX || (registry->maxSize > 0 && newSize > registry->maxSize))
        return -1;
    auto* entry = static_cast<PluginEntry*>(Engine::Current()->freeListFunctions.take(&sEntryList, kEntryHint));
    if (!entry)
        return -1;
    if (!registry->listed)
    {
        registry->listed = true;
        registry->nextListed = sListed;
        sListed = registry;
    }
    *entry = {};
    entry->offset = int32_t(offset);
    entry->size = size;
    entry->pluginId = pluginId;
    entry->constructor = constructor ? constructor : KeepObject;
    entry->destructor = destructor ? destructor : KeepObject;
    entry->copy = copy ? copy : KeepDestination;
    entry->registry = registry;
    entry->prev = registry->last;
    if (registry->last)
        registry->last->next = entry;
    else
        registry->first = entry;
    registry->last = entry;
    registry->size = int32_t(newSize);
    return entry->offset;
}

int32_t PluginRegistry::GetPluginOffset(const PluginRegistry* registry, int32_t pluginId)
{
    const PluginEntry* entry = Find(registry, pluginId);
    return entry ? entry->offset : -1;
}

int32_t PluginRegistry::SetStreamCallbacks(PluginRegistry* registry, int32_t pluginId, PluginStreamRead read,
                                           PluginStreamWrite write, PluginStreamSize size)
{
    PluginEntry* entry = Find(registry, pluginId);
    if (!entry)
        return -1;
    entry->read = read;
    entry->write = write;
    entry->streamSize = size;
    return entry->offset;
}

int32_t PluginRegistry::SetAlwaysCallback(PluginRegistry* registry, int32_t pluginId, PluginAlways always)
{
    PluginEntry* entry = Find(registry, pluginId);
    if (!entry)
        return -1;
    entry->always = always;
    return entry->offset;
}

int32_t PluginRegistry::SetRightsCallback(PluginRegistry* registry, int32_t pluginId, PluginRights rights)
{
    PluginEntry* entry = Find(registry, pluginId);
    if (!entry)
        return -1;
    entry->rights = rights;
    return entry->offset;
}

// ---- Objects ------------------------------------------------------------------------------

PluginRegistry* PluginRegistry::InitObject(PluginRegistry* registry, void* object)
{
    for (PluginEntry* e = registry->first; e; e = e->next)
    {
        if (e->constructor(object, e->offset, e->size))
            continue;
        for (PluginEntry* back = e->prev; back; back = back->prev)
            back->destructor(object, back->offset, back->size);
        return nullptr;
    }
    return registry;
}

PluginRegistry* PluginRegistry::DeinitObject(PluginRegistry* registry, void* object)
{
    for (PluginEntry* e = registry->last; e; e = e->prev)
        e->destructor(object, e->offset, e->size);
    return registry;
}

PluginRegistry* PluginRegistry::CopyObject(PluginRegistry* registry, void* destination, const void* source)
{
    for (PluginEntry* e = registry->first; e; e = e->next)
        e->copy(destination, source, e->offset, e->size);
    return registry;
}

// ---- Extension chunks ------------------------------------------------------------------------

int32_t PluginRegistry::GetExtensionSize(const PluginRegistry* registry, const void* object)
{
    int32_t total = 0;
    for (const PluginEntry* e = registry->first; e; e = e->next)
    {
        if (!e->streamSize)
            continue;
        int32_t size = e->streamSize(object, e->offset, e->size);
        if (size > 0)
            total += size + int32_t(kChunkHeaderSize);
    }
    return total;
}

PluginRegistry* PluginRegistry::WriteExtensionChunk(PluginRegistry* registry, Stream* stream, const void* object)
{
    int32_t body = GetExtensionSize(registry, object);
    if (!Stream::WriteChunkHeader(stream, kChunkExtension, uint32_t(body), kLibraryVersion, kLibraryBuild))
        return nullptr;
    for (const PluginEntry* e = registry->first; e; e = e->next)
    {
        if (!e->streamSize || !e->write)
            continue;
        int32_t size = e->streamSize(object, e->offset, e->size);
        if (size <= 0)
            continue;
        if (!Stream::WriteChunkHeader(stream, uint32_t(e->pluginId), uint32_t(size), kLibraryVersion, kLibraryBuild) ||
            !e->write(stream, size, object, e->offset, e->size))
            return nullptr;
    }
    return registry;
}

namespace
{

struct SubChunkHeader
{
    uint32_t type;
    uint32_t length;
    bool ok;
};

// A sub-chunk's header by value, so that the loop below keeps its counts in registers; a
// memory stream's is decoded where it lies.
SubChunkHeader ReadSubChunkHeader(Stream* stream)
{
    StreamMemory& m = stream->memory;
    if (stream->kind == kStreamMemory && kChunkHeaderSize <= m.capacity - m.position)
    {
        const uint8_t* p = m.buffer + m.position;
        m.position += kChunkHeaderSize;
        return {ByteOrder::Load32(p), ByteOrder::Load32(p + 4), true};
    }
    uint32_t type = 0, length = 0;
    bool ok = Stream::ReadChunkHeaderAny(stream, &type, &length, nullptr, nullptr) != 0;
    return {type, length, ok};
}

} // namespace

namespace
{

// A small extension body of a file or callback stream is taken in one read: the whole
// chunk is what the caller asked for, and each sub-chunk header and plug-in read would
// otherwise be a call of its own.
constexpr uint32_t kBatchedExtension = 256;

PluginRegistry* ReadSubChunks(PluginRegistry* registry, Stream* stream, uint32_t size, void* object)
{
    for (uint32_t remaining = size; remaining > 0;)
    {
        // Every length is checked against what is left of the chunk, so a corrupt one
        // can never carry the loop past the chunk's end.
        if (remaining < kChunkHeaderSize)
        {
            Report(Error::MakeCode(kErrStreamRead));
            return nullptr;
        }
        const SubChunkHeader header = ReadSubChunkHeader(stream);
        if (!header.ok)
            return nullptr;
        remaining -= kChunkHeaderSize;
        if (header.length > remaining || header.length > uint32_t(INT32_MAX))
        {
            Report(Error::MakeCode(kErrStreamRead));
            return nullptr;
        }
        PluginEntry* entry = Find(registry, int32_t(header.type));
        if (entry && entry->read)
        {
            if (!entry->read(stream, int32_t(header.length), object, entry->offset, entry->size))
                return nullptr;
        }
        else if (!Stream::Skip(stream, header.length))
            return nullptr;
        remaining -= header.length;
    }
    return registry;
}

} // namespace

PluginRegistry* PluginRegistry::ReadExtensionChunk(PluginRegistry* registry, Stream* stream, void* object)
{
    uint32_t size = 0;
    if (!Stream::FindChunk(stream, kChunkExtension, &size, nullptr))
        return nullptr;
    if (stream->kind != kStreamMemory && size > 0 && size <= kBatchedExtension)
    {
        alignas(8) uint8_t body[kBatchedExtension];
        if (Stream::Read(stream, body, size) < size)
        {
            Report(Error::MakeCode(kErrStreamRead));
            return nullptr;
        }
        Stream local;
        std::memset(static_cast<void*>(&local), 0, sizeof local);
        local.kind = kStreamMemory;
        local.access = kStreamRead;
        local.memory = {0, size, body, false};
        if (!ReadSubChunks(registry, &local, size, object))
            return nullptr;
    }
    else if (!ReadSubChunks(registry, stream, size, object))
        return nullptr;
    for (PluginEntry* e = registry->first; e; e = e->next)
        if (e->always && !e->always(object, e->offset, e->size))
            return nullptr;
    return registry;
}

PluginRegistry* PluginRegistry::SkipExtensionChunk(PluginRegistry* registry, Stream* stream)
{
    uint32_t size = 0;
    if (!Stream::FindChunk(stream, kChunkExtension, &size, nullptr))
        return nullptr;
    return Stream::Skip(stream, size) ? registry : nullptr;
}

PluginRegistry* PluginRegistry::CallRightsCallback(PluginRegistry* registry, int32_t pluginId, void* object,
                                                   uint32_t extraData)
{
    PluginEntry* entry = Find(registry, pluginId);
    if (!entry || !entry->rights)
        return nullptr;
    return entry->rights(object, entry->offset, entry->size, extraData) ? registry : nullptr;
}

// ---- The registry module -------------------------------------------------------------------------

int32_t PluginRegistry::Open()
{
    sListed = nullptr;
    if (!FreeList::CreateInStorage(sizeof(PluginEntry), kEntriesPerBlock, 0, 1, &sEntryList, kEntryHint))
        return 0;
    sOpen = true;
    return 1;
}

int32_t PluginRegistry::Close()
{
    if (!sOpen)
        return 1;
    const FreeListFunctions& f = Engine::Current()->freeListFunctions;
    for (PluginRegistry* registry = sListed; registry;)
    {
        PluginRegistry* next = registry->nextListed;
        for (PluginEntry* e = registry->first; e;)
        {
            PluginEntry* after = e->next;
            f.giveBack(&sEntryList, e);
            e = after;
        }
        registry->size = registry->baseSize;
        registry->first = registry->last = nullptr;
        registry->nextListed = nullptr;
        registry->listed = false;
        registry = next;
    }
    sListed = nullptr;
    FreeList::Destroy(&sEntryList);
    sOpen = false;
    return 1;
}

bool PluginRegistry::IsOpen()
{
    return sOpen;
}
