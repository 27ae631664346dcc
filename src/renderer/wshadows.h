// WShadows: the shadows that animated models register for their clumps. For now only the
// records' identity and visibility: nodes show and hide their shadow with themselves; the
// drawing of blobs and projected silhouettes comes with the level's shadow camera.
#pragma once

#include "vector.h"

#include <cstdint>

struct Camera;
struct Clump;

/// What an owner passes to WShadows::Add.
struct WShadowDesc
{
    Clump* clump;
    Vector offset; ///< centre of the shadow relative to the clump's frame
    float radius;
    const Vector* lightDirection;
    float strength; ///< 0 to 1; negative darkens with the inverse blend
    const Vector* groundVector;
    int32_t kind; ///< kProjected or kBlob
    int32_t visible;

    static constexpr int32_t kBlob = 0;
    static constexpr int32_t kProjected = 1;
};

namespace WShadows
{
/// Answer of Remove and SetVisible for -1 or an id that is not registered.
constexpr int32_t kUnknownId = 2;
/// A radius that is not above 0 (after the 1.1 margin) becomes this.
constexpr float kDefaultRadius = 300.0f;

/// Registers a shadow; its id (ids start at 0 and are never reused), or -1 when no record
/// can be had.
int32_t Add(const WShadowDesc* desc);
/// 0, or kUnknownId.
int32_t Remove(int32_t id);
/// 0, or kUnknownId.
int32_t SetVisible(int32_t id, int32_t visible);
/// The record's visible flag; -1 for an unknown id.
int32_t GetVisible(int32_t id);
/// The record's copy of the description (radius with its margin), or null.
const WShadowDesc* GetDesc(int32_t id);
/// Registered records.
int32_t GetCount();
/// Every frame, after the 3D pass (also when its camera update failed): draws the visible
/// shadows through camera, opening camera updates of their own. Drawing comes with the
/// level's shadow camera; until then nothing is drawn.
void RenderAll(Camera* camera);
} // namespace WShadows
