// Material effects on our Direct3D 9 layer: the effect record per kind, the material
// extension's stream form (round trips, refusals, mutations), the bump texture's name, build
// and sharing through the current dictionary, and the atomic flag's switch of pipeline.
#include "animation.h"
#include "clump.h"
#include "d3d9driverfixture.h"
#include "d3d9raster.h"
#include "dictionary.h"
#include "material.h"
#include "matfx.h"
#include "pipeline.h"
#include "pluginfixture.h"
#include "raster.h"
#include "stream.h"
#include "streamfixture.h"
#include "texture.h"
#include "uvanim.h"
#include "uvanimwriter.h"
#include "world.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace
{

class MatFxData : public d3d9driver::DriverTest
{
protected:
    void SetUp() override
    {
        DriverTest::SetUp();
        d3d9test::SetAdapters({d3d9driver::Adapter()});
        ASSERT_NE(Engine::Init(nullptr, 0, 0), 0);
        ASSERT_EQ(World::Attach(), 1);
        ASSERT_EQ(MatFx::Attach(), 1);
        ASSERT_EQ(Engine::Open(&mWindow), 1);
        ASSERT_EQ(Engine::Start(), 1);
    }

    void TearDown() override
    {
        for (Material* m : mMaterials)
            Material::Destroy(m);
        for (Texture* t : mTextures)
            Texture::Destroy(t);
        mMaterials.clear();
        mTextures.clear();
        d3d9driver::TakeError();
        DriverTest::TearDown();
    }

    /// A named texture of ARGB pixels in the current dictionary; the fixture keeps a reference.
    Texture* MakeTexture(const char* name, int32_t width, int32_t height, const std::vector<uint32_t>& argb,
                         uint32_t format = kRasterFormat8888)
    {
        Raster* raster = Raster::Create(width, height, 0, kRasterTypeTexture | format);
        EXPECT_NE(raster, nullptr);
        if (!raster)
            return nullptr;
        uint8_t* pixels = Raster::Lock(raster, 0, kRasterLockWrite);
        for (int32_t y = 0; pixels && y < height; ++y)
            std::memcpy(pixels + size_t(y) * size_t(raster->stride), &argb[size_t(y) * size_t(width)],
                        size_t(width) * 4);
        Raster::Unlock(raster);
        Texture* texture = Texture::Create(raster);
        Texture::SetName(texture, name);
        TextureDictionary::AddTexture(TextureDictionary::GetCurrent(), texture);
        ++texture->refCount;
        mTextures.push_back(texture);
        return texture;
    }

    Material* MakeMaterial(Texture* base = nullptr)
    {
        Material* m = Material::Create();
        if (base)
        {
            Material::SetTexture(m, base);
        }
        mMaterials.push_back(m);
        return m;
    }

    static std::vector<uint8_t> Write(const Material* material)
    {
        Stream* out = Stream::Open(kStreamMemory, kStreamWrite, nullptr);
        EXPECT_NE(Material::StreamWrite(material, out), nullptr);
        return CloseWriter(out);
    }

    /// The material read back, or null; the fixture owns it.
    Material* Read(std::vector<uint8_t>& bytes)
    {
        Stream* in = OpenReader(bytes);
        Material* m = Stream::FindChunk(in, 7, nullptr, nullptr) ? Material::StreamRead(in) : nullptr;
        Stream::Close(in, nullptr);
        if (m)
            mMaterials.push_back(m);
        return m;
    }

    std::vector<Material*> mMaterials;
    std::vector<Texture*> mTextures;
};

// Four columns of colour over four rows; the bump map's columns grow brighter.
std::vector<uint32_t> Columns(const uint32_t (&colours)[4])
{
    std::vector<uint32_t> out;
    for (int y = 0; y < 4; ++y)
        out.insert(out.end(), std::begin(colours), std::end(colours));
    return out;
}

const uint32_t kRock[4] = {0xFF804020, 0xFF208040, 0xFF402080, 0xFFC0C0C0};
const uint32_t kBump[4] = {0xFF101010, 0xFF405020, 0xFF2090F0, 0xFFFFFFFF};

TEST_F(MatFxData, EveryKindRoundTripsThroughTheMaterialStream)
{
    Texture* rock = MakeTexture("rock", 4, 4, Columns(kRock));
    Texture* bump = MakeTexture("bump", 4, 4, Columns(kBump));
    Texture* sky = MakeTexture("sky", 4, 4, Columns(kRock), kRasterFormat888);
    Texture* decal = MakeTexture("decal", 4, 4, Columns(kBump));
    for (int32_t kind = kMatFxBumpMap; kind <= kMatFxDualUVTransform; ++kind)
    {
        SCOPED_TRACE(kind);
        Material* m = MakeMaterial(rock);
        ASSERT_EQ(MatFx::SetEffects(m, kind), m);
        MatFxMaterialData* data = MatFx::GetData(m);
        if (MatFxEffectSlot* s = MatFx::FindSlot(data, kMatFxSlotBump))
        {
            ASSERT_EQ(MatFx::SetBumpTexture(m, bump), m);
            s->bump.bumpiness = -0.75f;
        }
        if (MatFxEffectSlot* s = MatFx::FindSlot(data, kMatFxSlotEnv))
        {
            s->env.texture = sky;
            ++sky->refCount;
            s->env.coefficient = 0.5f;
            s->env.frameBufferAlpha = 1;
        }
        if (MatFxEffectSlot* s = MatFx::FindSlot(data, kMatFxSlotDual))
        {
            s->dual.texture = decal;
            ++decal->refCount;
            ASSERT_EQ(MatFx::SetDualBlendModes(m, 9, 1), m);
        }
        if (kind == kMatFxUVTransform)
        {
            EXPECT_EQ(MatFx::MaterialStreamGetSize(m, MatFx::GetMaterialOffset(), 0), 12);
        }

        std::vector<uint8_t> bytes = Write(m);
        Material* back = Read(bytes);
        ASSERT_NE(back, nullptr);
        MatFxMaterialData* got = MatFx::GetData(back);
        ASSERT_NE(got, nullptr);
        EXPECT_EQ(got->kind, kind);
        for (int i = 0; i < 2; ++i)
        {
            const MatFxEffectSlot &a = data->slots[i], &b = got->slots[i];
            ASSERT_EQ(a.type, b.type) << i;
            if (a.type == kMatFxSlotBump)
            {
                EXPECT_EQ(b.bump.drawnTexture, a.bump.drawnTexture) << "found again by name";
                EXPECT_EQ(b.bump.bumpMap, bump);
                EXPECT_FLOAT_EQ(b.bump.bumpiness, -0.75f);
                EXPECT_FLOAT_EQ(b.bump.invWidth, 0.25f);
            }
            if (a.type == kMatFxSlotEnv)
            {
                EXPECT_EQ(b.env.texture, sky);
                EXPECT_FLOAT_EQ(b.env.coefficient, 0.5f);
                EXPECT_EQ(b.env.frameBufferAlpha, 1);
            }
            if (a.type == kMatFxSlotDual)
            {
                EXPECT_EQ(b.dual.texture, decal);
                EXPECT_EQ(b.dual.sourceBlend, 9);
                EXPECT_EQ(b.dual.destBlend, 1);
            }
        }
        EXPECT_EQ(Write(back), bytes) << "the stream form is byte-identical after a round trip";

        // A copy holds its own references to the same textures.
        Material* copy = MakeMaterial(rock);
        const int32_t before = bump->refCount + sky->refCount + decal->refCount;
        ASSERT_NE(PluginRegistry::CopyObject(Material::Registry(), copy, m), nullptr);
        EXPECT_EQ(MatFx::GetKind(copy), kind);
        EXPECT_GE(bump->refCount + sky->refCount + decal->refCount, before + (kind == kMatFxUVTransform ? 0 : 1));
        EXPECT_EQ(Write(copy), bytes);
    }
}

TEST_F(MatFxData, AKindOfItsOwnClearsTheRecordAndTheSameKindKeepsIt)
{
    Texture* sky = MakeTexture("sky", 4, 4, Columns(kRock));
    Material* m = MakeMaterial();
    ASSERT_EQ(MatFx::SetEffects(m, kMatFxEnvMap), m);
    MatFxEffectSlot* env = MatFx::FindSlot(MatFx::GetData(m), kMatFxSlotEnv);
    env->env.texture = sky;
    ++sky->refCount;
    env->env.coefficient = 0.25f;
    const int32_t held = sky->refCount;

    ASSERT_EQ(MatFx::SetEffects(m, kMatFxEnvMap), m);
    EXPECT_EQ(env->env.texture, sky);
    EXPECT_FLOAT_EQ(env->env.coefficient, 0.25f);
    EXPECT_EQ(sky->refCount, held);

    ASSERT_EQ(MatFx::SetEffects(m, kMatFxDual), m);
    EXPECT_EQ(sky->refCount, held - 1) << "the environment texture is released";
    MatFxMaterialData* data = MatFx::GetData(m);
    EXPECT_EQ(data->slots[0].type, kMatFxSlotDual);
    EXPECT_EQ(data->slots[0].dual.texture, nullptr);
    EXPECT_EQ(data->slots[0].dual.sourceBlend, 5);
    EXPECT_EQ(data->slots[0].dual.destBlend, 6);
    EXPECT_EQ(MatFx::FindSlot(data, kMatFxSlotEnv), nullptr);

    EXPECT_EQ(MatFx::SetEffects(m, 7), nullptr);
    EXPECT_EQ(MatFx::GetKind(m), kMatFxDual);
    ASSERT_EQ(MatFx::SetEffects(m, kMatFxNone), m);
    EXPECT_EQ(MatFx::GetKind(m), kMatFxNone);
    EXPECT_EQ(MatFx::MaterialStreamGetSize(m, MatFx::GetMaterialOffset(), 0), 0) << "no effect, nothing written";
}

TEST_F(MatFxData, TheBumpTextureIsNamedFromBothAndSharedThroughTheCurrentDictionary)
{
    char name[32];
    MatFx::BumpTextureName(name, "rock", "bump");
    EXPECT_STREQ(name, "rboucmkp");
    MatFx::BumpTextureName(name, "ab", "wxyz");
    EXPECT_STREQ(name, "awbxyz");
    const std::string longName(40, 'q');
    MatFx::BumpTextureName(name, longName.c_str(), longName.c_str());
    EXPECT_EQ(std::strlen(name), 30u);

    Texture* rock = MakeTexture("rock", 4, 4, Columns(kRock));
    Texture* bump = MakeTexture("bump", 4, 4, Columns(kBump));
    Material* first = MakeMaterial(rock);
    Material* second = MakeMaterial(rock);
    for (Material* m : {first, second})
    {
        ASSERT_EQ(MatFx::SetEffects(m, kMatFxBumpMap), m);
        ASSERT_EQ(MatFx::SetBumpTexture(m, bump), m);
    }
    Texture* drawn = MatFx::GetData(first)->slots[0].bump.drawnTexture;
    ASSERT_NE(drawn, nullptr);
    EXPECT_EQ(MatFx::GetData(second)->slots[0].bump.drawnTexture, drawn) << "built once";
    EXPECT_STREQ(drawn->name, "rboucmkp");
    EXPECT_EQ(TextureDictionary::FindTexture(TextureDictionary::GetCurrent(), "rboucmkp"), drawn);
    EXPECT_EQ(drawn->refCount, 3) << "the dictionary's and one per material";
    EXPECT_FLOAT_EQ(MatFx::GetData(first)->slots[0].bump.invWidth, 0.25f);
    EXPECT_EQ(drawn->filterAddressing, rock->filterAddressing) << "filter and addressing from the base";

    // Addressing that differs in U and V becomes 0 for both.
    Texture* striped = MakeTexture("striped", 4, 4, Columns(kRock));
    striped->filterAddressing = 0x2301;
    Texture* clamped = MatFx::CreateBumpTexture(striped, bump);
    ASSERT_NE(clamped, nullptr);
    EXPECT_EQ(clamped->filterAddressing, 0x0001u);
    EXPECT_STREQ(clamped->name, "sbturmipped");
    Texture::Destroy(clamped);

    // Base colours, the bump map's brightest channel as alpha.
    ASSERT_NE(Raster::Lock(drawn->raster, 0, kRasterLockRead), nullptr);
    for (int x = 0; x < 4; ++x)
    {
        const uint32_t b = kBump[x];
        const uint32_t height = std::max({(b >> 16) & 0xFF, (b >> 8) & 0xFF, b & 0xFF});
        EXPECT_EQ(Pixel32(drawn->raster, x, 2), (kRock[x] & 0xFFFFFF) | height << 24) << x;
    }
    Raster::Unlock(drawn->raster);
}

TEST_F(MatFxData, BumpTexturesWithoutABaseOrWidthAreSafe)
{
    Texture* bump = MakeTexture("bump", 4, 4, Columns(kBump));
    // No base texture: white under the bump map, named from the bump map twice.
    Material* bare = MakeMaterial();
    ASSERT_EQ(MatFx::SetEffects(bare, kMatFxBumpMap), bare);
    ASSERT_EQ(MatFx::SetBumpTexture(bare, nullptr), bare);
    EXPECT_EQ(MatFx::GetData(bare)->slots[0].bump.invWidth, 0.0f);
    ASSERT_EQ(MatFx::SetBumpTexture(bare, bump), bare);
    Texture* drawn = MatFx::GetData(bare)->slots[0].bump.drawnTexture;
    ASSERT_NE(drawn, nullptr);
    EXPECT_STREQ(drawn->name, "bbuummpp");
    ASSERT_NE(Raster::Lock(drawn->raster, 0, kRasterLockRead), nullptr);
    EXPECT_EQ(Pixel32(drawn->raster, 2, 0), 0xF0FFFFFFu);
    Raster::Unlock(drawn->raster);

    // A base whose raster reads as 0 wide gives neither a drawn texture nor a reciprocal.
    Texture* base = MakeTexture("flat", 4, 4, Columns(kRock));
    Material* m = MakeMaterial(base);
    ASSERT_EQ(MatFx::SetEffects(m, kMatFxBumpMap), m);
    base->raster->width = 0;
    EXPECT_EQ(MatFx::SetBumpTexture(m, nullptr), m);
    EXPECT_EQ(MatFx::SetBumpTexture(m, bump), m);
    base->raster->width = 4;
    EXPECT_EQ(MatFx::GetData(m)->slots[0].bump.drawnTexture, nullptr);
    EXPECT_EQ(MatFx::GetData(m)->slots[0].bump.bumpMap, bump);
    EXPECT_EQ(MatFx::GetData(m)->slots[0].bump.invWidth, 0.0f);

    // A compressed raster cannot be read back: nothing is built and the set fails.
    Raster* dxt = D3D9Raster::CreateFromD3DFormat(8, 8, D3DFMT_DXT1, kRasterTypeTexture);
    ASSERT_NE(dxt, nullptr);
    Texture* packed = Texture::Create(dxt);
    Texture::SetName(packed, "packed");
    mTextures.push_back(packed);
    EXPECT_EQ(MatFx::CreateBumpTextureChecked(base, packed), nullptr);
    EXPECT_EQ(MatFx::CreateBumpTextureChecked(packed, bump), nullptr);
    EXPECT_EQ(MatFx::CreateBumpTextureChecked(base, nullptr), base) << "no bump map: the base itself";
    Material* onPacked = MakeMaterial(packed);
    ASSERT_EQ(MatFx::SetEffects(onPacked, kMatFxBumpMap), onPacked);
    EXPECT_EQ(MatFx::SetBumpTexture(onPacked, bump), nullptr);
    EXPECT_EQ(MatFx::GetData(onPacked)->slots[0].bump.drawnTexture, nullptr);

    // A material without a bump slot takes no bump map.
    Material* dual = MakeMaterial(base);
    ASSERT_EQ(MatFx::SetEffects(dual, kMatFxDual), dual);
    EXPECT_EQ(MatFx::SetBumpTexture(dual, bump), nullptr);
}

TEST_F(MatFxData, ABumpSlotHoldingOnlyTheBumpMapRebuildsTheDrawnTextureAtLoad)
{
    Texture* rock = MakeTexture("rock", 4, 4, Columns(kRock));
    Texture* bump = MakeTexture("bump", 4, 4, Columns(kBump));
    Material* m = MakeMaterial(rock);
    ASSERT_EQ(MatFx::SetEffects(m, kMatFxBumpMap), m);
    MatFxBumpSlot& slot = MatFx::GetData(m)->slots[0].bump;
    slot.bumpMap = bump;
    ++bump->refCount;
    slot.bumpiness = 2.0f;
    std::vector<uint8_t> bytes = Write(m);
    ASSERT_EQ(TextureDictionary::FindTexture(TextureDictionary::GetCurrent(), "rboucmkp"), nullptr);

    Material* back = Read(bytes);
    ASSERT_NE(back, nullptr);
    const MatFxBumpSlot& got = MatFx::GetData(back)->slots[0].bump;
    ASSERT_NE(got.drawnTexture, nullptr);
    EXPECT_STREQ(got.drawnTexture->name, "rboucmkp");
    EXPECT_EQ(got.bumpMap, bump);
    EXPECT_FLOAT_EQ(got.bumpiness, 2.0f);
    EXPECT_FLOAT_EQ(got.invWidth, 0.25f);
}

// The extension's sub-chunk inside a material chunk with no texture, built by hand.
std::vector<uint8_t> MaterialWith(const std::vector<uint32_t>& words)
{
    ChunkBuilder ext;
    ext.Header(MatFx::kPluginId, uint32_t(words.size() * 4));
    for (uint32_t w : words)
        ext.U32(w);
    ChunkBuilder b;
    b.Header(7, uint32_t(12 + 28 + 12 + ext.bytes.size()));
    b.Header(1, 28).U32(0).U32(0xFFFFFFFF).U32(0).U32(0);
    for (float f : {1.0f, 1.0f, 1.0f})
    {
        uint32_t u;
        std::memcpy(&u, &f, 4);
        b.U32(u);
    }
    b.Header(3, uint32_t(ext.bytes.size()));
    b.bytes.insert(b.bytes.end(), ext.bytes.begin(), ext.bytes.end());
    return b.bytes;
}

TEST_F(MatFxData, TheStreamRefusesUnknownKindsAndSlotTypesAndDropsSlotsTheKindDidNotLayOut)
{
    const uint32_t half = 0x3F000000;
    struct Case
    {
        const char* what;
        std::vector<uint32_t> words;
        bool reads;
        int32_t kind;
    };
    const Case cases[] = {
        {"kind 7", {7, 0, 0}, false, 0},
        {"negative kind", {0xFFFFFFFF, 0, 0}, false, 0},
        {"unknown slot type", {4, 3, 0}, false, 0},
        {"short", {2, 2, half}, false, 0},
        {"environment slot in a dual kind", {4, 2, half, 1, 0, 4, 9, 1, 0}, true, kMatFxDual},
        {"kind 5", {5, 5, 0}, true, kMatFxUVTransform},
        {"environment", {2, 2, half, 1, 0, 0}, true, kMatFxEnvMap},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> bytes = MaterialWith(c.words);
        Material* m = Read(bytes);
        EXPECT_EQ(m != nullptr, c.reads);
        if (!m)
            continue;
        MatFxMaterialData* data = MatFx::GetData(m);
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(data->kind, c.kind);
        if (c.kind == kMatFxDual)
        {
            EXPECT_EQ(data->slots[1].type, kMatFxSlotNone) << "the environment slot was dropped";
            EXPECT_EQ(data->slots[0].dual.sourceBlend, 5) << "slot 0 stays as laid out";
        }
        if (c.kind == kMatFxEnvMap)
        {
            EXPECT_FLOAT_EQ(data->slots[0].env.coefficient, 0.5f);
            EXPECT_EQ(data->slots[0].env.frameBufferAlpha, 1);
        }
    }
}

TEST_F(MatFxData, ATextureThatCannotBeFoundLeavesTheSlotEmpty)
{
    Texture* sky = MakeTexture("sky", 4, 4, Columns(kRock));
    Material* m = MakeMaterial();
    ASSERT_EQ(MatFx::SetEffects(m, kMatFxEnvMap), m);
    MatFxEffectSlot* env = MatFx::FindSlot(MatFx::GetData(m), kMatFxSlotEnv);
    env->env.texture = sky;
    ++sky->refCount;
    env->env.coefficient = 1.0f;
    std::vector<uint8_t> bytes = Write(m);
    Texture::SetName(sky, "gone");
    Material* back = Read(bytes);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(MatFx::GetData(back)->slots[0].env.texture, nullptr);
    EXPECT_FLOAT_EQ(MatFx::GetData(back)->slots[0].env.coefficient, 1.0f);
}

TEST_F(MatFxData, ABumpTextureChunkLongerThanTheStreamIsRefused)
{
    Texture* rock = MakeTexture("rock", 4, 4, Columns(kRock));
    Texture* bump = MakeTexture("bump", 4, 4, Columns(kBump));
    Material* m = MakeMaterial(rock);
    ASSERT_EQ(MatFx::SetEffects(m, kMatFxBumpMap), m);
    ASSERT_EQ(MatFx::SetBumpTexture(m, bump), m);
    std::vector<uint8_t> bytes = Write(m);
    auto word = [&](size_t at)
    {
        return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
               uint32_t(bytes[at + 3]) << 24;
    };
    auto grow = [&](size_t header, uint32_t by)
    {
        const uint32_t size = word(header + 4) + by;
        for (int i = 0; i < 4; ++i)
            bytes[header + 4 + size_t(i)] = uint8_t(size >> (8 * i));
    };
    // The chunks enclosing the bump record's first texture: material, extension, effect
    // sub-chunk; then the texture chunk itself.
    std::vector<size_t> path = {0};
    size_t at = 12;
    for (uint32_t type : {3u, uint32_t(MatFx::kPluginId)})
    {
        while (at + 12 <= bytes.size() && word(at) != type)
            at += 12 + word(at + 4);
        ASSERT_LT(at + 12, bytes.size());
        path.push_back(at);
        at += 12;
    }
    at += 12; // kind, slot type, bumpiness
    ASSERT_EQ(word(at), 1u) << "the drawn texture is there";
    path.push_back(at + 4);
    ASSERT_EQ(word(at + 4), 6u);
    // Each claims 64 bytes more than the stream holds: every claimed end still fits its parent.
    const size_t textureEnd = at + 4 + 12 + word(at + 8);
    const uint32_t by = uint32_t(bytes.size() - textureEnd) + 64;
    for (size_t header : path)
        grow(header, by);
    EXPECT_EQ(Read(bytes), nullptr);
}

TEST_F(MatFxData, MutatedMaterialStreamsAreReadOrRefusedSafely)
{
    Texture* rock = MakeTexture("rock", 4, 4, Columns(kRock));
    Texture* bump = MakeTexture("bump", 4, 4, Columns(kBump));
    Texture* sky = MakeTexture("sky", 4, 4, Columns(kRock));
    for (int32_t kind : {kMatFxBumpEnvMap, kMatFxDualUVTransform})
    {
        Material* m = MakeMaterial(rock);
        ASSERT_EQ(MatFx::SetEffects(m, kind), m);
        MatFxMaterialData* data = MatFx::GetData(m);
        if (kind == kMatFxBumpEnvMap)
        {
            ASSERT_EQ(MatFx::SetBumpTexture(m, bump), m);
            data->slots[1].env.texture = sky;
            ++sky->refCount;
        }
        else
        {
            data->slots[1].dual.texture = sky;
            ++sky->refCount;
        }
        const std::vector<uint8_t> bytes = Write(m);
        SweepMutations(bytes, 400,
                       [&](std::vector<uint8_t>& mutated)
                       {
                           Stream* in = OpenReader(mutated);
                           Material* read =
                               Stream::FindChunk(in, 7, nullptr, nullptr) ? Material::StreamRead(in) : nullptr;
                           Stream::Close(in, nullptr);
                           if (read)
                               Material::Destroy(read);
                           d3d9driver::TakeError();
                       });
    }
}

TEST_F(MatFxData, TheAtomicFlagSwitchesThePipelineOnceAndIsWrittenOnlyWhenSet)
{
    Atomic* atomic = Atomic::Create();
    ASSERT_NE(atomic, nullptr);
    const int32_t offset = MatFx::GetAtomicOffset();
    EXPECT_EQ(MatFx::FlagSize(atomic, offset, 4), 0);
    std::vector<uint8_t> zero = {0, 0, 0, 0}, one = {1, 0, 0, 0};
    Stream* in = OpenReader(zero);
    ASSERT_EQ(MatFx::AtomicFlagRead(in, 4, atomic, offset, 4), in);
    Stream::Close(in, nullptr);
    EXPECT_EQ(atomic->pipeline, nullptr);
    in = OpenReader(one);
    ASSERT_EQ(MatFx::AtomicFlagRead(in, 4, atomic, offset, 4), in);
    Stream::Close(in, nullptr);
    ASSERT_NE(MatFx::GetAtomicPipeline(), nullptr);
    EXPECT_EQ(atomic->pipeline, MatFx::GetAtomicPipeline());
    EXPECT_EQ(MatFx::FlagSize(atomic, offset, 4), 4);
    in = OpenReader(one);
    EXPECT_EQ(MatFx::AtomicFlagRead(in, 2, atomic, offset, 4), nullptr) << "a short flag fails";
    Stream::Close(in, nullptr);
    Atomic::Destroy(atomic);
}


// UV animation hands its channel matrices to the material's UV-transform slot once material
// effects are attached; a material without that slot is not animated.
class MatFxUVAnim : public MatFxData
{
protected:
    void SetUp() override
    {
        DriverTest::SetUp();
        d3d9test::SetAdapters({d3d9driver::Adapter()});
        ASSERT_NE(Engine::Init(nullptr, 0, 0), 0);
        ASSERT_EQ(World::Attach(), 1);
        ASSERT_EQ(Animation::Attach(), 1);
        ASSERT_EQ(UVAnim::Attach(), 1);
        ASSERT_EQ(MatFx::Attach(), 1);
        ASSERT_EQ(Engine::Open(&mWindow), 1);
        ASSERT_EQ(Engine::Start(), 1);
    }

    void TearDown() override
    {
        UVAnim::SetTransformTarget(nullptr);
        MatFxData::TearDown();
    }
};

TEST_F(MatFxUVAnim, AnimatedMatricesReachTheUVTransformSlotOnly)
{
    UVAnimDescription scroll;
    scroll.name = "scroll";
    scroll.keys = {{0, 0.0f, {1, 0, 0, 1, 0, 0}}, {0, 1.0f, {1, 0, 0, 1, 0.5f, 0.25f}}};
    std::vector<uint8_t> dictionaryBytes = UVAnimWriter::Dictionary({scroll});
    Stream* in = OpenReader(dictionaryBytes);
    uint32_t size = 0;
    ASSERT_NE(Stream::FindChunk(in, UVAnim::kDictionaryChunk, &size, nullptr), 0);
    Dictionary* dictionary = UVAnim::ReadDictionary(in, size);
    Stream::Close(in, nullptr);
    ASSERT_NE(dictionary, nullptr);
    UVAnim::SetCurrentDictionary(dictionary);

    ChunkBuilder slots;
    std::string name = "scroll";
    name.resize(32, '\0');
    slots.Header(1, 4 + 32).U32(1).Raw(name);
    Material* materials[2] = {};
    for (int32_t kind : {kMatFxUVTransform, kMatFxEnvMap})
    {
        Material* m = MakeMaterial();
        ASSERT_NE(MatFx::SetEffects(m, kind), nullptr);
        std::vector<uint8_t> bytes = slots.bytes;
        in = OpenReader(bytes);
        ASSERT_NE(UVAnim::MaterialStreamRead(in, int32_t(bytes.size()), m, UVAnim::GetMaterialOffset(), 0), nullptr);
        Stream::Close(in, nullptr);
        materials[kind == kMatFxUVTransform ? 0 : 1] = m;
    }
    UVAnim::SetCurrentDictionary(nullptr);

    for (Material* m : materials)
    {
        UVAnimMaterial::AddUVAnimTime(m, 0.5f);
        UVAnimMaterial::UpdateUVAnim(m);
    }
    const MatFxEffectSlot* slot = MatFx::FindSlot(MatFx::GetData(materials[0]), kMatFxSlotUVTransform);
    ASSERT_NE(slot, nullptr);
    const Matrix* animated = UVAnimMaterial::GetChannelMatrix(materials[0], 0);
    ASSERT_NE(animated, nullptr);
    EXPECT_EQ(slot->uv.baseTransform, animated);
    EXPECT_EQ(slot->uv.dualTransform, nullptr);
    EXPECT_NEAR(animated->pos.x, 0.25f, 1e-6f);
    EXPECT_NEAR(animated->pos.y, 0.125f, 1e-6f);
    // The environment-mapped material has no UV-transform slot: its channel was never built.
    const Matrix* skipped = UVAnimMaterial::GetChannelMatrix(materials[1], 0);
    ASSERT_NE(skipped, nullptr);
    EXPECT_EQ(skipped->pos.x, 0.0f);
    Dictionary::Destroy(dictionary);
}

} // namespace
