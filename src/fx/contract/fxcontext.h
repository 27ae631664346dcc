// FxContext: where an effect is played or bound: position, direction and spin, or a node
// and frame it follows, or a followed position of the caller's.
#pragma once

#include "hbptr.h"

#include <cstdint>

class KFX;
class W3dNode;
struct Frame;

/// 1 while the handle reaches a live object.
bool FxContextHandleLive(const HbHandlePtr& handle);

/// An object of another module kept in a context: it reads null once the object is
/// destroyed, so a context kept between calls never hands out a freed one. Assigned and
/// read as a plain pointer.
template <class T> class FxContextRef
{
public:
    FxContextRef() = default;
    FxContextRef(T* object) { Assign(object); }
    FxContextRef& operator=(T* object)
    {
        Assign(object);
        return *this;
    }
    /// The object, or null once it is destroyed.
    T* Get() const { return FxContextHandleLive(mHandle) ? mObject : nullptr; }
    operator T*() const { return Get(); }
    T* operator->() const { return Get(); }

private:
    void Assign(T* object)
    {
        mHandle.Assign(object);
        mObject = mHandle.GetObject() ? object : nullptr;
    }

    T* mObject = nullptr;
    HbHandlePtr mHandle;
};

/// An engine frame kept in a context, with the object whose death takes the frame with it
/// (the node whose frame it is). A frame assigned without an owner is the assigner's to keep
/// alive while it stays in the context.
class FxContextFrame
{
public:
    FxContextFrame() = default;
    FxContextFrame(Frame* frame) : mFrame(frame) {}
    FxContextFrame& operator=(Frame* frame)
    {
        mFrame = frame;
        mOwned = false;
        mOwner.Reset();
        return *this;
    }
    /// The frame, living as long as the owner does.
    void Set(Frame* frame, HbRoot* owner)
    {
        mFrame = frame;
        mOwned = owner != nullptr;
        mOwner.Assign(owner);
    }
    Frame* Get() const { return !mOwned || FxContextHandleLive(mOwner) ? mFrame : nullptr; }
    operator Frame*() const { return Get(); }

private:
    Frame* mFrame = nullptr;
    bool mOwned = false;
    HbHandlePtr mOwner;
};

struct FxContext
{
    /// The effect object the bind entry point uses.
    FxContextRef<KFX> effect;
    float position[3] = {0, 0, 0};
    float direction[3] = {0, 0, 1};
    /// Degrees about the direction.
    float angle = 0;
    FxContextRef<W3dNode> node;
    /// The engine frame of that node (owned by it): the emitters attach to it.
    FxContextFrame frame;
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
