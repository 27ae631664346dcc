// Mipmap K values: texels per pixel measured on a clump's triangles through a camera, the
// triangles left out, and the fixed-point word they are stored in.
#include "plugin_fixture.h"

#include "camera.h"
#include "geometry.h"
#include "material.h"
#include "mipmapk.h"
#include "mipmapkl.h"
#include "texture.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{

class MipmapKValues : public plugintest::PluginTest
{
protected:
    void SetUp() override
    {
        PluginTest::SetUp();
        d3d9test::SetAdapters({d3d9driver::Adapter()});
        ASSERT_NE(Engine::Init(TestMemory::Functions(), 0, 0), 0);
        ASSERT_EQ(World::Attach(), 1);
        ASSERT_EQ(MipmapKL::Attach(), 1);
        ASSERT_EQ(Engine::Open(&mWindow), 1);
        ASSERT_EQ(Engine::Start(), 1);
        mDictionary = TextureDictionary::Create();
        TextureDictionary::SetCurrent(mDictionary);
        mCamera = Camera::Create();
        mCamera->frameBuffer = Raster::Create(64, 64, 0, kRasterTypeCamera);
        const Vector2 window = {1.0f, 1.0f};
        Camera::SetViewWindow(mCamera, &window); // 1024 pixels per unit of area
    }

    void TearDown() override
    {
        if (Engine::Current() && Engine::Current()->state == kEngineStarted)
        {
            for (Clump* c : mClumps)
                Clump::Destroy(c);
            TextureDictionary::SetCurrent(nullptr);
            TextureDictionary::Destroy(mDictionary);
            DestroyCamera(mCamera);
        }
        PluginTest::TearDown();
    }

    Texture* AddTexture(int32_t size)
    {
        Texture* t = Texture::Create(Raster::Create(size, size, 0, kRasterTypeTexture));
        TextureDictionary::AddTexture(mDictionary, t);
        return t;
    }

    /// One unit right triangle (area 0.5) mapped over half of the texture, with the material
    /// given, scaled by the frame.
    void AddTriangle(Texture* texture, float scale = 1, std::vector<TexCoords> uv = {{0, 0}, {1, 0}, {0, 1}})
    {
        Geometry* g = Geometry::Create(3, 1, kGeometryPositions | kGeometryTextured);
        ASSERT_NE(g, nullptr);
        const Vector p[3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
        for (int i = 0; i < 3; ++i)
        {
            g->morphTargets[0].positions[i] = p[i];
            g->texCoords[0][i] = uv[size_t(i)];
        }
        Material* m = Material::Create();
        Material::SetTexture(m, texture);
        Geometry::SetTriangleVertices(g, &g->triangles[0], 0, 1, 2);
        Geometry::SetTriangleMaterial(g, &g->triangles[0], m);
        Material::Destroy(m);
        Atomic* a = Atomic::Create();
        Atomic::SetGeometry(a, g, 0);
        Geometry::Destroy(g);
        Frame* f = Frame::Create();
        const Vector s = {scale, scale, scale};
        Frame::Scale(f, &s, 0);
        Atomic::SetFrame(a, f);
        Clump* c = Clump::Create();
        c->frame = f;
        Clump::AddAtomic(c, a);
        mClumps.push_back(c);
    }

    static float K(const Texture* t)
    {
        const int32_t low = MipmapKL::GetTextureKWord(t) & 0xFFF;
        return float(low >= 0x800 ? low - 0x1000 : low) / 16.0f;
    }

    TextureDictionary* mDictionary = nullptr;
    Camera* mCamera = nullptr;
    std::vector<Clump*> mClumps;
};

TEST_F(MipmapKValues, OneTexelPerPixelGivesZeroAndFourGiveOne)
{
    struct Case
    {
        int32_t textureSize;
        float scale;
        float k;
    };
    // 0.5 units of area are 512 pixels: a 32-texel square's half is 512 texels.
    const Case cases[] = {{32, 1, 0}, {64, 1, 1}, {64, 2, 0}, {16, 1, -1}};
    for (const Case& c : cases)
    {
        Texture* t = AddTexture(c.textureSize);
        AddTriangle(t, c.scale);
        Frame::SyncDirtyList();
        MipmapK::ComputeClump(mClumps.back(), mCamera);
        EXPECT_NEAR(K(t), c.k, 1.0f / 16) << c.textureSize << " at scale " << c.scale;
        TextureDictionary::SetCurrent(nullptr);
        TextureDictionary::Destroy(mDictionary);
        mDictionary = TextureDictionary::Create();
        TextureDictionary::SetCurrent(mDictionary);
    }
}

TEST_F(MipmapKValues, UnusedTexturesAndTrianglesOfAtMostOneTexelKeepTheirWord)
{
    Texture* used = AddTexture(32);
    Texture* unused = AddTexture(32);
    MipmapKL::SetTextureK(unused, 3.0f);
    AddTriangle(used, 1, {{0, 0}, {0.01f, 0}, {0, 0.01f}}); // a fraction of a texel
    Frame::SyncDirtyList();
    MipmapKL::SetTextureK(used, 2.0f);
    MipmapK::ComputeClump(mClumps.back(), mCamera);
    EXPECT_EQ(K(used), 2.0f);
    EXPECT_EQ(K(unused), 3.0f);
}

TEST_F(MipmapKValues, TheWordHoldsSixteenthsClampedAndKeepsItsTopBits)
{
    Texture* t = AddTexture(4);
    reinterpret_cast<MipmapKWord*>(reinterpret_cast<char*>(t) + MipmapKL::GetTextureOffset())->word = 0xA000;
    struct Case
    {
        float k;
        uint16_t low;
    };
    const Case cases[] = {{-200.0f, 0x800}, {1.03f, 16}, {200.0f, 0x7FF}, {-0.5f, 0xFF8}, {0.0f, 0}};
    for (const Case& c : cases)
    {
        EXPECT_EQ(MipmapKL::SetTextureK(t, c.k), t);
        EXPECT_EQ(MipmapKL::GetTextureKWord(t), 0xA000 | c.low) << c.k;
    }
    EXPECT_EQ(MipmapKL::SetTextureK(nullptr, 1.0f), nullptr);
}

} // namespace
