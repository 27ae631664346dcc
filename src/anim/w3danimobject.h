// W3dAnimObject: the scene-graph node of an animated model: its animation motor, its own
// frame over the motor's root frame, the nodes hung on its bones and the receiver of its
// animations' events. The model description reader, the hit spheres, the light-field and
// shadow set-up and the render items are not built here.
#pragma once

#include "hbhashmap.h"
#include "rdanimmotor.h"
#include "rdeventmanager.h"
#include "w3dnode.h"

#include <cstdint>
#include <string>

class W3dAnimObject : public W3dNode, public RdEventReceiverOwner
{
    HB_DECLARE_CLASS_DESC();

public:
    /// The motor (owner: this node) with its root frame under a new own frame; render layer 1.
    W3dAnimObject();
    /// Detaches the bone nodes, then the motor's root frame; destroys the own frame.
    ~W3dAnimObject() override;

    const Sphere* GetBoundingSphere() override { return &mBounds; }
    Frame* GetEngineFrame() override { return mFrame; }
    /// The motor's per-frame update.
    void Update() override { mMotor.Update(); }

    /// Names the node after the model and takes the description's "SKELETON" and "LOD"
    /// resources into the motor when the data manager holds a container of that name; the
    /// node becomes visible. 1.
    virtual int32_t LoadDescription(const char* modelId);

    /// Hangs the node on the bone's frame (a node on that bone is detached first) with one
    /// reference. The node, or null for a null node or a bone without a frame.
    W3dNode* AttachNode(W3dNode* node, int32_t boneId);
    /// 1 when the node hung on a bone and was detached and released, else 0.
    int32_t DetachNode(W3dNode* node);
    W3dNode* GetAttachedNode(int32_t boneId) const;
    void DetachAllNodes();

    /// The bone's frame from the motor, or null.
    virtual Frame* GetBoneFrame(int32_t boneId) { return mMotor.GetBoneFrame(boneId); }

    RdAnimMotor& GetMotor() { return mMotor; }
    const std::string& GetName() const { return mName; }

    /// Calls the event receiver, when one is set, with the event id.
    void DeliverEvent(int32_t eventId)
    {
        if (mEventReceiver)
            mEventReceiver(eventId, mEventReceiverData);
    }

private:
    RdAnimMotor mMotor;
    Frame* mFrame = nullptr;
    HbIntHashMap mAttached{17, 10};
    std::string mName;
    Sphere mBounds = {{0.0f, 0.0f, 0.0f}, 100.0f};
};
