// The shader token format of our Direct3D 9 layer: version, instruction and parameter tokens with the platform's
// own opcode numbers, register types and bit fields. The assembler writes it and the device translates it.
#pragma once

#include "d3d9types.h"

#include <cstddef>

// ---- Instruction tokens -----------------------------------------------------------------------------------------

enum D3DSHADER_INSTRUCTION_OPCODE_TYPE : DWORD
{
    D3DSIO_NOP = 0,
    D3DSIO_MOV = 1,
    D3DSIO_ADD = 2,
    D3DSIO_SUB = 3,
    D3DSIO_MAD = 4,
    D3DSIO_MUL = 5,
    D3DSIO_RCP = 6,
    D3DSIO_RSQ = 7,
    D3DSIO_DP3 = 8,
    D3DSIO_DP4 = 9,
    D3DSIO_MIN = 10,
    D3DSIO_MAX = 11,
    D3DSIO_SLT = 12,
    D3DSIO_SGE = 13,
    D3DSIO_EXP = 14,
    D3DSIO_LOG = 15,
    D3DSIO_LIT = 16,
    D3DSIO_DST = 17,
    D3DSIO_LRP = 18,
    D3DSIO_FRC = 19,
    D3DSIO_M4x4 = 20,
    D3DSIO_M4x3 = 21,
    D3DSIO_M3x4 = 22,
    D3DSIO_M3x3 = 23,
    D3DSIO_M3x2 = 24,
    D3DSIO_DCL = 31,
    D3DSIO_POW = 32,
    D3DSIO_CRS = 33,
    D3DSIO_SGN = 34,
    D3DSIO_ABS = 35,
    D3DSIO_NRM = 36,
    D3DSIO_MOVA = 46,
    D3DSIO_TEXCOORD = 64,
    D3DSIO_TEXKILL = 65,
    D3DSIO_TEX = 66,
    D3DSIO_TEXBEM = 67,
    D3DSIO_TEXBEML = 68,
    D3DSIO_TEXREG2AR = 69,
    D3DSIO_TEXREG2GB = 70,
    D3DSIO_TEXM3x2PAD = 71,
    D3DSIO_TEXM3x2TEX = 72,
    D3DSIO_TEXM3x3PAD = 73,
    D3DSIO_TEXM3x3TEX = 74,
    D3DSIO_TEXM3x3SPEC = 76,
    D3DSIO_TEXM3x3VSPEC = 77,
    D3DSIO_EXPP = 78,
    D3DSIO_LOGP = 79,
    D3DSIO_CND = 80,
    D3DSIO_DEF = 81,
    D3DSIO_CMP = 88,
    D3DSIO_DP2ADD = 90,
    D3DSIO_COMMENT = 0xFFFE,
    D3DSIO_END = 0xFFFF,
};

constexpr DWORD D3DSI_OPCODE_MASK = 0x0000FFFF;
constexpr DWORD D3DSI_INSTLENGTH_MASK = 0x0F000000;
constexpr DWORD D3DSI_INSTLENGTH_SHIFT = 24;
/// Pixel shaders 1.x: the instruction runs in the same cycle as the previous one ("+" prefix).
constexpr DWORD D3DSI_COISSUE = 0x40000000;
constexpr DWORD D3DSI_COMMENTSIZE_SHIFT = 16;
constexpr DWORD D3DSI_COMMENTSIZE_MASK = 0x7FFF0000;

// ---- Parameter tokens ---------------------------------------------------------------------------------------------

/// Every parameter token has bit 31 set.
constexpr DWORD D3DSP_TOKEN_BIT = 0x80000000u;
constexpr DWORD D3DSP_REGNUM_MASK = 0x000007FF;
constexpr DWORD D3DSP_REGTYPE_SHIFT = 28;
constexpr DWORD D3DSP_REGTYPE_SHIFT2 = 8;
constexpr DWORD D3DSP_REGTYPE_MASK = 0x70000000;
constexpr DWORD D3DSP_REGTYPE_MASK2 = 0x00001800;
/// Relative addressing through the address register (a0.x implied in version 1.x; a following token from 2.0).
constexpr DWORD D3DSHADER_ADDRMODE_RELATIVE = 0x00002000;

enum D3DSHADER_PARAM_REGISTER_TYPE : DWORD
{
    D3DSPR_TEMP = 0,
    D3DSPR_INPUT = 1,
    D3DSPR_CONST = 2,
    D3DSPR_ADDR = 3,
    D3DSPR_TEXTURE = 3,
    D3DSPR_RASTOUT = 4,
    D3DSPR_ATTROUT = 5,
    D3DSPR_TEXCRDOUT = 6,
    D3DSPR_CONSTINT = 7,
    D3DSPR_COLOROUT = 8,
    D3DSPR_DEPTHOUT = 9,
    D3DSPR_SAMPLER = 10,
    D3DSPR_CONSTBOOL = 14,
};

/// Numbers of the rasteriser outputs (register type RASTOUT).
enum D3DVS_RASTOUT_OFFSETS : DWORD
{
    D3DSRO_POSITION = 0,
    D3DSRO_FOG = 1,
    D3DSRO_POINT_SIZE = 2,
};

constexpr DWORD D3DSP_WRITEMASK_0 = 0x00010000;
constexpr DWORD D3DSP_WRITEMASK_1 = 0x00020000;
constexpr DWORD D3DSP_WRITEMASK_2 = 0x00040000;
constexpr DWORD D3DSP_WRITEMASK_3 = 0x00080000;
constexpr DWORD D3DSP_WRITEMASK_ALL = 0x000F0000;

constexpr DWORD D3DSP_DSTMOD_SHIFT = 20;
constexpr DWORD D3DSP_DSTMOD_MASK = 0x00F00000;
constexpr DWORD D3DSPDM_SATURATE = 1u << D3DSP_DSTMOD_SHIFT;
constexpr DWORD D3DSPDM_PARTIALPRECISION = 2u << D3DSP_DSTMOD_SHIFT;

/// Result scale of pixel shaders 1.x, a signed 4-bit power of two (1 = x2, 2 = x4, 15 = d2).
constexpr DWORD D3DSP_DSTSHIFT_SHIFT = 24;
constexpr DWORD D3DSP_DSTSHIFT_MASK = 0x0F000000;

constexpr DWORD D3DSP_SWIZZLE_SHIFT = 16;
constexpr DWORD D3DSP_SWIZZLE_MASK = 0x00FF0000;
/// x, y, z, w in order: each source component names the input component it reads in two bits.
constexpr DWORD D3DSP_NOSWIZZLE = (0u << 16) | (1u << 18) | (2u << 20) | (3u << 22);

constexpr DWORD D3DSP_SRCMOD_SHIFT = 24;
constexpr DWORD D3DSP_SRCMOD_MASK = 0x0F000000;

enum D3DSHADER_PARAM_SRCMOD_TYPE : DWORD
{
    D3DSPSM_NONE = 0u << 24,
    D3DSPSM_NEG = 1u << 24,
    D3DSPSM_BIAS = 2u << 24,
    D3DSPSM_BIASNEG = 3u << 24,
    D3DSPSM_SIGN = 4u << 24,
    D3DSPSM_SIGNNEG = 5u << 24,
    D3DSPSM_COMP = 6u << 24,
    D3DSPSM_X2 = 7u << 24,
    D3DSPSM_X2NEG = 8u << 24,
    D3DSPSM_DZ = 9u << 24,
    D3DSPSM_DW = 10u << 24,
    D3DSPSM_ABS = 11u << 24,
    D3DSPSM_ABSNEG = 12u << 24,
};

// ---- Declarations -------------------------------------------------------------------------------------------------

/// The token after a dcl instruction: usage in bits 0-4, usage index in bits 16-19.
constexpr DWORD D3DSP_DCL_USAGE_SHIFT = 0;
constexpr DWORD D3DSP_DCL_USAGE_MASK = 0x0000001F;
constexpr DWORD D3DSP_DCL_USAGEINDEX_SHIFT = 16;
constexpr DWORD D3DSP_DCL_USAGEINDEX_MASK = 0x000F0000;
/// Sampler declarations of pixel shaders 2.0: the texture type in bits 27-30.
constexpr DWORD D3DSP_TEXTURETYPE_SHIFT = 27;
constexpr DWORD D3DSP_TEXTURETYPE_MASK = 0x78000000;

constexpr DWORD D3DSHADER_VERSION_END = 0x0000FFFF;

/// The register type of a parameter token.
constexpr DWORD D3DSHADER_PARAM_TYPE(DWORD token)
{
    return ((token & D3DSP_REGTYPE_MASK) >> D3DSP_REGTYPE_SHIFT) | ((token & D3DSP_REGTYPE_MASK2) >> D3DSP_REGTYPE_SHIFT2);
}
/// The type bits of a parameter token for a register type.
constexpr DWORD D3DSHADER_PARAM_TYPE_BITS(DWORD type)
{
    return ((type << D3DSP_REGTYPE_SHIFT) & D3DSP_REGTYPE_MASK) | ((type << D3DSP_REGTYPE_SHIFT2) & D3DSP_REGTYPE_MASK2);
}

// ---- Instruction table --------------------------------------------------------------------------------------------

/// Which shaders may use an instruction.
enum : unsigned
{
    D3D9_SHADER_VERTEX = 1,
    D3D9_SHADER_PIXEL = 2,
};

/// What the assembler, the disassembler and the device's token checks know of one instruction.
struct D3D9ShaderInstructionInfo
{
    const char* name;
    DWORD opcode;
    int destinations; ///< 0 or 1
    int sources;
    unsigned shaders;           ///< D3D9_SHADER_VERTEX | D3D9_SHADER_PIXEL
    DWORD minimumVertexVersion; ///< major << 8 | minor for vertex shaders; 0 when any version
};

/// The instruction of an assembler name or of an opcode; null when unknown. Declarations (dcl), constants (def) and
/// comments are not in the table: their token forms differ.
const D3D9ShaderInstructionInfo* D3D9FindShaderInstruction(const char* name, size_t length);
const D3D9ShaderInstructionInfo* D3D9FindShaderInstruction(DWORD opcode);

/// How a register may be used by a shader of one kind and version.
enum class D3D9RegisterUse
{
    Allowed,
    UnknownType, ///< the kind of shader has no such register type
    OutOfRange,  ///< past the last register of its type
    NotWritable,
    NotReadable,
    BadRelative, ///< relative addressing off a constant read by a vertex shader
};

/// Checks one register use: `destination` when it is written, `relative` when addressed through a0.
/// Declarations (inputs) and definitions (constants) name registers no instruction writes: check them as read.
D3D9RegisterUse D3D9CheckShaderRegister(bool pixel, DWORD major, DWORD minor, DWORD type, DWORD number,
                                        bool destination, bool relative);

/// Declaration usages by their assembler names ("position", "texcoord", ...); -1 when unknown, null past the last.
int D3D9FindDeclUsage(const char* name, size_t length);
const char* D3D9DeclUsageName(DWORD usage);

// ---- Stream length ------------------------------------------------------------------------------------------------

/// The longest token stream a shader may have, end token included.
constexpr size_t D3D9_SHADER_TOKEN_LIMIT = size_t(1) << 16;

/// The number of tokens from the version token to the end token, both included, found by walking instruction by
/// instruction without ever reading past the end token: 0 when a comment, a stated instruction length or a
/// definition's values run over the end token, when a comment states more words than a shader may hold, or when
/// no end token comes within D3D9_SHADER_TOKEN_LIMIT. The version token is not checked here.
size_t D3D9ShaderTokenCount(const DWORD* function);
