// Animated textures: the resources, their bindings to materials and the set.
#include "wanimatedtextureset.h"

#include "clump.h"
#include "geometry.h"
#include "hbclock.h"
#include "hbdatamanager.h"
#include "hbresource.h"
#include "hbstream.h"
#include "material.h"
#include "texture.h"
#include "w3dnode.h"
#include "world.h"
#include "wtexturemanager.h"
#include "wuvanimregistry.h"

#include <cstring>

HB_DEFINE_CLASS_DESC(WAnimatedTextureResource, HbRoot);
HB_DEFINE_CLASS_DESC(WAnimatedTexture, HbRoot);
HB_DEFINE_CLASS_DESC(WAnimatedTextureSet, HbRoot);

namespace
{
[[maybe_unused]] const int sRegistered = []() -> int
{
    if (HbResourceManager* manager = HbResourceManager::Instance())
        manager->RegisterType("WAT", []() -> HbRoot* { return WAnimatedTextureResource::Create(); });
    return 1;
}();

int64_t gTicksPerSecond = 0;

constexpr uint32_t kLinearFilter = 2;

int64_t GameTime()
{
    HbGameClock* clock = HbGameClock::Instance();
    return clock ? clock->mGameTime : 0;
}
} // namespace

// ---- Resources -------------------------------------------------------------------------------------

void WAnimatedTextureResource::SetTicksPerSecond(int64_t ticks)
{
    gTicksPerSecond = ticks > 0 ? ticks : 0;
}

int64_t WAnimatedTextureResource::TicksPerSecond()
{
    return gTicksPerSecond ? gTicksPerSecond : HbPerformanceFrequency();
}

WAnimatedTextureResource* WAnimatedTextureResource::Create()
{
    return new WAnimatedTextureResource();
}

WAnimatedTextureResource::~WAnimatedTextureResource()
{
    FreeFrames();
}

void WAnimatedTextureResource::FreeFrames()
{
    for (FrameRecord& frame : mFrames)
        if (frame.texture)
            Texture::Destroy(frame.texture);
    mFrames.clear();
    mTotalDuration = 0;
}

int WAnimatedTextureResource::Load(HbStream* stream, const char* name)
{
    FreeFrames();
    int32_t version = 0, loop = 0;
    uint32_t count = 0;
    if (!stream->ReadInt32(version) || (version != 0 && version != 1))
        return 0;
    if (!stream->ReadInt32(loop) || !stream->ReadUInt32(count))
        return 0;
    mVersion = version;
    mLoop = loop;
    mFileFrameCount = count;
    WTextureManager* textures = version == 0 ? WTextureManager::Instance() : nullptr;
    if (textures)
        textures->BeginDictionary(name, 0);
    const double ticksPerSecond = double(TicksPerSecond());
    int result = 1;
    // The count comes from the file: the frames stop where the data do.
    for (uint32_t i = 0; i < count; ++i)
    {
        std::string textureName;
        double seconds = 0.0;
        bool read = HbReadCString(stream, textureName) != 0;
        if (read && version == 0)
        {
            float value = 0.0f;
            read = stream->ReadReal(value) != 0;
            seconds = value;
        }
        else if (read)
        {
            int32_t milliseconds = 0;
            read = stream->ReadInt32(milliseconds) != 0;
            seconds = milliseconds * 0.001;
        }
        if (!read)
        {
            result = 0;
            break;
        }
        Texture* texture = Texture::Read(textureName.c_str(), nullptr);
        if (!texture)
            continue;
        texture->filterAddressing = (texture->filterAddressing & ~kTextureFilterMask) | kLinearFilter;
        double ticks = ticksPerSecond * seconds;
        // A duration outside the tick range (a corrupt real) counts as none.
        const int64_t duration = ticks > 0.0 && ticks < 9.0e15 ? int64_t(ticks) : 0;
        mFrames.push_back({duration, texture});
        mTotalDuration += duration;
    }
    if (textures)
        textures->EndDictionary(name);
    return result;
}

int32_t WAnimatedTextureResource::Save(HbStream* stream) const
{
    // Always the version-0 layout, counting the frames that are written.
    if (!stream->WriteInt32(0) || !stream->WriteInt32(mLoop) || !stream->WriteUInt32(uint32_t(mFrames.size())))
        return 0;
    const double ticksPerSecond = double(TicksPerSecond());
    for (const FrameRecord& frame : mFrames)
        if (!HbWriteCStringToStream(stream, frame.texture ? frame.texture->name : "") ||
            !stream->WriteReal(float(double(frame.duration) / ticksPerSecond)))
            return 0;
    return 1;
}

int WAnimatedTextureResource::CloneInto(HbRoot** target)
{
    auto* copy = target ? HbCastTo<WAnimatedTextureResource>(*target) : nullptr;
    if (!copy)
        return 0;
    copy->mVersion = mVersion;
    copy->mFileFrameCount = mFileFrameCount;
    copy->mTotalDuration = mTotalDuration;
    copy->mLoop = mLoop;
    copy->mName = mName;
    for (const FrameRecord& frame : mFrames)
    {
        if (frame.texture)
            ++frame.texture->refCount;
        copy->mFrames.push_back(frame);
    }
    return 1;
}

Texture* WAnimatedTextureResource::GetFrameTexture(int32_t index) const
{
    if (mFrames.empty())
        return nullptr;
    const int32_t count = int32_t(mFrames.size());
    int32_t i = index % count;
    if (i < 0)
        i += count;
    return mFrames[size_t(i)].texture;
}

Texture* WAnimatedTextureResource::GetTextureAt(int64_t t) const
{
    if (mFrames.empty())
        return nullptr;
    if (t < 0)
        t = 0;
    if (t > mTotalDuration)
    {
        // Frames that last no time at all show the last one.
        if (!mLoop || mTotalDuration <= 0)
            return mFrames.back().texture;
        t %= mTotalDuration;
    }
    int64_t end = 0;
    for (const FrameRecord& frame : mFrames)
    {
        end += frame.duration;
        if (end >= t)
            return frame.texture;
    }
    return mFrames.back().texture;
}

void WAnimatedTextureResource::SetTotalDuration(int64_t ticks)
{
    if (mTotalDuration <= 0)
        return;
    const float factor = float(ticks) / float(mTotalDuration);
    int64_t total = 0;
    for (FrameRecord& frame : mFrames)
    {
        frame.duration = int64_t(float(frame.duration) * factor);
        total += frame.duration;
    }
    mTotalDuration = total;
}

// ---- Bindings ---------------------------------------------------------------------------------------

WAnimatedTexture::WAnimatedTexture(Material* material, const char* name, int32_t autoplay,
                                   WAnimatedTextureResource* resource)
    : mMaterial(material), mResource(resource), mName(name ? name : "")
{
    // The set outlives the world or object that made the material.
    if (mMaterial)
        Material::AddRef(mMaterial);
    if (mResource)
        mResource->AddRef();
    mFrozen = autoplay == 0 ? 1 : 0;
    mFrame = 0;
    mStartTime = mFrozen ? 0 : GameTime();
    ShowFrame(0);
}

WAnimatedTexture::~WAnimatedTexture()
{
    if (mResource)
        mResource->Release();
    if (mMaterial)
        Material::Destroy(mMaterial);
}

void WAnimatedTexture::ShowFrame(int32_t index)
{
    if (mMaterial && mResource)
        if (Texture* texture = mResource->GetFrameTexture(index))
            Material::SetTexture(mMaterial, texture);
}

void WAnimatedTexture::SetFrame(int32_t index)
{
    // The index may come from a console line: it is kept to the animation's frames.
    const int32_t count = mResource ? mResource->GetFrameCount() : 0;
    if (count > 0)
    {
        index %= count;
        if (index < 0)
            index += count;
    }
    else
        index = 0;
    mFrame = index;
    mFrozen = 1;
    ShowFrame(index);
}

void WAnimatedTexture::StepFrame()
{
    const int32_t count = mResource ? mResource->GetFrameCount() : 0;
    SetFrame(count > 0 && mFrame < count - 1 ? mFrame + 1 : 0);
}

void WAnimatedTexture::Play()
{
    mFrame = 0;
    mFrozen = 0;
    mStartTime = GameTime();
}

void WAnimatedTexture::Stop()
{
    mFrame = 0;
    mFrozen = 1;
}

void WAnimatedTexture::Tick()
{
    if (mFrozen || !mMaterial || !mResource)
        return;
    if (Texture* texture = mResource->GetTextureAt(GameTime() - mStartTime))
        if (texture != mMaterial->texture)
            Material::SetTexture(mMaterial, texture);
}

// ---- The set ------------------------------------------------------------------------------------------

WAnimatedTextureSet::~WAnimatedTextureSet()
{
    Clear();
}

void WAnimatedTextureSet::Tick()
{
    for (int32_t i = 0; i < mTextures.GetCount(); ++i)
        if (auto* texture = static_cast<WAnimatedTexture*>(mTextures[i]))
            texture->Tick();
}

void WAnimatedTextureSet::Clear()
{
    for (int32_t i = 0; i < mTextures.GetCount(); ++i)
        if (auto* texture = static_cast<HbRoot*>(mTextures[i]))
            texture->Release();
    mTextures.SetSize(0);
}

WAnimatedTexture* WAnimatedTextureSet::Find(const char* name) const
{
    if (!name)
        return nullptr;
    for (int32_t i = 0; i < mTextures.GetCount(); ++i)
        if (auto* texture = static_cast<WAnimatedTexture*>(mTextures[i]))
            if (texture->GetName() == name)
                return texture;
    return nullptr;
}

void WAnimatedTextureSet::BindToMaterials(const Entry& entry, const std::vector<Material*>& materials)
{
    for (Material* material : materials)
    {
        if (Find(entry.name.c_str()))
            return;
        if (!material || !material->texture || entry.textureName != material->texture->name)
            continue;
        auto* texture = new WAnimatedTexture(material, entry.name.c_str(), entry.autoplay, entry.resource);
        if (!texture)
            return;
        if (mTextures.Add(texture) < 0)
        {
            delete texture;
            return;
        }
        texture->AddRef();
    }
}

int32_t WAnimatedTextureSet::ReadList(HbStream* stream, const char* id, BindFunction fn, void* target)
{
    int32_t count = 0;
    if (!stream->ReadInt32(count))
        return 1;
    for (int32_t i = 0; i < count; ++i)
    {
        int32_t empty = 0;
        // The count comes from the file: entries stop where the data do.
        if (!stream->ReadInt32(empty))
            break;
        if (empty != 0)
            continue;
        Entry entry;
        if (!HbReadCString(stream, entry.name) || !stream->ReadInt32(entry.autoplay))
            break;
        WAnimatedTextureResource* resource = WAnimatedTextureResource::Create();
        if (!resource)
            break;
        resource->AddRef();
        const int loaded = resource->Load(stream, id);
        if (loaded && resource->GetFrameCount() > 0 && resource->GetFrameTexture(0))
        {
            entry.resource = resource;
            entry.textureName = resource->GetFrameTexture(0)->name;
            const size_t dot = entry.textureName.find_last_of('.');
            if (dot != std::string::npos)
                entry.textureName.resize(dot);
            fn(this, entry, target);
        }
        resource->Release();
        if (!loaded)
            break;
    }
    return 1;
}

int32_t WAnimatedTextureSet::LoadList(const char* id, BindFunction fn, void* target)
{
    HbResourceStream* stream = OpenGatedSideFile(id, "LOAD_WAT", ".wat", ".WAT");
    if (!stream)
        return 0;
    ReadList(stream, id, fn, target);
    stream->CloseFile();
    delete stream;
    return 1;
}

namespace
{
Material* CollectMaterial(Material* material, void* data)
{
    static_cast<std::vector<Material*>*>(data)->push_back(material);
    return material;
}

int32_t CollectAtomicMaterials(W3dNode*, Atomic* atomic, void* data)
{
    if (atomic->geometry)
        Geometry::ForAllMaterials(atomic->geometry, CollectMaterial, data);
    return 1;
}

void BindWorld(WAnimatedTextureSet* set, const WAnimatedTextureSet::Entry& entry, void* target)
{
    std::vector<Material*> materials;
    World::ForAllMaterials(static_cast<World*>(target), CollectMaterial, &materials);
    set->BindToMaterials(entry, materials);
}

void BindObject(WAnimatedTextureSet* set, const WAnimatedTextureSet::Entry& entry, void* target)
{
    std::vector<Material*> materials;
    static_cast<W3dNode*>(target)->ForAllAtomics(CollectAtomicMaterials, &materials);
    set->BindToMaterials(entry, materials);
}
} // namespace

int32_t WAnimatedTextureSet::LoadForWorld(const char* id, World* world)
{
    return world ? LoadList(id, BindWorld, world) : 0;
}

int32_t WAnimatedTextureSet::LoadForObject(const char* id, W3dNode* object)
{
    return object ? LoadList(id, BindObject, object) : 0;
}
