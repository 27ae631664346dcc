// Animation event delivery: the events of a playing animation's event set reach the node
// that plays it when the animation passes their times, through the timed callback of the
// channel's interpolator. Also the animation layer's start-up and shut-down hooks.
#pragma once

#include <cstdint>

class HbRoot;
class RdEventSet;
struct Hierarchy;

/// Called with each event id delivered to its node.
using RdEventReceiverFn = void (*)(int32_t eventId, void* data);

/// What a node that receives animation events carries (the animated model node derives from
/// it as well as from its root class): the receiver the actor layer sets, or none.
class RdEventReceiverOwner
{
public:
    virtual ~RdEventReceiverOwner() = default;
    RdEventReceiverFn mEventReceiver = nullptr;
    void* mEventReceiverData = nullptr;
};

namespace RdEventManager
{
/// Delivers the set's events to the node (an HbRoot that is also an RdEventReceiverOwner;
/// held weakly). Nothing for an empty set. A hierarchy registered before gets the new set
/// and starts again at event 0. 0.
int32_t Register(Hierarchy* hierarchy, RdEventSet* set, HbRoot* node);
/// Disarms the interpolator's timed callback and drops the hierarchy's registration. 0.
int32_t Unregister(Hierarchy* hierarchy);
/// Registrations held.
int32_t GetCount();
} // namespace RdEventManager

/// Start-up of the animation layer: the registration list, then the bone, event and profile
/// name tables. 0.
int32_t AnimSystemInit();
/// Does nothing. 0.
int32_t AnimSystemShutdown();
