// The move skills' service table.
#include "moveskillhooks.h"

MoveSkillHooks& GetMoveSkillHooks()
{
    static MoveSkillHooks hooks;
    return hooks;
}
