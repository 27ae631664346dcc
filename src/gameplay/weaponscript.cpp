// The five functions of the scenario module that fill the weapon records. Each finds its weapon
// as the script world's actor bound to the first argument; a bad argument raises a type error
// with the function's text and the game goes on.
#include "weaponscript.h"

#include "hbclock.h"
#include "hbinputmanager.h"
#include "hbresource.h"
#include "heroweaponkeys.h"
#include "scriptvertex.h"
#include "scriptworldmanager.h"
#include "tsactorlayer.h"
#include "weaponshoot.h"

#include <Python.h>

#include <cmath>

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
        PyErr_SetString(PyExc_TypeError, refusal);
    return weapon;
}

/// An id argument: an integer, or None for -1. 0 with a type error otherwise.
int IdOf(PyObject* value, int32_t& out, const char* error)
{
    if (value == Py_None)
    {
        out = -1;
        return 1;
    }
    if (!PyLong_Check(value))
    {
        PyErr_SetString(PyExc_TypeError, error);
        return 0;
    }
    int overflow = 0;
    const long long v = PyLong_AsLongLongAndOverflow(value, &overflow);
    out = overflow || v < INT32_MIN || v > INT32_MAX ? -1 : int32_t(v);
    return 1;
}

/// Effect definitions are 0..59; anything else plays none.
int32_t EffectOf(int32_t id)
{
    return id < 0 || id >= TsWeaponShoot::kNoEffect ? -1 : id;
}

/// A sound argument: a resource name (an empty one gives none) or None. 0 with a type error
/// otherwise.
int SoundOf(PyObject* value, HbRoot*& out, const char* error)
{
    out = nullptr;
    if (value == Py_None)
        return 1;
    const char* name = PyUnicode_Check(value) ? PyUnicode_AsUTF8(value) : nullptr;
    if (!name)
    {
        PyErr_Clear();
        PyErr_SetString(PyExc_TypeError, error);
        return 0;
    }
    HbResourceManager* manager = HbResourceManager::Instance();
    out = manager && name[0] ? manager->GetResource(name) : nullptr;
    return 1;
}

/// Seconds to ticks, truncated: NaN and negative give 0, and a huge value stays in range.
int64_t SecondsToTicks(float seconds, double ticksPerSecond)
{
    const double ticks = double(seconds) * ticksPerSecond;
    if (!(ticks > 0.0))
        return 0;
    return ticks >= 9.0e18 ? int64_t(9.0e18) : int64_t(ticks);
}

// ---- SetWeaponAnimations ------------------------------------------------------------------------

PyObject* SetWeaponAnimations(PyObject*, PyObject* args)
{
    PyObject *object = nullptr, *list = nullptr;
    int kind = 0;
    if (!PyArg_ParseTuple(args, "OiO:SetWeaponAnimations", &object, &kind, &list))
        return nullptr;
    auto* weapon = WeaponOf<TsWeapon>(object, "SetWeaponAnimations : Weapon isn't a TsWeapon");
    if (!weapon)
        return nullptr;
    if (!PyTuple_Check(list) && !PyList_Check(list))
    {
        PyErr_SetString(PyExc_TypeError, "SetWeaponAnimations : the animations must be a tuple");
        return nullptr;
    }
    // A list may change while the floats are read: hold a fixed copy.
    PyObject* sequence = PySequence_Fast(list, "SetWeaponAnimations : the animations must be a tuple");
    if (!sequence)
        return nullptr;
    PyObject* result = Py_None;
    for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(sequence); ++i)
    {
        PyObject* entry = PySequence_Fast_GET_ITEM(sequence, i);
        const Py_ssize_t size = PyTuple_Check(entry) ? PyTuple_GET_SIZE(entry) : 0;
        if (size < 3)
        {
            PyErr_SetString(PyExc_TypeError,
                            "SetWeaponAnimations : an animation must be a tuple (state, start, event)");
            result = nullptr;
            break;
        }
        // The elements are read as they come: an integer state and real fractions.
        const long state = PyLong_AsLong(PyTuple_GET_ITEM(entry, 0));
        const double start = PyErr_Occurred() ? 0.0 : PyFloat_AsDouble(PyTuple_GET_ITEM(entry, 1));
        const double event = PyErr_Occurred() ? 0.0 : PyFloat_AsDouble(PyTuple_GET_ITEM(entry, 2));
        const double parameter = size > 3 && !PyErr_Occurred() ? PyFloat_AsDouble(PyTuple_GET_ITEM(entry, 3)) : 1.0;
        if (PyErr_Occurred())
        {
            result = nullptr;
            break;
        }
        // One record per animation state: any other state would write outside the table.
        TsWeaponAnimation* record =
            state >= 0 && state < TsWeapon::kAnimationCount ? weapon->GetAnimation(int32_t(state)) : nullptr;
        if (!record)
        {
            PyErr_Format(PyExc_TypeError, "SetWeaponAnimations : Invalid animation state %ld", state);
            result = nullptr;
            break;
        }
        record->SetAnimation(kind, int32_t(state));
        record->SetStartFraction(float(start));
        record->SetEventFraction(float(event));
        if (size > 3)
            record->SetParameter(float(parameter));
        if (size > 4 && ScriptIsVertex(PyTuple_GET_ITEM(entry, 4)))
        {
            const auto* vertex = reinterpret_cast<const ScriptVertex*>(PyTuple_GET_ITEM(entry, 4));
            const Vector offset = {vertex->x, vertex->y, vertex->z};
            record->SetOffset(&offset);
        }
    }
    Py_DECREF(sequence);
    if (!result)
        return nullptr;
    Py_RETURN_NONE;
}

// ---- SetWeaponData ------------------------------------------------------------------------------

PyObject* SetWeaponData(PyObject*, PyObject* args)
{
    PyObject *object = nullptr, *name = nullptr, *key = nullptr;
    int holdMode = 0, aimAssist = 0, reserved = 0;
    if (!PyArg_ParseTuple(args, "OOOiii:SetWeaponData", &object, &name, &key, &holdMode, &aimAssist, &reserved))
        return nullptr;
    // The weapon is tested before anything changes, the hero's keys included.
    auto* weapon = WeaponOf<TsWeapon>(object, "SetWeaponData : Weapon isn't a TsWeapon");
    if (!weapon)
        return nullptr;
    if (key != Py_None)
    {
        if (!PyLong_Check(key))
        {
            PyErr_SetString(PyExc_TypeError, "SetWeaponData : Weapon key isn't an integer or None");
            return nullptr;
        }
        const long index = PyLong_AsLong(key);
        if (PyErr_Occurred() || index < 0 || index >= HeroWeaponKeys::kCount)
        {
            PyErr_Clear();
            PyErr_SetString(PyExc_TypeError, "SetWeaponData : Weapon key isn't in 0..7");
            return nullptr;
        }
        const char* text = PyUnicode_Check(name) ? PyUnicode_AsUTF8(name) : nullptr;
        if (!text)
        {
            PyErr_Clear();
            PyErr_SetString(PyExc_TypeError, "SetWeaponData : Weapon name isn't a string");
            return nullptr;
        }
        // With a pad the keys are not used: the binding stays as it is.
        HbInputManager* input = HbInputManager::Instance();
        ScriptWorldManager* world = ScriptWorldManager::Instance();
        HeroWeaponKeys* keys = HeroWeaponKeysOf(world ? world->GetHero() : nullptr);
        if (keys && input && !input->IsPadPresent())
            keys->SetSlotName(int32_t(index), text);
    }
    weapon->mWeaponData[0] = holdMode;
    weapon->mWeaponData[1] = aimAssist;
    weapon->mWeaponData[2] = reserved;
    // The holder copies the hold mode when it takes the weapon.
    weapon->mWeaponKind = holdMode;
    Py_RETURN_NONE;
}

// ---- SetWeaponShootData -------------------------------------------------------------------------

constexpr const char* kShootSoundError = "SetWeaponShootData : Weapon sound isn't a ResourceId";

/// Appends each name of the tuple to the weapon's sound list; stops at the first element that
/// is no name, keeping those appended.
int AppendSounds(TsWeaponShoot* weapon, int32_t list, PyObject* names)
{
    if (!PyTuple_Check(names) && !PyList_Check(names))
    {
        PyErr_SetString(PyExc_TypeError, kShootSoundError);
        return 0;
    }
    PyObject* sequence = PySequence_Fast(names, kShootSoundError);
    if (!sequence)
        return 0;
    int done = 1;
    for (Py_ssize_t i = 0; done && i < PySequence_Fast_GET_SIZE(sequence); ++i)
    {
        PyObject* item = PySequence_Fast_GET_ITEM(sequence, i);
        const char* name = PyUnicode_Check(item) ? PyUnicode_AsUTF8(item) : nullptr;
        if (!name)
        {
            PyErr_Clear();
            PyErr_SetString(PyExc_TypeError, kShootSoundError);
            done = 0;
            break;
        }
        weapon->AddSound(list, name[0] ? name : nullptr);
    }
    Py_DECREF(sequence);
    return done;
}

PyObject* SetWeaponShootData(PyObject*, PyObject* args)
{
    PyObject *object = nullptr, *shots = nullptr, *empties = nullptr, *reloads = nullptr, *dispersion = nullptr;
    int noise = 0, muzzle = 0, magazine = 0, tracer = 0, repeat = 0, valueA = 0, wall = 0, shootHold = 0, maxAmmo = 0,
        scope = 0;
    float zoom = 0.0f, aimFactor = 0.0f;
    if (!PyArg_ParseTuple(args, "OifOOOiOiiiiiifii:SetWeaponShootData", &object, &noise, &zoom, &shots, &empties,
                          &reloads, &muzzle, &dispersion, &magazine, &tracer, &repeat, &valueA, &wall, &shootHold,
                          &aimFactor, &maxAmmo, &scope))
        return nullptr;
    auto* weapon = WeaponOf<TsWeaponShoot>(object, "SetWeaponShootData : Weapon isn't a TsWeaponShoot");
    if (!weapon)
        return nullptr;
    if (!AppendSounds(weapon, TsWeapon::kShotSounds, shots) || !AppendSounds(weapon, TsWeapon::kEmptySounds, empties) ||
        !AppendSounds(weapon, TsWeapon::kReloadSounds, reloads))
        return nullptr;
    if (!PyTuple_Check(dispersion) || PyTuple_GET_SIZE(dispersion) != 2 ||
        !PyFloat_Check(PyTuple_GET_ITEM(dispersion, 0)) || !PyFloat_Check(PyTuple_GET_ITEM(dispersion, 1)))
    {
        PyErr_SetString(PyExc_TypeError, kShootSoundError);
        return nullptr;
    }
    const auto minimum = float(PyFloat_AS_DOUBLE(PyTuple_GET_ITEM(dispersion, 0)));
    const auto maximum = float(PyFloat_AS_DOUBLE(PyTuple_GET_ITEM(dispersion, 1)));
    const int32_t shootData[3] = {valueA, wall, shootHold};
    weapon->LoadData(noise, zoom, muzzle, minimum, maximum, magazine, tracer, repeat, shootData, aimFactor, maxAmmo,
                     scope);
    Py_RETURN_NONE;
}

// ---- SetWeaponContactData -----------------------------------------------------------------------

PyObject* SetWeaponContactData(PyObject*, PyObject* args)
{
    PyObject *object = nullptr, *trail = nullptr, *worldSound = nullptr, *actorSound = nullptr, *worldEffect = nullptr,
             *actorEffect = nullptr;
    float launch = 0, flight = 0, radius = 0, growth = 0, lifetime = 0, blastDamage = 0, blastRadius = 0,
          blastSpeed = 0, blastFalloff = 0;
    int damage = 0, directOnly = 0, noise = 0, hitEvent = 0, hitsWorld = 0;
    if (!PyArg_ParseTuple(args, "OOffifffiOOiOOiffffi:SetWeaponContactData", &object, &trail, &launch, &flight, &damage,
                          &radius, &growth, &lifetime, &directOnly, &worldSound, &actorSound, &noise, &worldEffect,
                          &actorEffect, &hitEvent, &blastDamage, &blastRadius, &blastSpeed, &blastFalloff, &hitsWorld))
        return nullptr;
    auto* weapon = WeaponOf<TsWeaponContact>(object, "SetWeaponContactData : Weapon isn't a TsWeaponContact");
    if (!weapon)
        return nullptr;
    constexpr const char* kIdError = "SetWeaponContactData : an id must be an integer or None";
    constexpr const char* kSoundError = "SetWeaponContactData : Weapon sound isn't a ResourceId";
    int32_t trailId = -1, worldFx = -1, actorFx = -1;
    HbRoot *worldHit = nullptr, *actorHit = nullptr;
    if (!IdOf(trail, trailId, kIdError) || !IdOf(worldEffect, worldFx, kIdError) ||
        !IdOf(actorEffect, actorFx, kIdError) || !SoundOf(worldSound, worldHit, kSoundError) ||
        !SoundOf(actorSound, actorHit, kSoundError))
        return nullptr;
    TsWeaponContactData& hit = weapon->mContact;
    hit.launchSpeed = launch;
    hit.flightSpeed = flight;
    hit.hitRadius = radius;
    hit.hitRadiusGrowth = growth;
    hit.wideHit = 1;
    hit.trailEffect = EffectOf(trailId);
    hit.damage = damage;
    hit.lifetime = SecondsToTicks(lifetime, double(HbPerformanceFrequency()));
    hit.projectileModel = -1;
    hit.hitsWorld = hitsWorld;
    hit.owner = weapon;
    hit.directHitOnly = directOnly;
    hit.SetImpactSounds(worldHit, actorHit);
    hit.impactNoise = noise;
    hit.worldImpactEffect = EffectOf(worldFx);
    hit.actorImpactEffect = EffectOf(actorFx);
    hit.hitEvent = hitEvent;
    hit.blastDamage = blastDamage;
    hit.blastRadius = blastRadius;
    hit.blastSpeed = blastSpeed;
    hit.blastFalloff = blastFalloff;
    Py_RETURN_NONE;
}

// ---- SetAmmoData --------------------------------------------------------------------------------

PyObject* SetAmmoData(PyObject*, PyObject* args)
{
    PyObject *object, *trail, *model, *worldSound, *actorSound, *worldEffect, *actorEffect, *casingModel, *casingSound,
        *ejection;
    int hitsWorld, damage, directOnly, noise, hitEvent;
    float launch, flight, radius, growth, lifetime, blastDamage, blastRadius, blastSpeed, blastFalloff, ejectSpeed,
        stored, casingLifetime;
    if (!PyArg_ParseTuple(args, "OiOffifffOiOOiOOiffffOOOfff:SetAmmoData", &object, &hitsWorld, &trail, &launch,
                          &flight, &damage, &radius, &growth, &lifetime, &model, &directOnly, &worldSound, &actorSound,
                          &noise, &worldEffect, &actorEffect, &hitEvent, &blastDamage, &blastRadius, &blastSpeed,
                          &blastFalloff, &casingModel, &casingSound, &ejection, &ejectSpeed, &stored, &casingLifetime))
        return nullptr;
    auto* weapon = WeaponOf<WeaponShoot>(object, "SetAmmoData : Weapon isn't a WeaponShoot");
    if (!weapon)
        return nullptr;
    constexpr const char* kIdError = "SetAmmoData : an id must be an integer or None";
    constexpr const char* kSoundError = "SetAmmoData : a sound must be a ResourceId";
    WeaponHitRecord& hit = weapon->mHit;
    WeaponCasingRecord& casing = weapon->mCasing;
    int32_t trailId, modelId, worldFx, actorFx, casingId;
    HbRoot *worldHit = nullptr, *actorHit = nullptr, *casingHit = nullptr;
    if (!IdOf(trail, trailId, kIdError) || !IdOf(model, modelId, kIdError) || !IdOf(worldEffect, worldFx, kIdError) ||
        !IdOf(actorEffect, actorFx, kIdError) || !IdOf(casingModel, casingId, kIdError) ||
        !SoundOf(worldSound, worldHit, kSoundError) || !SoundOf(actorSound, actorHit, kSoundError) ||
        !SoundOf(casingSound, casingHit, kSoundError))
        return nullptr;
    // One row of casing models and one of projectile models: kind 0 or none.
    if (modelId < -1 || modelId > 0 || casingId < -1 || casingId > 0)
    {
        PyErr_SetString(PyExc_ValueError, "SetAmmoData : a model id names no ammunition row");
        return nullptr;
    }
    hit.hitsWorld = hitsWorld;
    hit.damage = damage;
    hit.hitRadius = radius;
    weapon->mBaseHitRadius = radius;
    hit.directHitOnly = directOnly;
    hit.impactNoise = noise;
    hit.hitEvent = hitEvent;
    hit.blastDamage = blastDamage;
    hit.blastRadius = blastRadius;
    casing.stored = stored;
    hit.trailEffect = EffectOf(trailId);
    hit.projectileModel = modelId;
    hit.worldImpactEffect = EffectOf(worldFx);
    hit.actorImpactEffect = EffectOf(actorFx);
    casing.model = casingId;
    hit.SetImpactSounds(worldHit, actorHit);
    casing.SetSound(casingHit);
    hit.wideHit = 1;
    weapon->mAmmunition.mode = 1;

    // The ejection vector: a tuple of three floats. A bad one keeps the old velocity; every
    // other field is still stored, per tick, before the error is raised.
    float e[3] = {};
    bool ejectionValid = PyTuple_Check(ejection) && PyTuple_GET_SIZE(ejection) >= 3;
    for (Py_ssize_t i = 0; ejectionValid && i < 3; ++i)
    {
        PyObject* item = PyTuple_GET_ITEM(ejection, i);
        ejectionValid = PyFloat_Check(item);
        if (ejectionValid)
            e[i] = float(PyFloat_AS_DOUBLE(item));
    }
    const double ticks = double(HbPerformanceFrequency());
    if (ejectionValid)
    {
        const double length = std::sqrt(double(e[0]) * e[0] + double(e[1]) * e[1] + double(e[2]) * e[2]);
        const double scale = length > 0.0 ? double(ejectSpeed) / ticks / length : 0.0;
        casing.ejection = {float(e[0] * scale), float(e[1] * scale), float(e[2] * scale)};
    }
    hit.launchSpeed = float(launch / ticks);
    hit.flightSpeed = float(flight / ticks);
    hit.hitRadiusGrowth = float(growth / ticks);
    hit.blastSpeed = float(blastSpeed / ticks);
    // Damage lost per unit of blast radius (in hundredths): a distance rate, not a time rate.
    hit.blastFalloff = blastFalloff;
    // All 64 bits: a lifetime of a few seconds passes 2^32 ticks on a fast counter.
    hit.lifetime = SecondsToTicks(lifetime, ticks);
    casing.lifetime = SecondsToTicks(casingLifetime, ticks);
    hit.owner = weapon;
    if (!ejectionValid)
    {
        PyErr_SetString(PyExc_TypeError, "SetAmmoData : ejection vector coordinates are not float");
        return nullptr;
    }
    Py_RETURN_NONE;
}

PyMethodDef gFunctions[] = {
    {"SetWeaponAnimations", SetWeaponAnimations, METH_VARARGS, nullptr},
    {"SetWeaponData", SetWeaponData, METH_VARARGS, nullptr},
    {"SetWeaponShootData", SetWeaponShootData, METH_VARARGS, nullptr},
    {"SetWeaponContactData", SetWeaponContactData, METH_VARARGS, nullptr},
    {"SetAmmoData", SetAmmoData, METH_VARARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};
} // namespace

PyMethodDef* WeaponScriptFunctions()
{
    return gFunctions;
}
