// Gathering lights for generated vertex shaders from a world: global and tied local lights,
// each once, the atomic's sphere, and the normals and light flags.
#include "clump.h"
#include "engine.h"
#include "frame.h"
#include "geometry.h"
#include "light.h"
#include "vertexshader.h"
#include "worldfixture.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{

class GatherLightsTest : public WorldFixture
{
protected:
    void SetUp() override
    {
        WorldFixture::SetUp();
        mWorld = std::make_unique<TestWorld>(true, 1.0f, -1.0f);
        mWorld->world.formatFlags = kGeometryLight | kGeometryNormals;
        Engine::Current()->currentWorld = &mWorld->world;
        VertexShader::SetWorldMatrix(nullptr);
    }
    void TearDown() override
    {
        Engine::Current()->currentWorld = nullptr;
        for (Atomic* atomic : mAtomics)
        {
            World::RemoveAtomic(&mWorld->world, atomic);
            Atomic::Destroy(atomic);
        }
        for (Light* light : mLights)
        {
            World::RemoveLight(&mWorld->world, light);
            Light::Destroy(light);
        }
        for (Frame* frame : mFrames)
            Frame::Destroy(frame);
        mWorld.reset();
        WorldFixture::TearDown();
    }
    Frame* MakeFrame(float x)
    {
        Frame* frame = Frame::Create();
        Vector at = {x, 0, 0};
        Frame::Translate(frame, &at, 0);
        mFrames.push_back(frame);
        return frame;
    }
    Light* AddLight(int32_t type, float x, float radius, float red)
    {
        Light* light = Light::Create(type);
        LightColour colour{red, 0, 0, 1};
        Light::SetColor(light, &colour);
        Light::SetFrame(light, MakeFrame(x));
        Light::SetRadius(light, radius);
        World::AddLight(&mWorld->world, light);
        mLights.push_back(light);
        return light;
    }
    Atomic* AddAtomic(float x, float radius, uint32_t geometryFlags)
    {
        Atomic* atomic = Atomic::Create();
        Geometry* geometry = Geometry::Create(3, 1, geometryFlags);
        geometry->flags = geometryFlags;
        Atomic::SetGeometry(atomic, geometry, 1);
        Geometry::Destroy(geometry); // the atomic holds it
        atomic->boundingSphere = {{0, 0, 0}, radius};
        Atomic::SetFrame(atomic, MakeFrame(x));
        World::AddAtomic(&mWorld->world, atomic);
        mAtomics.push_back(atomic);
        return atomic;
    }

    std::unique_ptr<TestWorld> mWorld;
    std::vector<Frame*> mFrames;
    std::vector<Light*> mLights;
    std::vector<Atomic*> mAtomics;
};

TEST_F(GatherLightsTest, AtomicGetsGlobalLightsAndOverlappingTiedLightsOnce)
{
    AddLight(kLightAmbient, 0, 0, 0.25f);
    AddLight(kLightDirectional, 0, 0, 0.5f);
    AddLight(kLightPoint, 0.5f, 3, 0.75f); // tied to both sectors
    AddLight(kLightPoint, 40, 1, 1.0f);    // tied to the right sector, far from the atomic
    Atomic* atomic = AddAtomic(0, 2, kGeometryLight | kGeometryNormals);
    Frame::SyncDirtyList();
    ASSERT_EQ(TiedSectors(&mLights[2]->sectorTies).size(), 2u);
    ASSERT_EQ(TiedSectors(&atomic->sectorTies).size(), 2u);

    float block[16][4] = {};
    VertexShaderDescriptor d{0xFF, 0x2F, 0, 0};
    float (*end)[4] = VertexShader::GatherLights(atomic, 1, block, &d);
    EXPECT_EQ(d.lights, 0x11);
    EXPECT_EQ(d.spotsAndSets, 0x20);
    EXPECT_EQ(end, block + 6); // ambient, directional pair, point group, position, colour
    EXPECT_FLOAT_EQ(block[0][0], 0.25f);
    EXPECT_FLOAT_EQ(block[0][3], 1.0f);
    EXPECT_FLOAT_EQ(block[2][0], 0.5f);
    EXPECT_FLOAT_EQ(block[3][0], 1.0f / 3.0f);
    EXPECT_FLOAT_EQ(block[4][0], 0.5f);
    EXPECT_FLOAT_EQ(block[5][0], 0.75f);

    // The sector takes every tied light without a sphere test.
    end = VertexShader::GatherLights(&mWorld->right, 2, block, &d);
    EXPECT_EQ(d.lights, 0x21);
    EXPECT_EQ(end, block + 1 + 2 + 1 + 4);
}

TEST_F(GatherLightsTest, WithoutNormalsOrTheLightFlagOnlyAmbient)
{
    AddLight(kLightAmbient, 0, 0, 0.25f);
    AddLight(kLightDirectional, 0, 0, 0.5f);
    AddLight(kLightPoint, 0.5f, 3, 0.75f);
    Atomic* unlitNormals = AddAtomic(0, 2, kGeometryLight | kGeometryPrelit);
    Atomic* unlit = AddAtomic(0, 2, kGeometryNormals);
    Frame::SyncDirtyList();

    float block[8][4] = {};
    VertexShaderDescriptor d{0x11, 0x01, 0, 0};
    EXPECT_EQ(VertexShader::GatherLights(unlitNormals, 1, block, &d), block + 1);
    EXPECT_EQ(d.lights, 0);
    EXPECT_EQ(d.spotsAndSets, 0);
    EXPECT_FLOAT_EQ(block[0][0], 0.25f);
    EXPECT_FLOAT_EQ(block[0][3], 0.0f); // prelit: alpha from the vertex

    EXPECT_EQ(VertexShader::GatherLights(unlit, 1, block, &d), block + 1);
    EXPECT_FLOAT_EQ(block[0][0], 0.0f);
    EXPECT_FLOAT_EQ(block[0][3], 1.0f);

    Engine::Current()->currentWorld = nullptr;
    EXPECT_EQ(VertexShader::GatherLights(&mWorld->left, 2, block, &d), block + 1);
}

} // namespace
