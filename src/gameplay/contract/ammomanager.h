// The ammunition's start-up and shut-down as the game calls them: the two geometry rows, the
// script modules of casings and projectiles, the pooled ammunition objects. The gameplay
// layer builds the projectiles, casings and impacts behind these; until then the rows are
// only declared, the modules are queued empty and nothing is pooled.
#pragma once

#include <cstdint>

/// Queues a script module by name for the interpreter's start; 1 done.
using AmmoModuleQueue = int32_t (*)(const char* name);

/// Declares the rows of 70 casings and 5 tank projectiles.
void AmmoGeometryDeclareRows();
/// Queues the modules "casing" and "projectil" through the caller's queue.
void AmmoRegisterScriptModules(AmmoModuleQueue queue);
/// Casings and tank projectiles declared (0 before AmmoGeometryDeclareRows).
int32_t AmmoGeometryCasingCount();
int32_t AmmoGeometryTankProjectileCount();

class AmmoManager
{
public:
    /// Makes the pooled ammunition objects; 1 done.
    static int32_t Preallocate();
    static int32_t IsPreallocated();
};

/// Frees what Preallocate made and forgets the rows.
void AmmoManagerShutdown();
