// The event-box tests' own kinds.
#include "eboxtestkinds.h"

#include "hbchunkstream.h"
#include "hbresource.h"

namespace eboxtest
{

namespace
{
int32_t gFlags[16];
}

std::vector<std::string>& Trace()
{
    static std::vector<std::string> trace;
    return trace;
}

std::vector<TsActor*>& Actors()
{
    static std::vector<TsActor*> actors;
    return actors;
}

int32_t& Flag(int32_t flag)
{
    return gFlags[flag & 15];
}

std::function<void(int32_t)>& Hook()
{
    static std::function<void(int32_t)> hook;
    return hook;
}

void Reset()
{
    Trace().clear();
    Actors().clear();
    Hook() = nullptr;
    for (int32_t& flag : gFlags)
        flag = 1;
    HbResourceManager::Instance()->RegisterType("TESTACTION", []() -> HbRoot* { return new TestAction(); });
    HbResourceManager::Instance()->RegisterType("TESTCOND", []() -> HbRoot* { return new TestCondition(); });
}

int TestAction::Read(HbMChunkStream* stream)
{
    return YoEBoxAAction::Read(stream) && stream->ReadInt32(mTag);
}

int TestAction::Write(HbMChunkStream* stream)
{
    return YoEBoxAAction::Write(stream) && stream->WriteInt32(mTag);
}

int32_t TestAction::Execute()
{
    Trace().push_back("a" + std::to_string(mTag));
    if (Hook())
        Hook()(mTag);
    return 1;
}

int TestCondition::Read(HbMChunkStream* stream)
{
    return YoEBoxACondition::Read(stream) && stream->ReadInt32(mFlag) && mFlag >= 0 && mFlag < 16;
}

int TestCondition::Write(HbMChunkStream* stream)
{
    return YoEBoxACondition::Write(stream) && stream->WriteInt32(mFlag);
}

int32_t TestCondition::Evaluate(TsActor* actor)
{
    Trace().push_back("c" + std::to_string(mFlag));
    Actors().push_back(actor);
    return Flag(mFlag);
}

TestAction* NewAction(int32_t tag, float delay)
{
    auto* action = new TestAction();
    action->mTag = tag;
    action->mDelay = delay;
    return action;
}

TestCondition* NewCondition(int32_t flag, int32_t expected)
{
    auto* condition = new TestCondition();
    condition->mFlag = flag;
    condition->mExpected = expected;
    return condition;
}

} // namespace eboxtest
