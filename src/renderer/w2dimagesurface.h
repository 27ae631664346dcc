// W2dImageSurface: an image rectangle revealed by one of fourteen transitions, driven by an
// opacity (W2dTranslucentSurface) or by a timed fade on the real clock (W2dFadingSurface).
#pragma once

#include "w2dsurface.h"

#include <cstdint>

/// What a transition draws: the rectangle (stored form: x and the bottom edge from the
/// bottom), the texture coordinates and colours in the brush's corner order (bottom left,
/// bottom right, top right, top left; v = 0 at the texture's top).
struct W2dTransition
{
    float x, y, width, height;
    Vector2 uvs[4];
    Rgba colours[4];

    /// Kinds 0 (alpha) and 1 (brightness) scale colours; 2-4 top band (squeezed, sliding down,
    /// wiping down), 5-7 bottom band, 8-10 right band, 11-13 left band.
    static constexpr int32_t kNumKinds = 14;
    /// Fills the transition of a rectangle with colours in brush order at progress p.
    /// False for a kind outside 0-13: such a surface draws nothing.
    static bool Compute(int32_t kind, float p, float x, float y, float width, float height, const Rgba colours[4],
                        W2dTransition* out);
    /// Cuts the rectangle to the screen (0..1 on both axes), moving the texture coordinates of
    /// the cut edges so the part shown keeps its part of the texture.
    void ClipToScreen();
};

class W2dImageSurface : public W2dSurface
{
    HB_DECLARE_CLASS_DESC();

public:
    /// The texture as it is (addressing untouched); a path of its own holding the rectangle.
    W2dImageSurface(const char* textureId, int32_t kind, float x, float y, float width, float height, int32_t layer);
    ~W2dImageSurface() override;

    void SetRect(float x, float y, float width, float height) override;
    Texture* GetTexture() const override { return mTexture; }
    int32_t GetKind() const { return mKind; }
    void SetKind(int32_t kind) { mKind = kind; }
    /// What the last draw drew.
    const W2dTransition& GetDrawn() const { return mDrawn; }

protected:
    /// Sets the shared brush's texture (only when it differs), drawn colours and coordinates.
    void LoadBrush();

    Texture* mTexture = nullptr;
    Path2d* mPath = nullptr;
    int32_t mKind;
    W2dTransition mDrawn = {};
};

class W2dTranslucentSurface : public W2dImageSurface
{
    HB_DECLARE_CLASS_DESC();

public:
    W2dTranslucentSurface(const char* textureId, int32_t kind, float x, float y, float width, float height,
                          int32_t layer);
    /// Refused (and left unmarked) without a texture; on entry the opacity becomes 0.7.
    int32_t OnInsert(W2dSurfaceList* list) override;
    int32_t OnRemove(W2dSurfaceList* list) override;
    void Render() override;
    /// Clamped to 0..1.
    void SetOpacity(float opacity);
    float GetOpacity() const { return mOpacity; }

private:
    float mOpacity = 0.0f;
};

class W2dFadingSurface : public W2dImageSurface
{
    HB_DECLARE_CLASS_DESC();

public:
    /// Hidden (level 0), not fading; the duration in performance-counter ticks.
    W2dFadingSurface(const char* textureId, int64_t duration, int32_t kind, float x, float y, float width, float height,
                     int32_t layer);
    void Render() override;

    void SetFadeDuration(int64_t ticks) { mDuration = ticks; }
    /// Starts fading in from the present level, over the part of the duration still to go.
    void Show();
    /// Starts fading out from the present level.
    void Hide();
    /// Jumps to level 1 or 0 without fading.
    void SetShown(int32_t shown);
    /// 1 when no fade is under way.
    int32_t IsFadeDone() const { return mFading ? 0 : 1; }
    /// Brings the level up to date with the real clock; the level.
    float UpdateLevel();
    float GetLevel() const { return mLevel; }
    int32_t IsShown() const { return mShown; }

private:
    int32_t mShown = 0;
    int64_t mDuration;
    int64_t mRemaining = 0;
    float mStartLevel = 0.0f;
    float mLevel = 0.0f;
    int32_t mFading = 0;
    int64_t mStartTime = 0;
};
