// An animated actor on a four-bone model made by the writers (DummyRootBone, Pelvis,
// Upper_Torso, Head; profiles HIGH_PART and ALL), animations built in code and declared as
// resources of the resource manager, and a weapon whose records the players read.
#pragma once

#include "rdanim.h"
#include "tsanimactor.h"
#include "tsweapon.h"
#include "tsweaponshoot.h"
#include "vector.h"

#include <string>
#include <vector>

namespace walkertest
{

/// The skeleton's profile numbers.
constexpr int32_t kAllProfile = 1;
constexpr int32_t kHighPart = 2;

/// An animated actor whose ground snap answers as told without moving it.
class Walker : public TsAnimActor
{
public:
    int32_t SnapToGround(const Vector*) override { return mSnapAnswer; }
    int32_t mSnapAnswer = 1;
};

/// A new walker on the four-bone model (one reference of the caller's); null on failure.
Walker* MakeWalker();

/// A contact weapon and a shooting weapon without models.
class ContactWeapon : public TsWeapon
{
public:
    int32_t LoadModel(const char*) override { return 0; }
    void ScaleParameter(float value) override { mScaled.push_back(value); }
    std::vector<float> mScaled;
};

class ShootWeapon : public TsWeaponShoot
{
public:
    int32_t LoadModel(const char*) override { return 0; }
};

/// Animations as file resources: each is written to "<id>.anm" in the working directory
/// and declared under its id; the fixture holds one reference and undeclares them at the end.
class Animations
{
public:
    Animations() = default;
    ~Animations();
    Animations(const Animations&) = delete;
    Animations& operator=(const Animations&) = delete;

    /// The root moves by rootMove over the duration; the other bones hold, turned about x by
    /// the degrees (a pose the frames can tell apart). Null when it cannot be read back.
    RdAnimation* Add(const std::string& id, Vector rootMove, float duration = 1.0f, float degrees = 0.0f);

private:
    std::vector<std::string> mIds;
    std::vector<RdAnimation*> mHeld;
};

} // namespace walkertest
