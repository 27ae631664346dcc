// Benchmark: 1,000 microthreads stepped for 100 frames against the same work as
// plain function calls in the same interpreter; prints the time ratio of one
// microthread step to one call.
#include "benchsupport.h"
#include "hbfile.h"
#include "scriptinterpreter.h"

#include <Python.h>
#include <benchmark/benchmark.h>

#include <cstdio>

namespace
{

constexpr int kThreads = 1000;
constexpr int kFrames = 100;

// Each microthread counts one unit of work per step and blocks on its own
// semaphore; each frame releases and steps every one of them. The plain side
// runs the same body as a function call per thread and frame.
const char kSetUp[] = R"PY(
import uthread
work = [0]
def body(sem):
    while True:
        sem.claim()
        work[0] += 1
def plain(sem):
    sem.release()
    sem.claim()
    work[0] += 1
def make_threads(n):
    pairs = []
    for i in range(n):
        sem = uthread.semaphore(0)
        t = uthread.thread(body, sem)
        t.step()
        pairs.append((t, sem))
    return pairs
def frames_of_steps(pairs, frames):
    for f in range(frames):
        for t, sem in pairs:
            sem.release()
            t.step()
def frames_of_calls(sems, frames):
    for f in range(frames):
        for sem in sems:
            plain(sem)
)PY";

PyObject* gMain = nullptr;

bool StartInterpreter()
{
    if (gMain)
        return true;
    static HbFile* quiet = HbFileWrapCrt(std::tmpfile());
    ScriptInterpreter::SetLogFiles(quiet, quiet);
    if (!ScriptInterpreter::Start() || PyRun_SimpleString(kSetUp) != 0)
        return false;
    gMain = PyModule_GetDict(PyImport_AddModule("__main__"));
    return true;
}

PyObject* Call(const char* function, PyObject* first, int second)
{
    PyObject* result = PyObject_CallFunction(PyDict_GetItemString(gMain, function), "Oi", first, second);
    if (!result)
        ScriptInterpreter::PrintAndClearError();
    return result;
}

void BM_MicrothreadSteps(benchmark::State& state)
{
    if (!StartInterpreter())
    {
        state.SkipWithError("interpreter did not start");
        return;
    }
    PyObject* count = PyLong_FromLong(kThreads);
    PyObject* pairs = PyObject_CallOneArg(PyDict_GetItemString(gMain, "make_threads"), count);
    Py_DECREF(count);
    for (auto _ : state)
        Py_XDECREF(Call("frames_of_steps", pairs, kFrames));
    state.SetItemsProcessed(state.iterations() * kThreads * kFrames);
    Py_XDECREF(pairs);
}
BENCHMARK(BM_MicrothreadSteps)->Unit(benchmark::kMillisecond);

void BM_PlainCalls(benchmark::State& state)
{
    if (!StartInterpreter())
    {
        state.SkipWithError("interpreter did not start");
        return;
    }
    PyObject* sems = PyList_New(0);
    PyObject* semaphore = PyObject_GetAttrString(PyImport_AddModule("uthread"), "semaphore");
    for (int i = 0; i < kThreads; ++i)
    {
        PyObject* sem = PyObject_CallFunction(semaphore, "i", 0);
        PyList_Append(sems, sem);
        Py_XDECREF(sem);
    }
    Py_XDECREF(semaphore);
    for (auto _ : state)
        Py_XDECREF(Call("frames_of_calls", sems, kFrames));
    state.SetItemsProcessed(state.iterations() * kThreads * kFrames);
    Py_DECREF(sems);
}
BENCHMARK(BM_PlainCalls)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    int result =
        BenchRunWithRatios(argc, argv, {{"microthread step / plain call", "BM_MicrothreadSteps", "BM_PlainCalls"}},
                           "1,000 microthreads x 100 frames; both sides release and claim one semaphore per unit");
    ScriptInterpreter::Stop();
    return result;
}
