// RdProcChannel: hands one bone's blended keyframe to a callback every frame, so that game
// code can set that bone procedurally.
#pragma once

#include "rdchannel.h"

/// Called every update with the bone's keyframe in the model's result buffer.
using RdProcCallback = void (*)(void* keyFrame, void* data);

class RdProcChannel : public RdChannel
{
    HB_DECLARE_CLASS_DESC();
    HB_DECLARE_CLASS_POOL();

public:
    RdProcChannel(uint16_t channelId, int64_t now);
    /// Fires the end-event callbacks first.
    ~RdProcChannel() override;

    /// The keyframe of the first bone of the bone set in the model hierarchy's interpolator.
    void Attach(Hierarchy* modelHierarchy, int64_t now) override;
    /// Ramp, due callbacks, the function. Always 1: a procedural channel is removed on request.
    int Update(int64_t now) override;

    void SetFunction(RdProcCallback function, void* data)
    {
        mFunction = function;
        mData = data;
    }
    void* GetKeyFrame() const { return mKeyFrame; }

private:
    RdProcCallback mFunction = nullptr;
    void* mKeyFrame = nullptr;
    void* mData = nullptr;
};
