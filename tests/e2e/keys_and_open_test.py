#!/usr/bin/env python3
"""End to end on Xvfb with a window manager: a video named on the command line opens at
start-up; the keys on the video window step exactly one frame either way, go to the first
and the last frame, and play and pause; a video dropped (XDND, as a file manager drops) on
the main window or on the video window opens, the open one closed first. What the window
shows is compared with ffmpeg's own decode of the frame due.

Usage: keys_and_open_test.py PLIM CLIP CLIP (of different sizes). Prints 'N passed, N failed'.
"""
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from frames import probe, psnr, reference_frame, save_frame, shown, wait_for_frame, wait_until_changed, wait_until_still  # noqa: E402
from xsession import Display, check, click, client_geometry, placed, results, top_level_of_size, wait_for, window_ids  # noqa: E402
from xdnd import drop_files  # noqa: E402

PLIM, CLIPS = os.path.abspath(sys.argv[1]), [os.path.abspath(c) for c in sys.argv[2:]]


def expect_frame(d, wid, clip, w, h, k, what):
    ok, detail = wait_for_frame(d, wid, clip, w, h, k)
    check(f"{what}: frame {k} of {os.path.basename(clip)}", ok, detail)


def key(d, name, then=None):
    """Types one key on the window with the focus, as a user does; then waits for what it
    should show, so that every key meets a window that has done the one before."""
    d.x("xdotool", "key", name)
    if then:
        then()


def session(clip):
    d = Display(True)
    w, h, frames = probe(clip)
    name = os.path.basename(clip)
    folder = tempfile.mkdtemp(prefix="plim keys ")
    plim = subprocess.Popen([PLIM, clip], cwd=folder, env=d.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        video = wait_for(lambda: top_level_of_size(d, w + 4, h + 4))
        check(f"plim FILE opens {name} at start-up", bool(video))
        if not video:
            return
        placed(d, video)
        expect_frame(d, video, clip, w, h, 0, "opened")
        walk = [("Right", 1), ("Right", 2), ("Right", 3), ("period", 4), ("Right", 5), ("Left", 4), ("comma", 3),
                ("End", frames - 1), ("Left", frames - 2), ("Home", 0)]
        for k, want in walk:
            key(d, k, lambda: expect_frame(d, video, clip, w, h, want, f"{k} to frame {want}"))
        key(d, "Right", lambda: expect_frame(d, video, clip, w, h, 1, "Right to frame 1"))
        save_frame(d, folder, clip, w, h, 1)
        d.x("xdotool", "windowactivate", "--sync", video)  # the focus back on the video
        first = shown(d, video, w, h)
        key(d, "space")
        check(f"Space plays ({name})", wait_until_changed(d, video, w, h, first))
        key(d, "space")
        still = wait_until_still(d, video, w, h)
        check(f"Space pauses ({name})", still is not None and psnr(still, reference_frame(clip, 0)) < 40)
        key(d, "Right")
        after = wait_until_changed(d, video, w, h, still) and wait_until_still(d, video, w, h)
        check(f"a step after play still shows a frame of the clip ({name})", bool(after) and len(set(after)) > 8)
    finally:
        plim.kill()
        plim.wait()
        d.close()
        shutil.rmtree(folder, ignore_errors=True)


def drop(d, wid, clip):
    x, y, w, h = client_geometry(d, wid)
    return drop_files(d.env["DISPLAY"], int(wid), x + w // 2, y + h // 2, [clip])


def drops(first, second):
    d = Display(True)
    (w1, h1, _), (w2, h2, _) = probe(first), probe(second)
    plim = subprocess.Popen([PLIM], cwd="/", env=d.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        main = wait_for(lambda: window_ids(d, "^Plim$"))
        check("main window appears", bool(main))
        if not main:
            return
        placed(d, main[0])
        check("the main window takes the drop", drop(d, main[0], first))
        video = wait_for(lambda: top_level_of_size(d, w1 + 4, h1 + 4))
        check("a video dropped on the main window opens", bool(video))
        if not video:
            return
        placed(d, video)
        expect_frame(d, video, first, w1, h1, 0, "dropped on the main window")
        check("the video window takes the drop", drop(d, video, second))
        video = wait_for(lambda: top_level_of_size(d, w2 + 4, h2 + 4))
        check("a video dropped on the video window opens in its place", bool(video))
        if video:
            placed(d, video)
            expect_frame(d, video, second, w2, h2, 0, "dropped on the video window")
            key(d, "Right", lambda: expect_frame(d, video, second, w2, h2, 1, "a dropped video has the focus"))
    finally:
        plim.kill()
        plim.wait()
        d.close()


for c in CLIPS:
    session(c)
drops(CLIPS[0], CLIPS[1])
passed = sum(results)
print(f"{passed} passed, {len(results) - passed} failed")
sys.exit(0 if passed == len(results) else 1)
