// The perception and trigger functions of the module "scenaric": noise levels and rows of the
// noise table, the sight of actors, and triggers dropped in the level and named by handles.
#include "hbclock.h"
#include "scenario_local.h"
#include "tsactor.h"
#include "tsnoise.h"
#include "tstrigger.h"
#include "w3dnode.h"

namespace
{
PyObject* SetActorSoundLevel(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    int row = 0;
    if (!PyArg_ParseTuple(args, "Oi:SetActorSoundLevel", &object, &row))
        return nullptr;
    TsActor* actor = ScenaricActorArg(object, "SetActorSoundLevel");
    if (!actor)
        return nullptr;
    actor->SetSoundLevel(row);
    Py_RETURN_NONE;
}

PyObject* GetActorSoundLevel(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    if (!PyArg_ParseTuple(args, "O:GetActorSoundLevel", &object))
        return nullptr;
    TsActor* actor = ScenaricActorArg(object, "GetActorSoundLevel");
    if (!actor)
        return nullptr;
    return PyLong_FromLong(long(actor->GetSoundLevel()));
}

/// A function of one row number answering an integer.
template <typename Result, Result (*Query)(int32_t)> PyObject* RowQuery(PyObject* args, const char* format)
{
    int row = 0;
    if (!PyArg_ParseTuple(args, format, &row))
        return nullptr;
    return PyLong_FromLong(long(Query(row)));
}

#define SCENARIC_ROW(Name, Result, Query)                                                                              \
    PyObject* Name(PyObject*, PyObject* args)                                                                          \
    {                                                                                                                  \
        return RowQuery<Result, Query>(args, "i:" #Name);                                                              \
    }
SCENARIC_ROW(GetSoundLevel, int32_t, TsGetSoundLevel)
SCENARIC_ROW(GetSoundRadius, int32_t, TsGetSoundRadius)
SCENARIC_ROW(IsSoundTypeNORMAL, bool, TsSoundLevelIsNormal)
SCENARIC_ROW(IsSoundTypeSUSPECT, bool, TsSoundLevelIsSuspect)
SCENARIC_ROW(IsSoundTypeALARM, bool, TsSoundLevelIsAlarm)
SCENARIC_ROW(IsSoundTypeDANGER, bool, TsSoundLevelIsDanger)
SCENARIC_ROW(IsSoundLevelNONE, bool, TsSoundLevelIsNone)
SCENARIC_ROW(IsSoundLevelLIGHT, bool, TsSoundLevelIsLight)
SCENARIC_ROW(IsSoundLevelMEDIUM, bool, TsSoundLevelIsMedium)
SCENARIC_ROW(IsSoundLevelHEAVY, bool, TsSoundLevelIsHeavy)
SCENARIC_ROW(IsSoundLevelSATURATE, bool, TsSoundLevelIsSaturate)
#undef SCENARIC_ROW

PyObject* SetActorVisibilityAngle(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    float a = 0.0f, b = 0.0f, c = 0.0f;
    if (!PyArg_ParseTuple(args, "Offf:SetActorVisibilityAngle", &object, &a, &b, &c))
        return nullptr;
    TsActor* actor = ScenaricActorArg(object, "SetActorVisibilityAngle");
    if (!actor)
        return nullptr;
    actor->SetVisibilityAngles(a, b, c, actor->mSightAngles[3]);
    Py_RETURN_NONE;
}

PyObject* SetActorVisibilityDistance(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    int band = 0, row = 0;
    PyObject* tuple = nullptr;
    if (!PyArg_ParseTuple(args, "OiiO:SetActorVisibilityDistance", &object, &band, &row, &tuple))
        return nullptr;
    TsActor* actor = ScenaricActorArg(object, "SetActorVisibilityDistance");
    if (!actor)
        return nullptr;
    float d[TsActor::kClasses] = {};
    if (!PyArg_ParseTuple(tuple, "fffff:SetActorVisibilityDistanceTuple", &d[0], &d[1], &d[2], &d[3], &d[4]))
        return nullptr;
    actor->SetVisibilityDistances(band, row, d);
    Py_RETURN_NONE;
}

PyObject* SetActorVisibilityDistanceMultiplier(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    float multiplier = 0.0f;
    if (!PyArg_ParseTuple(args, "Of:SetActorVisibilityDistanceMultiplier", &object, &multiplier))
        return nullptr;
    TsActor* actor = ScenaricActorArg(object, "SetActorVisibilityDistanceMultiplier");
    if (!actor)
        return nullptr;
    actor->mSightMultiplier = multiplier;
    Py_RETURN_NONE;
}

// ---- Triggers ----------------------------------------------------------------------------------------
//
// A script names a trigger by a handle: its pool slot and the number of the drop that armed
// it, with the arming it was given. A handle whose trigger stopped, or was taken again since
// (by a script or a weapon's noise), names nothing.

constexpr int32_t kSlotBits = 8;
constexpr int32_t kDropLimit = 1 << (31 - kSlotBits - 1);

struct Drop
{
    int32_t number = 0;
    int32_t event = 0;
    int64_t endTime = 0;
};
Drop gDrops[TriggerManager::kCapacity];

/// The live trigger the handle names, or null.
TsTrigger* Named(int32_t handle)
{
    if (handle <= 0)
        return nullptr;
    const int32_t slot = (handle - 1) & ((1 << kSlotBits) - 1);
    const int32_t number = (handle - 1) >> kSlotBits;
    TsTrigger* trigger = slot < TriggerManager::kCapacity ? TriggerManager::Get(slot) : nullptr;
    const Drop& drop = gDrops[slot < TriggerManager::kCapacity ? slot : 0];
    if (!trigger || !trigger->IsLive() || drop.number != number || trigger->GetEvent() != drop.event ||
        trigger->GetEndTime() != drop.endTime)
        return nullptr;
    return trigger;
}

int64_t SecondsToTicks(float seconds)
{
    // Truncated to 64 bits, kept far from overflow when added to the clock.
    const double ticks = double(seconds) * double(HbPerformanceFrequency());
    constexpr double kMax = 4.0e18;
    return ticks >= kMax ? int64_t(kMax) : int64_t(ticks);
}

PyObject* DropTrigger(PyObject*, PyObject* args)
{
    PyObject* position = nullptr;
    int event = 0, radius = 0, mask = 0, lineTest = 0;
    float period = 0.0f, life = 0.0f, value = 0.0f;
    if (!PyArg_ParseTuple(args, "Oiiffiif:TsActorGetPos", &position, &event, &radius, &period, &life, &mask, &lineTest,
                          &value))
        return nullptr;
    Vector at;
    if (!ScenaricVertexOf(position, &at))
        return ScenaricFail("DropTrigger : Position is not a vertex !");
    if (event <= 0)
        return ScenaricFail("DropTrigger : Invalid Event To Send");
    if (radius < 0)
        return ScenaricFail("DropTrigger : Invalid Distance");
    if (!(period >= 0.0f))
        return ScenaricFail("DropTrigger : Invalid send frequency");
    if (!(life >= 0.0f))
        return ScenaricFail("DropTrigger : Invalid life duration");
    if (lineTest != 0 && lineTest != 1)
        return ScenaricFail("DropTrigger : Invalid collideable flag");
    TsTrigger* trigger = TriggerManager::TakeFreeTrigger();
    if (!trigger)
        return ScenaricFail("DropTrigger : Can't generate a valid Trigger. Check that there is not too many launched "
                            "trigger, or increase TriggerManager capacity");
    if (!trigger->GetNode())
        return ScenaricFail("DropTrigger : Trigger has no W3dNode");
    const int32_t slot = TriggerManager::IndexOf(trigger);
    if (slot < 0 || slot >= TriggerManager::kCapacity)
        return ScenaricFail("DropTrigger : Trigger has no W3dNode");
    trigger->Start(event, radius, SecondsToTicks(period), SecondsToTicks(life), uint32_t(mask), lineTest, value);
    trigger->SetPosition(&at);
    Drop& drop = gDrops[slot];
    drop.number = (drop.number + 1) % kDropLimit;
    drop.event = trigger->GetEvent();
    drop.endTime = trigger->GetEndTime();
    return PyLong_FromLong(long((drop.number << kSlotBits) + slot + 1));
}

PyObject* DestroyTrigger(PyObject*, PyObject* args)
{
    int handle = 0;
    if (!PyArg_ParseTuple(args, "i:GetTriggerPos", &handle))
        return nullptr;
    TsTrigger* trigger = Named(handle);
    if (!trigger)
        return ScenaricFail("GetTriggerPos : Actor is not a TsTrigger");
    trigger->Stop();
    Py_RETURN_NONE;
}

PyObject* GetTriggerPos(PyObject*, PyObject* args)
{
    int handle = 0;
    if (!PyArg_ParseTuple(args, "i:GetTriggerPos", &handle))
        return nullptr;
    TsTrigger* trigger = Named(handle);
    if (!trigger)
        return ScenaricFail("GetTriggerPos : Actor is not a TsTrigger");
    W3dNode* node = trigger->GetNode();
    if (!node)
        return ScenaricFail("GetPosition : Cannot get actor's position");
    return ScenaricNewVertex(*node->GetWorldPosition(), "GetPosition : Cannot get actor's position");
}

PyMethodDef gMethods[] = {
    {"SetActorSoundLevel", SetActorSoundLevel, METH_VARARGS, ""},
    {"GetActorSoundLevel", GetActorSoundLevel, METH_VARARGS, ""},
    {"GetSoundLevel", GetSoundLevel, METH_VARARGS, ""},
    {"GetSoundRadius", GetSoundRadius, METH_VARARGS, ""},
    {"IsSoundTypeNORMAL", IsSoundTypeNORMAL, METH_VARARGS, ""},
    {"IsSoundTypeSUSPECT", IsSoundTypeSUSPECT, METH_VARARGS, ""},
    {"IsSoundTypeALARM", IsSoundTypeALARM, METH_VARARGS, ""},
    {"IsSoundTypeDANGER", IsSoundTypeDANGER, METH_VARARGS, ""},
    {"IsSoundLevelNONE", IsSoundLevelNONE, METH_VARARGS, ""},
    {"IsSoundLevelLIGHT", IsSoundLevelLIGHT, METH_VARARGS, ""},
    {"IsSoundLevelMEDIUM", IsSoundLevelMEDIUM, METH_VARARGS, ""},
    {"IsSoundLevelHEAVY", IsSoundLevelHEAVY, METH_VARARGS, ""},
    {"IsSoundLevelSATURATE", IsSoundLevelSATURATE, METH_VARARGS, ""},
    {"SetActorVisibilityAngle", SetActorVisibilityAngle, METH_VARARGS, ""},
    {"SetActorVisibilityDistance", SetActorVisibilityDistance, METH_VARARGS, ""},
    {"SetActorVisibilityDistanceMultiplier", SetActorVisibilityDistanceMultiplier, METH_VARARGS, ""},
    {"DropTrigger", DropTrigger, METH_VARARGS, ""},
    {"DestroyTrigger", DestroyTrigger, METH_VARARGS, ""},
    {"GetTriggerPos", GetTriggerPos, METH_VARARGS, ""},
    {nullptr, nullptr, 0, nullptr},
};
} // namespace

PyMethodDef* ScenaricPerceptionMethods()
{
    return gMethods;
}
