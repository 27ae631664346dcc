// The ammunition-count functions of the scenario module: SetAmmoNumber and AddAmmo. Each finds
// the weapon as the script world's actor bound to its first argument. The functions that fill
// the weapon records belong to the gameplay layer's weapons.
#pragma once

struct PyMethodDef;

/// The functions; a null row ends them.
PyMethodDef* TsWeaponScriptFunctions();
