// The stream order of keyframes the animation writers share: first keys, then second keys,
// node by node; every later key follows in the order of its predecessor's time, which is when
// an interpolator needs it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

template <typename Row>
struct PlacedKey
{
    const Row* row;
    int32_t previous; ///< index in the output, -1 for a node's first key
};

/// Row has `int32_t node` and `float time`. Empty when the rows are not an animation: a
/// negative node, or a node with fewer than two keys or none at time 0.
template <typename Row>
std::vector<PlacedKey<Row>> OrderKeys(const std::vector<Row>& rows)
{
    int32_t nodes = 0;
    for (const Row& r : rows)
    {
        if (r.node < 0)
            return {};
        nodes = std::max(nodes, r.node + 1);
    }
    std::vector<std::vector<const Row*>> byNode(static_cast<size_t>(nodes));
    for (const Row& r : rows)
        byNode[size_t(r.node)].push_back(&r);
    for (auto& keys : byNode)
    {
        std::stable_sort(keys.begin(), keys.end(), [](const Row* a, const Row* b) { return a->time < b->time; });
        if (keys.size() < 2 || keys[0]->time != 0.0f)
            return {};
    }
    std::vector<PlacedKey<Row>> order;
    for (int32_t n = 0; n < nodes; ++n)
        order.push_back({byNode[size_t(n)][0], -1});
    for (int32_t n = 0; n < nodes; ++n)
        order.push_back({byNode[size_t(n)][1], n});
    struct Later
    {
        int32_t node;
        size_t key;
    };
    std::vector<Later> later;
    for (int32_t n = 0; n < nodes; ++n)
        for (size_t k = 2; k < byNode[size_t(n)].size(); ++k)
            later.push_back({n, k});
    std::stable_sort(later.begin(), later.end(), [&](const Later& a, const Later& b) {
        return byNode[size_t(a.node)][a.key - 1]->time < byNode[size_t(b.node)][b.key - 1]->time;
    });
    std::vector<int32_t> lastPlaced(static_cast<size_t>(nodes));
    for (int32_t n = 0; n < nodes; ++n)
        lastPlaced[size_t(n)] = nodes + n;
    for (const Later& l : later)
    {
        order.push_back({byNode[size_t(l.node)][l.key], lastPlaced[size_t(l.node)]});
        lastPlaced[size_t(l.node)] = int32_t(order.size()) - 1;
    }
    return order;
}
