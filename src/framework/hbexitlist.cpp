// HbExitList: the singletons' destroy callbacks.
#include "hbexitlist.h"

namespace
{
HbExitList* gExitList = nullptr;
} // namespace

HbExitList* HbExitList::Instance()
{
    if (!gExitList)
    {
        // Makes the heap first: it registers the exit handler that runs this list.
        InitFrameworkHeap();
        if (!gExitList)
            gExitList = new HbExitList();
    }
    return gExitList;
}

void HbExitList::Add(HbExitCallback callback)
{
    if (HbExitList* list = Instance())
        list->mCallbacks.Add(reinterpret_cast<void*>(callback));
}

void HbExitList::RunAll()
{
    HbExitList* list = gExitList;
    if (!list)
        return;
    for (int32_t i = list->mCallbacks.GetCount() - 1; i >= 0; --i)
        reinterpret_cast<HbExitCallback>(list->mCallbacks[i])();
    list->mCallbacks.RemoveAll();
}

void HbExitList::Destroy()
{
    delete gExitList;
    gExitList = nullptr;
}

int32_t HbExitList::Count()
{
    return gExitList ? gExitList->mCallbacks.GetCount() : 0;
}
