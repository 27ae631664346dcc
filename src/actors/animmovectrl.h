// AnimMoveCtrl: the movement controller of an animated actor, made when the actor gets its
// model. Only its tie to the actor is built here; the movement itself comes with its owner.
#pragma once

#include "hbroot.h"

class TsActor;

class AnimMoveCtrl : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    /// The controller of the actor (not referenced: the actor holds the controller).
    explicit AnimMoveCtrl(TsActor* actor) : mActor(actor) {}
    TsActor* GetActor() const { return mActor; }

private:
    TsActor* mActor;
};
