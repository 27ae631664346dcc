// The game binary's operator new: each call is told to the drive mode (which counts it when a
// memory line is asked for) and then handed to the operator new it replaces, so the runtime's
// own bookkeeping (the sanitizer's new/delete pairing among it) stays whole. operator delete is
// not replaced.
#include "gamedrive.h"

#include <cstdlib>
#include <dlfcn.h>
#include <new>

namespace
{
// The depth of operator new calls on this thread: a replaced form the runtime implements by
// calling another (new[] through new) counts once.
thread_local int tDepth = 0;

template <typename Fn> Fn Next(const char* name)
{
    // Resolved on each first use: a race only looks the same symbol up twice.
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

struct Depth
{
    Depth()
    {
        if (tDepth++ == 0)
            GameDriveNoteNew();
    }
    ~Depth() { --tDepth; }
};

using Plain = void* (*)(std::size_t);
using PlainNothrow = void* (*)(std::size_t, const std::nothrow_t&);
using Aligned = void* (*)(std::size_t, std::align_val_t);
using AlignedNothrow = void* (*)(std::size_t, std::align_val_t, const std::nothrow_t&);

template <typename Fn, typename... Args> void* Forward(Fn& next, const char* name, Args... args)
{
    if (!next)
        next = Next<Fn>(name);
    if (!next)
        std::abort(); // no operator new below this one: nothing can allocate
    Depth depth;
    return next(args...);
}

Plain sNew, sNewArray;
PlainNothrow sNewNothrow, sNewArrayNothrow;
Aligned sNewAligned, sNewArrayAligned;
AlignedNothrow sNewAlignedNothrow, sNewArrayAlignedNothrow;
} // namespace

void* operator new(std::size_t size)
{
    return Forward(sNew, "_Znwm", size);
}
void* operator new[](std::size_t size)
{
    return Forward(sNewArray, "_Znam", size);
}
void* operator new(std::size_t size, const std::nothrow_t& tag) noexcept
{
    return Forward(sNewNothrow, "_ZnwmRKSt9nothrow_t", size, tag);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept
{
    return Forward(sNewArrayNothrow, "_ZnamRKSt9nothrow_t", size, tag);
}
void* operator new(std::size_t size, std::align_val_t align)
{
    return Forward(sNewAligned, "_ZnwmSt11align_val_t", size, align);
}
void* operator new[](std::size_t size, std::align_val_t align)
{
    return Forward(sNewArrayAligned, "_ZnamSt11align_val_t", size, align);
}
void* operator new(std::size_t size, std::align_val_t align, const std::nothrow_t& tag) noexcept
{
    return Forward(sNewAlignedNothrow, "_ZnwmSt11align_val_tRKSt9nothrow_t", size, align, tag);
}
void* operator new[](std::size_t size, std::align_val_t align, const std::nothrow_t& tag) noexcept
{
    return Forward(sNewArrayAlignedNothrow, "_ZnamSt11align_val_tRKSt9nothrow_t", size, align, tag);
}
