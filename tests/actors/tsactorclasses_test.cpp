// The actor classes over a running script world: types and factories, the animated actor's
// model, weapon, bones, events and target search, degrees of freedom and dummies.
#include "animmovectrl.h"
#include "frame.h"
#include "gameplayactortypes.h"
#include "script_fixture.h"
#include "scriptworld_fixture.h"
#include "tsactortyperegistry.h"
#include "tsanimactor.h"
#include "tsdof.h"
#include "tsdummyactor.h"
#include "tsmotorskill.h"
#include "tsmotorskills.h"
#include "virtualtargetactor.h"
#include "w3danimobject.h"
#include "w3dframe.h"
#include "wscene.h"
#include "wvectorutil.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{
using namespace scriptworldtest;

/// An animated model whose bones are plain frames under its own frame.
class BonedModel : public W3dAnimObject
{
public:
    ~BonedModel() override
    {
        DetachAllNodes();
        for (Frame* bone : mBones)
        {
            Frame::RemoveChild(bone);
            Frame::Destroy(bone);
        }
    }
    Frame* GetBoneFrame(int32_t boneId) override
    {
        if (boneId < 0 || boneId >= 30)
            return nullptr;
        while (int32_t(mBones.size()) <= boneId)
        {
            mBones.push_back(Frame::Create());
            Frame::AddChild(GetEngineFrame(), mBones.back());
        }
        return mBones[size_t(boneId)];
    }
    std::vector<Frame*> mBones;
};

class EventSkill : public TsMotorSkill
{
public:
    explicit EventSkill(const char* name) : TsMotorSkill(nullptr, name) {}
    int32_t AttachTo(TsActor* owner) override
    {
        mOwner = owner;
        return 1;
    }
    void Init() override {}
    void Enter() override {}
    void Exit() override {}
    int32_t Loop() override { return 0; }
    void OnEvent(int32_t id) override { mEvents.push_back(id); }
    std::vector<int32_t> mEvents;
};

class ActorClasses : public ScriptWorldTest
{
protected:
    void TearDown() override
    {
        for (TsActor* actor : mOwned)
            actor->Release();
        mOwned.clear();
        ScriptWorldTest::TearDown();
    }

    template <typename T> T* Own(T* actor)
    {
        actor->AddRef();
        mOwned.push_back(actor);
        return actor;
    }

    /// An animated actor with a boned model hung under the level's root.
    TsAnimActor* Animated()
    {
        auto* actor = Own(new TsAnimActor());
        auto* model = new BonedModel();
        actor->SetModel(model);
        return actor;
    }

    std::vector<TsActor*> mOwned;
};

TEST_F(ActorClasses, TypesFollowTheGameplayIds)
{
    TsActorTypeRegistry* registry = TsActorTypeRegistry::Instance();
    ASSERT_NE(registry, nullptr);
    // The gameplay layer's own types, registered in any order around these.
    struct Stand : TsActorFactory
    {
        TsActor* Create() override { return nullptr; }
    };
    const std::pair<const char*, int32_t> gameplay[] = {{"Hero", kActorTypeHero},
                                                        {"WeaponContact", kActorTypeWeaponContact},
                                                        {"WeaponShoot", kActorTypeWeaponShoot},
                                                        {"MobileDof", kActorTypeMobileDof}};
    for (const auto& [name, id] : gameplay)
        if (!registry->FindByName(name))
            EXPECT_EQ(registry->Register(new Stand(), name, id), 1) << name;
    TsRegisterActorTypes();
    ASSERT_EQ(registry->PublishToModule("actors_type"), 1);
    EXPECT_EQ(Eval("__import__('actors_type').Hero, __import__('actors_type').MobileDof"), "(1, 4)");
    EXPECT_EQ(Eval("tuple(getattr(__import__('actors_type'), n) for n in "
                   "('TsDummyActor', 'TsAnimActor', 'TsDof', 'TsGroupAnimActor'))"),
              "(5, 6, 7, 8)");

    const std::pair<int32_t, const HbClassDesc*> made[] = {{5, &TsDummyActor::sClassDesc},
                                                           {6, &TsAnimActor::sClassDesc},
                                                           {7, &TsDof::sClassDesc},
                                                           {8, &TsGroupAnimActor::sClassDesc}};
    for (const auto& [id, desc] : made)
    {
        TsActor* actor = registry->Create(id);
        ASSERT_NE(actor, nullptr) << id;
        EXPECT_EQ(actor->GetClassDesc(), desc) << id;
        EXPECT_EQ(actor->GetRefCount(), 1);
        actor->Release();
    }
}

TEST_F(ActorClasses, ModelControllerTargetAndEvents)
{
    auto* actor = Own(new TsAnimActor());
    EXPECT_EQ(actor->GetNode(), nullptr);
    EXPECT_EQ(actor->GetMoveController(), nullptr);
    EXPECT_EQ(actor->mLastHitEvent, -1);
    EXPECT_EQ(actor->mMovementFactor, 1.0f);

    auto* model = new BonedModel();
    actor->SetModel(model);
    ASSERT_EQ(actor->GetNode(), model);
    EXPECT_EQ(model->GetParent(), mScene->GetRoot());
    AnimMoveCtrl* controller = actor->GetMoveController();
    ASSERT_NE(controller, nullptr);
    EXPECT_EQ(controller->GetActor(), actor);
    TsActor* target = actor->GetTarget();
    ASSERT_NE(target, nullptr);
    EXPECT_NE(HbCastTo<VirtualTargetActor>(target), nullptr);
    EXPECT_EQ(actor->GetAnimMotor(), &model->GetMotor());

    // The same model again: nothing new.
    actor->SetModel(model);
    EXPECT_EQ(actor->GetMoveController(), controller);
    EXPECT_EQ(actor->GetTarget(), target);

    // Animation events of the model reach the current skill.
    auto* skill = new EventSkill("MS_PROBE");
    ASSERT_EQ(actor->GetMotorSkills()->AddSkill(skill), 1);
    actor->GetMotorSkills()->LoopSkill("MS_PROBE");
    model->DeliverEvent(17);
    model->DeliverEvent(3);
    EXPECT_EQ(skill->mEvents, (std::vector<int32_t>{17, 3}));

    // A node that is not an animated model leaves the actor without one.
    W3dFrame* frame = W3dFrame::Create();
    actor->SetModel(frame);
    EXPECT_EQ(actor->GetNode(), nullptr);
    EXPECT_EQ(actor->GetMoveController(), nullptr) << "the controller went with the model";
    frame->Release();
}

TEST_F(ActorClasses, WeaponsAndObjectsHangOnBones)
{
    TsAnimActor* actor = Animated();
    auto* model = static_cast<BonedModel*>(actor->GetModel());
    EXPECT_EQ(actor->SetWeapon(nullptr), 0) << "nothing held";

    auto* weapon = Own(new TsDummyActor());
    W3dNode* node = weapon->GetNode();
    node->SetFlags(node->GetFlags() & ~W3dNode::kVisible);
    const Vector away = {50, 60, 70};
    node->SetWorldPosition(&away);
    EXPECT_EQ(actor->SetWeapon(weapon), 1);
    EXPECT_EQ(model->GetAttachedNode(TsAnimActor::kWeaponBone), node);
    EXPECT_EQ(node->GetParent(), model);
    EXPECT_TRUE(node->GetFlags() & W3dNode::kVisible);
    EXPECT_EQ(Frame::GetWorldMatrix(node->GetEngineFrame())->pos.x, 0.0f) << "reset to the bone";
    EXPECT_EQ(actor->GetWeapon(), weapon);

    EXPECT_EQ(actor->SetWeapon(nullptr), 0);
    EXPECT_EQ(model->GetAttachedNode(TsAnimActor::kWeaponBone), nullptr);
    EXPECT_EQ(node->GetParent(), nullptr);
    EXPECT_EQ(actor->GetWeapon(), nullptr);

    EXPECT_EQ(actor->AttachToBone(weapon, 7), 1);
    EXPECT_EQ(model->GetAttachedNode(7), node);
    EXPECT_EQ(actor->AttachToBone(nullptr, 7), 1);
    EXPECT_EQ(model->GetAttachedNode(7), nullptr);
}

TEST_F(ActorClasses, FindNearestTarget)
{
    TsAnimActor* self = Animated();
    mWorld->AddActor(self);
    self->mHitPoints = 10;
    // The searcher stands at the origin looking along +z.
    struct Spot
    {
        const char* name;
        Vector at;
        int32_t hitPoints;
    };
    const Spot spots[] = {
        {"aside", {80, 0, 60}, 5}, {"ahead", {5, 0, 100}, 5}, {"behind", {0, 0, -50}, 5},
        {"far", {0, 0, 200}, 5},   {"dead", {0, 0, 60}, 0},   {"close", {40, 0, 20}, 5},
    };
    for (const Spot& spot : spots)
        Listed(spot.name, spot.at)->mHitPoints = spot.hitPoints;
    // Each search starts facing +z again: a found target turns the searcher toward it.
    auto find = [self](uint32_t mask, float cosine, int32_t mode, int32_t event)
    {
        Frame::SetIdentity(self->GetNode()->GetEngineFrame());
        TsActor* actor = self->FindNearestTarget(mask, 130, cosine, mode, 0, event, 0);
        return actor ? static_cast<FakeActor*>(actor)->mName : std::string("none");
    };
    EXPECT_EQ(find(HeroEnemyFamily, 0, 1, 0), "ahead");
    const Vector at = *self->GetNode()->GetWorldAt();
    EXPECT_NEAR(at.x, 0.05f, 0.001f) << "turned toward the target";
    EXPECT_EQ(find(HeroEnemyFamily, 0, 0, 0), "close");
    // A tighter cone leaves "close" out of the nearest search.
    EXPECT_EQ(find(HeroEnemyFamily, 0.95f, 0, 0), "ahead");
    EXPECT_EQ(find(HeroFriendFamily, 0, 1, 0), "none");
    // A first event id that nobody subscribed to finds nothing.
    EXPECT_EQ(find(HeroEnemyFamily, 0, 1, 12345), "none");
}

TEST_F(ActorClasses, LocalDirectionsFollowTheNode)
{
    auto* dummy = Own(new TsDummyActor());
    const Vector east = {1, 0, 0};
    FrameLookAlong(dummy->GetNode()->GetEngineFrame(), &east);
    const Matrix* m = Frame::GetWorldMatrix(dummy->GetNode()->GetEngineFrame());
    Vector local;
    dummy->GetLocalDirection(&east, &local);
    EXPECT_NEAR(local.z, 1.0f, 1e-5f) << "straight ahead";
    EXPECT_NEAR(local.x, 0.0f, 1e-5f);
    const Vector side = {m->right.x * 3, 0, m->right.z * 3};
    dummy->GetLocalDirection(&side, &local);
    EXPECT_EQ(local.x, 1.0f) << "clamped";
    EXPECT_NEAR(local.z, 0.0f, 1e-5f);
    auto* bare = Own(new TsGroupAnimActor());
    const Vector big = {-4, 2, 0.5f};
    bare->GetLocalDirection(&big, &local);
    EXPECT_EQ(local.x, -1.0f);
    EXPECT_EQ(local.z, 0.5f);
}

TEST_F(ActorClasses, DofGroupDummyAndFadeOut)
{
    auto* dof = Own(new TsDof());
    EXPECT_NE(dof->GetMotorSkills(), nullptr);
    EXPECT_EQ(dof->LoadModel(""), 1);
    ASSERT_NE(HbCastTo<W3dFrame>(dof->GetNode()), nullptr);
    EXPECT_EQ(dof->LoadModel("NO_SUCH_NODE_CLP"), 1) << "the model it has stays";

    auto* group = Own(new TsGroupAnimActor());
    EXPECT_EQ(group->GetNode(), nullptr);
    EXPECT_EQ(group->LoadModel("anything"), 1);
    EXPECT_NE(group->GetMotorSkills(), nullptr);

    // Without a mark system a dummy hangs under the level but is not placed.
    auto* dummy = Own(new TsDummyActor());
    EXPECT_EQ(dummy->PlaceAtMark("nowhere"), 0);
    EXPECT_EQ(dummy->GetNode()->GetParent(), mScene->GetRoot());

    TsAnimActor* actor = Animated();
    uint16_t id = 0;
    EXPECT_EQ(TsAnimActorFadeOutChannel(actor, &id, 100), 1);
    EXPECT_EQ(id, 0);
    id = 99;
    EXPECT_EQ(TsAnimActorFadeOutChannel(actor, &id, 100), 1);
    EXPECT_EQ(id, 0) << "an id that names no channel is cleared too";
}
} // namespace
