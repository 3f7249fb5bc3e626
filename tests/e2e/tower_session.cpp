#include "tower_session.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <thread>

namespace e2e {

TowerSession::TowerSession(Desktop desktop, int outputScale) : server_(desktop, outputScale)
{
    const char *tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tower-e2e-XXXXXX";
    if (mkdtemp(pattern.data())) {
        dir_ = pattern;
    }
}

TowerSession::~TowerSession()
{
    program_.Kill();
    server_.Stop();
    if (!dir_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
}

bool TowerSession::StartServer(int width, int height, int depth, std::string *error,
                               const std::vector<std::string> &xvfbArgs, const Arrange &arrange)
{
    if (dir_.empty()) {
        *error = "cannot make a temporary directory";
        return false;
    }
    return server_.Start(width, height, depth, dir_, error, xvfbArgs, arrange);
}

bool TowerSession::Start(int width, int height, int depth, std::string *error,
                         const std::vector<std::string> &wrapper, int windowTimeoutMs)
{
    return StartServer(width, height, depth, error) &&
           StartProgram(wrapper, windowTimeoutMs, error);
}

bool TowerSession::StartArranged(int width, int height, const Arrange &arrange, std::string *error)
{
    return StartServer(width, height, 24, error, {}, arrange) && StartProgram({}, 10000, error);
}

bool TowerSession::StartWithoutGlx(int width, int height, std::string *error)
{
    return StartServer(width, height, 24, error, {"-extension", "GLX"}) &&
           program_.Start({TOWER_EXE}, Env(), error, ChildIo{-1, "", dir_ + "/stderr"});
}

bool TowerSession::StartWithFailingEgl(int width, int height, std::string *error)
{
    // Mesa's EGL loads its drivers from there, and the program looks for its
    // box helpers on PATH.
    std::string nothing = dir_ + "/nothing";
    if (!StartServer(width, height, 24, error) || !server_.OfferX(error)) {
        return false;
    }
    if (mkdir(nothing.c_str(), 0755) != 0) {
        *error = "cannot make " + nothing;
        return false;
    }
    std::vector<std::string> env = Env();
    env.push_back("LIBGL_DRIVERS_PATH=" + nothing);
    env.push_back("PATH=" + nothing);
    return program_.Start({TOWER_EXE}, env, error, ChildIo{-1, "", dir_ + "/stderr"});
}

std::string TowerSession::SwayWindow(std::string *error, const std::vector<std::string> &holds,
                                     int timeoutMs) const
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        std::string window = server_.SwayNode("app_id", "tower", error);
        bool held = !window.empty();
        for (const std::string &state : holds) {
            held = held && window.find(state) != std::string::npos;
        }
        if (held || std::chrono::steady_clock::now() >= deadline) {
            return window;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

bool TowerSession::WaitForWaylandWindow(int timeoutMs, std::string *error)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string why;
    while (program_.Running() && std::chrono::steady_clock::now() < deadline) {
        if (Kind() == Desktop::kSway) {
            if (!SwayWindow(&why).empty()) {
                return true;
            }
        } else {
            Screenshot shot;
            if (Grab(&shot, &why) && AnyLit(shot)) {
                return true;
            }
        }
        program_.Wait(50);
    }
    *error = "no window of the program shown within " + std::to_string(timeoutMs) +
             " ms (program: " + program_.Wait(0).Describe() + "; stderr: " + Stderr() + "; " + why +
             ")";
    return false;
}

bool TowerSession::StartProgram(const std::vector<std::string> &wrapper, int windowTimeoutMs,
                                std::string *error)
{
    std::vector<std::string> argv = wrapper;
    argv.push_back(TOWER_EXE);
    std::vector<std::string> env = Env();
    if (!wrapper.empty()) {
        // A wrapper that preloads a library (apitrace does) puts it ahead of
        // a sanitizer runtime, which then refuses to start.
        const char *asan = getenv("ASAN_OPTIONS");
        env.push_back(std::string("ASAN_OPTIONS=") + (asan ? asan : "") +
                      ":verify_asan_link_order=0");
    }
    if (!program_.Start(argv, env, error, ChildIo{-1, "", dir_ + "/stderr"})) {
        return false;
    }
    if (IsWayland(Kind())) {
        return WaitForWaylandWindow(windowTimeoutMs, error);
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(windowTimeoutMs);
    while (!window_ && program_.Running() && std::chrono::steady_clock::now() < deadline) {
        window_ = WaitForViewableWindow(X(), kWindowTitle, 100);
        program_.Wait(0);
    }
    if (!window_) {
        *error = "no viewable window titled \"" + std::string(kWindowTitle) + "\" within " +
                 std::to_string(windowTimeoutMs) + " ms (program: " + program_.Wait(0).Describe() +
                 "; stderr: " + Stderr() + ")";
        return false;
    }
    return true;
}

std::string TowerSession::Stderr() const
{
    return ReadFile(dir_ + "/stderr");
}

bool TowerSession::Key(const std::string &key, bool down, std::string *error)
{
    std::vector<std::string> argv{"xdotool", down ? "keydown" : "keyup", key};
    if (Kind() == Desktop::kSway) {
        argv = {"wtype", down ? "-P" : "-p", key};
    }
    return RunKeyTool(argv, error);
}

bool TowerSession::RunKeyTool(const std::vector<std::string> &argv, std::string *error)
{
    Exit e = Run(argv, 5000, error);
    if (!(e.exited && e.byCode && e.code == 0)) {
        if (error->empty()) {
            *error = argv[0] + ": " + e.Describe();
        }
        return false;
    }
    return true;
}

bool TowerSession::PressKey(const std::string &key, std::string *error)
{
    // wtype's keyboard goes with it, so its press and release go together.
    if (Kind() == Desktop::kSway) {
        return RunKeyTool({"wtype", "-k", key}, error);
    }
    if (!Key(key, true, error)) {
        return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return Key(key, false, error);
}

Exit TowerSession::Run(const std::vector<std::string> &argv, int timeoutMs, std::string *error,
                       const std::string &stdoutPath)
{
    return RunToEnd(argv, Env(), timeoutMs, error, ChildIo{-1, stdoutPath, ""});
}

} // namespace e2e
