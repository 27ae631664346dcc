// The stream forms of the material-effects extensions: the material's kind and slots with
// their optional texture chunks, and the atomic and world-sector flags.
#include "matfx.h"

#include "chunk.h"
#include "clump.h"
#include "error.h"
#include "material.h"
#include "stream.h"
#include "texture.h"
#include "world.h"

#include <cstring>

namespace
{

void StreamError()
{
    Error::Report(MatFx::kPluginId, Error::MakeCode(kErrStreamRead));
}

/// What is left of the extension's sub-chunk: no read passes its end.
struct Reader
{
    Stream* stream;
    uint32_t remaining;

    bool Words(void* out, uint32_t count)
    {
        const uint32_t bytes = 4 * count;
        if (bytes > remaining || !Stream::ReadWords(stream, out, bytes))
        {
            StreamError();
            return false;
        }
        remaining -= bytes;
        return true;
    }
    bool Int(int32_t* out) { return Words(out, 1); }
    bool Real(float* out) { return Words(out, 1); }

    /// The has-texture word and, when set, a texture chunk. A texture that cannot be found
    /// reads as null; any other failure fails the read.
    bool Texture(::Texture** out)
    {
        *out = nullptr;
        int32_t has = 0;
        if (!Int(&has))
            return false;
        if (has == 0)
            return true;
        uint32_t type = 0, size = 0;
        if (remaining < 12 || !Stream::ReadChunkHeader(stream, &type, &size, nullptr, nullptr))
        {
            StreamError();
            return false;
        }
        remaining -= 12;
        // The sub-chunk's stated length is the file's word: the bytes must really be there.
        if (type != kChunkTexture || size > remaining || size > Stream::Remaining(stream))
        {
            StreamError();
            return false;
        }
        const bool memory = stream->kind == kStreamMemory;
        const uint32_t end = memory ? stream->memory.position + size : 0;
        // The slot may hold an error from before; it is put back so that only this read's
        // error decides.
        Error before{}, after{};
        Error::Get(&before);
        *out = ::Texture::StreamRead(stream);
        Error::Get(&after);
        if (before.code != kErrNone && before.code != 0)
            Error::Set(&before);
        const bool missing = after.code == kErrNone || after.code == 0 ||
                             (after.pluginId == kCorePluginId && after.code == kCoreErrTextureNotFound);
        if (!*out && !missing)
        {
            Error::Set(&after);
            return false;
        }
        if (memory)
        {
            if (stream->memory.position > end)
            {
                if (*out)
                    ::Texture::Destroy(*out);
                *out = nullptr;
                StreamError();
                return false;
            }
            stream->memory.position = end;
        }
        remaining -= size;
        return true;
    }
};

void Release(Texture* texture)
{
    if (texture)
        Texture::Destroy(texture);
}

void Replace(Texture*& slot, Texture* texture)
{
    Release(slot);
    slot = texture;
}

// Reads one slot of the given type; a slot the kind did not lay out is read and dropped.
bool ReadSlot(Reader& r, Material* material, MatFxEffectSlot* slot, int32_t type)
{
    const bool laid = slot->type == type;
    switch (type)
    {
    case kMatFxSlotNone:
    case kMatFxSlotUVTransform:
        return true;
    case kMatFxSlotBump:
    {
        float bumpiness = 0;
        Texture* drawn = nullptr;
        Texture* bumpMap = nullptr;
        if (!r.Real(&bumpiness) || !r.Texture(&drawn) || (!r.Texture(&bumpMap)))
        {
            Release(drawn);
            return false;
        }
        if (!laid)
        {
            Release(drawn);
            Release(bumpMap);
            return true;
        }
        if (drawn)
        {
            Replace(slot->bump.drawnTexture, drawn);
            Replace(slot->bump.bumpMap, bumpMap);
            slot->bump.invWidth = drawn->raster && drawn->raster->width > 0 ? 1.0f / float(drawn->raster->width) : 0.0f;
        }
        else if (bumpMap)
        {
            // Only the bump map was kept: the drawn texture is built again here.
            MatFx::SetBumpTexture(material, bumpMap);
            Texture::Destroy(bumpMap);
        }
        else
        {
            Replace(slot->bump.drawnTexture, nullptr);
            Replace(slot->bump.bumpMap, nullptr);
        }
        slot->bump.bumpiness = -bumpiness;
        return true;
    }
    case kMatFxSlotEnv:
    {
        float coefficient = 0;
        int32_t flag = 0;
        Texture* texture = nullptr;
        if (!r.Real(&coefficient) || !r.Int(&flag) || !r.Texture(&texture))
            return false;
        if (!laid)
        {
            Release(texture);
            return true;
        }
        Replace(slot->env.texture, texture);
        slot->env.coefficient = coefficient;
        slot->env.frameBufferAlpha = flag;
        return true;
    }
    case kMatFxSlotDual:
    {
        int32_t blend[2] = {};
        Texture* texture = nullptr;
        if (!r.Words(blend, 2) || !r.Texture(&texture))
            return false;
        if (!laid)
        {
            Release(texture);
            return true;
        }
        Replace(slot->dual.texture, texture);
        MatFx::SetDualBlendModes(material, blend[0], blend[1]);
        return true;
    }
    default:
        // Nothing says what follows an unknown slot type.
        StreamError();
        return false;
    }
}

int32_t TextureFieldSize(const Texture* texture)
{
    return texture ? 16 + Texture::StreamGetSize(texture) : 4;
}

bool WriteWord(Stream* stream, const void* word)
{
    return Stream::WriteWords(stream, word, 4) != nullptr;
}

bool WriteTexture(Stream* stream, const Texture* texture)
{
    const int32_t has = texture ? 1 : 0;
    return WriteWord(stream, &has) && (!texture || Texture::StreamWrite(texture, stream));
}

MatFxMaterialData* DataOf(const void* object, int32_t offset)
{
    return reinterpret_cast<const MatFxMaterialExtension*>(static_cast<const char*>(object) + offset)->data;
}

MatFxObjectFlag* FlagOf(void* object, int32_t offset)
{
    return reinterpret_cast<MatFxObjectFlag*>(static_cast<char*>(object) + offset);
}

// The flag word of an atomic or a sector (anything after it is skipped); a set flag enables
// the effects on the object, once.
template <typename Object>
Stream* ReadObjectFlag(Stream* stream, int32_t length, void* object, int32_t offset, Object* (*enable)(Object*))
{
    int32_t flag = 0;
    if (length < 4 || !Stream::ReadWords(stream, &flag, 4))
    {
        StreamError();
        return nullptr;
    }
    if (length > 4 && !Stream::Skip(stream, uint32_t(length - 4)))
        return nullptr;
    MatFxObjectFlag* own = FlagOf(object, offset);
    if (flag && !own->enabled)
    {
        enable(static_cast<Object*>(object));
        own->enabled = 1;
    }
    return stream;
}
} // namespace

Stream* MatFx::MaterialStreamRead(Stream* stream, int32_t length, void* object, int32_t, int32_t)
{
    auto* material = static_cast<Material*>(object);
    Reader r{stream, uint32_t(length > 0 ? length : 0)};
    int32_t kind = 0;
    if (!r.Int(&kind))
        return nullptr;
    if (kind < kMatFxNone || kind >= kMatFxKindCount)
    {
        StreamError();
        return nullptr;
    }
    if (!SetEffects(material, kind))
        return nullptr;
    MatFxMaterialData* data = GetData(material);
    for (MatFxEffectSlot& slot : data->slots)
    {
        int32_t type = 0;
        if (!r.Int(&type) || !ReadSlot(r, material, &slot, type))
            return nullptr;
    }
    return stream;
}

int32_t MatFx::MaterialStreamGetSize(const void* object, int32_t offset, int32_t)
{
    const MatFxMaterialData* data = DataOf(object, offset);
    if (!data || data->kind == kMatFxNone)
        return 0;
    int32_t size = 4;
    for (const MatFxEffectSlot& slot : data->slots)
    {
        size += 4;
        switch (slot.type)
        {
        case kMatFxSlotBump:
            size += 4 + TextureFieldSize(slot.bump.drawnTexture) + TextureFieldSize(slot.bump.bumpMap);
            break;
        case kMatFxSlotEnv:
            size += 8 + TextureFieldSize(slot.env.texture);
            break;
        case kMatFxSlotDual:
            size += 8 + TextureFieldSize(slot.dual.texture);
            break;
        default:
            break;
        }
    }
    return size;
}

Stream* MatFx::MaterialStreamWrite(Stream* stream, int32_t, const void* object, int32_t offset, int32_t)
{
    const MatFxMaterialData* data = DataOf(object, offset);
    if (!data || data->kind == kMatFxNone)
        return stream;
    if (!WriteWord(stream, &data->kind))
        return nullptr;
    for (const MatFxEffectSlot& slot : data->slots)
    {
        if (!WriteWord(stream, &slot.type))
            return nullptr;
        bool ok = true;
        switch (slot.type)
        {
        case kMatFxSlotBump:
        {
            const float bumpiness = -slot.bump.bumpiness;
            ok = WriteWord(stream, &bumpiness) && WriteTexture(stream, slot.bump.drawnTexture) &&
                 WriteTexture(stream, slot.bump.bumpMap);
            break;
        }
        case kMatFxSlotEnv:
            ok = WriteWord(stream, &slot.env.coefficient) && WriteWord(stream, &slot.env.frameBufferAlpha) &&
                 WriteTexture(stream, slot.env.texture);
            break;
        case kMatFxSlotDual:
            ok = WriteWord(stream, &slot.dual.sourceBlend) && WriteWord(stream, &slot.dual.destBlend) &&
                 WriteTexture(stream, slot.dual.texture);
            break;
        default:
            break;
        }
        if (!ok)
            return nullptr;
    }
    return stream;
}

// ---- Atomic and sector flags -------------------------------------------------------------------------

Stream* MatFx::AtomicFlagRead(Stream* stream, int32_t length, void* object, int32_t offset, int32_t)
{
    return ReadObjectFlag(stream, length, object, offset, &MatFx::EnableAtomic);
}

Stream* MatFx::SectorFlagRead(Stream* stream, int32_t length, void* object, int32_t offset, int32_t)
{
    return ReadObjectFlag(stream, length, object, offset, &MatFx::EnableWorldSector);
}

Stream* MatFx::FlagWrite(Stream* stream, int32_t, const void* object, int32_t offset, int32_t)
{
    const int32_t flag = FlagOf(const_cast<void*>(object), offset)->enabled;
    return flag && !WriteWord(stream, &flag) ? nullptr : stream;
}

int32_t MatFx::FlagSize(const void* object, int32_t offset, int32_t)
{
    return FlagOf(const_cast<void*>(object), offset)->enabled ? 4 : 0;
}
