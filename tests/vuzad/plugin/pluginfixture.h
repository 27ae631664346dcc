// Test helpers for the engine plug-ins and toolkits: an engine started with the world, random, spline,
// user-data, keyframe and hierarchy plug-ins attached, and the mutation sweep every reader gets.
#pragma once

#include "streamfixture.h"

#include <cstdint>
#include <functional>
#include <vector>

class PluginFixture : public StreamFixture
{
protected:
    void SetUp() override;
    /// Instead of SetUp: the engine with only the world, animation and hierarchy plug-ins and the
    /// one attachPlugin attaches (wrap the call in ASSERT_NO_FATAL_FAILURE where more follows).
    void SetUpWith(int32_t (*attachPlugin)());
};

/// Calls read with count deterministic mutations of bytes (bytes flipped, overwritten with
/// extreme words, the tail cut off); read must neither crash nor leak, whatever it answers.
void SweepMutations(const std::vector<uint8_t>& bytes, int count, const std::function<void(std::vector<uint8_t>&)>& read,
                    size_t protectedPrefix = 0);
