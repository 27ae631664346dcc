// The Direct3D 9 extras of the world module: the light and vertex-shader-flag extensions,
// the list of geometries whose instance data a device reset loses, and the world pipelines'
// open and close.
#pragma once

#include <cstdint>

struct Geometry;
struct Light;
struct Pipeline;
struct WorldSector;

struct WorldD3D9
{
    /// The light extension, then the vertex-shader flags; the device-restore hook is
    /// installed whatever their outcome. 1 when both registrations succeeded.
    static int32_t Attach();
};

/// Per light: its device light index (-1 none) and attenuation factors.
struct D3D9LightData
{
    int32_t deviceIndex;
    float constantAttenuation;
    float linearAttenuation;    ///< divided by the radius for the device light
    float quadraticAttenuation; ///< divided by the radius squared
};

/// The engine's lights as Direct3D 9 hardware lights: a device light index per light, kept
/// while it lives and recycled when it dies; per draw the lights that reach the object are
/// collected, written, and then exactly those are enabled, within the device's limit.
struct D3D9Lights
{
    static constexpr int32_t kPluginId = 1285;
    /// Registers the light extension. 1 or 0.
    static int32_t Attach();
    static D3D9LightData* Data(void* light);

    /// With the world's atomic pipeline: empties the index arrays and the allocator, reads
    /// the device's active-light limit (0: none) and starts the ambient colour at black. 1.
    static int32_t Open();
    /// Frees the index arrays (the limit and the records stay).
    static void Close();

    /// The global lights of the current world whose flags meet mask: directional ones
    /// written and collected, the others summed into the ambient colour (which starts at
    /// black); D3DRS_AMBIENT white when a light took part, else 0. Whether one did.
    static int32_t SetWorldLights(uint32_t mask);
    /// Writes and collects one directional light. 1, or 0 when it cannot be collected.
    static int32_t AddDirectional(Light* light);
    /// Writes and collects one point, spot or soft-spot light. 0 for a radius of 0, an
    /// unknown type, a light without a frame, or when it cannot be collected.
    static int32_t AddLocal(Light* light);
    /// Wanted: the collected lights (the first up to the device's limit) enabled, those of
    /// the previous draw that are not among them disabled, Direct3D lighting on. Not
    /// wanted: only lighting off, the lists as they are.
    static void Apply(int32_t lightingWanted);

    /// The ambient colour {red, green, blue, alpha} the material set-up reads; atomics sum
    /// their ambient lights into it themselves.
    static float* Ambient();
    /// Indices of the lights enabled by the last draw.
    static int32_t GetNumEnabled();
    static const int32_t* GetEnabled();
};

struct VertexShaderFlags
{
    static constexpr int32_t kPluginId = 1295;
    /// The engine, geometry and world-sector extensions. 1 or 0.
    static int32_t Attach();
    static uint32_t Get(const Geometry* geometry);
    static void Set(Geometry* geometry, uint32_t flags);
    static uint32_t Get(const WorldSector* sector);
    static void Set(WorldSector* sector, uint32_t flags);
};

/// Geometries whose instance data lies in buffers a device reset loses.
struct InstanceList
{
    static void AddGeometry(Geometry* geometry);
    static void RemoveGeometry(Geometry* geometry);
    static int32_t GetCount();
    /// The kept restore callback, then every listed geometry marked for a full re-instance.
    static void RestoreDevice();
};

/// The default pipelines of atomics and world sectors, built when the world module opens
/// on an engine and destroyed when it closes. Each is made of its one all-in-one node and
/// owned by the world module (plug-in id 2).
struct WorldPipelines
{
    /// Builds the atomic pipeline (resetting the light tables and the vertex-shader cache),
    /// then the sector pipeline, and makes them the current defaults. 1, or 0 with nothing
    /// left built.
    static int32_t Open();
    /// Destroys the sector pipeline, then the atomic pipeline.
    static void Close();
    static int32_t CreateAtomicPipeline();
    static int32_t CreateSectorPipeline();
    /// Empties the instanced-geometry list, closes the shader cache and the light tables,
    /// restores the default and destroys the created pipeline.
    static void DestroyAtomicPipeline();
    static void DestroySectorPipeline();
    /// The pipelines built at open (what a restore to the default brings back); null
    /// while closed.
    static Pipeline* GetCreatedAtomicPipeline();
    static Pipeline* GetCreatedSectorPipeline();
};
