// ScriptWorldManager: the object, the interpreter's start with the game modules in their
// fixed order, the first script's import and unload, and the stop.
#include "scriptworldmanager.h"

#include "hbfile.h"
#include "hbresource.h"
#include "hbvariable.h"
#include "herostateregistry.h"
#include "scriptinterpreter.h"
#include "tsactor.h"
#include "tsactortyperegistry.h"
#include "tsfamilytable.h"
#include "tssendevent.h"
#include "tsskillregistry.h"
#include "uthread.h"
#include "wrenderer.h"
#include "wscene.h"

#include <Python.h>

#include <cstdio>
#include <cstring>

namespace
{
// Runs source text under the step watchdog, so that a console line or a module's top-level code
// that never ends cannot hold the game. PyRun_SimpleString prints and clears its own error.
bool RunSimpleStringGuarded(const char* text)
{
    PyObject* done = UthreadGuardedRun(
        [](void* data) -> PyObject* {
            return PyRun_SimpleString(static_cast<const char*>(data)) >= 0 ? Py_NewRef(Py_None) : nullptr;
        },
        const_cast<char*>(text));
    if (!done)
    {
        if (PyErr_Occurred())
            ScriptInterpreter::PrintAndClearError();
        return false;
    }
    Py_DECREF(done);
    return true;
}
} // namespace

namespace
{
ScriptWorldManager* gScriptWorld = nullptr;

const ScriptEventName kEventNames[] = {
    {"distanceIn", kEventDistanceIn},
    {"distanceInColl", kEventDistanceInColl},
    {"distanceOut", kEventDistanceOut},
    {"see", kEventSee},
    {"reload", kEventReload},
    {"sound", kEventSound},
    {"call", kEventCall},
    {"alert", kEventAlert},
    {"danger", kEventDanger},
    {"dialog", kEventDialog},
    {"collision", kEventCollision},
    {"hit", kEventHit},
    {"explo", kEventExplo},
    {"strike", kEventStrike},
    {"use", kEventUse},
    {"timer1", kEventTimer1},
    {"timer2", kEventTimer2},
    {"timer3", kEventTimer3},
    {"timer4", kEventTimer4},
    {"contextAction", kEventContextAction},
    {"contextTalk", kEventContextTalk},
    {"neutralise", kEventNeutralise},
    {"vibrations", kEventVibrations},
    {"MAPStateOver", kEventMapStateOver},
    {"SAPStateOver", kEventSapStateOver},
    {"skillError", kEventSkillError},
    {"death", kEventDeath},
    {"block", kEventBlock},
    {"strike1", kEventStrike1},
    {"strike2", kEventStrike2},
    {"strike3", kEventStrike3},
    {"strike4", kEventStrike4},
};

/// The start-up goes on after a failing step; the interpreter must not carry its error on.
void PrintPendingError()
{
    if (PyErr_Occurred())
        PyErr_Print();
}

int SetLong(PyObject* module, const char* name, long value)
{
    if (!module || !name)
        return -1;
    PyObject* number = PyLong_FromLong(value);
    int result = number ? PyDict_SetItemString(PyModule_GetDict(module), name, number) : -1;
    Py_XDECREF(number);
    PrintPendingError();
    return result;
}

// The script world that the program's static object is; tests make their own beside it.
ScriptWorldManager gProgramScriptWorld;
} // namespace

const ScriptEventName* ScriptEventNames(int32_t* count)
{
    if (count)
        *count = int32_t(sizeof(kEventNames) / sizeof(kEventNames[0]));
    return kEventNames;
}

std::string ScriptGetDirectoryPart(const char* path)
{
    if (!path)
        return {};
    const char* slash = std::strrchr(path, '\\');
    return slash ? std::string(path, size_t(slash - path)) : std::string(path);
}

std::string ScriptGetModuleName(const char* path)
{
    if (!path)
        return {};
    const char* slash = std::strrchr(path, '\\');
    const char* start = slash ? slash + 1 : path;
    const char* dot = std::strrchr(start, '.');
    return dot ? std::string(start, size_t(dot - start)) : std::string(start);
}

// ---- The object ----------------------------------------------------------------------------------

ScriptWorldManager::ScriptWorldManager()
{
    mPrevious = gScriptWorld;
    gScriptWorld = this;
}

ScriptWorldManager::~ScriptWorldManager()
{
    if (mScene)
        SetScene(nullptr);
    ReleaseEventBoxes();
    ClearQueue();
    mQueue.RemoveAll();
    // The actors' storage belongs to the exiting program: the list lets go of its nodes only.
    while (!mActors.IsEmpty())
        mActors.PopFront();
    if (Py_IsInitialized())
        ReleaseLevelCallables();
    if (gScriptWorld == this)
        gScriptWorld = mPrevious;
}

ScriptWorldManager* ScriptWorldManager::Instance()
{
    return gScriptWorld;
}

// ---- Start-up ------------------------------------------------------------------------------------

int32_t ScriptWorldManager::RegisterPendingModule(const char* name, ModuleFill fill, int32_t argument)
{
    mPendingModules.Add(PendingModule{name, fill, argument});
    return argument;
}

PyObject* ScriptWorldManager::CreateModule(const char* name)
{
    PyObject* module = PyModule_New(name);
    if (module)
    {
        PyDict_SetItemString(PyImport_GetModuleDict(), name, module);
        // sys.modules holds the only reference.
        Py_DECREF(module);
    }
    PrintPendingError();
    return module;
}

void ScriptWorldManager::AppendRootPath()
{
    std::string root;
    if (!HbGetStringVariable("PYTHON_ROOT_PATH", root))
        root = "s:\\code_scenarique";
    PyObject* path = PySys_GetObject("path");
    PyObject* entry = PyUnicode_FromString(root.c_str());
    if (path && entry)
        PyList_Append(path, entry);
    Py_XDECREF(entry);
    PrintPendingError();
}

void ScriptWorldManager::StartScripting()
{
    if (!ScriptInterpreter::Start())
    {
        HbFilePuts("Fatal Python error: the interpreter did not start\n", ScriptInterpreter::GetErrorLog());
        return;
    }
    mMainThreadState = PyThreadState_Get();

    mLocation = CreateModule("location");

    mSkills = CreateModule("skills");
    TsSkillRegistry* skills = TsSkillRegistry::Instance();
    if (skills)
        skills->RunRegistrations();
    PrintPendingError();
    SetLong(mSkills, "MS_SUCCEEDED", kMsSucceeded);
    SetLong(mSkills, "MS_FAILED", kMsFailed);
    if (PyMethodDef* table = skills ? skills->BuildMethodTable() : nullptr; table && mSkills)
        PyModule_AddFunctions(mSkills, table);
    PrintPendingError();

    mSound = CreateModule("sound");
    if (mSound && mHooks.fillSoundModule)
        mHooks.fillSoundModule(mSound);
    PrintPendingError();

    mStates = CreateModule("states");
    if (HeroStateRegistry* states = HeroStateRegistry::Instance())
        states->RunRegistrations();
    PrintPendingError();

    mActorTools = CreateModule("pyactor_tools");
    if (mActorTools && mHooks.fillActorToolsModule)
        mHooks.fillActorToolsModule(mActorTools);
    PrintPendingError();

    if (PyObject* events = CreateModule("event"))
    {
        int32_t count = 0;
        const ScriptEventName* names = ScriptEventNames(&count);
        for (int32_t i = 0; i < count; ++i)
            SetLong(events, names[i].name, names[i].id);
    }

    if (TsFamilyTable* families = TsFamilyTable::Instance())
        families->PublishToModule("family");
    if (TsActorTypeRegistry* types = TsActorTypeRegistry::Instance())
        types->PublishToModule("actors_type");
    PrintPendingError();

    for (int32_t i = 0; i < mPendingModules.GetCount(); ++i)
    {
        const PendingModule& pending = mPendingModules[i];
        if (!pending.fill || !pending.name)
            continue;
        if (PyObject* module = CreateModule(pending.name))
            pending.fill(module, pending.argument);
        PrintPendingError();
    }
    mPendingModules.RemoveAll();

    if (PyObject* builtins = PyEval_GetBuiltins())
    {
        PyObject* zero = PyLong_FromLong(0);
        if (zero)
            PyDict_SetItemString(builtins, "__PythonWin__", zero);
        Py_XDECREF(zero);
    }
    PrintPendingError();

    AppendRootPath();

    if (mHooks.makeMarkModule)
        mHooks.makeMarkModule();
    PrintPendingError();

    mScriptingStarted = 1;
}

void ScriptWorldManager::ImportScriptResource(const char* id)
{
    if (!id)
        return;
    if (mFirstScriptId != id)
        mFirstScriptId = id;
    HbResourceManager* resources = HbResourceManager::Instance();
    // GetPath answers one shared string: keep a copy.
    std::string path = resources ? resources->GetPath(id) : "";
    std::string directory = ScriptGetDirectoryPart(path.c_str());
    std::string name = ScriptGetModuleName(path.c_str());
    mScriptImported = 1;
    if (!ScriptInterpreter::IsStarted())
        return;

    if (PyObject* sysPath = PySys_GetObject("path"); sysPath && PyList_Check(sysPath))
    {
        bool present = false;
        for (Py_ssize_t i = 0; i < PyList_GET_SIZE(sysPath) && !present; ++i)
        {
            const char* entry = PyUnicode_Check(PyList_GET_ITEM(sysPath, i))
                                    ? PyUnicode_AsUTF8(PyList_GET_ITEM(sysPath, i))
                                    : nullptr;
            present = entry && directory == entry;
        }
        PrintPendingError();
        if (!present)
        {
            PyObject* entry = PyUnicode_FromString(directory.c_str());
            if (entry)
                PyList_Append(sysPath, entry);
            Py_XDECREF(entry);
            PrintPendingError();
        }
    }

    if (name.empty() || name.size() > size_t(kScriptMaxModuleNameLength))
    {
        char message[160];
        std::snprintf(message, sizeof(message), "ImportScriptResource: %s has no usable module name (%zu characters)\n",
                      id, name.size());
        HbFilePuts(message, ScriptInterpreter::GetErrorLog());
        return;
    }
    char command[256];
    std::snprintf(command, sizeof(command), "from %s import *\n", name.c_str());
    RunSimpleStringGuarded(command);
}

void ScriptWorldManager::UnloadScriptModule()
{
    if (!mScriptImported)
        return;
    if (mLevelStarted)
        EndLevel();
    if (ScriptInterpreter::IsStarted())
    {
        HbResourceManager* resources = HbResourceManager::Instance();
        std::string path = resources ? resources->GetPath(mFirstScriptId.c_str()) : "";
        std::string name = ScriptGetModuleName(path.c_str());
        if (!name.empty())
            PyDict_DelItemString(PyImport_GetModuleDict(), name.c_str());
        PrintPendingError();
        ReleaseLevelCallables();
    }
    mScriptImported = 0;
}

void ScriptWorldManager::StopScripting()
{
    if (ScriptInterpreter::IsStarted())
        ReleaseLevelCallables();
    ScriptInterpreter::Stop();
    // The module "skills" points into the registry's method table until the interpreter has
    // finished: the table goes after it.
    if (TsSkillRegistry* skills = TsSkillRegistry::Instance())
        skills->Clear();
    mMainThreadState = nullptr;
    mSkills = mLocation = mStates = mActorTools = mSound = nullptr;
    mScriptingStarted = 0;
}

int ScriptWorldManager::AddSkillConstant(const char* name, int32_t value)
{
    return SetLong(mSkills, name, value);
}

int ScriptWorldManager::AddStateConstant(const char* name, int32_t value)
{
    return SetLong(mStates, name, value);
}

bool ScriptWorldManager::RunString(const char* text)
{
    if (!text || !ScriptInterpreter::IsStarted())
        return false;
    return RunSimpleStringGuarded(text);
}

void ScriptWorldManager::ReleaseLevelCallables()
{
    PyObject* start = mLevelStart;
    PyObject* end = mLevelEnd;
    mLevelStart = mLevelEnd = nullptr;
    Py_XDECREF(start);
    Py_XDECREF(end);
}
