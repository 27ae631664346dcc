// The degree-of-freedom skills on a TsDof: translations that arrive without overshoot and move
// in one space, rotations that end exactly on their target, and the script functions.
#include "frame.h"
#include "hbclock.h"
#include "script_fixture.h"
#include "scriptworld_fixture.h"
#include "tsactorlayer.h"
#include "tsdof.h"
#include "tsdofskills.h"
#include "tsmotorskills.h"
#include "w3dframe.h"
#include "w3dnode.h"
#include "wscene.h"

#include <gtest/gtest.h>

#include <cmath>

namespace scriptworldtest
{
namespace
{

constexpr float kStep = 1.0f / 60.0f;

class DofSkills : public ScriptWorldTest
{
protected:
    void SetUp() override
    {
        ScriptWorldTest::SetUp();
        mDof = new TsDof();
        mDof->AddRef();
        ASSERT_EQ(mDof->LoadModel(""), 1);
        mScene->GetRoot()->AttachChild(mDof->GetNode());
        mTable = mDof->GetMotorSkills();
        mTable->AddSkill(TsDofTranslateMSState::Create(mDof, Py_None));
        mTable->AddSkill(TsDofRotateMSState::Create(mDof, Py_None));
        Frame::SyncDirtyList();
    }
    void TearDown() override
    {
        if (mDof->mRegistered)
            mWorld->RemoveActor(mDof);
        mDof->Release();
        ScriptWorldTest::TearDown();
    }
    void Ask(Vector axis, float speed, float amount)
    {
        mTable->mAxis[0] = axis.x;
        mTable->mAxis[1] = axis.y;
        mTable->mAxis[2] = axis.z;
        mTable->mSpeed = speed;
        mTable->mAmount = amount;
        mTable->mFlags |= TsMotorSkills::kResetRequested;
    }
    /// Loops the skill frame by frame (the game clock stepping) until it reports done; the
    /// frames it ran, or -1 when it did not end within the limit.
    int32_t Run(const char* skill, int32_t limit, float* largestX = nullptr)
    {
        HbGameClock* clock = HbGameClock::Instance();
        clock->mStepSeconds = kStep;
        for (int32_t frame = 0; frame < limit; ++frame)
        {
            if (mTable->LoopSkill(skill) == 0)
                return frame;
            Frame::SyncDirtyList();
            if (largestX)
                *largestX = std::fmax(*largestX, Position().x);
            clock->mGameTime += int64_t(double(kStep) * double(HbPerformanceFrequency()) + 0.5);
        }
        return -1;
    }
    Vector Position() { return *mDof->GetNode()->GetWorldPosition(); }

    TsDof* mDof = nullptr;
    TsMotorSkills* mTable = nullptr;
};

TEST_F(DofSkills, ATranslationArrivesWithinFiveUnitsWithoutOvershoot)
{
    Ask({1, 0, 0}, 50.0f, 100.0f);
    float largest = 0.0f;
    const int32_t frames = Run(TsDofTranslateMSState::kName, 1000, &largest);
    EXPECT_NEAR(frames * kStep, 1.9f, 0.05f);
    EXPECT_TRUE(mTable->mFlags & TsMotorSkills::kSucceeded);
    EXPECT_GE(Position().x, 95.0f);
    EXPECT_LE(largest, 100.0f + 1e-3f);
    EXPECT_EQ(Position().y, 0.0f);

    // Short, negative and backward requests.
    const struct
    {
        float speed, amount, moved;
        int32_t frames;
    } cases[] = {{50.0f, 3.0f, 0.0f, 0}, {50.0f, -20.0f, 0.0f, 0}, {-50.0f, 100.0f, 94.99f, 114}};
    for (const auto& c : cases)
    {
        const float start = Position().x;
        Ask({1, 0, 0}, c.speed, c.amount);
        const int32_t ran = Run(TsDofTranslateMSState::kName, 1000);
        EXPECT_NEAR(ran, c.frames, 1) << c.speed << " " << c.amount;
        EXPECT_GE(Position().x - start, c.moved) << "a negative speed still moves forward and ends";
        EXPECT_LE(Position().x - start, c.moved == 0.0f ? 0.0f : 100.0f);
    }
}

TEST_F(DofSkills, ATranslationMovesAlongTheAxisTurnedIntoTheWorld)
{
    // Under a parent turned a quarter about y, the local x axis points along the parent's
    // turned x axis in the world: the door slides that way and nowhere else.
    W3dNode* node = mDof->GetNode();
    mScene->GetRoot()->RemoveChild(node);
    auto* parent = static_cast<W3dNode*>(W3dFrame::Create());
    parent->AddRef();
    mScene->GetRoot()->AttachChild(parent);
    const Vector up = {0, 1, 0}, offset = {500, 0, 0};
    Frame::Rotate(parent->GetEngineFrame(), &up, 90.0f, 0);
    Frame::Translate(parent->GetEngineFrame(), &offset, 2);
    parent->AttachChild(node);
    Frame::SyncDirtyList();
    const Vector start = Position();
    const Vector right = Frame::GetWorldMatrix(node->GetEngineFrame())->right;

    Ask({1, 0, 0}, 50.0f, 100.0f);
    ASSERT_GT(Run(TsDofTranslateMSState::kName, 1000), 0);
    const Vector end = Position();
    const Vector moved = {end.x - start.x, end.y - start.y, end.z - start.z};
    const float length = std::sqrt(moved.x * moved.x + moved.y * moved.y + moved.z * moved.z);
    EXPECT_GE(length, 95.0f);
    EXPECT_LE(length, 100.0f + 1e-3f);
    EXPECT_NEAR(moved.x / length, right.x, 1e-4f);
    EXPECT_NEAR(moved.z / length, right.z, 1e-4f);
    parent->RemoveChild(node);
    mScene->GetRoot()->RemoveChild(parent);
    parent->Release();
}

TEST_F(DofSkills, ARotationEndsExactlyOnItsTarget)
{
    Ask({0, 1, 0}, -45.0f, -90.0f);
    const int32_t frames = Run(TsDofRotateMSState::kName, 1000);
    EXPECT_NEAR(frames * kStep, 2.0f, 0.05f);
    EXPECT_TRUE(mTable->mFlags & TsMotorSkills::kSucceeded);
    ::Frame* reference = Frame::Create();
    const Vector up = {0, 1, 0};
    Frame::Rotate(reference, &up, -90.0f, 1);
    const Matrix& turned = mDof->GetNode()->GetEngineFrame()->modelling;
    EXPECT_NEAR(turned.at.x, reference->modelling.at.x, 1e-4f);
    EXPECT_NEAR(turned.at.z, reference->modelling.at.z, 1e-4f);
    EXPECT_NEAR(turned.right.x, reference->modelling.right.x, 1e-4f);
    Frame::Destroy(reference);

    // Turning away from the target never ends.
    Ask({0, 1, 0}, 45.0f, -90.0f);
    EXPECT_EQ(Run(TsDofRotateMSState::kName, 600), -1);
    EXPECT_TRUE(mTable->mFlags & TsMotorSkills::kRunning);
}

TEST_F(DofSkills, OnlyDegreesOfFreedomTakeTheSkills)
{
    TsActor plain;
    TsMotorSkill* translate = TsDofTranslateMSState::Create(&plain, Py_None);
    TsMotorSkill* rotate = TsDofRotateMSState::Create(&plain, Py_None);
    EXPECT_EQ(translate->AttachTo(&plain), 0);
    EXPECT_EQ(rotate->AttachTo(&plain), 0);
    EXPECT_EQ(translate->AttachTo(mDof), 1);
    delete translate;
    delete rotate;
}

TEST_F(DofSkills, ScriptsSetTheParametersAndRestartTheSkill)
{
    TsActorsInstall(mWorld);
    mWorld->StartScripting();
    ASSERT_EQ(Exec("import skills\ndoor = 'door'"), "");
    mDof->BindScriptObject(PyDict_GetItemString(scripttest::MainDict(), "door"));
    mWorld->AddActor(mDof);
    EXPECT_EQ(Eval("(skills.MS_DOF_TRANSLATE, skills.MS_DOF_ROTATE)"), "(5969, 5970)");

    EXPECT_EQ(Exec("skills.DofTranslate(door, 3, 0, 4, 50, 100)"), "");
    EXPECT_FLOAT_EQ(mTable->mAxis[0], 0.6f);
    EXPECT_FLOAT_EQ(mTable->mAxis[2], 0.8f);
    EXPECT_EQ(mTable->mAmount, 100.0f);
    EXPECT_TRUE(mTable->mFlags & TsMotorSkills::kResetRequested);
    mTable->LoopSkill(TsDofTranslateMSState::kName);
    EXPECT_FALSE(mTable->mFlags & TsMotorSkills::kResetRequested);

    EXPECT_EQ(Exec("skills.DofRotate(door, 0, 2, 0, 30, 45)"), "");
    EXPECT_EQ(mTable->mAxis[1], 2.0f) << "not normalised";
    EXPECT_EQ(mTable->mSpeed, 30.0f);
    EXPECT_EQ(Exec("skills.DofRotate('nobody', 0, 1, 0, 30, 45)"),
              "RuntimeError: DofRotate : actor has no motor skills");
    EXPECT_EQ(Exec("skills.DofTranslate(door, 0, 1, 0)"),
              "TypeError: DofTranslate() takes exactly 6 arguments (4 given)");
    mWorld->Hooks().fillActorToolsModule = nullptr;
    mWorld->Hooks().fillSoundModule = nullptr;
}

} // namespace
} // namespace scriptworldtest
