// Render items: one per atomic of a node's clump, built once and kept in at most one render
// list; how an item is drawn (visibility, frustum test, light-field lighting and alpha
// fading), the transparency test of textures and the two sort orders of the lists.
#pragma once

#include "hbperclassfreelist.h"
#include "vector.h"

#include <cstdint>
#include <vector>

struct Atomic;
struct Clump;
struct Texture;
class W3dNode;

struct TRenderDataItem
{
    HB_DECLARE_CLASS_POOL();

    static constexpr int32_t kPoolSize = 500;

    W3dNode* owner = nullptr;
    Atomic* atomic = nullptr;
    Texture* texture = nullptr; ///< of the first material of the atomic's geometry, or null
    int32_t transparent = 0;    ///< the texture has alpha
    int32_t list = -1;          ///< render list 0 to 5, -1 when in none
    int32_t position = -1;      ///< index inside that list, -1 when in none
    int32_t lit = 0;            ///< takes light-field lighting

    /// Draws the item of an opaque list: nothing unless the owner is visible and ready and
    /// the atomic's world sphere meets the current camera's frustum (the test's result is
    /// stored in the atomic's visibility word). flags are the list's (WRenderList::Flag);
    /// stamp the real clock's frame count. savedAlpha keeps the materials' alpha while a fade
    /// replaces it: the list's own buffer, so a frame allocates nothing once it has grown.
    static void Render(TRenderDataItem* item, uint32_t flags, int32_t stamp, std::vector<uint8_t>& savedAlpha);
    /// Draws the item of the transparent list: the frustum test (stored as for Render) and
    /// the atomic's render callback; the owner's visibility, lighting and fade play no part.
    static void RenderTransparent(TRenderDataItem* item);
};

namespace RenderItemList
{
/// Appends one item per atomic of the clump to the owner's render items, then makes owner
/// the owner of all of them. Nothing for a null clump. 1.
int32_t Build(W3dNode* owner, Clump* clump);
} // namespace RenderItemList

/// 1 when the texture's raster is 1555, 4444 or 8888 and a palette entry or pixel has alpha
/// below 255; 0 otherwise (also for a null texture or a raster that cannot be read).
int32_t TextureHasAlpha(Texture* texture);

/// qsort comparisons of list slots (TRenderDataItem pointers). By texture address, items
/// without texture first.
int CompareByTexture(const void* a, const void* b);
/// Farther from the published camera position first.
int CompareBackToFront(const void* a, const void* b);
/// The camera position CompareBackToFront measures from; the renderer publishes it for the
/// time of the transparent list's sort.
void SetBackToFrontOrigin(const Vector* position);
