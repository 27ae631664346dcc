// WTextureManager: where textures are kept. For now its default dictionary, which the
// renderer creates at start and whose textures get the gamma; per-resource dictionaries and
// texture reads by resource id come with the texture loading.
#pragma once

#include "hbmemory.h"

#include <cstdint>

struct Texture;
struct TextureDictionary;

class WTextureManager : public HbAllocated
{
public:
    /// A texture callback: the texture to go on, or null to stop walking its dictionary.
    using TextureFunction = Texture* (*)(Texture* texture, void* data);

    /// The manager, made on first use and destroyed by the exit list; null when out of memory.
    static WTextureManager* Instance();

    /// At renderer start: creates the default dictionary. 1, or 0 when it cannot be created.
    int32_t Init();
    /// function(texture, data) for every texture of every dictionary, the default one last.
    void ForAllTextures(TextureFunction function, void* data);
    /// At renderer stop: destroys every dictionary, the default one included.
    void DestroyDictionaries();
    TextureDictionary* GetDefaultDictionary() const { return mDefaultDictionary; }

private:
    WTextureManager() = default;

    TextureDictionary* mDefaultDictionary = nullptr;
};
