// Hardware lights: device indices handed out, recycled and never shared by copies, the
// records written for each light kind, the active-light limit, enabling and disabling
// between draws, and the world's global lights.
#include "d3d9renderstate.h"
#include "d3d9worldfixture.h"
#include "frame.h"
#include "light.h"
#include "worldd3d9.h"
#include "worldfixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace
{

constexpr float kPi = 3.14159265358979f;

class D3D9LightsTest : public d3d9world::D3D9WorldTest
{
protected:
    void TearDown() override
    {
        if (Engine::Current() && Engine::Current()->state == kEngineStarted)
            Engine::Current()->currentWorld = nullptr;
        for (Light* light : mLights)
        {
            if (mWorld && Light::GetWorld(light))
                World::RemoveLight(&mWorld->world, light);
            Light::Destroy(light);
        }
        mLights.clear();
        mWorld.reset();
        D3D9WorldTest::TearDown();
    }

    void Start(DWORD maxActiveLights = 8)
    {
        d3d9test::AdapterConfig adapter = d3d9driver::Adapter();
        adapter.caps.MaxActiveLights = maxActiveLights;
        StartWorld(adapter);
    }

    Light* MakeLight(int32_t type, float radius = 10.0f, Vector position = {1, 2, 3})
    {
        Light* light = Light::Create(type);
        Light::SetFrame(light, MakeFrame(position));
        Light::SetRadius(light, radius);
        const LightColour colour = {0.5f, 0.25f, 1.0f, 1.0f};
        Light::SetColor(light, &colour);
        mLights.push_back(light);
        return light;
    }

    void DestroyLight(Light* light)
    {
        mLights.erase(std::find(mLights.begin(), mLights.end(), light));
        Light::Destroy(light);
    }

    static int32_t Index(Light* light) { return D3D9Lights::Data(light)->deviceIndex; }

    static D3DLIGHT9 DeviceLight(int32_t index)
    {
        D3DLIGHT9 light{};
        EXPECT_EQ(Device()->GetLight(DWORD(index), &light), D3D_OK);
        return light;
    }

    std::unique_ptr<TestWorld> mWorld;
    std::vector<Light*> mLights;
};

TEST_F(D3D9LightsTest, IndicesCountUpAreReusedAfterDeathAndStartAgainWhenAllAreBack)
{
    Start();
    Light* a = MakeLight(kLightPoint);
    Light* b = MakeLight(kLightPoint);
    Light* c = MakeLight(kLightPoint);
    EXPECT_EQ(Index(a), -1);
    for (Light* light : {a, b, c})
        EXPECT_EQ(D3D9Lights::AddLocal(light), 1);
    EXPECT_EQ(Index(a), 0);
    EXPECT_EQ(Index(b), 1);
    EXPECT_EQ(Index(c), 2);
    EXPECT_EQ(D3D9Lights::AddLocal(a), 1);
    EXPECT_EQ(Index(a), 0) << "kept while the light lives";
    D3D9Lights::Apply(1);

    DestroyLight(b);
    Light* d = MakeLight(kLightDirectional);
    D3D9Lights::AddDirectional(d);
    EXPECT_EQ(Index(d), 1) << "the dead light's index";

    // A copy starts without an index of its own.
    Light* copy = MakeLight(kLightPoint);
    PluginRegistry::CopyObject(Light::Registry(), copy, a);
    EXPECT_EQ(Index(copy), -1);
    D3D9Lights::AddLocal(copy);
    EXPECT_EQ(Index(copy), 3);
    D3D9Lights::Apply(0);

    // Give every index back: the allocator empties and counts from 0 again.
    for (Light* light : {a, c, d, copy})
        DestroyLight(light);
    Light* fresh = MakeLight(kLightPoint);
    D3D9Lights::AddLocal(fresh);
    EXPECT_EQ(Index(fresh), 0);
    Light* next = MakeLight(kLightPoint);
    D3D9Lights::AddLocal(next);
    EXPECT_EQ(Index(next), 1);
}

TEST_F(D3D9LightsTest, RecordsCarryColourRangeAttenuationAndConesWithinWhatTheDeviceTakes)
{
    Start();
    Light* point = MakeLight(kLightPoint, 10.0f, {1, 2, 3});
    ASSERT_EQ(D3D9Lights::AddLocal(point), 1);
    D3DLIGHT9 l = DeviceLight(Index(point));
    EXPECT_EQ(l.Type, D3DLIGHT_POINT);
    EXPECT_FLOAT_EQ(l.Diffuse.r, 0.5f);
    EXPECT_FLOAT_EQ(l.Diffuse.b, 1.0f);
    EXPECT_FLOAT_EQ(l.Diffuse.a, 1.0f);
    EXPECT_FLOAT_EQ(l.Position.y, 2.0f);
    EXPECT_FLOAT_EQ(l.Range, 10.0f);
    EXPECT_FLOAT_EQ(l.Attenuation0, 1.0f);
    EXPECT_FLOAT_EQ(l.Attenuation1, 0.0f);
    EXPECT_FLOAT_EQ(l.Attenuation2, 0.05f);
    EXPECT_FLOAT_EQ(l.Falloff, 1.0f);

    const struct
    {
        int32_t type;
        float coneDegrees;
        float theta, phi;
    } cones[] = {
        {kLightSpot, 30, kPi / 3, kPi / 3},   {kLightSpot, 90, kPi - 0.001f, kPi},
        {kLightSpot, 120, kPi - 0.001f, kPi}, // wider than the device takes: clamped
        {kLightSoftSpot, 30, 0, kPi / 3},     {kLightSoftSpot, 150, 0, kPi},
    };
    for (const auto& c : cones)
    {
        Light* spot = MakeLight(c.type);
        spot->minusCosAngle = -std::cos(c.coneDegrees * kPi / 180.0f);
        ASSERT_EQ(D3D9Lights::AddLocal(spot), 1);
        l = DeviceLight(Index(spot));
        EXPECT_EQ(l.Type, D3DLIGHT_SPOT) << c.coneDegrees;
        EXPECT_NEAR(l.Theta, c.theta, 1e-4f) << c.type << " " << c.coneDegrees;
        EXPECT_NEAR(l.Phi, c.phi, 1e-4f) << c.type << " " << c.coneDegrees;
        EXPECT_FLOAT_EQ(l.Direction.z, 1.0f) << "the frame's at";
    }

    // Radius 0 and ambient lights are not local lights: nothing collected.
    EXPECT_EQ(D3D9Lights::AddLocal(MakeLight(kLightPoint, 0.0f)), 0);
    EXPECT_EQ(D3D9Lights::AddLocal(MakeLight(kLightAmbient)), 0);
    D3D9Lights::Apply(1);
    EXPECT_EQ(D3D9Lights::GetNumEnabled(), 1 + int32_t(std::size(cones)));
}

std::vector<std::string> Enables()
{
    return d3d9test::CallArgs("LightEnable");
}

TEST_F(D3D9LightsTest, TheLimitKeepsTheFirstCollectedAndEachDrawEnablesExactlyItsLights)
{
    Start(8);
    std::vector<Light*> lights;
    for (int i = 0; i < 10; ++i)
    {
        lights.push_back(MakeLight(kLightPoint));
        D3D9Lights::AddLocal(lights.back());
    }
    d3d9test::ClearCallLog();
    d3d9test::EnableCallLog(true);
    D3D9Lights::Apply(1);
    std::vector<std::string> expected;
    for (int i = 0; i < 8; ++i)
        expected.push_back(std::to_string(i) + ", 1");
    EXPECT_EQ(Enables(), expected);
    DWORD lighting = 0;
    D3D9RenderState::GetRenderState(D3DRS_LIGHTING, &lighting);
    EXPECT_EQ(lighting, 1u);

    // The next draw keeps light 3, adds 9, and turns the other seven off.
    d3d9test::ClearCallLog();
    D3D9Lights::AddLocal(lights[3]);
    D3D9Lights::AddLocal(lights[9]);
    D3D9Lights::Apply(1);
    expected = {"0, 0", "1, 0", "2, 0", "4, 0", "5, 0", "6, 0", "7, 0", "9, 1"};
    EXPECT_EQ(Enables(), expected);
    D3D9RenderState::Flush();

    // Lighting not wanted: only the state changes, the lights stay on.
    d3d9test::ClearCallLog();
    D3D9Lights::AddLocal(lights[0]);
    D3D9Lights::Apply(0);
    D3D9RenderState::Flush();
    EXPECT_EQ(Enables(), std::vector<std::string>{});
    EXPECT_EQ(d3d9test::CallArgs("SetRenderState"), std::vector<std::string>{"137, 0"});
    EXPECT_EQ(D3D9Lights::GetNumEnabled(), 2);

    // A draw that collects nothing turns everything off and starts from nothing. The light
    // collected before the unlit draw is still waiting and is enabled now.
    d3d9test::ClearCallLog();
    D3D9Lights::Apply(1);
    EXPECT_EQ(Enables(), (std::vector<std::string>{"3, 0", "9, 0", "0, 1"}));
    d3d9test::ClearCallLog();
    D3D9Lights::Apply(1);
    EXPECT_EQ(Enables(), std::vector<std::string>{"0, 0"});
    EXPECT_EQ(D3D9Lights::GetNumEnabled(), 0);
    d3d9test::EnableCallLog(false);
}

TEST_F(D3D9LightsTest, WorldLightsWriteDirectionalLightsAndSumTheRestIntoTheAmbient)
{
    Start();
    mWorld = std::make_unique<TestWorld>(false);
    Engine::Current()->currentWorld = &mWorld->world;

    Light* ambient = MakeLight(kLightAmbient);
    World::AddLight(&mWorld->world, ambient);
    EXPECT_EQ(D3D9Lights::SetWorldLights(kLightLightsWorld), 1);
    DWORD value = 0;
    D3D9RenderState::GetRenderState(D3DRS_AMBIENT, &value);
    EXPECT_EQ(value, 0xFFFFFFFFu);
    EXPECT_EQ(std::vector<float>(D3D9Lights::Ambient(), D3D9Lights::Ambient() + 4),
              (std::vector<float>{0.5f, 0.25f, 1.0f, 1.0f}));

    Light* sun = MakeLight(kLightDirectional);
    World::AddLight(&mWorld->world, sun);
    EXPECT_EQ(D3D9Lights::SetWorldLights(kLightLightsWorld), 1);
    D3D9Lights::Apply(1);
    EXPECT_EQ(D3D9Lights::GetNumEnabled(), 1);
    EXPECT_EQ(DeviceLight(Index(sun)).Type, D3DLIGHT_DIRECTIONAL);
    EXPECT_FLOAT_EQ(DeviceLight(Index(sun)).Direction.z, 1.0f);

    // Lights whose flags miss the mask take no part.
    ambient->object.flags = kLightLightsAtomics;
    sun->object.flags = kLightLightsAtomics;
    EXPECT_EQ(D3D9Lights::SetWorldLights(kLightLightsWorld), 0);
    D3D9RenderState::GetRenderState(D3DRS_AMBIENT, &value);
    EXPECT_EQ(value, 0u);
    EXPECT_EQ(D3D9Lights::Ambient()[0], 0.0f);
}

TEST_F(D3D9LightsTest, ADirectionalLightWithoutAFrameShinesAlongItsDefaultDirection)
{
    Start();
    Light* turned = MakeLight(kLightDirectional);
    const Vector xAxis = {1, 0, 0};
    Frame::Rotate(turned->object.frame, &xAxis, 90.0f, kCombineReplace);
    Light* bare = Light::Create(kLightDirectional);
    mLights.push_back(bare);
    EXPECT_EQ(D3D9Lights::AddDirectional(turned), 1);
    EXPECT_EQ(D3D9Lights::AddDirectional(bare), 1);
    const D3DLIGHT9 first = DeviceLight(Index(turned)), second = DeviceLight(Index(bare));
    EXPECT_NEAR(std::fabs(first.Direction.y), 1.0f, 1e-6f) << "turned off z";
    EXPECT_EQ(second.Direction.x, 0.0f);
    EXPECT_EQ(second.Direction.y, 0.0f);
    EXPECT_EQ(second.Direction.z, 1.0f);
}

} // namespace
