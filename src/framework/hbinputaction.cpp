// Input actions: conditions evaluated once per frame, contexts, reset.
#include "hbinputaction.h"

#include "hbkeycondition.h"

HB_DEFINE_CLASS_DESC(HbInputAction, HbRoot);

HbInputAction::HbInputAction(const char* name, HbCommand* command, int32_t context)
    : mName(name ? name : ""), mCommand(command)
{
    mContexts[0] = context;
    mContextCount = 1;
}

HbInputAction::~HbInputAction()
{
    for (HbKeyCondition*& condition : mConditions)
    {
        if (condition)
            condition->Release();
        condition = nullptr;
    }
    mConditionCount = 0;
}

int HbInputAction::IsTriggered()
{
    if (!(mFlags & kEnabled))
        return 0;
    if (mFlags & kNeedsEvaluation)
    {
        if (Evaluate())
            mFlags |= kTriggered;
        else
            mFlags &= ~kTriggered;
        mFlags &= ~kNeedsEvaluation;
    }
    return (mFlags & kTriggered) ? 1 : 0;
}

int HbInputAction::Evaluate()
{
    for (HbKeyCondition* condition : mConditions)
    {
        if (!condition)
            continue;
        int32_t code = condition->GetKeyCode();
        uint8_t key = (mKeyStates && code >= 0 && code < mKeyStateCount) ? mKeyStates[code] : 0;
        if (!condition->Evaluate(key))
            return 0;
    }
    return 1;
}

void HbInputAction::Reset()
{
    mFlags = (mFlags & ~(kTriggered | kEnabled)) | kNeedsEvaluation;
    for (HbKeyCondition* condition : mConditions)
        if (condition)
            condition->Reset();
}

int HbInputAction::AddKey(HbKeyCondition* condition)
{
    if (!condition)
        return 0;
    for (HbKeyCondition* held : mConditions)
        if (held && held->GetKeyCode() == condition->GetKeyCode())
            return 0;
    for (HbKeyCondition*& slot : mConditions)
        if (!slot)
        {
            slot = condition;
            condition->AddRef();
            ++mConditionCount;
            return 1;
        }
    return 0;
}

int HbInputAction::InContext(int32_t context) const
{
    for (int32_t i = 0; i < mContextCount; ++i)
        if (mContexts[i] == context)
            return 1;
    return 0;
}

int HbInputAction::AddContext(int32_t context)
{
    if (InContext(context) || mContextCount >= kMaxContexts)
        return 0;
    mContexts[mContextCount++] = context;
    return 1;
}

void HbInputAction::SetKeyStates(const uint8_t* keyStates, int32_t count)
{
    mKeyStates = keyStates;
    mKeyStateCount = keyStates ? count : 0;
}

HbKeyCondition* HbInputAction::GetCondition(int32_t index) const
{
    return index >= 0 && index < kMaxConditions ? mConditions[index] : nullptr;
}

int32_t HbInputAction::GetContext(int32_t index) const
{
    return index >= 0 && index < mContextCount ? mContexts[index] : -1;
}
