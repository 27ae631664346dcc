// The instruction table of the shader token format, shared by the device's token checks, the translation to GLSL
// and the assembler.
#include "d3d9shadertokens.h"

#include <cstring>

namespace
{

constexpr unsigned kVertex = D3D9_SHADER_VERTEX;
constexpr unsigned kPixel = D3D9_SHADER_PIXEL;
constexpr unsigned kBoth = kVertex | kPixel;

// Vertex 2.0 instructions keep their version in the table so that a 1.1 shader using one is refused.
constexpr DWORD kV20 = 0x0200;

const D3D9ShaderInstructionInfo kInstructions[] = {
    {"nop", D3DSIO_NOP, 0, 0, kBoth, 0},
    {"mov", D3DSIO_MOV, 1, 1, kBoth, 0},
    {"add", D3DSIO_ADD, 1, 2, kBoth, 0},
    {"sub", D3DSIO_SUB, 1, 2, kBoth, 0},
    {"mad", D3DSIO_MAD, 1, 3, kBoth, 0},
    {"mul", D3DSIO_MUL, 1, 2, kBoth, 0},
    {"rcp", D3DSIO_RCP, 1, 1, kVertex, 0},
    {"rsq", D3DSIO_RSQ, 1, 1, kVertex, 0},
    {"dp3", D3DSIO_DP3, 1, 2, kBoth, 0},
    {"dp4", D3DSIO_DP4, 1, 2, kBoth, 0},
    {"min", D3DSIO_MIN, 1, 2, kVertex, 0},
    {"max", D3DSIO_MAX, 1, 2, kVertex, 0},
    {"slt", D3DSIO_SLT, 1, 2, kVertex, 0},
    {"sge", D3DSIO_SGE, 1, 2, kVertex, 0},
    {"exp", D3DSIO_EXP, 1, 1, kVertex, 0},
    {"log", D3DSIO_LOG, 1, 1, kVertex, 0},
    {"lit", D3DSIO_LIT, 1, 1, kVertex, 0},
    {"dst", D3DSIO_DST, 1, 2, kVertex, 0},
    {"lrp", D3DSIO_LRP, 1, 3, kBoth, kV20},
    {"frc", D3DSIO_FRC, 1, 1, kVertex, 0},
    {"m4x4", D3DSIO_M4x4, 1, 2, kVertex, 0},
    {"m4x3", D3DSIO_M4x3, 1, 2, kVertex, 0},
    {"m3x4", D3DSIO_M3x4, 1, 2, kVertex, 0},
    {"m3x3", D3DSIO_M3x3, 1, 2, kVertex, 0},
    {"m3x2", D3DSIO_M3x2, 1, 2, kVertex, 0},
    {"pow", D3DSIO_POW, 1, 2, kVertex, kV20},
    {"crs", D3DSIO_CRS, 1, 2, kVertex, kV20},
    {"sgn", D3DSIO_SGN, 1, 3, kVertex, kV20},
    {"abs", D3DSIO_ABS, 1, 1, kVertex, kV20},
    {"nrm", D3DSIO_NRM, 1, 1, kVertex, kV20},
    {"mova", D3DSIO_MOVA, 1, 1, kVertex, kV20},
    {"expp", D3DSIO_EXPP, 1, 1, kVertex, 0},
    {"logp", D3DSIO_LOGP, 1, 1, kVertex, 0},
    {"texcoord", D3DSIO_TEXCOORD, 1, 0, kPixel, 0},
    {"texkill", D3DSIO_TEXKILL, 1, 0, kPixel, 0},
    {"tex", D3DSIO_TEX, 1, 0, kPixel, 0},
    {"texbem", D3DSIO_TEXBEM, 1, 1, kPixel, 0},
    {"texbeml", D3DSIO_TEXBEML, 1, 1, kPixel, 0},
    {"texreg2ar", D3DSIO_TEXREG2AR, 1, 1, kPixel, 0},
    {"texreg2gb", D3DSIO_TEXREG2GB, 1, 1, kPixel, 0},
    {"texm3x2pad", D3DSIO_TEXM3x2PAD, 1, 1, kPixel, 0},
    {"texm3x2tex", D3DSIO_TEXM3x2TEX, 1, 1, kPixel, 0},
    {"texm3x3pad", D3DSIO_TEXM3x3PAD, 1, 1, kPixel, 0},
    {"texm3x3tex", D3DSIO_TEXM3x3TEX, 1, 1, kPixel, 0},
    {"texm3x3spec", D3DSIO_TEXM3x3SPEC, 1, 2, kPixel, 0},
    {"texm3x3vspec", D3DSIO_TEXM3x3VSPEC, 1, 1, kPixel, 0},
    {"cnd", D3DSIO_CND, 1, 3, kPixel, 0},
    {"cmp", D3DSIO_CMP, 1, 3, kPixel, 0},
    {"dp2add", D3DSIO_DP2ADD, 1, 3, kPixel, 0},
};

const char* const kUsages[] = {"position", "blendweight", "blendindices", "normal",  "psize",
                               "texcoord", "tangent",     "binormal",     "tessfactor", "positiont",
                               "color",    "fog",         "depth",        "sample"};

} // namespace

const D3D9ShaderInstructionInfo* D3D9FindShaderInstruction(const char* name, size_t length)
{
    for (const D3D9ShaderInstructionInfo& instruction : kInstructions)
        if (std::strlen(instruction.name) == length && std::strncmp(instruction.name, name, length) == 0)
            return &instruction;
    return nullptr;
}

const D3D9ShaderInstructionInfo* D3D9FindShaderInstruction(DWORD opcode)
{
    for (const D3D9ShaderInstructionInfo& instruction : kInstructions)
        if (instruction.opcode == opcode)
            return &instruction;
    return nullptr;
}

int D3D9FindDeclUsage(const char* name, size_t length)
{
    for (size_t i = 0; i < sizeof kUsages / sizeof kUsages[0]; ++i)
        if (std::strlen(kUsages[i]) == length && std::strncmp(kUsages[i], name, length) == 0)
            return int(i);
    return -1;
}

const char* D3D9DeclUsageName(DWORD usage)
{
    return usage < sizeof kUsages / sizeof kUsages[0] ? kUsages[usage] : nullptr;
}

D3D9RegisterUse D3D9CheckShaderRegister(bool pixel, DWORD major, DWORD minor, DWORD type, DWORD number,
                                        bool destination, bool relative)
{
    DWORD limit = 0;
    bool writable = false, readable = true;
    if (pixel)
    {
        switch (type)
        {
        case D3DSPR_TEMP:
            limit = 2, writable = true;
            break;
        case D3DSPR_INPUT:
            limit = 2;
            break;
        case D3DSPR_CONST:
            limit = 8;
            break;
        case D3DSPR_TEXTURE:
            limit = 4, writable = true;
            break;
        default:
            return D3D9RegisterUse::UnknownType;
        }
    }
    else
    {
        switch (type)
        {
        case D3DSPR_TEMP:
            limit = major == 2 && minor == 1 ? 32 : 12, writable = true;
            break;
        case D3DSPR_INPUT:
            limit = 16;
            break;
        case D3DSPR_CONST:
            limit = 256;
            break;
        case D3DSPR_ADDR:
            // Version 1.1 reads the address register only through relative constants.
            limit = 1, writable = true, readable = major >= 2;
            break;
        case D3DSPR_RASTOUT:
            limit = 3, writable = true, readable = false;
            break;
        case D3DSPR_ATTROUT:
            limit = 2, writable = true, readable = false;
            break;
        case D3DSPR_TEXCRDOUT:
            limit = 8, writable = true, readable = false;
            break;
        default:
            return D3D9RegisterUse::UnknownType;
        }
    }
    if (number >= limit)
        return D3D9RegisterUse::OutOfRange;
    if (destination && !writable)
        return D3D9RegisterUse::NotWritable;
    if (!destination && !readable)
        return D3D9RegisterUse::NotReadable;
    if (relative && (type != D3DSPR_CONST || destination || pixel))
        return D3D9RegisterUse::BadRelative;
    return D3D9RegisterUse::Allowed;
}

size_t D3D9ShaderTokenCount(const DWORD* function)
{
    if (!function)
        return 0;
    const DWORD major = (function[0] >> 8) & 0xFF;
    // Free words (comment data, definition values, stated lengths) are taken one by one, each checked against the
    // end token before the next is read: the caller's stream is known to hold nothing past it.
    auto skipWords = [&](size_t at, size_t count) -> size_t {
        for (size_t k = 0; k < count; ++k)
        {
            if (at + k >= D3D9_SHADER_TOKEN_LIMIT || function[at + k] == D3DSHADER_VERSION_END)
                return 0;
        }
        return at + count;
    };
    size_t i = 1;
    while (i < D3D9_SHADER_TOKEN_LIMIT)
    {
        const DWORD token = function[i];
        if (token == D3DSHADER_VERSION_END)
            return i + 1;
        const DWORD opcode = token & D3DSI_OPCODE_MASK;
        size_t words = 0;
        if (opcode == D3DSIO_COMMENT)
        {
            words = (token & D3DSI_COMMENTSIZE_MASK) >> D3DSI_COMMENTSIZE_SHIFT;
            if (words >= D3D9_SHADER_TOKEN_LIMIT - i)
                return 0;
        }
        else if (major >= 2)
            words = (token & D3DSI_INSTLENGTH_MASK) >> D3DSI_INSTLENGTH_SHIFT;
        else if (opcode == D3DSIO_DEF)
            words = 5;
        else
        {
            // Version 1.x states no length: the parameters follow, each with its marker bit, which the end token
            // lacks.
            ++i;
            while (i < D3D9_SHADER_TOKEN_LIMIT && (function[i] & D3DSP_TOKEN_BIT))
                ++i;
            continue;
        }
        i = skipWords(i + 1, words);
        if (i == 0)
            return 0;
    }
    return 0;
}
