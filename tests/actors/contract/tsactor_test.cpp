// The actor contract: registrations kept and purged, the pending script call, the script
// call with and without an argument, and the event pools spilling to the heap.
#include "scriptinterpreter.h"
#include "tsactor.h"
#include "tsevent.h"
#include "tsscriptcall.h"
#include "tssendevent.h"

#include <Python.h>
#include <gtest/gtest.h>

#include <vector>

namespace
{

class TsActorScript : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_EQ(ScriptInterpreter::Start(), 1); }
    void TearDown() override
    {
        EXPECT_FALSE(PyErr_Occurred());
        // Other tests of this program expect no interpreter at their start.
        ScriptInterpreter::Stop();
    }

    static PyObject* Run(const char* code)
    {
        PyObject* main = PyModule_GetDict(PyImport_AddModule("__main__"));
        return PyRun_String(code, Py_eval_input, main, main);
    }
};

TEST_F(TsActorScript, RegistrationsNeedSomethingToCallAndInactiveOnesArePurged)
{
    auto* actor = new TsActor();
    actor->AddRef();
    TsEvent silent;
    EXPECT_EQ(actor->AddEvent(&silent), 0) << "neither a callable nor a C callback";

    auto* kept = new TsEvent();
    kept->callback = [](TsActor*, float, TsActor*) {};
    auto* dropped = new TsEvent();
    PyObject* callable = Run("lambda *args: None");
    ASSERT_NE(callable, nullptr);
    dropped->SetCallable(callable);
    EXPECT_EQ(Py_REFCNT(callable), 2) << "the registration holds the callable";
    ASSERT_EQ(actor->AddEvent(kept), 1);
    ASSERT_EQ(actor->AddEvent(dropped), 1);
    EXPECT_EQ(dropped->owner, actor);
    dropped->active = 0;
    actor->PurgeEvents();
    ASSERT_EQ(actor->GetEvents().GetCount(), 1);
    EXPECT_EQ(actor->GetEvents().GetHead()->value, kept);
    EXPECT_EQ(Py_REFCNT(callable), 1) << "the purged registration let go of it";
    Py_DECREF(callable);
    actor->Release();
}

TEST_F(TsActorScript, ThePendingCallRunsOnceAndAFailureIsPrintedAndCleared)
{
    auto* actor = new TsActor();
    actor->AddRef();
    PyObject* counter = Run("[0]");
    PyObject* main = PyModule_GetDict(PyImport_AddModule("__main__"));
    PyDict_SetItemString(main, "counter", counter);
    PyObject* bump = Run("lambda: counter.__setitem__(0, counter[0] + 1)");
    PyObject* fail = Run("lambda: 1 / 0");
    ASSERT_TRUE(counter && bump && fail);
    // Set, it waits for its flag (raised when, say, a disappearance has finished).
    actor->SetPendingScriptCall(bump);
    actor->RunPendingScriptCall();
    EXPECT_EQ(PyLong_AsLong(PyList_GetItem(counter, 0)), 0) << "the flag is not raised yet";
    actor->RaisePendingCallFlag();
    actor->RunPendingScriptCall();
    actor->RunPendingScriptCall();
    EXPECT_EQ(PyLong_AsLong(PyList_GetItem(counter, 0)), 1);
    // Setting a new call lowers a flag raised for the old one.
    actor->SetPendingScriptCall(bump);
    actor->RaisePendingCallFlag();
    actor->SetPendingScriptCall(bump);
    actor->RunPendingScriptCall();
    EXPECT_EQ(PyLong_AsLong(PyList_GetItem(counter, 0)), 1);
    actor->SetPendingScriptCall(fail);
    actor->RaisePendingCallFlag();
    actor->RunPendingScriptCall();
    EXPECT_FALSE(PyErr_Occurred());

    PyObject* identity = Run("lambda *args: args");
    PyObject* none = TsCallScriptObject(identity, nullptr);
    PyObject* one = TsCallScriptObject(identity, counter);
    ASSERT_TRUE(none && one);
    EXPECT_EQ(PyTuple_Size(none), 0);
    ASSERT_EQ(PyTuple_Size(one), 1);
    EXPECT_EQ(PyTuple_GetItem(one, 0), counter) << "exactly the one argument given";
    EXPECT_EQ(TsCallScriptObject(nullptr, nullptr), nullptr);
    EXPECT_EQ(TsCallScriptObject(fail, nullptr), nullptr);
    EXPECT_TRUE(PyErr_Occurred()) << "left for the caller";
    PyErr_Clear();
    for (PyObject* object : {none, one, identity, bump, fail, counter})
        Py_DECREF(object);
    PyDict_DelItemString(main, "counter");
    actor->Release();
}

TEST(TsSendEvent, RecordsBeyondThePoolComeFromTheHeap)
{
    HbPerClassFreeList* pool = nullptr;
    std::vector<TsSendEvent*> events;
    for (int32_t i = 0; i < TsSendEvent::kPoolSize + 50; ++i)
    {
        events.push_back(TsSendEvent::Allocate());
        ASSERT_NE(events.back(), nullptr);
        events.back()->id = i;
        pool = TsSendEvent::sClassPool.Get();
    }
    ASSERT_NE(pool, nullptr);
    EXPECT_EQ(pool->GetCapacity(), 200);
    EXPECT_EQ(pool->GetUsedCount(), 200);
    EXPECT_FALSE(pool->Contains(events.back()));
    for (int32_t i = 0; i < int32_t(events.size()); ++i)
        EXPECT_EQ(events[size_t(i)]->id, i);
    for (TsSendEvent* event : events)
        TsSendEvent::Free(event);
    EXPECT_EQ(pool->GetUsedCount(), 0);
    EXPECT_EQ(TsEvent::sClassPool.Get() ? TsEvent::sClassPool.Get()->GetCapacity() : TsEvent::kPoolSize, 400);
}

} // namespace
