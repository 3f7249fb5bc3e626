// What every shell test starts from: a fresh "process" over the scripted
// backend, with the GL recorder and the Win32 spy emptied.
#ifndef TOWER_TESTS_SHELL_FIXTURE_H
#define TOWER_TESTS_SHELL_FIXTURE_H

#include "gl_recorder.h"
#include "program_harness.h"
#include "program_state.h"
#include "scripted_backend.h"
#include "win32_spy.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class ShellTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        harness::FreshProcess();
        spy::Reset();
        glrec::Reset();
    }

    scripted::Script &Script()
    {
        return scripted::CurrentScript();
    }
    const scripted::Record &Record()
    {
        return scripted::CurrentRecord();
    }

    // Interleave the backend's calls with the GL calls, as markers in the
    // recorder's stream.
    void InterleaveBackendCalls()
    {
        Script().logCalls = true;
        scripted::SetObserver([](const char *call) { glrec::Mark(call); });
    }

    // Register the program's class as WinMain does, for tests that create the
    // window themselves.
    static void RegisterProgramClass()
    {
        WNDCLASSEXA wc = {};
        wc.cbSize = sizeof wc;
        wc.style = CS_VREDRAW | CS_HREDRAW | CS_OWNDC;
        wc.lpfnWndProc = MainWindowProc;
        wc.lpszClassName = "GLClass";
        ASSERT_NE(RegisterClassExA(&wc), 0);
    }

    static HWND CreatePopup(int width, int height)
    {
        return CreateWindowExA(0, "GLClass", "OpenGL base code",
                               WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0, width, height,
                               nullptr, nullptr, nullptr, nullptr);
    }

    // Whether a quit request is waiting, taking it if so.
    static bool TakeQuit(int *exitCode = nullptr)
    {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                if (exitCode != nullptr) {
                    *exitCode = static_cast<int>(msg.wParam);
                }
                return true;
            }
        }
        return false;
    }

    std::vector<std::string> BoxTexts()
    {
        std::vector<std::string> out;
        for (const scripted::MessageBoxRecord &box : Record().boxes) {
            out.push_back(box.caption + ": " + box.text);
        }
        return out;
    }
};

#endif
