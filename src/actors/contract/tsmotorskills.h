// TsMotorSkills: what the script world asks of an actor's motor skills each frame; the
// actor layer implements it.
#pragma once

#include <cstdint>

class TsMotorSkills
{
public:
    virtual ~TsMotorSkills() = default;

    /// Runs the named skill for this frame (the current one when the name is the current
    /// skill's).
    virtual void LoopSkill(const char* name) = 0;
    /// The current skill's name; null when none runs.
    virtual const char* GetCurrentSkillName() const = 0;
    /// The error code the skills keep; 0 when none. Reading it does not clear it.
    virtual uint32_t GetErrorCode() const = 0;
};
