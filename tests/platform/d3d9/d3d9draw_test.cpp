// Drawing calls of the Direct3D 9 layer: pre-transformed and transformed vertices, depth, streams and indices,
// range checks, and the program cache and state shadow seen through the call log.
#include "d3d9draw_support.h"

#include <cstring>

namespace
{

using namespace d3d9support;

Rgba Blend(Rgba src, Rgba dst, float a)
{
    return {src.r * a + dst.r * (1 - a), src.g * a + dst.g * (1 - a), src.b * a + dst.b * (1 - a), 1};
}

TEST_F(DrawTest, PretransformedQuadModulatesTextureAndBlendsOverTheClearColour)
{
    const D3DCOLOR clear = 0xFF204080;
    const std::vector<DWORD> texels = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
    IDirect3DTexture9* texture = MakeTexture(2, 2, D3DFMT_A8R8G8B8, texels);
    ASSERT_NE(texture, nullptr);
    ASSERT_EQ(mDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, clear, 1.0f, 0), D3D_OK);
    mDevice->SetTexture(0, texture);
    mDevice->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    mDevice->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    mDevice->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    mDevice->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    mDevice->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    const D3DCOLOR diffuse = 0x80FFC0FF;
    ASSERT_EQ(DrawScreenQuad(diffuse), D3D_OK);
    mDevice->SetTexture(0, nullptr);

    Rgba d = FromArgb(diffuse), background = FromArgb(clear);
    auto expected = Expected(
        [&](int x, int y)
        {
            Rgba t = FromArgb(texels[size_t(y / 32) * 2 + size_t(x / 32)]);
            Rgba src{t.r * d.r, t.g * d.g, t.b * d.b, 1};
            return ToArgb(Blend(src, background, t.a * d.a));
        });
    EXPECT_EQ(CheckBackBuffer("draw_tl_texture_blend", expected), "");
}

TEST_F(DrawTest, TransformedTriangleHidesAFartherOneWithLessEqual)
{
    ASSERT_EQ(mDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0), D3D_OK);
    D3DMATRIX world = Translation(0.25f, 0.0f, 0.0f), view = Translation(0.0f, 0.0f, 1.0f),
              projection = Perspective(0.5f, 10.0f);
    mDevice->SetTransform(D3DTS_WORLD, &world);
    mDevice->SetTransform(D3DTS_VIEW, &view);
    mDevice->SetTransform(D3DTS_PROJECTION, &projection);
    mDevice->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    mDevice->SetFVF(kColourFvf);
    // Near red triangle first, then a larger green one behind it.
    ColourVertex nearTri[3] = {{-0.6f, -0.5f, 1.0f, 0xFFFF0000}, {0.0f, 0.6f, 1.0f, 0xFFFF0000},
                               {0.4f, -0.4f, 1.0f, 0xFFFF0000}};
    ColourVertex farTri[3] = {{-2.9f, -2.2f, 3.0f, 0xFF00FF00}, {-0.2f, 2.5f, 3.0f, 0xFF00FF00},
                              {2.2f, -2.1f, 3.0f, 0xFF00FF00}};
    ASSERT_EQ(mDevice->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, nearTri, sizeof(ColourVertex)), D3D_OK);
    ASSERT_EQ(mDevice->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, farTri, sizeof(ColourVertex)), D3D_OK);

    auto screen = [](const ColourVertex* tri, float* xs, float* ys)
    {
        for (int i = 0; i < 3; ++i)
            Project(tri[i].x + 0.25f, tri[i].y, tri[i].z + 1.0f, xs[i], ys[i]);
    };
    float nx[3], ny[3], fx[3], fy[3];
    screen(nearTri, nx, ny);
    screen(farTri, fx, fy);
    std::vector<bool> dontCare(size_t(kSize) * kSize);
    auto expected = Expected(
        [&](int x, int y)
        {
            bool edge = false;
            bool inNear = Covers(nx, ny, float(x), float(y), &edge);
            bool inFar = Covers(fx, fy, float(x), float(y), &edge);
            dontCare[size_t(y) * kSize + size_t(x)] = edge;
            return inNear ? 0xFFFF0000u : inFar ? 0xFF00FF00u : 0xFF000000u;
        });
    EXPECT_EQ(CheckBackBuffer("draw_depth_lessequal", expected, 3, dontCare), "");
}

TEST_F(DrawTest, BuffersWithOffsetsBaseVertexAndStartIndexDrawLikeCallerMemory)
{
    // The same quad from a managed vertex buffer (stream offset, base vertex) and a system-memory index buffer.
    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
    ASSERT_EQ(mDevice->CreateVertexBuffer(sizeof(TlVertex) * 8, D3DUSAGE_WRITEONLY, 0, D3DPOOL_MANAGED, &vb, nullptr),
              D3D_OK);
    Hold(vb);
    ASSERT_EQ(mDevice->CreateIndexBuffer(12 * 2, 0, D3DFMT_INDEX16, D3DPOOL_SYSTEMMEM, &ib, nullptr), D3D_OK);
    Hold(ib);
    TlVertex* v = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, reinterpret_cast<void**>(&v), 0), D3D_OK);
    std::memset(v, 0, sizeof(TlVertex) * 8);
    // Stream offset of one vertex, base vertex 2: the quad lies in vertices 3-6.
    v[3] = {8.0f, 8.0f, 0.5f, 1.0f, 0xFF00FFFF, 0, 0};
    v[4] = {40.0f, 8.0f, 0.5f, 1.0f, 0xFF00FFFF, 0, 0};
    v[5] = {8.0f, 40.0f, 0.5f, 1.0f, 0xFF00FFFF, 0, 0};
    v[6] = {40.0f, 40.0f, 0.5f, 1.0f, 0xFF00FFFF, 0, 0};
    vb->Unlock();
    WORD* indices = nullptr;
    ASSERT_EQ(ib->Lock(0, 0, reinterpret_cast<void**>(&indices), 0), D3D_OK);
    const WORD values[12] = {9, 9, 9, 9, 9, 9, 0, 1, 2, 2, 1, 3};
    std::memcpy(indices, values, sizeof(values));
    ib->Unlock();

    mDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    mDevice->SetFVF(kTlFvf);
    mDevice->SetTexture(0, nullptr);
    ASSERT_EQ(mDevice->SetStreamSource(0, vb, sizeof(TlVertex), sizeof(TlVertex)), D3D_OK);
    ASSERT_EQ(mDevice->SetIndices(ib), D3D_OK);
    ASSERT_EQ(mDevice->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 2, 0, 4, 6, 2), D3D_OK);
    // A second draw of a strip through DrawPrimitive from the same buffer at start vertex 2 (vertices 3-6).
    ASSERT_EQ(mDevice->DrawPrimitive(D3DPT_TRIANGLESTRIP, 2, 2), D3D_OK);
    mDevice->SetStreamSource(0, nullptr, 0, 0);
    mDevice->SetIndices(nullptr);

    auto expected = Expected([](int x, int y)
                             { return x >= 8 && x < 40 && y >= 8 && y < 40 ? 0xFF00FFFFu : 0xFF000000u; });
    EXPECT_EQ(CheckBackBuffer("draw_buffers_offsets", expected), "");
}

TEST_F(DrawTest, OutOfRangeIndicesAndMissingInputsFailAndDrawNothing)
{
    mDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF102030, 1.0f, 0);
    TlVertex tri[3] = {{0, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0}, {60, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0},
                       {0, 60, 0.5f, 1, 0xFFFFFFFF, 0, 0}};
    const WORD outside[3] = {0, 1, 3};
    const WORD below[3] = {0, 1, 2};
    mDevice->SetFVF(kTlFvf);
    EXPECT_EQ(mDevice->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 3, 1, outside, D3DFMT_INDEX16, tri,
                                              sizeof(TlVertex)),
              D3DERR_INVALIDCALL);
    // Index 0 lies under minIndex 1: the vertices before it are not the caller's to read.
    EXPECT_EQ(mDevice->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 1, 2, 1, below, D3DFMT_INDEX16, tri,
                                              sizeof(TlVertex)),
              D3DERR_INVALIDCALL);

    // A minimum index past the signed range OpenGL's base vertex has, with indices that lie in the range named.
    const DWORD high[3] = {0x80000000u, 0x80000001u, 0x80000002u};
    EXPECT_EQ(mDevice->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0x80000000u, 3, 1, high, D3DFMT_INDEX32, tri,
                                              sizeof(TlVertex)),
              D3DERR_INVALIDCALL);
    IDirect3DIndexBuffer9* ib = nullptr;
    ASSERT_EQ(mDevice->CreateIndexBuffer(sizeof(high), 0, D3DFMT_INDEX32, D3DPOOL_SYSTEMMEM, &ib, nullptr), D3D_OK);
    Hold(ib);
    void* locked = nullptr;
    ASSERT_EQ(ib->Lock(0, 0, &locked, 0), D3D_OK);
    std::memcpy(locked, high, sizeof(high));
    ib->Unlock();
    mDevice->SetIndices(ib);

    // A system-memory vertex buffer too short for the draw.
    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(mDevice->CreateVertexBuffer(sizeof(tri), 0, 0, D3DPOOL_SYSTEMMEM, &vb, nullptr), D3D_OK);
    Hold(vb);
    mDevice->SetStreamSource(0, vb, 0, sizeof(TlVertex));
    EXPECT_EQ(mDevice->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, INT32_MIN, 0x80000000u, 3, 0, 1), D3DERR_INVALIDCALL);
    mDevice->SetIndices(nullptr);
    EXPECT_EQ(mDevice->DrawPrimitive(D3DPT_TRIANGLELIST, 1, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(mDevice->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3DERR_INVALIDCALL);
    mDevice->SetStreamSource(0, nullptr, 0, 0);
    EXPECT_EQ(mDevice->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL) << "no stream bound";

    // Neither declaration nor FVF.
    mDevice->SetVertexDeclaration(nullptr);
    EXPECT_EQ(mDevice->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, sizeof(TlVertex)), D3DERR_INVALIDCALL);
    // A declaration without a position.
    const D3DVERTEXELEMENT9 noPosition[] = {{0, 0, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_COLOR, 0}, D3DDECL_END()};
    IDirect3DVertexDeclaration9* declaration = nullptr;
    ASSERT_EQ(mDevice->CreateVertexDeclaration(noPosition, &declaration), D3D_OK);
    Hold(declaration);
    mDevice->SetVertexDeclaration(declaration);
    EXPECT_EQ(mDevice->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, sizeof(TlVertex)), D3DERR_INVALIDCALL);
    mDevice->SetVertexDeclaration(nullptr);

    auto expected = Expected([](int, int) { return 0xFF102030u; });
    EXPECT_EQ(CheckBackBuffer("draw_rejected", expected, 0), "");
}

TEST_F(DrawTest, UserMemoryDrawsLeaveStreamZeroAndIndicesUnbound)
{
    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
    ASSERT_EQ(mDevice->CreateVertexBuffer(256, 0, 0, D3DPOOL_MANAGED, &vb, nullptr), D3D_OK);
    ASSERT_EQ(mDevice->CreateIndexBuffer(64, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib, nullptr), D3D_OK);
    mDevice->SetStreamSource(0, vb, 0, sizeof(TlVertex));
    mDevice->SetIndices(ib);
    TlVertex tri[3] = {{-0.5f, -0.5f, 0.5f, 1, 0xFFFFFFFF, 0, 0}, {8.5f, -0.5f, 0.5f, 1, 0xFFFFFFFF, 0, 0},
                       {-0.5f, 8.5f, 0.5f, 1, 0xFFFFFFFF, 0, 0}};
    const WORD indices[3] = {0, 1, 2};
    mDevice->SetFVF(kTlFvf);
    ASSERT_EQ(mDevice->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 3, 1, indices, D3DFMT_INDEX16, tri,
                                              sizeof(TlVertex)),
              D3D_OK);
    IDirect3DVertexBuffer9* bound = vb;
    IDirect3DIndexBuffer9* boundIndices = ib;
    UINT offset = 1, stride = 1;
    mDevice->GetStreamSource(0, &bound, &offset, &stride);
    mDevice->GetIndices(&boundIndices);
    EXPECT_EQ(bound, nullptr);
    EXPECT_EQ(boundIndices, nullptr);
    EXPECT_EQ(vb->Release(), 0u) << "the draw let go of the stream's reference";
    EXPECT_EQ(ib->Release(), 0u);
    auto expected = Expected([](int x, int y) { return x + y < 7 ? 0xFFFFFFFFu : 0xFF000000u; });
    std::vector<bool> dontCare(size_t(kSize) * kSize);
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x)
            dontCare[size_t(y) * kSize + size_t(x)] = std::abs(x + y - 7) <= 1;
    mDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    ASSERT_EQ(mDevice->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, sizeof(TlVertex)), D3D_OK);
    EXPECT_EQ(CheckBackBuffer("draw_user_memory", expected, 3, dontCare), "");
}

TEST_F(DrawTest, TwoStateSetsBuildTwoProgramsAndRedundantStateReachesOpenGLOnce)
{
    TlVertex tri[3] = {{-0.5f, -0.5f, 0.5f, 1, 0xFFFFFFFF, 0, 0}, {8.5f, -0.5f, 0.5f, 1, 0xFFFFFFFF, 0, 0},
                       {-0.5f, 8.5f, 0.5f, 1, 0xFFFFFFFF, 0, 0}};
    mDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    mDevice->SetFVF(kTlFvf);
    d3d9test::EnableCallLog(true);
    for (int i = 0; i < 10; ++i)
    {
        // Two sets: specular add off and on (the vertices have no specular colour, so the frame is the same).
        mDevice->SetRenderState(D3DRS_SPECULARENABLE, i % 2);
        mDevice->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESS);
        ASSERT_EQ(mDevice->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, sizeof(TlVertex)), D3D_OK);
    }
    d3d9test::EnableCallLog(false);
    EXPECT_EQ(d3d9test::CountCalls("BuildProgram"), 2u);
    EXPECT_EQ(d3d9test::CountCalls("glDepthFunc"), 1u) << "ZFUNC set ten times to one value";
    EXPECT_EQ(d3d9test::CountCalls("glBlendFunc"), 0u);
    auto expected = Expected([](int x, int y) { return x + y < 7 ? 0xFFFFFFFFu : 0xFF000000u; });
    std::vector<bool> dontCare(size_t(kSize) * kSize);
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x)
            dontCare[size_t(y) * kSize + size_t(x)] = std::abs(x + y - 7) <= 1;
    EXPECT_EQ(CheckBackBuffer("draw_program_cache", expected, 3, dontCare), "");
}

TEST_F(DrawTest, OnlyChangedStateMatricesAndVertexInputReachOpenGL)
{
    // Two quads in one buffer (vertices 0-3 and 4-7), one index list for both.
    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
    ASSERT_EQ(mDevice->CreateVertexBuffer(sizeof(ColourVertex) * 8, D3DUSAGE_WRITEONLY, 0, D3DPOOL_MANAGED, &vb,
                                          nullptr),
              D3D_OK);
    Hold(vb);
    ASSERT_EQ(mDevice->CreateIndexBuffer(6 * 2, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib, nullptr),
              D3D_OK);
    Hold(ib);
    ColourVertex* v = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, reinterpret_cast<void**>(&v), 0), D3D_OK);
    const D3DCOLOR colours[2] = {0xFFFF8000, 0xFF0080FF};
    for (int q = 0; q < 2; ++q)
    {
        v[q * 4 + 0] = {-0.25f, 0.25f, 0.0f, colours[q]};
        v[q * 4 + 1] = {0.25f, 0.25f, 0.0f, colours[q]};
        v[q * 4 + 2] = {-0.25f, -0.25f, 0.0f, colours[q]};
        v[q * 4 + 3] = {0.25f, -0.25f, 0.0f, colours[q]};
    }
    vb->Unlock();
    WORD* indices = nullptr;
    ASSERT_EQ(ib->Lock(0, 0, reinterpret_cast<void**>(&indices), 0), D3D_OK);
    const WORD values[6] = {0, 1, 2, 2, 1, 3};
    std::memcpy(indices, values, sizeof(values));
    ib->Unlock();

    D3DMATRIX left = Translation(-0.5f, 0.0f, 0.0f), right = Translation(0.5f, 0.0f, 0.0f);
    D3DMATRIX view = Translation(0.0f, 0.0f, 1.0f), projection = Perspective(0.5f, 10.0f);
    D3DMATERIAL9 material{};
    material.Diffuse = {1, 1, 1, 1};
    mDevice->SetTransform(D3DTS_VIEW, &view);
    mDevice->SetTransform(D3DTS_PROJECTION, &projection);
    mDevice->SetMaterial(&material);
    mDevice->SetFVF(kColourFvf);
    mDevice->SetStreamSource(0, vb, 0, sizeof(ColourVertex));
    mDevice->SetIndices(ib);
    mDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    mDevice->SetTransform(D3DTS_WORLD, &left);
    ASSERT_EQ(mDevice->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3D_OK);

    d3d9test::EnableCallLog(true);
    // Everything set again to the values it holds: nothing reaches OpenGL.
    mDevice->SetRenderState(D3DRS_LIGHTING, FALSE);
    mDevice->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    mDevice->SetTransform(D3DTS_VIEW, &view);
    mDevice->SetTransform(D3DTS_WORLD, &left);
    mDevice->SetMaterial(&material);
    mDevice->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    mDevice->SetFVF(kColourFvf);
    mDevice->SetStreamSource(0, vb, 0, sizeof(ColourVertex));
    mDevice->SetIndices(ib);
    ASSERT_EQ(mDevice->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3D_OK);
    EXPECT_EQ(d3d9test::CountCalls("glUniformBlock"), 0u);
    EXPECT_EQ(d3d9test::CountCalls("glVertexAttribPointer"), 0u);
    EXPECT_EQ(d3d9test::CountCalls("BuildProgram"), 0u);

    // A new world translation changes one row of the world-view product (bytes 48-63 of the block), and only
    // that row is sent.
    d3d9test::ClearCallLog();
    mDevice->SetTransform(D3DTS_WORLD, &right);
    ASSERT_EQ(mDevice->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 4, 0, 4, 0, 2), D3D_OK);
    EXPECT_EQ(d3d9test::CallArgs("glUniformBlock"), std::vector<std::string>{"48, 16"});
    // The second quad starts four vertices on: its attributes move once, then stay for a repeat.
    EXPECT_EQ(d3d9test::CountCalls("glVertexAttribPointer"), 2u);
    d3d9test::ClearCallLog();
    ASSERT_EQ(mDevice->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 4, 0, 4, 0, 2), D3D_OK);
    EXPECT_EQ(d3d9test::CountCalls("glVertexAttribPointer"), 0u);
    EXPECT_EQ(d3d9test::CountCalls("glUniformBlock"), 0u);
    d3d9test::EnableCallLog(false);

    // The view alone moves the product: the first quad again, half a unit higher.
    D3DMATRIX higher = Translation(0.0f, 0.5f, 1.0f);
    mDevice->SetTransform(D3DTS_VIEW, &higher);
    mDevice->SetTransform(D3DTS_WORLD, &left);
    ASSERT_EQ(mDevice->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3D_OK);
    mDevice->SetStreamSource(0, nullptr, 0, 0);
    mDevice->SetIndices(nullptr);

    // Camera-space quads at depth 1: x -0.75..-0.25 and 0.25..0.75 over y -0.25..0.25, and the first over
    // y 0.25..0.75.
    struct Box
    {
        float x0, x1, y0, y1;
        uint32_t colour;
    };
    auto box = [](float x0, float x1, float top, float bottom, uint32_t colour) {
        float sx0, sy0, sx1, sy1;
        Project(x0, top, 1.0f, sx0, sy0);
        Project(x1, bottom, 1.0f, sx1, sy1);
        return Box{sx0, sx1, sy0, sy1, colour};
    };
    const Box boxes[3] = {box(-0.75f, -0.25f, 0.25f, -0.25f, 0xFFFF8000),
                          box(0.25f, 0.75f, 0.25f, -0.25f, 0xFF0080FF),
                          box(-0.75f, -0.25f, 0.75f, 0.25f, 0xFFFF8000)};
    std::vector<bool> dontCare(size_t(kSize) * kSize);
    auto expected = Expected([&](int x, int y) {
        float px = x + 0.5f, py = y + 0.5f;
        for (const Box& b : boxes)
        {
            bool near = std::fabs(px - b.x0) < 0.6f || std::fabs(px - b.x1) < 0.6f || std::fabs(py - b.y0) < 0.6f ||
                        std::fabs(py - b.y1) < 0.6f;
            if (px > b.x0 - 0.6f && px < b.x1 + 0.6f && py > b.y0 - 0.6f && py < b.y1 + 0.6f && near)
                dontCare[size_t(y) * kSize + size_t(x)] = true;
        }
        for (const Box& b : boxes)
            if (px > b.x0 && px < b.x1 && py > b.y0 && py < b.y1)
                return b.colour;
        return 0xFF000000u;
    });
    EXPECT_EQ(CheckBackBuffer("draw_changed_state_only", expected, 3, dontCare), "");
}

TEST_F(DrawTest, IndexRangesAreCheckedAgainAfterTheBufferIsWritten)
{
    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
    ASSERT_EQ(mDevice->CreateVertexBuffer(sizeof(TlVertex) * 4, D3DUSAGE_WRITEONLY, 0, D3DPOOL_MANAGED, &vb, nullptr),
              D3D_OK);
    Hold(vb);
    ASSERT_EQ(mDevice->CreateIndexBuffer(6 * 2, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib, nullptr),
              D3D_OK);
    Hold(ib);
    TlVertex* v = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, reinterpret_cast<void**>(&v), 0), D3D_OK);
    v[0] = {8.0f, 8.0f, 0.5f, 1.0f, 0xFFFFFF00, 0, 0};
    v[1] = {40.0f, 8.0f, 0.5f, 1.0f, 0xFFFFFF00, 0, 0};
    v[2] = {8.0f, 40.0f, 0.5f, 1.0f, 0xFFFFFF00, 0, 0};
    v[3] = {40.0f, 40.0f, 0.5f, 1.0f, 0xFFFFFF00, 0, 0};
    vb->Unlock();
    auto write = [&](std::initializer_list<WORD> values) {
        WORD* indices = nullptr;
        ASSERT_EQ(ib->Lock(0, 0, reinterpret_cast<void**>(&indices), 0), D3D_OK);
        std::copy(values.begin(), values.end(), indices);
        ib->Unlock();
    };
    write({0, 1, 2, 2, 1, 3});
    mDevice->SetFVF(kTlFvf);
    mDevice->SetStreamSource(0, vb, 0, sizeof(TlVertex));
    mDevice->SetIndices(ib);
    mDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    struct Case
    {
        const char* what;
        UINT minIndex, numVertices;
        HRESULT result;
    };
    // The same index range drawn with different vertex ranges: the range read once is held against each.
    const Case cases[] = {
        {"all four vertices", 0, 4, D3D_OK},
        {"index 3 past three vertices", 0, 3, D3DERR_INVALIDCALL},
        {"index 0 below the minimum", 1, 3, D3DERR_INVALIDCALL},
        {"all four again", 0, 4, D3D_OK},
    };
    for (const Case& c : cases)
        EXPECT_EQ(mDevice->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, c.minIndex, c.numVertices, 0, 2), c.result)
            << c.what;
    // A write puts index 4 in the range already drawn: the draw that passed before now fails.
    write({0, 1, 2, 2, 1, 4});
    EXPECT_EQ(mDevice->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(mDevice->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 1), D3D_OK) << "the first triangle";
    mDevice->SetStreamSource(0, nullptr, 0, 0);
    mDevice->SetIndices(nullptr);
    auto expected = Expected([](int x, int y) {
        return x >= 8 && x < 40 && y >= 8 && y < 40 ? 0xFFFFFF00u : 0xFF000000u;
    });
    EXPECT_EQ(CheckBackBuffer("draw_index_ranges", expected), "");
}

TEST_F(DrawTest, BlendMatrixSetWhileBlendingIsOffLightsWithItsNewNormals)
{
    // A lit quad facing the camera, every vertex wholly on blend matrix 1 (weight 0 on matrix 0).
    struct BlendVertex
    {
        float x, y, z, weight, nx, ny, nz;
    };
    const BlendVertex quad[4] = {{-0.5f, 0.5f, 0, 0, 0, 0, -1},
                                 {0.5f, 0.5f, 0, 0, 0, 0, -1},
                                 {-0.5f, -0.5f, 0, 0, 0, 0, -1},
                                 {0.5f, -0.5f, 0, 0, 0, 0, -1}};
    D3DMATRIX identity = Identity(), view = Translation(0.0f, 0.0f, 1.0f), projection = Perspective(0.5f, 10.0f);
    // Half a turn about y: the quad covers the same pixels, its normal faces away from the light.
    D3DMATRIX turned = Identity();
    turned._11 = turned._33 = -1.0f;
    mDevice->SetTransform(D3DTS_VIEW, &view);
    mDevice->SetTransform(D3DTS_PROJECTION, &projection);
    D3DMATERIAL9 material{};
    material.Diffuse = material.Ambient = {1, 1, 1, 1};
    mDevice->SetMaterial(&material);
    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {0.5f, 0.5f, 0.5f, 1};
    light.Direction = {0, 0, 1};
    mDevice->SetLight(0, &light);
    mDevice->LightEnable(0, TRUE);
    mDevice->SetRenderState(D3DRS_LIGHTING, TRUE);
    mDevice->SetRenderState(D3DRS_AMBIENT, 0xFF404040);
    mDevice->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    mDevice->SetFVF(D3DFVF_XYZB1 | D3DFVF_NORMAL);
    mDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    auto draw = [&] { return mDevice->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(BlendVertex)); };

    // Blending on with matrix 1 turned: ambient only. Then matrix 1 back to identity while blending is off,
    // and a draw that reads only matrix 0. Blending on again: matrix 1's normals must be the new ones.
    mDevice->SetTransform(D3DTS_WORLDMATRIX(1), &turned);
    mDevice->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_1WEIGHTS);
    ASSERT_EQ(draw(), D3D_OK);
    const std::vector<uint32_t> unlit = Frame();
    mDevice->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_DISABLE);
    mDevice->SetTransform(D3DTS_WORLDMATRIX(1), &identity);
    ASSERT_EQ(draw(), D3D_OK);
    mDevice->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_1WEIGHTS);
    ASSERT_EQ(draw(), D3D_OK);
    mDevice->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_DISABLE);
    mDevice->SetRenderState(D3DRS_LIGHTING, FALSE);
    mDevice->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);

    // The quad covers pixels 16-47; ambient 0x40 plus half the white material when lit.
    auto inside = [](int x, int y) { return x >= 16 && x < 48 && y >= 16 && y < 48; };
    EXPECT_EQ(unlit[size_t(32) * kSize + 32], 0xFF404040u) << "the turned normal faces away";
    EXPECT_EQ(CheckBackBuffer("draw_blend_matrix_normals",
                              Expected([&](int x, int y) { return inside(x, y) ? 0xFFC0C0C0u : 0xFF000000u; })),
              "");
}

} // namespace

namespace
{

using namespace d3d9support;

TEST_F(DrawTest, RenderTargetTextureIsDrawnThenSampled)
{
    IDirect3DTexture9* target = nullptr;
    ASSERT_EQ(mDevice->CreateTexture(2, 2, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &target,
                                     nullptr),
              D3D_OK);
    Hold(target);
    IDirect3DSurface9* level = nullptr;
    ASSERT_EQ(target->GetSurfaceLevel(0, &level), D3D_OK);
    IDirect3DSurface9* backBuffer = BackBuffer();
    ASSERT_EQ(mDevice->SetRenderTarget(0, level), D3D_OK);
    IDirect3DSurface9* depth = nullptr;
    mDevice->GetDepthStencilSurface(&depth);
    mDevice->SetDepthStencilSurface(nullptr);
    // Left column red, right column blue: two pre-transformed quads on the 2 x 2 target.
    mDevice->SetFVF(kTlFvf);
    TlVertex left[4] = {{-0.5f, -0.5f, 0.5f, 1, 0xFFFF0000, 0, 0}, {0.5f, -0.5f, 0.5f, 1, 0xFFFF0000, 0, 0},
                        {-0.5f, 1.5f, 0.5f, 1, 0xFFFF0000, 0, 0}, {0.5f, 1.5f, 0.5f, 1, 0xFFFF0000, 0, 0}};
    TlVertex right[4] = {{0.5f, -0.5f, 0.5f, 1, 0xFF0000FF, 0, 0}, {1.5f, -0.5f, 0.5f, 1, 0xFF0000FF, 0, 0},
                         {0.5f, 1.5f, 0.5f, 1, 0xFF0000FF, 0, 0}, {1.5f, 1.5f, 0.5f, 1, 0xFF0000FF, 0, 0}};
    ASSERT_EQ(mDevice->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, left, sizeof(TlVertex)), D3D_OK);
    ASSERT_EQ(mDevice->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, right, sizeof(TlVertex)), D3D_OK);
    level->Release();
    ASSERT_EQ(mDevice->SetRenderTarget(0, backBuffer), D3D_OK);
    mDevice->SetDepthStencilSurface(depth);
    if (depth)
        depth->Release();

    mDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    mDevice->SetTexture(0, target);
    ASSERT_EQ(DrawScreenQuad(0xFFFFFFFF), D3D_OK);
    mDevice->SetTexture(0, nullptr);
    auto expected = Expected([](int x, int) { return x < 32 ? 0xFFFF0000u : 0xFF0000FFu; });
    EXPECT_EQ(CheckBackBuffer("draw_render_target_texture", expected), "");
}

} // namespace
