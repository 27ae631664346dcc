// The binding of actors to their script objects.
#include "tsscriptbinding.h"

#include "tsactor.h"

#include "tsscriptcall.h"

#include <Python.h>

#include <cstring>

namespace
{
PyObject* MainDict()
{
    PyObject* main = TsScriptMainModule();
    return main ? PyModule_GetDict(main) : nullptr;
}

/// A new reference on the str attribute, or null (no error left set).
PyObject* StrAttr(PyObject* object, const char* name)
{
    PyObject* value = object ? PyObject_GetAttrString(object, name) : nullptr;
    if (!value)
    {
        PyErr_Clear();
        return nullptr;
    }
    if (!PyUnicode_Check(value))
    {
        Py_DECREF(value);
        return nullptr;
    }
    return value;
}

bool IsBound(TsActor* actor)
{
    return actor && actor->GetScriptObject() && actor->GetScriptObject() != Py_None;
}

/// Python 3 has no separate instance type: an instance is an object with a __dict__ that
/// is neither a class nor a module.
bool IsInstance(PyObject* object)
{
    if (!object || PyType_Check(object) || PyModule_Check(object))
        return false;
    PyObject** dict = _PyObject_GetDictPtr(object);
    return dict != nullptr;
}

bool IsIdentifier(const char* text)
{
    if (!text || !*text)
        return false;
    PyObject* name = PyUnicode_FromString(text);
    if (!name)
    {
        PyErr_Clear();
        return false;
    }
    int ok = PyUnicode_IsIdentifier(name);
    Py_DECREF(name);
    return ok == 1;
}

/// The data text names a class: a quote, backslash or line break never belongs in it.
bool IsPlainData(const char* text)
{
    return !text || !std::strpbrk(text, "\"\\\r\n");
}

int32_t gDeleteDepth = 0;

PyObject* StorePyActor(PyObject*, PyObject* args)
{
    PyObject* instance = nullptr;
    if (!PyArg_ParseTuple(args, "O:StorePyActor", &instance))
        return nullptr;
    if (!IsInstance(instance))
    {
        PyErr_SetString(PyExc_TypeError, "StorePyActor : The pyobject is not a py actor");
        return nullptr;
    }
    PyObject* name = StrAttr(instance, "actorName");
    PyObject* dict = MainDict();
    if (name && dict)
    {
        int present = PyDict_Contains(dict, name);
        if (present == 0 && PyDict_SetItem(dict, name, instance) < 0)
        {
            Py_DECREF(name);
            return nullptr;
        }
        PyErr_Clear();
    }
    Py_XDECREF(name);
    return PyLong_FromLong(1);
}

PyObject* RemovePyActor(PyObject*, PyObject* args)
{
    PyObject* instance = nullptr;
    if (!PyArg_ParseTuple(args, "O:RemovePyActor", &instance))
        return nullptr;
    if (!IsInstance(instance))
    {
        PyErr_SetString(PyExc_TypeError, "RemovePyActor : The pyobject is not a py actor");
        return nullptr;
    }
    if (!TsScriptIsStored(instance))
        return PyLong_FromLong(0);
    return PyLong_FromLong(TsScriptUnstore(instance) == 0 ? 1 : 0);
}

PyObject* IsNameExist(PyObject*, PyObject* args)
{
    const char* name = nullptr;
    if (!PyArg_ParseTuple(args, "s:IsNameExist", &name))
        return nullptr;
    return PyLong_FromLong(TsScriptNameExists(name));
}

PyMethodDef gActorTools[] = {
    {"StorePyActor", StorePyActor, METH_VARARGS, nullptr},
    {"RemovePyActor", RemovePyActor, METH_VARARGS, nullptr},
    {"IsNameExist", IsNameExist, METH_VARARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};
} // namespace

PyObject* TsScriptMainModule()
{
    if (!Py_IsInitialized())
        return nullptr;
    PyObject* main = PyDict_GetItemString(PyImport_GetModuleDict(), "__main__");
    return main && PyModule_Check(main) ? main : nullptr;
}

int32_t TsScriptNameExists(const char* name)
{
    PyObject* main = TsScriptMainModule();
    if (!main || !name)
        return 0;
    int has = PyObject_HasAttrString(main, name);
    return has ? 1 : 0;
}

int32_t TsScriptIsStored(PyObject* instance)
{
    PyObject* main = TsScriptMainModule();
    PyObject* name = instance ? PyObject_GetAttrString(instance, "actorName") : nullptr;
    if (!name)
    {
        PyErr_Clear();
        return 0;
    }
    int has = main ? PyObject_HasAttr(main, name) : 0;
    Py_DECREF(name);
    return has ? 1 : 0;
}

int32_t TsActorIsScriptStored(TsActor* actor)
{
    if (!IsBound(actor))
        return 0;
    PyObject* name = StrAttr(actor->GetScriptObject(), "actorName");
    PyObject* main = TsScriptMainModule();
    int has = name && main ? PyObject_HasAttr(main, name) : 0;
    Py_XDECREF(name);
    return has ? 1 : 0;
}

int32_t TsScriptUnstore(PyObject* instance, bool onlyItself)
{
    if (!TsScriptIsStored(instance))
        return 1;
    PyObject* name = PyObject_GetAttrString(instance, "actorName");
    if (!name)
    {
        PyErr_Clear();
        return 3;
    }
    PyObject* dict = MainDict();
    int failed = -1;
    // Only its own when asked: the name may hold another instance by now (a respawn under the
    // same name).
    if (dict && onlyItself && PyDict_GetItemWithError(dict, name) != instance)
        failed = 0;
    else if (dict)
        failed = PyDict_DelItem(dict, name);
    Py_DECREF(name);
    if (failed)
    {
        PyErr_Clear();
        return 4;
    }
    return 0;
}

int32_t TsActorCallScriptMethod(TsActor* actor, const char* method, PyObject* argument)
{
    if (!IsBound(actor) || !method)
        return 3;
    PyObject* function = PyObject_GetAttrString(actor->GetScriptObject(), method);
    if (!function)
    {
        PyErr_Clear();
        return 3;
    }
    PyObject* result = nullptr;
    if (argument && PyTuple_Check(argument))
    {
        PyObject* call[2] = {function, argument};
        result = TsRunScriptGuarded(
            [](void* data) {
                PyObject** c = static_cast<PyObject**>(data);
                return PyObject_Call(c[0], c[1], nullptr);
            },
            call);
    }
    else
        result = TsCallScriptObjectGuarded(function, argument);
    Py_DECREF(function);
    if (!result)
    {
        if (PyErr_Occurred())
            PyErr_Print();
        return 4;
    }
    Py_DECREF(result);
    return 0;
}

int32_t TsActorScriptDelete(TsActor* actor)
{
    // A delete method that deletes its actor again would recurse without end.
    if (gDeleteDepth > 0)
        return 4;
    ++gDeleteDepth;
    int32_t result = TsActorCallScriptMethod(actor, "delete", nullptr);
    --gDeleteDepth;
    return result;
}

int32_t TsActorScriptAttrEquals(TsActor* actor, const char* attribute, const char* text)
{
    if (!IsBound(actor) || !attribute || !text)
        return 0;
    PyObject* value = StrAttr(actor->GetScriptObject(), attribute);
    Py_ssize_t length = 0;
    const char* utf8 = value ? PyUnicode_AsUTF8AndSize(value, &length) : nullptr;
    bool equal = utf8 && size_t(length) == std::strlen(text) && std::memcmp(utf8, text, size_t(length)) == 0;
    Py_XDECREF(value);
    PyErr_Clear();
    return equal ? 1 : 0;
}

int32_t TsActorBehaviourNameEquals(TsActor* actor, const char* text)
{
    return TsActorScriptAttrEquals(actor, "currentBehaviourGenericName", text);
}

int32_t TsActorGetBehaviourName(TsActor* actor, std::string& out)
{
    out.clear();
    PyObject* value = IsBound(actor) ? StrAttr(actor->GetScriptObject(), "currentBehaviourGenericName") : nullptr;
    const char* utf8 = value ? PyUnicode_AsUTF8(value) : nullptr;
    if (utf8)
        out = utf8;
    Py_XDECREF(value);
    PyErr_Clear();
    return utf8 ? 0 : 1;
}

int32_t TsActorNameEquals(TsActor* actor, const char* text)
{
    return actor && text && actor->GetName() == text ? 1 : 0;
}

int32_t TsActorGetScriptName(TsActor* actor, std::string& out)
{
    out.clear();
    if (!IsBound(actor))
        return 1;
    PyObject* name = StrAttr(actor->GetScriptObject(), "actorName");
    if (!name)
        return 3;
    const char* utf8 = PyUnicode_AsUTF8(name);
    int32_t result = 1;
    if (utf8 && TsScriptNameExists(utf8))
    {
        out = utf8;
        result = 0;
    }
    Py_DECREF(name);
    PyErr_Clear();
    return result;
}

int32_t TsActorCheckScriptClass(TsActor* actor, const char* className)
{
    if (!actor || !className)
        return 0;
    if (std::strcmp(className, "TheHero") == 0)
        return actor->GetName() == "TheHero" ? 1 : 0;
    if (std::strcmp(className, "Gard") == 0)
        className = "ClassGardWithGraph";
    if (!IsBound(actor))
        return 0;
    PyObject* type = PyObject_GetAttrString(actor->GetScriptObject(), "__class__");
    PyObject* name = type ? StrAttr(type, "__name__") : nullptr;
    const char* utf8 = name ? PyUnicode_AsUTF8(name) : nullptr;
    int32_t result = utf8 && std::strcmp(utf8, className) == 0 ? 1 : 0;
    Py_XDECREF(name);
    Py_XDECREF(type);
    PyErr_Clear();
    return result;
}

int32_t TsCreateScriptObject(const char* className, const char* variable, const char* data)
{
    PyObject* dict = MainDict();
    if (!dict || !variable || !className)
        return 4;
    if (TsScriptNameExists(variable))
        return 2;
    // The names come from save files: never run them as source, call the class instead.
    if (!IsIdentifier(className) || !IsIdentifier(variable) || !IsPlainData(data))
        return 4;
    PyObject* cls = PyDict_GetItemString(dict, className);
    if (!cls)
    {
        PyObject* builtins = PyEval_GetBuiltins();
        cls = builtins ? PyDict_GetItemString(builtins, className) : nullptr;
    }
    if (!cls || !PyCallable_Check(cls))
        return 4;
    struct Make
    {
        PyObject* cls;
        const char* variable;
        const char* data;
    } make{cls, variable, data ? data : ""};
    PyObject* instance = TsRunScriptGuarded(
        [](void* m) {
            const Make* k = static_cast<const Make*>(m);
            return PyObject_CallFunction(k->cls, "ss", k->variable, k->data);
        },
        &make);
    if (!instance)
    {
        if (PyErr_Occurred())
            PyErr_Print();
        return 4;
    }
    int failed = PyDict_SetItemString(dict, variable, instance);
    Py_DECREF(instance);
    if (failed)
    {
        PyErr_Clear();
        return 4;
    }
    return 0;
}

int32_t PyActorToolsInit(PyObject* module)
{
    if (!module || !PyModule_GetDict(module))
    {
        PyErr_Clear();
        return 0;
    }
    if (PyModule_AddFunctions(module, gActorTools) < 0)
    {
        PyErr_Clear();
        return 0;
    }
    return 1;
}
