// WScene: the container the renderer draws: one root frame node under which everything 3D
// hangs, the current level with its worlds, and the nodes that want an update every frame.
#pragma once

#include "hbroot.h"

#include <cstdint>

struct World;
class W3dFrame;
class W3dLevel;
class W3dNode;

class WScene : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    static constexpr uint32_t kMaxUpdatables = 500;

    /// No level, an empty update list and a root node with one reference (null when the
    /// root could not be had).
    WScene();
    /// The level leaves the scene first (nodes, then the level unbound), then the root goes.
    ~WScene() override;
    WScene(const WScene&) = delete;
    WScene& operator=(const WScene&) = delete;

    // ---- The update list ----------------------------------------------------------------

    /// The node gets Update() every frame (twice when added twice). 1, or 0 when the list is
    /// full. The scene holds no reference: a node leaves the list when it leaves the scene or
    /// is destroyed.
    int32_t AddUpdatable(W3dNode* node);
    /// Empties the first slot holding the node (the slot is reclaimed by the next Update).
    /// 1, or 0 when the node is not on the list.
    int32_t RemoveUpdatable(W3dNode* node);
    /// Every slot with a node, in order; an empty slot takes the last used one's node and is
    /// looked at again. Nodes added during the walk are updated in it.
    void Update();
    uint32_t GetUpdateCount() const { return mUpdateCount; }
    W3dNode* GetUpdatable(uint32_t index) const { return index < mUpdateCount ? mUpdateList[index] : nullptr; }

    // ---- The level ------------------------------------------------------------------------

    /// Nothing for the current level. The old level's nodes leave the scene (children
    /// first) and the level is unbound and released; a new one is held, the node tree
    /// enters the scene (parents first) and the level is bound.
    void SetLevel(W3dLevel* level);
    W3dLevel* GetLevel() const { return mLevel; }
    /// The level's main world, which collision sets and cameras join; null without a level.
    World* GetMainWorld() const;

    W3dFrame* GetRoot() const { return mRoot; }

private:
    /// Every slot of the node emptied (a node that leaves the scene or dies).
    void ForgetUpdatable(W3dNode* node);
    friend class W3dNode;

    W3dNode* mUpdateList[kMaxUpdatables] = {};
    uint32_t mUpdateCount = 0;
    W3dFrame* mRoot = nullptr;
    W3dLevel* mLevel = nullptr;
};
