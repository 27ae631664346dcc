// TsCallScriptObject.
#include "tsscriptcall.h"

#include <Python.h>

PyObject* TsCallScriptObject(PyObject* callable, PyObject* argument)
{
    if (!callable || !Py_IsInitialized())
        return nullptr;
    return argument ? PyObject_CallOneArg(callable, argument) : PyObject_CallNoArgs(callable);
}

namespace
{
TsScriptGuardedRun gGuard = nullptr;

struct CallArgs
{
    PyObject* callable;
    PyObject* argument;
};

PyObject* CallThunk(void* data)
{
    const CallArgs* call = static_cast<const CallArgs*>(data);
    return TsCallScriptObject(call->callable, call->argument);
}
} // namespace

void TsSetScriptGuard(TsScriptGuardedRun guard)
{
    gGuard = guard;
}

PyObject* TsRunScriptGuarded(PyObject* (*call)(void* data), void* data)
{
    return gGuard ? gGuard(call, data) : call(data);
}

PyObject* TsCallScriptObjectGuarded(PyObject* callable, PyObject* argument)
{
    if (!callable || !Py_IsInitialized())
        return nullptr;
    CallArgs call{callable, argument};
    return TsRunScriptGuarded(CallThunk, &call);
}
