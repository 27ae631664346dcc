// The interpreter's start and stop, its isolation, memory adapter, log and
// file-layer imports.
#include "hbmemory.h"
#include "hbpack.h"
#include "script_fixture.h"
#include "uthread.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>

using scripttest::Eval;
using scripttest::Exec;
using scripttest::ScriptTest;

namespace
{

// The interpreter is kept between tests; it is finalised once at the end so that
// leak checking sees an orderly shut-down.
class StopInterpreterAtEnd : public ::testing::Environment
{
public:
    void TearDown() override { ScriptInterpreter::Stop(); }
};
[[maybe_unused]] ::testing::Environment* const gStopAtEnd =
    ::testing::AddGlobalTestEnvironment(new StopInterpreterAtEnd);

TEST_F(ScriptTest, RestartGivesAWorkingInterpreterWithTheHostPieces)
{
    ASSERT_EQ(Exec("class First:\n    def value(self): return 7\n"), "");
    ScriptInterpreter::Stop();
    EXPECT_FALSE(ScriptInterpreter::IsStarted());
    ASSERT_EQ(ScriptInterpreter::Start(), 1);
    EXPECT_EQ(Eval("'First' in globals()"), "False");
    ASSERT_EQ(Exec("class Second:\n    def value(self): return 8\n"), "");
    EXPECT_EQ(Eval("Second().value()"), "8");
    EXPECT_EQ(Eval("repr(vertex(1, 2, 3))"), "'<1.000000 2.000000 3.000000>'");
    EXPECT_EQ(Exec("import uthread"), "");
    EXPECT_EQ(ScriptInterpreter::Start(), 1) << "a second start while running is a no-op";
}

TEST_F(ScriptTest, FiveHundredRestartsInOneProcessEachGiveAWorkingInterpreter)
{
    // Each round uses what a level does: a microthread stepped until blocked (a greenlet
    // switch), a guarded call (the step watchdog's thread) and vertex().
    ASSERT_EQ(Exec("def ping():\n    return 1\n"), "");
    for (int round = 0; round < 500; ++round)
    {
        ScriptInterpreter::Stop();
        ASSERT_EQ(ScriptInterpreter::Start(), 1) << "round " << round;
        ASSERT_EQ(Exec("import uthread\n"
                       "s = uthread.semaphore(0)\n"
                       "def body():\n"
                       "    s.claim()\n"
                       "t = uthread.thread(body)\n"
                       "t.step()\n"
                       "v = vertex(1, 2, 3)\n"
                       "def ping():\n"
                       "    return round_\n"
                       "round_ = " +
                       std::to_string(round) + "\n"),
                  "")
            << "round " << round;
        PyObject* ping = PyDict_GetItemString(scripttest::MainDict(), "ping");
        PyObject* result = UthreadGuardedCall(ping, nullptr);
        ASSERT_NE(result, nullptr) << "round " << round;
        EXPECT_EQ(PyLong_AsLong(result), round);
        Py_DECREF(result);
    }
    EXPECT_EQ(UthreadLiveCount(), 1) << "the blocked microthread of the last round";
}

TEST_F(ScriptTest, IgnoresTheUsersPythonEnvironment)
{
    ScriptInterpreter::Stop();
    ::setenv("PYTHONPATH", "/nonexistent/user/path", 1);
    ::setenv("PYTHONHOME", "/nonexistent/home", 1);
    int started = ScriptInterpreter::Start();
    ::unsetenv("PYTHONPATH");
    ::unsetenv("PYTHONHOME");
    ASSERT_EQ(started, 1);
    ASSERT_EQ(Exec("import sys"), "");
    EXPECT_EQ(Eval("sys.path[0]"), "''");
    EXPECT_EQ(Eval("any('nonexistent' in p for p in sys.path)"), "False");
    EXPECT_EQ(Eval("sys.flags.isolated"), "1");
    EXPECT_EQ(Eval("'site' in sys.modules"), "False");
    EXPECT_EQ(Eval("__import__('greenlet').__name__"), "'greenlet'");
}

TEST_F(ScriptTest, MemoryAdapterAnswersZeroSizesAndAlignsTo16)
{
    struct Case
    {
        PyMemAllocatorDomain domain;
        const char* name;
    };
    for (Case c : {Case{PYMEM_DOMAIN_RAW, "raw"}, Case{PYMEM_DOMAIN_MEM, "mem"}, Case{PYMEM_DOMAIN_OBJ, "obj"}})
    {
        SCOPED_TRACE(c.name);
        PyMemAllocatorEx allocator{};
        PyMem_GetAllocator(c.domain, &allocator);
        void* zero = allocator.malloc(allocator.ctx, 0);
        ASSERT_NE(zero, nullptr);
        void* grown = allocator.realloc(allocator.ctx, zero, 40);
        ASSERT_NE(grown, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(grown) % 16, 0u);
        void* shrunk = allocator.realloc(allocator.ctx, grown, 0);
        ASSERT_NE(shrunk, nullptr) << "a realloc to 0 bytes keeps a valid block";
        allocator.free(allocator.ctx, shrunk);

        auto* zeroed = static_cast<unsigned char*>(allocator.calloc(allocator.ctx, 7, 9));
        ASSERT_NE(zeroed, nullptr);
        int nonZero = 0;
        for (int i = 0; i < 63; ++i)
            nonZero += zeroed[i] != 0;
        EXPECT_EQ(nonZero, 0);
        allocator.free(allocator.ctx, zeroed);
        EXPECT_EQ(allocator.calloc(allocator.ctx, SIZE_MAX / 2, 3), nullptr) << "count x size overflow";
    }
}

TEST_F(ScriptTest, ScriptObjectsLiveInTheFrameworksScriptMemory)
{
    if (HbUsesSystemAllocator())
        GTEST_SKIP() << "the system allocator serves every block: no memory is the framework's";
    // Small objects sit in the small-object allocator's arenas, large ones are blocks of
    // their own: both are script memory.
    ASSERT_EQ(Exec("small = [float(i) for i in range(2000)]\nlarge = bytearray(300000)"), "");
    PyObject* small = PyDict_GetItemString(scripttest::MainDict(), "small");
    PyObject* large = PyDict_GetItemString(scripttest::MainDict(), "large");
    ASSERT_TRUE(small && large);
    for (Py_ssize_t i : {Py_ssize_t(0), Py_ssize_t(1999)})
        EXPECT_EQ(HbMemoryWhere(PyList_GET_ITEM(small, i)), HbMemorySource::Script) << i;
    EXPECT_EQ(HbMemoryWhere(PyByteArray_AS_STRING(large)), HbMemorySource::Script);
    ASSERT_EQ(Exec("del small, large"), "");
}

TEST_F(ScriptTest, OutputAndErrorsLandInTheLogAndTheProgramGoesOn)
{
    EXPECT_EQ(PyRun_SimpleString("print('hello from a script')"), 0);
    EXPECT_EQ(PyRun_SimpleString("raise ValueError('level script broke')"), -1);
    EXPECT_EQ(PyRun_SimpleString("import no_such_level_script"), -1);
    EXPECT_EQ(PyRun_SimpleString("import sys\nsys.stderr.write('direct\\0text\\n')"), 0);
    EXPECT_FALSE(PyErr_Occurred());
    std::string log = LogText();
    EXPECT_NE(log.find("hello from a script\n"), std::string::npos) << log;
    EXPECT_NE(log.find("ValueError: level script broke"), std::string::npos) << log;
    EXPECT_NE(log.find("ModuleNotFoundError: No module named 'no_such_level_script'"), std::string::npos) << log;
    EXPECT_NE(log.find(std::string("direct\0text\n", 12)), std::string::npos) << "bytes after a NUL are kept";
    EXPECT_EQ(Eval("1 + 1"), "2");
}

TEST_F(ScriptTest, ScenaricImportFailsCleanlyUntilItsOwnerInstallsIt)
{
    ScriptInterpreter::SetScenaricInit(nullptr);
    EXPECT_EQ(Exec("import scenaric"), "ImportError: the scenaric module is not available");
    static PyModuleDef def = {
        PyModuleDef_HEAD_INIT, "scenaric", nullptr, -1, nullptr, nullptr, nullptr, nullptr, nullptr};
    ScriptInterpreter::SetScenaricInit([]() -> PyObject* { return PyModule_Create(&def); });
    EXPECT_EQ(Exec("import scenaric"), "");
    EXPECT_EQ(Eval("scenaric.__name__"), "'scenaric'");
    ScriptInterpreter::SetScenaricInit(nullptr);
}

// Level scripts: a pack archive under a backslash path, and a disk file whose
// name differs in case from the import.
class ScriptImportTest : public ScriptTest
{
protected:
    void SetUp() override
    {
        ScriptTest::SetUp();
        mDir = std::filesystem::temp_directory_path() / ("script_import_" + std::to_string(::getpid()));
        std::filesystem::create_directories(mDir / "Levels" / "W1");
    }
    void TearDown() override
    {
        HbPackSet* set = HbPackSet::Instance();
        while (set->GetMountedCount() > 0)
            set->Unmount(nullptr);
        set->SetEnabled(0);
        set->SetDiskFallback(0);
        Exec("import sys\nsys.path[:] = [p for p in sys.path if 'script_import_' not in p and 'packlevels' not in p]\n"
             "for m in ('packed_level', 'mixed_case', 'crlf_level'): sys.modules.pop(m, None)");
        std::error_code ignored;
        std::filesystem::remove_all(mDir, ignored);
        ScriptTest::TearDown();
    }
    std::filesystem::path mDir;
};

TEST_F(ScriptImportTest, ImportsAModuleFromAPackArchiveUnderABackslashPath)
{
    std::string pack = (mDir / "LEVELS.PAK").string();
    {
        HbPackArchive writer;
        ASSERT_TRUE(writer.Open(pack.c_str(), "wb"));
        std::string source = "GREETING = 'from the pack'\r\ndef twice(x):\r\n    return 2 * x\r\n";
        ASSERT_EQ(writer.AddEntry("packlevels\\w1l1\\packed_level.py", source.data(), source.size()), 1);
        writer.Close();
    }
    HbPackSet* set = HbPackSet::Instance();
    set->SetEnabled(1);
    ASSERT_EQ(set->Mount(pack.c_str()), 1);
    ASSERT_EQ(Exec("import sys\nsys.path.append('packlevels\\\\w1l1')\nimport packed_level"), "");
    EXPECT_EQ(Eval("packed_level.GREETING"), "'from the pack'");
    EXPECT_EQ(Eval("packed_level.twice(21)"), "42");
    EXPECT_EQ(Eval("packed_level.__file__"), "'packlevels\\\\w1l1\\\\packed_level.py'");
}

TEST_F(ScriptImportTest, ImportsFromDiskWithBackslashesAndAnyCase)
{
    std::ofstream(mDir / "Levels" / "W1" / "Mixed_Case.py") << "VALUE = 5\n";
    std::string entry = mDir.string() + "\\levels\\w1";
    ASSERT_EQ(Exec("import sys\nsys.path.append(r'" + entry + "')\nimport mixed_case"), "");
    EXPECT_EQ(Eval("mixed_case.VALUE"), "5");
    EXPECT_EQ(Exec("import level_that_is_nowhere"), "ModuleNotFoundError: No module named 'level_that_is_nowhere'");
}

// Mutated and truncated script files reach the interpreter only as whole byte
// strings: each import either works or fails with a clean error.
TEST_F(ScriptImportTest, MutatedScriptFilesFailCleanly)
{
    std::string entry = mDir.string() + "\\levels\\w1";
    ASSERT_EQ(
        Exec(
            "import sys, random\nsys.path.append(r'" + entry +
            "')\n"
            "source = b'import sys\\r\\nVALUE = [1, 2.5, \\'text\\']\\r\\ndef f(a, *b):\\r\\n    return (a, b)\\r\\n'\n"
            "path = r'" +
            (mDir / "Levels" / "W1" / "crlf_level.py").string() +
            "'\n"
            "rng = random.Random(7)\n"
            "outcomes = set()\n"
            "for i in range(300):\n"
            "    data = bytearray(source)\n"
            "    if i % 3 == 0:\n"
            "        data = data[:rng.randrange(len(data) + 1)]\n"
            "    else:\n"
            "        for k in range(1 + i % 4):\n"
            "            data[rng.randrange(len(data))] = rng.randrange(256)\n"
            "    open(path, 'wb').write(bytes(data))\n"
            "    sys.modules.pop('crlf_level', None)\n"
            "    try:\n"
            "        __import__('crlf_level')\n"
            "        outcomes.add('ok')\n"
            "    except Exception as e:\n"
            "        outcomes.add(type(e).__name__)\n"
            "open(path, 'wb').write(source)\n"
            "sys.modules.pop('crlf_level', None)\n"
            "import crlf_level\n"),
        "");
    EXPECT_EQ(Eval("crlf_level.f(1, 2)"), "(1, (2,))");
    EXPECT_EQ(Eval("'ok' in outcomes and 'SyntaxError' in outcomes"), "True");
}

} // namespace
