// The sys.meta_path finder of the script host: level scripts are "<dir>\<name>.py"
// files that may lie in pack archives under backslash paths, so they are found
// and read through the framework's file layer rather than the interpreter's own
// path finder.
#include "script_local.h"

#include "hbfile.h"

#include <string>

namespace
{

// Source files are small; anything beyond this is not a script.
constexpr int64_t kMaxScriptSize = 64 << 20;

PyObject* FileExists(PyObject*, PyObject* args)
{
    const char* path = nullptr;
    if (!PyArg_ParseTuple(args, "s:_exists", &path))
        return nullptr;
    return PyBool_FromLong(HbFileExists(path));
}

// The whole file as bytes; OSError when it cannot be opened or read.
PyObject* FileRead(PyObject*, PyObject* args)
{
    const char* path = nullptr;
    if (!PyArg_ParseTuple(args, "s:_read", &path))
        return nullptr;
    HbFile* file = HbFileOpen(path, "rb");
    if (!file)
        return PyErr_Format(PyExc_OSError, "cannot open script %s", path);
    std::string bytes;
    char chunk[4096];
    size_t got = 0;
    bool tooLarge = false;
    while ((got = HbFileRead(chunk, 1, sizeof(chunk), file)) > 0)
    {
        bytes.append(chunk, got);
        if (static_cast<int64_t>(bytes.size()) > kMaxScriptSize)
        {
            tooLarge = true;
            break;
        }
    }
    bool failed = HbFileError(file) != 0;
    HbFileClose(file);
    if (tooLarge)
        return PyErr_Format(PyExc_OSError, "script %s is larger than %d bytes", path, static_cast<int>(kMaxScriptSize));
    if (failed)
        return PyErr_Format(PyExc_OSError, "cannot read script %s", path);
    return PyBytes_FromStringAndSize(bytes.data(), static_cast<Py_ssize_t>(bytes.size()));
}

PyMethodDef gFileFunctions[] = {
    {"_exists", FileExists, METH_VARARGS, nullptr},
    {"_read", FileRead, METH_VARARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

// Top-level modules only: level scripts are single files. The finder goes in
// front of the path finder so that an archive entry wins over a disk file of the
// same name, as every other read of the framework does.
const char kFinderSource[] = R"PY(
import sys
from importlib.machinery import ModuleSpec, BuiltinImporter, FrozenImporter

class HbScriptFinder:
    def __init__(self, skip):
        self.skip = frozenset(skip)

    def find_spec(self, name, path=None, target=None):
        if path is not None or '.' in name:
            return None
        for entry in sys.path:
            if not isinstance(entry, str) or entry in self.skip:
                continue
            if entry and entry[-1] not in '\\/':
                entry += '\\'
            file = entry + name + '.py'
            if _exists(file):
                return ModuleSpec(name, self, origin=file)
        return None

    def create_module(self, spec):
        return None

    def exec_module(self, module):
        origin = module.__spec__.origin
        module.__file__ = origin
        exec(compile(_read(origin), origin, 'exec'), module.__dict__)

_at = 0
while _at < len(sys.meta_path) and sys.meta_path[_at] in (BuiltinImporter, FrozenImporter):
    _at += 1
sys.meta_path.insert(_at, HbScriptFinder(_skip))
)PY";

} // namespace

int ScriptImportInstall(PyObject* skipDirs)
{
    PyObject* globals = PyDict_New();
    if (!globals)
        return 0;
    PyObject* name = PyUnicode_FromString("hbscriptimport");
    int done = name && PyDict_SetItemString(globals, "__builtins__", PyEval_GetBuiltins()) == 0 &&
               PyDict_SetItemString(globals, "__name__", name) == 0 &&
               PyDict_SetItemString(globals, "_skip", skipDirs) == 0;
    Py_XDECREF(name);
    for (PyMethodDef* def = gFileFunctions; done && def->ml_name; ++def)
    {
        PyObject* function = PyCFunction_New(def, nullptr);
        done = function && PyDict_SetItemString(globals, def->ml_name, function) == 0;
        Py_XDECREF(function);
    }
    if (done)
    {
        PyObject* result = PyRun_String(kFinderSource, Py_file_input, globals, globals);
        done = result != nullptr;
        Py_XDECREF(result);
    }
    Py_DECREF(globals);
    return done;
}
