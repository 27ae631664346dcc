// The pads and mouse as our DirectInput 8 layer sees them, the choice of
// input source, the injected source and the test hooks that drive it.
#include "dinput8_local.h"

#include <algorithm>

namespace
{
std::vector<std::unique_ptr<Dinput8Pad>> gPads;
uint32_t gNextPadId = 1;

Dinput8MouseTotals gMouse;
DIDEVICEOBJECTDATA gMouseHistory[kDinput8MouseHistory];

dinput8test::Source gSourceKind = dinput8test::Source::Sdl;
Dinput8Source gSource;
bool gSourceRunning = false;
int gObjects = 0;

std::vector<dinput8test::RumbleCall> gRumbleLog;
std::vector<dinput8test::EscapeCall> gEscapeLog;
bool gFaults[static_cast<int>(dinput8test::Fault::Count)] = {};
int gLiveInterfaces = 0;

void AddMouseChange(DWORD offset, DWORD data)
{
    uint32_t sequence = gMouse.nextSequence++;
    DIDEVICEOBJECTDATA& change = gMouseHistory[sequence % kDinput8MouseHistory];
    change = DIDEVICEOBJECTDATA{};
    change.dwOfs = offset;
    change.dwData = data;
    change.dwTimeStamp = static_cast<DWORD>(Dinput8Now() / kDinput8TicksPerMs);
    change.dwSequence = sequence;
}

void StopSource()
{
    if (gSourceRunning && gSource.Stop)
        gSource.Stop(&gSource);
    gSource = Dinput8Source{};
    gSourceRunning = false;
}

bool StartSource()
{
    gSource = Dinput8Source{};
    bool made = gSourceKind == dinput8test::Source::Sdl ? Dinput8CreateSdlSource(&gSource)
                                                        : Dinput8CreateInjectedSource(&gSource);
    if (!made || (gSource.Start && !gSource.Start(&gSource)))
    {
        gSource = Dinput8Source{};
        return false;
    }
    gSourceRunning = true;
    return true;
}

// The injected source has nothing to start: the hooks fill the pads directly.
bool InjectedStart(Dinput8Source*)
{
    return true;
}
} // namespace

// ---- Pads ----------------------------------------------------------------------------------

Dinput8Pad* Dinput8AttachPad(const std::string& key, uint16_t vendor, uint16_t product, const std::string& name,
                             bool forceFeedback, void* native)
{
    Dinput8Pad* pad = nullptr;
    for (auto& candidate : gPads)
        if (!candidate->attached && candidate->key == key)
        {
            pad = candidate.get();
            break;
        }
    if (!pad)
    {
        gPads.push_back(std::make_unique<Dinput8Pad>());
        pad = gPads.back().get();
        pad->id = gNextPadId++;
        pad->key = key;
    }
    pad->vendor = vendor;
    pad->product = product;
    pad->name = name;
    pad->forceFeedback = forceFeedback;
    pad->attached = true;
    std::fill(std::begin(pad->axes), std::end(pad->axes), kDinput8AxisCentre);
    std::fill(std::begin(pad->buttons), std::end(pad->buttons), BYTE{0});
    pad->rumbleLow = pad->rumbleHigh = 0;
    pad->rumbleUntil = 0;
    pad->native = native;
    return pad;
}

void Dinput8DetachPad(Dinput8Pad* pad)
{
    if (!pad || !pad->attached)
        return;
    pad->attached = false;
    pad->native = nullptr;
    pad->rumbleLow = pad->rumbleHigh = 0;
    pad->rumbleUntil = 0;
    Dinput8LoseDevices(pad->id);
}

Dinput8Pad* Dinput8FindPad(uint32_t id)
{
    for (auto& pad : gPads)
        if (pad->id == id)
            return pad.get();
    return nullptr;
}

const std::vector<std::unique_ptr<Dinput8Pad>>& Dinput8Pads()
{
    return gPads;
}

// ---- Mouse ----------------------------------------------------------------------------------

void Dinput8MouseMove(LONG dx, LONG dy)
{
    if (dx)
    {
        gMouse.x += dx;
        AddMouseChange(DIMOFS_X, static_cast<DWORD>(dx));
    }
    if (dy)
    {
        gMouse.y += dy;
        AddMouseChange(DIMOFS_Y, static_cast<DWORD>(dy));
    }
    if (dx || dy)
        Dinput8SignalMouseDevices();
}

void Dinput8MouseWheel(LONG units)
{
    if (!units)
        return;
    gMouse.z += units;
    AddMouseChange(DIMOFS_Z, static_cast<DWORD>(units));
    Dinput8SignalMouseDevices();
}

void Dinput8MouseButton(int button, bool down)
{
    if (button < 0 || button > 3)
        return;
    BYTE value = down ? 0x80 : 0;
    if (gMouse.buttons[button] == value)
        return;
    gMouse.buttons[button] = value;
    AddMouseChange(DIMOFS_BUTTON0 + static_cast<DWORD>(button), value);
    Dinput8SignalMouseDevices();
}

const Dinput8MouseTotals& Dinput8Mouse()
{
    return gMouse;
}

const DIDEVICEOBJECTDATA* Dinput8MouseChange(uint32_t sequence)
{
    if (sequence == 0 || sequence >= gMouse.nextSequence || gMouse.nextSequence - sequence > kDinput8MouseHistory)
        return nullptr;
    return &gMouseHistory[sequence % kDinput8MouseHistory];
}

// ---- Source -----------------------------------------------------------------------------------

bool Dinput8CreateInjectedSource(Dinput8Source* self)
{
    self->name = "injected";
    self->Start = InjectedStart;
    return true;
}

bool Dinput8AddObject()
{
    if (gObjects == 0 && !StartSource())
        return false;
    ++gObjects;
    return true;
}

void Dinput8RemoveObject()
{
    if (gObjects > 0 && --gObjects == 0)
        StopSource();
}

void Dinput8Refresh()
{
    if (gSourceRunning && gSource.Refresh)
        gSource.Refresh(&gSource);
}

void Dinput8IssueRumble(Dinput8Pad* pad, uint16_t low, uint16_t high, uint32_t durationMs)
{
    Dinput8RecordRumble({pad->id, low, high, durationMs});
    if (gSourceRunning && gSource.Rumble)
        gSource.Rumble(&gSource, pad, low, high, durationMs);
}

// ---- Records and faults ---------------------------------------------------------------------

void Dinput8CountInterface(int change)
{
    gLiveInterfaces += change;
}

void Dinput8RecordRumble(const dinput8test::RumbleCall& call)
{
    gRumbleLog.push_back(call);
}

void Dinput8RecordEscape(const dinput8test::EscapeCall& call)
{
    gEscapeLog.push_back(call);
}

bool Dinput8FaultSet(dinput8test::Fault fault)
{
    return gFaults[static_cast<int>(fault)];
}

// ---- Test hooks -------------------------------------------------------------------------------

namespace dinput8test
{

void UseSource(Source source)
{
    StopSource();
    // Devices still alive find no pad of the old source from now on.
    Dinput8LoseDevices(0);
    gPads.clear();
    gMouse = Dinput8MouseTotals{};
    gSourceKind = source;
    gRumbleLog.clear();
    gEscapeLog.clear();
    for (bool& fault : gFaults)
        fault = false;
    // Objects that outlive the switch run on the new source.
    if (gObjects > 0 && !StartSource())
        gObjects = 0;
}

uint32_t AttachPad(const PadDesc& desc)
{
    Dinput8Pad* pad = Dinput8AttachPad("injected:" + std::to_string(gNextPadId), desc.vendor, desc.product, desc.name,
                                       desc.forceFeedback, nullptr);
    return pad->id;
}

void DetachPad(uint32_t pad)
{
    Dinput8DetachPad(Dinput8FindPad(pad));
}

void ReattachPad(uint32_t id)
{
    Dinput8Pad* pad = Dinput8FindPad(id);
    if (pad && !pad->attached)
        Dinput8AttachPad(pad->key, pad->vendor, pad->product, pad->name, pad->forceFeedback, nullptr);
}

void SetPadAxes(uint32_t id, LONG x, LONG y, LONG z, LONG rz)
{
    if (Dinput8Pad* pad = Dinput8FindPad(id))
    {
        pad->axes[0] = x;
        pad->axes[1] = y;
        pad->axes[2] = z;
        pad->axes[3] = rz;
    }
}

void SetPadButton(uint32_t id, int button, bool down)
{
    Dinput8Pad* pad = Dinput8FindPad(id);
    if (pad && button >= 0 && button < kDinput8PadButtons)
        pad->buttons[button] = down ? 0x80 : 0;
}

void LosePad(uint32_t pad)
{
    if (pad != 0)
        Dinput8LoseDevices(pad);
}

void MouseMotion(LONG dx, LONG dy)
{
    Dinput8MouseMove(dx, dy);
}

void MouseWheel(int notches)
{
    Dinput8MouseWheel(notches * 120);
}

void MouseButton(int button, bool down)
{
    Dinput8MouseButton(button, down);
}

const std::vector<RumbleCall>& RumbleLog()
{
    return gRumbleLog;
}

const std::vector<EscapeCall>& EscapeLog()
{
    return gEscapeLog;
}

void ClearLogs()
{
    gRumbleLog.clear();
    gEscapeLog.clear();
}

int LiveInterfaces()
{
    return gLiveInterfaces;
}

void SetFault(Fault fault, bool on)
{
    gFaults[static_cast<int>(fault)] = on;
}

} // namespace dinput8test
