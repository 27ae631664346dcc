// The options menu's sizes and depths, built from the modes of a scripted device: mode 0 and
// unreadable modes skipped, depths other than 16 and 32 adding only their size, the capacity
// of 100, and the present choice.
#include "engine.h"
#include "hbapplication.h"
#include "wvideomodelist.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace renderertest
{
namespace
{

// A device that only answers the mode requests, from a table the test sets.
struct ScriptedModes
{
    static std::vector<VideoMode>& Modes()
    {
        static std::vector<VideoMode> modes;
        return modes;
    }
    static int32_t& Unreadable()
    {
        static int32_t index = -1;
        return index;
    }
    static int32_t& Current()
    {
        static int32_t index = 0;
        return index;
    }

    static int32_t System(int32_t request, void* out, void*, int32_t number)
    {
        switch (request)
        {
        case kDeviceOpen:
        case kDeviceClose:
        case kDeviceStart:
        case kDeviceStop:
            return 1;
        case kDeviceRegister:
            *static_cast<DeviceRecord*>(out) = *Record();
            return 1;
        case kDeviceNumVideoModes:
            *static_cast<int32_t*>(out) = int32_t(Modes().size());
            return 1;
        case kDeviceVideoModeInfo:
            if (number < 0 || number >= int32_t(Modes().size()) || number == Unreadable())
                return 0;
            *static_cast<VideoMode*>(out) = Modes()[size_t(number)];
            return 1;
        case kDeviceCurrentVideoMode:
            *static_cast<int32_t*>(out) = Current();
            return 1;
        default:
            return 0;
        }
    }
    static const DeviceRecord* Record()
    {
        static const DeviceRecord record = {1.0f,    System,  0.0f,    1.0f,    nullptr, nullptr,
                                            nullptr, nullptr, nullptr, nullptr, {}};
        return &record;
    }
    static int32_t Attach() { return 1; }
    static const DeviceDriver* Driver()
    {
        static const DeviceDriver driver = {Attach, Record};
        return &driver;
    }
};

class VideoModeList : public ::testing::Test
{
protected:
    void Open(std::vector<VideoMode> modes, int32_t unreadable = -1)
    {
        ScriptedModes::Modes() = std::move(modes);
        ScriptedModes::Unreadable() = unreadable;
        ScriptedModes::Current() = 0;
        Engine::SetDriver(ScriptedModes::Driver());
        ASSERT_NE(Engine::Init(nullptr, 0, 0), 0);
        ASSERT_EQ(Engine::Open(&mWindow), 1);
    }
    void TearDown() override
    {
        if (Engine::Current() && Engine::Current()->state == kEngineOpened)
            Engine::Close();
        Engine::Term();
    }

    static std::vector<std::string> SizeNames(const WVideoModeList& list)
    {
        return std::vector<std::string>(list.sizeNames, list.sizeNames + list.sizeCount);
    }
    static std::vector<std::string> DepthNames(const WVideoModeList& list)
    {
        return std::vector<std::string>(list.depthNames, list.depthNames + list.depthCount);
    }

    int32_t mWindow = 1;
    WVideoModeList mList = {};
};

VideoMode Windowed(int32_t width, int32_t height)
{
    return {width, height, 32, 0, 60, 0};
}

VideoMode FullScreen(int32_t width, int32_t height, int32_t depth)
{
    return {width, height, depth, 1, 60, 0};
}

TEST_F(VideoModeList, SizesAndDepthsComeFromTheFullScreenModesInModeOrder)
{
    Open({Windowed(1600, 1200), FullScreen(640, 480, 16), FullScreen(640, 480, 32), FullScreen(800, 600, 32),
          FullScreen(800, 600, 16), FullScreen(1024, 768, 24), FullScreen(1280, 1024, 32)},
         6);
    WVideoModeList::Build(&mList);
    EXPECT_EQ(SizeNames(mList), (std::vector<std::string>{"640x480", "800x600", "1024x768"}))
        << "mode 0 and the unreadable mode add nothing; a 24-bit mode adds its size only";
    EXPECT_EQ(DepthNames(mList), (std::vector<std::string>{"16", "32"}));
    EXPECT_EQ(mList.depthKinds[0], 0);
    EXPECT_EQ(mList.depthKinds[1], 1);
    EXPECT_EQ(mList.sizes[1].width, 800);
    EXPECT_EQ(mList.sizes[1].height, 600);

    // Building again starts over.
    WVideoModeList::Build(&mList);
    EXPECT_EQ(mList.sizeCount, 3);
    EXPECT_EQ(mList.depthCount, 2);
}

TEST_F(VideoModeList, DepthsKeepTheOrderTheyFirstAppearIn)
{
    Open({Windowed(640, 480), FullScreen(640, 480, 32), FullScreen(640, 480, 16)});
    WVideoModeList::Build(&mList);
    EXPECT_EQ(DepthNames(mList), (std::vector<std::string>{"32", "16"}));
    EXPECT_EQ(mList.depthKinds[0], 1);
}

TEST_F(VideoModeList, MoreThanAHundredSizesKeepTheFirstHundred)
{
    std::vector<VideoMode> modes = {Windowed(640, 480)};
    for (int32_t i = 0; i < 150; ++i)
        modes.push_back(FullScreen(320 + 8 * i, 240, 32));
    Open(modes);
    WVideoModeList::Build(&mList);
    EXPECT_EQ(mList.sizeCount, WVideoModeList::kCapacity);
    EXPECT_STREQ(mList.sizeNames[99], "1112x240");
    EXPECT_EQ(mList.depthCount, 1);
}

TEST_F(VideoModeList, ThePresentChoiceFollowsTheWindowAndTheCurrentMode)
{
    Open({Windowed(1024, 768), FullScreen(640, 480, 16), FullScreen(800, 600, 16), FullScreen(800, 600, 32)});
    WVideoModeList::Build(&mList);
    HbWindowState window;
    window.requestedWidth = 800;
    window.requestedHeight = 600;

    ScriptedModes::Current() = 3;
    WVideoModeList::FindCurrent(&mList, window);
    EXPECT_EQ(mList.currentSize, 1);
    EXPECT_EQ(mList.currentDepth, 1);
    EXPECT_EQ(mList.fullScreen, 1);

    // The windowed desktop mode is 32-bit; the window's size is not among the sizes.
    ScriptedModes::Current() = 0;
    window.requestedWidth = 700;
    WVideoModeList::FindCurrent(&mList, window);
    EXPECT_EQ(mList.currentSize, 0);
    EXPECT_EQ(mList.currentDepth, 1);
    EXPECT_EQ(mList.fullScreen, 0);

    // A present mode that cannot be read leaves the first choices.
    ScriptedModes::Current() = 3;
    ScriptedModes::Unreadable() = 3;
    window.requestedWidth = 800;
    WVideoModeList::FindCurrent(&mList, window);
    EXPECT_EQ(mList.currentSize, 0);
    EXPECT_EQ(mList.currentDepth, 0);
    EXPECT_EQ(mList.fullScreen, 0);
}

} // namespace
} // namespace renderertest
