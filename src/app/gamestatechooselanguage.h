// GameState_ChooseLanguage: the first state. Five flags on a wheel; the chosen one names the
// language group, loaded for the rest of the run before the intro starts.
#pragma once

#include "gamestate.h"

#include <cstdint>
#include <string>

class MoCircularMenu;
class W2dMenu;
class W2dTexturedSurface;

class GameState_ChooseLanguage : public GameState
{
    HB_DECLARE_CLASS_DESC();

public:
    /// The flags' textures and their groups, in the wheel's order.
    static constexpr int32_t kFlagCount = 5;
    static const char* const kFlagTextures[kFlagCount];
    static const char* const kLanguageGroups[kFlagCount];

    GameState_ChooseLanguage();
    ~GameState_ChooseLanguage() override;
    /// Loads "LANGUAGE", puts the black background and the flag wheel up, pushes "Menu".
    void Enter() override;
    /// Clears and releases the wheel, takes the background away; a second call does nothing.
    void Leave() override;
    /// The wheel's input; once a flag was chosen, the hand-over to the intro instead.
    void Update() override;

    /// The chosen group ("" until a flag is chosen) and the chosen flag; they outlive the state.
    static const std::string& GetChosenLanguage();
    static int32_t IsLanguageChosen();

    MoCircularMenu* GetWheel() const { return mWheel; }
    /// The menu that receives input: the wheel, unless its handler hands over to another.
    W2dMenu* GetInputMenu() const { return mInputMenu; }
    W2dTexturedSurface* GetBackground() const { return mBackground; }

private:
    void BuildWheel();
    void HandOver();

    MoCircularMenu* mWheel = nullptr;
    /// Not owned: the wheel or a menu the wheel handed input to.
    W2dMenu* mInputMenu = nullptr;
    W2dTexturedSurface* mBackground = nullptr;
    int32_t mMenuPushed = 0;
};
