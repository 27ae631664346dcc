// The front-end states' cached input actions.
#include "gameinputaction.h"

#include "hbinputaction.h"
#include "hbinputmanager.h"

int32_t GameInputAction::IsTriggered()
{
    HbInputManager* input = HbInputManager::Instance();
    if (!input)
        return 0;
    const uint32_t counter = HbInputManager::BindingCounter();
    if (!looked || !action || counter != bindings)
    {
        action = input->FindAction(name);
        bindings = counter;
        looked = true;
    }
    return action && action->IsTriggered() ? 1 : 0;
}
