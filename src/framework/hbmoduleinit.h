// Module initialisers: (create, check) pairs registered during static
// construction and run once at the start of the application's Init hook.
#pragma once

#include <cstdint>

using HbModuleInitFunc = int (*)();

constexpr int kHbMaxModuleInits = 110;

/// Stores the pair; 1 while the new count is below the table size, else 0. A
/// registration past the last slot is refused (0, nothing stored).
int HbRegisterModuleInit(HbModuleInitFunc create, HbModuleInitFunc check);
/// Calls every create function in registration order; returns 1.
int HbRunModuleInits();
int HbModuleInitCount();
