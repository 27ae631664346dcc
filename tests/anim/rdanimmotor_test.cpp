// The motor: the blend of animation channels, channel ids, removal (also from inside a
// channel's own callback), the fixed tables' limits, killed profiles and locked bones, on a
// four-bone chain model made by the writers.
#include "anim_fixture.h"

#include "animation.h"
#include "clump.h"
#include "clumpwriter.h"
#include "frame.h"
#include "geometry.h"
#include "hbchunkstream.h"
#include "hierarchy.h"
#include "hierarchywriter.h"
#include "rdanim.h"
#include "rdanimchannel.h"
#include "rdanimmotor.h"
#include "rdanimrequest.h"
#include "hbptr.h"
#include "hbresource.h"
#include "hbclock.h"
#include "rdmodel.h"
#include "rdprocchannel.h"
#include "rdprofile.h"
#include "rdskeleton.h"
#include "skeletonwriter.h"
#include "stdkey.h"
#include "stream.h"

#include <cmath>
#include <memory>
#include <vector>

namespace
{

using animtest::AnimTest;

// Profile and bone ids of the name tables.
constexpr int32_t kAll = 1;
constexpr int32_t kHighPart = 2;
constexpr int32_t kLowPart = 3;
constexpr int32_t kHead = 12;
constexpr int32_t kDummyRootBone = 1;
constexpr int32_t kHeadBone = 27;

GeometryDescription Triangle()
{
    GeometryDescription d;
    d.format = kGeometryPositions;
    d.numVertices = 3;
    d.triangles = {{0, 1, 2, 0}};
    d.targets.push_back({{0, 0, 0, 1.0f}, {0, 0, 0, 1, 0, 0, 0, 1, 0}, {}});
    d.materials = {GeometryDescription::Material{}};
    d.listEntries = {0};
    return d;
}

/// The clump's frame, then a chain of four bones (DummyRootBone, Pelvis, Upper_Torso, Head),
/// one unit apart along y, an atomic on the head.
std::vector<uint8_t> ChainClump()
{
    ClumpDescription c;
    c.frames.resize(5);
    for (int i = 1; i < 5; ++i)
    {
        c.frames[i].parent = i - 1;
        c.frames[i].rows[10] = i == 1 ? 0.0f : 1.0f;
    }
    c.frames[1].extension = HierarchyWriter::FrameExtension(1, {{1, 0}, {2, 0}, {3, 0}, {4, kHierarchyPop}}, 0);
    for (int i = 2; i < 5; ++i)
        c.frames[i].extension = HierarchyWriter::FrameExtension(i);
    c.geometries = {Triangle()};
    ClumpDescription::Atomic a;
    a.frame = 4;
    c.atomics.push_back(a);
    return ClumpWriter::Write(c);
}

Clump* ReadClump(std::vector<uint8_t> bytes)
{
    MemoryBlock block = {bytes.data(), uint32_t(bytes.size())};
    Stream* stream = Stream::Open(kStreamMemory, kStreamRead, &block);
    Clump* clump = nullptr;
    if (stream && Stream::FindChunk(stream, RdModel::kClumpChunk, nullptr, nullptr))
        clump = Clump::StreamRead(stream);
    if (stream)
        Stream::Close(stream, nullptr);
    return clump;
}

AnimQuat ZTurn(float degrees)
{
    const float half = degrees * 3.14159265f / 360.0f;
    return {0, 0, std::sin(half), std::cos(half)};
}

class RdAnimMotorTest : public AnimTest
{
protected:
    void SetUp() override
    {
        AnimTest::SetUp();
        if (HasFatalFailure())
            return;
        auto* skeleton = new RdSkeleton();
        const std::vector<SkeletonProfileRow> profiles = {
            {"HIGH_PART", {"Upper_Torso", "Head"}}, {"LOW_PART", {"Pelvis"}}, {"HEAD", {"Head"}}};
        HbMChunkStream stream(new VectorStreamBuf(
            SkeletonWriter::Bytes({"DummyRootBone", "Pelvis", "Upper_Torso", "Head"}, &profiles)));
        skeleton->Read(&stream);
        ASSERT_EQ(skeleton->GetBoneCount(), 4);
        auto* model = new RdModel();
        ASSERT_EQ(model->SetClump(ReadClump(ChainClump())), 1);
        ASSERT_EQ(model->GetHierarchy()->nodeCount, 4);
        mMotor = std::make_unique<RdAnimMotor>(nullptr);
        mMotor->SetSkeleton(skeleton);
        ASSERT_EQ(mMotor->AddModel(model), 1);
    }
    void TearDown() override
    {
        mMotor.reset();
        for (RdAnimation* a : mAnims)
            a->Release();
        AnimTest::TearDown();
    }

    /// A resource that holds every bone at the turn about z and translation for 1 s.
    RdAnimation* Pose(float degrees, Vector t = {0, 0, 0}, float duration = 1.0f)
    {
        const AnimQuat q = ZTurn(degrees);
        std::vector<AnimationKeyRow> rows;
        for (int node = 0; node < 4; ++node)
            for (float time : {0.0f, duration})
                rows.push_back({node, time, {q.x, q.y, q.z, q.w}, {t.x, t.y, t.z}});
        std::vector<uint8_t> bytes = AnimationWriter::StdAnimation(rows, duration);
        MemoryBlock block = {bytes.data(), uint32_t(bytes.size())};
        Stream* stream = Stream::Open(kStreamMemory, kStreamRead, &block);
        uint32_t size = 0;
        Animation* animation = nullptr;
        if (stream && Stream::FindChunk(stream, Animation::kChunkType, &size, nullptr))
            animation = Animation::StreamRead(stream, size);
        if (stream)
            Stream::Close(stream, nullptr);
        auto* resource = new RdAnimation();
        EXPECT_EQ(resource->Setup(animation, "POSE", "pose.anm"), 1);
        resource->AddRef();
        mAnims.push_back(resource);
        return resource;
    }

    RdAnimChannel* Play(float degrees, int32_t profile, float weight = 1.0f, Vector t = {0, 0, 0})
    {
        RdAnimChannel* c = mMotor->PlayAnim(Pose(degrees, t), profile, 0.0f);
        EXPECT_NE(c, nullptr);
        if (c && weight != 1.0f)
            mMotor->RampChannelWeight(c->GetId(), weight, weight, 0);
        return c;
    }

    StdInterpFrame* Result(int bone)
    {
        return static_cast<StdInterpFrame*>(
            AnimInterpolator::GetInterpFrame(mMotor->GetModel()->GetHierarchy()->interpolator, bone));
    }

    /// The result's turn about z of the bone, in degrees.
    float Turn(int bone)
    {
        const AnimQuat& q = Result(bone)->q;
        EXPECT_NEAR(q.x, 0.0f, 1e-5f);
        EXPECT_NEAR(q.y, 0.0f, 1e-5f);
        return 2.0f * std::atan2(q.z, q.w) * 180.0f / 3.14159265f;
    }

    std::unique_ptr<RdAnimMotor> mMotor;
    std::vector<RdAnimation*> mAnims;
};

TEST_F(RdAnimMotorTest, OneChannelShowsItsWholePoseWhateverItsProfileOrWeight)
{
    RdAnimChannel* c = Play(60.0f, kHead, 1.0f, {0, 2, 0});
    mMotor->RampChannelWeight(c->GetId(), 0.0f, 1.0f, Ticks(1.0));
    Step(0.1);
    mMotor->Update();
    EXPECT_LT(c->GetWeight(), 0.5f);
    for (int b = 0; b < 4; ++b)
    {
        EXPECT_NEAR(Turn(b), 60.0f, 1e-3f) << "bone " << b;
        EXPECT_NEAR(Result(b)->t.y, 2.0f, 1e-5f);
    }
}

struct BlendCase
{
    const char* name;
    int32_t secondProfile;
    float secondWeight;
    int32_t firstProfile;
    float expected[4]; ///< per bone; NAN: the buffer's earlier value
};

TEST_F(RdAnimMotorTest, LaterChannelsBlendOnlyOnSharedBones)
{
    const BlendCase cases[] = {
        {"two full channels at 0.5", kAll, 0.5f, kAll, {45, 45, 45, 45}},
        {"upper body second: legs exact", kHighPart, 0.5f, kAll, {0, 0, 45, 45}},
        {"bones no one else animates: full even at 0.1", kHead, 0.1f, kLowPart, {NAN, 0, NAN, 90}},
    };
    for (const BlendCase& test : cases)
    {
        SCOPED_TRACE(test.name);
        mMotor->RemoveAllChannels();
        for (int b = 0; b < 4; ++b)
            Result(b)->q = ZTurn(-30.0f);
        Play(0.0f, test.firstProfile);
        Play(90.0f, test.secondProfile, test.secondWeight);
        Step(0.01);
        mMotor->Update();
        for (int b = 0; b < 4; ++b)
            EXPECT_NEAR(Turn(b), std::isnan(test.expected[b]) ? -30.0f : test.expected[b], 1e-3f) << "bone " << b;
    }
}

TEST_F(RdAnimMotorTest, RemovalMovesTheLastChannelFirstAndOverlaysBlendOnTopOfLaterChannels)
{
    RdAnimChannel* a = Play(0.0f, kAll);
    Play(30.0f, kAll, 0.5f);
    RdAnimChannel* c = Play(90.0f, kAll);
    const uint16_t cId = c->GetId();
    const uint16_t aId = a->GetId();
    EXPECT_EQ(mMotor->RemoveChannel(aId), 1);
    EXPECT_EQ(mMotor->RemoveChannel(aId), 0);
    ASSERT_EQ(mMotor->GetAnimChannelCount(), 2);
    EXPECT_EQ(mMotor->GetAnimChannel(0)->GetId(), cId);
    Step(0.01);
    mMotor->Update();
    EXPECT_NEAR(Turn(3), 60.0f, 1e-3f) << "from the former last (90) towards 30 by half";

    mMotor->RemoveAllChannels();
    Play(0.0f, kAll);
    Play(90.0f, kAll, 0.5f)->mOverlay = 1;
    mMotor->Update();
    EXPECT_NEAR(Turn(2), 0.0f, 1e-3f) << "an overlay with nothing after it does nothing";

    mMotor->RemoveAllChannels();
    Play(90.0f, kAll, 0.5f)->mOverlay = 1;
    Play(0.0f, kAll);
    mMotor->Update();
    EXPECT_NEAR(Turn(2), 45.0f, 1e-3f) << "an overlay first goes on top of the next channel";
}

TEST_F(RdAnimMotorTest, ChannelIdsWrapToOneAndAreNeverZero)
{
    uint16_t last = 0;
    for (int i = 0; i < 65534; ++i)
    {
        RdProcChannel* p = mMotor->AddProcChannel(kHeadBone, nullptr, nullptr);
        ASSERT_NE(p, nullptr);
        last = p->GetId();
        mMotor->RemoveChannel(last);
    }
    EXPECT_EQ(last, 65535);
    EXPECT_EQ(mMotor->AddProcChannel(kHeadBone, nullptr, nullptr)->GetId(), 1);
    EXPECT_EQ(mMotor->AddProcChannel(kHeadBone, nullptr, nullptr)->GetId(), 2);
    EXPECT_EQ(mMotor->RemoveChannel(0), 0);
    EXPECT_EQ(mMotor->GetChannel(0), nullptr);
}

TEST_F(RdAnimMotorTest, WithoutAnimationChannelsOnlyTheHierarchyAndLockedBonesRun)
{
    int procCalls = 0;
    int postCalls = 0;
    mMotor->AddProcChannel(kHeadBone, [](void*, void* d) { ++*static_cast<int*>(d); }, &procCalls);
    mMotor->SetPostUpdateCallback([](RdAnimMotor*, void* d) { ++*static_cast<int*>(d); }, &postCalls);
    mMotor->Update();
    EXPECT_EQ(procCalls + postCalls, 0);
    EXPECT_EQ(mMotor->IsStarted(), 0);

    uint32_t flags = 0;
    mMotor->SetOwnerFlags(&flags);
    RdAnimChannel* c = Play(0.0f, kAll);
    mMotor->Update();
    EXPECT_EQ(flags, RdAnimMotor::kReadyFlag);
    EXPECT_EQ(procCalls, 1);
    EXPECT_EQ(postCalls, 1);
    mMotor->RemoveChannel(c->GetId());

    const Vector target = {1, 0, 0};
    ASSERT_NE(mMotor->AddLockedBone(kHeadBone, &target, 1, 0.0f), nullptr);
    Result(3)->t = {0, 7, 0};
    mMotor->Update();
    EXPECT_EQ(procCalls, 1);
    EXPECT_EQ(postCalls, 1);
    Hierarchy* h = mMotor->GetModel()->GetHierarchy();
    EXPECT_NEAR(h->nodes[3].frame->modelling.pos.y, 7.0f, 1e-5f) << "the matrices were computed";
    const Matrix* world = Frame::GetWorldMatrix(h->nodes[3].frame);
    EXPECT_NEAR(world->at.x, 1.0f, 1e-4f) << "the locked bone turned";
}

TEST_F(RdAnimMotorTest, AChannelRemovedFromItsOwnEndCallbackLeavesAfterItsStep)
{
    struct Ctx
    {
        RdAnimMotor* motor;
        int answer;
    } ctx = {mMotor.get(), -1};
    RdAnimChannel* c = mMotor->PlayAnim(Pose(10.0f, {0, 0, 0}, 0.1f), kAll, 0.0f);
    ASSERT_NE(c, nullptr);
    Play(20.0f, kHead);
    c->AddTimedCallback(
        [](uint16_t id, void* d)
        {
            auto* x = static_cast<Ctx*>(d);
            x->answer = x->motor->RemoveChannel(id);
            x->motor->RemoveChannel(id);
        },
        &ctx, RdChannel::kEndEvent);
    const uint16_t id = c->GetId();
    Step(0.5);
    mMotor->Update();
    EXPECT_EQ(ctx.answer, 1);
    EXPECT_EQ(mMotor->GetChannel(id), nullptr);
    EXPECT_EQ(mMotor->GetAnimChannelCount(), 1);
    EXPECT_NEAR(Turn(3), 20.0f, 1e-3f);
}

TEST_F(RdAnimMotorTest, FullTablesRefuseMore)
{
    for (int i = 0; i < RdAnimMotor::kMaxAnimChannels; ++i)
        ASSERT_NE(mMotor->PlayAnim(Pose(0.0f), kAll, 0.0f), nullptr);
    EXPECT_EQ(mMotor->PlayAnim(Pose(0.0f), kAll, 0.0f), nullptr);
    for (int i = 0; i < RdAnimMotor::kMaxProcChannels; ++i)
        ASSERT_NE(mMotor->AddProcChannel(kHeadBone, nullptr, nullptr), nullptr);
    EXPECT_EQ(mMotor->AddProcChannel(kHeadBone, nullptr, nullptr), nullptr);
    for (int i = 0; i < RdAnimMotor::kMaxKilledProfiles; ++i)
        EXPECT_EQ(mMotor->AddKilledProfile(this, 100 + i), 1);
    EXPECT_EQ(mMotor->AddKilledProfile(this, 200), 0);
    EXPECT_NE(mMotor->AddLockedBone(kHeadBone, nullptr, 2, 0.0f), nullptr);
    EXPECT_NE(mMotor->AddLockedBone(kDummyRootBone, nullptr, 2, 0.0f), nullptr);
    EXPECT_EQ(mMotor->AddLockedBone(kHeadBone, nullptr, 2, 0.0f), nullptr);
    EXPECT_EQ(mMotor->GetLockedBoneCount(), 2);
    EXPECT_EQ(mMotor->PlayAnim(Pose(0.0f), 99, 0.0f), nullptr) << "a profile the skeleton lacks";
    EXPECT_EQ(mMotor->AddProcChannel(500, nullptr, nullptr), nullptr) << "a bone the skeleton lacks";
}

TEST_F(RdAnimMotorTest, DestructionReturnsKilledProfileAndLockedBoneRecords)
{
    ASSERT_EQ(mMotor->AddKilledProfile(this, kHead), 1);
    ASSERT_EQ(mMotor->AddKilledProfile(this, kLowPart), 1);
    ASSERT_NE(mMotor->AddLockedBone(kHeadBone, nullptr, 2, 0.0f), nullptr);
    ASSERT_NE(mMotor->AddLockedBone(kDummyRootBone, nullptr, 2, 0.0f), nullptr);
    HbPerClassFreeList* killed = RdAnimMotor::RdKilledProfile::sClassPool.Get();
    HbPerClassFreeList* locked = RdLockedBones::sClassPool.Get();
    ASSERT_NE(killed, nullptr);
    ASSERT_NE(locked, nullptr);
    const int32_t killedUsed = killed->GetUsedCount();
    const int32_t lockedUsed = locked->GetUsedCount();
    mMotor.reset();
    EXPECT_EQ(killed->GetUsedCount(), killedUsed - 2);
    EXPECT_EQ(locked->GetUsedCount(), lockedUsed - 2);
}

TEST_F(RdAnimMotorTest, KilledProfilesSplitLaterChannelsUnlessExempt)
{
    int owner = 0;
    EXPECT_EQ(mMotor->AddKilledProfile(&owner, kHead), 1);
    RdAnimChannel* full = mMotor->PlayAnim(Pose(30.0f, {0, 0, 0}, 2.0f), kAll, 0.5f);
    ASSERT_NE(full, nullptr);
    EXPECT_EQ(full->GetBones().mMask & 0xF, 0x7u) << "all but the head";
    ASSERT_EQ(mMotor->GetAnimChannelCount(), 2);
    RdChannel* part = mMotor->GetAnimChannel(1);
    EXPECT_EQ(part->GetBones().mBoneCount, 0) << "the head's channel was itself split";
    EXPECT_FLOAT_EQ(static_cast<RdAnimChannel*>(part)->GetTime(), 0.5f) << "in step";

    RdAnimChannel* head = Play(90.0f, kHead);
    EXPECT_EQ(head->GetBones().mBoneCount, 0);
    EXPECT_EQ(mMotor->ApplyKilledProfile(&owner, head->GetId(), kLowPart), 0) << "no such record";
    EXPECT_EQ(mMotor->RemoveKilledProfile(&owner, kHead), 1);
    head = Play(90.0f, kHead);
    EXPECT_EQ(mMotor->AddKilledProfile(&owner, kHead), 1);
    EXPECT_EQ(mMotor->ApplyKilledProfile(&owner, head->GetId(), kHead), 1);
    EXPECT_EQ(mMotor->SplitChannel(head, kHead, &owner), nullptr);
    EXPECT_EQ(head->GetBones().mBoneCount, 1) << "an exempt channel keeps the profile's bones";

    EXPECT_EQ(mMotor->RemoveKilledProfile(&owner, kLowPart), 0);
    EXPECT_EQ(head->IsProfileEnabled(&owner, kHead), 0) << "a missing record leaves exemptions alone";
    EXPECT_EQ(mMotor->RemoveKilledProfile(&owner, kHead), 1);
    EXPECT_EQ(head->IsProfileEnabled(&owner, kHead), 1);
}

TEST_F(RdAnimMotorTest, LockedBonesTurnAtOnceOrTenPercentPerSixtiethAtValueNinety)
{
    EXPECT_EQ(mMotor->AddLockedBone(500, nullptr, 0, 0.0f), nullptr);
    EXPECT_EQ(mMotor->RemoveLockedBone(kHeadBone), 0);
    Play(90.0f, kAll);
    const Vector target = {1, 0, 0};
    ASSERT_NE(mMotor->AddLockedBone(kHeadBone, &target, 0, 0.0f), nullptr);
    Step(1.0 / 60.0);
    mMotor->Update();
    Hierarchy* h = mMotor->GetModel()->GetHierarchy();
    const Matrix* root = Frame::GetWorldMatrix(h->nodes[0].frame);
    const Matrix* head = Frame::GetWorldMatrix(h->nodes[3].frame);
    EXPECT_NEAR(std::fabs(root->right.y), 1.0f, 1e-4f) << "the root is turned";
    EXPECT_NEAR(head->at.x, root->right.x, 1e-4f);
    EXPECT_NEAR(head->at.y, root->right.y, 1e-4f);
    EXPECT_NEAR(head->at.z, root->right.z, 1e-4f);
    EXPECT_EQ(mMotor->RemoveLockedBone(kHeadBone), 1);

    RdLockedBones* lock = mMotor->AddLockedBone(kHeadBone, &target, 0, 90.0f);
    ASSERT_NE(lock, nullptr);
    EXPECT_FLOAT_EQ(lock->mRate, 10.0f);
    lock->mCurrent = {0, 0, 1};
    const Vector w = root->right; // the root's x axis: the target turned by the root
    mMotor->Update();
    EXPECT_NEAR(lock->mCurrent.x, 0.1f * w.x, 1e-4f);
    EXPECT_NEAR(lock->mCurrent.y, 0.1f * w.y, 1e-4f);
    EXPECT_NEAR(lock->mCurrent.z, 0.9f + 0.1f * w.z, 1e-4f);
}

/// An actor layer of one actor: the motor of the fixture, and what the hooks were asked.
class AnimRequestTest : public RdAnimMotorTest
{
protected:
    struct Log
    {
        RdAnimMotor* motor = nullptr;
        int64_t blendIn = -1;
        int64_t start = -1;
        int32_t flag = -1;
        int32_t cancels = 0;
        uint32_t moveFlags = 0;
        float endTime = 0.0f;
        int32_t moveState = 0;
        int64_t fadeTicks = -1;
        uint16_t fadedId = 0;
    };
    static Log* sLog;

    void SetUp() override
    {
        RdAnimMotorTest::SetUp();
        if (HasFatalFailure())
            return;
        sLog = &mLog;
        mLog.motor = mMotor.get();
        // A 2 s animation file the resource manager loads.
        std::vector<AnimationKeyRow> rows;
        for (int node = 0; node < 4; ++node)
            for (float time : {0.0f, 2.0f})
                rows.push_back({node, time, {0, 0, 0, 1}, {0, 0, 0}});
        const std::vector<uint8_t> bytes = AnimationWriter::StdAnimation(rows, 2.0f);
        animtest::WriteText("req.anm", std::string(bytes.begin(), bytes.end()));
        HbResourceManager::Instance()->AddPath("REQ_ANM", "req.anm");
        static const AnimRequestHooks hooks = {
            [](TsActor*, HbHandlePtr* channel, RdAnimation* animation, int32_t, int64_t blendIn, int64_t start,
               int32_t flag)
            {
                sLog->blendIn = blendIn;
                sLog->start = start;
                sLog->flag = flag;
                RdAnimChannel* c =
                    sLog->motor->PlayAnim(animation, 1, float(double(start) / double(HbPerformanceFrequency())));
                if (c)
                    sLog->motor->RampChannelWeight(c->GetId(), 0.0f, 1.0f, blendIn);
                channel->Assign(c);
            },
            [](TsActor*, void* request) { sLog->cancels += request ? 0 : 1; },
            [](TsActor*, uint32_t flags, float endTime)
            {
                sLog->moveFlags = flags;
                sLog->endTime = endTime;
            },
            [](TsActor*, int32_t state, int32_t) { sLog->moveState = state; },
            [](TsActor*, uint16_t* id, int64_t ticks)
            {
                sLog->fadedId = *id;
                sLog->fadeTicks = ticks;
                sLog->motor->RampChannelWeight(*id, 1.0f, 0.0f, ticks);
                *id = 0;
            },
            [](TsActor*) { return sLog->motor; },
        };
        AnimRequestSetHooks(&hooks);
        TimedAnimRequestsInit();
    }
    void TearDown() override
    {
        TimedAnimRequestsFree();
        AnimRequestSetHooks(nullptr);
        HbResourceManager::Instance()->RemovePath("REQ_ANM");
        RdAnimMotorTest::TearDown();
    }

    TsActor* Actor() { return reinterpret_cast<TsActor*>(&mLog); }
    Log mLog;
};

AnimRequestTest::Log* AnimRequestTest::sLog = nullptr;

TEST_F(AnimRequestTest, MissingAnimationsAndAMissingActorLayerAreRefused)
{
    EXPECT_EQ(AnimRequestPlay(Actor(), "NONE_ANM", 1, 0, 0.1f, 0.1f, 0.0f, 1.0f, 0.0f), 3);
    AnimRequestSetHooks(nullptr);
    EXPECT_EQ(AnimRequestPlay(Actor(), "REQ_ANM", 1, 0, 0.1f, 0.1f, 0.0f, 1.0f, 0.0f), 2);
}

struct SectionCase
{
    float start, end;
    double expectedStart, expectedEnd; ///< seconds of the 2 s animation
};

TEST_F(AnimRequestTest, FractionsPickTheSectionAndKindZeroEndsItWithAMoveStateRequest)
{
    const SectionCase cases[] = {{0.0f, 1.0f, 0.0, 2.0}, {0.2f, 0.9f, 1.0, 2.0}, {0.25f, 0.5f, 0.5, 1.0}};
    for (const SectionCase& test : cases)
    {
        SCOPED_TRACE(test.start);
        mMotor->RemoveAllChannels();
        mLog.moveState = 0;
        ASSERT_EQ(AnimRequestPlay(Actor(), "REQ_ANM", 0, 16, 0.1f, 0.1f, test.start, test.end, 0.0f), 0);
        EXPECT_EQ(mLog.start, Ticks(test.expectedStart));
        EXPECT_EQ(mLog.flag, 0);
        EXPECT_EQ(mLog.moveFlags, 0x1010u);
        EXPECT_EQ(mLog.endTime, 3.4028235e38f);
        RdChannel* c = mMotor->GetAnimChannel(0);
        ASSERT_EQ(c->GetCallbackCount(), 1);
        // Due at the section's end, counted from the channel's creation.
        Step(test.expectedEnd - 0.05);
        mMotor->Update();
        EXPECT_EQ(mLog.moveState, 0);
        Step(0.1);
        mMotor->Update();
        EXPECT_EQ(mLog.moveState, 3);
    }
    EXPECT_GE(mLog.cancels, 3);
}

TEST_F(AnimRequestTest, BlendsLongerThanTheSectionShareIt)
{
    RdAnimChannel* old = Play(0.0f, kAll);
    mMotor->Update();
    ASSERT_EQ(AnimRequestPlay(Actor(), "REQ_ANM", 0, 0, 1.0f, 1.0f, 0.0f, 0.75f, 0.0f), 0);
    EXPECT_EQ(mLog.blendIn, Ticks(0.75)) << "a 1.5 s section: 0.75 s each";
    Step(0.375);
    mMotor->Update();
    EXPECT_NEAR(old->GetWeight(), 0.5f, 1e-3f) << "what played fades out over the blend-in";
}

TEST_F(AnimRequestTest, TimedRequestsFadeAfterTheirDelayAndHoldTwentySlots)
{
    ASSERT_EQ(AnimRequestPlay(Actor(), "REQ_ANM", 2, 0, 0.5f, 0.5f, 0.0f, 1.0f, 2.0f), 0);
    EXPECT_EQ(mLog.flag, 1);
    const uint16_t id = mMotor->GetAnimChannel(0)->GetId();
    EXPECT_EQ(TimedAnimRequestsInUse(), 1);
    Step(0.6);
    TimedAnimRequestsTick();
    EXPECT_EQ(mLog.fadeTicks, -1);
    Step(0.4);
    TimedAnimRequestsTick();
    EXPECT_EQ(mLog.fadedId, id) << "after 1 s of countdown";
    EXPECT_EQ(mLog.fadeTicks, Ticks(0.5));
    EXPECT_EQ(mLog.moveState, 3);
    EXPECT_EQ(TimedAnimRequestsInUse(), 0);

    mMotor->RemoveAllChannels();
    for (int i = 0; i < kTimedAnimSlotCount; ++i)
        ASSERT_EQ(AnimRequestPlay(Actor(), "REQ_ANM", 2, 0, 0.1f, 0.1f, 0.0f, 1.0f, 5.0f), 0);
    EXPECT_EQ(AnimRequestPlay(Actor(), "REQ_ANM", 2, 0, 0.1f, 0.1f, 0.0f, 1.0f, 5.0f), 1);
    ASSERT_EQ(mMotor->RemoveChannel(mMotor->GetAnimChannel(3)->GetId()), 1);
    Step(0.01);
    TimedAnimRequestsTick();
    EXPECT_EQ(TimedAnimRequestsInUse(), kTimedAnimSlotCount - 1) << "the slot of a dead channel is freed";
    EXPECT_EQ(AnimRequestPlay(Actor(), "REQ_ANM", 2, 0, 0.1f, 0.1f, 0.0f, 1.0f, 5.0f), 0);
}

} // namespace
