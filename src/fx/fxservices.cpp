// The effect services: binds at the shared context, the script module "fx", and the
// start-up, tick and shut-down of the effect layer.
#include "fxservices.h"

#include "fx3d.h"
#include "fx3dtype.h"
#include "fxcontext.h"
#include "fxfade.h"
#include "fxphysics.h"
#include "kfxmanager.h"
#include "kfxmanagerimp.h"
#include "random.h"
#include "scriptvertex.h"
#include "scriptworldmanager.h"
#include "tsactor.h"
#include "w3dnode.h"

#include <Python.h>

#include <cctype>
#include <string>

int32_t FxBindDefinition(int32_t id, FxContext* context)
{
    (void)context;
    FxContext* shared = FxContextGet();
    if (id < 0 || id >= kFxEffectCount || !shared->effect)
        return 0;
    return KfxManager::BindDefinition(shared->effect, id, shared);
}

float RandomFloatInRange(float a, float b)
{
    const uint32_t n = Random::Next() & 0x7FFFFFFFu;
    return a + float(n) * (b - a) / 2147483648.0f;
}

// ---- Module "fx" ---------------------------------------------------------------------------------

namespace
{
} // namespace

TsActor* FxActorOf(PyObject* object)
{
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    for (HbPtrListNode* node = world ? world->GetActors().GetHead() : nullptr; node; node = node->next)
    {
        auto* actor = static_cast<TsActor*>(node->value);
        if (actor->GetScriptObject() == object)
            return actor;
    }
    return nullptr;
}

namespace
{
/// The node's first effect object among its attachments, or a new one it then owns.
KFX* NodeEffect(W3dNode* node)
{
    HbPtrArray& attachments = node->GetAttachments();
    for (int32_t i = 0; i < attachments.GetCount(); ++i)
        if (KFX* effect = HbCastTo<KFX>(static_cast<HbRoot*>(attachments[i])))
            return effect;
    KFX* effect = new KFX();
    if (!node->AddAttachment(effect))
    {
        delete effect;
        return nullptr;
    }
    return effect;
}

PyObject* Play(PyObject*, PyObject* args)
{
    int32_t id = 0;
    if (!PyArg_ParseTuple(args, "i", &id))
        return nullptr;
    if (id == kFxNoEffect)
        Py_RETURN_NONE;
    if (id < 0 || id >= kFxEffectCount)
    {
        PyErr_Format(PyExc_ValueError, "FxServicesPlay : effect id %d out of range", id);
        return nullptr;
    }
    FxContext* shared = FxContextGet();
    if (shared->node)
    {
        KFX* effect = NodeEffect(shared->node);
        if (!effect)
            Py_RETURN_NONE;
        shared->effect = effect;
        KfxManager::BindDefinition(effect, id, shared);
        effect->Start();
    }
    else
    {
        KfxManager::PlayOneShot(id, shared);
    }
    Py_RETURN_NONE;
}

PyObject* ContextReset(PyObject*, PyObject*)
{
    FxContextGet()->Reset();
    Py_RETURN_NONE;
}

/// The vertex's three floats into out; false with the error set otherwise.
bool ReadVertex(PyObject* args, float* out, const char* error)
{
    PyObject* object = nullptr;
    if (!PyArg_ParseTuple(args, "O", &object))
        return false;
    if (!ScriptIsVertex(object))
    {
        PyErr_SetString(PyExc_TypeError, error);
        return false;
    }
    auto* vertex = reinterpret_cast<ScriptVertex*>(object);
    out[0] = vertex->x, out[1] = vertex->y, out[2] = vertex->z;
    return true;
}

PyObject* SetPosition(PyObject*, PyObject* args)
{
    float v[3];
    if (!ReadVertex(args, v, "FxServicesContextSetPosition : Object is not a vertex"))
        return nullptr;
    FxContext* shared = FxContextGet();
    shared->position[0] = v[0], shared->position[1] = v[1], shared->position[2] = v[2];
    Py_RETURN_NONE;
}

PyObject* SetOrientation(PyObject*, PyObject* args)
{
    float v[3];
    if (!ReadVertex(args, v, "FxServicesContextSetOrientation : Object is not a vertex (vector)"))
        return nullptr;
    FxContext* shared = FxContextGet();
    shared->direction[0] = v[0], shared->direction[1] = v[1], shared->direction[2] = v[2];
    Py_RETURN_NONE;
}

PyObject* SetAngle(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    if (!PyArg_ParseTuple(args, "O", &object))
        return nullptr;
    if (!PyFloat_Check(object))
    {
        PyErr_SetString(PyExc_TypeError, "FxServicesContextSetAngle : Object is not a Float");
        return nullptr;
    }
    FxContextGet()->angle = float(PyFloat_AsDouble(object));
    Py_RETURN_NONE;
}

PyObject* SetNode(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    if (!PyArg_ParseTuple(args, "O", &object))
        return nullptr;
    TsActor* actor = FxActorOf(object);
    if (!actor)
    {
        PyErr_SetString(PyExc_TypeError, "FxServicesContextSetNode : Object is not an actor");
        return nullptr;
    }
    W3dNode* node = actor->GetNode();
    if (!node)
    {
        PyErr_SetString(PyExc_ValueError, "FxServicesContextSetNode : Actor has no node");
        return nullptr;
    }
    FxContext* shared = FxContextGet();
    shared->node = node;
    shared->frame.Set(node->GetEngineFrame(), node);
    Py_RETURN_NONE;
}

PyMethodDef kFxMethods[] = {
    {"Play", Play, METH_VARARGS, nullptr},
    {"ContextReset", ContextReset, METH_VARARGS, nullptr},
    {"SetPosition", SetPosition, METH_VARARGS, nullptr},
    {"SetOrientation", SetOrientation, METH_VARARGS, nullptr},
    {"SetAngle", SetAngle, METH_VARARGS, nullptr},
    {"SetNode", SetNode, METH_VARARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};
} // namespace

bool FxAddFunctions(PyObject* module, PyMethodDef* methods)
{
    PyObject* dictionary = module ? PyModule_GetDict(module) : nullptr;
    if (!dictionary)
    {
        PyErr_Clear();
        return false;
    }
    for (PyMethodDef* method = methods; method->ml_name; ++method)
    {
        PyObject* function = PyCFunction_New(method, nullptr);
        if (!function || PyDict_SetItemString(dictionary, method->ml_name, function) != 0)
        {
            Py_XDECREF(function);
            PyErr_Clear();
            return false;
        }
        Py_DECREF(function);
    }
    return true;
}

void FxModuleFill(PyObject* module, int32_t)
{
    if (!FxAddFunctions(module, kFxMethods))
        return;
    // "FX_KI_IMPACT_6_SCR" gives id_impact_6.
    for (int32_t id = 0; id < kFxEffectCount; ++id)
    {
        std::string name = FxEffectScriptName(id);
        name = "id_" + name.substr(6, name.size() - 6 - 4);
        for (char& c : name)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        if (PyModule_AddIntConstant(module, name.c_str(), id) != 0)
        {
            PyErr_Clear();
            return;
        }
    }
}

// ---- Services ------------------------------------------------------------------------------------

void FxServicesInstall()
{
    KfxManagerImp& manager = KfxManagerImp::Instance();
    if (KfxManager::GetBackend() != &manager)
        KfxManager::Install(&manager);
}

void Fx3dInitTypeRecords()
{
    FxServicesInstall();
    FxLoadEffectScripts();
    KfxManagerImp::Instance().LoadAll();
    Fx3dFillTypes();
}

void FxServicesTick()
{
    FxFadeStep();
}

void FxServicesStageEnter()
{
    Fx3dAllocateAll();
    PhysicsInitConstants();
}

void FxServicesStageStep()
{
    Fx3dStep();
    PhysicsStep();
}

void FxServicesStageLeave()
{
    FxFadeClearAll();
    Fx3dFreeAll();
    PhysicsFreeBodies();
}

void FxServicesShutdown()
{
    FxFadeClearAll();
    Fx3dFreeAll();
    PhysicsFreeAll();
    if (KfxManager::GetBackend() == &KfxManagerImp::Instance())
    {
        KfxManager::Shutdown();
        KfxManager::Install(nullptr);
    }
}
