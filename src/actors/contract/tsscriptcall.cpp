// TsCallScriptObject.
#include "tsscriptcall.h"

#include <Python.h>

PyObject* TsCallScriptObject(PyObject* callable, PyObject* argument)
{
    if (!callable || !Py_IsInitialized())
        return nullptr;
    return argument ? PyObject_CallOneArg(callable, argument) : PyObject_CallNoArgs(callable);
}
