// Fixture of the Win32 layer tests: the scripted window system and one window
// class whose procedure records what it receives.
#pragma once

#include "win32.h"
#include "win32testhooks.h"

#include <gtest/gtest.h>

#include <vector>

struct Received
{
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    bool windowAlive; ///< IsWindow while the procedure ran
};

class Win32Fixture : public ::testing::Test
{
protected:
    static inline std::vector<Received> sReceived;
    static inline LRESULT sCreateAnswer = 0;

    static LRESULT RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        sReceived.push_back({window, message, wParam, lParam, IsWindow(window) != FALSE});
        if (message == WM_CREATE)
            return sCreateAnswer;
        return DefWindowProcA(window, message, wParam, lParam);
    }

    void SetUp() override
    {
        Win32TestUseScript();
        sReceived.clear();
        sCreateAnswer = 0;
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = RecordingProc;
        windowClass.lpszClassName = "TestClass";
        ASSERT_NE(RegisterClassA(&windowClass), 0);
        Win32TestClearCallLog();
    }

    HWND MakeWindow(DWORD style = WS_OVERLAPPEDWINDOW, int width = 200, int height = 100)
    {
        return CreateWindowExA(0, "TestClass", "test", style, CW_USEDEFAULT, CW_USEDEFAULT, width, height, nullptr,
                               nullptr, nullptr, nullptr);
    }

    /// Messages of one kind received so far.
    std::vector<Received> ReceivedOf(UINT message) const
    {
        std::vector<Received> out;
        for (const Received& r : sReceived)
            if (r.message == message)
                out.push_back(r);
        return out;
    }
};
