// The UV-animation keyframe schemes: matrices from keyframes, interpolation, blending, the
// product of matrix keyframes and the shared stream form.
#include "uvanimkey.h"

#include "byteorder.h"
#include "matrix.h"
#include "stream.h"

#include <cmath>
#include <cstring>

namespace
{
constexpr float kPi = 3.1415927f;
constexpr float kRadiansToDegrees = 57.2957763671875f;
// The θ slot of the parameter keyframe.
constexpr int kAngle = 0;

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

float Fraction(const UVAnimKeyFrameData* a, const UVAnimKeyFrameData* b, float time)
{
    const float span = b->header.time - a->header.time;
    // Equal times would divide zero by zero and poison the channel matrices with NaN.
    return span != 0.0f ? (time - a->header.time) / span : 0.0f;
}

void Lerp(float* out, const float* a, const float* b, float f, bool wrapAngle)
{
    for (int i = 0; i < 6; ++i)
    {
        float d = b[i] - a[i];
        if (wrapAngle && i == kAngle)
        {
            // The short way round: 3.0 to -3.0 passes through π, not through 0.
            if (d > kPi)
                d -= 2.0f * kPi;
            else if (d < -kPi)
                d += 2.0f * kPi;
        }
        out[i] = a[i] + f * d;
    }
}

void MatrixFromRows(Matrix* out, float rx, float ry, float ux, float uy, float tx, float ty)
{
    out->right = {rx, ry, 0.0f};
    out->up = {ux, uy, 0.0f};
    out->at = {0.0f, 0.0f, 0.0f};
    out->pos = {tx, ty, 0.0f};
    out->flags = 0;
}

void NoOpMulRecip(void*, void*) {}

void NoOpAdd(void*, void*, void*) {}

constexpr AnimScheme kMatrixScheme = {
    UVAnimKeyFrame::kTypeId,
    int32_t(sizeof(UVAnimInterpFrame)),
    int32_t(sizeof(UVAnimKeyFrameData)),
    UVAnimKeyFrame::Apply,
    UVAnimKeyFrame::Blend,
    UVAnimKeyFrame::Interpolate,
    UVAnimKeyFrame::Add,
    NoOpMulRecip,
    UVAnimKeyFrame::StreamRead,
    UVAnimKeyFrame::StreamWrite,
    UVAnimKeyFrame::StreamGetSize,
    int32_t(sizeof(UVAnimCustomData)),
};

constexpr AnimScheme kParamScheme = {
    UVAnimParamKeyFrame::kTypeId,
    int32_t(sizeof(UVAnimInterpFrame)),
    int32_t(sizeof(UVAnimKeyFrameData)),
    UVAnimParamKeyFrame::Apply,
    UVAnimParamKeyFrame::Blend,
    UVAnimParamKeyFrame::Interpolate,
    NoOpAdd,
    NoOpMulRecip,
    UVAnimKeyFrame::StreamRead,
    UVAnimKeyFrame::StreamWrite,
    UVAnimKeyFrame::StreamGetSize,
    int32_t(sizeof(UVAnimCustomData)),
};
} // namespace

UVAnimCustomData* UVAnimGetCustomData(const Animation* animation)
{
    if (!animation || !animation->scheme || !animation->customData)
        return nullptr;
    const int32_t type = animation->scheme->typeId;
    if (type != UVAnimKeyFrame::kTypeId && type != UVAnimParamKeyFrame::kTypeId)
        return nullptr;
    return static_cast<UVAnimCustomData*>(animation->customData);
}

// ---- Matrix keyframe ------------------------------------------------------------------------------

const AnimScheme* UVAnimKeyFrame::Scheme()
{
    return &kMatrixScheme;
}

void UVAnimKeyFrame::Apply(Matrix* out, void* interpFrame)
{
    const float* v = static_cast<const UVAnimInterpFrame*>(interpFrame)->values;
    MatrixFromRows(out, v[0], v[1], v[2], v[3], v[4], v[5]);
}

void UVAnimKeyFrame::Interpolate(void* out, void* keyFrame1, void* keyFrame2, float time, void*)
{
    const auto* a = static_cast<const UVAnimKeyFrameData*>(keyFrame1);
    const auto* b = static_cast<const UVAnimKeyFrameData*>(keyFrame2);
    Lerp(static_cast<UVAnimInterpFrame*>(out)->values, a->values, b->values, Fraction(a, b, time), false);
}

void UVAnimKeyFrame::Blend(void* out, void* interpFrame1, void* interpFrame2, float fraction)
{
    float a[6], b[6];
    std::memcpy(a, static_cast<const UVAnimInterpFrame*>(interpFrame1)->values, sizeof a);
    std::memcpy(b, static_cast<const UVAnimInterpFrame*>(interpFrame2)->values, sizeof b);
    Lerp(static_cast<UVAnimInterpFrame*>(out)->values, a, b, fraction, false);
}

void UVAnimKeyFrame::Add(void* out, void* interpFrame1, void* interpFrame2)
{
    float a[6], b[6];
    std::memcpy(a, static_cast<const UVAnimInterpFrame*>(interpFrame1)->values, sizeof a);
    std::memcpy(b, static_cast<const UVAnimInterpFrame*>(interpFrame2)->values, sizeof b);
    float* o = static_cast<UVAnimInterpFrame*>(out)->values;
    o[0] = a[0] * b[0] + a[1] * b[2];
    o[1] = a[0] * b[1] + a[1] * b[3];
    o[2] = a[2] * b[0] + a[3] * b[2];
    o[3] = a[2] * b[1] + a[3] * b[3];
    o[4] = a[4] + b[4];
    o[5] = a[5] + b[5];
}

void UVAnimKeyFrame::FromMatrix(float values[6], const Matrix* m)
{
    values[0] = m->right.x;
    values[1] = m->right.y;
    values[2] = m->up.x;
    values[3] = m->up.y;
    values[4] = m->pos.x;
    values[5] = m->pos.y;
}

Animation* UVAnimKeyFrame::StreamRead(Stream* stream, Animation* animation)
{
    uint8_t head[kStreamHeaderSize];
    if (Stream::Read(stream, head, kStreamHeaderSize) != kStreamHeaderSize)
        return nullptr;
    auto* custom = static_cast<UVAnimCustomData*>(animation->customData);
    std::memset(custom, 0, sizeof *custom);
    std::memcpy(custom->name, head + 4, kUVAnimNameLength);
    for (int32_t j = 0; j < kUVAnimMapEntries; ++j)
        custom->nodeToChannel[j] = int32_t(ByteOrder::Load32(head + 36 + 4 * j));
    custom->refCount = 1;

    const int32_t count = animation->keyFrameCount;
    for (int32_t i = 0; i < count; ++i)
    {
        uint8_t b[kStreamKeyFrameSize];
        if (Stream::Read(stream, b, kStreamKeyFrameSize) != kStreamKeyFrameSize)
            return nullptr;
        auto* k = static_cast<UVAnimKeyFrameData*>(static_cast<void*>(Animation::KeyFrame(animation, i)));
        k->header.time = LoadFloat(b);
        for (int v = 0; v < 6; ++v)
            k->values[v] = LoadFloat(b + 4 + 4 * v);
        // Only an earlier keyframe can precede; anything else in the file names none.
        const uint32_t previous = ByteOrder::Load32(b + 28);
        k->header.previous = previous < uint32_t(i) ? Animation::KeyFrame(animation, int32_t(previous)) : nullptr;
    }
    return animation;
}

int32_t UVAnimKeyFrame::StreamWrite(const Animation* animation, Stream* stream)
{
    const auto* custom = static_cast<const UVAnimCustomData*>(animation->customData);
    uint8_t head[kStreamHeaderSize] = {};
    if (custom)
    {
        std::memcpy(head + 4, custom->name, kUVAnimNameLength);
        for (int32_t j = 0; j < kUVAnimMapEntries; ++j)
            ByteOrder::Store32(head + 36 + 4 * j, uint32_t(custom->nodeToChannel[j]));
    }
    if (!Stream::Write(stream, head, kStreamHeaderSize))
        return 0;
    for (int32_t i = 0; i < animation->keyFrameCount; ++i)
    {
        const auto* k =
            static_cast<const UVAnimKeyFrameData*>(static_cast<const void*>(Animation::KeyFrame(animation, i)));
        uint8_t b[kStreamKeyFrameSize];
        StoreFloat(b, k->header.time);
        for (int v = 0; v < 6; ++v)
            StoreFloat(b + 4 + 4 * v, k->values[v]);
        // A first keyframe names itself, never keyframe 0, which would make it count as a
        // second keyframe when the nodes are counted again.
        const int32_t previous = k->header.previous ? Animation::KeyFrameIndex(animation, k->header.previous) : i;
        ByteOrder::Store32(b + 28, uint32_t(previous < 0 ? i : previous));
        if (!Stream::Write(stream, b, kStreamKeyFrameSize))
            return 0;
    }
    return 1;
}

int32_t UVAnimKeyFrame::StreamGetSize(const Animation* animation)
{
    return int32_t(kStreamHeaderSize) + animation->keyFrameCount * int32_t(kStreamKeyFrameSize);
}

// ---- Parameter keyframe --------------------------------------------------------------------------

const AnimScheme* UVAnimParamKeyFrame::Scheme()
{
    return &kParamScheme;
}

void UVAnimParamKeyFrame::Apply(Matrix* out, void* interpFrame)
{
    const float* v = static_cast<const UVAnimInterpFrame*>(interpFrame)->values;
    MatrixFromRows(out, v[1], v[3], 0.0f, v[2], v[4], v[5]);
    const Vector toOrigin = {-0.5f, -0.5f, 0.0f};
    const Vector back = {0.5f, 0.5f, 0.0f};
    const Vector axis = {0.0f, 0.0f, 1.0f};
    Matrix::Translate(out, &toOrigin, kCombinePostConcat);
    Matrix::Rotate(out, &axis, v[kAngle] * kRadiansToDegrees, kCombinePostConcat);
    Matrix::Translate(out, &back, kCombinePostConcat);
}

void UVAnimParamKeyFrame::Interpolate(void* out, void* keyFrame1, void* keyFrame2, float time, void*)
{
    const auto* a = static_cast<const UVAnimKeyFrameData*>(keyFrame1);
    const auto* b = static_cast<const UVAnimKeyFrameData*>(keyFrame2);
    Lerp(static_cast<UVAnimInterpFrame*>(out)->values, a->values, b->values, Fraction(a, b, time), true);
}

void UVAnimParamKeyFrame::Blend(void* out, void* interpFrame1, void* interpFrame2, float fraction)
{
    float a[6], b[6];
    std::memcpy(a, static_cast<const UVAnimInterpFrame*>(interpFrame1)->values, sizeof a);
    std::memcpy(b, static_cast<const UVAnimInterpFrame*>(interpFrame2)->values, sizeof b);
    Lerp(static_cast<UVAnimInterpFrame*>(out)->values, a, b, fraction, true);
}

void UVAnimParamKeyFrame::FromMatrix(float values[6], const Matrix* matrix)
{
    const float theta = std::atan2(-matrix->up.x, matrix->right.x);
    Matrix m = *matrix;
    m.flags = 0;
    const Vector toOrigin = {-0.5f, -0.5f, 0.0f};
    const Vector back = {0.5f, 0.5f, 0.0f};
    const Vector axis = {0.0f, 0.0f, 1.0f};
    Matrix::Translate(&m, &toOrigin, kCombinePostConcat);
    Matrix::Rotate(&m, &axis, -theta * kRadiansToDegrees, kCombinePostConcat);
    Matrix::Translate(&m, &back, kCombinePostConcat);
    values[kAngle] = theta;
    values[1] = m.right.x;
    values[2] = m.up.y;
    values[3] = m.right.y;
    values[4] = m.pos.x;
    values[5] = m.pos.y;
}
