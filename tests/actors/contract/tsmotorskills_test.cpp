// The motor-skill table: LoopSkill's changes, resets, unknown names and the flags it leaves,
// and the exit a dying owner runs while it is whole.
#include "tsactor.h"
#include "tsmotorskills.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

std::vector<std::string> gCalls;

class ProbeSkill : public TsMotorSkill
{
public:
    explicit ProbeSkill(const char* name) : TsMotorSkill(nullptr, name) {}
    int32_t AttachTo(TsActor* owner) override
    {
        mOwner = owner;
        return 1;
    }
    void Init() override { gCalls.push_back(mName + ".init"); }
    void Enter() override { gCalls.push_back(mName + ".enter"); }
    void Exit() override { gCalls.push_back(mName + ".exit"); }
    int32_t Loop() override
    {
        gCalls.push_back(mName + ".loop");
        return 7;
    }
};

class SkilledActor : public TsActor
{
public:
    SkilledActor() : mSkills(this) {}
    ~SkilledActor() override { ExitMotorSkills(); }
    TsMotorSkills* GetMotorSkills() override { return &mSkills; }
    TsMotorSkills mSkills;
};

std::string Calls()
{
    std::string text;
    for (const std::string& call : gCalls)
        text += (text.empty() ? "" : " ") + call;
    gCalls.clear();
    return text;
}

TEST(TsMotorSkills, AFreshTableRunsDoNothing)
{
    SkilledActor actor;
    TsMotorSkills& table = actor.mSkills;
    EXPECT_EQ(table.mFlags, uint32_t(TsMotorSkills::kConstructed));
    ASSERT_NE(table.GetCurrent(), nullptr);
    EXPECT_EQ(table.GetCurrent(), table.GetPrevious());
    EXPECT_STREQ(table.GetCurrentSkillName(), "MS_DO_NOTHING");
    EXPECT_EQ(table.LoopSkill("MS_DO_NOTHING"), 1);
    EXPECT_TRUE(table.mFlags & TsMotorSkills::kRunning);
}

TEST(TsMotorSkills, LoopSkillChangesResetsAndRefusesAsATable)
{
    struct Case
    {
        const char* what;
        uint32_t flagsBefore;
        const char* name;
        const char* calls;
        int32_t result;
        uint32_t flagsSet, flagsClear;
    };
    const Case cases[] = {
        {"same name: loop only", 0, "probe", "probe.loop", 7, 0, TsMotorSkills::kChanged | TsMotorSkills::kUnknownSkill},
        {"reset without enter", TsMotorSkills::kResetRequested, "probe", "probe.init probe.loop", 7, 0,
         TsMotorSkills::kResetRequested | TsMotorSkills::kChanged},
        {"unknown name: do nothing", 0, "MS_LOST", "probe.exit", 1,
         TsMotorSkills::kUnknownSkill | TsMotorSkills::kChanged | TsMotorSkills::kRunning, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        Calls();
        SkilledActor actor;
        TsMotorSkills& table = actor.mSkills;
        auto* probe = new ProbeSkill("probe");
        ASSERT_EQ(table.AddSkill(probe), 1);
        EXPECT_EQ(probe->GetOwner(), &actor);
        EXPECT_EQ(table.LoopSkill("probe"), 7);
        EXPECT_EQ(Calls(), "probe.enter probe.loop");
        EXPECT_TRUE(table.mFlags & TsMotorSkills::kChanged);
        table.mFlags |= c.flagsBefore;
        EXPECT_EQ(table.LoopSkill(c.name), c.result);
        EXPECT_EQ(Calls(), c.calls);
        EXPECT_EQ(table.mFlags & c.flagsSet, c.flagsSet);
        EXPECT_EQ(table.mFlags & c.flagsClear, 0u);
    }
}

TEST(TsMotorSkills, TheUnknownFlagLastsOneLoopAndTheOwnerExitsWhileWhole)
{
    {
        SkilledActor actor;
        actor.mSkills.AddSkill(new ProbeSkill("probe"));
        actor.mSkills.LoopSkill("nope");
        EXPECT_TRUE(actor.mSkills.mFlags & TsMotorSkills::kUnknownSkill);
        actor.mSkills.LoopSkill("probe");
        EXPECT_FALSE(actor.mSkills.mFlags & TsMotorSkills::kUnknownSkill);
        Calls();
    }
    EXPECT_EQ(Calls(), "probe.exit") << "the dying actor leaves its skill";
}

TEST(TsMotorSkills, ASkillThatRefusesTheOwnerIsNotFiled)
{
    struct Picky : ProbeSkill
    {
        Picky() : ProbeSkill("probe") {}
        int32_t AttachTo(TsActor*) override { return 0; }
    };
    SkilledActor actor;
    auto* kept = new ProbeSkill("probe");
    ASSERT_EQ(actor.mSkills.AddSkill(kept), 1);
    auto* picky = new Picky();
    picky->AddRef();
    EXPECT_EQ(actor.mSkills.AddSkill(picky), 0);
    EXPECT_EQ(actor.mSkills.FindSkill("probe"), kept) << "what was filed stays";
    EXPECT_EQ(picky->Release(), 0) << "the refused skill is still only the caller's";
}

TEST(TsMotorSkills, ASkillOfTheSameNameReplacesTheFiledOne)
{
    SkilledActor actor;
    auto* first = new ProbeSkill("probe");
    first->AddRef();
    actor.mSkills.AddSkill(first);
    auto* second = new ProbeSkill("probe");
    actor.mSkills.AddSkill(second);
    EXPECT_EQ(actor.mSkills.FindSkill("probe"), second);
    EXPECT_EQ(actor.mSkills.FindSkill("other"), nullptr);
    EXPECT_EQ(first->Release(), 0) << "the table let go of the replaced skill";
}

} // namespace
