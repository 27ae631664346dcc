// ScriptWorldManager: the per-frame world. The actor list, the event queue and its
// delivery, the sensors, distances, lines of sight and range queries.
#include "scriptworldmanager.h"

#include "hbclock.h"
#include "scriptinterpreter.h"
#include "tsactor.h"
#include "tsevent.h"
#include "tsfamilies.h"
#include "tsmotorskills.h"
#include "uthread.h"
#include "tssendevent.h"
#include "w3dcollision.h"
#include "w3dlevel.h"
#include "w3dnode.h"
#include "wscene.h"

#include <Python.h>

namespace
{
void PrintPendingError()
{
    if (PyErr_Occurred())
        PyErr_Print();
}

PyObject* ScriptObjectOrNone(TsActor* actor)
{
    PyObject* object = actor ? actor->GetScriptObject() : nullptr;
    return object ? object : Py_None;
}

int64_t NowTicks()
{
    HbGameClock* clock = HbGameClock::Instance();
    return clock ? clock->mGameTime : 0;
}

float LastStepSeconds()
{
    HbGameClock* clock = HbGameClock::Instance();
    return clock ? clock->mStepSeconds : 0.0f;
}

/// The collision world of the scene's level, or null.
World* LevelWorld(WScene* scene)
{
    W3dLevel* level = scene ? scene->GetLevel() : nullptr;
    return level ? level->GetMainWorld() : nullptr;
}
} // namespace

// ---- The frame -------------------------------------------------------------------------------------

void ScriptWorldManager::Update()
{
    mLastSensorKind = 0;
    if (mScriptFailure)
        return;
    BeginWalk();
    if (mHero && mHero->mRegistered)
        UpdateActor(mHero);
    UpdateActors();
    EndWalk();
    if (mHooks.eventBoxesUpdate)
        mHooks.eventBoxesUpdate(mEventBoxes);
    if (mHooks.triggersTickAll)
        mHooks.triggersTickAll();
}

void ScriptWorldManager::UpdateActor(TsActor* actor)
{
    UpdateSensors(actor);
    if (mScriptFailure)
        return;
    CheckSkillError(actor);
    actor->RunPendingScriptCall();
}

int32_t ScriptWorldManager::UpdateActors()
{
    mCameraCollisionCount = 0;
    if (!FlushEvents())
        return 0;
    for (HbPtrListNode* node = mActors.GetHead(); node;)
    {
        HbPtrListNode* next = node->next;
        mCurrentNode = node;
        auto* actor = static_cast<TsActor*>(node->value);
        if (actor->mRemovalRequested)
        {
            // Asked during an earlier actor's turn: it is not updated any more.
            RemoveActorNode(node);
            node = next;
            continue;
        }
        if (actor == mHero || !actor->mRegistered)
        {
            node = next;
            continue;
        }
        UpdateSensors(actor);
        if (mScriptFailure)
            break;
        CheckSkillError(actor);
        actor->RunPendingScriptCall();
        if (mScriptFailure)
            break;
        if (actor->mRemovalRequested)
        {
            RemoveActorNode(node);
        }
        else if (W3dNode* w3dNode = actor->GetNode();
                 w3dNode && (w3dNode->GetFlags() & W3dNode::kVisible) &&
                 w3dNode->GetMoveCollisionSet().IsEnabled() && (actor->mFamily & CameraCollFamily))
        {
            if (mCameraCollisionCount < kMaxCameraCollisionActors)
                mCameraCollision[mCameraCollisionCount++] = actor;
        }
        node = next;
    }
    mCurrentNode = nullptr;
    return mScriptFailure ? 0 : 1;
}

void ScriptWorldManager::CheckSkillError(TsActor* actor)
{
    if (actor != mHero)
    {
        if (TsMotorSkills* skills = actor->GetMotorSkills())
        {
            skills->LoopSkill(skills->GetCurrentSkillName());
            if (uint32_t code = skills->GetErrorCode())
            {
                TsSendEvent event;
                event.id = kEventSkillError;
                event.sender = actor;
                event.target = actor;
                event.value = float(code);
                QueueEvent(event);
            }
        }
    }
    actor->Update();
}

// ---- Sensors ------------------------------------------------------------------------------------------

bool ScriptWorldManager::RateAllows(TsEvent* event, float period) const
{
    int64_t now = NowTicks();
    auto periodTicks = int64_t(double(HbPerformanceFrequency()) * double(period));
    if (now <= event->lastTestTime + periodTicks)
        return false;
    event->lastTestTime = now;
    return true;
}

void ScriptWorldManager::UpdateSensors(TsActor* actor)
{
    for (HbPtrListNode* node = actor->GetEvents().GetHead(); node;)
    {
        HbPtrListNode* next = node->next;
        auto* event = static_cast<TsEvent*>(node->value);
        node = next;
        if (!event->active)
            continue;
        SensorTest test = nullptr;
        SensorDelivery delivery = &ScriptWorldManager::DeliverCall;
        float period = 0.0f;
        switch (event->id)
        {
        case kEventDistanceIn:
            test = &ScriptWorldManager::TestDistanceIn;
            period = kDistancePeriod;
            break;
        case kEventDistanceOut:
            test = &ScriptWorldManager::TestDistanceOut;
            period = kDistancePeriod;
            break;
        case kEventDistanceInColl:
            test = &ScriptWorldManager::TestDistanceInColl;
            period = kDistancePeriod;
            break;
        case kEventSee:
            test = &ScriptWorldManager::TestSee;
            period = kSightPeriod;
            break;
        case kEventTimer1:
        case kEventTimer2:
        case kEventTimer3:
        case kEventTimer4:
            test = &ScriptWorldManager::TestTimer;
            delivery = &ScriptWorldManager::DeliverTimer;
            break;
        case kEventContextAction:
            test = &ScriptWorldManager::TestContextAction;
            delivery = &ScriptWorldManager::DeliverContext;
            break;
        default:
            continue;
        }
        if (period > 0.0f && !RateAllows(event, period))
            continue;
        DispatchSensorEvent(actor, event, test, delivery);
    }
    actor->PurgeEvents();
}

int32_t ScriptWorldManager::DispatchSensorEvent(TsActor* owner, TsEvent* event, SensorTest test,
                                                SensorDelivery delivery)
{
    if (event->target)
    {
        if ((this->*test)(owner, event->target, event))
            (this->*delivery)(event->target, event);
        return 1;
    }
    for (HbPtrListNode* node = mActors.GetHead(); node;)
    {
        HbPtrListNode* next = node->next;
        auto* actor = static_cast<TsActor*>(node->value);
        node = next;
        if (!actor->mRegistered || actor->mRemovalRequested || actor == owner ||
            !TsFamilyMatches(event->familyMask, actor->mFamily))
            continue;
        if ((this->*test)(owner, actor, event) && !(this->*delivery)(actor, event))
            break;
    }
    return 1;
}

int32_t ScriptWorldManager::TestDistanceIn(TsActor* owner, TsActor* candidate, TsEvent* event)
{
    // A negative distance means no place to measure from: it never passes.
    float distance = GetActorDistance(owner, candidate);
    return distance >= 0.0f && distance <= event->value;
}

int32_t ScriptWorldManager::TestDistanceOut(TsActor* owner, TsActor* candidate, TsEvent* event)
{
    float distance = GetActorDistance(owner, candidate);
    return distance >= 0.0f && distance > event->value;
}

int32_t ScriptWorldManager::TestDistanceInColl(TsActor* owner, TsActor* candidate, TsEvent* event)
{
    return TestDistanceIn(owner, candidate, event) && !IsLineOfSightBlocked(owner, candidate);
}

int32_t ScriptWorldManager::TestSee(TsActor* owner, TsActor* candidate, TsEvent* event)
{
    return mHooks.seesActor ? mHooks.seesActor(owner, candidate, event->value) : 0;
}

int32_t ScriptWorldManager::TestTimer(TsActor*, TsActor*, TsEvent* event)
{
    event->value -= LastStepSeconds();
    return 1;
}

int32_t ScriptWorldManager::TestContextAction(TsActor* owner, TsActor* candidate, TsEvent* event)
{
    if (mLastSensorKind == kEventContextAction || !mHero || mHero->mHitPoints <= 0 || !mHooks.contextAction)
        return 0;
    return mHooks.contextAction(owner, candidate, event->value);
}

int32_t ScriptWorldManager::DeliverCall(TsActor* candidate, TsEvent* event)
{
    if (!event->callable || event->callable == Py_None)
        return 1;
    PyObject* args = PyTuple_Pack(1, ScriptObjectOrNone(candidate));
    PyObject* result = args ? UthreadGuardedCall(event->callable, args) : nullptr;
    Py_XDECREF(args);
    Py_XDECREF(result);
    // A failing sensor callback is ignored; its error must not stay set.
    PrintPendingError();
    return 1;
}

int32_t ScriptWorldManager::DeliverTimer(TsActor*, TsEvent* event)
{
    if (!event->callable || event->value >= -0.001f)
        return 0;
    event->value = event->period;
    if (event->callable != Py_None)
    {
        PyObject* result = UthreadGuardedCall(event->callable, nullptr);
        Py_XDECREF(result);
        PrintPendingError();
    }
    return 0;
}

int32_t ScriptWorldManager::DeliverContext(TsActor* candidate, TsEvent* event)
{
    if (!event->callable)
        return 1;
    mLastSensorKind = event->id;
    if (event->callable == Py_None)
        return 1;
    PyObject* args = PyTuple_Pack(2, ScriptObjectOrNone(candidate), Py_None);
    PyObject* result = args ? UthreadGuardedCall(event->callable, args) : nullptr;
    Py_XDECREF(args);
    Py_XDECREF(result);
    PrintPendingError();
    return 0;
}

// ---- The event queue -----------------------------------------------------------------------------

void ScriptWorldManager::QueueEvent(const TsSendEvent& event)
{
    for (int32_t i = 0; i < mQueueCount; ++i)
        if (mQueue[i]->id == event.id && mQueue[i]->target == event.target)
            return;
    if (mQueueCount >= mQueue.GetCount())
    {
        int32_t size = mQueue.GetCount() ? mQueue.GetCount() + 1 : kInitialQueueSize;
        if (!mQueue.SetSize(size))
            return;
    }
    TsSendEvent* copy = TsSendEvent::Allocate();
    if (!copy)
        return;
    copy->id = event.id;
    copy->sender = event.sender;
    copy->target = event.target;
    copy->value = event.value;
    mQueue[mQueueCount++] = copy;
}

int32_t ScriptWorldManager::FlushEvents()
{
    // Only what was queued before the flush: two handlers that answer each other would
    // otherwise keep one flush going for ever.
    mFlushCount = mQueueCount;
    while (mFlushCount > 0)
    {
        TsSendEvent* event = mQueue[0];
        TsActor* target = event->target;
        if (target && !target->GetEvents().IsEmpty())
        {
            for (HbPtrListNode* node = target->GetEvents().GetHead(); node; node = node->next)
            {
                auto* registration = static_cast<TsEvent*>(node->value);
                if (!registration->active || registration->id != event->id)
                    continue;
                if (target == mHero)
                {
                    if (!registration->callback)
                        continue;
                    registration->callback(event->sender, event->value, target);
                    break;
                }
                PyObject* callable = registration->callable;
                if (callable && callable != Py_None && ScriptInterpreter::IsStarted())
                {
                    PyObject* identity =
                        PyLong_FromVoidPtr(event->sender ? static_cast<void*>(event->sender) : Py_None);
                    PyObject* args = nullptr;
                    if (identity)
                    {
                        args = Py_BuildValue("(OdN)", ScriptObjectOrNone(event->sender), double(event->value),
                                             identity);
                    }
                    // A holder of the callable for the call: the script may drop the registration.
                    Py_INCREF(callable);
                    PyObject* result = args ? UthreadGuardedCall(callable, args) : nullptr;
                    Py_DECREF(callable);
                    Py_XDECREF(args);
                    if (!result)
                    {
                        // The world stops until the next level start; the event stays first.
                        mScriptFailure = 1;
                        mFlushCount = 0;
                        PrintPendingError();
                        return 0;
                    }
                    Py_DECREF(result);
                }
                break;
            }
        }
        // The script may have queued or dropped events: find this one again.
        int32_t position = 0;
        while (position < mFlushCount && mQueue[position] != event)
            ++position;
        if (position < mFlushCount)
            RemoveQueued(position);
    }
    return 1;
}

void ScriptWorldManager::RemoveQueued(int32_t index)
{
    TsSendEvent::Free(mQueue[index]);
    if (index < mFlushCount)
    {
        // The flush's last event fills the gap and the newest event the flush's last place.
        mQueue[index] = mQueue[--mFlushCount];
        index = mFlushCount;
    }
    mQueue[index] = mQueue[--mQueueCount];
}

void ScriptWorldManager::ClearQueue()
{
    for (int32_t i = 0; i < mQueueCount; ++i)
        TsSendEvent::Free(mQueue[i]);
    mQueueCount = 0;
    mFlushCount = 0;
}

// ---- The actor list ---------------------------------------------------------------------------------

HbPtrListNode* ScriptWorldManager::FindActorNode(TsActor* actor) const
{
    for (HbPtrListNode* node = mActors.GetHead(); node; node = node->next)
        if (node->value == actor)
            return node;
    return nullptr;
}

int32_t ScriptWorldManager::AddActor(TsActor* actor)
{
    if (!actor)
        return 0;
    actor->mRegistered = 1;
    if (FindActorNode(actor))
    {
        // Deleted and added again during one walk: it stays.
        actor->mRemovalRequested = 0;
        return 0;
    }
    HbPtrListNode* node = actor == mHero ? mActors.AddHead(actor) : mActors.AddTail(actor);
    if (!node)
        return 0;
    actor->AddRef();
    return 1;
}

int32_t ScriptWorldManager::RemoveActor(TsActor* actor)
{
    HbPtrListNode* node = actor ? FindActorNode(actor) : nullptr;
    if (!node)
        return 0;
    if (mWalkDepth > 0)
    {
        // The walk holds the next node already: the node must live until the walk ends.
        actor->mRemovalRequested = 1;
        mRemovalsPending = 1;
        return 0;
    }
    RemoveActorNode(node);
    return 1;
}

void ScriptWorldManager::EndWalk()
{
    if (--mWalkDepth > 0 || !mRemovalsPending)
        return;
    mRemovalsPending = 0;
    for (HbPtrListNode* node = mActors.GetHead(); node;)
    {
        HbPtrListNode* next = node->next;
        if (static_cast<TsActor*>(node->value)->mRemovalRequested)
            RemoveActorNode(node);
        node = next;
    }
}

void ScriptWorldManager::RemoveActorNode(HbPtrListNode* node)
{
    auto* actor = static_cast<TsActor*>(node->value);
    for (int32_t i = 0; i < mQueueCount;)
    {
        if (mQueue[i]->target == actor || mQueue[i]->sender == actor)
            RemoveQueued(i);
        else
        {
            ++i;
        }
    }
    actor->mRegistered = 0;
    actor->mRemovalRequested = 0;
    if (mCurrentNode == node)
        mCurrentNode = nullptr;
    mActors.RemoveAt(node);
    DropRegistrationsOn(actor);
    actor->Release();
}

void ScriptWorldManager::DropRegistrationsOn(TsActor* actor)
{
    auto drop = [actor](TsActor* watcher)
    {
        for (HbPtrListNode* node = watcher->GetEvents().GetHead(); node; node = node->next)
        {
            auto* event = static_cast<TsEvent*>(node->value);
            if (event->target == actor)
            {
                event->active = 0;
                event->SetTarget(nullptr);
            }
        }
    };
    for (HbPtrListNode* node = mActors.GetHead(); node; node = node->next)
        drop(static_cast<TsActor*>(node->value));
    if (mHero && mHero != actor)
        drop(mHero);
    // The leaving actor's own registrations on itself would hold it for ever.
    drop(actor);
}

TsActor* ScriptWorldManager::SetHero(TsActor* actor)
{
    if (actor)
        actor->AddRef();
    TsActor* old = mHero;
    mHero = actor;
    if (old)
        old->Release();
    return actor;
}

int32_t ScriptWorldManager::ForEachActor(ActorFunction fn, void* a, void* b)
{
    return ForEachActorWithFlags(fn, a, b, UndefinedFamily, 0);
}

int32_t ScriptWorldManager::ForEachActorWithFlags(ActorFunction fn, void* a, void* b, uint32_t wanted,
                                                  uint32_t excluded)
{
    if (!fn)
        return 1;
    int32_t result = 1;
    BeginWalk();
    for (HbPtrListNode* node = mActors.GetHead(); node;)
    {
        HbPtrListNode* next = node->next;
        auto* actor = static_cast<TsActor*>(node->value);
        node = next;
        if (!TsFamilyMatches(wanted, actor->mFamily) || (actor->mFamily & excluded))
            continue;
        if (!fn(actor, a, b))
        {
            result = 0;
            break;
        }
    }
    EndWalk();
    return result;
}

// ---- Distances, sight and ranges -----------------------------------------------------------------

float ScriptWorldManager::GetActorDistance(TsActor* a, TsActor* b)
{
    if (!a || !b)
        return -1.0f;
    if (a == b)
        return 0.0f;
    W3dNode* nodeA = a->GetNode();
    W3dNode* nodeB = b->GetNode();
    if (!nodeA || !nodeB)
        return -1.0f;
    if (nodeA == nodeB)
        return 0.0f;
    if (!nodeA->GetScene() || !nodeB->GetScene())
        return -1.0f;
    if (a == mHero)
        return b->GetDistanceSquaredTo(a);
    if (b == mHero)
        return a->GetDistanceSquaredTo(b);
    const Vector* p = nodeA->GetWorldPosition();
    const Vector* q = nodeB->GetWorldPosition();
    float dx = p->x - q->x, dy = p->y - q->y, dz = p->z - q->z;
    return dx * dx + dy * dy + dz * dz;
}

int32_t ScriptWorldManager::IsLineOfSightBlocked(TsActor* a, TsActor* b)
{
    W3dNode* nodeA = a ? a->GetNode() : nullptr;
    W3dNode* nodeB = b ? b->GetNode() : nullptr;
    // Nothing to look from or at: nothing is seen.
    if (!nodeA || !nodeB)
        return 1;
    Vector from = *nodeA->GetWorldPosition();
    Vector to = *nodeB->GetWorldPosition();
    if (from.x == to.x && from.y == to.y && from.z == to.z)
        return 0;
    World* world = LevelWorld(mScene);
    if (!world)
        return 0;
    from.y += 90.0f;
    to.y -= 90.0f;
    W3dCollisionResult result;
    return CollisionTestLineEx(nullptr, world, &from, &to, nodeA, nodeB, &result, nullptr);
}

int32_t ScriptWorldManager::TestSegment(W3dCollisionResult* result, const Vector* point, W3dNode* ignore, float height)
{
    World* world = LevelWorld(mScene);
    if (!result || !point)
        return 0;
    if (!world)
    {
        result->Clear();
        return 0;
    }
    Vector top = {point->x, point->y + height, point->z};
    Vector bottom = {point->x, point->y - height, point->z};
    return CollisionTestLineEx(nullptr, world, &top, &bottom, ignore, nullptr, result, nullptr);
}

bool ScriptWorldManager::InRange(TsActor* centre, TsActor* actor, int32_t radius, uint32_t mask, int32_t needSight,
                                 float* distance)
{
    if (!TsFamilyMatches(mask, actor->mFamily))
        return false;
    W3dNode* node = actor->GetNode();
    if (centre && node && node == centre->GetNode())
        return false;
    *distance = GetActorDistance(actor, centre);
    // In 64 bits: a radius of 65,536 or more would wrap as a 32-bit square.
    int64_t limit = int64_t(radius) * int64_t(radius);
    if (*distance < 0.0f || double(*distance) >= double(limit))
        return false;
    return !needSight || !IsLineOfSightBlocked(actor, centre);
}

int32_t ScriptWorldManager::QueryActorsInRange(RangeFunction fn, void* user, TsActor* centre, int32_t radius,
                                               uint32_t mask, int32_t needSight)
{
    if (!fn || !centre || radius < 0)
        return 1;
    BeginWalk();
    for (HbPtrListNode* node = mActors.GetHead(); node;)
    {
        HbPtrListNode* next = node->next;
        auto* actor = static_cast<TsActor*>(node->value);
        node = next;
        float distance = 0.0f;
        if (InRange(centre, actor, radius, mask, needSight, &distance) && !fn(actor, user, &distance))
            break;
    }
    EndWalk();
    return 1;
}

int32_t ScriptWorldManager::QueueEventsInRange(TsActor* centre, int32_t radius, int32_t id, uint32_t mask,
                                               int32_t needSight, float value)
{
    if (!centre || radius < 0)
        return 1;
    for (HbPtrListNode* node = mActors.GetHead(); node; node = node->next)
    {
        auto* actor = static_cast<TsActor*>(node->value);
        float distance = 0.0f;
        if (!InRange(centre, actor, radius, mask, needSight, &distance))
            continue;
        TsSendEvent event;
        event.id = id;
        event.sender = centre;
        event.target = actor;
        event.value = value;
        QueueEvent(event);
    }
    return 1;
}
