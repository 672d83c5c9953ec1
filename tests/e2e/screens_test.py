#!/usr/bin/env python3
"""The real plim on today's screens (Xvfb with openbox), opened as `plim FILE`:

- at Xft.dpi 96, 120, 144, 168, 192 and 288 the toolkit scales by k = 1, 1, 1, 2, 2, 3: the
  main window's client is its 2415 twips at dpi / k times k and holds both rows, its outside
  75 logical pixels tall; the video window's client is the video and its border exactly, times
  k, and the picture in it is ffmpeg's frame at k times its size; at 192 dpi the main window
  is the 96-dpi one twice as large, and the frame saved is the 96-dpi BMP byte for byte;
- full screen with F and with a double click, left with Escape and a second double click: the
  window covers the screen, the picture fitted with its shape on black, and the window comes
  back to its exact size and place; a frame saved meanwhile is the video's own;
- Alt+0, Alt+2 and Alt+1 show the picture at 50, 200 and 100 %.

Usage: screens_test.py PLIM CLIP
Prints 'N passed, N failed'.
"""
import math
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from frames import probe, psnr, reference_frame, shown, wait_until_still  # noqa: E402
from xsession import Display, check, click, client_geometry, outer, placed, results, wait_for, window_ids  # noqa: E402

PLIM, CLIP = (os.path.abspath(a) for a in sys.argv[1:3])
W, H, _ = probe(CLIP)


def scale_of(dpi):
    """The toolkit's whole scale for a density: dpi / 96 rounded down unless .75 or more."""
    f = dpi / 96.0
    return max(1, math.floor(f) + (1 if f - math.floor(f) >= 0.75 else 0))


class Plim:
    """plim FILE on a fresh display at a density, from a folder of its own."""

    def __init__(self, dpi, screen):
        self.folder = tempfile.mkdtemp(prefix="plim screens ")
        self.k = scale_of(dpi)
        self.d = Display(wm=True, screen=screen)
        self.d.x("xprop", "-root", "-f", "RESOURCE_MANAGER", "8s", "-set", "RESOURCE_MANAGER", f"Xft.dpi:\t{dpi}\n")
        self.proc = subprocess.Popen([PLIM, CLIP], cwd=self.folder, env=self.d.env, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
        found = wait_for(lambda: window_ids(self.d, "^Plim$"))
        self.main = found[0] if found else None
        self.video = None
        if self.main:
            placed(self.d, self.main)
            self.video = wait_for(lambda: self.window_holding((W + 4) * self.k, (H + 4) * self.k), 15)
            if self.video:
                placed(self.d, self.video)

    def window_holding(self, w, h):
        """The video window, once its client holds w x h."""
        for wid in self.d.x("xdotool", "search", "--onlyvisible", "--class", "plim").split():
            cw, ch = client_geometry(self.d, wid)[2:]
            if wid != self.main and cw >= w and ch >= h:
                return wid
        return None

    def press(self, wid, x, y):
        """A click at (x, y) of the 96-dpi layout."""
        click(self.d, wid, x * self.k, y * self.k)

    def key(self, name):
        self.d.x("xdotool", "windowactivate", "--sync", self.video)
        self.d.x("xdotool", "key", "--clearmodifiers", name)

    def picture(self, w, h, x=0, y=0):
        return shown(self.d, self.video, w, h, x, y)

    def save(self, name):
        """Saves the frame shown as name.bmp through the chooser; the file's bytes, or None."""
        self.press(self.main, 26, 8)  # ComSAVE
        dialog = wait_for(lambda: window_ids(self.d, "ﾀﾞｲｱﾛｸﾞ"), 10)
        if not dialog:
            return None
        self.press(dialog[0], 151, 154)  # the name box
        self.d.x("xdotool", "type", "--delay", "50", name)
        self.press(dialog[0], 193, 190)  # OK
        box = wait_for(lambda: window_ids(self.d, "^ $"), 10)
        if box:  # answered, and gone: it must not cover what is looked at next
            self.d.x("xdotool", "windowactivate", "--sync", box[0])
            self.d.x("xdotool", "key", "--window", box[0], "Return")
            wait_for(lambda: not window_ids(self.d, "^ $"), 10)
        bmp = os.path.join(self.folder, name + ".bmp")
        if not wait_for(lambda: os.path.exists(bmp) and os.path.getsize(bmp) > 0, 5):
            return None
        time.sleep(0.3)
        with open(bmp, "rb") as f:
            return f.read()

    def close(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        self.d.close()
        shutil.rmtree(self.folder, ignore_errors=True)


def showing(p, want, w, h, x=0, y=0, timeout=15):
    """The PSNR of the w x h pixels at (x, y) against want, once it reaches 30 dB or the
    timeout passes (a window just resized or moved is repainted a moment later)."""
    best = 0.0
    end = time.time() + timeout
    while time.time() < end:
        best = psnr(p.picture(w, h, x, y), want)
        if best >= 30:
            break
        time.sleep(0.2)
    return best


def settled(p, wid, want=None, timeout=10):
    """The window's outer geometry once it stands still (and equals want, when given)."""
    end = time.time() + timeout
    now = placed(p.d, wid)
    while want is not None and now != want and time.time() < end:
        time.sleep(0.2)
        now = placed(p.d, wid)
    return now


def shrunk(rgb, w, h, k):
    """RGB rows of w x h shrunk k times by averaging each k x k block."""
    from PIL import Image
    return Image.frombytes("RGB", (w, h), rgb).reduce(k).tobytes() if rgb and k > 1 else rgb


def scaled_reference(w, h):
    """ffmpeg's first frame at w x h as the viewer enlarges (bicubic) or shrinks (area) it."""
    flags = "area" if w < W else "bicubic"
    return subprocess.run(["ffmpeg", "-v", "error", "-i", CLIP, "-vf", f"scale={w}:{h}:flags={flags}", "-frames:v", "1",
                           "-f", "rawvideo", "-pix_fmt", "rgb24", "-"], capture_output=True).stdout


def density(dpi, keep):
    p = Plim(dpi, "2560x1600")
    k = p.k
    try:
        check(f"{dpi} dpi: both windows appear", bool(p.main) and bool(p.video), f"main {p.main} video {p.video}")
        if not p.video:
            return
        cw, ch = client_geometry(p.d, p.main)[2:]
        logical_w = round(2415 * dpi / (1440.0 * k))
        check(f"{dpi} dpi: main client 2415 twips wide at {dpi / k:g} dpi, times {k}", cw == logical_w * k, f"{cw}")
        # 75 of the whole twips per pixel: 75 logical pixels where the screen's twips are whole.
        tpp = 1440.0 * k / dpi
        tall = round(round(tpp) * 75 / tpp) * k
        check(f"{dpi} dpi: main window 75 pixels tall outside, in logical pixels", abs(outer(p.d, p.main)[3] - tall) <= k,
              f"{outer(p.d, p.main)} for {tall}")
        check(f"{dpi} dpi: the slider row lies whole in the client", ch >= 40 * k, f"{ch}")
        # Whole twips per pixel make the window a pixel or two larger where the screen's are
        # not whole (168 dpi: 17 for 17.14): black border, never a smaller picture.
        vw, vh = client_geometry(p.d, p.video)[2:]
        want_w, want_h = (W + 4) * k, (H + 4) * k
        check(f"{dpi} dpi: the video window's client is the video and its border, times {k}",
              want_w <= vw <= want_w + 2 * k and want_h <= vh <= want_h + 2 * k, f"{vw}x{vh}")
        got = p.picture(W * k, H * k)
        db = psnr(got, scaled_reference(W * k, H * k))
        check(f"{dpi} dpi: the picture is ffmpeg's frame at {W * k}x{H * k}", db >= 40, f"{db:.1f} dB")
        db = psnr(shrunk(got, W * k, H * k, k), reference_frame(CLIP, 0))
        check(f"{dpi} dpi: ... and shrunk by {k}, its own frame", db >= 28, f"{db:.1f} dB")
        margin = p.picture(vw - W * k, H * k, W * k, 0)
        check(f"{dpi} dpi: black beside the picture", margin and not margin.strip(b"\0"))
        if dpi in (96, 192):
            main = wait_until_still(p.d, p.main, 161 * k, 54 * k)
            keep[dpi] = (main, p.save(f"at{dpi}"))
            check(f"{dpi} dpi: the frame is saved", keep[dpi][1] is not None)
    finally:
        p.close()


def same_at_twice(keep):
    if 96 not in keep or 192 not in keep:
        return
    (main96, bmp96), (main192, bmp192) = keep[96], keep[192]
    # Alike, not equal: the buttons' pictures are drawn anew for 2x.
    db = psnr(shrunk(main192, 322, 108, 2), main96)
    check("192 dpi: the main window is the 96-dpi one twice as large", db >= 18, f"{db:.1f} dB")
    check("192 dpi: the BMP saved is the 96-dpi one byte for byte", bmp96 is not None and bmp96 == bmp192,
          f"{len(bmp96 or b'')} / {len(bmp192 or b'')} bytes")


def is_full(p):
    return "_NET_WM_STATE_FULLSCREEN" in p.d.x("xprop", "-id", p.video, "_NET_WM_STATE")


def full_screen_and_scales():
    sw, sh = 1600, 1000
    p = Plim(96, f"{sw}x{sh}")
    try:
        check("full screen: the video window appears", bool(p.video))
        if not p.video:
            return
        time.sleep(1.5)  # the frame's late corrections come within a second of the first showing
        before = settled(p, p.video)
        fit_h = sh if W * sh <= H * sw else round(H * sw / W)
        fit_w = round(W * fit_h / H) if fit_h == sh else sw
        fit_w += fit_w % 2
        x0, y0 = (sw - fit_w) // 2, (sh - fit_h) // 2
        for how, enter, leave in (("F", lambda: p.key("f"), lambda: p.key("Escape")),
                                  ("a double click", lambda: double_click(p), lambda: double_click(p))):
            enter()
            full = wait_for(lambda: is_full(p) and client_geometry(p.d, p.video)[2:] == (sw, sh), 10)
            check(f"full screen with {how}: the window covers the screen", bool(full), f"{client_geometry(p.d, p.video)}")
            db = showing(p, scaled_reference(fit_w, fit_h), fit_w, fit_h, x0, y0)
            check(f"full screen with {how}: the picture fitted, centred ({fit_w}x{fit_h})", db >= 30, f"{db:.1f} dB")
            side = p.picture(max(1, x0), sh) if x0 else p.picture(sw, max(1, y0))
            check(f"full screen with {how}: black beside it", side and not side.strip(b"\0"), "")
            if how == "F":
                p.d.x("xdotool", "windowactivate", "--sync", p.main)  # the main window's save button
                bmp = p.save("full")
                from PIL import Image
                import io
                ok = bmp is not None
                db = psnr(Image.open(io.BytesIO(bmp)).convert("RGB").crop((0, 0, W, H)).tobytes(),
                          reference_frame(CLIP, 0)) if ok else 0
                check("full screen: the frame saved is the video's own", db >= 45, f"{db:.1f} dB")
            leave()
            back = wait_for(lambda: not is_full(p), 10) and settled(p, p.video, before) == before
            check(f"leaving full screen ({how}): the window's exact size and place", bool(back),
                  f"{outer(p.d, p.video)} != {before}")
        for key, pct in (("alt+2", 200), ("alt+0", 50), ("alt+1", 100)):
            p.key(key)
            w, h = W * pct // 100, H * pct // 100
            sized = wait_for(lambda: client_geometry(p.d, p.video)[2:] == (w + 4, h + 4), 10)
            check(f"{key}: the window holds the picture at {pct} %", bool(sized), f"{client_geometry(p.d, p.video)}")
            ref = reference_frame(CLIP, 0) if pct == 100 else scaled_reference(w, h)
            db = showing(p, ref, w, h)
            check(f"{key}: the picture is ffmpeg's frame at {w}x{h}", db >= 30, f"{db:.1f} dB")
        now = settled(p, p.video, before)
        check("alt+1: back at the open's size and place", now == before, f"{now} != {before}")
    finally:
        p.close()


def double_click(p):
    p.d.x("xdotool", "mousemove", "--window", p.video, "60", "60", "click", "--repeat", "2", "--delay", "60", "1")
    time.sleep(0.6)


keep = {}
for dpi in (96, 120, 144, 168, 192, 288):
    density(dpi, keep)
same_at_twice(keep)
full_screen_and_scales()
passed = sum(results)
print(f"{passed} passed, {len(results) - passed} failed")
sys.exit(0 if passed == len(results) else 1)
