// The soldier move skill on a walker-model soldier in a script world: its state tables and
// options, its blend tables, the turning helpers, a walk order along a navigation graph from
// the writers, the failure codes, the timer, the shots and the script functions.
#include "ammunition.h"
#include "animmovectrl.h"
#include "frame.h"
#include "hbchunkstream.h"
#include "hbclock.h"
#include "hero.h"
#include "heroactorhooks.h"
#include "moveanimplayerstate.h"
#include "moveblendtables.h"
#include "moveskillhooks.h"
#include "navgraphwriter.h"
#include "pnjmove.h"
#include "rdanimmotor.h"
#include "rdanimset.h"
#include "script_fixture.h"
#include "scripteventid.h"
#include "scriptinterpreter.h"
#include "scriptworld_fixture.h"
#include "skeletonwriter.h"
#include "skillconstants.h"
#include "skillids.h"
#include "staticanimplayerstate.h"
#include "tsactorlayer.h"
#include "tsanimactorctrl.h"
#include "tsastarpathfinder.h"
#include "tsmotorskills.h"
#include "tssendevent.h"
#include "tssenses.h"
#include "tsskillregistry.h"
#include "virtualtargetactor.h"
#include "w3danimobject.h"
#include "w3dcollision.h"
#include "w3dframe.h"
#include "w3dobject.h"
#include "walker_fixture.h"
#include "walkermodel.h"
#include "watomicowner.h"
#include "weaponshoot.h"
#include "wscene.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace
{
using scriptworldtest::FakeActor;

constexpr int32_t kKind = 3;
constexpr float kDt = 0.05f;

/// A soldier on flat ground: the ground snap moves him by the step.
class Soldier : public TsAnimActor
{
public:
    int32_t SnapToGround(const Vector* offset) override
    {
        if (offset)
            if (::Frame* frame = GetNode() ? GetNode()->GetEngineFrame() : nullptr)
                ::Frame::Translate(frame, offset, kCombinePostConcat);
        return 1;
    }
};

/// The path service over a graph read from the writers' bytes.
class Graph : public MovePathGraph
{
public:
    explicit Graph(TsAStarPathfinder* graph) : mGraph(graph) {}
    bool IsPointOnGraph(const Vector* p) override { return mGraph->IsPointOnGraph(*p) != 0; }
    bool FindNearestPoint(const Vector* p, float d, Vector* out) override
    {
        return mGraph->SnapToGraph(out, *p, d) != 0;
    }
    bool IsStraightWalkable(const Vector* a, const Vector* b) override
    {
        return mGraph->IsStraightWalkable(*a, *b) != 0;
    }
    void ResetSearch() override { mGraph->SetSearchState(0); }
    bool FindPath(const Vector* s, const Vector* g, const Vector* f, int32_t flags) override
    {
        return mGraph->FindPath(*s, *g, f, flags) != 0;
    }
    int32_t GetResultCount() const override { return int32_t(mGraph->GetPath().size()); }
    Vector GetResultPoint(int32_t i) const override { return mGraph->GetPath()[size_t(i)]; }

private:
    TsAStarPathfinder* mGraph;
};

Graph* gGraph = nullptr;

class Soldiers : public scriptworldtest::ScriptWorldTest
{
protected:
    void SetUp() override
    {
        ScriptWorldTest::SetUp();
        if (HasFatalFailure())
            return;
        // A fresh interpreter with the module "skills".
        mWorld->StopScripting();
        mWorld->StartScripting();
        ASSERT_EQ(mWorld->IsScriptingStarted(), 1);

        mSavedHooks = GetMoveSkillHooks();
        MoveSkillHooksInstall();
        // Two rooms joined along x = 300: x 100..900, z -400..400.
        mAStar = new TsAStarPathfinder();
        mAStar->AddRef();
        HbMChunkStream stream(new VectorStreamBuf(
            NavGraphWriter::Bytes(NavGraphWriter::FromRectangles({{100, 400, 300, -400}, {300, 400, 900, -400}}))));
        ASSERT_EQ(mAStar->LoadFromChunks(&stream), 1);
        gGraph = new Graph(mAStar);
        GetMoveSkillHooks().getPathGraph = []() -> MovePathGraph* { return gGraph; };
        AnimMoveCtrl::SetLevelGraph(mAStar);
        PnjMoveBlendTablesInit();
        WeaponSetAmmoSource(&mRing);

        AnimSetFreeAll();
        const struct
        {
            const char* id;
            Vector root;
            float seconds;
        } anims[] = {{"P_STILL_ANM", {0, 0, 0}, 1.0f},
                     {"P_WALK_ANM", {0, 0, 120}, 1.0f},
                     {"P_STRAFE_ANM", {120, 0, 0}, 1.0f},
                     {"P_SHOT_ANM", {0, 0, 0}, 0.25f}};
        for (int32_t cell = 0; cell < 4; ++cell)
        {
            ASSERT_NE(mAnims.Add(anims[cell].id, anims[cell].root, anims[cell].seconds), nullptr);
            AnimSetAddVariant(kKind, cell, anims[cell].id, 1, 2, 1.0f, HeroEnemyFamily);
        }

        const std::vector<SkeletonProfileRow> profiles = {{"HIGH_PART", {"Upper_Torso", "Head"}}};
        W3dAnimObject* model = WalkerModel::Create(&profiles);
        ASSERT_NE(model, nullptr);
        mSoldier = new Soldier();
        mSoldier->AddRef();
        mSoldier->SetModel(model);
        mSoldier->mFamily = HeroEnemyFamily | kFaction;
        Place(mSoldier, {500, 0, 0});

        mGun = new WeaponShoot();
        mGun->AddRef();
        mGun->mMagazineSize = 3;
        mGun->mMaxSpread = -1.0f;
        mGun->SetAmmo(6);
        // Every animation index leads to a cell: walking ones move, strafes slide, shots are short.
        for (int32_t anim = 0; anim < kAnimStateCount; ++anim)
        {
            const int32_t cell = anim == 6 || anim == 11 || anim == 12 || anim == 13 ? 1
                                 : anim == 8 || anim == 9                            ? 2
                                 : anim == 2 || (anim >= 72 && anim <= 83)           ? 3
                                                                                     : 0;
            mGun->GetAnimation(anim)->SetAnimation(kKind, cell);
            mGun->GetAnimation(anim)->SetEventFraction(0.5f);
        }
        mSoldier->SetWeapon(mGun);

        mSkill = static_cast<PnjMoveMSState*>(PnjMoveMSState::Create(mSoldier, Py_None));
        ASSERT_NE(mSkill, nullptr);
        ASSERT_EQ(mSoldier->GetMotorSkills()->AddSkill(mSkill), 1);
    }
    void TearDown() override
    {
        if (mSoldier)
        {
            mWorld->RemoveActor(mSoldier);
            mSoldier->ExitMotorSkills();
            mSoldier->Release();
        }
        if (mGun)
            mGun->Release();
        AnimSetFreeAll();
        WeaponSetAmmoSource(nullptr);
        PnjMoveTablesFree();
        AnimMoveCtrl::SetLevelGraph(nullptr);
        GetMoveSkillHooks() = mSavedHooks;
        delete gGraph;
        gGraph = nullptr;
        if (mAStar)
            mAStar->Release();
        ScriptWorldTest::TearDown();
        ScriptInterpreter::Stop();
        TsSkillRegistry::Instance()->Clear();
    }

    static void Place(TsActor* actor, Vector at)
    {
        ::Frame* frame = actor->GetNode()->GetEngineFrame();
        ::Frame::SetIdentity(frame);
        ::Frame::Translate(frame, &at, kCombineReplace);
        ::Frame::SyncDirtyList();
    }

    /// One frame: the skill (both players), then the soldier's motor. The loop result.
    int32_t Frame(float seconds = kDt)
    {
        HbGameClock* clock = HbGameClock::Instance();
        clock->mGameTime += int64_t(double(seconds) * double(HbPerformanceFrequency()));
        clock->mStepSeconds = seconds;
        const int32_t result = Table()->LoopSkill(PnjMoveMSState::kName);
        static_cast<W3dAnimObject*>(mSoldier->GetNode())->GetMotor().Update();
        ::Frame::SyncDirtyList();
        return result;
    }

    TsMotorSkills* Table() { return mSoldier->GetMotorSkills(); }
    Vector Position() { return *mSoldier->GetNode()->GetWorldPosition(); }
    Vector Forward() { return ::Frame::GetWorldMatrix(mSoldier->GetNode()->GetEngineFrame())->at; }
    int32_t MoveState() { return mSoldier->GetMovePlayer()->GetCurrentStateIndex(); }
    int32_t StaticState() { return mSoldier->GetStaticPlayer()->GetCurrentStateIndex(); }

    /// Binds the actor to a fresh script object under the name and lists it.
    void Script(TsActor* actor, const char* name)
    {
        ASSERT_EQ(scripttest::Exec(std::string("class Actor: pass\n") + name + " = Actor()"), "");
        actor->BindScriptObject(PyDict_GetItemString(scripttest::MainDict(), name));
        mWorld->AddActor(actor);
    }

    /// A hero-family target with a collision box around its node (so lines of fire stop on it).
    FakeActor* Box(const char* name, Vector at, uint32_t family)
    {
        FakeActor* actor = Listed(name, at, family, kOutside);
        const float box[6] = {at.x + 20, 150, at.z + 20, at.x - 20, -50, at.z - 20};
        Atomic* atomic = CreateBoxGeometry(box);
        AtomicOwner::Get(atomic)->owner = actor->mNode;
        actor->mNode->GetMoveCollisionSet().SetRoot(W3dCollisionNode::CreateForAtomic(atomic, nullptr));
        mScene->GetRoot()->AttachChild(actor->mNode);
        ::Frame::SyncDirtyList();
        return actor;
    }

    static constexpr uint32_t kFaction = 0x100;

    class Ring : public WeaponAmmoSource
    {
    public:
        int32_t TakeProjectile() override { return int32_t(mLaunches.size()); }
        void LaunchProjectile(int32_t, const WeaponLaunch& launch) override { mLaunches.push_back(launch); }
        int32_t TakeCasing() override { return -1; }
        void LaunchCasing(int32_t, const WeaponCasingRecord&, const Matrix&, float) override {}
        std::vector<WeaponLaunch> mLaunches;
    };

    MoveSkillHooks mSavedHooks;
    TsAStarPathfinder* mAStar = nullptr;
    walkertest::Animations mAnims;
    Soldier* mSoldier = nullptr;
    WeaponShoot* mGun = nullptr;
    PnjMoveMSState* mSkill = nullptr;
    Ring mRing;
};

// ---- Tables -----------------------------------------------------------------------------------

// The soldier's state tables: state (name and id), animation, controller mode, flags and
// limit, play mode, follow-up, time 2, update, enter, leave.
constexpr const char* kMoveTable = R"(
Walk 87 | 6 | 2 | 0x8D0 | 0 | 1 | 11 | 0 | PnjTurnToPathTarget | - | -
WalkSeek1 88 | 11 | 2 | 0x8D0 | 0 | 3 | 12 | 0 | PnjTurnToPathTarget | - | -
WalkPatrol 89 | 12 | 2 | 0x8D0 | 0 | 3 | 13 | 0 | PnjTurnToPathTarget | - | -
Run 90 | 13 | 2 | 0x8D0 | 0 | 1 | 26 | 0 | PnjTurnToPathTarget | - | -
11 | 6 | 2 | 0x8D0 | FLT_MAX | 1 | Stand 3 | 0 | PnjFollowPath | PnjFacePathDirection | -
12 | 11 | 2 | 0x8D0 | FLT_MAX | 3 | Stand 3 | 0 | PnjFollowPath | PnjFacePathDirection | -
13 | 12 | 2 | 0x8D0 | FLT_MAX | 3 | Stand 3 | 0 | PnjFollowPath | PnjFacePathDirection | -
RotateWalk 14 | 6 | 2 | 0x8D0 | 0 | 1 | Stand 3 | 0 | PnjTurnToPathTarget | - | -
RotateWalkSeek1 15 | 11 | 2 | 0x8D0 | 0 | 3 | Stand 3 | 0 | PnjTurnToPathTarget | - | -
RotateWalkPatrol 16 | 12 | 2 | 0x8D0 | 0 | 3 | Stand 3 | 0 | PnjTurnToPathTarget | - | -
26 | 13 | 2 | 0x8D0 | FLT_MAX | 1 | Stand 3 | 0 | PnjFollowPath | PnjFacePathDirection | -
RotateRun 27 | 13 | 2 | 0x8D0 | 0 | 1 | Stand 3 | 0 | PnjTurnToPathTarget | - | -
Stand 3 | 0 | 0 | 0x0 | 0 | 3 | Stand 3 | 0 | - | - | -
StandSeek1 5 | 4 | 0 | 0x0 | 0 | 3 | Stand 3 | 0 | - | - | -
StandPatrol 6 | 5 | 0 | 0x0 | 0 | 3 | Stand 3 | 0 | - | - | -
CrouchOnce 30 | 16 | 0 | 0x8D0 | 0 | 0 | Crouch 35 | 0 | - | - | -
StandAim 7 | 1 | 6 | 0x8D0 | 0 | 1 | StandAim 7 | 0 | PnjAimUpdate | PnjAimEnter | PnjAimLeave
StandAimOnce 8 | 1 | 6 | 0x8D0 | 0 | 0 | 9 | 0 | PnjAimOnceUpdate | - | -
9 | 1 | 6 | 0x8D0 | 0 | 1 | 9 | 0 | PnjAimOnceUpdate | - | -
WalkAim 22 | 7 | 2 | 0x8DB | FLT_MAX | 1 | StandAim 7 | 0 | PnjWalkAimUpdate | PnjAimEnter | PnjAimLeave
RotateWalkAim 17 | 7 | 2 | 0x8D0 | 0 | 1 | StandAim 7 | 0 | PnjTurnToPathTarget | - | -
Crouch 35 | 16 | 0 | 0x8D0 | 0 | 1 | Stand 3 | 0 | PnjAimUpdate | - | -
CrouchRotate 40 | 17 | 2 | 0x8D0 | 0 | 1 | Crouch 35 | 0 | PnjTurnToPathTarget | - | -
StrafLeftAim 18 | 8 | 6 | 0x8D0 | FLT_MAX | 1 | StandAim 7 | 0 | PnjStrafeUpdate | - | -
StrafRightAim 19 | 9 | 6 | 0x8D0 | FLT_MAX | 1 | StandAim 7 | 0 | PnjStrafeUpdate | - | -
StrafLeftAimOnce 20 | 8 | 6 | 0x8D0 | FLT_MAX | 0 | StandAim 7 | 0 | PnjStrafeCheck | - | -
StrafRightAimOnce 21 | 9 | 6 | 0x8D0 | FLT_MAX | 0 | StandAim 7 | 0 | PnjStrafeCheck | - | -
Surprise 50 | 35 | 0 | 0x8D0 | FLT_MAX | 1 | Stand 3 | 0 | - | - | -
CrouchDeath 91 | 84 | 0 | 0x8D0 | FLT_MAX | 0 | 0 | 0 | - | PnjDeathEnter | PnjDeathLeave
Death1 43 | 38 | 0 | 0x8D0 | FLT_MAX | 0 | 0 | 0 | - | PnjDeathEnter | PnjDeathLeave
Death2 44 | 39 | 0 | 0x8D0 | FLT_MAX | 0 | 0 | 0 | - | PnjDeathEnter | PnjDeathLeave
Death3 45 | 40 | 0 | 0x8D0 | FLT_MAX | 0 | 0 | 0 | - | PnjDeathEnter | PnjDeathLeave
DeathMG 46 | 41 | 0 | 0x8D0 | FLT_MAX | 0 | 0 | 0 | - | PnjDeathEnter | PnjDeathLeave
DeathPan 47 | 42 | 0 | 0x8D0 | FLT_MAX | 0 | 0 | 0 | - | PnjDeathEnter | PnjDeathLeave
DeathHeadShot 48 | 43 | 0 | 0x8D0 | FLT_MAX | 0 | 0 | 0 | - | PnjDeathEnter | PnjDeathLeave
DeathNeutral 49 | 29 | 0 | 0x8D0 | FLT_MAX | 0 | 0 | 0 | - | PnjNeutralizedEnter | PnjNeutralizedLeave
CrouchReload 33 | 22 | 0 | 0x10D0 | 0 | 0 | 28 | 0 | - | PnjReloadEnter | PnjReloadLeave
CrouchShoot 34 | 21 | 0 | 0x10D0 | 0 | 0 | 28 | 0 | - | PnjShootEnter | PnjShootLeave
Strike 55 | 23 | 6 | 0xD0 | FLT_MAX | 0 | Stand 3 | 0 | - | - | -
HitStrike 77 | 70 | 6 | 0xD0 | FLT_MAX | 0 | Stand 3 | 0.2 | - | - | -
Action 86 | 71 | 6 | 0xD0 | 0 | 0 | Stand 3 | 0 | - | - | -
)";

// State, animation, play mode, entry, time 1, time 2, enter, leave.
constexpr const char* kStaticTable = R"(
Shoot 7 | 2 | 2 | 1 | 0 | 0 | PnjShootEnter | PnjShootLeave
HitLight 12 | 31 | 0 | 0 | 0 | 0 | - | -
HitNormal 13 | 32 | 0 | 0 | 0 | 0 | - | -
HitSerious 14 | 33 | 0 | 0 | 0 | 0 | - | -
Help 15 | 34 | 0 | 1 | 0 | 0 | - | -
Reload 16 | 3 | 0 | 0 | 0 | 0 | PnjReloadEnter | PnjReloadLeave
WalkAim 30 | 49 | 1 | 0 | 0.1 | 0.1 | - | -
)";

std::vector<std::vector<std::string>> Rows(const char* table)
{
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(table);
    for (std::string line; std::getline(lines, line);)
    {
        if (line.empty())
            continue;
        std::vector<std::string> cells;
        std::istringstream parts(line);
        for (std::string cell; std::getline(parts, cell, '|');)
        {
            cell.erase(0, cell.find_first_not_of(' '));
            cell.erase(cell.find_last_not_of(' ') + 1);
            cells.push_back(cell);
        }
        rows.push_back(cells);
    }
    return rows;
}

/// "Walk 87" -> 87, checked against the name's constant in the module; "11" -> 11.
int32_t StateId(const std::string& cell, const char* module)
{
    const size_t space = cell.rfind(' ');
    const int32_t id = std::stoi(space == std::string::npos ? cell : cell.substr(space + 1));
    if (space != std::string::npos)
    {
        EXPECT_EQ(SkillConstantValue(module, cell.substr(0, space).c_str()), id) << cell;
    }
    return id;
}

float Real(const std::string& cell)
{
    return cell == "FLT_MAX" ? FLT_MAX : std::stof(cell);
}

int64_t Ticks(const std::string& cell)
{
    return int64_t(double(std::stof(cell)) * double(HbPerformanceFrequency()));
}

const std::map<std::string, void*>& Callbacks()
{
    using namespace PnjCallbacks;
    static const std::map<std::string, void*> callbacks = {
        {"-", nullptr},
        {"PnjTurnToPathTarget", reinterpret_cast<void*>(TurnToPathTarget)},
        {"PnjFacePathDirection", reinterpret_cast<void*>(FacePathDirection)},
        {"PnjFollowPath", reinterpret_cast<void*>(FollowPath)},
        {"PnjWalkAimUpdate", reinterpret_cast<void*>(WalkAimUpdate)},
        {"PnjStrafeUpdate", reinterpret_cast<void*>(StrafeUpdate)},
        {"PnjStrafeCheck", reinterpret_cast<void*>(StrafeCheck)},
        {"PnjAimEnter", reinterpret_cast<void*>(AimEnter)},
        {"PnjAimLeave", reinterpret_cast<void*>(AimLeave)},
        {"PnjAimUpdate", reinterpret_cast<void*>(AimUpdate)},
        {"PnjAimOnceUpdate", reinterpret_cast<void*>(AimOnceUpdate)},
        {"PnjShootEnter", reinterpret_cast<void*>(ShootEnter)},
        {"PnjShootLeave", reinterpret_cast<void*>(ShootLeave)},
        {"PnjReloadEnter", reinterpret_cast<void*>(ReloadEnter)},
        {"PnjReloadLeave", reinterpret_cast<void*>(ReloadLeave)},
        {"PnjDeathEnter", reinterpret_cast<void*>(DeathEnter)},
        {"PnjDeathLeave", reinterpret_cast<void*>(DeathLeave)},
        {"PnjNeutralizedEnter", reinterpret_cast<void*>(NeutralizedEnter)},
        {"PnjNeutralizedLeave", reinterpret_cast<void*>(NeutralizedLeave)},
    };
    return callbacks;
}

void* Fn(const std::string& name)
{
    auto found = Callbacks().find(name);
    EXPECT_NE(found, Callbacks().end()) << name;
    return found == Callbacks().end() ? nullptr : found->second;
}

/// The data a state's callback gets: the skill, the fall index for deaths, null without one.
void* DataFor(const std::string& name, PnjMoveMSState* skill)
{
    if (name == "-")
        return nullptr;
    if (name.find("Death") != std::string::npos || name.find("Neutralized") != std::string::npos)
        return &skill->mFallBoneTarget;
    return skill;
}

TEST_F(Soldiers, EveryStateAndOptionIsTheTablesOwn)
{
    AnimPlayerStateMachine* move = mSoldier->GetMovePlayer();
    AnimPlayerStateMachine* still = mSoldier->GetStaticPlayer();
    EXPECT_EQ(move->GetStateCount(), 92);
    EXPECT_EQ(still->GetStateCount(), 36);
    EXPECT_EQ(move->GetCurrentStateIndex(), 3) << "the move player starts in Stand";
    EXPECT_EQ(still->GetCurrentStateIndex(), 0);

    const std::vector<int32_t> exclusive = {91, 43, 44, 45, 46, 47, 48, 49};
    const std::vector<int32_t> silent = {87, 88, 89, 90};
    const std::vector<int32_t> first = {55, 77, 91, 43, 44, 45, 46, 47, 48, 49, 7};
    auto in = [](const std::vector<int32_t>& list, int32_t id)
    { return std::find(list.begin(), list.end(), id) != list.end() ? 1 : 0; };
    const std::map<int32_t, void*> moveChoices = {{22, reinterpret_cast<void*>(PnjCallbacks::ChooseWalkAimAnim)},
                                                  {7, reinterpret_cast<void*>(PnjCallbacks::ChooseAimAnim)}};
    const std::map<int32_t, void*> staticChoices = {{7, reinterpret_cast<void*>(PnjCallbacks::ChooseShootAnim)},
                                                    {16, reinterpret_cast<void*>(PnjCallbacks::ChooseReloadAnim)}};

    int32_t made = 0;
    for (int32_t id = 0; id < move->GetStateCount(); ++id)
        made += move->GetState(id) != nullptr;
    EXPECT_EQ(made, 41);
    const auto moveRows = Rows(kMoveTable);
    ASSERT_EQ(moveRows.size(), 41u);
    for (const auto& row : moveRows)
    {
        ASSERT_EQ(row.size(), 11u) << row[0];
        SCOPED_TRACE(row[0]);
        const int32_t id = StateId(row[0], "map_states");
        auto* state = HbCastTo<MoveAnimPlayerState>(move->GetState(id));
        ASSERT_NE(state, nullptr);
        EXPECT_EQ(state->mValue, id);
        EXPECT_EQ(state->mAnimState, std::stoi(row[1]));
        EXPECT_EQ(state->mMoveMode, std::stoi(row[2]));
        EXPECT_EQ(uint32_t(state->mMoveFlags), uint32_t(std::stoul(row[3], nullptr, 16)));
        EXPECT_EQ(state->mMaxStep, Real(row[4]));
        EXPECT_EQ(state->mPlayKind, std::stoi(row[5]));
        EXPECT_EQ(state->mDefaultNext, StateId(row[6], "map_states"));
        EXPECT_EQ(state->mReentryDelay, Ticks(row[7]));
        EXPECT_EQ(state->mMinimumDuration, 0);
        EXPECT_EQ(state->mBoneProfile, 1);
        EXPECT_EQ(state->mLockOnEnter, 0);
        EXPECT_EQ(state->mSound, nullptr);
        EXPECT_EQ(reinterpret_cast<void*>(state->mUpdate), Fn(row[8]));
        EXPECT_EQ(reinterpret_cast<void*>(state->mEnter), Fn(row[9]));
        EXPECT_EQ(reinterpret_cast<void*>(state->mLeave), Fn(row[10]));
        EXPECT_EQ(state->mUpdateData, DataFor(row[8], mSkill));
        EXPECT_EQ(state->mEnterData, DataFor(row[9], mSkill));
        EXPECT_EQ(state->mLeaveData, DataFor(row[10], mSkill));
        EXPECT_EQ(state->mExclusive, in(exclusive, id));
        EXPECT_EQ(state->mNotify, in(silent, id) ? 0 : 1);
        EXPECT_EQ(state->mPriority, in(first, id));
        auto choice = moveChoices.find(id);
        EXPECT_EQ(reinterpret_cast<void*>(state->mChoose), choice == moveChoices.end() ? nullptr : choice->second);
        EXPECT_EQ(state->mChooseData, choice == moveChoices.end() ? nullptr : mSkill);
        EXPECT_EQ(state->mCanContinue, nullptr);
    }

    const auto staticRows = Rows(kStaticTable);
    ASSERT_EQ(staticRows.size(), 7u);
    for (const auto& row : staticRows)
    {
        ASSERT_EQ(row.size(), 8u) << row[0];
        SCOPED_TRACE(row[0]);
        const int32_t id = StateId(row[0], "sap_states");
        auto* state = HbCastTo<StaticAnimPlayerState>(still->GetState(id));
        ASSERT_NE(state, nullptr);
        EXPECT_EQ(state->mAnimState, std::stoi(row[1]));
        EXPECT_EQ(state->mPlayKind, std::stoi(row[2]));
        EXPECT_EQ(state->mLockOnEnter, std::stoi(row[3]));
        EXPECT_EQ(state->mMinimumDuration, Ticks(row[4]));
        EXPECT_EQ(state->mReentryDelay, Ticks(row[5]));
        EXPECT_EQ(state->mBoneProfile, 2);
        EXPECT_EQ(state->mDefaultNext, 0);
        EXPECT_EQ(state->mUpdate, nullptr);
        EXPECT_EQ(reinterpret_cast<void*>(state->mEnter), Fn(row[6]));
        EXPECT_EQ(reinterpret_cast<void*>(state->mLeave), Fn(row[7]));
        EXPECT_EQ(state->mEnterData, DataFor(row[6], mSkill));
        EXPECT_EQ(state->mExclusive, 0);
        EXPECT_EQ(state->mPriority, 0);
        auto choice = staticChoices.find(id);
        EXPECT_EQ(reinterpret_cast<void*>(state->mChoose), choice == staticChoices.end() ? nullptr : choice->second);
        EXPECT_EQ(reinterpret_cast<void*>(state->mCanContinue),
                  id == 7 ? reinterpret_cast<void*>(PnjCallbacks::ShootRepeat) : nullptr);
    }

    // Setup's other values.
    EXPECT_EQ(mSkill->mTurnRate, 400.0f);
    EXPECT_EQ(mSkill->mTimerDuration, -1.0f);
    EXPECT_STREQ(mSkill->GetName(), "MS_PNJMOVE");
    EXPECT_STREQ(TsSkillRegistry::Instance()->GetSkillName(kMsPnjMoveId), "MS_PNJMOVE");

    // The fall target on bone 6: off until a death state begins, off again when it ends.
    AnimMoveCtrl* controller = mSoldier->GetMoveController();
    ASSERT_GE(mSkill->mFallBoneTarget, 0);
    EXPECT_EQ(controller->IsBoneTargetSet(mSkill->mFallBoneTarget), 0);
    for (int32_t death : {43, 49})
    {
        SCOPED_TRACE(death);
        ASSERT_EQ(TsAnimActorPlayTimedAnim(mSoldier, death), 2);
        EXPECT_EQ(controller->IsBoneTargetSet(mSkill->mFallBoneTarget), 1);
        ASSERT_EQ(TsAnimActorPlayTimedAnim(mSoldier, 3), 2);
        EXPECT_EQ(controller->IsBoneTargetSet(mSkill->mFallBoneTarget), 0);
    }
}

TEST_F(Soldiers, BlendTablesHoldTheSoldiersTimesAndScriptsAddTheirOwn)
{
    constexpr int32_t kAll = 0xFFFF;
    const struct
    {
        int32_t from, to;
        float seconds;
        bool both;
    } mapRows[] = {{3, 49, 0.5f, true},      {11, 49, 0.5f, true},    {14, 49, 0.5f, true},   {kAll, 91, 0.0f, true},
                   {kAll, 43, 0.0f, true},   {kAll, 44, 0.0f, true},  {kAll, 45, 0.0f, true}, {kAll, 46, 0.0f, true},
                   {kAll, 47, 0.0f, true},   {kAll, 48, 0.0f, true},  {kAll, 49, 0.0f, true}, {kAll, 55, 0.0f, false},
                   {55, kAll, 10.0f, false}, {kAll, 77, 0.0f, false}, {77, kAll, 0.2f, false}},
      sapRows[] = {{kAll, 14, 0.0f, false}, {kAll, 13, 0.0f, false}, {kAll, 12, 0.0f, false},
                   {14, kAll, 0.2f, false}, {13, kAll, 0.2f, false}, {12, kAll, 0.2f, false}};
    auto check = [](HbIntHashMap* table, const auto& rows)
    {
        for (const auto& row : rows)
        {
            SCOPED_TRACE(testing::Message() << row.from << " -> " << row.to);
            EXPECT_EQ(PnjGetBlendTime(table, row.from, row.to), row.seconds);
            if (row.both)
            {
                EXPECT_EQ(PnjGetBlendTime(table, row.to, row.from), row.seconds);
            }
            else if (row.from != kAll && row.to != kAll)
            {
                EXPECT_EQ(PnjGetBlendTime(table, row.to, row.from), -1.0f);
            }
        }
    };
    check(PnjMapTransitions(), mapRows);
    check(PnjSapTransitions(), sapRows);
    EXPECT_EQ(PnjGetBlendTime(PnjMapTransitions(), 55, kAll), 10.0f);
    EXPECT_EQ(PnjGetBlendTime(PnjMapTransitions(), kAll, 77), 0.0f);
    EXPECT_EQ(PnjGetBlendTime(PnjMapTransitions(), 77, kAll), 0.2f) << "not the reverse of (All, 77)";

    // Every soldier's players look them up, with the players' fallbacks through All.
    AnimPlayerStateMachine* move = mSoldier->GetMovePlayer();
    EXPECT_EQ(move->BlendTime(3, 49), 0.5f);
    EXPECT_EQ(move->BlendTime(87, 43), 0.0f);
    EXPECT_EQ(move->BlendTime(55, 3), 10.0f);
    EXPECT_EQ(move->BlendTime(87, 11), 0.1f) << "the default";
    EXPECT_EQ(mSoldier->GetStaticPlayer()->BlendTime(13, 7), 0.2f);

    ASSERT_EQ(scripttest::Exec("import skills\n"
                               "skills.PnjMAPTransition(87, 11, 0.3, 1)\n"
                               "skills.PnjSAPTransition(7, 16, 0.4, 0)"),
              "");
    EXPECT_FLOAT_EQ(move->BlendTime(11, 87), 0.3f);
    EXPECT_FLOAT_EQ(mSoldier->GetStaticPlayer()->BlendTime(7, 16), 0.4f);
    EXPECT_FLOAT_EQ(mSoldier->GetStaticPlayer()->BlendTime(16, 7), 0.1f);
    EXPECT_EQ(scripttest::Eval("skills.PnjMAPTransition(1, 2, 'x', 0)").rfind("!TypeError", 0), 0u);

    // Made again at the next start: the script's own entries are gone.
    PnjMoveBlendTablesInit();
    EXPECT_EQ(PnjGetBlendTime(PnjMapTransitions(), 87, 11), -1.0f);
}

// ---- Turning ----------------------------------------------------------------------------------

TEST_F(Soldiers, TurnsAreBoundedByTheFrameAndTheRateAndSidesFollowTheFacing)
{
    // Facing +z at (500, 0, 0).
    const struct
    {
        Vector point;
        float angle; // magnitude
        int32_t side;
    } cases[] = {
        {{500, 0, 100}, 0.0f, 1},    {{600, 0, 0}, 90.0f, 3},    {{400, 0, 0}, 90.0f, 2},
        {{500, 0, -100}, 180.0f, 3}, {{600, 0, 100}, 45.0f, 3},  {{500.0005f, 0, 0.0005f}, 0.0f, 1},
        {{503, 0, 100}, 1.7184f, 1}, {{520, 0, 100}, 11.31f, 3},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.point.x << ", " << c.point.z);
        EXPECT_NEAR(std::fabs(PnjAngleTo(mSoldier, &c.point)), c.angle, 0.01f);
        if (c.angle > 0.0f || c.point.z > 1.0f)
        {
            EXPECT_EQ(PnjSide(mSoldier, &c.point, 0.1f), c.side);
        }
    }
    // The two sides have opposite signs.
    const Vector right = {600, 0, 0}, left = {400, 0, 0};
    EXPECT_LT(PnjAngleTo(mSoldier, &right) * PnjAngleTo(mSoldier, &left), 0.0f);

    // Turning 90 degrees at 400 per second in frames of 0.05 s: 20 degrees a frame, the last
    // step what remains, then nothing within the threshold.
    HbGameClock::Instance()->mStepSeconds = kDt;
    std::vector<float> steps;
    for (int i = 0; i < 8; ++i)
        steps.push_back(std::fabs(PnjTurnToward(mSoldier, &right, 400.0f, 0.01f)));
    ::Frame::SyncDirtyList();
    for (float step : steps)
        EXPECT_LE(step, 20.0f + 1e-4f);
    EXPECT_NEAR(steps[0], 20.0f, 1e-4f);
    EXPECT_NEAR(steps[4], 10.0f, 0.01f);
    EXPECT_EQ(steps[6], 0.0f);
    EXPECT_NEAR(PnjAngleTo(mSoldier, &right), 0.0f, 0.01f);
    EXPECT_NEAR(Forward().x, 1.0f, 1e-3f) << "the soldier faces the point";

    // The aim rate: 25000 / distance, 250 degrees per second at 100 units.
    FakeActor* near = Listed("near", {600, 0, 0});
    FakeActor* same = Listed("same", {500, 0, 0});
    EXPECT_FLOAT_EQ(PnjTurnRate(near, mSoldier), 250.0f);
    EXPECT_FLOAT_EQ(PnjTurnRate(same, mSoldier), 25000.0f);
}

// ---- Orders -----------------------------------------------------------------------------------

TEST_F(Soldiers, AWalkOrderTurnsInPlaceThenWalksThePathAndSucceeds)
{
    // The target lies to the soldier's right, across the portal at x = 300... seen from x 500
    // it is the room's far end: (800, 0, 0).
    const Vector target = {800, 0, 0};
    ASSERT_EQ(mSkill->SetTargetPosition(&target, MovePathFollower::kAstar), 1);
    TsAnimActorRequestMoveState(mSoldier, 87, 0);

    std::vector<std::string> trace;
    float previousYaw = std::atan2(Forward().x, Forward().z);
    bool succeeded = false;
    for (int frame = 0; frame < 120 && !succeeded; ++frame)
    {
        const Vector before = Position();
        ASSERT_EQ(Frame(), 1) << "frame " << frame;
        const float yaw = std::atan2(Forward().x, Forward().z);
        float turned = std::fabs(yaw - previousYaw) * 180.0f / 3.14159265f;
        turned = std::fmin(turned, 360.0f - turned);
        EXPECT_LE(turned, 400.0f * kDt + 1e-3f) << "frame " << frame;
        previousYaw = yaw;
        if (MoveState() == 87)
        {
            EXPECT_NEAR(Position().x, before.x, 1e-3f) << "no step while turning in place";
        }
        if (trace.empty() || trace.back() != std::to_string(MoveState()))
            trace.push_back(std::to_string(MoveState()));
        succeeded = (Table()->mFlags & TsMotorSkills::kSucceeded) != 0;
    }
    EXPECT_TRUE(succeeded);
    EXPECT_EQ(Table()->mError, 0u);
    EXPECT_EQ(trace, (std::vector<std::string>{"87", "11", "3"})) << "the walk ends in Stand";
    EXPECT_NEAR(Position().x, 800.0f, 2.0f);
    EXPECT_NEAR(Position().z, 0.0f, 2.0f);
    EXPECT_NEAR(Forward().x, 1.0f, 1e-2f);
    EXPECT_EQ(mSkill->mPath.GetState(), MovePathFollower::kArrived);
}

TEST_F(Soldiers, TimerSucceedsOnTheFirstFrameWithTimeAndLeavingCancelsIt)
{
    const struct
    {
        float timer;
        std::vector<float> frames;
        int32_t succeedsAt; // -1 never
    } cases[] = {
        {0.0f, {0.0f, 0.0f, kDt}, 2},
        {0.12f, {kDt, kDt, kDt, kDt}, 2},
        {-1.0f, {kDt, kDt, kDt}, -1},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.timer);
        Frame(kDt); // entered: elapsed 0
        mSkill->mTimerDuration = c.timer;
        int32_t at = -1;
        for (size_t i = 0; i < c.frames.size() && at < 0; ++i)
        {
            const int32_t result = Frame(c.frames[i]);
            if (Table()->mFlags & TsMotorSkills::kSucceeded)
            {
                at = int32_t(i);
                EXPECT_EQ(result, 0);
            }
            else
            {
                EXPECT_EQ(result, 1);
                EXPECT_NE(Table()->mFlags & TsMotorSkills::kRunning, 0u);
            }
        }
        EXPECT_EQ(at, c.succeedsAt);
        mSkill->mTimerDuration = -1.0f;
    }
    mSkill->mTimerDuration = 5.0f;
    Table()->ExitCurrent();
    EXPECT_EQ(mSkill->mTimerDuration, -1.0f);
}

TEST_F(Soldiers, FailureCodesReachTheSkillTable)
{
    FakeActor* hero = Box("hero", {500, 0, 600}, HeroFamily);
    mSoldier->GetTarget()->GetNode(); // the soldier aims at the hero's node
    auto aimAtHero = [&]
    {
        auto* aim = HbCastTo<VirtualTargetActor>(mSoldier->GetTarget());
        ::Frame::SetIdentity(aim->GetNode()->GetEngineFrame());
        hero->mNode->AttachChild(aim->GetNode());
        ::Frame::SyncDirtyList();
    };
    aimAtHero();

    struct Case
    {
        const char* name;
        uint32_t error;
    };
    // No path: a straight line that leaves the graph.
    {
        SCOPED_TRACE("no path");
        const Vector outside = {2000, 0, 0};
        EXPECT_EQ(mSkill->SetTargetPosition(&outside, MovePathFollower::kLineAstar), 0);
        TsAnimActorRequestMoveState(mSoldier, 87, 0);
        int32_t result = 1;
        for (int i = 0; i < 40 && result == 1; ++i)
            result = Frame();
        EXPECT_EQ(result, 0);
        EXPECT_EQ(Table()->mError, uint32_t(kMsErrorMoveNoPath));
        EXPECT_NE(Table()->mFlags & TsMotorSkills::kFailed, 0u);
    }
    // Out of the graph: a strafe (walls and walkable area tested) across the graph's edge.
    {
        SCOPED_TRACE("out of the graph");
        Place(mSoldier, {860, 0, 0});
        TsAnimActorRequestMoveState(mSoldier, 19, 0);
        int32_t result = 1;
        for (int i = 0; i < 40 && result == 1; ++i)
            result = Frame();
        EXPECT_EQ(result, 0);
        EXPECT_EQ(Table()->mError, uint32_t(kMsErrorMoveOutAstar));
        EXPECT_LE(Position().x, 900.0f);
        TsAnimActorRequestMoveState(mSoldier, 3, 0);
        Place(mSoldier, {500, 0, 0});
        Frame();
    }
    // A friend of the same faction between the soldier and the hero, then a wall of the
    // soldier's own making close in front of him.
    {
        SCOPED_TRACE("friend in the line of fire");
        FakeActor* friendly = Box("friend", {500, 0, 300}, HeroEnemyFamily | kFaction);
        int32_t flags = 0;
        float factor = 0.0f;
        EXPECT_EQ(PnjCallbacks::ShootRepeat(nullptr, mSoldier, mSkill), 0);
        EXPECT_EQ(Table()->mError, uint32_t(kMsErrorCanNotShootMustMove));
        mScene->GetRoot()->RemoveChild(friendly->mNode);
        mWorld->RemoveActor(friendly);
        ::Frame::SyncDirtyList();
        Table()->mError = 0;
        // Only the hero's own body ends the line now.
        EXPECT_EQ(TsCanShootActor(mSoldier, mSoldier->GetTarget(), &flags, &factor), 1);
        EXPECT_EQ(uint32_t(flags), uint32_t(HeroFamily));
        EXPECT_EQ(PnjCallbacks::ShootRepeat(nullptr, mSoldier, mSkill), 1) << "the burst goes on";
        EXPECT_EQ(Table()->mError, 0u);
    }
    {
        SCOPED_TRACE("close obstacle");
        FakeActor* stranger = Box("crate", {500, 0, 100}, HeroEnemyFamily | 0x200);
        EXPECT_EQ(PnjCallbacks::ShootRepeat(nullptr, mSoldier, mSkill), 0);
        EXPECT_EQ(Table()->mError, uint32_t(kMsErrorCanNotShootCloseCollision));
        Table()->mError = 0;
        mScene->GetRoot()->RemoveChild(stranger->mNode);
        FakeActor* far = Box("far crate", {500, 0, 450}, HeroEnemyFamily | 0x200);
        EXPECT_EQ(PnjCallbacks::ShootRepeat(nullptr, mSoldier, mSkill), 1) << "past half the line";
        mScene->GetRoot()->RemoveChild(far->mNode);
    }
    // No ammunition: the static shot refuses to start and says why.
    {
        SCOPED_TRACE("no ammunition");
        mGun->SetAmmo(0);
        TsAnimActorRequestStaticState(mSoldier, 7, 0);
        EXPECT_EQ(Frame(), 0);
        EXPECT_EQ(Table()->mError, uint32_t(kMsErrorCanNotShootNoAmmo));
        EXPECT_NE(StaticState(), 7);
    }
}

// ---- Shots ------------------------------------------------------------------------------------

TEST_F(Soldiers, TheSoldierTurnsToTheHeroAndFiresUntilHisMagazineRunsOut)
{
    FakeActor* hero = Box("hero", {600, 0, 0}, HeroFamily);
    Script(mSoldier, "soldier");
    ASSERT_EQ(scripttest::Exec("import skills\nclass Hero: pass\nhero = Hero()"), "");
    hero->BindScriptObject(PyDict_GetItemString(scripttest::MainDict(), "hero"));
    ASSERT_EQ(scripttest::Exec("skills.PnjSetTarget(soldier, hero, 0.75)"), "");
    EXPECT_EQ(mSkill->mShotFactor, 0.75f);
    auto* aim = HbCastTo<VirtualTargetActor>(mSoldier->GetTarget());
    ASSERT_NE(aim, nullptr);
    EXPECT_EQ(aim->GetNode()->GetParent(), hero->mNode) << "the aim follows the hero";
    EXPECT_EQ(aim->GetTargetHandle().GetObject(), hero);
    ::Frame::SyncDirtyList();

    // StandAim: 100 units away, the turn runs at 250 degrees per second.
    TsAnimActorRequestMoveState(mSoldier, 7, 0);
    float previousYaw = 0.0f;
    for (int i = 0; i < 10; ++i)
    {
        ASSERT_EQ(Frame(), 1);
        const float yaw = std::atan2(Forward().x, Forward().z) * 180.0f / 3.14159265f;
        EXPECT_LE(std::fabs(yaw - previousYaw), 250.0f * kDt + 1e-3f);
        if (i == 0)
        {
            EXPECT_NEAR(std::fabs(yaw), 250.0f * kDt, 1e-2f);
        }
        previousYaw = yaw;
    }
    EXPECT_NEAR(Forward().x, 1.0f, 1e-2f) << "facing the hero";
    EXPECT_EQ(MoveState(), 7);

    // A burst of three: each cycle fires; three rounds in the magazine, then the reload event.
    const int32_t total = mGun->GetTotal();
    ASSERT_EQ(scripttest::Exec("skills.PnjSAPRepeatState(soldier, 7, 3)"), "");
    for (int i = 0; i < 30 && mRing.mLaunches.size() < 3; ++i)
        ASSERT_EQ(Frame(), 1) << i;
    ASSERT_EQ(mRing.mLaunches.size(), 3u);
    EXPECT_EQ(mGun->GetTotal(), total - 3);
    EXPECT_EQ(mGun->mMagazine, 0);
    for (const WeaponLaunch& launch : mRing.mLaunches)
        EXPECT_EQ(launch.hit->wideHit, 0) << "soldiers never take wide hits";
    EXPECT_EQ(mSkill->mShootAnim, 2);
    bool reloadQueued = false;
    for (int32_t i = 0; i < mWorld->GetQueuedCount(); ++i)
        reloadQueued |= mWorld->GetQueuedEvent(i)->id == kEventReload && mWorld->GetQueuedEvent(i)->target == mSoldier;
    EXPECT_TRUE(reloadQueued);
    // Once the burst is over, the reload puts a fresh magazine in.
    for (int i = 0; i < 30 && StaticState() == 7; ++i)
        Frame();
    ASSERT_NE(StaticState(), 7);
    TsAnimActorRequestStaticState(mSoldier, 16, 0);
    for (int i = 0; i < 30 && mGun->mMagazine == 0; ++i)
        Frame();
    EXPECT_EQ(mGun->mMagazine, 3);
}

TEST_F(Soldiers, WalkingWhileAimingPicksTheLegsByWhereTheTargetIs)
{
    // The path leads along +x; the target in front, behind, on the right or on the left.
    const Vector goal = {800, 0, 0};
    ASSERT_EQ(mSkill->SetTargetPosition(&goal, MovePathFollower::kNoAstar), 1);
    auto* aim = HbCastTo<VirtualTargetActor>(mSoldier->GetTarget());
    const struct
    {
        Vector at;
        int32_t walk;
    } cases[] = {{{700, 0, 0}, 72},   {{300, 0, 0}, 81}, {{500, 0, -100}, 75},
                 {{500, 0, 100}, 78}, {{500, 0, 0}, 72}, {{650, 0, 100}, 72}};
    AnimPlayerState* walkAim = mSoldier->GetMovePlayer()->GetState(22);
    for (const auto& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.at.x << ", " << c.at.z);
        ::Frame* frame = aim->GetNode()->GetEngineFrame();
        ::Frame::SetIdentity(frame);
        ::Frame::Translate(frame, &c.at, kCombineReplace);
        ::Frame::SyncDirtyList();
        EXPECT_EQ(PnjCallbacks::ChooseWalkAimAnim(walkAim, mSoldier, mSkill), c.walk);
        EXPECT_EQ(mSkill->mShootAnim, c.walk + 1);
        EXPECT_EQ(mSkill->mReloadAnim, c.walk + 2);
    }
    // The shot and reload states take those while walking with aim, else their own.
    EXPECT_EQ(PnjCallbacks::ChooseShootAnim(nullptr, mSoldier, mSkill), 2);
    EXPECT_EQ(PnjCallbacks::ChooseReloadAnim(nullptr, mSoldier, mSkill), 3);
    TsAnimActorPlayTimedAnim(mSoldier, 22);
    EXPECT_EQ(PnjCallbacks::ChooseShootAnim(nullptr, mSoldier, mSkill), 73);
    EXPECT_EQ(PnjCallbacks::ChooseReloadAnim(nullptr, mSoldier, mSkill), 74);
}

// ---- Script functions -------------------------------------------------------------------------

TEST_F(Soldiers, ScriptFunctionsTakeVerticesOrActorsAndCheckTheirArguments)
{
    Script(mSoldier, "soldier");
    FakeActor* mark = Listed("mark", {700, 0, 200});
    ASSERT_EQ(scripttest::Exec("import skills\nclass Mark: pass\nmark = Mark()"), "");
    mark->BindScriptObject(PyDict_GetItemString(scripttest::MainDict(), "mark"));

    // The move target is set only while the soldier runs his move skill.
    ASSERT_EQ(scripttest::Exec("skills.PnjSetMoveTarget(soldier, vertex(600, 0, 100), 1)"), "");
    EXPECT_EQ(mSkill->mPath.GetState(), MovePathFollower::kIdle);
    Frame();
    ASSERT_EQ(scripttest::Exec("skills.PnjSetMoveTarget(soldier, vertex(600, 0, 100), 1)"), "");
    EXPECT_EQ(mSkill->mPath.GetState(), MovePathFollower::kMoving);
    EXPECT_FLOAT_EQ(mSkill->mPath.GetTargetPosition()->z, 100.0f);
    ASSERT_EQ(scripttest::Exec("skills.PnjSetMoveTarget(soldier, mark, 0)"), "");
    EXPECT_FLOAT_EQ(mSkill->mPath.GetTargetPosition()->x, 700.0f);
    ASSERT_EQ(scripttest::Exec("skills.PnjSetMoveTarget(soldier, 12, 0)"), "") << "anything else is ignored";
    EXPECT_FLOAT_EQ(mSkill->mPath.GetTargetPosition()->x, 700.0f);

    // The aim target follows an actor, then moves to a point under the level's root (twice:
    // from wherever it was).
    FakeActor* mover = Box("mover", {650, 0, -150}, HeroFamily);
    ASSERT_EQ(scripttest::Exec("class Mover: pass\nmover = Mover()"), "");
    mover->BindScriptObject(PyDict_GetItemString(scripttest::MainDict(), "mover"));
    ASSERT_EQ(scripttest::Exec("skills.PnjSetTarget(soldier, mover, 0.25)"), "");
    auto* aim = HbCastTo<VirtualTargetActor>(mSoldier->GetTarget());
    EXPECT_EQ(aim->GetNode()->GetParent(), mover->mNode);
    EXPECT_EQ(mSkill->mShotFactor, 0.25f);
    ::Frame::SyncDirtyList();
    EXPECT_NEAR(aim->GetNode()->GetWorldPosition()->x, 650.0f, 1e-3f);
    for (const Vector point : {Vector{520, 40, 300}, Vector{480, 10, -60}})
    {
        ASSERT_EQ(scripttest::Exec("skills.PnjSetTarget(soldier, vertex(" + std::to_string(point.x) + ", " +
                                   std::to_string(point.y) + ", " + std::to_string(point.z) + "), 0.5)"),
                  "");
        EXPECT_EQ(aim->GetNode()->GetParent(), mScene->GetRoot());
        ::Frame::SyncDirtyList();
        const Vector at = *aim->GetNode()->GetWorldPosition();
        EXPECT_NEAR(at.x, point.x, 1e-3f);
        EXPECT_NEAR(at.y, point.y, 1e-3f);
        EXPECT_NEAR(at.z, point.z, 1e-3f);
    }
    EXPECT_EQ(mSkill->mShotFactor, 0.5f);

    ASSERT_EQ(scripttest::Exec("skills.PnjSetTimer(soldier, 2.5)"), "");
    EXPECT_EQ(mSkill->mTimerDuration, 2.5f);

    // Requests reach the two players.
    ASSERT_EQ(scripttest::Exec("skills.PnjMAPSetState(soldier, 90)\nskills.PnjSAPRepeatState(soldier, 13, 2)"), "");
    EXPECT_EQ(mSoldier->GetMovePlayer()->GetRequestedStateIndex(), 90);
    EXPECT_EQ(mSoldier->GetStaticPlayer()->GetRequestedStateIndex(), 13);
    ASSERT_EQ(scripttest::Exec("skills.PnjMAPRepeatState(soldier, 5, 1)\nskills.PnjSAPSetState(soldier, 12)"), "");
    EXPECT_EQ(mSoldier->GetMovePlayer()->GetRequestedStateIndex(), 5);
    EXPECT_EQ(mSoldier->GetStaticPlayer()->GetRequestedStateIndex(), 12);

    // Argument errors carry the format's name, the repeat functions' that of PnjMAPSetState.
    const struct
    {
        const char* call;
        const char* prefix;
    } errors[] = {
        {"skills.PnjMAPSetState(soldier)", "!TypeError: PnjMAPSetState"},
        {"skills.PnjMAPRepeatState(soldier, 1)", "!TypeError: PnjMAPSetState"},
        {"skills.PnjSAPRepeatState(soldier, 1)", "!TypeError: PnjMAPSetState"},
        {"skills.PnjSAPSetState(soldier)", "!TypeError: PnjSAPSetState"},
        {"skills.PnjSetMoveTarget(soldier, mark)", "!TypeError: PnjSetMoveTarget"},
        {"skills.PnjSetTarget(soldier, mark)", "!TypeError: PnjSetTarget"},
        {"skills.PnjSetTarget(soldier, mark, 'far')", "!TypeError: must be real number"},
        {"skills.PnjSetTimer(soldier)", "!TypeError: PnjSetTimer"},
    };
    for (const auto& e : errors)
    {
        const std::string answer = scripttest::Eval(e.call);
        EXPECT_EQ(answer.rfind(e.prefix, 0), 0u) << e.call << " -> " << answer;
    }
    // Objects bound to no soldier are let be.
    EXPECT_EQ(scripttest::Eval("skills.PnjSetTimer(mark, 1.0), skills.PnjMAPSetState(12, 3)"), "(None, None)");
}

TEST_F(Soldiers, TargetsThatDieLeaveTheSoldierWalkingToWhereTheyStood)
{
    FakeActor* mark = Listed("mark", {800, 0, 0});
    ASSERT_EQ(mSkill->SetTargetActor(mark, MovePathFollower::kAstar), 1);
    TsAnimActorRequestMoveState(mSoldier, 90, 0);
    Frame();
    // The mark goes away entirely.
    mWorld->RemoveActor(mark);
    mActors.erase(std::find(mActors.begin(), mActors.end(), mark));
    mark->Release();
    bool succeeded = false;
    for (int i = 0; i < 120 && !succeeded; ++i)
    {
        ASSERT_EQ(Frame(), 1);
        succeeded = (Table()->mFlags & TsMotorSkills::kSucceeded) != 0;
    }
    EXPECT_TRUE(succeeded);
    EXPECT_NEAR(Position().x, 800.0f, 2.0f);

    // An aim target that dies while the soldier aims at it: the aim stays where it was.
    FakeActor* hero = Box("hero", {800, 0, 300}, HeroFamily);
    Script(mSoldier, "soldier");
    ASSERT_EQ(scripttest::Exec("import skills\nclass Hero: pass\nhero = Hero()"), "");
    hero->BindScriptObject(PyDict_GetItemString(scripttest::MainDict(), "hero"));
    ASSERT_EQ(scripttest::Exec("skills.PnjSetTarget(soldier, hero, 1.0)\nskills.PnjMAPSetState(soldier, 7)"), "");
    Frame();
    mScene->GetRoot()->RemoveChild(hero->mNode);
    mWorld->RemoveActor(hero);
    mActors.erase(std::find(mActors.begin(), mActors.end(), hero));
    hero->Release();
    ::Frame::SyncDirtyList();
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(Frame(), 1);
    EXPECT_EQ(MoveState(), 7);
    EXPECT_EQ(scripttest::Eval("skills.PnjSetTarget(soldier, hero, 1.0)"), "None") << "a dead actor's object is let be";
}

TEST_F(Soldiers, ASkillReplacedUnderItsNameLeavesNoCallbackBehind)
{
    // Another class filed under the soldier skill's name: the old skill goes, its states stay.
    struct Other : TsMotorSkill
    {
        explicit Other(TsActor* owner) : TsMotorSkill(owner, PnjMoveMSState::kName) {}
        void Init() override {}
        void Enter() override {}
        void Exit() override {}
        int32_t Loop() override { return 1; }
        int32_t AttachTo(TsActor*) override { return 1; }
    };
    const Vector goal = {800, 0, 0};
    mSkill->SetTargetPosition(&goal, MovePathFollower::kAstar);
    TsAnimActorRequestMoveState(mSoldier, 87, 0);
    Frame();
    Table()->ExitCurrent();
    ASSERT_EQ(Table()->AddSkill(new Other(mSoldier)), 1);
    // The table keeps its previous skill until it changes skills again.
    Table()->LoopSkill(PnjMoveMSState::kName);
    mSkill = nullptr;
    AnimPlayerState* walk = mSoldier->GetMovePlayer()->GetState(87);
    ASSERT_NE(walk, nullptr);
    EXPECT_EQ(walk->mUpdate, nullptr);
    EXPECT_EQ(mSoldier->GetStaticPlayer()->GetState(7)->mCanContinue, nullptr);
    // The players go on without them.
    for (int i = 0; i < 5; ++i)
    {
        mSoldier->GetMovePlayer()->Update();
        mSoldier->GetStaticPlayer()->Update();
    }
    TsAnimActorRequestMoveState(mSoldier, 43, 0);
    mSoldier->GetMovePlayer()->Update();
}

TEST_F(Soldiers, StatesOutsideThePlayersAreRequestedHarmlessly)
{
    Script(mSoldier, "soldier");
    ASSERT_EQ(scripttest::Exec("import skills"), "");
    for (const char* call : {"skills.PnjMAPSetState(soldier, 500)", "skills.PnjMAPSetState(soldier, -3)",
                             "skills.PnjSAPRepeatState(soldier, 4000, 2)", "skills.PnjMAPSetState(soldier, 1)"})
    {
        SCOPED_TRACE(call);
        ASSERT_EQ(scripttest::Exec(call), "");
        for (int i = 0; i < 3; ++i)
            Frame();
    }
    // The soldier still obeys a real order afterwards.
    ASSERT_EQ(scripttest::Exec("skills.PnjMAPSetState(soldier, 3)\nskills.PnjSAPSetState(soldier, 0)"), "");
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Frame(), 1);
    EXPECT_EQ(MoveState(), 3);
}

} // namespace

namespace
{
TEST_F(Soldiers, ShotsFlyToTheHeroAndLowerHisHitPoints)
{
    AmmoGeometryDeclareRows();
    ASSERT_EQ(AmmoManager::Preallocate(), 1);
    HeroActorHooksInstall();
    auto* hero = new Hero();
    hero->AddRef();
    walkertest::Walker* walker = walkertest::MakeWalker();
    ASSERT_NE(walker, nullptr);
    W3dAnimObject* model = walker->GetModel();
    model->AddRef();
    walker->Release();
    hero->SetModel(model);
    model->Release();
    mScene->GetRoot()->AttachChild(hero->GetNode());
    Place(hero, {650, 0, 0});
    const float box[6] = {670, 150, 20, 630, -50, -20};
    Atomic* atomic = CreateBoxGeometry(box);
    AtomicOwner::Get(atomic)->owner = hero->GetNode();
    hero->GetNode()->GetShootCollisionSet().SetRoot(W3dCollisionNode::CreateForAtomic(atomic, nullptr));
    hero->SetMaxHitPoints(100);
    hero->EnableDamageEvents();
    mWorld->SetHero(hero);
    Script(hero, "hero");
    Script(mSoldier, "soldier");

    // The gun on the soldier's chest, its muzzle along his facing.
    W3dObject* gunModel = W3dObject::Create();
    gunModel->SetClump(renderertest::MakeClump({nullptr}));
    mGun->SetModel(gunModel);
    ASSERT_NE(mGun->GetMuzzleFrame(), nullptr);
    const Vector chest = {0, 100, 30};
    ::Frame::Translate(gunModel->GetEngineFrame(), &chest, kCombineReplace);
    mSoldier->GetNode()->AttachChild(gunModel);
    WeaponHitRecord& hit = mGun->mHit;
    hit.owner = mGun;
    hit.hitEvent = Hero::kEventHit;
    hit.damage = 20;
    hit.launchSpeed = float(2000.0 / double(HbPerformanceFrequency()));
    hit.flightSpeed = hit.launchSpeed;
    hit.lifetime = int64_t(double(HbPerformanceFrequency()));
    hit.directHitOnly = 1;

    ASSERT_EQ(scripttest::Exec("import skills\nskills.PnjSetTarget(soldier, hero, 0.75)"), "");
    TsAnimActorRequestMoveState(mSoldier, 7, 0);
    for (int i = 0; i < 10; ++i)
        ASSERT_EQ(Frame(), 1);
    ASSERT_NEAR(Forward().x, 1.0f, 1e-2f) << "facing the hero";
    ASSERT_EQ(scripttest::Exec("skills.PnjSAPRepeatState(soldier, 7, 3)"), "");
    for (int i = 0; i < 40 && hero->mHitPoints > 40; ++i)
    {
        ASSERT_EQ(Frame(), 1) << i;
        mScene->Update();
        ::Frame::SyncDirtyList();
        mWorld->Update();
    }
    EXPECT_EQ(mGun->mMagazine, 0);
    EXPECT_TRUE(mRing.mLaunches.empty()) << "the rings took the shots";
    EXPECT_EQ(hero->mHitPoints, 40) << "three hits of 20";
    EXPECT_EQ(Ammunition::LiveProjectiles(), 0);

    AmmoManagerShutdown();
    WeaponSetAmmoSource(&mRing);
    mSoldier->GetNode()->RemoveChild(gunModel);
    mWorld->RemoveActor(hero);
    mWorld->SetHero(nullptr);
    hero->Restart();
    mScene->GetRoot()->RemoveChild(hero->GetNode());
    hero->Release();
}
} // namespace
