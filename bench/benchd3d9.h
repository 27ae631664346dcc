// The engine started on our Direct3D 9 layer, offscreen, in a window of its own: the
// start-up the device-level benchmarks share.
#pragma once

#include <cstdint>

/// Opens the window and starts the engine in it; beforeOpen (optional) runs between Init and
/// Open, where plug-ins attach. Returns 0, or after saying so on stderr the failing step:
/// 1 Init, 2 beforeOpen, 3 Open, 4 Start.
int BenchStartD3D9Engine(const char* className, const char* title, int width, int height, int32_t arenaSize,
                         bool (*beforeOpen)() = nullptr);

/// Stops and closes the engine and destroys the window.
void BenchStopD3D9Engine();
