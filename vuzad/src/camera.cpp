// Cameras: creation and settings, the z mapping, the view matrix, frustum corners, planes
// and box rebuilt from the frame, the sphere test, and the update calls to the device.
#include "camera.h"

#include "device.h"
#include "engine.h"
#include "error.h"
#include "frame.h"
#include "freelist.h"
#include "mathsqrt.h"

#include <cmath>

namespace
{

struct CameraModuleBlock
{
    FreeList* cameras;
};

constexpr int32_t kCamerasPerBlock = 4;
constexpr uint32_t kCameraChunkType = 0x05;
constexpr uint32_t kModuleHint = kMemoryHintEngine | kCameraChunkType;
constexpr uint32_t kObjectHint = kMemoryHintObject | kCameraChunkType;

PluginRegistry sRegistry = PluginRegistry::Initial(int32_t(sizeof(Camera)));
FreeList sCameraList;
CameraModuleBlock* sBlock = nullptr;

int32_t CallDevice(int32_t slot, void* out, void* in, int32_t number)
{
    Engine* engine = Engine::Current();
    StandardFunction function = engine ? engine->standardFunctions[slot] : nullptr;
    return function ? function(out, in, number) : 0;
}

// ---- Vector arithmetic of the frustum --------------------------------------------------

Vector Add(const Vector& a, const Vector& b)
{
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
Vector Sub(const Vector& a, const Vector& b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Vector Scale(const Vector& a, float s)
{
    return {a.x * s, a.y * s, a.z * s};
}
Vector Negate(const Vector& a)
{
    return {-a.x, -a.y, -a.z};
}
float Dot(const Vector& a, const Vector& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
Vector Cross(const Vector& a, const Vector& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// ---- Derived data ------------------------------------------------------------------------

// Maps 1 / near (perspective) or near (parallel) to just inside the device's near z and
// the far counterpart to just inside its far z.
void UpdateZScaleAndShift(Camera* camera)
{
    const DeviceRecord& device = Engine::Current()->device;
    float zn = device.zBufferNear, zf = device.zBufferFar;
    float margin = (zf - zn) * 0.0001f;
    float a = zn + margin, b = zf - margin;
    float d, c;
    if (camera->projection == kCameraPerspective)
    {
        d = 1.0f / camera->nearPlane;
        c = 1.0f / camera->farPlane;
    }
    else
    {
        d = camera->nearPlane;
        c = camera->farPlane;
    }
    camera->zScale = (b - a) / (c - d);
    camera->zShift = (a + b - camera->zScale * (d + c)) / 2.0f;
}

void MarkFrame(Camera* camera)
{
    if (camera->object.frame)
        Frame::UpdateObjects(camera->object.frame);
}

void BuildViewMatrix(Camera* camera, const Matrix& world)
{
    const Vector &R = world.right, &U = world.up, &A = world.at, &P = world.pos;
    float e = -0.5f * camera->recipViewWindow.x;
    float u = -0.5f * camera->recipViewWindow.y;
    float f, v;
    if (camera->projection == kCameraPerspective)
    {
        f = 0.5f - e * camera->viewOffset.x;
        v = 0.5f + u * camera->viewOffset.y;
    }
    else
    {
        f = -e * camera->viewOffset.x;
        v = u * camera->viewOffset.y;
    }
    Vector c0 = Add(Scale(R, e), Scale(A, f));
    Vector c1 = Add(Scale(U, u), Scale(A, v));
    const Vector& c2 = A;
    Matrix& view = camera->viewMatrix;
    view.right = {c0.x, c1.x, c2.x};
    view.up = {c0.y, c1.y, c2.y};
    view.at = {c0.z, c1.z, c2.z};
    view.pos = {0.5f - f - Dot(c0, P), 0.5f - v - Dot(c1, P), -Dot(A, P)};
    view.flags = 0;
    Matrix::Optimize(&view, nullptr);
}

constexpr float kCornerSigns[4][2] = {{1, 1}, {-1, 1}, {-1, -1}, {1, -1}};

void BuildCorners(Camera* camera, const Matrix& world)
{
    Vector* corners = camera->frustumCorners;
    float w = camera->viewWindow.x, h = camera->viewWindow.y;
    float ox = camera->viewOffset.x, oy = camera->viewOffset.y;
    float nearZ = camera->nearPlane, farZ = camera->farPlane;
    if (camera->projection == kCameraPerspective)
    {
        const Vector &R = world.right, &U = world.up, &A = world.at, &P = world.pos;
        Vector O = Sub(Scale(U, oy), Scale(R, ox));
        Vector origin = Add(P, O);
        for (int k = 0; k < 4; ++k)
        {
            Vector D = Add(A, Add(Scale(R, kCornerSigns[k][0] * w), Scale(U, kCornerSigns[k][1] * h)));
            Vector toCorner = Sub(D, O);
            corners[k] = Add(origin, Scale(toCorner, nearZ));
            corners[k + 4] = Add(origin, Scale(toCorner, farZ));
        }
        return;
    }
    for (int k = 0; k < 4; ++k)
    {
        float sx = kCornerSigns[k][0], sy = kCornerSigns[k][1];
        corners[k] = {sx * w - ox * (1 - nearZ), sy * h + oy * (1 - nearZ), nearZ};
        corners[k + 4] = {sx * w - ox * (1 - farZ), sy * h + oy * (1 - farZ), farZ};
    }
    Vector::TransformPoints(corners, corners, 8, &world);
}

void SetPlane(FrustumPlane* plane, const Vector& normal, const Vector& point)
{
    plane->normal = normal;
    plane->distance = Dot(normal, point);
    plane->positiveX = std::signbit(normal.x) ? 0 : 1;
    plane->positiveY = std::signbit(normal.y) ? 0 : 1;
    plane->positiveZ = std::signbit(normal.z) ? 0 : 1;
}

Vector Unit(const Vector& v)
{
    return Scale(v, Math::InvSqrt(Dot(v, v)));
}

// Every normal is normalised: the frame may be scaled, and the sphere test compares
// plane distances with radii.
void BuildPlanes(Camera* camera, const Matrix& world)
{
    const Vector* c = camera->frustumCorners;
    const Vector *n0 = &c[0], *n1 = &c[1], *n3 = &c[3];
    const Vector *f0 = &c[4], *f1 = &c[5], *f2 = &c[6], *f3 = &c[7];
    FrustumPlane* planes = camera->frustumPlanes;
    Vector at = Unit(world.at);
    SetPlane(&planes[0], at, *f0);
    SetPlane(&planes[1], Negate(at), *n0);
    Vector side2 = Unit(Cross(Sub(*n1, *f1), Sub(*f2, *f1)));
    Vector side3 = Unit(Cross(Sub(*f0, *f1), Sub(*n1, *f1)));
    SetPlane(&planes[2], side2, *n1);
    SetPlane(&planes[3], side3, *n1);
    if (camera->projection == kCameraPerspective)
    {
        SetPlane(&planes[4], Unit(Cross(Sub(*n3, *f3), Sub(*f0, *f3))), *n3);
        SetPlane(&planes[5], Unit(Cross(Sub(*f2, *f3), Sub(*n3, *f3))), *n3);
    }
    else
    {
        SetPlane(&planes[4], Negate(side2), *n3);
        SetPlane(&planes[5], Negate(side3), *n3);
    }
}

} // namespace

// ---- Objects ------------------------------------------------------------------------------------

Camera* Camera::Create()
{
    if (!sBlock)
        return nullptr;
    Engine* engine = Engine::Current();
    auto* camera = static_cast<Camera*>(engine->freeListFunctions.take(sBlock->cameras, kObjectHint));
    if (!camera)
        return nullptr;
    *camera = Camera{};
    FrameObject::Init(&camera->object, kObjectType, SyncFrame);
    camera->projection = kCameraPerspective;
    camera->beginUpdate = DefaultBeginUpdate;
    camera->endUpdate = DefaultEndUpdate;
    camera->viewWindow = {1.0f, 1.0f};
    camera->recipViewWindow = {1.0f, 1.0f};
    camera->viewOffset = {0.0f, 0.0f};
    camera->nearPlane = 0.05f;
    camera->farPlane = 10.0f;
    camera->fogPlane = 5.0f;
    UpdateZScaleAndShift(camera);
    if (!PluginRegistry::InitObject(&sRegistry, camera))
    {
        engine->freeListFunctions.giveBack(sBlock->cameras, camera);
        return nullptr;
    }
    return camera;
}

int32_t Camera::Destroy(Camera* camera)
{
    PluginRegistry::DeinitObject(&sRegistry, camera);
    if (camera->object.frame)
        FrameObject::RemoveFromFrame(&camera->object);
    Engine::Current()->freeListFunctions.giveBack(sBlock->cameras, camera);
    return 1;
}

// ---- Rendering ---------------------------------------------------------------------------------------

Camera* Camera::BeginUpdate(Camera* camera)
{
    return camera->beginUpdate(camera);
}

Camera* Camera::EndUpdate(Camera* camera)
{
    return camera->endUpdate(camera);
}

Camera* Camera::DefaultBeginUpdate(Camera* camera)
{
    Engine::Current()->currentCamera = camera;
    Frame::SyncDirtyList();
    return CallDevice(kStdCameraBeginUpdate, nullptr, camera, 0) ? camera : nullptr;
}

Camera* Camera::DefaultEndUpdate(Camera* camera)
{
    if (!CallDevice(kStdCameraEndUpdate, nullptr, camera, 0))
        return nullptr;
    Engine::Current()->currentCamera = nullptr;
    return camera;
}

Camera* Camera::Clear(Camera* camera, const Rgba* colour, uint32_t mode)
{
    Rgba copy = *colour;
    return CallDevice(kStdCameraClear, camera, &copy, int32_t(mode)) ? camera : nullptr;
}

Camera* Camera::ShowRaster(Camera* camera, void* deviceWindow, uint32_t flags)
{
    if (!camera->frameBuffer)
        return nullptr;
    return Raster::Show(camera->frameBuffer, deviceWindow, flags) ? camera : nullptr;
}

// ---- Settings ------------------------------------------------------------------------------------------

Camera* Camera::SetProjection(Camera* camera, int32_t projection)
{
    if (projection != kCameraPerspective && projection != kCameraParallel)
    {
        Error::Report(kCorePluginId, Error::MakeCode(kErrBadArgument, "Invalid projection type specified"));
        return nullptr;
    }
    camera->projection = projection;
    UpdateZScaleAndShift(camera);
    MarkFrame(camera);
    return camera;
}

Camera* Camera::SetViewWindow(Camera* camera, const Vector2* window)
{
    camera->viewWindow = *window;
    camera->recipViewWindow = {1.0f / window->x, 1.0f / window->y};
    MarkFrame(camera);
    return camera;
}

Camera* Camera::SetViewOffset(Camera* camera, const Vector2* offset)
{
    camera->viewOffset = *offset;
    MarkFrame(camera);
    return camera;
}

Camera* Camera::SetNearClipPlane(Camera* camera, float distance)
{
    camera->nearPlane = distance;
    UpdateZScaleAndShift(camera);
    MarkFrame(camera);
    return camera;
}

Camera* Camera::SetFarClipPlane(Camera* camera, float distance)
{
    camera->farPlane = distance;
    UpdateZScaleAndShift(camera);
    MarkFrame(camera);
    return camera;
}

// ---- Culling -----------------------------------------------------------------------------------------------

int32_t Camera::FrustumTestSphere(const Camera* camera, const Sphere* sphere)
{
    int32_t result = kFrustumInside;
    for (const FrustumPlane& plane : camera->frustumPlanes)
    {
        float s = Dot(plane.normal, sphere->centre) - plane.distance;
        if (s > sphere->radius)
            return kFrustumOutside;
        if (s > -sphere->radius)
            result = kFrustumBoundary;
    }
    return result;
}

int32_t Camera::SphereWhollyInside(const Camera* camera, const Sphere* sphere)
{
    for (const FrustumPlane& plane : camera->frustumPlanes)
        if (Dot(plane.normal, sphere->centre) - plane.distance > -sphere->radius)
            return 0;
    return 1;
}

int32_t Camera::BoxWhollyInside(const Camera* camera, const BBox* box)
{
    for (const FrustumPlane& plane : camera->frustumPlanes)
    {
        // The corner farthest along the plane's normal.
        Vector corner = {plane.positiveX ? box->sup.x : box->inf.x, plane.positiveY ? box->sup.y : box->inf.y,
                         plane.positiveZ ? box->sup.z : box->inf.z};
        if (Dot(plane.normal, corner) > plane.distance)
            return 0;
    }
    return 1;
}

FrameObject* Camera::SyncFrame(FrameObject* object)
{
    auto* camera = reinterpret_cast<Camera*>(object);
    const Matrix& world = object->frame->world;
    BuildViewMatrix(camera, world);
    BuildCorners(camera, world);
    BuildPlanes(camera, world);
    BBox::Calculate(&camera->frustumBox, camera->frustumCorners, 8);
    return object;
}

// ---- Plug-ins ------------------------------------------------------------------------------------------------

int32_t Camera::RegisterPlugin(int32_t size, int32_t pluginId, PluginConstructor constructor,
                               PluginDestructor destructor, PluginCopy copy)
{
    return PluginRegistry::Register(&sRegistry, size, pluginId, constructor, destructor, copy);
}

int32_t Camera::GetPluginOffset(int32_t pluginId)
{
    return PluginRegistry::GetPluginOffset(&sRegistry, pluginId);
}

PluginRegistry* Camera::Registry()
{
    return &sRegistry;
}

// ---- The camera module ----------------------------------------------------------------------------------------

const int32_t Camera::kModuleBlockSize = sizeof(CameraModuleBlock);

void* Camera::OpenModule(void* engine, int32_t offset, int32_t)
{
    auto* block = static_cast<CameraModuleBlock*>(Engine::Block(static_cast<Engine*>(engine), offset));
    block->cameras = FreeList::CreateInStorage(sRegistry.size, kCamerasPerBlock, 0, 1, &sCameraList, kModuleHint);
    if (!block->cameras)
        return nullptr;
    sBlock = block;
    return engine;
}

void* Camera::CloseModule(void* engine, int32_t offset, int32_t)
{
    auto* block = static_cast<CameraModuleBlock*>(Engine::Block(static_cast<Engine*>(engine), offset));
    FreeList::Destroy(block->cameras);
    block->cameras = nullptr;
    sBlock = nullptr;
    return engine;
}
