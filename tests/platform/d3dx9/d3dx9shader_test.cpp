// Shaders on the Direct3D 9 layer: token streams checked when a shader is made, and assembled vertex and pixel
// shaders drawing frames that match CPU references.
#include "d3d9draw_support.h"
#include "d3d9shadertokens.h"
#include "d3dx9.h"

#include <gtest/gtest.h>

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
    };
    for (const auto& tokens : pixelBad)
        EXPECT_EQ(mDevice->CreatePixelShader(tokens.data(), &pixel), D3DERR_INVALIDCALL);
}

} // namespace
