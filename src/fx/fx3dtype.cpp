// The four debris types and the gravity term of the moving bodies.
#include "fx3dtype.h"

#include "hbclock.h"

#include <algorithm>
#include <cmath>

namespace
{
constexpr float kHalfGravity = -4.905f;

Fx3dType gTypes[kFx3dTypeCount];
float gGravity = 0.0f;

float TicksPerSecond()
{
    const int64_t frequency = HbPerformanceFrequency();
    return frequency > 0 ? float(frequency) : 1.0f;
}

void Set3(float* out, float x, float y, float z)
{
    out[0] = x, out[1] = y, out[2] = z;
}

struct TypeValues
{
    int32_t pieces;
    float offsetY;
    float spread[3];
    float directionSpread[3];
    float speed;
    float scale;
    float scaleSpread[3];
    float restitution;
};

// BOX, BARIL, BARIL_WOOD, BARIL_BRIDGE.
constexpr TypeValues kValues[kFx3dTypeCount] = {
    {6, 50, {40, 40, 40}, {0.1f, 0, 0.1f}, 400, 1.0f, {0.7f, 0, 0}, 0.5f},
    {3, 50, {20, 40, 20}, {0.2f, 1.0f, 0.2f}, 600, 1.0f, {0.2f, 0, 0}, 0.5f},
    {5, 60, {20, 30, 20}, {0.2f, 0.7f, 0.2f}, 450, 0.6f, {0.2f, 0.2f, 0.2f}, 0.5f},
    {10, 50, {40, 40, 40}, {0.1f, 0.3f, 0.1f}, 500, 1.0f, {0.7f, 0, 0}, 0.4f},
};
} // namespace

int64_t Fx3dTicks(float seconds)
{
    return int64_t(double(seconds) * double(TicksPerSecond()));
}

void Fx3dType::Derive()
{
    const float lifeSeconds = float(double(life) / double(TicksPerSecond()));
    fadeDuration = std::min(fadeDuration, lifeSeconds);
    fadeDelay = Fx3dTicks(fadeDuration);
    const int64_t span = std::min(launchWindow, life);
    const int64_t launches = launchInterval > 0 ? span / launchInterval : 0;
    piecesReserved = int32_t(std::max<int64_t>(1, launches)) * pieces;
    const float length =
        std::sqrt(direction[0] * direction[0] + direction[1] * direction[1] + direction[2] * direction[2]);
    if (length > 0.0f)
        for (float& d : direction)
            d /= length;
}

void Fx3dFillTypes()
{
    const float perTick = 1.0f / TicksPerSecond();
    for (int32_t i = 0; i < kFx3dTypeCount; ++i)
    {
        const TypeValues& v = kValues[i];
        Fx3dType& t = gTypes[i];
        t = Fx3dType{};
        t.pieces = v.pieces;
        t.launchWindow = Fx3dTicks(0.1f);
        t.launchInterval = Fx3dTicks(0.1f);
        t.life = Fx3dTicks(2.0f);
        t.fadeDuration = 1.0f;
        Set3(t.positionOffset, 0, v.offsetY, 0);
        Set3(t.positionSpread, v.spread[0], v.spread[1], v.spread[2]);
        Set3(t.direction, 0, 1, 0);
        Set3(t.directionSpread, v.directionSpread[0], v.directionSpread[1], v.directionSpread[2]);
        t.speed = v.speed * perTick;
        t.speedSpread = 50.0f * perTick;
        Set3(t.scale, v.scale, v.scale, v.scale);
        Set3(t.scaleSpread, v.scaleSpread[0], v.scaleSpread[1], v.scaleSpread[2]);
        t.spin = 0.0f;
        t.spinSpread = 720.0f;
        Set3(t.spinAxis, 1, 1, 1);
        t.restitution = v.restitution;
        t.Derive();
    }
}

Fx3dType* Fx3dGetType(int32_t index)
{
    return index >= 0 && index < kFx3dTypeCount ? &gTypes[index] : nullptr;
}

void PhysicsSetGravity()
{
    const float ticks = TicksPerSecond();
    gGravity = kHalfGravity * 100.0f / (ticks * ticks);
}

float PhysicsGetGravity()
{
    return gGravity;
}

void PhysicsDisplacement(int64_t s, const float* v, float* out)
{
    const float t = float(s);
    out[0] = t * v[0];
    out[1] = t * (t * gGravity + v[1]);
    out[2] = t * v[2];
}
