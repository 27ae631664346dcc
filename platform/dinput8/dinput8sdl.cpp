// The SDL source of our DirectInput 8 layer: SDL game controllers become pads
// with the layer's pad identity, sixteen buttons and four 0..65535 axes; SDL's
// mouse events become relative movement, wheel and buttons; rumble goes to
// SDL's two motors.
#include "dinput8_local.h"

#include <SDL.h>

#include <algorithm>
#include <memory>

namespace
{
struct OpenPad
{
    SDL_JoystickID joystick;
    SDL_GameController* controller;
    uint32_t pad;
};

struct SdlData
{
    std::vector<OpenPad> open;
};

// The pad's sixteen buttons in the layer's order: the four face buttons from
// the top clockwise, the two triggers, the two shoulders, back, right and left
// stick presses, start, then the d-pad from up clockwise.
constexpr SDL_GameControllerButton kFaceAndMiddle[] = {
    SDL_CONTROLLER_BUTTON_Y,
    SDL_CONTROLLER_BUTTON_B,
    SDL_CONTROLLER_BUTTON_A,
    SDL_CONTROLLER_BUTTON_X,
    SDL_CONTROLLER_BUTTON_INVALID,
    SDL_CONTROLLER_BUTTON_INVALID,
    SDL_CONTROLLER_BUTTON_LEFTSHOULDER,
    SDL_CONTROLLER_BUTTON_RIGHTSHOULDER,
    SDL_CONTROLLER_BUTTON_BACK,
    SDL_CONTROLLER_BUTTON_RIGHTSTICK,
    SDL_CONTROLLER_BUTTON_LEFTSTICK,
    SDL_CONTROLLER_BUTTON_START,
    SDL_CONTROLLER_BUTTON_DPAD_UP,
    SDL_CONTROLLER_BUTTON_DPAD_RIGHT,
    SDL_CONTROLLER_BUTTON_DPAD_DOWN,
    SDL_CONTROLLER_BUTTON_DPAD_LEFT,
};
static_assert(std::size(kFaceAndMiddle) == kDinput8PadButtons);

// A trigger counts as pressed past half its travel.
constexpr Sint16 kTriggerPressed = 16384;

SdlData* Data(Dinput8Source* self)
{
    return static_cast<SdlData*>(self->internal);
}

LONG AxisOf(SDL_GameController* controller, SDL_GameControllerAxis axis)
{
    return static_cast<LONG>(SDL_GameControllerGetAxis(controller, axis)) + 32768;
}

void ReadPad(SDL_GameController* controller, Dinput8Pad* pad)
{
    pad->axes[0] = AxisOf(controller, SDL_CONTROLLER_AXIS_LEFTX);
    pad->axes[1] = AxisOf(controller, SDL_CONTROLLER_AXIS_LEFTY);
    pad->axes[2] = AxisOf(controller, SDL_CONTROLLER_AXIS_RIGHTX);
    pad->axes[3] = AxisOf(controller, SDL_CONTROLLER_AXIS_RIGHTY);
    for (int i = 0; i < kDinput8PadButtons; ++i)
    {
        bool down = false;
        if (i == 4)
            down = SDL_GameControllerGetAxis(controller, SDL_CONTROLLER_AXIS_TRIGGERLEFT) > kTriggerPressed;
        else if (i == 5)
            down = SDL_GameControllerGetAxis(controller, SDL_CONTROLLER_AXIS_TRIGGERRIGHT) > kTriggerPressed;
        else
            down = SDL_GameControllerGetButton(controller, kFaceAndMiddle[i]) != 0;
        pad->buttons[i] = down ? 0x80 : 0;
    }
}

int SDLCALL WatchMouse(void*, SDL_Event* event)
{
    switch (event->type)
    {
    case SDL_MOUSEMOTION:
        Dinput8MouseMove(event->motion.xrel, event->motion.yrel);
        break;
    case SDL_MOUSEWHEEL:
    {
        LONG notches = event->wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -event->wheel.y : event->wheel.y;
        Dinput8MouseWheel(notches * 120);
        break;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
    {
        int button = -1;
        switch (event->button.button)
        {
        case SDL_BUTTON_LEFT:
            button = 0;
            break;
        case SDL_BUTTON_RIGHT:
            button = 1;
            break;
        case SDL_BUTTON_MIDDLE:
            button = 2;
            break;
        case SDL_BUTTON_X1:
            button = 3;
            break;
        default:
            break;
        }
        Dinput8MouseButton(button, event->type == SDL_MOUSEBUTTONDOWN);
        break;
    }
    default:
        break;
    }
    return 1;
}

void SdlRefresh(Dinput8Source* self)
{
    SdlData* data = Data(self);
    // Controller events are switched off, so SDL learns of new and lost pads here.
    SDL_GameControllerUpdate();
    for (auto it = data->open.begin(); it != data->open.end();)
    {
        if (SDL_GameControllerGetAttached(it->controller))
        {
            ++it;
            continue;
        }
        Dinput8DetachPad(Dinput8FindPad(it->pad));
        SDL_GameControllerClose(it->controller);
        it = data->open.erase(it);
    }
    int count = SDL_NumJoysticks();
    for (int index = 0; index < count; ++index)
    {
        if (!SDL_IsGameController(index))
            continue;
        SDL_JoystickID joystick = SDL_JoystickGetDeviceInstanceID(index);
        bool known = std::any_of(data->open.begin(), data->open.end(),
                                 [&](const OpenPad& open) { return open.joystick == joystick; });
        if (known)
            continue;
        SDL_GameController* controller = SDL_GameControllerOpen(index);
        if (!controller)
            continue;
        char key[33];
        SDL_JoystickGetGUIDString(SDL_JoystickGetDeviceGUID(index), key, sizeof key);
        const char* name = SDL_GameControllerName(controller);
        // Every controller takes the pad identity the program accepts, so any
        // pad SDL knows the layout of can be played with.
        Dinput8Pad* pad = Dinput8AttachPad(key, dinput8test::kPadVendor, dinput8test::kPadProduct, name ? name : "Pad",
                                           SDL_GameControllerHasRumble(controller) == SDL_TRUE, controller);
        data->open.push_back({joystick, controller, pad->id});
    }
    for (const OpenPad& open : data->open)
        if (Dinput8Pad* pad = Dinput8FindPad(open.pad))
            ReadPad(open.controller, pad);
}

void SdlRumble(Dinput8Source* self, Dinput8Pad* pad, uint16_t low, uint16_t high, uint32_t durationMs)
{
    if (pad->native)
        SDL_GameControllerRumble(static_cast<SDL_GameController*>(pad->native), low, high, durationMs);
}

bool SdlStart(Dinput8Source* self)
{
    // The layer decides itself when a pad may be read (foreground devices).
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0)
        return false;
    // Pads are polled; their events would only fill a queue nobody reads.
    SDL_JoystickEventState(SDL_IGNORE);
    SDL_GameControllerEventState(SDL_IGNORE);
    SDL_AddEventWatch(WatchMouse, nullptr);
    self->internal = new SdlData{};
    SdlRefresh(self);
    return true;
}

void CloseVirtualPads();

void SdlStop(Dinput8Source* self)
{
    SDL_DelEventWatch(WatchMouse, nullptr);
    CloseVirtualPads();
    SdlData* data = Data(self);
    for (const OpenPad& open : data->open)
    {
        Dinput8DetachPad(Dinput8FindPad(open.pad));
        SDL_GameControllerClose(open.controller);
    }
    delete data;
    self->internal = nullptr;
    SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
}
} // namespace

bool Dinput8CreateSdlSource(Dinput8Source* self)
{
    self->name = "sdl";
    self->Start = SdlStart;
    self->Stop = SdlStop;
    self->Refresh = SdlRefresh;
    self->Rumble = SdlRumble;
    return true;
}

// ---- Test hooks ---------------------------------------------------------------------------

namespace
{
struct VirtualPad
{
    SDL_JoystickID id = -1;
    SDL_Joystick* joystick = nullptr;
    bool rumbled = false;
    uint16_t low = 0;
    uint16_t high = 0;
};

std::vector<std::unique_ptr<VirtualPad>> gVirtualPads;

int SDLCALL VirtualRumble(void* userdata, Uint16 low, Uint16 high)
{
    auto* pad = static_cast<VirtualPad*>(userdata);
    pad->rumbled = true;
    pad->low = low;
    pad->high = high;
    return 0;
}

VirtualPad* FindVirtual(int handle)
{
    if (handle < 0 || handle >= static_cast<int>(gVirtualPads.size()))
        return nullptr;
    VirtualPad* pad = gVirtualPads[static_cast<size_t>(handle)].get();
    return pad && pad->joystick ? pad : nullptr;
}

bool EventsRunning()
{
    return SDL_WasInit(SDL_INIT_GAMECONTROLLER) != 0;
}

// Stopping SDL's controllers takes the virtual pads with it.
void CloseVirtualPads()
{
    for (auto& pad : gVirtualPads)
        if (pad && pad->joystick)
        {
            SDL_JoystickClose(pad->joystick);
            pad->joystick = nullptr;
        }
}
} // namespace

namespace dinput8test
{

int AttachSdlPad(uint16_t vendor, uint16_t product, bool rumble)
{
    if (!EventsRunning())
        return -1;
    auto pad = std::make_unique<VirtualPad>();
    SDL_VirtualJoystickDesc desc;
    SDL_zero(desc);
    desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
    desc.naxes = SDL_CONTROLLER_AXIS_MAX;
    desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
    desc.vendor_id = vendor;
    desc.product_id = product;
    desc.name = "Virtual pad";
    desc.userdata = pad.get();
    desc.Rumble = rumble ? VirtualRumble : nullptr;
    int index = SDL_JoystickAttachVirtualEx(&desc);
    if (index < 0)
        return -1;
    pad->joystick = SDL_JoystickOpen(index);
    if (!pad->joystick)
    {
        SDL_JoystickDetachVirtual(index);
        return -1;
    }
    pad->id = SDL_JoystickInstanceID(pad->joystick);
    gVirtualPads.push_back(std::move(pad));
    return static_cast<int>(gVirtualPads.size()) - 1;
}

void DetachSdlPad(int handle)
{
    VirtualPad* pad = FindVirtual(handle);
    if (!pad)
        return;
    SDL_JoystickClose(pad->joystick);
    pad->joystick = nullptr;
    for (int index = 0; index < SDL_NumJoysticks(); ++index)
        if (SDL_JoystickGetDeviceInstanceID(index) == pad->id)
        {
            SDL_JoystickDetachVirtual(index);
            break;
        }
}

bool SetSdlPadAxis(int handle, const char* axis, int16_t value)
{
    VirtualPad* pad = FindVirtual(handle);
    SDL_GameControllerAxis which = axis ? SDL_GameControllerGetAxisFromString(axis) : SDL_CONTROLLER_AXIS_INVALID;
    return pad && which != SDL_CONTROLLER_AXIS_INVALID && SDL_JoystickSetVirtualAxis(pad->joystick, which, value) == 0;
}

bool SetSdlPadButton(int handle, const char* button, bool down)
{
    VirtualPad* pad = FindVirtual(handle);
    SDL_GameControllerButton which =
        button ? SDL_GameControllerGetButtonFromString(button) : SDL_CONTROLLER_BUTTON_INVALID;
    return pad && which != SDL_CONTROLLER_BUTTON_INVALID &&
           SDL_JoystickSetVirtualButton(pad->joystick, which, down ? SDL_PRESSED : SDL_RELEASED) == 0;
}

bool SdlPadRumble(int handle, uint16_t& low, uint16_t& high)
{
    if (handle < 0 || handle >= static_cast<int>(gVirtualPads.size()) || !gVirtualPads[static_cast<size_t>(handle)])
        return false;
    const VirtualPad& pad = *gVirtualPads[static_cast<size_t>(handle)];
    low = pad.low;
    high = pad.high;
    return pad.rumbled;
}

bool PushSdlMouseMotion(int dx, int dy)
{
    if (!EventsRunning())
        return false;
    SDL_Event event = {};
    event.type = SDL_MOUSEMOTION;
    event.motion.xrel = dx;
    event.motion.yrel = dy;
    return SDL_PushEvent(&event) == 1;
}

bool PushSdlMouseWheel(int notches, bool flipped)
{
    if (!EventsRunning())
        return false;
    SDL_Event event = {};
    event.type = SDL_MOUSEWHEEL;
    event.wheel.y = notches;
    event.wheel.direction = flipped ? SDL_MOUSEWHEEL_FLIPPED : SDL_MOUSEWHEEL_NORMAL;
    return SDL_PushEvent(&event) == 1;
}

bool PushSdlMouseButton(int button, bool down)
{
    if (!EventsRunning() || button < 1 || button > 5)
        return false;
    SDL_Event event = {};
    event.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    event.button.button = static_cast<Uint8>(button);
    event.button.state = down ? SDL_PRESSED : SDL_RELEASED;
    return SDL_PushEvent(&event) == 1;
}

} // namespace dinput8test
