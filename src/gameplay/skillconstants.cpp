// The constant modules of the animation states and path modes.
#include "skillconstants.h"

#include <Python.h>

#include <cstring>

namespace
{
struct Constant
{
    const char* name;
    int32_t value;
};

constexpr Constant kHeMap[] = {
    {"None", 0},          {"Stop", 2},             {"Stand", 3},             {"StandAim", 7},
    {"Roll", 10},         {"Walk", 11},            {"WalkAim", 22},          {"WalkLeftAim", 23},
    {"WalkRightAim", 24}, {"WalkBackAim", 25},     {"Run", 26},              {"CrouchStand", 28},
    {"CrouchWalk", 31},   {"CrouchStandAim", 35},  {"CrouchWalkAim", 36},    {"CrouchLeftAim", 37},
    {"CrouchRightAim", 38}, {"CrouchBackAim", 39}, {"Death1", 41},           {"Death2", 42},
    {"Neutral", 49},      {"TurnLeftAim", 51},     {"TurnRightAim", 52},     {"CrouchTurnLeftAim", 53},
    {"CrouchTurnRightAim", 54}, {"StrikeStand1", 55}, {"StrikeCrouch", 56},  {"QuickTurn", 57},
    {"Turn", 58},         {"RunBankLeft", 59},     {"RunBankRight", 60},     {"TurnLeft", 61},
    {"TurnRight", 62},    {"Reload", 76},          {"Hit", 77},              {"LadderStartDown", 78},
    {"LadderEndDown", 79}, {"LadderStartUp", 80},  {"LadderEndUp", 81},      {"LadderUp", 82},
    {"LadderDown", 83},   {"LadderStandUp", 84},   {"LadderStandDown", 85},  {"All", kAnimStateAll},
};

constexpr Constant kHeSap[] = {
    {"None", 0},         {"BrutalStop", 1},          {"StrikeCrouchStand", 5}, {"StrikeCrouchWalk", 6},
    {"ShootStand", 7},   {"ShootCrouch", 8},         {"ShootSlow", 9},         {"ShootFast", 10},
    {"Reload", 16},      {"ReloadCrouch", 17},       {"ChangeWeapon", 22},     {"CrouchChangeWeapon", 23},
    {"Wall", 28},        {"SlowAim", 29},            {"FastAim", 30},          {"StandAim", 31},
    {"CrouchStandAim", 32}, {"Stand", 34},           {"CrouchStand", 35},      {"All", kAnimStateAll},
};

constexpr Constant kMapStates[] = {
    {"None", 0},          {"Stand", 3},           {"StandSeek1", 5},         {"StandPatrol", 6},
    {"StandAim", 7},      {"StandAimOnce", 8},    {"RotateWalk", 14},        {"RotateWalkSeek1", 15},
    {"RotateWalkPatrol", 16}, {"RotateWalkAim", 17}, {"StrafLeftAim", 18},   {"StrafRightAim", 19},
    {"StrafLeftAimOnce", 20}, {"StrafRightAimOnce", 21}, {"WalkAim", 22},    {"RotateRun", 27},
    {"CrouchOnce", 30},   {"CrouchReload", 33},   {"CrouchShoot", 34},       {"Crouch", 35},
    {"CrouchRotate", 40}, {"Death1", 43},         {"Death2", 44},            {"Death3", 45},
    {"DeathMG", 46},      {"DeathPan", 47},       {"DeathHeadShot", 48},     {"DeathNeutral", 49},
    {"Surprise", 50},     {"Strike", 55},         {"HitStrike", 77},         {"Action", 86},
    {"Walk", 87},         {"WalkSeek1", 88},      {"WalkPatrol", 89},        {"Run", 90},
    {"CrouchDeath", 91},  {"All", kAnimStateAll},
};

constexpr Constant kSapStates[] = {
    {"None", 0},       {"Shoot", 7},   {"Lock", 11},   {"HitLight", 12}, {"HitNormal", 13}, {"HitSerious", 14},
    {"Help", 15},      {"Reload", 16}, {"WalkAim", 30}, {"WalkSideAim", 33}, {"All", kAnimStateAll},
};

constexpr Constant kTargetPath[] = {{"Astar", 0}, {"NoAstar", 1}, {"LineAstar", 2}};

constexpr Constant kPanMap[] = {{"None", 0},  {"Stand", 3},       {"StandOnce", 8}, {"Walk", 11},
                                {"Death", 41}, {"RotateWalk", 58}, {"WalkBack", 71}};

constexpr Constant kPanSap[] = {{"None", 0}};

constexpr Constant kPanAction[] = {{"None", 0}, {"StartAim", 1}, {"StopAim", 2}, {"Shoot1", 3}, {"Shoot2", 4}};

// The ammunition's model kinds the level scripts hand to SetAmmoData: one row each.
constexpr Constant kCasing[] = {{"id_model_1", 0}};
constexpr Constant kProjectil[] = {{"id_model_panzer", 0}};

struct Module
{
    const char* name;
    const Constant* constants;
    int32_t count;
};

template <size_t N> constexpr Module MakeModule(const char* name, const Constant (&constants)[N])
{
    return Module{name, constants, int32_t(N)};
}

constexpr Module kModules[] = {
    MakeModule("map_states", kMapStates), MakeModule("sap_states", kSapStates), MakeModule("target_path", kTargetPath),
    MakeModule("he_map", kHeMap),         MakeModule("he_sap", kHeSap),         MakeModule("pan_map", kPanMap),
    MakeModule("pan_sap", kPanSap),       MakeModule("pan_action", kPanAction),
    MakeModule("casing", kCasing),        MakeModule("projectil", kProjectil),
};

const Module* FindModule(const char* name)
{
    if (name)
        for (const Module& module : kModules)
            if (std::strcmp(module.name, name) == 0)
                return &module;
    return nullptr;
}

void FillFromOwnName(PyObject* module, int32_t)
{
    const char* name = module ? PyModule_GetName(module) : nullptr;
    if (!name)
    {
        PyErr_Clear();
        return;
    }
    SkillConstantModuleFillByName(module, name);
}
} // namespace

SkillConstantModuleFill SkillConstantModuleFor(const char* name)
{
    return FindModule(name) ? FillFromOwnName : nullptr;
}

int32_t SkillConstantModuleFillByName(PyObject* module, const char* name)
{
    const Module* table = FindModule(name);
    if (!table || !module)
        return 0;
    for (int32_t i = 0; i < table->count; ++i)
        if (PyModule_AddIntConstant(module, table->constants[i].name, table->constants[i].value) < 0)
            PyErr_Clear();
    return 1;
}

int32_t SkillConstantValue(const char* module, const char* name)
{
    const Module* table = FindModule(module);
    if (table && name)
        for (int32_t i = 0; i < table->count; ++i)
            if (std::strcmp(table->constants[i].name, name) == 0)
                return table->constants[i].value;
    return -1;
}
