// The cut-scene video player: one video at a time decoded into a 32-bit raster that the
// cinematic state draws, polled once per frame, ended by completion or "SKIP_CINEMATIC";
// and the video mutex that the decode thread and the drawing game thread share.
#pragma once

#include <cstdint>

struct Raster;

/// The start callback: called with its argument when the video starts playing.
using TsVideoStartCallback = void (*)(int32_t argument);

/// Creates the video mutex, unnamed and not owned; once, at start-up. 0.
int32_t TsVideoCreateMutex();
/// Takes the video mutex, waiting as long as it takes: 1 when taken, 0 when the wait failed
/// (no mutex). Bracket every use of the video raster with this and TsVideoUnlockFrame.
int32_t TsVideoLockFrame();
void TsVideoUnlockFrame();

/// Opens and cues the video; a name whose folders do not exist is tried as its bare file
/// name. 0, or 5 when the file or the graph fails (what was built stays for TsVideoClose).
int32_t TsVideoOpen(const char* name, TsVideoStartCallback callback, int32_t argument);
/// 0 keeps "SKIP_CINEMATIC" from ending the open video (a cut-scene the player may not skip);
/// every open allows it again.
void TsVideoAllowSkip(int32_t allow);
/// Once per frame. playState: 1 playing, 2 finished (also before any open). The first poll
/// after an open starts the video (5 when that fails). Raster and time are set while
/// playing, the raster showing the latest frame decoded (put in here, on the calling
/// thread); 4 once an event could not be freed.
int32_t TsVideoPoll(Raster** raster, float* time, int32_t* playState);
/// The video's size in pixels: 0, or 7 (outputs untouched) without an open video.
int32_t TsVideoGetSize(float* width, float* height);
/// Stops and tears the graph down; the raster goes with the renderer. 0.
int32_t TsVideoClose();
