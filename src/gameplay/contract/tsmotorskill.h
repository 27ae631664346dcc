// TsMotorSkill: the base of every motor-skill state an actor's skill table runs. The
// gameplay layer derives its movement, weapon and hero skills from it.
#pragma once

#include "hbroot.h"

#include <cstdint>
#include <string>

typedef struct _object PyObject;
class TsActor;

class TsMotorSkill : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    /// A skill of the owner (not reference-counted) under its name (null: empty).
    TsMotorSkill(TsActor* owner, const char* name);
    ~TsMotorSkill() override;

    // ---- Operations, in slot order after the root ones ----------------------------------

    /// Back to the starting state; run by the table when its reset flag is set.
    virtual void Init() = 0;
    /// Unused; 0.
    virtual int32_t SpareOperation(void* argument);
    /// Once, after a factory's SetParameters accepted the parameters.
    virtual void Setup() {}
    /// The table has just made this skill current.
    virtual void Enter() = 0;
    /// The table is leaving this skill for another.
    virtual void Exit() = 0;
    /// One frame of the skill; sets the table's status flags and error. The loop result.
    virtual int32_t Loop() = 0;
    /// An animation event of the owner's model.
    virtual void OnEvent(int32_t id) { (void)id; }
    /// Offered the table's actor; true when the skill works for it (the table ignores it).
    virtual int32_t AttachTo(TsActor* owner) = 0;
    /// The script's parameter object, given by a factory; 0 makes the factory drop the skill.
    virtual int32_t SetParameters(PyObject* parameters) { (void)parameters; return 1; }

    void SetName(const char* name) { mName = name ? name : ""; }
    const char* GetName() const { return mName.c_str(); }
    TsActor* GetOwner() const { return mOwner; }

    /// Seconds of the last frame and the tick of the last stamp, for skills that time
    /// themselves; TsMotorSkillState sets them.
    float mFrameSeconds = 0.0f;
    int64_t mLastTime = 0;
    /// A script callable the skill calls back (one reference, dropped with the skill).
    PyObject* mScriptCallback = nullptr;

protected:
    int32_t mSpare = 0;
    std::string mName;
    TsActor* mOwner;
};

/// The timing and callback helpers of skills that time themselves.
namespace TsMotorSkillState
{
/// The skill's last time := the game clock's time now.
void StampTime(TsMotorSkill* skill);
/// When the game clock moved since the last stamp: frame seconds := the seconds elapsed since
/// it and the stamp moves to now. The frame seconds (0 for a null skill).
float UpdateTime(TsMotorSkill* skill);
/// Keeps the callable (a reference taken; null drops the one kept). Only while the
/// interpreter runs.
void SetScriptCallback(TsMotorSkill* skill, PyObject* callable);
} // namespace TsMotorSkillState
