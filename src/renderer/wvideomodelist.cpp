// The options menu's sizes and depths.
#include "wvideomodelist.h"

#include "engine.h"
#include "hbapplication.h"
#include "wvideoprefs.h"

#include <cstdio>

namespace
{
// The depth kind of a mode's colour bits, or -1 for a depth the game does not offer.
int32_t DepthKind(int32_t depth)
{
    if (depth == 16)
        return WDisplaySettings::kDepth16;
    if (depth == 32)
        return WDisplaySettings::kDepth32;
    return -1;
}
} // namespace

void WVideoModeList::Build(WVideoModeList* list)
{
    list->sizeCount = 0;
    list->depthCount = 0;
    int32_t count = Engine::GetNumVideoModes();
    for (int32_t index = 1; index < count; ++index)
    {
        VideoMode mode{};
        if (!Engine::GetVideoModeInfo(&mode, index))
            continue;
        bool known = false;
        for (int32_t i = 0; i < list->sizeCount && !known; ++i)
            known = list->sizes[i].width == mode.width && list->sizes[i].height == mode.height;
        if (!known && list->sizeCount < kCapacity)
        {
            Size& size = list->sizes[list->sizeCount];
            size = {mode.width, mode.height};
            std::snprintf(list->sizeNames[list->sizeCount], sizeof(list->sizeNames[0]), "%dx%d", mode.width,
                          mode.height);
            ++list->sizeCount;
        }
        int32_t kind = DepthKind(mode.depth);
        if (kind < 0)
            continue;
        known = false;
        for (int32_t i = 0; i < list->depthCount && !known; ++i)
            known = list->depthKinds[i] == kind;
        if (!known && list->depthCount < kCapacity)
        {
            list->depthKinds[list->depthCount] = kind;
            std::snprintf(list->depthNames[list->depthCount], sizeof(list->depthNames[0]), "%d", mode.depth);
            ++list->depthCount;
        }
    }
}

void WVideoModeList::FindCurrent(WVideoModeList* list, const HbWindowState& window)
{
    list->currentSize = 0;
    list->currentDepth = 0;
    list->fullScreen = 0;
    int32_t current = Engine::GetCurrentVideoMode();
    VideoMode mode{};
    if (current < 0 || !Engine::GetVideoModeInfo(&mode, current))
        return;
    for (int32_t i = 0; i < list->sizeCount; ++i)
    {
        if (list->sizes[i].width == window.requestedWidth && list->sizes[i].height == window.requestedHeight)
        {
            list->currentSize = i;
            break;
        }
    }
    int32_t kind = DepthKind(mode.depth);
    for (int32_t i = 0; i < list->depthCount; ++i)
    {
        if (list->depthKinds[i] == kind)
        {
            list->currentDepth = i;
            break;
        }
    }
    list->fullScreen = current != 0 ? 1 : 0;
}
