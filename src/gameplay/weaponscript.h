// The weapon functions of the scenario module: SetWeaponAnimations, SetWeaponData,
// SetWeaponShootData, SetWeaponContactData and SetAmmoData fill a weapon's records.
#pragma once

struct PyMethodDef;

/// The functions; a null row ends them.
PyMethodDef* WeaponScriptFunctions();
