// The front-end tests' fixture: a started renderer on a 640 x 480 window, the clocks under the
// test's hand, the game manager with the least service table, text resources whose text is their
// own id, and a bare state holding a fresh profile.
#pragma once

#include "gameprofile.h"
#include "gameservices.h"
#include "gamestate.h"
#include "gamestatemanager.h"
#include "ui_fixture.h"

#include <initializer_list>
#include <memory>

namespace fetest
{

/// A state that does nothing of its own.
class BareState : public GameState
{
public:
    explicit BareState(int32_t id) : GameState(id) {}
    void Leave() override { ++leaves; }
    void Update() override {}
    int leaves = 0;
};

class FrontEndTest : public uitest::UiTest
{
protected:
    void SetUp() override
    {
        // The user-interface fixture's start, on a screen of the test's size when it asks for one.
        RendererTest::SetUp();
        if (mScreenSize > 0)
        {
            HbWindowState& window = Window();
            window.requestedWidth = window.clientWidth = mScreenSize;
            window.requestedHeight = window.clientHeight = mScreenSize;
        }
        mRenderer = Started();
        ASSERT_NE(mRenderer, nullptr);
        mClocks = std::make_unique<uitest::Clocks>();
        mResources = std::make_unique<uitest::Resources>();
        GameServicesTable() = GameServicesLeast();
        mManager = GameStateManager::Instance();
        mProfile = new GameProfile();
        mProfile->AddRef();
        mManager->SetProfile(mProfile);
        mState = new BareState(4);
        mState->SetProfile(mProfile);
    }

    void TearDown() override
    {
        delete mState;
        mManager->SetCurrentState(nullptr);
        mManager->GetTimedAction() = GameTimedAction();
        mManager->SetProfile(nullptr);
        mProfile->Release();
        UiTest::TearDown();
    }

    /// Text resources whose text is their own id, so labels show which id they came from.
    void Texts(std::initializer_list<const char*> ids)
    {
        for (const char* id : ids)
            mResources->Text(id, id);
    }

public:
    /// Square screen side in pixels; 0 for the renderer fixture's 640 x 480.
    int32_t mScreenSize = 0;
    GameStateManager* mManager = nullptr;
    GameProfile* mProfile = nullptr;
    BareState* mState = nullptr;
};

} // namespace fetest
