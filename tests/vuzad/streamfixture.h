// Test helpers for engine streams: a custom stream over a byte vector, a builder of raw
// chunk bytes, and a sample record with string, struct and extension chunks that is
// written and read the way every stored engine object is.
#pragma once

#include "plugin.h"
#include "stream.h"
#include "testdevice.h"

#include <cstdint>
#include <string>
#include <vector>

/// The data behind a custom stream.
struct ByteStore
{
    std::vector<uint8_t> bytes;
    size_t position = 0;
    int writes = 0;
    int failWriteAt = -1; ///< the write call (counted from 0) that fails
    int closes = 0;

    StreamCallbacks Callbacks();
};

/// Raw little-endian chunk bytes, for fixtures that no writer of ours produces.
struct ChunkBuilder
{
    std::vector<uint8_t> bytes;

    ChunkBuilder& U32(uint32_t value);
    ChunkBuilder& U16(uint16_t value);
    ChunkBuilder& Raw(const std::string& text);
    ChunkBuilder& Header(uint32_t type, uint32_t size, uint32_t version = 0x36003, uint32_t build = 0xFFFF);
    ChunkBuilder& Stamp(uint32_t type, uint32_t size, uint32_t stamp);
};

/// A started engine with the sample plug-ins registered, and a temporary directory of the
/// test's own made on first use.
class StreamFixture : public EngineFixture
{
protected:
    void SetUp() override;
    void TearDown() override;
    /// The slot's code, emptying it.
    static int32_t TakeError();
    std::string TempPath(const char* name);

private:
    std::string mTempDir;
};

/// Opens a memory stream for reading over bytes (which must outlive it).
Stream* OpenReader(std::vector<uint8_t>& bytes);
/// Closes a written memory stream and takes its bytes, freeing the buffer.
std::vector<uint8_t> CloseWriter(Stream* stream);

// ---- The sample record -----------------------------------------------------------------------
// A chunk of type 0x7F00 holding a struct {id, x, y}, a name (read into a 32-byte buffer),
// a tag (read into an allocated buffer) and an extension chunk with three plug-ins: a
// pair of words, a plug-in that writes nothing and counts its always callbacks, and a
// counted list of words whose count the reader checks against the sub-chunk's length.

constexpr uint32_t kSampleChunk = 0x7F00;
constexpr int32_t kPairPlugin = 0x7F01;
constexpr int32_t kQuietPlugin = 0x7F02;
constexpr int32_t kListPlugin = 0x7F03;
constexpr int32_t kSampleListMax = 8;

struct SampleObject
{
    int32_t id;
    float x;
    float y;
    char name[32];
    char* tag; ///< from the engine's memory
};

struct SamplePair
{
    uint32_t a;
    uint32_t b;
};

struct SampleList
{
    uint32_t count;
    uint32_t values[kSampleListMax];
};

struct Sample
{
    /// Registers the three plug-ins; between Engine::Init and Engine::Open.
    static void RegisterPlugins();
    static PluginRegistry* Registry();

    /// Zeroed, plug-ins constructed; free with Destroy.
    static SampleObject* Create();
    static void Destroy(SampleObject* object);
    static SamplePair* Pair(SampleObject* object);
    static SampleList* List(SampleObject* object);
    static int32_t* AlwaysCount(SampleObject* object);

    static Stream* Write(Stream* stream, const SampleObject* object);
    /// Null on failure, with nothing left allocated.
    static SampleObject* Read(Stream* stream);
};
