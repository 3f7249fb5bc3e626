#!/usr/bin/env python3
"""Check the GL call stream of one run of the program, as apitrace recorded it.

Usage: check_trace.py PICKLE WIDTH HEIGHT

PICKLE is the output of `apitrace pickle` for a trace of a run on a
WIDTH x HEIGHT screen that ended with Escape. Checks, in stream order:
  - the context set-up: the 640x480 projection, the render state, then the
    projection for the real window size;
  - every frame, call by call and argument by argument, against angles worked
    out here from the scene's constants;
  - teardown unbinding the context before deleting it.
Exits 0 when all holds, 1 with the first difference otherwise.

How the pickle carries numbers: each call is a tuple (number, name,
[(argument, value), ...], result, flags). apitrace writes GLfloat arguments
to the trace as 4-byte floats and GLdouble ones as 8-byte doubles, and the
pickle gives both as Python floats, so a GLfloat arrives widened exactly;
every float argument is checked to survive a round trip through 4 bytes,
which holds only for such values. Calls flagged 1 (fake) are apitrace's own
records of state at glXMakeCurrent, not calls the program made. Pointers
arrive as instances of the class unpickle.Pointer, which only apitrace's
scripts define; any such class is read here as an opaque value.
"""

import math
import pickle
import struct
import sys

GL_PROJECTION = 0x1701
GL_MODELVIEW = 0x1700
GL_DEPTH_TEST = 0x0B71
GL_LEQUAL = 0x0203
GL_SMOOTH = 0x1D01
GL_PERSPECTIVE_CORRECTION_HINT = 0x0C50
GL_FASTEST = 0x1101
GL_TRIANGLES = 0x0004
CLEAR_MASK = 0x4100  # colour and depth
FAKE_CALL = 1

MIN_FRAMES = 20


def f32(x):
    """Round a double to the nearest single-precision value."""
    return struct.unpack("<f", struct.pack("<f", x))[0]


class Opaque:
    """Stands in for apitrace's Pointer (and any other class it pickles)."""

    def __init__(self, *args):
        self.args = args

    def __setstate__(self, state):
        self.state = state

    def __eq__(self, other):
        return isinstance(other, Opaque) and self.args == other.args

    def __hash__(self):
        return hash(self.args)

    def __repr__(self):
        return "Pointer%r" % (self.args,)


class Unpickler(pickle.Unpickler):
    def find_class(self, module, name):
        return Opaque


def load_calls(path):
    calls = []
    with open(path, "rb") as f:
        reader = Unpickler(f)
        while True:
            try:
                number, name, args, result, flags = reader.load()
            except EOFError:
                break
            if flags & FAKE_CALL:
                continue
            calls.append((number, name, [value for _, value in args], result))
    return calls


class Mismatch(Exception):
    pass


def perspective(aspect):
    """The matrix for a 45 degree field of view, near (double)0.2f and far
    255, column by column as glMultMatrixd takes it, from the textbook
    frustum formula rather than GLU's own arithmetic."""
    f = 1.0 / math.tan(math.radians(45.0) / 2.0)
    near = f32(0.2)
    far = 255.0
    return [f / aspect, 0, 0, 0,
            0, f, 0, 0,
            0, 0, (far + near) / (near - far), -1,
            0, 0, 2.0 * far * near / (near - far), 0]


def expect_projection(calls, at, width, height):
    """glViewport, then GL_PROJECTION replaced by the perspective, then back
    to an identity GL_MODELVIEW. Returns the index after it."""
    expect_call(calls, at, "glViewport", [0, 0, width, height])
    expect_call(calls, at + 1, "glMatrixMode", [GL_PROJECTION])
    expect_call(calls, at + 2, "glLoadIdentity", [])
    number, name, args, _ = calls[at + 3]
    # gluPerspective is GLU and never reaches the trace; Mesa's GLU hands GL
    # the finished matrix.
    if name != "glMultMatrixd":
        raise Mismatch("call %d: %s, expected the perspective through glMultMatrixd"
                       % (number, name))
    got = args[0]
    want = perspective(width / height)
    for i, (g, w) in enumerate(zip(got, want)):
        # GLU works the cotangent out as cos/sin; allow its last bits.
        if abs(g - w) > 1e-12 * max(1.0, abs(w)):
            raise Mismatch("call %d: glMultMatrixd element %d is %r, expected %r (aspect %d/%d)"
                           % (number, i, g, w, width, height))
    # The near plane is the float 0.2 widened, not the double 0.2: recover it
    # from the depth terms, where the two differ in the 8th digit.
    near = got[14] / (got[10] - 1.0)
    if abs(near - f32(0.2)) > 1e-13 or abs(near - 0.2) < 1e-10:
        raise Mismatch("call %d: near plane %r, expected (double)0.2f = %r"
                       % (number, near, f32(0.2)))
    expect_call(calls, at + 4, "glMatrixMode", [GL_MODELVIEW])
    expect_call(calls, at + 5, "glLoadIdentity", [])
    return at + 6


def same(a, b):
    if isinstance(a, float) or isinstance(b, float):
        # Bit-exact, and -0.0 is not 0.0.
        return struct.pack("<d", float(a)) == struct.pack("<d", float(b))
    return a == b


def expect_call(calls, at, name, args):
    if at >= len(calls):
        raise Mismatch("the trace ends where %s%r was expected" % (name, tuple(args)))
    number, got_name, got_args, _ = calls[at]
    if got_name != name or len(got_args) != len(args) or not all(
            same(g, w) for g, w in zip(got_args, args)):
        raise Mismatch("call %d: %s%r, expected %s%r"
                       % (number, got_name, tuple(got_args), name, tuple(args)))


def check_floats(calls):
    """Every float argument of a ...f call is a single-precision value."""
    for number, name, args, _ in calls:
        if name.endswith("f"):
            for value in args:
                if isinstance(value, float) and f32(value) != value:
                    raise Mismatch("call %d: %s argument %r is not a float" % (number, name, value))


def frame_calls(phase):
    """The calls one frame makes, drawn with this phase."""
    triangle = [
        ("glBegin", [GL_TRIANGLES]),
        ("glColor3f", [1.0, 0.0, 0.0]), ("glVertex3f", [f32(-0.7), 0.0, f32(-0.5)]),
        ("glColor3f", [0.0, 1.0, 0.0]), ("glVertex3f", [f32(0.7), 0.0, f32(-0.5)]),
        ("glColor3f", [0.0, 0.0, 1.0]), ("glVertex3f", [0.0, 0.0, f32(0.5)]),
        ("glEnd", []),
    ]
    calls = [("glClear", [CLEAR_MASK]), ("glLoadIdentity", []),
             ("glTranslatef", [0.0, -2.0, -5.0])] + triangle
    s = f32(4.0)
    while s > f32(0.01):
        # Both floats widened; their product is exact in double, and the
        # sine of it, times 720, is rounded to float once.
        angle = f32(math.sin(phase * s) * 720.0)
        calls += [("glTranslatef", [0.0, f32(0.1), 0.0]),
                  ("glRotatef", [angle, 0.0, f32(0.1), 0.0]),
                  ("glRotatef", [10.0, 0.0, 0.0, 1.0])] + triangle
        s = f32(s * 0.75)
    return calls


def check(calls, width, height):
    check_floats(calls)
    names = [c[1] for c in calls]
    made_current = next((i for i, c in enumerate(calls)
                         if c[1] == "glXMakeCurrent" and c[2][2] != 0), None)
    if made_current is None:
        raise Mismatch("no glXMakeCurrent with a context")
    context = calls[made_current][2][2]

    at = made_current + 1
    at = expect_projection(calls, at, 640, 480)
    for name, args in [("glClearColor", [0.0, 0.0, 0.0, 0.0]), ("glClearDepth", [1.0]),
                       ("glEnable", [GL_DEPTH_TEST]), ("glDepthFunc", [GL_LEQUAL]),
                       ("glShadeModel", [GL_SMOOTH]),
                       ("glHint", [GL_PERSPECTIVE_CORRECTION_HINT, GL_FASTEST])]:
        expect_call(calls, at, name, args)
        at += 1
    at = expect_projection(calls, at, width, height)
    if at >= len(calls) or names[at] != "glClear":
        raise Mismatch("the first frame does not follow the set-up: %r" % (calls[at:at + 1],))

    phase = f32(0.0)
    frames = 0
    current = True
    torn_down = False
    largest = 0.0
    while at < len(calls) and names[at] == "glClear":
        for name, args in frame_calls(phase):
            expect_call(calls, at, name, args)
            if name == "glRotatef" and args[1:] == [0.0, f32(0.1), 0.0]:
                largest = max(largest, abs(args[0]))
            at += 1
        frames += current
        # Between frames only the window system speaks: one swap after each
        # frame drawn with the context, and at the end the teardown.
        was_current = current
        swaps = 0
        while at < len(calls) and names[at].startswith("glX"):
            number, name, args, _ = calls[at]
            if name == "glXSwapBuffers":
                swaps += 1
            elif name == "glXMakeCurrent" and args[2] == 0 and current:
                current = False
                if at + 1 >= len(calls) or names[at + 1] != "glXDestroyContext" or \
                        calls[at + 1][2][1] != context:
                    raise Mismatch("call %d: the context is unbound but not then deleted" % number)
                torn_down = True
            at += 1
        if was_current and swaps != 1:
            raise Mismatch("frame %d: %d glXSwapBuffers after it, expected 1" % (frames, swaps))
        phase = f32(phase + f32(0.0005))
    if at != len(calls):
        number, name, args, _ = calls[at]
        raise Mismatch("call %d: unexpected %s%r" % (number, name, tuple(args)))
    if not torn_down:
        raise Mismatch("the context was never unbound and deleted")
    if frames < MIN_FRAMES:
        raise Mismatch("only %d frames in the trace, expected at least %d" % (frames, MIN_FRAMES))
    print("set-up and %d frames match bit for bit (last phase %r, largest twist %r degrees); "
          "the context is unbound, then deleted" % (frames, phase, largest))


def main():
    if len(sys.argv) != 4:
        print(__doc__.splitlines()[2], file=sys.stderr)
        return 2
    calls = load_calls(sys.argv[1])
    try:
        check(calls, int(sys.argv[2]), int(sys.argv[3]))
    except Mismatch as e:
        print("FAIL:", e)
        return 1
    print("PASS (%d calls)" % len(calls))
    return 0


if __name__ == "__main__":
    sys.exit(main())
