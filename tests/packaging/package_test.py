#!/usr/bin/env python3
"""The Debian package: builds Plim (Release) in its own folder, makes the .deb with CPack,
checks it with lintian, the desktop entry with desktop-file-validate and the metainfo with
appstreamcli, unpacks it into a temporary root with dpkg-deb -x, and starts the unpacked
plim on Xvfb: its main window must appear as after a normal start, and it must end with
status 0 when closed from its close box.

Usage: package_test.py SOURCE_DIR BUILD_DIR
Exits 77 (skipped) with a clear message only when a validator cannot be installed.
"""
import glob
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from xsession import Display, check, client_geometry, exit_status, outer, results, wait_for, window_ids  # noqa: E402

SOURCE, BUILD = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
APP_ID = "jp.plim.Plim"

for tool, package in (("lintian", "lintian"), ("desktop-file-validate", "desktop-file-utils"),
                      ("appstreamcli", "appstream")):
    if shutil.which(tool) is None:
        print(f"SKIP: {tool} (Debian package {package}) is not installed and could not be installed here")
        sys.exit(77)


def sh(*args, **kw):
    return subprocess.run(args, capture_output=True, text=True, **kw)


configure = sh("cmake", "-S", SOURCE, "-B", BUILD, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release", "-DCMAKE_INSTALL_PREFIX=/usr")
build = configure.returncode == 0 and sh("ninja", "-C", BUILD, "plim", "packaging_files").returncode == 0
check("Release build", build, configure.stderr[-2000:])
if not build:
    sys.exit(1)
for old in glob.glob(os.path.join(BUILD, "plim_*.deb")):
    os.remove(old)
cpack = sh("cpack", "-G", "DEB", cwd=BUILD)
debs = glob.glob(os.path.join(BUILD, "plim_*_*.deb"))
check("cpack makes plim_<version>_<arch>.deb", cpack.returncode == 0 and len(debs) == 1, cpack.stdout[-2000:])
if not debs:
    sys.exit(1)
deb = debs[0]

# cmake --install with DESTDIR, then the uninstall a user does: remove what the manifest lists.
stage = tempfile.mkdtemp(prefix="plim-install-")
inst = sh("cmake", "--install", BUILD, env=dict(os.environ, DESTDIR=stage))
manifest = os.path.join(BUILD, "install_manifest.txt")
listed = open(manifest).read().split() if inst.returncode == 0 and os.path.exists(manifest) else []
check("cmake --install puts bin/plim and the desktop files under the prefix",
      any(f.endswith("/bin/plim") for f in listed) and any(f.endswith(".desktop") for f in listed), inst.stderr)
for f in listed:
    os.remove(f if f.startswith(stage) else stage + f)
left = [os.path.join(r, f) for r, _, files in os.walk(stage) for f in files]
check("removing the files in install_manifest.txt leaves nothing behind", not left, f"{left}")
shutil.rmtree(stage, ignore_errors=True)

lint = sh("lintian", "--tag-display-limit", "0", "--info", deb)
print("lintian says:\n" + (lint.stdout or "(nothing)"))
errors = [line for line in lint.stdout.splitlines() if line.startswith("E:")]
check("lintian reports no errors", lint.returncode in (0, 1) and not errors, "\n".join(errors))

root = tempfile.mkdtemp(prefix="plim-deb-")
try:
    check("dpkg-deb -x unpacks it", sh("dpkg-deb", "-x", deb, root).returncode == 0)
    desktop = os.path.join(root, "usr/share/applications", APP_ID + ".desktop")
    v = sh("desktop-file-validate", desktop)
    check("the desktop entry validates", v.returncode == 0 and not v.stdout.strip(), v.stdout + v.stderr)
    metainfo = os.path.join(root, "usr/share/metainfo", APP_ID + ".metainfo.xml")
    a = sh("appstreamcli", "validate", "--no-net", metainfo)
    check("the metainfo validates", a.returncode == 0, a.stdout + a.stderr)
    for size in (16, 32, 48, 64, 128, 256):
        icon = os.path.join(root, f"usr/share/icons/hicolor/{size}x{size}/apps/{APP_ID}.png")
        ident = sh("identify", "-format", "%w %h", icon).stdout
        check(f"icon {size}x{size}", ident == f"{size} {size}", ident)
    check("manual page", os.path.isfile(os.path.join(root, "usr/share/man/man1/plim.1.gz")))
    control = sh("dpkg-deb", "-f", deb, "Depends", "Section").stdout
    check("Depends computed from the binary's libraries", "libavcodec" in control and "libqt6widgets6" in control,
          control)
    check("Section video", "Section: video" in control, control)
    check("Depends has the screen saver's and the session bus's libraries", "libxss1" in control and "libqt6dbus6" in control,
          control)
    # The filter plug-in is the one file that links libavfilter; the program finds it
    # relative to its own folder and never links it itself.
    plugins = glob.glob(os.path.join(root, "usr/lib/*/plim/libplim_filters.so"))
    check("the filter plug-in is installed in the program's private library folder", len(plugins) == 1, f"{plugins}")
    check("Depends keeps libavfilter, for the plug-in", "libavfilter" in control, control)
    needed = sh("objdump", "-p", os.path.join(root, "usr/bin/plim")).stdout
    check("the program itself does not link libavfilter", "NEEDED" in needed and "libavfilter" not in needed, needed[-800:])

    d = Display(wm=True)
    folder = tempfile.mkdtemp(prefix="plim-run-")
    plim = subprocess.Popen([os.path.join(root, "usr/bin/plim")], cwd=folder, env=d.env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        main = wait_for(lambda: window_ids(d, "^Plim$"), 15)
        check("the unpacked plim shows its main window", bool(main))
        if main:
            wait_for(lambda: outer(d, main[0])[3] == 75, 5)
            x, y, w, h = outer(d, main[0])
            check("main window placed as after a normal start", (h, y, client_geometry(d, main[0])[2]) == (75, 80, 161),
                  f"h={h} y={y}")
            wmclass = d.x("xprop", "-id", main[0], "WM_CLASS")
            check("window class matches StartupWMClass", '"Plim"' in wmclass, wmclass)
            d.x("wmctrl", "-c", "Plim")
        code = exit_status(plim)
        check("it quits from its close box with status 0", code == 0, f"exit {code}")
    finally:
        if plim.poll() is None:
            plim.kill()
        d.close()
        shutil.rmtree(folder, ignore_errors=True)
finally:
    shutil.rmtree(root, ignore_errors=True)

passed = sum(results)
print(f"{passed} passed, {len(results) - passed} failed")
sys.exit(0 if passed == len(results) else 1)
