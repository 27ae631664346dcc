// Tests of materials and material lists: sharing, growth, and the list's stream form that
// stores a shared material once.
#include "geometrywriter.h"
#include "material.h"
#include "texture.h"
#include "worldfixture.h"

#include <gtest/gtest.h>

namespace
{

using Materials = WorldFixture;

TEST_F(Materials, ListsHoldOneReferencePerEntryAndGrowByTwenty)
{
    MaterialList list;
    MaterialList::Init(&list);
    Material* shared = Material::Create();
    for (int i = 0; i < 20; ++i)
    {
        Material* m = Material::Create();
        EXPECT_EQ(MaterialList::AppendMaterial(&list, m), i);
        Material::Destroy(m);
    }
    EXPECT_EQ(list.capacity, 20);
    EXPECT_EQ(MaterialList::AppendMaterial(&list, shared), 20);
    EXPECT_EQ(list.capacity, 40);
    EXPECT_EQ(MaterialList::AppendMaterial(&list, shared), 21);
    EXPECT_EQ(shared->refCount, 3);
    EXPECT_EQ(MaterialList::FindMaterialIndex(&list, shared), 21);
    MaterialList::Deinit(&list);
    EXPECT_EQ(shared->refCount, 1);
    EXPECT_EQ(list.count, 0);
    Material::Destroy(shared);
}

TEST_F(Materials, SharedEntriesAreWrittenOnceAndReadBackShared)
{
    MaterialList list;
    MaterialList::Init(&list);
    Material* a = Material::Create();
    Material* b = Material::Create();
    a->colour = {10, 20, 30, 40};
    a->surface = {0.25f, 0.5f, 0.75f};
    MaterialList::AppendMaterial(&list, a);
    MaterialList::AppendMaterial(&list, b);
    MaterialList::AppendMaterial(&list, a);
    EXPECT_EQ(Material::StreamGetSize(b), 40 + 12);

    Stream* out = Stream::Open(kStreamMemory, kStreamWrite, nullptr);
    ASSERT_NE(MaterialList::StreamWrite(&list, out), nullptr);
    std::vector<uint8_t> bytes = CloseWriter(out);
    ASSERT_EQ(bytes.size(), size_t(12 + MaterialList::StreamGetSize(&list)));
    auto word = [&](size_t at)
    {
        uint32_t v;
        std::memcpy(&v, &bytes[at], 4);
        return int32_t(v);
    };
    EXPECT_EQ(word(24), 3);
    EXPECT_EQ(word(28), -1);
    EXPECT_EQ(word(32), -1);
    EXPECT_EQ(word(36), 0);
    // The tool writer lays out the same bytes from a plain description.
    GeometryDescription::Material first, second;
    first.colour = {10, 20, 30, 40};
    first.ambient = 0.25f;
    first.specular = 0.5f;
    first.diffuse = 0.75f;
    EXPECT_EQ(GeometryWriter::WriteMaterialList({first, second}, {0, 1, 0}), bytes);

    Stream* in = OpenReader(bytes);
    uint32_t type = 0;
    Stream::ReadChunkHeader(in, &type, nullptr, nullptr, nullptr);
    MaterialList read;
    ASSERT_NE(MaterialList::StreamRead(in, &read), nullptr);
    Stream::Close(in, nullptr);
    ASSERT_EQ(read.count, 3);
    EXPECT_EQ(read.materials[0], read.materials[2]);
    EXPECT_NE(read.materials[0], read.materials[1]);
    EXPECT_EQ(read.materials[0]->refCount, 2);
    EXPECT_EQ(read.materials[0]->colour.alpha, 40);
    EXPECT_EQ(read.materials[0]->surface.specular, 0.5f);
    MaterialList::Deinit(&read);
    MaterialList::Deinit(&list);
    Material::Destroy(a);
    Material::Destroy(b);
}

TEST_F(Materials, TexturedMaterialsFindTheirTextureByNameOnRead)
{
    Texture* texture = Texture::Create(nullptr);
    Texture::SetName(texture, "bricks");
    TextureDictionary::AddTexture(TextureDictionary::GetCurrent(), texture);
    Material* material = Material::Create();
    Material::SetTexture(material, texture);
    EXPECT_EQ(texture->refCount, 2);
    EXPECT_EQ(Material::StreamGetSize(material), 52 + Texture::StreamGetSize(texture) + 12);

    Stream* out = Stream::Open(kStreamMemory, kStreamWrite, nullptr);
    ASSERT_NE(Material::StreamWrite(material, out), nullptr);
    std::vector<uint8_t> bytes = CloseWriter(out);
    Stream* in = OpenReader(bytes);
    ASSERT_TRUE(Stream::FindChunk(in, 7, nullptr, nullptr));
    Material* read = Material::StreamRead(in);
    Stream::Close(in, nullptr);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->texture, texture);
    EXPECT_EQ(texture->refCount, 3);
    Material::Destroy(read);
    Material::SetTexture(material, nullptr);
    EXPECT_EQ(texture->refCount, 1);
    Material::Destroy(material);
}

TEST_F(Materials, ListWordsNamingEntriesNotYetReadAreRefused)
{
    GeometryDescription::Material m;
    // Entry 0 names entry 1, which is not read yet; a word below -1 is refused too.
    for (uint32_t bad : {1u, 0u, 0xFFFFFFFEu})
    {
        std::vector<uint8_t> bytes = GeometryWriter::WriteMaterialList({m}, {0, 0});
        std::memcpy(&bytes[24 + 4], &bad, 4);
        Stream* in = OpenReader(bytes);
        Stream::ReadChunkHeader(in, nullptr, nullptr, nullptr, nullptr);
        MaterialList list;
        EXPECT_EQ(MaterialList::StreamRead(in, &list), nullptr) << bad;
        EXPECT_EQ(list.count, 0);
        EXPECT_EQ(list.materials, nullptr);
        Stream::Close(in, nullptr);
        TakeError();
    }
}

TEST_F(Materials, MutatedListsAreRefusedOrReadWithoutLeaks)
{
    GeometryDescription::Material m;
    std::vector<uint8_t> good = GeometryWriter::WriteMaterialList({m, m}, {0, 1, 0});
    for (size_t at = 12; at < good.size(); ++at)
        for (uint8_t value : {uint8_t(0x00), uint8_t(0xFF), uint8_t(0x7F), uint8_t(0x80)})
        {
            std::vector<uint8_t> bytes = good;
            bytes[at] = value;
            Stream* in = OpenReader(bytes);
            Stream::ReadChunkHeader(in, nullptr, nullptr, nullptr, nullptr);
            MaterialList list;
            if (MaterialList::StreamRead(in, &list))
                MaterialList::Deinit(&list);
            Stream::Close(in, nullptr);
            TakeError();
        }
}

} // namespace
