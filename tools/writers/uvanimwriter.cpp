// The UV-animation and UV-animation dictionary builder.
#include "uvanimwriter.h"

#include "writerbytes_local.h"

#include <algorithm>

namespace
{
constexpr uint32_t kAnimationChunk = 27;
constexpr uint32_t kDictionaryChunk = 43;
constexpr uint32_t kStreamVersion = 0x100;
constexpr size_t kNameLength = 32;

struct Placed
{
    const UVAnimKeyRow* row;
    int32_t previous; ///< index in the output, -1 for a node's first key
};

// First keys, then second keys, node by node; every later key follows in the order of its
// predecessor's time, which is when an interpolator needs it. Empty when not an animation.
std::vector<Placed> Order(const std::vector<UVAnimKeyRow>& rows)
{
    int32_t nodes = 0;
    for (const UVAnimKeyRow& r : rows)
    {
        if (r.node < 0)
            return {};
        nodes = std::max(nodes, r.node + 1);
    }
    std::vector<std::vector<const UVAnimKeyRow*>> byNode(static_cast<size_t>(nodes));
    for (const UVAnimKeyRow& r : rows)
        byNode[size_t(r.node)].push_back(&r);
    for (auto& keys : byNode)
    {
        std::stable_sort(keys.begin(), keys.end(),
                         [](const UVAnimKeyRow* a, const UVAnimKeyRow* b) { return a->time < b->time; });
        if (keys.size() < 2 || keys[0]->time != 0.0f)
            return {};
    }
    std::vector<Placed> order;
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
    std::stable_sort(later.begin(), later.end(),
                     [&](const Later& a, const Later& b)
                     { return byNode[size_t(a.node)][a.key - 1]->time < byNode[size_t(b.node)][b.key - 1]->time; });
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
} // namespace

std::vector<uint8_t> UVAnimWriter::Animation(const UVAnimDescription& a)
{
    if (!(a.duration > 0.0f) || a.keys.empty() || (a.scheme != 0x1C0 && a.scheme != 0x1C1))
        return {};
    const std::vector<Placed> order = Order(a.keys);
    if (order.empty())
        return {};
    WriterBytes body;
    body.U32(kStreamVersion);
    body.U32(uint32_t(a.scheme));
    body.U32(uint32_t(order.size()));
    body.U32(a.flags);
    body.Real(a.duration);
    body.U32(0);
    for (size_t i = 0; i < kNameLength; ++i)
        body.out.push_back(i < a.name.size() ? uint8_t(a.name[i]) : 0);
    for (int32_t c : a.nodeToChannel)
        body.U32(uint32_t(c));
    for (size_t i = 0; i < order.size(); ++i)
    {
        const UVAnimKeyRow* r = order[i].row;
        body.Real(r->time);
        for (float v : r->values)
            body.Real(v);
        body.U32(uint32_t(order[i].previous < 0 ? int32_t(i) : order[i].previous));
    }
    WriterBytes chunk;
    chunk.Chunk(kAnimationChunk, body.out);
    return chunk.out;
}

std::vector<uint8_t> UVAnimWriter::Dictionary(const std::vector<UVAnimDescription>& animations)
{
    WriterBytes count;
    count.U32(uint32_t(animations.size()));
    WriterBytes body;
    body.Chunk(kChunkStruct, count.out);
    for (const UVAnimDescription& a : animations)
    {
        const std::vector<uint8_t> chunk = Animation(a);
        if (chunk.empty())
            return {};
        body.Append(chunk);
    }
    WriterBytes out;
    out.Chunk(kDictionaryChunk, body.out);
    return out.out;
}
