// The "uthread" module. A microthread is a greenlet running one script function;
// step() switches into it, and it switches back to whoever stepped it when it
// blocks on a semaphore or a synchronizer. It never stops on its own otherwise:
// the steps setting is a flag (0: do not run at all), not an instruction count.
//
// Stack note: greenlet moves C stack slices by copying them. Every function of
// ours that can be on a microthread's stack at a switch is built without address
// sanitizing (its frame then has no poisoned red zones for the copy to trip on),
// and a microthread's first switch is made below a pad of stack so that later
// steps from a slightly deeper caller never make greenlet copy the caller's frames.
#include "uthread.h"

#include "hbfile.h"
#include "script_local.h"
#include "scriptinterpreter.h"
#include "tsscriptcall.h"

#include <greenlet/greenlet.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <new>
#include <string_view>
#include <thread>

#define UTHREAD_SWITCHING __attribute__((no_sanitize_address, noinline))

namespace
{

constexpr size_t kFirstSwitchPad = 256 * 1024;

struct UthreadObject
{
    PyObject ob_base;
    int32_t blocked;
    int32_t resumeValue;
    /// Null once the microthread is dead (finished, raised or ended).
    PyGreenlet* greenlet;
    /// The first call's arguments, until the first step hands them over.
    PyObject* args;
    /// The waiting list it is in while blocked (borrowed: the list holds it), and
    /// the synchronizer count its wait added to; both cleared when the owner dies.
    PyObject* waitingList;
    int32_t* waitCounter;
    int32_t running;
    /// Set while GreenletExit is being raised inside it: it may not block again.
    int32_t ending;
    UthreadObject* prevLive;
    UthreadObject* nextLive;
};

struct SemaphoreObject
{
    PyObject ob_base;
    int32_t count;
    /// Front: the most recent waiter.
    PyObject* waiting;
};

struct SynchronizerObject
{
    PyObject ob_base;
    int32_t count;
    int32_t maxcount;
    PyObject* waiting;
};

struct ModuleState
{
    PyTypeObject* uthreadType = nullptr;
    PyTypeObject* semaphoreType = nullptr;
    PyTypeObject* synchronizerType = nullptr;
    PyTypeObject* workingType = nullptr;
    PyObject* working = nullptr;
    /// Raised into a step past its time limit: a BaseException, so a script's
    /// "except Exception" lets it through; never handed to scripts by name.
    PyObject* overrunType = nullptr;
    /// The innermost microthread that is running.
    UthreadObject* running = nullptr;
    /// Guarded calls from the game in progress: the watchdog stops them too.
    int32_t guardedCalls = 0;
    UthreadObject* live = nullptr;
    int32_t liveCount = 0;
    int32_t steps = 200;
    int32_t debug = 51;
    uint32_t seedX = 0;
    uint32_t seedY = 0;
    uint32_t seedZ = 0;
};

ModuleState gState;

// ---- Failure helpers ------------------------------------------------------------------

[[noreturn]] void Ouch(int line)
{
    HbFilePrintf(ScriptInterpreter::GetErrorLog(), "uthread line %d ouch!!\n", line);
    HbFileFlush(ScriptInterpreter::GetErrorLog());
    // No exit handlers: the interpreter is in an inconsistent state.
    std::_Exit(1);
}

PyObject* OutOfMemory(int line)
{
    return PyErr_Format(PyExc_RuntimeError, "Out of memory, uthread line %d", line);
}

PyObject* NewWorking()
{
    Py_INCREF(gState.working);
    return gState.working;
}

// ---- Step watchdog ----------------------------------------------------------------------

// A helper thread that only watches the clock: when the outermost step() (or the
// ending of a microthread) has run past the limit it queues a pending call, again
// at every interval until the step returns, which the interpreter runs on the main
// thread at its next check and which raises inside the running microthread. From
// the first of them on, the step is overrunning: a trace function raises the same
// exception at every line and call, so that no try/except (bare or not) can keep
// the microthread going, and no microthread may block or be stepped.
class Watchdog
{
public:
    void SetLimit(int milliseconds) { mLimitMs.store(milliseconds > 0 ? milliseconds : 0); }
    int GetLimit() const { return mLimitMs.load(); }
    bool Overrunning() const { return mOverrun; }
    bool Outermost() const { return mDepth.load() == 0; }

    void Enter()
    {
        if (mDepth++ == 0)
        {
            mStartNs.store(NowNs());
            mGeneration.fetch_add(1);
        }
        // Also when nested: the module's first import, inside a guarded call, stops the thread.
        if (mLimitMs.load() > 0 && !mThread.joinable())
        {
            // The watchdog's thread state is made here, on the main thread: the
            // framework heap behind the interpreter's memory is not meant to be
            // entered from two threads at once.
            mThreadState = PyThreadState_New(PyInterpreterState_Get());
            if (!mThreadState)
            {
                PyErr_Clear();
                return;
            }
            mQuit = false;
            mThread = std::thread([this] { Run(); });
        }
    }

    void Leave()
    {
        if (--mDepth == 0 && mOverrun)
            Disarm();
    }

    void Stop()
    {
        if (!mThread.joinable())
            return;
        {
            std::lock_guard<std::mutex> lock(mMutex);
            mQuit = true;
        }
        mWake.notify_all();
        // The watchdog may be waiting for the interpreter's lock.
        PyThreadState* saved = Py_IsInitialized() && PyGILState_Check() ? PyEval_SaveThread() : nullptr;
        mThread.join();
        if (saved)
            PyEval_RestoreThread(saved);
        if (mThreadState && Py_IsInitialized())
        {
            PyThreadState_Clear(mThreadState);
            PyThreadState_Delete(mThreadState);
        }
        mThreadState = nullptr;
    }

    /// Sets the overrun error; null, for returning.
    PyObject* RaiseOverrun() const
    {
        PyErr_Format(gState.overrunType ? gState.overrunType : PyExc_RuntimeError, "%s ran longer than %d ms and was stopped",
                     gState.running ? "microthread step" : "script call", mLimitMs.load());
        return nullptr;
    }

    /// Puts the raising trace function on the running code. Tracing is switched on per
    /// greenlet, so this is repeated whenever an overrunning step returns into another.
    void Arm()
    {
        PyThreadState* state = PyThreadState_Get();
        PyObject *type, *value, *traceback;
        PyErr_Fetch(&type, &value, &traceback);
        if (!mOverrun)
        {
            mOverrun = true;
            mSavedTrace = state->c_tracefunc;
            mSavedTraceObject = state->c_traceobj;
            Py_XINCREF(mSavedTraceObject);
        }
        PyEval_SetTrace(&Watchdog::Trace, nullptr);
        PyErr_Restore(type, value, traceback);
    }

    // Runs on the main thread with the interpreter's lock held.
    static int Interrupt(void* generation);

private:
    static int Trace(PyObject*, PyFrameObject*, int what, PyObject*);

    // Gives back the trace function that was set before the overrun.
    void Disarm()
    {
        mOverrun = false;
        if (!Py_IsInitialized())
            return;
        PyObject *type, *value, *traceback;
        PyErr_Fetch(&type, &value, &traceback);
        PyEval_SetTrace(mSavedTrace, mSavedTraceObject);
        Py_CLEAR(mSavedTraceObject);
        mSavedTrace = nullptr;
        PyErr_Restore(type, value, traceback);
    }

    static int64_t NowNs()
    {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }

    void Run()
    {
        std::unique_lock<std::mutex> lock(mMutex);
        while (!mQuit)
        {
            int limit = mLimitMs.load();
            int interval = limit > 0 ? (limit / 8 > 2 ? limit / 8 : 2) : 100;
            mWake.wait_for(lock, std::chrono::milliseconds(interval));
            if (mQuit || limit <= 0 || mDepth.load() <= 0)
                continue;
            uint32_t generation = mGeneration.load();
            if (NowNs() - mStartNs.load() < int64_t(limit) * 1000000)
                continue;
            // A pending call added from this thread does not wake the interpreter by
            // itself; taking the lock makes the main thread hand it over and, when
            // it takes it back, notice the call.
            lock.unlock();
            PyEval_RestoreThread(mThreadState);
            Py_AddPendingCall(&Watchdog::Interrupt, reinterpret_cast<void*>(uintptr_t(generation)));
            PyEval_SaveThread();
            lock.lock();
        }
    }

    std::thread mThread;
    PyThreadState* mThreadState = nullptr;
    std::mutex mMutex;
    std::condition_variable mWake;
    bool mQuit = false;
    std::atomic<int> mLimitMs{kUthreadDefaultStepLimitMs};
    std::atomic<int> mDepth{0};
    std::atomic<int64_t> mStartNs{0};
    std::atomic<uint32_t> mGeneration{0};
    // Main thread only.
    bool mOverrun = false;
    Py_tracefunc mSavedTrace = nullptr;
    PyObject* mSavedTraceObject = nullptr;
};

// Never destroyed: at exit the interpreter, and the memory under it, may be gone before a
// static destructor would run. The interpreter's stop ends the thread (UthreadStop); a program
// that ends with the interpreter running leaves the sleeping thread to the exit.
alignas(Watchdog) unsigned char gWatchdogStorage[sizeof(Watchdog)];
Watchdog& gWatchdog = *new (gWatchdogStorage) Watchdog();

int Watchdog::Interrupt(void* generation)
{
    if (gWatchdog.mDepth.load() <= 0 || (!gState.running && gState.guardedCalls == 0) ||
        gWatchdog.mGeneration.load() != static_cast<uint32_t>(reinterpret_cast<uintptr_t>(generation)))
        return 0;
    gWatchdog.Arm();
    gWatchdog.RaiseOverrun();
    return -1;
}

int Watchdog::Trace(PyObject*, PyFrameObject*, int what, PyObject*)
{
    if (!gWatchdog.mOverrun || (what != PyTrace_LINE && what != PyTrace_CALL))
        return 0;
    gWatchdog.RaiseOverrun();
    return -1;
}

// ---- Live list ----------------------------------------------------------------------------

void LinkLive(UthreadObject* self)
{
    self->prevLive = nullptr;
    self->nextLive = gState.live;
    if (gState.live)
        gState.live->prevLive = self;
    gState.live = self;
    ++gState.liveCount;
}

void UnlinkLive(UthreadObject* self)
{
    if (self->prevLive)
        self->prevLive->nextLive = self->nextLive;
    else if (gState.live == self)
        gState.live = self->nextLive;
    else
        return;
    if (self->nextLive)
        self->nextLive->prevLive = self->prevLive;
    self->prevLive = self->nextLive = nullptr;
    --gState.liveCount;
}

// ---- Switching --------------------------------------------------------------------------

bool IsCurrent(PyGreenlet* greenlet)
{
    PyGreenlet* current = PyGreenlet_GetCurrent();
    Py_XDECREF(current);
    return current && current == greenlet;
}

// Makes the stepper the greenlet's parent, so that blocking and finishing come back here.
bool AdoptAsParent(PyGreenlet* greenlet)
{
    PyGreenlet* current = PyGreenlet_GetCurrent();
    if (!current)
        Ouch(__LINE__);
    int set = PyGreenlet_SetParent(greenlet, current);
    Py_DECREF(current);
    return set == 0;
}

UTHREAD_SWITCHING PyObject* FirstSwitch(PyGreenlet* greenlet, PyObject* args)
{
    volatile char* pad = static_cast<volatile char*>(__builtin_alloca(kFirstSwitchPad));
    pad[0] = 0;
    PyObject* result = PyGreenlet_Switch(greenlet, args, nullptr);
    pad[kFirstSwitchPad - 1] = 0;
    return result;
}

void RemoveFromWaitingList(UthreadObject* self)
{
    if (self->waitCounter && *self->waitCounter > 0)
        --*self->waitCounter;
    self->waitCounter = nullptr;
    if (!self->waitingList)
        return;
    Py_ssize_t at = PySequence_Index(self->waitingList, reinterpret_cast<PyObject*>(self));
    if (at >= 0)
        PySequence_DelItem(self->waitingList, at);
    else
        PyErr_Clear();
    self->waitingList = nullptr;
    self->blocked = 0;
}

// Blocks the running microthread in the waiting list (adding one to the counter
// when given) and goes back to its stepper; returns None when a release or a
// sync has woken it and it was stepped again, or null when it is being ended
// instead (it then no longer waits).
UTHREAD_SWITCHING PyObject* BlockRunning(PyObject* waitingList, const char* caller, int32_t* counter)
{
    UthreadObject* self = gState.running;
    if (!self || !self->greenlet || !IsCurrent(self->greenlet))
        return PyErr_Format(PyExc_RuntimeError, "%s() called outside a microthread", caller);
    if (self->ending)
        return PyErr_Format(PyExc_RuntimeError, "%s() called by a microthread that is being ended", caller);
    if (gWatchdog.Overrunning())
        return gWatchdog.RaiseOverrun();
    if (PyList_Insert(waitingList, 0, reinterpret_cast<PyObject*>(self)) < 0)
        return nullptr;
    self->blocked = 1;
    self->resumeValue = 0;
    self->waitingList = waitingList;
    self->waitCounter = counter;
    if (counter)
        ++*counter;
    PyGreenlet* parent = PyGreenlet_GetParent(self->greenlet);
    if (!parent)
        Ouch(__LINE__);
    PyObject* resumed = PyGreenlet_Switch(parent, nullptr, nullptr);
    Py_DECREF(parent);
    if (!resumed)
    {
        RemoveFromWaitingList(self);
        return nullptr;
    }
    Py_DECREF(resumed);
    Py_RETURN_NONE;
}

// Ends a suspended microthread by raising GreenletExit inside it, so that its
// finally blocks run; afterwards it is dead. Keeps any error the caller has pending.
UTHREAD_SWITCHING void Kill(UthreadObject* self)
{
    if (!self->greenlet)
        return;
    PyGreenlet* greenlet = self->greenlet;
    if (PyGreenlet_STARTED(greenlet) && PyGreenlet_ACTIVE(greenlet) && !self->running)
    {
        PyObject *type, *value, *traceback;
        PyErr_Fetch(&type, &value, &traceback);
        bool abandoned = false;
        if (AdoptAsParent(greenlet))
        {
            UthreadObject* outer = gState.running;
            gState.running = self;
            self->running = 1;
            self->ending = 1;
            // The ending runs script code: it has the step's time limit too.
            gWatchdog.Enter();
            PyObject* result = PyGreenlet_Throw(greenlet, PyExc_GreenletExit, nullptr, nullptr);
            gWatchdog.Leave();
            if (gWatchdog.Overrunning())
                gWatchdog.Arm();
            self->ending = 0;
            self->running = 0;
            gState.running = outer;
            if (result)
                Py_DECREF(result);
            else if (PyErr_ExceptionMatches(PyExc_GreenletExit))
                PyErr_Clear();
            else if (gState.overrunType && PyErr_ExceptionMatches(gState.overrunType))
            {
                PyErr_Clear();
                abandoned = true;
            }
            else
                ScriptInterpreter::PrintAndClearError();
        }
        else
            ScriptInterpreter::PrintAndClearError();
        if (abandoned || PyGreenlet_ACTIVE(greenlet))
            HbFilePuts("uthread: a microthread would not end and was abandoned\n", ScriptInterpreter::GetErrorLog());
        PyErr_Restore(type, value, traceback);
    }
    self->greenlet = nullptr;
    Py_DECREF(greenlet);
}

// ---- Microthread type ---------------------------------------------------------------------

UthreadObject* AsUthread(PyObject* object)
{
    return reinterpret_cast<UthreadObject*>(object);
}

UTHREAD_SWITCHING PyObject* UthreadStep(PyObject* object, PyObject*)
{
    UthreadObject* self = AsUthread(object);
    if (self->blocked)
        return NewWorking();
    if (!self->greenlet)
        return PyErr_Format(PyExc_RuntimeError, "trying to step a dead thread");
    if (self->running)
        return PyErr_Format(PyExc_RuntimeError, "trying to step a running thread");
    if (gState.steps == 0)
        return NewWorking();
    if (gWatchdog.Overrunning())
        return gWatchdog.RaiseOverrun();
    if (!AdoptAsParent(self->greenlet))
        return nullptr;

    Py_INCREF(object);
    PyObject* firstArgs = self->args;
    self->args = nullptr;
    self->resumeValue = 1;
    UthreadObject* outer = gState.running;
    gState.running = self;
    self->running = 1;
    gWatchdog.Enter();
    PyObject* result =
        firstArgs ? FirstSwitch(self->greenlet, firstArgs) : PyGreenlet_Switch(self->greenlet, nullptr, nullptr);
    gWatchdog.Leave();
    self->running = 0;
    gState.running = outer;
    Py_XDECREF(firstArgs);
    if (gWatchdog.Overrunning())
        gWatchdog.Arm(); // the outer step's code is stopped too
    else if (!result && gWatchdog.Outermost() && gState.overrunType && PyErr_ExceptionMatches(gState.overrunType))
    {
        // Whoever stepped it sees an ordinary error: the microthread is over, the game goes on.
        PyErr_Clear();
        PyErr_Format(PyExc_RuntimeError, "microthread step ran longer than %d ms and was stopped",
                     gWatchdog.GetLimit());
    }

    if (self->greenlet && !PyGreenlet_ACTIVE(self->greenlet))
    {
        // Finished (result: its return value) or raised (result null, error set).
        PyGreenlet* greenlet = self->greenlet;
        self->greenlet = nullptr;
        Py_DECREF(greenlet);
        Py_DECREF(object);
        return result;
    }
    Py_DECREF(object);
    if (!result)
        return nullptr;
    Py_DECREF(result);
    return NewWorking();
}

// Frames of a live microthread, innermost first; a new reference to each.
template <typename Visit> bool WalkFrames(UthreadObject* self, Visit visit)
{
    if (!self->greenlet || !PyGreenlet_STARTED(self->greenlet) || !PyGreenlet_ACTIVE(self->greenlet))
        return true;
    PyObject* frame = nullptr;
    if (IsCurrent(self->greenlet))
    {
        frame = reinterpret_cast<PyObject*>(PyEval_GetFrame());
        Py_XINCREF(frame);
    }
    else if (!(frame = PyObject_GetAttrString(reinterpret_cast<PyObject*>(self->greenlet), "gr_frame")))
        return false;
    while (frame && frame != Py_None)
    {
        bool kept = visit(reinterpret_cast<PyFrameObject*>(frame));
        PyObject* back = reinterpret_cast<PyObject*>(PyFrame_GetBack(reinterpret_cast<PyFrameObject*>(frame)));
        Py_DECREF(frame);
        frame = back;
        if (!kept)
        {
            Py_XDECREF(frame);
            return false;
        }
    }
    Py_XDECREF(frame);
    return true;
}

// kind 0: the frames; 1: their instruction offsets in bytes; 2: value-stack
// depths, which this interpreter does not expose (always 0).
PyObject* FrameList(UthreadObject* self, int kind)
{
    PyObject* list = PyList_New(0);
    if (!list)
        return nullptr;
    bool done = WalkFrames(self,
                           [&](PyFrameObject* frame)
                           {
                               PyObject* item = kind == 0   ? (Py_INCREF(frame), reinterpret_cast<PyObject*>(frame))
                                                : kind == 1 ? PyLong_FromLong(PyFrame_GetLasti(frame))
                                                            : PyLong_FromLong(0);
                               bool appended = item && PyList_Append(list, item) == 0;
                               Py_XDECREF(item);
                               return appended;
                           });
    if (!done)
        Py_CLEAR(list);
    return list;
}

PyObject* UthreadGetAttr(PyObject* object, PyObject* name)
{
    const char* text = PyUnicode_Check(name) ? PyUnicode_AsUTF8(name) : nullptr;
    if (text)
    {
        std::string_view key(text);
        if (key == "framestack")
            return FrameList(AsUthread(object), 0);
        if (key == "instruction_offset_stack")
            return FrameList(AsUthread(object), 1);
        if (key == "stack_pointer_offset_stack")
            return FrameList(AsUthread(object), 2);
    }
    else
        PyErr_Clear();
    return PyObject_GenericGetAttr(object, name);
}

void UthreadDealloc(PyObject* object)
{
    UthreadObject* self = AsUthread(object);
    PyTypeObject* type = Py_TYPE(object);
    if (self->greenlet)
    {
        // Ending it runs script code; the object counts one reference meanwhile so
        // that nothing the code does can free it twice.
        Py_SET_REFCNT(object, 1);
        Kill(self);
        Py_SET_REFCNT(object, Py_REFCNT(object) - 1);
        if (Py_REFCNT(object) != 0)
            return; // the ending code kept a reference: it lives on, dead
    }
    UnlinkLive(self);
    Py_CLEAR(self->args);
    type->tp_free(object);
    Py_DECREF(type);
}

PyMethodDef gUthreadMethods[] = {
    {"step", UthreadStep, METH_NOARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot gUthreadSlots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(UthreadDealloc)},
    {Py_tp_getattro, reinterpret_cast<void*>(UthreadGetAttr)},
    {Py_tp_methods, gUthreadMethods},
    {0, nullptr},
};

PyType_Spec gUthreadSpec = {"uthread", sizeof(UthreadObject), 0, Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION,
                            gUthreadSlots};

// ---- Semaphore -------------------------------------------------------------------------------

// The optional count of semaphore() and synchronizer(): at most one integer.
bool ParseOptionalCount(PyObject* args, int32_t& value)
{
    if (!PyTuple_Check(args))
    {
        PyErr_SetString(PyExc_TypeError, "args not a tuple");
        return false;
    }
    Py_ssize_t count = PyTuple_GET_SIZE(args);
    if (count > 1)
    {
        PyErr_SetString(PyExc_TypeError, "no more than 1 argument");
        return false;
    }
    if (count == 1)
    {
        long number = PyLong_AsLong(PyTuple_GET_ITEM(args, 0));
        if (number == -1 && PyErr_Occurred())
            return false;
        if (number < INT32_MIN || number > INT32_MAX)
        {
            PyErr_SetString(PyExc_OverflowError, "count does not fit in 32 bits");
            return false;
        }
        value = static_cast<int32_t>(number);
    }
    return true;
}

// Takes the waiter at the end of the list (the earliest) and unblocks it.
void WakeOldest(PyObject* waiting)
{
    Py_ssize_t last = PyList_GET_SIZE(waiting) - 1;
    auto* thread = AsUthread(PyList_GET_ITEM(waiting, last));
    thread->blocked = 0;
    thread->waitingList = nullptr;
    thread->waitCounter = nullptr;
    PyList_SetSlice(waiting, last, last + 1, nullptr);
}

SemaphoreObject* AsSemaphore(PyObject* object)
{
    return reinterpret_cast<SemaphoreObject*>(object);
}

UTHREAD_SWITCHING PyObject* SemaphoreClaim(PyObject* object, PyObject*)
{
    SemaphoreObject* self = AsSemaphore(object);
    if (self->count > 0)
    {
        --self->count;
        Py_RETURN_NONE;
    }
    return BlockRunning(self->waiting, "claim", nullptr);
}

PyObject* SemaphoreRelease(PyObject* object, PyObject*)
{
    SemaphoreObject* self = AsSemaphore(object);
    if (self->count != 0 || PyList_GET_SIZE(self->waiting) == 0)
        ++self->count;
    else
        WakeOldest(self->waiting);
    Py_RETURN_NONE;
}

PyObject* SemaphoreGetAttr(PyObject* object, PyObject* name)
{
    if (PyUnicode_Check(name) && PyUnicode_CompareWithASCIIString(name, "claims") == 0)
        return PyLong_FromLong(AsSemaphore(object)->count);
    return PyObject_GenericGetAttr(object, name);
}

// Waiters of a dying semaphore or synchronizer stay blocked; they end with their
// last reference, which may be the list's.
void DetachWaiters(PyObject* waiting)
{
    for (Py_ssize_t i = 0; waiting && i < PyList_GET_SIZE(waiting); ++i)
    {
        UthreadObject* thread = AsUthread(PyList_GET_ITEM(waiting, i));
        thread->waitingList = nullptr;
        thread->waitCounter = nullptr;
    }
}

void SemaphoreDealloc(PyObject* object)
{
    PyTypeObject* type = Py_TYPE(object);
    DetachWaiters(AsSemaphore(object)->waiting);
    Py_CLEAR(AsSemaphore(object)->waiting);
    type->tp_free(object);
    Py_DECREF(type);
}

PyMethodDef gSemaphoreMethods[] = {
    {"claim", SemaphoreClaim, METH_NOARGS, nullptr},
    {"release", SemaphoreRelease, METH_NOARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot gSemaphoreSlots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(SemaphoreDealloc)},
    {Py_tp_getattro, reinterpret_cast<void*>(SemaphoreGetAttr)},
    {Py_tp_methods, gSemaphoreMethods},
    {0, nullptr},
};

PyType_Spec gSemaphoreSpec = {"semaphore", sizeof(SemaphoreObject), 0,
                              Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION, gSemaphoreSlots};

// ---- Synchronizer ------------------------------------------------------------------------------

SynchronizerObject* AsSynchronizer(PyObject* object)
{
    return reinterpret_cast<SynchronizerObject*>(object);
}

UTHREAD_SWITCHING PyObject* SynchronizerSync(PyObject* object, PyObject*)
{
    SynchronizerObject* self = AsSynchronizer(object);
    if (self->count + 1 >= self->maxcount)
    {
        // The caller that completes the barrier goes on and wakes the others.
        while (PyList_GET_SIZE(self->waiting) > 0)
            WakeOldest(self->waiting);
        self->count = 0;
        Py_RETURN_NONE;
    }
    return BlockRunning(self->waiting, "sync", &self->count);
}

PyObject* SynchronizerGetAttr(PyObject* object, PyObject* name)
{
    if (PyUnicode_Check(name))
    {
        if (PyUnicode_CompareWithASCIIString(name, "count") == 0)
            return PyLong_FromLong(AsSynchronizer(object)->count);
        if (PyUnicode_CompareWithASCIIString(name, "maxcount") == 0)
            return PyLong_FromLong(AsSynchronizer(object)->maxcount);
    }
    return PyObject_GenericGetAttr(object, name);
}

void SynchronizerDealloc(PyObject* object)
{
    PyTypeObject* type = Py_TYPE(object);
    DetachWaiters(AsSynchronizer(object)->waiting);
    Py_CLEAR(AsSynchronizer(object)->waiting);
    type->tp_free(object);
    Py_DECREF(type);
}

PyMethodDef gSynchronizerMethods[] = {
    {"sync", SynchronizerSync, METH_NOARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot gSynchronizerSlots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(SynchronizerDealloc)},
    {Py_tp_getattro, reinterpret_cast<void*>(SynchronizerGetAttr)},
    {Py_tp_methods, gSynchronizerMethods},
    {0, nullptr},
};

PyType_Spec gSynchronizerSpec = {"synchronizer", sizeof(SynchronizerObject), 0,
                                 Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION, gSynchronizerSlots};

// ---- The "working" singleton ----------------------------------------------------------------------

void WorkingDealloc(PyObject* object)
{
    PyTypeObject* type = Py_TYPE(object);
    type->tp_free(object);
    Py_DECREF(type);
}

PyType_Slot gWorkingSlots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(WorkingDealloc)},
    {0, nullptr},
};

PyType_Spec gWorkingSpec = {"working", sizeof(PyObject), 0, Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION,
                            gWorkingSlots};

// ---- Module functions -------------------------------------------------------------------------------

PyObject* ModuleThread(PyObject*, PyObject* args)
{
    if (!PyTuple_Check(args) || PyTuple_GET_SIZE(args) < 1)
        return PyErr_Format(PyExc_SystemError, "bad args to uthread");
    PyObject* function = PyTuple_GET_ITEM(args, 0);
    PyObject* instance = nullptr;
    if (PyMethod_Check(function))
    {
        instance = PyMethod_GET_SELF(function);
        function = PyMethod_GET_FUNCTION(function);
    }
    if (!PyFunction_Check(function))
        return PyErr_Format(PyExc_SystemError, "bad args to uthread");

    // The first call binds positional arguments only: no defaults, no keywords.
    Py_ssize_t given = PyTuple_GET_SIZE(args) - 1 + (instance ? 1 : 0);
    auto* code = reinterpret_cast<PyCodeObject*>(PyFunction_GET_CODE(function));
    if (given < code->co_argcount)
        return PyErr_Format(PyExc_TypeError, "not enough arguments; expected %d, got %d", code->co_argcount,
                            static_cast<int>(given));
    if (given > code->co_argcount && !(code->co_flags & CO_VARARGS))
        return PyErr_Format(PyExc_RuntimeError, "eval_code3_setup failed line %d", 2005);

    PyObject* callArgs = PyTuple_New(given);
    if (!callArgs)
        return OutOfMemory(1458);
    Py_ssize_t at = 0;
    if (instance)
    {
        Py_INCREF(instance);
        PyTuple_SET_ITEM(callArgs, at++, instance);
    }
    for (Py_ssize_t i = 1; i < PyTuple_GET_SIZE(args); ++i)
    {
        PyObject* item = PyTuple_GET_ITEM(args, i);
        Py_INCREF(item);
        PyTuple_SET_ITEM(callArgs, at++, item);
    }

    PyObject* object = gState.uthreadType->tp_alloc(gState.uthreadType, 0);
    if (!object)
    {
        Py_DECREF(callArgs);
        return OutOfMemory(1439);
    }
    UthreadObject* self = AsUthread(object);
    self->resumeValue = 1;
    self->args = callArgs;
    LinkLive(self);
    self->greenlet = PyGreenlet_New(function, nullptr);
    if (!self->greenlet)
    {
        Py_DECREF(object);
        return nullptr;
    }
    return object;
}

PyObject* ModuleSemaphore(PyObject*, PyObject* args)
{
    int32_t count = 1;
    if (!ParseOptionalCount(args, count))
        return nullptr;
    PyObject* object = gState.semaphoreType->tp_alloc(gState.semaphoreType, 0);
    if (!object)
        return OutOfMemory(1516);
    AsSemaphore(object)->count = count;
    if (!(AsSemaphore(object)->waiting = PyList_New(0)))
    {
        Py_DECREF(object);
        return OutOfMemory(1516);
    }
    return object;
}

PyObject* ModuleSynchronizer(PyObject*, PyObject* args)
{
    int32_t maxcount = 1;
    if (!ParseOptionalCount(args, maxcount))
        return nullptr;
    PyObject* object = gState.synchronizerType->tp_alloc(gState.synchronizerType, 0);
    if (!object)
        return OutOfMemory(1540);
    AsSynchronizer(object)->maxcount = maxcount;
    if (!(AsSynchronizer(object)->waiting = PyList_New(0)))
    {
        Py_DECREF(object);
        return OutOfMemory(1540);
    }
    return object;
}

PyObject* ModuleSetDebug(PyObject*, PyObject* args)
{
    int level = 0;
    if (!PyArg_ParseTuple(args, "i", &level))
        return nullptr;
    gState.debug = level;
    Py_RETURN_NONE;
}

PyObject* ModuleSetSteps(PyObject*, PyObject* args)
{
    int steps = 0;
    if (!PyArg_ParseTuple(args, "i", &steps))
        return nullptr;
    gState.steps = steps;
    Py_RETURN_NONE;
}

// Seeds from bits 24-31, 0-7 and 8-15; bits 16-23 are not used.
void Seed(uint32_t value)
{
    gState.seedX = (value >> 24) & 0xFF;
    gState.seedY = value & 0xFF;
    gState.seedZ = (value >> 8) & 0xFF;
}

PyObject* ModuleSetSeed(PyObject*, PyObject* args)
{
    long value = 0;
    if (!PyArg_ParseTuple(args, "l", &value))
        return nullptr;
    Seed(static_cast<uint32_t>(value));
    Py_RETURN_NONE;
}

PyObject* ModuleRandom(PyObject*, PyObject*)
{
    gState.seedX = gState.seedX * 171 % 30269;
    gState.seedY = gState.seedY * 172 % 30307;
    gState.seedZ = gState.seedZ * 170 % 30323;
    double r = gState.seedX / 30269.0 + gState.seedY / 30307.0 + gState.seedZ / 30323.0;
    while (r >= 1.0)
        r -= 1.0;
    return PyFloat_FromDouble(r);
}

PyMethodDef gModuleFunctions[] = {
    {"thread", ModuleThread, METH_VARARGS, nullptr},
    {"semaphore", ModuleSemaphore, METH_VARARGS, nullptr},
    {"synchronizer", ModuleSynchronizer, METH_VARARGS, nullptr},
    {"setdebug", ModuleSetDebug, METH_VARARGS, nullptr},
    {"setsteps", ModuleSetSteps, METH_VARARGS, nullptr},
    {"setseed", ModuleSetSeed, METH_VARARGS, nullptr},
    {"random", ModuleRandom, METH_NOARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef gModuleDef = {
    PyModuleDef_HEAD_INIT, "uthread", nullptr, -1, gModuleFunctions, nullptr, nullptr, nullptr, nullptr};

PyTypeObject* MakeType(PyType_Spec* spec)
{
    return reinterpret_cast<PyTypeObject*>(PyType_FromSpec(spec));
}

} // namespace

PyObject* UthreadModuleInit()
{
    // The greenlet C API table belongs to the running interpreter's greenlet
    // module: fetched again at every start.
    PyGreenlet_Import();
    if (!_PyGreenlet_API)
        return nullptr;
    UthreadStop();
    gState.uthreadType = MakeType(&gUthreadSpec);
    gState.semaphoreType = MakeType(&gSemaphoreSpec);
    gState.synchronizerType = MakeType(&gSynchronizerSpec);
    gState.workingType = MakeType(&gWorkingSpec);
    gState.overrunType = PyErr_NewException("uthread.StepOverrun", PyExc_BaseException, nullptr);
    if (!gState.uthreadType || !gState.semaphoreType || !gState.synchronizerType || !gState.workingType ||
        !gState.overrunType)
    {
        UthreadStop();
        return nullptr;
    }
    gState.working = gState.workingType->tp_alloc(gState.workingType, 0);
    PyObject* module = gState.working ? PyModule_Create(&gModuleDef) : nullptr;
    if (!module || PyModule_AddObjectRef(module, "working", gState.working) < 0)
    {
        Py_XDECREF(module);
        UthreadStop();
        return nullptr;
    }
    Seed(static_cast<uint32_t>(std::time(nullptr)));
    return module;
}

void UthreadStop()
{
    if (Py_IsInitialized())
    {
        // Ending one may drop the last reference to another: restart from the head.
        for (UthreadObject* thread = gState.live; thread;)
        {
            if (thread->greenlet && PyGreenlet_STARTED(thread->greenlet) && PyGreenlet_ACTIVE(thread->greenlet))
            {
                Py_INCREF(thread);
                Kill(thread);
                Py_DECREF(thread);
                thread = gState.live;
                continue;
            }
            thread = thread->nextLive;
        }
    }
    // After the endings, which the watchdog bounds.
    gWatchdog.Stop();
    if (Py_IsInitialized())
    {
        Py_CLEAR(gState.overrunType);
        Py_CLEAR(gState.working);
        Py_CLEAR(gState.uthreadType);
        Py_CLEAR(gState.semaphoreType);
        Py_CLEAR(gState.synchronizerType);
        Py_CLEAR(gState.workingType);
    }
    // Objects that outlive this (held by scripts) are freed by finalisation; they
    // are no longer counted.
    for (UthreadObject* thread = gState.live; thread;)
    {
        UthreadObject* next = thread->nextLive;
        thread->prevLive = thread->nextLive = nullptr;
        thread = next;
    }
    int limit = gWatchdog.GetLimit();
    // The module's first import may come from inside a guarded call, which is still running.
    int32_t guardedCalls = gState.guardedCalls;
    gState = ModuleState{};
    gState.guardedCalls = guardedCalls;
    gWatchdog.SetLimit(limit);
}

int UthreadLiveCount()
{
    return gState.liveCount;
}

void UthreadSetStepTimeLimit(int milliseconds)
{
    gWatchdog.SetLimit(milliseconds);
}

int UthreadGetStepTimeLimit()
{
    return gWatchdog.GetLimit();
}

PyObject* UthreadGuardedRun(PyObject* (*call)(void* data), void* data)
{
    if (gWatchdog.Overrunning())
        return gWatchdog.RaiseOverrun();
    ++gState.guardedCalls;
    gWatchdog.Enter();
    PyObject* result = call(data);
    gWatchdog.Leave();
    --gState.guardedCalls;
    if (gWatchdog.Overrunning())
        gWatchdog.Arm(); // called from a step that overran: its code is stopped too
    else if (!result && gWatchdog.Outermost() && gState.overrunType && PyErr_ExceptionMatches(gState.overrunType))
    {
        PyErr_Clear();
        PyErr_Format(PyExc_RuntimeError, "script call ran longer than %d ms and was stopped", gWatchdog.GetLimit());
    }
    return result;
}

PyObject* UthreadGuardedCall(PyObject* callable, PyObject* args)
{
    struct Call
    {
        PyObject* callable;
        PyObject* args;
    } call{callable, args};
    return UthreadGuardedRun(
        [](void* data) {
            Call* c = static_cast<Call*>(data);
            return TsCallScriptObject(c->callable, c->args);
        },
        &call);
}
