#!/usr/bin/env python3
"""The page -> extension -> native host path in real headless Chromium.

    browser_test.py --host HOST --standin-host HOST_WITH_ATTACHMENT_STANDIN --source SOURCE_DIR

Drives a page over the DevTools pipe; the hosts run under a scripted person. Every
process started is stopped by its id. Exits 77 (skipped) without Chromium.
"""
import fcntl
import json
import os
import select
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import browser_pages  # noqa: E402
from browser_pages import (HOST_NAME, INFO, VERSION, Failure, big_script,  # noqa: E402
                           calls_script, check, check_big, check_calls, check_log, host_manifest,
                           host_pids, make_big_task, make_token, page_url, start_task_server,
                           stop_all, write_host_wrapper)

CHROMIUM = "/usr/lib/chromium/chromium"
EXTENSION_ID = "bhkjbehmjdpecgpopkjeifheaabfcpbp"


class DevTools:
    """DevTools protocol over --remote-debugging-pipe: JSON messages ending in NUL."""

    def __init__(self, to_browser, from_browser):
        self.to_browser = to_browser
        self.from_browser = from_browser
        self.buffer = b""
        self.next_id = 1
        self.targets = {}  # session -> target

    def _message(self, deadline):
        while b"\0" not in self.buffer:
            left = deadline - time.monotonic()
            if left <= 0:
                raise Failure("no answer from Chromium in time")
            ready, _, _ = select.select([self.from_browser], [], [], left)
            if ready:
                chunk = os.read(self.from_browser, 1 << 20)
                if not chunk:
                    raise Failure("Chromium closed the DevTools pipe")
                self.buffer += chunk
        text, self.buffer = self.buffer.split(b"\0", 1)
        return json.loads(text)

    def send(self, method, params=None, session=None, timeout=60):
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        self.next_id += 1
        os.write(self.to_browser, json.dumps(message).encode() + b"\0")
        deadline = time.monotonic() + timeout
        while True:
            answer = self._message(deadline)
            if answer.get("id") == message["id"]:
                if "error" in answer:
                    raise Failure(f"{method}: {answer['error']}")
                return answer.get("result", {})

    def evaluate(self, session, expression, timeout=60):
        result = self.send("Runtime.evaluate",
                           {"expression": expression, "awaitPromise": True,
                            "returnByValue": True}, session, timeout)
        if "exceptionDetails" in result:
            details = result["exceptionDetails"]
            text = details.get("exception", {}).get("description") or details.get("text")
            raise Failure(f"page script failed: {text}")
        return result["result"].get("value")

    def open_page(self, url):
        target = self.send("Target.createTarget", {"url": url})["targetId"]
        session = self.send("Target.attachToTarget",
                            {"targetId": target, "flatten": True})["sessionId"]
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            if self.evaluate(session, "document.readyState === 'complete' && "
                                      "typeof window.QuillboxPlugin === 'object'"):
                self.targets[session] = target
                return session
            time.sleep(0.05)
        raise Failure(f"the page {url} did not get window.QuillboxPlugin")


def running(pid):
    """Whether a process runs (a zombie has ended)."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()[0] != "Z"
    except (FileNotFoundError, ProcessLookupError):
        return False


def transcript_lines(work):
    path = os.path.join(work, "transcript.jsonl")
    if not os.path.exists(path):
        return []
    with open(path, encoding="utf-8") as f:
        return [json.loads(line) for line in f]


def start_chromium(work, extension):
    # The browser reads commands from fd 3 and writes to fd 4. The child's ends are moved
    # above 4 first: a dup2 onto the descriptor it already is would keep it close-on-exec.
    def above_4(fd):
        moved = fcntl.fcntl(fd, fcntl.F_DUPFD_CLOEXEC, 5)
        os.close(fd)
        return moved

    commands_read, commands_write = os.pipe()
    answers_read, answers_write = os.pipe()
    commands_read, answers_write = above_4(commands_read), above_4(answers_write)

    def child_fds():
        os.dup2(commands_read, 3)
        os.dup2(answers_write, 4)

    log = open(os.path.join(work, "browser.log"), "wb")
    process = subprocess.Popen(
        [CHROMIUM, "--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic",
         "--no-first-run", "--no-default-browser-check", "--disable-background-networking",
         "--disable-component-update", "--disable-sync",
         "--disable-features=DisableLoadExtensionCommandLineSwitch",
         "--user-data-dir=" + os.path.join(work, "profile"),
         "--load-extension=" + extension, "--remote-debugging-pipe", "about:blank"],
        stdin=subprocess.DEVNULL, stdout=log, stderr=log, close_fds=False,
        preexec_fn=child_fds, start_new_session=True)
    log.close()
    os.close(commands_read)
    os.close(answers_write)
    return process, DevTools(commands_write, answers_read)


def wait_for_service_worker(devtools):
    prefix = f"chrome-extension://{EXTENSION_ID}/"
    deadline = time.monotonic() + 30
    while time.monotonic() < deadline:
        for target in devtools.send("Target.getTargets")["targetInfos"]:
            if target["type"] == "service_worker" and target["url"].startswith(prefix):
                return
        time.sleep(0.05)
    raise Failure("the extension's service worker did not start")


def run(args, work):
    source = args.source
    token = make_token(source, work)
    wrapper = write_host_wrapper(work, args.host, args.standin_host, token, source)
    host_manifest(os.path.join(work, "profile", "NativeMessagingHosts", HOST_NAME + ".json"),
                  wrapper, {"allowed_origins": [f"chrome-extension://{EXTENSION_ID}/"]})

    processes = []
    try:
        tasks = start_task_server(source, work, processes)
        chromium, devtools = start_chromium(work, os.path.join(source, "extension"))
        processes.append(chromium)
        wait_for_service_worker(devtools)

        first = devtools.open_page(page_url(tasks))
        out = devtools.evaluate(first, calls_script(tasks), timeout=90)
        check_calls(out, tasks, work, token)

        # A second tab gets a control of its own with a host of its own.
        second = devtools.open_page(page_url(tasks))
        out2 = devtools.evaluate(second, f"""(async () =>
            await QuillboxPlugin.createControl().ExecuteUrl("{tasks}/info.p7"))()""")
        check(out2 == {"status": 0, "response": INFO}, "second tab runs its task")
        pids = host_pids(work)
        check(len(pids) == 2 and pids[0] != pids[1], f"second tab has its own host: {pids}")

        # The host ending under a running call rejects it; the control is closed after.
        devtools.evaluate(second, f"""(() => {{
            window.slow = QuillboxPlugin.createControl();
            window.slowCall = slow.ExecuteUrl("{tasks}/info.p7?delay=20000")
                .then(() => "resolved", (e) => e.message);
            return true;
        }})()""")
        deadline = time.monotonic() + 10
        while len(host_pids(work)) < 3 and time.monotonic() < deadline:
            time.sleep(0.05)
        time.sleep(0.5)
        os.kill(host_pids(work)[2], signal.SIGKILL)
        rejected = devtools.evaluate(second, "window.slowCall")
        check("host has ended" in rejected, f"host exit rejects the running call: {rejected}")
        after = devtools.evaluate(second, "window.slow.GetVersion().then(() => 'resolved', "
                                          "(e) => e.message)")
        check("closed" in after, f"the control is closed after its host ended: {after}")

        # An answer of several MiB comes in parts that the extension joins.
        expected = make_big_task(source, work)
        check_big(devtools.evaluate(second, big_script(tasks), timeout=90), expected)

        # A page may keep four controls (four host processes) open; the fifth is refused.
        third = devtools.open_page(page_url(tasks))
        limits = devtools.evaluate(third, """(async () => {
            const controls = [1, 2, 3, 4, 5].map(() => QuillboxPlugin.createControl());
            await new Promise((resolve) => setTimeout(resolve, 1000));
            const outcome = (promise) => promise.then((a) => a.text, (e) => e.message);
            return {fourth: await outcome(controls[3].GetVersion()),
                    fifth: await outcome(controls[4].GetVersion())};
        })()""")
        check(limits["fourth"] == VERSION, f"the fourth control works: {limits}")
        check("already has 4 Quillbox controls" in limits["fifth"],
              f"the fifth control is refused: {limits}")

        # Whether the host is installed, asked without a control; a call without a host
        # says so in words a page can show.
        manifest = os.path.join(work, "profile", "NativeMessagingHosts", HOST_NAME + ".json")
        probe = """(async () => ({installed: await QuillboxPlugin.isInstalled(),
            call: await QuillboxPlugin.createControl().GetVersion().then((a) => a.text,
                                                                       (e) => e.message)}))()"""
        fourth = devtools.open_page(page_url(tasks))
        installed = devtools.evaluate(fourth, probe)
        check(installed == {"installed": True, "call": VERSION},
              f"isInstalled() with the host registered: {installed}")
        os.rename(manifest, manifest + ".away")
        missing = devtools.evaluate(fourth, probe)
        os.rename(manifest + ".away", manifest)
        check(missing["installed"] is False and
              "Quillbox is not installed on this computer" in missing["call"],
              f"isInstalled() without a host manifest, and a call then: {missing}")

        if token:
            check_tab_closed_during_dialog(devtools, work, page_url(tasks), tasks)

        check_log(work, f"chrome-extension://{EXTENSION_ID}/", tasks)

        devtools.send("Browser.close")
        chromium.wait(timeout=15)
        return 0
    finally:
        stop_all(processes, work)


def check_tab_closed_during_dialog(devtools, work, url, tasks):
    """Closing the tab while the certificate dialog is open (the scripted person waits
    30 s before each step) cancels the dialog and ends the host; nothing is signed."""
    os.remove(os.path.join(work, "use-standin"))
    with open(os.path.join(work, "host-env"), "w") as f:
        f.write("export QUILLBOX_UI_STEP_MS=30000\n")
    hosts = len(host_pids(work))
    seen = len(transcript_lines(work))
    tab = devtools.open_page(url)
    devtools.evaluate(tab, f"""(() => {{
        QuillboxPlugin.createControl().ExecuteUrl("{tasks}/sign.p7");
        return true;
    }})()""")
    deadline = time.monotonic() + 10
    while len(host_pids(work)) <= hosts and time.monotonic() < deadline:
        time.sleep(0.05)
    check(len(host_pids(work)) == hosts + 1, "the tab's task started a host")
    host = host_pids(work)[-1]
    time.sleep(2)  # the task document is fetched and the dialog opens
    closed = time.monotonic()
    devtools.send("Target.closeTarget", {"targetId": devtools.targets[tab]})
    while running(host) and time.monotonic() < closed + 10:
        time.sleep(0.02)
    ended = time.monotonic() - closed
    os.remove(os.path.join(work, "host-env"))
    check(not running(host), f"closing the tab ends its host ({ended:.2f} s)")
    print(f"tab closed to host ended: {ended * 1000:.0f} ms")
    shown = [line for line in transcript_lines(work)[seen:] if line.get("dialog") != "wait"]
    check([(line.get("dialog"), line.get("answer"), line.get("givenUp")) for line in shown] ==
          [("certificates", "cancel", True)],
          f"the certificate dialog was cancelled and nothing else asked (no PIN): {shown}")


if __name__ == "__main__":
    sys.exit(browser_pages.main(CHROMIUM, "Chromium", run))
