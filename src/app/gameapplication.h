// GameApplication: the game's application object. Before the window it makes the framework's
// singletons, configures the window, then hands the start-up, the frames and the shut-down to
// the game manager.
#pragma once

#include "hbapplication.h"

class GameApplication : public HbApplication
{
public:
    /// The effect library's module initialisers, the handle table, the command registry and
    /// the variable store.
    int32_t PreWindowInit() override;
    /// Runs "execute variable.scr", asks for 640 x 480, depths 16 and 32, full screen, and
    /// hides the cursor.
    int32_t Configure() override;
    /// Pools, packs, clocks, the random generator, the resource layers, "GLOBAL", then the
    /// game manager's initialisation.
    int32_t Init() override;
    /// Ticks the real clock and the game manager; the end of the game sets the quit flag and
    /// posts the quit message. A positive frame bound ends the run after that many frames.
    int32_t Tick() override;
    /// The game manager's shut-down.
    int32_t Shutdown() override;

    /// Ends the run after the current frame with the exit code 1, for content the game cannot
    /// run without; whoever asks has already said why.
    static void EndWithFailure();
    static bool EndedWithFailure();

    /// Frames after which Tick ends the run; 0 for none.
    void SetFrameBound(long frames) { mFrameBound = frames; }

private:
    long mFrameBound = 0;
    long mFrames = 0;
};
