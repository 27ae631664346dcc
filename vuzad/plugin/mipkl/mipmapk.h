// Mipmap K values: for each texture of the current dictionary, the base-2 logarithm of how
// many texels one pixel covers along an axis, measured on the geometry that uses it as seen
// at distance 1 through a camera, stored in the texture's mipmap-K word.
#pragma once

struct Camera;
struct Clump;
struct World;

struct MipmapK
{
    /// Every texture of the current dictionary measured over the clump's atomics; a texture
    /// no triangle uses keeps its word. The screen is the camera raster's size.
    static void ComputeClump(Clump* clump, Camera* camera);
    /// The same over the world's sectors; nothing for a world in the device's own format
    /// or without texture coordinates.
    static void ComputeWorld(World* world, Camera* camera);
};
