// The scenario camera and its camera shots: the slots, the key curves and the per-frame play.
#include "scenariocamera.h"

#include "frame.h"
#include "gameprofile.h"
#include "gamestate.h"
#include "gamestatemanager.h"
#include "hero.h"
#include "ingamecamera_local.h"
#include "scriptworldmanager.h"
#include "splinecurve.h"
#include "tsactor.h"
#include "tscameraregistry.h"
#include "tssplinedatabase.h"
#include "w3dnode.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

HB_DEFINE_CLASS_DESC(GeScenaricCamera, BasicInGameCamera);

// The hero's shake placement is read as a CameraShakeRequest.
static_assert(sizeof(HeroShake) == sizeof(CameraShakeRequest));
static_assert(offsetof(HeroShake, amplitude) == offsetof(CameraShakeRequest, amplitude));
static_assert(offsetof(HeroShake, delay) == offsetof(CameraShakeRequest, delay));
static_assert(offsetof(HeroShakeRequestPlacement, shake) == offsetof(ScenaricCameraPlacement, value));

using namespace ingamecamera;

// ---- Splines of a shot ------------------------------------------------------------------------------

CameraShotSpline::~CameraShotSpline()
{
    Set(nullptr, -1);
}

void CameraShotSpline::Set(TsSplineDataBase* database, int32_t index)
{
    if (database && !database->GetSpline(index))
        database = nullptr;
    if (database)
        database->AddRef();
    if (mDatabase)
        mDatabase->Release();
    mDatabase = database;
    mIndex = database ? index : -1;
}

const TsSplineEntry* CameraShotSpline::Get() const
{
    const TsSplineEntry* entry = mDatabase ? mDatabase->GetSpline(mIndex) : nullptr;
    return entry && entry->spline ? entry : nullptr;
}

namespace
{
/// The spline's point (and unit tangent) at t by its sampling mode word: 1 uniform, 0 eased.
bool SplinePoint(const CameraShotSpline& spline, int32_t modeWord, float t, Vector* point, Vector* tangent = nullptr)
{
    const TsSplineEntry* entry = spline.Get();
    if (!entry || (modeWord != 0 && modeWord != 1) || !std::isfinite(t))
        return false;
    const int32_t mode = modeWord == 1 ? kSplineModeUniform : kSplineModeEased;
    Vector p = {0, 0, 0}, d = {0, 0, 0};
    if (!SplineCurve::FindPosition(entry->spline, mode, std::clamp(t, 0.0f, 1.0f), &p, tangent ? &d : nullptr))
        return false;
    if (!Finite(p) || (tangent && !Finite(d)))
        return false;
    *point = p;
    if (tangent)
        *tangent = d;
    return true;
}

bool Normalised(const Vector& v, Vector* out)
{
    const float length = Length(v);
    if (!(length > 1e-6f) || !std::isfinite(length))
        return false;
    *out = Scale(v, 1.0f / length);
    return true;
}

/// a turned about the unit axis k (a at right angles to k) by the degrees.
Vector TurnAbout(const Vector& a, const Vector& k, float degrees)
{
    const float r = degrees / kDegrees;
    return Add(Scale(a, std::cos(r)), Scale(Cross(k, a), std::sin(r)));
}

// ---- Slots and key curves -----------------------------------------------------------------------------

struct KeyCurve
{
    float* times = nullptr;
    int32_t n = 0;
    float value1 = 0.0f;
    float value2 = 0.0f;
    SplineCurve* spline = nullptr;
};

CameraShot* gSlots[CameraShotSlots::kSlotCount] = {};
KeyCurve gCurves[kCameraShotCurveMax];
int32_t gCurveCount = 0;
CameraShot gDefaultShot;
/// The smoothed look direction of target kind 2, shared by every scenario camera.
Vector gSmoothedLook = {1.0f, 0.0f, 0.0f};
GeScenaricCamera* gCameras = nullptr;

void FreeShot(CameraShot* shot)
{
    if (!shot)
        return;
    GeScenaricCamera::OnShotFreed(shot);
    delete shot;
}

void FreeAll()
{
    for (CameraShot*& shot : gSlots)
    {
        FreeShot(shot);
        shot = nullptr;
    }
    for (int32_t i = 0; i < gCurveCount; ++i)
    {
        delete[] gCurves[i].times;
        if (gCurves[i].spline)
            SplineCurve::Destroy(gCurves[i].spline);
        gCurves[i] = KeyCurve{};
    }
    gCurveCount = 0;
}

void RestoreDefaultShot()
{
    gDefaultShot.eyeKind = CameraShot::kEyePoint;
    gDefaultShot.eyePoint = {0.0f, 0.0f, 0.0f};
    gDefaultShot.targetKind = CameraShot::kTargetDirection;
    gDefaultShot.targetDirection = {1.0f, 0.0f, 0.0f};
    gDefaultShot.upKind = CameraShot::kUpVector;
    gDefaultShot.up = {0.0f, 1.0f, 0.0f};
    gDefaultShot.viewWidth = gDefaultShot.viewHeight = 0.8f;
    gDefaultShot.mode = CameraShot::kHeld;
    gDefaultShot.slot = -1;
}
} // namespace

int32_t CameraShotSlots::Set(CameraShot* shot, int32_t slot)
{
    if (!shot)
        return 0;
    if (slot < 0 || slot >= kSlotCount)
    {
        delete shot;
        return 0;
    }
    if (gSlots[slot] != shot)
        FreeShot(gSlots[slot]);
    shot->slot = slot;
    gSlots[slot] = shot;
    return 1;
}

CameraShot* CameraShotSlots::Get(int32_t slot)
{
    return slot >= 0 && slot < kSlotCount ? gSlots[slot] : nullptr;
}

CameraShot* CameraShotSlots::GetDefaultShot()
{
    return &gDefaultShot;
}

void CameraShotsReset()
{
    FreeAll();
    RestoreDefaultShot();
}

void CameraShotsFree()
{
    FreeAll();
}

int32_t CameraShotCurveAdd(int32_t n, const float* times, const float* values)
{
    if (n < 1 || !times || !values || gCurveCount >= kCameraShotCurveMax)
        return -1;
    KeyCurve curve;
    curve.n = n;
    curve.times = new float[size_t(n)];
    std::copy(times, times + n, curve.times);
    if (n == 1)
        curve.value1 = values[0];
    else if (n == 2)
    {
        curve.value1 = values[0];
        curve.value2 = values[1];
    }
    else if (n >= 4)
    {
        auto* points = new Vector[size_t(n)];
        for (int32_t i = 0; i < n; ++i)
            points[i] = {values[i], 0.0f, 0.0f};
        curve.spline = SplineCurve::Create(n, kSplineOpen, points);
        delete[] points;
    }
    gCurves[gCurveCount] = curve;
    return gCurveCount++;
}

int32_t CameraShotCurveCount()
{
    return gCurveCount;
}

float CameraShotCurveValue(int32_t index, float time)
{
    if (index < 0 || index >= gCurveCount || !std::isfinite(time))
        return 0.0f;
    const KeyCurve& curve = gCurves[index];
    const float* t = curve.times;
    if (curve.n == 1)
        return curve.value1;
    if (curve.n == 2)
    {
        if (time <= t[0])
            return curve.value1;
        if (time >= t[1])
            return curve.value2;
        // Keys at one time (or out of order) have no line between them.
        if (!(t[1] > t[0]))
            return curve.value2;
        return curve.value1 + (curve.value2 - curve.value1) * (time - t[0]) / (t[1] - t[0]);
    }
    if (curve.n < 4 || !curve.spline)
        return 0.0f;
    float parameter = 1.0f;
    if (time <= t[0])
        parameter = 0.0f;
    else
        for (int32_t i = 1; i < curve.n; ++i)
        {
            if (time > t[i])
                continue;
            const float width = t[i] - t[i - 1];
            const float within = width > 0.0f ? (time - t[i - 1]) / width : 1.0f;
            parameter = (within + float(i - 1)) / float(curve.n - 1);
            break;
        }
    Vector p = {0, 0, 0};
    if (!SplineCurve::FindPosition(curve.spline, kSplineModeUniform, std::clamp(parameter, 0.0f, 1.0f), &p, nullptr))
        return 0.0f;
    return std::isfinite(p.x) ? p.x : 0.0f;
}

// ---- The scenario camera ------------------------------------------------------------------------------

namespace
{
constexpr float kProgressSpan = 0.2f;
constexpr float kFacingSpan = 0.8f;
constexpr float kParameterMargin = 0.0001f;

TsActor* WorldHero()
{
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    TsActor* hero = world ? world->GetHero() : nullptr;
    return hero && hero->GetNode() ? hero : nullptr;
}

Vector HeroPosition(TsActor* hero)
{
    const Vector* p = hero->GetNode()->GetWorldPosition();
    return p && Finite(*p) ? *p : Vector{0.0f, 0.0f, 0.0f};
}

Vector HeroFacing(TsActor* hero)
{
    Frame* frame = hero->GetNode()->GetEngineFrame();
    const Matrix* m = frame ? Frame::GetWorldMatrix(frame) : nullptr;
    return m && Finite(m->at) ? m->at : Vector{0.0f, 0.0f, 1.0f};
}

/// The weights of the two paths of mode 3 from their facing measures.
float Weight(float facing)
{
    return (facing + 1.0f) * (facing + 1.0f);
}
} // namespace

GeScenaricCamera::GeScenaricCamera()
{
    mProgressRing.Init(mProgressSamples, kHistory);
    mFacing1Ring.Init(mFacing1Samples, kHistory);
    mFacing2Ring.Init(mFacing2Samples, kHistory);
    mSideRing.Init(mSideSamples, kHistory);
    mNext = gCameras;
    gCameras = this;
}

GeScenaricCamera::~GeScenaricCamera()
{
    for (GeScenaricCamera** link = &gCameras; *link; link = &(*link)->mNext)
        if (*link == this)
        {
            *link = mNext;
            break;
        }
}

GeScenaricCamera* GeScenaricCamera::Create()
{
    auto* camera = new GeScenaricCamera();
    if (!camera->GetCamera())
    {
        delete camera;
        return nullptr;
    }
    camera->Start(CameraShotSlots::GetDefaultShot());
    return camera;
}

void GeScenaricCamera::OnShotFreed(const CameraShot* shot)
{
    for (GeScenaricCamera* camera = gCameras; camera; camera = camera->mNext)
        if (camera->mShot == shot)
            camera->Start(CameraShotSlots::GetDefaultShot());
}

void GeScenaricCamera::SetPlacement(const void* placement)
{
    const auto* record = static_cast<const ScenaricCameraPlacement*>(placement);
    if (!record || !record->value)
        return;
    switch (record->kind)
    {
    case ScenaricCameraPlacement::kPlayShot:
        Start(static_cast<const CameraShot*>(record->value));
        break;
    case ScenaricCameraPlacement::kShake:
    {
        // The hero sends its own record of the same six fields.
        CameraShakeRequest request;
        std::memcpy(&request, record->value, sizeof(request));
        Shake(request);
        break;
    }
    case ScenaricCameraPlacement::kFocal:
        SetFocalLength(*static_cast<const float*>(record->value));
        break;
    default:
        break;
    }
}

void GeScenaricCamera::Start(const CameraShot* shot)
{
    mShot = shot;
    if (shot->mode == CameraShot::kTimed)
        mElapsed = 0.0f;
    if (shot->mode == CameraShot::kOnePath || shot->mode == CameraShot::kTwoPaths)
    {
        mU1 = std::isfinite(shot->startProgress) ? std::clamp(shot->startProgress, 0.0f, 1.0f) : 0.0f;
        mU2 = std::isfinite(shot->secondStart) ? std::clamp(shot->secondStart, 0.0f, 1.0f) : 0.0f;
        // Settle on the hero's place before the histories start.
        for (int32_t i = 0; i < 5; ++i)
            ComputeProgress(0);
        mProgressRing.Fill(mProgress);
        mFacing1Ring.Fill(0.0f);
        mFacing2Ring.Fill(0.0f);
    }
    if (shot->targetKind == CameraShot::kTargetHero)
    {
        if (TsActor* hero = WorldHero())
        {
            Vector aim = HeroPosition(hero);
            aim.y += shot->heightOffset;
            Normalised(Sub(aim, shot->eyePoint), &gSmoothedLook);
        }
    }
    if (shot->targetKind == CameraShot::kTargetHeroAlongPaths)
        mSideRing.Fill(0.0f);
}

float GeScenaricCamera::PathStep(const CameraShotSpline& spline, float* u, int32_t reversed, const Vector& hero,
                                 const Vector& facing)
{
    const TsSplineEntry* entry = spline.Get();
    Vector x = {0, 0, 0}, t = {0, 0, 0};
    const float at = std::clamp(*u, kParameterMargin, 1.0f - kParameterMargin);
    if (!entry || !SplinePoint(spline, 1, at, &x, &t))
        return 0.0f;
    // A path of no length gives no step: the parameter stays.
    float next = at;
    if (entry->value > 0)
        next -= Dot(Sub(x, hero), t) / float(entry->value) * 0.5f;
    *u = std::isfinite(next) ? std::clamp(next, 0.0f, 1.0f) : at;
    return reversed ? -Dot(t, facing) : Dot(t, facing);
}

void GeScenaricCamera::ComputeProgress(int32_t withHistories)
{
    const CameraShot& shot = *mShot;
    switch (shot.mode)
    {
    case CameraShot::kTimed:
        mElapsed += FrameSeconds();
        // A shot of no duration has ended as soon as it starts.
        mProgress = shot.duration > 0.0f ? std::min(mElapsed / shot.duration, 1.0f) : 1.0f;
        break;
    case CameraShot::kOnePath:
    case CameraShot::kTwoPaths:
    {
        TsActor* hero = WorldHero();
        if (!hero)
            break;
        const Vector h = HeroPosition(hero), a = HeroFacing(hero);
        float f1 = PathStep(shot.path, &mU1, 0, h, a);
        if (shot.mode == CameraShot::kOnePath)
        {
            mProgress = mU1;
            if (withHistories)
            {
                mProgressRing.Push(mU1, 0);
                mProgress = mProgressRing.GetAverage(kProgressSpan);
            }
            break;
        }
        float f2 = PathStep(shot.secondPath, &mU2, 1, h, a);
        if (withHistories)
        {
            mFacing1Ring.Push(f1, 0);
            mFacing2Ring.Push(f2, 0);
            f1 = mFacing1Ring.GetAverage(kFacingSpan);
            f2 = mFacing2Ring.GetAverage(kFacingSpan);
        }
        mFacing1 = f1;
        mFacing2 = f2;
        const float w1 = Weight(f1), w2 = Weight(f2);
        // Both facings near -1 weigh next to nothing: the paths then count alike.
        mProgress = w1 + w2 > 1e-6f ? (w2 * mU2 + w1 * mU1) / (w1 + w2) : 0.5f * (mU1 + mU2);
        break;
    }
    case CameraShot::kHeld:
    case CameraShot::kHeldStill:
        mProgress = 0.0f;
        break;
    default:
        break;
    }
    mProgress = std::isfinite(mProgress) ? std::clamp(mProgress, 0.0f, 1.0f) : 0.0f;
}

Vector GeScenaricCamera::LookDirection(float dt)
{
    const CameraShot& shot = *mShot;
    Vector look = mLook;
    switch (shot.targetKind)
    {
    case CameraShot::kTargetDirection:
        Normalised(shot.targetDirection, &look);
        break;
    case CameraShot::kTargetSpline:
    {
        Vector q;
        if (SplinePoint(shot.targetSpline, shot.targetSplineMode, mProgress, &q))
            Normalised(Sub(q, mEye), &look);
        break;
    }
    case CameraShot::kTargetHero:
    {
        TsActor* hero = WorldHero();
        if (!hero)
            break;
        const Vector h = HeroPosition(hero);
        const float dx = h.x - mEye.x, dz = h.z - mEye.z;
        const Vector lead = Scale(HeroFacing(hero), std::sqrt(dx * dx + dz * dz) / 1000.0f * shot.leadFactor);
        const Vector aim = Add(Add(h, Vector{0.0f, shot.heightOffset, 0.0f}), lead);
        Vector wanted;
        if (Normalised(Sub(aim, mEye), &wanted))
        {
            const float share = std::min(dt * 3.0f, 1.0f);
            Normalised(Add(gSmoothedLook, Scale(Sub(wanted, gSmoothedLook), share)), &gSmoothedLook);
        }
        look = gSmoothedLook;
        break;
    }
    case CameraShot::kTargetHeroAlongPaths:
    {
        TsActor* hero = WorldHero();
        Vector q, r;
        if (!hero || !SplinePoint(shot.targetSpline, 1, mProgress, &q) || !SplinePoint(shot.path, 1, mProgress, &r))
            break;
        if (shot.mode == CameraShot::kTwoPaths)
        {
            Vector r2;
            if (SplinePoint(shot.secondPath, 1, mProgress, &r2))
            {
                float d = Weight(mFacing1Ring.GetAverage(kFacingSpan));
                float b = Weight(mFacing2Ring.GetAverage(kFacingSpan));
                if (!(d + b > 1e-6f))
                    d = b = 1.0f;
                r = Scale(Add(Scale(r, d), Scale(r2, b)), 1.0f / (d + b));
            }
        }
        Vector aim = Add(HeroPosition(hero), Sub(q, r));
        if (shot.sideFactor != 0.0f)
        {
            Vector p, t;
            const float at = std::clamp(mProgress, kParameterMargin, 1.0f - kParameterMargin);
            if (SplinePoint(shot.path, 1, at, &p, &t))
            {
                const Vector a = HeroFacing(hero);
                mSideRing.Push(t.x * a.z - t.z * a.x, 0);
                const float m = mSideRing.GetAverage(kFacingSpan);
                aim = Add(aim, Scale(Vector{t.z, 0.0f, -t.x}, -shot.sideFactor * m));
            }
        }
        Normalised(Sub(aim, mEye), &look);
        break;
    }
    default:
        break;
    }
    return look;
}

void GeScenaricCamera::ApplyPlacement()
{
    if (!mShot)
        return;
    const CameraShot& shot = *mShot;
    const float dt = FrameSeconds();
    ComputeProgress(1);
    if (shot.eyeKind == CameraShot::kEyePoint)
        mEye = shot.eyePoint;
    else
        SplinePoint(shot.eyeSpline, shot.eyeSplineMode, mProgress, &mEye);
    const Vector at = LookDirection(dt);
    mLook = at;

    Vector up = {0.0f, 1.0f, 0.0f};
    if (shot.upKind == CameraShot::kUpVector && Finite(shot.up))
        up = shot.up;
    Vector right;
    // An up along the view gives no right: the world's up then, or x for a vertical view.
    if (!Normalised(Cross(up, at), &right) && !Normalised(Cross(Vector{0.0f, 1.0f, 0.0f}, at), &right))
        right = {1.0f, 0.0f, 0.0f};
    Normalised(Cross(at, right), &up);
    mRoll = shot.upKind == CameraShot::kUpCurve ? CameraShotCurveValue(shot.curve, mProgress * 100.0f) : 0.0f;
    if (mRoll != 0.0f)
    {
        right = TurnAbout(right, at, -mRoll);
        up = TurnAbout(up, at, -mRoll);
    }
    SetBaseMatrix(right, up, at, mEye);
    if (std::isfinite(shot.viewWidth) && std::isfinite(shot.viewHeight) && shot.viewWidth > 0.0f &&
        shot.viewHeight > 0.0f)
        SetViewWindow({shot.viewWidth, shot.viewHeight});
    PlayShake();
}

void ScenaricCameraCreate()
{
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    WScene* scene = world ? world->GetScene() : nullptr;
    GameStateManager* manager = GameStateManager::Existing();
    GameState* state = manager ? manager->GetCurrentState() : nullptr;
    GameProfile* profile = state ? state->GetProfile() : nullptr;
    if (!scene)
        return;
    if (profile && profile->secondCamera >= 0)
    {
        TsCameraRegistry::RemoveCamera(profile->secondCamera);
        profile->secondCamera = -1;
    }
    GeScenaricCamera* camera = GeScenaricCamera::Create();
    if (!camera)
        return;
    camera->AddRef();
    const int32_t id = TsCameraRegistry::AddCamera(camera, scene);
    camera->Release();
    if (id < 0)
        return;
    if (profile)
        profile->secondCamera = id;
    ScenaricCameraPlacement play;
    play.kind = ScenaricCameraPlacement::kPlayShot;
    play.value = CameraShotSlots::GetDefaultShot();
    TsCameraRegistry::SetCameraPlacement(id, &play);
}
