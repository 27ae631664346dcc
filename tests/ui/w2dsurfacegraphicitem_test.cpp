// Surface-backed items over a started renderer: the canonical build of a picture, the setters' edge
// cases, text items and localized texts, and what an item leaves on screen.
#include "framecheck.h"
#include "raster.h"
#include "texture.h"
#include "ui_fixture.h"
#include "w2dimagesurface.h"
#include "w2dsurfacegraphicitem.h"
#include "w2dtextgraphicitem.h"
#include "w2dtextsurface.h"

#include <cmath>
#include <tuple>
#include <utility>

namespace uitest
{
namespace
{

constexpr uint32_t kRed = 0xFFC82828u;

class SurfaceItems : public UiTest
{
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        mResources->SolidTexture("UI_RED_TEX", 4, 4, kRed);
        mResources->SolidTexture("UI_WIDE_TEX", 256, 128, kRed);
    }

    /// An item held by the test, built in the canonical order up to Create.
    template <typename T> T* Created(T* item, int32_t priority = 0)
    {
        item->AddRef();
        item->SetPriority(priority);
        EXPECT_EQ(item->Create(), 1);
        return item;
    }

    static void Drop(W2dGenericItem* item)
    {
        item->Release();
        item->HbRoot::Release();
    }
};

bool SameColour(const Rgba& a, const Rgba& b)
{
    return a.red == b.red && a.green == b.green && a.blue == b.blue && a.alpha == b.alpha;
}

TEST_F(SurfaceItems, APictureBuiltInTheCanonicalOrderIsOneTexturedSurfaceInTheDefaultList)
{
    int32_t before = Screen()->GetCount();
    auto* picture = new W2dPictureItem("UI_RED_TEX", -1.0f, nullptr);
    picture->AddRef();
    EXPECT_EQ(picture->SetPriority(7), 1);
    EXPECT_EQ(picture->Create(), 1);
    // Hidden until Show, like the item.
    ASSERT_NE(picture->GetSurface(), nullptr);
    EXPECT_EQ(picture->GetSurface()->IsVisible(), 0);
    EXPECT_EQ(picture->SetSize({0.5f, 0.25f, 0.0f}), 1);
    EXPECT_EQ(picture->SetPosition({0.25f, 0.5f, 0.0f}), 1);
    const Rgba grey = {128, 128, 128, 255};
    EXPECT_EQ(picture->SetColour(grey), 1);
    EXPECT_EQ(picture->Show(), 1);

    ASSERT_EQ(Screen()->GetCount(), before + 1);
    W2dSurface* surface = picture->GetSurface();
    EXPECT_NE(HbCastTo<W2dTexturedSurface>(surface), nullptr);
    EXPECT_EQ(HbCastTo<W2dDepthSurface>(surface), nullptr);
    EXPECT_EQ(HbCastTo<W2dBlendedSurface>(surface), nullptr);
    EXPECT_EQ(surface->GetLayer(), 7);
    float x, y, w, h;
    surface->GetRect(&x, &y, &w, &h);
    EXPECT_FLOAT_EQ(x, 0.25f);
    EXPECT_FLOAT_EQ(y, 0.5f);
    EXPECT_FLOAT_EQ(w, 0.5f);
    EXPECT_FLOAT_EQ(h, 0.25f);
    EXPECT_EQ(surface->IsVisible(), 1);
    Rgba corners[4];
    picture->GetCornerColours(&corners[0], &corners[1], &corners[2], &corners[3]);
    for (const Rgba& corner : corners)
        EXPECT_TRUE(SameColour(corner, grey));
    Vector at;
    picture->GetPosition(&at);
    EXPECT_FLOAT_EQ(at.y, 0.5f);
    EXPECT_TRUE(HbClassDesc::IsKindOf(picture, &W2dSurfaceGraphicItem::sClassDesc));
    EXPECT_FALSE(HbClassDesc::IsKindOf(picture, &W2dTextGraphicItem::sClassDesc));

    int32_t width = 0, height = 0;
    std::vector<uint32_t> actual = DrawSurfaces(Screen(), kClear, &width, &height);
    ASSERT_EQ(actual.size(), 640u * 480u);
    Reference expected(width, height, kClear);
    expected.Fill(0.25f, 0.5f, 0.5f, 0.25f, 0xFF641414u);
    EXPECT_EQ(framecheck::CheckFrame("ui_picture_canonical", width, height, actual, expected.pixels, 3), "");

    EXPECT_EQ(picture->Release(), 1);
    EXPECT_EQ(picture->GetSurface(), nullptr);
    EXPECT_EQ(Screen()->GetCount(), before);
    EXPECT_EQ(picture->SetPosition({0.1f, 0.1f, 0.0f}), 0);
    EXPECT_EQ(picture->Show(), 0);
    picture->HbRoot::Release();
}

TEST_F(SurfaceItems, ABlendedPictureTurnsAboutTheCentreGivenInScreenFractions)
{
    // Half a turn about the picture's own centre puts it back where it was, whatever the aspect.
    auto* picture = Created(new W2dBlendedPictureItem("UI_RED_TEX", -1.0f, nullptr));
    picture->SetSize({0.3f, 0.2f, 0.0f});
    picture->SetPosition({0.1f, 0.1f, 0.0f});
    picture->SetRotationCentre(0.1f + 0.15f, 0.1f + 0.1f);
    picture->SetRotation(180.0f);
    picture->Show();
    int32_t width = 0, height = 0;
    std::vector<uint32_t> actual = DrawSurfaces(Screen(), kClear, &width, &height);
    ASSERT_EQ(actual.size(), 640u * 480u);
    Reference expected(width, height, kClear);
    expected.Fill(0.1f, 0.1f, 0.3f, 0.2f, kRed & 0xFFFFFFu);
    EXPECT_EQ(framecheck::CheckFrame("ui_picture_half_turn", width, height, actual, expected.pixels, 3), "");
    Drop(picture);
}

TEST_F(SurfaceItems, SetterEdgeCases)
{
    // Priority only before Create.
    auto* picture = Created(new W2dPictureItem("UI_RED_TEX", -1.0f, nullptr), 5);
    EXPECT_EQ(picture->SetPriority(9), 0);
    EXPECT_EQ(picture->GetPriority(), 5);
    EXPECT_EQ(picture->GetSurface()->GetLayer(), 5);
    // Depth -1 draws plain, and its depth cannot be set.
    EXPECT_EQ(HbCastTo<W2dDepthSurface>(picture->GetSurface()), nullptr);
    EXPECT_EQ(picture->SetDepth(0.5f), 0);
    EXPECT_EQ(picture->Create(), 0); // one surface per item
    Drop(picture);

    struct DepthCase
    {
        float depth, newDepth;
        int32_t answer;
        float surfaceDepth;
    };
    for (const DepthCase& c :
         {DepthCase{0.5f, 0.7f, 1, 0.7f}, DepthCase{0.5f, 0.0f, 0, 0.5f}, DepthCase{0.0f, 0.7f, 0, 0.0f}})
    {
        auto* deep = Created(new W2dPictureItem("UI_RED_TEX", c.depth, nullptr));
        auto* surface = HbCastTo<W2dDepthSurface>(deep->GetSurface());
        ASSERT_NE(surface, nullptr) << c.depth;
        EXPECT_EQ(deep->SetDepth(c.newDepth), c.answer) << c.depth << " -> " << c.newDepth;
        EXPECT_FLOAT_EQ(surface->GetDepth(), c.surfaceDepth);
        Drop(deep);
    }

    // A gauge clamps its fill fraction.
    auto* gauge = Created(new W2dGaugeItem("UI_RED_TEX", -1.0f, nullptr, 13));
    ASSERT_NE(HbCastTo<W2dTranslucentSurface>(gauge->GetSurface()), nullptr);
    for (auto [value, kept] : {std::pair{-0.5f, 0.0f}, std::pair{1.5f, 1.0f}, std::pair{0.25f, 0.25f}})
    {
        EXPECT_EQ(gauge->SetValue(value), 1);
        EXPECT_FLOAT_EQ(gauge->GetValue(), kept) << value;
    }
    Drop(gauge);

    // Rotation adds and wraps only above 360.
    auto* blended = Created(new W2dBlendedPictureItem("UI_RED_TEX", -1.0f, nullptr));
    auto* turning = HbCastTo<W2dBlendedSurface>(blended->GetSurface());
    ASSERT_NE(turning, nullptr);
    EXPECT_EQ(turning->GetSourceBlend(), 5);
    EXPECT_EQ(turning->GetDestBlend(), 6);
    for (auto [from, by, to] : {std::tuple{350.0f, 30.0f, 20.0f}, std::tuple{-10.0f, -10.0f, -20.0f},
                                std::tuple{300.0f, 60.0f, 360.0f}, std::tuple{10.0f, 1000.0f, 290.0f}})
    {
        blended->SetRotation(from);
        blended->Rotate(by);
        EXPECT_FLOAT_EQ(blended->GetRotation(), to) << from << " + " << by;
        EXPECT_FLOAT_EQ(turning->GetAngle(), to);
    }
    blended->SetRotationCentre(0.5f, 0.25f);
    blended->SetBlendFactors(2, 2);
    EXPECT_FLOAT_EQ(turning->GetPivotX(), 0.5f);
    EXPECT_FLOAT_EQ(turning->GetPivotY(), 0.75f) << "the surface measures y upward";
    EXPECT_EQ(turning->GetSourceBlend(), 2);
    Drop(blended);

    // The picture keeps the texture's shape: 256 x 128 in 640 x 480.
    auto* wide = Created(new W2dPictureItem("UI_WIDE_TEX", -1.0f, nullptr));
    float tw = 0, th = 0;
    EXPECT_EQ(wide->GetTextureSize(&tw, &th), 1);
    EXPECT_EQ(tw, 256.0f);
    EXPECT_EQ(th, 128.0f);
    Vector size;
    EXPECT_EQ(wide->SetWidth(0.5f), 1);
    wide->GetSize(&size);
    EXPECT_FLOAT_EQ(size.x, 0.5f);
    EXPECT_NEAR(size.y, 1.0f / 3.0f, 1e-6f);
    EXPECT_EQ(wide->SetHeight(0.5f), 1);
    wide->GetSize(&size);
    EXPECT_NEAR(size.x, 0.75f, 1e-6f);
    EXPECT_FLOAT_EQ(size.y, 0.5f);
    Drop(wide);

    // A texture whose raster reports a zero side gives no shape either (instead of dividing by it).
    auto* flat = Created(new W2dPictureItem("UI_WIDE_TEX", -1.0f, nullptr));
    Raster* raster = flat->GetSurface()->GetTexture()->raster;
    for (int32_t* side : {&raster->width, &raster->height})
    {
        int32_t saved = *side;
        *side = 0;
        EXPECT_EQ(flat->SetWidth(0.5f), 0);
        EXPECT_EQ(flat->SetHeight(0.5f), 0);
        *side = saved;
    }
    Drop(flat);

    // A texture that cannot be had: no size, so neither setter.
    auto* missing = Created(new W2dPictureItem("UI_MISSING_TEX", -1.0f, nullptr));
    EXPECT_EQ(missing->GetTextureSize(&tw, &th), 0);
    EXPECT_EQ(missing->SetWidth(0.5f), 0);
    EXPECT_EQ(missing->SetHeight(0.5f), 0);
    Drop(missing);
}

TEST_F(SurfaceItems, CornerUVsGoRoundTheRectangleAndTheTextureCanBeReplaced)
{
    auto* picture = Created(new W2dPictureItem("UI_RED_TEX", -1.0f, nullptr));
    Vector2 uv[4];
    picture->GetCornerUVs(&uv[0], &uv[1], &uv[2], &uv[3]);
    const Vector2 expected[4] = {{0, 1}, {1, 1}, {1, 0}, {0, 0}};
    for (int i = 0; i < 4; ++i)
    {
        EXPECT_EQ(uv[i].x, expected[i].x) << i;
        EXPECT_EQ(uv[i].y, expected[i].y) << i;
    }
    picture->SetCornerUVs(0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f);
    picture->GetCornerUVs(&uv[0], &uv[1], &uv[2], &uv[3]);
    EXPECT_FLOAT_EQ(uv[3].x, 0.7f);
    EXPECT_FLOAT_EQ(uv[3].y, 0.8f);

    ::Texture* before = picture->GetSurface()->GetTexture();
    picture->SetTexture("UI_WIDE_TEX");
    EXPECT_NE(picture->GetSurface()->GetTexture(), before);
    EXPECT_EQ(picture->GetTextureId(), "UI_RED_TEX");
    Drop(picture);
}

TEST_F(SurfaceItems, TextItemsRoundTripTheirTextAndLocalizedTextsComeFromResources)
{
    mResources->Text("TX_MENU_DIFFICULTY_EASY_TXT", "Easy\n");
    EXPECT_EQ(GetLocalizedText("TX_MENU_DIFFICULTY_EASY_TXT"), "Easy");
    EXPECT_EQ(GetLocalizedText(""), "");
    EXPECT_EQ(GetLocalizedText(nullptr), "");
    EXPECT_EQ(GetLocalizedText("TX_NOT_DECLARED_TXT"), "");

    auto* text = new W2dTextGraphicItem("FONT", nullptr);
    text->AddRef();
    // Without a surface: an empty text and nothing to justify.
    text->SetText("lost");
    EXPECT_EQ(text->GetText(), "");
    EXPECT_EQ(text->SetJustify(1), 0);
    float height = -1.0f;
    EXPECT_EQ(text->GetCharHeight(&height), 0);
    // Placing needs a surface; a text item's surface starts where the item stood at Create, so one
    // created again comes back where it was.
    EXPECT_EQ(text->SetPosition({0.1f, 0.2f, 0.0f}), 0);
    EXPECT_EQ(text->SetCharHeight(0.04f), 1);
    EXPECT_EQ(text->Create(), 1);
    EXPECT_EQ(text->SetPosition({0.1f, 0.2f, 0.0f}), 1);
    EXPECT_EQ(text->SetSize({0.5f, 0.1f, 0.0f}), 1);
    EXPECT_EQ(text->Release(), 1);
    EXPECT_EQ(text->Create(), 1);
    float x, y, w, h;
    text->GetSurface()->GetRect(&x, &y, &w, &h);
    EXPECT_FLOAT_EQ(x, 0.1f);
    EXPECT_FLOAT_EQ(y, 0.2f);
    EXPECT_FLOAT_EQ(w, 0.5f);
    EXPECT_FLOAT_EQ(h, 0.1f);
    EXPECT_EQ(text->GetCharHeight(&height), 1);
    EXPECT_FLOAT_EQ(height, 0.04f);
    text->SetText(GetLocalizedText("TX_MENU_DIFFICULTY_EASY_TXT").c_str());
    EXPECT_EQ(text->GetText(), "Easy");
    EXPECT_EQ(text->SetJustify(2), 1);
    EXPECT_EQ(HbCastTo<W2dTextSurface>(text->GetSurface())->GetJustification(), W2dTextSurface::kRight);
    EXPECT_TRUE(HbClassDesc::IsKindOf(text, &W2dTextGraphicItem::sClassDesc));
    Drop(text);
}

TEST_F(SurfaceItems, AnItemDroppedWithoutReleaseTakesItsSurfaceOffTheScreen)
{
    int32_t before = Screen()->GetCount();
    auto* picture = Created(new W2dPictureItem("UI_RED_TEX", -1.0f, nullptr));
    picture->Show();
    auto* text = Created(new W2dTextGraphicItem("FONT", nullptr));
    EXPECT_EQ(Screen()->GetCount(), before + 2);
    picture->HbRoot::Release();
    text->HbRoot::Release();
    EXPECT_EQ(Screen()->GetCount(), before);
}

TEST_F(SurfaceItems, AnItemGivenAListDrawsThere)
{
    W2dSurfaceList list(mRenderer->GetMainCamera());
    int32_t before = Screen()->GetCount();
    auto* picture = Created(new W2dPictureItem("UI_RED_TEX", -1.0f, &list));
    EXPECT_EQ(list.GetCount(), 1);
    EXPECT_EQ(Screen()->GetCount(), before);
    Drop(picture);
    EXPECT_EQ(list.GetCount(), 0);
}

} // namespace
} // namespace uitest
