// Benchmark: the engine's math kernels. Point transforms and matrix products, generic
// against the SIMD routines, and table square roots against the library's; prints the
// time ratios at the end.
#include "benchsupport.h"
#include "device.h"
#include "engine.h"
#include "mathsqrt.h"
#include "matrix.h"
#include "vector.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace
{

// ---- Data -------------------------------------------------------------------------------------

constexpr int kPoints = 1024;

struct Data
{
    std::vector<Vector> points;
    std::vector<float> squares;
    Matrix a = {}, b = {};
    Data()
    {
        std::mt19937 rng(3);
        std::uniform_real_distribution<float> value(-10.0f, 10.0f);
        for (int i = 0; i < kPoints; ++i)
        {
            points.push_back({value(rng), value(rng), value(rng)});
            squares.push_back(std::fabs(value(rng)) * 100.0f + 0.001f);
        }
        Vector axis = {1, 2, 3}, move = {4, 5, 6}, scale = {1.5f, 2, 0.5f};
        Matrix::Rotate(&a, &axis, 30, kCombineReplace);
        Matrix::Translate(&a, &move, kCombinePostConcat);
        Matrix::Scale(&b, &scale, kCombineReplace);
        Matrix::Rotate(&b, &axis, -50, kCombinePostConcat);
    }
};

const Data& GetData()
{
    static Data data;
    return data;
}

// ---- Transforms ---------------------------------------------------------------------------------

template <TransformPointsFunction Points> void BM_TransformPoints(benchmark::State& state)
{
    const Data& data = GetData();
    std::vector<Vector> out(kPoints);
    for (auto _ : state)
    {
        Points(out.data(), data.points.data(), kPoints, &data.a);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
}
BENCHMARK(BM_TransformPoints<Vector::TransformPointsGeneric>)->Name("TransformPoints/generic");
BENCHMARK(BM_TransformPoints<Vector::TransformPointsSse>)->Name("TransformPoints/sse");
BENCHMARK(BM_TransformPoints<Vector::TransformPointsSse2>)->Name("TransformPoints/sse2");

// Through Matrix::Multiply, as every caller uses the product: a chain in which each
// product is a factor of the next (as down a frame hierarchy), and independent products.
template <MatrixMultiplyFunction Multiply> void BM_MatrixMultiplyChain(benchmark::State& state)
{
    const Data& data = GetData();
    Matrix::SetMultiplyFunction(Multiply);
    Matrix out[2] = {data.a, data.b};
    for (auto _ : state)
    {
        Matrix::Multiply(&out[0], &data.a, &out[1]);
        Matrix::Multiply(&out[1], &data.b, &out[0]);
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 2);
    Matrix::SetMultiplyFunction(nullptr);
}
BENCHMARK(BM_MatrixMultiplyChain<Matrix::MultiplyGeneric>)->Name("MatrixMultiplyChain/generic");
BENCHMARK(BM_MatrixMultiplyChain<Matrix::MultiplySse>)->Name("MatrixMultiplyChain/sse");

template <MatrixMultiplyFunction Multiply> void BM_MatrixMultiplyArray(benchmark::State& state)
{
    const Data& data = GetData();
    Matrix::SetMultiplyFunction(Multiply);
    constexpr int kCount = 256;
    std::vector<Matrix> left(kCount, data.a), right(kCount, data.b), out(kCount);
    for (auto _ : state)
    {
        for (int i = 0; i < kCount; ++i)
            Matrix::Multiply(&out[size_t(i)], &left[size_t(i)], &right[size_t(i)]);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kCount);
    Matrix::SetMultiplyFunction(nullptr);
}
BENCHMARK(BM_MatrixMultiplyArray<Matrix::MultiplyGeneric>)->Name("MatrixMultiplyArray/generic");
BENCHMARK(BM_MatrixMultiplyArray<Matrix::MultiplySse>)->Name("MatrixMultiplyArray/sse");

// ---- Square roots ----------------------------------------------------------------------------------

template <float (*Root)(float)> void BM_Root(benchmark::State& state)
{
    const Data& data = GetData();
    for (auto _ : state)
    {
        float sum = 0;
        for (float s : data.squares)
            sum += Root(s);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
}
float LibrarySqrt(float v)
{
    return std::sqrt(v);
}
float LibraryInvSqrt(float v)
{
    return 1.0f / std::sqrt(v);
}
BENCHMARK(BM_Root<Math::Sqrt>)->Name("Sqrt/table");
BENCHMARK(BM_Root<LibrarySqrt>)->Name("Sqrt/library");
BENCHMARK(BM_Root<Math::InvSqrt>)->Name("InvSqrt/table");
BENCHMARK(BM_Root<LibraryInvSqrt>)->Name("InvSqrt/library");

} // namespace

int main(int argc, char** argv)
{
    if (!BenchStartEngine())
    {
        std::fprintf(stderr, "the engine did not start\n");
        return 1;
    }
    int result = BenchRunWithRatios(argc, argv,
                                    {{"TransformPoints generic / sse", "TransformPoints/generic", "TransformPoints/sse"},
                                     {"TransformPoints generic / sse2", "TransformPoints/generic", "TransformPoints/sse2"},
                                     {"Matrix::Multiply chain generic / sse", "MatrixMultiplyChain/generic",
                                      "MatrixMultiplyChain/sse"},
                                     {"Matrix::Multiply array generic / sse", "MatrixMultiplyArray/generic",
                                      "MatrixMultiplyArray/sse"},
                                     {"Sqrt table / library", "Sqrt/table", "Sqrt/library"},
                                     {"InvSqrt table / library", "InvSqrt/table", "InvSqrt/library"}});
    BenchStopEngine();
    return result;
}
