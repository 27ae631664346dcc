// The UV-animation plug-in: its attach, open and close, the dictionary schema of UV animations,
// reference counting, and the material extension with its stream form and per-frame update.
#include "uvanim.h"

#include "animation.h"
#include "byteorder.h"
#include "chunk.h"
#include "dictionary.h"
#include "engine.h"
#include "error.h"
#include "material.h"
#include "matrix.h"
#include "stream.h"
#include "uvanimkey.h"

#include <bit>
#include <cstring>

namespace
{
int32_t sOpenCount = 0;
int32_t sMaterialOffset = -1;
UVAnimTransformTarget sTarget = {nullptr, nullptr};

// A refused registration leaves the offset of an earlier one in place.
int32_t Keep(int32_t* slot, int32_t offset)
{
    if (offset >= 0)
        *slot = offset;
    return offset;
}

const char* EntryName(const void* entry)
{
    const UVAnimCustomData* custom = UVAnimGetCustomData(static_cast<const Animation*>(entry));
    return custom ? custom->name : nullptr;
}

void EntryAddRef(void* entry)
{
    UVAnim::AddRefAnimation(static_cast<Animation*>(entry));
}

int32_t EntryRelease(void* entry)
{
    return UVAnim::ReleaseAnimation(static_cast<Animation*>(entry));
}

int32_t EntryStreamGetSize(const void* entry)
{
    return Animation::StreamGetSize(static_cast<const Animation*>(entry));
}

// Only UV animations are entries: an animation chunk of another scheme has no name or count.
void* EntryStreamRead(Stream* stream, uint32_t bodySize)
{
    Animation* animation = Animation::StreamRead(stream, bodySize);
    if (animation && !UVAnimGetCustomData(animation))
    {
        Animation::Destroy(animation);
        return nullptr;
    }
    return animation;
}

int32_t EntryStreamWrite(const void* entry, Stream* stream)
{
    return Animation::StreamWrite(static_cast<const Animation*>(entry), stream);
}

DictionarySchema sSchema = {
    "UVAnim",
    UVAnim::kDictionaryChunk,
    Animation::kChunkType,
    0x36000,
    nullptr,
    nullptr,
    EntryAddRef,
    EntryRelease,
    EntryName,
    EntryStreamGetSize,
    EntryStreamRead,
    nullptr,
    EntryStreamWrite,
};

UVAnimMaterialExtension* Extension(const void* material, int32_t offset)
{
    return reinterpret_cast<UVAnimMaterialExtension*>(const_cast<char*>(static_cast<const char*>(material)) + offset);
}

void SetIdentity(Matrix* m)
{
    m->right = {1.0f, 0.0f, 0.0f};
    m->up = {0.0f, 1.0f, 0.0f};
    m->at = {0.0f, 0.0f, 1.0f};
    m->pos = {0.0f, 0.0f, 0.0f};
    m->flags = kMatrixIdentity | kMatrixOrthonormal;
}

// The channel a node drives, or -1: nodes past the eight-entry map drive none.
int32_t ChannelOf(const UVAnimCustomData* custom, int32_t node)
{
    if (!custom || node >= kUVAnimMapEntries)
        return -1;
    const int32_t c = custom->nodeToChannel[node];
    return c == 0 || c == 1 ? c : -1;
}

// Gives the material the channel matrices its animations need and drops the others.
bool AllocateMatrices(UVAnimMaterialExtension* ext)
{
    bool needed[kUVAnimChannels] = {false, false};
    for (AnimInterpolator* ip : ext->interpolators)
    {
        if (!ip || !ip->animation)
            continue;
        const UVAnimCustomData* custom = UVAnimGetCustomData(ip->animation);
        for (int32_t j = 0; j < ip->nodeCount; ++j)
            if (const int32_t c = ChannelOf(custom, j); c >= 0)
                needed[c] = true;
    }
    for (int32_t c = 0; c < kUVAnimChannels; ++c)
    {
        if (needed[c] && !ext->channels[c])
        {
            ext->channels[c] = Matrix::Create();
            if (!ext->channels[c])
                return false;
        }
        else if (!needed[c] && ext->channels[c])
        {
            Matrix::Destroy(ext->channels[c]);
            ext->channels[c] = nullptr;
        }
    }
    return true;
}

void ClearSlot(UVAnimMaterialExtension* ext, int32_t slot)
{
    AnimInterpolator* ip = ext->interpolators[slot];
    if (!ip)
        return;
    if (ip->animation)
        UVAnim::ReleaseAnimation(ip->animation);
    AnimInterpolator::Destroy(ip);
    ext->interpolators[slot] = nullptr;
}

void ClearAll(UVAnimMaterialExtension* ext)
{
    for (int32_t c = 0; c < kUVAnimChannels; ++c)
        if (ext->channels[c])
        {
            Matrix::Destroy(ext->channels[c]);
            ext->channels[c] = nullptr;
        }
    for (int32_t i = 0; i < kUVAnimMaxInterpolators; ++i)
        ClearSlot(ext, i);
}

// An interpolator playing the animation, whose reference it then holds; null (the reference
// not taken over) when it cannot be made.
AnimInterpolator* MakeInterpolator(Animation* animation, int32_t nodeCount)
{
    AnimInterpolator* ip =
        nodeCount > 0 ? AnimInterpolator::Create(nodeCount, animation->scheme->interpKeyFrameSize) : nullptr;
    if (ip && !AnimInterpolator::SetAnimation(ip, animation))
    {
        AnimInterpolator::Destroy(ip);
        ip = nullptr;
    }
    return ip;
}

// Finds the struct chunk within the sub-chunk's length: its body size, and the bytes of the
// sub-chunk after that body, through size and after.
bool FindStruct(Stream* stream, uint32_t length, uint32_t* size, uint32_t* after)
{
    uint32_t remaining = length;
    while (remaining >= kChunkHeaderSize)
    {
        uint32_t type = 0, s = 0;
        if (!Stream::ReadChunkHeader(stream, &type, &s, nullptr, nullptr))
            return false;
        remaining -= kChunkHeaderSize;
        if (s > remaining)
            return false;
        if (type == kChunkStruct)
        {
            *size = s;
            *after = remaining - s;
            return true;
        }
        if (!Stream::Skip(stream, s))
            return false;
        remaining -= s;
    }
    return false;
}
} // namespace

// ---- Plug-in -------------------------------------------------------------------------------------

int32_t UVAnim::Attach()
{
    if (Engine::RegisterPlugin(0, kPluginId, EngineOpen, EngineClose) < 0)
        return 0;
    if (Keep(&sMaterialOffset, Material::RegisterPlugin(int32_t(sizeof(UVAnimMaterialExtension)), kPluginId,
                                                        MaterialConstructor, MaterialDestructor, MaterialCopy)) < 0)
        return 0;
    return Material::RegisterPluginStream(kPluginId, MaterialStreamRead, MaterialStreamWrite, MaterialStreamGetSize) >=
                   0
               ? 1
               : 0;
}

void* UVAnim::EngineOpen(void* engine, int32_t, int32_t)
{
    if (sOpenCount == 0)
    {
        if (!DictionarySchema::Open(&sSchema))
            return nullptr;
        // Not reported when refused: the registry may hold them from an open not yet closed.
        AnimScheme::Register(UVAnimKeyFrame::Scheme());
        AnimScheme::Register(UVAnimParamKeyFrame::Scheme());
    }
    ++sOpenCount;
    return engine;
}

void* UVAnim::EngineClose(void* engine, int32_t, int32_t)
{
    if (sOpenCount > 0 && --sOpenCount == 0)
        DictionarySchema::Close(&sSchema);
    return engine;
}

int32_t UVAnim::GetOpenCount()
{
    return sOpenCount;
}

int32_t UVAnim::GetMaterialOffset()
{
    return sMaterialOffset;
}

void UVAnim::SetTransformTarget(const UVAnimTransformTarget* target)
{
    sTarget = target ? *target : UVAnimTransformTarget{nullptr, nullptr};
}

// ---- Dictionary ----------------------------------------------------------------------------------

DictionarySchema* UVAnim::GetDictionarySchema()
{
    return &sSchema;
}

Dictionary* UVAnim::GetCurrentDictionary()
{
    return DictionarySchema::GetCurrent(&sSchema);
}

void UVAnim::SetCurrentDictionary(Dictionary* dictionary)
{
    DictionarySchema::SetCurrent(&sSchema, dictionary);
}

Dictionary* UVAnim::ReadDictionary(Stream* stream, uint32_t bodySize)
{
    return sOpenCount > 0 ? Dictionary::StreamRead(&sSchema, stream, bodySize) : nullptr;
}

Animation* UVAnim::FindAnimation(const Dictionary* dictionary, const char* name)
{
    return static_cast<Animation*>(Dictionary::FindEntry(dictionary, name));
}

// ---- Animations ----------------------------------------------------------------------------------

void UVAnim::AddRefAnimation(Animation* animation)
{
    if (UVAnimCustomData* custom = UVAnimGetCustomData(animation))
        ++custom->refCount;
}

int32_t UVAnim::ReleaseAnimation(Animation* animation)
{
    UVAnimCustomData* custom = UVAnimGetCustomData(animation);
    if (!custom || --custom->refCount <= 0)
        Animation::Destroy(animation);
    return 1;
}

int32_t UVAnim::GetRefCount(const Animation* animation)
{
    const UVAnimCustomData* custom = UVAnimGetCustomData(animation);
    return custom ? custom->refCount : 0;
}

Animation* UVAnim::CreateDummyAnimation(const char* name)
{
    Animation* animation = Animation::Create(UVAnimKeyFrame::kTypeId, 2, 0, 1.0f);
    if (!animation)
        return nullptr;
    auto* custom = static_cast<UVAnimCustomData*>(animation->customData);
    if (name)
        std::strncpy(custom->name, name, kUVAnimNameLength);
    custom->name[kUVAnimNameLength] = '\0';
    custom->nodeToChannel[0] = 0;
    custom->refCount = 1;
    static const float kIdentity[6] = {1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f};
    for (int32_t i = 0; i < 2; ++i)
    {
        auto* k = reinterpret_cast<UVAnimKeyFrameData*>(Animation::KeyFrame(animation, i));
        k->header.time = float(i);
        k->header.previous = i ? Animation::KeyFrame(animation, 0) : nullptr;
        std::memcpy(k->values, kIdentity, sizeof kIdentity);
    }
    if (!Animation::Validate(animation))
    {
        Animation::Destroy(animation);
        return nullptr;
    }
    return animation;
}

int32_t UVAnim::KeyFrameFromMatrix(Animation* animation, void* keyFrame, void* previous, float time,
                                   const Matrix* matrix)
{
    auto* k = static_cast<UVAnimKeyFrameData*>(keyFrame);
    k->header.previous = static_cast<AnimKeyFrameHeader*>(previous);
    k->header.time = time;
    if (animation->scheme->typeId == UVAnimParamKeyFrame::kTypeId)
        UVAnimParamKeyFrame::FromMatrix(k->values, matrix);
    else
        UVAnimKeyFrame::FromMatrix(k->values, matrix);
    return 0;
}

// ---- Material extension ----------------------------------------------------------------------------

void* UVAnim::MaterialConstructor(void* material, int32_t offset, int32_t)
{
    *Extension(material, offset) = UVAnimMaterialExtension{};
    return material;
}

void* UVAnim::MaterialDestructor(void* material, int32_t offset, int32_t)
{
    ClearAll(Extension(material, offset));
    return material;
}

void* UVAnim::MaterialCopy(void* destination, const void* source, int32_t offset, int32_t)
{
    UVAnimMaterialExtension* to = Extension(destination, offset);
    const UVAnimMaterialExtension* from = Extension(source, offset);
    for (int32_t i = 0; i < kUVAnimMaxInterpolators; ++i)
    {
        const AnimInterpolator* src = from->interpolators[i];
        if (!src || !src->animation)
            continue;
        AnimInterpolator* ip = AnimInterpolator::Create(src->nodeCount, src->maxInterpKeyFrameSize);
        if (ip && !AnimInterpolator::SetAnimation(ip, src->animation))
        {
            AnimInterpolator::Destroy(ip);
            ip = nullptr;
        }
        if (!ip)
        {
            ClearAll(to);
            return nullptr;
        }
        AnimInterpolator::CopyState(ip, src);
        AddRefAnimation(src->animation);
        to->interpolators[i] = ip;
    }
    if (!AllocateMatrices(to))
    {
        ClearAll(to);
        return nullptr;
    }
    return destination;
}

Stream* UVAnim::MaterialStreamRead(Stream* stream, int32_t length, void* material, int32_t offset, int32_t)
{
    UVAnimMaterialExtension* ext = Extension(material, offset);
    uint32_t size = 0, after = 0;
    uint8_t maskBytes[4];
    if (length < 0 || !FindStruct(stream, uint32_t(length), &size, &after) || size < 4 ||
        Stream::Read(stream, maskBytes, 4) != 4)
        return nullptr;
    const uint32_t mask = ByteOrder::Load32(maskBytes);
    // Eight slots; each set bit is followed by a 32-byte name inside the struct.
    if (mask >> kUVAnimMaxInterpolators || uint32_t(std::popcount(mask)) * kUVAnimNameLength > size - 4)
        return nullptr;
    uint32_t left = size - 4;
    for (int32_t i = 0; i < kUVAnimMaxInterpolators; ++i)
    {
        if (!(mask & (1u << i)))
            continue;
        char name[kUVAnimNameLength + 1] = {};
        if (Stream::Read(stream, name, kUVAnimNameLength) != uint32_t(kUVAnimNameLength))
            return nullptr;
        left -= kUVAnimNameLength;
        // A name the current dictionary does not hold plays a still placeholder.
        Animation* animation = FindAnimation(GetCurrentDictionary(), name);
        if (animation)
            AddRefAnimation(animation);
        else
            animation = CreateDummyAnimation(name);
        if (!animation)
            return nullptr;
        AnimInterpolator* ip = MakeInterpolator(animation, Animation::CountNodes(animation));
        if (!ip)
        {
            ReleaseAnimation(animation);
            return nullptr;
        }
        // Whatever the slot held before gives way.
        ClearSlot(ext, i);
        ext->interpolators[i] = ip;
    }
    // The engine reads the next sub-chunk right after the length it announced.
    if (left + after > 0 && !Stream::Skip(stream, left + after))
        return nullptr;
    return AllocateMatrices(ext) ? stream : nullptr;
}

Stream* UVAnim::MaterialStreamWrite(Stream* stream, int32_t, const void* material, int32_t offset, int32_t)
{
    const UVAnimMaterialExtension* ext = Extension(material, offset);
    uint32_t mask = 0;
    for (int32_t i = 0; i < kUVAnimMaxInterpolators; ++i)
        if (ext->interpolators[i] && ext->interpolators[i]->animation)
            mask |= 1u << i;
    if (!mask)
        return stream;
    const uint32_t count = uint32_t(std::popcount(mask));
    if (!Stream::WriteChunkHeader(stream, kChunkStruct, 4 + kUVAnimNameLength * count, kStreamVersion, kLibraryBuild))
        return nullptr;
    uint8_t maskBytes[4];
    ByteOrder::Store32(maskBytes, mask);
    if (!Stream::Write(stream, maskBytes, 4))
        return nullptr;
    for (int32_t i = 0; i < kUVAnimMaxInterpolators; ++i)
    {
        if (!(mask & (1u << i)))
            continue;
        char name[kUVAnimNameLength] = {};
        if (const UVAnimCustomData* custom = UVAnimGetCustomData(ext->interpolators[i]->animation))
            std::memcpy(name, custom->name, kUVAnimNameLength);
        if (!Stream::Write(stream, name, kUVAnimNameLength))
            return nullptr;
    }
    return stream;
}

int32_t UVAnim::MaterialStreamGetSize(const void* material, int32_t offset, int32_t)
{
    const UVAnimMaterialExtension* ext = Extension(material, offset);
    int32_t count = 0;
    for (AnimInterpolator* ip : ext->interpolators)
        if (ip && ip->animation)
            ++count;
    return count ? int32_t(kChunkHeaderSize) + 4 + kUVAnimNameLength * count : 0;
}

// ---- Material animation --------------------------------------------------------------------------

UVAnimMaterialExtension* UVAnimMaterial::GetExtension(const Material* material)
{
    return sMaterialOffset >= 0 && material ? Extension(material, sMaterialOffset) : nullptr;
}

Material* UVAnimMaterial::AddUVAnimTime(Material* material, float step)
{
    if (UVAnimMaterialExtension* ext = GetExtension(material))
        for (AnimInterpolator* ip : ext->interpolators)
            if (ip)
                AnimInterpolator::AddTime(ip, step);
    return material;
}

Material* UVAnimMaterial::UpdateUVAnim(Material* material)
{
    UVAnimMaterialExtension* ext = GetExtension(material);
    if (!ext || (sTarget.hasUVTransform && !sTarget.hasUVTransform(material)))
        return material;
    for (Matrix* channel : ext->channels)
        if (channel)
            SetIdentity(channel);
    for (AnimInterpolator* ip : ext->interpolators)
    {
        if (!ip || !ip->animation)
            continue;
        const UVAnimCustomData* custom = UVAnimGetCustomData(ip->animation);
        for (int32_t j = 0; j < ip->nodeCount; ++j)
        {
            const int32_t c = ChannelOf(custom, j);
            if (c < 0 || !ext->channels[c])
                continue;
            Matrix node;
            ip->apply(&node, AnimInterpolator::GetInterpFrame(ip, j));
            Matrix::Transform(ext->channels[c], &node, kCombinePreConcat);
        }
    }
    if (sTarget.setMatrices)
        sTarget.setMatrices(material, ext->channels[0], ext->channels[1]);
    return material;
}

int32_t UVAnimMaterial::HasUVAnim(const Material* material)
{
    if (const UVAnimMaterialExtension* ext = GetExtension(material))
        for (AnimInterpolator* ip : ext->interpolators)
            if (ip)
                return 1;
    return 0;
}

const Matrix* UVAnimMaterial::GetChannelMatrix(const Material* material, int32_t channel)
{
    const UVAnimMaterialExtension* ext = GetExtension(material);
    return ext && channel >= 0 && channel < kUVAnimChannels ? ext->channels[channel] : nullptr;
}
