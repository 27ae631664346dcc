// ScriptInterpreter: start and stop of the embedded interpreter (repeatable in one
// process), its memory on the framework's script functions, its output in the
// framework's log and its imports through the framework's file layer; the
// function forms of the reference-count operations.
#pragma once

#include <cstdint>

struct HbFile;
typedef struct _object PyObject;

class ScriptInterpreter
{
public:
    using ModuleInitFn = PyObject* (*)();

    // ---- Before the first start ----------------------------------------------------

    /// The initialisation of the game's main module "scenaric", which the scenario
    /// layer owns. The module is in the built-in table from the first start on;
    /// importing it while no function is set raises ImportError. Later calls only
    /// change the function the table entry calls.
    static void SetScenaricInit(ModuleInitFn init);

    // ---- Life -----------------------------------------------------------------------

    /// Starts an isolated interpreter: no environment variable or user folder is
    /// read; sys.path is "" then Debian's standard library and greenlet's folder;
    /// sys.stdout and sys.stderr write to the log files; sys.meta_path finds
    /// "<dir>\<name>.py" through HbFileOpen for every sys.path entry (pack archives,
    /// either separator, names matched without regard to case); the builtin
    /// vertex() is installed. The first start also puts the interpreter's memory on
    /// HbScriptMalloc/HbScriptRealloc/HbScriptFree (the raw domain, and the arenas of
    /// its small-object allocator; every object by itself when the framework uses the
    /// system allocator) and enters "uthread" and "scenaric" into the built-in module
    /// table. 1 when running
    /// (also when already running), 0 when the interpreter refused to start (the
    /// reason is in the error log).
    static int Start();
    /// Ends every microthread, then finalises the interpreter; Start may follow.
    /// Nothing when not running.
    static void Stop();
    static bool IsStarted();

    // ---- Log --------------------------------------------------------------------------

    /// Where sys.stdout and sys.stderr (and so every printed error) go; null
    /// restores the defaults HbFileStdout and HbFileStderr. Takes effect at once.
    static void SetLogFiles(HbFile* out, HbFile* err);
    static HbFile* GetOutputLog();
    static HbFile* GetErrorLog();
    /// Prints the pending interpreter error (if any) to the error log and clears it;
    /// for paths that report a script failure and go on.
    static void PrintAndClearError();
};

/// The object with one more reference.
PyObject* ScriptIncRef(PyObject* object);
/// Drops one reference; at zero the object is destroyed by its type.
void ScriptDecRef(PyObject* object);
