// The disassembler of our D3DX 9 layer: token streams back to assembler text, written so that assembling the text
// gives the same tokens (used to check generated shaders and to read them when debugging).
#include "d3dx9_local.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace d3dx9
{
namespace
{

class Disassembler
{
public:
    /// count: the tokens of the stream, end token included, as D3D9ShaderTokenCount measured them.
    Disassembler(const DWORD* tokens, size_t count) : mTokens(tokens), mCount(count) {}
    bool Run(std::string& out);

private:
    bool Next(DWORD& token)
    {
        if (mAt >= mCount)
            return false;
        token = mTokens[mAt++];
        return true;
    }
    bool Parameter(DWORD& token)
    {
        return Next(token) && (token & D3DSP_TOKEN_BIT) != 0;
    }
    bool RegisterName(DWORD token, std::string& out);
    bool Destination(DWORD token, std::string& out);
    bool Source(DWORD token, std::string& out);

    const DWORD* mTokens;
    size_t mCount;
    size_t mAt = 0;
    bool mPixel = false;
    DWORD mMajor = 0;
};

const char kComponents[] = "xyzw";

bool Disassembler::RegisterName(DWORD token, std::string& out)
{
    DWORD type = D3DSHADER_PARAM_TYPE(token);
    DWORD number = token & D3DSP_REGNUM_MASK;
    char text[32];
    switch (type)
    {
    case D3DSPR_TEMP:
        std::snprintf(text, sizeof text, "r%u", unsigned(number));
        break;
    case D3DSPR_INPUT:
        std::snprintf(text, sizeof text, "v%u", unsigned(number));
        break;
    case D3DSPR_CONST:
        std::snprintf(text, sizeof text, "c%u", unsigned(number));
        break;
    case D3DSPR_ADDR: // also D3DSPR_TEXTURE
        std::snprintf(text, sizeof text, mPixel ? "t%u" : "a%u", unsigned(number));
        break;
    case D3DSPR_RASTOUT:
        if (number > D3DSRO_POINT_SIZE)
            return false;
        std::snprintf(text, sizeof text, "%s", number == D3DSRO_POSITION ? "oPos" : number == D3DSRO_FOG ? "oFog" : "oPts");
        break;
    case D3DSPR_ATTROUT:
        std::snprintf(text, sizeof text, "oD%u", unsigned(number));
        break;
    case D3DSPR_TEXCRDOUT:
        std::snprintf(text, sizeof text, "oT%u", unsigned(number));
        break;
    default:
        return false;
    }
    out += text;
    return true;
}

bool Disassembler::Destination(DWORD token, std::string& out)
{
    if (token & D3DSHADER_ADDRMODE_RELATIVE)
        return false;
    if (!RegisterName(token, out))
        return false;
    DWORD mask = (token & D3DSP_WRITEMASK_ALL) >> 16;
    if (mask != 0xF)
    {
        if (mask == 0)
            return false;
        out += '.';
        for (int i = 0; i < 4; ++i)
            if (mask & (1u << i))
                out += kComponents[i];
    }
    return true;
}

bool Disassembler::Source(DWORD token, std::string& out)
{
    DWORD modifier = token & D3DSP_SRCMOD_MASK;
    std::string suffix;
    switch (modifier)
    {
    case D3DSPSM_NONE:
        break;
    case D3DSPSM_NEG:
        out += '-';
        break;
    case D3DSPSM_COMP:
        out += "1-";
        break;
    case D3DSPSM_BIAS:
    case D3DSPSM_BIASNEG:
        suffix = "_bias";
        break;
    case D3DSPSM_SIGN:
    case D3DSPSM_SIGNNEG:
        suffix = "_bx2";
        break;
    case D3DSPSM_X2:
    case D3DSPSM_X2NEG:
        suffix = "_x2";
        break;
    default:
        return false; // the assembler has no text for the others
    }
    if (modifier == D3DSPSM_BIASNEG || modifier == D3DSPSM_SIGNNEG || modifier == D3DSPSM_X2NEG)
        out += '-';
    if (token & D3DSHADER_ADDRMODE_RELATIVE)
    {
        if (D3DSHADER_PARAM_TYPE(token) != D3DSPR_CONST || mPixel)
            return false;
        DWORD component = 0;
        if (mMajor >= 2)
        {
            DWORD address = 0;
            if (!Parameter(address) || D3DSHADER_PARAM_TYPE(address) != D3DSPR_ADDR)
                return false;
            component = (address >> D3DSP_SWIZZLE_SHIFT) & 3;
        }
        char text[48];
        std::snprintf(text, sizeof text, "c[a0.%c + %u]", kComponents[component], unsigned(token & D3DSP_REGNUM_MASK));
        out += text;
    }
    else if (!RegisterName(token, out))
        return false;
    out += suffix;
    DWORD swizzle = token & D3DSP_SWIZZLE_MASK;
    if (swizzle != D3DSP_NOSWIZZLE)
    {
        out += '.';
        for (int i = 0; i < 4; ++i)
            out += kComponents[(swizzle >> (D3DSP_SWIZZLE_SHIFT + 2 * i)) & 3];
    }
    return true;
}

bool Disassembler::Run(std::string& out)
{
    DWORD version = 0;
    if (!Next(version))
        return false;
    DWORD kind = version & 0xFFFF0000u;
    if (kind != 0xFFFE0000u && kind != 0xFFFF0000u)
        return false;
    mPixel = kind == 0xFFFF0000u;
    mMajor = D3DSHADER_VERSION_MAJOR(version);
    DWORD minor = D3DSHADER_VERSION_MINOR(version);
    char line[96];
    if (!mPixel && mMajor == 2 && minor == 1)
        std::snprintf(line, sizeof line, "vs_2_x\n");
    else
        std::snprintf(line, sizeof line, "%s_%u_%u\n", mPixel ? "ps" : "vs", unsigned(mMajor), unsigned(minor));
    out += line;

    for (;;)
    {
        DWORD instruction = 0;
        if (!Next(instruction))
            return false;
        DWORD opcode = instruction & D3DSI_OPCODE_MASK;
        if (instruction == D3DSHADER_VERSION_END)
            return true;
        if (opcode == D3DSIO_COMMENT)
        {
            size_t length = (instruction & D3DSI_COMMENTSIZE_MASK) >> D3DSI_COMMENTSIZE_SHIFT;
            if (length > mCount - mAt)
                return false;
            mAt += length;
            continue;
        }
        size_t start = mAt;
        std::string text = instruction & D3DSI_COISSUE ? "+" : "";
        if (opcode == D3DSIO_DCL)
        {
            DWORD usage = 0, destination = 0;
            if (!Parameter(usage) || !Parameter(destination))
                return false;
            const char* name = UsageName(usage & D3DSP_DCL_USAGE_MASK);
            if (!name)
                return false;
            std::snprintf(line, sizeof line, "dcl_%s%u ", name,
                          unsigned((usage & D3DSP_DCL_USAGEINDEX_MASK) >> D3DSP_DCL_USAGEINDEX_SHIFT));
            text += line;
            if (!Destination(destination, text))
                return false;
        }
        else if (opcode == D3DSIO_DEF)
        {
            DWORD destination = 0;
            if (!Parameter(destination))
                return false;
            text += "def ";
            if (!Destination(destination | D3DSP_WRITEMASK_ALL, text))
                return false;
            for (int i = 0; i < 4; ++i)
            {
                DWORD bits = 0;
                if (!Next(bits))
                    return false;
                float value;
                std::memcpy(&value, &bits, sizeof value);
                std::snprintf(line, sizeof line, ", %.9g", double(value));
                text += line;
            }
        }
        else
        {
            const Instruction* known = FindInstruction(opcode);
            if (!known)
                return false;
            text += known->name;
            DWORD first = 0;
            std::string operands;
            for (int i = 0; i < known->destinations + known->sources; ++i)
            {
                DWORD token = 0;
                if (!Parameter(token))
                    return false;
                operands += i ? ", " : " ";
                if (i < known->destinations)
                {
                    first = token;
                    if (!Destination(token, operands))
                        return false;
                }
                else if (!Source(token, operands))
                    return false;
            }
            if (first & D3DSPDM_SATURATE)
                text += "_sat";
            switch ((first & D3DSP_DSTSHIFT_MASK) >> D3DSP_DSTSHIFT_SHIFT)
            {
            case 0:
                break;
            case 1:
                text += "_x2";
                break;
            case 2:
                text += "_x4";
                break;
            case 0xF:
                text += "_d2";
                break;
            default:
                return false;
            }
            if (first & ~(D3DSP_TOKEN_BIT | D3DSP_REGNUM_MASK | D3DSP_REGTYPE_MASK | D3DSP_REGTYPE_MASK2 |
                          D3DSP_WRITEMASK_ALL | D3DSPDM_SATURATE | D3DSP_DSTSHIFT_MASK))
                return false;
            text += operands;
        }
        // From version 2.0 the instruction states its length: it must match what was read.
        if (mMajor >= 2 && ((instruction & D3DSI_INSTLENGTH_MASK) >> D3DSI_INSTLENGTH_SHIFT) != mAt - start)
            return false;
        out += text;
        out += '\n';
    }
}

} // namespace
} // namespace d3dx9

HRESULT D3DXDisassembleShader(const DWORD* tokens, BOOL colorCode, const char* comments, ID3DXBuffer** text)
{
    if (!text)
        return D3DERR_INVALIDCALL;
    *text = nullptr;
    if (!tokens || colorCode)
        return D3DERR_INVALIDCALL;
    std::string out = comments ? std::string("// ") + comments + "\n" : std::string();
    // Measured first: no walk below reads past the end token.
    size_t count = D3D9ShaderTokenCount(tokens);
    if (count == 0 || !d3dx9::Disassembler(tokens, count).Run(out))
        return D3DERR_INVALIDCALL;
    HRESULT result = D3DXCreateBuffer(DWORD(out.size() + 1), text);
    if (FAILED(result))
        return result;
    std::memcpy((*text)->GetBufferPointer(), out.c_str(), out.size() + 1);
    return D3D_OK;
}
