// Tests of text drawing and measuring on the recording immediate-mode layer with fonts built
// in memory: string widths with their gaps, 8-bit and 16-bit strings, quads batched per 64
// with the texture set only when it changes, the brush's gradient across a string, outline
// text, and the font path's search order.
#include "brush2d.h"
#include "filesystem.h"
#include "font2d.h"
#include "growlist.h"
#include "memory.h"
#include "path2d.h"
#include "raster.h"
#include "texture.h"
#include "toolfixture.h"
#include "vector.h"

#include <string>

using tooltest::Recorded;

namespace
{

Vector Apply(const Matrix& m, Vector p)
{
    return {p.x * m.right.x + p.y * m.up.x + p.z * m.at.x + m.pos.x,
            p.x * m.right.y + p.y * m.up.y + p.z * m.at.y + m.pos.y,
            p.x * m.right.z + p.y * m.up.z + p.z * m.at.z + m.pos.z};
}

class Font2dText : public tooltest::RecordingTest
{
protected:
    void SetUp() override
    {
        RecordingTest::SetUp();
        for (Texture*& texture : mTextures)
        {
            texture = Texture::Create(Raster::Create(16, 16, 0, kRasterTypeTexture));
            ASSERT_NE(texture, nullptr);
        }
        mTextures[1]->filterAddressing = 0x1102;
        mFont = Font2d::Create();
        ASSERT_NE(mFont, nullptr);
        mFont->kind = kFont2dBitmap;
        mFont->baseline = 0.25f;
        mFont->gap = 0.1f;
    }
    void TearDown() override
    {
        Font2d::Destroy(mFont);
        for (Texture* texture : mTextures)
            Texture::Destroy(texture);
        RecordingTest::TearDown();
    }

    /// A glyph of the code on texture slot k (codes of 128 or more go to the range map,
    /// which must then be built by Range).
    Font2dGlyph* Add(uint32_t code, float width, int k = 0, Path2d* outline = nullptr)
    {
        int32_t index = mFont->glyphs->count;
        auto* glyph = static_cast<Font2dGlyph*>(GrowList::AddEntry(mFont->glyphs, 0));
        *glyph = {width, outline ? nullptr : mTextures[k], 0.1f * float(k), 0.0f, 0.5f, 1.0f, outline, uint8_t(k)};
        if (code < 128)
            mFont->direct[code] = int16_t(index);
        else
            mWide.emplace_back(code, index);
        mFont->numGlyphs = mFont->glyphs->count;
        return glyph;
    }

    void Range()
    {
        mFont->flags |= kFont2dUnicode;
        uint32_t low = mWide.front().first, high = low;
        for (auto& [code, index] : mWide)
            low = std::min(low, code), high = std::max(high, code);
        mFont->rangeFirst = int32_t(low);
        mFont->rangeCount = int32_t(high - low + 1);
        mFont->range = static_cast<int16_t*>(Memory::Allocate(size_t(mFont->rangeCount) * 2, 0));
        for (int32_t i = 0; i < mFont->rangeCount; ++i)
            mFont->range[i] = -1;
        for (auto& [code, index] : mWide)
            mFont->range[code - low] = int16_t(index);
    }

    Texture* mTextures[2] = {};
    Font2d* mFont = nullptr;
    std::vector<std::pair<uint32_t, int32_t>> mWide;
};

TEST_F(Font2dText, WidthsCountEveryGapAndTheAnchorAdvancesByTheWidth)
{
    Add('A', 0.5f);
    Add('B', 0.75f);
    EXPECT_FLOAT_EQ(Font2d::GetStringWidth(mFont, "AB?", 2.0f), 2.0f * (0.6f + 0.85f)) << "'?' has no glyph";
    EXPECT_EQ(Font2d::GetStringWidth(mFont, "??", 2.0f), 0.0f);

    Brush2d* brush = Brush2d::Create();
    const Matrix base = *Device2d::GetMatrix();
    Vector2 anchor = {0.1f, 0.5f};
    ASSERT_EQ(Font2d::RenderString(mFont, "AB?", 0.2f, &anchor, brush), mFont);
    EXPECT_FLOAT_EQ(anchor.x, 0.1f + Font2d::GetStringWidth(mFont, "AB?", 0.2f));
    EXPECT_EQ(anchor.y, 0.5f);
    EXPECT_EQ(Transform2d::GetLevel(), 0);

    ASSERT_EQ(Recorded().draws.size(), 1u);
    const tooltest::Draw& draw = Recorded().draws[0];
    EXPECT_EQ(draw.primitive, kIm3dTriList);
    EXPECT_EQ(draw.flags & (kIm3dTextured | kIm3dNoClip), kIm3dTextured | kIm3dNoClip);
    ASSERT_EQ(draw.vertices.size(), 8u);
    EXPECT_EQ(draw.indices, (std::vector<uint16_t>{0, 2, 3, 0, 3, 1, 4, 6, 7, 4, 7, 5}));
    // Quads in font units: bottom left, top left, bottom right, top right; B after A's gap.
    EXPECT_EQ(draw.vertices[1].y, 1.0f);
    EXPECT_FLOAT_EQ(draw.vertices[2].x, 0.5f);
    EXPECT_FLOAT_EQ(draw.vertices[4].x, 0.6f);
    EXPECT_FLOAT_EQ(draw.vertices[7].x, 1.35f);
    EXPECT_EQ(draw.vertices[0].v, 1.0f);
    EXPECT_EQ(draw.vertices[1].v, 0.0f);
    // The font's origin lands at the anchor lowered by the baseline at the drawing height.
    Vector drawn = Apply(draw.matrix, {0, 0, 1});
    Vector expected = Apply(base, {0.1f, 0.5f - 0.25f * 0.2f, 1});
    EXPECT_NEAR(drawn.x, expected.x, 1e-5f);
    EXPECT_NEAR(drawn.y, expected.y, 1e-5f);

    // Nothing to draw: no batch, the anchor stays.
    Recorded().Clear();
    anchor = {0.3f, 0.3f};
    Font2d::RenderString(mFont, "", 0.2f, &anchor, brush);
    EXPECT_TRUE(Recorded().draws.empty());
    EXPECT_EQ(anchor.x, 0.3f);
    Brush2d::Destroy(brush);
}

TEST_F(Font2dText, SixteenBitStringsEndAtAZeroPair)
{
    Add('A', 0.5f);
    Add(0x416, 0.8f);
    Range();
    EXPECT_EQ(Font2d::IsUnicode(mFont), 1);
    const uint8_t text[] = {0x41, 0x00, 0x16, 0x04, 0x00, 0x00, 0x41, 0x00};
    EXPECT_FLOAT_EQ(Font2d::GetStringWidth(mFont, text, 1.0f), 0.6f + 0.9f);
    EXPECT_EQ(Font2d::FindGlyph(mFont, 0x417), nullptr);
    EXPECT_EQ(Font2d::FindGlyph(mFont, 0x415), nullptr);
    EXPECT_NE(Font2d::FindGlyph(mFont, 0x416), nullptr);
}

TEST_F(Font2dText, QuadsAreBatchedPer64AndTheTextureIsSetOnlyWhenItChanges)
{
    Add('A', 0.5f, 0);
    Add('x', 0.5f, 1);
    Brush2d* brush = Brush2d::Create();
    Vector2 anchor = {0, 0};
    std::string many(150, 'A');
    Font2d::RenderString(mFont, many.c_str(), 0.01f, &anchor, brush);
    const std::string raster0 = std::to_string(reinterpret_cast<intptr_t>(mTextures[0]->raster));
    const std::string raster1 = std::to_string(reinterpret_cast<intptr_t>(mTextures[1]->raster));
    EXPECT_EQ(Recorded().log, (std::vector<std::string>{"state 9 1", "state 1 " + raster0, "draw", "draw", "draw"}));
    ASSERT_EQ(Recorded().draws.size(), 3u);
    EXPECT_EQ(Recorded().draws[0].vertices.size(), 256u);
    EXPECT_EQ(Recorded().draws[0].indices.size(), 384u);
    EXPECT_EQ(Recorded().draws[2].vertices.size(), 88u);
    EXPECT_EQ(Recorded().draws[2].indices.size(), 132u);
    EXPECT_NEAR(Recorded().draws[1].vertices[0].x, 64 * 0.6f, 1e-4f)
        << "the second batch goes on where the first ended";

    Recorded().Clear();
    Font2d::RenderString(mFont, "AAxxA", 0.01f, &anchor, brush);
    EXPECT_EQ(Recorded().log,
              (std::vector<std::string>{"state 9 1", "state 1 " + raster0, "draw", "state 9 2", "state 1 " + raster1,
                                        "draw", "state 9 1", "state 1 " + raster0, "draw"}));
    Brush2d::Destroy(brush);
}

TEST_F(Font2dText, TheBrushGradientSpansTheWholeString)
{
    Add('A', 1.0f);
    mFont->gap = 0;
    Brush2d* brush = Brush2d::Create();
    const Rgba c0 = {0, 0, 0, 255}, c1 = {200, 0, 0, 255}, c2 = {0, 200, 0, 255}, c3 = {0, 0, 200, 255};
    Brush2d::SetColors(brush, &c0, &c1, &c2, &c3);
    Vector2 anchor = {0, 0};
    Font2d::RenderString(mFont, "AA", 0.1f, &anchor, brush);
    const std::vector<Im3dVertex>& v = Recorded().draws.at(0).vertices;
    ASSERT_EQ(v.size(), 8u);
    EXPECT_EQ(v[0].colour, 0xFF000000u) << "bottom left: corner 0";
    EXPECT_EQ(v[1].colour, 0xFF0000C8u) << "top left: corner 3";
    EXPECT_EQ(v[2].colour, 0xFF640000u) << "halfway along the bottom";
    EXPECT_EQ(v[6].colour, 0xFFC80000u) << "bottom right: corner 1";
    EXPECT_EQ(v[7].colour, 0xFF00C800u) << "top right: corner 2";
    Brush2d::Destroy(brush);
}

TEST_F(Font2dText, OutlineTextStrokesEachGlyphAndLeavesTheAnchor)
{
    Path2d* outline = Path2d::Unlock(Path2d::AddRectangle(Path2d::Create(), 0.1f, 0.0f, 0.4f, 1.0f));
    Add('I', 0.6f, 0, outline);
    mFont->kind = kFont2dOutline;
    mFont->render = Font2d::RenderOutlineString;
    Brush2d* brush = Brush2d::Create();
    Vector2 anchor = {0.2f, 0.3f};
    Font2d::RenderString(mFont, "II", 0.5f, &anchor, brush);
    EXPECT_EQ(anchor.x, 0.2f);
    ASSERT_EQ(Recorded().draws.size(), 2u);
    EXPECT_EQ(Recorded().draws[0].primitive, kIm3dTriStrip);
    Vector first = Apply(Recorded().draws[0].matrix, {0, 0, 1});
    Vector second = Apply(Recorded().draws[1].matrix, {0, 0, 1});
    Vector2 step = {second.x - first.x, second.y - first.y};
    // One advance of (0.6 + 0.1) x 0.5 in 2D units is 0.35 x 480 / 480 of the view height.
    const Matrix base = *Device2d::GetMatrix();
    Vector a = Apply(base, {0, 0, 1}), b = Apply(base, {0.35f, 0, 1});
    EXPECT_NEAR(step.x, b.x - a.x, 1e-5f);
    EXPECT_NEAR(step.y, b.y - a.y, 1e-5f);
    Brush2d::Destroy(brush);
}

std::vector<std::string> sOpened;

void* RecordOpen(const char* name, const char*)
{
    sOpened.push_back(name);
    return nullptr;
}

TEST_F(Font2dText, TheFontPathIsSearchedFolderByFolder)
{
    FileFunctions* files = FileSystem::GetFunctions();
    const FileFunctions saved = *files;
    files->open = RecordOpen;
    sOpened.clear();
    EXPECT_EQ(Font2d::Read("menu"), nullptr);
    EXPECT_EQ(sOpened, (std::vector<std::string>{"fonts\\menu.met"}));

    sOpened.clear();
    ASSERT_NE(Font2d::SetPath("a\\;b\\"), nullptr);
    EXPECT_EQ(Font2d::Read("menu"), nullptr);
    EXPECT_EQ(sOpened, (std::vector<std::string>{"a\\menu.met", "b\\menu.met"}));

    // A path longer than the buffer's first 81 characters grows it.
    std::string longPath = std::string(120, 'x') + "\\;y\\";
    ASSERT_NE(Font2d::SetPath(longPath.c_str()), nullptr);
    EXPECT_EQ(std::string(Font2d::GetPath()), longPath);
    EXPECT_EQ(Font2d::SetPath(nullptr), nullptr);
    sOpened.clear();
    Font2d::Read("menu");
    EXPECT_EQ(sOpened.size(), 2u);
    *files = saved;
}

} // namespace
