// The standard keyframe's callbacks and its stream form.
#include "stdkey.h"

#include "byteorder.h"
#include "error.h"
#include "matrix.h"
#include "stream.h"

#include <cmath>
#include <cstring>

namespace
{
constexpr float kLinearThreshold = 0.999f;

float Dot(const AnimQuat& a, const AnimQuat& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
}

// Slerp weights for fraction u; b's quaternion is turned onto a's hemisphere in place so the
// rotation takes the shorter arc.
void Mix(AnimQuat* outQ, Vector* outT, const AnimQuat& a, AnimQuat* b, const Vector& at, const Vector& bt, float u)
{
    const Vector t = {at.x + (bt.x - at.x) * u, at.y + (bt.y - at.y) * u, at.z + (bt.z - at.z) * u};
    float d = Dot(a, *b);
    if (d < 0.0f)
    {
        *b = {-b->x, -b->y, -b->z, -b->w};
        d = -d;
    }
    float wa, wb;
    if (d >= kLinearThreshold)
    {
        wa = 1.0f - u;
        wb = u;
    }
    else
    {
        const float theta = std::acos(d);
        const float s = std::sin(theta);
        wa = std::sin((1.0f - u) * theta) / s;
        wb = std::sin(u * theta) / s;
    }
    const AnimQuat q = {wa * a.x + wb * b->x, wa * a.y + wb * b->y, wa * a.z + wb * b->z, wa * a.w + wb * b->w};
    *outQ = q;
    *outT = t;
}

AnimQuat Multiply(const AnimQuat& a, const AnimQuat& b)
{
    return {a.w * b.x + b.w * a.x + (a.y * b.z - a.z * b.y), a.w * b.y + b.w * a.y + (a.z * b.x - a.x * b.z),
            a.w * b.z + b.w * a.z + (a.x * b.y - a.y * b.x), a.w * b.w - (a.x * b.x + a.y * b.y + a.z * b.z)};
}

float LoadFloat(const uint8_t* p)
{
    const uint32_t bits = ByteOrder::Load32(p);
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

void StoreFloat(uint8_t* p, float f)
{
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    ByteOrder::Store32(p, bits);
}

constexpr AnimScheme kScheme = {
    StdKeyFrame::kTypeId,       int32_t(sizeof(StdInterpFrame)), int32_t(sizeof(StdKeyFrame)),
    StdKeyFrame::Apply,         StdKeyFrame::Blend,              StdKeyFrame::Interpolate,
    StdKeyFrame::Add,           StdKeyFrame::MulRecip,           StdKeyFrame::StreamRead,
    StdKeyFrame::StreamWrite,   StdKeyFrame::StreamGetSize,      0,
};
} // namespace

const AnimScheme* StdKeyFrame::Scheme()
{
    return &kScheme;
}

void StdKeyFrame::Apply(Matrix* out, void* interpFrame)
{
    const auto* f = static_cast<const StdInterpFrame*>(interpFrame);
    const float x = f->q.x, y = f->q.y, z = f->q.z, w = f->q.w;
    out->right = {1.0f - 2.0f * (y * y + z * z), 2.0f * (x * y + z * w), 2.0f * (x * z - y * w)};
    out->up = {2.0f * (x * y - z * w), 1.0f - 2.0f * (x * x + z * z), 2.0f * (y * z + x * w)};
    out->at = {2.0f * (x * z + y * w), 2.0f * (y * z - x * w), 1.0f - 2.0f * (x * x + y * y)};
    out->pos = f->t;
    out->flags = kMatrixOrthonormal;
}

void StdKeyFrame::Interpolate(void* out, void* keyFrame1, void* keyFrame2, float time, void*)
{
    auto* o = static_cast<StdInterpFrame*>(out);
    const auto* a = static_cast<const StdKeyFrame*>(keyFrame1);
    auto* b = static_cast<StdKeyFrame*>(keyFrame2);
    const float span = b->header.time - a->header.time;
    // Equal times would divide zero by zero and poison every matrix below with NaN.
    const float u = span != 0.0f ? (time - a->header.time) / span : 0.0f;
    Mix(&o->q, &o->t, a->q, &b->q, a->t, b->t, u);
}

void StdKeyFrame::Blend(void* out, void* interpFrame1, void* interpFrame2, float fraction)
{
    auto* o = static_cast<StdInterpFrame*>(out);
    const auto* a = static_cast<const StdInterpFrame*>(interpFrame1);
    auto* b = static_cast<StdInterpFrame*>(interpFrame2);
    const AnimQuat aq = a->q;
    const Vector at = a->t;
    Mix(&o->q, &o->t, aq, &b->q, at, b->t, fraction);
}

void StdKeyFrame::Add(void* out, void* interpFrame1, void* interpFrame2)
{
    auto* o = static_cast<StdInterpFrame*>(out);
    const auto* a = static_cast<const StdInterpFrame*>(interpFrame1);
    const auto* b = static_cast<const StdInterpFrame*>(interpFrame2);
    o->q = Multiply(a->q, b->q);
    o->t = {a->t.x + b->t.x, a->t.y + b->t.y, a->t.z + b->t.z};
}

void StdKeyFrame::MulRecip(void* frame, void* start)
{
    auto* k = static_cast<StdInterpFrame*>(frame);
    const auto* s = static_cast<const StdInterpFrame*>(start);
    const float n = Dot(s->q, s->q);
    if (n > 0.0f)
    {
        const AnimQuat inverse = {-s->q.x / n, -s->q.y / n, -s->q.z / n, s->q.w / n};
        k->q = Multiply(inverse, k->q);
    }
    k->t = {k->t.x - s->t.x, k->t.y - s->t.y, k->t.z - s->t.z};
}

Animation* StdKeyFrame::StreamRead(Stream* stream, Animation* animation)
{
    const uint32_t count = uint32_t(animation->keyFrameCount);
    for (uint32_t i = 0; i < count; ++i)
    {
        uint8_t b[kStreamKeyFrameSize];
        if (Stream::Read(stream, b, kStreamKeyFrameSize) != kStreamKeyFrameSize)
            return nullptr;
        auto* k = reinterpret_cast<StdKeyFrame*>(Animation::KeyFrame(animation, int32_t(i)));
        k->header.time = LoadFloat(b);
        k->q = {LoadFloat(b + 4), LoadFloat(b + 8), LoadFloat(b + 12), LoadFloat(b + 16)};
        k->t = {LoadFloat(b + 20), LoadFloat(b + 24), LoadFloat(b + 28)};
        const uint32_t previous = ByteOrder::Load32(b + 32) / kStreamKeyFrameSize;
        // Only an earlier keyframe can precede. A node's first keyframe has none; its stored
        // offset means nothing (ours names the keyframe itself). The toolkit checks the order.
        k->header.previous = previous < i ? Animation::KeyFrame(animation, int32_t(previous)) : nullptr;
    }
    return animation;
}

int32_t StdKeyFrame::StreamWrite(const Animation* animation, Stream* stream)
{
    for (int32_t i = 0; i < animation->keyFrameCount; ++i)
    {
        const auto* k = reinterpret_cast<const StdKeyFrame*>(Animation::KeyFrame(animation, i));
        uint8_t b[kStreamKeyFrameSize];
        StoreFloat(b, k->header.time);
        StoreFloat(b + 4, k->q.x);
        StoreFloat(b + 8, k->q.y);
        StoreFloat(b + 12, k->q.z);
        StoreFloat(b + 16, k->q.w);
        StoreFloat(b + 20, k->t.x);
        StoreFloat(b + 24, k->t.y);
        StoreFloat(b + 28, k->t.z);
        // Without a previous keyframe the offset names the keyframe itself, never keyframe 0,
        // which would make it look like a second keyframe when the nodes are counted.
        const int32_t previous = k->header.previous ? Animation::KeyFrameIndex(animation, k->header.previous) : i;
        ByteOrder::Store32(b + 32, uint32_t(previous < 0 ? i : previous) * kStreamKeyFrameSize);
        if (!Stream::Write(stream, b, kStreamKeyFrameSize))
            return 0;
    }
    return 1;
}

int32_t StdKeyFrame::StreamGetSize(const Animation* animation)
{
    return animation->keyFrameCount * int32_t(kStreamKeyFrameSize);
}
