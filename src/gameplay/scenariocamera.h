// The scenario camera GeScenaricCamera and the camera shots it plays: the 50 shot slots, the
// key curves of roll angles, and the per-frame play of a shot (eye, look direction, roll, lens)
// that is held still, timed, or driven by the hero's progress along one or two paths.
#pragma once

#include "ingamecamera.h"

#include <cstdint>

class TsSplineDataBase;
struct TsSplineEntry;

/// A spline of the level's spline database by number. The shot keeps one reference to the
/// database, so the entry is found again each time and never outlives its owner.
class CameraShotSpline
{
public:
    CameraShotSpline() = default;
    ~CameraShotSpline();
    CameraShotSpline(const CameraShotSpline&) = delete;
    CameraShotSpline& operator=(const CameraShotSpline&) = delete;

    /// The entry of the index in the database (null: none). Nothing is kept when the database
    /// has no entry there.
    void Set(TsSplineDataBase* database, int32_t index);
    /// The entry, or null.
    const TsSplineEntry* Get() const;
    int32_t GetIndex() const { return mDatabase ? mIndex : -1; }

private:
    TsSplineDataBase* mDatabase = nullptr;
    int32_t mIndex = -1;
};

/// A camera shot. Kinds and modes keep the values the shot commands write.
struct CameraShot
{
    enum EyeKind : int32_t
    {
        kEyePoint = 0,
        kEyeSpline = 1,
    };
    enum TargetKind : int32_t
    {
        kTargetDirection = 0,
        kTargetSpline = 1,
        kTargetHero = 2,
        kTargetHeroAlongPaths = 3,
    };
    enum UpKind : int32_t
    {
        kUpNone = 0,
        kUpVector = 1,
        kUpCurve = 2,
    };
    enum Mode : int32_t
    {
        kHeld = 0,
        kTimed = 1,
        kOnePath = 2,
        kTwoPaths = 3,
        kHeldStill = 4,
    };

    /// The slot that owns the shot; -1 for none.
    int32_t slot = -1;
    int32_t eyeKind = kEyePoint;
    Vector eyePoint = {0.0f, 0.0f, 0.0f};
    CameraShotSpline eyeSpline;
    /// 1 samples the spline uniformly, 0 eased in and out; other values give no position.
    int32_t eyeSplineMode = 1;
    int32_t targetKind = kTargetDirection;
    Vector targetDirection = {1.0f, 0.0f, 0.0f};
    CameraShotSpline targetSpline;
    int32_t targetSplineMode = 1;
    /// Target kind 2: the hero's height offset and the lead factor.
    float heightOffset = 0.0f;
    float leadFactor = 0.0f;
    /// Target kind 3: the side factor.
    float sideFactor = 0.0f;
    int32_t upKind = kUpVector;
    Vector up = {0.0f, 1.0f, 0.0f};
    /// Up kind 2: the key curve's index.
    int32_t curve = -1;
    float viewWidth = 0.8f;
    float viewHeight = 0.8f;
    int32_t mode = kHeld;
    /// Mode 1: seconds.
    float duration = 0.0f;
    CameraShotSpline path;
    float startProgress = 0.0f;
    CameraShotSpline secondPath;
    float secondStart = 0.0f;
    /// A real of the line, kept with the shot.
    float shotReal = 0.0f;
};

namespace CameraShotSlots
{
constexpr int32_t kSlotCount = 50;
/// The slot takes the shot (ownership) and frees the one it held; the shot learns its slot.
/// 0 for a null shot or a slot outside 0-49 (the shot is then freed: the caller gave it away).
int32_t Set(CameraShot* shot, int32_t slot);
/// The slot's shot, or null (empty slot, index outside 0-49).
CameraShot* Get(int32_t slot);
/// The shot a scenario camera starts with: the eye at the origin looking along +x, lens
/// 0.8 x 0.8, held.
CameraShot* GetDefaultShot();
} // namespace CameraShotSlots

/// Stage entry: every slot empty and every key curve gone (whatever a stage left is freed),
/// the default shot as new.
void CameraShotsReset();
/// Stage exit: every shot and key curve freed.
void CameraShotsFree();

constexpr int32_t kCameraShotCurveMax = 11;
/// A key curve of n keys (times in percent of the shot's progress, values in degrees): one
/// key is a constant, two a line between them, three read 0, four or more a spline through the
/// values. Its index, or -1 when n is below 1, the arrays are missing or the 11 curves exist.
int32_t CameraShotCurveAdd(int32_t n, const float* times, const float* values);
int32_t CameraShotCurveCount();
/// The curve's value at the time (percent); 0 for an index that names no curve.
float CameraShotCurveValue(int32_t index, float time);

/// What the scenario camera's SetPlacement reads: a kind and one pointer, only read during the
/// call.
struct ScenaricCameraPlacement
{
    enum Kind : int32_t
    {
        /// value: the CameraShot to play, owned by its slot (or the default shot).
        kPlayShot = 0,
        /// value: a shake request laid out as CameraShakeRequest.
        kShake = 1,
        /// value: a float, the focal length.
        kFocal = 2,
    };
    int32_t kind = kPlayShot;
    const void* value = nullptr;
};

class GeScenaricCamera : public BasicInGameCamera
{
    HB_DECLARE_CLASS_DESC();

public:
    static constexpr int32_t kHistory = 400;

    /// A new scenario camera (count 0) playing the default shot; null when the engine camera
    /// cannot be had.
    static GeScenaricCamera* Create();
    ~GeScenaricCamera() override;

    void SetPlacement(const void* placement) override;
    /// The shot's progress, eye, direction and roll into the frame, the lens, then the shake.
    void ApplyPlacement() override;

    const CameraShot* GetShot() const { return mShot; }
    float GetProgress() const { return mProgress; }
    /// The look direction of the last frame.
    const Vector& GetLook() const { return mLook; }
    const Vector& GetEye() const { return mEye; }
    /// The roll of the last frame, degrees.
    float GetRoll() const { return mRoll; }

    /// The shot is being freed: a camera playing it goes back to the default shot.
    static void OnShotFreed(const CameraShot* shot);

private:
    GeScenaricCamera();

    void Start(const CameraShot* shot);
    void ComputeProgress(int32_t withHistories);
    /// One step of the path parameter toward the hero; the facing measure.
    float PathStep(const CameraShotSpline& spline, float* u, int32_t reversed, const Vector& hero,
                   const Vector& facing);
    Vector LookDirection(float dt);

    const CameraShot* mShot = nullptr;
    float mProgress = 0.0f;
    float mElapsed = 0.0f;
    float mU1 = 0.0f;
    float mU2 = 0.0f;
    float mFacing1 = 0.0f;
    float mFacing2 = 0.0f;
    Vector mEye = {0.0f, 0.0f, 0.0f};
    Vector mLook = {1.0f, 0.0f, 0.0f};
    float mRoll = 0.0f;
    GeScenaricCamera* mNext = nullptr;
    TsSampleRing::Sample mProgressSamples[kHistory];
    TsSampleRing::Sample mFacing1Samples[kHistory];
    TsSampleRing::Sample mFacing2Samples[kHistory];
    TsSampleRing::Sample mSideSamples[kHistory];
    TsSampleRing mProgressRing;
    TsSampleRing mFacing1Ring;
    TsSampleRing mFacing2Ring;
    TsSampleRing mSideRing;
};

/// The stage's scenario camera: registered under the scene (inactive), its id the profile's
/// second camera, playing the default shot. Called by InGameCamerasCreate.
void ScenaricCameraCreate();
