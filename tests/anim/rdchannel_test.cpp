// Channels: the weight ramp, timed and event callbacks, end and loop handling, procedural
// channels, the fixed tables' limits and the hierarchy cache; event delivery to nodes.
#include "anim_fixture.h"

#include "animation.h"
#include "hierarchy.h"
#include "rdanim.h"
#include "rdanimchannel.h"
#include "rdeventmanager.h"
#include "rdprocchannel.h"

#include <cmath>
#include <vector>

namespace
{

using animtest::AnimTest;

class RdChannelTest : public AnimTest
{
protected:
    /// A channel on a new resource of the given duration, attached to the model hierarchy.
    RdAnimChannel* Play(float duration, bool loop, RdAnimation** resource = nullptr)
    {
        RdAnimation* anim = MakeResource("C_ANM", duration, {0, 0, 100.0f});
        if (resource)
            *resource = anim;
        auto* channel = new RdAnimChannel(7, anim, 0.0f, mNow);
        channel->AddRef();
        channel->SetLoop(loop ? 1 : 0);
        channel->Attach(ModelHierarchy(), mNow);
        return channel;
    }

    static void Count(uint16_t, void* data) { ++*static_cast<int*>(data); }
};

/// A node receiving events: records each id with the game time of its delivery.
class Receiver : public HbRoot, public RdEventReceiverOwner
{
public:
    Receiver()
    {
        mEventReceiver = [](int32_t id, void* data) { static_cast<Receiver*>(data)->Got(id); };
        mEventReceiverData = this;
    }
    void Got(int32_t id) { received.push_back({id, *clock}); }

    struct Delivery
    {
        int32_t id;
        int64_t time;
    };
    std::vector<Delivery> received;
    const int64_t* clock = nullptr;
};

TEST_F(RdChannelTest, WeightRampReachesItsEndExactlyAndHolds)
{
    RdProcChannel channel(1, 0);
    channel.UpdateWeight(0);
    EXPECT_EQ(channel.GetWeight(), 1.0f) << "a new channel holds weight 1";

    channel.SetWeightRamp(0.0f, 1.0f, 0, Ticks(0.5));
    channel.UpdateWeight(Ticks(0.25));
    EXPECT_FLOAT_EQ(channel.GetWeight(), 0.5f);
    channel.UpdateWeight(Ticks(0.5) + 1);
    EXPECT_EQ(channel.GetWeight(), 1.0f);
    channel.UpdateWeight(Ticks(10.0));
    EXPECT_EQ(channel.GetWeight(), 1.0f);

    channel.SetWeightRamp(1.0f, 0.0f, Ticks(10.0), 0);
    channel.UpdateWeight(Ticks(10.0) + 1);
    EXPECT_EQ(channel.GetWeight(), 0.0f) << "duration 0 jumps to the end value";
    EXPECT_EQ(channel.IsAlive(), 0);
    channel.SetWeightRamp(0.0f, 1.0f, Ticks(11.0), Ticks(1.0));
    channel.UpdateWeight(Ticks(11.0));
    EXPECT_EQ(channel.GetWeight(), 0.0f);
    EXPECT_EQ(channel.IsAlive(), 1) << "a rising ramp keeps the channel alive at weight 0";
}

TEST_F(RdChannelTest, TimedCallbackIsStretchedByTheSpeedFactor)
{
    RdAnimChannel* channel = Play(4.0f, true);
    channel->SetSpeed(200.0f); // root speed 25: factor 8
    channel->SetSpeed(50.0f);  // factor 2
    ASSERT_FLOAT_EQ(channel->GetSpeedFactor(), 2.0f);
    int fired = 0;
    ASSERT_EQ(channel->AddTimedCallback(Count, &fired, Ticks(1.0)), 1);
    std::vector<int> firedAt;
    for (int i = 1; i <= 20; ++i)
    {
        channel->Update(Step(0.1));
        if (fired && firedAt.empty())
            firedAt.push_back(i);
    }
    EXPECT_EQ(fired, 1);
    ASSERT_EQ(firedAt.size(), 1u);
    EXPECT_EQ(firedAt[0], 5) << "the first update at least 0.5 s after the attach";
    EXPECT_EQ(channel->GetCallbackCount(), 0);
    channel->Release();
}

TEST_F(RdChannelTest, EndCallbacksFireOnceAndTheChannelGoesOneUpdateLater)
{
    RdAnimChannel* channel = Play(1.0f, false);
    int ends = 0, loops = 0;
    channel->AddTimedCallback(Count, &ends, RdChannel::kEndEvent);
    channel->AddTimedCallback(Count, &loops, RdChannel::kLoopEvent);
    std::vector<int> results;
    for (int i = 0; i < 4; ++i)
        results.push_back(channel->Update(Step(0.3)));
    EXPECT_FLOAT_EQ(channel->GetTime(), 1.0f) << "the last frame is held";
    EXPECT_EQ(channel->mActive, 0);
    results.push_back(channel->Update(Step(0.3)));
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(loops, 0);
    EXPECT_EQ(results, (std::vector<int>{1, 1, 1, 1, 0})) << "the end fires in update 4; update 5 removes";
    channel->Release();
}

TEST_F(RdChannelTest, LoopCallbacksFireAtEveryWrap)
{
    RdAnimChannel* channel = Play(1.0f, true);
    int ends = 0, loops = 0;
    channel->AddTimedCallback(Count, &ends, RdChannel::kEndEvent);
    channel->AddTimedCallback(Count, &loops, RdChannel::kLoopEvent);
    int alive = 1;
    for (int i = 0; i < 14; ++i)
        alive &= channel->Update(Step(0.25));
    EXPECT_EQ(loops, 3);
    EXPECT_EQ(ends, 0);
    EXPECT_EQ(alive, 1);
    EXPECT_EQ(channel->GetCallbackCount(), 2) << "loop callbacks stay";
    channel->Release();
}

TEST_F(RdChannelTest, FixedTablesRefuseWhenFull)
{
    RdProcChannel channel(3, 0);
    int fired = 0;
    for (int i = 0; i < RdChannel::kMaxCallbacks; ++i)
        EXPECT_EQ(channel.AddTimedCallback(Count, &fired, Ticks(1.0) + i), 1);
    EXPECT_EQ(channel.AddTimedCallback(Count, &fired, 5), 0) << "the 17th callback";
    EXPECT_EQ(channel.GetCallbackCount(), 16);
    EXPECT_EQ(channel.RemoveCallback(Count, Ticks(1.0) + 3), 1);
    EXPECT_EQ(channel.RemoveCallback(Count, Ticks(1.0) + 3), 0);
    EXPECT_EQ(channel.AddTimedCallback(Count, &fired, 5), 1);

    int owners[10];
    for (int i = 0; i < RdChannel::kMaxDisabledProfiles; ++i)
        EXPECT_EQ(channel.AddDisabledKilledProfile(&owners[i], 2), 1);
    EXPECT_EQ(channel.AddDisabledKilledProfile(&owners[0], 2), 0) << "listed already";
    EXPECT_EQ(channel.AddDisabledKilledProfile(&owners[8], 2), 0) << "the 9th";
    EXPECT_EQ(channel.IsProfileEnabled(&owners[8], 2), 1);
    EXPECT_EQ(channel.IsProfileEnabled(&owners[3], 2), 0);
    EXPECT_EQ(channel.RemoveDisabledKilledProfile(&owners[3], 2), 1);
    EXPECT_EQ(channel.IsProfileEnabled(&owners[3], 2), 1);
    EXPECT_EQ(channel.AddDisabledKilledProfile(&owners[8], 2), 1);

    // Due callbacks fire once each, in one update, and leave the table.
    channel.Update(Ticks(2.0));
    EXPECT_EQ(fired, 16);
    EXPECT_EQ(channel.GetCallbackCount(), 0);
}

TEST_F(RdChannelTest, ProceduralChannelHandsItsBoneAndFiresEndOnDestruction)
{
    Hierarchy* model = ModelHierarchy();
    int ends = 0;
    struct Seen
    {
        void* keyFrame = nullptr;
        int calls = 0;
    } seen;
    {
        RdProcChannel channel(4, 0);
        RdProfile bones;
        bones.AddBone(1);
        channel.SetBones(bones);
        channel.Attach(model, 0);
        EXPECT_EQ(channel.GetKeyFrame(), AnimInterpolator::GetInterpFrame(model->interpolator, 1));
        channel.SetFunction(
            [](void* keyFrame, void* data)
            {
                static_cast<Seen*>(data)->keyFrame = keyFrame;
                ++static_cast<Seen*>(data)->calls;
            },
            &seen);
        channel.AddTimedCallback(Count, &ends, RdChannel::kEndEvent);
        EXPECT_EQ(channel.Update(Ticks(0.1)), 1);
        EXPECT_EQ(channel.Update(Ticks(0.2)), 1);
        EXPECT_EQ(seen.calls, 2);
        EXPECT_EQ(seen.keyFrame, channel.GetKeyFrame());
        EXPECT_EQ(ends, 0);
    }
    EXPECT_EQ(ends, 1);
}

TEST_F(RdChannelTest, HierarchyCacheReusesAndEmpties)
{
    Hierarchy* model = ModelHierarchy();
    RdAnimChannel* a = Play(1.0f, true);
    RdAnimChannel* b = Play(1.0f, true);
    ASSERT_NE(a->GetHierarchy(), nullptr);
    EXPECT_NE(a->GetHierarchy(), b->GetHierarchy()) << "each channel has its own";
    EXPECT_NE(a->GetHierarchy(), model);
    EXPECT_EQ(a->GetHierarchy()->nodeCount, model->nodeCount);
    EXPECT_EQ(RdHierarchyCache::GetInUseCount(), 2);
    Hierarchy* second = b->GetHierarchy();
    b->Release();
    RdAnimChannel* c = Play(1.0f, true);
    EXPECT_EQ(c->GetHierarchy(), second) << "a free cached hierarchy is taken again";
    EXPECT_EQ(RdHierarchyCache::GetCachedCount(), 2);
    a->Release();
    c->Release();
    EXPECT_EQ(RdHierarchyCache::GetInUseCount(), 0);
    EXPECT_EQ(RdHierarchyCache::GetCachedCount(), 0) << "the last release empties the cache";
}

// ---- Event delivery ----------------------------------------------------------------------------

class RdEventTest : public RdChannelTest
{
protected:
    RdAnimChannel* PlayWithEvents(const std::vector<RdEvent>& events, bool loop, Receiver* node)
    {
        RdAnimation* anim = nullptr;
        RdAnimChannel* channel = Play(1.0f, loop, &anim);
        for (const RdEvent& e : events)
            anim->GetEventSet()->Add(e);
        node->clock = &mNow;
        RdEventManager::Register(channel->GetHierarchy(), anim->GetEventSet(), node);
        return channel;
    }
};

TEST_F(RdEventTest, EventsOfALoopingAnimationArriveEveryCycle)
{
    auto* node = new Receiver();
    node->AddRef();
    RdAnimChannel* channel = PlayWithEvents({{0.2f, 1}, {0.6f, 2}}, true, node);
    for (int i = 0; i < 18; ++i)
        channel->Update(Step(0.1));
    ASSERT_EQ(node->received.size(), 4u);
    const double expected[] = {0.2, 0.6, 1.2, 1.6};
    for (int i = 0; i < 4; ++i)
    {
        EXPECT_EQ(node->received[i].id, i % 2 + 1);
        EXPECT_NEAR(double(node->received[i].time) / double(Ticks(1.0)), expected[i], 1e-6);
    }
    EXPECT_EQ(RdEventManager::GetCount(), 1);
    channel->Release();
    EXPECT_EQ(RdEventManager::GetCount(), 0) << "a destroyed channel unregisters";
    node->Release();
}

TEST_F(RdEventTest, SameTimeEventsArriveTogetherInSetOrder)
{
    auto* node = new Receiver();
    node->AddRef();
    RdAnimChannel* channel = PlayWithEvents({{0.5f, 3}, {0.5f, 1}, {0.55f, 2}}, true, node);
    for (int i = 0; i < 3; ++i)
        channel->Update(Step(0.15));
    EXPECT_TRUE(node->received.empty());
    channel->Update(Step(0.15)); // 0.6: all three pass in one update
    ASSERT_EQ(node->received.size(), 3u);
    EXPECT_EQ(node->received[0].id, 3);
    EXPECT_EQ(node->received[1].id, 1);
    EXPECT_EQ(node->received[2].id, 2);
    EXPECT_EQ(node->received[0].time, node->received[2].time);
    channel->Release();
    node->Release();
}

TEST_F(RdEventTest, MutedSetsAdvanceSilently)
{
    auto* node = new Receiver();
    node->AddRef();
    RdAnimation* anim = nullptr;
    RdAnimChannel* channel = Play(1.0f, true, &anim);
    anim->GetEventSet()->Add({0.2f, 1});
    anim->GetEventSet()->Add({0.6f, 2});
    node->clock = &mNow;
    RdEventManager::Register(channel->GetHierarchy(), anim->GetEventSet(), node);
    anim->GetEventSet()->mMuted = 1;
    for (int i = 0; i < 3; ++i)
        channel->Update(Step(0.1));
    anim->GetEventSet()->mMuted = 0;
    EXPECT_TRUE(node->received.empty());
    for (int i = 0; i < 4; ++i)
        channel->Update(Step(0.1));
    ASSERT_EQ(node->received.size(), 1u);
    EXPECT_EQ(node->received[0].id, 2) << "event 1 was passed while muted";
    channel->Release();
    node->Release();
}

TEST_F(RdEventTest, AReceiverMayEndItsOwnChannelOrRegistrationFromInsideACallback)
{
    // Each way a receiver stops its animation while the channel is stepping; the sanitizers
    // catch a channel, interpolator or registration used after it went.
    enum class Stop
    {
        kReleaseOnEvent,
        kReleaseOnTimedCallback,
        kReleaseOnEnd,
        kUnregisterOnEvent,
    };
    struct Case
    {
        Stop stop;
        bool loop;
    };
    for (const Case c : {Case{Stop::kReleaseOnEvent, true}, Case{Stop::kReleaseOnTimedCallback, true},
                         Case{Stop::kReleaseOnEnd, false}, Case{Stop::kUnregisterOnEvent, true}})
    {
        SCOPED_TRACE(int(c.stop));
        struct Killer : Receiver
        {
            RdAnimChannel* channel = nullptr;
            Stop stop = Stop::kReleaseOnEvent;
            int events = 0;
            static void Kill(uint16_t, void* data)
            {
                auto* self = static_cast<Killer*>(data);
                RdAnimChannel* channel = self->channel;
                self->channel = nullptr;
                if (channel)
                    channel->Release();
            }
        };
        auto* node = new Killer();
        node->AddRef();
        node->stop = c.stop;
        node->mEventReceiverData = node;
        node->mEventReceiver = [](int32_t, void* data)
        {
            auto* self = static_cast<Killer*>(data);
            ++self->events;
            if (self->stop == Stop::kReleaseOnEvent)
                Killer::Kill(0, self);
            else if (self->stop == Stop::kUnregisterOnEvent && self->channel)
                RdEventManager::Unregister(self->channel->GetHierarchy());
        };
        // Two events at one time: the loop must stop after the first when the receiver ends it.
        RdAnimChannel* channel = PlayWithEvents({{0.3f, 1}, {0.3f, 2}, {0.5f, 3}}, c.loop, node);
        node->channel = channel;
        if (c.stop == Stop::kReleaseOnTimedCallback)
            channel->AddTimedCallback(Killer::Kill, node, Ticks(0.45));
        if (c.stop == Stop::kReleaseOnEnd)
            channel->AddTimedCallback(Killer::Kill, node, RdChannel::kEndEvent);
        int updates = 0;
        while (node->channel && updates < 30)
        {
            channel->Update(Step(0.2));
            ++updates;
            if (c.stop == Stop::kUnregisterOnEvent && node->events)
                break;
        }
        switch (c.stop)
        {
        case Stop::kReleaseOnEvent:
            EXPECT_EQ(node->events, 1) << "the second same-time event is not delivered to a dead channel";
            break;
        case Stop::kReleaseOnTimedCallback:
            EXPECT_EQ(node->events, 2);
            break;
        case Stop::kReleaseOnEnd:
            EXPECT_EQ(node->events, 3);
            break;
        case Stop::kUnregisterOnEvent:
            EXPECT_EQ(node->events, 1);
            EXPECT_EQ(RdEventManager::GetCount(), 0);
            for (int i = 0; i < 10; ++i)
                channel->Update(Step(0.2));
            EXPECT_EQ(node->events, 1) << "nothing more after unregistering";
            channel->Release();
            node->channel = nullptr;
            break;
        }
        EXPECT_EQ(node->channel, nullptr);
        EXPECT_EQ(RdEventManager::GetCount(), 0);
        EXPECT_EQ(RdHierarchyCache::GetInUseCount(), 0);
        node->Release();
    }
}

TEST_F(RdEventTest, ADeadReceiverIsDroppedAndEmptySetsRegisterNothing)
{
    auto* node = new Receiver();
    node->AddRef();
    RdAnimChannel* channel = PlayWithEvents({{0.2f, 1}, {0.6f, 2}}, true, node);
    channel->Update(Step(0.3));
    ASSERT_EQ(node->received.size(), 1u);
    node->Release(); // the node dies; its registration stays until the channel goes
    for (int i = 0; i < 10; ++i)
        channel->Update(Step(0.3));
    EXPECT_EQ(RdEventManager::GetCount(), 1);
    channel->Release();
    EXPECT_EQ(RdEventManager::GetCount(), 0);

    auto* other = new Receiver();
    other->AddRef();
    RdAnimation* anim = nullptr;
    RdAnimChannel* silent = Play(1.0f, true, &anim);
    EXPECT_EQ(RdEventManager::Register(silent->GetHierarchy(), anim->GetEventSet(), other), 0);
    EXPECT_EQ(RdEventManager::GetCount(), 0);
    silent->Release();
    other->Release();
}

} // namespace
