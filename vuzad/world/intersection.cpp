// The exact tests the collision queries are built on: a line against a triangle's front
// face, a sphere against a triangle and a box against a triangle.
#include "collision.h"

#include "mathsqrt.h"

#include <cmath>

namespace
{

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

float Component(const Vector& v, int32_t axis)
{
    return axis == 0 ? v.x : axis == 1 ? v.y : v.z;
}

int32_t Outcode(const Vector& v, const BBox& box)
{
    int32_t code = 0;
    for (int32_t axis = 0; axis < 3; ++axis)
    {
        float c = Component(v, axis);
        if (c > Component(box.sup, axis))
            code |= 1 << (2 * axis);
        else if (c < Component(box.inf, axis))
            code |= 2 << (2 * axis);
    }
    return code;
}

/// Whether the edge from p to q crosses the face of outcode bit 1 << face (0 x = max.x,
/// 1 x = min.x, 2 y = max.y ...) strictly inside the face. Multiplied through by the
/// edge's component on the face's axis, so no division.
bool EdgeCrossesFace(const Vector& p, const Vector& q, int32_t face, const BBox& box)
{
    const int32_t axis = face / 2;
    const bool upper = (face & 1) == 0;
    Vector e = Sub(q, p);
    float ek = Component(e, axis);
    float plane = upper ? Component(box.sup, axis) : Component(box.inf, axis);
    float s = plane - Component(p, axis); // the hit parameter times ek
    for (int32_t other = 0; other < 3; ++other)
    {
        if (other == axis)
            continue;
        float at = Component(p, other) * ek + s * Component(e, other);
        float lo = Component(box.inf, other) * ek, hi = Component(box.sup, other) * ek;
        bool inside = ek > 0 ? (lo < at && at < hi) : (hi < at && at < lo);
        if (!inside)
            return false;
    }
    return true;
}

} // namespace

bool Intersection::LineTriangle(const Vector* start, const Vector* delta, const Vector* a, const Vector* b,
                                const Vector* c, float* t)
{
    Vector e1 = Sub(*b, *a), e2 = Sub(*c, *a);
    Vector p = Cross(*delta, e2);
    float det = Dot(e1, p);
    // Only lines running against the normal count: back faces and grazing lines never do;
    // nor does anything a huge vertex turns infinite.
    if (!(det > 1e-8f) || !std::isfinite(det))
        return false;
    float lo = -0.00001f * det, hi = det - lo;
    Vector q0 = Sub(*start, *a);
    float u = Dot(q0, p);
    if (u < lo || u > hi)
        return false;
    Vector q = Cross(q0, e1);
    float v = Dot(*delta, q);
    if (v < lo || u + v > hi)
        return false;
    float along = Dot(e2, q);
    if (along < lo || along > hi || !std::isfinite(u) || !std::isfinite(v) || !std::isfinite(along))
        return false;
    *t = along / det;
    return std::isfinite(*t);
}

int32_t Intersection::SphereTriangle(const Sphere* sphere, const Vector* a, const Vector* b, const Vector* c,
                                     Vector* normal, float* distance)
{
    const Vector& centre = sphere->centre;
    float r = sphere->radius;
    Vector dA = Sub(*a, centre), dB = Sub(*b, centre), dC = Sub(*c, centre);
    for (int32_t axis = 0; axis < 3; ++axis)
    {
        float da = Component(dA, axis), db = Component(dB, axis), dc = Component(dC, axis);
        // The sign bits are read as they are, so -0 counts as below.
        if (!std::signbit(da) && !std::signbit(db) && !std::signbit(dc) && !std::signbit(da - r) &&
            !std::signbit(db - r) && !std::signbit(dc - r))
            return 0;
        if (std::signbit(da) && std::signbit(db) && std::signbit(dc) && std::signbit(da + r) && std::signbit(db + r) &&
            std::signbit(dc + r))
            return 0;
    }
    Vector n = Cross(Sub(*b, *a), Sub(*c, *a));
    float length2 = Dot(n, n);
    if (!(length2 > 0.0f))
        return 0;
    float inv = Math::InvSqrt(length2);
    n = {n.x * inv, n.y * inv, n.z * inv};
    *normal = n;
    float h = Dot(dA, n);
    if (h < -r || h > r)
        return 0;
    *distance = -h;
    float r2 = r * r;
    float a2 = Dot(dA, dA), b2 = Dot(dB, dB), c2 = Dot(dC, dC);
    if (a2 <= r2 || b2 <= r2 || c2 <= r2)
        return 1;
    // Beyond the nearest corner: outside the sphere, since no vertex is inside.
    if (a2 < b2 && a2 <= c2)
    {
        if (a2 < Dot(dA, dB) && a2 < Dot(dA, dC))
            return 0;
    }
    else if (b2 <= a2 && b2 <= c2)
    {
        if (b2 < Dot(dB, dA) && b2 < Dot(dB, dC))
            return 0;
    }
    else if (c2 < Dot(dC, dA) && c2 < Dot(dC, dB))
        return 0;
    const Vector* edges[3][3] = {{&dA, &dB, &dC}, {&dB, &dC, &dA}, {&dC, &dA, &dB}};
    for (const auto& edge : edges)
    {
        const Vector& p = *edge[0];
        Vector e = Sub(*edge[1], p);
        float e2 = Dot(e, e);
        float f = e2 > 0.0f ? Dot(p, e) / e2 : 0.0f;
        Vector w = {p.x - f * e.x, p.y - f * e.y, p.z - f * e.z};
        float w2 = Dot(w, w);
        if (w2 > r2 && w2 < Dot(*edge[2], w))
            return 0;
    }
    return 1;
}

int32_t Intersection::BoxTriangle(const BBox* box, const Vector* a, const Vector* b, const Vector* c)
{
    int32_t oa = Outcode(*a, *box), ob = Outcode(*b, *box), oc = Outcode(*c, *box);
    if (oa == 0 || ob == 0 || oc == 0)
        return 1;
    if (oa & ob & oc)
        return 0;
    const struct
    {
        const Vector* p;
        const Vector* q;
        int32_t op, oq;
    } edges[3] = {{a, b, oa, ob}, {a, c, oa, oc}, {b, c, ob, oc}};
    for (const auto& edge : edges)
    {
        if (edge.op & edge.oq)
            continue;
        int32_t differ = edge.op ^ edge.oq;
        for (int32_t face = 0; face < 6; ++face)
            if ((differ & (1 << face)) && EdgeCrossesFace(*edge.p, *edge.q, face, *box))
                return 1;
    }
    // The triangle may cut the box with no edge through a face: then the box diagonal
    // most nearly along the normal passes through it.
    Vector n = Cross(Sub(*b, *a), Sub(*c, *a));
    const BBox& x = *box;
    Vector d = {x.sup.x - x.inf.x, x.sup.y - x.inf.y, x.sup.z - x.inf.z};
    if (std::signbit(n.y) != std::signbit(n.x))
        d.y = -d.y;
    if (std::signbit(n.z) != std::signbit(n.x))
        d.z = -d.z;
    Vector p0 = {x.inf.x, d.y > 0 ? x.inf.y : x.sup.y, d.z > 0 ? x.inf.z : x.sup.z};
    Vector p = Sub(p0, *a);
    float g = -Dot(n, d), h = Dot(n, p);
    Vector cross = Cross(p, d);
    float w = Dot(Sub(*c, *a), cross), r = -Dot(Sub(*b, *a), cross);
    if (g < 0 && h < 0 && g < h && w < 0 && g < w && r < 0 && g < w + r)
        return 1;
    if (g >= 0 && h > 0 && g > h && w > 0 && g > w && r > 0 && g > w + r)
        return 1;
    return 0;
}
