#!/usr/bin/env python3
"""End to end: the real plim on a real X server (Xvfb), with and without a window manager.

Usage: e2e_test.py PLIM CLIP
Starts Xvfb (and openbox), runs plim in a folder with a blank in its name that holds a
clip with a Japanese name, checks the main window's placement, opens the clip through the
chooser with the mouse, plays it, and quits from the title bar (or with the quit button
where there is no window manager). Prints 'N passed, N failed'.
"""
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from frames import shown, wait_until_changed  # noqa: E402
from xsession import Display, check, click, client_geometry, exit_status, outer, placed, results, top_level_of_size, wait_for, window_ids  # noqa: E402

PLIM, CLIP = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])


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
        x, y, w, h = placed(d, main) or outer(d, main)
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
        video = wait_for(lambda: top_level_of_size(d, 324, 244))
        check(f"video window is the video's size plus 4 ({label})", bool(video))
        if video:
            vx, vy, vw, vh = placed(d, video) or outer(d, video)
            check(f"video window directly under the main window ({label})", vy == y + h, f"{vy} vs {y + h}")
            check(f"video window centred ({label})", abs(vx - (1280 - vw) // 2) <= 1, f"{vx}")
            first = shown(d, video, 320, 240, 2, 2)
            click(d, main, 45, 8)  # play
            moved = wait_until_changed(d, video, 320, 240, first, dx=2, dy=2)
            shot = shown(d, video, 320, 240, 2, 2)
            check(f"the picture moves while playing ({label})", len(first) > 0 and moved)
            check(f"the picture is not blank ({label})", len(set(shot)) > 8)

        if wm:
            d.x("wmctrl", "-c", "Plim")  # the title bar's close
        else:
            click(d, main, 62, 8)  # ComEND
        code = exit_status(plim)
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
