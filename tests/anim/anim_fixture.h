// Helpers of the animation tests: the mutation sweep every reader gets.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "vector.h"

namespace animtest
{
/// Calls read with count deterministic mutations of bytes (bits flipped, bytes overwritten,
/// extreme words written over counts, the tail cut off).
void SweepMutations(const std::vector<uint8_t>& bytes, int count, const std::function<void(std::vector<uint8_t>&)>& read);
} // namespace animtest

#include "animationwriter.h"

#include <gtest/gtest.h>

#include <string>

struct Animation;
struct Frame;
struct Hierarchy;
class RdAnimation;

namespace animtest
{

/// A started engine with the keyframe toolkit and hierarchies (no device), the game clock at
/// 0, a temporary working directory, and a two-bone model hierarchy on demand.
class AnimTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    /// An animation of nodes bones whose root moves by rootMove over duration seconds.
    static Animation* MakeAnimation(float duration, Vector rootMove = {0, 0, 0}, int nodes = 2);
    /// An RdAnimation (count 0: the caller's Release deletes it) set up from MakeAnimation.
    static RdAnimation* MakeResource(const char* name, float duration, Vector rootMove = {0, 0, 0},
                                     const char* path = "walk.anm");
    /// Frames top -> bone 0 -> bone 1 with node ids 0 and 1 and a hierarchy on bone 0.
    Hierarchy* ModelHierarchy();

    /// Seconds as game-clock ticks.
    static int64_t Ticks(double seconds);
    /// Advances the game clock by step seconds (its step and time), returning the new time.
    int64_t Step(double seconds);

    int64_t mNow = 0;
    std::string mDirectory;

private:
    std::string mPrevious;
    Frame* mTop = nullptr;
    Frame* mBones[2] = {};
};

void WriteText(const std::string& path, const std::string& text);

} // namespace animtest
