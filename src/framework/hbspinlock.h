// HbSpinLock: the lock of the framework heap and arenas.
#pragma once

#include <atomic>
#include <sched.h>

/// A lock for critical sections of a few hundred instructions that are taken
/// on every allocation: one atomic exchange to take it, a plain release store
/// to give it back (a mutex pays an atomic operation both ways). A waiter spins
/// briefly, then yields its time slice, so a holder that was preempted (the
/// audio and video threads allocate too) still gets to finish.
class HbSpinLock
{
public:
    void lock()
    {
        if (!mHeld.exchange(true, std::memory_order_acquire))
            return;
        LockSlow();
    }
    bool try_lock() { return !mHeld.load(std::memory_order_relaxed) && !mHeld.exchange(true, std::memory_order_acquire); }
    void unlock() { mHeld.store(false, std::memory_order_release); }

private:
    static void Pause()
    {
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }
    void LockSlow()
    {
        for (unsigned spins = 0;; ++spins)
        {
            while (mHeld.load(std::memory_order_relaxed))
            {
                if (spins++ < 64)
                    Pause();
                else
                    sched_yield();
            }
            if (!mHeld.exchange(true, std::memory_order_acquire))
                return;
        }
    }

    std::atomic<bool> mHeld{false};
};
