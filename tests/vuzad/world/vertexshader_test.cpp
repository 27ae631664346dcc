// Vertex-shader text generation: exact texts, register allocation, refusals, and every
// generated text accepted by the assembler.
#include "d3dx9.h"
#include "vertexshader.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

D3DCAPS9 Caps(DWORD version, DWORD constants = 256, bool wFog = false, INT flowControl = 0)
{
    D3DCAPS9 caps{};
    caps.VertexShaderVersion = 0xFFFE0000 | version;
    caps.MaxVertexShaderConst = constants;
    caps.RasterCaps = wFog ? D3DPRASTERCAPS_WFOG : 0;
    caps.VS20Caps.DynamicFlowControlDepth = flowControl;
    caps.DeclTypes = 0xFF;
    return caps;
}

void UseCaps(DWORD version, DWORD constants = 256, bool wFog = false)
{
    D3DCAPS9 caps = Caps(version, constants, wFog);
    VertexShaderCache::ReadCaps(&caps);
}

struct Generated
{
    int32_t result;
    std::string text;
    VertexShaderRegisters registers;
};

Generated Generate(VertexShaderDescriptor d)
{
    Generated g{};
    g.result = VertexShader::GenerateText(&d, &g.registers, &g.text);
    return g;
}

TEST(VertexShaderText, OneDirectionalLightWithATextureSetAndDescriptorZero)
{
    UseCaps(0x0200);
    Generated g = Generate({0x01, 0x10, 0x20, 0x00});
    ASSERT_EQ(g.result, 1);
    EXPECT_EQ(g.text, "vs_2_0\n"
                      "dcl_position0 v0\n"
                      "dcl_normal0 v3\n"
                      "dcl_texcoord0 v5\n"
                      "m4x4 oPos.xyzw, v0, c[0]\n"
                      "mov r11, c[4]\n"
                      "dp3 r6.x, c[5], v3\n"
                      "max r6.x, c[5].w, -r6.x\n"
                      "mad oD0, c[6], r6.x, r11\n"
                      "mov oT0.xy, v5\n");
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&g.registers);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(bytes[i], 0xFF) << i;

    g = Generate({0, 0, 0, 0});
    ASSERT_EQ(g.result, 1);
    EXPECT_EQ(g.text, "vs_2_0\ndcl_position0 v0\nm4x4 oPos.xyzw, v0, c[0]\nmov oD0, c[4]\n");
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(reinterpret_cast<const uint8_t*>(&g.registers)[i], 0xFF) << i;
}

struct TextCase
{
    const char* what;
    VertexShaderDescriptor d;
    DWORD version;
    bool wFog;
    std::vector<std::string> lines;  ///< each must appear
    std::vector<std::string> absent; ///< none may appear
    VertexShaderRegisters registers;
    int32_t constants; ///< CountConstants
};

constexpr uint8_t N = kVsNoRegister;

TEST(VertexShaderText, KeyLinesAndRegisterAllocation)
{
    const TextCase cases[] = {
        {"two directional lights",
         {0x02, 0x00, kVsNormals, 0},
         0x0200,
         false,
         {"dp3 r6.y, c[7], v3\n", "max r6.xy, c[5].w, -r6.xy\n", "mad r11.xyz, c[6].xyz, r6.xxx, r11.xyz\n",
          "mad oD0, c[8], r6.y, r11\n"},
         {},
         {N, N, N, N, N},
         9},
        {"five point lights after one directional: groups 9 registers apart",
         {0x51, 0x00, kVsNormals, 0},
         0x0200,
         false,
         {"max r8.xyzw, c[7].xyzw, r1.xyzw\n", "add r7.xyz, -c[8].xyz, v0.xyz\n", "mad r11.xyz, c[15].xyz, r6.www, r11.xyz\n",
          "max r8.x, c[16].x, r1.x\n", "add r7.xyz, -c[17].xyz, v0.xyz\n", "mad oD0, c[18], r6.x, r11\n"},
         {},
         {N, N, N, N, N},
         19},
        {"a spot light with material colour",
         {0x00, 0x01, kVsNormals | kVsMaterialColour, 0},
         0x0200,
         false,
         {"add r7.xyz, -c[6].xyz, v0.xyz\n", "dp3 r7.w, r7, c[7]\n", "mad r9.x, r7.w, c[8].x, c[8].y\n",
          "mad r11.xyz, c[9].xyz, r6.xxx, r11.xyz\n", "mul oD0, r11, c[10]\n"},
         {"mad oD0"},
         {10, N, N, N, N},
         11},
        {"bones and kind 10 with 256 constants put the effect at the top",
         {0x00, 0x00, kVsNormals | 0x02, 10 << 2},
         0x0200,
         false,
         {"mova a0.x, v2.x\n", "m4x3 r3.xyz, v0, c[a0.x + 5]\n", "m3x3 r5.xyz, v3, c[a0.x + 5]\n",
          "add r7.xyz, c[252].xyz, -r3.xyz\n", "dp3 oT0.z, r7, c[255]\n"},
         {"dcl_blendweight0"},
         {N, N, 252, N, 5},
         9},
        {"fog with W fog takes no register but counts one",
         {0x00, 0x00, 0, 1},
         0x0200,
         true,
         {"dp4 oFog, v0, c[3]\n"},
         {"r0.w"},
         {N, N, N, N, N},
         6},
        {"linear fog, morph and material colour in order",
         {0x00, 0x00, kVsMorph | kVsMaterialColour, 1},
         0x0200,
         false,
         {"dcl_position1 v14\n", "mul r3, v0, c[7].x\n", "mad r3, v14, c[7].y, r3\n", "dp4 r0.w, r3, c[3]\n",
          "mad oFog, r0.w, c[6].x, c[6].y\n", "mul oD0, r11, c[5]\n"},
         {},
         {5, 6, N, 7, N},
         8},
        {"exponential squared fog",
         {0x00, 0x00, 0, 3},
         0x0200,
         false,
         {"mul r0.w, r0.w, c[5].x\nmul r0.w, r0.w, r0.w\nexpp r0.w, r0.w\nrcp oFog, r0.w\n"},
         {},
         {N, 5, N, N, N},
         6},
        {"three bones on model 10 address each bone",
         {0x01, 0x00, kVsNormals | (3 << 1), 0},
         0x0101,
         false,
         {"vs_1_1\n", "dcl_blendweight0 v1\n", "mov a0.x, v2.z\n", "mad r10, v1.z, c[a0.x + 9], r10\n",
          "m4x3 r3.xyz, v0, r8\n"},
         {"mova"},
         {N, N, N, N, 7},
         7},
        {"three bones on model 20 take one mova",
         {0x01, 0x00, kVsNormals | (3 << 1), 0},
         0x0200,
         false,
         {"mova a0.xyz, v2\n", "mad r10, v1.z, c[a0.z + 9], r10\n"},
         {"mov a0"},
         {N, N, N, N, 7},
         7},
        {"two bones without normals sum the positions",
         {0x00, 0x00, (2 << 1), 0},
         0x0300,
         false,
         {"vs_2_x\n", "mova a0.xy, v2\n", "m4x3 r5.xyz, v0, c[a0.y + 5]\n", "mad r3.xyz, v1.y, r5.xyz, r3.xyz\n"},
         {},
         {N, N, N, N, 5},
         5},
        {"kind 9 tangent frame with a point light, prelit",
         {0x10, 0x20, kVsNormals | kVsPrelit, 9 << 2},
         0x0200,
         false,
         {"dcl_tangent0 v13\n", "mov r4, v13\n", "add r7.xyz, -c[1 + 5].xyz, v0.xyz\n", "mad oD1.xyz, r1, c[5].z, c[5].z\n",
          "dp3 oT3.z, c[9], v3\n", "mov oT0.xy, v6\n", "mov oT1.xy, v5\n"},
         {"r11"},
         {N, N, 8, N, N},
         10},
        {"kind 4 reads set 1 only",
         {0x00, 0x20, 0, 4 << 2},
         0x0200,
         false,
         {"dcl_texcoord1 v6\n", "mov oT0.xy, v6\n"},
         {"dcl_texcoord0"},
         {N, N, N, N, N},
         5},
    };
    for (const TextCase& c : cases)
    {
        UseCaps(c.version, 256, c.wFog);
        Generated g = Generate(c.d);
        ASSERT_EQ(g.result, 1) << c.what;
        for (const std::string& line : c.lines)
            EXPECT_NE(g.text.find(line), std::string::npos) << c.what << ": " << line << "\n" << g.text;
        for (const std::string& line : c.absent)
            EXPECT_EQ(g.text.find(line), std::string::npos) << c.what << ": " << line;
        EXPECT_EQ(g.registers.materialColour, c.registers.materialColour) << c.what;
        EXPECT_EQ(g.registers.fog, c.registers.fog) << c.what;
        EXPECT_EQ(g.registers.effect, c.registers.effect) << c.what;
        EXPECT_EQ(g.registers.morph, c.registers.morph) << c.what;
        EXPECT_EQ(g.registers.bones, c.registers.bones) << c.what;
        EXPECT_EQ(VertexShader::CountConstants(&c.d), c.constants) << c.what;
    }
}

TEST(VertexShaderText, DescriptorsThatCannotBeLaidOutAreRefused)
{
    struct Case
    {
        const char* what;
        VertexShaderDescriptor d;
        DWORD constants;
    };
    const Case cases[] = {
        {"five bones per vertex", {0, 0, kVsNormals | (5 << 1), 0}, 256},
        {"seven bones per vertex", {0, 0, (7 << 1), 0}, 256},
        {"a reflection without normals", {0, 0, 0, 10 << 2}, 256},
        {"effect constants over the bone matrices", {0, 0, kVsNormals | 0x02, 11 << 2}, 12},
        {"lights past the constant file", {0, 0x0F, kVsNormals, 0}, 64},
        {"no room for one bone matrix", {0, 0, 0x02, 0}, 7},
        {"nine texture sets", {0, 0x90, 0, 0}, 256},
        {"fifteen texture sets", {0, 0xF0, 0, 0}, 256},
        {"effect kind 4 with one set", {0, 0x10, 0, 4 << 2}, 256},
        {"effect kind 7 without sets", {0, 0x00, 0, 7 << 2}, 256},
        {"effect kind 6 without sets", {0, 0x00, 0, 6 << 2}, 256},
    };
    for (const Case& c : cases)
    {
        UseCaps(0x0200, c.constants);
        Generated g = Generate(c.d);
        EXPECT_EQ(g.result, 0) << c.what;
        EXPECT_TRUE(g.text.empty()) << c.what;
    }

    // Without vertex shaders nothing is written.
    UseCaps(0x0000);
    Generated g = Generate({0x01, 0x10, 0x20, 0});
    EXPECT_EQ(g.result, 0);
    EXPECT_TRUE(g.text.empty());
}

TEST(VertexShaderText, ShaderModelFromTheCapsAndDeclarationTypesNarrowedOn11)
{
    struct Case
    {
        DWORD version;
        INT flowControl;
        int32_t model;
        DWORD declTypes;
    };
    const Case cases[] = {{0x0300, 0, kVsModel2x, 0xFF}, {0x0200, 1, kVsModel2x, 0xFF}, {0x0200, 0, kVsModel20, 0xFF},
                          {0x0101, 0, kVsModel11, 0xC1}, {0x0000, 0, kVsModelNone, 0xFF}};
    for (const Case& c : cases)
    {
        D3DCAPS9 caps = Caps(c.version, 8192, false, c.flowControl);
        VertexShaderCache::ReadCaps(&caps);
        EXPECT_EQ(VertexShaderCache::GetShaderModel(), c.model) << std::hex << c.version;
        EXPECT_EQ(caps.DeclTypes, c.declTypes) << std::hex << c.version;
        EXPECT_EQ(VertexShaderCache::GetConstantCount(), 256);
    }
}

// Texts of every shape the generator writes must assemble; the longest ones far outgrow
// a fixed 4 KB buffer.
TEST(VertexShaderText, GeneratedTextsAssemble)
{
    std::vector<std::pair<DWORD, VertexShaderDescriptor>> cases;
    for (DWORD version : {0x0101u, 0x0200u, 0x0300u})
    {
        for (uint8_t bones = 0; bones <= 4; ++bones)
            for (uint8_t kind = 0; kind <= 11; ++kind)
                for (uint8_t fog = 0; fog <= 3; ++fog)
                {
                    uint8_t flags = uint8_t(bones << 1 | kVsNormals | (kind % 2 ? kVsNormalise : 0) |
                                            (fog % 2 ? kVsPrelit : 0) | (kind % 3 == 0 ? kVsMaterialColour : 0) |
                                            (bones % 2 ? kVsMorph : 0));
                    cases.push_back({version, {uint8_t(kind % 3 ? 0x11 : 0x00), uint8_t(0x21), flags,
                                               uint8_t(kind << 2 | fog)}});
                }
        cases.push_back({version, {0xFF, 0x2F, kVsNormals | kVsMaterialColour | kVsNormalise, 1}});
    }
    size_t longest = 0;
    for (const auto& [version, d] : cases)
    {
        UseCaps(version);
        Generated g = Generate(d);
        ASSERT_EQ(g.result, 1) << std::hex << version << " " << d.Key();
        longest = std::max(longest, g.text.size());
        ID3DXBuffer* tokens = nullptr;
        ID3DXBuffer* errors = nullptr;
        HRESULT result = D3DXAssembleShader(g.text.c_str(), UINT(g.text.size()), nullptr, nullptr,
                                            D3DXSHADER_SKIPOPTIMIZATION, &tokens, &errors);
        EXPECT_EQ(result, D3D_OK) << std::hex << version << " " << d.Key() << "\n"
                                  << (errors ? static_cast<const char*>(errors->GetBufferPointer()) : "") << "\n"
                                  << g.text;
        if (tokens)
            tokens->Release();
        if (errors)
            errors->Release();
    }
    EXPECT_GT(longest, 4096u);
}

} // namespace

namespace
{

// Arbitrary descriptors on every model and constant budget: each is laid out within the
// constant file or refused, and every register the record names lies inside it.
TEST(VertexShaderText, ArbitraryDescriptorsStayInsideTheConstantFile)
{
    uint32_t seed = 12345;
    for (int i = 0; i < 20000; ++i)
    {
        seed = seed * 1664525u + 1013904223u;
        const DWORD versions[] = {0x0101, 0x0200, 0x0300};
        const DWORD constants[] = {96, 256, 24};
        D3DCAPS9 caps{};
        caps.VertexShaderVersion = 0xFFFE0000 | versions[i % 3];
        caps.MaxVertexShaderConst = constants[(i / 3) % 3];
        caps.RasterCaps = (i & 8) ? D3DPRASTERCAPS_WFOG : 0;
        VertexShaderCache::ReadCaps(&caps);
        VertexShaderDescriptor d{uint8_t(seed), uint8_t(seed >> 8), uint8_t(seed >> 16), uint8_t(seed >> 24)};
        VertexShaderRegisters r{};
        std::string text;
        if (!VertexShader::GenerateText(&d, &r, &text))
        {
            EXPECT_TRUE(text.empty());
            continue;
        }
        int32_t limit = int32_t(caps.MaxVertexShaderConst);
        for (uint8_t reg : {r.materialColour, r.fog, r.effect, r.morph, r.bones})
        {
            if (reg != kVsNoRegister)
            {
                EXPECT_LT(reg, limit) << std::hex << d.Key();
            }
        }
        EXPECT_LE(d.Bones(), 4);
        if (d.Bones() && r.effect != kVsNoRegister)
        {
            EXPECT_GE(r.effect, r.bones + 3) << std::hex << d.Key();
        }
        // A text that is written assembles: every input it reads is declared, every output exists. (One in
        // sixteen: the assembler under the sanitizers is slow enough.)
        if (i % 16 != 0)
            continue;
        ID3DXBuffer* tokens = nullptr;
        ID3DXBuffer* errors = nullptr;
        EXPECT_EQ(D3DXAssembleShader(text.c_str(), UINT(text.size()), nullptr, nullptr, 0, &tokens, &errors), D3D_OK)
            << std::hex << d.Key() << "\n" << (errors ? static_cast<const char*>(errors->GetBufferPointer()) : "");
        if (tokens)
            tokens->Release();
        if (errors)
            errors->Release();
    }
}

} // namespace
