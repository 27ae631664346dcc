// The UV-animated materials of the scene graph.
#include "wuvanimregistry.h"

#include "hbgrowarray.h"

namespace
{
HbPtrArray* gAnimatedMaterials = nullptr;
} // namespace

void UVAnimRegistryInit()
{
    if (!gAnimatedMaterials)
        gAnimatedMaterials = new HbPtrArray();
    else
        gAnimatedMaterials->SetSize(0);
}

void UVAnimRegistryShutdown()
{
    delete gAnimatedMaterials;
    gAnimatedMaterials = nullptr;
}

bool UVAnimRegistryIsOpen()
{
    return gAnimatedMaterials != nullptr;
}

int32_t UVAnimRegistryCount()
{
    return gAnimatedMaterials ? gAnimatedMaterials->GetCount() : 0;
}

void UVAnimUpdate(float dt)
{
    if (!(dt > 0.0f) || !gAnimatedMaterials)
        return;
    // Nothing registers materials yet, so there is nothing to advance.
}
