// CPUID feature tests and the installation of the routines that suit the processor.
#include "cpufeature.h"

#include "fpu.h"
#include "matrix.h"
#include "vector.h"

#include <cpuid.h>

namespace
{

// x86-64 always has CPUID, so the test of the flags register's bit 21 is not needed.
uint32_t Leaf1Edx()
{
    unsigned int eax, ebx, ecx, edx;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx))
        return 0;
    return edx;
}

} // namespace

int32_t CpuFeature::HasMmx()
{
    return (Leaf1Edx() >> 23) & 1;
}

int32_t CpuFeature::HasSse()
{
    return ((Leaf1Edx() >> 25) & 1) | ((Leaf1Edx() >> 26) & 1);
}

int32_t CpuFeature::HasSse2()
{
    return (Leaf1Edx() >> 26) & 1;
}

int32_t CpuFeature::Has3dNow()
{
    unsigned int eax, ebx, ecx, edx;
    __cpuid(0x80000000u, eax, ebx, ecx, edx);
    if (eax <= 0x80000000u)
        return 0;
    __cpuid(0x80000001u, eax, ebx, ecx, edx);
    return (edx >> 31) & 1;
}

CpuFeatures CpuFeature::Detect()
{
    return {HasMmx(), HasSse(), HasSse2(), Has3dNow()};
}

namespace
{
// x86-64 always has SSE.
int32_t sEngineSse = 1;
} // namespace

int32_t CpuFeature::GetEngineSse()
{
    return sEngineSse;
}

void CpuFeature::SetEngineSse(int32_t sse)
{
    sEngineSse = sse ? 1 : 0;
}

void CpuFeature::InstallRoutines(const CpuFeatures& features)
{
    sEngineSse = features.sse ? 1 : 0;
    FPU::SetSinglePrecision();
    if (features.sse)
        FPU::SetFlushToZero();
    Matrix::SetMultiplyFunction(features.sse ? Matrix::MultiplySse : Matrix::MultiplyX87);
    TransformFunctions set = !features.sse                          ? Vector::X87Set()
                             : features.sse2 && !features.threeDNow ? Vector::Sse2Set()
                                                                    : Vector::SseSet();
    Vector::SetTransformFunctions(set.point, set.points, set.vector, set.vectors);
}
