// Shared fixture of the script world's frame and level tests: a started renderer with a
// scene whose level is a wall world read from the writers' bytes, a running interpreter, a
// script world of the test's own, and actors derived from the actor contract placed by
// frame nodes.
#pragma once

#include "scene_fixture.h"
#include "scriptworldmanager.h"
#include "tsactor.h"
#include "tsmotorskills.h"

#include <Python.h>

#include <string>
#include <vector>

struct HbFile;
class W3dFrame;
class W3dLevel;
class WScene;
class TsEvent;
struct World;

namespace scriptworldtest
{

/// What the fakes, hooks and scripts (through the builtin note(text)) did, in order.
std::vector<std::string>& Log();

/// A wall in the plane x = 0 over z in [-1000, 1000] and y in [-200, 400], facing both ways,
/// and a floor at y = -100 over x and z in [-1000, 1000], with their collision tree.
World* MakeWallWorld();

class FakeSkills : public TsMotorSkills
{
public:
    int32_t LoopSkill(const char* name) override
    {
        mLooped.push_back(name ? name : "(none)");
        return 0;
    }
    const char* GetCurrentSkillName() const override { return "walk"; }
    uint32_t GetErrorCode() const override { return mError; }

    std::vector<std::string> mLooped;
    uint32_t mError = 0;
};

/// An actor whose script object is its name (a str) and whose node, when it has one, hangs
/// under the scene's root (or nowhere) at a given place.
class FakeActor : public TsActor
{
public:
    ~FakeActor() override;

    W3dNode* GetNode() override;
    TsMotorSkills* GetMotorSkills() override { return mHasSkills ? &mSkills : nullptr; }
    void Update() override
    {
        ++mUpdates;
        Log().push_back("update " + mName);
    }

    std::string mName;
    W3dFrame* mNode = nullptr;
    FakeSkills mSkills;
    bool mHasSkills = false;
    int32_t mUpdates = 0;
    /// Logs "released <name>" when destroyed.
    bool mLogRelease = false;
};

class ScriptWorldTest : public renderertest::SceneTest
{
protected:
    void SetUp() override;
    void TearDown() override;

    /// A new actor with one reference of the test's (dropped in TearDown). kNoNode: no node;
    /// kOutside: a node in no scene.
    enum Placement
    {
        kInScene,
        kOutside,
        kNoNode
    };
    FakeActor* Make(const char* name, Vector at, uint32_t family = HeroEnemyFamily, Placement placement = kInScene);
    /// Made and added to the script world.
    FakeActor* Listed(const char* name, Vector at, uint32_t family = HeroEnemyFamily, Placement placement = kInScene);
    /// A registration of the owner whose callable is the expression's value in __main__.
    TsEvent* Register(FakeActor* owner, int32_t id, const char* callable, float value, float period = 0.0f,
                      uint32_t mask = UndefinedFamily, TsActor* target = nullptr);
    /// Advances the game clock by the step and runs one frame.
    void Frame(float seconds);
    /// Statements or an expression in __main__ ("" / the repr, as the script fixture's).
    std::string Exec(const std::string& code);
    std::string Eval(const std::string& expression);
    /// The names of the listed actors, front first.
    std::string ListedNames();
    std::string LogText();

    ScriptWorldManager* mWorld = nullptr;
    World* mWallWorld = nullptr;
    W3dLevel* mLevel = nullptr;
    WScene* mScene = nullptr;
    std::vector<FakeActor*> mActors;
    HbFile* mScriptLog = nullptr;
};

} // namespace scriptworldtest
