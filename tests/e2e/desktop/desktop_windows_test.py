#!/usr/bin/env python3
"""The plug-in's windows under a real window manager: Xvfb with openbox.

    desktop_windows_test.py --quillbox QUILLBOX --source SOURCE_DIR

- "View" in the certificate dialog opens the viewer above the dialog, with the focus.
- The wait dialog keeps painting (its bar moves) while a slow download runs.
Offscreen Qt shows neither fault. Exits 77 (skipped) without Xvfb, openbox, xprop or xwd.
Every process started is stopped by its id.
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

SKIPPED = 77


class Failure(Exception):
    pass


def wait_for(what, probe, timeout=20):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = probe()
        if value:
            return value
        time.sleep(0.1)
    raise Failure(f"timed out waiting for {what}")


class Desktop:
    def __init__(self, work):
        self.processes = []
        read, write = os.pipe()
        # Xvfb picks a free display and writes its number to the pipe.
        self.spawn(["Xvfb", "-displayfd", str(write), "-screen", "0", "1024x768x24",
                    "-nolisten", "tcp"], pass_fds=(write,))
        os.close(write)
        with os.fdopen(read) as pipe:
            number = pipe.readline().strip()
        if not number:
            raise Failure("Xvfb did not start")
        self.env = dict(os.environ, DISPLAY=":" + number, QT_QPA_PLATFORM="xcb",
                        TMP=work, XDG_CONFIG_HOME=os.path.join(work, "config"))
        self.spawn(["openbox", "--sm-disable"], env=self.env)
        wait_for("openbox", lambda: "window id" in self.xprop("-root", "_NET_SUPPORTING_WM_CHECK"))

    def spawn(self, command, **options):
        process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                   **options)
        self.processes.append(process)
        return process

    def stop(self):
        for process in reversed(self.processes):
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()

    def xprop(self, *args):
        return subprocess.run(["xprop", *args], env=self.env, capture_output=True,
                              text=True).stdout

    def windows(self):
        """The managed windows, bottom to top."""
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


def viewer_above_dialog(desktop, args, work):
    token = os.path.join(work, "token")
    subprocess.run([os.path.join(args.source, "demo", "make-demo-token.sh"), token], check=True,
                   stdout=subprocess.DEVNULL)
    task = os.path.join(work, "task.xml")
    with open(os.path.join(args.source, "demo", "sign-task.xml"), encoding="utf-8") as f:
        xml = f.read().replace("@DATA@", "aGVsbG8=").replace('<preview url="@PREVIEW@"/>', "")
    with open(task, "w", encoding="utf-8") as f:
        f.write(xml)
    answers = os.path.join(work, "viewer.json")
    with open(answers, "w", encoding="utf-8") as f:
        f.write('[{"dialog": "certificates", "actions": [{"select": {"name": "Jana Nováková"}},'
                ' {"view": true}, {"cancel": true}]}]')
    env = dict(desktop.env, SOFTHSM2_CONF=os.path.join(token, "softhsm2.conf"),
               QUILLBOX_PKCS11_MODULE="/usr/lib/softhsm/libsofthsm2.so",
               QUILLBOX_UI_STEP_MS="1500")
    run = desktop.spawn([args.quillbox, "exec", "--document", task, "--lang", "en",
                         "--ui", "qt:" + answers], env=env)
    viewer = wait_for("the certificate viewer", lambda: next(
        (w for w in desktop.windows() if desktop.title(w) == "Certificate"), None))
    time.sleep(0.5)  # the window manager has placed and focused it
    stack, active = desktop.windows(), desktop.active()
    titles = [desktop.title(w) for w in stack]
    focused = desktop.title(active) if active else None
    run.wait(timeout=30)
    if len(stack) < 2 or stack[-1] != viewer:
        raise Failure(f"the viewer is not above the dialog (bottom to top: {titles})")
    if active != viewer:
        raise Failure(f"the focus is on {focused!r}, not on the viewer")
    print("ok: the viewer opens above the certificate dialog, with the focus")


def wait_dialog_paints(desktop, args, work):
    port_file = os.path.join(work, "port")
    desktop.spawn([sys.executable, os.path.join(args.source, "tests", "net", "servers",
                                                "http_test_server.py"), port_file])
    port = wait_for("the test server", lambda: os.path.exists(port_file) and
                    open(port_file, encoding="utf-8").read().strip())
    answers = os.path.join(work, "none.json")
    with open(answers, "w", encoding="utf-8") as f:
        f.write("[]")
    run = desktop.spawn([args.quillbox, "exec", f"http://127.0.0.1:{port}/task?wait=4000",
                         "--lang", "en", "--ui", "qt:" + answers], env=desktop.env)
    window = wait_for("the wait dialog", lambda: next(iter(desktop.windows()), None))
    time.sleep(0.5)
    grabs = set()
    for _ in range(4):
        grabs.add(desktop.grab(window))
        time.sleep(0.3)
    run.wait(timeout=30)
    # An empty frame, or one painted only before it was mapped, never changes.
    if len(grabs) < 3:
        raise Failure(f"the wait dialog was repainted {len(grabs) - 1} times in 1.2 s")
    print("ok: the wait dialog keeps painting while the download runs")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--quillbox", required=True)
    parser.add_argument("--source", required=True)
    args = parser.parse_args()
    missing = [t for t in ("Xvfb", "openbox", "xprop", "xwd", "softhsm2-util")
               if shutil.which(t) is None]
    if missing:
        print("skipped: missing", " ".join(missing))
        return SKIPPED
    with tempfile.TemporaryDirectory() as work:
        desktop = None
        try:
            desktop = Desktop(work)
            viewer_above_dialog(desktop, args, work)
            wait_dialog_paints(desktop, args, work)
        except Failure as failure:
            print("FAILED:", failure)
            return 1
        finally:
            if desktop is not None:
                desktop.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
