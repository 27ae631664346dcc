// Tests of immediate-mode 3D through recording nodes in place of the device's: the batch and
// render requests the pipelines receive, index counts per type, errors, the current and
// default pipelines, and the module's open with and without device nodes.
#include "engine.h"
#include "error.h"
#include "im3d.h"
#include "pipeline.h"
#include "testdevice.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{

int32_t TakeError()
{
    Error e;
    Error::Get(&e);
    return e.code;
}

// ---- Recording nodes --------------------------------------------------------------------------------

struct Drawn
{
    int32_t type;
    int32_t numIndices;
    const uint16_t* indices;
    uint32_t numVertices;
    uint32_t flags;
};

const Im3dBatch* sBatch = nullptr;
std::vector<Drawn> sDrawn;
int32_t sCreates = 0;
int32_t sReleases = 0;
int32_t sCreateAnswer = 1;

int32_t InstanceBody(PipelineNode*, const NodeExecutionParameters* parameters)
{
    sBatch = static_cast<const Im3dBatch*>(parameters->data);
    return 1;
}

int32_t RenderBody(PipelineNode*, const NodeExecutionParameters* parameters)
{
    const auto* request = static_cast<const Im3dRenderRequest*>(parameters->data);
    sDrawn.push_back(
        {request->primitiveType, request->numIndices, request->indices, sBatch->numVertices, sBatch->flags});
    return 1;
}

/// A definition with only a name and a body.
NodeDefinition BodyOnly(const char* name, NodeBody body)
{
    NodeDefinition definition = {};
    definition.name = name;
    definition.body = body;
    return definition;
}

NodeDefinition sInstance = BodyOnly("Im3DInstance.node", InstanceBody);
NodeDefinition sRender = BodyOnly("Recording.node", RenderBody);

NodeDefinition* Instance()
{
    return &sInstance;
}
NodeDefinition* Render()
{
    return &sRender;
}
int32_t Create()
{
    ++sCreates;
    return sCreateAnswer;
}
int32_t Release()
{
    ++sReleases;
    return 0;
}

const Im3dDeviceNodes kNodes = {Instance, Render, Create, Release};

class Im3dDrawing : public EngineFixture
{
protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        sBatch = nullptr;
        sDrawn.clear();
        sCreates = sReleases = 0;
        sCreateAnswer = 1;
        Im3d::SetDeviceNodes(&kNodes);
        mVertices.resize(kIm3dMaxVertices + 1);
    }
    void TearDown() override
    {
        EngineFixture::TearDown();
        Im3d::SetDeviceNodes(nullptr);
    }

    std::vector<Im3dVertex> mVertices;
};

TEST_F(Im3dDrawing, ABatchReachesTheRenderNodeWithItsRequest)
{
    StartEngine();
    EXPECT_EQ(sCreates, 1);
    int32_t index = -1;
    EXPECT_NE(Pipeline::FindNode(Im3d::SetTransformPipeline(nullptr), "Im3DInstance.node", nullptr, &index), nullptr);
    EXPECT_EQ(index, 0);

    ASSERT_EQ(Im3d::Transform(mVertices.data(), 4, nullptr, kIm3dTextured), mVertices.data());
    ASSERT_NE(sBatch, nullptr);
    EXPECT_EQ(sBatch->vertexSize, 36);
    EXPECT_EQ(sBatch->flags, kIm3dTextured | kIm3dVertexLayout | kIm3dCallerVertices);
    EXPECT_EQ(Im3d::RenderPrimitive(kIm3dTriStrip), 1);
    const uint16_t indices[8] = {0, 1, 2, 2, 1, 3, 0, 3};
    EXPECT_EQ(Im3d::RenderIndexedPrimitive(kIm3dLineList, indices, 7), 1);
    EXPECT_EQ(Im3d::RenderIndexedPrimitive(kIm3dTriList, indices, 8), 1);
    EXPECT_EQ(Im3d::RenderIndexedPrimitive(kIm3dTriFan, indices, 5), 1);
    ASSERT_EQ(sDrawn.size(), 4u);
    EXPECT_EQ(sDrawn[0].numIndices, 4) << "a plain draw counts the batch's vertices";
    EXPECT_EQ(sDrawn[0].indices, nullptr);
    EXPECT_EQ(sDrawn[1].numIndices, 6) << "7 line-list indices draw 3 lines";
    EXPECT_EQ(sDrawn[2].numIndices, 6) << "8 triangle-list indices draw 2 triangles";
    EXPECT_EQ(sDrawn[3].numIndices, 5);
    EXPECT_EQ(sDrawn[2].indices, indices);
    EXPECT_EQ(Im3d::End(), 1);
    EXPECT_EQ(Im3d::End(), 0) << "no batch is open";

    ShutDownEngine();
    EXPECT_EQ(sReleases, 1);
}

TEST_F(Im3dDrawing, VertexCountsUpTo65536AreDrawnAndMoreAreRefused)
{
    StartEngine();
    ASSERT_NE(Im3d::Transform(mVertices.data(), kIm3dMaxVertices, nullptr, 0), nullptr);
    ASSERT_EQ(Im3d::RenderPrimitive(kIm3dPolyLine), 1);
    EXPECT_EQ(sDrawn.back().numVertices, 65536u) << "the count does not wrap to an empty batch";
    EXPECT_EQ(sDrawn.back().numIndices, 65536);
    TakeError();
    EXPECT_EQ(Im3d::Transform(mVertices.data(), kIm3dMaxVertices + 1, nullptr, 0), nullptr);
    EXPECT_EQ(TakeError(), kCoreErrIm3dTooManyVertices);
}

TEST_F(Im3dDrawing, RenderCallsRefuseAMissingBatchAndUnknownTypes)
{
    StartEngine();
    TakeError();
    EXPECT_EQ(Im3d::RenderPrimitive(kIm3dTriList), 0);
    EXPECT_EQ(TakeError(), kCoreErrIm3dNoBatch);
    ASSERT_NE(Im3d::Transform(mVertices.data(), 3, nullptr, 25), nullptr);
    EXPECT_EQ(sBatch->flags, 25u) << "0x08 and 0x10 are always present";
    for (int32_t type : {0, int32_t(kIm3dPointList), 7})
    {
        EXPECT_EQ(Im3d::RenderPrimitive(type), 0);
        EXPECT_EQ(TakeError(), kCoreErrIm3dPrimitive);
    }
    // A point-list pipeline may be set, but no render call draws points.
    Pipeline* custom = Im3d::SetRenderPipeline(nullptr, kIm3dTriList);
    EXPECT_EQ(Im3d::SetRenderPipeline(custom, kIm3dPointList), custom);
    EXPECT_EQ(Im3d::RenderIndexedPrimitive(kIm3dPointList, nullptr, 0), 0);
    EXPECT_EQ(TakeError(), kCoreErrIm3dPrimitive);
    EXPECT_TRUE(sDrawn.empty());
    EXPECT_EQ(Im3d::End(), 1);
    EXPECT_EQ(Im3d::RenderPrimitive(kIm3dTriList), 0) << "after End";
    EXPECT_EQ(TakeError(), kCoreErrIm3dNoBatch);
}

TEST_F(Im3dDrawing, PipelineSettersFallBackToTheDefaults)
{
    StartEngine();
    Pipeline* defaultRender = Im3d::SetRenderPipeline(nullptr, kIm3dTriList);
    ASSERT_NE(defaultRender, nullptr);
    for (int32_t type = kIm3dLineList; type <= kIm3dTriFan; ++type)
        EXPECT_EQ(Im3d::SetRenderPipeline(nullptr, type), defaultRender) << "one default for types 1-5";
    EXPECT_EQ(Im3d::SetRenderPipeline(nullptr, kIm3dPointList), nullptr);

    Pipeline* other = Pipeline::Create();
    EXPECT_EQ(Im3d::SetRenderPipeline(other, kIm3dTriList), other);
    ASSERT_NE(Im3d::Transform(mVertices.data(), 3, nullptr, 0), nullptr);
    EXPECT_EQ(Im3d::RenderPrimitive(kIm3dTriList), 0) << "an empty pipeline draws nothing";
    EXPECT_EQ(Im3d::SetRenderPipeline(nullptr, kIm3dTriList), defaultRender);
    EXPECT_EQ(Im3d::RenderPrimitive(kIm3dTriList), 1);
    TakeError();
    EXPECT_EQ(Im3d::SetRenderPipeline(other, 0), nullptr);
    EXPECT_EQ(TakeError(), kCoreErrIm3dPrimitive);

    Pipeline* defaultTransform = Im3d::SetTransformPipeline(nullptr);
    EXPECT_EQ(Im3d::SetTransformPipeline(other), other);
    EXPECT_EQ(Im3d::Transform(mVertices.data(), 3, nullptr, 0), nullptr);
    EXPECT_EQ(Im3d::SetTransformPipeline(nullptr), defaultTransform);
    Pipeline::Destroy(other);
}

TEST_F(Im3dDrawing, TheModuleFailsWhenTheDeviceResourcesCannotBeMade)
{
    sCreateAnswer = 0;
    ASSERT_EQ(Engine::Init(TestMemory::Functions(), 0, 0), 1);
    ASSERT_EQ(Engine::Open(&mWindow), 1);
    EXPECT_EQ(Engine::Start(), 0);
    EXPECT_EQ(Im3d::GetModuleOpenCount(), 0);
    EXPECT_EQ(sReleases, 0);
}

TEST_F(Im3dDrawing, WithoutDeviceNodesTheEngineStartsAndDrawsNothing)
{
    Im3d::SetDeviceNodes(nullptr);
    StartEngine();
    EXPECT_EQ(Im3d::GetModuleOpenCount(), 1);
    EXPECT_EQ(Im3d::Transform(mVertices.data(), 3, nullptr, 0), nullptr);
    EXPECT_EQ(Im3d::SetRenderPipeline(nullptr, kIm3dTriList), nullptr);
}

} // namespace
