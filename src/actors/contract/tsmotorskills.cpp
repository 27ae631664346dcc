// TsMotorSkills and the skill every table starts with.
#include "tsmotorskills.h"

#include "tsactor.h"

#include <cstring>

HB_DEFINE_CLASS_DESC(DoNothingMSState, TsMotorSkill);
HB_DEFINE_CLASS_DESC(TsMotorSkills, HbRoot);
HB_DEFINE_CLASS_POOL(DoNothingMSState, "DoNothingMSState", TsMotorSkills::kPoolSize);
HB_DEFINE_CLASS_POOL(TsMotorSkills, "TsMotorSkills", TsMotorSkills::kPoolSize);

namespace
{
void Hold(TsMotorSkill*& slot, TsMotorSkill* skill)
{
    if (skill)
        skill->AddRef();
    TsMotorSkill* old = slot;
    slot = skill;
    if (old)
        old->Release();
}
} // namespace

int32_t DoNothingMSState::Loop()
{
    if (TsMotorSkills* table = mOwner ? mOwner->GetMotorSkills() : nullptr)
        table->mFlags |= TsMotorSkills::kRunning;
    return 1;
}

int32_t DoNothingMSState::AttachTo(TsActor* owner)
{
    mOwner = owner;
    return 1;
}

TsMotorSkills::TsMotorSkills(TsActor* owner) : mOwner(owner)
{
    auto* idle = new DoNothingMSState(owner);
    AddSkill(idle);
    Hold(mCurrent, idle);
    Hold(mPrevious, idle);
    mFlags = kConstructed;
}

TsMotorSkills::~TsMotorSkills()
{
    Hold(mCurrent, nullptr);
    Hold(mPrevious, nullptr);
    while (!mSkills.IsEmpty())
        static_cast<TsMotorSkill*>(mSkills.PopFront())->Release();
}

int32_t TsMotorSkills::AddSkill(TsMotorSkill* skill)
{
    // A skill that cannot serve this owner would run on an actor it was not made for.
    if (!skill || !skill->AttachTo(mOwner))
        return 0;
    skill->AddRef();
    for (HbPtrListNode* node = mSkills.GetHead(); node; node = node->next)
    {
        auto* filed = static_cast<TsMotorSkill*>(node->value);
        if (std::strcmp(filed->GetName(), skill->GetName()) == 0)
        {
            node->value = skill;
            filed->Release();
            return 1;
        }
    }
    if (!mSkills.AddTail(skill))
    {
        skill->Release();
        return 0;
    }
    return 1;
}

TsMotorSkill* TsMotorSkills::FindSkill(const char* name) const
{
    if (!name)
        return nullptr;
    for (HbPtrListNode* node = mSkills.GetHead(); node; node = node->next)
    {
        auto* skill = static_cast<TsMotorSkill*>(node->value);
        if (std::strcmp(skill->GetName(), name) == 0)
            return skill;
    }
    return nullptr;
}

const char* TsMotorSkills::GetCurrentSkillName() const
{
    return mCurrent ? mCurrent->GetName() : nullptr;
}

int32_t TsMotorSkills::LoopSkill(const char* name)
{
    // Cleared on every loop so that one unknown name does not mark every later loop.
    mFlags &= ~uint32_t(kUnknownSkill);
    if (mCurrent && name && std::strcmp(name, mCurrent->GetName()) == 0)
    {
        mFlags &= ~uint32_t(kChanged);
    }
    else
    {
        TsMotorSkill* found = FindSkill(name);
        if (!found)
        {
            // A table that could not make its do-nothing skill has nothing to fall back on.
            if (name && std::strcmp(name, DoNothingMSState::kName) == 0)
            {
                mFlags |= kUnknownSkill;
                return 0;
            }
            int32_t result = LoopSkill(DoNothingMSState::kName);
            mFlags |= kUnknownSkill;
            return result;
        }
        Hold(mPrevious, mCurrent);
        Hold(mCurrent, found);
        mFlags |= kChanged;
        if (mPrevious)
            mPrevious->Exit();
    }
    if (!mCurrent)
        return 0;
    if (mFlags & kResetRequested)
    {
        mCurrent->Init();
        mFlags &= ~uint32_t(kResetRequested);
        mMessages.clear();
    }
    if (mFlags & kChanged)
        mCurrent->Enter();
    mError = 0;
    mFlags &= ~uint32_t(kRunning | kSucceeded | kFailed);
    return mCurrent->Loop();
}

void TsMotorSkills::ExitCurrent()
{
    LoopSkill(DoNothingMSState::kName);
}
