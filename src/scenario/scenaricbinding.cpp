// The actor word of script objects, the argument checks every function shares and the level
// helpers.
#include "hbptr.h"
#include "rdanimmotor.h"
#include "rdnameidtable.h"
#include "scenario_local.h"
#include "scenaricmodule.h"
#include "scriptvertex.h"
#include "scriptworldmanager.h"
#include "tsactor.h"
#include "w3danimobject.h"
#include "w3dframe.h"
#include "wscene.h"

#include <string>
#include <unordered_map>

namespace
{
/// Script object -> weak handle of its actor. Made on first use and kept for the process (it
/// holds no interpreter object: the keys are only compared).
std::unordered_map<PyObject*, HbHandlePtr>& Bindings()
{
    static auto* bindings = new std::unordered_map<PyObject*, HbHandlePtr>();
    return *bindings;
}

void DropDeadBindings()
{
    auto& bindings = Bindings();
    for (auto it = bindings.begin(); it != bindings.end();)
        it = it->second.IsValid() ? std::next(it) : bindings.erase(it);
}
} // namespace

int32_t ScenaricBindActor(PyObject* object, TsActor* actor)
{
    if (!object || !actor)
        return 0;
    DropDeadBindings();
    Bindings()[object].Assign(actor);
    return 1;
}

TsActor* ScenaricGetBoundActor(PyObject* object)
{
    auto& bindings = Bindings();
    auto it = object ? bindings.find(object) : bindings.end();
    if (it == bindings.end() || !it->second.IsValid())
        return nullptr;
    auto* actor = static_cast<TsActor*>(it->second.GetObject());
    // An actor that took another script object no longer answers for this one.
    return actor->GetScriptObject() == object ? actor : nullptr;
}

void ScenaricBindingsReset()
{
    Bindings().clear();
}

TsActor* ScenaricActorArg(PyObject* object, const char* function)
{
    TsActor* actor = ScenaricGetBoundActor(object);
    if (!actor)
    {
        const std::string text = std::string(function) + " : the object is not bound to a live actor";
        PyErr_SetString(PyExc_TypeError, text.c_str());
    }
    return actor;
}

W3dNode* ScenaricNodeArg(PyObject* object, const char* function, TsActor** out)
{
    TsActor* actor = ScenaricActorArg(object, function);
    if (out)
        *out = actor;
    if (!actor)
        return nullptr;
    W3dNode* node = actor->GetNode();
    if (!node)
    {
        const std::string text = std::string(function) + " : the actor has no node";
        PyErr_SetString(PyExc_TypeError, text.c_str());
    }
    return node;
}

bool ScenaricVertexOf(PyObject* object, Vector* out)
{
    if (!object || !ScriptIsVertex(object))
        return false;
    const auto* v = reinterpret_cast<const ScriptVertex*>(object);
    *out = {v->x, v->y, v->z};
    return true;
}

PyObject* ScenaricNewVertex(const Vector& v, const char* failure)
{
    PyObject* vertex = ScriptNewVertex(v.x, v.y, v.z);
    if (!vertex)
    {
        PyErr_Clear();
        PyErr_SetString(PyExc_TypeError, failure);
    }
    return vertex;
}

PyObject* ScenaricFail(const char* text)
{
    PyErr_SetString(PyExc_TypeError, text);
    return nullptr;
}

W3dFrame* ScenaricLevelRoot()
{
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    WScene* scene = world ? world->GetScene() : nullptr;
    return scene ? scene->GetRoot() : nullptr;
}

void ScenaricPlaceInLevel(W3dNode* node)
{
    if (!node || node->GetScene())
        return;
    if (W3dFrame* root = ScenaricLevelRoot(); root && root != node)
        root->AddChild(node, nullptr);
}

Frame* ScenaricBoneFrame(W3dNode* node, const char* bone)
{
    auto* model = HbCastTo<W3dAnimObject>(node);
    NameIdTable* bones = NameIdTable::Bones();
    if (!model || !bones || !bone)
        return nullptr;
    const int32_t id = bones->FindIdByName(bone);
    return id <= 0 ? nullptr : model->GetMotor().GetBoneFrame(id);
}
