// The scene-graph tests' fixture.
#include "scene_fixture.h"

#include "collisiontreewriter.h"
#include "frame.h"
#include "geometry.h"
#include "material.h"
#include "plugin.h"
#include "stream.h"
#include "texture.h"
#include "world.h"
#include "worldwriter.h"

#include <algorithm>
#include <cstring>

namespace renderertest
{

std::vector<std::string>& SceneLog()
{
    static std::vector<std::string> log;
    return log;
}

LoggingNode* LoggingNode::Make(const char* name)
{
    auto* node = new LoggingNode();
    if (node)
        node->mName = name;
    return node;
}

LoggingNode::~LoggingNode()
{
    if (mClump)
    {
        // The clump's frame hangs under the node's: take it off before either goes.
        if (mClump->frame && mClump->frame->parent)
            Frame::RemoveChild(mClump->frame);
        Clump::Destroy(mClump);
    }
}

void LoggingNode::SetClump(Clump* clump)
{
    mClump = clump;
    if (clump && clump->frame)
        Frame::AddChild(mFrame, clump->frame);
}

void LoggingNode::ForAllAtomics(AtomicFunction fn, void* user)
{
    for (Atomic* atomic : Atomics(mClump))
        if (!fn(this, atomic, user))
            return;
}

Clump* MakeClump(const std::vector<Texture*>& textures)
{
    Clump* clump = Clump::Create();
    Frame* root = Frame::Create();
    clump->frame = root;
    for (Texture* texture : textures)
    {
        Geometry* geometry = Geometry::Create(3, 1, kGeometryPositions);
        MorphTarget& target = geometry->morphTargets[0];
        target.positions[0] = {0, 0, 0};
        target.positions[1] = {1, 0, 0};
        target.positions[2] = {0, 1, 0};
        Geometry::SetTriangleVertices(geometry, &geometry->triangles[0], 0, 1, 2);
        if (texture != kNoMaterials)
        {
            Material* material = Material::Create();
            if (texture)
            {
                Material::SetTexture(material, texture);
            }
            Geometry::SetTriangleMaterial(geometry, &geometry->triangles[0], material);
            Material::Destroy(material);
        }
        MorphTarget::CalcBoundingSphere(&target, &target.boundingSphere);
        Geometry::Unlock(geometry);
        Atomic* atomic = Atomic::Create();
        Frame* frame = Frame::Create();
        Frame::AddChild(root, frame);
        Atomic::SetFrame(atomic, frame);
        Atomic::SetGeometry(atomic, geometry, 0);
        Geometry::Destroy(geometry);
        Clump::AddAtomic(clump, atomic);
    }
    return clump;
}

namespace
{
Atomic* Collect(Atomic* atomic, void* data)
{
    static_cast<std::vector<Atomic*>*>(data)->push_back(atomic);
    return atomic;
}
} // namespace

std::vector<Atomic*> Atomics(Clump* clump)
{
    std::vector<Atomic*> atomics;
    if (clump)
        Clump::ForAllAtomics(clump, Collect, &atomics);
    return atomics;
}

int32_t ExtensionSizeOf(const PluginRegistry* registry, int32_t pluginId)
{
    for (const PluginEntry* entry = registry->first; entry; entry = entry->next)
        if (entry->pluginId == pluginId)
            return entry->size;
    return -1;
}

World* ReadWorldChunk(const std::vector<uint8_t>& bytes)
{
    MemoryBlock block{const_cast<uint8_t*>(bytes.data()), uint32_t(bytes.size())};
    Stream* in = Stream::Open(kStreamMemory, kStreamRead, &block);
    World* world = nullptr;
    if (in && Stream::FindChunk(in, 11, nullptr, nullptr))
        world = World::StreamRead(in);
    if (in)
        Stream::Close(in, nullptr);
    return world;
}

namespace
{
class BytesBuf : public HbStreamBuf
{
public:
    explicit BytesBuf(std::vector<uint8_t> bytes) : mBytes(std::move(bytes)) {}
    int Close() override { return 1; }
    size_t Read(void* destination, size_t count) override
    {
        const size_t n = std::min(count, mBytes.size() - mPosition);
        if (n)
            std::memcpy(destination, mBytes.data() + mPosition, n);
        mPosition += n;
        return n;
    }
    size_t Write(const void*, size_t) override { return 0; }
    int Seek(int64_t offset, int origin) override
    {
        const int64_t base = origin == 0 ? 0 : origin == 1 ? int64_t(mPosition) : int64_t(mBytes.size());
        const int64_t to = base + offset;
        if (to < 0 || to > int64_t(mBytes.size()))
            return 0;
        mPosition = size_t(to);
        return 1;
    }
    int64_t Tell() override { return int64_t(mPosition); }
    int64_t Size() override { return int64_t(mBytes.size()); }

private:
    std::vector<uint8_t> mBytes;
    size_t mPosition = 0;
};
} // namespace

ChunkBytes::ChunkBytes(std::vector<uint8_t> bytes) : mStream(new HbMChunkStream(new BytesBuf(std::move(bytes)))) {}

ChunkBytes::~ChunkBytes()
{
    delete mStream;
}

std::vector<uint8_t> WallWorldBytes(float z, const uint8_t* rgb)
{
    WorldDescription d;
    d.format = kGeometryPositions | kGeometryPrelit;
    GeometryDescription::Material plain;
    plain.colour = {255, 255, 255, 255};
    d.materials = {plain};
    d.listEntries = {0};
    WorldDescription::Leaf leaf;
    leaf.positions = {0, -30, z, 30, -30, z, 0, 30, z, 30, 30, z};
    leaf.prelit.assign(4, {rgb[0], rgb[1], rgb[2], 255});
    leaf.triangles = {{0, 2, 1, 0}, {1, 2, 3, 0}};
    std::vector<std::array<uint16_t, 3>> triangles = {{0, 2, 1}, {1, 2, 3}};
    leaf.extension = CollisionTreeWriter::WriteExtension(
        CollisionTreeWriter::WritePluginData(CollisionTreeWriter::Build(leaf.positions, triangles, 4)));
    d.leaves.push_back(leaf);
    d.box = {30, 30, z + 1, 0, -30, z - 1};
    return WorldWriter::Write(d);
}

void SceneTest::SetUp()
{
    RendererTest::SetUp();
    SceneLog().clear();
    Started();
}

} // namespace renderertest
