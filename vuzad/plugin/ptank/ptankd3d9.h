// The particle tank's Direct3D 9 side: the engine open and close of the tank plug-in (when
// the device exists: Engine::Start and Engine::Stop), and the platform hooks that give a
// tank its geometry and draw it, as camera-facing quads through one shared index buffer
// or as hardware point sprites, from the engine's rotating dynamic vertex buffers.
#pragma once

#include <cstdint>

struct Atomic;
struct PTankData;
struct PTankInstanceDesc;
struct PTankPlatform;
struct PTankSlot;
struct Vector;
struct IDirect3DIndexBuffer9;

struct PTankD3D9
{
    /// Quads are cut at this many vertices per draw (16-bit indices), points at kMaxPoints.
    static constexpr int32_t kMaxQuadVertices = 65532;
    static constexpr int32_t kMaxPoints = 65535;

    // ---- Engine open and close ------------------------------------------------------------------

    /// Reads the point-size capabilities; counts the open in the tank's engine block.
    static void* Open(void* engine, int32_t offset, int32_t size);
    /// Releases the shared index buffer.
    static void* Close(void* engine, int32_t offset, int32_t size);

    // ---- Platform hooks -------------------------------------------------------------------------

    /// No allocate hook; Create, PTank::Instance and Render.
    static const PTankPlatform* Platform();
    /// Geometry, material, the shared index buffer (quads) and the callbacks. 1 whether or
    /// not the index buffer could be made.
    static int32_t Create(Atomic* atomic, PTankData* data, int32_t maxCount, uint32_t dataFlags, int32_t platformFlags);
    /// Draws what the last begin callback wrote; nothing when its lock failed or quads have no
    /// index buffer. 0, so the atomic's saved render callback does not run.
    static int32_t Render(Atomic* atomic, PTankData* data, int32_t count);

    // ---- Instancing callbacks -------------------------------------------------------------------

    static void BeginQuads(PTankInstanceDesc* desc, Atomic* atomic, PTankData* data, int32_t count, uint32_t flags);
    static void BeginPointSprites(PTankInstanceDesc* desc, Atomic* atomic, PTankData* data, int32_t count,
                                  uint32_t flags);
    static void End(PTankInstanceDesc* desc, Atomic* atomic, PTankData* data, int32_t count, uint32_t flags);
    static void Point(const PTankSlot*, const Vector*, const Vector*, int32_t, const PTankData*);
    static void PointCentre(const PTankSlot*, const Vector*, const Vector*, int32_t, const PTankData*);
    static void PointSize(const PTankSlot*, const Vector*, const Vector*, int32_t, const PTankData*);
    static void PointSizeCentre(const PTankSlot*, const Vector*, const Vector*, int32_t, const PTankData*);
    static void PointNormal(const PTankSlot*, int32_t, const PTankData*);
    static void PointColour(const PTankSlot*, int32_t, const PTankData*);

    // ---- Inspection -----------------------------------------------------------------------------

    static float GetMaxPointSize();
    static bool GetPerVertexPointSize();
    static IDirect3DIndexBuffer9* GetIndexBuffer();
    /// Indices the shared buffer was made for (recorded even when its creation failed).
    static int32_t GetIndexCapacity();
    /// Whether the atomic's tank draws point sprites.
    static bool UsesPointSprites(Atomic* atomic);
};
