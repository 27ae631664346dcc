// The button themes of the key-hint bar: one or two keys, each a small key picture with a caption beside
// it, at fixed places near the screen's corners, fading in when the theme is shown.
#pragma once

#include "boardcontrol.h"
#include "vector.h"

#include <cstdint>

class W2dPictureItem;
class W2dTextGraphicItem;

class BoardControlTheme_Buttons : public BoardControlTheme
{
    HB_DECLARE_CLASS_DESC();

public:
    BoardControlTheme_Buttons() = default;

    /// Drops the ten references (the container's release releases the items), then the base release.
    int32_t Release() override;

    /// The five button places (key at A, B, D, C and E respectively).
    virtual int32_t SetButton1(const char* caption, const char* keyTexture);
    virtual int32_t SetButton2(const char* caption, const char* keyTexture);
    virtual int32_t SetButton3(const char* caption, const char* keyTexture);
    virtual int32_t SetButton4(const char* caption, const char* keyTexture);
    virtual int32_t SetButton5(const char* caption, const char* keyTexture);

    /// Fills one place: a key picture and a caption appended to the container (any held before are
    /// taken out), each with a 0.5 s fade-in; 0 when the theme is not built.
    int32_t SetButton(W2dPictureItem*& icon, const Vector& keyPosition, float keyWidth, W2dTextGraphicItem*& caption,
                      const Vector& captionPosition, const Vector& captionWidth, int32_t justify, const char* text,
                      const char* keyTexture);

    W2dPictureItem* GetIcon(int32_t place) const { return place >= 1 && place <= 5 ? mIcons[place - 1] : nullptr; }
    W2dTextGraphicItem* GetCaption(int32_t place) const
    {
        return place >= 1 && place <= 5 ? mCaptions[place - 1] : nullptr;
    }

    /// The key places A to E (top-left corners of the key pictures).
    static const Vector kPlaceA, kPlaceB, kPlaceC, kPlaceD, kPlaceE;

protected:
    W2dPictureItem* mIcons[5] = {};
    W2dTextGraphicItem* mCaptions[5] = {};
};

#define HB_BUTTON_THEME(Name)                                                                                          \
    class Name : public BoardControlTheme_Buttons                                                                      \
    {                                                                                                                  \
        HB_DECLARE_CLASS_DESC();                                                                                       \
                                                                                                                       \
    public:                                                                                                            \
        int32_t Build() override;                                                                                      \
    }

HB_BUTTON_THEME(BoardControlTheme_Back);
HB_BUTTON_THEME(BoardControlTheme_Next);
HB_BUTTON_THEME(BoardControlTheme_SelectBack);
HB_BUTTON_THEME(BoardControlTheme_Select);
HB_BUTTON_THEME(BoardControlTheme_Map);
HB_BUTTON_THEME(BoardControlTheme_BackNext);
HB_BUTTON_THEME(BoardControlTheme_SelectReturnMainMenu);
HB_BUTTON_THEME(BoardControlTheme_Continue);

#undef HB_BUTTON_THEME
