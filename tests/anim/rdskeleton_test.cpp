// The skeleton resource: bones by name-table id, profiles read by name, the appended "ALL",
// and the file reader's checks on damaged files.
#include "anim_fixture.h"
#include "hbresource.h"
#include "rdnameidtable.h"
#include "rdprofile.h"
#include "rdskeleton.h"
#include "skeletonwriter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace
{

std::vector<int> List(const RdProfile* p)
{
    return std::vector<int>(p->mBones, p->mBones + p->mBoneCount);
}

void ReadBytes(RdSkeleton& skeleton, std::vector<uint8_t> bytes)
{
    HbMChunkStream stream(new VectorStreamBuf(std::move(bytes)));
    skeleton.Read(&stream);
}

const std::vector<std::string> kBones = {"Root", "Pelvis", "NotABone", "Left_Upleg", "Right_Upleg", "Head", "Strange"};

TEST(RdSkeleton, ProfilesOfUnknownNamesStayNullAndAllIsAppended)
{
    const std::vector<SkeletonProfileRow> profiles = {
        {"HIGH_PART", {"Pelvis", "Head"}},
        {"XYZ", {"Root", "Head", "Pelvis"}},
        {"LOW_PART", {"Right_Upleg", "NoSuchBone", "Left_Upleg", "Pelvis"}},
        {"ALL", {"Root"}},
    };
    RdSkeleton skeleton;
    ReadBytes(skeleton, SkeletonWriter::Bytes(kBones, &profiles));

    ASSERT_EQ(skeleton.GetBoneCount(), 7);
    EXPECT_EQ(skeleton.GetBone(0).id, 2);
    EXPECT_EQ(skeleton.GetBone(5).id, 27);
    EXPECT_EQ(skeleton.GetBone(5).index, 5);
    EXPECT_EQ(skeleton.GetBone(2).id, 0) << "an unknown bone name reads as id 0";
    ASSERT_NE(skeleton.FindBone(0), nullptr);
    EXPECT_EQ(skeleton.FindBone(0)->index, 2) << "the first bone of id 0";
    EXPECT_EQ(skeleton.FindBone(99), nullptr);

    ASSERT_EQ(skeleton.GetProfileCount(), 5);
    ASSERT_NE(skeleton.GetProfile(0), nullptr);
    EXPECT_EQ(skeleton.GetProfile(0)->mId, 2);
    EXPECT_EQ(List(skeleton.GetProfile(0)), (std::vector<int>{1, 5}));
    EXPECT_EQ(skeleton.GetProfile(1), nullptr) << "XYZ is no profile name; its bones were read past";
    ASSERT_NE(skeleton.GetProfile(2), nullptr);
    EXPECT_EQ(skeleton.GetProfile(2)->mId, 3);
    // "NoSuchBone" reads as id 0, whose first bone is "NotABone" (index 2).
    EXPECT_EQ(List(skeleton.GetProfile(2)), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(skeleton.GetProfile(2)->mMaxBoneCount, 7);

    RdProfile* ownAll = skeleton.GetProfile(3);
    RdProfile* appended = skeleton.GetProfile(4);
    ASSERT_NE(ownAll, nullptr);
    EXPECT_EQ(ownAll->mBoneCount, 7) << "the file's ALL is every bone too";
    EXPECT_EQ(skeleton.FindProfile(1), appended) << "FindProfile(1) is the appended ALL";
    EXPECT_EQ(List(appended), (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(skeleton.FindProfile(3), skeleton.GetProfile(2));
    EXPECT_EQ(skeleton.FindProfile(12), nullptr);
}

TEST(RdSkeleton, MissingChunksGiveAnEmptySkeletonWithAll)
{
    RdSkeleton skeleton;
    ReadBytes(skeleton, SkeletonWriter::Bytes(kBones, nullptr));
    EXPECT_EQ(skeleton.GetBoneCount(), 7);
    ASSERT_EQ(skeleton.GetProfileCount(), 1);
    EXPECT_EQ(skeleton.FindProfile(1)->mBoneCount, 7);

    RdSkeleton empty;
    ReadBytes(empty, {});
    EXPECT_EQ(empty.GetBoneCount(), 0);
    ASSERT_EQ(empty.GetProfileCount(), 1);
    EXPECT_EQ(empty.FindProfile(1)->mBoneCount, 0);
}

TEST(RdSkeleton, HugeCountsAreRefusedAtOnce)
{
    // A bone chunk claiming 10^9 bones in 40 bytes, and a profile chunk claiming 10^9
    // profiles: neither allocates nor loops.
    std::vector<uint8_t> bytes = SkeletonWriter::Bytes({"Root", "Pelvis"}, nullptr);
    ASSERT_GE(bytes.size(), 32u);
    const uint32_t huge = 1000000000;
    std::memcpy(bytes.data() + 28, &huge, 4);
    RdSkeleton skeleton;
    ReadBytes(skeleton, bytes);
    EXPECT_EQ(skeleton.GetBoneCount(), 0);

    std::vector<SkeletonProfileRow> profiles = {{"HEAD", {"Head"}}};
    bytes = SkeletonWriter::Bytes(kBones, &profiles);
    const std::vector<uint8_t> boneChunk = SkeletonWriter::Bytes(kBones, nullptr);
    std::memcpy(bytes.data() + boneChunk.size() + 28, &huge, 4);
    ReadBytes(skeleton, bytes);
    EXPECT_EQ(skeleton.GetBoneCount(), 7);
    EXPECT_EQ(skeleton.GetProfileCount(), 1);
}

TEST(RdSkeleton, MutatedFilesAreReadSafely)
{
    const std::vector<SkeletonProfileRow> profiles = {
        {"HIGH_PART", {"Pelvis", "Head"}}, {"XYZ", {"Root"}}, {"LOW_PART", {"Left_Upleg"}}};
    const std::vector<uint8_t> bytes = SkeletonWriter::Bytes(kBones, &profiles);
    animtest::SweepMutations(bytes, 3000,
                             [](std::vector<uint8_t>& copy)
                             {
                                 RdSkeleton skeleton;
                                 ReadBytes(skeleton, copy);
                                 ASSERT_GE(skeleton.GetProfileCount(), 1);
                                 const RdProfile* all = skeleton.FindProfile(1);
                                 ASSERT_NE(all, nullptr);
                                 EXPECT_LE(all->mBoneCount, skeleton.GetBoneCount());
                             });
}

TEST(RdSkeleton, IsASharedResourceOfTypeSkl)
{
    HbResourceCreateFn create = HbResourceManager::Instance()->FindType("SKL");
    ASSERT_NE(create, nullptr);
    HbRoot* object = create();
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->GetTypeKey(), "SKL");
    EXPECT_EQ(object->IsShared(), 1);
    EXPECT_NE(HbCastTo<RdSkeleton>(object), nullptr);
    delete object;
}

} // namespace
