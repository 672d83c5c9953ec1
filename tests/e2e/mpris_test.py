#!/usr/bin/env python3
"""The desktop's media controls end to end on Xvfb with a private session bus (run under
dbus-run-session): a video named on the command line, its name in Japanese, is driven through
org.mpris.MediaPlayer2.plim as a desktop's media keys and panels drive it. The status follows
play and pause, the position moves while playing, PlayPause gives the play button its play
picture again, SetPosition shows the exact frame (against ffmpeg's decode), the metadata
carries the name and the length, the sound level follows the video window's keys (9, 0, m)
and a Set of Volume, each change published with PropertiesChanged, and Quit ends Plim.

Usage: mpris_test.py PLIM CLIP (a clip of about 6 s). Prints 'N passed, N failed'.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from frames import probe, shown, wait_for_frame  # noqa: E402
from xsession import Display, check, exit_status, results, top_level_of_size, wait_for, window_ids  # noqa: E402

PLIM, CLIP = (os.path.abspath(a) for a in sys.argv[1:3])
NAME = "夏の動画 ﾃｽﾄ.avi"
PLAYER = "org.mpris.MediaPlayer2.Player"


def frame_at(clip, seconds):
    """The index (in decoding's output order) of the picture shown at that time."""
    out = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                          "frame=best_effort_timestamp_time", "-of", "csv=p=0", clip], capture_output=True, text=True).stdout
    times = [float(t) for t in out.split() if t and t != "N/A"]
    return max(k for k, t in enumerate(times) if t <= times[0] + seconds + 1e-6)


def sound_level(d, video, get, props):
    """The keys of the video window and a Set, read back through Volume; every change is
    published (PropertiesChanged, seen by dbus-monitor on the same bus)."""
    import dbus
    monitor = subprocess.Popen(["stdbuf", "-oL", "dbus-monitor", "--session", "type='signal',member='PropertiesChanged'"],
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    try:
        check("the level starts full", abs(float(get("Volume")) - 1.0) < 1e-9, str(get("Volume")))
        for keys, want in ((["9", "9"], 0.9), (["m"], 0.0), (["m"], 0.9), (["0"], 0.95)):
            d.x("xdotool", "windowactivate", "--sync", video)
            for k in keys:
                d.x("xdotool", "key", "--clearmodifiers", k)
            got = wait_for(lambda: abs(float(get("Volume")) - want) < 1e-6, 5)
            check(f"keys {' '.join(keys)}: Volume reads {want}", bool(got), str(get("Volume")))
            time.sleep(0.4)  # changes are published from a poll: one at a time here
        props.Set(PLAYER, "Volume", dbus.Double(0.5))
        check("a Set of 0.5 reads 0.5", bool(wait_for(lambda: abs(float(get("Volume")) - 0.5) < 1e-6, 5)), str(get("Volume")))
        time.sleep(0.4)
        props.Set(PLAYER, "Volume", dbus.Double(7.0))
        check("a Set past 1 is clamped", bool(wait_for(lambda: abs(float(get("Volume")) - 1.0) < 1e-6, 5)), str(get("Volume")))
        time.sleep(0.6)  # the last change is published within a poll
    finally:
        monitor.terminate()
        out = monitor.communicate(timeout=5)[0]
    levels = [line for line in out.splitlines() if '"Volume"' in line]
    check("each change of the level is published (PropertiesChanged)", len(levels) >= 6, f"{len(levels)} in {out[-400:]}")


def main():
    import dbus
    bus = dbus.SessionBus()
    folder = tempfile.mkdtemp(prefix="plim mpris ")
    clip = os.path.join(folder, NAME)
    shutil.copy(CLIP, clip)
    w, h, _ = probe(clip)
    d = Display(True)
    plim = subprocess.Popen([PLIM, clip], cwd=folder, env=d.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        video = wait_for(lambda: top_level_of_size(d, w + 4, h + 4), 60)
        main_window = window_ids(d, "^Plim$")
        check("plim opens the clip", bool(video) and bool(main_window))
        named = wait_for(lambda: bus.name_has_owner("org.mpris.MediaPlayer2.plim"), 20)
        check("plim is on the bus as org.mpris.MediaPlayer2.plim", bool(named))
        if not (video and main_window and named):
            return
        obj = bus.get_object("org.mpris.MediaPlayer2.plim", "/org/mpris/MediaPlayer2")
        props = dbus.Interface(obj, "org.freedesktop.DBus.Properties")
        player = dbus.Interface(obj, PLAYER)

        def get(name, interface=PLAYER):
            return props.Get(interface, name)

        check("Identity is Plim", get("Identity", "org.mpris.MediaPlayer2") == "Plim")
        check("it can quit and raise", get("CanQuit", "org.mpris.MediaPlayer2") and get("CanRaise", "org.mpris.MediaPlayer2"))
        check("a video open: it can play, pause and seek", get("CanPlay") and get("CanPause") and get("CanSeek"))
        meta = get("Metadata")
        check("the metadata names the file, Japanese intact", str(meta.get("xesam:title", "")) == NAME, str(meta.get("xesam:title")))
        check("the metadata gives the length", abs(int(meta.get("mpris:length", 0)) - 6000000) <= 100000, str(meta.get("mpris:length")))
        check("the metadata gives a file URL", str(meta.get("xesam:url", "")).startswith("file:///"), str(meta.get("xesam:url")))
        buttons = lambda: shown(d, main_window[0], 161, 17)  # noqa: E731 (the row of buttons)
        paused_look = buttons()
        player.Play()
        check("Play: the status is Playing", bool(wait_for(lambda: get("PlaybackStatus") == "Playing", 5)))
        first = int(get("Position"))
        time.sleep(1.0)
        check("the position moves while playing", int(get("Position")) > first + 300000, f"{first} then {int(get('Position'))}")
        check("playing: the play button shows its pause picture", buttons() != paused_look)
        player.PlayPause()
        check("PlayPause: the status is Paused", bool(wait_for(lambda: get("PlaybackStatus") == "Paused", 5)))
        check("PlayPause: the play button shows its play picture again", bool(wait_for(lambda: buttons() == paused_look, 5)))
        track = meta["mpris:trackid"]
        player.SetPosition(track, dbus.Int64(2000000))
        due = frame_at(clip, 2.0)
        ok, detail = wait_for_frame(d, video, clip, w, h, due)
        check(f"SetPosition to 2 s shows frame {due} exactly", ok, detail)
        check("the position reads 2 s", abs(int(get("Position")) - 2000000) <= 40000, str(int(get("Position"))))
        sound_level(d, video, get, props)
        dbus.Interface(obj, "org.mpris.MediaPlayer2").Quit()
        code = exit_status(plim)
        check("Quit ends plim", code == 0, f"exit {code}")
    finally:
        if plim.poll() is None:
            plim.kill()
        d.close()
        shutil.rmtree(folder, ignore_errors=True)


main()
passed = sum(results)
print(f"{passed} passed, {len(results) - passed} failed")
sys.exit(0 if passed == len(results) else 1)
