// Plug-in registries: every extensible engine object type (and the engine instance) has
// one; a registered plug-in gets a byte offset inside every object of the type, its
// constructor, destructor and copy run on every object, and its data is read and written
// as sub-chunks of the object's extension chunk.
#pragma once

#include <cstdint>

struct Stream;
struct PluginEntry;

// Every callback gets the plug-in's offset inside the object and the size it asked for.

/// The object, or null for failure.
using PluginConstructor = void* (*)(void* object, int32_t offset, int32_t size);
using PluginDestructor = void* (*)(void* object, int32_t offset, int32_t size);
using PluginCopy = void* (*)(void* destination, const void* source, int32_t offset, int32_t size);
/// Reads the plug-in's length bytes of sub-chunk data; the stream, or null for failure.
using PluginStreamRead = Stream* (*)(Stream* stream, int32_t length, void* object, int32_t offset, int32_t size);
/// Writes exactly the length that the size callback answered; the stream, or null.
using PluginStreamWrite = Stream* (*)(Stream* stream, int32_t length, const void* object, int32_t offset, int32_t size);
/// Bytes the plug-in writes for the object; 0 or less writes nothing.
using PluginStreamSize = int32_t (*)(const void* object, int32_t offset, int32_t size);
/// Runs after every extension chunk read, whether the plug-in's data was there or not;
/// the object, or null for failure.
using PluginAlways = void* (*)(void* object, int32_t offset, int32_t size);
/// Receives an object's stored rights word; non-zero for success.
using PluginRights = int32_t (*)(void* object, int32_t offset, int32_t size, uint32_t extraData);

/// Plug-in data is aligned for pointers: offsets and object sizes are multiples of this.
constexpr int32_t kPluginAlignment = 8;

struct PluginEntry
{
    int32_t offset;
    int32_t size; ///< as asked for, not rounded
    int32_t pluginId;
    PluginStreamRead read;
    PluginStreamWrite write;
    PluginStreamSize streamSize;
    PluginAlways always;
    PluginRights rights;
    PluginConstructor constructor;
    PluginDestructor destructor;
    PluginCopy copy;
    PluginEntry* next;
    PluginEntry* prev;
    struct PluginRegistry* registry;
};

/// One static record per extensible type; make it with PluginRegistry::Initial.
struct PluginRegistry
{
    int32_t size;     ///< an object's size: the base and every plug-in's rounded size
    int32_t baseSize; ///< the type's own record; size returns to it when the registry is reset
    int32_t maxSize;  ///< 0: no limit
    PluginEntry* first;
    PluginEntry* last;
    PluginRegistry* nextListed; ///< the registry module's list of registries with entries
    bool listed;

    static constexpr PluginRegistry Initial(int32_t baseSize, int32_t maxSize = 0)
    {
        return {baseSize, baseSize, maxSize, nullptr, nullptr, nullptr, false};
    }

    // ---- Registration (from Engine::Init until Engine::Open, and after Engine::Close)

    /// Callbacks may be null (a null constructor, destructor or copy does nothing). The
    /// offset, or -1: before the registry module is open, while an engine instance is open
    /// (error 0x80000017), over the maximum size or without an entry. An id already
    /// registered answers its offset and records 0x80000017.
    static int32_t Register(PluginRegistry* registry, int32_t size, int32_t pluginId, PluginConstructor constructor,
                            PluginDestructor destructor, PluginCopy copy);
    /// -1 when not registered.
    static int32_t GetPluginOffset(const PluginRegistry* registry, int32_t pluginId);
    // The setters answer the offset, or -1 when the id is not registered.
    static int32_t SetStreamCallbacks(PluginRegistry* registry, int32_t pluginId, PluginStreamRead read,
                                      PluginStreamWrite write, PluginStreamSize size);
    static int32_t SetAlwaysCallback(PluginRegistry* registry, int32_t pluginId, PluginAlways always);
    static int32_t SetRightsCallback(PluginRegistry* registry, int32_t pluginId, PluginRights rights);

    // ---- Objects --------------------------------------------------------------------

    /// Constructors in registration order; when one fails, the ones before it are undone
    /// in reverse (not the failing one) and the result is null.
    static PluginRegistry* InitObject(PluginRegistry* registry, void* object);
    /// Destructors from the last registered to the first.
    static PluginRegistry* DeinitObject(PluginRegistry* registry, void* object);
    /// Copy callbacks in registration order.
    static PluginRegistry* CopyObject(PluginRegistry* registry, void* destination, const void* source);

    // ---- Extension chunks --------------------------------------------------------------

    /// Body size of the object's extension chunk: each positive stream size plus 12.
    static int32_t GetExtensionSize(const PluginRegistry* registry, const void* object);
    static PluginRegistry* WriteExtensionChunk(PluginRegistry* registry, Stream* stream, const void* object);
    /// Finds the extension chunk and hands each sub-chunk to its plug-in; sub-chunks of
    /// unknown ids are skipped by their length and lost. A sub-chunk longer than what
    /// remains of the chunk fails the read (0x8000001A). Then every always callback runs.
    static PluginRegistry* ReadExtensionChunk(PluginRegistry* registry, Stream* stream, void* object);
    /// Keeps the stream in step past an extension chunk without calling anything.
    static PluginRegistry* SkipExtensionChunk(PluginRegistry* registry, Stream* stream);
    /// The registry for a non-zero rights answer; 0 for an unknown id or no callback.
    static PluginRegistry* CallRightsCallback(PluginRegistry* registry, int32_t pluginId, void* object,
                                              uint32_t extraData);

    // ---- The registry module (opened by Engine::Init, closed by Engine::Term) -------------

    /// 1, or 0 when the entry free list cannot be made.
    static int32_t Open();
    /// Resets every registry that has entries and frees the entries. 1.
    static int32_t Close();
    static bool IsOpen();
};
