// The head-up display, level, data, progress and random functions of the module "scenaric":
// the in-game display of the key-hint bar, loading the level and its data, the profile's
// sector and objectives, command scripts, event-box re-checks at a mark, ambush marks and
// the engine's random numbers.
#include "boardcontrol.h"
#include "boardcontroltheme_ingame.h"
#include "eboxcontract.h"
#include "engine.h"
#include "gameprofile.h"
#include "gameservices.h"
#include "gamestate.h"
#include "gamestatemanager.h"
#include "hbcommand.h"
#include "hbptr.h"
#include "hbresource.h"
#include "random.h"
#include "scenaricmodule.h"
#include "scenario_local.h"
#include "scriptworldmanager.h"
#include "tsactor.h"
#include "tsmarksystem.h"
#include "tsscenaricmarks.h"
#include "w3dnode.h"
#include "wscene.h"
#include "wvectorutil.h"

#include <cmath>
#include <string>

namespace
{
ScriptWorldManager* World()
{
    return ScriptWorldManager::Instance();
}

GameState* CurrentState()
{
    GameStateManager* manager = GameStateManager::Existing();
    return manager ? manager->GetCurrentState() : nullptr;
}

GameProfile* CurrentProfile()
{
    GameState* state = CurrentState();
    return state ? state->GetProfile() : nullptr;
}

YoScenaricMark* FindMark(const char* name)
{
    auto* marks = World() ? HbCastTo<TsMarkSystem>(World()->GetMarkSystem()) : nullptr;
    return marks && name ? marks->FindMark(name) : nullptr;
}

// ---- Head-up display -----------------------------------------------------------------------------

BoardControl* Bar()
{
    GameServices& services = GameServicesTable();
    return services.keyHintBar ? services.keyHintBar() : nullptr;
}

BoardControlTheme_InGame* InGame()
{
    BoardControl* bar = Bar();
    return bar ? HbCastTo<BoardControlTheme_InGame>(bar->GetTheme(BoardControlTheme_InGame::kThemeId)) : nullptr;
}

PyObject* ShowInGameBoardControl(PyObject*, PyObject*)
{
    if (BoardControl* bar = Bar())
        bar->PushTheme(BoardControlTheme_InGame::kThemeId);
    Py_RETURN_NONE;
}

PyObject* SetBoardControlAlarm(PyObject*, PyObject* args)
{
    int on = 0;
    if (!PyArg_ParseTuple(args, "i:SetBoardControlAlarm", &on))
        return nullptr;
    if (BoardControlTheme_InGame* theme = InGame())
        theme->SetAlarm(on ? 1 : 0);
    Py_RETURN_NONE;
}

PyObject* DisplayNewItem(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    if (!PyArg_ParseTuple(args, "O:DisplayNewItem", &object))
        return nullptr;
    TsActor* actor = ScenaricActorArg(object, "DisplayNewItem");
    if (!actor)
        return nullptr;
    if (BoardControlTheme_InGame* theme = InGame())
        theme->QueueObjectDisplay(actor);
    Py_RETURN_NONE;
}

PyObject* DrawBossHitPoints(PyObject*, PyObject* args)
{
    const char* texture = nullptr;
    float fraction = 0.0f;
    if (!PyArg_ParseTuple(args, "sf:DrawBossHitPoints", &texture, &fraction))
        return nullptr;
    if (BoardControlTheme_InGame* theme = InGame())
        theme->DrawBossHitPoints(texture, fraction);
    Py_RETURN_NONE;
}

PyObject* LogMessage(PyObject*, PyObject* args)
{
    const char* text = nullptr;
    if (!PyArg_ParseTuple(args, "s:LogMessage", &text))
        return nullptr;
    if (BoardControlTheme_InGame* theme = InGame())
        theme->LogMessage(text);
    Py_RETURN_NONE;
}

PyObject* LogMessageFromResource(PyObject*, PyObject* args)
{
    const char* id = nullptr;
    if (!PyArg_ParseTuple(args, "s:LogMessageFromResource", &id))
        return nullptr;
    if (BoardControlTheme_InGame* theme = InGame())
    {
        // Held for the call: the look-up may load resources.
        theme->AddRef();
        theme->LogMessageFromResource(id);
        theme->HbRoot::Release();
    }
    Py_RETURN_NONE;
}

PyObject* Print(PyObject*, PyObject* args)
{
    const char* text = nullptr;
    if (!PyArg_ParseTuple(args, "s:Print", &text))
        return nullptr;
    Py_RETURN_NONE;
}

PyObject* Filelog(PyObject*, PyObject* args)
{
    const char* file = nullptr;
    const char* text = nullptr;
    if (!PyArg_ParseTuple(args, "ss:Filelog", &file, &text))
        return nullptr;
    Py_RETURN_NONE;
}

// ---- Level and data -------------------------------------------------------------------------------

PyObject* LoadLevel(PyObject*, PyObject* args)
{
    const char* id = nullptr;
    if (!PyArg_ParseTuple(args, "s:LoadLevel", &id))
        return nullptr;
    ScriptWorldManager* world = World();
    if (!world)
        return PyLong_FromLong(0);
    WScene* scene = world->GetScene();
    if (scene && scene->GetLevel())
    {
        // One frame of the level being left, drawn while the new one loads.
        GameServices& services = GameServicesTable();
        services.rendererBeginFrame();
        HbHandlePtr handle;
        GameStateManager* manager = GameStateManager::Existing();
        if (manager && manager->GetLevelHandle(&handle) && handle.GetObject())
            services.rendererRenderScene();
        services.rendererEndFrame();
    }
    return PyLong_FromLong(world->LoadLevel(id));
}

template <int32_t (ScriptWorldManager::*Load)(const char*)> PyObject* LoadData(PyObject* args, const char* format)
{
    const char* id = nullptr;
    if (!PyArg_ParseTuple(args, format, &id))
        return nullptr;
    ScriptWorldManager* world = World();
    return PyLong_FromLong(world ? (world->*Load)(id) : 0);
}

PyObject* LoadAStar(PyObject*, PyObject* args)
{
    return LoadData<&ScriptWorldManager::LoadAStar>(args, "s:LoadAStar");
}

PyObject* LoadScenaricData(PyObject*, PyObject* args)
{
    return LoadData<&ScriptWorldManager::LoadScenaricData>(args, "s:LoadScenaricData");
}

PyObject* LoadEventBoxes(PyObject*, PyObject* args)
{
    return LoadData<&ScriptWorldManager::LoadEventBoxes>(args, "s:LoadScenaricData");
}

PyObject* LoadCinematicSplines(PyObject*, PyObject* args)
{
    return LoadData<&ScriptWorldManager::LoadCinematicSplines>(args, "s:LoadCinematicSplines");
}

PyObject* CreateCameras(PyObject*, PyObject*)
{
    GameState* state = CurrentState();
    if (!state)
        return ScenaricFail("CreateCameras : Current Gamestate not define !");
    state->CreateCameras();
    Py_RETURN_NONE;
}

PyObject* GetStartMark(PyObject*, PyObject*)
{
    GameProfile* profile = CurrentProfile();
    if (!profile)
        Py_RETURN_NONE;
    return PyUnicode_FromString(profile->startMark.c_str());
}

/// Characters [begin, end) of a sector id long enough to hold them, else "".
std::string SectorPart(const std::string& id, size_t begin, size_t end)
{
    return id.size() >= end ? id.substr(begin, end - begin) : std::string();
}

PyObject* GetSectorID(PyObject*, PyObject*)
{
    GameProfile* profile = CurrentProfile();
    if (!profile)
        Py_RETURN_NONE;
    const std::string& id = profile->sectorId;
    return Py_BuildValue("(sss)", SectorPart(id, 0, 2).c_str(), SectorPart(id, 2, 4).c_str(),
                         SectorPart(id, 4, 7).c_str());
}

PyObject* GetDifficultyLevel(PyObject*, PyObject*)
{
    GameProfile* profile = CurrentProfile();
    return PyLong_FromLong(profile ? profile->missionTable.words[MissionTable::kDifficulty] : 0);
}

PyObject* LaunchObjectiveSuccess(PyObject*, PyObject* args)
{
    const char* name = nullptr;
    if (!PyArg_ParseTuple(args, "s:LaunchObjectiveSuccess", &name))
        return nullptr;
    GameProfile* profile = CurrentProfile();
    if (!profile)
        Py_RETURN_NONE;
    MissionManager& missions = profile->GetMissions();
    int32_t objective = -1, action = -1;
    // The indexes come from mission files: both ends are checked before they are used.
    if (missions.FindActionByName(profile->sectorId.c_str(), name, &objective, &action) && objective >= 0 &&
        objective < MissionManager::kMaxObjectives && action >= 0 && action < MissionManager::kMaxActions)
        missions.CompleteAction(objective, action);
    Py_RETURN_NONE;
}

PyObject* RunScript(PyObject*, PyObject* args)
{
    const char* id = nullptr;
    if (!PyArg_ParseTuple(args, "s:RunScript", &id))
        return nullptr;
    HbResourceManager* resources = HbResourceManager::Instance();
    const std::string path = resources ? resources->GetPath(id) : "";
    if (path.empty())
        return ScenaricFail("RunScript : Script file not found !");
    if (HbCommandManager* commands = HbCommandManager::Instance())
        commands->ExecuteLine(("execute " + path).c_str());
    Py_RETURN_NONE;
}

PyObject* HasChangeBhvCallBack(PyObject*, PyObject* args)
{
    const char* name = nullptr;
    if (!PyArg_ParseTuple(args, "s:HasChangeBhvCallBack", &name))
        return nullptr;
    YoScenaricMark* mark = FindMark(name);
    auto* boxes = World() ? HbCastTo<YoEBox>(World()->GetEventBoxes()) : nullptr;
    if (!mark || !boxes)
        Py_RETURN_NONE;
    EBoxActorBits* bits = EBoxActorBitsNew();
    if (!bits)
        Py_RETURN_NONE;
    const Vector& at = mark->GetPosition();
    const float position[3] = {at.x, at.y, at.z};
    // Held for the test: a box's actions may load another set.
    boxes->AddRef();
    EBoxTestActor(boxes->GetIndexId(), position, bits, EBoxOnInside, EBoxOnEnter, EBoxOnLeave, boxes, nullptr);
    boxes->Release();
    EBoxActorBitsFree(bits);
    Py_RETURN_NONE;
}

PyObject* IsLockedMarkValidForCombat(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    const char* name = nullptr;
    PyObject* enemy = nullptr;
    PyObject* vertex = nullptr;
    int kind = 0;
    float radius = 0.0f;
    if (!PyArg_ParseTuple(args, "OsOOif:IsLockedMarkValidForCombat", &object, &name, &enemy, &vertex, &kind, &radius))
        return nullptr;
    W3dNode* node = ScenaricNodeArg(object, "IsLockedMarkValidForCombat");
    if (!node)
        return nullptr;
    YoScenaricMark* mark = FindMark(name);
    if (!mark)
        return ScenaricFail("IsLockedMarkValidForCombat : Mark not found");
    if (mark->GetKind() != kind)
        return PyLong_FromLong(0);
    const Vector& at = mark->GetPosition();
    const Vector* from = node->GetWorldPosition();
    const float dx = from->x - at.x, dz = from->z - at.z;
    if (!(std::sqrt(dx * dx + dz * dz) < radius))
        return PyLong_FromLong(0);
    Vector target = {0, 0, 0};
    TsActor* enemyActor = ScenaricGetBoundActor(enemy);
    W3dNode* enemyNode = enemyActor ? enemyActor->GetNode() : nullptr;
    if (enemyNode)
        target = *enemyNode->GetWorldPosition();
    else if (!ScenaricVertexOf(vertex, &target))
        target = {0, 0, 0};
    Vector direction = {target.x - at.x, 0.0f, target.z - at.z};
    const Vector facing = mark->mMatrix.at;
    const float angle = VectorPlanarAngle(&facing, &direction, nullptr);
    auto* ambush = HbCastTo<AmbushMark>(mark);
    if (!ambush)
        return PyLong_FromLong(0);
    int32_t valid = 0;
    switch (ambush->mAmbushMode)
    {
    case 0:
    case 1:
        valid = std::fabs(angle) < 45.0f;
        break;
    case 2:
        valid = angle > 0.0f && angle < 45.0f;
        break;
    case 3:
        valid = angle > -45.0f && angle < 0.0f;
        break;
    case 4:
        valid = 1;
        break;
    default:
        valid = 0;
    }
    return PyLong_FromLong(valid);
}

PyObject* Zero(PyObject*, PyObject*)
{
    return PyLong_FromLong(0);
}

// ---- Random numbers ---------------------------------------------------------------------------------

/// u in [0, 0.5) from the engine's generator; 0 while the engine is not started.
double Uniform()
{
    if (Random::GetEngineOffset() < 0 || !Engine::Current())
        return 0.0;
    return double(Random::Next() & 0x7FFFFFFFu) / 4294967296.0;
}

PyObject* GetIntegerRandom(PyObject*, PyObject* args)
{
    int n = 0;
    if (!PyArg_ParseTuple(args, "i:GetIntegerRandom", &n))
        return nullptr;
    return PyLong_FromLong(long(std::floor(Uniform() * 2.0 * double(n))));
}

PyObject* GetUniformRandom(PyObject*, PyObject* args)
{
    float f = 0.0f;
    if (!PyArg_ParseTuple(args, "f:GetUniformRandom", &f))
        return nullptr;
    return PyFloat_FromDouble(double(float(Uniform() * 2.0 * double(f))));
}

PyObject* GetGaussianRandom(PyObject*, PyObject* args)
{
    float a = 0.0f, b = 0.0f;
    if (!PyArg_ParseTuple(args, "ff:GetGaussianRandom", &a, &b))
        return nullptr;
    return PyFloat_FromDouble(double(a + float(Uniform() * 2.0 * double(b))));
}

PyMethodDef gMethods[] = {
    {"ShowInGameBoardControl", ShowInGameBoardControl, METH_VARARGS, ""},
    {"SetBoardControlAlarm", SetBoardControlAlarm, METH_VARARGS, ""},
    {"DisplayNewItem", DisplayNewItem, METH_VARARGS, ""},
    {"DrawBossHitPoints", DrawBossHitPoints, METH_VARARGS, ""},
    {"LogMessage", LogMessage, METH_VARARGS, ""},
    {"LogMessageFromResource", LogMessageFromResource, METH_VARARGS, ""},
    {"Print", Print, METH_VARARGS, ""},
    {"Filelog", Filelog, METH_VARARGS, ""},
    {"LoadLevel", LoadLevel, METH_VARARGS, ""},
    {"LoadAStar", LoadAStar, METH_VARARGS, ""},
    {"LoadScenaricData", LoadScenaricData, METH_VARARGS, ""},
    {"LoadEventBoxes", LoadEventBoxes, METH_VARARGS, ""},
    {"LoadCinematicSplines", LoadCinematicSplines, METH_VARARGS, ""},
    {"CreateCameras", CreateCameras, METH_VARARGS, ""},
    {"GetStartMark", GetStartMark, METH_VARARGS, ""},
    {"GetSectorID", GetSectorID, METH_VARARGS, ""},
    {"GetDifficultyLevel", GetDifficultyLevel, METH_NOARGS, ""},
    {"LaunchObjectiveSuccess", LaunchObjectiveSuccess, METH_VARARGS, ""},
    {"RunScript", RunScript, METH_VARARGS, ""},
    {"HasChangeBhvCallBack", HasChangeBhvCallBack, METH_VARARGS, ""},
    {"IsLockedMarkValidForCombat", IsLockedMarkValidForCombat, METH_VARARGS, ""},
    {"IsDebugMode", Zero, METH_NOARGS, ""},
    {"GetPlatformId", Zero, METH_NOARGS, ""},
    {"GetIntegerRandom", GetIntegerRandom, METH_VARARGS, ""},
    {"GetUniformRandom", GetUniformRandom, METH_VARARGS, ""},
    {"GetGaussianRandom", GetGaussianRandom, METH_VARARGS, ""},
    {nullptr, nullptr, 0, nullptr},
};
} // namespace

PyMethodDef* ScenaricLevelMethods()
{
    return gMethods;
}
