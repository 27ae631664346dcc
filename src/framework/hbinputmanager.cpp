// The input manager: DirectInput and the mouse device, controller slots,
// command contexts, bindings, and the console commands CreateControler and
// SetCommandContext.
#include "hbinputmanager.h"

#include "hbapplication.h"
#include "hbcommand.h"
#include "hbinputaction.h"
#include "hbkeyboardcontroller.h"
#include "hbmousecontroller.h"
#include "hbpadcontroller.h"
#include "hbsingleton.h"
#include "win32keyboard.h"

#include <cstring>

HB_DEFINE_CLASS_DESC(HbInputManager, HbRoot);

namespace
{
constexpr struct
{
    const char* name;
    int32_t id;
} kActionStates[] = {
    {"CLICK", 1}, {"DBL_CLICK", 2}, {"TRPL_CLICK", 3}, {"RELEASED", 4}, {"DOWN", 5}, {"UP", 6}, {"TOGGLED", 7},
};

HbApplication* Application()
{
    return HbApplication::Get();
}

void* IdValue(int32_t id)
{
    return reinterpret_cast<void*>(static_cast<intptr_t>(id));
}

int32_t ValueId(void* value)
{
    return static_cast<int32_t>(reinterpret_cast<intptr_t>(value));
}

// ---- Console commands ------------------------------------------------------------------------

class CreateControlerCommand : public HbCommand
{
public:
    CreateControlerCommand() : HbCommand("CreateControler", "Create a controler for the specified type") {}

    int Execute(const HbCommandArgs& args, int32_t) override
    {
        if (args.GetCount() != 3)
            return 0;
        const std::string& slot = args.GetToken(1);
        if (slot.size() != 1 || slot[0] < '0' || slot[0] > '3')
            return 0;
        HbInputManager* manager = HbInputManager::Instance();
        return manager ? manager->CreateController(slot[0] - '0', args.GetToken(2).c_str()) : 0;
    }
};

class SetCommandContextCommand : public HbCommand
{
public:
    SetCommandContextCommand()
        : HbCommand("SetCommandContext", "Set the current controler manager context : SetCommandContext <ContextName>")
    {
    }

    int Execute(const HbCommandArgs& args, int32_t) override
    {
        if (args.GetCount() != 2)
            return 0;
        HbInputManager* manager = HbInputManager::Instance();
        return manager ? manager->PushCommandContext(args.GetToken(1).c_str()) : 0;
    }
};

CreateControlerCommand gCreateControlerCommand;
SetCommandContextCommand gSetCommandContextCommand;
} // namespace

// ---- Life ----------------------------------------------------------------------------------------

HbInputManager* HbInputManager::Instance()
{
    return HbSingleton<HbInputManager>::Instance();
}

HbInputManager::HbInputManager()
{
    for (const auto& state : kActionStates)
        if (void** slot = mStateNames.FindOrInsert(state.name))
            *slot = IdValue(state.id);
}

HbInputManager::~HbInputManager()
{
    ReleaseControllers();
    ShutdownDirectInput();
    mContextStack.RemoveAll();
    mContextNames.RemoveAll();
    mStateNames.RemoveAll();
}

void HbInputManager::Reset()
{
    ReleaseControllers();
    for (int32_t& kind : mSlotKinds)
        kind = kHbControllerNone;
    ShutdownDirectInput();
    mContextStack.RemoveAll();
    mContextNames.RemoveAll();
    mPadPresent = 0;
}

// ---- DirectInput ---------------------------------------------------------------------------------

HRESULT HbInputManager::InitDirectInput()
{
    if (mDirectInput)
        return DI_OK;
    mMouseDevice = nullptr;
    mMouseEvent = nullptr;
    HINSTANCE instance = Application() ? Application()->WindowState().instance : nullptr;
    void* object = nullptr;
    HRESULT result = DirectInput8Create(instance, DIRECTINPUT_VERSION, IID_IDirectInput8A, &object, nullptr);
    if (result < 0)
    {
        mDirectInput = nullptr;
        return result;
    }
    mDirectInput = static_cast<IDirectInput8A*>(object);
    return CreateMouseDevice();
}

HRESULT HbInputManager::CreateMouseDevice()
{
    if (!mDirectInput)
        return DIERR_NOTINITIALIZED;
    IDirectInputDevice8A* mouse = nullptr;
    HRESULT result = mDirectInput->CreateDevice(GUID_SysMouse, &mouse, nullptr);
    if (result >= 0)
        result = mouse->SetDataFormat(&c_dfDIMouse);
    if (result >= 0)
    {
        HWND window = Application() ? Application()->WindowState().window : nullptr;
        result = mouse->SetCooperativeLevel(window, DISCL_FOREGROUND | DISCL_NONEXCLUSIVE);
    }
    HANDLE event = nullptr;
    if (result >= 0)
    {
        // Signalled on mouse changes; nothing waits on it.
        event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        result = event ? mouse->SetEventNotification(event) : DIERR_OUTOFMEMORY;
    }
    if (result >= 0)
    {
        DIPROPDWORD buffer = {};
        buffer.diph.dwSize = sizeof buffer;
        buffer.diph.dwHeaderSize = sizeof buffer.diph;
        buffer.diph.dwObj = 0;
        buffer.diph.dwHow = DIPH_DEVICE;
        buffer.dwData = 16;
        result = mouse->SetProperty(DIPROP_BUFFERSIZE, &buffer.diph);
    }
    if (result < 0)
    {
        if (mouse)
            mouse->Release();
        if (event)
            CloseHandle(event);
        return result;
    }
    mMouseDevice = mouse;
    mMouseEvent = event;
    return result;
}

void HbInputManager::ShutdownDirectInput()
{
    if (mMouseDevice)
    {
        mMouseDevice->Unacquire();
        mMouseDevice->Release();
        mMouseDevice = nullptr;
    }
    if (mMouseEvent)
    {
        CloseHandle(mMouseEvent);
        mMouseEvent = nullptr;
    }
    if (mDirectInput)
    {
        mDirectInput->Release();
        mDirectInput = nullptr;
    }
}

// ---- Controllers ---------------------------------------------------------------------------------

void HbInputManager::ReleaseSlot(int32_t slot)
{
    HbController* controller = mSlots[slot];
    if (!controller)
        return;
    mSlots[slot] = nullptr;
    controller->Release();
    if (!GetController(kHbControllerPad1))
        mPadPresent = 0;
    // Actions found by name on that controller are gone.
    HbController::NoteBindingsChanged();
}

int HbInputManager::ReleaseControllers()
{
    for (int32_t slot = 0; slot < kSlotCount; ++slot)
        ReleaseSlot(slot);
    return 1;
}

int HbInputManager::CreateController(int32_t slot, const char* typeName)
{
    if (slot < 0 || slot >= kSlotCount || !typeName)
        return 0;
    int32_t kind = kHbControllerNone;
    if (std::strcmp(typeName, "Paddle1") == 0)
        kind = kHbControllerPad1;
    else if (std::strcmp(typeName, "Paddle2") == 0)
        kind = kHbControllerPad2;
    else if (std::strcmp(typeName, "Keyboard") == 0)
        kind = kHbControllerKeyboard;
    else if (std::strcmp(typeName, "Mouse") == 0)
        kind = kHbControllerMouse;
    else
        return 0;

    InitDirectInput();
    ReleaseSlot(slot);
    HbController* controller = nullptr;
    if (kind == kHbControllerKeyboard)
        controller = new HbKeyboardController();
    else if (kind == kHbControllerMouse)
        controller = new HbMouseController();
    else
        controller = new HbPadController(kind, typeName);
    if (!controller)
        return 0;
    controller->AddRef();
    mSlots[slot] = controller;
    mSlotKinds[slot] = kind;
    // A controller made after a context was set reads that context, as one told by a push.
    controller->SetContext(GetCurrentContext());
    if (kind == kHbControllerKeyboard || kind == kHbControllerMouse)
        controller->SetKeyStates(mKeyState, kKeyStateSize);
    else if (!controller->InitDevice(kind == kHbControllerPad1 ? 0 : 1))
    {
        // No pad: the slot is left empty and the script goes on.
        mSlots[slot] = nullptr;
        mSlotKinds[slot] = kHbControllerNone;
        controller->Release();
        return 1;
    }
    else
    {
        for (int32_t stick = 1; stick <= 2; ++stick)
            for (int32_t axis = 0; axis <= 1; ++axis)
                controller->SetAxisDeadZone(stick, axis, kPadDeadZoneLow, kPadDeadZoneHigh);
        if (kind == kHbControllerPad1)
            mPadPresent = 1;
    }
    controller->BeginBindings();
    return 1;
}

HbController* HbInputManager::GetSlotController(int32_t slot) const
{
    return slot >= 0 && slot < kSlotCount ? mSlots[slot] : nullptr;
}

int32_t HbInputManager::GetSlotKind(int32_t slot) const
{
    return slot >= 0 && slot < kSlotCount ? mSlotKinds[slot] : kHbControllerNone;
}

// ---- Per frame -----------------------------------------------------------------------------------

int HbInputManager::Update()
{
    std::memset(mKeyState, 0, sizeof mKeyState);
    if (!GetKeyboardState(mKeyState))
        return 0;
    int result = 1;
    // A bound command may replace a slot's controller: read the slot each time.
    for (int32_t slot = 0; slot < kSlotCount; ++slot)
        if (HbController* controller = mSlots[slot])
            result = controller->Update();
    return result;
}

// ---- Queries -------------------------------------------------------------------------------------

HbInputAction* HbInputManager::FindAction(const char* name)
{
    for (HbController* controller : mSlots)
        if (controller)
            if (HbInputAction* action = controller->FindAction(name))
                return action;
    return nullptr;
}

HbController* HbInputManager::GetController(int32_t kind) const
{
    for (int32_t slot = 0; slot < kSlotCount; ++slot)
        if (mSlots[slot] && mSlotKinds[slot] == kind)
            return mSlots[slot];
    return nullptr;
}

int HbInputManager::GetControllerValue(int32_t kind, int32_t index, float* out)
{
    HbController* controller = GetController(kind);
    if (!controller || !out)
        return 0;
    return controller->GetWheel(index, out);
}

int HbInputManager::GetControllerAxis(int32_t kind, int32_t index, float out[2])
{
    if (!out)
        return 0;
    HbController* controller = GetController(kind);
    if (!controller)
    {
        out[0] = out[1] = 0.0f;
        return 0;
    }
    return controller->GetAxis(index, out);
}

int HbInputManager::SetControllerDeadZone(int32_t kind, int32_t stick, int32_t axis, int32_t low, int32_t high)
{
    HbController* controller = GetController(kind);
    return controller ? controller->SetAxisDeadZone(stick, axis, low, high) : 0;
}

int HbInputManager::SetControllerVibration(int32_t kind, int32_t effect, float strength)
{
    HbController* controller = GetController(kind);
    return controller ? controller->SetVibration(effect, strength) : 0;
}

int HbInputManager::SetControllerVibration2(int32_t kind, int32_t effect, float strength, float duration)
{
    HbController* controller = GetController(kind);
    return controller ? controller->SetVibration2(effect, strength, duration) : 0;
}

int32_t HbInputManager::FindControllerKind(const char* typeName) const
{
    if (!typeName)
        return kHbControllerNone;
    for (int32_t slot = 0; slot < kSlotCount; ++slot)
        if (mSlots[slot] && mSlots[slot]->GetTypeName() == typeName)
            return mSlotKinds[slot];
    return kHbControllerNone;
}

int32_t HbInputManager::GetActionStateId(const char* name) const
{
    const StringHashMap::Node* node = mStateNames.Find(name ? name : "");
    return node ? ValueId(node->value) : 0;
}

// ---- Command contexts ----------------------------------------------------------------------------

void HbInputManager::TellControllersContext(int32_t context)
{
    for (int32_t slot = 0; slot < kSlotCount; ++slot)
        if (HbController* controller = mSlots[slot])
            controller->SetContext(context);
}

int HbInputManager::PushCommandContext(const char* name)
{
    std::string key = name ? name : "";
    int32_t id = 0;
    if (const StringHashMap::Node* node = mContextNames.Find(key))
        id = ValueId(node->value);
    else
    {
        id = mContextNames.GetCount();
        void** slot = mContextNames.FindOrInsert(key);
        if (!slot)
            return 0;
        *slot = IdValue(id);
    }
    if (!mContextStack.AddHead(IdValue(id)))
        return 0;
    TellControllersContext(id);
    return 1;
}

int HbInputManager::PopCommandContext(const char* name)
{
    const StringHashMap::Node* node = mContextNames.Find(name ? name : "");
    if (!node || mContextStack.IsEmpty() || ValueId(mContextStack.GetHead()->value) != ValueId(node->value))
        return 0;
    mContextStack.PopFront();
    // With the stack empty the default context is current; while nothing named it, no
    // context is (every action is disabled).
    TellControllersContext(GetCurrentContext());
    return 1;
}

int32_t HbInputManager::GetCurrentContext() const
{
    if (!mContextStack.IsEmpty())
        return ValueId(mContextStack.GetHead()->value);
    const StringHashMap::Node* node = mContextNames.Find(kHbDefaultCommandContext);
    return node ? ValueId(node->value) : -1;
}

std::string HbInputManager::GetCommandContextName() const
{
    if (mContextStack.IsEmpty())
        return kHbDefaultCommandContext;
    int32_t current = GetCurrentContext();
    HbPosition position = mContextNames.GetStartPosition();
    std::string name;
    void* value = nullptr;
    while (mContextNames.GetNextAssoc(position, name, value))
        if (ValueId(value) == current)
            return name;
    return std::string();
}

// ---- Bindings ------------------------------------------------------------------------------------

int HbInputManager::Bind(int32_t kind, const char* name, const char* keyText, int32_t state, HbCommand* command)
{
    if (mContextStack.IsEmpty())
        return 0;
    HbController* controller = GetController(kind);
    return controller ? controller->Bind(name, keyText, state, GetCurrentContext(), command) : 0;
}

int HbInputManager::ExecuteBindingFile(const char* fileName)
{
    for (HbController* controller : mSlots)
        if (controller)
            controller->BeginBindings();
    if (HbCommandManager* commands = HbCommandManager::Instance())
        commands->ExecuteLine((std::string("execute ") + (fileName ? fileName : "")).c_str());
    for (HbController* controller : mSlots)
        if (controller)
        {
            controller->SetContextCount(mContextNames.GetCount());
            controller->EndBindings();
        }
    return 1;
}

int HbInputManager::BindFromText(const char* typeName, const char* name, const char* keyText, const char* stateName)
{
    // A line that binds nothing says why on the debug output; the script goes on.
    auto refuse = [&](const char* why)
    {
        HbCommandDebugOutput(
            (std::string("bind ") + (typeName ? typeName : "") + " " + (name ? name : "") + ": " + why + "\n").c_str());
        return 0;
    };
    int32_t kind = FindControllerKind(typeName);
    if (kind == kHbControllerNone)
        return refuse("no such controller");
    HbCommandManager* commands = HbCommandManager::Instance();
    HbCommand* command = commands ? commands->FindCommand(name) : nullptr;
    int32_t state = GetActionStateId(stateName);
    if (state == 0)
        return refuse("unknown action state");
    if (mContextStack.IsEmpty())
        return refuse("no command context set");
    if (!Bind(kind, name, keyText, state, command))
        return refuse("refused (unknown key, bad chord, or already bound in this context)");
    return 1;
}

uint32_t HbInputManager::BindingCounter()
{
    return HbController::GetBindingCount();
}
