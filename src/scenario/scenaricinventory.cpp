// The inventory functions of the module "scenaric": the hero's inventory and equipment, the
// sector and global logical inventories, and the ammunition and location of weapons.
#include "gameprofile.h"
#include "gamestate.h"
#include "gamestatemanager.h"
#include "logicalinventory.h"
#include "scenaricmodule.h"
#include "scenario_local.h"
#include "scriptworldmanager.h"
#include "tsactor.h"
#include "tsinventory.h"
#include "tsweapon.h"
#include "tsweaponshoot.h"
#include "weaponshoot.h"

namespace
{
ScenaricHeroAccess gHero = {};

GameState* CurrentState()
{
    GameStateManager* manager = GameStateManager::Existing();
    return manager ? manager->GetCurrentState() : nullptr;
}

/// The in-mission state, or null.
GameState* StageState()
{
    GameState* state = CurrentState();
    return state && state->GetId() == kGameStateStage ? state : nullptr;
}

TsActor* Hero()
{
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    return world ? world->GetHero() : nullptr;
}

/// The object's bound actor, or null for None (which names no physical actor); false with
/// the error set for an object bound to nothing.
bool PhysicalActor(PyObject* object, const char* function, TsActor** actor)
{
    *actor = nullptr;
    if (object == Py_None)
        return true;
    *actor = ScenaricActorArg(object, function);
    return *actor != nullptr;
}

/// A new item (count 0 until the list takes it) with the actor, the name and the texts.
TsInventoryItem* NewItem(TsActor* actor, const char* name, const char* first, const char* second)
{
    auto* item = new TsInventoryItem();
    if (!item)
        return nullptr;
    item->AddRef();
    item->SetActor(actor);
    item->mName = name;
    item->mTexts[0] = first;
    item->mTexts[1] = second;
    return item;
}

PyObject* AddToInventory(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    const char* name = nullptr;
    const char* text = "";
    if (!PyArg_ParseTuple(args, "Oss:AddToInventory", &object, &name, &text))
    {
        PyErr_Clear();
        if (!PyArg_ParseTuple(args, "Os:AddToInventory", &object, &name))
            return nullptr;
    }
    TsActor* actor = nullptr;
    if (!PhysicalActor(object, "AddToInventory", &actor))
        return nullptr;
    TsActor* hero = Hero();
    TsInventory* inventory = hero && gHero.inventory ? gHero.inventory(hero) : nullptr;
    TsInventoryItem* item = inventory ? NewItem(actor, name, text, "") : nullptr;
    const int32_t added = item ? inventory->Add(item) : 0;
    if (item)
        item->Release();
    if (!added)
        return ScenaricFail("Item not added in Inventory");
    Py_RETURN_NONE;
}

PyObject* AddToEquipment(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    const char* name = nullptr;
    const char* first = "";
    const char* second = "";
    if (!PyArg_ParseTuple(args, "Osss:AddToEquipment", &object, &name, &first, &second))
    {
        PyErr_Clear();
        first = "";
        if (!PyArg_ParseTuple(args, "Oss:AddToEquipment", &object, &name, &second))
            return nullptr;
    }
    TsActor* actor = nullptr;
    if (!PhysicalActor(object, "AddToEquipment", &actor))
        return nullptr;
    TsActor* hero = Hero();
    TsInventory* equipment = hero && gHero.equipment ? gHero.equipment(hero) : nullptr;
    TsInventoryItem* item = equipment ? NewItem(actor, name, first, second) : nullptr;
    const int32_t added = item ? equipment->Add(item) : 0;
    if (item)
        item->Release();
    if (!added)
        return ScenaricFail("Item not added in equipment");
    if (auto* weapon = HbCastTo<TsWeapon>(actor))
    {
        if (auto* firearm = HbCastTo<WeaponShoot>(weapon))
            firearm->ApplyDifficulty();
        if (weapon->mWeaponData[0] == 2 && gHero.takeWeapon)
            gHero.takeWeapon(hero, weapon, name);
    }
    return PyLong_FromLong(1);
}

PyObject* GetEquipmentItem(PyObject*, PyObject* args)
{
    const char* name = nullptr;
    if (!PyArg_ParseTuple(args, "s:IsItemInEquipment", &name))
        return nullptr;
    TsActor* hero = Hero();
    TsInventory* equipment = hero && gHero.equipment ? gHero.equipment(hero) : nullptr;
    TsInventoryItem* item = equipment ? equipment->FindItem(name) : nullptr;
    TsActor* actor = item ? item->GetActor() : nullptr;
    if (!actor)
        Py_RETURN_NONE;
    PyObject* script = actor->GetScriptObject();
    if (!script)
        return ScenaricFail("Actor has no Python Actor !!");
    Py_INCREF(script);
    return script;
}

// ---- Logical inventories ---------------------------------------------------------------------------

constexpr const char* kNoSector = "IsItemInSectorLogicalInventory : The sector is not instanciate !\n";

/// The sector inventory of the in-mission state; null with the error set.
StringHashMap* SectorInventory()
{
    GameState* stage = StageState();
    StringHashMap* inventory = stage ? stage->GetSectorLogicalInventory() : nullptr;
    if (!inventory)
        ScenaricFail(kNoSector);
    return inventory;
}

PyObject* AddToSectorLogicalInventory(PyObject*, PyObject* args)
{
    const char* name = nullptr;
    if (!PyArg_ParseTuple(args, "s:AddToInventory", &name))
        return nullptr;
    StringHashMap* inventory = SectorInventory();
    if (!inventory)
        return nullptr;
    LogicalInventoryAdd(*inventory, name);
    Py_RETURN_NONE;
}

PyObject* RemoveFromSectorLogicalInventory(PyObject*, PyObject* args)
{
    const char* name = nullptr;
    if (!PyArg_ParseTuple(args, "s:RemoveFromSectorLogicalInventory", &name))
        return nullptr;
    StringHashMap* inventory = SectorInventory();
    if (!inventory)
        return nullptr;
    LogicalInventoryRemove(*inventory, name);
    Py_RETURN_NONE;
}

PyObject* IsItemInSectorLogicalInventory(PyObject*, PyObject* args)
{
    const char* name = nullptr;
    if (!PyArg_ParseTuple(args, "s:IsItemInSectorLogicalInventory", &name))
        return nullptr;
    StringHashMap* inventory = SectorInventory();
    if (!inventory)
        return nullptr;
    return PyLong_FromLong(LogicalInventoryCount(*inventory, name) > 0 ? 1 : 0);
}

/// The in-mission state's profile (null: none) through *profile; false with the error set
/// outside the in-mission state.
bool GlobalInventoryOf(const char* error, GameProfile** profile)
{
    GameState* stage = StageState();
    *profile = stage ? stage->GetProfile() : nullptr;
    if (!stage)
        ScenaricFail(error);
    return stage != nullptr;
}

PyObject* AddToGlobalLogicalInventory(PyObject*, PyObject* args)
{
    const char* name = nullptr;
    if (!PyArg_ParseTuple(args, "s:AddToInventory", &name))
        return nullptr;
    GameProfile* profile = nullptr;
    if (!GlobalInventoryOf("AddToGlobalLogicalInventory : The Global is not instanciate !\n", &profile))
        return nullptr;
    if (profile)
        LogicalInventoryAdd(profile->globalInventory, name);
    Py_RETURN_NONE;
}

PyObject* RemoveFromGlobalLogicalInventory(PyObject*, PyObject* args)
{
    const char* name = nullptr;
    if (!PyArg_ParseTuple(args, "s:RemoveFromGlobalLogicalInventory", &name))
        return nullptr;
    GameProfile* profile = nullptr;
    if (!GlobalInventoryOf("RemoveFromGlobalLogicalInventory : The Global is not instanciate !\n", &profile))
        return nullptr;
    if (profile)
        LogicalInventoryRemove(profile->globalInventory, name);
    Py_RETURN_NONE;
}

PyObject* IsItemInGlobalLogicalInventory(PyObject*, PyObject* args)
{
    const char* name = nullptr;
    if (!PyArg_ParseTuple(args, "s:IsItemInGlobalLogicalInventory", &name))
        return nullptr;
    GameProfile* profile = nullptr;
    if (!GlobalInventoryOf("IsItemInGlobalLogicalInventory : The Global is not instanciate !\n", &profile))
        return nullptr;
    return PyLong_FromLong(!profile || LogicalInventoryCount(profile->globalInventory, name) > 0 ? 1 : 0);
}

// ---- Weapons ------------------------------------------------------------------------------------------

/// The firearm bound to the object: null for any other actor; fails set, with the error,
/// when the object is bound to no actor.
TsWeaponShoot* Firearm(PyObject* object, bool* fails)
{
    TsActor* actor = ScenaricActorArg(object, "SetAmmoNumber");
    *fails = actor == nullptr;
    return actor ? HbCastTo<TsWeaponShoot>(actor) : nullptr;
}

int32_t UnlimitedAmmo()
{
    GameState* state = CurrentState();
    GameProfile* profile = state ? state->GetProfile() : nullptr;
    if (!profile)
    {
        GameStateManager* manager = GameStateManager::Existing();
        profile = manager ? manager->GetProfile() : nullptr;
    }
    return profile ? profile->unlimitedAmmo : 0;
}

PyObject* SetAmmoNumber(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    int count = 0;
    if (!PyArg_ParseTuple(args, "Oi:SetAmmoNumber", &object, &count))
        return nullptr;
    bool fails = false;
    TsWeaponShoot* weapon = Firearm(object, &fails);
    if (fails)
        return nullptr;
    if (weapon)
        weapon->SetAmmo(UnlimitedAmmo() ? -1 : count);
    Py_RETURN_NONE;
}

PyObject* AddAmmo(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    int count = 0;
    if (!PyArg_ParseTuple(args, "Oi:SetAmmoNumber", &object, &count))
        return nullptr;
    bool fails = false;
    TsWeaponShoot* weapon = Firearm(object, &fails);
    if (fails)
        return nullptr;
    if (weapon && weapon->mStock != -1 && weapon->mMagazine != -1)
        weapon->AddAmmo(count);
    Py_RETURN_NONE;
}

PyObject* SetWeaponLocation(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    float x = 0.0f, y = 0.0f, z = 0.0f;
    if (!PyArg_ParseTuple(args, "Offf:SetWeaponLocation", &object, &x, &y, &z))
        return nullptr;
    TsActor* actor = ScenaricActorArg(object, "SetWeaponLocation");
    if (!actor)
        return nullptr;
    auto* weapon = HbCastTo<TsWeapon>(actor);
    if (!weapon)
        return ScenaricFail("SetWeaponLocation : Actor is not a TsWeapon");
    weapon->mLocation = {x, y, z};
    Py_RETURN_NONE;
}

PyMethodDef gMethods[] = {
    {"AddToInventory", AddToInventory, METH_VARARGS, ""},
    {"AddToEquipment", AddToEquipment, METH_VARARGS, ""},
    {"GetEquipmentItem", GetEquipmentItem, METH_VARARGS, ""},
    {"AddToSectorLogicalInventory", AddToSectorLogicalInventory, METH_VARARGS, ""},
    {"RemoveFromSectorLogicalInventory", RemoveFromSectorLogicalInventory, METH_VARARGS, ""},
    {"IsItemInSectorLogicalInventory", IsItemInSectorLogicalInventory, METH_VARARGS, ""},
    {"AddToGlobalLogicalInventory", AddToGlobalLogicalInventory, METH_VARARGS, ""},
    {"RemoveFromGlobalLogicalInventory", RemoveFromGlobalLogicalInventory, METH_VARARGS, ""},
    {"IsItemInGlobalLogicalInventory", IsItemInGlobalLogicalInventory, METH_VARARGS, ""},
    {"SetAmmoNumber", SetAmmoNumber, METH_VARARGS, ""},
    {"AddAmmo", AddAmmo, METH_VARARGS, ""},
    {"SetWeaponLocation", SetWeaponLocation, METH_VARARGS, ""},
    {nullptr, nullptr, 0, nullptr},
};
} // namespace

PyMethodDef* ScenaricInventoryMethods()
{
    return gMethods;
}

void ScenaricSetHeroAccess(const ScenaricHeroAccess& access)
{
    gHero = access;
}

const ScenaricHeroAccess& ScenaricGetHeroAccess()
{
    return gHero;
}
