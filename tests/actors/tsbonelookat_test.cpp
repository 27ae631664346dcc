// Tests of the bone look-at controller: the bend toward a target above is held to 40 degrees
// and negative, a level target takes it back to 0, the camera's view moves the target point,
// and a frozen controller leaves the bone and its pitch alone.
#include "frame.h"
#include "hbclock.h"
#include "scene_fixture.h"
#include "scriptworld_fixture.h"
#include "stdkey.h"
#include "tsanimactor.h"
#include "tsbonelookat.h"
#include "tscamera.h"
#include "tscameraregistry.h"
#include "tsweaponcontact.h"
#include "tsweaponshoot.h"
#include "w3danimobject.h"
#include "w3dobject.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace
{
using namespace scriptworldtest;

constexpr int32_t kSpineBone = 5;

/// An animated model whose bones are plain frames under its own frame, one unit apart in y.
class BonedModel : public W3dAnimObject
{
public:
    ~BonedModel() override
    {
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
            Vector up = {0, float(mBones.size() - 1), 0};
            Frame::Translate(mBones.back(), &up, 0);
            Frame::AddChild(GetEngineFrame(), mBones.back());
        }
        return mBones[size_t(boneId)];
    }
    std::vector<Frame*> mBones;
};

class BoneLookAt : public ScriptWorldTest
{
protected:
    void SetUp() override
    {
        ScriptWorldTest::SetUp();
        mActor = new TsAnimActor();
        mActor->AddRef();
        mActor->SetModel(new BonedModel());
        HbGameClock::Instance()->mStepSeconds = 1.0f / 60.0f;
        mLookAt.Init(mActor, 0);
        mLookAt.Start(kSpineBone);
        ASSERT_NE(mLookAt.GetBoneFrame(), nullptr);
    }
    void TearDown() override
    {
        mLookAt.Stop();
        TsCameraRegistry::Clear();
        mActor->Release();
        ScriptWorldTest::TearDown();
    }

    /// One motor frame: the callback on a fresh identity keyframe, which it returns.
    StdInterpFrame Bend()
    {
        StdInterpFrame frame{};
        frame.q = {0, 0, 0, 1};
        TsBoneLookAt::BoneCallback(&frame, &mLookAt);
        return frame;
    }

    /// The bone's world position plus the offset.
    Vector FromBone(float x, float y, float z)
    {
        const Vector& bone = Frame::GetWorldMatrix(mLookAt.GetBoneFrame())->pos;
        return {bone.x + x, bone.y + y, bone.z + z};
    }

    TsAnimActor* mActor = nullptr;
    TsBoneLookAt mLookAt;
};

TEST_F(BoneLookAt, ATargetFortyFiveDegreesAboveBendsAtMostFortyUpwardAndALevelOneTakesItBack)
{
    mLookAt.SetTargetPoint(FromBone(0, 100, 100));
    float previous = 0.0f;
    StdInterpFrame frame{};
    for (int i = 0; i < 300; ++i)
    {
        frame = Bend();
        ASSERT_LE(mLookAt.GetPitch(), previous + 1e-6f) << "moves one way only";
        ASSERT_GE(mLookAt.GetPitch(), -40.0f - 1e-4f) << "never past the limit";
        previous = mLookAt.GetPitch();
    }
    EXPECT_NEAR(mLookAt.GetPitch(), -40.0f, 1e-3f);
    // The bone turns about the actor's right axis (x here) by the pitch.
    const float half = -20.0f * float(M_PI) / 180.0f;
    EXPECT_NEAR(frame.q.x, std::sin(half), 1e-4f);
    EXPECT_NEAR(frame.q.y, 0.0f, 1e-5f);
    EXPECT_NEAR(frame.q.z, 0.0f, 1e-5f);
    EXPECT_NEAR(frame.q.w, std::cos(half), 1e-4f);

    // A smaller bend is reached from below without overshooting it.
    mLookAt.SetTargetPoint(FromBone(0, -100, 100 * std::sqrt(3.0f))); // 30 degrees below
    for (int i = 0; i < 300; ++i)
    {
        Bend();
        ASSERT_LE(mLookAt.GetPitch(), 30.0f + 1e-4f);
    }
    EXPECT_NEAR(mLookAt.GetPitch(), 30.0f, 1e-3f);

    mLookAt.SetTargetPoint(FromBone(0, 0, 250));
    frame = Bend();
    EXPECT_EQ(mLookAt.GetPitch(), 0.0f);
    EXPECT_NEAR(frame.q.w, 1.0f, 1e-6f);
}

TEST_F(BoneLookAt, AFrozenControllerLeavesTheBoneAndItsPitch)
{
    mLookAt.SetTargetPoint(FromBone(0, 100, 100));
    for (int i = 0; i < 10; ++i)
        Bend();
    const float held = mLookAt.GetPitch();
    ASSERT_LT(held, 0.0f);
    mLookAt.SetFrozen(1);
    StdInterpFrame frame = Bend();
    EXPECT_EQ(frame.q.x, 0.0f);
    EXPECT_EQ(frame.q.w, 1.0f);
    mLookAt.Update();
    EXPECT_EQ(mLookAt.GetPitch(), held);
    mLookAt.SetFrozen(0);
    Bend();
    EXPECT_LT(mLookAt.GetPitch(), held) << "resumes from the held pitch";
}

TEST_F(BoneLookAt, InCameraModeTheTargetFollowsTheCurrentCamerasView)
{
    mLookAt.Init(mActor, 1);
    mLookAt.Start(kSpineBone);
    mLookAt.Update();
    EXPECT_EQ(mLookAt.GetTargetPoint().x, 0.0f) << "no camera yet: nothing moves";

    TsCamera* camera = TsCamera::Create();
    ASSERT_EQ(TsCameraRegistry::AddCamera(camera, mScene), 0);
    TsCameraRegistry::SetCurrentCamera(0);
    const Vector at = {0, 0, 0};
    for (Vector direction : {Vector{0, 0, 1}, Vector{1, 0, 0}, Vector{0, 1, 1}})
    {
        TsCameraPlacement placement = {&at, &direction};
        camera->SetPlacement(&placement);
        camera->ApplyPlacement();
        mLookAt.Update();
        float length = std::sqrt(direction.x * direction.x + direction.y * direction.y + direction.z * direction.z);
        Vector expected = FromBone(200 * direction.x / length, 200 * direction.y / length, 200 * direction.z / length);
        EXPECT_NEAR(mLookAt.GetTargetPoint().x, expected.x, 1e-3f);
        EXPECT_NEAR(mLookAt.GetTargetPoint().y, expected.y, 1e-3f);
        EXPECT_NEAR(mLookAt.GetTargetPoint().z, expected.z, 1e-3f);
    }
}

TEST_F(BoneLookAt, ADeadActorIsLetGo)
{
    TsBoneLookAt lookAt;
    auto* actor = new TsAnimActor();
    actor->AddRef();
    actor->SetModel(new BonedModel());
    lookAt.Init(actor, 0);
    lookAt.Start(kSpineBone);
    actor->Release();
    lookAt.Update();
    lookAt.Start(kSpineBone);
    lookAt.Stop();
    StdInterpFrame frame{};
    frame.q = {0, 0, 0, 1};
    lookAt.SetTargetPoint({0, 100, 100});
    TsBoneLookAt::BoneCallback(&frame, &lookAt);
    EXPECT_EQ(frame.q.w, 1.0f);
}

TEST_F(BoneLookAt, AHeldFirearmsMuzzleTurnsToThePointAndAContactWeaponHasNone)
{
    auto* rifle = new TsWeaponShoot();
    W3dObject* model = W3dObject::Create();
    model->SetClump(renderertest::MakeClump({nullptr}));
    rifle->SetModel(model);
    ASSERT_EQ(mActor->SetWeapon(rifle), 1);
    ::Frame* muzzle = rifle->GetMuzzleFrame();
    ASSERT_NE(muzzle, nullptr);
    Frame::SyncDirtyList();
    const Vector from = Frame::GetWorldMatrix(muzzle)->pos;
    const Vector point = {from.x + 300, from.y, from.z};
    TsAnimActorAimWeaponAt(mActor, &point);
    Frame::SyncDirtyList();
    const Matrix* aimed = Frame::GetWorldMatrix(muzzle);
    EXPECT_NEAR(aimed->at.x, 1.0f, 1e-4f);
    EXPECT_NEAR(aimed->at.z, 0.0f, 1e-4f);
    // A point at the muzzle changes nothing.
    TsAnimActorAimWeaponAt(mActor, &aimed->pos);
    EXPECT_NEAR(Frame::GetWorldMatrix(muzzle)->at.x, 1.0f, 1e-4f);

    auto* knife = new TsWeaponContact();
    ASSERT_EQ(mActor->SetWeapon(knife), 1);
    TsAnimActorAimWeaponAt(mActor, &point);
    TsAnimActorAimWeaponAt(nullptr, &point);
    mActor->SetWeapon(nullptr);
}

} // namespace
