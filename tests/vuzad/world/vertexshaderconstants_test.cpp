// Vertex-shader constants: the light block in object space, the uploads on a started device,
// and a generated skinned, lit, fogged shader drawn on the d3d9 layer against a CPU reference.
#include "camera.h"
#include "d3d9draw_support.h"
#include "d3d9driverfixture.h"
#include "d3d9renderstate.h"
#include "d3dx9.h"
#include "matrix.h"
#include "vertexshader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace
{

Matrix At(float x, float y, float z, Vector position = {0, 0, 0})
{
    Matrix m{};
    m.right = {1, 0, 0};
    m.up = {0, 1, 0};
    m.at = {x, y, z};
    m.pos = position;
    m.flags = kMatrixOrthonormal;
    return m;
}

struct Block
{
    float r[40][4];
    Block()
    {
        for (auto& reg : r)
            for (float& f : reg)
                f = 7.0f; // never written by a gathering
    }
};

TEST(VertexShaderLights, ThreePointLightsShareOneGroupRegister)
{
    VertexShader::SetWorldMatrix(nullptr);
    Matrix frames[3] = {At(0, 0, 1, {1, 2, 3}), At(0, 0, 1, {4, 5, 6}), At(0, 0, 1, {7, 8, 9})};
    VertexShaderLight lights[3] = {{kVsLightPoint, 1, 0, 0, &frames[0], 2, 0},
                                   {kVsLightPoint, 0, 1, 0, &frames[1], 4, 0},
                                   {kVsLightPoint, 0, 0, 1, &frames[2], 8, 0}};
    const VertexShaderLight ambient{kVsLightAmbient, 0.25f, 0.5f, 0.75f, nullptr, 0, 0};
    VertexShaderLightSet set;
    EXPECT_TRUE(set.Add(&ambient));
    for (const VertexShaderLight& light : lights)
        EXPECT_TRUE(set.Add(&light));
    Block b;
    VertexShaderDescriptor d{0xFF, 0x2F, kVsNormals | kVsPrelit, 0};
    float (*end)[4] = set.Write(b.r, &d, true);
    EXPECT_EQ(end, b.r + 8); // c4, the group, three positions and colours
    EXPECT_EQ(d.lights, 0x30);
    EXPECT_EQ(d.spotsAndSets, 0x20);
    const float expected[8][4] = {{0.25f, 0.5f, 0.75f, 0}, {0.5f, 0.25f, 0.125f, 7}, {1, 2, 3, 0}, {1, 0, 0, 0},
                                  {4, 5, 6, 0},           {0, 1, 0, 0},            {7, 8, 9, 0}, {0, 0, 1, 0}};
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_FLOAT_EQ(b.r[r][c], expected[r][c]) << "c" << 4 + r << "." << "xyzw"[c];
}

TEST(VertexShaderLights, SpotConesAndAtMostFifteenOfAKind)
{
    VertexShader::SetWorldMatrix(nullptr);
    Matrix frame = At(0, 0, 1);
    struct Case
    {
        int32_t type;
        float cosine;
        float scale;
    };
    const Case cases[] = {{kVsLightSpot, 0.5f, 999.99994f},
                          {kVsLightSoftSpot, 0.5f, 2.0f},
                          {kVsLightSoftSpot, 0.9995f, 999.99994f}};
    for (const Case& c : cases)
    {
        VertexShaderLight spot{c.type, 1, 1, 1, &frame, 10, c.cosine};
        VertexShaderLightSet set;
        set.Add(&spot);
        Block b;
        VertexShaderDescriptor d{};
        EXPECT_EQ(set.Write(b.r, &d, false), b.r + 6);
        EXPECT_EQ(d.spotsAndSets, 1);
        EXPECT_FLOAT_EQ(b.r[0][3], 1.0f);
        EXPECT_FLOAT_EQ(b.r[1][0], 0.1f);
        EXPECT_FLOAT_EQ(b.r[3][2], 1.0f); // direction
        EXPECT_FLOAT_EQ(b.r[4][0], c.scale) << c.type << " " << c.cosine;
        EXPECT_FLOAT_EQ(b.r[4][1], -c.cosine * c.scale);
        EXPECT_FLOAT_EQ(b.r[4][2], 0.5f);
    }

    VertexShaderLight directional{kVsLightDirectional, 1, 1, 1, &frame, 0, 0};
    VertexShaderLightSet set;
    for (int i = 0; i < 15; ++i)
        EXPECT_TRUE(set.Add(&directional));
    EXPECT_FALSE(set.Add(&directional));
    Block b;
    VertexShaderDescriptor d{};
    EXPECT_EQ(set.Write(b.r, &d, false), b.r + 31);
    EXPECT_EQ(d.lights, 0x0F);

    // Nothing gathered: only the ambient register.
    VertexShaderLightSet empty;
    EXPECT_EQ(empty.Write(b.r, &d, false), b.r + 1);
    EXPECT_EQ(d.lights, 0);
}

TEST(VertexShaderLights, AWorldScaledByTwoHalvesRangesAndMovesLightsIntoObjectSpace)
{
    Matrix world{};
    world.right = {2, 0, 0};
    world.up = {0, 2, 0};
    world.at = {0, 0, 2};
    world.pos = {10, 0, 0};
    world.flags = 0;
    VertexShader::SetWorldMatrix(&world);

    Matrix frame = At(0, 0.6f, 0.8f, {14, 2, 0});
    VertexShaderLight point{kVsLightPoint, 1, 1, 1, &frame, 10, 0};
    VertexShaderLight spot{kVsLightSpot, 1, 1, 1, &frame, 4, 0.5f};
    VertexShaderLightSet set;
    set.Add(&point);
    set.Add(&spot);
    Block b;
    VertexShaderDescriptor d{};
    set.Write(b.r, &d, false);
    EXPECT_NEAR(b.r[1][0], 2.0f / 10.0f, 1e-6f);
    EXPECT_NEAR(b.r[2][0], 2.0f, 1e-5f); // (14, 2, 0) - (10, 0, 0), halved
    EXPECT_NEAR(b.r[2][1], 1.0f, 1e-5f);
    EXPECT_NEAR(b.r[4][0], 2.0f / 4.0f, 1e-6f);
    // The direction goes through the orthonormalised inverse: scale does not shorten it.
    EXPECT_NEAR(b.r[6][1], 0.6f, 1e-5f);
    EXPECT_NEAR(b.r[6][2], 0.8f, 1e-5f);

    float inverse[16];
    VertexShader::UpdateInverseWorldMatrix(inverse);
    EXPECT_FLOAT_EQ(inverse[0], 0.5f);
    EXPECT_FLOAT_EQ(inverse[12], -5.0f);
    EXPECT_FLOAT_EQ(inverse[15], 1.0f);

    // No world matrix: everything unchanged.
    VertexShader::SetWorldMatrix(nullptr);
    Block c;
    set.Write(c.r, &d, false);
    EXPECT_FLOAT_EQ(c.r[1][0], 0.1f);
    EXPECT_FLOAT_EQ(c.r[2][0], 14.0f);
    VertexShader::UpdateInverseWorldMatrix(inverse);
    EXPECT_FLOAT_EQ(inverse[12], 0.0f);
    EXPECT_FLOAT_EQ(inverse[5], 1.0f);
}

// Uploads on the engine's started device, read back from the device.
class VertexShaderUploads : public d3d9driver::DriverTest
{
protected:
    void SetUp() override
    {
        DriverTest::SetUp();
        Start();
        VertexShaderCache::Open();
    }
    void TearDown() override
    {
        VertexShaderCache::Close();
        VertexShader::SetWorldMatrix(nullptr);
        DriverTest::TearDown();
    }
    static std::vector<float> Constants(UINT start, UINT count)
    {
        std::vector<float> out(count * 4);
        Device()->GetVertexShaderConstantF(start, out.data(), count);
        return out;
    }
};

TEST_F(VertexShaderUploads, FogColourLightsAndWorldViewProjection)
{
    Camera* camera = MakeCamera();
    Engine::Current()->currentCamera = camera;
    const VertexShaderDescriptor linear{0x01, 0, kVsNormals | kVsMaterialColour, 1};
    VertexShaderRegisters registers{};
    ASSERT_NE(VertexShaderCache::Find(&linear, &registers), nullptr);
    ASSERT_EQ(registers.fog, 8);

    camera->farPlane = 10;
    camera->fogPlane = 5;
    EXPECT_EQ(VertexShader::SetFogConstants(&linear, &registers), D3D_OK);
    EXPECT_EQ(Constants(8, 1), (std::vector<float>{-0.2f, 2.0f, 0, 1}));
    // Equal planes: a steep but finite ramp that still fogs at the far plane.
    camera->fogPlane = 10;
    EXPECT_EQ(VertexShader::SetFogConstants(&linear, &registers), D3D_OK);
    std::vector<float> step = Constants(8, 1);
    EXPECT_TRUE(std::isfinite(step[0]) && std::isfinite(step[1]));
    EXPECT_LE(step[0] * 10.0f + step[1], 0.5f);
    EXPECT_GE(step[0] * 9.9f + step[1], 1.0f);

    const VertexShaderDescriptor exponential{0x01, 0, kVsNormals | kVsMaterialColour, 2};
    float density = 0.5f;
    DWORD bits;
    std::memcpy(&bits, &density, 4);
    D3D9RenderState::SetRenderState(D3DRS_FOGDENSITY, bits);
    EXPECT_EQ(VertexShader::SetFogConstants(&exponential, &registers), D3D_OK);
    EXPECT_EQ(Constants(8, 1), (std::vector<float>{0.5f * 1.442695f, 0, 0, 1}));

    const uint8_t rgba[4] = {255, 51, 0, 102};
    EXPECT_EQ(VertexShader::SetColorConstant(rgba, &registers), D3D_OK);
    EXPECT_EQ(Constants(7, 1), (std::vector<float>{1.0f, 0.2f, 0, 0.4f}));
    // A shader without a material-colour register has nothing written, c255 least of all.
    const float top[4] = {9, 9, 9, 9};
    Device()->SetVertexShaderConstantF(255, top, 1);
    VertexShaderRegisters none = registers;
    none.materialColour = 0xFF;
    EXPECT_EQ(VertexShader::SetColorConstant(rgba, &none), D3D_OK);
    EXPECT_EQ(Constants(255, 1), (std::vector<float>{9, 9, 9, 9}));

    float block[3][4] = {{0.5f, 0.5f, 0.5f, 1}, {0, 0, 1, 0}, {1, 0.5f, 0.25f, 0}};
    const VertexShaderDescriptor one{0x01, 0, kVsNormals, 0};
    EXPECT_EQ(VertexShader::ScaleLightColors(block, &one, 0.5f, 2.0f), D3D_OK);
    EXPECT_EQ(Constants(4, 3), (std::vector<float>{0.25f, 0.25f, 0.25f, 1, 0, 0, 1, 0, 2, 1, 0.5f, 0}));

    // The product is transposed for c0-c3: the translation lands in the fourth column.
    float view[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 5, 1};
    ASSERT_EQ(D3D9Device::SetTransform(D3DTS_VIEW, view), 1);
    ASSERT_EQ(D3D9Device::SetTransform(D3DTS_PROJECTION, nullptr), 1);
    VertexShader::ForgetViewProjection();
    Matrix world = At(0, 0, 1, {1, 2, 3});
    world.flags = kMatrixOrthonormal;
    VertexShader::SetWorldMatrix(&world);
    float wvp[16];
    VertexShader::GetWorldViewProjection(wvp);
    EXPECT_FLOAT_EQ(wvp[3], 1.0f);
    EXPECT_FLOAT_EQ(wvp[7], 2.0f);
    EXPECT_FLOAT_EQ(wvp[11], 8.0f);
    EXPECT_FLOAT_EQ(wvp[12], 0.0f);

    Engine::Current()->currentCamera = nullptr;
    DestroyCamera(camera);
}

// A generated shader that skins by one bone, lights with one directional light and fogs
// linearly, drawn on the layer.
class GeneratedShaderDraw : public d3d9support::DrawTest
{
};

struct SkinVertex
{
    float x, y, z;
    BYTE bone[4];
    float nx, ny, nz;
};

TEST_F(GeneratedShaderDraw, SkinnedLitFoggedQuadsMatchTheirReference)
{
    ASSERT_NE(mDevice, nullptr);
    D3DCAPS9 caps{};
    caps.VertexShaderVersion = 0xFFFE0200;
    caps.MaxVertexShaderConst = 256;
    VertexShaderCache::ReadCaps(&caps);

    const VertexShaderDescriptor d{0x01, 0x00, kVsNormals | (1 << 1), 1};
    VertexShaderRegisters registers{};
    std::string text;
    ASSERT_EQ(VertexShader::GenerateText(&d, &registers, &text), 1);
    ASSERT_EQ(registers.fog, 7);
    ASSERT_EQ(registers.bones, 8);
    ID3DXBuffer* tokens = nullptr;
    ASSERT_EQ(D3DXAssembleShader(text.c_str(), UINT(text.size()), nullptr, nullptr, D3DXSHADER_SKIPOPTIMIZATION,
                                 &tokens, nullptr),
              D3D_OK);
    IDirect3DVertexShader9* shader = nullptr;
    ASSERT_EQ(mDevice->CreateVertexShader(static_cast<const DWORD*>(tokens->GetBufferPointer()), &shader), D3D_OK);
    tokens->Release();
    Hold(shader);

    const D3DVERTEXELEMENT9 elements[] = {
        {0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
        {0, 12, D3DDECLTYPE_UBYTE4, 0, D3DDECLUSAGE_BLENDINDICES, 0},
        {0, 16, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_NORMAL, 0},
        {0xFF, 0, D3DDECLTYPE_UNUSED, 0, 0, 0},
    };
    IDirect3DVertexDeclaration9* declaration = nullptr;
    ASSERT_EQ(mDevice->CreateVertexDeclaration(elements, &declaration), D3D_OK);
    Hold(declaration);

    // The light block as a gathering writes it: ambient 0.1, one light along (0.6, 0, 0.8).
    VertexShader::SetWorldMatrix(nullptr);
    Matrix frame = At(0.6f, 0, 0.8f);
    const VertexShaderLight ambient{kVsLightAmbient, 0.1f, 0.1f, 0.1f, nullptr, 0, 0};
    const VertexShaderLight light{kVsLightDirectional, 1.0f, 0.5f, 0.25f, &frame, 0, 0};
    VertexShaderLightSet set;
    set.Add(&ambient);
    set.Add(&light);
    float block[3][4];
    VertexShaderDescriptor gathered = d;
    ASSERT_EQ(set.Write(block, &gathered, false), block + 3);
    ASSERT_EQ(gathered.Key(), d.Key());

    // c0-c3 identity; fog from depth 1 with fog 0 and far 2: factor 0.5. Bone 0 moves x by -1;
    // bone 1 (register offset 3) turns by 180 degrees about z and moves x by +0.5.
    const float identity[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    const float fog[4] = {-0.5f, 1.0f, 0, 1};
    const float bones[6][4] = {{1, 0, 0, -1}, {0, 1, 0, 0}, {0, 0, 1, 0}, {-1, 0, 0, 0.5f}, {0, -1, 0, 0}, {0, 0, 1, 0}};
    mDevice->SetVertexShaderConstantF(0, &identity[0][0], 4);
    mDevice->SetVertexShaderConstantF(4, &block[0][0], 3);
    mDevice->SetVertexShaderConstantF(registers.fog, fog, 1);
    mDevice->SetVertexShaderConstantF(registers.bones, &bones[0][0], 6);

    // Left: normal facing the light's reverse; right: a normal the bone turns towards it.
    const float s = 0.8660254f;
    SkinVertex left[4] = {{0, 1, 0.5f, {0}, 0, 0, -1}, {1, 1, 0.5f, {0}, 0, 0, -1},
                          {0, -1, 0.5f, {0}, 0, 0, -1}, {1, -1, 0.5f, {0}, 0, 0, -1}};
    SkinVertex right[4] = {{0.5f, 1, 0.5f, {3}, s, 0, -0.5f}, {-0.5f, 1, 0.5f, {3}, s, 0, -0.5f},
                           {0.5f, -1, 0.5f, {3}, s, 0, -0.5f}, {-0.5f, -1, 0.5f, {3}, s, 0, -0.5f}};

    mDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    mDevice->BeginScene();
    mDevice->SetVertexDeclaration(declaration);
    mDevice->SetVertexShader(shader);
    mDevice->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    mDevice->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    mDevice->SetRenderState(D3DRS_FOGENABLE, TRUE);
    mDevice->SetRenderState(D3DRS_FOGCOLOR, 0xFF0000FF);
    mDevice->SetRenderState(D3DRS_FOGTABLEMODE, D3DFOG_NONE);
    ASSERT_EQ(mDevice->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, left, sizeof(SkinVertex)), D3D_OK);
    ASSERT_EQ(mDevice->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, right, sizeof(SkinVertex)), D3D_OK);
    mDevice->EndScene();
    mDevice->SetVertexShader(nullptr);
    mDevice->SetRenderState(D3DRS_FOGENABLE, FALSE);

    // Intensity = max(0, -dot(at, N)): 0.8 on the left; the turned normal (-s, 0, -0.5) gives
    // 0.6 s + 0.4 on the right (unturned it would be dark). Then half fog towards blue.
    auto shade = [](float intensity) {
        // The device clamps the output colour before fog.
        auto c = [](float v) { return std::min(v, 1.0f); };
        d3d9support::Rgba lit{c(0.1f + 1.0f * intensity), c(0.1f + 0.5f * intensity), c(0.1f + 0.25f * intensity), 1};
        return d3d9support::ToArgb({0.5f * lit.r, 0.5f * lit.g, 0.5f * lit.b + 0.5f, 1});
    };
    const uint32_t leftColour = shade(0.8f), rightColour = shade(0.6f * s + 0.4f);
    EXPECT_EQ(CheckBackBuffer("generated_shader_skinned_lit_fogged",
                              Expected([&](int x, int) { return x < d3d9support::kSize / 2 ? leftColour : rightColour; })),
              "");
}

} // namespace
