// Hierarchical animation: the frame extension and its stream, the matrix walk against a
// double-precision reference, the standard keyframe's arithmetic, the binding of entries to
// frames and what happens when bones die, and standard animations from the writer.
#include "pluginfixture.h"

#include "animation.h"
#include "animationwriter.h"
#include "byteorder.h"
#include "frame.h"
#include "hierarchy.h"
#include "plugin.h"
#include "stdkey.h"
#include "stream.h"

#include <array>
#include <cmath>

namespace
{
using Mat = std::array<double, 12>; // right, up, at, position rows

Mat FromQuat(const AnimQuat& q, const Vector& t)
{
    const double x = q.x, y = q.y, z = q.z, w = q.w;
    return {1 - 2 * (y * y + z * z), 2 * (x * y + z * w),     2 * (x * z - y * w),
            2 * (x * y - z * w),     1 - 2 * (x * x + z * z), 2 * (y * z + x * w),
            2 * (x * z + y * w),     2 * (y * z - x * w),     1 - 2 * (x * x + y * y),
            t.x,                     t.y,                     t.z};
}

Mat FromMatrix(const Matrix& m)
{
    return {m.right.x, m.right.y, m.right.z, m.up.x, m.up.y, m.up.z, m.at.x, m.at.y, m.at.z, m.pos.x, m.pos.y, m.pos.z};
}

// a x b for row vectors: a first, then b.
Mat Mul(const Mat& a, const Mat& b)
{
    Mat r{};
    for (int row = 0; row < 4; ++row)
        for (int c = 0; c < 3; ++c)
        {
            double v = row == 3 ? b[9 + c] : 0.0;
            for (int k = 0; k < 3; ++k)
                v += a[row * 3 + k] * b[k * 3 + c];
            r[row * 3 + c] = v;
        }
    return r;
}

const Mat kIdentity = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};

void ExpectNear(const Matrix& m, const Mat& want, const char* what, int node)
{
    const Mat got = FromMatrix(m);
    for (int i = 0; i < 12; ++i)
        EXPECT_NEAR(got[i], want[i], 1e-5) << what << " node " << node << " element " << i;
}

AnimQuat Axis(float ax, float ay, float az, float degrees)
{
    const float n = std::sqrt(ax * ax + ay * ay + az * az);
    const float h = degrees * 3.14159265f / 360.0f;
    const float s = std::sin(h) / n;
    return {ax * s, ay * s, az * s, std::cos(h)};
}

StdInterpFrame* Node(Hierarchy* h, int32_t i)
{
    return static_cast<StdInterpFrame*>(AnimInterpolator::GetInterpFrame(h->interpolator, i));
}

// root -> {A -> {C}, B -> {D}} in depth-first order root, A, C, B, D.
const uint32_t kTreeFlags[] = {0, kHierarchyPush, kHierarchyPop, 0, kHierarchyPop};
const int32_t kTreeIds[] = {10, 11, 13, 12, 14};
const int32_t kTreeParents[] = {-1, 0, 1, 0, 3};

class HierarchyTest : public PluginFixture
{
protected:
    void TearDown() override
    {
        Frame::DestroyHierarchy(mTop);
        PluginFixture::TearDown();
    }

    /// A parent frame (rotated and moved) holding the skeleton's root frame, the five bones with
    /// their node ids, and a hierarchy on the root with the given flags.
    Hierarchy* BuildTree(uint32_t hierarchyFlags)
    {
        mTop = Frame::Create();
        const Vector axis = {0.3f, 1.0f, -0.2f};
        const Vector move = {1.0f, -2.0f, 3.5f};
        Frame::Rotate(mTop, &axis, 40.0f, kCombineReplace);
        Frame::Translate(mTop, &move, kCombinePostConcat);
        for (int i = 0; i < 5; ++i)
        {
            mBones[i] = Frame::Create();
            HierarchyFrame::SetAnimNodeId(mBones[i], kTreeIds[i]);
            Frame::AddChild(kTreeParents[i] < 0 ? mTop : mBones[kTreeParents[i]], mBones[i]);
        }
        Hierarchy* h = Hierarchy::Create(5, kTreeFlags, kTreeIds, hierarchyFlags, int32_t(sizeof(StdInterpFrame)));
        HierarchyFrame::SetHierarchy(mBones[0], h);
        Hierarchy::AttachFrames(h);
        for (int i = 0; i < 5; ++i)
        {
            Node(h, i)->q = Axis(float(i) + 0.5f, 1.0f, float(2 - i), 20.0f + 25.0f * float(i));
            Node(h, i)->t = {float(i), 0.5f * float(i) - 1.0f, 2.0f};
        }
        return h;
    }

    Frame* mTop = nullptr;
    Frame* mBones[5] = {};
};

TEST_F(HierarchyTest, ExtensionWritesAndReadsBackByteIdentical)
{
    Hierarchy* h = BuildTree(kHierarchyUpdateModelling);
    Stream* out = Stream::Open(kStreamMemory, kStreamWrite, nullptr);
    ASSERT_NE(PluginRegistry::WriteExtensionChunk(Frame::Registry(), out, mBones[0]), nullptr);
    const std::vector<uint8_t> first = CloseWriter(out);
    // Extension header, sub-chunk header, then version, node id, count, flags, size, entries.
    ASSERT_EQ(first.size(), 12u + 12u + 20u + 60u);
    const uint8_t* body = first.data() + 24;
    EXPECT_EQ(ByteOrder::Load32(first.data() + 12), uint32_t(Hierarchy::kPluginId));
    EXPECT_EQ(ByteOrder::Load32(body), 0x100u);
    EXPECT_EQ(ByteOrder::Load32(body + 4), 10u);
    EXPECT_EQ(ByteOrder::Load32(body + 8), 5u);
    EXPECT_EQ(ByteOrder::Load32(body + 12), kHierarchyUpdateModelling);
    EXPECT_EQ(ByteOrder::Load32(body + 16), 36u); // the stored size of the standard keyframe
    EXPECT_EQ(ByteOrder::Load32(body + 20 + 12 * 2), 13u);
    EXPECT_EQ(ByteOrder::Load32(body + 20 + 12 * 1 + 8), kHierarchyPush);

    std::vector<uint8_t> copy = first;
    Stream* in = OpenReader(copy);
    Frame* read = Frame::Create();
    ASSERT_NE(PluginRegistry::ReadExtensionChunk(Frame::Registry(), in, read), nullptr);
    Stream::Close(in, nullptr);
    Hierarchy* got = HierarchyFrame::GetHierarchy(read);
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(got->rootFrame, read);
    EXPECT_EQ(got->nodes[4].nodeId, 14);
    EXPECT_EQ(got->interpolator->maxInterpKeyFrameSize, int32_t(sizeof(StdInterpFrame)));
    out = Stream::Open(kStreamMemory, kStreamWrite, nullptr);
    PluginRegistry::WriteExtensionChunk(Frame::Registry(), out, read);
    EXPECT_EQ(CloseWriter(out), first);
    Frame::Destroy(read);

    // Larger stored keyframe sizes go back out as the file gave them, whatever the port
    // keeps in memory.
    for (uint32_t stored : {40u, 44u, 52u, 100u})
    {
        std::vector<uint8_t> bytes = first;
        ByteOrder::Store32(bytes.data() + 24 + 16, stored);
        std::vector<uint8_t> input = bytes;
        in = OpenReader(input);
        read = Frame::Create();
        ASSERT_NE(PluginRegistry::ReadExtensionChunk(Frame::Registry(), in, read), nullptr) << stored;
        Stream::Close(in, nullptr);
        out = Stream::Open(kStreamMemory, kStreamWrite, nullptr);
        PluginRegistry::WriteExtensionChunk(Frame::Registry(), out, read);
        EXPECT_EQ(CloseWriter(out), bytes) << stored;
        Frame::Destroy(read);
    }

    // A bone writes its node id alone; a frame without id or hierarchy writes nothing.
    EXPECT_EQ(PluginRegistry::GetExtensionSize(Frame::Registry(), mBones[2]), 12 + 12);
    EXPECT_EQ(PluginRegistry::GetExtensionSize(Frame::Registry(), mTop), 0);
    (void)h;
}

TEST_F(HierarchyTest, UpdateMatricesMatchesADoublePrecisionWalk)
{
    struct Case
    {
        const char* what;
        uint32_t flags;
    };
    const Case cases[] = {
        {"0x1000", kHierarchyUpdateModelling},
        {"0x2000", kHierarchyUpdateWorld},
        {"0x1000|0x2000", kHierarchyUpdateModelling | kHierarchyUpdateWorld},
        {"0x4000|0x2000", kHierarchyLocalSpace | kHierarchyUpdateWorld},
        {"no matrix array, 0x1000|0x2000", kHierarchyNoMatrices | kHierarchyUpdateModelling | kHierarchyUpdateWorld},
    };
    for (const Case& c : cases)
    {
        Hierarchy* h = BuildTree(c.flags);
        const Mat parentOfRoot = FromMatrix(*Frame::GetWorldMatrix(mTop));
        Mat world[5], local[5], relative[5];
        for (int i = 0; i < 5; ++i)
        {
            local[i] = FromQuat(Node(h, i)->q, Node(h, i)->t);
            const int p = kTreeParents[i];
            world[i] = Mul(local[i], p < 0 ? parentOfRoot : world[p]);
            relative[i] = Mul(local[i], p < 0 ? kIdentity : relative[p]);
        }
        ASSERT_EQ(Hierarchy::UpdateMatrices(h), 1);
        for (int i = 0; i < 5; ++i)
        {
            // In local space the array is relative to the root's parent; the frames still
            // receive world matrices.
            if (h->matrices)
                ExpectNear(h->matrices[i], c.flags & kHierarchyLocalSpace ? relative[i] : world[i], c.what, i);
            if (c.flags & kHierarchyUpdateModelling)
                ExpectNear(mBones[i]->modelling, local[i], c.what, i);
            if (c.flags & kHierarchyUpdateWorld)
            {
                ExpectNear(mBones[i]->world, world[i], c.what, i);
                EXPECT_FALSE(mBones[i]->privateFlags & kFrameMatrixDirty) << c.what;
            }
        }
        // With modelling matrices alone the engine recomputes the world matrices itself.
        if (c.flags == kHierarchyUpdateModelling)
            for (int i = 0; i < 5; ++i)
                ExpectNear(*Frame::GetWorldMatrix(mBones[i]), world[i], "synchronised", i);
        Frame::DestroyHierarchy(mTop);
        mTop = nullptr;
    }
}

TEST_F(HierarchyTest, LeavesFlaggedThreeShareTheirParent)
{
    const uint32_t flags[] = {0, kHierarchyPush | kHierarchyPop, kHierarchyPush | kHierarchyPop, kHierarchyPop};
    Hierarchy* h = Hierarchy::Create(4, flags, nullptr, 0, int32_t(sizeof(StdInterpFrame)));
    ASSERT_NE(h, nullptr);
    for (int i = 0; i < 4; ++i)
    {
        Node(h, i)->q = Axis(1, float(i), 0.5f, 30.0f * float(i + 1));
        Node(h, i)->t = {float(i), 1, -float(i)};
    }
    ASSERT_EQ(Hierarchy::UpdateMatrices(h), 1);
    const Mat root = FromQuat(Node(h, 0)->q, Node(h, 0)->t);
    ExpectNear(h->matrices[0], root, "root, unparented", 0);
    for (int i = 1; i < 4; ++i)
        ExpectNear(h->matrices[i], Mul(FromQuat(Node(h, i)->q, Node(h, i)->t), root), "leaf", i);
    Hierarchy::Destroy(h);
}

TEST_F(HierarchyTest, TablesThatWouldLeaveTheStackAreRefused)
{
    std::vector<uint32_t> deep(32, kHierarchyPush);
    deep.back() = kHierarchyPop;
    EXPECT_EQ(Hierarchy::Create(int32_t(deep.size()), deep.data(), nullptr, 0, int32_t(sizeof(StdInterpFrame))),
              nullptr);
    const uint32_t earlyPop[] = {0, kHierarchyPop, 0, kHierarchyPop};
    EXPECT_EQ(Hierarchy::Create(4, earlyPop, nullptr, 0, int32_t(sizeof(StdInterpFrame))), nullptr);
    const uint32_t strange[] = {0, 4};
    EXPECT_EQ(Hierarchy::Create(2, strange, nullptr, 0, int32_t(sizeof(StdInterpFrame))), nullptr);
    std::vector<uint32_t> thirty(31, kHierarchyPush);
    thirty[30] = kHierarchyPop; // 30 pushes, then the last entry pops
    Hierarchy* ok = Hierarchy::Create(31, thirty.data(), nullptr, 0, int32_t(sizeof(StdInterpFrame)));
    EXPECT_NE(ok, nullptr);
    Hierarchy::Destroy(ok);
}

TEST_F(HierarchyTest, StandardKeyframeArithmetic)
{
    // A negative dot product takes the short arc, turning b's stored quaternion around.
    StdKeyFrame a{{nullptr, 0.0f}, {0, 0, 0, 1}, {0, 0, 0}};
    const AnimQuat quarter = Axis(0, 0, 1, 90.0f);
    StdKeyFrame b{{&a.header, 2.0f}, {-quarter.x, -quarter.y, -quarter.z, -quarter.w}, {2, 4, 6}};
    StdInterpFrame out{};
    StdKeyFrame::Interpolate(&out, &a, &b, 1.0f, nullptr);
    const AnimQuat eighth = Axis(0, 0, 1, 45.0f);
    EXPECT_NEAR(out.q.z, eighth.z, 1e-5);
    EXPECT_NEAR(out.q.w, eighth.w, 1e-5);
    EXPECT_NEAR(b.q.w, quarter.w, 1e-6);
    EXPECT_NEAR(out.t.y, 2.0f, 1e-6);

    // Above a dot product of 0.999 the quaternions are mixed linearly.
    StdKeyFrame c{{&a.header, 2.0f}, Axis(0, 0, 1, 1.0f), {0, 0, 0}};
    StdKeyFrame::Interpolate(&out, &a, &c, 0.5f, nullptr);
    EXPECT_FLOAT_EQ(out.q.z, 0.75f * 0.0f + 0.25f * c.q.z);
    EXPECT_FLOAT_EQ(out.q.w, 0.75f * 1.0f + 0.25f * c.q.w);

    // Equal times: fraction 0, no NaN.
    StdKeyFrame d{{&a.header, 0.0f}, quarter, {1, 1, 1}};
    StdKeyFrame::Interpolate(&out, &a, &d, 0.0f, nullptr);
    EXPECT_EQ(out.q.w, 1.0f);
    EXPECT_EQ(out.t.x, 0.0f);

    // Add, then multiply by the reciprocal of the first, gives the second back; blending in
    // place reads its input before writing.
    StdInterpFrame p{{}, Axis(1, 2, 3, 50.0f), {1, 2, 3}}, q{{}, Axis(-1, 0, 2, 70.0f), {4, 5, 6}}, sum{};
    StdKeyFrame::Add(&sum, &p, &q);
    StdKeyFrame::MulRecip(&sum, &p);
    EXPECT_NEAR(sum.q.x, q.q.x, 1e-5);
    EXPECT_NEAR(sum.q.w, q.q.w, 1e-5);
    EXPECT_NEAR(sum.t.z, 6.0f, 1e-5);
    StdInterpFrame e = p;
    StdKeyFrame::Blend(&e, &e, &q, 1.0f);
    EXPECT_NEAR(e.q.y, q.q.y, 1e-5);
    EXPECT_NEAR(e.t.x, 4.0f, 1e-5);
}

TEST_F(HierarchyTest, DyingBonesLeaveNoEntryBehind)
{
    Hierarchy* h = BuildTree(kHierarchyUpdateModelling | kHierarchyUpdateWorld);
    Frame::Destroy(mBones[2]); // a leaf bone dies before its skeleton
    EXPECT_EQ(h->nodes[2].frame, nullptr);
    EXPECT_EQ(h->nodes[1].frame, mBones[1]);
    EXPECT_EQ(Hierarchy::UpdateMatrices(h), 1); // writes into no freed frame

    // A clone of the skeleton gets its own hierarchy, bound once its frames are attached.
    Frame* clone = Frame::CloneHierarchy(mBones[0]);
    ASSERT_NE(clone, nullptr);
    Frame::SetRootInSubtree(mBones[0]);
    Frame::SetRootInSubtree(clone);
    Hierarchy* copy = HierarchyFrame::GetHierarchy(clone);
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, h);
    EXPECT_EQ(copy->nodes[3].nodeId, 12);
    Hierarchy::AttachFrames(copy);
    EXPECT_EQ(HierarchyFrame::GetAnimNodeId(copy->nodes[3].frame), 12);
    EXPECT_EQ(copy->nodes[2].frame, nullptr);
    Frame::DestroyHierarchy(clone);

    // The root dying takes its hierarchy with it (the fixture checks no block is left).
    Frame::Destroy(mBones[0]);
    Frame::DestroyHierarchy(mBones[1]);
    Frame::DestroyHierarchy(mBones[3]);
}

TEST_F(HierarchyTest, WriterAnimationsPlayOnAHierarchy)
{
    const AnimQuat none = {0, 0, 0, 1};
    const AnimQuat turn = Axis(0, 1, 0, 90.0f);
    const std::vector<AnimationKeyRow> rows = {
        {1, 2.0f, {turn.x, turn.y, turn.z, turn.w}, {0, 1, 0}},
        {0, 0.0f, {none.x, none.y, none.z, none.w}, {0, 0, 0}},
        {1, 0.0f, {none.x, none.y, none.z, none.w}, {0, 1, 0}},
        {0, 1.0f, {none.x, none.y, none.z, none.w}, {2, 0, 0}},
        {0, 2.0f, {none.x, none.y, none.z, none.w}, {4, 0, 0}},
    };
    std::vector<uint8_t> bytes = AnimationWriter::StdAnimation(rows, 2.0f);
    ASSERT_FALSE(bytes.empty());
    Stream* in = OpenReader(bytes);
    uint32_t size = 0;
    ASSERT_EQ(Stream::FindChunk(in, 27, &size, nullptr), 1);
    Animation* anim = Animation::StreamRead(in, size);
    Stream::Close(in, nullptr);
    ASSERT_NE(anim, nullptr);
    EXPECT_EQ(anim->nodeCount, 2);
    EXPECT_EQ(anim->keyFrameCount, 5);

    const uint32_t flags[] = {0, kHierarchyPop};
    Hierarchy* h = Hierarchy::Create(2, flags, nullptr, 0, int32_t(sizeof(StdInterpFrame)));
    ASSERT_EQ(AnimInterpolator::SetAnimation(h->interpolator, anim), 1);
    AnimInterpolator::AddTime(h->interpolator, 1.5f);
    Hierarchy::UpdateMatrices(h);
    EXPECT_NEAR(h->matrices[0].pos.x, 3.0f, 1e-5);
    const Mat child = Mul(FromQuat(Node(h, 1)->q, Node(h, 1)->t), FromMatrix(h->matrices[0]));
    ExpectNear(h->matrices[1], child, "child", 1);
    EXPECT_NEAR(Node(h, 1)->q.y, Axis(0, 1, 0, 67.5f).y, 1e-5);
    Hierarchy::Destroy(h);
    Animation::Destroy(anim);

    // Tables that are no animation give no bytes.
    EXPECT_TRUE(AnimationWriter::StdAnimation({rows[1], rows[3]}, 0.0f).empty());
    EXPECT_TRUE(AnimationWriter::StdAnimation({rows[1]}, 2.0f).empty());
    EXPECT_TRUE(AnimationWriter::StdAnimation({rows[0], rows[2], rows[3]}, 2.0f).empty());
}

TEST_F(HierarchyTest, MutatedExtensionsAndAnimationsAreReadSafely)
{
    BuildTree(kHierarchyUpdateModelling);
    Stream* out = Stream::Open(kStreamMemory, kStreamWrite, nullptr);
    ASSERT_NE(PluginRegistry::WriteExtensionChunk(Frame::Registry(), out, mBones[0]), nullptr);
    const std::vector<uint8_t> extension = CloseWriter(out);
    int made = 0;
    SweepMutations(extension, 2000, [&](std::vector<uint8_t>& copy) {
        Stream* in = OpenReader(copy);
        Frame* frame = Frame::Create();
        PluginRegistry::ReadExtensionChunk(Frame::Registry(), in, frame);
        Stream::Close(in, nullptr);
        TakeError();
        if (Hierarchy* h = HierarchyFrame::GetHierarchy(frame))
        {
            ++made;
            Hierarchy::AttachFrames(h);
            Hierarchy::UpdateMatrices(h);
        }
        Frame::Destroy(frame);
    });
    EXPECT_GT(made, 0);

    const AnimQuat none = {0, 0, 0, 1};
    std::vector<AnimationKeyRow> rows;
    for (int node = 0; node < 3; ++node)
        for (int k = 0; k < 4; ++k)
            rows.push_back({node, float(k), {none.x, none.y, none.z, none.w}, {float(k), 0, 0}});
    const std::vector<uint8_t> anim = AnimationWriter::StdAnimation(rows, 3.0f);
    SweepMutations(anim, 2000, [&](std::vector<uint8_t>& copy) {
        Stream* in = OpenReader(copy);
        uint32_t size = 0;
        Animation* read = Stream::FindChunk(in, 27, &size, nullptr) ? Animation::StreamRead(in, size) : nullptr;
        Stream::Close(in, nullptr);
        TakeError();
        if (!read)
            return;
        Hierarchy* h = Hierarchy::Create(read->nodeCount, nullptr, nullptr, 0, int32_t(sizeof(StdInterpFrame)));
        if (AnimInterpolator::SetAnimation(h->interpolator, read))
            for (float t : {0.4f, 2.5f, 1.0f, 7.0f})
            {
                AnimInterpolator::SetCurrentTime(h->interpolator, t);
                Hierarchy::UpdateMatrices(h);
            }
        Hierarchy::Destroy(h);
        Animation::Destroy(read);
    });
}
} // namespace
