// 2D fonts: bitmap fonts (glyph boxes in textures) and outline fonts (glyph paths) read from
// "<name>.met" text files along the font path, and text drawn with them through the 2D
// toolkit. Character codes are bytes, or 16-bit little-endian units for fonts that hold codes
// of 128 or more; a code of 0 ends a string.
#pragma once

#include <cstdint>

struct Brush2d;
struct GrowList;
struct Path2d;
struct Texture;
struct TextureDictionary;
struct Vector2;

constexpr uint32_t kFont2dUnicode = 0x2; ///< strings are read as 16-bit codes

enum Font2dKind : int32_t
{
    kFont2dBitmap = 0,
    kFont2dOutline = 1,
};

struct Font2dGlyph
{
    float width; ///< advance and quad width in font units (glyph height 1)
    Texture* texture;
    float uL, vT, uR, vB;
    Path2d* outline; ///< outline glyphs only
    uint8_t textureIndex;
};

struct Font2d;
using Font2dRenderFunction = Font2d* (*)(Font2d* font, const void* string, float height, Vector2* anchor,
                                         Brush2d* brush);

struct Font2d
{
    int32_t kind;
    float height;   ///< glyph height in texels for bitmap fonts
    float baseline; ///< above the glyph box's bottom, as a fraction of the height
    float gap;      ///< extra advance after every glyph, in font units
    uint32_t flags;
    Texture* textures[4];
    int16_t direct[128]; ///< glyph index of codes 0..127, -1 for none
    int32_t rangeFirst;
    int32_t rangeCount;
    int16_t* range; ///< glyph index of codes rangeFirst.., or null
    int32_t numGlyphs;
    GrowList* glyphs; ///< Font2dGlyph entries
    Font2dRenderFunction render;

    // ---- Finding and reading ---------------------------------------------------------------------
    /// Copies a ';'-separated list of folders, each with its own trailing separator. The
    /// module's copy, or null for null or when the buffer cannot grow.
    static const char* SetPath(const char* path);
    static const char* GetPath();
    /// The installed reader's font, or null.
    static Font2d* Read(const char* name);
    /// Tries folder + name + ".met" along the font path and reads the first file that opens
    /// as "METRICS1", "METRICS2" or "METRICS3". Null when none opens, the format is unknown
    /// or the file is refused.
    static Font2d* ReadMetrics(const char* name);

    // ---- Records ------------------------------------------------------------------------------------
    /// An empty outline-kind record: height 1, no glyphs, the bitmap renderer. Null when no
    /// record can be had.
    static Font2d* Create();
    /// Glyph outlines, glyphs, the range map and the texture references. 1, or 0 for null.
    static int32_t Destroy(Font2d* font);

    // ---- Text ------------------------------------------------------------------------------------------
    /// Draws with the baseline's left end at the anchor and glyphs scaled to the height; a
    /// bitmap font advances anchor->x by the string's width. The font, or null.
    static Font2d* RenderString(Font2d* font, const void* string, float height, Vector2* anchor, Brush2d* brush);
    /// height x the sum of (width + gap) over the characters that have a glyph.
    static float GetStringWidth(const Font2d* font, const void* string, float height);
    static int32_t IsUnicode(const Font2d* font) { return font->flags & kFont2dUnicode ? 1 : 0; }
    /// The glyph of a code, or null.
    static const Font2dGlyph* FindGlyph(const Font2d* font, uint32_t code);
    static TextureDictionary* GetTextureDictionary();

    static Font2d* RenderBitmapString(Font2d* font, const void* string, float height, Vector2* anchor, Brush2d* brush);
    static Font2d* RenderOutlineString(Font2d* font, const void* string, float height, Vector2* anchor, Brush2d* brush);
};
