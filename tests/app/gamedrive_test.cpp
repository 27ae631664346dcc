// The drive file's reader: what each command sets, and that every bad line is named, skipped
// and leaves the lines around it read.
#include "gamedrive.h"

#include "win32keyboard.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
TEST(GameDrive, ReadsEveryCommandAndKeepsTheEventsInOrder)
{
    GameDriveScript script;
    const std::string errors = GameDriveParse("# a whole run\r\n"
                                              "step 333333\r\n"
                                              "bound 400   # safety net\n"
                                              "trace out/trace.txt\n"
                                              "frames ../frames\n"
                                              "fault adapter\n"
                                              "\n"
                                              "at 1 key VK_RETURN\n"
                                              "at 2 save language\n"
                                              "on 7 key VK_RETURN\n"
                                              "on 1 +40 save main-menu\n",
                                              &script);
    EXPECT_EQ(errors, "");
    EXPECT_EQ(script.step, 333333);
    EXPECT_EQ(script.bound, 400);
    EXPECT_EQ(script.trace, "out/trace.txt");
    EXPECT_EQ(script.frames, "../frames");
    EXPECT_TRUE(script.adapterFault);
    ASSERT_EQ(script.events.size(), 4u);
    const struct
    {
        GameDriveEvent::Kind kind;
        int32_t state;
        int64_t frame;
        int32_t key;
        const char* name;
    } expected[] = {{GameDriveEvent::kKey, -1, 1, VK_RETURN, "VK_RETURN"},
                    {GameDriveEvent::kSave, -1, 2, 0, "language"},
                    {GameDriveEvent::kKey, 7, 1, VK_RETURN, "VK_RETURN"},
                    {GameDriveEvent::kSave, 1, 40, 0, "main-menu"}};
    for (size_t i = 0; i < script.events.size(); ++i)
    {
        SCOPED_TRACE(i);
        EXPECT_EQ(script.events[i].kind, expected[i].kind);
        EXPECT_EQ(script.events[i].state, expected[i].state);
        EXPECT_EQ(script.events[i].frame, expected[i].frame);
        if (expected[i].kind == GameDriveEvent::kKey)
            EXPECT_EQ(script.events[i].keyCode, expected[i].key);
        EXPECT_EQ(script.events[i].name, expected[i].name);
    }
}

TEST(GameDrive, NamesEveryBadLineAndSkipsOnlyThatLine)
{
    constexpr const char* kEventsError =
        "an event is \"key <name>\", \"hold <name> <frames>\", \"mouse <dx> <dy>\", "
        "\"save <name>\", \"memory\", \"hero\", \"actors\", \"scene\" or \"command <console line>\"";
    const struct
    {
        const char* line;
        const char* error;
    } cases[] = {
        {"walk 3", "unknown command \"walk\""},
        {"step 0", "step takes one whole number above 0"},
        {"step 10x", "step takes one whole number above 0"},
        {"bound 99999999999999999999999", "bound takes one whole number above 0"},
        {"trace", "trace takes one path"},
        {"fault display", "the faults are \"adapter\" and \"kill <file name>\""},
        {"fault kill ../gprefs.dat", "fault kill takes a file name without a folder"},
        {"timing", "timing takes the frames to leave out, 0 or more"},
        {"timing -3", "timing takes the frames to leave out, 0 or more"},
        {"at 3 hold VK_UP", kEventsError},
        {"at 3 hold VK_UP 0", "a key is held 1 frame or more"},
        {"at 3 hold VK_NOPE 4", "unknown key \"VK_NOPE\""},
        {"at 3 mouse 5", "a mouse move is two whole numbers from -100000 to 100000"},
        {"at 3 mouse 5 2x", "a mouse move is two whole numbers from -100000 to 100000"},
        {"at 3 mouse 100001 0", "a mouse move is two whole numbers from -100000 to 100000"},
        {"at 3 memory now", kEventsError},
        {"at 3 actors all", kEventsError},
        {"at 0 key VK_RETURN", "a frame number counts from 1"},
        {"at 3", kEventsError},
        {"at 3 key VK_NOPE", "unknown key \"VK_NOPE\""},
        {"at 3 press VK_RETURN", kEventsError},
        {"at 3 hero now", kEventsError},
        {"at 3 command", kEventsError},
        {"on 6 +4 scene all", kEventsError},
        {"at 3 save ../escape", "a frame's name is a file name without a folder"},
        {"on -1 key VK_RETURN", "a state is a number from 0 to 1000"},
        {"on 7 +0 key VK_RETURN", "the frames after an entry are +1 or more"},
        {"on 7 + key VK_RETURN", "the frames after an entry are +1 or more"},
        {"on", "on needs a number"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.line);
        GameDriveScript script;
        const std::string errors =
            GameDriveParse(std::string("at 1 key VK_DOWN\n") + c.line + "\nat 5 save after\n", &script);
        EXPECT_EQ(errors, std::string("line 2: ") + c.error + "\n");
        ASSERT_EQ(script.events.size(), 2u);
        EXPECT_EQ(script.events[0].name, "VK_DOWN");
        EXPECT_EQ(script.events[1].name, "after");
    }
}
TEST(GameDrive, ReadsHeldKeysMouseMovesMemoryHeroAndActorLinesCommandsTimingAndTheKillFault)
{
    GameDriveScript script;
    EXPECT_EQ(GameDriveParse("timing 30\n"
                             "fault kill Velmoran_Ann.sav\n"
                             "at 10 hold VK_UP 120\n"
                             "on 13 +5 mouse -40 7\n"
                             "at 1000 memory\n"
                             "on 6 +30 command  SetObjective 0  0 1 0 # a comment\n"
                             "on 6 +31 hero\n"
                             "on 6 +2 actors\n"
                             "at 12 hold VK_RBUTTON 3\n"
                             "on 6 +40 scene\n",
                             &script),
              "");
    EXPECT_EQ(script.timingSkip, 30);
    EXPECT_EQ(script.killOnReplace, "Velmoran_Ann.sav");
    ASSERT_EQ(script.events.size(), 8u);
    EXPECT_EQ(script.events[0].kind, GameDriveEvent::kHold);
    EXPECT_EQ(script.events[0].keyCode, VK_UP);
    EXPECT_EQ(script.events[0].frame, 10);
    EXPECT_EQ(script.events[0].frames, 120);
    EXPECT_EQ(script.events[1].kind, GameDriveEvent::kMouse);
    EXPECT_EQ(script.events[1].state, 13);
    EXPECT_EQ(script.events[1].frame, 5);
    EXPECT_EQ(script.events[1].dx, -40);
    EXPECT_EQ(script.events[1].dy, 7);
    EXPECT_EQ(script.events[2].kind, GameDriveEvent::kMemory);
    EXPECT_EQ(script.events[2].frame, 1000);
    // The console line as typed, its spacing made single and the comment left out.
    EXPECT_EQ(script.events[3].kind, GameDriveEvent::kCommand);
    EXPECT_EQ(script.events[3].state, 6);
    EXPECT_EQ(script.events[3].frame, 30);
    EXPECT_EQ(script.events[3].name, "SetObjective 0 0 1 0");
    EXPECT_EQ(script.events[4].kind, GameDriveEvent::kHero);
    EXPECT_EQ(script.events[4].frame, 31);
    EXPECT_EQ(script.events[5].kind, GameDriveEvent::kActors);
    EXPECT_EQ(script.events[5].state, 6);
    // The mouse's buttons are held as the window system's button codes.
    EXPECT_EQ(script.events[6].kind, GameDriveEvent::kHold);
    EXPECT_EQ(script.events[6].keyCode, VK_RBUTTON);
    EXPECT_EQ(script.events[7].kind, GameDriveEvent::kScene);
    EXPECT_EQ(script.events[7].frame, 40);
    // Without the command no state is timed.
    GameDriveScript plain;
    EXPECT_EQ(GameDriveParse("bound 3\n", &plain), "");
    EXPECT_LT(plain.timingSkip, 0);
}
} // namespace
