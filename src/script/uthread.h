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
