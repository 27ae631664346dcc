// The fixed-function pipeline of the Direct3D 9 layer, frame by frame against CPU references: palettes,
// stencil, lighting, the stage combiner, texture transforms and texgen, fog, point sprites, declaration types.
#include "d3d9draw_support.h"

#include <cstring>

namespace
{

using namespace d3d9support;

DWORD Bits(float value)
{
    DWORD bits;
    std::memcpy(&bits, &value, sizeof(bits));
    return bits;
}

Rgba Clamp(Rgba c)
{
    return {std::clamp(c.r, 0.0f, 1.0f), std::clamp(c.g, 0.0f, 1.0f), std::clamp(c.b, 0.0f, 1.0f),
            std::clamp(c.a, 0.0f, 1.0f)};
}

/// A quad at camera depth z covering screen rows [top, bottom) of the whole width, under Perspective().
void ScreenBand(float z, float top, float bottom, D3DCOLOR colour, ColourVertex out[4])
{
    auto at = [&](float sx, float sy) { return ColourVertex{(sx / 32 - 1) * z, (1 - sy / 32) * z, z, colour}; };
    out[0] = at(-0.5f, top - 0.5f);
    out[1] = at(kSize - 0.5f, top - 0.5f);
    out[2] = at(-0.5f, bottom - 0.5f);
    out[3] = at(kSize - 0.5f, bottom - 0.5f);
}

class PipelineTest : public DrawTest
{
protected:
    /// A quad spanning the whole view puts its edges on the first row's and column's pixel centres.
    static std::vector<bool> EdgeRowAndColumn()
    {
        std::vector<bool> dontCare(size_t(kSize) * kSize);
        for (int i = 0; i < kSize; ++i)
            dontCare[size_t(i)] = dontCare[size_t(i) * kSize] = true;
        return dontCare;
    }

    void Camera()
    {
        D3DMATRIX identity = Identity(), projection = Perspective(0.5f, 10.0f);
        mDevice->SetTransform(D3DTS_WORLD, &identity);
        mDevice->SetTransform(D3DTS_VIEW, &identity);
        mDevice->SetTransform(D3DTS_PROJECTION, &projection);
    }
};

// ---- Textures, palettes, stencil ------------------------------------------------------------------------------

TEST_F(PipelineTest, PalettisedTextureSamplesThroughTheCurrentPalette)
{
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(mDevice->CreateTexture(2, 2, 1, 0, D3DFMT_P8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    Hold(texture);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
    const BYTE indices[4] = {1, 2, 3, 200};
    for (int y = 0; y < 2; ++y)
        std::memcpy(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch, indices + y * 2, 2);
    texture->UnlockRect(0);
    PALETTEENTRY first[256] = {}, second[256] = {};
    for (int i = 0; i < 256; ++i)
    {
        first[i] = {BYTE(i), BYTE(255 - i), BYTE(i / 2), 0xFF};
        second[i] = {BYTE(255 - i), BYTE(i), 0x40, 0xFF};
    }
    ASSERT_EQ(mDevice->SetPaletteEntries(0, first), D3D_OK);
    ASSERT_EQ(mDevice->SetPaletteEntries(1, second), D3D_OK);
    mDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    mDevice->SetTexture(0, texture);
    for (UINT palette : {0u, 1u})
    {
        ASSERT_EQ(mDevice->SetCurrentTexturePalette(palette), D3D_OK);
        ASSERT_EQ(DrawScreenQuad(0xFFFFFFFF), D3D_OK);
        const PALETTEENTRY* entries = palette ? second : first;
        auto expected = Expected(
            [&](int x, int y)
            {
                const PALETTEENTRY& e = entries[indices[(y / 32) * 2 + x / 32]];
                return 0xFF000000u | uint32_t(e.peRed) << 16 | uint32_t(e.peGreen) << 8 | e.peBlue;
            });
        EXPECT_EQ(CheckBackBuffer("pipeline_palette" + std::to_string(palette), expected), "");
    }
    mDevice->SetTexture(0, nullptr);
}

TEST_F(PipelineTest, StencilMasksASecondQuad)
{
    mDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0xFF000000, 1.0f, 0);
    mDevice->SetRenderState(D3DRS_STENCILENABLE, TRUE);
    mDevice->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_ALWAYS);
    mDevice->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_REPLACE);
    mDevice->SetRenderState(D3DRS_STENCILREF, 1);
    mDevice->SetRenderState(D3DRS_COLORWRITEENABLE, 0);
    mDevice->SetFVF(kTlFvf);
    TlVertex mask[4] = {{9.5f, 19.5f, 0.5f, 1, 0xFFFFFFFF, 0, 0}, {29.5f, 19.5f, 0.5f, 1, 0xFFFFFFFF, 0, 0},
                        {9.5f, 49.5f, 0.5f, 1, 0xFFFFFFFF, 0, 0}, {29.5f, 49.5f, 0.5f, 1, 0xFFFFFFFF, 0, 0}};
    ASSERT_EQ(mDevice->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, mask, sizeof(TlVertex)), D3D_OK);
    mDevice->SetRenderState(D3DRS_COLORWRITEENABLE, 0xF);
    mDevice->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_EQUAL);
    mDevice->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_KEEP);
    ASSERT_EQ(DrawScreenQuad(0xFFFF0000, 0.25f), D3D_OK);
    mDevice->SetRenderState(D3DRS_STENCILENABLE, FALSE);
    auto expected = Expected([](int x, int y)
                             { return x >= 10 && x < 30 && y >= 20 && y < 50 ? 0xFFFF0000u : 0xFF000000u; });
    EXPECT_EQ(CheckBackBuffer("pipeline_stencil", expected), "");
}

TEST_F(PipelineTest, AddressingZeroLeavesTheModeUnchanged)
{
    DWORD value = 0;
    mDevice->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    mDevice->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_MIRROR);
    EXPECT_EQ(mDevice->SetSamplerState(0, D3DSAMP_ADDRESSU, 0), D3D_OK);
    EXPECT_EQ(mDevice->SetSamplerState(0, D3DSAMP_ADDRESSV, 0), D3D_OK);
    mDevice->GetSamplerState(0, D3DSAMP_ADDRESSU, &value);
    EXPECT_EQ(value, DWORD(D3DTADDRESS_CLAMP));
    mDevice->GetSamplerState(0, D3DSAMP_ADDRESSV, &value);
    EXPECT_EQ(value, DWORD(D3DTADDRESS_MIRROR));

    // The modes still sample as set: texture coordinates 0-2 over a 2 x 1 texture.
    IDirect3DTexture9* texture = MakeTexture(2, 1, D3DFMT_A8R8G8B8, {0xFFFF0000, 0xFF0000FF});
    mDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    mDevice->SetTexture(0, texture);
    TlVertex quad[4] = {{-0.5f, -0.5f, 0.5f, 1, 0xFFFFFFFF, 0, 0}, {63.5f, -0.5f, 0.5f, 1, 0xFFFFFFFF, 2, 0},
                        {-0.5f, 63.5f, 0.5f, 1, 0xFFFFFFFF, 0, 2}, {63.5f, 63.5f, 0.5f, 1, 0xFFFFFFFF, 2, 2}};
    mDevice->SetFVF(kTlFvf);
    ASSERT_EQ(mDevice->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(TlVertex)), D3D_OK);
    mDevice->SetTexture(0, nullptr);
    // Clamped in u: red for u < 0.5, blue beyond.
    auto expected = Expected([](int x, int) { return x < 16 ? 0xFFFF0000u : 0xFF0000FFu; });
    EXPECT_EQ(CheckBackBuffer("pipeline_address_zero", expected), "");
}

// ---- Lighting -------------------------------------------------------------------------------------------------

struct Vec3
{
    float x, y, z;
};
Vec3 Sub(Vec3 a, Vec3 b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
float Dot(Vec3 a, Vec3 b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
Vec3 Norm(Vec3 a)
{
    float l = std::sqrt(Dot(a, a));
    return {a.x / l, a.y / l, a.z / l};
}

/// The platform's per-vertex lighting with a white material, no specular.
Rgba LightVertex(Vec3 p, Vec3 n, const std::vector<D3DLIGHT9>& lights, Rgba ambient)
{
    Rgba c{ambient.r, ambient.g, ambient.b, 1};
    for (const D3DLIGHT9& l : lights)
    {
        Vec3 L;
        float att = 1;
        if (l.Type == D3DLIGHT_DIRECTIONAL)
            L = Norm({-l.Direction.x, -l.Direction.y, -l.Direction.z});
        else
        {
            Vec3 d = Sub({l.Position.x, l.Position.y, l.Position.z}, p);
            float dist = std::sqrt(Dot(d, d));
            L = Norm(d);
            att = dist > l.Range ? 0 : 1 / (l.Attenuation0 + l.Attenuation1 * dist + l.Attenuation2 * dist * dist);
            if (l.Type == D3DLIGHT_SPOT)
            {
                float phi = std::min(l.Phi, float(M_PI)), theta = std::min(l.Theta, phi);
                float rho = Dot(Vec3{-L.x, -L.y, -L.z}, Norm({l.Direction.x, l.Direction.y, l.Direction.z}));
                float ct = std::cos(theta / 2), cp = std::cos(phi / 2);
                att *= rho > ct ? 1 : rho <= cp ? 0 : std::pow((rho - cp) / (ct - cp), l.Falloff);
            }
        }
        float nl = std::max(Dot(n, L), 0.0f) * att;
        c.r += l.Diffuse.r * nl;
        c.g += l.Diffuse.g * nl;
        c.b += l.Diffuse.b * nl;
    }
    return Clamp(c);
}

TEST_F(PipelineTest, DirectionalPointAndSpotLightsOnATessellatedQuad)
{
    Camera();
    constexpr int kCells = 16;
    constexpr float kZ = 2.0f;
    struct LitVertex
    {
        float x, y, z, nx, ny, nz;
    };
    std::vector<LitVertex> vertices;
    std::vector<WORD> indices;
    for (int j = 0; j <= kCells; ++j)
        for (int i = 0; i <= kCells; ++i)
            vertices.push_back({-kZ + 2 * kZ * i / kCells, kZ - 2 * kZ * j / kCells, kZ, 0, 0, -1});
    for (int j = 0; j < kCells; ++j)
        for (int i = 0; i < kCells; ++i)
        {
            WORD a = WORD(j * (kCells + 1) + i), b = WORD(a + 1), c = WORD(a + kCells + 1), d = WORD(c + 1);
            indices.insert(indices.end(), {a, b, c, b, d, c});
        }

    std::vector<D3DLIGHT9> lights(3);
    lights[0] = {};
    lights[0].Type = D3DLIGHT_DIRECTIONAL;
    lights[0].Diffuse = {0.5f, 0.1f, 0.1f, 1};
    lights[0].Direction = {0.6f, 0, 0.8f};
    lights[1] = {};
    lights[1].Type = D3DLIGHT_POINT;
    lights[1].Diffuse = {0.1f, 0.9f, 0.2f, 1};
    lights[1].Position = {1.0f, 1.0f, 1.2f};
    lights[1].Range = 2.5f;
    lights[1].Attenuation0 = 0.5f;
    lights[1].Attenuation1 = 0.4f;
    lights[2] = {};
    lights[2].Type = D3DLIGHT_SPOT;
    lights[2].Diffuse = {0.2f, 0.2f, 1.0f, 1};
    lights[2].Position = {-1.0f, -1.0f, 0.5f};
    lights[2].Direction = {0.0f, 0.0f, 1.0f};
    lights[2].Range = 100;
    lights[2].Attenuation0 = 1;
    lights[2].Theta = 0.5f;
    lights[2].Phi = 1.2f;
    lights[2].Falloff = 1;
    for (DWORD i = 0; i < 3; ++i)
    {
        ASSERT_EQ(mDevice->SetLight(i * 5, &lights[i]), D3D_OK) << "light numbers need not be dense";
        mDevice->LightEnable(i * 5, TRUE);
    }
    D3DMATERIAL9 material{};
    material.Diffuse = {1, 1, 1, 1};
    material.Ambient = {1, 1, 1, 1};
    mDevice->SetMaterial(&material);
    mDevice->SetRenderState(D3DRS_LIGHTING, TRUE);
    mDevice->SetRenderState(D3DRS_AMBIENT, 0xFF101010);
    mDevice->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL);
    mDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    ASSERT_EQ(mDevice->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, UINT(vertices.size()), UINT(indices.size() / 3),
                                              indices.data(), D3DFMT_INDEX16, vertices.data(), sizeof(LitVertex)),
              D3D_OK);
    mDevice->SetRenderState(D3DRS_LIGHTING, FALSE);

    // Gouraud: colours at the vertices, interpolated across each cell's two triangles (screen-linear at one depth).
    Rgba ambient = FromArgb(0xFF101010);
    std::vector<Rgba> lit;
    for (const LitVertex& v : vertices)
        lit.push_back(LightVertex({v.x, v.y, v.z}, {0, 0, -1}, lights, ambient));
    auto expected = Expected(
        [&](int x, int y)
        {
            float fx = x / 4.0f, fy = y / 4.0f;
            int i = std::min(int(fx), kCells - 1), j = std::min(int(fy), kCells - 1);
            float s = fx - i, t = fy - j;
            const Rgba& a = lit[size_t(j * (kCells + 1) + i)];
            const Rgba& b = lit[size_t(j * (kCells + 1) + i + 1)];
            const Rgba& c = lit[size_t((j + 1) * (kCells + 1) + i)];
            const Rgba& d = lit[size_t((j + 1) * (kCells + 1) + i + 1)];
            // Triangles (a, b, c) above the b-c diagonal, (b, d, c) below it.
            Rgba out;
            auto mix3 = [&](const Rgba& p, const Rgba& q, const Rgba& r, float wp, float wq, float wr)
            { return Rgba{p.r * wp + q.r * wq + r.r * wr, p.g * wp + q.g * wq + r.g * wr, p.b * wp + q.b * wq + r.b * wr, 1}; };
            if (s + t <= 1)
                out = mix3(a, b, c, 1 - s - t, s, t);
            else
                out = mix3(d, b, c, s + t - 1, 1 - t, 1 - s);
            return ToArgb(out);
        });
    EXPECT_EQ(CheckBackBuffer("pipeline_lighting", expected, 4, EdgeRowAndColumn()), "");
}

// ---- The stage combiner ---------------------------------------------------------------------------------------

struct StageSetup
{
    DWORD stage, type, value;
};

struct CombinerCase
{
    const char* name;
    std::vector<StageSetup> states;
    std::function<Rgba(Rgba t0, Rgba t1, Rgba diffuse, Rgba factor)> expected;
};

Rgba Mul(Rgba a, Rgba b, float s = 1)
{
    return Clamp({a.r * b.r * s, a.g * b.g * s, a.b * b.b * s, a.a * b.a * s});
}
Rgba Add(Rgba a, Rgba b)
{
    return Clamp({a.r + b.r, a.g + b.g, a.b + b.b, a.a + b.a});
}

TEST_F(PipelineTest, StageCombinerSetUps)
{
    IDirect3DTexture9* t0 = MakeTexture(1, 1, D3DFMT_A8R8G8B8, {0x80C04020});
    IDirect3DTexture9* t1 = MakeTexture(1, 1, D3DFMT_A8R8G8B8, {0xFF2040A0});
    // Inputs for which every case's colour differs from the clear colour and from black: the dot product and the
    // subtraction give grey and olive, not zero.
    const D3DCOLOR diffuse = 0xC0E0A060, factor = 0x40D0E0F0, clear = 0xFF102030;
    const std::vector<CombinerCase> cases = {
        {"modulate2x",
         {{0, D3DTSS_COLOROP, D3DTOP_MODULATE2X}, {0, D3DTSS_COLORARG2, D3DTA_DIFFUSE}},
         [](Rgba t0, Rgba, Rgba d, Rgba) { return Mul(t0, d, 2); }},
        {"add",
         {{0, D3DTSS_COLOROP, D3DTOP_SELECTARG1}, {1, D3DTSS_COLOROP, D3DTOP_ADD}},
         [](Rgba t0, Rgba t1, Rgba, Rgba) { return Add(t0, t1); }},
        {"multiplyadd",
         {{0, D3DTSS_COLOROP, D3DTOP_SELECTARG2},
          {0, D3DTSS_COLORARG2, D3DTA_DIFFUSE},
          {1, D3DTSS_COLOROP, D3DTOP_MULTIPLYADD},
          {1, D3DTSS_COLORARG0, D3DTA_CURRENT},
          {1, D3DTSS_COLORARG2, D3DTA_TFACTOR}},
         [](Rgba t0, Rgba t1, Rgba d, Rgba f) { return Add(d, Mul(t1, f)); }},
        {"blendtexturealpha",
         {{0, D3DTSS_COLOROP, D3DTOP_BLENDTEXTUREALPHA}, {0, D3DTSS_COLORARG2, D3DTA_DIFFUSE}},
         [](Rgba t0, Rgba, Rgba d, Rgba)
         {
             float a = t0.a;
             return Rgba{t0.r * a + d.r * (1 - a), t0.g * a + d.g * (1 - a), t0.b * a + d.b * (1 - a), 1};
         }},
        {"tfactor_alphareplicate",
         {{0, D3DTSS_COLOROP, D3DTOP_MODULATE}, {0, D3DTSS_COLORARG2, D3DTA_TFACTOR | D3DTA_ALPHAREPLICATE}},
         [](Rgba t0, Rgba, Rgba, Rgba f) { return Mul(t0, Rgba{f.a, f.a, f.a, f.a}); }},
        {"dotproduct3",
         {{0, D3DTSS_COLOROP, D3DTOP_DOTPRODUCT3}, {0, D3DTSS_COLORARG2, D3DTA_DIFFUSE}},
         [](Rgba t0, Rgba, Rgba d, Rgba)
         {
             float v = (t0.r - 0.5f) * (d.r - 0.5f) * 4 + (t0.g - 0.5f) * (d.g - 0.5f) * 4 +
                       (t0.b - 0.5f) * (d.b - 0.5f) * 4;
             v = std::clamp(v, 0.0f, 1.0f);
             return Rgba{v, v, v, 1};
         }},
        {"three_stage_temp",
         {{0, D3DTSS_COLOROP, D3DTOP_MODULATE},
          {0, D3DTSS_COLORARG2, D3DTA_DIFFUSE},
          {1, D3DTSS_COLOROP, D3DTOP_SELECTARG1},
          {1, D3DTSS_COLORARG1, D3DTA_TFACTOR | D3DTA_COMPLEMENT},
          {1, D3DTSS_RESULTARG, D3DTA_TEMP},
          {2, D3DTSS_COLOROP, D3DTOP_SUBTRACT},
          {2, D3DTSS_COLORARG1, D3DTA_CURRENT},
          {2, D3DTSS_COLORARG2, D3DTA_TEMP}},
         [](Rgba t0, Rgba, Rgba d, Rgba f)
         {
             Rgba current = Mul(t0, d);
             return Clamp({current.r - (1 - f.r), current.g - (1 - f.g), current.b - (1 - f.b), 1});
         }},
    };
    for (const CombinerCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        mDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, clear, 1.0f, 0);
        mDevice->SetTexture(0, t0);
        mDevice->SetTexture(1, t1);
        mDevice->SetRenderState(D3DRS_TEXTUREFACTOR, factor);
        mDevice->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        mDevice->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
        for (const StageSetup& s : c.states)
            mDevice->SetTextureStageState(s.stage, D3DTEXTURESTAGESTATETYPE(s.type), s.value);
        ASSERT_EQ(DrawScreenQuad(diffuse), D3D_OK);
        // Back to the defaults for the next case.
        for (DWORD stage = 0; stage < 3; ++stage)
        {
            mDevice->SetTextureStageState(stage, D3DTSS_COLOROP, stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE);
            mDevice->SetTextureStageState(stage, D3DTSS_COLORARG0, D3DTA_CURRENT);
            mDevice->SetTextureStageState(stage, D3DTSS_COLORARG1, D3DTA_TEXTURE);
            mDevice->SetTextureStageState(stage, D3DTSS_COLORARG2, D3DTA_CURRENT);
            mDevice->SetTextureStageState(stage, D3DTSS_RESULTARG, D3DTA_CURRENT);
        }
        uint32_t colour = ToArgb(c.expected(FromArgb(0x80C04020), FromArgb(0xFF2040A0), FromArgb(diffuse),
                                            FromArgb(factor)));
        ASSERT_NE(colour & 0xFFFFFF, clear & 0xFFFFFF);
        ASSERT_NE(colour & 0xFFFFFF, 0u) << "a colour an operation forced to zero would also give";
        EXPECT_EQ(CheckBackBuffer(std::string("pipeline_combiner_") + c.name, Expected([&](int, int) { return colour; })),
                  "");
    }
    mDevice->SetTexture(0, nullptr);
    mDevice->SetTexture(1, nullptr);
}

// ---- Texture coordinates --------------------------------------------------------------------------------------

TEST_F(PipelineTest, Count2TransformTakesItsTranslationFromTheThirdRow)
{
    Camera();
    IDirect3DTexture9* texture =
        MakeTexture(2, 2, D3DFMT_A8R8G8B8, {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF});
    struct Vertex
    {
        float x, y, z, u, v;
    };
    Vertex quad[4] = {{-1, 1, 1, 0, 0}, {1, 1, 1, 1, 0}, {-1, -1, 1, 0, 1}, {1, -1, 1, 1, 1}};
    D3DMATRIX transform = Identity();
    transform._11 = 0.5f;
    transform._22 = 0.5f;
    transform._31 = 0.5f; // u' = u / 2 + 1/2: the right column only
    transform._32 = 0.0f;
    mDevice->SetTransform(D3DTS_TEXTURE0, &transform);
    mDevice->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
    mDevice->SetTexture(0, texture);
    mDevice->SetFVF(D3DFVF_XYZ | D3DFVF_TEX1);
    mDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    ASSERT_EQ(mDevice->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex)), D3D_OK);
    mDevice->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
    mDevice->SetTexture(0, nullptr);
    // v' = v / 2: the top row only; so the quad shows texel (1, 0), green, everywhere.
    EXPECT_EQ(CheckBackBuffer("pipeline_count2", Expected([](int, int) { return 0xFF00FF00u; }), 3,
                              EdgeRowAndColumn()),
              "");
}

TEST_F(PipelineTest, ReflectionTexgenPicksCubeFaces)
{
    Camera();
    IDirect3DCubeTexture9* cube = nullptr;
    ASSERT_EQ(mDevice->CreateCubeTexture(1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &cube, nullptr), D3D_OK);
    Hold(cube);
    const D3DCOLOR faces[6] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00, 0xFF00FFFF, 0xFFFF00FF};
    for (int face = 0; face < 6; ++face)
    {
        D3DLOCKED_RECT locked;
        ASSERT_EQ(cube->LockRect(D3DCUBEMAP_FACES(face), 0, &locked, nullptr, 0), D3D_OK);
        std::memcpy(locked.pBits, &faces[face], 4);
        cube->UnlockRect(D3DCUBEMAP_FACES(face), 0);
    }
    mDevice->SetTexture(0, cube);
    mDevice->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR);
    mDevice->SetRenderState(D3DRS_LOCALVIEWER, FALSE);
    mDevice->SetRenderState(D3DRS_NORMALIZENORMALS, TRUE);
    mDevice->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL);
    struct Vertex
    {
        float x, y, z, nx, ny, nz;
    };
    // Left half: normal (-1, 0, -1) reflects the view ray (0, 0, 1) to -x; right half: (0, 1, -1) to +y.
    Vertex left[4] = {{-1, 1, 1, -1, 0, -1}, {0, 1, 1, -1, 0, -1}, {-1, -1, 1, -1, 0, -1}, {0, -1, 1, -1, 0, -1}};
    Vertex right[4] = {{0, 1, 1, 0, 1, -1}, {1, 1, 1, 0, 1, -1}, {0, -1, 1, 0, 1, -1}, {1, -1, 1, 0, 1, -1}};
    mDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    ASSERT_EQ(mDevice->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, left, sizeof(Vertex)), D3D_OK);
    ASSERT_EQ(mDevice->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, right, sizeof(Vertex)), D3D_OK);
    mDevice->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
    mDevice->SetTexture(0, nullptr);
    std::vector<bool> dontCare = EdgeRowAndColumn();
    for (int y = 0; y < kSize; ++y)
        dontCare[size_t(y) * kSize + 32] = dontCare[size_t(y) * kSize + 31] = true;
    auto expected = Expected([&](int x, int) { return x < 32 ? faces[D3DCUBEMAP_FACE_NEGATIVE_X] | 0xFF000000u
                                                             : faces[D3DCUBEMAP_FACE_POSITIVE_Y] | 0xFF000000u; });
    EXPECT_EQ(CheckBackBuffer("pipeline_reflection_cube", expected, 3, dontCare), "");
}

// ---- Fog --------------------------------------------------------------------------------------------------------

TEST_F(PipelineTest, VertexAndTableFogLinearExpExp2)
{
    Camera();
    struct FogCase
    {
        const char* name;
        bool table;
        DWORD mode;
        float start, end, density;
    };
    const FogCase cases[] = {
        {"vertex_linear", false, D3DFOG_LINEAR, 1.0f, 5.0f, 0},  {"vertex_exp", false, D3DFOG_EXP, 0, 0, 0.3f},
        {"vertex_exp2", false, D3DFOG_EXP2, 0, 0, 0.3f},         {"table_linear", true, D3DFOG_LINEAR, 0.5f, 1.0f, 0},
        {"table_exp", true, D3DFOG_EXP, 0, 0, 1.5f},             {"table_exp2", true, D3DFOG_EXP2, 0, 0, 1.5f},
    };
    const float depths[4] = {1.0f, 2.0f, 3.0f, 4.5f};
    const Rgba fogColour = FromArgb(0xFF3060C0);
    mDevice->SetFVF(kColourFvf);
    for (const FogCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        mDevice->SetRenderState(D3DRS_FOGENABLE, TRUE);
        mDevice->SetRenderState(D3DRS_FOGCOLOR, 0xFF3060C0);
        mDevice->SetRenderState(D3DRS_FOGTABLEMODE, c.table ? c.mode : D3DFOG_NONE);
        mDevice->SetRenderState(D3DRS_FOGVERTEXMODE, c.table ? D3DFOG_NONE : c.mode);
        mDevice->SetRenderState(D3DRS_FOGSTART, Bits(c.start));
        mDevice->SetRenderState(D3DRS_FOGEND, Bits(c.end));
        mDevice->SetRenderState(D3DRS_FOGDENSITY, Bits(c.density));
        mDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        for (int band = 0; band < 4; ++band)
        {
            ColourVertex quad[4];
            ScreenBand(depths[band], band * 16.0f, band * 16.0f + 16, 0xFFFFFFFF, quad);
            ASSERT_EQ(mDevice->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(ColourVertex)), D3D_OK);
        }
        mDevice->SetRenderState(D3DRS_FOGENABLE, FALSE);
        auto expected = Expected(
            [&](int, int y)
            {
                float z = depths[y / 16];
                // Table fog on a device without W-based fog uses the depth-buffer value.
                float d = c.table ? (z * 10.0f / 9.5f - 0.5f * 10.0f / 9.5f) / z : z;
                float f = c.mode == D3DFOG_LINEAR ? (c.end - d) / (c.end - c.start)
                          : c.mode == D3DFOG_EXP  ? std::exp(-c.density * d)
                                                  : std::exp(-(c.density * d) * (c.density * d));
                f = std::clamp(f, 0.0f, 1.0f);
                return ToArgb({fogColour.r + (1 - fogColour.r) * f, fogColour.g + (1 - fogColour.g) * f,
                               fogColour.b + (1 - fogColour.b) * f, 1});
            });
        EXPECT_EQ(CheckBackBuffer(std::string("pipeline_fog_") + c.name, expected), "");
    }
}

// ---- Points -------------------------------------------------------------------------------------------------------

TEST_F(PipelineTest, PointSpritesSpanTheTexture)
{
    IDirect3DTexture9* texture =
        MakeTexture(2, 2, D3DFMT_A8R8G8B8, {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF});
    mDevice->SetTexture(0, texture);
    mDevice->SetRenderState(D3DRS_POINTSPRITEENABLE, TRUE);
    mDevice->SetRenderState(D3DRS_POINTSIZE, Bits(8.0f));
    mDevice->SetFVF(kTlFvf);
    TlVertex points[2] = {{16.5f, 16.5f, 0.5f, 1, 0xFFFFFFFF, 0, 0}, {40.5f, 44.5f, 0.5f, 1, 0xFFFFFFFF, 0, 0}};
    mDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    ASSERT_EQ(mDevice->DrawPrimitiveUP(D3DPT_POINTLIST, 2, points, sizeof(TlVertex)), D3D_OK);
    mDevice->SetRenderState(D3DRS_POINTSPRITEENABLE, FALSE);
    mDevice->SetTexture(0, nullptr);
    const uint32_t quadrants[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
    auto expected = Expected(
        [&](int x, int y)
        {
            for (const TlVertex& p : points)
            {
                int left = int(p.x) - 3, top = int(p.y) - 3; // the sprite covers 8 pixels from centre - 4 + 0.5
                if (x >= left && x < left + 8 && y >= top && y < top + 8)
                    return quadrants[(y - top) / 4 * 2 + (x - left) / 4];
            }
            return 0xFF000000u;
        });
    EXPECT_EQ(CheckBackBuffer("pipeline_point_sprites", expected), "");
}

// ---- Declaration types ----------------------------------------------------------------------------------------

TEST_F(PipelineTest, EveryDeclarationTypeAsTheDiffuseColour)
{
    struct TypeCase
    {
        BYTE type;
        std::vector<BYTE> bytes;
        Rgba colour;
    };
    auto f32 = [](std::initializer_list<float> values)
    {
        std::vector<BYTE> out;
        for (float v : values)
        {
            BYTE b[4];
            std::memcpy(b, &v, 4);
            out.insert(out.end(), b, b + 4);
        }
        return out;
    };
    const TypeCase cases[] = {
        {D3DDECLTYPE_FLOAT1, f32({0.25f}), {0.25f, 0, 0, 1}},
        {D3DDECLTYPE_FLOAT2, f32({0.25f, 0.5f}), {0.25f, 0.5f, 0, 1}},
        {D3DDECLTYPE_FLOAT3, f32({0.25f, 0.5f, 0.75f}), {0.25f, 0.5f, 0.75f, 1}},
        {D3DDECLTYPE_FLOAT4, f32({0.25f, 0.5f, 0.75f, 1}), {0.25f, 0.5f, 0.75f, 1}},
        {D3DDECLTYPE_D3DCOLOR, {0x40, 0x80, 0xC0, 0xFF}, {0xC0 / 255.0f, 0x80 / 255.0f, 0x40 / 255.0f, 1}},
        {D3DDECLTYPE_UBYTE4, {1, 0, 1, 1}, {1, 0, 1, 1}},
        {D3DDECLTYPE_SHORT2, {1, 0, 0, 0}, {1, 0, 0, 1}},
        {D3DDECLTYPE_SHORT4, {0, 0, 1, 0, 1, 0, 1, 0}, {0, 1, 1, 1}},
        {D3DDECLTYPE_UBYTE4N, {0x40, 0x80, 0xC0, 0xFF}, {0x40 / 255.0f, 0x80 / 255.0f, 0xC0 / 255.0f, 1}},
        {D3DDECLTYPE_SHORT2N, {0xFF, 0x3F, 0x00, 0xC0}, {0x3FFF / 32767.0f, 0, 0, 1}},
        {D3DDECLTYPE_SHORT4N, {0xFF, 0x3F, 0xFF, 0x7F, 0x00, 0x80, 0xFF, 0x7F}, {0x3FFF / 32767.0f, 1, 0, 1}},
        {D3DDECLTYPE_USHORT2N, {0xFF, 0x3F, 0xFF, 0xBF}, {0x3FFF / 65535.0f, 0xBFFF / 65535.0f, 0, 1}},
        {D3DDECLTYPE_USHORT4N,
         {0xFF, 0x3F, 0xFF, 0xBF, 0xFF, 0xFF, 0xFF, 0xFF},
         {0x3FFF / 65535.0f, 0xBFFF / 65535.0f, 1, 1}},
        // UDEC3 (1, 0, 1) with the top bits set: w stays 1.
        {D3DDECLTYPE_UDEC3, {0x01, 0x00, 0x10, 0xC0}, {1, 0, 1, 1}},
        // DEC3N (255, 511, -511) / 511.
        {D3DDECLTYPE_DEC3N, {0xFF, 0xFC, 0x17, 0x20}, {255 / 511.0f, 1, 0, 1}},
        {D3DDECLTYPE_FLOAT16_2, {0x00, 0x34, 0x00, 0x38}, {0.25f, 0.5f, 0, 1}},
        {D3DDECLTYPE_FLOAT16_4, {0x00, 0x34, 0x00, 0x38, 0x00, 0x3A, 0x00, 0x3C}, {0.25f, 0.5f, 0.75f, 1}},
    };
    for (const TypeCase& c : cases)
    {
        SCOPED_TRACE(int(c.type));
        const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_POSITIONT, 0},
                                              {0, 16, c.type, 0, D3DDECLUSAGE_COLOR, 0},
                                              D3DDECL_END()};
        IDirect3DVertexDeclaration9* declaration = nullptr;
        ASSERT_EQ(mDevice->CreateVertexDeclaration(elements, &declaration), D3D_OK);
        mDevice->SetVertexDeclaration(declaration);
        constexpr UINT kStride = 32;
        BYTE vertices[4 * kStride] = {};
        const float corners[4][2] = {{-0.5f, -0.5f}, {63.5f, -0.5f}, {-0.5f, 63.5f}, {63.5f, 63.5f}};
        for (int i = 0; i < 4; ++i)
        {
            float position[4] = {corners[i][0], corners[i][1], 0.5f, 1.0f};
            std::memcpy(vertices + i * kStride, position, 16);
            std::memcpy(vertices + i * kStride + 16, c.bytes.data(), c.bytes.size());
        }
        mDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        EXPECT_EQ(mDevice->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, vertices, kStride), D3D_OK);
        mDevice->SetVertexDeclaration(nullptr);
        declaration->Release();
        uint32_t colour = ToArgb(c.colour);
        EXPECT_EQ(CheckBackBuffer("pipeline_decltype_" + std::to_string(int(c.type)),
                                  Expected([&](int, int) { return colour; })),
                  "");
    }
}

} // namespace
