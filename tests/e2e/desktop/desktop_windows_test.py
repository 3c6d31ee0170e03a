#!/usr/bin/env python3
"""The plug-in's windows under a real window manager (Xvfb with openbox), where offscreen
Qt hides stacking and painting faults: "View" opens the viewer above the certificate
dialog, with the focus; the wait dialog keeps painting while a slow download runs.

    desktop_windows_test.py --quillbox QUILLBOX --source SOURCE_DIR

Exits 77 (skipped) without Xvfb, openbox, xprop, xwd or SoftHSM.
"""
import argparse
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time


def wait_for(what, probe, timeout=20):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if value := probe():
            return value
        time.sleep(0.1)
    sys.exit(f"FAILED: timed out waiting for {what}")


class Desktop:
    def __init__(self, work):
        self.processes = []
        read, write = os.pipe()  # Xvfb picks a free display and writes its number here
        self.spawn(["Xvfb", "-displayfd", str(write), "-screen", "0", "1024x768x24",
                    "-nolisten", "tcp"], pass_fds=(write,))
        os.close(write)
        with os.fdopen(read) as pipe:
            display = ":" + pipe.readline().strip()
        self.env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb", TMP=work,
                        XDG_CONFIG_HOME=os.path.join(work, "config"))
        self.spawn(["openbox", "--sm-disable"], env=self.env)
        wait_for("openbox", lambda: "window id" in self.xprop("-root", "_NET_SUPPORTING_WM_CHECK"))

    def spawn(self, command, **options):
        self.processes.append(subprocess.Popen(command, stdout=subprocess.DEVNULL,
                                               stderr=subprocess.DEVNULL, **options))
        return self.processes[-1]

    def stop(self):
        for process in reversed(self.processes):
            process.terminate()
            process.wait()

    def xprop(self, *args):
        return subprocess.run(["xprop", *args], env=self.env, capture_output=True,
                              text=True).stdout

    def windows(self):  # the managed windows, bottom to top
        text = self.xprop("-root", "_NET_CLIENT_LIST_STACKING")
        return [int(w, 16) for w in re.findall(r"0x[0-9a-f]+", text)]

    def active(self):
        found = re.findall(r"0x[0-9a-f]+", self.xprop("-root", "_NET_ACTIVE_WINDOW"))
        return int(found[0], 16) if found else None

    def title(self, window):
        found = re.search(r'= "(.*)"', self.xprop("-id", str(window), "_NET_WM_NAME"))
        return found.group(1) if found else ""

    def grab(self, window):
        return hashlib.sha256(subprocess.run(["xwd", "-silent", "-id", str(window)],
                                             env=self.env, capture_output=True).stdout).digest()

    def quillbox(self, args, target, answers, env=None):
        with open(os.path.join(self.env["TMP"], "answers.json"), "w", encoding="utf-8") as f:
            f.write(answers)
        return self.spawn([args.quillbox, "exec", *target, "--lang", "en", "--ui", "qt:" + f.name],
                          env=dict(self.env, **(env or {})))


def viewer_above_dialog(desktop, args, work):
    token = os.path.join(work, "token")
    subprocess.run([os.path.join(args.source, "demo", "make-demo-token.sh"), token], check=True,
                   stdout=subprocess.DEVNULL)
    task = os.path.join(work, "task.xml")
    with open(task, "w", encoding="utf-8") as f:
        f.write('<Envelope><task><sign doc-id="1"/></task>'
                '<data alg="rsa-sha256">aGVsbG8=</data></Envelope>')
    run = desktop.quillbox(args, ["--document", task],
                           '[{"dialog": "certificates", "actions": [{"select": "preselected"},'
                           ' {"view": true}, {"cancel": true}]}]',
                           {"SOFTHSM2_CONF": os.path.join(token, "softhsm2.conf"),
                            "QUILLBOX_PKCS11_MODULE": "/usr/lib/softhsm/libsofthsm2.so",
                            "QUILLBOX_UI_STEP_MS": "1500"})
    viewer = wait_for("the certificate viewer", lambda: next(
        (w for w in desktop.windows() if desktop.title(w) == "Certificate"), None))
    time.sleep(0.5)  # the window manager has placed and focused it
    stack, active = desktop.windows(), desktop.active()
    titles, focused = [desktop.title(w) for w in stack], desktop.title(active or 0)
    run.wait(timeout=30)
    if len(stack) < 2 or stack[-1] != viewer:
        sys.exit(f"FAILED: the viewer is not above the dialog (bottom to top: {titles})")
    if active != viewer:
        sys.exit(f"FAILED: the focus is on {focused!r}, not on the viewer")
    print("ok: the viewer opens above the certificate dialog, with the focus")


def wait_dialog_paints(desktop, args, work):
    port_file = os.path.join(work, "port")
    desktop.spawn([sys.executable, os.path.join(args.source, "tests", "net", "servers",
                                                "http_test_server.py"), port_file])
    port = wait_for("the test server", lambda: os.path.exists(port_file) and
                    open(port_file, encoding="utf-8").read().strip())
    run = desktop.quillbox(args, [f"http://127.0.0.1:{port}/task?wait=4000"], "[]")
    window = wait_for("the wait dialog", lambda: next(iter(desktop.windows()), None))
    time.sleep(0.5)
    grabs = set()
    for _ in range(4):
        grabs.add(desktop.grab(window))
        time.sleep(0.3)
    run.wait(timeout=30)
    # An empty frame, or one painted only before it was mapped, never changes.
    if len(grabs) < 3:
        sys.exit(f"FAILED: the wait dialog was repainted {len(grabs) - 1} times in 1.2 s")
    print("ok: the wait dialog keeps painting while the download runs")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--quillbox", required=True)
    parser.add_argument("--source", required=True)
    args = parser.parse_args()
    missing = [t for t in ("Xvfb", "openbox", "xprop", "xwd", "softhsm2-util") if not shutil.which(t)]
    if missing:
        print("skipped: missing", " ".join(missing))
        return 77
    with tempfile.TemporaryDirectory() as work:
        desktop = Desktop(work)
        try:
            viewer_above_dialog(desktop, args, work)
            wait_dialog_paints(desktop, args, work)
        finally:
            desktop.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
