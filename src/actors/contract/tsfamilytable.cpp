// TsFamilyTable: named values, their checks and their publication to a script module.
#include "tsfamilytable.h"

#include "hbsingleton.h"

#include <Python.h>

#include <cstring>

HB_DEFINE_CLASS_DESC(TsFamilyTable, HbRoot);

namespace
{

char* CopyName(const char* name)
{
    if (!name)
        return nullptr;
    size_t length = std::strlen(name);
    auto* copy = static_cast<char*>(HbOperatorNew(length + 1));
    if (copy)
        std::memcpy(copy, name, length + 1);
    return copy;
}

void FreeName(char*& name)
{
    if (name)
        HbOperatorDelete(name);
    name = nullptr;
}

} // namespace

TsFamilyTable::~TsFamilyTable()
{
    Resize(0);
}

TsFamilyTable* TsFamilyTable::Instance()
{
    return HbSingleton<TsFamilyTable>::Instance();
}

int TsFamilyTable::CheckEntry(const TsFamilyEntry& entry)
{
    return CheckName(entry.name) && CheckValue(entry.value);
}

int TsFamilyTable::CheckValue(int32_t value)
{
    uint32_t low = static_cast<uint32_t>(value) & 0xF;
    return (low & (low - 1)) == 0;
}

int TsFamilyTable::CheckName(const char*)
{
    return 1;
}

int TsFamilyTable::AddEntry(const char* name, int32_t value)
{
    if (!name || FindByName(name) || FindByValue(value))
        return 0;
    TsFamilyEntry entry{CopyName(name), value};
    if (!entry.name)
        return 0;
    if (!CheckEntry(entry) || mEntries.Add(entry) < 0)
        FreeName(entry.name);
    return 1;
}

int TsFamilyTable::PublishToModule(const char* moduleName)
{
    if (!moduleName || GetCount() == 0 || !Py_IsInitialized())
        return 0;
    PyObject* module = PyImport_AddModule(moduleName); // borrowed
    PyObject* dict = module ? PyModule_GetDict(module) : nullptr;
    if (!dict)
    {
        PyErr_Print();
        return 0;
    }
    for (int32_t i = 0; i < GetCount(); ++i)
    {
        const TsFamilyEntry& entry = mEntries[i];
        if (!entry.name)
            continue;
        PyObject* value = PyLong_FromLong(entry.value);
        int stored = value ? PyDict_SetItemString(dict, entry.name, value) : -1;
        Py_XDECREF(value);
        if (stored < 0)
        {
            PyErr_Print();
            return 0;
        }
    }
    return 1;
}

const TsFamilyEntry* TsFamilyTable::FindByName(const char* name) const
{
    if (!name)
        return nullptr;
    for (int32_t i = 0; i < GetCount(); ++i)
        if (mEntries[i].name && std::strcmp(mEntries[i].name, name) == 0)
            return &mEntries[i];
    return nullptr;
}

const TsFamilyEntry* TsFamilyTable::FindByValue(int32_t value) const
{
    for (int32_t i = 0; i < GetCount(); ++i)
        if (mEntries[i].name && mEntries[i].value == value)
            return &mEntries[i];
    return nullptr;
}

int TsFamilyTable::SetEntry(int32_t index, const char* name, int32_t value)
{
    if (index < 0)
        return 0;
    if (index >= GetCount() && !Resize(index + 1))
        return 0;
    char* copy = CopyName(name);
    if (name && !copy)
        return 0;
    FreeName(mEntries[index].name);
    mEntries[index] = TsFamilyEntry{copy, value};
    return 1;
}

int TsFamilyTable::Resize(int32_t size)
{
    if (size < 0)
        return 0;
    for (int32_t i = size; i < GetCount(); ++i)
        FreeName(mEntries[i].name);
    return mEntries.SetSize(size) ? 1 : 0;
}
