// Benchmark: sent events delivered through the script world. 200 actors each subscribed to
// five sent events with a script callable; every frame 50 events are queued (distinct ids
// and targets) and the frame delivers them. The direct side makes the same 50 calls with the
// same argument tuples, finding each subscription the same way, without the queue or the
// frame's walk over the actors.
#include "benchsupport.h"
#include "hbclock.h"
#include "scripteventid.h"
#include "scriptinterpreter.h"
#include "scriptworldmanager.h"
#include "tsactor.h"
#include "tsactorlayer.h"
#include "tsevent.h"
#include "tssendevent.h"

#include <Python.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

namespace
{

constexpr int kActors = 200;
constexpr int kEventsPerFrame = 50;
constexpr int32_t kIds[] = {kEventHit, kEventUse, kEventStrike, kEventCall, kEventAlert};

struct Bench
{
    ScriptWorldManager* world = nullptr;
    std::vector<TsActor*> actors;
    PyObject* callable = nullptr;
    std::vector<TsSendEvent> frame;
};
Bench gBench;

bool Start()
{
    if (!ScriptInterpreter::Start())
    {
        std::fprintf(stderr, "the interpreter could not start\n");
        return false;
    }
    Bench& b = gBench;
    PyObject* main = PyModule_GetDict(PyImport_AddModule("__main__"));
    PyObject* code = PyRun_String("heard = [0]\ndef hear(args):\n    heard[0] += 1\n", Py_file_input, main, main);
    Py_XDECREF(code);
    b.callable = PyDict_GetItemString(main, "hear");
    if (!b.callable)
        return false;
    b.world = new ScriptWorldManager();
    for (int i = 0; i < kActors; ++i)
    {
        auto* actor = new TsActor();
        actor->AddRef();
        for (int32_t id : kIds)
            TsActorSubscribe(actor, id, UndefinedFamily, b.callable, 1.0f, nullptr);
        b.world->AddActor(actor);
        b.actors.push_back(actor);
    }
    for (int i = 0; i < kEventsPerFrame; ++i)
    {
        TsSendEvent event;
        event.id = kIds[i % 5];
        event.sender = b.actors[(i * 7) % kActors];
        event.target = b.actors[(i * 13 + 1) % kActors];
        event.value = float(i);
        b.frame.push_back(event);
    }
    return true;
}

void Stop()
{
    Bench& b = gBench;
    if (b.world)
    {
        for (TsActor* actor : b.actors)
            b.world->RemoveActor(actor);
        for (TsActor* actor : b.actors)
            actor->Release();
        delete b.world;
    }
    ScriptInterpreter::Stop();
}

void BM_QueuedDelivery(benchmark::State& state)
{
    Bench& b = gBench;
    for (auto _ : state)
    {
        for (const TsSendEvent& event : b.frame)
            b.world->QueueEvent(event);
        b.world->Update();
    }
    if (b.world->GetScriptFailure())
        state.SkipWithError("a delivery failed");
}
BENCHMARK(BM_QueuedDelivery)->Name("Events/queued through the script world")->Unit(benchmark::kMicrosecond);

void BM_DirectCalls(benchmark::State& state)
{
    Bench& b = gBench;
    for (auto _ : state)
    {
        for (const TsSendEvent& event : b.frame)
        {
            TsEvent* subscription = event.target->FindEvent(event.id);
            PyObject* script = event.sender->GetScriptObject();
            PyObject* args = Py_BuildValue("(OdN)", script ? script : Py_None, double(event.value),
                                           PyLong_FromVoidPtr(event.sender));
            PyObject* result = PyObject_CallOneArg(subscription->callable, args);
            Py_XDECREF(result);
            Py_DECREF(args);
        }
    }
}
BENCHMARK(BM_DirectCalls)->Name("Events/direct calls")->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    if (!Start())
    {
        Stop();
        return 1;
    }
    int result = BenchRunWithRatios(
        argc, argv, {{"queued / direct", "Events/queued through the script world", "Events/direct calls"}},
        "200 actors with five sent-event subscriptions each; 50 events per frame with distinct (id, target) pairs "
        "delivered to a script callable; the script world also de-duplicates the queue, pools the records and "
        "walks every actor's turn of the frame");
    Stop();
    return result;
}
