// The one way to stderr: the failures said, each once, the words of each
// message box, and the last words when the window system is gone. Every line
// is written whole by one writer that is safe in a signal handler.
#include "posix.h"

#include <cerrno>
#include <cstring>
#include <sys/uio.h>
#include <unistd.h>

namespace posix {

State g_posix = {};

namespace {

constexpr int kMaxParts = 8;

// Write the parts as one line, in one system call unless the pipe takes
// less; only system calls, as it may run in a signal handler.
void WriteLine(const char *const *parts, int count)
{
    iovec pieces[kMaxParts];
    size_t left = 0;
    for (int i = 0; i < count; ++i) {
        pieces[i].iov_base = const_cast<char *>(parts[i]);
        pieces[i].iov_len = std::strlen(parts[i]);
        left += pieces[i].iov_len;
    }
    iovec *next = pieces;
    int remaining = count;
    while (left > 0) {
        const ssize_t written = writev(STDERR_FILENO, next, remaining);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return; // stderr is closed or broken: there is no one left to tell
        }
        left -= static_cast<size_t>(written);
        auto done = static_cast<size_t>(written);
        while (remaining > 0 && done >= next->iov_len) {
            done -= next->iov_len;
            ++next;
            --remaining;
        }
        if (remaining > 0) {
            next->iov_base = static_cast<char *>(next->iov_base) + done;
            next->iov_len -= done;
        }
    }
}

// FNV-1a over the parts, as if they were one string.
std::uint64_t Hash(const char *const *parts, int count)
{
    std::uint64_t hash = 14695981039346656037ULL;
    for (int i = 0; i < count; ++i) {
        for (const char *c = parts[i]; *c != '\0'; ++c) {
            hash = (hash ^ static_cast<unsigned char>(*c)) * 1099511628211ULL;
        }
    }
    return hash;
}

// Whether the line was said before; if not, it is remembered as said. A
// failing call is usually made again every frame, and interleaved with
// others, so every line is remembered, not just the last.
bool SaidBefore(const char *const *parts, int count)
{
    Reports &r = g_posix.reports;
    const std::uint64_t hash = Hash(parts, count);
    for (int i = 0; i < r.known; ++i) {
        if (r.said[i] == hash) {
            return true;
        }
    }
    // Once the table is full, the oldest line is forgotten first.
    r.said[r.next] = hash;
    r.next = (r.next + 1) % kReportsRemembered;
    if (r.known < kReportsRemembered) {
        ++r.known;
    }
    return false;
}

} // namespace

void PosixReportError(const char *what, const char *detail)
{
    const bool hasDetail = detail != nullptr && detail[0] != '\0';
    const char *const parts[] = {"tower: ", what, hasDetail ? ": " : "", hasDetail ? detail : "",
                                 "\n"};
    if (!SaidBefore(parts, 5)) {
        WriteLine(parts, 5);
    }
}

void PosixSayMessageBox(const char *caption, const char *text)
{
    // Every box is said, as every box is shown.
    const char *const parts[] = {caption, ": ", text, "\n"};
    WriteLine(parts, 4);
}

void PosixExitLostConnection(const char *server, const char *name, const char *reason)
{
    const char *parts[kMaxParts];
    int count = 0;
    parts[count++] = "tower: lost the connection to ";
    parts[count++] = server;
    if (name != nullptr) {
        parts[count++] = " \"";
        parts[count++] = name;
        parts[count++] = "\"";
    }
    if (reason != nullptr) {
        parts[count++] = ": ";
        parts[count++] = reason;
    }
    parts[count++] = "\n";
    WriteLine(parts, count);
    // _exit rather than exit: the GL driver's exit handlers would talk to
    // the lost server and could hang.
    _exit(1);
}

} // namespace posix
