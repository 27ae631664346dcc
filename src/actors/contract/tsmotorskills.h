// TsMotorSkills: an actor's table of named motor skills, the current and previous skill,
// the status flags and error word scripts read, and the parameter area scripts fill before
// restarting a skill.
#pragma once

#include "hbperclassfreelist.h"
#include "hbptrlist.h"
#include "hbroot.h"
#include "tsmotorskill.h"

#include <cstdint>
#include <string>
#include <vector>

class TsActor;

/// The skill every table starts with: its loop marks it running and answers 1.
class DoNothingMSState : public TsMotorSkill
{
    HB_DECLARE_CLASS_DESC();
    HB_DECLARE_CLASS_POOL();

public:
    static constexpr const char* kName = "MS_DO_NOTHING";
    explicit DoNothingMSState(TsActor* owner) : TsMotorSkill(owner, kName) {}
    void Init() override {}
    void Enter() override {}
    void Exit() override {}
    /// Marks the owner's skills running; 1.
    int32_t Loop() override;
    /// Any actor; 1.
    int32_t AttachTo(TsActor* owner) override;
};

class TsMotorSkills : public HbRoot
{
    HB_DECLARE_CLASS_DESC();
    HB_DECLARE_CLASS_POOL();

public:
    enum Flag : uint32_t
    {
        kRunning = 0x1,
        kSucceeded = 0x2,
        kFailed = 0x8,
        kChanged = 0x10,
        kResetRequested = 0x20,
        kUnknownSkill = 0x80,
        kConstructed = 0x100,
    };
    static constexpr int32_t kTextCount = 12;
    static constexpr int32_t kPoolSize = 100;

    /// A table holding MS_DO_NOTHING for the owner as current and previous skill.
    explicit TsMotorSkills(TsActor* owner = nullptr);
    /// Releases every skill. Exit is not run here: the owner runs ExitCurrent from its own
    /// destructor while it is still whole.
    ~TsMotorSkills() override;

    /// Gives the skill the owner and files it under its name (one reference); a skill of
    /// the same name is replaced. 0 for null and for a skill that refuses the owner (then
    /// the skill stays the caller's and nothing filed changes).
    int32_t AddSkill(TsMotorSkill* skill);
    /// The skill filed under the name, or null.
    TsMotorSkill* FindSkill(const char* name) const;
    /// Runs the named skill for this frame, changing to it when it is not current. An
    /// unknown name sets kUnknownSkill and runs MS_DO_NOTHING. The current skill's loop
    /// result.
    virtual int32_t LoopSkill(const char* name);
    /// Leaves the current skill for MS_DO_NOTHING (Exit on the skill left).
    void ExitCurrent();

    /// The current skill's name; null when none.
    virtual const char* GetCurrentSkillName() const;
    /// The error of the last run; 0 when none. Reading it does not clear it.
    virtual uint32_t GetErrorCode() const { return mError; }
    TsMotorSkill* GetCurrent() const { return mCurrent; }
    TsMotorSkill* GetPrevious() const { return mPrevious; }
    TsActor* GetOwner() const { return mOwner; }

    uint32_t mFlags = 0;
    uint32_t mError = 0;
    /// Emptied whenever a skill is reset.
    std::vector<std::string> mMessages;
    /// Parameters of the degree-of-freedom skills.
    float mSpeed = 0.0f;
    float mAmount = 0.0f;
    float mAxis[3] = {};
    std::string mTexts[kTextCount];

private:
    HbPtrList mSkills{10};
    TsMotorSkill* mCurrent = nullptr;
    TsMotorSkill* mPrevious = nullptr;
    TsActor* mOwner = nullptr;
};
