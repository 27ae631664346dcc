// EBoxSpatialIndex: per axis the sorted bounds of every box and, per stretch between them, the
// boxes covering it, so that a point is located with three binary searches.
#include "yoeventbox.h"

#include <algorithm>

namespace
{
constexpr float kSentinel = 1e8f;
int32_t gNextIndexId = 0;
} // namespace

void EBoxSpatialIndex::Free()
{
    for (int a = 0; a < 3; ++a)
    {
        values[a].Free();
        bits[a].Free();
    }
    id = -1;
    boxes = 0;
    words = 1;
}

int EBoxSpatialIndex::Build(const EBoxArray<EventBox>& set)
{
    Free();
    const int32_t n = set.count;
    const int32_t w = n / 32 + 1;
    const int32_t entries = 2 * n + 1;
    for (int a = 0; a < 3; ++a)
    {
        if (!values[a].Reserve(entries) || !bits[a].Reserve(int32_t(int64_t(entries) * w)))
        {
            Free();
            return 0;
        }
        EBoxArray<float>& v = values[a];
        for (const EventBox& box : set)
        {
            v.items[v.count++] = box.min[a];
            v.items[v.count++] = box.max[a];
        }
        // A NaN bound from a file would break the order the searches rely on.
        for (float& value : v)
        {
            if (value != value)
                value = kSentinel;
        }
        std::sort(v.begin(), v.end());
        v.items[v.count++] = kSentinel;
        bits[a].count = entries * w;
        for (const EventBox& box : set)
        {
            const float lo = box.min[a], hi = box.max[a];
            if (!(lo <= hi))
                continue;
            // Entry k is covered when v[k-1] >= min (v[-1] = -1e8) and v[k] <= max; the
            // sentinel's bitset stays empty.
            const float* first = v.items;
            const float* last = v.items + 2 * n;
            int32_t from = int32_t(std::lower_bound(first, last, lo) - first) + 1;
            if (lo <= -kSentinel)
                from = 0;
            const int32_t to = int32_t(std::upper_bound(first, last, hi) - first);
            const uint32_t bit = 1u << (box.index % 32);
            const int32_t word = box.index / 32;
            for (int32_t k = from; k < to; ++k)
                bits[a].items[size_t(k) * size_t(w) + size_t(word)] |= bit;
        }
    }
    boxes = n;
    words = w;
    id = gNextIndexId++;
    return 1;
}

int32_t EBoxSpatialIndex::FindInterval(int32_t axis, float x) const
{
    const float* v = values[axis].items;
    const int32_t last = values[axis].count - 1;
    if (x < v[0])
        return 0;
    if (x > v[last])
        return last;
    int32_t lo = 0, hi = last;
    while (hi - lo > 1)
    {
        const int32_t mid = (lo + hi) / 2;
        if (x < v[mid])
            hi = mid;
        else
            lo = mid;
    }
    return hi;
}
