// Tests of the vector module: table square roots, normalisation, the transform routines
// against the generic ones, their choice from the processor's features, and the
// floating-point control word.
#include "cpufeature.h"
#include "error.h"
#include "fpu.h"
#include "mathsqrt.h"
#include "matrix.h"
#include "testdevice.h"
#include "vector.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace
{

int32_t TakeError()
{
    Error e;
    Error::Get(&e);
    return e.code;
}

// Distance in units in the last place between two finite reals.
int64_t UlpDistance(float a, float b)
{
    auto ordered = [](float f)
    {
        int32_t i = std::bit_cast<int32_t>(f);
        return i < 0 ? int64_t(INT32_MIN) - i : int64_t(i);
    };
    int64_t d = ordered(a) - ordered(b);
    return d < 0 ? -d : d;
}

class Vectors : public EngineFixture
{
protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        StartEngine();
    }
};

// ---- Square roots ---------------------------------------------------------------------------

TEST_F(Vectors, TableRootsAreExactOnTablePoints)
{
    struct Case
    {
        float value, sqrt, invSqrt;
    } cases[] = {
        {4.0f, 2.0f, 0.5f},        {2.0f, 1.4142135f, 0.70710677f}, {0.25f, 0.5f, 2.0f}, {1.0f, 1.0f, 1.0f},
        {9.0f, 3.0f, 1.0f / 3.0f}, {100.0f, 10.0f, 0.1f},           {0.0f, 0.0f, 0.0f},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(Math::Sqrt(c.value), c.sqrt);
        EXPECT_EQ(Math::InvSqrt(c.value), c.invSqrt);
    }
}

TEST_F(Vectors, TableRootsStayWithinTheirRelativeError)
{
    // Every 997th bit pattern from 1e-6 to 1e6: all mantissa positions and exponent parities.
    uint32_t from = std::bit_cast<uint32_t>(1e-6f), to = std::bit_cast<uint32_t>(1e6f);
    double worst = 0;
    for (uint32_t bits = from; bits < to; bits += 997)
    {
        float v = std::bit_cast<float>(bits);
        double root = std::sqrt(double(v));
        worst = std::max(worst, std::fabs(Math::Sqrt(v) - root) / root);
        worst = std::max(worst, std::fabs(Math::InvSqrt(v) * root - 1.0));
    }
    EXPECT_LT(worst, 1.3e-4);
}

TEST_F(Vectors, NormalizeReportsAZeroVector)
{
    Vector v = {3, 4, 0};
    EXPECT_EQ(Vector::Normalize(&v, &v), 5.0f);
    EXPECT_NEAR(v.x, 0.6f, 1e-4f);
    EXPECT_NEAR(v.y, 0.8f, 1e-4f);
    EXPECT_EQ(TakeError(), kErrNone);
    EXPECT_NEAR(Vector::Length(&v), 1.0f, 2e-4f);

    Vector zero = {0, 0, 0};
    Vector out = {9, 9, 9};
    EXPECT_EQ(Vector::Normalize(&out, &zero), 0.0f);
    EXPECT_EQ(out.x, 0.0f);
    EXPECT_EQ(out.y, 0.0f);
    EXPECT_EQ(out.z, 0.0f);
    Error e;
    Error::Get(&e);
    EXPECT_EQ(e.pluginId, kCorePluginId);
    EXPECT_EQ(e.code, kCoreErrZeroLength);

    EXPECT_EQ(Vector::NormalizeUnchecked(&out, &zero), 0.0f);
    EXPECT_EQ(TakeError(), kErrNone) << "the unchecked form reports nothing";

    Vector2 zero2 = {0, 0}, out2;
    EXPECT_EQ(Vector2::Normalize(&out2, &zero2), 0.0f);
    EXPECT_EQ(TakeError(), kCoreErrZeroLength);
}

// ---- Transform routines ------------------------------------------------------------------------

struct Variant
{
    const char* name;
    TransformFunctions set;
};

const Variant kVariants[] = {
    {"x87 order", Vector::X87Set()},
    {"SSE", Vector::SseSet()},
    {"SSE2", Vector::Sse2Set()},
};

// Matrices and points with components in [0.5, 4) of either sign.
struct Samples
{
    std::vector<Matrix> matrices;
    std::vector<Vector> points;
    explicit Samples(int n)
    {
        std::mt19937 rng(7);
        std::uniform_real_distribution<float> magnitude(0.5f, 4.0f);
        auto value = [&] { return rng() & 1 ? magnitude(rng) : -magnitude(rng); };
        for (int i = 0; i < n; ++i)
        {
            Matrix m = {};
            m.right = {value(), value(), value()};
            m.up = {value(), value(), value()};
            m.at = {value(), value(), value()};
            m.pos = {value(), value(), value()};
            m.flags = kMatrixIdentity | kMatrixOrthonormal; // an integer pattern in the fourth lane
            m.pad1 = m.pad2 = m.pad3 = 0x7FC00001;          // a NaN pattern
            matrices.push_back(m);
        }
        for (int i = 0; i < 64; ++i)
            points.push_back({value(), value(), value()});
    }
};

// Every variant gives the generic results (the SIMD ones sum in the same order, so not even
// the last place differs), on aligned and unaligned matrices, in place and out of place,
// writing nothing past the count. Mixed signs make cancellations, where a different order
// of summation would show.
TEST_F(Vectors, TransformVariantsAgreeWithTheGenericRoutines)
{
    Samples samples(200);
    TransformFunctions generic = Vector::GenericSet();
    alignas(16) unsigned char storage[sizeof(Matrix) + 16];
    const size_t n = samples.points.size();
    const Vector sentinel = {12345.0f, -6789.0f, 42.0f};
    int64_t worst = 0;
    for (const Variant& v : kVariants)
        for (size_t misalign : {size_t(0), size_t(4), size_t(8)})
            for (const Matrix& source : samples.matrices)
            {
                auto* m = reinterpret_cast<Matrix*>(storage + misalign);
                std::memcpy(static_cast<void*>(m), &source, sizeof source);
                std::vector<Vector> expected(n), actual(n + 1, sentinel), inPlace(samples.points);
                for (bool points : {true, false})
                {
                    (points ? generic.points : generic.vectors)(expected.data(), samples.points.data(), int32_t(n), m);
                    (points ? v.set.points : v.set.vectors)(actual.data(), samples.points.data(), int32_t(n), m);
                    inPlace = samples.points;
                    (points ? v.set.points : v.set.vectors)(inPlace.data(), inPlace.data(), int32_t(n), m);
                    for (size_t i = 0; i < n; ++i)
                    {
                        Vector single = samples.points[i];
                        (points ? v.set.point : v.set.vector)(&single, &single, m);
                        for (const Vector* got : {&actual[i], &inPlace[i], &single})
                        {
                            worst = std::max(worst, UlpDistance(got->x, expected[i].x));
                            worst = std::max(worst, UlpDistance(got->y, expected[i].y));
                            worst = std::max(worst, UlpDistance(got->z, expected[i].z));
                        }
                    }
                    EXPECT_EQ(std::memcmp(&actual[n], &sentinel, sizeof sentinel), 0) << v.name;
                }
            }
    EXPECT_EQ(worst, 0) << "largest difference in units in the last place";

    std::vector<Vector> untouched(4, sentinel);
    for (const Variant& v : kVariants)
    {
        v.set.points(untouched.data(), samples.points.data(), 0, &samples.matrices[0]);
        v.set.vectors(untouched.data(), samples.points.data(), 0, &samples.matrices[0]);
    }
    Vector::TransformPoints(untouched.data(), samples.points.data(), 0, &samples.matrices[0]);
    for (const Vector& u : untouched)
        EXPECT_EQ(std::memcmp(&u, &sentinel, sizeof u), 0) << "a count of 0 writes nothing";
}

TEST_F(Vectors, SseProductMatchesTheGenericOneBitForBit)
{
    Samples samples(200);
    for (size_t i = 0; i + 1 < samples.matrices.size(); ++i)
    {
        Matrix generic, sse, scalar;
        std::memset(&generic, 0x5A, sizeof generic);
        std::memcpy(&sse, &generic, sizeof sse);
        std::memcpy(&scalar, &generic, sizeof scalar);
        Matrix::MultiplyGeneric(&generic, &samples.matrices[i], &samples.matrices[i + 1]);
        Matrix::MultiplySse(&sse, &samples.matrices[i], &samples.matrices[i + 1]);
        Matrix::MultiplyX87(&scalar, &samples.matrices[i], &samples.matrices[i + 1]);
        ASSERT_EQ(std::memcmp(&sse, &generic, sizeof sse), 0) << "pair " << i << ", flags and padding kept";
        ASSERT_EQ(std::memcmp(&scalar, &generic, sizeof scalar), 0) << "pair " << i;
    }
}

TEST_F(Vectors, TheTransformSlotsReturnTheirFirstArgument)
{
    Matrix* m = Matrix::Create();
    Vector in[2] = {{1, 2, 3}, {4, 5, 6}}, out[2];
    EXPECT_EQ(Vector::TransformPoint(out, in, m), out);
    EXPECT_EQ(Vector::TransformPoints(out, in, 2, m), out);
    EXPECT_EQ(Vector::TransformVector(out, in, m), out);
    Vector::SetTransformFunctions(nullptr, nullptr, nullptr, nullptr);
    TransformFunctions installed = Vector::GetTransformFunctions();
    TransformFunctions generic = Vector::GenericSet();
    EXPECT_EQ(installed.point, generic.point) << "null restores the generic routine";
    EXPECT_EQ(installed.vectors, generic.vectors);
    Matrix::SetMultiplyFunction(nullptr);
    EXPECT_EQ(Matrix::GetMultiplyFunction(), &Matrix::MultiplyGeneric);
    Matrix::Destroy(m);
}

// ---- Choice of routines --------------------------------------------------------------------------

class RoutineChoice : public EngineFixture
{
};

TEST_F(RoutineChoice, FinaliseStartInstallsWhatTheFeaturesAllow)
{
    struct Case
    {
        CpuFeatures features;
        TransformFunctions transforms;
        MatrixMultiplyFunction multiply;
        bool flushToZero;
    } cases[] = {
        {{1, 1, 1, 0}, Vector::Sse2Set(), Matrix::MultiplySse, true},
        {{1, 1, 1, 1}, Vector::SseSet(), Matrix::MultiplySse, true},
        {{1, 1, 0, 0}, Vector::SseSet(), Matrix::MultiplySse, true},
        {{1, 0, 0, 0}, Vector::X87Set(), Matrix::MultiplyX87, false},
    };
    const uint32_t before = FPU::GetControlWord();
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "sse " << c.features.sse << " sse2 " << c.features.sse2 << " 3dnow "
                                        << c.features.threeDNow);
        SetUp();
        TestDevice::features = c.features;
        StartEngine();
        TransformFunctions installed = Vector::GetTransformFunctions();
        EXPECT_EQ(installed.point, c.transforms.point);
        EXPECT_EQ(installed.points, c.transforms.points);
        EXPECT_EQ(installed.vector, c.transforms.vector);
        EXPECT_EQ(installed.vectors, c.transforms.vectors);
        EXPECT_EQ(Matrix::GetMultiplyFunction(), c.multiply);
        EXPECT_EQ((FPU::GetControlWord() & FPU::kFlushToZero) != 0, c.flushToZero || (before & FPU::kFlushToZero));
        TearDown();
        // The six status flags are sticky results of arithmetic, not control.
        EXPECT_EQ(FPU::GetControlWord() & ~0x3Fu, before & ~0x3Fu) << "the device's stop restores the control word";
    }
}

TEST(CpuFeatureTest, X86_64HasMmxSseAndSse2)
{
    EXPECT_EQ(CpuFeature::HasMmx(), 1);
    EXPECT_EQ(CpuFeature::HasSse(), 1);
    EXPECT_EQ(CpuFeature::HasSse2(), 1);
    CpuFeatures f = CpuFeature::Detect();
    EXPECT_EQ(f.sse2, 1);
    EXPECT_EQ(f.threeDNow, CpuFeature::Has3dNow());
}

// ---- Control word ----------------------------------------------------------------------------------

TEST(FpuTest, SinglePrecisionMasksExceptionsKeepsRoundingAndRestoresExactly)
{
    const uint32_t original = FPU::GetControlWord();
    // Rounding toward zero, divide-by-zero unmasked.
    const uint32_t custom = (original & ~0x6200u) | 0x6000u;
    FPU::SetControlWord(custom);

    FPU::SetSinglePrecision();
    uint32_t word = FPU::GetControlWord();
    EXPECT_EQ(word & FPU::kExceptionMasks, FPU::kExceptionMasks);
    EXPECT_EQ(word & 0x6000u, 0x6000u) << "rounding mode kept";

    FPU::SetFlushToZero();
    volatile float tiny = 1e-30f;
    volatile float denormal = tiny * 1e-10f;
    EXPECT_EQ(denormal, 0.0f) << "denormal results flush to zero";

    FPU::SetControlWord(custom);
    FPU::ForceSinglePrecision();
    EXPECT_EQ(FPU::GetControlWord() & FPU::kExceptionMasks, FPU::kExceptionMasks);

    FPU::RestoreControlWord();
    EXPECT_EQ(FPU::GetControlWord(), custom);

    // A second restore, with nothing saved since, leaves the word alone.
    FPU::SetControlWord(original);
    FPU::RestoreControlWord();
    EXPECT_EQ(FPU::GetControlWord(), original);
}

} // namespace
