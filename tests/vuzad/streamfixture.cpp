// Test helpers for engine streams: the byte-vector custom stream, the chunk builder and
// the sample record's writer and reader.
#include "streamfixture.h"

#include "byteorder.h"
#include "chunk.h"
#include "error.h"
#include "memory.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace
{

uint32_t StoreRead(void* data, void* buffer, uint32_t length)
{
    auto* store = static_cast<ByteStore*>(data);
    size_t n = std::min<size_t>(length, store->bytes.size() - store->position);
    if (n)
        std::memcpy(buffer, store->bytes.data() + store->position, n);
    store->position += n;
    return uint32_t(n);
}

int32_t StoreWrite(void* data, const void* buffer, uint32_t length)
{
    auto* store = static_cast<ByteStore*>(data);
    if (store->writes++ == store->failWriteAt)
        return 0;
    const auto* p = static_cast<const uint8_t*>(buffer);
    store->bytes.insert(store->bytes.end(), p, p + length);
    return 1;
}

int32_t StoreSkip(void* data, uint32_t offset)
{
    auto* store = static_cast<ByteStore*>(data);
    if (offset > store->bytes.size() - store->position)
    {
        store->position = store->bytes.size();
        return 0;
    }
    store->position += offset;
    return 1;
}

void StoreClose(void* data)
{
    ++static_cast<ByteStore*>(data)->closes;
}

// ---- Sample plug-ins ---------------------------------------------------------------------------

PluginRegistry sRegistry = PluginRegistry::Initial(int32_t(sizeof(SampleObject)));

template <typename T> T* At(void* object, int32_t offset)
{
    return reinterpret_cast<T*>(static_cast<char*>(object) + offset);
}
template <typename T> const T* At(const void* object, int32_t offset)
{
    return reinterpret_cast<const T*>(static_cast<const char*>(object) + offset);
}

Stream* WriteU32s(Stream* stream, const uint32_t* values, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i)
    {
        uint8_t b[4];
        ByteOrder::Store32(b, values[i]);
        if (!Stream::Write(stream, b, 4))
            return nullptr;
    }
    return stream;
}

bool ReadU32(Stream* stream, uint32_t* value)
{
    uint8_t b[4];
    if (!Stream::ReadWords(stream, b, 4))
        return false;
    *value = ByteOrder::Load32(b);
    return true;
}

int32_t PairSize(const void*, int32_t, int32_t)
{
    return 8;
}
Stream* PairWrite(Stream* stream, int32_t, const void* object, int32_t offset, int32_t)
{
    const auto* pair = At<SamplePair>(object, offset);
    uint32_t values[2] = {pair->a, pair->b};
    return WriteU32s(stream, values, 2);
}
Stream* PairRead(Stream* stream, int32_t length, void* object, int32_t offset, int32_t)
{
    auto* pair = At<SamplePair>(object, offset);
    if (length != 8)
    {
        Error::Report(kCorePluginId, kErrStreamRead);
        return nullptr;
    }
    return ReadU32(stream, &pair->a) && ReadU32(stream, &pair->b) ? stream : nullptr;
}

int32_t QuietSize(const void*, int32_t, int32_t)
{
    return 0;
}
Stream* QuietWrite(Stream* stream, int32_t, const void*, int32_t, int32_t)
{
    ADD_FAILURE() << "a plug-in whose size is 0 is never asked to write";
    return stream;
}
void* QuietAlways(void* object, int32_t offset, int32_t)
{
    ++*At<int32_t>(object, offset);
    return object;
}

int32_t ListSize(const void* object, int32_t offset, int32_t)
{
    const auto* list = At<SampleList>(object, offset);
    return list->count ? int32_t(4 + 4 * list->count) : 0;
}
Stream* ListWrite(Stream* stream, int32_t, const void* object, int32_t offset, int32_t)
{
    const auto* list = At<SampleList>(object, offset);
    return WriteU32s(stream, &list->count, 1) && WriteU32s(stream, list->values, list->count) ? stream : nullptr;
}
// The count is checked against the sub-chunk's length before anything is stored.
Stream* ListRead(Stream* stream, int32_t length, void* object, int32_t offset, int32_t)
{
    auto* list = At<SampleList>(object, offset);
    uint32_t count = 0;
    if (length < 4 || !ReadU32(stream, &count))
        return nullptr;
    if (count > uint32_t(kSampleListMax) || uint32_t(length) != 4 + 4 * count)
    {
        Error::Report(kCorePluginId, kErrStreamRead);
        return nullptr;
    }
    for (uint32_t i = 0; i < count; ++i)
        if (!ReadU32(stream, &list->values[i]))
            return nullptr;
    list->count = count;
    return stream;
}

void* ZeroData(void* object, int32_t offset, int32_t size)
{
    std::memset(static_cast<char*>(object) + offset, 0, size_t(size));
    return object;
}

} // namespace

void StreamFixture::SetUp()
{
    EngineFixture::SetUp();
    ASSERT_NE(Engine::Init(TestMemory::Functions(), 0, 0), 0);
    Sample::RegisterPlugins();
    ASSERT_EQ(Engine::Open(&mWindow), 1);
    ASSERT_EQ(Engine::Start(), 1);
}

void StreamFixture::TearDown()
{
    if (!mTempDir.empty())
        std::filesystem::remove_all(mTempDir);
    EngineFixture::TearDown();
}

int32_t StreamFixture::TakeError()
{
    Error e;
    Error::Get(&e);
    return e.code;
}

std::string StreamFixture::TempPath(const char* name)
{
    if (mTempDir.empty())
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "vuzad-stream-XXXXXX").string();
        char* made = mkdtemp(pattern.data());
        EXPECT_NE(made, nullptr);
        mTempDir = pattern;
    }
    return mTempDir + "/" + name;
}

StreamCallbacks ByteStore::Callbacks()
{
    return {StoreClose, StoreRead, StoreWrite, StoreSkip, this, nullptr};
}

ChunkBuilder& ChunkBuilder::U32(uint32_t value)
{
    uint8_t b[4];
    ByteOrder::Store32(b, value);
    bytes.insert(bytes.end(), b, b + 4);
    return *this;
}

ChunkBuilder& ChunkBuilder::U16(uint16_t value)
{
    bytes.push_back(uint8_t(value));
    bytes.push_back(uint8_t(value >> 8));
    return *this;
}

ChunkBuilder& ChunkBuilder::Raw(const std::string& text)
{
    bytes.insert(bytes.end(), text.begin(), text.end());
    return *this;
}

ChunkBuilder& ChunkBuilder::Header(uint32_t type, uint32_t size, uint32_t version, uint32_t build)
{
    return U32(type).U32(size).U32(LibraryStamp::Encode(version, build));
}

ChunkBuilder& ChunkBuilder::Stamp(uint32_t type, uint32_t size, uint32_t stamp)
{
    return U32(type).U32(size).U32(stamp);
}

Stream* OpenReader(std::vector<uint8_t>& bytes)
{
    MemoryBlock block = {bytes.data(), uint32_t(bytes.size())};
    return Stream::Open(kStreamMemory, kStreamRead, &block);
}

std::vector<uint8_t> CloseWriter(Stream* stream)
{
    MemoryBlock block = {};
    EXPECT_EQ(Stream::Close(stream, &block), 1);
    std::vector<uint8_t> bytes(block.start, block.start + block.length);
    Memory::Free(block.start);
    return bytes;
}

// ---- The sample record ------------------------------------------------------------------------------

void Sample::RegisterPlugins()
{
    ASSERT_GE(PluginRegistry::Register(&sRegistry, sizeof(SamplePair), kPairPlugin, ZeroData, nullptr, nullptr), 0);
    ASSERT_GE(PluginRegistry::Register(&sRegistry, sizeof(int32_t), kQuietPlugin, ZeroData, nullptr, nullptr), 0);
    ASSERT_GE(PluginRegistry::Register(&sRegistry, sizeof(SampleList), kListPlugin, ZeroData, nullptr, nullptr), 0);
    PluginRegistry::SetStreamCallbacks(&sRegistry, kPairPlugin, PairRead, PairWrite, PairSize);
    PluginRegistry::SetStreamCallbacks(&sRegistry, kQuietPlugin, nullptr, QuietWrite, QuietSize);
    PluginRegistry::SetAlwaysCallback(&sRegistry, kQuietPlugin, QuietAlways);
    PluginRegistry::SetStreamCallbacks(&sRegistry, kListPlugin, ListRead, ListWrite, ListSize);
}

PluginRegistry* Sample::Registry()
{
    return &sRegistry;
}

SampleObject* Sample::Create()
{
    auto* object = static_cast<SampleObject*>(std::calloc(1, size_t(sRegistry.size)));
    if (!PluginRegistry::InitObject(&sRegistry, object))
    {
        std::free(object);
        return nullptr;
    }
    return object;
}

void Sample::Destroy(SampleObject* object)
{
    if (!object)
        return;
    PluginRegistry::DeinitObject(&sRegistry, object);
    Memory::Free(object->tag);
    std::free(object);
}

SamplePair* Sample::Pair(SampleObject* object)
{
    return At<SamplePair>(object, PluginRegistry::GetPluginOffset(&sRegistry, kPairPlugin));
}

SampleList* Sample::List(SampleObject* object)
{
    return At<SampleList>(object, PluginRegistry::GetPluginOffset(&sRegistry, kListPlugin));
}

int32_t* Sample::AlwaysCount(SampleObject* object)
{
    return At<int32_t>(object, PluginRegistry::GetPluginOffset(&sRegistry, kQuietPlugin));
}

Stream* Sample::Write(Stream* stream, const SampleObject* object)
{
    uint32_t extension = uint32_t(PluginRegistry::GetExtensionSize(&sRegistry, object));
    uint32_t body = (12 + 12) + (12 + StringChunk::GetSize(object->name)) + (12 + StringChunk::GetSize(object->tag)) +
                    (12 + extension);
    uint32_t words[3];
    std::memcpy(&words[0], &object->id, 4);
    std::memcpy(&words[1], &object->x, 4);
    std::memcpy(&words[2], &object->y, 4);
    if (!Stream::WriteChunkHeader(stream, kSampleChunk, body, kLibraryVersion, kLibraryBuild) ||
        !Stream::WriteChunkHeader(stream, kChunkStruct, 12, kLibraryVersion, kLibraryBuild) ||
        !Stream::WriteWords(stream, words, 12) || !StringChunk::Write(object->name, stream) ||
        !StringChunk::Write(object->tag, stream) || !PluginRegistry::WriteExtensionChunk(&sRegistry, stream, object))
        return nullptr;
    return stream;
}

SampleObject* Sample::Read(Stream* stream)
{
    uint32_t size = 0;
    if (!Stream::FindChunk(stream, kSampleChunk, nullptr, nullptr) ||
        !Stream::FindChunk(stream, kChunkStruct, &size, nullptr))
        return nullptr;
    if (size != 12)
    {
        Error::Report(kCorePluginId, kErrStreamRead);
        return nullptr;
    }
    uint32_t words[3];
    if (!Stream::ReadWords(stream, words, 12))
        return nullptr;
    SampleObject* object = Create();
    if (!object)
        return nullptr;
    std::memcpy(&object->id, &words[0], 4);
    std::memcpy(&object->x, &words[1], 4);
    std::memcpy(&object->y, &words[2], 4);
    if (!StringChunk::Read(object->name, sizeof(object->name), stream) ||
        !(object->tag = StringChunk::Read(nullptr, 0, stream)) ||
        !PluginRegistry::ReadExtensionChunk(&sRegistry, stream, object))
    {
        Destroy(object);
        return nullptr;
    }
    return object;
}
