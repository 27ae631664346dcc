// W2dTextGraphicItem: a line of text drawn through a text surface, and GetLocalizedText, which turns a
// text identifier into the text shown.
#pragma once

#include "w2dsurfacegraphicitem.h"

#include <cstdint>
#include <string>

class W2dTextGraphicItem : public W2dSurfaceGraphicItem
{
    HB_DECLARE_CLASS_DESC();

public:
    W2dTextGraphicItem(const char* fontId, W2dSurfaceList* list);

    /// A text surface with the font and an empty text at the position and size the item holds now.
    int32_t Create() override;

    /// Nothing without a surface.
    virtual void SetText(const char* text);
    /// The text height in screen fractions; 1 (kept for the surface to come when there is none).
    virtual int32_t SetCharHeight(float height);
    /// 0 centred, 1 left, 2 right; 0 without a surface.
    virtual int32_t SetJustify(int32_t kind);

    /// The surface's text, or an empty text without a surface.
    const std::string& GetText() const;
    /// The text height; 0 without a surface.
    int32_t GetCharHeight(float* height) const;
    /// The current text measured with the font at the text height; 0 without a surface.
    float GetTextWidth() const;

private:
    std::string mFontId;
    float mCharHeight = 0.0f;
};

/// The text of a text resource: empty for an empty identifier or a resource that cannot be had.
std::string GetLocalizedText(const char* textId);
