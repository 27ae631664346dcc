// WAnimatedTextureSet: the animated textures the renderer advances every frame. Loading and
// binding them to materials come with the animated-texture resources.
#pragma once

#include "hbgrowarray.h"
#include "hbroot.h"

#include <cstdint>

class WAnimatedTextureSet : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    WAnimatedTextureSet() = default;
    ~WAnimatedTextureSet() override;

    /// Per frame: advances every animated texture.
    void Tick();
    /// Releases every animated texture.
    void Clear();
    int32_t GetCount() const { return mTextures.GetCount(); }

private:
    HbPtrArray mTextures; ///< HbRoot objects, one reference each
};
