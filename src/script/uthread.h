// The "uthread" script module: cooperative microthreads stepped by the scripts,
// semaphores and synchronizers that block them, and the module's Wichmann-Hill
// generator. Stack switching comes from greenlet.
#pragma once

/// Microthread objects alive in the running interpreter (0 while it is stopped).
int UthreadLiveCount();

/// A microthread never yields on its own, so a script that loops without
/// blocking would hold the game inside step() for ever. When one step() (with the
/// steps it makes itself) runs longer than this many milliseconds, the microthread
/// is interrupted again and again, at every line, with an exception that no
/// handler can keep (not even a bare except), until it ends; step() then raises
/// RuntimeError. Ending a microthread (its last reference dropped, or the
/// interpreter stopping) runs its code under the same limit; past it, the
/// microthread is abandoned with a message in the error log. 0 turns the guard
/// off. Default kUthreadDefaultStepLimitMs.
constexpr int kUthreadDefaultStepLimitMs = 2000;
void UthreadSetStepTimeLimit(int milliseconds);
int UthreadGetStepTimeLimit();

typedef struct _object PyObject;

/// A call from the game into a script (level start and end, events, timers): the callable with
/// the argument tuple (or none), through TsCallScriptObject, under the same time limit as a
/// step, so that a catch-all endless loop cannot hold the game. Past the limit the script is
/// stopped as a step is; the call answers null with RuntimeError "script call ran longer than
/// <n> ms and was stopped".
PyObject* UthreadGuardedCall(PyObject* callable, PyObject* args);
/// call(data) under the same limit: the guard the actor layer's script calls go through.
PyObject* UthreadGuardedRun(PyObject* (*call)(void* data), void* data);
