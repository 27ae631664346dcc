// The render lists.
#include "wrenderlist.h"

void WRenderList::Render() {}

void WRenderList::Clear()
{
    for (void*& item : mItems)
        item = nullptr;
    mCount = 0;
}

void WTransparentRenderList::Render() {}
