// TsSkillRegistry: the motor skills' script functions. Its registration callbacks run when
// the interpreter starts; each adds its functions here and may publish constants into the
// module "skills".
#pragma once

#include "hbgrowarray.h"
#include "hbptrlist.h"

#include <cstdint>
#include <string>
#include <vector>

typedef struct _object PyObject;
typedef PyObject* (*PyCFunction)(PyObject*, PyObject*);
struct PyMethodDef;
class TsActor;
class TsMotorSkill;

class TsSkillRegistry : public HbAllocated
{
public:
    /// A registration callback: 0 stops the callbacks after it.
    using Registration = int (*)();
    /// Makes a skill state for the owner from the script's parameters; null when refused.
    using Factory = TsMotorSkill* (*)(TsActor* owner, PyObject* parameters);
    /// Publishes an integer constant in the module "skills"; filled by the actor layer.
    using ConstantPublisher = int (*)(const char* name, int32_t value);
    static constexpr int32_t kNoSkill = -1;

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
    /// One row per added function, then a null row; the same table while no function was
    /// added. Valid, as every table built before it, while the registry lives: the
    /// interpreter's function objects point at their rows. Null when out of memory.
    PyMethodDef* BuildMethodTable();
    /// Forgets every function and skill class; the callbacks stay for the next start. The
    /// tables built stay valid.
    void Clear();
    int32_t GetFunctionCount() const { return mFunctions.GetCount(); }

    // ---- Skill classes ----------------------------------------------------------------------

    /// AddFunction under the skill functions' signature; the documentation, file and line
    /// are not kept.
    int32_t AddSkillFunction(PyCFunction function, const char* name, const char* doc, const char* file,
                             int32_t line);
    /// Files the class {id, name, factory} (a later one of the same id replaces it; one of the
    /// same name is kept beside it)
    /// and publishes the id under the name in "skills". 0 for a null name or factory.
    int32_t AddSkillState(int32_t id, const char* name, const char* file, Factory factory, int32_t line);
    /// The name of the class filed under the id; null when none.
    const char* GetSkillName(int32_t id) const;
    /// The id filed last under the name; kNoSkill when none.
    int32_t GetSkillId(const char* name) const;
    /// A new state of the class filed under the id; null when none or refused.
    TsMotorSkill* CreateSkillState(int32_t id, TsActor* owner, PyObject* parameters) const;
    int32_t GetSkillStateCount() const { return int32_t(mClasses.size()); }
    void SetConstantPublisher(ConstantPublisher publisher) { mPublisher = publisher; }

private:
    struct Function
    {
        const char* name;
        PyCFunction function;
    };
    struct SkillClass
    {
        std::string name;
        int32_t id;
        Factory factory;
    };
    const SkillClass* FindClass(int32_t id) const;

    HbPtrList mRegistrations{10};
    std::vector<SkillClass> mClasses;
    ConstantPublisher mPublisher = nullptr;
    HbGrowArray<Function> mFunctions;
    PyMethodDef* mTable = nullptr;
    /// Tables built before the current one, freed with the registry.
    HbGrowArray<PyMethodDef*> mRetiredTables;
    /// A function was added or the registry cleared since the table was built.
    int32_t mTableStale = 1;
};
