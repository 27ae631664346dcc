// TsActor: the base of every actor, as far as the script world uses it: its family, the
// two flags the script world keeps on it, its event registrations, its script object and
// the per-frame operations the actor layer gives each class.
#pragma once

#include "hbptrlist.h"
#include "hbroot.h"
#include "tsfamilies.h"

#include <cstdint>

typedef struct _object PyObject;
class TsEvent;
class TsMotorSkills;
class W3dNode;

class TsActor : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    TsActor() = default;
    /// Frees every registration and drops the script object and the pending call (only
    /// while the interpreter runs).
    ~TsActor() override;

    // ---- Operations of each actor class ------------------------------------------------------

    /// The node that places the actor, or null.
    virtual W3dNode* GetNode() { return nullptr; }
    /// Its motor skills, or null.
    virtual TsMotorSkills* GetMotorSkills() { return nullptr; }
    /// Its own per-frame work.
    virtual void Update() {}
    /// Squared distance between the two actors' nodes in world units; -1 when either has no
    /// node or its node is in no scene. Kept until the game clock moves on or the other
    /// actor changes.
    virtual float GetDistanceSquaredTo(TsActor* other);

    // ---- Script side ---------------------------------------------------------------------------

    /// The bound script object (borrowed), or null.
    PyObject* GetScriptObject() const { return mScriptObject; }
    /// Binds the script object, holding a reference on it.
    void SetScriptObject(PyObject* object);
    /// Sets the callable run once by the next RunPendingScriptCall (a reference is held).
    void SetPendingScriptCall(PyObject* callable);
    /// Calls the pending callable once, if one is set and flagged, then clears it. A
    /// failing call is printed and cleared.
    void RunPendingScriptCall();

    // ---- Registrations ---------------------------------------------------------------------------

    /// 1 when appended (it has a callable or a C callback; the list owns it from then on),
    /// 0 otherwise (the caller keeps it).
    int32_t AddEvent(TsEvent* event);
    /// Frees the inactive registrations.
    void PurgeEvents();
    HbPtrList& GetEvents() { return mEvents; }

    // ---- Fields the script world and its callers read --------------------------------------------

    uint32_t mFamily = UndefinedFamily;
    /// Kept by the script world: set while the actor is listed.
    int32_t mRegistered = 0;
    /// Kept by the script world: its removal was asked during an update pass.
    int32_t mRemovalRequested = 0;
    int32_t mHitPoints = 0;

private:
    HbPtrList mEvents{10};
    PyObject* mScriptObject = nullptr;
    PyObject* mPendingCall = nullptr;
    int32_t mPendingCallFlag = 0;
    TsActor* mDistanceOther = nullptr;
    int64_t mDistanceTime = -1;
    float mDistance = -1.0f;
};
