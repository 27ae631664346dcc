// HeroStateRegistry.
#include "herostateregistry.h"

#include "hbsingleton.h"

HeroStateRegistry* HeroStateRegistry::Instance()
{
    return HbSingleton<HeroStateRegistry>::Instance();
}

int32_t HeroStateRegistry::AddRegistration(Registration registration)
{
    return registration && mRegistrations.AddTail(reinterpret_cast<void*>(registration)) ? 1 : 0;
}

int HeroStateRegistry::RunRegistrations() const
{
    return HbCallbackList::RunAll(mRegistrations);
}
