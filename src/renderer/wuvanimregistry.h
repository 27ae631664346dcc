// The scene graph's registry of UV-animated materials, which the renderer advances every
// frame. Filling it comes with the UV-animation loading.
#pragma once

#include <cstdint>

/// At renderer start: an empty registry.
void UVAnimRegistryInit();
/// At renderer stop: every registered material forgotten, the registry destroyed.
void UVAnimRegistryShutdown();
/// Between UVAnimRegistryInit and UVAnimRegistryShutdown.
bool UVAnimRegistryIsOpen();
/// Materials registered.
int32_t UVAnimRegistryCount();
/// Every frame: by dt seconds when dt is above 0, each registered material advances its UV
/// animations. The advance itself comes with the UV animations of materials.
void UVAnimUpdate(float dt);
