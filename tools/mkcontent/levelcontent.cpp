// The first sector as small tables: every solid is an axis-aligned box, the walkable ground a
// set of rectangles, the marks a list of points.
#include "levelcontent.h"

#include "clumpwriter.h"
#include "collisiontreewriter.h"
#include "eventboxwriter.h"
#include "geometry.h"
#include "levelwriter.h"
#include "navgraphwriter.h"
#include "scenariodbwriter.h"
#include "worldwriter.h"

#include <algorithm>
#include <array>
#include <vector>

namespace
{
struct Solid
{
    const char* what;
    float low[3];
    float high[3];
    uint8_t rgb[3];
};

// The yard: a ground 2400 square, walls round it, a building with a door opening in its south
// wall (x -60 .. 60), a ladder on its east wall to the roof, and crates and a low wall for cover,
// all off the straight way from the start to the door.
const Solid kSolids[] = {
    {"ground", {-1200, -20, -1200}, {1200, 0, 1200}, {110, 120, 80}},
    {"north wall", {-1200, 0, 1180}, {1200, 300, 1200}, {150, 140, 120}},
    {"south wall", {-1200, 0, -1200}, {1200, 300, -1180}, {150, 140, 120}},
    {"east wall", {1180, 0, -1200}, {1200, 300, 1200}, {140, 130, 115}},
    {"west wall", {-1200, 0, -1200}, {-1180, 300, 1200}, {140, 130, 115}},
    {"building south wall, west of the door", {-400, 0, 200}, {-60, 350, 220}, {170, 150, 120}},
    {"building south wall, east of the door", {60, 0, 200}, {400, 350, 220}, {170, 150, 120}},
    {"building lintel over the door", {-60, 230, 200}, {60, 350, 220}, {160, 140, 110}},
    {"building north wall", {-400, 0, 780}, {400, 350, 800}, {170, 150, 120}},
    {"building west wall", {-400, 0, 200}, {-380, 350, 800}, {165, 145, 115}},
    {"building east wall", {380, 0, 200}, {400, 350, 800}, {165, 145, 115}},
    {"building roof", {-400, 350, 200}, {400, 370, 800}, {120, 60, 50}},
    {"ladder", {400, 0, 450}, {410, 370, 510}, {100, 70, 40}},
    {"crate west", {-300, 0, -250}, {-220, 80, -170}, {140, 100, 50}},
    {"crate east", {220, 0, -200}, {300, 80, -120}, {140, 100, 50}},
    {"low wall", {500, 0, -50}, {740, 60, -30}, {130, 130, 130}},
};

std::string ToString(const std::vector<uint8_t>& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}
} // namespace

std::string LevelWorldBytes()
{
    WorldDescription d;
    d.format = kGeometryPositions | kGeometryPrelit;
    GeometryDescription::Material material;
    // Ground type 1 in the surface's flag bytes, as the grounds script defines it.
    material.colour = {1, 0x30, 0, 255};
    d.materials = {material};
    d.listEntries = {0};
    WorldDescription::Leaf leaf;
    std::vector<std::array<uint16_t, 3>> triangles;
    for (const Solid& s : kSolids)
    {
        const uint16_t base = uint16_t(leaf.positions.size() / 3);
        for (int corner = 0; corner < 8; ++corner)
        {
            leaf.positions.push_back(corner & 1 ? s.high[0] : s.low[0]);
            leaf.positions.push_back(corner & 2 ? s.high[1] : s.low[1]);
            leaf.positions.push_back(corner & 4 ? s.high[2] : s.low[2]);
            // Tops lighter than sides, so edges read without lights.
            const int light = corner & 2 ? 30 : 0;
            leaf.prelit.push_back({uint8_t(std::min(255, s.rgb[0] + light)), uint8_t(std::min(255, s.rgb[1] + light)),
                                   uint8_t(std::min(255, s.rgb[2] + light)), 255});
        }
        const uint16_t faces[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4},
                                      {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
        for (const auto& q : faces)
        {
            triangles.push_back({uint16_t(base + q[0]), uint16_t(base + q[1]), uint16_t(base + q[2])});
            triangles.push_back({uint16_t(base + q[0]), uint16_t(base + q[2]), uint16_t(base + q[3])});
        }
    }
    for (const auto& t : triangles)
        leaf.triangles.push_back({t[0], t[1], t[2], 0});
    leaf.extension = CollisionTreeWriter::WriteExtension(
        CollisionTreeWriter::WritePluginData(CollisionTreeWriter::Build(leaf.positions, triangles, 8)));
    d.leaves.push_back(leaf);
    return ToString(WorldWriter::Write(d));
}

std::string LevelRifleModelBytes()
{
    // A dark bar along +z from the hand, and the frames a firearm reads down its first
    // children: the model's, the grip (strike), the breech (casings) and the muzzle at the end.
    GeometryDescription g;
    GeometryDescription::MorphTarget target;
    constexpr float kHalf = 2.0f, kLength = 70.0f;
    for (int corner = 0; corner < 8; ++corner)
    {
        target.positions.push_back(corner & 1 ? kHalf : -kHalf);
        target.positions.push_back(corner & 2 ? kHalf : -kHalf);
        target.positions.push_back(corner & 4 ? kLength : -10.0f);
    }
    const uint16_t faces[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    for (const auto& q : faces)
    {
        g.triangles.push_back({q[0], q[1], q[2], 0});
        g.triangles.push_back({q[0], q[2], q[3], 0});
    }
    g.numVertices = 8;
    target.sphere = {0.0f, 0.0f, kLength / 2.0f, kLength / 2.0f + 12.0f};
    g.format = kGeometryPositions | kGeometryPrelit;
    g.prelit.assign(8, {45, 40, 35, 255});
    g.targets = {target};
    g.materials = {GeometryDescription::Material{}};
    g.listEntries = {0};
    ClumpDescription c;
    ClumpDescription::Frame grip, breech, muzzle;
    grip.parent = 0;
    breech.parent = 1;
    breech.rows[11] = 20.0f;
    muzzle.parent = 2;
    muzzle.rows[11] = kLength - 20.0f;
    c.frames = {ClumpDescription::Frame{}, grip, breech, muzzle};
    c.geometries = {g};
    // Drawn only: the gun in a hand must not push its holder (or anyone) about.
    ClumpDescription::Atomic atomic;
    atomic.flags = 4;
    c.atomics = {atomic};
    return ToString(ClumpWriter::Write(c));
}

std::string LevelBytes()
{
    LevelDescription level;
    level.worlds = {"W1L1_WORLD_WW"};
    level.clip = std::array<float, 2>{5.0f, 6000.0f};
    return ToString(LevelWriter::Write(level));
}

std::string LevelNavigationBytes()
{
    // The yard round the building, and its inside through the door: south of the building, its
    // two sides, north of it, the doorway and the inside.
    const std::vector<NavRect> rects = {
        {-1180, 200, 1180, -1180}, {-1180, 800, -400, 200}, {400, 800, 1180, 200},
        {-1180, 1180, 1180, 800},  {-60, 220, 60, 200},     {-380, 780, 380, 220},
    };
    return ToString(NavGraphWriter::Bytes(NavGraphWriter::FromRectangles(rects)));
}

namespace
{
ScenarioMarkEntry Mark(const char* identifier, const char* name, float x, float z,
                       std::vector<ScenarioValue> extras = {})
{
    ScenarioMarkEntry mark;
    mark.identifier = identifier;
    mark.name = name;
    mark.SetPosition(x, 0.0f, z);
    mark.extras = std::move(extras);
    return mark;
}

// Identifiers that begin with "_" ask the resource manager for a new object of the type their
// last word names, read from the database itself.
std::vector<ScenarioMarkEntry> PlainMarks()
{
    return {Mark("_MK_HERO_START01_YOSCENARICMARK", "MK_HERO_START01", kLevelHeroStart[0], kLevelHeroStart[2]),
            Mark("_MK_OBJECTIVE01_YOSCENARICMARK", "MK_OBJECTIVE01", kLevelObjective[0], kLevelObjective[2]),
            Mark("_MK_DOOR01_YOSCENARICMARK", "MK_DOOR01", 0.0f, 210.0f)};
}

std::vector<ScenarioMarkEntry> PatrolMarks()
{
    // The first guard starts on the way from the yard to the door, facing the hero.
    return {Mark("_MK_PATROL01_PATROLMARK", "MK_PATROL01", kLevelPatrol[0][0], kLevelPatrol[0][1],
                 ScenarioDbWriter::Patrol(2.0f)),
            Mark("_MK_PATROL02_PATROLMARK", "MK_PATROL02", kLevelPatrol[1][0], kLevelPatrol[1][1],
                 ScenarioDbWriter::Patrol(2.0f)),
            Mark("_MK_PATROL03_PATROLMARK", "MK_PATROL03", kLevelPatrol[2][0], kLevelPatrol[2][1],
                 ScenarioDbWriter::Patrol(2.0f)),
            Mark("_MK_PATROL04_PATROLMARK", "MK_PATROL04", kLevelPatrol[3][0], kLevelPatrol[3][1],
                 ScenarioDbWriter::Patrol(2.0f))};
}

std::vector<ScenarioPathEntry> Paths()
{
    return {
        {"_PT_PATROL01_YOSCENARICPATH", "PT_PATROL01", {"MK_PATROL01", "MK_PATROL02", "MK_PATROL03", "MK_PATROL04"}}};
}
} // namespace

std::string LevelScenarioBytes()
{
    // Plain marks in section 1, patrol marks in section 18, paths in section 2.
    return ToString(ScenarioDbWriter::Bytes({{1, PlainMarks(), {}}, {18, PatrolMarks(), {}}, {2, {}, Paths()}}));
}

std::string LevelMarkDatabaseBytes()
{
    std::vector<ScenarioMarkEntry> marks = PlainMarks();
    for (ScenarioMarkEntry& mark : marks)
        mark.identifier = "_" + mark.name + "_YOSCENARICMARK";
    return ToString(ScenarioDbWriter::YdbBytes(marks, Paths()));
}

namespace
{
EBoxEntry Box(const float at[3], float width, float depth, int32_t mode)
{
    EBoxEntry box;
    box.centre[0] = at[0], box.centre[1] = 100.0f, box.centre[2] = at[2];
    box.size[0] = width, box.size[1] = 200.0f, box.size[2] = depth;
    box.mode = mode;
    return box;
}
} // namespace

std::string LevelEventBoxBytes()
{
    constexpr int32_t kOnEnterOnce = 0x02 | 0x10;
    constexpr int32_t kWhileInsideOnce = 0x04 | 0x10;
    // The first objective's place: reaching it completes the objective's only action, whose
    // message the in-game display shows, and opens the second objective.
    EBoxEntry objective = Box(kLevelObjective, 300.0f, 200.0f, kOnEnterOnce);
    objective.actions = {EBoxKinds::Command(0.0f, "SetObjective 0 0 0 0")};
    // The doorway: once the guard is dealt with, the door opens to the hero standing before it.
    const float doorway[3] = {0.0f, 0.0f, 60.0f};
    EBoxEntry door = Box(doorway, 240.0f, 240.0f, kWhileInsideOnce);
    door.conditions = {EBoxKinds::ObjectiveDone(1, 1)};
    door.actions = {EBoxKinds::Behaviour(0.0f, "DOOR01", "open")};
    // Inside the building with both objectives done, the mission ends.
    EBoxEntry exit = Box(kLevelExit, 400.0f, 300.0f, kWhileInsideOnce);
    exit.conditions = {EBoxKinds::ObjectiveDone(1, 0), EBoxKinds::ObjectiveDone(1, 1)};
    exit.actions = {EBoxKinds::Command(0.5f, "EndMission")};
    return ToString(EventBoxWriter::Bytes({objective, door, exit}));
}

// A frame is a quarter of a second. The front end as the main menu's run goes, then New game,
// mission 1 on the campaign map and its label pages. In the stage (state 6): W walks the hero
// up the yard into the first objective's box, the right button aims at the guard ahead and the
// left fires; W again takes him past the body, through the door and into the last box, whose
// end of the mission leads to the closing label and the debriefing (state 13). The actors'
// hit points and the objective flags are traced at fixed frames; the stage and the debriefing
// are saved as ../frames/run-mission.png and ../frames/run-debriefing.png.
const char kLevelDrive[] = "# Headless run: new game, mission 1, its label, the stage played, the debriefing.\n"
                           "step 2500000\n"
                           "bound 420\n"
                           "frames ../frames\n"
                           "at 2 key VK_RETURN\n"
                           "on 7 +100 key VK_RETURN\n"
                           "on 1 +20 key VK_RETURN\n"
                           "on 1 +30 key VK_RETURN\n"
                           "on 12 +25 key VK_RETURN\n"
                           "on 12 +29 key VK_RETURN\n"
                           "on 18 +6 key VK_RETURN\n"
                           "on 18 +12 key VK_RETURN\n"
                           "on 18 +18 key VK_RETURN\n"
                           "on 6 +1 scene\n"
                           "on 6 +20 save run-mission\n"
                           "on 6 +20 hold VK_W 50\n"
                           "on 6 +56 scene\n"
                           "on 6 +75 hold VK_RBUTTON 30\n"
                           "on 6 +80 scene\n"
                           "on 6 +82 hold VK_LBUTTON 1\n"
                           "on 6 +90 scene\n"
                           "on 6 +110 hold VK_W 120\n"
                           "on 6 +200 scene\n"
                           "on 13 +5 scene\n"
                           "on 13 +10 save run-debriefing\n";

// Objective 0: reach the building's yard; objective 1, opened by it: neutralise the first guard.
const char kLevelMissionFile[] = "BeginCreateMission 1 TX_MISSION1_TITLE_TXT\r\n"
                                 "CreateObjective 0 W1L1S01 1 1 TX_W1L1S01_OBJECTIVE_1_TXT INVALID_RESOURCE_ID\r\n"
                                 "AddObjectiveAction 0 MK_OBJECTIVE01 none none TX_W1L1S01_OBJECTIVE_1_DONE_TXT\r\n"
                                 "AddObjective\r\n"
                                 "CreateObjective 1 W1L1S01 1 1 TX_W1L1S01_OBJECTIVE_2_TXT INVALID_RESOURCE_ID\r\n"
                                 "AddNeededObjective 0\r\n"
                                 "AddObjectiveAction 0 none GUARD01 neutralize TX_W1L1S01_OBJECTIVE_2_DONE_TXT\r\n"
                                 "AddObjective\r\n"
                                 "EndCreateMission\r\n";

// The guards' behaviour runs on a timer: each tick keeps the move skill going and, once a leg of
// the patrol is walked, sends the guard to the path's next mark.
const char kLevelScript[] =
    "# The first sector: the level, its data and boxes, the hero with his weapons at his start\n"
    "# mark, two guards patrolling the path, then the cameras.\n"
    "import scenaric, actors_type, skills, mark, event\n"
    "import weapon_rifle, weapon_pistol\n"
    "\n"
    "PATROL = ('MK_PATROL01', 'MK_PATROL02', 'MK_PATROL03', 'MK_PATROL04')\n"
    "\n"
    "# What a shot can hit on a figure, on its own frame: a sphere round the whole of it, which\n"
    "# only steers the test, and the box of its body, which the shot strikes.\n"
    "BODY = [(0, 110.0, None, (0.0, 90.0, 0.0), 0, 1),\n"
    "        (1, (50.0, 180.0, 40.0), None, (0.0, 90.0, 0.0), 0, 0)]\n"
    "# What others bump into: a sphere round the figure's waist.\n"
    "STANCE = [(0, 35.0, None, (0.0, 90.0, 0.0), 0, 0)]\n"
    "\n"
    "class Actor:\n"
    "    def __init__(self, name):\n"
    "        self.actorName = name\n"
    "\n"
    "class ClassGardWithGraph(Actor):\n"
    "    def __init__(self, name, leg):\n"
    "        Actor.__init__(self, name)\n"
    "        self.leg = leg\n"
    "        self.walking = 0\n"
    "        self.dead = 0\n"
    "    def hit(self, event):\n"
    "        # The event comes as one tuple: the sender, the damage and the sender's identity.\n"
    "        damage = event[1]\n"
    "        # A round or a blow took its damage off; the timer sees him dead.\n"
    "        scenaric.SetHitPoints(self, max(0, scenaric.GetHitPoints(self) - int(damage)))\n"
    "    def behave(self, *args):\n"
    "        if scenaric.GetHitPoints(self) <= 0:\n"
    "            # Dead: the objective that names him is done, once; he stops.\n"
    "            if not self.dead:\n"
    "                self.dead = 1\n"
    "                scenaric.SetActorCollideable(self, 0)\n"
    "                scenaric.ActorPlayAnim(self, 'EN_DEATH_1_ANM')\n"
    "                scenaric.LaunchObjectiveSuccess(self.actorName)\n"
    "            return\n"
    "        skills.LoopSkill(self, skills.MS_PNJMOVE)\n"
    "        if self.walking and not skills.GetSkillStatus(self) & 2:\n"
    "            return\n"
    "        self.leg = (self.leg + 1) % len(PATROL) if self.walking else self.leg\n"
    "        self.walking = 1\n"
    "        skills.PnjSetMoveTarget(self, mark.GetMarkPosition(PATROL[self.leg]), 0)\n"
    "        skills.PnjMAPSetState(self, 87)\n"
    "\n"
    "class Door(Actor):\n"
    "    # It stands in the doorway and blocks it; the doorway's box asks it to open once the\n"
    "    # guard is dealt with, and then it lets everyone through.\n"
    "    def __init__(self, name):\n"
    "        Actor.__init__(self, name)\n"
    "        self.opened = 0\n"
    "    def requestBehaviourFromScenaric(self, id, behaviour, *args):\n"
    "        if behaviour == 'open' and not self.opened:\n"
    "            self.opened = 1\n"
    "            scenaric.SetActorCollideable(self, 0)\n"
    "\n"
    "def equip(weapon, name, text, picture):\n"
    "    # Weapons go to the hero's weapon list (the keys and the wheel choose from it). A hero\n"
    "    # without one still plays the level, unarmed; the log says so.\n"
    "    try:\n"
    "        scenaric.AddToInventory(weapon, name, text)\n"
    "    except TypeError as error:\n"
    "        print('W1L1S01: %s not equipped: %s' % (name, error))\n"
    "\n"
    "def begin(*args):\n"
    "    global hero, rifle, pistol, guards, door\n"
    "    scenaric.LoadLevel('W1L1_LEVEL_WL')\n"
    "    scenaric.LoadAStar('W1L1_NAV_AS')\n"
    "    scenaric.LoadScenaricData('W1L1_SCE')\n"
    "    scenaric.LoadEventBoxes('W1L1S01_BOXES_YB')\n"
    "    hero = Actor('Hero')\n"
    "    scenaric.CreateActor(hero, actors_type.Hero)\n"
    "    scenaric.SetModel(hero, 'HE_HERO_MODEL')\n"
    "    start = scenaric.GetStartMark() or 'MK_HERO_START01'\n"
    "    scenaric.SetPosition(hero, mark.GetMarkPosition(start))\n"
    "    # Families: the hero (1) and his enemies (4), both kept in saves (32); the event boxes\n"
    "    # test the actors of the first two.\n"
    "    scenaric.SetFamily(hero, 1 | 32)\n"
    "    scenaric.SetEnemyFamily(hero, 4)\n"
    "    scenaric.LoadShootCollisionSet(hero, BODY)\n"
    "    scenaric.LoadMoveCollisionSet(hero, STANCE)\n"
    "    scenaric.SetActorFrames(hero, 'Upper_Torso', 'Head', 'Upper_Torso')\n"
    "    scenaric.SetMaxHitPoints(hero, 100, 0)\n"
    "    scenaric.SetHitPoints(hero, 100)\n"
    "    skills.NewAddSkill(hero, skills.MS_HEROMOVE, None)\n"
    "    rifle = Actor('rifle')\n"
    "    scenaric.CreateActor(rifle, actors_type.WeaponShoot)\n"
    "    weapon_rifle.Setup(rifle)\n"
    "    pistol = Actor('pistol')\n"
    "    scenaric.CreateActor(pistol, actors_type.WeaponShoot)\n"
    "    weapon_pistol.Setup(pistol)\n"
    "    equip(pistol, 'PISTOL', 'TX_WEP_COLT_NAME_TXT', 'WEAPON_COLT1911_TEX')\n"
    "    equip(rifle, 'RIFLE', 'TX_WEP_GARAND_NAME_TXT', 'WEAPON_M1GARAND_TEX')\n"
    "    # A figure plays its animations through the weapon in its hand: the hero starts with\n"
    "    # the rifle.\n"
    "    scenaric.SetObjectInHand(hero, rifle)\n"
    "    guards = []\n"
    "    for name, leg in (('GUARD01', 0), ('GUARD02', 2)):\n"
    "        guard = ClassGardWithGraph(name, leg)\n"
    "        scenaric.CreateActor(guard, actors_type.TsAnimActor)\n"
    "        scenaric.SetModel(guard, 'EN_SOLDIER_MODEL')\n"
    "        scenaric.SetPosition(guard, mark.GetMarkPosition(PATROL[leg]))\n"
    "        scenaric.SetFamily(guard, 4 | 32)\n"
    "        scenaric.SetEnemyFamily(guard, 1)\n"
    "        scenaric.LoadShootCollisionSet(guard, BODY)\n"
    "        scenaric.LoadMoveCollisionSet(guard, STANCE)\n"
    "        scenaric.SetActorFrames(guard, 'Upper_Torso', 'Head', 'Upper_Torso')\n"
    "        scenaric.SetMaxHitPoints(guard, 60, 0)\n"
    "        scenaric.SetHitPoints(guard, 60)\n"
    "        guard.gun = Actor(name + '_RIFLE')\n"
    "        scenaric.CreateActor(guard.gun, actors_type.WeaponShoot)\n"
    "        scenaric.SetModel(guard.gun, 'W1L1_RIFLE_WO')\n"
    "        scenaric.SetActorCollideable(guard.gun, 0)\n"
    "        weapon_rifle.Setup(guard.gun, 40, 7, None)\n"
    "        scenaric.SetObjectInHand(guard, guard.gun)\n"
    "        skills.NewAddSkill(guard, skills.MS_PNJMOVE, None)\n"
    "        scenaric.AddEventActor(guard, event.timer1, 0, guard.behave, 0.1)\n"
    "        scenaric.AddEventActor(guard, event.hit, 0, guard.hit, 0)\n"
    "        guards.append(guard)\n"
    "    door = Door('DOOR01')\n"
    "    scenaric.CreateActor(door, actors_type.TsDummyActor)\n"
    "    scenaric.SetPosition(door, mark.GetMarkPosition('MK_DOOR01'))\n"
    "    scenaric.CreateCameras()\n"
    "    # The in-game display: health, ammunition and the objectives' messages.\n"
    "    scenaric.ShowInGameBoardControl()\n"
    "\n"
    "def end(*args):\n"
    "    pass\n"
    "\n"
    "scenaric.SetBeginEnd(begin, end)\n";
