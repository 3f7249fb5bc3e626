"""scripts/fuzz [SECONDS]: fuzz the whole program for a bounded time (default 60 s) with the
fuzz preset's libFuzzer target, and print how fast it went. New interesting inputs go to the
build folder's corpus, never into the committed seeds; a crash input is left there as crash-*
and the run fails."""
import os
import re
import subprocess
import sys

import lib


def stat(log, name):
    """The last value libFuzzer's final stats gave for name, or "?"."""
    found = re.findall(rf"^stat::{name}: *(\S+)", log, re.M)
    return found[-1] if found else "?"


def main(args):
    if len(args) > 1 or not all(a.isdigit() for a in args):
        print("usage: scripts/fuzz [SECONDS]", file=sys.stderr)
        return 2
    seconds = int(args[0]) if args else 60
    lib.ensure_packages(*lib.BUILD, *lib.TEST_TREE, "clang", "libclang-rt-dev")
    build = lib.build("fuzz", quiet=True)
    work = os.path.join(build, "fuzz-run")
    corpus = os.path.join(work, "corpus")
    os.makedirs(corpus, exist_ok=True)
    log_path = os.path.join(work, "fuzz.log")
    # libFuzzer's own watchdogs: one input may take 10 s at most (the longest scripted runs
    # take well under one), and the whole run is capped again from outside in case the fuzzer
    # itself wedges.
    with open(log_path, "w") as log:
        status = subprocess.run(
            ["timeout", "--kill-after=10", str(seconds + 60),
             os.path.join(build, "tests", "fuzz", "tower_fuzz"), f"-max_total_time={seconds}",
             "-timeout=10", "-rss_limit_mb=2048", "-print_final_stats=1",
             f"-artifact_prefix={work}/", corpus,
             os.path.join(lib.ROOT, "tests", "fuzz", "corpus")],
            stdout=log, stderr=subprocess.STDOUT).returncode
    with open(log_path, errors="replace") as f:
        said = f.read()
    inputs = sum(len(files) for _, _, files in os.walk(corpus))
    shown = os.path.relpath(corpus, lib.ROOT)
    print(f"fuzzing (limit {seconds} s): {stat(said, 'number_of_executed_units')} executions, "
          f"{stat(said, 'average_exec_per_sec')} per second, {inputs} inputs in {shown}")
    if status != 0:
        found = re.findall(r"^.*(?:invariant broken|ERROR: |runtime error|SUMMARY).*$", said, re.M)
        print("\n".join(found[:20]))
        print(f"the fuzzer failed (status {status}); the full log is "
              f"{os.path.relpath(log_path, lib.ROOT)}, the input is "
              f"{os.path.relpath(work, lib.ROOT)}/crash-* (or timeout-*/oom-*)", file=sys.stderr)
    return status


if __name__ == "__main__":
    lib.main(main, sys.argv[1:])
