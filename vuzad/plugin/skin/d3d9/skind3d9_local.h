// What the skin pipeline's node and its hardware half share: the node's private data and the
// hardware instance and draw.
#pragma once

#include "instancedata.h"

#include <cstdint>

struct Atomic;
struct Material;
struct Skin;
struct VertexShaderDescriptor;
struct VertexShaderRegisters;

using SkinDescriptorCallback = void (*)(const Atomic* atomic, VertexShaderDescriptor* descriptor);
/// Writes c4 and the lights from block, sets the descriptor's light counts; the register past
/// the last one written.
using SkinConstantsCallback = float (*(*)(void* atomic, int32_t objectType, float (*block)[4],
                                          VertexShaderDescriptor* descriptor))[4];
using SkinShaderLookup = IDirect3DVertexShader9* (*)(void* material, const VertexShaderDescriptor* descriptor,
                                                     VertexShaderRegisters* registers);
using SkinMeshCallback = void (*)(const InstanceHeader* header, const InstanceMesh* mesh,
                                  const VertexShaderDescriptor* descriptor, const VertexShaderRegisters* registers);
using SkinEndCallback = void (*)(const Atomic* atomic);

/// The node's private data: the fixed-function callbacks, then the vertex-shader path, which
/// is null when the device cannot skin in hardware.
struct SkinNodeData
{
    RenderCallback render;
    LightingCallback lighting;
    SkinDescriptorCallback beginDescriptor;
    SkinConstantsCallback lightingConstants;
    SkinShaderLookup findShader;
    SkinMeshCallback renderMesh;
    SkinEndCallback end;
};

/// The default vertex-shader path of the node.
void SkinFillShaderPath(SkinNodeData* data);

/// The vertex side of a hardware-skinned geometry: layout, declaration, buffers and every
/// component written (weights and remapped bone indices included). 1, or 0 on failure.
int32_t SkinInstanceHardware(Atomic* atomic, InstanceHeader* header);

/// Draws hardware-skinned instance data through the node's vertex-shader path.
void SkinRenderHardware(const SkinNodeData* callbacks, ResourceEntry* entry, Atomic* atomic);
