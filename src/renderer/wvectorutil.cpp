// Vector and frame utilities.
#include "wvectorutil.h"

#include "frame.h"
#include "matrix.h"

#include <cmath>
#include <numbers>

namespace
{
constexpr float kPi = std::numbers::pi_v<float>;
constexpr float kDegreesPerRadian = 180.0f / kPi;

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

float Length(const Vector& v)
{
    return std::sqrt(Dot(v, v));
}

// A zero vector stays zero (no error is reported).
Vector Normalised(const Vector& v)
{
    float length = Length(v);
    return length > 0.0f ? Vector{v.x / length, v.y / length, v.z / length} : Vector{0.0f, 0.0f, 0.0f};
}

// The at, up and right rows for a direction and an up reference, in the same space. A
// reference parallel to the direction takes the fallback reference instead, so right never
// comes from a zero cross product.
void LookRows(const Vector& direction, const Vector& up, const Vector& fallbackUp, Matrix* matrix)
{
    Vector at = Normalised(direction);
    Vector right = Cross(up, at);
    if (Length(right) < kVectorNoDirection)
        right = Cross(fallbackUp, at);
    right = Normalised(right);
    matrix->at = at;
    matrix->right = right;
    matrix->up = Cross(at, right);
}
} // namespace

float VectorDistance(const Vector* a, const Vector* b)
{
    return Length(Sub(*a, *b));
}

float VectorAngle(const Vector* a, const Vector* b, Vector* axis)
{
    Vector na = Normalised(*a);
    Vector nb = Normalised(*b);
    Vector cross = Cross(na, nb);
    float sine = Length(cross);
    float angle = std::atan2(sine, Dot(na, nb)) * kDegreesPerRadian;
    if (axis)
    {
        if (sine >= kVectorNoDirection)
            *axis = cross;
        else if (std::fabs(na.y) > kVectorNoDirection || std::fabs(na.z) > kVectorNoDirection)
            *axis = {0.0f, -na.z, na.y};
        else if (std::fabs(na.x) > kVectorNoDirection)
            *axis = {na.z, 0.0f, -na.x};
        else
            *axis = {-na.y, na.x, 0.0f};
    }
    return angle;
}

float VectorPlanarAngle(const Vector* a, const Vector* b, Vector* axis)
{
    Vector fa = {a->x, 0.0f, a->z};
    Vector fb = {b->x, 0.0f, b->z};
    auto flat = [](const Vector& v)
    { return std::fabs(v.x) <= kVectorNoDirection && std::fabs(v.z) <= kVectorNoDirection; };
    if (flat(fa) || flat(fb))
    {
        if (axis)
            *axis = {0.0f, 1.0f, 0.0f};
        return 0.0f;
    }
    Vector turn;
    float angle = VectorAngle(&fa, &fb, &turn);
    // Parallel directions give a horizontal perpendicular: any vertical axis does then.
    if (std::fabs(turn.x) > kVectorNoDirection || std::fabs(turn.z) > kVectorNoDirection)
        turn = {0.0f, 1.0f, 0.0f};
    if (turn.y < 0.0f)
    {
        turn.y = -turn.y;
        angle = -angle;
    }
    if (axis)
        *axis = turn;
    return angle;
}

float PointPlanarAngle(const Vector* p, const Vector* a, const Vector* b, Vector* axis)
{
    Vector pa = Sub(*a, *p);
    Vector pb = Sub(*b, *p);
    return VectorPlanarAngle(&pa, &pb, axis);
}

float HeadingFromVector(const Vector* v)
{
    float heading;
    if (v->x > 1.0f)
        heading = 0.0f;
    else if (v->x < -1.0f)
        heading = kPi;
    else
        heading = std::acos(v->x);
    return v->z < 0.0f ? 2.0f * kPi - heading : heading;
}

Vector VectorFromHeading(float angle)
{
    return {std::cos(angle), 0.0f, std::sin(angle)};
}

float AngleWrapTowards(float reference, float angle)
{
    // A remainder, not a loop of whole turns: a huge angle would take for ever, and one
    // past float precision would never move.
    if (!std::isfinite(angle) || !std::isfinite(reference))
        return angle;
    double turn = 2.0 * double(kPi);
    double offset = std::remainder(double(angle) - double(reference), turn);
    return float(double(reference) + offset);
}

float BlendByFrameTime(float a, float b, float rate, float dt)
{
    float t = dt / (1.0f / 60.0f) * rate * 0.01f;
    t = t < 0.0f ? 0.0f : (t > 1.0f ? 1.0f : t);
    return a + t * (b - a);
}

void BlendVectorByFrameTime(const Vector* a, const Vector* b, float rate, float dt, Vector* out)
{
    *out = {BlendByFrameTime(a->x, b->x, rate, dt), BlendByFrameTime(a->y, b->y, rate, dt),
            BlendByFrameTime(a->z, b->z, rate, dt)};
}

void FrameSetWorldMatrix(Frame* frame, const Matrix* matrix)
{
    if (frame->parent)
    {
        Matrix inverse;
        Matrix::Invert(&inverse, Frame::GetWorldMatrix(frame->parent));
        Matrix product;
        Matrix::Multiply(&product, matrix, &inverse);
        // The product keeps the factors' common flags; the rows are new.
        frame->modelling = product;
    }
    else
        frame->modelling = *matrix;
    Frame::UpdateObjects(frame);
}

void FrameLookAlong(Frame* frame, const Vector* direction)
{
    if (Length(*direction) < kVectorNoDirection)
        return;
    Vector at = Normalised(*direction);
    Vector up = {0.0f, 1.0f, 0.0f};
    Vector fallbackUp = {0.0f, 0.0f, 1.0f};
    if (frame->parent)
    {
        Matrix inverse;
        Matrix::Invert(&inverse, Frame::GetWorldMatrix(frame->parent));
        Vector::TransformVector(&at, &at, &inverse);
        Vector::TransformVector(&up, &up, &inverse);
        Vector::TransformVector(&fallbackUp, &fallbackUp, &inverse);
        at = Normalised(at);
        up = Normalised(up);
        fallbackUp = Normalised(fallbackUp);
    }
    LookRows(at, up, fallbackUp, &frame->modelling);
    // Rows written directly: the identity bit must not survive.
    Matrix::Update(&frame->modelling);
    Frame::UpdateObjects(frame);
}

void MatrixLookAlong(Matrix* matrix, const Vector* direction)
{
    if (Length(*direction) < kVectorNoDirection)
        return;
    LookRows(*direction, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}, matrix);
    Matrix::Update(matrix);
}

void FrameFaceDirectionPlanar(Frame* frame, const Vector* direction)
{
    Vector flat = {direction->x, 0.0f, direction->z};
    if (std::fabs(flat.x) <= kVectorNoDirection && std::fabs(flat.z) <= kVectorNoDirection)
        return;
    const Matrix* world = Frame::GetWorldMatrix(frame);
    Vector at = {world->at.x, 0.0f, world->at.z};
    Vector axis;
    float angle = VectorAngle(&at, &flat, &axis);
    Matrix inverse;
    Matrix::Invert(&inverse, world);
    Vector::TransformVector(&axis, &axis, &inverse);
    Frame::Rotate(frame, &axis, angle, kCombinePreConcat);
}
