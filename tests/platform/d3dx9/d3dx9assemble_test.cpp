// The shader assembler and disassembler: exact tokens for representative lines, every line form the engine's
// vertex-shader generator writes, the material-effect pixel shaders, round trips and refusals.
#include "d3d9shadertokens.h"
#include "d3dx9.h"
#include "matfxshaders.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace
{

struct Assembled
{
    HRESULT result = E_FAIL;
    std::vector<DWORD> tokens;
    std::string errors;
};

Assembled Assemble(const std::string& text)
{
    Assembled out;
    ID3DXBuffer* shader = nullptr;
    ID3DXBuffer* errors = nullptr;
    out.result = D3DXAssembleShader(text.c_str(), UINT(text.size()), nullptr, nullptr, D3DXSHADER_SKIPOPTIMIZATION,
                                    &shader, &errors);
    if (shader)
    {
        const DWORD* tokens = static_cast<const DWORD*>(shader->GetBufferPointer());
        out.tokens.assign(tokens, tokens + shader->GetBufferSize() / sizeof(DWORD));
        EXPECT_EQ(shader->Release(), 0u);
    }
    if (errors)
    {
        out.errors = static_cast<const char*>(errors->GetBufferPointer());
        EXPECT_EQ(errors->Release(), 0u);
    }
    return out;
}

std::string Disassemble(const std::vector<DWORD>& tokens, HRESULT* result = nullptr)
{
    ID3DXBuffer* text = nullptr;
    HRESULT hr = D3DXDisassembleShader(tokens.data(), FALSE, nullptr, &text);
    if (result)
        *result = hr;
    std::string out;
    if (text)
    {
        out = static_cast<const char*>(text->GetBufferPointer());
        text->Release();
    }
    return out;
}

/// Assembles, disassembles and assembles again: the tokens must not change.
void ExpectRoundTrip(const Assembled& first, const std::string& context)
{
    HRESULT result = E_FAIL;
    std::string text = Disassemble(first.tokens, &result);
    ASSERT_EQ(result, D3D_OK) << context;
    Assembled second = Assemble(text);
    ASSERT_EQ(second.result, D3D_OK) << context << "\n" << text << second.errors;
    EXPECT_EQ(second.tokens, first.tokens) << context << "\n" << text;
}

TEST(ShaderAssembler, RepresentativeLinesGiveTheirExactTokens)
{
    struct Case
    {
        const char* text;
        std::vector<DWORD> tokens;
    };
    const Case cases[] = {
        {"vs_2_0\ndcl_position0 v0\nm4x4 oPos.xyzw, v0, c[0]\n",
         {0xFFFE0200, 0x0200001F, 0x80000000, 0x900F0000, 0x03000014, 0xC00F0000, 0x90E40000, 0xA0E40000, 0xFFFF}},
        // Relative addressing from 2.0 carries the address component in a token of its own.
        {"vs_2_0\ndcl_normal0 v1\nmul r8, v1.x, c[a0.y + 12]\n",
         {0xFFFE0200, 0x0200001F, 0x80000003, 0x900F0001, 0x04000005, 0x800F0008, 0x90000001, 0xA0E4200C, 0xB0550000, 0xFFFF}},
        // Version 1.1 has no length field and implies a0.x.
        {"vs_1_1\nm4x3 r3.xyz, r2, c[a0.x + 7]\n", {0xFFFE0101, 0x00000015, 0x80070003, 0x80E40002, 0xA0E42007, 0xFFFF}},
        {"vs_1_1\ndcl_blendindices0 v2\nmov a0.x, v2.y\n",
         {0xFFFE0101, 0x0000001F, 0x80000002, 0x900F0002, 0x00000001, 0xB0010000, 0x90550002, 0xFFFF}},
        {"vs_2_x\ndcl_blendindices0 v2\nmova a0.xy, v2\n",
         {0xFFFE0201, 0x0200001F, 0x80000002, 0x900F0002, 0x0200002E, 0xB0030000, 0x90E40002, 0xFFFF}},
        {"vs_2_0\ndcl_texcoord1 v6\n", {0xFFFE0200, 0x0200001F, 0x80010005, 0x900F0006, 0xFFFF}},
        // Literal sums, negation, a three-letter swizzle repeating its last letter.
        {"vs_2_0\nadd r7.xyz, -c[1 + 5].xyz, r3.xyz\n",
         {0xFFFE0200, 0x03000002, 0x80070007, 0xA1A40006, 0x80A40003, 0xFFFF}},
        {"vs_2_0\ndcl_texcoord0 v5\ndp4 oFog, r3, c[3]\nmov oD1.xyz, r0\nmov oT7.xy, v5\n",
         {0xFFFE0200, 0x0200001F, 0x80000005, 0x900F0005, 0x03000009, 0xC00F0001, 0x80E40003, 0xA0E40003, 0x02000001, 0xD0070001, 0x80E40000,
          0x02000001, 0xE0030007, 0x90E40005, 0xFFFF}},
        {"ps_1_1\ntex t0\nmul_x2 r0.rgb, t0, v0\n+mov r0.a, 1-v0.a\n",
         {0xFFFF0101, 0x00000042, 0xB00F0000, 0x00000005, 0x81070000, 0xB0E40000, 0x90E40000, 0x40000001,
          0x80080000, 0x96FF0000, 0xFFFF}},
        {"ps_1_1\ndef c1, 1, 0.5, 0, -2\nmad_sat r0, t1_bx2, c1_bias, -r1\n",
         {0xFFFF0101, 0x00000051, 0xA00F0001, 0x3F800000, 0x3F000000, 0x00000000, 0xC0000000, 0x00000004,
          0x801F0000, 0xB4E40001, 0xA2E40001, 0x81E40001, 0xFFFF}},
    };
    for (const Case& c : cases)
    {
        Assembled assembled = Assemble(c.text);
        ASSERT_EQ(assembled.result, D3D_OK) << c.text << assembled.errors;
        EXPECT_EQ(assembled.tokens, c.tokens) << c.text;
        ExpectRoundTrip(assembled, c.text);
    }
}

// The lines of the engine's vertex-shader generator, with sample register numbers. Lines that only one family of
// versions writes are marked: 1 for vs_1_1, 2 for vs_2_0 and vs_2_x.
struct GeneratorLine
{
    int versions; // 0 all
    const char* text;
};

const GeneratorLine kGeneratorLines[] = {
    {0, "dcl_position0 v0"}, {0, "dcl_blendweight0 v1"}, {0, "dcl_blendindices0 v2"}, {0, "dcl_color0 v4"},
    {0, "dcl_normal0 v3"}, {0, "dcl_tangent0 v13"}, {0, "dcl_texcoord0 v5"}, {0, "dcl_texcoord1 v6"},
    {0, "dcl_texcoord3 v8"}, {0, "dcl_position1 v14"}, {0, "dcl_normal1 v15"},
    {0, "m4x4 oPos.xyzw, v0, c[0]"}, {0, "mul r3, v0, c[21].x"}, {0, "mad r3, v14, c[21].y, r3"},
    {0, "mul r5, v3, c[21].x"}, {0, "mad r5, v15, c[21].y, r5"}, {0, "mul r2, v0, c[21].x"},
    {0, "mad r2, v14, c[21].y, r2"}, {0, "mul r4, v3, c[21].x"}, {0, "mad r4, v15, c[21].y, r4"},
    {1, "mov a0.x, v2.x"}, {1, "mov a0.x, v2.w"}, {2, "mova a0.x, v2.x"}, {2, "mova a0.xyzw, v2"},
    {2, "mova a0.xy, v2"}, {0, "m4x3 r3.xyz, v0, c[a0.x + 22]"}, {0, "m3x3 r5.xyz, v3, c[a0.x + 22]"},
    {0, "mul r8, v1.x, c[a0.x + 22]"}, {0, "mul r9, v1.x, c[a0.x + 23]"}, {0, "mul r10, v1.x, c[a0.x + 24]"},
    {0, "mad r8, v1.y, c[a0.x + 22], r8"}, {2, "mad r9, v1.z, c[a0.z + 23], r9"},
    {2, "mad r10, v1.w, c[a0.w + 24], r10"}, {0, "m4x3 r3.xyz, r2, r8"}, {0, "m3x3 r5.xyz, r4, r8"},
    {0, "m4x3 r5.xyz, v0, c[a0.x + 22]"}, {2, "m4x3 r5.xyz, r3, c[a0.y + 22]"}, {0, "mul r3.xyz, v1.x, r5.xyz"},
    {0, "mad r3.xyz, v1.y, r5.xyz, r3.xyz"}, {0, "mov r3.w, v0.w"}, {0, "m4x4 oPos.xyzw, r3, c[0]"},
    {0, "dp4 oFog, r3, c[3]"}, {0, "dp4 r0.w, v0, c[3]"}, {0, "mad oFog, r0.w, c[20].x, c[20].y"},
    {0, "mul r0.w, r0.w, c[20].x"}, {0, "expp r0.w, r0.w"}, {0, "rcp oFog, r0.w"}, {0, "mul r0.w, r0.w, r0.w"},
    {0, "dp3 r5.w, r5, r5"}, {0, "rsq r5.w, r5.w"}, {0, "mul r5.xyz, r5, r5.w"}, {0, "add oD0, v4, c[4]"},
    {0, "mov oD0, c[4]"}, {0, "add r11, v4, c[4]"}, {0, "mov r11, c[4]"}, {0, "mul oD0, r11, c[19]"},
    {0, "mad oD0, c[8], r6.y, r11"}, {0, "mad r11.xyz, c[6].xyz, r6.xxx, r11.xyz"},
    {0, "dp3 r6.x, c[5], v3"}, {0, "dp3 r6.w, c[11], r5"}, {0, "max r6.xyzw, c[5].w, -r6.xyzw"},
    {0, "max r6.xy, c[5].w, -r6.xy"}, {0, "add r7.xyz, -c[10].xyz, v0.xyz"}, {0, "dp3 r1.x, r7, r7"},
    {0, "rsq r1.y, r1.y"}, {0, "dp3 r6.z, v3, r7"}, {0, "max r8.xyz, c[9].xyz, r1.xyz"},
    {0, "max r6.xyz, c[10].wwww, -r6.xyz"}, {0, "add r8.xyz, -c[9].xyz, r8.xyz"},
    {0, "mul r6.xyz, r6.xyz, r8.xyz"}, {0, "mad r11.xyz, c[12].xyz, r6.zzz, r11.xyz"},
    {0, "mul r7.xyz, r7.xyz, r1.x"}, {0, "dp3 r7.w, r7, c[14]"}, {0, "mad r9.x, r7.w, c[15].x, c[15].y"},
    {0, "max r9.xy, c[14].wwww, r9.xy"}, {0, "mul r6.xy, r6.xy, r9.xy"}, {0, "mov r4, v13"},
    {0, "m3x3 r4.xyz, v13, c[a0.x + 22]"}, {0, "m3x3 r4.xyz, v13, r8"}, {0, "dp3 r4.w, r4, r4"},
    {0, "rsq r4.w, r4.w"}, {0, "mul r4.xyz, r4, r4.w"}, {0, "slt r4.w, v13.w, v13.w"}, {0, "mov r5.w, v3.w"},
    {0, "mul r2, r4.zxyw, r5.yzxw"}, {0, "mad r2, r4.yzxw, v3.zxyw, -r2"}, {0, "dp3 r2.w, r2, r2"},
    {0, "mul r2.xyz, r2, r2.w"}, {0, "mov oD0, v4"}, {0, "dp3 r1.x, c[5], r4"}, {0, "dp3 r1.y, c[5], r2"},
    {0, "dp3 r1.z, c[5], v3"}, {0, "dp3 r1.w, r1, r1"}, {0, "rsq r1.w, r1.w"}, {0, "mul r1.xyz, r1, r1.w"},
    {0, "add r7.xyz, -c[1 + 5].xyz, v0.xyz"}, {0, "rcp r7.w, r7.w"}, {0, "mad r7.w, r7.w, c[5].x, c[5].y"},
    {0, "max r7.w, r7.w, c[5].w"}, {0, "mul r1.xyz, r1, r7.w"}, {0, "dp3 r9.w, r7, c[2 + 5]"},
    {0, "mad r9.w, r9.w, c[3 + 5].x, c[3 + 5].y"}, {0, "max r9.w, r9.w, c[5].w"}, {0, "mul r1.xyz, r1, r9.w"},
    {0, "mad oT2.xyz, r1, c[5].w, c[5].w"}, {0, "mad oT2.xyz, r1, c[5].z, c[5].z"},
    {0, "mad oD1.xyz, r1, c[5].w, c[5].w"}, {0, "mad oD0.xyz, r1, c[5].z, c[5].z"},
    {0, "dp3 oT2.x, c[30], r4"}, {0, "dp3 oT3.z, c[31], v3"}, {0, "mov oT0.xy, v7"}, {0, "mov oT1.xy, v5"},
    {0, "mov oT3.xy, v8"}, {0, "dp3 r9.x, v3, c[30]"}, {0, "add oT1.xy, r9.xy, v5.xy"},
    {0, "dp4 oT0.x, v3, c[30]"}, {0, "dp4 oT1.y, r5, c[31]"}, {0, "dp4 oT0.x, v5, c[30]"},
    {0, "dp4 oT0.y, v6, c[31]"}, {0, "add r7.xyz, c[30].xyz, -v0.xyz"}, {0, "add r7.w, r7.w, r7.w"},
    {0, "mad r7, r7.w, v3, -r7"}, {0, "dp3 oT0.z, r7, c[33]"}, {0, "dp3 oT2.y, r7, c[35]"},
    {2, "mad r8, v1.y, c[a0.y + 252], r8"},
};

/// A declaration of every input register, as the generator writes before its lines.
std::string AllInputsDeclared()
{
    std::string text;
    for (int v = 0; v < 16; ++v)
        text += "dcl_texcoord" + std::to_string(v) + " v" + std::to_string(v) + "\n";
    return text;
}

TEST(ShaderAssembler, EveryGeneratorLineAssemblesInEachVersionItUses)
{
    const char* versions[] = {"vs_1_1", "vs_2_0", "vs_2_x"};
    for (int v = 0; v < 3; ++v)
    {
        std::string whole = std::string(versions[v]) + "\n" + AllInputsDeclared();
        for (const GeneratorLine& line : kGeneratorLines)
        {
            bool used = line.versions == 0 || (line.versions == 1) == (v == 0);
            Assembled single = Assemble(std::string(versions[v]) + "\n" + AllInputsDeclared() + line.text + "\n");
            if (!used)
            {
                EXPECT_LT(single.result, 0) << versions[v] << ": " << line.text;
                continue;
            }
            ASSERT_EQ(single.result, D3D_OK) << versions[v] << ": " << line.text << "\n" << single.errors;
            whole += std::string(line.text) + "\n";
        }
        Assembled assembled = Assemble(whole);
        ASSERT_EQ(assembled.result, D3D_OK) << assembled.errors;
        ExpectRoundTrip(assembled, versions[v]);
    }
}

TEST(ShaderAssembler, GeneratorExampleShaderMatchesItsTokens)
{
    // One directional light, one texture set and normals, as the generator writes it.
    const char* text = "vs_2_0\ndcl_position0 v0\ndcl_normal0 v3\ndcl_texcoord0 v5\nm4x4 oPos.xyzw, v0, c[0]\n"
                       "mov r11, c[4]\ndp3 r6.x, c[5], v3\nmax r6.x, c[5].w, -r6.x\nmad oD0, c[6], r6.x, r11\n"
                       "mov oT0.xy, v5\n";
    Assembled assembled = Assemble(text);
    ASSERT_EQ(assembled.result, D3D_OK) << assembled.errors;
    const std::vector<DWORD> expected = {
        0xFFFE0200,
        0x0200001F, 0x80000000, 0x900F0000, // dcl_position0 v0
        0x0200001F, 0x80000003, 0x900F0003, // dcl_normal0 v3
        0x0200001F, 0x80000005, 0x900F0005, // dcl_texcoord0 v5
        0x03000014, 0xC00F0000, 0x90E40000, 0xA0E40000,
        0x02000001, 0x800F000B, 0xA0E40004,
        0x03000008, 0x80010006, 0xA0E40005, 0x90E40003,
        0x0300000B, 0x80010006, 0xA0FF0005, 0x81000006,
        0x04000004, 0xD00F0000, 0xA0E40006, 0x80000006, 0x80E4000B,
        0x02000001, 0xE0030000, 0x90E40005,
        0xFFFF,
    };
    EXPECT_EQ(assembled.tokens, expected);
}

TEST(ShaderAssembler, TextOfAnyLengthAssembles)
{
    // Many lights make texts far longer than a fixed 4096-byte buffer.
    std::string text = "vs_2_0\ndcl_position0 v0\n";
    for (int i = 0; i < 2000; ++i)
        text += "mad r11.xyz, c[" + std::to_string(5 + i % 200) + "].xyz, r6.xxx, r11.xyz\n";
    text += "m4x4 oPos, v0, c[0]\n";
    Assembled assembled = Assemble(text);
    ASSERT_EQ(assembled.result, D3D_OK) << assembled.errors;
    EXPECT_EQ(assembled.tokens.size(), 1 + 3 + 2000 * 5 + 4 + 1u);
}


TEST(ShaderAssembler, MaterialEffectPixelShadersAssembleAndRoundTrip)
{
    for (const char* text : kMatFxPixelShaderText)
    {
        Assembled assembled = Assemble(text);
        ASSERT_EQ(assembled.result, D3D_OK) << text << assembled.errors;
        EXPECT_EQ(assembled.tokens.front(), 0xFFFF0101u);
        ExpectRoundTrip(assembled, text);
    }
}

TEST(ShaderAssembler, BadTextFailsWithItsLineNamed)
{
    struct Case
    {
        const char* text;
        const char* message; // a piece of the error text
    };
    const Case cases[] = {
        {"", "version"},
        {"mov r0, v0\n", "version expected"},
        {"vs_3_0\n", "not supported"},
        {"ps_2_0\n", "not supported"},
        {"vs_2_0\nfoo r0, v0\n", "unknown instruction"},
        {"vs_2_0\nmov r12, v0\n", "out of range"},
        {"vs_2_0\nmov r0, c[256]\n", "out of range"},
        {"vs_2_0\nmov oT8, v0\n", "out of range"},
        {"vs_2_0\nmov v0, r0\n", "cannot be written"},
        {"vs_2_0\nmov r0, oD0\n", "cannot be read"},
        {"vs_2_0\nmov r0, v0.q\n", "swizzle"},
        {"vs_2_0\nmov r0.yx, v0\n", "write mask"},
        {"vs_2_0\nadd r0, v0\n", "operands"},
        {"vs_2_0\nmov r0, c[a0.x + a0.y]\n", "two address"},
        {"vs_2_0\nmov r0, r1[a0.x]\n", "unexpected"},
        {"vs_2_0\nmov r0, c[a0.x + 1\n", "']'"},
        {"vs_1_1\nmova a0.x, v2.x\n", "version 2.0"},
        {"vs_1_1\nmov r0, c[a0.y + 1]\n", "a0.x only"},
        {"vs_2_0\nmov a0.x, v2.x\n", "written by mova"},
        {"vs_2_0\ndcl_position0 r0\n", "input registers"},
        {"vs_2_0\ndcl_velocity0 v0\n", "unknown declaration"},
        {"vs_2_0\ntex t0\n", "not available"},
        {"ps_1_1\nm4x4 r0, t0, c0\n", "not available"},
        {"ps_1_1\nmov r0, -1-t0\n", "'1-'"},
        {"ps_1_1\nmov r2, t0\n", "out of range"},
        {"vs_2_0\n+mov r0, v0\n", "pixel shaders"},
        {"vs_2_0\ndef c0, 1, 2, three, 4\n", "bad number"},
        // Uses the device would refuse are refused here, naming the line.
        {"vs_2_0\nmov r0, v0\n", "v0 is read without a declaration"},
        {"vs_1_1\ndcl_position0 v0\nmul r0, v0, v3\n", "v3 is read without a declaration"},
        {"vs_2_0\ndcl_position0 v0\nm3x3 r0.xyz, r1, v0\n", "v1 is read without a declaration"},
        {"vs_2_0\ndef c1, 0, 0, 0, 0\ndef c1, 1, 1, 1, 1\n", "c1 is defined twice"},
        {"ps_1_1\ntex r0\n", "writes a texture register"},
    };
    for (const Case& c : cases)
    {
        Assembled assembled = Assemble(c.text);
        EXPECT_LT(assembled.result, 0) << c.text;
        EXPECT_TRUE(assembled.tokens.empty()) << c.text;
        EXPECT_NE(assembled.errors.find(c.message), std::string::npos) << c.text << " -> " << assembled.errors;
    }
    // The failing line is named.
    EXPECT_NE(Assemble("vs_2_0\n\nmov r0, c0\nbad\n").errors.find("(4)"), std::string::npos);
    EXPECT_NE(Assemble("vs_2_0\ndcl_position0 v0\nmov r0, v0\nmov r1, v1\n").errors.find("(4)"), std::string::npos);
}

TEST(ShaderDisassembler, RefusesStreamsItCannotWalk)
{
    std::vector<DWORD> unknownOpcode = {0xFFFE0200, 0x01007777, 0x800F0000, 0xFFFF};
    std::vector<DWORD> wrongLength = {0xFFFE0200, 0x03000001, 0x800F0000, 0x90E40000, 0xFFFF};
    std::vector<DWORD> notAShader = {0x12345678, 0xFFFF};
    std::vector<DWORD> parameterBitClear = {0xFFFE0101, 0x00000001, 0x000F0000, 0x10E40000, 0xFFFF};
    std::vector<DWORD> noEnd(70000, D3DSIO_NOP);
    noEnd[0] = 0xFFFE0101;
    // Streams of exactly their length: a walk that crossed the end token would read past them.
    std::vector<DWORD> commentOverEnd = {0xFFFF0101, 0x0001FFFE, 0xFFFF};
    std::vector<DWORD> longComment = {0xFFFE0200, 0x7FFFFFFE, 0xFFFF};
    std::vector<DWORD> definitionOverEnd = {0xFFFF0101, 0x00000051, 0xA00F0000, 0x3F800000, 0xFFFF};
    for (const auto* tokens : {&unknownOpcode, &wrongLength, &notAShader, &parameterBitClear, &noEnd, &commentOverEnd,
                               &longComment, &definitionOverEnd})
    {
        HRESULT result = D3D_OK;
        Disassemble(*tokens, &result);
        EXPECT_EQ(result, D3DERR_INVALIDCALL);
    }
    // Comments are skipped whole.
    std::vector<DWORD> comment = {0xFFFE0200, 0x0002FFFE, 0x0000FFFE, 0xFFFF0000, 0x02000001, 0x800F0000,
                                  0x90E40000, 0xFFFF};
    HRESULT result = E_FAIL;
    EXPECT_EQ(Disassemble(comment, &result), "vs_2_0\nmov r0, v0\n");
    EXPECT_EQ(result, D3D_OK);
}

TEST(ShaderAssembler, MutatedTextAndTokensNeverCrash)
{
    std::mt19937 random(3);
    std::string base = "vs_2_0\n" + AllInputsDeclared();
    for (const GeneratorLine& line : kGeneratorLines)
        if (line.versions != 1)
            base += std::string(line.text) + "\n";
    const char alphabet[] = "rvcoaTDPx[]+-.,_0123456789 \n;";
    for (int round = 0; round < 400; ++round)
    {
        std::string text = base;
        for (int edits = 1 + int(random() % 8); edits > 0; --edits)
        {
            size_t at = random() % text.size();
            switch (random() % 3)
            {
            case 0:
                text[at] = alphabet[random() % (sizeof alphabet - 1)];
                break;
            case 1:
                text.erase(at, 1 + random() % 6);
                break;
            default:
                text.insert(at, 1, alphabet[random() % (sizeof alphabet - 1)]);
                break;
            }
            if (text.empty())
                text = "v";
        }
        Assembled assembled = Assemble(text);
        EXPECT_EQ(assembled.result == D3D_OK, !assembled.tokens.empty());
        if (assembled.result != D3D_OK)
        {
            EXPECT_FALSE(assembled.errors.empty());
        }
    }

    Assembled valid = Assemble(base);
    ASSERT_EQ(valid.result, D3D_OK);
    for (int round = 0; round < 400; ++round)
    {
        // The disassembler takes no length: give it room up to its own token limit.
        std::vector<DWORD> tokens = valid.tokens;
        tokens.resize(1u << 16, D3DSIO_NOP);
        for (int edits = 1 + int(random() % 4); edits > 0; --edits)
        {
            size_t at = random() % valid.tokens.size();
            tokens[at] ^= DWORD(1) << (random() % 32);
        }
        HRESULT result = E_FAIL;
        std::string text = Disassemble(tokens, &result);
        if (result == D3D_OK)
        {
            Assembled again = Assemble(text);
            if (again.result == D3D_OK)
            {
                EXPECT_EQ(Disassemble(again.tokens), text);
            }
        }
    }
}

} // namespace
