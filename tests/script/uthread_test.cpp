// Microthreads: stepping, blocking on semaphores and synchronizers, errors, the
// generator, and their end at finalisation.
#include "script_fixture.h"
#include "uthread.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <vector>

using scripttest::Eval;
using scripttest::Exec;
using scripttest::ScriptTest;

namespace
{

class UthreadTest : public ScriptTest
{
protected:
    void SetUp() override
    {
        ScriptTest::SetUp();
        ASSERT_EQ(Exec("import uthread\nuthread.setsteps(200)\nlog = []"), "");
    }
};

TEST_F(UthreadTest, StepRunsUntilBlockedThenToTheEnd)
{
    ASSERT_EQ(Exec("s = uthread.semaphore(0)\n"
                   "def body(a, b):\n"
                   "    log.append('start')\n"
                   "    r = s.claim()\n"
                   "    log.append(('resumed', r))\n"
                   "    return a + b\n"
                   "t = uthread.thread(body, 2, 3)"),
              "");
    EXPECT_EQ(Eval("log"), "[]") << "creating runs nothing";
    EXPECT_EQ(Eval("t.step() is uthread.working"), "True");
    EXPECT_EQ(Eval("log"), "['start']");
    EXPECT_EQ(Eval("t.step() is uthread.working"), "True") << "blocked: nothing runs";
    EXPECT_EQ(Eval("log"), "['start']");
    ASSERT_EQ(Exec("s.release()"), "");
    EXPECT_EQ(Eval("t.step()"), "5");
    EXPECT_EQ(Eval("log"), "['start', ('resumed', None)]");
    EXPECT_EQ(Exec("t.step()"), "RuntimeError: trying to step a dead thread");
    EXPECT_EQ(Eval("s.claims"), "0");
}

TEST_F(UthreadTest, ThreadArgumentRules)
{
    ASSERT_EQ(Exec("def f(a, b=2):\n    return a + b\n"
                   "def g():\n    return f(1)\n"
                   "class Actor:\n    def act(self, n):\n        return (self.__class__.__name__, n)\n"),
              "");
    struct Case
    {
        const char* statement;
        const char* error;
    };
    const Case cases[] = {
        {"uthread.thread(f, 1)", "TypeError: not enough arguments; expected 2, got 1"},
        {"uthread.thread(f, 1, 2, 3)", "RuntimeError: eval_code3_setup failed line 2005"},
        {"uthread.thread(len, [])", "SystemError: bad args to uthread"},
        {"uthread.thread()", "SystemError: bad args to uthread"},
        {"uthread.thread(Actor.act, 1)", "TypeError: not enough arguments; expected 2, got 1"},
        {"uthread.thread(f, 1, 2)", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Exec(c.statement), c.error) << c.statement;
    EXPECT_EQ(Eval("uthread.thread(g).step()"), "3") << "defaults apply to calls made inside";
    EXPECT_EQ(Eval("uthread.thread(Actor().act, 4).step()"), "('Actor', 4)") << "a bound method's instance comes first";
    EXPECT_EQ(Eval("uthread.thread(lambda *rest: rest, 1, 2).step()"), "(1, 2)");
}

TEST_F(UthreadTest, StepsSetToZeroRunNothing)
{
    ASSERT_EQ(Exec("def body():\n    log.append(1)\n    return 'done'\nt = uthread.thread(body)\nuthread.setsteps(0)"),
              "");
    EXPECT_EQ(Eval("[t.step() is uthread.working for i in range(3)]"), "[True, True, True]");
    EXPECT_EQ(Eval("log"), "[]");
    ASSERT_EQ(Exec("uthread.setsteps(1)"), "");
    EXPECT_EQ(Eval("t.step()"), "'done'");
    EXPECT_EQ(Eval("log"), "[1]");
    EXPECT_EQ(Exec("uthread.setsteps('x')"), "TypeError: 'str' object cannot be interpreted as an integer");
}

TEST_F(UthreadTest, ExceptionInAMicrothreadSurfacesFromStepAndKillsIt)
{
    ASSERT_EQ(Exec("def inner():\n    raise KeyError('lost')\n"
                   "def body():\n    log.append('in')\n    inner()\n"
                   "t = uthread.thread(body)"),
              "");
    PyObject* thread = PyDict_GetItemString(scripttest::MainDict(), "t");
    ASSERT_NE(thread, nullptr);
    PyObject* result = PyObject_CallMethod(thread, "step", nullptr);
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(scripttest::TakeError(), "KeyError: 'lost'");
    EXPECT_EQ(Exec("t.step()"), "RuntimeError: trying to step a dead thread");
    EXPECT_EQ(PyRun_SimpleString("uthread.thread(body).step()"), -1);
    EXPECT_NE(LogText().find("KeyError: 'lost'"), std::string::npos) << LogText();
    EXPECT_EQ(Eval("log"), "['in', 'in']");
}

TEST_F(UthreadTest, AnEndingMicrothreadLeavesNoErrorSet)
{
    ASSERT_EQ(Exec("def quick():\n    return 'quick'\nq = uthread.thread(quick)"), "");
    PyObject* result = PyObject_CallMethod(PyDict_GetItemString(scripttest::MainDict(), "q"), "step", nullptr);
    ASSERT_NE(result, nullptr);
    EXPECT_FALSE(PyErr_Occurred());
    Py_DECREF(result);

    // A blocked microthread is ended when its last reference goes: here the
    // semaphore is released from the waiting list first, which the step then
    // finds dead. The error of the code that drops it survives the ending.
    ASSERT_EQ(Exec("s = uthread.semaphore(0)\n"
                   "def body():\n    try:\n        s.claim()\n    finally:\n        log.append('finally')\n"
                   "t = uthread.thread(body)\nt.step()\nw = uthread.thread(body)"),
              "");
    int before = UthreadLiveCount();
    EXPECT_EQ(Exec("def drop():\n    global w\n    w = None\n    raise ValueError('kept')\n"
                   "try:\n    drop()\nexcept ValueError as e:\n    log.append(str(e))"),
              "");
    EXPECT_EQ(UthreadLiveCount(), before - 1) << "an unstarted microthread just goes";
    EXPECT_EQ(Eval("log"), "['kept']");
    ASSERT_EQ(Exec("s.release()"), "");
    EXPECT_EQ(Eval("t.step()"), "None");
    EXPECT_EQ(Eval("log"), "['kept', 'finally']");
    EXPECT_FALSE(PyErr_Occurred());
}

TEST_F(UthreadTest, SemaphoreWakesWaitersFirstComeFirstServed)
{
    ASSERT_EQ(Exec("s = uthread.semaphore(0)\n"
                   "def waiter(name):\n    s.claim()\n    log.append(name)\n"
                   "ts = [uthread.thread(waiter, n) for n in 'ABC']\n"
                   "for t in ts: t.step()\n"),
              "");
    EXPECT_EQ(Eval("s.claims"), "0");
    for (const char* expected : {"['A']", "['A', 'B']", "['A', 'B', 'C']"})
    {
        ASSERT_EQ(Exec("s.release()\nfor t in reversed(ts):\n    if t.framestack: t.step()"), "");
        EXPECT_EQ(Eval("log"), expected);
    }
    ASSERT_EQ(Exec("s.release()"), "");
    EXPECT_EQ(Eval("s.claims"), "1") << "no waiter left: the count goes up";
    EXPECT_EQ(Exec("s.claim()"), "") << "a free semaphore can be claimed anywhere";
    EXPECT_EQ(Exec("s.claim()"), "RuntimeError: claim() called outside a microthread");
    EXPECT_EQ(Eval("s.claims"), "0");
    EXPECT_EQ(Exec("uthread.semaphore(1, 2)"), "TypeError: no more than 1 argument");
    EXPECT_EQ(Eval("uthread.semaphore().claims"), "1");
}

TEST_F(UthreadTest, SynchronizerThirdCallerReleasesTheTwoWaiters)
{
    ASSERT_EQ(Exec("y = uthread.synchronizer(3)\n"
                   "def member(name):\n    y.sync()\n    log.append(name)\n"
                   "a, b, c = (uthread.thread(member, n) for n in 'abc')\n"
                   "a.step(); b.step()"),
              "");
    EXPECT_EQ(Eval("(y.count, y.maxcount, log)"), "(2, 3, [])");
    EXPECT_EQ(Eval("c.step()"), "None") << "the third caller does not block";
    EXPECT_EQ(Eval("(y.count, log)"), "(0, ['c'])");
    EXPECT_EQ(Eval("(a.step(), b.step())"), "(None, None)");
    EXPECT_EQ(Eval("log"), "['c', 'a', 'b']");
    EXPECT_EQ(Exec("y.sync()"), "RuntimeError: sync() called outside a microthread");
    EXPECT_EQ(Eval("y.count"), "0");
}

TEST_F(UthreadTest, WichmannHillGenerator)
{
    EXPECT_EQ(Eval("(uthread.setseed(0), [uthread.random() for i in range(5)])[1]"), "[0.0, 0.0, 0.0, 0.0, 0.0]");
    // Seeds from bits 24-31, 0-7 and 8-15 of 0x11AB0304: x 0x11, y 4, z 3.
    ASSERT_EQ(Exec("uthread.setseed(0x11AB0304)\nr = [uthread.random() for i in range(4)]"), "");
    double x = 0x11, y = 4, z = 3;
    for (int i = 0; i < 4; ++i)
    {
        x = std::fmod(x * 171, 30269);
        y = std::fmod(y * 172, 30307);
        z = std::fmod(z * 170, 30323);
        double expected = std::fmod(x / 30269 + y / 30307 + z / 30323, 1.0);
        PyObject* list = PyDict_GetItemString(scripttest::MainDict(), "r");
        EXPECT_DOUBLE_EQ(PyFloat_AsDouble(PyList_GetItem(list, i)), expected) << i;
    }
    EXPECT_EQ(Eval("0.0 <= uthread.random() < 1.0"), "True");
}

// A game function called from inside a microthread calls back into a script,
// then the microthread blocks and resumes as usual.
PyObject* GameCallback(PyObject*, PyObject* args)
{
    PyObject* callable = nullptr;
    if (!PyArg_ParseTuple(args, "O:GameCallback", &callable))
        return nullptr;
    PyObject* answer = PyObject_CallNoArgs(callable);
    if (!answer)
        return nullptr;
    PyObject* result = Py_BuildValue("(sO)", "game", answer);
    Py_DECREF(answer);
    return result;
}

TEST_F(UthreadTest, GameCallbackFromInsideAMicrothread)
{
    static PyMethodDef def = {"game_callback", GameCallback, METH_VARARGS, nullptr};
    PyObject* function = PyCFunction_New(&def, nullptr);
    ASSERT_EQ(PyDict_SetItemString(scripttest::MainDict(), "game_callback", function), 0);
    Py_DECREF(function);
    ASSERT_EQ(Exec("s = uthread.semaphore(0)\n"
                   "def body():\n    log.append(game_callback(lambda: 41 + 1))\n    s.claim()\n"
                   "    log.append(game_callback(lambda: 'again'))\n    return len(log)\n"
                   "t = uthread.thread(body)"),
              "");
    EXPECT_EQ(Eval("t.step() is uthread.working"), "True");
    ASSERT_EQ(Exec("s.release()"), "");
    EXPECT_EQ(Eval("t.step()"), "2");
    EXPECT_EQ(Eval("log"), "[('game', 42), ('game', 'again')]");
}

TEST_F(UthreadTest, FrameStackOfABlockedMicrothread)
{
    ASSERT_EQ(Exec("s = uthread.semaphore(0)\n"
                   "def inner():\n    s.claim()\n"
                   "def outer():\n    inner()\n"
                   "t = uthread.thread(outer)"),
              "");
    EXPECT_EQ(Eval("(t.framestack, t.instruction_offset_stack)"), "([], [])") << "not started";
    ASSERT_EQ(Exec("t.step()"), "");
    EXPECT_EQ(Eval("[f.f_code.co_name for f in t.framestack]"), "['inner', 'outer']");
    EXPECT_EQ(Eval("[o > 0 for o in t.instruction_offset_stack]"), "[True, True]");
    EXPECT_EQ(Eval("t.stack_pointer_offset_stack"), "[0, 0]") << "the value-stack depth is not exposed";
    EXPECT_EQ(Exec("t.nothing"), "AttributeError: 'uthread' object has no attribute 'nothing'");
    ASSERT_EQ(Exec("def me():\n    return [f.f_code.co_name for f in mine[0].framestack]\n"
                   "mine = [uthread.thread(me)]"),
              "");
    EXPECT_EQ(Eval("mine[0].step()"), "['me']") << "a running microthread sees its own frames only";
}

TEST_F(UthreadTest, AMicrothreadStepsAnother)
{
    ASSERT_EQ(Exec("s = uthread.semaphore(0)\n"
                   "def worker():\n    s.claim()\n    return 'worked'\n"
                   "def scheduler(w):\n    first = w.step()\n    s.release()\n    return (first is uthread.working, "
                   "w.step())\n"
                   "w = uthread.thread(worker)\nsch = uthread.thread(scheduler, w)"),
              "");
    EXPECT_EQ(Eval("sch.step()"), "(True, 'worked')");
    EXPECT_EQ(Exec("def self_step():\n    return me.step()\nme = uthread.thread(self_step)\nme.step()"),
              "RuntimeError: trying to step a running thread");
}

TEST_F(UthreadTest, AStepThatNeverEndsIsStoppedWithAMessage)
{
    UthreadSetStepTimeLimit(40);
    // Loops that catch what stops them: the stop gets through "except Exception", bare
    // excepts, finally blocks, handlers that block and schedulers that step others.
    const struct
    {
        const char* name;
        const char* spin;
    } cases[] = {
        {"plain loop", "def spin():\n    n = 0\n    while True:\n        n += 1\n"},
        {"except Exception", "def spin():\n    while True:\n        try:\n            think()\n"
                             "        except Exception:\n            pass\n"},
        {"bare except", "def spin():\n    while True:\n        try:\n            think()\n"
                        "        except:\n            pass\n"},
        {"one-line handler", "def spin():\n    while True:\n        try: think()\n        except: pass\n"},
        {"loops in finally", "def spin():\n    while True:\n        try:\n            think()\n        finally:\n"
                             "            while True:\n                try:\n                    think()\n"
                             "                except BaseException:\n                    continue\n"},
        {"blocks in the handler", "def spin():\n    while True:\n        try:\n            think()\n"
                                  "        except:\n            s.claim()\n"},
        {"steps a catch-all", "def inner():\n    while True:\n        try: think()\n        except: pass\n"
                              "def spin():\n    t = uthread.thread(inner)\n    while True:\n        try:\n"
                              "            t.step()\n        except:\n            t = uthread.thread(inner)\n"},
    };
    ASSERT_EQ(Exec("def think():\n    return 0\ns = uthread.semaphore(0)"), "");
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(Exec(c.spin), "");
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(Exec("t = uthread.thread(spin)\nt.step()"),
                  "RuntimeError: microthread step ran longer than 40 ms and was stopped");
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        EXPECT_EQ(Exec("t.step()"), "RuntimeError: trying to step a dead thread");
        EXPECT_EQ(Eval("__import__('sys').gettrace()"), "None") << "the stop leaves no trace function behind";
    }
    EXPECT_EQ(Eval("uthread.thread(lambda: 'alive').step()"), "'alive'");
    ScriptInterpreter::Stop();
    ASSERT_EQ(ScriptInterpreter::Start(), 1);
    UthreadSetStepTimeLimit(kUthreadDefaultStepLimitMs);
    EXPECT_EQ(Eval("__import__('uthread').thread(lambda: 'restarted').step()"), "'restarted'");
}

TEST_F(UthreadTest, NoMicrothreadOutlivesFinalisation)
{
    ASSERT_EQ(Exec("s = uthread.semaphore(0)\n"
                   "def body(name):\n    try:\n        s.claim()\n    finally:\n        print('ended', name)\n"
                   "def stubborn():\n    try:\n        s.claim()\n    finally:\n        s.claim()\n"
                   "def catchall():\n    while True:\n        try:\n            s.claim()\n        except:\n"
                   "            pass\n"
                   "keep = [uthread.thread(body, n) for n in ('first', 'second')] + [uthread.thread(stubborn)]\n"
                   "keep.append(uthread.thread(catchall))\n"
                   "for t in keep: t.step()"),
              "");
    EXPECT_GE(UthreadLiveCount(), 4);
    // Ending code has the step's time limit: a catch-all loop around claim() is abandoned,
    // whether the last release() or Stop ends it.
    UthreadSetStepTimeLimit(40);
    ASSERT_EQ(Exec("r = uthread.semaphore(0)\n"
                   "def catchall_r():\n    while True:\n        try:\n            r.claim()\n        except:\n"
                   "            pass\n"
                   "c = uthread.thread(catchall_r)\nc.step()\ndel c"),
              "");
    int before = UthreadLiveCount();
    EXPECT_EQ(Exec("r.release()"), "") << "the waiting list held the last reference";
    EXPECT_EQ(UthreadLiveCount(), before - 1);
    EXPECT_NE(LogText().find("uthread: a microthread would not end and was abandoned"), std::string::npos);
    ScriptInterpreter::Stop();
    UthreadSetStepTimeLimit(kUthreadDefaultStepLimitMs);
    EXPECT_EQ(UthreadLiveCount(), 0);
    std::string log = LogText();
    EXPECT_NE(log.find("ended first"), std::string::npos) << log;
    EXPECT_NE(log.find("ended second"), std::string::npos) << log;
    EXPECT_NE(log.find("RuntimeError: claim() called by a microthread that is being ended"), std::string::npos) << log;
    ASSERT_EQ(ScriptInterpreter::Start(), 1);
    ASSERT_EQ(
        Exec("import uthread\ns = uthread.semaphore(0)\n"
             "def again():\n    s.claim()\n    return 'new life'\nt = uthread.thread(again)\nt.step()\ns.release()"),
        "");
    EXPECT_EQ(Eval("t.step()"), "'new life'");
    EXPECT_EQ(UthreadLiveCount(), 1);
}

// At exit the memory under the interpreter may already be gone (the framework heap is a
// static object too): from then on nothing may reach into the interpreter, whose watchdog
// thread still runs when the program ends without stopping it.
void* TrapMalloc(void*, size_t)
{
    std::_Exit(3);
}
void* TrapCalloc(void*, size_t, size_t)
{
    std::_Exit(3);
}
void* TrapRealloc(void*, void*, size_t)
{
    std::_Exit(3);
}
void TrapFree(void*, void*)
{
    std::_Exit(3);
}

TEST(UthreadExit, AProgramEndingWithTheInterpreterRunningLeavesItAlone)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            if (ScriptInterpreter::Start() != 1 || scripttest::Exec("def ping():\n    return 1\n") != "")
                std::_Exit(4);
            // A guarded call starts the watchdog's thread.
            PyObject* result = UthreadGuardedCall(PyDict_GetItemString(scripttest::MainDict(), "ping"), nullptr);
            if (!result)
                std::_Exit(5);
            Py_DECREF(result);
            std::atexit(
                []
                {
                    PyMemAllocatorEx trap{nullptr, TrapMalloc, TrapCalloc, TrapRealloc, TrapFree};
                    for (PyMemAllocatorDomain domain : {PYMEM_DOMAIN_RAW, PYMEM_DOMAIN_MEM, PYMEM_DOMAIN_OBJ})
                        PyMem_SetAllocator(domain, &trap);
                });
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
