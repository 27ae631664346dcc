// TsCallScriptObject: the one way game code calls into scripts.
#pragma once

typedef struct _object PyObject;

/// Calls the callable with no argument when argument is null, else with exactly that one
/// argument. The result (a new reference), or null when the script raised an error, which
/// stays set for the caller to print or clear. Leaves the interpreter's frame state alone.
/// Null for a null callable or a stopped interpreter, with no error set.
PyObject* TsCallScriptObject(PyObject* callable, PyObject* argument);

/// Runs call(data) under the script host's time limit, so that game code calling into a script
/// that never returns is not held by it. Installed by the script host while its interpreter runs;
/// without one the call runs unguarded.
typedef PyObject* (*TsScriptGuardedRun)(PyObject* (*call)(void* data), void* data);
void TsSetScriptGuard(TsScriptGuardedRun guard);
PyObject* TsRunScriptGuarded(PyObject* (*call)(void* data), void* data);
/// TsCallScriptObject under the installed guard.
PyObject* TsCallScriptObjectGuarded(PyObject* callable, PyObject* argument);
