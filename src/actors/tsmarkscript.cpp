// The script modules' questions about marks and paths: the module mark's functions on one
// mark by name, the module path's functions on the marks of a named path, and the module
// marktype's kind constants. Every name is looked up in the script world's mark system.
#include "camera.h"
#include "hbclock.h"
#include "hbrandom.h"
#include "scriptvertex.h"
#include "scriptworldmanager.h"
#include "tscamera.h"
#include "tscameraregistry.h"
#include "tsmarksystem.h"
#include "tsscenaricdatabase.h"
#include "tsscenaricmarks.h"
#include "w3dcamera.h"
#include "w3dcollision.h"
#include "w3dlevel.h"
#include "wrenderer.h"
#include "wscene.h"
#include "yoscenaricmark.h"

#include <Python.h>

#include <cmath>
#include <string>

void TsMarkScriptFill(PyObject* mark, PyObject* path, PyObject* marktype);

namespace
{
/// Marks and paths are seen this far above their point: an actor's eyes.
constexpr float kViewHeight = 150.0f;
constexpr float kSightHeight = 140.0f;
/// GetRespawnMark's sphere around a mark tested against the view.
constexpr float kRespawnRadius = 100.0f;
/// The side step of an ambush mark's eye, and how far from the target its sight line starts.
constexpr float kAmbushSideStep = 100.0f;
constexpr float kTargetClearance = 100.0f;
/// A mark lying beyond the target within this cosine of its direction is behind it.
constexpr float kBeyondCosine = 0.9f;
/// The smallest alignment of an ambush mark with the direction to the ambush point.
constexpr float kAmbushFacing = 0.7f;
/// The most free search marks GetARandomSearchMark chooses among.
constexpr int32_t kMaxSearchMarks = 100;

YoScenaricDataBase* Database()
{
    TsMarkSystem* system = TsGetMarkSystem();
    return system ? system->GetDatabase() : nullptr;
}

YoScenaricMark* FindMark(const char* name)
{
    YoScenaricDataBase* database = Database();
    return database && name ? database->FindMark(name) : nullptr;
}

/// The mark, or null with the TypeError "<before><name><after>" set.
YoScenaricMark* MarkOrRaise(const char* name, const char* before, const char* after)
{
    YoScenaricMark* mark = FindMark(name);
    if (!mark)
        PyErr_SetString(PyExc_TypeError, (before + std::string(name) + after).c_str());
    return mark;
}

/// The path, or null with the TypeError "The path <name> not found!\n" set.
YoScenaricPath* PathOrRaise(const char* name)
{
    YoScenaricDataBase* database = Database();
    YoScenaricPath* path = database && name ? database->FindPath(name) : nullptr;
    if (!path)
        PyErr_SetString(PyExc_TypeError, ("The path " + std::string(name) + " not found!\n").c_str());
    return path;
}

W3dLevel* Level()
{
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    WScene* scene = world ? world->GetScene() : nullptr;
    return scene ? scene->GetLevel() : nullptr;
}

/// The world position of the camera the renderer views through, or null.
const Vector* ViewPosition()
{
    WRenderer* renderer = WRenderer::Instance();
    W3dCamera* camera = renderer ? renderer->GetValidCamera() : nullptr;
    return camera ? camera->GetWorldPosition() : nullptr;
}

/// 1 when the level's static geometry (no object) stops the line.
int32_t StaticWorldBlocks(const Vector& from, const Vector& to)
{
    W3dLevel* level = Level();
    World* world = level ? level->GetCollisionWorld() : nullptr;
    if (!world)
        return 0;
    W3dCollisionResult result;
    return CollisionTestLineEx(nullptr, world, &from, &to, nullptr, nullptr, &result, nullptr) ? 1 : 0;
}

Vector Raised(const Vector& v, float height)
{
    return {v.x, v.y + height, v.z};
}

float LengthSquared(const Vector& v)
{
    return v.x * v.x + v.y * v.y + v.z * v.z;
}

Vector Minus(const Vector& a, const Vector& b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

/// The unit vector, or zero for a zero vector.
Vector Unit(const Vector& v)
{
    const float length = std::sqrt(LengthSquared(v));
    return length > 0.0f ? Vector{v.x / length, v.y / length, v.z / length} : Vector{0.0f, 0.0f, 0.0f};
}

float Dot(const Vector& a, const Vector& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

PyObject* NewVertex(const Vector& v)
{
    return ScriptNewVertex(v.x, v.y, v.z);
}

/// The vertex, or null with "GetMarkPosition : Cannot get mark's position!\n" set.
PyObject* MarkVertex(const Vector& v)
{
    PyObject* vertex = NewVertex(v);
    if (!vertex)
    {
        PyErr_Clear();
        PyErr_SetString(PyExc_TypeError, "GetMarkPosition : Cannot get mark's position!\n");
    }
    return vertex;
}

const Vector& AtOf(const YoScenaricMark* mark)
{
    return mark->mMatrix.at;
}

// ---- Module mark ---------------------------------------------------------------------------------

PyObject* GetMarkAmbushMode(PyObject*, PyObject* args)
{
    const char* name = nullptr;
    if (!PyArg_ParseTuple(args, "s:GetMarkAmbushMode", &name))
        return nullptr;
    YoScenaricMark* mark = MarkOrRaise(name, "The mark ", " not found !");
    if (!mark)
        return nullptr;
    auto* ambush = HbCastTo<AmbushMark>(mark);
    return PyLong_FromLong(ambush ? ambush->mAmbushMode : 0);
}

PyObject* GetMarkPatrolTimer(PyObject*, PyObject* args)
{
    const char* name = nullptr;
    if (!PyArg_ParseTuple(args, "s:GetMarkPatrolTimer", &name))
        return nullptr;
    YoScenaricMark* mark = MarkOrRaise(name, "The mark ", " not found !");
    if (!mark)
        return nullptr;
    auto* patrol = HbCastTo<PatrolMark>(mark);
    const double seconds = patrol ? double(patrol->mPatrolTime) / double(HbPerformanceFrequency()) : 0.0;
    return PyFloat_FromDouble(seconds);
}

/// The respawn mark of the name, or null with the not-found text or, for a mark of another
/// kind, "<function> : the mark <name> is not a respawn mark" set.
RespawnMark* RespawnOrRaise(const char* name, const char* function)
{
    YoScenaricMark* mark = MarkOrRaise(name, "The mark ", " not found !");
    if (!mark)
        return nullptr;
    auto* respawn = HbCastTo<RespawnMark>(mark);
    if (!respawn)
        PyErr_Format(PyExc_TypeError, "%s : the mark %s is not a respawn mark", function, name);
    return respawn;
}

PyObject* IsRespawnMarkUsable(PyObject*, PyObject* args)
{
    const char* name = nullptr;
    int ignoreLimit = 0;
    if (!PyArg_ParseTuple(args, "si:IsRespawnMarkUsable", &name, &ignoreLimit))
        return nullptr;
    RespawnMark* mark = RespawnOrRaise(name, "IsRespawnMarkUsable");
    return mark ? PyLong_FromLong(mark->IsUsable(ignoreLimit)) : nullptr;
}

PyObject* UseRespawnMark(PyObject*, PyObject* args)
{
    const char* name = nullptr;
    int ignoreLimit = 0;
    if (!PyArg_ParseTuple(args, "si:UseRespawnMark", &name, &ignoreLimit))
        return nullptr;
    RespawnMark* mark = RespawnOrRaise(name, "UseRespawnMark");
    if (!mark)
        return nullptr;
    mark->Use(ignoreLimit);
    Py_RETURN_NONE;
}

PyObject* GetMarkPosition(PyObject*, PyObject* args)
{
    const char* name = nullptr;
    if (!PyArg_ParseTuple(args, "s:GetMarkPosition", &name))
        return nullptr;
    YoScenaricMark* mark = MarkOrRaise(name, "Mark ", " not found !\n");
    return mark ? MarkVertex(mark->GetPosition()) : nullptr;
}

PyObject* GetMarkOrientation(PyObject*, PyObject* args)
{
    const char* name = nullptr;
    // Its argument errors name GetMarkPosition, whose format it shares.
    if (!PyArg_ParseTuple(args, "s:GetMarkPosition", &name))
        return nullptr;
    YoScenaricMark* mark = MarkOrRaise(name, "The mark ", " not found !\n");
    return mark ? MarkVertex(AtOf(mark)) : nullptr;
}

PyObject* GetMarkType(PyObject*, PyObject* args)
{
    const char* name = nullptr;
    if (!PyArg_ParseTuple(args, "s:GetMarkType", &name))
        return nullptr;
    YoScenaricMark* mark = MarkOrRaise(name, "The mark ", " not found !\n");
    return mark ? PyLong_FromLong(mark->GetKind()) : nullptr;
}

/// Lock and Unlock share their format, so Unlock's argument errors name Lock. Unlock does not
/// stop at 0: a negative count still counts as free.
template <int32_t Step> PyObject* ChangeLock(PyObject*, PyObject* args)
{
    const char* name = nullptr;
    if (!PyArg_ParseTuple(args, "s:Lock", &name))
        return nullptr;
    YoScenaricMark* mark = MarkOrRaise(name, "The mark ", " not found !\n");
    if (!mark)
        return nullptr;
    mark->mLockCount += Step;
    Py_RETURN_NONE;
}

PyObject* IsLocked(PyObject*, PyObject* args)
{
    const char* name = nullptr;
    if (!PyArg_ParseTuple(args, "s:IsLocked", &name))
        return nullptr;
    YoScenaricMark* mark = MarkOrRaise(name, "The mark ", " not found !");
    return mark ? PyLong_FromLong(mark->mHeld || mark->mLockCount > 0 ? 1 : 0) : nullptr;
}

PyObject* Exist(PyObject*, PyObject* args)
{
    const char* name = nullptr;
    if (!PyArg_ParseTuple(args, "s:Exist", &name))
        return nullptr;
    return PyLong_FromLong(FindMark(name) ? 1 : 0);
}

PyObject* IsVisible(PyObject*, PyObject* args)
{
    const char* name = nullptr;
    if (!PyArg_ParseTuple(args, "s:IsVisible", &name))
        return nullptr;
    YoScenaricMark* mark = MarkOrRaise(name, "The mark ", " not found !");
    if (!mark)
        return nullptr;
    // Nothing views the level: nothing is seen.
    const Vector* eye = ViewPosition();
    return PyLong_FromLong(eye && !StaticWorldBlocks(*eye, Raised(mark->GetPosition(), kViewHeight)) ? 1 : 0);
}

PyMethodDef gMarkFunctions[] = {
    {"GetMarkAmbushMode", GetMarkAmbushMode, METH_VARARGS, nullptr},
    {"GetMarkPatrolTimer", GetMarkPatrolTimer, METH_VARARGS, nullptr},
    {"IsRespawnMarkUsable", IsRespawnMarkUsable, METH_VARARGS, nullptr},
    {"UseRespawnMark", UseRespawnMark, METH_VARARGS, nullptr},
    {"GetMarkPosition", GetMarkPosition, METH_VARARGS, nullptr},
    {"GetMarkOrientation", GetMarkOrientation, METH_VARARGS, nullptr},
    {"GetMarkType", GetMarkType, METH_VARARGS, nullptr},
    {"Lock", ChangeLock<1>, METH_VARARGS, nullptr},
    {"Unlock", ChangeLock<-1>, METH_VARARGS, nullptr},
    {"IsLocked", IsLocked, METH_VARARGS, nullptr},
    {"Exist", Exist, METH_VARARGS, nullptr},
    {"IsVisible", IsVisible, METH_VARARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

// ---- Module path: the marks of a path in order -----------------------------------------------------

/// A tuple of one item per mark of the path, in order; null with the error set.
template <typename Item> PyObject* PathTuple(PyObject* args, Item item)
{
    const char* name = nullptr;
    // The three share GetPathMark's format, and so its argument errors.
    if (!PyArg_ParseTuple(args, "s:GetPathMark", &name))
        return nullptr;
    YoScenaricPath* path = PathOrRaise(name);
    if (!path)
        return nullptr;
    PyObject* tuple = PyTuple_New(path->mMarks.GetCount());
    for (int32_t i = 0; tuple && i < path->mMarks.GetCount(); ++i)
    {
        PyObject* value = item(static_cast<YoScenaricMark*>(path->mMarks[i]));
        if (!value)
        {
            Py_DECREF(tuple);
            return nullptr;
        }
        PyTuple_SET_ITEM(tuple, i, value);
    }
    return tuple;
}

PyObject* GetPathMark(PyObject*, PyObject* args)
{
    return PathTuple(args, [](YoScenaricMark* mark) { return PyUnicode_FromString(mark->mName.c_str()); });
}

PyObject* GetPathMarkPosition(PyObject*, PyObject* args)
{
    return PathTuple(args, [](YoScenaricMark* mark) { return NewVertex(mark->GetPosition()); });
}

PyObject* GetPathMarkOrientation(PyObject*, PyObject* args)
{
    return PathTuple(args, [](YoScenaricMark* mark) { return NewVertex(AtOf(mark)); });
}

// ---- GetNearestMarkFromPos ------------------------------------------------------------------------------

/// The optional tests of the nearest-mark search, read from its arguments.
struct NearestTests
{
    bool distance = false;
    Vector centre = {};
    float minimum = 0.0f;
    float maximum = 0.0f;
    bool target = false;
    Vector actor = {};
    Vector targetAt = {};
    float targetMinimum = 0.0f;
    bool ambush = false;
    Vector ambushPoint = {};
};

Vector VertexValue(PyObject* object)
{
    const auto* v = reinterpret_cast<ScriptVertex*>(object);
    return {v->x, v->y, v->z};
}

/// The vertex's value into out; false with a TypeError naming what it is when it is not one.
bool ReadVertex(PyObject* object, const char* what, Vector* out)
{
    if (!ScriptIsVertex(object))
    {
        PyErr_Format(PyExc_TypeError, "GetNearestMarkFromPos : %s must be a vertex", what);
        return false;
    }
    *out = VertexValue(object);
    return true;
}

/// None, or a tuple of the format; false with the error set.
bool ReadTests(PyObject* distance, PyObject* target, PyObject* ambush, NearestTests* tests)
{
    if (distance != Py_None)
    {
        PyObject* centre = nullptr;
        if (!PyTuple_Check(distance))
        {
            PyErr_SetString(PyExc_TypeError, "GetNearestMarkFromPos : the distance test must be None or a tuple");
            return false;
        }
        if (!PyArg_ParseTuple(distance, "Off:GetPathMark_distanceTest", &centre, &tests->minimum, &tests->maximum) ||
            !ReadVertex(centre, "the distance test's centre", &tests->centre))
            return false;
        tests->distance = true;
    }
    if (target != Py_None)
    {
        PyObject* actor = nullptr;
        PyObject* at = nullptr;
        if (!PyTuple_Check(target))
        {
            PyErr_SetString(PyExc_TypeError, "GetNearestMarkFromPos : the target test must be None or a tuple");
            return false;
        }
        if (!PyArg_ParseTuple(target, "OOf:GetPathMark_targetPos", &actor, &at, &tests->targetMinimum) ||
            !ReadVertex(actor, "the actor position", &tests->actor) ||
            !ReadVertex(at, "the target position", &tests->targetAt))
            return false;
        tests->target = true;
    }
    if (ambush != Py_None)
    {
        if (!ReadVertex(ambush, "the ambush point", &tests->ambushPoint))
            return false;
        tests->ambush = true;
    }
    return true;
}

const HbPtrArray* KindList(YoScenaricPath* path, int32_t kind)
{
    switch (kind)
    {
    case kMarkGeneric:
        return &path->mMarks;
    case kMarkAlarm:
        return &path->mAlarmMarks;
    case kMarkAmbush:
        return &path->mAmbushMarks;
    case kMarkSearch:
        return &path->mSearchMarks;
    case kMarkRespawn:
        return &path->mRespawnMarks;
    default:
        return nullptr;
    }
}

/// The ambush mode of an ambush mark, else -1.
int32_t AmbushModeOf(YoScenaricMark* mark)
{
    auto* ambush = HbCastTo<AmbushMark>(mark);
    return ambush ? ambush->mAmbushMode : -1;
}

bool Passes(YoScenaricMark* mark, int32_t freeOnly, const NearestTests& tests)
{
    const Vector& p = mark->GetPosition();
    if (freeOnly == 1 && !mark->IsFree())
        return false;
    if (tests.distance)
    {
        const float d2 = LengthSquared(Minus(p, tests.centre));
        const float min2 = tests.minimum * tests.minimum;
        const float max2 = tests.maximum * tests.maximum;
        // A maximum of 0 sets no upper bound.
        if (d2 < min2 || (max2 > 0.0f && d2 > max2))
            return false;
    }
    if (tests.target)
    {
        const Vector toMark = Minus(p, tests.actor);
        const Vector toTarget = Minus(tests.targetAt, tests.actor);
        // Beyond the target as the actor sees it.
        if (LengthSquared(toMark) > LengthSquared(toTarget) && Dot(Unit(toMark), Unit(toTarget)) > kBeyondCosine)
            return false;
        if (LengthSquared(Minus(p, tests.targetAt)) < tests.targetMinimum * tests.targetMinimum)
            return false;
    }
    const int32_t mode = AmbushModeOf(mark);
    if (tests.ambush && mode >= 0 && mode != 4)
    {
        Vector v = Minus(tests.ambushPoint, p);
        v.y = 0.0f;
        v = Unit(v);
        Vector m = AtOf(mark);
        m.y = 0.0f;
        m = Unit(m);
        if (Dot(m, v) < kAmbushFacing)
            return false;
        const float side = m.z * v.x - m.x * v.z;
        if ((mode == 2 && side < 0.0f) || (mode == 3 && side > 0.0f))
            return false;
    }
    return true;
}

/// 1 when the level (geometry and objects) stops the sight line from the target to the mark's
/// eye.
int32_t SightBlocked(YoScenaricMark* mark, const Vector& target)
{
    W3dLevel* level = Level();
    if (!level)
        return 0;
    Vector eye = Raised(mark->GetPosition(), kSightHeight);
    const int32_t mode = AmbushModeOf(mark);
    if (mode == 2 || mode == 3)
    {
        // An ambush mark looks out from beside its point, on the side it covers.
        const Vector& at = AtOf(mark);
        const float sign = mode == 2 ? 1.0f : -1.0f;
        eye.x += sign * at.z * kAmbushSideStep;
        eye.z -= sign * at.x * kAmbushSideStep;
    }
    const Vector from0 = Raised(target, kSightHeight);
    const Vector toward = Unit(Minus(eye, from0));
    const Vector from = {from0.x + kTargetClearance * toward.x, from0.y + kTargetClearance * toward.y,
                         from0.z + kTargetClearance * toward.z};
    W3dCollisionResult result;
    return CollisionTestLine(level, &from, &eye, nullptr, nullptr, &result, nullptr) ? 1 : 0;
}

PyObject* GetNearestMarkFromPos(PyObject*, PyObject* args)
{
    const char* name = nullptr;
    PyObject* position = nullptr;
    int freeOnly = 0;
    int kind = 0;
    PyObject* distance = nullptr;
    PyObject* target = nullptr;
    PyObject* ambush = nullptr;
    if (!PyArg_ParseTuple(args, "sOiiOOO:GetNearestMarkFromPos", &name, &position, &freeOnly, &kind, &distance, &target,
                          &ambush))
        return nullptr;
    YoScenaricPath* path = PathOrRaise(name);
    if (!path)
        return nullptr;
    Vector from;
    NearestTests tests;
    if (!ReadVertex(position, "the position", &from) || !ReadTests(distance, target, ambush, &tests))
        return nullptr;
    const HbPtrArray* candidates = KindList(path, kind);
    if (!candidates)
    {
        PyErr_SetString(PyExc_TypeError, "GetNearestMarkFromPos : incorrect mark type\n");
        return nullptr;
    }

    YoScenaricMark* nearest = nullptr;
    YoScenaricMark* second = nullptr;
    float nearest2 = 0.0f;
    float second2 = 0.0f;
    for (int32_t i = 0; i < candidates->GetCount(); ++i)
    {
        auto* mark = static_cast<YoScenaricMark*>((*candidates)[i]);
        if (!Passes(mark, freeOnly, tests))
            continue;
        const float d2 = LengthSquared(Minus(mark->GetPosition(), from));
        if (!nearest || d2 < nearest2)
        {
            second = nearest, second2 = nearest2;
            nearest = mark, nearest2 = d2;
        }
        else if (!second || d2 < second2)
            second = mark, second2 = d2;
    }
    // The second does not have to see the target either: it is the fallback.
    if (tests.target && second && SightBlocked(nearest, tests.targetAt))
        nearest = second;
    if (!nearest)
        Py_RETURN_NONE;
    return PyUnicode_FromString(nearest->mName.c_str());
}

// ---- Search and respawn marks ----------------------------------------------------------------------------

PyObject* GetARandomSearchMark(PyObject*, PyObject* args)
{
    const char* name = nullptr;
    if (!PyArg_ParseTuple(args, "s:GetARandomSearchMark", &name))
        return nullptr;
    YoScenaricPath* path = PathOrRaise(name);
    if (!path)
        return nullptr;
    YoScenaricMark* drawn[kMaxSearchMarks];
    int32_t count = 0;
    for (int32_t i = 0; i < path->mSearchMarks.GetCount() && count < kMaxSearchMarks; ++i)
    {
        auto* mark = static_cast<YoScenaricMark*>(path->mSearchMarks[i]);
        if (mark->IsFree())
            drawn[count++] = mark;
    }
    if (count == 0)
        Py_RETURN_NONE;
    const float r = HbRandom::QuickUniform(HbRandom::Instance()->GameState());
    int32_t pick = int32_t(r * float(count));
    if (pick >= count)
        pick = count - 1;
    return PyUnicode_FromString(drawn[pick]->mName.c_str());
}

/// False when the current camera may see the mark: inside its view and in an unblocked line
/// from the viewing camera.
bool HiddenFromPlayer(const YoScenaricMark* mark)
{
    TsCamera* current = TsCameraRegistry::GetCamera(TsCameraRegistry::GetCurrentCameraId());
    const auto* camera = current ? static_cast<const Camera*>(current->GetEngineObject()) : nullptr;
    if (!camera)
        return true;
    const Sphere sphere = {mark->GetPosition(), kRespawnRadius};
    if (Camera::FrustumTestSphere(camera, &sphere) == kFrustumOutside)
        return true;
    const Vector* eye = ViewPosition();
    return eye && StaticWorldBlocks(*eye, Raised(mark->GetPosition(), kViewHeight));
}

PyObject* GetRespawnMark(PyObject*, PyObject* args)
{
    const char* name = nullptr;
    int ignoreLimit = 0;
    if (!PyArg_ParseTuple(args, "si:GetRespawnMark", &name, &ignoreLimit))
        return nullptr;
    YoScenaricPath* path = PathOrRaise(name);
    if (!path)
        return nullptr;
    for (int32_t i = 0; i < path->mRespawnMarks.GetCount(); ++i)
    {
        auto* mark = HbCastTo<RespawnMark>(static_cast<HbRoot*>(path->mRespawnMarks[i]));
        if (!mark || !mark->IsUsable(ignoreLimit) || !mark->IsFree() || !HiddenFromPlayer(mark))
            continue;
        mark->Use(ignoreLimit);
        return PyUnicode_FromString(mark->mName.c_str());
    }
    Py_RETURN_NONE;
}

PyObject* DoesPathGetRespawnMark(PyObject*, PyObject* args)
{
    const char* name = nullptr;
    if (!PyArg_ParseTuple(args, "s:DoesPathGetRespawnMark", &name))
        return nullptr;
    YoScenaricPath* path = PathOrRaise(name);
    return path ? PyLong_FromLong(path->mRespawnMarks.GetCount() > 0 ? 1 : 0) : nullptr;
}

PyMethodDef gPathFunctions[] = {
    {"GetPathMark", GetPathMark, METH_VARARGS, nullptr},
    {"GetPathMarkPosition", GetPathMarkPosition, METH_VARARGS, nullptr},
    {"GetPathMarkOrientation", GetPathMarkOrientation, METH_VARARGS, nullptr},
    {"GetNearestMarkFromPos", GetNearestMarkFromPos, METH_VARARGS, nullptr},
    {"GetARandomSearchMark", GetARandomSearchMark, METH_VARARGS, nullptr},
    {"GetRespawnMark", GetRespawnMark, METH_VARARGS, nullptr},
    {"DoesPathGetRespawnMark", DoesPathGetRespawnMark, METH_VARARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

struct KindName
{
    const char* name;
    int32_t kind;
};

constexpr KindName kKindNames[] = {
    {"GENERIC", kMarkGeneric},   {"ATTACK", kMarkAttack},         {"DEFENSE", kMarkDefense}, {"RETREAT", kMarkRetreat},
    {"HOMEBASE", kMarkHomeBase}, {"ALARM", kMarkAlarm},           {"AMBUSH", kMarkAmbush},   {"DOF", kMarkDof},
    {"ACTOR", kMarkActor},       {"GENERICDOF", kMarkGenericDof}, {"SOUND", kMarkSound},     {"SEARCH", kMarkSearch},
    {"ACTION", kMarkAction},     {"RESPAWN", kMarkRespawn},       {"PATROL", kMarkPatrol},
};
} // namespace

/// Adds the mark functions to mark, the path functions to path and the kind constants to
/// marktype. A failing step leaves its error set.
void TsMarkScriptFill(PyObject* mark, PyObject* path, PyObject* marktype)
{
    if (PyModule_AddFunctions(mark, gMarkFunctions) < 0 || PyModule_AddFunctions(path, gPathFunctions) < 0)
        return;
    for (const KindName& kind : kKindNames)
        if (PyModule_AddIntConstant(marktype, kind.name, kind.kind) < 0)
            return;
}
