// The keyboard part of our Win32 layer: virtual-key codes and the per-frame key
// state. The codes are the platform's own, since key-binding scripts name them.
#pragma once

#include "win32.h"

#include <cstdint>

using BYTE = uint8_t;
using PBYTE = BYTE*;

// ---- Virtual-key codes ---------------------------------------------------------------
// Digits and letters use the codes of their characters: '0'..'9' and 'A'..'Z'.

constexpr BYTE VK_LBUTTON = 0x01;
constexpr BYTE VK_RBUTTON = 0x02;
constexpr BYTE VK_CANCEL = 0x03;
constexpr BYTE VK_MBUTTON = 0x04;
constexpr BYTE VK_XBUTTON1 = 0x05;
constexpr BYTE VK_XBUTTON2 = 0x06;
constexpr BYTE VK_BACK = 0x08;
constexpr BYTE VK_TAB = 0x09;
constexpr BYTE VK_CLEAR = 0x0C;
constexpr BYTE VK_RETURN = 0x0D;
constexpr BYTE VK_SHIFT = 0x10;
constexpr BYTE VK_CONTROL = 0x11;
constexpr BYTE VK_MENU = 0x12;
constexpr BYTE VK_PAUSE = 0x13;
constexpr BYTE VK_CAPITAL = 0x14;
constexpr BYTE VK_KANA = 0x15;
constexpr BYTE VK_HANGEUL = 0x15;
constexpr BYTE VK_HANGUL = 0x15;
constexpr BYTE VK_JUNJA = 0x17;
constexpr BYTE VK_FINAL = 0x18;
constexpr BYTE VK_HANJA = 0x19;
constexpr BYTE VK_KANJI = 0x19;
constexpr BYTE VK_ESCAPE = 0x1B;
constexpr BYTE VK_CONVERT = 0x1C;
constexpr BYTE VK_NONCONVERT = 0x1D;
constexpr BYTE VK_ACCEPT = 0x1E;
constexpr BYTE VK_MODECHANGE = 0x1F;
constexpr BYTE VK_SPACE = 0x20;
constexpr BYTE VK_PRIOR = 0x21;
constexpr BYTE VK_NEXT = 0x22;
constexpr BYTE VK_END = 0x23;
constexpr BYTE VK_HOME = 0x24;
constexpr BYTE VK_LEFT = 0x25;
constexpr BYTE VK_UP = 0x26;
constexpr BYTE VK_RIGHT = 0x27;
constexpr BYTE VK_DOWN = 0x28;
constexpr BYTE VK_SELECT = 0x29;
constexpr BYTE VK_PRINT = 0x2A;
constexpr BYTE VK_EXECUTE = 0x2B;
constexpr BYTE VK_SNAPSHOT = 0x2C;
constexpr BYTE VK_INSERT = 0x2D;
constexpr BYTE VK_DELETE = 0x2E;
constexpr BYTE VK_HELP = 0x2F;
constexpr BYTE VK_LWIN = 0x5B;
constexpr BYTE VK_RWIN = 0x5C;
constexpr BYTE VK_APPS = 0x5D;
constexpr BYTE VK_NUMPAD0 = 0x60; // to VK_NUMPAD9 0x69
constexpr BYTE VK_MULTIPLY = 0x6A;
constexpr BYTE VK_ADD = 0x6B;
constexpr BYTE VK_SEPARATOR = 0x6C;
constexpr BYTE VK_SUBTRACT = 0x6D;
constexpr BYTE VK_DECIMAL = 0x6E;
constexpr BYTE VK_DIVIDE = 0x6F;
constexpr BYTE VK_F1 = 0x70; // to VK_F24 0x87
constexpr BYTE VK_NUMLOCK = 0x90;
constexpr BYTE VK_SCROLL = 0x91;
constexpr BYTE VK_LSHIFT = 0xA0;
constexpr BYTE VK_RSHIFT = 0xA1;
constexpr BYTE VK_LCONTROL = 0xA2;
constexpr BYTE VK_RCONTROL = 0xA3;
constexpr BYTE VK_LMENU = 0xA4;
constexpr BYTE VK_RMENU = 0xA5;
constexpr BYTE VK_OEM_1 = 0xBA; // ;:
constexpr BYTE VK_OEM_PLUS = 0xBB;
constexpr BYTE VK_OEM_COMMA = 0xBC;
constexpr BYTE VK_OEM_MINUS = 0xBD;
constexpr BYTE VK_OEM_PERIOD = 0xBE;
constexpr BYTE VK_OEM_2 = 0xBF; // /?
constexpr BYTE VK_OEM_3 = 0xC0; // `~
constexpr BYTE VK_OEM_4 = 0xDB; // [{
constexpr BYTE VK_OEM_5 = 0xDC; // \|
constexpr BYTE VK_OEM_6 = 0xDD; // ]}
constexpr BYTE VK_OEM_7 = 0xDE; // '"
constexpr BYTE VK_OEM_102 = 0xE2;
constexpr BYTE VK_PROCESSKEY = 0xE5;
constexpr BYTE VK_ATTN = 0xF6;
constexpr BYTE VK_CRSEL = 0xF7;
constexpr BYTE VK_EXSEL = 0xF8;
constexpr BYTE VK_EREOF = 0xF9;
constexpr BYTE VK_PLAY = 0xFA;
constexpr BYTE VK_ZOOM = 0xFB;
constexpr BYTE VK_NONAME = 0xFC;
constexpr BYTE VK_PA1 = 0xFD;
constexpr BYTE VK_OEM_CLEAR = 0xFE;

// ---- Key state -------------------------------------------------------------------------

/// Fills 256 bytes, one per virtual-key code: bit 7 while the key or mouse
/// button is down, bit 0 flipped by every press. A key pressed and released
/// again since the previous call still reads down in this one, so a tap
/// shorter than a frame is seen once. FALSE for a null buffer.
BOOL GetKeyboardState(PBYTE keyState);
