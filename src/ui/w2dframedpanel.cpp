// The framed panel: its frame rounded up to the tile grid, one picture per edge, corners and shadows.
#include "w2dframedpanel.h"

#include "hbroot.h"
#include "w2dsurfacegraphicitem.h"
#include "w2dtextgraphicitem.h"

#include <cmath>

namespace
{
constexpr float kHalfTile = 0.015625f;
constexpr int32_t kBackgroundPriority = 80;
constexpr int32_t kBorderPriority = 100;
constexpr int32_t kShadowPriority = 95;
constexpr uint8_t kFrameAlpha = 200;

const char* const kBackgroundTexture = "FE_MAIN_WHITE_BACKGROUND_TEX";
const char* const kBorderTexture = "FE_MAIN_BORDER_TEX";
const char* const kCornerTexture = "FE_MAIN_BORDER_CORNER_TEX";
const char* const kBorderShadowTexture = "FE_MAIN_BORDER_SHADOW_TEX";
const char* const kCornerShadowTexture = "FE_MAIN_CORNER_SHADOW_TEX";
const char* const kAngleShadowTexture = "FE_MAIN_ANGLE_SHADOW_TEX";

enum UvChange
{
    kAsCreated,
    kScaleU,
    kScaleV,
};

/// Scales one coordinate of every corner by k.
void ScaleUVs(W2dPictureItem* piece, UvChange change, float k)
{
    if (!piece || change == kAsCreated)
        return;
    Vector2 c[4];
    piece->GetCornerUVs(&c[0], &c[1], &c[2], &c[3]);
    for (Vector2& uv : c)
    {
        if (change == kScaleU)
            uv.x *= k;
        else
            uv.y *= k;
    }
    piece->SetCornerUVs(c[0].x, c[0].y, c[1].x, c[1].y, c[2].x, c[2].y, c[3].x, c[3].y);
}

/// Corner i takes what corner (i + shift) mod 4 had; flipV replaces each v by 1 - v.
void TurnUVs(W2dPictureItem* piece, int32_t shift, bool flipV)
{
    if (!piece)
        return;
    Vector2 old[4];
    piece->GetCornerUVs(&old[0], &old[1], &old[2], &old[3]);
    Vector2 c[4];
    for (int32_t i = 0; i < 4; ++i)
    {
        c[i] = old[(i + shift) % 4];
        if (flipV)
            c[i].y = 1.0f - c[i].y;
    }
    piece->SetCornerUVs(c[0].x, c[0].y, c[1].x, c[1].y, c[2].x, c[2].y, c[3].x, c[3].y);
}

void Drop(W2dGenericItem*& item, bool release)
{
    if (!item)
        return;
    W2dGenericItem* held = item;
    item = nullptr;
    if (release)
        held->Release();
    held->HbRoot::Release();
}
} // namespace

W2dFramedPanel::W2dFramedPanel() = default;

W2dFramedPanel::~W2dFramedPanel()
{
    // Dropping the last reference takes each piece's surface off the screen.
    Drop(mContent, false);
    DropPieces();
}

template <typename F> void W2dFramedPanel::ForEachPiece(F function)
{
    if (mBackground)
        function(mBackground);
    for (W2dPictureItem* piece : mEdges)
        if (piece)
            function(piece);
    for (W2dPictureItem* piece : mCorners)
        if (piece)
            function(piece);
    for (W2dPictureItem* piece : mShadows)
        if (piece)
            function(piece);
}

void W2dFramedPanel::DropPieces()
{
    auto drop = [](W2dPictureItem*& piece)
    {
        W2dGenericItem* item = piece;
        piece = nullptr;
        Drop(item, false);
    };
    drop(mBackground);
    for (W2dPictureItem*& piece : mEdges)
        drop(piece);
    for (W2dPictureItem*& piece : mCorners)
        drop(piece);
    for (W2dPictureItem*& piece : mShadows)
        drop(piece);
}

W2dPictureItem* W2dFramedPanel::MakePiece(const char* textureId, int32_t priority, float x, float y, float width,
                                          float height)
{
    auto* piece = new W2dPictureItem(textureId, -1.0f, nullptr);
    if (!piece)
        return nullptr;
    piece->AddRef();
    piece->SetPriority(priority);
    if (!piece->Create())
    {
        piece->HbRoot::Release();
        return nullptr;
    }
    piece->SetSize({width, height, 0.0f});
    piece->SetPosition({x, y, 0.0f});
    piece->Hide();
    return piece;
}

int32_t W2dFramedPanel::Build(const Vector& position, W2dGenericItem* content, int32_t withBackground,
                              const Vector* size)
{
    if (!content)
        return 0;
    // A panel built again lets its old frame go first.
    Drop(mContent, false);
    DropPieces();

    mPosition = position;
    mContent = content;
    content->AddRef();
    Vector framed;
    if (size)
        framed = *size;
    else
        content->GetSize(&framed);

    int32_t columns = int32_t(std::ceil(framed.x * 32.0f));
    int32_t rows = int32_t(std::ceil(framed.y * 32.0f)) + 1;
    if (rows < 3)
        rows = 3;
    if (columns < 0)
        columns = 0;
    mColumns = columns;
    mRows = rows;
    const float u = kTile;
    const float W = float(columns) * u;
    const float H = float(rows - 1) * u;
    mInsideWidth = W;
    mInsideHeight = H;
    const float px = position.x, py = position.y;

    Vector contentAt, contentSize;
    content->GetPosition(&contentAt);
    content->GetSize(&contentSize);
    if (withBackground)
    {
        mBackground = MakePiece(kBackgroundTexture, kBackgroundPriority, px - kHalfTile, py + kHalfTile, W, H);
        if (mBackground)
            mBackground->SetColour({255, 255, 255, kFrameAlpha});
        float x = px - kHalfTile + (W - contentSize.x) / 2.0f;
        float y;
        float charHeight = 0.0f;
        auto* text = HbCastTo<W2dTextGraphicItem>(content);
        if (text && text->GetCharHeight(&charHeight))
            y = py + (contentSize.y + charHeight) / 2.0f;
        else if (text)
            y = py + contentSize.y / 2.0f;
        else
            y = py + kHalfTile + (H - contentSize.y) / 2.0f;
        content->SetPosition({x, y, contentAt.z});
    }
    else
    {
        content->SetPosition({px - kHalfTile, py + kHalfTile, contentAt.z});
        content->SetSize({W, H, contentSize.z});
    }

    const float c = float(columns), r = float(rows);
    W2dPictureItem*& bottomEdge = mEdges[3];
    bottomEdge = MakePiece(kBorderTexture, kBorderPriority, px, py + H, W - u, u);
    ScaleUVs(bottomEdge, kScaleV, c - 1.0f);
    mShadows[0] = MakePiece(kBorderShadowTexture, kShadowPriority, px, py + H, W - u, u);
    ScaleUVs(mShadows[0], kScaleU, c - 1.0f);
    mEdges[0] = MakePiece(kBorderTexture, kBorderPriority, px, py, W - u, u);
    ScaleUVs(mEdges[0], kScaleV, c - 1.0f);
    mEdges[1] = MakePiece(kBorderTexture, kBorderPriority, px - u, py + u, u, (r - 2.0f) * u);
    ScaleUVs(mEdges[1], kScaleV, r - 2.0f);
    mEdges[2] = MakePiece(kBorderTexture, kBorderPriority, px + W - u, py + u, u, (r - 2.0f) * u);
    ScaleUVs(mEdges[2], kScaleV, r - 2.0f);
    if (rows > 3)
    {
        mShadows[1] = MakePiece(kBorderShadowTexture, kShadowPriority, px + W - u, py + 2.0f * u, u, (r - 3.0f) * u);
        ScaleUVs(mShadows[1], kScaleU, r - 2.0f);
    }
    mShadows[2] = MakePiece(kCornerShadowTexture, kShadowPriority, px + W - u, py + H, u, u);
    mShadows[3] = MakePiece(kAngleShadowTexture, kShadowPriority, px + W - u, py + u, u, u);
    mCorners[0] = MakePiece(kCornerTexture, kBorderPriority, px - u, py, u, u);
    mCorners[1] = MakePiece(kCornerTexture, kBorderPriority, px + W - u, py, u, u);
    TurnUVs(mCorners[1], 1, false);
    mCorners[2] = MakePiece(kCornerTexture, kBorderPriority, px + W - u, py + H, u, u);
    TurnUVs(mCorners[2], 2, false);
    mCorners[3] = MakePiece(kCornerTexture, kBorderPriority, px - u, py + H, u, u);
    TurnUVs(mCorners[3], 3, false);
    mShadows[4] = MakePiece(kAngleShadowTexture, kShadowPriority, px - u, py + H, u, u);
    TurnUVs(mShadows[4], 1, true);
    return 1;
}

int32_t W2dFramedPanel::Show()
{
    W2dGenericItem::Show();
    if (mContent)
        mContent->Show();
    ForEachPiece([](W2dPictureItem* piece) { piece->Show(); });
    return 1;
}

void W2dFramedPanel::Hide()
{
    W2dGenericItem::Hide();
    if (mContent)
        mContent->Hide();
    ForEachPiece([](W2dPictureItem* piece) { piece->Hide(); });
}

int32_t W2dFramedPanel::Release()
{
    Drop(mContent, true);
    ForEachPiece([](W2dPictureItem* piece) { piece->Release(); });
    DropPieces();
    return W2dGenericItem::Release();
}

int32_t W2dFramedPanel::SetPosition(const Vector& position)
{
    const float dx = position.x - mPosition.x, dy = position.y - mPosition.y, dz = position.z - mPosition.z;
    auto move = [dx, dy, dz](W2dGenericItem* item)
    {
        Vector at;
        item->GetPosition(&at);
        item->SetPosition({at.x + dx, at.y + dy, at.z + dz});
    };
    if (mContent)
        move(mContent);
    ForEachPiece(move);
    mPosition = position;
    return 1;
}

int32_t W2dFramedPanel::SetCornerColours(const Rgba& c0, const Rgba& c1, const Rgba& c2, const Rgba& c3)
{
    if (mContent)
        mContent->SetCornerColours(c0, c1, c2, c3);
    auto frame = [](const Rgba& c) -> Rgba { return {255, 255, 255, c.alpha > kFrameAlpha ? kFrameAlpha : c.alpha}; };
    const Rgba f0 = frame(c0), f1 = frame(c1), f2 = frame(c2), f3 = frame(c3);
    ForEachPiece([&](W2dPictureItem* piece) { piece->SetCornerColours(f0, f1, f2, f3); });
    return 1;
}

void W2dFramedPanel::GetCornerColours(Rgba* c0, Rgba* c1, Rgba* c2, Rgba* c3)
{
    if (mContent)
        mContent->GetCornerColours(c0, c1, c2, c3);
}
