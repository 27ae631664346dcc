// WShadows: the shadows that animated models register for their clumps: blobs (a textured
// quad under the model) and projected silhouettes (the clump drawn from a fixed light into a
// texture that is laid over the level's ground triangles around it).
#pragma once

#include "im3d.h"
#include "vector.h"

#include <cstdint>

struct Camera;
struct Clump;
struct World;

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

/// Square size of a silhouette raster.
constexpr int32_t kRasterSize = 256;
/// How far below the light's near plane a receiving triangle may lie.
constexpr float kDepthAllowance = 130.0f;
constexpr int32_t kBatchVertices = 1500;
/// Immediate-mode flags of the projected batch: textured (the other bits draw alike).
constexpr uint32_t kBatchFlags = 25;

/// At game start: the shadow texture "SHADOW_TEX" (none when it cannot be had).
void Init();
/// Releases the shadow texture.
void Shutdown();
/// After a level is loaded: the shadow camera in the current level's world, whose triangles
/// receive the projections. A second attach detaches first. 0.
int32_t AttachWorld();
/// As AttachWorld with the worlds given: the camera's and the receiving one. 0.
int32_t AttachWorlds(World* cameraWorld, World* receivingWorld);
/// When the level is released: the shadow camera destroyed and forgotten by every record. 0.
int32_t DetachWorld();
/// The shadow camera, or null while no level is attached.
Camera* GetShadowCamera();

/// The collector of one projection: the texture matrix as the light frame (position and
/// axes, the radius r), the reference height and the vertex colour, and its batch.
struct Projection
{
    Vector right, up, at, position;
    float r;
    float referenceHeight;
    uint32_t colour;
    int32_t count = 0;
    int32_t batches = 0; ///< batches drawn so far
    Im3dVertex vertices[kBatchVertices];

    /// (u, v, w) of a world point under the texture matrix.
    void Project(const Vector* point, float* u, float* v, float* w) const;
    /// Adds a ground triangle, or rejects it (1 when added): green bit 0x40, a face turned
    /// from the light, a vertex above the reference height, a normal with y under 0.5, or
    /// all three vertices behind the light or off one side of the silhouette. A full batch
    /// (more than 1497 vertices) is drawn first.
    int32_t Collect(const Vector triangle[3], const Vector* normal, uint8_t green);
    /// Draws the batch (when it holds vertices) and empties it.
    void Flush();
};

/// The blob quad of a shadow at a frame position, as a triangle strip.
void BlobVertices(const WShadowDesc* desc, const Vector* framePosition, Im3dVertex out[4]);

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
