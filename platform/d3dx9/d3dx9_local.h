// Private to our D3DX 9 layer: short names for the token format's instruction table.
#pragma once

#include "d3d9shadertokens.h"
#include "d3dx9.h"

#include <cstddef>

namespace d3dx9
{

using Instruction = D3D9ShaderInstructionInfo;
constexpr unsigned kVertex = D3D9_SHADER_VERTEX;
constexpr unsigned kPixel = D3D9_SHADER_PIXEL;

inline const Instruction* FindInstruction(const char* name, size_t length)
{
    return D3D9FindShaderInstruction(name, length);
}
inline const Instruction* FindInstruction(DWORD opcode)
{
    return D3D9FindShaderInstruction(opcode);
}
inline int FindUsage(const char* name, size_t length)
{
    return D3D9FindDeclUsage(name, length);
}
inline const char* UsageName(DWORD usage)
{
    return D3D9DeclUsageName(usage);
}

} // namespace d3dx9
