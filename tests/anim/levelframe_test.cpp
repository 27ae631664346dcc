// A level, an animated model and text in one frame, everything read from one pack archive:
// the level resource (a world, a sky, a light field, a lamp, an object and clip distances)
// bound to the renderer's scene; a skinned model described by a data container that a
// command script fills, its head posed by two blended channels and lit by the light field;
// the level's object bump-mapped by its material's effect record; a line of text in a
// scanned font over it all. The frame is read back against a CPU reference, once with the
// model skinned in a vertex shader and once on the processor, and the two must agree.
#include "scene_fixture.h"

#include "animationwriter.h"
#include "clumpwriter.h"
#include "d3d9testhooks.h"
#include "font2d.h"
#include "fontwriter.h"
#include "frame.h"
#include "framecheck.h"
#include "geometry.h"
#include "hbcommand.h"
#include "hbdatamanager.h"
#include "hbpack.h"
#include "hbresource.h"
#include "hierarchy.h"
#include "image.h"
#include "instancedata.h"
#include "levelwriter.h"
#include "material.h"
#include "matfx.h"
#include "matfxd3d9.h"
#include "pngimage.h"
#include "raster.h"
#include "rdanimchannel.h"
#include "skeletonwriter.h"
#include "skin.h"
#include "skinwriter.h"
#include "texture.h"
#include "w2dsurfacelist.h"
#include "w2dtextsurface.h"
#include "w3danimobject.h"
#include "w3dcamera.h"
#include "w3dlevel.h"
#include "w3dlight.h"
#include "w3dobject.h"
#include "wlightfield.h"
#include "wrenderer.h"
#include "wscene.h"
#include "wviewport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace
{

using renderertest::RendererTest;

constexpr int kSize = 96;
constexpr uint32_t kFree = 0; ///< a reference pixel the device may draw either way

constexpr uint8_t kWall[3] = {200, 60, 30};
constexpr uint8_t kSky[3] = {20, 40, 220};
constexpr float kFieldAmbient = 0.6f;

// The bump-mapped box: a quad at depth kBoxZ, its texture in four columns along x.
constexpr float kBoxX0 = -11.0f, kBoxX1 = -3.0f, kBoxY0 = -8.0f, kBoxY1 = -2.0f, kBoxZ = 10.0f;
const std::array<uint8_t, 4> kBoxPrelit = {0xC0, 0xB0, 0xA0, 0xFF};
const uint32_t kRock[4] = {0xFF804020, 0xFF208040, 0xFF402080, 0xFFC0C0C0};
const uint32_t kBump[4] = {0xFF101010, 0xFF405020, 0xFF2090F0, 0xFFFFFFFF};

// The model: a strip on two bones ("Pelvis" at its origin, "Head" one unit up), placed at
// kModel; each channel holds the head turned about z, the second one at kWeightB.
constexpr float kModel[3] = {1.6f, -1.0f, 4.0f};
constexpr float kTurnA = 10.0f, kTurnB = 70.0f, kWeightB = 0.25f;

// The text: "HIH" in a scanned font, one texel of the glyph sheet per pixel. An "H" is 16
// columns of ink with paper notched into the middle of its top and bottom; an "I" is a bar.
constexpr float kTextX = 0.3f, kTextY = 0.05f, kTextHeight = 0.25f;
constexpr int32_t kPitch = 26, kInkRows = kPitch - 2;
constexpr int32_t kWideInk = 16, kNarrowInk = 6;
const Rgba kTextColour = {250, 230, 40, 255};

uint32_t Argb(const uint8_t* rgb)
{
    return 0xFF000000u | uint32_t(rgb[0]) << 16 | uint32_t(rgb[1]) << 8 | rgb[2];
}

/// The file's bytes; the file is removed.
std::vector<uint8_t> FileBytes(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    std::remove(path);
    return bytes;
}

/// A 32-bit PNG of 0xAARRGGBB pixels (top row first), made by the engine's own writer.
std::vector<uint8_t> PngBytes(int32_t width, int32_t height, const std::vector<uint32_t>& argb)
{
    Image* image = Image::Create(width, height, 32);
    Image::AllocatePixels(image);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
        {
            const uint32_t c = argb[size_t(y) * size_t(width) + size_t(x)];
            uint8_t* p = image->pixels + y * image->stride + 4 * x;
            p[0] = uint8_t(c >> 16), p[1] = uint8_t(c >> 8), p[2] = uint8_t(c), p[3] = uint8_t(c >> 24);
        }
    EXPECT_EQ(Png::WriteImage(image, "scratch.png"), image);
    Image::Destroy(image);
    return FileBytes("scratch.png");
}

std::vector<uint32_t> Columns(const uint32_t (&colours)[4])
{
    std::vector<uint32_t> out;
    for (int y = 0; y < 4; ++y)
        out.insert(out.end(), std::begin(colours), std::end(colours));
    return out;
}

/// One clump of one atomic: a quad facing the camera (-z) in its own space at depth z.
std::vector<uint8_t> QuadClump(float x0, float x1, float y0, float y1, float z, const std::array<uint8_t, 4>& prelit,
                               const char* texture = nullptr)
{
    GeometryDescription g;
    g.format = kGeometryPositions | kGeometryPrelit;
    g.numVertices = 4;
    GeometryDescription::MorphTarget target;
    target.positions = {x0, y0, z, x1, y0, z, x0, y1, z, x1, y1, z};
    target.sphere = {(x0 + x1) / 2, (y0 + y1) / 2, z, std::hypot(x1 - x0, y1 - y0)};
    g.prelit.assign(4, prelit);
    g.triangles = {{0, 2, 1, 0}, {1, 2, 3, 0}};
    GeometryDescription::Material material;
    ClumpDescription c;
    c.atomics = {ClumpDescription::Atomic{}};
    if (texture)
    {
        // u along x, v down y; normals for the bump pass; the material's effect record names
        // the bump map, and the atomic's flag switches it to the effect pipeline.
        g.format |= kGeometryTextured | kGeometryNormals;
        target.normals = {0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1};
        g.texCoords = {{0, 1, 1, 1, 0, 0, 1, 0}};
        material.texture = texture;
        material.extension = GeometryWriter::WriteMatFxBump(1.0f, "bump");
        c.atomics[0].extension = GeometryWriter::WriteMatFxFlag();
    }
    g.targets = {target};
    g.materials = {material};
    g.listEntries = {0};
    c.frames = {ClumpDescription::Frame{}};
    c.geometries = {g};
    return ClumpWriter::Write(c);
}

/// A grid of two points lit only by an ambient colour.
std::vector<uint8_t> AmbientField()
{
    LightFieldDescription d;
    d.max = {100, 0, 0};
    d.step = 100;
    const float a = kFieldAmbient;
    d.records = {{0, -1, 0, 0, 0, 0, a, a, a}, {0, -1, 0, 0, 0, 0, a, a, a}};
    return LightFieldWriter::Write(d);
}

LevelMatrix At(float x, float y, float z)
{
    return {1, 0, 0, 0, 1, 0, 0, 0, 1, x, y, z};
}

// ---- The model ----------------------------------------------------------------------------------------------

/// Rows at y 0 (the pelvis alone), 1 (half and half) and 2 (the head alone), x at -0.5 and 0.5.
struct ModelVertex
{
    float x, y;
    float headWeight;
};
const ModelVertex kStrip[6] = {{-0.5f, 0, 0},   {0.5f, 0, 0},  {-0.5f, 1, 0.5f},
                               {0.5f, 1, 0.5f}, {-0.5f, 2, 1}, {0.5f, 2, 1}};
const std::array<uint16_t, 3> kStripTriangles[4] = {{0, 2, 1}, {1, 2, 3}, {2, 4, 3}, {3, 4, 5}};

/// The clump's frame, "Pelvis" (the hierarchy's root) and "Head" one unit up; the strip
/// skinned on them, with normals towards the camera so that it takes the field's light.
std::vector<uint8_t> ManMdl()
{
    ClumpDescription c;
    c.frames.resize(3);
    c.frames[1].parent = 0;
    c.frames[1].extension = SkinWriter::FrameHierarchy(10, {{10, 0}, {11, kHierarchyPop}});
    c.frames[2].parent = 1;
    c.frames[2].rows[10] = 1.0f;
    c.frames[2].extension = SkinWriter::FrameNode(11);
    GeometryDescription g;
    g.format = kGeometryPositions | kGeometryNormals | kGeometryLight;
    g.numVertices = 6;
    GeometryDescription::MorphTarget target{{0, 1, 0, 1.5f}, {}, {}};
    SkinDescription skin;
    skin.boneCount = 2;
    for (const ModelVertex& v : kStrip)
    {
        target.positions.insert(target.positions.end(), {v.x, v.y, 0.0f});
        target.normals.insert(target.normals.end(), {0.0f, 0.0f, -1.0f});
        if (v.headWeight == 0.5f)
        {
            skin.boneIndices.push_back({0, 1, 0, 0});
            skin.weights.push_back({0.5f, 0.5f, 0, 0});
        }
        else
        {
            skin.boneIndices.push_back({uint8_t(v.headWeight > 0 ? 1 : 0), 0, 0, 0});
            skin.weights.push_back({1, 0, 0, 0});
        }
    }
    g.targets = {target};
    for (const auto& t : kStripTriangles)
        g.triangles.push_back({t[0], t[1], t[2], 0});
    g.materials = {GeometryDescription::Material{}};
    g.listEntries = {0};
    skin.inverseMatrices = {{1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0}, {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, -1, 0}};
    g.extension = SkinWriter::Current(skin);
    c.geometries = {g};
    ClumpDescription::Atomic a;
    a.frame = 1;
    c.atomics.push_back(a);
    return ClumpWriter::Write(c);
}

/// One second holding the pelvis at rest and the head one unit up, turned by degrees about z.
std::vector<uint8_t> HeadTurnAnm(float degrees)
{
    const float half = degrees * 3.14159265f / 360.0f;
    std::vector<AnimationKeyRow> rows;
    for (float t : {0.0f, 1.0f})
    {
        rows.push_back({0, t, {0, 0, 0, 1}, {0, 0, 0}});
        rows.push_back({1, t, {0, 0, std::sin(half), std::cos(half)}, {0, 1, 0}});
    }
    return AnimationWriter::StdAnimation(rows, 1.0f);
}

struct Point
{
    double x, y;
};

/// The strip's vertices in the world: the head's turn is the channels' spherical blend, each
/// vertex the weighted sum of what its bones make of it.
std::vector<Point> PosedStrip()
{
    const double turn = (kTurnA + kWeightB * (kTurnB - kTurnA)) * 3.14159265358979323846 / 180.0;
    const double c = std::cos(turn), s = std::sin(turn);
    std::vector<Point> out;
    for (const ModelVertex& v : kStrip)
    {
        const double hx = c * v.x - s * (v.y - 1.0), hy = s * v.x + c * (v.y - 1.0) + 1.0;
        const double w = v.headWeight;
        out.push_back({kModel[0] + (1 - w) * v.x + w * hx, kModel[1] + (1 - w) * v.y + w * hy});
    }
    return out;
}

double Cross(Point a, Point b, Point p)
{
    return (b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x);
}

// ---- The font -----------------------------------------------------------------------------------------------

FontWriterSection TextSection()
{
    FontWriterSection section;
    section.texture = "glyphs";
    section.baseline = 0;
    section.pitch = kPitch;
    section.width = 64;
    section.cells = {{'H', kWideInk}, {'I', kNarrowInk}};
    return section;
}

/// Whether the glyph has ink at the texel (column, row) of its cell, row 0 at the top.
bool Ink(char code, int32_t column, int32_t row)
{
    const bool notch = column >= 5 && column < 11 && (row < 9 || row >= 15);
    return code != 'H' || !notch;
}

/// The writer's sheet with the notches of the "H" (the first cell: ink from column 2, row 2).
void NotchSheet(const FontWriterSection& section, FontWriterSheet* sheet)
{
    for (int32_t row = 0; row < kInkRows; ++row)
        for (int32_t column = 0; column < kWideInk; ++column)
            if (!Ink('H', column, row))
                std::memcpy(&sheet->rgba[(size_t(row + 2) * size_t(sheet->width) + size_t(column + 2)) * 4],
                            section.paper, 4);
}

// ---- The test -----------------------------------------------------------------------------------------------

/// The renderer in a 96 x 96 window over the level L1, all of whose files live in one pack.
class LevelFrame : public RendererTest
{
protected:
    void SetUp() override
    {
        RendererTest::SetUp();
        d3d9test::AdapterConfig adapter = renderertest::Adapter();
        adapter.modes.push_back({kSize, kSize, 60, D3DFMT_X8R8G8B8});
        renderertest::WriteFile("vprefs.dat", renderertest::PrefsBytes(1, kSize, kSize, 1, 1.0f));
        mRenderer = Started({adapter});
        ASSERT_NE(mRenderer, nullptr);
        ASSERT_EQ(HbDataManager::Create(), 1);

        HbPackArchive writer;
        ASSERT_NE(writer.Open("l1.pak", "wb"), nullptr);
        auto add = [&](const char* id, const char* path, const std::vector<uint8_t>& bytes)
        {
            ASSERT_EQ(writer.AddEntry(path, bytes.data(), bytes.size()), 1) << path;
            if (id)
                Declare(id, path);
        };
        add("L1_WALL_WW", "levels\\l1\\wall.bsp", renderertest::WallWorldBytes(20.0f, kWall));
        add("L1_SKY_WS", "levels\\l1\\sky.dff",
            QuadClump(-0.1f, 0.1f, -0.1f, 0.1f, 0.05f, {kSky[0], kSky[1], kSky[2], 255}));
        add("L1_BOX_WO", "levels\\l1\\box.dff",
            QuadClump(kBoxX0 - kBoxX0, kBoxX1 - kBoxX0, kBoxY0 - kBoxY0, kBoxY1 - kBoxY0, 0, kBoxPrelit, "rock"));
        add("L1_GRID_LF", "levels\\l1\\grid.lf", AmbientField());
        add("L1_LAMP_W3DPOINTLIGHT", "levels\\l1\\lamp.lgt", {0, 0, 0, 0});
        add(nullptr, "levels\\l1\\textures\\rock.png", PngBytes(4, 4, Columns(kRock)));
        add(nullptr, "levels\\l1\\textures\\bump.png", PngBytes(4, 4, Columns(kBump)));
        LevelDescription level;
        level.worlds = {"L1_WALL_WW"};
        level.skies = {"L1_SKY_WS"};
        level.lightFields = {"L1_GRID_LF"};
        // The lamp lights the bump map: far along x, so every vertex shifts one texel along u.
        level.lights = {{"L1_LAMP_W3DPOINTLIGHT", {1, 1, 1, 1}, At(1.0e5f, 0, kBoxZ)}};
        level.objects = {{"L1_BOX_WO", At(kBoxX0, kBoxY0, kBoxZ)}};
        level.clip = std::array<float, 2>{1.0f, 100.0f};
        add("L1_LEVEL_WL", "levels\\l1\\l1.wl", LevelWriter::Write(level));

        // The model, its skeleton, its two poses and the description its command script makes.
        const std::vector<SkeletonProfileRow> profiles = {{"HEAD", {"Head"}}};
        add("L1_MAN_SKL", "levels\\l1\\man.skl", SkeletonWriter::Bytes({"Pelvis", "Head"}, &profiles));
        add("L1_MAN_MDL", "levels\\l1\\man.mdl", ManMdl());
        add("L1_TURNA_ANM", "levels\\l1\\turna.anm", HeadTurnAnm(kTurnA));
        add("L1_TURNB_ANM", "levels\\l1\\turnb.anm", HeadTurnAnm(kTurnB));
        const std::string script = "# the man\r\n"
                                   "DataContainerBegin MAN\r\n"
                                   "SetString SKELETON L1_MAN_SKL\r\n"
                                   "SetString LOD L1_MAN_MDL\r\n"
                                   "SetInteger LIGHTFIELD 1\r\n"
                                   "DataContainerEnd\r\n";
        add(nullptr, "levels\\l1\\man.scr", std::vector<uint8_t>(script.begin(), script.end()));

        // The font and its glyph sheet.
        std::vector<FontWriterSheet> sheets;
        const std::string metrics = FontWriter::Metrics2({TextSection()}, &sheets);
        ASSERT_EQ(sheets.size(), 1u);
        NotchSheet(TextSection(), &sheets[0]);
        ASSERT_TRUE(FontWriter::WritePng("scratch.png", sheets[0]));
        add(nullptr, "levels\\l1\\fonts\\glyphs.png", FileBytes("scratch.png"));
        add("L1_SMALL_FONT", "levels\\l1\\fonts\\small.met", std::vector<uint8_t>(metrics.begin(), metrics.end()));
        writer.Close();

        HbPackSet* packs = HbPackSet::Instance();
        ASSERT_EQ(packs->Mount("l1.pak"), 1);
        packs->SetEnabled(1);
        std::remove("l1.pak"); // nothing may come from the loose file system
    }

    void TearDown() override
    {
        for (const std::string& id : mIds)
            HbResourceManager::Instance()->RemovePath(id.c_str());
        HbPackSet* packs = HbPackSet::Instance();
        while (packs->GetMountedCount() > 0)
            packs->Unmount(nullptr);
        packs->SetEnabled(0);
        HbDataManager::Destroy();
        RendererTest::TearDown();
    }

    void Declare(const char* id, const char* path)
    {
        HbResourceManager::Instance()->AddPath(id, path);
        mIds.push_back(id);
    }

    /// One frame of the renderer, read back from the viewport.
    std::vector<uint32_t> DrawFrame()
    {
        std::vector<uint32_t> pixels;
        EXPECT_EQ(mRenderer->BeginFrame(), 1);
        mRenderer->UpdateFrame();
        mRenderer->RenderScene();
        mRenderer->EndFrame();
        int32_t width = 0, height = 0;
        pixels = ReadViewport(&width, &height);
        EXPECT_EQ(width, kSize);
        EXPECT_EQ(height, kSize);
        if (width != kSize || height != kSize)
            pixels.clear();
        return pixels;
    }

    WRenderer* mRenderer = nullptr;
    std::vector<std::string> mIds;
};

/// What the camera sees at a point of the picture (pixels, y down): the ink of the text, the
/// model, the box, the wall, else the sky. kFree within a pixel of a glyph's box or of a
/// change between ink and paper, where the sheet is filtered.
struct SceneReference
{
    std::vector<Point> strip = PosedStrip();
    uint32_t model = 0;
    uint32_t box[4] = {};
    struct Glyph
    {
        char code;
        int32_t columns;
        double left, right, top, bottom;
    };
    std::vector<Glyph> glyphs;

    uint32_t At(double sx, double sy) const
    {
        for (const Glyph& g : glyphs)
        {
            if (sx <= g.left - 1 || sx >= g.right + 1 || sy <= g.top - 1 || sy >= g.bottom + 1)
                continue;
            if (sx <= g.left + 1 || sx >= g.right - 1 || sy <= g.top + 1 || sy >= g.bottom - 1)
                return kFree;
            const double tx = (sx - g.left) / (g.right - g.left) * g.columns;
            const double ty = (sy - g.top) / (g.bottom - g.top) * kInkRows;
            int inked = 0;
            for (double dx : {-0.6, 0.0, 0.6})
                for (double dy : {-0.6, 0.0, 0.6})
                    inked += Ink(g.code, std::clamp(int32_t(std::floor(tx + dx)), 0, g.columns - 1),
                                 std::clamp(int32_t(std::floor(ty + dy)), 0, kInkRows - 1));
            if (inked == 9)
                return 0xFF000000u | uint32_t(kTextColour.red) << 16 | uint32_t(kTextColour.green) << 8 |
                       kTextColour.blue;
            if (inked > 0)
                return kFree;
            break; // paper: the scene shows through
        }
        // The view: mirrored in x, the window kAspect wide and 1 high at distance 1.
        const double u = (1.0 - sx / (kSize / 2.0)) * W3dCamera::kAspect;
        const double v = 1.0 - sy / (kSize / 2.0);
        const Point p = {u * kModel[2], v * kModel[2]};
        for (const auto& t : kStripTriangles)
        {
            const Point a = strip[t[0]], b = strip[t[1]], c = strip[t[2]];
            const double d0 = Cross(a, b, p), d1 = Cross(b, c, p), d2 = Cross(c, a, p);
            if ((d0 >= 0 && d1 >= 0 && d2 >= 0) || (d0 <= 0 && d1 <= 0 && d2 <= 0))
                return model;
        }
        const double bx = u * kBoxZ, by = v * kBoxZ;
        if (bx > kBoxX0 && bx < kBoxX1 && by > kBoxY0 && by < kBoxY1)
            return box[std::clamp(int(std::floor(4.0 * (bx - kBoxX0) / (kBoxX1 - kBoxX0))), 0, 3)];
        return u >= 0 ? Argb(kWall) : Argb(kSky);
    }

    /// Per pixel, the colour seen at its corner or within 0.7 of a pixel around it that lies
    /// nearest the actual one: edges are the device's to rasterise.
    std::vector<uint32_t> Frame(const std::vector<uint32_t>& actual) const
    {
        std::vector<uint32_t> expected(actual.size());
        for (int py = 0; py < kSize; ++py)
            for (int px = 0; px < kSize; ++px)
            {
                const size_t i = size_t(py) * kSize + size_t(px);
                int nearest = 1 << 30;
                for (double dx : {0.0, -0.7, 0.7})
                    for (double dy : {0.0, -0.7, 0.7})
                    {
                        const uint32_t c = At(px + dx, py + dy);
                        const int d = c == kFree ? 0 : Distance(c, actual[i]);
                        if (d < nearest)
                        {
                            nearest = d;
                            expected[i] = c == kFree ? actual[i] : c;
                        }
                    }
            }
        return expected;
    }

    static int Distance(uint32_t a, uint32_t b)
    {
        int worst = 0;
        for (int shift : {0, 8, 16})
            worst = std::max(worst, std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)));
        return worst;
    }
};

double Channel(uint32_t argb, int shift)
{
    return double((argb >> shift) & 0xFF) / 255.0;
}

/// Pixel shader A over the box's prelit colour: v0 x (t0 x (1 - t0.a) + t1 x t1.a), the drawn
/// texture carrying the bump map's brightness as alpha and t1 the next column's texel.
void BumpColours(uint32_t (&out)[4])
{
    uint32_t drawn[4];
    for (int i = 0; i < 4; ++i)
    {
        const uint32_t b = kBump[i];
        drawn[i] = (kRock[i] & 0xFFFFFF) | std::max({(b >> 16) & 0xFF, (b >> 8) & 0xFF, b & 0xFF}) << 24;
    }
    for (int i = 0; i < 4; ++i)
    {
        const int j = (i + 1) % 4;
        out[i] = 0xFF000000u;
        for (int c = 0; c < 3; ++c)
        {
            const int shift = 16 - 8 * c;
            const double value = kBoxPrelit[size_t(c)] / 255.0 *
                                 (Channel(drawn[i], shift) * (1 - Channel(drawn[i], 24)) +
                                  Channel(drawn[j], shift) * Channel(drawn[j], 24));
            out[i] |= uint32_t(std::lround(std::clamp(value, 0.0, 1.0) * 255.0)) << shift;
        }
    }
}

TEST_F(LevelFrame, ALevelAnAnimatedModelAndTextDrawAsTheReferenceInHardwareAndOnTheProcessor)
{
    mRenderer->BeginFrame();
    mRenderer->EndFrame(); // the preferences apply at the end of the first frame

    // The level bound to the scene; the camera takes its clip distances.
    auto* level = HbCastTo<W3dLevel>(HbResourceManager::Instance()->GetResource("L1_LEVEL_WL"));
    ASSERT_NE(level, nullptr);
    level->AddRef();
    auto* scene = new WScene();
    mRenderer->SetScene(scene);
    scene->SetLevel(level);
    ASSERT_NE(level->GetSky(), nullptr);
    ASSERT_NE(level->GetLightField(), nullptr);
    ASSERT_EQ(level->GetObjects().GetCount(), 1);
    ASSERT_EQ(level->GetLights().GetCount(), 1);
    EXPECT_EQ(level->GetNearClip(), 1.0f);
    EXPECT_EQ(level->GetFarClip(), 100.0f);
    W3dCamera* camera = W3dCamera::Create();
    ASSERT_NE(camera, nullptr);
    camera->AddRef();
    scene->GetRoot()->AttachChild(camera);
    mRenderer->SetCamera(camera);
    camera->SetClearColor({0x20, 0x30, 0x40, 0xFF});
    camera->SetNearClipPlane(level->GetNearClip());
    camera->SetFarClipPlane(level->GetFarClip());

    // The box's material: a bump map read with the object, lit by the level's lamp.
    auto* box = static_cast<W3dObject*>(level->GetObjects()[0]);
    ASSERT_NE(box->GetClump(), nullptr);
    Atomic* boxAtomic = renderertest::Atomics(box->GetClump()).at(0);
    EXPECT_EQ(boxAtomic->pipeline, MatFx::GetAtomicPipeline());
    Material* material = boxAtomic->geometry->materials.materials[0];
    ASSERT_EQ(MatFx::GetKind(material), kMatFxBumpMap);
    MatFxBumpSlot& bump = MatFx::GetData(material)->slots[0].bump;
    ASSERT_NE(bump.drawnTexture, nullptr) << "built from rock.png and bump.png";
    EXPECT_FLOAT_EQ(bump.bumpiness, 1.0f);
    EXPECT_FLOAT_EQ(bump.invWidth, 0.25f);
    bump.frame = static_cast<W3dLight*>(level->GetLights()[0])->GetEngineFrame();

    // The model: its description from the command script, two channels blended.
    ASSERT_EQ(HbExecuteScript("levels\\l1\\man.scr"), 1);
    W3dAnimObject* man = W3dAnimObject::Create();
    ASSERT_NE(man, nullptr);
    man->AddRef();
    ASSERT_EQ(man->LoadDescription("MAN"), 1);
    ASSERT_NE(man->GetMotor().GetModel(), nullptr);
    EXPECT_NE(man->GetFlags() & W3dNode::kLitByField, 0u);
    const Vector at = {kModel[0], kModel[1], kModel[2]};
    Frame::Translate(man->GetEngineFrame(), &at, kCombineReplace);
    scene->GetRoot()->AttachChild(man);
    ASSERT_NE(man->GetMotor().PlayAnimByName("L1_TURNA_ANM", 1, 0.0f), nullptr);
    RdAnimChannel* second = man->GetMotor().PlayAnimByName("L1_TURNB_ANM", 1, 0.0f);
    ASSERT_NE(second, nullptr);
    ASSERT_EQ(man->GetMotor().RampChannelWeight(second->GetId(), kWeightB, kWeightB, 0), second->GetId());
    const std::vector<Atomic*> manAtomics = [&]
    {
        std::vector<Atomic*> atomics;
        man->ForAllAtomics(
            [](W3dNode*, Atomic* atomic, void* data) -> int32_t
            {
                static_cast<std::vector<Atomic*>*>(data)->push_back(atomic);
                return 1;
            },
            &atomics);
        return atomics;
    }();
    ASSERT_EQ(manAtomics.size(), 1u);
    Skin* skin = SkinGeometry::GetSkin(manAtomics[0]->geometry);
    ASSERT_NE(skin, nullptr);

    // The text on top, in the font the font manager reads from the pack.
    auto* text = new W2dTextSurface("L1_SMALL_FONT", kTextX, kTextY, 0.9f, kTextHeight, 0);
    text->AddRef();
    mRenderer->GetSurfaceList()->Insert(text);
    ASSERT_NE(text->GetFont(), nullptr);
    text->SetTextHeight(kTextHeight);
    text->SetText("HIH");
    text->SetColor(&kTextColour, &kTextColour, &kTextColour, &kTextColour);

    // The reference: a line's baseline one text height under the box's top.
    SceneReference reference;
    const uint8_t grey =
        uint8_t(std::lround(255.0f * WLightFieldManager::Decode(WLightFieldManager::PackColor(kFieldAmbient))));
    reference.model = 0xFF000000u | uint32_t(grey) << 16 | uint32_t(grey) << 8 | grey;
    BumpColours(reference.box);
    const Font2d* font = text->GetFont();
    const double baseline = 1.0 - kTextY - kTextHeight;
    double x = kTextX;
    for (char c : std::string("HIH"))
    {
        const Font2dGlyph* glyph = Font2d::FindGlyph(font, uint32_t(c));
        ASSERT_NE(glyph, nullptr) << c;
        const double bottom = baseline - font->baseline * kTextHeight;
        reference.glyphs.push_back({c, c == 'H' ? kWideInk : kNarrowInk, x * kSize,
                                    (x + glyph->width * kTextHeight) * kSize, (1.0 - (bottom + kTextHeight)) * kSize,
                                    (1.0 - bottom) * kSize});
        x += (glyph->width + font->gap) * kTextHeight;
    }

    // In hardware: the model skinned by a generated vertex shader, the box through shader A.
    ASSERT_EQ(SkinPlugin::GetCaps().hardwareSkinning, 1);
    d3d9test::ClearCallLog();
    d3d9test::EnableCallLog(true);
    DrawFrame();
    d3d9test::ClearCallLog();
    const std::vector<uint32_t> hardware = DrawFrame();
    d3d9test::EnableCallLog(false);
    ASSERT_EQ(hardware.size(), size_t(kSize) * kSize);
    EXPECT_NE(man->GetFlags() & W3dNode::kReadyToDraw, 0u);
    EXPECT_EQ(skin->hardwareSkinned, 1);
    const std::vector<std::string> shaders = d3d9test::CallArgs("SetPixelShader");
    EXPECT_NE(
        std::find(shaders.begin(), shaders.end(), d3d9test::ObjectName(MatFxD3D9::GetPixelShader(kMatFxShaderBump))),
        shaders.end())
        << "the bump pass through shader A";
    EXPECT_EQ(framecheck::CheckFrame("level_frame_hardware", kSize, kSize, hardware, reference.Frame(hardware), 3), "");

    // On the processor: the same frame.
    const SkinDeviceCaps deviceCaps = SkinPlugin::GetCaps();
    SkinDeviceCaps caps = deviceCaps;
    caps.hardwareSkinning = 0;
    SkinPlugin::SetCaps(caps);
    const std::vector<uint32_t> processor = DrawFrame();
    SkinPlugin::SetCaps(deviceCaps);
    ASSERT_EQ(processor.size(), size_t(kSize) * kSize);
    EXPECT_EQ(skin->hardwareSkinned, 0);
    EXPECT_EQ(framecheck::CheckFrame("level_frame_processor", kSize, kSize, processor, reference.Frame(processor), 3),
              "");
    EXPECT_EQ(framecheck::CheckFrame("level_frame_hardware_vs_processor", kSize, kSize, processor, hardware, 2), "");

    mRenderer->GetSurfaceList()->Remove(text);
    text->Release();
    man->Release();
    mRenderer->SetCamera(nullptr);
    mRenderer->ReleaseScene();
    camera->Release();
    level->Release();
}

} // namespace
