// Typed variables: the store, the setters and readers, and the four SetHb*
// console commands.
#include "hbvariable.h"

#include "hbcommand.h"
#include "hbhashmap.h"
#include "hbmath.h"

#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace
{

// The store: name -> HbVariable. Made on first use (which may be a static
// constructor) and cleared by its static destructor at exit.
class Store
{
public:
    Store()
    {
        // The heap's exit handler must be registered before this object's
        // destructor, so that the destructor runs while the heap still exists.
        InitFrameworkHeap();
    }
    ~Store() { Clear(); }

    void Clear()
    {
        HbPosition position = mMap.GetStartPosition();
        std::string key;
        void* value = nullptr;
        while (mMap.GetNextAssoc(position, key, value))
            delete static_cast<HbVariable*>(value);
        mMap.RemoveAll();
    }

    HbVariable* Find(const char* name) const { return static_cast<HbVariable*>(mMap.Lookup(name ? name : "")); }

    int Create(const char* name, const char* value, int32_t type)
    {
        void** slot = mMap.FindOrInsert(name ? name : "");
        if (!slot || *slot)
            return 0;
        auto* variable = new HbVariable();
        if (!variable)
        {
            mMap.Remove(name ? name : "");
            return 0;
        }
        variable->name = name ? name : "";
        variable->value = value ? value : "";
        variable->type = type;
        *slot = variable;
        return 1;
    }

private:
    StringHashMap mMap{17, 10};
};

Store& TheStore()
{
    static Store store;
    return store;
}

// The C runtime's atol on a 32-bit long: decimal, leading blanks skipped, text
// that is no number gives 0, values beyond the range saturate.
int32_t ParseInt32(const char* text)
{
    long long value = std::strtoll(text, nullptr, 10);
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return static_cast<int32_t>(value);
}

constexpr const char* kSetHelp = "{variableName}, {value} . Set the environment variable to a given value";

class SetStringCommand : public HbCommand
{
public:
    SetStringCommand() : HbCommand("SetHbString", kSetHelp) {}
    int Execute(const HbCommandArgs& args, int32_t) override
    {
        if (args.GetCount() != 3)
            return 0;
        HbSetStringVariable(args.GetToken(1).c_str(), args.GetToken(2).c_str());
        return 1;
    }
};

class SetRealCommand : public HbCommand
{
public:
    SetRealCommand() : HbCommand("SetHbReal", kSetHelp) {}
    int Execute(const HbCommandArgs& args, int32_t) override
    {
        if (args.GetCount() != 3)
            return 0;
        HbSetRealVariable(args.GetToken(1).c_str(), static_cast<float>(HbAtoF(args.GetToken(2).c_str())));
        return 1;
    }
};

class SetInt32Command : public HbCommand
{
public:
    SetInt32Command() : HbCommand("SetHbInt32", kSetHelp) {}
    int Execute(const HbCommandArgs& args, int32_t) override
    {
        if (args.GetCount() != 3)
            return 0;
        HbSetInt32Variable(args.GetToken(1).c_str(), ParseInt32(args.GetToken(2).c_str()));
        return 1;
    }
};

class SetBoolCommand : public HbCommand
{
public:
    SetBoolCommand() : HbCommand("SetHbBool", kSetHelp) {}
    int Execute(const HbCommandArgs& args, int32_t) override
    {
        if (args.GetCount() != 3)
            return 0;
        const std::string& value = args.GetToken(2);
        if (value == "TRUE")
            HbSetBoolVariable(args.GetToken(1).c_str(), 1);
        else if (value == "FALSE")
            HbSetBoolVariable(args.GetToken(1).c_str(), 0);
        return 1;
    }
};

SetStringCommand gSetStringCommand;
SetRealCommand gSetRealCommand;
SetInt32Command gSetInt32Command;
SetBoolCommand gSetBoolCommand;

} // namespace

int HbSetStringVariable(const char* name, const char* text)
{
    return TheStore().Create(name, text, kHbVariableString);
}

int HbSetRealVariable(const char* name, float value)
{
    // to_chars never consults the locale, so the decimal point stays '.'.
    char text[64];
    auto result = std::to_chars(text, text + sizeof(text) - 1, static_cast<double>(value), std::chars_format::fixed, 6);
    if (result.ec != std::errc())
        return 0;
    *result.ptr = 0;
    return TheStore().Create(name, text, kHbVariableReal);
}

int HbSetInt32Variable(const char* name, int32_t value)
{
    char text[16];
    auto result = std::to_chars(text, text + sizeof(text) - 1, value);
    *result.ptr = 0;
    return TheStore().Create(name, text, kHbVariableInt32);
}

int HbSetBoolVariable(const char* name, int32_t value)
{
    char text[16];
    auto result = std::to_chars(text, text + sizeof(text) - 1, value);
    *result.ptr = 0;
    return TheStore().Create(name, text, kHbVariableBool);
}

int HbFindVariable(const char* name)
{
    return TheStore().Find(name) ? 1 : 0;
}

const HbVariable* HbLookupVariable(const char* name)
{
    return TheStore().Find(name);
}

int HbGetStringVariable(const char* name, std::string& text)
{
    HbVariable* variable = TheStore().Find(name);
    if (!variable || variable->type != kHbVariableString)
        return 0;
    text = variable->value;
    return 1;
}

int HbGetBoolVariable(const char* name, int32_t& value)
{
    HbVariable* variable = TheStore().Find(name);
    if (!variable || variable->type != kHbVariableBool)
        return 0;
    value = ParseInt32(variable->value.c_str());
    return 1;
}

HbVariableStore* HbVariableStore::Instance()
{
    return HbSingleton<HbVariableStore>::Instance();
}

void HbVariableClearAllForTest()
{
    TheStore().Clear();
}
