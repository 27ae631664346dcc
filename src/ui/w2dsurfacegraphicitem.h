// Surface-backed items: the item that holds one renderer 2D surface and forwards its position, size,
// colours and visibility to it, and the pictures (plain, at a depth, blended and turning, gauges)
// built on it. While a surface exists the item's position and size are read back from it.
#pragma once

#include "w2dgenericitem.h"

#include <cstdint>
#include <string>

class W2dSurface;
class W2dSurfaceList;

class W2dSurfaceGraphicItem : public W2dGenericItem
{
    HB_DECLARE_CLASS_DESC();

public:
    /// A null list means the renderer's default 2D surface list.
    explicit W2dSurfaceGraphicItem(W2dSurfaceList* list);
    /// Takes the surface out of its list, so an item dropped without Release leaves nothing on screen.
    ~W2dSurfaceGraphicItem() override;

    // Without a surface these answer 0 and do nothing.
    int32_t Show() override;
    void Hide() override;
    /// The base Release, then the surface leaves its list and the item has none; 1.
    int32_t Release() override;
    int32_t SetPosition(const Vector& position) override;
    int32_t SetSize(const Vector& size) override;
    int32_t SetCornerColours(const Rgba& c0, const Rgba& c1, const Rgba& c2, const Rgba& c3) override;
    void GetCornerColours(Rgba* c0, Rgba* c1, Rgba* c2, Rgba* c3) override;
    int32_t GetPosition(Vector* position) override;
    int32_t GetSize(Vector* size) override;

    /// Stores the sort layer for the surface to come; 0 once a surface exists.
    virtual int32_t SetPriority(int32_t layer);
    virtual int32_t GetPriority() const;

    // Rotation and blending act on a blended surface; other surfaces ignore them (rotation 0).
    void SetRotation(float degrees);
    float GetRotation() const;
    /// Adds the angle, then takes 360 off while the result is above 360 (negative angles stay).
    void Rotate(float degrees);
    void SetRotationCentre(float x, float y);
    void SetBlendFactors(int32_t source, int32_t dest);

    W2dSurface* GetSurface() const { return mSurface; }
    W2dSurfaceList* GetSurfaceList() const;

protected:
    /// What the subclasses' Create share: 0 when a surface exists; else the base Create, the surface
    /// given the priority and the rectangle 0, 0, 1, 1 by its maker, inserted into the list.
    int32_t CreateWith(W2dSurface* surface);
    /// The surface out of its list and the item's reference on it dropped.
    void DropSurface();

    W2dSurface* mSurface = nullptr;
    int32_t mPriority = 0;

private:
    W2dSurfaceList* mList;
};

/// A textured picture: a plain textured surface for a depth below 0, else one drawn at that depth.
class W2dPictureItem : public W2dSurfaceGraphicItem
{
public:
    W2dPictureItem(const char* textureId, float depth, W2dSurfaceList* list);

    int32_t Create() override;
    /// Keep the texture's shape on the screen: the other side follows from the texture's and the
    /// window's pixel sizes. 0 when the texture's size cannot be read or is zero.
    int32_t SetWidth(float width) override;
    int32_t SetHeight(float height) override;

    /// The texture's pixel size; 0 without a textured surface.
    virtual int32_t GetTextureSize(float* width, float* height);
    /// Only for an item drawn at a depth above 0 given a depth above 0.
    virtual int32_t SetDepth(float depth);
    /// Texture coordinates of corners 0 to 3 in the surface's own order (bottom left, bottom right,
    /// top right, top left), which goes round the rectangle.
    virtual void GetCornerUVs(Vector2* c0, Vector2* c1, Vector2* c2, Vector2* c3);
    virtual void SetCornerUVs(float u0, float v0, float u1, float v1, float u2, float v2, float u3, float v3);
    /// Replaces the surface's texture (not a gauge's); a later Create uses the stored identifier.
    virtual void SetTexture(const char* textureId);
    /// Gauges only: the fill fraction, clamped to 0..1; 1.
    virtual int32_t SetValue(float value);

    const std::string& GetTextureId() const { return mTextureId; }
    float GetDepth() const { return mDepth; }

protected:
    std::string mTextureId;
    float mDepth;
};

/// A picture alpha blended (blend factors 5 and 6) that can turn about a centre.
class W2dBlendedPictureItem : public W2dPictureItem
{
public:
    W2dBlendedPictureItem(const char* textureId, float depth, W2dSurfaceList* list)
        : W2dPictureItem(textureId, depth, list)
    {
    }
    int32_t Create() override;
};

/// A picture filled to a fraction with a transition kind of the renderer (13 for the head-up display).
class W2dGaugeItem : public W2dPictureItem
{
public:
    W2dGaugeItem(const char* textureId, float depth, W2dSurfaceList* list, int32_t fillKind)
        : W2dPictureItem(textureId, depth, list), mFillKind(fillKind)
    {
    }
    int32_t Create() override;
    void SetTexture(const char*) override {}
    int32_t SetValue(float value) override;
    float GetValue() const;

private:
    int32_t mFillKind;
};
