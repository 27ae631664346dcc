// Private to our D3DX 9 layer: the instruction table shared by the assembler and the disassembler, and the
// buffer object.
#pragma once

#include "d3d9shadertokens.h"
#include "d3dx9.h"

#include <cstddef>

namespace d3dx9
{

/// Which shaders may use an instruction.
enum : unsigned
{
    kVertex = 1,
    kPixel = 2,
    kBoth = 3,
};

struct Instruction
{
    const char* name;
    DWORD opcode;
    int destinations; ///< 0 or 1
    int sources;
    unsigned shaders;
    DWORD minimumVertexVersion; ///< major << 8 | minor; 0 when any version
};

/// The instructions of the assembler, in no particular order; null when the name or opcode is unknown.
const Instruction* FindInstruction(const char* name, size_t length);
const Instruction* FindInstruction(DWORD opcode);

/// Declaration usages by their assembler names ("position", "texcoord", ...); -1 when unknown.
int FindUsage(const char* name, size_t length);
const char* UsageName(DWORD usage);

} // namespace d3dx9
