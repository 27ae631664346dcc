// TsMotorSkill.
#include "tsmotorskill.h"

HB_DEFINE_CLASS_DESC(TsMotorSkill, HbRoot);

TsMotorSkill::TsMotorSkill(TsActor* owner, const char* name) : mName(name ? name : ""), mOwner(owner)
{
}

TsMotorSkill::~TsMotorSkill() = default;

int32_t TsMotorSkill::SpareOperation(void* argument)
{
    (void)argument;
    return 0;
}
