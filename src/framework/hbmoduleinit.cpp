// Module initialiser table.
#include "hbmoduleinit.h"

namespace
{
struct ModuleInit
{
    HbModuleInitFunc create;
    HbModuleInitFunc check;
};
// Constant-initialised, so registrations from any static initialiser are safe.
ModuleInit gInits[kHbMaxModuleInits];
int gCount = 0;
} // namespace

int HbRegisterModuleInit(HbModuleInitFunc create, HbModuleInitFunc check)
{
    if (gCount >= kHbMaxModuleInits)
        return 0;
    gInits[gCount++] = {create, check};
    return gCount < kHbMaxModuleInits ? 1 : 0;
}

int HbRunModuleInits()
{
    for (int i = 0; i < gCount; ++i)
        if (gInits[i].create)
            gInits[i].create();
    return 1;
}

int HbModuleInitCount()
{
    return gCount;
}
