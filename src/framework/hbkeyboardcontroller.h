// HbKeyboardController: actions on the keys of the Windows key state, named by
// their virtual-key names ("VK_SPACE", "VK_A", "VK_F1", ...).
#pragma once

#include "hbcontroller.h"

class HbKeyboardController : public HbController
{
    HB_DECLARE_CLASS_DESC();

public:
    /// Kind 1, type name "Keyboard", the key names filled.
    HbKeyboardController();

    int IsConnected() override { return 1; }
    /// CheckConnection, then Dispatch(1); 0 when not connected, else 1.
    int Update() override;
    int Reacquire() override { return 1; }
    /// The 123 key names with their virtual-key codes.
    void InitKeyNames() override;
};
