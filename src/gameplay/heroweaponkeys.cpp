// The hero's weapon keys.
#include "heroweaponkeys.h"

namespace
{
HeroWeaponKeysReader gReader = nullptr;
} // namespace

int32_t HeroWeaponKeys::SetSlotName(int32_t index, const char* name)
{
    if (index < 0 || index >= kCount || !name)
        return 0;
    mNames[index] = name;
    return 1;
}

const char* HeroWeaponKeys::GetSlotName(int32_t index) const
{
    return index >= 0 && index < kCount ? mNames[index].c_str() : "";
}

void HeroSetWeaponKeysReader(HeroWeaponKeysReader reader)
{
    gReader = reader;
}

HeroWeaponKeys* HeroWeaponKeysOf(TsActor* hero)
{
    return hero && gReader ? gReader(hero) : nullptr;
}
