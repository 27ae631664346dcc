// The engine data that levels and game code place: "WO" static objects (a clump in a scene
// node with render items; every user gets its own copy), "WW" worlds (shared), "TEX"
// texture-library entries (a texture by name), and the bounding sphere of a clump.
#pragma once

#include "hbroot.h"
#include "w3dnode.h"

#include <cstdint>
#include <string>

struct Clump;
struct Texture;
struct World;

/// The bounding sphere of every vertex of the clump, in its frame's space (an approximate
/// smallest sphere, grown point by point). The model's frames are left as they are. 1, or 0
/// when an atomic's frame lies outside the clump's tree or there are no vertices.
int32_t ClumpComputeBounds(Clump* clump, Sphere* sphere);

class W3dObject : public W3dNode
{
    HB_DECLARE_CLASS_DESC();

public:
    static W3dObject* Create();
    ~W3dObject() override;

    /// UV animations, the clump chunk in the object's texture dictionary, bounds, owners,
    /// animated textures, render items. 1, or 0 without a clump.
    int Load(HbStream* stream, const char* name) override;
    /// Placement by a level: a matrix (12 reals) into the clump's frame. 0 when the stream
    /// ends first.
    int ReadChunks(HbMChunkStream* stream) override;
    int CloneInto(HbRoot** target) override;
    std::string GetTypeKey() const override { return "WO"; }

    const Sphere* GetBoundingSphere() override { return &mBounds; }
    Frame* GetEngineFrame() override;
    void* GetEngineObject() override { return mClump; }
    void ForAllClumps(ClumpFunction fn, void* user) override;
    void ForAllAtomics(AtomicFunction fn, void* user) override;
    void ForAllFrames(FrameFunction fn, void* user) override;
    void OnAddToWorld() override;
    void OnRemoveFromWorld() override;

    Clump* GetClump() const { return mClump; }
    /// Takes the clump (built in code) as if loaded: bounds, owners, render items.
    void SetClump(Clump* clump);

private:
    W3dObject();

    Clump* mClump = nullptr;
    Sphere mBounds = {{0.0f, 0.0f, 0.0f}, 100.0f};
};

class W3dWorld : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    static W3dWorld* Create();
    ~W3dWorld() override;

    /// UV animations, the world chunk in the world's texture dictionary, animated textures.
    int Load(HbStream* stream, const char* name) override;
    int ReadChunks(HbMChunkStream*) override { return 1; }
    int WriteChunks(HbMChunkStream* stream) override;
    std::string GetTypeKey() const override { return "WW"; }
    int IsShared() const override { return 1; }

    World* GetWorld() const { return mWorld; }
    /// The world is owned from now on (a world built in code).
    void SetWorld(World* world);

private:
    W3dWorld() = default;
    World* mWorld = nullptr;
};

class WTextureLibObject : public HbRoot
{
public:
    static WTextureLibObject* Create();
    ~WTextureLibObject() override;

    /// The texture of the id through the texture manager; the stream is not read.
    int Load(HbStream* stream, const char* name) override;
    int CloneInto(HbRoot** target) override;
    std::string GetTypeKey() const override { return "TEX"; }

    Texture* GetTexture() const { return mTexture; }
    const std::string& GetName() const { return mName; }

private:
    WTextureLibObject() = default;
    Texture* mTexture = nullptr;
    std::string mName;
};
