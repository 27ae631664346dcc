// Our Win32 layer: the window, message, timer, display-mode, screen-saver,
// cursor and message-box calls the program makes, backed by SDL2 and POSIX.
// Only what the program uses is declared; numeric values are the platform's own.
#pragma once

#include <cstdint>

// ---- Basic types ------------------------------------------------------------

using BOOL = int;
using UINT = unsigned int;
using DWORD = uint32_t;
using WORD = uint16_t;
using ATOM = uint16_t;
using LONG = int32_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
using LPCSTR = const char*;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// ---- Message boxes ------------------------------------------------------------

constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_ICONERROR = 0x00000010;
constexpr UINT MB_ICONWARNING = 0x00000030;
constexpr UINT MB_SYSTEMMODAL = 0x00001000;
constexpr int IDOK = 1;

struct HWND__;
using HWND = HWND__*;

/// Shows a modal box (SDL) when a display exists, else writes "title: text" to
/// stderr; returns IDOK.
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
