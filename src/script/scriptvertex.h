// The script type vertex: three 32-bit reals that carry positions and directions
// between the game and its scripts.
#pragma once

#include <Python.h>

/// Game code recognises a vertex with ScriptIsVertex and reads x, y, z directly.
struct ScriptVertex
{
    PyObject ob_base;
    float x;
    float y;
    float z;
};

/// A new vertex with one reference, or null with the interpreter's error set
/// (out of memory, or no interpreter running).
PyObject* ScriptNewVertex(float x, float y, float z);
/// True when the object's type is exactly the vertex type.
bool ScriptIsVertex(PyObject* object);
/// The vertex type of the running interpreter; null while stopped.
PyTypeObject* ScriptVertexType();
