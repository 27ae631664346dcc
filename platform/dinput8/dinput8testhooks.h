// Test hooks of our DirectInput 8 layer: the injected source of pads and mouse
// events, fault injection and the record of what reached the pads' motors.
// Only tests include this header.
#pragma once

#include "dinput8.h"

#include <cstdint>
#include <string>
#include <vector>

namespace dinput8test
{

enum class Source
{
    Injected, ///< pads and mouse events come only from the hooks below
    Sdl,      ///< SDL's game controllers and mouse, as a program runs
};

/// Forgets every pad, mouse event, fault and record, and takes its input from
/// the source from then on (SDL starts with the next DirectInput8Create).
/// Objects made before keep working but see no device of the old source.
void UseSource(Source source);

// ---- Pads ------------------------------------------------------------------------------

/// The identity the layer gives every SDL game controller.
constexpr uint16_t kPadVendor = 0x6666;
constexpr uint16_t kPadProduct = 0x0667;

struct PadDesc
{
    uint16_t vendor = kPadVendor;
    uint16_t product = kPadProduct;
    std::string name = "Test pad";
    bool forceFeedback = true;
};

/// A pad plugged in, sticks centred and buttons up; its id (never reused).
uint32_t AttachPad(const PadDesc& desc = PadDesc());
/// Unplugs the pad: its acquired devices lose their input.
void DetachPad(uint32_t pad);
/// The same pad plugged in again: devices made for it can be acquired again.
void ReattachPad(uint32_t pad);
/// Raw axes 0..65535: left stick x and y, right stick x (lZ) and y (lRz).
void SetPadAxes(uint32_t pad, LONG x, LONG y, LONG z, LONG rz);
/// Button 0..15: the face buttons top, right, bottom, left; the left and right
/// triggers; the left and right shoulders; select, right stick press, left
/// stick press, start; the d-pad up, right, down, left.
void SetPadButton(uint32_t pad, int button, bool down);
/// The pad's acquired devices lose their input once (as when another program
/// takes the device), without the pad being unplugged.
void LosePad(uint32_t pad);

// ---- Mouse -----------------------------------------------------------------------------

void MouseMotion(LONG dx, LONG dy);
/// Notches away from the user are positive; each is 120 wheel units.
void MouseWheel(int notches);
/// Button 0 left, 1 right, 2 middle, 3 the first side button.
void MouseButton(int button, bool down);

// ---- SDL source ------------------------------------------------------------------------
// While the SDL source runs (a DirectInput object exists after UseSource(Source::Sdl)),
// these reach SDL the way hardware would, through a virtual game controller.

/// A virtual SDL game controller with that USB identity; its handle, or -1.
int AttachSdlPad(uint16_t vendor, uint16_t product, bool rumble);
void DetachSdlPad(int handle);
/// An axis by SDL's mapping name ("leftx", "lefty", "rightx", "righty",
/// "lefttrigger", "righttrigger"), -32768..32767.
bool SetSdlPadAxis(int handle, const char* axis, int16_t value);
/// A button by SDL's mapping name ("a", "b", "x", "y", "back", "start",
/// "leftstick", "rightstick", "leftshoulder", "rightshoulder", "dpup", ...).
bool SetSdlPadButton(int handle, const char* button, bool down);
/// What the virtual pad's motors were last told; false when never.
bool SdlPadRumble(int handle, uint16_t& low, uint16_t& high);
/// Mouse events put in SDL's queue, as the window system would.
bool PushSdlMouseMotion(int dx, int dy);
bool PushSdlMouseWheel(int notches, bool flipped);
/// SDL's numbering: 1 left, 2 middle, 3 right, 4 the first side button.
bool PushSdlMouseButton(int button, bool down);

// ---- Records ---------------------------------------------------------------------------

/// One command to a pad's motors: strengths 0..65535 and how long they hold
/// (0 with both strengths 0: stop).
struct RumbleCall
{
    uint32_t pad;
    uint16_t low;
    uint16_t high;
    uint32_t durationMs;
    bool operator==(const RumbleCall&) const = default;
};
const std::vector<RumbleCall>& RumbleLog();

struct EscapeCall
{
    uint32_t pad;
    DWORD command;
    std::vector<uint8_t> input;
};
const std::vector<EscapeCall>& EscapeLog();
void ClearLogs();

/// Interfaces alive now (objects, devices, effects), to find leaks of references.
int LiveInterfaces();

// ---- Faults ----------------------------------------------------------------------------

enum class Fault
{
    Create,       ///< DirectInput8Create fails with DIERR_GENERIC
    CreateDevice, ///< IDirectInput8A::CreateDevice fails with DIERR_OUTOFMEMORY
    Count
};
void SetFault(Fault fault, bool on);

} // namespace dinput8test
