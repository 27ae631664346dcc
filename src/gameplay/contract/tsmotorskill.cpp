// TsMotorSkill and the timing helpers of skills that time themselves.
#include "tsmotorskill.h"

#include "hbclock.h"

#include <Python.h>

HB_DEFINE_CLASS_DESC(TsMotorSkill, HbRoot);

TsMotorSkill::TsMotorSkill(TsActor* owner, const char* name) : mName(name ? name : ""), mOwner(owner)
{
}

TsMotorSkill::~TsMotorSkill()
{
    // A skill that outlives the interpreter has had its callable dropped with it.
    if (mScriptCallback && Py_IsInitialized())
        Py_DECREF(mScriptCallback);
    mScriptCallback = nullptr;
}

int32_t TsMotorSkill::SpareOperation(void* argument)
{
    (void)argument;
    return 0;
}

namespace TsMotorSkillState
{
void StampTime(TsMotorSkill* skill)
{
    HbGameClock* clock = HbGameClock::Instance();
    if (skill)
        skill->mLastTime = clock ? clock->mGameTime : 0;
}

float UpdateTime(TsMotorSkill* skill)
{
    if (!skill)
        return 0.0f;
    HbGameClock* clock = HbGameClock::Instance();
    const int64_t now = clock ? clock->mGameTime : 0;
    if (now != skill->mLastTime)
    {
        skill->mFrameSeconds = float(double(now - skill->mLastTime) / double(HbPerformanceFrequency()));
        skill->mLastTime = now;
    }
    return skill->mFrameSeconds;
}

void SetScriptCallback(TsMotorSkill* skill, PyObject* callable)
{
    if (!skill || !Py_IsInitialized())
        return;
    Py_XINCREF(callable);
    PyObject* old = skill->mScriptCallback;
    skill->mScriptCallback = callable;
    Py_XDECREF(old);
}
} // namespace TsMotorSkillState
