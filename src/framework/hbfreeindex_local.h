// Side indexes of the framework heap and arenas: a bitmap of free-block starts
// and a best-fit index of free blocks by (size, tie). Both live outside the
// managed memory, so every block, header and offset stays what the plain list
// walks of the allocators give.
#pragma once

#include <cstddef>
#include <cstdint>
#include <tuple>
#include <vector>

/// One bit per granule, with summary levels above it (bit j of a level is set
/// while word j of the level below is not zero), so the nearest set bit on
/// either side is found in a few word reads. The levels share one allocation.
class HbGranuleBitmap
{
public:
    static constexpr uint32_t kNone = UINT32_MAX;

    /// Room for `bits` bits, all clear; false when out of memory.
    bool Init(uint32_t bits);
    void Release();

    /// The summary levels are touched only when a word turns empty or non-empty.
    void Set(uint32_t bit)
    {
        uint64_t& word = mWords[bit >> 6];
        uint64_t was = word;
        word = was | uint64_t(1) << (bit & 63);
        if (was == 0)
            SetAbove(bit >> 6);
    }
    void Clear(uint32_t bit)
    {
        uint64_t& word = mWords[bit >> 6];
        word &= ~(uint64_t(1) << (bit & 63));
        if (word == 0)
            ClearAbove(bit >> 6);
    }
    bool Test(uint32_t bit) const { return (mWords[bit >> 6] >> (bit & 63)) & 1; }
    /// The highest set bit below `bit`, or kNone.
    uint32_t FindBelow(uint32_t bit) const;
    /// The lowest set bit at or above `bit`, or kNone.
    uint32_t FindFrom(uint32_t bit) const;
    uint32_t Size() const { return mBits; }

private:
    void SetAbove(uint64_t word);
    void ClearAbove(uint64_t word);

    // 64^6 bits cover any 32-bit count.
    static constexpr uint32_t kMaxLevels = 6;
    uint32_t mBits = 0;
    uint32_t mLevelCount = 0;
    uint64_t* mLevels[kMaxLevels] = {};
    uint64_t mLevelWords[kMaxLevels] = {};
    std::vector<uint64_t> mStorage; ///< the levels one after another, the bottom first
    uint64_t* mWords = nullptr;     ///< the bottom level
};

/// Free blocks by (size, tie, offset), smallest first. Sizes that are a
/// multiple of the granule and below granule x bin count go to a bin of their
/// own, kept exactly as an array of (tie, offset) sorted largest first (the
/// best entry last, where finding and taking it costs nothing), with a bitmap
/// of the bins that hold blocks. Other sizes (few blocks:
/// the large holes and the tail) go to one exactly kept sorted array.
class HbBestFitIndex
{
public:
    /// The granule is a power of two (the heap's alignment, the arena's 16).
    bool Init(uint32_t granule, uint32_t binCount);
    void Release();

    void Add(uint32_t size, uint32_t tie, uint32_t offset);
    /// The block must have been added with this size and tie.
    void Remove(uint32_t size, uint32_t tie, uint32_t offset);
    /// The smallest (size, tie) with size >= request; false when there is none.
    bool Find(uint64_t request, uint32_t* offset, uint32_t* size);

    /// Blocks held, for consistency checks.
    size_t Count() const { return mCount; }

private:
    using Entry = uint64_t; // tie << 32 | offset
    bool InBins(uint32_t size) const { return (size & (mGranule - 1)) == 0 && (size >> mShift) < mBins.size(); }

    uint32_t mGranule = 16; ///< a power of two
    uint32_t mShift = 4;
    std::vector<std::vector<Entry>> mBins; ///< each sorted largest first
    HbGranuleBitmap mUsedBins;
    using Other = std::tuple<uint32_t, uint32_t, uint32_t>; // size, tie, offset
    std::vector<Other> mOthers;
    size_t mCount = 0;
};
