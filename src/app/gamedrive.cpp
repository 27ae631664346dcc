// The drive mode: reading the drive file, the fixed frame step, pressed keys, saved frames and
// the trace.
#include "gamedrive.h"

#include "boardcontroltheme_ingame.h"
#include "gameprofile.h"
#include "gamestate.h"
#include "gamestatemanager.h"
#include "gamestatesaveload.h"
#include "hbexitlist.h"
#include "hbkeyboardcontroller.h"
#include "hbmemoryhook.h"
#include "hbptrlist.h"
#include "hbuserfolder.h"
#include "herostatemachine.h"
#include "missionmanager.h"
#include "resourcegroups.h"
#include "scriptworldmanager.h"
#include "tsactor.h"
#include "tsheroactor.h"
#include "tsmotorskills.h"
#include "w2dlistgraphiccontainer.h"
#include "w2dtextgraphicitem.h"
#include "w3dnode.h"
#include "wrenderer.h"

#include "camera.h"
#include "d3d9testhooks.h"
#include "dinput8testhooks.h"
#include "image.h"
#include "raster.h"
#include "win32testhooks.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/resource.h>
#include <unistd.h>

namespace
{
// Where the counter stands before the first frame: not 0, which the clocks read as "never".
constexpr int64_t kCounterStart = 10000000;

struct Run
{
    GameDriveScript script;
    std::FILE* trace = nullptr;
    int64_t frame = 0; ///< the frame about to run (BeforeFrame) or just run (AfterFrame)
    int32_t state = -1;
    int64_t stateEntry = 0; ///< the frame after which the current state became current
    bool started = false;
    /// Keys held down: the frame before which each goes up, 0 for a free slot.
    std::array<std::pair<int64_t, int32_t>, 32> holds{};
    /// The wall time of each frame of the current visit (kept from the start, never grown).
    std::vector<double> frameMicros;
    std::chrono::steady_clock::time_point frameStart;
    uint64_t allocationsTraced = 0; ///< the count the last memory line ended at
};

Run* sRun = nullptr;
std::atomic<uint64_t> sAllocations{0};

void CountAllocation()
{
    sAllocations.fetch_add(1, std::memory_order_relaxed);
}

// Frames a state's timing holds at most; later frames of a longer visit are not timed.
constexpr size_t kTimedFrames = 1 << 18;

// The mouse's buttons by their key names: the keyboard's controller does not name them, but
// they reach the key state as the window's clicks do.
constexpr std::pair<const char*, int32_t> kMouseButtons[] = {{"VK_LBUTTON", 1}, {"VK_RBUTTON", 2}, {"VK_MBUTTON", 4}};

int32_t KeyCode(HbKeyboardController& keys, const std::string& name)
{
    for (const auto& [button, code] : kMouseButtons)
        if (name == button)
            return code;
    return keys.GetKeyCode(name.c_str());
}

void Press(int32_t code, bool down)
{
    Win32TestKeyEvent(uint8_t(code), down);
}

// A whole number with nothing after it; false for anything else or out of range.
bool Number(const std::string& text, int64_t low, int64_t high, int64_t* out)
{
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || value < low || value > high)
        return false;
    *out = value;
    return true;
}

// One command line into the script; an empty answer when it was used, else what was wrong.
std::string ParseLine(const std::vector<std::string>& words, HbKeyboardController& keys, GameDriveScript* script)
{
    const std::string& command = words[0];
    int64_t value = 0;
    if (command == "step" || command == "bound")
    {
        if (words.size() != 2 || !Number(words[1], 1, int64_t(1) << 40, &value))
            return command + " takes one whole number above 0";
        if (command == "step")
            script->step = value;
        else
            script->bound = long(value);
        return "";
    }
    if (command == "trace" || command == "frames")
    {
        if (words.size() != 2)
            return command + " takes one path";
        (command == "trace" ? script->trace : script->frames) = words[1];
        return "";
    }
    if (command == "fault")
    {
        if (words.size() == 3 && words[1] == "kill")
        {
            if (words[2].find_first_of("/\\") != std::string::npos)
                return "fault kill takes a file name without a folder";
            script->killOnReplace = words[2];
            return "";
        }
        if (words.size() != 2 || words[1] != "adapter")
            return "the faults are \"adapter\" and \"kill <file name>\"";
        script->adapterFault = true;
        return "";
    }
    if (command == "timing")
    {
        if (words.size() != 2 || !Number(words[1], 0, int64_t(1) << 40, &value))
            return "timing takes the frames to leave out, 0 or more";
        script->timingSkip = value;
        return "";
    }
    if (command != "at" && command != "on")
        return "unknown command \"" + command + "\"";

    GameDriveEvent event;
    size_t next = 2;
    if (words.size() < 2)
        return command + " needs a number";
    if (command == "at")
    {
        if (!Number(words[1], 1, int64_t(1) << 40, &event.frame))
            return "a frame number counts from 1";
    }
    else
    {
        if (!Number(words[1], 0, 1000, &value))
            return "a state is a number from 0 to 1000";
        event.state = int32_t(value);
        event.frame = 1;
        if (words.size() > 2 && words[2][0] == '+')
        {
            if (!Number(words[2].substr(1), 1, int64_t(1) << 40, &event.frame))
                return "the frames after an entry are +1 or more";
            ++next;
        }
    }
    constexpr const char* kEvents = "an event is \"key <name>\", \"hold <name> <frames>\", \"mouse <dx> <dy>\", "
                                    "\"save <name>\", \"memory\" or \"actors\"";
    if (words.size() <= next)
        return kEvents;
    const std::string& kind = words[next];
    const size_t arguments = words.size() - next - 1;
    if (kind == "key" || kind == "hold")
    {
        if (arguments != (kind == "key" ? 1u : 2u))
            return kEvents;
        event.kind = kind == "key" ? GameDriveEvent::kKey : GameDriveEvent::kHold;
        event.name = words[next + 1];
        event.keyCode = KeyCode(keys, event.name);
        if (event.keyCode < 0)
            return "unknown key \"" + event.name + "\"";
        if (kind == "hold" && !Number(words[next + 2], 1, int64_t(1) << 40, &event.frames))
            return "a key is held 1 frame or more";
    }
    else if (kind == "mouse")
    {
        int64_t dx = 0, dy = 0;
        if (arguments != 2 || !Number(words[next + 1], -100000, 100000, &dx) ||
            !Number(words[next + 2], -100000, 100000, &dy))
            return "a mouse move is two whole numbers from -100000 to 100000";
        event.kind = GameDriveEvent::kMouse;
        event.dx = int32_t(dx);
        event.dy = int32_t(dy);
    }
    else if (kind == "save")
    {
        if (arguments != 1)
            return kEvents;
        event.kind = GameDriveEvent::kSave;
        event.name = words[next + 1];
        if (event.name.find_first_of("/\\") != std::string::npos || event.name == "." || event.name == "..")
            return "a frame's name is a file name without a folder";
    }
    else if (kind == "memory" && arguments == 0)
        event.kind = GameDriveEvent::kMemory;
    else if (kind == "actors" && arguments == 0)
        event.kind = GameDriveEvent::kActors;
    else
        return kEvents;
    script->events.push_back(event);
    return "";
}

void Trace(const std::string& line)
{
    if (!sRun || !sRun->trace)
        return;
    std::fprintf(sRun->trace, "%s\n", line.c_str());
    std::fflush(sRun->trace);
}

void TraceGroup(const char* event, const char* name, int32_t layer)
{
    Trace(std::string(event) + " " + (name ? name : "") + " " + std::to_string(layer));
}

// "layers 0:PERMANENT,UK 1: 2:FRONTEND"
std::string LayersText()
{
    std::string text = "layers";
    for (int32_t layer = 0; layer < kResourceLayerCount; ++layer)
    {
        text += " " + std::to_string(layer) + ":";
        const HbPtrList* groups = ResourceGroupLayer(layer);
        for (HbPtrListNode* node = groups ? groups->GetHead() : nullptr; node; node = node->next)
        {
            if (node != groups->GetHead())
                text += ",";
            text += static_cast<const ResourceGroup*>(node->value)->name;
        }
    }
    return text;
}

int32_t GroupsLeft()
{
    int32_t count = 0;
    for (int32_t layer = 0; layer < kResourceLayerCount; ++layer)
        if (const HbPtrList* groups = ResourceGroupLayer(layer))
            count += groups->GetCount();
    return count;
}

int32_t RecordsLeft()
{
    HbPerClassFreeList* pool = ResourceRecord::sClassPool.Get();
    return pool ? pool->GetUsedCount() : 0;
}

// The frame the main camera shows, opaque, as <folder>/<name>.png. Empty, or what failed.
std::string SaveFrame(const std::string& name)
{
    WRenderer* renderer = WRenderer::Existing();
    Camera* camera = renderer ? renderer->GetMainCamera() : nullptr;
    Raster* raster = camera ? camera->frameBuffer : nullptr;
    if (!raster)
        return "no frame to save";
    std::error_code error;
    std::filesystem::create_directories(sRun->script.frames, error);
    const std::string path = (std::filesystem::path(sRun->script.frames) / (name + ".png")).string();
    Image* image = Image::Create(raster->width, raster->height, 32);
    std::string failed;
    if (!image || !Image::AllocatePixels(image) || !Image::SetFromRaster(image, raster))
        failed = "cannot read the frame back";
    else
    {
        // The back buffer's alpha is whatever the last draw left; the picture is opaque.
        for (int32_t y = 0; y < image->height; ++y)
            for (int32_t x = 0; x < image->width; ++x)
                image->pixels[size_t(y) * size_t(image->stride) + size_t(x) * 4 + 3] = 255;
        if (!Image::Write(image, path.c_str()))
            failed = "cannot write " + path;
    }
    if (image)
        Image::Destroy(image);
    return failed;
}

// Run from the exit list: the manager's destroy callback, added after this one, has run.
void TraceExitList()
{
    Trace(std::string("exit list ran, manager ") + (GameStateManager::Existing() ? "kept" : "gone"));
    if (sRun && sRun->trace && sRun->trace != stdout)
        std::fclose(sRun->trace);
    delete sRun;
    sRun = nullptr;
}

bool Due(const GameDriveEvent& event, GameDriveEvent::Kind kind)
{
    if (event.kind != kind)
        return false;
    if (event.state < 0)
        return event.frame == sRun->frame;
    return event.state == sRun->state && sRun->stateEntry + event.frame == sRun->frame;
}

// The resident memory now, in KB, read without allocating; 0 when /proc cannot be read.
long ResidentKb()
{
    const int file = open("/proc/self/statm", O_RDONLY);
    if (file < 0)
        return 0;
    char text[128];
    const ssize_t length = read(file, text, sizeof(text) - 1);
    close(file);
    if (length <= 0)
        return 0;
    text[length] = '\0';
    long pages = 0;
    if (std::sscanf(text, "%*s %ld", &pages) != 1)
        return 0;
    return pages * (sysconf(_SC_PAGESIZE) / 1024);
}

void TraceMemory()
{
    // Read before the line is made: its own strings are not the frames' allocations.
    const uint64_t allocations = sAllocations.load(std::memory_order_relaxed) - sRun->allocationsTraced;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const long resident = ResidentKb();
    Trace("memory frame " + std::to_string(sRun->frame) + " rss_kb " + std::to_string(resident) + " peak_kb " +
          std::to_string(usage.ru_maxrss) + " allocations " + std::to_string(allocations));
    sRun->allocationsTraced = sAllocations.load(std::memory_order_relaxed);
}

int32_t TraceActor(TsActor* actor, void*, void*)
{
    char line[256];
    int length = std::snprintf(line, sizeof(line), "actor %s hp %d", actor->GetName().c_str(), actor->mHitPoints);
    W3dNode* node = actor->GetNode();
    if (const Vector* at = node ? node->GetWorldPosition() : nullptr)
        length += std::snprintf(line + length, sizeof(line) - size_t(length), " at %.0f %.0f %.0f", double(at->x),
                                double(at->y), double(at->z));
    else
        length += std::snprintf(line + length, sizeof(line) - size_t(length), " at -");
    const TsMotorSkills* skills = actor->GetMotorSkills();
    const char* skill = skills ? skills->GetCurrentSkillName() : nullptr;
    if (skill && length < int(sizeof(line)))
        length += std::snprintf(line + length, sizeof(line) - size_t(length), " skill %s", skill);
    const auto* hero = HbCastTo<TsHeroActor>(actor);
    if (const HeroStateMachine* machine = hero ? hero->GetStateMachine() : nullptr;
        machine && length < int(sizeof(line)))
        std::snprintf(line + length, sizeof(line) - size_t(length), " state %d", machine->GetCurrentCode());
    Trace(line);
    return 1;
}

// Every listed actor's hit points and place, then the profile's objective flags.
void TraceActors()
{
    Trace("actors frame " + std::to_string(sRun->frame));
    if (ScriptWorldManager* world = ScriptWorldManager::Instance())
        world->ForEachActor(TraceActor, nullptr, nullptr);
    // The message the in-game display shows, or the one it will show once it is up.
    if (BoardControlTheme_InGame* hud = BoardControlTheme_InGame::Find())
    {
        W2dTimedListGraphicContainer* messages = hud->GetMessageList();
        const auto* text =
            messages && messages->GetChildCount() > 0 ? HbCastTo<W2dTextGraphicItem>(messages->GetChild(0)) : nullptr;
        if (text)
            Trace("hud " + text->GetText());
    }
    GameStateManager* manager = GameStateManager::Existing();
    GameProfile* profile = manager ? manager->GetProfile() : nullptr;
    if (!profile)
        return;
    MissionManager& missions = profile->GetMissions();
    for (int32_t index = 0; index < MissionManager::kMaxObjectives; ++index)
        if (const Objective* objective = missions.GetObjective(index))
            Trace("objective " + std::to_string(index) + " active " + std::to_string(objective->IsActive()) + " done " +
                  std::to_string(objective->IsDone()));
}

// The current visit's frame times past the skipped ones, as one line; the list is emptied.
void TraceTiming()
{
    if (sRun->script.timingSkip < 0)
        return;
    std::vector<double>& times = sRun->frameMicros;
    const size_t skip = std::min(times.size(), size_t(sRun->script.timingSkip));
    const size_t count = times.size() - skip;
    double mean = 0.0, p99 = 0.0;
    if (count > 0)
    {
        for (size_t i = skip; i < times.size(); ++i)
            mean += times[i];
        mean /= double(count);
        // The frame 99 in 100 frames stay at or under (nearest rank).
        const size_t rank = (count * 99 + 99) / 100 - 1;
        std::nth_element(times.begin() + long(skip), times.begin() + long(skip + rank), times.end());
        p99 = times[skip + rank];
    }
    char line[160];
    std::snprintf(line, sizeof(line), "timing state %d frames %zu mean_us %.1f p99_us %.1f", sRun->state, count, mean,
                  p99);
    times.clear();
    Trace(line);
}

// The replacement of the named file ends the process as a power cut or a kill would.
void KillOnReplace(const char* path)
{
    if (!sRun || std::filesystem::path(path).filename() != sRun->script.killOnReplace)
        return;
    Trace(std::string("killed replacing ") + path + " frame " + std::to_string(sRun->frame));
    std::raise(SIGKILL);
}
} // namespace

std::string GameDriveParse(const std::string& text, GameDriveScript* script)
{
    HbKeyboardController keys;
    std::string errors;
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number)
    {
        if (const size_t hash = line.find('#'); hash != std::string::npos)
            line.resize(hash);
        std::istringstream split(line);
        std::vector<std::string> words{std::istream_iterator<std::string>(split), {}};
        if (words.empty())
            continue;
        const std::string failed = ParseLine(words, keys, script);
        if (!failed.empty())
            errors += "line " + std::to_string(number) + ": " + failed + "\n";
    }
    return errors;
}

int32_t GameDriveStart()
{
    const char* file = std::getenv("VELMORAN_DRIVE");
    if (!file || !*file)
        return 0;
    std::ifstream in(file, std::ios::binary);
    if (!in)
    {
        std::fprintf(stderr, "drive: cannot read %s; the run is not driven\n", file);
        return 0;
    }
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    sRun = new Run();
    const std::string errors = GameDriveParse(text, &sRun->script);
    if (!errors.empty())
    {
        std::istringstream lines(errors);
        for (std::string line; std::getline(lines, line);)
            std::fprintf(stderr, "drive: %s:%s (skipped)\n", file, line.substr(5).c_str());
    }
    if (sRun->script.trace.empty())
        sRun->trace = stdout;
    else if (!(sRun->trace = std::fopen(sRun->script.trace.c_str(), "w")))
        std::fprintf(stderr, "drive: cannot write the trace %s\n", sRun->script.trace.c_str());
    Win32TestSetPerformanceCounter(kCounterStart);
    // A wait that draws frames inside one of the run's frames moves the frozen counter itself.
    GameWaitSetStep([] { Win32TestAdvancePerformanceCounter(sRun ? sRun->script.step : 0); });
    if (sRun->script.adapterFault)
        d3d9test::SetAdapters({});
    ResourceGroupSetObserver(TraceGroup);
    if (!sRun->script.killOnReplace.empty())
        HbSetFileReplaceHook(KillOnReplace);
    if (sRun->script.timingSkip >= 0)
        sRun->frameMicros.reserve(kTimedFrames);
    for (const GameDriveEvent& event : sRun->script.events)
        if (event.kind == GameDriveEvent::kMemory)
            HbSetAllocationHook(CountAllocation);
    HbExitList::Add(TraceExitList);
    return 1;
}

long GameDriveFrameBound()
{
    return sRun ? sRun->script.bound : 0;
}

void GameDriveBeforeFrame()
{
    if (!sRun)
        return;
    if (!sRun->started)
    {
        // The first state was entered by the start-up, before any frame.
        sRun->started = true;
        GameStateManager* manager = GameStateManager::Existing();
        GameState* state = manager ? manager->GetCurrentState() : nullptr;
        sRun->state = state ? state->GetId() : -1;
        Trace("state " + std::to_string(sRun->state) + " frame 0");
        Trace(LayersText());
    }
    ++sRun->frame;
    Win32TestAdvancePerformanceCounter(sRun->script.step);
    for (auto& [release, key] : sRun->holds)
        if (release == sRun->frame)
        {
            Press(key, false);
            release = 0;
        }
    for (const GameDriveEvent& event : sRun->script.events)
        if (Due(event, GameDriveEvent::kKey))
        {
            // Down and up before the frame reads the keys: it sees one press.
            Press(event.keyCode, true);
            Press(event.keyCode, false);
            Trace("key " + event.name + " frame " + std::to_string(sRun->frame));
        }
        else if (Due(event, GameDriveEvent::kHold))
        {
            auto free =
                std::find_if(sRun->holds.begin(), sRun->holds.end(), [](const auto& h) { return h.first == 0; });
            if (free == sRun->holds.end())
            {
                Trace("hold " + event.name + " frame " + std::to_string(sRun->frame) + " refused: too many keys held");
                continue;
            }
            *free = {sRun->frame + event.frames, event.keyCode};
            Press(event.keyCode, true);
            Trace("hold " + event.name + " frame " + std::to_string(sRun->frame) + " to " +
                  std::to_string(free->first));
        }
        else if (Due(event, GameDriveEvent::kMouse))
        {
            dinput8test::MouseMotion(event.dx, event.dy);
            Trace("mouse " + std::to_string(event.dx) + " " + std::to_string(event.dy) + " frame " +
                  std::to_string(sRun->frame));
        }
    if (sRun->script.timingSkip >= 0)
        sRun->frameStart = std::chrono::steady_clock::now();
}

void GameDriveAfterFrame()
{
    if (!sRun)
        return;
    GameStateManager* manager = GameStateManager::Existing();
    GameState* state = manager ? manager->GetCurrentState() : nullptr;
    const int32_t id = state ? state->GetId() : -1;
    if (sRun->script.timingSkip >= 0 && sRun->frameMicros.size() < kTimedFrames)
        sRun->frameMicros.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - sRun->frameStart).count());
    for (const GameDriveEvent& event : sRun->script.events)
        if (Due(event, GameDriveEvent::kMemory))
            TraceMemory();
    for (const GameDriveEvent& event : sRun->script.events)
        if (Due(event, GameDriveEvent::kActors))
            TraceActors();
    for (const GameDriveEvent& event : sRun->script.events)
        if (Due(event, GameDriveEvent::kSave))
        {
            const std::string failed = SaveFrame(event.name);
            Trace((failed.empty() ? "saved " + event.name : "save " + event.name + " failed: " + failed) + " frame " +
                  std::to_string(sRun->frame));
        }
    if (id != sRun->state)
    {
        // The frame that switched belongs to the visit it ended.
        TraceTiming();
        sRun->state = id;
        sRun->stateEntry = sRun->frame;
        Trace("state " + std::to_string(id) + " frame " + std::to_string(sRun->frame));
        Trace(LayersText());
    }
}

void GameDriveEnd(int exitCode)
{
    if (!sRun)
        return;
    TraceTiming();
    HbSetAllocationHook(nullptr);
    HbSetFileReplaceHook(nullptr);
    Trace("end " + std::to_string(exitCode) + " frames " + std::to_string(sRun->frame) + " groups " +
          std::to_string(GroupsLeft()) + " records " + std::to_string(RecordsLeft()));
    ResourceGroupSetObserver(nullptr);
}
