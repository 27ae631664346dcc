// The collision queries: which leaf sectors, world triangles and atomics a line, point,
// sphere, box or atomic reaches, and which triangles of one atomic's geometry it hits.
// Every query walks its trees with explicit stacks, tests candidates exactly and hands
// each hit at once to the caller's callback; nothing is allocated for the usual depths.
#include "collision.h"

#include "clump.h"
#include "engine.h"
#include "frame.h"
#include "geometry.h"
#include "mathsqrt.h"
#include "matrix.h"
#include "world.h"
#include "world_local.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace
{

/// Lines are followed a little beyond both ends and past every split, so that rounding
/// never loses a hit that the triangle test (with the same margin) would accept.
constexpr float kLineMargin = 0.00001f;
/// Half the side of a cube inside a unit sphere: a subtree within it needs no test.
constexpr float kInnerBoxScale = 0.57f;

Vector Sub(const Vector& a, const Vector& b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

Vector Cross(const Vector& a, const Vector& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

float Dot(const Vector& a, const Vector& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

Vector Reciprocals(const Vector& d)
{
    return {d.x != 0.0f ? 1.0f / d.x : 0.0f, d.y != 0.0f ? 1.0f / d.y : 0.0f, d.z != 0.0f ? 1.0f / d.z : 0.0f};
}

BBox BoxAround(const Sphere& sphere, float scale)
{
    float r = sphere.radius * scale;
    const Vector& c = sphere.centre;
    return {{c.x + r, c.y + r, c.z + r}, {c.x - r, c.y - r, c.z - r}};
}

float DistanceSquaredToBox(const Vector& point, const BBox& box)
{
    float sum = 0.0f;
    for (int32_t axis = 0; axis <= 8; axis += 4)
    {
        float c = AxisCoordinate(point, axis), lo = AxisCoordinate(box.inf, axis), hi = AxisCoordinate(box.sup, axis);
        float out = c < lo ? lo - c : c > hi ? c - hi : 0.0f;
        sum += out * out;
    }
    return sum;
}

bool BoxesOverlap(const BBox& a, const BBox& b)
{
    return a.inf.x <= b.sup.x && a.sup.x >= b.inf.x && a.inf.y <= b.sup.y && a.sup.y >= b.inf.y && a.inf.z <= b.sup.z &&
           a.sup.z >= b.inf.z;
}

Vector UnitNormal(const Vector& a, const Vector& b, const Vector& c)
{
    Vector n = Cross(Sub(b, a), Sub(c, a));
    float inv = Math::InvSqrt(Dot(n, n));
    return {n.x * inv, n.y * inv, n.z * inv};
}

/// The unit normal; false for a triangle of no area (or non-finite corners), which has none
/// and is never reported.
bool UnitNormalOf(const Vector& a, const Vector& b, const Vector& c, Vector* out)
{
    Vector n = Cross(Sub(b, a), Sub(c, a));
    float length2 = Dot(n, n);
    if (!(length2 > 0.0f) || !std::isfinite(length2))
        return false;
    float inv = Math::InvSqrt(length2);
    *out = {n.x * inv, n.y * inv, n.z * inv};
    return true;
}

void FillTriangle(CollisionTriangle* out, Vector* a, Vector* b, Vector* c, int32_t index, const Vector& normal)
{
    out->normal = normal;
    out->point = *a;
    out->index = index;
    out->vertices[0] = a;
    out->vertices[1] = b;
    out->vertices[2] = c;
}

/// Pending walk entries: in place for the depths the stored formats allow, on the heap
/// beyond them, since a world's partition tree from a file is not limited.
template <typename T, int32_t N> class PendingStack
{
public:
    void Push(const T& entry)
    {
        if (mCount < N)
            mInPlace[mCount] = entry;
        else
            mMore.push_back(entry);
        ++mCount;
    }
    bool Pop(T* entry)
    {
        if (mCount == 0)
            return false;
        --mCount;
        if (mCount < N)
            *entry = mInPlace[mCount];
        else
        {
            *entry = mMore.back();
            mMore.pop_back();
        }
        return true;
    }

private:
    T mInPlace[N];
    std::vector<T> mMore;
    int32_t mCount = 0;
};

// ---- Line splits ------------------------------------------------------------------------------------

struct LineChild
{
    bool right;
    float t0, t1;
};

/// The children of a split (left values L, right values R) that the part [t0, t1] of a
/// line reaches, in the order the line meets them, each with the part still to examine.
int32_t SplitLine(float s, float d, float recip, float L, float R, float t0, float t1, LineChild out[2])
{
    float c0 = s + t0 * d, c1 = s + t1 * d;
    if (d > 0.0f)
    {
        if (c1 < R)
        {
            out[0] = {false, t0, t1};
            return 1;
        }
        if (L < c0)
        {
            out[0] = {true, t0, t1};
            return 1;
        }
        out[0] = {false, t0, L < c1 ? t1 + (L - c1) * recip + kLineMargin : t1};
        out[1] = {true, R > c0 ? t0 + (R - c0) * recip - kLineMargin : t0, t1};
        return 2;
    }
    if (L < c1)
    {
        out[0] = {true, t0, t1};
        return 1;
    }
    if (c0 < R)
    {
        out[0] = {false, t0, t1};
        return 1;
    }
    out[0] = {true, t0, R > c1 ? t1 + (R - c1) * recip + kLineMargin : t1};
    out[1] = {false, L < c0 ? t0 + (L - c0) * recip - kLineMargin : t0, t1};
    return 2;
}

// ---- Sector walks --------------------------------------------------------------------------------------

constexpr int32_t kSectorStack = 64;

/// leaf(sector, t0, t1) for every leaf the segment reaches, in the order it runs through
/// them; false from leaf stops the walk, and then the result is false.
template <typename Leaf> bool WalkSectorsOnLine(const World* world, const Vector& s, const Vector& d, Leaf leaf)
{
    struct Entry
    {
        SectorNode* node;
        float t0, t1;
    };
    const Vector recip = Reciprocals(d);
    PendingStack<Entry, kSectorStack> stack;
    Entry e = {world->rootSector, -kLineMargin, 1.0f + kLineMargin};
    while (e.node)
    {
        if (e.node->type < 0)
        {
            if (!leaf(reinterpret_cast<WorldSector*>(e.node), e.t0, e.t1))
                return false;
            if (!stack.Pop(&e))
                break;
            continue;
        }
        const auto* plane = reinterpret_cast<const PlaneSector*>(e.node);
        int32_t a = plane->type;
        LineChild c[2];
        int32_t n = SplitLine(AxisCoordinate(s, a), AxisCoordinate(d, a), AxisCoordinate(recip, a), plane->leftExtent,
                              plane->rightExtent, e.t0, e.t1, c);
        if (n == 2)
            stack.Push({c[1].right ? plane->right : plane->left, c[1].t0, c[1].t1});
        e = {c[0].right ? plane->right : plane->left, c[0].t0, c[0].t1};
    }
    return true;
}

/// leaf(sector) for every leaf the box reaches, left before right.
template <typename Leaf> bool WalkSectorsInBox(const World* world, const BBox& box, Leaf leaf)
{
    PendingStack<SectorNode*, kSectorStack> stack;
    SectorNode* node = world->rootSector;
    while (node)
    {
        if (node->type < 0)
        {
            if (!leaf(reinterpret_cast<WorldSector*>(node)))
                return false;
            if (!stack.Pop(&node))
                break;
            continue;
        }
        const auto* plane = reinterpret_cast<const PlaneSector*>(node);
        int32_t a = plane->type;
        if (AxisCoordinate(box.sup, a) < plane->rightExtent)
            node = plane->left;
        else if (AxisCoordinate(box.inf, a) <= plane->leftExtent)
        {
            stack.Push(plane->right);
            node = plane->left;
        }
        else
            node = plane->right;
    }
    return true;
}

/// The leaves the box walk over the sphere's box reaches whose box lies within the radius.
template <typename Leaf> bool WalkSectorsInSphere(const World* world, const Sphere& sphere, Leaf leaf)
{
    const float r2 = sphere.radius * sphere.radius;
    return WalkSectorsInBox(world, BoxAround(sphere, 1.0f),
                            [&](WorldSector* sector)
                            { return DistanceSquaredToBox(sphere.centre, sector->box) > r2 || leaf(sector); });
}

// ---- Collision-tree walks ---------------------------------------------------------------------------------

/// A node of a tree walk: a split, or a run of positions (the root of a tree without
/// splits is one run of every triangle, more than a node's count byte can hold).
struct TreeNode
{
    int32_t split; ///< -1 for a run
    int32_t first;
    int32_t count;

    static TreeNode From(const CollisionTreeNode& node)
    {
        if (node.type == kCollisionNodeSplit)
            return {node.index, 0, 0};
        return {-1, node.index, node.type};
    }
    static TreeNode Root(const CollisionTree* tree)
    {
        if (tree->numSplits)
            return {0, 0, 0};
        return {-1, 0, tree->numTriangles};
    }
};

/// tri(position) for each position in the leaves the part [t0, t1] of the line reaches.
template <typename Tri>
bool WalkTreeOnLine(const CollisionTree* tree, const Vector& s, const Vector& d, float t0, float t1, Tri tri)
{
    struct Entry
    {
        TreeNode node;
        float t0, t1;
    };
    const Vector recip = Reciprocals(d);
    Entry stack[kCollisionWalkStack];
    int32_t pending = 0;
    Entry e = {TreeNode::Root(tree), t0, t1};
    for (;;)
    {
        if (e.node.split < 0)
        {
            for (int32_t p = e.node.first, end = e.node.first + e.node.count; p < end; ++p)
                if (!tri(p))
                    return false;
            if (pending == 0)
                return true;
            e = stack[--pending];
            continue;
        }
        const CollisionTreeSplit& split = tree->splits[e.node.split];
        int32_t a = split.leftNode.axis & 0x0C;
        LineChild c[2];
        int32_t n = SplitLine(AxisCoordinate(s, a), AxisCoordinate(d, a), AxisCoordinate(recip, a), split.leftValue,
                              split.rightValue, e.t0, e.t1, c);
        // Trees are checked for depth when read, so the stack cannot fill.
        if (n == 2 && pending < kCollisionWalkStack)
            stack[pending++] = {TreeNode::From(c[1].right ? split.rightNode : split.leftNode), c[1].t0, c[1].t1};
        e = {TreeNode::From(c[0].right ? split.rightNode : split.leftNode), c[0].t0, c[0].t1};
    }
}

/// The positions a whole subtree holds: from its leftmost leaf to the end of its rightmost.
void SubtreeRun(const CollisionTree* tree, int32_t split, int32_t* first, int32_t* end)
{
    const CollisionTreeNode* left = &tree->splits[split].leftNode;
    while (left->type == kCollisionNodeSplit)
        left = &tree->splits[left->index].leftNode;
    const CollisionTreeNode* right = &tree->splits[split].rightNode;
    while (right->type == kCollisionNodeSplit)
        right = &tree->splits[right->index].rightNode;
    *first = left->index;
    *end = right->index + right->type;
}

/// tri(position, test) for each position in the leaves the descent box reaches; test is
/// false where the node's contents lie wholly inside the clip box.
template <typename Tri> bool WalkTreeInBox(const CollisionTree* tree, const BBox& descent, const BBox& clip, Tri tri)
{
    struct Entry
    {
        TreeNode node;
        uint32_t clip; ///< bit 2i: may stick out below the minimum on axis i; bit 2i + 1: above the maximum
    };
    uint32_t bits = 0;
    for (int32_t a = 0; a <= 8; a += 4)
    {
        if (AxisCoordinate(tree->box.inf, a) < AxisCoordinate(clip.inf, a))
            bits |= 1u << (a / 2);
        if (AxisCoordinate(tree->box.sup, a) > AxisCoordinate(clip.sup, a))
            bits |= 2u << (a / 2);
    }
    Entry stack[kCollisionWalkStack];
    int32_t pending = 0;
    Entry e = {TreeNode::Root(tree), bits};
    for (;;)
    {
        int32_t first = 0, end = 0;
        bool leaf = e.node.split < 0;
        if (leaf || e.clip == 0)
        {
            if (leaf)
            {
                first = e.node.first;
                end = first + e.node.count;
            }
            else
                SubtreeRun(tree, e.node.split, &first, &end);
            for (int32_t p = first; p < end; ++p)
                if (!tri(p, e.clip != 0))
                    return false;
            if (pending == 0)
                return true;
            e = stack[--pending];
            continue;
        }
        const CollisionTreeSplit& split = tree->splits[e.node.split];
        int32_t a = split.leftNode.axis & 0x0C;
        if (AxisCoordinate(descent.sup, a) < split.rightValue)
            e = {TreeNode::From(split.leftNode), e.clip};
        else if (AxisCoordinate(descent.inf, a) <= split.leftValue)
        {
            uint32_t leftBits = e.clip, rightBits = e.clip;
            if (AxisCoordinate(clip.sup, a) >= split.leftValue)
                leftBits &= ~(2u << (a / 2));
            if (AxisCoordinate(clip.inf, a) <= split.rightValue)
                rightBits &= ~(1u << (a / 2));
            if (pending < kCollisionWalkStack)
                stack[pending++] = {TreeNode::From(split.rightNode), rightBits};
            e = {TreeNode::From(split.leftNode), leftBits};
        }
        else
            e = {TreeNode::From(split.rightNode), e.clip};
    }
}

// ---- Triangles of one owner ----------------------------------------------------------------------------

/// The triangle records and positions of a leaf sector or a geometry's morph target.
struct TriangleSet
{
    const Triangle* triangles;
    Vector* positions;
    int32_t count;
};

/// Hit callback: (triangle record, distance); false stops the query.
template <typename Hit>
bool LineInTriangles(const TriangleSet& set, const CollisionTree* tree, const Vector& s, const Vector& d, float t0,
                     float t1, Hit hit)
{
    auto test = [&](int32_t index)
    {
        const Triangle& t = set.triangles[index];
        Vector *a = &set.positions[t.vertex[0]], *b = &set.positions[t.vertex[1]], *c = &set.positions[t.vertex[2]];
        float along = 0.0f;
        if (!Intersection::LineTriangle(&s, &d, a, b, c, &along))
            return true;
        CollisionTriangle record;
        FillTriangle(&record, a, b, c, index, UnitNormal(*a, *b, *c));
        return hit(&record, along);
    };
    if (!tree)
    {
        for (int32_t i = 0; i < set.count; ++i)
            if (!test(i))
                return false;
        return true;
    }
    return WalkTreeOnLine(tree, s, d, t0, t1, [&](int32_t p) { return test(CollisionTree::TriangleAt(tree, p)); });
}

float PerRadius(float distance, float radius)
{
    // A sphere of radius 0 touches only where its centre lies: call that distance 0.
    return radius > 0.0f ? distance / radius : 0.0f;
}

bool SphereTriangleHit(const Sphere& sphere, Vector* a, Vector* b, Vector* c, int32_t index, bool test,
                       CollisionTriangle* record, float* distance)
{
    Vector normal;
    float plane = 0.0f;
    if (test)
    {
        if (!Intersection::SphereTriangle(&sphere, a, b, c, &normal, &plane))
            return false;
    }
    else
    {
        // Inside the inner box no test is needed, but a triangle of no area has no normal.
        if (!UnitNormalOf(*a, *b, *c, &normal))
            return false;
        plane = Dot(Sub(sphere.centre, *a), normal);
    }
    FillTriangle(record, a, b, c, index, normal);
    *distance = PerRadius(plane, sphere.radius);
    return true;
}

template <typename Hit>
bool SphereInTriangles(const TriangleSet& set, const CollisionTree* tree, const Sphere& sphere, Hit hit)
{
    auto visit = [&](int32_t index, bool test)
    {
        const Triangle& t = set.triangles[index];
        CollisionTriangle record;
        float distance = 0.0f;
        if (!SphereTriangleHit(sphere, &set.positions[t.vertex[0]], &set.positions[t.vertex[1]],
                               &set.positions[t.vertex[2]], index, test, &record, &distance))
            return true;
        return hit(&record, distance);
    };
    if (!tree)
    {
        for (int32_t i = 0; i < set.count; ++i)
            if (!visit(i, true))
                return false;
        return true;
    }
    return WalkTreeInBox(tree, BoxAround(sphere, 1.0f), BoxAround(sphere, kInnerBoxScale),
                         [&](int32_t p, bool test) { return visit(CollisionTree::TriangleAt(tree, p), test); });
}

template <typename Hit> bool BoxInTriangles(const TriangleSet& set, const CollisionTree* tree, const BBox& box, Hit hit)
{
    return WalkTreeInBox(tree, box, box,
                         [&](int32_t p, bool test)
                         {
                             int32_t index = CollisionTree::TriangleAt(tree, p);
                             const Triangle& t = set.triangles[index];
                             Vector *a = &set.positions[t.vertex[0]], *b = &set.positions[t.vertex[1]],
                                    *c = &set.positions[t.vertex[2]];
                             Vector normal;
                             if (!UnitNormalOf(*a, *b, *c, &normal) ||
                                 (test && !Intersection::BoxTriangle(&box, a, b, c)))
                                 return true;
                             CollisionTriangle record;
                             FillTriangle(&record, a, b, c, index, normal);
                             return hit(&record, 0.0f);
                         });
}

TriangleSet SectorTriangles(WorldSector* sector)
{
    return {static_cast<const Triangle*>(sector->triangles), sector->positions, sector->numTriangles};
}

/// The sector's tree when the sector has the arrays the tree indexes: a native world's
/// leaves keep none, and answer no triangle hits.
const CollisionTree* TreeWithTriangles(WorldSector* sector)
{
    if (!sector->triangles || !sector->positions)
        return nullptr;
    return Collision::GetSectorTree(sector);
}

// ---- World triangles ------------------------------------------------------------------------------------

void WorldTrianglesOnLine(World* world, IntersectionPrimitive* primitive, const Line& line,
                          CollisionTriangleCallback callback, void* data)
{
    const Vector d = Sub(line.end, line.start);
    WalkSectorsOnLine(world, line.start, d,
                      [&](WorldSector* sector, float t0, float t1)
                      {
                          const CollisionTree* tree = TreeWithTriangles(sector);
                          if (!tree)
                              return true;
                          return LineInTriangles(SectorTriangles(sector), tree, line.start, d, t0, t1,
                                                 [&](CollisionTriangle* t, float along)
                                                 { return callback(primitive, sector, t, along, data) != nullptr; });
                      });
}

void WorldTrianglesInSphere(World* world, IntersectionPrimitive* primitive, const Sphere& sphere,
                            CollisionTriangleCallback callback, void* data)
{
    const BBox around = BoxAround(sphere, 1.0f);
    const float r2 = sphere.radius * sphere.radius;
    WalkSectorsInBox(
        world, around,
        [&](WorldSector* sector)
        {
            const CollisionTree* tree = TreeWithTriangles(sector);
            if (!tree || DistanceSquaredToBox(sphere.centre, tree->box) > r2 || !BoxesOverlap(tree->box, around))
                return true;
            return SphereInTriangles(SectorTriangles(sector), tree, sphere,
                                     [&](CollisionTriangle* t, float distance)
                                     { return callback(primitive, sector, t, distance, data) != nullptr; });
        });
}

void WorldTrianglesInBox(World* world, IntersectionPrimitive* primitive, const BBox& box,
                         CollisionTriangleCallback callback, void* data)
{
    WalkSectorsInBox(world, box,
                     [&](WorldSector* sector)
                     {
                         const CollisionTree* tree = TreeWithTriangles(sector);
                         if (!tree || !BoxesOverlap(tree->box, box))
                             return true;
                         return BoxInTriangles(SectorTriangles(sector), tree, box,
                                               [&](CollisionTriangle* t, float distance)
                                               { return callback(primitive, sector, t, distance, data) != nullptr; });
                     });
}

// ---- Atomics in the world ----------------------------------------------------------------------------------

/// visit(atomic) for the colliding atomics tied to the sector not yet met by this query.
template <typename Visit> bool ForTiedAtomics(WorldSector* sector, uint32_t stamp, const Atomic* self, Visit visit)
{
    for (ListLink* link = sector->atomicTies.next; link != &sector->atomicTies;)
    {
        ListLink* next = link->next;
        auto* atomic = static_cast<Atomic*>(SectorTie::FromSectorLink(link)->object);
        link = next;
        if (!atomic || !(atomic->object.flags & kAtomicCollisionTest) || atomic == self)
            continue;
        uint32_t* seen = Collision::AtomicStamp(atomic);
        if (*seen == stamp)
            continue;
        *seen = stamp;
        if (!visit(atomic))
            return false;
    }
    return true;
}

void AtomicsOnLine(World* world, IntersectionPrimitive* primitive, const Line& line, uint32_t stamp,
                   CollisionAtomicCallback callback, void* data)
{
    const Vector d = Sub(line.end, line.start);
    const float k = Dot(d, d);
    WalkSectorsOnLine(world, line.start, d,
                      [&](WorldSector* sector, float, float)
                      {
                          return ForTiedAtomics(
                              sector, stamp, nullptr,
                              [&](Atomic* atomic)
                              {
                                  const Sphere* s = Atomic::GetWorldBoundingSphere(atomic);
                                  Vector w = Sub(s->centre, line.start);
                                  float r2 = s->radius * s->radius;
                                  bool hit;
                                  float distance = 0.0f;
                                  if (k > 0.0f)
                                  {
                                      float g = Dot(w, d);
                                      float disc = k * (r2 - Dot(w, w)) + g * g;
                                      hit = disc >= 0.0f &&
                                            (g >= 0.0f ? (k >= g || disc >= (g - k) * (g - k)) : disc >= g * g);
                                      distance = g / k;
                                  }
                                  else // a line of no length is its start point
                                      hit = Dot(w, w) <= r2;
                                  return !hit || callback(primitive, sector, atomic, distance, data) != nullptr;
                              });
                      });
}

void AtomicsInSphere(World* world, IntersectionPrimitive* primitive, const Sphere& sphere, const Atomic* self,
                     uint32_t stamp, CollisionAtomicCallback callback, void* data)
{
    WalkSectorsInSphere(world, sphere,
                        [&](WorldSector* sector)
                        {
                            return ForTiedAtomics(sector, stamp, self,
                                                  [&](Atomic* atomic)
                                                  {
                                                      const Sphere* s = Atomic::GetWorldBoundingSphere(atomic);
                                                      Vector w = Sub(s->centre, sphere.centre);
                                                      float reach = sphere.radius + s->radius;
                                                      float d2 = Dot(w, w), reach2 = reach * reach;
                                                      if (d2 > reach2)
                                                          return true;
                                                      float distance = reach2 > 0.0f ? Math::Sqrt(d2 / reach2) : 0.0f;
                                                      return callback(primitive, sector, atomic, distance, data) !=
                                                             nullptr;
                                                  });
                        });
}

void AtomicsInBox(World* world, IntersectionPrimitive* primitive, const BBox& box, uint32_t stamp,
                  CollisionAtomicCallback callback, void* data)
{
    WalkSectorsInBox(world, box,
                     [&](WorldSector* sector)
                     {
                         return ForTiedAtomics(sector, stamp, nullptr,
                                               [&](Atomic* atomic)
                                               {
                                                   const Sphere* s = Atomic::GetWorldBoundingSphere(atomic);
                                                   if (DistanceSquaredToBox(s->centre, box) > s->radius * s->radius)
                                                       return true;
                                                   return callback(primitive, sector, atomic, 0.0f, data) != nullptr;
                                               });
                     });
}

// ---- One atomic's triangles ---------------------------------------------------------------------------------

/// The inverse of the atomic's frame's world matrix; identity without a frame.
Matrix ModelFromWorld(Atomic* atomic)
{
    Matrix inverse = {};
    inverse.right = {1, 0, 0};
    inverse.up = {0, 1, 0};
    inverse.at = {0, 0, 1};
    inverse.flags = kMatrixIdentity | kMatrixOrthonormal;
    if (Frame* frame = atomic->object.frame)
        Matrix::Invert(&inverse, Frame::GetWorldMatrix(frame));
    return inverse;
}

/// The morph targets a morphing atomic's positions lie between, and how far; false when
/// its interpolator names a target the geometry lacks.
bool MorphSpan(const Atomic* atomic, const Vector** from, const Vector** to, float* f)
{
    const Geometry* g = atomic->geometry;
    const Interpolator& in = atomic->interpolator;
    if (in.startTarget < 0 || in.endTarget < 0 || in.startTarget >= g->numMorphTargets ||
        in.endTarget >= g->numMorphTargets)
        return false;
    *from = g->morphTargets[in.startTarget].positions;
    *to = g->morphTargets[in.endTarget].positions;
    *f = in.position * in.recipTime;
    return *from && *to;
}

Vector Lerp(const Vector& a, const Vector& b, float f)
{
    return {a.x + f * (b.x - a.x), a.y + f * (b.y - a.y), a.z + f * (b.z - a.z)};
}

/// visit(a, b, c, index) for every triangle of a morphing atomic, on interpolated copies.
template <typename Visit> void ForMorphedTriangles(const Atomic* atomic, Visit visit)
{
    const Vector *from = nullptr, *to = nullptr;
    float f = 0.0f;
    if (!MorphSpan(atomic, &from, &to, &f))
        return;
    const Geometry* g = atomic->geometry;
    for (int32_t i = 0; i < g->numTriangles; ++i)
    {
        const Triangle& t = g->triangles[i];
        Vector v[3];
        for (int32_t k = 0; k < 3; ++k)
            v[k] = Lerp(from[t.vertex[k]], to[t.vertex[k]], f);
        if (!visit(&v[0], &v[1], &v[2], i))
            return;
    }
}

void AtomicTrianglesOnLine(Atomic* atomic, IntersectionPrimitive* primitive, const Line& world,
                           CollisionAtomicTriangleCallback callback, void* data)
{
    const Geometry* g = atomic->geometry;
    Matrix inverse = ModelFromWorld(atomic);
    Vector points[2];
    Vector::TransformPoints(points, &world.start, 2, &inverse);
    const Vector s = points[0], d = Sub(points[1], points[0]);
    auto hit = [&](CollisionTriangle* t, float along) { return callback(primitive, t, along, data) != nullptr; };
    if (g->numMorphTargets >= 2)
    {
        ForMorphedTriangles(atomic,
                            [&](Vector* a, Vector* b, Vector* c, int32_t index)
                            {
                                float along = 0.0f;
                                if (!Intersection::LineTriangle(&s, &d, a, b, c, &along))
                                    return true;
                                CollisionTriangle record;
                                FillTriangle(&record, a, b, c, index, UnitNormal(*a, *b, *c));
                                return hit(&record, along);
                            });
        return;
    }
    if (g->numMorphTargets < 1 || !g->morphTargets[0].positions || !g->triangles)
        return;
    const TriangleSet set = {g->triangles, g->morphTargets[0].positions, g->numTriangles};
    const CollisionTree* tree = Collision::GetGeometryTree(g);
    if (!tree)
    {
        LineInTriangles(set, nullptr, s, d, 0.0f, 1.0f, hit);
        return;
    }
    // Clip the segment to the tree's box first: most lines miss a model entirely.
    float t0 = 0.0f, t1 = 1.0f;
    const Vector recip = Reciprocals(d);
    for (int32_t a = 0; a <= 8; a += 4)
    {
        float sa = AxisCoordinate(s, a), lo = AxisCoordinate(tree->box.inf, a), hi = AxisCoordinate(tree->box.sup, a);
        if (AxisCoordinate(d, a) == 0.0f)
        {
            if (sa < lo || sa > hi)
                return;
            continue;
        }
        float ta = (lo - sa) * AxisCoordinate(recip, a), tb = (hi - sa) * AxisCoordinate(recip, a);
        if (ta > tb)
            std::swap(ta, tb);
        t0 = std::max(t0, ta);
        t1 = std::min(t1, tb);
    }
    if (t0 > t1)
        return;
    LineInTriangles(set, tree, s, d, t0 - kLineMargin, t1 + kLineMargin, hit);
}

void AtomicTrianglesInSphere(Atomic* atomic, IntersectionPrimitive* primitive, const Sphere& world,
                             CollisionAtomicTriangleCallback callback, void* data)
{
    const Geometry* g = atomic->geometry;
    Matrix inverse = ModelFromWorld(atomic);
    Sphere sphere;
    Vector::TransformPoint(&sphere.centre, &world.centre, &inverse);
    sphere.radius = world.radius * Vector::Length(&inverse.at);
    auto hit = [&](CollisionTriangle* t, float distance) { return callback(primitive, t, distance, data) != nullptr; };
    if (g->numMorphTargets >= 2)
    {
        ForMorphedTriangles(atomic,
                            [&](Vector* a, Vector* b, Vector* c, int32_t index)
                            {
                                CollisionTriangle record;
                                float distance = 0.0f;
                                if (!SphereTriangleHit(sphere, a, b, c, index, true, &record, &distance))
                                    return true;
                                return hit(&record, distance);
                            });
        return;
    }
    if (g->numMorphTargets < 1 || !g->morphTargets[0].positions || !g->triangles)
        return;
    const TriangleSet set = {g->triangles, g->morphTargets[0].positions, g->numTriangles};
    const CollisionTree* tree = Collision::GetGeometryTree(g);
    if (tree && DistanceSquaredToBox(sphere.centre, tree->box) > sphere.radius * sphere.radius)
        return;
    SphereInTriangles(set, tree, sphere, hit);
}

} // namespace

// ---- Queries -------------------------------------------------------------------------------------------------

World* World::ForAllSectorIntersections(World* world, IntersectionPrimitive* primitive,
                                        CollisionSectorCallback callback, void* data)
{
    auto report = [&](WorldSector* sector) { return callback(primitive, sector, data) != nullptr; };
    switch (primitive->type)
    {
    case kIntersectLine:
        WalkSectorsOnLine(world, primitive->data.line.start, Sub(primitive->data.line.end, primitive->data.line.start),
                          [&](WorldSector* sector, float, float) { return report(sector); });
        break;
    case kIntersectPoint:
    {
        const BBox box = {primitive->data.point, primitive->data.point};
        WalkSectorsInBox(world, box, report);
        break;
    }
    case kIntersectSphere:
        WalkSectorsInSphere(world, primitive->data.sphere, report);
        break;
    case kIntersectBox:
        WalkSectorsInBox(world, primitive->data.box, report);
        break;
    case kIntersectAtomic:
        WalkSectorsInSphere(world, *Atomic::GetWorldBoundingSphere(primitive->data.atomic), report);
        break;
    default:
        break;
    }
    return world;
}

World* World::ForAllTriangleIntersections(World* world, IntersectionPrimitive* primitive,
                                          CollisionTriangleCallback callback, void* data)
{
    switch (primitive->type)
    {
    case kIntersectLine:
        WorldTrianglesOnLine(world, primitive, primitive->data.line, callback, data);
        break;
    case kIntersectSphere:
        WorldTrianglesInSphere(world, primitive, primitive->data.sphere, callback, data);
        break;
    case kIntersectBox:
        WorldTrianglesInBox(world, primitive, primitive->data.box, callback, data);
        break;
    case kIntersectAtomic:
    {
        const Sphere sphere = *Atomic::GetWorldBoundingSphere(primitive->data.atomic);
        WorldTrianglesInSphere(world, primitive, sphere, callback, data);
        break;
    }
    default: // a point touches no triangle
        break;
    }
    return world;
}

World* World::ForAllAtomicIntersections(World* world, IntersectionPrimitive* primitive,
                                        CollisionAtomicCallback callback, void* data)
{
    if (primitive->type < kIntersectLine || primitive->type > kIntersectAtomic)
        return world;
    Frame::SyncDirtyList();
    uint32_t stamp = ++*Collision::QueryStamp();
    switch (primitive->type)
    {
    case kIntersectLine:
        AtomicsOnLine(world, primitive, primitive->data.line, stamp, callback, data);
        break;
    case kIntersectPoint:
        AtomicsInSphere(world, primitive, {primitive->data.point, 0.0f}, nullptr, stamp, callback, data);
        break;
    case kIntersectSphere:
        AtomicsInSphere(world, primitive, primitive->data.sphere, nullptr, stamp, callback, data);
        break;
    case kIntersectBox:
        AtomicsInBox(world, primitive, primitive->data.box, stamp, callback, data);
        break;
    case kIntersectAtomic:
    {
        Atomic* self = primitive->data.atomic;
        const Sphere sphere = *Atomic::GetWorldBoundingSphere(self);
        AtomicsInSphere(world, primitive, sphere, self, stamp, callback, data);
        break;
    }
    default:
        break;
    }
    return world;
}

Atomic* Atomic::ForAllIntersections(Atomic* atomic, IntersectionPrimitive* primitive,
                                    CollisionAtomicTriangleCallback callback, void* data)
{
    if (!atomic->geometry)
        return atomic;
    switch (primitive->type)
    {
    case kIntersectLine:
        AtomicTrianglesOnLine(atomic, primitive, primitive->data.line, callback, data);
        break;
    case kIntersectSphere:
        AtomicTrianglesInSphere(atomic, primitive, primitive->data.sphere, callback, data);
        break;
    case kIntersectAtomic:
    {
        const Sphere sphere = *Atomic::GetWorldBoundingSphere(primitive->data.atomic);
        AtomicTrianglesInSphere(atomic, primitive, sphere, callback, data);
        break;
    }
    default: // points and boxes are not tested against one atomic's triangles
        break;
    }
    return atomic;
}
