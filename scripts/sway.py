"""with sway(1024, 768) as env: headless sway for the Python scripts, with one output of that
size in pixels and its Xwayland; env is what a client needs to find both."""
import contextlib
import os
import pwd
import subprocess
import tempfile
import time
from pathlib import Path

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
            yield started(server, runtime, env)
        finally:
            server.terminate()
            server.wait()


def started(server, runtime, env):
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
        raise RuntimeError("sway did not start")
    # Its Xwayland lets in only the user sway runs as; xhost, run by sway, starts it and lets
    # us in too, and sway's own DISPLAY names it.
    said = runtime / "x-display"
    subprocess.run(["swaymsg", "exec", f"xhost +si:localuser:{pwd.getpwuid(os.getuid()).pw_name}"
                    f' && echo "$DISPLAY" > {said}'], env=env, capture_output=True, check=True)
    while not said.exists() or not said.read_text().endswith("\n"):
        if time.monotonic() > deadline + 10:
            raise RuntimeError("sway's Xwayland did not start")
        time.sleep(0.05)
    return {**env, "DISPLAY": said.read_text().strip()}
