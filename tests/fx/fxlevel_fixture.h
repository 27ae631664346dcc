// Shared fixture of the debris and physics tests: a started renderer, a level whose world is a
// floor at y = 0 made by the world writer, a scene with that level that the renderer draws,
// and a game state whose profile names the level, so the effect layer finds it.
#pragma once

#include "scene_fixture.h"

#include "collisiontreewriter.h"
#include "frame.h"
#include "fx3dtype.h"
#include "geometry.h"
#include "gameprofile.h"
#include "gamestate.h"
#include "gamestatemanager.h"
#include "hbclock.h"
#include "w3dcollision.h"
#include "w3dframe.h"
#include "w3dlevel.h"
#include "watomicowner.h"
#include "world.h"
#include "worldwriter.h"
#include "wrenderer.h"
#include "wscene.h"

#include <array>

namespace fxtest
{

/// A floor of two triangles at y = 0, x and z from -half to half, with its collision tree.
inline std::vector<uint8_t> FloorWorldBytes(float half, const uint8_t* rgb)
{
    WorldDescription d;
    d.format = kGeometryPositions | kGeometryPrelit;
    GeometryDescription::Material plain;
    plain.colour = {255, 255, 255, 255};
    d.materials = {plain};
    d.listEntries = {0};
    WorldDescription::Leaf leaf;
    leaf.positions = {-half, 0, -half, half, 0, -half, -half, 0, half, half, 0, half};
    leaf.prelit.assign(4, {rgb[0], rgb[1], rgb[2], 255});
    leaf.triangles = {{0, 2, 1, 0}, {1, 2, 3, 0}};
    std::vector<std::array<uint16_t, 3>> triangles = {{0, 2, 1}, {1, 2, 3}};
    leaf.extension = CollisionTreeWriter::WriteExtension(
        CollisionTreeWriter::WritePluginData(CollisionTreeWriter::Build(leaf.positions, triangles, 4)));
    d.leaves.push_back(leaf);
    d.box = {half, 1, half, -half, -1, -half};
    return WorldWriter::Write(d);
}

class LevelState : public GameState
{
public:
    LevelState() : GameState(0) {}
    void Leave() override {}
    void Update() override {}
};

class FxLevelTest : public renderertest::SceneTest
{
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        const uint8_t grey[3] = {90, 90, 90};
        mWorld = renderertest::ReadWorldChunk(FloorWorldBytes(2000.0f, grey));
        ASSERT_NE(mWorld, nullptr);
        mLevel = W3dLevel::Create();
        mLevel->AddRef();
        mLevel->SetMainWorld(mWorld);
        mScene = new WScene();
        mScene->AddRef();
        mScene->SetLevel(mLevel);
        WRenderer::Instance()->SetScene(mScene);
        mProfile = new GameProfile();
        mProfile->levelHandle.Assign(mLevel);
        mState = new LevelState();
        mState->AddRef();
        mState->SetProfile(mProfile);
        GameStateManager::Instance()->SetCurrentState(mState);
        HbGameClock* clock = HbGameClock::Instance();
        clock->mGameTime = 1000;
        clock->mStep = 0;
        clock->mStepSeconds = 0.0f;
        PhysicsSetGravity();
    }
    void TearDown() override
    {
        GameStateManager::Instance()->SetCurrentState(nullptr);
        if (mState)
        {
            mState->SetProfile(nullptr);
            mState->Release();
        }
        if (WRenderer* renderer = WRenderer::Existing())
            renderer->SetScene(nullptr);
        if (mScene)
            mScene->Release();
        if (mLevel)
            mLevel->Release();
        if (mWorld)
            World::Destroy(mWorld);
        SceneTest::TearDown();
    }

    /// One game frame of the given length in ticks.
    static void Advance(int64_t ticks)
    {
        HbGameClock* clock = HbGameClock::Instance();
        clock->mGameTime += ticks;
        clock->mStep = ticks;
        clock->mStepSeconds = float(double(ticks) / double(HbPerformanceFrequency()));
    }

    /// A frame node at the position, one reference of the caller's.
    static W3dFrame* NodeAt(Vector at)
    {
        W3dFrame* node = W3dFrame::Create();
        node->AddRef();
        Frame::Translate(node->GetEngineFrame(), &at, kCombineReplace);
        return node;
    }

    World* mWorld = nullptr;
    W3dLevel* mLevel = nullptr;
    WScene* mScene = nullptr;
    GameProfile* mProfile = nullptr;
    LevelState* mState = nullptr;
};

} // namespace fxtest
