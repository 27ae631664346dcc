// The effect services: the shared context and its one-shot plays, the script module "fx"
// (its functions, constants and argument errors, plays at a point and on an actor's node).
#include "fx_fixture.h"
#include "scriptworld_fixture.h"

#include "fxcontext.h"
#include "frame.h"
#include "script_fixture.h"
#include "fxphysics.h"
#include "fxservices.h"
#include "kemitter.h"
#include "kfxmanagerimp.h"
#include "kparticle.h"
#include "w3dframe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace scriptworldtest
{
namespace
{
using fxtest::ParseBody;

class FxModule : public ScriptWorldTest
{
protected:
    void SetUp() override
    {
        ScriptWorldTest::SetUp();
        KfxSetSharedSeed(1);
        KfxManagerImp& manager = KfxManagerImp::Instance();
        manager.SetDefinitionCount(kFxEffectCount);
        for (int32_t id : {44, 45})
        {
            manager.LoadDefinition(id, FxEffectScriptName(id));
            auto parsed = ParseBody(id == 44 ? "Priority 1" : "Priority 2");
            ASSERT_EQ(parsed.result, 1) << parsed.report;
            auto* c = new KEmitterClass();
            ASSERT_TRUE(c->Build(*parsed.def));
            manager.GetDefinition(id)->AddClass(c);
        }
        manager.AssignRenderLists();
        FxServicesInstall();
        PyObject* module = PyModule_New("fx");
        FxModuleFill(module, 0);
        PyDict_SetItemString(PyImport_GetModuleDict(), "fx", module);
        PyDict_SetItemString(scripttest::MainDict(), "fx", module);
        Py_DECREF(module);
        FxContextGet()->Reset();
    }
    void TearDown() override
    {
        FxServicesShutdown();
        FxContextGet()->Reset();
        PyDict_DelItemString(PyImport_GetModuleDict(), "fx");
        ScriptWorldTest::TearDown();
    }

    static KfxManagerImp& Manager() { return KfxManagerImp::Instance(); }
    /// Instances linked in the list of group 2, priority p.
    static int32_t Linked(int32_t p) { return Manager().GetList(10 + p)->Count(); }
    /// The actor's script object in __main__ under its name.
    FakeActor* Scripted(const char* name, Placement placement = kInScene)
    {
        FakeActor* actor = Listed(name, {5, 6, 7}, HeroEnemyFamily, placement);
        PyDict_SetItemString(scripttest::MainDict(), name, actor->GetScriptObject());
        return actor;
    }
};

TEST_F(FxModule, ConstantsAndFunctions)
{
    EXPECT_EQ(Eval("(fx.id_explosion_1, fx.id_signaletic_15, fx.id_impact_1, fx.id_impact_6, fx.id_foot_3, "
                   "fx.id_impact_7, fx.id_explosion_6)"),
              "(0, 33, 44, 54, 57, 58, 59)");
    EXPECT_EQ(Eval("len([n for n in dir(fx) if n.startswith('id_')])"), "60");
    EXPECT_EQ(Eval("sorted(n for n in dir(fx) if not n.startswith(('id_', '__')))"),
              "['ContextReset', 'Play', 'SetAngle', 'SetNode', 'SetOrientation', 'SetPosition']");
}

TEST_F(FxModule, PlayAtAPointLinksAOneShotThere)
{
    ASSERT_EQ(Exec("fx.ContextReset(1, 2)\nfx.SetOrientation(vertex(0, 1, 0))\nfx.SetAngle(90.0)\n"
                   "fx.SetPosition(vertex(1, 2, 3))\nfx.Play(fx.id_impact_1)"),
              "");
    ASSERT_EQ(Linked(1), 1);
    auto* e = static_cast<KEmitterStd*>(KEmitter::FromNode(Manager().GetList(11)->head.next));
    ASSERT_NE(e, nullptr);
    const Vector at = e->mAtomic->object.frame->modelling.pos;
    EXPECT_FLOAT_EQ(at.x, 1.0f);
    EXPECT_FLOAT_EQ(at.y, 2.0f);
    EXPECT_FLOAT_EQ(at.z, 3.0f);
    const FxContext* shared = FxContextGet();
    EXPECT_FLOAT_EQ(shared->angle, 90.0f);
    EXPECT_FLOAT_EQ(shared->direction[1], 1.0f) << "Play does not reset the context";
    EXPECT_FLOAT_EQ(shared->scale, 1.0f);
}

TEST_F(FxModule, WrongArgumentsRaiseAndLeaveTheContext)
{
    FakeActor* bare = Scripted("bare", kNoNode);
    (void)bare;
    ASSERT_EQ(Exec("fx.SetPosition(vertex(1, 2, 3))"), "");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"fx.SetPosition((4, 5, 6))", "FxServicesContextSetPosition : Object is not a vertex"},
        {"fx.SetOrientation(1.0)", "FxServicesContextSetOrientation : Object is not a vertex (vector)"},
        {"fx.SetAngle(3)", "FxServicesContextSetAngle : Object is not a Float"},
        {"fx.SetNode('nobody')", "FxServicesContextSetNode : Object is not an actor"},
        {"fx.SetNode(bare)", "FxServicesContextSetNode : Actor has no node"},
        {"fx.Play(61)", "FxServicesPlay : effect id 61 out of range"},
        {"fx.Play(-1)", "FxServicesPlay : effect id -1 out of range"},
    };
    for (const auto& [code, text] : cases)
    {
        std::string error = Exec(code);
        EXPECT_NE(error.find(text), std::string::npos) << code << ": " << error;
    }
    EXPECT_NE(Exec("fx.Play('x')"), "") << "the parse error of the interpreter";
    EXPECT_EQ(Exec("fx.Play(60)"), "") << "no effect";
    const FxContext* shared = FxContextGet();
    EXPECT_FLOAT_EQ(shared->position[0], 1.0f);
    EXPECT_FLOAT_EQ(shared->direction[2], 1.0f);
    EXPECT_EQ(shared->node, nullptr);
    EXPECT_EQ(Linked(1) + Linked(2), 0);
}

TEST_F(FxModule, PlaysOnANodeShareItsEffectObject)
{
    FakeActor* crate = Scripted("crate");
    ASSERT_EQ(Exec("fx.SetNode(crate)"), "");
    EXPECT_EQ(FxContextGet()->node, crate->GetNode());
    EXPECT_EQ(FxContextGet()->frame, crate->GetNode()->GetEngineFrame());
    ASSERT_EQ(Exec("fx.Play(fx.id_impact_1)\nfx.Play(fx.id_impact_2)"), "");
    HbPtrArray& attachments = crate->GetNode()->GetAttachments();
    ASSERT_EQ(attachments.GetCount(), 1);
    KFX* effect = HbCastTo<KFX>(static_cast<HbRoot*>(attachments[0]));
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(FxContextGet()->effect, effect);
    EXPECT_EQ(effect->GetEmitterCount(), 2);
    EXPECT_EQ(Linked(1), 1);
    EXPECT_EQ(Linked(2), 1);
    EXPECT_EQ(effect->IsFinished(), 0) << "started";
    // A play of a missing definition on the node binds nothing more.
    ASSERT_EQ(Exec("fx.Play(fx.id_smoke_1)"), "");
    EXPECT_EQ(effect->GetEmitterCount(), 2);
}

TEST_F(FxModule, APlayAfterTheBoundNodesActorIsDestroyedPlaysAtThePointInstead)
{
    FakeActor* crate = Scripted("crate");
    ASSERT_EQ(Exec("fx.SetPosition(vertex(1, 2, 3))\nfx.SetNode(crate)\nfx.Play(fx.id_impact_1)"), "");
    ASSERT_EQ(Linked(1), 1);
    // The actor goes, and with it its node and the node's effect object.
    mWorld->RemoveActor(crate);
    mActors.erase(std::find(mActors.begin(), mActors.end(), crate));
    PyDict_DelItemString(scripttest::MainDict(), "crate");
    crate->Release();
    const FxContext* shared = FxContextGet();
    EXPECT_TRUE(shared->node == nullptr);
    EXPECT_TRUE(shared->frame == nullptr);
    EXPECT_TRUE(shared->effect == nullptr);
    ASSERT_EQ(Exec("fx.Play(fx.id_impact_2)"), "");
    ASSERT_EQ(Linked(2), 1) << "a one-shot";
    auto* e = static_cast<KEmitterStd*>(KEmitter::FromNode(Manager().GetList(12)->head.next));
    EXPECT_FLOAT_EQ(e->mAtomic->object.frame->modelling.pos.z, 3.0f);
}

TEST_F(FxModule, ContextEntryPoints)
{
    FakeActor* crate = Scripted("crate");
    ASSERT_EQ(Exec("fx.SetNode(crate)"), "");
    const float at[3] = {7, 8, 9};
    const float up[3] = {0, 1, 0};
    EXPECT_EQ(PlayFxAt(44, at, up), 1);
    const FxContext* shared = FxContextGet();
    EXPECT_EQ(shared->node, nullptr) << "a stale node is cleared";
    EXPECT_EQ(shared->frame, nullptr);
    EXPECT_FLOAT_EQ(shared->position[2], 9.0f);
    EXPECT_FLOAT_EQ(shared->direction[1], 1.0f);
    EXPECT_EQ(Linked(1), 1);
    EXPECT_EQ(crate->GetNode()->GetAttachments().GetCount(), 0);

    FxContext own;
    own.position[0] = 3;
    EXPECT_EQ(FxPlayOneShot(45, &own), 1);
    EXPECT_EQ(Linked(2), 1);
    for (int32_t id : {60, -1, 61})
        EXPECT_EQ(FxPlayOneShot(id, nullptr), 0) << id;

    KFX* effect = new KFX();
    FxContextGet()->effect = effect;
    EXPECT_EQ(FxBindDefinition(44, nullptr), 1);
    EXPECT_EQ(FxBindDefinition(46, nullptr), 0) << "an empty slot";
    EXPECT_EQ(effect->GetEmitterCount(), 1);
    delete effect;
    FxContextGet()->effect = nullptr;

    for (int i = 0; i < 100; ++i)
    {
        const float r = RandomFloatInRange(-2.0f, 3.0f);
        EXPECT_GE(r, -2.0f);
        EXPECT_LT(r, 3.0f);
    }
}
} // namespace
} // namespace scriptworldtest

namespace scriptworldtest
{
namespace
{
TEST_F(FxModule, PhysicAnswersForActorsWithNodesOnly)
{
    FakeActor* crate = Scripted("crate");
    FakeActor* bare = Scripted("bare", kNoNode);
    (void)crate, (void)bare;
    PyObject* module = PyModule_New("physic");
    PhysicsModuleFill(module, 0);
    PyDict_SetItemString(scripttest::MainDict(), "physic", module);
    Py_DECREF(module);
    EXPECT_EQ(Eval("(physic.Register(crate), physic.UnRegister(crate), physic.SetDirty(crate))"), "(1, 1, 1)");
    EXPECT_EQ(Eval("(physic.Register(bare), physic.Register('crate'), physic.UnRegister(5), physic.SetDirty(None))"),
              "(0, 0, 0, 0)");
    EXPECT_NE(Exec("physic.Register()"), "") << "the parse error";
    PhysicsFreeAll();
    PyDict_DelItemString(scripttest::MainDict(), "physic");
}
} // namespace
} // namespace scriptworldtest
