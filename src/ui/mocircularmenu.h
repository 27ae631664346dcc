// MoCircularMenu: entries on a wheel around the centre of the screen, turned one slot at a fixed angular
// speed by the value actions; input waits until the wheel has turned a full slot.
#pragma once

#include "w2danimatedmenu.h"

struct Frame;

class MoCircularMenu : public W2dAnimatedMenu
{
    HB_DECLARE_CLASS_DESC();

public:
    /// Open, no move; the centre frame at the middle of the screen and the radius frame 0.2 below it.
    explicit MoCircularMenu(W2dMenu* parent);
    /// The frames detached and destroyed.
    ~MoCircularMenu() override;

    void Next() override;
    void Previous() override;
    /// Ignores input while a move has not turned a full slot; the menu base's step otherwise.
    W2dMenu* HandleInput() override;
    /// The wheel turns with the value actions.
    int32_t IsNextPressed() override;
    int32_t IsPreviousPressed() override;
    int32_t IsChoosePressed() override;
    int32_t IsBackPressed() override;
    /// Every label centred on its slot of the wheel, the current one lit at rest; a move turns on.
    W2dMenu* Layout() override;

    float GetTurned() const { return mTurned; }
    float GetStepAngle() const { return mStepAngle; }
    float GetSpeed() const { return mSpeed; }

private:
    float mTurned = 0.0f;
    Frame* mCentre = nullptr;
    Frame* mRadius = nullptr;
    float mStepAngle = 0.0f;
    float mSpeed = 180.0f;
};
