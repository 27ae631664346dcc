// VirtualTargetActor: a frame that an animated actor aims at, with a weak link to what it
// stands for. Records come from a pool of 40.
#pragma once

#include "hbperclassfreelist.h"
#include "hbptr.h"
#include "tsactor.h"

class W3dFrame;

class VirtualTargetActor : public TsActor
{
    HB_DECLARE_CLASS_DESC();
    HB_DECLARE_CLASS_POOL();

public:
    static constexpr int32_t kPoolSize = 40;

    /// A new frame node as its node, an empty target.
    VirtualTargetActor();
    ~VirtualTargetActor() override;

    W3dNode* GetNode() override;
    /// Nothing for the current node; otherwise the current one is removed and released and
    /// the new one kept when it is a frame node (any other leaves the actor without a node).
    void SetModel(W3dNode* node) override;
    /// Does nothing. 1.
    int32_t LoadModel(const char*) override { return 1; }

    /// Refers to the new target (a reference on its handle), dropping the old one.
    void SetTarget(const HbHandlePtr& target) { mTarget = target; }
    const HbHandlePtr& GetTargetHandle() const { return mTarget; }

private:
    W3dFrame* mFrame = nullptr;
    HbHandlePtr mTarget;
};
