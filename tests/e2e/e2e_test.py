#!/usr/bin/env python3
"""End to end: the real plim on a real X server (Xvfb), with and without a window manager.

Usage: e2e_test.py PLIM CLIP
Starts Xvfb (and openbox), runs plim in a folder with a blank in its name that holds a
clip with a Japanese name, checks the main window's placement, opens the clip through the
chooser with the mouse, plays it, and quits from the title bar (or with the quit button
where there is no window manager). Prints 'N passed, N failed'.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

PLIM, CLIP = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
results = []


def check(name, ok, detail=""):
    results.append(ok)
    print(("PASS " if ok else "FAIL ") + name + ("" if ok else "  " + detail), flush=True)


def run(*args, env=None):
    return subprocess.run(args, capture_output=True, text=True, env=env).stdout


def wait_for(pred, timeout=10.0):
    end = time.time() + timeout
    while time.time() < end:
        value = pred()
        if value:
            return value
        time.sleep(0.1)
    return None


class Display:
    """A fresh Xvfb on a display number it picks itself (-displayfd), so that a stale lock
    file of an earlier run never stands in the way."""

    def __init__(self, wm):
        read, write = os.pipe()
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x800x24", "-nolisten", "tcp"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, pass_fds=(write,))
        os.close(write)
        with os.fdopen(read) as f:
            number = f.readline().strip()
        self.env = dict(os.environ, DISPLAY=f":{number}", SDL_AUDIODRIVER="dummy")
        self.env.pop("QT_QPA_PLATFORM", None)
        self.procs = [xvfb]
        wait_for(lambda: subprocess.run(["xdpyinfo"], env=self.env, capture_output=True).returncode == 0)
        if wm:
            self.procs.append(subprocess.Popen(["openbox"], env=self.env, stdout=subprocess.DEVNULL,
                                               stderr=subprocess.DEVNULL))
            time.sleep(1.0)

    def x(self, *args):
        return run(*args, env=self.env)

    def close(self):
        for p in reversed(self.procs):
            p.terminate()
            p.wait()


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


def click(d, wid, x, y):
    d.x("xdotool", "mousemove", "--window", wid, str(x), str(y), "click", "1")
    time.sleep(0.6)


def top_level_of_size(d, w, h):
    """The visible window of plim whose client area has that size."""
    for wid in d.x("xdotool", "search", "--onlyvisible", "--class", "plim").split():
        if client_geometry(d, wid)[2:] == (w, h):
            return wid
    return None


def session(wm):
    label = "with a window manager" if wm else "without a window manager"
    d = Display(wm)
    folder = tempfile.mkdtemp(prefix="plim e2e ")
    shutil.copy(CLIP, os.path.join(folder, "テスト 動画.avi"))
    plim = subprocess.Popen([PLIM], cwd=folder, env=d.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        main = wait_for(lambda: window_ids(d, "^Plim$"))
        check(f"main window appears ({label})", bool(main))
        if not main:
            return
        main = main[0]
        time.sleep(1.5)  # the window manager's frame arrives after mapping
        x, y, w, h = outer(d, main)
        cx, cy, cw, ch = client_geometry(d, main)
        check(f"client is 161 px wide ({label})", cw == 161, f"{cw}")
        check(f"75 px tall outside ({label})", h == 75, f"{h}")
        check(f"top at a tenth of the screen ({label})", y == 80, f"{y}")
        check(f"centred ({label})", abs(x - (1280 - w) // 2) <= 1, f"x={x} w={w}")

        # Open the clip through the chooser: ComOpen, the first file, OK.
        click(d, main, 8, 8)
        dialog = wait_for(lambda: window_ids(d, "ﾀﾞｲｱﾛｸﾞ"))
        check(f"chooser appears ({label})", bool(dialog))
        if dialog:
            click(d, dialog[0], 200, 12)
            click(d, dialog[0], 193, 190)
        video = wait_for(lambda: top_level_of_size(d, 324, 244) or None, 15)
        check(f"video window is the video's size plus 4 ({label})", bool(video))
        if video:
            vx, vy, vw, vh = outer(d, video)
            check(f"video window directly under the main window ({label})", vy == y + h, f"{vy} vs {y + h}")
            check(f"video window centred ({label})", abs(vx - (1280 - vw) // 2) <= 1, f"{vx}")
            click(d, main, 45, 8)  # play
            time.sleep(0.8)
            shot1 = subprocess.run(["import", "-window", "root", "-crop", f"320x240+{vx + 2}+{vy + 2}", "gray:-"],
                                   env=d.env, capture_output=True).stdout
            time.sleep(0.5)
            shot2 = subprocess.run(["import", "-window", "root", "-crop", f"320x240+{vx + 2}+{vy + 2}", "gray:-"],
                                   env=d.env, capture_output=True).stdout
            check(f"the picture moves while playing ({label})", len(shot1) > 0 and shot1 != shot2)
            check(f"the picture is not blank ({label})", len(set(shot1)) > 8)

        if wm:
            d.x("wmctrl", "-c", "Plim")  # the title bar's close
        else:
            click(d, main, 62, 8)  # ComEND
        try:
            code = plim.wait(timeout=10)
        except subprocess.TimeoutExpired:
            code = None
        check(f"plim ends when closed ({label})", code == 0, f"exit {code}")
    finally:
        if plim.poll() is None:
            plim.kill()
        d.close()
        shutil.rmtree(folder, ignore_errors=True)


session(wm=True)
session(wm=False)
passed = sum(results)
print(f"{passed} passed, {len(results) - passed} failed")
sys.exit(0 if passed == len(results) else 1)
