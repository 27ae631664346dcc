// Controllers: binding actions to key chords per context, compiling the
// per-context tables, switching contexts and dispatching bound commands.
#include "hbcontroller.h"

#include "hbcommand.h"
#include "hbinputaction.h"
#include "hbkeycondition.h"

#include <cstring>

HB_DEFINE_CLASS_DESC(HbController, HbRoot);

namespace
{
int32_t gConflicts = 0;
uint32_t gBindings = 0;
} // namespace

HbController::HbController(int32_t kind, const char* typeName) : mTypeName(typeName ? typeName : ""), mKind(kind) {}

HbController::~HbController()
{
    FreeTables();
    HbPosition position = mActions.GetStartPosition();
    std::string name;
    void* value = nullptr;
    while (mActions.GetNextAssoc(position, name, value))
        static_cast<HbInputAction*>(value)->Release();
    mActions.RemoveAll();
    mKeyNames.RemoveAll();
}

// ---- Device -------------------------------------------------------------------------------

int HbController::Update()
{
    return CheckConnection();
}

int HbController::CheckConnection()
{
    int connected = IsConnected();
    if ((mFlags & kConnected) && !connected)
    {
        mFlags &= ~kConnected;
        return 0;
    }
    if (!(mFlags & kConnected) && connected)
    {
        Reacquire();
        mFlags |= kConnected;
    }
    return (mFlags & kConnected) ? 1 : 0;
}

void HbController::SetConnected(bool connected)
{
    mFlags = connected ? (mFlags | kConnected) : (mFlags & ~kConnected);
}

// ---- Bindings -----------------------------------------------------------------------------

int HbController::Bind(const char* name, const char* keyText, int32_t kind, int32_t context, HbCommand* command)
{
    if (!name)
        return 0;
    if (auto* existing = static_cast<HbInputAction*>(mActions.Lookup(name)))
    {
        // A later binding of a known action only adds its context; its keys
        // and command are those of the first binding.
        if (existing->InContext(context))
        {
            ++gConflicts;
            return 0;
        }
        if (!existing->AddContext(context))
            return 0;
        ++gBindings;
        return 1;
    }

    StringHashMap chord(17, 10);
    if (!ParseKeyChord(chord, keyText) || chord.IsEmpty() || (kind == kHbStateReleased && chord.GetCount() > 1))
        return 0;

    auto* action = new HbInputAction(name, command, context);
    if (!action)
        return 0;
    action->AddRef();
    HbPosition position = chord.GetStartPosition();
    std::string keyName;
    void* code = nullptr;
    while (chord.GetNextAssoc(position, keyName, code))
    {
        auto* condition = new HbKeyCondition(static_cast<int32_t>(reinterpret_cast<intptr_t>(code)), kind);
        int added = condition ? action->AddKey(condition) : 0;
        if (!added)
        {
            delete condition;
            action->Release();
            return 0;
        }
    }
    void** slot = mActions.FindOrInsert(name);
    if (!slot)
    {
        action->Release();
        return 0;
    }
    *slot = action;
    ++gBindings;
    return 1;
}

int HbController::ParseKeyChord(StringHashMap& chord, const char* keyText)
{
    if (!keyText || !*keyText)
        return 1;
    const char* part = keyText;
    for (;;)
    {
        const char* end = std::strchr(part, '+');
        std::string name = end ? std::string(part, static_cast<size_t>(end - part)) : std::string(part);
        int32_t code = GetKeyCode(name.c_str());
        if (code < 0)
            return 0;
        void** slot = chord.FindOrInsert(name);
        if (!slot)
            return 0;
        *slot = reinterpret_cast<void*>(static_cast<intptr_t>(code));
        if (!end)
            return 1;
        part = end + 1;
    }
}

void HbController::BeginBindings()
{
    mFlags |= kBindingMode;
    ReturnTablesToMap();
}

int HbController::EndBindings()
{
    // Called twice without a new binding script, the tables are made again.
    ReturnTablesToMap();
    mFlags &= ~kBindingMode;
    int32_t count = mPendingContextCount;
    if (count > 0)
    {
        mTables = static_cast<Table*>(HbHeapCalloc(static_cast<size_t>(count), sizeof(Table)));
        if (mTables)
            mTableCount = count;
    }

    // Count each table's entries, then fill them.
    HbPosition position = mActions.GetStartPosition();
    std::string name;
    void* value = nullptr;
    while (mActions.GetNextAssoc(position, name, value))
    {
        auto* action = static_cast<HbInputAction*>(value);
        for (int32_t i = 0; i < action->GetContextCount(); ++i)
        {
            int32_t context = action->GetContext(i);
            if (context >= 0 && context < mTableCount)
                ++mTables[context].capacity;
        }
    }
    for (int32_t context = 0; context < mTableCount; ++context)
    {
        Table& table = mTables[context];
        if (table.capacity > 0)
        {
            table.actions =
                static_cast<HbInputAction**>(HbHeapCalloc(static_cast<size_t>(table.capacity), sizeof(HbInputAction*)));
            if (!table.actions)
                table.capacity = 0;
        }
    }
    position = mActions.GetStartPosition();
    while (mActions.GetNextAssoc(position, name, value))
    {
        auto* action = static_cast<HbInputAction*>(value);
        action->SetKeyStates(mKeyStates, mKeyStateCount);
        for (int32_t i = 0; i < action->GetContextCount(); ++i)
        {
            int32_t context = action->GetContext(i);
            if (context < 0 || context >= mTableCount)
                continue;
            Table& table = mTables[context];
            if (table.count < table.capacity)
            {
                table.actions[table.count++] = action;
                action->AddRef();
            }
        }
        // The map's reference goes: the tables hold the action from now on.
        action->Release();
    }
    mActions.RemoveAll();
    // Actions made after the context was pushed start disabled; make the
    // current context live, as a push would.
    SetContext(mContext);
    return 1;
}

void HbController::ReturnTablesToMap()
{
    for (int32_t context = 0; context < mTableCount; ++context)
    {
        Table& table = mTables[context];
        for (int32_t i = 0; i < table.count; ++i)
        {
            HbInputAction* action = table.actions[i];
            void** slot = mActions.FindOrInsert(action->GetName());
            if (slot && !*slot)
                *slot = action; // the table's reference passes to the map
            else
                action->Release();
        }
        table.count = 0;
    }
    FreeTables();
}

void HbController::FreeTables()
{
    for (int32_t context = 0; context < mTableCount; ++context)
    {
        Table& table = mTables[context];
        for (int32_t i = 0; i < table.count; ++i)
            table.actions[i]->Release();
        HbHeapFree(table.actions);
    }
    HbHeapFree(mTables);
    mTables = nullptr;
    mTableCount = 0;
}

// ---- Contexts and frames --------------------------------------------------------------------

void HbController::SetContext(int32_t id)
{
    mContext = id;
    if (mFlags & kBindingMode)
    {
        HbPosition position = mActions.GetStartPosition();
        std::string name;
        void* value = nullptr;
        while (mActions.GetNextAssoc(position, name, value))
        {
            auto* action = static_cast<HbInputAction*>(value);
            if (action->InContext(id))
            {
                action->Reset();
                action->SetFlags(action->GetFlags() | HbInputAction::kEnabled);
            }
            else
                action->SetFlags(action->GetFlags() & ~HbInputAction::kEnabled);
        }
        return;
    }
    for (int32_t context = 0; context < mTableCount; ++context)
        for (int32_t i = 0; i < mTables[context].count; ++i)
        {
            HbInputAction* action = mTables[context].actions[i];
            action->SetFlags(action->GetFlags() & ~HbInputAction::kEnabled);
        }
    if (id < 0 || id >= mTableCount)
        return;
    for (int32_t i = 0; i < mTables[id].count; ++i)
    {
        HbInputAction* action = mTables[id].actions[i];
        action->Reset();
        action->SetFlags(action->GetFlags() | HbInputAction::kEnabled);
    }
}

void HbController::Dispatch(int32_t mode)
{
    if (mContext < 0 || mContext >= mTableCount)
        return;
    const Table& table = mTables[mContext];
    if (table.count <= 0)
        return;
    // A bound command may push a context, run a binding script or replace this
    // controller: work on a held copy of the table, and hold the controller. The copy stays on
    // the stack for any usual table, since this runs every frame.
    constexpr int32_t kOnStack = 64;
    HbInputAction* stackCopy[kOnStack];
    auto** actions =
        table.count <= kOnStack
            ? stackCopy
            : static_cast<HbInputAction**>(HbHeapCalloc(static_cast<size_t>(table.count), sizeof(HbInputAction*)));
    if (!actions)
        return;
    int32_t count = table.count;
    for (int32_t i = 0; i < count; ++i)
    {
        actions[i] = table.actions[i];
        actions[i]->AddRef();
        actions[i]->SetFlags(actions[i]->GetFlags() | HbInputAction::kNeedsEvaluation);
    }
    AddRef();
    for (int32_t i = 0; i < count; ++i)
    {
        HbInputAction* action = actions[i];
        HbCommand* command = action->GetCommand();
        bool considered = mode == 1 ? command != nullptr : mode == 2 ? command == nullptr : true;
        if (considered && action->IsTriggered() && command)
        {
            HbCommandArgs args;
            command->Execute(args, 0);
        }
    }
    for (int32_t i = 0; i < count; ++i)
        actions[i]->Release();
    if (actions != stackCopy)
        HbHeapFree(actions);
    Release();
}

// ---- Names --------------------------------------------------------------------------------

HbInputAction* HbController::FindAction(const char* name)
{
    if (!name)
        return nullptr;
    for (int32_t context = 0; context < mTableCount; ++context)
        for (int32_t i = 0; i < mTables[context].count; ++i)
            if (mTables[context].actions[i]->GetName() == name)
                return mTables[context].actions[i];
    return nullptr;
}

int32_t HbController::GetKeyCode(const char* name)
{
    const StringHashMap::Node* node = mKeyNames.Find(name ? name : "");
    return node ? static_cast<int32_t>(reinterpret_cast<intptr_t>(node->value)) : -1;
}

void HbController::AddKeyName(const char* name, int32_t code)
{
    if (void** slot = mKeyNames.FindOrInsert(name))
        *slot = reinterpret_cast<void*>(static_cast<intptr_t>(code));
}

// ---- Values and settings: nothing for a controller without them --------------------------------

int HbController::GetVector(int32_t, float out[3])
{
    if (out)
        out[0] = out[1] = out[2] = 0.0f;
    return 1;
}

int HbController::GetAxis(int32_t, float out[2])
{
    if (out)
        out[0] = out[1] = 0.0f;
    return 1;
}

int HbController::GetValue(int32_t, float* out)
{
    if (out)
        *out = 0.0f;
    return 1;
}

int HbController::GetWheel(int32_t, float* out)
{
    if (out)
        *out = 0.0f;
    return 1;
}

int HbController::Reacquire()
{
    return 1;
}

int HbController::SetAxisDeadZone(int32_t, int32_t, int32_t, int32_t)
{
    return 0;
}

int HbController::SetAxisInverted(int32_t, int32_t, int32_t)
{
    return 0;
}

int HbController::InitDevice(int32_t)
{
    return 0;
}

int HbController::SetVibration2(int32_t, float, float)
{
    return 0;
}

int HbController::SetVibration(int32_t, float)
{
    return 0;
}

// ---- Tables and counters ------------------------------------------------------------------------

void HbController::SetKeyStates(const uint8_t* keyStates, int32_t count)
{
    mKeyStates = keyStates;
    mKeyStateCount = keyStates ? count : 0;
}

int32_t HbController::GetTableSize(int32_t context) const
{
    return context >= 0 && context < mTableCount ? mTables[context].count : 0;
}

HbInputAction* HbController::GetTableAction(int32_t context, int32_t index) const
{
    if (context < 0 || context >= mTableCount || index < 0 || index >= mTables[context].count)
        return nullptr;
    return mTables[context].actions[index];
}

int32_t HbController::GetConflictCount()
{
    return gConflicts;
}

uint32_t HbController::GetBindingCount()
{
    return gBindings;
}

void HbController::NoteBindingsChanged()
{
    ++gBindings;
}
