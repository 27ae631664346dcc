// The mouse controller: movement and wheel from the DirectInput mouse device.
#include "hbmousecontroller.h"

#include "hbapplication.h"
#include "hbinputmanager.h"
#include "win32keyboard.h"

HB_DEFINE_CLASS_DESC(HbMouseController, HbController);

namespace
{
// The desktop from the window state; asked of the window system when the
// state has none yet (no main window made).
RECT DesktopRect()
{
    RECT rect = {};
    if (HbApplication* application = HbApplication::Get())
        rect = application->WindowState().desktop;
    if (rect.right <= rect.left || rect.bottom <= rect.top)
        GetWindowRect(GetDesktopWindow(), &rect);
    return rect;
}
} // namespace

float HbMouseAxes::GetRaw(int32_t index)
{
    return index >= 0 && index < 3 ? mRaw[index] : 0.0f;
}

void HbMouseAxes::Poll()
{
    mRaw[0] = mRaw[1] = mRaw[2] = 0.0f;
    HbInputManager* manager = HbInputManager::Instance();
    IDirectInputDevice8A* mouse = manager ? manager->GetMouseDevice() : nullptr;
    if (!mouse)
        return;
    HbApplication* application = HbApplication::Get();
    if (application && !application->WindowState().active)
    {
        mouse->Unacquire();
        return;
    }
    mouse->Acquire();
    DIMOUSESTATE state = {};
    if (mouse->GetDeviceState(sizeof state, &state) < 0)
        return;
    mRaw[0] = static_cast<float>(state.lX);
    mRaw[1] = static_cast<float>(state.lY);
    mRaw[2] = static_cast<float>(state.lZ);
}

HbMouseController::HbMouseController() : HbController(kHbControllerMouse, "Mouse"), mAxes(new HbMouseAxes())
{
    InitKeyNames();
    if (mAxes)
    {
        RECT desktop = DesktopRect();
        mAxes->SetRange(0, desktop.left, desktop.right);
        mAxes->SetRange(1, desktop.top, desktop.bottom);
    }
}

HbMouseController::~HbMouseController()
{
    delete mAxes;
}

int HbMouseController::Update()
{
    if (!CheckConnection())
        return 0;
    if (mAxes)
        mAxes->Poll();
    Dispatch(1);
    return 1;
}

int HbMouseController::GetAxis(int32_t index, float out[2])
{
    if (index != 0 || !mAxes)
    {
        out[0] = out[1] = 0.0f;
        return 0;
    }
    out[0] = mAxes->GetAxis(0) * mSensitivity;
    out[1] = mAxes->GetAxis(1) * mSensitivity;
    return 1;
}

int HbMouseController::GetWheel(int32_t index, float* out)
{
    if (index != 0 || !mAxes)
    {
        *out = 0.0f;
        return 0;
    }
    float wheel = mAxes->GetRaw(2);
    *out = wheel < -0.001f ? -1.0f : wheel > 0.001f ? 1.0f : 0.0f;
    return 1;
}

int HbMouseController::SetAxisInverted(int32_t index, int32_t axis, int32_t flag)
{
    if (index != 0 || !mAxes || axis < 0 || axis > 1)
        return 0;
    mAxes->SetInverted(axis, flag);
    return 1;
}

void HbMouseController::InitKeyNames()
{
    AddKeyName("VK_LBUTTON", VK_LBUTTON);
    AddKeyName("VK_RBUTTON", VK_RBUTTON);
    AddKeyName("VK_MBUTTON", VK_MBUTTON);
}
