// TsSkillRegistry: the motor skills' script functions. Its registration callbacks run when
// the interpreter starts; each adds its functions here and may publish constants into the
// module "skills".
#pragma once

#include "hbgrowarray.h"
#include "hbptrlist.h"

#include <cstdint>

typedef struct _object PyObject;
typedef PyObject* (*PyCFunction)(PyObject*, PyObject*);
struct PyMethodDef;

class TsSkillRegistry : public HbAllocated
{
public:
    /// A registration callback: 0 stops the callbacks after it.
    using Registration = int (*)();

    /// The registry, made on first use with its destroy callback on the exit list.
    static TsSkillRegistry* Instance();
    TsSkillRegistry() = default;
    ~TsSkillRegistry();

    /// Appends a callback (before the interpreter starts). 1, or 0 when out of memory.
    int32_t AddRegistration(Registration registration);
    /// Runs the callbacks in order (HbCallbackList::RunAll).
    int RunRegistrations();
    /// Adds a script function taking positional arguments. The name must outlive the
    /// registry's table. 1, or 0 for a null name or function or no memory.
    int32_t AddFunction(const char* name, PyCFunction function);
    /// One row per added function, then a null row; valid until Clear. Null when out of
    /// memory.
    PyMethodDef* BuildMethodTable();
    /// Forgets every function and frees the table; the callbacks stay for the next start.
    void Clear();
    int32_t GetFunctionCount() const { return mFunctions.GetCount(); }

private:
    struct Function
    {
        const char* name;
        PyCFunction function;
    };
    HbPtrList mRegistrations{10};
    HbGrowArray<Function> mFunctions;
    PyMethodDef* mTable = nullptr;
};
