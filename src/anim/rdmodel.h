// RdModel, the "MDL" resource: a skinned clump whose frame tree carries a hierarchy. Each
// user gets a clone of its own.
#pragma once

#include "camera.h"
#include "hbroot.h"

#include <cstdint>
#include <string>

struct Clump;
struct Hierarchy;
class RdSkeleton;

class RdModel : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    /// The engine's clump chunk type.
    static constexpr uint32_t kClumpChunk = 16;

    RdModel() = default;
    /// Detaches the clump's frame from its parent and destroys the clump.
    ~RdModel() override;

    /// Reads the first clump chunk of the resource's engine stream inside the resource's own
    /// texture dictionary, then SetClump. 0 when no clump could be read.
    int Load(HbStream* stream, const char* name) override;
    /// The target (a new RdModel) gets a clone of the clump. 1 when the clump could be cloned.
    int CloneInto(HbRoot** target) override;
    std::string GetTypeKey() const override { return "MDL"; }
    int IsShared() const override { return 0; }

    /// Takes the clump (owned from here on; the one held before is destroyed): atomics on
    /// frames without a node id are destroyed with their frames, frames without a node id
    /// that hold nothing are destroyed, atomics are made collidable and unlit, the bounds
    /// computed, the hierarchy found, its nodes (and their frames) numbered 0 .. n-1 and bound
    /// to the frames with the standard keyframe scheme, skinned atomics given the hierarchy,
    /// and the clump registered with the renderer. 0 for null, else 1.
    int SetClump(Clump* clump);
    /// Node i's id becomes the id of the skeleton's bone i; nodes beyond the skeleton's bones
    /// get id 0.
    void BindSkeleton(const RdSkeleton* skeleton);
    /// The hierarchy's matrices from its interpolated keyframes.
    void UpdateHierarchy();

    Clump* GetClump() const { return mClump; }
    Hierarchy* GetHierarchy() const { return mHierarchy; }
    const Sphere& GetBoundingSphere() const { return mBoundingSphere; }
    const std::string& GetName() const { return mName; }

    int32_t mInUse = 0;

private:
    void DestroyClump();

    Clump* mClump = nullptr;
    Hierarchy* mHierarchy = nullptr;
    Sphere mBoundingSphere = {{0, 0, 0}, 0};
    int32_t mSpare = -1;
    std::string mName;
};
