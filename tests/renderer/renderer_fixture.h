// Shared fixture of the renderer tests: the application object with a 640 x 480 window of
// the scripted window system, a configured adapter of our d3d9 layer, a working directory of
// the test's own (vprefs.dat lives there), and the renderer destroyed after every test, which
// closes and terminates the engine.
#pragma once

#include "d3d9testhooks.h"
#include "hbapplication.h"
#include "wrenderer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace renderertest
{

/// Full-screen modes 640 x 480 and 800 x 600 in 16 and 32 bits and a 24-bit 800 x 600 mode,
/// on a 1024 x 768 32-bit desktop.
d3d9test::AdapterConfig Adapter();

/// The 20 bytes of vprefs.dat.
std::string PrefsBytes(int32_t windowed, int32_t width, int32_t height, int32_t depthKind, float gamma);
void WriteFile(const std::string& path, const std::string& bytes);
/// Empty when the file is missing.
std::string ReadFile(const std::string& path);

class RendererTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    /// The application's window state, set up for a 640 x 480 window.
    static HbWindowState& Window();
    /// The window state as at the start of a test, and the window's client area 640 x 480.
    void ResetWindowState();
    /// The renderer on the adapters given.
    WRenderer* Construct(std::vector<d3d9test::AdapterConfig> adapters = {Adapter()});
    /// Constructed and started; the start must succeed.
    WRenderer* Started(std::vector<d3d9test::AdapterConfig> adapters = {Adapter()});
    /// The engine mode index of a full-screen mode, or -1.
    static int32_t ModeIndex(int32_t width, int32_t height, int32_t depth);
    /// The renderer's viewport frame buffer read back top row first as 0xFFRRGGBB, its size in width
    /// and height; empty when it cannot be read.
    static std::vector<uint32_t> ReadViewport(int32_t* width, int32_t* height);

    std::string mDirectory;

private:
    std::string mPreviousDirectory;
    HWND mWindow = nullptr;
};

} // namespace renderertest
