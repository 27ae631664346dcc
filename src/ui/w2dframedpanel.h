// W2dFramedPanel: the framed menus' look around any one 2D item: a translucent white background, a
// dark border with corners and a drop shadow. One picture per edge repeats its texture along the edge
// by scaling the picture's texture coordinates by the tiles it covers.
#pragma once

#include "w2dgenericitem.h"

#include <cstdint>

class W2dPictureItem;

class W2dFramedPanel : public W2dGenericItem
{
public:
    /// The tile unit in screen fractions.
    static constexpr float kTile = 0.03125f;
    static constexpr int32_t kShadowCount = 5;
    static constexpr int32_t kCornerCount = 4;

    /// An empty panel: no content, no pieces.
    W2dFramedPanel();
    ~W2dFramedPanel() override;

    /// Frames the content at the position, optionally over a background, around the size given or
    /// the content's own; the pieces are left hidden. 0 without content (nothing is built).
    int32_t Build(const Vector& position, W2dGenericItem* content, int32_t withBackground, const Vector* size);

    /// The content and every piece that exists.
    int32_t Show() override;
    void Hide() override;
    /// Releases the content and every piece and drops them, then the item's own Release; 1.
    int32_t Release() override;
    /// Moves the content and every piece by the displacement.
    int32_t SetPosition(const Vector& position) override;
    /// The content gets the colours; every piece white with the corners' alphas capped at 200.
    int32_t SetCornerColours(const Rgba& c0, const Rgba& c1, const Rgba& c2, const Rgba& c3) override;
    /// The content's colours.
    void GetCornerColours(Rgba* c0, Rgba* c1, Rgba* c2, Rgba* c3) override;

    // Inspection.
    int32_t GetColumns() const { return mColumns; }
    int32_t GetRows() const { return mRows; }
    /// The inside size the frame holds.
    float GetInsideWidth() const { return mInsideWidth; }
    float GetInsideHeight() const { return mInsideHeight; }
    W2dGenericItem* GetContent() const { return mContent; }
    W2dPictureItem* GetBackground() const { return mBackground; }
    /// 0 top, 1 left, 2 right, 3 bottom.
    W2dPictureItem* GetEdge(int32_t index) const { return mEdges[index]; }
    /// 0 top left, 1 top right, 2 bottom right, 3 bottom left.
    W2dPictureItem* GetCorner(int32_t index) const { return mCorners[index]; }
    /// 0 bottom, 1 right (none under four rows), 2 corner, 3 first angle, 4 second angle.
    W2dPictureItem* GetShadow(int32_t index) const { return mShadows[index]; }

private:
    /// The pieces that exist, in one array: background, edges, corners, shadows.
    template <typename F> void ForEachPiece(F function);
    /// Makes a hidden piece at its priority, size and position; null when it cannot be created.
    W2dPictureItem* MakePiece(const char* textureId, int32_t priority, float x, float y, float width, float height);
    void DropPieces();

    W2dGenericItem* mContent = nullptr;
    W2dPictureItem* mBackground = nullptr;
    W2dPictureItem* mEdges[4] = {};
    W2dPictureItem* mCorners[kCornerCount] = {};
    W2dPictureItem* mShadows[kShadowCount] = {};
    int32_t mColumns = 0;
    int32_t mRows = 0;
    float mInsideWidth = 0.0f;
    float mInsideHeight = 0.0f;
};
