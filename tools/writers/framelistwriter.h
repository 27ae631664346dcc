// Writes frame lists in the form FrameList::StreamRead reads: the chunk, the count and
// one record per frame (rows, parent index, a reserved 0), then each frame's plug-in data.
#pragma once

#include <cstdint>

struct Frame;
struct FrameList;
struct Stream;

struct FrameListWriter
{
    /// The hierarchy under root in an order the reader accepts (each frame after its
    /// parent, children in their sibling order). The array comes from the engine's memory
    /// (release it with FrameList::Deinit). The list, or null.
    static FrameList* Collect(Frame* root, FrameList* list);
    /// Body size of the list's chunk.
    static uint32_t GetSize(const FrameList* list);
    /// The list, or null: a frame whose parent is not earlier in the list cannot be
    /// written (0x80000003), a failed write reports 0x8000001C.
    static const FrameList* Write(const FrameList* list, Stream* stream);
};
