// Text surfaces: word wrap and justified lines.
#include "w2dtextsurface.h"

#include "w2dsurfacelist.h"
#include "wfontmanager.h"

#include "brush2d.h"
#include "font2d.h"
#include "texture.h"
#include "toolkit2d.h"

HB_DEFINE_CLASS_DESC(W2dTextSurface, W2dSurface);

W2dTextSurface::W2dTextSurface(const char* fontName, float x, float y, float width, float height, int32_t layer)
    : W2dSurface(x, y, width, height, layer), mFontName(fontName ? fontName : "")
{
    mY = 1.0f - y;
}

void W2dTextSurface::SetRect(float x, float y, float width, float height)
{
    W2dSurface::SetRect(x, y, width, height);
    mY = 1.0f - y;
}

void W2dTextSurface::SetRectOnly(float x, float y, float width, float height)
{
    SetRect(x, y, width, height);
}

void W2dTextSurface::GetRect(float* x, float* y, float* width, float* height) const
{
    *x = mX;
    *y = 1.0f - mY;
    *width = mWidth;
    *height = mHeight;
}

namespace
{
Texture* First(Texture* texture, void* data)
{
    *static_cast<Texture**>(data) = texture;
    return nullptr;
}
} // namespace

Texture* W2dTextSurface::GetTexture() const
{
    if (!mFont)
        return nullptr;
    Texture* first = nullptr;
    if (TextureDictionary* dictionary = Font2d::GetTextureDictionary())
        TextureDictionary::ForAllTextures(dictionary, First, &first);
    return first;
}

int32_t W2dTextSurface::OnInsert(W2dSurfaceList* list)
{
    if (mInserted)
        return 0;
    mInserted = 1;
    if (list)
        Device2d::SetCamera(list->GetCamera());
    if (WFontManager* fonts = WFontManager::Instance())
        mFont = fonts->GetFont(mFontName.c_str());
    return 1;
}

void W2dTextSurface::SetJustification(int32_t code)
{
    if (code == kSetCentred)
        mJustification = kCentred;
    else if (code == kSetLeft)
        mJustification = kLeft;
    else if (code == kSetRight)
        mJustification = kRight;
}

float W2dTextSurface::LineWidth(const std::string& line) const
{
    return mFont ? Font2d::GetStringWidth(mFont, line.c_str(), mTextHeight) : 0.0f;
}

void W2dTextSurface::WrapLine(std::string* current)
{
    if (LineWidth(*current) < mWidth)
        return;
    size_t space = current->rfind(' ');
    if (space == std::string::npos)
    {
        if (!current->empty())
            mLines.push_back(*current);
        current->clear();
        return;
    }
    if (space > 0)
        mLines.push_back(current->substr(0, space));
    current->erase(0, space);
}

void W2dTextSurface::SetText(const char* text)
{
    mText = text ? text : "";
    mLines.clear();
    std::string current;
    for (char c : mText)
    {
        if (c == '\n' || c == '\r')
        {
            WrapLine(&current);
            if (c == '\n' || !current.empty())
                mLines.push_back(current);
            current.clear();
        }
        else
        {
            if (c == ' ')
                WrapLine(&current);
            current.push_back(c);
        }
    }
    WrapLine(&current);
    if (!current.empty())
        mLines.push_back(current);
}

float W2dTextSurface::GetLineX(int32_t index) const
{
    float width = LineWidth(GetLine(index));
    if (mJustification == kCentred)
        return mX + (mWidth - width) / 2.0f;
    if (mJustification == kRight)
        return mX + mWidth - width;
    return mX;
}

void W2dTextSurface::Render()
{
    Brush2d* brush = GetBrush();
    if (!IsOnScreen() || !brush || !mFont)
        return;
    Transform2d::Push();
    Transform2d::SetIdentity();
    Rgba colours[4];
    BrushColours(colours);
    Brush2d::SetColors(brush, &colours[0], &colours[1], &colours[2], &colours[3]);
    Brush2d::SetHalfWidth(brush, mTextHeight / 2.0f);
    float total = float(mLines.size()) * mTextHeight;
    float top = mY;
    if (total <= mHeight)
        top -= (mHeight - total) / 2.0f;
    for (int32_t i = 0; i < GetLineCount(); ++i)
    {
        // Each line's baseline sits one text height under the previous one's, the first
        // one text height under the top, so the text stays inside its box.
        top -= mTextHeight;
        Vector2 anchor = {GetLineX(i), top};
        Font2d::RenderString(mFont, mLines[size_t(i)].c_str(), mTextHeight, &anchor, brush);
    }
    Transform2d::Pop();
}
