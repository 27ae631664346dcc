// W2dSurfaceList: the ordered 2D surfaces drawn over a camera's image. The surfaces
// themselves come with the 2D surfaces.
#pragma once

#include "hbptrlist.h"

#include <cstdint>

struct Camera;

class W2dSurfaceList : public HbAllocated
{
public:
    explicit W2dSurfaceList(Camera* camera) : mCamera(camera) {}
    ~W2dSurfaceList() { RemoveAll(); }
    W2dSurfaceList(const W2dSurfaceList&) = delete;
    W2dSurfaceList& operator=(const W2dSurfaceList&) = delete;

    /// Inside an update of the list's camera: draws the surfaces in order.
    void Render();
    /// Every surface leaves the list.
    void RemoveAll();
    Camera* GetCamera() const { return mCamera; }
    int32_t GetCount() const { return mSurfaces.GetCount(); }

private:
    Camera* mCamera;
    HbPtrList mSurfaces{10};
};
