// The effect manager's entry points for the renderer.
#include "kfxmanager.h"

namespace
{
KfxManagerBackend* gBackend = nullptr;
Camera* gCamera = nullptr;
} // namespace

void KfxManager::SetCamera(Camera* camera)
{
    if (camera == gCamera)
        return;
    gCamera = camera;
    if (gBackend)
        gBackend->SetCamera(camera);
}

void KfxManager::UpdateAll()
{
    if (gBackend)
        gBackend->UpdateAll();
}

void KfxManager::RenderGroup(int32_t group)
{
    if (gBackend)
        gBackend->RenderGroup(group);
}

Camera* KfxManager::GetCamera()
{
    return gCamera;
}

void KfxManager::Install(KfxManagerBackend* backend)
{
    gBackend = backend;
    if (gBackend)
        gBackend->SetCamera(gCamera);
}

KfxManagerBackend* KfxManager::GetBackend()
{
    return gBackend;
}

int32_t KfxManager::PlayOneShot(int32_t index, const FxContext* context)
{
    return gBackend ? gBackend->PlayOneShot(index, context) : 0;
}

int32_t KfxManager::BindDefinition(KFX* effect, int32_t index, const FxContext* context)
{
    return gBackend ? gBackend->BindDefinition(effect, index, context) : 0;
}

void KfxManager::Prealloc()
{
    if (gBackend)
        gBackend->Prealloc();
}

void KfxManager::ForEachEmitterReset()
{
    if (gBackend)
        gBackend->ForEachEmitterReset();
}

void KfxManager::ResetRenderLists()
{
    if (gBackend)
        gBackend->ResetRenderLists();
}

void KfxManager::Shutdown()
{
    if (gBackend)
        gBackend->Shutdown();
}
