// Shader tokens to GLSL for our Direct3D 9 layer: the check that refuses bad token streams when a shader is made,
// and the translation of vertex shaders 1.1-2.x and pixel shaders 1.1-1.3 into the programs drawing builds.
// Private to platform/d3d9.
#pragma once

#include "d3d9caps.h"
#include "d3d9shadertokens.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace d3d9
{

/// One decoded parameter of an instruction.
struct ShaderParam
{
    DWORD token = 0;
    DWORD type = 0;
    DWORD number = 0;
    bool relative = false;
    DWORD addressComponent = 0; ///< a0.<component> of a relative read (always x in version 1.1)
};

/// One decoded instruction; declarations and constants keep their payload.
struct ShaderInstruction
{
    DWORD opcode = 0;
    bool coissue = false;
    bool hasDestination = false;
    ShaderParam destination;
    int sourceCount = 0;
    ShaderParam sources[3];
    DWORD usage = 0, usageIndex = 0; ///< dcl
    float values[4] = {};            ///< def
};

struct DecodedShader
{
    bool pixel = false;
    DWORD major = 0, minor = 0;
    std::vector<ShaderInstruction> instructions;
    /// Vertex shaders: the (usage, usage index) declared for each input register; usage 0xFF when undeclared.
    std::array<uint8_t, 16> inputUsage{};
    std::array<uint8_t, 16> inputUsageIndex{};
};

/// Decodes and checks a token stream of `count` tokens (its end token included): the version is one the layer
/// translates, every opcode is known and allowed, every register exists and is used as its kind allows, every
/// instruction is complete and inputs read are declared. False with the reason otherwise.
bool decodeShader(const DWORD* tokens, size_t count, bool pixel, DecodedShader& out, std::string& reason);

/// The vertex program of a vertex shader: inputs at the locations of their v registers, constants from the block
/// "VsConstants" (256 vec4), outputs as the fixed-function fragment programs read them (vDiffuse, vSpecular,
/// vTex[8], vFog, vEyeZ). `uniformBlock` is the fixed-function block the position post-transform reads uViewport from.
/// Inputs whose bit is set in `wOneInputs` (bit v for vN) come from three-component data: their w reads 1.
std::string vertexShaderGlsl(const DecodedShader& shader, const char* uniformBlock, bool flatShading,
                             uint16_t wOneInputs);

/// Statements for a fixed-function fragment program's main() that compute `current` from a pixel shader: they
/// read vTex[], vDiffuse, vSpecular, the stage samplers uSampler<n> (textureKinds[n]: 0 none, 1 2D, 2 cube), the
/// bump matrices of the fixed block and the constants uPsConst[8].
std::string pixelShaderGlsl(const DecodedShader& shader, const uint8_t textureKinds[8]);

} // namespace d3d9
