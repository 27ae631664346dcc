// HbInputManager: the input singleton. It owns DirectInput, the system mouse
// device, the Windows key state and four controller slots, keeps the stack of
// command contexts and answers game code's questions about actions.
#pragma once

#include "dinput8.h"
#include "hbhashmap.h"
#include "hbptrlist.h"
#include "hbroot.h"

#include <cstdint>
#include <string>

class HbCommand;
class HbController;
class HbInputAction;

/// The context current whenever the stack is empty: what a binding script binds under this
/// name is read with no context pushed.
inline constexpr const char kHbDefaultCommandContext[] = "Default";

class HbInputManager : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    static constexpr int32_t kSlotCount = 4;
    static constexpr int32_t kKeyStateSize = 256;
    /// The dead zone CreateControler gives both axes of both pad sticks.
    static constexpr int32_t kPadDeadZoneLow = 32;
    static constexpr int32_t kPadDeadZoneHigh = 95;

    /// The manager, made on first use and destroyed by the exit list.
    static HbInputManager* Instance();

    /// Empty maps and stack, no devices, empty slots, the seven action-state names.
    HbInputManager();
    /// ReleaseControllers, ShutdownDirectInput, then the stack and the maps emptied.
    ~HbInputManager() override;

    // ---- DirectInput ---------------------------------------------------------------------------
    /// Makes the DirectInput object (once) with the application's instance and
    /// then the mouse device; DI_OK when the object exists, else its error.
    /// Without it the pads cannot open and the mouse reads nothing; the
    /// keyboard works all the same.
    HRESULT InitDirectInput();
    /// The system mouse: relative format, foreground non-exclusive on the main
    /// window, event notification, 16 buffered changes. The last call's
    /// result; on any failure the mouse device stays null.
    HRESULT CreateMouseDevice();
    IDirectInput8A* GetDirectInput() const { return mDirectInput; }
    IDirectInputDevice8A* GetMouseDevice() const { return mMouseDevice; }
    void ShutdownDirectInput();

    // ---- Controllers -------------------------------------------------------------------------
    /// What CreateControler does: slot 0..3 and a type name ("Paddle1",
    /// "Paddle2", "Keyboard", "Mouse"). 0 for another slot or type; 1 otherwise,
    /// also when a pad's device cannot be opened (the slot is then left empty).
    int CreateController(int32_t slot, const char* typeName);
    /// Releases every slot's controller and empties the slots (the kinds stay); 1.
    int ReleaseControllers();
    /// Back to a new manager: controllers released, kinds cleared, DirectInput
    /// shut down, no context; the action-state names stay.
    void Reset();

    // ---- Per frame -----------------------------------------------------------------------------
    /// Reads the key state, then updates every controller in slot order; the
    /// last controller's result (1 with none), or 0 when the key state could
    /// not be read (the controllers are then not updated).
    int Update();

    // ---- Queries (a kind no slot holds gives null or 0) ------------------------------------------
    /// The first action of that exact name, asking the controllers in slot order.
    HbInputAction* FindAction(const char* name);
    /// The controller of the first slot holding the kind.
    HbController* GetController(int32_t kind) const;
    /// The mouse wheel's direction (GetWheel).
    int GetControllerValue(int32_t kind, int32_t index, float* out);
    /// A pad stick or the mouse movement (GetAxis); out is zeroed when no controller answers.
    int GetControllerAxis(int32_t kind, int32_t index, float out[2]);
    int SetControllerDeadZone(int32_t kind, int32_t stick, int32_t axis, int32_t low, int32_t high);
    /// Pad rumble: SetVibration (effect, strength) and SetVibration2 (effect, strength, duration).
    int SetControllerVibration(int32_t kind, int32_t effect, float strength);
    int SetControllerVibration2(int32_t kind, int32_t effect, float strength, float duration);
    /// 1 once the first pad's device is open.
    int IsPadPresent() const { return mPadPresent; }
    /// The kind of the first slot whose controller has that type name, or 0.
    int32_t FindControllerKind(const char* typeName) const;
    /// CLICK 1 .. TOGGLED 7, or 0.
    int32_t GetActionStateId(const char* name) const;

    // ---- Command contexts -------------------------------------------------------------------------
    /// Makes the named context current (a new name gets the next id) and
    /// tells every controller; 1.
    int PushCommandContext(const char* name);
    /// 0 unless the named context is on top; otherwise pops it and tells every
    /// controller the new current context (the default one when the stack empties).
    int PopCommandContext(const char* name);
    /// The name on top of the stack; "Default" when the stack is empty.
    std::string GetCommandContextName() const;
    /// The context id on top; with an empty stack the default context's id, or -1 while
    /// no binding script has named it.
    int32_t GetCurrentContext() const;
    int32_t GetContextNameCount() const { return mContextNames.GetCount(); }
    int32_t GetContextDepth() const { return mContextStack.GetCount(); }

    // ---- Bindings ---------------------------------------------------------------------------------
    /// Binds on the controller of the kind in the current context; 0 while no
    /// context is current or no slot holds the kind.
    int Bind(int32_t kind, const char* name, const char* keyText, int32_t state, HbCommand* command);
    /// Every controller begins binding, the script runs ("execute <file>"),
    /// every controller compiles one table per context name known; 1.
    int ExecuteBindingFile(const char* fileName);
    /// A bind line's work: the controller kind of the type name, the console
    /// command of the action's name if any, the state id of the state name,
    /// then Bind. 1 when bound; 0 when nothing was bound (an unknown
    /// controller or state does nothing).
    int BindFromText(const char* typeName, const char* name, const char* keyText, const char* stateName);
    /// Raised by every binding made and whenever controllers go: a caller
    /// keeping an action found by name looks it up again when this changed.
    static uint32_t BindingCounter();

    // ---- State ----------------------------------------------------------------------------------
    HbController* GetSlotController(int32_t slot) const;
    int32_t GetSlotKind(int32_t slot) const;
    const uint8_t* GetKeyState() const { return mKeyState; }

private:
    void ReleaseSlot(int32_t slot);
    void TellControllersContext(int32_t context);

    StringHashMap mStateNames{17, 10};
    StringHashMap mContextNames{17, 10};
    HbPtrList mContextStack{10};
    IDirectInput8A* mDirectInput = nullptr;
    IDirectInputDevice8A* mMouseDevice = nullptr;
    HANDLE mMouseEvent = nullptr;

    HbController* mSlots[kSlotCount] = {};
    int32_t mSlotKinds[kSlotCount] = {};
    uint8_t mKeyState[kKeyStateSize] = {};
    int32_t mPadPresent = 0;
};
