// Inside our DirectInput 8 layer: the input source table, the pads and mouse
// as the layer sees them, and what the object, device and effect files share.
#pragma once

#include "dinput8.h"
#include "dinput8testhooks.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// ---- Pads and the mouse ------------------------------------------------------------------

constexpr int kDinput8PadButtons = 16;
constexpr LONG kDinput8AxisCentre = 32767;

/// A game controller of the source. The record stays when the pad is
/// unplugged, so that the same pad plugged in again (same key) is found by
/// the devices made for it.
struct Dinput8Pad
{
    uint32_t id = 0; ///< never reused; part of the instance identifier
    std::string key; ///< what makes it the same physical pad for the source
    uint16_t vendor = 0;
    uint16_t product = 0;
    std::string name;
    bool attached = true;
    bool forceFeedback = false;
    LONG axes[4] = {kDinput8AxisCentre, kDinput8AxisCentre, kDinput8AxisCentre, kDinput8AxisCentre};
    BYTE buttons[kDinput8PadButtons] = {};
    // What the motors were last told, and until when (performance-counter ticks).
    uint16_t rumbleLow = 0;
    uint16_t rumbleHigh = 0;
    int64_t rumbleUntil = 0;
    void* native = nullptr; ///< the source's own handle
};

/// A pad of that identity appears, reusing an unplugged record with the same key.
Dinput8Pad* Dinput8AttachPad(const std::string& key, uint16_t vendor, uint16_t product, const std::string& name,
                             bool forceFeedback, void* native);
/// Unplugged: the acquired devices of the pad lose their input, its motors
/// are considered stopped.
void Dinput8DetachPad(Dinput8Pad* pad);
Dinput8Pad* Dinput8FindPad(uint32_t id);
const std::vector<std::unique_ptr<Dinput8Pad>>& Dinput8Pads();

/// Mouse changes from the source: relative movement, wheel units (120 a notch), buttons 0..3.
void Dinput8MouseMove(LONG dx, LONG dy);
void Dinput8MouseWheel(LONG units);
void Dinput8MouseButton(int button, bool down);

/// Everything the mouse has done since the layer started, for the devices to
/// take differences of.
struct Dinput8MouseTotals
{
    int64_t x = 0;
    int64_t y = 0;
    int64_t z = 0;
    BYTE buttons[4] = {};
    uint32_t nextSequence = 1; ///< the sequence number the next change will get
};
const Dinput8MouseTotals& Dinput8Mouse();
/// The buffered change of that sequence number, or null when it is no longer
/// kept (the layer keeps the most recent kDinput8MouseHistory).
constexpr uint32_t kDinput8MouseHistory = 256;
const DIDEVICEOBJECTDATA* Dinput8MouseChange(uint32_t sequence);

// ---- Source table ---------------------------------------------------------------------------

/// Where pads and mouse changes come from. A source fills the table in its
/// create function; optional entries may stay null.
struct Dinput8Source
{
    const char* name = nullptr;
    /// Called when the first DirectInput object is made; false when the input
    /// system cannot start (the object is not made).
    bool (*Start)(Dinput8Source* self) = nullptr;
    /// When the last object goes; the source's pads are unplugged.
    void (*Stop)(Dinput8Source* self) = nullptr;
    /// Brings the pads (attached, detached, states) up to date. Optional.
    void (*Refresh)(Dinput8Source* self) = nullptr;
    /// Drives the pad's two motors for the duration (0 with both strengths 0). Optional.
    void (*Rumble)(Dinput8Source* self, Dinput8Pad* pad, uint16_t low, uint16_t high, uint32_t durationMs) = nullptr;
    void* internal = nullptr;
};

bool Dinput8CreateSdlSource(Dinput8Source* self);
bool Dinput8CreateInjectedSource(Dinput8Source* self);

/// Starts the source with the first object (false when it cannot start) and
/// stops it with the last.
bool Dinput8AddObject();
void Dinput8RemoveObject();
void Dinput8Refresh();
/// Records the motor command and passes it to the source.
void Dinput8IssueRumble(Dinput8Pad* pad, uint16_t low, uint16_t high, uint32_t durationMs);

// ---- Devices and effects --------------------------------------------------------------------

/// The layer's clock: performance-counter ticks (10 MHz).
int64_t Dinput8Now();
constexpr int64_t kDinput8TicksPerMs = 10000;

/// The instance identifier of a pad, and the pad id it names (0 when none).
GUID Dinput8PadInstance(uint32_t id);
uint32_t Dinput8PadOfInstance(REFGUID instance);

class Dinput8Effect;

/// A device of the layer: the system mouse or one pad. It holds a reference
/// on the object that made it; its effects hold references on it.
class Dinput8Device final : public IDirectInputDevice8A
{
public:
    enum class Kind
    {
        Mouse,
        Pad
    };

    Dinput8Device(IDirectInput8A* owner, Kind kind, uint32_t pad);

    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetCapabilities(LPDIDEVCAPS caps) override;
    HRESULT SetDataFormat(LPCDIDATAFORMAT format) override;
    HRESULT SetCooperativeLevel(HWND window, DWORD flags) override;
    HRESULT SetProperty(DIPROPID property, LPCDIPROPHEADER header) override;
    HRESULT Acquire() override;
    HRESULT Unacquire() override;
    HRESULT GetDeviceState(DWORD size, void* state) override;
    HRESULT GetDeviceData(DWORD recordSize, LPDIDEVICEOBJECTDATA data, LPDWORD count, DWORD flags) override;
    HRESULT SetEventNotification(HANDLE event) override;
    HRESULT Poll() override;
    HRESULT CreateEffect(REFGUID effect, LPCDIEFFECT parameters, LPDIRECTINPUTEFFECT* out, LPUNKNOWN outer) override;
    HRESULT Escape(LPDIEFFESCAPE escape) override;

    Kind GetKind() const { return mKind; }
    uint32_t GetPad() const { return mPad; }
    /// Effects play only on a pad device acquired at the exclusive level.
    bool PlaysEffects() const { return mKind == Kind::Pad && mAcquired && (mCooperation & DISCL_EXCLUSIVE); }
    const std::vector<Dinput8Effect*>& GetEffects() const { return mEffects; }
    void AddEffect(Dinput8Effect* effect) { mEffects.push_back(effect); }
    void RemoveEffect(Dinput8Effect* effect);
    /// Input lost (unplugged, focus gone, taken away): unacquired, effects stopped.
    void Lose();
    /// Tells the event that the mouse moved, while acquired.
    void SignalChange();

private:
    ~Dinput8Device() override;
    bool InForeground() const;
    /// Refreshes the source and loses the device when its window lost the focus.
    void CheckInput();
    void StopEffects();

    IDirectInput8A* mOwner;
    Kind mKind;
    uint32_t mPad;
    ULONG mRefCount = 1;
    LPCDIDATAFORMAT mFormat = nullptr;
    HWND mWindow = nullptr;
    DWORD mCooperation = DISCL_NONEXCLUSIVE | DISCL_BACKGROUND;
    DWORD mBufferSize = 0;
    HANDLE mEvent = nullptr;
    bool mAcquired = false;
    bool mLost = false;
    // The mouse totals when last read, and the next buffered change to hand out.
    int64_t mReadX = 0;
    int64_t mReadY = 0;
    int64_t mReadZ = 0;
    uint32_t mNextSequence = 1;
    std::vector<Dinput8Effect*> mEffects;
};

/// A constant force on a pad device.
class Dinput8Effect final : public IDirectInputEffect
{
public:
    Dinput8Effect(Dinput8Device* device, const DIEFFECT& parameters);

    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT SetParameters(LPCDIEFFECT effect, DWORD flags) override;
    HRESULT Start(DWORD iterations, DWORD flags) override;
    HRESULT Stop() override;

    /// Checks a parameter record for the parts the flags name.
    static HRESULT Validate(const DIEFFECT* effect, DWORD flags);
    /// The effect's strengths on the two motors now (0..65535), and until when
    /// they hold (INT64_MAX for no end); false when it is not playing.
    bool Contribution(int64_t now, uint16_t& low, uint16_t& high, int64_t& until);
    /// The device was unacquired: the effect stops without telling the motors.
    void Halt() { mPlaying = false; }

private:
    ~Dinput8Effect() override;
    void Take(const DIEFFECT& effect, DWORD flags);

    Dinput8Device* mDevice;
    ULONG mRefCount = 1;
    LONG mMagnitude = 0;
    DWORD mGain = DI_FFNOMINALMAX;
    DWORD mDuration = INFINITE;
    LONG mDirection[2] = {1, 0};
    bool mPlaying = false;
    int64_t mStart = 0;
};

/// The acquired devices of the pad lose their input (all pads for 0).
void Dinput8LoseDevices(uint32_t pad);
/// Devices that asked for it are told the mouse moved.
void Dinput8SignalMouseDevices();
/// Works out the strengths of the pad's playing effects and tells the
/// motors when that changed or a long rumble needs renewing.
void Dinput8UpdateRumble(Dinput8Pad* pad);

// ---- Counting, records and faults ---------------------------------------------------------------

void Dinput8CountInterface(int change);
void Dinput8RecordRumble(const dinput8test::RumbleCall& call);
void Dinput8RecordEscape(const dinput8test::EscapeCall& call);
bool Dinput8FaultSet(dinput8test::Fault fault);
