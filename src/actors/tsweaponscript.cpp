// The weapon functions of the scenario module.
#include "tsweaponscript.h"

#include "hbclock.h"
#include "hbresource.h"
#include "scriptvertex.h"
#include "scriptworldmanager.h"
#include "tsweaponshoot.h"

#include <Python.h>

namespace
{
/// The actor bound to the script object among the script world's actors (and its hero).
TsActor* ActorOf(PyObject* object)
{
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    if (!world || !object || object == Py_None)
        return nullptr;
    if (TsActor* hero = world->GetHero(); hero && hero->GetScriptObject() == object)
        return hero;
    for (HbPtrListNode* node = world->GetActors().GetHead(); node; node = node->next)
    {
        auto* actor = static_cast<TsActor*>(node->value);
        if (actor->GetScriptObject() == object)
            return actor;
    }
    return nullptr;
}

template <typename Weapon> Weapon* WeaponOf(PyObject* object, const char* refusal)
{
    auto* weapon = HbCastTo<Weapon>(ActorOf(object));
    if (!weapon)
        PyErr_SetString(PyExc_RuntimeError, refusal);
    return weapon;
}

PyObject* SetWeaponAnimations(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    PyObject* list = nullptr;
    int kind = 0;
    if (!PyArg_ParseTuple(args, "OiO:SetWeaponAnimations", &object, &kind, &list))
        return nullptr;
    auto* weapon = WeaponOf<TsWeapon>(object, "SetWeaponAnimations : Weapon isn't a TsWeapon");
    if (!weapon)
        return nullptr;
    PyObject* sequence = PySequence_Fast(list, "SetWeaponAnimations : the animations must be a list");
    if (!sequence)
        return nullptr;
    const Py_ssize_t count = PySequence_Fast_GET_SIZE(sequence);
    for (Py_ssize_t i = 0; i < count; ++i)
    {
        PyObject* tuple = PySequence_Fast_GET_ITEM(sequence, i);
        int state = 0;
        float start = 0.0f, event = 0.0f, parameter = 1.0f;
        PyObject* offset = nullptr;
        if (!PyTuple_Check(tuple) ||
            !PyArg_ParseTuple(tuple, "iff|fO:SetWeaponAnimations", &state, &start, &event, &parameter, &offset))
        {
            if (!PyErr_Occurred())
                PyErr_SetString(PyExc_TypeError, "SetWeaponAnimations : an animation must be a tuple");
            Py_DECREF(sequence);
            return nullptr;
        }
        // The table holds one record per animation state; any other state is refused whole.
        TsWeaponAnimation* record = weapon->GetAnimation(state);
        if (!record)
        {
            PyErr_Format(PyExc_RuntimeError, "SetWeaponAnimations : Invalid animation state %d", state);
            Py_DECREF(sequence);
            return nullptr;
        }
        record->SetAnimation(kind, state);
        record->SetStartFraction(start);
        record->SetEventFraction(event);
        if (PyTuple_GET_SIZE(tuple) > 3)
            record->SetParameter(parameter);
        if (PyTuple_GET_SIZE(tuple) > 4 && ScriptIsVertex(offset))
        {
            const auto* vertex = reinterpret_cast<const ScriptVertex*>(offset);
            const Vector value = {vertex->x, vertex->y, vertex->z};
            record->SetOffset(&value);
        }
    }
    Py_DECREF(sequence);
    Py_RETURN_NONE;
}

PyObject* SetWeaponData(PyObject*, PyObject* args)
{
    PyObject *object = nullptr, *second = nullptr, *third = nullptr;
    int a = 0, b = 0, c = 0;
    if (!PyArg_ParseTuple(args, "OOOiii:SetWeaponData", &object, &second, &third, &a, &b, &c))
        return nullptr;
    auto* weapon = WeaponOf<TsWeapon>(object, "SetWeaponData : Weapon isn't a TsWeapon");
    if (!weapon)
        return nullptr;
    weapon->mWeaponData[0] = a;
    weapon->mWeaponData[1] = b;
    weapon->mWeaponData[2] = c;
    Py_RETURN_NONE;
}

/// An optional integer: None gives -1. False with the error set for anything else.
bool OptionalInt(PyObject* object, int32_t* out)
{
    if (!object || object == Py_None)
    {
        *out = -1;
        return true;
    }
    const long value = PyLong_AsLong(object);
    if (value == -1 && PyErr_Occurred())
        return false;
    if (value < INT32_MIN || value > INT32_MAX)
    {
        PyErr_SetString(PyExc_OverflowError, "SetWeaponContactData : integer out of range");
        return false;
    }
    *out = int32_t(value);
    return true;
}

/// The resource a name gives (None: none). False with the error set for a non-string.
bool ResourceByName(PyObject* object, HbRoot** out)
{
    *out = nullptr;
    if (!object || object == Py_None)
        return true;
    const char* name = PyUnicode_AsUTF8(object);
    if (!name)
        return false;
    HbResourceManager* manager = HbResourceManager::Instance();
    *out = manager ? manager->GetResource(name) : nullptr;
    return true;
}

PyObject* SetWeaponContactData(PyObject*, PyObject* args)
{
    PyObject *object = nullptr, *optional = nullptr, *first = nullptr, *second = nullptr, *thirteenth = nullptr,
             *fourteenth = nullptr;
    float a = 0, b = 0, c = 0, d = 0, seconds = 0, t0 = 0, t1 = 0, t2 = 0, t3 = 0;
    int damage = 0, ninth = 0, twelfth = 0, fifteenth = 0, last = 0;
    if (!PyArg_ParseTuple(args, "OOffifffiOOiOOiffffi:SetWeaponContactData", &object, &optional, &a, &b, &damage, &c,
                          &d, &seconds, &ninth, &first, &second, &twelfth, &thirteenth, &fourteenth, &fifteenth, &t0,
                          &t1, &t2, &t3, &last))
        return nullptr;
    auto* weapon = WeaponOf<TsWeaponContact>(object, "SetWeaponContactData : Weapon isn't a TsWeaponContact");
    if (!weapon)
        return nullptr;
    TsWeaponContactData& data = weapon->mContact;
    int32_t optionals[3] = {};
    HbRoot* resources[2] = {};
    if (!OptionalInt(optional, &optionals[0]) || !OptionalInt(thirteenth, &optionals[1]) ||
        !OptionalInt(fourteenth, &optionals[2]) || !ResourceByName(first, &resources[0]) ||
        !ResourceByName(second, &resources[1]))
        return nullptr;
    data.reals[0] = a;
    data.reals[1] = b;
    data.reals[2] = c;
    data.reals[3] = d;
    data.set = 1;
    data.optional = optionals[0];
    data.damage = damage;
    // Clamped like every script duration: NaN and negative are 0, huge values stay finite.
    const double ticks = double(seconds) * double(HbPerformanceFrequency());
    data.duration = !(ticks > 0.0) ? 0 : ticks >= 4.0e18 ? int64_t(4.0e18) : int64_t(ticks);
    data.unset = -1;
    data.last = last;
    data.self = weapon;
    data.ninth = ninth;
    weapon->SetContactResources(resources[0], resources[1]);
    data.twelfth = twelfth;
    data.optionals[0] = optionals[1];
    data.optionals[1] = optionals[2];
    data.fifteenth = fifteenth;
    data.tail[0] = t0;
    data.tail[1] = t1;
    data.tail[2] = t2;
    data.tail[3] = t3;
    Py_RETURN_NONE;
}

/// Each name of a list (None: none) added to the weapon's sound list. False with the error set.
bool AddSoundNames(TsWeapon* weapon, int32_t list, PyObject* names)
{
    if (!names || names == Py_None)
        return true;
    PyObject* sequence = PySequence_Fast(names, "SetWeaponShootData : sound names must be a list");
    if (!sequence)
        return false;
    bool done = true;
    for (Py_ssize_t i = 0; done && i < PySequence_Fast_GET_SIZE(sequence); ++i)
    {
        const char* name = PyUnicode_AsUTF8(PySequence_Fast_GET_ITEM(sequence, i));
        done = name != nullptr && weapon->AddSound(list, name);
    }
    Py_DECREF(sequence);
    return done;
}

PyObject* SetWeaponShootData(PyObject*, PyObject* args)
{
    PyObject *object = nullptr, *shots = nullptr, *empties = nullptr, *reloads = nullptr, *spread = nullptr;
    int noise = 0, muzzle = 0, magazine = 0, tracer = 0, flag = 0, maxAmmo = 0, last = 0;
    int data[3] = {};
    float real3 = 0, real15 = 0;
    if (!PyArg_ParseTuple(args, "OifOOOiOiiiiiifii:SetWeaponShootData", &object, &noise, &real3, &shots, &empties,
                          &reloads, &muzzle, &spread, &magazine, &tracer, &flag, &data[0], &data[1], &data[2], &real15,
                          &maxAmmo, &last))
        return nullptr;
    auto* weapon = WeaponOf<TsWeaponShoot>(object, "SetWeaponShootData : Weapon isn't a TsWeaponShoot");
    if (!weapon)
        return nullptr;
    float minSpread = 0.0f, maxSpread = 0.0f;
    if (!PyTuple_Check(spread) || !PyArg_ParseTuple(spread, "ff:SetWeaponShootData", &minSpread, &maxSpread))
    {
        if (!PyErr_Occurred())
            PyErr_SetString(PyExc_TypeError, "SetWeaponShootData : the spread must be a tuple (min, max)");
        return nullptr;
    }
    if (!AddSoundNames(weapon, TsWeapon::kShotSounds, shots) ||
        !AddSoundNames(weapon, TsWeapon::kEmptySounds, empties) ||
        !AddSoundNames(weapon, TsWeapon::kReloadSounds, reloads))
        return nullptr;
    const int32_t shootData[3] = {data[0], data[1], data[2]};
    weapon->LoadData(noise, real3, muzzle, minSpread, maxSpread, magazine, tracer, flag, shootData, real15, maxAmmo,
                     last);
    Py_RETURN_NONE;
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
    {"SetWeaponShootData", SetWeaponShootData, METH_VARARGS, nullptr},
    {"SetAmmoNumber", SetAmmoNumber, METH_VARARGS, nullptr},
    {"AddAmmo", AddAmmo, METH_VARARGS, nullptr},
    {"SetWeaponContactData", SetWeaponContactData, METH_VARARGS, nullptr},
    {"SetWeaponAnimations", SetWeaponAnimations, METH_VARARGS, nullptr},
    {"SetWeaponData", SetWeaponData, METH_VARARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};
} // namespace

PyMethodDef* TsWeaponScriptFunctions()
{
    return gFunctions;
}
