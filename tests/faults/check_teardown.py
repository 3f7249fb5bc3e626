#!/usr/bin/env python3
"""Check that a run ended by a signal tore its rendering context down.

Usage: check_teardown.py PICKLE SWAPS_AT_SIGNAL

PICKLE is `apitrace pickle` output for a run that was sent SIGINT or SIGTERM
once it had presented SWAPS_AT_SIGNAL frames. The program's own teardown,
not the process exit, must have released and destroyed the context after
those frames, with the frame loop still running:
  - the one context made is released (glXMakeCurrent with none) and then at
    once destroyed (glXDestroyContext of that context);
  - that happens after at least SWAPS_AT_SIGNAL swaps, and no swap and no
    other context follow it;
  - the loop draws at least once more (a glClear after the destroy): the
    pass that takes the quit message still draws, which a program that just
    exited, or whose backend cleaned up at exit, would not.
Exits 0 when all holds, 1 with the reason otherwise.
"""

import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from check_trace import load_calls  # noqa: E402


class Failure(Exception):
    pass


def check(calls, swaps_at_signal):
    made = [c for c in calls if c[1] in ("glXCreateNewContext", "glXCreateContext",
                                         "glXCreateContextAttribsARB")]
    if len(made) != 1:
        raise Failure("%d contexts made, expected one" % len(made))
    context = made[0][3]

    names = [c[1] for c in calls]
    release = None
    swaps = 0
    for at, (number, name, args, _) in enumerate(calls):
        if name == "glXSwapBuffers":
            swaps += 1
        elif name == "glXMakeCurrent" and args[2] == 0:
            release = at
            break
    if release is None:
        raise Failure("the context is never released")
    if swaps < swaps_at_signal:
        raise Failure("released after %d swaps, before the signal at %d" %
                      (swaps, swaps_at_signal))
    if release + 1 >= len(calls) or names[release + 1] != "glXDestroyContext":
        raise Failure("call %d: the release is not followed by glXDestroyContext" %
                      calls[release][0])
    destroy = release + 1
    if calls[destroy][2][1] != context:
        raise Failure("call %d destroys %r, not the context made, %r" %
                      (calls[destroy][0], calls[destroy][2][1], context))

    after = calls[destroy + 1:]
    for number, name, args, _ in after:
        if name == "glXSwapBuffers":
            raise Failure("call %d: a swap after the context was destroyed" % number)
        if name == "glXMakeCurrent" and args[2] != 0:
            raise Failure("call %d: a context made current after teardown" % number)
        if name == "glXDestroyContext":
            raise Failure("call %d: a second glXDestroyContext" % number)
    drawn = sum(1 for c in after if c[1] == "glClear")
    if drawn == 0:
        raise Failure("nothing drawn after teardown: the loop had already ended")
    return swaps, calls[release][0], drawn


def main():
    if len(sys.argv) != 3:
        sys.stderr.write(__doc__)
        return 2
    calls = load_calls(sys.argv[1])
    try:
        swaps, number, drawn = check(calls, int(sys.argv[2]))
    except Failure as failure:
        print("FAIL: %s" % failure)
        return 1
    print("teardown at call %d after %d swaps (signal at %s); %d passes drawn after it"
          % (number, swaps, sys.argv[2], drawn))
    return 0


if __name__ == "__main__":
    sys.exit(main())
