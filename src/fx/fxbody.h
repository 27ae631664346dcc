// The moving bodies of the debris and the simple physics: the model holder that puts a model
// into the level, the body that is launched, falls under gravity, bounces, rests and fades,
// and the current level's worlds and node they move in.
#pragma once

#include "fx3dtype.h"

#include <cstdint>
#include <string>
#include <vector>

struct Frame;
struct World;
class FxBody;
class W3dCollisionNode;
class W3dLevel;
class W3dNode;

// ---- The current level ---------------------------------------------------------------------------

/// The stage's level (the game state manager's level handle), or null.
W3dLevel* FxCurrentLevel();
/// The node debris hangs under: the root of the renderer's current scene when the level is
/// that scene's; null otherwise.
W3dNode* FxLevelWorldNode();
/// The static ground below the point: a line from above over it to below under it against
/// the level's static triangles, nearest hit. 1 with the height, 0 without a hit.
int32_t FxGroundProbe(const float* point, float above, float below, float* height);

// ---- Launches ------------------------------------------------------------------------------------

/// One running launch: where, of what, and its live pieces.
struct Fx3dLaunch
{
    float position[3] = {0, 0, 0};
    float ground = 0.0f;
    std::string name;
    const Fx3dType* type = nullptr;
    /// Capacity: the type's pieces reserved per launch.
    std::vector<FxBody*> pieces;
    int32_t count = 0;
    int32_t finished = 0;
    int64_t launchTime = 0;
    int64_t lastLaunchTime = 0;
};

// ---- Model holders -------------------------------------------------------------------------------

/// A debris model: loaded from the resources, added to and removed from the level.
class FxModelHolder
{
public:
    virtual ~FxModelHolder();
    /// 1 with the model of that name (one reference), 0 without.
    virtual int32_t Load(const char* name);
    virtual void AddToWorld();
    /// Off its parent, frame back to the identity.
    virtual void RemoveFromWorld();
    virtual void Release();
    virtual void SetNode(W3dNode* node);

    W3dNode* GetNode() const { return mNode; }
    Frame* GetFrame() const { return mFrame; }
    float GetRadius() const { return mRadius; }

protected:
    W3dNode* mNode = nullptr;
    Frame* mFrame = nullptr;
    float mRadius = 0.0f;
};

/// A registered object's holder: it never leaves the scene and holds no reference.
class PhysicsModelHolder : public FxModelHolder
{
public:
    ~PhysicsModelHolder() override { mNode = nullptr, mFrame = nullptr; }
    void AddToWorld() override {}
    void RemoveFromWorld() override {}
    void Release() override { mNode = nullptr, mFrame = nullptr; }
    void SetNode(W3dNode* node) override;
    W3dCollisionNode* GetRoot(int32_t which) const { return mRoots[which]; }

private:
    W3dCollisionNode* mRoots[2] = {nullptr, nullptr};
};

// ---- Bodies ----------------------------------------------------------------------------------------

class FxBody
{
public:
    enum State : int32_t
    {
        kMoving = 0,
        kResting = 1,
        kFadeOver = 2,
        kRemoved = 3,
    };

    virtual ~FxBody() = default;
    /// Into the world at the launch's position with the type's random speed, spin and size.
    virtual void Launch(int64_t now, const Fx3dType& type, Fx3dLaunch& launch);
    /// Rests or bounces on the launch's ground.
    virtual void Collide(int64_t now, const Fx3dType& type, Fx3dLaunch& launch);

    /// The four passes of a frame (each over every body before the next).
    void Integrate(int64_t now, float stepSeconds);
    void Apply();
    void Finish(int64_t now, const Fx3dType& type);

    int32_t state = kRemoved;
    int32_t fadeStarted = 0;
    FxModelHolder* holder = nullptr;
    int64_t launchTime = 0;
    int64_t integrationStart = 0;
    /// Per tick.
    float velocity[3] = {0, 0, 0};
    /// Degrees per second.
    float spin = 0.0f;
    float start[3] = {0, 0, 0};
    float previousDy = 0.0f;
    int64_t restTime = 0;
    float position[3] = {0, 0, 0};
    float spinStep = 0.0f;

protected:
    /// The bounce: velocity from the frame's move, integration restarted from the new position.
    void Bounce(int64_t now, const float* move, float restitution);
    const float* spinAxis = nullptr;
};

/// A registered object's body: bounces on the level's atomics and rests once its bounces die.
class PhysicsBody : public FxBody
{
public:
    static constexpr int32_t kBounceCount = 30;
    void Collide(int64_t now, const Fx3dType& type, Fx3dLaunch& launch) override;
    void ClearBounces();
    float GetBounceAverage() const { return mAverage; }

private:
    float mBounces[kBounceCount] = {};
    int32_t mBounceCount = 0;
    int32_t mBounceNext = 0;
    float mAverage = 0.0f;
};
