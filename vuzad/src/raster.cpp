// Rasters: the record's life from the raster free list, and the generic operations, each
// of which calls one standard function of the device with the raster as its in argument.
#include "raster.h"

#include "device.h"
#include "engine.h"
#include "freelist.h"
#include "resourcearena.h"

namespace
{

struct RasterModuleBlock
{
    FreeList* rasters;
    // The context stack holds one entry, an empty raster, and its top stays 0.
    Raster contexts[1];
    int32_t top;
};

constexpr int32_t kRastersPerBlock = 128;
constexpr uint32_t kModuleHint = kMemoryHintEngine | uint32_t(Raster::kPluginId);
constexpr uint32_t kObjectHint = kMemoryHintObject | uint32_t(Raster::kPluginId);

PluginRegistry sRegistry = PluginRegistry::Initial(int32_t(sizeof(Raster)));
FreeList sRasterList;
RasterModuleBlock* sBlock = nullptr;

int32_t CallDevice(int32_t slot, void* out, void* in, int32_t number)
{
    Engine* engine = Engine::Current();
    StandardFunction function = engine ? engine->standardFunctions[slot] : nullptr;
    return function ? function(out, in, number) : 0;
}

} // namespace

// ---- Objects ------------------------------------------------------------------------------------

Raster* Raster::Create(int32_t width, int32_t height, int32_t depth, uint32_t flags)
{
    if (!sBlock)
        return nullptr;
    Engine* engine = Engine::Current();
    auto* raster = static_cast<Raster*>(engine->freeListFunctions.take(sBlock->rasters, kObjectHint));
    if (!raster)
        return nullptr;
    *raster = Raster{};
    raster->parent = raster;
    raster->width = width;
    raster->height = height;
    raster->depth = depth;
    if (!CallDevice(kStdRasterCreate, nullptr, raster, int32_t(flags)))
    {
        engine->freeListFunctions.giveBack(sBlock->rasters, raster);
        return nullptr;
    }
    // A plug-in that cannot construct undoes the device's object too: the caller gets
    // no raster and keeps no device memory.
    if (!PluginRegistry::InitObject(&sRegistry, raster))
    {
        CallDevice(kStdRasterDestroy, nullptr, raster, 0);
        engine->freeListFunctions.giveBack(sBlock->rasters, raster);
        return nullptr;
    }
    return raster;
}

int32_t Raster::Destroy(Raster* raster)
{
    PluginRegistry::DeinitObject(&sRegistry, raster);
    CallDevice(kStdRasterDestroy, nullptr, raster, 0);
    Engine::Current()->freeListFunctions.giveBack(sBlock->rasters, raster);
    return 1;
}

Raster* Raster::SubRaster(Raster* raster, Raster* parent, const RasterRect* rect)
{
    Raster* top = parent->parent;
    raster->parent = top;
    raster->offsetX = int16_t(parent->offsetX + rect->x);
    raster->offsetY = int16_t(parent->offsetY + rect->y);
    raster->width = rect->width;
    raster->height = rect->height;
    raster->pixels = nullptr;
    return CallDevice(kStdRasterSubRaster, raster, parent, 0) ? raster : nullptr;
}

// ---- Pixels and palettes -------------------------------------------------------------------------

uint8_t* Raster::Lock(Raster* raster, uint8_t level, uint32_t mode)
{
    uint8_t* pixels = nullptr;
    int32_t parameter = int32_t((uint32_t(level) << 8) | (mode & 0xFF));
    if (!CallDevice(kStdRasterLock, &pixels, raster, parameter))
        return nullptr;
    return pixels;
}

Raster* Raster::Unlock(Raster* raster)
{
    return CallDevice(kStdRasterUnlock, nullptr, raster, 0) ? raster : nullptr;
}

uint8_t* Raster::LockPalette(Raster* raster, uint32_t mode)
{
    uint8_t* palette = nullptr;
    if (!CallDevice(kStdRasterLockPalette, &palette, raster, int32_t(mode)))
        return nullptr;
    return palette;
}

Raster* Raster::UnlockPalette(Raster* raster)
{
    int32_t answer = CallDevice(kStdRasterUnlockPalette, nullptr, raster, 0);
    raster->privateFlags &= uint8_t(~kRasterPaletteLockMask);
    return answer ? raster : nullptr;
}

int32_t Raster::GetNumLevels(Raster* raster)
{
    if (!(FormatFlags(raster) & kRasterFormatMipmap))
        return 1;
    int32_t levels = 0;
    if (!CallDevice(kStdRasterGetMipLevels, &levels, raster, 0))
        return -1;
    return levels;
}

// ---- Presentation -----------------------------------------------------------------------------------

Raster* Raster::Show(Raster* raster, void* deviceWindow, uint32_t flags)
{
    ResourceArena::NextFrame();
    return CallDevice(kStdRasterShowRaster, deviceWindow, raster, int32_t(flags)) ? raster : nullptr;
}

// ---- Plug-ins and the context ------------------------------------------------------------------------

int32_t Raster::RegisterPlugin(int32_t size, int32_t pluginId, PluginConstructor constructor,
                               PluginDestructor destructor, PluginCopy copy)
{
    return PluginRegistry::Register(&sRegistry, size, pluginId, constructor, destructor, copy);
}

int32_t Raster::GetPluginOffset(int32_t pluginId)
{
    return PluginRegistry::GetPluginOffset(&sRegistry, pluginId);
}

PluginRegistry* Raster::Registry()
{
    return &sRegistry;
}

Raster* Raster::GetCurrentContext()
{
    return sBlock ? &sBlock->contexts[sBlock->top] : nullptr;
}

// ---- The raster module ----------------------------------------------------------------------------------

const int32_t Raster::kModuleBlockSize = sizeof(RasterModuleBlock);

void* Raster::OpenModule(void* engine, int32_t offset, int32_t)
{
    auto* block = static_cast<RasterModuleBlock*>(Engine::Block(static_cast<Engine*>(engine), offset));
    block->contexts[0] = Raster{};
    block->contexts[0].parent = &block->contexts[0];
    block->contexts[0].flags = uint8_t(kRasterDontAllocate);
    block->top = 0;
    block->rasters = FreeList::CreateInStorage(sRegistry.size, kRastersPerBlock, 0, 1, &sRasterList, kModuleHint);
    if (!block->rasters)
        return nullptr;
    sBlock = block;
    return engine;
}

void* Raster::CloseModule(void* engine, int32_t offset, int32_t)
{
    auto* block = static_cast<RasterModuleBlock*>(Engine::Block(static_cast<Engine*>(engine), offset));
    FreeList::Destroy(block->rasters);
    block->rasters = nullptr;
    sBlock = nullptr;
    return engine;
}
