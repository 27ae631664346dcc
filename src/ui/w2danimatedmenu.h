// W2dAnimatedMenu: a valued menu whose steps are timed moves that subclasses play as motion; by itself it
// shows the current entry between its two neighbours.
#pragma once

#include "w2dvaluedmenu.h"

#include <cstdint>

class W2dAnimatedMenu : public W2dValuedMenu
{
public:
    /// Open at once, so it takes input from its first frame.
    explicit W2dAnimatedMenu(W2dMenu* parent);

    /// The base step, then a move stamped now (forward / backward).
    void Next() override;
    void Previous() override;
    /// Only the layout; subclasses play their moves here.
    void Show() override;
    /// The three-row window around the current entry (two rows for one or two entries).
    W2dMenu* Layout() override;

    /// Real-clock counter ticks.
    virtual void SetMoveDuration(int64_t ticks);
    /// The linear blend of the move so far: "from" before the stamp, exactly "to" once the duration
    /// has passed (or when it is 0).
    virtual Vector* InterpolatePosition(Vector* out, const Vector& from, const Vector& to);

    int64_t GetMoveDuration() const { return mMoveDuration; }
    int64_t GetMoveStart() const { return mMoveStart; }
    int32_t IsMoving() const { return mMoving; }
    int32_t IsMoveBackward() const { return mMoveBackward; }
    void SetMoving(int32_t moving) { mMoving = moving; }

protected:
    int64_t mMoveDuration = 0;
    int64_t mMoveStart = 0;
    int32_t mMoving = 0;
    int32_t mMoveBackward = 1;

private:
    void Stamp(int32_t backward);
};
