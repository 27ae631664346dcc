// Bone profiles and the bone, profile and event name tables.
#include "rdnameidtable.h"
#include "rdprofile.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{

std::vector<int> List(const RdProfile& p)
{
    return std::vector<int>(p.mBones, p.mBones + p.mBoneCount);
}

TEST(RdProfile, AddBoneKeepsTheListSortedAndIgnoresBonesFrom64)
{
    RdProfile p;
    for (int bone : {5, 2, 9})
        p.AddBone(bone);
    EXPECT_EQ(List(p), (std::vector<int>{2, 5, 9}));
    const uint64_t mask = p.mMask;
    p.AddBone(64);
    p.AddBone(200);
    p.AddBone(-1);
    p.AddBone(5);
    EXPECT_EQ(p.mMask, mask);
    EXPECT_EQ(List(p), (std::vector<int>{2, 5, 9}));
    p.AddBone(63);
    EXPECT_EQ(List(p).back(), 63) << "63 is the last bone a profile holds";
}

TEST(RdProfile, AllListsOnlyBonesBelowTheMaximum)
{
    RdProfile p;
    p.mMaxBoneCount = 40;
    p.SetAll();
    EXPECT_EQ(p.mId, RdProfile::kAllId);
    EXPECT_EQ(p.mMask, ~uint64_t(0));
    ASSERT_EQ(p.mBoneCount, 40);
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(p.mBones[i], i);

    // A maximum beyond 64 still lists 64 bones at most.
    RdProfile big;
    big.mMaxBoneCount = 100;
    big.SetAll();
    EXPECT_EQ(big.mBoneCount, 64);
}

TEST(RdProfile, RemoveBonesReportsWhetherTheMaskChanged)
{
    RdProfile a, b, c;
    for (int bone : {1, 3, 7})
        a.AddBone(bone);
    b.AddBone(2);
    EXPECT_EQ(a.RemoveBones(b), 0);
    EXPECT_EQ(List(a), (std::vector<int>{1, 3, 7}));
    c.AddBones((uint64_t(1) << 3) | (uint64_t(1) << 20));
    EXPECT_EQ(a.RemoveBones(c), 1);
    EXPECT_EQ(List(a), (std::vector<int>{1, 7}));

    // Records come from the pool and copy whole.
    RdProfile* pooled = new RdProfile(a);
    ASSERT_NE(pooled, nullptr);
    EXPECT_EQ(List(*pooled), List(a));
    delete pooled;
}

TEST(NameIdTable, FixedTablesFindExactNames)
{
    struct Case
    {
        NameIdTable* table;
        const char* name;
        int32_t id;
    };
    const Case cases[] = {
        {NameIdTable::Bones(), "Support_Canon", 162},
        {NameIdTable::Bones(), "support_canon", 0},
        {NameIdTable::Bones(), "Head", 27},
        {NameIdTable::Bones(), "Midlle_EyeBrow", 42},
        {NameIdTable::Bones(), "RighUplegPortD", 127},
        {NameIdTable::Bones(), "DummyRootBone", 1},
        {NameIdTable::Events(), "EVENTID_STRIKE", 13},
        {NameIdTable::Events(), "EVENTID_LEFT_FOOT_ON_GROUND", 1},
        {NameIdTable::Events(), "NOT_AN_EVENT", 0},
        {NameIdTable::Profiles(), "LOOK_AT", 14},
        {NameIdTable::Profiles(), "ALL", 1},
        {NameIdTable::Profiles(), "OVER_MTORSO", 16},
        {NameIdTable::Profiles(), "XYZ", 0},
    };
    for (const Case& c : cases)
    {
        ASSERT_NE(c.table, nullptr);
        EXPECT_EQ(c.table->FindIdByName(c.name), c.id) << c.name;
    }
    EXPECT_EQ(NameIdTable::Bones()->GetCount(), 163);
    EXPECT_EQ(NameIdTable::Events()->GetCount(), 14);
    EXPECT_EQ(NameIdTable::Profiles()->GetCount(), 17);
    EXPECT_EQ(NameIdTable::Bones(), NameIdTable::Bones()) << "one table per kind";
}

TEST(NameIdTable, ASecondIdForANameChangesNothing)
{
    NameIdTable* bones = NameIdTable::Bones();
    bones->Insert(500, "Head");
    EXPECT_EQ(bones->GetCount(), 163);
    EXPECT_EQ(bones->FindIdByName("Head"), 27);
    std::string name;
    EXPECT_EQ(bones->FindNameById(500, name), 0);

    NameIdTable own;
    own.Insert(3, "a");
    own.Insert(4, "b");
    own.Insert(3, "c");
    EXPECT_EQ(own.Contains("c"), 1) << "a new name replaces the id's old one";
    EXPECT_EQ(own.Contains("a"), 0);
    EXPECT_EQ(own.FindIdByName("b"), 4);
}

} // namespace
