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
    /// Size factor of the played effect; nothing in the effect layer reads it.
    float scale = 1.0f;

    void Reset() { *this = FxContext{}; }
};

/// Effect ids are 0 to 59; the game stores 60 for "no effect".
constexpr int32_t kFxContextNoEffect = 60;

/// The shared placement record every caller fills before playing an effect. It keeps its
/// values between calls: reset it first.
FxContext* FxContextGet();
/// Plays effect id once at the record (null: the shared one); 1, or 0 for an id outside 0 to
/// 59 (60, "no effect", plays nothing) or before the effect layer installed its manager.
int32_t FxPlayOneShot(int32_t id, const FxContext* context);
/// Resets the shared record, sets position and direction (3 floats each) and plays id once:
/// footsteps and impacts on grounds.
int32_t PlayFxAt(int32_t id, const float* position, const float* direction);
