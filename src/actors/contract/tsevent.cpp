// TsEvent.
#include "tsevent.h"

#include "tsactor.h"

#include <Python.h>

HB_DEFINE_CLASS_POOL(TsEvent, "TsEvent", TsEvent::kPoolSize);

TsEvent::~TsEvent()
{
    if (Py_IsInitialized())
    {
        Py_XDECREF(callable);
        Py_XDECREF(targetScript);
    }
    if (target)
        target->Release();
}

void TsEvent::SetCallable(PyObject* newCallable)
{
    Py_XINCREF(newCallable);
    PyObject* old = callable;
    callable = newCallable;
    Py_XDECREF(old);
}

void TsEvent::SetTarget(TsActor* newTarget)
{
    PyObject* script = newTarget ? newTarget->GetScriptObject() : nullptr;
    Py_XINCREF(script);
    if (newTarget)
        newTarget->AddRef();
    PyObject* old = targetScript;
    TsActor* oldTarget = target;
    targetScript = script;
    target = newTarget;
    if (old && Py_IsInitialized())
        Py_DECREF(old);
    if (oldTarget)
        oldTarget->Release();
}
