// TsMotorSkill: the base of every motor-skill state an actor's skill table runs. The
// gameplay layer derives its movement, weapon and hero skills from it; the base does as
// little as a skill can.
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
    /// A skill of that name (null: empty) not yet given an owner.
    explicit TsMotorSkill(const char* name = nullptr);
    ~TsMotorSkill() override;

    // ---- Operations, in slot order after the root ones ----------------------------------

    /// Back to the starting state; run when the table's reset flag is set.
    virtual void Init() {}
    /// Once, after a factory gave the skill its parameters.
    virtual void Setup() {}
    /// The table has just made this skill current.
    virtual void Enter() {}
    /// The table is leaving this skill for another.
    virtual void Exit() {}
    /// One frame of the skill; sets the table's status flags and error. The loop result.
    virtual int32_t Loop() { return 0; }
    /// An event reached the owner while the skill runs.
    virtual void OnEvent(int32_t id, int32_t value) { (void)id, (void)value; }
    /// Takes the actor as owner; 1 when the skill works for that kind of actor (the owner
    /// is kept either way).
    virtual int32_t AttachTo(TsActor* owner);
    /// The script's parameter object; 0 makes the factory drop the skill.
    virtual int32_t SetParameters(PyObject* parameters) { (void)parameters; return 1; }

    void SetName(const char* name) { mName = name ? name : ""; }
    const char* GetName() const { return mName.c_str(); }
    TsActor* GetOwner() const { return mOwner; }

protected:
    std::string mName;
    TsActor* mOwner = nullptr;
};
