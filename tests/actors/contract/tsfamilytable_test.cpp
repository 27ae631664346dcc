// The family table: entry rules, storage growth and publication to a module.
#include "scriptinterpreter.h"
#include "tsfamilytable.h"

#include <Python.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace
{

TEST(TsFamilyTable, AddEntryRefusesDuplicatesAndSkipsValuesTheCheckRefuses)
{
    TsFamilyTable table;
    EXPECT_EQ(table.AddEntry("HeroFamily", 1), 1);
    EXPECT_EQ(table.AddEntry("HeroFamily", 2), 0) << "name taken";
    EXPECT_EQ(table.AddEntry("Other", 1), 0) << "value taken";
    EXPECT_EQ(table.AddEntry("herofamily", 16), 1) << "names compare with case";
    EXPECT_EQ(table.AddEntry(nullptr, 32), 0);
    EXPECT_EQ(table.GetCount(), 2);

    struct Case
    {
        int32_t value;
        bool kept;
    };
    const Case cases[] = {{0, true}, {2, true}, {3, false}, {8, true}, {0x30, true}, {0x105, false}, {0x20000, true}};
    for (const Case& c : cases)
    {
        std::string name = "value" + std::to_string(c.value);
        EXPECT_EQ(table.AddEntry(name.c_str(), c.value), 1) << c.value;
        EXPECT_EQ(table.FindByName(name.c_str()) != nullptr, c.kept) << c.value;
    }
    EXPECT_EQ(table.FindByValue(3), nullptr);
    ASSERT_NE(table.FindByValue(0x20000), nullptr);
    EXPECT_STREQ(table.FindByValue(0x20000)->name, "value131072");
}

TEST(TsFamilyTable, StorageGrowsAndShrinks)
{
    TsFamilyTable table;
    EXPECT_EQ(table.SetEntry(20, "far", 64), 1);
    EXPECT_EQ(table.GetCount(), 21);
    EXPECT_EQ(table.GetEntry(3).name, nullptr) << "entries made by growth have no name";
    EXPECT_EQ(table.FindByValue(0), nullptr) << "nameless entries are not found";
    EXPECT_EQ(table.SetEntry(20, "renamed", 64), 1);
    EXPECT_STREQ(table.GetEntry(20).name, "renamed");
    EXPECT_EQ(table.SetEntry(-1, "bad", 1), 0);
    EXPECT_EQ(table.Resize(2), 1);
    EXPECT_EQ(table.FindByName("renamed"), nullptr);
    EXPECT_EQ(table.AddEntry("again", 64), 1) << "the shrunk entry's value is free again";
    EXPECT_EQ(table.Resize(0), 1);
    EXPECT_EQ(table.GetCount(), 0);
}

TEST(TsFamilyTable, PublishesIntegersIntoAModule)
{
    TsFamilyTable table;
    EXPECT_EQ(table.PublishToModule("family_test"), 0) << "empty table";
    table.AddEntry("UndefinedFamily", 0);
    table.AddEntry("faction7", 32768);
    table.AddEntry("CameraCollFamily", 131072);
    EXPECT_EQ(table.PublishToModule("family_test"), 0) << "no interpreter running";
    ASSERT_EQ(ScriptInterpreter::Start(), 1);
    EXPECT_EQ(table.PublishToModule(nullptr), 0);
    ASSERT_EQ(table.PublishToModule("family_test"), 1);
    PyObject* result = PyRun_String("(family_test.faction7, family_test.CameraCollFamily, family_test.UndefinedFamily)",
                                    Py_eval_input, PyDict_New(), nullptr);
    ASSERT_EQ(result, nullptr) << "the module is in sys.modules, not in every namespace";
    PyErr_Clear();
    PyObject* module = PyImport_ImportModule("family_test");
    ASSERT_NE(module, nullptr);
    PyObject* value = PyObject_GetAttrString(module, "CameraCollFamily");
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(PyLong_AsLong(value), 131072);
    Py_DECREF(value);
    Py_DECREF(module);
    ScriptInterpreter::Stop();
}

TEST(TsFamilyTable, SingletonIsKeptUntilExit)
{
    TsFamilyTable* table = TsFamilyTable::Instance();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(TsFamilyTable::Instance(), table);
}

} // namespace
