// The shader assembler of our D3DX 9 layer: vertex shader 1.1, 2.0 and 2.x and pixel shader 1.1-1.3 text into the
// Direct3D 9 layer's tokens. It takes the forms the engine's shader generator writes (relative constants
// "c[a0.x + n]", literal sums "c[1 + 5]", one- to four-letter swizzles that repeat their last letter) and the
// hand-written pixel shaders' modifiers.
#include "d3dx9_local.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace d3dx9
{
namespace
{

struct Version
{
    bool pixel = false;
    DWORD major = 0;
    DWORD minor = 0;
    DWORD Token() const { return (pixel ? 0xFFFF0000u : 0xFFFE0000u) | (major << 8) | minor; }
    DWORD Number() const { return (major << 8) | minor; }
};

/// A failed line: the message the caller's error buffer receives.
struct Failure
{
    std::string text;
};

class Assembler
{
public:
    bool Run(const char* text, size_t length, std::vector<DWORD>& tokens, std::string& error);

private:
    bool Line(std::string line);
    bool ParseVersion(const std::string& word);
    bool Fail(const char* format, ...);

    bool Operand(std::string text, bool destination, DWORD& token, bool& relative, DWORD& addressComponent);
    bool Register(const std::string& text, size_t& at, DWORD& type, DWORD& number, bool& relative,
                  DWORD& addressComponent);
    bool CheckRange(DWORD type, DWORD number, bool destination, bool relative);
    void Emit(DWORD opcodeToken, const std::vector<DWORD>& parameters);

    Version mVersion;
    bool mHaveVersion = false;
    int mLine = 0;
    bool mDefining = false;  ///< def names a constant, which no instruction may write
    bool mDeclaring = false; ///< dcl names an input register, which no instruction may write
    std::vector<DWORD>* mTokens = nullptr;
    std::string mError;
    bool mDeclared[16] = {}; ///< input registers declared so far
    bool mDefined[256] = {}; ///< constants defined so far
};

std::string Trim(const std::string& s)
{
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1])))
        --e;
    return s.substr(b, e - b);
}

std::string Lower(std::string s)
{
    for (char& c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

int ComponentIndex(char c)
{
    switch (c)
    {
    case 'x':
    case 'r':
        return 0;
    case 'y':
    case 'g':
        return 1;
    case 'z':
    case 'b':
        return 2;
    case 'w':
    case 'a':
        return 3;
    default:
        return -1;
    }
}

bool Assembler::Fail(const char* format, ...)
{
    char text[256];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    if (mError.empty())
        mError = "(" + std::to_string(mLine) + "): error: " + text;
    return false;
}

bool Assembler::Run(const char* text, size_t length, std::vector<DWORD>& tokens, std::string& error)
{
    mTokens = &tokens;
    size_t start = 0;
    while (start <= length)
    {
        size_t end = start;
        while (end < length && text[end] != '\n' && text[end] != '\0')
            ++end;
        ++mLine;
        if (!Line(std::string(text + start, end - start)))
        {
            error = mError;
            return false;
        }
        if (end >= length || text[end] == '\0')
            break;
        start = end + 1;
    }
    if (!mHaveVersion)
    {
        Fail("no shader version line");
        error = mError;
        return false;
    }
    tokens.push_back(D3DSHADER_VERSION_END);
    return true;
}

bool Assembler::ParseVersion(const std::string& word)
{
    std::string w = Lower(word);
    if (w.size() != 6 || (w.compare(0, 3, "vs_") != 0 && w.compare(0, 3, "ps_") != 0) || w[4] != '_')
        return false;
    mVersion.pixel = w[0] == 'p';
    if (!std::isdigit(static_cast<unsigned char>(w[3])))
        return false;
    mVersion.major = DWORD(w[3] - '0');
    if (w[5] == 'x')
        mVersion.minor = 1;
    else if (std::isdigit(static_cast<unsigned char>(w[5])))
        mVersion.minor = DWORD(w[5] - '0');
    else
        return false;
    bool supported = mVersion.pixel ? (mVersion.major == 1 && mVersion.minor >= 1 && mVersion.minor <= 3 && w[5] != 'x')
                                    : ((mVersion.major == 1 && mVersion.minor == 1 && w[5] != 'x') ||
                                       (mVersion.major == 2 && (mVersion.minor == 0 || w[5] == 'x')));
    if (!supported)
        return Fail("shader version '%s' is not supported", word.c_str());
    return true;
}

bool Assembler::CheckRange(DWORD type, DWORD number, bool destination, bool relative)
{
    // def and dcl name registers that no instruction may write.
    bool named = (mDefining && type == D3DSPR_CONST) || (mDeclaring && type == D3DSPR_INPUT);
    switch (D3D9CheckShaderRegister(mVersion.pixel, mVersion.major, mVersion.minor, type, number,
                                    destination && !named, relative))
    {
    case D3D9RegisterUse::Allowed:
        return true;
    case D3D9RegisterUse::UnknownType:
        return Fail("register type not available in %s shaders", mVersion.pixel ? "pixel" : "vertex");
    case D3D9RegisterUse::OutOfRange:
        return Fail("register number %u out of range", unsigned(number));
    case D3D9RegisterUse::NotWritable:
        return Fail("register cannot be written");
    case D3D9RegisterUse::NotReadable:
        return Fail("register cannot be read");
    case D3D9RegisterUse::BadRelative:
        return Fail("relative addressing applies to constants read by vertex shaders");
    }
    return false;
}

/// Parses one register name at text[at]: r5, v0, c[a0.x + 12], c[1 + 5], oPos, oD1, oT3, a0, t2.
bool Assembler::Register(const std::string& text, size_t& at, DWORD& type, DWORD& number, bool& relative,
                         DWORD& addressComponent)
{
    relative = false;
    addressComponent = 0;
    auto readNumber = [&](DWORD& out) {
        size_t begin = at;
        unsigned long value = 0;
        while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])))
        {
            value = value * 10 + unsigned(text[at] - '0');
            if (value > 0xFFFF)
                return false;
            ++at;
        }
        out = DWORD(value);
        return at > begin;
    };
    std::string rest = Lower(text.substr(at));
    if (rest.compare(0, 4, "opos") == 0 || rest.compare(0, 4, "ofog") == 0 || rest.compare(0, 4, "opts") == 0)
    {
        type = D3DSPR_RASTOUT;
        number = rest[1] == 'p' && rest[2] == 'o' ? D3DSRO_POSITION : rest[1] == 'f' ? D3DSRO_FOG : D3DSRO_POINT_SIZE;
        at += 4;
        return true;
    }
    if (rest.compare(0, 2, "od") == 0 || rest.compare(0, 2, "ot") == 0)
    {
        type = rest[1] == 'd' ? D3DSPR_ATTROUT : D3DSPR_TEXCRDOUT;
        at += 2;
        return readNumber(number) || Fail("register number expected");
    }
    char letter = rest.empty() ? 0 : rest[0];
    ++at;
    switch (letter)
    {
    case 'r':
        type = D3DSPR_TEMP;
        break;
    case 'v':
        type = D3DSPR_INPUT;
        break;
    case 'c':
        type = D3DSPR_CONST;
        break;
    case 'a':
        if (mVersion.pixel)
            return Fail("unknown register");
        type = D3DSPR_ADDR;
        break;
    case 't':
        if (!mVersion.pixel)
            return Fail("unknown register");
        type = D3DSPR_TEXTURE;
        break;
    default:
        return Fail("unknown register '%s'", text.substr(at - 1).c_str());
    }
    if (type == D3DSPR_CONST && at < text.size() && text[at] == '[')
    {
        // A sum of literals and at most one address-register component.
        size_t close = text.find(']', at);
        if (close == std::string::npos)
            return Fail("missing ']'");
        std::string inside = Lower(text.substr(at + 1, close - at - 1));
        at = close + 1;
        unsigned long sum = 0;
        size_t p = 0;
        bool haveTerm = false;
        for (;;)
        {
            while (p < inside.size() && std::isspace(static_cast<unsigned char>(inside[p])))
                ++p;
            if (p >= inside.size())
                break;
            if (haveTerm)
            {
                if (inside[p] != '+')
                    return Fail("'+' expected inside brackets");
                ++p;
                while (p < inside.size() && std::isspace(static_cast<unsigned char>(inside[p])))
                    ++p;
            }
            if (inside.compare(p, 2, "a0") == 0)
            {
                if (relative)
                    return Fail("two address registers in one index");
                relative = true;
                p += 2;
                if (p < inside.size() && inside[p] == '.')
                {
                    int c = p + 1 < inside.size() ? ComponentIndex(inside[p + 1]) : -1;
                    if (c < 0)
                        return Fail("bad address component");
                    addressComponent = DWORD(c);
                    p += 2;
                }
                else if (mVersion.major >= 2)
                    return Fail("address component expected");
            }
            else if (p < inside.size() && std::isdigit(static_cast<unsigned char>(inside[p])))
            {
                unsigned long value = 0;
                while (p < inside.size() && std::isdigit(static_cast<unsigned char>(inside[p])))
                {
                    value = value * 10 + unsigned(inside[p] - '0');
                    if (value > 0xFFFF)
                        return Fail("constant index too large");
                    ++p;
                }
                sum += value;
                if (sum > 0xFFFF)
                    return Fail("constant index too large");
            }
            else
                return Fail("bad constant index '%s'", inside.c_str());
            haveTerm = true;
        }
        if (!haveTerm)
            return Fail("empty constant index");
        if (relative && mVersion.major < 2 && addressComponent != 0)
            return Fail("version 1.1 addresses constants through a0.x only");
        number = DWORD(sum);
        return true;
    }
    if (!readNumber(number))
        return Fail("register number expected");
    return true;
}

/// One operand: [-][1-]register[_bias|_bx2|_x2][.swizzle or .mask].
bool Assembler::Operand(std::string text, bool destination, DWORD& token, bool& relative, DWORD& addressComponent)
{
    text = Trim(text);
    size_t at = 0;
    bool negate = false, complement = false;
    if (!destination)
    {
        if (at < text.size() && text[at] == '-')
        {
            negate = true;
            ++at;
            while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at])))
                ++at;
        }
        if (mVersion.pixel && at + 1 < text.size() && text[at] == '1')
        {
            size_t q = at + 1;
            while (q < text.size() && std::isspace(static_cast<unsigned char>(text[q])))
                ++q;
            if (q < text.size() && text[q] == '-')
            {
                complement = true;
                at = q + 1;
                while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at])))
                    ++at;
            }
        }
    }
    DWORD type = 0, number = 0;
    if (!Register(text, at, type, number, relative, addressComponent))
        return false;
    if (!CheckRange(type, number, destination, relative))
        return false;

    DWORD modifier = D3DSPSM_NONE;
    std::string suffix = Lower(text.substr(at));
    if (!destination && suffix.compare(0, 1, "_") == 0)
    {
        if (suffix.compare(0, 4, "_bx2") == 0)
            modifier = negate ? D3DSPSM_SIGNNEG : D3DSPSM_SIGN, at += 4;
        else if (suffix.compare(0, 5, "_bias") == 0)
            modifier = negate ? D3DSPSM_BIASNEG : D3DSPSM_BIAS, at += 5;
        else if (suffix.compare(0, 3, "_x2") == 0)
            modifier = negate ? D3DSPSM_X2NEG : D3DSPSM_X2, at += 3;
        else
            return Fail("unknown source modifier '%s'", suffix.c_str());
        if (!mVersion.pixel)
            return Fail("source modifier '%s' is for pixel shaders", suffix.c_str());
        if (complement)
            return Fail("'1-' cannot be combined with another modifier");
        negate = false;
    }
    if (complement)
    {
        if (negate)
            return Fail("'-' cannot be combined with '1-'");
        modifier = D3DSPSM_COMP;
    }
    else if (negate)
        modifier = D3DSPSM_NEG;

    std::string letters;
    if (at < text.size())
    {
        if (text[at] != '.')
            return Fail("unexpected '%s' after a register", text.substr(at).c_str());
        letters = Lower(Trim(text.substr(at + 1)));
        if (letters.empty() || letters.size() > 4)
            return Fail("bad component list '%s'", letters.c_str());
    }

    token = D3DSP_TOKEN_BIT | D3DSHADER_PARAM_TYPE_BITS(type) | (number & D3DSP_REGNUM_MASK);
    if (destination)
    {
        DWORD mask = 0;
        int last = -1;
        for (char c : letters)
        {
            int i = ComponentIndex(c);
            if (i < 0 || i <= last)
                return Fail("bad write mask '%s'", letters.c_str());
            mask |= D3DSP_WRITEMASK_0 << i;
            last = i;
        }
        token |= letters.empty() ? D3DSP_WRITEMASK_ALL : mask;
    }
    else
    {
        DWORD swizzle = 0;
        int lastIndex = 0;
        for (int i = 0; i < 4; ++i)
        {
            int index = i;
            if (!letters.empty())
            {
                // Short swizzles repeat their last letter: ".x" reads xxxx, ".xy" reads xyyy.
                char c = letters[size_t(i) < letters.size() ? size_t(i) : letters.size() - 1];
                index = ComponentIndex(c);
                if (index < 0)
                    return Fail("bad swizzle '%s'", letters.c_str());
            }
            lastIndex = index;
            swizzle |= DWORD(lastIndex) << (D3DSP_SWIZZLE_SHIFT + 2 * i);
        }
        token |= swizzle | modifier;
    }
    if (relative)
        token |= D3DSHADER_ADDRMODE_RELATIVE;
    return true;
}

void Assembler::Emit(DWORD opcodeToken, const std::vector<DWORD>& parameters)
{
    if (mVersion.major >= 2)
        opcodeToken |= (DWORD(parameters.size()) << D3DSI_INSTLENGTH_SHIFT) & D3DSI_INSTLENGTH_MASK;
    mTokens->push_back(opcodeToken);
    mTokens->insert(mTokens->end(), parameters.begin(), parameters.end());
}

std::vector<std::string> SplitOperands(const std::string& text)
{
    std::vector<std::string> out;
    std::string current;
    int depth = 0;
    for (char c : text)
    {
        if (c == '[')
            ++depth;
        else if (c == ']')
            --depth;
        if (c == ',' && depth == 0)
        {
            out.push_back(Trim(current));
            current.clear();
        }
        else
            current += c;
    }
    if (!Trim(current).empty() || !out.empty())
        out.push_back(Trim(current));
    return out;
}

bool Assembler::Line(std::string line)
{
    // Comments run to the end of the line.
    size_t comment = std::min(line.find(';'), line.find("//"));
    if (comment != std::string::npos)
        line.resize(comment);
    line = Trim(line);
    if (line.empty())
        return true;

    DWORD coissue = 0;
    if (line[0] == '+')
    {
        coissue = D3DSI_COISSUE;
        line = Trim(line.substr(1));
    }
    size_t space = 0;
    while (space < line.size() && !std::isspace(static_cast<unsigned char>(line[space])))
        ++space;
    std::string word = Lower(line.substr(0, space));
    std::string rest = Trim(line.substr(space));

    if (!mHaveVersion)
    {
        if (!ParseVersion(word))
            return mError.empty() ? Fail("shader version expected, found '%s'", word.c_str()) : false;
        if (!rest.empty())
            return Fail("unexpected text after the version");
        mHaveVersion = true;
        mTokens->push_back(mVersion.Token());
        return true;
    }
    if (coissue && (!mVersion.pixel))
        return Fail("'+' pairs instructions in pixel shaders only");

    std::vector<std::string> operands = SplitOperands(rest);
    for (const std::string& operand : operands)
        if (operand.empty())
            return Fail("empty operand");

    // Declarations: dcl_<usage><index> register.
    if (word.compare(0, 4, "dcl_") == 0)
    {
        if (mVersion.pixel)
            return Fail("declarations are not used by version 1 pixel shaders");
        std::string usage = word.substr(4);
        size_t digits = usage.size();
        while (digits > 0 && std::isdigit(static_cast<unsigned char>(usage[digits - 1])))
            --digits;
        int kind = FindUsage(usage.c_str(), digits);
        if (kind < 0)
            return Fail("unknown declaration '%s'", word.c_str());
        unsigned long index = digits < usage.size() ? std::strtoul(usage.c_str() + digits, nullptr, 10) : 0;
        if (index > 15)
            return Fail("usage index %lu out of range", index);
        if (operands.size() != 1)
            return Fail("a declaration names one register");
        DWORD destination = 0, component = 0;
        bool relative = false;
        mDeclaring = true;
        bool parsed = Operand(operands[0], true, destination, relative, component);
        mDeclaring = false;
        if (!parsed)
            return false;
        if (D3DSHADER_PARAM_TYPE(destination) != D3DSPR_INPUT)
            return Fail("declarations name input registers");
        mDeclared[destination & 15] = true;
        Emit(D3DSIO_DCL, {D3DSP_TOKEN_BIT | DWORD(kind) | (DWORD(index) << D3DSP_DCL_USAGEINDEX_SHIFT), destination});
        return true;
    }

    // Constants: def c<n>, x, y, z, w.
    if (word == "def")
    {
        if (operands.size() != 5)
            return Fail("def takes a constant and four numbers");
        DWORD destination = 0, component = 0;
        bool relative = false;
        mDefining = true;
        bool parsed = Operand(operands[0], true, destination, relative, component);
        mDefining = false;
        if (!parsed)
            return false;
        if (D3DSHADER_PARAM_TYPE(destination) != D3DSPR_CONST || relative)
            return Fail("def writes a constant register");
        DWORD constant = destination & D3DSP_REGNUM_MASK;
        if (mDefined[constant & 255])
            return Fail("c%u is defined twice", unsigned(constant));
        mDefined[constant & 255] = true;
        std::vector<DWORD> parameters{destination | D3DSP_WRITEMASK_ALL};
        for (int i = 1; i < 5; ++i)
        {
            const char* begin = operands[size_t(i)].c_str();
            char* end = nullptr;
            float value = std::strtof(begin, &end);
            if (end == begin || *end != '\0')
                return Fail("bad number '%s'", begin);
            DWORD bits;
            std::memcpy(&bits, &value, sizeof bits);
            parameters.push_back(bits);
        }
        Emit(D3DSIO_DEF, parameters);
        return true;
    }

    // Instruction with modifiers: name[_sat][_x2|_x4|_d2].
    size_t underscore = word.find('_');
    std::string name = word.substr(0, underscore);
    const Instruction* instruction = FindInstruction(name.c_str(), name.size());
    if (!instruction)
        return Fail("unknown instruction '%s'", word.c_str());
    if (!(instruction->shaders & (mVersion.pixel ? kPixel : kVertex)))
        return Fail("'%s' is not available in %s shaders", name.c_str(), mVersion.pixel ? "pixel" : "vertex");
    if (!mVersion.pixel && mVersion.Number() < instruction->minimumVertexVersion)
        return Fail("'%s' needs vertex shader version 2.0", name.c_str());
    DWORD destinationModifiers = 0;
    while (underscore != std::string::npos)
    {
        size_t next = word.find('_', underscore + 1);
        std::string modifier = word.substr(underscore, next == std::string::npos ? std::string::npos : next - underscore);
        if (modifier == "_sat")
            destinationModifiers |= D3DSPDM_SATURATE;
        else if (mVersion.pixel && modifier == "_x2")
            destinationModifiers |= 1u << D3DSP_DSTSHIFT_SHIFT;
        else if (mVersion.pixel && modifier == "_x4")
            destinationModifiers |= 2u << D3DSP_DSTSHIFT_SHIFT;
        else if (mVersion.pixel && modifier == "_d2")
            destinationModifiers |= 0xFu << D3DSP_DSTSHIFT_SHIFT;
        else
            return Fail("unknown instruction modifier '%s'", modifier.c_str());
        underscore = next;
    }
    if (int(operands.size()) != instruction->destinations + instruction->sources)
        return Fail("'%s' takes %d operands, %d given", name.c_str(), instruction->destinations + instruction->sources,
                    int(operands.size()));

    std::vector<DWORD> parameters;
    for (size_t i = 0; i < operands.size(); ++i)
    {
        bool destination = int(i) < instruction->destinations;
        DWORD token = 0, component = 0;
        bool relative = false;
        if (!Operand(operands[i], destination, token, relative, component))
            return false;
        if (destination)
        {
            DWORD type = D3DSHADER_PARAM_TYPE(token);
            bool addressWrite = !mVersion.pixel && type == D3DSPR_ADDR;
            if (addressWrite && instruction->opcode != (mVersion.major >= 2 ? D3DSIO_MOVA : D3DSIO_MOV))
                return Fail("the address register is written by %s", mVersion.major >= 2 ? "mova" : "mov");
            if (instruction->opcode == D3DSIO_MOVA && !addressWrite)
                return Fail("mova writes the address register");
            if (mVersion.pixel && instruction->opcode >= D3DSIO_TEXCOORD &&
                instruction->opcode <= D3DSIO_TEXM3x3VSPEC && type != D3DSPR_TEXTURE)
                return Fail("'%s' writes a texture register", name.c_str());
            token |= destinationModifiers;
        }
        else if (!mVersion.pixel && D3DSHADER_PARAM_TYPE(token) == D3DSPR_INPUT)
        {
            // A matrix reads consecutive rows from its second source: every one must be declared.
            DWORD rows = 1;
            if (int(i) == instruction->destinations + 1)
                rows = instruction->opcode == D3DSIO_M4x4 || instruction->opcode == D3DSIO_M3x4   ? 4
                       : instruction->opcode == D3DSIO_M4x3 || instruction->opcode == D3DSIO_M3x3 ? 3
                       : instruction->opcode == D3DSIO_M3x2                                       ? 2
                                                                                                  : 1;
            DWORD first = token & D3DSP_REGNUM_MASK;
            for (DWORD row = 0; row < rows; ++row)
                if (first + row >= 16 || !mDeclared[first + row])
                    return Fail("v%u is read without a declaration", unsigned(first + row));
        }
        parameters.push_back(token);
        if (relative && mVersion.major >= 2)
            parameters.push_back(D3DSP_TOKEN_BIT | D3DSHADER_PARAM_TYPE_BITS(D3DSPR_ADDR) |
                                 (component * 0x55u) << D3DSP_SWIZZLE_SHIFT);
    }
    Emit(instruction->opcode | coissue, parameters);
    return true;
}

} // namespace
} // namespace d3dx9

HRESULT D3DXAssembleShader(const char* text, UINT length, const D3DXMACRO* defines, ID3DXInclude* include,
                           DWORD flags, ID3DXBuffer** shader, ID3DXBuffer** errors)
{
    if (shader)
        *shader = nullptr;
    if (errors)
        *errors = nullptr;
    std::string message;
    std::vector<DWORD> tokens;
    bool ok = false;
    if (!text || !shader)
        message = "(0): error: no shader text or no output";
    else if (defines && defines[0].Name)
        message = "(0): error: preprocessor definitions are not supported";
    else
        ok = d3dx9::Assembler().Run(text, length, tokens, message);
    if (ok)
    {
        ID3DXBuffer* buffer = nullptr;
        HRESULT result = D3DXCreateBuffer(DWORD(tokens.size() * sizeof(DWORD)), &buffer);
        if (FAILED(result))
            return result;
        std::memcpy(buffer->GetBufferPointer(), tokens.data(), tokens.size() * sizeof(DWORD));
        *shader = buffer;
        return D3D_OK;
    }
    if (errors && D3DXCreateBuffer(DWORD(message.size() + 1), errors) == D3D_OK)
        std::memcpy((*errors)->GetBufferPointer(), message.c_str(), message.size() + 1);
    return D3DERR_INVALIDCALL;
}
