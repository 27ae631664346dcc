// Test helpers for the input system: an application whose window state the
// controllers read, a frozen performance counter moved frame by frame, the
// injected DirectInput source, binding scripts written to a temporary
// directory, and the bind line command the game would register.
#pragma once

#include "dinput8testhooks.h"
#include "hbapplication.h"
#include "hbclock.h"
#include "hbcommand.h"
#include "hbfile_fixture.h"
#include "hbinputaction.h"
#include "hbinputmanager.h"
#include "hbkeycondition.h"
#include "win32keyboard.h"
#include "win32testhooks.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace hbtest
{

/// What the game's bind command does with its four arguments.
class BindCommand : public HbCommand
{
public:
    BindCommand() : HbCommand("bind", "bind {controler} {action} {keys} {state}") {}
    int Execute(const HbCommandArgs& args, int32_t) override
    {
        if (args.GetCount() != 5)
            return 0;
        HbInputManager::Instance()->BindFromText(args.GetToken(1).c_str(), args.GetToken(2).c_str(),
                                                 args.GetToken(3).c_str(), args.GetToken(4).c_str());
        return 1;
    }
};
inline BindCommand gBindCommand;

/// Counts its runs; bound under an action's name it becomes that action's command.
class CountingCommand : public HbCommand
{
public:
    explicit CountingCommand(const char* name) : HbCommand(name, "") {}
    int Execute(const HbCommandArgs&, int32_t) override
    {
        ++runs;
        return 1;
    }
    int runs = 0;
};

class InputApp : public HbApplication
{
};

constexpr int64_t kCounterFrequency = 10000000;

class InputFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Win32TestUseScript();
        // Frozen where it is, so that the real clock never runs backwards.
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        Win32TestSetPerformanceCounter(now.QuadPart);
        dinput8test::UseSource(dinput8test::Source::Injected);
        mApp = std::make_unique<InputApp>();
        HbWindowState& state = mApp->WindowState();
        state.instance = GetModuleHandleA(nullptr);
        state.desktop = RECT{0, 0, 1024, 768};
        state.active = 1;
        Manager().Reset();
        HbRealClock::Instance()->Tick();
    }

    void TearDown() override
    {
        Manager().Reset();
        mApp.reset();
        EXPECT_EQ(dinput8test::LiveInterfaces(), 0) << "DirectInput references left";
        Win32TestUseRealPerformanceCounter();
    }

    static HbInputManager& Manager() { return *HbInputManager::Instance(); }

    /// Writes the lines as a binding script and runs it through the manager.
    void RunBindings(const std::string& lines)
    {
        std::string path = mDir / "commands.scr";
        WriteBytes(path, lines);
        EXPECT_EQ(Manager().ExecuteBindingFile(path.c_str()), 1);
    }

    /// One frame: the clock moves on and ticks, then the manager reads input.
    int Frame(double seconds = 1.0 / 60.0)
    {
        Win32TestAdvancePerformanceCounter(static_cast<int64_t>(seconds * kCounterFrequency));
        HbRealClock::Instance()->Tick();
        return Manager().Update();
    }

    static void Key(uint8_t virtualKey, bool down) { Win32TestKeyEvent(virtualKey, down); }

    static int Triggered(const char* action)
    {
        HbInputAction* found = Manager().FindAction(action);
        return found ? found->IsTriggered() : -1;
    }

    TempDir mDir;
    std::unique_ptr<InputApp> mApp;
};

} // namespace hbtest
