// W3dSky: the sky of a level ("WS" resources, shared), a clump that follows the camera and is
// drawn first, without depth.
#pragma once

#include "hbroot.h"

#include <cstdint>

struct Clump;
class W3dCamera;
class W3dLevel;

class W3dSky : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    /// Enabled, no owner, no clump, angle 0. Reference count 0: the caller takes its reference.
    static W3dSky* Create();
    ~W3dSky() override;

    /// UV animations, the clump chunk in the sky's texture dictionary; its atomics neither
    /// collide nor take lights. 1, or 0 without a clump.
    int Load(HbStream* stream, const char* name) override;
    int ReadChunks(HbMChunkStream*) override { return 1; }
    std::string GetTypeKey() const override { return "WS"; }
    int IsShared() const override { return 1; }
    int32_t NeedsInstancing() const { return mNeedsInstancing; }

    /// Centres the clump on the camera node, scaled by 100 and turned by the angle about the
    /// up axis; every frame, while there is a clump and the sky is enabled.
    void FollowCamera(W3dCamera* camera);
    /// Inside the camera's update: the clump drawn with depth test and depth write off, both
    /// on again afterwards; nothing without a clump or while disabled.
    void Render(W3dCamera* camera);

    /// The sky owns the clump from now on and destroys it with itself (null: none).
    void SetClump(Clump* clump);
    Clump* GetClump() const { return mClump; }
    void SetOwner(W3dLevel* level) { mOwner = level; }
    W3dLevel* GetOwner() const { return mOwner; }
    void SetEnabled(int32_t on) { mEnabled = on ? 1 : 0; }
    int32_t IsEnabled() const { return mEnabled; }
    /// Degrees about the up axis.
    void SetAngle(float degrees) { mAngle = degrees; }

private:
    W3dSky() = default;

    int32_t mEnabled = 1;
    W3dLevel* mOwner = nullptr;
    Clump* mClump = nullptr;
    float mAngle = 0.0f;
    int32_t mNeedsInstancing = 0;
};
