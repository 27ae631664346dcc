// TsSkillRegistry.
#include "tsskillregistry.h"

#include "hbsingleton.h"
#include "hbmemory.h"

#include <Python.h>

TsSkillRegistry* TsSkillRegistry::Instance()
{
    return HbSingleton<TsSkillRegistry>::Instance();
}

TsSkillRegistry::~TsSkillRegistry()
{
    Clear();
    for (PyMethodDef* table : mRetiredTables)
        HbArrayFree(table);
}

int32_t TsSkillRegistry::AddRegistration(Registration registration)
{
    return registration && mRegistrations.AddTail(reinterpret_cast<void*>(registration)) ? 1 : 0;
}

int TsSkillRegistry::RunRegistrations()
{
    return HbCallbackList::RunAll(mRegistrations);
}

int32_t TsSkillRegistry::AddFunction(const char* name, PyCFunction function)
{
    if (!name || !function)
        return 0;
    return mFunctions.Add(Function{name, function}) >= 0 ? 1 : 0;
}

void TsSkillRegistry::RetireTable()
{
    if (mTable)
        mRetiredTables.push_back(mTable);
    mTable = nullptr;
}

PyMethodDef* TsSkillRegistry::BuildMethodTable()
{
    int32_t count = mFunctions.GetCount();
    // The same functions as last time: the same table (its functions may still be alive).
    bool same = mTable != nullptr;
    for (int32_t i = 0; same && i <= count; ++i)
        same = i < count ? mTable[i].ml_name == mFunctions[i].name && mTable[i].ml_meth == mFunctions[i].function
                         : mTable[i].ml_name == nullptr;
    if (same)
        return mTable;
    RetireTable();
    mTable = static_cast<PyMethodDef*>(HbArrayAlloc(sizeof(PyMethodDef) * size_t(count + 1)));
    if (!mTable)
        return nullptr;
    for (int32_t i = 0; i < count; ++i)
        mTable[i] = PyMethodDef{mFunctions[i].name, mFunctions[i].function, METH_VARARGS, nullptr};
    mTable[count] = PyMethodDef{nullptr, nullptr, 0, nullptr};
    return mTable;
}

void TsSkillRegistry::Clear()
{
    mFunctions.RemoveAll();
    mClasses.clear();
    RetireTable();
}

// ---- Skill classes ----------------------------------------------------------------------------

int32_t TsSkillRegistry::AddSkillFunction(PyCFunction function, const char* name, const char* doc, const char* file,
                                          int32_t line)
{
    (void)doc, (void)file, (void)line;
    return AddFunction(name, function);
}

int32_t TsSkillRegistry::AddSkillState(int32_t id, const char* name, const char* file, Factory factory, int32_t line)
{
    (void)file, (void)line;
    if (!name || !factory)
        return 0;
    // Two classes under one name both stay under their ids; the name finds the later.
    for (auto it = mClasses.begin(); it != mClasses.end();)
        it = it->id == id ? mClasses.erase(it) : it + 1;
    mClasses.push_back(SkillClass{name, id, factory});
    if (mPublisher)
        mPublisher(name, id);
    return 1;
}

const TsSkillRegistry::SkillClass* TsSkillRegistry::FindClass(int32_t id) const
{
    for (const SkillClass& entry : mClasses)
        if (entry.id == id)
            return &entry;
    return nullptr;
}

const char* TsSkillRegistry::GetSkillName(int32_t id) const
{
    const SkillClass* entry = FindClass(id);
    return entry ? entry->name.c_str() : nullptr;
}

int32_t TsSkillRegistry::GetSkillId(const char* name) const
{
    if (name)
        for (auto it = mClasses.rbegin(); it != mClasses.rend(); ++it)
            if (it->name == name)
                return it->id;
    return kNoSkill;
}

TsMotorSkill* TsSkillRegistry::CreateSkillState(int32_t id, TsActor* owner, PyObject* parameters) const
{
    const SkillClass* entry = FindClass(id);
    return entry ? entry->factory(owner, parameters) : nullptr;
}
