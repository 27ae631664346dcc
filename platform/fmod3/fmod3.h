// Our FMOD 3 layer: the FSOUND_ calls the sound layer makes, over OpenAL Soft (output)
// and libsndfile (WAV and OGG decoding). Samples and streams are read from a disk path,
// optionally from a byte range of it (a sound stored inside a pack archive).
//
// Channels are small non-negative numbers; -1 means none. Volumes are 0..255. The 3D
// space is left-handed (x right, y up, z forward). Whether a sound has ended is decided
// by the layer's own timeline, which FSOUND_Update advances, not by the output device.
// Main thread only.
#pragma once

#include <cstdint>

struct FSOUND_SAMPLE;
struct FSOUND_STREAM;

// ---- Constants -------------------------------------------------------------------------

/// Passed as a channel (or sample index): let the layer choose.
constexpr int FSOUND_FREE = -1;

/// Mode bits of samples, streams and channels.
enum : unsigned int
{
    FSOUND_LOOP_OFF = 0x00000001,
    FSOUND_LOOP_NORMAL = 0x00000002,
    FSOUND_LOOP_BIDI = 0x00000004, ///< ping-pong: forward, then reversed, and again
    FSOUND_HW3D = 0x00001000,
    FSOUND_HW2D = 0x00080000,
    FSOUND_NONBLOCKING = 0x01000000, ///< a stream opens at the next FSOUND_Update
};
constexpr unsigned int FSOUND_LOOP_MASK = FSOUND_LOOP_OFF | FSOUND_LOOP_NORMAL | FSOUND_LOOP_BIDI;

/// FSOUND_Stream_GetOpenState: 0 open, this value while a non-blocking open is pending,
/// -3 when the open failed.
constexpr int FSOUND_OPENSTATE_PENDING = -2;
constexpr int FSOUND_OPENSTATE_FAILED = -3;

// ---- Start-up ----------------------------------------------------------------------------

/// The layer's version, 3.73.
float FSOUND_GetVersion();
/// Opens the output at mixrate with channelCount channels (1..64); non-zero on success.
/// Calling it again while open fails.
signed char FSOUND_Init(int mixrate, int channelCount, unsigned int flags);
/// Frees every sample, stream and channel and closes the output.
void FSOUND_Close();
/// Advances the timeline by the time since the last update (ends non-looping channels),
/// completes pending stream opens and feeds the playing streams.
void FSOUND_Update();

// ---- 3D ------------------------------------------------------------------------------------

/// World units per metre (kept for the Doppler effect, which nothing here uses).
void FSOUND_3D_SetDistanceFactor(float scale);
/// pos and vel may be null (left as they were).
void FSOUND_3D_Listener_SetAttributes(const float* pos, const float* vel, float fx, float fy, float fz, float tx,
                                      float ty, float tz);
/// Places a 3D channel; pos or vel may be null. 0 for a channel that does not play.
signed char FSOUND_3D_SetAttributes(int channel, const float* pos, const float* vel);

// ---- Channels -----------------------------------------------------------------------------

/// Plays the sample on channel (FSOUND_FREE: the next free one, in turn after the channel
/// handed out last) at full volume; the channel, or -1 when none is free or the sample is null.
int FSOUND_PlaySound(int channel, FSOUND_SAMPLE* sample);
signed char FSOUND_StopSound(int channel);
/// 1 while the channel plays; a non-looping channel stops once its length has passed.
signed char FSOUND_IsPlaying(int channel);
/// The loop bits of what the channel plays; 0 for a channel that does not play.
unsigned int FSOUND_GetLoopMode(int channel);
/// vol is clamped to 0..255.
signed char FSOUND_SetVolume(int channel, int vol);
/// 0 for a channel that does not play.
int FSOUND_GetVolume(int channel);

// ---- Samples ---------------------------------------------------------------------------------

/// Decodes the file (or offset..offset+length of it; 0 0 for the whole file) into a new
/// sample; null when the range lies outside the file or the data cannot be decoded. index
/// is ignored: the layer chooses.
FSOUND_SAMPLE* FSOUND_Sample_Load(int index, const char* name, unsigned int mode, int offset, int length);
/// Sets the loop bits of the mode (for channels started later).
signed char FSOUND_Sample_SetMode(FSOUND_SAMPLE* sample, unsigned int mode);
signed char FSOUND_Sample_SetMinMaxDistance(FSOUND_SAMPLE* sample, float min, float max);
/// Stops the channels that play it, then frees it.
void FSOUND_Sample_Free(FSOUND_SAMPLE* sample);
/// Length in sample frames.
unsigned int FSOUND_Sample_GetLength(FSOUND_SAMPLE* sample);
/// Default frequency (the file's rate), volume (255), pan (128) and priority (128);
/// any pointer may be null.
signed char FSOUND_Sample_GetDefaults(FSOUND_SAMPLE* sample, int* freq, int* vol, int* pan, int* pri);

// ---- Streams ---------------------------------------------------------------------------------

/// A stream over the file or the byte range. With FSOUND_NONBLOCKING the handle comes back
/// pending and the open ends (0 or -3) at the next update; blocking, the open happens now
/// and a failure answers null.
FSOUND_STREAM* FSOUND_Stream_Open(const char* name, unsigned int mode, int offset, int length);
int FSOUND_Stream_GetOpenState(FSOUND_STREAM* stream);
unsigned int FSOUND_Stream_GetMode(FSOUND_STREAM* stream);
/// Sets the loop bits (a playing channel follows).
signed char FSOUND_Stream_SetMode(FSOUND_STREAM* stream, unsigned int mode);
/// Plays the open stream from its start; the channel, or -1 (not open, none free).
int FSOUND_Stream_Play(int channel, FSOUND_STREAM* stream);
/// Stops its channel and rewinds; 1 on success.
signed char FSOUND_Stream_Stop(FSOUND_STREAM* stream);
/// Stops and frees the stream; 1 on success (the handle is dead then).
signed char FSOUND_Stream_Close(FSOUND_STREAM* stream);
/// 0 until the stream is open.
int FSOUND_Stream_GetLengthMs(FSOUND_STREAM* stream);
