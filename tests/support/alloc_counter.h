// Counts heap allocations made by this process while counting is on. The
// counter replaces malloc for the whole test binary, so it sees operator new
// and every C allocation alike. Sanitizer builds keep their own allocator and
// report the counter as unavailable.
#ifndef TOWER_TESTS_ALLOC_COUNTER_H
#define TOWER_TESTS_ALLOC_COUNTER_H

namespace alloc_counter {

bool Available();
void Start();
// Stops counting and returns the allocations made since Start.
long Stop();

} // namespace alloc_counter

#endif
