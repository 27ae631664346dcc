// The UV-animation and UV-animation dictionary builder.
#include "uvanimwriter.h"

#include "keyorder_local.h"
#include "writerbytes_local.h"

namespace
{
constexpr uint32_t kAnimationChunk = 27;
constexpr uint32_t kDictionaryChunk = 43;
constexpr uint32_t kStreamVersion = 0x100;
constexpr size_t kNameLength = 32;

using Placed = PlacedKey<UVAnimKeyRow>;
} // namespace

std::vector<uint8_t> UVAnimWriter::Animation(const UVAnimDescription& a)
{
    if (!(a.duration > 0.0f) || a.keys.empty() || (a.scheme != 0x1C0 && a.scheme != 0x1C1))
        return {};
    const std::vector<Placed> order = OrderKeys(a.keys);
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
