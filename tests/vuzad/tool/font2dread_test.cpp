// Tests of fonts made by the font writer, on the Direct3D 9 driver with glyph sheets read
// through the image formats: the listed, scanned and outline formats, their glyph boxes,
// codes and heights, the files each must refuse, and their text measured, batched (the
// device's call log) and read back.
#include "brush2d.h"
#include "engine.h"
#include "font2d.h"
#include "fontwriter.h"
#include "framecheck.h"
#include "growlist.h"
#include "image.h"
#include "path2d.h"
#include "texture.h"
#include "toolfixture.h"
#include "vector.h"

#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>

namespace
{

class Font2dRead : public tooltest::DriverToolTest
{
protected:
    void SetUp() override
    {
        DriverToolTest::SetUp();
        mFolder = tooltest::ScratchFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
        ASSERT_NE(Font2d::SetPath(mFolder.c_str()), nullptr);
    }

    void Write(const std::string& name, const std::string& text)
    {
        ASSERT_TRUE(FontWriter::WriteText(mFolder + name, text));
    }
    void WriteSheet(const std::string& name, const FontWriterSheet& sheet)
    {
        ASSERT_TRUE(FontWriter::WritePng(mFolder + name + ".png", sheet));
    }
    /// A plain sheet for listed fonts.
    static FontWriterSheet Plain(int32_t width, int32_t height)
    {
        FontWriterSheet sheet;
        sheet.width = width;
        sheet.height = height;
        sheet.rgba.assign(size_t(width) * size_t(height) * 4, 0xFF);
        return sheet;
    }

    std::string mFolder;
};

const Font2dGlyph* Glyph(const Font2d* font, uint32_t code)
{
    return Font2d::FindGlyph(font, code);
}

TEST_F(Font2dRead, ListedFontsTakeTheirBoxesAndTheLastLinesHeight)
{
    WriteSheet("sheet", Plain(64, 32));
    std::string text = FontWriter::Metrics1("sheet", "", 3, {{'A', 0, 0, 8, 16}, {'C', 0, 0, 4, 16}}) +
                       "1 2 3 4\n"          // four numbers: skipped
                       "67 0 0 12 16\n"     // C again: the later line wins
                       "0x42 8 0 020 10\n"; // hexadecimal and octal, the last box: height 10
    Write("list.met", text);
    Font2d* font = Font2d::Read("list");
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->kind, kFont2dBitmap);
    EXPECT_EQ(font->numGlyphs, 4);
    EXPECT_EQ(font->height, 10.0f);
    EXPECT_FLOAT_EQ(font->baseline, 0.3f);
    EXPECT_EQ(font->gap, 0.0f);
    EXPECT_EQ(Font2d::IsUnicode(font), 0);
    const Font2dGlyph* a = Glyph(font, 'A');
    ASSERT_NE(a, nullptr);
    EXPECT_FLOAT_EQ(a->uL, 0.5f / 64);
    EXPECT_FLOAT_EQ(a->vT, 0.5f / 32);
    EXPECT_FLOAT_EQ(a->uR, 8.5f / 64);
    EXPECT_FLOAT_EQ(a->vB, 16.5f / 32);
    EXPECT_EQ(a->width, 0.5f);
    EXPECT_EQ(a->texture, font->textures[0]);
    EXPECT_EQ(Glyph(font, 'C')->width, 0.75f);
    EXPECT_EQ(Glyph(font, 'B')->width, 0.8f);
    ASSERT_NE(font->textures[0], nullptr);
    EXPECT_EQ(font->textures[0]->dictionary, Font2d::GetTextureDictionary());
    EXPECT_STREQ(font->textures[0]->maskName, "");
    EXPECT_STREQ(Image::GetPath(), mFolder.c_str()) << "texture reads search the font path";

    // A second font of the same texture shares it.
    Font2d* again = Font2d::Read("list");
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->textures[0], font->textures[0]);
    Font2d::Destroy(again);
    Font2d::Destroy(font);

    // With "m" + the texture's name beside the font, that is its mask.
    WriteSheet("msheet", Plain(64, 32));
    font = Font2d::Read("list");
    ASSERT_NE(font, nullptr);
    EXPECT_STREQ(font->textures[0]->maskName, "msheet");
    Font2d::Destroy(font);
}

TEST_F(Font2dRead, ListedFontsLookForTheirMaskBesideTheFontInAPathOfFolders)
{
    // The font lies in the second folder of the path; the mask "m" + texture counts only
    // when it lies beside the font, whatever the first folder holds.
    const std::string first = mFolder + "first/", second = mFolder + "second/";
    std::filesystem::create_directories(first);
    std::filesystem::create_directories(second);
    ASSERT_NE(Font2d::SetPath((first + ";" + second).c_str()), nullptr);
    ASSERT_TRUE(FontWriter::WriteText(second + "list.met", FontWriter::Metrics1("sheet", "", 3, {{'A', 0, 0, 8, 16}})));
    ASSERT_TRUE(FontWriter::WritePng(second + "sheet.png", Plain(64, 32)));
    ASSERT_TRUE(FontWriter::WritePng(first + "msheet.png", Plain(64, 32)));
    Font2d* font = Font2d::Read("list");
    ASSERT_NE(font, nullptr);
    EXPECT_STREQ(font->textures[0]->maskName, "") << "a mask only in another folder of the path";
    Font2d::Destroy(font);

    ASSERT_TRUE(FontWriter::WritePng(second + "msheet.png", Plain(64, 32)));
    font = Font2d::Read("list");
    ASSERT_NE(font, nullptr);
    EXPECT_STREQ(font->textures[0]->maskName, "msheet");
    Font2d::Destroy(font);
}

TEST_F(Font2dRead, ListedFontsRefuseCodesBeyond16BitsAndBoxesWithoutHeight)
{
    WriteSheet("sheet", Plain(16, 16));
    struct Case
    {
        std::string lines;
        bool reads;
        const char* what;
    } cases[] = {
        {"65 0 0 4 8\n65536 0 0 4 8\n", false, "code 0x10000"},
        {"-1 0 0 4 8\n", false, "a negative code"},
        {"65 0 4 4 4\n", false, "a box without height"},
        {"65 0 0 4 8\n65535 0 0 4 8\n", true, "code 0xFFFF"},
        {"99999999999 0 0 4 8\n", true, "a number beyond 32 bits is no number: the line is skipped"},
        {"", true, "no glyph lines"},
    };
    for (const Case& c : cases)
    {
        Write("f.met", "METRICS1\nsheet\n2\n" + c.lines);
        Font2d* font = Font2d::Read("f");
        EXPECT_EQ(font != nullptr, c.reads) << c.what;
        if (font && c.lines.empty())
        {
            EXPECT_EQ(font->numGlyphs, 0);
            EXPECT_EQ(font->height, 1.0f);
            EXPECT_EQ(font->baseline, 0.0f);
        }
        Font2d::Destroy(font);
    }
    // Glyph indices are 16-bit: a font holds at most 32767 glyphs.
    std::string many;
    for (int i = 0; i < 32767; ++i)
        many += "65 0 0 4 8\n";
    Write("f.met", "METRICS1\nsheet\n2\n" + many);
    Font2d* full = Font2d::Read("f");
    ASSERT_NE(full, nullptr);
    EXPECT_EQ(full->numGlyphs, 32767);
    EXPECT_EQ(Font2d::FindGlyph(full, 'A'), static_cast<Font2dGlyph*>(GrowList::GetEntry(full->glyphs, 32766)));
    Font2d::Destroy(full);
    Write("f.met", "METRICS1\nsheet\n2\n" + many + "66 0 0 4 8\n");
    EXPECT_EQ(Font2d::Read("f"), nullptr) << "a 32768th glyph";

    Write("f.met", "METRICS1\nmissing\n2\n65 0 0 4 8\n");
    EXPECT_EQ(Font2d::Read("f"), nullptr) << "a texture that cannot be read";
    Write("f.met", "METRICS4\nsheet\n");
    EXPECT_EQ(Font2d::Read("f"), nullptr) << "an unknown first line";
    EXPECT_EQ(Font2d::Read("absent"), nullptr);
}

FontWriterSection Section(const std::string& texture, std::vector<FontWriterCell> cells, int32_t width = 32)
{
    FontWriterSection section;
    section.texture = texture;
    section.baseline = 2;
    section.pitch = 12;
    section.width = width;
    section.cells = std::move(cells);
    section.charactersPerLine = 4;
    return section;
}

TEST_F(Font2dRead, ScannedFontsFindTheirCellsBetweenSeparatorPixels)
{
    std::vector<FontWriterSheet> sheets;
    std::string text = FontWriter::Metrics2(
        {Section("cells", {{'A', 5}, {'B', 6}, {0xE9, 4}, {0x416, 7}, {'C', 3}, {'D', 8}})}, &sheets);
    ASSERT_EQ(sheets.size(), 1u);
    ASSERT_EQ(sheets[0].height, 25) << "two bands";
    WriteSheet("cells", sheets[0]);
    Write("scan.met", text);
    Font2d* font = Font2d::Read("scan");
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->numGlyphs, 6);
    EXPECT_EQ(Font2d::IsUnicode(font), 1) << "two- and three-byte characters";
    EXPECT_EQ(font->height, 9.0f);
    EXPECT_FLOAT_EQ(font->baseline, 2.0f / 9.0f);
    const float W = 32, H = 25;
    // The first cell starts at column 0 and ends at its separator in column 7.
    const Font2dGlyph* a = Glyph(font, 'A');
    ASSERT_NE(a, nullptr);
    EXPECT_FLOAT_EQ(a->uL, 2.5f / W);
    EXPECT_FLOAT_EQ(a->vT, 2.5f / H);
    EXPECT_FLOAT_EQ(a->uR, 6.5f / W);
    EXPECT_FLOAT_EQ(a->vB, 11.5f / H);
    EXPECT_FLOAT_EQ(a->width, 4.0f / 9.0f);
    const Font2dGlyph* zhe = Glyph(font, 0x416);
    ASSERT_NE(zhe, nullptr);
    EXPECT_FLOAT_EQ(zhe->uL, 23.5f / W);
    EXPECT_FLOAT_EQ(zhe->uR, 29.5f / W);
    // Two separators side by side ended the first band: C starts the second.
    const Font2dGlyph* d = Glyph(font, 'D');
    ASSERT_NE(d, nullptr);
    EXPECT_FLOAT_EQ(d->vT, 14.5f / H);
    EXPECT_FLOAT_EQ(d->uL, 7.5f / W);
    EXPECT_FLOAT_EQ(d->width, 7.0f / 9.0f);
    EXPECT_NE(Glyph(font, 0xE9), nullptr);
    EXPECT_EQ(d->texture, font->textures[0]);
    Font2d::Destroy(font);
}

TEST_F(Font2dRead, ScannedFontsReadFourSectionsAndStopWhenTheTextRunsOut)
{
    std::vector<FontWriterSection> sections;
    for (int k = 0; k < 5; ++k)
        sections.push_back(Section("s" + std::to_string(k), {{uint32_t('a' + k), 4}}));
    std::vector<FontWriterSheet> sheets;
    std::string text = FontWriter::Metrics2(sections, &sheets);
    for (int k = 0; k < 5; ++k)
        WriteSheet("s" + std::to_string(k), sheets[size_t(k)]);
    Write("five.met", text);
    Font2d* font = Font2d::Read("five");
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->numGlyphs, 4);
    ASSERT_NE(Glyph(font, 'd'), nullptr);
    EXPECT_EQ(Glyph(font, 'd')->textureIndex, 3);
    EXPECT_EQ(Glyph(font, 'd')->texture, font->textures[3]);
    EXPECT_EQ(Glyph(font, 'e'), nullptr);
    Font2d::Destroy(font);

    // Three cells, two characters: the third cell has none.
    text = FontWriter::Metrics2({Section("s0", {{'x', 4}, {'y', 4}, {'z', 4}})}, &sheets);
    WriteSheet("s0", sheets[0]);
    text = text.substr(0, text.rfind("xyz")) + "xy\n";
    Write("short.met", text);
    font = Font2d::Read("short");
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->numGlyphs, 2);
    Font2d::Destroy(font);
}

TEST_F(Font2dRead, AWideCodeAfterManyNarrowGlyphsGetsItsCodeEntry)
{
    // A thousand cells of codes below 128 take no code entry; the wide code after them lands
    // at glyph index 1000, far past any table grown so far.
    std::vector<FontWriterCell> cells;
    for (int i = 0; i < 1000; ++i)
        cells.push_back({uint32_t('!' + i % 90), 4});
    cells.push_back({0x416, 5});
    std::vector<FontWriterSheet> sheets;
    const std::string text = FontWriter::Metrics2({Section("many", cells, 1024)}, &sheets);
    ASSERT_EQ(sheets.size(), 1u);
    WriteSheet("many", sheets[0]);
    Write("many.met", text);
    Font2d* font = Font2d::Read("many");
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->numGlyphs, 1001);
    const Font2dGlyph* zhe = Glyph(font, 0x416);
    ASSERT_NE(zhe, nullptr);
    EXPECT_EQ(zhe, GrowList::GetEntry(font->glyphs, 1000));
    Font2d::Destroy(font);
}

TEST_F(Font2dRead, CharacterLinesLongerThanTheLineBufferReadWhole)
{
    // 150 two-byte characters on one line: 300 bytes, cut by the 256-byte line read in the
    // middle of a sequence, which the refill joins again.
    std::vector<FontWriterCell> cells;
    for (uint32_t i = 0; i < 150; ++i)
        cells.push_back({0x100 + i, 1});
    FontWriterSection section = Section("long", cells, 64);
    section.charactersPerLine = 150;
    std::vector<FontWriterSheet> sheets;
    const std::string text = FontWriter::Metrics2({section}, &sheets);
    WriteSheet("long", sheets[0]);
    Write("long.met", text);
    Font2d* font = Font2d::Read("long");
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->numGlyphs, 150);
    EXPECT_NE(Glyph(font, 0x100 + 149), nullptr);
    EXPECT_EQ(font->rangeFirst, 0x100);
    EXPECT_EQ(font->rangeCount, 150);
    Font2d::Destroy(font);
}

TEST_F(Font2dRead, ScannedFontsRefuseBadPitchesAndBadUtf8)
{
    std::vector<FontWriterSheet> sheets;
    const std::string good = FontWriter::Metrics2({Section("ok", {{'A', 4}, {'B', 4}})}, &sheets);
    WriteSheet("ok", sheets[0]);

    // Separators in the first column only at the top, or every three rows.
    FontWriterSheet top = Plain(16, 16);
    std::memcpy(top.rgba.data(), "\xFF\x00\xFF\xFF", 4);
    WriteSheet("top", top);
    FontWriterSheet three = top;
    std::memcpy(&three.rgba[3 * 16 * 4], "\xFF\x00\xFF\xFF", 4);
    WriteSheet("three", three);

    struct Case
    {
        std::string text;
        const char* what;
    } cases[] = {
        {"METRICS2\ntop\n0\nAB\n", "no separator below the top row"},
        {"METRICS2\nthree\n0\nAB\n", "a pitch of 3"},
        {"METRICS2\nok\n0\n\xC3\x41\n", "a continuation byte that is not 10xxxxxx"},
        {"METRICS2\nok\n0\n\xFF\x41\n", "an invalid lead byte"},
        {"METRICS2\nok\n0\n\xF0\x9F\x98\x80\x41\n", "a value above 0xFFFF"},
        {"METRICS2\nok\n0\nA\xE2\x82", "a sequence cut by the end of the file"},
        {"METRICS2\nmissing\n0\nAB\n", "a texture that cannot be read"},
    };
    for (const Case& c : cases)
    {
        Write("bad.met", c.text);
        Font2d* font = Font2d::Read("bad");
        EXPECT_EQ(font, nullptr) << c.what;
        Font2d::Destroy(font);
    }
    Write("good.met", good);
    Font2d* font = Font2d::Read("good");
    EXPECT_NE(font, nullptr);
    Font2d::Destroy(font);
}

TEST_F(Font2dRead, OutlineFontsKeepTheirPathsAndAdvances)
{
    OutlineGlyph l = {'L',
                      {{OutlineOp::MoveTo, {0.1f, 0}},
                       {OutlineOp::LineTo, {0.1f, 1}},
                       {OutlineOp::LineTo, {0.6f, 0}},
                       {OutlineOp::Close, {}}},
                      0.7f};
    OutlineGlyph zhe = {0x416, {{OutlineOp::MoveTo, {0, 0}}, {OutlineOp::CurveTo, {0.2f, 1, 0.6f, 1, 0.8f, 0}}}, 0.9f};
    Write("outline.met", FontWriter::Metrics3("Test Sans", {l, zhe}));
    Font2d* font = Font2d::Read("outline");
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->kind, kFont2dOutline);
    EXPECT_EQ(font->render, &Font2d::RenderOutlineString);
    EXPECT_EQ(font->numGlyphs, 2);
    EXPECT_EQ(Font2d::IsUnicode(font), 1);
    const Font2dGlyph* g = Glyph(font, 'L');
    ASSERT_NE(g, nullptr);
    EXPECT_FLOAT_EQ(g->width, 0.7f) << "the last move-to's x";
    ASSERT_NE(g->outline, nullptr);
    EXPECT_EQ(g->outline->next, nullptr) << "the lone move-to is gone";
    EXPECT_EQ(g->outline->closed, 1);
    EXPECT_EQ(g->outline->numPoints, 4) << "compacted: move, two lines and the closing line";
    EXPECT_EQ(g->texture, nullptr);
    const Font2dGlyph* z = Glyph(font, 0x416);
    ASSERT_NE(z, nullptr);
    EXPECT_EQ(z->outline->flat, 0);
    EXPECT_FLOAT_EQ(z->width, 0.9f);
    Font2d::Destroy(font);

    Write("empty.met", "METRICS3\n\n=A\nbegin\nmoveto 0.5 0\nend\n");
    font = Font2d::Read("empty");
    ASSERT_NE(font, nullptr) << "an empty name line: a font without glyphs";
    EXPECT_EQ(font->numGlyphs, 0);
    Font2d::Destroy(font);

    Write("bad.met", "METRICS3\nname\n=\xC3\n");
    EXPECT_EQ(Font2d::Read("bad"), nullptr) << "a cut UTF-8 sequence";
    Write("crlf.met", "METRICS3\r\nname\r\n=A\r\nbegin\r\nmoveto 0.5 0\r\nlineto 0.5 1\r\nend\r\n");
    font = Font2d::Read("crlf");
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->numGlyphs, 1) << "CRLF lines read as LF";
    Font2d::Destroy(font);
}

} // namespace

namespace
{

TEST_F(Font2dRead, ScannedTextDrawsEachGlyphFromItsOwnCell)
{
    std::vector<FontWriterSheet> sheets;
    FontWriterSection section = Section("glyphs", {{'H', 6}, {'i', 3}, {'!', 2}, {0x416, 8}}, 48);
    section.pitch = 16;
    section.baseline = 3;
    const std::string text = FontWriter::Metrics2({section}, &sheets);
    // Each cell's ink in its own colour, so that each quad shows which cell it samples.
    const uint8_t inks[4][4] = {{255, 80, 80, 255}, {80, 255, 80, 255}, {80, 80, 255, 255}, {255, 255, 80, 255}};
    FontWriterSheet& sheet = sheets[0];
    int cell = -1;
    for (int32_t x = 0; x < sheet.width; ++x)
    {
        if (std::memcmp(&sheet.rgba[size_t(x) * 4], section.separator, 4) == 0)
            ++cell;
        for (int32_t y = 1; y < sheet.height && cell >= 0 && cell < 4; ++y)
        {
            uint8_t* pixel = &sheet.rgba[(size_t(y) * size_t(sheet.width) + size_t(x)) * 4];
            if (std::memcmp(pixel, section.ink, 4) == 0)
                std::memcpy(pixel, inks[cell], 4);
        }
    }
    WriteSheet("glyphs", sheet);
    Write("draw.met", text);
    Font2d* font = Font2d::Read("draw");
    ASSERT_NE(font, nullptr);
    ASSERT_EQ(Font2d::IsUnicode(font), 1);
    Brush2d* brush = Brush2d::Create();

    const uint16_t string[] = {'H', 'i', '!', 0x416, 'H', 0};
    const float h = 0.2f, ax = 0.2f, ay = 0.4f;
    Vector2 anchor = {ax, ay};
    BeginFrame(0xFF102030);
    Font2d::RenderString(font, string, h, &anchor, brush);
    std::vector<uint32_t> actual = EndFrame();
    EXPECT_FLOAT_EQ(anchor.x, ax + Font2d::GetStringWidth(font, string, h));

    // Each glyph's quad samples only its cell's ink: a box of that colour (the brush is white).
    const uint32_t boxColours[] = {0xFFFF5050, 0xFF50FF50, 0xFF5050FF, 0xFFFFFF50, 0xFFFF5050};
    std::vector<uint32_t> expected(size_t(640) * 480, 0xFF102030);
    float x = 0;
    const float bottom = ay - font->baseline * h, top = bottom + h;
    for (const uint16_t* c = string; *c; ++c)
    {
        const uint32_t colour = boxColours[c - string];
        const Font2dGlyph* glyph = Font2d::FindGlyph(font, *c);
        ASSERT_NE(glyph, nullptr);
        float left = (ax + x * h) * 480, right = (ax + (x + glyph->width) * h) * 480;
        float yTop = 480 - top * 480, yBottom = 480 - bottom * 480;
        for (int py = 0; py < 480; ++py)
            for (int px = 0; px < 640; ++px)
            {
                float cx = float(px) + 0.5f, cy = float(py) + 0.5f;
                size_t at = size_t(py) * 640 + size_t(px);
                bool inside = cx > left && cx < right && cy > yTop && cy < yBottom;
                bool edge = std::fabs(cx - left) < 1 || std::fabs(cx - right) < 1 || std::fabs(cy - yTop) < 1 ||
                            std::fabs(cy - yBottom) < 1;
                if (edge && cx > left - 1 && cx < right + 1 && cy > yTop - 1 && cy < yBottom + 1)
                    expected[at] = actual[at];
                else if (inside)
                    expected[at] = colour;
            }
        x += glyph->width + font->gap;
    }
    EXPECT_EQ(framecheck::CheckFrame("font2d_scanned_text", 640, 480, actual, expected, 2), "");
    Brush2d::Destroy(brush);
    Font2d::Destroy(font);
}

} // namespace

namespace
{

std::vector<std::string> sTextLog;
DeviceSetRenderState sDriverSetRenderState = nullptr;

/// Moves the draws of the device's call log into the text log as "draw <primitives>".
void TakeDraws()
{
    for (const d3d9test::Call& call : d3d9test::CallLog())
        if (call.name.rfind("Draw", 0) == 0 && call.name.find("Primitive") != std::string::npos)
        {
            std::string count = call.args.substr(call.args.find_last_of(' ') + 1);
            sTextLog.push_back("draw " + count);
        }
    d3d9test::ClearCallLog();
}

/// Logs the texture states after the draws made before them.
int32_t LogState(int32_t state, intptr_t value)
{
    TakeDraws();
    if (state == kRenderStateTextureRaster || state == kRenderStateTextureFilter)
        sTextLog.push_back("state " + std::to_string(state) + " " + std::to_string(value));
    return sDriverSetRenderState(state, value);
}

TEST_F(Font2dRead, WriterFontsMeasureWithTheirGapsAndDrawIn64QuadBatches)
{
    std::vector<FontWriterSheet> sheets;
    const std::string text =
        FontWriter::Metrics2({Section("ta", {{'a', 4}, {'b', 5}}), Section("tb", {{'x', 6}, {0x416, 7}})}, &sheets);
    WriteSheet("ta", sheets[0]);
    WriteSheet("tb", sheets[1]);
    Write("two.met", text);
    Font2d* font = Font2d::Read("two");
    ASSERT_NE(font, nullptr);
    ASSERT_EQ(Font2d::IsUnicode(font), 1);
    font->gap = 0.05f;
    const uint16_t ab[] = {'a', 'b', 0};
    const float wa = Font2d::FindGlyph(font, 'a')->width, wb = Font2d::FindGlyph(font, 'b')->width;
    EXPECT_FLOAT_EQ(Font2d::GetStringWidth(font, ab, 0.5f), 0.5f * (wa + 0.05f + wb + 0.05f)) << "the last gap counts";

    Brush2d* brush = Brush2d::Create();
    const std::string rasterA = std::to_string(reinterpret_cast<intptr_t>(font->textures[0]->raster));
    const std::string rasterB = std::to_string(reinterpret_cast<intptr_t>(font->textures[1]->raster));
    const std::string filter = std::to_string(font->textures[0]->filterAddressing & 0xFF);
    DeviceRecord& device = Engine::Current()->device;
    sDriverSetRenderState = device.setRenderState;
    device.setRenderState = LogState;
    BeginFrame(0xFF000000);
    d3d9test::ClearCallLog();
    d3d9test::EnableCallLog(true);

    std::vector<uint16_t> many(150, 'a');
    many.push_back(0);
    Vector2 anchor = {0, 0.5f};
    sTextLog.clear();
    Font2d::RenderString(font, many.data(), 0.01f, &anchor, brush);
    TakeDraws();
    EXPECT_EQ(sTextLog,
              (std::vector<std::string>{"state 9 " + filter, "state 1 " + rasterA, "draw 128", "draw 128", "draw 44"}));

    const uint16_t mixed[] = {'a', 'a', 'x', 0x416, 'b', 0};
    sTextLog.clear();
    Font2d::RenderString(font, mixed, 0.01f, &anchor, brush);
    TakeDraws();
    EXPECT_EQ(sTextLog, (std::vector<std::string>{"state 9 " + filter, "state 1 " + rasterA, "draw 4",
                                                  "state 9 " + filter, "state 1 " + rasterB, "draw 4",
                                                  "state 9 " + filter, "state 1 " + rasterA, "draw 2"}));
    d3d9test::EnableCallLog(false);
    device.setRenderState = sDriverSetRenderState;
    EndFrame();
    Brush2d::Destroy(brush);
    Font2d::Destroy(font);
}

} // namespace
