// The 2D drawing toolkit's open and close and its camera binding. Paths, brushes, fonts and
// the transformation stack join the toolkit with its drawing.
#pragma once

#include <cstdint>

struct Camera;

struct Toolkit2d
{
    /// Opens the toolkit on a camera. 1 when the camera has a frame buffer (it is then bound),
    /// else 0 (the toolkit is open with no camera bound).
    static int32_t Open(Camera* camera);
    /// Unbinds the camera and closes the toolkit. 0.
    static int32_t Close();
    static bool IsOpen();
};

struct Device2d
{
    /// Binds a camera with a frame buffer, or unbinds for null. 1 when bound, 0 otherwise
    /// (nothing is bound then).
    static int32_t SetCamera(Camera* camera);
    /// The bound camera, or null.
    static Camera* GetCamera();
};
