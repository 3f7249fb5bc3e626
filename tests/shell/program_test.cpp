// The whole program over the scripted backend: start-up, the frame loop and
// every way it ends.
#include "shell_fixture.h"

#include <cstring>

using glrec::Fn;

namespace {

const HINSTANCE kInstance = reinterpret_cast<HINSTANCE>(0x400000);

// The program's passes as the backend and GL saw them, one string per pass:
// "PeekMessage|draw|Sleep 1|SwapBuffers|GetAsyncKeyState 27".
std::vector<std::string> Passes()
{
    std::vector<std::string> passes;
    bool inDraw = false;
    for (const glrec::Call &call : glrec::Calls()) {
        if (call.fn == Fn::Marker) {
            const std::string &note = glrec::Markers()[call.bits[0]];
            if (note == "PeekMessage") {
                passes.emplace_back();
            } else if (passes.empty()) {
                continue; // start-up
            }
            passes.back() += (passes.back().empty() ? "" : "|") + note;
            inDraw = false;
        } else if (call.fn == Fn::glClear && !passes.empty() && !inDraw) {
            passes.back() += "|draw";
            inDraw = true;
        }
    }
    return passes;
}

TEST_F(ShellTest, StartUpRegistersSwitchesAndCreatesAsExpected)
{
    Script().screenWidth = 1920;
    Script().screenHeight = 1080;
    Script().escapeDown = [](long pass) { return pass == 1; };
    const harness::Outcome outcome = harness::RunWinMain();
    EXPECT_EQ(outcome.exitCode, 0);
    const spy::Log &log = spy::Get();

    ASSERT_EQ(log.classes.size(), 1U);
    const WNDCLASSEXA &wc = log.classes[0].wc;
    EXPECT_EQ(wc.cbSize, sizeof(WNDCLASSEXA));
    EXPECT_EQ(wc.style, 0x23U);
    EXPECT_EQ(wc.lpfnWndProc, &MainWindowProc);
    EXPECT_EQ(wc.cbClsExtra, 0);
    EXPECT_EQ(wc.cbWndExtra, 0);
    EXPECT_EQ(wc.hInstance, kInstance);
    EXPECT_EQ(wc.hIcon, LoadIconA(nullptr, IDI_APPLICATION));
    EXPECT_EQ(wc.hCursor, LoadCursorA(nullptr, IDC_ARROW));
    EXPECT_EQ(wc.hbrBackground, nullptr);
    EXPECT_EQ(wc.lpszMenuName, nullptr);
    EXPECT_EQ(log.classes[0].className, "GLClass");
    EXPECT_EQ(wc.hIconSm, nullptr);

    // The mode switch, byte for byte: everything not named is zero.
    ASSERT_GE(log.modes.size(), 1U);
    const spy::ModeChange &change = log.modes[0];
    ASSERT_TRUE(change.withMode);
    EXPECT_EQ(change.flags, 4U);
    unsigned char bytes[156];
    static_assert(sizeof bytes == sizeof change.mode, "a DEVMODEA is 156 bytes");
    std::memcpy(bytes, &change.mode, sizeof bytes);
    auto dword = [&](int offset) {
        return static_cast<unsigned>(bytes[offset] | bytes[offset + 1] << 8 |
                                     bytes[offset + 2] << 16 | bytes[offset + 3] << 24);
    };
    EXPECT_EQ(bytes[36] | bytes[37] << 8, 156);
    EXPECT_EQ(dword(40), 0x1C0000U);
    EXPECT_EQ(dword(104), 16U);
    EXPECT_EQ(dword(108), 1920U);
    EXPECT_EQ(dword(112), 1080U);
    for (int i = 0; i < 156; ++i) {
        const bool named = (i >= 36 && i < 38) || (i >= 40 && i < 44) || (i >= 104 && i < 116);
        if (!named) {
            EXPECT_EQ(bytes[i], 0) << "byte " << i;
        }
    }

    ASSERT_EQ(log.windows.size(), 1U);
    const spy::WindowCreation &w = log.windows[0];
    EXPECT_EQ(w.exStyle, 0U);
    EXPECT_EQ(w.className, "GLClass");
    EXPECT_EQ(w.title, "OpenGL base code");
    EXPECT_EQ(w.style, 0x86000000U);
    EXPECT_EQ(w.x, 0);
    EXPECT_EQ(w.y, 0);
    EXPECT_EQ(w.width, 1920);
    EXPECT_EQ(w.height, 1080);
    EXPECT_EQ(w.parent, nullptr);
    EXPECT_EQ(w.menu, nullptr);
    EXPECT_EQ(w.instance, kInstance);
    EXPECT_EQ(w.param, nullptr);
    EXPECT_EQ(w.hWndDuringCreate, nullptr) << "WM_CREATE runs before the handle is stored";
    EXPECT_EQ(w.result, g_hWnd);
    EXPECT_EQ(g_width, 1920);
    EXPECT_EQ(g_height, 1080);
    EXPECT_TRUE(Record().boxes.empty() && Record().reports.empty());
}

TEST_F(ShellTest, EachPassTakesAMessageDrawsSleepsPresentsAndPolls)
{
    InterleaveBackendCalls();
    // Escape in pass 3 tears down; pass 4 retrieves WM_QUIT and still runs whole.
    Script().escapeDown = [](long pass) { return pass == 3; };
    const harness::Outcome outcome = harness::RunWinMain();
    EXPECT_EQ(outcome.exitCode, 0);
    const std::string pass = "PeekMessage|draw|Sleep 1|SwapBuffers|GetAsyncKeyState 27";
    const std::string teardown = "|MakeCurrent 0|DeleteContext|RestoreDisplayMode";
    EXPECT_EQ(Passes(), (std::vector<std::string>{pass, pass, pass + teardown, pass}));
    EXPECT_EQ(glrec::Count(Fn::glClear), 4);
    EXPECT_FALSE(Record().displayChanged);
}

TEST_F(ShellTest, QueuedMessagesDrainOnePerPassBeforeTheQuit)
{
    Script().escapeDown = [](long pass) { return pass == 1; };
    for (int i = 0; i < 5; ++i) {
        Script().injections.push_back({1, WM_USER + static_cast<UINT>(i), 0, 0});
    }
    const harness::Outcome outcome = harness::RunWinMain();
    EXPECT_EQ(outcome.exitCode, 0);
    // Five passes for the messages, then the one that takes WM_QUIT.
    EXPECT_EQ(Record().passes, 6);
    EXPECT_EQ(Record().swaps, 6);
    EXPECT_EQ(Record().sleeps, 6);
    EXPECT_EQ(Record().keyPolls, 6);
}

TEST_F(ShellTest, HeldEscapeTearsDownEveryPassUntilTheQuit)
{
    Script().escapeDown = [](long pass) { return pass >= 2; };
    for (int i = 0; i < 3; ++i) {
        Script().injections.push_back({2, WM_USER, 0, 0});
    }
    const harness::Outcome outcome = harness::RunWinMain();
    EXPECT_EQ(outcome.exitCode, 0);
    // The quit posted in pass 2 waits behind the messages taken in passes
    // 2-4; pass 5 takes it, and every one of those passes tears down again.
    EXPECT_EQ(Record().passes, 5);
    EXPECT_EQ(Record().restores, 4);
    EXPECT_FALSE(Record().displayChanged);
}

TEST_F(ShellTest, RefusedModeIsReportedAndNeverRestored)
{
    Script().displayModeResult = DISP_CHANGE_BADMODE;
    const harness::Outcome outcome = harness::RunWinMain();
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_EQ(BoxTexts(),
              (std::vector<std::string>{
                  "Display Error: Your system doesn't support this screen resolution"}));
    EXPECT_EQ(Record().boxes[0].owner, 0U);
    EXPECT_EQ(Record().reports,
              std::vector<std::string>{"the script refuses: ChangeDisplaySettings"});
    EXPECT_EQ(g_fullscreen, 0);
    EXPECT_EQ(Record().restores, 0);
    // The pop-up is still made, and the quit already waits for the first pass.
    EXPECT_EQ(spy::Get().windows.size(), 1U);
    EXPECT_EQ(Record().passes, 1);
}

TEST_F(ShellTest, FailedClassRegistrationExitsWithOneAndMakesNothing)
{
    WNDCLASSEXA taken = {};
    taken.cbSize = sizeof taken;
    taken.lpfnWndProc = DefWindowProcA;
    taken.lpszClassName = "GLClass";
    ASSERT_NE(RegisterClassExA(&taken), 0);

    const harness::Outcome outcome = harness::RunWinMain();
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_EQ(BoxTexts(),
              (std::vector<std::string>{"Window Reg Error: Failed to register the window class"}));
    EXPECT_EQ(Record().boxes[0].owner, 0U);
    EXPECT_EQ(Record().reports,
              std::vector<std::string>{
                  "cannot register a window class: \"GLClass\" is registered already"});
    EXPECT_TRUE(spy::Get().windows.empty());
    EXPECT_TRUE(spy::Get().modes.empty());
    EXPECT_EQ(Record().passes, 0);
}

TEST_F(ShellTest, FailedWindowCreationIsReportedAndRestoresTheMode)
{
    Script().failWindow = true;
    const harness::Outcome outcome = harness::RunWinMain();
    EXPECT_FALSE(outcome.ranAway);
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_EQ(BoxTexts(),
              (std::vector<std::string>{"Window Creation Error: Failed to create the window"}));
    EXPECT_EQ(Record().boxes[0].owner, 0U);
    EXPECT_EQ(Record().boxes[0].type, static_cast<UINT>(MB_OK));
    EXPECT_EQ(Record().restores, 1);
    EXPECT_FALSE(Record().displayChanged);
    EXPECT_EQ(Record().passes, 1);
}

TEST_F(ShellTest, ClosingTheWindowEndsTheProgramWithZero)
{
    Script().events.push_back({3, scripted::WindowEvent::CloseAll});
    const harness::Outcome outcome = harness::RunWinMain();
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_TRUE(Record().windowDestroyed);
    EXPECT_FALSE(Record().displayChanged);
    // Pass 3 takes WM_CLOSE and tears down; pass 4 takes WM_QUIT.
    EXPECT_EQ(Record().passes, 4);
}

TEST_F(ShellTest, NothingEndsAProgramLeftAlone)
{
    Script().maxPasses = 500;
    EXPECT_TRUE(harness::RunWinMain().ranAway);
    EXPECT_TRUE(Record().displayChanged) << "still running, still switched";
}

struct WindowedCase {
    int screenW, screenH, width, height, fullscreen;
    int x, y;
};

TEST_F(ShellTest, WindowedFormIsCentredAndLeavesTheModeAlone)
{
    const WindowedCase cases[] = {
        {1920, 1080, 640, 480, 0, 640, 300},
        {1366, 768, 641, 481, 0, 363, 144},
        {1366, 768, 641, 481, 2, 363, 144},  // only 1 means full-screen
        {100, 100, 301, 301, 0, -100, -100}, // larger than the screen
    };
    for (const WindowedCase &c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " on " << c.screenW);
        SetUp();
        Script().screenWidth = c.screenW;
        Script().screenHeight = c.screenH;
        RegisterProgramClass();
        CreateMainWindow(kInstance, c.width, c.height, c.fullscreen);
        ASSERT_EQ(spy::Get().windows.size(), 1U);
        const spy::WindowCreation &w = spy::Get().windows[0];
        EXPECT_EQ(w.x, c.x);
        EXPECT_EQ(w.y, c.y);
        EXPECT_EQ(w.width, c.width);
        EXPECT_EQ(w.height, c.height);
        EXPECT_EQ(w.style, 0x06CF0000U);
        EXPECT_EQ(g_fullscreen, 0);
        EXPECT_TRUE(spy::Get().modes.empty());
    }
}

} // namespace
