// W3dAnimObject: the scene node of a skinned, animated model. It embeds the animation motor
// that owns the skeleton and the model, reads its set-up from the data container named after
// the model, carries nodes hung on bones and the head and heart hit spheres, and runs the
// motor when the scene updates it.
#pragma once

#include "hbhashmap.h"
#include "rdanimmotor.h"
#include "rdeventmanager.h"
#include "w3dnode.h"

#include <cstdint>
#include <string>

class TDataManagerContainer;

/// A hit sphere on a bone: its own frame, offset from the bone, places the centre.
struct ShootSphere
{
    Frame* boneFrame = nullptr;
    Frame* ownFrame = nullptr;
    Vector offset = {0, 0, 0};
    float radius = 0.0f;
    int32_t enabled = 0;
    float radiusSquared = 0.0f;

    /// The position row of the own frame's world matrix (the origin without a frame).
    Vector GetWorldCentre() const;
};

class W3dAnimObject : public W3dNode, public RdEventReceiverOwner
{
    HB_DECLARE_CLASS_DESC();

public:
    /// The strength of the model's shadow.
    static constexpr float kShadowStrength = 0.3f;

    /// A node with its own frame (the motor's root frame under it), both spheres disabled,
    /// not ready to draw until its motor first plays, in render layer 1. Null when its frames
    /// could not be had.
    static W3dAnimObject* Create();
    ~W3dAnimObject() override;

    // ---- Node operations --------------------------------------------------------------------

    /// The current model's sphere (a zero sphere without a model).
    const Sphere* GetBoundingSphere() override;
    Frame* GetEngineFrame() override { return mOwnFrame; }
    /// The current model's clump, or null.
    void* GetEngineObject() override;
    void ForAllClumps(ClumpFunction fn, void* user) override;
    void ForAllAtomics(AtomicFunction fn, void* user) override;
    void ForAllFrames(FrameFunction, void*) override {}
    void SpareHook() override {}
    /// The motor's frame: channels, blend, matrices, locked bones.
    void Update() override;
    Frame* GetLightingFrame() override { return mLightingFrame ? mLightingFrame : mOwnFrame; }
    int32_t SetLightingFrame(Frame* frame) override
    {
        mLightingFrame = frame;
        return 1;
    }
    /// A shadow when the description asked for one, the render lists, the scene's update list.
    void OnAddToWorld() override;
    void OnRemoveFromWorld() override;

    /// Builds the node from the data manager's container of that name (skeleton, model,
    /// light field, shadow, collision, hit spheres), then makes it visible with render items.
    /// Missing containers, resources, bones and keys are skipped. 1.
    virtual int32_t LoadDescription(const char* modelId);

    // ---- Nodes on bones ------------------------------------------------------------------------

    /// Hangs the node under the bone's frame as a child, releasing a node already on that bone.
    /// The node, or null for a null node or a bone the motor cannot find.
    W3dNode* AttachNode(W3dNode* node, int32_t boneId);
    /// 1 when the node was attached to a bone (it is removed and released), else 0.
    int32_t DetachNode(W3dNode* node);
    W3dNode* GetAttachedNode(int32_t boneId) const;
    void DetachAllNodes();
    /// The frame a node on the bone hangs from; null for an unknown bone.
    virtual Frame* GetBoneFrame(int32_t boneId);

    /// Hands an animation event to the receiver, when one is set.
    void DeliverEvent(int32_t eventId)
    {
        if (mEventReceiver)
            mEventReceiver(eventId, mEventReceiverData);
    }

    // ---- Fields ----------------------------------------------------------------------------------

    RdAnimMotor& GetMotor() { return mMotor; }
    /// The two frames the scripts name for the model's shots (index 0 or 1; others ignored).
    void SetShootFrame(int32_t index, Frame* frame)
    {
        if (index == 0 || index == 1)
            mShootFrames[index] = frame;
    }
    Frame* GetShootFrame(int32_t index) const { return index == 0 || index == 1 ? mShootFrames[index] : nullptr; }
    /// The head-shot flag the scripts set.
    void SetHeadShot(int32_t on) { mHeadShot = on ? 1 : 0; }
    int32_t GetHeadShot() const { return mHeadShot; }
    const ShootSphere& GetHeadSphere() const { return mHeadSphere; }
    const ShootSphere& GetHeartSphere() const { return mHeartSphere; }
    const std::string& GetName() const { return mName; }

protected:
    W3dAnimObject();

private:
    /// Reads the five keys of one sphere; enables it when all are there and the bone is found.
    void ReadSphere(const TDataManagerContainer* container, const char* prefix, ShootSphere& sphere);

    int32_t mConstructionWord = 4;
    RdAnimMotor mMotor;
    /// Where the motor marks its first update with channels; moved into the node's flags.
    uint32_t mMotorFlags = 0;
    Frame* mOwnFrame = nullptr;
    HbIntHashMap mBoneNodes{17, 10};
    Frame* mLightingFrame = nullptr;
    ShootSphere mHeadSphere;
    ShootSphere mHeartSphere;
    Vector mSpareVector = {0, 0, 0};
    float mSpareReal = -1.0f;
    std::string mName;
    Sphere mNoBounds = {{0, 0, 0}, 0};
    Frame* mShootFrames[2] = {nullptr, nullptr};
    int32_t mHeadShot = 0;
};

/// The frame's first child, or null.
Frame* FrameGetFirstChild(Frame* frame);
