// Tests of the collision queries: the intersection tests at their edges and against exact
// double-precision references, and every world and atomic query over random worlds,
// geometries and primitives against a brute-force loop over all triangles and atomics.
#include "clump.h"
#include "collisionfixture.h"
#include "engine.h"
#include "frame.h"
#include "geometry.h"
#include "matrix.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>

namespace
{

using CollisionQueries = CollisionFixture;

// ---- Double-precision references ---------------------------------------------------------------

struct D3
{
    double x, y, z;
};

D3 ToD(const Vector& v)
{
    return {v.x, v.y, v.z};
}
D3 operator-(const D3& a, const D3& b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
D3 operator+(const D3& a, const D3& b)
{
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
D3 operator*(const D3& a, double s)
{
    return {a.x * s, a.y * s, a.z * s};
}
double Dot(const D3& a, const D3& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
D3 Cross(const D3& a, const D3& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

/// The point of the triangle nearest to p (regions of the vertices, edges and face).
D3 NearestOnTriangle(const D3& p, const D3& a, const D3& b, const D3& c)
{
    D3 ab = b - a, ac = c - a, ap = p - a;
    double d1 = Dot(ab, ap), d2 = Dot(ac, ap);
    if (d1 <= 0 && d2 <= 0)
        return a;
    D3 bp = p - b;
    double d3 = Dot(ab, bp), d4 = Dot(ac, bp);
    if (d3 >= 0 && d4 <= d3)
        return b;
    double vc = d1 * d4 - d3 * d2;
    if (vc <= 0 && d1 >= 0 && d3 <= 0)
        return a + ab * (d1 / (d1 - d3));
    D3 cp = p - c;
    double d5 = Dot(ab, cp), d6 = Dot(ac, cp);
    if (d6 >= 0 && d5 <= d6)
        return c;
    double vb = d5 * d2 - d1 * d6;
    if (vb <= 0 && d2 >= 0 && d6 <= 0)
        return a + ac * (d2 / (d2 - d6));
    double va = d3 * d6 - d5 * d4;
    if (va <= 0 && (d4 - d3) >= 0 && (d5 - d6) >= 0)
        return b + (c - b) * ((d4 - d3) / ((d4 - d3) + (d5 - d6)));
    double denom = 1.0 / (va + vb + vc);
    return a + ab * (vb * denom) + ac * (vc * denom);
}

/// The largest gap along any separating axis between the box and the triangle: positive
/// when they are apart, negative when they overlap.
double BoxTriangleGap(const BBox& box, const D3 v[3])
{
    D3 centre = (ToD(box.sup) + ToD(box.inf)) * 0.5, half = (ToD(box.sup) - ToD(box.inf)) * 0.5;
    D3 t[3] = {v[0] - centre, v[1] - centre, v[2] - centre};
    D3 edges[3] = {t[1] - t[0], t[2] - t[1], t[0] - t[2]};
    std::vector<D3> axes = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, Cross(edges[0], edges[1])};
    for (const D3& e : edges)
        for (const D3& u : {D3{1, 0, 0}, D3{0, 1, 0}, D3{0, 0, 1}})
            axes.push_back(Cross(e, u));
    double gap = -1e30;
    for (const D3& axis : axes)
    {
        double length = std::sqrt(Dot(axis, axis));
        if (length < 1e-9)
            continue;
        double p[3] = {Dot(t[0], axis), Dot(t[1], axis), Dot(t[2], axis)};
        double r = half.x * std::fabs(axis.x) + half.y * std::fabs(axis.y) + half.z * std::fabs(axis.z);
        double lo = std::min({p[0], p[1], p[2]}), hi = std::max({p[0], p[1], p[2]});
        gap = std::max(gap, std::max(lo - r, -r - hi) / length);
    }
    return gap;
}

// ---- Collecting hits ---------------------------------------------------------------------------------

using HitKey = std::pair<const void*, int32_t>;
using Hits = std::map<HitKey, float>;

struct Collector
{
    Hits hits;
    int32_t calls = 0;
    int32_t duplicates = 0;
    int32_t stopAfter = -1; ///< answer null at this call (counted from 1)
    IntersectionPrimitive* expectedPrimitive = nullptr;
    bool primitiveSeen = true;

    bool Add(IntersectionPrimitive* primitive, const void* owner, int32_t index, float distance)
    {
        ++calls;
        if (primitive != expectedPrimitive)
            primitiveSeen = false;
        if (!hits.emplace(HitKey{owner, index}, distance).second)
            ++duplicates;
        return calls != stopAfter;
    }
};

WorldSector* OnSector(IntersectionPrimitive* p, WorldSector* sector, void* data)
{
    return static_cast<Collector*>(data)->Add(p, sector, 0, 0.0f) ? sector : nullptr;
}

CollisionTriangle* OnTriangle(IntersectionPrimitive* p, WorldSector* sector, CollisionTriangle* t, float distance,
                              void* data)
{
    // The record describes the triangle it names.
    const auto* triangles = static_cast<const Triangle*>(sector->triangles);
    EXPECT_EQ(t->vertices[0], &sector->positions[triangles[t->index].vertex[0]]);
    EXPECT_EQ(t->point.x, t->vertices[0]->x);
    return static_cast<Collector*>(data)->Add(p, sector, t->index, distance) ? t : nullptr;
}

Atomic* OnAtomic(IntersectionPrimitive* p, WorldSector*, Atomic* atomic, float distance, void* data)
{
    return static_cast<Collector*>(data)->Add(p, atomic, 0, distance) ? atomic : nullptr;
}

CollisionTriangle* OnAtomicTriangle(IntersectionPrimitive* p, CollisionTriangle* t, float distance, void* data)
{
    return static_cast<Collector*>(data)->Add(p, nullptr, t->index, distance) ? t : nullptr;
}

void ExpectSameHits(const Hits& got, const Hits& expected, float tolerance, const std::string& what)
{
    EXPECT_EQ(got.size(), expected.size()) << what;
    for (const auto& [key, distance] : expected)
    {
        auto it = got.find(key);
        if (it == got.end())
        {
            ADD_FAILURE() << what << ": missing triangle " << key.second;
            continue;
        }
        EXPECT_NEAR(it->second, distance, tolerance) << what << ": triangle " << key.second;
    }
    for (const auto& [key, distance] : got)
        if (!expected.count(key))
            ADD_FAILURE() << what << ": extra triangle " << key.second << " at " << distance;
}

// ---- Intersection tests at their edges -------------------------------------------------------------------

const Vector kA = {0, 0, 0}, kB = {1, 0, 0}, kC = {0, 1, 0}; // front face +z

TEST(Intersections, LineTestTakesFrontFacesWithinItsMargins)
{
    struct Case
    {
        const char* name;
        Vector start, end;
        bool hit;
        float t;
    };
    // A 100-unit line down z whose end stops 0.00002 of its length short of the plane: the
    // plane lies at t = 1.00002.
    const float shortEnd = 100.0f - 100.0f / 1.00002f;
    const Case cases[] = {
        {"ends on the triangle", {0.25f, 0.25f, 1}, {0.25f, 0.25f, 0}, true, 1.0f},
        {"halfway", {0.25f, 0.25f, 1}, {0.25f, 0.25f, -1}, true, 0.5f},
        {"stops 0.00002 short", {0.25f, 0.25f, 100}, {0.25f, 0.25f, shortEnd}, false, 0},
        {"starts just past the plane", {0.25f, 0.25f, -0.0005f}, {0.25f, 0.25f, -100.0005f}, true, -0.000005f},
        {"starts 0.00002 past the plane", {0.25f, 0.25f, -0.002f}, {0.25f, 0.25f, -100.002f}, false, 0},
        {"from behind", {0.25f, 0.25f, -1}, {0.25f, 0.25f, 1}, false, 0},
        {"along the plane", {-1, 0.25f, 0}, {2, 0.25f, 0}, false, 0},
        {"beside the triangle", {0.75f, 0.75f, 1}, {0.75f, 0.75f, -1}, false, 0},
        {"through an edge", {0.5f, 0.5f, 1}, {0.5f, 0.5f, -1}, true, 0.5f},
        {"through a vertex", {0, 0, 1}, {0, 0, -1}, true, 0.5f},
    };
    for (const Case& c : cases)
    {
        Vector d = {c.end.x - c.start.x, c.end.y - c.start.y, c.end.z - c.start.z};
        float t = 99.0f;
        EXPECT_EQ(Intersection::LineTriangle(&c.start, &d, &kA, &kB, &kC, &t), c.hit) << c.name;
        if (c.hit)
        {
            EXPECT_NEAR(t, c.t, 1e-6f) << c.name;
        }
    }
}

TEST(Intersections, LineTestRefusesWhatAHugeVertexMakesInfinite)
{
    const Vector start = {0.25f, 0.25f, 1}, d = {0, 0, -2};
    const Vector huge[3][3] = {
        {{0, 0, 0}, {3e38f, 0, 0}, {0, 3e38f, 0}}, // infinite determinant
        {{0, 0, 0}, {1, 0, 0}, {0, 1, 3e38f}},     // infinite distance terms
        {{-3e38f, -3e38f, 0}, {3e38f, -3e38f, 0}, {0, 3e38f, 0}},
    };
    for (const auto& t : huge)
    {
        float along = 99.0f;
        if (Intersection::LineTriangle(&start, &d, &t[0], &t[1], &t[2], &along))
            EXPECT_TRUE(std::isfinite(along));
    }
    float along = 99.0f;
    const Vector a = {0, 0, 0}, b = {3e38f, 0, 0}, c = {0, 3e38f, 0};
    EXPECT_FALSE(Intersection::LineTriangle(&start, &d, &a, &b, &c, &along));
}

TEST(Intersections, SphereTestGivesSignedPlaneDistanceAndRejectsOutsideEdges)
{
    struct Case
    {
        const char* name;
        Sphere sphere;
        int32_t contact;
        float distance;
    };
    const Case cases[] = {
        {"in front at half the radius", {{0.25f, 0.25f, 0.5f}, 1.0f}, 1, 0.5f},
        {"behind at half the radius", {{0.25f, 0.25f, -0.5f}, 1.0f}, 1, -0.5f},
        {"beyond the radius", {{0.25f, 0.25f, 1.5f}, 1.0f}, 0, 0},
        {"outside an edge, plane within reach", {{0.5f, -0.6f, 0.1f}, 0.5f}, 0, 0},
        {"outside an edge, edge within reach", {{0.5f, -0.3f, 0.1f}, 0.5f}, 1, 0.1f},
        {"holds a vertex", {{1.2f, 0, 0.1f}, 0.3f}, 1, 0.1f},
        {"beyond a corner", {{-0.5f, -0.5f, 0.0f}, 0.6f}, 0, 0},
        {"outside the far edge", {{0.9f, 0.9f, 0.05f}, 0.5f}, 0, 0},
    };
    for (const Case& c : cases)
    {
        Vector normal = {};
        float distance = 99.0f;
        EXPECT_EQ(Intersection::SphereTriangle(&c.sphere, &kA, &kB, &kC, &normal, &distance), c.contact) << c.name;
        if (c.contact)
        {
            EXPECT_NEAR(distance, c.distance, 1e-4f) << c.name;
            EXPECT_NEAR(normal.z, 1.0f, 1e-3f) << c.name;
        }
    }
}

TEST(Intersections, SphereAndBoxTestsAgreeWithExactReferences)
{
    std::mt19937 rng(3141);
    std::uniform_real_distribution<float> at(-2.0f, 2.0f), radius(0.05f, 1.5f);
    int32_t contacts = 0, boxes = 0, compared = 0;
    for (int32_t i = 0; i < 4000; ++i)
    {
        Vector v[3] = {{at(rng), at(rng), at(rng)}, {at(rng), at(rng), at(rng)}, {at(rng), at(rng), at(rng)}};
        D3 dv[3] = {ToD(v[0]), ToD(v[1]), ToD(v[2])};
        if (Dot(Cross(dv[1] - dv[0], dv[2] - dv[0]), Cross(dv[1] - dv[0], dv[2] - dv[0])) < 1e-3)
            continue;
        Sphere sphere = {{at(rng), at(rng), at(rng)}, radius(rng)};
        D3 nearest = NearestOnTriangle(ToD(sphere.centre), dv[0], dv[1], dv[2]);
        double gap = std::sqrt(Dot(nearest - ToD(sphere.centre), nearest - ToD(sphere.centre))) - sphere.radius;
        Vector normal;
        float distance = 0;
        int32_t contact = Intersection::SphereTriangle(&sphere, &v[0], &v[1], &v[2], &normal, &distance);
        if (std::fabs(gap) > 1e-4)
        {
            ++compared;
            ASSERT_EQ(contact, gap < 0 ? 1 : 0) << "case " << i << " gap " << gap;
            contacts += contact;
            if (contact)
            {
                D3 n = Cross(dv[1] - dv[0], dv[2] - dv[0]);
                n = n * (1.0 / std::sqrt(Dot(n, n)));
                EXPECT_NEAR(distance, Dot(ToD(sphere.centre) - dv[0], n), 1e-3) << i;
            }
        }
        Vector p = {at(rng), at(rng), at(rng)}, q = {at(rng), at(rng), at(rng)};
        BBox box = {{std::max(p.x, q.x), std::max(p.y, q.y), std::max(p.z, q.z)},
                    {std::min(p.x, q.x), std::min(p.y, q.y), std::min(p.z, q.z)}};
        double boxGap = BoxTriangleGap(box, dv);
        if (std::fabs(boxGap) > 1e-4)
        {
            int32_t overlap = Intersection::BoxTriangle(&box, &v[0], &v[1], &v[2]);
            ASSERT_EQ(overlap, boxGap < 0 ? 1 : 0) << "box case " << i << " gap " << boxGap;
            boxes += overlap;
        }
    }
    // Both outcomes occur often enough for the comparison to mean something.
    EXPECT_GT(contacts, 400);
    EXPECT_LT(contacts, compared - 400);
    EXPECT_GT(boxes, 400);
}

TEST(Intersections, BoxTestFindsATriangleThatCutsTheBoxWithNoEdgeThroughAFace)
{
    // A large triangle slicing a unit box through its middle: no vertex inside, no edge
    // through a face; only the diagonal test sees it. Tilted both ways.
    const BBox box = {{1, 1, 1}, {0, 0, 0}};
    for (float tilt : {0.2f, -0.2f})
        for (float lift : {0.0f, 5.0f})
        {
            // On the plane z = 0.5 + lift + tilt (x - 0.5) + tilt (y - 0.5) / 2.
            auto on = [&](float x, float y) {
                return Vector{x, y, 0.5f + lift + tilt * (x - 0.5f) + tilt * (y - 0.5f) / 2};
            };
            Vector a = on(-10, -10), b = on(30, -10), c = on(-10, 30);
            EXPECT_EQ(Intersection::BoxTriangle(&box, &a, &b, &c), lift == 0.0f ? 1 : 0) << tilt << " " << lift;
            // Either winding.
            EXPECT_EQ(Intersection::BoxTriangle(&box, &a, &c, &b), lift == 0.0f ? 1 : 0) << tilt << " " << lift;
        }
}

// ---- Random worlds against brute force --------------------------------------------------------------------

IntersectionPrimitive RandomPrimitive(std::mt19937& rng, int32_t type)
{
    std::uniform_real_distribution<float> at(-60.0f, 60.0f), size(0.5f, 12.0f), unit(0.0f, 1.0f);
    IntersectionPrimitive p = {};
    p.type = type;
    switch (type)
    {
    case kIntersectLine:
    {
        Vector s = {at(rng), at(rng), at(rng)}, e = {at(rng), at(rng), at(rng)};
        float shape = unit(rng);
        if (shape < 0.3f) // short lines
            e = {s.x + (e.x - s.x) * 0.1f, s.y + (e.y - s.y) * 0.1f, s.z + (e.z - s.z) * 0.1f};
        else if (shape < 0.45f) // along x only: zero components on y and z
            e = {e.x, s.y, s.z};
        else if (shape < 0.6f) // no component on z
            e.z = s.z;
        p.data.line = {s, e};
        break;
    }
    case kIntersectPoint:
        p.data.point = {at(rng), at(rng), at(rng)};
        break;
    case kIntersectSphere:
        p.data.sphere = {{at(rng), at(rng), at(rng)}, size(rng)};
        break;
    case kIntersectBox:
    {
        Vector c = {at(rng), at(rng), at(rng)};
        float sx = size(rng), sy = size(rng), sz = size(rng);
        p.data.box = {{c.x + sx, c.y + sy, c.z + sz}, {c.x - sx, c.y - sy, c.z - sz}};
        break;
    }
    default:
        break;
    }
    return p;
}

/// Every triangle of every leaf with a tree, tested one by one.
Hits BruteForceTriangles(RandomWorld& world, const IntersectionPrimitive& p, const Sphere& atomicSphere)
{
    Hits hits;
    for (WorldSector* sector : world.Leaves())
    {
        if (!Collision::GetSectorTree(sector))
            continue;
        const auto* triangles = static_cast<const Triangle*>(sector->triangles);
        for (int32_t i = 0; i < sector->numTriangles; ++i)
        {
            const Vector* v[3] = {&sector->positions[triangles[i].vertex[0]],
                                  &sector->positions[triangles[i].vertex[1]],
                                  &sector->positions[triangles[i].vertex[2]]};
            float distance = 0;
            Vector normal;
            bool hit = false;
            if (p.type == kIntersectLine)
            {
                Vector d = {p.data.line.end.x - p.data.line.start.x, p.data.line.end.y - p.data.line.start.y,
                            p.data.line.end.z - p.data.line.start.z};
                hit = Intersection::LineTriangle(&p.data.line.start, &d, v[0], v[1], v[2], &distance);
            }
            else if (p.type == kIntersectSphere || p.type == kIntersectAtomic)
            {
                const Sphere& s = p.type == kIntersectSphere ? p.data.sphere : atomicSphere;
                hit = Intersection::SphereTriangle(&s, v[0], v[1], v[2], &normal, &distance) != 0;
                distance /= s.radius;
            }
            else if (p.type == kIntersectBox)
                hit = Intersection::BoxTriangle(&p.data.box, v[0], v[1], v[2]) != 0;
            if (hit)
                hits[{sector, i}] = distance;
        }
    }
    return hits;
}

struct AtomicSet
{
    std::vector<Atomic*> atomics;
    std::vector<Frame*> frames;
    Geometry* geometry = nullptr;

    ~AtomicSet()
    {
        for (Atomic* a : atomics)
            Atomic::Destroy(a);
        for (Frame* f : frames)
            Frame::Destroy(f);
    }
};

void AddRandomAtomics(std::mt19937& rng, World* world, int32_t count, AtomicSet* set)
{
    std::uniform_real_distribution<float> at(-55.0f, 55.0f), radius(0.5f, 8.0f), unit(0.0f, 1.0f);
    for (int32_t i = 0; i < count; ++i)
    {
        Atomic* atomic = Atomic::Create();
        Geometry* geometry = Geometry::CreateEmptyWithRadius(radius(rng));
        Atomic::SetGeometry(atomic, geometry, 0);
        Geometry::Destroy(geometry);
        Frame* frame = Frame::Create();
        Vector position = {at(rng), at(rng), at(rng)};
        Frame::Translate(frame, &position, kCombineReplace);
        Atomic::SetFrame(atomic, frame);
        if (unit(rng) < 0.2f)
            atomic->object.flags &= uint8_t(~kAtomicCollisionTest);
        World::AddAtomic(world, atomic);
        set->atomics.push_back(atomic);
        set->frames.push_back(frame);
    }
    Frame::SyncDirtyList();
}

/// Distance from a point to a segment in double precision.
double SegmentDistance(const D3& c, const D3& s, const D3& e, double* g)
{
    D3 d = e - s;
    double k = Dot(d, d);
    double t = k > 0 ? Dot(c - s, d) / k : 0;
    *g = t;
    t = std::clamp(t, 0.0, 1.0);
    D3 nearest = s + d * t;
    return std::sqrt(Dot(c - nearest, c - nearest));
}

void CheckAtomics(RandomWorld& world, AtomicSet& set, IntersectionPrimitive& p, const std::string& what)
{
    Collector got;
    got.expectedPrimitive = &p;
    World::ForAllAtomicIntersections(world.Get(), &p, OnAtomic, &got);
    EXPECT_EQ(got.duplicates, 0) << what;
    EXPECT_TRUE(got.primitiveSeen) << what;
    for (Atomic* atomic : set.atomics)
    {
        const Sphere s = *Atomic::GetWorldBoundingSphere(atomic);
        bool collides = (atomic->object.flags & kAtomicCollisionTest) != 0;
        double gap = 0, distance = 0;
        Sphere query = {};
        switch (p.type)
        {
        case kIntersectLine:
        {
            double g = 0;
            gap = SegmentDistance(ToD(s.centre), ToD(p.data.line.start), ToD(p.data.line.end), &g) - s.radius;
            distance = g;
            break;
        }
        case kIntersectBox:
        {
            D3 c = ToD(s.centre);
            D3 nearest = {std::clamp<double>(c.x, p.data.box.inf.x, p.data.box.sup.x),
                          std::clamp<double>(c.y, p.data.box.inf.y, p.data.box.sup.y),
                          std::clamp<double>(c.z, p.data.box.inf.z, p.data.box.sup.z)};
            gap = std::sqrt(Dot(c - nearest, c - nearest)) - s.radius;
            break;
        }
        default:
        {
            if (p.type == kIntersectPoint)
                query = {p.data.point, 0.0f};
            else if (p.type == kIntersectSphere)
                query = p.data.sphere;
            else
            {
                query = *Atomic::GetWorldBoundingSphere(p.data.atomic);
                collides = collides && atomic != p.data.atomic;
            }
            D3 w = ToD(s.centre) - ToD(query.centre);
            double reach = double(query.radius) + s.radius;
            gap = std::sqrt(Dot(w, w)) - reach;
            distance = std::sqrt(Dot(w, w)) / reach;
        }
        }
        if (std::fabs(gap) < 1e-3)
            continue;
        auto it = got.hits.find({atomic, 0});
        bool expected = collides && gap < 0;
        EXPECT_EQ(it != got.hits.end(), expected) << what << " gap " << gap;
        if (expected && it != got.hits.end() && p.type != kIntersectBox)
        {
            EXPECT_NEAR(it->second, distance, 2e-3) << what;
        }
    }
}

TEST_F(CollisionQueries, WorldQueriesMatchBruteForceOverRandomWorlds)
{
    std::mt19937 rng(2026);
    int32_t triangleHits = 0, atomicHits = 0;
    for (int32_t w = 0; w < 3; ++w)
    {
        RandomWorld world(rng, 400 + 200 * w, 12 + 8 * w, w == 1);
        AtomicSet atomics;
        AddRandomAtomics(rng, world.Get(), 40, &atomics);
        for (int32_t type : {kIntersectLine, kIntersectPoint, kIntersectSphere, kIntersectBox, kIntersectAtomic})
            for (int32_t i = 0; i < 60; ++i)
            {
                IntersectionPrimitive p =
                    type == kIntersectAtomic ? IntersectionPrimitive{} : RandomPrimitive(rng, type);
                p.type = type;
                Sphere atomicSphere = {};
                if (type == kIntersectAtomic)
                {
                    p.data.atomic = atomics.atomics[size_t(i) % atomics.atomics.size()];
                    atomicSphere = *Atomic::GetWorldBoundingSphere(p.data.atomic);
                }
                std::string what =
                    "world " + std::to_string(w) + " type " + std::to_string(type) + " case " + std::to_string(i);
                // Triangles.
                Collector got;
                got.expectedPrimitive = &p;
                World::ForAllTriangleIntersections(world.Get(), &p, OnTriangle, &got);
                EXPECT_EQ(got.duplicates, 0) << what;
                EXPECT_TRUE(got.primitiveSeen) << what;
                ExpectSameHits(got.hits, BruteForceTriangles(world, p, atomicSphere), 1e-4f, what);
                triangleHits += int32_t(got.hits.size());
                // Atomics.
                CheckAtomics(world, atomics, p, what);
                Collector counted;
                counted.expectedPrimitive = &p;
                World::ForAllAtomicIntersections(world.Get(), &p, OnAtomic, &counted);
                atomicHits += int32_t(counted.hits.size());
                // Sectors: every leaf whose partition box the shape clearly reaches is
                // reported, once; a sphere's leaves are exactly those within its radius.
                Collector sectors;
                sectors.expectedPrimitive = &p;
                World::ForAllSectorIntersections(world.Get(), &p, OnSector, &sectors);
                EXPECT_EQ(sectors.duplicates, 0) << what;
                for (WorldSector* leaf : world.Leaves())
                {
                    bool reported = sectors.hits.count({leaf, 0}) != 0;
                    const BBox& b = leaf->box;
                    if (type == kIntersectSphere || type == kIntersectAtomic || type == kIntersectPoint)
                    {
                        Sphere s = type == kIntersectSphere  ? p.data.sphere
                                   : type == kIntersectPoint ? Sphere{p.data.point, 0.0f}
                                                             : atomicSphere;
                        D3 c = ToD(s.centre);
                        D3 nearest = {std::clamp<double>(c.x, b.inf.x, b.sup.x),
                                      std::clamp<double>(c.y, b.inf.y, b.sup.y),
                                      std::clamp<double>(c.z, b.inf.z, b.sup.z)};
                        double gap = std::sqrt(Dot(c - nearest, c - nearest)) - s.radius;
                        if (type != kIntersectPoint && std::fabs(gap) > 1e-3)
                        {
                            EXPECT_EQ(reported, gap < 0) << what;
                        }
                        if (type == kIntersectPoint && gap < -1e-3)
                        {
                            EXPECT_TRUE(reported) << what;
                        }
                    }
                    else if (type == kIntersectBox)
                    {
                        const BBox& q = p.data.box;
                        bool overlaps = q.inf.x < b.sup.x - 1e-3f && q.sup.x > b.inf.x + 1e-3f &&
                                        q.inf.y < b.sup.y - 1e-3f && q.sup.y > b.inf.y + 1e-3f &&
                                        q.inf.z < b.sup.z - 1e-3f && q.sup.z > b.inf.z + 1e-3f;
                        if (overlaps)
                        {
                            EXPECT_TRUE(reported) << what;
                        }
                    }
                    else
                    {
                        // The segment's middle lies in exactly one leaf, which must be reported.
                        const Line& l = p.data.line;
                        Vector m = {(l.start.x + l.end.x) / 2, (l.start.y + l.end.y) / 2, (l.start.z + l.end.z) / 2};
                        if (m.x > b.inf.x && m.x < b.sup.x && m.y > b.inf.y && m.y < b.sup.y && m.z > b.inf.z &&
                            m.z < b.sup.z)
                        {
                            EXPECT_TRUE(reported) << what;
                        }
                    }
                }
                if (type == kIntersectPoint)
                {
                    EXPECT_TRUE(got.hits.empty()) << what;
                }
            }
    }
    // The worlds are dense enough that the comparisons are not of empty sets.
    EXPECT_GT(triangleHits, 400);
    EXPECT_GT(atomicHits, 60);
}

// ---- One atomic's triangles ---------------------------------------------------------------------------------

struct ModelCase
{
    bool tree;
    bool morphed;
};

Geometry* RandomGeometry(std::mt19937& rng, bool tree, bool morphed)
{
    std::vector<float> positions;
    TriangleList triangles;
    RandomTriangles(rng, 200, 5.0f, 1.0f, &positions, &triangles);
    auto numVertices = int32_t(positions.size() / 3);
    Geometry* g = Geometry::Create(numVertices, int32_t(triangles.size()), kGeometryPositions);
    if (morphed)
        Geometry::AddMorphTargets(g, 1);
    std::uniform_real_distribution<float> wobble(-1.0f, 1.0f);
    for (int32_t v = 0; v < numVertices; ++v)
    {
        g->morphTargets[0].positions[v] = {positions[3 * size_t(v)], positions[3 * size_t(v) + 1],
                                           positions[3 * size_t(v) + 2]};
        if (morphed)
            g->morphTargets[1].positions[v] = {positions[3 * size_t(v)] + wobble(rng),
                                               positions[3 * size_t(v) + 1] + wobble(rng),
                                               positions[3 * size_t(v) + 2] + wobble(rng)};
    }
    for (size_t i = 0; i < triangles.size(); ++i)
        Geometry::SetTriangleVertices(g, &g->triangles[i], triangles[i][0], triangles[i][1], triangles[i][2]);
    for (int32_t m = 0; m < g->numMorphTargets; ++m)
        g->morphTargets[m].boundingSphere = {{0, 0, 0}, 10.0f};
    if (tree)
        Collision::SetGeometryTree(g, BuildTree(positions, triangles, 3));
    return g;
}

/// The triangles a brute-force loop finds in model space.
Hits BruteForceModel(Atomic* atomic, const IntersectionPrimitive& p)
{
    Hits hits;
    Matrix inverse;
    Matrix::Invert(&inverse, Frame::GetWorldMatrix(atomic->object.frame));
    const Geometry* g = atomic->geometry;
    float f = atomic->interpolator.position * atomic->interpolator.recipTime;
    auto position = [&](int32_t v)
    {
        const Vector& a = g->morphTargets[0].positions[v];
        if (g->numMorphTargets < 2)
            return a;
        const Vector& from = g->morphTargets[atomic->interpolator.startTarget].positions[v];
        const Vector& to = g->morphTargets[atomic->interpolator.endTarget].positions[v];
        return Vector{from.x + f * (to.x - from.x), from.y + f * (to.y - from.y), from.z + f * (to.z - from.z)};
    };
    Vector points[2];
    Sphere sphere = {};
    if (p.type == kIntersectLine)
        Vector::TransformPoints(points, &p.data.line.start, 2, &inverse);
    else
    {
        const Sphere& world =
            p.type == kIntersectSphere ? p.data.sphere : *Atomic::GetWorldBoundingSphere(p.data.atomic);
        Vector::TransformPoint(&sphere.centre, &world.centre, &inverse);
        sphere.radius = world.radius * Vector::Length(&inverse.at);
    }
    for (int32_t i = 0; i < g->numTriangles; ++i)
    {
        Vector v[3] = {position(g->triangles[i].vertex[0]), position(g->triangles[i].vertex[1]),
                       position(g->triangles[i].vertex[2])};
        float distance = 0;
        Vector normal;
        if (p.type == kIntersectLine)
        {
            Vector d = {points[1].x - points[0].x, points[1].y - points[0].y, points[1].z - points[0].z};
            if (Intersection::LineTriangle(&points[0], &d, &v[0], &v[1], &v[2], &distance))
                hits[{nullptr, i}] = distance;
        }
        else if (Intersection::SphereTriangle(&sphere, &v[0], &v[1], &v[2], &normal, &distance))
            hits[{nullptr, i}] = distance / sphere.radius;
    }
    return hits;
}

TEST_F(CollisionQueries, AtomicQueriesWorkInModelSpaceWithAndWithoutTreesAndWhileMorphing)
{
    std::mt19937 rng(141);
    std::uniform_real_distribution<float> at(-12.0f, 12.0f), angle(0.0f, 360.0f), unit(0.0f, 1.0f);
    int32_t hits = 0;
    const ModelCase cases[] = {{true, false}, {false, false}, {false, true}, {true, true}};
    for (const ModelCase& c : cases)
        for (int32_t round = 0; round < 3; ++round)
        {
            Geometry* g = RandomGeometry(rng, c.tree, c.morphed);
            Atomic* atomic = Atomic::Create();
            Atomic::SetGeometry(atomic, g, 0);
            Geometry::Destroy(g);
            if (c.morphed)
                atomic->interpolator = {0, 0, 1, 2.0f, 0.5f, unit(rng) * 2.0f};
            Frame* frame = Frame::Create();
            Vector axis = {unit(rng), unit(rng), 1.0f}, scale = {1.5f, 1.5f, 1.5f}, where = {at(rng), at(rng), at(rng)};
            Frame::Rotate(frame, &axis, angle(rng), kCombineReplace);
            if (round == 1)
                Frame::Scale(frame, &scale, kCombinePostConcat);
            Frame::Translate(frame, &where, kCombinePostConcat);
            Atomic::SetFrame(atomic, frame);
            Atomic* other = Atomic::Create();
            Geometry* ball = Geometry::CreateEmptyWithRadius(3.0f);
            Atomic::SetGeometry(other, ball, 0);
            Geometry::Destroy(ball);
            Frame* otherFrame = Frame::Create();
            Atomic::SetFrame(other, otherFrame);
            for (int32_t i = 0; i < 40; ++i)
            {
                int32_t type = i % 4 == 3 ? kIntersectAtomic : i % 2 == 0 ? kIntersectLine : kIntersectSphere;
                IntersectionPrimitive p = {};
                p.type = type;
                Vector centre = {where.x + at(rng) * 0.5f, where.y + at(rng) * 0.5f, where.z + at(rng) * 0.5f};
                if (type == kIntersectLine)
                    p.data.line = {{centre.x + at(rng), centre.y + at(rng), centre.z + at(rng)},
                                   {centre.x - at(rng), centre.y - at(rng), centre.z - at(rng)}};
                else if (type == kIntersectSphere)
                    p.data.sphere = {centre, 1.0f + 3.0f * unit(rng)};
                else
                {
                    Frame::Translate(otherFrame, &centre, kCombineReplace);
                    p.data.atomic = other;
                }
                Collector got;
                got.expectedPrimitive = &p;
                Atomic::ForAllIntersections(atomic, &p, OnAtomicTriangle, &got);
                EXPECT_EQ(got.duplicates, 0);
                EXPECT_TRUE(got.primitiveSeen);
                std::string what = std::string(c.tree ? "tree" : "no tree") + (c.morphed ? " morphed" : "") +
                                   " round " + std::to_string(round) + " case " + std::to_string(i);
                ExpectSameHits(got.hits, BruteForceModel(atomic, p), 1e-4f, what);
                hits += int32_t(got.hits.size());
            }
            // Points and boxes are not tested against one atomic's triangles.
            for (int32_t type : {int32_t(kIntersectPoint), int32_t(kIntersectBox), 0, 6})
            {
                IntersectionPrimitive p = RandomPrimitive(rng, type == 0 || type == 6 ? kIntersectBox : type);
                p.type = type;
                Collector got;
                Atomic::ForAllIntersections(atomic, &p, OnAtomicTriangle, &got);
                EXPECT_EQ(got.calls, 0) << type;
            }
            Atomic::Destroy(other);
            Frame::Destroy(otherFrame);
            Atomic::Destroy(atomic);
            Frame::Destroy(frame);
        }
    EXPECT_GT(hits, 300);
}

TEST_F(CollisionQueries, AtomicLineHitIsReportedInModelSpace)
{
    // One triangle facing +z in model space; the frame turns it 90 degrees about z and
    // moves it to x = 10, so model (0.25, 0.25, 0) lies at world (9.75, 0.25, 0).
    Geometry* g = Geometry::Create(3, 1, kGeometryPositions);
    g->morphTargets[0].positions[0] = kA;
    g->morphTargets[0].positions[1] = kB;
    g->morphTargets[0].positions[2] = kC;
    Geometry::SetTriangleVertices(g, &g->triangles[0], 0, 1, 2);
    Atomic* atomic = Atomic::Create();
    Atomic::SetGeometry(atomic, g, 0);
    Geometry::Destroy(g);
    Frame* frame = Frame::Create();
    Vector z = {0, 0, 1}, where = {10, 0, 0};
    Frame::Rotate(frame, &z, 90.0f, kCombineReplace);
    Frame::Translate(frame, &where, kCombinePostConcat);
    Atomic::SetFrame(atomic, frame);
    struct Seen
    {
        int32_t calls = 0;
        float distance = 0;
        Vector normal = {}, point = {};
    } seen;
    IntersectionPrimitive p = {};
    p.type = kIntersectLine;
    p.data.line = {{9.75f, 0.25f, 2}, {9.75f, 0.25f, -2}};
    Atomic::ForAllIntersections(
        atomic, &p,
        [](IntersectionPrimitive*, CollisionTriangle* t, float distance, void* data)
        {
            auto* s = static_cast<Seen*>(data);
            ++s->calls;
            s->distance = distance;
            s->normal = t->normal;
            s->point = *t->vertices[1];
            return t;
        },
        &seen);
    EXPECT_EQ(seen.calls, 1);
    EXPECT_NEAR(seen.distance, 0.5f, 1e-5f);
    EXPECT_NEAR(seen.normal.z, 1.0f, 1e-3f);
    EXPECT_EQ(seen.point.x, 1.0f); // model space
    Atomic::Destroy(atomic);
    Frame::Destroy(frame);
}

// ---- Stamps, skips and stops ---------------------------------------------------------------------------------

/// Three leaves along x (below -10, -10 to 10, above 10) in one world, each with a tree.
class ThreeLeaves
{
public:
    ThreeLeaves()
    {
        World::InitRecord(&mWorld);
        MaterialList::Init(&mWorld.materials);
        const float bounds[4] = {-100, -10, 10, 100};
        for (int32_t i = 0; i < 3; ++i)
        {
            SectorPtr sector = MakeSector();
            sector->box = {{bounds[i + 1], 100, 100}, {bounds[i], -100, -100}};
            float x = (bounds[i] + bounds[i + 1]) / 2;
            mPositions[i] = {Vector{x, 0, 0}, Vector{x + 1, 0, 0}, Vector{x, 1, 0}};
            mTriangles[i] = {{0, 1, 2}, 0};
            sector->positions = mPositions[i].data();
            sector->triangles = &mTriangles[i];
            sector->numTriangles = 1;
            sector->numVertices = 3;
            Collision::SetSectorTree(sector.get(),
                                     BuildTree({x, 0, 0, x + 1, 0, 0, x, 1, 0}, TriangleList{{0, 1, 2}}, 4));
            mLeaves.push_back(std::move(sector));
        }
        mPlanes[1] = {0, 10, Node(1), Node(2), 10, 10};
        mPlanes[0] = {0, -10, Node(0), reinterpret_cast<SectorNode*>(&mPlanes[1]), -10, -10};
        mWorld.rootSector = reinterpret_cast<SectorNode*>(&mPlanes[0]);
    }
    ~ThreeLeaves() { MaterialList::Deinit(&mWorld.materials); }

    World* Get() { return &mWorld; }
    WorldSector* Leaf(int32_t i) { return mLeaves[size_t(i)].get(); }
    SectorNode* Node(int32_t i) { return reinterpret_cast<SectorNode*>(mLeaves[size_t(i)].get()); }

private:
    World mWorld{};
    PlaneSector mPlanes[2];
    std::vector<SectorPtr> mLeaves;
    std::array<Vector, 3> mPositions[3];
    Triangle mTriangles[3];
};

Atomic* MakeAtomic(World* world, Vector at, float radius, std::vector<Frame*>* frames)
{
    Atomic* atomic = Atomic::Create();
    Geometry* g = Geometry::CreateEmptyWithRadius(radius);
    Atomic::SetGeometry(atomic, g, 0);
    Geometry::Destroy(g);
    Frame* frame = Frame::Create();
    Frame::Translate(frame, &at, kCombineReplace);
    Atomic::SetFrame(atomic, frame);
    World::AddAtomic(world, atomic);
    frames->push_back(frame);
    return atomic;
}

TEST_F(CollisionQueries, AtomicTiedToThreeSectorsIsReportedOncePerQuery)
{
    ThreeLeaves world;
    std::vector<Frame*> frames;
    Atomic* wide = MakeAtomic(world.Get(), {0, 0, 0}, 30.0f, &frames);
    Atomic* probe = MakeAtomic(world.Get(), {0, 40, 0}, 12.0f, &frames);
    Atomic* ghost = MakeAtomic(world.Get(), {0, 0, 0}, 5.0f, &frames);
    ghost->object.flags &= uint8_t(~kAtomicCollisionTest);
    Frame::SyncDirtyList();
    int32_t ties = 0;
    for (ListLink* l = wide->sectorTies.next; l != &wide->sectorTies; l = l->next)
        ++ties;
    ASSERT_EQ(ties, 3);
    IntersectionPrimitive shapes[4] = {};
    shapes[0].type = kIntersectLine;
    shapes[0].data.line = {{-50, 0, 0}, {50, 0, 0}};
    shapes[1].type = kIntersectBox;
    shapes[1].data.box = {{50, 1, 1}, {-50, -1, -1}};
    shapes[2].type = kIntersectSphere;
    shapes[2].data.sphere = {{0, 0, 0}, 40.0f};
    shapes[3].type = kIntersectAtomic;
    shapes[3].data.atomic = probe;
    for (IntersectionPrimitive& p : shapes)
        for (int32_t again = 0; again < 2; ++again)
        {
            Collector got;
            got.expectedPrimitive = &p;
            World::ForAllAtomicIntersections(world.Get(), &p, OnAtomic, &got);
            EXPECT_EQ(got.hits.count({wide, 0}), 1u) << p.type;
            EXPECT_EQ(got.duplicates, 0) << p.type;
            EXPECT_EQ(got.hits.count({ghost, 0}), 0u) << p.type;
            // An atomic primitive never reports itself.
            EXPECT_EQ(got.hits.count({probe, 0}), p.type == kIntersectAtomic ? 0u : got.hits.count({probe, 0}));
        }
    for (Atomic* a : {wide, probe, ghost})
        Atomic::Destroy(a);
    for (Frame* f : frames)
        Frame::Destroy(f);
}

TEST_F(CollisionQueries, NullFromACallbackStopsTheQueryAfterOneReport)
{
    ThreeLeaves world;
    std::vector<Frame*> frames;
    std::vector<Atomic*> atomics;
    for (float x : {-50.0f, 0.0f, 50.0f})
        atomics.push_back(MakeAtomic(world.Get(), {x, 0, 0}, 2.0f, &frames));
    Frame::SyncDirtyList();
    IntersectionPrimitive p = {};
    p.type = kIntersectBox;
    p.data.box = {{100, 5, 5}, {-100, -5, -5}};
    Collector sectors, triangles, atoms, model;
    sectors.stopAfter = triangles.stopAfter = atoms.stopAfter = model.stopAfter = 1;
    sectors.expectedPrimitive = triangles.expectedPrimitive = atoms.expectedPrimitive = &p;
    World::ForAllSectorIntersections(world.Get(), &p, OnSector, &sectors);
    World::ForAllTriangleIntersections(world.Get(), &p, OnTriangle, &triangles);
    World::ForAllAtomicIntersections(world.Get(), &p, OnAtomic, &atoms);
    EXPECT_EQ(sectors.calls, 1);
    EXPECT_EQ(triangles.calls, 1);
    EXPECT_EQ(atoms.calls, 1);
    // Without the stop every leaf, triangle and atomic is reported, in walk order.
    Collector all;
    all.expectedPrimitive = &p;
    World::ForAllTriangleIntersections(world.Get(), &p, OnTriangle, &all);
    EXPECT_EQ(all.calls, 3);
    // One atomic's triangles stop the same way.
    Geometry* g = Geometry::Create(3, 2, kGeometryPositions);
    g->morphTargets[0].positions[0] = kA;
    g->morphTargets[0].positions[1] = kB;
    g->morphTargets[0].positions[2] = kC;
    Geometry::SetTriangleVertices(g, &g->triangles[0], 0, 1, 2);
    Geometry::SetTriangleVertices(g, &g->triangles[1], 0, 1, 2);
    Atomic* one = Atomic::Create();
    Atomic::SetGeometry(one, g, 0);
    Geometry::Destroy(g);
    IntersectionPrimitive line = {};
    line.type = kIntersectLine;
    line.data.line = {{0.25f, 0.25f, 1}, {0.25f, 0.25f, -1}};
    model.expectedPrimitive = &line;
    Atomic::ForAllIntersections(one, &line, OnAtomicTriangle, &model);
    EXPECT_EQ(model.calls, 1);
    Atomic::Destroy(one);
    for (Atomic* a : atomics)
        Atomic::Destroy(a);
    for (Frame* f : frames)
        Frame::Destroy(f);
}

TEST_F(CollisionQueries, BoxHoldingAWholeTreeReportsItsTrianglesUntested)
{
    // The tree claims a small box inside the query although its triangles lie far away:
    // only a query that takes the whole tree without testing reports them.
    ThreeLeaves world;
    CollisionTree* tree = Collision::GetSectorTree(world.Leaf(1));
    tree->box = {{1, 1, 1}, {-1, -1, -1}};
    world.Leaf(1)->positions[0] = {0, 50, 50};
    world.Leaf(1)->positions[1] = {1, 50, 50};
    world.Leaf(1)->positions[2] = {0, 51, 50};
    IntersectionPrimitive p = {};
    p.type = kIntersectBox;
    p.data.box = {{2, 2, 2}, {-2, -2, -2}};
    Collector got;
    got.expectedPrimitive = &p;
    World::ForAllTriangleIntersections(world.Get(), &p, OnTriangle, &got);
    EXPECT_EQ(got.hits.count({world.Leaf(1), 0}), 1u);
    EXPECT_EQ(got.hits.size(), 1u);
    // A sphere whose inner box (0.57 of its radius) holds the tree's box does the same,
    // with the triangle's plane distance: the plane z = 50 lies 50 behind the centre.
    IntersectionPrimitive sphere = {};
    sphere.type = kIntersectSphere;
    sphere.data.sphere = {{0, 0, 0}, 2.0f};
    Collector whole;
    whole.expectedPrimitive = &sphere;
    World::ForAllTriangleIntersections(world.Get(), &sphere, OnTriangle, &whole);
    ASSERT_EQ(whole.hits.size(), 1u);
    EXPECT_NEAR(whole.hits.begin()->second, -50.0f / 2.0f, 0.01f);
    // A box that cuts the tree's box tests the triangle and finds it elsewhere.
    p.data.box = {{0.5f, 2, 2}, {-2, -2, -2}};
    Collector tested;
    tested.expectedPrimitive = &p;
    World::ForAllTriangleIntersections(world.Get(), &p, OnTriangle, &tested);
    EXPECT_EQ(tested.hits.size(), 0u);
}

TEST_F(CollisionQueries, TrianglesOfNoAreaAreNeverReportedWhereverTheTreePutsThem)
{
    // Leaf 1's triangle collapsed to a segment: it has no normal to report.
    ThreeLeaves world;
    world.Leaf(1)->positions[2] = world.Leaf(1)->positions[1];
    IntersectionPrimitive shapes[3] = {};
    shapes[0].type = kIntersectBox; // holds the whole tree: untested
    shapes[0].data.box = {{2, 2, 2}, {-2, -2, -2}};
    shapes[1].type = kIntersectBox; // cuts it: tested
    shapes[1].data.box = {{0.5f, 2, 2}, {-2, -2, -2}};
    shapes[2].type = kIntersectSphere; // its inner box holds the tree
    shapes[2].data.sphere = {{0, 0, 0}, 4.0f};
    for (IntersectionPrimitive& shape : shapes)
    {
        Collector got;
        got.expectedPrimitive = &shape;
        World::ForAllTriangleIntersections(world.Get(), &shape, OnTriangle, &got);
        EXPECT_EQ(got.hits.count({world.Leaf(1), 0}), 0u) << shape.type;
    }
}

TEST_F(CollisionQueries, PointsAndUnknownTypesFindNoTriangles)
{
    ThreeLeaves world;
    for (int32_t type : {int32_t(kIntersectPoint), 0, 6, -1})
    {
        IntersectionPrimitive p = {};
        p.type = type;
        p.data.point = {0.25f, 0.25f, 0};
        Collector triangles, sectors;
        World::ForAllTriangleIntersections(world.Get(), &p, OnTriangle, &triangles);
        EXPECT_EQ(triangles.calls, 0) << type;
        World::ForAllSectorIntersections(world.Get(), &p, OnSector, &sectors);
        if (type == kIntersectPoint)
        {
            // The leaf whose extents hold the point.
            EXPECT_EQ(sectors.calls, 1);
            EXPECT_EQ(sectors.hits.count({world.Leaf(1), 0}), 1u);
        }
        else
            EXPECT_EQ(sectors.calls, 0) << type;
    }
}

TEST_F(CollisionQueries, ZeroLengthLinesMeetOnlyTheAtomicsAroundTheirPoint)
{
    ThreeLeaves world;
    std::vector<Frame*> frames;
    Atomic* near = MakeAtomic(world.Get(), {1, 0, 0}, 2.0f, &frames);
    Atomic* far = MakeAtomic(world.Get(), {6, 0, 0}, 2.0f, &frames);
    IntersectionPrimitive p = {};
    p.type = kIntersectLine;
    p.data.line = {{0, 0, 0}, {0, 0, 0}};
    Collector got;
    World::ForAllAtomicIntersections(world.Get(), &p, OnAtomic, &got);
    EXPECT_EQ(got.hits.count({near, 0}), 1u);
    EXPECT_EQ(got.hits.count({far, 0}), 0u);
    Atomic::Destroy(near);
    Atomic::Destroy(far);
    for (Frame* f : frames)
        Frame::Destroy(f);
}

TEST_F(CollisionQueries, MorphingAtomicWithTargetsItLacksReportsNothing)
{
    Geometry* g = Geometry::Create(3, 1, kGeometryPositions);
    Geometry::AddMorphTargets(g, 1);
    for (int32_t m = 0; m < 2; ++m)
    {
        g->morphTargets[m].positions[0] = kA;
        g->morphTargets[m].positions[1] = kB;
        g->morphTargets[m].positions[2] = kC;
    }
    Geometry::SetTriangleVertices(g, &g->triangles[0], 0, 1, 2);
    Atomic* atomic = Atomic::Create();
    Atomic::SetGeometry(atomic, g, 0);
    Geometry::Destroy(g);
    IntersectionPrimitive p = {};
    p.type = kIntersectLine;
    p.data.line = {{0.25f, 0.25f, 1}, {0.25f, 0.25f, -1}};
    for (int16_t end : {int16_t(1), int16_t(2), int16_t(-1)})
    {
        atomic->interpolator = {0, 0, end, 1.0f, 1.0f, 0.5f};
        Collector got;
        Atomic::ForAllIntersections(atomic, &p, OnAtomicTriangle, &got);
        EXPECT_EQ(got.calls, end == 1 ? 1 : 0) << end;
    }
    Atomic::Destroy(atomic);
}

TEST_F(CollisionQueries, SectorWalksGoDeeperThanTheirStackInPlace)
{
    // A world whose partition tree is a chain of 200 planes down the left, each holding a
    // leaf on its right that waits while the left is walked: the walks keep more pending entries than the 64 they hold
    // in place.
    constexpr int32_t kDepth = 200;
    World world{};
    World::InitRecord(&world);
    std::vector<PlaneSector> planes(kDepth);
    std::vector<SectorPtr> leaves;
    for (int32_t i = 0; i <= kDepth; ++i)
    {
        leaves.push_back(MakeSector());
        leaves.back()->box = {{100, 100, 100}, {-100, -100, -100}};
    }
    for (int32_t i = 0; i < kDepth; ++i)
        planes[size_t(i)] = {0,
                             0,
                             i + 1 < kDepth ? reinterpret_cast<SectorNode*>(&planes[size_t(i) + 1])
                                            : reinterpret_cast<SectorNode*>(leaves[size_t(kDepth)].get()),
                             reinterpret_cast<SectorNode*>(leaves[size_t(i)].get()),
                             10.0f,
                             -10.0f};
    world.rootSector = reinterpret_cast<SectorNode*>(&planes[0]);
    IntersectionPrimitive shapes[3] = {};
    shapes[0].type = kIntersectLine;
    shapes[0].data.line = {{-20, 0, 0}, {20, 0, 0}};
    shapes[1].type = kIntersectBox;
    shapes[1].data.box = {{1, 1, 1}, {-1, -1, -1}};
    shapes[2].type = kIntersectSphere;
    shapes[2].data.sphere = {{0, 0, 0}, 1.0f};
    for (IntersectionPrimitive& p : shapes)
    {
        Collector got;
        World::ForAllSectorIntersections(&world, &p, OnSector, &got);
        EXPECT_EQ(got.calls, kDepth + 1) << p.type;
        EXPECT_EQ(got.duplicates, 0) << p.type;
    }
}

} // namespace
