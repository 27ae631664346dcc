// Shader tokens to GLSL: a decoder that checks every token before a shader object exists, and translators that
// write vertex shaders as whole vertex programs and pixel shaders as the colour part of a fragment program.
#include "d3d9shadertranslate_local.h"

#include <cstdio>
#include <cstring>

namespace d3d9
{
namespace
{

constexpr size_t kTokenLimit = 1u << 16;
/// Bits 14-15 of every parameter token mean nothing: a token setting them would not come back from its text.
constexpr DWORD kReservedParamBits = 0x0000C000;
/// Instruction-token bits beside the opcode: specific controls (16-23), the stated length (24-27, from 2.0),
/// predication (28) and a reserved bit (29). None of the translated instructions uses controls or predication.
constexpr DWORD kControlBits = 0x00FF0000;
constexpr DWORD kLengthBits = 0x0F000000;
constexpr DWORD kPredicateAndReservedBits = 0x30000000;

struct Limits
{
    DWORD temps, inputs, constants, textures;
};

Limits limitsOf(const DecodedShader& shader)
{
    if (shader.pixel)
        return {2, 2, 8, 4};
    return {shader.major == 2 && shader.minor == 1 ? 32u : 12u, 16, 256, 0};
}

bool fail(std::string& reason, const char* format, DWORD a = 0, DWORD b = 0)
{
    char text[160];
    std::snprintf(text, sizeof text, format, unsigned(a), unsigned(b));
    reason = text;
    return false;
}

/// Checks one register against the shader's kind and version.
bool checkRegister(const DecodedShader& shader, const ShaderParam& p, bool destination, std::string& reason)
{
    switch (D3D9CheckShaderRegister(shader.pixel, shader.major, shader.minor, p.type, p.number, destination,
                                    p.relative))
    {
    case D3D9RegisterUse::Allowed:
        return true;
    case D3D9RegisterUse::UnknownType:
        return fail(reason, "register type %u is not used by this kind of shader", p.type);
    case D3D9RegisterUse::OutOfRange:
        return fail(reason, "register %u of type %u out of range", p.number, p.type);
    case D3D9RegisterUse::NotWritable:
        return fail(reason, "register type %u cannot be written", p.type);
    case D3D9RegisterUse::NotReadable:
        return fail(reason, "register type %u cannot be read", p.type);
    case D3D9RegisterUse::BadRelative:
        return fail(reason, "relative addressing of register type %u", p.type);
    }
    return false;
}

class Reader
{
public:
    Reader(const DWORD* tokens, size_t count) : mTokens(tokens), mCount(count < kTokenLimit ? count : kTokenLimit) {}
    bool next(DWORD& token)
    {
        if (mAt >= mCount)
            return false;
        token = mTokens[mAt++];
        return true;
    }
    size_t at() const { return mAt; }
    void skip(size_t n) { mAt += n; }
    size_t left() const { return mCount - mAt; }

private:
    const DWORD* mTokens;
    size_t mCount;
    size_t mAt = 0;
};

bool readParam(Reader& reader, const DecodedShader& shader, ShaderParam& p, bool destination, std::string& reason)
{
    if (!reader.next(p.token))
        return fail(reason, "the stream ends inside an instruction");
    if (!(p.token & D3DSP_TOKEN_BIT))
        return fail(reason, "parameter token %08X lacks its marker bit", p.token);
    if (p.token & kReservedParamBits)
        return fail(reason, "parameter token %08X sets reserved bits", p.token);
    p.type = D3DSHADER_PARAM_TYPE(p.token);
    p.number = p.token & D3DSP_REGNUM_MASK;
    p.relative = (p.token & D3DSHADER_ADDRMODE_RELATIVE) != 0;
    if (p.relative && shader.major >= 2)
    {
        DWORD address = 0;
        if (!reader.next(address))
            return fail(reason, "the stream ends inside an instruction");
        if (!(address & D3DSP_TOKEN_BIT) || D3DSHADER_PARAM_TYPE(address) != D3DSPR_ADDR ||
            (address & D3DSP_REGNUM_MASK) != 0)
            return fail(reason, "bad address token %08X", address);
        p.addressComponent = (address >> D3DSP_SWIZZLE_SHIFT) & 3;
    }
    if (destination && (p.token & D3DSP_WRITEMASK_ALL) == 0)
        return fail(reason, "empty write mask");
    if (!destination)
    {
        DWORD modifier = p.token & D3DSP_SRCMOD_MASK;
        bool pixelOnly = modifier == D3DSPSM_BIAS || modifier == D3DSPSM_BIASNEG || modifier == D3DSPSM_SIGN ||
                         modifier == D3DSPSM_SIGNNEG || modifier == D3DSPSM_COMP || modifier == D3DSPSM_X2 ||
                         modifier == D3DSPSM_X2NEG;
        bool known = modifier == D3DSPSM_NONE || modifier == D3DSPSM_NEG || pixelOnly ||
                     (!shader.pixel && shader.major >= 2 && (modifier == D3DSPSM_ABS || modifier == D3DSPSM_ABSNEG));
        if (!known || (pixelOnly && !shader.pixel))
            return fail(reason, "source modifier %u not supported", modifier >> D3DSP_SRCMOD_SHIFT);
    }
    return checkRegister(shader, p, destination, reason);
}

// ---- GLSL helpers -----------------------------------------------------------------------------------------------

std::string num(long value)
{
    return std::to_string(value);
}

std::string floatText(float value)
{
    char text[48];
    std::snprintf(text, sizeof text, "%.9g", double(value));
    std::string s = text;
    if (s.find_first_of(".eEn") == std::string::npos)
        s += ".0";
    if (s == "inf")
        return "1e38";
    if (s == "-inf")
        return "-1e38";
    if (s == "nan" || s == "-nan")
        return "0.0";
    return s;
}

const char kComponents[] = "xyzw";

std::string swizzleText(DWORD token)
{
    DWORD swizzle = token & D3DSP_SWIZZLE_MASK;
    if (swizzle == D3DSP_NOSWIZZLE)
        return "";
    std::string s = ".";
    for (int i = 0; i < 4; ++i)
        s += kComponents[(swizzle >> (D3DSP_SWIZZLE_SHIFT + 2 * i)) & 3];
    return s;
}

std::string maskText(DWORD token)
{
    DWORD mask = (token & D3DSP_WRITEMASK_ALL) >> 16;
    std::string s;
    for (int i = 0; i < 4; ++i)
        if (mask & (1u << i))
            s += kComponents[i];
    return s;
}

class Translator
{
public:
    explicit Translator(const DecodedShader& shader) : mShader(shader)
    {
        for (const ShaderInstruction& in : shader.instructions)
            if (in.opcode == D3DSIO_DEF)
                mDefined[in.destination.number & 0xFF] = true;
    }

    /// The register's value as a vec4, rows counting up for matrix instructions.
    std::string registerText(const ShaderParam& p, DWORD row = 0) const
    {
        DWORD n = p.number + row;
        switch (p.type)
        {
        case D3DSPR_TEMP:
            return "r" + num(n);
        case D3DSPR_INPUT:
            return mShader.pixel ? (n == 0 ? "vDiffuse" : "vSpecular") : "v" + num(n);
        case D3DSPR_CONST:
            if (p.relative)
                return std::string("constantAt(a0.") + kComponents[p.addressComponent] + " + " + num(n) + ")";
            if (n < 256 && mDefined[n])
                return "c" + num(n);
            return mShader.pixel ? "uPsConst[" + num(n) + "]" : "uVsConst[" + num(n) + "]";
        case D3DSPR_ADDR: // the texture registers of pixel shaders share the number
            return mShader.pixel ? "t" + num(n) : "vec4(a0)";
        default:
            return "vec4(0.0)";
        }
    }

    std::string source(const ShaderParam& p, DWORD row = 0) const
    {
        std::string value = registerText(p, row) + swizzleText(p.token);
        switch (p.token & D3DSP_SRCMOD_MASK)
        {
        case D3DSPSM_NEG:
            return "(-" + value + ")";
        case D3DSPSM_BIAS:
            return "(" + value + " - 0.5)";
        case D3DSPSM_BIASNEG:
            return "(0.5 - " + value + ")";
        case D3DSPSM_SIGN:
            return "(2.0 * " + value + " - 1.0)";
        case D3DSPSM_SIGNNEG:
            return "(1.0 - 2.0 * " + value + ")";
        case D3DSPSM_COMP:
            return "(1.0 - " + value + ")";
        case D3DSPSM_X2:
            return "(2.0 * " + value + ")";
        case D3DSPSM_X2NEG:
            return "(-2.0 * " + value + ")";
        case D3DSPSM_ABS:
            return "abs(" + value + ")";
        case D3DSPSM_ABSNEG:
            return "(-abs(" + value + "))";
        default:
            return value;
        }
    }

    /// The instruction's result as a vec4 expression; empty for instructions without one.
    std::string arithmetic(const ShaderInstruction& in) const
    {
        auto s = [&](int i) { return source(in.sources[i]); };
        auto rows = [&](int count, bool four) {
            std::string out = "vec4(";
            for (int i = 0; i < 4; ++i)
            {
                if (i)
                    out += ", ";
                if (i >= count)
                {
                    out += "0.0";
                    continue;
                }
                std::string row = source(in.sources[1], DWORD(i));
                out += four ? "dot(" + s(0) + ", " + row + ")" : "dot(" + s(0) + ".xyz, " + row + ".xyz)";
            }
            return out + ")";
        };
        bool version1 = mShader.major < 2;
        switch (in.opcode)
        {
        case D3DSIO_MOV:
        case D3DSIO_MOVA:
            return s(0);
        case D3DSIO_ADD:
            return s(0) + " + " + s(1);
        case D3DSIO_SUB:
            return s(0) + " - " + s(1);
        case D3DSIO_MAD:
            return s(0) + " * " + s(1) + " + " + s(2);
        case D3DSIO_MUL:
            return s(0) + " * " + s(1);
        case D3DSIO_RCP:
            return "vec4(1.0 / " + s(0) + ".w)";
        case D3DSIO_RSQ:
            return "vec4(inversesqrt(abs(" + s(0) + ".w)))";
        case D3DSIO_DP3:
            return "vec4(dot(" + s(0) + ".xyz, " + s(1) + ".xyz))";
        case D3DSIO_DP4:
            return "vec4(dot(" + s(0) + ", " + s(1) + "))";
        case D3DSIO_MIN:
            return "min(" + s(0) + ", " + s(1) + ")";
        case D3DSIO_MAX:
            return "max(" + s(0) + ", " + s(1) + ")";
        case D3DSIO_SLT:
            return "vec4(lessThan(" + s(0) + ", " + s(1) + "))";
        case D3DSIO_SGE:
            return "vec4(greaterThanEqual(" + s(0) + ", " + s(1) + "))";
        case D3DSIO_EXP:
            return "vec4(exp2(" + s(0) + ".w))";
        case D3DSIO_LOG:
            return "vec4(log2(abs(" + s(0) + ".w)))";
        case D3DSIO_EXPP:
            // Version 1.1 gives the parts of the power in four components; later versions the value alone.
            return version1 ? "partialExp(" + s(0) + ".w)" : "vec4(exp2(" + s(0) + ".w))";
        case D3DSIO_LOGP:
            return version1 ? "partialLog(" + s(0) + ".w)" : "vec4(log2(abs(" + s(0) + ".w)))";
        case D3DSIO_LIT:
            return "lighting(" + s(0) + ")";
        case D3DSIO_DST:
            return "vec4(1.0, " + s(0) + ".y * " + s(1) + ".y, " + s(0) + ".z, " + s(1) + ".w)";
        case D3DSIO_LRP:
            return "mix(" + s(2) + ", " + s(1) + ", " + s(0) + ")";
        case D3DSIO_FRC:
            return "fract(" + s(0) + ")";
        case D3DSIO_M4x4:
            return rows(4, true);
        case D3DSIO_M4x3:
            return rows(3, true);
        case D3DSIO_M3x4:
            return rows(4, false);
        case D3DSIO_M3x3:
            return rows(3, false);
        case D3DSIO_M3x2:
            return rows(2, false);
        case D3DSIO_POW:
            return "vec4(pow(abs(" + s(0) + ".w), " + s(1) + ".w))";
        case D3DSIO_CRS:
            return "vec4(cross(" + s(0) + ".xyz, " + s(1) + ".xyz), 0.0)";
        case D3DSIO_SGN:
            return "sign(" + s(0) + ")";
        case D3DSIO_ABS:
            return "abs(" + s(0) + ")";
        case D3DSIO_NRM:
            return "(" + s(0) + " * inversesqrt(dot(" + s(0) + ".xyz, " + s(0) + ".xyz)))";
        case D3DSIO_CND:
            return "mix(" + s(2) + ", " + s(1) + ", vec4(greaterThan(" + s(0) + ", vec4(0.5))))";
        case D3DSIO_CMP:
            return "mix(" + s(2) + ", " + s(1) + ", vec4(greaterThanEqual(" + s(0) + ", vec4(0.0))))";
        case D3DSIO_DP2ADD:
            return "vec4(dot(" + s(0) + ".xy, " + s(1) + ".xy) + " + s(2) + ".x)";
        default:
            return "";
        }
    }

    /// The name a destination register is written through.
    std::string destinationName(const ShaderParam& p) const
    {
        switch (p.type)
        {
        case D3DSPR_TEMP:
            return "r" + num(p.number);
        case D3DSPR_ADDR:
            return mShader.pixel ? "t" + num(p.number) : "a0";
        case D3DSPR_RASTOUT:
            return p.number == D3DSRO_POSITION ? "oPos" : p.number == D3DSRO_FOG ? "oFogRegister" : "oPtsRegister";
        case D3DSPR_ATTROUT:
            return "oD" + num(p.number);
        case D3DSPR_TEXCRDOUT:
            return "oT[" + num(p.number) + "]";
        default:
            return "unused";
        }
    }

    /// `target.mask = value.mask;` with the destination's scale and saturation.
    std::string write(const ShaderInstruction& in, const std::string& value) const
    {
        const ShaderParam& d = in.destination;
        std::string v = "(" + value + ")";
        switch ((d.token & D3DSP_DSTSHIFT_MASK) >> D3DSP_DSTSHIFT_SHIFT)
        {
        case 1:
            v = "(" + v + " * 2.0)";
            break;
        case 2:
            v = "(" + v + " * 4.0)";
            break;
        case 0xF:
            v = "(" + v + " * 0.5)";
            break;
        default:
            break;
        }
        if (d.token & D3DSPDM_SATURATE)
            v = "clamp(" + v + ", 0.0, 1.0)";
        std::string mask = maskText(d.token);
        if (!mShader.pixel && d.type == D3DSPR_ADDR)
        {
            // mova rounds to the nearest integer; version 1.1 moves truncate towards minus infinity.
            std::string rounded = in.opcode == D3DSIO_MOVA ? "ivec4(floor(" + v + " + 0.5))" : "ivec4(floor(" + v + "))";
            return "    a0." + mask + " = " + rounded + "." + mask + ";\n";
        }
        return "    " + destinationName(d) + "." + mask + " = " + v + "." + mask + ";\n";
    }

    std::string defines() const
    {
        std::string s;
        for (const ShaderInstruction& in : mShader.instructions)
            if (in.opcode == D3DSIO_DEF)
                s += "    const vec4 c" + num(in.destination.number) + " = vec4(" + floatText(in.values[0]) + ", " +
                     floatText(in.values[1]) + ", " + floatText(in.values[2]) + ", " + floatText(in.values[3]) +
                     ");\n";
        return s;
    }

    std::string pixelTexture(const ShaderInstruction& in, const uint8_t kinds[8], std::string& matrixRow) const
    {
        DWORD n = in.destination.number;
        std::string t = "t" + num(n);
        std::string coordinates = "vTex[" + num(n) + "]";
        auto sample = [&](const std::string& at2, const std::string& at3) {
            if (kinds[n] == 0)
                return std::string("vec4(0.0, 0.0, 0.0, 1.0)");
            return "texture(uSampler" + num(n) + ", " + (kinds[n] == 2 ? at3 : at2) + ")";
        };
        std::string m = in.sourceCount ? source(in.sources[0]) : "";
        switch (in.opcode)
        {
        case D3DSIO_TEX:
            return "    " + t + " = " + sample(coordinates + ".xy", coordinates + ".xyz") + ";\n";
        case D3DSIO_TEXCOORD:
            return "    " + t + " = vec4(clamp(" + coordinates + ".xyz, 0.0, 1.0), 1.0);\n";
        case D3DSIO_TEXKILL:
            return "    if (any(lessThan(" + coordinates + ".xyz, vec3(0.0)))) discard;\n";
        case D3DSIO_TEXBEM:
        case D3DSIO_TEXBEML:
        {
            std::string b = "uBumpMatrix[" + num(n) + "]";
            std::string at = "(" + coordinates + ".xy + vec2(" + m + ".r * " + b + ".x + " + m + ".g * " + b + ".z, " +
                             m + ".r * " + b + ".y + " + m + ".g * " + b + ".w))";
            std::string s = "    " + t + " = " + sample(at, "vec3(" + at + ", 0.0)") + ";\n";
            if (in.opcode == D3DSIO_TEXBEML)
                s += "    " + t + ".rgb *= clamp(" + m + ".b * uBumpLuminance[" + num(n) + "].x + uBumpLuminance[" +
                     num(n) + "].y, 0.0, 1.0);\n";
            return s;
        }
        case D3DSIO_TEXREG2AR:
            return "    " + t + " = " + sample("vec2(" + m + ".a, " + m + ".r)", "vec3(" + m + ".a, " + m + ".r, 0.0)") +
                   ";\n";
        case D3DSIO_TEXREG2GB:
            return "    " + t + " = " + sample("vec2(" + m + ".g, " + m + ".b)", "vec3(" + m + ".g, " + m + ".b, 0.0)") +
                   ";\n";
        case D3DSIO_TEXM3x2PAD:
        case D3DSIO_TEXM3x3PAD:
        {
            std::string row = "dot(" + coordinates + ".xyz, " + m + ".rgb)";
            matrixRow += matrixRow.empty() ? row : ", " + row;
            return "";
        }
        case D3DSIO_TEXM3x2TEX:
        case D3DSIO_TEXM3x3TEX:
        case D3DSIO_TEXM3x3SPEC:
        case D3DSIO_TEXM3x3VSPEC:
        {
            std::string rows = matrixRow + ", dot(" + coordinates + ".xyz, " + m + ".rgb)";
            matrixRow.clear();
            if (in.opcode == D3DSIO_TEXM3x2TEX)
                return "    " + t + " = " + sample("vec2(" + rows + ")", "vec3(" + rows + ", 0.0)") + ";\n";
            if (in.opcode == D3DSIO_TEXM3x3TEX)
                return "    " + t + " = " + sample("vec3(" + rows + ").xy", "vec3(" + rows + ")") + ";\n";
            // Reflection of the eye vector about the computed normal.
            std::string eye = in.opcode == D3DSIO_TEXM3x3SPEC
                                  ? source(in.sources[1]) + ".xyz"
                                  : "vec3(vTex[" + num(n - 2) + "].w, vTex[" + num(n - 1) + "].w, " + coordinates + ".w)";
            std::string s = "    {\n        vec3 normal = vec3(" + rows + ");\n        vec3 eye = " + eye + ";\n" +
                            "        vec3 reflected = 2.0 * normal * dot(normal, eye) / max(dot(normal, normal), 1e-20) "
                            "- eye;\n";
            s += "        " + t + " = " + sample("reflected.xy", "reflected") + ";\n    }\n";
            return s;
        }
        default:
            return "";
        }
    }

private:
    const DecodedShader& mShader;
    bool mDefined[256] = {};
};

bool isTextureOpcode(DWORD opcode)
{
    return opcode >= D3DSIO_TEXCOORD && opcode <= D3DSIO_TEXM3x3VSPEC;
}

bool isMatrixEnd(DWORD opcode)
{
    return opcode == D3DSIO_TEXM3x3TEX || opcode == D3DSIO_TEXM3x3SPEC || opcode == D3DSIO_TEXM3x3VSPEC;
}

/// The texture-matrix instructions of a pixel shader come as whole runs on consecutive texture registers: one
/// texm3x2pad then texm3x2tex, two texm3x3pad then texm3x3tex, texm3x3spec or texm3x3vspec. Any other order
/// leaves the program rows it cannot compute.
bool checkTextureMatrices(const std::vector<ShaderInstruction>& list, std::string& reason)
{
    auto is = [&](size_t i, DWORD opcode, DWORD number) {
        return i < list.size() && list[i].opcode == opcode && list[i].destination.number == number;
    };
    for (size_t i = 0; i < list.size(); ++i)
    {
        const DWORD opcode = list[i].opcode;
        const DWORD n = list[i].destination.number;
        bool whole = true;
        if (opcode == D3DSIO_TEXM3x2PAD)
            whole = is(i + 1, D3DSIO_TEXM3x2TEX, n + 1);
        else if (opcode == D3DSIO_TEXM3x2TEX)
            whole = n >= 1 && i >= 1 && is(i - 1, D3DSIO_TEXM3x2PAD, n - 1);
        else if (opcode == D3DSIO_TEXM3x3PAD)
            whole = is(i + 1, D3DSIO_TEXM3x3PAD, n + 1) ||
                    (i + 1 < list.size() && isMatrixEnd(list[i + 1].opcode) && list[i + 1].destination.number == n + 1);
        else if (isMatrixEnd(opcode))
            whole = n >= 2 && i >= 2 && is(i - 1, D3DSIO_TEXM3x3PAD, n - 1) && is(i - 2, D3DSIO_TEXM3x3PAD, n - 2) &&
                    !(i >= 3 && list[i - 3].opcode == D3DSIO_TEXM3x3PAD);
        if (!whole)
            return fail(reason, "texture matrix instruction %u on t%u is not part of a whole run", opcode, n);
    }
    return true;
}

} // namespace

bool decodeShader(const DWORD* tokens, size_t count, bool pixel, DecodedShader& out, std::string& reason)
{
    out = DecodedShader{};
    out.inputUsage.fill(0xFF);
    out.pixel = pixel;
    if (!tokens || count == 0)
        return fail(reason, "no tokens");
    Reader reader(tokens, count);
    DWORD version = 0;
    reader.next(version);
    if ((version & 0xFFFF0000u) != (pixel ? 0xFFFF0000u : 0xFFFE0000u))
        return fail(reason, "version token %08X does not open a shader of this kind", version);
    out.major = D3DSHADER_VERSION_MAJOR(version);
    out.minor = D3DSHADER_VERSION_MINOR(version);
    bool supported = pixel ? (out.major == 1 && out.minor >= 1 && out.minor <= 3)
                           : ((out.major == 1 && out.minor == 1) || (out.major == 2 && out.minor <= 1));
    if (!supported)
        return fail(reason, "shader version %u.%u is not translated", out.major, out.minor);

    bool declared[16] = {};
    bool defined[256] = {};
    for (;;)
    {
        DWORD token = 0;
        if (!reader.next(token))
            return fail(reason, "no end token");
        if (token == D3DSHADER_VERSION_END)
            break;
        DWORD opcode = token & D3DSI_OPCODE_MASK;
        if (opcode == D3DSIO_COMMENT)
        {
            size_t length = (token & D3DSI_COMMENTSIZE_MASK) >> D3DSI_COMMENTSIZE_SHIFT;
            if (length > reader.left())
                return fail(reason, "comment past the end of the stream");
            reader.skip(length);
            continue;
        }
        if (token & 0x80000000u)
            return fail(reason, "instruction token %08X has the parameter bit", token);
        if ((token & (kControlBits | kPredicateAndReservedBits)) || (out.major < 2 && (token & kLengthBits)))
            return fail(reason, "instruction token %08X sets bits that mean nothing here", token);
        if ((token & D3DSI_COISSUE) && !pixel)
            return fail(reason, "co-issue in a vertex shader");
        size_t start = reader.at();
        ShaderInstruction in;
        in.opcode = opcode;
        in.coissue = (token & D3DSI_COISSUE) != 0;
        if (opcode == D3DSIO_DCL)
        {
            DWORD usage = 0;
            if (pixel)
                return fail(reason, "declaration in a version 1 pixel shader");
            if (!reader.next(usage) || !(usage & D3DSP_TOKEN_BIT))
                return fail(reason, "bad declaration");
            in.usage = usage & D3DSP_DCL_USAGE_MASK;
            in.usageIndex = (usage & D3DSP_DCL_USAGEINDEX_MASK) >> D3DSP_DCL_USAGEINDEX_SHIFT;
            if (!D3D9DeclUsageName(in.usage))
                return fail(reason, "unknown declaration usage %u", in.usage);
            in.hasDestination = true;
            if (!reader.next(in.destination.token) || !(in.destination.token & D3DSP_TOKEN_BIT) ||
                (in.destination.token & kReservedParamBits) || !(in.destination.token & D3DSP_WRITEMASK_ALL))
                return fail(reason, "bad declaration");
            in.destination.type = D3DSHADER_PARAM_TYPE(in.destination.token);
            in.destination.number = in.destination.token & D3DSP_REGNUM_MASK;
            if (in.destination.type != D3DSPR_INPUT || in.destination.number >= 16)
                return fail(reason, "declaration of register type %u number %u", in.destination.type,
                            in.destination.number);
            declared[in.destination.number] = true;
            out.inputUsage[in.destination.number] = uint8_t(in.usage);
            out.inputUsageIndex[in.destination.number] = uint8_t(in.usageIndex);
        }
        else if (opcode == D3DSIO_DEF)
        {
            in.hasDestination = true;
            if (!reader.next(in.destination.token) || !(in.destination.token & D3DSP_TOKEN_BIT))
                return fail(reason, "bad constant definition");
            in.destination.type = D3DSHADER_PARAM_TYPE(in.destination.token);
            in.destination.number = in.destination.token & D3DSP_REGNUM_MASK;
            if (in.destination.type != D3DSPR_CONST || in.destination.number >= limitsOf(out).constants ||
                (in.destination.token & D3DSHADER_ADDRMODE_RELATIVE))
                return fail(reason, "definition of register type %u number %u", in.destination.type,
                            in.destination.number);
            // A definition writes all four components and nothing else: its text cannot say more.
            constexpr DWORD kDefinitionBits =
                D3DSP_TOKEN_BIT | D3DSP_REGTYPE_MASK | D3DSP_REGTYPE_MASK2 | D3DSP_REGNUM_MASK | D3DSP_WRITEMASK_ALL;
            if ((in.destination.token & ~kDefinitionBits) ||
                (in.destination.token & D3DSP_WRITEMASK_ALL) != D3DSP_WRITEMASK_ALL || in.coissue)
                return fail(reason, "definition token %08X is not a plain whole register", in.destination.token);
            // The program would declare the constant twice and fail to build.
            if (defined[in.destination.number])
                return fail(reason, "constant c%u defined twice", in.destination.number);
            defined[in.destination.number] = true;
            for (float& value : in.values)
            {
                DWORD bits = 0;
                if (!reader.next(bits))
                    return fail(reason, "the stream ends inside a definition");
                std::memcpy(&value, &bits, sizeof value);
            }
        }
        else
        {
            const D3D9ShaderInstructionInfo* info = D3D9FindShaderInstruction(opcode);
            if (!info)
                return fail(reason, "unknown opcode %u", opcode);
            if (!(info->shaders & (pixel ? D3D9_SHADER_PIXEL : D3D9_SHADER_VERTEX)) ||
                (!pixel && ((out.major << 8) | out.minor) < info->minimumVertexVersion))
                return fail(reason, "opcode %u not available in this shader version", opcode);
            in.hasDestination = info->destinations > 0;
            if (in.hasDestination && !readParam(reader, out, in.destination, true, reason))
                return false;
            in.sourceCount = info->sources;
            for (int i = 0; i < info->sources; ++i)
            {
                if (!readParam(reader, out, in.sources[i], false, reason))
                    return false;
                // Matrix instructions read consecutive registers from their second source.
                DWORD rows = opcode == D3DSIO_M4x4 || opcode == D3DSIO_M3x4 ? 4
                             : opcode == D3DSIO_M4x3 || opcode == D3DSIO_M3x3 ? 3
                             : opcode == D3DSIO_M3x2                          ? 2
                                                                              : 1;
                if (i == 1 && rows > 1 && !in.sources[1].relative)
                {
                    ShaderParam last = in.sources[1];
                    last.number += rows - 1;
                    if (!checkRegister(out, last, false, reason))
                        return false;
                    // Every row a matrix reads from the inputs must be declared, not only its first.
                    for (DWORD row = 1; !pixel && in.sources[1].type == D3DSPR_INPUT && row < rows; ++row)
                        if (!declared[in.sources[1].number + row])
                            return fail(reason, "input v%u read by a matrix without a declaration",
                                        in.sources[1].number + row);
                }
                if (!pixel && in.sources[i].type == D3DSPR_INPUT && !declared[in.sources[i].number])
                    return fail(reason, "input v%u read without a declaration", in.sources[i].number);
            }
            if (pixel && isTextureOpcode(opcode) && in.destination.type != D3DSPR_TEXTURE)
                return fail(reason, "texture instruction %u writes register type %u", opcode, in.destination.type);
            if (!pixel && in.hasDestination && in.destination.type == D3DSPR_ADDR &&
                opcode != (out.major >= 2 ? D3DSIO_MOVA : D3DSIO_MOV))
                return fail(reason, "the address register is written by opcode %u", opcode);
            if (opcode == D3DSIO_MOVA && in.destination.type != D3DSPR_ADDR)
                return fail(reason, "mova writes register type %u", in.destination.type);
        }
        if (out.major >= 2 && ((token & D3DSI_INSTLENGTH_MASK) >> D3DSI_INSTLENGTH_SHIFT) != reader.at() - start)
            return fail(reason, "instruction %u states a length it does not have", opcode);
        out.instructions.push_back(in);
    }
    return !pixel || checkTextureMatrices(out.instructions, reason);
}

std::string vertexShaderGlsl(const DecodedShader& shader, const char* uniformBlock, bool flatShading,
                             uint16_t wOneInputs)
{
    Translator translator(shader);
    std::string s = "#version 330 core\n";
    s += uniformBlock;
    s += "layout(std140) uniform VsConstants\n{\n    vec4 uVsConst[256];\n};\n";
    for (int v = 0; v < 16; ++v)
        if (shader.inputUsage[size_t(v)] != 0xFF)
            s += "layout(location = " + num(v) + ") in vec4 aV" + num(v) + ";\n";
    const char* interpolation = flatShading ? "flat " : "";
    s += std::string(interpolation) + "out vec4 vDiffuse;\n";
    s += std::string(interpolation) + "out vec4 vSpecular;\n";
    s += "out vec4 vTex[8];\nout float vFog;\nout float vEyeZ;\n";
    s += "ivec4 a0 = ivec4(0);\n"
         "vec4 constantAt(int i)\n{\n    return i >= 0 && i < 256 ? uVsConst[i] : vec4(0.0);\n}\n"
         "vec4 partialExp(float x)\n{\n    return vec4(exp2(floor(x)), fract(x), exp2(x), 1.0);\n}\n"
         "vec4 partialLog(float x)\n{\n    float a = abs(x);\n    float e = floor(log2(a));\n"
         "    return vec4(e, a / exp2(e), log2(a), 1.0);\n}\n"
         "vec4 lighting(vec4 s)\n{\n    float p = clamp(s.w, -127.9961, 127.9961);\n"
         "    return vec4(1.0, max(s.x, 0.0), s.x > 0.0 ? pow(max(s.y, 0.0), p) : 0.0, 1.0);\n}\n";
    s += "void main()\n{\n";
    // Packed three-component inputs have no w of their own: the platform gives 1.
    for (int v = 0; v < 16; ++v)
        if (shader.inputUsage[size_t(v)] != 0xFF)
            s += "    vec4 v" + num(v) + " = " +
                 ((wOneInputs >> v) & 1 ? "vec4(aV" + num(v) + ".xyz, 1.0)" : "aV" + num(v)) + ";\n";
    Limits limits = limitsOf(shader);
    for (DWORD r = 0; r < limits.temps; ++r)
        s += "    vec4 r" + num(r) + " = vec4(0.0);\n";
    // Outputs a shader leaves unwritten keep the platform's defaults.
    s += "    vec4 oPos = vec4(0.0, 0.0, 0.0, 1.0);\n    vec4 oD0 = vec4(1.0);\n    vec4 oD1 = vec4(0.0);\n"
         "    vec4 oT[8];\n    for (int i = 0; i < 8; ++i) oT[i] = vec4(0.0, 0.0, 0.0, 1.0);\n"
         "    vec4 oFogRegister = vec4(1.0);\n    vec4 oPtsRegister = vec4(1.0);\n";
    s += translator.defines();
    for (const ShaderInstruction& in : shader.instructions)
    {
        if (in.opcode == D3DSIO_DCL || in.opcode == D3DSIO_DEF || !in.hasDestination)
            continue;
        s += translator.write(in, translator.arithmetic(in));
    }
    // The platform's clip space has z in [0, w] and y up; images keep the top row first, so y flips, and pixel
    // centres move by half a pixel (as the fixed-function programs do).
    s += "    gl_Position = vec4(oPos.x + oPos.w / uViewport.z, -oPos.y + oPos.w / uViewport.w,\n"
         "                       2.0 * oPos.z - oPos.w, oPos.w);\n"
         "    vDiffuse = clamp(oD0, 0.0, 1.0);\n    vSpecular = clamp(oD1, 0.0, 1.0);\n"
         "    for (int i = 0; i < 8; ++i) vTex[i] = oT[i];\n"
         "    vFog = oFogRegister.x;\n    vEyeZ = oPos.w;\n    gl_PointSize = max(oPtsRegister.x, 1.0);\n}\n";
    return s;
}

std::string pixelShaderGlsl(const DecodedShader& shader, const uint8_t textureKinds[8])
{
    Translator translator(shader);
    std::string s = "    vec4 r0 = vec4(0.0);\n    vec4 r1 = vec4(0.0);\n"
                    "    vec4 t0 = vec4(0.0);\n    vec4 t1 = vec4(0.0);\n    vec4 t2 = vec4(0.0);\n"
                    "    vec4 t3 = vec4(0.0);\n";
    s += translator.defines();
    std::string matrixRow;
    const auto& list = shader.instructions;
    for (size_t i = 0; i < list.size(); ++i)
    {
        const ShaderInstruction& in = list[i];
        if (in.opcode == D3DSIO_DEF || !in.hasDestination)
            continue;
        if (isTextureOpcode(in.opcode))
        {
            s += translator.pixelTexture(in, textureKinds, matrixRow);
            continue;
        }
        // A co-issued pair reads its sources before either writes.
        if (i + 1 < list.size() && list[i + 1].coissue && list[i + 1].hasDestination &&
            !isTextureOpcode(list[i + 1].opcode))
        {
            const ShaderInstruction& next = list[i + 1];
            s += "    {\n        vec4 first = " + translator.arithmetic(in) + ";\n        vec4 second = " +
                 translator.arithmetic(next) + ";\n    ";
            s += translator.write(in, "first") + "    " + translator.write(next, "second") + "    }\n";
            ++i;
            continue;
        }
        s += translator.write(in, translator.arithmetic(in));
    }
    s += "    current = clamp(r0, 0.0, 1.0);\n";
    return s;
}

} // namespace d3d9
