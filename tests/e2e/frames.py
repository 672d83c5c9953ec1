"""What a window shows, compared with ffmpeg's own decode: the one reference decode and the
one PSNR of the Python end-to-end tests, and waits for a picture rather than for a time."""
import math
import os
import subprocess
import time

from xsession import client_geometry


def _stream(clip, entries):
    out = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v:0", *entries, "-of", "compact=p=0", clip],
                         capture_output=True, text=True).stdout
    return dict(f.split("=", 1) for f in out.replace("\n", "|").split("|") if "=" in f)


def _shown_size(fields):
    """The size a picture is shown at: turned a quarter when its display matrix says so, and
    at its display aspect, as high as stored, when its pixels are not square."""
    w, h = int(fields["width"]), int(fields["height"])
    if abs(int(fields.get("rotation", "0"))) % 180 == 90:
        return h, w
    num, _, den = fields.get("sample_aspect_ratio", "").partition(":")
    if num.isdigit() and den.isdigit() and int(num) > 0 and int(den) > 0 and num != den:
        w = (w * int(num) * 2 + int(den)) // (2 * int(den))
    return w, h


def probe(clip):
    """Width, height and the number of pictures of the clip's first video stream, as the
    picture is shown (see _shown_size)."""
    fields = _stream(clip, ["-count_frames", "-show_entries",
                            "stream=width,height,sample_aspect_ratio,nb_read_frames:stream_side_data=rotation"])
    w, h = _shown_size(fields)
    return w, h, int(fields["nb_read_frames"])


def hd_matrix(clip):
    """The scale option that gives an HD stream naming no colour matrix BT.709, as the viewer
    does (others keep the matrix they name, BT.601 when none)."""
    out = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                          "stream=width,height,color_space", "-of", "compact=p=0", clip],
                         capture_output=True, text=True).stdout
    fields = dict(f.split("=", 1) for f in out.strip().split("|") if "=" in f)
    w, h = int(fields.get("width", 0)), int(fields.get("height", 0))
    untagged = fields.get("color_space", "unknown") in ("", "unknown")
    return ":in_color_matrix=bt709" if untagged and (w >= 1280 or h > 576) else ""


def deinterlace(clip):
    """The filter that makes interlaced pictures whole as the viewer does, with a comma after
    it, for a clip whose stream or first picture says its pictures are interlaced; else ""."""
    order = _stream(clip, ["-show_entries", "stream=field_order"]).get("field_order", "")
    first = _stream(clip, ["-read_intervals", "%+#1", "-show_entries", "frame=interlaced_frame"])
    interlaced = order in ("tt", "bb", "tb", "bt") or first.get("interlaced_frame") == "1"
    return "bwdif=mode=send_frame:parity=auto:deint=interlaced," if interlaced else ""


def reference_frame(clip, k, scale=None):
    """Picture k (in decoding's output order) as RGB rows, decoded by ffmpeg and made whole and
    converted as the viewer does: bicubic (at the display aspect when its pixels are not square), or
    shrunk to scale=(w, h) by area averaging when given."""
    if not scale:
        fields = _stream(clip, ["-show_entries", "stream=width,height,sample_aspect_ratio:stream_side_data=rotation"])
        shown_w, shown_h = _shown_size(fields)
        if abs(int(fields.get("rotation", "0"))) % 180 != 90 and shown_w != int(fields["width"]):
            size = f":w={shown_w}:h={shown_h}"  # widened or narrowed to the display aspect
        else:
            size = ""
    else:
        size = f":w={scale[0]}:h={scale[1]}"
    flags = "area" if scale else "bicubic"
    vf = f"{deinterlace(clip)}select=eq(n\\,{k}),scale=flags={flags}{size}{hd_matrix(clip)}"
    return subprocess.run(["ffmpeg", "-v", "error", "-i", clip, "-vf", vf, "-frames:v", "1", "-f", "rawvideo",
                           "-pix_fmt", "rgb24", "-"], capture_output=True).stdout


def psnr(a, b):
    """PSNR in dB of two pictures of the same byte layout; 0 when they differ in size."""
    if not a or len(a) != len(b):
        return 0.0
    from PIL import Image, ImageChops
    # Byte by byte as one long grey row: the histogram of the differences gives their squares.
    diff = ImageChops.difference(Image.frombytes("L", (len(a), 1), a), Image.frombytes("L", (len(b), 1), b))
    se = sum(count * v * v for v, count in enumerate(diff.histogram()))
    return 99.0 if se == 0 else 10 * math.log10(255 * 255 * len(a) / se)


def shown(d, wid, w, h, dx=0, dy=0):
    """The w x h pixels at (dx, dy) in the window's client area, as RGB rows."""
    x, y, _, _ = client_geometry(d, wid)
    return subprocess.run(["import", "-window", "root", "-crop", f"{w}x{h}+{x + dx}+{y + dy}", "-depth", "8", "rgb:-"],
                          env=d.env, capture_output=True).stdout


def wait_for_frame(d, wid, clip, w, h, k, timeout=15.0, dx=0, dy=0):
    """Waits until the window shows picture k of the clip (at least 40 dB, and nearer to it
    than to its neighbours). Returns (ok, detail) with what was last seen when it never did."""
    refs = {j: reference_frame(clip, j) for j in (k - 1, k, k + 1) if j >= 0}
    end, detail = time.time() + timeout, ""
    while True:
        got = shown(d, wid, w, h, dx, dy)
        near = {j: psnr(got, ref) for j, ref in refs.items()}
        best = max(near, key=near.get)
        if near[k] >= 40 and best == k:
            return True, ""
        detail = f"after {timeout:.0f} s: best {best} at {near[best]:.1f} dB, frame {k} at {near[k]:.1f} dB"
        if time.time() >= end:
            return False, detail
        time.sleep(0.1)


def wait_until_changed(d, wid, w, h, before, timeout=15.0, dx=0, dy=0):
    """Waits until the w x h pixels at (dx, dy) no longer show `before`; True when they changed."""
    end = time.time() + timeout
    while time.time() < end:
        if shown(d, wid, w, h, dx, dy) != before:
            return True
        time.sleep(0.1)
    return False


def wait_until_still(d, wid, w, h, timeout=15.0):
    """Waits until two looks 0.3 s apart show the same picture; returns it (None: never)."""
    end, last = time.time() + timeout, None
    while time.time() < end:
        now = shown(d, wid, w, h)
        if now == last:
            return now
        last = now
        time.sleep(0.3)
    return None


def save_frame(d, folder, clip, w, h, k):
    """Saves the frame shown as frame.bmp through the chooser, as a user does, and compares
    the picture in it, w x h at its top-left corner, with ffmpeg's decode of frame k."""
    from xsession import check, click, wait_for, window_ids
    main = window_ids(d, "^Plim$")[0]
    click(d, main, 26, 8)  # ComSAVE
    dialog = wait_for(lambda: window_ids(d, "ﾀﾞｲｱﾛｸﾞ"))
    if not dialog:
        check("the chooser opens for the save", False)
        return
    click(d, dialog[0], 151, 154)  # the name box
    d.x("xdotool", "type", "--delay", "50", "frame")
    click(d, dialog[0], 193, 190)  # OK
    box = wait_for(lambda: window_ids(d, "^ $"))
    d.x("xdotool", "key", "Return")
    bmp = os.path.join(folder, "frame.bmp")
    saved = bool(box) and wait_for(lambda: os.path.exists(bmp))
    check(f"frame {k} of {os.path.basename(clip)} is saved", saved)
    if saved:
        from PIL import Image
        got = Image.open(bmp).convert("RGB").crop((0, 0, w, h)).tobytes()
        db = psnr(got, reference_frame(clip, k))
        check(f"the saved frame {k} of {os.path.basename(clip)} is ffmpeg's", db >= 45, f"{db:.1f} dB")
