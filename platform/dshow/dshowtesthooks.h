// Test hooks of our DirectShow layer: the call log, fault injection, delivery options,
// a clip encoder for fixtures and a bare decoder to measure the layer against. Only tests
// and benchmarks include this header.
#pragma once

#include "dshow.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace dshowtest
{

/// Forgets the call log, every fault and every delivery option.
void Reset();

// ---- Call log --------------------------------------------------------------------------------

/// Off by default. Entries read "Name" or "Name(arguments)"; DoRenderSample entries come
/// from the decode thread and carry the frame's number.
void EnableCallLog(bool on);
void ClearCallLog();
std::vector<std::string> CallLog();
/// Entries whose name (the text before any "(") is name.
size_t CountCalls(std::string_view name);

// ---- Faults ----------------------------------------------------------------------------------

/// The next count calls of that name ("CoCreateInstance", "QueryInterface", "AddFilter",
/// "RenderFile", "Run", "Pause", "Stop", "FreeEventParams") answer result and do nothing.
void FailNext(std::string_view name, HRESULT result, int count = 1);

// ---- Delivery --------------------------------------------------------------------------------

/// Offers top-down rows (a negative biHeight) from the next RenderFile on.
void DeliverTopDown(bool on);
/// Samples report that many bytes fewer than a frame holds.
void ShortenSamples(LONG bytes);
/// Graphs alive now; frames handed to renderers since Reset.
int LiveGraphs();
int DeliveredFrames();
/// Decodes since Reset that wrote past the sample buffer's frame into its guard band.
int BrokenGuards();

// ---- Clips -----------------------------------------------------------------------------------

/// 0xRRGGBB of pixel (x, y) of frame n.
using ClipPixel = std::function<uint32_t(int frame, int x, int y)>;
/// Encodes frames frames of width x height at fps as lossless FFV1 in a Matroska file.
/// True on success.
bool WriteClip(const std::string& path, int width, int height, int frames, int fps, const ClipPixel& pixel);
/// A Matroska clip of PNG pictures whose header says width x height while the frames from
/// `from` on are width2 x height2: a picture that changes size part-way. True on success.
bool WriteResizingClip(const std::string& path, int width, int height, int from, int width2, int height2, int frames,
                       int fps, const ClipPixel& pixel);

/// Decodes a file's first video stream straight through libavcodec and libswscale into
/// bottom-up 24-bit rows, without graph, thread or clock: what the layer adds is measured
/// against it.
class BareDecoder
{
public:
    BareDecoder();
    ~BareDecoder();
    bool Open(const std::string& path);
    int Width() const;
    int Height() const;
    /// Rows of (3 x width + 3) & ~3 bytes; false at the end.
    bool Next(std::vector<uint8_t>* rows);
    bool Rewind();

private:
    struct State;
    std::unique_ptr<State> mState;
};

} // namespace dshowtest
