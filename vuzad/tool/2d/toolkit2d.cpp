// The 2D drawing toolkit's open, close and camera binding.
#include "toolkit2d.h"

#include "camera.h"

namespace
{
bool sOpen = false;
Camera* sCamera = nullptr;
} // namespace

int32_t Toolkit2d::Open(Camera* camera)
{
    sOpen = true;
    return Device2d::SetCamera(camera);
}

int32_t Toolkit2d::Close()
{
    sCamera = nullptr;
    sOpen = false;
    return 0;
}

bool Toolkit2d::IsOpen()
{
    return sOpen;
}

int32_t Device2d::SetCamera(Camera* camera)
{
    sCamera = camera && camera->frameBuffer ? camera : nullptr;
    return sCamera ? 1 : 0;
}

Camera* Device2d::GetCamera()
{
    return sCamera;
}
