// Effect scripts read into emitter classes: the sixty script names, blocks in file order,
// stray tokens skipped, the first bad block ending the script, missing resources and files,
// scripts inside a pack archive, and the loaded effect playing.
#include "fx_fixture.h"
#include "renderer_fixture.h"

#include "fx3dtype.h"
#include "fxcontext.h"
#include "fxservices.h"
#include "hbfile.h"
#include "hbpack.h"
#include "hbresource.h"
#include "kemitter.h"
#include "kfxmanager.h"
#include "kfxmanagerimp.h"
#include "kparticle.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include <unistd.h>

namespace
{
class LoadTest : public renderertest::RendererTest
{
protected:
    void SetUp() override
    {
        RendererTest::SetUp();
        ASSERT_NE(Started(), nullptr);
        KfxSetSharedSeed(1);
    }
    void TearDown() override
    {
        mManager.Shutdown();
        for (const std::string& id : mDeclared)
            HbResourceManager::Instance()->RemovePath(id.c_str());
        HbPackSet* set = HbPackSet::Instance();
        while (set->GetMountedCount() > 0)
            set->Unmount(nullptr);
        set->SetEnabled(0);
        set->SetDiskFallback(0);
        RendererTest::TearDown();
    }

    void Declare(const std::string& id, const std::string& path)
    {
        HbResourceManager::Instance()->AddPath(id.c_str(), path.c_str());
        mDeclared.push_back(id);
    }
    /// Script text in a file declared under the id; the definition's classes after loading.
    KfxDefinition* Load(const std::string& text, const std::string& id = "FX_TEST_SCR")
    {
        const std::string path = mDir / (id + ".txt");
        hbtest::WriteBytes(path, text);
        Declare(id, path);
        mManager.SetDefinitionCount(1);
        mManager.LoadDefinition(0, id.c_str());
        mManager.LoadAll();
        return mManager.GetDefinition(0);
    }

    hbtest::TempDir mDir;
    KfxManagerImp mManager;
    std::vector<std::string> mDeclared;
};

TEST(EffectScripts, SixtySlotsCarryTheirScriptNames)
{
    const std::vector<std::pair<int32_t, const char*>> cases = {
        {0, "FX_KI_EXPLOSION_1_SCR"},   {4, "FX_KI_EXPLOSION_5_SCR"},  {5, "FX_KI_FIRE_1_SCR"},
        {14, "FX_KI_SMOKE_5_SCR"},      {15, "FX_KI_LUCIOLE_1_SCR"},   {18, "FX_KI_RAIN_2_SCR"},
        {19, "FX_KI_SIGNALETIC_1_SCR"}, {33, "FX_KI_SIGNALETIC_15_SCR"}, {34, "FX_KI_SHOOT_1_SCR"},
        {43, "FX_KI_SHOOT_10_SCR"},     {44, "FX_KI_IMPACT_1_SCR"},    {48, "FX_KI_IMPACT_5_SCR"},
        {49, "FX_KI_BLOOD_1_SCR"},      {53, "FX_KI_BLOOD_5_SCR"},     {54, "FX_KI_IMPACT_6_SCR"},
        {55, "FX_KI_FOOT_1_SCR"},       {57, "FX_KI_FOOT_3_SCR"},      {58, "FX_KI_IMPACT_7_SCR"},
        {59, "FX_KI_EXPLOSION_6_SCR"},
    };
    FxLoadEffectScripts();
    KfxManagerImp& manager = KfxManagerImp::Instance();
    ASSERT_EQ(manager.GetDefinitionCount(), 60);
    for (const auto& [slot, name] : cases)
    {
        ASSERT_NE(manager.GetDefinition(slot), nullptr);
        EXPECT_EQ(manager.GetDefinition(slot)->mName, name) << slot;
    }
    EXPECT_EQ(FxEffectScriptName(60), nullptr);
    manager.Shutdown();
}

TEST_F(LoadTest, BlocksInOrderStrayWordsSkippedBadBlockEndsTheScript)
{
    struct Case
    {
        const char* what;
        std::string text;
        std::vector<int32_t> priorities;
    };
    const std::vector<Case> cases = {
        {"empty", "", {}},
        {"comments only", "# nothing\n", {}},
        {"two blocks and a stray word", "{ Priority 3 }\nstray\n{ Priority 5 }\n", {3, 5}},
        {"bad second block", "{ Priority 3 }\n{ Priority 5 Nonsense 1 }\n{ Priority 7 }\n", {3}},
        {"unclosed last block", "{ Priority 2 }\n{ Priority 4\n", {2}},
    };
    for (const Case& c : cases)
    {
        KfxDefinition* def = Load(c.text);
        ASSERT_NE(def, nullptr);
        ASSERT_EQ(def->GetClassCount(), int32_t(c.priorities.size())) << c.what;
        for (size_t i = 0; i < c.priorities.size(); ++i)
        {
            EXPECT_EQ(def->GetClass(int32_t(i))->mPriority, c.priorities[i]) << c.what;
            EXPECT_NE(def->GetClass(int32_t(i))->mPool.mRenderList, nullptr) << c.what;
        }
    }
}

TEST_F(LoadTest, ForceUpdateAndPreAllocReachTheClass)
{
    KfxDefinition* def = Load("{ PreAlloc 3 ForceUpdate TRUE Group BEFORECHARACTER Priority 2 }\n{ GhostMode TRUE }\n");
    ASSERT_EQ(def->GetClassCount(), 2);
    EXPECT_EQ(def->GetClass(0)->mForceUpdate, 1);
    EXPECT_EQ(def->GetClass(0)->mPool.mPreallocCount, 3);
    EXPECT_EQ(def->GetClass(0)->mPool.mRenderList, mManager.GetList(2));
    EXPECT_EQ(def->GetClass(1)->mForceUpdate, 1) << "a ghost is always updated";
    EXPECT_EQ(def->GetClass(1)->mPool.mPreallocCount, 0);
}

TEST_F(LoadTest, AReadErrorEndsTheScriptAsItsEndDoes)
{
    // Every read of the script fails without reaching the end, as a pack entry whose place
    // cannot be reached: the load stops instead of waiting for an end that never comes.
    HbFileAfterOpenHook = [](HbFile* file, const char*)
    {
        std::fclose(file->crt);
        file->crt = std::fopen("/dev/null", "w");
    };
    alarm(30);
    KfxDefinition* def = Load("{ Priority 3 }\n");
    alarm(0);
    HbFileAfterOpenHook = nullptr;
    ASSERT_NE(def, nullptr);
    EXPECT_EQ(def->GetClassCount(), 0);
}

TEST_F(LoadTest, MissingResourceOrFileGivesNoClasses)
{
    mManager.SetDefinitionCount(2);
    mManager.LoadDefinition(0, "FX_UNDECLARED_SCR");
    Declare("FX_NOFILE_SCR", mDir / "absent.txt");
    mManager.LoadDefinition(1, "FX_NOFILE_SCR");
    mManager.LoadAll();
    EXPECT_EQ(mManager.GetDefinition(0)->GetClassCount(), 0);
    EXPECT_EQ(mManager.GetDefinition(1)->GetClassCount(), 0);
    FxContext context;
    EXPECT_EQ(mManager.PlayOneShot(0, &context), 1) << "an effect without classes plays nothing";
}

TEST_F(LoadTest, ScriptsLoadFromAPackAndPlay)
{
    const std::string pack = mDir / "fx.pak";
    ASSERT_TRUE(hbtest::WritePack(pack, {{"fx\\impact.txt", "{ Priority 1 }\n{ Group BEFORECHARACTER }\n"}}));
    HbPackSet* set = HbPackSet::Instance();
    set->SetEnabled(1);
    ASSERT_EQ(set->Mount(pack.c_str()), 1);
    Declare("FX_KI_IMPACT_1_SCR", "fx\\impact.txt");
    mManager.SetDefinitionCount(1);
    mManager.LoadDefinition(0, "FX_KI_IMPACT_1_SCR");
    mManager.LoadAll();
    KfxDefinition* def = mManager.GetDefinition(0);
    ASSERT_EQ(def->GetClassCount(), 2);
    FxContext context;
    ASSERT_EQ(mManager.PlayOneShot(0, &context), 1);
    EXPECT_EQ(mManager.GetList(11)->Count(), 1);
    EXPECT_EQ(mManager.GetList(0)->Count(), 1);
}
} // namespace

namespace
{
TEST_F(LoadTest, StartUpLoadsTheScriptsBuildsTheClassesAndFillsTheDebrisTypes)
{
    const std::string path = mDir / "impact6.txt";
    hbtest::WriteBytes(path, "{ Priority 4 }\n");
    Declare("FX_KI_IMPACT_6_SCR", path);
    *Fx3dGetType(kFx3dTypeBox) = Fx3dType{};
    Fx3dInitTypeRecords();
    KfxManagerImp& manager = KfxManagerImp::Instance();
    EXPECT_EQ(KfxManager::GetBackend(), &manager);
    ASSERT_EQ(manager.GetDefinitionCount(), kFxEffectCount);
    ASSERT_EQ(manager.GetDefinition(54)->GetClassCount(), 1);
    EXPECT_EQ(manager.GetDefinition(54)->GetClass(0)->mPool.mRenderList, manager.GetList(14));
    EXPECT_EQ(manager.GetDefinition(53)->GetClassCount(), 0);
    EXPECT_EQ(Fx3dGetType(kFx3dTypeBox)->pieces, 6);
    EXPECT_EQ(FxPlayOneShot(54, nullptr), 1);
    EXPECT_EQ(manager.GetList(14)->Count(), 1);

    FxServicesShutdown();
    EXPECT_EQ(KfxManager::GetBackend(), nullptr);
    EXPECT_EQ(manager.GetDefinition(54), nullptr) << "every definition deleted";
    EXPECT_EQ(FxPlayOneShot(54, nullptr), 0) << "nothing installed";
}
} // namespace
