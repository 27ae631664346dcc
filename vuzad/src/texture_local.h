// The texture module's block, shared by the texture files of this folder.
#pragma once

#include "linklist.h"
#include "texture.h"

struct FreeList;

struct TextureModuleBlock
{
    ListLink dictionaries; ///< every dictionary, newest first
    FreeList* textures;
    FreeList* dictionaryList;
    TextureDictionary* current;
    TextureDictionary* first; ///< made at open; null once destroyed
    TextureReadFunction read;
    TextureFindFunction find;
    int32_t mipmapping;
    int32_t autoMipmapping;
};

namespace texturemodule
{
/// Null while the module is closed.
TextureModuleBlock* Block();
} // namespace texturemodule
