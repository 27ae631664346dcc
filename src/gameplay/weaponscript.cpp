// SetAmmoData: the ammunition and casing records of a firearm, per-second values turned into
// per-tick ones and seconds into ticks (all 64 bits kept).
#include "weaponscript.h"

#include "hbclock.h"
#include "scriptworldmanager.h"
#include "weaponshoot.h"

#include <Python.h>

#include <cmath>

namespace
{
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

/// An id argument: an integer, or None for -1. 0 with a type error otherwise.
int IdOf(PyObject* value, int32_t& out)
{
    if (value == Py_None)
    {
        out = -1;
        return 1;
    }
    if (!PyLong_Check(value))
    {
        PyErr_SetString(PyExc_TypeError, "SetAmmoData : an id must be an integer or None");
        return 0;
    }
    const long v = PyLong_AsLong(value);
    if (v == -1 && PyErr_Occurred())
        return 0;
    out = v < INT32_MIN || v > INT32_MAX ? -1 : int32_t(v);
    return 1;
}

/// Effect definitions are 0..59; anything else plays none.
int32_t EffectOf(int32_t id)
{
    return id < 0 || id >= TsWeaponShoot::kNoEffect ? -1 : id;
}

int SoundOf(PyObject* value)
{
    if (value == Py_None || PyUnicode_Check(value))
        return 1;
    PyErr_SetString(PyExc_TypeError, "SetAmmoData : a sound must be a ResourceId");
    return 0;
}

double TicksPerSecond()
{
    static const double ticks = double(HbPerformanceFrequency());
    return ticks;
}

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
    auto* weapon = HbCastTo<WeaponShoot>(ActorOf(object));
    if (!weapon)
    {
        PyErr_SetString(PyExc_TypeError, "SetAmmoData : Weapon isn't a WeaponShoot");
        return nullptr;
    }
    WeaponHitRecord& hit = weapon->mHit;
    WeaponCasingRecord& casing = weapon->mCasing;
    int32_t trailId, modelId, worldFx, actorFx, casingId;
    if (!IdOf(trail, trailId) || !IdOf(model, modelId) || !IdOf(worldEffect, worldFx) ||
        !IdOf(actorEffect, actorFx) || !IdOf(casingModel, casingId) || !SoundOf(worldSound) ||
        !SoundOf(actorSound) || !SoundOf(casingSound))
        return nullptr;
    hit.hitsWorld = hitsWorld;
    hit.launchSpeed = launch;
    hit.flightSpeed = flight;
    hit.damage = damage;
    hit.hitRadius = radius;
    weapon->mBaseHitRadius = radius;
    hit.hitRadiusGrowth = growth;
    hit.directHitOnly = directOnly;
    hit.impactNoise = noise;
    hit.hitEvent = hitEvent;
    hit.blastDamage = blastDamage;
    hit.blastRadius = blastRadius;
    hit.blastSpeed = blastSpeed;
    hit.blastFalloff = blastFalloff;
    casing.stored = stored;
    hit.trailEffect = EffectOf(trailId);
    hit.projectileModel = modelId;
    hit.worldImpactEffect = EffectOf(worldFx);
    hit.actorImpactEffect = EffectOf(actorFx);
    casing.model = casingId;
    hit.wideHit = 1;
    weapon->mAmmunition.mode = 1;

    const double ticks = TicksPerSecond();
    float e[3] = {};
    const bool tuple = PyTuple_Check(ejection) && PyTuple_Size(ejection) == 3;
    for (Py_ssize_t i = 0; tuple && i < 3; ++i)
    {
        PyObject* item = PyTuple_GetItem(ejection, i);
        if (!PyFloat_Check(item))
        {
            PyErr_SetString(PyExc_TypeError, "SetAmmoData : ejection vector coordinates are not float");
            return nullptr;
        }
        e[i] = float(PyFloat_AsDouble(item));
    }
    if (!tuple)
    {
        PyErr_SetString(PyExc_TypeError, "SetAmmoData : ejection vector coordinates are not float");
        return nullptr;
    }
    const double length = std::sqrt(double(e[0]) * e[0] + double(e[1]) * e[1] + double(e[2]) * e[2]);
    const double scale = length > 0.0 ? double(ejectSpeed) / ticks / length : 0.0;
    casing.ejection = {float(e[0] * scale), float(e[1] * scale), float(e[2] * scale)};

    hit.launchSpeed = float(launch / ticks);
    hit.flightSpeed = float(flight / ticks);
    hit.hitRadiusGrowth = float(growth / ticks);
    hit.blastSpeed = float(blastSpeed / ticks);
    hit.blastFalloff = float(blastFalloff / ticks);
    hit.lifetime = int64_t(double(lifetime) * ticks);
    casing.lifetime = int64_t(double(casingLifetime) * ticks);
    hit.owner = weapon;
    Py_RETURN_NONE;
}

PyMethodDef gFunctions[] = {
    {"SetAmmoData", SetAmmoData, METH_VARARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};
} // namespace

PyMethodDef* WeaponAmmoScriptFunctions()
{
    return gFunctions;
}
