// The senses: sight, line of fire, camera view, and the sensor tests they give the script world.
#include "tssenses.h"

#include "camera.h"
#include "clump.h"
#include "frame.h"
#include "hbinputaction.h"
#include "hbinputmanager.h"
#include "matrix.h"
#include "scriptworldmanager.h"
#include "tsactor.h"
#include "tsactorlayer.h"
#include "tsskillregistry.h"
#include "w3dcamera.h"
#include "w3dcollision.h"
#include "w3dlevel.h"
#include "w3dnode.h"
#include "wscene.h"
#include "wvectorutil.h"

#include <Python.h>

#include <cmath>

namespace
{
/// Shots and sight lines pass surfaces whose flag byte holds this bit.
constexpr uint8_t kShootThrough = 0x20;
/// How far above a node's origin a line of fire starts or ends without a frame for it.
constexpr float kChestHeight = 100.0f;
/// The margin added to the camera's view on every side, radians.
constexpr float kViewMargin = 0.1f;

int32_t SolidSurface(const W3dCollisionResult* candidate)
{
    return candidate->color[TsActor::kSurfaceFlagByte] & kShootThrough ? 0 : 1;
}

bool IsVisible(W3dNode* node)
{
    return (node->GetFlags() & W3dNode::kVisible) != 0;
}

Vector WorldPosition(Frame* frame)
{
    return Frame::GetWorldMatrix(frame)->pos;
}

/// The level the node is placed in, or null.
W3dLevel* LevelOf(W3dNode* node)
{
    WScene* scene = node ? node->GetScene() : nullptr;
    return scene ? scene->GetLevel() : nullptr;
}

/// Where others look at the actor: its first element frame, else its node.
Vector SightPoint(W3dNode* node)
{
    if (Frame* element = node->GetShootCollisionSet().GetElementFrame(0))
        return WorldPosition(element);
    return *node->GetWorldPosition();
}

/// The listed actor (or the hero) whose node is the node or holds it, or null.
TsActor* ActorOfNode(W3dNode* node)
{
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    for (; node && world; node = node->GetParent())
    {
        if (TsActor* hero = world->GetHero(); hero && hero->GetNode() == node)
            return hero;
        for (const HbPtrListNode* entry = world->GetActors().GetHead(); entry; entry = entry->next)
            if (auto* actor = static_cast<TsActor*>(entry->value); actor->GetNode() == node)
                return actor;
    }
    return nullptr;
}

/// Both arguments' actors, or false with the script error set.
bool ParseTwoActors(PyObject* args, const char* format, TsActor** first, TsActor** second)
{
    PyObject* a = nullptr;
    PyObject* b = nullptr;
    if (!PyArg_ParseTuple(args, format, &a, &b))
        return false;
    *first = TsFindActorOfScriptObject(a);
    if (!*first)
    {
        PyErr_SetString(PyExc_TypeError, "This object is not an actor (parameter 1)");
        return false;
    }
    *second = TsFindActorOfScriptObject(b);
    if (!*second)
    {
        PyErr_SetString(PyExc_TypeError, "This object is not an actor");
        return false;
    }
    return true;
}

PyObject* DoesActorCanShootActor(PyObject*, PyObject* args)
{
    TsActor* shooter = nullptr;
    TsActor* target = nullptr;
    if (!ParseTwoActors(args, "OO:DoesActorCanShootActor", &shooter, &target))
        return nullptr;
    int32_t flags = 0;
    float fraction = 1.0f;
    TsCanShootActor(shooter, target, &flags, &fraction);
    return Py_BuildValue("(if)", flags, fraction);
}

PyObject* DoesActorSeesActor(PyObject*, PyObject* args)
{
    TsActor* observer = nullptr;
    TsActor* target = nullptr;
    if (!ParseTwoActors(args, "OO:DoesActorSeesActor", &observer, &target))
        return nullptr;
    W3dNode* a = observer->GetNode();
    W3dNode* b = target->GetNode();
    int32_t seen = 0;
    if (observer->mActive && target->mActive && a && b && IsVisible(a) && IsVisible(b))
        seen = TsActorSeesActor(observer, target);
    return PyLong_FromLong(seen);
}

int Register()
{
    TsSkillRegistry* registry = TsSkillRegistry::Instance();
    if (!registry)
        return 0;
    registry->AddSkillFunction(DoesActorCanShootActor, "DoesActorCanShootActor",
                               "test whether the first actor can shoot the second one", __FILE__, __LINE__);
    registry->AddSkillFunction(DoesActorSeesActor, "DoesActorSeesActor",
                               "test whether the first actor sees the second one", __FILE__, __LINE__);
    return 1;
}

int32_t SeesHook(TsActor* observer, TsActor* target, float)
{
    return TsActorSeesActor(observer, target);
}

bool gQueued = false;
HbInputAction* gContextAction = nullptr;
uint32_t gContextBindings = 0;
bool gContextLooked = false;
} // namespace

int32_t TsActorSightLineBlocked(TsActor* observer, TsActor* target)
{
    W3dNode* from = observer ? observer->GetNode() : nullptr;
    W3dNode* to = target ? target->GetNode() : nullptr;
    if (!from || !to)
        return 1;
    Frame* eye = from->GetShootCollisionSet().GetEyeFrame();
    const Vector start = eye ? WorldPosition(eye) : *from->GetWorldPosition();
    const Vector end = SightPoint(to);
    W3dCollisionResult result;
    return CollisionTestLine(LevelOf(to), &start, &end, from, to, &result, SolidSurface);
}

int32_t TsActorSeesActor(TsActor* observer, TsActor* target)
{
    W3dNode* eyeNode = observer ? observer->GetNode() : nullptr;
    W3dNode* targetNode = target ? target->GetNode() : nullptr;
    if (targetNode && !IsVisible(targetNode))
        return 0;
    if (!eyeNode || !targetNode)
        return 0;
    // Facing: the first element frame's at vector; a node without element frames faces
    // along its own.
    const Vector eye = *eyeNode->GetWorldPosition();
    Frame* element = eyeNode->GetShootCollisionSet().GetElementFrame(0);
    const Vector at = element ? Frame::GetWorldMatrix(element)->at : *eyeNode->GetWorldAt();
    const Vector facing = {eye.x + at.x, eye.y + at.y, eye.z + at.z};
    const Vector there = *targetNode->GetWorldPosition();
    const float angle = PointPlanarAngle(&eye, &facing, &there, nullptr);
    const float sight = observer->GetSightDistance(angle, target->mVisibilityClass, target->mPostureClass);
    if (std::fabs(sight) <= 0.001f)
        return 0;
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    const float distance = world ? world->GetActorDistance(observer, target) : -1.0f;
    // A negative distance means an actor is not placed: nothing to see.
    if (distance < 0.0f)
        return 0;
    if (sight != -1.0f && distance > sight * sight)
        return 0;
    return TsActorSightLineBlocked(observer, target) ? 0 : 1;
}

int32_t TsCanShootActor(TsActor* shooter, TsActor* target, int32_t* flags, float* fraction)
{
    *fraction = 1.0f;
    *flags = 0;
    W3dNode* from = shooter ? shooter->GetNode() : nullptr;
    W3dNode* to = target ? target->GetNode() : nullptr;
    if (!from || !to || !IsVisible(to))
        return 0;
    Vector start;
    Atomic* muzzle = from->GetShootCollisionSet().GetShootAtomic();
    if (muzzle && muzzle->object.frame)
        start = WorldPosition(muzzle->object.frame);
    else if (Frame* frame = from->GetEngineFrame())
    {
        start = WorldPosition(frame);
        start.y += kChestHeight;
    }
    else
        return 0;
    // Without an aim frame the target is aimed at as the shooter aims from: chest height.
    Vector end;
    if (Frame* aim = to->GetShootCollisionSet().GetAimFrame())
        end = WorldPosition(aim);
    else if (Frame* frame = to->GetEngineFrame())
    {
        end = WorldPosition(frame);
        end.y += kChestHeight;
    }
    else
        return 0;
    W3dLevel* level = LevelOf(from) ? LevelOf(from) : LevelOf(to);
    W3dCollisionResult result;
    if (!CollisionTestLine(level, &start, &end, from, to, &result, SolidSurface))
        return 0;
    *fraction = result.distance;
    TsActor* blocker = ActorOfNode(result.hitNode);
    *flags = blocker ? int32_t(blocker->mFamily) : int32_t(result.color[TsActor::kSurfaceFlagByte]);
    return 1;
}

int32_t TsSensesIsInFrustum(Frame* frame, const Vector* point, World*, const Vector normals[4])
{
    const Matrix* matrix = Frame::GetWorldMatrix(frame);
    const Vector d = {point->x - matrix->pos.x, point->y - matrix->pos.y, point->z - matrix->pos.z};
    for (int32_t i = 0; i < 4; ++i)
    {
        Vector n;
        Vector::TransformVector(&n, &normals[i], matrix);
        if (n.x * d.x + n.y * d.y + n.z * d.z < 0.0f)
            return 0;
    }
    return 1;
}

int32_t TsIsActorInCameraFov(W3dCamera* camera, TsActor* actor)
{
    W3dNode* node = actor ? actor->GetNode() : nullptr;
    auto* engine = camera ? static_cast<Camera*>(camera->GetEngineObject()) : nullptr;
    Frame* frame = camera ? camera->GetEngineFrame() : nullptr;
    if (!node || !node->GetScene() || !engine || !frame)
        return 0;
    const float a = std::atan2(engine->viewWindow.x, 1.0f) + kViewMargin;
    const float b = std::atan2(engine->viewWindow.y, 1.0f) + kViewMargin;
    const Vector normals[4] = {{std::cos(a), 0.0f, std::sin(a)},
                               {-std::cos(a), 0.0f, std::sin(a)},
                               {0.0f, std::cos(b), std::sin(b)},
                               {0.0f, -std::cos(b), std::sin(b)}};
    WScene* scene = node->GetScene();
    W3dLevel* level = scene ? scene->GetLevel() : nullptr;
    return TsSensesIsInFrustum(frame, node->GetWorldPosition(), level ? level->GetMainWorld() : nullptr, normals);
}

int32_t TsEventTestContextAction(TsActor* owner, TsActor* other, float squaredDistance)
{
    HbInputManager* input = HbInputManager::Instance();
    if (!input)
        return 0;
    // Looked up again whenever the controller bindings change.
    const uint32_t bindings = HbInputManager::BindingCounter();
    if (!gContextLooked || bindings != gContextBindings)
    {
        gContextAction = input->FindAction("CMD_CONTEXTUAL_ACTION");
        gContextBindings = bindings;
        gContextLooked = true;
    }
    if (!gContextAction || !gContextAction->IsTriggered())
        return 0;
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    const float distance = world ? world->GetActorDistance(other, owner) : -1.0f;
    return distance >= 0.0f && distance <= squaredDistance;
}

void TsSensesInstall(ScriptWorldManager* world, TsSkillRegistry* registry)
{
    if (registry && !gQueued)
        gQueued = registry->AddRegistration(Register) != 0;
    if (world)
    {
        world->Hooks().seesActor = SeesHook;
        world->Hooks().contextAction = TsEventTestContextAction;
    }
}
