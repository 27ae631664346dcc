// The two box-object kinds the event-box tests stand in with: an action that notes its tag
// (and may run a hook) and a condition that answers a settable flag and notes the actor.
#pragma once

#include "yoeventbox.h"

#include <functional>
#include <string>
#include <vector>

namespace eboxtest
{

/// "a<tag>" for every action run, "c<flag>" for every condition evaluated, in order.
std::vector<std::string>& Trace();
/// The actors the conditions were evaluated for, in order (null for none).
std::vector<TsActor*>& Actors();
/// The value the condition of each flag answers (flags 0 to 15; all 1 at Reset).
int32_t& Flag(int32_t flag);
/// Run by an action of the tag after it noted itself.
std::function<void(int32_t tag)>& Hook();
/// Empties the trace, the actors and the hook, sets every flag to 1, and registers the kinds.
void Reset();

/// Key "TESTACTION": the delay, then int32 tag.
class TestAction : public YoEBoxAAction
{
public:
    int Read(HbMChunkStream* stream) override;
    int Write(HbMChunkStream* stream) override;
    std::string GetTypeKey() const override { return "TESTACTION"; }
    int32_t Execute() override;
    int32_t mTag = 0;
};

/// Key "TESTCOND": the expected result, then int32 flag. A flag outside 0 to 15 makes Read
/// refuse the object.
class TestCondition : public YoEBoxACondition
{
public:
    int Read(HbMChunkStream* stream) override;
    int Write(HbMChunkStream* stream) override;
    std::string GetTypeKey() const override { return "TESTCOND"; }
    int32_t Evaluate(TsActor* actor) override;
    int32_t mFlag = 0;
};

/// New objects at count 0.
TestAction* NewAction(int32_t tag, float delay = 0.0f);
TestCondition* NewCondition(int32_t flag, int32_t expected = 1);

} // namespace eboxtest
