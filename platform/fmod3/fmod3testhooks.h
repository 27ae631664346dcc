// Test hooks of our FMOD 3 layer: the call log, fault injection, the update clock, the
// loopback output whose rendered frames tests read back, and tone files written with the
// layer's own encoder. Only tests (and benchmarks) include this header.
#pragma once

#include "fmod3.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fmod3test
{

/// Forgets every fault, the call log, the clock step and the loopback choice (the layer
/// itself stays open or closed as it is).
void Reset();

// ---- Call log ------------------------------------------------------------------------------

struct Call
{
    std::string name;   ///< the function, e.g. "FSOUND_PlaySound"
    std::string args;   ///< e.g. "-1, #3"; samples and streams as "#<id>", null as "null",
                        ///< paths in double quotes, reals with up to 6 significant digits
    std::string result; ///< the answer as text; empty for functions that answer nothing
    std::string Text() const { return name + "(" + args + ")" + (result.empty() ? "" : " = " + result); }
};

/// Off by default; every FSOUND_ function records itself while on.
void EnableCallLog(bool on);
void ClearCallLog();
const std::vector<Call>& CallLog();
size_t CountCalls(std::string_view name);
/// The argument strings of every call of that name, in order.
std::vector<std::string> CallArgs(std::string_view name);
/// How a sample or stream appears in the log: "#<id>", ids counting from 1 per process.
std::string ObjectName(const void* object);

// ---- Faults ----------------------------------------------------------------------------------

/// What FSOUND_GetVersion answers (3.73 by default).
void SetVersion(float version);
/// The next FSOUND_Init fails.
void FailInit(bool fail);
/// Opens of samples and streams fail (a non-blocking stream's state turns -3).
void FailOpens(bool fail);
/// Non-blocking streams opened from now on stay pending for that many updates beyond the
/// first.
void HoldStreamOpens(int updates);
/// The next n calls of FSOUND_Stream_Stop / FSOUND_Stream_Close answer 0 and do nothing.
void RefuseStreamStops(int n);
void RefuseStreamCloses(int n);
/// While on, FSOUND_PlaySound and FSOUND_Stream_Play find no free channel.
void NoFreeChannel(bool on);

// ---- Clock -----------------------------------------------------------------------------------

/// Each FSOUND_Update advances the timeline by this many seconds; a negative step (the
/// default) takes the real time since the previous update.
void SetUpdateStep(double seconds);

// ---- Output ----------------------------------------------------------------------------------

/// The next FSOUND_Init opens OpenAL's loopback device (stereo, 32-bit float, no HRTF) in
/// place of the system output; each update then renders the timeline's step of frames.
void UseLoopback(bool on);
/// Interleaved left/right frames rendered since the last call; clears them.
std::vector<float> TakeRendered();

// ---- Inspection ------------------------------------------------------------------------------

/// Channels playing now.
int PlayingChannels();
/// Samples and streams alive.
int LiveSamples();
int LiveStreams();
/// A channel's position in the file's frames (a ping-pong loop counts back down).
double ChannelPosition(int channel);

// ---- Tone files ------------------------------------------------------------------------------

enum class ToneFormat
{
    Wav16,
    OggVorbis,
};

/// Writes seconds of a sine at hz (amplitude 0.5) to a new file; true on success.
bool WriteTone(const std::string& path, ToneFormat format, int rate, int channels, double seconds, double hz);

} // namespace fmod3test
