// MS_OBJECT_DISAPPEAR and LaunchDisappear.
#include "objectdisappear.h"

#include "fxfade.h"
#include "hbptr.h"
#include "tsactorlayer.h"
#include "tsanimactor.h"
#include "tsmotorskills.h"
#include "tsskillregistry.h"
#include "w3dnode.h"

#include <Python.h>

HB_DEFINE_CLASS_DESC(ObjectDisappearMSState, TsMotorSkill);

namespace
{
PyObject* LaunchDisappear(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    float seconds = 0.0f;
    int next = 0;
    PyObject* callable = nullptr;
    if (!PyArg_ParseTuple(args, "OfiO:LaunchDisappear", &object, &seconds, &next, &callable))
        return nullptr;
    TsActor* actor = TsFindActorOfScriptObject(object);
    TsMotorSkills* table = actor ? actor->GetMotorSkills() : nullptr;
    auto* skill = table ? HbCastTo<ObjectDisappearMSState>(table->FindSkill(ObjectDisappearMSState::kName)) : nullptr;
    if (!skill)
        Py_RETURN_NONE;
    skill->mDuration = seconds;
    skill->mNextSkill = next;
    if (PyCallable_Check(callable))
        TsMotorSkillState::SetScriptCallback(skill, callable);
    table->LoopSkill(ObjectDisappearMSState::kName);
    Py_RETURN_NONE;
}

int Register()
{
    TsSkillRegistry* registry = TsSkillRegistry::Instance();
    if (!registry)
        return 0;
    registry->AddSkillFunction(LaunchDisappear, "LaunchDisappear", "This function is not documented", __FILE__,
                               __LINE__);
    registry->AddSkillState(ObjectDisappearMSState::kScriptId, ObjectDisappearMSState::kName, __FILE__,
                            ObjectDisappearMSState::Create, __LINE__);
    return 1;
}

bool gQueued = false;

[[maybe_unused]] const int gQueuedAtStart = (ObjectDisappearQueueRegistrations(), 1);
} // namespace

int32_t ObjectDisappearMSState::Loop()
{
    TsMotorSkills* table = mOwner ? mOwner->GetMotorSkills() : nullptr;
    if (!table)
        return 0;
    W3dNode* node = mOwner->GetNode();
    switch (mPhase)
    {
    case kStart:
        mPhase = kFaded;
        if (node && FxFadeStart(HbHandlePtr(node), mDuration, nullptr, nullptr))
        {
            for (HbPtrListNode* entry = node->GetChildren().GetHead(); entry; entry = entry->next)
                FxFadeStart(HbHandlePtr(static_cast<W3dNode*>(entry->value)), mDuration, nullptr, nullptr);
            mPhase = kFading;
        }
        table->mFlags |= TsMotorSkills::kRunning;
        return 1;
    case kFading:
        // The fade machinery clears the node's fade hook once the fade is over; polling it
        // leaves the fade nothing that points back at this skill.
        if (node && node->GetFadeFunction())
        {
            table->mFlags |= TsMotorSkills::kRunning;
            return 1;
        }
        mPhase = kFaded;
        [[fallthrough]];
    default:
    {
        // Switching first: the next skill's loop clears the status, so success is set after.
        TsSkillRegistry* registry = TsSkillRegistry::Instance();
        const char* next = registry ? registry->GetSkillName(mNextSkill) : nullptr;
        TsActor* owner = mOwner;
        table->LoopSkill(next ? next : "");
        table->mFlags |= TsMotorSkills::kSucceeded;
        owner->RaisePendingCallFlag();
        return 0;
    }
    }
}

int32_t ObjectDisappearMSState::AttachTo(TsActor* owner)
{
    if (!HbCastTo<TsAnimActor>(owner))
        return 0;
    mOwner = owner;
    return 1;
}

TsMotorSkill* ObjectDisappearMSState::Create(TsActor* owner, PyObject* parameters)
{
    auto* state = new ObjectDisappearMSState(owner);
    if (!state->SetParameters(parameters))
    {
        delete state;
        return nullptr;
    }
    state->Setup();
    return state;
}

void ObjectDisappearQueueRegistrations()
{
    if (gQueued)
        return;
    TsSkillRegistry* registry = TsSkillRegistry::Instance();
    if (!registry)
        return;
    registry->AddRegistration(Register);
    gQueued = true;
}
