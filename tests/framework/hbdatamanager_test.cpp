// Tests of the data manager: the tree that data scripts build, typed reads by
// container name and key, replacement, and scripts that are out of balance.
#include "hbcommand.h"
#include "hbdatamanager.h"
#include "hbfile_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

class DataManagerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        HbDataManager::Destroy();
        ASSERT_EQ(HbDataManager::Create(), 1);
    }
    void TearDown() override { HbDataManager::Destroy(); }

    static void Run(const std::vector<std::string>& lines)
    {
        for (const std::string& line : lines)
            EXPECT_EQ(HbCommandManager::Instance()->ExecuteLine(line.c_str()), HbCommandManager::kDone) << line;
    }
    static TDataManagerContainer* Root() { return HbDataManager::Root(); }
};

TEST_F(DataManagerTest, ScriptBuildsTheTreeAtEachEnd)
{
    Run({"DataContainerBegin SOUNDS", "DataContainerBegin SD_X", "SetReal 3D_MIN_DIST 1.5",
         "SetString LOOP_MODE NORMAL", "DataContainerEnd"});
    EXPECT_EQ(Root()->FindContainer("SOUNDS"), nullptr) << "visible only once its block ends";
    EXPECT_EQ(Root()->FindContainer("SD_X"), nullptr);
    Run({"DataContainerEnd"});

    TDataManagerContainer* sounds = Root()->FindContainer("SOUNDS");
    ASSERT_NE(sounds, nullptr);
    TDataManagerContainer* sound = sounds->FindContainer("SD_X");
    ASSERT_NE(sound, nullptr);
    EXPECT_EQ(sound->GetName(), "SD_X");
    float distance = 0;
    ASSERT_EQ(sound->GetReal("3D_MIN_DIST", distance), 1);
    EXPECT_EQ(distance, 1.5f);
    std::string mode;
    ASSERT_EQ(sound->GetString("LOOP_MODE", mode), 1);
    EXPECT_EQ(mode, "NORMAL");
    EXPECT_EQ(sounds->FindContainer("sd_x"), nullptr) << "names are case-sensitive";
    EXPECT_EQ(HbDataManager::Current(), Root());
    EXPECT_EQ(HbDataManager::GetStackDepth(), 0);
}

TEST_F(DataManagerTest, ValuesAreReadOnlyAsTheKindTheyWereSetAs)
{
    Run({"DataContainerBegin C", "SetBoolean B1 TRUE", "SetBoolean B2 FALSE", "SetBoolean B3 true",
         "SetInteger I1 12abc", "SetInteger I2", "SetInteger I3 -40", "SetInteger I4 99999999999", "SetReal R 2.5e1",
         "SetString S one two", "SetString E", "DataContainerEnd"});
    TDataManagerContainer* c = Root()->FindContainer("C");
    ASSERT_NE(c, nullptr);
    struct IntegerCase
    {
        const char* key;
        int32_t value;
    } integers[] = {{"B1", 1}, {"B2", 0}, {"B3", 0}, {"I1", 12}, {"I2", 0}, {"I3", -40}, {"I4", INT32_MAX}};
    for (const IntegerCase& k : integers)
    {
        int32_t value = -99;
        EXPECT_EQ(c->GetInteger(k.key, value), 1) << k.key;
        EXPECT_EQ(value, k.value) << k.key;
    }
    bool flag = false;
    EXPECT_EQ(c->GetBoolean("B1", flag), 1);
    EXPECT_TRUE(flag);
    float real = 0;
    EXPECT_EQ(c->GetReal("R", real), 1);
    EXPECT_EQ(real, 25.0f);
    std::string text;
    EXPECT_EQ(c->GetString("S", text), 1);
    EXPECT_EQ(text, "one") << "one token";
    EXPECT_EQ(c->GetString("E", text), 1);
    EXPECT_EQ(text, "");

    // The wrong kind, or a missing key, reads as absent and leaves the default.
    int32_t integer = 7;
    real = 3;
    text = "default";
    EXPECT_EQ(c->GetInteger("R", integer) + c->GetInteger("S", integer) + c->GetReal("B1", real) +
                  c->GetString("I1", text) + c->GetReal("MISSING", real) + c->GetBoolean("R", flag),
              0);
    EXPECT_EQ(integer, 7);
    EXPECT_EQ(real, 3);
    EXPECT_EQ(text, "default");
    EXPECT_EQ(c->FindEntry("S")->AsReal(), nullptr);
    EXPECT_EQ(c->FindEntry("S")->GetKind(), TDataManagerContainer::Kind::String);
}

TEST_F(DataManagerTest, LaterBlocksAndKeysReplaceEarlierOnes)
{
    Run({"DataContainerBegin M", "SetInteger K 1", "SetReal K 4", "DataContainerBegin OLD", "DataContainerEnd",
         "DataContainerEnd", "DataContainerBegin M", "SetInteger K 2", "DataContainerEnd"});
    TDataManagerContainer* m = Root()->FindContainer("M");
    ASSERT_NE(m, nullptr);
    int32_t k = 0;
    EXPECT_EQ(m->GetInteger("K", k), 1);
    EXPECT_EQ(k, 2);
    EXPECT_EQ(m->FindContainer("OLD"), nullptr) << "the first M went with its children";
    EXPECT_EQ(Root()->GetChildren().GetCount(), 1);
    EXPECT_EQ(m->GetEntries().GetCount(), 1);
}

TEST_F(DataManagerTest, UnbalancedScriptsCannotBreakTheTree)
{
    // Before any block there is nowhere to store; an End too many is ignored.
    Run({"SetInteger EARLY 1", "DataContainerEnd"});
    EXPECT_EQ(HbDataManager::Current(), nullptr);
    EXPECT_EQ(Root()->GetEntries().GetCount(), 0);
    EXPECT_EQ(Root()->GetChildren().GetCount(), 0);

    Run({"DataContainerBegin A", "DataContainerEnd", "DataContainerEnd", "DataContainerEnd", "SetInteger TOP 3"});
    EXPECT_EQ(HbDataManager::Current(), Root());
    EXPECT_EQ(Root()->FindContainer("Root"), nullptr) << "the root never becomes its own child";
    int32_t top = 0;
    EXPECT_EQ(Root()->GetInteger("TOP", top), 1) << "after the outermost End the root is current";

    // The build state carries over between scripts; Destroy frees open blocks too.
    Run({"DataContainerBegin OPEN", "DataContainerBegin INNER", "SetInteger X 1"});
    EXPECT_EQ(HbDataManager::GetStackDepth(), 2);
    HbDataManager::Destroy();
    EXPECT_EQ(HbDataManager::Root(), nullptr);
    EXPECT_EQ(HbDataManager::Current(), nullptr);
    EXPECT_EQ(HbDataManager::GetStackDepth(), 0);
    Run({"DataContainerBegin LOST", "DataContainerEnd"}); // no root: the block is dropped
    EXPECT_EQ(HbDataManager::Current(), nullptr);
}

TEST_F(DataManagerTest, RunsFromACommandScript)
{
    hbtest::TempDir dir;
    hbtest::WriteBytes(dir / "data.scr", "# sounds\r\nDataContainerBegin SOUNDS\r\n  DataContainerBegin SD_Y\r\n"
                                         "    SetBoolean 3D TRUE\r\n  DataContainerEnd\r\nDataContainerEnd\r\n");
    ASSERT_EQ(HbExecuteScript((dir / "data.scr").c_str()), 1);
    TDataManagerContainer* sounds = Root()->FindContainer("SOUNDS");
    ASSERT_NE(sounds, nullptr);
    ASSERT_NE(sounds->FindContainer("SD_Y"), nullptr);
    bool is3d = false;
    EXPECT_EQ(sounds->FindContainer("SD_Y")->GetBoolean("3D", is3d), 1);
    EXPECT_TRUE(is3d);
}

} // namespace
