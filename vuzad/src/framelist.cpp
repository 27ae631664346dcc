// The frame-list chunk: a count, one record per frame with its modelling rows and parent
// index, then one extension chunk per frame.
#include "framelist.h"

#include "chunk.h"
#include "error.h"
#include "frame.h"
#include "memory.h"
#include "stream.h"

#include <algorithm>
#include <cstring>

namespace
{

constexpr uint32_t kArrayHint = kMemoryHintObject | kChunkFrameList;
constexpr float kTolerance = 0.01f;
constexpr int32_t kFirstCapacity = 16;

void Report(int32_t code)
{
    Error::Report(kCorePluginId, code);
}

float Dot(const Vector& a, const Vector& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

// Orthonormal when the rows are of unit length, mutually perpendicular and right-handed,
// each within the stored data's tolerance.
uint32_t ClassifyRows(const Matrix& m)
{
    const Vector* axes[3] = {&m.right, &m.up, &m.at};
    float lengthError = 0.0f, orthogonalError = 0.0f;
    for (int i = 0; i < 3; ++i)
    {
        float e = Dot(*axes[i], *axes[i]) - 1.0f;
        lengthError += e * e;
        float d = Dot(*axes[i], *axes[(i + 1) % 3]);
        orthogonalError += d * d;
    }
    bool rotation = lengthError <= kTolerance && orthogonalError <= kTolerance && Matrix::Determinant(&m) >= 0.99f;
    return rotation ? kMatrixOrthonormal : 0;
}

// Every hierarchy among the first count frames, and the array. The roots are all picked
// out before any is destroyed, since destroying one frees frames later in the array.
void Discard(FrameList* list, int32_t count)
{
    int32_t roots = 0;
    for (int32_t i = 0; i < count; ++i)
        if (!list->frames[i]->parent)
            list->frames[roots++] = list->frames[i];
    for (int32_t i = 0; i < roots; ++i)
        Frame::DestroyHierarchy(list->frames[i]);
    Memory::Free(list->frames);
    list->frames = nullptr;
    list->numFrames = 0;
}

} // namespace

FrameList* FrameList::StreamRead(Stream* stream, FrameList* list)
{
    uint32_t size = 0;
    int32_t count = 0;
    if (!Stream::FindChunk(stream, kChunkStruct, &size, nullptr))
        return nullptr;
    if (size < 4 || !Stream::ReadWords(stream, &count, 4))
        return nullptr;
    // The count must describe the body exactly: it sizes the array below.
    if (count < 0 || (size - 4) / kFrameListRecordSize != uint32_t(count) || (size - 4) % kFrameListRecordSize)
    {
        Report(Error::MakeCode(kErrStreamRead));
        return nullptr;
    }
    list->numFrames = count;
    list->frames = nullptr;
    // The array grows as records arrive, so a count the stream does not back costs
    // nothing before the body runs out.
    int32_t capacity = 0;
    for (int32_t i = 0; i < count; ++i)
    {
        if (i == capacity)
        {
            auto next = int32_t(std::min<int64_t>(count, std::max<int64_t>(2 * int64_t(capacity), kFirstCapacity)));
            size_t bytes = sizeof(Frame*) * size_t(next);
            void* grown = list->frames ? Memory::Reallocate(list->frames, bytes, kArrayHint)
                                       : Memory::Allocate(bytes, kArrayHint);
            if (!grown)
            {
                Report(Error::MakeCode(kErrNoMemory, bytes));
                Discard(list, i);
                return nullptr;
            }
            list->frames = static_cast<Frame**>(grown);
            capacity = next;
        }
        uint32_t words[kFrameListRecordSize / 4];
        Frame* frame = nullptr;
        if (!Stream::ReadWords(stream, words, kFrameListRecordSize) || !(frame = Frame::Create()))
        {
            Discard(list, i);
            return nullptr;
        }
        list->frames[i] = frame;
        Matrix& m = frame->modelling;
        Vector* rows[4] = {&m.right, &m.up, &m.at, &m.pos};
        for (int r = 0; r < 4; ++r)
            std::memcpy(rows[r], words + 3 * r, 12);
        m.flags = ClassifyRows(m);
        auto parent = int32_t(words[12]);
        if (parent < -1 || parent >= i)
        {
            Report(Error::MakeCode(kErrStreamRead));
            Discard(list, i + 1);
            return nullptr;
        }
        if (parent >= 0)
            Frame::AddChild(list->frames[parent], frame);
    }
    for (int32_t i = 0; i < count; ++i)
    {
        Frame* frame = list->frames[i];
        if (!PluginRegistry::ReadExtensionChunk(Frame::Registry(), stream, frame))
        {
            Discard(list, count);
            return nullptr;
        }
        if (frame->root == frame)
            Frame::UpdateObjects(frame);
    }
    return list;
}

FrameList* FrameList::Deinit(FrameList* list)
{
    if (list->numFrames != 0)
        Memory::Free(list->frames);
    list->frames = nullptr;
    list->numFrames = 0;
    return list;
}
