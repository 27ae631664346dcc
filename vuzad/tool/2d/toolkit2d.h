// The 2D drawing toolkit's module, its device binding and its transformation stack. Shapes
// are drawn in a flat space laid over the bound camera's view: (0, 0) at the view's bottom
// left, y upwards, the view's shorter side spanning 0 to 1.
#pragma once

#include <cstdint>

struct Camera;
struct Matrix;

struct Toolkit2d
{
    /// Opens the paths, brushes, fonts and graphics state, then binds the camera. 1 when the
    /// camera has a frame buffer (it is then bound), else 0 (open, no camera bound); 0 with
    /// the toolkit closed when a module cannot be made.
    static int32_t Open(Camera* camera);
    /// Destroys the transformation stack, closes fonts, brushes and paths, unbinds. 0.
    static int32_t Close();
    static bool IsOpen();

    // ---- Modules (Open and Close call these, in this order) ----------------------------------
    static int32_t OpenPaths();
    static void ClosePaths();
    static int32_t OpenBrushes();
    static void CloseBrushes();
    /// Level 0 with an identity matrix, flatness 0.5, layer depth 1, no camera. 1, or 0 when
    /// the matrix cannot be made.
    static int32_t OpenGState();
    static void CloseGState();
    /// Declared here, built in the font module. 1, or 0 when a pool or buffer cannot be made.
    static int32_t OpenFonts();
    static void CloseFonts();
};

struct Device2d
{
    /// Binds a camera with a frame buffer, or unbinds for null. 1 when bound; 0 for null
    /// (unbound) and for a camera without a frame buffer (nothing changes).
    static int32_t SetCamera(Camera* camera);
    /// The bound camera, or null.
    static Camera* GetCamera();
    /// 1, or 0 for a depth not above 0 (the old depth stays).
    static int32_t SetLayerDepth(float depth);
    static float GetLayerDepth();
    /// The matrix from 2D coordinates to world space under the current transformation,
    /// rebuilt when stale; valid until the next call. Drawing needs a bound camera.
    static const Matrix* GetMatrix();
    /// The squared flattening tolerance (half a pixel at the layer depth) in current 2D units.
    static float GetFlatTolerance();
};

/// The transformation stack: 32 levels; each call works on the current level's matrix and
/// pre-concatenates, so a step applies in the current local frame.
struct Transform2d
{
    static constexpr int32_t kLevels = 32;
    /// 1, or 0 when 32 matrices are in use already (or the matrix cannot be made).
    static int32_t Push();
    /// 1, or 0 at level 0.
    static int32_t Pop();
    static int32_t GetLevel();
    static int32_t SetIdentity();
    static int32_t Rotate(float degrees);
    static int32_t Scale(float sx, float sy);
    static int32_t Translate(float tx, float ty);
};
