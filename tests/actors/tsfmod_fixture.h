// Shared fixture of the sound tests: the script world's fixture with the sound layer started
// on our FMOD 3 layer (null output, 0.1 s of sound per update), tone files written into the
// test's directory and declared as sound resources, descriptions in "SOUNDS", and a real
// clock the test moves by hand.
#pragma once

#include "scriptworld_fixture.h"

#include <string>
#include <utility>
#include <vector>

namespace soundtest
{

/// Resources every test has: SD_HIT_S2DSB (0.3 s, no loop), SD_LOOP_S2DSB (0.3 s, looping),
/// SD_HUM_S3DSB (1 s, looping, distances 100 to 100000), Z_MUSIC_STDSB (0.5 s, stereo).
class SoundTest : public scriptworldtest::ScriptWorldTest
{
protected:
    void SetUp() override;
    void TearDown() override;

    /// The real clock moved on by the seconds, then one TsFModUpdate.
    void Tick(double seconds);
    /// A file of the test's directory declared for the identifier.
    void Declare(const char* identifier, const char* file);
    /// A pack entry's name declared for the identifier.
    void DeclareEntry(const char* identifier, const char* entry);
    /// The child of "SOUNDS" with those entries (replacing one of that name).
    void Describe(const char* name, std::vector<std::pair<const char*, float>> reals,
                  std::vector<std::pair<const char*, int>> integers,
                  std::vector<std::pair<const char*, const char*>> strings);
    /// Mounts the archives in order, with the disk as fallback.
    void MountPacks(const std::vector<std::string>& names);

private:
    std::vector<std::string> mDeclared;
};

} // namespace soundtest
