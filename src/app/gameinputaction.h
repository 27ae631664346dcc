// GameInputAction: an input action the front-end states read by name, looked up once and again
// only when the key bindings have changed.
#pragma once

#include <cstdint>

class HbInputAction;

struct GameInputAction
{
    explicit GameInputAction(const char* actionName) : name(actionName) {}
    /// 1 when the action fired this frame; 0 while no action has the name (an unbound action
    /// never fires) or without an input manager.
    int32_t IsTriggered();
    /// Forgets the action found, so the next read looks it up again.
    void Forget() { looked = false; }

    const char* name;
    HbInputAction* action = nullptr;
    uint32_t bindings = 0;
    bool looked = false;
};
