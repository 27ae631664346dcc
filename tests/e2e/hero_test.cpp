// The hero and the soldiers in the first mission's stage: the figure stands on the level's
// ground at the hero's start mark, the soldiers stand on their patrol path, the hero walks while
// a move key is held, fires and reloads his rifle, and each saved frame shows the figure's
// jacket (the hero's or the soldiers' uniform) where the drive's trace projects its chest (not
// the clear colour, not the ground).
#include "e2e_fixture.h"
#include "framecheck.h"
#include "herocontent.h"
#include "levelcontent.h"


#include <cmath>
#include <cstdio>
#include <map>

namespace e2etest
{
namespace
{

// From a new game to the stage, as the stage's own run; then the first frame, a walk with the
// forward key held, and a look to the left, past the hero, at the first soldier ahead (each saved frame
// gets the actors' trace lines of the same frame); then the rifle's key, two shots and a reload.
std::string HeroDrive(const fs::path& folder)
{
    const std::string name = folder.filename().string();
    return "step 2500000\n"
           "bound 300\n"
           "trace " +
           (folder.parent_path() / (name + ".trace")).string() +
           "\n"
           "frames " +
           (folder.parent_path() / (name + "-frames")).string() +
           "\n"
           "at 2 key VK_RETURN\n"
           "on 7 +100 key VK_RETURN\n"
           "on 1 +20 key VK_RETURN\n"
           "on 1 +30 key VK_RETURN\n"
           "on 12 +25 key VK_RETURN\n"
           "on 12 +29 key VK_RETURN\n"
           "on 18 +6 key VK_RETURN\n"
           "on 18 +12 key VK_RETURN\n"
           "on 18 +18 key VK_RETURN\n"
           "on 6 +20 save stage\n"
           "on 6 +20 actors\n"
           "on 6 +22 hold VK_W 24\n"
           "on 6 +40 save walk\n"
           "on 6 +40 actors\n"
           "on 6 +50 mouse -400 0\n"
           "on 6 +60 save soldier\n"
           "on 6 +60 actors\n"
           "on 6 +62 key VK_1\n"
           "on 6 +70 hold VK_LBUTTON 2\n"
           "on 6 +76 actors\n"
           "on 6 +80 hold VK_LBUTTON 2\n"
           "on 6 +86 actors\n"
           "on 6 +90 key VK_R\n"
           "on 6 +105 actors\n";
}

/// One "actor" line of the trace.
struct ActorLine
{
    std::string name;
    long frame = 0;
    float at[3] = {};
    float feet = 0, ground = 0;
    int hp = 0;
    int ammo = -1; ///< rounds in the magazine of the gun in hand, -1 without one
    bool onGround = false, inView = false;
    float screen[2] = {};
};

std::vector<ActorLine> ActorLines(const std::string& trace)
{
    std::vector<ActorLine> lines;
    for (const std::string& text : Lines(trace, "actor "))
    {
        ActorLine a;
        char name[64] = {}, ground[16] = {}, ammo[16] = {}, screen[16] = {};
        float sy = 0;
        const int read = std::sscanf(
            text.c_str(), "actor %63s frame %ld at %f %f %f feet %f ground %15s hp %d ammo %15s screen %15s %f", name,
            &a.frame, &a.at[0], &a.at[1], &a.at[2], &a.feet, ground, &a.hp, ammo, screen, &sy);
        if (read < 10)
            continue;
        a.name = name;
        a.onGround = std::string(ground) != "none";
        a.ground = a.onGround ? std::stof(ground) : 0.0f;
        a.ammo = std::string(ammo) != "none" ? std::stoi(ammo) : -1;
        a.inView = std::string(screen) != "off" && read == 11;
        if (a.inView)
            a.screen[0] = std::stof(screen), a.screen[1] = sy;
        lines.push_back(a);
    }
    return lines;
}

const ActorLine* Find(const std::vector<ActorLine>& lines, const std::string& name, long frame)
{
    for (const ActorLine& a : lines)
        if (a.name == name && a.frame == frame)
            return &a;
    return nullptr;
}

/// A jacket under the boxes' grey light, half-way between a side's bottom and its top.
uint32_t Jacket(const uint8_t cloth[3])
{
    const float light = (float(kHeroSideLight) + float(kHeroTopLight)) * 0.5f / 255.0f;
    return 0xFF000000u | uint32_t(std::lround(cloth[0] * light)) << 16 | uint32_t(std::lround(cloth[1] * light)) << 8 |
           uint32_t(std::lround(cloth[2] * light));
}

/// Distance on the ground plane from a point to the closed patrol path.
float FromPath(const float at[3])
{
    const auto& path = kLevelPatrol;
    float best = 1e30f;
    for (size_t i = 0; i < 4; ++i)
    {
        const float* a = path[i];
        const float* b = path[(i + 1) % 4];
        const float dx = b[0] - a[0], dz = b[1] - a[1];
        float t = ((at[0] - a[0]) * dx + (at[2] - a[1]) * dz) / (dx * dx + dz * dz);
        t = std::fmax(0.0f, std::fmin(1.0f, t));
        best = std::fmin(best, std::hypot(at[0] - (a[0] + t * dx), at[2] - (a[1] + t * dz)));
    }
    return best;
}

TEST_F(GameRun, TheHeroAndTheSoldiersStandOnTheGroundAndTheHeroWalksInTheFrames)
{
    const fs::path folder = Copy("hero");
    const gamerun::Result run = gamerun::Run(gamerun::GameBinary(), folder.string(), HeroDrive(folder));
    ASSERT_EQ(run.signal, 0) << run.err;
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(gamerun::SanitizerReport(run.err), "");
    const std::string trace = gamerun::ReadFile((gRoot / "hero.trace").string());
    ASSERT_EQ(Lines(trace, "state 6 ").size(), 1u) << trace;
    const std::vector<ActorLine> actors = ActorLines(trace);
    std::map<std::string, long> saved;
    for (const std::string& line : Lines(trace, "saved "))
    {
        char name[32] = {};
        long frame = 0;
        if (std::sscanf(line.c_str(), "saved %31s frame %ld", name, &frame) == 2)
            saved[name] = frame;
    }
    ASSERT_EQ(saved.size(), 3u) << trace;

    // The first frame: the hero on his start mark, his lowest vertex on the ground under him;
    // both soldiers on their path, feet on the ground.
    const ActorLine* hero = Find(actors, "Hero", saved["stage"]);
    ASSERT_NE(hero, nullptr) << trace;
    EXPECT_NEAR(hero->at[0], kLevelHeroStart[0], 0.5f);
    EXPECT_NEAR(hero->at[2], kLevelHeroStart[2], 0.5f);
    ASSERT_TRUE(hero->onGround) << trace;
    EXPECT_NEAR(hero->feet, hero->ground, 1.0f);
    for (const char* name : {"GUARD01", "GUARD02"})
    {
        const ActorLine* soldier = Find(actors, name, saved["stage"]);
        ASSERT_NE(soldier, nullptr) << name << "\n" << trace;
        ASSERT_TRUE(soldier->onGround) << name;
        EXPECT_NEAR(soldier->feet, soldier->ground, 1.0f) << name;
        EXPECT_LE(FromPath(soldier->at), 1.0f) << name;
    }
    // Walking: he went forward (the figure faces +z at the start), a foot still on the ground
    // within a step's rise and fall.
    const ActorLine* walking = Find(actors, "Hero", saved["walk"]);
    ASSERT_NE(walking, nullptr) << trace;
    EXPECT_GT(walking->at[2] - hero->at[2], 50.0f);
    EXPECT_NEAR(walking->feet, walking->ground, 5.0f);

    // With the rifle taken in hand, each click of the fire button spends a round (the shooting
    // state's entry fires) and the reload key fills the magazine again.
    std::vector<int> rounds;
    for (const ActorLine& a : actors)
        if (a.name == "Hero" && a.frame > saved["soldier"])
            rounds.push_back(a.ammo);
    EXPECT_EQ(rounds, (std::vector<int>{7, 6, 8})) << trace;

    // Each frame shows the figure's jacket around the projected chest: a 5 x 5 block of the
    // jacket's colour under the light (the texture's patch, not the ground nor the clear).
    const struct
    {
        const char* frame;
        const char* actor;
        const uint8_t* cloth;
    } views[] = {{"stage", "Hero", kHeroCloth}, {"walk", "Hero", kHeroCloth}, {"soldier", "GUARD01", kSoldierCloth}};
    for (const auto& view : views)
    {
        SCOPED_TRACE(view.frame);
        const ActorLine* figure = Find(actors, view.actor, saved[view.frame]);
        ASSERT_NE(figure, nullptr) << trace;
        ASSERT_TRUE(figure->inView) << trace;
        int width = 0, height = 0;
        const std::vector<uint32_t> actual =
            ReadPng(gRoot / "hero-frames" / (std::string(view.frame) + ".png"), &width, &height);
        ASSERT_EQ(actual.size(), size_t(640 * 480));
        const int cx = int(figure->screen[0]), cy = int(figure->screen[1]);
        ASSERT_TRUE(cx >= 2 && cx < width - 2 && cy >= 2 && cy < height - 2) << cx << " " << cy;
        std::vector<uint32_t> expected = actual;
        for (int y = cy - 2; y <= cy + 2; ++y)
            for (int x = cx - 2; x <= cx + 2; ++x)
                expected[size_t(y * width + x)] = Jacket(view.cloth);
        EXPECT_EQ(framecheck::CheckFrame(std::string("e2e_hero_") + view.frame, width, height, actual, expected, 12),
                  "");
    }
    fs::remove_all(folder);
}

} // namespace
} // namespace e2etest
