// The keyframe animation toolkit with a scheme of one real per keyframe: the scheme registry,
// the animation chunk, the checks on stored keyframes and the interpolator's stepping.
#include "pluginfixture.h"

#include "animation.h"
#include "byteorder.h"
#include "error.h"
#include "memory.h"
#include "stream.h"

#include <cmath>
#include <cstring>

namespace
{
constexpr int32_t kRealScheme = 77;

struct RealKey
{
    AnimKeyFrameHeader header;
    float value;
};

struct RealFrame
{
    AnimInterpFrameHeader header;
    float value;
};

void Interpolate(void* out, void* k1, void* k2, float time, void*)
{
    const auto* a = static_cast<RealKey*>(k1);
    const auto* b = static_cast<RealKey*>(k2);
    const float span = b->header.time - a->header.time;
    const float u = span != 0.0f ? (time - a->header.time) / span : 0.0f;
    static_cast<RealFrame*>(out)->value = a->value + (b->value - a->value) * u;
}

// Per keyframe: time, value, byte offset of the previous keyframe (index x 12).
Animation* StreamRead(Stream* stream, Animation* animation)
{
    for (int32_t i = 0; i < animation->keyFrameCount; ++i)
    {
        uint8_t b[12];
        if (Stream::Read(stream, b, 12) != 12)
            return nullptr;
        auto* k = reinterpret_cast<RealKey*>(Animation::KeyFrame(animation, i));
        std::memcpy(&k->header.time, b, 4);
        std::memcpy(&k->value, b + 4, 4);
        const uint32_t previous = ByteOrder::Load32(b + 8) / 12;
        k->header.previous = previous < uint32_t(i) ? Animation::KeyFrame(animation, int32_t(previous)) : nullptr;
    }
    return animation;
}

int32_t StreamWrite(const Animation* animation, Stream* stream)
{
    for (int32_t i = 0; i < animation->keyFrameCount; ++i)
    {
        const auto* k = reinterpret_cast<const RealKey*>(Animation::KeyFrame(animation, i));
        uint8_t b[12];
        std::memcpy(b, &k->header.time, 4);
        std::memcpy(b + 4, &k->value, 4);
        const int32_t previous = k->header.previous ? Animation::KeyFrameIndex(animation, k->header.previous) : i;
        ByteOrder::Store32(b + 8, uint32_t(previous) * 12);
        if (!Stream::Write(stream, b, 12))
            return 0;
    }
    return 1;
}

int32_t StreamSize(const Animation* animation)
{
    return animation->keyFrameCount * 12;
}

AnimScheme RealScheme(int32_t typeId = kRealScheme)
{
    return {typeId,   int32_t(sizeof(RealFrame)), int32_t(sizeof(RealKey)), nullptr, nullptr, Interpolate, nullptr,
            nullptr,  StreamRead,                 StreamWrite,              StreamSize, 0};
}

struct Key
{
    float time;
    float value;
    int32_t previous; ///< index, -1 for none
};

// Two nodes over a duration of 4: node 0 goes 0 -> 20 -> 40 at times 0, 2, 4; node 1 goes
// 100 -> 140 from 0 to 4.
const std::vector<Key> kTwoNodes = {{0, 0, -1}, {0, 100, -1}, {2, 20, 0}, {4, 140, 1}, {4, 40, 2}};

Animation* Build(const std::vector<Key>& keys, float duration = 4.0f, uint32_t flags = 0)
{
    Animation* a = Animation::Create(kRealScheme, int32_t(keys.size()), flags, duration);
    if (!a)
        return nullptr;
    for (size_t i = 0; i < keys.size(); ++i)
    {
        auto* k = reinterpret_cast<RealKey*>(Animation::KeyFrame(a, int32_t(i)));
        k->header.time = keys[i].time;
        k->value = keys[i].value;
        k->header.previous = keys[i].previous >= 0 ? Animation::KeyFrame(a, keys[i].previous) : nullptr;
    }
    return a;
}

// The chunk body as stored.
std::vector<uint8_t> Body(const std::vector<Key>& keys, float duration = 4.0f, uint32_t count = 0xFFFFFFFF,
                          uint32_t version = 0x100, uint32_t scheme = kRealScheme)
{
    ChunkBuilder b;
    uint32_t d;
    std::memcpy(&d, &duration, 4);
    b.U32(version).U32(scheme).U32(count == 0xFFFFFFFF ? uint32_t(keys.size()) : count).U32(0).U32(d);
    for (size_t i = 0; i < keys.size(); ++i)
    {
        uint32_t t, v;
        std::memcpy(&t, &keys[i].time, 4);
        std::memcpy(&v, &keys[i].value, 4);
        b.U32(t).U32(v).U32(uint32_t(keys[i].previous < 0 ? int32_t(i) : keys[i].previous) * 12);
    }
    return b.bytes;
}

Animation* ReadBody(std::vector<uint8_t> body)
{
    Stream* in = OpenReader(body);
    Animation* a = Animation::StreamRead(in, uint32_t(body.size()));
    Stream::Close(in, nullptr);
    return a;
}

class AnimationTest : public PluginFixture
{
protected:
    void SetUp() override
    {
        PluginFixture::SetUp();
        AnimScheme scheme = RealScheme();
        ASSERT_EQ(AnimScheme::Register(&scheme), 1);
    }
};

TEST_F(AnimationTest, RegistryRefusesATakenIdAndASeventeenthScheme)
{
    AnimScheme scheme = RealScheme();
    EXPECT_EQ(AnimScheme::Register(&scheme), 0);
    EXPECT_EQ(TakeError(), Animation::kErrSchemeTaken);
    // The standard keyframe and the real scheme are in: 14 more fill the table.
    for (int32_t id = 100; id < 114; ++id)
    {
        scheme.typeId = id;
        ASSERT_EQ(AnimScheme::Register(&scheme), 1) << id;
    }
    scheme.typeId = kRealScheme; // fullness is tested before duplicates
    EXPECT_EQ(AnimScheme::Register(&scheme), 0);
    EXPECT_EQ(TakeError(), Animation::kErrSchemeTableFull);

    AnimInterpolator* ip = AnimInterpolator::Create(2, int32_t(sizeof(RealFrame)));
    EXPECT_EQ(AnimInterpolator::SetKeyFrameScheme(ip, 999), 0);
    EXPECT_EQ(TakeError(), Animation::kErrNoScheme);
    EXPECT_EQ(AnimInterpolator::SetKeyFrameScheme(ip, kRealScheme), 1);
    EXPECT_EQ(ip->interpolate, Interpolate);
    AnimInterpolator::Destroy(ip);
}

TEST_F(AnimationTest, ChunkWritesAndReadsBackByteIdentical)
{
    Animation* a = Build(kTwoNodes, 4.0f, 0xAB);
    ASSERT_EQ(Animation::Validate(a), 2);
    EXPECT_EQ(Animation::StreamGetSize(a), 20 + 5 * 12);
    Stream* out = Stream::Open(kStreamMemory, kStreamWrite, nullptr);
    ASSERT_EQ(Animation::StreamWrite(a, out), 1);
    std::vector<uint8_t> first = CloseWriter(out);
    ASSERT_EQ(first.size(), 12u + 80u);
    EXPECT_EQ(ByteOrder::Load32(first.data()), 27u);
    EXPECT_EQ(ByteOrder::Load32(first.data() + 4), 80u);
    EXPECT_EQ(ByteOrder::Load32(first.data() + 12), 0x100u);
    EXPECT_EQ(ByteOrder::Load32(first.data() + 16), uint32_t(kRealScheme));

    Stream* in = OpenReader(first);
    uint32_t size = 0;
    ASSERT_EQ(Stream::FindChunk(in, 27, &size, nullptr), 1);
    Animation* read = Animation::StreamRead(in, size);
    Stream::Close(in, nullptr);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->flags, 0xABu);
    EXPECT_EQ(read->nodeCount, 2);
    out = Stream::Open(kStreamMemory, kStreamWrite, nullptr);
    ASSERT_EQ(Animation::StreamWrite(read, out), 1);
    EXPECT_EQ(CloseWriter(out), first);
    Animation::Destroy(read);
    Animation::Destroy(a);
}

TEST_F(AnimationTest, ReadFileFindsTheChunkAndFailsCleanly)
{
    Animation* a = Build(kTwoNodes);
    ASSERT_EQ(Animation::Validate(a), 2);
    const std::string path = TempPath("walk.anm");
    Stream* out = Stream::Open(kStreamFileName, kStreamWrite, path.c_str());
    ChunkBuilder other;
    other.Header(0x7F00, 4).U32(1); // a chunk of another type first
    Stream::Write(out, other.bytes.data(), uint32_t(other.bytes.size()));
    ASSERT_EQ(Animation::StreamWrite(a, out), 1);
    Stream::Close(out, nullptr);
    Animation::Destroy(a);

    Animation* read = Animation::ReadFile(path.c_str());
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->keyFrameCount, 5);
    Animation::Destroy(read);
    EXPECT_EQ(Animation::ReadFile(TempPath("missing.anm").c_str()), nullptr);
}

// Each stored body is refused before anything is stepped, with the error it records.
TEST_F(AnimationTest, StoredAnimationsThatCannotBePlayedAreRefused)
{
    struct Case
    {
        const char* what;
        std::vector<uint8_t> body;
        int32_t error; ///< kErrNone: no error recorded
    };
    std::vector<Case> cases = {
        {"2^31 keyframes claimed in 64 bytes", Body({}, 4.0f, 0x80000000u), Animation::kErrBadAnimation},
        {"2^31 - 1 keyframes claimed", Body({{0, 0, -1}, {1, 1, 0}}, 4.0f, 0x7FFFFFFFu), Animation::kErrBadAnimation},
        {"more keyframes than bytes", Body({{0, 0, -1}, {1, 1, 0}}, 4.0f, 3), Animation::kErrBadAnimation},
        {"duration 0 (its wrap never ends)", Body(kTwoNodes, 0.0f), Animation::kErrBadAnimation},
        {"negative duration", Body(kTwoNodes, -4.0f), Animation::kErrBadAnimation},
        {"NaN duration", Body(kTwoNodes, std::nanf("")), Animation::kErrBadAnimation},
        {"no keyframe follows keyframe 0", Body({{0, 0, -1}, {0, 0, -1}}), Animation::kErrBadAnimation},
        {"fewer than 2N keyframes", Body({{0, 0, -1}, {0, 0, -1}, {1, 1, 0}}), Animation::kErrBadAnimation},
        {"a second keyframe not after its node's first",
         Body({{0, 0, -1}, {0, 0, -1}, {1, 1, 0}, {1, 1, 0}}), Animation::kErrBadAnimation},
        {"a keyframe following one that no node waits on",
         Body({{0, 0, -1}, {0, 0, -1}, {2, 1, 0}, {4, 1, 1}, {4, 1, 0}}), Animation::kErrBadAnimation},
        {"keyframes needed out of order",
         Body({{0, 0, -1}, {0, 0, -1}, {2, 1, 0}, {1, 1, 1}, {4, 1, 2}, {4, 1, 3}}), Animation::kErrBadAnimation},
        {"a keyframe earlier than its previous one", Body({{0, 0, -1}, {2, 1, 0}, {1, 1, 1}}),
         Animation::kErrBadAnimation},
        {"unknown scheme", Body(kTwoNodes, 4.0f, 0xFFFFFFFF, 0x100, 999), Animation::kErrNoScheme},
        {"other stream version", Body(kTwoNodes, 4.0f, 0xFFFFFFFF, 0x101), kErrNone},
    };
    for (Case& c : cases)
    {
        TakeError();
        EXPECT_EQ(ReadBody(c.body), nullptr) << c.what;
        Error e;
        Error::Get(&e);
        EXPECT_EQ(e.code, c.error) << c.what;
    }
}

TEST_F(AnimationTest, CountNodesAndSetAnimationCheckTheLayout)
{
    Animation* a = Build(kTwoNodes);
    EXPECT_EQ(Animation::CountNodes(a), 2);
    AnimInterpolator* ip = AnimInterpolator::Create(2, int32_t(sizeof(RealFrame)));
    ASSERT_EQ(AnimInterpolator::SetAnimation(ip, a), 1);
    EXPECT_EQ(a->nodeCount, 2);
    // At time 0 every node lies between its first and second keyframes.
    EXPECT_EQ(static_cast<RealFrame*>(AnimInterpolator::GetInterpFrame(ip, 0))->header.keyFrame2,
              Animation::KeyFrame(a, 2));
    EXPECT_EQ(ip->nextKeyFrame, Animation::KeyFrame(a, 4));

    // An interpolator of fewer nodes drives the animation's first nodes.
    AnimInterpolator* one = AnimInterpolator::Create(1, int32_t(sizeof(RealFrame)));
    ASSERT_EQ(AnimInterpolator::SetAnimation(one, a), 1);
    AnimInterpolator::AddTime(one, 3.0f);
    EXPECT_FLOAT_EQ(static_cast<RealFrame*>(AnimInterpolator::GetInterpFrame(one, 0))->value, 30.0f);
    AnimInterpolator::Destroy(one);

    AnimInterpolator* wide = AnimInterpolator::Create(3, int32_t(sizeof(RealFrame)));
    EXPECT_EQ(AnimInterpolator::SetAnimation(wide, a), 0); // more nodes than the animation has
    AnimInterpolator* small = AnimInterpolator::Create(2, int32_t(sizeof(AnimInterpFrameHeader)));
    EXPECT_EQ(AnimInterpolator::SetAnimation(small, a), 0); // keyframes larger than its room
    EXPECT_EQ(small->animation, nullptr);

    Animation* zero = Build(kTwoNodes, 0.0f);
    EXPECT_EQ(AnimInterpolator::SetAnimation(ip, zero), 0);
    EXPECT_EQ(ip->animation, a);
    Animation* lonely = Build({{0, 0, -1}, {0, 0, -1}});
    EXPECT_EQ(Animation::CountNodes(lonely), 0);
    for (AnimInterpolator* p : {ip, wide, small})
        AnimInterpolator::Destroy(p);
    for (Animation* p : {a, zero, lonely})
        Animation::Destroy(p);
}

struct Counts
{
    int loops = 0;
    int timed = 0;
    int32_t loopAnswer = 1;
};

int32_t OnLoop(AnimInterpolator*, void* data)
{
    auto* c = static_cast<Counts*>(data);
    ++c->loops;
    return c->loopAnswer;
}

int32_t OnTimed(AnimInterpolator*, void* data)
{
    ++static_cast<Counts*>(data)->timed;
    return 1;
}

TEST_F(AnimationTest, InterpolatorFollowsTheSteps)
{
    struct Step
    {
        char op; ///< 'a' AddTime, 'b' SubTime, 's' SetCurrentTime
        float amount;
    };
    struct Case
    {
        const char* what;
        std::vector<Step> steps;
        float time, v0, v1;
        int loops, timed;
        int32_t loopAnswer = 1;
    };
    // The timed callback is armed at 3.
    const Case cases[] = {
        {"steps of 0 or less change nothing", {{'a', 0}, {'a', -1}}, 0, 0, 100, 0, 0},
        {"inside the first keyframes", {{'a', 1}}, 1, 10, 110, 0, 0},
        {"the duration reached exactly does not wrap", {{'a', 4}}, 4, 40, 140, 0, 1},
        {"2.5 durations: half the duration, one loop", {{'a', 10}}, 2, 20, 120, 1, 1},
        {"the timed callback once", {{'a', 2}, {'a', 2}, {'a', 0.5f}}, 0.5f, 5, 105, 1, 1},
        {"a loop callback answering 0 is cleared", {{'a', 5}, {'a', 4}}, 1, 10, 110, 1, 2, 0},
        {"a backward set", {{'s', 3}, {'s', 1}}, 1, 10, 110, 0, 1},
        {"forward after backward rebuilds from 0", {{'s', 3}, {'s', 1}, {'a', 2}}, 3, 30, 130, 0, 2},
        {"backward past 0 wraps", {{'a', 1}, {'b', 2}}, 3, 30, 130, 1, 1},
    };
    for (const Case& c : cases)
    {
        Animation* a = Build(kTwoNodes);
        AnimInterpolator* ip = AnimInterpolator::Create(2, int32_t(sizeof(RealFrame)));
        ASSERT_EQ(AnimInterpolator::SetAnimation(ip, a), 1);
        Counts counts;
        counts.loopAnswer = c.loopAnswer;
        AnimInterpolator::SetLoopCallback(ip, OnLoop, &counts);
        AnimInterpolator::SetTimedCallback(ip, OnTimed, 3.0f, &counts);
        for (const Step& s : c.steps)
        {
            if (s.op == 'a')
                AnimInterpolator::AddTime(ip, s.amount);
            else if (s.op == 'b')
                AnimInterpolator::SubTime(ip, s.amount);
            else
                AnimInterpolator::SetCurrentTime(ip, s.amount);
        }
        EXPECT_FLOAT_EQ(ip->currentTime, c.time) << c.what;
        EXPECT_NEAR(static_cast<RealFrame*>(AnimInterpolator::GetInterpFrame(ip, 0))->value, c.v0, 1e-4) << c.what;
        EXPECT_NEAR(static_cast<RealFrame*>(AnimInterpolator::GetInterpFrame(ip, 1))->value, c.v1, 1e-4) << c.what;
        EXPECT_EQ(counts.loops, c.loops) << c.what;
        EXPECT_EQ(counts.timed, c.timed) << c.what;
        AnimInterpolator::Destroy(ip);
        Animation::Destroy(a);
    }
}

TEST_F(AnimationTest, EqualKeyframeTimesAndHugeStepsStayFinite)
{
    // Node 0 holds two keys at time 0: the fraction is 0, not 0 / 0.
    Animation* a = Build({{0, 5, -1}, {0, 7, 0}, {4, 9, 1}}, 4.0f);
    AnimInterpolator* ip = AnimInterpolator::Create(1, int32_t(sizeof(RealFrame)));
    ASSERT_EQ(AnimInterpolator::SetAnimation(ip, a), 1);
    EXPECT_EQ(static_cast<RealFrame*>(AnimInterpolator::GetInterpFrame(ip, 0))->value, 5.0f);
    AnimInterpolator::AddTime(ip, 1e30f);
    EXPECT_GE(ip->currentTime, 0.0f);
    EXPECT_LE(ip->currentTime, 4.0f);
    AnimInterpolator::SubTime(ip, 1e30f);
    EXPECT_TRUE(std::isfinite(static_cast<RealFrame*>(AnimInterpolator::GetInterpFrame(ip, 0))->value));
    AnimInterpolator::Destroy(ip);
    Animation::Destroy(a);
}

TEST_F(AnimationTest, MutatedChunksNeverHangOrOverrun)
{
    Animation* a = Build({{0, 0, -1}, {0, 100, -1}, {1, 10, 0}, {2, 120, 1}, {3, 30, 2}, {4, 140, 3}, {4, 40, 4}});
    ASSERT_EQ(Animation::Validate(a), 2);
    Stream* out = Stream::Open(kStreamMemory, kStreamWrite, nullptr);
    ASSERT_EQ(Animation::StreamWrite(a, out), 1);
    const std::vector<uint8_t> bytes = CloseWriter(out);
    Animation::Destroy(a);
    int readable = 0;
    SweepMutations(bytes, 3000, [&](std::vector<uint8_t>& copy) {
        Stream* in = OpenReader(copy);
        uint32_t size = 0;
        Animation* read = Stream::FindChunk(in, 27, &size, nullptr) ? Animation::StreamRead(in, size) : nullptr;
        Stream::Close(in, nullptr);
        TakeError();
        if (!read)
            return;
        ++readable;
        AnimInterpolator* ip = AnimInterpolator::Create(read->nodeCount, int32_t(sizeof(RealFrame)));
        if (AnimInterpolator::SetAnimation(ip, read))
            for (float step : {0.7f, 1.9f, 3.3f, -2.0f, 5.5f, 0.1f})
                AnimInterpolator::SetCurrentTime(ip, ip->currentTime + step);
        AnimInterpolator::Destroy(ip);
        Animation::Destroy(read);
    });
    EXPECT_GT(readable, 0);
}
} // namespace
