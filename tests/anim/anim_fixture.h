// Helpers of the animation tests: the mutation sweep every reader gets.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace animtest
{
/// Calls read with count deterministic mutations of bytes (bits flipped, bytes overwritten,
/// extreme words written over counts, the tail cut off).
void SweepMutations(const std::vector<uint8_t>& bytes, int count, const std::function<void(std::vector<uint8_t>&)>& read);
} // namespace animtest
