// Shaders on the Direct3D 9 layer: token streams checked when a shader is made, and assembled vertex and pixel
// shaders drawing frames that match CPU references.
#include "d3d9draw_support.h"
#include "d3d9shadertokens.h"
#include "d3dx9.h"
#include "matfxshaders.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>
#include <vector>

namespace
{

using namespace d3d9support;

std::vector<DWORD> Tokens(const std::string& text)
{
    ID3DXBuffer* shader = nullptr;
    ID3DXBuffer* errors = nullptr;
    HRESULT result = D3DXAssembleShader(text.c_str(), UINT(text.size()), nullptr, nullptr, 0, &shader, &errors);
    EXPECT_EQ(result, D3D_OK) << (errors ? static_cast<const char*>(errors->GetBufferPointer()) : "");
    std::vector<DWORD> tokens;
    if (shader)
    {
        auto* begin = static_cast<const DWORD*>(shader->GetBufferPointer());
        tokens.assign(begin, begin + shader->GetBufferSize() / sizeof(DWORD));
        shader->Release();
    }
    if (errors)
        errors->Release();
    return tokens;
}

class ShaderTest : public D3D9Test
{
};

TEST_F(ShaderTest, BadTokenStreamsAreRefusedWhenTheShaderIsMade)
{
    OpenDevice();
    std::vector<DWORD> good = Tokens("vs_2_0\ndcl_position0 v0\nm4x4 oPos, v0, c[0]\n");
    IDirect3DVertexShader9* shader = nullptr;
    ASSERT_EQ(mDevice->CreateVertexShader(good.data(), &shader), D3D_OK);
    shader->Release();

    struct Case
    {
        const char* what;
        std::vector<DWORD> tokens;
    };
    const Case cases[] = {
        {"unknown opcode", {0xFFFE0200, 0x01007777, 0x800F0000, 0xFFFF}},
        {"register out of range", {0xFFFE0200, 0x02000001, 0x800F000C, 0xA0E40000, 0xFFFF}},
        {"constant past 255", {0xFFFE0200, 0x02000001, 0x800F0000, 0xA0E40100, 0xFFFF}},
        {"output read", {0xFFFE0200, 0x02000001, 0x800F0000, 0xD0E40000, 0xFFFF}},
        {"input written", {0xFFFE0200, 0x0200001F, 0x80000000, 0x900F0000, 0x02000001, 0x900F0000, 0xA0E40000,
                            0xFFFF}},
        {"input read without a declaration", {0xFFFE0200, 0x02000001, 0x800F0000, 0x90E40000, 0xFFFF}},
        {"instruction cut short", {0xFFFE0200, 0x03000002, 0x800F0000, 0xA0E40000, 0xFFFF}},
        {"parameter without its marker", {0xFFFE0101, 0x00000001, 0x000F0000, 0xA0E40000, 0xFFFF}},
        {"address written by add", {0xFFFE0200, 0x03000002, 0xB0010000, 0xA0E40000, 0xA0E40000, 0xFFFF}},
        {"relative output", {0xFFFE0200, 0x02000001, 0x800F2000, 0xA0E40000, 0xFFFF}},
        {"version 3.0", {0xFFFE0300, 0xFFFF}},
        // Each stream is exactly its vector: a walk past its end token reads past the vector.
        {"comment running over the end", {0xFFFE0200, 0x0002FFFE, 0xFFFF}},
        {"comment longer than any shader", {0xFFFE0200, 0x7FFFFFFE, 0xFFFF}},
        {"stated length running over the end", {0xFFFE0200, 0x05000001, 0x800F0000, 0xFFFF}},
        {"matrix rows v1 and v2 undeclared",
         {0xFFFE0200, 0x0200001F, 0x80000000, 0x900F0000, 0x03000017, 0x80070000, 0xA0E40000, 0x90E40000, 0xFFFF}},
        {"c0 defined twice",
         {0xFFFE0200, 0x05000051, 0xA00F0000, 0, 0, 0, 0, 0x05000051, 0xA00F0000, 0, 0, 0, 0, 0xFFFF}},
        {"definition with an empty mask", {0xFFFE0200, 0x05000051, 0xA0000000, 0, 0, 0, 0, 0xFFFF}},
        {"definition with a modifier", {0xFFFE0200, 0x05000051, 0xA01F0000, 0, 0, 0, 0, 0xFFFF}},
        {"instruction control bits", {0xFFFE0200, 0x02010001, 0x800F0000, 0xA0E40000, 0xFFFF}},
        {"predicated instruction", {0xFFFE0200, 0x12000001, 0x800F0000, 0xA0E40000, 0xFFFF}},
        {"version 1.1 stating a length", {0xFFFE0101, 0x02000001, 0x800F0000, 0xA0E40000, 0xFFFF}},
        {"reserved destination bits", {0xFFFE0200, 0x02000001, 0x800FC000, 0xA0E40000, 0xFFFF}},
        {"reserved source bits", {0xFFFE0200, 0x02000001, 0x800F0000, 0xA0E44000, 0xFFFF}},
    };
    for (const Case& c : cases)
    {
        shader = nullptr;
        EXPECT_EQ(mDevice->CreateVertexShader(c.tokens.data(), &shader), D3DERR_INVALIDCALL) << c.what;
        EXPECT_EQ(shader, nullptr) << c.what;
    }

    std::vector<DWORD> pixelGood = Tokens("ps_1_1\ntex t0\nmul r0, t0, v0\n");
    IDirect3DPixelShader9* pixel = nullptr;
    ASSERT_EQ(mDevice->CreatePixelShader(pixelGood.data(), &pixel), D3D_OK);
    pixel->Release();
    const std::vector<DWORD> pixelBad[] = {
        {0xFFFF0101, 0x00000001, 0x800F0002, 0xB0E40000, 0xFFFF}, // r2 does not exist in 1.1
        {0xFFFF0101, 0x00000042, 0x800F0000, 0xFFFF},             // tex writes a temporary
        {0xFFFF0101, 0x00000014, 0x800F0000, 0xB0E40000, 0xA0E40000, 0xFFFF}, // m4x4 is for vertex shaders
        {0xFFFF0101, 0x0001FFFE, 0xFFFF}, // the comment's one word is the end token
        {0xFFFF0101, 0x00000051, 0xA00F0000, 0x3F800000, 0xFFFF}, // the definition's values run over the end
        {0xFFFF0101, 0x40000051, 0xA00F0000, 0, 0, 0, 0, 0xFFFF},   // a co-issued definition
        {0xFFFF0101, 0x00010001, 0x800F0000, 0xB0E40000, 0xFFFF},   // instruction control bits
        // texm3x2tex t1 without its texm3x2pad
        {0xFFFF0101, 0x00000042, 0xB00F0000, 0x00000048, 0xB00F0001, 0xB0E40000, 0xFFFF},
        // texm3x3vspec on t0: no rows before it
        {0xFFFF0101, 0x0000004D, 0xB00F0000, 0xB0E40000, 0xFFFF},
        // texm3x3pad t1, t0 then texm3x3tex t2, t0: one pad short
        {0xFFFF0101, 0x00000042, 0xB00F0000, 0x00000049, 0xB00F0001, 0xB0E40000, 0x0000004A, 0xB00F0002,
         0xB0E40000, 0xFFFF},
    };
    for (const auto& tokens : pixelBad)
        EXPECT_EQ(mDevice->CreatePixelShader(tokens.data(), &pixel), D3DERR_INVALIDCALL) << tokens[1];
    // A whole run of texture-matrix instructions is taken.
    std::vector<DWORD> matrixRun = Tokens("ps_1_1\ntex t0\ntexm3x2pad t1, t0\ntexm3x2tex t2, t0\nmov r0, t2\n");
    ASSERT_EQ(mDevice->CreatePixelShader(matrixRun.data(), &pixel), D3D_OK);
    pixel->Release();
}

// Mutated token streams, each exactly its own length: creation refuses or takes them, and never reads past
// them (the sanitizers watch the reads).
TEST_F(ShaderTest, MutatedTokenStreamsAreRefusedOrTakenWithoutReadingPastThem)
{
    OpenDevice();
    const std::vector<std::vector<DWORD>> vertexSeeds = {
        Tokens("vs_2_0\ndcl_position0 v0\ndcl_normal0 v3\ndef c10, 1, 0.5, 0, 2\nm4x4 oPos, v0, c[0]\n"
               "dp3 r0.x, v3, c[4]\nmov oD0, r0.x\n"),
        Tokens("vs_1_1\ndcl_position0 v0\ndcl_blendindices0 v2\nmov a0.x, v2.x\nm4x3 r3.xyz, v0, c[a0.x + 10]\n"
               "mov r3.w, v0.w\nm4x4 oPos, r3, c[0]\n"),
    };
    const std::vector<std::vector<DWORD>> pixelSeeds = {
        Tokens("ps_1_1\ndef c1, 1, 0.5, 0, 1\ntex t0\ntexm3x2pad t1, t0\ntexm3x2tex t2, t0\nmul r0, t2, c1\n"),
        Tokens(kMatFxPixelShaderText[3]),
    };
    const DWORD special[] = {0x0000FFFF, 0x0000FFFE, 0x0001FFFE, 0x7FFFFFFE, 0x0005FFFE, 0x00000051,
                             0x05000051, 0x0F000001, 0x80000000, 0xFFFFFFFF, 0x40000001, 0x00000048};
    std::mt19937 random(36);
    int taken = 0;
    for (int round = 0; round < 3000; ++round)
    {
        bool pixel = round % 2 != 0;
        std::vector<DWORD> tokens = (pixel ? pixelSeeds : vertexSeeds)[size_t(round / 2) % 2];
        for (int edits = 1 + int(random() % 3); edits > 0; --edits)
        {
            size_t at = 1 + random() % (tokens.size() - 1);
            switch (random() % 4)
            {
            case 0:
                tokens[at] = special[random() % std::size(special)];
                break;
            case 1:
                tokens[at] ^= 1u << (random() % 32);
                break;
            case 2:
                tokens.resize(at + 1); // cut short
                break;
            default:
                tokens[at] = DWORD(random());
                break;
            }
        }
        // A caller's stream always ends with its end token: nothing can bound one that does not.
        if (tokens.back() != 0x0000FFFF)
            tokens.push_back(0x0000FFFF);
        std::vector<DWORD> exact(tokens); // no slack after the stream
        if (pixel)
        {
            IDirect3DPixelShader9* shader = nullptr;
            if (mDevice->CreatePixelShader(exact.data(), &shader) == D3D_OK)
            {
                ++taken;
                shader->Release();
            }
        }
        else
        {
            IDirect3DVertexShader9* shader = nullptr;
            if (mDevice->CreateVertexShader(exact.data(), &shader) == D3D_OK)
            {
                ++taken;
                shader->Release();
            }
        }
    }
    EXPECT_GT(taken, 0) << "some mutations leave a stream the device takes";
}

// A skinned, lit quad through a vertex shader: the blend index picks bone rows by relative addressing, the
// light and material come from constants, and a second quad passes its texture coordinates to stage 0.
class VertexShaderDraw : public DrawTest
{
};

// Inputs of the packed and normalised types reach v-registers as the platform widens them (a packed
// three-component input has w 1), and an output other than oT0 reaches the pixel stage.
struct PackedVertex
{
    float x, y;
    DWORD dec3n;  ///< x 511, y 0, z -511: (1, 0, -1), w 1
    DWORD udec3;  ///< x 0, y 1, z 2: (0, 1, 2), w 1
    int16_t short2n[2];
    uint16_t ushort2n[2];
    uint8_t ubyte4n[4];
};

TEST_F(VertexShaderDraw, PackedAndNormalisedInputsReachTheShaderAsThePlatformWidensThem)
{
    ASSERT_NE(mDevice, nullptr);
    const D3DVERTEXELEMENT9 elements[] = {
        {0, 0, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_POSITION, 0},
        {0, 8, D3DDECLTYPE_DEC3N, 0, D3DDECLUSAGE_TEXCOORD, 0},
        {0, 12, D3DDECLTYPE_UDEC3, 0, D3DDECLUSAGE_TEXCOORD, 1},
        {0, 16, D3DDECLTYPE_SHORT2N, 0, D3DDECLUSAGE_TEXCOORD, 2},
        {0, 20, D3DDECLTYPE_USHORT2N, 0, D3DDECLUSAGE_TEXCOORD, 3},
        {0, 24, D3DDECLTYPE_UBYTE4N, 0, D3DDECLUSAGE_COLOR, 0},
        {0xFF, 0, D3DDECLTYPE_UNUSED, 0, 0, 0},
    };
    IDirect3DVertexDeclaration9* declaration = nullptr;
    ASSERT_EQ(mDevice->CreateVertexDeclaration(elements, &declaration), D3D_OK);
    Hold(declaration);
    // Left half: the colour is (DEC3N w, UDEC3 w x 0.5, SHORT2N x); alpha the UBYTE4N w.
    std::vector<DWORD> widths = Tokens("vs_1_1\ndcl_position0 v0\ndcl_texcoord0 v1\ndcl_texcoord1 v2\n"
                                       "dcl_texcoord2 v3\ndcl_color0 v5\nmov oPos, v0\nmov oD0.x, v1.w\n"
                                       "mul oD0.y, v2.w, c0.x\nmov oD0.z, v3.x\nmov oD0.w, v5.w\n");
    // Right half: USHORT2N and UBYTE4N through oT1 and oT3 to the pixel shader.
    std::vector<DWORD> outputs = Tokens("vs_1_1\ndcl_position0 v0\ndcl_texcoord3 v4\ndcl_color0 v5\n"
                                        "mov oPos, v0\nmov oT1, v4\nmov oT3, v5\n");
    std::vector<DWORD> pixel = Tokens("ps_1_1\ntexcoord t1\ntexcoord t3\nmov r0.rg, t1\n+mov r0.a, t3.b\n"
                                      "add r0.b, t3, c0\n");
    IDirect3DVertexShader9* widthShader = nullptr;
    IDirect3DVertexShader9* outputShader = nullptr;
    IDirect3DPixelShader9* pixelShader = nullptr;
    ASSERT_EQ(mDevice->CreateVertexShader(widths.data(), &widthShader), D3D_OK);
    ASSERT_EQ(mDevice->CreateVertexShader(outputs.data(), &outputShader), D3D_OK);
    ASSERT_EQ(mDevice->CreatePixelShader(pixel.data(), &pixelShader), D3D_OK);
    Hold(widthShader);
    Hold(outputShader);
    Hold(pixelShader);

    auto quad = [](float x0, float x1) {
        const DWORD dec3n = 511u | (0u << 10) | ((1024u - 511u) << 20);
        const DWORD udec3 = 0u | (1u << 10) | (2u << 20);
        std::array<PackedVertex, 4> q{};
        const float corners[4][2] = {{x0, 1}, {x1, 1}, {x0, -1}, {x1, -1}};
        for (int i = 0; i < 4; ++i)
            q[size_t(i)] = {corners[i][0], corners[i][1], dec3n, udec3, {16383, 0}, {65535, 13107}, {0, 0, 51, 255}};
        return q;
    };
    const float half[4] = {0.5f, 0, 0, 0};
    const float blue[4] = {0, 0, 0.4f, 0};
    mDevice->SetVertexShaderConstantF(0, half, 1);
    mDevice->SetPixelShaderConstantF(0, blue, 1);
    mDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF402010, 1.0f, 0);
    mDevice->BeginScene();
    mDevice->SetVertexDeclaration(declaration);
    mDevice->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    mDevice->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    // Blending shows the alpha each half computed over the clear colour.
    mDevice->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    mDevice->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    mDevice->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    mDevice->SetVertexShader(widthShader);
    auto left = quad(-1, 0);
    ASSERT_EQ(mDevice->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, left.data(), sizeof(PackedVertex)), D3D_OK);
    mDevice->SetVertexShader(outputShader);
    mDevice->SetPixelShader(pixelShader);
    auto right = quad(0, 1);
    ASSERT_EQ(mDevice->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, right.data(), sizeof(PackedVertex)), D3D_OK);
    mDevice->EndScene();
    mDevice->SetVertexShader(nullptr);
    mDevice->SetPixelShader(nullptr);
    mDevice->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);

    const Rgba clear = FromArgb(0xFF402010);
    auto over = [&](Rgba c, float a) {
        return ToArgb({c.r * a + clear.r * (1 - a), c.g * a + clear.g * (1 - a), c.b * a + clear.b * (1 - a), 1});
    };
    // Left: (1, 1 x 0.5, 16383 / 32767) at alpha 1. Right: (1, 0.2, 0.2 + 0.4) at alpha 0.2 (UBYTE4N z 51).
    const uint32_t leftColour = over({1.0f, 0.5f, 16383.0f / 32767.0f, 1}, 1.0f);
    const uint32_t rightColour = over({1.0f, 0.2f, 0.6f, 1}, 0.2f);
    EXPECT_EQ(CheckBackBuffer("shader_packed_inputs",
                              Expected([&](int x, int) { return x < kSize / 2 ? leftColour : rightColour; })),
              "");
}

struct SkinVertex
{
    float x, y, z;
    BYTE bone[4];
    float nx, ny, nz;
    D3DCOLOR colour;
    float u, v;
};

TEST_F(VertexShaderDraw, SkinnedLitQuadAndTexturedQuadMatchTheirReference)
{
    ASSERT_NE(mDevice, nullptr);
    const D3DVERTEXELEMENT9 elements[] = {
        {0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
        {0, 12, D3DDECLTYPE_UBYTE4, 0, D3DDECLUSAGE_BLENDINDICES, 0},
        {0, 16, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_NORMAL, 0},
        {0, 28, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_COLOR, 0},
        {0, 32, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 0},
        {0xFF, 0, D3DDECLTYPE_UNUSED, 0, 0, 0},
    };
    IDirect3DVertexDeclaration9* declaration = nullptr;
    ASSERT_EQ(mDevice->CreateVertexDeclaration(elements, &declaration), D3D_OK);
    Hold(declaration);

    std::vector<DWORD> skin = Tokens("vs_2_0\ndcl_position0 v0\ndcl_blendindices0 v2\ndcl_normal0 v3\n"
                                     "dcl_color0 v4\nmova a0.x, v2.x\nm4x3 r3.xyz, v0, c[a0.x + 10]\n"
                                     "mov r3.w, v0.w\nm4x4 oPos.xyzw, r3, c[0]\ndp3 r6.x, c[5], v3\n"
                                     "max r6.x, c[5].w, r6.x\nmul r7, v4, c[6]\nmad oD0, r7, r6.x, c[4]\n");
    std::vector<DWORD> textured = Tokens("vs_1_1\ndcl_position0 v0\ndcl_texcoord0 v5\nm4x4 oPos, v0, c[0]\n"
                                         "mov oT0.xy, v5\n");
    IDirect3DVertexShader9* skinShader = nullptr;
    IDirect3DVertexShader9* texturedShader = nullptr;
    ASSERT_EQ(mDevice->CreateVertexShader(skin.data(), &skinShader), D3D_OK);
    ASSERT_EQ(mDevice->CreateVertexShader(textured.data(), &texturedShader), D3D_OK);
    Hold(skinShader);
    Hold(texturedShader);

    // c0-c3 identity (rows of the transposed matrix); c4 ambient; c5 light direction (w 0); c6 light colour;
    // bone 3 at c[13]-c[15] moves x by -1.
    float constants[16][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1},
                              {0.1f, 0.1f, 0.1f, 1}, {0, 0, -1, 0}, {0.8f, 0.8f, 0.8f, 0}};
    float bone[3][4] = {{1, 0, 0, -1}, {0, 1, 0, 0}, {0, 0, 1, 0}};
    ASSERT_EQ(mDevice->SetVertexShaderConstantF(0, &constants[0][0], 7), D3D_OK);
    ASSERT_EQ(mDevice->SetVertexShaderConstantF(13, &bone[0][0], 3), D3D_OK);

    // Left half: model x 0..1 moved to clip -1..0; the normal faces the light at half strength.
    const D3DCOLOR colour = D3DCOLOR_ARGB(255, 255, 128, 0);
    SkinVertex left[4] = {{0, 1, 0.5f, {3, 0, 0, 0}, 0, 0, -0.5f, colour, 0, 0},
                          {1, 1, 0.5f, {3, 0, 0, 0}, 0, 0, -0.5f, colour, 1, 0},
                          {0, -1, 0.5f, {3, 0, 0, 0}, 0, 0, -0.5f, colour, 0, 1},
                          {1, -1, 0.5f, {3, 0, 0, 0}, 0, 0, -0.5f, colour, 1, 1}};
    // Right half, untransformed clip-space positions with texture coordinates 0..1.
    SkinVertex right[4] = {{0, 1, 0.5f, {0, 0, 0, 0}, 0, 0, 0, 0, 0, 0},
                           {1, 1, 0.5f, {0, 0, 0, 0}, 0, 0, 0, 0, 1, 0},
                           {0, -1, 0.5f, {0, 0, 0, 0}, 0, 0, 0, 0, 0, 1},
                           {1, -1, 0.5f, {0, 0, 0, 0}, 0, 0, 0, 0, 1, 1}};
    IDirect3DTexture9* texture =
        MakeTexture(2, 2, D3DFMT_A8R8G8B8, {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF});
    ASSERT_NE(texture, nullptr);

    mDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    mDevice->BeginScene();
    mDevice->SetVertexDeclaration(declaration);
    mDevice->SetVertexShader(skinShader);
    mDevice->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    mDevice->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    ASSERT_EQ(mDevice->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, left, sizeof(SkinVertex)), D3D_OK);
    mDevice->SetVertexShader(texturedShader);
    mDevice->SetTexture(0, texture);
    mDevice->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    mDevice->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
    mDevice->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    ASSERT_EQ(mDevice->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, right, sizeof(SkinVertex)), D3D_OK);
    mDevice->EndScene();
    mDevice->SetVertexShader(nullptr);
    mDevice->SetTexture(0, nullptr);

    // ambient 0.1 + colour (1, 0.5, 0) x light 0.8 x max(0, dot((0,0,-1), (0,0,-0.5))) = 0.5
    const uint32_t lit = ToArgb({0.1f + 0.4f, 0.1f + 0.2f * 128.0f / 127.5f, 0.1f});
    const uint32_t texels[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
    EXPECT_EQ(CheckBackBuffer("shader_skinned_lit_and_textured", Expected([&](int x, int y) -> uint32_t {
                                  if (x < kSize / 2)
                                      return lit;
                                  int u = (x - kSize / 2) / (kSize / 4), v = y / (kSize / 2);
                                  return texels[v * 2 + u];
                              })),
              "");
}

// The six material-effect pixel shaders on a quad: each frame matches its formula.
class PixelShaderDraw : public DrawTest
{
};

TEST_F(PixelShaderDraw, MaterialEffectShadersMatchTheirFormulas)
{
    ASSERT_NE(mDevice, nullptr);
    const Rgba t0{0.8f, 0.4f, 0.2f, 0.25f}, t1{0.2f, 0.6f, 1.0f, 0.5f}, t2{0.5f, 0.5f, 0.25f, 0.75f};
    const Rgba v0{1.0f, 0.8f, 0.6f, 0.9f};
    const float c0 = 0.5f;
    auto argb = [](Rgba c) {
        auto byte = [](float f) { return DWORD(std::lround(f * 255.0f)); };
        return D3DCOLOR_ARGB(byte(c.a), byte(c.r), byte(c.g), byte(c.b));
    };
    // What the device sees after 8-bit storage.
    auto stored = [&](Rgba c) { return FromArgb(argb(c)); };
    const Rgba s0 = stored(t0), s1 = stored(t1), s2 = stored(t2), d = stored(v0);
    IDirect3DTexture9* textures[3] = {MakeTexture(1, 1, D3DFMT_A8R8G8B8, {argb(t0)}),
                                      MakeTexture(1, 1, D3DFMT_A8R8G8B8, {argb(t1)}),
                                      MakeTexture(1, 1, D3DFMT_A8R8G8B8, {argb(t2)})};
    for (DWORD stage = 0; stage < 3; ++stage)
        mDevice->SetTexture(stage, textures[stage]);
    const float constant[4] = {c0, c0, c0, c0};
    mDevice->SetPixelShaderConstantF(0, constant, 1);

    auto bumpChannel = [&](float a, float b) { return a * (1 - s0.a) + b * s1.a; };
    Rgba bump{bumpChannel(s0.r, s1.r) * d.r, bumpChannel(s0.g, s1.g) * d.g, bumpChannel(s0.b, s1.b) * d.b, 1};
    float a = s0.a * d.a + s1.a * d.a;
    // The alpha each shader leaves in r0: A and D the bump's, B t0.a * v0.a, C v0.a, E and F a.
    const float bumpAlpha = bumpChannel(s0.a, s1.a) * d.a;
    const float alphas[6] = {bumpAlpha, s0.a * d.a, d.a, bumpAlpha, a, a};
    // Drawn into a target with alpha, which the comparison includes.
    IDirect3DSurface9* target = nullptr;
    ASSERT_EQ(mDevice->CreateRenderTarget(kSize, kSize, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, &target,
                                          nullptr),
              D3D_OK);
    Hold(target);
    IDirect3DSurface9* backBuffer = BackBuffer();
    mDevice->SetRenderTarget(0, target);
    const Rgba expected[6] = {
        bump,
        {s0.r * d.r + s1.r * s1.a * c0, s0.g * d.g + s1.g * s1.a * c0, s0.b * d.b + s1.b * s1.a * c0, 1},
        {d.r + s0.r * s0.a * c0, d.g + s0.g * s0.a * c0, d.b + s0.b * s0.a * c0, 1},
        {bump.r + s2.r * s2.a * c0, bump.g + s2.g * s2.a * c0, bump.b + s2.b * s2.a * c0, 1},
        {bump.r + s2.r * s2.a * a * c0, bump.g + s2.g * s2.a * a * c0, bump.b + s2.b * s2.a * a * c0, 1},
        {bump.r + s2.r * a * c0, bump.g + s2.g * a * c0, bump.b + s2.b * a * c0, 1},
    };
    for (int i = 0; i < 6; ++i)
    {
        std::vector<DWORD> tokens = Tokens(kMatFxPixelShaderText[i]);
        IDirect3DPixelShader9* shader = nullptr;
        ASSERT_EQ(mDevice->CreatePixelShader(tokens.data(), &shader), D3D_OK) << i;
        Hold(shader);
        mDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
        mDevice->BeginScene();
        mDevice->SetPixelShader(shader);
        ASSERT_EQ(DrawScreenQuad(argb(v0)), D3D_OK) << i;
        mDevice->EndScene();
        const uint32_t alpha = uint32_t(std::lround(std::clamp(alphas[i], 0.0f, 1.0f) * 255.0f));
        const uint32_t reference = (ToArgb(expected[i]) & 0xFFFFFFu) | alpha << 24;
        ASSERT_NE(alpha, 0xFFu) << "an alpha forced opaque would pass";
        std::string name = std::string("pixel_shader_material_effect_") + char('a' + i);
        std::vector<DWORD> pixels = ReadBack32(target);
        std::vector<uint32_t> actual(pixels.begin(), pixels.end());
        EXPECT_EQ(framecheck::CheckFrame(name, kSize, kSize, actual, Expected([&](int, int) { return reference; }), 3,
                                         true),
                  "")
            << name;
    }
    mDevice->SetRenderTarget(0, backBuffer);
    mDevice->SetPixelShader(nullptr);
    for (DWORD stage = 0; stage < 3; ++stage)
        mDevice->SetTexture(stage, nullptr);
}

// Shader constants reach OpenGL once per change: vertex-shader registers as the range set, pixel-shader
// constants once per program after each change.
TEST_F(PixelShaderDraw, ConstantsReachOpenGLOnlyWhenAndWhereTheyChange)
{
    ASSERT_NE(mDevice, nullptr);
    std::vector<DWORD> vsTokens = Tokens("vs_1_1\ndcl_position0 v0\nmov oPos, v0\nmov oD0, c20\n");
    std::vector<DWORD> psTokens[2] = {Tokens("ps_1_1\nmov r0, c0\n"), Tokens("ps_1_1\nmov r0, c1\n")};
    IDirect3DVertexShader9* vs = nullptr;
    ASSERT_EQ(mDevice->CreateVertexShader(vsTokens.data(), &vs), D3D_OK);
    Hold(vs);
    IDirect3DPixelShader9* ps[2] = {};
    for (int i = 0; i < 2; ++i)
    {
        ASSERT_EQ(mDevice->CreatePixelShader(psTokens[i].data(), &ps[i]), D3D_OK);
        Hold(ps[i]);
    }
    struct Position
    {
        float x, y, z;
    };
    const Position quad[4] = {{-1, 1, 0.5f}, {1, 1, 0.5f}, {-1, -1, 0.5f}, {1, -1, 0.5f}};
    auto drawClipQuad = [&] {
        mDevice->SetFVF(D3DFVF_XYZ);
        return mDevice->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Position));
    };
    const float green[4] = {0.25f, 0.75f, 0.5f, 1}, blue[4] = {0.1f, 0.2f, 0.9f, 1}, grey[4] = {0.5f, 0.5f, 0.5f, 1};

    mDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    mDevice->SetVertexShader(vs);
    mDevice->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    mDevice->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    ASSERT_EQ(drawClipQuad(), D3D_OK);
    d3d9test::EnableCallLog(true);
    struct Step
    {
        std::vector<UINT> registers; ///< set before the draw
        const float* value;
        std::vector<std::string> sent;
    };
    const Step steps[] = {
        {{20}, green, {"20, 1"}},
        {{20}, green, {}},
        {{40}, blue, {"40, 1"}},
        {{20, 40}, grey, {"20, 21"}},
    };
    for (const Step& step : steps)
    {
        d3d9test::ClearCallLog();
        for (UINT reg : step.registers)
            mDevice->SetVertexShaderConstantF(reg, step.value, 1);
        ASSERT_EQ(drawClipQuad(), D3D_OK);
        EXPECT_EQ(d3d9test::CallArgs("glVsConstants"), step.sent) << step.registers.size();
    }
    d3d9test::EnableCallLog(false);
    mDevice->SetVertexShader(nullptr);
    EXPECT_EQ(CheckBackBuffer("shader_constants_vertex", Expected([](int, int) { return 0xFF808080u; })), "");

    mDevice->SetPixelShaderConstantF(0, green, 1);
    mDevice->SetPixelShaderConstantF(1, blue, 1);
    d3d9test::EnableCallLog(true);
    auto sentFor = [&](int shader, int draws) {
        d3d9test::ClearCallLog();
        mDevice->SetPixelShader(ps[shader]);
        for (int i = 0; i < draws; ++i)
            EXPECT_EQ(DrawScreenQuad(0xFFFFFFFF), D3D_OK);
        return d3d9test::CountCalls("glPsConstants");
    };
    EXPECT_EQ(sentFor(0, 3), 1u) << "three draws, one upload";
    EXPECT_EQ(sentFor(1, 1), 1u) << "the other program gets them once";
    EXPECT_EQ(sentFor(0, 1), 0u) << "back to the first, unchanged";
    mDevice->SetPixelShaderConstantF(1, blue, 1);
    EXPECT_EQ(sentFor(0, 1), 0u) << "a constant set to the value it held";
    mDevice->SetPixelShaderConstantF(0, grey, 1);
    EXPECT_EQ(sentFor(0, 1), 1u) << "a changed constant";
    d3d9test::EnableCallLog(false);
    mDevice->SetPixelShader(nullptr);
    EXPECT_EQ(CheckBackBuffer("shader_constants_pixel", Expected([](int, int) { return 0xFF808080u; })), "");
}

// The material effects ask the device whether their single-pass set-ups validate, and fall back when not.
TEST_F(ShaderTest, ValidateDeviceCountsOnePassForTheEffectSetUpsAndCanBeMadeToFail)
{
    OpenDevice();
    DWORD passes = 0;
    // The dual-texture set-up: stage 0 and 1 MODULATE2X of texture and current.
    for (DWORD stage = 0; stage < 2; ++stage)
    {
        mDevice->SetTextureStageState(stage, D3DTSS_COLOROP, D3DTOP_MODULATE2X);
        mDevice->SetTextureStageState(stage, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        mDevice->SetTextureStageState(stage, D3DTSS_COLORARG2, stage ? D3DTA_CURRENT : D3DTA_DIFFUSE);
        mDevice->SetTextureStageState(stage, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2);
    }
    EXPECT_EQ(mDevice->ValidateDevice(&passes), D3D_OK);
    EXPECT_EQ(passes, 1u);
    // The environment set-up: the reflection blended by the texture factor in the second stage.
    mDevice->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_BLENDFACTORALPHA);
    mDevice->SetTextureStageState(2, D3DTSS_COLOROP, D3DTOP_DISABLE);
    passes = 0;
    EXPECT_EQ(mDevice->ValidateDevice(&passes), D3D_OK);
    EXPECT_EQ(passes, 1u);

    mDevice->SetTextureStageState(1, D3DTSS_COLOROP, 99);
    EXPECT_EQ(mDevice->ValidateDevice(&passes), D3DERR_UNSUPPORTEDCOLOROPERATION);
    mDevice->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE2X);

    d3d9test::FailNext(d3d9test::Fault::ValidateDevice, D3DERR_TOOMANYOPERATIONS);
    EXPECT_EQ(mDevice->ValidateDevice(&passes), D3DERR_TOOMANYOPERATIONS);
    EXPECT_EQ(mDevice->ValidateDevice(&passes), D3D_OK) << "the fault is taken once";
}

// Outputs beyond position and colour: the specular colour adds, the fog factor blends towards the fog colour,
// the top constant register is reachable; and two weighted bones blend positions.
TEST_F(VertexShaderDraw, SpecularFogTopConstantAndWeightedBonesReachTheFrame)
{
    ASSERT_NE(mDevice, nullptr);
    struct BlendVertex
    {
        float x, y, z;
        float weight;
        BYTE bones[4];
    };
    const D3DVERTEXELEMENT9 elements[] = {
        {0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
        {0, 12, D3DDECLTYPE_FLOAT1, 0, D3DDECLUSAGE_BLENDWEIGHT, 0},
        {0, 16, D3DDECLTYPE_UBYTE4, 0, D3DDECLUSAGE_BLENDINDICES, 0},
        {0xFF, 0, D3DDECLTYPE_UNUSED, 0, 0, 0},
    };
    IDirect3DVertexDeclaration9* declaration = nullptr;
    ASSERT_EQ(mDevice->CreateVertexDeclaration(elements, &declaration), D3D_OK);
    Hold(declaration);
    // Bone i's rows at c[10 + 3i], its index written as 3i; the second weight is 1 - the first.
    std::vector<DWORD> tokens = Tokens(
        "vs_2_0\ndcl_position0 v0\ndcl_blendweight0 v1\ndcl_blendindices0 v2\nmova a0.xy, v2\n"
        "m4x3 r5.xyz, v0, c[a0.x + 10]\nmul r3.xyz, v1.x, r5.xyz\nadd r4.x, c[9].x, -v1.x\n"
        "m4x3 r5.xyz, v0, c[a0.y + 10]\nmad r3.xyz, r4.x, r5.xyz, r3.xyz\nmov r3.w, v0.w\n"
        "m4x4 oPos, r3, c[0]\nmov oD0, c[255]\nmov oD1, c[254]\nmov oFog, c[253].x\n");
    IDirect3DVertexShader9* shader = nullptr;
    ASSERT_EQ(mDevice->CreateVertexShader(tokens.data(), &shader), D3D_OK);
    Hold(shader);

    float identity[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    float one[4] = {1, 1, 1, 1};
    // Bone 0 leaves x alone; bone 1 moves x by -2. Half of each moves the quad by -1.
    float bones[6][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {1, 0, 0, -2}, {0, 1, 0, 0}, {0, 0, 1, 0}};
    float top[3][4] = {{0.5f, 0, 0, 0}, {0.0f, 0.25f, 0.0f, 0}, {0.2f, 0.4f, 0.6f, 1}};
    ASSERT_EQ(mDevice->SetVertexShaderConstantF(0, &identity[0][0], 4), D3D_OK);
    ASSERT_EQ(mDevice->SetVertexShaderConstantF(9, one, 1), D3D_OK);
    ASSERT_EQ(mDevice->SetVertexShaderConstantF(10, &bones[0][0], 6), D3D_OK);
    ASSERT_EQ(mDevice->SetVertexShaderConstantF(253, &top[0][0], 3), D3D_OK);
    EXPECT_EQ(mDevice->SetVertexShaderConstantF(254, &top[0][0], 3), D3DERR_INVALIDCALL) << "past the last register";

    // Model x 0..2 lands on clip -1..1 after the blend.
    BlendVertex quad[4] = {{0, 1, 0.5f, 0.5f, {0, 3, 0, 0}},
                           {2, 1, 0.5f, 0.5f, {0, 3, 0, 0}},
                           {0, -1, 0.5f, 0.5f, {0, 3, 0, 0}},
                           {2, -1, 0.5f, 0.5f, {0, 3, 0, 0}}};
    mDevice->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
    mDevice->SetRenderState(D3DRS_FOGENABLE, TRUE);
    mDevice->SetRenderState(D3DRS_FOGCOLOR, 0xFF0000FF);
    mDevice->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    mDevice->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    mDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    mDevice->BeginScene();
    mDevice->SetVertexDeclaration(declaration);
    mDevice->SetVertexShader(shader);
    ASSERT_EQ(mDevice->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(BlendVertex)), D3D_OK);
    mDevice->EndScene();
    mDevice->SetVertexShader(nullptr);
    mDevice->SetRenderState(D3DRS_FOGENABLE, FALSE);
    mDevice->SetRenderState(D3DRS_SPECULARENABLE, FALSE);

    // (diffuse c255 + specular c254) mixed with the blue fog colour by the fog factor 0.5.
    Rgba lit{0.2f + 0.0f, 0.4f + 0.25f, 0.6f + 0.0f};
    Rgba expected{lit.r * 0.5f, lit.g * 0.5f, lit.b * 0.5f + 0.5f};
    uint32_t reference = ToArgb(expected);
    EXPECT_EQ(CheckBackBuffer("shader_specular_fog_two_bones", Expected([&](int, int) { return reference; })), "");
}

} // namespace
