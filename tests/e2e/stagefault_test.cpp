// A damaged sector: each file the first mission's stage reads (the hero's, the level's and the
// sector's, packed or on the disk) is cut short, garbled or deleted in turn on a copy of the set,
// and a new game is driven to the stage. The game names the sector and the file, goes back to
// the main menu and ends its run normally, with no sanitizer report.
#include "e2e_fixture.h"
#include "groupwriter.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace e2etest
{
namespace
{

enum class Damage
{
    Half,   ///< cut to half its length
    Seven,  ///< cut to its first 7 bytes
    Garble, ///< 24 bytes in its middle overwritten
    Tree,   ///< 24 bytes in the middle of its last collision tree (plug-in 285) overwritten
    Delete, ///< taken out of its pack, or off the disk
    Lines,  ///< a group script cut at a line's end, before its data containers
};

/// Refused: the sector must be refused. Survives: damage no reader can tell from good data (a
/// skeleton cut after its bone list, a model's or a collision tree's numbers garbled, the middle
/// of a database or box file falling on names and numbers of the right form) may play; the run
/// must still end cleanly.
enum class Expect
{
    Refused,
    Survives,
};

struct Case
{
    const char* kind;
    const char* group; ///< the group whose pack holds the file; null for a file on the disk
    const char* file;  ///< the name in the pack (a suffix is enough), or on the disk
    Damage damage;
    Expect expect;
};

const Case kCases[] = {
    {"group script", nullptr, "W1L1S01.scr", Damage::Delete, Expect::Refused},
    {"group script", nullptr, "HERO.scr", Damage::Seven, Expect::Refused},
    {"group script", nullptr, "HERO.scr", Damage::Lines, Expect::Refused},
    {"pack", nullptr, "W1L1.PAK", Damage::Half, Expect::Refused},
    {"pack", nullptr, "HERO.PAK", Damage::Delete, Expect::Refused},
    {"world", "W1L1", "world.bsp", Damage::Half, Expect::Refused},
    {"world", "W1L1", "world.bsp", Damage::Garble, Expect::Refused},
    {"collision tree", "W1L1", "world.bsp", Damage::Tree, Expect::Survives},
    {"level", "W1L1", "level.wl", Damage::Seven, Expect::Refused},
    {"level", "W1L1", "level.wl", Damage::Delete, Expect::Refused},
    {"navigation graph", "W1L1", "navigation.as", Damage::Half, Expect::Refused},
    {"navigation graph", "W1L1", "navigation.as", Damage::Garble, Expect::Refused},
    {"scenario database", "W1L1", ".sce", Damage::Seven, Expect::Refused},
    {"scenario database", "W1L1", ".sce", Damage::Garble, Expect::Survives},
    {"mark database", "W1L1", ".ydb", Damage::Half, Expect::Refused},
    {"event boxes", "W1L1S01", ".yb", Damage::Seven, Expect::Refused},
    {"event boxes", "W1L1S01", ".yb", Damage::Garble, Expect::Survives},
    {"mission file", "W1L1", "mission.scr", Damage::Half, Expect::Refused},
    {"mission file", "W1L1", "mission.scr", Damage::Garble, Expect::Refused},
    {"level script", "W1L1S01", "w1l1s01.py", Damage::Half, Expect::Refused},
    {"level script", "W1L1S01", "w1l1s01.py", Damage::Garble, Expect::Refused},
    {"level script", "W1L1S01", "w1l1s01.py", Damage::Delete, Expect::Refused},
    {"skeleton", "HERO", ".skl", Damage::Seven, Expect::Refused},
    {"skeleton", "HERO", ".skl", Damage::Half, Expect::Survives},
    {"model", "HERO", ".mdl", Damage::Seven, Expect::Refused},
    {"model", "HERO", ".mdl", Damage::Garble, Expect::Survives},
    {"animation", "HERO", ".anm", Damage::Half, Expect::Refused},
    {"animation", "HERO", ".anm", Damage::Garble, Expect::Refused},
    {"weapon script", "HERO", "weapon_rifle.py", Damage::Seven, Expect::Refused},
    {"weapon script", "HERO", "weapon_pistol.py", Damage::Delete, Expect::Refused},
    // A model's own texture cut short is not a group resource: the model draws untextured.
    {"texture", "HERO", ".png", Damage::Half, Expect::Survives},
    {"texture", "W1L1", ".png", Damage::Garble, Expect::Refused},
};

const char* DamageName(Damage damage)
{
    switch (damage)
    {
    case Damage::Half:
        return "cut to half";
    case Damage::Seven:
        return "cut to 7 bytes";
    case Damage::Garble:
        return "garbled";
    case Damage::Tree:
        return "collision tree garbled";
    case Damage::Delete:
        return "deleted";
    case Damage::Lines:
        return "cut before its data containers";
    }
    return "";
}

uint32_t Word(const std::string& bytes, size_t at)
{
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | uint8_t(bytes[at + size_t(i)]);
    return value;
}

std::string Damaged(const std::string& bytes, Damage damage)
{
    switch (damage)
    {
    case Damage::Half:
        return bytes.substr(0, bytes.size() / 2);
    case Damage::Seven:
        return bytes.substr(0, std::min<size_t>(7, bytes.size()));
    case Damage::Garble:
    case Damage::Tree:
    {
        std::string garbled = bytes;
        size_t from = garbled.size() / 2 > 12 ? garbled.size() / 2 - 12 : 0;
        // The extension's header: plug-in id 285, its size, its version.
        if (const size_t tree = bytes.rfind(std::string("\x1d\x01\x00\x00", 4));
            damage == Damage::Tree && tree != std::string::npos && tree + 12 <= bytes.size())
            from = tree + 12 + Word(bytes, tree + 4) / 2;
        for (size_t i = from; i < std::min(garbled.size(), from + 24); ++i)
            garbled[i] = char(0xFF - (i & 0x0F));
        return garbled;
    }
    case Damage::Lines:
        return bytes.substr(0, std::min(bytes.size(), bytes.find("DataContainerBegin")));
    case Damage::Delete:
        break;
    }
    return {};
}

/// The files of a pack the set's own writer made: a 16-byte header {magic, 0, index offset,
/// count}, then per entry its name, a line feed, its offset and its size. Empty when it is not one.
std::vector<GroupWriter::File> ReadPack(const std::string& bytes)
{
    std::vector<GroupWriter::File> files;
    if (bytes.size() < 16)
        return files;
    size_t at = Word(bytes, 8);
    for (uint32_t n = Word(bytes, 12); n > 0 && at < bytes.size(); --n)
    {
        const size_t end = bytes.find('\n', at);
        if (end == std::string::npos || end + 9 > bytes.size())
            return {};
        const uint32_t offset = Word(bytes, end + 1), size = Word(bytes, end + 5);
        if (size_t(offset) + size > bytes.size())
            return {};
        files.push_back({bytes.substr(at, end - at), bytes.substr(offset, size)});
        at = end + 9;
    }
    return files;
}

/// Damages the case's file in the folder; the name of what was damaged, or "" when the set
/// holds no such file.
std::string DamageFile(const fs::path& folder, const Case& c)
{
    if (!c.group)
    {
        const fs::path path = folder / c.file;
        if (!fs::exists(path))
            return {};
        if (c.damage == Damage::Delete)
            fs::remove(path);
        else
            gamerun::WriteFile(path.string(), Damaged(gamerun::ReadFile(path.string()), c.damage));
        return c.file;
    }
    const fs::path pack = folder / (std::string(c.group) + ".PAK");
    std::vector<GroupWriter::File> files = ReadPack(gamerun::ReadFile(pack.string()));
    auto hit =
        std::find_if(files.begin(), files.end(), [&](const GroupWriter::File& f) { return f.name.ends_with(c.file); });
    if (hit == files.end() && std::strcmp(c.file, ".png") == 0)
    {
        // A group without a picture of its own is given one of the front end's, declared in its
        // script, so the picture reader's refusal is tried whatever the set holds.
        const std::vector<GroupWriter::File> frontEnd = ReadPack(gamerun::ReadFile((folder / "FRONTEND.PAK").string()));
        const auto picture = std::find_if(frontEnd.begin(), frontEnd.end(),
                                          [](const GroupWriter::File& f) { return f.name.ends_with(".png"); });
        if (picture == frontEnd.end())
            return {};
        const std::string added = std::string(c.group) + "\\damaged.png";
        const fs::path script = folder / (std::string(c.group) + ".scr");
        gamerun::WriteFile(script.string(), gamerun::ReadFile(script.string()) + "add_ressource " + c.group +
                                                "_DAMAGED_TEX " + added + "\r\n");
        files.push_back({added, picture->bytes});
        hit = files.end() - 1;
    }
    if (hit == files.end())
        return {};
    const std::string name = hit->name;
    if (c.damage == Damage::Delete)
        files.erase(hit);
    else
        hit->bytes = Damaged(hit->bytes, c.damage);
    return GroupWriter::WritePack(pack.string(), files) == 1 ? name : std::string();
}

// From a new game through the campaign map and the label pages to the stage, as the first
// mission's run; a refused stage goes back to the main menu, from where the same keys start a
// new game and reach the stage a second time.
std::string RefusalDrive(const fs::path& folder)
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
           "on 18 +18 key VK_RETURN\n";
}

/// The states the trace entered, in order.
std::vector<int> States(const std::string& trace)
{
    std::vector<int> states;
    for (const std::string& line : Lines(trace, "state "))
        states.push_back(std::atoi(line.c_str() + 6));
    return states;
}

TEST_F(GameRun, ADamagedSectorFileIsRefusedByNameAndTheGameGoesBackToTheMainMenu)
{
    struct Run
    {
        const Case* c;
        std::string file;
        fs::path folder;
        gamerun::Result result;
    };
    std::vector<Run> runs;
    for (size_t i = 0; i < std::size(kCases); ++i)
    {
        const Case& c = kCases[i];
        const fs::path folder = Copy("fault" + std::to_string(i));
        const std::string file = DamageFile(folder, c);
        if (file.empty())
        {
            // The set has no file of the kind in that group yet: nothing to damage.
            std::printf("no %s in %s: row %zu left out\n", c.file, c.group ? c.group : "the set", i);
            fs::remove_all(folder);
            continue;
        }
        runs.push_back({&c, file, folder, {}});
    }
    // A few runs at a time: each is a whole game under the sanitizers.
    constexpr size_t kAtOnce = 4;
    for (size_t begin = 0; begin < runs.size(); begin += kAtOnce)
    {
        const size_t end = std::min(runs.size(), begin + kAtOnce);
        std::vector<gamerun::Started> started;
        for (size_t i = begin; i < end; ++i)
            started.push_back(
                gamerun::Start(gamerun::GameBinary(), runs[i].folder.string(), RefusalDrive(runs[i].folder)));
        for (size_t i = begin; i < end; ++i)
            runs[i].result = gamerun::Finish(started[i - begin]);
    }

    for (Run& run : runs)
    {
        const gamerun::Result& result = run.result;
        const std::string what = std::string(run.c->kind) + " " + run.file + " " + DamageName(run.c->damage);
        SCOPED_TRACE(what);
        const std::string trace =
            gamerun::ReadFile((run.folder.parent_path() / (run.folder.filename().string() + ".trace")).string());
        EXPECT_EQ(result.signal, 0) << result.err;
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(gamerun::SanitizerReport(result.err), "");
        const std::vector<int> states = States(trace);
        const auto stage = std::find(states.begin(), states.end(), 6);
        if (stage == states.end())
        {
            ADD_FAILURE() << "the stage was never entered\n" << trace;
            continue;
        }
        const std::string log = result.out + result.err;
        constexpr const char* kRefusal = "the sector \"W1L1S01\" cannot be played: ";
        const size_t refusal = log.find(kRefusal);
        if (run.c->expect == Expect::Survives && refusal == std::string::npos)
            continue;
        if (refusal == std::string::npos)
        {
            ADD_FAILURE() << "not refused\n" << log;
            continue;
        }
        // The message names the damaged file, the group whose pack or script it is, or the
        // level script a garbled database made fail.
        const std::string line = log.substr(refusal, log.find('\n', refusal) - refusal);
        const std::string leaf = run.file.substr(run.file.rfind('\\') + 1);
        EXPECT_TRUE(line.find(leaf) != std::string::npos ||
                    (run.c->group && line.find(std::string(run.c->group) + ".") != std::string::npos) ||
                    line.find("the level script") != std::string::npos)
            << line;
        EXPECT_NE(line.find("; back to the main menu"), std::string::npos) << line;
        // Each entry is refused alike: the first left nothing behind that lets the second play.
        const auto entries = std::count(states.begin(), states.end(), 6);
        size_t refusals = 0;
        for (size_t at = refusal; at != std::string::npos; at = log.find(kRefusal, at + 1))
            ++refusals;
        EXPECT_GE(entries, 2) << trace;
        EXPECT_EQ(refusals, size_t(entries));
        EXPECT_NE(std::find(stage, states.end(), 1), states.end()) << "no main menu after the stage\n" << trace;
    }
    for (Run& run : runs)
        fs::remove_all(run.folder);
}

} // namespace
} // namespace e2etest
