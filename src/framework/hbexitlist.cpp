// HbExitList: the singletons' destroy callbacks.
#include "hbexitlist.h"

#include "hbptr.h"

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
        {
            gExitList = new HbExitList();
            HbHandlesManager::Instance();
        }
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

HbExitCallback HbExitList::At(int32_t index)
{
    if (!gExitList || index < 0 || index >= gExitList->mCallbacks.GetCount())
        return nullptr;
    return reinterpret_cast<HbExitCallback>(gExitList->mCallbacks[index]);
}
