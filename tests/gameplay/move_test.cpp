// The motor-skill base as the skill table runs it, the move skill's players, footsteps and
// strike, the module "skills" with its constants and tuning functions, and the constant
// modules of the animation states.
#include "gameplay_fixture.h"
#include "hbclock.h"
#include "move.h"
#include "script_fixture.h"
#include "scriptworldmanager.h"
#include "skillconstants.h"
#include "skillids.h"
#include "tsanimactor.h"
#include "tsmotorskills.h"
#include "tsskillregistry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
using namespace gameplaytest;

std::vector<std::string> gLog;
int gLiveSkills = 0;

constexpr int32_t kTestSkillA = 0x7001;
constexpr int32_t kTestSkillB = 0x7002;
constexpr int32_t kTwinFirst = 0x7101;
constexpr int32_t kTwinSecond = 0x7102;

/// Logs every operation with its name and what the table showed when Loop ran.
class TestSkill : public TsMotorSkill
{
public:
    TestSkill(TsActor* owner, const char* name) : TsMotorSkill(owner, name) { ++gLiveSkills; }
    ~TestSkill() override { --gLiveSkills; }
    void Init() override { gLog.push_back("Init " + mName); }
    void Setup() override { gLog.push_back("Setup " + mName); }
    void Enter() override { gLog.push_back("Enter " + mName); }
    void Exit() override { gLog.push_back("Exit " + mName); }
    int32_t Loop() override
    {
        TsMotorSkills* table = mOwner->GetMotorSkills();
        gLog.push_back("Loop " + mName + " flags " + std::to_string(table->mFlags & 0xB) + " error " +
                       std::to_string(table->mError));
        table->mFlags |= TsMotorSkills::kSucceeded;
        return 7;
    }
    int32_t AttachTo(TsActor* owner) override
    {
        gLog.push_back("AttachTo " + mName);
        return 1;
    }
    int32_t SetParameters(PyObject* parameters) override { return parameters != Py_False; }
};

template <const char* Name> TsMotorSkill* Factory(TsActor* owner, PyObject* parameters)
{
    auto* skill = new TestSkill(owner, Name);
    if (!skill->SetParameters(parameters))
    {
        delete skill;
        return nullptr;
    }
    skill->Setup();
    return skill;
}

constexpr char kNameA[] = "MS_TEST_A";
constexpr char kNameB[] = "MS_TEST_B";
constexpr char kTwin[] = "MS_TWIN";
constexpr char kHeroMove[] = "MS_HEROMOVE";

int RegisterTestSkills()
{
    TsSkillRegistry* registry = TsSkillRegistry::Instance();
    registry->AddSkillState(kTestSkillA, kNameA, __FILE__, Factory<kNameA>, __LINE__);
    registry->AddSkillState(kTestSkillB, kNameB, __FILE__, Factory<kNameB>, __LINE__);
    registry->AddSkillState(kTwinFirst, kTwin, __FILE__, Factory<kTwin>, __LINE__);
    registry->AddSkillState(kTwinSecond, kTwin, __FILE__, Factory<kTwin>, __LINE__);
    // A stand-in under the hero move skill's id and name: its class comes with the hero.
    registry->AddSkillState(kMsHeroMoveId, kHeroMove, __FILE__, Factory<kHeroMove>, __LINE__);
    return 1;
}

// Queued by a static initialiser, as every skill source file does.
[[maybe_unused]] const int32_t gQueued = TsSkillRegistry::Instance()->AddRegistration(RegisterTestSkills);

/// A script world of the test's own, its scripting started (skills and the constant
/// modules made), stopped at the end.
class SkillsModule : public scripttest::ScriptTest
{
protected:
    void SetUp() override
    {
        ScriptTest::SetUp();
        mWorld = new ScriptWorldManager();
        mWorld->StopScripting();
        // What the actor layer's start-up installs: classes publish their ids in "skills".
        TsSkillRegistry::Instance()->SetConstantPublisher(
            [](const char* name, int32_t value) { return ScriptWorldManager::Instance()->AddSkillConstant(name, value); });
        for (const char* name : {"he_map", "map_states", "target_path", "pan_action", "casing", "projectil"})
            mWorld->RegisterPendingModule(name, SkillConstantModuleFor(name), 0);
        mWorld->StartScripting();
        ASSERT_EQ(mWorld->IsScriptingStarted(), 1);
        gLog.clear();
    }
    void TearDown() override
    {
        mWorld->StopScripting();
        TsSkillRegistry::Instance()->SetConstantPublisher(nullptr);
        delete mWorld;
        ScriptTest::TearDown();
    }
    std::string Eval(const std::string& e) { return scripttest::Eval(e); }

    ScriptWorldManager* mWorld = nullptr;
    Services mServices;
};

TEST_F(SkillsModule, ConstantsIdsAndTheRegistryUnderOneName)
{
    ASSERT_EQ(scripttest::Exec("import skills, he_map, map_states, target_path, pan_action, casing, projectil"),
              "");
    EXPECT_EQ(Eval("skills.MS_HEROMOVE"), std::to_string(0x9003));
    EXPECT_EQ(Eval("skills.MS_ERROR_MDOF_FINISH, skills.MS_ERROR_MOVE_OUT_ASTAR"), "(2, 2)");
    EXPECT_EQ(Eval("skills.MS_SUCCEEDED, skills.MS_FAILED, skills.MS_ERROR_NO_AMMO, "
                   "skills.MS_ERROR_CAN_NOT_SHOOT_CLOSE_COLLISION"),
              "(2, 8, 1, 11)");
    EXPECT_EQ(Eval("he_map.Run, he_map.LadderStandDown, he_map.All, map_states.CrouchDeath, "
                   "target_path.LineAstar, pan_action.Shoot2"),
              "(26, 85, 65535, 91, 2, 4)");
    EXPECT_EQ(Eval("casing.id_model_1, projectil.id_model_panzer"), "(0, 0)");
    EXPECT_EQ(SkillConstantValue("he_sap", "CrouchStand"), 35);
    EXPECT_EQ(SkillConstantValue("pan_map", "WalkBack"), 71);
    EXPECT_EQ(SkillConstantModuleFor("anim"), nullptr);

    // Two classes under one name: both ids stay, the name answers the later.
    TsSkillRegistry* registry = TsSkillRegistry::Instance();
    EXPECT_STREQ(registry->GetSkillName(kTwinFirst), kTwin);
    EXPECT_STREQ(registry->GetSkillName(kTwinSecond), kTwin);
    EXPECT_EQ(registry->GetSkillId(kTwin), kTwinSecond);
    EXPECT_EQ(Eval("skills.MS_TWIN"), std::to_string(kTwinSecond));
    EXPECT_EQ(registry->GetSkillName(0x6666), nullptr);

    // Scripting stops and starts again: the same module comes back, and the functions the
    // module held stay callable until the interpreter has gone.
    mWorld->StopScripting();
    mWorld->StartScripting();
    ASSERT_EQ(scripttest::Exec("import skills"), "");
    EXPECT_EQ(Eval("skills.MS_ERROR_MOVE_NO_PATH, callable(skills.MAPInitialization)"), "(5, True)");
}

TEST_F(SkillsModule, MadeByItsFactoryAndRunInTheTablesOrder)
{
    TsSkillRegistry* registry = TsSkillRegistry::Instance();
    auto* actor = new TsAnimActor();
    actor->AddRef();
    TsMotorSkills* table = actor->GetMotorSkills();

    // What NewAddSkill does: the factory, then the table's AddSkill.
    for (int32_t id : {kTestSkillA, kTestSkillB})
        ASSERT_EQ(table->AddSkill(registry->CreateSkillState(id, actor, Py_None)), 1);
    EXPECT_EQ(gLog, (std::vector<std::string>{"Setup MS_TEST_A", "AttachTo MS_TEST_A", "Setup MS_TEST_B",
                                              "AttachTo MS_TEST_B"}));
    const int live = gLiveSkills;
    EXPECT_EQ(registry->CreateSkillState(kTestSkillA, actor, Py_False), nullptr);
    EXPECT_EQ(gLiveSkills, live) << "a refused skill is not left behind";

    auto frame = [&](int32_t id)
    {
        gLog.clear();
        table->mFlags |= TsMotorSkills::kSucceeded | TsMotorSkills::kFailed;
        table->mError = 9;
        const char* name = registry->GetSkillName(id);
        return table->LoopSkill(name ? name : "MS_UNKNOWN");
    };
    EXPECT_EQ(frame(kTestSkillA), 7);
    EXPECT_EQ(gLog, (std::vector<std::string>{"Enter MS_TEST_A", "Loop MS_TEST_A flags 0 error 0"}));
    frame(kTestSkillA);
    EXPECT_EQ(gLog, (std::vector<std::string>{"Loop MS_TEST_A flags 0 error 0"})) << "Enter once only";

    table->mFlags |= TsMotorSkills::kResetRequested;
    frame(kTestSkillA);
    EXPECT_EQ(gLog, (std::vector<std::string>{"Init MS_TEST_A", "Loop MS_TEST_A flags 0 error 0"}));
    EXPECT_EQ(table->mFlags & TsMotorSkills::kResetRequested, 0u);

    table->mFlags |= TsMotorSkills::kResetRequested;
    frame(kTestSkillB);
    EXPECT_EQ(gLog, (std::vector<std::string>{"Exit MS_TEST_A", "Init MS_TEST_B", "Enter MS_TEST_B",
                                              "Loop MS_TEST_B flags 0 error 0"}));

    // A name the actor lacks runs the do-nothing skill and says so.
    EXPECT_EQ(frame(0x6666), 1);
    EXPECT_EQ(gLog, (std::vector<std::string>{"Exit MS_TEST_B"}));
    EXPECT_STREQ(table->GetCurrentSkillName(), "MS_DO_NOTHING");
    EXPECT_NE(table->mFlags & TsMotorSkills::kUnknownSkill, 0u);
    EXPECT_NE(table->mFlags & TsMotorSkills::kRunning, 0u);

    actor->ExitMotorSkills();
    actor->Release();
    EXPECT_EQ(gLiveSkills, 0);
}

TEST_F(SkillsModule, StateTimesAndTheScriptCallback)
{
    GameClock clock;
    auto* actor = new TsAnimActor();
    actor->AddRef();
    TestSkill skill(actor, "MS_TIMED");
    clock.Step(0.5f);
    TsMotorSkillState::StampTime(&skill);
    EXPECT_EQ(skill.mLastTime, HbGameClock::Instance()->mGameTime);
    clock.Step(0.25f);
    EXPECT_NEAR(TsMotorSkillState::UpdateTime(&skill), 0.25f, 1e-6f);
    EXPECT_NEAR(TsMotorSkillState::UpdateTime(&skill), 0.25f, 1e-6f) << "the clock did not move";

    PyObject* callable = PyEval_GetBuiltins() ? PyDict_GetItemString(PyEval_GetBuiltins(), "len") : nullptr;
    ASSERT_NE(callable, nullptr);
    const Py_ssize_t before = Py_REFCNT(callable);
    TsMotorSkillState::SetScriptCallback(&skill, callable);
    EXPECT_EQ(Py_REFCNT(callable), before + 1);
    TsMotorSkillState::SetScriptCallback(&skill, nullptr);
    EXPECT_EQ(Py_REFCNT(callable), before);
    TsMotorSkillState::SetScriptCallback(&skill, callable);
    actor->Release();
}

TEST_F(SkillsModule, MoveSkillPlayersFootstepsAndStrike)
{
    auto* actor = new TsAnimActor();
    actor->AddRef();
    {
        MoveMSState move(actor);
        EXPECT_STREQ(move.GetName(), "MS_MOVE");
        move.Setup();
        move.Exit();
        EXPECT_EQ(mServices.mCalls, (std::vector<std::string>{"init 0 92 0", "init 1 36 0", "transition", "reset 0",
                                                              "reset 1"}));
        EXPECT_EQ(move.AttachTo(actor), 1);
        EXPECT_EQ(move.AttachTo(nullptr), 0);
        TsActor plain;
        EXPECT_EQ(move.AttachTo(&plain), 0);
        EXPECT_EQ(move.Loop(), 1);
        EXPECT_NE(actor->GetMotorSkills()->mFlags & TsMotorSkills::kRunning, 0u);

        // Footsteps by the move player's state; other events play nothing.
        const struct
        {
            int32_t state;
            int32_t kind;
        } rows[] = {{11, kWalkStep}, {14, kWalkStep}, {22, kWalkStep}, {25, kWalkStep}, {32, kWalkStep},
                    {51, kWalkStep}, {52, kWalkStep}, {57, kWalkStep}, {59, kWalkStep}, {62, kWalkStep},
                    {26, kRunStep},  {27, kRunStep},  {31, kCrouchedWalkStep}, {35, kCrouchedWalkStep},
                    {39, kCrouchedWalkStep}, {53, kCrouchedWalkStep}, {54, kCrouchedWalkStep},
                    {3, -1},         {15, -1},        {28, -1},   {40, -1},  {58, -1}};
        for (const auto& row : rows)
        {
            mServices.mCalls.clear();
            mServices.mMoveState = row.state;
            move.OnEvent(row.state % 2 ? 1 : 2);
            move.OnEvent(5);
            const auto expected = row.kind < 0 ? std::vector<std::string>{}
                                               : std::vector<std::string>{"step " + std::to_string(row.kind)};
            EXPECT_EQ(mServices.mCalls, expected) << row.state;
        }
        // Event 13 strikes; with nothing in hand no weapon strikes.
        mServices.mCalls.clear();
        struct Counting : MoveMSState
        {
            using MoveMSState::MoveMSState;
            int32_t Strike() override { return ++strikes; }
            int32_t strikes = 0;
        } counting(actor);
        counting.OnEvent(13);
        EXPECT_EQ(counting.strikes, 1);
        EXPECT_EQ(move.Strike(), 1);
        EXPECT_EQ(mServices.mCalls, (std::vector<std::string>{"init 0 92 0", "init 1 36 0"}));
    }
    actor->Release();
}

TEST_F(SkillsModule, MapAndSapInitializationTuneKnownStates)
{
    auto* actor = new TsAnimActor();
    actor->AddRef();
    ASSERT_EQ(scripttest::Exec("import skills\nclass Guard: pass\nguard = Guard()\nother = Guard()"), "");
    actor->BindScriptObject(PyDict_GetItemString(scripttest::MainDict(), "guard"));
    mWorld->AddActor(actor);
    mServices.mKnownStates = {11, 7};

    ASSERT_EQ(scripttest::Exec("r = skills.MAPInitialization(guard, [(11, 3, 12, 1, 'STEP', 0.5, 1.25, 'x'),"
                               " (99, 1, 1, 1, None, 1.0, 1.0, 0), (7, 1, 2)])"),
              "");
    EXPECT_EQ(Eval("r"), "None");
    const int64_t f = HbPerformanceFrequency();
    EXPECT_EQ(mServices.mCalls, (std::vector<std::string>{"tune 0 11 3 12 1 STEP " + std::to_string(f / 2) + " " +
                                                          std::to_string(f * 5 / 4)}))
        << "unknown ids and short tuples are skipped";

    mServices.mCalls.clear();
    ASSERT_EQ(scripttest::Exec("skills.SAPInitialization(guard, [(7, 4, 0, 2, None, 0.0, 2.0)])\n"
                               "skills.SAPInitialization(other, [(7, 4, 0, 2, None, 0.0, 2.0)])"),
              "");
    EXPECT_EQ(mServices.mCalls, (std::vector<std::string>{"tune 1 7 4 0 2 None 0 " + std::to_string(f * 2)}))
        << "an object bound to no actor is skipped";

    EXPECT_EQ(Eval("skills.MAPInitialization(guard)").rfind("!TypeError: HMAPInitialization", 0), 0u);
    EXPECT_EQ(Eval("skills.SAPInitialization(1)").rfind("!TypeError: HeroSAPInitialization", 0), 0u);
    mWorld->RemoveActor(actor);
    actor->Release();
}

} // namespace
