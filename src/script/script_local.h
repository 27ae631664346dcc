// Private to the script host: the pieces that the interpreter's start and stop
// wire together.
#pragma once

#include <Python.h>

/// The sys.meta_path finder that imports "<dir>\<name>.py" through the framework's
/// file layer; the entries of skipDirs (a list of str, the interpreter's own
/// folders) are left to the standard finders. 1, or 0 with the error set.
int ScriptImportInstall(PyObject* skipDirs);

/// Creates the vertex type and puts vertex() into builtins; 1, or 0 with the error set.
int ScriptVertexStart();
/// Drops the host's reference to the vertex type before finalisation.
void ScriptVertexStop();

/// The "uthread" module's initialisation (built-in module table).
PyObject* UthreadModuleInit();
/// Before finalisation: ends every live microthread, stops the step watchdog and
/// drops the module's references.
void UthreadStop();
