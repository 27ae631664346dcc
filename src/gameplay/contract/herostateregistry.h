// HeroStateRegistry: the hero states' registration callbacks, run when the interpreter
// starts to publish the hero-state constants into the module "states".
#pragma once

#include "hbptrlist.h"

#include <cstdint>

class HeroStateRegistry : public HbAllocated
{
public:
    /// A registration callback: 0 stops the callbacks after it.
    using Registration = int (*)();

    /// The registry, made on first use with its destroy callback on the exit list.
    static HeroStateRegistry* Instance();
    HeroStateRegistry() = default;

    /// Appends a callback (before the interpreter starts). 1, or 0 when out of memory.
    int32_t AddRegistration(Registration registration);
    /// Runs the callbacks in order; 0 when one answered 0.
    int RunRegistrations() const;
    int32_t GetCount() const { return mRegistrations.GetCount(); }

private:
    HbPtrList mRegistrations{10};
};
