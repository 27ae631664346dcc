// The framed panel: its grid, every piece's texture, layer, rectangle and texture coordinates, moving,
// colours, release, and a panel drawn and read back.
#include "framecheck.h"
#include "ui_fixture.h"
#include "w2dframedpanel.h"
#include "w2dsurfacegraphicitem.h"
#include "w2dtextgraphicitem.h"

#include <string>
#include <vector>

namespace uitest
{
namespace
{

constexpr float u = W2dFramedPanel::kTile;

struct Uv
{
    float u, v;
};

class Panels : public UiTest
{
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        mResources->SolidTexture("FE_MAIN_WHITE_BACKGROUND_TEX", 4, 4, 0xFFFFFFFFu);
        mResources->SolidTexture("FE_MAIN_BORDER_TEX", 4, 4, 0xFF30A030u);
        mResources->SolidTexture("FE_MAIN_BORDER_CORNER_TEX", 4, 4, 0xFFC8C828u);
        mResources->SolidTexture("FE_MAIN_BORDER_SHADOW_TEX", 4, 4, 0xFF804020u);
        mResources->SolidTexture("FE_MAIN_CORNER_SHADOW_TEX", 4, 4, 0xFF602060u);
        mResources->SolidTexture("FE_MAIN_ANGLE_SHADOW_TEX", 4, 4, 0xFF206060u);
        mResources->SolidTexture("UI_BLUE_TEX", 4, 4, 0xFF2828C8u);
    }

    /// A picture content of the size, created at priority 90, held by the test.
    W2dPictureItem* Content(float width, float height)
    {
        auto* content = new W2dPictureItem("UI_BLUE_TEX", -1.0f, nullptr);
        content->AddRef();
        content->SetPriority(90);
        content->Create();
        content->SetSize({width, height, 0.0f});
        return content;
    }

    static void Finish(W2dFramedPanel* panel, W2dGenericItem* content)
    {
        panel->Release();
        panel->HbRoot::Release();
        content->HbRoot::Release();
    }
};

TEST_F(Panels, TheFrameIsRoundedUpToTheTileGrid)
{
    struct Case
    {
        float width, height;
        int32_t columns, rows;
        float insideWidth, insideHeight;
        bool rightShadow;
    };
    for (const Case& c :
         {Case{0.3f, 0.05f, 10, 3, 0.3125f, 0.0625f, false}, Case{0.3f, 0.0f, 10, 3, 0.3125f, 0.0625f, false},
          Case{0.1f, 0.08f, 4, 4, 0.125f, 0.09375f, true}})
    {
        W2dPictureItem* content = Content(c.width, c.height);
        auto* panel = new W2dFramedPanel();
        panel->AddRef();
        EXPECT_EQ(panel->Build({0.2f, 0.3f, 0.0f}, content, 1, nullptr), 1);
        EXPECT_EQ(panel->GetColumns(), c.columns) << c.width;
        EXPECT_EQ(panel->GetRows(), c.rows) << c.height;
        EXPECT_FLOAT_EQ(panel->GetInsideWidth(), c.insideWidth);
        EXPECT_FLOAT_EQ(panel->GetInsideHeight(), c.insideHeight);
        EXPECT_EQ(panel->GetShadow(1) != nullptr, c.rightShadow) << c.height;
        Finish(panel, content);
    }
    // A given size wins over the content's.
    W2dPictureItem* content = Content(0.1f, 0.1f);
    W2dFramedPanel panel;
    const Vector size = {0.5f, 0.2f, 0.0f};
    EXPECT_EQ(panel.Build({0.2f, 0.3f, 0.0f}, content, 0, &size), 1);
    EXPECT_EQ(panel.GetColumns(), 16);
    EXPECT_EQ(panel.GetRows(), 8);
    // Without a background the content fills the inside, half a tile in.
    Vector at, extent;
    content->GetPosition(&at);
    content->GetSize(&extent);
    EXPECT_NEAR(at.x, 0.2f - 0.015625f, 1e-6f);
    EXPECT_NEAR(at.y, 0.3f + 0.015625f, 1e-6f);
    EXPECT_NEAR(extent.x, 0.5f, 1e-6f);
    EXPECT_NEAR(extent.y, 7 * u, 1e-6f);
    EXPECT_EQ(panel.GetBackground(), nullptr);
    panel.Release();
    content->HbRoot::Release();

    W2dFramedPanel empty;
    EXPECT_EQ(empty.Build({0.2f, 0.3f, 0.0f}, nullptr, 1, nullptr), 0);
    EXPECT_EQ(empty.GetEdge(0), nullptr);
}

TEST_F(Panels, EveryPieceHasItsTextureLayerRectangleAndTextureCoordinates)
{
    int32_t before = Screen()->GetCount();
    W2dPictureItem* content = Content(0.3f, 0.08f);
    auto* panel = new W2dFramedPanel();
    panel->AddRef();
    const float px = 0.2f, py = 0.3f;
    ASSERT_EQ(panel->Build({px, py, 0.0f}, content, 1, nullptr), 1);
    const float W = 0.3125f, H = 3 * u;
    ASSERT_EQ(panel->GetRows(), 4);
    EXPECT_EQ(Screen()->GetCount(), before + 1 + 1 + 13);

    struct Piece
    {
        const char* name;
        W2dPictureItem* item;
        const char* texture;
        int32_t layer;
        float x, y, w, h;
        Uv uvs[4];
    };
    std::vector<Piece> pieces = {
        {"background",
         panel->GetBackground(),
         "FE_MAIN_WHITE_BACKGROUND_TEX",
         80,
         px - u / 2,
         py + u / 2,
         W,
         H,
         {{0, 1}, {1, 1}, {1, 0}, {0, 0}}},
        {"bottom edge",
         panel->GetEdge(3),
         "FE_MAIN_BORDER_TEX",
         100,
         px,
         py + H,
         W - u,
         u,
         {{0, 9}, {1, 9}, {1, 0}, {0, 0}}},
        {"bottom shadow",
         panel->GetShadow(0),
         "FE_MAIN_BORDER_SHADOW_TEX",
         95,
         px,
         py + H,
         W - u,
         u,
         {{0, 1}, {9, 1}, {9, 0}, {0, 0}}},
        {"top edge", panel->GetEdge(0), "FE_MAIN_BORDER_TEX", 100, px, py, W - u, u, {{0, 9}, {1, 9}, {1, 0}, {0, 0}}},
        {"left edge",
         panel->GetEdge(1),
         "FE_MAIN_BORDER_TEX",
         100,
         px - u,
         py + u,
         u,
         2 * u,
         {{0, 2}, {1, 2}, {1, 0}, {0, 0}}},
        {"right edge",
         panel->GetEdge(2),
         "FE_MAIN_BORDER_TEX",
         100,
         px + W - u,
         py + u,
         u,
         2 * u,
         {{0, 2}, {1, 2}, {1, 0}, {0, 0}}},
        {"right shadow",
         panel->GetShadow(1),
         "FE_MAIN_BORDER_SHADOW_TEX",
         95,
         px + W - u,
         py + 2 * u,
         u,
         u,
         {{0, 1}, {2, 1}, {2, 0}, {0, 0}}},
        {"corner shadow",
         panel->GetShadow(2),
         "FE_MAIN_CORNER_SHADOW_TEX",
         95,
         px + W - u,
         py + H,
         u,
         u,
         {{0, 1}, {1, 1}, {1, 0}, {0, 0}}},
        {"first angle shadow",
         panel->GetShadow(3),
         "FE_MAIN_ANGLE_SHADOW_TEX",
         95,
         px + W - u,
         py + u,
         u,
         u,
         {{0, 1}, {1, 1}, {1, 0}, {0, 0}}},
        {"top-left corner",
         panel->GetCorner(0),
         "FE_MAIN_BORDER_CORNER_TEX",
         100,
         px - u,
         py,
         u,
         u,
         {{0, 1}, {1, 1}, {1, 0}, {0, 0}}},
        {"top-right corner",
         panel->GetCorner(1),
         "FE_MAIN_BORDER_CORNER_TEX",
         100,
         px + W - u,
         py,
         u,
         u,
         {{1, 1}, {1, 0}, {0, 0}, {0, 1}}},
        {"bottom-right corner",
         panel->GetCorner(2),
         "FE_MAIN_BORDER_CORNER_TEX",
         100,
         px + W - u,
         py + H,
         u,
         u,
         {{1, 0}, {0, 0}, {0, 1}, {1, 1}}},
        {"bottom-left corner",
         panel->GetCorner(3),
         "FE_MAIN_BORDER_CORNER_TEX",
         100,
         px - u,
         py + H,
         u,
         u,
         {{0, 0}, {0, 1}, {1, 1}, {1, 0}}},
        {"second angle shadow",
         panel->GetShadow(4),
         "FE_MAIN_ANGLE_SHADOW_TEX",
         95,
         px - u,
         py + H,
         u,
         u,
         {{1, 0}, {1, 1}, {0, 1}, {0, 0}}},
    };
    for (const Piece& piece : pieces)
    {
        ASSERT_NE(piece.item, nullptr) << piece.name;
        EXPECT_EQ(piece.item->GetTextureId(), piece.texture) << piece.name;
        EXPECT_EQ(piece.item->GetSurface()->GetLayer(), piece.layer) << piece.name;
        EXPECT_EQ(piece.item->IsHidden(), 1) << piece.name;
        Vector at, size;
        piece.item->GetPosition(&at);
        piece.item->GetSize(&size);
        EXPECT_NEAR(at.x, piece.x, 1e-6f) << piece.name;
        EXPECT_NEAR(at.y, piece.y, 1e-6f) << piece.name;
        EXPECT_NEAR(size.x, piece.w, 1e-6f) << piece.name;
        EXPECT_NEAR(size.y, piece.h, 1e-6f) << piece.name;
        Vector2 uv[4];
        piece.item->GetCornerUVs(&uv[0], &uv[1], &uv[2], &uv[3]);
        for (int i = 0; i < 4; ++i)
        {
            EXPECT_FLOAT_EQ(uv[i].x, piece.uvs[i].u) << piece.name << " corner " << i;
            EXPECT_FLOAT_EQ(uv[i].y, piece.uvs[i].v) << piece.name << " corner " << i;
        }
    }
    // The picture content is centred in the background.
    Vector at;
    content->GetPosition(&at);
    EXPECT_NEAR(at.x, px - u / 2 + (W - 0.3f) / 2, 1e-6f);
    EXPECT_NEAR(at.y, py + u / 2 + (H - 0.08f) / 2, 1e-6f);

    // Moving keeps every piece at its offset from the content.
    panel->SetPosition({px + 0.1f, py - 0.2f, 0.0f});
    for (const Piece& piece : pieces)
    {
        Vector moved;
        piece.item->GetPosition(&moved);
        EXPECT_NEAR(moved.x, piece.x + 0.1f, 1e-5f) << piece.name;
        EXPECT_NEAR(moved.y, piece.y - 0.2f, 1e-5f) << piece.name;
    }
    Vector contentMoved;
    content->GetPosition(&contentMoved);
    EXPECT_NEAR(contentMoved.x, at.x + 0.1f, 1e-5f);

    // Colours: the content takes them, the frame white with alpha at most 200.
    panel->SetCornerColours({10, 20, 30, 255}, {10, 20, 30, 100}, {10, 20, 30, 255}, {10, 20, 30, 201});
    Rgba c[4];
    panel->GetCornerColours(&c[0], &c[1], &c[2], &c[3]);
    EXPECT_EQ(c[0].alpha, 255);
    EXPECT_EQ(c[0].red, 10);
    for (const Piece& piece : pieces)
    {
        piece.item->GetCornerColours(&c[0], &c[1], &c[2], &c[3]);
        EXPECT_EQ(c[0].red, 255) << piece.name;
        EXPECT_EQ(c[0].alpha, 200) << piece.name;
        EXPECT_EQ(c[1].alpha, 100) << piece.name;
        EXPECT_EQ(c[3].alpha, 200) << piece.name;
    }

    panel->Show();
    EXPECT_EQ(content->IsHidden(), 0);
    EXPECT_EQ(panel->GetCorner(2)->IsHidden(), 0);
    panel->Hide();
    EXPECT_EQ(panel->GetShadow(4)->IsHidden(), 1);

    // Release takes the content and every piece off the screen.
    Finish(panel, content);
    EXPECT_EQ(Screen()->GetCount(), before);
}

TEST_F(Panels, ATextContentSitsOnItsCharacterHeight)
{
    mResources->InkFont("UI_INK_FONT");
    auto* text = new W2dTextGraphicItem("UI_INK_FONT", nullptr);
    text->AddRef();
    text->SetCharHeight(0.04f);
    text->Create();
    text->SetSize({0.3f, 0.05f, 0.0f});
    text->SetText("AB");
    W2dFramedPanel panel;
    panel.Build({0.2f, 0.3f, 0.0f}, text, 1, nullptr);
    const float x = 0.2f - u / 2 + (0.3125f - 0.3f) / 2, y = 0.3f + (0.05f + 0.04f) / 2;
    Vector at;
    text->GetPosition(&at);
    EXPECT_NEAR(at.x, x, 1e-6f);
    EXPECT_NEAR(at.y, y, 1e-6f);

    // Drawn alone, its letters stand left in the text's box, centred in its height.
    text->Show();
    int32_t width = 0, height = 0;
    std::vector<uint32_t> actual = DrawSurfaces(Screen(), kClear, &width, &height);
    ASSERT_EQ(actual.size(), 640u * 480u);
    Reference expected(width, height, kClear);
    const float inkTop = y + (0.05f - 0.04f) / 2, inkWidth = 2 * 0.04f * kInkFontWidth;
    expected.Fill(x, inkTop, inkWidth, 0.04f, 0xFFFFFF);
    expected.IgnoreEdges(x, inkTop, inkWidth, 0.04f, actual);
    EXPECT_EQ(framecheck::CheckFrame("ui_framed_panel_text", width, height, actual, expected.pixels, 3), "");
    panel.Release();
    text->HbRoot::Release();
}

TEST_F(Panels, APanelIsDrawnInLayersWithItsFrameAtAlpha200)
{
    W2dPictureItem* content = Content(0.3f, 0.08f);
    auto* panel = new W2dFramedPanel();
    panel->AddRef();
    const float px = 0.25f, py = 0.25f;
    ASSERT_EQ(panel->Build({px, py, 0.0f}, content, 1, nullptr), 1);
    panel->SetColour({255, 255, 255, 255});
    panel->Show();
    int32_t width = 0, height = 0;
    std::vector<uint32_t> actual = DrawSurfaces(Screen(), kClear, &width, &height);
    ASSERT_EQ(actual.size(), 640u * 480u);

    const float W = 0.3125f, H = 3 * u;
    Vector at;
    content->GetPosition(&at);
    Reference expected(width, height, kClear);
    expected.Fill(px - u / 2, py + u / 2, W, H, 0xFFFFFF, 200);
    expected.Fill(at.x, at.y, 0.3f, 0.08f, 0x2828C8);
    // Shadows, then the border over them.
    expected.Fill(px, py + H, W - u, u, 0x804020, 200);
    expected.Fill(px + W - u, py + 2 * u, u, u, 0x804020, 200);
    expected.Fill(px + W - u, py + H, u, u, 0x602060, 200);
    expected.Fill(px + W - u, py + u, u, u, 0x206060, 200);
    expected.Fill(px - u, py + H, u, u, 0x206060, 200);
    expected.Fill(px, py + H, W - u, u, 0x30A030, 200);
    expected.Fill(px, py, W - u, u, 0x30A030, 200);
    expected.Fill(px - u, py + u, u, 2 * u, 0x30A030, 200);
    expected.Fill(px + W - u, py + u, u, 2 * u, 0x30A030, 200);
    for (float x : {px - u, px + W - u})
        for (float y : {py, py + H})
            expected.Fill(x, y, u, u, 0xC8C828, 200);
    // The background and the content have edges between pixels.
    expected.IgnoreEdges(px - u / 2, py + u / 2, W, H, actual);
    expected.IgnoreEdges(at.x, at.y, 0.3f, 0.08f, actual);
    EXPECT_EQ(framecheck::CheckFrame("ui_framed_panel", width, height, actual, expected.pixels, 3), "");
    Finish(panel, content);
}

} // namespace
} // namespace uitest
