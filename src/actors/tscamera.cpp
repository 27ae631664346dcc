// The game's camera node and the sample rings.
#include "tscamera.h"

#include "camera.h"
#include "frame.h"
#include "hbclock.h"
#include "scriptworldmanager.h"
#include "w3dlevel.h"
#include "wscene.h"

#include <cmath>

HB_DEFINE_CLASS_DESC(TsCamera, W3dCamera);

namespace
{
constexpr float kFrameSeconds = 1.0f / 60.0f;

int64_t Now()
{
    HbGameClock* clock = HbGameClock::Instance();
    return clock ? clock->mGameTime : 0;
}

bool Normalise(Vector& v)
{
    const float length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    if (!(length > 1e-6f))
        return false;
    v = {v.x / length, v.y / length, v.z / length};
    return true;
}

Vector Cross(const Vector& a, const Vector& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
} // namespace

// ---- The camera --------------------------------------------------------------------------------------

TsCamera::TsCamera()
{
    if (!GetCamera())
        return;
    SetViewWindow({0.5f, 0.5f});
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    WScene* scene = world ? world->GetScene() : nullptr;
    W3dLevel* level = scene ? scene->GetLevel() : nullptr;
    if (level && level->GetMainWorld())
    {
        SetFarClipPlane(level->GetFarClip());
        Camera::SetProjection(GetCamera(), kCameraPerspective);
    }
}

TsCamera* TsCamera::Create()
{
    auto* camera = new TsCamera();
    if (camera && !camera->GetCamera())
    {
        delete camera;
        return nullptr;
    }
    return camera;
}

void TsCamera::SetPlacement(const void* placement)
{
    const auto* record = static_cast<const TsCameraPlacement*>(placement);
    if (!record)
        return;
    if (record->position)
        mPosition = *record->position;
    if (record->direction)
        mDirection = *record->direction;
}

void TsCamera::ApplyPlacement()
{
    Frame* frame = GetEngineFrame();
    Vector at = mDirection;
    if (!frame || !Normalise(at))
        return;
    Vector right = {at.z, 0.0f, -at.x};
    if (!Normalise(right))
        right = {1.0f, 0.0f, 0.0f};
    Vector up = Cross(at, right);
    Normalise(up);
    Matrix m = {};
    m.right = right;
    m.up = up;
    m.at = at;
    m.pos = mPosition;
    Matrix::Update(&m);
    Frame::Transform(frame, &m, kCombineReplace);
    Frame::UpdateObjects(frame);
}

// ---- Sample rings ------------------------------------------------------------------------------------

void TsSampleRing::Init(Sample* storage, int32_t count)
{
    mStorage = count > 0 ? storage : nullptr;
    mCount = mStorage ? count : 0;
    mNewest = 0;
    Fill(0.0f);
}

void TsSampleRing::Fill(float value)
{
    mLastPush = Now();
    for (int32_t i = 0; i < mCount; ++i)
        mStorage[i] = {value, kFrameSeconds};
}

void TsSampleRing::Clear()
{
    mStorage = nullptr;
    mCount = 0;
    mNewest = 0;
    mLastPush = 0;
}

void TsSampleRing::Push(float value, uint32_t raw)
{
    if (mCount <= 0)
        return;
    mNewest = (mNewest + 1) % mCount;
    const int64_t now = Now();
    const float duration = float(double(now - mLastPush) / double(HbPerformanceFrequency()));
    if (!(raw & 1))
        value = value * duration / kFrameSeconds;
    mStorage[mNewest] = {value, duration};
    mLastPush = now;
}

float TsSampleRing::GetAverage(float span) const
{
    float sum = 0.0f;
    float covered = 0.0f;
    for (int32_t k = 0; k < mCount; ++k)
    {
        const Sample& sample = mStorage[(mNewest - k + mCount) % mCount];
        if (covered + sample.duration < span)
        {
            sum += sample.value;
            covered += sample.duration;
            continue;
        }
        if (sample.duration > 0.0f)
            sum += sample.value * (span - covered) / sample.duration;
        covered = span;
        break;
    }
    return covered > 0.0f ? sum * kFrameSeconds / covered : 0.0f;
}

void TsVectorSampleRing::Init(TsSampleRing::Sample* x, TsSampleRing::Sample* y, TsSampleRing::Sample* z, int32_t count)
{
    mRings[0].Init(x, count);
    mRings[1].Init(y, count);
    mRings[2].Init(z, count);
}

void TsVectorSampleRing::Fill(const Vector& value)
{
    mRings[0].Fill(value.x);
    mRings[1].Fill(value.y);
    mRings[2].Fill(value.z);
}

void TsVectorSampleRing::Clear()
{
    for (TsSampleRing& ring : mRings)
        ring.Fill(0.0f);
}

void TsVectorSampleRing::Reset()
{
    for (TsSampleRing& ring : mRings)
        ring.Clear();
}

void TsVectorSampleRing::Push(const Vector& value, uint32_t raw)
{
    mRings[0].Push(value.x, raw);
    mRings[1].Push(value.y, raw);
    mRings[2].Push(value.z, raw);
}

void TsVectorSampleRing::GetAverage(Vector* out, float span) const
{
    *out = {mRings[0].GetAverage(span), mRings[1].GetAverage(span), mRings[2].GetAverage(span)};
}
