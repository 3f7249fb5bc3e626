// The bench script's side of the frame probe: make a record file, start a
// program with its exec time noted, and read the record and the CPU time of
// the processes it names.
//
//   tower_probe init FILE            a fresh, empty record
//   tower_probe exec CMD [ARG...]    run CMD with TOWER_PROBE_EXEC_NS set
//   tower_probe sample FILE          "now_ns swaps cpu_ns cpu_all_ns"
//   tower_probe show FILE            every field, as name=value lines
//
// cpu_ns is the CPU time of the process that presents frames, all its
// threads; cpu_all_ns adds every other live process that loaded the probe
// (under Wine: the wineserver and the prefix's services).
extern "C" {
#include "probe_record.h"
}

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <set>
#include <string>

namespace {

const char *const kOwnerNames[PROBE_OWNERS] = {"program", "x_for_program", "gl_driver"};

uint64_t NowNs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<uint64_t>(t.tv_sec) * 1000000000ull + static_cast<uint64_t>(t.tv_nsec);
}

const ProbeRecord *Map(const char *path)
{
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        std::perror(path);
        return nullptr;
    }
    void *map = mmap(nullptr, sizeof(ProbeRecord), PROT_READ, MAP_SHARED, fd, 0);
    close(fd);
    if (map == MAP_FAILED) {
        std::perror("mmap");
        return nullptr;
    }
    const auto *rec = static_cast<const ProbeRecord *>(map);
    if (rec->magic != PROBE_MAGIC) {
        std::fprintf(stderr, "%s: not a probe record\n", path);
        return nullptr;
    }
    return rec;
}

int Init(const char *path)
{
    ProbeRecord rec{};
    rec.magic = PROBE_MAGIC;
    FILE *f = std::fopen(path, "wb");
    if (f == nullptr || std::fwrite(&rec, sizeof rec, 1, f) != 1 || std::fclose(f) != 0) {
        std::perror(path);
        return 1;
    }
    return 0;
}

// The scheduler's run time of every thread of one process, in ns; 0 once
// the process has gone.
uint64_t ProcessCpuNs(uint64_t pid)
{
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    DIR *dir = opendir(tasks.c_str());
    if (dir == nullptr) {
        return 0;
    }
    uint64_t total = 0;
    while (const dirent *entry = readdir(dir)) {
        if (entry->d_name[0] == '.') {
            continue;
        }
        const std::string path = tasks + "/" + entry->d_name + "/schedstat";
        if (FILE *f = std::fopen(path.c_str(), "r")) {
            unsigned long long ns = 0;
            if (std::fscanf(f, "%llu", &ns) == 1) {
                total += ns;
            }
            std::fclose(f);
        }
    }
    closedir(dir);
    return total;
}

std::set<uint64_t> Pids(const ProbeRecord &rec)
{
    std::set<uint64_t> pids;
    const uint64_t n = rec.pid_count < PROBE_MAX_PIDS ? rec.pid_count : PROBE_MAX_PIDS;
    for (uint64_t i = 0; i < n; ++i) {
        if (rec.pids[i] != 0) {
            pids.insert(rec.pids[i]);
        }
    }
    return pids;
}

int Sample(const char *path)
{
    const ProbeRecord *rec = Map(path);
    if (rec == nullptr) {
        return 1;
    }
    const uint64_t swaps = __atomic_load_n(&rec->swaps, __ATOMIC_ACQUIRE);
    const uint64_t now = NowNs();
    const uint64_t cpu = rec->swap_pid != 0 ? ProcessCpuNs(rec->swap_pid) : 0;
    uint64_t all = 0;
    for (uint64_t pid : Pids(*rec)) {
        all += ProcessCpuNs(pid);
    }
    std::printf("%" PRIu64 " %" PRIu64 " %" PRIu64 " %" PRIu64 "\n", now, swaps, cpu, all);
    return 0;
}

int Show(const char *path)
{
    const ProbeRecord *rec = Map(path);
    if (rec == nullptr) {
        return 1;
    }
    std::printf("swap_pid=%" PRIu64 "\nswaps=%" PRIu64 "\n", rec->swap_pid, rec->swaps);
    std::printf("pids=");
    for (uint64_t pid : Pids(*rec)) {
        std::printf("%" PRIu64 " ", pid);
    }
    std::printf("\n");
    if (rec->exec_ns != 0 && rec->first_swap_ns >= rec->exec_ns) {
        std::printf("exec_to_first_swap_ns=%" PRIu64 "\n", rec->first_swap_ns - rec->exec_ns);
    }
    std::printf("exit_swaps=%" PRIu64 "\nexit_cpu_ns=%" PRIu64 "\n", rec->exit_swaps,
                rec->exit_cpu_ns);
    std::printf("startup_allocs=%" PRIu64 "\nunclassified=%" PRIu64 "\n", rec->startup_allocs,
                rec->unclassified);
    for (int o = 0; o < PROBE_OWNERS; ++o) {
        std::printf("allocs_%s=%" PRIu64 "\nbytes_%s=%" PRIu64 "\n", kOwnerNames[o], rec->allocs[o],
                    kOwnerNames[o], rec->bytes[o]);
    }
    for (int m = 0; m < PROBE_MAX_MARKS; ++m) {
        const ProbeMark &mark = rec->marks[m];
        if (mark.frame == 0) {
            continue;
        }
        std::printf("mark%d_frame=%" PRIu64 "\nmark%d_rss_kb=%" PRIu64 "\nmark%d_hwm_kb=%" PRIu64
                    "\n",
                    m, mark.frame, m, mark.rss_kb, m, mark.hwm_kb);
        for (int o = 0; o < PROBE_OWNERS; ++o) {
            std::printf("mark%d_allocs_%s=%" PRIu64 "\nmark%d_bytes_%s=%" PRIu64 "\n", m,
                        kOwnerNames[o], mark.allocs[o], m, kOwnerNames[o], mark.bytes[o]);
        }
    }
    const uint64_t callers =
        rec->caller_count < PROBE_MAX_CALLERS ? rec->caller_count : PROBE_MAX_CALLERS;
    for (uint64_t i = 0; i < callers; ++i) {
        char name[sizeof rec->callers[i].name + 1] = {};
        std::memcpy(name, rec->callers[i].name, sizeof rec->callers[i].name);
        std::printf("caller=%s %" PRIu64 "\n", name, rec->callers[i].allocs);
    }
    return 0;
}

int Exec(char **argv)
{
    const std::string now = std::to_string(NowNs());
    setenv("TOWER_PROBE_EXEC_NS", now.c_str(), 1);
    execvp(argv[0], argv);
    std::perror(argv[0]);
    return 127;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc >= 3) {
        const std::string command = argv[1];
        if (command == "init") {
            return Init(argv[2]);
        }
        if (command == "exec") {
            return Exec(argv + 2);
        }
        if (command == "sample") {
            return Sample(argv[2]);
        }
        if (command == "show") {
            return Show(argv[2]);
        }
    }
    std::fprintf(stderr, "usage: %s init|sample|show FILE, or exec CMD [ARG...]\n", argv[0]);
    return 2;
}
