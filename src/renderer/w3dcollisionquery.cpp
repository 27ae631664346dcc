// Collision queries: the bullet test of a shot set, the level-wide line test, the sector
// queries, and the box collision atomic.
#include "w3dcollision.h"
#include "w3dlevel.h"

#include "clump.h"
#include "collision.h"
#include "frame.h"
#include "geometry.h"
#include "material.h"
#include "w3dnode.h"
#include "watomicowner.h"
#include "world.h"

#include <cfloat>
#include <cmath>
#include <cstring>

namespace
{
Vector Sub(const Vector& a, const Vector& b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

float Dot(const Vector& a, const Vector& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

Vector Normalised(const Vector& v)
{
    float length = std::sqrt(Dot(v, v));
    return length > 0.0f ? Vector{v.x / length, v.y / length, v.z / length} : Vector{0.0f, 0.0f, 0.0f};
}

void SetColor(uint8_t color[4], const Rgba& rgba)
{
    color[0] = rgba.red;
    color[1] = rgba.green;
    color[2] = rgba.blue;
    color[3] = rgba.alpha;
}

// The first material colour of an atomic's geometry (opaque black without one).
Rgba FirstMaterialColor(const Atomic* atomic)
{
    const Geometry* geometry = atomic->geometry;
    if (geometry && geometry->materials.count > 0 && geometry->materials.materials[0])
        return geometry->materials.materials[0]->colour;
    return Rgba{0, 0, 0, 255};
}

// ---- The line test ----------------------------------------------------------------------------------

struct LineContext
{
    IntersectionPrimitive line;
    W3dCollisionResult* result;
    const W3dNode* ignore1;
    const W3dNode* ignore2;
    Rgba atomicColor;
};

// Offers a candidate; on acceptance the result is cleared and holds it.
void OfferLineCandidate(LineContext* context, const Vector& normal, float distance, int32_t kind, const Rgba& color)
{
    W3dCollisionResult* result = context->result;
    if (distance > result->distance)
        return;
    if (result->filter)
    {
        W3dCollisionResult candidate;
        candidate.Clear();
        candidate.hit = 1;
        candidate.normal = normal;
        candidate.distance = distance;
        candidate.kind = kind;
        SetColor(candidate.color, color);
        candidate.node = result->node;
        candidate.hitNode = kind == W3dCollisionResult::kAtomicTriangle ? result->node : nullptr;
        if (!result->filter(&candidate))
            return;
    }
    W3dCollisionFilter filter = result->filter;
    W3dNode* node = result->node;
    result->Clear();
    result->filter = filter;
    result->node = node;
    result->hit = 1;
    result->normal = normal;
    result->distance = distance;
    result->kind = kind;
    SetColor(result->color, color);
    if (kind == W3dCollisionResult::kAtomicTriangle)
        result->hitNode = node;
}

CollisionTriangle* StaticTriangle(IntersectionPrimitive*, WorldSector* sector, CollisionTriangle* triangle,
                                  float distance, void* data)
{
    auto* context = static_cast<LineContext*>(data);
    OfferLineCandidate(context, triangle->normal, distance, W3dCollisionResult::kStaticTriangle,
                       CollisionTriangleGetMaterialColor(sector, triangle->index));
    return triangle;
}

CollisionTriangle* AtomicLineTriangle(IntersectionPrimitive*, CollisionTriangle* triangle, float distance, void* data)
{
    auto* context = static_cast<LineContext*>(data);
    OfferLineCandidate(context, triangle->normal, distance, W3dCollisionResult::kAtomicTriangle, context->atomicColor);
    return triangle;
}

Atomic* LineAtomic(IntersectionPrimitive*, WorldSector*, Atomic* atomic, float, void* data)
{
    auto* context = static_cast<LineContext*>(data);
    W3dNode* owner = AtomicOwner::GetOwner(atomic);
    if (!owner || owner == context->ignore1 || owner == context->ignore2)
        return atomic;
    // The atomic pass keeps the hit flag over atomics that add nothing.
    int32_t hit = context->result->hit;
    context->result->node = owner;
    context->atomicColor = FirstMaterialColor(atomic);
    Atomic::ForAllIntersections(atomic, &context->line, AtomicLineTriangle, context);
    context->result->hit |= hit;
    return atomic;
}

// ---- The bullet test ----------------------------------------------------------------------------------

struct SegmentContext
{
    W3dCollisionQuery* query;
    Vector* segment;
    float margin;
    Vector direction;
    int32_t leaf;
    Vector endCopy;
    // The atomic being walked.
    IntersectionPrimitive line;
    Rgba atomicColor;
};

CollisionTriangle* SegmentTriangle(IntersectionPrimitive*, CollisionTriangle* triangle, float distance, void* data)
{
    auto* context = static_cast<SegmentContext*>(data);
    W3dCollisionQuery* query = context->query;
    if (!(distance < query->triangleDistance))
        return triangle;
    if (query->filter)
    {
        W3dCollisionResult candidate;
        candidate.Clear();
        candidate.hit = 1;
        candidate.normal = triangle->normal;
        candidate.distance = distance;
        candidate.kind = W3dCollisionResult::kAtomicTriangle;
        std::memcpy(candidate.color, query->color, sizeof(candidate.color));
        candidate.node = query->node;
        if (!query->filter(&candidate))
            return triangle;
    }
    W3dCollisionFilter filter = query->filter;
    W3dCollisionNode* volume = query->hitVolume;
    query->Reset();
    query->hitVolume = volume;
    query->hit = 1;
    query->normal = triangle->normal;
    query->triangleDistance = distance;
    query->kind = W3dCollisionResult::kAtomicTriangle;
    query->filter = filter;
    return triangle;
}

void SegmentAtomic(SegmentContext* context, Atomic* atomic)
{
    W3dCollisionQuery* query = context->query;
    const Sphere sphere = *Atomic::GetWorldBoundingSphere(atomic);
    if (!SphereIntersectsSegment(&sphere, &context->direction, context->segment, context->margin))
        return;
    query->triangleDistance = 1.1f;
    const Vector& d = context->direction;
    Vector pushedEnd = {context->segment[1].x + d.x * sphere.radius, context->segment[1].y + d.y * sphere.radius,
                        context->segment[1].z + d.z * sphere.radius};
    context->line.type = kIntersectLine;
    context->line.data.line = {context->segment[0], pushedEnd};

    uint8_t savedColor[4];
    std::memcpy(savedColor, query->color, sizeof(savedColor));
    bool colorTaken = false;
    if (query->filter)
    {
        SetColor(query->color, FirstMaterialColor(atomic));
        colorTaken = true;
    }
    Atomic::ForAllIntersections(atomic, &context->line, SegmentTriangle, context);

    if (query->triangleDistance < query->distance ||
        (query->hitType == W3dCollisionQuery::kGraze && query->triangleDistance < 1.05f))
    {
        query->hit = 1;
        SetColor(query->color, FirstMaterialColor(atomic));
        if (context->leaf)
        {
            query->distance = query->triangleDistance;
            query->hitType = W3dCollisionQuery::kDirectHit;
            context->endCopy = pushedEnd;
        }
        return;
    }
    if (query->hitType != W3dCollisionQuery::kDirectHit && context->margin > 0.0f)
    {
        Vector toCentre = Sub(sphere.centre, context->segment[0]);
        float cosine = Dot(d, Normalised(toCentre));
        if (cosine > query->bestCosine)
        {
            query->hit = 1;
            if (context->leaf)
            {
                query->bestCosine = cosine;
                query->hitType = W3dCollisionQuery::kGraze;
                Vector pushed = Sub(pushedEnd, context->segment[0]);
                query->distance = std::sqrt(Dot(toCentre, toCentre)) / std::sqrt(Dot(pushed, pushed));
            }
            return;
        }
    }
    if (colorTaken)
        std::memcpy(query->color, savedColor, sizeof(savedColor));
}

int32_t SegmentNodeAtomic(W3dNode*, Atomic* atomic, void* data)
{
    SegmentAtomic(static_cast<SegmentContext*>(data), atomic);
    return 1;
}

bool TestVolume(SegmentContext* context, W3dCollisionNode* volume)
{
    const Sphere sphere = *volume->GetWorldSphere();
    if (!SphereIntersectsSegment(&sphere, &context->direction, context->segment, context->margin))
        return false;
    if (volume->kind & W3dCollisionNode::kFrameSphere)
        return true;
    W3dCollisionQuery* query = context->query;
    int32_t hitBefore = query->hit;
    float distanceBefore = query->distance;
    if (volume->kind & W3dCollisionNode::kAtomic)
        SegmentAtomic(context, volume->atomic);
    else if ((volume->kind & W3dCollisionNode::kNode) && volume->node)
    {
        query->node = volume->node;
        volume->node->ForAllAtomics(SegmentNodeAtomic, context);
    }
    bool success = query->hit != 0;
    // Inner volumes only steer the descent.
    if (!context->leaf)
        query->hit = hitBefore;
    else if (success && query->distance <= distanceBefore)
        query->hitVolume = volume;
    return success;
}

void VisitVolume(SegmentContext* context, W3dCollisionNode* volume)
{
    if (volume->children.GetCount() == 0)
        context->leaf = 1;
    if (!TestVolume(context, volume))
        return;
    for (int32_t i = 0; i < volume->children.GetCount(); ++i)
        VisitVolume(context, static_cast<W3dCollisionNode*>(volume->children[i]));
}

// ---- Sectors ----------------------------------------------------------------------------------------------

WorldSector* FirstSector(IntersectionPrimitive*, WorldSector* sector, void* data)
{
    *static_cast<WorldSector**>(data) = sector;
    return nullptr;
}

WorldSector* CollectSector(IntersectionPrimitive*, WorldSector* sector, void* data)
{
    static_cast<HbPtrArray*>(data)->Add(sector);
    return sector;
}
} // namespace

// ---- Records ----------------------------------------------------------------------------------------------

void W3dCollisionResult::Clear()
{
    hit = 0;
    normal = {0.0f, 0.0f, 0.0f};
    for (Vector& v : spare)
        v = {0.0f, 0.0f, 0.0f};
    distance = FLT_MAX;
    kind = 0;
    std::memset(color, 0, sizeof(color));
    node = nullptr;
    hitNode = nullptr;
    filter = nullptr;
}

void W3dCollisionQuery::Reset()
{
    Clear();
    distance = 1.05f;
    triangleDistance = 1.05f;
    hitType = kNoHit;
    bestCosine = -1.1f;
    hitVolume = nullptr;
}

// ---- Queries ----------------------------------------------------------------------------------------------

int32_t W3dCollisionTree::CollideSegment(W3dCollisionQuery* query, Vector* segment, float margin)
{
    SegmentContext context = {};
    context.query = query;
    context.segment = segment;
    context.margin = margin;
    context.direction = Normalised(Sub(segment[1], segment[0]));
    context.leaf = 0;
    context.endCopy = segment[1];
    if (mRoot)
        VisitVolume(&context, mRoot);
    segment[1] = context.endCopy;
    return query->hit;
}

int32_t CollisionTestLineEx(World* mainWorld, World* collisionWorld, const Vector* start, const Vector* end,
                            const W3dNode* ignore1, const W3dNode* ignore2, W3dCollisionResult* result,
                            W3dCollisionFilter filter)
{
    result->Clear();
    result->filter = filter;
    LineContext context = {};
    context.line.type = kIntersectLine;
    context.line.data.line = {*start, *end};
    context.result = result;
    context.ignore1 = ignore1;
    context.ignore2 = ignore2;
    if (collisionWorld)
        World::ForAllTriangleIntersections(collisionWorld, &context.line, StaticTriangle, &context);
    if (mainWorld)
        World::ForAllAtomicIntersections(mainWorld, &context.line, LineAtomic, &context);
    float length = std::sqrt(Dot(result->normal, result->normal));
    if (length > 0.0f)
        result->normal = {result->normal.x / length, result->normal.y / length, result->normal.z / length};
    return result->hit;
}

int32_t CollisionTestLine(const W3dLevel* level, const Vector* start, const Vector* end, const W3dNode* ignore1,
                          const W3dNode* ignore2, W3dCollisionResult* result, W3dCollisionFilter filter)
{
    if (!level)
    {
        result->Clear();
        result->filter = filter;
        return 0;
    }
    return CollisionTestLineEx(level->GetMainWorld(), level->GetCollisionWorld(), start, end, ignore1, ignore2, result,
                               filter);
}

Rgba CollisionTriangleGetMaterialColor(const WorldSector* sector, int32_t triangle)
{
    const World* world = WorldSector::GetWorld(sector);
    if (!world || triangle < 0 || triangle >= sector->numTriangles || !sector->triangles)
        return Rgba{0, 0, 0, 255};
    const Triangle& record = static_cast<const Triangle*>(sector->triangles)[triangle];
    int32_t index = record.material < 0 ? -1 : sector->materialBase + record.material;
    if (index < 0 || index >= world->materials.count || !world->materials.materials[index])
        return Rgba{0, 0, 0, 255};
    return world->materials.materials[index]->colour;
}

WorldSector* LevelFindSectorAtPoint(World* collisionWorld, const Vector* point)
{
    if (!collisionWorld)
        return nullptr;
    IntersectionPrimitive primitive = {};
    primitive.type = kIntersectPoint;
    primitive.data.point = *point;
    WorldSector* found = nullptr;
    World::ForAllSectorIntersections(collisionWorld, &primitive, FirstSector, &found);
    return found;
}

void LevelCollectSectorsInSphere(HbPtrArray* array, World* collisionWorld, const Sphere* sphere)
{
    if (!collisionWorld)
        return;
    IntersectionPrimitive primitive = {};
    primitive.type = kIntersectSphere;
    primitive.data.sphere = *sphere;
    World::ForAllSectorIntersections(collisionWorld, &primitive, CollectSector, array);
}

bool SphereIntersectsSegment(const Sphere* sphere, const Vector* direction, const Vector* segment, float margin)
{
    float reach = sphere->radius + margin;
    float reach2 = reach * reach;
    Vector toStart = Sub(segment[0], sphere->centre);
    Vector toEnd = Sub(segment[1], sphere->centre);
    if (Dot(toStart, toStart) <= reach2 || Dot(toEnd, toEnd) <= reach2)
        return true;
    Vector along = Sub(sphere->centre, segment[0]);
    float t = Dot(along, *direction);
    Vector span = Sub(segment[1], segment[0]);
    float length = std::sqrt(Dot(span, span));
    if (!(t > 0.0f && t < length))
        return false;
    Vector closest = {segment[0].x + direction->x * t - sphere->centre.x,
                      segment[0].y + direction->y * t - sphere->centre.y,
                      segment[0].z + direction->z * t - sphere->centre.z};
    return Dot(closest, closest) < reach2;
}

// ---- The box collision atomic ------------------------------------------------------------------------------

Atomic* CreateBoxGeometry(const float box[6])
{
    const float hi[3] = {box[0], box[1], box[2]};
    const float lo[3] = {box[3], box[4], box[5]};
    Material* material = Material::Create();
    Geometry* geometry = Geometry::Create(24, 12, kGeometryPositions | kGeometryNormals);
    if (!material || !geometry)
    {
        if (material)
            Material::Destroy(material);
        if (geometry)
            Geometry::Destroy(geometry);
        return nullptr;
    }
    material->colour = Rgba{0, 0, 0, 0};
    material->surface = SurfaceProperties{0.4f, 0.0f, 0.7f};

    // Faces +y, +x, -y, -x, -z, +z; each with the two in-plane axes ordered so that the
    // triangles (0, 1, 2) and (3, 2, 1) face out.
    struct Face
    {
        int32_t axis;
        bool positive;
    };
    const Face faces[6] = {{1, true}, {0, true}, {1, false}, {0, false}, {2, false}, {2, true}};
    MorphTarget& target = geometry->morphTargets[0];
    for (int32_t f = 0; f < 6; ++f)
    {
        int32_t n = faces[f].axis;
        int32_t e1 = (n + 1) % 3, e2 = (n + 2) % 3;
        if (!faces[f].positive)
            std::swap(e1, e2);
        for (int32_t v = 0; v < 4; ++v)
        {
            float p[3];
            p[n] = faces[f].positive ? hi[n] : lo[n];
            p[e1] = (v & 1) ? hi[e1] : lo[e1];
            p[e2] = (v & 2) ? hi[e2] : lo[e2];
            float normal[3] = {0.0f, 0.0f, 0.0f};
            normal[n] = faces[f].positive ? 1.0f : -1.0f;
            target.positions[4 * f + v] = {p[0], p[1], p[2]};
            target.normals[4 * f + v] = {normal[0], normal[1], normal[2]};
        }
        uint16_t base = uint16_t(4 * f);
        Triangle* first = &geometry->triangles[2 * f];
        Geometry::SetTriangleVertices(geometry, first, base, uint16_t(base + 1), uint16_t(base + 2));
        Geometry::SetTriangleVertices(geometry, first + 1, uint16_t(base + 3), uint16_t(base + 2), uint16_t(base + 1));
        Geometry::SetTriangleMaterial(geometry, first, material);
        Geometry::SetTriangleMaterial(geometry, first + 1, material);
    }
    MorphTarget::CalcBoundingSphere(&target, &target.boundingSphere);
    Geometry::Unlock(geometry);

    Atomic* atomic = Atomic::Create();
    Frame* frame = atomic ? Frame::Create() : nullptr;
    if (atomic && frame)
    {
        Atomic::SetFrame(atomic, frame);
        Atomic::SetGeometry(atomic, geometry, 0);
        atomic->object.flags = uint8_t((atomic->object.flags | kAtomicCollisionTest) & ~kAtomicRender);
    }
    else
    {
        if (atomic)
            Atomic::Destroy(atomic);
        atomic = nullptr;
    }
    // The atomic and the geometry hold their own references now.
    Geometry::Destroy(geometry);
    Material::Destroy(material);
    return atomic;
}
