// The ordered 2D surfaces of a camera.
#include "w2dsurfacelist.h"

#include "w2dsurface.h"
#include "wrenderer_local.h"

#include "camera.h"
#include "toolkit2d.h"

void W2dSurfaceList::Insert(W2dSurface* surface)
{
    if (!surface || !surface->OnInsert(this))
        return;
    Texture* texture = surface->GetTexture();
    HbPtrListNode* before = mSurfaces.GetHead();
    for (; before; before = before->next)
    {
        auto* other = static_cast<W2dSurface*>(before->value);
        if (other->GetLayer() > surface->GetLayer() ||
            (other->GetLayer() == surface->GetLayer() && other->GetTexture() == texture))
            break;
    }
    HbPtrListNode* node = nullptr;
    if (!before)
        node = mSurfaces.AddTail(surface);
    else if (before == mSurfaces.GetHead())
        node = mSurfaces.AddHead(surface);
    else
    {
        node = mSurfaces.NewNode(before->prev, before);
        if (node)
        {
            node->value = surface;
            before->prev->next = node;
            before->prev = node;
        }
    }
    if (!node)
    {
        // No node: the surface stays out of the list.
        surface->OnRemove(this);
        return;
    }
    surface->AddRef();
}

void W2dSurfaceList::Remove(W2dSurface* surface)
{
    if (!surface)
        return;
    // Only the list that holds the surface may clear its inserted state.
    for (HbPtrListNode* node = mSurfaces.GetHead(); node; node = node->next)
        if (node->value == surface)
        {
            if (!surface->OnRemove(this))
                return;
            mSurfaces.RemoveAt(node);
            surface->Release();
            return;
        }
}

void W2dSurfaceList::RemoveAll()
{
    for (HbPtrListNode* node = mSurfaces.GetHead(); node;)
    {
        HbPtrListNode* next = node->next;
        auto* surface = static_cast<W2dSurface*>(node->value);
        mSurfaces.RemoveAt(node);
        if (surface->OnRemove(this))
            surface->Release();
        node = next;
    }
    mSurfaces.RemoveAll();
}

W2dSurface* W2dSurfaceList::GetAt(int32_t index) const
{
    HbPtrListNode* node = mSurfaces.GetHead();
    for (; node && index > 0; --index)
        node = node->next;
    return node && index == 0 ? static_cast<W2dSurface*>(node->value) : nullptr;
}

void W2dSurfaceList::Render()
{
    if (!mCamera || mSurfaces.IsEmpty())
        return;
    intptr_t vertexAlpha = WGetRenderState(kRenderStateVertexAlpha);
    intptr_t zWrite = WGetRenderState(kRenderStateZWrite);
    intptr_t zTest = WGetRenderState(kRenderStateZTest);
    WSetRenderState(kRenderStateZWrite, 0);
    WSetRenderState(kRenderStateZTest, 0);
    WSetRenderState(kRenderStateTextureFilter, 2);
    WSetRenderState(kRenderStateVertexAlpha, 1);
    Device2d::SetCamera(mCamera);
    Device2d::SetLayerDepth(0.5f * (mCamera->nearPlane + mCamera->farPlane));
    Transform2d::Push();
    Transform2d::SetIdentity();
    if (mCamera->viewWindow.y != 0.0f)
        Transform2d::Scale(mCamera->viewWindow.x / mCamera->viewWindow.y, 1.0f);
    for (HbPtrListNode* node = mSurfaces.GetHead(); node; node = node->next)
    {
        auto* surface = static_cast<W2dSurface*>(node->value);
        if (surface->IsVisible() && surface->PrepareBrush())
            surface->Render();
    }
    WSetRenderState(kRenderStateVertexAlpha, vertexAlpha);
    WSetRenderState(kRenderStateZWrite, zWrite);
    WSetRenderState(kRenderStateZTest, zTest);
    Transform2d::Pop();
}
