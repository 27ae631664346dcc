// The pixel formats of our Direct3D 9 layer: byte layouts, how each reaches OpenGL, decoding to the colours the
// device samples and encoding of colours read back from render targets.
#include "d3d9_local.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace d3d9
{
namespace
{

// ---- Helpers ------------------------------------------------------------------------------------------------------

uint16_t word(const BYTE* p)
{
    return uint16_t(p[0] | (p[1] << 8));
}
uint32_t dword(const BYTE* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
void putWord(BYTE* p, uint32_t v)
{
    p[0] = BYTE(v);
    p[1] = BYTE(v >> 8);
}
void putDword(BYTE* p, uint32_t v)
{
    putWord(p, v);
    putWord(p + 2, v >> 16);
}
float unorm(uint32_t v, uint32_t bits)
{
    return float(v) / float((1u << bits) - 1);
}
/// Signed normalised; the most negative value clamps to -1 as the device treats it.
float snorm(int32_t v, uint32_t bits)
{
    return std::max(float(v) / float((1 << (bits - 1)) - 1), -1.0f);
}
int32_t signExtend(uint32_t v, uint32_t bits)
{
    return int32_t(v << (32 - bits)) >> (32 - bits);
}
uint32_t toUnorm(float v, uint32_t bits)
{
    float clamped = std::clamp(v, 0.0f, 1.0f);
    return uint32_t(std::lround(clamped * float((1u << bits) - 1)));
}

// ---- Decoders: one pixel to the colour the device samples -------------------------------------------------

// clang-format off

void decA8R8G8B8(const BYTE* p, float o[4]) { o[0] = unorm(p[2], 8); o[1] = unorm(p[1], 8); o[2] = unorm(p[0], 8); o[3] = unorm(p[3], 8); }
void decX8R8G8B8(const BYTE* p, float o[4]) { decA8R8G8B8(p, o); o[3] = 1; }
void decR5G6B5(const BYTE* p, float o[4])
{
    uint32_t w = word(p);
    o[0] = unorm(w >> 11, 5); o[1] = unorm((w >> 5) & 63, 6); o[2] = unorm(w & 31, 5); o[3] = 1;
}
void decA1R5G5B5(const BYTE* p, float o[4])
{
    uint32_t w = word(p);
    o[0] = unorm((w >> 10) & 31, 5); o[1] = unorm((w >> 5) & 31, 5); o[2] = unorm(w & 31, 5); o[3] = float(w >> 15);
}
void decX1R5G5B5(const BYTE* p, float o[4]) { decA1R5G5B5(p, o); o[3] = 1; }
void decA4R4G4B4(const BYTE* p, float o[4])
{
    uint32_t w = word(p);
    o[0] = unorm((w >> 8) & 15, 4); o[1] = unorm((w >> 4) & 15, 4); o[2] = unorm(w & 15, 4); o[3] = unorm(w >> 12, 4);
}
void decX4R4G4B4(const BYTE* p, float o[4]) { decA4R4G4B4(p, o); o[3] = 1; }
void decR3G3B2(const BYTE* p, float o[4]) { o[0] = unorm(p[0] >> 5, 3); o[1] = unorm((p[0] >> 2) & 7, 3); o[2] = unorm(p[0] & 3, 2); o[3] = 1; }
void decA8(const BYTE* p, float o[4]) { o[0] = o[1] = o[2] = 0; o[3] = unorm(p[0], 8); }
void decA8R3G3B2(const BYTE* p, float o[4]) { decR3G3B2(p, o); o[3] = unorm(p[1], 8); }
void decA2B10G10R10(const BYTE* p, float o[4])
{
    uint32_t d = dword(p);
    o[0] = unorm(d & 1023, 10); o[1] = unorm((d >> 10) & 1023, 10); o[2] = unorm((d >> 20) & 1023, 10); o[3] = unorm(d >> 30, 2);
}
void decA2R10G10B10(const BYTE* p, float o[4])
{
    uint32_t d = dword(p);
    o[2] = unorm(d & 1023, 10); o[1] = unorm((d >> 10) & 1023, 10); o[0] = unorm((d >> 20) & 1023, 10); o[3] = unorm(d >> 30, 2);
}
void decA8B8G8R8(const BYTE* p, float o[4]) { for (int i = 0; i < 4; ++i) o[i] = unorm(p[i], 8); }
void decX8B8G8R8(const BYTE* p, float o[4]) { decA8B8G8R8(p, o); o[3] = 1; }
void decG16R16(const BYTE* p, float o[4]) { o[0] = unorm(word(p), 16); o[1] = unorm(word(p + 2), 16); o[2] = o[3] = 1; }
void decA16B16G16R16(const BYTE* p, float o[4]) { for (int i = 0; i < 4; ++i) o[i] = unorm(word(p + 2 * i), 16); }
void decL8(const BYTE* p, float o[4]) { o[0] = o[1] = o[2] = unorm(p[0], 8); o[3] = 1; }
void decA8L8(const BYTE* p, float o[4]) { o[0] = o[1] = o[2] = unorm(p[0], 8); o[3] = unorm(p[1], 8); }
void decA4L4(const BYTE* p, float o[4]) { o[0] = o[1] = o[2] = unorm(p[0] & 15, 4); o[3] = unorm(p[0] >> 4, 4); }
void decL16(const BYTE* p, float o[4]) { o[0] = o[1] = o[2] = unorm(word(p), 16); o[3] = 1; }
void decV8U8(const BYTE* p, float o[4]) { o[0] = snorm(int8_t(p[0]), 8); o[1] = snorm(int8_t(p[1]), 8); o[2] = o[3] = 1; }
void decL6V5U5(const BYTE* p, float o[4])
{
    uint32_t w = word(p);
    o[0] = snorm(signExtend(w & 31, 5), 5); o[1] = snorm(signExtend((w >> 5) & 31, 5), 5); o[2] = unorm(w >> 10, 6); o[3] = 1;
}
void decX8L8V8U8(const BYTE* p, float o[4]) { o[0] = snorm(int8_t(p[0]), 8); o[1] = snorm(int8_t(p[1]), 8); o[2] = unorm(p[2], 8); o[3] = 1; }
void decQ8W8V8U8(const BYTE* p, float o[4]) { for (int i = 0; i < 4; ++i) o[i] = snorm(int8_t(p[i]), 8); }
void decV16U16(const BYTE* p, float o[4]) { o[0] = snorm(int16_t(word(p)), 16); o[1] = snorm(int16_t(word(p + 2)), 16); o[2] = o[3] = 1; }
void decCxV8U8(const BYTE* p, float o[4])
{
    o[0] = snorm(int8_t(p[0]), 8); o[1] = snorm(int8_t(p[1]), 8);
    o[2] = std::sqrt(std::max(0.0f, 1.0f - o[0] * o[0] - o[1] * o[1])); o[3] = 1;
}

// ---- Encoders: a colour to one pixel (X bits are written as ones) -----------------------------------------------

void encA8R8G8B8(const float c[4], BYTE* p) { p[0] = BYTE(toUnorm(c[2], 8)); p[1] = BYTE(toUnorm(c[1], 8)); p[2] = BYTE(toUnorm(c[0], 8)); p[3] = BYTE(toUnorm(c[3], 8)); }
void encX8R8G8B8(const float c[4], BYTE* p) { encA8R8G8B8(c, p); p[3] = 0xFF; }
void encR5G6B5(const float c[4], BYTE* p) { putWord(p, (toUnorm(c[0], 5) << 11) | (toUnorm(c[1], 6) << 5) | toUnorm(c[2], 5)); }
void encA1R5G5B5(const float c[4], BYTE* p)
{
    putWord(p, (toUnorm(c[3], 1) << 15) | (toUnorm(c[0], 5) << 10) | (toUnorm(c[1], 5) << 5) | toUnorm(c[2], 5));
}
void encX1R5G5B5(const float c[4], BYTE* p) { encA1R5G5B5(c, p); p[1] |= 0x80; }
void encA4R4G4B4(const float c[4], BYTE* p)
{
    putWord(p, (toUnorm(c[3], 4) << 12) | (toUnorm(c[0], 4) << 8) | (toUnorm(c[1], 4) << 4) | toUnorm(c[2], 4));
}
void encX4R4G4B4(const float c[4], BYTE* p) { encA4R4G4B4(c, p); p[1] |= 0xF0; }
void encR3G3B2(const float c[4], BYTE* p) { p[0] = BYTE((toUnorm(c[0], 3) << 5) | (toUnorm(c[1], 3) << 2) | toUnorm(c[2], 2)); }
void encA8(const float c[4], BYTE* p) { p[0] = BYTE(toUnorm(c[3], 8)); }
void encA8R3G3B2(const float c[4], BYTE* p) { encR3G3B2(c, p); p[1] = BYTE(toUnorm(c[3], 8)); }
void encA2B10G10R10(const float c[4], BYTE* p)
{
    putDword(p, (toUnorm(c[3], 2) << 30) | (toUnorm(c[2], 10) << 20) | (toUnorm(c[1], 10) << 10) | toUnorm(c[0], 10));
}
void encA2R10G10B10(const float c[4], BYTE* p)
{
    putDword(p, (toUnorm(c[3], 2) << 30) | (toUnorm(c[0], 10) << 20) | (toUnorm(c[1], 10) << 10) | toUnorm(c[2], 10));
}
void encA8B8G8R8(const float c[4], BYTE* p) { for (int i = 0; i < 4; ++i) p[i] = BYTE(toUnorm(c[i], 8)); }
void encX8B8G8R8(const float c[4], BYTE* p) { encA8B8G8R8(c, p); p[3] = 0xFF; }
void encG16R16(const float c[4], BYTE* p) { putWord(p, toUnorm(c[0], 16)); putWord(p + 2, toUnorm(c[1], 16)); }
void encA16B16G16R16(const float c[4], BYTE* p) { for (int i = 0; i < 4; ++i) putWord(p + 2 * i, toUnorm(c[i], 16)); }
void encL8(const float c[4], BYTE* p) { p[0] = BYTE(toUnorm(c[0], 8)); }
void encA8L8(const float c[4], BYTE* p) { p[0] = BYTE(toUnorm(c[0], 8)); p[1] = BYTE(toUnorm(c[3], 8)); }
void encA4L4(const float c[4], BYTE* p) { p[0] = BYTE((toUnorm(c[3], 4) << 4) | toUnorm(c[0], 4)); }
void encL16(const float c[4], BYTE* p) { putWord(p, toUnorm(c[0], 16)); }

// clang-format on

// ---- The table ---------------------------------------------------------------------------------------------------

constexpr int32_t kR = GL_RED, kG = GL_GREEN, kB = GL_BLUE, kA = GL_ALPHA, k0 = GL_ZERO, k1 = GL_ONE;

// name, bytes, compressed, depth, stencil, alpha, renderable, upload, internal, format, type, swizzle, dec, enc
// clang-format off
const FormatInfo kFormats[] = {
    {D3DFMT_A8R8G8B8, "A8R8G8B8", 4, false, false, false, true, true, Upload::Direct, GL_RGBA8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, {}, decA8R8G8B8, encA8R8G8B8},
    {D3DFMT_X8R8G8B8, "X8R8G8B8", 4, false, false, false, false, true, Upload::Direct, GL_RGBA8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, {kR, kG, kB, k1}, decX8R8G8B8, encX8R8G8B8},
    {D3DFMT_R5G6B5, "R5G6B5", 2, false, false, false, false, true, Upload::Direct, GL_RGB565, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, {}, decR5G6B5, encR5G6B5},
    {D3DFMT_X1R5G5B5, "X1R5G5B5", 2, false, false, false, false, true, Upload::Direct, GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, {kR, kG, kB, k1}, decX1R5G5B5, encX1R5G5B5},
    {D3DFMT_A1R5G5B5, "A1R5G5B5", 2, false, false, false, true, true, Upload::Direct, GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, {}, decA1R5G5B5, encA1R5G5B5},
    {D3DFMT_A4R4G4B4, "A4R4G4B4", 2, false, false, false, true, true, Upload::Direct, GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, {}, decA4R4G4B4, encA4R4G4B4},
    {D3DFMT_R3G3B2, "R3G3B2", 1, false, false, false, false, false, Upload::Direct, GL_R3_G3_B2, GL_RGB, GL_UNSIGNED_BYTE_3_3_2, {}, decR3G3B2, encR3G3B2},
    {D3DFMT_A8, "A8", 1, false, false, false, true, false, Upload::Direct, GL_R8, GL_RED, GL_UNSIGNED_BYTE, {k0, k0, k0, kR}, decA8, encA8},
    {D3DFMT_A8R3G3B2, "A8R3G3B2", 2, false, false, false, true, false, Upload::Rgba8, 0, 0, 0, {}, decA8R3G3B2, encA8R3G3B2},
    {D3DFMT_X4R4G4B4, "X4R4G4B4", 2, false, false, false, false, true, Upload::Direct, GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, {kR, kG, kB, k1}, decX4R4G4B4, encX4R4G4B4},
    {D3DFMT_A2B10G10R10, "A2B10G10R10", 4, false, false, false, true, true, Upload::Direct, GL_RGB10_A2, GL_RGBA, GL_UNSIGNED_INT_2_10_10_10_REV, {}, decA2B10G10R10, encA2B10G10R10},
    {D3DFMT_A8B8G8R8, "A8B8G8R8", 4, false, false, false, true, true, Upload::Direct, GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, {}, decA8B8G8R8, encA8B8G8R8},
    {D3DFMT_X8B8G8R8, "X8B8G8R8", 4, false, false, false, false, true, Upload::Direct, GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, {kR, kG, kB, k1}, decX8B8G8R8, encX8B8G8R8},
    {D3DFMT_G16R16, "G16R16", 4, false, false, false, false, true, Upload::Direct, GL_RG16, GL_RG, GL_UNSIGNED_SHORT, {kR, kG, k1, k1}, decG16R16, encG16R16},
    {D3DFMT_A2R10G10B10, "A2R10G10B10", 4, false, false, false, true, true, Upload::Direct, GL_RGB10_A2, GL_BGRA, GL_UNSIGNED_INT_2_10_10_10_REV, {}, decA2R10G10B10, encA2R10G10B10},
    {D3DFMT_A16B16G16R16, "A16B16G16R16", 8, false, false, false, true, true, Upload::Direct, GL_RGBA16, GL_RGBA, GL_UNSIGNED_SHORT, {}, decA16B16G16R16, encA16B16G16R16},
    {D3DFMT_A8P8, "A8P8", 2, false, false, false, true, false, Upload::Palette, 0, 0, 0, {}, nullptr, nullptr},
    {D3DFMT_P8, "P8", 1, false, false, false, false, false, Upload::Palette, 0, 0, 0, {}, nullptr, nullptr},
    {D3DFMT_L8, "L8", 1, false, false, false, false, false, Upload::Direct, GL_R8, GL_RED, GL_UNSIGNED_BYTE, {kR, kR, kR, k1}, decL8, encL8},
    {D3DFMT_A8L8, "A8L8", 2, false, false, false, true, false, Upload::Direct, GL_RG8, GL_RG, GL_UNSIGNED_BYTE, {kR, kR, kR, kG}, decA8L8, encA8L8},
    {D3DFMT_A4L4, "A4L4", 1, false, false, false, true, false, Upload::Rgba8, 0, 0, 0, {}, decA4L4, encA4L4},
    {D3DFMT_V8U8, "V8U8", 2, false, false, false, false, false, Upload::Direct, GL_RG8_SNORM, GL_RG, GL_BYTE, {kR, kG, k1, k1}, decV8U8, nullptr},
    {D3DFMT_L6V5U5, "L6V5U5", 2, false, false, false, false, false, Upload::Float, 0, 0, 0, {}, decL6V5U5, nullptr},
    {D3DFMT_X8L8V8U8, "X8L8V8U8", 4, false, false, false, false, false, Upload::Float, 0, 0, 0, {}, decX8L8V8U8, nullptr},
    {D3DFMT_Q8W8V8U8, "Q8W8V8U8", 4, false, false, false, true, false, Upload::Direct, GL_RGBA8_SNORM, GL_RGBA, GL_BYTE, {}, decQ8W8V8U8, nullptr},
    {D3DFMT_V16U16, "V16U16", 4, false, false, false, false, false, Upload::Direct, GL_RG16_SNORM, GL_RG, GL_SHORT, {kR, kG, k1, k1}, decV16U16, nullptr},
    {D3DFMT_L16, "L16", 2, false, false, false, false, false, Upload::Direct, GL_R16, GL_RED, GL_UNSIGNED_SHORT, {kR, kR, kR, k1}, decL16, encL16},
    {D3DFMT_CxV8U8, "CxV8U8", 2, false, false, false, false, false, Upload::Float, 0, 0, 0, {}, decCxV8U8, nullptr},
    {D3DFMT_DXT1, "DXT1", 8, true, false, false, true, false, Upload::Compressed, GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, 0, 0, {}, nullptr, nullptr},
    {D3DFMT_DXT2, "DXT2", 16, true, false, false, true, false, Upload::Compressed, GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, 0, 0, {}, nullptr, nullptr},
    {D3DFMT_DXT3, "DXT3", 16, true, false, false, true, false, Upload::Compressed, GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, 0, 0, {}, nullptr, nullptr},
    {D3DFMT_DXT4, "DXT4", 16, true, false, false, true, false, Upload::Compressed, GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 0, 0, {}, nullptr, nullptr},
    {D3DFMT_DXT5, "DXT5", 16, true, false, false, true, false, Upload::Compressed, GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 0, 0, {}, nullptr, nullptr},
    {D3DFMT_D16_LOCKABLE, "D16_LOCKABLE", 2, false, true, false, false, false, Upload::Depth, GL_DEPTH_COMPONENT16, GL_DEPTH_COMPONENT, GL_UNSIGNED_SHORT, {}, nullptr, nullptr},
    {D3DFMT_D32, "D32", 4, false, true, false, false, false, Upload::Depth, GL_DEPTH_COMPONENT32F, GL_DEPTH_COMPONENT, GL_FLOAT, {}, nullptr, nullptr},
    {D3DFMT_D15S1, "D15S1", 2, false, true, true, false, false, Upload::Depth, GL_DEPTH24_STENCIL8, GL_DEPTH_STENCIL, GL_UNSIGNED_INT_24_8, {}, nullptr, nullptr},
    {D3DFMT_D24S8, "D24S8", 4, false, true, true, false, false, Upload::Depth, GL_DEPTH24_STENCIL8, GL_DEPTH_STENCIL, GL_UNSIGNED_INT_24_8, {}, nullptr, nullptr},
    {D3DFMT_D24X8, "D24X8", 4, false, true, false, false, false, Upload::Depth, GL_DEPTH_COMPONENT24, GL_DEPTH_COMPONENT, GL_UNSIGNED_INT, {}, nullptr, nullptr},
    {D3DFMT_D24X4S4, "D24X4S4", 4, false, true, true, false, false, Upload::Depth, GL_DEPTH24_STENCIL8, GL_DEPTH_STENCIL, GL_UNSIGNED_INT_24_8, {}, nullptr, nullptr},
    {D3DFMT_D16, "D16", 2, false, true, false, false, false, Upload::Depth, GL_DEPTH_COMPONENT16, GL_DEPTH_COMPONENT, GL_UNSIGNED_SHORT, {}, nullptr, nullptr},
    {D3DFMT_D32F_LOCKABLE, "D32F_LOCKABLE", 4, false, true, false, false, false, Upload::Depth, GL_DEPTH_COMPONENT32F, GL_DEPTH_COMPONENT, GL_FLOAT, {}, nullptr, nullptr},
    {D3DFMT_D24FS8, "D24FS8", 4, false, true, true, false, false, Upload::Depth, GL_DEPTH32F_STENCIL8, GL_DEPTH_STENCIL, GL_FLOAT_32_UNSIGNED_INT_24_8_REV, {}, nullptr, nullptr},
};
// clang-format on

} // namespace

const FormatInfo* findFormat(D3DFORMAT format)
{
    for (const FormatInfo& info : kFormats)
        if (info.format == format)
            return &info;
    return nullptr;
}

UINT rowBytes(const FormatInfo& format, UINT width)
{
    if (format.compressed)
        return std::max(1u, (width + 3) / 4) * format.bytes;
    return width * format.bytes;
}

UINT rowCount(const FormatInfo& format, UINT height)
{
    return format.compressed ? std::max(1u, (height + 3) / 4) : height;
}

std::vector<D3DFORMAT> backingColourFormats()
{
    std::vector<D3DFORMAT> out;
    for (const FormatInfo& info : kFormats)
        if (!info.depth)
            out.push_back(info.format);
    return out;
}

std::vector<D3DFORMAT> backingDepthFormats()
{
    std::vector<D3DFORMAT> out;
    for (const FormatInfo& info : kFormats)
        if (info.depth)
            out.push_back(info.format);
    return out;
}

void colourToFloats(D3DCOLOR colour, float out[4])
{
    out[0] = float((colour >> 16) & 0xFF) / 255.0f;
    out[1] = float((colour >> 8) & 0xFF) / 255.0f;
    out[2] = float(colour & 0xFF) / 255.0f;
    out[3] = float(colour >> 24) / 255.0f;
}

// ---- DXT blocks ---------------------------------------------------------------------------------------------------

namespace
{

void expand565(uint32_t c, BYTE out[3])
{
    uint32_t r = (c >> 11) & 31, g = (c >> 5) & 63, b = c & 31;
    out[0] = BYTE((r << 3) | (r >> 2));
    out[1] = BYTE((g << 2) | (g >> 4));
    out[2] = BYTE((b << 3) | (b >> 2));
}

/// The colour half of a block; `fourColours` forces the opaque four-colour mode (DXT2-5).
void decodeColourBlock(const BYTE* block, bool fourColours, BYTE out[64])
{
    uint32_t c0 = word(block), c1 = word(block + 2);
    BYTE colours[4][4];
    expand565(c0, colours[0]);
    expand565(c1, colours[1]);
    colours[0][3] = colours[1][3] = 255;
    for (int i = 0; i < 3; ++i)
    {
        if (fourColours || c0 > c1)
        {
            colours[2][i] = BYTE((2 * colours[0][i] + colours[1][i]) / 3);
            colours[3][i] = BYTE((colours[0][i] + 2 * colours[1][i]) / 3);
        }
        else
        {
            colours[2][i] = BYTE((colours[0][i] + colours[1][i]) / 2);
            colours[3][i] = 0;
        }
    }
    colours[2][3] = 255;
    colours[3][3] = (fourColours || c0 > c1) ? 255 : 0;
    uint32_t bits = dword(block + 4);
    for (int t = 0; t < 16; ++t)
        std::memcpy(out + 4 * t, colours[(bits >> (2 * t)) & 3], 4);
}

} // namespace

void decodeDxtBlock(D3DFORMAT format, const BYTE* block, BYTE out[64])
{
    if (format == D3DFMT_DXT1)
    {
        decodeColourBlock(block, false, out);
        return;
    }
    decodeColourBlock(block + 8, true, out);
    if (format == D3DFMT_DXT2 || format == D3DFMT_DXT3)
    {
        for (int t = 0; t < 16; ++t)
        {
            uint32_t nibble = (block[t / 2] >> (4 * (t & 1))) & 15;
            out[4 * t + 3] = BYTE(nibble * 17);
        }
        return;
    }
    uint32_t a0 = block[0], a1 = block[1];
    BYTE alphas[8] = {BYTE(a0), BYTE(a1)};
    if (a0 > a1)
        for (uint32_t i = 1; i < 7; ++i)
            alphas[i + 1] = BYTE(((7 - i) * a0 + i * a1) / 7);
    else
    {
        for (uint32_t i = 1; i < 5; ++i)
            alphas[i + 1] = BYTE(((5 - i) * a0 + i * a1) / 5);
        alphas[6] = 0;
        alphas[7] = 255;
    }
    uint64_t bits = 0;
    for (int i = 0; i < 6; ++i)
        bits |= uint64_t(block[2 + i]) << (8 * i);
    for (int t = 0; t < 16; ++t)
        out[4 * t + 3] = alphas[(bits >> (3 * t)) & 7];
}

} // namespace d3d9
