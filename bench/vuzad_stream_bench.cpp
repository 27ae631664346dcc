// Benchmark: the engine's stream parsing and frame synchronisation. Parses a 5 MB stream
// of small nested chunks (from memory and through custom callbacks, as pack archives
// read) against a memcpy of the same bytes, and synchronises 1,000 frames in 50
// hierarchies with a tenth of them changed per frame.
#include "benchsupport.h"
#include "chunk.h"
#include "device.h"
#include "engine.h"
#include "frame.h"
#include "frameobject.h"
#include "memory.h"
#include "plugin.h"
#include "stream.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace
{

// ---- Records: a container holding a struct, a name and an extension with one plug-in ------

constexpr uint32_t kRecordChunk = 0x7A00;
constexpr int32_t kDataPlugin = 0x7A01;
constexpr size_t kStreamBytes = 5 * 1024 * 1024;

PluginRegistry sRegistry = PluginRegistry::Initial(64);

Stream* ReadData(Stream* stream, int32_t length, void* object, int32_t offset, int32_t)
{
    if (length != 8)
        return nullptr;
    return Stream::ReadWords(stream, static_cast<char*>(object) + offset, 8);
}
Stream* WriteData(Stream* stream, int32_t, const void* object, int32_t offset, int32_t)
{
    return Stream::WriteWords(stream, static_cast<const char*>(object) + offset, 8);
}
int32_t DataSize(const void*, int32_t, int32_t)
{
    return 8;
}

std::vector<uint8_t>& Bytes()
{
    static std::vector<uint8_t> bytes;
    if (!bytes.empty())
        return bytes;
    Stream* w = Stream::Open(kStreamMemory, kStreamWrite, nullptr);
    alignas(8) char object[128] = {};
    for (uint32_t i = 0;; ++i)
    {
        char name[16];
        std::snprintf(name, sizeof name, "obj%u", i);
        uint32_t words[3] = {i, i * 3, i * 7};
        uint32_t body = 24 + 12 + StringChunk::GetSize(name) + 12 + 20;
        Stream::WriteChunkHeader(w, kRecordChunk, body, kLibraryVersion, kLibraryBuild);
        Stream::WriteChunkHeader(w, kChunkStruct, 12, kLibraryVersion, kLibraryBuild);
        Stream::WriteWords(w, words, 12);
        StringChunk::Write(name, w);
        PluginRegistry::WriteExtensionChunk(&sRegistry, w, object);
        if (w->memory.position >= kStreamBytes)
            break;
    }
    MemoryBlock block = {};
    Stream::Close(w, &block);
    bytes.assign(block.start, block.start + block.length);
    Memory::Free(block.start);
    return bytes;
}

// Reads every record into a scratch object (words, then the name at 16, the plug-in's
// data at 64); answers how many were read.
int ParseAll(Stream* s)
{
    alignas(8) char object[128];
    int count = 0;
    uint32_t size = 0;
    while (Stream::FindChunk(s, kRecordChunk, nullptr, nullptr))
    {
        if (!Stream::FindChunk(s, kChunkStruct, &size, nullptr) || size != 12 || !Stream::ReadWords(s, object, 12) ||
            !StringChunk::Read(object + 16, 32, s) || !PluginRegistry::ReadExtensionChunk(&sRegistry, s, object))
            break;
        ++count;
    }
    return count;
}

struct Cursor
{
    const uint8_t* bytes;
    size_t size;
    size_t position;
};

uint32_t CursorRead(void* data, void* buffer, uint32_t length)
{
    auto* c = static_cast<Cursor*>(data);
    size_t n = std::min<size_t>(length, c->size - c->position);
    std::memcpy(buffer, c->bytes + c->position, n);
    c->position += n;
    return uint32_t(n);
}
int32_t CursorSkip(void* data, uint32_t offset)
{
    auto* c = static_cast<Cursor*>(data);
    if (offset > c->size - c->position)
        return 0;
    c->position += offset;
    return 1;
}

void BM_Memcpy(benchmark::State& state)
{
    std::vector<uint8_t>& bytes = Bytes();
    std::vector<uint8_t> copy(bytes.size());
    for (auto _ : state)
    {
        std::memcpy(copy.data(), bytes.data(), bytes.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
}
BENCHMARK(BM_Memcpy)->Name("Parse5MB/memcpy")->Unit(benchmark::kMillisecond);

void BM_ParseMemory(benchmark::State& state)
{
    std::vector<uint8_t>& bytes = Bytes();
    int records = 0;
    for (auto _ : state)
    {
        MemoryBlock block = {bytes.data(), uint32_t(bytes.size())};
        Stream* s = Stream::Open(kStreamMemory, kStreamRead, &block);
        records = ParseAll(s);
        Stream::Close(s, nullptr);
    }
    state.counters["records"] = records;
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
}
BENCHMARK(BM_ParseMemory)->Name("Parse5MB/memory stream")->Unit(benchmark::kMillisecond);

void BM_ParseCustom(benchmark::State& state)
{
    std::vector<uint8_t>& bytes = Bytes();
    int records = 0;
    for (auto _ : state)
    {
        Cursor cursor = {bytes.data(), bytes.size(), 0};
        StreamCallbacks callbacks = {nullptr, CursorRead, nullptr, CursorSkip, &cursor, nullptr};
        Stream* s = Stream::Open(kStreamCustom, kStreamRead, &callbacks);
        records = ParseAll(s);
        Stream::Close(s, nullptr);
    }
    state.counters["records"] = records;
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
}
BENCHMARK(BM_ParseCustom)->Name("Parse5MB/custom stream")->Unit(benchmark::kMillisecond);

// ---- Frames ------------------------------------------------------------------------------------

constexpr int kHierarchies = 50;
constexpr int kFramesPerHierarchy = 20;
constexpr int kFrames = kHierarchies * kFramesPerHierarchy;

struct Node
{
    FrameObject header;
    int syncs;
};

FrameObject* Sync(FrameObject* object)
{
    ++reinterpret_cast<Node*>(object)->syncs;
    return object;
}

// Each hierarchy: a root, four children, and four grandchildren under each child but the
// last, which has three (20 frames).
void BM_SyncDirtyList(benchmark::State& state)
{
    std::vector<Frame*> frames;
    std::vector<Node> nodes(kFrames);
    std::vector<Frame*> roots;
    for (int h = 0; h < kHierarchies; ++h)
    {
        Frame* root = Frame::Create();
        roots.push_back(root);
        frames.push_back(root);
        int made = 1;
        for (int c = 0; c < 4 && made < kFramesPerHierarchy; ++c)
        {
            Frame* child = Frame::Create();
            Frame::AddChild(root, child);
            frames.push_back(child);
            ++made;
            for (int g = 0; g < 4 && made < kFramesPerHierarchy; ++g)
            {
                Frame* grandchild = Frame::Create();
                Frame::AddChild(child, grandchild);
                frames.push_back(grandchild);
                ++made;
            }
        }
    }
    if (frames.size() != size_t(kFrames))
    {
        state.SkipWithError("hierarchies of the wrong size");
        return;
    }
    for (int i = 0; i < kFrames; ++i)
    {
        FrameObject::Init(&nodes[size_t(i)].header, 1, Sync);
        FrameObject::SetFrame(&nodes[size_t(i)].header, frames[size_t(i)]);
    }
    Frame::SyncDirtyList();

    std::mt19937 rng(11);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    Vector axis = {0, 1, 0};
    for (auto _ : state)
    {
        for (int i = 0; i < kFrames / 10; ++i)
        {
            Frame* f = frames[rng() % frames.size()];
            Vector move = {value(rng), value(rng), value(rng)};
            Frame::Rotate(f, &axis, value(rng) * 10.0f, kCombinePostConcat);
            Frame::Translate(f, &move, kCombinePostConcat);
        }
        Frame::SyncDirtyList();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kFrames);
    for (Frame* root : roots)
        Frame::DestroyHierarchy(root);
}
BENCHMARK(BM_SyncDirtyList)->Name("SyncDirtyList/1000 frames, 50 hierarchies, 10% changed");

bool RegisterDataPlugin()
{
    if (PluginRegistry::Register(&sRegistry, 8, kDataPlugin, nullptr, nullptr, nullptr) < 0)
        return false;
    PluginRegistry::SetStreamCallbacks(&sRegistry, kDataPlugin, ReadData, WriteData, DataSize);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (!BenchStartEngine(RegisterDataPlugin))
    {
        std::fprintf(stderr, "the engine did not start\n");
        return 1;
    }
    int result = BenchRunWithRatios(argc, argv,
                                    {{"Parse memory stream / memcpy", "Parse5MB/memory stream", "Parse5MB/memcpy"},
                                     {"Parse custom stream / memcpy", "Parse5MB/custom stream", "Parse5MB/memcpy"}});
    BenchStopEngine();
    return result;
}
