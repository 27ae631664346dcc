// TsNothingToDoMSState and its registrations.
#include "tsnothingtodo.h"

#include "tsactor.h"
#include "tsmotorskills.h"
#include "tsskillregistry.h"

#include <Python.h>

HB_DEFINE_CLASS_DESC(TsNothingToDoMSState, TsMotorSkill);
HB_DEFINE_CLASS_POOL(TsNothingToDoMSState, "TsNothingToDoMSState", TsNothingToDoMSState::kPoolSize);

namespace
{
PyObject* TsNothingToDo(PyObject*, PyObject* args)
{
    PyObject* actor = nullptr;
    if (!PyArg_ParseTuple(args, "O:TsNothingToDo", &actor))
        return nullptr;
    Py_RETURN_NONE;
}

int Register()
{
    TsSkillRegistry* registry = TsSkillRegistry::Instance();
    if (!registry)
        return 0;
    registry->AddSkillFunction(TsNothingToDo, "TsNothingToDo", " {no data} : actor do nothing", __FILE__, __LINE__);
    registry->AddSkillState(TsNothingToDoMSState::kScriptId, TsNothingToDoMSState::kName, __FILE__,
                            TsNothingToDoMSState::Create, __LINE__);
    return 1;
}

bool gQueued = false;
} // namespace

int32_t TsNothingToDoMSState::Loop()
{
    if (TsMotorSkills* table = mOwner ? mOwner->GetMotorSkills() : nullptr)
        table->mFlags |= TsMotorSkills::kSucceeded;
    return 0;
}

int32_t TsNothingToDoMSState::AttachTo(TsActor* owner)
{
    mOwner = owner;
    return 1;
}

TsMotorSkill* TsNothingToDoMSState::Create(TsActor* owner, PyObject* parameters)
{
    auto* state = new TsNothingToDoMSState(owner);
    if (!state)
        return nullptr;
    if (!state->SetParameters(parameters))
    {
        delete state;
        return nullptr;
    }
    state->Setup();
    return state;
}

void TsNothingToDoQueueRegistration(TsSkillRegistry* registry)
{
    if (registry && !gQueued)
        gQueued = registry->AddRegistration(Register) != 0;
}
