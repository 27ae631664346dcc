// The texture manager's default dictionary.
#include "wtexturemanager.h"

#include "hbexitlist.h"
#include "texture.h"

namespace
{
WTextureManager* gManager = nullptr;
bool gManagerMade = false;

void DestroyManager()
{
    if (gManager)
        gManager->DestroyDictionaries();
    delete gManager;
    gManager = nullptr;
}

struct WalkData
{
    WTextureManager::TextureFunction function;
    void* data;
};

Texture* CallFunction(Texture* texture, void* data)
{
    auto* walk = static_cast<WalkData*>(data);
    return walk->function(texture, walk->data);
}
} // namespace

WTextureManager* WTextureManager::Instance()
{
    if (!gManagerMade)
    {
        gManager = new WTextureManager();
        if (gManager)
        {
            gManagerMade = true;
            HbExitList::Add(DestroyManager);
        }
    }
    return gManager;
}

int32_t WTextureManager::Init()
{
    if (!mDefaultDictionary)
        mDefaultDictionary = TextureDictionary::Create();
    return mDefaultDictionary ? 1 : 0;
}

void WTextureManager::ForAllTextures(TextureFunction function, void* data)
{
    if (!mDefaultDictionary)
        return;
    WalkData walk = {function, data};
    TextureDictionary::ForAllTextures(mDefaultDictionary, CallFunction, &walk);
}

void WTextureManager::DestroyDictionaries()
{
    // The engine reclaims only the dictionary it made itself when it stops, so the default
    // dictionary goes here too (with its textures and their rasters) and Init makes a new one.
    if (mDefaultDictionary)
        TextureDictionary::Destroy(mDefaultDictionary);
    mDefaultDictionary = nullptr;
}
