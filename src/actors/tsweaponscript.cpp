// The ammunition-count functions of the scenario module.
#include "tsweaponscript.h"

#include "tsactorlayer.h"
#include "tsweaponshoot.h"

#include <Python.h>

namespace
{
/// The actor bound to the script object among the script world's actors (and its hero); None is
/// no actor.
TsActor* ActorOf(PyObject* object)
{
    return object == Py_None ? nullptr : TsFindActorOfScriptObject(object);
}

template <typename Weapon> Weapon* WeaponOf(PyObject* object, const char* refusal)
{
    auto* weapon = HbCastTo<Weapon>(ActorOf(object));
    if (!weapon)
        PyErr_SetString(PyExc_RuntimeError, refusal);
    return weapon;
}

PyObject* SetAmmoNumber(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    int total = 0;
    if (!PyArg_ParseTuple(args, "Oi:SetAmmoNumber", &object, &total))
        return nullptr;
    auto* weapon = WeaponOf<TsWeaponShoot>(object, "SetAmmoNumber : Weapon isn't a TsWeaponShoot");
    if (!weapon)
        return nullptr;
    weapon->SetAmmo(total);
    Py_RETURN_NONE;
}

PyObject* AddAmmo(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    int count = 0;
    if (!PyArg_ParseTuple(args, "Oi:AddAmmo", &object, &count))
        return nullptr;
    auto* weapon = WeaponOf<TsWeaponShoot>(object, "AddAmmo : Weapon isn't a TsWeaponShoot");
    if (!weapon)
        return nullptr;
    weapon->AddAmmo(count);
    Py_RETURN_NONE;
}

PyMethodDef gFunctions[] = {
    {"SetAmmoNumber", SetAmmoNumber, METH_VARARGS, nullptr},
    {"AddAmmo", AddAmmo, METH_VARARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};
} // namespace

PyMethodDef* TsWeaponScriptFunctions()
{
    return gFunctions;
}
