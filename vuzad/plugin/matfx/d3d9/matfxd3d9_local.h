// Module state and stage helpers shared by the material-effect renderers.
#pragma once

#include "d3d9.h"
#include "instancedata.h"
#include "matfxd3d9.h"

#include <cstdint>

struct Matrix;
struct Texture;
struct Pipeline;

struct MatFxState
{
    Pipeline* atomicPipeline;
    Pipeline* sectorPipeline;
    InstanceCallback atomicInstance; ///< the all-in-one nodes' own instance callbacks
    InstanceCallback sectorInstance;
    MatFxDeviceCaps caps;
    IDirect3DPixelShader9* shaders[kMatFxShaderCount];
    MatFxValidation modulate2x;
    MatFxValidation addEnv;
    const Matrix* objectMatrix; ///< world matrix of the object being drawn; null for world space
};

MatFxState& MatFxModule();

namespace matfx
{
/// One stage's colour or alpha operation; kMatFxKeep leaves an argument.
void Stage(uint32_t stage, bool alpha, DWORD op, DWORD arg1, DWORD arg2, DWORD arg0 = kMatFxKeep);
/// Colour and alpha alike.
void StageBoth(uint32_t stage, DWORD op, DWORD arg1, DWORD arg2);
void Apply(const MatFxStageOp* ops, int32_t count);
/// Stage 0 as a plain material draws it: the base modulated by the diffuse colour, or the
/// diffuse colour alone.
void PlainStage0(Texture* base);
/// The engine's 4 x 3 matrix as the UV transform of a stage (COUNT2); null or an identity
/// matrix leaves the stage untransformed. Whether a transform was set.
bool SetUVTransform(uint32_t stage, const Matrix* matrix);
void TransformOff(uint32_t stage);
/// The draw of the mesh from whatever buffers are bound.
void Draw(const InstanceHeader* header, const InstanceMesh* mesh, UINT baseVertex);
/// Whether the device validates the current set-up in one pass.
bool ValidateOnePass();
bool HasTexCoords(uint32_t flags);
} // namespace matfx
