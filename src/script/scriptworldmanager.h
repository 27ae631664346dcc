// ScriptWorldManager: the script host of the game. It owns the interpreter's life, builds the
// game's modules and imports the first script; every frame it gives the registered actors
// their turn (sensors, queued events, motor skills, updates); it keeps the running level's
// objects and ends the level in a fixed order.
#pragma once

#include "hbgrowarray.h"
#include "hbptrlist.h"
#include "scripteventid.h"
#include "scriptworldhooks.h"

#include <cstdint>
#include <string>
#include <vector>

typedef struct _object PyObject;
typedef struct _ts PyThreadState;
struct Vector;
struct W3dCollisionResult;
class HbRoot;
class TsActor;
class TsEvent;
class TsSendEvent;
class W3dNode;
class WScene;

/// "from " + name + " import *\n" must fit the 256-byte command.
constexpr int32_t kScriptMaxModuleNameLength = 240;

/// The text before the last backslash; the whole path when there is none.
std::string ScriptGetDirectoryPart(const char* path);
/// The text after the last backslash up to the last full stop after it (to the end when
/// there is none).
std::string ScriptGetModuleName(const char* path);

class ScriptWorldManager
{
public:
    static constexpr int32_t kMaxCameraCollisionActors = 200;
    static constexpr int32_t kInitialQueueSize = 100;
    /// Rate limits of the sensor kinds, in seconds.
    static constexpr float kDistancePeriod = 0.1f;
    static constexpr float kSightPeriod = 0.2f;
    static constexpr int32_t kMsSucceeded = 2;
    static constexpr int32_t kMsFailed = 8;

    using ModuleFill = void (*)(PyObject* module, int32_t argument);
    using KeyCallback = void (*)(intptr_t argument);
    using ActorFunction = int32_t (*)(TsActor* actor, void* a, void* b);
    using RangeFunction = int32_t (*)(TsActor* actor, void* user, const float* squaredDistance);

    /// Nothing started, no level; the new object becomes the one Instance answers (the one
    /// it replaced comes back when it is destroyed).
    ScriptWorldManager();
    /// Lets go of the level's objects; listed actors and queued events are not released
    /// (at program exit their storage goes with the program).
    ~ScriptWorldManager();
    ScriptWorldManager(const ScriptWorldManager&) = delete;
    ScriptWorldManager& operator=(const ScriptWorldManager&) = delete;

    /// The program's script world.
    static ScriptWorldManager* Instance();

    /// Filled by the layers above when they start; see ScriptWorldHooks.
    ScriptWorldHooks& Hooks() { return mHooks; }

    // ---- Start-up and shut-down -------------------------------------------------------------

    /// Queues a module made and filled at the next StartScripting (a null fill makes none).
    /// The argument; registering after the start has no effect until the next one.
    int32_t RegisterPendingModule(const char* name, ModuleFill fill, int32_t argument);
    /// Starts the interpreter and builds the modules in their fixed order: location, skills,
    /// sound, states, pyactor_tools, event, family, actors_type, the pending modules, mark.
    /// A failing step's error is printed and cleared and the start goes on.
    void StartScripting();
    /// Imports the resource's script into __main__ ("from <name> import *") after putting
    /// its folder on sys.path once. An empty or overlong module name is refused (logged).
    /// The imported flag is set in any case.
    void ImportScriptResource(const char* id);
    /// Ends a started level, then takes the first script's module out of sys.modules and
    /// drops the level callables. Nothing unless a script was imported.
    void UnloadScriptModule();
    /// Drops the level callables, stops the interpreter and then clears the skill registry;
    /// it may be started again.
    void StopScripting();
    /// A long integer in "skills" or "states"; the dictionary store's result, -1 when the
    /// module is not there.
    int AddSkillConstant(const char* name, int32_t value);
    int AddStateConstant(const char* name, int32_t value);
    /// Runs the text in __main__; true when it ran without error (an error is printed).
    bool RunString(const char* text);

    // ---- The frame ------------------------------------------------------------------------------

    /// One frame: the hero, the queued events, every other actor's sensors, skills and
    /// update, then the event boxes and triggers. Nothing while the script-failure flag is set.
    void Update();
    /// Copies the event into the queue unless one with the same id and target waits already.
    void QueueEvent(const TsSendEvent& event);
    /// Lists the actor with a reference (the hero in front) and sets its registered flag.
    /// 1 added, 0 already listed.
    int32_t AddActor(TsActor* actor);
    /// 1 removed now; 0 when not listed or when asked during a walk of the list (the removal
    /// then happens when the walk ends, or right after the actor's turn).
    int32_t RemoveActor(TsActor* actor);
    /// Holds a reference on the new hero, drops the old one's. The actor.
    TsActor* SetHero(TsActor* actor);
    /// fn for every listed actor until it answers 0; 0 then, else 1.
    int32_t ForEachActor(ActorFunction fn, void* a, void* b);
    /// The same over the actors whose family meets wanted and none of excluded.
    int32_t ForEachActorWithFlags(ActorFunction fn, void* a, void* b, uint32_t wanted, uint32_t excluded);
    /// Squared distance of two actors in world units: 0 for the same actor or node, -1 when
    /// either has no node or its node is in no scene.
    float GetActorDistance(TsActor* a, TsActor* b);
    /// 1 when the level's triangles block the line from 90 units above a to 90 below b; 1
    /// when either has no node; 0 without a level.
    int32_t IsLineOfSightBlocked(TsActor* a, TsActor* b);
    /// The vertical segment of the given half height through the point against the level's
    /// triangles; the nearest hit in result. The hit flag.
    int32_t TestSegment(W3dCollisionResult* result, const Vector* point, W3dNode* ignore, float height);
    /// fn(actor, user, squared distance) for every actor of the mask strictly within the
    /// radius of the centre (and in its sight when asked), until fn answers 0. A negative
    /// radius reports nothing. 1.
    int32_t QueryActorsInRange(RangeFunction fn, void* user, TsActor* centre, int32_t radius, uint32_t mask,
                               int32_t needSight);
    /// Queues {id, centre, actor, value} for each actor the same filter admits. 1.
    int32_t QueueEventsInRange(TsActor* centre, int32_t radius, int32_t id, uint32_t mask, int32_t needSight,
                               float value);

    // ---- The level ------------------------------------------------------------------------------

    /// Shows the level resource in the scene (made by the first call). 1, or 0 when the id
    /// is not a level (the scene is then left without one).
    int32_t LoadLevel(const char* id);
    /// Each needs a scene; 1 loaded, 0 not.
    int32_t LoadAStar(const char* id);
    int32_t LoadEventBoxes(const char* id);
    /// Works without a scene.
    int32_t LoadCinematicSplines(const char* id);
    /// A mark system over the scenario data and the scene's level, its paths resolved (a
    /// mark name the database lacks is skipped). 0 without a scene, a level or a mark system.
    int32_t LoadScenaricData(const char* name);
    /// Holds references on both (either may be null) until replaced, unloaded or stopped.
    void SetLevelCallbacks(PyObject* start, PyObject* end);
    /// Clears the script-failure flag, calls the start callable, runs the key-0 callbacks.
    /// Nothing without a start callable.
    void StartLevelScript();
    /// Ends a started level: the end callable (skipped after a script failure), the actors
    /// not stored across levels, the level's objects and the scene, the queue, sounds and
    /// triggers, then the key-1 callbacks. Nothing unless a level is started.
    void EndLevel();
    /// Lets go of the current scene with the level's objects; holds and shows the new one.
    /// The renderer's result, or null.
    WScene* SetScene(WScene* scene);
    /// Appends a record; 0.
    int32_t AddKeyCallback(KeyCallback fn, intptr_t argument, int32_t key);
    /// Removes the first record of fn whatever its key; 0, or 1 when there is none.
    int32_t RemoveKeyCallback(KeyCallback fn);
    /// fn(argument) of every record of the key, in order; 0.
    int32_t RunKeyCallbacks(int32_t key);
    /// What went wrong since the level script last started, oldest first: a level, graph,
    /// scenario data or event boxes that could not be loaded ("<file> (<id>) <what>"), and the
    /// start callable's exception ("the level script failed: <type>: <text>"). The stage refuses
    /// a sector that leaves any. The call empties the record.
    std::vector<std::string> TakeLevelFaults();

    // ---- State --------------------------------------------------------------------------------

    int32_t IsScriptingStarted() const { return mScriptingStarted; }
    int32_t IsScriptImported() const { return mScriptImported; }
    int32_t IsLevelStarted() const { return mLevelStarted; }
    int32_t GetScriptFailure() const { return mScriptFailure; }
    int32_t GetLastSensorKind() const { return mLastSensorKind; }
    const std::string& GetFirstScriptId() const { return mFirstScriptId; }
    PyThreadState* GetMainThreadState() const { return mMainThreadState; }
    TsActor* GetHero() const { return mHero; }
    const HbPtrList& GetActors() const { return mActors; }
    int32_t GetQueuedCount() const { return mQueueCount; }
    TsSendEvent* GetQueuedEvent(int32_t index) const { return mQueue[index]; }
    int32_t GetCameraCollisionCount() const { return mCameraCollisionCount; }
    TsActor* GetCameraCollisionActor(int32_t index) const { return mCameraCollision[index]; }
    WScene* GetScene() const { return mScene; }
    HbRoot* GetAStar() const { return mAStar; }
    HbRoot* GetMarkSystem() const { return mMarkSystem; }
    HbRoot* GetEventBoxes() const { return mEventBoxes; }
    HbRoot* GetCinematicSplines() const { return mSplines; }
    int32_t GetKeyCallbackCount() const { return mKeyCallbacks.GetCount(); }

private:
    struct PendingModule
    {
        const char* name;
        ModuleFill fill;
        int32_t argument;
    };
    struct KeyRecord
    {
        KeyCallback fn;
        intptr_t argument;
        int32_t key;
    };
    /// What a sensor tests and how a passing candidate is delivered.
    using SensorTest = int32_t (ScriptWorldManager::*)(TsActor* owner, TsActor* candidate, TsEvent* event);
    using SensorDelivery = int32_t (ScriptWorldManager::*)(TsActor* candidate, TsEvent* event);

    // Start-up steps.
    PyObject* CreateModule(const char* name);
    void AppendRootPath();

    // The frame.
    void UpdateActor(TsActor* actor);
    int32_t UpdateActors();
    void UpdateSensors(TsActor* actor);
    int32_t DispatchSensorEvent(TsActor* owner, TsEvent* event, SensorTest test, SensorDelivery delivery);
    int32_t FlushEvents();
    /// Frees the queued event at the index and closes the gap with the last one, keeping the
    /// events a flush queued behind those it delivers.
    void RemoveQueued(int32_t index);
    void CheckSkillError(TsActor* actor);
    void RemoveActorNode(HbPtrListNode* node);
    /// Deactivates every listed actor's registration whose fixed target is the actor leaving
    /// the world, dropping its hold on it.
    void DropRegistrationsOn(TsActor* actor);
    HbPtrListNode* FindActorNode(TsActor* actor) const;
    /// Removals asked while a walk of the list runs wait until the outermost walk ends.
    void BeginWalk() { ++mWalkDepth; }
    void EndWalk();
    bool RateAllows(TsEvent* event, float period) const;
    bool InRange(TsActor* centre, TsActor* actor, int32_t radius, uint32_t mask, int32_t needSight, float* distance);

    int32_t TestDistanceIn(TsActor* owner, TsActor* candidate, TsEvent* event);
    int32_t TestDistanceOut(TsActor* owner, TsActor* candidate, TsEvent* event);
    int32_t TestDistanceInColl(TsActor* owner, TsActor* candidate, TsEvent* event);
    int32_t TestSee(TsActor* owner, TsActor* candidate, TsEvent* event);
    int32_t TestTimer(TsActor* owner, TsActor* candidate, TsEvent* event);
    int32_t TestContextAction(TsActor* owner, TsActor* candidate, TsEvent* event);
    int32_t DeliverCall(TsActor* candidate, TsEvent* event);
    int32_t DeliverTimer(TsActor* candidate, TsEvent* event);
    int32_t DeliverContext(TsActor* candidate, TsEvent* event);

    // The level.
    void ReleaseHeld(HbRoot*& object);
    void ReleaseEventBoxes();
    void ReleaseLevelCallables();
    void ClearQueue();
    void ResolveScenarioPaths();
    /// Records that the resource of the id could not be used as what the level asked for.
    void NoteLevelFault(const char* id, const char* what);

    ScriptWorldHooks mHooks = {};
    std::vector<std::string> mLevelFaults;

    TsActor* mCameraCollision[kMaxCameraCollisionActors] = {};
    int32_t mCameraCollisionCount = 0;
    HbGrowArray<PendingModule> mPendingModules;
    HbGrowArray<KeyRecord> mKeyCallbacks;
    int32_t mScriptFailure = 0;
    PyThreadState* mMainThreadState = nullptr;
    PyObject* mLevelStart = nullptr;
    PyObject* mLevelEnd = nullptr;
    int32_t mScriptingStarted = 0;
    int32_t mScriptImported = 0;
    int32_t mLevelStarted = 0;
    std::string mFirstScriptId;
    WScene* mScene = nullptr;
    HbRoot* mAStar = nullptr;
    HbRoot* mMarkSystem = nullptr;
    HbRoot* mEventBoxes = nullptr;
    HbRoot* mSplines = nullptr;
    PyObject* mSkills = nullptr;
    PyObject* mLocation = nullptr;
    PyObject* mStates = nullptr;
    PyObject* mActorTools = nullptr;
    PyObject* mSound = nullptr;
    HbPtrList mActors{10};
    int32_t mLastSensorKind = 0;
    HbPtrListNode* mCurrentNode = nullptr;
    int32_t mWalkDepth = 0;
    int32_t mRemovalsPending = 0;
    TsActor* mHero = nullptr;
    HbGrowArray<TsSendEvent*> mQueue;
    int32_t mQueueCount = 0;
    /// While a flush runs: how many events at the queue's front it still delivers; what its
    /// handlers queue waits behind them for the next frame's flush.
    int32_t mFlushCount = 0;
    ScriptWorldManager* mPrevious = nullptr;
};
