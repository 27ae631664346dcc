// Benchmark: the 2D toolkit's drawing against plain immediate-mode batches of the same
// vertices. A frame of 1000 filled rounded boxes (flattened, coloured and batched by the
// toolkit) and a frame of 2000 glyphs (20 strings of 100), each against a loop that
// submits the vertices the toolkit produced; prints both time ratios at the end.
#include "benchsupport.h"
#include "brush2d.h"
#include "camera.h"
#include "font2d.h"
#include "frame.h"
#include "growlist.h"
#include "im3d.h"
#include "path2d.h"
#include "pipeline.h"
#include "raster.h"
#include "texture.h"
#include "toolkit2d.h"
#include "vector.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

namespace
{

constexpr int kBoxes = 1000;
constexpr int kStrings = 20;
constexpr int kGlyphsPerString = 100;

const Im3dBatch* sBatch = nullptr;
uint64_t sDrawn = 0;
// While set, every batch drawn is kept: the plain loops replay them.
struct Kept
{
    std::vector<Im3dVertex> vertices;
    std::vector<uint16_t> indices;
    int32_t primitive;
    uint32_t flags;
};
std::vector<Kept>* sKeep = nullptr;

int32_t InstanceBody(PipelineNode*, const NodeExecutionParameters* parameters)
{
    sBatch = static_cast<const Im3dBatch*>(parameters->data);
    return 1;
}

// Stands for the device's submit node: what every draw does with its request.
int32_t RenderBody(PipelineNode*, const NodeExecutionParameters* parameters)
{
    const auto* request = static_cast<const Im3dRenderRequest*>(parameters->data);
    sDrawn += uint64_t(request->numIndices) + sBatch->numVertices;
    if (sKeep)
        sKeep->push_back({std::vector<Im3dVertex>(sBatch->vertices, sBatch->vertices + sBatch->numVertices),
                          std::vector<uint16_t>(request->indices, request->indices + request->numIndices),
                          request->primitiveType, sBatch->flags & 0x7});
    return 1;
}

NodeDefinition BodyOnly(const char* name, NodeBody body)
{
    NodeDefinition definition = {};
    definition.name = name;
    definition.body = body;
    return definition;
}

NodeDefinition sInstance = BodyOnly("Im3DInstance.node", InstanceBody);
NodeDefinition sRender = BodyOnly("Bench.node", RenderBody);
NodeDefinition* Instance()
{
    return &sInstance;
}
NodeDefinition* Render()
{
    return &sRender;
}
const Im3dDeviceNodes kNodes = {Instance, Render, nullptr, nullptr};

bool InstallNodes()
{
    Im3d::SetDeviceNodes(&kNodes);
    return true;
}

Path2d* RoundedBox(float x0, float y0, float x1, float y1, float r)
{
    const float k = 0.5523f * r;
    Path2d* path = Path2d::Create();
    Path2d::MoveTo(path, x0 + r, y0);
    Path2d::LineTo(path, x1 - r, y0);
    Path2d::CurveTo(path, x1 - r + k, y0, x1, y0 + r - k, x1, y0 + r);
    Path2d::LineTo(path, x1, y1 - r);
    Path2d::CurveTo(path, x1, y1 - r + k, x1 - r + k, y1, x1 - r, y1);
    Path2d::LineTo(path, x0 + r, y1);
    Path2d::CurveTo(path, x0 + r - k, y1, x0, y1 - r + k, x0, y1 - r);
    Path2d::LineTo(path, x0, y0 + r);
    Path2d::CurveTo(path, x0, y0 + r - k, x0 + r - k, y0, x0 + r, y0);
    return Path2d::ClosePath(path);
}

struct Scene
{
    Camera* camera = nullptr;
    Frame* frame = nullptr;
    std::vector<Path2d*> boxes;
    Brush2d* brush = nullptr;
    Texture* texture = nullptr;
    Font2d* font = nullptr;
    std::vector<std::string> strings;
    std::vector<Kept> boxBatches, textBatches;
};
Scene sScene;

bool BuildScene()
{
    Scene& s = sScene;
    s.camera = Camera::Create();
    s.frame = Frame::Create();
    if (!s.camera || !s.frame)
        return false;
    // The null device makes no rasters; the toolkit reads only the frame buffer's size.
    static Raster frameBuffer = {};
    frameBuffer.width = 640;
    frameBuffer.height = 480;
    s.camera->frameBuffer = &frameBuffer;
    FrameObject::SetFrame(&s.camera->object, s.frame);
    const Vector2 window = {2.0f / 3.0f, 0.5f};
    Camera::SetViewWindow(s.camera, &window);
    if (Toolkit2d::Open(s.camera) != 1)
        return false;
    for (int i = 0; i < kBoxes; ++i)
    {
        float x = 0.01f * float(i % 100), y = 0.02f * float(i / 100);
        s.boxes.push_back(RoundedBox(x, y, x + 0.2f, y + 0.1f, 0.03f));
    }
    s.brush = Brush2d::Create();
    const Rgba c0 = {40, 40, 200, 255}, c1 = {200, 40, 120, 255}, c2 = {200, 200, 80, 255}, c3 = {40, 200, 160, 255};
    Brush2d::SetColors(s.brush, &c0, &c1, &c2, &c3);

    // A font of 95 glyphs on one texture, as a listed font would hold them.
    s.texture = Texture::Create(nullptr);
    s.font = Font2d::Create();
    s.font->kind = kFont2dBitmap;
    s.font->textures[0] = s.texture;
    for (int code = 32; code < 127; ++code)
    {
        auto* glyph = static_cast<Font2dGlyph*>(GrowList::AddEntry(s.font->glyphs, 0));
        *glyph = {0.5f + 0.003f * float(code), s.texture, 0, 0, 0.1f, 0.1f, nullptr, 0};
        s.font->direct[code] = int16_t(code - 32);
    }
    s.font->numGlyphs = s.font->glyphs->count;
    for (int i = 0; i < kStrings; ++i)
    {
        std::string text;
        for (int k = 0; k < kGlyphsPerString; ++k)
            text += char(33 + (i * 7 + k) % 94);
        s.strings.push_back(text);
    }
    return true;
}

void DrawBoxes()
{
    for (Path2d* box : sScene.boxes)
        Path2d::Fill(box, sScene.brush);
}

void DrawText()
{
    for (int i = 0; i < kStrings; ++i)
    {
        Vector2 anchor = {0.0f, 0.05f * float(i)};
        Font2d::RenderString(sScene.font, sScene.strings[size_t(i)].c_str(), 0.02f, &anchor, sScene.brush);
    }
}

void Replay(const std::vector<Kept>& batches)
{
    const Matrix* matrix = Device2d::GetMatrix();
    for (const Kept& batch : batches)
    {
        if (Im3d::Transform(const_cast<Im3dVertex*>(batch.vertices.data()), uint32_t(batch.vertices.size()), matrix,
                            batch.flags))
        {
            Im3d::RenderIndexedPrimitive(batch.primitive, batch.indices.data(), int32_t(batch.indices.size()));
            Im3d::End();
        }
    }
}

void BM_ToolkitBoxes(benchmark::State& state)
{
    for (auto _ : state)
        DrawBoxes();
    benchmark::DoNotOptimize(sDrawn);
    state.SetItemsProcessed(state.iterations() * kBoxes);
}
BENCHMARK(BM_ToolkitBoxes)->Name("Toolkit2d/boxes");

void BM_PlainBoxes(benchmark::State& state)
{
    for (auto _ : state)
        Replay(sScene.boxBatches);
    benchmark::DoNotOptimize(sDrawn);
    state.SetItemsProcessed(state.iterations() * kBoxes);
}
BENCHMARK(BM_PlainBoxes)->Name("Plain/boxes");

void BM_ToolkitText(benchmark::State& state)
{
    for (auto _ : state)
        DrawText();
    benchmark::DoNotOptimize(sDrawn);
    state.SetItemsProcessed(state.iterations() * kStrings * kGlyphsPerString);
}
BENCHMARK(BM_ToolkitText)->Name("Toolkit2d/glyphs");

void BM_PlainText(benchmark::State& state)
{
    for (auto _ : state)
        Replay(sScene.textBatches);
    benchmark::DoNotOptimize(sDrawn);
    state.SetItemsProcessed(state.iterations() * kStrings * kGlyphsPerString);
}
BENCHMARK(BM_PlainText)->Name("Plain/glyphs");

} // namespace

int main(int argc, char** argv)
{
    if (!BenchStartEngine(InstallNodes) || !BuildScene())
    {
        std::fprintf(stderr, "the engine or the scene did not start\n");
        return 1;
    }
    sKeep = &sScene.boxBatches;
    DrawBoxes();
    sKeep = &sScene.textBatches;
    DrawText();
    sKeep = nullptr;
    std::printf("a frame: %zu box batches, %zu text batches\n", sScene.boxBatches.size(), sScene.textBatches.size());
    int result = BenchRunWithRatios(argc, argv,
                                    {{"1000 rounded boxes: toolkit / plain batches", "Toolkit2d/boxes", "Plain/boxes"},
                                     {"2000 glyphs: toolkit / plain batches", "Toolkit2d/glyphs", "Plain/glyphs"}},
                                    "the ratio is what flattening, colouring and batching add to the same draws");
    for (Path2d* box : sScene.boxes)
        Path2d::Destroy(box);
    Brush2d::Destroy(sScene.brush);
    Font2d::Destroy(sScene.font);
    Toolkit2d::Close();
    sScene.camera->frameBuffer = nullptr;
    Camera::Destroy(sScene.camera);
    Frame::Destroy(sScene.frame);
    BenchStopEngine();
    Im3d::SetDeviceNodes(nullptr);
    return result;
}
