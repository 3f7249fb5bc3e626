// The window procedure: the OpenGL set-up inside WM_CREATE, its failure paths,
// WM_SIZE and WM_DESTROY.
#include "shell_fixture.h"

#include <cstring>

using glrec::Fn;

namespace {

constexpr double kNear = 0.20000000298023224;

// The viewport and projection calls ResizeViewport makes, found in the stream.
struct Resize {
    int width;
    int height;
    double aspect;
};

std::vector<Resize> Resizes()
{
    std::vector<Resize> out;
    const auto &calls = glrec::Calls();
    for (size_t i = 0; i < calls.size(); ++i) {
        if (calls[i].fn == Fn::glViewport) {
            Resize r{static_cast<int>(calls[i].I(2)), static_cast<int>(calls[i].I(3)), -1.0};
            for (size_t j = i; j < calls.size(); ++j) {
                if (calls[j].fn == Fn::gluPerspective) {
                    EXPECT_EQ(calls[j].D(0), 45.0);
                    EXPECT_EQ(calls[j].D(2), kNear);
                    EXPECT_EQ(calls[j].D(3), 255.0);
                    r.aspect = calls[j].D(1);
                    break;
                }
            }
            out.push_back(r);
        }
    }
    return out;
}

TEST_F(ShellTest, PixelFormatTemplateIsDoubleBufferedSixteenBitRgba)
{
    const PIXELFORMATDESCRIPTOR &t = kPixelFormatTemplate;
    EXPECT_EQ(t.nSize, 40);
    EXPECT_EQ(t.nVersion, 1);
    EXPECT_EQ(t.dwFlags, 0x25U);
    EXPECT_EQ(t.iPixelType, 0);
    EXPECT_EQ(t.cColorBits, 16);
    EXPECT_EQ(t.cDepthBits, 16);
    EXPECT_EQ(t.iLayerType, 0);
    // Everything else is zero: compare against a copy with the named fields cleared.
    PIXELFORMATDESCRIPTOR rest = t;
    rest.nSize = 0;
    rest.nVersion = 0;
    rest.dwFlags = 0;
    rest.cColorBits = 0;
    rest.cDepthBits = 0;
    const PIXELFORMATDESCRIPTOR zero = {};
    EXPECT_EQ(std::memcmp(&rest, &zero, sizeof rest), 0);
}

TEST_F(ShellTest, CreateSetsUpTheContextThenTheRealSizeArrives)
{
    RegisterProgramClass();
    InterleaveBackendCalls();
    const HWND hwnd = CreatePopup(1920, 1080);
    ASSERT_NE(hwnd, nullptr);

    // Device context, the template's pixel format, a current context.
    const spy::Log &log = spy::Get();
    ASSERT_EQ(log.pixelFormats.size(), 2U);
    EXPECT_FALSE(log.pixelFormats[0].set);
    EXPECT_EQ(std::memcmp(&log.pixelFormats[0].pfd, &kPixelFormatTemplate, 40), 0);
    EXPECT_TRUE(log.pixelFormats[1].set);
    EXPECT_EQ(log.pixelFormats[1].format, log.pixelFormats[0].result);
    EXPECT_EQ(g_pixelFormat, 1);
    EXPECT_NE(g_hDC, nullptr);
    EXPECT_EQ(log.pixelFormats[0].hdc, g_hDC);
    EXPECT_NE(g_hRC, nullptr);
    EXPECT_NE(Record().current, 0U);

    // 640 x 480 first whatever the size, then the client size from WM_SIZE.
    const std::vector<Resize> resizes = Resizes();
    ASSERT_EQ(resizes.size(), 2U);
    EXPECT_EQ(resizes[0].width, 640);
    EXPECT_EQ(resizes[0].height, 480);
    EXPECT_EQ(resizes[0].aspect, 640.0 / 480.0);
    EXPECT_EQ(resizes[1].width, 1920);
    EXPECT_EQ(resizes[1].height, 1080);
    EXPECT_EQ(resizes[1].aspect, 1920.0 / 1080.0);
    EXPECT_EQ(g_width, 1920);
    EXPECT_EQ(g_height, 1080);

    // The order: context current before any GL call, the render state before
    // the window shows, the real size last.
    std::vector<std::string> order;
    for (const glrec::Call &call : glrec::Calls()) {
        if (call.fn == Fn::Marker) {
            order.push_back(glrec::Markers()[call.bits[0]]);
        } else if (call.fn == Fn::glViewport) {
            order.push_back("viewport " + std::to_string(call.I(2)));
        } else if (call.fn == Fn::glHint) {
            order.push_back("render state");
        }
    }
    const std::vector<std::string> expected = {
        "CreateWindow 0,0 1920x1080",
        "GetDC",
        "ChoosePixelFormat 16/16",
        "SetPixelFormat 1",
        "CreateContext",
        "MakeCurrent 1",
        "viewport 640",
        "render state",
        "ShowWindow 1",
        "viewport 1920",
    };
    EXPECT_EQ(order, expected);

    EXPECT_TRUE(Record().windowVisible);
    EXPECT_TRUE(Record().boxes.empty() && Record().reports.empty());
    EXPECT_FALSE(TakeQuit());
}

struct CreateFailure {
    const char *name; // the backend call the script refuses
    void (*arrange)(scripted::Script &);
    std::vector<std::string> boxes;
    int setPixelFormatWith; // -1: never called
    bool viewportSet;
    bool shown;
};

TEST_F(ShellTest, EachCreateFailureIsReportedAndTearsDown)
{
    const CreateFailure cases[] = {
        {"GetDC",
         [](scripted::Script &s) { s.failDC = true; },
         {"Device Context Error: Failed to Get the Window Device Context"},
         -1,
         false,
         false},
        {"ChoosePixelFormat",
         [](scripted::Script &s) { s.failChoosePixelFormat = true; },
         // Format 0 cannot be set either, and without a format no context.
         {"Pixel Format Error: Failed to find pixel format",
          "Pixel Format Error: Failed to Set Pixel Format",
          "OpenGL Rendering Context Error: Failed to Create the OpenGL Rendering Context"},
         0,
         false,
         false},
        {"SetPixelFormat",
         [](scripted::Script &s) { s.failSetPixelFormat = true; },
         {"Pixel Format Error: Failed to Set Pixel Format",
          "OpenGL Rendering Context Error: Failed to Create the OpenGL Rendering Context"},
         1,
         false,
         false},
        {"CreateContext",
         [](scripted::Script &s) { s.failCreateContext = true; },
         {"OpenGL Rendering Context Error: Failed to Create the OpenGL Rendering Context"},
         1,
         false,
         false},
        {"MakeCurrent",
         [](scripted::Script &s) { s.failMakeCurrent = true; },
         {"OpenGL Rendering Context Error: Failed to Make OpenGL Rendering Context Current"},
         1,
         true,
         true},
    };
    for (const CreateFailure &c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        RegisterProgramClass();
        c.arrange(Script());
        const HWND hwnd = CreatePopup(800, 600);
        // WM_CREATE never refuses creation.
        ASSERT_NE(hwnd, nullptr);

        EXPECT_EQ(BoxTexts(), c.boxes);
        for (const scripted::MessageBoxRecord &box : Record().boxes) {
            EXPECT_EQ(box.type, static_cast<UINT>(MB_OK));
            const bool isPixelFormatBox = box.caption == "Pixel Format Error";
            // Pixel-format boxes name g_hWnd, still null during WM_CREATE.
            EXPECT_EQ(box.owner, isPixelFormatBox ? 0U : Record().window) << box.text;
        }
        // The refusal is said once; the failures that only follow from it are not.
        EXPECT_EQ(Record().reports,
                  std::vector<std::string>{"the script refuses: " + std::string(c.name)});

        int setWith = -1;
        for (const spy::PixelFormatCall &call : spy::Get().pixelFormats) {
            if (call.set) {
                setWith = call.format;
            }
        }
        EXPECT_EQ(setWith, c.setPixelFormatWith);
        // The fixed 640 x 480 set-up shows whether WM_CREATE went on past the failure.
        bool sawFixedViewport = false;
        for (const Resize &r : Resizes()) {
            sawFixedViewport = sawFixedViewport || (r.width == 640 && r.height == 480);
        }
        EXPECT_EQ(sawFixedViewport, c.viewportSet);
        EXPECT_EQ(Record().windowVisible, c.shown);

        // Every failure ends in teardown: one quit request, carrying exit
        // code 1, as does every later one.
        int exitCode = -1;
        EXPECT_TRUE(TakeQuit(&exitCode));
        EXPECT_EQ(exitCode, 1);
        TearDownGL();
        EXPECT_TRUE(TakeQuit(&exitCode));
        EXPECT_EQ(exitCode, 1);
        EXPECT_FALSE(TakeQuit());
    }
}

// Pass the window system's news to the core at the next pass, and let the
// program take what it makes of it; false when it makes no message.
bool Tell(scripted::WindowEvent event)
{
    event.pass = scripted::CurrentRecord().passes + 1;
    scripted::CurrentScript().events = {event};
    MSG msg;
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        return false;
    }
    DispatchMessageA(&msg);
    return true;
}

TEST_F(ShellTest, TheViewportFollowsTheSizeTheWindowSystemTells)
{
    RegisterProgramClass();
    ASSERT_NE(CreatePopup(1024, 768), nullptr);
    using Event = scripted::WindowEvent;
    struct Case {
        Event event;
        bool heard; // the rest only where it is
        int viewportW, viewportH;
        double aspect;
        int width, height;
    };
    const Case cases[] = {
        {{0, Event::Resized, 800, 0}, true, 800, 1, 800.0, 800, 0}, // zero height is kept as 0
        {{0, Event::Resized, 800, 0}, false, 0, 0, 0, 0, 0},        // no change, no message
        {{0, Event::Minimized}, true, 0, 1, 0.0, 0, 0},
        {{0, Event::Minimized}, false, 0, 0, 0, 0, 0},
        {{0, Event::Resized, 1280, 720}, false, 0, 0, 0, 0, 0}, // held while minimised
        {{0, Event::Restored}, true, 1280, 720, 1280.0 / 720.0, 1280, 720},
        // Both halves are unsigned: 0xFFFF is 65535, never -1.
        {{0, Event::Resized, 65535, 65535}, true, 65535, 65535, 1.0, 65535, 65535},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(&c - cases);
        glrec::Reset();
        EXPECT_EQ(Tell(c.event), c.heard);
        const std::vector<Resize> resizes = Resizes();
        ASSERT_EQ(resizes.size(), c.heard ? 1U : 0U);
        if (c.heard) {
            EXPECT_EQ(resizes[0].width, c.viewportW);
            EXPECT_EQ(resizes[0].height, c.viewportH);
            EXPECT_EQ(resizes[0].aspect, c.aspect);
            EXPECT_EQ(g_width, c.width);
            EXPECT_EQ(g_height, c.height);
            EXPECT_EQ(glrec::CurrentMatrixMode(), static_cast<GLenum>(GL_MODELVIEW));
            EXPECT_TRUE(glrec::ModelViewIsIdentity());
        }
    }
    EXPECT_FALSE(TakeQuit());
}

TEST_F(ShellTest, ClosingTheWindowReachesTeardown)
{
    g_fullscreen = 1;
    RegisterProgramClass();
    const HWND hwnd = CreatePopup(1024, 768);
    ASSERT_NE(hwnd, nullptr);
    ASSERT_NE(Record().current, 0U);

    // The window manager's close: DefWindowProcA destroys, WM_DESTROY tears down.
    EXPECT_TRUE(Tell({0, scripted::WindowEvent::CloseAll}));

    EXPECT_TRUE(Record().windowDestroyed);
    EXPECT_EQ(Record().current, 0U);
    EXPECT_EQ(Record().contextsDeleted, 1);
    EXPECT_EQ(Record().restores, 1);
    EXPECT_FALSE(DestroyWindow(hwnd)) << "the handle died with the window";
    int exitCode = -1;
    EXPECT_TRUE(TakeQuit(&exitCode));
    EXPECT_EQ(exitCode, 0);
}

} // namespace
