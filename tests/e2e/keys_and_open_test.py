#!/usr/bin/env python3
"""End to end on Xvfb with a window manager: a video named on the command line opens at
start-up; the keys on the video window step exactly one frame either way, go to the first
and the last frame, and play and pause; a video dropped (XDND, as a file manager drops) on
the main window or on the video window opens, the open one closed first. What the window
shows is compared with ffmpeg's own decode of the frame due.

Usage: keys_and_open_test.py PLIM CLIP CLIP (of different sizes). Prints 'N passed, N failed'.
"""
import math
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from xsession import Display, check, client_geometry, results, top_level_of_size, wait_for, window_ids  # noqa: E402
from xdnd import drop_files  # noqa: E402

PLIM, CLIPS = os.path.abspath(sys.argv[1]), [os.path.abspath(c) for c in sys.argv[2:]]


def probe(clip):
    out = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v:0", "-count_frames", "-show_entries",
                          "stream=width,height,nb_read_frames", "-of", "csv=p=0", clip],
                         capture_output=True, text=True).stdout.strip().split(",")
    return int(out[0]), int(out[1]), int(out[2])


def reference(clip, k):
    vf = f"select=eq(n\\,{k}),scale=flags=bicubic"
    return subprocess.run(["ffmpeg", "-v", "error", "-i", clip, "-vf", vf, "-frames:v", "1", "-f", "rawvideo",
                           "-pix_fmt", "rgb24", "-"], capture_output=True).stdout


def shown(d, wid, w, h):
    x, y, _, _ = client_geometry(d, wid)
    return subprocess.run(["import", "-window", "root", "-crop", f"{w}x{h}+{x}+{y}", "-depth", "8", "rgb:-"], env=d.env,
                          capture_output=True).stdout


def psnr(a, b):
    if not a or len(a) != len(b):
        return 0.0
    se = sum((x - y) * (x - y) for x, y in zip(a, b))
    return 99.0 if se == 0 else 10 * math.log10(255 * 255 * len(a) / se)


def expect_frame(d, wid, clip, w, h, k, what):
    time.sleep(0.3)
    got = shown(d, wid, w, h)
    near = {j: psnr(got, reference(clip, j)) for j in (k - 1, k, k + 1) if j >= 0}
    best = max(near, key=near.get)
    check(f"{what}: frame {k} of {os.path.basename(clip)}", near[k] >= 40 and best == k,
          f"best {best} at {near[best]:.1f} dB, frame {k} at {near[k]:.1f} dB")


def keys(d, *names):
    for n in names:
        d.x("xdotool", "key", n)  # to the window with the focus, as a user types
        time.sleep(0.15)


def session(clip):
    d = Display(True)
    w, h, frames = probe(clip)
    plim = subprocess.Popen([PLIM, clip], cwd="/", env=d.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        video = wait_for(lambda: top_level_of_size(d, w + 4, h + 4), 20)
        check(f"plim FILE opens {os.path.basename(clip)} at start-up", bool(video))
        if not video:
            return
        time.sleep(1.0)
        expect_frame(d, video, clip, w, h, 0, "opened")
        keys(d, "Right", "Right", "Right", "period", "Right")
        expect_frame(d, video, clip, w, h, 5, "five steps forward")
        keys(d, "Left", "comma")
        expect_frame(d, video, clip, w, h, 3, "two steps back")
        keys(d, "End")
        expect_frame(d, video, clip, w, h, frames - 1, "End")
        keys(d, "Left")
        expect_frame(d, video, clip, w, h, frames - 2, "a step back from the end")
        keys(d, "Home")
        expect_frame(d, video, clip, w, h, 0, "Home")
        keys(d, "space")
        time.sleep(0.8)
        keys(d, "space")
        moved = psnr(shown(d, video, w, h), reference(clip, 0)) < 40
        check(f"Space plays and pauses ({os.path.basename(clip)})", moved)
        keys(d, "Right")
        time.sleep(0.3)
        check(f"a step after play still shows a frame of the clip ({os.path.basename(clip)})",
              len(set(shown(d, video, w, h))) > 8)
    finally:
        plim.kill()
        plim.wait()
        d.close()


def drop(d, wid, clip):
    x, y, w, h = client_geometry(d, wid)
    return drop_files(d.env["DISPLAY"], int(wid), x + w // 2, y + h // 2, [clip])


def drops(first, second):
    d = Display(True)
    (w1, h1, _), (w2, h2, _) = probe(first), probe(second)
    plim = subprocess.Popen([PLIM], cwd="/", env=d.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        main = wait_for(lambda: window_ids(d, "^Plim$"), 20)
        check("main window appears", bool(main))
        if not main:
            return
        time.sleep(1.0)
        check("the main window takes the drop", drop(d, main[0], first))
        video = wait_for(lambda: top_level_of_size(d, w1 + 4, h1 + 4), 15)
        check("a video dropped on the main window opens", bool(video))
        if not video:
            return
        time.sleep(0.8)
        expect_frame(d, video, first, w1, h1, 0, "dropped on the main window")
        check("the video window takes the drop", drop(d, video, second))
        video = wait_for(lambda: top_level_of_size(d, w2 + 4, h2 + 4), 15)
        check("a video dropped on the video window opens in its place", bool(video))
        if video:
            time.sleep(0.8)
            expect_frame(d, video, second, w2, h2, 0, "dropped on the video window")
            keys(d, "Right")
            expect_frame(d, video, second, w2, h2, 1, "a dropped video has the focus")
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
