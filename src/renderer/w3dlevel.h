// W3dLevel: what the scene draws and tests against while a mission area is played: its main
// world, its sky, its placed objects and its lights. For now the level is put together in
// code (its world given as an engine world); reading it from its resource comes with the
// level resource.
#pragma once

#include "hbgrowarray.h"
#include "hbroot.h"

#include <cstdint>

struct World;
class W3dNode;
class W3dSky;
class WScene;

class W3dLevel : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    static constexpr float kDefaultNearClip = 15.0f;
    static constexpr float kDefaultFarClip = 10000.0f;

    /// An empty level. Reference count 0: the caller takes its reference.
    static W3dLevel* Create();
    ~W3dLevel() override;

    /// Makes the level the scene's: its objects go into the transparent render list, its
    /// lights hang under the scene's root.
    void Bind(WScene* scene);
    /// Undoes Bind.
    void Unbind(WScene* scene);

    /// The engine world drawn and tested against (the level does not own it; null: none).
    World* GetMainWorld() const { return mMainWorld; }
    void SetMainWorld(World* world) { mMainWorld = world; }
    W3dSky* GetSky() const { return mSky; }
    /// One reference on the new sky, whose owner becomes this level; the old one's owner is
    /// cleared and its reference released.
    void SetSky(W3dSky* sky);
    /// A placed object, with one reference.
    int32_t AddObject(W3dNode* object);
    /// A light, with one reference.
    int32_t AddLight(W3dNode* light);
    float GetNearClip() const { return mNearClip; }
    float GetFarClip() const { return mFarClip; }

private:
    W3dLevel() = default;

    World* mMainWorld = nullptr;
    HbPtrArray mLights;
    W3dSky* mSky = nullptr;
    float mNearClip = kDefaultNearClip;
    float mFarClip = kDefaultFarClip;
    HbPtrArray mObjects;
};
