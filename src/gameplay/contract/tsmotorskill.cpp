// TsMotorSkill.
#include "tsmotorskill.h"

HB_DEFINE_CLASS_DESC(TsMotorSkill, HbRoot);

TsMotorSkill::TsMotorSkill(const char* name) : mName(name ? name : "")
{
}

TsMotorSkill::~TsMotorSkill() = default;

int32_t TsMotorSkill::AttachTo(TsActor* owner)
{
    mOwner = owner;
    return 1;
}
