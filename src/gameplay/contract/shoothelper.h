// The aim correction switches the preferences set: the weapons' shoot helper and the follow
// camera's turn towards the target. The gameplay layer reads them when it aims.
#pragma once

#include <cstdint>

/// Non-zero switches the weapons' aim correction on.
void SetShootHelper(int32_t on);
int32_t GetShootHelper();
/// Non-zero makes the follow camera turn towards the helper's target.
void SetCameraShootHelper(int32_t on);
int32_t GetCameraShootHelper();
