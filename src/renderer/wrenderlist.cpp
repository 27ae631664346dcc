// The render lists.
#include "wrenderlist.h"

#include "hbclock.h"
#include "wrenderitem.h"

#include <cstdlib>

void WRenderList::Render()
{
    HbRealClock* clock = HbRealClock::Instance();
    int32_t stamp = clock ? clock->mFrameCount : 0;
    for (int32_t i = 0; i < mCount; ++i)
        TRenderDataItem::Render(mItems[i], mFlags, stamp, mSavedAlpha);
}

void WRenderList::Clear()
{
    // Items keep no stale slot: a later Remove would otherwise move an unrelated item.
    for (int32_t i = 0; i < mCount; ++i)
        if (mItems[i])
        {
            mItems[i]->list = -1;
            mItems[i]->position = -1;
        }
    for (TRenderDataItem*& item : mItems)
        item = nullptr;
    mCount = 0;
}

int32_t WRenderList::Add(TRenderDataItem* item)
{
    if (mCount >= kCapacity)
        return 0;
    mItems[mCount] = item;
    item->position = mCount;
    ++mCount;
    return 1;
}

int32_t WRenderList::Remove(TRenderDataItem* item)
{
    int32_t position = item ? item->position : -1;
    if (mCount == 0 || position < 0 || position >= mCount || mItems[position] != item)
        return 0;
    int32_t last = mCount - 1;
    mItems[position] = mItems[last];
    mItems[position]->position = position;
    mItems[last] = nullptr;
    mCount = last;
    item->list = -1;
    item->position = -1;
    return 1;
}

int32_t WRenderList::Sort(Compare compare)
{
    if (mCount > 1)
        std::qsort(mItems, size_t(mCount), sizeof(mItems[0]), compare);
    for (int32_t i = 0; i < mCount; ++i)
        mItems[i]->position = i;
    return mCount;
}

void WTransparentRenderList::Render()
{
    for (int32_t i = 0; i < mCount; ++i)
        TRenderDataItem::RenderTransparent(mItems[i]);
}
