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
    for (int32_t i = 0; i < mRetiredTables.GetCount(); ++i)
        HbArrayFree(mRetiredTables[i]);
    mRetiredTables.RemoveAll();
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
    if (mFunctions.Add(Function{name, function}) < 0)
        return 0;
    mTableStale = 1;
    return 1;
}

PyMethodDef* TsSkillRegistry::BuildMethodTable()
{
    // The function objects made from a table read their row from it for as long as they
    // live, which a script may make longer than this start or the interpreter: earlier
    // tables stay until the registry goes.
    if (mTable && !mTableStale)
        return mTable;
    if (mTable && mRetiredTables.Add(mTable) < 0)
        return nullptr;
    mTable = nullptr;
    int32_t count = mFunctions.GetCount();
    mTable = static_cast<PyMethodDef*>(HbArrayAlloc(sizeof(PyMethodDef) * size_t(count + 1)));
    if (!mTable)
        return nullptr;
    for (int32_t i = 0; i < count; ++i)
        mTable[i] = PyMethodDef{mFunctions[i].name, mFunctions[i].function, METH_VARARGS, nullptr};
    mTable[count] = PyMethodDef{nullptr, nullptr, 0, nullptr};
    mTableStale = 0;
    return mTable;
}

void TsSkillRegistry::Clear()
{
    mFunctions.RemoveAll();
    mClasses.clear();
    // Functions made from the table may still be alive in an interpreter whose garbage
    // collector reads their rows: the table is kept, not freed.
    if (mTable && mRetiredTables.Add(mTable) >= 0)
        mTable = nullptr;
    mTableStale = 1;
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
