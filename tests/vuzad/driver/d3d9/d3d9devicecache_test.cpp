// Tests of the device's state caches through the d3d9 layer's call log: transforms, lights,
// the lighting material, stream and shader bindings, and shared vertex declarations.
#include "d3d9driverfixture.h"
#include "d3d9renderstate.h"
#include "matrix.h"

#include <cstring>
#include <string>

namespace d3d9driver
{
namespace
{

using Strings = std::vector<std::string>;
using D3D9DeviceCaches = DriverTest;

void Log()
{
    d3d9test::ClearCallLog();
    d3d9test::EnableCallLog(true);
}

TEST_F(D3D9DeviceCaches, TransformsAreSentOnlyWhenTheyChange)
{
    Start();
    Log();
    Matrix world = {};
    world.right = {2, 0, 0};
    world.up = {0, 1, 0};
    world.at = {0, 0, 1};
    world.pos = {5, 6, 7};
    Matrix identity = {};
    identity.flags = kMatrixIdentity;
    EXPECT_EQ(D3D9Device::SetWorldTransform(&world), 1);
    EXPECT_EQ(D3D9Device::SetWorldTransform(&world), 1);
    EXPECT_EQ(d3d9test::CountCalls("SetTransform"), 1u) << "the same matrix twice";
    EXPECT_EQ(D3D9Device::SetWorldTransform(&identity), 1);
    EXPECT_EQ(D3D9Device::SetWorldTransform(&identity), 1);
    EXPECT_EQ(D3D9Device::SetWorldTransform(nullptr), 1);
    EXPECT_EQ(d3d9test::CountCalls("SetTransform"), 2u) << "the identity once";
    EXPECT_EQ(D3D9Device::SetWorldTransform(&world), 1);
    EXPECT_EQ(d3d9test::CountCalls("SetTransform"), 3u);

    float m[16];
    ASSERT_EQ(D3D9Device::GetTransform(D3DTS_WORLD, m), 1);
    const float widened[16] = {2, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 5, 6, 7, 1};
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(m[i], widened[i]) << i;
    D3DMATRIX sent;
    ASSERT_EQ(Device()->GetTransform(D3DTS_WORLD, &sent), D3D_OK);
    EXPECT_EQ(sent._41, 5.0f);

    // A general transform: none is the identity; an equal matrix is not sent again.
    d3d9test::ClearCallLog();
    ASSERT_EQ(D3D9Device::GetTransform(D3DTS_TEXTURE0 + 3, m), 1);
    EXPECT_EQ(m[0], 1.0f) << "an empty slot reads as the identity";
    EXPECT_EQ(D3D9Device::SetTransform(D3DTS_VIEW, widened), 1);
    EXPECT_EQ(D3D9Device::SetTransform(D3DTS_VIEW, widened), 1);
    EXPECT_EQ(D3D9Device::SetTransform(D3DTS_PROJECTION, nullptr), 1);
    EXPECT_EQ(D3D9Device::SetTransform(D3DTS_PROJECTION, nullptr), 1);
    EXPECT_EQ(d3d9test::CallArgs("SetTransform"), (Strings{"2", "3"}));

    // After a cache reset the world slot is the identity again, not known to be sent.
    D3D9Device::ResetTransformCache();
    d3d9test::ClearCallLog();
    EXPECT_EQ(D3D9Device::SetWorldTransform(nullptr), 1);
    EXPECT_EQ(d3d9test::CountCalls("SetTransform"), 1u);
}

TEST_F(D3D9DeviceCaches, LightsAreCachedByWhatTheirTypeUses)
{
    Start();
    Log();
    D3DLIGHT9 light = {};
    light.Type = D3DLIGHT_POINT;
    light.Diffuse = {1, 0.5f, 0.25f, 1};
    light.Position = {1, 2, 3};
    light.Range = 10;
    EXPECT_EQ(D3D9Device::SetLight(5, &light), 1);
    EXPECT_EQ(D3D9Device::NumCachedLights(), 6u);
    EXPECT_EQ(d3d9test::CallArgs("SetLight"), (Strings{"5, 1"})) << "the five new records are not sent";
    EXPECT_EQ(D3D9Device::EnableLight(2, FALSE), 1);
    EXPECT_EQ(D3D9Device::EnableLight(9, TRUE), 1) << "not cached: nothing to do";
    EXPECT_EQ(d3d9test::CountCalls("LightEnable"), 0u);
    EXPECT_EQ(D3D9Device::EnableLight(5, TRUE), 1);
    EXPECT_EQ(D3D9Device::EnableLight(5, TRUE), 1);
    EXPECT_EQ(d3d9test::CallArgs("LightEnable"), (Strings{"5, 1"}));

    light.Direction = {0, 0, 1}; // a point light has no direction
    EXPECT_EQ(D3D9Device::SetLight(5, &light), 1);
    EXPECT_EQ(d3d9test::CountCalls("SetLight"), 1u);

    const struct
    {
        D3DLIGHTTYPE type;
        void (*change)(D3DLIGHT9&);
        bool equal;
    } cases[] = {
        {D3DLIGHT_DIRECTIONAL, [](D3DLIGHT9& l) { l.Position.x += 1; }, true},
        {D3DLIGHT_DIRECTIONAL, [](D3DLIGHT9& l) { l.Direction.y += 1; }, false},
        {D3DLIGHT_POINT, [](D3DLIGHT9& l) { l.Range += 1; }, false},
        {D3DLIGHT_POINT, [](D3DLIGHT9& l) { l.Attenuation1 += 1; }, true},
        {D3DLIGHT_SPOT, [](D3DLIGHT9& l) { l.Phi += 1; }, false},
        {D3DLIGHT_SPOT, [](D3DLIGHT9& l) { l.Falloff += 1; }, true},
        {D3DLIGHT_SPOT, [](D3DLIGHT9& l) { l.Diffuse.b += 1; }, false},
        {D3DLIGHT_SPOT, [](D3DLIGHT9& l) { l.Specular.r += 1; }, true},
    };
    for (const auto& c : cases)
    {
        D3DLIGHT9 a = light, b = light;
        a.Type = b.Type = c.type;
        c.change(b);
        EXPECT_EQ(D3D9Device::LightsEqual(&a, &b), c.equal) << int(c.type);
    }

    // After a Reset every cached light goes out again, in index order.
    d3d9test::ClearCallLog();
    EXPECT_EQ(D3D9Device::RestoreLights(), 1);
    EXPECT_EQ(d3d9test::CountCalls("SetLight"), 6u);
    EXPECT_EQ(d3d9test::CallArgs("LightEnable").back(), "5, 1");
}

TEST_F(D3D9DeviceCaches, MaterialsFollowColourAndFlags)
{
    Start();
    const float ambient[3] = {0.5f, 0.25f, 1.0f};
    D3D9Device::SetAmbientColourSource(ambient);
    const D3D9SurfaceProperties props = {0.5f, 0.0f, 0.8f};
    const Rgba white = {255, 255, 255, 255};
    const Rgba colour = {255, 0, 51, 102};
    const struct
    {
        const char* name;
        Rgba colour;
        uint32_t flags;
        D3DCOLORVALUE diffuse, ambient, emissive;
        DWORD ambientState, colourVertex, ambientSource, emissiveSource;
    } cases[] = {
        {"white modulation is none", white, 0x40, {0.8f, 0.8f, 0.8f, 1}, {0.25f, 0.125f, 0.5f, 1}, {0, 0, 0, 1},
         0xFFFFFFFF, 0, 0, 0},
        {"modulated", colour, 0x40, {0.8f, 0, 0.16f, 0.4f}, {0.25f, 0, 0.1f, 1}, {0, 0, 0, 1}, 0xFFFFFFFF, 0, 0, 0},
        {"modulated with vertex colours", colour, 0x48, {0.8f, 0, 0.16f, 0.4f}, {0, 0, 0, 1},
         {0.25f, 0, 0.1f, 1}, 0x66FF0033, 1, 1, 0},
        {"vertex colours only", colour, 0x08, {0.8f, 0.8f, 0.8f, 1}, {0.25f, 0.125f, 0.5f, 1}, {0, 0, 0, 1},
         0xFFFFFFFF, 1, 0, 1},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(D3D9Device::SetSurfaceProperties(&props, &c.colour, c.flags | 0x1), 1);
        D3D9RenderState::Flush();
        D3DMATERIAL9 m;
        ASSERT_EQ(Device()->GetMaterial(&m), D3D_OK);
        const D3DCOLORVALUE* got[] = {&m.Diffuse, &m.Ambient, &m.Emissive};
        const D3DCOLORVALUE* want[] = {&c.diffuse, &c.ambient, &c.emissive};
        for (int i = 0; i < 3; ++i)
        {
            EXPECT_NEAR(got[i]->r, want[i]->r, 1e-5f) << i;
            EXPECT_NEAR(got[i]->g, want[i]->g, 1e-5f) << i;
            EXPECT_NEAR(got[i]->b, want[i]->b, 1e-5f) << i;
            EXPECT_NEAR(got[i]->a, want[i]->a, 1e-5f) << i;
        }
        EXPECT_EQ(m.Specular.a, 1.0f);
        EXPECT_EQ(m.Power, 0.0f);
        DWORD value = 0;
        const struct
        {
            D3DRENDERSTATETYPE state;
            DWORD expected;
        } states[] = {{D3DRS_AMBIENT, c.ambientState},
                      {D3DRS_COLORVERTEX, c.colourVertex},
                      {D3DRS_AMBIENTMATERIALSOURCE, c.ambientSource},
                      {D3DRS_EMISSIVEMATERIALSOURCE, c.emissiveSource}};
        for (const auto& s : states)
        {
            ASSERT_EQ(Device()->GetRenderState(s.state, &value), D3D_OK);
            EXPECT_EQ(value, s.expected) << s.state;
        }
    }

    // Equal inputs (other flag bits do not count) send nothing; a new ambient light does.
    Log();
    EXPECT_EQ(D3D9Device::SetSurfaceProperties(&props, &colour, 0x08), 1);
    EXPECT_EQ(d3d9test::CountCalls("SetMaterial"), 0u);
    const float brighter[3] = {1, 1, 1};
    D3D9Device::SetAmbientColourSource(brighter);
    EXPECT_EQ(D3D9Device::SetSurfaceProperties(&props, &colour, 0x08), 1);
    EXPECT_EQ(d3d9test::CountCalls("SetMaterial"), 1u);
    D3D9Device::SetAmbientColourSource(nullptr);
}

TEST_F(D3D9DeviceCaches, BindingsAreSentOnChangeOnly)
{
    Start();
    IDirect3DVertexBuffer9* a = nullptr;
    IDirect3DVertexBuffer9* b = nullptr;
    ASSERT_EQ(Device()->CreateVertexBuffer(256, D3DUSAGE_WRITEONLY, 0, D3DPOOL_MANAGED, &a, nullptr), D3D_OK);
    ASSERT_EQ(Device()->CreateVertexBuffer(256, D3DUSAGE_WRITEONLY, 0, D3DPOOL_MANAGED, &b, nullptr), D3D_OK);
    IDirect3DIndexBuffer9* indices = nullptr;
    ASSERT_EQ(D3D9Device::CreateIndexBuffer(6, &indices), 1);
    Log();
    EXPECT_EQ(D3D9Device::SetStreamSource(0, a, 0, 16), 1);
    EXPECT_EQ(D3D9Device::SetStreamSource(0, a, 0, 16), 1);
    EXPECT_EQ(D3D9Device::SetStreamSource(0, a, 32, 16), 1);
    EXPECT_EQ(D3D9Device::SetStreamSource(4, a, 0, 16), 0);
    EXPECT_EQ(d3d9test::CountCalls("SetStreamSource"), 2u);

    // Descriptors: without offsets every offset is 0; a stream without buffer is unbound
    // only while one is bound.
    d3d9test::ClearCallLog();
    D3D9StreamDescriptor streams = {{{a, 32, 16, 0}, {b, 64, 12, 0}}};
    EXPECT_EQ(D3D9Device::SetStreams(&streams, 0), 1);
    EXPECT_EQ(D3D9Device::SetStreams(&streams, 0), 1);
    EXPECT_EQ(D3D9Device::SetStreams(&streams, 1), 1);
    streams.streams[1].buffer = nullptr;
    EXPECT_EQ(D3D9Device::SetStreams(&streams, 1), 1);
    EXPECT_EQ(D3D9Device::SetStreams(&streams, 1), 1);
    const std::string nameA = d3d9test::ObjectName(a), nameB = d3d9test::ObjectName(b);
    EXPECT_EQ(d3d9test::CallArgs("SetStreamSource"),
              (Strings{"0, " + nameA + ", 0, 16", "1, " + nameB + ", 0, 12", "0, " + nameA + ", 32, 16",
                       "1, " + nameB + ", 64, 12", "1, null, 0, 0"}));

    d3d9test::ClearCallLog();
    EXPECT_EQ(D3D9Device::SetIndices(indices), 1);
    EXPECT_EQ(D3D9Device::SetIndices(indices), 1);
    EXPECT_EQ(D3D9Device::SetPixelShader(nullptr), 1);
    EXPECT_EQ(D3D9Device::SetPixelShader(nullptr), 1);
    D3D9Device::GetBindings()->vertexFormat = 0x142;
    EXPECT_EQ(D3D9Device::SetVertexDeclaration(nullptr), 1);
    EXPECT_EQ(D3D9Device::GetBindings()->vertexFormat, 0xFFFFFFFFu) << "a declaration forgets the vertex format";
    EXPECT_EQ(D3D9Device::SetVertexDeclaration(nullptr), 1);
    EXPECT_EQ(d3d9test::CountCalls("SetIndices"), 1u);
    EXPECT_EQ(d3d9test::CountCalls("SetPixelShader"), 1u);
    EXPECT_EQ(d3d9test::CountCalls("SetVertexDeclaration"), 1u);

    // After the bindings are forgotten everything is sent again.
    D3D9Device::ForgetBindings();
    EXPECT_EQ(D3D9Device::SetIndices(indices), 1);
    EXPECT_EQ(D3D9Device::SetStreamSource(0, a, 32, 16), 1);
    EXPECT_EQ(d3d9test::CountCalls("SetIndices"), 2u);
    for (UINT s = 0; s < 4; ++s)
        Device()->SetStreamSource(s, nullptr, 0, 0);
    Device()->SetIndices(nullptr);
    a->Release();
    b->Release();
    indices->Release();
}

TEST_F(D3D9DeviceCaches, DeclarationsAreSharedAndMadeAgainAfterTheLastUser)
{
    Start();
    // A list no part of the started driver shares.
    D3DVERTEXELEMENT9 elements[] = {
        {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
        {0, 12, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
        D3DDECL_END(),
    };
    Log();
    IDirect3DVertexDeclaration9* first = nullptr;
    IDirect3DVertexDeclaration9* second = nullptr;
    ASSERT_EQ(D3D9Device::CreateVertexDeclaration(elements, &first), 1);
    ASSERT_EQ(D3D9Device::CreateVertexDeclaration(elements, &second), 1);
    EXPECT_EQ(first, second);
    EXPECT_EQ(d3d9test::CountCalls("CreateVertexDeclaration"), 1u);
    EXPECT_EQ(D3D9Device::DestroyVertexDeclaration(first), 1u);
    EXPECT_EQ(D3D9Device::DestroyVertexDeclaration(second), 0u);

    D3DVERTEXELEMENT9 copy[3];
    std::memcpy(copy, elements, sizeof copy);
    IDirect3DVertexDeclaration9* third = nullptr;
    ASSERT_EQ(D3D9Device::CreateVertexDeclaration(copy, &third), 1);
    EXPECT_EQ(d3d9test::CountCalls("CreateVertexDeclaration"), 2u) << "made again from the kept elements";
    D3DVERTEXELEMENT9 read[3] = {};
    UINT count = 3;
    ASSERT_EQ(third->GetDeclaration(read, &count), D3D_OK);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(std::memcmp(read, elements, sizeof read), 0);

    // A list without an end marker within the longest declaration is refused.
    std::vector<D3DVERTEXELEMENT9> endless(MAXD3DDECLLENGTH + 1, elements[0]);
    IDirect3DVertexDeclaration9* none = nullptr;
    EXPECT_EQ(D3D9Device::CreateVertexDeclaration(endless.data(), &none), 0);
    EXPECT_EQ(none, nullptr);
    // The device's stop releases the declaration still held.
}

TEST_F(D3D9DeviceCaches, RenderTargetsBindCameraTextureSurfacesOnce)
{
    Start();
    Raster* texture = Raster::Create(64, 64, 0, kRasterTypeCameraTexture);
    ASSERT_NE(texture, nullptr);
    Log();
    EXPECT_EQ(D3D9Device::SetRenderTarget(1, texture), 1);
    EXPECT_EQ(D3D9Device::SetRenderTarget(1, texture), 1);
    EXPECT_EQ(d3d9test::CountCalls("SetRenderTarget"), 1u);
    EXPECT_EQ(D3D9Device::SetRenderTarget(1, nullptr), 1);
    EXPECT_EQ(D3D9Device::SetRenderTargetSurface(4, nullptr), 0);
    EXPECT_EQ(d3d9test::CountCalls("SetRenderTarget"), 2u);
    Raster* plain = Raster::Create(8, 8, 0, kRasterTypeTexture);
    EXPECT_EQ(D3D9Device::SetRenderTarget(1, plain), 0) << "only camera textures are targets";
    Raster::Destroy(plain);
    Raster::Destroy(texture);
}

} // namespace
} // namespace d3d9driver
