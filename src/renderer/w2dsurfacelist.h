// W2dSurfaceList: the 2D surfaces drawn over a camera's image, lowest layer first.
#pragma once

#include "hbptrlist.h"

#include <cstdint>

class W2dSurface;
struct Camera;

class W2dSurfaceList : public HbAllocated
{
public:
    explicit W2dSurfaceList(Camera* camera) : mCamera(camera) {}
    ~W2dSurfaceList() { RemoveAll(); }
    W2dSurfaceList(const W2dSurfaceList&) = delete;
    W2dSurfaceList& operator=(const W2dSurfaceList&) = delete;

    /// Takes a reference on a surface that accepts the list. It goes before the first
    /// surface of a higher layer, or of its layer with the same texture, so layers ascend
    /// and a layer's surfaces sharing a texture stay together.
    void Insert(W2dSurface* surface);
    /// Gives the list's reference back when the surface was in a list.
    void Remove(W2dSurface* surface);
    /// Inside an update of the list's camera: draws the visible surfaces in order.
    void Render();
    /// Every surface leaves the list.
    void RemoveAll();
    Camera* GetCamera() const { return mCamera; }
    int32_t GetCount() const { return mSurfaces.GetCount(); }
    /// The surface at a position in drawing order, or null.
    W2dSurface* GetAt(int32_t index) const;

private:
    Camera* mCamera;
    HbPtrList mSurfaces{10};
};
