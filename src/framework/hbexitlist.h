// HbExitList: destroy callbacks of the lazily created singletons, run at exit
// from the last added to the first.
#pragma once

#include "hbgrowarray.h"

using HbExitCallback = void (*)();

class HbExitList : public HbAllocated
{
public:
    /// The list, created on first use (the handle table is made right after it).
    static HbExitList* Instance();
    static void Add(HbExitCallback callback);
    /// Calls every callback, last added first, then empties the list; callbacks
    /// added while it runs are not called.
    static void RunAll();
    /// Frees the list record (after RunAll, at exit).
    static void Destroy();
    static int32_t Count();

private:
    HbPtrArray mCallbacks;
};
