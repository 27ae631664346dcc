// UV animation: keyframe schemes, the material extension with its stream form, channel
// matrices after time steps, reference counting, and damaged streams.
#include "uvanimfixture.h"

#include "material.h"
#include "matrix.h"
#include "uvanimkey.h"

#include <cmath>
#include <cstring>

namespace
{
using UVAnimation = UVAnimFixture;

/// A 2D affine map by hand: p' = (u, v) x [a b; c d] + (tx, ty), the engine's row-vector rows.
struct Affine
{
    float a, b, c, d, tx, ty;
};

/// x then y.
Affine Then(const Affine& x, const Affine& y)
{
    return {x.a * y.a + x.b * y.c, x.a * y.b + x.b * y.d,          x.c * y.a + x.d * y.c,
            x.c * y.b + x.d * y.d, x.tx * y.a + x.ty * y.c + y.tx, x.tx * y.b + x.ty * y.d + y.ty};
}

Affine FromRows(const float v[6])
{
    return {v[0], v[1], v[2], v[3], v[4], v[5]};
}

/// The parameter keyframe's transform: scale and skew, translation, then θ about (0.5, 0.5).
Affine FromParams(const float v[6])
{
    const Affine base = {v[1], v[3], 0.0f, v[2], v[4], v[5]};
    const float c = std::cos(v[0]), s = std::sin(v[0]);
    return Then(Then(Then(base, {1, 0, 0, 1, -0.5f, -0.5f}), {c, s, -s, c, 0, 0}), {1, 0, 0, 1, 0.5f, 0.5f});
}

void ExpectMatrix(const Matrix* m, const Affine& e, const char* what)
{
    ASSERT_NE(m, nullptr) << what;
    const float got[6] = {m->right.x, m->right.y, m->up.x, m->up.y, m->pos.x, m->pos.y};
    const float want[6] = {e.a, e.b, e.c, e.d, e.tx, e.ty};
    for (int i = 0; i < 6; ++i)
        EXPECT_NEAR(got[i], want[i], 1e-5f) << what << " value " << i;
}

std::vector<float> Lerp6(const float a[6], const float b[6], float f)
{
    std::vector<float> out(6);
    for (int i = 0; i < 6; ++i)
        out[i] = a[i] + f * (b[i] - a[i]);
    return out;
}

/// The material extension's stream body: a struct chunk with the mask and one name per bit.
std::vector<uint8_t> SlotBytes(uint32_t mask, const std::vector<std::string>& names)
{
    ChunkBuilder b;
    b.Header(1, uint32_t(4 + 32 * names.size())).U32(mask);
    for (const std::string& n : names)
    {
        std::string padded = n;
        padded.resize(32, '\0');
        b.Raw(padded);
    }
    return b.bytes;
}

/// A new material whose UV sub-chunk was read from bytes; null when refused (the material freed).
Material* ReadSlots(std::vector<uint8_t> bytes)
{
    Material* material = Material::Create();
    Stream* in = OpenReader(bytes);
    const int32_t offset = UVAnim::GetMaterialOffset();
    Stream* ok = UVAnim::MaterialStreamRead(in, int32_t(bytes.size()), material, offset, 0);
    Stream::Close(in, nullptr);
    if (!ok)
    {
        Material::Destroy(material);
        return nullptr;
    }
    return material;
}

struct Recorder
{
    static inline int calls = 0;
    static inline bool hasSlot = true;
    static inline Matrix* first = nullptr;
    static inline Matrix* second = nullptr;
    static void Install(bool slot)
    {
        calls = 0;
        hasSlot = slot;
        const UVAnimTransformTarget target = {[](const Material*) -> int32_t { return hasSlot ? 1 : 0; },
                                              [](Material*, Matrix* a, Matrix* b)
                                              {
                                                  ++calls;
                                                  first = a;
                                                  second = b;
                                              }};
        UVAnim::SetTransformTarget(&target);
    }
};

// ---- Keyframes ------------------------------------------------------------------------------

TEST_F(UVAnimation, ParameterAnglesTakeTheShortWayAndEqualTimesGiveTheFirstKey)
{
    UVAnimKeyFrameData a{{nullptr, 0.0f}, {3.0f, 1, 1, 0, 0, 0}};
    UVAnimKeyFrameData b{{&a.header, 1.0f}, {-3.0f, 2, 1, 0, 1, 0}};
    UVAnimInterpFrame out{};
    UVAnimParamKeyFrame::Interpolate(&out, &a, &b, 0.5f, nullptr);
    // 3.0 to -3.0 is 0.283 the short way round: halfway is π, where the long way gives 0.
    EXPECT_NEAR(std::fabs(out.values[0]), 3.1415927f, 1e-5f);
    EXPECT_FLOAT_EQ(out.values[1], 1.5f);
    UVAnimInterpFrame fa{{}, {3.0f, 1, 1, 0, 0, 0}}, fb{{}, {-3.0f, 1, 1, 0, 0, 0}};
    UVAnimParamKeyFrame::Blend(&fa, &fa, &fb, 0.25f);
    EXPECT_NEAR(fa.values[0], 3.0f + 0.25f * (2.0f * 3.1415927f - 6.0f), 1e-5f);
    // The matrix scheme has no angle: it interpolates straight through.
    UVAnimKeyFrame::Interpolate(&out, &a, &b, 0.5f, nullptr);
    EXPECT_FLOAT_EQ(out.values[0], 0.0f);

    // Equal times: fraction 0, never NaN.
    b.header.time = 0.0f;
    for (auto interpolate : {UVAnimKeyFrame::Interpolate, UVAnimParamKeyFrame::Interpolate})
    {
        interpolate(&out, &a, &b, 0.0f, nullptr);
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(out.values[i], a.values[i]) << i;
    }
}

TEST_F(UVAnimation, MatrixKeyframesAddAsRowVectorProducts)
{
    UVAnimInterpFrame a{{}, {1, 2, 3, 4, 5, 6}}, b{{}, {0.5f, -1, 2, 0.25f, 10, 20}}, out{};
    UVAnimKeyFrame::Add(&out, &a, &b);
    const float want[6] = {1 * 0.5f + 2 * 2, 1 * -1 + 2 * 0.25f, 3 * 0.5f + 4 * 2, 3 * -1 + 4 * 0.25f, 15, 26};
    for (int i = 0; i < 6; ++i)
        EXPECT_FLOAT_EQ(out.values[i], want[i]) << i;
}

TEST_F(UVAnimation, ParametersFromAMatrixAreExactOnlyForUniformScaleWithoutSkew)
{
    const struct
    {
        float v[6];
        bool exact;
    } cases[] = {
        {{0.7f, 1.5f, 1.5f, 0.0f, 0.2f, -0.1f}, true},
        {{-2.5f, 0.5f, 0.5f, 0.0f, 0.0f, 0.3f}, true},
        {{0.7f, 2.0f, 1.0f, 0.0f, 0.2f, -0.1f}, false}, // non-uniform scale bends θ
        {{0.7f, 1.0f, 1.0f, 0.5f, 0.2f, -0.1f}, false}, // so does a skew
    };
    Animation* animation = Animation::Create(UVAnimParamKeyFrame::kTypeId, 2, 0, 1.0f);
    ASSERT_NE(animation, nullptr);
    auto* k0 = reinterpret_cast<UVAnimKeyFrameData*>(Animation::KeyFrame(animation, 0));
    auto* k1 = reinterpret_cast<UVAnimKeyFrameData*>(Animation::KeyFrame(animation, 1));
    for (const auto& c : cases)
    {
        UVAnimInterpFrame frame{{}, {}};
        std::memcpy(frame.values, c.v, sizeof c.v);
        Matrix m;
        UVAnimParamKeyFrame::Apply(&m, &frame);
        ExpectMatrix(&m, FromParams(c.v), "apply");
        EXPECT_EQ(UVAnim::KeyFrameFromMatrix(animation, k1, k0, 0.75f, &m), 0);
        EXPECT_EQ(k1->header.previous, &k0->header);
        EXPECT_FLOAT_EQ(k1->header.time, 0.75f);
        float diff = 0.0f;
        for (int i = 0; i < 6; ++i)
            diff = std::fmax(diff, std::fabs(k1->values[i] - c.v[i]));
        if (c.exact)
            EXPECT_LT(diff, 1e-5f) << c.v[0];
        else
            EXPECT_GT(diff, 1e-3f) << c.v[0];
    }
    Animation::Destroy(animation);

    // The matrix scheme copies the rows.
    Animation* rows = Animation::Create(UVAnimKeyFrame::kTypeId, 2, 0, 1.0f);
    Matrix m;
    UVAnimInterpFrame frame{{}, {1, 2, 3, 4, 5, 6}};
    UVAnimKeyFrame::Apply(&m, &frame);
    EXPECT_EQ(m.flags, 0u);
    EXPECT_EQ(m.at.z, 0.0f);
    auto* k = reinterpret_cast<UVAnimKeyFrameData*>(Animation::KeyFrame(rows, 0));
    UVAnim::KeyFrameFromMatrix(rows, k, nullptr, 0.0f, &m);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(k->values[i], float(i + 1));
    Animation::Destroy(rows);
}

// ---- Materials ---------------------------------------------------------------------------------

TEST_F(UVAnimation, ChannelMatricesAreTheProductsOfTheNodesAfterEachStep)
{
    // "scroll": matrix keyframes, node 0 on channel 0, node 1 on channel 1.
    UVAnimDescription scroll;
    scroll.name = "scroll";
    scroll.nodeToChannel[1] = 1;
    const float s0[6] = {1, 0, 0, 1, 0, 0}, s1[6] = {1, 0, 0, 1, 0.5f, 0.25f};
    const float r0[6] = {2, 0, 0, 2, 0, 0}, r1[6] = {1, 0.5f, 0, 1, 0, 0};
    scroll.keys = {{0, 0, {1, 0, 0, 1, 0, 0}},
                   {0, 1, {1, 0, 0, 1, 0.5f, 0.25f}},
                   {1, 0, {2, 0, 0, 2, 0, 0}},
                   {1, 1, {1, 0.5f, 0, 1, 0, 0}}};
    // "turn": parameter keyframes, one node on channel 0, over two seconds.
    UVAnimDescription turn;
    turn.name = "turn";
    turn.scheme = UVAnimParamKeyFrame::kTypeId;
    turn.duration = 2.0f;
    const float t0[6] = {0, 1, 1, 0, 0, 0}, t1[6] = {1.0f, 2, 1.5f, 0.2f, 0.1f, 0};
    turn.keys = {{0, 0, {0, 1, 1, 0, 0, 0}}, {0, 2, {1.0f, 2, 1.5f, 0.2f, 0.1f, 0}}};
    Dictionary* d = ReadDictionary(UVAnimWriter::Dictionary({scroll, turn}));
    ASSERT_NE(d, nullptr);
    UVAnim::SetCurrentDictionary(d);
    Material* material = ReadSlots(SlotBytes(0x5, {"scroll", "turn"}));
    UVAnim::SetCurrentDictionary(nullptr);
    ASSERT_NE(material, nullptr);
    EXPECT_EQ(UVAnimMaterial::HasUVAnim(material), 1);
    Recorder::Install(true);

    const size_t allocations = TestMemory::hints.size();
    for (float step : {0.25f, 0.5f})
    {
        UVAnimMaterial::AddUVAnimTime(material, step);
        UVAnimMaterial::UpdateUVAnim(material);
    }
    EXPECT_EQ(TestMemory::hints.size(), allocations) << "a frame's update allocates nothing";
    // At 0.75 s: scroll at 3/4 of its second, turn at 3/8 of its two.
    const std::vector<float> n0 = Lerp6(s0, s1, 0.75f), n1 = Lerp6(r0, r1, 0.75f), t = Lerp6(t0, t1, 0.375f);
    // Slot 2's node applies before what slot 0 left in channel 0.
    ExpectMatrix(UVAnimMaterial::GetChannelMatrix(material, 0), Then(FromParams(t.data()), FromRows(n0.data())),
                 "channel 0");
    ExpectMatrix(UVAnimMaterial::GetChannelMatrix(material, 1), FromRows(n1.data()), "channel 1");
    EXPECT_EQ(Recorder::calls, 2);
    EXPECT_EQ(Recorder::first, UVAnimMaterial::GetChannelMatrix(material, 0));
    EXPECT_EQ(Recorder::second, UVAnimMaterial::GetChannelMatrix(material, 1));

    // Without a UV-transform slot the update is skipped: nothing is handed over or rebuilt.
    Recorder::Install(false);
    UVAnimMaterial::AddUVAnimTime(material, 0.125f);
    UVAnimMaterial::UpdateUVAnim(material);
    EXPECT_EQ(Recorder::calls, 0);
    ExpectMatrix(UVAnimMaterial::GetChannelMatrix(material, 1), FromRows(n1.data()), "channel 1 kept");

    Material::Destroy(material);
    Dictionary::Destroy(d);
}

TEST_F(UVAnimation, SharedAnimationsCountTheirHolders)
{
    Dictionary* d = ReadDictionary(UVAnimWriter::Dictionary({Scroll("wave", 1, 0)}));
    ASSERT_NE(d, nullptr);
    Animation* wave = UVAnim::FindAnimation(d, "wave");
    UVAnim::SetCurrentDictionary(d);
    Material* a = ReadSlots(SlotBytes(0x1, {"wave"}));
    Material* b = ReadSlots(SlotBytes(0x80, {"wave"}));
    UVAnim::SetCurrentDictionary(nullptr);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(UVAnim::GetRefCount(wave), 3) << "the dictionary and both interpolators";

    // A copy plays the same animation from the same point.
    UVAnimMaterial::AddUVAnimTime(a, 0.5f);
    Material* copy = Material::Create();
    const int32_t offset = UVAnim::GetMaterialOffset();
    ASSERT_EQ(UVAnim::MaterialCopy(copy, a, offset, 0), copy);
    EXPECT_EQ(UVAnim::GetRefCount(wave), 4);
    UVAnimMaterial::UpdateUVAnim(copy);
    const float half[6] = {1, 0, 0, 1, 0.5f, 0};
    ExpectMatrix(UVAnimMaterial::GetChannelMatrix(copy, 0), FromRows(half), "copy");
    Material::Destroy(copy);

    Dictionary::Destroy(d);
    EXPECT_EQ(UVAnim::GetRefCount(wave), 2) << "alive while the materials play it";
    UVAnimMaterial::AddUVAnimTime(b, 0.25f);
    UVAnimMaterial::UpdateUVAnim(b);
    const float quarter[6] = {1, 0, 0, 1, 0.25f, 0};
    ExpectMatrix(UVAnimMaterial::GetChannelMatrix(b, 0), FromRows(quarter), "after the dictionary");
    Material::Destroy(a);
    EXPECT_EQ(UVAnim::GetRefCount(wave), 1);
    Material::Destroy(b); // the last holder frees it; the fixture checks no block is left
}

TEST_F(UVAnimation, SlotsGiveTheMatricesTheirNodesNeed)
{
    UVAnimDescription right = Scroll("right", 1, 0);
    right.nodeToChannel[0] = 1;
    // Nine nodes: the map has eight entries, so node 8 drives nothing whatever it holds.
    UVAnimDescription nine;
    nine.name = "nine";
    for (int32_t n = 0; n < 9; ++n)
    {
        if (n < 8)
            nine.nodeToChannel[n] = n == 0 ? 0 : -1;
        nine.keys.push_back({n, 0, {1, 0, 0, 1, float(n), 0}});
        nine.keys.push_back({n, 1, {1, 0, 0, 1, float(n), 0}});
    }
    Dictionary* d = ReadDictionary(UVAnimWriter::Dictionary({right, nine}));
    ASSERT_NE(d, nullptr);
    const std::string longName(32, 'q');
    const struct
    {
        const char* what;
        uint32_t mask;
        std::vector<std::string> names;
        bool current;
        bool channel0, channel1;
        float u0; ///< channel 0's u translation after 0.5 s
    } cases[] = {
        {"a mask of 0", 0, {}, true, false, false, 0},
        {"every node on channel 1", 0x2, {"right"}, true, false, true, 0},
        {"node 8 past the map", 0x1, {"nine"}, true, true, false, 0},
        {"a name the dictionary lacks", 0x1, {longName}, true, true, false, 0},
        {"no current dictionary", 0x1, {"right"}, false, true, false, 0},
    };
    Recorder::Install(true);
    for (const auto& c : cases)
    {
        UVAnim::SetCurrentDictionary(c.current ? d : nullptr);
        Material* m = ReadSlots(SlotBytes(c.mask, c.names));
        UVAnim::SetCurrentDictionary(nullptr);
        ASSERT_NE(m, nullptr) << c.what;
        EXPECT_EQ(UVAnimMaterial::HasUVAnim(m), c.mask ? 1 : 0) << c.what;
        EXPECT_EQ(UVAnimMaterial::GetChannelMatrix(m, 0) != nullptr, c.channel0) << c.what;
        EXPECT_EQ(UVAnimMaterial::GetChannelMatrix(m, 1) != nullptr, c.channel1) << c.what;
        UVAnimMaterial::AddUVAnimTime(m, 0.5f);
        UVAnimMaterial::UpdateUVAnim(m);
        if (c.channel0)
            EXPECT_FLOAT_EQ(UVAnimMaterial::GetChannelMatrix(m, 0)->pos.x, c.u0) << c.what;
        if (c.names.size() == 1 && !(c.current && UVAnim::FindAnimation(d, c.names[0].c_str())))
        {
            // A still placeholder of the same name, held by the slot alone.
            const UVAnimMaterialExtension* ext = UVAnimMaterial::GetExtension(m);
            const Animation* dummy = ext->interpolators[0]->animation;
            EXPECT_EQ(UVAnimGetCustomData(dummy)->name, c.names[0]) << c.what;
            EXPECT_EQ(UVAnim::GetRefCount(dummy), 1) << c.what;
        }
        Material::Destroy(m);
    }
    Dictionary::Destroy(d);
}

TEST_F(UVAnimation, MaterialsWriteTheirSlotsAndReadThemBack)
{
    Dictionary* d = ReadDictionary(UVAnimWriter::Dictionary({Scroll("a", 1, 0), Scroll("b", 0, 1)}));
    ASSERT_NE(d, nullptr);
    UVAnim::SetCurrentDictionary(d);
    Material* m = ReadSlots(SlotBytes(0x24, {"b", "a"}));
    ASSERT_NE(m, nullptr);
    const int32_t offset = UVAnim::GetMaterialOffset();
    EXPECT_EQ(UVAnim::MaterialStreamGetSize(m, offset, 0), 16 + 2 * 32);
    Material* plain = Material::Create();
    EXPECT_EQ(UVAnim::MaterialStreamGetSize(plain, offset, 0), 0);

    Stream* out = Stream::Open(kStreamMemory, kStreamWrite, nullptr);
    ASSERT_NE(Material::StreamWrite(m, out), nullptr);
    ASSERT_NE(Material::StreamWrite(plain, out), nullptr);
    std::vector<uint8_t> bytes = CloseWriter(out);
    // The sub-chunk: plug-in 309 around a struct of mask and names.
    const std::vector<uint8_t> slots = SlotBytes(0x24, {"b", "a"});
    EXPECT_NE(std::search(bytes.begin(), bytes.end(), slots.begin(), slots.end()), bytes.end());

    Stream* in = OpenReader(bytes);
    ASSERT_TRUE(Stream::FindChunk(in, 7, nullptr, nullptr));
    Material* back = Material::StreamRead(in);
    ASSERT_TRUE(Stream::FindChunk(in, 7, nullptr, nullptr));
    Material* backPlain = Material::StreamRead(in);
    Stream::Close(in, nullptr);
    ASSERT_TRUE(back && backPlain);
    const UVAnimMaterialExtension* ext = UVAnimMaterial::GetExtension(back);
    for (int32_t i = 0; i < kUVAnimMaxInterpolators; ++i)
        EXPECT_EQ(ext->interpolators[i] != nullptr, i == 2 || i == 5) << i;
    EXPECT_EQ(ext->interpolators[2]->animation, UVAnim::FindAnimation(d, "b"));
    EXPECT_EQ(UVAnimMaterial::HasUVAnim(backPlain), 0);
    UVAnim::SetCurrentDictionary(nullptr);
    for (Material* x : {m, plain, back, backPlain})
        Material::Destroy(x);
    Dictionary::Destroy(d);
}

// ---- Damaged streams ---------------------------------------------------------------------------

TEST_F(UVAnimation, DamagedMaterialSlotsAreRefused)
{
    Dictionary* d = ReadDictionary(UVAnimWriter::Dictionary({Scroll("a", 1, 0)}));
    UVAnim::SetCurrentDictionary(d);
    std::vector<uint8_t> shortNames = SlotBytes(0x3, {"a", "a"});
    shortNames[4] = 4 + 32; // the struct claims room for one name only
    const struct
    {
        const char* what;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"a mask bit past the eight slots", SlotBytes(0x100, {"a"})},
        {"more names than the struct holds", shortNames},
        {"no struct chunk", ChunkBuilder().Header(2, 4).U32(0).bytes},
        {"a struct longer than the sub-chunk", std::vector<uint8_t>(shortNames.begin(), shortNames.end() - 40)},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(ReadSlots(c.bytes), nullptr) << c.what;
        TakeError();
    }
    EXPECT_EQ(UVAnim::GetRefCount(UVAnim::FindAnimation(d, "a")), 1) << "every reference taken was given back";
    UVAnim::SetCurrentDictionary(nullptr);
    Dictionary::Destroy(d);
}

TEST_F(UVAnimation, MutatedMaterialSlotsAndKeyframesAreReadSafely)
{
    Dictionary* d = ReadDictionary(UVAnimWriter::Dictionary({Scroll("a", 1, 0), Scroll("b", 0, 1)}));
    ASSERT_NE(d, nullptr);
    UVAnim::SetCurrentDictionary(d);
    SweepMutations(SlotBytes(0x83, {"a", "b", "c"}), 400,
                   [&](std::vector<uint8_t>& bytes)
                   {
                       if (Material* m = ReadSlots(bytes))
                       {
                           UVAnimMaterial::AddUVAnimTime(m, 0.3f);
                           UVAnimMaterial::UpdateUVAnim(m);
                           Material::Destroy(m);
                       }
                       TakeError();
                   });
    UVAnim::SetCurrentDictionary(nullptr);
    EXPECT_EQ(UVAnim::GetRefCount(UVAnim::FindAnimation(d, "a")), 1);
    Dictionary::Destroy(d);

    // The keyframe data of both schemes, two nodes over three keys each, played after reading.
    UVAnimDescription turn;
    turn.name = "turn";
    turn.scheme = UVAnimParamKeyFrame::kTypeId;
    turn.nodeToChannel[1] = 1;
    turn.keys = {{0, 0, {3, 1, 1, 0, 0, 0}}, {0, 0.5f, {-3, 1, 1, 0, 0, 0}}, {0, 1, {0, 1, 1, 0, 0, 0}},
                 {1, 0, {0, 1, 1, 0, 0, 0}}, {1, 0.5f, {1, 2, 2, 0, 0, 0}},  {1, 1, {0, 1, 1, 0, 0, 0}}};
    UVAnimDescription rows = turn;
    rows.scheme = UVAnimKeyFrame::kTypeId;
    for (const UVAnimDescription& desc : {turn, rows})
    {
        const std::vector<uint8_t> chunk = UVAnimWriter::Animation(desc);
        SweepMutations(chunk, 400,
                       [&](std::vector<uint8_t>& bytes)
                       {
                           Stream* in = OpenReader(bytes);
                           uint32_t size = 0;
                           Animation* a = Stream::FindChunk(in, Animation::kChunkType, &size, nullptr)
                                              ? Animation::StreamRead(in, size)
                                              : nullptr;
                           Stream::Close(in, nullptr);
                           if (a)
                           {
                               AnimInterpolator* ip =
                                   AnimInterpolator::Create(a->nodeCount, a->scheme->interpKeyFrameSize);
                               if (ip && AnimInterpolator::SetAnimation(ip, a))
                                   for (int step = 0; step < 5; ++step)
                                   {
                                       AnimInterpolator::AddTime(ip, 0.3f);
                                       Matrix m;
                                       for (int32_t n = 0; n < ip->nodeCount; ++n)
                                           ip->apply(&m, AnimInterpolator::GetInterpFrame(ip, n));
                                   }
                               if (ip)
                                   AnimInterpolator::Destroy(ip);
                               Animation::Destroy(a);
                           }
                           TakeError();
                       });
    }
}
} // namespace
