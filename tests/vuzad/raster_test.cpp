// Tests of the generic raster operations over an in-memory device: what reaches the
// device's standard functions, refused creations and plug-ins, sub-rasters, the palette
// lock bits, level counts, and the arena's frame roll-over before a show.
#include "engine.h"
#include "error.h"
#include "raster.h"
#include "resourcearena.h"
#include "testdevice.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace
{

// ---- An in-memory device ---------------------------------------------------------------------

struct Call
{
    int32_t slot;
    void* out;
    void* in;
    int32_t number;
};

std::vector<Call> sCalls;
bool sRefuse = false;
int32_t sLevels = 0;
uint8_t sPixels[64];
uint8_t sPalette[1024];
bool sArenaRolledBeforeShow = false;

template <int32_t Slot> int32_t Record(void* out, void* in, int32_t number)
{
    sCalls.push_back({Slot, out, in, number});
    return sRefuse ? 0 : 1;
}

int32_t Create(void* out, void* in, int32_t number)
{
    Record<kStdRasterCreate>(out, in, number);
    if (sRefuse)
        return 0;
    auto* raster = static_cast<Raster*>(in);
    raster->type = uint8_t(number & kRasterTypeMask);
    raster->flags = uint8_t(number & kRasterFlagsMask);
    raster->format = uint8_t(number >> 8);
    raster->depth = 32;
    return 1;
}

int32_t Lock(void* out, void* in, int32_t number)
{
    Record<kStdRasterLock>(out, in, number);
    if (sRefuse)
        return 0;
    static_cast<Raster*>(in)->pixels = sPixels;
    *static_cast<uint8_t**>(out) = sPixels;
    return 1;
}

int32_t LockPalette(void* out, void* in, int32_t number)
{
    Record<kStdRasterLockPalette>(out, in, number);
    auto* raster = static_cast<Raster*>(in);
    raster->palette = sPalette;
    raster->privateFlags |= kRasterPaletteLocked | ((number & kRasterLockWrite) ? kRasterPaletteLockedWrite : 0);
    *static_cast<uint8_t**>(out) = sPalette;
    return 1;
}

int32_t MipLevels(void* out, void* in, int32_t number)
{
    Record<kStdRasterGetMipLevels>(out, in, number);
    *static_cast<int32_t*>(out) = sLevels;
    return sRefuse ? 0 : 1;
}

int32_t Show(void* out, void* in, int32_t number)
{
    Record<kStdRasterShowRaster>(out, in, number);
    ResourceArena* arena = ResourceArena::Get();
    sArenaRolledBeforeShow = arena && ListLink::IsEmpty(&arena->lists[arena->current]);
    return 1;
}

// ---- A raster plug-in that counts, and can refuse, its constructions ------------------------------

constexpr int32_t kTagPlugin = 0x7E21;
int32_t sConstructed = 0;
int32_t sDestructed = 0;
bool sFailConstruction = false;

void* ConstructTag(void* object, int32_t, int32_t)
{
    if (sFailConstruction)
        return nullptr;
    ++sConstructed;
    return object;
}

void* DestructTag(void* object, int32_t, int32_t)
{
    ++sDestructed;
    return object;
}

class Rasters : public EngineFixture
{
protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        sCalls.clear();
        sRefuse = false;
        sLevels = 0;
        sConstructed = sDestructed = 0;
        sFailConstruction = false;
        TestDevice::slots = {
            {kStdRasterCreate, Create},
            {kStdRasterDestroy, Record<kStdRasterDestroy>},
            {kStdRasterSubRaster, Record<kStdRasterSubRaster>},
            {kStdRasterLock, Lock},
            {kStdRasterUnlock, Record<kStdRasterUnlock>},
            {kStdRasterLockPalette, LockPalette},
            {kStdRasterUnlockPalette, Record<kStdRasterUnlockPalette>},
            {kStdRasterGetMipLevels, MipLevels},
            {kStdRasterShowRaster, Show},
        };
        ASSERT_EQ(Engine::Init(TestMemory::Functions(), 0, 4096), 1);
        ASSERT_GE(Raster::RegisterPlugin(8, kTagPlugin, ConstructTag, DestructTag, nullptr), 0);
        ASSERT_EQ(Engine::Open(&mWindow), 1);
        ASSERT_EQ(Engine::Start(), 1);
        sCalls.clear();
    }

    static int32_t Slots(int32_t slot)
    {
        int32_t n = 0;
        for (const Call& c : sCalls)
            n += c.slot == slot;
        return n;
    }
};

int32_t TakeError()
{
    Error e;
    Error::Get(&e);
    return e.code;
}

TEST_F(Rasters, CreateHandsTheFlagsToTheDeviceThenRunsThePlugins)
{
    const uint32_t flags = kRasterTypeTexture | kRasterFormat8888 | kRasterFormatMipmap;
    Raster* raster = Raster::Create(64, 32, 0, flags);
    ASSERT_NE(raster, nullptr);
    ASSERT_EQ(sCalls.size(), 1u);
    EXPECT_EQ(sCalls[0].in, raster);
    EXPECT_EQ(sCalls[0].number, int32_t(flags));
    EXPECT_EQ(raster->parent, raster);
    EXPECT_EQ(raster->width, 64);
    EXPECT_EQ(raster->height, 32);
    EXPECT_EQ(raster->type, kRasterTypeTexture);
    EXPECT_EQ(Raster::FormatFlags(raster), kRasterFormat8888 | kRasterFormatMipmap);
    EXPECT_EQ(raster->pixels, nullptr);
    EXPECT_EQ(raster->offsetX, 0);
    EXPECT_EQ(sConstructed, 1);

    EXPECT_EQ(Raster::Destroy(raster), 1);
    EXPECT_EQ(sDestructed, 1);
    EXPECT_EQ(Slots(kStdRasterDestroy), 1);
}

TEST_F(Rasters, RefusedCreationsLeaveNoDeviceObjectAndNoPluginData)
{
    sRefuse = true;
    EXPECT_EQ(Raster::Create(8, 8, 0, kRasterTypeTexture), nullptr);
    EXPECT_EQ(sConstructed, 0) << "no plug-in runs for a raster the device refused";
    EXPECT_EQ(Slots(kStdRasterDestroy), 0);

    // A plug-in that cannot construct undoes the device's object.
    sRefuse = false;
    sFailConstruction = true;
    EXPECT_EQ(Raster::Create(8, 8, 0, kRasterTypeTexture), nullptr);
    EXPECT_EQ(Slots(kStdRasterDestroy), 1);
    EXPECT_EQ(sDestructed, 0);
}

TEST_F(Rasters, LockPassesLevelAndModeInOneWord)
{
    Raster* raster = Raster::Create(256, 128, 0, kRasterTypeTexture | kRasterFormatMipmap);
    const struct
    {
        uint8_t level;
        uint32_t mode;
        int32_t word;
    } cases[] = {{0, kRasterLockWrite, 0x0001}, {2, kRasterLockRead, 0x0202}, {255, 3, 0xFF03}};
    for (const auto& c : cases)
    {
        sCalls.clear();
        EXPECT_EQ(Raster::Lock(raster, c.level, c.mode), sPixels);
        ASSERT_EQ(sCalls.size(), 1u);
        EXPECT_EQ(sCalls[0].in, raster);
        EXPECT_EQ(sCalls[0].number, c.word);
        EXPECT_EQ(Raster::Unlock(raster), raster);
        raster->pixels = nullptr;
    }
    sRefuse = true;
    EXPECT_EQ(Raster::Lock(raster, 0, kRasterLockRead), nullptr);
    EXPECT_EQ(Raster::Unlock(raster), nullptr);
    sRefuse = false;
    Raster::Destroy(raster);
}

TEST_F(Rasters, LevelCountAsksTheDeviceOnlyForMipmappedRasters)
{
    Raster* plain = Raster::Create(256, 128, 0, kRasterTypeTexture);
    Raster* mipmapped = Raster::Create(256, 128, 0, kRasterTypeTexture | kRasterFormatMipmap);
    sCalls.clear();
    sLevels = 9;
    EXPECT_EQ(Raster::GetNumLevels(plain), 1);
    EXPECT_TRUE(sCalls.empty());
    EXPECT_EQ(Raster::GetNumLevels(mipmapped), 9);
    sRefuse = true;
    EXPECT_EQ(Raster::GetNumLevels(mipmapped), -1);
    sRefuse = false;
    Raster::Destroy(plain);
    Raster::Destroy(mipmapped);
}

TEST_F(Rasters, UnlockPaletteClearsOnlyThePaletteBits)
{
    Raster* raster = Raster::Create(16, 16, 0, kRasterTypeTexture | kRasterFormatPal8 | kRasterFormat888);
    raster->privateFlags |= kRasterGammaCorrected;
    EXPECT_EQ(Raster::LockPalette(raster, kRasterLockWrite), sPalette);
    EXPECT_EQ(raster->privateFlags, kRasterGammaCorrected | kRasterPaletteLocked | kRasterPaletteLockedWrite);
    EXPECT_EQ(Raster::UnlockPalette(raster), raster);
    EXPECT_EQ(raster->privateFlags, kRasterGammaCorrected);

    // Cleared even when the device refuses.
    Raster::LockPalette(raster, kRasterLockRead);
    sRefuse = true;
    EXPECT_EQ(Raster::UnlockPalette(raster), nullptr);
    EXPECT_EQ(raster->privateFlags, kRasterGammaCorrected);
    sRefuse = false;
    Raster::Destroy(raster);
}

TEST_F(Rasters, SubRastersViewTheTopLevelRasterAtTheSummedOffset)
{
    Raster* top = Raster::Create(64, 64, 0, kRasterTypeCamera);
    Raster* middle = Raster::Create(0, 0, 0, kRasterTypeCamera | kRasterDontAllocate);
    Raster* inner = Raster::Create(0, 0, 0, kRasterTypeCamera | kRasterDontAllocate);
    RasterRect outerRect = {10, 20, 32, 32};
    RasterRect innerRect = {3, 4, 8, 8};
    sCalls.clear();
    ASSERT_EQ(Raster::SubRaster(middle, top, &outerRect), middle);
    ASSERT_EQ(Raster::SubRaster(inner, middle, &innerRect), inner);
    EXPECT_EQ(inner->parent, top);
    EXPECT_EQ(inner->offsetX, 13);
    EXPECT_EQ(inner->offsetY, 24);
    EXPECT_EQ(inner->width, 8);
    EXPECT_EQ(inner->height, 8);
    ASSERT_EQ(sCalls.size(), 2u);
    EXPECT_EQ(sCalls[1].out, inner);
    EXPECT_EQ(sCalls[1].in, middle);
    for (Raster* r : {inner, middle, top})
        Raster::Destroy(r);
}

TEST_F(Rasters, ShowRollsTheArenaOverBeforeThePresent)
{
    ResourceEntry* entry = nullptr;
    ASSERT_NE(ResourceArena::Allocate(nullptr, &entry, 16, nullptr), nullptr);
    Raster* camera = Raster::Create(64, 64, 0, kRasterTypeCamera);
    int window = 0;
    EXPECT_EQ(Raster::Show(camera, &window, 1), camera);
    EXPECT_TRUE(sArenaRolledBeforeShow);
    ASSERT_EQ(Slots(kStdRasterShowRaster), 1);
    EXPECT_EQ(sCalls.back().out, &window);
    EXPECT_EQ(sCalls.back().in, camera);
    EXPECT_EQ(sCalls.back().number, 1);
    Raster::Destroy(camera);
    ResourceArena::Free(entry); // its reference lives on this stack
}

TEST_F(Rasters, TheContextIsAnEmptyRasterThatAllocatesNothing)
{
    Raster* context = Raster::GetCurrentContext();
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(context->width, 0);
    EXPECT_EQ(context->height, 0);
    EXPECT_EQ(context->type, 0);
    EXPECT_EQ(context->flags, kRasterDontAllocate);
    EXPECT_EQ(TakeError(), kErrNone);
}

} // namespace
