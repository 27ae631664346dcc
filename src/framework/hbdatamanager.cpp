// Data manager containers, their entries, the build state and the six console
// commands that data scripts are made of.
#include "hbdatamanager.h"

#include "hbcommand.h"
#include "hbmath.h"
#include "hbptrlist.h"

#include <climits>
#include <cstdlib>
#include <string>

HB_DEFINE_CLASS_POOL(TDataManagerContainer::TRealEntry, "TDataManagerContainer::TDataEntry<HbReal>", 550);
HB_DEFINE_CLASS_POOL(TDataManagerContainer::TIntegerEntry, "TDataManagerContainer::TDataEntry<HbInt32>", 150);
HB_DEFINE_CLASS_POOL(TDataManagerContainer::TStringEntry, "TDataManagerContainer::TDataEntry<string>", 200);

namespace
{
const char* Safe(const char* text)
{
    return text ? text : "";
}
} // namespace

// ---- Entries ------------------------------------------------------------------------------------

const float* TDataManagerContainer::TDataEntry::AsReal() const
{
    return mKind == Kind::Real ? &static_cast<const TRealEntry*>(this)->value : nullptr;
}

const int32_t* TDataManagerContainer::TDataEntry::AsInteger() const
{
    return mKind == Kind::Integer ? &static_cast<const TIntegerEntry*>(this)->value : nullptr;
}

const std::string* TDataManagerContainer::TDataEntry::AsString() const
{
    return mKind == Kind::String ? &static_cast<const TStringEntry*>(this)->value : nullptr;
}

// ---- Containers ---------------------------------------------------------------------------------

TDataManagerContainer::TDataManagerContainer(const char* name) : mName(Safe(name)) {}

TDataManagerContainer::~TDataManagerContainer()
{
    std::string key;
    void* value = nullptr;
    HbPosition position = mChildren.GetStartPosition();
    while (mChildren.GetNextAssoc(position, key, value))
        delete static_cast<TDataManagerContainer*>(value);
    position = mEntries.GetStartPosition();
    while (mEntries.GetNextAssoc(position, key, value))
        delete static_cast<TDataEntry*>(value);
    mChildren.RemoveAll();
    mEntries.RemoveAll();
}

TDataManagerContainer* TDataManagerContainer::FindContainer(const char* name) const
{
    return static_cast<TDataManagerContainer*>(mChildren.Lookup(Safe(name)));
}

const TDataManagerContainer::TDataEntry* TDataManagerContainer::FindEntry(const char* key) const
{
    return static_cast<const TDataEntry*>(mEntries.Lookup(Safe(key)));
}

int TDataManagerContainer::GetReal(const char* key, float& value) const
{
    const TDataEntry* entry = FindEntry(key);
    const float* v = entry ? entry->AsReal() : nullptr;
    if (!v)
        return 0;
    value = *v;
    return 1;
}

int TDataManagerContainer::GetInteger(const char* key, int32_t& value) const
{
    const TDataEntry* entry = FindEntry(key);
    const int32_t* v = entry ? entry->AsInteger() : nullptr;
    if (!v)
        return 0;
    value = *v;
    return 1;
}

int TDataManagerContainer::GetBoolean(const char* key, bool& value) const
{
    int32_t v = 0;
    if (!GetInteger(key, v))
        return 0;
    value = v != 0;
    return 1;
}

int TDataManagerContainer::GetString(const char* key, std::string& value) const
{
    const TDataEntry* entry = FindEntry(key);
    const std::string* v = entry ? entry->AsString() : nullptr;
    if (!v)
        return 0;
    value = *v;
    return 1;
}

int TDataManagerContainer::Store(const char* key, TDataEntry* entry)
{
    if (!entry)
        return 0;
    void** slot = mEntries.FindOrInsert(Safe(key));
    if (!slot)
    {
        delete entry;
        return 0;
    }
    delete static_cast<TDataEntry*>(*slot);
    *slot = entry;
    return 1;
}

int TDataManagerContainer::SetReal(const char* key, float value)
{
    return Store(key, new TRealEntry(value));
}

int TDataManagerContainer::SetInteger(const char* key, int32_t value)
{
    return Store(key, new TIntegerEntry(value));
}

int TDataManagerContainer::SetString(const char* key, const char* value)
{
    return Store(key, new TStringEntry(value));
}

int TDataManagerContainer::AttachChild(TDataManagerContainer* child)
{
    if (!child || child == this)
        return 0;
    void** slot = mChildren.FindOrInsert(child->GetName());
    if (!slot)
        return 0;
    if (*slot != child)
        delete static_cast<TDataManagerContainer*>(*slot);
    *slot = child;
    return 1;
}

// ---- The tree and its build state ------------------------------------------------------------------

namespace
{
class BuildState
{
public:
    BuildState()
    {
        // The heap's exit handler must be registered first, so that the
        // destructor below runs while the heap still exists.
        InitFrameworkHeap();
    }
    ~BuildState() { Clear(); }

    /// Destroys the tree and every container still being built.
    void Clear();

    TDataManagerContainer* root = nullptr;
    TDataManagerContainer* current = nullptr;
    /// The outer containers still open; all but the root are unattached.
    HbPtrList stack{10};
};

BuildState& State()
{
    static BuildState state;
    return state;
}

void BuildState::Clear()
{
    // Every open container but the root is outside the tree until its End.
    while (!stack.IsEmpty())
    {
        auto* open = static_cast<TDataManagerContainer*>(stack.PopFront());
        if (open != root)
            delete open;
    }
    if (current != root)
        delete current;
    current = nullptr;
    delete root;
    root = nullptr;
}

/// A container that is not in the tree yet: neither the root nor null.
void DestroyUnattached(TDataManagerContainer* container)
{
    if (container && container != State().root)
        delete container;
}

void Complain(const char* text)
{
    HbCommandDebugOutput(text);
}
} // namespace

int HbDataManager::Create()
{
    BuildState& s = State();
    if (!s.root)
        s.root = new TDataManagerContainer("Root");
    return s.root ? 1 : 0;
}

TDataManagerContainer* HbDataManager::Root()
{
    return State().root;
}

void HbDataManager::Destroy()
{
    State().Clear();
}

int HbDataManager::BeginContainer(const char* name)
{
    BuildState& s = State();
    auto* container = new TDataManagerContainer(name);
    if (!container)
        return 0;
    if (s.current && !s.stack.AddHead(s.current))
    {
        delete container;
        return 0;
    }
    s.current = container;
    return 1;
}

int HbDataManager::EndContainer()
{
    BuildState& s = State();
    if (!s.current || (s.current == s.root && s.stack.IsEmpty()))
        return 0;
    TDataManagerContainer* parent =
        s.stack.IsEmpty() ? s.root : static_cast<TDataManagerContainer*>(s.stack.PopFront());
    TDataManagerContainer* child = s.current;
    if (!parent)
    {
        delete child;
        s.current = nullptr;
        return 0;
    }
    if (child == parent || !parent->AttachChild(child))
        DestroyUnattached(child);
    s.current = parent;
    return 1;
}

TDataManagerContainer* HbDataManager::Current()
{
    return State().current;
}

int32_t HbDataManager::GetStackDepth()
{
    return State().stack.GetCount();
}

// ---- Console commands ----------------------------------------------------------------------------------

namespace
{
// The C runtime's atoi on a 32-bit int: leading blanks, a sign, digits; text
// that is no number gives 0; out-of-range values saturate instead of wrapping.
int32_t ParseInteger(const char* text)
{
    long long value = std::strtoll(text, nullptr, 10);
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return static_cast<int32_t>(value);
}

/// The container a Set* command stores into, or null with a message.
TDataManagerContainer* Target(const HbCommandArgs& args)
{
    TDataManagerContainer* current = HbDataManager::Current();
    if (!current)
    {
        std::string text = args.GetToken(0) + " " + args.GetToken(1) + ": no data container is open\n";
        Complain(text.c_str());
    }
    return current;
}

class DataContainerBeginCommand : public HbCommand
{
public:
    DataContainerBeginCommand()
        : HbCommand("DataContainerBegin", "Start a new container creation : DataContainerBegin name")
    {
    }
    int Execute(const HbCommandArgs& args, int32_t) override
    {
        HbDataManager::BeginContainer(args.GetToken(1).c_str());
        return 1;
    }
};

class DataContainerEndCommand : public HbCommand
{
public:
    DataContainerEndCommand()
        : HbCommand("DataContainerEnd", "End the creation of current container : DataContainerEnd")
    {
    }
    int Execute(const HbCommandArgs&, int32_t) override
    {
        if (!HbDataManager::EndContainer())
            Complain("DataContainerEnd: no data container to end\n");
        return 1;
    }
};

class SetBooleanCommand : public HbCommand
{
public:
    SetBooleanCommand() : HbCommand("SetBoolean", "Set a boolean") {}
    int Execute(const HbCommandArgs& args, int32_t) override
    {
        // Anything but the exact "TRUE" is false.
        if (TDataManagerContainer* target = Target(args))
            target->SetInteger(args.GetToken(1).c_str(), args.GetToken(2) == "TRUE" ? 1 : 0);
        return 1;
    }
};

class SetIntegerCommand : public HbCommand
{
public:
    SetIntegerCommand() : HbCommand("SetInteger", "Set an integer") {}
    int Execute(const HbCommandArgs& args, int32_t) override
    {
        if (TDataManagerContainer* target = Target(args))
            target->SetInteger(args.GetToken(1).c_str(), ParseInteger(args.GetToken(2).c_str()));
        return 1;
    }
};

class SetRealCommand : public HbCommand
{
public:
    SetRealCommand() : HbCommand("SetReal", "Set a real") {}
    int Execute(const HbCommandArgs& args, int32_t) override
    {
        if (TDataManagerContainer* target = Target(args))
            target->SetReal(args.GetToken(1).c_str(), static_cast<float>(HbAtoF(args.GetToken(2).c_str())));
        return 1;
    }
};

class SetStringCommand : public HbCommand
{
public:
    SetStringCommand() : HbCommand("SetString", "Set a string") {}
    int Execute(const HbCommandArgs& args, int32_t) override
    {
        if (TDataManagerContainer* target = Target(args))
            target->SetString(args.GetToken(1).c_str(), args.GetToken(2).c_str());
        return 1;
    }
};

// The build state is made before the commands, so it is destroyed after them.
[[maybe_unused]] BuildState& gState = State();
DataContainerBeginCommand gBeginCommand;
DataContainerEndCommand gEndCommand;
SetBooleanCommand gSetBooleanCommand;
SetIntegerCommand gSetIntegerCommand;
SetRealCommand gSetRealCommand;
SetStringCommand gSetStringCommand;
} // namespace
