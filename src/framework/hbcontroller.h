// HbController: the base of the keyboard, mouse and pad controllers. It turns
// one device's raw state into named actions, bound per command context.
#pragma once

#include "hbhashmap.h"
#include "hbroot.h"

#include <cstdint>
#include <string>

class HbCommand;
class HbInputAction;

/// The controller kinds, also the manager's slot kinds.
enum HbControllerKind : int32_t
{
    kHbControllerNone = 0,
    kHbControllerKeyboard = 1,
    kHbControllerMouse = 2,
    kHbControllerPad1 = 3,
    kHbControllerPad2 = 4,
};

class HbController : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    enum Flag : int32_t
    {
        kBindingMode = 0x1,
        kConnected = 0x2,
    };

    /// No context yet (-1), not connected, not binding.
    HbController(int32_t kind, const char* typeName);
    /// Releases every action of the tables and of the binding map.
    ~HbController() override;

    // ---- Device -------------------------------------------------------------------------
    /// 1 while the device can be read.
    virtual int IsConnected() = 0;
    /// Once per frame: CheckConnection here; the controllers add their reading
    /// and Dispatch. The controller may be gone when a bound command ran.
    virtual int Update();

    // ---- Bindings -------------------------------------------------------------------------
    /// Binds the action in the context: see the source for the rules. 1 when
    /// bound (or given one more context), 0 when refused.
    virtual int Bind(const char* name, const char* keyText, int32_t kind, int32_t context, HbCommand* command);

    // ---- Values ---------------------------------------------------------------------------
    /// Base: zeroes the outputs and returns 1; index is the stick or element.
    virtual int GetVector(int32_t index, float out[3]);
    virtual int GetAxis(int32_t index, float out[2]);
    virtual int GetValue(int32_t index, float* out);
    virtual int GetWheel(int32_t index, float* out);

    // ---- Names ----------------------------------------------------------------------------
    /// The action of that exact name in the compiled tables, context 0 first;
    /// null while bindings are being made.
    virtual HbInputAction* FindAction(const char* name);
    /// The key code of a key name of this controller, or -1.
    virtual int32_t GetKeyCode(const char* name);

    // ---- Device settings (base: nothing to do) ---------------------------------------------
    /// Called when the device becomes readable again; returns 1.
    virtual int Reacquire();
    virtual int SetAxisDeadZone(int32_t stick, int32_t axis, int32_t low, int32_t high);
    virtual int SetAxisInverted(int32_t stick, int32_t axis, int32_t flag);
    virtual int InitDevice(int32_t index);
    virtual int SetVibration2(int32_t effect, float first, float second);
    virtual int SetVibration(int32_t effect, float value);

    // ---- Contexts and frames ----------------------------------------------------------------
    /// Makes the context current: its actions are reset and enabled, all
    /// others disabled. An id without a table (negative, or named after the
    /// tables were made) leaves every action disabled.
    virtual void SetContext(int32_t id);
    /// Binding mode: Bind adds to the binding map. Compiled tables are taken
    /// back into the map, so a second binding script adds to the first.
    virtual void BeginBindings();
    /// Compiles one table per context (SetContextCount) from the binding map,
    /// then makes the current context's actions enabled. Returns 1.
    virtual int EndBindings();
    /// Marks the current context's actions for evaluation; runs the command
    /// of each one considered that triggers (mode 1: actions with a command,
    /// mode 2: actions without, any other mode: all).
    virtual void Dispatch(int32_t mode);
    /// Fills the key-name map.
    virtual void InitKeyNames() = 0;

    // ---- Not virtual ------------------------------------------------------------------------
    /// Splits the text at each '+' and stores every part's key code in the map
    /// under its name; 0 at the first part that names no key. An empty text
    /// gives 1 and an empty map.
    int ParseKeyChord(StringHashMap& chord, const char* keyText);
    /// Follows IsConnected: Reacquire when the device comes back; the connected flag.
    int CheckConnection();
    /// The number of contexts EndBindings makes tables for.
    void SetContextCount(int32_t count) { mPendingContextCount = count > 0 ? count : 0; }
    /// The bytes key codes index, handed to every action when tables are made.
    void SetKeyStates(const uint8_t* keyStates, int32_t count);

    const std::string& GetTypeName() const { return mTypeName; }
    int32_t GetKind() const { return mKind; }
    int32_t GetContext() const { return mContext; }
    int32_t GetFlags() const { return mFlags; }
    const uint8_t* GetKeyStates() const { return mKeyStates; }
    /// The compiled tables: their number and each one's actions.
    int32_t GetTableCount() const { return mTableCount; }
    int32_t GetTableSize(int32_t context) const;
    HbInputAction* GetTableAction(int32_t context, int32_t index) const;
    const StringHashMap& GetBindingMap() const { return mActions; }

    /// Bindings refused because the action was already bound in that context.
    static int32_t GetConflictCount();
    /// Raised by every binding made; callers keeping an action found by name
    /// look it up again when it changed.
    static uint32_t GetBindingCount();
    static void NoteBindingsChanged();

protected:
    void AddKeyName(const char* name, int32_t code);
    void SetConnected(bool connected);

private:
    struct Table
    {
        int32_t count;
        int32_t capacity;
        HbInputAction** actions;
    };

    /// Moves the compiled actions back into the binding map and frees the tables.
    void ReturnTablesToMap();
    void FreeTables();

    std::string mTypeName;
    StringHashMap mActions{17, 10};
    StringHashMap mKeyNames{17, 10};
    int32_t mKind;
    int32_t mContext = -1;
    const uint8_t* mKeyStates = nullptr;
    int32_t mKeyStateCount = 0;
    int32_t mPendingContextCount = 0;
    int32_t mTableCount = 0;
    Table* mTables = nullptr;
    int32_t mFlags = 0;
};
