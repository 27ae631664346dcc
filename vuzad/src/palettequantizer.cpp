// The palette quantiser: colours are gathered in a 16-way tree keyed by their bits (one
// nibble per level, one bit of each channel per nibble), leaves are merged bottom-up into
// weighted statistics, and boxes of leaves are split along the channel cut that lowers the
// squared error most until the palette is full.
#include "palettequantizer.h"

#include "engine.h"
#include "error.h"
#include "freelist.h"
#include "image.h"

#include <cstring>

namespace
{

constexpr int32_t kDepth = PaletteQuantizer::kTreeDepth;
constexpr int32_t kLeafRange = 1 << kDepth; ///< leaf coordinates per channel
constexpr int32_t kNodesPerBlock = 1024;
constexpr uint32_t kNodeHint = kMemoryHintTemporary | uint32_t(Image::kPluginId);

// Channels are weighted by how much the eye sees of them; the mean colour undoes it.
constexpr double kPerceptual[4] = {0.5093697, 1.0, 0.19420783, 1.0};
constexpr double kUnweight[4] = {1.9632107, 1.0, 5.1491227, 1.0};

// ---- Nodes -------------------------------------------------------------------------------------------

QuantizerNode* NewNode(PaletteQuantizer* quantizer)
{
    auto* node = static_cast<QuantizerNode*>(Engine::Current()->freeListFunctions.take(quantizer->nodes, kNodeHint));
    if (node)
        std::memset(static_cast<void*>(node), 0, sizeof(*node));
    return node;
}

void FreeTree(PaletteQuantizer* quantizer, QuantizerNode* node)
{
    for (QuantizerNode* child : node->children)
        if (child)
            FreeTree(quantizer, child);
    Engine::Current()->freeListFunctions.giveBack(quantizer->nodes, node);
}

uint32_t Key(const PaletteQuantizer* quantizer, const uint8_t* colour)
{
    const uint32_t* spread = quantizer->spread;
    return spread[colour[0] >> 2] << 3 | spread[colour[1] >> 2] << 2 | spread[colour[2] >> 2] << 1 |
           spread[colour[3] >> 2];
}

uint32_t Nibble(uint32_t key, int32_t level)
{
    return (key >> (4 * level)) & 0xF;
}

/// The child of a nibble moves the origin by half the node's size on the channels whose
/// bit is set (red is the nibble's bit 3, alpha bit 0).
int32_t ChildOffset(uint32_t nibble, int32_t channel, int32_t half)
{
    return ((nibble >> (3 - channel)) & 1) ? half : 0;
}

// ---- Statistics ----------------------------------------------------------------------------------------

/// Adds b into a; the squared error gains the between-means term.
void Merge(QuantizerStats* a, const QuantizerStats& b)
{
    double between = 0.0;
    if (a->weight > 0.0 && b.weight > 0.0)
    {
        double distance = 0.0;
        for (int32_t c = 0; c < 4; ++c)
        {
            double d = a->sum[c] / a->weight - b.sum[c] / b.weight;
            distance += d * d;
        }
        between = distance / (1.0 / a->weight + 1.0 / b.weight);
    }
    a->weight += b.weight;
    for (int32_t c = 0; c < 4; ++c)
        a->sum[c] += b.sum[c];
    a->error += b.error + between;
}

/// Turns the leaves' low-bit statistics into full colours and merges every inner node.
void Finish(QuantizerNode* node, int32_t level, const int32_t origin[4])
{
    QuantizerStats& stats = node->stats;
    if (level == kDepth)
    {
        if (stats.weight > 0.0)
        {
            double squares = 0.0;
            for (double sum : stats.sum)
                squares += sum * sum;
            stats.error -= squares / stats.weight;
            if (stats.error < 0.0)
                stats.error = 0.0;
        }
        for (int32_t c = 0; c < 4; ++c)
            stats.sum[c] += stats.weight * (double(origin[c] << 2) / 255.0 * kPerceptual[c]);
        return;
    }
    stats = QuantizerStats{};
    int32_t half = kLeafRange >> (level + 1);
    for (uint32_t i = 0; i < 16; ++i)
    {
        QuantizerNode* child = node->children[i];
        if (!child)
            continue;
        int32_t childOrigin[4];
        for (int32_t c = 0; c < 4; ++c)
            childOrigin[c] = origin[c] + ChildOffset(i, c, half);
        Finish(child, level + 1, childOrigin);
        Merge(&stats, child->stats);
    }
}

using LeafVisitor = void (*)(QuantizerNode* leaf, void* data);

/// Visits the nodes inside the box: whole subtrees are merged into stats, leaves are
/// handed to the visitor when there is one.
void Query(QuantizerNode* node, int32_t level, const int32_t origin[4], const QuantizerBox& box, QuantizerStats* stats,
           LeafVisitor visit, void* data)
{
    int32_t size = kLeafRange >> level;
    bool inside = true;
    for (int32_t c = 0; c < 4; ++c)
    {
        if (origin[c] >= box.maximum[c] || origin[c] + size <= box.minimum[c])
            return;
        inside = inside && origin[c] >= box.minimum[c] && origin[c] + size <= box.maximum[c];
    }
    if (inside && !visit)
    {
        Merge(stats, node->stats);
        return;
    }
    if (level == kDepth)
    {
        visit(node, data);
        return;
    }
    int32_t half = size / 2;
    for (uint32_t i = 0; i < 16; ++i)
    {
        if (!node->children[i])
            continue;
        int32_t childOrigin[4];
        for (int32_t c = 0; c < 4; ++c)
            childOrigin[c] = origin[c] + ChildOffset(i, c, half);
        Query(node->children[i], level + 1, childOrigin, box, stats, visit, data);
    }
}

QuantizerStats BoxStats(const PaletteQuantizer* quantizer, const QuantizerBox& box)
{
    QuantizerStats stats{};
    const int32_t origin[4] = {0, 0, 0, 0};
    Query(quantizer->root, 0, origin, box, &stats, nullptr, nullptr);
    return stats;
}

void WriteMean(uint8_t* entry, const QuantizerStats& stats)
{
    for (int32_t c = 0; c < 4; ++c)
    {
        double value = stats.weight > 0.0 ? stats.sum[c] / stats.weight * kUnweight[c] * 255.99 : 0.0;
        entry[c] = value >= 255.0 ? 255 : value > 0.0 ? uint8_t(value) : 0;
    }
}

// ---- Leaves in depth-first order --------------------------------------------------------------------------

int32_t CountLeaves(const QuantizerNode* node, int32_t level)
{
    if (level == kDepth)
        return 1;
    int32_t count = 0;
    for (const QuantizerNode* child : node->children)
        if (child)
            count += CountLeaves(child, level + 1);
    return count;
}

void NumberLeaves(QuantizerNode* node, int32_t level, uint8_t* palette, int32_t* next)
{
    if (level == kDepth)
    {
        node->paletteIndex = *next;
        WriteMean(palette + 4 * *next, node->stats);
        ++*next;
        return;
    }
    for (QuantizerNode* child : node->children)
        if (child)
            NumberLeaves(child, level + 1, palette, next);
}

// ---- Box splitting ---------------------------------------------------------------------------------------

struct Cut
{
    double cost;
    int32_t position;
};

/// Bisects the box's range on one channel, following the side with the larger error, and
/// answers the cheapest cut seen (the box's own error and no cut when none is cheaper).
Cut BestCut(const PaletteQuantizer* quantizer, const QuantizerBox& box, int32_t channel)
{
    const QuantizerStats& whole = box.stats;
    Cut best = {whole.error, -1};
    int32_t low = box.minimum[channel];
    int32_t high = box.maximum[channel];
    while (high - low > 1)
    {
        int32_t cut = (low + high) / 2;
        QuantizerBox below = box;
        below.maximum[channel] = uint8_t(cut);
        QuantizerStats part = BoxStats(quantizer, below);
        QuantizerStats rest{};
        rest.weight = whole.weight - part.weight;
        for (int32_t c = 0; c < 4; ++c)
            rest.sum[c] = whole.sum[c] - part.sum[c];
        double between = 0.0;
        if (part.weight > 0.0 && rest.weight > 0.0)
        {
            QuantizerStats probe = part;
            probe.error = 0.0;
            QuantizerStats other = rest;
            other.error = 0.0;
            Merge(&probe, other);
            between = probe.error;
        }
        rest.error = whole.error - part.error - between;
        if (rest.error < 0.0)
            rest.error = 0.0;
        double cost = part.error + rest.error;
        if (cost < best.cost)
            best = {cost, cut};
        if (part.weight <= 0.0 || part.error < rest.error)
            low = cut;
        else
            high = cut;
    }
    return best;
}

void SetBoxStats(const PaletteQuantizer* quantizer, QuantizerBox* box)
{
    box->stats = BoxStats(quantizer, *box);
    box->score = box->stats.error;
}

void SplitBoxes(PaletteQuantizer* quantizer, int32_t maxColours)
{
    QuantizerBox& first = quantizer->boxes[0];
    first = QuantizerBox{{0, 0, 0, 0}, {kLeafRange, kLeafRange, kLeafRange, kLeafRange}, 0.0, {}};
    first.stats = quantizer->root->stats;
    first.score = first.stats.error;
    quantizer->numBoxes = 1;
    while (quantizer->numBoxes < maxColours)
    {
        QuantizerBox* box = nullptr;
        for (int32_t i = 0; i < quantizer->numBoxes; ++i)
            if (!box || quantizer->boxes[i].score > box->score)
                box = &quantizer->boxes[i];
        if (box->score <= 0.0)
            break;
        Cut best = {0.0, -1};
        int32_t channel = -1;
        for (int32_t c = 0; c < 4; ++c)
        {
            Cut cut = BestCut(quantizer, *box, c);
            if (channel < 0 || cut.cost < best.cost)
            {
                best = cut;
                channel = c;
            }
        }
        if (best.position < 0 || !(box->stats.error > best.cost))
        {
            box->score = 0.0;
            continue;
        }
        QuantizerBox& upper = quantizer->boxes[quantizer->numBoxes++];
        upper = *box;
        upper.minimum[channel] = uint8_t(best.position);
        box->maximum[channel] = uint8_t(best.position);
        SetBoxStats(quantizer, box);
        SetBoxStats(quantizer, &upper);
    }
}

void SetLeafIndex(QuantizerNode* leaf, void* data)
{
    leaf->paletteIndex = *static_cast<int32_t*>(data);
}

} // namespace

int32_t PaletteQuantizer::Init(PaletteQuantizer* quantizer)
{
    for (uint32_t v = 0; v < (1u << kDepth); ++v)
    {
        uint32_t word = 0;
        for (int32_t j = 0; j < kDepth; ++j)
            if (v & (1u << j))
                word |= 1u << (4 * (kDepth - 1 - j));
        quantizer->spread[v] = word;
    }
    quantizer->root = nullptr;
    quantizer->numBoxes = 0;
    quantizer->nodes =
        Engine::Current() ? FreeList::Create(int32_t(sizeof(QuantizerNode)), kNodesPerBlock, 0, kNodeHint) : nullptr;
    if (quantizer->nodes)
        quantizer->root = NewNode(quantizer);
    if (!quantizer->root)
    {
        if (quantizer->nodes)
            FreeList::Destroy(quantizer->nodes);
        quantizer->nodes = nullptr;
        Error::Report(0, kErrNoMemory);
        return 0;
    }
    return 1;
}

int32_t PaletteQuantizer::AddImage(PaletteQuantizer* quantizer, const Image* image, float weight)
{
    bool palettised = image->depth == 4 || image->depth == 8;
    if (!palettised && image->depth != 32)
    {
        Error::Report(0, kErrImageFormat);
        return 0;
    }
    if (!quantizer->root || !image->pixels || image->stride < Image::RowBytes(image) || (palettised && !image->palette))
    {
        Error::Report(0, kErrNullArgument);
        return 0;
    }
    uint32_t mask = Image::IndexMask(image->depth);
    const double w = weight;
    // Runs of one leaf are common in real pictures: the last leaf is kept for its key.
    uint32_t lastKey = 0;
    QuantizerNode* lastLeaf = nullptr;
    for (int32_t y = 0; y < image->height; ++y)
    {
        const uint8_t* row = image->pixels + size_t(y) * size_t(image->stride);
        for (int32_t x = 0; x < image->width; ++x)
        {
            const uint8_t* colour = palettised ? image->palette + 4 * (row[x] & mask) : row + 4 * x;
            uint32_t key = Key(quantizer, colour);
            QuantizerNode* node = quantizer->root;
            if (lastLeaf && key == lastKey)
                node = lastLeaf;
            else
                for (int32_t level = 0; level < kDepth; ++level)
                {
                    QuantizerNode*& child = node->children[Nibble(key, level)];
                    if (!child && !(child = NewNode(quantizer)))
                    {
                        Error::Report(0, kErrNoMemory);
                        return 0;
                    }
                    node = child;
                }
            lastKey = key;
            lastLeaf = node;
            QuantizerStats& stats = node->stats;
            stats.weight += w;
            double squares = 0.0;
            for (int32_t c = 0; c < 4; ++c)
            {
                double value = double(colour[c] & 3) / 255.0 * kPerceptual[c];
                stats.sum[c] += w * value;
                squares += value * value;
            }
            stats.error += w * squares;
        }
    }
    return 1;
}

int32_t PaletteQuantizer::MakePalette(uint8_t* palette, int32_t maxColours, PaletteQuantizer* quantizer)
{
    if (!quantizer->root || maxColours <= 0)
        return 0;
    if (maxColours > kMaxColours)
        maxColours = kMaxColours;
    const int32_t origin[4] = {0, 0, 0, 0};
    Finish(quantizer->root, 0, origin);
    std::memset(palette, 0, size_t(maxColours) * 4);

    int32_t leaves = CountLeaves(quantizer->root, 0);
    if (leaves <= maxColours)
    {
        int32_t next = 0;
        NumberLeaves(quantizer->root, 0, palette, &next);
        return leaves;
    }
    SplitBoxes(quantizer, maxColours);
    for (int32_t i = 0; i < quantizer->numBoxes; ++i)
    {
        const QuantizerBox& box = quantizer->boxes[i];
        Query(quantizer->root, 0, origin, box, nullptr, SetLeafIndex, &i);
        WriteMean(palette + 4 * i, box.stats);
    }
    return maxColours;
}

const Image* PaletteQuantizer::MatchImage(uint8_t* pixels, int32_t stride, int32_t depth, int32_t,
                                          PaletteQuantizer* quantizer, const Image* source)
{
    bool palettised = source->depth == 4 || source->depth == 8;
    if ((!palettised && source->depth != 32) || (depth != 4 && depth != 8))
    {
        Error::Report(0, kErrImageFormat);
        return nullptr;
    }
    if (!quantizer->root || !pixels || stride < source->width || !source->pixels ||
        source->stride < Image::RowBytes(source) || (palettised && !source->palette))
    {
        Error::Report(0, kErrNullArgument);
        return nullptr;
    }
    uint32_t mask = Image::IndexMask(source->depth);
    for (int32_t y = 0; y < source->height; ++y)
    {
        const uint8_t* in = source->pixels + size_t(y) * size_t(source->stride);
        uint8_t* out = pixels + size_t(y) * size_t(stride);
        for (int32_t x = 0; x < source->width; ++x)
        {
            const uint8_t* colour = palettised ? source->palette + 4 * (in[x] & mask) : in + 4 * x;
            uint32_t key = Key(quantizer, colour);
            const QuantizerNode* node = quantizer->root;
            for (int32_t level = 0; node && level < kDepth; ++level)
                node = node->children[Nibble(key, level)];
            out[x] = node ? uint8_t(node->paletteIndex) : 0;
        }
    }
    return source;
}

void PaletteQuantizer::Term(PaletteQuantizer* quantizer)
{
    if (quantizer->root)
        FreeTree(quantizer, quantizer->root);
    if (quantizer->nodes)
        FreeList::Destroy(quantizer->nodes);
    quantizer->root = nullptr;
    quantizer->nodes = nullptr;
    quantizer->numBoxes = 0;
}
