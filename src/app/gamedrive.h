// The drive mode of the game binary: a file named by VELMORAN_DRIVE scripts a whole run, so a
// run without a person is the same on every machine. Each frame moves the performance counter
// on by a fixed step; keys are pressed at given frames or a number of frames after a state is
// entered; frames are saved as PNG by name; state switches and group loads go to a trace; a
// bound ends the run; a line can take the display adapter away.
//
// The file, one command a line ('#' starts a comment):
//     step <ticks>                performance-counter ticks per frame (10 MHz; default 166667)
//     bound <frames>              the run ends after that many frames
//     trace <path>                where the trace goes (default: standard output)
//     frames <folder>             where saved frames go (default: "frames")
//     fault adapter               the display layer offers no adapter
//     fault kill <file name>      the process kills itself (SIGKILL) once a whole-file replacement
//                                 of a file of that name has its bytes in the temporary, before
//                                 the rename
//     timing <skip>               every visit of a state traces its frames' wall time, leaving out
//                                 its first <skip> frames: "timing state <id> frames <n> mean_us
//                                 <m> p99_us <p>" when it is left and at the end
//     at <frame> key <VK_NAME>    press and release the key before that frame (frames count from 1);
//                                 VK_LBUTTON, VK_RBUTTON and VK_MBUTTON are the mouse's buttons
//     at <frame> hold <VK_NAME> <n>  the key goes down before that frame and up n frames later
//     at <frame> mouse <dx> <dy>  the mouse moves by that many counts before that frame
//     at <frame> save <name>      save the frame drawn then as <folder>/<name>.png
//     at <frame> memory           after that frame, trace "memory frame <f> rss_kb <r> peak_kb <p>
//                                 allocations <a> new <n>": the resident and peak resident
//                                 memory, the framework's allocations (any thread) and the
//                                 operator new calls of the main thread since the last memory
//                                 line (since the start for the first)
//     at <frame> hero             after that frame, trace the script world's hero as the head-up
//                                 display and the weapon wheel read it: "hero frame <f> state <s>
//                                 hit_points <h> of <max> item <name> rounds <r> magazines <m>
//                                 weapons", "<name> <rounds> <magazines>" for each weapon of the
//                                 weapon list, "equipment" and the same for each item of the
//                                 equipment (-1 -1 for no firearm); or "hero frame <f> none"
//     at <frame> command <line>   run the rest of the line through the console before that
//                                 frame (a cheat or a scenario command, as a person types it);
//                                 traced "command <line> frame <f> answer <a>", the console's
//                                 answer: 0 done, 1 failed, 2 no such command
//     at <frame> actors           after that frame, trace a line for each animated actor of the
//                                 script world (the hero first): "actor <name> frame <f> at <x>
//                                 <y> <z> feet <y> ground <y> hp <h> ammo <a> screen <x> <y>":
//                                 where its node stands, the height of its lowest skinned vertex,
//                                 the height of the level's ground under it (a line down from a
//                                 metre above its feet; "none" when it meets nothing), its hit
//                                 points, the rounds in the magazine of the gun in its hand
//                                 ("none" without one) and where its chest (bone "Upper_Torso")
//                                 falls in the frame, in pixels from the top left ("off" when
//                                 behind the camera)
//     at <frame> scene            after that frame, trace "scene frame <f>", then "actor <name> hp
//                                 <h> at <x> <y> <z> [skill <s>] [state <c>]" for every listed
//                                 actor (position in whole units, "-" without a node), "hud <text>"
//                                 for the message the in-game display shows, then "objective <i>
//                                 active <a> done <d>" for each of the profile's objectives
//     on <state> [+<n>] <event>   the same, n frames (default 1) after the state was entered
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct GameDriveEvent
{
    enum Kind : int32_t
    {
        kKey,
        kSave,
        kHold,
        kMouse,
        kMemory,
        kCommand,
        kHero,
        kScene,
        kActors,
    };
    Kind kind = kKey;
    /// -1 for a frame number, else the state whose entry the frame counts from.
    int32_t state = -1;
    /// The frame number, or the frames after the state's entry (1 or more).
    int64_t frame = 0;
    int32_t keyCode = 0;
    std::string name;       ///< the key's name, the saved frame's name or the console line
    int64_t frames = 0;     ///< how long a held key stays down
    int32_t dx = 0, dy = 0; ///< a mouse move
};

struct GameDriveScript
{
    int64_t step = 166667;
    long bound = 0;
    std::string trace;
    std::string frames = "frames";
    bool adapterFault = false;
    std::string killOnReplace; ///< the file name whose replacement ends the process
    int64_t timingSkip = -1;   ///< frames left out of each state's timing; -1 for no timing
    std::vector<GameDriveEvent> events;
};

/// Reads a drive file's text into script; a line it cannot use is skipped, and what was wrong
/// with it is added to the answer ("line <n>: <what>"), one line each. Empty when all was read.
std::string GameDriveParse(const std::string& text, GameDriveScript* script);

// ---- The run ----------------------------------------------------------------------------

/// Before the application shell: reads the file VELMORAN_DRIVE names, freezes the performance
/// counter and sets the adapter fault. Bad lines are reported on stderr and skipped; a file that
/// cannot be read is reported and the run goes on undriven. 1 when a drive file runs the program.
int32_t GameDriveStart();
/// The drive file's frame bound, 0 for none (or no drive file).
long GameDriveFrameBound();
/// Before each frame: the counter moves one step, the keys due are pressed.
void GameDriveBeforeFrame();
/// After each frame: a state switch is traced with the groups of every layer, the frames due
/// are saved.
void GameDriveAfterFrame();
/// Called by the game binary's operator new, before it allocates; counted when a memory line is
/// asked for and the call is on the thread that started the drive. Allocates nothing.
void GameDriveNoteNew();
/// After the application shell returned: traces the exit code and the groups and group records
/// left.
void GameDriveEnd(int exitCode);
