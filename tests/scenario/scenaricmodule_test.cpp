// The module "scenaric" from level-script code: its table, the bound-actor rule, placing and
// measuring actors, the look-at point, and subscriptions and events.
#include "scenaricmodule.h"
#include "scenaricmodule_fixture.h"
#include "script_fixture.h"
#include "tsastarpathfinder.h"
#include "tsevent.h"
#include "tssendevent.h"
#include "navgraphwriter.h"
#include "hbresource.h"
#include "w3dframe.h"
#include "wscene.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace scenarictest
{
namespace
{
Vector Position(TsActor* actor)
{
    return *actor->GetNode()->GetWorldPosition();
}

TEST_F(ScenaricTest, TheModuleOffersItsFunctionsAndTheWeaponFunctions)
{
    for (const char* name : {"GetPosition", "SetAtEuler", "GetALookAtPoint", "CreateActor", "LoadMoveCollisionSet",
                             "AddEventActor", "SetMaxHitPoints", "SetWeaponAnimations", "SetWeaponData",
                             "SetWeaponShootData", "SetWeaponContactData", "SetAmmoData", "SetAmmoNumber", "AddAmmo"})
        EXPECT_EQ(Eval(std::string("callable(scenaric.") + name + ")"), "True") << name;
    // The two functions without arguments take none.
    EXPECT_EQ(Eval("GetHeroPyActor()"), "None");
    EXPECT_EQ(Eval("failure(lambda: GetHeroPyActor(1))"),
              "'TypeError: scenaric.GetHeroPyActor() takes no arguments (1 given)'");
}

TEST_F(ScenaricTest, EveryFunctionRefusesAnObjectWithoutALiveActorAndTheGameGoesOn)
{
    Create("gone");
    ASSERT_EQ(Exec("DeleteActor(gone)\nloose = Thing()\nv = vertex(0, 0, 0)"), "");
    // Each call names its first object: never given to CreateActor, or deleted.
    const char* calls[] = {
        "GetPosition(o)", "GetLookAt(o)", "SetPosition(o, v)", "SetOrientation(o, v)", "SetAtEuler(o, v)",
        "GetActorBonePosition(o, 'b')", "GetDistanceBetweenActors(o, o)", "GetDistanceToHero(o)",
        "GetHorizontalDistanceBetweenActors(o, o)", "GetHorizontalDistanceBetweenActorAndVertex(o, v)",
        "GetHorizontalDistanceBetweenActorAndMark(o, 'm')", "GetAngleBetweenActors(o, o)",
        "GetHorizontalAngleBetweenActors(o, o)", "GetHorizontalAngleBetweenActorAndVertex(o, v)",
        "GetHorizontalAngleBetweenActorAndMark(o, 'm')", "GetALookAtPoint(o, v)", "GetGroundCollisionInfos(v, 10, o)",
        "IsActorInCameraFov(o)", "DeleteActor(o)", "AddActorToGreen(o)", "IsActorMustBeUpdated(o)", "SetModel(o, 'M')",
        "SetModelAndParameters(o, 'M', 'p')", "SetActorVisible(o, 1)", "SetActorCollideable(o, 1)",
        "SetActorToActorCollDistance(o, 1.0)", "SetOverWrittingBBoxRadius(o, 1.0)", "StopOverWrittingBBox(o)",
        "LoadMoveCollisionSet(o, [])", "LoadShootCollisionSet(o, [])", "SetActorFrames(o, 'a', 'b', 'c')",
        "ActorPlayAnim(o, 'A')", "IsHeadShoot(o, 1)", "SetObjectInHand(o, None)", "SetFamily(o, 1)",
        "SetEnemyFamily(o, 1)", "IsInFamily(o, 1)", "GetHitPoints(o)", "SetHitPoints(o, 1)", "GetMaxHitPoints(o)",
        "SetMaxHitPoints(o, 1, 2)", "AddEventActor(o, 1, 0, note, 1.0)", "RemoveEventActor(o, 1)",
        "SendEvent(o, o, 1, 1)", "NewAddSkill(o, 1, None)", "LoopSkill(o, 1)", "GetSkillStatus(o)",
        "GetSkillError(o)", "GetChangingSkillId(o)",
    };
    for (const char* object : {"loose", "gone"})
        for (const char* call : calls)
        {
            const std::string text = Eval("failure(lambda o=" + std::string(object) + ": " + call + ")");
            EXPECT_NE(text.find("TypeError: "), std::string::npos) << call << " on " << object << ": " << text;
            EXPECT_NE(text.find("is not bound to a live actor"), std::string::npos) << call << ": " << text;
        }
    EXPECT_EQ(Eval("failure(lambda: SetObjectInHand(Thing(), None))"),
              "'TypeError: SetObjectInHand : the object is not bound to a live actor'")
        << "the text names the function called";
    Frame(0.1f);
    EXPECT_EQ(Exec("x = GetDistanceBetweenVertex(vertex(0, 0, 0), vertex(3, 4, 0))"), "");
    EXPECT_EQ(Eval("x"), "5.0");
}

TEST_F(ScenaricTest, SetPositionTakesAVertexOrAnActorAndPlacesTheNodeInTheLevel)
{
    TsActor* mover = Create("mover");
    TsActor* other = Create("other");
    ASSERT_TRUE(mover && other);
    EXPECT_EQ(mover->GetNode()->GetScene(), nullptr);
    ASSERT_EQ(Exec("SetPosition(mover, vertex(10, 20, 30))"), "");
    EXPECT_EQ(mover->GetNode()->GetParent(), mScene->GetRoot()) << "a node in no scene goes under the level's root";
    EXPECT_EQ(Position(mover).x, 10.0f);
    EXPECT_EQ(Position(mover).z, 30.0f);
    ASSERT_EQ(Exec("SetPosition(other, vertex(-5, 0, 7))\nSetPosition(mover, other)"), "");
    EXPECT_EQ(Position(mover).x, -5.0f);
    EXPECT_EQ(Position(mover).z, 7.0f);
    EXPECT_EQ(Eval("xyz(GetPosition(mover))"), "(-5.0, 0.0, 7.0)");
    EXPECT_EQ(Exec("SetPosition(mover, 3)"), "TypeError: Unknow type");
    EXPECT_EQ(Exec("GetPosition(None)"), "TypeError: Actor is PyNone");
    EXPECT_EQ(Exec("GetHitPoints(None)"), "TypeError: Actor is None");
}

TEST_F(ScenaricTest, FacingsFromVerticesAndOtherActors)
{
    Create("a");
    Create("b");
    ASSERT_EQ(Exec("SetPosition(a, vertex(0, 0, 0))\nSetPosition(b, vertex(100, 0, 0))\n"
                   "SetAtEuler(b, vertex(0, 0, -2))"),
              "");
    EXPECT_EQ(Eval("xyz(GetLookAt(b))"), "(0.0, 0.0, -1.0)") << "the direction is normalised";
    ASSERT_EQ(Exec("before = GetLookAt(b)\nSetAtEuler(b, vertex(0.0005, 0, -0.0002))"), "");
    EXPECT_EQ(Eval("GetLookAt(b) == before"), "True") << "a vector of no length turns nothing";
    // a copies b's facing, not the direction towards b.
    ASSERT_EQ(Exec("SetOrientation(a, b)"), "");
    EXPECT_EQ(Eval("xyz(GetLookAt(a))"), "(0.0, 0.0, -1.0)");
    EXPECT_EQ(Exec("SetOrientation(a, 'x')"), "TypeError: Unknow type");
    EXPECT_EQ(Exec("SetAtEuler(a, b)"), "TypeError: Unknow type");
}

TEST_F(ScenaricTest, DistancesAndAnglesBetweenActorsVerticesAndMarks)
{
    Create("a");
    Create("b");
    ASSERT_EQ(Exec("SetPosition(a, vertex(10, 0, 10))\nSetPosition(b, vertex(10, 50, 10))\n"
                   "SetAtEuler(a, vertex(0, 0, 1))"),
              "");
    EXPECT_EQ(Eval("GetHorizontalDistanceBetweenActors(a, b)"), "0.0");
    EXPECT_EQ(Eval("GetDistanceBetweenActors(a, b)"), "50.0");
    EXPECT_EQ(Eval("GetHorizontalDistanceBetweenActorAndVertex(a, vertex(13, 99, 14))"), "5.0");
    EXPECT_EQ(Eval("round(GetHorizontalAngleBetweenActorAndVertex(a, vertex(10, 0, 20)), 3) + 0.0"), "0.0");
    EXPECT_EQ(Eval("round(abs(GetHorizontalAngleBetweenActorAndVertex(a, vertex(20, 0, 10))), 3)"), "90.0");
    EXPECT_EQ(Eval("round(abs(GetHorizontalAngleBetweenVectors(vertex(1, 0, 0), vertex(0, 5, -1))), 3)"), "90.0");
    struct Failure
    {
        const char* call;
        const char* text;
    };
    for (const Failure& f : {
             Failure{"GetDistanceBetweenVertex(1, vertex(0, 0, 0))", "TypeError: Unknow type object 1"},
             Failure{"GetDistanceBetweenVertex(vertex(0, 0, 0), a)", "TypeError: Unknow type object 2"},
             Failure{"GetHorizontalDistanceBetweenActorAndVertex(a, b)", "TypeError: A vertex must be passed"},
             Failure{"GetHorizontalAngleBetweenActorAndMark(a, 3)", "TypeError: A mark must be passed"},
             Failure{"GetHorizontalDistanceBetweenActorAndMark(a, 'M1')", "TypeError: The mark M1 can not be found!"},
             Failure{"GetHorizontalAngleBetweenVectors(vertex(0, 0, 0), 2)", "TypeError: 2 vertor must be passed"},
             Failure{"GetALookAtPoint(a, 5)", "TypeError: GetALookAtPoint : A vertex is invalid"},
             Failure{"GetGroundCollisionInfos(a, 5, None)",
                     "TypeError: GetGroundCollisionInfos : Object is not a vertex"},
             Failure{"GetAimPosition(2)", "TypeError: GetAimPosition : Object is not a vertex"},
         })
        EXPECT_EQ(Exec(f.call), f.text) << f.call;
}

TEST_F(ScenaricTest, GroundAndAimProbesMeetTheFloor)
{
    // The fixture's floor lies at y = -100.
    ASSERT_EQ(Exec("hit = GetGroundCollisionInfos(vertex(-300, 0, 0), 200, None)"), "");
    EXPECT_EQ(Eval("round(hit[0].y, 2)"), "-100.0");
    EXPECT_EQ(Eval("hit[1].y > 0.9"), "True") << "the floor's normal";
    EXPECT_EQ(Eval("GetGroundCollisionInfos(vertex(-300, 500, 0), 200, None)"), "None");
    EXPECT_EQ(Eval("round(GetAimPosition(vertex(-300, -50, 0)).y, 2)"), "30.0");
    EXPECT_EQ(Exec("far = vertex(-300, 900, 0)"), "");
    EXPECT_EQ(Eval("GetAimPosition(far) is far"), "True") << "no ground: the very argument";
}

TEST_F(ScenaricTest, ALookAtPointIsTheTargetWhenClearElseAPointOfThePath)
{
    Create("walker");
    ASSERT_EQ(Exec("SetPosition(walker, vertex(-100, 0, 0))\n"
                   "clear = vertex(-100, 0, 300)\nbehind = vertex(100, 0, 0)"),
              "");
    EXPECT_EQ(Eval("GetALookAtPoint(walker, clear) is clear"), "True");
    EXPECT_EQ(Eval("GetALookAtPoint(walker, behind) is behind"), "True") << "blocked by the wall, no graph";

    // Two cells meeting at the wall: a path of fewer than 4 points gives its second point.
    const std::string path = (std::filesystem::temp_directory_path() / "scenaric_test_nav.as").string();
    const std::vector<uint8_t> bytes =
        NavGraphWriter::Bytes(NavGraphWriter::FromRectangles({{-200, 50, 0, -50}, {0, 50, 200, -50}}));
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    HbResourceManager::Instance()->AddPath("SCENARIC_NAV_AS", path.c_str());
    ASSERT_EQ(mWorld->LoadAStar("SCENARIC_NAV_AS"), 1);
    ASSERT_EQ(Exec("SetPosition(walker, vertex(-100, 25, 0))\np = GetALookAtPoint(walker, behind)"), "");
    auto* graph = HbCastTo<TsAStarPathfinder>(mWorld->GetAStar());
    ASSERT_NE(graph, nullptr);
    ASSERT_GE(graph->GetPath().size(), 2u);
    ASSERT_LT(graph->GetPath().size(), 4u);
    const Vector second = graph->GetPath()[1];
    EXPECT_EQ(Eval("p is behind"), "False");
    EXPECT_EQ(Eval("abs(p.x - (" + std::to_string(second.x) + ")) < 0.01 and p.y == 25.0 and abs(p.z - (" +
                   std::to_string(second.z) + ")) < 0.01"),
              "True")
        << "the path's second point at the walker's height";
}

TEST_F(ScenaricTest, SubscriptionsStoreTimersDistancesAndReplaceTheirCallable)
{
    TsActor* owner = Create("owner");
    Create("target");
    ASSERT_EQ(Exec("def first(*a): pass\ndef second(*a): pass\n"
                   "AddEventActor(owner, 256, 4, first, 2.5)\n"
                   "AddEventActor(owner, 1, 4, first, 10.0, target)\n"
                   "AddEventActor(owner, 2, 4, first, 0.0)"),
              "");
    TsEvent* timer = owner->FindEvent(256);
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(timer->period, 2.5f) << "a timer's value stays seconds";
    EXPECT_EQ(timer->value, 2.5f) << "and is its countdown";
    TsEvent* near = owner->FindEvent(1);
    ASSERT_NE(near, nullptr);
    EXPECT_EQ(near->value, 100.0f) << "a distance is kept squared";
    EXPECT_EQ(near->familyMask, 4u);
    EXPECT_EQ(near->target, Bound("target"));
    const float radius = owner->GetNode()->GetBoundingSphere()->radius;
    EXPECT_EQ(owner->FindEvent(2)->value, radius * radius) << "0 is the node's bounding radius";

    ASSERT_EQ(Exec("AddEventActor(owner, 1, 4, second, 20.0)"), "");
    EXPECT_EQ(owner->FindEvent(1), near) << "the same id replaces the callable of the one subscription";
    EXPECT_EQ(near->callable, PyDict_GetItemString(scripttest::MainDict(), "second"));
    EXPECT_EQ(near->target, Bound("target")) << "the subscription keeps its target";

    // A subscription the actor refuses keeps no reference on what it was given.
    ASSERT_EQ(Exec("import sys\nbefore = sys.getrefcount(target)"), "");
    EXPECT_EQ(Exec("AddEventActor(owner, 7, 4, 5, 1.0, target)"), "TypeError: Event hasn't been Added to Actor");
    EXPECT_EQ(Eval("sys.getrefcount(target) - before"), "0");
    EXPECT_EQ(owner->FindEvent(7), nullptr);

    ASSERT_EQ(Exec("RemoveEventActor(owner, 1)"), "");
    EXPECT_EQ(owner->FindEvent(1), nullptr);
    EXPECT_EQ(Exec("RemoveEventActor(owner, 1)"), "") << "nothing to remove";
}

TEST_F(ScenaricTest, AnEventSentTwiceBeforeAFlushIsQueuedOnce)
{
    Create("sender");
    Create("receiver");
    ASSERT_EQ(Exec("SendEvent(sender, receiver, 30, 4)\nSendEvent(sender, receiver, 30, 9)"), "");
    ASSERT_EQ(mWorld->GetQueuedCount(), 1);
    EXPECT_EQ(mWorld->GetQueuedEvent(0)->value, 4.0f);
    EXPECT_EQ(mWorld->GetQueuedEvent(0)->target, Bound("receiver"));
    ASSERT_EQ(Exec("SendEvent(receiver, sender, 30, 1)"), "");
    EXPECT_EQ(mWorld->GetQueuedCount(), 2);
}

TEST_F(ScenaricTest, DeletedActorsLeaveTheirObjectsUnbound)
{
    TsActor* actor = Create("brief");
    ASSERT_NE(actor, nullptr);
    EXPECT_EQ(mWorld->GetActors().GetCount(), 1);
    ASSERT_EQ(Exec("DeleteActor(brief)"), "");
    EXPECT_EQ(mWorld->GetActors().GetCount(), 0);
    EXPECT_EQ(Bound("brief"), nullptr) << "the actor died with its listing";
    Frame(0.1f);
    EXPECT_EQ(Exec("CreateActor(Thing(), 31999)"), "TypeError: Actor creation failed");
}
} // namespace
} // namespace scenarictest
