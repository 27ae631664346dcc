// Side indexes of the framework heap and arenas: the granule bitmap and the
// best-fit index.
#include "hbfreeindex_local.h"

#include <algorithm>
#include <functional>
#include <new>

// ---- HbGranuleBitmap ---------------------------------------------------------------

bool HbGranuleBitmap::Init(uint32_t bits)
{
    Release();
    try
    {
        uint64_t count = bits;
        do
        {
            count = (count + 63) / 64;
            mLevels.emplace_back(static_cast<size_t>(std::max<uint64_t>(count, 1)), 0);
        } while (count > 1);
    }
    catch (const std::bad_alloc&)
    {
        mLevels.clear();
        return false;
    }
    mBits = bits;
    mWords = mLevels[0].data();
    return true;
}

void HbGranuleBitmap::Release()
{
    mLevels.clear();
    mLevels.shrink_to_fit();
    mWords = nullptr;
    mBits = 0;
}

// Word `word` of the bottom level has just turned non-empty.
void HbGranuleBitmap::SetAbove(uint64_t word)
{
    uint64_t index = word;
    for (size_t level = 1; level < mLevels.size(); ++level)
    {
        uint64_t& w = mLevels[level][index >> 6];
        bool wasEmpty = w == 0;
        w |= uint64_t(1) << (index & 63);
        if (!wasEmpty)
            return;
        index >>= 6;
    }
}

// Word `word` of the bottom level has just turned empty.
void HbGranuleBitmap::ClearAbove(uint64_t word)
{
    uint64_t index = word;
    for (size_t level = 1; level < mLevels.size(); ++level)
    {
        uint64_t& w = mLevels[level][index >> 6];
        w &= ~(uint64_t(1) << (index & 63));
        if (w != 0)
            return;
        index >>= 6;
    }
}

// The highest set bit of the level below index, or kNone.
uint32_t HbGranuleBitmap::FindBelowAt(size_t level, uint64_t index) const
{
    if (index == 0)
        return kNone;
    const std::vector<uint64_t>& words = mLevels[level];
    uint64_t last = index - 1;
    uint64_t w = last >> 6;
    uint64_t bits = words[w] & (~uint64_t(0) >> (63 - (last & 63)));
    if (bits == 0)
    {
        if (level + 1 < mLevels.size())
        {
            uint32_t upper = FindBelowAt(level + 1, w);
            if (upper == kNone)
                return kNone;
            w = upper;
        }
        else
        {
            while (w > 0 && words[w - 1] == 0)
                --w;
            if (w == 0)
                return kNone;
            --w;
        }
        bits = words[w];
    }
    return static_cast<uint32_t>(w * 64 + 63 - static_cast<uint64_t>(__builtin_clzll(bits)));
}

uint32_t HbGranuleBitmap::FindFromAt(size_t level, uint64_t index) const
{
    const std::vector<uint64_t>& words = mLevels[level];
    uint64_t w = index >> 6;
    if (w >= words.size())
        return kNone;
    uint64_t bits = words[w] & (~uint64_t(0) << (index & 63));
    if (bits == 0)
    {
        if (level + 1 < mLevels.size())
        {
            uint32_t upper = FindFromAt(level + 1, w + 1);
            if (upper == kNone)
                return kNone;
            w = upper;
        }
        else
        {
            do
                ++w;
            while (w < words.size() && words[w] == 0);
            if (w >= words.size())
                return kNone;
        }
        bits = words[w];
    }
    return static_cast<uint32_t>(w * 64 + static_cast<uint64_t>(__builtin_ctzll(bits)));
}

uint32_t HbGranuleBitmap::FindBelow(uint32_t bit) const
{
    return mLevels.empty() ? kNone : FindBelowAt(0, std::min(bit, mBits));
}

uint32_t HbGranuleBitmap::FindFrom(uint32_t bit) const
{
    if (mLevels.empty() || bit >= mBits)
        return kNone;
    return FindFromAt(0, bit);
}

// ---- HbBestFitIndex -------------------------------------------------------------------

bool HbBestFitIndex::Init(uint32_t granule, uint32_t binCount, Validator valid, const void* owner)
{
    Release();
    mGranule = granule ? granule : 16;
    mValid = valid;
    mOwner = owner;
    try
    {
        mBins.resize(binCount);
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
    return mUsedBins.Init(binCount);
}

void HbBestFitIndex::Release()
{
    std::vector<Bin>().swap(mBins);
    mUsedBins.Release();
    mOthers.clear();
    mCount = 0;
}

void HbBestFitIndex::Add(uint32_t size, uint32_t tie, uint32_t offset)
{
    ++mCount;
    if (!InBins(size))
    {
        Other other{size, tie, offset};
        mOthers.insert(std::lower_bound(mOthers.begin(), mOthers.end(), other), other);
        return;
    }
    uint32_t b = size / mGranule;
    Bin& bin = mBins[b];
    if (bin.live++ == 0)
        mUsedBins.Set(b);
    // Stale entries are dropped in bulk once they outnumber the live ones.
    if (bin.heap.size() >= 2 * size_t(bin.live) + 32)
        Compact(bin, size);
    bin.heap.push_back(Entry(tie) << 32 | offset);
    std::push_heap(bin.heap.begin(), bin.heap.end(), std::greater<Entry>());
}

void HbBestFitIndex::Remove(uint32_t size, uint32_t tie, uint32_t offset)
{
    --mCount;
    if (!InBins(size))
    {
        auto it = std::lower_bound(mOthers.begin(), mOthers.end(), Other{size, tie, offset});
        if (it != mOthers.end() && *it == Other{size, tie, offset})
            mOthers.erase(it);
        return;
    }
    uint32_t b = size / mGranule;
    Bin& bin = mBins[b];
    if (--bin.live == 0)
    {
        bin.heap.clear();
        mUsedBins.Clear(b);
        return;
    }
    // The usual case, the block just found, leaves at once; others go stale.
    if (!bin.heap.empty() && bin.heap.front() == (Entry(tie) << 32 | offset))
    {
        std::pop_heap(bin.heap.begin(), bin.heap.end(), std::greater<Entry>());
        bin.heap.pop_back();
    }
}

void HbBestFitIndex::Compact(Bin& bin, uint32_t size)
{
    std::sort(bin.heap.begin(), bin.heap.end());
    bin.heap.erase(std::unique(bin.heap.begin(), bin.heap.end()), bin.heap.end());
    auto stale = [&](Entry e) { return !mValid(mOwner, uint32_t(e), size, uint32_t(e >> 32)); };
    bin.heap.erase(std::remove_if(bin.heap.begin(), bin.heap.end(), stale), bin.heap.end());
    // A sorted vector already is a min-heap.
}

bool HbBestFitIndex::TopOfBin(uint32_t b, Entry* entry)
{
    Bin& bin = mBins[b];
    uint32_t size = b * mGranule;
    while (!bin.heap.empty())
    {
        Entry top = bin.heap.front();
        if (mValid(mOwner, uint32_t(top), size, uint32_t(top >> 32)))
        {
            *entry = top;
            return true;
        }
        std::pop_heap(bin.heap.begin(), bin.heap.end(), std::greater<Entry>());
        bin.heap.pop_back();
    }
    return false;
}

bool HbBestFitIndex::Find(uint64_t request, uint32_t* offset, uint32_t* size)
{
    bool found = false;
    uint32_t bestSize = 0, bestTie = 0, bestOffset = 0;
    uint64_t first = (request + mGranule - 1) / mGranule;
    if (first < mBins.size())
    {
        uint32_t b = mUsedBins.FindFrom(static_cast<uint32_t>(first));
        Entry entry = 0;
        if (b != HbGranuleBitmap::kNone && TopOfBin(b, &entry))
        {
            found = true;
            bestSize = b * mGranule;
            bestTie = uint32_t(entry >> 32);
            bestOffset = uint32_t(entry);
        }
    }
    if (!mOthers.empty() && request <= UINT32_MAX &&
        (!found || std::get<0>(*mOthers.begin()) <= bestSize))
    {
        auto it = std::lower_bound(mOthers.begin(), mOthers.end(), Other{static_cast<uint32_t>(request), 0, 0});
        if (it != mOthers.end() &&
            (!found || std::make_pair(std::get<0>(*it), std::get<1>(*it)) < std::make_pair(bestSize, bestTie)))
        {
            found = true;
            bestSize = std::get<0>(*it);
            bestTie = std::get<1>(*it);
            bestOffset = std::get<2>(*it);
        }
    }
    if (found)
    {
        *offset = bestOffset;
        *size = bestSize;
    }
    return found;
}
