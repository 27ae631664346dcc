// SetAmmoData of the scenario module: fills a WeaponShoot's ammunition hit and casing records.
#pragma once

struct PyMethodDef;

/// The functions; a null row ends them.
PyMethodDef* WeaponAmmoScriptFunctions();
