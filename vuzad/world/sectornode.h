// The world-sector all-in-one pipeline node: it keeps each leaf sector of the current world
// instanced on the device in one managed stream (building it again when the meshes change
// or the arena evicted it), lights it with the world's lights and draws it in world space.
#pragma once

#include "instancedata.h"

#include <cstdint>

struct NodeDefinition;
struct NodeExecutionParameters;
struct PipelineNode;

struct WorldSectorAllInOneNode
{
    /// "D3D9WorldSectorAllInOne.node"; the world pipelines and plug-ins that build their
    /// own sector pipelines use it.
    static NodeDefinition* GetDefinition();
    /// Writes the instance, lighting and render callbacks (no re-instance). 1.
    static int32_t Init(PipelineNode* node);
    /// parameters->data is the sector. 1, or 0 when its instance data could not be built.
    static int32_t Body(PipelineNode* node, const NodeExecutionParameters* parameters);

    /// The sector's vertices in one managed stream laid out from the current world's
    /// format: position, normal, prelit colour, texture sets 0 and 1, tangent. object is
    /// the sector. 1, or 0 when the declaration, the buffer or the lock was refused.
    static int32_t Instance(void* object, InstanceHeader* header, int32_t reinstance);
    /// The world's lights that light the world, then the sector's local lights, when the
    /// current world is lit; else Direct3D lighting off.
    static void Light(void* object);

    /// The bytes per vertex the instance callback lays out for a world format on the
    /// current device, with the stream's content mask (its lock bits).
    static uint32_t GetStride(uint32_t worldFlags, uint32_t vertexShaderFlags, uint16_t* contentMask);
};
