// W2dSaveSlotMenu: the carousel of save cards, one in the middle between two arrows, stepped with the
// value actions by a 0.2 s slide and cross-fade. The two arrows are shared by every carousel.
#pragma once

#include "w2danimatedmenu.h"

class W2dPictureItem;

class W2dSaveSlotMenu : public W2dAnimatedMenu
{
public:
    enum MoveState : int32_t
    {
        kMovingNext = 4,
        kMovingPrevious = 5,
    };

    /// Open, no move; makes the shared arrows when there are none.
    explicit W2dSaveSlotMenu(W2dMenu* parent);

    /// The arrows released (they no longer exist), then the menu base's Clear.
    void Clear() override;
    /// The arrows, then the layout.
    void Show() override;
    void Hide() override;
    /// The value actions, refused (arrow hidden) with too few cards: next needs 3, previous 2.
    int32_t IsNextPressed() override;
    int32_t IsPreviousPressed() override;
    int32_t IsChoosePressed() override;
    int32_t IsBackPressed() override;
    /// At rest the current card between its hidden neighbours; while moving, the slide.
    W2dMenu* Layout() override;

    static W2dPictureItem* GetLeftArrow();
    static W2dPictureItem* GetRightArrow();
};
