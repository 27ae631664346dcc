// WScene: the scene the renderer draws. The scene graph asks one thing of it: the engine
// world that the collision volumes of its nodes join (the main world of its level).
#pragma once

#include "hbroot.h"

struct World;

class WScene : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    WScene() = default;

    /// The world collision volumes join; null while no level is current.
    World* GetMainWorld() const { return mMainWorld; }
    void SetMainWorld(World* world) { mMainWorld = world; }

private:
    World* mMainWorld = nullptr;
};
