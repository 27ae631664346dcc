// Pixel values of Direct3D formats: one reader and one writer per format between a pixel
// value and red, green, blue, alpha, and the device's colour conversions by engine raster
// format (standard functions 2 and 3).
#include "d3d9raster.h"

#include "error.h"

#include <cstring>

namespace
{

uint32_t Luminance(const Rgba& c)
{
    return 30u * c.red + 59u * c.green + 11u * c.blue; // 0 to 25500
}

uint8_t Byte(uint32_t value)
{
    return uint8_t(value & 0xFF);
}

// ---- Readers: a pixel value into red, green, blue, alpha; each result keeps its low 8 bits ----

Rgba ReadA8R8G8B8(uint32_t v)
{
    return {Byte(v >> 16), Byte(v >> 8), Byte(v), Byte(v >> 24)};
}
Rgba ReadX8R8G8B8(uint32_t v)
{
    return {Byte(v >> 16), Byte(v >> 8), Byte(v), 255};
}
Rgba ReadR5G6B5(uint32_t v)
{
    return {Byte((v >> 8) & 0xF8), Byte((v >> 3) & 0xFC), Byte(v << 3), 255};
}
Rgba ReadX1R5G5B5(uint32_t v)
{
    return {Byte((v >> 7) & 0xF8), Byte((v >> 2) & 0xF8), Byte(v << 3), 255};
}
Rgba ReadA1R5G5B5(uint32_t v)
{
    Rgba c = ReadX1R5G5B5(v);
    c.alpha = (v & 0x8000) ? 255 : 0;
    return c;
}
Rgba ReadA4R4G4B4(uint32_t v)
{
    return {Byte((v >> 4) & 0xF0), Byte(v & 0xF0), Byte(v << 4), Byte((v & 0xF000) == 0xF000 ? 255 : (v >> 8) & 0xF0)};
}
Rgba ReadR3G3B2(uint32_t v)
{
    return {Byte(v & 0xE0), Byte((v << 3) & 0xE0), Byte(v << 6), 255};
}
Rgba ReadA8(uint32_t v)
{
    return {255, 255, 255, Byte(v)};
}
Rgba ReadA8R3G3B2(uint32_t v)
{
    Rgba c = ReadR3G3B2(v);
    c.alpha = Byte(v >> 8);
    return c;
}
Rgba ReadX4R4G4B4(uint32_t v)
{
    Rgba c = ReadA4R4G4B4(v);
    c.alpha = 255;
    return c;
}
Rgba ReadA8B8G8R8(uint32_t v)
{
    return {Byte(v), Byte(v >> 8), Byte(v >> 16), Byte(v >> 24)};
}
Rgba ReadX8B8G8R8(uint32_t v)
{
    return {Byte(v), Byte(v >> 8), Byte(v >> 16), 255};
}
Rgba ReadL8(uint32_t v)
{
    return {Byte(v), Byte(v), Byte(v), 255};
}
Rgba ReadA8L8(uint32_t v)
{
    return {Byte(v), Byte(v), Byte(v), Byte(v >> 8)};
}
Rgba ReadA4L4(uint32_t v)
{
    return {Byte(v << 4), Byte(v << 4), Byte(v << 4), Byte((v & 0xFF) >= 0xF0 ? 255 : v & 0xF0)};
}
Rgba ReadV8U8(uint32_t v)
{
    return {Byte(v), Byte(v >> 8), 0, 255};
}
Rgba ReadL6V5U5(uint32_t v)
{
    return {Byte(v << 3), Byte((v >> 2) & 0xF8), Byte((v >> 8) & 0xFC), 255};
}
Rgba ReadL16(uint32_t v)
{
    return {Byte(v >> 8), Byte(v >> 8), Byte(v >> 8), 255};
}

// ---- Writers: red, green, blue, alpha into a pixel value -------------------------------------------

uint32_t WriteA8R8G8B8(Rgba c)
{
    return uint32_t(c.alpha) << 24 | uint32_t(c.red) << 16 | uint32_t(c.green) << 8 | c.blue;
}
uint32_t WriteX8R8G8B8(Rgba c)
{
    return 0xFF000000u | uint32_t(c.red) << 16 | uint32_t(c.green) << 8 | c.blue;
}
uint32_t WriteR5G6B5(Rgba c)
{
    return uint32_t(c.red & 0xF8) << 8 | uint32_t(c.green & 0xFC) << 3 | uint32_t(c.blue >> 3);
}
uint32_t WriteX1R5G5B5(Rgba c)
{
    return uint32_t(c.red & 0xF8) << 7 | uint32_t(c.green & 0xF8) << 2 | uint32_t(c.blue >> 3);
}
uint32_t WriteA1R5G5B5(Rgba c)
{
    return uint32_t(c.alpha & 0x80) << 8 | WriteX1R5G5B5(c);
}
uint32_t WriteA4R4G4B4(Rgba c)
{
    return uint32_t(c.alpha & 0xF0) << 8 | uint32_t(c.red & 0xF0) << 4 | uint32_t(c.green & 0xF0) |
           uint32_t(c.blue >> 4);
}
uint32_t WriteA8R3G3B2(Rgba c)
{
    return uint32_t(c.alpha) << 8 | uint32_t(c.red & 0xE0) | uint32_t(c.green & 0xE0) >> 3 | uint32_t(c.blue >> 6);
}
uint32_t WriteX4R4G4B4(Rgba c)
{
    return 0xF000u | uint32_t(c.red & 0xF0) << 4 | uint32_t(c.green & 0xF0) | uint32_t(c.blue >> 4);
}
uint32_t WriteA8B8G8R8(Rgba c)
{
    return uint32_t(c.alpha) << 24 | uint32_t(c.blue) << 16 | uint32_t(c.green) << 8 | c.red;
}
uint32_t WriteX8B8G8R8(Rgba c)
{
    return 0xFF000000u | uint32_t(c.blue) << 16 | uint32_t(c.green) << 8 | c.red;
}
uint32_t WriteL8(Rgba c)
{
    return Luminance(c) / 100 * c.alpha / 255;
}
uint32_t WriteA8L8(Rgba c)
{
    return uint32_t(c.alpha) << 8 | Luminance(c) / 100;
}
uint32_t WriteV8U8(Rgba c)
{
    return uint32_t(c.green) << 8 | c.red;
}
uint32_t WriteL6V5U5(Rgba c)
{
    return uint32_t(c.blue & 0xFC) << 8 | uint32_t(c.green & 0xF8) << 2 | uint32_t(c.red >> 3);
}
uint32_t WriteL16(Rgba c)
{
    // Scaled to the full 16 bits with rounding, so white reaches 0xFFFF.
    constexpr uint64_t kScale = 25500u * 255u;
    return uint32_t((uint64_t(Luminance(c)) * c.alpha * 65535u + kScale / 2) / kScale);
}

void ReportFormat()
{
    Error::Report(0, kErrRasterFormat);
}

} // namespace

D3D9PixelReader D3D9Raster::GetPixelReader(D3DFORMAT format)
{
    switch (format)
    {
    case D3DFMT_A8R8G8B8:
        return ReadA8R8G8B8;
    case D3DFMT_X8R8G8B8:
        return ReadX8R8G8B8;
    case D3DFMT_R5G6B5:
        return ReadR5G6B5;
    case D3DFMT_X1R5G5B5:
        return ReadX1R5G5B5;
    case D3DFMT_A1R5G5B5:
        return ReadA1R5G5B5;
    case D3DFMT_A4R4G4B4:
        return ReadA4R4G4B4;
    case D3DFMT_R3G3B2:
        return ReadR3G3B2;
    case D3DFMT_A8:
        return ReadA8;
    case D3DFMT_A8R3G3B2:
        return ReadA8R3G3B2;
    case D3DFMT_X4R4G4B4:
        return ReadX4R4G4B4;
    case D3DFMT_A8B8G8R8:
    case D3DFMT_Q8W8V8U8:
        return ReadA8B8G8R8;
    case D3DFMT_X8B8G8R8:
    case D3DFMT_X8L8V8U8:
        return ReadX8B8G8R8;
    case D3DFMT_L8:
        return ReadL8;
    case D3DFMT_A8L8:
        return ReadA8L8;
    case D3DFMT_A4L4:
        return ReadA4L4;
    case D3DFMT_V8U8:
    case D3DFMT_CxV8U8:
        return ReadV8U8;
    case D3DFMT_L6V5U5:
        return ReadL6V5U5;
    case D3DFMT_L16:
        return ReadL16;
    default:
        return nullptr;
    }
}

D3D9PixelWriter D3D9Raster::GetPixelWriter(D3DFORMAT format)
{
    switch (format)
    {
    case D3DFMT_A8R8G8B8:
        return WriteA8R8G8B8;
    case D3DFMT_X8R8G8B8:
        return WriteX8R8G8B8;
    case D3DFMT_R5G6B5:
        return WriteR5G6B5;
    case D3DFMT_X1R5G5B5:
        return WriteX1R5G5B5;
    case D3DFMT_A1R5G5B5:
        return WriteA1R5G5B5;
    case D3DFMT_A4R4G4B4:
        return WriteA4R4G4B4;
    case D3DFMT_A8R3G3B2:
        return WriteA8R3G3B2;
    case D3DFMT_X4R4G4B4:
        return WriteX4R4G4B4;
    case D3DFMT_A8B8G8R8:
    case D3DFMT_Q8W8V8U8:
        return WriteA8B8G8R8;
    case D3DFMT_X8B8G8R8:
    case D3DFMT_X8L8V8U8:
        return WriteX8B8G8R8;
    case D3DFMT_L8:
        return WriteL8;
    case D3DFMT_A8L8:
        return WriteA8L8;
    case D3DFMT_V8U8:
    case D3DFMT_CxV8U8:
        return WriteV8U8;
    case D3DFMT_L6V5U5:
        return WriteL6V5U5;
    case D3DFMT_L16:
        return WriteL16;
    default:
        return nullptr;
    }
}

// ---- Colour conversions by engine raster format ---------------------------------------------------

int32_t D3D9Raster::RGBToPixel(void* out, void* in, int32_t number)
{
    const Rgba c = *static_cast<const Rgba*>(in);
    uint32_t value = 0;
    switch ((uint32_t(number) >> 8) & 0x0F)
    {
    case 0x1: // 1555
        value = uint32_t(c.alpha & 0x80) << 8 | uint32_t(c.red >> 3) << 10 | uint32_t(c.green >> 3) << 5 |
                uint32_t(c.blue >> 3);
        break;
    case 0x2: // 565
        value = uint32_t(c.red >> 3) << 11 | uint32_t(c.green & 0xFC) << 3 | uint32_t(c.blue >> 3);
        break;
    case 0x3: // 4444
        value = uint32_t(c.alpha >> 4) << 12 | uint32_t(c.red & 0xF0) << 4 | uint32_t(c.green & 0xF0) |
                uint32_t(c.blue >> 4);
        break;
    case 0x4: // LUM8
        value = WriteL8(c);
        break;
    case 0x0: // the device's choice is 8888
    case 0x5:
        value = WriteA8R8G8B8(c);
        break;
    case 0x6: // 888
        value = WriteX8R8G8B8(c);
        break;
    case 0xA: // 555
        value = uint32_t(c.red >> 3) << 10 | uint32_t(c.green >> 3) << 5 | uint32_t(c.blue >> 3);
        break;
    default:
        ReportFormat();
        return 0;
    }
    *static_cast<uint32_t*>(out) = value;
    return 1;
}

int32_t D3D9Raster::PixelToRGB(void* out, void* in, int32_t number)
{
    const uint32_t value = *static_cast<const uint32_t*>(in);
    auto* colour = static_cast<Rgba*>(out);
    if (uint32_t(number) & kRasterFormatPal8)
    {
        // A palettised raster's value already is a colour.
        std::memcpy(colour, &value, sizeof(*colour));
        return 1;
    }
    switch ((uint32_t(number) >> 8) & 0x0F)
    {
    case 0x1:
        *colour = ReadA1R5G5B5(value);
        return 1;
    case 0xA:
        *colour = ReadX1R5G5B5(value);
        return 1;
    case 0x2:
        *colour = ReadR5G6B5(value);
        return 1;
    case 0x3:
        *colour = ReadA4R4G4B4(value);
        return 1;
    case 0x4:
        *colour = ReadL8(value);
        return 1;
    case 0x5:
        *colour = ReadA8R8G8B8(value);
        return 1;
    case 0x6:
        *colour = ReadX8R8G8B8(value);
        return 1;
    default:
        ReportFormat();
        return 0;
    }
}
