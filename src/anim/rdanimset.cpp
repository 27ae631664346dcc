// The animation-set table and its fill.
#include "rdanimset.h"

#include "hbrandom.h"
#include "hbresource.h"
#include "rdanim.h"
#include "tsfamilies.h"

#include <Python.h>

#include <cmath>
#include <string>
#include <vector>

namespace
{

const char* const kStateNames[kAnimStateCount] = {
    "Stand", "StandAim", "Shoot", "StandReload", "StandSeek", "StandPatrol", "Walk", "WalkAim", "WalkLeftAim",
    "WalkRightAim", "WalkBackAim", "WalkSeek", "WalkPatrol", "Run", "CrouchStand", "CrouchWalk", "CrouchStandAim",
    "CrouchWalkAim", "CrouchLeftAim", "CrouchRightAim", "CrouchBackAim", "CrouchShoot", "CrouchReload",
    "StrikeStand1", "StrikeStand2", "StrikeCrouchStand", "Roll", "ChgWeapon", "CrouchChgWeapon", "NeutralDeath",
    "NeutralKnife", "HitLight", "HitNormal", "HitSerious", "Help", "Surprise", "DeathHe1", "DeathHe2", "DeathEn1",
    "DeathEn2", "DeathEn3", "DeathEnMG", "DeathEnPan", "DeathEnHeadShot", "Stop", "QuickTurn", "RunBankLeft",
    "RunBankRight", "SlowAim", "FastAim", "Wall", "TurnLeft", "TurnRight", "StartFront", "StartBack", "StopFront",
    "StopBack", "ShootFront", "ShootBack", "ShootLeft", "ShootRight", "WalkBack", "LadderStartDown",
    "LadederEndDown", "LadderStartUp", "LadederEndUp", "LadderUp", "LadderDown", "LadederStandUp",
    "LadederStandDown", "HitCac", "Action", "EnRunA", "EnRunShootA", "EnRunReloadA", "EnRunRA", "EnRunShootRA",
    "EnRunReloadRA", "EnRunLA", "EnRunShootLA", "EnRunReloadLA", "EnRunBA", "EnRunShootBA", "EnRunReloadBA",
    "CrouchDeath"};

const char* const kKindNames[kAnimSetKindCount] = {"Knif", "M1",       "MP",     "P38",  "Pan",
                                                   "MG42", "Thompson", "Mauser", "Boss", "MG42_HE"};

int32_t State(const char* name)
{
    for (int32_t i = 0; i < kAnimStateCount; ++i)
        if (std::string(kStateNames[i]) == name)
            return i;
    return -1;
}

constexpr uint32_t kH = HeroFamily;
constexpr uint32_t kHE = HeroFamily | HeroEnemyFamily;

/// The fill as rows; the resource ids are kept alive by the builder.
struct Fill
{
    std::vector<std::string> ids;
    std::vector<AnimSetRow> rows;

    void Add(int32_t kind, const char* state, const std::string& id, int32_t min = -1, int32_t max = -1,
             float probability = 1.0f, uint32_t mask = kHE)
    {
        ids.push_back(id);
        rows.push_back({kind, State(state), nullptr, min, max, probability, mask});
    }
    void Add(std::initializer_list<int32_t> kinds, std::initializer_list<const char*> states, const std::string& id)
    {
        for (int32_t kind : kinds)
            for (const char* state : states)
                Add(kind, state, id);
    }
    void Finish()
    {
        for (size_t i = 0; i < rows.size(); ++i)
            rows[i].resourceId = ids[i].c_str();
    }
};

std::string Id(const char* prefix, const char* token)
{
    return std::string(prefix) + token + "_ANM";
}

Fill BuildFill()
{
    Fill f;
    f.ids.reserve(640);
    const int32_t Knif = kAnimSetKnif, M1 = kAnimSetM1, MP = kAnimSetMP, P38 = kAnimSetP38, Pan = kAnimSetPan,
                  MG42 = kAnimSetMG42, Thompson = kAnimSetThompson, Mauser = kAnimSetMauser, Boss = kAnimSetBoss,
                  MG42HE = kAnimSetMG42HE;

    // Shared by every kind but the boss.
    const auto nonBoss = {Knif, M1, MP, P38, Pan, MG42, Thompson, Mauser, MG42HE};
    const std::pair<const char*, const char*> common[] = {
        {"ChgWeapon", "HE_CHG_FRONT_ANM"},        {"CrouchChgWeapon", "HE_CROUCH_CHG_FRONT_ANM"},
        {"NeutralDeath", "EN_NEUTRAL_ANM"},       {"HitLight", "EN_HIT_LIGHT_ANM"},
        {"HitNormal", "EN_HIT_ANM"},              {"HitSerious", "EN_HIT_SERIOUS_ANM"},
        {"DeathHe1", "HE_DEATH_1_ANM"},           {"DeathHe2", "HE_DEATH_2_ANM"},
        {"DeathEn1", "EN_DEATH_1_ANM"},           {"DeathEn2", "EN_DEATH_2_ANM"},
        {"DeathEn3", "EN_DEATH_3_ANM"},           {"DeathEnMG", "EN_DEATH_MG_ANM"},
        {"DeathEnPan", "EN_DEATH_PAN_ANM"},       {"DeathEnHeadShot", "EN_HEAD_SHOT_ANM"},
        {"CrouchDeath", "EN_CROUCH_DEATH_ANM"}};
    for (const auto& [state, id] : common)
        for (int32_t kind : nonBoss)
            f.Add(kind, state, id);

    const std::pair<const char*, const char*> ladder[] = {
        {"LadderStartDown", "HE_LADDER_START_DOWN_ANM"}, {"LadederEndDown", "HE_LADDER_END_DOWN_ANM"},
        {"LadderStartUp", "HE_LADDER_START_UP_ANM"},     {"LadederEndUp", "HE_LADDER_END_UP_ANM"},
        {"LadderUp", "HE_LADDER_UP_ANM"},                {"LadderDown", "HE_LADDER_DOWN_ANM"},
        {"LadederStandUp", "HE_LADDER_STAND_UP_ANM"},    {"LadederStandDown", "HE_LADDER_STAND_DOWN_ANM"},
        {"HitCac", "EN_HIT_CAC_ANM"}};
    for (const auto& [state, id] : ladder)
        for (int32_t kind : {Knif, M1, MP, P38, Thompson, Mauser})
            f.Add(kind, state, id);

    for (int32_t kind : {M1, MP, P38, Pan, Thompson, Mauser})
        f.Add(kind, "Action", "HE_ACTION_ANM");

    const std::pair<const char*, const char*> aim[] = {
        {"WalkAim", "HE_WALK_A_ANM"},          {"WalkLeftAim", "HE_WALK_L_A_ANM"},
        {"WalkRightAim", "HE_WALK_R_A_ANM"},   {"WalkBackAim", "HE_WALK_B_A_ANM"},
        {"CrouchWalkAim", "HE_CROUCH_F_A_ANM"}, {"CrouchLeftAim", "HE_CROUCH_L_A_ANM"},
        {"CrouchRightAim", "HE_CROUCH_R_A_ANM"}, {"CrouchBackAim", "HE_CROUCH_B_A_ANM"}};
    for (const auto& [state, id] : aim)
        for (int32_t kind : {Knif, M1, MP, P38, Pan, Thompson, Mauser})
            f.Add(kind, state, id);

    // Firearms: W the weapon token, S the shot token.
    struct Gun
    {
        int32_t kind;
        const char* w;
        const char* s;
    };
    const Gun guns[] = {{M1, "M1", "M1"}, {MP, "MP", "MP"}, {P38, "P38", "P38"}, {Thompson, "MP", "THOMPSON"}, {Mauser, "M1", "98K"}};
    const std::pair<const char*, const char*> gunRows[] = {
        {"StandAim", "HE_STD_A_"},       {"StandReload", "HE_STD_RELOAD_"},  {"Walk", "HE_WALK_"},
        {"Run", "HE_RUN_"},              {"CrouchStand", "HE_CROUCH_"},      {"CrouchWalk", "HE_CROUCH_F_"},
        {"CrouchStandAim", "HE_CROUCH_A_"}, {"CrouchReload", "HE_CROUCH_RELOAD_"}, {"StrikeStand1", "HE_STR_"},
        {"StrikeCrouchStand", "HE_STR_"}, {"Roll", "HE_ROLL_"},             {"Stop", "HE_STOP_"},
        {"QuickTurn", "HE_QUICKTURN_"},  {"RunBankLeft", "HE_RUN_BANK_L_"}, {"RunBankRight", "HE_RUN_BANK_R_"},
        {"SlowAim", "HE_SLOW_A_"},       {"FastAim", "HE_FAST_A_"},         {"Wall", "HE_WALL_"},
        {"TurnLeft", "HE_TURN_L_"},      {"TurnRight", "HE_TURN_R_"}};
    for (const Gun& g : guns)
    {
        for (const auto& [state, prefix] : gunRows)
            f.Add(g.kind, state, Id(prefix, g.w));
        f.Add(g.kind, "Shoot", Id("HE_STD_SHOOT_A_", g.s));
        f.Add(g.kind, "CrouchShoot", Id("HE_STD_SHOOT_A_", g.s));
        if (g.kind != Thompson)
        {
            f.Add(g.kind, "Help", Id("EN_HELP_CALL_", g.w));
            f.Add(g.kind, "Surprise", Id("EN_SURPRISE_", g.w));
        }
        if (g.kind == MP || g.kind == P38 || g.kind == Mauser)
            f.Add(g.kind, "WalkPatrol", Id("EN_PATROL_", g.w));
    }

    // Enemy running rows: E the token.
    const std::pair<int32_t, const char*> runners[] = {{M1, "MP"}, {MP, "MP"}, {P38, "P38"}, {Mauser, "98K"}};
    const std::pair<const char*, const char*> runRows[] = {
        {"EnRunA", "EN_RUN_A_"},          {"EnRunShootA", "EN_RUN_SHOOT_A_"},
        {"EnRunReloadA", "EN_RUN_RELOAD_A_"}, {"EnRunRA", "EN_RUN_R_A_"},
        {"EnRunShootRA", "EN_RUN_SHOOT_R_A_"}, {"EnRunReloadRA", "EN_RUN_RELOAD_R_A_"},
        {"EnRunLA", "EN_WALK_L_A_"},      {"EnRunShootLA", "EN_WALK_SHOOT_L_A_"},
        {"EnRunReloadLA", "EN_WALK_RELOAD_L_A_"}, {"EnRunBA", "EN_WALK_B_A_"},
        {"EnRunShootBA", "EN_WALK_SHOOT_B_A_"}, {"EnRunReloadBA", "EN_WALK_RELOAD_B_A_"}};
    for (const auto& [kind, e] : runners)
        for (const auto& [state, prefix] : runRows)
            if (!(kind == Mauser && std::string(state).find("Reload") != std::string::npos))
                f.Add(kind, state, Id(prefix, e));

    f.Add({Knif}, {"StandAim", "Shoot"}, "HE_STD_KNIF_ANM");
    f.Add({Knif}, {"Walk"}, "HE_WALK_KNIF_ANM");
    f.Add({Knif}, {"Run"}, "HE_RUN_KNIF_ANM");
    f.Add({Knif}, {"CrouchStand", "CrouchStandAim"}, "HE_CROUCH_KNIF_ANM");
    f.Add({Knif}, {"CrouchWalk"}, "HE_CROUCH_F_KNIF_ANM");
    f.Add({Knif}, {"StrikeStand1"}, "HE_STR_KNIF_01_ANM");
    f.Add({Knif}, {"StrikeStand2"}, "HE_STR_KNIF_02_ANM");
    f.Add({Knif}, {"StrikeCrouchStand"}, "HE_CROUCH_STR_KNIF_ANM");
    f.Add({Knif}, {"Roll"}, "HE_ROLL_KNIF_ANM");
    f.Add({Knif}, {"NeutralKnife"}, "HE_NEUTRAL_KNIF_ANM");
    f.Add({Knif}, {"Stop"}, "HE_STOP_KNIF_ANM");
    f.Add({Knif}, {"QuickTurn"}, "HE_QUICKTURN_KNIF_ANM");
    f.Add({Knif}, {"RunBankLeft"}, "HE_RUN_BANK_L_KNIF_ANM");
    f.Add({Knif}, {"RunBankRight"}, "HE_RUN_BANK_R_KNIF_ANM");
    f.Add({Knif}, {"SlowAim"}, "HE_SLOW_A_KNIF_ANM");
    f.Add({Knif}, {"FastAim"}, "HE_FAST_A_KNIF_ANM");
    f.Add({Knif}, {"TurnLeft"}, "HE_TURN_L_KNIF_ANM");
    f.Add({Knif}, {"TurnRight"}, "HE_TURN_R_KNIF_ANM");

    f.Add({Pan}, {"Stand", "StandAim", "StandPatrol"}, "HE_STD_A_PAN_ANM");
    f.Add({Pan}, {"Shoot"}, "HE_STD_SHOOT_A_PAN_ANM");
    f.Add({Pan}, {"StandReload", "CrouchReload"}, "HE_CROUCH_RELOAD_PAN_ANM");
    f.Add({Pan}, {"WalkPatrol"}, "HE_WALK_A_ANM");
    f.Add({Pan}, {"CrouchStand", "CrouchStandAim"}, "HE_CROUCH_A_PAN_ANM");
    f.Add({Pan}, {"Help"}, "EN_HELP_CALL_MP_ANM");
    f.Add({Pan}, {"Surprise"}, "EN_SURPRISE_MP_ANM");
    f.Add({Pan}, {"SlowAim"}, "HE_SLOW_A_PAN_ANM");
    f.Add({Pan}, {"FastAim"}, "HE_FAST_A_PAN_ANM");
    f.Add({Pan}, {"Wall"}, "HE_WALL_PAN_ANM");

    f.Add({MG42, MG42HE}, {"Walk"}, "HE_WALK_MP_ANM");
    f.Add({MG42, MG42HE}, {"WalkPatrol"}, "EN_PATROL_MP_ANM");
    f.Add({MG42, MG42HE}, {"Run"}, "HE_RUN_MP_ANM");
    f.Add({MG42, MG42HE}, {"StrikeStand1", "StrikeCrouchStand"}, "HE_STR_MP_ANM");
    f.Add({MG42, MG42HE}, {"Roll"}, "HE_ROLL_MP_ANM");
    f.Add({MG42, MG42HE}, {"Help"}, "EN_HELP_CALL_MP_ANM");
    f.Add({MG42, MG42HE}, {"Surprise"}, "EN_SURPRISE_MP_ANM");
    f.Add({MG42, MG42HE}, {"SlowAim"}, "HE_SLOW_A_MG42_ANM");
    f.Add({MG42, MG42HE}, {"Wall"}, "HE_WALL_MP_ANM");
    f.Add({MG42, MG42HE},
          {"CrouchStand", "CrouchWalk", "CrouchStandAim", "CrouchWalkAim", "CrouchLeftAim", "CrouchRightAim",
           "CrouchBackAim"},
          "HE_CROUCH_A_MG42_ANM");
    f.Add({MG42}, {"Stand", "StandAim", "StandPatrol", "WalkAim", "WalkBackAim"}, "EN_STD_A_MG42_ANM");
    f.Add({MG42}, {"Shoot", "CrouchShoot"}, "EN_STD_SHOOT_A_MG42_ANM");
    f.Add({MG42}, {"WalkLeftAim"}, "HE_WALK_L_A_ANM");
    f.Add({MG42}, {"WalkRightAim"}, "HE_WALK_R_A_ANM");
    f.Add({MG42}, {"FastAim"}, "HE_FAST_A_MG42_ANM");
    f.Add({MG42HE}, {"Stand", "StandAim", "StandPatrol", "WalkAim", "WalkLeftAim", "WalkRightAim", "WalkBackAim", "FastAim"},
          "HE_STD_A_MG42_ANM");
    f.Add({MG42HE}, {"Shoot", "CrouchShoot"}, "HE_STD_SHOOT_A_MG42_ANM");

    const std::pair<const char*, const char*> boss[] = {
        {"Stand", "BO_STAND_ANM"},        {"Walk", "BO_MOVE_ANM"},          {"WalkBack", "BO_MOVE_B_ANM"},
        {"ShootFront", "BO_SHOOT_F_ANM"}, {"ShootBack", "BO_SHOOT_B_ANM"},  {"ShootLeft", "BO_SHOOT_L_ANM"},
        {"ShootRight", "BO_SHOOT_R_ANM"}, {"StartFront", "BO_START_F_ANM"}, {"StartBack", "BO_START_B_ANM"},
        {"StopFront", "BO_STOP_F_ANM"},   {"StopBack", "BO_STOP_B_ANM"}};
    for (const auto& [state, id] : boss)
        f.Add(Boss, state, id);

    // The cells of several variants.
    const std::pair<int32_t, const char*> standers[] = {{Knif, "KNIF"}, {M1, "M1"},       {MP, "MP"},
                                                        {P38, "P38"},   {Thompson, "MP"}, {Mauser, "M1"}};
    for (const auto& [kind, t] : standers)
    {
        const std::string stand = Id("HE_STD_", t);
        f.Add(kind, "Stand", stand, 6, 20, 1.0f, kHE);
        f.Add(kind, "Stand", "EN_STD_ALT_01_ANM", 1, 1, 0.7f, kind == MP ? kHE : kH);
        f.Add(kind, "Stand", stand, 6, 15, kind == M1 ? 0.7f : 0.8f, kH);
        f.Add(kind, "Stand", "EN_STD_ALT_02_ANM", 1, 1, 0.8f, kH);
        f.Add(kind, "Stand", stand, 6, 10, 0.9f, kH);
        f.Add(kind, "Stand", "EN_STD_ALT_03_ANM", 1, 1, 0.9f, kH);
    }
    for (const auto& [kind, t] : {std::pair<int32_t, const char*>{MP, "MP"}, {P38, "P38"}, {Mauser, "M1"}})
    {
        const std::string patrol = Id("EN_STAND_", t);
        f.Add(kind, "StandPatrol", patrol, 4, 8, 1.0f, kHE);
        f.Add(kind, "StandPatrol", "EN_STD_ALT_01_ANM", 1, 1, 0.8f, kHE);
        f.Add(kind, "StandPatrol", patrol, 4, 8, 0.8f, kHE);
        f.Add(kind, "StandPatrol", "EN_STD_ALT_02_ANM", 1, 1, 0.8f, kHE);
        f.Add(kind, "StandPatrol", patrol, 4, 8, 0.8f, kHE);
        f.Add(kind, "StandPatrol", "EN_STD_ALT_03_ANM", 1, 1, 0.8f, kHE);
    }
    for (const auto& [kind, t] : {std::pair<int32_t, const char*>{MP, "MP"}, {P38, "P38"}, {Pan, "MP"}, {MG42, "MP"},
                                  {Mauser, "M1"}, {MG42HE, "MP"}})
    {
        f.Add(kind, "StandSeek", Id("EN_STAND_SEEK_1_", t), 1, 3, 0.9f, kHE);
        f.Add(kind, "StandSeek", Id("EN_STAND_SEEK_2_", t), 1, 4, 0.8f, kHE);
    }
    for (const auto& [kind, t] :
         {std::pair<int32_t, const char*>{MP, "MP"}, {P38, "P38"}, {MG42, "MP"}, {Mauser, "M1"}, {MG42HE, "MP"}})
    {
        f.Add(kind, "WalkSeek", Id("EN_WALK_SEEK_1_", t), 1, 3, 0.9f, kHE);
        f.Add(kind, "WalkSeek", Id("EN_WALK_SEEK_2_", t), 1, 4, 0.8f, kHE);
    }
    f.Finish();
    return f;
}

struct Variant
{
    RdAnimation* animation;
    int32_t min;
    int32_t max;
    float probability;
    uint32_t mask;
};

std::vector<Variant> sCells[kAnimSetKindCount * kAnimStateCount];

std::vector<Variant>* Cell(int32_t kind, int32_t state)
{
    if (kind < 0 || kind >= kAnimSetKindCount || state < 0 || state >= kAnimStateCount)
        return nullptr;
    return &sCells[kind * kAnimStateCount + state];
}

void FillModule(PyObject* module, const char* const* names, int32_t count)
{
    PyObject* dictionary = module ? PyModule_GetDict(module) : nullptr;
    if (!dictionary)
        return;
    for (int32_t i = 0; i < count; ++i)
    {
        PyObject* value = PyLong_FromLong(i);
        if (!value)
            return;
        PyDict_SetItemString(dictionary, names[i], value);
        Py_DECREF(value);
    }
}

} // namespace

const AnimSetRow* AnimSetRows(int32_t* count)
{
    static const Fill fill = BuildFill();
    if (count)
        *count = int32_t(fill.rows.size());
    return fill.rows.data();
}

const char* AnimStateName(int32_t state)
{
    return state >= 0 && state < kAnimStateCount ? kStateNames[state] : nullptr;
}

const char* AnimSetKindName(int32_t kind)
{
    return kind >= 0 && kind < kAnimSetKindCount ? kKindNames[kind] : nullptr;
}

void AnimSetAddVariant(int32_t kind, int32_t state, const char* resourceId, int32_t min, int32_t max,
                       float probability, uint32_t mask)
{
    std::vector<Variant>* cell = Cell(kind, state);
    HbResourceManager* manager = HbResourceManager::Instance();
    if (!cell || !manager || !resourceId)
        return;
    auto* animation = HbCastTo<RdAnimation>(manager->GetResource(resourceId));
    if (!animation)
        return;
    cell->push_back({animation, min, max, probability, mask});
}

void AnimSetLoadAll()
{
    int32_t count = 0;
    const AnimSetRow* rows = AnimSetRows(&count);
    for (int32_t i = 0; i < count; ++i)
        AnimSetAddVariant(rows[i].kind, rows[i].state, rows[i].resourceId, rows[i].min, rows[i].max,
                          rows[i].probability, rows[i].mask);
}

void AnimSetFreeAll()
{
    for (std::vector<Variant>& cell : sCells)
        std::vector<Variant>().swap(cell);
}

int32_t AnimSetGetVariantCount(int32_t kind, int32_t state)
{
    const std::vector<Variant>* cell = Cell(kind, state);
    return cell ? int32_t(cell->size()) : 0;
}

RdAnimation* AnimSetGetFirstVariant(int32_t kind, int32_t state)
{
    const std::vector<Variant>* cell = Cell(kind, state);
    return cell && !cell->empty() ? cell->front().animation : nullptr;
}

int32_t AnimSetPickVariant(uint32_t family, int32_t kind, int32_t state, RdAnimation** animation, int32_t* cursor)
{
    if (animation)
        *animation = nullptr;
    const std::vector<Variant>* cell = Cell(kind, state);
    const int32_t n = cell ? int32_t(cell->size()) : 0;
    if (n == 0)
        return -1;
    RdAnimation* chosen = (*cell)[0].animation;
    int32_t result = -1;
    if (n > 1)
    {
        // The cursor is the caller's: keep it inside the list whatever it was.
        int32_t at = cursor ? *cursor % n : 0;
        if (at < 0)
            at += n;
        const Variant* v = &(*cell)[at];
        if (v->mask & family)
        {
            HbRandom* random = HbRandom::Instance();
            uint32_t fallback = 0;
            const float r = HbRandom::QuickUniform(random ? random->GameState() : fallback);
            if (r > v->probability)
            {
                at = (at + 1) % n;
                v = &(*cell)[at];
            }
            at = (at + 1) % n;
            chosen = v->animation;
            result = int32_t(std::floor(r * float(v->max - v->min))) + v->min;
        }
        if (cursor)
            *cursor = at;
    }
    if (animation)
        *animation = chosen;
    return result;
}

void AnimModuleFill(PyObject* module, int32_t)
{
    FillModule(module, kStateNames, kAnimStateCount);
}

void AnimSetModuleFill(PyObject* module, int32_t)
{
    FillModule(module, kKindNames, kAnimSetKindCount);
}
