// W2dSurface: a rectangle drawn flat on the screen in fractions of it, with four corner
// colours, through the 2D toolkit and one brush shared by every surface; and the textured
// kinds (plain, drawn at a depth, rotated and blended). Image and text surfaces have their
// own headers.
#pragma once

#include "hbroot.h"
#include "raster.h"
#include "vector.h"

#include <cstdint>

class W2dSurfaceList;
struct Brush2d;
struct Camera;
struct Path2d;
struct Texture;

class W2dSurface : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    W2dSurface() = default;
    /// The rectangle from the screen's top left, in screen fractions.
    W2dSurface(float x, float y, float width, float height, int32_t layer);

    /// Stores x, the bottom edge measured from the bottom (1 - y - height), width, height.
    virtual void SetRect(float x, float y, float width, float height);
    /// As SetRect; classes that keep a drawing path do not rebuild it here.
    virtual void SetRectOnly(float x, float y, float width, float height);
    /// The rectangle as given to SetRect (top edge from the top).
    virtual void GetRect(float* x, float* y, float* width, float* height) const;
    virtual Texture* GetTexture() const { return nullptr; }
    /// 1 when the surface enters the list (it was in none), else 0.
    virtual int32_t OnInsert(W2dSurfaceList* list);
    /// 1 when the surface leaves the list (it was in one), else 0.
    virtual int32_t OnRemove(W2dSurfaceList* list);
    /// Inside the list's drawing: draws the surface.
    virtual void Render() {}
    /// 1 when the surface is to be drawn, with the shared brush set up for it.
    virtual int32_t PrepareBrush() { return 1; }
    /// Only the textured kinds take a texture.
    virtual void SetTexture(const char*) {}

    void Init(float x, float y, float width, float height, int32_t layer);
    /// Colours in the order top left, top right, bottom left, bottom right.
    void SetColor(const Rgba* topLeft, const Rgba* topRight, const Rgba* bottomLeft, const Rgba* bottomRight);
    void GetColor(Rgba* topLeft, Rgba* topRight, Rgba* bottomLeft, Rgba* bottomRight) const;
    /// False when the rectangle lies wholly off the screen (a rectangle touching an edge is on it).
    bool IsOnScreen() const;

    float GetX() const { return mX; }
    /// The stored bottom edge (top edge for text surfaces), from the bottom.
    float GetStoredY() const { return mY; }
    float GetWidth() const { return mWidth; }
    float GetHeight() const { return mHeight; }
    int32_t GetLayer() const { return mLayer; }
    int32_t IsVisible() const { return mVisible; }
    void SetVisible(int32_t visible) { mVisible = visible; }
    int32_t IsInserted() const { return mInserted; }

    // ---- The shared brush ---------------------------------------------------------------------------
    /// At game start; 1, or 0 when the brush cannot be made.
    static int32_t CreateBrush();
    /// At shut-down.
    static void DestroyBrush();
    /// The brush, or null outside CreateBrush/DestroyBrush.
    static Brush2d* GetBrush();

protected:
    /// The stored colours in the brush's corner order (bottom left, bottom right, top right, top left).
    void BrushColours(Rgba out[4]) const;

    float mX = 0.0f;
    float mY = 0.0f;
    float mWidth = 0.0f;
    float mHeight = 0.0f;
    Rgba mColors[4] = {};
    int32_t mLayer = 0;
    int32_t mVisible = 1;
    int32_t mInserted = 0;
};

/// A textured rectangle; its path is shared with every surface of the same size.
class W2dTexturedSurface : public W2dSurface
{
    HB_DECLARE_CLASS_DESC();

public:
    /// The texture with clamped addressing; an id the texture manager cannot resolve leaves none.
    W2dTexturedSurface(const char* textureId, float x, float y, float width, float height, int32_t layer);
    ~W2dTexturedSurface() override;

    void SetRect(float x, float y, float width, float height) override;
    Texture* GetTexture() const override { return mTexture; }
    int32_t PrepareBrush() override;
    void Render() override;
    /// Takes the new texture with clamped addressing.
    void SetTexture(const char* textureId) override;
    /// Takes the new texture without touching its addressing.
    void ReplaceTexture(const char* textureId);
    /// Texture coordinates in the brush's corner order.
    void SetUVs(const Vector2 uvs[4]);
    const Vector2* GetUVs() const { return mUVs; }
    Path2d* GetPath() const { return mPath; }

protected:
    /// The path filled at (x, storedY) under the current transformation.
    void DrawPath();

    Texture* mTexture = nullptr;
    Path2d* mPath = nullptr;
    Vector2 mUVs[4] = {{0.0f, 1.0f}, {1.0f, 1.0f}, {1.0f, 0.0f}, {0.0f, 0.0f}};
};

/// A textured rectangle drawn at its own depth with the depth test on.
class W2dDepthSurface : public W2dTexturedSurface
{
    HB_DECLARE_CLASS_DESC();

public:
    W2dDepthSurface(const char* textureId, float x, float y, float width, float height, int32_t layer, float depth);
    int32_t OnInsert(W2dSurfaceList* list) override;
    void Render() override;
    float GetDepth() const { return mDepth; }
    void SetDepth(float depth) { mDepth = depth; }

private:
    float mDepth;
    Camera* mCamera = nullptr;
};

/// A textured rectangle rotated about a pivot and alpha blended.
class W2dBlendedSurface : public W2dTexturedSurface
{
    HB_DECLARE_CLASS_DESC();

public:
    W2dBlendedSurface(const char* textureId, float x, float y, float width, float height, int32_t layer);
    void Render() override;
    void SetPivot(float x, float y)
    {
        mPivotX = x;
        mPivotY = y;
    }
    void SetAngle(float degrees) { mAngle = degrees; }
    float GetAngle() const { return mAngle; }
    float GetPivotX() const { return mPivotX; }
    float GetPivotY() const { return mPivotY; }
    void SetBlendFactors(int32_t source, int32_t dest)
    {
        mSourceBlend = source;
        mDestBlend = dest;
    }
    int32_t GetSourceBlend() const { return mSourceBlend; }
    int32_t GetDestBlend() const { return mDestBlend; }

private:
    float mPivotX = 0.0f;
    float mPivotY = 0.0f;
    float mAngle = 0.0f;
    int32_t mSourceBlend = 5;
    int32_t mDestBlend = 6;
};

namespace W2dSurfacePathCache
{
/// The shared path of a (0, 0, width, height) rectangle, one more use counted; null when
/// the path or its record cannot be made.
Path2d* Acquire(float width, float height);
/// One use fewer; the path is destroyed with its last use.
void Release(Path2d* path);
/// Paths held (for tests).
int32_t GetCount();
} // namespace W2dSurfacePathCache
