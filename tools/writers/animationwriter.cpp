// The standard-keyframe animation builder.
#include "animationwriter.h"

#include "keyorder_local.h"
#include "writerbytes_local.h"

namespace
{
constexpr uint32_t kAnimationChunk = 27;
constexpr uint32_t kStreamVersion = 0x100;
constexpr uint32_t kStdScheme = 1;
constexpr uint32_t kKeySize = 36;
} // namespace

std::vector<uint8_t> AnimationWriter::StdAnimation(const std::vector<AnimationKeyRow>& rows, float duration,
                                                   uint32_t flags)
{
    if (!(duration > 0.0f) || rows.empty())
        return {};
    const std::vector<PlacedKey<AnimationKeyRow>> order = OrderKeys(rows);
    if (order.empty())
        return {};

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
