// Shared fixture of the scene-graph tests: a started renderer (the engine's modules are open
// only once it starts), nodes that record their scene entries and exits and may carry a
// clump, and small clumps built in code.
#pragma once

#include "clump.h"
#include "hbchunkstream.h"
#include "renderer_fixture.h"
#include "w3dframe.h"

#include <string>
#include <vector>

struct PluginRegistry;
struct World;
struct Texture;

namespace renderertest
{

/// The order in which nodes entered ("+name") and left ("-name") their scene.
std::vector<std::string>& SceneLog();

/// A frame node with a name for the log and an optional clump hung on its frame, which it
/// destroys with itself.
class LoggingNode : public W3dFrame
{
public:
    static LoggingNode* Make(const char* name);
    ~LoggingNode() override;

    void OnAddToWorld() override { SceneLog().push_back("+" + mName); }
    void OnRemoveFromWorld() override { SceneLog().push_back("-" + mName); }
    void* GetEngineObject() override { return mClump; }
    void ForAllAtomics(AtomicFunction fn, void* user) override;

    /// Hangs the clump on the node's frame; the node owns it.
    void SetClump(Clump* clump);
    Clump* GetClump() const { return mClump; }

    std::string mName;

private:
    LoggingNode() = default;
    Clump* mClump = nullptr;
};

/// One atomic per entry: a one-triangle geometry whose first material has the texture (none
/// for null), each atomic on a frame of its own under the clump's frame. Geometries
/// without materials for an entry of kNoMaterials.
Clump* MakeClump(const std::vector<Texture*>& textures);
Texture* const kNoMaterials = reinterpret_cast<Texture*>(uintptr_t(1));
/// The atomics in clump order.
std::vector<Atomic*> Atomics(Clump* clump);

/// The world chunk (type 11) found in the bytes, read through the engine; null when there is
/// none or the engine refuses it.
World* ReadWorldChunk(const std::vector<uint8_t>& bytes);

/// The bytes of a world chunk: one sector, a wall of two prelit triangles facing -z at
/// depth z, x from 0 to 30 and y from -30 to 30, with its collision tree.
std::vector<uint8_t> WallWorldBytes(float z, const uint8_t* rgb);

/// A framework chunk stream reading a copy of the bytes.
class ChunkBytes
{
public:
    explicit ChunkBytes(std::vector<uint8_t> bytes);
    ~ChunkBytes();
    HbMChunkStream* Stream() { return mStream; }

private:
    HbMChunkStream* mStream;
};

/// The size an extension asked for, or -1 when the id has none in the registry.
int32_t ExtensionSizeOf(const PluginRegistry* registry, int32_t pluginId);

class SceneTest : public RendererTest
{
protected:
    void SetUp() override;
};

} // namespace renderertest
