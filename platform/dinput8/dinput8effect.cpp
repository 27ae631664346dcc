// Constant-force effects of our DirectInput 8 layer: their parameters, play
// and stop, and the strength each gives one of the pad's two motors.
#include "dinput8_local.h"

#include <cmath>
#include <cstdlib>

Dinput8Effect::Dinput8Effect(Dinput8Device* device, const DIEFFECT& parameters) : mDevice(device)
{
    mDevice->AddRef();
    mDevice->AddEffect(this);
    Take(parameters, DIEP_ALLPARAMS);
    Dinput8CountInterface(1);
}

Dinput8Effect::~Dinput8Effect()
{
    mPlaying = false;
    mDevice->RemoveEffect(this);
    Dinput8UpdateRumble(Dinput8FindPad(mDevice->GetPad()));
    Dinput8CountInterface(-1);
    mDevice->Release();
}

ULONG Dinput8Effect::AddRef()
{
    return ++mRefCount;
}

ULONG Dinput8Effect::Release()
{
    ULONG count = --mRefCount;
    if (count == 0)
        delete this;
    return count;
}

HRESULT Dinput8Effect::Validate(const DIEFFECT* effect, DWORD flags)
{
    if (!effect || effect->dwSize != sizeof(DIEFFECT))
        return DIERR_INVALIDPARAM;
    if ((flags & DIEP_GAIN) && effect->dwGain > static_cast<DWORD>(DI_FFNOMINALMAX))
        return DIERR_INVALIDPARAM;
    if (flags & (DIEP_AXES | DIEP_DIRECTION))
    {
        if (effect->cAxes < 1 || effect->cAxes > 2)
            return DIERR_INVALIDPARAM;
        if (!(effect->dwFlags & DIEFF_OBJECTOFFSETS) || !(effect->dwFlags & DIEFF_CARTESIAN))
            return DIERR_UNSUPPORTED;
        if (((flags & DIEP_AXES) && !effect->rgdwAxes) || ((flags & DIEP_DIRECTION) && !effect->rglDirection))
            return DIERR_INVALIDPARAM;
        if (flags & DIEP_AXES)
            for (DWORD i = 0; i < effect->cAxes; ++i)
                if (effect->rgdwAxes[i] != DIJOFS_X && effect->rgdwAxes[i] != DIJOFS_Y)
                    return DIERR_INVALIDPARAM;
    }
    if (flags & DIEP_TYPESPECIFICPARAMS)
        if (effect->cbTypeSpecificParams != sizeof(DICONSTANTFORCE) || !effect->lpvTypeSpecificParams)
            return DIERR_INVALIDPARAM;
    if ((flags & DIEP_ENVELOPE) && effect->lpEnvelope && effect->lpEnvelope->dwSize != sizeof(DIENVELOPE))
        return DIERR_INVALIDPARAM;
    return DI_OK;
}

void Dinput8Effect::Take(const DIEFFECT& effect, DWORD flags)
{
    if (flags & DIEP_DURATION)
        mDuration = effect.dwDuration;
    if (flags & DIEP_GAIN)
        mGain = effect.dwGain;
    if ((flags & DIEP_DIRECTION) && effect.rglDirection && effect.rgdwAxes)
    {
        // The direction's components in the order of the effect's axes.
        mDirection[0] = mDirection[1] = 0;
        for (DWORD i = 0; i < effect.cAxes && i < 2; ++i)
            mDirection[effect.rgdwAxes[i] == DIJOFS_Y ? 1 : 0] = effect.rglDirection[i];
    }
    if ((flags & DIEP_TYPESPECIFICPARAMS) && effect.lpvTypeSpecificParams)
        mMagnitude = static_cast<const DICONSTANTFORCE*>(effect.lpvTypeSpecificParams)->lMagnitude;
}

HRESULT Dinput8Effect::SetParameters(LPCDIEFFECT effect, DWORD flags)
{
    HRESULT valid = Validate(effect, flags);
    if (valid != DI_OK)
        return valid;
    Take(*effect, flags);
    if (flags & DIEP_START)
        return Start(1, 0);
    if (mPlaying && !(flags & DIEP_NORESTART))
        mStart = Dinput8Now();
    Dinput8UpdateRumble(Dinput8FindPad(mDevice->GetPad()));
    return DI_OK;
}

HRESULT Dinput8Effect::Start(DWORD iterations, DWORD flags)
{
    if (iterations == 0)
        return DIERR_INVALIDPARAM;
    if (!mDevice->PlaysEffects())
        return DIERR_NOTEXCLUSIVEACQUIRED;
    if (flags & DIES_SOLO)
        for (Dinput8Effect* other : mDevice->GetEffects())
            other->mPlaying = false;
    mPlaying = true;
    mStart = Dinput8Now();
    Dinput8UpdateRumble(Dinput8FindPad(mDevice->GetPad()));
    return DI_OK;
}

HRESULT Dinput8Effect::Stop()
{
    if (!mDevice->PlaysEffects())
        return DIERR_NOTEXCLUSIVEACQUIRED;
    mPlaying = false;
    Dinput8UpdateRumble(Dinput8FindPad(mDevice->GetPad()));
    return DI_OK;
}

bool Dinput8Effect::Contribution(int64_t now, uint16_t& low, uint16_t& high, int64_t& until)
{
    if (!mPlaying)
        return false;
    until = INT64_MAX;
    if (mDuration != INFINITE)
    {
        // Durations are in microseconds, the clock in tenths of them.
        until = mStart + static_cast<int64_t>(mDuration) * 10;
        if (now >= until)
        {
            mPlaying = false;
            return false;
        }
    }
    double strength = std::fabs(static_cast<double>(mMagnitude)) * mGain / (double(DI_FFNOMINALMAX) * DI_FFNOMINALMAX);
    auto motor = static_cast<uint16_t>(std::lround(std::fmin(strength, 1.0) * 65535.0));
    // A force along the x axis drives the strong motor, along y the light one.
    if (std::labs(mDirection[0]) >= std::labs(mDirection[1]))
        low = motor;
    else
        high = motor;
    return true;
}
