// Triggers, their pool and their script functions.
#include "tstrigger.h"

#include "hbclock.h"
#include "scriptvertex.h"
#include "scriptworldmanager.h"
#include "w3dnode.h"

#include <Python.h>

#include <cmath>

W3dNode* TsActorsLevelRoot();

namespace
{
struct Pool
{
    TsTrigger* triggers[TriggerManager::kCapacity] = {};
    int32_t count = 0;
    int32_t last = -1;
    bool created = false;
};
Pool gPool;

int64_t Now()
{
    return HbGameClock::Instance()->mGameTime;
}

/// Far beyond any game (about 140 years at 1 GHz) and far below kUnlimited.
constexpr int64_t kMaxTicks = int64_t(1) << 52;
} // namespace

// ---- TsTrigger ------------------------------------------------------------------------------------

TsTrigger::TsTrigger()
{
    mFamily = TriggerFamily;
    BindScriptObject(Py_None);
}

void TsTrigger::Start(int32_t event, int32_t radius, int64_t period, int64_t life, uint32_t mask, int32_t lineTest,
                      float value)
{
    mEvent = event;
    mRadius = radius;
    mPeriod = period;
    const int64_t now = Now();
    if (life == kUnlimited || life > kUnlimited - now)
        mEndTime = kUnlimited;
    else
        mEndTime = now + (life < 0 ? 0 : life);
    mMask = mask;
    mLineTest = lineTest;
    mValue = value;
    mLastSend = 0;
    mLive = 1;
    W3dNode* node = GetNode();
    if (node && !node->GetParent())
        if (W3dNode* root = TsActorsLevelRoot())
            root->AttachChild(node);
}

void TsTrigger::Stop()
{
    mEvent = 0;
    mPeriod = 0;
    mRadius = 0;
    mEndTime = 0;
    mMask = UndefinedFamily;
    mLineTest = 0;
    mValue = 0.0f;
    mLastSend = 0;
    mLive = 0;
    RemoveNodeFromParent();
}

void TsTrigger::Tick()
{
    const int64_t now = Now();
    if (mEndTime != kUnlimited && now >= mEndTime)
    {
        Stop();
        return;
    }
    // The first tick after arming always sends, whatever the clock reads.
    if (mLastSend != 0 && now - mLastSend <= mPeriod)
        return;
    if (ScriptWorldManager* world = ScriptWorldManager::Instance())
        world->QueueEventsInRange(this, mRadius, mEvent, mMask, mLineTest, mValue);
    mLastSend = now != 0 ? now : 1;
}

// ---- TriggerManager ------------------------------------------------------------------------------

int32_t TriggerManager::Create()
{
    if (gPool.created)
        return gPool.count == kCapacity ? 1 : 0;
    gPool.created = true;
    gPool.last = -1;
    for (int32_t i = 0; i < kCapacity; ++i)
    {
        auto* trigger = new TsTrigger();
        if (!trigger)
            break;
        trigger->AddRef();
        if (!trigger->GetNode())
        {
            trigger->Release();
            break;
        }
        gPool.triggers[gPool.count++] = trigger;
    }
    return gPool.count == kCapacity ? 1 : 0;
}

void TriggerManager::Free()
{
    for (int32_t i = 0; i < gPool.count; ++i)
    {
        gPool.triggers[i]->Stop();
        gPool.triggers[i]->Release();
        gPool.triggers[i] = nullptr;
    }
    gPool.count = 0;
    gPool.last = -1;
    gPool.created = false;
}

bool TriggerManager::IsCreated()
{
    return gPool.created;
}

TsTrigger* TriggerManager::TakeFreeTrigger()
{
    for (int32_t step = 0; step < gPool.count; ++step)
    {
        gPool.last = (gPool.last + 1) % gPool.count;
        TsTrigger* trigger = gPool.triggers[gPool.last];
        if (!trigger->IsLive())
            return trigger;
    }
    return nullptr;
}

void TriggerManager::TickAll()
{
    for (int32_t i = 0; i < gPool.count; ++i)
        if (gPool.triggers[i]->IsLive())
            gPool.triggers[i]->Tick();
}

void TriggerManager::StopAll()
{
    for (int32_t i = 0; i < gPool.count; ++i)
        gPool.triggers[i]->Stop();
}

TsTrigger* TriggerManager::Get(int32_t index)
{
    return index >= 0 && index < gPool.count ? gPool.triggers[index] : nullptr;
}

int32_t TriggerManager::IndexOf(const TsActor* trigger)
{
    for (int32_t i = 0; trigger && i < gPool.count; ++i)
        if (gPool.triggers[i] == trigger)
            return i;
    return -1;
}

int32_t TriggerManager::GetLiveCount()
{
    int32_t live = 0;
    for (int32_t i = 0; i < gPool.count; ++i)
        live += gPool.triggers[i]->IsLive() ? 1 : 0;
    return live;
}

void TriggerManager::Install(ScriptWorldManager* world)
{
    if (!world)
        return;
    world->Hooks().triggersTickAll = TickAll;
    world->Hooks().triggersStopAll = StopAll;
}

int64_t TsTriggerSecondsToTicks(float seconds)
{
    if (std::isnan(seconds))
        return 0;
    if (seconds < 0.0f)
        return TsTrigger::kUnlimited;
    const double ticks = double(seconds) * double(HbPerformanceFrequency());
    return ticks >= double(kMaxTicks) ? kMaxTicks : int64_t(ticks);
}

// ---- Script functions -------------------------------------------------------------------------------

namespace
{
PyObject* Refuse(const char* text)
{
    PyErr_SetString(PyExc_RuntimeError, text);
    return nullptr;
}

PyObject* DropTrigger(PyObject*, PyObject* args)
{
    PyObject* position = nullptr;
    int event = 0, radius = 0, lineTest = 0;
    float period = 0.0f, life = 0.0f, value = 0.0f;
    unsigned int mask = 0;
    if (!PyArg_ParseTuple(args, "OiiffIif:DropTrigger", &position, &event, &radius, &period, &life, &mask, &lineTest,
                          &value))
        return nullptr;
    if (!ScriptIsVertex(position))
    {
        PyErr_SetString(PyExc_TypeError, "DropTrigger : Position is not a vertex !");
        return nullptr;
    }
    if (event <= 0)
        return Refuse("DropTrigger : Invalid Event To Send");
    if (radius < 0)
        return Refuse("DropTrigger : Invalid Distance");
    if (!(period >= 0.0f))
        return Refuse("DropTrigger : Invalid send frequency");
    // A negative life asks for an unlimited one; only a value that is no number is refused.
    if (std::isnan(life))
        return Refuse("DropTrigger : Invalid life duration");
    if (lineTest != 0 && lineTest != 1)
        return Refuse("DropTrigger : Invalid collideable flag");
    TsTrigger* trigger = TriggerManager::TakeFreeTrigger();
    if (!trigger)
        return Refuse("DropTrigger : Can't generate a valid Trigger. Check that there is not too many launched "
                      "trigger, or increase TriggerManager capacity");
    if (!trigger->GetNode())
        return Refuse("DropTrigger : Trigger has no W3dNode");
    trigger->Start(event, radius, TsTriggerSecondsToTicks(period), TsTriggerSecondsToTicks(life), mask, lineTest,
                   value);
    const auto* at = reinterpret_cast<const ScriptVertex*>(position);
    const Vector point = {at->x, at->y, at->z};
    trigger->SetPosition(&point);
    return PyLong_FromLong(TriggerManager::IndexOf(trigger));
}

/// The live or stopped trigger a script names by its pool index; null with the error set.
TsTrigger* TriggerArgument(PyObject* args, const char* format, const char* refusal)
{
    int index = -1;
    if (!PyArg_ParseTuple(args, format, &index))
        return nullptr;
    TsTrigger* trigger = TriggerManager::Get(index);
    if (!trigger)
        PyErr_SetString(PyExc_RuntimeError, refusal);
    return trigger;
}

PyObject* DestroyTrigger(PyObject*, PyObject* args)
{
    TsTrigger* trigger = TriggerArgument(args, "i:DestroyTrigger", "DestroyTrigger : Actor is not a TsTrigger");
    if (!trigger)
        return nullptr;
    trigger->Stop();
    Py_RETURN_NONE;
}

PyObject* GetTriggerPos(PyObject*, PyObject* args)
{
    TsTrigger* trigger = TriggerArgument(args, "i:GetTriggerPos", "GetTriggerPos : Actor is not a TsTrigger");
    if (!trigger)
        return nullptr;
    W3dNode* node = trigger->GetNode();
    const Vector* at = node ? node->GetWorldPosition() : nullptr;
    PyObject* vertex = at ? ScriptNewVertex(at->x, at->y, at->z) : nullptr;
    if (!vertex)
    {
        PyErr_Clear();
        return Refuse("GetPosition : Cannot get actor's position");
    }
    return vertex;
}

PyMethodDef gFunctions[] = {
    {"DropTrigger", DropTrigger, METH_VARARGS, nullptr},
    {"DestroyTrigger", DestroyTrigger, METH_VARARGS, nullptr},
    {"GetTriggerPos", GetTriggerPos, METH_VARARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};
} // namespace

PyMethodDef* TsTriggerScriptFunctions()
{
    return gFunctions;
}
