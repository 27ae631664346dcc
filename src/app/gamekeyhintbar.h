// The game manager's key-hint bar. The manager's own record is seen by the layers under the game,
// which cannot know the bar's type, so the bar lives here beside it.
#pragma once

class BoardControl;

/// The bar, made on first use (null when out of memory); the exit list frees it. Its themes are
/// made by the start-up and dropped by the shut-down.
BoardControl* GameKeyHintBar();
