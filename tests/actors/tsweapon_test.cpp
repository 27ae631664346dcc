// The weapon base over the sound layer: animation records filled from scripts, random sounds
// that never index past their list, tracked channels that follow the weapon, models and the
// holder.
#include "fmod3testhooks.h"
#include "frame.h"
#include "hbrandom.h"
#include "script_fixture.h"
#include "tsanimactor.h"
#include "tsfmod_fixture.h"
#include "tsweapon.h"
#include "w3dframe.h"
#include "w3dobject.h"

#include <gtest/gtest.h>

namespace scriptworldtest
{
namespace
{

class TestWeapon : public TsWeapon
{
public:
    int32_t LoadModel(const char*) override { return 1; }
};

/// A state word whose next quick step gives the largest uniform value (all 23 low bits set).
uint32_t StateBeforeLargest()
{
    // Inverse of the multiplier modulo 2^32 by Newton's iteration.
    uint32_t inverse = 1664525u;
    for (int i = 0; i < 5; ++i)
        inverse *= 2u - 1664525u * inverse;
    return (0x007FFFFFu - 1013904223u) * inverse;
}

class Weapons : public soundtest::SoundTest
{
protected:
    void SetUp() override
    {
        SoundTest::SetUp();
        mWeapon = new TestWeapon();
        mWeapon->AddRef();
        W3dObject* model = W3dObject::Create();
        model->SetClump(renderertest::MakeClump({nullptr}));
        mWeapon->SetModel(model);
        const Vector at = {10, 20, 30};
        mWeapon->GetNode()->SetWorldPosition(&at);
        Frame::SyncDirtyList();
    }
    void TearDown() override
    {
        if (mWeapon->mRegistered)
            mWorld->RemoveActor(mWeapon);
        mWeapon->Release();
        SoundTest::TearDown();
    }
    TestWeapon* mWeapon = nullptr;
};

TEST_F(Weapons, OneAnimationRecordPerStateFrom0To84)
{
    const TsWeaponAnimation* untouched = mWeapon->GetAnimation(84);
    ASSERT_NE(untouched, nullptr);
    EXPECT_EQ(untouched->eventFraction, -2.0f);
    EXPECT_EQ(untouched->parameter, 1.0f);
    EXPECT_EQ(mWeapon->GetAnimation(85), nullptr);
    EXPECT_EQ(mWeapon->GetAnimation(-1), nullptr);
}

TEST_F(Weapons, ARandomSoundIndexStaysInsideItsList)
{
    EXPECT_EQ(mWeapon->PlayRandomSound(TsWeapon::kShotSounds, 0), -1) << "empty list";
    // Two missing sounds, then one that plays: only the last index gives a channel.
    mWeapon->AddSound(TsWeapon::kShotSounds, "SD_NOPE_S2DSB");
    mWeapon->AddSound(TsWeapon::kShotSounds, nullptr);
    EXPECT_EQ(mWeapon->AddSound(TsWeapon::kShotSounds, "SD_HIT_S2DSB"), 1);
    EXPECT_EQ(mWeapon->AddSound(3, "SD_HIT_S2DSB"), 0);
    EXPECT_EQ(mWeapon->GetSoundCount(TsWeapon::kShotSounds), 3);

    uint32_t& state = HbRandom::Instance()->GameState();
    state = StateBeforeLargest();
    uint32_t copy = state;
    EXPECT_GT(HbRandom::QuickUniform(copy), 0.99999f);
    fmod3test::EnableCallLog(true);
    const int32_t channel = mWeapon->PlayRandomSound(TsWeapon::kShotSounds, 0);
    EXPECT_NE(channel, -1) << "the largest draw picks index 2 of 3";
    std::vector<std::string> placed = fmod3test::CallArgs("FSOUND_3D_SetAttributes");
    ASSERT_EQ(placed.size(), 1u);
    EXPECT_EQ(placed[0], std::to_string(channel) + ", (10, 20, 30), null");

    // Every index is drawn over many draws, and only a third of them play.
    FSOUND_StopSound(channel);
    int32_t played = 0, expected = 0;
    for (int i = 0; i < 300; ++i)
    {
        copy = state;
        expected += int32_t(HbRandom::QuickUniform(copy) * 3.0f) == 2 ? 1 : 0;
        const int32_t again = mWeapon->PlayRandomSound(TsWeapon::kShotSounds, 0);
        played += again != -1 ? 1 : 0;
        FSOUND_StopSound(again);
    }
    EXPECT_EQ(played, expected);
    EXPECT_GT(played, 60);
    EXPECT_LT(played, 140);
    EXPECT_EQ(mWeapon->GetChannelCount(), 0) << "not remembered";
}

TEST_F(Weapons, AtMostTenChannelsFollowTheWeaponAndStoppedOnesAreDropped)
{
    mWeapon->AddSound(TsWeapon::kReloadSounds, "SD_HUM_S3DSB");
    std::vector<int32_t> channels;
    for (int i = 0; i < 11; ++i)
        channels.push_back(mWeapon->PlayRandomSound(TsWeapon::kReloadSounds, 1));
    for (int32_t channel : channels)
        ASSERT_NE(channel, -1);
    ASSERT_EQ(mWeapon->GetChannelCount(), 10) << "the eleventh plays untracked";

    FSOUND_StopSound(channels[3]);
    const Vector moved = {-5, 0, 7};
    mWeapon->GetNode()->SetWorldPosition(&moved);
    Frame::SyncDirtyList();
    fmod3test::EnableCallLog(true);
    mWeapon->Update();
    EXPECT_EQ(mWeapon->GetChannelCount(), 9);
    for (int32_t i = 0; i < mWeapon->GetChannelCount(); ++i)
        EXPECT_NE(mWeapon->GetChannel(i), channels[3]);
    std::vector<std::string> placed = fmod3test::CallArgs("FSOUND_3D_SetAttributes");
    ASSERT_EQ(placed.size(), 9u);
    for (const std::string& args : placed)
        EXPECT_NE(args.find("(-5, 0, 7), null"), std::string::npos) << args;
}

TEST_F(Weapons, ModelsAndTheHolder)
{
    W3dNode* model = mWeapon->GetNode();
    mWeapon->SetModel(model);
    EXPECT_EQ(mWeapon->GetNode(), model) << "the same model again changes nothing";
    EXPECT_EQ(mWeapon->GetParentActor(), nullptr) << "no parent node, no holder";

    FakeActor* holder = Listed("holder", {0, 0, 0});
    holder->mNode->AttachChild(model);
    EXPECT_EQ(mWeapon->GetParentActor(), holder);
    holder->mNode->RemoveChild(model);

    W3dFrame* frame = W3dFrame::Create();
    frame->AddRef();
    mWeapon->SetModel(frame);
    EXPECT_EQ(mWeapon->GetNode(), nullptr) << "a node that is no W3dObject leaves no model";
    frame->Release();
    EXPECT_EQ(mWeapon->GetParentActor(), nullptr);

    // A holder copies the weapon's kind; another actor is no weapon.
    TsAnimActor soldier;
    mWeapon->mWeaponKind = 7;
    soldier.SetWeapon(mWeapon);
    EXPECT_EQ(soldier.mWeaponKind, 7);
    TsActor plain;
    plain.AddRef();
    soldier.SetWeapon(&plain);
    EXPECT_EQ(soldier.mWeaponKind, 7);
    soldier.SetWeapon(nullptr);
}

} // namespace
} // namespace scriptworldtest
