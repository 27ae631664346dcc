// The set of animated textures.
#include "wanimatedtextureset.h"

HB_DEFINE_CLASS_DESC(WAnimatedTextureSet, HbRoot);

WAnimatedTextureSet::~WAnimatedTextureSet()
{
    Clear();
}

void WAnimatedTextureSet::Tick() {}

void WAnimatedTextureSet::Clear()
{
    for (int32_t i = 0; i < mTextures.GetCount(); ++i)
        if (auto* texture = static_cast<HbRoot*>(mTextures[i]))
            texture->Release();
    mTextures.SetSize(0);
}
