// W3dFrame: the plain scene node that owns an engine frame of its own and nothing else; the
// scene's root and the base of many game classes. Records come from a pool of 150.
#pragma once

#include "hbperclassfreelist.h"
#include "w3dnode.h"

class W3dFrame : public W3dNode
{
    HB_DECLARE_CLASS_DESC();
    HB_DECLARE_CLASS_POOL();

public:
    static constexpr int32_t kPoolSize = 150;

    /// A new frame node with its engine frame; null when no memory can be had.
    static W3dFrame* Create();
    /// Detaches its children, takes its frame off any parent frame and destroys it.
    ~W3dFrame() override;

    const Sphere* GetBoundingSphere() override { return &mBounds; }
    Frame* GetEngineFrame() override { return mFrame; }
    void ForAllFrames(FrameFunction fn, void* user) override { fn(this, mFrame, user); }

protected:
    W3dFrame();
    /// For subclasses that check GetEngineFrame after construction.
    Frame* mFrame = nullptr;
    Sphere mBounds = {{0.0f, 0.0f, 0.0f}, 100.0f};
};
