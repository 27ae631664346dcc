// The harness itself: an action fired in one frame is seen in that frame only, the clock
// steps by exactly the frame, placements reach the recording camera through the registry.
#include "gameplay_fixture.h"
#include "hbclock.h"
#include "scriptworld_fixture.h"
#include "tscameraregistry.h"

#include <gtest/gtest.h>

namespace
{
using namespace gameplaytest;
using namespace scriptworldtest;

class Harness : public ScriptWorldTest
{
};

TEST_F(Harness, ActionsClockAndCameraPlacements)
{
    Input input;
    ASSERT_TRUE(input.Bind("CROUCH", "VK_C", "CLICK"));
    GameClock clock;
    for (int frame = 1; frame <= 5; ++frame)
    {
        if (frame == 3)
            input.Press('C');
        if (frame == 4)
            input.Lift('C');
        input.Frame();
        clock.Step(1.0f / 60.0f);
        EXPECT_EQ(Input::Triggered("CROUCH"), frame == 3 ? 1 : 0) << frame;
    }
    EXPECT_EQ(Input::Triggered("JUMP"), -1);
    EXPECT_EQ(HbGameClock::Instance()->mGameTime, 5 * (HbPerformanceFrequency() / 60));

    RecordingCamera* camera = RecordingCamera::Create();
    ASSERT_NE(camera, nullptr);
    const int32_t id = TsCameraRegistry::AddCamera(camera, mScene);
    TsCameraRegistry::ActivateCamera(id);
    const int32_t record[2] = {3, 0};
    TsCameraRegistry::SetCameraPlacement(id, record);
    TsCameraRegistry::UpdateActiveCameras();
    EXPECT_EQ(camera->mCalls, (std::vector<std::string>{"placement 3", "apply"}));
    TsCameraRegistry::Clear();
}

} // namespace
