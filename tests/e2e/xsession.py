"""Helpers for tests that drive the real plim on a real X server (Xvfb): a fresh display
with or without a window manager, window look-ups, geometry and mouse clicks, and the
results list that each test prints as 'N passed, N failed'."""
import os
import re
import subprocess
import time

results = []


def check(name, ok, detail=""):
    results.append(bool(ok))
    print(("PASS " if ok else "FAIL ") + name + ("" if ok else "  " + detail), flush=True)


def run(*args, env=None):
    return subprocess.run(args, capture_output=True, text=True, env=env).stdout


def wait_for(pred, timeout=30.0):
    """The value of pred() once it is true, polled every 0.1 s; None after timeout seconds."""
    end = time.time() + timeout
    while time.time() < end:
        value = pred()
        if value:
            return value
        time.sleep(0.1)
    return None


class Display:
    """A fresh Xvfb on a display number it picks itself (-displayfd), so that a stale lock
    file of an earlier run never stands in the way. -noreset: by default Xvfb resets
    whenever its last client leaves, and a client connecting during that reset (openbox
    right after the xdpyinfo probe, say) is turned away."""

    def __init__(self, wm, screen="1280x800"):
        read, write = os.pipe()
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", screen + "x24", "-nolisten", "tcp",
                                 "-noreset"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, pass_fds=(write,))
        os.close(write)
        with os.fdopen(read) as f:
            number = f.readline().strip()
        self.env = dict(os.environ, DISPLAY=f":{number}", SDL_AUDIODRIVER="dummy")
        self.env.pop("QT_QPA_PLATFORM", None)
        self.procs = [xvfb]
        wait_for(lambda: subprocess.run(["xdpyinfo"], env=self.env, capture_output=True).returncode == 0)
        self.wm = wm
        if wm:
            self.procs.append(subprocess.Popen(["openbox"], env=self.env, stdout=subprocess.DEVNULL,
                                               stderr=subprocess.DEVNULL))
            # The window manager is ready once it names itself on the root window.
            if not wait_for(lambda: "window id" in self.x("xprop", "-root", "_NET_SUPPORTING_WM_CHECK"), 30):
                status = self.procs[-1].poll()
                self.close()
                raise RuntimeError(f"openbox did not start within 30 s (exit status {status}; "
                                   "its messages are in ~/.cache/openbox/openbox.log)")

    def x(self, *args):
        return run(*args, env=self.env)

    def close(self):
        for p in reversed(self.procs):
            p.terminate()
            p.wait()


def exit_status(proc, timeout=10.0):
    """The process's exit status once it has ended, waiting up to timeout; None if it runs on."""
    try:
        return proc.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        return None


def window_ids(d, name):
    return [w for w in d.x("xdotool", "search", "--onlyvisible", "--name", name).split() if w]


def client_geometry(d, wid):
    info = d.x("xwininfo", "-id", wid)
    get = lambda key: int(re.search(key + r":\s+(-?\d+)", info).group(1))
    return get("Absolute upper-left X"), get("Absolute upper-left Y"), get("Width"), get("Height")


def extents(d, wid):
    m = re.search(r"= (\d+), (\d+), (\d+), (\d+)", d.x("xprop", "-id", wid, "_NET_FRAME_EXTENTS"))
    return tuple(int(v) for v in m.groups()) if m else (0, 0, 0, 0)  # left, right, top, bottom


def outer(d, wid):
    x, y, w, h = client_geometry(d, wid)
    l, r, t, b = extents(d, wid)
    return x - l, y - t, w + l + r, h + t + b


def placed(d, wid, timeout=15.0):
    """Waits until the window stands where it will stay: its frame known (with a window
    manager, which frames it after mapping) and its outer geometry the same on two looks
    0.2 s apart. Returns that geometry, or None when it never settled."""
    last, end = None, time.time() + timeout
    while time.time() < end:
        framed = not d.wm or extents(d, wid) != (0, 0, 0, 0)
        now = outer(d, wid) if framed else None
        if now is not None and now == last:
            return now
        last = now
        time.sleep(0.2)
    return None


def click(d, wid, x, y):
    """A click as a person makes it: the pause after it keeps two clicks at different places
    from being taken as one double click."""
    d.x("xdotool", "mousemove", "--window", wid, str(x), str(y), "click", "1")
    time.sleep(0.6)


def top_level_of_size(d, w, h):
    """The visible window of plim whose client area has that size."""
    for wid in d.x("xdotool", "search", "--onlyvisible", "--class", "plim").split():
        if client_geometry(d, wid)[2:] == (w, h):
            return wid
    return None
