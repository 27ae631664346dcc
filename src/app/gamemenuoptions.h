// The options pages shared by the main menu and the pause menu: video (with a timed
// confirmation of a new mode), controls, audio and, once earned, cheats.
#pragma once

#include "vector.h"

#include <cstdint>

class GameState;
class W2dGenericItem;
class W2dMenu;

/// Seconds the player has to confirm a new video mode before it is undone.
constexpr int32_t kVideoConfirmSeconds = 9;

/// Describes the options pages under the current menu of a description in progress (the pages
/// are the same in game and out of it); changes go to the state's profile. 1.
int32_t MenuBuildOptions(GameState* state, W2dMenu* root, const Vector& layout, int32_t inGame);
/// For the state that clears the menus holding the options: a confirmation still counting down
/// stops, and its unconfirmed mode is undone, as when the page closes.
void MenuOptionsRelease();

// ---- The pages' callbacks ---------------------------------------------------------------------------

/// Any changed option (context: the state): the profile's preferences applied and saved; 1.
int32_t OnOptionChanged(void* state);
/// The video page opens: no countdown; the present mode is found in the list and kept as the
/// mode to go back to.
void OnVideoMenuOpen(W2dGenericItem* label);
/// A choice on the video page: 0 (refused) while size, depth and full screen are the present
/// mode's, else 1.
int32_t OnVideoPageCheck(void* page);
/// The confirmation page opens: the chosen mode is applied at the end of the frame and the
/// countdown starts.
void OnVideoApply(W2dGenericItem* label);
/// The countdown's step and its end (argument: the confirmation page).
void OnVideoConfirmTick(void* page);
void OnVideoConfirmTimeout(void* page);
/// The confirmation page's answers (context: the page); each closes the page; 1.
int32_t OnConfirmYes(void* page);
int32_t OnConfirmNo(void* page);
/// The confirmation page closes: an unconfirmed mode is undone at the end of the frame; 1.
int32_t OnVideoConfirmClose(void* page);
