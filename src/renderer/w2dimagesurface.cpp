// Image surfaces: the transitions, the translucent and the fading kinds.
#include "w2dimagesurface.h"

#include "w2dsurfacelist.h"
#include "wtexturemanager.h"

#include "brush2d.h"
#include "hbclock.h"
#include "path2d.h"
#include "texture.h"
#include "toolkit2d.h"

#include <algorithm>

HB_DEFINE_CLASS_DESC(W2dImageSurface, W2dSurface);
HB_DEFINE_CLASS_DESC(W2dTranslucentSurface, W2dImageSurface);
HB_DEFINE_CLASS_DESC(W2dFadingSurface, W2dImageSurface);

namespace
{
enum Corner
{
    kBottomLeft = 0,
    kBottomRight = 1,
    kTopRight = 2,
    kTopLeft = 3,
};

uint8_t Scale(uint8_t value, float p)
{
    return uint8_t(float(value) * p);
}

void SetRows(W2dTransition* t, float top, float bottom)
{
    t->uvs[kTopLeft].y = t->uvs[kTopRight].y = top;
    t->uvs[kBottomLeft].y = t->uvs[kBottomRight].y = bottom;
}

void SetColumns(W2dTransition* t, float left, float right)
{
    t->uvs[kTopLeft].x = t->uvs[kBottomLeft].x = left;
    t->uvs[kTopRight].x = t->uvs[kBottomRight].x = right;
}
} // namespace

bool W2dTransition::Compute(int32_t kind, float p, float x, float y, float width, float height, const Rgba colours[4],
                            W2dTransition* out)
{
    if (kind < 0 || kind >= kNumKinds)
        return false;
    W2dTransition& t = *out;
    t.x = x;
    t.y = y;
    t.width = width;
    t.height = height;
    SetRows(&t, 0.0f, 1.0f);
    SetColumns(&t, 0.0f, 1.0f);
    for (int32_t i = 0; i < 4; ++i)
    {
        t.colours[i] = colours[i];
        if (kind == 0)
            t.colours[i].alpha = Scale(colours[i].alpha, p);
        else if (kind == 1)
        {
            t.colours[i].red = Scale(colours[i].red, p);
            t.colours[i].green = Scale(colours[i].green, p);
            t.colours[i].blue = Scale(colours[i].blue, p);
        }
    }
    if (kind >= 2 && kind <= 4)
    {
        t.y = y + (1.0f - p) * height;
        t.height = p * height;
    }
    else if (kind >= 5 && kind <= 7)
        t.height = p * height;
    else if (kind >= 8 && kind <= 10)
    {
        t.x = x + (1.0f - p) * width;
        t.width = p * width;
    }
    else if (kind >= 11)
        t.width = p * width;
    switch (kind)
    {
    case 3:
    case 7:
        SetRows(&t, 1.0f - p, 1.0f);
        break;
    case 4:
    case 6:
        SetRows(&t, 0.0f, p);
        break;
    case 9:
    case 13:
        SetColumns(&t, 0.0f, p);
        break;
    case 10:
    case 12:
        SetColumns(&t, 1.0f - p, 1.0f);
        break;
    default:
        break;
    }
    return true;
}

void W2dTransition::ClipToScreen()
{
    // Horizontally: the left corners are 0 (bottom) and 3 (top), the right ones 1 and 2.
    if (x < 0.0f)
    {
        float f = width > 0.0f ? -x / width : 0.0f;
        uvs[kBottomLeft].x += (uvs[kBottomRight].x - uvs[kBottomLeft].x) * f;
        uvs[kTopLeft].x += (uvs[kTopRight].x - uvs[kTopLeft].x) * f;
        width = x + width;
        x = 0.0f;
    }
    else if (x >= 1.0f)
    {
        x = 1.0f;
        width = 0.0f;
    }
    if (x + width > 1.0f && width > 0.0f)
    {
        float f = (1.0f - x) / width;
        uvs[kBottomRight].x = uvs[kBottomLeft].x + f * (uvs[kBottomRight].x - uvs[kBottomLeft].x);
        uvs[kTopRight].x = uvs[kTopLeft].x + f * (uvs[kTopRight].x - uvs[kTopLeft].x);
        width = 1.0f - x;
    }
    // Vertically (y up): a bottom cut moves the bottom corners' v, a top cut the top ones'.
    if (y < 0.0f)
    {
        float f = height > 0.0f ? -y / height : 0.0f;
        uvs[kBottomLeft].y += (uvs[kTopLeft].y - uvs[kBottomLeft].y) * f;
        uvs[kBottomRight].y += (uvs[kTopRight].y - uvs[kBottomRight].y) * f;
        height = y + height;
        y = 0.0f;
    }
    else if (y >= 1.0f)
    {
        y = 1.0f;
        height = 0.0f;
    }
    if (y + height > 1.0f && height > 0.0f)
    {
        float f = (1.0f - y) / height;
        uvs[kTopLeft].y = uvs[kBottomLeft].y + f * (uvs[kTopLeft].y - uvs[kBottomLeft].y);
        uvs[kTopRight].y = uvs[kBottomRight].y + f * (uvs[kTopRight].y - uvs[kBottomRight].y);
        height = 1.0f - y;
    }
    width = std::clamp(width, 0.0f, 1.0f);
    height = std::clamp(height, 0.0f, 1.0f);
}

// ---- Image surface ----------------------------------------------------------------------------------------

W2dImageSurface::W2dImageSurface(const char* textureId, int32_t kind, float x, float y, float width, float height,
                                 int32_t layer)
    : W2dSurface(x, y, width, height, layer), mKind(kind)
{
    WTextureManager* manager = WTextureManager::Instance();
    mTexture = manager && textureId ? manager->GetTexture(textureId) : nullptr;
    mPath = Path2d::Create();
    if (mPath)
        Path2d::AddRectangle(mPath, 0.0f, 0.0f, width, height);
}

W2dImageSurface::~W2dImageSurface()
{
    if (mTexture)
        Texture::Destroy(mTexture);
    if (mPath)
        Path2d::Destroy(mPath);
}

void W2dImageSurface::SetRect(float x, float y, float width, float height)
{
    W2dSurface::SetRect(x, y, width, height);
    if (mPath)
    {
        Path2d::Empty(mPath);
        Path2d::AddRectangle(mPath, 0.0f, 0.0f, width, height);
    }
}

void W2dImageSurface::LoadBrush()
{
    Brush2d* brush = GetBrush();
    if (brush->texture != mTexture)
        Brush2d::SetTexture(brush, mTexture);
    const Rgba* c = mDrawn.colours;
    Brush2d::SetColors(brush, &c[0], &c[1], &c[2], &c[3]);
    const Vector2* uv = mDrawn.uvs;
    Brush2d::SetUVs(brush, &uv[0], &uv[1], &uv[2], &uv[3]);
}

// ---- Translucent ----------------------------------------------------------------------------------------------

W2dTranslucentSurface::W2dTranslucentSurface(const char* textureId, int32_t kind, float x, float y, float width,
                                             float height, int32_t layer)
    : W2dImageSurface(textureId, kind, x, y, width, height, layer)
{
}

int32_t W2dTranslucentSurface::OnInsert(W2dSurfaceList*)
{
    // Marked only when accepted, so a surface refused for want of a texture may enter later.
    if (mInserted || !mTexture)
        return 0;
    mInserted = 1;
    mOpacity = 0.7f;
    return 1;
}

int32_t W2dTranslucentSurface::OnRemove(W2dSurfaceList* list)
{
    return W2dSurface::OnRemove(list);
}

void W2dTranslucentSurface::SetOpacity(float opacity)
{
    mOpacity = std::clamp(opacity, 0.0f, 1.0f);
}

void W2dTranslucentSurface::Render()
{
    if (!IsOnScreen() || !GetBrush())
        return;
    Rgba colours[4];
    BrushColours(colours);
    if (!W2dTransition::Compute(mKind, mOpacity, mX, mY, mWidth, mHeight, colours, &mDrawn))
        return;
    Transform2d::Push();
    Transform2d::Translate(mDrawn.x, mDrawn.y);
    if (mKind >= 2 && mKind <= 7)
        Transform2d::Scale(1.0f, mOpacity);
    else if (mKind >= 8)
        Transform2d::Scale(mOpacity, 1.0f);
    if (mPath)
    {
        LoadBrush();
        Path2d::FillAllWithBrush(mPath, GetBrush());
    }
    Transform2d::Pop();
}

// ---- Fading -------------------------------------------------------------------------------------------------------

W2dFadingSurface::W2dFadingSurface(const char* textureId, int64_t duration, int32_t kind, float x, float y, float width,
                                   float height, int32_t layer)
    : W2dImageSurface(textureId, kind, x, y, width, height, layer), mDuration(duration)
{
}

namespace
{
int64_t Now()
{
    HbRealClock* clock = HbRealClock::Instance();
    return clock ? clock->mCurrentTime : 0;
}
} // namespace

void W2dFadingSurface::Show()
{
    if (mShown)
        return;
    mFading = 1;
    mShown = 1;
    mStartLevel = mLevel;
    mRemaining = int64_t(double(mDuration) * (1.0 - double(mLevel)));
    mStartTime = Now();
}

void W2dFadingSurface::Hide()
{
    if (!mShown)
        return;
    mFading = 1;
    mShown = 0;
    mStartLevel = mLevel;
    mRemaining = int64_t(double(mDuration) * double(mLevel));
    mStartTime = Now();
}

void W2dFadingSurface::SetShown(int32_t shown)
{
    mRemaining = 0;
    mShown = shown;
    mStartLevel = mLevel = shown ? 1.0f : 0.0f;
}

float W2dFadingSurface::UpdateLevel()
{
    float target = mShown ? 1.0f : 0.0f;
    if (mRemaining == 0)
    {
        mLevel = target;
        return mLevel;
    }
    int64_t elapsed = Now() - mStartTime;
    if (elapsed <= mRemaining)
        mLevel = mStartLevel + (target - mStartLevel) * float(double(elapsed) / double(mRemaining));
    else
    {
        mLevel = target;
        mFading = 0;
    }
    return mLevel;
}

void W2dFadingSurface::Render()
{
    if (!IsOnScreen() || !GetBrush())
        return;
    UpdateLevel();
    Rgba colours[4];
    BrushColours(colours);
    if (!W2dTransition::Compute(mKind, mLevel, mX, mY, mWidth, mHeight, colours, &mDrawn))
        return;
    mDrawn.ClipToScreen();
    if (!mPath)
        return;
    Path2d::Empty(mPath);
    Path2d::AddRectangle(mPath, mDrawn.x, mDrawn.y, mDrawn.width, mDrawn.height);
    Brush2d* brush = GetBrush();
    static constexpr Rgba kWhite = {255, 255, 255, 255};
    static constexpr Vector2 kZero = {0.0f, 0.0f};
    Brush2d::SetColors(brush, &kWhite, &kWhite, &kWhite, &kWhite);
    Brush2d::SetUVs(brush, &kZero, &kZero, &kZero, &kZero);
    Brush2d::SetTexture(brush, nullptr);
    Brush2d::SetHalfWidth(brush, 0.5f);
    LoadBrush();
    Path2d::FillAllWithBrush(mPath, brush);
}
