// W2dTextSurface: a box of text, word wrapped to its width, drawn with a font of the font
// manager.
#pragma once

#include "w2dsurface.h"

#include <cstdint>
#include <string>
#include <vector>

struct Font2d;

class W2dTextSurface : public W2dSurface
{
    HB_DECLARE_CLASS_DESC();

public:
    // Codes SetJustification takes (the user interface's).
    static constexpr int32_t kSetCentred = 0;
    static constexpr int32_t kSetLeft = 1;
    static constexpr int32_t kSetRight = 2;
    // Codes the surface stores.
    static constexpr int32_t kLeft = 0;
    static constexpr int32_t kCentred = 1;
    static constexpr int32_t kRight = 2;

    /// Empty text, left justified; the font is fetched when the surface enters a list.
    W2dTextSurface(const char* fontName, float x, float y, float width, float height, int32_t layer);

    /// Stores the top edge (1 - y).
    void SetRect(float x, float y, float width, float height) override;
    void SetRectOnly(float x, float y, float width, float height) override;
    void GetRect(float* x, float* y, float* width, float* height) const override;
    /// The font's first texture (for grouping in a list), or null.
    Texture* GetTexture() const override;
    /// Binds the 2D toolkit to the list's camera and fetches the font.
    int32_t OnInsert(W2dSurfaceList* list) override;
    void Render() override;

    /// Stores the text and wraps it into lines.
    void SetText(const char* text);
    const std::string& GetText() const { return mText; }
    void SetTextHeight(float height) { mTextHeight = height; }
    float GetTextHeight() const { return mTextHeight; }
    /// The whole text measured with the font at the text height; 0 without a font.
    float GetTextWidth() const { return LineWidth(mText); }
    /// Takes kSetCentred, kSetLeft or kSetRight; other codes change nothing.
    void SetJustification(int32_t code);
    int32_t GetJustification() const { return mJustification; }
    void SetFont(Font2d* font) { mFont = font; }
    Font2d* GetFont() const { return mFont; }

    int32_t GetLineCount() const { return int32_t(mLines.size()); }
    const std::string& GetLine(int32_t index) const { return mLines[size_t(index)]; }
    /// Where a line starts horizontally under the justification.
    float GetLineX(int32_t index) const;

private:
    float LineWidth(const std::string& line) const;
    void WrapLine(std::string* current);

    std::string mText;
    int32_t mJustification = kLeft;
    Font2d* mFont = nullptr;
    std::string mFontName;
    float mTextHeight = 0.0f;
    std::vector<std::string> mLines;
};
