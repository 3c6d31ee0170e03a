#!/usr/bin/env python3
"""The page -> extension -> native host path in real headless Firefox.

    firefox_test.py --host HOST --standin-host HOST_WITH_ATTACHMENT_STANDIN \
        --extension FIREFOX_EXTENSION_DIR --source SOURCE_DIR

Drives Firefox over WebDriver BiDi (its own remote protocol, over a WebSocket) and installs
the extension as a temporary add-on; the hosts run under a scripted person. Every process
started is stopped by its id. Exits 77 (skipped) without Firefox.
"""
import json
import os
import re
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import browser_pages  # noqa: E402
from browser_pages import (HOST_NAME, Failure, big_script, calls_script,  # noqa: E402
                           check, check_big, check_calls, check_log, host_manifest,
                           make_big_task, make_token, page_url, start_task_server, stop, stop_all,
                           write_host_wrapper)

FIREFOX = "/usr/lib/firefox-esr/firefox-esr"
ADDON_ID = "quillbox@kestrelsoft.com"


class Bidi:
    """WebDriver BiDi: JSON commands and answers over one WebSocket."""

    def __init__(self, url):
        import websocket  # Debian's python3-websocket
        # Firefox refuses a WebSocket handshake that carries an Origin header.
        self.socket = websocket.create_connection(url + "/session", suppress_origin=True,
                                                  timeout=90)
        self.next_id = 1
        self.send("session.new", {"capabilities": {}})

    def send(self, method, params=None):
        message_id = self.next_id
        self.next_id += 1
        self.socket.send(json.dumps({"id": message_id, "method": method,
                                     "params": params or {}}))
        while True:
            answer = json.loads(self.socket.recv())
            if answer.get("id") != message_id:
                continue  # an event
            if answer.get("type") == "error":
                raise Failure(f"{method}: {answer.get('error')}: {answer.get('message')}")
            return answer["result"]

    def evaluate(self, context, expression):
        """The value of an expression (a promise is awaited), passed back as JSON."""
        result = self.send("script.evaluate", {
            "expression": f"(async () => JSON.stringify(await ({expression})))()",
            "target": {"context": context}, "awaitPromise": True})
        if result["type"] == "exception":
            raise Failure(f"page script failed: {result['exceptionDetails'].get('text')}")
        return json.loads(result["result"]["value"])

    def open_page(self, url):
        context = self.send("browsingContext.create", {"type": "tab"})["context"]
        self.send("browsingContext.navigate", {"context": context, "url": url,
                                               "wait": "complete"})
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            if self.evaluate(context, "typeof window.QuillboxPlugin === 'object'"):
                return context
            time.sleep(0.05)
        raise Failure(f"the page {url} did not get window.QuillboxPlugin")


def start_firefox(work, home):
    profile = os.path.join(work, "profile")
    os.makedirs(profile)
    log_path = os.path.join(work, "browser.log")
    env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"),
               MOZ_CRASHREPORTER_DISABLE="1")
    with open(log_path, "wb") as log:
        process = subprocess.Popen(
            [FIREFOX, "--headless", "--no-remote", "--profile", profile,
             "--remote-debugging-port=0", "about:blank"],
            stdin=subprocess.DEVNULL, stdout=log, stderr=log, env=env, start_new_session=True)
    # Port 0: Firefox picks a free port and names it on its output.
    deadline = time.monotonic() + 30
    while time.monotonic() < deadline:
        with open(log_path, "rb") as f:
            found = re.search(rb"WebDriver BiDi listening on (ws://[0-9.:]+)", f.read())
        if found:
            return process, found.group(1).decode()
        if process.poll() is not None:
            break
        time.sleep(0.05)
    stop(process)
    raise Failure("Firefox did not open its remote protocol port")


def run(args, work):
    source = args.source
    token = make_token(source, work)
    wrapper = write_host_wrapper(work, args.host, args.standin_host, token, source)
    home = os.path.join(work, "home")
    host_manifest(os.path.join(home, ".mozilla", "native-messaging-hosts", HOST_NAME + ".json"),
                  wrapper, {"allowed_extensions": [ADDON_ID]})

    processes = []
    try:
        tasks = start_task_server(source, work, processes)
        firefox, url = start_firefox(work, home)
        processes.append(firefox)
        bidi = Bidi(url)
        installed = bidi.send("webExtension.install",
                              {"extensionData": {"type": "path", "path": args.extension}})
        check(installed.get("extension") == ADDON_ID, f"temporary add-on installed: {installed}")

        page = bidi.open_page(page_url(tasks))
        check_calls(bidi.evaluate(page, calls_script(tasks)), tasks, work, token)

        expected = make_big_task(source, work)
        check_big(bidi.evaluate(page, big_script(tasks)), expected)

        check_log(work, ADDON_ID, tasks)
        bidi.send("browser.close")
        firefox.wait(timeout=30)
        return 0
    finally:
        stop_all(processes, work)


if __name__ == "__main__":
    sys.exit(browser_pages.main(FIREFOX, "Firefox", run, ["--extension"]))
