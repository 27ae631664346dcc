// The camera chunk: view window and offset, clip and fog distances and projection, then
// the camera plug-ins' data. Only read: cameras are made by the application otherwise.
#include "camera.h"

#include "error.h"
#include "stream.h"
#include "streamstruct_local.h"

#include <cstring>

namespace
{

struct CameraBody
{
    float viewWindow[2];
    float viewOffset[2];
    float nearPlane;
    float farPlane;
    float fogPlane;
    int32_t projection;
};
static_assert(sizeof(CameraBody) == 32, "eight 32-bit words");

} // namespace

Camera* Camera::StreamRead(Stream* stream)
{
    CameraBody body = {};
    if (!streamstruct::ReadBody(stream, &body, sizeof body))
        return nullptr;
    Camera* camera = Create();
    if (!camera)
        return nullptr;
    if (!PluginRegistry::ReadExtensionChunk(Registry(), stream, camera))
    {
        Destroy(camera);
        return nullptr;
    }
    Vector2 window = {body.viewWindow[0], body.viewWindow[1]};
    Vector2 offset = {body.viewOffset[0], body.viewOffset[1]};
    SetViewWindow(camera, &window);
    SetViewOffset(camera, &offset);
    SetNearClipPlane(camera, body.nearPlane);
    SetFarClipPlane(camera, body.farPlane);
    camera->fogPlane = body.fogPlane;
    SetProjection(camera, body.projection);
    return camera;
}

int32_t Camera::RegisterPluginStream(int32_t pluginId, PluginStreamRead read, PluginStreamWrite write,
                                     PluginStreamSize size)
{
    return PluginRegistry::SetStreamCallbacks(Registry(), pluginId, read, write, size);
}
