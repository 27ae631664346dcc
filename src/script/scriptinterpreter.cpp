// ScriptInterpreter: the isolated start-up and the finalisation of the embedded
// interpreter, its memory routing and its log writers.
#include "scriptinterpreter.h"

#include "hbfile.h"
#include "hbmemory.h"
#include "script_local.h"
#include "tsscriptcall.h"
#include "uthread.h"

#include <cstring>

namespace
{

bool gStarted = false;
bool gProcessSetUp = false;
ScriptInterpreter::ModuleInitFn gScenaricInit = nullptr;
HbFile* gOutLog = nullptr;
HbFile* gErrLog = nullptr;

// ---- Memory ---------------------------------------------------------------------------

// The interpreter expects a request of 0 bytes to answer a valid block, which the
// framework's functions do not promise (a realloc to 0 frees).
void* ScriptMalloc(void*, size_t size)
{
    return HbScriptMalloc(size ? size : 1);
}

void* ScriptCalloc(void*, size_t count, size_t size)
{
    size_t total = 0;
    if (__builtin_mul_overflow(count, size, &total))
        return nullptr;
    void* block = HbScriptMalloc(total ? total : 1);
    if (block)
        std::memset(block, 0, total);
    return block;
}

void* ScriptRealloc(void*, void* pointer, size_t size)
{
    return HbScriptRealloc(pointer, size ? size : 1);
}

void ScriptFree(void*, void* pointer)
{
    if (pointer)
        HbScriptFree(pointer);
}

// The arenas of the interpreter's small-object allocator (256 KB each).
void* ScriptArenaAlloc(void*, size_t size)
{
    return HbScriptMalloc(size);
}

void ScriptArenaFree(void*, void* pointer, size_t)
{
    if (pointer)
        HbScriptFree(pointer);
}

// ---- Built-in module table --------------------------------------------------------

PyObject* ScenaricInit()
{
    if (!gScenaricInit)
    {
        PyErr_SetString(PyExc_ImportError, "the scenaric module is not available");
        return nullptr;
    }
    return gScenaricInit();
}

bool SetUpProcess()
{
    if (gProcessSetUp)
        return true;
    // Installed once, before anything of the interpreter runs, and kept across
    // restarts: a block must go back to the functions that made it.
    PyMemAllocatorEx allocator{nullptr, ScriptMalloc, ScriptCalloc, ScriptRealloc, ScriptFree};
    PyMem_SetAllocator(PYMEM_DOMAIN_RAW, &allocator);
    if (HbUsesSystemAllocator())
    {
        // Every object a block of its own, so that the sanitizers see each one.
        PyMem_SetAllocator(PYMEM_DOMAIN_MEM, &allocator);
        PyMem_SetAllocator(PYMEM_DOMAIN_OBJ, &allocator);
    }
    else
    {
        // The interpreter's own small-object allocator stays (a framework call per object
        // makes script code about twice as slow); its arenas, and the blocks too large for
        // it (through the raw domain), are the framework's script memory.
        PyObjectArenaAllocator arenas{nullptr, ScriptArenaAlloc, ScriptArenaFree};
        PyObject_SetArenaAllocator(&arenas);
    }
    if (PyImport_AppendInittab("uthread", UthreadModuleInit) < 0 ||
        PyImport_AppendInittab("scenaric", ScenaricInit) < 0)
        return false;
    gProcessSetUp = true;
    return true;
}

// ---- Log writers --------------------------------------------------------------------

struct LogWriter
{
    PyObject ob_base;
    int error; // 1: the error log
};

HbFile* LogOf(const LogWriter* writer)
{
    return writer->error ? ScriptInterpreter::GetErrorLog() : ScriptInterpreter::GetOutputLog();
}

PyObject* LogWrite(PyObject* self, PyObject* args)
{
    PyObject* text = nullptr;
    if (!PyArg_ParseTuple(args, "U:write", &text))
        return nullptr;
    Py_ssize_t length = 0;
    const char* bytes = PyUnicode_AsUTF8AndSize(text, &length);
    if (!bytes)
        return nullptr;
    if (HbFile* file = LogOf(reinterpret_cast<LogWriter*>(self)); file && length > 0)
        HbFileWrite(bytes, 1, static_cast<size_t>(length), file);
    return PyLong_FromSsize_t(PyUnicode_GET_LENGTH(text));
}

PyObject* LogFlush(PyObject* self, PyObject*)
{
    if (HbFile* file = LogOf(reinterpret_cast<LogWriter*>(self)))
        HbFileFlush(file);
    Py_RETURN_NONE;
}

PyMethodDef gLogMethods[] = {
    {"write", LogWrite, METH_VARARGS, nullptr},
    {"flush", LogFlush, METH_NOARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

// An instance holds a reference on its heap type, given back here: otherwise the type
// outlives every stop of the interpreter.
void LogDealloc(PyObject* self)
{
    PyTypeObject* type = Py_TYPE(self);
    type->tp_free(self);
    Py_DECREF(type);
}

PyType_Slot gLogSlots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(LogDealloc)},
    {Py_tp_methods, gLogMethods},
    {0, nullptr},
};

PyType_Spec gLogSpec = {"HbLogWriter", sizeof(LogWriter), 0, Py_TPFLAGS_DEFAULT, gLogSlots};

bool InstallLogWriters()
{
    PyObject* type = PyType_FromSpec(&gLogSpec);
    if (!type)
        return false;
    bool done = true;
    for (int error = 0; error < 2 && done; ++error)
    {
        PyObject* writer = PyType_GenericAlloc(reinterpret_cast<PyTypeObject*>(type), 0);
        if (!writer)
        {
            done = false;
            break;
        }
        reinterpret_cast<LogWriter*>(writer)->error = error;
        done = PySys_SetObject(error ? "stderr" : "stdout", writer) == 0;
        Py_DECREF(writer);
    }
    Py_DECREF(type);
    return done;
}

// ---- Configuration ------------------------------------------------------------------

bool Check(PyStatus status)
{
    if (!PyStatus_Exception(status))
        return true;
    HbFilePrintf(ScriptInterpreter::GetErrorLog(), "Fatal Python error: %s\n",
                 status.err_msg ? status.err_msg : "interpreter start-up failed");
    return false;
}

bool InitializeInterpreter()
{
    PyConfig config;
    PyConfig_InitIsolatedConfig(&config);
    config.site_import = 0;
    config.install_signal_handlers = 0;
    config.write_bytecode = 0;
    config.module_search_paths_set = 1;
    bool done = Check(PyConfig_SetString(&config, &config.program_name, L"Velmoran")) &&
                Check(PyConfig_SetBytesString(&config, &config.home, HB_PYTHON_HOME)) &&
                Check(PyWideStringList_Append(&config.module_search_paths, L""));
    const char* folders[] = {HB_PYTHON_STDLIB, HB_PYTHON_DYNLOAD, HB_GREENLET_DIR};
    for (const char* folder : folders)
    {
        if (!done)
            break;
        wchar_t* wide = Py_DecodeLocale(folder, nullptr);
        done = wide && Check(PyWideStringList_Append(&config.module_search_paths, wide));
        PyMem_RawFree(wide);
    }
    done = done && Check(Py_InitializeFromConfig(&config));
    PyConfig_Clear(&config);
    return done;
}

// The host's own additions: the log writers, the file-layer finder and vertex().
bool InstallHostPieces()
{
    if (!InstallLogWriters())
        return false;
    PyObject* skip = Py_BuildValue("[sss]", HB_PYTHON_STDLIB, HB_PYTHON_DYNLOAD, HB_GREENLET_DIR);
    bool done = skip && ScriptImportInstall(skip);
    Py_XDECREF(skip);
    return done && ScriptVertexStart();
}

} // namespace

void ScriptInterpreter::SetScenaricInit(ModuleInitFn init)
{
    gScenaricInit = init;
}

int ScriptInterpreter::Start()
{
    if (gStarted)
        return 1;
    if (!SetUpProcess())
    {
        HbFilePuts("Fatal Python error: the built-in module table cannot be extended\n", GetErrorLog());
        return 0;
    }
    if (!InitializeInterpreter())
    {
        if (Py_IsInitialized())
            Py_FinalizeEx();
        return 0;
    }
    gStarted = true;
    TsSetScriptGuard(UthreadGuardedRun);
    if (!InstallHostPieces())
    {
        HbFilePuts("Fatal Python error: the script host could not set the interpreter up\n", GetErrorLog());
        PrintAndClearError();
        Stop();
        return 0;
    }
    return 1;
}

void ScriptInterpreter::Stop()
{
    if (!gStarted)
        return;
    TsSetScriptGuard(nullptr);
    UthreadStop();
    ScriptVertexStop();
    PrintAndClearError();
    Py_FinalizeEx();
    gStarted = false;
}

bool ScriptInterpreter::IsStarted()
{
    return gStarted;
}

void ScriptInterpreter::SetLogFiles(HbFile* out, HbFile* err)
{
    gOutLog = out;
    gErrLog = err;
}

HbFile* ScriptInterpreter::GetOutputLog()
{
    return gOutLog ? gOutLog : HbFileStdout;
}

HbFile* ScriptInterpreter::GetErrorLog()
{
    return gErrLog ? gErrLog : HbFileStderr;
}

void ScriptInterpreter::PrintAndClearError()
{
    if (gStarted && PyErr_Occurred())
        PyErr_Print();
}

PyObject* ScriptIncRef(PyObject* object)
{
    Py_XINCREF(object);
    return object;
}

void ScriptDecRef(PyObject* object)
{
    Py_XDECREF(object);
}
