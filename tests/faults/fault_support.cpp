#include "fault_support.h"

#include "tower_session.h"

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <sys/stat.h>
#include <thread>

namespace faults {

TempDir::TempDir()
{
    const char *tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tower-faults-XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) {
        path_ = pattern;
    }
}

TempDir::~TempDir()
{
    if (!path_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
}

Probe::Probe(const std::string &dir) : swaps(dir + "/swaps"), viewport(dir + "/viewport") {}

std::vector<std::string> Probe::Env(const std::vector<std::string> &alsoPreload) const
{
    std::string preload = std::string("LD_PRELOAD=") + TOWER_GL_WITNESS;
    for (const std::string &library : alsoPreload) {
        preload += ":" + library;
    }
    // A preloaded library ahead of a sanitizer runtime makes it refuse to
    // start; the probe itself needs none.
    const char *asan = std::getenv("ASAN_OPTIONS");
    return {preload, "TOWER_SWAP_COUNT_FILE=" + swaps, "TOWER_VIEWPORT_FILE=" + viewport,
            std::string("ASAN_OPTIONS=") + (asan ? asan : "") + ":verify_asan_link_order=0"};
}

std::vector<std::string> Probe::Wrapper(const std::vector<std::string> &alsoPreload) const
{
    std::vector<std::string> argv = {"env"};
    for (const std::string &setting : Env(alsoPreload)) {
        argv.push_back(setting);
    }
    return argv;
}

long Probe::Frames() const
{
    struct stat info = {};
    return stat(swaps.c_str(), &info) == 0 ? static_cast<long>(info.st_size) : 0;
}

bool Probe::WaitForFrames(e2e::ChildProcess &program, long count, int timeoutMs) const
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Frames() < count) {
        if (!program.Running() || std::chrono::steady_clock::now() >= deadline) {
            return Frames() >= count;
        }
        program.Wait(0);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

Probe::Rect Probe::LastViewport() const
{
    Rect rect;
    std::istringstream text(e2e::ReadFile(viewport));
    text >> rect.x >> rect.y >> rect.width >> rect.height;
    return rect;
}

long MsSince(std::chrono::steady_clock::time_point start)
{
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - start)
                                 .count());
}

} // namespace faults
