// The loading screen's file-open hook.
#pragma once

/// The game manager's loading tick, for HbFileBeforeOpenHook.
void LoadingTickHook();
