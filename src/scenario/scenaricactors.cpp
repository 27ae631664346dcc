// The actor functions of the module "scenaric": creating, listing and deleting actors, the
// hero, models, visibility and collision switches, shooting frames, animations and the object
// in hand; and the family and hit-point functions.
#include "frame.h"
#include "gameprofile.h"
#include "gamestate.h"
#include "gamestatemanager.h"
#include "mobiledof.h"
#include "scenario_local.h"
#include "scenaricmodule.h"
#include "scriptworldmanager.h"
#include "tsactor.h"
#include "tsactortyperegistry.h"
#include "tsanimactor.h"
#include "tsheroactor.h"
#include "w3danimobject.h"
#include "w3dframe.h"
#include "weaponshoot.h"

#include <cmath>

namespace
{
ScriptWorldManager* World()
{
    return ScriptWorldManager::Instance();
}

// ---- Creation and the script world's list ------------------------------------------------------

PyObject* CreateActor(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    int type = 0;
    if (!PyArg_ParseTuple(args, "Oi:CreateActor", &object, &type))
        return nullptr;
    TsActorTypeRegistry* types = TsActorTypeRegistry::Instance();
    TsActor* actor = types ? types->Create(type) : nullptr;
    if (!actor)
        return ScenaricFail("Actor creation failed");
    ScriptWorldManager* world = World();
    if (world && HbCastTo<TsHeroActor>(actor))
        world->SetHero(actor);
    actor->BindScriptObject(object);
    if (world)
        world->AddActor(actor);
    ScenaricBindActor(object, actor);
    // The script world's list (and the hero slot) hold the actor from here on.
    actor->Release();
    Py_RETURN_NONE;
}

PyObject* DeleteActor(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    if (!PyArg_ParseTuple(args, "O:DeleteActor", &object))
        return nullptr;
    TsActor* actor = ScenaricActorArg(object, "DeleteActor");
    if (!actor)
        return nullptr;
    if (World())
        World()->RemoveActor(actor);
    Py_RETURN_NONE;
}

PyObject* AddActorToGreen(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    if (!PyArg_ParseTuple(args, "O:AddActorToGreen", &object))
        return nullptr;
    TsActor* actor = ScenaricActorArg(object, "AddActorToGreen");
    if (!actor)
        return nullptr;
    if (World())
        World()->AddActor(actor);
    Py_RETURN_NONE;
}

PyObject* IsActorMustBeUpdated(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    if (!PyArg_ParseTuple(args, "O:IsActorMustBeUpdated", &object))
        return nullptr;
    TsActor* actor = ScenaricActorArg(object, "IsActorMustBeUpdated");
    return actor ? PyLong_FromLong(actor->mMustBeUpdated) : nullptr;
}

PyObject* GetHeroPyActor(PyObject*, PyObject*)
{
    TsActor* hero = World() ? World()->GetHero() : nullptr;
    PyObject* script = hero ? hero->GetScriptObject() : nullptr;
    if (!script)
        Py_RETURN_NONE;
    Py_INCREF(script);
    return script;
}

PyObject* IsCurrentHeroJohn(PyObject*, PyObject*)
{
    GameStateManager* manager = GameStateManager::Existing();
    GameState* state = manager ? manager->GetCurrentState() : nullptr;
    GameProfile* profile = state ? state->GetProfile() : nullptr;
    return PyLong_FromLong(profile && profile->heroGroup == GameProfile::kMainHeroGroup ? 1 : 0);
}

// ---- Models --------------------------------------------------------------------------------------------

/// Takes the node out of the level's root, loads the model, hangs the new node under the root
/// and gives it the old node's place and facing.
PyObject* ReplaceModel(TsActor* actor, int32_t (*load)(TsActor*, const char*, const char*), const char* id,
                       const char* parameters)
{
    W3dFrame* root = ScenaricLevelRoot();
    W3dNode* old = actor->GetNode();
    Vector position = {};
    Vector at = {};
    if (old)
    {
        position = *old->GetWorldPosition();
        at = *old->GetWorldAt();
        // The actor keeps its own reference on the node it leaves.
        if (root && old->GetParent() == root)
            root->RemoveChild(old);
    }
    const int32_t loaded = load(actor, id, parameters);
    W3dNode* node = actor->GetNode();
    if (node && root && node->GetParent() != root && node != root)
        root->AttachChild(node);
    if (!loaded)
        return ScenaricFail("Resource not defined");
    if (old && node)
    {
        node->LookAlong(&at);
        node->SetWorldPosition(&position);
    }
    Py_RETURN_NONE;
}

PyObject* SetModel(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    const char* id = nullptr;
    if (!PyArg_ParseTuple(args, "Os:SetModel", &object, &id))
        return nullptr;
    TsActor* actor = ScenaricActorArg(object, "SetModel");
    if (!actor)
        return nullptr;
    return ReplaceModel(
        actor, [](TsActor* a, const char* model, const char*) { return a->LoadModel(model); }, id, nullptr);
}

PyObject* SetModelAndParameters(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    const char* id = nullptr;
    const char* parameters = nullptr;
    if (!PyArg_ParseTuple(args, "Oss:SetModelAndParameters", &object, &id, &parameters))
        return nullptr;
    TsActor* actor = ScenaricActorArg(object, "SetModelAndParameters");
    if (!actor)
        return nullptr;
    // Only the mobile degree-of-freedom actors load a model with parameters; another actor
    // is left as it is.
    if (!HbCastTo<MobileDof>(actor))
        return ScenaricFail("Resource not defined");
    return ReplaceModel(
        actor,
        [](TsActor* a, const char* model, const char* loader)
        { return static_cast<MobileDof*>(a)->Setup(loader, model); },
        id, parameters);
}

// ---- Visibility and collision switches --------------------------------------------------------------

PyObject* SetActorVisible(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    int visible = 0;
    if (!PyArg_ParseTuple(args, "Oi:SetActorVisible", &object, &visible))
        return nullptr;
    W3dNode* node = ScenaricNodeArg(object, "SetActorVisible");
    if (!node)
        return nullptr;
    if (visible)
        node->Show();
    else
        node->Hide();
    Py_RETURN_NONE;
}

PyObject* SetActorCollideable(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    int on = 0;
    if (!PyArg_ParseTuple(args, "Oi:SetActorCollideable", &object, &on))
        return nullptr;
    W3dNode* node = ScenaricNodeArg(object, "SetActorCollideable");
    if (!node)
        return nullptr;
    node->GetMoveCollisionSet().SetEnabled(on ? 1 : 0);
    node->GetShootCollisionSet().SetEnabled(on ? 1 : 0);
    Py_RETURN_NONE;
}

PyObject* SetActorToActorCollDistance(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    float distance = 0.0f;
    if (!PyArg_ParseTuple(args, "Of:SetActorToActorCollDistance", &object, &distance))
        return nullptr;
    TsActor* actor = ScenaricActorArg(object, "SetActorToActorCollDistance");
    if (!actor)
        return nullptr;
    if (distance > 0.0f)
        actor->mActorCollisionDistance = distance < 1.0e9f ? int32_t(distance) : 1000000000;
    else if (W3dNode* node = actor->GetNode())
        node->GetMoveCollisionSet().SetEnabled(0);
    Py_RETURN_NONE;
}

PyObject* SetOverWrittingBBoxRadius(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    float radius = 0.0f;
    if (!PyArg_ParseTuple(args, "Of:SetOverWrittingBBoxRadius", &object, &radius))
        return nullptr;
    if (!ScenaricActorArg(object, "SetOverWrittingBBoxRadius"))
        return nullptr;
    Py_RETURN_NONE;
}

PyObject* StopOverWrittingBBox(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    if (!PyArg_ParseTuple(args, "O:StopOverWrittingBBoxRadius", &object))
        return nullptr;
    if (!ScenaricActorArg(object, "StopOverWrittingBBox"))
        return nullptr;
    Py_RETURN_NONE;
}

// ---- The animated model ---------------------------------------------------------------------------------

Frame* BoneArg(W3dNode* node, PyObject* bone)
{
    const char* name = PyUnicode_Check(bone) ? PyUnicode_AsUTF8(bone) : nullptr;
    if (!name)
        PyErr_Clear();
    return name ? ScenaricBoneFrame(node, name) : nullptr;
}

PyObject* SetActorFrames(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    PyObject* bones[3] = {};
    if (!PyArg_ParseTuple(args, "OOOO:SetShootFrames", &object, &bones[0], &bones[1], &bones[2]))
        return nullptr;
    TsActor* actor = ScenaricActorArg(object, "SetActorFrames");
    if (!actor)
        return nullptr;
    W3dNode* node = actor->GetNode();
    auto* model = HbCastTo<W3dAnimObject>(node);
    if (!model)
        Py_RETURN_NONE;
    for (int32_t i = 0; i < 3; ++i)
    {
        Frame* frame = BoneArg(node, bones[i]);
        if (!frame)
            continue;
        if (i < 2)
            model->SetShootFrame(i, frame);
        else
            model->GetShootCollisionSet().AddElementFrame(frame);
    }
    Py_RETURN_NONE;
}

PyObject* ActorPlayAnim(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    const char* animation = nullptr;
    if (!PyArg_ParseTuple(args, "Os:AddEventActor", &object, &animation))
        return nullptr;
    TsActor* actor = ScenaricActorArg(object, "ActorPlayAnim");
    if (!actor)
        return nullptr;
    if (auto* model = HbCastTo<W3dAnimObject>(actor->GetNode()))
        model->GetMotor().PlayAnimByName(animation, 1, 0.0f);
    Py_RETURN_NONE;
}

PyObject* IsHeadShoot(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    int on = 0;
    if (!PyArg_ParseTuple(args, "Oi:IsHeadShoot", &object, &on))
        return nullptr;
    TsActor* actor = ScenaricActorArg(object, "IsHeadShoot");
    if (!actor)
        return nullptr;
    if (auto* model = HbCastTo<W3dAnimObject>(actor->GetNode()))
        model->SetHeadShot(on);
    Py_RETURN_NONE;
}

PyObject* SetObjectInHand(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    PyObject* held = nullptr;
    if (!PyArg_ParseTuple(args, "OO:SetObjectInHand", &object, &held))
        return nullptr;
    auto* holder = HbCastTo<TsAnimActor>(ScenaricActorArg(object, "SetObjectInHand"));
    if (!holder)
        return PyErr_Occurred() ? nullptr : ScenaricFail("SetObjectInHand : trouble when attach object");
    if (held == Py_None)
    {
        holder->SetWeapon(nullptr);
        Py_RETURN_NONE;
    }
    TsActor* weapon = ScenaricActorArg(held, "SetObjectInHand");
    if (!weapon)
        return nullptr;
    if (!holder->SetWeapon(weapon))
        return ScenaricFail("SetObjectInHand : trouble when attach object");
    if (holder->mFamily & HeroEnemyFamily)
        if (auto* gun = HbCastTo<WeaponShoot>(weapon))
            gun->mHit.wideHit = 0;
    Py_RETURN_NONE;
}

// ---- Families and hit points ------------------------------------------------------------------------------

PyObject* SetFamily(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    unsigned int family = 0;
    if (!PyArg_ParseTuple(args, "OI:SetFamily", &object, &family))
        return nullptr;
    TsActor* actor = ScenaricActorArg(object, "SetFamily");
    if (!actor)
        return nullptr;
    actor->mFamily = family;
    Py_RETURN_NONE;
}

PyObject* SetEnemyFamily(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    unsigned int family = 0;
    if (!PyArg_ParseTuple(args, "OI:SetEnemyFamily", &object, &family))
        return nullptr;
    TsActor* actor = ScenaricActorArg(object, "SetEnemyFamily");
    if (!actor)
        return nullptr;
    actor->mEnemyFamily = family;
    Py_RETURN_NONE;
}

PyObject* IsInFamily(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    unsigned int mask = 0;
    if (!PyArg_ParseTuple(args, "OI:IsInFamily", &object, &mask))
        return nullptr;
    TsActor* actor = ScenaricActorArg(object, "IsInFamily");
    return actor ? PyLong_FromUnsignedLong(actor->mFamily & mask) : nullptr;
}

PyObject* GetHitPoints(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    if (!PyArg_ParseTuple(args, "O:GetHitPoints", &object))
        return nullptr;
    if (object == Py_None)
        return ScenaricFail("Actor is None");
    TsActor* actor = ScenaricActorArg(object, "GetHitPoints");
    return actor ? PyLong_FromLong(actor->mHitPoints) : nullptr;
}

PyObject* SetHitPoints(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    int points = 0;
    if (!PyArg_ParseTuple(args, "Oi:SetHitPoints", &object, &points))
        return nullptr;
    TsActor* actor = ScenaricActorArg(object, "SetHitPoints");
    if (!actor)
        return nullptr;
    actor->SetHitPoints(points);
    Py_RETURN_NONE;
}

PyObject* GetMaxHitPoints(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    if (!PyArg_ParseTuple(args, "O:GetMaxHitPoints", &object))
        return nullptr;
    TsActor* actor = ScenaricActorArg(object, "GetMaxHitPoints");
    return actor ? PyLong_FromLong(actor->mMaxHitPoints) : nullptr;
}

PyObject* SetMaxHitPoints(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    int maximum = 0;
    int parameter = 0;
    if (!PyArg_ParseTuple(args, "Oii:SetMaxHitPoints", &object, &maximum, &parameter))
        return nullptr;
    TsActor* actor = ScenaricActorArg(object, "SetMaxHitPoints");
    if (!actor)
        return nullptr;
    actor->SetMaxHitPoints(maximum);
    actor->mHitPointParameter = parameter;
    Py_RETURN_NONE;
}

PyMethodDef gMethods[] = {
    {"CreateActor", CreateActor, METH_VARARGS, nullptr},
    {"DeleteActor", DeleteActor, METH_VARARGS, nullptr},
    {"AddActorToGreen", AddActorToGreen, METH_VARARGS, nullptr},
    {"IsActorMustBeUpdated", IsActorMustBeUpdated, METH_VARARGS, nullptr},
    {"GetHeroPyActor", GetHeroPyActor, METH_NOARGS, nullptr},
    {"IsCurrentHeroJohn", IsCurrentHeroJohn, METH_NOARGS, nullptr},
    {"SetModel", SetModel, METH_VARARGS, nullptr},
    {"SetModelAndParameters", SetModelAndParameters, METH_VARARGS, nullptr},
    {"SetActorVisible", SetActorVisible, METH_VARARGS, nullptr},
    {"SetActorCollideable", SetActorCollideable, METH_VARARGS, nullptr},
    {"SetActorToActorCollDistance", SetActorToActorCollDistance, METH_VARARGS, nullptr},
    {"SetOverWrittingBBoxRadius", SetOverWrittingBBoxRadius, METH_VARARGS, nullptr},
    {"StopOverWrittingBBox", StopOverWrittingBBox, METH_VARARGS, nullptr},
    {"SetActorFrames", SetActorFrames, METH_VARARGS, nullptr},
    {"ActorPlayAnim", ActorPlayAnim, METH_VARARGS, nullptr},
    {"IsHeadShoot", IsHeadShoot, METH_VARARGS, nullptr},
    {"SetObjectInHand", SetObjectInHand, METH_VARARGS, nullptr},
    {"SetFamily", SetFamily, METH_VARARGS, nullptr},
    {"SetEnemyFamily", SetEnemyFamily, METH_VARARGS, nullptr},
    {"IsInFamily", IsInFamily, METH_VARARGS, nullptr},
    {"GetHitPoints", GetHitPoints, METH_VARARGS, nullptr},
    {"SetHitPoints", SetHitPoints, METH_VARARGS, nullptr},
    {"GetMaxHitPoints", GetMaxHitPoints, METH_VARARGS, nullptr},
    {"SetMaxHitPoints", SetMaxHitPoints, METH_VARARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};
} // namespace

PyMethodDef* ScenaricActorMethods()
{
    return gMethods;
}
