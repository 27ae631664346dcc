// The skill functions offered in the module "skills": adding skill states to an actor's skill
// table, running one for the frame, and reading the table's status, error and skill id.
#include "scenaricmodule.h"
#include "scenario_local.h"
#include "tsactor.h"
#include "tsmotorskills.h"
#include "tsskillregistry.h"

#include <cstdio>
#include <string>

namespace
{
constexpr int32_t kUnknownSkillReports = 10;
int32_t gUnknownSkillCountdown = kUnknownSkillReports;
bool gQueued = false;

// The status words below 0x200 (every flag a table sets), one integer object each per
// interpreter: patrols ask for the status on every tick, and a fresh object each time would be
// a block allocated in every frame. The module holds a capsule that releases them when the
// interpreter clears it; until then gStatusesOwner is that capsule.
constexpr uint32_t kKeptStatuses = 0x200;
PyObject* gStatuses[kKeptStatuses] = {};
PyObject* gStatusesOwner = nullptr;

void ReleaseStatuses(PyObject* capsule)
{
    if (capsule != gStatusesOwner)
        return;
    for (PyObject*& status : gStatuses)
        Py_CLEAR(status);
    gStatusesOwner = nullptr;
}

PyObject* StatusObject(uint32_t flags)
{
    if (!gStatusesOwner || flags >= kKeptStatuses)
        return PyLong_FromUnsignedLong(flags);
    PyObject*& kept = gStatuses[flags];
    if (!kept && !(kept = PyLong_FromUnsignedLong(flags)))
        return nullptr;
    Py_INCREF(kept);
    return kept;
}

/// The actor's skill table; null with a TypeError for an unbound object, null without one for
/// an actor that has no table.
TsMotorSkills* SkillsArg(PyObject* object, const char* function, TsActor** actor)
{
    *actor = ScenaricActorArg(object, function);
    return *actor ? (*actor)->GetMotorSkills() : nullptr;
}

PyObject* NoTable(const char* function)
{
    if (PyErr_Occurred())
        return nullptr;
    const std::string text = std::string(function) + " : the actor has no skill table";
    return ScenaricFail(text.c_str());
}

PyObject* NewAddSkill(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    int id = 0;
    PyObject* argument = nullptr;
    if (!PyArg_ParseTuple(args, "OiO:NewAddSkill", &object, &id, &argument))
        return nullptr;
    TsActor* actor = nullptr;
    TsMotorSkills* table = SkillsArg(object, "NewAddSkill", &actor);
    if (!table)
    {
        if (PyErr_Occurred())
            return nullptr;
        Py_RETURN_NONE;
    }
    TsSkillRegistry* registry = TsSkillRegistry::Instance();
    const char* name = registry ? registry->GetSkillName(id) : nullptr;
    if (name && table->FindSkill(name))
        return ScenaricFail("ERROR :Trying to register 2 times the same skill");
    TsMotorSkill* state = registry ? registry->CreateSkillState(id, actor, argument) : nullptr;
    if (!state)
        return nullptr; // refused without a message
    table->AddSkill(state);
    Py_RETURN_NONE;
}

PyObject* LoopSkill(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    int id = 0;
    if (!PyArg_ParseTuple(args, "Oi:LoopSkill", &object, &id))
        return nullptr;
    TsActor* actor = nullptr;
    TsMotorSkills* table = SkillsArg(object, "LoopSkill", &actor);
    if (!table)
        return NoTable("LoopSkill");
    TsSkillRegistry* registry = TsSkillRegistry::Instance();
    const char* name = registry ? registry->GetSkillName(id) : nullptr;
    const int32_t result = table->LoopSkill(name);
    if (!(table->mFlags & TsMotorSkills::kUnknownSkill))
        return PyLong_FromLong(result);

    // Formatted for a debugger's eyes only.
    char report[512];
    PyObject* type = PyObject_Type(object);
    PyObject* typeName = type ? PyType_GetName(reinterpret_cast<PyTypeObject*>(type)) : nullptr;
    const char* className = typeName ? PyUnicode_AsUTF8(typeName) : nullptr;
    std::snprintf(report, sizeof(report),
                  "\nAn Invalid Skill state has been requested.\n This probably means that you forget to register the "
                  "skill on this actor class\n.Actor class is %s \nSkill PythonId is %d\nskill Name is %s \n",
                  className ? className : "", id, name ? name : "No Skill register with this Id");
    Py_XDECREF(typeName);
    Py_XDECREF(type);
    PyErr_Clear();
    if (gUnknownSkillCountdown == 0)
        table->mFlags &= ~uint32_t(TsMotorSkills::kConstructed);
    else
        --gUnknownSkillCountdown;
    table->mFlags &= ~uint32_t(TsMotorSkills::kUnknownSkill);
    table->mFlags |= TsMotorSkills::kSucceeded;
    table->mError = 0;
    return PyLong_FromLong(0);
}

PyObject* GetSkillStatus(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    if (!PyArg_ParseTuple(args, "O:GetSkillStatus", &object))
        return nullptr;
    TsActor* actor = nullptr;
    TsMotorSkills* table = SkillsArg(object, "GetSkillStatus", &actor);
    return table ? StatusObject(table->mFlags) : NoTable("GetSkillStatus");
}

PyObject* GetSkillError(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    if (!PyArg_ParseTuple(args, "O:GetSkillError", &object))
        return nullptr;
    TsActor* actor = nullptr;
    TsMotorSkills* table = SkillsArg(object, "GetSkillError", &actor);
    return table ? PyLong_FromUnsignedLong(table->GetErrorCode()) : NoTable("GetSkillError");
}

PyObject* GetChangingSkillId(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    if (!PyArg_ParseTuple(args, "O:GetChangingSkillId", &object))
        return nullptr;
    TsActor* actor = nullptr;
    TsMotorSkills* table = SkillsArg(object, "GetChangingSkillId", &actor);
    if (!table)
        return NoTable("GetChangingSkillId");
    TsSkillRegistry* registry = TsSkillRegistry::Instance();
    const char* name = table->GetCurrentSkillName();
    // A name the registry does not know answers kNoSkill.
    return PyLong_FromLong(registry && name ? registry->GetSkillId(name) : TsSkillRegistry::kNoSkill);
}

int Register()
{
    TsSkillRegistry* registry = TsSkillRegistry::Instance();
    if (!registry)
        return 0;
    constexpr const char* kDoc = "This function is not documented";
    constexpr const char* kFile = "src\\scenaricmodule";
    registry->AddSkillFunction(NewAddSkill, "NewAddSkill", kDoc, kFile, __LINE__);
    registry->AddSkillFunction(LoopSkill, "LoopSkill", kDoc, kFile, __LINE__);
    registry->AddSkillFunction(GetSkillStatus, "GetSkillStatus", kDoc, kFile, __LINE__);
    registry->AddSkillFunction(GetSkillError, "GetSkillError", kDoc, kFile, __LINE__);
    registry->AddSkillFunction(GetChangingSkillId, "GetChangingSkillId", kDoc, kFile, __LINE__);
    return 1;
}

[[maybe_unused]] const int gQueuedAtStart = (ScenaricQueueSkillRegistrations(), 1);
} // namespace

void ScenaricQueueSkillRegistrations()
{
    if (gQueued)
        return;
    if (TsSkillRegistry* registry = TsSkillRegistry::Instance())
        gQueued = registry->AddRegistration(Register) != 0;
}

int32_t ScenaricGetUnknownSkillCountdown()
{
    return gUnknownSkillCountdown;
}

void ScenaricSkillsReset()
{
    gUnknownSkillCountdown = kUnknownSkillReports;
}

int ScenaricSkillsKeepStatuses(PyObject* module)
{
    // Objects still kept here belong to a module the interpreter never cleared: forgotten, not
    // released (their interpreter may be gone).
    for (PyObject*& status : gStatuses)
        status = nullptr;
    gStatusesOwner = nullptr;
    PyObject* capsule = PyCapsule_New(gStatuses, "scenaric._statuses", ReleaseStatuses);
    if (!capsule || PyModule_AddObject(module, "_statuses", capsule) < 0)
    {
        Py_XDECREF(capsule);
        return -1;
    }
    gStatusesOwner = capsule;
    return 0;
}
