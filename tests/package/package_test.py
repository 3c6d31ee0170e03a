#!/usr/bin/env python3
"""Builds the Debian package and checks it as an administrator would meet it.

    package_test.py --cpack CPACK --build BUILD_DIR

Its contents, lintian's verdict, and, unpacked into a scratch root, that the browsers'
manifests name the installed host and that host answers GetVersion from there.
"""
import argparse
import glob
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile

HOST = "/usr/lib/quillbox/quillbox-host"
MANIFEST = "com.kestrelsoft.quillbox.json"
MANIFESTS = {  # where each browser looks system-wide -> what names the extension
    "/etc/chromium/native-messaging-hosts": "allowed_origins",
    "/etc/opt/chrome/native-messaging-hosts": "allowed_origins",
    "/usr/lib/mozilla/native-messaging-hosts": "allowed_extensions",
}
PROGRAMS = ["/usr/bin/quillbox", HOST, "/usr/lib/quillbox/libkeyforge.so",
            "/usr/lib/quillbox/libcallovo.so", "/usr/share/java/callovo.jar",
            "/usr/share/quillbox/extension/chromium/manifest.json",
            "/usr/share/quillbox/extension/firefox/manifest.json"]


def fail(what):
    print("FAILED:", what)
    sys.exit(1)


def check(condition, what):
    if not condition:
        fail(what)
    print("ok:", what[:150])


def get_version(host, work):
    """One GetVersion over native messaging: 32-bit length in the machine's order, then JSON."""
    request = json.dumps({"id": 1, "method": "GetVersion", "args": [],
                          "origin": "https://forms.example"}).encode()
    env = dict(os.environ, TMP=work, XDG_CONFIG_HOME=os.path.join(work, "config"),
               QUILLBOX_UI="console")
    done = subprocess.run([host, "chrome-extension://bhkjbehmjdpecgpopkjeifheaabfcpbp/"],
                          input=struct.pack("=I", len(request)) + request,
                          capture_output=True, env=env, timeout=30)
    out = done.stdout
    if len(out) < 4 or len(out) != 4 + struct.unpack("=I", out[:4])[0]:
        fail(f"host's output is not one message: {out[:200]!r} {done.stderr[-500:]!r}")
    return json.loads(out[4:])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cpack", required=True)
    parser.add_argument("--build", required=True)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory(prefix="quillbox-package-") as work:
        made = subprocess.run([args.cpack, "--config", os.path.join(args.build, "CPackConfig.cmake"),
                               "-B", os.path.join(work, "out")], capture_output=True, text=True)
        debs = glob.glob(os.path.join(work, "out", "quillbox_*_amd64.deb"))
        if made.returncode != 0 or len(debs) != 1:
            fail(f"cpack made no package: {made.stdout[-2000:]} {made.stderr[-2000:]}")
        deb = debs[0]
        print("package:", os.path.basename(deb))

        listing = subprocess.run(["dpkg-deb", "-c", deb], capture_output=True, text=True,
                                 check=True).stdout
        paths = {line.split()[-1].lstrip(".") for line in listing.splitlines()}
        wanted = PROGRAMS + [f"{d}/{MANIFEST}" for d in MANIFESTS]
        check(not set(wanted) - paths, f"the package holds {len(wanted)} programs, "
                                       f"extensions and manifests: {set(wanted) - paths or 'all'}")
        depends = subprocess.run(["dpkg-deb", "-f", deb, "Depends"], capture_output=True,
                                 text=True, check=True).stdout
        check(all(name in depends for name in ("libcurl4", "libqt6widgets6", "libxml2",
                                               "libssl3", "p11-kit-modules")),
              f"computed dependencies: {depends.strip()}")

        if shutil.which("lintian"):
            lint = subprocess.run(["lintian", "--fail-on", "error", "--no-tag-display-limit",
                                   deb], capture_output=True, text=True)
            errors = [line for line in lint.stdout.splitlines() if line.startswith("E:")]
            check(lint.returncode == 0 and not errors, f"lintian reports no errors {errors}")
        else:
            print("note: lintian is not installed, not run")

        root = os.path.join(work, "root")
        subprocess.run(["dpkg-deb", "-x", deb, root], check=True)
        for folder, allowed in MANIFESTS.items():
            with open(os.path.join(root + folder, MANIFEST)) as f:
                manifest = json.load(f)
            check(manifest["path"] == HOST and manifest.get(allowed),
                  f"{folder}/{MANIFEST} names {manifest['path']} and its {allowed}")
        answer = get_version(root + HOST, work)
        check(answer == {"id": 1, "status": 0, "text": "1.31.0.81"},
              f"the installed host answers GetVersion: {answer}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
