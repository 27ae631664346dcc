// HbStringArray: growable array of strings in the framework's array pool.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

/// Grows like the other framework arrays (the grow step, or count/8 clamped to
/// 4..1024); new elements are empty strings and elements cut off by a smaller
/// count are destroyed.
class HbStringArray
{
public:
    HbStringArray() = default;
    HbStringArray(const HbStringArray&) = delete;
    HbStringArray& operator=(const HbStringArray&) = delete;
    ~HbStringArray() { Free(); }

    /// Sets the element count; a grow step of -1 keeps the current one, a count
    /// of 0 frees everything. False, with nothing changed, when no storage can be had.
    bool SetSize(int32_t newCount, int32_t growStep = -1);
    /// Appends a copy of the string; its index, or -1 when the array cannot grow.
    int32_t Append(std::string_view text);
    /// A copy of the element; empty for an index out of range.
    std::string GetCopy(int32_t index) const;
    /// Destroys every string and frees the storage; count and capacity 0.
    void Clear() { Free(); }
    void Free();
    /// Destroys a run of constructed strings (the storage stays).
    static void DestroyElements(std::string* first, int32_t count);

    int32_t GetCount() const { return mCount; }
    int32_t GetCapacity() const { return mCapacity; }
    int32_t GetGrowStep() const { return mGrowStep; }
    std::string& operator[](int32_t index) { return mData[index]; }
    const std::string& operator[](int32_t index) const { return mData[index]; }

private:
    std::string* mData = nullptr;
    int32_t mCount = 0;
    int32_t mCapacity = 0;
    int32_t mGrowStep = 0;
};
