// TsNothingToDoMSState: the skill MS_NOTHING_TO_DO (script id 52428), whose loop reports
// success at once, and the script function TsNothingToDo.
#pragma once

#include "hbperclassfreelist.h"
#include "tsmotorskill.h"

class TsSkillRegistry;

class TsNothingToDoMSState : public TsMotorSkill
{
    HB_DECLARE_CLASS_DESC();
    HB_DECLARE_CLASS_POOL();

public:
    static constexpr const char* kName = "MS_NOTHING_TO_DO";
    static constexpr int32_t kPoolSize = 100;
    static constexpr int32_t kScriptId = 52428;

    explicit TsNothingToDoMSState(TsActor* owner) : TsMotorSkill(owner, kName) {}
    void Init() override {}
    void Enter() override {}
    void Exit() override {}
    /// Any actor; 1.
    int32_t AttachTo(TsActor* owner) override;
    /// Sets the owner's success flag; 0.
    int32_t Loop() override;
    /// A state for the owner (any parameters accepted).
    static TsMotorSkill* Create(TsActor* owner, PyObject* parameters);
};

/// Queues this file's registrations on the registry (once).
void TsNothingToDoQueueRegistration(TsSkillRegistry* registry);
