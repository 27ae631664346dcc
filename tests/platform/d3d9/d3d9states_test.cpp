// Tests of device state: defaults, stored values and their bounds, bindings that hold references, lights,
// vertex declarations, shader token streams and shader constants.
#include "d3d9test_support.h"

#include <gtest/gtest.h>

#include <cstring>

namespace
{

using namespace d3d9support;

class StateTest : public D3D9Test
{
};

DWORD Bits(float value)
{
    DWORD bits;
    std::memcpy(&bits, &value, sizeof(bits));
    return bits;
}

TEST_F(StateTest, NewDeviceStartsFromThePlatformDefaults)
{
    OpenDevice();
    const std::pair<D3DRENDERSTATETYPE, DWORD> renderStates[] = {
        {D3DRS_ZENABLE, D3DZB_TRUE},
        {D3DRS_CULLMODE, D3DCULL_CCW},
        {D3DRS_ZFUNC, D3DCMP_LESSEQUAL},
        {D3DRS_SRCBLEND, D3DBLEND_ONE},
        {D3DRS_DESTBLEND, D3DBLEND_ZERO},
        {D3DRS_ALPHAFUNC, D3DCMP_ALWAYS},
        {D3DRS_FOGEND, Bits(1.0f)},
        {D3DRS_STENCILMASK, 0xFFFFFFFF},
        {D3DRS_LIGHTING, TRUE},
        {D3DRS_CLIPPING, TRUE},
        {D3DRS_COLORWRITEENABLE, 0xF},
        {D3DRS_TEXTUREFACTOR, 0xFFFFFFFF},
        {D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1},
        {D3DRS_AMBIENT, 0},
    };
    for (auto [state, expected] : renderStates)
    {
        DWORD value = 0xDEAD;
        ASSERT_EQ(mDevice->GetRenderState(state, &value), D3D_OK);
        EXPECT_EQ(value, expected) << "render state " << state;
    }
    DWORD value = 0;
    mDevice->GetTextureStageState(0, D3DTSS_COLOROP, &value);
    EXPECT_EQ(value, DWORD(D3DTOP_MODULATE));
    mDevice->GetTextureStageState(1, D3DTSS_COLOROP, &value);
    EXPECT_EQ(value, DWORD(D3DTOP_DISABLE));
    mDevice->GetTextureStageState(5, D3DTSS_TEXCOORDINDEX, &value);
    EXPECT_EQ(value, 5u);
    mDevice->GetSamplerState(3, D3DSAMP_ADDRESSU, &value);
    EXPECT_EQ(value, DWORD(D3DTADDRESS_WRAP));
    mDevice->GetSamplerState(3, D3DSAMP_MIPFILTER, &value);
    EXPECT_EQ(value, DWORD(D3DTEXF_NONE));
    D3DMATRIX world;
    mDevice->GetTransform(D3DTS_WORLD, &world);
    EXPECT_EQ(world._11, 1.0f);
    EXPECT_EQ(world._41, 0.0f);
}

TEST_F(StateTest, StatesAreStoredWithinTheirBounds)
{
    OpenDevice();
    DWORD value = 0;
    ASSERT_EQ(mDevice->SetRenderState(D3DRS_BLENDOPALPHA, D3DBLENDOP_MAX), D3D_OK);
    mDevice->GetRenderState(D3DRS_BLENDOPALPHA, &value);
    EXPECT_EQ(value, DWORD(D3DBLENDOP_MAX));
    EXPECT_EQ(mDevice->SetRenderState(D3DRENDERSTATETYPE(256), 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(mDevice->SetTextureStageState(8, D3DTSS_COLOROP, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(mDevice->SetTextureStageState(0, D3DTEXTURESTAGESTATETYPE(33), 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(mDevice->SetSamplerState(16, D3DSAMP_ADDRESSU, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(mDevice->SetSamplerState(D3DVERTEXTEXTURESAMPLER0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP), D3D_OK);
    EXPECT_EQ(mDevice->SetSamplerState(0, D3DSAMPLERSTATETYPE(14), 0), D3DERR_INVALIDCALL);

    D3DMATRIX matrix{};
    matrix._43 = 5.0f;
    EXPECT_EQ(mDevice->SetTransform(D3DTS_WORLDMATRIX(255), &matrix), D3D_OK);
    EXPECT_EQ(mDevice->SetTransform(D3DTRANSFORMSTATETYPE(1), &matrix), D3DERR_INVALIDCALL);
    D3DMATRIX back{};
    mDevice->GetTransform(D3DTS_WORLDMATRIX(255), &back);
    EXPECT_EQ(back._43, 5.0f);

    float constants[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(mDevice->SetVertexShaderConstantF(254, constants, 2), D3D_OK);
    EXPECT_EQ(mDevice->SetVertexShaderConstantF(255, constants, 2), D3DERR_INVALIDCALL);
    float read[4] = {};
    mDevice->GetVertexShaderConstantF(255, read, 1);
    EXPECT_EQ(read[3], 8.0f);
}

TEST_F(StateTest, BindingsHoldReferencesUntilReplaced)
{
    OpenDevice();
    IDirect3DTexture9* texture = nullptr;
    IDirect3DVertexBuffer9* vertices = nullptr;
    IDirect3DIndexBuffer9* indices = nullptr;
    IDirect3DTexture9* target = nullptr;
    ASSERT_EQ(mDevice->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    ASSERT_EQ(mDevice->CreateVertexBuffer(64, 0, 0, D3DPOOL_MANAGED, &vertices, nullptr), D3D_OK);
    ASSERT_EQ(mDevice->CreateIndexBuffer(64, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &indices, nullptr), D3D_OK);
    ASSERT_EQ(
        mDevice->CreateTexture(8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &target, nullptr),
        D3D_OK);
    IDirect3DSurface9* level = nullptr;
    target->GetSurfaceLevel(0, &level);

    ASSERT_EQ(mDevice->SetTexture(2, texture), D3D_OK);
    ASSERT_EQ(mDevice->SetStreamSource(1, vertices, 16, 12), D3D_OK);
    ASSERT_EQ(mDevice->SetIndices(indices), D3D_OK);
    ASSERT_EQ(mDevice->SetRenderTarget(1, level), D3D_OK);
    EXPECT_EQ(d3d9test::RefCount(texture), 2u);
    EXPECT_EQ(d3d9test::RefCount(vertices), 2u);
    EXPECT_EQ(d3d9test::RefCount(indices), 2u);
    EXPECT_EQ(d3d9test::RefCount(target), 3u) << "the caller's surface and the binding count on the texture";
    EXPECT_EQ(mDevice->SetStreamSource(0, vertices, 2, 12), D3DERR_INVALIDCALL) << "offsets come in dwords";

    UINT offset = 0, stride = 0;
    IDirect3DVertexBuffer9* bound = nullptr;
    ASSERT_EQ(mDevice->GetStreamSource(1, &bound, &offset, &stride), D3D_OK);
    EXPECT_EQ(bound, vertices);
    EXPECT_EQ(offset, 16u);
    EXPECT_EQ(stride, 12u);
    bound->Release();

    level->Release();
    EXPECT_EQ(texture->Release(), 1u) << "still bound";
    EXPECT_EQ(vertices->Release(), 1u);
    EXPECT_EQ(indices->Release(), 1u);
    EXPECT_EQ(target->Release(), 1u);
    ASSERT_EQ(mDevice->SetTexture(2, nullptr), D3D_OK);
    ASSERT_EQ(mDevice->SetStreamSource(1, nullptr, 0, 0), D3D_OK);
    ASSERT_EQ(mDevice->SetIndices(nullptr), D3D_OK);
    ASSERT_EQ(mDevice->SetRenderTarget(1, nullptr), D3D_OK);
    EXPECT_EQ(d3d9test::DefaultPoolResources(mDevice), 0u) << "the render target went with its last binding";
}

TEST_F(StateTest, RenderTargetZeroBringsAFullViewport)
{
    OpenDevice();
    IDirect3DTexture9* target = nullptr;
    ASSERT_EQ(
        mDevice->CreateTexture(16, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &target, nullptr),
        D3D_OK);
    IDirect3DSurface9* level = nullptr;
    target->GetSurfaceLevel(0, &level);
    D3DVIEWPORT9 viewport{1, 1, 4, 4, 0.0f, 1.0f};
    ASSERT_EQ(mDevice->SetViewport(&viewport), D3D_OK);
    ASSERT_EQ(mDevice->SetRenderTarget(0, level), D3D_OK);
    mDevice->GetViewport(&viewport);
    EXPECT_EQ(viewport.Width, 16u);
    EXPECT_EQ(viewport.Height, 8u);
    D3DVIEWPORT9 tooWide{8, 0, 9, 8, 0.0f, 1.0f};
    EXPECT_EQ(mDevice->SetViewport(&tooWide), D3DERR_INVALIDCALL);
    EXPECT_EQ(mDevice->SetRenderTarget(0, nullptr), D3DERR_INVALIDCALL);
    IDirect3DTexture9* plain = nullptr;
    ASSERT_EQ(mDevice->CreateTexture(8, 8, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &plain, nullptr), D3D_OK);
    IDirect3DSurface9* plainLevel = nullptr;
    plain->GetSurfaceLevel(0, &plainLevel);
    EXPECT_EQ(mDevice->SetRenderTarget(0, plainLevel), D3DERR_INVALIDCALL) << "no render-target usage";
    ASSERT_EQ(mDevice->SetRenderTarget(0, BackBuffer()), D3D_OK);
    plainLevel->Release();
    plain->Release();
    level->Release();
    target->Release();
}

TEST_F(StateTest, LightsAreKeptByIndex)
{
    OpenDevice();
    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_SPOT;
    light.Range = 12.0f;
    ASSERT_EQ(mDevice->SetLight(5, &light), D3D_OK);
    D3DLIGHT9 back{};
    ASSERT_EQ(mDevice->GetLight(5, &back), D3D_OK);
    EXPECT_EQ(back.Range, 12.0f);
    EXPECT_EQ(mDevice->GetLight(2, &back), D3DERR_INVALIDCALL);
    BOOL enabled = TRUE;
    ASSERT_EQ(mDevice->GetLightEnable(5, &enabled), D3D_OK);
    EXPECT_FALSE(enabled);

    ASSERT_EQ(mDevice->LightEnable(1000, TRUE), D3D_OK) << "enabling an unset light makes the default one";
    ASSERT_EQ(mDevice->GetLight(1000, &back), D3D_OK);
    EXPECT_EQ(back.Type, D3DLIGHT_DIRECTIONAL);
    EXPECT_EQ(back.Direction.z, 1.0f);
    light.Type = D3DLIGHTTYPE(4);
    EXPECT_EQ(mDevice->SetLight(0, &light), D3DERR_INVALIDCALL);
}

TEST_F(StateTest, VertexDeclarationsKeepTheirElements)
{
    OpenDevice();
    const D3DVERTEXELEMENT9 elements[] = {
        {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
        {0, 12, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0},
        {0, 24, D3DDECLTYPE_D3DCOLOR, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 0},
        {0, 28, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
        D3DDECL_END(),
    };
    IDirect3DVertexDeclaration9* declaration = nullptr;
    ASSERT_EQ(mDevice->CreateVertexDeclaration(elements, &declaration), D3D_OK);
    UINT count = 0;
    ASSERT_EQ(declaration->GetDeclaration(nullptr, &count), D3D_OK);
    EXPECT_EQ(count, 5u) << "the end marker counts";
    D3DVERTEXELEMENT9 back[5];
    ASSERT_EQ(declaration->GetDeclaration(back, &count), D3D_OK);
    EXPECT_EQ(std::memcmp(back, elements, sizeof(back)), 0);
    ASSERT_EQ(mDevice->SetVertexDeclaration(declaration), D3D_OK);
    EXPECT_EQ(declaration->Release(), 1u);
    ASSERT_EQ(mDevice->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE), D3D_OK);
    IDirect3DVertexDeclaration9* current = declaration;
    mDevice->GetVertexDeclaration(&current);
    EXPECT_EQ(current, nullptr) << "an FVF replaces the declaration (and released it)";

    D3DVERTEXELEMENT9 duplicate[] = {elements[0], elements[0], D3DDECL_END()};
    duplicate[1].Offset = 12;
    EXPECT_EQ(mDevice->CreateVertexDeclaration(duplicate, &declaration), D3DERR_INVALIDCALL);
    D3DVERTEXELEMENT9 badType[] = {elements[0], D3DDECL_END()};
    badType[0].Type = 18;
    EXPECT_EQ(mDevice->CreateVertexDeclaration(badType, &declaration), D3DERR_INVALIDCALL);
}

TEST_F(StateTest, ShaderTokenStreamsAreCheckedAndKept)
{
    OpenDevice();
    // vs_1_1: a comment, a declaration, one instruction, then the end.
    const DWORD vertex[] = {0xFFFE0101, 0x0001FFFE, 0xDEADBEEF, 0x0000001F, 0x80000000, 0x900F0000,
                            0x00000001, 0x800F0000, 0x90E40000, 0x0000FFFF};
    IDirect3DVertexShader9* shader = nullptr;
    ASSERT_EQ(mDevice->CreateVertexShader(vertex, &shader), D3D_OK);
    UINT size = 0;
    ASSERT_EQ(shader->GetFunction(nullptr, &size), D3D_OK);
    EXPECT_EQ(size, sizeof(vertex));
    DWORD copy[10] = {};
    ASSERT_EQ(shader->GetFunction(copy, &size), D3D_OK);
    EXPECT_EQ(std::memcmp(copy, vertex, sizeof(vertex)), 0);
    ASSERT_EQ(mDevice->SetVertexShader(shader), D3D_OK);
    EXPECT_EQ(shader->Release(), 1u);
    ASSERT_EQ(mDevice->SetVertexShader(nullptr), D3D_OK);

    const DWORD pixel14[] = {0xFFFF0104, 0x0000FFFF};
    const DWORD wrongKind[] = {0xFFFE0101, 0x0000FFFF};
    IDirect3DPixelShader9* pixelShader = nullptr;
    EXPECT_EQ(mDevice->CreatePixelShader(pixel14, &pixelShader), D3DERR_INVALIDCALL) << "above the caps";
    EXPECT_EQ(mDevice->CreatePixelShader(wrongKind, &pixelShader), D3DERR_INVALIDCALL) << "a vertex shader";
    const DWORD pixel13[] = {0xFFFF0103, 0x0000FFFF};
    ASSERT_EQ(mDevice->CreatePixelShader(pixel13, &pixelShader), D3D_OK);
    pixelShader->Release();
}

} // namespace
