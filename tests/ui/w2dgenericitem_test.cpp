// The 2D item base: its first state, the effect records and their controls, Update's walk and Release.
#include "w2dgenericitem.h"
#include "w2ditemeffect.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

/// Notes every call it gets as "<op><id>"; may remove itself from the item on its next Update.
class Recorder : public W2dItemEffect
{
public:
    Recorder(char id, std::vector<std::string>* log) : mId(id), mLog(log) {}
    void Update(W2dGenericItem* item) override
    {
        mLog->push_back(std::string("U") + mId);
        if (removeSelf)
            item->RemoveEffect(this);
    }
    void Begin(W2dGenericItem*) override { mLog->push_back(std::string("B") + mId); }
    void Restart(W2dGenericItem*) override { mLog->push_back(std::string("R") + mId); }
    void Stop(W2dGenericItem*) override { mLog->push_back(std::string("S") + mId); }
    bool removeSelf = false;

private:
    char mId;
    std::vector<std::string>* mLog;
};

TEST(W2dGenericItem, ANewItemIsAtTheOriginOfSizeOneHiddenReleasedAndWithoutEffects)
{
    W2dGenericItem item;
    Vector position, size;
    item.GetPosition(&position);
    item.GetSize(&size);
    EXPECT_EQ(position.x, 0.0f);
    EXPECT_EQ(position.y, 0.0f);
    EXPECT_EQ(position.z, 0.0f);
    EXPECT_EQ(size.x, 1.0f);
    EXPECT_EQ(size.y, 1.0f);
    EXPECT_EQ(size.z, 1.0f);
    EXPECT_EQ(item.IsHidden(), 1);
    EXPECT_EQ(item.IsReleased(), 1);
    EXPECT_EQ(item.AreEffectsStopped(), 1);
    EXPECT_EQ(item.GetName(), "");
    EXPECT_EQ(W2dGenericItem("title").GetName(), "title");
    // Nothing to colour on the base item.
    EXPECT_EQ(item.SetColour({1, 2, 3, 4}), 0);
    EXPECT_TRUE(HbClassDesc::IsKindOf(&item, &HbRoot::sClassDesc));
}

TEST(W2dGenericItem, AnEffectIsAttachedOnceAndRemovingAStrangerAnswersZero)
{
    std::vector<std::string> log;
    W2dGenericItem item;
    auto* effect = new Recorder('a', &log);
    effect->AddRef();
    Recorder stranger('s', &log);
    EXPECT_EQ(item.AddEffect(effect), 1);
    EXPECT_EQ(item.AddEffect(effect), 0);
    EXPECT_EQ(item.GetEffectCount(), 1);
    EXPECT_EQ(effect->GetRefCount(), 2);
    EXPECT_EQ(item.RemoveEffect(&stranger), 0);
    EXPECT_EQ(item.RemoveEffect(effect), 1);
    EXPECT_EQ(effect->GetRefCount(), 1);
    EXPECT_EQ(item.GetEffectCount(), 0);
    // No effect operation was called by attaching or removing.
    EXPECT_TRUE(log.empty());
    effect->Release();
}

TEST(W2dGenericItem, UpdateRunsTheCallbackThenActiveRunningEffectsAndRereadsTheRecordCount)
{
    static int sCalls;
    sCalls = 0;
    std::vector<std::string> log;
    W2dGenericItem item;
    item.SetUpdateCallback([](W2dGenericItem*) { ++sCalls; });
    Recorder a('a', &log), b('b', &log), c('c', &log);
    for (Recorder* effect : {&a, &b, &c})
    {
        effect->AddRef(); // held by the test too
        item.AddEffect(effect);
    }
    item.SetEffectActive(1, 0); // b switched off, and no longer running
    EXPECT_EQ(b.IsRunning(), 0);
    item.Update();
    EXPECT_EQ(sCalls, 1);
    EXPECT_EQ(log, (std::vector<std::string>{"Ua", "Uc"}));

    // a removes itself: the walk goes on over the shortened list, so the record that moved into
    // a's place is skipped this frame and the count read afresh stops the walk.
    log.clear();
    item.SetEffectActive(1, 1);
    a.removeSelf = true;
    item.Update();
    EXPECT_EQ(log, (std::vector<std::string>{"Ua", "Uc"}));
    EXPECT_EQ(item.GetEffectCount(), 2);
    log.clear();
    item.Update();
    EXPECT_EQ(log, (std::vector<std::string>{"Ub", "Uc"}));
    item.Release();
    for (Recorder* effect : {&a, &b, &c})
        EXPECT_EQ(effect->GetRefCount(), 1);
}

TEST(W2dGenericItem, StopEffectsLeavesThemRunningWhileStopAllEffectsStopsThem)
{
    std::vector<std::string> log;
    W2dGenericItem item;
    Recorder a('a', &log), b('b', &log);
    a.AddRef();
    b.AddRef();
    item.AddEffect(&a);
    item.AddEffect(&b);
    EXPECT_EQ(item.StopEffects(), 2);
    EXPECT_EQ(item.IsEffectActive(0), 0);
    EXPECT_EQ(item.AreEffectsStopped(), 0);
    item.Update();
    EXPECT_TRUE(log.empty());

    item.StopAllEffects();
    EXPECT_EQ(log, (std::vector<std::string>{"Sa", "Sb"}));
    EXPECT_EQ(item.AreEffectsStopped(), 1);
    EXPECT_EQ(item.IsEffectStopped(1), 1);
    EXPECT_EQ(item.IsEffectActive(0), 0); // the records' flags stay

    log.clear();
    EXPECT_EQ(item.RestartEffects(), 2);
    EXPECT_EQ(log, (std::vector<std::string>{"Ra", "Rb"}));
    EXPECT_EQ(item.AreEffectsStopped(), 0);
    EXPECT_EQ(item.IsEffectActive(1), 1);

    item.StopAllEffects();
    EXPECT_EQ(item.StartEffects(), 2);
    EXPECT_EQ(item.IsEffectStopped(0), 0);
    log.clear();
    EXPECT_EQ(item.RestartEffect(1), 1);
    EXPECT_EQ(log, (std::vector<std::string>{"Rb"}));
    item.Release();
}

TEST(W2dGenericItem, IndexControlsRefuseIndicesOutsideTheRecords)
{
    std::vector<std::string> log;
    W2dGenericItem item;
    Recorder a('a', &log);
    a.AddRef();
    item.AddEffect(&a);
    for (int32_t index : {-1, 1, 1000})
    {
        EXPECT_EQ(item.SetEffectActive(index, 0), 0) << index;
        EXPECT_EQ(item.RestartEffect(index), 0) << index;
        EXPECT_EQ(item.IsEffectStopped(index), 1) << index;
        EXPECT_EQ(item.GetEffect(index), nullptr) << index;
    }
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(item.IsEffectActive(0), 1);
    item.Release();
}

TEST(W2dGenericItem, ReleaseHidesDropsEffectsAndAllowsCreateAgain)
{
    std::vector<std::string> log;
    auto* effect = new Recorder('a', &log);
    effect->AddRef();
    {
        auto* item = new W2dGenericItem();
        item->AddRef();
        EXPECT_EQ(item->Create(), 1);
        EXPECT_EQ(item->Show(), 1);
        item->AddEffect(effect);
        EXPECT_EQ(item->Release(), 1);
        EXPECT_EQ(item->IsHidden(), 1);
        EXPECT_EQ(item->IsReleased(), 1);
        EXPECT_EQ(item->GetEffectCount(), 0);
        EXPECT_EQ(effect->GetRefCount(), 1);
        EXPECT_EQ(item->Create(), 1);
        EXPECT_EQ(item->IsReleased(), 0);
        // Destroyed while created: the effects go with it.
        item->AddEffect(effect);
        EXPECT_EQ(effect->GetRefCount(), 2);
        item->HbRoot::Release();
    }
    EXPECT_EQ(effect->GetRefCount(), 1);
    effect->Release();
}

} // namespace
