// The atomic owner extension: three words on every engine atomic, the result of the latest
// frustum test a render list made and the scene-graph node that owns the atomic, so that an
// atomic found by a collision or intersection query leads back to its node.
#pragma once

#include <cstdint>

struct Atomic;
struct Clump;
class W3dNode;

struct AtomicOwnerData
{
    int32_t visibility; ///< 0 outside, 1 crossing, 2 inside the frustum (kFrustum*)
    int32_t spare;
    W3dNode* owner;
};

struct AtomicOwner
{
    static constexpr int32_t kPluginId = 0x123401;

    /// Registers the extension on atomics (an engine plug-in list entry): zeroed at
    /// creation and on copy. 1, or 0 when the registration was refused.
    static int Attach();
    /// The atomic's words; null before the extension is attached.
    static AtomicOwnerData* Get(Atomic* atomic);
    /// The atomic's owner node, or null.
    static W3dNode* GetOwner(Atomic* atomic);
    /// The extension's offset in every atomic, -1 before it is attached.
    static int32_t GetOffset();
};

/// Writes node as the owner of every atomic of the clump.
void ClumpSetOwnerNode(Clump* clump, W3dNode* node);
