// Fixtures of the 2D toolkit tests: a recording immediate-mode layer on the test device
// (every batch's vertices, primitive and indices, every render state set), and the toolkit
// opened on a camera of the Direct3D 9 driver with a PNG reader registered for glyph sheets.
#pragma once

#include "camera.h"
#include "d3d9driverfixture.h"
#include "frame.h"
#include "im3d.h"
#include "testdevice.h"
#include "toolkit2d.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tooltest
{

/// One immediate-mode draw as the render node saw it.
struct Draw
{
    std::vector<Im3dVertex> vertices;
    uint32_t flags;
    Matrix matrix;
    int32_t primitive;
    std::vector<uint16_t> indices;
};

/// What the recording layer saw, in order: draws and (state, value) pairs.
struct Recording
{
    std::vector<Draw> draws;
    std::vector<std::pair<int32_t, intptr_t>> states;
    /// Every draw and state in one sequence: "draw" or "state <code> <value>".
    std::vector<std::string> log;
    void Clear();
};

Recording& Recorded();

/// The engine on the test device with recording immediate-mode nodes and render-state
/// entry; the toolkit open on a 640 x 480 perspective camera whose view window has the
/// raster's shape (2D x spans 0 to 4/3, y 0 to 1).
class RecordingTest : public EngineFixture
{
protected:
    void SetUp() override;
    void TearDown() override;

    Camera* mCamera = nullptr;
    Frame* mFrame = nullptr;
};

/// Registers the engine's "png" image format, as the texture manager does when the renderer starts.
void RegisterTestPng();

/// A folder under the build tree for files a test writes, emptied at first use; ends in '/'.
std::string ScratchFolder(const std::string& name);

/// The toolkit open on a started camera of the driver (640 x 480, identity frame), PNG
/// images readable; the frame is cleared and the camera's update begun by BeginFrame.
class DriverToolTest : public d3d9driver::DriverTest
{
protected:
    void SetUp() override;
    void TearDown() override;
    /// Clears to the colour and begins the camera's update with culling off and alpha blending.
    void BeginFrame(uint32_t clearColour);
    /// Ends the update and reads the frame back (0xAARRGGBB, alpha forced opaque).
    std::vector<uint32_t> EndFrame();

    Camera* mCamera = nullptr;
    Frame* mFrame = nullptr;
};

} // namespace tooltest
