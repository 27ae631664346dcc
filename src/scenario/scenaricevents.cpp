// The event functions of the module "scenaric": subscriptions of actors to game events, events
// sent between actors, the level script's start and end callables and the debug references.
#include "scenario_local.h"
#include "scriptworldmanager.h"
#include "tsactor.h"
#include "tsevent.h"
#include "tssendevent.h"
#include "w3dnode.h"

namespace
{
/// The four references StartDebug keeps; they belong to the interpreter that made them.
PyObject* gDebugObjects[4] = {};

bool IsTimer(int32_t id)
{
    return id >= 256 && id <= 259;
}

PyObject* AddEventActor(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    int id = 0;
    unsigned int mask = 0;
    PyObject* callable = nullptr;
    float value = 0.0f;
    PyObject* targetObject = nullptr;
    if (!PyArg_ParseTuple(args, "OiIOf|O:AddEventActor", &object, &id, &mask, &callable, &value, &targetObject))
        return nullptr;
    TsActor* actor = ScenaricActorArg(object, "AddEventActor");
    if (!actor)
        return nullptr;
    TsActor* target = nullptr;
    if (targetObject && targetObject != Py_None)
    {
        target = ScenaricActorArg(targetObject, "AddEventActor");
        if (!target)
            return nullptr;
    }
    // The owner already holds its script object, and the subscription holds its target's:
    // no further reference on either outlives this call.
    TsEvent* event = actor->FindEvent(id);
    bool isNew = false;
    if (event && event->callable)
        event->SetCallable(nullptr);
    else if (!event)
    {
        event = new TsEvent();
        if (!event)
            return ScenaricFail("Event hasn't been Added to Actor");
        event->id = id;
        event->owner = actor;
        event->SetTarget(target);
        isNew = true;
    }
    event->SetCallable(callable);
    event->familyMask = mask;
    float stored = value;
    if (!IsTimer(id))
    {
        float distance = value;
        if (distance == 0.0f)
        {
            W3dNode* node = actor->GetNode();
            distance = node ? node->GetBoundingSphere()->radius : 0.0f;
        }
        stored = distance * distance;
    }
    if (isNew && !actor->AddEvent(event))
    {
        delete event;
        return ScenaricFail("Event hasn't been Added to Actor");
    }
    if (IsTimer(id))
    {
        event->period = stored;
        event->value = stored;
    }
    else
        event->value = stored;
    Py_RETURN_NONE;
}

PyObject* RemoveEventActor(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    int id = 0;
    if (!PyArg_ParseTuple(args, "Oi:RemoveEventActor", &object, &id))
        return nullptr;
    TsActor* actor = ScenaricActorArg(object, "RemoveEventActor");
    if (!actor)
        return nullptr;
    TsEvent* event = actor->FindEvent(id);
    if (event && event->callable)
    {
        event->SetCallable(nullptr);
        event->SetTarget(nullptr);
        actor->DeactivateEvent(id);
    }
    Py_RETURN_NONE;
}

PyObject* SendEvent(PyObject*, PyObject* args)
{
    PyObject* senderObject = nullptr;
    PyObject* targetObject = nullptr;
    int id = 0;
    int value = 0;
    if (!PyArg_ParseTuple(args, "OOii:SendEvent", &senderObject, &targetObject, &id, &value))
        return nullptr;
    TsActor* sender = ScenaricActorArg(senderObject, "SendEvent");
    TsActor* target = sender ? ScenaricActorArg(targetObject, "SendEvent") : nullptr;
    if (!target)
        return nullptr;
    TsSendEvent event;
    event.id = id;
    event.sender = sender;
    event.target = target;
    event.value = float(value);
    if (ScriptWorldManager* world = ScriptWorldManager::Instance())
        world->QueueEvent(event);
    Py_RETURN_NONE;
}

PyObject* SetBeginEnd(PyObject*, PyObject* args)
{
    PyObject* start = nullptr;
    PyObject* end = nullptr;
    if (!PyArg_ParseTuple(args, "OO:SetBeginEnd", &start, &end))
        return nullptr;
    if (ScriptWorldManager* world = ScriptWorldManager::Instance())
        world->SetLevelCallbacks(start, end);
    Py_RETURN_NONE;
}

PyObject* StartDebug(PyObject*, PyObject* args)
{
    PyObject* objects[4] = {};
    if (!PyArg_ParseTuple(args, "OOOO:StartingDebug", &objects[0], &objects[1], &objects[2], &objects[3]))
        return nullptr;
    for (int32_t i = 0; i < 4; ++i)
    {
        Py_INCREF(objects[i]);
        Py_XSETREF(gDebugObjects[i], objects[i]);
    }
    Py_RETURN_NONE;
}

PyMethodDef gMethods[] = {
    {"AddEventActor", AddEventActor, METH_VARARGS, nullptr},
    {"RemoveEventActor", RemoveEventActor, METH_VARARGS, nullptr},
    {"SendEvent", SendEvent, METH_VARARGS, nullptr},
    {"SetBeginEnd", SetBeginEnd, METH_VARARGS, nullptr},
    {"StartDebug", StartDebug, METH_VARARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};
} // namespace

PyMethodDef* ScenaricEventMethods()
{
    return gMethods;
}

void ScenaricEventsReset()
{
    // Objects of a finalised interpreter are gone with it: forget them without a release.
    for (PyObject*& object : gDebugObjects)
        object = nullptr;
}
