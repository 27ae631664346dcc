// The two shoot-helper switches.
#include "shoothelper.h"

namespace
{
int32_t gShootHelper = 0;
int32_t gCameraShootHelper = 0;
} // namespace

void SetShootHelper(int32_t on)
{
    gShootHelper = on;
}

int32_t GetShootHelper()
{
    return gShootHelper;
}

void SetCameraShootHelper(int32_t on)
{
    gCameraShootHelper = on;
}

int32_t GetCameraShootHelper()
{
    return gCameraShootHelper;
}
