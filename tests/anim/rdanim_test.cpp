// The animation resource: root motion, the load-script switch and path, the RdAddEvent and
// RdResetRootBoneTranslation commands, and damaged animation chunks and load scripts.
#include "anim_fixture.h"

#include "animation.h"
#include "hbcommand.h"
#include "hbdatamanager.h"
#include "hbresource.h"
#include "rdanim.h"
#include "rdanimchannel.h"
#include "stream.h"

#include <cmath>
#include <cstring>

namespace
{

using animtest::AnimTest;
using animtest::WriteText;

class RdAnimTest : public AnimTest
{
protected:
    /// The switch "<name>_LOAD_SCR" in ANIM_SCRIPTS.
    static void SetScriptSwitch(const char* name, int32_t value)
    {
        ASSERT_EQ(HbDataManager::Create(), 1);
        TDataManagerContainer* scripts = HbDataManager::Root()->FindContainer(RdAnimation::kScriptContainer);
        if (!scripts)
        {
            ASSERT_EQ(HbDataManager::BeginContainer(RdAnimation::kScriptContainer), 1);
            HbDataManager::EndContainer();
            scripts = HbDataManager::Root()->FindContainer(RdAnimation::kScriptContainer);
        }
        ASSERT_NE(scripts, nullptr);
        scripts->SetInteger((std::string(name) + "_LOAD_SCR").c_str(), value);
    }
};

TEST_F(RdAnimTest, RootMotionGivesTheSpeedChannelsScaleBy)
{
    RdAnimation* walk = MakeResource("A_WALK_ANM", 2.0f, {0.0f, 0.0f, 300.0f});
    EXPECT_FLOAT_EQ(walk->GetRootDelta().z, 300.0f);
    EXPECT_FLOAT_EQ(walk->GetRootVelocity().z, 150.0f);
    EXPECT_FLOAT_EQ(walk->GetRootSpeed(), 150.0f);

    RdAnimChannel channel(1, walk, 0.0f, 0);
    EXPECT_EQ(channel.SetSpeed(75.0f), 1);
    EXPECT_FLOAT_EQ(channel.GetSpeedFactor(), 0.5f);
    EXPECT_FLOAT_EQ(channel.GetSpeed(), 75.0f);

    RdAnimation* still = MakeResource("A_IDLE_ANM", 1.0f);
    RdAnimChannel idle(2, still, 0.0f, 0);
    idle.SetSpeed(75.0f);
    EXPECT_FLOAT_EQ(idle.GetSpeedFactor(), 1.0f) << "no root speed: the factor stays";
}

TEST_F(RdAnimTest, AddEventTimesAndRefusals)
{
    RdAnimation* anim = MakeResource("A_HIT_ANM", 1.0f);
    anim->AddRef();
    RdAnimation::SetCurrent(anim);
    HbCommandManager* console = HbCommandManager::Instance();
    struct Case
    {
        const char* line;
        int result;
        int32_t events; ///< the set's count afterwards
    };
    const Case cases[] = {
        {"RdAddEvent EVENTID_STRIKE 30", HbCommandManager::kDone, 1},
        {"RdAddEvent EVENTID_STRIKE 62", HbCommandManager::kFailed, 1},
        {"RdAddEvent EVENTID_STRIKE -1", HbCommandManager::kFailed, 1},
        {"RdAddEvent EVENTID_STRIKE 61", HbCommandManager::kDone, 2},
        {"RdAddEvent EVENTID_STRIKE", HbCommandManager::kDone, 2},
        {"RdAddEvent A B C", HbCommandManager::kDone, 2},
        {"RdAddEvent NOT_AN_EVENT 0", HbCommandManager::kDone, 3},
        {"RdAddEvent EVENTID_STRIKE lots", HbCommandManager::kFailed, 3},
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(console->ExecuteLine(c.line), c.result) << c.line;
        EXPECT_EQ(anim->GetEventSet()->GetCount(), c.events) << c.line;
    }
    const RdEventSet* set = anim->GetEventSet();
    EXPECT_FLOAT_EQ(set->Get(0).time, 30.0f / 61.0f);
    EXPECT_EQ(set->Get(0).id, 13);
    EXPECT_FLOAT_EQ(set->Get(1).time, 1.0f);
    EXPECT_EQ(set->Get(2).id, 0);
    EXPECT_EQ(set->Get(2).time, 0.0f);

    // Ten events per set: the eleventh is refused.
    for (int i = 3; i < RdEventSet::kMaxEvents; ++i)
        EXPECT_EQ(console->ExecuteLine("RdAddEvent EVENTID_STRIKE 10"), HbCommandManager::kDone);
    EXPECT_EQ(set->GetCount(), 10);
    EXPECT_EQ(console->ExecuteLine("RdAddEvent EVENTID_STRIKE 10"), HbCommandManager::kFailed);
    EXPECT_EQ(set->GetCount(), 10);

    RdAnimation::SetCurrent(nullptr);
    EXPECT_EQ(console->ExecuteLine("RdAddEvent EVENTID_STRIKE 10"), HbCommandManager::kFailed)
        << "no animation is being loaded";
    anim->Release();
}

TEST_F(RdAnimTest, LoadScriptRunsOnlyWhenItsSwitchIsTrue)
{
    WriteText("walk.scr", "# events of the walk\r\nRdAddEvent EVENTID_LEFT_FOOT_ON_GROUND 15\r\n"
                          "RdAddEvent EVENTID_RIGHT_FOOT_ON_GROUND 45\nRdResetRootBoneTranslation\n");
    struct Case
    {
        const char* name;
        int switchValue; ///< -1: no entry
        int32_t events;
        float rootSpeed;
    };
    const Case cases[] = {
        {"A_WALK_ANM", -1, 0, 150.0f},
        {"A_WALK_ANM", 0, 0, 150.0f},
        {"A_WALK_ANM", 1, 2, 0.0f},
        {"A_OTHER_ANM", 1, 0, 150.0f}, // the switch of another id
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.switchValue);
        HbDataManager::Destroy();
        if (c.switchValue >= 0)
            SetScriptSwitch("A_WALK_ANM", c.switchValue);
        RdAnimation* anim = MakeResource(c.name, 2.0f, {0, 0, 300.0f}, "walk.anm");
        EXPECT_EQ(anim->GetEventSet()->GetCount(), c.events);
        EXPECT_FLOAT_EQ(anim->GetRootSpeed(), c.rootSpeed) << "root motion comes after the script";
        EXPECT_EQ(RdAnimation::GetCurrent(), nullptr);
        delete anim;
    }
    // A missing script still counts as run.
    HbDataManager::Destroy();
    SetScriptSwitch("A_RUN_ANM", 1);
    RdAnimation* run = MakeResource("A_RUN_ANM", 1.0f, {0, 0, 0}, "run.anm");
    EXPECT_EQ(run->GetEventSet()->GetCount(), 0);
    delete run;
}

TEST_F(RdAnimTest, ScriptPathReplacesTheTextAfterTheLastDot)
{
    const struct
    {
        const char* path;
        const char* script;
    } cases[] = {
        {"anims\\walk.anm", "anims\\walk.scr"},
        {"anims/walk.v2.anm", "anims/walk.v2.scr"},
        {"data.v2\\walk", "data.scr"}, // the last dot lies in a folder name
        {"walk", "walk.scr"},
        {"", ".scr"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RdAnimation::ScriptPath(c.path), c.script) << c.path;
}

TEST_F(RdAnimTest, LoadsAsASharedResourceFromItsFile)
{
    const std::vector<AnimationKeyRow> rows = {
        {0, 0.0f, {0, 0, 0, 1}, {0, 0, 0}}, {0, 2.0f, {0, 0, 0, 1}, {0, 0, 300.0f}},
        {1, 0.0f, {0, 0, 0, 1}, {0, 0, 0}}, {1, 2.0f, {0, 0, 0, 1}, {0, 0, 0}},
    };
    const std::vector<uint8_t> bytes = AnimationWriter::StdAnimation(rows, 2.0f);
    WriteText("walk.anm", std::string(bytes.begin(), bytes.end()));
    WriteText("broken.anm", "not an animation");
    HbResourceManager* manager = HbResourceManager::Instance();
    manager->AddPath("T_WALK_ANM", "walk.anm");
    manager->AddPath("T_BROKEN_ANM", "broken.anm");

    auto* walk = HbCastTo<RdAnimation>(manager->GetResource("T_WALK_ANM"));
    ASSERT_NE(walk, nullptr);
    walk->AddRef();
    EXPECT_EQ(walk->GetName(), "T_WALK_ANM");
    EXPECT_FLOAT_EQ(walk->GetRootSpeed(), 150.0f);
    EXPECT_EQ(manager->GetResource("T_WALK_ANM"), walk) << "one object serves every user";
    EXPECT_EQ(manager->GetResource("T_BROKEN_ANM"), nullptr);
    walk->Release();
    manager->RemovePath("T_WALK_ANM");
    manager->RemovePath("T_BROKEN_ANM");
}

TEST_F(RdAnimTest, MutatedAnimationChunksAreReadSafely)
{
    const std::vector<AnimationKeyRow> rows = {
        {0, 0.0f, {0, 0, 0, 1}, {0, 0, 0}}, {0, 0.5f, {0, 0.3f, 0, 0.95f}, {1, 2, 3}}, {0, 1.0f, {0, 0, 0, 1}, {0, 0, 5}},
        {1, 0.0f, {0, 0, 0, 1}, {0, 0, 0}}, {1, 1.0f, {0, 0, 0, 1}, {0, 0, 0}},
    };
    const std::vector<uint8_t> bytes = AnimationWriter::StdAnimation(rows, 1.0f);
    animtest::SweepMutations(bytes, 2000,
                             [](std::vector<uint8_t>& copy)
                             {
                                 MemoryBlock block = {copy.data(), uint32_t(copy.size())};
                                 Stream* stream = Stream::Open(kStreamMemory, kStreamRead, &block);
                                 ASSERT_NE(stream, nullptr);
                                 uint32_t size = 0;
                                 Animation* animation = nullptr;
                                 if (Stream::FindChunk(stream, Animation::kChunkType, &size, nullptr))
                                     animation = Animation::StreamRead(stream, size);
                                 Stream::Close(stream, nullptr);
                                 if (!animation)
                                     return;
                                 RdAnimation resource;
                                 EXPECT_EQ(resource.Setup(animation, "M_ANM", "m.anm"), 1);
                             });
}

TEST_F(RdAnimTest, MutatedLoadScriptsNeverOverfillTheSet)
{
    SetScriptSwitch("S_ANM", 1);
    const std::string script = "RdAddEvent EVENTID_STRIKE 30\nRdAddEvent EVENTID_LEFT_FOOT_ON_GROUND 5\n"
                               "RdResetRootBoneTranslation\nRdAddEvent EVENTID_CORVANE_TENTH 60\n"
                               "RdAddEvent EVENTID_STRIKE 1\nRdAddEvent EVENTID_STRIKE 2\nRdAddEvent EVENTID_STRIKE 3\n";
    std::vector<uint8_t> bytes(script.begin(), script.end());
    // Repeated lines make scripts of more than ten events.
    for (int i = 0; i < 2; ++i)
        bytes.insert(bytes.end(), script.begin(), script.end());
    animtest::SweepMutations(bytes, 400,
                             [this](std::vector<uint8_t>& copy)
                             {
                                 WriteText("s.scr", std::string(copy.begin(), copy.end()));
                                 RdAnimation* anim = MakeResource("S_ANM", 1.0f, {0, 0, 1}, "s.anm");
                                 EXPECT_LE(anim->GetEventSet()->GetCount(), RdEventSet::kMaxEvents);
                                 delete anim;
                             });
}

} // namespace
