// Fixture of the module "scenaric" tests: the script world's scene with its wall, the module
// imported into __main__ with the five skill functions, and actor types CreateActor makes.
#pragma once

#include "scriptworld_fixture.h"
#include "tsactor.h"
#include "tsmotorskills.h"

class W3dFrame;

namespace scenarictest
{
/// An actor whose node is a frame node in no scene until placed; LoadModel("GOOD_MODEL")
/// replaces it with a new node, any other name is refused.
class TestActor : public TsActor
{
public:
    TestActor();
    ~TestActor() override;
    W3dNode* GetNode() override { return mNode; }
    TsMotorSkills* GetMotorSkills() override { return mSkills; }
    int32_t LoadModel(const char* name) override;

    TsMotorSkills* mSkills = nullptr;
    int32_t mLoads = 0;
};

/// Type ids the tests create.
constexpr int32_t kTestActorType = 9001;
constexpr int32_t kSkilledActorType = 9002;
constexpr int32_t kHeroType = 9003;

class ScenaricTest : public scriptworldtest::ScriptWorldTest
{
protected:
    void SetUp() override;
    /// CreateActor(<name> = Thing(), type) in __main__; the bound actor.
    TsActor* Create(const char* name, int32_t type = kTestActorType);
    /// The actor bound to the __main__ variable.
    TsActor* Bound(const char* name);
};
} // namespace scenarictest
