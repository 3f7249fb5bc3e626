#!/usr/bin/env python3
"""Build and run every benchmark on a private Xvfb (and the last on a headless sway) and write
build/bench/RESULTS.md: each figure's median, its spread over the runs, its ratio against a peer
measured in the same run ("within noise" where the spreads overlap) and the command that
reproduces it. Nothing it starts outlives it. BENCH_REPS sets the runs (default 5), TOWER_JOBS
the build's jobs (2), BENCH_ONLY the sections to run ("3,6"; default all).
By hand: run.py init FILE [FRAME...] makes a probe record (with memory marks at FRAMEs),
run.py exec FILE CMD... runs CMD with its exec time noted there, run.py show FILE reads it."""
import contextlib
import datetime
import itertools
import json
import mmap
import os
import re
import shlex
import statistics
import struct
import subprocess
import sys
import tempfile
import textwrap
import time
import types
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "scripts"))
import lib  # noqa: E402 (the scripts' shared module)
from sway import sway  # noqa: E402 (the scripts' one way to start sway)

OUT = Path("build/bench")  # relative to ROOT, where the driver runs
BIN = Path("build/linux")  # the linux preset's tree
PROBES = ROOT / BIN / "bench"  # absolute: Wine's processes change directory
REPS = int(os.environ.get("BENCH_REPS", "5"))
PEERS = ("ours", "glfw", "sdl")
OWNERS = ("program", "x_for_program", "gl_driver")
RUNNING = []  # what must not outlive the driver
md = []  # RESULTS.md so far

# The probes' shared record, laid out as bench/probe/probe_record.h has it.
LAYOUT = (("magic", 1), ("pid_count", 1), ("pids", 64), ("marks_wanted", 4), ("exec_ns", 1),
          ("swap_pid", 1), ("swaps", 1), ("first_swap_ns", 1), ("startup_allocs", 1),
          ("allocs", 3), ("marks", 4 * 6), ("caller_count", 1), ("callers", 24 * 2))
RECORD = struct.Struct("<" + "".join(f"{n}Q" for _, n in LAYOUT[:-1]) + "48sQ" * 24)
SLOT = dict(zip((name for name, _ in LAYOUT), itertools.accumulate([0] + [n for _, n in LAYOUT])))


def init_record(path, marks=()):
    values = [0x32424F5250525754] + [0] * (SLOT["callers"] - 1) + [b"", 0] * 24
    values[SLOT["marks_wanted"]:SLOT["marks_wanted"] + len(marks)] = marks
    Path(path).write_bytes(RECORD.pack(*values))


def read_record(path):
    values, rec = RECORD.unpack(Path(path).read_bytes()[:RECORD.size]), {}
    for name, n in LAYOUT:
        rec[name], values = (values[0] if n == 1 else values[:n]), values[n:]
    rec["pids"] = set(rec["pids"][:rec["pid_count"]]) - {0}
    rec["allocs"] = dict(zip(OWNERS, rec["allocs"]))
    rec["marks"] = [dict(zip(("frame", "rss_kb", "hwm_kb") + OWNERS, rec["marks"][i:i + 6]))
                    for i in range(0, 24, 6) if rec["marks"][i]]
    c = rec["callers"][:2 * min(rec["caller_count"], 24)]
    rec["callers"] = {name.rstrip(b"\0").decode(): n for name, n in zip(c[::2], c[1::2])}
    return rec


def note_exec(path):
    """What the child runs just before exec: the start-up clock starts there."""
    with open(path, "r+b") as f:
        record = mmap.mmap(f.fileno(), RECORD.size)
    return lambda: struct.pack_into("<Q", record, 8 * SLOT["exec_ns"], time.monotonic_ns())


def cpu_ns(pid):
    """The run time of every thread of a process; 0 once it has gone."""
    total = 0
    for stat in Path(f"/proc/{pid}/task").glob("*/schedstat"):
        with contextlib.suppress(OSError, ValueError):
            total += int(stat.read_text().split()[0])
    return total


def sample(path):
    """Now, frames, CPU of the process presenting them, CPU of all the probe saw (Wine's)."""
    rec = read_record(path)
    return (time.monotonic_ns(), rec["swaps"], cpu_ns(rec["swap_pid"]) if rec["swap_pid"] else 0,
            sum(map(cpu_ns, rec["pids"])))


@contextlib.contextmanager
def probed(argv, preload, how, marks=(), env=None, timed_exec=False, until=None, wine=False):
    """argv run with the probes preloaded (env: its environment). Yields the run once
    until(record) holds (by default: once a frame is out) or it has ended: its process, its
    record's path and what the record held then. The block's end ends the run as its kind
    ends: Escape for the tower, SIGTERM for the others; under Wine, the prefix's server too,
    so that the next run starts as fresh. What the record holds after the exit is run.end."""
    with tempfile.NamedTemporaryFile() as rec:
        init_record(rec.name, marks)
        run = types.SimpleNamespace(rec=rec.name, record=read_record(rec.name))
        run.proc = subprocess.Popen(
            list(map(str, argv)), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            preexec_fn=note_exec(rec.name) if timed_exec else None,
            env={**(env or os.environ), "LD_PRELOAD": preload, "TOWER_PROBE_FILE": rec.name})
        RUNNING.append(run.proc)
        end = time.monotonic() + (240 if until else 30)
        until = until or (lambda record: record["swaps"] > 0)
        while not until(run.record) and run.proc.poll() is None and time.monotonic() < end:
            time.sleep(0.05)
            run.record = read_record(rec.name)
        try:
            yield run
        finally:
            if how == "escape":
                lib.press_escape(env)
            else:
                run.proc.terminate()
            if lib.wait_for(run.proc, 10) is None:
                print(f"warning: {how} did not end {argv[0]} within 10 s", file=sys.stderr)
                run.proc.kill()
                run.proc.wait()
            RUNNING.remove(run.proc)
            if wine:
                lib.wine_stop(wait=True)
            run.end = read_record(rec.name)


def callgrind(argv, *options, env=None):
    """The instructions that callgrind counts in a run of argv."""
    with tempfile.NamedTemporaryFile() as out:
        subprocess.run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={out.name}",
                        *options, *argv], env=env, capture_output=True, timeout=600, check=True)
        return int(re.search(rb"^totals: (\d+)", out.read(), re.M).group(1))


def stats(values):
    """(median, min, max, n), or None with nothing to go on."""
    v = sorted(x for x in values if x is not None)
    return (statistics.median(v), v[0], v[-1], len(v)) if v else None


def ratio(s, peer, name):
    if not s or not peer or not peer[0]:
        return "n/a"
    if s is peer:
        return "the peer"
    if s[3] > 1 and peer[3] > 1 and s[1] <= peer[2] and peer[1] <= s[2]:
        return f"within noise of {name}"
    return f"{s[0] / peer[0]:.2f} × {name}"


def emit(*lines):
    md.extend(lines)
    (OUT / "RESULTS.md").write_text("\n".join(md) + "\n")


def prose(*phrases):
    """A paragraph, from phrases that a space joins."""
    emit("", *textwrap.wrap(" ".join(phrases), 96, break_long_words=False, break_on_hyphens=False))


def table(rows):
    """One row a figure: name, stats, unit, ratio, command."""
    def cells(s, unit):
        return f"{s[0]:.4g} {unit} | {s[1]:.4g}–{s[2]:.4g} (n={s[3]})" if s else "n/a | no runs"
    emit("", "| figure | median | spread (min–max) | ratio | command |", "|---|---|---|---|---|",
         *(f"| {name} | {cells(s, unit)} | {r} | `{cmd}` |" for name, s, unit, r, cmd in rows))


def load():
    return " ".join(Path("/proc/loadavg").read_text().split()[:3])


def drawscene(ctx):
    def times(program):
        run = subprocess.run([BIN / "bench" / program, f"--benchmark_repetitions={REPS}",
                              "--benchmark_min_time=0.2", "--benchmark_format=json"],
                             capture_output=True, text=True, check=True)
        return run.stderr, [(b["name"], b["real_time"] * {"ns": 1e-3, "us": 1, "ms": 1e3}[
            b["time_unit"]]) for b in json.loads(run.stdout)["benchmarks"]
            if b.get("run_type") == "iteration"]
    empty = stats(t for _, t in times("tower_bench_scene")[1])
    told, mesa = times("tower_bench_mesa")
    emit("", "## 1. DrawScene alone", "",
         f"Google Benchmark, {REPS} repetitions; the ratio is against DrawScene over empty GL.")
    table([("DrawScene, empty GL functions", empty, "µs", "the peer",
            f"{BIN}/bench/tower_bench_scene --benchmark_repetitions={REPS}")] +
          [(f"DrawScene + glFinish, Mesa offscreen {w}x{h}", s, "µs", ratio(s, empty, "empty GL"),
            f"{BIN}/bench/tower_bench_mesa --benchmark_filter={w} --benchmark_repetitions={REPS}")
           for w, h in ((640, 480), (1920, 1080))
           for s in [stats(t for name, t in mesa if f"/{w}/{h}" in name)]])
    emit("Mesa offscreen context: " + "".join(re.findall(r"^offscreen: (.*)", told, re.M)[:1]))
    ir = [callgrind([BIN / "bench" / "tower_scene_frames", str(n)]) for n in (1000, 2000)]
    prose("Instructions per DrawScene over empty GL (callgrind, 2000 frames minus 1000):",
          f"**{(ir[1] - ir[0]) // 1000}**; deterministic. `valgrind --tool=callgrind",
          f"{BIN}/bench/tower_scene_frames 2000` and 1000, difference of the totals / 1000.")


# Window (default 1024x768), arguments of one run, and the figures taken from it.
PASS_RUNS = (("", "--passes 500 --reps 1", ("total", "calls", "input", "swap")),
             ("64x64", "--passes 2000 --reps 1 --size 64x64", ("total", "calls")))
PASS_FIELDS = {"total": "whole pass", "calls": "pass minus drawing",
               "input": "input: event poll + Escape poll", "swap": "swap"}
INPUT_COUNT = ("--collect-atstart=no", "--toggle-collect=*CountedInput*",
               "--smc-check=all-non-file")


def passes(ctx):
    # llvmpipe rasterises on the calling thread: how soon a loaded machine wakes its own
    # threads would swamp the differences we look for.
    env, runs, configs = {**os.environ, "LP_NUM_THREADS": "0"}, {}, set()
    command = f"LP_NUM_THREADS=0 {BIN}/bench/tower_pass_%s %s"

    def argv(peer, args):
        return [BIN / "bench" / f"tower_pass_{peer}", *args.split()]
    for _, peer, (size, args, _) in itertools.product(range(REPS), PEERS, PASS_RUNS):
        run = subprocess.run(argv(peer, args), env=env, capture_output=True, text=True, timeout=60)
        if run.returncode != 0:
            print(f"{command % (peer, args)} failed", file=sys.stderr)
        configs.update(re.findall(r"^config .*", run.stdout, re.M))
        for field, value in re.findall(r"(\w+)_us=([\d.]+)", run.stdout):
            runs.setdefault((peer, size, field), []).append(float(value))
    emit("", "## 2. One pass of the frame loop, without the sleep")
    prose("A 1024x768 window, the same framebuffer for all three (RGB 888, depth 16, double),",
          "the same DrawScene, swap interval 0 where the library has one, and llvmpipe",
          "rasterising on the calling thread (LP_NUM_THREADS=0) so that waking its threads on a",
          "loaded machine adds no noise. Each run: 100 passes of warm-up, then the median of 500",
          f"passes; {REPS} runs taken in turn. *input* is the message/event poll plus the Escape",
          "poll; *pass minus drawing* is the whole pass less the DrawScene call (llvmpipe",
          "rasterises at the swap, so the swap carries the pixels). The same in a 64x64 window",
          "(2000 passes a run), where the pixels cost next to nothing.")
    table([(f"{PASS_FIELDS[field]}{f', {size} window' if size else ''}, {peer}", s[peer], "µs",
            ratio(s[peer], s["glfw"], "GLFW"), command % (peer, args))
           for size, args, fields in PASS_RUNS for field in fields
           for s in [{p: stats(runs.get((p, size, field), [])) for p in PEERS}] for peer in PEERS])
    emit(*(f"    {line}" for line in sorted(configs)))

    # The input part again, in instructions: callgrind collects only inside the two polls of
    # the counted passes, which come after a warm-up.
    ir = {peer: [callgrind(argv(peer, f"--size 64x64 --count {n}"), *INPUT_COUNT, env=env)
                 for n in (100, 200)] for peer in PEERS}
    prose("The input part in instructions per pass: callgrind collecting only inside the",
          "message/event poll and the Escape poll, over 200 passes in a 64x64 window that follow",
          "100 of warm-up, divided by 200. Unlike the times above, these repeat exactly; a run of",
          "100 passes must count exactly half, or the count is not steady.")
    emit("", "| peer | instructions per pass | × GLFW | 100 passes count half | command |",
         "|---|---|---|---|---|",
         *(f"| {peer} | **{ir[peer][1] / 200:g}** | {ir[peer][1] / ir['glfw'][1]:.2f} | "
           f"{'yes' if 2 * ir[peer][0] == ir[peer][1] else f'no: {ir[peer][0]}'} | "
           f"`{command % (peer, '--size 64x64 --count 200')}` under `valgrind --tool=callgrind "
           f"{shlex.join(INPUT_COUNT)}` |" for peer in PEERS))

    # System calls of the loop's own thread, over N and 2N passes: the start-up cancels.
    prose(f"System calls per pass (`{command % ('PEER', '--count N')}` under `strace -c`, 400",
          "passes minus 200):")
    emit("", "| peer | syscalls per pass | the most frequent, per pass |", "|---|---|---|")
    for peer in PEERS:
        calls = []
        for n in (200, 400):
            with tempfile.NamedTemporaryFile("r") as out:
                subprocess.run(["strace", "-c", "-o", out.name, *argv(peer, f"--count {n}")],
                               env=env, capture_output=True, timeout=120)
                calls.append({f[-1]: int(f[3]) for f in map(str.split, out)
                              if f[3:4] and f[3].isdigit()})
        per = {name: (n - calls[0].get(name, 0)) / 200 for name, n in calls[1].items()}
        top = sorted((-d, name) for name, d in per.items() if name != "total" and d >= 0.5)
        emit(f"| {peer} | {per.get('total', float('nan')):.1f} | "
             + ", ".join(f"{name} {-d:.1f}" for d, name in top[:6]) + " |")


def counted_run(argv, how, preload, wine, env=None):
    """fps, CPU ms a frame, CPU %, and CPU ms a frame of all that the probe saw: from 1 s
    after the first frame, for 5 s."""
    with probed(argv, preload, how, env=env, wine=wine) as run:
        time.sleep(1)
        s0 = sample(run.rec)
        time.sleep(5)
        t, frames, cpu, cpu_all = (b - a for a, b in zip(s0, sample(run.rec)))
    if frames <= 0:
        return (None,) * 4
    return frames / t * 1e9, cpu / frames / 1e6, cpu / t * 100, cpu_all / frames / 1e6


def whole_program(ctx):
    wine, frames = ctx.get("wine"), ctx["frames"]
    w = wine["label"] if wine else "tower.exe under Wine"
    show = "python3 bench/run.py init rec; LD_PRELOAD=%s TOWER_PROBE_FILE=rec %s & sleep 6; " \
           "python3 bench/run.py show rec"
    programs = (("tower (native)", [BIN / "tower"], "escape", frames),
                (w, wine and [wine["WINELOADER"], wine["exe"]], "escape", wine and wine["preload"]),
                ("floor (clear, sleep 1 ms, swap)", [BIN / "bench" / "tower_floor_glx"], "term",
                 frames))
    runs = {}
    for _, (label, argv, how, preload) in itertools.product(range(REPS), programs):
        if argv:
            runs.setdefault(label, []).append(counted_run(argv, how, preload, label == w))
    col = {(label, i): stats(r[i] for r in runs.get(label, [])) for label, *_ in programs
           for i in range(4)}
    emit("", "## 3. The whole program")
    prose("Frames counted by a preloaded probe at glXSwapBuffers (bench/probe/frame_probe.c),",
          "which Wine's opengl32 reaches too (a build of the probe that also takes Wine's dlsym",
          "of glXGetProcAddressARB). Per run: 1 s of warm-up, then 5 s measured; ended by Escape",
          "(the floor by SIGTERM). CPU time is every thread's, from /proc/PID/task/*/schedstat;",
          "*incl. Wine's other processes* adds the wineserver and the prefix's services.")
    prose(*(f"Wine ran `{wine['exe']}`: {wine['why']}.", "Its command needs the prefix's",
            "environment, as `wine_prefix` in scripts/lib.py sets it (WINEPREFIX, WINEDLLPATH",
            "for wow64).") if wine else (f"Wine figures left out: {ctx['wine_skip']}.",))
    table([(f"{label} {what}", col[label, i], unit, ratio(col[label, i], col[w, i], "Wine"),
            show % (shlex.quote(preload), shlex.join(map(str, argv))) if i == 0 and argv
            else "(same runs)")
           for i, what, unit in ((0, "fps", "fps"), (1, "CPU per frame", "ms"), (2, "CPU use", "%"))
           for label, argv, _, preload in programs] +
          [("… incl. Wine's other processes", col[w, 3], "ms",
            ratio(col[w, 3], col[w, 1], "Wine alone"), "(same runs)")])


# Start-up: name, command, how it ends, whether its peak RSS is taken.
STARTUP = (("tower", f"{BIN}/tower", "escape", True),
           ("glxgears -fullscreen", "glxgears -fullscreen", "term", True),
           ("glxgears (300x300)", "glxgears", "term", False))


def startup(ctx):
    first, peak = {}, {}
    # Start-up is short and noisy: twice as many runs, the three taken in turn.
    for r, (name, command, how, hwm) in itertools.product(range(2 * REPS), STARTUP):
        with probed(command.split(), ctx["frames"], how, timed_exec=True) as run:
            got = run.record
            if got["first_swap_ns"] >= got["exec_ns"] > 0:
                first.setdefault(name, []).append((got["first_swap_ns"] - got["exec_ns"]) / 1e6)
            if r == 0 and hwm and got["swap_pid"]:
                time.sleep(10)
                with contextlib.suppress(OSError):  # ended by itself: no figure
                    status = Path(f"/proc/{got['swap_pid']}/status").read_text()
                    peak[name] = [int(re.search(r"VmHWM:\s*(\d+)", status).group(1)) / 1024]
    emit("", "## 4. Start-up")
    prose("From exec (`run.py exec` notes the time in the record, then execs) to the return of",
          "the first glXSwapBuffers, seen by the same probe, against glxgears (mesa-utils) on the",
          "same screen: `-fullscreen` gives it the tower's 1024x768 window, the peer for the",
          "ratio; its default 300x300 window for reference. Peak RSS: VmHWM after 10 s, one run",
          "each.")
    first, peak = ({k: stats(v) for k, v in d.items()} for d in (first, peak))
    gears = "glxgears -fullscreen"
    table([(f"{name}, exec to first frame", first.get(name), "ms",
            ratio(first.get(name), first.get(gears), gears),
            f"python3 bench/run.py init rec; LD_PRELOAD={ctx['frames']} TOWER_PROBE_FILE=rec "
            f"python3 bench/run.py exec rec {command}; python3 bench/run.py show rec")
           for name, command, *_ in STARTUP] +
          [(f"{name}, peak RSS after 10 s", peak.get(name), "MiB",
            ratio(peak.get(name), peak.get(gears), gears), "grep VmHWM /proc/PID/status")
           for name, _, _, hwm in STARTUP if hwm])


MARKS = (1000, 10000, 50000, 100000)


def memory(ctx):
    # Sleep(1) skipped and a small screen, so that 100,000 frames take well under a minute;
    # neither changes what the loop allocates.
    env = {**os.environ, "DISPLAY": ctx["small_display"]}
    preload = f"{ctx['frames']}:{PROBES}/libtowerallocs.so"
    with probed([BIN / "tower"], preload, "escape", MARKS, {**env, "TOWER_PROBE_NOSLEEP": "1"},
                until=lambda r: len(r["marks"]) == len(MARKS)) as run:
        loop = run.record
    m, end = loop["marks"], run.end
    emit("", "## 5. Memory over time")
    prose("tower on a 320x240 Xvfb with a second probe (bench/probe/alloc_probe.c) counting",
          "every malloc, calloc, realloc and aligned allocation from the first frame on, by",
          "owner: the first caller past libc and libstdc++ is the executable (*ours*: the program",
          "and the Win32 stand-in), or an X library the executable called (*X for ours*), or",
          "anything under libGL/Mesa or its threads (*the GL driver*). Sleep(1) is skipped",
          "(TOWER_PROBE_NOSLEEP) so the run is short.")
    emit("", "| after frame | RSS | peak RSS | allocs: ours | X for ours | GL driver |",
         "|---|---|---|---|---|---|",
         *(f"| {k['frame']} | {k['rss_kb']} kB | {k['hwm_kb']} kB | {k['program']} | "
           f"{k['x_for_program']} | {k['gl_driver']} |" for k in m))
    if len(m) == len(MARKS):
        per = {o: f"{(m[3][o] - m[0][o]) / (MARKS[3] - MARKS[0]):.3f}" for o in OWNERS}
        prose(f"Per frame between them: ours **{per['program']}**, X for ours",
              f"**{per['x_for_program']}**, GL driver **{per['gl_driver']}** allocations; RSS",
              f"change from frame {MARKS[0]} to {MARKS[1]}: {m[1]['rss_kb'] - m[0]['rss_kb']} kB;",
              f"from there to {MARKS[3]}: {m[3]['rss_kb'] - m[1]['rss_kb']} kB.")
    late = {o: end["allocs"][o] - loop["allocs"][o] for o in OWNERS}
    prose(f"Before the first frame: {end['startup_allocs']} allocations (all owners). From",
          f"Escape to exit (the key events and teardown): ours {late['program']}, X for ours",
          f"{late['x_for_program']}, GL driver {late['gl_driver']}. Allocating callers after the",
          "first frame:", ", ".join(f"{name} {n}" for name, n in end["callers"].items()) + ".")
    prose(f"Command: `python3 bench/run.py init rec {' '.join(map(str, MARKS))}; DISPLAY=:small",
          f"LD_PRELOAD={preload} TOWER_PROBE_FILE=rec TOWER_PROBE_NOSLEEP=1 {BIN}/tower`, then",
          "`python3 bench/run.py show rec`.")


# How the program reaches sway: its own Wayland backend, or its X11 one through Xwayland.
SWAY_WAYS = (("natively", {"DISPLAY": ""}), ("through Xwayland", {"TOWER_BACKEND": "x11"}))


def on_sway(ctx):
    fps, ir = {}, {}
    with sway(1024, 768, limit=7200) as env:
        # The pass benchmark's small window floats at its own size, as on the bare Xvfb.
        subprocess.run(["swaymsg", 'for_window [title="^pass ours$"] floating enable'], env=env,
                       capture_output=True, check=True)
        for _, (way, extra) in itertools.product(range(REPS), SWAY_WAYS):
            fps.setdefault(way, []).append(
                counted_run([BIN / "tower"], "term", ctx["frames"], False, {**env, **extra})[0])
        for way, extra in SWAY_WAYS:
            ir[way] = [callgrind([BIN / "bench" / "tower_pass_ours", "--size", "64x64", "--count",
                                 str(n)], *INPUT_COUNT,
                                env={**env, **extra, "LP_NUM_THREADS": "0"}) for n in (100, 200)]
    emit("", "## 6. On sway: natively and through Xwayland")
    prose("The same program and the same pass on a headless sway (wlroots, pixman compositing)",
          "with one 1024x768 output: natively through its Wayland backend (EGL, wl_shm buffers",
          "from llvmpipe), and through its X11 backend on sway's Xwayland (TOWER_BACKEND=x11).",
          "Frames as in section 3, counted at eglSwapBuffers or glXSwapBuffers, ended by",
          "SIGTERM. The input part as in section 2, in a 64x64 window that sway floats.",
          "Environment: what `scripts/sway.py` gives.")
    s = {way: stats(v) for way, v in fps.items()}
    # The forced backend as a command's leading words: none at all for the native way.
    xw, forced = s["through Xwayland"], {way: "".join(
        f"{k}={v} " for k, v in extra.items() if k == "TOWER_BACKEND") for way, extra in SWAY_WAYS}
    table([(f"tower on sway {way}, fps", s[way], "fps", ratio(s[way], xw, "Xwayland"),
            f"python3 bench/run.py init rec; LD_PRELOAD={ctx['frames']} TOWER_PROBE_FILE=rec "
            f"{forced[way]}{BIN}/tower & sleep 6; python3 bench/run.py show rec")
           for way, _ in SWAY_WAYS])
    base = ir["through Xwayland"][1]
    emit("", "| way | input instructions per pass | × Xwayland | 100 passes count half | "
         "command |", "|---|---|---|---|---|",
         *(f"| {way} | **{ir[way][1] / 200:g}** | {ir[way][1] / base:.2f} | "
           f"{'yes' if 2 * ir[way][0] == ir[way][1] else f'no: {ir[way][0]}'} | "
           f"`{forced[way]}LP_NUM_THREADS=0 {BIN}/bench/tower_pass_ours --size 64x64 --count "
           f"200` under `valgrind --tool=callgrind {shlex.join(INPUT_COUNT)}` |"
           for way, _ in SWAY_WAYS))


BENCHMARKS = (("1. DrawScene alone", drawscene), ("2. One pass: ours, GLFW, SDL", passes),
              ("3. The whole program: tower, tower.exe under Wine, the floor", whole_program),
              ("4. Start-up", startup), ("5. Memory over 100,000 frames", memory),
              ("6. On sway: natively and through Xwayland", on_sway))


def set_up(with_wine):
    """Install what is missing, choose the way Wine runs tower.exe and make its prefix (with_wine:
    where section 3 needs it), build."""
    lib.ensure_packages(*lib.BUILD, *lib.TEST, *lib.WINDOWS, "gcc-multilib", "mesa-utils",
                        "strace")
    # The way the Wine checks take (scripts/lib.py): the 32-bit tower.exe under 32-bit Wine or
    # through 64-bit Wine's WoW64, else the x64 one; the prefix settles it, as WoW64 is tried
    # there. Where Wine cannot be set up at all, its figures are left out and the results say why.
    OUT.mkdir(parents=True, exist_ok=True)
    wine, skip = None, "section 3 was not asked for"
    if with_wine:
        print("== Wine")
        skip = f"Wine could not be set up (see {OUT}/wineboot.log)"
        with lib.output_to(OUT / "wineboot.log"):
            try:
                wine = lib.wine_choose()
                lib.wine_prefix(wine, str(ROOT / OUT / "wineprefix"))
            except lib.Failure as failure:
                print(failure, file=sys.stderr)
                wine = None
    # Wine's processes take the probe that also follows Wine's dlsym, in their word size: 32-bit
    # under 32-bit Wine (its wineserver is 64-bit all the same), else 64-bit, WoW64 included;
    # $LIB picks the one that fits.
    wine_probes = {"i686": ["tower_frame_probe_wine", "tower_frame_probe_wine32"],
                   "wow64": ["tower_frame_probe_wine"],
                   "x64": ["tower_frame_probe_wine"]}.get(wine.mode if wine else "", [])
    print("== Build")
    with open(OUT / "build.log", "w") as log:
        lib.build("linux", "tower", "tower_floor_glx", "tower_bench_scene", "tower_bench_mesa",
                  "tower_scene_frames", "tower_frame_probe", "tower_alloc_probe", *wine_probes,
                  *(f"tower_pass_{peer}" for peer in PEERS), log=log)
        if wine is None:
            return {"wine_skip": skip}
        preset = "windows-i686" if wine.arch == "x86" else "windows-x64"
        lib.build(preset, log=log)
    print(f"== Wine: {wine.mode}, {wine.what}; {wine.why}")
    return {"wine": {"label": f"tower.exe under Wine ({wine.mode})",
                     "why": f"{wine.what}; {wine.why}", "WINELOADER": wine.loader,
                     "exe": f"build/{preset}/tower.exe",
                     "preload": f"{PROBES}/wine-probe/$LIB/libtowerframes.so"}}


def bench():
    started = time.monotonic()
    only = os.environ.get("BENCH_ONLY", "").split(",")
    chosen = [(title, run) for title, run in BENCHMARKS
              if only == [""] or title.split(".")[0] in only]
    # The program runs on the X servers started here, whatever desktop started this.
    os.environ.pop("WAYLAND_DISPLAY", None)
    ctx = {**set_up(any(run is whole_program for _, run in chosen)),
           "frames": f"{PROBES}/libtowerframes.so"}
    with lib.xvfb("1024x768x24", limit=7200) as display, \
            lib.xvfb("320x240x24", limit=7200) as small:
        os.environ["DISPLAY"], ctx["small_display"] = display, small
        model = re.search(r"model name\s*: (.*)", Path("/proc/cpuinfo").read_text())
        emit("# Benchmark results")
        prose(f"Run {datetime.datetime.now(datetime.timezone.utc):%Y-%m-%d %H:%M} UTC on",
              f"{os.cpu_count()} CPUs ({model and model.group(1)}); load average at start",
              f"{load()}. All X figures on a private Xvfb 1024x768x24 (no vertical blank: swaps",
              "never wait), GL by Mesa's llvmpipe. Spreads are min–max over the runs; medians of",
              "medians. Where two spreads overlap, the ratio says *within noise*: the runs cannot",
              "tell the two apart.")
        for title, run in chosen:
            print("== " + title)
            run(ctx)
    prose(f"Load average at the end: {load()}; the whole run took",
          f"{time.monotonic() - started:.0f} s.")
    print(f"Results: {OUT}/RESULTS.md ({time.monotonic() - started:.0f} s)")


def main(argv):
    if argv[:1] == ["init"] and len(argv) >= 2:
        init_record(argv[1], [int(frame) for frame in argv[2:]])
    elif argv[:1] == ["exec"] and len(argv) >= 3:
        note_exec(argv[1])()
        os.execvp(argv[2], argv[2:])
    elif argv[:1] == ["show"] and len(argv) == 2:
        print("\n".join(f"{name}={value}" for name, value in read_record(argv[1]).items()))
    elif argv:
        sys.exit(__doc__)
    else:
        os.chdir(ROOT)
        try:
            bench()
        finally:
            for proc in RUNNING:
                proc.kill()
                proc.wait()
            if "WINEPREFIX" in os.environ:
                lib.wine_stop()


if __name__ == "__main__":
    lib.main(main, sys.argv[1:])
