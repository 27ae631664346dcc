// The list of screen sizes and colour depths that the options menu offers, built from the
// device's full-screen modes, with the present choice.
#pragma once

#include <cstdint>

struct HbWindowState;

/// Read directly by the options menu. Sizes and depths are independent lists: the menu may
/// offer a pair that no single mode has.
struct WVideoModeList
{
    static constexpr int32_t kCapacity = 100;

    struct Size
    {
        int32_t width;
        int32_t height;
    };

    Size sizes[kCapacity];
    char sizeNames[kCapacity][24]; ///< "%dx%d"
    int32_t sizeCount;
    int32_t depthKinds[kCapacity]; ///< WDisplaySettings depth kinds, in order of first appearance
    char depthNames[kCapacity][8]; ///< "16", "32"
    int32_t depthCount;
    int32_t currentSize;  ///< index of the window's present size in sizes
    int32_t currentDepth; ///< index of the present mode's depth in depthKinds
    int32_t fullScreen;   ///< 1 when the present engine mode is not mode 0

    /// Rebuilt from engine modes 1 onward (mode 0, the windowed desktop, is skipped, and so is
    /// a mode whose information cannot be read). Sizes or depths past the capacity are left
    /// out.
    static void Build(WVideoModeList* list);
    /// The present choice: the first size equal to the window's requested size, the first
    /// depth entry of the present mode's depth, whether the present mode is not mode 0; all 0
    /// when the present mode cannot be read.
    static void FindCurrent(WVideoModeList* list, const HbWindowState& window);
};
