// The engine instance: the static and the allocated engine record, the registry of
// module blocks, start-up and shut-down, and the device requests.
#include "engine.h"

#include "camera.h"
#include "error.h"
#include "frame.h"
#include "freelist.h"
#include "image.h"
#include "matrix.h"
#include "raster.h"
#include "resourcearena.h"
#include "sparemodule.h"
#include "stream.h"
#include "texture.h"
#include "vector.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace
{

// ---- The engine records --------------------------------------------------------------
// The static record holds the engine from Engine::Init to Engine::Open and after
// Engine::Close; it carries the error slot (the first module block) so that errors found
// while there is no instance are kept.

struct StaticRecord
{
    Engine engine;
    Error errorSlot;
};
static_assert(offsetof(StaticRecord, errorSlot) == size_t(kEngineFirstBlockOffset),
              "the error slot is the first module block");
constexpr size_t kStaticRecordSize = sizeof(Engine) + sizeof(Error);

StaticRecord sStatic = {{}, {0, kErrNone}};
Engine* sCurrent = nullptr;
int32_t sOpenCount = 0;
const DeviceDriver* sDriver = nullptr;

constexpr uint32_t kInstanceHint = kMemoryHintEngine;
constexpr char kSubSystemName[] = "Only rendering sub system";

Engine* StaticEngine()
{
    return &sStatic.engine;
}

// The record that requests and states are read from when nothing set it yet.
Engine* CurrentOrStatic()
{
    return sCurrent ? sCurrent : StaticEngine();
}

void Report(int32_t code)
{
    Error::Report(kCorePluginId, code);
}

int32_t DoNothing(void*, void*, int32_t)
{
    return 0;
}

// ---- The engine's plug-in registry ---------------------------------------------------------
// Every engine-level module, and every plug-in that extends the engine, owns a block at
// a fixed offset in each instance; its open and close are the plug-in's constructor and
// destructor, so modules open in registration order at start and close in reverse at stop.

PluginRegistry sRegistry = PluginRegistry::Initial(kEngineFirstBlockOffset);

// ---- The engine-level modules, in the order they are registered and opened ----------------

struct EngineModule
{
    int32_t pluginId;
    int32_t blockSize;
    EnginePluginCallback open;
    EnginePluginCallback close;
};

const EngineModule kModules[] = {
    {Error::kPluginId, int32_t(sizeof(Error)), Error::OpenModule, Error::CloseModule},
    {Vector::kPluginId, Vector::kModuleBlockSize, Vector::OpenModule, Vector::CloseModule},
    {SpareModule::kCounterPluginId, SpareModule::kCounterBlockSize, SpareModule::OpenCounter,
     SpareModule::CloseCounter},
    {Matrix::kPluginId, Matrix::kModuleBlockSize, Matrix::OpenModule, Matrix::CloseModule},
    {Frame::kPluginId, Frame::kModuleBlockSize, Frame::OpenModule, Frame::CloseModule},
    {Stream::kPluginId, Stream::kModuleBlockSize, Stream::OpenModule, Stream::CloseModule},
    {Camera::kPluginId, Camera::kModuleBlockSize, Camera::OpenModule, Camera::CloseModule},
    {Image::kPluginId, Image::kModuleBlockSize, Image::OpenModule, Image::CloseModule},
    {Raster::kPluginId, Raster::kModuleBlockSize, Raster::OpenModule, Raster::CloseModule},
    {Texture::kPluginId, Texture::kModuleBlockSize, Texture::OpenModule, Texture::CloseModule},
    {SpareModule::kListPluginId, SpareModule::kListBlockSize, SpareModule::OpenList, SpareModule::CloseList},
    {ResourceArena::kPluginId, ResourceArena::kModuleBlockSize, ResourceArena::OpenModule, ResourceArena::CloseModule},
};

// Undoes Engine::Init from its registry step on.
void UndoInit()
{
    PluginRegistry::Close();
    FreeList::DestroyAll();
}

} // namespace

// ---- Start-up and shut-down --------------------------------------------------------------

void Engine::SetDriver(const DeviceDriver* driver)
{
    sDriver = driver;
}

const DeviceDriver* Engine::GetDriver()
{
    return sDriver;
}

Engine* Engine::Current()
{
    return sCurrent;
}

int32_t Engine::Init(const MemoryFunctions* memory, uint32_t flags, int32_t arenaSize)
{
    // The state is tested before anything is stored, so a refused call leaves an
    // initialised or open engine exactly as it was.
    if (CurrentOrStatic()->state != kEngineNotInitialised)
        return 0;
    sCurrent = StaticEngine();
    Engine* engine = sCurrent;

    bool freeLists = !(flags & kEngineNoFreeLists);
    FreeList::SetEnabled(freeLists);
    engine->freeListFunctions = freeLists ? FreeListFunctions{FreeList::Alloc, FreeList::Free}
                                          : FreeListFunctions{FreeList::AllocUnpooled, FreeList::FreeUnpooled};
    engine->arenaSize = arenaSize;
    ListLink::Init(&engine->dirtyFrames);
    engine->stringFunctions = *StringFunctions::Defaults();

    engine->memoryFunctions = memory ? *memory : *Memory::DefaultFunctions();
    if (!FreeList::OpenModule())
        return 0;
    engine->fileFunctions = *FileSystem::DefaultFunctions();
    if (!PluginRegistry::Open())
    {
        FreeList::DestroyAll();
        return 0;
    }
    for (const EngineModule& module : kModules)
    {
        if (RegisterPlugin(module.blockSize, module.pluginId, module.open, module.close) < 0)
        {
            UndoInit();
            return 0;
        }
    }
    int32_t answer = (sDriver && sDriver->attach) ? sDriver->attach() : 0;
    if (!answer)
    {
        UndoInit();
        return 0;
    }
    engine->state = kEngineInitialised;
    return answer;
}

int32_t Engine::Open(void* openRecord)
{
    if (!sCurrent)
        sCurrent = StaticEngine();
    if (sCurrent->state != kEngineInitialised)
    {
        Report(Error::MakeCode(kErrEngineState));
        return 0;
    }
    if (!openRecord)
    {
        Report(Error::MakeCode(kErrNullArgument));
        return 0;
    }
    const DeviceRecord* device = (sDriver && sDriver->getDeviceRecord) ? sDriver->getDeviceRecord() : nullptr;
    if (!device || !device->system)
        return 0;

    size_t size = size_t(sRegistry.size);
    auto* instance = static_cast<Engine*>(Memory::Allocate(size, kInstanceHint));
    if (!instance)
    {
        sCurrent = StaticEngine();
        Report(Error::MakeCode(kErrNoMemory, size));
        return 0;
    }
    // Module blocks stay zero until their modules open at Engine::Start.
    std::memset(static_cast<void*>(instance), 0, size);
    std::memcpy(static_cast<void*>(instance), &sStatic, kStaticRecordSize);
    ListLink::Init(&instance->dirtyFrames);
    sCurrent = instance;

    // A device that will not register or open leaves the engine on its static record,
    // ready for another try.
    if (!DeviceRequest(device, kDeviceRegister, &instance->device, &instance->memoryFunctions, 0) ||
        !DeviceRequest(&instance->device, kDeviceOpen, nullptr, openRecord, 0))
    {
        sCurrent = StaticEngine();
        std::memcpy(static_cast<void*>(&sStatic), instance, kStaticRecordSize);
        ListLink::Init(&sStatic.engine.dirtyFrames);
        sStatic.engine.memoryFunctions.free(instance);
        return 0;
    }

    for (StandardFunction& slot : instance->standardFunctions)
        slot = DoNothing;
    DeviceRequest(&instance->device, kDeviceStandardFunctions, instance->standardFunctions, nullptr,
                  kNumStandardFunctions);
    for (StandardFunction& slot : instance->standardFunctions)
        if (!slot)
            slot = DoNothing;

    ++sOpenCount;
    instance->state = kEngineOpened;
    return 1;
}

int32_t Engine::Start()
{
    Engine* engine = CurrentOrStatic();
    if (engine->state != kEngineOpened)
    {
        Report(Error::MakeCode(kErrEngineState));
        return 0;
    }
    if (!DeviceRequest(&engine->device, kDeviceStart, nullptr, nullptr, 0))
        return 0;
    if (!PluginRegistry::InitObject(&sRegistry, engine))
    {
        DeviceRequest(&engine->device, kDeviceStop, nullptr, nullptr, 0);
        return 0;
    }
    Image::BuildGammaTables(engine->device.gamma);
    DeviceRequest(&engine->device, kDeviceFinaliseStart, nullptr, nullptr, 0);
    engine->state = kEngineStarted;
    return 1;
}

int32_t Engine::Stop()
{
    Engine* engine = CurrentOrStatic();
    if (engine->state != kEngineStarted)
    {
        Report(Error::MakeCode(kErrEngineState));
        return 0;
    }
    DeviceRequest(&engine->device, kDeviceInitiateStop, nullptr, nullptr, 0);
    PluginRegistry::DeinitObject(&sRegistry, engine);
    int32_t answer = DeviceRequest(&engine->device, kDeviceStop, nullptr, nullptr, 0);
    if (answer)
        engine->state = kEngineOpened;
    return answer;
}

int32_t Engine::Close()
{
    Engine* engine = CurrentOrStatic();
    if (engine->state != kEngineOpened || engine == StaticEngine())
    {
        Report(Error::MakeCode(kErrEngineState));
        return 0;
    }
    int32_t answer = DeviceRequest(&engine->device, kDeviceClose, nullptr, nullptr, 0);
    if (!answer)
        return 0;
    // The record goes back to static storage with the memory and free-list choices of
    // Engine::Init and the error slot; the module blocks go with the instance.
    sCurrent = StaticEngine();
    std::memcpy(static_cast<void*>(&sStatic), engine, kStaticRecordSize);
    ListLink::Init(&sStatic.engine.dirtyFrames);
    sStatic.engine.memoryFunctions.free(engine);
    --sOpenCount;
    sStatic.engine.state = kEngineInitialised;
    return answer;
}

int32_t Engine::Term()
{
    if (sOpenCount != 0)
        return 0;
    sCurrent = StaticEngine();
    PluginRegistry::Close();
    FreeList::DestroyAll();
    sStatic.engine.state = kEngineNotInitialised;
    return 1;
}

// ---- The device ------------------------------------------------------------------------------

int32_t Engine::DeviceRequest(const DeviceRecord* device, int32_t request, void* out, void* inOut, int32_t number)
{
    int32_t answer = (device && device->system) ? device->system(request, out, inOut, number) : 0;
    if (answer)
        return answer;
    switch (request)
    {
    case kDeviceNumSubSystems:
        *static_cast<int32_t*>(out) = 1;
        return 1;
    case kDeviceSubSystemInfo:
    {
        const int32_t* size = static_cast<const int32_t*>(inOut);
        if (number != 0 || !size || *size <= 0)
            break;
        size_t length = std::min(sizeof(kSubSystemName) - 1, size_t(*size) - 1);
        std::memcpy(out, kSubSystemName, length);
        static_cast<char*>(out)[length] = 0;
        return 1;
    }
    case kDeviceCurrentSubSystem:
        *static_cast<int32_t*>(out) = 0;
        return 1;
    case kDeviceSelectSubSystem:
        if (number != 0)
            break;
        return 1;
    case kDeviceFinaliseStart:
    case kDeviceInitiateStop:
        return 1;
    default:
        break;
    }
    Report(Error::MakeCode(kCoreErrDeviceRequest, request));
    return 0;
}

int32_t Engine::GetNumVideoModes()
{
    int32_t count = 0;
    if (!DeviceRequest(&CurrentOrStatic()->device, kDeviceNumVideoModes, &count, nullptr, 0))
        return -1;
    return count;
}

VideoMode* Engine::GetVideoModeInfo(VideoMode* modeInfo, int32_t modeIndex)
{
    if (!DeviceRequest(&CurrentOrStatic()->device, kDeviceVideoModeInfo, modeInfo, nullptr, modeIndex))
        return nullptr;
    return modeInfo;
}

int32_t Engine::GetCurrentVideoMode()
{
    int32_t index = 0;
    if (!DeviceRequest(&CurrentOrStatic()->device, kDeviceCurrentVideoMode, &index, nullptr, 0))
        return -1;
    return index;
}

int32_t Engine::SetVideoMode(int32_t modeIndex)
{
    return DeviceRequest(&CurrentOrStatic()->device, kDeviceUseVideoMode, nullptr, nullptr, modeIndex) ? 1 : 0;
}

// ---- Module blocks ---------------------------------------------------------------------------------

int32_t Engine::RegisterPlugin(int32_t size, int32_t pluginId, EnginePluginCallback open, EnginePluginCallback close)
{
    return PluginRegistry::Register(&sRegistry, size, pluginId, open, close, nullptr);
}

int32_t Engine::GetPluginOffset(int32_t pluginId)
{
    return PluginRegistry::GetPluginOffset(&sRegistry, pluginId);
}

int32_t Engine::GetInstanceSize()
{
    return sRegistry.size;
}

PluginRegistry* Engine::Registry()
{
    return &sRegistry;
}

int32_t Engine::GetOpenCount()
{
    return sOpenCount;
}
