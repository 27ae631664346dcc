// The actor-type registry: ids, factories, creation and the "actors_type" module.
#include "script_fixture.h"
#include "tsactor.h"
#include "tsactortyperegistry.h"

#include <string>

using scripttest::Eval;
using scripttest::ScriptTest;

namespace
{

int gFactoriesAlive = 0;

// An actor that remembers which factory made it.
class KindActor : public TsActor
{
public:
    explicit KindActor(int kind) : mKind(kind) {}
    int mKind;
};

int KindOf(TsActor* actor)
{
    return static_cast<KindActor*>(actor)->mKind;
}

class CountingFactory : public TsActorFactory
{
public:
    explicit CountingFactory(int kind) : mKind(kind) { ++gFactoriesAlive; }
    ~CountingFactory() override { --gFactoriesAlive; }
    TsActor* Create() override
    {
        auto* actor = new KindActor(mKind);
        actor->AddRef();
        return actor;
    }

private:
    int mKind;
};

const char* const kGameTypes[] = {"Hero",         "WeaponContact", "WeaponShoot", "MobileDof",
                                  "TsDummyActor", "TsAnimActor",   "TsDof",       "TsGroupAnimActor"};

TEST_F(ScriptTest, RegistryPublishesIdsInRegistrationOrder)
{
    gFactoriesAlive = 0;
    {
        TsActorTypeRegistry registry;
        int kind = 0;
        for (const char* name : kGameTypes)
            EXPECT_EQ(registry.RegisterNext(new CountingFactory(++kind), name), 1) << name;
        EXPECT_EQ(registry.GetCount(), 8) << "ids 3, 5, 6 and 7 pass the registry's value check";
        ASSERT_EQ(registry.PublishToModule("actors_type_test"), 1);
        EXPECT_EQ(Eval("__import__('actors_type_test').Hero"), "1");
        EXPECT_EQ(Eval("__import__('actors_type_test').WeaponShoot"), "3");
        EXPECT_EQ(Eval("__import__('actors_type_test').TsGroupAnimActor"), "8");
        EXPECT_EQ(Eval("list(vars(__import__('actors_type_test')))[-8:]"),
                  "['Hero', 'WeaponContact', 'WeaponShoot', 'MobileDof', 'TsDummyActor', 'TsAnimActor', 'TsDof', "
                  "'TsGroupAnimActor']");

        for (int id : {0, 9, -1})
            EXPECT_EQ(registry.Create(id), nullptr) << id;
        TsActor* hero = registry.Create(1);
        ASSERT_NE(hero, nullptr);
        EXPECT_EQ(KindOf(hero), 1);
        EXPECT_EQ(hero->GetRefCount(), 1);
        hero->Release();
        EXPECT_EQ(gFactoriesAlive, 8);
    }
    EXPECT_EQ(gFactoriesAlive, 0) << "the registry deletes its factories";
}

TEST_F(ScriptTest, RefusedRegistrationsDeleteTheirFactory)
{
    gFactoriesAlive = 0;
    TsActorTypeRegistry registry;
    EXPECT_EQ(registry.RegisterNext(new CountingFactory(1), "Hero"), 1);
    EXPECT_EQ(registry.RegisterNext(new CountingFactory(2), "Hero"), 0) << "name taken";
    EXPECT_EQ(gFactoriesAlive, 1);
    EXPECT_EQ(registry.Register(new CountingFactory(3), "Other", 1), 0) << "id taken";
    EXPECT_EQ(gFactoriesAlive, 1);
    EXPECT_EQ(registry.RegisterNext(nullptr, "Nobody"), 0);
    EXPECT_EQ(registry.FindByName("Nobody"), nullptr);
    EXPECT_EQ(registry.RegisterNext(new CountingFactory(4), "Next"), 1);
    EXPECT_EQ(registry.FindByName("Next")->value, 4) << "refused registrations still use up their id";
    TsActor* first = registry.Create(1);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(KindOf(first), 1) << "the first registration stays";
    first->Release();
    EXPECT_EQ(registry.Create(2), nullptr);
}

TEST_F(ScriptTest, EmptyRegistryMakesNoModule)
{
    TsActorTypeRegistry registry;
    EXPECT_EQ(registry.PublishToModule("actors_type_empty"), 0);
    EXPECT_EQ(registry.PublishToModule(nullptr), 0);
    EXPECT_EQ(Eval("'actors_type_empty' in __import__('sys').modules"), "False");
}

TEST_F(ScriptTest, RegistrySingletonIsARegistry)
{
    TsActorTypeRegistry* registry = TsActorTypeRegistry::Instance();
    ASSERT_NE(registry, nullptr);
    EXPECT_EQ(TsActorTypeRegistry::Instance(), registry);
    EXPECT_TRUE(HbClassDesc::IsKindOf(registry, &TsFamilyTable::sClassDesc));
    EXPECT_NE(static_cast<TsFamilyTable*>(registry), TsFamilyTable::Instance());

    struct DummyFactory : CountingFactory
    {
        DummyFactory() : CountingFactory(77) {}
    };
    TsActorTypeRegistration<DummyFactory> registration("RegistrationHelperType");
    const TsFamilyEntry* entry = registry->FindByName("RegistrationHelperType");
    ASSERT_NE(entry, nullptr);
    TsActor* actor = registry->Create(entry->value);
    ASSERT_NE(actor, nullptr);
    EXPECT_EQ(KindOf(actor), 77);
    actor->Release();
}

} // namespace
