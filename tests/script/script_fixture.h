// Test helpers for the script host: an interpreter started once and kept, a log
// file per test, and small runners that report a script's result or its error.
#pragma once

#include "hbfile.h"
#include "scriptinterpreter.h"

#include <Python.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace scripttest
{

/// The text of the pending error as "Type: message", cleared; empty when none.
inline std::string TakeError()
{
    if (!PyErr_Occurred())
        return {};
    PyObject *type, *value, *traceback;
    PyErr_Fetch(&type, &value, &traceback);
    PyErr_NormalizeException(&type, &value, &traceback);
    std::string text = reinterpret_cast<PyTypeObject*>(type)->tp_name;
    if (PyObject* message = value ? PyObject_Str(value) : nullptr)
    {
        text += ": ";
        text += PyUnicode_AsUTF8(message);
        Py_DECREF(message);
    }
    Py_XDECREF(type);
    Py_XDECREF(value);
    Py_XDECREF(traceback);
    PyErr_Clear();
    return text;
}

inline PyObject* MainDict()
{
    return PyModule_GetDict(PyImport_AddModule("__main__"));
}

/// Runs statements in __main__; "" when they ran, else the error they raised.
inline std::string Exec(const std::string& code)
{
    PyObject* result = PyRun_String(code.c_str(), Py_file_input, MainDict(), MainDict());
    Py_XDECREF(result);
    return result ? std::string() : TakeError();
}

/// The repr of an expression evaluated in __main__, or "!" + the error it raised.
inline std::string Eval(const std::string& expression)
{
    PyObject* result = PyRun_String(expression.c_str(), Py_eval_input, MainDict(), MainDict());
    if (!result)
        return "!" + TakeError();
    PyObject* text = PyObject_Repr(result);
    std::string repr = text ? PyUnicode_AsUTF8(text) : "!repr failed";
    Py_XDECREF(text);
    Py_DECREF(result);
    return repr;
}

/// Every test starts with a running interpreter (started once, kept between
/// tests) whose output goes to a log file of the test's own.
class ScriptTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        mLog = HbFileWrapCrt(std::tmpfile());
        ASSERT_NE(mLog, nullptr);
        ScriptInterpreter::SetLogFiles(mLog, mLog);
        ASSERT_EQ(ScriptInterpreter::Start(), 1);
        ASSERT_FALSE(PyErr_Occurred());
    }

    void TearDown() override
    {
        EXPECT_FALSE(ScriptInterpreter::IsStarted() && PyErr_Occurred()) << TakeError();
        ScriptInterpreter::SetLogFiles(nullptr, nullptr);
        HbFileClose(mLog);
    }

    /// Everything written to the log so far.
    std::string LogText()
    {
        std::FILE* f = mLog->crt;
        std::fflush(f);
        long end = std::ftell(f);
        std::string text(static_cast<size_t>(end), '\0');
        std::rewind(f);
        size_t got = std::fread(text.data(), 1, text.size(), f);
        text.resize(got);
        std::fseek(f, end, SEEK_SET);
        return text;
    }

    HbFile* mLog = nullptr;
};

} // namespace scripttest
