// Tests of textures and texture dictionaries on the recording device: references, names,
// the lists and their finding, the read's find step, and the texture chunk (the word, the
// mipmapping flags around the read, plug-in data, hostile bodies).
#include "engine.h"
#include "error.h"
#include "filesystem.h"
#include "image.h"
#include "streamfixture.h"
#include "texture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace
{

constexpr int32_t kTagPlugin = 0x7F10;

Stream* ReadTag(Stream* stream, int32_t length, void* object, int32_t offset, int32_t)
{
    return length == 4 ? Stream::ReadWords(stream, static_cast<char*>(object) + offset, 4) : nullptr;
}
Stream* WriteTag(Stream* stream, int32_t, const void* object, int32_t offset, int32_t)
{
    return Stream::WriteWords(stream, static_cast<const char*>(object) + offset, 4);
}
int32_t TagSize(const void* object, int32_t offset, int32_t)
{
    uint32_t tag;
    std::memcpy(&tag, static_cast<const char*>(object) + offset, 4);
    return tag ? 4 : 0;
}

uint32_t& Tag(Texture* texture)
{
    return *reinterpret_cast<uint32_t*>(reinterpret_cast<char*>(texture) + Texture::GetPluginOffset(kTagPlugin));
}

int32_t TakeError()
{
    Error e;
    Error::Get(&e);
    return e.code;
}

// What the image reader saw of the module's flags, for each name it was asked to read.
struct SeenRead
{
    std::string name;
    int32_t mipmapping;
    int32_t autoMipmapping;
};
std::vector<SeenRead> sSeen;

int32_t AnyFileExists(const char*)
{
    return 1;
}

Image* RecordingReader(const char* name)
{
    sSeen.push_back({name, Texture::GetMipmapping(), Texture::GetAutoMipmapping()});
    return nullptr;
}

class Textures : public EngineFixture
{
protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        sSeen.clear();
        ASSERT_NE(Engine::Init(TestMemory::Functions(), 0, 0), 0);
        ASSERT_GE(Texture::RegisterPlugin(4, kTagPlugin, nullptr, nullptr, nullptr), 0);
        ASSERT_GE(Texture::RegisterPluginStream(kTagPlugin, ReadTag, WriteTag, TagSize), 0);
        ASSERT_EQ(Engine::Open(&mWindow), 1);
        ASSERT_EQ(Engine::Start(), 1);
    }

    static Texture* Named(const char* name, TextureDictionary* dictionary = nullptr)
    {
        Texture* texture = Texture::Create(nullptr);
        EXPECT_NE(texture, nullptr);
        Texture::SetName(texture, name);
        if (dictionary)
            TextureDictionary::AddTexture(dictionary, texture);
        return texture;
    }

    static std::vector<uint8_t> Write(const Texture* texture)
    {
        Stream* stream = Stream::Open(kStreamMemory, kStreamWrite, nullptr);
        EXPECT_NE(Texture::StreamWrite(texture, stream), nullptr);
        return CloseWriter(stream);
    }

    /// Reads a texture chunk's bytes from inside the chunk; how many bytes were left unread.
    static Texture* Read(std::vector<uint8_t>& bytes, uint32_t* left = nullptr)
    {
        Stream* stream = OpenReader(bytes);
        EXPECT_TRUE(Stream::FindChunk(stream, kChunkTexture, nullptr, nullptr));
        Texture* texture = Texture::StreamRead(stream);
        if (left)
            *left = stream->memory.capacity - stream->memory.position;
        Stream::Close(stream, nullptr);
        return texture;
    }
};

TEST_F(Textures, NewTexturesAndTheirNames)
{
    Texture* texture = Texture::Create(nullptr);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->filterAddressing, 0x1101u);
    EXPECT_EQ(texture->refCount, 1);
    EXPECT_EQ(texture->dictionary, nullptr);
    EXPECT_STREQ(texture->name, "");

    TakeError();
    std::string forty(40, 'n');
    Texture::SetName(texture, forty.c_str());
    EXPECT_EQ(std::string(texture->name), forty.substr(0, 31));
    EXPECT_EQ(TakeError(), int32_t(0x8000001Eu));
    Texture::SetMaskName(texture, std::string(31, 'm').c_str());
    EXPECT_EQ(std::strlen(texture->maskName), 31u);
    EXPECT_EQ(TakeError(), int32_t(0x80000000u)) << "31 characters fit";
    Texture::Destroy(texture);
}

TEST_F(Textures, DictionariesKeepNewestFirstAndFindByFoldedName)
{
    TextureDictionary* dictionary = TextureDictionary::GetCurrent();
    ASSERT_NE(dictionary, nullptr) << "the module opens with a current dictionary";
    Texture* older = Named("brick", dictionary);
    Texture* newer = Named("BRICK", dictionary);
    Texture* other = Named("w\xe4ll", dictionary);

    EXPECT_EQ(TextureDictionary::FindTexture(dictionary, "Brick"), newer) << "a-z fold, newest first";
    EXPECT_EQ(TextureDictionary::FindTexture(dictionary, "W\xe4LL"), other);
    EXPECT_EQ(TextureDictionary::FindTexture(dictionary, "w\xc4ll"), nullptr) << "only a-z fold";
    EXPECT_EQ(TextureDictionary::FindInCurrent("brick"), newer);
    EXPECT_EQ(TextureDictionary::FindInCurrent(nullptr), nullptr);
    TextureDictionary::SetCurrent(nullptr);
    EXPECT_EQ(TextureDictionary::FindInCurrent("brick"), nullptr) << "no current dictionary";
    TextureDictionary::SetCurrent(dictionary);

    // A null answer stops the walk.
    int32_t calls = 0;
    TextureDictionary::ForAllTextures(
        dictionary, [](Texture*, void* data) -> Texture* { return ++*static_cast<int32_t*>(data), nullptr; }, &calls);
    EXPECT_EQ(calls, 1);

    // The walk fetches the next texture first, so the callback may release the one it gets.
    std::vector<Texture*> seen;
    auto release = [](Texture* t, void* data) -> Texture*
    {
        static_cast<std::vector<Texture*>*>(data)->push_back(t);
        Texture::Destroy(t);
        return t;
    };
    TextureDictionary::ForAllTextures(dictionary, release, &seen);
    EXPECT_EQ(seen, (std::vector<Texture*>{other, newer, older}));
    EXPECT_TRUE(ListLink::IsEmpty(&dictionary->textures));
}

TEST_F(Textures, MovingReleasingAndDestroyingDictionaries)
{
    TextureDictionary* first = TextureDictionary::GetCurrent();
    TextureDictionary* second = TextureDictionary::Create();
    ASSERT_NE(second, nullptr);
    Texture* texture = Named("stone", first);
    TextureDictionary::AddTexture(second, texture);
    EXPECT_EQ(texture->dictionary, second);
    EXPECT_EQ(TextureDictionary::FindTexture(first, "stone"), nullptr);

    // A second reference keeps the texture in its dictionary.
    ++texture->refCount;
    Texture::Destroy(texture);
    EXPECT_EQ(texture->refCount, 1);
    EXPECT_EQ(TextureDictionary::FindTexture(second, "stone"), texture);

    // Destroying the dictionary releases its reference; one held elsewhere survives
    // without a link into the freed dictionary.
    ++texture->refCount;
    TextureDictionary::SetCurrent(second);
    TextureDictionary::Destroy(second);
    EXPECT_EQ(TextureDictionary::GetCurrent(), nullptr);
    EXPECT_EQ(texture->refCount, 1);
    EXPECT_EQ(texture->dictionary, nullptr);
    TextureDictionary::AddTexture(first, texture); // would write through a stale link
    EXPECT_EQ(TextureDictionary::FindTexture(first, "stone"), texture);
    // The module's close destroys the first dictionary with the texture in it.
}

TEST_F(Textures, ReadFindsBeforeItLoads)
{
    FileSystem::GetFunctions()->exists = AnyFileExists;
    ASSERT_EQ(Image::RegisterFileFormat("tst", RecordingReader, nullptr), 1);
    TextureDictionary* first = TextureDictionary::GetCurrent();
    TextureDictionary* second = TextureDictionary::Create();
    Texture* inFirst = Named("grass", first);
    Texture* inSecond = Named("sand", second);

    Texture* found = Texture::Read("GRASS", "ignored mask");
    EXPECT_EQ(found, inFirst);
    EXPECT_EQ(inFirst->refCount, 2);
    EXPECT_TRUE(sSeen.empty()) << "no image is read for a texture found";
    Texture::Destroy(found);

    // With a current dictionary only it is searched; without one, all of them.
    TakeError();
    EXPECT_EQ(Texture::Read("sand", nullptr), nullptr);
    EXPECT_EQ(TakeError(), 22);
    ASSERT_EQ(sSeen.size(), 1u);
    EXPECT_EQ(sSeen[0].name, "sand.tst");
    TextureDictionary::SetCurrent(nullptr);
    EXPECT_EQ(Texture::Read("sand", nullptr), inSecond);
    EXPECT_EQ(inSecond->refCount, 2);
    Texture::Destroy(inSecond);
    TextureDictionary::Destroy(second);
}

TEST_F(Textures, ChunksRoundTripByteForByte)
{
    Texture* texture = Named("brick", TextureDictionary::GetCurrent());
    Texture::SetMaskName(texture, "brickmask");
    texture->filterAddressing = 0x3204;
    Tag(texture) = 0xC0FFEE;

    std::vector<uint8_t> bytes = Write(texture);
    ASSERT_EQ(bytes.size(), size_t(12 + Texture::StreamGetSize(texture)));
    EXPECT_EQ(Texture::StreamGetSize(texture), 52 + 8 + 12 + 16);
    // Bit 16 is only set for a raster that cannot generate levels; there is no raster.
    uint32_t word;
    std::memcpy(&word, bytes.data() + 24, 4);
    EXPECT_EQ(word, 0x3204u);

    // The reader finds the texture held already: it keeps its word and gains a reference.
    texture->filterAddressing = 0x1101;
    Texture* read = Read(bytes);
    EXPECT_EQ(read, texture);
    EXPECT_EQ(texture->refCount, 2);
    EXPECT_EQ(texture->filterAddressing, 0x1101u);
    Texture::Destroy(read);

    texture->filterAddressing = 0x3204;
    EXPECT_EQ(Write(texture), bytes);
}

TEST_F(Textures, ReadingAChunkSetsTheMipmappingFlagsForTheLoadOnly)
{
    FileSystem::GetFunctions()->exists = AnyFileExists;
    ASSERT_EQ(Image::RegisterFileFormat("tst", RecordingReader, nullptr), 1);
    Texture::SetMipmapping(0);
    Texture::SetAutoMipmapping(1);
    struct Case
    {
        uint32_t word;
        int32_t mipmapping, autoMipmapping;
    } cases[] = {
        {0x00004, 1, 1}, // a mipmapped filter, levels the device may generate
        {0x10004, 1, 0}, // the raster it came from could not generate them
        {0x00002, 0, 0}, // linear: no levels
        {0x00006, 1, 1},
    };
    for (const Case& c : cases)
    {
        sSeen.clear();
        ChunkBuilder chunk;
        chunk.Header(kChunkTexture, 52 + 8 + 4).Header(kChunkStruct, 4).U32(c.word);
        chunk.Header(kChunkString, 8).Raw(std::string("wood\0\0\0\0", 8)).Header(kChunkString, 4).U32(0);
        chunk.Header(kChunkExtension, 0);
        uint32_t left = 99;
        EXPECT_EQ(Read(chunk.bytes, &left), nullptr);
        EXPECT_EQ(left, 0u) << "the extension chunk is skipped";
        ASSERT_FALSE(sSeen.empty()) << std::hex << c.word;
        EXPECT_EQ(sSeen[0].mipmapping, c.mipmapping) << std::hex << c.word;
        EXPECT_EQ(sSeen[0].autoMipmapping, c.autoMipmapping) << std::hex << c.word;
        EXPECT_EQ(Texture::GetMipmapping(), 0);
        EXPECT_EQ(Texture::GetAutoMipmapping(), 1);
    }
}

TEST_F(Textures, HostileChunksAreRefusedWhole)
{
    TakeError();
    auto body = [](uint32_t structSize, uint32_t nameSize, const std::string& name)
    {
        ChunkBuilder chunk;
        chunk.Header(kChunkTexture, 0).Header(kChunkStruct, structSize).U32(0x1102);
        if (structSize > 4)
            chunk.U32(0);
        chunk.Header(kChunkString, nameSize).Raw(name).Header(kChunkString, 4).U32(0).Header(kChunkExtension, 0);
        return chunk.bytes;
    };
    std::vector<uint8_t> oversized = body(8, 4, std::string("abc\0", 4));
    EXPECT_EQ(Read(oversized), nullptr);
    EXPECT_EQ(TakeError(), int32_t(0x8000001Au));
    std::string longName(200, 'x');
    std::vector<uint8_t> longString = body(4, 200, longName);
    EXPECT_EQ(Read(longString), nullptr) << "a name past its 128-byte buffer";
}

} // namespace
