// WRenderList: one layer of the 3D pass, the render items drawn in list order; and the
// transparent layer, drawn back to front. The items belong to the scene-graph nodes.
#pragma once

#include "hbmemory.h"

#include <cstdint>
#include <vector>

struct TRenderDataItem;

class WRenderList : public HbAllocated
{
public:
    static constexpr int32_t kCapacity = 512;

    /// Render options.
    enum Flag : uint32_t
    {
        /// Items that take light-field lighting are lit.
        kLit = 0x1,
        /// The owner's fade function sets the items' material alpha.
        kFading = 0x4,
    };

    using Compare = int (*)(const void* a, const void* b);

    WRenderList() = default;
    /// Releases no item and touches none: items belong to their nodes, which may be gone.
    virtual ~WRenderList() { mCount = 0; }
    WRenderList(const WRenderList&) = delete;
    WRenderList& operator=(const WRenderList&) = delete;

    /// Draws the items in list order with the real clock's frame count as the light stamp.
    virtual void Render();
    /// Every slot emptied; the items that were listed are in no list any more.
    void Clear();
    /// Appends the item at slot count and records the slot in it (the caller sets its list).
    /// 1, or 0 when the list is full.
    int32_t Add(TRenderDataItem* item);
    /// Takes the item out, moving the last item into its slot; its list and position become
    /// -1. 1, or 0 when the item is not at its recorded position in this list.
    int32_t Remove(TRenderDataItem* item);
    /// Sorts the items with the comparison (not stable) and rewrites their positions. The count.
    int32_t Sort(Compare compare);

    void SetFlags(uint32_t flags) { mFlags = flags; }
    uint32_t GetFlags() const { return mFlags; }
    int32_t GetCount() const { return mCount; }
    TRenderDataItem* GetItem(int32_t index) const { return index >= 0 && index < mCount ? mItems[index] : nullptr; }

protected:
    TRenderDataItem* mItems[kCapacity] = {};
    int32_t mCount = 0;
    uint32_t mFlags = 0;
    int32_t mSpare[2] = {};
    /// The faded items' material alpha while they draw; kept so frames do not allocate.
    std::vector<uint8_t> mSavedAlpha;
};

/// The transparent layer.
class WTransparentRenderList : public WRenderList
{
public:
    /// Draws the items (sorted back to front by the frame first) whose atomics meet the
    /// frustum; no visibility, lighting or fade.
    void Render() override;
};
