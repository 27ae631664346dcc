// Animation event delivery.
#include "rdeventmanager.h"

#include "animation.h"
#include "hbgrowarray.h"
#include "hbperclassfreelist.h"
#include "hbptr.h"
#include "hierarchy.h"
#include "rdanim.h"
#include "rdnameidtable.h"

namespace
{

/// One hierarchy's delivery state.
struct THierarchyDataContent
{
    HB_DECLARE_CLASS_POOL();

    HbHandlePtr node;
    Hierarchy* hierarchy = nullptr;
    int32_t next = 0;
    RdEventSet* set = nullptr; ///< a reference is held
};

HbGrowArray<THierarchyDataContent*> sRegistrations;
/// The registration whose receiver is being called: a receiver may unregister or re-register
/// its own hierarchy, and the delivery loop must not run on after that.
THierarchyDataContent* sDelivering = nullptr;
bool sDroppedWhileDelivering = false;

int32_t OnEventDue(AnimInterpolator* interpolator, void* data);

void Arm(THierarchyDataContent* registration)
{
    AnimInterpolator::SetTimedCallback(registration->hierarchy->interpolator, OnEventDue,
                                       registration->set->Get(registration->next).time, registration);
}

void Deliver(THierarchyDataContent* registration, int32_t eventId)
{
    // A node that died is dropped here: IsValid releases the handle.
    if (!registration->node.IsValid())
        return;
    auto* owner = dynamic_cast<RdEventReceiverOwner*>(registration->node.GetObject());
    if (owner && owner->mEventReceiver)
        owner->mEventReceiver(eventId, owner->mEventReceiverData);
}

int32_t OnEventDue(AnimInterpolator* interpolator, void* data)
{
    auto* registration = static_cast<THierarchyDataContent*>(data);
    RdEventSet* set = registration->set;
    const int32_t count = set ? set->GetCount() : 0;
    if (count == 0)
        return 0;
    if (registration->next >= count)
        registration->next = 0;
    const float now = interpolator->currentTime;
    const int32_t start = registration->next;
    // An armed event later than the current time means the animation wrapped past its end:
    // the rest of the cycle is delivered up to the duration.
    const bool wrapped = set->Get(registration->next).time > now;
    const float limit = wrapped && interpolator->animation ? interpolator->animation->duration : now;
    for (;;)
    {
        const RdEvent& event = set->Get(registration->next);
        if (event.time > limit)
            break;
        if (!set->mMuted)
        {
            sDelivering = registration;
            sDroppedWhileDelivering = false;
            Deliver(registration, event.id);
            sDelivering = nullptr;
            if (sDroppedWhileDelivering)
            {
                // Unregistered from the receiver: the timed callback is already disarmed.
                delete registration;
                return 0;
            }
            if (registration->set != set)
                return 1; // re-registered with a new set, armed at its first event
        }
        if (++registration->next == count)
        {
            registration->next = 0;
            if (!wrapped)
                break;
        }
        if (registration->next == start)
            break;
    }
    Arm(registration);
    return 1;
}

} // namespace

HB_DEFINE_CLASS_POOL(THierarchyDataContent, "THierarchyDataContent", 50);

int32_t RdEventManager::Register(Hierarchy* hierarchy, RdEventSet* set, HbRoot* node)
{
    if (!hierarchy || !hierarchy->interpolator || !set || set->GetCount() == 0)
        return 0;
    THierarchyDataContent* registration = nullptr;
    for (int32_t i = 0; i < sRegistrations.GetCount() && !registration; ++i)
        if (sRegistrations[i]->hierarchy == hierarchy)
            registration = sRegistrations[i];
    if (!registration)
    {
        registration = new THierarchyDataContent();
        if (!registration)
            return 0;
        if (sRegistrations.GetCapacity() == sRegistrations.GetCount())
            sRegistrations.SetSize(sRegistrations.GetCount(), 1);
        if (sRegistrations.Add(registration) < 0)
        {
            delete registration;
            return 0;
        }
        registration->node.Assign(node);
        registration->hierarchy = hierarchy;
    }
    set->AddRef();
    if (registration->set)
        registration->set->Release();
    registration->set = set;
    registration->next = 0;
    Arm(registration);
    return 0;
}

int32_t RdEventManager::Unregister(Hierarchy* hierarchy)
{
    if (!hierarchy)
        return 0;
    if (hierarchy->interpolator)
        AnimInterpolator::SetTimedCallback(hierarchy->interpolator, nullptr, 0.0f, nullptr);
    const int32_t count = sRegistrations.GetCount();
    for (int32_t i = 0; i < count; ++i)
    {
        THierarchyDataContent* registration = sRegistrations[i];
        if (registration->hierarchy != hierarchy)
            continue;
        registration->node.Reset();
        if (registration->set)
            registration->set->Release();
        registration->set = nullptr;
        if (registration == sDelivering)
            sDroppedWhileDelivering = true; // deleted once its delivery loop returns
        else
            delete registration;
        sRegistrations[i] = sRegistrations[count - 1];
        sRegistrations.SetSize(count - 1);
        break;
    }
    return 0;
}

int32_t RdEventManager::GetCount()
{
    return sRegistrations.GetCount();
}

int32_t AnimSystemInit()
{
    NameIdTable::Bones();
    NameIdTable::Events();
    NameIdTable::Profiles();
    return 0;
}

int32_t AnimSystemShutdown()
{
    return 0;
}
