// Light nodes and their four resource types.
#include "w3dlight.h"

#include "frame.h"
#include "hbresource.h"
#include "hbstream.h"
#include "light.h"
#include "w3dlevel.h"
#include "world.h"
#include "wscene.h"
#include "wvectorutil.h"

#include <cmath>
#include <cstring>

HB_DEFINE_CLASS_DESC(W3dLight, W3dNode);
HB_DEFINE_CLASS_DESC(W3dDirectionalLight, W3dLight);
HB_DEFINE_CLASS_DESC(W3dAmbientLight, W3dLight);
HB_DEFINE_CLASS_DESC(W3dPointLight, W3dLight);
HB_DEFINE_CLASS_DESC(W3dSpotLight, W3dLight);

/// The engine light and its frame, shared by a light resource and its copies: the last
/// node to go destroys them.
struct W3dLight::Shared : public HbAllocated
{
    Light* light = nullptr;
    Frame* frame = nullptr;
    int32_t users = 1;
};

namespace
{
struct LightKind
{
    const char* key;
    int32_t engineType;
    W3dLight* (*make)();
};

const LightKind kKinds[] = {
    {"W3DDIRECTIONALLIGHT", kLightDirectional, []() -> W3dLight* { return new W3dDirectionalLight(); }},
    {"W3DAMBIENTLIGHT", kLightAmbient, []() -> W3dLight* { return new W3dAmbientLight(); }},
    {"W3DPOINTLIGHT", kLightPoint, []() -> W3dLight* { return new W3dPointLight(); }},
    // The world layer takes 130 as its soft-edged spot.
    {"W3DSPOTLIGHT", kLightSoftSpot, []() -> W3dLight* { return new W3dSpotLight(); }},
};

constexpr float kPointLightRadius = 1000000.0f;

const LightKind* FindKind(const char* key)
{
    if (!key)
        return nullptr;
    for (const LightKind& kind : kKinds)
        if (std::strcmp(kind.key, key) == 0)
            return &kind;
    return nullptr;
}

[[maybe_unused]] const int sRegistered = []() -> int
{
    if (HbResourceManager* manager = HbResourceManager::Instance())
    {
        manager->RegisterType("W3DDIRECTIONALLIGHT",
                              []() -> HbRoot* { return W3dLight::CreateOfKey("W3DDIRECTIONALLIGHT"); });
        manager->RegisterType("W3DAMBIENTLIGHT", []() -> HbRoot* { return W3dLight::CreateOfKey("W3DAMBIENTLIGHT"); });
        manager->RegisterType("W3DPOINTLIGHT", []() -> HbRoot* { return W3dLight::CreateOfKey("W3DPOINTLIGHT"); });
        manager->RegisterType("W3DSPOTLIGHT", []() -> HbRoot* { return W3dLight::CreateOfKey("W3DSPOTLIGHT"); });
    }
    return 1;
}();

void ReleaseShared(W3dLight::Shared* shared)
{
    if (!shared || --shared->users > 0)
        return;
    if (shared->light)
    {
        if (World* world = Light::GetWorld(shared->light))
            World::RemoveLight(world, shared->light);
        Light::SetFrame(shared->light, nullptr);
    }
    if (shared->frame)
    {
        if (shared->frame->parent)
            Frame::RemoveChild(shared->frame);
        Frame::Destroy(shared->frame);
    }
    if (shared->light)
        Light::Destroy(shared->light);
    delete shared;
}
} // namespace

W3dLight::W3dLight(const char* key) : mKey(key) {}

W3dLight* W3dLight::CreateOfKey(const char* key)
{
    const LightKind* kind = FindKind(key);
    if (!kind)
        return nullptr;
    W3dLight* node = kind->make();
    if (!node)
        return nullptr;
    auto* shared = new Shared();
    Light* light = shared ? Light::Create(kind->engineType) : nullptr;
    Frame* frame = light ? Frame::Create() : nullptr;
    if (!frame)
    {
        // Without its light or frame the node would be unusable: refuse it whole.
        if (light)
            Light::Destroy(light);
        delete shared;
        delete node;
        return nullptr;
    }
    light->object.flags = kLightLightsAtomics;
    Light::SetFrame(light, frame);
    if (kind->engineType == kLightPoint)
        Light::SetRadius(light, kPointLightRadius);
    shared->light = light;
    shared->frame = frame;
    node->mShared = shared;
    return node;
}

W3dLight::~W3dLight()
{
    DetachAllChildren();
    ReleaseShared(mShared);
    mShared = nullptr;
}

Light* W3dLight::GetLight() const
{
    return mShared ? mShared->light : nullptr;
}

Frame* W3dLight::GetEngineFrame()
{
    return mShared ? mShared->frame : nullptr;
}

void W3dLight::ForAllFrames(FrameFunction fn, void* user)
{
    if (Frame* frame = GetEngineFrame())
        fn(this, frame, user);
}

void W3dLight::SetColor(const float* color)
{
    std::memcpy(mColor, color, sizeof(mColor));
    if (Light* light = GetLight())
    {
        const LightColour colour = {color[0], color[1], color[2], color[3]};
        Light::SetColor(light, &colour);
    }
}

int W3dLight::ReadChunks(HbMChunkStream* stream)
{
    float color[4];
    Matrix matrix;
    if (!HbReadVector4(stream, color) || !HbReadMatrix(stream, matrix))
        return 0;
    SetColor(color);
    Frame* frame = GetEngineFrame();
    if (!frame)
        return 1;
    frame->modelling = matrix;
    Vector& at = frame->modelling.at;
    float length = std::sqrt(at.x * at.x + at.y * at.y + at.z * at.z);
    if (length > 0.0f)
        at = {at.x / length, at.y / length, at.z / length};
    frame->modelling.flags = 0;
    Frame::UpdateObjects(frame);
    const Vector direction = at;
    FrameLookAlong(frame, &direction);
    return 1;
}

int W3dLight::CloneInto(HbRoot** target)
{
    auto* copy = target ? HbCastTo<W3dLight>(*target) : nullptr;
    if (!copy || !mShared || copy->mShared == mShared)
        return copy ? 1 : 0;
    // The copy gives up the light made for it and shares this one.
    ReleaseShared(copy->mShared);
    copy->mShared = mShared;
    ++mShared->users;
    std::memcpy(copy->mColor, mColor, sizeof(mColor));
    return 1;
}

int W3dLight::Load(HbStream*, const char*)
{
    return 1;
}

std::string W3dLight::GetTypeKey() const
{
    return mKey;
}

void W3dLight::OnAddToWorld()
{
    WScene* scene = GetScene();
    W3dLevel* level = scene ? scene->GetLevel() : nullptr;
    World* world = level ? level->GetMainWorld() : nullptr;
    Light* light = GetLight();
    if (world && light && Light::GetWorld(light) != world)
        World::AddLight(world, light);
}

void W3dLight::OnRemoveFromWorld()
{
    Light* light = GetLight();
    if (World* world = light ? Light::GetWorld(light) : nullptr)
        World::RemoveLight(world, light);
}
