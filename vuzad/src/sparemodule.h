// Two engine-level modules that hold nothing anyone uses but take their places in the
// module order: one only counts its openings, the other keeps a free list that nothing
// allocates from.
#pragma once

#include <cstdint>

struct SpareModule
{
    static constexpr int32_t kCounterPluginId = 0x40D;
    static constexpr int32_t kListPluginId = 0x412;
    static const int32_t kCounterBlockSize;
    static const int32_t kListBlockSize;

    static void* OpenCounter(void* engine, int32_t offset, int32_t size);
    static void* CloseCounter(void* engine, int32_t offset, int32_t size);
    /// Fails when the free list cannot make its block.
    static void* OpenList(void* engine, int32_t offset, int32_t size);
    static void* CloseList(void* engine, int32_t offset, int32_t size);

    static int32_t GetCounterOpenCount();
    static int32_t GetListOpenCount();
};
