// Benchmarks of the script host:
// - plain script code (objects made and dropped in a loop) on the framework's
//   memory against the same code in an interpreter on the system allocator, which
//   runs in a child process forked before any interpreter starts (the allocator is
//   chosen once per process); both sides time only the script code;
// - 1,000 microthreads stepped for 100 frames against the same work as plain
//   function calls in the same interpreter.
#include "benchsupport.h"
#include "hbfile.h"
#include "scriptinterpreter.h"

#include <Python.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

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

// Plain script code: small dictionaries, lists, tuples and strings made and dropped.
const char kPlainCode[] = R"PY(
def plain_work(n):
    total = 0
    for i in range(n):
        d = {'a': i, 'b': [i, i + 1, (i, 'x')]}
        s = str(i) + 'y'
        total += len(d['b']) + len(s)
    return total
)PY";
constexpr int kPlainUnits = 20000;

PyObject* gMain = nullptr;

// Runs plain_work once in the current interpreter; the seconds it took, or -1.
double TimePlainWork(PyObject* globals)
{
    PyObject* function = PyDict_GetItemString(globals, "plain_work");
    if (!function)
        return -1.0;
    auto start = std::chrono::steady_clock::now();
    PyObject* result = PyObject_CallFunction(function, "i", kPlainUnits);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!result)
    {
        PyErr_Print();
        return -1.0;
    }
    Py_DECREF(result);
    return seconds;
}

// ---- The system allocator's side, in a child process -----------------------------------

struct SystemSide
{
    pid_t pid = -1;
    int request = -1; // parent writes: 1 run, 0 quit
    int answer = -1;  // child writes: seconds as a double (-1 on failure)
};
SystemSide gSystem;

[[noreturn]] void RunSystemSide(int requests, int answers)
{
    PyConfig config;
    PyConfig_InitIsolatedConfig(&config);
    config.site_import = 0;
    config.install_signal_handlers = 0;
    PyStatus status = Py_InitializeFromConfig(&config);
    PyConfig_Clear(&config);
    PyObject* globals = nullptr;
    if (!PyStatus_Exception(status) && PyRun_SimpleString(kPlainCode) == 0)
        globals = PyModule_GetDict(PyImport_AddModule("__main__"));
    char command = 0;
    while (read(requests, &command, 1) == 1 && command == 1)
    {
        double seconds = globals ? TimePlainWork(globals) : -1.0;
        if (write(answers, &seconds, sizeof(seconds)) != ssize_t(sizeof(seconds)))
            break;
    }
    _exit(0);
}

// Forked before any interpreter starts in this process.
void StartSystemSide()
{
    int requests[2], answers[2];
    if (pipe(requests) != 0 || pipe(answers) != 0)
        return;
    pid_t pid = fork();
    if (pid == 0)
    {
        close(requests[1]);
        close(answers[0]);
        RunSystemSide(requests[0], answers[1]);
    }
    close(requests[0]);
    close(answers[1]);
    if (pid < 0)
    {
        close(requests[1]);
        close(answers[0]);
        return;
    }
    gSystem = {pid, requests[1], answers[0]};
}

void StopSystemSide()
{
    if (gSystem.pid < 0)
        return;
    char quit = 0;
    (void)!write(gSystem.request, &quit, 1);
    close(gSystem.request);
    close(gSystem.answer);
    waitpid(gSystem.pid, nullptr, 0);
    gSystem = {};
}

double TimeSystemSide()
{
    char run = 1;
    double seconds = -1.0;
    if (gSystem.pid < 0 || write(gSystem.request, &run, 1) != 1 ||
        read(gSystem.answer, &seconds, sizeof(seconds)) != ssize_t(sizeof(seconds)))
        return -1.0;
    return seconds;
}

bool StartInterpreter()
{
    if (gMain)
        return true;
    static HbFile* quiet = HbFileWrapCrt(std::tmpfile());
    ScriptInterpreter::SetLogFiles(quiet, quiet);
    if (!ScriptInterpreter::Start() || PyRun_SimpleString(kSetUp) != 0 || PyRun_SimpleString(kPlainCode) != 0)
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

void BM_PlainScriptFrameworkMemory(benchmark::State& state)
{
    if (!StartInterpreter())
    {
        state.SkipWithError("interpreter did not start");
        return;
    }
    for (auto _ : state)
    {
        double seconds = TimePlainWork(gMain);
        if (seconds < 0.0)
        {
            state.SkipWithError("the script failed");
            return;
        }
        state.SetIterationTime(seconds);
    }
    state.SetItemsProcessed(state.iterations() * kPlainUnits);
}
BENCHMARK(BM_PlainScriptFrameworkMemory)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_PlainScriptSystemAllocator(benchmark::State& state)
{
    for (auto _ : state)
    {
        double seconds = TimeSystemSide();
        if (seconds < 0.0)
        {
            state.SkipWithError("the system allocator's interpreter did not run");
            return;
        }
        state.SetIterationTime(seconds);
    }
    state.SetItemsProcessed(state.iterations() * kPlainUnits);
}
BENCHMARK(BM_PlainScriptSystemAllocator)->UseManualTime()->Unit(benchmark::kMillisecond);

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
    StartSystemSide();
    int result = BenchRunWithRatios(
        argc, argv,
        {{"plain script code, framework memory / system allocator (goal <= 1.2)",
          "BM_PlainScriptFrameworkMemory/manual_time", "BM_PlainScriptSystemAllocator/manual_time"},
         {"microthread step / plain call", "BM_MicrothreadSteps", "BM_PlainCalls"}},
        "plain code: 20,000 units of small objects made and dropped; microthreads: 1,000 x 100 frames, both sides "
        "release and claim one semaphore per unit");
    StopSystemSide();
    ScriptInterpreter::Stop();
    return result;
}
