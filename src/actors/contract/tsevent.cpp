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
    PyObject* old = targetScript;
    targetScript = script;
    target = newTarget;
    Py_XDECREF(old);
}
