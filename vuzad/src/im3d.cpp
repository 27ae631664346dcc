// Immediate-mode 3D: the batch and render request, the drawing calls, the current and
// default pipelines, and the module that builds the default pipelines.
#include "im3d.h"

#include "engine.h"
#include "error.h"
#include "pipeline.h"

namespace
{

/// Pipelines by primitive type: index = type - 1.
struct Im3dModuleBlock
{
    Pipeline* transformPipeline;
    Pipeline* renderPipelines[kIm3dNumPrimitives];
    Pipeline* defaultTransformPipeline;
    Pipeline* defaultRenderPipelines[kIm3dNumPrimitives];
    Im3dBatch batch;
};

constexpr int32_t kImmediatePipelinePluginId = 1; ///< marks the pipelines immediate mode built

Im3dModuleBlock* sBlock = nullptr;
const Im3dDeviceNodes* sNodes = nullptr;
int32_t sOpenCount = 0;

void Report(int32_t code)
{
    Error::Report(kCorePluginId, code);
}

/// A one-node pipeline of the definition, or null (what was built is destroyed).
Pipeline* BuildPipeline(NodeDefinition* definition)
{
    if (!definition)
        return nullptr;
    Pipeline* pipeline = Pipeline::Create();
    if (!pipeline)
        return nullptr;
    pipeline->pluginId = kImmediatePipelinePluginId;
    NodeDefinition* nodes[] = {definition, nullptr};
    if (!Pipeline::Lock(pipeline) || !Pipeline::AppendNodes(pipeline, nullptr, nodes) || !Pipeline::Unlock(pipeline))
    {
        Pipeline::Destroy(pipeline);
        return nullptr;
    }
    return pipeline;
}

/// The default render pipeline is shared by types 1-5; it is destroyed once.
void DestroyDefaults(Im3dModuleBlock* block)
{
    Pipeline* render = block->defaultRenderPipelines[kIm3dTriList - 1];
    Pipeline::Destroy(render);
    for (int32_t t = 0; t < kIm3dNumPrimitives; ++t)
    {
        if (block->defaultRenderPipelines[t] != render)
            Pipeline::Destroy(block->defaultRenderPipelines[t]);
        block->defaultRenderPipelines[t] = nullptr;
        block->renderPipelines[t] = nullptr;
    }
    Pipeline::Destroy(block->defaultTransformPipeline);
    block->defaultTransformPipeline = nullptr;
    block->transformPipeline = nullptr;
}

int32_t Render(int32_t primitiveType, const uint16_t* indices, int32_t numIndices)
{
    if (!sBlock || !sBlock->batch.vertices)
    {
        Report(kCoreErrIm3dNoBatch);
        return 0;
    }
    Im3dRenderRequest& request = sBlock->batch.render;
    request.pipeline = nullptr;
    request.primitiveType = primitiveType;
    request.indices = indices;
    request.numIndices = numIndices;
    if (primitiveType >= kIm3dLineList && primitiveType <= kIm3dTriFan)
        request.pipeline = sBlock->renderPipelines[primitiveType - 1];
    else
        Report(kCoreErrIm3dPrimitive);
    return Pipeline::Execute(request.pipeline, &request, 0) ? 1 : 0;
}

} // namespace

// ---- Drawing ------------------------------------------------------------------------------------------

Im3dVertex* Im3d::Transform(Im3dVertex* vertices, uint32_t numVertices, const Matrix* matrix, uint32_t flags)
{
    if (numVertices > kIm3dMaxVertices)
    {
        Report(kCoreErrIm3dTooManyVertices);
        return nullptr;
    }
    if (!sBlock)
        return nullptr;
    Im3dBatch& batch = sBlock->batch;
    batch.numVertices = numVertices;
    batch.vertices = vertices;
    batch.vertexSize = int32_t(sizeof(Im3dVertex));
    batch.flags = flags | kIm3dVertexLayout | kIm3dCallerVertices;
    batch.matrix = matrix;
    return Pipeline::Execute(sBlock->transformPipeline, &batch, 1) ? vertices : nullptr;
}

int32_t Im3d::RenderPrimitive(int32_t primitiveType)
{
    return Render(primitiveType, nullptr, sBlock ? int32_t(sBlock->batch.numVertices) : 0);
}

int32_t Im3d::RenderIndexedPrimitive(int32_t primitiveType, const uint16_t* indices, int32_t numIndices)
{
    if (primitiveType == kIm3dLineList)
        numIndices -= numIndices % 2;
    else if (primitiveType == kIm3dTriList)
        numIndices -= numIndices % 3;
    return Render(primitiveType, indices, numIndices);
}

int32_t Im3d::End()
{
    if (!sBlock || !sBlock->batch.vertices)
        return 0;
    sBlock->batch = {};
    return 1;
}

// ---- Pipelines ----------------------------------------------------------------------------------------

Pipeline* Im3d::SetTransformPipeline(Pipeline* pipeline)
{
    if (!sBlock)
        return nullptr;
    sBlock->transformPipeline = pipeline ? pipeline : sBlock->defaultTransformPipeline;
    return sBlock->transformPipeline;
}

Pipeline* Im3d::SetRenderPipeline(Pipeline* pipeline, int32_t primitiveType)
{
    if (primitiveType < kIm3dLineList || primitiveType > kIm3dPointList)
    {
        Report(kCoreErrIm3dPrimitive);
        return nullptr;
    }
    if (!sBlock)
        return nullptr;
    int32_t t = primitiveType - 1;
    sBlock->renderPipelines[t] = pipeline ? pipeline : sBlock->defaultRenderPipelines[t];
    return sBlock->renderPipelines[t];
}

void Im3d::SetDeviceNodes(const Im3dDeviceNodes* nodes)
{
    sNodes = nodes;
}

// ---- The module ---------------------------------------------------------------------------------------

const int32_t Im3d::kModuleBlockSize = sizeof(Im3dModuleBlock);

void* Im3d::OpenModule(void* engine, int32_t offset, int32_t)
{
    auto* block = static_cast<Im3dModuleBlock*>(Engine::Block(static_cast<Engine*>(engine), offset));
    ++sOpenCount;
    *block = {};
    if (sNodes)
    {
        block->defaultTransformPipeline =
            BuildPipeline(sNodes->instanceDefinition ? sNodes->instanceDefinition() : nullptr);
        Pipeline* render = block->defaultTransformPipeline
                               ? BuildPipeline(sNodes->renderDefinition ? sNodes->renderDefinition() : nullptr)
                               : nullptr;
        bool resources = render && (!sNodes->createResources || sNodes->createResources());
        if (!resources)
        {
            Pipeline::Destroy(render);
            Pipeline::Destroy(block->defaultTransformPipeline);
            *block = {};
            --sOpenCount;
            return nullptr;
        }
        block->transformPipeline = block->defaultTransformPipeline;
        for (int32_t t = kIm3dLineList; t <= kIm3dTriFan; ++t)
            block->defaultRenderPipelines[t - 1] = block->renderPipelines[t - 1] = render;
    }
    sBlock = block;
    return engine;
}

void* Im3d::CloseModule(void* engine, int32_t offset, int32_t)
{
    auto* block = static_cast<Im3dModuleBlock*>(Engine::Block(static_cast<Engine*>(engine), offset));
    if (sNodes && sNodes->releaseResources && block->defaultTransformPipeline)
        sNodes->releaseResources();
    DestroyDefaults(block);
    *block = {};
    sBlock = nullptr;
    --sOpenCount;
    return engine;
}

int32_t Im3d::GetModuleOpenCount()
{
    return sOpenCount;
}
