// TsCallScriptObject: the one way game code calls into scripts.
#pragma once

typedef struct _object PyObject;

/// Calls the callable with no argument when argument is null, else with exactly that one
/// argument. The result (a new reference), or null when the script raised an error, which
/// stays set for the caller to print or clear. Leaves the interpreter's frame state alone.
/// Null for a null callable or a stopped interpreter, with no error set.
PyObject* TsCallScriptObject(PyObject* callable, PyObject* argument);
