// Frame checks for drawing tests: PNG output through libpng and a tolerant channel-wise comparison.
#include "framecheck.h"

#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace framecheck
{

std::string FramesDir()
{
    std::string dir = HB_FRAMES_DIR;
    std::error_code ignored;
    std::filesystem::create_directories(dir, ignored);
    return dir;
}

bool SavePng(const std::string& name, int width, int height, const std::vector<uint32_t>& argb)
{
    if (width <= 0 || height <= 0 || argb.size() < size_t(width) * size_t(height))
        return false;
    std::string path = FramesDir() + "/" + name + ".png";
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    std::vector<png_byte> row(size_t(width) * 4);
    bool ok = false;
    if (png && info && !setjmp(png_jmpbuf(png)))
    {
        png_init_io(png, file);
        png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB_ALPHA,
                     PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int y = 0; y < height; ++y)
        {
            for (int x = 0; x < width; ++x)
            {
                uint32_t p = argb[size_t(y) * size_t(width) + size_t(x)];
                png_byte* out = &row[size_t(x) * 4];
                out[0] = png_byte(p >> 16);
                out[1] = png_byte(p >> 8);
                out[2] = png_byte(p);
                // Most targets carry no alpha (X8R8G8B8): show them opaque.
                out[3] = png_byte(p >> 24);
            }
            png_write_row(png, row.data());
        }
        png_write_end(png, nullptr);
        ok = true;
    }
    png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
    std::fclose(file);
    return ok;
}

Difference Compare(int width, int height, const std::vector<uint32_t>& actual, const std::vector<uint32_t>& expected,
                   int tolerance, bool compareAlpha)
{
    Difference result;
    size_t count = size_t(width) * size_t(height);
    if (actual.size() < count || expected.size() < count)
    {
        result.mismatches = int(count);
        result.worst = 255;
        return result;
    }
    int channels = compareAlpha ? 4 : 3;
    for (int y = 0; y < height; ++y)
    {
        for (int x = 0; x < width; ++x)
        {
            uint32_t a = actual[size_t(y) * size_t(width) + size_t(x)];
            uint32_t e = expected[size_t(y) * size_t(width) + size_t(x)];
            int worst = 0;
            for (int c = 0; c < channels; ++c)
            {
                int d = std::abs(int((a >> (8 * c)) & 0xFF) - int((e >> (8 * c)) & 0xFF));
                worst = d > worst ? d : worst;
            }
            if (worst > result.worst)
                result.worst = worst;
            if (worst > tolerance)
            {
                if (result.mismatches++ == 0)
                {
                    result.firstX = x;
                    result.firstY = y;
                    result.firstActual = a;
                    result.firstExpected = e;
                }
            }
        }
    }
    return result;
}

std::string CheckFrame(const std::string& name, int width, int height, const std::vector<uint32_t>& actual,
                       const std::vector<uint32_t>& expected, int tolerance, bool compareAlpha)
{
    // Targets without alpha read back 0 or undefined alpha: make the picture opaque unless alpha is compared.
    auto opaque = [&](const std::vector<uint32_t>& frame) {
        std::vector<uint32_t> out(frame);
        if (!compareAlpha)
            for (uint32_t& p : out)
                p |= 0xFF000000u;
        return out;
    };
    std::string failure;
    if (!SavePng(name, width, height, opaque(actual)))
        failure = "could not write " + name + ".png; ";
    Difference d = Compare(width, height, actual, expected, tolerance, compareAlpha);
    if (d.mismatches == 0)
        return failure;
    SavePng(name + "_expected", width, height, opaque(expected));
    char text[256];
    std::snprintf(text, sizeof text,
                  "%d pixels beyond tolerance %d (worst %d); first at (%d,%d): got %08X, expected %08X", d.mismatches,
                  tolerance, d.worst, d.firstX, d.firstY, unsigned(d.firstActual), unsigned(d.firstExpected));
    return failure + text;
}

std::vector<uint32_t> EdgeTolerantReference(int width, int height, const std::vector<uint32_t>& actual,
                                            const std::function<uint32_t(float, float)>& colourAt,
                                            const std::vector<float>& offsets)
{
    const size_t count = size_t(width > 0 ? width : 0) * size_t(height > 0 ? height : 0);
    std::vector<uint32_t> expected(count);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
        {
            const size_t i = size_t(y) * size_t(width) + size_t(x);
            const uint32_t centre = colourAt(x + 0.5f, y + 0.5f);
            bool edge = false;
            for (float dx : offsets)
                for (float dy : offsets)
                    edge = edge || colourAt(x + 0.5f + dx, y + 0.5f + dy) != centre;
            expected[i] = edge && i < actual.size() ? actual[i] : centre;
        }
    return expected;
}

} // namespace framecheck
