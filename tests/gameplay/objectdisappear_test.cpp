// The two small skills levels give objects: the disappear skill (fade, then a switch to the
// next skill that keeps its success) and the rotate-and-play motion (constant motion until an
// end time, then the final placement), with their script functions.
#include "frame.h"
#include "fxfade.h"
#include "hbclock.h"
#include "moverotateplayanim.h"
#include "objectdisappear.h"
#include "script_fixture.h"
#include "scriptworld_fixture.h"
#include "tsactorlayer.h"
#include "tsanimactor.h"
#include "tsmotorskills.h"
#include "w3danimobject.h"
#include "walkermodel.h"
#include "wscene.h"

#include <gtest/gtest.h>

#include <Python.h>

#include <cmath>

namespace scriptworldtest
{
namespace
{
constexpr float kStep = 1.0f / 30.0f;

class ObjectSkills : public ScriptWorldTest
{
protected:
    void SetUp() override
    {
        ScriptWorldTest::SetUp();
        mActor = new TsAnimActor();
        mActor->AddRef();
        mTable = mActor->GetMotorSkills();
        mTable->AddSkill(ObjectDisappearMSState::Create(mActor, Py_None));
        mTable->AddSkill(MoveRotatePlayAnimMSState::Create(mActor, Py_None));
        HbGameClock::Instance()->mStepSeconds = kStep;
        // The skills' names by id come with the registry's registrations.
        TsActorsInstall(mWorld);
        mWorld->StartScripting();
        ASSERT_EQ(Exec("import skills"), "");
    }
    void TearDown() override
    {
        FxFadeClearAll();
        if (mActor->mRegistered)
            mWorld->RemoveActor(mActor);
        if (W3dNode* node = mActor->GetNode())
            if (node->GetParent())
                node->GetParent()->RemoveChild(node);
        mActor->ExitMotorSkills();
        mActor->Release();
        mWorld->Hooks().fillActorToolsModule = nullptr;
        mWorld->Hooks().fillSoundModule = nullptr;
        ScriptWorldTest::TearDown();
    }
    void GiveNode(Vector at)
    {
        W3dAnimObject* node = WalkerModel::Create(nullptr);
        ASSERT_NE(node, nullptr);
        mActor->SetModel(node);
        mScene->GetRoot()->AttachChild(node);
        ::Frame::Translate(node->GetEngineFrame(), &at, kCombineReplace);
        ::Frame::SyncDirtyList();
    }
    void Tick()
    {
        HbGameClock::Instance()->mGameTime += int64_t(double(kStep) * double(HbPerformanceFrequency()) + 0.5);
        FxFadeStep();
        ::Frame::SyncDirtyList();
    }
    ObjectDisappearMSState* Disappear()
    {
        return static_cast<ObjectDisappearMSState*>(mTable->FindSkill(ObjectDisappearMSState::kName));
    }
    MoveRotatePlayAnimMSState* Motion()
    {
        return static_cast<MoveRotatePlayAnimMSState*>(mTable->FindSkill(MoveRotatePlayAnimMSState::kName));
    }

    TsAnimActor* mActor = nullptr;
    TsMotorSkills* mTable = nullptr;
};

TEST_F(ObjectSkills, AnInstantDisappearSwitchesOnTheSecondFrameAndKeepsTheSuccess)
{
    // Without a node no fade starts; a fade of 0 seconds ends at the next fade step.
    for (bool withNode : {false, true})
    {
        if (withNode)
            GiveNode({0, 0, 0});
        Disappear()->mNextSkill = MoveRotatePlayAnimMSState::kScriptId;
        EXPECT_EQ(mTable->LoopSkill(ObjectDisappearMSState::kName), 1) << withNode;
        EXPECT_TRUE(mTable->mFlags & TsMotorSkills::kRunning);
        Tick();
        EXPECT_EQ(mTable->LoopSkill(ObjectDisappearMSState::kName), 0) << withNode;
        EXPECT_TRUE(mTable->mFlags & TsMotorSkills::kSucceeded) << "the switch does not eat the success";
        EXPECT_STREQ(mTable->GetCurrentSkillName(), MoveRotatePlayAnimMSState::kName);
        mTable->LoopSkill(DoNothingMSState::kName);
    }
}

TEST_F(ObjectSkills, AFadeRunsItsTimeBeforeTheSwitch)
{
    GiveNode({0, 0, 0});
    mActor->GetNode()->SetFadeRenderLayer(3);
    ASSERT_EQ(Exec("box = 'box'"), "");
    mActor->BindScriptObject(PyDict_GetItemString(scripttest::MainDict(), "box"));
    mWorld->AddActor(mActor);
    ASSERT_EQ(Exec("skills.LaunchDisappear(box, 0.5, 0, None)"), "");
    ASSERT_EQ(Disappear()->GetPhase(), ObjectDisappearMSState::kFading);
    int32_t frames = 0;
    while (mTable->LoopSkill(ObjectDisappearMSState::kName) == 1 && frames < 100)
    {
        ++frames;
        Tick();
    }
    EXPECT_NEAR(frames * kStep, 0.5f, 2.5f * kStep);
    EXPECT_TRUE(mTable->mFlags & TsMotorSkills::kSucceeded);
    EXPECT_STREQ(mTable->GetCurrentSkillName(), DoNothingMSState::kName) << "an unknown next skill does nothing";
    EXPECT_EQ(Exec("skills.LaunchDisappear(box, 'x', 0, None)").rfind("TypeError", 0), 0u);
}

TEST_F(ObjectSkills, AMotionMovesAndTurnsUntilItsEndThenLandsOnTheFinalPlacement)
{
    GiveNode({0, 0, 0});
    mTable->LoopSkill(MoveRotatePlayAnimMSState::kName);
    MoveRotatePlayAnimMSState* motion = Motion();
    motion->mVelocity = {60.0f, 0.0f, 0.0f};
    motion->mTurnSpeed = 90.0f;
    motion->mFinalPosition = {100.0f, 0.0f, 0.0f};
    motion->mFinalDirection = {-1.0f, 0.0f, 0.0f};
    motion->mEndTime = HbGameClock::Instance()->mGameTime + HbPerformanceFrequency();
    motion->mKeepBoneCallback = 1;
    int32_t frames = 0;
    Tick();
    while (mTable->LoopSkill(MoveRotatePlayAnimMSState::kName) == 1 && frames < 100)
    {
        ++frames;
        Tick();
        if (frames == 15)
            EXPECT_NEAR(mActor->GetNode()->GetWorldPosition()->x, 30.0f, 2.5f);
    }
    EXPECT_NEAR(frames * kStep, 1.0f, 1.5f * kStep);
    EXPECT_TRUE(mTable->mFlags & TsMotorSkills::kSucceeded);
    EXPECT_NEAR(mActor->GetNode()->GetWorldPosition()->x, 100.0f, 1e-3f);
    EXPECT_NEAR(mActor->GetNode()->GetWorldAt()->x, -1.0f, 1e-3f);

    // An end time in the past ends on the first frame.
    motion->mEndTime = 0;
    EXPECT_EQ(mTable->LoopSkill(MoveRotatePlayAnimMSState::kName), 0);
}

TEST_F(ObjectSkills, MoveRotatePlayAnimFilesTheRequestAndRestartsTheMotion)
{
    GiveNode({10, 0, 0});
    ASSERT_EQ(Exec("guard = 'guard'"), "");
    mActor->BindScriptObject(PyDict_GetItemString(scripttest::MainDict(), "guard"));
    mWorld->AddActor(mActor);
    EXPECT_EQ(Eval("(skills.MS_MOVE_ROTATE_PLAYANIM, skills.MS_OBJECT_DISAPPEAR)"), "(49409, 4098)");
    ASSERT_EQ(Exec("skills.MoveRotatePlayAnim(guard, 'A_JUMP_ANM', 1, 2.0, 0.5, 0.5)"), "");
    EXPECT_EQ(mTable->mTexts[0], "A_JUMP_ANM");
    EXPECT_TRUE(mTable->mFlags & TsMotorSkills::kResetRequested);
    EXPECT_EQ(mTable->LoopSkill(MoveRotatePlayAnimMSState::kName), 1);
    EXPECT_EQ(Motion()->mGroundCorrection, 1);
    // Half a second at twice the speed: done after about 0.5 s.
    int32_t frames = 0;
    do
    {
        Tick();
        ++frames;
    } while (mTable->LoopSkill(MoveRotatePlayAnimMSState::kName) == 1 && frames < 100);
    EXPECT_NEAR(frames * kStep, 0.5f, 1.5f * kStep);
    EXPECT_EQ(Exec("skills.MoveRotatePlayAnim(guard, 'A_JUMP_ANM')").rfind("TypeError", 0), 0u);
}
} // namespace
} // namespace scriptworldtest
