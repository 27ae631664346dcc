// The geometry functions of the module "scenaric": positions, facings, distances and angles of
// actors, vertices and marks, the look-at point, the ground and aim probes and the camera's
// view.
#include "frame.h"
#include "scenario_local.h"
#include "scenaricmodule.h"
#include "scriptworldmanager.h"
#include "tsactor.h"
#include "tsastarpathfinder.h"
#include "tscamera.h"
#include "tscameraregistry.h"
#include "tsmarksystem.h"
#include "tssenses.h"
#include "w3dframe.h"
#include "w3dlevel.h"
#include "wscene.h"
#include "wvectorutil.h"
#include "yoscenaricmark.h"

#include <cmath>
#include <string>

namespace
{
ScriptWorldManager* World()
{
    return ScriptWorldManager::Instance();
}

/// The square root of a positive value, else the value itself (0 for a sum of squares).
float RootOfPositive(float value)
{
    return value > 0.0f ? std::sqrt(value) : value < 0.0f ? 0.0f : value;
}

float HorizontalDistance(const Vector& a, const Vector& b)
{
    const float dx = a.x - b.x;
    const float dz = a.z - b.z;
    return RootOfPositive(dx * dx + dz * dz);
}

/// The signed horizontal angle, seen from the node, between its facing and the point.
float AngleFromNode(W3dNode* node, const Vector& point)
{
    const Vector from = *node->GetWorldPosition();
    const Vector* at = node->GetWorldAt();
    const Vector ahead = {from.x + at->x, from.y + at->y, from.z + at->z};
    return PointPlanarAngle(&from, &ahead, &point, nullptr);
}

/// The position of the mark named by the object; null with the error set.
const Vector* MarkPosition(PyObject* object)
{
    if (!PyUnicode_Check(object))
    {
        ScenaricFail("A mark must be passed");
        return nullptr;
    }
    const char* name = PyUnicode_AsUTF8(object);
    if (!name)
        return nullptr;
    auto* marks = World() ? HbCastTo<TsMarkSystem>(World()->GetMarkSystem()) : nullptr;
    YoScenaricMark* mark = marks ? marks->FindMark(name) : nullptr;
    if (!mark)
    {
        const std::string text = std::string("The mark ") + name + " can not be found!";
        ScenaricFail(text.c_str());
        return nullptr;
    }
    return &mark->GetPosition();
}

/// The level's line test between the two points raised by 140 units, the node left out.
bool LineClear(const Vector& a, const Vector& b, W3dNode* ignore)
{
    WScene* scene = World() ? World()->GetScene() : nullptr;
    const Vector from = {a.x, a.y + 140.0f, a.z};
    const Vector to = {b.x, b.y + 140.0f, b.z};
    W3dCollisionResult result;
    result.Clear();
    return !CollisionTestLine(scene ? scene->GetLevel() : nullptr, &from, &to, ignore, nullptr, &result, nullptr);
}

W3dCamera* CurrentCamera()
{
    const int32_t id = TsCameraRegistry::GetCurrentCameraId();
    return id < 0 ? nullptr : TsCameraRegistry::GetCamera(id);
}

// ---- Positions and facings -----------------------------------------------------------------------

PyObject* GetPosition(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    if (!PyArg_ParseTuple(args, "O:GetPosition", &object))
        return nullptr;
    if (object == Py_None)
        return ScenaricFail("Actor is PyNone");
    W3dNode* node = ScenaricNodeArg(object, "GetPosition");
    return node ? ScenaricNewVertex(*node->GetWorldPosition(), "GetPosition : Cannot get actor's position") : nullptr;
}

PyObject* GetLookAt(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    if (!PyArg_ParseTuple(args, "O:GetOrientation", &object))
        return nullptr;
    if (object == Py_None)
        return ScenaricFail("Actor is PyNone");
    W3dNode* node = ScenaricNodeArg(object, "GetLookAt");
    return node ? ScenaricNewVertex(*node->GetWorldAt(), "GetLookAt : Cannot get actor's lookat") : nullptr;
}

/// A vertex, or the world position (at: the facing) of a bound actor's node.
bool PointOrActor(PyObject* object, Vector* out, bool facing)
{
    if (ScenaricVertexOf(object, out))
        return true;
    TsActor* other = ScenaricGetBoundActor(object);
    W3dNode* node = other ? other->GetNode() : nullptr;
    if (!node)
        return false;
    *out = facing ? *node->GetWorldAt() : *node->GetWorldPosition();
    return true;
}

PyObject* SetPosition(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    PyObject* target = nullptr;
    if (!PyArg_ParseTuple(args, "OO:SetPosition", &object, &target))
        return nullptr;
    TsActor* actor = nullptr;
    W3dNode* node = ScenaricNodeArg(object, "SetPosition", &actor);
    if (!node)
        return nullptr;
    Vector point;
    if (!PointOrActor(target, &point, false))
        return ScenaricFail("Unknow type");
    ScenaricPlaceInLevel(node);
    actor->SetPosition(&point);
    Py_RETURN_NONE;
}

PyObject* SetOrientation(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    PyObject* target = nullptr;
    if (!PyArg_ParseTuple(args, "OO:SetPosition", &object, &target))
        return nullptr;
    W3dNode* node = ScenaricNodeArg(object, "SetOrientation");
    if (!node)
        return nullptr;
    Vector direction;
    if (!PointOrActor(target, &direction, true))
        return ScenaricFail("Unknow type");
    ScenaricPlaceInLevel(node);
    node->LookAlong(&direction);
    Py_RETURN_NONE;
}

PyObject* SetAtEuler(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    PyObject* target = nullptr;
    if (!PyArg_ParseTuple(args, "OO:SetAtEuler", &object, &target))
        return nullptr;
    W3dNode* node = ScenaricNodeArg(object, "SetAtEuler");
    if (!node)
        return nullptr;
    Vector direction;
    if (!ScenaricVertexOf(target, &direction))
        return ScenaricFail("Unknow type");
    ScenaricPlaceInLevel(node);
    if (std::fabs(direction.x) <= 0.001f && std::fabs(direction.y) <= 0.001f && std::fabs(direction.z) <= 0.001f)
        Py_RETURN_NONE;
    Vector unit;
    Vector::Normalize(&unit, &direction);
    FrameLookAlong(node->GetEngineFrame(), &unit);
    Py_RETURN_NONE;
}

PyObject* GetActorBonePosition(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    const char* bone = nullptr;
    if (!PyArg_ParseTuple(args, "Os:GetActorBonePosition", &object, &bone))
        return nullptr;
    TsActor* actor = ScenaricActorArg(object, "GetActorBonePosition");
    if (!actor)
        return nullptr;
    Frame* frame = ScenaricBoneFrame(actor->GetNode(), bone);
    const Matrix* world = frame ? Frame::GetWorldMatrix(frame) : nullptr;
    if (!world)
        return nullptr; // no node, not an animated model or no such bone: no message
    return ScenaricNewVertex(world->pos, "GetPosition : Cannot get actor's position");
}

// ---- Distances ----------------------------------------------------------------------------------------

PyObject* GetDistanceBetweenActors(PyObject*, PyObject* args)
{
    PyObject* a = nullptr;
    PyObject* b = nullptr;
    if (!PyArg_ParseTuple(args, "OO:GetDistanceBetweenActors", &a, &b))
        return nullptr;
    TsActor* first = ScenaricActorArg(a, "GetDistanceBetweenActors");
    TsActor* second = first ? ScenaricActorArg(b, "GetDistanceBetweenActors") : nullptr;
    if (!second)
        return nullptr;
    const float squared = World() ? World()->GetActorDistance(first, second) : -1.0f;
    return PyFloat_FromDouble(squared > 0.0f ? std::sqrt(squared) : 0.0);
}

PyObject* GetDistanceToHero(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    if (!PyArg_ParseTuple(args, "O:GetDistanceToHero", &object))
        return nullptr;
    TsActor* actor = ScenaricActorArg(object, "GetDistanceToHero");
    if (!actor)
        return nullptr;
    TsActor* hero = World() ? World()->GetHero() : nullptr;
    const float squared = hero ? actor->GetDistanceSquaredTo(hero) : -1.0f;
    return PyFloat_FromDouble(squared > 0.0f ? std::sqrt(squared) : 0.0);
}

PyObject* GetDistanceBetweenVertex(PyObject*, PyObject* args)
{
    PyObject* a = nullptr;
    PyObject* b = nullptr;
    if (!PyArg_ParseTuple(args, "OO:GetDistanceBetweenVertex", &a, &b))
        return nullptr;
    Vector p, q;
    if (!ScenaricVertexOf(a, &p))
        return ScenaricFail("Unknow type object 1");
    if (!ScenaricVertexOf(b, &q))
        return ScenaricFail("Unknow type object 2");
    return PyFloat_FromDouble(VectorDistance(&p, &q));
}

PyObject* GetHorizontalDistanceBetweenActors(PyObject*, PyObject* args)
{
    PyObject* a = nullptr;
    PyObject* b = nullptr;
    if (!PyArg_ParseTuple(args, "OO:GetHorizontalDistanceBetweenActors", &a, &b))
        return nullptr;
    W3dNode* first = ScenaricNodeArg(a, "GetHorizontalDistanceBetweenActors");
    W3dNode* second = first ? ScenaricNodeArg(b, "GetHorizontalDistanceBetweenActors") : nullptr;
    if (!second)
        return nullptr;
    const Vector p = *first->GetWorldPosition();
    return PyFloat_FromDouble(HorizontalDistance(p, *second->GetWorldPosition()));
}

PyObject* GetHorizontalDistanceBetweenActorAndVertex(PyObject*, PyObject* args)
{
    PyObject* a = nullptr;
    PyObject* b = nullptr;
    if (!PyArg_ParseTuple(args, "OO:GetHorizontalDistanceBetweenActorAndVertex", &a, &b))
        return nullptr;
    W3dNode* node = ScenaricNodeArg(a, "GetHorizontalDistanceBetweenActorAndVertex");
    if (!node)
        return nullptr;
    Vector point;
    if (!ScenaricVertexOf(b, &point))
        return ScenaricFail("A vertex must be passed");
    return PyFloat_FromDouble(HorizontalDistance(*node->GetWorldPosition(), point));
}

PyObject* GetHorizontalDistanceBetweenActorAndMark(PyObject*, PyObject* args)
{
    PyObject* a = nullptr;
    PyObject* b = nullptr;
    if (!PyArg_ParseTuple(args, "OO:GetHorizontalDistanceBetweenActorAndMark", &a, &b))
        return nullptr;
    W3dNode* node = ScenaricNodeArg(a, "GetHorizontalDistanceBetweenActorAndMark");
    const Vector* mark = node ? MarkPosition(b) : nullptr;
    if (!mark)
        return nullptr;
    return PyFloat_FromDouble(HorizontalDistance(*node->GetWorldPosition(), *mark));
}

// ---- Angles ----------------------------------------------------------------------------------------------

PyObject* AngleBetweenActors(PyObject* args, const char* format, const char* function)
{
    PyObject* a = nullptr;
    PyObject* b = nullptr;
    if (!PyArg_ParseTuple(args, format, &a, &b))
        return nullptr;
    W3dNode* first = ScenaricNodeArg(a, function);
    W3dNode* second = first ? ScenaricNodeArg(b, function) : nullptr;
    if (!second)
        return nullptr;
    return PyFloat_FromDouble(AngleFromNode(first, *second->GetWorldPosition()));
}

PyObject* GetAngleBetweenActors(PyObject*, PyObject* args)
{
    return AngleBetweenActors(args, "OO:GetAngleBetweenActors", "GetAngleBetweenActors");
}

PyObject* GetHorizontalAngleBetweenActors(PyObject*, PyObject* args)
{
    return AngleBetweenActors(args, "OO:GetHorizontalAngleBetweenActors", "GetHorizontalAngleBetweenActors");
}

PyObject* GetHorizontalAngleBetweenActorAndVertex(PyObject*, PyObject* args)
{
    PyObject* a = nullptr;
    PyObject* b = nullptr;
    if (!PyArg_ParseTuple(args, "OO:GetHorizontalAngleBetweenActorAndVertex", &a, &b))
        return nullptr;
    W3dNode* node = ScenaricNodeArg(a, "GetHorizontalAngleBetweenActorAndVertex");
    if (!node)
        return nullptr;
    Vector point;
    if (!ScenaricVertexOf(b, &point))
        return ScenaricFail("A vertex must be passed");
    return PyFloat_FromDouble(AngleFromNode(node, point));
}

PyObject* GetHorizontalAngleBetweenActorAndMark(PyObject*, PyObject* args)
{
    PyObject* a = nullptr;
    PyObject* b = nullptr;
    if (!PyArg_ParseTuple(args, "OO:GetHorizontalAngleBetweenActorAndMark", &a, &b))
        return nullptr;
    W3dNode* node = ScenaricNodeArg(a, "GetHorizontalAngleBetweenActorAndMark");
    const Vector* mark = node ? MarkPosition(b) : nullptr;
    if (!mark)
        return nullptr;
    return PyFloat_FromDouble(AngleFromNode(node, *mark));
}

PyObject* GetHorizontalAngleBetweenVectors(PyObject*, PyObject* args)
{
    PyObject* a = nullptr;
    PyObject* b = nullptr;
    if (!PyArg_ParseTuple(args, "OO:GetHorizontalAngleBetweenVectors", &a, &b))
        return nullptr;
    Vector p, q;
    if (!ScenaricVertexOf(a, &p) || !ScenaricVertexOf(b, &q))
        return ScenaricFail("2 vertor must be passed");
    return PyFloat_FromDouble(VectorPlanarAngle(&p, &q, nullptr));
}

// ---- Probes ----------------------------------------------------------------------------------------------

PyObject* GetALookAtPoint(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    PyObject* target = nullptr;
    if (!PyArg_ParseTuple(args, "OO:GetALookAtPoint", &object, &target))
        return nullptr;
    W3dNode* node = ScenaricNodeArg(object, "GetALookAtPoint");
    if (!node)
        return nullptr;
    Vector goal;
    if (!ScenaricVertexOf(target, &goal))
        return ScenaricFail("GetALookAtPoint : A vertex is invalid");
    const Vector from = *node->GetWorldPosition();
    auto* graph = World() ? HbCastTo<TsAStarPathfinder>(World()->GetAStar()) : nullptr;
    if (LineClear(from, goal, node) || !graph)
    {
        Py_INCREF(target);
        return target;
    }
    graph->SetLastCell(-1);
    graph->SetSearchState(0);
    const Vector direction = {goal.x - from.x, goal.y - from.y, goal.z - from.z};
    if (!graph->IsPointOnGraph(from) || !graph->FindPath(from, goal, &direction) || graph->GetPath().size() < 2)
    {
        Py_INCREF(target);
        return target;
    }
    const std::vector<Vector>& path = graph->GetPath();
    const size_t n = path.size();
    auto at = [&](size_t i) { return Vector{path[i].x, from.y, path[i].z}; };
    Vector chosen = at(1);
    if (n >= 4)
    {
        const Vector a = at(n / 2);
        if (LineClear(from, a, node))
        {
            const Vector b = at(3 * n / 4);
            chosen = LineClear(from, b, node) ? b : a;
        }
        else if (const Vector c = at(n / 4); LineClear(from, c, node))
            chosen = c;
    }
    return ScenaricNewVertex(chosen, "GetALookAtPoint : A vertex is invalid");
}

PyObject* GetGroundCollisionInfos(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    int height = 0;
    PyObject* ignored = nullptr;
    if (!PyArg_ParseTuple(args, "OiO:GetGroundCollisionInfos", &object, &height, &ignored))
        return nullptr;
    Vector point;
    if (!ScenaricVertexOf(object, &point))
        return ScenaricFail("GetGroundCollisionInfos : Object is not a vertex");
    W3dNode* ignore = nullptr;
    if (ignored != Py_None)
    {
        TsActor* actor = ScenaricActorArg(ignored, "GetGroundCollisionInfos");
        if (!actor)
            return nullptr;
        ignore = actor->GetNode();
    }
    W3dCollisionResult result;
    result.Clear();
    if (!World() || !World()->TestSegment(&result, &point, ignore, float(height)))
        Py_RETURN_NONE;
    const float h = float(height);
    const Vector hit = {point.x, point.y + h - 2.0f * h * result.distance, point.z};
    PyObject* hitVertex = ScenaricNewVertex(hit, "GetGroundCollisionInfos : Cannot make a vertex");
    PyObject* normal = hitVertex ? ScenaricNewVertex(result.normal, "GetGroundCollisionInfos : Cannot make a vertex")
                                 : nullptr;
    PyObject* pair = normal ? PyTuple_Pack(2, hitVertex, normal) : nullptr;
    Py_XDECREF(hitVertex);
    Py_XDECREF(normal);
    return pair;
}

PyObject* GetAimPosition(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    if (!PyArg_ParseTuple(args, "O:GetAimPosition", &object))
        return nullptr;
    Vector point;
    if (!ScenaricVertexOf(object, &point))
        return ScenaricFail("GetAimPosition : Object is not a vertex");
    const Vector centre = {point.x, point.y - 80.0f, point.z};
    W3dCollisionResult result;
    result.Clear();
    if (!World() || !World()->TestSegment(&result, &centre, nullptr, 100.0f))
    {
        Py_INCREF(object);
        return object;
    }
    const Vector aim = {point.x, centre.y + 100.0f - 200.0f * result.distance + 130.0f, point.z};
    return ScenaricNewVertex(aim, "GetAimPosition : Cannot make a vertex");
}

PyObject* IsActorInCameraFov(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    if (!PyArg_ParseTuple(args, "O:IsActorInCameraFov", &object))
        return nullptr;
    TsActor* actor = ScenaricActorArg(object, "IsActorInCameraFov");
    if (!actor)
        return nullptr;
    W3dCamera* camera = CurrentCamera();
    return PyLong_FromLong(camera && TsIsActorInCameraFov(camera, actor) ? 1 : 0);
}

PyObject* IsSphereInCameraFov(PyObject*, PyObject* args)
{
    Sphere sphere = {};
    if (!PyArg_ParseTuple(args, "ffff:IsSphereInCameraFov", &sphere.centre.x, &sphere.centre.y, &sphere.centre.z,
                          &sphere.radius))
        return nullptr;
    W3dCamera* camera = CurrentCamera();
    Camera* engine = camera ? camera->GetCamera() : nullptr;
    return PyLong_FromLong(engine && Camera::FrustumTestSphere(engine, &sphere) != 0 ? 1 : 0);
}

PyMethodDef gMethods[] = {
    {"GetPosition", GetPosition, METH_VARARGS, nullptr},
    {"GetLookAt", GetLookAt, METH_VARARGS, nullptr},
    {"SetPosition", SetPosition, METH_VARARGS, nullptr},
    {"SetOrientation", SetOrientation, METH_VARARGS, nullptr},
    {"SetAtEuler", SetAtEuler, METH_VARARGS, nullptr},
    {"GetActorBonePosition", GetActorBonePosition, METH_VARARGS, nullptr},
    {"GetDistanceBetweenActors", GetDistanceBetweenActors, METH_VARARGS, nullptr},
    {"GetDistanceToHero", GetDistanceToHero, METH_VARARGS, nullptr},
    {"GetDistanceBetweenVertex", GetDistanceBetweenVertex, METH_VARARGS, nullptr},
    {"GetHorizontalDistanceBetweenActors", GetHorizontalDistanceBetweenActors, METH_VARARGS, nullptr},
    {"GetHorizontalDistanceBetweenActorAndVertex", GetHorizontalDistanceBetweenActorAndVertex, METH_VARARGS, nullptr},
    {"GetHorizontalDistanceBetweenActorAndMark", GetHorizontalDistanceBetweenActorAndMark, METH_VARARGS, nullptr},
    {"GetAngleBetweenActors", GetAngleBetweenActors, METH_VARARGS, nullptr},
    {"GetHorizontalAngleBetweenActors", GetHorizontalAngleBetweenActors, METH_VARARGS, nullptr},
    {"GetHorizontalAngleBetweenActorAndVertex", GetHorizontalAngleBetweenActorAndVertex, METH_VARARGS, nullptr},
    {"GetHorizontalAngleBetweenActorAndMark", GetHorizontalAngleBetweenActorAndMark, METH_VARARGS, nullptr},
    {"GetHorizontalAngleBetweenVectors", GetHorizontalAngleBetweenVectors, METH_VARARGS, nullptr},
    {"GetALookAtPoint", GetALookAtPoint, METH_VARARGS, nullptr},
    {"GetGroundCollisionInfos", GetGroundCollisionInfos, METH_VARARGS, nullptr},
    {"GetAimPosition", GetAimPosition, METH_VARARGS, nullptr},
    {"IsActorInCameraFov", IsActorInCameraFov, METH_VARARGS, nullptr},
    {"IsSphereInCameraFov", IsSphereInCameraFov, METH_VARARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};
} // namespace

PyMethodDef* ScenaricGeometryMethods()
{
    return gMethods;
}
