// The script module mark with its sub-module request (the six named requests and the list of
// every mark of a kind, answered as tuples of mark names), and the making of the modules mark,
// path and marktype.
#include "scriptvertex.h"
#include "scriptworldmanager.h"
#include "tsactor.h"
#include "tsmarkrequest.h"
#include "tsmarksystem.h"
#include "world.h"
#include "yoscenaricmark.h"

#include <Python.h>

void TsMarkModuleCreate();
void TsMarkScriptFill(PyObject* mark, PyObject* path, PyObject* marktype);

namespace
{
/// The names of the marks, in order; a new tuple or null with the error set.
PyObject* NameTuple(const HbPtrArray& marks)
{
    PyObject* tuple = PyTuple_New(marks.GetCount());
    for (int32_t i = 0; tuple && i < marks.GetCount(); ++i)
    {
        PyObject* name = PyUnicode_FromString(static_cast<const YoScenaricMark*>(marks[i])->mName.c_str());
        if (!name)
        {
            Py_DECREF(tuple);
            return nullptr;
        }
        PyTuple_SET_ITEM(tuple, i, name);
    }
    return tuple;
}

/// The actor bound to the script object among the script world's actors, or null.
TsActor* ActorOf(PyObject* object)
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

/// Runs the named request around the vertex; with actor set, its node becomes the request's
/// reference node. Without a scenario database the answer is an empty tuple.
PyObject* RunRequest(const char* name, PyObject* centre, float radius, int32_t kind, PyObject* actorObject,
                     bool withActor)
{
    if (!ScriptIsVertex(centre))
    {
        PyErr_Format(PyExc_TypeError, "param 1 for %s must be a vertex!\n", name);
        return nullptr;
    }
    TsActor* actor = nullptr;
    if (withActor)
    {
        actor = ActorOf(actorObject);
        if (!actor)
        {
            PyErr_Format(PyExc_TypeError, "%s : param 4 must be an actor", name);
            return nullptr;
        }
    }
    TsMarkSystem* system = TsGetMarkSystem();
    YoRequestAbstract* found = system && system->GetRegistry() ? system->GetRegistry()->Find(name) : nullptr;
    auto* request = HbCastTo<YoScenaricMarkRequestDistanceIn>(found);
    HbPtrArray marks;
    if (request)
    {
        auto* vertex = reinterpret_cast<ScriptVertex*>(centre);
        request->SetRadius(radius);
        request->SetCenter({vertex->x, vertex->y, vertex->z});
        request->SetKind(kind);
        if (auto* all = HbCastTo<TsMarkRequestAll>(request); all && withActor)
            all->SetReferenceNode(actor->GetNode());
        request->Evaluate(&marks, -1);
    }
    return NameTuple(marks);
}

PyObject* DistanceIn(PyObject*, PyObject* args)
{
    PyObject* centre = nullptr;
    float radius = 0.0f;
    int kind = 0;
    if (!PyArg_ParseTuple(args, "Ofi:DistanceIn", &centre, &radius, &kind))
        return nullptr;
    return RunRequest("DistanceIn", centre, radius, kind, nullptr, false);
}

/// The five requests with a reference actor share their body; the format names the function
/// the interpreter's argument errors give.
template <const char* Name, const char* Format> PyObject* WithActor(PyObject*, PyObject* args)
{
    PyObject* centre = nullptr;
    PyObject* actor = nullptr;
    float radius = 0.0f;
    int kind = 0;
    if (!PyArg_ParseTuple(args, Format, &centre, &radius, &kind, &actor))
        return nullptr;
    return RunRequest(Name, centre, radius, kind, actor, true);
}

constexpr char kVisible[] = "Visible";
constexpr char kNotVisible[] = "NotVisible";
constexpr char kFront[] = "Front";
constexpr char kBehind[] = "Behind";
constexpr char kFrontNotVisible[] = "FrontNotVisible";
constexpr char kVisibleFormat[] = "OfiO:Visible";
constexpr char kFrontFormat[] = "OfiO:Front";
constexpr char kFrontNotVisibleFormat[] = "OfiO:FrontNotVisible";

struct AllMarks
{
    HbPtrArray* out;
    int32_t failed;
};

int32_t AppendMark(HbRoot* object, void* context)
{
    auto* all = static_cast<AllMarks*>(context);
    if (all->out->Add(object) < 0)
    {
        all->failed = 1;
        return 0;
    }
    return 1;
}

PyObject* GetAllMark(PyObject*, PyObject* args)
{
    int kind = 0;
    if (!PyArg_ParseTuple(args, "i:GetAllMark", &kind))
        return nullptr;
    HbPtrArray marks;
    AllMarks all = {&marks, 0};
    TsWorldForEachSectorObject(TsGetMarkSystem(), AppendMark, kind, &all);
    if (all.failed)
        return PyErr_NoMemory();
    return NameTuple(marks);
}

PyMethodDef gRequestFunctions[] = {
    {"GetAllMark", GetAllMark, METH_VARARGS, nullptr},
    {"DistanceIn", DistanceIn, METH_VARARGS, nullptr},
    {"Visible", WithActor<kVisible, kVisibleFormat>, METH_VARARGS, nullptr},
    {"NotVisible", WithActor<kNotVisible, kVisibleFormat>, METH_VARARGS, nullptr},
    {"Front", WithActor<kFront, kFrontFormat>, METH_VARARGS, nullptr},
    {"Behind", WithActor<kBehind, kFrontFormat>, METH_VARARGS, nullptr},
    {"FrontNotVisible", WithActor<kFrontNotVisible, kFrontNotVisibleFormat>, METH_VARARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

/// The module of that name from sys.modules, made and filed there (and in __main__ when the
/// name has no dot) when missing. Borrowed; null with the error set.
PyObject* ModuleNamed(const char* name)
{
    PyObject* modules = PyImport_GetModuleDict();
    if (PyObject* existing = PyDict_GetItemString(modules, name))
        return existing;
    PyObject* module = PyModule_New(name);
    if (!module)
        return nullptr;
    int failed = PyDict_SetItemString(modules, name, module);
    Py_DECREF(module);
    return failed ? nullptr : module;
}
} // namespace

void TsMarkModuleCreate()
{
    PyObject* mark = ModuleNamed("mark");
    PyObject* request = mark ? ModuleNamed("mark.request") : nullptr;
    PyObject* path = request ? ModuleNamed("path") : nullptr;
    PyObject* marktype = path ? ModuleNamed("marktype") : nullptr;
    if (!marktype || PyModule_AddFunctions(request, gRequestFunctions) < 0 ||
        PyObject_SetAttrString(mark, "request", request) < 0)
    {
        PyErr_Clear();
        return;
    }
    TsMarkScriptFill(mark, path, marktype);
    PyErr_Clear();
    if (PyObject* main = PyImport_AddModule("__main__"))
    {
        PyObject_SetAttrString(main, "mark", mark);
        PyObject_SetAttrString(main, "path", path);
        PyObject_SetAttrString(main, "marktype", marktype);
    }
    PyErr_Clear();
}
