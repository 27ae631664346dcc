// The Direct3D 9 extras of the world module: the light and vertex-shader-flag extensions,
// the list of geometries whose instance data a device reset loses, and the world pipelines'
// open and close.
#pragma once

#include <cstdint>

struct Geometry;

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
    float linearAttenuation;
    float quadraticAttenuation;
};

struct D3D9Lights
{
    static constexpr int32_t kPluginId = 1285;
    /// Registers the light extension. 1 or 0.
    static int32_t Attach();
    static D3D9LightData* Data(void* light);
};

struct VertexShaderFlags
{
    static constexpr int32_t kPluginId = 1295;
    /// The engine, geometry and world-sector extensions. 1 or 0.
    static int32_t Attach();
    static uint32_t Get(const Geometry* geometry);
    static void Set(Geometry* geometry, uint32_t flags);
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

struct WorldPipelines
{
    /// Clears the default pipeline slots; the pipelines themselves come with the
    /// pipeline core. 1 or 0.
    static int32_t Open();
    static void Close();
};
