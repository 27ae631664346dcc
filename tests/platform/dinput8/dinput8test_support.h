// Shared by the DirectInput 8 tests: the constant-force effect the pad code plays.
#pragma once

#include "dinput8.h"

/// Creates an untimed constant force of the given magnitude along x or y; the
/// creation's result goes to result (when given); null on failure.
inline IDirectInputEffect* MakeConstantForce(IDirectInputDevice8A* device, bool alongX, LONG magnitude,
                                             HRESULT* result = nullptr)
{
    DWORD axes[2] = {DIJOFS_X, DIJOFS_Y};
    LONG direction[2] = {alongX ? 1 : 0, alongX ? 0 : 1};
    DICONSTANTFORCE force = {magnitude};
    DIEFFECT effect = {};
    effect.dwSize = sizeof effect;
    effect.dwFlags = DIEFF_CARTESIAN | DIEFF_OBJECTOFFSETS;
    effect.dwDuration = INFINITE;
    effect.dwGain = DI_FFNOMINALMAX;
    effect.dwTriggerButton = DIEB_NOTRIGGER;
    effect.cAxes = 2;
    effect.rgdwAxes = axes;
    effect.rglDirection = direction;
    effect.cbTypeSpecificParams = sizeof force;
    effect.lpvTypeSpecificParams = &force;
    IDirectInputEffect* out = nullptr;
    HRESULT hr = device->CreateEffect(GUID_ConstantForce, &effect, &out, nullptr);
    if (result)
        *result = hr;
    return out;
}
