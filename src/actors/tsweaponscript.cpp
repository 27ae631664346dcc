// The weapon functions of the scenario module.
#include "tsweaponscript.h"

#include "scriptvertex.h"
#include "scriptworldmanager.h"
#include "tsweapon.h"

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

PyMethodDef gFunctions[] = {
    {"SetWeaponAnimations", SetWeaponAnimations, METH_VARARGS, nullptr},
    {"SetWeaponData", SetWeaponData, METH_VARARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};
} // namespace

PyMethodDef* TsWeaponScriptFunctions()
{
    return gFunctions;
}
