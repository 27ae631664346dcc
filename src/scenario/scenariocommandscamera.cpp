// The scenario's camera commands: camera shots described into their slots and cut to, the
// follow camera's framings around a mark or an actor, the clip planes and the fog of the
// level's two cameras.
#include "gameprofile.h"
#include "hbmath.h"
#include "ingamecamera.h"
#include "scenariocamera.h"
#include "scenariocommands_local.h"
#include "scenarioslots.h"
#include "scriptworldmanager.h"
#include "tsactor.h"
#include "tscameraregistry.h"
#include "tsmarksystem.h"
#include "tssplinedatabase.h"
#include "yoscenaricmark.h"

#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace
{
// A line's tokens beyond its count read 0, whatever an earlier line left in the arguments.
int32_t I(const HbCommandArgs& args, int32_t index)
{
    return index < args.GetCount() ? scmd::Int(args, index) : 0;
}

float R(const HbCommandArgs& args, int32_t index)
{
    return index < args.GetCount() ? scmd::Real(args, index) : 0.0f;
}

Vector V(const HbCommandArgs& args, int32_t index)
{
    return {R(args, index), R(args, index + 1), R(args, index + 2)};
}

TsCamera* CameraOf(int32_t id)
{
    return id >= 0 ? TsCameraRegistry::GetCamera(id) : nullptr;
}

TsSplineDataBase* Splines()
{
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    return world ? HbCastTo<TsSplineDataBase>(world->GetCinematicSplines()) : nullptr;
}

Vector Unit(const Vector& v, const Vector& otherwise)
{
    const float length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    if (!(length > 1e-6f) || !std::isfinite(length))
        return otherwise;
    return {v.x / length, v.y / length, v.z / length};
}

/// How a shot kind lays out its tokens from [4].
struct ShotLayout
{
    int32_t mode;
    int32_t targetKind;
    /// Tokens of the spline kinds: eye, target, path, second path (0: none).
    int32_t path, second;
    int32_t focal, real;
    /// The key count's token (0: the kind has no keys); the up vector's token (0: none).
    int32_t keys, up;
    /// Kinds 6 and 7 end with a target word after their keys.
    bool targetWord;
};

bool Layout(int32_t kind, ShotLayout* out)
{
    static const ShotLayout kLayouts[] = {
        {CameraShot::kOnePath, CameraShot::kTargetSpline, 6, 0, 7, 8, 9, 0, false},
        {CameraShot::kTwoPaths, CameraShot::kTargetSpline, 6, 7, 8, 9, 10, 0, false},
        {CameraShot::kHeldStill, CameraShot::kTargetDirection, 0, 0, 10, 11, 0, 12, false},
        {CameraShot::kHeldStill, CameraShot::kTargetHero, 0, 0, 9, 10, 0, 11, false},
        {CameraShot::kTimed, CameraShot::kTargetSpline, 0, 0, 8, 0, 0, 0, false},
        {CameraShot::kHeld, CameraShot::kTargetDirection, 0, 0, 10, 0, 0, 11, false},
        {CameraShot::kOnePath, CameraShot::kTargetHeroAlongPaths, 6, 0, 7, 8, 9, 0, true},
        {CameraShot::kTwoPaths, CameraShot::kTargetHeroAlongPaths, 6, 7, 8, 9, 10, 0, true},
    };
    if (kind < 0 || kind >= int32_t(std::size(kLayouts)))
        return false;
    *out = kLayouts[kind];
    return true;
}
} // namespace

namespace scmd
{
int ShotCmd(const HbCommandArgs& args)
{
    const int32_t form = I(args, 1), slot = I(args, 2), kind = I(args, 3);
    ShotLayout layout;
    if (!Layout(kind, &layout))
        return 1;
    // An infinite lens, a slot that does not exist or keys the line does not hold are refused.
    const float focal = R(args, layout.focal);
    if (!(focal > 0.0f) || !std::isfinite(focal) || slot < 0 || slot >= CameraShotSlots::kSlotCount)
        return 0;
    const bool curveKeys = layout.keys && form >= 2;
    const bool targetWord = layout.targetWord && form >= 3;
    const int32_t keyCount = layout.keys ? I(args, layout.keys) : 0;
    if ((curveKeys || targetWord) &&
        (keyCount < 0 || int64_t(layout.keys) + 1 + 2 * int64_t(keyCount) + (targetWord ? 1 : 0) > args.GetCount()))
        return 0;

    auto shot = std::make_unique<CameraShot>();
    TsSplineDataBase* splines = Splines();
    if (kind == 2 || kind == 3 || kind == 5)
    {
        shot->eyeKind = CameraShot::kEyePoint;
        shot->eyePoint = V(args, 4);
    }
    else
    {
        shot->eyeKind = CameraShot::kEyeSpline;
        shot->eyeSpline.Set(splines, I(args, 4));
        shot->targetSpline.Set(splines, I(args, 5));
        // Kind 4 samples both splines by its shared word; the others uniformly.
        shot->eyeSplineMode = shot->targetSplineMode = kind == 4 ? I(args, 7) : 1;
    }
    shot->targetKind = layout.targetKind;
    if (kind == 2 || kind == 5)
    {
        const Vector view = Unit(V(args, 7), {0.0f, 0.0f, 0.0f});
        shot->targetDirection = {-view.x, -view.y, -view.z};
    }
    else if (kind == 3)
    {
        shot->heightOffset = R(args, 7);
        shot->leadFactor = R(args, 8);
    }
    if (targetWord)
        shot->sideFactor = float(I(args, layout.keys + 1 + 2 * keyCount));

    shot->upKind = CameraShot::kUpVector;
    shot->up = {0.0f, 1.0f, 0.0f};
    if (layout.up && form >= 4)
        shot->up = Unit(V(args, layout.up), {0.0f, 1.0f, 0.0f});
    if (curveKeys)
    {
        shot->upKind = CameraShot::kUpNone;
        if (keyCount > 0)
        {
            std::vector<float> times(static_cast<size_t>(keyCount)), values(static_cast<size_t>(keyCount));
            for (int32_t k = 0; k < keyCount; ++k)
            {
                times[size_t(k)] = R(args, layout.keys + 1 + 2 * k);
                values[size_t(k)] = R(args, layout.keys + 2 + 2 * k);
            }
            shot->curve = CameraShotCurveAdd(keyCount, times.data(), values.data());
            // The stage's curve table is full.
            if (shot->curve < 0)
                return 0;
            shot->upKind = CameraShot::kUpCurve;
        }
    }

    shot->viewWidth = 36.0f / (2.0f * focal);
    shot->viewHeight = 24.0f / (2.0f * focal);
    shot->mode = layout.mode;
    if (layout.mode == CameraShot::kTimed)
        shot->duration = R(args, 6);
    if (layout.path)
        shot->path.Set(splines, I(args, layout.path));
    if (layout.second)
        shot->secondPath.Set(splines, I(args, layout.second));
    if (layout.real)
        shot->shotReal = R(args, layout.real);
    return CameraShotSlots::Set(shot.release(), slot) ? 1 : 0;
}

int LaunchShotCmd(const HbCommandArgs& args)
{
    GameProfile* profile = Profile();
    if (I(args, 1) != 0 || !profile)
        return 1;
    const int32_t mode = I(args, 2);
    if (mode == 0)
    {
        if (!CameraOf(profile->followCamera))
            return 1;
        TsCameraRegistry::DeactivateCamera(TsCameraRegistry::GetCurrentCameraId());
        TsCameraRegistry::ActivateCamera(profile->followCamera);
        TsCameraRegistry::SetCurrentCamera(profile->followCamera);
        return 1;
    }
    if (mode != 1)
        return 1;
    const int32_t second = profile->secondCamera;
    TsCamera* camera = CameraOf(second);
    CameraShot* shot = CameraShotSlots::Get(I(args, 3));
    if (!camera || !shot)
        return 1;
    auto* scenaric = HbCastTo<GeScenaricCamera>(camera);
    if (scenaric && TsCameraRegistry::GetCurrentCameraId() == second && scenaric->GetShot() == shot)
        return 1;
    shot->startProgress = R(args, 4) / 100.0f;
    shot->secondStart = R(args, 5) / 100.0f;
    ScenaricCameraPlacement play;
    play.kind = ScenaricCameraPlacement::kPlayShot;
    play.value = shot;
    TsCameraRegistry::SetCameraPlacement(second, &play);
    TsCameraRegistry::DeactivateCamera(TsCameraRegistry::GetCurrentCameraId());
    TsCameraRegistry::ActivateCamera(second);
    TsCameraRegistry::SetCurrentCamera(second);
    return 1;
}

int ScenaricCamera(const HbCommandArgs& args)
{
    CameraFollowPlacement placement;
    placement.kind = CameraFollowPlacement::kAction;
    placement.action = I(args, 2);
    placement.duration = R(args, 3);
    placement.given = CameraFollowPlacement::kGivenDuration;
    if (I(args, 4))
    {
        TsMarkSystem* marks = TsGetMarkSystem();
        YoScenaricMark* mark = marks && 5 < args.GetCount() ? marks->FindMark(Text(args, 5).c_str()) : nullptr;
        if (!mark || !TsCameraRegistry::GetCurrentCameraNode())
            return 0;
        const Vector& at = mark->mMatrix.at;
        placement.direction[0] = at.x;
        placement.direction[1] = at.y;
        placement.direction[2] = at.z;
        placement.given |= CameraFollowPlacement::kGivenDirection;
        const Vector& p = mark->GetPosition();
        placement.targetKind = CameraFollowPlacement::kTargetPoint;
        placement.targetPoint[0] = p.x;
        placement.targetPoint[1] = p.y;
        placement.targetPoint[2] = p.z;
    }
    if (I(args, 6))
    {
        placement.pitch = R(args, 7);
        placement.given |= CameraFollowPlacement::kGivenPitch;
    }
    if (I(args, 8))
    {
        placement.distance = R(args, 9);
        placement.given |= CameraFollowPlacement::kGivenDistance;
    }
    if (I(args, 10))
    {
        placement.height = R(args, 11);
        placement.given |= CameraFollowPlacement::kGivenHeight;
    }
    if (I(args, 1) > 0 && I(args, 14))
    {
        const int32_t slot = ScenarioActorSlots::IsIndex(I(args, 15)) ? I(args, 15) : -1;
        if (TsActor* actor = slot >= 0 ? ScenarioActorSlots::GetAs<TsActor>(slot) : nullptr)
        {
            placement.targetKind = CameraFollowPlacement::kTargetActor;
            placement.targetActor = actor;
        }
    }
    if (GameProfile* profile = Profile(); profile && CameraOf(profile->followCamera))
        TsCameraRegistry::SetCameraPlacement(profile->followCamera, &placement);
    return 1;
}

int SetCameraParams(const HbCommandArgs& args)
{
    if (args.GetCount() != 4 || I(args, 1) != 0)
        return 1;
    GameProfile* profile = Profile();
    const std::string sector = profile ? profile->sectorId : std::string();
    const float limit = sector == "W2L2S01" || sector == "W2L1S01" ? 30000.0f : 14000.0f;
    const float distance = R(args, 2);
    // The distance only decides whether the planes are set; one that is no number never does.
    if (!(distance < limit))
        return 0;
    if (!profile)
        return 1;
    for (const int32_t id : {profile->followCamera, profile->secondCamera})
        if (TsCamera* camera = CameraOf(id))
        {
            camera->SetNearClipPlane(1.0f);
            camera->SetFarClipPlane(limit);
        }
    return 1;
}

int SetFogParams(const HbCommandArgs& args)
{
    GameProfile* profile = Profile();
    if (args.GetCount() != 10 || I(args, 1) != 0 || !profile)
        return 1;
    const int32_t on = I(args, 3);
    const int32_t mode = I(args, 2);
    const Rgba colour = {uint8_t(I(args, 4) & 0xFF), uint8_t(I(args, 5) & 0xFF), uint8_t(I(args, 6) & 0xFF),
                         uint8_t(I(args, 7) & 0xFF)};
    for (const int32_t id : {profile->followCamera, profile->secondCamera})
    {
        TsCamera* camera = CameraOf(id);
        if (!camera)
            continue;
        camera->SetFogEnabled(on);
        if (!on)
            continue;
        camera->SetFogColor(colour);
        if (mode == 0)
        {
            camera->SetFogType(1);
            camera->SetFogDistance(float(I(args, 8)));
            camera->SetFogEnd(float(I(args, 9)));
        }
        else if (mode == 1 || mode == 2)
        {
            camera->SetFogType(mode + 1);
            // Read as a real, so that a line can give the small densities fog needs.
            const float density = R(args, 8);
            if (std::isfinite(density) && density >= 0.0f)
                camera->SetFogDensity(density);
        }
    }
    return 1;
}
} // namespace scmd
