// Tests of lights: defaults, colour, the cone angle and the light stream reader.
#include "light.h"
#include "worldd3d9.h"
#include "worldfixture.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{

using Lights = WorldFixture;

TEST_F(Lights, NewLightsLightEverythingInWhiteWithNoDeviceIndex)
{
    Light* light = Light::Create(kLightSpot);
    ASSERT_NE(light, nullptr);
    EXPECT_EQ(Light::GetType(light), kLightSpot);
    EXPECT_EQ(light->object.flags, 3);
    EXPECT_EQ(light->colour.red, 1.0f);
    EXPECT_EQ(light->radius, 0.0f);
    EXPECT_EQ(D3D9Lights::Data(light)->deviceIndex, -1);
    EXPECT_EQ(D3D9Lights::Data(light)->quadraticAttenuation, 5.0f);
    LightColour colour = {0.5f, 0.4f, 0.5f, 1.0f};
    Light::SetColor(light, &colour);
    EXPECT_EQ(light->object.privateFlags & kLightGreyscale, 0);
    Light::Destroy(light);
}

TEST_F(Lights, ConeAngleFromMinusCosine)
{
    const struct
    {
        float minusCos, angle;
    } cases[] = {{-1.0f, 0.0f}, {0.0f, float(M_PI / 2)}, {1.0f, float(M_PI)}, {-2.0f, 0.0f}, {3.0f, float(M_PI)}};
    Light* light = Light::Create(kLightSpot);
    for (const auto& c : cases)
    {
        light->minusCosAngle = c.minusCos;
        EXPECT_NEAR(Light::GetConeAngle(light), c.angle, 1e-6f) << c.minusCos;
    }
    Light::Destroy(light);
}

std::vector<uint8_t> LightChunk(float r, float g, float b, uint16_t flags, uint16_t type, uint32_t version = 0x36003)
{
    ChunkBuilder chunk;
    auto real = [&](float v)
    {
        uint32_t w;
        std::memcpy(&w, &v, 4);
        chunk.U32(w);
    };
    chunk.Header(1, 24, version);
    real(7.0f);
    real(r);
    real(g);
    real(b);
    real(-0.5f);
    chunk.U16(flags).U16(type);
    chunk.Header(3, 0);
    return chunk.bytes;
}

TEST_F(Lights, StreamReadTakesColourFlagsAndType)
{
    const struct
    {
        float r, g, b;
        uint8_t greyscale;
    } cases[] = {{0.5f, 0.5f, 0.5f, 1}, {0.5f, 0.4f, 0.5f, 0}};
    for (const auto& c : cases)
    {
        std::vector<uint8_t> bytes = LightChunk(c.r, c.g, c.b, 0x0102, kLightPoint);
        Stream* stream = OpenReader(bytes);
        Light* light = Light::StreamRead(stream);
        Stream::Close(stream, nullptr);
        ASSERT_NE(light, nullptr);
        EXPECT_EQ(light->object.privateFlags & kLightGreyscale, c.greyscale);
        EXPECT_EQ(light->object.flags, 0x02);
        EXPECT_EQ(Light::GetType(light), kLightPoint);
        EXPECT_EQ(light->radius, 7.0f);
        EXPECT_EQ(light->minusCosAngle, -0.5f);
        EXPECT_EQ(light->colour.alpha, 1.0f);
        Light::Destroy(light);
    }
}

TEST_F(Lights, StreamReadRefusesBadVersionAndShortData)
{
    std::vector<uint8_t> old = LightChunk(1, 1, 1, 3, kLightPoint, 0x33000);
    Stream* stream = OpenReader(old);
    EXPECT_EQ(Light::StreamRead(stream), nullptr);
    Stream::Close(stream, nullptr);
    EXPECT_EQ(TakeError(), int32_t(0x80000004));
    std::vector<uint8_t> whole = LightChunk(1, 1, 1, 3, kLightPoint);
    for (size_t cut = 0; cut < whole.size(); ++cut)
    {
        std::vector<uint8_t> bytes(whole.begin(), whole.begin() + long(cut));
        Stream* s = OpenReader(bytes);
        EXPECT_EQ(Light::StreamRead(s), nullptr) << cut;
        Stream::Close(s, nullptr);
        TakeError();
    }
}

} // namespace
