// The font writer: the three ".met" text forms and the glyph sheet of the scanned form,
// written as PNG through libpng.
#include "fontwriter.h"

#include <png.h>

#include <cstdio>
#include <cstring>

namespace
{

void Put(FontWriterSheet* sheet, int32_t x, int32_t y, const uint8_t* colour)
{
    std::memcpy(&sheet->rgba[(size_t(y) * size_t(sheet->width) + size_t(x)) * 4], colour, 4);
}

std::string Number(float value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", double(value));
    return text;
}

} // namespace

std::string FontWriter::Utf8(uint32_t code)
{
    std::string out;
    if (code < 0x80)
        out += char(code);
    else if (code < 0x800)
    {
        out += char(0xC0 | code >> 6);
        out += char(0x80 | (code & 0x3F));
    }
    else
    {
        out += char(0xE0 | code >> 12);
        out += char(0x80 | (code >> 6 & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
    return out;
}

std::string FontWriter::Metrics1(const std::string& texture, const std::string& mask, int32_t baseline,
                                 const std::vector<FontWriterBox>& glyphs)
{
    std::string text = "METRICS1\n" + texture + (mask.empty() ? "" : " " + mask) + "\n";
    text += std::to_string(baseline) + "\n";
    for (const FontWriterBox& g : glyphs)
        text += std::to_string(g.code) + " " + std::to_string(g.left) + " " + std::to_string(g.top) + " " +
                std::to_string(g.right) + " " + std::to_string(g.bottom) + "\n";
    return text;
}

bool FontWriter::LayoutSheet(const FontWriterSection& section, FontWriterSheet* sheet)
{
    const int32_t p = section.pitch;
    const int32_t w = section.width;
    if (p < 4 || w < 2)
        return false;
    // Bands first, to know the height: a cell of ink width k spans k + 2 columns after the
    // separator that starts it; a band needs one column past its last separator for the end.
    std::vector<std::vector<FontWriterCell>> bands(1);
    int32_t left = 0;
    for (const FontWriterCell& cell : section.cells)
    {
        int32_t right = left + cell.inkWidth + 2;
        if (cell.inkWidth < 1 || cell.inkWidth + 3 >= w)
            return false;
        if (right + 1 >= w)
        {
            bands.emplace_back();
            left = 0;
            right = cell.inkWidth + 2;
        }
        bands.back().push_back(cell);
        left = right;
    }
    sheet->width = w;
    sheet->height = int32_t(bands.size()) * p + 1;
    sheet->rgba.assign(size_t(w) * size_t(sheet->height) * 4, 0);
    for (int32_t y = 0; y < sheet->height; ++y)
        for (int32_t x = 0; x < w; ++x)
            Put(sheet, x, y, section.paper);
    for (size_t b = 0; b < bands.size(); ++b)
    {
        int32_t y = int32_t(b) * p;
        Put(sheet, 0, y, section.separator);
        int32_t x0 = 0;
        for (const FontWriterCell& cell : bands[b])
        {
            int32_t x1 = x0 + cell.inkWidth + 2;
            Put(sheet, x1, y, section.separator);
            for (int32_t row = y + 2; row < y + p; ++row)
                for (int32_t column = x0 + 2; column < x1; ++column)
                    Put(sheet, column, row, section.ink);
            x0 = x1;
        }
        if (x0 + 1 < w)
            Put(sheet, x0 + 1, y, section.separator);
    }
    // The row below the last band: its first two pixels end it at once.
    Put(sheet, 0, sheet->height - 1, section.separator);
    Put(sheet, 1, sheet->height - 1, section.separator);
    return true;
}

std::string FontWriter::Metrics2(const std::vector<FontWriterSection>& sections, std::vector<FontWriterSheet>* sheets)
{
    std::string text = "METRICS2\n";
    sheets->clear();
    for (const FontWriterSection& section : sections)
    {
        FontWriterSheet sheet;
        if (!LayoutSheet(section, &sheet))
            return {};
        sheets->push_back(std::move(sheet));
        text += section.texture + (section.mask.empty() ? "" : " " + section.mask) + "\n";
        text += std::to_string(section.baseline) + "\n";
        int32_t onLine = 0;
        for (const FontWriterCell& cell : section.cells)
        {
            text += Utf8(cell.code);
            if (++onLine == section.charactersPerLine)
            {
                text += "\n";
                onLine = 0;
            }
        }
        if (onLine)
            text += "\n";
    }
    return text;
}

std::string FontWriter::Metrics3(const std::string& name, const std::vector<OutlineGlyph>& glyphs)
{
    std::string text = "METRICS3\n" + name + "\n";
    for (const OutlineGlyph& glyph : glyphs)
    {
        // The reader takes the character from the line's second byte.
        text += "=" + Utf8(glyph.code) + "\nbegin\n";
        for (const OutlineCommand& c : glyph.commands)
        {
            switch (c.op)
            {
            case OutlineOp::MoveTo:
                text += "moveto " + Number(c.v[0]) + " " + Number(c.v[1]) + "\n";
                break;
            case OutlineOp::LineTo:
                text += "lineto " + Number(c.v[0]) + " " + Number(c.v[1]) + "\n";
                break;
            case OutlineOp::CurveTo:
                text += "curveto";
                for (float value : c.v)
                    text += " " + Number(value);
                text += "\n";
                break;
            case OutlineOp::Close:
                text += "closepath\n";
                break;
            }
        }
        text += "moveto " + Number(glyph.advance) + " 0\nend\n";
    }
    return text;
}

bool FontWriter::WriteText(const std::string& path, const std::string& text)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && ok;
}

bool FontWriter::WritePng(const std::string& path, const FontWriterSheet& sheet)
{
    if (sheet.width <= 0 || sheet.height <= 0 || sheet.rgba.size() != size_t(sheet.width) * sheet.height * 4)
        return false;
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(sheet.width);
    image.height = png_uint_32(sheet.height);
    image.format = PNG_FORMAT_RGBA;
    int ok = png_image_write_to_file(&image, path.c_str(), 0, sheet.rgba.data(), 0, nullptr);
    png_image_free(&image);
    return ok != 0;
}

std::string FontWriter::PngBytes(const FontWriterSheet& sheet)
{
    if (sheet.width <= 0 || sheet.height <= 0 || sheet.rgba.size() != size_t(sheet.width) * sheet.height * 4)
        return std::string();
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(sheet.width);
    image.height = png_uint_32(sheet.height);
    image.format = PNG_FORMAT_RGBA;
    // The first call measures, the second writes.
    png_alloc_size_t size = 0;
    std::string bytes;
    if (png_image_write_to_memory(&image, nullptr, &size, 0, sheet.rgba.data(), 0, nullptr) && size > 0)
    {
        bytes.resize(size);
        if (!png_image_write_to_memory(&image, bytes.data(), &size, 0, sheet.rgba.data(), 0, nullptr))
            bytes.clear();
        else
            bytes.resize(size);
    }
    png_image_free(&image);
    return bytes;
}
