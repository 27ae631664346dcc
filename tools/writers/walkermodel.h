// The four-bone walker that the actor tests and the movement benchmark animate: the clump's frame,
// then a chain of DummyRootBone, Pelvis, Upper_Torso and Head one unit apart along y with a triangle
// on the head, its skeleton, and animations of the chain, made with the writers and read by the
// animation layer.
#pragma once

#include "skeletonwriter.h"
#include "vector.h"

#include <cstdint>
#include <string>
#include <vector>

class RdAnimation;
class W3dAnimObject;

struct WalkerModel
{
    /// A new animated model of the walker: the skeleton (with the profiles, or none) and the clump
    /// as its one model. built is 1 when the model took the clump and the motor the model, else 0.
    /// Null when no model could be made.
    static W3dAnimObject* Create(const std::vector<SkeletonProfileRow>* profiles, int32_t* built = nullptr);
    /// The same chain under four other bone names (the first stays the root that moves the
    /// model): a tank's hull and turret, say. Null unless there are four.
    static W3dAnimObject* CreateWithBones(const std::vector<SkeletonProfileRow>* profiles,
                                          const std::vector<std::string>& bones, int32_t* built = nullptr);
    /// The same skeleton with a skinned body in place of the head's triangle: an arrow lying
    /// flat kBodyLift above the root, pointing along +z (kArrowTip ahead, its base kArrowBack
    /// behind and kArrowHalf to each side), prelit in the colour (r, g, b); its base on the
    /// root bone, its tip shared with the pelvis.
    static W3dAnimObject* CreateSkinned(const std::vector<SkeletonProfileRow>* profiles, const uint8_t colour[3],
                                        int32_t* built = nullptr);
    static constexpr float kBodyLift = 2.0f;
    static constexpr float kArrowTip = 40.0f;
    static constexpr float kArrowBack = 20.0f;
    static constexpr float kArrowHalf = 25.0f;

    /// A standard animation over the duration: the root moves from rest by rootMove and turns about
    /// y by rootYaw degrees; the other bones hold one unit up, turned about x by boneDegrees.
    static std::vector<uint8_t> AnimationBytes(Vector rootMove, float rootYaw, float boneDegrees, float duration);

    /// A new animation resource read from the bytes and set up under the name and file, with no
    /// reference yet; setUp is Setup's answer (1 done).
    static RdAnimation* ReadAnimation(std::vector<uint8_t> bytes, const char* name, const char* file,
                                      int32_t* setUp = nullptr);
};
