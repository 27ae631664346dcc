// Material effects drawn on our Direct3D 9 layer: the pipelines and shaders made at engine
// start, the dispatch by kind, the dual-texture table, the environment coefficient rules with
// the device's validation, the shifted bump coordinates and the shader choice, all read from
// the layer's call log; and a bump-mapped and an environment-mapped quad read back against
// CPU references.
#include "camera.h"
#include "clump.h"
#include "d3d9device.h"
#include "d3d9raster.h"
#include "d3d9renderstate.h"
#include "d3d9vertexbuffer.h"
#include "d3d9worldfixture.h"
#include "frame.h"
#include "framecheck.h"
#include "geometry.h"
#include "instancedata.h"
#include "material.h"
#include "matfx.h"
#include "matfxd3d9.h"
#include "pipeline.h"
#include "raster.h"
#include "streamfixture.h"
#include "texture.h"
#include "worldd3d9.h"
#include "worldfixture.h"
#include "worldwriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace
{

constexpr int kSize = 64;
constexpr float kDepth = 2.0f;
const std::array<uint8_t, 4> kPrelit = {0xC0, 0xB0, 0xA0, 0xFF};
const uint32_t kRock[4] = {0xFF804020, 0xFF208040, 0xFF402080, 0xFFC0C0C0};
const uint32_t kBump[4] = {0xFF101010, 0xFF405020, 0xFF2090F0, 0xFFFFFFFF};
const uint32_t kMoss[4] = {0xFF30A050, 0xFFA03070, 0xFF7070E0, 0xFFE0A010};
constexpr uint32_t kSky = 0xFF204060;

std::vector<uint32_t> Columns(const uint32_t (&colours)[4])
{
    std::vector<uint32_t> out;
    for (int y = 0; y < 4; ++y)
        out.insert(out.end(), std::begin(colours), std::end(colours));
    return out;
}

/// The states the device held at one draw, replayed from the call log.
struct DrawState
{
    std::string name;
    std::map<std::pair<int, int>, uint32_t> stage;
    std::map<int, uint32_t> render;
    std::map<int, std::string> textures;
    std::string pixelShader = "null";
    std::string fvf;

    uint32_t Stage(int s, int type) const
    {
        auto it = stage.find({s, type});
        return it == stage.end() ? 0xDEAD : it->second;
    }
    uint32_t Render(int state) const
    {
        auto it = render.find(state);
        return it == render.end() ? 0xDEAD : it->second;
    }
    std::string Texture(int s) const
    {
        auto it = textures.find(s);
        return it == textures.end() ? "null" : it->second;
    }
};

std::vector<uint32_t> Numbers(const std::string& args)
{
    std::vector<uint32_t> out;
    std::stringstream in(args);
    std::string item;
    while (std::getline(in, item, ','))
        out.push_back(uint32_t(std::stoul(item, nullptr, 0)));
    return out;
}

/// The states at every draw logged from position `from` on, replaying the whole log.
std::vector<DrawState> Draws(size_t from)
{
    std::vector<DrawState> draws;
    DrawState s;
    const std::vector<d3d9test::Call>& log = d3d9test::CallLog();
    for (size_t i = 0; i < log.size(); ++i)
    {
        const d3d9test::Call& c = log[i];
        if (c.name == "SetTextureStageState")
        {
            std::vector<uint32_t> n = Numbers(c.args);
            s.stage[{int(n[0]), int(n[1])}] = n[2];
        }
        else if (c.name == "SetRenderState")
        {
            std::vector<uint32_t> n = Numbers(c.args);
            s.render[int(n[0])] = n[1];
        }
        else if (c.name == "SetTexture")
        {
            const size_t comma = c.args.find(", ");
            s.textures[std::stoi(c.args.substr(0, comma))] = c.args.substr(comma + 2);
        }
        else if (c.name == "SetPixelShader")
            s.pixelShader = c.args;
        else if (c.name == "SetFVF")
            s.fvf = c.args;
        else if (c.name == "SetVertexDeclaration")
            s.fvf.clear();
        else if (i >= from && (c.name == "DrawIndexedPrimitive" || c.name == "DrawPrimitive"))
        {
            s.name = c.name;
            draws.push_back(s);
        }
    }
    return draws;
}

class MatFxDraw : public d3d9world::D3D9WorldTest
{
protected:
    void SetUp() override
    {
        D3D9WorldTest::SetUp();
        DestroyWindow(mWindow);
        mWindow = MakeWindow(kSize, kSize);
    }

    void TearDown() override
    {
        Stop();
        D3D9WorldTest::TearDown();
    }

    void Stop()
    {
        if (mCamera)
        {
            World::RemoveCamera(&mWorld->world, mCamera);
            DestroyCamera(mCamera);
            mCamera = nullptr;
        }
        for (Atomic* atomic : mAtomics)
            Atomic::Destroy(atomic);
        mAtomics.clear();
        for (Frame* frame : mFrames)
            Frame::Destroy(frame);
        mFrames.clear();
        for (Texture* t : mTextures)
            Texture::Destroy(t);
        mTextures.clear();
        mWorld.reset();
        d3d9test::EnableCallLog(false);
        ShutDown();
    }

    /// The engine on an adapter changed by tweak, a 64 x 64 camera at the origin looking
    /// along z, and the call log on from the device's creation.
    void Start(const std::function<void(d3d9test::AdapterConfig&)>& tweak = {})
    {
        d3d9test::AdapterConfig adapter = d3d9driver::Adapter();
        adapter.clientWidth = kSize;
        adapter.clientHeight = kSize;
        if (tweak)
            tweak(adapter);
        d3d9test::SetAdapters({adapter});
        d3d9test::ClearCallLog();
        d3d9test::EnableCallLog(true);
        ASSERT_NE(Engine::Init(nullptr, 0, 1 << 20), 0);
        ASSERT_EQ(World::Attach(), 1);
        ASSERT_EQ(MatFx::Attach(), 1);
        ASSERT_EQ(Engine::Open(&mWindow), 1);
        ASSERT_EQ(Engine::Start(), 1);
        mWorld = std::make_unique<TestWorld>(false);
        mCamera = Camera::Create();
        mCamera->frameBuffer = Raster::Create(kSize, kSize, 0, kRasterTypeCamera);
        mCamera->zBuffer = Raster::Create(kSize, kSize, 0, kRasterTypeZBuffer);
        FrameObject::SetFrame(&mCamera->object, MakeFrame());
        const Vector2 window = {1.0f, 1.0f};
        Camera::SetViewWindow(mCamera, &window);
        Camera::SetNearClipPlane(mCamera, 0.1f);
        Camera::SetFarClipPlane(mCamera, 10.0f);
        World::AddCamera(&mWorld->world, mCamera);
        mRock = MakeTexture("rock", Columns(kRock));
        mBump = MakeTexture("bump", Columns(kBump));
        mStone = MakeTexture("stone", Columns(kRock), kRasterFormat888);
        mSky = MakeTexture("sky", std::vector<uint32_t>(16, kSky), kRasterFormat888);
        mDecal = MakeTexture("decal", Columns(kBump));
    }

    Texture* MakeTexture(const char* name, const std::vector<uint32_t>& argb, uint32_t format = kRasterFormat8888)
    {
        Raster* raster = Raster::Create(4, 4, 0, kRasterTypeTexture | format);
        EXPECT_NE(raster, nullptr);
        uint8_t* pixels = Raster::Lock(raster, 0, kRasterLockWrite);
        for (int32_t y = 0; pixels && y < 4; ++y)
            std::memcpy(pixels + size_t(y) * size_t(raster->stride), &argb[size_t(y) * 4], 16);
        Raster::Unlock(raster);
        Texture* texture = Texture::Create(raster);
        Texture::SetName(texture, name);
        TextureDictionary::AddTexture(TextureDictionary::GetCurrent(), texture);
        ++texture->refCount;
        mTextures.push_back(texture);
        return texture;
    }

    /// A prelit, textured quad filling the camera's view at depth 2 (u along x, v down y),
    /// with normals towards the camera; its one material has the base texture named.
    Atomic* Quad(const char* base)
    {
        GeometryDescription g;
        g.format = kGeometryPositions | kGeometryTextured | kGeometryPrelit | kGeometryNormals;
        g.numVertices = 4;
        GeometryDescription::MorphTarget target{{0, 0, 0, 3}, {}, {}};
        std::vector<float> uv;
        for (float y : {-2.0f, 2.0f})
            for (float x : {-2.0f, 2.0f})
            {
                target.positions.insert(target.positions.end(), {x, y, 0.0f});
                target.normals.insert(target.normals.end(), {0.0f, 0.0f, -1.0f});
                uv.insert(uv.end(), {(x + 2) / 4, (2 - y) / 4});
                g.prelit.push_back(kPrelit);
            }
        g.targets = {target};
        g.texCoords = {uv};
        g.triangles = {{0, 1, 2, 0}, {1, 3, 2, 0}};
        GeometryDescription::Material material;
        material.texture = base ? base : "";
        g.materials = {material};
        g.listEntries = {0};
        Geometry* geometry = ReadGeometry(g);
        EXPECT_NE(geometry, nullptr);
        Atomic* atomic = MakeAtomic(geometry, {0, 0, kDepth});
        MatFx::EnableAtomic(atomic);
        return atomic;
    }

    static Material* MaterialOf(Atomic* atomic) { return atomic->geometry->materials.materials[0]; }

    void Hold(Texture* texture, Texture*& slot)
    {
        ++texture->refCount;
        slot = texture;
    }

    /// Renders the atomic into a cleared frame; the draws it logged.
    std::vector<DrawState> Render(Atomic* atomic)
    {
        const size_t from = d3d9test::CallLog().size();
        const Rgba background = {0x20, 0x30, 0x40, 0xFF};
        Camera::Clear(mCamera, &background, kCameraClearImage | kCameraClearZ);
        EXPECT_EQ(Camera::BeginUpdate(mCamera), mCamera);
        Engine::Current()->device.setRenderState(20, 1); // no culling
        EXPECT_EQ(Atomic::DefaultRender(atomic), atomic);
        EXPECT_EQ(Camera::EndUpdate(mCamera), mCamera);
        Camera::ShowRaster(mCamera, nullptr, 0);
        return Draws(from);
    }

    size_t CountSince(size_t from, const char* name)
    {
        size_t n = 0;
        const auto& log = d3d9test::CallLog();
        for (size_t i = from; i < log.size(); ++i)
            n += log[i].name == name;
        return n;
    }

    void DrawBumpQuad(bool shaders);

    std::string ShaderName(int32_t shader) { return d3d9test::ObjectName(MatFxD3D9::GetPixelShader(shader)); }
    std::string TextureName(Texture* t) { return d3d9test::ObjectName(D3D9Raster::Extension(t->raster)->object); }

    std::unique_ptr<TestWorld> mWorld;
    Camera* mCamera = nullptr;
    std::vector<Texture*> mTextures;
    Texture *mRock = nullptr, *mBump = nullptr, *mStone = nullptr, *mSky = nullptr, *mDecal = nullptr;
};

TEST_F(MatFxDraw, PipelinesAndShadersAreMadeAtEngineStartFromTheDeviceCapabilities)
{
    Start();
    for (Pipeline* pipeline : {MatFx::GetAtomicPipeline(), MatFx::GetSectorPipeline()})
    {
        ASSERT_NE(pipeline, nullptr);
        EXPECT_EQ(pipeline->pluginId, MatFx::kPluginId);
        ASSERT_EQ(pipeline->numNodes, 1);
        auto* data = static_cast<AllInOneNodeData*>(pipeline->nodes[0].privateData);
        EXPECT_EQ(data->render, MatFx::RenderCallback);
    }
    EXPECT_EQ(AllInOneNode::GetInstanceCallback(&MatFx::GetAtomicPipeline()->nodes[0]), MatFx::AtomicInstanceCallback);
    EXPECT_EQ(AllInOneNode::GetInstanceCallback(&MatFx::GetSectorPipeline()->nodes[0]), MatFx::SectorInstanceCallback);
    for (int32_t i = 0; i < kMatFxShaderCount; ++i)
    {
        EXPECT_NE(MatFxD3D9::GetPixelShader(i), nullptr) << i;
    }
    EXPECT_EQ(MatFxD3D9::GetCaps().blendStages, 8);
    EXPECT_EQ(MatFxD3D9::GetCaps().multiTexture, 1);
    EXPECT_EQ(MatFxD3D9::GetCaps().multiplyAdd, 1);
    EXPECT_EQ(MatFxD3D9::GetCaps().modulate2x, 1);
    EXPECT_EQ(MatFxD3D9::GetAddEnvValidation(), kMatFxNotValidated);
    Stop();
    EXPECT_EQ(MatFx::GetAtomicPipeline(), nullptr);
    EXPECT_EQ(MatFxD3D9::GetPixelShader(0), nullptr);

    Start([](d3d9test::AdapterConfig& a) { a.caps.PixelShaderVersion = D3DPS_VERSION(1, 0); });
    for (int32_t i = 0; i < kMatFxShaderCount; ++i)
    {
        EXPECT_EQ(MatFxD3D9::GetPixelShader(i), nullptr) << i;
    }
    EXPECT_NE(MatFx::GetAtomicPipeline(), nullptr);
    Stop();

    Start([](d3d9test::AdapterConfig& a) { a.caps.MaxTextureBlendStages = 1; });
    EXPECT_EQ(MatFxD3D9::GetCaps().multiTexture, 0);
    EXPECT_EQ(MatFxD3D9::GetCaps().multiplyAdd, 0);
    EXPECT_EQ(MatFxD3D9::GetCaps().modulate2x, 0);
    EXPECT_EQ(MatFxD3D9::GetModulate2xValidation(), kMatFxRefused) << "nothing is left to ask the device";
    EXPECT_EQ(MatFxD3D9::GetAddEnvValidation(), kMatFxRefused);
}

TEST_F(MatFxDraw, EachMeshIsDrawnByTheRendererOfItsKind)
{
    Start();
    struct Case
    {
        int32_t kind;
        size_t draws;
        bool bumpVertices;
        int32_t shader;
    };
    const Case cases[] = {
        {kMatFxNone, 1, false, kMatFxShaderNone},
        {kMatFxBumpMap, 1, true, kMatFxShaderBump},
        {kMatFxEnvMap, 1, false, kMatFxShaderNone},
        {kMatFxBumpEnvMap, 1, true, kMatFxShaderBumpEnv},
        {kMatFxDual, 1, false, kMatFxShaderNone},
        {kMatFxUVTransform, 1, false, kMatFxShaderNone},
        {kMatFxDualUVTransform, 1, false, kMatFxShaderNone},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.kind);
        Atomic* atomic = Quad("stone");
        Material* m = MaterialOf(atomic);
        ASSERT_EQ(MatFx::SetEffects(m, c.kind), m);
        MatFxMaterialData* data = MatFx::GetData(m);
        if (MatFxEffectSlot* s = MatFx::FindSlot(data, kMatFxSlotBump))
        {
            ASSERT_EQ(MatFx::SetBumpTexture(m, mBump), m);
            s->bump.bumpiness = 1.0f;
        }
        if (MatFxEffectSlot* s = MatFx::FindSlot(data, kMatFxSlotEnv))
        {
            Hold(mSky, s->env.texture);
            s->env.coefficient = 0.5f;
        }
        if (MatFxEffectSlot* s = MatFx::FindSlot(data, kMatFxSlotDual))
        {
            Hold(mDecal, s->dual.texture);
            MatFx::SetDualBlendModes(m, 9, 1);
        }
        const std::vector<DrawState> draws = Render(atomic);
        ASSERT_EQ(draws.size(), c.draws);
        const DrawState& d = draws[0];
        EXPECT_EQ(d.fvf == "0x252", c.bumpVertices) << d.fvf;
        EXPECT_EQ(d.pixelShader, c.shader == kMatFxShaderNone ? "null" : ShaderName(c.shader));
        if (c.kind == kMatFxEnvMap)
        {
            EXPECT_EQ(d.Stage(1, D3DTSS_COLOROP), uint32_t(D3DTOP_MULTIPLYADD));
            EXPECT_EQ(d.Texture(1), TextureName(mSky));
        }
        if (c.kind == kMatFxDual || c.kind == kMatFxDualUVTransform)
        {
            EXPECT_EQ(d.Texture(1), TextureName(mDecal));
        }
        if (c.kind == kMatFxNone || c.kind == kMatFxUVTransform)
        {
            EXPECT_EQ(d.Stage(0, D3DTSS_COLOROP), uint32_t(D3DTOP_MODULATE));
            EXPECT_EQ(d.Texture(0), TextureName(mStone));
        }
    }
}

TEST_F(MatFxDraw, AUVTransformMatrixMovesStageZerosCoordinatesForTheDrawOnly)
{
    Start();
    Atomic* atomic = Quad("stone");
    Material* m = MaterialOf(atomic);
    ASSERT_EQ(MatFx::SetEffects(m, kMatFxUVTransform), m);
    Matrix uv{};
    uv.right = {0, 1, 0};
    uv.up = {-1, 0, 0};
    uv.at = {0, 0, 1};
    uv.pos = {0.25f, 0.5f, 0};
    MatFx::SetUVTransformMatrices(m, &uv, nullptr);
    std::vector<DrawState> draws = Render(atomic);
    ASSERT_EQ(draws.size(), 1u);
    EXPECT_EQ(draws[0].Stage(0, D3DTSS_TEXTURETRANSFORMFLAGS), uint32_t(D3DTTFF_COUNT2));
    float m16[16];
    ASSERT_EQ(D3D9Device::GetTransform(D3DTS_TEXTURE0, m16), 1);
    const float expected[16] = {0, 1, 0, 0, -1, 0, 0, 0, 0.25f, 0.5f, 1, 0, 0, 0, 0, 1};
    for (int i = 0; i < 16; ++i)
    {
        EXPECT_FLOAT_EQ(m16[i], expected[i]) << i;
    }
    DWORD flags = 0;
    D3D9RenderState::GetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, &flags);
    EXPECT_EQ(flags, DWORD(D3DTTFF_DISABLE)) << "switched off after the draw";

    // No matrix (no animation drives channel 0) draws untransformed.
    MatFx::SetUVTransformMatrices(m, nullptr, nullptr);
    draws = Render(atomic);
    ASSERT_EQ(draws.size(), 1u);
    EXPECT_NE(draws[0].Stage(0, D3DTSS_TEXTURETRANSFORMFLAGS), uint32_t(D3DTTFF_COUNT2));
}

TEST_F(MatFxDraw, TheDualTableSetsOnePassPerPairOrFallsBackToTwo)
{
    const int32_t pairs[][2] = {{9, 1}, {1, 3}, {5, 6}, {9, 3}, {2, 2}, {1, 5}, {2, 6}};
    for (int stages : {1, 2, 3})
    {
        Start([stages](d3d9test::AdapterConfig& a) { a.caps.MaxTextureBlendStages = DWORD(stages); });
        for (const auto& pair : pairs)
            for (bool base : {true, false})
            {
                SCOPED_TRACE(testing::Message() << "stages " << stages << " pair " << pair[0] << "," << pair[1]
                                                << (base ? " base" : " no base"));
                Atomic* atomic = Quad(base ? "stone" : nullptr);
                Material* m = MaterialOf(atomic);
                ASSERT_EQ(MatFx::SetEffects(m, kMatFxDual), m);
                Hold(mDecal, MatFx::GetData(m)->slots[0].dual.texture);
                MatFx::SetDualBlendModes(m, pair[0], pair[1]);
                const MatFxDualRow* row = MatFxD3D9::FindDualRow(pair[0], pair[1]);
                const bool single =
                    stages >= 2 && row && !((row->needs & kMatFxNeedsThreeStages) && base && stages < 3);
                const std::vector<DrawState> draws = Render(atomic);
                ASSERT_EQ(draws.size(), single ? 1u : 2u);
                const DrawState& d = draws[0];
                if (!single)
                {
                    // The base pass, then the dual texture blended over it.
                    const DrawState& second = draws[1];
                    EXPECT_EQ(second.Texture(0), TextureName(mDecal));
                    EXPECT_EQ(second.Render(D3DRS_SRCBLEND), uint32_t(pair[0]));
                    EXPECT_EQ(second.Render(D3DRS_DESTBLEND), uint32_t(pair[1]));
                    EXPECT_EQ(second.Render(D3DRS_ZWRITEENABLE), 0u);
                    EXPECT_EQ(second.Render(D3DRS_ALPHABLENDENABLE), 1u);
                    if (MatFxD3D9::IsModulatingPair(pair[0], pair[1]))
                    {
                        EXPECT_EQ(second.Render(D3DRS_ALPHATESTENABLE), 0u);
                    }
                    EXPECT_EQ(d.Texture(0), base ? TextureName(mStone) : "null");
                    continue;
                }
                const MatFxStageOp* ops = base ? row->withBase : row->noBase;
                for (int i = 0; i < (base ? 3 : 4) && ops[i].op; ++i)
                {
                    const MatFxStageOp& op = ops[i];
                    const int type = op.alpha ? D3DTSS_ALPHAOP : D3DTSS_COLOROP;
                    EXPECT_EQ(d.Stage(op.stage, type), op.op)
                        << "stage " << int(op.stage) << " alpha " << int(op.alpha);
                    if (op.arg1 != kMatFxKeep)
                    {
                        EXPECT_EQ(d.Stage(op.stage, type + 1), op.arg1);
                    }
                    if (op.arg2 != kMatFxKeep)
                    {
                        EXPECT_EQ(d.Stage(op.stage, type + 2), op.arg2);
                    }
                }
                EXPECT_EQ(d.Texture(base ? 1 : 0), TextureName(mDecal));
                if (base && stages >= 3 && row->threeStageForm)
                {
                    EXPECT_EQ(d.Stage(0, D3DTSS_COLOROP), uint32_t(D3DTOP_SELECTARG1));
                    EXPECT_EQ(d.Stage(2, D3DTSS_COLOROP), uint32_t(D3DTOP_MODULATE));
                    EXPECT_EQ(d.Stage(2, D3DTSS_COLORARG1), uint32_t(D3DTA_DIFFUSE));
                }
                else if (base)
                {
                    EXPECT_EQ(d.Stage(0, D3DTSS_COLOROP), uint32_t(D3DTOP_MODULATE));
                }
                if (!base && row->noBaseFactor)
                {
                    EXPECT_EQ(d.Render(D3DRS_TEXTUREFACTOR), row->noBaseFactor);
                }
            }
        Stop();
    }
}

TEST_F(MatFxDraw, OnOneBlendStagePairNineOneTakesTwoPassesTheSecondDestColourZero)
{
    Start([](d3d9test::AdapterConfig& a) { a.caps.MaxTextureBlendStages = 1; });
    Atomic* atomic = Quad("stone");
    Material* m = MaterialOf(atomic);
    ASSERT_EQ(MatFx::SetEffects(m, kMatFxDual), m);
    Hold(mDecal, MatFx::GetData(m)->slots[0].dual.texture);
    MatFx::SetDualBlendModes(m, 9, 1);
    const std::vector<DrawState> draws = Render(atomic);
    ASSERT_EQ(draws.size(), 2u);
    EXPECT_EQ(draws[1].Render(D3DRS_SRCBLEND), uint32_t(D3DBLEND_DESTCOLOR));
    EXPECT_EQ(draws[1].Render(D3DRS_DESTBLEND), uint32_t(D3DBLEND_ZERO));
}

TEST_F(MatFxDraw, AFailedModulate2xValidationDropsThatPassForGood)
{
    Start();
    d3d9test::FailNext(d3d9test::Fault::ValidateDevice, D3DERR_UNSUPPORTEDCOLOROPERATION);
    Atomic* atomic = Quad("stone");
    Material* m = MaterialOf(atomic);
    ASSERT_EQ(MatFx::SetEffects(m, kMatFxDual), m);
    Hold(mDecal, MatFx::GetData(m)->slots[0].dual.texture);
    MatFx::SetDualBlendModes(m, 9, 3);
    size_t from = d3d9test::CallLog().size();
    EXPECT_EQ(Render(atomic).size(), 2u);
    EXPECT_EQ(CountSince(from, "ValidateDevice"), 1u);
    EXPECT_EQ(MatFxD3D9::GetModulate2xValidation(), kMatFxRefused);
    EXPECT_EQ(MatFxD3D9::GetCaps().modulate2x, 0);
    from = d3d9test::CallLog().size();
    EXPECT_EQ(Render(atomic).size(), 2u);
    EXPECT_EQ(CountSince(from, "ValidateDevice"), 0u);
}

TEST_F(MatFxDraw, TheEnvironmentCoefficientChoosesPlainAddOrMultiplyAdd)
{
    Start();
    struct Case
    {
        const char* what;
        const char* base;
        float coefficient;
        size_t draws;
        int stage;
        DWORD op;
        DWORD factor; ///< 0: the texture factor plays no part
    };
    const Case cases[] = {
        {"coefficient 0 draws plainly", "stone", 0.0f, 1, -1, 0, 0},
        {"1.0 adds without the factor", "stone", 1.0f, 1, 1, D3DTOP_ADD, 0},
        {"above 1 is clamped, not wrapped", "stone", 1.5f, 1, 1, D3DTOP_ADD, 0},
        {"1.0 without a base adds on stage 0", nullptr, 1.0f, 1, 0, D3DTOP_ADD, 0},
        {"a half multiplies and adds", "stone", 0.5f, 1, 1, D3DTOP_MULTIPLYADD, 0x80808080},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        Atomic* atomic = Quad(c.base);
        Material* m = MaterialOf(atomic);
        ASSERT_EQ(MatFx::SetEffects(m, kMatFxEnvMap), m);
        MatFxEffectSlot* env = MatFx::FindSlot(MatFx::GetData(m), kMatFxSlotEnv);
        Hold(mSky, env->env.texture);
        env->env.coefficient = c.coefficient;
        const std::vector<DrawState> draws = Render(atomic);
        ASSERT_EQ(draws.size(), c.draws);
        const DrawState& d = draws[0];
        if (c.stage < 0)
        {
            EXPECT_EQ(d.Stage(0, D3DTSS_COLOROP), uint32_t(D3DTOP_MODULATE));
            EXPECT_NE(d.Stage(0, D3DTSS_TEXTURETRANSFORMFLAGS), uint32_t(D3DTTFF_COUNT2));
            EXPECT_NE(d.Texture(1), TextureName(mSky));
            continue;
        }
        EXPECT_EQ(d.Stage(c.stage, D3DTSS_COLOROP), c.op);
        EXPECT_EQ(d.Texture(c.stage), TextureName(mSky));
        EXPECT_EQ(d.Stage(c.stage, D3DTSS_TEXCOORDINDEX), c.stage | D3DTSS_TCI_CAMERASPACENORMAL);
        EXPECT_EQ(d.Stage(c.stage, D3DTSS_TEXTURETRANSFORMFLAGS), uint32_t(D3DTTFF_COUNT2));
        if (c.factor)
        {
            EXPECT_EQ(d.Stage(c.stage, D3DTSS_COLORARG2), uint32_t(D3DTA_TFACTOR));
            EXPECT_EQ(d.Render(D3DRS_TEXTUREFACTOR), c.factor);
        }
        else
        {
            EXPECT_NE(d.Stage(c.stage, D3DTSS_COLORARG1), uint32_t(D3DTA_TFACTOR));
            EXPECT_NE(d.Stage(c.stage, D3DTSS_COLORARG2), uint32_t(D3DTA_TFACTOR));
        }
    }
    EXPECT_EQ(MatFxD3D9::GetAddEnvValidation(), kMatFxValidated);
    EXPECT_EQ(d3d9test::CountCalls("ValidateDevice"), 1u) << "asked once for the run";
}

TEST_F(MatFxDraw, AFailedEnvironmentValidationFallsBackToAnAdditivePass)
{
    Start();
    d3d9test::FailNext(d3d9test::Fault::ValidateDevice, D3DERR_UNSUPPORTEDCOLOROPERATION);
    Atomic* atomic = Quad("stone");
    Material* m = MaterialOf(atomic);
    ASSERT_EQ(MatFx::SetEffects(m, kMatFxEnvMap), m);
    MatFxEffectSlot* env = MatFx::FindSlot(MatFx::GetData(m), kMatFxSlotEnv);
    Hold(mSky, env->env.texture);
    env->env.coefficient = 0.5f;
    for (int frame = 0; frame < 2; ++frame)
    {
        SCOPED_TRACE(frame);
        const std::vector<DrawState> draws = Render(atomic);
        ASSERT_EQ(draws.size(), 2u);
        EXPECT_EQ(draws[0].Texture(0), TextureName(mStone));
        const DrawState& add = draws[1];
        EXPECT_EQ(add.Texture(0), TextureName(mSky));
        EXPECT_EQ(add.Render(D3DRS_SRCBLEND), uint32_t(D3DBLEND_SRCALPHA));
        EXPECT_EQ(add.Render(D3DRS_DESTBLEND), uint32_t(D3DBLEND_ONE));
        EXPECT_EQ(add.Stage(0, D3DTSS_COLOROP), uint32_t(D3DTOP_MODULATE));
        EXPECT_EQ(add.Stage(0, D3DTSS_COLORARG2), uint32_t(D3DTA_TFACTOR));
        EXPECT_EQ(add.Render(D3DRS_TEXTUREFACTOR), 0x80808080u);
        EXPECT_EQ(add.Render(D3DRS_ZWRITEENABLE), 0u);
        EXPECT_EQ(add.Render(D3DRS_LIGHTING), 0u);
        EXPECT_EQ(MatFxD3D9::GetAddEnvValidation(), kMatFxRefused);
    }
    EXPECT_EQ(d3d9test::CountCalls("ValidateDevice"), 1u);
}

TEST_F(MatFxDraw, ShaderChoiceFollowsEnvironmentAlphaAndFrameBufferAlpha)
{
    struct Bump
    {
        bool environment;
        int32_t c;
        bool fbAlpha, envAlpha;
        int32_t shader;
    };
    const Bump bumps[] = {
        {false, 255, true, true, kMatFxShaderBump},          {true, 0, true, true, kMatFxShaderBump},
        {true, 128, false, true, kMatFxShaderBumpEnv},       {true, 128, true, true, kMatFxShaderBumpEnvAlpha},
        {true, 128, true, false, kMatFxShaderBumpEnvOpaque},
    };
    for (const Bump& b : bumps)
    {
        EXPECT_EQ(MatFxD3D9::ChooseBumpShader(b.environment, b.c, b.fbAlpha, b.envAlpha), b.shader);
    }
    struct Env
    {
        bool base, envAlpha, fbAlpha, opaque;
        int32_t shader;
    };
    const Env envs[] = {
        {true, true, true, false, kMatFxShaderEnv},
        {false, true, false, true, kMatFxShaderEnvNoBase},
        {true, true, false, false, kMatFxShaderNone},
        {true, false, true, true, kMatFxShaderNone},
    };
    for (const Env& e : envs)
    {
        EXPECT_EQ(MatFxD3D9::ChooseEnvShader(e.base, e.envAlpha, e.fbAlpha, e.opaque), e.shader);
    }
    EXPECT_EQ(MatFxD3D9::CoefficientByte(0.5f), 128);
    EXPECT_EQ(MatFxD3D9::CoefficientByte(1.0f), 255);
    EXPECT_EQ(MatFxD3D9::CoefficientByte(1.5f), 255) << "clamped, not wrapped";
    EXPECT_EQ(MatFxD3D9::CoefficientByte(-0.5f), 0);

    // On the device: an environment with alpha and frame-buffer alpha takes E with the bump.
    Start();
    Texture* glass = MakeTexture("glass", std::vector<uint32_t>(16, 0x80FFFFFF));
    Atomic* atomic = Quad("rock");
    Material* m = MaterialOf(atomic);
    ASSERT_EQ(MatFx::SetEffects(m, kMatFxBumpEnvMap), m);
    ASSERT_EQ(MatFx::SetBumpTexture(m, mBump), m);
    MatFxEffectSlot* env = MatFx::FindSlot(MatFx::GetData(m), kMatFxSlotEnv);
    Hold(glass, env->env.texture);
    env->env.coefficient = 0.5f;
    env->env.frameBufferAlpha = 1;
    std::vector<DrawState> draws = Render(atomic);
    ASSERT_EQ(draws.size(), 1u);
    EXPECT_EQ(draws[0].pixelShader, ShaderName(kMatFxShaderBumpEnvAlpha));
    EXPECT_EQ(draws[0].Texture(2), TextureName(glass));
    // Environment alone with alpha over a base: B on stage 1.
    ASSERT_EQ(MatFx::SetEffects(m, kMatFxEnvMap), m);
    env = MatFx::FindSlot(MatFx::GetData(m), kMatFxSlotEnv);
    Hold(glass, env->env.texture);
    env->env.coefficient = 0.5f;
    env->env.frameBufferAlpha = 1;
    draws = Render(atomic);
    ASSERT_EQ(draws.size(), 1u);
    EXPECT_EQ(draws[0].pixelShader, ShaderName(kMatFxShaderEnv));
    EXPECT_EQ(draws[0].Texture(1), TextureName(glass));
}

// ---- Bump vertices from hand-built instance data ---------------------------------------------------------

struct V
{
    float p[3], n[3], uv[2], t[3];
};

class MatFxBumpVertices : public MatFxDraw
{
protected:
    void TearDown() override
    {
        Release();
        MatFxDraw::TearDown();
    }

    void Release()
    {
        if (mBuffer)
            D3D9VertexBuffer::Destroy(mStride, mStride * mCount, mBuffer, mOffset);
        if (mIndices)
            D3D9Device::ReleaseObject(mIndices);
        if (mDeclaration)
            D3D9Device::DestroyVertexDeclaration(mDeclaration);
        if (mMaterial)
            Material::Destroy(mMaterial);
        mBuffer = nullptr;
        mIndices = nullptr;
        mDeclaration = nullptr;
        mMaterial = nullptr;
    }

    /// Instance data of one mesh over the vertices and indices; with tangents when asked.
    InstanceMesh* Build(const std::vector<V>& vertices, const std::vector<uint16_t>& indices, D3DPRIMITIVETYPE type,
                        bool tangents, uint32_t primitives)
    {
        Release();
        mCount = UINT(vertices.size());
        mStride = tangents ? 44 : 32;
        std::vector<D3DVERTEXELEMENT9> e = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                            {0, 12, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_NORMAL, 0},
                                            {0, 24, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 0}};
        if (tangents)
            e.push_back({0, 32, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_TANGENT, 0});
        e.push_back({0xFF, 0, D3DDECLTYPE_UNUSED, 0, 0, 0});
        EXPECT_EQ(D3D9Device::CreateVertexDeclaration(e.data(), &mDeclaration), 1);
        EXPECT_EQ(D3D9VertexBuffer::Create(mStride, mStride * mCount, &mBuffer, &mOffset), 1);
        void* p = nullptr;
        EXPECT_EQ(mBuffer->Lock(mOffset, mStride * mCount, &p, 0), D3D_OK);
        for (size_t i = 0; i < vertices.size(); ++i)
            std::memcpy(static_cast<uint8_t*>(p) + i * mStride, &vertices[i], mStride);
        mBuffer->Unlock();
        EXPECT_EQ(D3D9Device::CreateIndexBuffer(UINT(indices.size()), &mIndices), 1);
        EXPECT_EQ(mIndices->Lock(0, 0, &p, 0), D3D_OK);
        std::memcpy(p, indices.data(), indices.size() * 2);
        mIndices->Unlock();

        mMaterial = Material::Create();
        MatFx::SetEffects(mMaterial, kMatFxBumpMap);
        MatFxBumpSlot& bump = MatFx::GetData(mMaterial)->slots[0].bump;
        bump.frame = MakeFrame({3, 4, -5});
        bump.bumpiness = 2.0f;
        bump.invWidth = 0.25f;

        mBlock.assign(sizeof(InstanceHeader) + sizeof(InstanceMesh), 0);
        auto* header = reinterpret_cast<InstanceHeader*>(mBlock.data());
        header->meshCount = 1;
        header->indexBuffer = mIndices;
        header->primitiveType = type;
        header->streams[0] = {mBuffer, mOffset, mStride, 0, 1, 0};
        header->vertexDeclaration = mDeclaration;
        InstanceMesh* mesh = InstanceHeader::Meshes(header);
        mesh->indexCount = uint32_t(indices.size());
        mesh->material = mMaterial;
        mesh->baseIndex = mOffset / mStride;
        mesh->vertexCount = mCount;
        mesh->primitiveCount = primitives;
        return mesh;
    }

    InstanceHeader* Header() { return reinterpret_cast<InstanceHeader*>(mBlock.data()); }

    IDirect3DVertexBuffer9* mBuffer = nullptr;
    IDirect3DIndexBuffer9* mIndices = nullptr;
    IDirect3DVertexDeclaration9* mDeclaration = nullptr;
    Material* mMaterial = nullptr;
    UINT mCount = 0, mStride = 0, mOffset = 0;
    std::vector<uint8_t> mBlock;
};

using D3 = std::array<double, 3>;
D3 Sub(const D3& a, const D3& b)
{
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}
double Dot(const D3& a, const D3& b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
D3 Cross(const D3& a, const D3& b)
{
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
D3 Unit(const D3& a)
{
    const double l = std::sqrt(Dot(a, a));
    return l > 0 ? D3{a[0] / l, a[1] / l, a[2] / l} : D3{0, 0, 0};
}
D3 P(const V& v)
{
    return {v.p[0], v.p[1], v.p[2]};
}

const D3 kLight = {3, 4, -5};
constexpr double kShift = 2.0 * 0.25;

// The expected shift of vertex v from the triangle corners o and q.
std::array<double, 2> TriangleShift(const V& v, const V& o, const V& q)
{
    const D3 e1 = Sub(P(o), P(v)), e2 = Sub(P(q), P(v));
    const double dv1 = o.uv[1] - v.uv[1], dv2 = q.uv[1] - v.uv[1];
    const D3 t = Unit({e1[0] * dv2 - e2[0] * dv1, e1[1] * dv2 - e2[1] * dv1, e1[2] * dv2 - e2[2] * dv1});
    const D3 b = Cross(t, {v.n[0], v.n[1], v.n[2]});
    const D3 d = Unit(Sub(kLight, P(v)));
    return {v.uv[0] - kShift * Dot(t, d), v.uv[1] - kShift * Dot(b, d)};
}

std::vector<V> Square()
{
    // A bent square: corners at different depths so that every vertex has its own tangent.
    return {{{0, 0, 0}, {0, 0, -1}, {0, 0}, {1, 0, 0}},
            {{1, 0, 0.5f}, {0, 0, -1}, {1, 0}, {1, 0, 0}},
            {{0, 1, 0.25f}, {0, 0, -1}, {0, 1}, {0.6f, 0.8f, 0}},
            {{1, 1, 1}, {0, 0, -1}, {1, 1}, {0, 1, 0}}};
}

TEST_F(MatFxBumpVertices, TangentsFromTheStreamShiftEachVertexTowardsTheLight)
{
    Start();
    const std::vector<V> v = Square();
    InstanceMesh* mesh = Build(v, {0, 1, 2, 1, 3, 2}, D3DPT_TRIANGLELIST, true, 2);
    std::vector<MatFxBumpVertex> out(v.size());
    ASSERT_EQ(MatFx::ComputeBumpVertices(Header(), mesh, out.data()), 4);
    for (size_t i = 0; i < v.size(); ++i)
    {
        const D3 t = {v[i].t[0], v[i].t[1], v[i].t[2]}, n = {v[i].n[0], v[i].n[1], v[i].n[2]};
        const D3 d = Unit(Sub(kLight, P(v[i])));
        EXPECT_FLOAT_EQ(out[i].x, v[i].p[0]);
        EXPECT_FLOAT_EQ(out[i].nz, -1.0f);
        EXPECT_EQ(out[i].colour, 0xFFFFFFFFu) << "no colours: white";
        EXPECT_FLOAT_EQ(out[i].u0, v[i].uv[0]);
        EXPECT_NEAR(out[i].u1, v[i].uv[0] + kShift * Dot(d, t), 1e-5) << i;
        EXPECT_NEAR(out[i].v1, v[i].uv[1] + kShift * Dot(d, Cross(t, n)), 1e-5) << i;
    }
}

TEST_F(MatFxBumpVertices, WithoutTangentsEachVertexTakesTheFirstTriangleItIsMetIn)
{
    Start();
    const std::vector<V> v = Square();
    struct Case
    {
        const char* what;
        std::vector<uint16_t> indices;
        D3DPRIMITIVETYPE type;
        uint32_t primitives;
        std::vector<std::array<int, 2>> corners; ///< per vertex, the corners its tangent comes from
    };
    const Case cases[] = {
        // Vertex 1 and 2 are shared: the first triangle decides.
        {"list", {0, 1, 2, 1, 3, 2}, D3DPT_TRIANGLELIST, 2, {{1, 2}, {2, 0}, {0, 1}, {2, 1}}},
        // Strips: 0 -> positions 1, 2; 1 -> 3, 2; j >= 2 -> j - 2, j - 1 swapped when odd.
        {"strip", {0, 1, 2, 3}, D3DPT_TRIANGLESTRIP, 2, {{1, 2}, {3, 2}, {0, 1}, {2, 1}}},
        // One triangle: position 3 does not exist, vertex 1 uses positions 0 and 2.
        {"strip of three", {0, 1, 2}, D3DPT_TRIANGLESTRIP, 1, {{1, 2}, {0, 2}, {0, 1}, {-1, -1}}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        InstanceMesh* mesh = Build(v, c.indices, c.type, false, c.primitives);
        std::vector<MatFxBumpVertex> out(v.size());
        ASSERT_EQ(MatFx::ComputeBumpVertices(Header(), mesh, out.data()), 4);
        for (size_t i = 0; i < v.size(); ++i)
        {
            if (c.corners[i][0] < 0)
            {
                EXPECT_FLOAT_EQ(out[i].u1, out[i].u0) << "a vertex of no triangle keeps its coordinates";
                continue;
            }
            const auto expected = TriangleShift(v[i], v[size_t(c.corners[i][0])], v[size_t(c.corners[i][1])]);
            EXPECT_NEAR(out[i].u1, expected[0], 1e-5) << i;
            EXPECT_NEAR(out[i].v1, expected[1], 1e-5) << i;
        }
    }
}

// ---- Frames -------------------------------------------------------------------------------------------------

double Channel(uint32_t argb, int shift)
{
    return double((argb >> shift) & 0xFF) / 255.0;
}

uint32_t Pack(const double (&rgb)[3])
{
    uint32_t out = 0xFF000000;
    for (int c = 0; c < 3; ++c)
        out |= uint32_t(std::lround(std::clamp(rgb[c], 0.0, 1.0) * 255.0)) << (16 - 8 * c);
    return out;
}

// The texel columns a pixel samples: the view is mirrored in x, u runs with x, and pixels
// sample at their integer corners. A pixel on a texel edge may take either column.
std::vector<int> Columns(int px)
{
    const int column = int(std::floor(4.0 - px / 16.0)) % 4;
    if (px % 16 == 0)
        return {column, (column + 3) % 4};
    return {column};
}

int Distance(uint32_t a, uint32_t b)
{
    int worst = 0;
    for (int shift : {0, 8, 16})
        worst = std::max(worst, std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)));
    return worst;
}

/// The reference of a frame whose pixels depend on their texel column only.
std::vector<uint32_t> ColumnFrame(const std::vector<uint32_t>& actual, const std::function<uint32_t(int)>& colour)
{
    std::vector<uint32_t> expected(size_t(kSize) * kSize);
    for (int py = 0; py < kSize; ++py)
        for (int px = 0; px < kSize; ++px)
        {
            const size_t at = size_t(py) * kSize + size_t(px);
            uint32_t best = 0;
            int nearest = 1 << 30;
            for (int c : Columns(px))
                if (Distance(colour(c), actual[at]) < nearest)
                {
                    best = colour(c);
                    nearest = Distance(best, actual[at]);
                }
            expected[at] = best;
        }
    return expected;
}

/// The frame of a bump-mapped quad over base columns with kBump, lit from far along x:
/// v0 x (t0 x (1 - t0.a) + t1 x t1.a), t1 the next column's texel.
std::vector<uint32_t> BumpReference(const std::vector<uint32_t>& frame, const uint32_t (&base)[4])
{
    uint32_t drawn[4];
    for (int i = 0; i < 4; ++i)
    {
        const uint32_t b = kBump[i];
        drawn[i] = (base[i] & 0xFFFFFF) | std::max({(b >> 16) & 0xFF, (b >> 8) & 0xFF, b & 0xFF}) << 24;
    }
    return ColumnFrame(frame,
                       [&](int i)
                       {
                           const int j = (i + 1) % 4;
                           double rgb[3];
                           for (int c = 0; c < 3; ++c)
                           {
                               const int shift = 16 - 8 * c;
                               rgb[c] = kPrelit[size_t(c)] / 255.0 *
                                        (Channel(drawn[i], shift) * (1 - Channel(drawn[i], 24)) +
                                         Channel(drawn[j], shift) * Channel(drawn[j], 24));
                           }
                           return Pack(rgb);
                       });
}

TEST_F(MatFxDraw, ABumpMappedQuadMatchesTheBumpShadersFormulaWithAndWithoutPixelShaders)
{
    for (bool shaders : {true, false})
    {
        SCOPED_TRACE(shaders ? "shader A" : "two passes");
        Start(
            [shaders](d3d9test::AdapterConfig& a)
            {
                if (!shaders)
                    a.caps.PixelShaderVersion = D3DPS_VERSION(1, 0);
            });
        DrawBumpQuad(shaders);
        Stop();
    }
}

void MatFxDraw::DrawBumpQuad(bool shaders)
{
    Atomic* atomic = Quad("rock");
    Material* m = MaterialOf(atomic);
    ASSERT_EQ(MatFx::SetEffects(m, kMatFxBumpMap), m);
    ASSERT_EQ(MatFx::SetBumpTexture(m, mBump), m);
    MatFxBumpSlot& bump = MatFx::GetData(m)->slots[0].bump;
    // A light far along x: every vertex shifts one texel (1 / 4 of the texture) along u.
    bump.frame = MakeFrame({1.0e5f, 0, kDepth});
    bump.bumpiness = 1.0f;
    const std::vector<DrawState> draws = Render(atomic);
    ASSERT_EQ(draws.size(), shaders ? 1u : 2u);
    EXPECT_EQ(draws[0].fvf, "0x252");
    if (shaders)
    {
        EXPECT_EQ(draws[0].pixelShader, ShaderName(kMatFxShaderBump));
    }
    else
    {
        // Colour x (1 - height), then colour x shifted height added from the second set.
        EXPECT_EQ(draws[0].Render(D3DRS_SRCBLEND), uint32_t(D3DBLEND_INVSRCALPHA));
        EXPECT_EQ(draws[0].Render(D3DRS_DESTBLEND), uint32_t(D3DBLEND_ZERO));
        EXPECT_EQ(draws[1].Render(D3DRS_SRCBLEND), uint32_t(D3DBLEND_SRCALPHA));
        EXPECT_EQ(draws[1].Render(D3DRS_DESTBLEND), uint32_t(D3DBLEND_ONE));
        EXPECT_EQ(draws[1].Stage(0, D3DTSS_TEXCOORDINDEX), 1u);
        EXPECT_EQ(draws[1].Render(D3DRS_ZWRITEENABLE), 0u);
    }

    const std::vector<uint32_t> frame = ReadOpaquePixels(mCamera->frameBuffer, kSize, kSize);
    EXPECT_EQ(framecheck::CheckFrame(shaders ? "matfx_bump_quad" : "matfx_bump_quad_two_passes", kSize, kSize, frame,
                                     BumpReference(frame, kRock), 3),
              "");
}

TEST_F(MatFxDraw, BasesWhoseNamesShareTheirFirstCharactersGetBumpTexturesOfTheirOwn)
{
    Start();
    // The drawn textures' names, built from at most 30 characters, come out the same.
    Texture* first = MakeTexture("riverbank_stones_moss_a", Columns(kRock));
    Texture* second = MakeTexture("riverbank_stones_moss_b", Columns(kMoss));
    Texture* bumpMap = MakeTexture("riverbank_bumpmap_detail", Columns(kBump));
    char a[kTextureNameSize], b[kTextureNameSize];
    MatFx::BumpTextureName(a, first->name, bumpMap->name);
    MatFx::BumpTextureName(b, second->name, bumpMap->name);
    ASSERT_STREQ(a, b);
    Atomic* quads[2] = {Quad(first->name), Quad(second->name)};
    for (Atomic* quad : quads)
    {
        Material* m = MaterialOf(quad);
        ASSERT_EQ(MatFx::SetEffects(m, kMatFxBumpMap), m);
        ASSERT_EQ(MatFx::SetBumpTexture(m, bumpMap), m);
        MatFxBumpSlot& bump = MatFx::GetData(m)->slots[0].bump;
        bump.frame = MakeFrame({1.0e5f, 0, kDepth});
        bump.bumpiness = 1.0f;
    }
    Texture* drawnFirst = MatFx::GetData(MaterialOf(quads[0]))->slots[0].bump.drawnTexture;
    Texture* drawnSecond = MatFx::GetData(MaterialOf(quads[1]))->slots[0].bump.drawnTexture;
    EXPECT_NE(drawnFirst, drawnSecond);
    EXPECT_STREQ(drawnSecond->name, b) << "the name stays as built";
    // A third material of the first pair shares the first's texture.
    Atomic* again = Quad(first->name);
    ASSERT_EQ(MatFx::SetEffects(MaterialOf(again), kMatFxBumpMap), MaterialOf(again));
    ASSERT_EQ(MatFx::SetBumpTexture(MaterialOf(again), bumpMap), MaterialOf(again));
    EXPECT_EQ(MatFx::GetData(MaterialOf(again))->slots[0].bump.drawnTexture, drawnFirst);

    Render(quads[1]);
    const std::vector<uint32_t> frame = ReadOpaquePixels(mCamera->frameBuffer, kSize, kSize);
    EXPECT_EQ(framecheck::CheckFrame("matfx_bump_second_base", kSize, kSize, frame, BumpReference(frame, kMoss), 3),
              "");
}

// base x v0 + environment x 128 / 255, the quad filling the frame.
std::vector<uint32_t> EnvironmentReference(const std::vector<uint32_t>& frame)
{
    return ColumnFrame(frame,
                       [](int i)
                       {
                           double rgb[3];
                           for (int c = 0; c < 3; ++c)
                           {
                               const int shift = 16 - 8 * c;
                               rgb[c] = Channel(kRock[i], shift) * kPrelit[size_t(c)] / 255.0 +
                                        Channel(kSky, shift) * 128.0 / 255.0;
                           }
                           return Pack(rgb);
                       });
}

TEST_F(MatFxDraw, AnEnvironmentMappedQuadAddsTheScaledEnvironmentToTheBase)
{
    Start();
    Atomic* atomic = Quad("stone");
    Material* m = MaterialOf(atomic);
    ASSERT_EQ(MatFx::SetEffects(m, kMatFxEnvMap), m);
    MatFxEffectSlot* env = MatFx::FindSlot(MatFx::GetData(m), kMatFxSlotEnv);
    Hold(mSky, env->env.texture);
    env->env.coefficient = 0.5f;
    const std::vector<DrawState> draws = Render(atomic);
    ASSERT_EQ(draws.size(), 1u);
    EXPECT_EQ(draws[0].Stage(1, D3DTSS_COLOROP), uint32_t(D3DTOP_MULTIPLYADD));
    const std::vector<uint32_t> frame = ReadOpaquePixels(mCamera->frameBuffer, kSize, kSize);
    EXPECT_EQ(framecheck::CheckFrame("matfx_env_quad", kSize, kSize, frame, EnvironmentReference(frame), 3), "");
}

TEST_F(MatFxDraw, AWorldSectorFlaggedInItsStreamDrawsThroughTheSectorPipeline)
{
    Start();
    WorldDescription d;
    d.format = kGeometryPositions | kGeometryTextured | kGeometryPrelit;
    d.numTexCoordSets = 1;
    WorldDescription::Leaf leaf;
    std::vector<float> uv;
    for (float y : {-2.0f, 2.0f})
        for (float x : {-2.0f, 2.0f})
        {
            leaf.positions.insert(leaf.positions.end(), {x, y, kDepth});
            leaf.prelit.push_back(kPrelit);
            uv.insert(uv.end(), {(x + 2) / 4, (2 - y) / 4});
        }
    leaf.texCoords = {uv};
    leaf.triangles = {{0, 1, 2, 0}, {1, 3, 2, 0}};
    leaf.extension = ChunkBuilder().Header(MatFx::kPluginId, 4).U32(1).bytes;
    d.leaves = {leaf};
    GeometryDescription::Material material;
    material.texture = "stone";
    d.materials = {material};
    d.listEntries = {0};
    World* world = ReadWorld(d);
    ASSERT_NE(world, nullptr);
    WorldSector* sector = reinterpret_cast<WorldSector*>(world->rootSector);
    EXPECT_EQ(sector->pipeline, MatFx::GetSectorPipeline());
    Material* m = world->materials.materials[0];
    ASSERT_EQ(MatFx::SetEffects(m, kMatFxEnvMap), m);
    MatFxEffectSlot* env = MatFx::FindSlot(MatFx::GetData(m), kMatFxSlotEnv);
    Hold(mSky, env->env.texture);
    env->env.coefficient = 0.5f;

    World::RemoveCamera(&mWorld->world, mCamera);
    World::AddCamera(world, mCamera);
    Engine::Current()->currentWorld = world;
    const size_t from = d3d9test::CallLog().size();
    const Rgba background = {0x20, 0x30, 0x40, 0xFF};
    Camera::Clear(mCamera, &background, kCameraClearImage | kCameraClearZ);
    ASSERT_EQ(Camera::BeginUpdate(mCamera), mCamera);
    Engine::Current()->device.setRenderState(20, 1);
    EXPECT_EQ(World::Render(world), world);
    EXPECT_EQ(Camera::EndUpdate(mCamera), mCamera);
    Camera::ShowRaster(mCamera, nullptr, 0);
    const std::vector<DrawState> draws = Draws(from);
    ASSERT_EQ(draws.size(), 1u);
    EXPECT_EQ(draws[0].Stage(1, D3DTSS_COLOROP), uint32_t(D3DTOP_MULTIPLYADD));
    const std::vector<uint32_t> frame = ReadOpaquePixels(mCamera->frameBuffer, kSize, kSize);
    EXPECT_EQ(framecheck::CheckFrame("matfx_env_sector", kSize, kSize, frame, EnvironmentReference(frame), 3), "");

    World::RemoveCamera(world, mCamera);
    World::AddCamera(&mWorld->world, mCamera);
    Engine::Current()->currentWorld = nullptr;
    World::Destroy(world);
}

TEST_F(MatFxDraw, BumpMappedMeshesAskForTangentsOnlyWithPixelShadersAndUnlitMeshesDrawBlack)
{
    for (bool shaders : {true, false})
    {
        Start(
            [shaders](d3d9test::AdapterConfig& a)
            {
                if (!shaders)
                    a.caps.PixelShaderVersion = D3DPS_VERSION(1, 0);
            });
        Atomic* atomic = Quad("rock");
        Material* m = MaterialOf(atomic);
        ASSERT_EQ(MatFx::SetEffects(m, kMatFxBumpMap), m);
        ASSERT_EQ(MatFx::SetBumpTexture(m, mBump), m);
        Render(atomic);
        EXPECT_EQ((VertexShaderFlags::Get(atomic->geometry) & 0x10000) != 0, shaders);
        Stop();
    }

    // Neither lit nor prelit: opaque black whatever the effect.
    Start();
    GeometryDescription g;
    g.format = kGeometryPositions;
    g.numVertices = 3;
    g.targets = {{{0, 0, 0, 3}, {-1, -1, 0, 1, -1, 0, 0, 1, 0}, {}}};
    g.triangles = {{0, 1, 2, 0}};
    g.materials = {GeometryDescription::Material{}};
    g.listEntries = {0};
    Atomic* atomic = MakeAtomic(ReadGeometry(g), {0, 0, kDepth});
    MatFx::EnableAtomic(atomic);
    Material* m = MaterialOf(atomic);
    ASSERT_EQ(MatFx::SetEffects(m, kMatFxEnvMap), m);
    const std::vector<DrawState> draws = Render(atomic);
    ASSERT_EQ(draws.size(), 1u);
    EXPECT_EQ(draws[0].Render(D3DRS_TEXTUREFACTOR), 0xFF000000u);
    EXPECT_EQ(draws[0].Stage(0, D3DTSS_COLOROP), uint32_t(D3DTOP_SELECTARG2));
    EXPECT_EQ(draws[0].Stage(0, D3DTSS_COLORARG2), uint32_t(D3DTA_TFACTOR));
    EXPECT_EQ(draws[0].Stage(0, D3DTSS_ALPHAOP), uint32_t(D3DTOP_SELECTARG2));
    const std::vector<uint32_t> frame = ReadOpaquePixels(mCamera->frameBuffer, kSize, kSize);
    EXPECT_EQ(frame[size_t(kSize / 2) * kSize + kSize / 2], 0xFF000000u);
}

} // namespace
