// Our DirectInput 8 layer: the object, device and effect interfaces the input
// controllers use for the system mouse, game pads and their force feedback.
// Declared from what the program needs; numeric values (result codes, flags,
// state offsets, identifiers) are the platform's own. Interfaces are
// reference-counted classes; every call returns an HRESULT. Main thread only.
#pragma once

#include "win32.h"

#include <cstddef>
#include <cstdint>

using BYTE = uint8_t;
using ULONG = uint32_t;
using HRESULT = int32_t;
using LPDWORD = DWORD*;
using LPLONG = LONG*;

class IDirectInput8A;
class IDirectInputDevice8A;
class IDirectInputEffect;
using LPDIRECTINPUT8A = IDirectInput8A*;
using LPDIRECTINPUTDEVICE8A = IDirectInputDevice8A*;
using LPDIRECTINPUTEFFECT = IDirectInputEffect*;
/// Aggregation is not supported: the outer-object arguments must be null.
using LPUNKNOWN = void*;

// ---- Results -----------------------------------------------------------------------------

constexpr HRESULT DI_OK = 0;
constexpr HRESULT DI_NOEFFECT = 1;       ///< the call changed nothing (polling a device that needs none)
constexpr HRESULT DI_BUFFEROVERFLOW = 1; ///< buffered data was lost before it was read
constexpr HRESULT DIERR_OLDDIRECTINPUTVERSION = HRESULT(0x8007047Eu);
constexpr HRESULT DIERR_BETADIRECTINPUTVERSION = HRESULT(0x80070481u);
constexpr HRESULT DIERR_INPUTLOST = HRESULT(0x8007001Eu);
constexpr HRESULT DIERR_NOTACQUIRED = HRESULT(0x8007000Cu);
constexpr HRESULT DIERR_INVALIDPARAM = HRESULT(0x80070057u);
constexpr HRESULT DIERR_OUTOFMEMORY = HRESULT(0x8007000Eu);
constexpr HRESULT DIERR_OTHERAPPHASPRIO = HRESULT(0x80070005u);
constexpr HRESULT DIERR_NOINTERFACE = HRESULT(0x80004002u);
constexpr HRESULT DIERR_UNSUPPORTED = HRESULT(0x80004001u);
constexpr HRESULT DIERR_GENERIC = HRESULT(0x80004005u);
constexpr HRESULT DIERR_DEVICENOTREG = HRESULT(0x80040154u);
constexpr HRESULT DIERR_NOTINITIALIZED = HRESULT(0x80070015u);
constexpr HRESULT DIERR_ACQUIRED = HRESULT(0x800700AAu);
constexpr HRESULT DIERR_NOTEXCLUSIVEACQUIRED = HRESULT(0x80040205u);
constexpr HRESULT DIERR_INCOMPLETEEFFECT = HRESULT(0x80040206u);
constexpr HRESULT DIERR_NOTBUFFERED = HRESULT(0x80040207u);
constexpr HRESULT DIERR_UNPLUGGED = HRESULT(0x80040209u);

// ---- Identifiers ---------------------------------------------------------------------------

constexpr DWORD DIRECTINPUT_VERSION = 0x0800;

extern const GUID IID_IDirectInput8A;
extern const GUID GUID_SysMouse;
extern const GUID GUID_ConstantForce;

// ---- Object: devices and enumeration ---------------------------------------------------------

constexpr DWORD DI8DEVCLASS_ALL = 0;
constexpr DWORD DI8DEVCLASS_DEVICE = 1;
constexpr DWORD DI8DEVCLASS_POINTER = 2;
constexpr DWORD DI8DEVCLASS_KEYBOARD = 3;
constexpr DWORD DI8DEVCLASS_GAMECTRL = 4;

constexpr DWORD DIEDFL_ALLDEVICES = 0x0;
constexpr DWORD DIEDFL_ATTACHEDONLY = 0x1;

constexpr DWORD DI8DEVTYPE_MOUSE = 0x12;
constexpr DWORD DI8DEVTYPE_GAMEPAD = 0x15;
constexpr DWORD DI8DEVTYPEGAMEPAD_STANDARD = 0x02;

constexpr BOOL DIENUM_STOP = 0;
constexpr BOOL DIENUM_CONTINUE = 1;

struct DIDEVICEINSTANCEA
{
    DWORD dwSize;
    GUID guidInstance;
    /// Game controllers: {MAKELONG(vendor, product), 0, 0, {0, 0, 'P','I','D','V','I','D'}}.
    GUID guidProduct;
    DWORD dwDevType;
    char tszInstanceName[260];
    char tszProductName[260];
    GUID guidFFDriver;
    WORD wUsagePage;
    WORD wUsage;
};
using LPCDIDEVICEINSTANCEA = const DIDEVICEINSTANCEA*;
using LPDIENUMDEVICESCALLBACKA = BOOL (*)(LPCDIDEVICEINSTANCEA instance, void* context);

/// Reference counting shared by every interface; Release returns the count left and frees at 0.
class IUnknownDI
{
public:
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    virtual ~IUnknownDI() = default;
};

class IDirectInput8A : public IUnknownDI
{
public:
    /// GUID_SysMouse or the instance identifier of an enumerated game controller;
    /// DIERR_DEVICENOTREG for anything else.
    virtual HRESULT CreateDevice(REFGUID instance, LPDIRECTINPUTDEVICE8A* device, LPUNKNOWN outer) = 0;
    /// Calls back once per device of the class, in order of attachment, until the
    /// callback answers DIENUM_STOP. The record lives for the call only.
    virtual HRESULT EnumDevices(DWORD deviceClass, LPDIENUMDEVICESCALLBACKA callback, void* context, DWORD flags) = 0;
    /// DI_OK while the device is attached, DI_NOEFFECT when it is not.
    virtual HRESULT GetDeviceStatus(REFGUID instance) = 0;
};

/// version must be DIRECTINPUT_VERSION, interface IID_IDirectInput8A and the
/// instance non-null. Fails (the object stays null) when no input system can start.
HRESULT DirectInput8Create(HINSTANCE instance, DWORD version, REFGUID interfaceId, void** object, LPUNKNOWN outer);

// ---- Data formats and device states -------------------------------------------------------------

struct DIOBJECTDATAFORMAT
{
    const GUID* pguid;
    DWORD dwOfs;
    DWORD dwType;
    DWORD dwFlags;
};

constexpr DWORD DIDF_ABSAXIS = 0x1;
constexpr DWORD DIDF_RELAXIS = 0x2;

struct DIDATAFORMAT
{
    DWORD dwSize;
    DWORD dwObjSize;
    DWORD dwFlags;
    DWORD dwDataSize;
    DWORD dwNumObjs;
    const DIOBJECTDATAFORMAT* rgodf;
};
using LPCDIDATAFORMAT = const DIDATAFORMAT*;

/// The two formats the layer knows, told apart by their flags and state size.
extern const DIDATAFORMAT c_dfDIMouse;
extern const DIDATAFORMAT c_dfDIJoystick2;

/// Relative movement since the last read; buttons have bit 7 set while down.
/// The wheel moves by 120 per notch.
struct DIMOUSESTATE
{
    LONG lX;
    LONG lY;
    LONG lZ;
    BYTE rgbButtons[4];
};
static_assert(sizeof(DIMOUSESTATE) == 16);

constexpr DWORD DIMOFS_X = 0;
constexpr DWORD DIMOFS_Y = 4;
constexpr DWORD DIMOFS_Z = 8;
constexpr DWORD DIMOFS_BUTTON0 = 12;
constexpr DWORD DIMOFS_BUTTON1 = 13;
constexpr DWORD DIMOFS_BUTTON2 = 14;
constexpr DWORD DIMOFS_BUTTON3 = 15;

/// Axes run 0..65535 with the centre at 32767/32768; a centred or absent
/// point-of-view hat reads 0xFFFFFFFF; buttons have bit 7 set while down.
struct DIJOYSTATE2
{
    LONG lX;
    LONG lY;
    LONG lZ;
    LONG lRx;
    LONG lRy;
    LONG lRz;
    LONG rglSlider[2];
    DWORD rgdwPOV[4];
    BYTE rgbButtons[128];
    LONG lVX, lVY, lVZ, lVRx, lVRy, lVRz;
    LONG rglVSlider[2];
    LONG lAX, lAY, lAZ, lARx, lARy, lARz;
    LONG rglASlider[2];
    LONG lFX, lFY, lFZ, lFRx, lFRy, lFRz;
    LONG rglFSlider[2];
};
static_assert(sizeof(DIJOYSTATE2) == 272);

constexpr DWORD DIJOFS_X = 0;
constexpr DWORD DIJOFS_Y = 4;
constexpr DWORD DIJOFS_Z = 8;
constexpr DWORD DIJOFS_RX = 12;
constexpr DWORD DIJOFS_RY = 16;
constexpr DWORD DIJOFS_RZ = 20;
constexpr DWORD DIJOFS_BUTTON(DWORD n)
{
    return 48 + n;
}

/// One buffered change of a device object: its offset in the device state,
/// the new value (axes: the movement; buttons: 0x80 or 0), a time stamp in
/// milliseconds and a sequence number shared by all devices.
struct DIDEVICEOBJECTDATA
{
    DWORD dwOfs;
    DWORD dwData;
    DWORD dwTimeStamp;
    DWORD dwSequence;
    uintptr_t uAppData;
};
using LPDIDEVICEOBJECTDATA = DIDEVICEOBJECTDATA*;

constexpr DWORD DIGDD_PEEK = 0x1;

// ---- Properties, capabilities, cooperative levels -------------------------------------------------

/// Properties are named by small numbers, as the platform does.
using DIPROPID = uintptr_t;
constexpr DIPROPID DIPROP_BUFFERSIZE = 1;

constexpr DWORD DIPH_DEVICE = 0;

struct DIPROPHEADER
{
    DWORD dwSize;
    DWORD dwHeaderSize;
    DWORD dwObj;
    DWORD dwHow;
};
using LPCDIPROPHEADER = const DIPROPHEADER*;

struct DIPROPDWORD
{
    DIPROPHEADER diph;
    DWORD dwData;
};

constexpr DWORD DIDC_ATTACHED = 0x1;
constexpr DWORD DIDC_POLLEDDEVICE = 0x2;
constexpr DWORD DIDC_FORCEFEEDBACK = 0x100;

struct DIDEVCAPS
{
    DWORD dwSize;
    DWORD dwFlags;
    DWORD dwDevType;
    DWORD dwAxes;
    DWORD dwButtons;
    DWORD dwPOVs;
    DWORD dwFFSamplePeriod;
    DWORD dwFFMinTimeResolution;
    DWORD dwFirmwareRevision;
    DWORD dwHardwareRevision;
    DWORD dwFFDriverVersion;
};
using LPDIDEVCAPS = DIDEVCAPS*;

constexpr DWORD DISCL_EXCLUSIVE = 0x1;
constexpr DWORD DISCL_NONEXCLUSIVE = 0x2;
constexpr DWORD DISCL_FOREGROUND = 0x4;
constexpr DWORD DISCL_BACKGROUND = 0x8;

// ---- Force feedback --------------------------------------------------------------------------------

constexpr DWORD DI_SECONDS = 1000000; ///< durations are in microseconds
constexpr LONG DI_FFNOMINALMAX = 10000;
constexpr DWORD DIEB_NOTRIGGER = 0xFFFFFFFF;

constexpr DWORD DIEFF_OBJECTIDS = 0x1;
constexpr DWORD DIEFF_OBJECTOFFSETS = 0x2;
constexpr DWORD DIEFF_CARTESIAN = 0x10;
constexpr DWORD DIEFF_POLAR = 0x20;
constexpr DWORD DIEFF_SPHERICAL = 0x40;

constexpr DWORD DIEP_DURATION = 0x1;
constexpr DWORD DIEP_SAMPLEPERIOD = 0x2;
constexpr DWORD DIEP_GAIN = 0x4;
constexpr DWORD DIEP_TRIGGERBUTTON = 0x8;
constexpr DWORD DIEP_TRIGGERREPEATINTERVAL = 0x10;
constexpr DWORD DIEP_AXES = 0x20;
constexpr DWORD DIEP_DIRECTION = 0x40;
constexpr DWORD DIEP_ENVELOPE = 0x80;
constexpr DWORD DIEP_TYPESPECIFICPARAMS = 0x100;
constexpr DWORD DIEP_STARTDELAY = 0x200;
constexpr DWORD DIEP_ALLPARAMS = 0x3FF;
constexpr DWORD DIEP_START = 0x20000000;
constexpr DWORD DIEP_NORESTART = 0x40000000;
constexpr DWORD DIEP_NODOWNLOAD = 0x80000000;

constexpr DWORD DIES_SOLO = 0x1;

struct DICONSTANTFORCE
{
    LONG lMagnitude;
};

struct DIENVELOPE
{
    DWORD dwSize;
    DWORD dwAttackLevel;
    DWORD dwAttackTime;
    DWORD dwFadeLevel;
    DWORD dwFadeTime;
};

/// The platform's record is 56 bytes with 32-bit pointers; ours is sizeof(DIEFFECT).
struct DIEFFECT
{
    DWORD dwSize;
    DWORD dwFlags;
    DWORD dwDuration;
    DWORD dwSamplePeriod;
    DWORD dwGain;
    DWORD dwTriggerButton;
    DWORD dwTriggerRepeatInterval;
    DWORD cAxes;
    LPDWORD rgdwAxes;
    LPLONG rglDirection;
    DIENVELOPE* lpEnvelope;
    DWORD cbTypeSpecificParams;
    void* lpvTypeSpecificParams;
    DWORD dwStartDelay;
};
using LPCDIEFFECT = const DIEFFECT*;

/// A command for the device's force-feedback driver.
struct DIEFFESCAPE
{
    DWORD dwSize;
    DWORD dwCommand;
    void* lpvInBuffer;
    DWORD cbInBuffer;
    void* lpvOutBuffer;
    DWORD cbOutBuffer;
};
using LPDIEFFESCAPE = DIEFFESCAPE*;

/// A force-feedback effect of a device. Our layer plays constant forces: one
/// along the device's x axis drives a pad's low-frequency (strong) motor, one
/// along its y axis the high-frequency (light) motor.
class IDirectInputEffect : public IUnknownDI
{
public:
    /// Changes the parameters the flags name; a playing effect restarts with
    /// them unless DIEP_NORESTART; DIEP_START starts it.
    virtual HRESULT SetParameters(LPCDIEFFECT effect, DWORD flags) = 0;
    /// Plays the effect from now (iterations are not counted: one play).
    virtual HRESULT Start(DWORD iterations, DWORD flags) = 0;
    virtual HRESULT Stop() = 0;
};

// ---- Devices -------------------------------------------------------------------------------------

class IDirectInputDevice8A : public IUnknownDI
{
public:
    virtual HRESULT GetCapabilities(LPDIDEVCAPS caps) = 0;
    /// Only while not acquired.
    virtual HRESULT SetDataFormat(LPCDIDATAFORMAT format) = 0;
    /// Exactly one of exclusive and non-exclusive, one of foreground and
    /// background. A foreground device reads only while the window has the
    /// focus; a null window ties the device to no window.
    virtual HRESULT SetCooperativeLevel(HWND window, DWORD flags) = 0;
    /// Only while not acquired.
    virtual HRESULT SetProperty(DIPROPID property, LPCDIPROPHEADER header) = 0;
    /// DI_NOEFFECT when already acquired.
    virtual HRESULT Acquire() = 0;
    /// Stops the device's effects; DI_NOEFFECT when not acquired.
    virtual HRESULT Unacquire() = 0;
    /// The state in the set data format; size must be that format's. A device
    /// lost since the last call answers DIERR_INPUTLOST once, then DIERR_NOTACQUIRED.
    virtual HRESULT GetDeviceState(DWORD size, void* state) = 0;
    /// Up to *count buffered changes, oldest first (the mouse only); *count
    /// becomes the number given. DI_BUFFEROVERFLOW when some were lost.
    virtual HRESULT GetDeviceData(DWORD recordSize, LPDIDEVICEOBJECTDATA data, LPDWORD count, DWORD flags) = 0;
    /// The event is signalled whenever the device's data changes; null stops that.
    virtual HRESULT SetEventNotification(HANDLE event) = 0;
    /// Brings a pad's state up to date.
    virtual HRESULT Poll() = 0;
    /// Only GUID_ConstantForce, on a device with force feedback.
    virtual HRESULT CreateEffect(REFGUID effect, LPCDIEFFECT parameters, LPDIRECTINPUTEFFECT* out, LPUNKNOWN outer) = 0;
    /// Passes a command to the force-feedback driver; needs the device
    /// acquired at the exclusive level.
    virtual HRESULT Escape(LPDIEFFESCAPE escape) = 0;
};
