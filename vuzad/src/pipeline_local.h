// Inside the pipeline module: the scratch range that unlocking hands the dependency analysis.
#pragma once

#include <cstddef>
#include <cstdint>

/// Between the packed node outputs (bottom) and the sort records (top) of the block being
/// unlocked; both ends move towards each other.
struct PipelineScratch
{
    uint8_t* bottom;
    uint8_t* top;
};

PipelineScratch& PipelineScratchArea();

/// Scratch allocations are aligned for pointers.
constexpr size_t kPipelineScratchAlignment = 8;

inline size_t PipelineAlign(size_t size)
{
    return (size + kPipelineScratchAlignment - 1) & ~(kPipelineScratchAlignment - 1);
}
