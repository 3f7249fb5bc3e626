#include "program_fuzz.h"

#include "fuzz_plan.h"
#include "gl_recorder.h"
#include "program_harness.h"
#include "program_state.h"

#include "core/core.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace towerfuzz {

namespace {

struct KnownBox {
    const char *text;
    const char *caption;
};

const KnownBox kKnownBoxes[] = {
    {"Failed to register the window class", "Window Reg Error"},
    {"Your system doesn't support this screen resolution", "Display Error"},
    {"Failed to create the window", "Window Creation Error"},
    {"Failed to Get the Window Device Context", "Device Context Error"},
    {"Failed to find pixel format", "Pixel Format Error"},
    {"Failed to Set Pixel Format", "Pixel Format Error"},
    {"Failed to Create the OpenGL Rendering Context", "OpenGL Rendering Context Error"},
    {"Failed to Make OpenGL Rendering Context Current", "OpenGL Rendering Context Error"},
};

// The first moment at which the program owed us a teardown, and the queue it
// had to work through after it.
struct Due {
    long pass = -1; // -1: nothing ever asked the program to stop
    long queued = 0;
    const char *why = "";
};

struct Run {
    const Plan *plan = nullptr;
    long lastPolled = -1;
    std::size_t boxesSeen = 0;
    Due due;
    long deadline = 0; // of due
};

const Plan *g_failingPlan = nullptr;

[[noreturn]] __attribute__((format(printf, 1, 2))) void Fail(const char *format, ...)
{
    std::fprintf(stderr, "tower fuzz: invariant broken: ");
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fprintf(stderr, "\n");
    if (g_failingPlan != nullptr) {
        std::fprintf(stderr, "plan:\n%s", Describe(*g_failingPlan).c_str());
    }
    const scripted::Record &rec = scripted::CurrentRecord();
    std::fprintf(stderr,
                 "record: passes %ld, swaps %ld, window 0x%lx destroyed %d, mode requests %zu, "
                 "restores %d, display changed %d, boxes %zu\n",
                 rec.passes, rec.swaps, static_cast<unsigned long>(rec.window), rec.windowDestroyed,
                 rec.modeRequests.size(), rec.restores, rec.displayChanged, rec.boxes.size());
    for (const scripted::MessageBoxRecord &box : rec.boxes) {
        std::fprintf(stderr, "  box \"%s\" / \"%s\"\n", box.text.c_str(), box.caption.c_str());
    }
    std::fflush(stderr);
    std::abort();
}

// Messages that may join the queue after a pass's poll: an upper bound, as
// the queue refuses what it has no room for. Floods land after the poll.
long PostedAfter(const Plan &plan, long pass)
{
    long n = 0;
    for (const Injection &inj : plan.script.injections) {
        n += inj.pass > pass ? 1 : 0;
    }
    for (const Flood &f : plan.floods) {
        n += f.pass >= pass ? f.count : 0;
    }
    return n;
}

// The queue hands out WM_QUIT only once the posted messages ahead of it are
// gone, one per pass; the pass that takes WM_QUIT is the last.
long Deadline(const Due &due, long postedLater)
{
    return due.pass + due.queued + postedLater + 2;
}

long Deadline(const Plan &plan, const Due &due)
{
    return Deadline(due, PostedAfter(plan, due.pass));
}

// Keep whichever of two debts falls due first; postedLater is
// PostedAfter(plan, due.pass), worked out once per pass by the caller.
void Owe(Run &run, const Due &due, long postedLater)
{
    const long deadline = Deadline(due, postedLater);
    if (run.due.pass < 0 || deadline < run.deadline) {
        run.due = due;
        run.deadline = deadline;
    }
}

bool EndsWindow(UINT message)
{
    return message == WM_CLOSE || message == WM_DESTROY;
}

// Whether a WM_CLOSE or WM_DESTROY reached the live window's queue this pass
// through the window system; it will be dispatched within the queue's length.
bool CloseInjected(const Run &run, long pass)
{
    // The window system posts only to a window that was made; one destroyed
    // since has torn down already. A queue this full may have refused it.
    if (scripted::CurrentRecord().window == 0 ||
        platform::g_core.queueSize >= platform::kQueueCapacity - 1) {
        return false;
    }
    for (const Injection &inj : run.plan->script.injections) {
        if (inj.pass == pass && EndsWindow(inj.message)) {
            return true;
        }
    }
    return false;
}

// Called once per pass, where the program polls Escape: the one moment each
// pass when the world outside gets to look and to act.
bool OnEscapePoll(Run &run, long pass)
{
    const Plan &plan = *run.plan;
    const bool down = EscapeDown(plan, pass);
    if (pass == run.lastPolled) {
        return down;
    }
    run.lastPolled = pass;

    const scripted::Record &rec = scripted::CurrentRecord();
    const long queued = platform::g_core.queueSize;
    const long later = PostedAfter(plan, pass);
    if (rec.boxes.size() > run.boxesSeen) {
        // Every failure after registration is followed by teardown.
        Owe(run, Due{pass, queued, "a failure was reported"}, later);
    }
    if (platform::g_core.quitPending) {
        Owe(run, Due{pass, queued, "a quit request was pending"}, later);
    }
    if (rec.windowDestroyed) {
        Owe(run, Due{pass, queued, "the window was destroyed"}, later);
    }
    if (down) {
        Owe(run, Due{pass, queued, "Escape was down"}, later);
    }
    if (CloseInjected(run, pass)) {
        Owe(run, Due{pass, queued, "WM_CLOSE or WM_DESTROY was on its way to the window"}, later);
    }
    run.boxesSeen = rec.boxes.size();

    for (const Flood &f : plan.floods) {
        if (f.pass != pass) {
            continue;
        }
        const HWND target = f.toThread ? nullptr : g_hWnd;
        bool owed = false;
        for (int i = 0; i < f.count; ++i) {
            const bool posted = PostMessageA(target, f.message, f.wParam, f.lParam) != FALSE;
            // The first one to get in decides; the rest only queue behind it.
            if (posted && !owed && target != nullptr && EndsWindow(f.message)) {
                Owe(run,
                    Due{pass, platform::g_core.queueSize,
                        "WM_CLOSE or WM_DESTROY was posted to the window"},
                    later);
                owed = true;
            }
        }
    }
    return down;
}

// Set-up failures that must end in teardown before the first pass.
Due StartupDue(const Plan &plan, const scripted::Record &rec)
{
    const bool displayRefused = plan.script.screenWidth <= 0 || plan.script.screenHeight <= 0 ||
                                plan.script.displayModeResult != DISP_CHANGE_SUCCESSFUL;
    const bool contextFailed =
        rec.window != 0 && (plan.script.failDC || plan.script.failChoosePixelFormat ||
                            plan.script.failSetPixelFormat || plan.script.failCreateContext ||
                            plan.script.failMakeCurrent);
    Due due;
    if (displayRefused || contextFailed) {
        due.pass = 0;
        due.queued = std::min(plan.prePosted, platform::kQueueCapacity);
        due.why = displayRefused ? "the display mode was refused" : "context set-up failed";
    }
    return due;
}

void CheckBoxes(const scripted::Record &rec)
{
    for (const scripted::MessageBoxRecord &box : rec.boxes) {
        bool known = false;
        for (const KnownBox &k : kKnownBoxes) {
            known = known || (box.text == k.text && box.caption == k.caption);
        }
        if (!known) {
            Fail("unknown message box \"%s\" / \"%s\"", box.text.c_str(), box.caption.c_str());
        }
        if (box.type != MB_OK) {
            Fail("message box \"%s\" has type 0x%x, not MB_OK", box.text.c_str(), box.type);
        }
    }
}

void CheckClassRefused(const harness::Outcome &outcome, const scripted::Record &rec)
{
    if (outcome.ranAway || outcome.exitCode != 1) {
        Fail("class registration failed but the program %s (exit code %d)",
             outcome.ranAway ? "kept running" : "returned", outcome.exitCode);
    }
    if (rec.window != 0 || !rec.modeRequests.empty() || rec.passes != 0) {
        Fail("class registration failed but the program went on (window 0x%lx, %zu mode "
             "requests, %ld passes)",
             static_cast<unsigned long>(rec.window), rec.modeRequests.size(), rec.passes);
    }
    if (rec.boxes.size() != 1 || rec.boxes[0].caption != "Window Reg Error") {
        Fail("class registration failed but %zu boxes were shown, not the one", rec.boxes.size());
    }
}

// The earliest deadline the run owed: seen while it ran, or known from the
// script alone.
Due EarliestDue(const Plan &plan, const scripted::Record &rec, const Due &observed)
{
    const Due startup = StartupDue(plan, rec);
    if (startup.pass >= 0 &&
        (observed.pass < 0 || Deadline(plan, startup) < Deadline(plan, observed))) {
        return startup;
    }
    return observed;
}

// Whether any message in the plan can reach the window as WM_CREATE.
bool SendsCreate(const Plan &plan)
{
    for (const Injection &inj : plan.script.injections) {
        if (inj.message == WM_CREATE) {
            return true;
        }
    }
    for (const Flood &f : plan.floods) {
        if (!f.toThread && f.count > 0 && f.message == WM_CREATE) {
            return true;
        }
    }
    return false;
}

void CheckEnding(const Plan &plan, const harness::Outcome &outcome, const scripted::Record &rec,
                 const Due &due)
{
    for (const scripted::MessageBoxRecord &box : rec.boxes) {
        if (box.caption == "Window Reg Error") {
            Fail("the class was registered, yet its failure was reported");
        }
    }

    if (outcome.ranAway) {
        // Nothing asked it to stop: running until the limit is its job.
        if (due.pass >= 0 && Deadline(plan, due) <= plan.script.maxPasses) {
            Fail("still running after %ld passes; teardown was due at pass %ld (%s) with %ld "
                 "messages queued and at most %ld posted later, so it should have ended by "
                 "pass %ld",
                 plan.script.maxPasses, due.pass, due.why, due.queued, PostedAfter(plan, due.pass),
                 Deadline(plan, due));
        }
        return;
    }

    if (due.pass < 0) {
        Fail("the frame loop ended at pass %ld, but nothing ever tore down", rec.passes);
    }
    if (rec.passes > Deadline(plan, due)) {
        Fail("ended at pass %ld; teardown was due at pass %ld (%s) with %ld messages queued and "
             "at most %ld posted later, so it should have ended by pass %ld",
             rec.passes, due.pass, due.why, due.queued, PostedAfter(plan, due.pass),
             Deadline(plan, due));
    }
    // Every box after registration reports a set-up failure, and one
    // failure is enough for the quit to carry 1; without any it carries 0.
    const int expectedCode = rec.boxes.empty() ? 0 : 1;
    if (outcome.exitCode != expectedCode) {
        Fail("exit code %d after %zu failure boxes; expected %d", outcome.exitCode,
             rec.boxes.size(), expectedCode);
    }
    if (rec.displayChanged) {
        Fail("the program exited with the display still in the mode it switched to");
    }
    // Teardown releases every context the program made, with two exceptions
    // only the process exit cleans up after: a refused display mode tears
    // down before the window, and its context, even exist; and a WM_CREATE
    // sent again from outside makes a second context over the first.
    const bool displayAccepted = plan.script.screenWidth > 0 && plan.script.screenHeight > 0 &&
                                 plan.script.displayModeResult == DISP_CHANGE_SUCCESSFUL;
    if (displayAccepted && !SendsCreate(plan) &&
        (rec.contextsDeleted != rec.contextsCreated || rec.current != 0)) {
        Fail("exited with %d of %d rendering contexts deleted and context 0x%lx current",
             rec.contextsDeleted, rec.contextsCreated, static_cast<unsigned long>(rec.current));
    }
}

LRESULT CALLBACK SquatterProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

void TakeClassName()
{
    WNDCLASSEXA wc;
    std::memset(&wc, 0, sizeof wc);
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = SquatterProc;
    wc.lpszClassName = "GLClass";
    if (RegisterClassExA(&wc) == 0) {
        Fail("could not register \"GLClass\" ahead of the program");
    }
}

} // namespace

Summary RunOne(const std::uint8_t *data, std::size_t size)
{
    const Plan plan = Decode(data, size);
    g_failingPlan = &plan;

    glrec::Reset();
    glrec::SetRecording(false);
    harness::FreshProcess();

    scripted::Script &script = scripted::CurrentScript();
    script = plan.script;

    Run run;
    run.plan = &plan;
    script.escapeDown = [&run](long pass) { return OnEscapePoll(run, pass); };

    if (plan.preRegisterClass) {
        TakeClassName();
    }
    for (int i = 0; i < plan.prePosted; ++i) {
        PostMessageA(nullptr, plan.prePostedMessage, 0, 0);
    }

    const harness::Outcome outcome = harness::RunWinMain();
    const scripted::Record &rec = scripted::CurrentRecord();

    const Due due = EarliestDue(plan, rec, run.due);
    CheckBoxes(rec);
    if (plan.preRegisterClass) {
        CheckClassRefused(outcome, rec);
    } else {
        CheckEnding(plan, outcome, rec, due);
    }

    scripted::CurrentScript().escapeDown = nullptr;
    g_failingPlan = nullptr;
    return Summary{outcome.ranAway,
                   outcome.exitCode,
                   rec.passes,
                   due.pass,
                   due.pass >= 0 ? Deadline(plan, due) : -1,
                   static_cast<unsigned long>(rec.boxes.size()),
                   rec.restores};
}

} // namespace towerfuzz
