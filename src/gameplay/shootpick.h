// The shoot helper's target pick: a survey of the actors the current camera sees (enemies as
// targets, other actors as blockers), then the nearest target to a screen point whose sight
// line from the camera is clear. The weapons' shot and the follow camera use it.
#pragma once

#include "vector.h"

#include <cstdint>

struct Matrix;

/// Candidates and blockers one survey keeps at most.
constexpr int32_t kShootHelperTargets = 10;
constexpr int32_t kShootHelperBlockers = 15;

/// A point in view space turned into screen coordinates: 1 and (x/z, y/z) when the point lies
/// strictly inside the view (x, y, z > 0, x < z, y < z).
int32_t ShootHelperScreenPoint(const Matrix& view, const Vector& point, float screen[2]);
/// The world-to-screen matrix of the current camera (same mapping as the engine's view
/// matrix: the screen spans 0..1 from the top left). 0 without a current camera.
int32_t ShootHelperViewMatrix(Matrix* view, Vector* cameraPosition);

/// Surveys the actors, then picks: see the file comment. 1 and a world point, or 0.
int32_t ShootHelperPick(float centreX, float centreY, float tolerance, int32_t useHead, Vector* out);
/// Non-zero when a valid blocker's collision or the level stops the segment.
int32_t ShootHelperLineBlocked(const Vector segment[2]);
/// The shot's pick: the screen centre, the current spread, heads first.
int32_t ShootHelperWeaponTarget(Vector* out);
/// The follow camera's pick: the screen centre, tolerance 1, bodies only.
int32_t ShootHelperCameraTarget(Vector* out);
/// Targets and blockers the last survey kept.
int32_t ShootHelperTargetCount();
int32_t ShootHelperBlockerCount();
