// Bump textures: the drawn texture of a bump slot, the base texture's colours with the bump
// map's brightness as alpha, named from both and shared through the current dictionary.
#include "matfx.h"

#include "d3d9raster.h"
#include "image.h"
#include "material.h"
#include "raster.h"
#include "texture.h"

#include <cstring>

namespace
{

constexpr int32_t kMaxNameCharacters = 30;

// The full names a drawn bump texture was built from, kept on every texture (empty on the
// others): the shared name is cut short, so two pairs may build the same one.
struct BumpKey
{
    char base[kTextureNameSize];
    char bump[kTextureNameSize];
};

int32_t sKeyOffset = -1;

BumpKey* KeyOf(Texture* texture)
{
    return reinterpret_cast<BumpKey*>(reinterpret_cast<char*>(texture) + sKeyOffset);
}

void* KeyInit(void* object, int32_t offset, int32_t)
{
    std::memset(static_cast<char*>(object) + offset, 0, sizeof(BumpKey));
    return object;
}

void* KeyCopy(void* destination, const void* source, int32_t offset, int32_t)
{
    std::memcpy(static_cast<char*>(destination) + offset, static_cast<const char*>(source) + offset, sizeof(BumpKey));
    return destination;
}

void CopyName(char (&to)[kTextureNameSize], const char* from)
{
    std::strncpy(to, from ? from : "", kTextureNameSize - 1);
    to[kTextureNameSize - 1] = '\0';
}

void SetKey(Texture* texture, const char* base, const char* bump)
{
    if (sKeyOffset < 0)
        return;
    CopyName(KeyOf(texture)->base, base);
    CopyName(KeyOf(texture)->bump, bump);
}

bool KeyMatches(Texture* texture, const char* base, const char* bump)
{
    if (sKeyOffset < 0)
        return true;
    const BumpKey* key = KeyOf(texture);
    return std::strncmp(key->base, base ? base : "", kTextureNameSize - 1) == 0 &&
           std::strncmp(key->bump, bump ? bump : "", kTextureNameSize - 1) == 0;
}

struct SharedSearch
{
    const char* name;
    const char* base;
    const char* bump;
    Texture* found;
};

Texture* MatchShared(Texture* texture, void* data)
{
    auto* search = static_cast<SharedSearch*>(data);
    if (!search->found && std::strcmp(texture->name, search->name) == 0 &&
        KeyMatches(texture, search->base, search->bump))
        search->found = texture;
    return texture;
}

// The drawn texture built from exactly these names: in the dictionary, else the default find's.
Texture* FindShared(TextureDictionary* dictionary, const char* name, const char* base, const char* bump)
{
    if (!dictionary)
    {
        Texture* found = Texture::DefaultFind(name);
        return found && KeyMatches(found, base, bump) ? found : nullptr;
    }
    SharedSearch search{name, base, bump, nullptr};
    TextureDictionary::ForAllTextures(dictionary, MatchShared, &search);
    return search.found;
}

// A 32-bit image of the raster's pixels, or null.
Image* ReadRaster(Raster* raster)
{
    Image* image = Image::Create(raster->width, raster->height, 32);
    if (!image)
        return nullptr;
    if (!Image::AllocatePixels(image) || !Image::SetFromRaster(image, raster))
    {
        Image::Destroy(image);
        return nullptr;
    }
    return image;
}

Image* WhiteImage(int32_t width, int32_t height)
{
    Image* image = Image::Create(width, height, 32);
    if (!image)
        return nullptr;
    if (!Image::AllocatePixels(image))
    {
        Image::Destroy(image);
        return nullptr;
    }
    for (int32_t y = 0; y < height; ++y)
        std::memset(image->pixels + size_t(y) * size_t(image->stride), 0xFF, size_t(width) * 4);
    return image;
}

void Destroy(Image* image)
{
    if (image)
        Image::Destroy(image);
}

bool UsableRaster(const Texture* texture)
{
    return texture && texture->raster && texture->raster->width > 0 && texture->raster->height > 0;
}

// A raster of the image's format holding it, or null.
Raster* RasterFromImage(Image*& image, bool mipmapped)
{
    int32_t width = 0, height = 0, depth = 0;
    uint32_t format = 0;
    if (!Image::FindRasterFormat(image, kRasterTypeTexture, &width, &height, &depth, &format))
        return nullptr;
    if (width != image->width || height != image->height)
    {
        Image* fitted = Image::CreateResampled(image, width, height);
        if (!fitted)
            return nullptr;
        Image::Destroy(image);
        image = fitted;
    }
    if (mipmapped)
        format |= kRasterFormatMipmap | kRasterFormatAutoMipmap;
    Raster* raster = Raster::Create(width, height, depth, format);
    if (!raster)
        return nullptr;
    if (!Raster::SetFromImage(raster, image))
    {
        Raster::Destroy(raster);
        return nullptr;
    }
    return raster;
}

} // namespace

int32_t MatFx::AttachBumpKey()
{
    sKeyOffset = Texture::RegisterPlugin(int32_t(sizeof(BumpKey)), kPluginId, KeyInit, KeyInit, KeyCopy);
    return sKeyOffset;
}

void MatFx::BumpTextureName(char* out, const char* base, const char* bump)
{
    int32_t n = 0;
    const char* a = base;
    const char* b = bump;
    while (n < kMaxNameCharacters && ((a && *a) || (b && *b)))
    {
        if (a && *a)
            out[n++] = *a++;
        if (n < kMaxNameCharacters && b && *b)
            out[n++] = *b++;
    }
    out[n] = '\0';
}

Texture* MatFx::CreateBumpTexture(Texture* base, Texture* bump)
{
    if (!UsableRaster(bump) || (base && !UsableRaster(base)))
        return nullptr;
    Image* bumpImage = ReadRaster(bump->raster);
    Image* baseImage = base ? ReadRaster(base->raster) : WhiteImage(bump->raster->width, bump->raster->height);
    Texture* texture = nullptr;
    if (bumpImage && baseImage)
    {
        if (bumpImage->width != baseImage->width || bumpImage->height != baseImage->height)
        {
            Image* resampled = Image::CreateResampled(bumpImage, baseImage->width, baseImage->height);
            Image::Destroy(bumpImage);
            bumpImage = resampled;
        }
        Texture* source = base ? base : bump;
        const bool mipmapped = Raster::FormatFlags(source->raster) & kRasterFormatMipmap;
        Raster* raster = nullptr;
        if (bumpImage && Image::MakeMask(bumpImage) && Image::ApplyMask(baseImage, bumpImage))
            raster = RasterFromImage(baseImage, mipmapped);
        if (raster)
        {
            texture = Texture::Create(raster);
            if (!texture)
                Raster::Destroy(raster);
        }
        if (texture)
        {
            const uint32_t word = source->filterAddressing;
            const uint32_t u = (word >> kTextureAddressUShift) & 0xF, v = (word >> kTextureAddressVShift) & 0xF;
            const uint32_t address = u == v ? u : 0;
            texture->filterAddressing =
                (word & kTextureFilterMask) | address << kTextureAddressUShift | address << kTextureAddressVShift;
            char name[kTextureNameSize];
            BumpTextureName(name, base ? base->name : bump->name, bump->name);
            Texture::SetName(texture, name);
            SetKey(texture, base ? base->name : bump->name, bump->name);
        }
    }
    Destroy(bumpImage);
    Destroy(baseImage);
    return texture;
}

Texture* MatFx::CreateBumpTextureChecked(Texture* base, Texture* bump)
{
    if (!bump)
        return base;
    if (!bump->raster || D3D9Raster::IsCompressed(bump->raster) ||
        (base && (!base->raster || D3D9Raster::IsCompressed(base->raster))))
        return nullptr;
    return CreateBumpTexture(base, bump);
}

Material* MatFx::SetBumpTexture(Material* material, Texture* bumpMap)
{
    MatFxEffectSlot* slot = FindSlot(GetData(material), kMatFxSlotBump);
    if (!slot)
        return nullptr;
    MatFxBumpSlot& bump = slot->bump;
    if (bump.drawnTexture)
        Texture::Destroy(bump.drawnTexture);
    if (bump.bumpMap)
        Texture::Destroy(bump.bumpMap);
    bump.drawnTexture = nullptr;
    bump.bumpMap = nullptr;
    bump.invWidth = 0.0f;
    // A material without a base texture is bump-mapped over white; a raster of width 0
    // gives no reciprocal.
    Texture* base = material->texture;
    if (!bumpMap)
    {
        if (UsableRaster(base))
            bump.invWidth = 1.0f / float(base->raster->width);
        return material;
    }
    ++bumpMap->refCount;
    bump.bumpMap = bumpMap;
    if (!UsableRaster(bumpMap) || (base && !UsableRaster(base)))
        return material;

    char name[kTextureNameSize];
    const char* baseName = base ? base->name : bumpMap->name;
    BumpTextureName(name, baseName, bumpMap->name);
    TextureDictionary* dictionary = TextureDictionary::GetCurrent();
    Texture* drawn = FindShared(dictionary, name, baseName, bumpMap->name);
    if (drawn)
        ++drawn->refCount;
    else
    {
        drawn = CreateBumpTextureChecked(base, bumpMap);
        if (!drawn)
            return nullptr;
        // The dictionary keeps the creation reference; the slot takes one of its own.
        if (dictionary)
        {
            TextureDictionary::AddTexture(dictionary, drawn);
            ++drawn->refCount;
        }
    }
    bump.drawnTexture = drawn;
    if (UsableRaster(drawn))
        bump.invWidth = 1.0f / float(drawn->raster->width);
    return material;
}
