// Shared pieces of the drawing tests: a 64 x 64 device, frame read-back as 0xAARRGGBB, CPU references built per
// pixel centre, and the matrices and vertex records the tests draw with.
#pragma once

#include "d3d9test_support.h"
#include "framecheck.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>

namespace d3d9support
{

constexpr int kSize = 64;

struct Rgba
{
    float r = 0, g = 0, b = 0, a = 1;
};

inline Rgba FromArgb(D3DCOLOR c)
{
    return {((c >> 16) & 0xFF) / 255.0f, ((c >> 8) & 0xFF) / 255.0f, (c & 0xFF) / 255.0f, (c >> 24) / 255.0f};
}

inline uint32_t ToArgb(Rgba c)
{
    auto byte = [](float v) { return uint32_t(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); };
    return 0xFF000000u | byte(c.r) << 16 | byte(c.g) << 8 | byte(c.b);
}

inline D3DMATRIX Identity()
{
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

inline D3DMATRIX Translation(float x, float y, float z)
{
    D3DMATRIX m = Identity();
    m._41 = x;
    m._42 = y;
    m._43 = z;
    return m;
}

/// Left-handed perspective with a 90-degree field of view and a square aspect.
inline D3DMATRIX Perspective(float zn, float zf)
{
    D3DMATRIX m{};
    m._11 = m._22 = 1.0f;
    m._33 = zf / (zf - zn);
    m._34 = 1.0f;
    m._43 = -zn * zf / (zf - zn);
    return m;
}

/// A camera-space point on the 64 x 64 screen under Perspective(): platform pixel coordinates.
inline void Project(float x, float y, float z, float& sx, float& sy)
{
    sx = (x / z + 1.0f) * kSize / 2.0f;
    sy = (1.0f - y / z) * kSize / 2.0f;
}

struct TlVertex
{
    float x, y, z, rhw;
    D3DCOLOR diffuse;
    float u, v;
};
constexpr DWORD kTlFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

struct ColourVertex
{
    float x, y, z;
    D3DCOLOR diffuse;
};
constexpr DWORD kColourFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE;

/// Coverage of a pixel centre by a screen triangle; `edge` is set when the centre lies too near an edge for
/// the rasteriser's tie rule to be predicted.
inline bool Covers(const float* xs, const float* ys, float px, float py, bool* edge)
{
    float area = (xs[1] - xs[0]) * (ys[2] - ys[0]) - (xs[2] - xs[0]) * (ys[1] - ys[0]);
    bool inside = true;
    for (int i = 0; i < 3; ++i)
    {
        int j = (i + 1) % 3;
        float e = (xs[j] - xs[i]) * (py - ys[i]) - (ys[j] - ys[i]) * (px - xs[i]);
        float length = std::hypot(xs[j] - xs[i], ys[j] - ys[i]);
        if (length > 0 && std::fabs(e) / length < 0.02f)
            *edge = true;
        if (e * area < 0)
            inside = false;
    }
    return inside;
}

class DrawTest : public D3D9Test
{
protected:
    void SetUp() override
    {
        D3D9Test::SetUp();
        D3DPRESENT_PARAMETERS parameters = Windowed();
        parameters.BackBufferWidth = kSize;
        parameters.BackBufferHeight = kSize;
        parameters.BackBufferFormat = D3DFMT_X8R8G8B8;
        OpenDevice(parameters);
        if (mDevice)
        {
            mDevice->SetRenderState(D3DRS_LIGHTING, FALSE);
            mDevice->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        }
    }

    void TearDown() override
    {
        for (IUnknownD3D* object : mHeld)
            object->Release();
        mHeld.clear();
        D3D9Test::TearDown();
    }

    template <class T> T* Hold(T* object)
    {
        mHeld.push_back(object);
        return object;
    }

    /// The back buffer as opaque 0xFFRRGGBB.
    std::vector<uint32_t> Frame()
    {
        std::vector<DWORD> pixels = ReadBack32(BackBuffer());
        std::vector<uint32_t> out(pixels.size());
        for (size_t i = 0; i < pixels.size(); ++i)
            out[i] = 0xFF000000u | (pixels[i] & 0xFFFFFF);
        return out;
    }

    /// A reference frame from a function of the platform's pixel coordinates.
    static std::vector<uint32_t> Expected(const std::function<uint32_t(int, int)>& pixel)
    {
        std::vector<uint32_t> out(size_t(kSize) * kSize);
        for (int y = 0; y < kSize; ++y)
            for (int x = 0; x < kSize; ++x)
                out[size_t(y) * kSize + size_t(x)] = pixel(x, y);
        return out;
    }

    /// Compares the back buffer with the reference; pixels marked in `dontCare` take the drawn value.
    std::string CheckBackBuffer(const std::string& name, std::vector<uint32_t> expected, int tolerance = 3,
                                const std::vector<bool>& dontCare = {})
    {
        std::vector<uint32_t> actual = Frame();
        for (size_t i = 0; i < dontCare.size() && i < actual.size(); ++i)
            if (dontCare[i])
                expected[i] = actual[i];
        return framecheck::CheckFrame(name, kSize, kSize, actual, expected, tolerance);
    }

    IDirect3DTexture9* MakeTexture(UINT width, UINT height, D3DFORMAT format, const std::vector<DWORD>& texels,
                                   UINT levels = 1)
    {
        IDirect3DTexture9* texture = nullptr;
        EXPECT_EQ(mDevice->CreateTexture(width, height, levels, 0, format, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
        if (!texture)
            return nullptr;
        D3DLOCKED_RECT locked;
        EXPECT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
        for (UINT y = 0; y < height; ++y)
            std::memcpy(static_cast<BYTE*>(locked.pBits) + size_t(y) * locked.Pitch, &texels[size_t(y) * width],
                        width * 4);
        texture->UnlockRect(0);
        return Hold(texture);
    }

    /// A screen-covering quad of pre-transformed vertices, texture coordinates 0-1.
    HRESULT DrawScreenQuad(D3DCOLOR diffuse, float z = 0.5f)
    {
        TlVertex quad[4] = {{-0.5f, -0.5f, z, 1.0f, diffuse, 0.0f, 0.0f},
                            {kSize - 0.5f, -0.5f, z, 1.0f, diffuse, 1.0f, 0.0f},
                            {-0.5f, kSize - 0.5f, z, 1.0f, diffuse, 0.0f, 1.0f},
                            {kSize - 0.5f, kSize - 0.5f, z, 1.0f, diffuse, 1.0f, 1.0f}};
        mDevice->SetFVF(kTlFvf);
        return mDevice->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(TlVertex));
    }

    std::vector<IUnknownD3D*> mHeld;
};

} // namespace d3d9support
