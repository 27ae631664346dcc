// Writes the font files the engine only reads: "METRICS1" (listed glyph boxes),
// "METRICS2" (glyph cells framed by separator pixels in a glyph sheet, written as PNG, with
// the characters as UTF-8 text) and "METRICS3" (glyph outlines), for fixtures and content.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct FontWriterBox
{
    uint32_t code;
    int32_t left, top, right, bottom; ///< in texels
};

/// One cell of a scanned sheet: its character and how many texel columns of ink it holds.
struct FontWriterCell
{
    uint32_t code;
    int32_t inkWidth;
};

/// Pixels as red, green, blue, alpha bytes, top row first.
struct FontWriterSheet
{
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> rgba;
};

struct FontWriterSection
{
    std::string texture;
    std::string mask; ///< empty for none
    int32_t baseline = 0;
    int32_t pitch = 12; ///< rows per band: a separator row, a border row and pitch - 2 rows of ink
    int32_t width = 64; ///< of the sheet
    std::vector<FontWriterCell> cells;
    uint8_t separator[4] = {255, 0, 255, 255};
    uint8_t ink[4] = {255, 255, 255, 255};
    uint8_t paper[4] = {0, 0, 0, 0};
    int32_t charactersPerLine = 16;
};

enum class OutlineOp
{
    MoveTo,
    LineTo,
    CurveTo,
    Close,
};

struct OutlineCommand
{
    OutlineOp op;
    float v[6];
};

struct OutlineGlyph
{
    uint32_t code; ///< 1 to 0xFFFF
    std::vector<OutlineCommand> commands;
    float advance; ///< written as a final lone move-to, which the reader drops from the outline
};

struct FontWriter
{
    /// code as UTF-8 (codes up to 0xFFFF).
    static std::string Utf8(uint32_t code);

    static std::string Metrics1(const std::string& texture, const std::string& mask, int32_t baseline,
                                const std::vector<FontWriterBox>& glyphs);

    /// Lays the cells of a section into bands left to right: each cell ends at a separator
    /// pixel, each band with two separator pixels side by side; the first column marks every
    /// band's top. False when a cell is wider than the sheet.
    static bool LayoutSheet(const FontWriterSection& section, FontWriterSheet* sheet);
    /// The text of up to four sections (more are written as given); the sheets laid out in
    /// the same order. Empty when a sheet cannot be laid out.
    static std::string Metrics2(const std::vector<FontWriterSection>& sections, std::vector<FontWriterSheet>* sheets);

    static std::string Metrics3(const std::string& name, const std::vector<OutlineGlyph>& glyphs);

    // ---- Files ------------------------------------------------------------------------------------
    static bool WriteText(const std::string& path, const std::string& text);
    static bool WritePng(const std::string& path, const FontWriterSheet& sheet);
    /// The sheet as the bytes of a PNG file (made in memory, the same bytes every time); empty
    /// for a sheet whose size and pixels disagree.
    static std::string PngBytes(const FontWriterSheet& sheet);
};
