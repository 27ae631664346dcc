// W3dLevel: what a mission area shows, a "WL" resource read from a chunk stream: its main
// world, a collision world for line tests, the sky, a light field or a set of lights, the
// placed static objects and the game cameras' clip distances. Making it the scene's level
// binds its objects and lights to the scene. A level without a root chunk is empty: no
// worlds, and its users draw and hit nothing.
#pragma once

#include "hbgrowarray.h"
#include "hbroot.h"

#include <cstdint>

struct World;
class HbMChunkStream;
class W3dNode;
class W3dSky;
class W3dWorld;
class WLightFieldManager;
class WScene;

class W3dLevel : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    static constexpr float kDefaultNearClip = 15.0f;
    static constexpr float kDefaultFarClip = 10000.0f;
    /// Every level chunk; key1 tells its kind.
    static constexpr uint32_t kChunkId = 4097;
    enum ChunkKind : uint32_t
    {
        kRootChunk = 0,
        kLightsChunk = 2,
        kWorldsChunk = 3,
        kSkiesChunk = 4,
        kObjectsChunk = 6, ///< key2 1
        kClipChunk = 8,
        kCollisionWorldsChunk = 9,
        kLightFieldsChunk = 10,
    };

    /// An empty level. Reference count 0: the caller takes its reference.
    static W3dLevel* Create();
    ~W3dLevel() override;

    /// Reads the level from its chunk stream inside its texture dictionary. 1, or 0 when
    /// no main world could be had.
    int Load(HbStream* stream, const char* name) override;
    int32_t LoadFromChunks(HbMChunkStream* stream, const char* name);
    std::string GetTypeKey() const override { return "WL"; }
    int IsShared() const override { return 1; }

    /// Makes the level the scene's: its objects go into the transparent render list, the
    /// light field's two lights (or else its own lights) hang under the scene's root.
    void Bind(WScene* scene);
    /// Undoes Bind.
    void Unbind(WScene* scene);
    /// Replaces the light field by the resource of that name (kept only when it is a light
    /// field), moving the lights under the scene's root accordingly when a scene is given.
    void SetLightField(const char* name, WScene* scene);

    /// The engine world drawn (null: none).
    World* GetMainWorld() const;
    /// The engine world line tests use: the collision world, else the main world.
    World* GetCollisionWorld() const;
    W3dWorld* GetMainWorldResource() const { return mMainWorld; }
    W3dWorld* GetCollisionWorldResource() const { return mCollisionWorld; }
    /// A world built in code (not owned), used when the level has no world resource.
    void SetMainWorld(World* world) { mBareWorld = world; }
    W3dSky* GetSky() const { return mSky; }
    /// One reference on the new sky, whose owner becomes this level; the old one's owner is
    /// cleared and its reference released.
    void SetSky(W3dSky* sky);
    WLightFieldManager* GetLightField() const { return mLightField; }
    /// A placed object, with one reference.
    int32_t AddObject(W3dNode* object);
    /// A light, with one reference.
    int32_t AddLight(W3dNode* light);
    const HbPtrArray& GetObjects() const { return mObjects; }
    const HbPtrArray& GetLights() const { return mLights; }
    float GetNearClip() const { return mNearClip; }
    float GetFarClip() const { return mFarClip; }

private:
    W3dLevel() = default;
    void AttachLights(WScene* scene);
    void DetachLights(WScene* scene);

    W3dWorld* mMainWorld = nullptr;
    W3dWorld* mCollisionWorld = nullptr;
    World* mBareWorld = nullptr;
    WLightFieldManager* mLightField = nullptr;
    HbPtrArray mLights;
    W3dSky* mSky = nullptr;
    float mNearClip = kDefaultNearClip;
    float mFarClip = kDefaultFarClip;
    HbPtrArray mObjects;
};
