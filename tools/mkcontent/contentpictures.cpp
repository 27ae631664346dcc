// The set's drawn pictures. Every shape is integer arithmetic on texels, so two runs give the
// same bytes.
#include "contentpictures.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <map>

namespace
{
// ---- Lettering --------------------------------------------------------------------------------

// 5 x 7 block capitals: seven rows, the top first, bit 4 the left column.
const std::map<char, std::array<uint8_t, 7>>& Glyphs()
{
    static const std::map<char, std::array<uint8_t, 7>> glyphs = {
        {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
        {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}},
        {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}},
        {'D', {0x1C, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1C}},
        {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}},
        {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
        {'G', {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}},
        {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
        {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}},
        {'J', {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C}},
        {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}},
        {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
        {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}},
        {'N', {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}},
        {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
        {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
        {'Q', {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}},
        {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
        {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}},
        {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
        {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
        {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}},
        {'W', {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}},
        {'X', {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}},
        {'Y', {0x11, 0x11, 0x0A, 0x04, 0x04, 0x04, 0x04}},
        {'Z', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}},
        {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
        {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
        {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
        {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
        {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
        {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
        {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
        {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
        {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
        {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
        {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}},
        {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
        {'!', {0x04, 0x04, 0x04, 0x04, 0x04, 0x00, 0x04}},
        {'\'', {0x04, 0x04, 0x08, 0x00, 0x00, 0x00, 0x00}},
        {',', {0x00, 0x00, 0x00, 0x00, 0x0C, 0x04, 0x08}},
        {'?', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x00, 0x04}},
        {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}},
        {';', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x04, 0x08}},
        {'/', {0x01, 0x01, 0x02, 0x04, 0x08, 0x10, 0x10}},
        {'(', {0x02, 0x04, 0x08, 0x08, 0x08, 0x04, 0x02}},
        {')', {0x08, 0x04, 0x02, 0x02, 0x02, 0x04, 0x08}},
        {'%', {0x18, 0x19, 0x02, 0x04, 0x08, 0x13, 0x03}},
        {'+', {0x00, 0x04, 0x04, 0x1F, 0x04, 0x04, 0x00}},
        {'_', {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x1F}},
        {'"', {0x0A, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00}},
        {'\x01', {0x0E, 0x11, 0x10, 0x10, 0x11, 0x0E, 0x04}}, // C with cedilla
        {'\x02', {0x0D, 0x00, 0x11, 0x19, 0x15, 0x13, 0x11}}, // N with tilde
    };
    return glyphs;
}

uint32_t Mix(uint32_t a, uint32_t b, int32_t t, int32_t range)
{
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8)
    {
        const int32_t ca = int32_t((a >> shift) & 0xFF), cb = int32_t((b >> shift) & 0xFF);
        out |= uint32_t(ca + (cb - ca) * t / (range > 0 ? range : 1)) << shift;
    }
    return out;
}

/// A triangle wave of the period, 0 to amplitude.
int32_t Wave(int32_t x, int32_t period, int32_t amplitude)
{
    const int32_t p = ((x % period) + period) % period;
    return (p < period / 2 ? p : period - p) * 2 * amplitude / period;
}
} // namespace

bool ContentGlyphInk(char c, int32_t column, int32_t row)
{
    const char upper = c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
    const auto glyph = Glyphs().find(upper);
    if (glyph == Glyphs().end() || column < 0 || column >= 5 || row < 0 || row >= 7)
        return false;
    return (glyph->second[size_t(row)] >> (4 - column)) & 1;
}

// ---- Canvas -----------------------------------------------------------------------------------

void ContentCanvas::Resize(int32_t w, int32_t h, uint32_t rgb, uint8_t alpha)
{
    width = w;
    height = h;
    rgba.assign(size_t(w) * size_t(h) * 4, 0);
    for (size_t i = 0; i < rgba.size(); i += 4)
    {
        rgba[i] = uint8_t(rgb >> 16);
        rgba[i + 1] = uint8_t(rgb >> 8);
        rgba[i + 2] = uint8_t(rgb);
        rgba[i + 3] = alpha;
    }
}

void ContentCanvas::Put(int32_t x, int32_t y, uint32_t rgb, uint8_t alpha)
{
    if (x < 0 || y < 0 || x >= width || y >= height)
        return;
    uint8_t* p = &rgba[(size_t(y) * size_t(width) + size_t(x)) * 4];
    const uint8_t c[3] = {uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb)};
    for (int i = 0; i < 3; ++i)
        p[i] = uint8_t((c[i] * alpha + p[i] * (255 - alpha)) / 255);
    p[3] = uint8_t(alpha + p[3] * (255 - alpha) / 255);
}

void ContentCanvas::Fill(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t rgb, uint8_t alpha)
{
    for (int32_t j = y; j < y + h; ++j)
        for (int32_t i = x; i < x + w; ++i)
            Put(i, j, rgb, alpha);
}

void ContentCanvas::Gradient(int32_t y, int32_t h, uint32_t top, uint32_t bottom)
{
    for (int32_t j = 0; j < h; ++j)
        Fill(0, y + j, width, 1, Mix(top, bottom, j, h - 1));
}

void ContentCanvas::Disc(int32_t cx, int32_t cy, int32_t radius, uint32_t rgb, uint8_t alpha)
{
    for (int32_t y = cy - radius; y <= cy + radius; ++y)
        for (int32_t x = cx - radius; x <= cx + radius; ++x)
            if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius)
                Put(x, y, rgb, alpha);
}

void ContentCanvas::Ring(int32_t cx, int32_t cy, int32_t outer, int32_t inner, uint32_t rgb)
{
    for (int32_t y = cy - outer; y <= cy + outer; ++y)
        for (int32_t x = cx - outer; x <= cx + outer; ++x)
        {
            const int32_t d = (x - cx) * (x - cx) + (y - cy) * (y - cy);
            if (d <= outer * outer && d > inner * inner)
                Put(x, y, rgb);
        }
}

void ContentCanvas::Line(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t thickness, uint32_t rgb)
{
    const int64_t dx = x1 - x0, dy = y1 - y0, length2 = dx * dx + dy * dy;
    const int32_t r = thickness / 2 + 1;
    for (int32_t y = std::min(y0, y1) - r; y <= std::max(y0, y1) + r; ++y)
        for (int32_t x = std::min(x0, x1) - r; x <= std::max(x0, x1) + r; ++x)
        {
            // The texel's distance to the segment, squared and scaled by its length squared.
            int64_t t = length2 > 0 ? ((x - x0) * dx + (y - y0) * dy) : 0;
            t = std::max<int64_t>(0, std::min(t, length2));
            const int64_t px = int64_t(x - x0) * length2 - t * dx, py = int64_t(y - y0) * length2 - t * dy;
            const int64_t limit = int64_t(thickness) * thickness * length2 * length2 / 4;
            if (length2 == 0 ? (x - x0) * (x - x0) + (y - y0) * (y - y0) <= thickness * thickness / 4
                             : px * px + py * py <= limit)
                Put(x, y, rgb);
        }
}

int32_t ContentCanvas::TextWidth(const std::string& text, int32_t scale)
{
    return text.empty() ? 0 : int32_t(text.size()) * 6 * scale - scale;
}

void ContentCanvas::Text(const std::string& text, int32_t x, int32_t y, int32_t scale, uint32_t rgb)
{
    for (char c : text)
    {
        const char upper = c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
        const auto glyph = Glyphs().find(upper);
        if (glyph != Glyphs().end())
            for (int32_t row = 0; row < 7; ++row)
                for (int32_t column = 0; column < 5; ++column)
                    if ((glyph->second[size_t(row)] >> (4 - column)) & 1)
                        Fill(x + column * scale, y + row * scale, scale, scale, rgb);
        x += 6 * scale;
    }
}

void ContentCanvas::TextCentred(const std::string& text, int32_t y, int32_t scale, uint32_t rgb)
{
    Text(text, (width - TextWidth(text, scale)) / 2, y, scale, rgb);
}

namespace
{
// ---- Flags: the field above, the language's name below ----------------------------------------

constexpr int32_t kFlagSide = 128, kFieldX = 4, kFieldY = 4, kFieldW = 120, kFieldH = 84;

void Flag(ContentCanvas& c, const char* name, uint32_t (*field)(int32_t u, int32_t v))
{
    c.Resize(kFlagSide, kFlagSide, 0x2A2A2A);
    for (int32_t v = 0; v < kFieldH; ++v)
        for (int32_t u = 0; u < kFieldW; ++u)
            c.Put(kFieldX + u, kFieldY + v, field(u, v));
    c.Fill(4, 92, 120, 32, 0x141414);
    c.TextCentred(name, 101, 2, 0xF2F2F2);
}

uint32_t UkField(int32_t u, int32_t v)
{
    // The two diagonals (white, with a red middle), then the upright cross over them.
    const int32_t w = kFieldW, h = kFieldH, norm = 146; // the diagonal's length, rounded
    const int32_t d1 = std::abs(v * w - u * h) / norm, d2 = std::abs(v * w - (w - u) * h) / norm;
    uint32_t colour = 0x1F3A93;
    if (d1 < 9 || d2 < 9)
        colour = 0xFFFFFF;
    if (d1 < 3 || d2 < 3)
        colour = 0xC8102E;
    const int32_t cx = std::abs(2 * u - w + 1) / 2, cy = std::abs(2 * v - h + 1) / 2;
    if (cx < 12 || cy < 12)
        colour = 0xFFFFFF;
    if (cx < 7 || cy < 7)
        colour = 0xC8102E;
    return colour;
}
uint32_t FrField(int32_t u, int32_t)
{
    return u < kFieldW / 3 ? 0x0055A4 : u < 2 * kFieldW / 3 ? 0xFFFFFF : 0xEF4135;
}
uint32_t DeField(int32_t, int32_t v)
{
    return v < kFieldH / 3 ? 0x000000 : v < 2 * kFieldH / 3 ? 0xDD0000 : 0xFFCE00;
}
uint32_t SpField(int32_t, int32_t v)
{
    return v < kFieldH / 4 || v >= 3 * kFieldH / 4 ? 0xAA151B : 0xF1BF00;
}
uint32_t ItField(int32_t u, int32_t)
{
    return u < kFieldW / 3 ? 0x009246 : u < 2 * kFieldW / 3 ? 0xFFFFFF : 0xCE2B37;
}

void FlagUk(ContentCanvas& c)
{
    Flag(c, "ENGLISH", UkField);
}
void FlagFr(ContentCanvas& c)
{
    Flag(c,
         "FRAN\x01"
         "AIS",
         FrField);
}
void FlagDe(ContentCanvas& c)
{
    Flag(c, "DEUTSCH", DeField);
}
void FlagSp(ContentCanvas& c)
{
    Flag(c,
         "ESPA\x02"
         "OL",
         SpField);
}
void FlagIt(ContentCanvas& c)
{
    Flag(c, "ITALIANO", ItField);
}

// ---- Scenes -----------------------------------------------------------------------------------

/// Dark hills from the row given down, two layers, the far one lighter.
void Hills(ContentCanvas& c, int32_t horizon, uint32_t far, uint32_t near)
{
    for (int32_t x = 0; x < c.width; ++x)
    {
        const int32_t f = horizon - Wave(x + 20, c.width / 2, c.height / 12) - Wave(x, c.width / 5, c.height / 40);
        const int32_t n = horizon + c.height / 16 - Wave(x + 5, c.width * 2 / 3, c.height / 14);
        c.Fill(x, f, 1, c.height - f, far);
        c.Fill(x, n, 1, c.height - n, near);
    }
}

/// A farmhouse: walls, a pitched roof, a chimney and a lit window; (x, base) its bottom left.
void House(ContentCanvas& c, int32_t x, int32_t base, int32_t w, uint32_t wall, uint32_t light)
{
    const int32_t h = w * 2 / 3;
    c.Fill(x, base - h, w, h, wall);
    for (int32_t row = 0; row < w / 2; ++row)
    {
        const int32_t inset = w / 2 - row;
        c.Fill(x - 2 + inset, base - h - w / 2 + row, w + 4 - 2 * inset, 1, wall);
    }
    c.Fill(x + w * 3 / 4, base - h - w / 2, w / 8 + 1, w / 3, wall);
    c.Fill(x + w / 5, base - h * 2 / 3, w / 5, w / 5, light);
    c.Fill(x + w * 3 / 5, base - h / 2, w / 6 + 1, h / 2, Mix(wall, 0x000000, 1, 2));
}

void Title(ContentCanvas& c)
{
    c.Resize(256, 256);
    c.Gradient(0, 110, 0x0B1330, 0x4A2C55);
    c.Gradient(110, 70, 0x4A2C55, 0xD98A4B);
    c.Disc(196, 128, 15, 0xF6D27A);
    Hills(c, 182, 0x2B2030, 0x15100C);
    House(c, 40, 200, 36, 0x15100C, 0xF2C14E);
    c.Fill(0, 226, 256, 30, 0x0E0A08);
    const int32_t w = ContentCanvas::TextWidth("VELMORAN", 5);
    c.Text("VELMORAN", (256 - w) / 2 + 2, 42, 5, 0x000000);
    c.TextCentred("VELMORAN", 40, 5, 0xE8B84A);
    c.Fill((256 - w) / 2, 82, w, 2, 0xE8B84A);
}

void Banner(ContentCanvas& c)
{
    c.Resize(256, 64, 0x2A1E14);
    c.Fill(0, 5, 256, 2, 0xC89B3C);
    c.Fill(0, 57, 256, 2, 0xC89B3C);
    c.TextCentred("VELMORAN", 18, 4, 0xE8B84A);
}

/// The framed menus' rows: one flat colour, so a row stretched over the menu's width has no edge.
void MenuRow(ContentCanvas& c)
{
    c.Resize(32, 32, 0x222834);
}

void Loading(ContentCanvas& c)
{
    c.Resize(128, 128, 0x141A2E);
    c.Gradient(0, 128, 0x141A2E, 0x05070C);
    c.TextCentred("VELMORAN", 52, 2, 0xE8B84A);
    c.Fill(24, 76, 80, 4, 0x3A4668);
}

void Parchment(ContentCanvas& c)
{
    c.Resize(64, 64, 0x5A4E37);
    for (int32_t y = 0; y < 64; ++y)
        for (int32_t x = 0; x < 64; ++x)
            if (x % 16 == 0 || y % 16 == 0)
                c.Put(x, y, 0x4E4330);
}

/// A mission's picture: a sky of its colours over its horizon, and what stands there.
void Mission(ContentCanvas& c, int32_t kind, uint32_t high, uint32_t low)
{
    c.Resize(128, 64);
    c.Gradient(0, 44, high, low);
    Hills(c, 46, Mix(low, 0x000000, 2, 3), 0x16120E);
    const uint32_t ink = 0x16120E;
    switch (kind)
    {
    case 1: // the farm
        House(c, 70, 54, 24, ink, 0xF2C14E);
        break;
    case 2: // the bridge
        c.Fill(20, 40, 88, 4, ink);
        for (int32_t x = 24; x < 108; x += 20)
            c.Fill(x, 40, 4, 24, ink);
        break;
    case 3: // the village
        for (int32_t x = 12; x < 120; x += 26)
            House(c, x, 56, 16 + (x % 3) * 3, ink, 0xE8B04A);
        break;
    case 4: // the forest
        for (int32_t x = 6; x < 128; x += 12)
            for (int32_t row = 0; row < 22; ++row)
                c.Fill(x - row / 3, 30 + row + (x % 5), 1 + 2 * (row / 3), 1, ink);
        break;
    case 5: // the depot
        for (int32_t x = 14; x < 120; x += 30)
        {
            c.Fill(x, 36, 20, 18, ink);
            c.Disc(x + 10, 36, 10, ink);
        }
        c.Disc(100, 20, 8, 0xF08A2A);
        break;
    case 6: // the fort
        c.Fill(20, 30, 88, 26, ink);
        for (int32_t x = 20; x < 108; x += 8)
            c.Fill(x, 26, 4, 4, ink);
        c.Fill(56, 40, 16, 16, Mix(high, 0x000000, 1, 2));
        break;
    default: // the harbour
        c.Fill(0, 50, 128, 14, 0x1C2F4A);
        c.Fill(30, 44, 50, 6, ink);
        c.Fill(50, 30, 3, 14, ink);
        c.Fill(53, 32, 14, 8, 0xD8D0C0);
        break;
    }
}

void Mission1(ContentCanvas& c)
{
    Mission(c, 1, 0x1B2A4E, 0xC97B4A);
}
void Mission2(ContentCanvas& c)
{
    Mission(c, 2, 0x2E4F6E, 0x9FB7C8);
}
void Mission3(ContentCanvas& c)
{
    Mission(c, 3, 0x3C3C46, 0xA39A8A);
}
void Mission4(ContentCanvas& c)
{
    Mission(c, 4, 0x1E3A2A, 0x7FA06A);
}
void Mission5(ContentCanvas& c)
{
    Mission(c, 5, 0x2A1010, 0xD0602A);
}
void Mission6(ContentCanvas& c)
{
    Mission(c, 6, 0x24283C, 0x8C8CA8);
}
void Mission7(ContentCanvas& c)
{
    Mission(c, 7, 0x0E2240, 0xE0B080);
}

// ---- The first sector's pages -------------------------------------------------------------------

void LabelDusk(ContentCanvas& c)
{
    c.Resize(128, 128);
    c.Gradient(0, 80, 0x141C3C, 0xC8744A);
    Hills(c, 84, 0x3A2A30, 0x1A140F);
    House(c, 64, 104, 36, 0x1A140F, 0xF2C14E);
    c.Fill(0, 104, 128, 3, 0x2C241C); // the yard wall
}

void LabelMap(ContentCanvas& c)
{
    c.Resize(128, 128, 0xD9C9A0);
    for (int32_t i = 0; i < 128; i += 16)
    {
        c.Fill(i, 0, 1, 128, 0xC4B386);
        c.Fill(0, i, 128, 1, 0xC4B386);
    }
    // The yard's wall, the house with its door, the guard's round and the objective's cross.
    for (int32_t i = 0; i < 3; ++i)
    {
        c.Fill(16 + i, 16, 1, 96, 0x5A4630);
        c.Fill(109 + i, 16, 1, 96, 0x5A4630);
        c.Fill(16, 16 + i, 96, 1, 0x5A4630);
        c.Fill(16, 109 + i, 96, 1, 0x5A4630);
    }
    c.Fill(44, 30, 40, 30, 0x7A5A3A);
    c.Fill(60, 58, 8, 4, 0xD9C9A0);
    for (int32_t x = 30; x < 100; x += 8)
        c.Fill(x, 84, 5, 2, 0xA02020);
    c.Line(56, 38, 72, 52, 3, 0xA02020);
    c.Line(72, 38, 56, 52, 3, 0xA02020);
    c.Disc(28, 98, 4, 0x1F4E9C);
}

void LabelDawn(ContentCanvas& c)
{
    c.Resize(128, 128);
    c.Gradient(0, 84, 0x6A8CC0, 0xF4C46A);
    c.Disc(92, 80, 14, 0xFFF0B0);
    Hills(c, 88, 0x6A7A4A, 0x3A4A2A);
    House(c, 24, 108, 32, 0x2A2A22, 0x2A2A22);
}

void LabelInside(ContentCanvas& c)
{
    c.Resize(128, 128, 0x140F0C);
    c.Fill(0, 96, 128, 32, 0x221A14);
    c.Fill(48, 30, 32, 66, 0x6A5030); // the open door's light
    c.Fill(44, 26, 40, 4, 0x3A2C20);
    c.Fill(44, 26, 4, 70, 0x3A2C20);
    c.Fill(80, 26, 4, 70, 0x3A2C20);
    for (int32_t row = 0; row < 32; ++row)
        c.Fill(48 - row / 2, 96 + row, 32 + row, 1, Mix(0x6A5030, 0x221A14, row, 32));
}

/// A sepia sketch: the paper, then the scene's lines in brown.
void SketchHouse(ContentCanvas& c)
{
    c.Resize(128, 128, 0xE6D8B8);
    c.Line(10, 100, 118, 100, 2, 0x6A4E34);
    c.Line(34, 100, 34, 62, 2, 0x6A4E34);
    c.Line(94, 100, 94, 62, 2, 0x6A4E34);
    c.Line(28, 64, 64, 36, 2, 0x6A4E34);
    c.Line(100, 64, 64, 36, 2, 0x6A4E34);
    c.Line(56, 100, 56, 78, 2, 0x6A4E34);
    c.Line(72, 100, 72, 78, 2, 0x6A4E34);
    c.Line(56, 78, 72, 78, 2, 0x6A4E34);
    c.Fill(42, 70, 8, 8, 0x8A6A48);
}

void SketchGuard(ContentCanvas& c)
{
    c.Resize(128, 128, 0xE6D8B8);
    c.Disc(64, 30, 9, 0x6A4E34);
    c.Fill(54, 18, 20, 5, 0x4A3624); // the helmet's brim
    c.Line(64, 40, 64, 80, 8, 0x6A4E34);
    c.Line(64, 80, 54, 112, 5, 0x6A4E34);
    c.Line(64, 80, 74, 112, 5, 0x6A4E34);
    c.Line(64, 48, 48, 70, 4, 0x6A4E34);
    c.Line(64, 48, 82, 62, 4, 0x6A4E34);
    c.Line(76, 70, 100, 40, 3, 0x3A2A1C); // the rifle
}

// ---- Logos (on a clear background) --------------------------------------------------------------

void Clear(ContentCanvas& c, int32_t w, int32_t h)
{
    c.Resize(w, h, 0x000000, 0);
}

void TalmericLogo(ContentCanvas& c)
{
    Clear(c, 64, 64);
    c.Disc(32, 32, 29, 0xC89B3C);
    c.Disc(32, 32, 25, 0x7A1E22);
    c.TextCentred("T", 15, 5, 0xF0D080);
}
void TalmericTitle(ContentCanvas& c)
{
    Clear(c, 128, 32);
    c.TextCentred("TALMERIC", 9, 2, 0xC89B3C);
}
void OrvLogo(ContentCanvas& c)
{
    Clear(c, 64, 64);
    c.Disc(32, 32, 28, 0x1E4E9C);
    c.TextCentred("O", 15, 5, 0xFFFFFF);
}
void OrvRing(ContentCanvas& c)
{
    Clear(c, 64, 64);
    c.Ring(32, 32, 31, 27, 0x3A78D8);
}
void OrvLetters(ContentCanvas& c)
{
    Clear(c, 128, 64);
    c.TextCentred("RV", 14, 6, 0x3A78D8);
}
void OrvBar(ContentCanvas& c)
{
    Clear(c, 32, 64);
    c.Fill(10, 8, 12, 48, 0x3A78D8);
}
void OrvThinBar(ContentCanvas& c)
{
    Clear(c, 16, 64);
    c.Fill(5, 8, 6, 48, 0x6A9CE8);
}
void OrvText(ContentCanvas& c)
{
    Clear(c, 128, 16);
    c.TextCentred("INTERACTIVE", 4, 1, 0x6A9CE8);
}
void CorvaneLogo(ContentCanvas& c)
{
    Clear(c, 64, 64);
    for (int32_t row = 0; row < 29; ++row)
    {
        c.Fill(32 - row, 3 + row, 2 * row + 1, 1, 0x2E2E2E);
        c.Fill(32 - row, 60 - row, 2 * row + 1, 1, 0x2E2E2E);
    }
    c.TextCentred("C", 15, 5, 0xE04A2A);
}
void CorvaneTitle(ContentCanvas& c)
{
    Clear(c, 128, 16);
    c.TextCentred("CORVANE", 1, 2, 0xE04A2A);
}
void CorvaneGames(ContentCanvas& c)
{
    Clear(c, 64, 16);
    c.TextCentred("GAMES", 1, 2, 0x8A8A8A);
}
void EngineLogo(ContentCanvas& c)
{
    Clear(c, 128, 64);
    // A wire cube.
    const int32_t x = 44, y = 14, s = 30, d = 10;
    const uint32_t ink = 0x3AA0A0;
    c.Line(x, y + d, x + s, y + d, 2, ink);
    c.Line(x, y + d + s, x + s, y + d + s, 2, ink);
    c.Line(x, y + d, x, y + d + s, 2, ink);
    c.Line(x + s, y + d, x + s, y + d + s, 2, ink);
    c.Line(x + d, y, x + s + d, y, 2, ink);
    c.Line(x + s + d, y, x + s + d, y + s, 2, ink);
    c.Line(x, y + d, x + d, y, 2, ink);
    c.Line(x + s, y + d, x + s + d, y, 2, ink);
    c.Line(x + s, y + d + s, x + s + d, y + s, 2, ink);
}
void EngineTitle(ContentCanvas& c)
{
    Clear(c, 128, 32);
    c.TextCentred("VUZAD", 5, 3, 0x3AA0A0);
}
void EngineTitle2(ContentCanvas& c)
{
    Clear(c, 64, 32);
    c.TextCentred("3D", 5, 3, 0xA0E0E0);
}
void SoundLogo(ContentCanvas& c)
{
    Clear(c, 128, 64);
    for (int32_t i = 0; i < 15; ++i)
    {
        const int32_t h = 4 + Wave(i * 7, 30, 22);
        c.Fill(19 + i * 6, 30 - h / 2, 4, h, 0xE0E0E0);
    }
    c.TextCentred("AUDIO", 46, 2, 0xE0E0E0);
}

// ---- Key caps, marks ----------------------------------------------------------------------------

void KeyCap(ContentCanvas& c)
{
    c.Resize(32, 32, 0x000000, 0);
    c.Fill(1, 1, 30, 30, 0x3A3A3A);
    c.Fill(2, 2, 28, 27, 0xDADADA);
    c.Fill(2, 25, 28, 4, 0x9A9A9A);
}
void EscapeKey(ContentCanvas& c)
{
    KeyCap(c);
    c.Text("ESC", 7, 10, 1, 0x202020);
}
void ReturnKey(ContentCanvas& c)
{
    KeyCap(c);
    c.Line(22, 7, 22, 17, 2, 0x202020);
    c.Line(10, 17, 22, 17, 2, 0x202020);
    c.Line(10, 17, 14, 13, 2, 0x202020);
    c.Line(10, 17, 14, 21, 2, 0x202020);
}
void Tick(ContentCanvas& c)
{
    Clear(c, 32, 32);
    c.Line(6, 16, 13, 24, 5, 0x3AC04A);
    c.Line(13, 24, 26, 7, 5, 0x3AC04A);
}
void Cross(ContentCanvas& c)
{
    Clear(c, 32, 32);
    c.Line(7, 7, 25, 25, 5, 0xD03030);
    c.Line(25, 7, 7, 25, 5, 0xD03030);
}
/// The arrows either side of a value being changed (the left one is drawn mirrored). The menu
/// lifts the arrow's square most of a row above the row it points along, so the arrow is drawn
/// in the square's lower part.
void ValueArrow(ContentCanvas& c)
{
    Clear(c, 32, 32);
    for (int32_t row = 0; row <= 10; ++row)
        c.Fill(12, 21 + row, 8 - std::abs(row - 5) * 3 / 2, 1, 0xE8B84A);
}

void Medal(ContentCanvas& c)
{
    Clear(c, 32, 32);
    c.Disc(16, 16, 13, 0xC89B3C);
    c.Disc(16, 16, 9, 0xF0D080);
    c.Disc(16, 16, 4, 0xC89B3C);
}
} // namespace

void (*ContentPainter(const std::string& id))(ContentCanvas&)
{
    static const std::map<std::string, void (*)(ContentCanvas&)> painters = {
        {"FE_FLAG_UK_TEX", FlagUk},
        {"FE_FLAG_FR_TEX", FlagFr},
        {"FE_FLAG_DE_TEX", FlagDe},
        {"FE_FLAG_SP_TEX", FlagSp},
        {"FE_FLAG_IT_TEX", FlagIt},
        {"FE_TITLE_TEX", Title},
        {"FE_INTRO_TITLE_TEX", Banner},
        {"FE_LOADING_SCREEN_TEX", Loading},
        {"FE_MAIN_WHITE_BACKGROUND_TEX", MenuRow},
        {"FE_MAP_BACK_TEX", Parchment},
        {"FE_MISSION1_PIC_TEX", Mission1},
        {"FE_MISSION2_PIC_TEX", Mission2},
        {"FE_MISSION3_PIC_TEX", Mission3},
        {"FE_MISSION4_PIC_TEX", Mission4},
        {"FE_MISSION5_PIC_TEX", Mission5},
        {"FE_MISSION6_PIC_TEX", Mission6},
        {"FE_MISSION7_PIC_TEX", Mission7},
        {"FE_MISSION_SUCCEEDED", Medal},
        {"FE_COMPLETE_TEX", Tick},
        {"FE_FAIL_TEX", Cross},
        {"LB_W1L1S01_1_TEX", LabelDusk},
        {"LB_W1L1S01_2_TEX", LabelMap},
        {"LB_W1L1S01_END_TEX", LabelDawn},
        {"LB_W1L1S01_MIDDLE_TEX", LabelInside},
        {"AW_W1L1S01_1_TEX", SketchHouse},
        {"AW_W1L1S01_2_TEX", SketchGuard},
        {"FE_LOGO_TALMERIC_TEX", TalmericLogo},
        {"FE_TITLE_TALMERIC_TEX", TalmericTitle},
        {"FE_LOGO_ORV_TEX", OrvLogo},
        {"FE_LOGO_ORV_BLUE_TEX", OrvRing},
        {"FE_LOGO_ORV_BLUE02_TEX", OrvLetters},
        {"FE_LOGO_ORV_BLUE03_TEX", OrvBar},
        {"FE_LOGO_ORV_BLUE04_TEX", OrvThinBar},
        {"FE_LOGO_ORV_TEXT_TEX", OrvText},
        {"FE_LOGO_CORVANE_TEX", CorvaneLogo},
        {"FE_LOGO_CORVANE_TITLE1_TEX", CorvaneTitle},
        {"FE_LOGO_CORVANE_TITLE2_TEX", CorvaneGames},
        {"FE_LOGO_ENGINE_TEX", EngineLogo},
        {"FE_LOGO_ENGINE_TITLE1_TEX", EngineTitle},
        {"FE_LOGO_ENGINE_TITLE2_TEX", EngineTitle2},
        {"FE_LOGO_FMOD_TEX", SoundLogo},
        {"FE_ESCAPE_KEY_TEX", EscapeKey},
        {"FE_OPTION_JAUGE_ARROW_TEX", ValueArrow},
        {"FE_RETURN_KEY_TEX", ReturnKey},
    };
    const auto found = painters.find(id);
    return found == painters.end() ? nullptr : found->second;
}
