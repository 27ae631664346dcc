// The vertex type: attributes, text form, comparison, hash and the arithmetic the
// scripts use, and the builtin constructor vertex(x, y, z).
#include "scriptvertex.h"

#include "script_local.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace
{

PyTypeObject* gVertexType = nullptr;

ScriptVertex* AsVertex(PyObject* object)
{
    return reinterpret_cast<ScriptVertex*>(object);
}

float* Component(PyObject* self, PyObject* name)
{
    const char* text = PyUnicode_Check(name) ? PyUnicode_AsUTF8(name) : nullptr;
    if (!text)
    {
        PyErr_Clear();
        return nullptr;
    }
    ScriptVertex* v = AsVertex(self);
    if (std::strcmp(text, "x") == 0)
        return &v->x;
    if (std::strcmp(text, "y") == 0)
        return &v->y;
    if (std::strcmp(text, "z") == 0)
        return &v->z;
    return nullptr;
}

PyObject* VertexGetAttr(PyObject* self, PyObject* name)
{
    if (float* component = Component(self, name))
        return PyFloat_FromDouble(*component);
    return PyObject_GenericGetAttr(self, name);
}

int VertexSetAttr(PyObject* self, PyObject* name, PyObject* value)
{
    float* component = Component(self, name);
    if (!component)
    {
        PyErr_Format(PyExc_AttributeError, "vertex has no attribute '%U'", name);
        return -1;
    }
    if (!value)
    {
        PyErr_SetString(PyExc_TypeError, "vertex components cannot be deleted");
        return -1;
    }
    double real = PyFloat_AsDouble(value);
    if (real == -1.0 && PyErr_Occurred())
        return -1;
    *component = static_cast<float>(real);
    return 0;
}

PyObject* VertexRepr(PyObject* self)
{
    ScriptVertex* v = AsVertex(self);
    char text[160];
    std::snprintf(text, sizeof(text), "<%f %f %f>", static_cast<double>(v->x), static_cast<double>(v->y),
                  static_cast<double>(v->z));
    return PyUnicode_FromString(text);
}

double LengthSquared(const ScriptVertex* v)
{
    return static_cast<double>(v->x) * v->x + static_cast<double>(v->y) * v->y + static_cast<double>(v->z) * v->z;
}

// The game's three-way comparison: equal when all components are, otherwise by
// squared length, the longer being greater. Two different vertices of the same
// length each compare as the smaller one; scripts have always seen it that way.
int Compare(const ScriptVertex* a, const ScriptVertex* b)
{
    if (a->x == b->x && a->y == b->y && a->z == b->z)
        return 0;
    return LengthSquared(a) > LengthSquared(b) ? 1 : -1;
}

PyObject* VertexRichCompare(PyObject* a, PyObject* b, int op)
{
    if (!ScriptIsVertex(a) || !ScriptIsVertex(b))
        Py_RETURN_NOTIMPLEMENTED;
    int c = Compare(AsVertex(a), AsVertex(b));
    bool result = false;
    switch (op)
    {
    case Py_LT:
        result = c < 0;
        break;
    case Py_LE:
        result = c <= 0;
        break;
    case Py_EQ:
        result = c == 0;
        break;
    case Py_NE:
        result = c != 0;
        break;
    case Py_GT:
        result = c > 0;
        break;
    case Py_GE:
        result = c >= 0;
        break;
    default:
        break;
    }
    return PyBool_FromLong(result);
}

Py_hash_t VertexHash(PyObject* self)
{
    PyObject* x = PyFloat_FromDouble(AsVertex(self)->x);
    if (!x)
        return -1;
    Py_hash_t hash = PyObject_Hash(x);
    Py_DECREF(x);
    return hash;
}

PyObject* VertexAdd(PyObject* a, PyObject* b)
{
    if (!ScriptIsVertex(a) || !ScriptIsVertex(b))
        Py_RETURN_NOTIMPLEMENTED;
    ScriptVertex* p = AsVertex(a);
    ScriptVertex* q = AsVertex(b);
    return ScriptNewVertex(p->x + q->x, p->y + q->y, p->z + q->z);
}

PyObject* VertexSubtract(PyObject* a, PyObject* b)
{
    if (!ScriptIsVertex(a) || !ScriptIsVertex(b))
        Py_RETURN_NOTIMPLEMENTED;
    ScriptVertex* p = AsVertex(a);
    ScriptVertex* q = AsVertex(b);
    return ScriptNewVertex(p->x - q->x, p->y - q->y, p->z - q->z);
}

PyObject* VertexNegative(PyObject* self)
{
    ScriptVertex* v = AsVertex(self);
    return ScriptNewVertex(-v->x, -v->y, -v->z);
}

PyObject* VertexPositive(PyObject* self)
{
    Py_INCREF(self);
    return self;
}

PyObject* VertexAbsolute(PyObject* self)
{
    ScriptVertex* v = AsVertex(self);
    return ScriptNewVertex(std::fabs(v->x), std::fabs(v->y), std::fabs(v->z));
}

int VertexBool(PyObject* self)
{
    ScriptVertex* v = AsVertex(self);
    return v->x != 0.0f || v->y != 0.0f || v->z != 0.0f;
}

void VertexDealloc(PyObject* self)
{
    PyTypeObject* type = Py_TYPE(self);
    type->tp_free(self);
    Py_DECREF(type);
}

PyType_Slot gVertexSlots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(VertexDealloc)},
    {Py_tp_getattro, reinterpret_cast<void*>(VertexGetAttr)},
    {Py_tp_setattro, reinterpret_cast<void*>(VertexSetAttr)},
    {Py_tp_repr, reinterpret_cast<void*>(VertexRepr)},
    {Py_tp_richcompare, reinterpret_cast<void*>(VertexRichCompare)},
    {Py_tp_hash, reinterpret_cast<void*>(VertexHash)},
    {Py_nb_add, reinterpret_cast<void*>(VertexAdd)},
    {Py_nb_subtract, reinterpret_cast<void*>(VertexSubtract)},
    {Py_nb_negative, reinterpret_cast<void*>(VertexNegative)},
    {Py_nb_positive, reinterpret_cast<void*>(VertexPositive)},
    {Py_nb_absolute, reinterpret_cast<void*>(VertexAbsolute)},
    {Py_nb_bool, reinterpret_cast<void*>(VertexBool)},
    {0, nullptr},
};

// No instantiation through the type itself: scripts build vertices with vertex().
PyType_Spec gVertexSpec = {"vertex", sizeof(ScriptVertex), 0, Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION,
                           gVertexSlots};

bool ConvertsToReal(PyObject* object)
{
    PyNumberMethods* number = Py_TYPE(object)->tp_as_number;
    return number && (number->nb_float || number->nb_index);
}

PyObject* VertexBuiltin(PyObject*, PyObject* args)
{
    PyObject* parts[3] = {};
    if (!PyArg_ParseTuple(args, "OOO:vertex", &parts[0], &parts[1], &parts[2]))
        return nullptr;
    for (PyObject* part : parts)
        if (!ConvertsToReal(part))
        {
            PyErr_SetString(PyExc_TypeError, "vertex() argument can't be converted to vertex");
            return nullptr;
        }
    float values[3] = {};
    for (int i = 0; i < 3; ++i)
    {
        PyObject* real = PyNumber_Float(parts[i]);
        if (!real)
            return nullptr;
        values[i] = static_cast<float>(PyFloat_AS_DOUBLE(real));
        Py_DECREF(real);
    }
    return ScriptNewVertex(values[0], values[1], values[2]);
}

PyMethodDef gVertexBuiltin = {"vertex", VertexBuiltin, METH_VARARGS, nullptr};

} // namespace

PyObject* ScriptNewVertex(float x, float y, float z)
{
    if (!gVertexType)
    {
        PyErr_SetString(PyExc_RuntimeError, "the vertex type is not ready");
        return nullptr;
    }
    PyObject* object = gVertexType->tp_alloc(gVertexType, 0);
    if (!object)
        return PyErr_NoMemory();
    ScriptVertex* v = AsVertex(object);
    v->x = x;
    v->y = y;
    v->z = z;
    return object;
}

bool ScriptIsVertex(PyObject* object)
{
    return object && gVertexType && Py_TYPE(object) == gVertexType;
}

PyTypeObject* ScriptVertexType()
{
    return gVertexType;
}

int ScriptVertexStart()
{
    PyObject* type = PyType_FromSpec(&gVertexSpec);
    if (!type)
        return 0;
    PyObject* builtin = PyCFunction_New(&gVertexBuiltin, nullptr);
    if (!builtin || PyDict_SetItemString(PyEval_GetBuiltins(), "vertex", builtin) < 0)
    {
        Py_XDECREF(builtin);
        Py_DECREF(type);
        return 0;
    }
    Py_DECREF(builtin);
    gVertexType = reinterpret_cast<PyTypeObject*>(type);
    return 1;
}

void ScriptVertexStop()
{
    Py_CLEAR(gVertexType);
}
