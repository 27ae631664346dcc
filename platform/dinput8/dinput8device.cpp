// Devices of our DirectInput 8 layer: the system mouse (immediate and buffered
// data, event notification) and pads (polled state, acquisition, loss).
#include "dinput8_local.h"

#include <algorithm>
#include <cstring>

namespace
{
// Every live device, so that the loss of a pad or a mouse change reaches them. Never destroyed:
// devices are released from exit handlers that run after the static destructors.
std::vector<Dinput8Device*>& gDevices = *new std::vector<Dinput8Device*>();

constexpr DWORD kMaxBufferSize = 1024;

LONG Clamp32(int64_t value)
{
    return static_cast<LONG>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}
} // namespace

Dinput8Device::Dinput8Device(IDirectInput8A* owner, Kind kind, uint32_t pad) : mOwner(owner), mKind(kind), mPad(pad)
{
    mOwner->AddRef();
    gDevices.push_back(this);
    Dinput8CountInterface(1);
}

Dinput8Device::~Dinput8Device()
{
    StopEffects();
    gDevices.erase(std::remove(gDevices.begin(), gDevices.end(), this), gDevices.end());
    Dinput8CountInterface(-1);
    mOwner->Release();
}

ULONG Dinput8Device::AddRef()
{
    return ++mRefCount;
}

ULONG Dinput8Device::Release()
{
    ULONG count = --mRefCount;
    if (count == 0)
        delete this;
    return count;
}

void Dinput8Device::RemoveEffect(Dinput8Effect* effect)
{
    mEffects.erase(std::remove(mEffects.begin(), mEffects.end(), effect), mEffects.end());
}

void Dinput8Device::StopEffects()
{
    if (mKind != Kind::Pad)
        return;
    for (Dinput8Effect* effect : mEffects)
        effect->Halt();
    if (Dinput8Pad* pad = Dinput8FindPad(mPad))
        Dinput8UpdateRumble(pad);
}

void Dinput8Device::Lose()
{
    if (!mAcquired)
        return;
    mAcquired = false;
    mLost = true;
    StopEffects();
}

void Dinput8Device::SignalChange()
{
    if (mKind == Kind::Mouse && mAcquired && mEvent)
        SetEvent(mEvent);
}

bool Dinput8Device::InForeground() const
{
    if (!mWindow || !(mCooperation & DISCL_FOREGROUND))
        return true;
    return GetFocus() == mWindow;
}

void Dinput8Device::CheckInput()
{
    Dinput8Refresh();
    if (mAcquired && !InForeground())
        Lose();
}

// ---- Set-up -----------------------------------------------------------------------------------

HRESULT Dinput8Device::GetCapabilities(LPDIDEVCAPS caps)
{
    if (!caps || caps->dwSize != sizeof(DIDEVCAPS))
        return DIERR_INVALIDPARAM;
    std::memset(reinterpret_cast<uint8_t*>(caps) + sizeof(DWORD), 0, sizeof(DIDEVCAPS) - sizeof(DWORD));
    if (mKind == Kind::Mouse)
    {
        caps->dwFlags = DIDC_ATTACHED;
        caps->dwDevType = DI8DEVTYPE_MOUSE;
        caps->dwAxes = 3;
        caps->dwButtons = 4;
        return DI_OK;
    }
    Dinput8Refresh();
    const Dinput8Pad* pad = Dinput8FindPad(mPad);
    caps->dwDevType = DI8DEVTYPE_GAMEPAD | (DI8DEVTYPEGAMEPAD_STANDARD << 8);
    caps->dwAxes = 4;
    caps->dwButtons = kDinput8PadButtons;
    caps->dwFlags = DIDC_POLLEDDEVICE;
    if (pad && pad->attached)
        caps->dwFlags |= DIDC_ATTACHED;
    if (pad && pad->forceFeedback)
    {
        caps->dwFlags |= DIDC_FORCEFEEDBACK;
        caps->dwFFMinTimeResolution = 1000;
    }
    return DI_OK;
}

HRESULT Dinput8Device::SetDataFormat(LPCDIDATAFORMAT format)
{
    if (!format)
        return DIERR_INVALIDPARAM;
    if (mAcquired)
        return DIERR_ACQUIRED;
    LPCDIDATAFORMAT wanted = mKind == Kind::Mouse ? &c_dfDIMouse : &c_dfDIJoystick2;
    if (format->dwFlags != wanted->dwFlags || format->dwDataSize != wanted->dwDataSize)
        return DIERR_INVALIDPARAM;
    mFormat = format;
    return DI_OK;
}

HRESULT Dinput8Device::SetCooperativeLevel(HWND window, DWORD flags)
{
    bool exclusive = flags & DISCL_EXCLUSIVE;
    bool foreground = flags & DISCL_FOREGROUND;
    if (exclusive == bool(flags & DISCL_NONEXCLUSIVE) || foreground == bool(flags & DISCL_BACKGROUND))
        return DIERR_INVALIDPARAM;
    if (window && !IsWindow(window))
        return DIERR_INVALIDPARAM;
    if (mAcquired)
        return DIERR_ACQUIRED;
    mWindow = window;
    mCooperation = flags;
    return DI_OK;
}

HRESULT Dinput8Device::SetProperty(DIPROPID property, LPCDIPROPHEADER header)
{
    if (!header || header->dwHeaderSize != sizeof(DIPROPHEADER))
        return DIERR_INVALIDPARAM;
    if (property != DIPROP_BUFFERSIZE)
        return DIERR_UNSUPPORTED;
    if (header->dwSize != sizeof(DIPROPDWORD) || header->dwHow != DIPH_DEVICE || header->dwObj != 0)
        return DIERR_INVALIDPARAM;
    if (mAcquired)
        return DIERR_ACQUIRED;
    mBufferSize = std::min(reinterpret_cast<const DIPROPDWORD*>(header)->dwData, kMaxBufferSize);
    return DI_OK;
}

HRESULT Dinput8Device::SetEventNotification(HANDLE event)
{
    if (mAcquired)
        return DIERR_ACQUIRED;
    mEvent = event;
    return DI_OK;
}

// ---- Acquisition ------------------------------------------------------------------------------

HRESULT Dinput8Device::Acquire()
{
    if (!mFormat)
        return DIERR_INVALIDPARAM;
    Dinput8Refresh();
    if (mAcquired)
    {
        if (InForeground())
            return DI_NOEFFECT;
        Lose();
    }
    if (!InForeground())
        return DIERR_OTHERAPPHASPRIO;
    if (mKind == Kind::Pad)
    {
        const Dinput8Pad* pad = Dinput8FindPad(mPad);
        if (!pad || !pad->attached)
            return DIERR_UNPLUGGED;
    }
    else
    {
        // Movement counts from the moment of acquisition.
        const Dinput8MouseTotals& mouse = Dinput8Mouse();
        mReadX = mouse.x;
        mReadY = mouse.y;
        mReadZ = mouse.z;
        mNextSequence = mouse.nextSequence;
    }
    mAcquired = true;
    mLost = false;
    return DI_OK;
}

HRESULT Dinput8Device::Unacquire()
{
    mLost = false;
    if (!mAcquired)
        return DI_NOEFFECT;
    mAcquired = false;
    StopEffects();
    return DI_OK;
}

// ---- Reading ---------------------------------------------------------------------------------

HRESULT Dinput8Device::Poll()
{
    if (mKind == Kind::Mouse)
        return mAcquired ? DI_NOEFFECT : DIERR_NOTACQUIRED;
    CheckInput();
    if (mLost)
        return DIERR_INPUTLOST;
    if (!mAcquired)
        return DIERR_NOTACQUIRED;
    if (Dinput8Pad* pad = Dinput8FindPad(mPad))
        Dinput8UpdateRumble(pad);
    return DI_OK;
}

HRESULT Dinput8Device::GetDeviceState(DWORD size, void* state)
{
    if (!state || !mFormat || size != mFormat->dwDataSize)
        return DIERR_INVALIDPARAM;
    CheckInput();
    if (mLost)
    {
        mLost = false;
        return DIERR_INPUTLOST;
    }
    if (!mAcquired)
        return DIERR_NOTACQUIRED;
    if (mKind == Kind::Mouse)
    {
        const Dinput8MouseTotals& mouse = Dinput8Mouse();
        DIMOUSESTATE out = {};
        out.lX = Clamp32(mouse.x - mReadX);
        out.lY = Clamp32(mouse.y - mReadY);
        out.lZ = Clamp32(mouse.z - mReadZ);
        std::memcpy(out.rgbButtons, mouse.buttons, sizeof out.rgbButtons);
        mReadX = mouse.x;
        mReadY = mouse.y;
        mReadZ = mouse.z;
        std::memcpy(state, &out, sizeof out);
        return DI_OK;
    }
    Dinput8Pad* pad = Dinput8FindPad(mPad);
    if (!pad)
        return DIERR_INPUTLOST;
    DIJOYSTATE2 out = {};
    out.lX = pad->axes[0];
    out.lY = pad->axes[1];
    out.lZ = pad->axes[2];
    out.lRz = pad->axes[3];
    for (DWORD& pov : out.rgdwPOV)
        pov = 0xFFFFFFFF;
    std::memcpy(out.rgbButtons, pad->buttons, kDinput8PadButtons);
    std::memcpy(state, &out, sizeof out);
    Dinput8UpdateRumble(pad);
    return DI_OK;
}

HRESULT Dinput8Device::GetDeviceData(DWORD recordSize, LPDIDEVICEOBJECTDATA data, LPDWORD count, DWORD flags)
{
    if (!count || recordSize != sizeof(DIDEVICEOBJECTDATA))
        return DIERR_INVALIDPARAM;
    if (mKind != Kind::Mouse || mBufferSize == 0)
        return DIERR_NOTBUFFERED;
    CheckInput();
    if (mLost)
    {
        mLost = false;
        return DIERR_INPUTLOST;
    }
    if (!mAcquired)
        return DIERR_NOTACQUIRED;
    const Dinput8MouseTotals& mouse = Dinput8Mouse();
    HRESULT result = DI_OK;
    // Changes beyond the buffer's size are lost, the oldest first.
    uint32_t keep = std::min(mBufferSize, kDinput8MouseHistory);
    if (mouse.nextSequence - mNextSequence > keep)
    {
        mNextSequence = mouse.nextSequence - keep;
        result = DI_BUFFEROVERFLOW;
    }
    DWORD given = 0;
    uint32_t sequence = mNextSequence;
    while (given < *count && sequence < mouse.nextSequence)
    {
        const DIDEVICEOBJECTDATA* change = Dinput8MouseChange(sequence++);
        if (!change)
            break;
        if (data)
            data[given] = *change;
        ++given;
    }
    if (!(flags & DIGDD_PEEK))
        mNextSequence = sequence;
    *count = given;
    return result;
}

// ---- Force feedback -----------------------------------------------------------------------------

HRESULT Dinput8Device::CreateEffect(REFGUID effect, LPCDIEFFECT parameters, LPDIRECTINPUTEFFECT* out, LPUNKNOWN outer)
{
    if (!out)
        return DIERR_INVALIDPARAM;
    *out = nullptr;
    if (outer)
        return DIERR_NOINTERFACE;
    const Dinput8Pad* pad = mKind == Kind::Pad ? Dinput8FindPad(mPad) : nullptr;
    if (!pad || !pad->forceFeedback)
        return DIERR_UNSUPPORTED;
    if (!(effect == GUID_ConstantForce))
        return DIERR_DEVICENOTREG;
    DIEFFECT initial = {};
    initial.dwSize = sizeof initial;
    if (parameters)
    {
        HRESULT valid = Dinput8Effect::Validate(parameters, DIEP_ALLPARAMS);
        if (valid != DI_OK)
            return valid;
        initial = *parameters;
    }
    *out = new Dinput8Effect(this, initial);
    return DI_OK;
}

HRESULT Dinput8Device::Escape(LPDIEFFESCAPE escape)
{
    if (!escape || escape->dwSize != sizeof(DIEFFESCAPE) || (escape->cbInBuffer && !escape->lpvInBuffer))
        return DIERR_INVALIDPARAM;
    const Dinput8Pad* pad = mKind == Kind::Pad ? Dinput8FindPad(mPad) : nullptr;
    if (!pad || !pad->forceFeedback)
        return DIERR_UNSUPPORTED;
    if (!PlaysEffects())
        return DIERR_NOTEXCLUSIVEACQUIRED;
    // Driver commands have no meaning for SDL's motors: they are recorded only.
    const auto* input = static_cast<const uint8_t*>(escape->lpvInBuffer);
    Dinput8RecordEscape({mPad, escape->dwCommand, std::vector<uint8_t>(input, input + escape->cbInBuffer)});
    escape->cbOutBuffer = 0;
    return DI_OK;
}

// ---- Shared with the rest of the layer -----------------------------------------------------------

void Dinput8LoseDevices(uint32_t pad)
{
    for (Dinput8Device* device : gDevices)
        if (device->GetKind() == Dinput8Device::Kind::Pad && (pad == 0 || device->GetPad() == pad))
            device->Lose();
}

void Dinput8SignalMouseDevices()
{
    for (Dinput8Device* device : gDevices)
        device->SignalChange();
}

void Dinput8UpdateRumble(Dinput8Pad* pad)
{
    if (!pad)
        return;
    // Motors follow the strongest playing effect on each; a timed effect
    // bounds how long they are told to hold.
    constexpr int64_t kRenewSpan = 1000 * kDinput8TicksPerMs;
    constexpr int64_t kRenewAhead = 250 * kDinput8TicksPerMs;
    int64_t now = Dinput8Now();
    uint16_t low = 0;
    uint16_t high = 0;
    int64_t until = INT64_MAX;
    if (pad->attached)
        for (Dinput8Device* device : gDevices)
        {
            if (device->GetPad() != pad->id || !device->PlaysEffects())
                continue;
            for (Dinput8Effect* effect : device->GetEffects())
            {
                uint16_t effectLow = 0;
                uint16_t effectHigh = 0;
                int64_t effectUntil = INT64_MAX;
                if (!effect->Contribution(now, effectLow, effectHigh, effectUntil))
                    continue;
                low = std::max(low, effectLow);
                high = std::max(high, effectHigh);
                if (effectLow || effectHigh)
                    until = std::min(until, effectUntil);
            }
        }
    bool running = low || high;
    bool changed = low != pad->rumbleLow || high != pad->rumbleHigh;
    // A rumble longer than what the motors were told is renewed before it
    // lapses; one that became shorter is told so.
    bool renew = running && until > pad->rumbleUntil && now >= pad->rumbleUntil - kRenewAhead;
    bool shorten = running && until <= pad->rumbleUntil - kDinput8TicksPerMs;
    if (!changed && !renew && !shorten)
        return;
    uint32_t durationMs = 0;
    if (running)
    {
        int64_t span = std::min(until - now, kRenewSpan);
        durationMs = static_cast<uint32_t>(std::max<int64_t>(1, (span + kDinput8TicksPerMs - 1) / kDinput8TicksPerMs));
    }
    pad->rumbleLow = low;
    pad->rumbleHigh = high;
    pad->rumbleUntil = running ? now + static_cast<int64_t>(durationMs) * kDinput8TicksPerMs : 0;
    if (!pad->attached)
        return;
    Dinput8IssueRumble(pad, low, high, durationMs);
}

int64_t Dinput8Now()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}
