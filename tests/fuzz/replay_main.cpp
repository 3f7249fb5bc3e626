// Replays fuzz inputs, files or folders of them, through the same entry the
// fuzzer uses, so every test run re-checks the seed corpus and any crash
// input someone saved. Exits non-zero if an argument cannot be read; a broken
// promise aborts inside the run.
#include "program_fuzz.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

bool ReplayFile(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return false;
    }
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
    // Named before the run, so an abort says which input it was.
    std::printf("%s (%zu bytes)\n", path.c_str(), bytes.size());
    std::fflush(stdout);
    const towerfuzz::Summary s =
        towerfuzz::RunOne(reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size());
    if (s.ranAway) {
        std::printf("  still running at the pass limit (%ld passes)", s.passes);
    } else {
        std::printf("  exit code %d after %ld passes", s.exitCode, s.passes);
    }
    if (s.duePass >= 0) {
        std::printf(", teardown due at pass %ld, end due by pass %ld", s.duePass, s.deadline);
    }
    std::printf(", %lu boxes, %d restores\n", s.boxes, s.restores);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE_OR_FOLDER...\n", argv[0]);
        return 2;
    }
    int replayed = 0;
    bool ok = true;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path arg(argv[i]);
        std::error_code error;
        if (std::filesystem::is_directory(arg, error)) {
            std::vector<std::filesystem::path> files;
            for (const auto &entry : std::filesystem::directory_iterator(arg, error)) {
                if (entry.is_regular_file()) {
                    files.push_back(entry.path());
                }
            }
            std::sort(files.begin(), files.end());
            for (const auto &file : files) {
                ok = ReplayFile(file) && ok;
                ++replayed;
            }
        } else {
            ok = ReplayFile(arg) && ok;
            ++replayed;
        }
    }
    if (replayed == 0) {
        std::fprintf(stderr, "no inputs found\n");
        return 1;
    }
    if (!ok) {
        return 1;
    }
    std::printf("%d inputs replayed, every promise kept\n", replayed);
    return 0;
}
