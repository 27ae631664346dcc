// Display modes, the screen-saver setting, the cursor and message boxes.
#include "win32_local.h"

#include <cstdio>

namespace
{
bool gScreenSaverAllowed = true;
int gCursorCount = 0;

HCURSOR const kArrowCursor = reinterpret_cast<HCURSOR>(uintptr_t{0x10003});

// A record that sets none of the fields a mode change uses asks for nothing.
bool AsksForChange(const DEVMODEA& mode)
{
    return ((mode.dmFields & DM_PELSWIDTH) && mode.dmPelsWidth) ||
           ((mode.dmFields & DM_PELSHEIGHT) && mode.dmPelsHeight) ||
           ((mode.dmFields & DM_BITSPERPEL) && mode.dmBitsPerPel);
}
} // namespace

void Win32ResetSystem()
{
    gScreenSaverAllowed = true;
    gCursorCount = 0;
}

LONG ChangeDisplaySettingsA(DEVMODEA* mode, DWORD flags)
{
    Win32LogCall("ChangeDisplaySettingsA(%s,%u)", mode ? "record" : "null", flags);
    Win32Backend* backend = Win32GetBackend();
    if (!backend)
        return DISP_CHANGE_FAILED;
    if (!mode)
    {
        if (backend->LeaveFullscreen)
            Win32ForEachWindow([&](Win32Window* window) { backend->LeaveFullscreen(backend, window); });
        return DISP_CHANGE_SUCCESSFUL;
    }
    if (!AsksForChange(*mode))
        return DISP_CHANGE_SUCCESSFUL;
    if (flags & CDS_TEST)
        return backend->SetDisplayMode ? DISP_CHANGE_SUCCESSFUL : DISP_CHANGE_BADMODE;
    return backend->SetDisplayMode ? backend->SetDisplayMode(backend, mode) : DISP_CHANGE_BADMODE;
}

BOOL SystemParametersInfoA(UINT action, UINT uiParam, PVOID pvParam, UINT winIni)
{
    switch (action)
    {
    case SPI_GETSCREENSAVEACTIVE:
        if (!pvParam)
            return FALSE;
        *static_cast<BOOL*>(pvParam) = gScreenSaverAllowed ? TRUE : FALSE;
        return TRUE;
    case SPI_SETSCREENSAVEACTIVE:
    {
        Win32LogCall("SystemParametersInfoA(%u,%u)", action, uiParam ? 1u : 0u);
        Win32Backend* backend = Win32GetBackend();
        if (!backend)
            return FALSE;
        gScreenSaverAllowed = uiParam != 0;
        backend->SetScreenSaver(backend, gScreenSaverAllowed);
        return TRUE;
    }
    default:
        return FALSE;
    }
}

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR cursorName)
{
    return !instance && cursorName == IDC_ARROW ? kArrowCursor : nullptr;
}

int ShowCursor(BOOL show)
{
    bool wasShown = gCursorCount >= 0;
    gCursorCount += show ? 1 : -1;
    bool shown = gCursorCount >= 0;
    Win32Backend* backend = Win32GetBackend();
    if (shown != wasShown && backend && backend->ShowNativeCursor)
        backend->ShowNativeCursor(backend, shown);
    return gCursorCount;
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    text = text ? text : "";
    caption = caption ? caption : "";
    Win32LogCall("MessageBoxA(%s: %s)", caption, text);
    Win32Backend* backend = Win32GetBackend();
    if (backend)
        backend->ShowMessageBox(backend, text, caption, type);
    else
        std::fprintf(stderr, "%s: %s\n", caption, text);
    return IDOK;
}

BOOL Win32HasDisplay()
{
    Win32Backend* backend = Win32GetBackend();
    return backend && backend->HasDisplay(backend) ? TRUE : FALSE;
}

void* Win32GetNativeWindow(HWND handle)
{
    Win32Backend* backend = Win32RunningBackend();
    Win32Window* window = backend ? Win32FindWindow(handle) : nullptr;
    if (!window || !backend->GetGraphicsWindow)
        return nullptr;
    return backend->GetGraphicsWindow(backend, window);
}
