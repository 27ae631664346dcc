// Side indexes of the framework heap and arenas: the granule bitmap and the
// best-fit index.
#include "hbfreeindex_local.h"

#include <algorithm>
#include <new>

// ---- HbGranuleBitmap ---------------------------------------------------------------

bool HbGranuleBitmap::Init(uint32_t bits)
{
    Release();
    uint64_t counts[kMaxLevels];
    uint64_t total = 0;
    uint64_t count = bits;
    do
    {
        count = (count + 63) / 64;
        counts[mLevelCount++] = count ? count : 1;
        total += counts[mLevelCount - 1];
    } while (count > 1);
    try
    {
        mStorage.assign(static_cast<size_t>(total), 0);
    }
    catch (const std::bad_alloc&)
    {
        mLevelCount = 0;
        return false;
    }
    uint64_t* at = mStorage.data();
    for (uint32_t level = 0; level < mLevelCount; ++level)
    {
        mLevels[level] = at;
        mLevelWords[level] = counts[level];
        at += counts[level];
    }
    mBits = bits;
    mWords = mLevels[0];
    return true;
}

void HbGranuleBitmap::Release()
{
    std::vector<uint64_t>().swap(mStorage);
    mLevelCount = 0;
    mWords = nullptr;
    mBits = 0;
}

// Word `word` of the bottom level has just turned non-empty.
void HbGranuleBitmap::SetAbove(uint64_t word)
{
    uint64_t index = word;
    for (uint32_t level = 1; level < mLevelCount; ++level)
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
    for (uint32_t level = 1; level < mLevelCount; ++level)
    {
        uint64_t& w = mLevels[level][index >> 6];
        w &= ~(uint64_t(1) << (index & 63));
        if (w != 0)
            return;
        index >>= 6;
    }
}

// Climbs until a word holds a set bit below the bound, then follows the highest
// set bits down. The top level is a single word.
uint32_t HbGranuleBitmap::FindBelow(uint32_t bit) const
{
    if (mLevelCount == 0)
        return kNone;
    uint64_t index = std::min(bit, mBits);
    uint32_t level = 0;
    uint64_t w, bits;
    for (;; ++level)
    {
        if (index == 0 || level == mLevelCount)
            return kNone;
        uint64_t last = index - 1;
        w = last >> 6;
        bits = mLevels[level][w] & (~uint64_t(0) >> (63 - (last & 63)));
        if (bits)
            break;
        index = w;
    }
    uint64_t at = w * 64 + 63 - static_cast<uint64_t>(__builtin_clzll(bits));
    while (level-- > 0)
        at = at * 64 + 63 - static_cast<uint64_t>(__builtin_clzll(mLevels[level][at]));
    return static_cast<uint32_t>(at);
}

uint32_t HbGranuleBitmap::FindFrom(uint32_t bit) const
{
    if (mLevelCount == 0 || bit >= mBits)
        return kNone;
    uint64_t index = bit;
    uint32_t level = 0;
    uint64_t w, bits;
    for (;; ++level)
    {
        if (level == mLevelCount)
            return kNone;
        w = index >> 6;
        if (w >= mLevelWords[level])
            return kNone;
        bits = mLevels[level][w] & (~uint64_t(0) << (index & 63));
        if (bits)
            break;
        index = w + 1;
    }
    uint64_t at = w * 64 + static_cast<uint64_t>(__builtin_ctzll(bits));
    while (level-- > 0)
        at = at * 64 + static_cast<uint64_t>(__builtin_ctzll(mLevels[level][at]));
    return static_cast<uint32_t>(at);
}

// ---- HbBestFitIndex -------------------------------------------------------------------

namespace
{
// The first entry of a bin (sorted largest first) not above `entry`. The halving
// has no data-dependent branch: the bins' entries are addresses and numbers in
// no order the branch predictor could learn.
const uint64_t* FirstNotAbove(const uint64_t* first, size_t count, uint64_t entry)
{
    if (count == 0)
        return first;
    while (count > 1)
    {
        size_t half = count / 2;
        first = first[half] > entry ? first + half : first;
        count -= half;
    }
    return first + (*first > entry);
}
} // namespace

bool HbBestFitIndex::Init(uint32_t granule, uint32_t binCount)
{
    Release();
    mGranule = granule ? granule : 16;
    mShift = static_cast<uint32_t>(__builtin_ctz(mGranule));
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
    std::vector<std::vector<Entry>>().swap(mBins);
    mUsedBins.Release();
    mOthers.clear();
    mCount = 0;
}

// A bin is kept sorted from the largest (tie, offset) down, so the best block
// is its last entry: the usual removal, the block just found, is a pop, and no
// stale entry is ever left behind to be told apart from a live one.
void HbBestFitIndex::Add(uint32_t size, uint32_t tie, uint32_t offset)
{
    ++mCount;
    if (!InBins(size))
    {
        Other other{size, tie, offset};
        mOthers.insert(std::lower_bound(mOthers.begin(), mOthers.end(), other), other);
        return;
    }
    uint32_t b = size >> mShift;
    std::vector<Entry>& bin = mBins[b];
    Entry entry = Entry(tie) << 32 | offset;
    if (bin.empty())
    {
        mUsedBins.Set(b);
        bin.push_back(entry);
        return;
    }
    if (bin.back() > entry)
    {
        bin.push_back(entry);
        return;
    }
    bin.insert(bin.begin() + (FirstNotAbove(bin.data(), bin.size(), entry) - bin.data()), entry);
}

void HbBestFitIndex::Remove(uint32_t size, uint32_t tie, uint32_t offset)
{
    if (!InBins(size))
    {
        auto it = std::lower_bound(mOthers.begin(), mOthers.end(), Other{size, tie, offset});
        if (it != mOthers.end() && *it == Other{size, tie, offset})
        {
            mOthers.erase(it);
            --mCount;
        }
        return;
    }
    uint32_t b = size >> mShift;
    std::vector<Entry>& bin = mBins[b];
    Entry entry = Entry(tie) << 32 | offset;
    if (!bin.empty() && bin.back() == entry)
        bin.pop_back();
    else
    {
        auto it = bin.begin() + (FirstNotAbove(bin.data(), bin.size(), entry) - bin.data());
        if (it == bin.end() || *it != entry)
            return;
        bin.erase(it);
    }
    --mCount;
    if (bin.empty())
        mUsedBins.Clear(b);
}

bool HbBestFitIndex::Find(uint64_t request, uint32_t* offset, uint32_t* size)
{
    bool found = false;
    uint32_t bestSize = 0, bestTie = 0, bestOffset = 0;
    uint64_t first = (request + mGranule - 1) >> mShift;
    if (first < mBins.size())
    {
        uint32_t b = mUsedBins.FindFrom(static_cast<uint32_t>(first));
        if (b != HbGranuleBitmap::kNone)
        {
            Entry entry = mBins[b].back();
            found = true;
            bestSize = b << mShift;
            bestTie = uint32_t(entry >> 32);
            bestOffset = uint32_t(entry);
        }
    }
    if (!mOthers.empty() && request <= UINT32_MAX && (!found || std::get<0>(*mOthers.begin()) <= bestSize))
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
