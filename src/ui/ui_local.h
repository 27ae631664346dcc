// Item helpers the user-interface screens share.
#pragma once

#include "w2dgenericitem.h"

namespace uiitems
{

/// The item released (its Release, then the holder's reference) and the pointer cleared; null is left alone.
template <typename T> void Drop(T*& item)
{
    if (!item)
        return;
    item->Release();
    item->HbRoot::Release();
    item = nullptr;
}

inline void ShowItem(W2dGenericItem* item)
{
    if (item)
        item->Show();
}

inline void HideItem(W2dGenericItem* item)
{
    if (item)
        item->Hide();
}

} // namespace uiitems
