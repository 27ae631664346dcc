// The module tests' fixture.
#include "scenaricmodule_fixture.h"

#include "script_fixture.h"
#include "scenaricmodule.h"
#include "tsactortyperegistry.h"
#include "tsheroactor.h"
#include "tsnothingtodo.h"
#include "tsskillregistry.h"
#include "w3dframe.h"

#include <gtest/gtest.h>

#include <cstring>

namespace scenarictest
{
TestActor::TestActor()
{
    mNode = W3dFrame::Create();
    if (mNode)
        mNode->AddRef();
}

TestActor::~TestActor()
{
    if (mSkills)
    {
        ExitMotorSkills();
        mSkills->Release();
    }
    if (mNode)
    {
        if (W3dNode* parent = mNode->GetParent())
            parent->RemoveChild(mNode);
        mNode->Release();
    }
}

int32_t TestActor::LoadModel(const char* name)
{
    ++mLoads;
    if (std::strcmp(name, "GOOD_MODEL") != 0)
        return 0;
    W3dFrame* node = W3dFrame::Create();
    if (!node)
        return 0;
    node->AddRef();
    if (mNode)
        mNode->Release();
    mNode = node;
    return 1;
}

namespace
{
class SkilledActor : public TestActor
{
public:
    SkilledActor()
    {
        mSkills = new TsMotorSkills(this);
        mSkills->AddRef();
    }
};

template <typename Class> class Factory : public TsActorFactory
{
public:
    TsActor* Create() override
    {
        auto* actor = new Class();
        actor->AddRef();
        return actor;
    }
};

void RegisterTypesOnce()
{
    static bool registered = false;
    if (registered)
        return;
    registered = true;
    TsActorTypeRegistry* types = TsActorTypeRegistry::Instance();
    types->Register(new Factory<TestActor>(), "SCENARIC_TEST_ACTOR", kTestActorType);
    types->Register(new Factory<SkilledActor>(), "SCENARIC_TEST_SKILLED", kSkilledActorType);
    types->Register(new Factory<TsHeroActor>(), "SCENARIC_TEST_HERO", kHeroType);
}

} // namespace

void ScenaricTest::SetUp()
{
    ScenaricModuleInstall();
    ScriptWorldTest::SetUp();
    RegisterTypesOnce();
    // The script world's start as the game makes it; the registry is emptied first, as a stop
    // of scripting would, so that its functions are not listed twice.
    TsSkillRegistry* skills = TsSkillRegistry::Instance();
    TsNothingToDoQueueRegistration(skills);
    skills->Clear();
    mWorld->StartScripting();
    ASSERT_EQ(Exec("import scenaric\n"
                   "from scenaric import *\n"
                   "from skills import NewAddSkill, LoopSkill, GetSkillStatus, GetSkillError, GetChangingSkillId\n"
                   "class Thing:\n"
                   "    pass\n"
                   "def failure(call):\n"
                   "    try:\n"
                   "        call()\n"
                   "    except Exception as e:\n"
                   "        return type(e).__name__ + ': ' + str(e)\n"
                   "    return ''\n"
                   "def xyz(v):\n"
                   "    return tuple(round(c, 3) + 0.0 for c in (v.x, v.y, v.z))\n"),
              "");
}

TsActor* ScenaricTest::Create(const char* name, int32_t type)
{
    EXPECT_EQ(Exec(std::string(name) + " = Thing()\nCreateActor(" + name + ", " + std::to_string(type) + ")"), "");
    return Bound(name);
}

TsActor* ScenaricTest::Bound(const char* name)
{
    return ScenaricGetBoundActor(PyDict_GetItemString(scripttest::MainDict(), name));
}
} // namespace scenarictest
