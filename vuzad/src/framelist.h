// Frame lists: the frames of a stored hierarchy in stream order, as the frame-list chunk
// holds them and clump readers attach objects to them by index.
#pragma once

#include <cstdint>

struct Frame;
struct Stream;

/// Bytes of one frame's record in the frame-list chunk: four rows of three reals, the
/// parent index and a reserved word (written 0, never read).
constexpr uint32_t kFrameListRecordSize = 56;

struct FrameList
{
    Frame** frames; ///< in stream order; every parent comes before its children
    int32_t numFrames;

    /// The stream stands inside a frame-list chunk. Fills list with new frames: the stored
    /// modelling rows (flagged orthonormal when they are a rotation within tolerance, else
    /// general) and parents by index (-1 for a root). Null when the body is malformed (a
    /// count or parent index outside what it holds: 0x8000001A), short, or a frame or its
    /// plug-in data cannot be made; nothing made is left behind then.
    static FrameList* StreamRead(Stream* stream, FrameList* list);
    /// Frees the array (not the frames). The list.
    static FrameList* Deinit(FrameList* list);
};
