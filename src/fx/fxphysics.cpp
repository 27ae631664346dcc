// Simple physics: the idle stack of resting entries, the active array of moving ones, and the
// script module "physic".
#include "fxphysics.h"

#include "fxbody.h"
#include "fxservices.h"
#include "hbclock.h"
#include "hbptr.h"
#include "tsactor.h"
#include "w3dnode.h"

#include <Python.h>

#include <cfloat>
#include <cmath>

namespace
{
struct PhysicsEntry
{
    /// Weak: reads as null once the node is destroyed.
    HbHandlePtr node;
    PhysicsModelHolder holder;
    PhysicsBody body;
    Fx3dLaunch launch;
    int32_t alive = 1;
};

PhysicsEntry* gIdle[kPhysicsMaxEntries];
int32_t gIdleCount = 0;
PhysicsEntry* gActive[kPhysicsMaxEntries];
int32_t gActiveCount = 0;
Fx3dType gType;
int32_t gStepCounter = 0;

/// The half side of the cube inscribed in a sphere of radius 1.
constexpr float kInvSqrt3 = 0.57735026f;

W3dNode* NodeOf(PhysicsEntry* entry)
{
    return entry->node.IsValid() ? static_cast<W3dNode*>(entry->node.GetObject()) : nullptr;
}

void Position(W3dNode* node, float* out)
{
    const Vector* p = node->GetWorldPosition();
    out[0] = p->x, out[1] = p->y, out[2] = p->z;
}

void ConstructType()
{
    gType = Fx3dType{};
    gType.direction[0] = 0, gType.direction[1] = 1, gType.direction[2] = 0;
    gType.spinAxis[0] = 0, gType.spinAxis[1] = 1, gType.spinAxis[2] = 0;
    gType.fadeDuration = -1.0f;
}

void WakeUp(PhysicsEntry* entry, int64_t now)
{
    W3dNode* node = NodeOf(entry);
    Position(node, entry->launch.position);
    entry->body.Launch(now, gType, entry->launch);
    entry->body.ClearBounces();
    float ground = 0.0f;
    entry->launch.ground = FxGroundProbe(entry->launch.position, 50.0f, 1000.0f, &ground) ? ground : -FLT_MAX;
}
} // namespace

int32_t PhysicsRegister(W3dNode* node)
{
    if (!node || gIdleCount >= kPhysicsMaxEntries)
        return 0;
    auto* entry = new PhysicsEntry();
    entry->node.Assign(node);
    Position(node, entry->launch.position);
    entry->launch.ground = 0.0f;
    entry->holder.SetNode(node);
    entry->body.holder = &entry->holder;
    entry->body.state = FxBody::kRemoved;
    gIdle[gIdleCount++] = entry;
    return 1;
}

int32_t PhysicsUnRegister(W3dNode* node)
{
    for (int32_t i = 0; i < gIdleCount; ++i)
        if (gIdle[i]->node.GetObject() == node && NodeOf(gIdle[i]))
        {
            gIdle[i]->alive = 0;
            return 1;
        }
    return 0;
}

int32_t PhysicsSetDirty(W3dNode* support)
{
    if (!support)
        return 1;
    float d[3];
    Position(support, d);
    const Sphere* bounds = support->GetBoundingSphere();
    const float b = (bounds ? bounds->radius : 0.0f) * kInvSqrt3;
    const int64_t now = HbGameClock::Instance()->mGameTime;
    for (int32_t i = 0; i < gIdleCount;)
    {
        PhysicsEntry* entry = gIdle[i];
        W3dNode* node = NodeOf(entry);
        if (!node)
        {
            entry->node.Reset();
            ++i;
            continue;
        }
        float e[3];
        Position(node, e);
        if (node == support || !(std::fabs(e[0] - d[0]) < b && std::fabs(e[2] - d[2]) < b && e[1] > d[1]))
        {
            ++i;
            continue;
        }
        // The last entry fills the place and is examined next.
        gIdle[i] = gIdle[--gIdleCount];
        if (gActiveCount < kPhysicsMaxEntries)
        {
            gActive[gActiveCount++] = entry;
            WakeUp(entry, now);
        }
        else
        {
            // No room to move it: it is no longer tracked.
            delete entry;
        }
    }
    return 1;
}

void PhysicsInitConstants()
{
    ConstructType();
    gType.pieces = 1;
    gType.launchWindow = Fx3dTicks(0.1f);
    gType.launchInterval = Fx3dTicks(0.1f);
    gType.life = Fx3dTicks(5.0f);
    gType.restitution = 0.4f;
    // No fade: the life ends 5 s after the launch.
    gType.piecesReserved = 1;
    gType.fadeDelay = 0;
    gStepCounter = 0;
}

void PhysicsStep()
{
    ++gStepCounter;
    if (gActiveCount == 0)
        return;
    for (int32_t i = 0; i < gActiveCount;)
    {
        PhysicsEntry* entry = gActive[i];
        if (entry->alive && NodeOf(entry) && entry->body.state != FxBody::kRemoved)
        {
            ++i;
            continue;
        }
        if (gIdleCount < kPhysicsMaxEntries)
            gIdle[gIdleCount++] = entry;
        else
            delete entry;
        gActive[i] = gActive[--gActiveCount];
    }
    HbGameClock* clock = HbGameClock::Instance();
    const int64_t now = clock->mGameTime;
    for (int32_t i = 0; i < gActiveCount; ++i)
        gActive[i]->body.Integrate(now, clock->mStepSeconds);
    for (int32_t i = 0; i < gActiveCount; ++i)
        gActive[i]->body.Collide(now, gType, gActive[i]->launch);
    for (int32_t i = 0; i < gActiveCount; ++i)
        gActive[i]->body.Apply();
    for (int32_t i = 0; i < gActiveCount; ++i)
        gActive[i]->body.Finish(now, gType);
}

void PhysicsFreeBodies()
{
    for (int32_t i = 0; i < gIdleCount; ++i)
        delete gIdle[i];
    gIdleCount = 0;
}

void PhysicsFreeAll()
{
    PhysicsFreeBodies();
    for (int32_t i = 0; i < gActiveCount; ++i)
        delete gActive[i];
    gActiveCount = 0;
}

int32_t PhysicsIdleCount()
{
    return gIdleCount;
}

int32_t PhysicsActiveCount()
{
    return gActiveCount;
}

int32_t PhysicsBodyState(W3dNode* node)
{
    for (int32_t i = 0; i < gIdleCount; ++i)
        if (gIdle[i]->node.GetObject() == node)
            return gIdle[i]->body.state;
    for (int32_t i = 0; i < gActiveCount; ++i)
        if (gActive[i]->node.GetObject() == node)
            return gActive[i]->body.state;
    return -1;
}

// ---- Module "physic" -----------------------------------------------------------------------------

namespace
{
/// The node of the actor bound to the single argument; null (answer 0) when there is none,
/// false when the arguments do not parse.
bool ArgumentNode(PyObject* args, W3dNode** node)
{
    PyObject* object = nullptr;
    if (!PyArg_ParseTuple(args, "O", &object))
        return false;
    TsActor* actor = FxActorOf(object);
    *node = actor ? actor->GetNode() : nullptr;
    return true;
}

PyObject* Register(PyObject*, PyObject* args)
{
    W3dNode* node = nullptr;
    if (!ArgumentNode(args, &node))
        return nullptr;
    return PyLong_FromLong(node ? PhysicsRegister(node) : 0);
}

PyObject* UnRegister(PyObject*, PyObject* args)
{
    W3dNode* node = nullptr;
    if (!ArgumentNode(args, &node))
        return nullptr;
    return PyLong_FromLong(node ? PhysicsUnRegister(node) : 0);
}

PyObject* SetDirty(PyObject*, PyObject* args)
{
    W3dNode* node = nullptr;
    if (!ArgumentNode(args, &node))
        return nullptr;
    return PyLong_FromLong(node ? PhysicsSetDirty(node) : 0);
}

PyMethodDef kPhysicMethods[] = {
    {"Register", Register, METH_VARARGS, nullptr},
    {"UnRegister", UnRegister, METH_VARARGS, nullptr},
    {"SetDirty", SetDirty, METH_VARARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};
} // namespace

void PhysicsModuleFill(PyObject* module, int32_t)
{
    FxAddFunctions(module, kPhysicMethods);
}
