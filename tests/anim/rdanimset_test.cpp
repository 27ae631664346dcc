// The animation-set table: the fill's shape, appending, missing resources, and picks with
// the caller's cursor, chance and family bits; the script modules of states and kinds.
#include <Python.h>

#include "anim_fixture.h"

#include "hbrandom.h"
#include "hbresource.h"
#include "rdanim.h"
#include "rdanimset.h"
#include "tsfamilies.h"

#include <cmath>
#include <set>
#include <string>

namespace
{

using animtest::AnimTest;

/// An animation resource that loads from any file.
class StubAnimation : public RdAnimation
{
public:
    int Load(HbStream*, const char*) override { return 1; }
};

class AnimSetTest : public AnimTest
{
protected:
    void SetUp() override
    {
        AnimTest::SetUp();
        HbResourceManager* manager = HbResourceManager::Instance();
        mRealType = manager->FindType("ANM");
        manager->RegisterType("ANM", []() -> HbRoot* { return new StubAnimation(); });
        animtest::WriteText("a.anm", "stub");
        AnimSetFreeAll();
    }
    void TearDown() override
    {
        AnimSetFreeAll();
        HbResourceManager* manager = HbResourceManager::Instance();
        for (const std::string& id : mDeclared)
            manager->RemovePath(id.c_str());
        for (RdAnimation* a : mHeld)
            a->Release();
        manager->RegisterType("ANM", mRealType);
        AnimTest::TearDown();
    }

    /// Makes the resource loadable and keeps it alive for the test.
    RdAnimation* Declare(const std::string& id)
    {
        HbResourceManager* manager = HbResourceManager::Instance();
        if (mDeclared.insert(id).second)
        {
            manager->AddPath(id.c_str(), "a.anm");
            auto* a = HbCastTo<RdAnimation>(manager->GetResource(id.c_str()));
            EXPECT_NE(a, nullptr) << id;
            if (a)
            {
                a->AddRef();
                mHeld.push_back(a);
            }
        }
        return HbCastTo<RdAnimation>(manager->GetResource(id.c_str()));
    }

    static int32_t Total(int32_t* cells = nullptr, int32_t* perKind = nullptr)
    {
        int32_t total = 0;
        if (cells)
            *cells = 0;
        for (int32_t kind = 0; kind < kAnimSetKindCount; ++kind)
        {
            if (perKind)
                perKind[kind] = 0;
            for (int32_t state = 0; state < kAnimStateCount; ++state)
            {
                const int32_t n = AnimSetGetVariantCount(kind, state);
                total += n;
                if (cells && n > 0)
                    ++*cells;
                if (perKind)
                    perKind[kind] += n;
            }
        }
        return total;
    }

    HbResourceCreateFn mRealType = nullptr;
    std::set<std::string> mDeclared;
    std::vector<RdAnimation*> mHeld;
};

TEST_F(AnimSetTest, TheFillGivesEveryKindItsVariantsAndAppendsOnEachLoad)
{
    int32_t count = 0;
    const AnimSetRow* rows = AnimSetRows(&count);
    ASSERT_EQ(count, 591);
    for (int32_t i = 0; i < count; ++i)
    {
        ASSERT_GE(rows[i].state, 0) << rows[i].resourceId;
        Declare(rows[i].resourceId);
    }
    AnimSetLoadAll();
    int32_t cells = 0;
    int32_t perKind[kAnimSetKindCount];
    EXPECT_EQ(Total(&cells, perKind), 591);
    EXPECT_EQ(cells, 535);
    const int32_t expected[kAnimSetKindCount] = {58, 75, 86, 86, 40, 46, 61, 82, 11, 46};
    for (int32_t kind = 0; kind < kAnimSetKindCount; ++kind)
        EXPECT_EQ(perKind[kind], expected[kind]) << AnimSetKindName(kind);
    EXPECT_EQ(AnimSetGetVariantCount(kAnimSetKnif, 0), 6);
    EXPECT_EQ(AnimSetGetFirstVariant(kAnimSetBoss, 0), Declare("BO_STAND_ANM"));
    EXPECT_EQ(AnimSetGetFirstVariant(kAnimSetBoss, 1), nullptr) << "an empty cell";

    AnimSetLoadAll();
    EXPECT_EQ(Total(), 2 * 591) << "a second load appends";
    EXPECT_EQ(AnimSetGetVariantCount(kAnimSetKnif, 0), 12);
    AnimSetFreeAll();
    EXPECT_EQ(Total(), 0);
}

TEST_F(AnimSetTest, MissingResourcesLeaveCellsEmpty)
{
    Declare("HE_STD_KNIF_ANM");
    AnimSetLoadAll();
    EXPECT_EQ(AnimSetGetVariantCount(kAnimSetKnif, 0), 3) << "only the stand variants of the one resource";
    EXPECT_EQ(AnimSetGetVariantCount(kAnimSetKnif, 1), 1);
    EXPECT_EQ(Total(), 5) << "three stand variants, StandAim, Shoot";
    RdAnimation* out = Declare("HE_STD_KNIF_ANM");
    int32_t cursor = 0;
    EXPECT_EQ(AnimSetPickVariant(HeroFamily, kAnimSetM1, 0, &out, &cursor), -1);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(AnimSetGetFirstVariant(kAnimSetM1, 0), nullptr);
    AnimSetAddVariant(kAnimSetM1, 0, "NOT_LOADED_ANM", 1, 2, 1.0f, HeroFamily);
    AnimSetAddVariant(kAnimSetKindCount, 0, "HE_STD_KNIF_ANM", 1, 2, 1.0f, HeroFamily);
    AnimSetAddVariant(0, -1, "HE_STD_KNIF_ANM", 1, 2, 1.0f, HeroFamily);
    EXPECT_EQ(Total(), 5) << "three stand variants, StandAim, Shoot";
    EXPECT_EQ(AnimSetPickVariant(HeroFamily, 99, 0, &out, &cursor), -1);
}

TEST_F(AnimSetTest, PicksFollowTheCursorChanceAndFamily)
{
    int32_t count = 0;
    const AnimSetRow* rows = AnimSetRows(&count);
    for (int32_t i = 0; i < count; ++i)
        if (rows[i].kind == kAnimSetKnif && rows[i].state == 0)
            Declare(rows[i].resourceId);
    AnimSetLoadAll();
    ASSERT_EQ(AnimSetGetVariantCount(kAnimSetKnif, 0), 6);
    RdAnimation* stand = Declare("HE_STD_KNIF_ANM");

    // The hero walks the list: one step, or two when chance passes a variant by.
    struct Row
    {
        int32_t min, max;
        float probability;
    };
    const Row variants[6] = {{6, 20, 1.0f}, {1, 1, 0.7f}, {6, 15, 0.8f}, {1, 1, 0.8f}, {6, 10, 0.9f}, {1, 1, 0.9f}};
    uint32_t& state = HbRandom::Instance()->GameState();
    int32_t cursor = 0;
    for (int i = 0; i < 200; ++i)
    {
        uint32_t copy = state;
        const float r = HbRandom::QuickUniform(copy);
        const int32_t before = cursor;
        const int32_t at = r > variants[before].probability ? (before + 1) % 6 : before;
        RdAnimation* out = nullptr;
        const int32_t n = AnimSetPickVariant(HeroFamily, kAnimSetKnif, 0, &out, &cursor);
        ASSERT_EQ(cursor, (at + 1) % 6);
        ASSERT_EQ(n, int32_t(std::floor(r * float(variants[at].max - variants[at].min))) + variants[at].min);
        ASSERT_EQ(out == stand, at % 2 == 0);
    }

    // An enemy may only use the first variant: on the second it gets the first and stays.
    RdAnimation* out = nullptr;
    cursor = 1;
    EXPECT_EQ(AnimSetPickVariant(HeroEnemyFamily, kAnimSetKnif, 0, &out, &cursor), -1);
    EXPECT_EQ(out, stand);
    EXPECT_EQ(cursor, 1);
    cursor = 0;
    EXPECT_GE(AnimSetPickVariant(HeroEnemyFamily, kAnimSetKnif, 0, &out, &cursor), 6);
    EXPECT_EQ(cursor, 1);

    // A cursor from outside the list is taken modulo its length.
    cursor = 13;
    EXPECT_EQ(AnimSetPickVariant(HeroEnemyFamily, kAnimSetKnif, 0, &out, &cursor), -1);
    EXPECT_EQ(cursor, 1);
    cursor = -5;
    EXPECT_EQ(AnimSetPickVariant(HeroEnemyFamily, kAnimSetKnif, 0, &out, &cursor), -1);
    EXPECT_EQ(cursor, 1);

    // One variant: its animation, -1.
    cursor = 0;
    EXPECT_EQ(AnimSetPickVariant(HeroFamily, kAnimSetKnif, 1, &out, &cursor), -1);
    EXPECT_EQ(out, stand);
}

TEST_F(AnimSetTest, ARangeOfSixToTwentyGivesSixToNineteen)
{
    Declare("HE_STD_KNIF_ANM");
    AnimSetAddVariant(kAnimSetM1, 5, "HE_STD_KNIF_ANM", 6, 20, 1.0f, HeroFamily);
    AnimSetAddVariant(kAnimSetM1, 5, "HE_STD_KNIF_ANM", -1, -1, 1.0f, HeroFamily);
    std::set<int32_t> seen;
    for (int i = 0; i < 2000; ++i)
    {
        int32_t cursor = 0;
        RdAnimation* out = nullptr;
        seen.insert(AnimSetPickVariant(HeroFamily, kAnimSetM1, 5, &out, &cursor));
    }
    EXPECT_EQ(*seen.begin(), 6);
    EXPECT_EQ(*seen.rbegin(), 19);
    EXPECT_EQ(seen.size(), 14u);
}

TEST(AnimSetModules, FillsPublishTheStatesAndTheWeaponKinds)
{
    const bool started = Py_IsInitialized() != 0;
    if (!started)
        Py_InitializeEx(0);
    struct Case
    {
        void (*fill)(PyObject*, int32_t);
        const char* module;
        int32_t count;
        std::vector<std::pair<const char*, long>> samples;
    };
    const Case cases[] = {
        {AnimModuleFill, "anim", kAnimStateCount, {{"Stand", 0}, {"LadederEndDown", 63}, {"CrouchDeath", 84}}},
        {AnimSetModuleFill, "anim_set", kAnimSetKindCount, {{"Knif", 0}, {"Boss", 8}, {"MG42_HE", 9}}},
    };
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.module);
        PyObject* module = PyModule_New(test.module);
        ASSERT_NE(module, nullptr);
        test.fill(module, 0);
        PyObject* dictionary = PyModule_GetDict(module);
        int32_t integers = 0;
        PyObject* key = nullptr;
        PyObject* value = nullptr;
        Py_ssize_t position = 0;
        while (PyDict_Next(dictionary, &position, &key, &value))
            integers += PyLong_Check(value) ? 1 : 0;
        EXPECT_EQ(integers, test.count);
        for (const auto& [name, number] : test.samples)
        {
            PyObject* item = PyDict_GetItemString(dictionary, name);
            ASSERT_NE(item, nullptr) << name;
            EXPECT_EQ(PyLong_AsLong(item), number) << name;
        }
        Py_DECREF(module);
    }
    if (!started)
        Py_FinalizeEx();
}

} // namespace
