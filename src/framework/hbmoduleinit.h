// Module initialisers: (create, check) pairs registered during static
// construction and run once at the start of the application's Init hook.
#pragma once

#include <cstdint>

using HbModuleInitFunc = int (*)();

constexpr int kHbMaxModuleInits = 110;

/// A table of module-initialiser pairs. The program has one (behind the
/// functions below); tests make their own.
class HbModuleInitTable
{
public:
    constexpr HbModuleInitTable() = default;

    /// Stores the pair; 1 while the new count is below the table size, else 0.
    /// A registration past the last slot is refused (0, nothing stored).
    int Register(HbModuleInitFunc create, HbModuleInitFunc check);
    /// Calls every create function in registration order, ignoring the results;
    /// returns 1. The check functions are not called.
    int RunAll() const;
    /// Calls every check function; the number of entries whose module exists.
    int CountExisting() const;
    int GetCount() const { return mCount; }

private:
    struct Entry
    {
        HbModuleInitFunc create = nullptr;
        HbModuleInitFunc check = nullptr;
    };
    Entry mEntries[kHbMaxModuleInits] = {};
    int mCount = 0;
};

/// Registers with the program's table (usable from any static initialiser).
int HbRegisterModuleInit(HbModuleInitFunc create, HbModuleInitFunc check);
/// Runs the program's table; returns 1.
int HbRunModuleInits();
int HbModuleInitCount();
/// Runs the checks of the program's table (start-up diagnostics and tests).
int HbModuleInitCountExisting();

/// The game's shut-down has begun: from now on a class pool that becomes empty gives its
/// block back (until then no pool is freed while the program runs). Returns 1.
int HbSetShuttingDown();
/// 1 after HbSetShuttingDown.
int HbIsShuttingDown();
