// The weapon functions of the scenario module: SetWeaponAnimations, SetWeaponData,
// SetWeaponShootData, SetWeaponContactData, SetAmmoNumber and AddAmmo. Each finds the weapon
// as the script world's actor bound to its first argument.
#pragma once

struct PyMethodDef;

/// The functions; a null row ends them.
PyMethodDef* TsWeaponScriptFunctions();
