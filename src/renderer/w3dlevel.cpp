// Levels as the scene sees them.
#include "w3dlevel.h"

#include "w3dframe.h"
#include "w3dsky.h"
#include "wrenderer.h"
#include "wscene.h"

HB_DEFINE_CLASS_DESC(W3dLevel, HbRoot);

namespace
{
void ReleaseAll(HbPtrArray& objects)
{
    for (int32_t i = 0; i < objects.GetCount(); ++i)
        if (auto* object = static_cast<HbRoot*>(objects[i]))
            object->Release();
    objects.RemoveAll();
}
} // namespace

W3dLevel* W3dLevel::Create()
{
    return new W3dLevel();
}

W3dLevel::~W3dLevel()
{
    SetSky(nullptr);
    ReleaseAll(mObjects);
    ReleaseAll(mLights);
}

void W3dLevel::Bind(WScene* scene)
{
    if (WRenderer* renderer = WRenderer::Instance())
        for (int32_t i = 0; i < mObjects.GetCount(); ++i)
            if (auto* object = static_cast<W3dNode*>(mObjects[i]))
                renderer->AddToRenderLists(object, WRenderer::kTransparentLayer);
    if (!scene || !scene->GetRoot())
        return;
    for (int32_t i = 0; i < mLights.GetCount(); ++i)
        if (auto* light = static_cast<W3dNode*>(mLights[i]))
            scene->GetRoot()->AttachChild(light);
}

void W3dLevel::Unbind(WScene* scene)
{
    if (WRenderer* renderer = WRenderer::Instance())
        for (int32_t i = 0; i < mObjects.GetCount(); ++i)
            if (auto* object = static_cast<W3dNode*>(mObjects[i]))
                renderer->RemoveFromRenderLists(object);
    if (!scene || !scene->GetRoot())
        return;
    for (int32_t i = 0; i < mLights.GetCount(); ++i)
        if (auto* light = static_cast<W3dNode*>(mLights[i]))
            scene->GetRoot()->RemoveChild(light);
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
