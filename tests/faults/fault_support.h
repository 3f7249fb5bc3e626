// What the fault tests share beyond the end-to-end harness: the preloaded
// GL witness (gl_witness.cpp) and what it leaves behind, and bounded waits on
// it.
#ifndef TOWER_TESTS_FAULTS_FAULT_SUPPORT_H
#define TOWER_TESTS_FAULTS_FAULT_SUPPORT_H

#include "child_process.h"

#include <chrono>
#include <string>
#include <vector>

namespace faults {

// A directory of its own for one test's files, removed with what is in it.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &Path() const
    {
        return path_;
    }

  private:
    std::string path_;
};

// Where one run's probe writes, inside a test's own directory.
struct Probe {
    std::string swaps;    // one byte per glXSwapBuffers
    std::string viewport; // the last glViewport's numbers

    explicit Probe(const std::string &dir);

    // NAME=VALUE settings that load the probe, with any other preloaded
    // libraries after it, and point it at this run's files.
    std::vector<std::string> Env(const std::vector<std::string> &alsoPreload = {}) const;
    // The same as the start of a command line, through env(1), for the
    // harness's wrapper argument.
    std::vector<std::string> Wrapper(const std::vector<std::string> &alsoPreload = {}) const;

    // Frames presented so far.
    long Frames() const;
    // Wait until at least count frames have been presented, the program has
    // ended, or timeoutMs has passed; true only for the first.
    bool WaitForFrames(e2e::ChildProcess &program, long count, int timeoutMs) const;

    struct Rect {
        int x = -1;
        int y = -1;
        int width = -1;
        int height = -1;
    };
    // The last viewport the program set, or all -1 when it set none.
    Rect LastViewport() const;
};

// Milliseconds since a moment.
long MsSince(std::chrono::steady_clock::time_point start);

} // namespace faults

#endif
