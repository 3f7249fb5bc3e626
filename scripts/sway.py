"""with sway(1024, 768) as env: headless sway for the Python scripts, with one output of that
size in pixels and its Xwayland; env is what a client needs to find both."""
import contextlib
import glob
import os
import pwd
import subprocess
import tempfile
import time
from pathlib import Path

import lib

# sway refuses to run as root; then it runs as this user, in a runtime directory of its own.
USER = 65534


@contextlib.contextmanager
def sway(width, height, limit=600):
    """WAYLAND_DISPLAY, XDG_RUNTIME_DIR, SWAYSOCK and DISPLAY of a headless sway, gone when the
    block ends, or after limit seconds should this process be killed."""
    with tempfile.TemporaryDirectory() as tmp:
        tmp, root = Path(tmp), os.getuid() == 0
        runtime, config = tmp / "runtime", tmp / "sway.conf"
        tmp.chmod(0o711)
        runtime.mkdir(0o700)
        if root:
            os.chown(runtime, USER, USER)
        config.write_text(f"output HEADLESS-1 mode {width}x{height}\nxwayland enable\n")
        config.chmod(0o644)
        as_user = ["setpriv", f"--reuid={USER}", f"--regid={USER}", "--clear-groups",
                   "--pdeathsig=SIGKILL"] if root else []
        env = {**os.environ, "XDG_RUNTIME_DIR": str(runtime), "WLR_BACKENDS": "headless",
               "WLR_RENDERER": "pixman", "WLR_LIBINPUT_NO_DEVICES": "1"}
        with open(tmp / "sway.log", "w") as log:
            server = subprocess.Popen(["timeout", "-k", "5", str(limit), *as_user, "sway", "-c",
                                       str(config)], env=env, stdout=log, stderr=log)
        try:
            yield started(server, runtime, env, as_user)
        finally:
            server.terminate()
            server.wait()


def started(server, runtime, env, as_user):
    """Once sway answers: the environment for its clients, its Xwayland open to this user."""
    deadline = time.monotonic() + 15
    while time.monotonic() < deadline and server.poll() is None:
        sockets = {p.name.split(".")[0]: p for p in runtime.iterdir()
                   if p.name.startswith("sway-ipc.")
                   or (p.name.startswith("wayland-") and "." not in p.name)}
        if "sway-ipc" in sockets and len(sockets) == 2:
            env = {**env, "SWAYSOCK": str(sockets["sway-ipc"]),
                   "WAYLAND_DISPLAY": next(p.name for k, p in sockets.items() if k != "sway-ipc")}
            if subprocess.run(["swaymsg", "-t", "get_outputs"], env=env,
                              capture_output=True).returncode == 0:
                break
        time.sleep(0.05)
    else:
        raise lib.Failure("sway did not start")
    # sway-ipc.UID.PID.sock names sway's process, which holds its Xwayland's display lock.
    display = xwayland_display(env["SWAYSOCK"].split(".")[-2], deadline)
    # That Xwayland lets in only the user sway runs as, who lets us in too; the first client
    # starts it, and xhost returns once it answers.
    me = pwd.getpwuid(os.getuid()).pw_name
    if subprocess.run([*as_user, "xhost", f"+si:localuser:{me}"], env={**env, "DISPLAY": display},
                      capture_output=True).returncode != 0:
        raise lib.Failure("sway's Xwayland did not start")
    return {**env, "DISPLAY": display}


def xwayland_display(pid, deadline):
    """The X display (":N") whose lock file the process pid holds, as the compositor that
    opened it for its Xwayland writes its own there."""
    while time.monotonic() < deadline + 10:
        for lock in glob.glob("/tmp/.X*-lock"):
            with contextlib.suppress(OSError):
                if Path(lock).read_text().strip("\0 \n") == pid:
                    return ":" + lock[len("/tmp/.X"):-len("-lock")]
        time.sleep(0.05)
    raise lib.Failure("sway opened no display for its Xwayland")
