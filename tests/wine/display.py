"""An Xvfb display for Wine tests that need windows (message boxes), with
xdotool helpers to find a window, read its title, press its buttons and
watch a program for any window it shows.

    with VirtualDisplay() as display:
        with harness.WinePrefix(artifacts, display=display.name) as prefix: ...

Without a display, MessageBoxW returns at once under Wine; with one, the box
stays until a test presses a key in it.
"""

import os
import re
import signal
import subprocess
import time

WAIT_TIMEOUT = 60  # seconds
WATCH_INTERVAL = 0.05  # seconds between two looks for a program's windows


def kill_process_group(process):
    """Kills `process` and its group, and reaps it; quiet when already gone."""
    try:
        os.killpg(process.pid, signal.SIGKILL)
    except (ProcessLookupError, PermissionError):
        pass
    try:
        process.wait(timeout=5)
    except subprocess.TimeoutExpired:
        pass


class VirtualDisplay:
    """A private X display (Xvfb) for the length of a with block."""

    def __init__(self, number=None):
        self.number = number
        self.process = None

    @property
    def name(self):
        return f":{self.number}"

    def __enter__(self):
        if self.number is not None:
            if not self._start(self.number):
                raise RuntimeError(f"Xvfb {self.name} did not start")
            return self
        # Another test run may take a free number at the same moment; its
        # Xvfb then wins and ours ends, so the next number is tried.
        for number in range(90, 200):
            if os.path.exists(f"/tmp/.X11-unix/X{number}") or os.path.exists(f"/tmp/.X{number}-lock"):
                continue
            if self._start(number):
                return self
        raise RuntimeError("no Xvfb display could be started")

    def _start(self, number):
        """Starts Xvfb on display `number`; True once it serves it."""
        self.number = number
        self.process = subprocess.Popen(["Xvfb", self.name, "-nolisten", "tcp", "-screen", "0", "1024x768x24"],
                                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL, start_new_session=True)
        end = time.monotonic() + 10
        while True:
            if self.process.poll() is not None or time.monotonic() > end:
                self.__exit__()
                return False
            # The socket alone could be another server's: ours must still run.
            if os.path.exists(f"/tmp/.X11-unix/X{number}") and self._xdotool("getdisplaygeometry")[0] == 0:
                if self.process.poll() is None:
                    return True
            time.sleep(0.05)

    def __exit__(self, *_exc):
        if self.process is not None:
            kill_process_group(self.process)
            self.process = None

    def _xdotool(self, *args):
        result = subprocess.run(["xdotool"] + list(args), env=dict(os.environ, DISPLAY=self.name),
                                stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=10)
        return result.returncode, result.stdout

    def find_windows(self, caption):
        """Ids of the windows whose title matches `caption` (a regular expression)."""
        _code, output = self._xdotool("search", "--name", caption)
        return [line.strip() for line in output.splitlines() if line.strip()]

    def wait_for_window(self, caption, timeout=WAIT_TIMEOUT):
        """The id of the first window titled `caption`; raises TimeoutError."""
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            windows = self.find_windows(caption)
            if windows:
                return windows[0]
            time.sleep(0.1)
        raise TimeoutError(f"no window {caption!r} within {timeout} s")

    def window_title(self, window):
        """The title of window `window`, as text."""
        return self._xdotool("getwindowname", window)[1].rstrip("\n")

    def press(self, window, key="Return"):
        """Sends `key` to window `window` (Return presses a box's default button)."""
        self._xdotool("key", "--window", window, key)

    def visible_windows_of(self, program):
        """Ids of the visible windows of processes running program file
        `program` (e.g. "Setup.exe"). Wine names the class of each X window
        after the program file, in lower case."""
        pattern = "^" + re.sub(r"([.\[\]()*+?{}|^$\\])", r"\\\1", program.lower()) + "$"
        _code, output = self._xdotool("search", "--onlyvisible", "--classname", pattern)
        return [line.strip() for line in output.splitlines() if line.strip()]

    def windows_shown_while(self, program, process, timeout=WAIT_TIMEOUT):
        """Looks for visible windows of `program` (see visible_windows_of)
        until `process` (a Popen) ends or `timeout` s pass, and presses Return
        in each, so that a message box lets the program go on. Returns
        {window id: title} of every window seen.

        Looks are WATCH_INTERVAL s apart, so a window that comes and goes
        between two could be missed; a message box stays until a key is
        pressed in it, so none is."""
        seen = {}
        end = time.monotonic() + timeout
        while process.poll() is None and time.monotonic() < end:
            for window in self.visible_windows_of(program):
                if window not in seen:
                    seen[window] = self.window_title(window)
                self.press(window)
            time.sleep(WATCH_INTERVAL)
        return seen
