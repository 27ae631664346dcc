// 2D surfaces and their lists: rectangles, order, the transitions, the fade on the real
// clock, word wrap and justification, and surfaces drawn through the screen's list.
#include "framecheck.h"
#include "hbclock.h"
#include "hbresource.h"
#include "image.h"
#include "pngimage.h"
#include "raster.h"
#include "rasterreadback.h"
#include "renderer_fixture.h"
#include "w2dimagesurface.h"
#include "w2dsurface.h"
#include "w2dsurfacelist.h"
#include "w2dtextsurface.h"
#include "wfontmanager.h"

#include "camera.h"
#include "font2d.h"
#include "fontwriter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>

namespace renderertest
{
namespace
{

constexpr uint32_t kClear = 0xFF000000u;
constexpr uint32_t kRed = 0xFFC82828u;
constexpr uint32_t kBlue = 0xFF2828C8u;

class Surfaces : public RendererTest
{
protected:
    void SetUp() override
    {
        RendererTest::SetUp();
        mRenderer = Started();
    }

    void TearDown() override
    {
        for (const std::string& id : mIds)
            HbResourceManager::Instance()->RemovePath(id.c_str());
        RendererTest::TearDown();
    }

    void Declare(const char* id, const char* path)
    {
        HbResourceManager::Instance()->AddPath(id, path);
        mIds.push_back(id);
    }

    /// A PNG of the size whose pixels the function gives (0xAARRGGBB), declared under the id.
    void Texture(const char* id, int32_t width, int32_t height, const std::function<uint32_t(int32_t, int32_t)>& pixel)
    {
        Image* image = Image::Create(width, height, 32);
        Image::AllocatePixels(image);
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x)
            {
                uint32_t c = pixel(x, y);
                uint8_t* p = image->pixels + y * image->stride + 4 * x;
                p[0] = uint8_t(c >> 16), p[1] = uint8_t(c >> 8), p[2] = uint8_t(c), p[3] = uint8_t(c >> 24);
            }
        std::string path = std::string(id) + ".png";
        ASSERT_EQ(Png::WriteImage(image, path.c_str()), image);
        Image::Destroy(image);
        Declare(id, path.c_str());
    }

    /// The screen's list drawn into the cleared frame buffer, read back top row first.
    std::vector<uint32_t> Draw(W2dSurfaceList* list)
    {
        Camera* camera = mRenderer->GetMainCamera();
        const Rgba clear = {0, 0, 0, 255};
        EXPECT_NE(Camera::Clear(camera, &clear, kCameraClearImage | kCameraClearZ), nullptr);
        EXPECT_NE(Camera::BeginUpdate(camera), nullptr);
        list->Render();
        Camera::EndUpdate(camera);
        return framecheck::ReadRaster(camera->frameBuffer);
    }

    /// The clear colour with the rectangle (in pixels, from the top left) given by the function.
    static std::vector<uint32_t> Reference(int32_t left, int32_t top, int32_t right, int32_t bottom,
                                           const std::function<uint32_t(int32_t, int32_t)>& inside)
    {
        std::vector<uint32_t> pixels(640 * 480, kClear);
        for (int32_t y = top; y < bottom; ++y)
            for (int32_t x = left; x < right; ++x)
                pixels[size_t(y) * 640 + size_t(x)] = inside(x, y);
        return pixels;
    }

    /// Linear filtering blends texels across a colour seam (and across a wrapped edge):
    /// pixels within 4 of such a column or row are taken as drawn.
    static void IgnoreSeam(std::vector<uint32_t>* expected, const std::vector<uint32_t>& actual, int32_t at,
                           bool column)
    {
        for (int32_t d = -4; d <= 4; ++d)
            for (int32_t i = 0; i < (column ? 480 : 640); ++i)
            {
                int32_t x = column ? at + d : i, y = column ? i : at + d;
                if (x >= 0 && x < 640 && y >= 0 && y < 480)
                    (*expected)[size_t(y) * 640 + size_t(x)] = actual[size_t(y) * 640 + size_t(x)];
            }
    }

    WRenderer* mRenderer = nullptr;
    std::vector<std::string> mIds;
};

/// A surface that notes the order it is drawn in.
class Probe : public W2dSurface
{
public:
    Probe(int32_t layer, ::Texture* texture, std::vector<const Probe*>* drawn)
        : W2dSurface(0.0f, 0.0f, 0.1f, 0.1f, layer), mTexture(texture), mDrawn(drawn)
    {
    }
    ::Texture* GetTexture() const override { return mTexture; }
    void Render() override { mDrawn->push_back(this); }

private:
    ::Texture* mTexture;
    std::vector<const Probe*>* mDrawn;
};

// ---- Rectangles and lists --------------------------------------------------------------------------------

TEST(W2dSurfaceRect, StoresTheBottomEdgeFromTheBottomAndGivesTheTopEdgeBack)
{
    W2dSurface surface(0.0f, 0.0f, 0.0f, 0.0f, 0);
    surface.SetRect(0.1f, 0.2f, 0.3f, 0.4f);
    EXPECT_NEAR(surface.GetStoredY(), 0.4f, 1e-6f);
    float x, y, w, h;
    surface.GetRect(&x, &y, &w, &h);
    EXPECT_NEAR(x, 0.1f, 1e-6f);
    EXPECT_NEAR(y, 0.2f, 1e-6f);
    EXPECT_NEAR(w, 0.3f, 1e-6f);
    EXPECT_NEAR(h, 0.4f, 1e-6f);
    EXPECT_EQ(surface.IsVisible(), 1) << "visible after Init";

    W2dTextSurface text("FONT", 0.1f, 0.2f, 0.3f, 0.4f, 0);
    EXPECT_NEAR(text.GetStoredY(), 0.8f, 1e-6f) << "text surfaces store their top edge";
    text.GetRect(&x, &y, &w, &h);
    EXPECT_NEAR(y, 0.2f, 1e-6f);
}

TEST(W2dSurfaceRect, OnScreenUpToTheEdgesInclusive)
{
    struct Case
    {
        float x, y, width, height;
        bool on;
    } cases[] = {
        {1.0f, 0.5f, 0.1f, 0.1f, true},    {1.01f, 0.5f, 0.1f, 0.1f, false}, {-0.5f, 0.5f, 0.5f, 0.1f, true},
        {-0.51f, 0.5f, 0.5f, 0.1f, false}, {0.5f, 1.0f, 0.1f, 0.1f, true},   {0.5f, -0.1f, 0.1f, 0.1f, true},
        {0.5f, -0.2f, 0.1f, 0.1f, false},  {0.5f, 1.2f, 0.1f, 0.1f, false},
    };
    for (const Case& c : cases)
    {
        W2dSurface surface(c.x, c.y, c.width, c.height, 0);
        EXPECT_EQ(surface.IsOnScreen(), c.on) << c.x << " " << c.y;
    }
}

TEST(W2dSurfaceListOrder, LayersAscendAndASharedTextureGoesBeforeItsFirstHolder)
{
    std::vector<const Probe*> drawn;
    auto* shared = reinterpret_cast<::Texture*>(uintptr_t(0x100));
    auto* three = new Probe(3, nullptr, &drawn);
    auto* one = new Probe(1, nullptr, &drawn);
    auto* two = new Probe(2, shared, &drawn);
    auto* twoOther = new Probe(2, nullptr, &drawn);
    auto* twoShared = new Probe(2, shared, &drawn);
    W2dSurfaceList list(nullptr);
    for (Probe* p : {three, one, two, twoOther, twoShared})
        list.Insert(p);
    const W2dSurface* expected[] = {one, twoShared, two, twoOther, three};
    ASSERT_EQ(list.GetCount(), 5);
    for (int32_t i = 0; i < 5; ++i)
        EXPECT_EQ(list.GetAt(i), expected[i]) << i;
    EXPECT_EQ(two->GetRefCount(), 1) << "the list holds one reference";

    list.Insert(two);
    EXPECT_EQ(list.GetCount(), 5) << "a surface enters one list once";
    list.Remove(two);
    EXPECT_EQ(list.GetCount(), 4);
    // two's last reference went with it; a stranger's removal changes nothing.
    Probe stranger(0, nullptr, &drawn);
    list.Remove(&stranger);
    EXPECT_EQ(list.GetCount(), 4);

    // A list that does not hold a surface leaves it to the one that does.
    W2dSurfaceList other(nullptr);
    one->AddRef();
    other.Remove(one);
    EXPECT_TRUE(one->IsInserted());
    EXPECT_EQ(one->GetRefCount(), 2);
    list.Remove(one);
    EXPECT_EQ(list.GetCount(), 3);
    EXPECT_FALSE(one->IsInserted());
    EXPECT_EQ(one->GetRefCount(), 1) << "the holding list gave its reference back";
    one->Release();
    list.RemoveAll();
    EXPECT_EQ(list.GetCount(), 0);
}

TEST_F(Surfaces, ListDrawsVisibleSurfacesInLayerOrderThroughTheCamera)
{
    std::vector<const Probe*> drawn;
    W2dSurfaceList list(mRenderer->GetMainCamera());
    auto* three = new Probe(3, nullptr, &drawn);
    auto* one = new Probe(1, nullptr, &drawn);
    auto* two = new Probe(2, nullptr, &drawn);
    auto* hidden = new Probe(0, nullptr, &drawn);
    hidden->SetVisible(0);
    for (Probe* p : {three, one, two, hidden})
        list.Insert(p);
    Draw(&list);
    ASSERT_EQ(drawn.size(), 3u);
    EXPECT_EQ(drawn[0], one);
    EXPECT_EQ(drawn[1], two);
    EXPECT_EQ(drawn[2], three);
}

TEST_F(Surfaces, TranslucentSurfaceWithoutTextureIsRefusedAndStaysFreeToEnterLater)
{
    Texture("S_RED_TEX", 4, 4, [](int32_t, int32_t) { return kRed; });
    W2dSurfaceList list(mRenderer->GetMainCamera());
    auto* bare = new W2dTranslucentSurface("S_NOTHING_TEX", 0, 0.1f, 0.1f, 0.2f, 0.2f, 0);
    bare->AddRef();
    list.Insert(bare);
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(bare->IsInserted(), 0) << "refused, so not marked";
    EXPECT_EQ(bare->GetRefCount(), 1);
    bare->Release();

    auto* textured = new W2dTranslucentSurface("S_RED_TEX", 0, 0.1f, 0.1f, 0.2f, 0.2f, 0);
    list.Insert(textured);
    EXPECT_EQ(list.GetCount(), 1);
    EXPECT_FLOAT_EQ(textured->GetOpacity(), 0.7f);
    textured->SetOpacity(3.0f);
    EXPECT_FLOAT_EQ(textured->GetOpacity(), 1.0f);
    list.Remove(textured);
    EXPECT_EQ(list.GetCount(), 0);
}

// ---- Transitions -----------------------------------------------------------------------------------------

TEST(W2dTransitionTable, EachKindDrawsItsBandWithItsPartOfTheTexture)
{
    // The surface (stored form) x 0.2, y 0.3, 0.4 x 0.2; p = 0.25.
    const float x = 0.2f, y = 0.3f, w = 0.4f, h = 0.2f, p = 0.25f;
    const Rgba colours[4] = {{200, 100, 50, 240}, {200, 100, 50, 240}, {200, 100, 50, 240}, {200, 100, 50, 240}};
    struct Case
    {
        int32_t kind;
        float rx, ry, rw, rh;
        float uL, uR, vTop, vBottom;
        Rgba colour;
    } cases[] = {
        {0, x, y, w, h, 0, 1, 0, 1, {200, 100, 50, 60}},
        {1, x, y, w, h, 0, 1, 0, 1, {50, 25, 12, 240}},
        {2, x, y + 0.75f * h, w, p * h, 0, 1, 0, 1, colours[0]},
        {3, x, y + 0.75f * h, w, p * h, 0, 1, 0.75f, 1, colours[0]},
        {4, x, y + 0.75f * h, w, p * h, 0, 1, 0, 0.25f, colours[0]},
        {5, x, y, w, p * h, 0, 1, 0, 1, colours[0]},
        {6, x, y, w, p * h, 0, 1, 0, 0.25f, colours[0]},
        {7, x, y, w, p * h, 0, 1, 0.75f, 1, colours[0]},
        {8, x + 0.75f * w, y, p * w, h, 0, 1, 0, 1, colours[0]},
        {9, x + 0.75f * w, y, p * w, h, 0, 0.25f, 0, 1, colours[0]},
        {10, x + 0.75f * w, y, p * w, h, 0.75f, 1, 0, 1, colours[0]},
        {11, x, y, p * w, h, 0, 1, 0, 1, colours[0]},
        {12, x, y, p * w, h, 0.75f, 1, 0, 1, colours[0]},
        {13, x, y, p * w, h, 0, 0.25f, 0, 1, colours[0]},
    };
    for (const Case& c : cases)
    {
        W2dTransition t;
        ASSERT_TRUE(W2dTransition::Compute(c.kind, p, x, y, w, h, colours, &t)) << c.kind;
        EXPECT_NEAR(t.x, c.rx, 1e-6f) << c.kind;
        EXPECT_NEAR(t.y, c.ry, 1e-6f) << c.kind;
        EXPECT_NEAR(t.width, c.rw, 1e-6f) << c.kind;
        EXPECT_NEAR(t.height, c.rh, 1e-6f) << c.kind;
        // Brush order: bottom left, bottom right, top right, top left.
        EXPECT_FLOAT_EQ(t.uvs[0].x, c.uL) << c.kind;
        EXPECT_FLOAT_EQ(t.uvs[3].x, c.uL) << c.kind;
        EXPECT_FLOAT_EQ(t.uvs[1].x, c.uR) << c.kind;
        EXPECT_FLOAT_EQ(t.uvs[2].x, c.uR) << c.kind;
        EXPECT_FLOAT_EQ(t.uvs[3].y, c.vTop) << c.kind;
        EXPECT_FLOAT_EQ(t.uvs[2].y, c.vTop) << c.kind;
        EXPECT_FLOAT_EQ(t.uvs[0].y, c.vBottom) << c.kind;
        EXPECT_FLOAT_EQ(t.uvs[1].y, c.vBottom) << c.kind;
        for (const Rgba& drawn : t.colours)
        {
            EXPECT_EQ(drawn.red, c.colour.red) << c.kind;
            EXPECT_EQ(drawn.green, c.colour.green) << c.kind;
            EXPECT_EQ(drawn.blue, c.colour.blue) << c.kind;
            EXPECT_EQ(drawn.alpha, c.colour.alpha) << c.kind;
        }
    }
    W2dTransition t;
    EXPECT_FALSE(W2dTransition::Compute(14, p, x, y, w, h, colours, &t)) << "kinds outside 0-13 draw nothing";
    EXPECT_FALSE(W2dTransition::Compute(-1, p, x, y, w, h, colours, &t));
}

TEST(W2dTransitionTable, ClippingAtTheTopKeepsTheLowerPartOfTheTexture)
{
    // Half above the screen: the bottom edge at 0.9, the top at 1.1.
    const Rgba white[4] = {{255, 255, 255, 255}, {255, 255, 255, 255}, {255, 255, 255, 255}, {255, 255, 255, 255}};
    W2dTransition t;
    ASSERT_TRUE(W2dTransition::Compute(0, 1.0f, -0.1f, 0.9f, 0.4f, 0.2f, white, &t));
    t.ClipToScreen();
    EXPECT_NEAR(t.y, 0.9f, 1e-6f);
    EXPECT_NEAR(t.height, 0.1f, 1e-6f);
    EXPECT_NEAR(t.uvs[3].y, 0.5f, 1e-5f) << "top corners show the texture's middle";
    EXPECT_NEAR(t.uvs[0].y, 1.0f, 1e-6f);
    // And a quarter cut on the left: the left corners move a quarter towards the right ones.
    EXPECT_NEAR(t.x, 0.0f, 1e-6f);
    EXPECT_NEAR(t.width, 0.3f, 1e-6f);
    EXPECT_NEAR(t.uvs[0].x, 0.25f, 1e-6f);
    EXPECT_NEAR(t.uvs[3].x, 0.25f, 1e-6f);
    EXPECT_NEAR(t.uvs[1].x, 1.0f, 1e-6f);
}

// ---- The fade ----------------------------------------------------------------------------------------------

TEST_F(Surfaces, FadeFollowsTheRealClockAndAReversalTakesItsShareOfTheDuration)
{
    HbRealClock* clock = HbRealClock::Instance();
    const int64_t second = HbPerformanceFrequency();
    const int64_t start = clock->mCurrentTime;
    W2dFadingSurface fade("S_NOTHING_TEX", second, 0, 0.0f, 0.0f, 1.0f, 1.0f, 0);
    EXPECT_EQ(fade.IsFadeDone(), 1);

    fade.Show();
    EXPECT_EQ(fade.IsFadeDone(), 0);
    clock->mCurrentTime = start + second / 2;
    EXPECT_NEAR(fade.UpdateLevel(), 0.5f, 1e-4f);
    clock->mCurrentTime = start + second;
    EXPECT_NEAR(fade.UpdateLevel(), 1.0f, 1e-6f) << "shown from 0 reaches 1 after 1 s";
    clock->mCurrentTime = start + second + 1;
    fade.UpdateLevel();
    EXPECT_EQ(fade.IsFadeDone(), 1);

    // Hidden at 0.75: 0.75 s to reach 0.
    fade.SetShown(0);
    fade.Show();
    const int64_t t0 = clock->mCurrentTime;
    clock->mCurrentTime = t0 + second * 3 / 4;
    EXPECT_NEAR(fade.UpdateLevel(), 0.75f, 1e-4f);
    fade.Hide();
    const int64_t t1 = clock->mCurrentTime;
    clock->mCurrentTime = t1 + second * 3 / 8;
    EXPECT_NEAR(fade.UpdateLevel(), 0.375f, 1e-3f);
    clock->mCurrentTime = t1 + second * 3 / 4;
    EXPECT_NEAR(fade.UpdateLevel(), 0.0f, 1e-4f);
    clock->mCurrentTime = t1 + second * 3 / 4 + 1;
    fade.UpdateLevel();
    EXPECT_EQ(fade.IsFadeDone(), 1);
    EXPECT_EQ(fade.IsShown(), 0);
    clock->mCurrentTime = start;
}

// ---- Drawn ---------------------------------------------------------------------------------------------------

TEST_F(Surfaces, TexturedSurfaceFillsItsRectangleWithItsTextureAndColours)
{
    Texture("S_RED_TEX", 4, 4, [](int32_t, int32_t) { return kRed; });
    W2dSurfaceList list(mRenderer->GetMainCamera());
    auto* surface = new W2dTexturedSurface("S_RED_TEX", 0.25f, 0.25f, 0.5f, 0.5f, 0);
    list.Insert(surface);
    // Off screen: skipped.
    list.Insert(new W2dTexturedSurface("S_RED_TEX", 1.01f, 0.0f, 0.2f, 0.2f, 1));
    std::vector<uint32_t> actual = Draw(&list);
    ASSERT_EQ(actual.size(), 640u * 480u);
    std::vector<uint32_t> expected = Reference(160, 120, 480, 360, [](int32_t, int32_t) { return kRed; });
    EXPECT_EQ(framecheck::CheckFrame("renderer_2d_textured_surface", 640, 480, actual, expected, 2), "");

    // Corner colours tint the texture: half-grey corners halve every channel.
    const Rgba grey = {128, 128, 128, 255};
    surface->SetColor(&grey, &grey, &grey, &grey);
    actual = Draw(&list);
    expected = Reference(160, 120, 480, 360, [](int32_t, int32_t) { return 0xFF641414u; });
    EXPECT_EQ(framecheck::CheckFrame("renderer_2d_tinted_surface", 640, 480, actual, expected, 3), "");
}

TEST_F(Surfaces, FadingSurfaceHalfAboveTheScreenDrawsTheLowerHalfOfItsTexture)
{
    // Top half red, bottom half blue.
    Texture("S_HALVES_TEX", 8, 64, [](int32_t, int32_t y) { return y < 32 ? kRed : kBlue; });
    W2dSurfaceList list(mRenderer->GetMainCamera());
    auto* fade = new W2dFadingSurface("S_HALVES_TEX", 0, 0, 0.25f, -0.25f, 0.5f, 0.5f, 0);
    fade->SetShown(1);
    list.Insert(fade);
    std::vector<uint32_t> actual = Draw(&list);
    ASSERT_EQ(actual.size(), 640u * 480u);
    std::vector<uint32_t> expected = Reference(160, 0, 480, 120, [](int32_t, int32_t) { return kBlue; });
    IgnoreSeam(&expected, actual, 0, false);
    IgnoreSeam(&expected, actual, 120, false);
    EXPECT_EQ(framecheck::CheckFrame("renderer_2d_fading_clipped", 640, 480, actual, expected, 2), "");

    // Kind 13 at 0.25 against kind 11, as a translucent surface: the left quarter of the
    // rectangle shows the texture's left quarter, or the whole texture squeezed.
    Texture("S_QUARTERS_TEX", 64, 8, [](int32_t x, int32_t) { return x < 16 ? kRed : kBlue; });
    list.RemoveAll();
    for (int32_t kind : {13, 11})
    {
        auto* surface = new W2dTranslucentSurface("S_QUARTERS_TEX", kind, 0.0f, 0.0f, 1.0f, 1.0f, 0);
        list.Insert(surface);
        surface->SetOpacity(0.25f);
        actual = Draw(&list);
        expected =
            Reference(0, 0, 160, 480, [kind](int32_t x, int32_t) { return kind == 13 || x < 40 ? kRed : kBlue; });
        IgnoreSeam(&expected, actual, 0, true);
        IgnoreSeam(&expected, actual, kind == 13 ? 160 : 40, true);
        if (kind == 11)
            IgnoreSeam(&expected, actual, 160, true);
        EXPECT_EQ(
            framecheck::CheckFrame("renderer_2d_transition_" + std::to_string(kind), 640, 480, actual, expected, 2),
            "");
        list.RemoveAll();
    }
}

// ---- Text and fonts ----------------------------------------------------------------------------------------------

class Text : public Surfaces
{
protected:
    /// fonts\big.met: an outline font whose letters and space are one unit wide.
    void WriteFont()
    {
        std::vector<OutlineGlyph> glyphs;
        for (char c : std::string("abcdef "))
            glyphs.push_back({uint32_t(c),
                              {{OutlineOp::MoveTo, {0, 0}},
                               {OutlineOp::LineTo, {0.8f, 0}},
                               {OutlineOp::LineTo, {0.8f, 0.8f}},
                               {OutlineOp::Close, {}}},
                              1.0f});
        std::filesystem::create_directories("fonts");
        ASSERT_TRUE(FontWriter::WriteText("fonts/big.met", FontWriter::Metrics3("Big", glyphs)));
        Declare("BIG_FONT", "fonts\\big.met");
    }
};

TEST_F(Text, FontManagerReadsTheNameAfterTheFolderAndCachesOnlyWhatItReads)
{
    WriteFont();
    WFontManager* fonts = WFontManager::Instance();
    ASSERT_NE(fonts, nullptr);
    Declare("MISSING_FONT", "fonts\\missing.met");
    Declare("BARE_FONT", "big.met");
    EXPECT_EQ(fonts->GetFont("MISSING_FONT"), nullptr);
    EXPECT_EQ(fonts->GetFont("BARE_FONT"), nullptr) << "a path without a folder";
    EXPECT_EQ(fonts->GetFont("NO_SUCH_FONT"), nullptr);
    EXPECT_EQ(fonts->GetCachedCount(), 0) << "a failed read caches nothing";

    Font2d* big = fonts->GetFont("BIG_FONT");
    ASSERT_NE(big, nullptr);
    EXPECT_STREQ(Font2d::GetPath(), "fonts\\");
    EXPECT_EQ(fonts->GetFont("BIG_FONT"), big) << "cached";
    EXPECT_EQ(fonts->GetCachedCount(), 1);
    // A font holding 16-bit codes is read with byte codes: its flags become 1.
    OutlineGlyph zhe = {0x416, {{OutlineOp::MoveTo, {0, 0}}, {OutlineOp::LineTo, {0.5f, 0.5f}}}, 0.9f};
    ASSERT_TRUE(FontWriter::WriteText("fonts/wide.met", FontWriter::Metrics3("Wide", {zhe})));
    Declare("WIDE_FONT", "fonts\\wide.met");
    Font2d* wide = fonts->GetFont("WIDE_FONT");
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(wide->flags, 1u);
    EXPECT_EQ(fonts->GetCachedCount(), 2);

    fonts->Close();
    EXPECT_EQ(fonts->GetCachedCount(), 0);
    EXPECT_FALSE(fonts->IsOpen());
    fonts->Open();
}

TEST_F(Text, WordsWrapAtTheLastSpaceAndLinesAreJustified)
{
    WriteFont();
    W2dSurfaceList list(mRenderer->GetMainCamera());
    auto* text = new W2dTextSurface("BIG_FONT", 0.1f, 0.1f, 0.5f, 0.5f, 0);
    text->AddRef();
    list.Insert(text);
    ASSERT_NE(text->GetFont(), nullptr) << "fetched on entering the list";
    text->SetTextHeight(0.1f);
    text->SetText("abc def");
    ASSERT_EQ(text->GetLineCount(), 2);
    EXPECT_EQ(text->GetLine(0), "abc");
    EXPECT_EQ(text->GetLine(1), " def");

    text->SetText("ab\n\ncd\r\r");
    ASSERT_EQ(text->GetLineCount(), 3) << "a line feed keeps an empty line, a carriage return does not";
    EXPECT_EQ(text->GetLine(1), "");

    text->SetText("abc");
    struct Case
    {
        int32_t code, stored;
        float x;
    } cases[] = {
        {W2dTextSurface::kSetLeft, W2dTextSurface::kLeft, 0.1f},
        {W2dTextSurface::kSetCentred, W2dTextSurface::kCentred, 0.1f + (0.5f - 0.3f) / 2.0f},
        {W2dTextSurface::kSetRight, W2dTextSurface::kRight, 0.1f + 0.5f - 0.3f},
    };
    for (const Case& c : cases)
    {
        text->SetJustification(c.code);
        EXPECT_EQ(text->GetJustification(), c.stored);
        EXPECT_NEAR(text->GetLineX(0), c.x, 1e-5f) << c.code;
    }
    list.RemoveAll();
    text->Release();
}

TEST_F(Text, JustifiedLinesAreDrawnWhereTheyBelong)
{
    WriteFont();
    W2dSurfaceList list(mRenderer->GetMainCamera());
    // A box 0.5 wide from x 0.1, its top 0.2 under the screen's top, in screen fractions (640
    // pixels across, 480 down); one line of "abc": 0.28 of ink (two advances of 0.1 and a
    // glyph of 0.08).
    auto* text = new W2dTextSurface("BIG_FONT", 0.1f, 0.2f, 0.5f, 0.5f, 0);
    list.Insert(text);
    text->SetTextHeight(0.1f);
    text->SetText("abc");
    const Rgba green = {40, 200, 40, 255};
    text->SetColor(&green, &green, &green, &green);
    struct Case
    {
        int32_t code;
        float left;
    } cases[] = {
        {W2dTextSurface::kSetLeft, 0.1f}, {W2dTextSurface::kSetCentred, 0.2f}, {W2dTextSurface::kSetRight, 0.3f}};
    for (const Case& c : cases)
    {
        text->SetJustification(c.code);
        std::vector<uint32_t> actual = Draw(&list);
        ASSERT_EQ(actual.size(), 640u * 480u);
        int32_t minX = 640, maxX = -1, minY = 480, maxY = -1;
        for (int32_t y = 0; y < 480; ++y)
            for (int32_t x = 0; x < 640; ++x)
                if (actual[size_t(y) * 640 + size_t(x)] != kClear)
                {
                    minX = std::min(minX, x), maxX = std::max(maxX, x);
                    minY = std::min(minY, y), maxY = std::max(maxY, y);
                }
        framecheck::SavePng("renderer_2d_text_" + std::to_string(c.code), 640, 480, actual);
        // The glyphs are outlines stroked half a text height of font units (0.005, mitred at the
        // corners) to each side: a few pixels beyond the boxes, far less than the 0.1 (64
        // pixels) between the justifications.
        EXPECT_NEAR(minX, c.left * 640.0f, 8.0f) << c.code;
        EXPECT_NEAR(maxX, (c.left + 0.28f) * 640.0f, 8.0f) << c.code;
        // The line's baseline sits at the middle of the box less half a line: 0.2 + 0.25 + 0.05
        // from the top; the glyphs rise 0.08 above it.
        EXPECT_NEAR(maxY, 0.5f * 480.0f, 6.0f) << c.code;
        EXPECT_NEAR(minY, 0.42f * 480.0f, 6.0f) << c.code;
    }
    list.RemoveAll();
}

} // namespace
} // namespace renderertest
