#include "child_process.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace e2e {

std::string Exit::Describe() const
{
    if (!exited) {
        return "still running";
    }
    if (byCode) {
        return "exit code " + std::to_string(code);
    }
    return "killed by signal " + std::to_string(code) + " (" + strsignal(code) + ")";
}

std::string FindOnPath(const std::string &name)
{
    if (name.find('/') != std::string::npos) {
        return access(name.c_str(), X_OK) == 0 ? name : "";
    }
    const char *path = getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) {
            end = dirs.size();
        }
        std::string candidate = dirs.substr(start, end - start) + "/" + name;
        struct stat st {};
        if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        start = end + 1;
    }
    return "";
}

// Everything between fork and exec: only async-signal-safe calls.
[[noreturn]] static void ExecChild(pid_t parent, char *const *argv, int keepFd, int outFd,
                                   int errFd, int reportFd)
{
    setpgid(0, 0);
    // A test binary killed by its timeout must not leave its children behind.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) {
        _exit(127);
    }
    if (outFd != -1) {
        dup2(outFd, STDOUT_FILENO);
    }
    if (errFd != -1) {
        dup2(errFd, STDERR_FILENO);
    }
    for (int fd = 3; fd < 1024; ++fd) {
        if (fd != keepFd && fd != reportFd) {
            close(fd);
        }
    }
    signal(SIGPIPE, SIG_DFL);
    execv(argv[0], argv);
    int err = errno;
    ssize_t ignored = write(reportFd, &err, sizeof err);
    (void)ignored;
    _exit(127);
}

bool ChildProcess::Start(const std::vector<std::string> &argv, const std::vector<std::string> &env,
                         std::string *error, const ChildIo &io)
{
    Kill();
    std::string program = FindOnPath(argv.at(0));
    if (program.empty()) {
        *error = argv[0] + ": not found on PATH";
        return false;
    }
    std::vector<std::string> args = argv;
    args[0] = program;
    std::vector<char *> cargv;
    cargv.reserve(args.size() + 1);
    for (std::string &a : args) {
        cargv.push_back(a.data());
    }
    cargv.push_back(nullptr);

    int outFd = -1;
    int errFd = -1;
    auto closeFiles = [&] {
        if (outFd != -1) {
            close(outFd);
        }
        if (errFd != -1) {
            close(errFd);
        }
    };
    for (auto [path, fd] : {std::pair{&io.out, &outFd}, std::pair{&io.err, &errFd}}) {
        if (path->empty()) {
            continue;
        }
        *fd = open(path->c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (*fd == -1) {
            *error = *path + ": " + strerror(errno);
            closeFiles();
            return false;
        }
    }
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) {
        *error = std::string("pipe: ") + strerror(errno);
        closeFiles();
        return false;
    }
    // setenv before fork keeps the child free of allocation; the parent's
    // environment is put back right after.
    std::vector<std::pair<std::string, std::string>> saved;
    for (const std::string &setting : env) {
        size_t eq = setting.find('=');
        std::string name = setting.substr(0, eq);
        const char *old = getenv(name.c_str());
        saved.emplace_back(name, old ? std::string("=") + old : "");
        setenv(name.c_str(), setting.substr(eq + 1).c_str(), 1);
    }
    pid_t parent = getpid();
    pid_t pid = fork();
    if (pid == 0) {
        ExecChild(parent, cargv.data(), io.keepFd, outFd, errFd, report[1]);
    }
    for (const auto &[name, old] : saved) {
        if (old.empty()) {
            unsetenv(name.c_str());
        } else {
            setenv(name.c_str(), old.c_str() + 1, 1);
        }
    }
    close(report[1]);
    closeFiles();
    if (pid < 0) {
        close(report[0]);
        *error = std::string("fork: ") + strerror(errno);
        return false;
    }
    pid_ = pid;
    reaped_ = false;
    exit_ = Exit{};
    // Also set from this side, so that Kill() finds the group even if the
    // child has not run yet.
    setpgid(pid, pid);
    int err = 0;
    ssize_t got;
    do {
        got = read(report[0], &err, sizeof err);
    } while (got < 0 && errno == EINTR);
    close(report[0]);
    if (got == static_cast<ssize_t>(sizeof err)) {
        Wait(1000);
        *error = program + ": " + strerror(err);
        return false;
    }
    return true;
}

Exit ChildProcess::Wait(int timeoutMs)
{
    if (pid_ <= 0 || reaped_) {
        return exit_;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int status = 0;
        pid_t r = waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            reaped_ = true;
            exit_.exited = true;
            exit_.byCode = WIFEXITED(status);
            exit_.code = WIFEXITED(status) ? WEXITSTATUS(status) : WTERMSIG(status);
            return exit_;
        }
        if (r < 0 && errno != EINTR) {
            reaped_ = true;
            return exit_;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return exit_;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void ChildProcess::Signal(int sig)
{
    if (Running()) {
        kill(pid_, sig);
    }
}

void ChildProcess::Kill()
{
    if (pid_ > 0) {
        // The group may hold grandchildren even after the child is reaped.
        kill(-pid_, SIGKILL);
        if (!reaped_) {
            kill(pid_, SIGKILL);
            Wait(5000);
        }
    }
    pid_ = -1;
    reaped_ = false;
}

ChildProcess::~ChildProcess()
{
    Kill();
}

Exit RunToEnd(const std::vector<std::string> &argv, const std::vector<std::string> &env,
              int timeoutMs, std::string *error, const ChildIo &io)
{
    ChildProcess child;
    if (!child.Start(argv, env, error, io)) {
        return Exit{};
    }
    Exit result = child.Wait(timeoutMs);
    if (!result.exited) {
        *error = argv[0] + ": still running after " + std::to_string(timeoutMs) + " ms";
    }
    child.Kill();
    return result;
}

} // namespace e2e
