// Tests of immediate-mode 3D on the Direct3D 9 driver: the pixels of the index-buffer, small,
// plain and from-memory paths read back against a CPU reference, and in the call log the
// declarations, clipping per batch, primitive counts, the index buffer's wrap and the
// fallback when a lock fails.
#include "d3d9driverfixture.h"
#include "d3d9im3dpipeline.h"
#include "d3d9renderstate.h"
#include "framecheck.h"
#include "im3d.h"
#include "matrix.h"
#include "pipeline.h"

#include <cstring>
#include <string>

namespace d3d9driver
{
namespace
{

using Strings = std::vector<std::string>;

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr uint32_t kBackground = 0xFF000000;

/// A point in clip space: the view and projection are the identity while these tests draw.
Im3dVertex V(float x, float y, uint32_t colour)
{
    return {x, y, 0.5f, 0, 0, 1, colour, 0, 0};
}

/// The four corners of a clip-space rectangle, counter-clockwise from the bottom left.
std::vector<Im3dVertex> Quad(float x0, float y0, float x1, float y1, uint32_t colour)
{
    return {V(x0, y0, colour), V(x1, y0, colour), V(x1, y1, colour), V(x0, y1, colour)};
}

/// The elements of the declaration bound last: 3 for C, 4 for B, 5 for A (end marker counted).
UINT BoundElements()
{
    IDirect3DVertexDeclaration9* declaration = D3D9Device::GetBindings()->declaration;
    D3DVERTEXELEMENT9 elements[MAXD3DDECLLENGTH + 1];
    UINT count = MAXD3DDECLLENGTH + 1;
    if (!declaration || declaration == D3D9Device::Unknown<IDirect3DVertexDeclaration9>() ||
        FAILED(declaration->GetDeclaration(elements, &count)))
        return 0;
    return count;
}

bool Contains(const Strings& calls, const std::string& text)
{
    for (const std::string& call : calls)
        if (call == text)
            return true;
    return false;
}

class D3D9Im3dDrawing : public DriverTest
{
protected:
    /// Started, inside a camera update over the back buffer with the identity view and
    /// projection, culling off, cleared to black.
    void BeginFrame()
    {
        Start();
        mCamera = MakeCamera();
        mFrame = Frame::Create();
        FrameObject::SetFrame(&mCamera->object, mFrame);
        const Rgba black = {0, 0, 0, 0xFF};
        ASSERT_EQ(Camera::Clear(mCamera, &black, kCameraClearImage | kCameraClearZ), mCamera);
        ASSERT_EQ(Camera::BeginUpdate(mCamera), mCamera);
        ASSERT_EQ(D3D9Device::SetTransform(D3DTS_VIEW, nullptr), 1);
        ASSERT_EQ(D3D9Device::SetTransform(D3DTS_PROJECTION, nullptr), 1);
        ASSERT_EQ(D3D9Device::SetEngineRenderState(20, 1), 1); // cull none
    }

    void TearDown() override
    {
        if (mCamera)
        {
            if (Engine::Current()->currentCamera)
                Camera::EndUpdate(mCamera);
            DestroyCamera(mCamera);
            Frame::Destroy(mFrame);
        }
        DriverTest::TearDown();
    }

    /// The frame as 0xAARRGGBB with alpha forced opaque, read back through the camera raster.
    std::vector<uint32_t> ReadFrame() { return ReadOpaquePixels(mCamera->frameBuffer, kWidth, kHeight); }

    /// Paints a clip-space rectangle into the reference by pixel centres.
    static void Paint(std::vector<uint32_t>& frame, float x0, float y0, float x1, float y1, uint32_t colour)
    {
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
            {
                float cx = (x + 0.5f) / (kWidth / 2.0f) - 1.0f;
                float cy = 1.0f - (y + 0.5f) / (kHeight / 2.0f);
                if (cx > x0 && cx < x1 && cy > y0 && cy < y1)
                    frame[size_t(y) * kWidth + size_t(x)] = colour;
            }
    }

    Camera* mCamera = nullptr;
    Frame* mFrame = nullptr;
};

TEST_F(D3D9Im3dDrawing, EveryPathDrawsTheBatchsPixels)
{
    BeginFrame();
    std::vector<uint32_t> expected(size_t(kWidth) * kHeight, kBackground);
    const uint16_t two[] = {0, 1, 2, 0, 2, 3};
    d3d9test::ClearCallLog();
    d3d9test::EnableCallLog(true);

    // Four vertices, six indices: the shared index buffer.
    std::vector<Im3dVertex> a = Quad(-0.75f, 0.25f, -0.25f, 0.75f, 0xFFC02010);
    ASSERT_NE(Im3d::Transform(a.data(), 4, nullptr, 0), nullptr);
    ASSERT_EQ(Im3d::RenderIndexedPrimitive(kIm3dTriList, two, 6), 1);
    EXPECT_EQ(Im3d::End(), 1);
    EXPECT_EQ(BoundElements(), 3u) << "position and colour";
    Strings indexed = d3d9test::CallArgs("DrawIndexedPrimitive");
    ASSERT_EQ(indexed.size(), 1u);
    EXPECT_EQ(indexed[0].substr(indexed[0].find(", 0, 4, 0, 2")), ", 0, 4, 0, 2") << indexed[0];
    EXPECT_EQ(SubmitNoLightNode::GetIndexOffset(), 6u);
    Strings locks = d3d9test::CallArgs("IndexBuffer::Lock");
    ASSERT_EQ(locks.size(), 1u);
    EXPECT_NE(locks[0].find(", 0, 12, 0x1000"), std::string::npos) << locks[0];
    Paint(expected, -0.75f, 0.25f, -0.25f, 0.75f, 0xFFC02010);

    // Six vertices named by six indices: copied in index order and drawn without indices.
    d3d9test::ClearCallLog();
    std::vector<Im3dVertex> b = Quad(0.25f, 0.25f, 0.75f, 0.75f, 0xFF10C020);
    std::vector<Im3dVertex> six = {b[2], b[1], b[0], b[3], b[2], b[0]};
    const uint16_t picks[] = {2, 1, 0, 5, 4, 3};
    ASSERT_NE(Im3d::Transform(six.data(), 6, nullptr, kIm3dTextured), nullptr);
    ASSERT_EQ(Im3d::RenderIndexedPrimitive(kIm3dTriList, picks, 6), 1);
    Im3d::End();
    EXPECT_EQ(BoundElements(), 4u) << "position, colour and texture coordinates";
    EXPECT_EQ(d3d9test::CountCalls("IndexBuffer::Lock"), 0u);
    Strings plain = d3d9test::CallArgs("DrawPrimitive");
    ASSERT_EQ(plain.size(), 1u);
    EXPECT_EQ(plain[0].substr(plain[0].rfind(", ")), ", 2") << "two triangles";
    Strings vertexLocks = d3d9test::CallArgs("VertexBuffer::Lock");
    ASSERT_EQ(vertexLocks.size(), 1u);
    EXPECT_NE(vertexLocks[0].find(", 144, 0x"), std::string::npos) << "6 vertices of 24 bytes: " << vertexLocks[0];
    // The first vertex written is the one the first index names, without its normal.
    std::vector<BYTE> bytes;
    ASSERT_TRUE(d3d9test::ReadBuffer(D3D9Device::GetBindings()->streams[0].buffer, bytes));
    UINT start = UINT(std::stoul(plain[0].substr(plain[0].find(", ") + 2)));
    float written[6];
    std::memcpy(written, bytes.data() + size_t(start) * 24, sizeof written);
    EXPECT_EQ(written[0], b[0].x);
    EXPECT_EQ(written[1], b[0].y);
    uint32_t colour;
    std::memcpy(&colour, &written[3], sizeof colour);
    EXPECT_EQ(colour, 0xFF10C020u);
    Paint(expected, 0.25f, 0.25f, 0.75f, 0.75f, 0xFF10C020);

    // No indices: the batch as a fan, moved down by its matrix.
    std::vector<Im3dVertex> c = Quad(-0.25f, -0.25f, 0.25f, 0.25f, 0xFF2040C0);
    Matrix down = {};
    down.right = {1, 0, 0};
    down.up = {0, 1, 0};
    down.at = {0, 0, 1};
    down.pos = {0, -0.5f, 0};
    down.flags = 3;
    ASSERT_NE(Im3d::Transform(c.data(), 4, &down, 0), nullptr);
    ASSERT_EQ(Im3d::RenderPrimitive(kIm3dTriFan), 1);
    Im3d::End();
    Paint(expected, -0.25f, -0.75f, 0.25f, -0.25f, 0xFF2040C0);

    // A failing lock: the batch's own vertices and indices straight from memory.
    d3d9test::ClearCallLog();
    std::vector<Im3dVertex> d = Quad(0.25f, -0.75f, 0.75f, -0.25f, 0xFFC0C020);
    ASSERT_NE(Im3d::Transform(d.data(), 4, nullptr, 0), nullptr);
    d3d9test::FailNext(d3d9test::Fault::Lock, D3DERR_INVALIDCALL);
    ASSERT_EQ(Im3d::RenderIndexedPrimitive(kIm3dTriList, two, 6), 1);
    Im3d::End();
    EXPECT_EQ(d3d9test::CountCalls("DrawIndexedPrimitiveUP"), 1u);
    EXPECT_EQ(BoundElements(), 5u) << "the 36-byte vertex";
    EXPECT_TRUE(Contains(d3d9test::CallArgs("SetIndices"), "null"));
    Paint(expected, 0.25f, -0.75f, 0.75f, -0.25f, 0xFFC0C020);

    ASSERT_EQ(Camera::EndUpdate(mCamera), mCamera);
    std::vector<uint32_t> actual = ReadFrame();
    ASSERT_EQ(actual.size(), expected.size());
    EXPECT_EQ(framecheck::CheckFrame("im3d_paths", kWidth, kHeight, actual, expected, 2), "");
}

TEST_F(D3D9Im3dDrawing, ClippingFollowsEachBatchAndCountsFollowTheType)
{
    BeginFrame();
    std::vector<Im3dVertex> five = {V(0, 0, ~0u), V(0.1f, 0, ~0u), V(0.1f, 0.1f, ~0u), V(0, 0.1f, ~0u),
                                    V(-0.1f, 0.1f, ~0u)};
    d3d9test::ClearCallLog();
    d3d9test::EnableCallLog(true);
    Strings clipping;
    for (uint32_t flags : {0u, uint32_t(kIm3dNoClip), 0u})
    {
        ASSERT_NE(Im3d::Transform(five.data(), 5, nullptr, flags), nullptr);
        ASSERT_EQ(Im3d::RenderPrimitive(kIm3dPolyLine), 1);
        ASSERT_EQ(Im3d::RenderPrimitive(kIm3dTriFan), 1);
        Im3d::End();
    }
    for (const std::string& call : d3d9test::CallArgs("SetRenderState"))
        if (call.rfind("136, ", 0) == 0)
            clipping.push_back(call);
    EXPECT_EQ(clipping, (Strings{"136, 1", "136, 0", "136, 1"}));
    Strings draws = d3d9test::CallArgs("DrawPrimitive");
    ASSERT_EQ(draws.size(), 6u);
    EXPECT_EQ(draws[0].substr(0, 3), "3, ") << "a line strip";
    EXPECT_EQ(draws[0].substr(draws[0].rfind(", ")), ", 4") << "5 vertices, 4 segments";
    EXPECT_EQ(draws[1].substr(0, 3), "6, ") << "a fan";
    EXPECT_EQ(draws[1].substr(draws[1].rfind(", ")), ", 3") << "5 vertices, 3 triangles";
    EXPECT_EQ(d3d9test::CountCalls("SetVertexDeclaration"), 1u) << "sent once while it stays the same";

    // An index past the batch's vertices draws nothing.
    d3d9test::ClearCallLog();
    const uint16_t past[] = {0, 1, 5};
    ASSERT_NE(Im3d::Transform(five.data(), 5, nullptr, 0), nullptr);
    EXPECT_EQ(Im3d::RenderIndexedPrimitive(kIm3dTriList, past, 3), 0);
    EXPECT_EQ(d3d9test::CountCalls("VertexBuffer::Lock") + d3d9test::CountCalls("DrawPrimitiveUP") +
                  d3d9test::CountCalls("DrawIndexedPrimitiveUP"),
              0u);
    Im3d::End();
}

TEST_F(D3D9Im3dDrawing, TheIndexBufferStartsAgainWhenTheIndicesWouldReachItsEnd)
{
    BeginFrame();
    std::vector<Im3dVertex> quad = Quad(-0.1f, -0.1f, 0.1f, 0.1f, 0xFFFFFFFF);
    std::vector<uint16_t> indices(1000);
    for (size_t i = 0; i < indices.size(); ++i)
        indices[i] = uint16_t(i % 4);
    SubmitNoLightNode::SetIndexOffset(65000);
    d3d9test::ClearCallLog();
    d3d9test::EnableCallLog(true);
    ASSERT_NE(Im3d::Transform(quad.data(), 4, nullptr, 0), nullptr);
    ASSERT_EQ(Im3d::RenderIndexedPrimitive(kIm3dLineList, indices.data(), 1000), 1);
    Im3d::End();
    Strings locks = d3d9test::CallArgs("IndexBuffer::Lock");
    ASSERT_EQ(locks.size(), 1u);
    EXPECT_NE(locks[0].find(", 0, 2000, 0x2000"), std::string::npos) << locks[0];
    Strings draws = d3d9test::CallArgs("DrawIndexedPrimitive");
    ASSERT_EQ(draws.size(), 1u);
    EXPECT_EQ(draws[0].substr(draws[0].find(", 0, 4, 0, 500")), ", 0, 4, 0, 500") << draws[0];
    EXPECT_EQ(SubmitNoLightNode::GetIndexOffset(), 1000u);
}

TEST_F(D3D9Im3dDrawing, ResourcesLiveWithTheModuleAndTheDefaultPipelinesUseTheDriversNodes)
{
    Start();
    IDirect3DIndexBuffer9* buffer = SubmitNoLightNode::GetIndexBuffer();
    ASSERT_NE(buffer, nullptr);
    D3DINDEXBUFFER_DESC desc{};
    ASSERT_EQ(buffer->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Size, 131070u);
    EXPECT_EQ(desc.Pool, D3DPOOL_DEFAULT) << "the adapter does hardware transform and lighting";
    EXPECT_EQ(desc.Usage, DWORD(D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC));
    int32_t index = -1;
    EXPECT_NE(
        Pipeline::FindNode(Im3d::SetRenderPipeline(nullptr, kIm3dLineList), "D3D9SubmitNoLight.node", nullptr, &index),
        nullptr);
    EXPECT_EQ(index, 0);
    EXPECT_NE(Pipeline::FindNode(Im3d::SetTransformPipeline(nullptr), "Im3DInstance.node", nullptr, nullptr), nullptr);

    ASSERT_EQ(Engine::Stop(), 1);
    EXPECT_EQ(SubmitNoLightNode::GetIndexBuffer(), nullptr);
}

} // namespace
} // namespace d3d9driver
