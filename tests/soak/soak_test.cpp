// A million frame passes of the whole program, WinMain and all, with Escape
// going down at the last one. Over that run the animation phase must stay the
// float running sum of its step, and the loop must allocate nothing. The time
// per pass is measured and printed, never asserted: a test box's load is not
// the program's speed.
#include "alloc_counter.h"
#include "gl_recorder.h"
#include "program_harness.h"
#include "renderer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

constexpr long kEscapePass = 1000000;
// The phase after 1,000,000 and 1,000,001 frames, worked out apart from this
// code: each float sum done exactly in double and then rounded to float,
// which is what one float addition is. Rounding makes them drift from the
// naive 500.0.
constexpr std::uint32_t kPhaseBitsAtEscape = 0x43f7c90f;
constexpr std::uint32_t kPhaseBitsAtEnd = 0x43f7c91f;
// Counting starts once start-up is long over; each later checkpoint closes
// one stretch of the run.
constexpr long kCheckpoints[] = {1000, 250000, 500000, 750000, kEscapePass};
constexpr int kStretches = sizeof kCheckpoints / sizeof kCheckpoints[0] - 1;

using Clock = std::chrono::steady_clock;

struct Soak {
    // The phase as it must be: one float addition of the step per frame.
    // Volatile so that the sum is rounded to float at every step, whatever
    // the compiler would like to keep in a wider register.
    volatile float expectedPhase = 0.0f;
    long firstMismatch = -1;
    float phaseAtMismatch = 0.0f;
    float expectedAtMismatch = 0.0f;
    float phaseAtEscape = 0.0f;
    float expectedAtEscape = 0.0f;

    int next = 0; // index of the next checkpoint
    long allocations[kStretches] = {};
    double nsPerPass[kStretches] = {};
    Clock::time_point stretchStart;
};

bool SameBits(float a, float b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

std::uint32_t Bits(float v)
{
    std::uint32_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

// Runs on every pass, when the program polls Escape, after that pass's frame
// has been drawn. Nothing here may allocate.
bool OnPass(Soak &soak, long pass)
{
    soak.expectedPhase = soak.expectedPhase + 0.0005f;
    const float expected = soak.expectedPhase;
    if (soak.firstMismatch < 0 && !SameBits(g_phase, expected)) {
        soak.firstMismatch = pass;
        soak.phaseAtMismatch = g_phase;
        soak.expectedAtMismatch = expected;
    }

    if (soak.next <= kStretches && pass == kCheckpoints[soak.next]) {
        const Clock::time_point now = Clock::now();
        if (soak.next > 0) {
            const int stretch = soak.next - 1;
            soak.allocations[stretch] = alloc_counter::Stop();
            const long passes = kCheckpoints[soak.next] - kCheckpoints[stretch];
            soak.nsPerPass[stretch] =
                std::chrono::duration<double, std::nano>(now - soak.stretchStart).count() /
                static_cast<double>(passes);
        }
        ++soak.next;
        if (soak.next <= kStretches) {
            alloc_counter::Start();
        }
        soak.stretchStart = Clock::now();
    }

    const bool escape = pass >= kEscapePass;
    if (pass == kEscapePass) {
        soak.phaseAtEscape = g_phase;
        soak.expectedAtEscape = expected;
    }
    return escape;
}

TEST(Soak, AMillionPassesKeepThePhaseExactAndAllocateNothing)
{
    glrec::Reset();
    glrec::SetRecording(false);
    harness::FreshProcess();
    scripted::Script &script = scripted::CurrentScript();
    script.maxPasses = kEscapePass + 10;
    Soak soak;
    script.escapeDown = [&soak](long pass) { return OnPass(soak, pass); };

    const harness::Outcome outcome = harness::RunWinMain();
    script.escapeDown = nullptr;
    const scripted::Record &rec = scripted::CurrentRecord();

    ASSERT_FALSE(outcome.ranAway);
    EXPECT_EQ(outcome.exitCode, 0);
    // Escape at the millionth pass; the next pass takes WM_QUIT and still
    // draws, which the phase below accounts for.
    EXPECT_EQ(rec.passes, kEscapePass + 1);
    EXPECT_EQ(rec.swaps, rec.passes);
    EXPECT_FALSE(rec.displayChanged);

    EXPECT_EQ(soak.firstMismatch, -1)
        << "the phase left the running sum at pass " << soak.firstMismatch << ": "
        << soak.phaseAtMismatch << " instead of " << soak.expectedAtMismatch;
    EXPECT_TRUE(SameBits(soak.phaseAtEscape, soak.expectedAtEscape))
        << soak.phaseAtEscape << " instead of " << soak.expectedAtEscape;
    const float finalExpected = soak.expectedAtEscape + 0.0005f;
    EXPECT_TRUE(SameBits(g_phase, finalExpected)) << g_phase << " instead of " << finalExpected;
    EXPECT_EQ(Bits(soak.phaseAtEscape), kPhaseBitsAtEscape) << soak.phaseAtEscape;
    EXPECT_EQ(Bits(g_phase), kPhaseBitsAtEnd) << g_phase;

    ASSERT_EQ(soak.next, kStretches + 1) << "a checkpoint was never reached";
    const bool counted = alloc_counter::Available();
    for (int i = 0; i < kStretches; ++i) {
        std::printf("passes %7ld..%7ld: %7.1f ns per pass, ", kCheckpoints[i], kCheckpoints[i + 1],
                    soak.nsPerPass[i]);
        if (counted) {
            std::printf("%ld allocations\n", soak.allocations[i]);
        } else {
            std::printf("allocations not counted under the sanitizers\n");
        }
    }
    std::printf("last stretch / first stretch time per pass: %.3f; phase at the end %.6f\n",
                soak.nsPerPass[kStretches - 1] / soak.nsPerPass[0], static_cast<double>(g_phase));

    for (int i = 0; counted && i < kStretches; ++i) {
        EXPECT_EQ(soak.allocations[i], 0)
            << "passes " << kCheckpoints[i] << " to " << kCheckpoints[i + 1] << " allocated";
    }
}

} // namespace
