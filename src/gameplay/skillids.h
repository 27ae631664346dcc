// The script ids and names of the gameplay layer's skills, and the error codes a skill
// reports through its actor's skill table.
#pragma once

#include <cstdint>

constexpr int32_t kMsHeroMoveId = 0x9003;
constexpr int32_t kMsPnjMoveId = 0x9002;
constexpr int32_t kMsPanzerMoveId = 0x9004;
constexpr int32_t kMsMoveRotatePlayAnimId = 0xC101;
constexpr int32_t kMsObjectDisappearId = 0x1002;
constexpr int32_t kMsMoveDofId = 0x1753;

enum MoveSkillError : uint32_t
{
    kMsErrorNoAmmo = 1,
    kMsErrorMoveOutAstar = 2,
    kMsErrorMoveWorldColl = 3,
    kMsErrorMoveActorColl = 4,
    kMsErrorMoveNoPath = 5,
    kMsErrorMoveNoTarget = 6,
    kMsErrorCanNotShoot = 7,
    kMsErrorCanNotShootNoAmmo = 8,
    kMsErrorCanNotShootRearm = 9,
    kMsErrorCanNotShootMustMove = 10,
    kMsErrorCanNotShootCloseCollision = 11,
    /// Scripts cannot tell it from kMsErrorMoveOutAstar: the same value.
    kMsErrorMdofFinish = 2,
};
