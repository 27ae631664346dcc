// FxContext: where an effect is played or bound: position, direction and spin, or a node
// and frame it follows, or a followed position of the caller's.
#pragma once

#include <cstdint>

class KFX;
class W3dNode;
struct Frame;

struct FxContext
{
    /// The effect object the bind entry point uses.
    KFX* effect = nullptr;
    float position[3] = {0, 0, 0};
    float direction[3] = {0, 0, 1};
    /// Degrees about the direction.
    float angle = 0;
    W3dNode* node = nullptr;
    /// The engine frame of that node: the emitters attach to it.
    Frame* frame = nullptr;
    /// Owned by the caller; copied into the emitters' position every update.
    const float* followed = nullptr;
    /// Copied into the emitters when nonzero; nothing reads them.
    uintptr_t extra[2] = {0, 0};

    void Reset() { *this = FxContext{}; }
};
