// The 640 x 480 application window the renderer benchmarks start the renderer in.
#pragma once

struct HbWindowState;
class WRenderer;

/// Registers the window class, opens the window and records it with its client size in
/// the application's window state (the application object must exist); false when no
/// window could be made.
bool BenchOpenWindow(const char* className, const char* title);

/// The application's window state, as the renderer's Start takes it.
HbWindowState& BenchWindowState();

/// Opens the window and starts the renderer in it; false when either step failed. renderer is
/// set as soon as the instance exists, so that a failed start can still be torn down.
bool BenchStartRenderer(const char* className, const char* title, WRenderer*& renderer);

/// Runs start with the video driver offscreen (unless the environment names one); when it
/// fails, says that the renderer could not start, runs stop and answers false.
bool BenchStartOffscreen(bool (*start)(), void (*stop)());
