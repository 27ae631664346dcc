// TsEvent: one event registration of an actor: which event it waits for, from which actors,
// and whom to call when it holds. Records come from a pool of 400 (heap beyond).
#pragma once

#include "hbperclassfreelist.h"
#include "tsfamilies.h"

#include <cstdint>

typedef struct _object PyObject;
class TsActor;

class TsEvent
{
    HB_DECLARE_CLASS_POOL();

public:
    static constexpr int32_t kPoolSize = 400;
    /// A C callback of the hero: fn(sender, value, target).
    using Callback = void (*)(TsActor* sender, float value, TsActor* target);

    TsEvent() = default;
    /// Drops the references on the callable and on the target's script object (only while
    /// the interpreter runs: after a stop they belong to the finalised interpreter) and the
    /// one on the target.
    ~TsEvent();
    TsEvent(const TsEvent&) = delete;
    TsEvent& operator=(const TsEvent&) = delete;

    /// Replaces the callable, taking a reference on the new one (null allowed).
    void SetCallable(PyObject* callable);
    /// Replaces the fixed target, holding a reference on it and on its script object, so a
    /// target deleted elsewhere is never read freed (null drops both).
    void SetTarget(TsActor* target);

    int32_t active = 1;
    int32_t id = 0;
    TsActor* owner = nullptr;
    /// The only actor tested (one reference, set through SetTarget), or null for every actor
    /// of the family mask.
    TsActor* target = nullptr;
    PyObject* targetScript = nullptr;
    PyObject* callable = nullptr;
    Callback callback = nullptr;
    /// A squared distance for the distance and sight kinds; the seconds left for a timer.
    float value = 0.0f;
    /// Seconds, timers only.
    float period = 0.0f;
    uint32_t familyMask = UndefinedFamily;
    /// Game-clock ticks of the last rate-limited test.
    int64_t lastTestTime = 0;
};
