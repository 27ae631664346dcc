// The engine instance: the record that holds all of the engine's global state, its
// start-up and shut-down, the device requests and the engine-level module blocks.
#pragma once

#include "device.h"
#include "filesystem.h"
#include "linklist.h"
#include "memory.h"
#include "plugin.h"
#include "stringfunctions.h"

#include <cstdint>

struct FreeList;

/// How objects take and give back free-list entries; chosen at Engine::Init.
struct FreeListFunctions
{
    void* (*take)(FreeList* list, uint32_t hint);
    /// The list, or null when the entry is not one of its entries.
    FreeList* (*giveBack)(FreeList* list, void* entry);
};

/// An engine-level module's open or close: (engine instance, block offset, block size);
/// open answers the instance, or null for failure. They are the constructor and the
/// destructor of the module's plug-in on the engine's registry.
using EnginePluginCallback = PluginConstructor;

enum EngineState : int32_t
{
    kEngineNotInitialised = 0,
    kEngineInitialised = 1,
    kEngineOpened = 2,
    kEngineStarted = 3,
};

/// Engine::Init flag: every free-list entry is a separate allocation.
constexpr uint32_t kEngineNoFreeLists = 0x1;

constexpr int32_t kEngineVersion = 0x36003;

/// The engine instance. The module blocks registered with Engine::RegisterPlugin follow
/// the record at the offsets it answered; they exist only in the instance allocated by
/// Engine::Open.
struct Engine
{
    void* currentCamera;
    void* currentWorld;
    uint32_t renderFrame; ///< advanced at every camera update of a world; 32 bits, so stamps never wrap in practice
    uint32_t lightFrame;
    DeviceRecord device;
    StandardFunction standardFunctions[kNumStandardFunctions];
    ListLink dirtyFrames; ///< roots of hierarchies waiting for Frame::SyncDirtyList
    FileFunctions fileFunctions;
    StringFunctions stringFunctions;
    MemoryFunctions memoryFunctions;
    FreeListFunctions freeListFunctions;
    int32_t state;
    int32_t arenaSize;

    // ---- Start-up and shut-down (the renderer calls these, in this order) --------

    /// Installs the device driver that the following Engine::Init and Engine::Open use.
    static void SetDriver(const DeviceDriver* driver);
    static const DeviceDriver* GetDriver();

    /// memory: the four memory functions, or null for the C runtime's; flags: see
    /// kEngineNoFreeLists. Non-zero for success; 0 and nothing changed when the engine is
    /// already initialised.
    static int32_t Init(const MemoryFunctions* memory, uint32_t flags, int32_t arenaSize);
    /// openRecord belongs to the device (its first word is the window). 1 or 0; a
    /// refused open leaves the engine initialised on its static record, ready to retry.
    static int32_t Open(void* openRecord);
    /// Creates the rendering device and opens the modules in registration order. 1 or 0.
    static int32_t Start();
    /// Closes the modules in reverse order; the device's answer to the stop request.
    static int32_t Stop();
    /// The device's answer to the close request; the record returns to static storage.
    static int32_t Close();
    /// 1, or 0 while an instance is open.
    static int32_t Term();

    // ---- The device ----------------------------------------------------------------

    /// Sends a request to the device; when the device answers 0 the core answers
    /// requests 13 to 18 itself and reports error 24 for the others.
    static int32_t DeviceRequest(const DeviceRecord* device, int32_t request, void* out, void* inOut, int32_t number);
    /// -1 on failure.
    static int32_t GetNumVideoModes();
    /// modeInfo, or null on failure.
    static VideoMode* GetVideoModeInfo(VideoMode* modeInfo, int32_t modeIndex);
    /// -1 on failure.
    static int32_t GetCurrentVideoMode();
    static int32_t SetVideoMode(int32_t modeIndex);

    // ---- Module blocks ---------------------------------------------------------------

    /// Reserves a block in every engine instance; allowed from Engine::Init until
    /// Engine::Open. The block offset, or -1 (error 0x80000017 while an instance is open;
    /// an id already registered answers its offset and reports 0x80000017).
    static int32_t RegisterPlugin(int32_t size, int32_t pluginId, EnginePluginCallback open,
                                  EnginePluginCallback close);
    /// -1 when the id is not registered.
    static int32_t GetPluginOffset(int32_t pluginId);
    /// The size of an instance: the record and every registered block.
    static int32_t GetInstanceSize();
    /// The engine instance's plug-in registry: one entry per module block.
    static PluginRegistry* Registry();

    static int32_t GetVersion() { return kEngineVersion; }
    /// 0 or 1.
    static int32_t GetOpenCount();

    /// The current engine record: null before the first Engine::Init or Engine::Open.
    static Engine* Current();
    /// The block at offset inside the instance.
    static void* Block(Engine* engine, int32_t offset) { return reinterpret_cast<char*>(engine) + offset; }
};

/// Module blocks are aligned for pointers; the first one starts here. The error module
/// always registers first, so its slot is the first block, and the static record keeps
/// room for it (errors are recorded before an instance exists).
constexpr int32_t kEngineBlockAlignment = 8;
constexpr int32_t kEngineFirstBlockOffset =
    static_cast<int32_t>((sizeof(Engine) + kEngineBlockAlignment - 1) & ~size_t(kEngineBlockAlignment - 1));
