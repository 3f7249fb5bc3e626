// Child processes for the end-to-end tests: started in their own process
// group, tied to this process's life, waited for with a bound and killed on
// every path, so that nothing outlives a test.
#ifndef TOWER_TESTS_E2E_CHILD_PROCESS_H
#define TOWER_TESTS_E2E_CHILD_PROCESS_H

#include <string>
#include <sys/types.h>
#include <vector>

namespace e2e {

struct Exit {
    bool exited = false; // ended within the wait
    bool byCode = false; // ended by exit(), not by a signal
    int code = -1;       // exit status, or the signal's number
    std::string Describe() const;
};

// What the child gets besides our environment: a descriptor to inherit, and
// files for its standard output and error (empty: ours).
struct ChildIo {
    int keepFd = -1;
    std::string out;
    std::string err;
};

class ChildProcess {
  public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    // Start argv[0] (looked up on PATH) with extra NAME=VALUE settings added to
    // our environment. Returns false, with the reason in error, when the
    // program cannot be started at all.
    bool Start(const std::vector<std::string> &argv, const std::vector<std::string> &env,
               std::string *error, const ChildIo &io = {});

    // Wait at most timeoutMs for the child to end.
    Exit Wait(int timeoutMs);

    // Send sig to the child alone.
    void Signal(int sig);

    // SIGKILL the child's whole process group and reap it; a no-op once reaped.
    void Kill();

    pid_t Pid() const
    {
        return pid_;
    }
    bool Running() const
    {
        return pid_ > 0 && !reaped_;
    }

  private:
    pid_t pid_ = -1;
    bool reaped_ = false;
    Exit exit_;
};

// Run a command to its end, killing it after timeoutMs.
Exit RunToEnd(const std::vector<std::string> &argv, const std::vector<std::string> &env,
              int timeoutMs, std::string *error, const ChildIo &io = {});

// The full path of an executable on PATH, or empty.
std::string FindOnPath(const std::string &name);

} // namespace e2e

#endif
