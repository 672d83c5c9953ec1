#!/usr/bin/env python3
"""Videos larger than the screen, end to end on Xvfb with a window manager: the video window
lies whole on the screen, shows the picture scaled to fit (compared with ffmpeg's decode
scaled the same way), and the frame is saved at the video's own size; a small video still
gets the window and the BMP it always had.

A camcorder's DV and a 16:9 DVD, whose pixels are not square, get a window and a BMP at
their display aspect, as high as stored.

Ctrl+C on the video window puts the frame on the clipboard, at its display size whatever
the window shows: a PNG equal to ffmpeg's frame.

Usage: large_video_test.py PLIM HD_CLIP UHD_CLIP SMALL_CLIP [NON_SQUARE_CLIP...].
Prints 'N passed, N failed'.
"""
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from frames import probe, psnr, reference_frame, save_frame, shown  # noqa: E402
from xsession import Display, check, client_geometry, placed, results, wait_for  # noqa: E402

PLIM, HD, UHD, SMALL = (os.path.abspath(a) for a in sys.argv[1:5])
NON_SQUARE = [os.path.abspath(a) for a in sys.argv[5:]]


def video_window(d, main_title="^Plim$"):
    """The plim window other than the main one that shows a picture: the largest visible."""
    main = set(d.x("xdotool", "search", "--onlyvisible", "--name", main_title).split())
    ids = [w for w in d.x("xdotool", "search", "--onlyvisible", "--class", "plim").split() if w not in main]
    sized = [(client_geometry(d, w)[2] * client_geometry(d, w)[3], w) for w in ids]
    big = [w for area, w in sorted(sized, reverse=True) if area > 100 * 100]
    return big[0] if big else None


def copy_to_clipboard(d, video, clip, name, w, h):
    """Ctrl+C, then the clipboard read as image/png (xclip) against ffmpeg's frame 0."""
    import io
    from PIL import Image
    d.x("xdotool", "windowactivate", "--sync", video)
    d.x("xdotool", "key", "--clearmodifiers", "ctrl+c")
    read = lambda: subprocess.run(["xclip", "-selection", "clipboard", "-t", "image/png", "-o"], env=d.env,  # noqa: E731
                                  capture_output=True, timeout=10).stdout
    png = wait_for(lambda: (lambda b: b if b.startswith(b"\x89PNG") else None)(read()), 10)
    check(f"{name}: Ctrl+C puts a PNG on the clipboard", bool(png))
    if not png:
        return
    picture = Image.open(io.BytesIO(png)).convert("RGB")
    check(f"{name}: the copy is the frame at its display size", picture.size == (w, h), f"{picture.size}")
    db = psnr(picture.tobytes(), reference_frame(clip, 0))
    check(f"{name}: the copy is ffmpeg's frame", db >= 45, f"{db:.1f} dB")


def session(screen, clip, scaled):
    sw, sh = (int(v) for v in screen.split("x"))
    w, h, _ = probe(clip)
    name = f"{os.path.basename(clip)} on a {screen} screen"
    d = Display(True, screen=screen)
    folder = tempfile.mkdtemp(prefix="plim large ")
    plim = subprocess.Popen([PLIM, clip], cwd=folder, env=d.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        video = wait_for(lambda: video_window(d), 60)
        check(f"{name}: the video window opens", bool(video))
        if not video:
            return
        outer = placed(d, video)
        x, y, ow, oh = outer or (0, 0, 0, 0)
        check(f"{name}: the whole window is on the screen", outer and x >= 0 and y >= 0 and x + ow <= sw and y + oh <= sh,
              f"window at {x},{y} {ow}x{oh}")
        cw, ch = client_geometry(d, video)[2:]
        dw, dh = cw - 4, ch - 4
        if scaled:
            check(f"{name}: shown smaller, of the video's shape", dw < w and abs(dw / dh - w / h) < 0.01,
                  f"{dw}x{dh} for {w}x{h}")
            want = reference_frame(clip, 0, scale=(dw, dh))
        else:
            check(f"{name}: shown at its own size, as always", (dw, dh) == (w, h), f"{dw}x{dh}")
            want = reference_frame(clip, 0)
        got = wait_for(lambda: (lambda p: p if psnr(p, want) >= 35 else None)(shown(d, video, dw, dh)), 30)
        check(f"{name}: the picture is the frame, scaled as ffmpeg scales it" if scaled else f"{name}: the picture is the frame",
              bool(got), f"{psnr(shown(d, video, dw, dh), want):.1f} dB")
        copy_to_clipboard(d, video, clip, name, w, h)
        save_frame(d, folder, clip, w, h, 0)
        bmp = os.path.join(folder, "frame.bmp")
        if os.path.exists(bmp):
            from PIL import Image
            size = Image.open(bmp).size
            check(f"{name}: the BMP holds the video at its own size", size == (w + 4, h + 4), f"{size}")
    finally:
        plim.kill()
        plim.wait()
        d.close()
        shutil.rmtree(folder, ignore_errors=True)


session("1920x1080", HD, True)
session("1920x1200", UHD, True)
session("1920x1080", SMALL, False)
for clip in NON_SQUARE:
    session("1920x1080", clip, False)
passed = sum(results)
print(f"{passed} passed, {len(results) - passed} failed")
sys.exit(0 if passed == len(results) else 1)
