// The ammunition's declared rows and its start-up state.
#include "ammomanager.h"

namespace
{
constexpr int32_t kCasings = 70;
constexpr int32_t kTankProjectiles = 5;

int32_t gCasings = 0;
int32_t gTankProjectiles = 0;
int32_t gPreallocated = 0;
AmmoManagerHooks gHooks;
} // namespace

void AmmoGeometryDeclareRows()
{
    gCasings = kCasings;
    gTankProjectiles = kTankProjectiles;
}

void AmmoRegisterScriptModules(AmmoModuleQueue queue)
{
    if (!queue)
        return;
    queue("casing");
    queue("projectil");
}

int32_t AmmoGeometryCasingCount()
{
    return gCasings;
}

int32_t AmmoGeometryTankProjectileCount()
{
    return gTankProjectiles;
}

void AmmoManagerSetHooks(const AmmoManagerHooks* hooks)
{
    gHooks = hooks ? *hooks : AmmoManagerHooks{};
}

int32_t AmmoManager::Preallocate()
{
    if (gHooks.preallocate && !gHooks.preallocate())
        return 0;
    gPreallocated = 1;
    return 1;
}

int32_t AmmoManager::IsPreallocated()
{
    return gPreallocated;
}

void AmmoManagerResetAll()
{
    if (gPreallocated && gHooks.resetAll)
        gHooks.resetAll();
}

void AmmoManagerShutdown()
{
    if (gPreallocated && gHooks.shutdown)
        gHooks.shutdown();
    gPreallocated = 0;
    gCasings = 0;
    gTankProjectiles = 0;
}
