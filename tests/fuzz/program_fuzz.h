// One fuzz case: the whole program, WinMain to exit, in the world a fuzz
// input describes, with its promises checked. Shared by the libFuzzer target
// and by the replay that every test run makes over the seed corpus.
#ifndef TOWER_TESTS_FUZZ_PROGRAM_FUZZ_H
#define TOWER_TESTS_FUZZ_PROGRAM_FUZZ_H

#include <cstddef>
#include <cstdint>

namespace towerfuzz {

struct Summary {
    bool ranAway;
    int exitCode;
    long passes;
    long duePass; // when teardown first became due; -1 if it never did
    long deadline;
    unsigned long boxes;
    int restores;
};

// Run the program once; a broken promise prints what broke, with the plan
// and the record, and aborts. Otherwise says how the run went.
Summary RunOne(const std::uint8_t *data, std::size_t size);

} // namespace towerfuzz

#endif
