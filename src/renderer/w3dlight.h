// W3dLight: a scene node that wraps an engine light hung on a frame of its own. Four resource
// types make the four kinds; a level places them, a light field makes its own pair. Copies
// of a light resource share the one engine light and its frame.
#pragma once

#include "w3dnode.h"

#include <cstdint>

struct Light;

class W3dLight : public W3dNode
{
    HB_DECLARE_CLASS_DESC();

public:
    ~W3dLight() override;

    /// The node of a factory key ("W3DDIRECTIONALLIGHT", "W3DAMBIENTLIGHT", "W3DPOINTLIGHT",
    /// "W3DSPOTLIGHT"), its engine light made and framed, lighting atomics only. Null for
    /// another key or when the light or its frame cannot be had.
    static W3dLight* CreateOfKey(const char* key);

    /// Stores the colour and gives it to the engine light.
    void SetColor(const float* color);
    const float* GetColor() const { return mColor; }
    Light* GetLight() const;

    /// Placement by a level: a colour (4 reals) and a matrix (12 reals) whose at row is kept
    /// and right and up rebuilt from it. 1, or 0 when the stream ends first (nothing applied).
    int ReadChunks(HbMChunkStream* stream) override;
    int CloneInto(HbRoot** target) override;
    int Load(HbStream* stream, const char* name) override;
    std::string GetTypeKey() const override;

    const Sphere* GetBoundingSphere() override { return &mBounds; }
    Frame* GetEngineFrame() override;
    void ForAllFrames(FrameFunction fn, void* user) override;
    /// The light joins (leaves) the main world of the scene's level.
    void OnAddToWorld() override;
    void OnRemoveFromWorld() override;

    struct Shared;

protected:
    explicit W3dLight(const char* key);

private:
    const char* mKey;
    float mColor[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    Shared* mShared = nullptr;
    Sphere mBounds = {{0.0f, 0.0f, 0.0f}, 100.0f};
};

class W3dDirectionalLight : public W3dLight
{
    HB_DECLARE_CLASS_DESC();

public:
    W3dDirectionalLight() : W3dLight("W3DDIRECTIONALLIGHT") {}
};

class W3dAmbientLight : public W3dLight
{
    HB_DECLARE_CLASS_DESC();

public:
    W3dAmbientLight() : W3dLight("W3DAMBIENTLIGHT") {}
};

class W3dPointLight : public W3dLight
{
    HB_DECLARE_CLASS_DESC();

public:
    W3dPointLight() : W3dLight("W3DPOINTLIGHT") {}
};

class W3dSpotLight : public W3dLight
{
    HB_DECLARE_CLASS_DESC();

public:
    W3dSpotLight() : W3dLight("W3DSPOTLIGHT") {}
};
