// The shadows: records, the shadow camera, silhouettes, their projection and the blobs.
#include "wshadows.h"

#include "w3dcollision.h"
#include "w3dlevel.h"
#include "wrenderer.h"
#include "wrenderer_local.h"
#include "wscene.h"
#include "wtexturemanager.h"
#include "wvectorutil.h"

#include "camera.h"
#include "clump.h"
#include "collision.h"
#include "frame.h"
#include "geometry.h"
#include "hbexitlist.h"
#include "hbgrowarray.h"
#include "hbmemory.h"
#include "matrix.h"
#include "raster.h"
#include "texture.h"
#include "world.h"

#include <cmath>

namespace
{
// Blend factors of the device.
constexpr intptr_t kBlendZero = 1;
constexpr intptr_t kBlendSrcColour = 3;
constexpr intptr_t kBlendInvSrcColour = 4;
constexpr intptr_t kBlendSrcAlpha = 5;
constexpr intptr_t kBlendInvSrcAlpha = 6;
constexpr intptr_t kBlendInvDestColour = 10;
constexpr intptr_t kAddressClamp = 3;
constexpr uint32_t kSilhouetteFlags = 0x20 | 0x40;

struct ShadowRecord : HbAllocated
{
    Vector centre = {};
    Vector framePosition = {};
    int32_t id = -1;
    WShadowDesc desc = {};
    Raster* renderRaster = nullptr;
    Raster* projectedRaster = nullptr;
    Camera* camera = nullptr;
    int32_t cameraAssigned = 0;
    Texture* texture = nullptr;
    int32_t valid = 0;
    int32_t visible = 0;
};

HbPtrArray* gRecords = nullptr;
int32_t gNextId = 0;
Texture* gShadowTexture = nullptr;
Camera* gShadowCamera = nullptr;
World* gCameraWorld = nullptr;
World* gReceivingWorld = nullptr;
WShadows::Projection* gProjection = nullptr;

void DestroyRecord(ShadowRecord* record)
{
    if (record->renderRaster)
        Raster::Destroy(record->renderRaster);
    if (record->texture)
    {
        record->texture->raster = nullptr;
        Texture::Destroy(record->texture);
    }
    delete record;
}

void FreeRecords()
{
    if (gRecords)
    {
        for (int32_t i = 0; i < gRecords->GetCount(); ++i)
            DestroyRecord(static_cast<ShadowRecord*>((*gRecords)[i]));
        delete gRecords;
        gRecords = nullptr;
    }
    delete gProjection;
    gProjection = nullptr;
}

HbPtrArray* Records()
{
    if (!gRecords)
    {
        gRecords = new HbPtrArray();
        if (gRecords)
            HbExitList::Add(FreeRecords);
    }
    return gRecords;
}

int32_t Find(int32_t id)
{
    if (id == -1 || !gRecords)
        return -1;
    for (int32_t i = 0; i < gRecords->GetCount(); ++i)
        if (static_cast<ShadowRecord*>((*gRecords)[i])->id == id)
            return i;
    return -1;
}

ShadowRecord* RecordAt(int32_t index)
{
    return static_cast<ShadowRecord*>((*gRecords)[index]);
}

float Dot(const Vector& a, const Vector& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

Vector Sub(const Vector& a, const Vector& b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

Vector LightDirection()
{
    Vector l = {0.1f, -0.9f, 0.1f};
    float length = std::sqrt(Dot(l, l));
    return {l.x / length, l.y / length, l.z / length};
}

uint32_t ClampedByte(float value)
{
    if (!(value > 0.0f))
        return 0;
    return value >= 255.0f ? 255u : uint32_t(value);
}

void RefreshPositions(ShadowRecord* record)
{
    Clump* clump = record->desc.clump;
    Frame* frame = clump ? clump->frame : nullptr;
    if (!frame)
        return;
    record->framePosition = Frame::GetWorldMatrix(frame)->pos;
    record->centre = {record->framePosition.x + record->desc.offset.x, record->framePosition.y + record->desc.offset.y,
                      record->framePosition.z + record->desc.offset.z};
}

Atomic* SetAtomicFlags(Atomic* atomic, void* data)
{
    if (Geometry* geometry = atomic->geometry)
    {
        if (data)
            geometry->flags |= kSilhouetteFlags;
        else
            geometry->flags &= ~kSilhouetteFlags;
    }
    return atomic;
}

// Places the shadow camera on the light's line through the shadow's centre, framing 2r.
void PrepareProjection(ShadowRecord* record, Camera* camera)
{
    record->valid = 0;
    Frame* frame = camera->object.frame;
    if (!frame)
        return;
    Vector light = LightDirection();
    FrameLookAlong(frame, &light);
    float r = record->desc.radius * 1.1f;
    Camera::SetFarClipPlane(camera, 2.0f * r);
    Camera::SetNearClipPlane(camera, 0.001f * r);
    const Vector2 window = {r, r};
    Camera::SetViewWindow(camera, &window);
    const Matrix* matrix = Frame::GetWorldMatrix(frame);
    Vector move = {record->centre.x - matrix->pos.x - r * matrix->at.x,
                   record->centre.y - matrix->pos.y - r * matrix->at.y,
                   record->centre.z - matrix->pos.z - r * matrix->at.z};
    Frame::Translate(frame, &move, kCombinePostConcat);
    record->valid = 1;
}

// The clump's silhouette into the record's raster: white where the model is, black elsewhere.
void DrawSilhouette(ShadowRecord* record, Camera* camera)
{
    Clump* clump = record->desc.clump;
    if (!clump || !record->renderRaster)
        return;
    camera->frameBuffer = record->renderRaster;
    Clump::ForAllAtomics(clump, SetAtomicFlags, nullptr);
    const Rgba clear = {255, 255, 255, 0};
    Camera::Clear(camera, &clear, kCameraClearImage | kCameraClearZ);
    if (Camera::BeginUpdate(camera))
    {
        WSetRenderState(kRenderStateZWrite, 0);
        WSetRenderState(kRenderStateZTest, 0);
        // Unlit, the model draws black over the white clear.
        Clump::Render(clump);
        WSetRenderState(kRenderStateZWrite, 1);
        WSetRenderState(kRenderStateZTest, 1);
        // Inverted by a white quad over the whole raster: destination = 1 - destination.
        WSetRenderState(kRenderStateTextureRaster, 0);
        WSetRenderState(kRenderStateVertexAlpha, 1);
        WSetRenderState(kRenderStateZTest, 0);
        WSetRenderState(kRenderStateZWrite, 0);
        WSetRenderState(kRenderStateSourceBlend, kBlendInvDestColour);
        WSetRenderState(kRenderStateDestBlend, kBlendZero);
        const Matrix* view = Frame::GetWorldMatrix(camera->object.frame);
        float r = camera->viewWindow.x;
        float d = 0.5f * (camera->nearPlane + camera->farPlane);
        Im3dVertex quad[4] = {};
        const float corners[4][2] = {{-1, -1}, {-1, 1}, {1, -1}, {1, 1}};
        for (int32_t i = 0; i < 4; ++i)
        {
            float sx = corners[i][0] * r * 2.0f, sy = corners[i][1] * r * 2.0f;
            quad[i].x = view->pos.x + view->right.x * sx + view->up.x * sy + view->at.x * d;
            quad[i].y = view->pos.y + view->right.y * sx + view->up.y * sy + view->at.y * d;
            quad[i].z = view->pos.z + view->right.z * sx + view->up.z * sy + view->at.z * d;
            quad[i].colour = 0xFFFFFFFFu;
        }
        if (Im3d::Transform(quad, 4, nullptr, 0))
        {
            Im3d::RenderPrimitive(kIm3dTriStrip);
            Im3d::End();
        }
        WSetRenderState(kRenderStateZTest, 1);
        WSetRenderState(kRenderStateZWrite, 1);
        WSetRenderState(kRenderStateSourceBlend, kBlendSrcAlpha);
        WSetRenderState(kRenderStateDestBlend, kBlendInvSrcAlpha);
        Camera::EndUpdate(camera);
    }
    Clump::ForAllAtomics(clump, SetAtomicFlags, &record);
    record->projectedRaster = record->renderRaster;
    camera->frameBuffer = nullptr;
}

CollisionTriangle* CollectTriangle(IntersectionPrimitive*, WorldSector* sector, CollisionTriangle* triangle, float,
                                   void* data)
{
    auto* projection = static_cast<WShadows::Projection*>(data);
    const Vector corners[3] = {*triangle->vertices[0], *triangle->vertices[1], *triangle->vertices[2]};
    Rgba colour = CollisionTriangleGetMaterialColor(sector, triangle->index);
    projection->Collect(corners, &triangle->normal, colour.green);
    return triangle;
}

void ProjectRecord(ShadowRecord* record, Camera* camera)
{
    if (!gReceivingWorld || !gProjection || !record->projectedRaster)
        return;
    float strength = record->desc.strength;
    WSetRenderState(kRenderStateZWrite, 0);
    WSetRenderState(kRenderStateTextureRaster, reinterpret_cast<intptr_t>(record->projectedRaster));
    WSetRenderState(kRenderStateTextureAddress, kAddressClamp);
    WSetRenderState(kRenderStateVertexAlpha, 1);
    WSetRenderState(kRenderStateTextureFilter, 2);
    WSetRenderState(kRenderStateFog, 0);
    WSetRenderState(kRenderStateSourceBlend, kBlendZero);
    if (strength < 0.0f)
    {
        WSetRenderState(kRenderStateDestBlend, kBlendSrcColour);
        strength = -strength;
    }
    else
        WSetRenderState(kRenderStateDestBlend, kBlendInvSrcColour);

    WShadows::Projection& projection = *gProjection;
    const Matrix* light = Frame::GetWorldMatrix(camera->object.frame);
    projection.right = light->right;
    projection.up = light->up;
    projection.at = light->at;
    projection.position = light->pos;
    projection.r = record->desc.radius * 1.1f;
    uint32_t byte = ClampedByte(strength * 255.0f);
    projection.colour = byte << 24 | byte << 16 | byte << 8 | byte;
    projection.count = 0;

    // The receiving box: R around the centre, stretched along the light.
    float radius = record->desc.radius;
    IntersectionPrimitive box = {};
    box.type = kIntersectBox;
    box.data.box.inf = {record->centre.x - radius, record->centre.y - radius, record->centre.z - radius};
    box.data.box.sup = {record->centre.x + radius, record->centre.y + radius, record->centre.z + radius};
    const float at[3] = {light->at.x, light->at.y, light->at.z};
    float* sup[3] = {&box.data.box.sup.x, &box.data.box.sup.y, &box.data.box.sup.z};
    float* inf[3] = {&box.data.box.inf.x, &box.data.box.inf.y, &box.data.box.inf.z};
    for (int32_t axis = 0; axis < 3; ++axis)
    {
        if (at[axis] > 0.0f)
            *sup[axis] += radius * at[axis];
        else
            *inf[axis] += radius * at[axis];
    }
    World::ForAllTriangleIntersections(gReceivingWorld, &box, CollectTriangle, &projection);
    projection.Flush();

    WSetRenderState(kRenderStateZWrite, 1);
    WSetRenderState(kRenderStateDestBlend, kBlendInvSrcAlpha);
    WSetRenderState(kRenderStateSourceBlend, kBlendSrcAlpha);
    WSetRenderState(kRenderStateTextureRaster, 0);
}

void DestroyShadowCamera()
{
    if (!gShadowCamera)
        return;
    if (gCameraWorld)
        World::RemoveCamera(gCameraWorld, gShadowCamera);
    Frame* frame = gShadowCamera->object.frame;
    if (frame)
    {
        FrameObject::SetFrame(&gShadowCamera->object, nullptr);
        Frame::Destroy(frame);
    }
    if (gShadowCamera->zBuffer)
        Raster::Destroy(gShadowCamera->zBuffer);
    gShadowCamera->zBuffer = nullptr;
    gShadowCamera->frameBuffer = nullptr;
    Camera::Destroy(gShadowCamera);
    gShadowCamera = nullptr;
}
} // namespace

// ---- Projection ------------------------------------------------------------------------------------------

void WShadows::Projection::Project(const Vector* point, float* u, float* v, float* w) const
{
    Vector d = Sub(*point, position);
    *u = Dot(d, right) * (-0.5f / r) + 0.5f;
    *v = Dot(d, up) * (-0.5f / r) + 0.5f;
    *w = Dot(d, at) / (kDepthAllowance + r);
}

int32_t WShadows::Projection::Collect(const Vector triangle[3], const Vector* normal, uint8_t green)
{
    if (green & 0x40)
        return 0;
    if (Dot(at, *normal) > 0.0f)
        return 0;
    for (int32_t i = 0; i < 3; ++i)
        if (triangle[i].y > referenceHeight)
            return 0;
    if (normal->y < 0.5f)
        return 0;
    float u[3], v[3], w[3];
    int32_t behind = 0, left = 0, rightSide = 0, below = 0, above = 0;
    for (int32_t i = 0; i < 3; ++i)
    {
        Project(&triangle[i], &u[i], &v[i], &w[i]);
        behind += w[i] < 0.0f;
        left += u[i] < 0.0f;
        rightSide += u[i] > 1.0f;
        below += v[i] < 0.0f;
        above += v[i] > 1.0f;
    }
    if (behind == 3 || left == 3 || rightSide == 3 || below == 3 || above == 3)
        return 0;
    if (count > kBatchVertices - 3)
        Flush();
    for (int32_t i = 0; i < 3; ++i)
    {
        Im3dVertex& vertex = vertices[count++];
        vertex = {};
        // Lifted off the ground so the depth test keeps the shadow over it.
        vertex.x = triangle[i].x + 2.0f * normal->x;
        vertex.y = triangle[i].y + 2.0f * normal->y;
        vertex.z = triangle[i].z + 2.0f * normal->z;
        vertex.colour = colour;
        vertex.u = u[i];
        vertex.v = v[i];
    }
    return 1;
}

void WShadows::Projection::Flush()
{
    if (count > 0 && Im3d::Transform(vertices, uint32_t(count), nullptr, kBatchFlags))
    {
        Im3d::RenderPrimitive(kIm3dTriList);
        Im3d::End();
    }
    if (count > 0)
        ++batches;
    count = 0;
}

void WShadows::BlobVertices(const WShadowDesc* desc, const Vector* framePosition, Im3dVertex out[4])
{
    static const float kCorners[4][2] = {{-50.0f, -50.0f}, {-50.0f, 50.0f}, {50.0f, -50.0f}, {50.0f, 50.0f}};
    static const float kUVs[4][2] = {{0.0f, 0.0f}, {0.0f, 1.0f}, {1.0f, 0.0f}, {1.0f, 1.0f}};
    // Rotation taking the up axis onto the ground vector (Rodrigues, about up x ground).
    Vector g = desc->groundVector ? *desc->groundVector : Vector{0.0f, 1.0f, 0.0f};
    float length = std::sqrt(Dot(g, g));
    if (length > 0.0f)
        g = {g.x / length, g.y / length, g.z / length};
    else
        g = {0.0f, 1.0f, 0.0f};
    Vector axis = {g.z, 0.0f, -g.x}; // (0, 1, 0) x g
    float s = std::sqrt(Dot(axis, axis));
    float c = g.y;
    uint32_t alpha = ClampedByte(desc->strength * 255.0f);
    for (int32_t i = 0; i < 4; ++i)
    {
        Vector p = {kCorners[i][0], 1.0f, kCorners[i][1]};
        if (s > 1e-6f)
        {
            Vector k = {axis.x / s, axis.y / s, axis.z / s};
            Vector kxp = {k.y * p.z - k.z * p.y, k.z * p.x - k.x * p.z, k.x * p.y - k.y * p.x};
            float kp = Dot(k, p);
            p = {p.x * c + kxp.x * s + k.x * kp * (1.0f - c), p.y * c + kxp.y * s + k.y * kp * (1.0f - c),
                 p.z * c + kxp.z * s + k.z * kp * (1.0f - c)};
        }
        out[i] = {};
        out[i].x = p.x + framePosition->x;
        out[i].y = p.y + framePosition->y;
        out[i].z = p.z + framePosition->z;
        out[i].colour = alpha << 24 | 0x00FFFFFFu;
        out[i].u = kUVs[i][0];
        out[i].v = kUVs[i][1];
    }
}

// ---- Life ---------------------------------------------------------------------------------------------------

void WShadows::Init()
{
    if (!gShadowTexture)
        if (WTextureManager* textures = WTextureManager::Instance())
            gShadowTexture = textures->GetTexture("SHADOW_TEX");
}

void WShadows::Shutdown()
{
    if (gShadowTexture)
        Texture::Destroy(gShadowTexture);
    gShadowTexture = nullptr;
}

int32_t WShadows::AttachWorld()
{
    WRenderer* renderer = WRenderer::Instance();
    WScene* scene = renderer ? renderer->GetScene() : nullptr;
    W3dLevel* level = scene ? scene->GetLevel() : nullptr;
    if (!level || !level->GetMainWorld())
        return 0;
    // Shadows fall on what line tests hit: the collision world, else the main world.
    return AttachWorlds(level->GetMainWorld(), level->GetCollisionWorld());
}

int32_t WShadows::AttachWorlds(World* cameraWorld, World* receivingWorld)
{
    // A second attach would leak the first camera and leave records on it.
    DetachWorld();
    if (!cameraWorld)
        return 0;
    Camera* camera = Camera::Create();
    Frame* frame = camera ? Frame::Create() : nullptr;
    Raster* depth = frame ? Raster::Create(kRasterSize, kRasterSize, 0, kRasterTypeZBuffer) : nullptr;
    if (!depth)
    {
        if (frame)
            Frame::Destroy(frame);
        if (camera)
            Camera::Destroy(camera);
        return 0;
    }
    FrameObject::SetFrame(&camera->object, frame);
    camera->zBuffer = depth;
    Camera::SetProjection(camera, kCameraParallel);
    gShadowCamera = camera;
    gCameraWorld = cameraWorld;
    gReceivingWorld = receivingWorld;
    World::AddCamera(cameraWorld, camera);
    return 0;
}

int32_t WShadows::DetachWorld()
{
    DestroyShadowCamera();
    if (gRecords)
        for (int32_t i = 0; i < gRecords->GetCount(); ++i)
        {
            ShadowRecord* record = RecordAt(i);
            record->camera = nullptr;
            record->cameraAssigned = 0;
            record->valid = 0;
        }
    gCameraWorld = nullptr;
    gReceivingWorld = nullptr;
    return 0;
}

Camera* WShadows::GetShadowCamera()
{
    return gShadowCamera;
}

// ---- Records ------------------------------------------------------------------------------------------------

int32_t WShadows::Add(const WShadowDesc* desc)
{
    HbPtrArray* records = Records();
    auto* record = records && desc ? new ShadowRecord() : nullptr;
    if (!record)
        return -1;
    record->desc = *desc;
    record->desc.radius *= 1.1f;
    if (!(record->desc.radius > 0.0f))
        record->desc.radius = kDefaultRadius;
    record->visible = desc->visible;
    if (desc->kind == WShadowDesc::kProjected)
        record->renderRaster = Raster::Create(kRasterSize, kRasterSize, 0, kRasterTypeCameraTexture);
    if (records->Add(record) < 0)
    {
        DestroyRecord(record);
        return -1;
    }
    record->id = gNextId++;
    return record->id;
}

int32_t WShadows::Remove(int32_t id)
{
    int32_t index = Find(id);
    if (index < 0)
        return kUnknownId;
    DestroyRecord(RecordAt(index));
    int32_t count = gRecords->GetCount();
    for (int32_t i = index; i + 1 < count; ++i)
        (*gRecords)[i] = (*gRecords)[i + 1];
    gRecords->SetSize(count - 1);
    return 0;
}

int32_t WShadows::SetVisible(int32_t id, int32_t visible)
{
    int32_t index = Find(id);
    if (index < 0)
        return kUnknownId;
    RecordAt(index)->visible = visible;
    return 0;
}

int32_t WShadows::GetVisible(int32_t id)
{
    int32_t index = Find(id);
    return index < 0 ? -1 : RecordAt(index)->visible;
}

const WShadowDesc* WShadows::GetDesc(int32_t id)
{
    int32_t index = Find(id);
    return index < 0 ? nullptr : &RecordAt(index)->desc;
}

int32_t WShadows::GetCount()
{
    return gRecords ? gRecords->GetCount() : 0;
}

// ---- Drawing --------------------------------------------------------------------------------------------------

void WShadows::RenderAll(Camera* camera)
{
    if (!camera || !gRecords || gRecords->GetCount() == 0)
        return;
    if (!gProjection)
        gProjection = new Projection();
    const intptr_t source = WGetRenderState(kRenderStateSourceBlend);
    const intptr_t dest = WGetRenderState(kRenderStateDestBlend);
    const intptr_t fog = WGetRenderState(kRenderStateFog);
    const intptr_t vertexAlpha = WGetRenderState(kRenderStateVertexAlpha);
    const intptr_t zWrite = WGetRenderState(kRenderStateZWrite);
    const intptr_t zTest = WGetRenderState(kRenderStateZTest);

    for (int32_t i = 0; i < gRecords->GetCount(); ++i)
    {
        ShadowRecord* record = RecordAt(i);
        if (!record->visible || record->desc.kind != WShadowDesc::kProjected)
            continue;
        if (!record->cameraAssigned && gShadowCamera)
        {
            record->camera = gShadowCamera;
            record->cameraAssigned = 1;
        }
        // Without a shadow camera (no level attached) nothing is projected.
        Camera* shadowCamera = record->camera;
        if (!shadowCamera)
            continue;
        RefreshPositions(record);
        PrepareProjection(record, shadowCamera);
        DrawSilhouette(record, shadowCamera);
        if (record->desc.strength != 0.0f && record->valid && Camera::BeginUpdate(camera))
        {
            gProjection->referenceHeight = record->framePosition.y + 100.0f;
            ProjectRecord(record, shadowCamera);
            gProjection->referenceHeight = 0.0f;
            Camera::EndUpdate(camera);
        }
    }

    bool anyBlob = false;
    for (int32_t i = 0; i < gRecords->GetCount() && !anyBlob; ++i)
        anyBlob = RecordAt(i)->visible && RecordAt(i)->desc.kind == WShadowDesc::kBlob;
    if (anyBlob && Camera::BeginUpdate(camera))
    {
        WSetRenderState(kRenderStateTextureRaster,
                        reinterpret_cast<intptr_t>(gShadowTexture ? gShadowTexture->raster : nullptr));
        WSetRenderState(kRenderStateTextureAddress, kAddressClamp);
        for (int32_t i = 0; i < gRecords->GetCount(); ++i)
        {
            ShadowRecord* record = RecordAt(i);
            if (!record->visible || record->desc.kind != WShadowDesc::kBlob)
                continue;
            RefreshPositions(record);
            Im3dVertex quad[4];
            BlobVertices(&record->desc, &record->framePosition, quad);
            if (Im3d::Transform(quad, 4, nullptr, kIm3dTextured))
            {
                Im3d::RenderPrimitive(kIm3dTriStrip);
                Im3d::End();
            }
        }
        WSetRenderState(kRenderStateTextureRaster, 0);
        Camera::EndUpdate(camera);
    }
    WSetRenderState(kRenderStateZTest, zTest);
    WSetRenderState(kRenderStateZWrite, zWrite);
    WSetRenderState(kRenderStateDestBlend, dest);
    WSetRenderState(kRenderStateSourceBlend, source);
    WSetRenderState(kRenderStateVertexAlpha, vertexAlpha);
    WSetRenderState(kRenderStateFog, fog);
}
