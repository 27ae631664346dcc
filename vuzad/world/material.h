// Materials and material lists: the colour, surface coefficients and texture that the
// triangles of a geometry or world sector are drawn with, shared by reference counts, and
// their stream form, in which a list stores each shared material once.
#pragma once

#include "plugin.h"
#include "raster.h"

#include <cstdint>

struct Pipeline;
struct Stream;
struct Texture;

struct SurfaceProperties
{
    float ambient;
    float specular;
    float diffuse;
};

struct Material
{
    Texture* texture; ///< one reference held
    Rgba colour;
    Pipeline* pipeline;
    SurfaceProperties surface;
    int16_t refCount;
    int16_t spare;
    // Plug-in data follows.

    /// White, no texture, the current default surface properties, count 1. Null when the
    /// free list is exhausted or a constructor fails.
    static Material* Create();
    /// Releases one reference; the last one frees the material and its texture. 1.
    static int32_t Destroy(Material* material);
    static void AddRef(Material* material) { ++material->refCount; }
    static Material* SetTexture(Material* material, Texture* texture);
    /// Null restores 1, 1, 1.
    static void SetDefaultSurfaceProperties(const SurfaceProperties* properties);
    static const SurfaceProperties* GetDefaultSurfaceProperties();
    /// Alpha below 255, or a texture whose raster format carries alpha.
    static bool IsTransparent(const Material* material);

    /// Stream positioned after a material chunk header (7). Null on failure, nothing left.
    static Material* StreamRead(Stream* stream);
    /// Chunk 7 with its header. The material, or null.
    static const Material* StreamWrite(const Material* material, Stream* stream);
    /// Body size of its chunk.
    static int32_t StreamGetSize(const Material* material);

    static int32_t RegisterPlugin(int32_t size, int32_t pluginId, PluginConstructor constructor,
                                  PluginDestructor destructor, PluginCopy copy);
    static int32_t RegisterPluginStream(int32_t pluginId, PluginStreamRead read, PluginStreamWrite write,
                                        PluginStreamSize size);
    static int32_t GetPluginOffset(int32_t pluginId);
    static PluginRegistry* Registry();
};

struct MaterialList
{
    Material** materials;
    int32_t count;
    int32_t capacity;

    static constexpr int32_t kGrowth = 20;

    static MaterialList* Init(MaterialList* list);
    /// Releases every entry and frees the array.
    static MaterialList* Deinit(MaterialList* list);
    static Material* GetMaterial(const MaterialList* list, int32_t index) { return list->materials[index]; }
    /// Adds one reference; the index, or -1 when the array cannot grow (0x80000013).
    static int32_t AppendMaterial(MaterialList* list, Material* material);
    /// The highest index holding the material, or -1.
    static int32_t FindMaterialIndex(const MaterialList* list, const Material* material);

    /// Reads chunk 8's body into an empty list. The list, or null with the list empty.
    static MaterialList* StreamRead(Stream* stream, MaterialList* list);
    /// Chunk 8 with its header. The list, or null.
    static const MaterialList* StreamWrite(const MaterialList* list, Stream* stream);
    static int32_t StreamGetSize(const MaterialList* list);
};
