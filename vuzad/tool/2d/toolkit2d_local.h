// The 2D toolkit's module-wide state, shared by its files: the device binding, the
// transformation stack and the drawing buffers every fill, stroke and text draw reuses.
#pragma once

#include "im3d.h"
#include "matrix.h"
#include "memory.h"

#include <cstdint>

struct Brush2d;
struct Camera;
struct FreeList;
struct Path2d;

namespace toolkit2d
{

constexpr int32_t kVertexCount = 256;
constexpr uint32_t kHint = kMemoryHintObject;

struct State
{
    bool open = false;
    Camera* camera = nullptr;
    float rasterWidth = 0, rasterHeight = 0;
    float viewWidth = 0, viewHeight = 0; // twice the view window
    float layerDepth = 1.0f;
    float flatness = 0.5f;
    int32_t subdivisionLimit = 7;

    Matrix* stack[32] = {};
    int32_t level = 0;
    Matrix device = {};
    Matrix inverse = {};
    Matrix world = {}; // device x camera world, handed to immediate mode
    bool deviceValid = false;
    float tolerance = 0;
    bool toleranceValid = false;

    alignas(16) Im3dVertex vertices[kVertexCount] = {};
    uint16_t indices[kVertexCount] = {};
    Path2d* scratch = nullptr;
    FreeList* paths = nullptr;
    FreeList* brushes = nullptr;
};

State& Get();

/// Sets the texture raster, filter and addressing states for a brush (the raster off without
/// a texture).
void SetTextureState(const Brush2d* brush);
/// Draws count vertices of the shared buffer as one batch; a refused batch is skipped.
void DrawBatch(int32_t count, const Matrix* matrix, uint32_t flags, int32_t primitive, const uint16_t* indices,
               int32_t numIndices);
/// Channels truncated and clamped to a byte, packed 0xAARRGGBB.
uint32_t PackColour(float r, float g, float b, float a);

} // namespace toolkit2d
