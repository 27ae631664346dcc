// The module "scenaric" on actors: the hero, models, switches, families and hit points,
// collision sets, the object in hand, the weapon functions and the module "skills".
#include "frame.h"
#include "frameobject.h"
#include "gameplayactortypes.h"
#include "hbresource.h"
#include "mdfwriter.h"
#include "mobiledof.h"
#include "scenaricmodule.h"
#include "scenaricmodule_fixture.h"
#include "script_fixture.h"
#include "tsanimactor.h"
#include "tsnothingtodo.h"
#include "w3dcollision.h"
#include "w3dframe.h"
#include "watomicowner.h"
#include "weaponshoot.h"
#include "weapontables.h"
#include "wscene.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace scenarictest
{
namespace
{
TEST_F(ScenaricTest, CreatingAHeroMakesItTheScriptWorldsHero)
{
    TsActor* plain = Create("plain");
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(mWorld->GetHero(), nullptr);
    TsActor* hero = Create("john", kHeroType);
    ASSERT_NE(hero, nullptr);
    EXPECT_EQ(mWorld->GetHero(), hero);
    EXPECT_EQ(Eval("GetHeroPyActor() is john"), "True");
    EXPECT_EQ(hero->GetScriptObject(), PyDict_GetItemString(scripttest::MainDict(), "john"));
    EXPECT_EQ(Eval("IsCurrentHeroJohn()"), "0") << "no game state, no profile";
}

TEST_F(ScenaricTest, ANewModelKeepsTheOldNodesPlaceAndFacing)
{
    TsActor* actor = Create("model");
    ASSERT_EQ(Exec("SetPosition(model, vertex(40, 5, -60))\nSetAtEuler(model, vertex(1, 0, 0))"), "");
    W3dNode* old = actor->GetNode();
    old->AddRef();
    ASSERT_EQ(Exec("SetModel(model, 'GOOD_MODEL')"), "");
    W3dNode* node = actor->GetNode();
    ASSERT_NE(node, old);
    EXPECT_EQ(old->GetParent(), nullptr) << "the old node left the level";
    old->Release();
    EXPECT_EQ(node->GetParent(), mScene->GetRoot());
    EXPECT_EQ(Eval("xyz(GetPosition(model))"), "(40.0, 5.0, -60.0)");
    EXPECT_EQ(Eval("xyz(GetLookAt(model))"), "(1.0, 0.0, 0.0)");
    EXPECT_EQ(Exec("SetModel(model, 'NO_SUCH_MODEL')"), "TypeError: Resource not defined");
    EXPECT_EQ(Exec("SetModelAndParameters(model, 'GOOD_MODEL', 'x')"), "TypeError: Resource not defined");
    EXPECT_EQ(actor->GetNode(), node) << "an actor that cannot take parameters keeps its model";
}

FrameObject gDoorMarker;

/// A door model whose child holds its open placement, 120 units up, on an inner frame.
HbRoot* MakeDoorModel()
{
    W3dFrame* model = W3dFrame::Create();
    W3dFrame* leaf = W3dFrame::Create();
    W3dFrame* inner = W3dFrame::Create();
    leaf->AddChild(inner, nullptr);
    model->AddChild(leaf, nullptr);
    const Vector up = {0.0f, 120.0f, 0.0f};
    Frame::Translate(inner->GetEngineFrame(), &up, kCombineReplace);
    FrameObject::Init(&gDoorMarker, 0, nullptr);
    FrameObject::SetFrame(&gDoorMarker, inner->GetEngineFrame());
    return model;
}

TEST_F(ScenaricTest, AMobileDofTakesItsModelWithParameters)
{
    MobileDofInstall();
    TsActor* actor = Create("door", kActorTypeMobileDof);
    auto* dof = HbCastTo<MobileDof>(actor);
    ASSERT_NE(dof, nullptr);
    const std::string path = (std::filesystem::temp_directory_path() / "scenaric_door.mdf").string();
    MdfRecord record;
    record.openTimes[1] = 2.0f;
    const std::vector<uint8_t> bytes = MdfWriter::Bytes(record);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), long(bytes.size()));
    HbResourceManager* resources = HbResourceManager::Instance();
    resources->RegisterType("SDOOR", MakeDoorModel);
    resources->AddPath("SCENARIC_DOOR_MDF", path.c_str());

    EXPECT_EQ(Exec("SetModelAndParameters(door, '_DOOR_SDOOR', 'SCENARIC_DOOR_MDF')"), "");
    EXPECT_FLOAT_EQ(dof->mTravel, 120.0f);
    EXPECT_FLOAT_EQ(dof->mOpenSpeed, 60.0f);
    ASSERT_NE(dof->GetNode(), nullptr);
    EXPECT_EQ(dof->GetNode()->GetParent(), mScene->GetRoot());
    EXPECT_EQ(Exec("SetModelAndParameters(door, '_DOOR_SDOOR', 'NO_SUCH_MDF')"), "TypeError: Resource not defined");

    FrameObject::SetFrame(&gDoorMarker, nullptr);
    resources->RemovePath("SCENARIC_DOOR_MDF");
    std::filesystem::remove(path);
}

TEST_F(ScenaricTest, SwitchesFamiliesAndHitPoints)
{
    TsActor* actor = Create("guard");
    W3dNode* node = actor->GetNode();
    ASSERT_EQ(Exec("SetActorVisible(guard, 0)\nSetActorCollideable(guard, 0)\n"
                   "SetFamily(guard, 6)\nSetEnemyFamily(guard, 1)\nSetMaxHitPoints(guard, 50, 7)\n"
                   "SetHitPoints(guard, 80)\nSetActorToActorCollDistance(guard, 35.5)"),
              "");
    EXPECT_EQ(node->GetFlags() & W3dNode::kVisible, 0u);
    EXPECT_EQ(node->GetMoveCollisionSet().IsEnabled(), 0);
    EXPECT_EQ(node->GetShootCollisionSet().IsEnabled(), 0);
    EXPECT_EQ(actor->mFamily, 6u);
    EXPECT_EQ(actor->mEnemyFamily, 1u);
    EXPECT_EQ(Eval("(IsInFamily(guard, 4), IsInFamily(guard, 1))"), "(4, 0)");
    EXPECT_EQ(Eval("(GetHitPoints(guard), GetMaxHitPoints(guard))"), "(50, 50)") << "capped at the maximum";
    EXPECT_EQ(actor->mHitPointParameter, 7);
    EXPECT_EQ(actor->mActorCollisionDistance, 35);
    ASSERT_EQ(Exec("SetActorVisible(guard, 1)\nSetActorCollideable(guard, 1)\n"
                   "SetActorToActorCollDistance(guard, 0.0)"),
              "");
    EXPECT_NE(node->GetFlags() & W3dNode::kVisible, 0u);
    EXPECT_EQ(node->GetShootCollisionSet().IsEnabled(), 1);
    EXPECT_EQ(node->GetMoveCollisionSet().IsEnabled(), 0) << "no distance: the movement tree is off";
    EXPECT_EQ(Eval("IsActorMustBeUpdated(guard)"), "1");
    // Accepted, and nothing follows.
    EXPECT_EQ(Exec("SetOverWrittingBBoxRadius(guard, 3.0)\nStopOverWrittingBBox(guard)\n"
                   "ActorPlayAnim(guard, 'ANY_ANM')\nIsHeadShoot(guard, 1)\n"
                   "SetActorFrames(guard, 'a', 2, None)"),
              "");
    EXPECT_EQ(Exec("StopOverWrittingBBox()"),
              "TypeError: StopOverWrittingBBoxRadius() takes exactly 1 argument (0 given)")
        << "the parser names the registered format";
}

TEST_F(ScenaricTest, CollisionSetsAreBuiltBreadthFirst)
{
    TsActor* actor = Create("body");
    ASSERT_EQ(Exec("SetPosition(body, vertex(0, 10, 0))"), "");
    W3dNode* node = actor->GetNode();

    ASSERT_EQ(Exec("LoadMoveCollisionSet(body, [(0, -1.0, None, None, 1, 0)])"), "");
    W3dCollisionNode* root = node->GetMoveCollisionSet().GetRoot();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->sphere, node->GetBoundingSphere()) << "the node's own bounding sphere";
    EXPECT_EQ(root->mask, 1 | 4);
    EXPECT_EQ(root->children.GetCount(), 0);

    // root (2 children), A (1 child), B (0), C (0) under A; then an item no count takes.
    ASSERT_EQ(Exec("LoadMoveCollisionSet(body, [(0, 1.0, None, None, 0, 2), (0, 2.0, None, (0, 5, 0), 0, 1),"
                   " (0, 3.0, None, None, 2, 0), (0, 4.0, None, None, 0, 0), (0, 9.0, None, None, 0, 0)])"),
              "");
    root = node->GetMoveCollisionSet().GetRoot();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->sphere->radius, 1.0f);
    ASSERT_EQ(root->children.GetCount(), 2);
    auto* a = static_cast<W3dCollisionNode*>(root->children[0]);
    auto* b = static_cast<W3dCollisionNode*>(root->children[1]);
    EXPECT_EQ(a->sphere->radius, 2.0f);
    EXPECT_EQ(b->sphere->radius, 3.0f);
    EXPECT_EQ(b->mask, 2);
    ASSERT_EQ(a->children.GetCount(), 1);
    EXPECT_EQ(static_cast<W3dCollisionNode*>(a->children[0])->sphere->radius, 4.0f);
    EXPECT_EQ(static_cast<W3dCollisionNode*>(a->children[0])->parent, a);
    EXPECT_EQ(b->children.GetCount(), 0);
    Frame::SyncDirtyList();
    EXPECT_FLOAT_EQ(a->GetWorldSphere()->centre.y, 15.0f) << "the offset moves the sphere from its bone";

    struct Case
    {
        const char* list;
        const char* error;
        int32_t children;
    };
    const Case cases[] = {
        {"[(0, 1.0, None, None, 1)]", "", -1},
        {"[(0, 1, None, None, 1, 0)]", "", -1},
        {"[('0', 1.0, None, None, 1, 0)]",
         "TypeError: GetHIFromPyObject : specified variable TYPE is not an integer", -1},
        {"[(0, 1.0, 'no_bone', None, 1, 0)]", "", -1},
        {"[(0, 1.0, None, (1, 2), 1, 0)]", "", -1},
        {"[]", "", -1},
        // A child that yields nothing still takes its place among the root's children.
        {"[(0, 1.0, None, None, 0, 2), (0, 2.0, None), (0, 3.0, None, None, 0, 0)]", "", 1},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.list);
        EXPECT_EQ(Exec(std::string("LoadMoveCollisionSet(body, ") + c.list + ")"), c.error) << c.list;
        W3dCollisionNode* built = node->GetMoveCollisionSet().GetRoot();
        EXPECT_EQ(built ? built->children.GetCount() : -1, c.children) << c.list;
    }

    ASSERT_EQ(Exec("LoadShootCollisionSet(body, [(1, (2.0, 4.0, 6.0), None, None, 8, 0)])"), "");
    W3dCollisionNode* box = node->GetShootCollisionSet().GetRoot();
    ASSERT_NE(box, nullptr);
    ASSERT_NE(box->atomic, nullptr);
    EXPECT_EQ(AtomicOwner::GetOwner(box->atomic), node);
    EXPECT_EQ(box->mask & 8, 8);
    EXPECT_EQ(node->GetMoveCollisionSet().GetRoot()->sphere->radius, 1.0f) << "the other tree is untouched";
}

TEST_F(ScenaricTest, ALevelScriptFillsAndHandsAWeaponThroughTheModule)
{
    WeaponsInstall();
    TsActor* hero = Create("hero", kHeroType);
    ASSERT_EQ(Exec("gun = Thing()\nCreateActor(gun, " + std::to_string(kActorTypeWeaponShoot) + ")\n"
                   "SetWeaponData(gun, 'gun', None, 2, 1, 0)\nSetAmmoNumber(gun, 30)"),
              "");
    auto* gun = HbCastTo<WeaponShoot>(Bound("gun"));
    ASSERT_NE(gun, nullptr);
    EXPECT_EQ(gun->mWeaponData[0], 2);
    gun->mHit.wideHit = 1;
    ASSERT_EQ(Exec("SetFamily(hero, 4)\nSetObjectInHand(hero, gun)"), "");
    EXPECT_EQ(static_cast<TsAnimActor*>(hero)->GetWeapon(), gun);
    EXPECT_EQ(gun->mHit.wideHit, 0) << "an enemy's firearm hits only what it aims at";
    ASSERT_EQ(Exec("SetObjectInHand(hero, None)"), "");
    EXPECT_EQ(static_cast<TsAnimActor*>(hero)->GetWeapon(), nullptr);
    EXPECT_EQ(Exec("SetObjectInHand(gun, None)"), "TypeError: SetObjectInHand : trouble when attach object")
        << "a weapon holds nothing";
}

TEST_F(ScenaricTest, SkillsAreAddedOnceAndUnknownOnesAnswerSucceeded)
{
    TsActor* actor = Create("skilled", kSkilledActorType);
    TsMotorSkills* table = actor->GetMotorSkills();
    ASSERT_NE(table, nullptr);
    const std::string id = std::to_string(TsNothingToDoMSState::kScriptId);
    ASSERT_EQ(Exec("NewAddSkill(skilled, " + id + ", None)"), "");
    EXPECT_NE(table->FindSkill(TsNothingToDoMSState::kName), nullptr);
    EXPECT_EQ(Exec("NewAddSkill(skilled, " + id + ", None)"),
              "TypeError: ERROR :Trying to register 2 times the same skill");
    ASSERT_EQ(Exec("r = LoopSkill(skilled, " + id + ")"), "");
    EXPECT_EQ(Eval("GetChangingSkillId(skilled)"), id);

    // An id no skill class has: 0, succeeded, no error; the countdown then clears 0x100.
    table->mFlags |= TsMotorSkills::kConstructed;
    table->mError = 5;
    const int32_t countdown = ScenaricGetUnknownSkillCountdown();
    ASSERT_GT(countdown, 0);
    for (int32_t i = 0; i < countdown; ++i)
        ASSERT_EQ(Eval("LoopSkill(skilled, 31337)"), "0");
    EXPECT_EQ(ScenaricGetUnknownSkillCountdown(), 0);
    EXPECT_NE(table->mFlags & TsMotorSkills::kConstructed, 0u);
    EXPECT_EQ(Eval("GetSkillStatus(skilled) & 0x82"), "2");
    EXPECT_EQ(Eval("GetSkillError(skilled)"), "0");
    ASSERT_EQ(Eval("LoopSkill(skilled, 31337)"), "0");
    EXPECT_EQ(table->mFlags & TsMotorSkills::kConstructed, 0u) << "the report found the countdown spent";

    Create("plain");
    EXPECT_EQ(Eval("NewAddSkill(plain, " + id + ", None)"), "None") << "no skill table: nothing done";
    EXPECT_EQ(Exec("LoopSkill(plain, 1)"), "TypeError: LoopSkill : the actor has no skill table");
}

TEST_F(ScenaricTest, TheSkillStatusIsTheTablesFlagsAndOneObjectPerFlagWordAcrossCalls)
{
    TsActor* actor = Create("skilled", kSkilledActorType);
    TsMotorSkills* table = actor->GetMotorSkills();
    ASSERT_NE(table, nullptr);
    // Words below, at and past the end of the kept range, and one with the top bit set.
    for (const uint32_t flags : {0x0u, 0x2u, 0x102u, 0x1FFu, 0x200u, 0x80000102u})
    {
        table->mFlags = flags;
        EXPECT_EQ(Eval("GetSkillStatus(skilled)"), std::to_string(flags));
        EXPECT_EQ(Eval("GetSkillStatus(skilled) & 2 == 2"), flags & 2 ? "True" : "False") << flags;
    }
    // A patrol asks on every tick: a word past the interpreter's small integers is handed out
    // again, not made again, and a kept object is never another word's.
    table->mFlags = 0x102;
    ASSERT_EQ(Exec("first = GetSkillStatus(skilled)"), "");
    EXPECT_EQ(Eval("GetSkillStatus(skilled) is first"), "True");
    table->mFlags = 0x103;
    EXPECT_EQ(Eval("(GetSkillStatus(skilled), first)"), "(259, 258)");
}
} // namespace
} // namespace scenarictest
