// The hero's lists as the start-up hands them to the layers below the hero's class: the level
// script's inventory functions, the scenario commands and the inventory wheel's reader all reach
// the real hero's weapon list, equipment and hand.
#include "gameservices.h"
#include "gameservicesdefaults.h"
#include "hbcommand.h"
#include "hero.h"
#include "heroactorhooks.h"
#include "herohudaccess.h"
#include "herostatemachine.h"
#include "scenaricmodule.h"
#include "scenariocommands.h"
#include "script_fixture.h"
#include "scriptworld_fixture.h"
#include "tsnothingtodo.h"
#include "tsskillregistry.h"

#include <gtest/gtest.h>

namespace
{
using namespace scriptworldtest;

class HeroAccess : public ScriptWorldTest
{
protected:
    void SetUp() override
    {
        ScenaricModuleInstall();
        ScriptWorldTest::SetUp();
        TsSkillRegistry* skills = TsSkillRegistry::Instance();
        TsNothingToDoQueueRegistration(skills);
        skills->Clear();
        mWorld->StartScripting();
        ASSERT_GT(ScenarioCommandsRegisteredCount(), 0);
        // The start-up's installation; the table itself goes back to the least entries.
        GameServicesInstallDefaults();
        GameServicesTable() = GameServicesLeast();
        HeroActorHooksInstall();
        mHero = new Hero();
        mHero->AddRef();
        mWorld->SetHero(mHero);
        ASSERT_EQ(Exec("from scenaric import *\n"
                       "class Thing:\n"
                       "    def DropObject(self, at, along, flag):\n"
                       "        pass\n"
                       "gun = Thing()\nkey = Thing()\nmap = Thing()\n"),
                  "");
        for (const char* name : {"gun", "key", "map"})
        {
            PyObject* object = PyDict_GetItemString(scripttest::MainDict(), name);
            FakeActor* actor = Make(name, {0, 0, 0});
            actor->BindScriptObject(object);
            ASSERT_EQ(ScenaricBindActor(object, actor), 1);
        }
    }
    void TearDown() override
    {
        mHero->Restart();
        mWorld->SetHero(nullptr);
        mHero->Release();
        HeroActorHooksRemove();
        ScriptWorldTest::TearDown();
    }
    static int Run(const char* line) { return HbCommandManager::Instance()->ExecuteLine(line); }

    Hero* mHero = nullptr;
};

TEST_F(HeroAccess, ScriptsCommandsAndTheWheelReachTheRealHerosLists)
{
    WeaponList* weapons = mHero->GetWeaponList();
    TsInventory* equipment = mHero->GetEquipment();
    ASSERT_NE(weapons, nullptr);
    ASSERT_NE(equipment, nullptr);

    // The level script fills the hero's inventory (its weapon list) and its equipment.
    EXPECT_EQ(Exec("AddToInventory(gun, 'GUN')"), "");
    EXPECT_EQ(Exec("AddToEquipment(key, 'KEY', 'a key')"), "");
    EXPECT_EQ(Exec("AddToEquipment(map, 'MAP', 'a map')"), "");
    EXPECT_TRUE(weapons->Contains("GUN"));
    EXPECT_TRUE(equipment->Contains("KEY"));
    EXPECT_EQ(Eval("GetEquipmentItem('KEY') is key"), "True");
    EXPECT_EQ(Eval("GetEquipmentItem('GUN')"), "None") << "the inventory is not the equipment";

    // The inventory wheel reads the same list.
    EXPECT_EQ(HeroHudAccess::Get()->GetWeaponList(mHero), weapons);
    EXPECT_EQ(HeroHudAccess::Get()->GetWeaponList(nullptr), nullptr);

    // The scenario commands take items out of the inventory first, else the equipment.
    EXPECT_EQ(Run("SetPhysicalInventoryAction 0 0 GUN"), HbCommandManager::kDone);
    EXPECT_FALSE(weapons->Contains("GUN"));
    EXPECT_EQ(Run("SetPhysicalInventoryAction 0 0 KEY"), HbCommandManager::kDone);
    EXPECT_FALSE(equipment->Contains("KEY"));
    EXPECT_TRUE(equipment->Contains("MAP"));

    // The hero gone, nothing reaches its lists.
    mWorld->SetHero(nullptr);
    EXPECT_NE(Exec("AddToInventory(gun, 'GUN')"), "");
    mWorld->SetHero(mHero);
}
/// A hero state that stays itself.
class StayState : public HeroState
{
public:
    explicit StayState(int32_t code) : HeroState(code) {}
    int32_t Decide(TsActor*) override { return GetCode(); }
};

TEST_F(HeroAccess, TheStageSeesTheHeroInItsFirstStateOnlyWhileItsMachineIsThere)
{
    GameServicesInstallDefaults();
    const auto inFirstState = GameServicesTable().heroInFirstState;
    GameServicesTable() = GameServicesLeast();
    HeroStateMachine* machine = mHero->GetStateMachine();
    ASSERT_NE(machine, nullptr);
    EXPECT_EQ(inFirstState(), 0) << "no state yet";
    for (int32_t code : {0, 1})
        machine->AddState(new StayState(code));
    ASSERT_EQ(machine->SetState(0), 1);
    EXPECT_EQ(inFirstState(), 1);
    ASSERT_EQ(machine->SetState(1), 1);
    EXPECT_EQ(inFirstState(), 0);
    ASSERT_EQ(machine->SetState(0), 1);
    mWorld->SetHero(nullptr);
    EXPECT_EQ(inFirstState(), 0) << "no hero";
    mWorld->SetHero(mHero);
}
} // namespace
