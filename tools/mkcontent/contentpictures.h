// The set's drawn pictures: a small RGBA canvas with shapes and block lettering, and the painters
// of the pictures that show more than a flat colour (flags, title, logos, key caps, pages, the
// campaign map's pictures).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ContentCanvas
{
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> rgba; ///< top row first

    void Resize(int32_t w, int32_t h, uint32_t rgb = 0, uint8_t alpha = 255);
    /// Blends the colour over the texel (alpha 255 replaces it); texels off the canvas are left.
    void Put(int32_t x, int32_t y, uint32_t rgb, uint8_t alpha = 255);
    void Fill(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t rgb, uint8_t alpha = 255);
    /// From top colour to bottom colour over the rows y .. y + h - 1.
    void Gradient(int32_t y, int32_t h, uint32_t top, uint32_t bottom);
    void Disc(int32_t cx, int32_t cy, int32_t radius, uint32_t rgb, uint8_t alpha = 255);
    void Ring(int32_t cx, int32_t cy, int32_t outer, int32_t inner, uint32_t rgb);
    /// A band of the given thickness along the line from (x0, y0) to (x1, y1).
    void Line(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t thickness, uint32_t rgb);
    /// Block capitals, 5 x 7 cells of scale texels with one blank column between letters; lower
    /// case is drawn as upper case. "\x01" is a C with cedilla, "\x02" an N with tilde.
    void Text(const std::string& text, int32_t x, int32_t y, int32_t scale, uint32_t rgb);
    void TextCentred(const std::string& text, int32_t y, int32_t scale, uint32_t rgb);
    static int32_t TextWidth(const std::string& text, int32_t scale);
};

/// Whether the 5 x 7 block capital of the character (lower case as upper case) has ink at the
/// column and row (from the top left); false for a character without a glyph.
bool ContentGlyphInk(char c, int32_t column, int32_t row);

/// The painter of a drawn picture, or null for an id drawn as a flat colour with a border.
void (*ContentPainter(const std::string& id))(ContentCanvas&);
