// Mobile DOFs: the parameter file read back from its writer (both layouts, refusals, a mutation
// sweep), the actor's set-up and travel values, and MS_MOVE_DOF's openings, closings,
// reversals and spins on a door whose open placement lies in its model.
#include "frame.h"
#include "frameobject.h"
#include "hbclock.h"
#include "hbresource.h"
#include "mdfwriter.h"
#include "mobiledof.h"
#include "movedof.h"
#include "script_fixture.h"
#include "scripteventid.h"
#include "scriptworld_fixture.h"
#include "scriptworldmanager.h"
#include "skeletonwriter.h"
#include "tsactorlayer.h"
#include "tsmotorskills.h"
#include "tssendevent.h"
#include "w3dframe.h"
#include "wscene.h"

#include <gtest/gtest.h>

#include <Python.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>

namespace
{
MdfRecord Door()
{
    MdfRecord r;
    r.openTimes[0] = 1.0f, r.openTimes[1] = 2.0f, r.openTimes[2] = 1.0f;
    r.closeTimes[0] = 0.5f, r.closeTimes[1] = 1.0f, r.closeTimes[2] = 0.5f;
    r.spinStart = 10.0f;
    r.spinEnd = 30.0f;
    r.spinAxis[1] = 1.0f;
    r.spare = 77;
    r.names[0] = "SD_DOOR";
    return r;
}

/// 1 with the loader filled from the bytes, 0 when refused.
int Read(const std::vector<uint8_t>& bytes, MobileDofLoader& loader)
{
    HbMChunkStream stream(new VectorStreamBuf(bytes));
    return loader.Load(&stream, "TEST_MDF");
}

TEST(MobileDofLoader, ReadsBothLayoutsBackFromTheWriter)
{
    struct Case
    {
        uint32_t key2;
        uint32_t value;
        float close0;
    };
    // The older layout closes as it opens; a header value of 0 still counts as found.
    for (const Case& c : {Case{1, 1, 0.5f}, Case{0, 1, 1.0f}, Case{1, 0, 0.5f}})
    {
        MobileDofLoader loader;
        ASSERT_EQ(Read(MdfWriter::Bytes(Door(), c.key2, c.value), loader), 1) << c.key2 << " " << c.value;
        const MobileDofParameters& p = loader.mParameters;
        EXPECT_EQ(p.openTimes[1], 2.0f);
        EXPECT_EQ(p.closeTimes[0], c.close0);
        EXPECT_EQ(p.closeTimes[1], c.key2 ? 1.0f : 2.0f);
        EXPECT_EQ(p.spinStart, 10.0f);
        EXPECT_EQ(p.spinEnd, 30.0f);
        EXPECT_EQ(p.spinAxis.y, 1.0f);
        EXPECT_EQ(p.spare, 77);
        EXPECT_EQ(p.names[0], "SD_DOOR");
        EXPECT_EQ(p.names[3], "None") << "the loader keeps names as written";
    }
}

TEST(MobileDofLoader, RefusesFilesWithoutTheChunkOrCutShort)
{
    MobileDofLoader loader;
    EXPECT_EQ(Read({}, loader), 0);
    std::vector<uint8_t> bytes = MdfWriter::Bytes(Door());
    bytes[0] ^= 0x01; // another chunk id (its checksum no longer matches either)
    EXPECT_EQ(Read(bytes, loader), 0);
    bytes = MdfWriter::Bytes(Door());
    bytes.resize(bytes.size() - 1); // the last name loses its zero
    EXPECT_EQ(Read(bytes, loader), 0);
    EXPECT_EQ(loader.mParameters.openTimes[1], 0.0f) << "a refused file leaves the loader as it was";
}

TEST(MobileDofLoader, MutatedFilesNeverCorruptMemory)
{
    const std::vector<uint8_t> good = MdfWriter::Bytes(Door());
    ASSERT_FALSE(good.empty());
    for (size_t n = 0; n < good.size(); ++n)
    {
        MobileDofLoader loader;
        EXPECT_EQ(Read(std::vector<uint8_t>(good.begin(), good.begin() + long(n)), loader), 0) << n;
    }
    std::mt19937 random(4146);
    for (int round = 0; round < 400; ++round)
    {
        std::vector<uint8_t> bytes = good;
        for (int flips = 1 + int(random() % 4); flips > 0; --flips)
            bytes[random() % bytes.size()] = uint8_t(random());
        MobileDofLoader loader;
        Read(bytes, loader);
    }
}
} // namespace

namespace scriptworldtest
{
namespace
{
constexpr float kStep = 1.0f / 60.0f;

/// The door's model: a frame node with one child whose two-frame hierarchy holds an object on
/// its inner frame, placed at the open placement (300 along x).
W3dFrame* gInner = nullptr;
FrameObject gMarker;
Vector gOpenAt = {300.0f, 0.0f, 0.0f};
float gOpenTurn = 0.0f;

HbRoot* MakeDoorModel()
{
    W3dFrame* model = W3dFrame::Create();
    W3dFrame* leaf = W3dFrame::Create();
    W3dFrame* inner = W3dFrame::Create();
    if (!model || !leaf || !inner)
        return model;
    leaf->AddChild(inner, nullptr);
    model->AddChild(leaf, nullptr);
    Frame::Translate(inner->GetEngineFrame(), &gOpenAt, kCombineReplace);
    if (gOpenTurn != 0.0f)
    {
        const Vector up = {0.0f, 1.0f, 0.0f};
        Frame::Rotate(inner->GetEngineFrame(), &up, gOpenTurn, kCombinePreConcat);
    }
    FrameObject::Init(&gMarker, 0, nullptr);
    FrameObject::SetFrame(&gMarker, inner->GetEngineFrame());
    gInner = inner;
    return model;
}

class MobileDofTest : public ScriptWorldTest
{
protected:
    void SetUp() override
    {
        ScriptWorldTest::SetUp();
        mPath = (std::filesystem::temp_directory_path() / "mobiledof_test.mdf").string();
        Write(MdfWriter::Bytes(Door()));
        HbResourceManager* resources = HbResourceManager::Instance();
        resources->RegisterType("TDOOR", MakeDoorModel);
        resources->AddPath("DOOR_MDF", mPath.c_str());
        mDof = new MobileDof();
        mDof->AddRef();
        mTable = mDof->GetMotorSkills();
    }
    void TearDown() override
    {
        FrameObject::SetFrame(&gMarker, nullptr);
        if (mDof->mRegistered)
            mWorld->RemoveActor(mDof);
        mDof->Release();
        HbResourceManager::Instance()->RemovePath("DOOR_MDF");
        std::filesystem::remove(mPath);
        gOpenAt = {300.0f, 0.0f, 0.0f};
        gOpenTurn = 0.0f;
        ScriptWorldTest::TearDown();
    }
    void Write(const std::vector<uint8_t>& bytes)
    {
        std::ofstream(mPath, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), long(bytes.size()));
    }
    void Build()
    {
        ASSERT_EQ(mDof->Setup("DOOR_MDF", "_DOOR_TDOOR"), 1);
        mScene->GetRoot()->AttachChild(mDof->GetNode());
        ASSERT_EQ(mTable->AddSkill(MoveDofMSState::Create(mDof, Py_None)), 1);
        Frame::SyncDirtyList();
        HbGameClock::Instance()->mStepSeconds = kStep;
    }
    void Ask(int32_t mode)
    {
        mTable->mAmount = float(mode);
        mTable->mFlags |= TsMotorSkills::kResetRequested;
    }
    /// One frame of the skill, then the clock moves on; the loop result.
    int32_t Step()
    {
        const int32_t result = mTable->LoopSkill(MoveDofMSState::kName);
        Frame::SyncDirtyList();
        HbGameClock* clock = HbGameClock::Instance();
        clock->mStepSeconds = kStep;
        clock->mGameTime += int64_t(double(kStep) * double(HbPerformanceFrequency()) + 0.5);
        return result;
    }
    MoveDofMSState* Skill() { return static_cast<MoveDofMSState*>(mTable->FindSkill(MoveDofMSState::kName)); }
    Vector Position() { return *mDof->GetNode()->GetWorldPosition(); }
    int32_t StateOverEvents()
    {
        int32_t n = 0;
        for (int32_t i = 0; i < mWorld->GetQueuedCount(); ++i)
        {
            TsSendEvent* e = mWorld->GetQueuedEvent(i);
            n += e->id == kEventMapStateOver && e->sender == mDof && e->target == mDof;
        }
        return n;
    }

    std::string mPath;
    MobileDof* mDof = nullptr;
    TsMotorSkills* mTable = nullptr;
};

TEST_F(MobileDofTest, SetupTakesTheParametersTheModelAndTheTravel)
{
    Build();
    EXPECT_EQ(mDof->mParameters.names[0], "SD_DOOR");
    EXPECT_EQ(mDof->mParameters.names[1], "") << "None stands for no name";
    EXPECT_EQ(mDof->mEnd.pos.x, 300.0f);
    EXPECT_FLOAT_EQ(mDof->mTravel, 300.0f);
    EXPECT_FLOAT_EQ(mDof->mOpenSpeed, 100.0f);
    EXPECT_FLOAT_EQ(mDof->mOpenAcceleration, 100.0f);
    EXPECT_FLOAT_EQ(mDof->mOpenDeceleration, -100.0f);
    EXPECT_FLOAT_EQ(mDof->mCloseSpeed, 200.0f);
    EXPECT_FLOAT_EQ(mDof->mTimeRatio, 2.0f);
    EXPECT_FLOAT_EQ(mDof->mOpenSpinRate, 5.0f);

    MobileDof other;
    EXPECT_EQ(other.Setup("NO_SUCH_MDF", "_DOOR_TDOOR"), 0);
    EXPECT_EQ(other.Setup("DOOR_MDF", ""), 0) << "a model without an open placement";
}

TEST_F(MobileDofTest, AnOpeningCruisesAndEndsOnItsPlacementAfterFourSeconds)
{
    Build();
    Ask(MoveDofMSState::kOpen);
    int32_t frames = 0;
    float fastest = 0.0f;
    float last = 0.0f;
    while (Step() == 1 && frames < 1000)
    {
        ++frames;
        fastest = std::fmax(fastest, Skill()->GetSpeed());
        EXPECT_GE(Position().x, last - 1e-3f) << "an opening never goes back";
        last = Position().x;
    }
    EXPECT_NEAR(fastest, 100.0f, 1e-3f);
    EXPECT_NEAR(frames * kStep, 4.0f, 0.1f);
    EXPECT_TRUE(mTable->mFlags & TsMotorSkills::kSucceeded);
    EXPECT_EQ(StateOverEvents(), 1);
    EXPECT_NEAR(Position().x, 300.0f, 1e-3f);

    // Already open: the next opening ends at once.
    ScriptWorldTest::Frame(0.0f); // delivers the queued events
    ASSERT_EQ(StateOverEvents(), 0);
    Ask(MoveDofMSState::kOpen);
    EXPECT_EQ(Step(), 0);
    EXPECT_TRUE(mTable->mFlags & TsMotorSkills::kSucceeded);
    EXPECT_EQ(StateOverEvents(), 1);
}

TEST_F(MobileDofTest, ReversingHalfWayGoesBackFromTheSamePoint)
{
    Build();
    Ask(MoveDofMSState::kOpen);
    for (int i = 0; i < 120; ++i)
        ASSERT_EQ(Step(), 1);
    const float before = Position().x;
    ASSERT_GT(before, 50.0f);
    Ask(MoveDofMSState::kClose);
    float last = before;
    int32_t frames = 0;
    while (Step() == 1 && frames < 1000)
    {
        ++frames;
        EXPECT_LE(std::fabs(Position().x - last), 200.0f * kStep + 0.01f) << "no jump at frame " << frames;
        EXPECT_LE(Position().x, last + 1e-3f);
        last = Position().x;
    }
    EXPECT_LT(frames * kStep, 2.0f) << "a part of the closing remains";
    EXPECT_NEAR(Position().x, 0.0f, 1e-3f);
    EXPECT_TRUE(mTable->mFlags & TsMotorSkills::kSucceeded);
}

TEST_F(MobileDofTest, ZeroTimesMoveAtOnceAndZeroTravelDividesNothing)
{
    MdfRecord instant;
    Write(MdfWriter::Bytes(instant));
    gOpenAt = {0.0f, 0.0f, 0.0f};
    Build();
    EXPECT_EQ(mDof->mOpenSpeed, 0.0f);
    EXPECT_EQ(mDof->mTravel, 0.0f);
    Ask(MoveDofMSState::kOpen);
    EXPECT_EQ(Step(), 0);
    EXPECT_TRUE(std::isfinite(Position().x));
    mScene->GetRoot()->RemoveChild(mDof->GetNode());

    // A turning door with zero times lands on its open placement in one frame.
    FrameObject::SetFrame(&gMarker, nullptr);
    gOpenAt = {0.0f, 0.0f, 0.0f};
    gOpenTurn = 90.0f;
    MobileDof* turning = new MobileDof();
    turning->AddRef();
    ASSERT_EQ(turning->Setup("DOOR_MDF", "_DOOR_TDOOR"), 1);
    EXPECT_NEAR(turning->mTravel, 90.0f, 1e-3f);
    TsMotorSkills* table = turning->GetMotorSkills();
    ASSERT_EQ(table->AddSkill(MoveDofMSState::Create(turning, Py_None)), 1);
    table->mAmount = float(MoveDofMSState::kOpen);
    table->mFlags |= TsMotorSkills::kResetRequested;
    EXPECT_EQ(table->LoopSkill(MoveDofMSState::kName), 0);
    Frame::SyncDirtyList();
    const Vector at = *turning->GetNode()->GetWorldAt();
    EXPECT_NEAR(std::fabs(at.x), 1.0f, 1e-3f);
    FrameObject::SetFrame(&gMarker, nullptr);
    turning->Release();
}

TEST_F(MobileDofTest, SpinsWrapAndOtherActorsAreRefused)
{
    MdfRecord spinning = Door();
    spinning.spinStart = 600.0f;
    Write(MdfWriter::Bytes(spinning));
    Build();
    Ask(MoveDofMSState::kSpinClosed);
    for (int i = 0; i < 60; ++i)
        EXPECT_EQ(Step(), 1);
    EXPECT_NEAR(Skill()->GetSpinAngle(), 240.0f, 0.5f); // 600 degrees in one second
    EXPECT_TRUE(mTable->mFlags & TsMotorSkills::kRunning);
    Ask(7);
    EXPECT_EQ(Step(), 0);

    TsDof plain;
    MoveDofMSState skill(nullptr);
    EXPECT_EQ(skill.AttachTo(&plain), 0);
    EXPECT_EQ(skill.AttachTo(mDof), 1);
}

TEST_F(MobileDofTest, MoveDofAsksTheModeAndRestartsTheSkill)
{
    Build();
    TsActorsInstall(mWorld);
    mWorld->StartScripting();
    ASSERT_EQ(Exec("import skills\ndoor = 'door'"), "");
    mDof->BindScriptObject(PyDict_GetItemString(scripttest::MainDict(), "door"));
    mWorld->AddActor(mDof);
    EXPECT_EQ(Eval("(skills.MS_MOVE_DOF, skills.MS_ERROR_MDOF_FINISH)"), "(5971, 2)");
    EXPECT_EQ(Exec("skills.MoveDof(door, 2)"), "");
    EXPECT_TRUE(mTable->mFlags & TsMotorSkills::kResetRequested);
    EXPECT_EQ(Step(), 1);
    EXPECT_EQ(Skill()->GetMode(), MoveDofMSState::kOpen);
    EXPECT_EQ(Exec("skills.MoveDof('nobody', 2)"), "RuntimeError: MoveDof : actor has no motor skills");
    mWorld->Hooks().fillActorToolsModule = nullptr;
    mWorld->Hooks().fillSoundModule = nullptr;
}
} // namespace
} // namespace scriptworldtest
