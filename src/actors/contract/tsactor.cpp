// TsActor.
#include "tsactor.h"

#include "hbclock.h"
#include "tsevent.h"
#include "tsscriptcall.h"
#include "w3dnode.h"
#include "wscene.h"

#include <Python.h>

HB_DEFINE_CLASS_DESC(TsActor, HbRoot);

TsActor::~TsActor()
{
    while (!mEvents.IsEmpty())
        delete static_cast<TsEvent*>(mEvents.PopFront());
    if (Py_IsInitialized())
    {
        Py_XDECREF(mPendingCall);
        Py_XDECREF(mScriptObject);
    }
}

float TsActor::GetDistanceSquaredTo(TsActor* other)
{
    HbGameClock* clock = HbGameClock::Instance();
    int64_t now = clock ? clock->mGameTime : 0;
    if (other == mDistanceOther && now == mDistanceTime)
        return mDistance;
    float distance = -1.0f;
    W3dNode* a = GetNode();
    W3dNode* b = other ? other->GetNode() : nullptr;
    if (a && b && a->GetScene() && b->GetScene())
    {
        const Vector* p = a->GetWorldPosition();
        const Vector* q = b->GetWorldPosition();
        float dx = p->x - q->x, dy = p->y - q->y, dz = p->z - q->z;
        distance = dx * dx + dy * dy + dz * dz;
    }
    mDistanceOther = other;
    mDistanceTime = now;
    mDistance = distance;
    return distance;
}

void TsActor::SetScriptObject(PyObject* object)
{
    Py_XINCREF(object);
    PyObject* old = mScriptObject;
    mScriptObject = object;
    Py_XDECREF(old);
}

void TsActor::SetPendingScriptCall(PyObject* callable)
{
    Py_XINCREF(callable);
    PyObject* old = mPendingCall;
    mPendingCall = callable;
    mPendingCallFlag = callable ? 1 : 0;
    Py_XDECREF(old);
}

void TsActor::RunPendingScriptCall()
{
    if (!mPendingCall || !mPendingCallFlag)
        return;
    // Cleared before the call: the script may set a new one.
    PyObject* callable = mPendingCall;
    mPendingCall = nullptr;
    mPendingCallFlag = 0;
    PyObject* result = TsCallScriptObject(callable, nullptr);
    if (result)
        Py_DECREF(result);
    else if (PyErr_Occurred())
        PyErr_Print();
    Py_DECREF(callable);
}

int32_t TsActor::AddEvent(TsEvent* event)
{
    if (!event || (!event->callable && !event->callback))
        return 0;
    if (!mEvents.AddTail(event))
        return 0;
    event->owner = this;
    return 1;
}

void TsActor::PurgeEvents()
{
    HbPtrListNode* node = mEvents.GetHead();
    while (node)
    {
        HbPtrListNode* next = node->next;
        auto* event = static_cast<TsEvent*>(node->value);
        if (!event->active)
        {
            mEvents.RemoveAt(node);
            delete event;
        }
        node = next;
    }
}
