// WRenderList: one layer of the 3D pass, the render items drawn in list order; and the
// transparent layer, drawn back to front. The items come with the scene-graph nodes.
#pragma once

#include "hbmemory.h"

#include <cstdint>

class WRenderList : public HbAllocated
{
public:
    static constexpr int32_t kCapacity = 512;

    /// Render options.
    enum Flag : uint32_t
    {
        kLit = 0x1,
        kFading = 0x4,
    };

    WRenderList() = default;
    virtual ~WRenderList() = default;
    WRenderList(const WRenderList&) = delete;
    WRenderList& operator=(const WRenderList&) = delete;

    /// Draws the items in list order.
    virtual void Render();
    /// Every slot emptied.
    void Clear();

    void SetFlags(uint32_t flags) { mFlags = flags; }
    uint32_t GetFlags() const { return mFlags; }
    int32_t GetCount() const { return mCount; }

protected:
    void* mItems[kCapacity] = {};
    int32_t mCount = 0;
    uint32_t mFlags = 0;
};

/// The transparent layer.
class WTransparentRenderList : public WRenderList
{
public:
    /// Draws the items, which the frame sorts back to front first.
    void Render() override;
};
