// The drive mode: reading the drive file, the fixed frame step, pressed keys, saved frames and
// the trace.
#include "gamedrive.h"

#include "boardcontroltheme_ingame.h"
#include "gameprofile.h"
#include "gamestate.h"
#include "gamestatemanager.h"
#include "gamestatesaveload.h"
#include "hbcommand.h"
#include "hbexitlist.h"
#include "hbkeyboardcontroller.h"
#include "hbmemoryhook.h"
#include "hbptrlist.h"
#include "hbuserfolder.h"
#include "hero.h"
#include "herohudaccess.h"
#include "herostatemachine.h"
#include "missionmanager.h"
#include "resourcegroups.h"
#include "scriptworldmanager.h"
#include "tsactor.h"
#include "tsheroactor.h"
#include "tsinventory.h"
#include "tsmotorskills.h"
#include "tsweaponshoot.h"
#include "w2dlistgraphiccontainer.h"
#include "w2dtextgraphicitem.h"
#include "w3dnode.h"
#include "wrenderer.h"

#include "camera.h"
#include "clump.h"
#include "d3d9testhooks.h"
#include "dinput8testhooks.h"
#include "frame.h"
#include "geometry.h"
#include "hierarchy.h"
#include "image.h"
#include "raster.h"
#include "rdmodel.h"
#include "rdnameidtable.h"
#include "scriptworldmanager.h"
#include "skin.h"
#include "tsanimactor.h"
#include "tsweaponshoot.h"
#include "w3danimobject.h"
#include "w3dcamera.h"
#include "w3dcollision.h"
#include "w3dlevel.h"
#include "win32testhooks.h"
#include "wscene.h"

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

// The mouse's buttons reach the game as the window system's button events, in the same key
// state as the keys; the keyboard's names do not know them.
int32_t MouseButtonCode(const std::string& name)
{
    const std::pair<const char*, int32_t> buttons[] = {
        {"VK_LBUTTON", 0x01}, {"VK_RBUTTON", 0x02}, {"VK_MBUTTON", 0x04}};
    for (const auto& [button, code] : buttons)
        if (name == button)
            return code;
    return -1;
}

void Press(int32_t code, bool down)
{
    Win32TestKeyEvent(uint8_t(code), down);
}

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
    uint64_t newsTraced = 0;        ///< the operator new count the last memory line ended at
};

Run* sRun = nullptr;
std::atomic<uint64_t> sAllocations{0};

void CountAllocation()
{
    sAllocations.fetch_add(1, std::memory_order_relaxed);
}

// Operator new on the main thread; the display and sound libraries' own threads are not the
// frame's work.
std::atomic<uint64_t> sNews{0};
std::atomic<bool> sCountNews{false};
thread_local bool tDriveThread = false;

// Frames a state's timing holds at most; later frames of a longer visit are not timed.
constexpr size_t kTimedFrames = 1 << 18;

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
    constexpr const char* kEvents =
        "an event is \"key <name>\", \"hold <name> <frames>\", \"mouse <dx> <dy>\", "
        "\"save <name>\", \"memory\", \"hero\", \"actors\", \"scene\" or \"command <console line>\"";
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
        event.keyCode = MouseButtonCode(event.name);
        if (event.keyCode < 0)
            event.keyCode = keys.GetKeyCode(event.name.c_str());
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
    else if (kind == "hero" && arguments == 0)
        event.kind = GameDriveEvent::kHero;
    else if (kind == "command" && arguments > 0)
    {
        event.kind = GameDriveEvent::kCommand;
        for (size_t i = next + 1; i < words.size(); ++i)
            event.name += (i > next + 1 ? " " : "") + words[i];
    }
    else if (kind == "scene" && arguments == 0)
        event.kind = GameDriveEvent::kScene;
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

// A firearm's "<rounds> <magazines>" as the head-up display reads them; "-1 -1" for anything else.
std::string FirearmCounts(TsActor* weapon)
{
    WeaponDisplayData data;
    data.rounds = data.magazines = -1;
    if (weapon && !HeroHudAccess::Get()->GetWeaponDisplayData(weapon, &data))
        if (auto* shoot = HbCastTo<TsWeaponShoot>(weapon))
        {
            data.rounds = shoot->mMagazine;
            data.magazines = shoot->mStock;
        }
    return std::to_string(data.rounds) + " " + std::to_string(data.magazines);
}

// "hero frame <f> state <s> hit_points <h> of <max> item <name> rounds <r> magazines <m> weapons
// [<name> <rounds> <magazines>]... equipment [<name> <rounds> <magazines>]...", or "hero frame <f>
// none" without a hero.
void TraceHero()
{
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    TsActor* hero = world ? world->GetHero() : nullptr;
    std::string line = "hero frame " + std::to_string(sRun->frame);
    if (!hero)
    {
        Trace(line + " none");
        return;
    }
    HeroHudAccess* access = HeroHudAccess::Get();
    auto* item = HbCastTo<TsInventoryItem>(access->GetItemInHand(hero));
    const std::string counts = FirearmCounts(item ? item->GetActor() : nullptr);
    line += " state " + std::to_string(access->GetHeroStateId(hero)) + " hit_points " +
            std::to_string(access->GetHitPoints(hero)) + " of " + std::to_string(access->GetMaxHitPoints(hero)) +
            " item " + (item ? item->mName : std::string("none")) + " rounds " + counts.substr(0, counts.find(' ')) +
            " magazines " + counts.substr(counts.find(' ') + 1) + " weapons";
    auto list = [&line](TsInventory* items)
    {
        for (int32_t i = 0; items && i < items->GetCount(); ++i)
            if (TsInventoryItem* entry = items->GetItem(i))
                line += " " + entry->mName + " " + FirearmCounts(entry->GetActor());
    };
    list(HbCastTo<TsInventory>(access->GetWeaponList(hero)));
    line += " equipment";
    auto* full = HbCastTo<Hero>(hero);
    list(full ? full->GetEquipment() : nullptr);
    Trace(line);
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

// ---- Actors --------------------------------------------------------------------------------

Vector Transform(const Matrix& m, const Vector& p)
{
    return {p.x * m.right.x + p.y * m.up.x + p.z * m.at.x + m.pos.x,
            p.x * m.right.y + p.y * m.up.y + p.z * m.at.y + m.pos.y,
            p.x * m.right.z + p.y * m.up.z + p.z * m.at.z + m.pos.z};
}

/// A hierarchy node's world matrix as the skin is drawn with it.
const Matrix* NodeWorld(Hierarchy* h, int32_t index)
{
    if (index < 0 || index >= h->nodeCount)
        return nullptr;
    if (h->matrices && !(h->flags & kHierarchyLocalSpace))
        return &h->matrices[index];
    Frame* frame = h->nodes[index].frame;
    return frame ? Frame::GetWorldMatrix(frame) : nullptr;
}

/// The height of the model's lowest skinned vertex as posed now; false without a skin.
bool LowestVertex(W3dAnimObject* model, float* lowest)
{
    RdModel* rd = model->GetMotor().GetModel();
    Clump* clump = rd ? rd->GetClump() : nullptr;
    Hierarchy* h = rd ? rd->GetHierarchy() : nullptr;
    if (!clump || !h)
        return false;
    struct Walk
    {
        Hierarchy* h;
        float lowest;
        bool found;
    } walk = {h, 0.0f, false};
    Clump::ForAllAtomics(
        clump,
        [](Atomic* atomic, void* data) -> Atomic*
        {
            auto* w = static_cast<Walk*>(data);
            Geometry* g = atomic->geometry;
            const Skin* skin = g ? SkinGeometry::GetSkin(g) : nullptr;
            if (!skin || g->numMorphTargets < 1 || !skin->vertexBoneIndices || !skin->vertexWeights)
                return atomic;
            const int32_t count = std::min(g->numVertices, skin->vertexCount);
            for (int32_t v = 0; v < count; ++v)
            {
                Vector sum = {0, 0, 0};
                for (int32_t k = 0; k < 4; ++k)
                {
                    const int32_t b = int32_t((skin->vertexBoneIndices[v] >> (8 * k)) & 0xFF);
                    const float weight = skin->vertexWeights[4 * v + k];
                    const Matrix* world = weight != 0.0f && b < skin->boneCount ? NodeWorld(w->h, b) : nullptr;
                    if (!world)
                        continue;
                    const Vector p =
                        Transform(*world, Transform(skin->inverseMatrices[b], g->morphTargets[0].positions[v]));
                    sum = {sum.x + weight * p.x, sum.y + weight * p.y, sum.z + weight * p.z};
                }
                if (!w->found || sum.y < w->lowest)
                    w->lowest = sum.y;
                w->found = true;
            }
            return atomic;
        },
        &walk);
    *lowest = walk.lowest;
    return walk.found;
}

std::string Number1(float value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", double(value));
    return text;
}

void TraceActor(TsActor* actor, Camera* camera)
{
    auto* animated = HbCastTo<TsAnimActor>(actor);
    auto* model = animated ? HbCastTo<W3dAnimObject>(animated->GetNode()) : nullptr;
    if (!model)
        return;
    const Vector at = *model->GetWorldPosition();
    std::string line = "actor " + (actor->GetName().empty() ? std::string("?") : actor->GetName()) + " frame " +
                       std::to_string(sRun->frame) + " at " + Number1(at.x) + " " + Number1(at.y) + " " + Number1(at.z);
    float feet = at.y;
    const bool skinned = LowestVertex(model, &feet);
    line += " feet " + (skinned ? Number1(feet) : std::string("none"));
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    WScene* scene = world ? world->GetScene() : nullptr;
    W3dLevel* level = scene ? scene->GetLevel() : nullptr;
    const Vector above = {at.x, feet + 100.0f, at.z}, below = {at.x, feet - 200.0f, at.z};
    W3dCollisionResult hit{};
    if (level && CollisionTestLine(level, &above, &below, model, nullptr, &hit, nullptr))
        line += " ground " + Number1(above.y + (below.y - above.y) * hit.distance);
    else
        line += " ground none";
    line += " hp " + std::to_string(actor->mHitPoints);
    const auto* gun = HbCastTo<TsWeaponShoot>(animated->GetWeapon());
    line += " ammo " + (gun ? std::to_string(gun->mMagazine) : std::string("none"));
    // The chest as drawn (asking the motor for a bone frame would reset that frame); the view
    // matrix takes a point to (x z, y z, z) with x and y the frame's fractions.
    Vector centre = at;
    NameIdTable* bones = NameIdTable::Bones();
    const int32_t chestId = bones ? bones->FindIdByName("Upper_Torso") : 0;
    RdModel* rd = model->GetMotor().GetModel();
    if (Hierarchy* h = rd ? rd->GetHierarchy() : nullptr)
        for (int32_t i = 0; i < h->nodeCount; ++i)
            if (h->nodes[i].nodeId == chestId && chestId != 0)
                if (const Matrix* m = NodeWorld(h, i))
                    centre = m->pos;
    const Vector view = camera ? Transform(camera->viewMatrix, centre) : Vector{0, 0, 0};
    Raster* raster = camera ? camera->frameBuffer : nullptr;
    if (raster && view.z > 0.0f)
        line += " screen " + Number1(view.x / view.z * float(raster->width)) + " " +
                Number1(view.y / view.z * float(raster->height));
    else
        line += " screen off";
    Trace(line);
}

void TraceActors()
{
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    if (!world)
    {
        Trace("actors frame " + std::to_string(sRun->frame) + ": no script world");
        return;
    }
    WRenderer* renderer = WRenderer::Existing();
    W3dCamera* node = renderer ? renderer->GetValidCamera() : nullptr;
    Camera* camera = node ? node->GetCamera() : nullptr;
    TsActor* hero = world->GetHero();
    if (hero)
        TraceActor(hero, camera);
    for (HbPtrListNode* node = world->GetActors().GetHead(); node; node = node->next)
        if (auto* actor = static_cast<TsActor*>(node->value); actor && actor != hero)
            TraceActor(actor, camera);
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
    const uint64_t news = sNews.load(std::memory_order_relaxed) - sRun->newsTraced;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const long resident = ResidentKb();
    Trace("memory frame " + std::to_string(sRun->frame) + " rss_kb " + std::to_string(resident) + " peak_kb " +
          std::to_string(usage.ru_maxrss) + " allocations " + std::to_string(allocations) + " new " +
          std::to_string(news));
    sRun->allocationsTraced = sAllocations.load(std::memory_order_relaxed);
    sRun->newsTraced = sNews.load(std::memory_order_relaxed);
}

int32_t TraceSceneActor(TsActor* actor, void*, void*)
{
    // Built as a string: an actor's name comes from a script and may be of any length.
    std::string line = "actor " + actor->GetName() + " hp " + std::to_string(actor->mHitPoints);
    W3dNode* node = actor->GetNode();
    if (const Vector* at = node ? node->GetWorldPosition() : nullptr)
    {
        char place[96];
        std::snprintf(place, sizeof(place), " at %.0f %.0f %.0f", double(at->x), double(at->y), double(at->z));
        line += place;
    }
    else
        line += " at -";
    const TsMotorSkills* skills = actor->GetMotorSkills();
    if (const char* skill = skills ? skills->GetCurrentSkillName() : nullptr)
        line += std::string(" skill ") + skill;
    const auto* hero = HbCastTo<TsHeroActor>(actor);
    if (const HeroStateMachine* machine = hero ? hero->GetStateMachine() : nullptr)
        line += " state " + std::to_string(machine->GetCurrentCode());
    Trace(line);
    return 1;
}

// Every listed actor's hit points and place, then the profile's objective flags.
void TraceScene()
{
    Trace("scene frame " + std::to_string(sRun->frame));
    if (ScriptWorldManager* world = ScriptWorldManager::Instance())
        world->ForEachActor(TraceSceneActor, nullptr, nullptr);
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
        {
            HbSetAllocationHook(CountAllocation);
            tDriveThread = true;
            sCountNews.store(true, std::memory_order_relaxed);
        }
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
        else if (Due(event, GameDriveEvent::kCommand))
        {
            HbCommandManager* commands = HbCommandManager::Instance();
            const int answer = commands ? commands->ExecuteLine(event.name.c_str()) : -1;
            Trace("command " + event.name + " frame " + std::to_string(sRun->frame) + " answer " +
                  std::to_string(answer));
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
        else if (Due(event, GameDriveEvent::kHero))
            TraceHero();
    for (const GameDriveEvent& event : sRun->script.events)
        if (Due(event, GameDriveEvent::kActors))
            TraceActors();
        else if (Due(event, GameDriveEvent::kScene))
            TraceScene();
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

void GameDriveNoteNew()
{
    if (sCountNews.load(std::memory_order_relaxed) && tDriveThread)
        sNews.fetch_add(1, std::memory_order_relaxed);
}

void GameDriveEnd(int exitCode)
{
    if (!sRun)
        return;
    TraceTiming();
    HbSetAllocationHook(nullptr);
    sCountNews.store(false, std::memory_order_relaxed);
    HbSetFileReplaceHook(nullptr);
    Trace("end " + std::to_string(exitCode) + " frames " + std::to_string(sRun->frame) + " groups " +
          std::to_string(GroupsLeft()) + " records " + std::to_string(RecordsLeft()));
    ResourceGroupSetObserver(nullptr);
}
