"""with xvfb("1024x768x24") as display: a private Xvfb for the Python scripts, started by the
same xvfb_start (scripts/lib.sh) as the bash scripts' own."""
import contextlib
import os
import subprocess

LIB_SH = os.path.join(os.path.dirname(os.path.abspath(__file__)), "lib.sh")


@contextlib.contextmanager
def xvfb(screen, *options, limit=600):
    """The display of an X server with one screen (WxHxD) and Xvfb's further options, gone when
    the block ends, or after limit seconds should this process be killed."""
    server = subprocess.Popen(
        ["bash", "-c", 'source "$0"; trap "xvfb_stop; exit" TERM; xvfb_start -screen 0 "$@" && '
         'echo "$DISPLAY" && wait', LIB_SH, screen, *options], stdout=subprocess.PIPE, text=True,
        env={**os.environ, "XVFB_LIMIT": str(limit)})
    try:
        display = server.stdout.readline().strip()
        if not display:
            raise RuntimeError("Xvfb did not start")
        yield display
    finally:
        server.terminate()
        server.wait()
