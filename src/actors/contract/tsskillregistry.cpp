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
    return mFunctions.Add(Function{name, function}) ? 1 : 0;
}

PyMethodDef* TsSkillRegistry::BuildMethodTable()
{
    HbArrayFree(mTable);
    int32_t count = mFunctions.GetCount();
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
    HbArrayFree(mTable);
    mTable = nullptr;
}
