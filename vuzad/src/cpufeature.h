// Processor features, and the choice of the matrix product and transform routines made
// from them when the device finalises the engine's start.
#pragma once

#include <cstdint>

struct CpuFeatures
{
    int32_t mmx;
    int32_t sse;
    int32_t sse2;
    int32_t threeDNow;
};

struct CpuFeature
{
    // CPUID tests; each answers 1 or 0.
    static int32_t HasMmx();
    static int32_t HasSse();
    static int32_t HasSse2();
    /// Leaf 0x80000001 EDX bit 31; current x86-64 processors answer 0.
    static int32_t Has3dNow();
    static CpuFeatures Detect();

    /// What a device does at finalise start: single precision; flush-to-zero with SSE;
    /// the SSE product with SSE, else the scalar one; the SSE2 transforms when SSE and
    /// SSE2 are present without 3DNow!, the SSE ones with SSE otherwise, else the scalar
    /// set. Needs a started engine.
    static void InstallRoutines(const CpuFeatures& features);
    /// The SSE report the device recorded at its last finalise start (1 before any): the
    /// skin pipeline chooses its palette layout and blend routines by it.
    static int32_t GetEngineSse();
    /// Replaces the report (tests compare both layouts on one machine).
    static void SetEngineSse(int32_t sse);
};
