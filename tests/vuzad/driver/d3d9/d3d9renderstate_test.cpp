// Tests of the render-state cache and the engine's render-state codes through the d3d9 layer's
// call log: what Open and Restore send, redundant states sent once per flush, the couplings
// between the engine codes, and the bounds of the caches.
#include "d3d9driverfixture.h"
#include "d3d9renderstate.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace d3d9driver
{
namespace
{

using Strings = std::vector<std::string>;

/// An adapter whose caps fix the choices Open makes: table fog with w, dither, linear filters.
d3d9test::AdapterConfig CachesAdapter(DWORD rasterCaps = D3DPRASTERCAPS_FOGVERTEX | D3DPRASTERCAPS_FOGTABLE |
                                                         D3DPRASTERCAPS_WFOG | D3DPRASTERCAPS_DITHER)
{
    d3d9test::AdapterConfig adapter = Adapter();
    adapter.caps.RasterCaps = rasterCaps;
    adapter.caps.TextureFilterCaps |= D3DPTFILTERCAPS_MINFLINEAR;
    return adapter;
}

Strings Sorted(Strings calls)
{
    std::sort(calls.begin(), calls.end());
    return calls;
}

std::string Bits(float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    return std::to_string(bits);
}

Strings DefaultRenderStates()
{
    return {"28, 0",  "35, 3",  "140, 0", "9, 2",  "23, 4",  "14, 1",  "7, 1",  "52, 0",  "53, 1",
            "54, 1",  "55, 1",  "56, 8",  "57, 0", "58, 4294967295",   "59, 4294967295", "19, 5",
            "20, 6",  "25, 5",  "24, 0",  "27, 0", "15, 0",  "22, 2",  "137, 0", "145, 0", "146, 0",
            "147, 0", "26, 1",  "29, 0",  "142, 0", "139, 4294967295", "143, 0"};
}

Strings DefaultStageStates()
{
    Strings calls = {"0, 1, 3", "0, 3, 0", "0, 4, 3", "0, 6, 0"};
    for (int stage = 1; stage < 8; ++stage)
    {
        calls.push_back(std::to_string(stage) + ", 1, 1");
        calls.push_back(std::to_string(stage) + ", 4, 1");
    }
    return calls;
}

Strings DefaultSamplerStates()
{
    Strings calls;
    for (int stage = 0; stage < 8; ++stage)
        for (const char* state : {"6, 2", "5, 2", "7, 0", "1, 1", "2, 1", "4, 4278190080", "10, 1"})
            calls.push_back(std::to_string(stage) + ", " + state);
    return calls;
}

class D3D9RenderStates : public DriverTest
{
protected:
    static intptr_t Get(int32_t code)
    {
        intptr_t value = -1;
        EXPECT_EQ(D3D9Device::GetEngineRenderState(code, &value), 1) << code;
        return value;
    }
    static void Set(int32_t code, intptr_t value) { EXPECT_EQ(D3D9Device::SetEngineRenderState(code, value), 1); }
    static void Log()
    {
        d3d9test::ClearCallLog();
        d3d9test::EnableCallLog(true);
    }
    static Strings Sent()
    {
        D3D9RenderState::Flush();
        return d3d9test::CallArgs("SetRenderState");
    }
};

TEST_F(D3D9RenderStates, OpenSendsTheEngineDefaultsOnce)
{
    d3d9test::SetAdapters({CachesAdapter()});
    Log();
    Start({CachesAdapter()});
    EXPECT_EQ(Sorted(d3d9test::CallArgs("SetRenderState")), Sorted(DefaultRenderStates()));
    EXPECT_EQ(Sorted(d3d9test::CallArgs("SetTextureStageState")), Sorted(DefaultStageStates()));
    EXPECT_EQ(Sorted(d3d9test::CallArgs("SetSamplerState")), Sorted(DefaultSamplerStates()));
    for (int stage = 0; stage < 8; ++stage)
        EXPECT_NE(std::find(d3d9test::CallArgs("SetTexture").begin(), d3d9test::CallArgs("SetTexture").end(),
                            std::to_string(stage) + ", null"),
                  d3d9test::CallArgs("SetTexture").end());
    EXPECT_EQ(D3D9RenderState::NumQueued(), 0u);

    // Vertex fog on a device without w-based table fog.
    ShutDown();
    Log();
    Start({CachesAdapter(D3DPRASTERCAPS_FOGVERTEX)});
    Strings sent = d3d9test::CallArgs("SetRenderState");
    EXPECT_NE(std::find(sent.begin(), sent.end(), "35, 0"), sent.end());
    EXPECT_NE(std::find(sent.begin(), sent.end(), "140, 3"), sent.end());
    EXPECT_NE(std::find(sent.begin(), sent.end(), "26, 0"), sent.end()) << "no dither without the cap";
}

TEST_F(D3D9RenderStates, RestoreSendsEveryCurrentValueAgain)
{
    Start({CachesAdapter()});
    const float density = 0.5f;
    Set(kRenderStateFogType, 2);
    Set(kRenderStateFogDensity, reinterpret_cast<intptr_t>(&density));
    Set(kRenderStateCullMode, D3DCULL_NONE);
    Set(kRenderStateAlphaFunction, D3DCMP_ALWAYS);
    Set(kRenderStateVertexAlpha, 1);
    Set(kRenderStateZTest, 0);
    Set(kRenderStateStencil, 1);
    Set(kRenderStateTextureFilter, 1);
    Set(kRenderStateTextureAddressU, D3DTADDRESS_CLAMP);
    D3D9RenderState::Flush();

    Log();
    D3D9RenderState::Restore();
    Strings expected = DefaultRenderStates();
    auto replace = [&](const std::string& from, const std::string& to) {
        *std::find(expected.begin(), expected.end(), from) = to;
    };
    replace("35, 3", "35, 1");  // exponential table fog
    replace("22, 2", "22, 1");  // no culling
    replace("25, 5", "25, 8");  // alpha function ALWAYS
    replace("27, 0", "27, 1");  // blending for vertex alpha; the test stays off with ALWAYS
    replace("23, 4", "23, 8");  // z test off, z write on
    replace("52, 0", "52, 1");  // stencil on
    expected.push_back("38, " + Bits(0.5f));
    expected.push_back("34, 0");
    EXPECT_EQ(Sorted(d3d9test::CallArgs("SetRenderState")), Sorted(expected));
    EXPECT_EQ(Sorted(d3d9test::CallArgs("SetTextureStageState")), Sorted(DefaultStageStates()));
    Strings samplers = DefaultSamplerStates();
    *std::find(samplers.begin(), samplers.end(), "0, 6, 2") = "0, 6, 1";
    *std::find(samplers.begin(), samplers.end(), "0, 5, 2") = "0, 5, 1";
    *std::find(samplers.begin(), samplers.end(), "0, 1, 1") = "0, 1, 3";
    EXPECT_EQ(Sorted(d3d9test::CallArgs("SetSamplerState")), Sorted(samplers));
}

TEST_F(D3D9RenderStates, RedundantStatesAreSentOncePerChange)
{
    Start({CachesAdapter()});
    Log();
    for (int draw = 0; draw < 10; ++draw)
    {
        Set(kRenderStateZTest, 0);
        Set(kRenderStateZWrite, 1);
        Set(kRenderStateCullMode, D3DCULL_NONE);
        Set(kRenderStateSourceBlend, D3DBLEND_ONE);
        Set(kRenderStateTextureFilter, 1);
        Set(kRenderStateTextureAddress, D3DTADDRESS_CLAMP);
        D3D9RenderState::SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
        D3D9RenderState::Flush();
        Device()->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1);
    }
    EXPECT_EQ(d3d9test::CallArgs("SetRenderState"), (Strings{"23, 8", "22, 1", "19, 2"}));
    EXPECT_EQ(d3d9test::CallArgs("SetSamplerState"), (Strings{"0, 6, 1", "0, 5, 1", "0, 1, 3", "0, 2, 3"}));
    EXPECT_EQ(d3d9test::CallArgs("SetTextureStageState"), (Strings{"0, 1, 4"}));
    EXPECT_EQ(d3d9test::CountCalls("DrawPrimitive"), 10u);

    // Changed and changed back before the flush: queued once, nothing sent.
    d3d9test::ClearCallLog();
    D3D9RenderState::SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    D3D9RenderState::SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    D3D9RenderState::SetTextureStageState(3, D3DTSS_COLOROP, D3DTOP_ADD);
    D3D9RenderState::SetTextureStageState(3, D3DTSS_COLOROP, D3DTOP_DISABLE);
    EXPECT_EQ(D3D9RenderState::NumQueued(), 2u);
    D3D9RenderState::Flush();
    EXPECT_EQ(d3d9test::CallLog().size(), 0u);
    EXPECT_EQ(D3D9RenderState::NumQueued(), 0u);
}

TEST_F(D3D9RenderStates, DepthAndAlphaCouplings)
{
    Start({CachesAdapter()});
    Log();
    Set(kRenderStateZTest, 0);
    EXPECT_EQ(Sent(), (Strings{"23, 8"})) << "z write keeps the z-buffer on";
    d3d9test::ClearCallLog();
    Set(kRenderStateZWrite, 0);
    EXPECT_EQ(Sent(), (Strings{"14, 0", "7, 0"}));

    // A texture with alpha on stage 0 blends without vertex alpha; vertex alpha then changes
    // nothing until the texture goes.
    Raster* alpha = Raster::Create(8, 8, 0, kRasterTypeTexture | kRasterFormat8888);
    Raster* opaque = Raster::Create(8, 8, 0, kRasterTypeTexture | kRasterFormat888);
    ASSERT_NE(alpha, nullptr);
    ASSERT_NE(opaque, nullptr);
    d3d9test::ClearCallLog();
    Set(kRenderStateTextureRaster, reinterpret_cast<intptr_t>(alpha));
    EXPECT_EQ(Sent(), (Strings{"27, 1", "15, 1"}));
    EXPECT_EQ(d3d9test::CountCalls("SetTexture"), 1u);
    EXPECT_EQ(Get(kRenderStateTextureRaster), reinterpret_cast<intptr_t>(alpha));
    EXPECT_EQ(D3D9RenderState::GetStageRaster(0), alpha);
    d3d9test::ClearCallLog();
    Set(kRenderStateVertexAlpha, 1);
    Set(kRenderStateTextureRaster, reinterpret_cast<intptr_t>(opaque));
    EXPECT_EQ(Sent(), Strings{}) << "vertex alpha keeps blending on";
    Set(kRenderStateTextureRaster, reinterpret_cast<intptr_t>(opaque));
    EXPECT_EQ(d3d9test::CountCalls("SetTexture"), 1u) << "the same raster is not bound again";

    d3d9test::ClearCallLog();
    Set(kRenderStateAlphaFunction, D3DCMP_ALWAYS);
    EXPECT_EQ(Sent(), (Strings{"25, 8", "15, 0"})) << "ALWAYS needs no alpha test";
    d3d9test::ClearCallLog();
    Set(kRenderStateVertexAlpha, 0);
    EXPECT_EQ(Sent(), (Strings{"27, 0"}));
    d3d9test::ClearCallLog();
    Set(kRenderStateAlphaFunction, D3DCMP_GREATER);
    Set(kRenderStateTextureRaster, 0);
    EXPECT_EQ(Sent(), (Strings{"25, 5"})) << "blending is off: the test waits for it";
    EXPECT_EQ(d3d9test::CallArgs("SetTexture"), (Strings{"0, null"}));

    Raster::Destroy(alpha);
    Raster::Destroy(opaque);
}

TEST_F(D3D9RenderStates, FogFollowsCapsAndTheCurrentCamera)
{
    Start({CachesAdapter(0)});
    Log();
    Set(kRenderStateFog, 1);
    EXPECT_EQ(Get(kRenderStateFog), 0) << "no fog on a device without vertex or table fog";
    EXPECT_EQ(Sent(), Strings{});
    ShutDown();

    Start({CachesAdapter(D3DPRASTERCAPS_FOGVERTEX)});
    Log();
    Set(kRenderStateFog, 1);
    Set(kRenderStateFogType, 3);
    EXPECT_EQ(Sent(), (Strings{"28, 1", "140, 2"}));
    // Linear fog outside a camera's update keeps the planes it has: there is no camera.
    d3d9test::ClearCallLog();
    Set(kRenderStateFogType, 1);
    EXPECT_EQ(Sent(), (Strings{"140, 3"}));
    DWORD start = 0;
    D3D9RenderState::GetRenderState(D3DRS_FOGSTART, &start);
    EXPECT_EQ(start, D3D9RenderState::kUnknown);

    Camera* camera = MakeCamera();
    ASSERT_EQ(Camera::BeginUpdate(camera), camera);
    d3d9test::ClearCallLog();
    Set(kRenderStateFogType, 1);
    EXPECT_EQ(Sent(), (Strings{"36, " + Bits(camera->fogPlane), "37, " + Bits(camera->farPlane)}));
    Camera::EndUpdate(camera);
    DestroyCamera(camera);

    const float density = 0.25f;
    d3d9test::ClearCallLog();
    Set(kRenderStateFogDensity, reinterpret_cast<intptr_t>(&density));
    Set(kRenderStateFogDensity, reinterpret_cast<intptr_t>(&density));
    EXPECT_EQ(Sent(), (Strings{"38, " + Bits(0.25f)}));
    EXPECT_EQ(Get(kRenderStateFogDensity), intptr_t(std::stoul(Bits(0.25f))));
}

TEST_F(D3D9RenderStates, CodesAnswerAsTheirTableSays)
{
    Start({CachesAdapter()});
    intptr_t value = 99;
    Set(kRenderStateTextureAddressU, D3DTADDRESS_MIRROR);
    EXPECT_EQ(D3D9Device::GetEngineRenderState(kRenderStateTextureAddress, &value), 0);
    EXPECT_EQ(value, 0) << "U and V differ";
    Set(kRenderStateTextureAddress, D3DTADDRESS_BORDER);
    EXPECT_EQ(Get(kRenderStateTextureAddress), D3DTADDRESS_BORDER);
    EXPECT_EQ(Get(kRenderStateTextureAddressV), D3DTADDRESS_BORDER);

    EXPECT_EQ(D3D9Device::SetEngineRenderState(kRenderStateTexturePerspective, 7), 1);
    EXPECT_EQ(D3D9Device::SetEngineRenderState(kRenderStateTexturePerspective, 0), 0);
    for (int32_t code : {0, 5, 18, 19, 31, -1})
    {
        SCOPED_TRACE(code);
        EXPECT_EQ(D3D9Device::GetEngineRenderState(code, &value), 0);
        if (code != 5)
        {
            EXPECT_EQ(D3D9Device::SetEngineRenderState(code, 1), 0);
        }
    }
    // Values that would index a table or name no device value are refused.
    const struct
    {
        int32_t code;
        intptr_t value;
    } refused[] = {{kRenderStateTextureFilter, 7}, {kRenderStateFogType, 4},     {kRenderStateFogType, -1},
                   {kRenderStateFogDensity, 0},    {kRenderStateCullMode, 4},    {kRenderStateSourceBlend, 12},
                   {kRenderStateShadeMode, 3},     {kRenderStateAlphaFunction, 9}};
    for (const auto& r : refused)
        EXPECT_EQ(D3D9Device::SetEngineRenderState(r.code, r.value), 0) << r.code << " " << r.value;

    for (int32_t code : {kRenderStateStencilFail, kRenderStateStencilReference, kRenderStateStencilMask,
                         kRenderStateBorderColour, kRenderStateFogColour, kRenderStateAlphaReference})
    {
        Set(code, 4);
        EXPECT_EQ(Get(code), 4) << code;
    }
}

TEST_F(D3D9RenderStates, CallerIndicesOutsideTheCachesAreRefused)
{
    Start({CachesAdapter()});
    Log();
    DWORD value = 0;
    EXPECT_EQ(D3D9RenderState::SetRenderState(210, 1), 0);
    EXPECT_EQ(D3D9RenderState::GetRenderState(210, &value), 0);
    EXPECT_EQ(D3D9RenderState::SetTextureStageState(8, D3DTSS_COLOROP, 1), 0);
    EXPECT_EQ(D3D9RenderState::SetTextureStageState(0, 33, 1), 0);
    EXPECT_EQ(D3D9RenderState::SetSamplerState(8, D3DSAMP_ADDRESSU, 1), 0);
    EXPECT_EQ(D3D9RenderState::SetSamplerState(0, 14, 1), 0);
    EXPECT_EQ(D3D9RenderState::SetRaster(nullptr, 8), 0);
    EXPECT_EQ(D3D9RenderState::SetTexture(nullptr, 0, 8), 0);
    EXPECT_EQ(D3D9RenderState::GetStageRaster(8), nullptr);
    EXPECT_EQ(D3D9Device::SetTransform(260, nullptr), 0);
    EXPECT_EQ(D3D9Device::SetTransform(D3DTS_WORLDMATRIX(255), nullptr), 0);
    float m[16];
    EXPECT_EQ(D3D9Device::GetTransform(511, m), 0);
    EXPECT_EQ(D3D9RenderState::NumQueued(), 0u);
    EXPECT_EQ(d3d9test::CallLog().size(), 0u);
}

TEST_F(D3D9RenderStates, TextureWordsSendOnlyChangedSamplerStates)
{
    Start({CachesAdapter()});
    Raster* raster = Raster::Create(8, 8, 0, kRasterTypeTexture | kRasterFormat8888);
    ASSERT_NE(raster, nullptr);
    Log();
    // Filter 6 (linear mip linear), U clamp, V wrap, on stage 2.
    EXPECT_EQ(D3D9RenderState::SetTexture(raster, 0x1306, 2), 1);
    EXPECT_EQ(d3d9test::CallArgs("SetSamplerState"), (Strings{"2, 1, 3", "2, 7, 2"}));
    EXPECT_EQ(d3d9test::CountCalls("SetTexture"), 1u);
    EXPECT_EQ(D3D9RenderState::GetStageRaster(2), raster);
    d3d9test::ClearCallLog();
    EXPECT_EQ(D3D9RenderState::SetTexture(raster, 0x1306, 2), 1);
    EXPECT_EQ(D3D9RenderState::SetTexture(raster, 0x1307, 2), 0) << "filter mode 7 does not exist";
    EXPECT_EQ(d3d9test::CallLog().size(), 0u);
    EXPECT_EQ(D3D9RenderState::SetTexture(nullptr, 0, 2), 1);
    EXPECT_EQ(d3d9test::CallArgs("SetTexture"), (Strings{"2, null"}));
    EXPECT_EQ(D3D9RenderState::NumQueued(), 0u) << "blending follows stage 0 only";
    Raster::Destroy(raster);
}

} // namespace
} // namespace d3d9driver
