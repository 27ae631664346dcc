// The drive mode: reading the drive file, the fixed frame step, pressed keys, saved frames and
// the trace.
#include "gamedrive.h"

#include "gamestate.h"
#include "gamestatemanager.h"
#include "gamestatesaveload.h"
#include "hbexitlist.h"
#include "hbkeyboardcontroller.h"
#include "hbptrlist.h"
#include "resourcegroups.h"
#include "wrenderer.h"

#include "camera.h"
#include "d3d9testhooks.h"
#include "image.h"
#include "raster.h"
#include "win32testhooks.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

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
};

Run* sRun = nullptr;

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
        if (words.size() != 2 || words[1] != "adapter")
            return "the only fault is \"adapter\"";
        script->adapterFault = true;
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
    if (words.size() != next + 2)
        return "an event is \"key <name>\" or \"save <name>\"";
    event.name = words[next + 1];
    if (words[next] == "key")
    {
        event.kind = GameDriveEvent::kKey;
        event.keyCode = keys.GetKeyCode(event.name.c_str());
        if (event.keyCode < 0)
            return "unknown key \"" + event.name + "\"";
    }
    else if (words[next] == "save")
    {
        event.kind = GameDriveEvent::kSave;
        if (event.name.find_first_of("/\\") != std::string::npos || event.name == "." || event.name == "..")
            return "a frame's name is a file name without a folder";
    }
    else
        return "an event is \"key <name>\" or \"save <name>\"";
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
    for (const GameDriveEvent& event : sRun->script.events)
        if (Due(event, GameDriveEvent::kKey))
        {
            // Down and up before the frame reads the keys: it sees one press.
            Win32TestKeyEvent(uint8_t(event.keyCode), true);
            Win32TestKeyEvent(uint8_t(event.keyCode), false);
            Trace("key " + event.name + " frame " + std::to_string(sRun->frame));
        }
}

void GameDriveAfterFrame()
{
    if (!sRun)
        return;
    GameStateManager* manager = GameStateManager::Existing();
    GameState* state = manager ? manager->GetCurrentState() : nullptr;
    const int32_t id = state ? state->GetId() : -1;
    for (const GameDriveEvent& event : sRun->script.events)
        if (Due(event, GameDriveEvent::kSave))
        {
            const std::string failed = SaveFrame(event.name);
            Trace((failed.empty() ? "saved " + event.name : "save " + event.name + " failed: " + failed) + " frame " +
                  std::to_string(sRun->frame));
        }
    if (id != sRun->state)
    {
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
    Trace("end " + std::to_string(exitCode) + " frames " + std::to_string(sRun->frame) + " groups " +
          std::to_string(GroupsLeft()) + " records " + std::to_string(RecordsLeft()));
    ResourceGroupSetObserver(nullptr);
}
