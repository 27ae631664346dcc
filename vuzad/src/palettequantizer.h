// The palette quantiser: reduces the colours of one or more images to a palette of at most
// 256 entries (a tree of colour leaves, then boxes split where they cut the squared error
// most) and maps their pixels to palette indices.
#pragma once

#include <cstdint>

struct FreeList;
struct Image;

/// Weight, weighted channel sums and squared error of a set of colours.
struct QuantizerStats
{
    double weight;
    double sum[4]; ///< red, green, blue, alpha in perceptually weighted units
    double error;
};

/// A node of the colour tree; level k is indexed by nibble k of a colour's key, and the
/// leaves (depth 6) hold every colour whose top 6 bits of each channel agree.
struct QuantizerNode
{
    QuantizerStats stats;
    int32_t paletteIndex;
    QuantizerNode* children[16];
};

/// A box of leaves in leaf coordinates (0 to 64 per channel, minimum included).
struct QuantizerBox
{
    uint8_t minimum[4];
    uint8_t maximum[4];
    double score;
    QuantizerStats stats;
};

/// Call order: Init, AddImage for every image sharing the palette, MakePalette once,
/// MatchImage for every image, Term.
struct PaletteQuantizer
{
    static constexpr int32_t kTreeDepth = 6;
    static constexpr int32_t kMaxColours = 256;

    uint32_t spread[1 << kTreeDepth]; ///< bit j of a value at bit 4 x (depth - 1 - j)
    QuantizerNode* root;
    FreeList* nodes;
    int32_t numBoxes;
    QuantizerBox boxes[kMaxColours];

    /// 1, or 0 when the tree cannot be started (0x80000013).
    static int32_t Init(PaletteQuantizer* quantizer);
    /// Adds every pixel (for depths 4 and 8 its palette entry) with the weight. 1, or 0 when
    /// the image cannot be read (0x80000009 depth, 0x80000016 no pixels) or a node cannot be
    /// allocated (0x80000013).
    static int32_t AddImage(PaletteQuantizer* quantizer, const Image* image, float weight);
    /// Writes up to maxColours (at most 256) entries of red, green, blue, alpha into
    /// palette and answers how many it made: the leaf count when that is no more than
    /// maxColours (entries in depth-first leaf order), else maxColours. Entries no box
    /// could fill stay zero.
    static int32_t MakePalette(uint8_t* palette, int32_t maxColours, PaletteQuantizer* quantizer);
    /// Writes each source pixel's palette index as one byte per pixel into the destination
    /// rows. A colour that was never added gets index 0. The source image, or null.
    static const Image* MatchImage(uint8_t* pixels, int32_t stride, int32_t depth, int32_t unused,
                                   PaletteQuantizer* quantizer, const Image* source);
    /// Frees the tree and its free list.
    static void Term(PaletteQuantizer* quantizer);
};
