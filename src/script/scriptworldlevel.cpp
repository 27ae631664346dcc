// ScriptWorldManager: the level lifecycle. The level's objects held for the running level,
// its start and end, and the keyed callbacks of the stage.
#include "scriptworldmanager.h"

#include "hbresource.h"
#include "scriptinterpreter.h"
#include "tsactor.h"
#include "tsfamilies.h"
#include "tssendevent.h"
#include "uthread.h"
#include "w3dlevel.h"
#include "wrenderer.h"
#include "wscene.h"

#include <Python.h>

#include <cstring>

namespace
{
/// The resource with one reference of the caller's, or null.
HbRoot* GetHeldResource(const char* id)
{
    HbResourceManager* resources = HbResourceManager::Instance();
    return resources && id ? resources->AcquireResource(id) : nullptr;
}

// "<type>: <text>" of the pending exception, which stays pending.
std::string DescribeError()
{
    PyObject* type = nullptr;
    PyObject* value = nullptr;
    PyObject* traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    PyErr_NormalizeException(&type, &value, &traceback);
    std::string text = type && PyType_Check(type) ? reinterpret_cast<PyTypeObject*>(type)->tp_name : "error";
    if (PyObject* str = value ? PyObject_Str(value) : nullptr)
    {
        if (const char* utf8 = PyUnicode_AsUTF8(str))
            text += std::string(": ") + utf8;
        Py_DECREF(str);
    }
    PyErr_Clear();
    PyErr_Restore(type, value, traceback);
    return text;
}

/// Calls the callable and prints its exception; the exception's description, or "" when it
/// ran through.
std::string CallLevelCallable(PyObject* callable)
{
    if (!callable || !ScriptInterpreter::IsStarted())
        return {};
    PyObject* result = UthreadGuardedCall(callable, nullptr);
    Py_XDECREF(result);
    if (!PyErr_Occurred())
        return {};
    std::string error = DescribeError();
    PyErr_Print();
    return error;
}
} // namespace

void ScriptWorldManager::ReleaseHeld(HbRoot*& object)
{
    HbRoot* old = object;
    object = nullptr;
    if (old)
        old->Release();
}

void ScriptWorldManager::ReleaseEventBoxes()
{
    if (mEventBoxes && mHooks.eventBoxesFreeIndex)
        mHooks.eventBoxesFreeIndex(mEventBoxes);
    ReleaseHeld(mEventBoxes);
}

WScene* ScriptWorldManager::SetScene(WScene* scene)
{
    if (mScene)
    {
        ReleaseHeld(mAStar);
        ReleaseHeld(mMarkSystem);
        ReleaseEventBoxes();
        ReleaseHeld(mSplines);
        if (WRenderer* renderer = WRenderer::Instance(); renderer && renderer->GetScene() == mScene)
            renderer->ReleaseScene();
        WScene* old = mScene;
        mScene = nullptr;
        old->Release();
    }
    mScene = scene;
    if (!scene)
        return nullptr;
    scene->AddRef();
    WRenderer* renderer = WRenderer::Instance();
    return renderer ? renderer->SetScene(scene) : nullptr;
}

int32_t ScriptWorldManager::LoadLevel(const char* id)
{
    HbRoot* marks = mMarkSystem;
    if (marks)
        marks->AddRef();
    if (!mScene)
    {
        if (WScene* scene = new WScene())
            SetScene(scene);
    }
    if (mScene && mScene->GetLevel())
    {
        if (marks && mHooks.markSystemSetLevel)
            mHooks.markSystemSetLevel(marks, nullptr);
        mScene->SetLevel(nullptr);
    }
    int32_t loaded = 0;
    HbRoot* resource = GetHeldResource(id);
    W3dLevel* level = HbCastTo<W3dLevel>(resource);
    if (level && mScene)
    {
        mScene->SetLevel(level);
        if (marks && mHooks.markSystemSetLevel)
            mHooks.markSystemSetLevel(marks, level);
        loaded = 1;
    }
    if (resource)
        resource->Release();
    if (marks)
        marks->Release();
    if (!loaded)
        NoteLevelFault(id, resource ? "is not a level" : "cannot be loaded");
    else if (!level->GetMainWorld())
        NoteLevelFault(id, "holds no world to show");
    return loaded;
}

int32_t ScriptWorldManager::LoadAStar(const char* id)
{
    if (!mScene)
        return 0;
    ReleaseHeld(mAStar);
    mAStar = GetHeldResource(id);
    if (!mAStar)
        NoteLevelFault(id, "cannot be loaded");
    else if (mHooks.graphCellCount && mHooks.graphCellCount(mAStar) == 0)
        NoteLevelFault(id, "holds no navigation cell");
    return mAStar ? 1 : 0;
}

int32_t ScriptWorldManager::LoadEventBoxes(const char* id)
{
    if (!mScene)
        return 0;
    ReleaseEventBoxes();
    mEventBoxes = GetHeldResource(id);
    if (!mEventBoxes)
    {
        NoteLevelFault(id, "cannot be loaded");
        return 0;
    }
    if (mHooks.eventBoxesLoad)
        mHooks.eventBoxesLoad(mEventBoxes, HeroFamily | HeroEnemyFamily, DofFamily);
    return 1;
}

int32_t ScriptWorldManager::LoadCinematicSplines(const char* id)
{
    ReleaseHeld(mSplines);
    mSplines = GetHeldResource(id);
    return mSplines ? 1 : 0;
}

int32_t ScriptWorldManager::LoadScenaricData(const char* name)
{
    if (!mScene)
        return 0;
    ReleaseHeld(mMarkSystem);
    W3dLevel* level = mScene->GetLevel();
    HbRoot* marks = level && mHooks.createMarkSystem ? mHooks.createMarkSystem(name, level) : nullptr;
    if (!marks)
    {
        NoteLevelFault(name, level ? "cannot be loaded" : "has no level to lie on");
        return 0;
    }
    marks->AddRef();
    mMarkSystem = marks;
    ResolveScenarioPaths();
    return 1;
}

void ScriptWorldManager::ResolveScenarioPaths()
{
    const ScriptWorldHooks& h = mHooks;
    if (!h.markSystemDatabase || !h.databasePathCount || !h.databasePath || !h.pathMarkNameCount || !h.pathMarkName ||
        !h.databaseFindMark || !h.pathAddMark)
        return;
    void* database = h.markSystemDatabase(mMarkSystem);
    if (!database)
        return;
    int32_t paths = h.databasePathCount(database);
    for (int32_t p = 0; p < paths; ++p)
    {
        void* path = h.databasePath(database, p);
        if (!path)
            continue;
        int32_t names = h.pathMarkNameCount(path);
        for (int32_t n = 0; n < names; ++n)
        {
            // A name the database lacks is skipped: a path holds only marks that exist.
            const char* markName = h.pathMarkName(path, n);
            void* mark = markName ? h.databaseFindMark(database, markName) : nullptr;
            if (mark)
                h.pathAddMark(path, mark);
        }
    }
}

void ScriptWorldManager::SetLevelCallbacks(PyObject* start, PyObject* end)
{
    Py_XINCREF(start);
    Py_XINCREF(end);
    ReleaseLevelCallables();
    mLevelStart = start;
    mLevelEnd = end;
}

void ScriptWorldManager::StartLevelScript()
{
    if (!mLevelStart)
        return;
    mScriptFailure = 0;
    mLevelFaults.clear();
    // Held for the call: the start callable may replace the callables.
    PyObject* start = mLevelStart;
    Py_INCREF(start);
    if (const std::string error = CallLevelCallable(start); !error.empty())
        mLevelFaults.push_back("the level script failed: " + error);
    Py_DECREF(start);
    RunKeyCallbacks(0);
    mLevelStarted = 1;
}

void ScriptWorldManager::EndLevel()
{
    if (!mScriptImported || !mLevelStarted)
        return;
    if (mLevelEnd && !mScriptFailure)
    {
        PyObject* end = mLevelEnd;
        Py_INCREF(end);
        CallLevelCallable(end);
        Py_DECREF(end);
    }
    mLevelStarted = 0;

    // Actors stored across levels keep their places; the others are let go with their
    // registered flags as they were. Ended from inside a walk of the list (a callback of the
    // frame), they leave when the walk ends instead: the walk holds their nodes.
    for (HbPtrListNode* node = mActors.GetHead(); node;)
    {
        HbPtrListNode* next = node->next;
        auto* actor = static_cast<TsActor*>(node->value);
        if (!(mHooks.isScriptStored && mHooks.isScriptStored(actor)))
        {
            if (mWalkDepth > 0)
            {
                actor->mRemovalRequested = 1;
                mRemovalsPending = 1;
            }
            else
            {
                mActors.RemoveAt(node);
                DropRegistrationsOn(actor);
                actor->Release();
            }
        }
        node = next;
    }

    ReleaseHeld(mMarkSystem);
    ReleaseHeld(mAStar);
    SetScene(nullptr);
    ClearQueue();
    if (mHooks.stopAllSoundChannels)
        mHooks.stopAllSoundChannels();
    if (mHooks.triggersStopAll)
        mHooks.triggersStopAll();
    RunKeyCallbacks(1);
}

void ScriptWorldManager::NoteLevelFault(const char* id, const char* what)
{
    // Named by its file when the resource manager knows one: that is what a person can mend.
    HbResourceManager* resources = HbResourceManager::Instance();
    const char* path = resources && id ? resources->GetPath(id) : nullptr;
    const std::string name = id ? id : "(no id)";
    if (mLevelFaults.size() < 16)
        mLevelFaults.push_back((path && *path ? std::string(path) + " (" + name + ")" : name) + " " + what);
}

std::vector<std::string> ScriptWorldManager::TakeLevelFaults()
{
    std::vector<std::string> faults;
    faults.swap(mLevelFaults);
    return faults;
}

int32_t ScriptWorldManager::AddKeyCallback(KeyCallback fn, intptr_t argument, int32_t key)
{
    mKeyCallbacks.Add(KeyRecord{fn, argument, key});
    return 0;
}

int32_t ScriptWorldManager::RemoveKeyCallback(KeyCallback fn)
{
    int32_t count = mKeyCallbacks.GetCount();
    for (int32_t i = 0; i < count; ++i)
    {
        if (mKeyCallbacks[i].fn != fn)
            continue;
        KeyRecord* records = mKeyCallbacks.GetData();
        std::memmove(records + i, records + i + 1, sizeof(KeyRecord) * size_t(count - i - 1));
        mKeyCallbacks.SetSize(count - 1);
        return 0;
    }
    return 1;
}

int32_t ScriptWorldManager::RunKeyCallbacks(int32_t key)
{
    // The count is read again at each step: a callback may add or remove records.
    for (int32_t i = 0; i < mKeyCallbacks.GetCount(); ++i)
    {
        KeyRecord record = mKeyCallbacks[i];
        if (record.key == key && record.fn)
            record.fn(record.argument);
    }
    return 0;
}
