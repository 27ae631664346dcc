// Debris launch parameters: the four debris types and the shared gravity term of the moving
// bodies.
#pragma once

#include <cstdint>

struct Fx3dType
{
    /// Pieces a launch may hold at once (derived).
    int32_t piecesReserved = 0;
    int32_t pieces = 0;
    int64_t launchWindow = 0;
    int64_t life = 0;
    int64_t fadeDelay = 0;
    /// Seconds; 0 or less: no fade.
    float fadeDuration = -1.0f;
    /// Far beyond any game time until set.
    int64_t launchInterval = INT64_MAX;
    float positionOffset[3] = {0, 0, 0};
    float positionSpread[3] = {0, 0, 0};
    float direction[3] = {0, 0, 0};
    float directionSpread[3] = {0, 0, 0};
    /// Units per tick.
    float speed = 0.0f;
    float speedSpread = 0.0f;
    float scale[3] = {1, 1, 1};
    float scaleSpread[3] = {0, 0, 0};
    /// Degrees per second.
    float spin = 0.0f;
    float spinSpread = 0.0f;
    float spinAxis[3] = {0, 0, 1};
    float restitution = 1.0f;

    /// The derived values from the given ones: fade no longer than the life, the fade delay,
    /// the reserved count and a unit direction.
    void Derive();
};

constexpr int32_t kFx3dTypeCount = 4;
constexpr int32_t kFx3dTypeBox = 0;
constexpr int32_t kFx3dTypeBaril = 1;
constexpr int32_t kFx3dTypeBarilWood = 2;
constexpr int32_t kFx3dTypeBarilBridge = 3;

/// Fills the four debris types (start-up).
void Fx3dFillTypes();
/// Type index 0 to 3, else null.
Fx3dType* Fx3dGetType(int32_t index);
/// Ticks of the performance counter for the seconds.
int64_t Fx3dTicks(float seconds);

/// Half the gravity (9.81 x 100 units per second squared, downward) per tick squared, from
/// the counter's frequency (start-up).
void PhysicsSetGravity();
float PhysicsGetGravity();
/// The displacement after s ticks from velocity v (per tick) under gravity, into out.
void PhysicsDisplacement(int64_t s, const float* v, float* out);
