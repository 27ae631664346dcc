// The contact weapon: strike frames from the model, the hit event and the strike point.
#include "frame.h"
#include "hbclock.h"
#include "script_fixture.h"
#include "scripteventid.h"
#include "scriptworld_fixture.h"
#include "tsanimactor.h"
#include "tssendevent.h"
#include "tsweaponcontact.h"
#include "w3danimobject.h"
#include "w3dobject.h"

#include <gtest/gtest.h>

#include <cmath>

namespace scriptworldtest
{
namespace
{

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
    ::Frame* GetBoneFrame(int32_t boneId) override
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

class Knife : public TsWeaponContact
{
public:
    void OnStrike() override { ++mStrikes; }
    int32_t mStrikes = 0;
};

class ContactWeapon : public ScriptWorldTest
{
protected:
    void SetUp() override
    {
        ScriptWorldTest::SetUp();
        mKnife = new Knife();
        mKnife->AddRef();
        W3dObject* model = W3dObject::Create();
        model->SetClump(renderertest::MakeClump({nullptr}));
        mKnife->SetModel(model);
        mKnife->mContact.damage = 35;
    }
    void TearDown() override
    {
        while (mWorld->GetActors().GetHead())
            mWorld->RemoveActor(static_cast<TsActor*>(mWorld->GetActors().GetHead()->value));
        for (TsAnimActor* actor : mAnimated)
        {
            actor->SetWeapon(nullptr);
            actor->Release();
        }
        mKnife->Release();
        ScriptWorldTest::TearDown();
    }
    /// A listed animated actor with a boned model at the place, facing +z.
    TsAnimActor* Animated(Vector at, uint32_t family)
    {
        auto* actor = new TsAnimActor();
        actor->AddRef();
        actor->SetModel(new BonedModel());
        actor->mFamily = family;
        actor->SetMaxHitPoints(100);
        actor->SetPosition(&at);
        mWorld->AddActor(actor);
        mAnimated.push_back(actor);
        Frame::SyncDirtyList();
        return actor;
    }

    Knife* mKnife = nullptr;
    std::vector<TsAnimActor*> mAnimated;
};

TEST_F(ContactWeapon, AnExplicitActorGetsOneHitEventWithTheDamageAtAnyDistance)
{
    FakeActor* far = Listed("far", {0, 0, 5000});
    EXPECT_EQ(mKnife->Strike(far), 1);
    EXPECT_EQ(mKnife->Strike(far), 1);
    ASSERT_EQ(mWorld->GetQueuedCount(), 1) << "the same event to the same target waits once";
    const TsSendEvent* event = mWorld->GetQueuedEvent(0);
    EXPECT_EQ(event->id, kEventHit);
    EXPECT_EQ(event->sender, mKnife);
    EXPECT_EQ(event->target, far);
    EXPECT_EQ(event->value, 35.0f);
    EXPECT_EQ(mKnife->GetStruckActor(), far);
    EXPECT_EQ(mKnife->mStrikePointSet, 0) << "no torso bone and no holder: the event only";
    EXPECT_EQ(mKnife->mStrikes, 0);

    mKnife->ClearStrikeTarget();
    EXPECT_EQ(mKnife->GetStruckActor(), nullptr);
    EXPECT_EQ(mKnife->Strike(nullptr), 1) << "no holder to search from";
    EXPECT_EQ(mWorld->GetQueuedCount(), 1);
}

TEST_F(ContactWeapon, AVictimAtThirtyUnitsOrCloserGetsTheStrikePointThirtyFromItsTorso)
{
    TsAnimActor* holder = Animated({0, 0, 0}, HeroFamily);
    holder->mEnemyFamily = HeroEnemyFamily;
    ASSERT_EQ(holder->SetWeapon(mKnife), 1);
    ASSERT_EQ(mKnife->GetParentActor(), holder);
    TsAnimActor* victim = Animated({0, 0, 20}, HeroEnemyFamily);
    auto* model = static_cast<BonedModel*>(victim->GetModel());
    const Vector torso = {0, 100, 0};
    Frame::Translate(model->GetBoneFrame(TsWeaponContact::kTorsoBone), &torso, 0);
    Frame::SyncDirtyList();

    // Without an actor given, the holder's search finds the enemy in reach in front of it.
    EXPECT_EQ(mKnife->Strike(nullptr), 1);
    ASSERT_EQ(mKnife->GetStruckActor(), victim);
    ASSERT_EQ(mKnife->mStrikePointSet, 1);
    EXPECT_EQ(mKnife->mStrikes, 1);
    const Vector bone = Frame::GetWorldMatrix(model->GetBoneFrame(TsWeaponContact::kTorsoBone))->pos;
    const Vector& p = mKnife->mStrikePoint;
    const float dx = p.x - bone.x, dy = p.y - bone.y, dz = p.z - bone.z;
    EXPECT_NEAR(std::sqrt(dx * dx + dy * dy + dz * dz), 30.0f, 1e-3f);
    EXPECT_LT(dz, 0.0f) << "toward the holder";
    EXPECT_LT(dy, 0.0f) << "down toward the weapon";

    // An enemy out of reach is not found.
    const Vector away = {0, 0, 500};
    victim->SetPosition(&away);
    Frame::SyncDirtyList();
    mKnife->Strike(nullptr);
    EXPECT_EQ(mKnife->GetStruckActor(), nullptr);
    EXPECT_EQ(mKnife->mStrikes, 1);
}

TEST_F(ContactWeapon, TheStrikeFrameFallsBackToTheFrameAbove)
{
    mKnife->FindFrames();
    ::Frame* modelFrame = mKnife->GetNode()->GetEngineFrame();
    ASSERT_NE(modelFrame->child, nullptr);
    EXPECT_EQ(mKnife->GetModelFrame(), modelFrame);
    EXPECT_EQ(mKnife->GetStrikeFrame(), modelFrame->child) << "one level of children";

    ::Frame* grandchild = Frame::Create();
    Frame::AddChild(modelFrame->child, grandchild);
    mKnife->FindFrames();
    EXPECT_EQ(mKnife->GetStrikeFrame(), grandchild);

    // A model without children strikes from its own frame.
    W3dObject* bare = W3dObject::Create();
    bare->SetClump(renderertest::MakeClump({}));
    mKnife->SetModel(bare);
    mKnife->FindFrames();
    ASSERT_NE(mKnife->GetNode(), nullptr);
    EXPECT_EQ(mKnife->GetStrikeFrame(), bare->GetEngineFrame());

    // A missing model resource leaves the weapon without a model.
    EXPECT_EQ(mKnife->LoadModel("NO_SUCH_MODEL_WO"), 0);
    EXPECT_EQ(mKnife->GetNode(), nullptr);
    EXPECT_EQ(mKnife->GetStrikeFrame(), nullptr);
}

} // namespace
} // namespace scriptworldtest
