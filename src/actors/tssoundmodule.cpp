// The script module "sound" over the sound layer.
#include "tssoundmodule.h"

#include "hbresource.h"
#include "scriptvertex.h"
#include "tsfmod.h"
#include "tsfmodsound.h"
#include "vector.h"

#include <Python.h>

namespace
{
PyObject* PlaySound(PyObject*, PyObject* args)
{
    const char* name = nullptr;
    PyObject* position = nullptr;
    if (!PyArg_ParseTuple(args, "sO", &name, &position))
        return nullptr;
    if (ScriptIsVertex(position))
    {
        auto* vertex = reinterpret_cast<ScriptVertex*>(position);
        Vector at = {vertex->x, vertex->y, vertex->z};
        TsFModPlaySoundAt(name, &at);
    }
    else
    {
        TsFModPlaySoundAt(name, nullptr);
    }
    Py_RETURN_NONE;
}

PyObject* GetSoundLength(PyObject*, PyObject* args)
{
    const char* name = nullptr;
    if (!PyArg_ParseTuple(args, "s", &name))
        return nullptr;
    HbResourceManager* manager = HbResourceManager::Instance();
    // Held for the call only: a sound nobody plays is let go again.
    HbRoot* resource = manager ? manager->AcquireResource(name) : nullptr;
    if (!resource)
    {
        PyErr_SetString(PyExc_RuntimeError, "Unable to get resource sound buffer ( Ressource may be undefined ! )\n");
        return nullptr;
    }
    auto* sound = HbCastTo<TsFModSound>(resource);
    float length = sound ? sound->GetLength() : -1.0f;
    resource->Release();
    if (length < 0.0f)
    {
        PyErr_SetString(PyExc_RuntimeError, "Unable to get sound buffer length for resource\n");
        return nullptr;
    }
    return PyFloat_FromDouble(static_cast<double>(length));
}

PyObject* SetSoundFade(PyObject*, PyObject* args)
{
    const char* name = nullptr;
    float start = 0.0f, target = 0.0f, seconds = 0.0f;
    if (!PyArg_ParseTuple(args, "sfff", &name, &start, &target, &seconds))
        return nullptr;
    int32_t slot = TsFModFindChannelBySoundName(name);
    if (slot != -1)
    {
        if (target > 0.0f)
            TsFModSetChannelFade(slot, start, target, seconds);
        else
            TsFModStopChannel(slot);
    }
    Py_RETURN_NONE;
}

PyMethodDef kMethods[] = {
    {"PlaySound", PlaySound, METH_VARARGS, nullptr},
    {"GetSoundLength", GetSoundLength, METH_VARARGS, nullptr},
    {"SetSoundFade", SetSoundFade, METH_VARARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};
} // namespace

int32_t TsFModPlaySoundAt(const char* identifier, const Vector* position)
{
    int32_t slot = TsFModStartSound(identifier);
    if (slot != -1 && position)
        TsFModSetChannelPosition(slot, position);
    return slot;
}

int32_t TsSoundModuleInit(PyObject* module)
{
    PyObject* dictionary = module ? PyModule_GetDict(module) : nullptr;
    if (!dictionary)
    {
        PyErr_Clear();
        return 1;
    }
    for (PyMethodDef* method = kMethods; method->ml_name; ++method)
    {
        PyObject* function = PyCFunction_New(method, nullptr);
        if (!function || PyDict_SetItemString(dictionary, method->ml_name, function) != 0)
        {
            Py_XDECREF(function);
            PyErr_Clear();
            return 0;
        }
        Py_DECREF(function);
    }
    return 1;
}
