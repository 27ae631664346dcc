// The game-state base: flags, declared transitions, the switch protocol and the deletion of
// the whole graph.
#include "gamestate.h"

#include "gameprofile.h"
#include "hbcommand.h"
#include "hbptr.h"

#include <cstdio>
#include <vector>

HB_DEFINE_CLASS_DESC(GameState, HbRoot);

GameState::GameState(int32_t id) : mId(id) {}

GameState::~GameState()
{
    // The graph has cycles: every reachable state is marked before any of them goes, so no
    // destructor below recurses and none reads a state already freed.
    if (!mDestroying)
    {
        std::vector<GameState*> reachable{this};
        mDestroying = 1;
        for (size_t i = 0; i < reachable.size(); ++i)
        {
            const GameState* state = reachable[i];
            for (int32_t t = 0; t < state->mTransitions.GetCount(); ++t)
            {
                GameState* target = static_cast<GameStateTransition*>(state->mTransitions[t])->target;
                if (target && !target->mDestroying)
                {
                    target->mDestroying = 1;
                    reachable.push_back(target);
                }
            }
        }
        for (size_t i = 1; i < reachable.size(); ++i)
            delete reachable[i];
    }
    for (int32_t t = 0; t < mTransitions.GetCount(); ++t)
        delete static_cast<GameStateTransition*>(mTransitions[t]);
    mTransitions.RemoveAll();
    mOverlayEntry = nullptr;
    SetProfile(nullptr);
}

void GameState::Enter()
{
    mPending = nullptr;
    mOverlayEntry = nullptr;
    mEntered = 1;
    mSuspended = 0;
}

void GameState::Resume()
{
    mPending = nullptr;
    mSuspended = 0;
}

void GameState::Suspend()
{
    mPending = nullptr;
    mSuspended = 1;
}

HbHandlePtr* GameState::GetLevelHandle(HbHandlePtr* handle)
{
    if (!handle)
        return handle;
    if (mProfile)
        handle->AssignFrom(mProfile->GetLevelHandle());
    else
        handle->Reset();
    return handle;
}

GameState* GameState::GetOverlayState()
{
    return mOverlayEntry ? mOverlayEntry->target : nullptr;
}

void GameState::UpdateUnderOverlay()
{
    GameState* overlay = GetOverlayState();
    if (!overlay)
        return;
    overlay->mPending = nullptr;
    if (overlay->mSuspended)
        overlay->UpdateUnderOverlay();
    else
        overlay->Update();
}

int32_t GameState::AddTransition(GameState* target, int32_t overlay)
{
    auto* entry = new GameStateTransition(target, overlay);
    if (!entry)
        return 0;
    if (mTransitions.Add(entry) < 0)
    {
        delete entry;
        return 0;
    }
    return 1;
}

GameStateTransition* GameState::FindTransition(int32_t id) const
{
    for (int32_t t = 0; t < mTransitions.GetCount(); ++t)
    {
        auto* entry = static_cast<GameStateTransition*>(mTransitions[t]);
        if (entry->target && entry->target->mId == id)
            return entry;
    }
    return nullptr;
}

const GameStateTransition* GameState::GetTransition(int32_t index) const
{
    if (index < 0 || index >= mTransitions.GetCount())
        return nullptr;
    return static_cast<const GameStateTransition*>(mTransitions[index]);
}

int32_t GameState::SwitchTo(int32_t id)
{
    GameStateTransition* entry = FindTransition(id);
    if (!entry)
    {
        // Requests can reach any state (a console line during the language choice): the
        // caller keeps its request rather than the game entering a state nobody declared.
        char text[96];
        std::snprintf(text, sizeof(text), "GameState %d has no transition to %d\n", mId, id);
        HbCommandDebugOutput(text);
        return 0;
    }
    GameState* target = entry->target;
    target->mPrevious = this;
    if (target != this)
        target->SetProfile(mProfile);

    if (entry->overlay)
    {
        Suspend();
        mOverlayEntry = entry;
    }
    else
    {
        if (mPrevious && mPrevious->mSuspended && mPersistent)
        {
            // A persistent overlay going back to the state under it keeps its contents.
            Suspend();
        }
        else
        {
            Leave();
            for (int32_t t = 0; t < mTransitions.GetCount(); ++t)
            {
                auto* overlay = static_cast<GameStateTransition*>(mTransitions[t]);
                GameState* pushed = overlay->target;
                if (overlay->overlay && pushed->mPersistent && pushed->mEntered)
                {
                    pushed->Leave();
                    pushed->mSuspended = 0;
                }
            }
            mEntered = 0;
        }
    }

    // The target starts without a switch of its own pending, even when its entry does not
    // run the base entry that clears it.
    if (target != this)
        target->mPending = nullptr;
    // Already the current state while it enters: the level script a stage's entry runs asks
    // the current state for its cameras and its hero.
    if (!entry->overlay && target != this)
        mPending = target;
    if (target->mSuspended || (target->mPersistent && target->mEntered))
        target->Resume();
    else
        target->Enter();
    // Set after the activation, whose Enter or Resume clears pending: a state switching
    // to itself is its own pending state.
    if (!entry->overlay)
        mPending = target;
    return 1;
}

void GameState::Tick()
{
    mPending = nullptr;
    if (mSuspended)
        UpdateUnderOverlay();
    else
        Update();
}

int32_t GameState::SetProfile(GameProfile* profile)
{
    if (profile)
        profile->AddRef();
    if (mProfile)
        mProfile->Release();
    mProfile = profile;
    return 1;
}
