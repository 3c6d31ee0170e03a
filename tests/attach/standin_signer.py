#!/usr/bin/env python3
# Stands in for the external document signer in tests, installed as "Evermark" in a
# temporary InstallDir. It checks what the bridge promises a signer (arguments, the three
# request lines, a private temporary folder, nothing inherited) and answers as
# QB_STANDIN_SIGNER says: "area:TEXT", "echo" (the PDF path), "cancel", "fail:MESSAGE",
# "raw:BYTES", "crash" or "none", after QB_STANDIN_DELAY_MS. A broken promise is answered
# as failure 9 naming it, so the page sees an error where it expected an area.
import os, signal, stat, sys, time


def problem(path_out):
    if sys.argv[1:2] != ["/io2"] or len(sys.argv) != 3:
        return "arguments are not /io2 and the request file"
    folder = os.path.dirname(sys.argv[2])
    if any(os.environ.get(name) != folder for name in ("TMP", "TEMP", "TMPDIR")):
        return "TMP, TEMP and TMPDIR are not the request's folder"
    info = os.stat(folder)
    if stat.S_IMODE(info.st_mode) != 0o700 or info.st_uid != os.geteuid():
        return "the temporary folder is not private"
    if os.fstat(0).st_rdev != os.stat("/dev/null").st_rdev:
        return "standard input is not /dev/null"
    inherited = [fd for fd in os.listdir("/proc/self/fd") if int(fd) > 2]
    if len(inherited) > 1:  # listdir's own
        return "inherited descriptors " + " ".join(inherited)
    with open(sys.argv[2], "rb") as request:
        lines = request.read().decode().split("\n")
    if len(lines) != 4 or lines[0] != "getarea" or lines[3] != "":
        return "the request is not three lines starting with getarea"
    if lines[1] != str(len(lines[2].encode("utf-16-le")) // 2):
        return "the length line does not count the path"
    path_out.append(lines[2])
    return None


path = []
wrong = problem(path)
time.sleep(int(os.environ.get("QB_STANDIN_DELAY_MS", "0")) / 1000)
mode = os.environ.get("QB_STANDIN_SIGNER", "")
answers = {"echo": lambda: "0\n%s\n" % path[0], "cancel": lambda: "-2\nCancelled\n",
           "area": lambda: "0\r\n%s\r\n" % mode[5:], "fail": lambda: "5\n%s\n" % mode[5:],
           "raw": lambda: mode[4:]}
if mode == "crash":
    os.kill(os.getpid(), signal.SIGKILL)
kind = mode.split(":")[0]
if wrong or kind in answers:
    with open(os.path.join(os.environ["TMPDIR"], "output.io2"), "w") as out:
        out.write("9\n%s\n" % wrong if wrong else answers[kind]())
