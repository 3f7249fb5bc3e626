"""The browser harness: a folder served on 127.0.0.1, and Debian's headless
Chromium driven over the DevTools protocol on a pipe, so nothing beyond the
standard library and the chromium package is needed."""
import base64
import functools
import http.server
import json
import os
import shutil
import subprocess
import tempfile
import threading
import time

CHROMIUM = "/usr/bin/chromium"


class Server:
    """Serves one folder on 127.0.0.1 at a free port, quietly, until closed."""

    def __init__(self, folder):
        handler = functools.partial(Quiet, directory=folder)
        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        self.url = "http://127.0.0.1:%d/" % self.httpd.server_address[1]
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)
        self.thread.start()

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


class Quiet(http.server.SimpleHTTPRequestHandler):
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map,
                      ".wasm": "application/wasm", ".js": "text/javascript"}

    def log_message(self, *args):
        pass


class BrowserError(Exception):
    pass


class Chromium:
    """One headless Chromium with one page. Everything it printed is kept in
    `console` (the page's console lines) for the caller to show."""

    def __init__(self, width, height, extra_flags=()):
        self.profile = tempfile.mkdtemp(prefix="tower-chromium-")
        to_browser_r, self._to_browser = os.pipe()
        self._from_browser, from_browser_w = os.pipe()

        def at_3_and_4():
            # DevTools reads commands on fd 3 and writes answers on fd 4.
            read_end, write_end = os.dup(to_browser_r), os.dup(from_browser_w)
            os.dup2(read_end, 3)
            os.dup2(write_end, 4)

        flags = [
            "--headless", "--no-sandbox", "--remote-debugging-pipe",
            # WebGL on the CPU: this machine has no GPU.
            "--use-angle=swiftshader", "--enable-unsafe-swiftshader",
            # Nothing but the page: the network here is closed.
            "--disable-background-networking", "--disable-component-update", "--disable-sync",
            "--disable-quic", "--no-first-run", "--no-default-browser-check", "--mute-audio",
            "--hide-scrollbars", "--force-device-scale-factor=1",
            "--window-size=%d,%d" % (width, height),
            "--user-data-dir=" + self.profile,
        ] + list(extra_flags) + ["about:blank"]
        self.log = open(os.path.join(self.profile, "chromium.log"), "w+")
        self.process = subprocess.Popen([CHROMIUM] + flags, stdin=subprocess.DEVNULL,
                                        stdout=self.log, stderr=subprocess.STDOUT,
                                        pass_fds=(3, 4), preexec_fn=at_3_and_4)
        os.close(to_browser_r)
        os.close(from_browser_w)
        self._buffer = b""
        self._next_id = 0
        self._events = []
        self.console = []
        self.session = None
        targets = self.command("Target.getTargets")["targetInfos"]
        page = next(t for t in targets if t["type"] == "page")
        self.session = self.command("Target.attachToTarget", targetId=page["targetId"],
                                    flatten=True, browser=True)["sessionId"]
        self.command("Page.enable")
        self.command("Runtime.enable")

    def _read_message(self, deadline):
        while b"\0" not in self._buffer:
            if time.monotonic() > deadline:
                raise BrowserError("Chromium did not answer in time")
            chunk = os.read(self._from_browser, 1 << 16)
            if not chunk:
                raise BrowserError("Chromium closed the DevTools pipe:\n" + self.output())
            self._buffer += chunk
        message, self._buffer = self._buffer.split(b"\0", 1)
        return json.loads(message)

    def _take_event(self, message):
        if message.get("method") == "Runtime.consoleAPICalled":
            args = message["params"]["args"]
            self.console.append(" ".join(str(a.get("value", a.get("description", "")))
                                         for a in args))
        self._events.append(message)

    def command(self, method, timeout=30, **params):
        """Send one DevTools command (to the page, once attached) and wait for
        its answer."""
        self._next_id += 1
        message = {"id": self._next_id, "method": method, "params": params}
        if self.session is not None and method.split(".")[0] != "Target":
            message["sessionId"] = self.session
        os.write(self._to_browser, json.dumps(message).encode() + b"\0")
        deadline = time.monotonic() + timeout
        while True:
            answer = self._read_message(deadline)
            if answer.get("id") != self._next_id:
                self._take_event(answer)
                continue
            if "error" in answer:
                raise BrowserError("%s: %s" % (method, answer["error"].get("message")))
            return answer.get("result", {})

    def evaluate(self, expression):
        """The value of a JavaScript expression in the page; promises are awaited."""
        result = self.command("Runtime.evaluate", expression=expression, returnByValue=True,
                              awaitPromise=True)
        if "exceptionDetails" in result:
            raise BrowserError("%s: %s" % (expression, result["exceptionDetails"]["text"]))
        return result["result"].get("value")

    def wait_for(self, expression, timeout=20):
        """Poll until a JavaScript expression is truthy; returns its value."""
        deadline = time.monotonic() + timeout
        while True:
            value = self.evaluate(expression)
            if value:
                return value
            if time.monotonic() > deadline:
                raise BrowserError("waited %ds for: %s" % (timeout, expression))
            time.sleep(0.1)

    def set_viewport(self, width, height):
        """Makes the page's viewport and its screen this size. Headless
        Chromium's own screen is not its window's size, and its window is not
        its viewport's."""
        self.command("Emulation.setDeviceMetricsOverride", width=width, height=height,
                     deviceScaleFactor=1, mobile=False, screenWidth=width, screenHeight=height)

    def open(self, url):
        self.command("Page.navigate", url=url)

    def click(self, x, y):
        for kind in ("mousePressed", "mouseReleased"):
            self.command("Input.dispatchMouseEvent", type=kind, x=x, y=y, button="left",
                         clickCount=1)

    def press(self, key, code, key_code, text=""):
        """A key pressed and released; `text` is what it types, if anything."""
        self.command("Input.dispatchKeyEvent", type="keyDown" if text else "rawKeyDown", key=key,
                     code=code, windowsVirtualKeyCode=key_code, text=text)
        self.command("Input.dispatchKeyEvent", type="keyUp", key=key, code=code,
                     windowsVirtualKeyCode=key_code)

    def screenshot(self, path):
        data = self.command("Page.captureScreenshot", format="png")["data"]
        with open(path, "wb") as f:
            f.write(base64.b64decode(data))

    def output(self):
        self.log.flush()
        self.log.seek(0)
        return self.log.read()

    def close(self):
        try:
            self.command("Browser.close", timeout=5)
        except (BrowserError, OSError):
            pass
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        os.close(self._to_browser)
        os.close(self._from_browser)
        self.log.close()
        shutil.rmtree(self.profile, ignore_errors=True)
