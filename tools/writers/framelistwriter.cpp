// The frame-list chunk, written.
#include "framelistwriter.h"

#include "chunk.h"
#include "error.h"
#include "frame.h"
#include "framelist.h"
#include "memory.h"
#include "stream.h"

#include <cstring>
#include <vector>

namespace
{

void Report(int32_t code)
{
    Error::Report(kCorePluginId, code);
}

void Gather(Frame* frame, std::vector<Frame*>& out)
{
    out.push_back(frame);
    for (Frame* child = frame->child; child; child = child->next)
        Gather(child, out);
}

int32_t IndexOf(const FrameList* list, const Frame* frame, int32_t before)
{
    for (int32_t i = 0; i < before; ++i)
        if (list->frames[i] == frame)
            return i;
    return -2;
}

} // namespace

FrameList* FrameListWriter::Collect(Frame* root, FrameList* list)
{
    std::vector<Frame*> frames;
    Gather(root, frames);
    list->numFrames = int32_t(frames.size());
    list->frames = static_cast<Frame**>(Memory::Allocate(sizeof(Frame*) * frames.size(), kMemoryHintObject));
    if (!list->frames)
    {
        list->numFrames = 0;
        Report(Error::MakeCode(kErrNoMemory));
        return nullptr;
    }
    std::memcpy(list->frames, frames.data(), sizeof(Frame*) * frames.size());
    return list;
}

uint32_t FrameListWriter::GetSize(const FrameList* list)
{
    uint32_t size = kChunkHeaderSize + 4 + kFrameListRecordSize * uint32_t(list->numFrames);
    for (int32_t i = 0; i < list->numFrames; ++i)
        size += kChunkHeaderSize + uint32_t(PluginRegistry::GetExtensionSize(Frame::Registry(), list->frames[i]));
    return size;
}

const FrameList* FrameListWriter::Write(const FrameList* list, Stream* stream)
{
    std::vector<int32_t> parents(size_t(list->numFrames));
    for (int32_t i = 0; i < list->numFrames; ++i)
    {
        const Frame* parent = list->frames[i]->parent;
        parents[size_t(i)] = parent ? IndexOf(list, parent, i) : -1;
        if (parents[size_t(i)] < -1)
        {
            Report(Error::MakeCode(kErrBadArgument));
            return nullptr;
        }
    }
    uint32_t count = uint32_t(list->numFrames);
    bool ok = Stream::WriteChunkHeader(stream, kChunkFrameList, GetSize(list), kLibraryVersion, kLibraryBuild) &&
              Stream::WriteChunkHeader(stream, kChunkStruct, 4 + kFrameListRecordSize * count, kLibraryVersion,
                                       kLibraryBuild) &&
              Stream::WriteWords(stream, &count, 4);
    for (int32_t i = 0; ok && i < list->numFrames; ++i)
    {
        const Matrix& m = list->frames[i]->modelling;
        uint32_t words[kFrameListRecordSize / 4] = {};
        const Vector* rows[4] = {&m.right, &m.up, &m.at, &m.pos};
        for (int r = 0; r < 4; ++r)
            std::memcpy(words + 3 * r, rows[r], 12);
        words[12] = uint32_t(parents[size_t(i)]);
        words[13] = 0; // reserved
        ok = Stream::WriteWords(stream, words, kFrameListRecordSize) != nullptr;
    }
    for (int32_t i = 0; ok && i < list->numFrames; ++i)
        ok = PluginRegistry::WriteExtensionChunk(Frame::Registry(), stream, list->frames[i]) != nullptr;
    if (!ok)
    {
        Report(Error::MakeCode(kErrStreamWrite));
        return nullptr;
    }
    return list;
}
