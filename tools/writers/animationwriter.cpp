// The standard-keyframe animation builder.
#include "animationwriter.h"

#include "writerbytes_local.h"

#include <algorithm>

namespace
{
constexpr uint32_t kAnimationChunk = 27;
constexpr uint32_t kStreamVersion = 0x100;
constexpr uint32_t kStdScheme = 1;
constexpr uint32_t kKeySize = 36;

struct Placed
{
    const AnimationKeyRow* row;
    int32_t previous; ///< index in the output, -1 for a node's first key
    float previousTime;
};
} // namespace

std::vector<uint8_t> AnimationWriter::StdAnimation(const std::vector<AnimationKeyRow>& rows, float duration,
                                                   uint32_t flags)
{
    if (!(duration > 0.0f) || rows.empty())
        return {};
    int32_t nodes = 0;
    for (const AnimationKeyRow& r : rows)
    {
        if (r.node < 0)
            return {};
        nodes = std::max(nodes, r.node + 1);
    }
    std::vector<std::vector<const AnimationKeyRow*>> byNode(static_cast<size_t>(nodes));
    for (const AnimationKeyRow& r : rows)
        byNode[size_t(r.node)].push_back(&r);
    for (auto& keys : byNode)
    {
        std::stable_sort(keys.begin(), keys.end(),
                         [](const AnimationKeyRow* a, const AnimationKeyRow* b) { return a->time < b->time; });
        if (keys.size() < 2 || keys[0]->time != 0.0f)
            return {};
    }

    // First keys, then second keys, node by node; every later key is needed when the time
    // reaches its predecessor's, so they follow in the order of those times.
    std::vector<Placed> order;
    for (int32_t n = 0; n < nodes; ++n)
        order.push_back({byNode[size_t(n)][0], -1, 0.0f});
    for (int32_t n = 0; n < nodes; ++n)
        order.push_back({byNode[size_t(n)][1], n, byNode[size_t(n)][0]->time});
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
        const AnimationKeyRow* row = byNode[size_t(l.node)][l.key];
        order.push_back({row, lastPlaced[size_t(l.node)], byNode[size_t(l.node)][l.key - 1]->time});
        lastPlaced[size_t(l.node)] = int32_t(order.size()) - 1;
    }

    WriterBytes body;
    body.U32(kStreamVersion);
    body.U32(kStdScheme);
    body.U32(uint32_t(order.size()));
    body.U32(flags);
    body.Real(duration);
    for (size_t i = 0; i < order.size(); ++i)
    {
        const AnimationKeyRow* r = order[i].row;
        body.Real(r->time);
        for (float q : r->rotation)
            body.Real(q);
        for (float t : r->translation)
            body.Real(t);
        // A node's first key has no predecessor: the offset names the key itself.
        const int32_t previous = order[i].previous < 0 ? int32_t(i) : order[i].previous;
        body.U32(uint32_t(previous) * kKeySize);
    }
    WriterBytes chunk;
    chunk.Chunk(kAnimationChunk, body.out);
    return chunk.out;
}
