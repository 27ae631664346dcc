// HbGrowArray: growable arrays of plain elements (pointers, pairs, records)
// whose storage comes from the framework's array pool.
#pragma once

#include "hbmemory.h"

#include <cstdint>
#include <cstring>
#include <type_traits>

template <typename T> class HbGrowArray
{
    static_assert(std::is_trivially_copyable_v<T>, "elements are moved by copying their bytes");

public:
    HbGrowArray() = default;
    HbGrowArray(const HbGrowArray&) = delete;
    HbGrowArray& operator=(const HbGrowArray&) = delete;
    ~HbGrowArray() { Free(); }

    /// Sets the element count, growing by the grow step (or count/8 clamped to
    /// 4..1024 when it is 0) and zero-filling new elements. A grow step of -1
    /// keeps the current one. False, with nothing changed, when no storage can be had.
    bool SetSize(int32_t newCount, int32_t growStep = -1)
    {
        if (growStep != -1)
            mGrowStep = growStep;
        if (newCount < 0)
            return false;
        if (newCount == 0)
        {
            Free();
            return true;
        }
        if (!mData)
        {
            T* data = Allocate(newCount);
            if (!data)
                return false;
            std::memset(static_cast<void*>(data), 0, sizeof(T) * static_cast<size_t>(newCount));
            mData = data;
            mCount = mCapacity = newCount;
            return true;
        }
        if (newCount <= mCapacity)
        {
            if (newCount > mCount)
                std::memset(static_cast<void*>(mData + mCount), 0, sizeof(T) * static_cast<size_t>(newCount - mCount));
            mCount = newCount;
            return true;
        }
        int32_t step = mGrowStep;
        if (step <= 0)
        {
            step = mCount / 8;
            step = step < 4 ? 4 : (step > 1024 ? 1024 : step);
        }
        int64_t capacity = static_cast<int64_t>(mCapacity) + step;
        if (capacity < newCount)
            capacity = newCount;
        if (capacity > INT32_MAX)
            return false;
        T* data = Allocate(static_cast<int32_t>(capacity));
        if (!data)
            return false;
        std::memcpy(static_cast<void*>(data), mData, sizeof(T) * static_cast<size_t>(mCount));
        std::memset(static_cast<void*>(data + mCount), 0, sizeof(T) * static_cast<size_t>(newCount - mCount));
        HbArrayFree(mData);
        mData = data;
        mCapacity = static_cast<int32_t>(capacity);
        mCount = newCount;
        return true;
    }

    /// Appends an element; its index, or -1 when the array cannot grow.
    int32_t Add(const T& value)
    {
        int32_t index = mCount;
        if (!SetSize(mCount + 1, -1))
            return -1;
        mData[index] = value;
        return index;
    }

    void RemoveAll() { Free(); }

    int32_t GetCount() const { return mCount; }
    int32_t GetCapacity() const { return mCapacity; }
    int32_t GetGrowStep() const { return mGrowStep; }
    T* GetData() { return mData; }
    const T* GetData() const { return mData; }
    T& operator[](int32_t index) { return mData[index]; }
    const T& operator[](int32_t index) const { return mData[index]; }

private:
    static T* Allocate(int32_t count)
    {
        size_t bytes = sizeof(T) * static_cast<size_t>(count);
        return static_cast<T*>(HbArrayAlloc(bytes));
    }
    void Free()
    {
        if (mData)
            HbArrayFree(mData);
        mData = nullptr;
        mCount = mCapacity = 0;
    }

    T* mData = nullptr;
    int32_t mCount = 0;
    int32_t mCapacity = 0;
    int32_t mGrowStep = 0;
};

/// Growable array of pointers.
using HbPtrArray = HbGrowArray<void*>;

/// A two-word element; the words are pointer-sized because they may hold pointers.
struct HbPair
{
    uintptr_t first;
    uintptr_t second;
};
using PairArray = HbGrowArray<HbPair>;

/// A three-word record, pointer-sized words. Arrays of records with typed fields
/// use HbGrowArray<Record> directly.
struct HbRecord
{
    uintptr_t words[3];
};
using HbRecordArray = HbGrowArray<HbRecord>;
