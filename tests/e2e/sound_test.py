#!/usr/bin/env python3
"""Sound through a real sound server: a private PulseAudio with a null sink, its monitor
recorded while the real plim plays clips with a 30 ms beep at every whole second (opened
from the command line, played with Space, on Xvfb). Every beep must arrive, the first one
too, spaced as in the file. With the sound turned down to 50 % (the 9 key, ten times) while
one clip plays, the beeps after it have half the amplitude and stay where they were; muted
(m) before play, nothing is heard.

Usage: sound_test.py PLIM WORKDIR CLIP... Prints 'N passed, N failed'; exits 77 (skipped)
where no PulseAudio can be started.
"""
import math
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from xsession import Display, check, results, top_level_of_size, wait_for  # noqa: E402

PLIM, WORK, CLIPS = os.path.abspath(sys.argv[1]), sys.argv[2], [os.path.abspath(c) for c in sys.argv[3:]]


class SoundServer:
    """PulseAudio of its own on a socket of its own, with one null sink to record from."""

    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="plim-pulse-")
        os.chmod(self.dir, 0o777)  # the system instance runs as the pulse user
        self.socket = os.path.join(self.dir, "native")
        args = ["pulseaudio", "--disallow-exit", "--exit-idle-time=-1", "-n", "--use-pid-file=no",
                "--load=module-null-sink sink_name=rec rate=44100",
                f"--load=module-native-protocol-unix auth-anonymous=1 socket={self.socket}"]
        if os.geteuid() == 0:
            args.insert(1, "--system")
        env = dict(os.environ, HOME=self.dir, XDG_RUNTIME_DIR=self.dir)
        self.proc = subprocess.Popen(args, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.env = {"PULSE_SERVER": "unix:" + self.socket}
        self.ok = bool(wait_for(lambda: subprocess.run(["pactl", "info"], env=dict(os.environ, **self.env),
                                                       capture_output=True).returncode == 0, 10))

    def close(self):
        self.proc.terminate()
        self.proc.wait()
        shutil.rmtree(self.dir, ignore_errors=True)


RATE = 44100


def onsets(path, ch=1, rate=RATE):
    """Times (s) where a beep starts in a recording of raw 16-bit samples, read while it grows."""
    with open(path, "rb") as f:
        raw = f.read()
    n = len(raw) // (2 * ch)
    data = struct.unpack("<%dh" % (n * ch), raw[:n * 2 * ch])
    win = rate // 200
    out, on = [], False
    for i in range(0, n - win, win):
        e = math.sqrt(sum(data[(i + k) * ch] ** 2 for k in range(win)) / win)
        if e > 1000 and not on:
            out.append(i / rate)
            on = True
        elif e < 200:
            on = False
    return out


def amplitudes(path, starts, rate=RATE):
    """The RMS of each beep: the 20 ms after its onset."""
    with open(path, "rb") as f:
        raw = f.read()
    out = []
    for t in starts:
        i = int(t * rate) + rate // 200  # past the onset's window
        n = rate // 100  # 10 ms, well inside the 30 ms beep
        chunk = struct.unpack("<%dh" % n, raw[2 * i:2 * (i + n)])
        out.append(math.sqrt(sum(v * v for v in chunk) / n))
    return out


def loudest(path, rate=RATE):
    """The largest RMS over 5 ms windows of the recording."""
    with open(path, "rb") as f:
        raw = f.read()
    n = len(raw) // 2
    data = struct.unpack("<%dh" % n, raw[:2 * n])
    win = rate // 200
    return max((math.sqrt(sum(v * v for v in data[i:i + win]) / win) for i in range(0, n - win, win)), default=0)


def beeps_of(clip):
    out = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", clip],
                         capture_output=True, text=True).stdout
    return int(float(out) + 0.5)


def play_over(wav, want):
    """Whether the recording holds every beep and the silence after the last one."""
    got = onsets(wav)
    if len(got) >= want and os.path.getsize(wav) > 2 * RATE * (got[-1] + 1.5):
        return True
    time.sleep(1)  # the rest of the play is still to come: read the recording again later
    return False


def play(server, clip, keys_before=(), keys_at=None, label=""):
    """Plays the clip to its end while recording; keys_before are pressed on the video window
    before Space, keys_at = (seconds, keys) that long into play. The recording's path."""
    name = os.path.basename(clip) + label
    d = Display(True)
    env = dict(d.env, SDL_AUDIODRIVER="pulseaudio", **server.env)
    wav = os.path.join(WORK, name + ".raw")
    out = open(wav, "wb")
    rec = subprocess.Popen(["parec", "-d", "rec.monitor", "--raw", "--format=s16le", f"--rate={RATE}", "--channels=1"],
                           stdout=out, env=dict(os.environ, **server.env))
    want = beeps_of(clip)
    plim = subprocess.Popen([PLIM, clip], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        video = wait_for(lambda: top_level_of_size(d, 164, 124) or top_level_of_size(d, 324, 244))
        check(f"{name} opens", bool(video))
        if not video:
            return
        # Space goes to the window with the focus: the video window takes it once shown.
        wait_for(lambda: d.x("xdotool", "getwindowfocus").strip() == video)
        for k in keys_before:
            d.x("xdotool", "key", k)
        d.x("xdotool", "key", "space")
        if keys_at:
            time.sleep(keys_at[0])
            for k in keys_at[1]:
                d.x("xdotool", "key", k)
        # Every beep heard and the silence after the last: play is over, however slow the machine.
        # The recording is only read once it can hold them all: reading it is costly in Python,
        # and doing so ten times a second took the processor from the player being timed.
        started = os.path.getsize(wav)
        wait_for(lambda: os.path.getsize(wav) > started + 2 * RATE * (want + 1.5), want + 30)
        if "m" not in keys_before:
            wait_for(lambda: play_over(wav, want), 30)
    finally:
        plim.kill()
        plim.wait()
        rec.terminate()
        rec.wait()
        out.close()
        d.close()
    if "m" in keys_before:
        return wav
    got = onsets(wav)
    check(f"{name}: all {want} beeps arrive, the first one too", len(got) == want, f"beeps at {got}")
    spacing = [b - a for a, b in zip(got, got[1:])]
    check(f"{name}: spaced a second apart as in the file", all(abs(s - 1.0) < 0.03 for s in spacing), f"{spacing}")
    return wav


def sound_level(server, clip):
    """The level turned to 50 % 2.5 s into play: the beeps after have half the amplitude of
    those before, in their places; muted before play: silence."""
    wav = play(server, clip, keys_at=(2.5, ["9"] * 10), label=" turned down while playing")
    got = onsets(wav)
    amp = amplitudes(wav, got)
    if len(amp) >= 4:
        # The first beep sounds before the keys, the last well after them.
        ratio = amp[-1] / amp[0]
        check("turned down to 50 %: the beeps after have half the amplitude", abs(ratio - 0.5) <= 0.01,
              f"{ratio:.3f} from {amp}")
    wav = play(server, clip, keys_before=["m"], label=" muted")
    check("muted: nothing is heard", loudest(wav) < 50, f"loudest {loudest(wav):.0f}")


os.makedirs(WORK, exist_ok=True)
server = SoundServer()
if not server.ok:
    print("no PulseAudio could be started: skipped")
    server.close()
    sys.exit(77)
try:
    for c in CLIPS:
        play(server, c)
    sound_level(server, CLIPS[1] if len(CLIPS) > 1 else CLIPS[0])
finally:
    server.close()
passed = sum(results)
print(f"{passed} passed, {len(results) - passed} failed")
sys.exit(0 if passed == len(results) else 1)
