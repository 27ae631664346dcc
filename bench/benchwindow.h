// The 640 x 480 application window the renderer benchmarks start the renderer in.
#pragma once

struct HbWindowState;

/// Registers the window class, opens the window and records it with its client size in
/// the application's window state (the application object must exist); false when no
/// window could be made.
bool BenchOpenWindow(const char* className, const char* title);

/// The application's window state, as the renderer's Start takes it.
HbWindowState& BenchWindowState();
