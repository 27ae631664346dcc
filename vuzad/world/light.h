// Lights: ambient and directional lights act on the whole world, local lights (point,
// spot, soft spot) within their radius, through the sectors they are tied to.
#pragma once

#include "frameobject.h"
#include "linklist.h"
#include "plugin.h"

#include <cstdint>

struct Stream;
struct World;

enum LightType : uint8_t
{
    kLightDirectional = 1,
    kLightAmbient = 2,
    kLightPoint = 128,
    kLightSpot = 129,
    kLightSoftSpot = 130,
};
/// Type bit of the lights tied to sectors.
constexpr uint8_t kLightLocal = 0x80;

// Flags.
constexpr uint8_t kLightLightsAtomics = 0x1;
constexpr uint8_t kLightLightsWorld = 0x2;
/// Private flag: red, green and blue are equal.
constexpr uint8_t kLightGreyscale = 0x1;

struct LightColour
{
    float red, green, blue, alpha;
};

struct Light
{
    FrameObject object; ///< type 3, sub-type = the light type
    float radius;
    LightColour colour;
    float minusCosAngle; ///< -cos(cone angle) for spot lights
    ListLink sectorTies;
    ListLink worldLink; ///< in its world's local or global list
    uint32_t lightStamp;
    uint16_t spare;
    // Plug-in data follows.

    static constexpr uint8_t kObjectType = 3;

    /// Radius 0, white, flags 3. Null when the free list is exhausted or a constructor fails.
    static Light* Create(int32_t type);
    /// Plug-in destructors (the world's unties it), off its frame, freed. Callers take it
    /// out of its world and clump first. 1.
    static int32_t Destroy(Light* light);
    static int32_t GetType(const Light* light) { return light->object.subType; }
    /// Marks the frame so the ties follow at the next synchronisation. The light.
    static Light* SetRadius(Light* light, float radius);
    static Light* SetColor(Light* light, const LightColour* colour);
    static Light* SetFrame(Light* light, Frame* frame);
    /// Radians, from -minusCosAngle: 0 for -1, pi/2 for 0, pi for 1.
    static float GetConeAngle(const Light* light);
    static World* GetWorld(const Light* light);
    static Light* FromWorldLink(ListLink* link);

    /// Stream positioned after a light chunk header (18). Null on failure, nothing left.
    static Light* StreamRead(Stream* stream);

    static int32_t RegisterPlugin(int32_t size, int32_t pluginId, PluginConstructor constructor,
                                  PluginDestructor destructor, PluginCopy copy);
    static int32_t RegisterPluginStream(int32_t pluginId, PluginStreamRead read, PluginStreamWrite write,
                                        PluginStreamSize size);
    static int32_t GetPluginOffset(int32_t pluginId);
    static PluginRegistry* Registry();

    // ---- The light module (engine block 1285) --------------------------------------------

    static constexpr int32_t kPluginId = 1285;
    static void* OpenModule(void* engine, int32_t offset, int32_t size);
    static void* CloseModule(void* engine, int32_t offset, int32_t size);
};
