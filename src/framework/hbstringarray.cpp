// HbStringArray: construction, destruction and growth of the string elements.
#include "hbstringarray.h"

#include "hbmemory.h"

#include <new>
#include <utility>

namespace
{
std::string* Allocate(int32_t count)
{
    return static_cast<std::string*>(HbArrayAlloc(sizeof(std::string) * static_cast<size_t>(count)));
}

void ConstructEmpty(std::string* first, int32_t count)
{
    for (int32_t i = 0; i < count; ++i)
        new (first + i) std::string();
}
} // namespace

void HbStringArray::DestroyElements(std::string* first, int32_t count)
{
    for (int32_t i = 0; i < count; ++i)
        first[i].~basic_string();
}

void HbStringArray::Free()
{
    if (mData)
    {
        DestroyElements(mData, mCount);
        HbArrayFree(mData);
    }
    mData = nullptr;
    mCount = mCapacity = 0;
}

bool HbStringArray::SetSize(int32_t newCount, int32_t growStep)
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
        std::string* data = Allocate(newCount);
        if (!data)
            return false;
        ConstructEmpty(data, newCount);
        mData = data;
        mCount = mCapacity = newCount;
        return true;
    }
    if (newCount <= mCapacity)
    {
        if (newCount > mCount)
            ConstructEmpty(mData + mCount, newCount - mCount);
        else
            DestroyElements(mData + newCount, mCount - newCount);
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
    std::string* data = Allocate(static_cast<int32_t>(capacity));
    if (!data)
        return false;
    // A string may point into itself, so its bytes cannot simply be copied.
    for (int32_t i = 0; i < mCount; ++i)
        new (data + i) std::string(std::move(mData[i]));
    DestroyElements(mData, mCount);
    ConstructEmpty(data + mCount, newCount - mCount);
    HbArrayFree(mData);
    mData = data;
    mCapacity = static_cast<int32_t>(capacity);
    mCount = newCount;
    return true;
}

int32_t HbStringArray::Append(std::string_view text)
{
    // The text may be one of our own elements, which growing moves.
    std::string copy(text);
    int32_t index = mCount;
    if (!SetSize(mCount + 1, -1))
        return -1;
    mData[index] = std::move(copy);
    return index;
}

std::string HbStringArray::GetCopy(int32_t index) const
{
    if (index < 0 || index >= mCount)
        return std::string();
    return mData[index];
}
