// HbExitList: destroy callbacks of the lazily created singletons, run at exit
// from the last added to the first.
#pragma once

#include "hbgrowarray.h"

using HbExitCallback = void (*)();

class HbExitList : public HbAllocated
{
public:
    /// The list, created on first use; the handle table is made right after it,
    /// so the table's destroy callback is the first entry and runs last.
    static HbExitList* Instance();
    static void Add(HbExitCallback callback);
    /// Calls every callback, last added first, then empties the list; callbacks
    /// added while it runs are not called.
    static void RunAll();
    /// Frees the list record (after RunAll, at exit).
    static void Destroy();
    static int32_t Count();
    /// The callback at a position, in the order added; null out of range.
    static HbExitCallback At(int32_t index);

private:
    HbPtrArray mCallbacks;
};
