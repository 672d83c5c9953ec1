#!/usr/bin/env python3
"""The screen stays on while a video plays, end to end on Xvfb with a private session bus
(run under dbus-run-session): with the X screen saver set to come on after 2 idle seconds,
it stays off while Plim plays and comes on within 4 s of a pause, of the end and of quitting;
a recording stand-in for org.freedesktop.ScreenSaver sees Inhibit and UnInhibit in pairs,
never two holds at once. Without a session bus Plim plays as before, with no message box.

Usage: screen_saver_test.py PLIM CLIP (a clip of about 6 s). Prints 'N passed, N failed'.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from xsession import Display, check, click, exit_status, results, wait_for, window_ids  # noqa: E402


def serve(log_path):
    """The stand-in screen saver service: answers Inhibit with a new cookie, and writes each
    call to the log, one line each."""
    import dbus
    import dbus.service
    from dbus.mainloop.glib import DBusGMainLoop
    from gi.repository import GLib

    DBusGMainLoop(set_as_default=True)
    log = open(log_path, "a", buffering=1)

    class ScreenSaver(dbus.service.Object):
        cookie = 0

        @dbus.service.method("org.freedesktop.ScreenSaver", in_signature="ss", out_signature="u")
        def Inhibit(self, app, reason):
            ScreenSaver.cookie += 1
            log.write(f"Inhibit {ScreenSaver.cookie} {app}|{reason}\n")
            return ScreenSaver.cookie

        @dbus.service.method("org.freedesktop.ScreenSaver", in_signature="u", out_signature="")
        def UnInhibit(self, cookie):
            log.write(f"UnInhibit {cookie}\n")

    bus = dbus.SessionBus()
    name = dbus.service.BusName("org.freedesktop.ScreenSaver", bus)  # noqa: F841 (held while serving)
    ScreenSaver(bus, "/org/freedesktop/ScreenSaver")
    log.write("ready\n")
    GLib.MainLoop().run()


if len(sys.argv) > 2 and sys.argv[1] == "--serve":
    serve(sys.argv[2])
    sys.exit(0)

PLIM, CLIP = (os.path.abspath(a) for a in sys.argv[1:3])


def saver_state(d):
    """The X screen saver's state: 'on', 'off' or 'disabled'."""
    from Xlib import display
    from Xlib.ext import screensaver  # noqa: F401 (adds the request to the display)
    x = display.Display(d.env["DISPLAY"])
    try:
        state = x.screen().root.screensaver_query_info().state
    finally:
        x.close()
    return {0: "off", 1: "on"}.get(state, "disabled")


def stays_off(d, seconds):
    end = time.time() + seconds
    while time.time() < end:
        if saver_state(d) != "off":
            return False
        time.sleep(0.25)
    return True


def log_lines(path):
    with open(path) as f:
        return [line.split() for line in f if line.strip() and line.strip() != "ready"]


def paired(lines):
    """True when the calls alternate Inhibit, UnInhibit of that cookie, ... and end released."""
    held = None
    for call in lines:
        if call[0] == "Inhibit":
            if held is not None:
                return False
            held = call[1]
        elif call[0] == "UnInhibit":
            if held != call[1]:
                return False
            held = None
    return held is None


def start(d, folder, env):
    plim = subprocess.Popen([PLIM, CLIP], cwd=folder, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    main = wait_for(lambda: window_ids(d, "^Plim$"), 60)
    return plim, (main[0] if main else None)


def with_bus():
    folder = tempfile.mkdtemp(prefix="plim screen saver ")
    log = os.path.join(folder, "calls.log")
    service = subprocess.Popen([sys.executable, os.path.abspath(__file__), "--serve", log])
    d = Display(True)
    plim = None
    try:
        check("the stand-in screen saver is on the bus", bool(wait_for(lambda: os.path.exists(log) and "ready" in open(log).read(), 30)))
        d.x("xset", "s", "2", "0")
        plim, main = start(d, folder, d.env)
        check("plim opens the clip", bool(main))
        if not main:
            return
        time.sleep(1)
        click(d, main, 45, 8)  # play
        check("playing: the screen saver stays off", stays_off(d, 3.5), saver_state(d))
        check("playing: the desktop's inhibition is held", [c[0] for c in log_lines(log)] == ["Inhibit"], str(log_lines(log)))
        click(d, main, 45, 8)  # pause
        check("paused: the screen saver comes on within 4 s", bool(wait_for(lambda: saver_state(d) == "on", 4)))
        check("paused: the inhibition is released", paired(log_lines(log)), str(log_lines(log)))
        click(d, main, 45, 8)  # play on to the end
        check("playing again: the screen saver goes off", bool(wait_for(lambda: saver_state(d) == "off", 4)))
        ended = wait_for(lambda: paired(log_lines(log)) and len(log_lines(log)) == 4, 10)
        check("at the end: the inhibition is released", bool(ended), str(log_lines(log)))
        check("at the end: the screen saver comes on within 4 s", bool(wait_for(lambda: saver_state(d) == "on", 4)))
        click(d, main, 45, 8)  # play again from the start, then quit while playing
        check("replaying: the screen saver goes off", bool(wait_for(lambda: saver_state(d) == "off", 4)))
        click(d, main, 62, 8)  # ComEND
        code = exit_status(plim)
        check("plim quits", code == 0, f"exit {code}")
        check("quit: the screen saver comes on within 4 s", bool(wait_for(lambda: saver_state(d) == "on", 4)))
        lines = log_lines(log)
        check("Inhibit and UnInhibit came in three pairs, the last on quitting", paired(lines) and len(lines) == 6, str(lines))
        check("the inhibition names Plim", bool(lines) and lines[0][2].startswith("Plim|"), str(lines[:1]))
    finally:
        if plim and plim.poll() is None:
            plim.kill()
        service.terminate()
        d.close()
        shutil.rmtree(folder, ignore_errors=True)


def without_bus():
    folder = tempfile.mkdtemp(prefix="plim no bus ")
    d = Display(True)
    plim = None
    try:
        env = dict(d.env, DBUS_SESSION_BUS_ADDRESS="unix:path=/nonexistent/bus")
        plim, main = start(d, folder, env)
        check("without a session bus: plim opens the clip", bool(main))
        if not main:
            return
        time.sleep(1)
        named = [d.x("xdotool", "getwindowname", w).strip()
                 for w in d.x("xdotool", "search", "--onlyvisible", "--class", "plim").split()]
        click(d, main, 45, 8)  # play
        time.sleep(2)
        names = [d.x("xdotool", "getwindowname", w).strip()
                 for w in d.x("xdotool", "search", "--onlyvisible", "--class", "plim").split()]
        check("without a session bus: no message box, and it plays on",
              sorted(names) == sorted(named) and plim.poll() is None, f"windows {names}, before {named}")
    finally:
        if plim and plim.poll() is None:
            plim.kill()
        d.close()
        shutil.rmtree(folder, ignore_errors=True)


with_bus()
without_bus()
passed = sum(results)
print(f"{passed} passed, {len(results) - passed} failed")
sys.exit(0 if passed == len(results) else 1)
