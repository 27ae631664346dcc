// Levels: reading the level resource and binding it to a scene.
#include "w3dlevel.h"

#include "hbresource.h"
#include "hbstream.h"
#include "w3dframe.h"
#include "w3dlight.h"
#include "w3dobject.h"
#include "w3dsky.h"
#include "wlightfield.h"
#include "wrenderer.h"
#include "wscene.h"
#include "wtexturemanager.h"

#include <string>

HB_DEFINE_CLASS_DESC(W3dLevel, HbRoot);

namespace
{
[[maybe_unused]] const int sRegistered = []() -> int
{
    if (HbResourceManager* manager = HbResourceManager::Instance())
        manager->RegisterType("WL", []() -> HbRoot* { return W3dLevel::Create(); });
    return 1;
}();

/// Reals of a light entry's placement (colour and matrix) and of an object entry's (matrix).
constexpr int32_t kLightEntryReals = 16;
constexpr int32_t kObjectEntryReals = 12;

void ReleaseAll(HbPtrArray& objects)
{
    for (int32_t i = 0; i < objects.GetCount(); ++i)
        if (auto* object = static_cast<HbRoot*>(objects[i]))
            object->Release();
    objects.RemoveAll();
}

/// A fetched resource the level does not keep: gone unless someone else holds it.
void Drop(HbRoot* object)
{
    if (object && object->GetRefCount() <= 0)
        object->Release();
}

/// An entry's placement that no resource takes is still consumed, so the entries after it
/// are read from their own place.
bool SkipReals(HbStream* stream, int32_t count)
{
    float value;
    for (int32_t i = 0; i < count; ++i)
        if (!stream->ReadReal(value))
            return false;
    return true;
}

bool Loaded(const HbRoot* object)
{
    return object && object->GetStatus() == kHbStatusReady;
}
} // namespace

W3dLevel* W3dLevel::Create()
{
    return new W3dLevel();
}

W3dLevel::~W3dLevel()
{
    SetSky(nullptr);
    if (mMainWorld)
        mMainWorld->Release();
    if (mCollisionWorld)
        mCollisionWorld->Release();
    mMainWorld = mCollisionWorld = nullptr;
    ReleaseAll(mObjects);
    ReleaseAll(mLights);
    if (mLightField)
        mLightField->Release();
    mLightField = nullptr;
}

World* W3dLevel::GetMainWorld() const
{
    return mMainWorld ? mMainWorld->GetWorld() : mBareWorld;
}

World* W3dLevel::GetCollisionWorld() const
{
    return mCollisionWorld ? mCollisionWorld->GetWorld() : GetMainWorld();
}

int W3dLevel::Load(HbStream* stream, const char* name)
{
    auto* chunks = dynamic_cast<HbMChunkStream*>(stream);
    return chunks ? LoadFromChunks(chunks, name) : 0;
}

int32_t W3dLevel::LoadFromChunks(HbMChunkStream* stream, const char* name)
{
    HbResourceManager* manager = HbResourceManager::Instance();
    WTextureManager* textures = WTextureManager::Instance();
    const std::string id = name ? name : "";
    if (textures)
        textures->BeginDictionary(id.c_str(), 0);
    auto close = [&]()
    {
        if (textures)
            textures->EndDictionary(id.c_str());
    };
    if (!manager || !stream->FindChunk(kChunkId, kRootChunk, 0))
    {
        close();
        return 1;
    }
    std::string entry;

    // Worlds: the last that loads is the main world.
    if (uint32_t count = stream->FindChunk(kChunkId, kWorldsChunk, 0))
    {
        for (uint32_t i = 0; i < count && HbReadCString(stream, entry); ++i)
        {
            HbRoot* resource = manager->GetResource(entry.c_str());
            auto* world = HbCastTo<W3dWorld>(resource);
            if (world && world->ReadChunks(stream) && Loaded(world))
            {
                world->AddRef();
                if (mMainWorld)
                    mMainWorld->Release();
                mMainWorld = world;
            }
            else
                Drop(resource);
        }
        stream->LeaveChunk();
    }
    if (!mMainWorld)
    {
        stream->LeaveChunk();
        close();
        return 0;
    }

    if (uint32_t count = stream->FindChunk(kChunkId, kSkiesChunk, 0))
    {
        for (uint32_t i = 0; i < count && HbReadCString(stream, entry); ++i)
        {
            HbRoot* resource = manager->GetResource(entry.c_str());
            auto* sky = HbCastTo<W3dSky>(resource);
            if (sky && sky->ReadChunks(stream) && Loaded(sky))
                SetSky(sky);
            else
                Drop(resource);
        }
        stream->LeaveChunk();
    }

    if (uint32_t count = stream->FindChunk(kChunkId, kLightFieldsChunk, 0))
    {
        if (mLightField)
            mLightField->Release();
        mLightField = nullptr;
        std::string last;
        for (uint32_t i = 0; i < count && HbReadCString(stream, entry); ++i)
            last = entry;
        stream->LeaveChunk();
        if (!last.empty())
            SetLightField(last.c_str(), nullptr);
    }

    if (uint32_t count = stream->FindChunk(kChunkId, kLightsChunk, 0))
    {
        for (uint32_t i = 0; i < count && HbReadCString(stream, entry); ++i)
        {
            HbRoot* resource = manager->GetResource(entry.c_str());
            auto* light = HbCastTo<W3dLight>(resource);
            if (!light)
            {
                Drop(resource);
                if (!SkipReals(stream, kLightEntryReals))
                    break;
                continue;
            }
            if (!light->ReadChunks(stream))
            {
                Drop(resource);
                break;
            }
            if (Loaded(light))
                AddLight(light);
            else
                Drop(resource);
        }
        stream->LeaveChunk();
    }

    if (uint32_t count = stream->FindChunk(kChunkId, kObjectsChunk, 1))
    {
        for (uint32_t i = 0; i < count && HbReadCString(stream, entry); ++i)
        {
            HbRoot* resource = manager->GetResource(entry.c_str());
            if (!resource)
                break;
            auto* object = HbCastTo<W3dObject>(resource);
            if (!object)
            {
                Drop(resource);
                if (!SkipReals(stream, kObjectEntryReals))
                    break;
                continue;
            }
            if (!object->ReadChunks(stream))
            {
                Drop(resource);
                break;
            }
            if (Loaded(object))
                AddObject(object);
            else
                Drop(resource);
        }
        stream->LeaveChunk();
    }

    if (stream->FindChunk(kChunkId, kClipChunk, 0))
    {
        float nearClip = mNearClip, farClip = mFarClip;
        if (stream->ReadReal(nearClip) && stream->ReadReal(farClip))
        {
            mNearClip = nearClip;
            mFarClip = farClip;
        }
        stream->LeaveChunk();
    }

    W3dWorld* collision = nullptr;
    if (uint32_t count = stream->FindChunk(kChunkId, kCollisionWorldsChunk, 0))
    {
        for (uint32_t i = 0; i < count && HbReadCString(stream, entry); ++i)
        {
            HbRoot* resource = manager->GetResource(entry.c_str());
            auto* world = HbCastTo<W3dWorld>(resource);
            if (world && world->ReadChunks(stream) && Loaded(world))
            {
                if (collision && collision != world)
                    Drop(collision);
                collision = world;
            }
            else
                Drop(resource);
        }
        stream->LeaveChunk();
    }
    mCollisionWorld = collision ? collision : mMainWorld;
    mCollisionWorld->AddRef();

    stream->LeaveChunk();
    close();
    return 1;
}

void W3dLevel::AttachLights(WScene* scene)
{
    W3dNode* root = scene ? static_cast<W3dNode*>(scene->GetRoot()) : nullptr;
    if (!root)
        return;
    if (mLightField)
    {
        if (mLightField->GetAmbientLight())
            root->AttachChild(mLightField->GetAmbientLight());
        if (mLightField->GetDirectionalLight())
            root->AttachChild(mLightField->GetDirectionalLight());
        return;
    }
    for (int32_t i = 0; i < mLights.GetCount(); ++i)
        if (auto* light = static_cast<W3dNode*>(mLights[i]))
            root->AttachChild(light);
}

void W3dLevel::DetachLights(WScene* scene)
{
    W3dNode* root = scene ? static_cast<W3dNode*>(scene->GetRoot()) : nullptr;
    if (!root)
        return;
    if (mLightField)
    {
        if (mLightField->GetAmbientLight())
            root->RemoveChild(mLightField->GetAmbientLight());
        if (mLightField->GetDirectionalLight())
            root->RemoveChild(mLightField->GetDirectionalLight());
        return;
    }
    for (int32_t i = 0; i < mLights.GetCount(); ++i)
        if (auto* light = static_cast<W3dNode*>(mLights[i]))
            root->RemoveChild(light);
}

void W3dLevel::Bind(WScene* scene)
{
    if (WRenderer* renderer = WRenderer::Instance())
        for (int32_t i = 0; i < mObjects.GetCount(); ++i)
            if (auto* object = static_cast<W3dNode*>(mObjects[i]))
                renderer->AddToRenderLists(object, WRenderer::kTransparentLayer);
    AttachLights(scene);
}

void W3dLevel::Unbind(WScene* scene)
{
    if (WRenderer* renderer = WRenderer::Instance())
        for (int32_t i = 0; i < mObjects.GetCount(); ++i)
            if (auto* object = static_cast<W3dNode*>(mObjects[i]))
                renderer->RemoveFromRenderLists(object);
    DetachLights(scene);
}

void W3dLevel::SetLightField(const char* name, WScene* scene)
{
    if (scene)
        DetachLights(scene);
    if (mLightField)
        mLightField->Release();
    mLightField = nullptr;
    HbResourceManager* manager = HbResourceManager::Instance();
    HbRoot* resource = manager && name ? manager->GetResource(name) : nullptr;
    if (auto* field = HbCastTo<WLightFieldManager>(resource))
    {
        field->AddRef();
        mLightField = field;
    }
    else
        Drop(resource);
    if (scene)
        AttachLights(scene);
}

void W3dLevel::SetSky(W3dSky* sky)
{
    if (sky == mSky)
        return;
    if (sky)
        sky->AddRef();
    if (mSky)
    {
        mSky->SetOwner(nullptr);
        mSky->Release();
    }
    mSky = sky;
    if (mSky)
        mSky->SetOwner(this);
}

int32_t W3dLevel::AddObject(W3dNode* object)
{
    if (!object || mObjects.Add(object) < 0)
        return 0;
    object->AddRef();
    return 1;
}

int32_t W3dLevel::AddLight(W3dNode* light)
{
    if (!light || mLights.Add(light) < 0)
        return 0;
    light->AddRef();
    return 1;
}
