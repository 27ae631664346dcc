// Typed variables: the start-up switches set once by the SetHb* console
// commands (normally from variable.scr) and read by name.
#pragma once

#include "hbmemory.h"
#include "hbsingleton.h"

#include <cstdint>
#include <string>

enum HbVariableType : int32_t
{
    kHbVariableString = 1,
    kHbVariableReal = 2,
    kHbVariableInt32 = 3,
    kHbVariableBool = 4,
};

/// One stored variable; the value is kept as text.
struct HbVariable : public HbAllocated
{
    std::string name;
    std::string value;
    int32_t type = 0;
};

// ---- Setters: 1 when the variable was created, 0 when the name exists already
// (of any type; the first set wins and nothing changes) ----------------------------

int HbSetStringVariable(const char* name, const char* text);
/// The value is the real as "%f" prints it in the "C" locale (1.500000),
/// whatever the process locale.
int HbSetRealVariable(const char* name, float value);
int HbSetInt32Variable(const char* name, int32_t value);
/// The value is the integer as "%d" prints it.
int HbSetBoolVariable(const char* name, int32_t value);

// ---- Readers: 1 and the output filled when the variable exists with the
// expected type, else 0 with the output untouched -----------------------------------

/// 1 when a variable of that name exists, whatever its type.
int HbFindVariable(const char* name);
int HbGetStringVariable(const char* name, std::string& text);
/// The value text read as a decimal integer.
int HbGetBoolVariable(const char* name, int32_t& value);
/// The stored variable, or null.
const HbVariable* HbLookupVariable(const char* name);

/// The stateless front through which the system reaches the store.
class HbVariableStore : public HbAllocated
{
public:
    static HbVariableStore* Instance();

    int SetString(const char* name, const char* text) { return HbSetStringVariable(name, text); }
    int SetReal(const char* name, float value) { return HbSetRealVariable(name, value); }
    int SetInt32(const char* name, int32_t value) { return HbSetInt32Variable(name, value); }
    int SetBool(const char* name, int32_t value) { return HbSetBoolVariable(name, value); }
    int Find(const char* name) const { return HbFindVariable(name); }
    int GetString(const char* name, std::string& text) const { return HbGetStringVariable(name, text); }
    int GetBool(const char* name, int32_t& value) const { return HbGetBoolVariable(name, value); }

private:
    friend class HbSingleton<HbVariableStore>;
    HbVariableStore() = default;
};

// ---- Test hooks ------------------------------------------------------------------------

/// Destroys every variable, as the program's exit does; for tests only, since
/// variables are otherwise never removed.
void HbVariableClearAllForTest();
