// The game's console commands and the state they keep.
#pragma once

#include <cstdint>

struct Image;

/// The add_ressource mode (0 at start): 0 registers the path, 3 feeds the group being
/// loaded, 1, 2 and 4 do nothing.
int32_t GameCommandsGetAddResourceMode();
/// 1 once allowLoadingTick ran: from then on the loading screen redraws during loads.
int32_t GameCommandsGetAllowLoadingTick();
/// The god flag and its life level (-1: the hero's maximum).
int32_t GameCommandsGetGod();
int32_t GameCommandsGetGodLife();
/// The number the next screenshot starts looking for a free name from.
int32_t GameCommandsGetScreenshotCounter();
/// Back to the start values (tests run many games in one process).
void GameCommandsReset();
/// The engine's ".bmp" writer: a 32-bit image as a 24-bit bottom-up file. The image, or null.
Image* GameWriteBmp(Image* image, const char* name);
