// The atomic all-in-one pipeline node: it keeps an atomic's geometry instanced on the device
// (building, refilling or rebuilding the instance data as the geometry changes), chooses the
// lights that reach the atomic, sets the world transform and the normalise-normals state,
// and hands the data to the render callback.
#pragma once

#include "instancedata.h"

#include <cstdint>

struct Atomic;
struct NodeDefinition;
struct NodeExecutionParameters;
struct PipelineNode;

/// Bits of a geometry's vertex-shader flags word that say what goes to the first stream.
constexpr uint32_t kVsFlagPositions = 0x2;
constexpr uint32_t kVsFlagNormals = 0x4;
constexpr uint32_t kVsFlagPrelit = 0x8;
constexpr uint32_t kVsFlagTexCoords0 = 0x10; ///< set n is this << n
constexpr uint32_t kVsFlagTangents = 0x10000;
/// Atomic pipelines owned by this plug-in id keep every element in one stream.
constexpr int32_t kSingleStreamPipelinePluginId = 302;

struct AtomicAllInOneNode
{
    /// "D3D9AtomicAllInOne.node".
    static NodeDefinition* GetDefinition();
    /// Fills the node's four callbacks with the defaults. 1.
    static int32_t Init(PipelineNode* node);
    /// parameters->data is the atomic. 1, or 0 when the instance data could not be made or
    /// refilled.
    static int32_t Body(PipelineNode* node, const NodeExecutionParameters* parameters);

    /// The default instance callback: lays out the streams and the declaration and fills
    /// every element (reinstance 0), or refills the streams whose elements were locked (1).
    /// object is the atomic. 1, or 0 when a buffer, the declaration or a lock was refused.
    static int32_t Instance(void* object, InstanceHeader* header, int32_t reinstance);
    /// The default re-instance callback. 1, or 0 when the instance callback failed.
    static int32_t Reinstance(void* object, ResourceEntry* entry, InstanceCallback instance);
    /// The default lighting callback: collects the world's lights that reach the atomic and
    /// applies them, or switches lighting off for a geometry that is not lit.
    static void SetupLightingD3D9(void* object);
};
