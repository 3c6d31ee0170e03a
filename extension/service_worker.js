// Ties each control of a page (an extension port from the content script) to a native
// host of its own, adds the page's origin to every call, and joins answers that the
// host had to split. Chromium runs it as a service worker, Firefox as a background script.
"use strict";

const HOST = "com.kestrelsoft.quillbox";
// Each control starts a host process of its own: a page may not start hundreds.
const MAX_CONTROLS_PER_TAB = 4;
const liveControls = new Map(); // tab id -> controls open in it
// The host refuses longer requests; a task travels by URL.
const MAX_REQUEST_BYTES = 64 * 1024;
// What the browser says when no host manifest names HOST.
// How each browser says that no host manifest was found.
const HOST_MISSING = [
  "Specified native messaging host not found.",  // Chromium
  "No such native application com.kestrelsoft.quillbox",  // Firefox
];
const NOT_INSTALLED = "Quillbox is not installed on this computer (the browser found no " +
                      `native messaging host "${HOST}"); install it, then reload the page`;

// Whether the host is there: it is started and asked for its version, which shows nothing
// and starts no task. Pages asking at once share one probe, so a page cannot start hosts
// by the hundred this way either.
let probing = null;
function probeHost(origin) {
  if (!probing) {
    probing = new Promise((resolve) => {
      try {
        chrome.runtime.sendNativeMessage(
          HOST, { id: 0, method: "GetVersion", args: [], origin },
          (answer) => resolve(!chrome.runtime.lastError && answer !== undefined));
      } catch (error) {
        resolve(false);
      }
    }).finally(() => {
      probing = null;
    });
  }
  return probing;
}

chrome.runtime.onMessage.addListener((message, sender, respond) => {
  if (!message || message.type !== "isInstalled" || !sender.origin) {
    return false;
  }
  probeHost(sender.origin).then(respond);
  return true; // answered later
});

chrome.runtime.onConnect.addListener((page) => {
  const origin = page.sender && page.sender.origin;
  if (page.name !== "quillbox-control" || !origin) {
    page.disconnect();
    return;
  }
  const tab = page.sender.tab ? page.sender.tab.id : -1;
  const live = liveControls.get(tab) || 0;
  if (live >= MAX_CONTROLS_PER_TAB) {
    page.postMessage({ type: "closed",
                       message: `this page already has ${MAX_CONTROLS_PER_TAB} Quillbox controls ` +
                                "open; it may not create more" });
    page.disconnect();
    return;
  }
  liveControls.set(tab, live + 1);
  let counted = true;
  function release() {
    if (counted) {
      counted = false;
      const left = (liveControls.get(tab) || 1) - 1;
      if (left > 0) {
        liveControls.set(tab, left);
      } else {
        liveControls.delete(tab);
      }
    }
  }

  let native;
  try {
    native = chrome.runtime.connectNative(HOST);
  } catch (error) {
    release();
    page.postMessage({ type: "closed", message: String(error.message || error) });
    page.disconnect();
    return;
  }
  const calls = new Map(); // request id -> the page's call number
  let nextId = 1;
  let split = null; // {id, parts, data: []} while an answer comes in parts
  let open = true;

  function close(message) {
    release();
    if (!open) {
      return;
    }
    open = false;
    try {
      page.postMessage({ type: "closed", message });
    } catch (ignored) {
      // The page went away first.
    }
    page.disconnect();
    native.disconnect();
  }

  function deliver(answer) {
    let id = answer.id;
    // A request the host could not even read comes back without its id; with one
    // call at a time per control it belongs to the oldest one waiting.
    if (id === null && calls.size > 0) {
      id = calls.keys().next().value;
    }
    if (!calls.has(id)) {
      return;
    }
    const call = calls.get(id);
    calls.delete(id);
    page.postMessage({ type: "answer", call, answer });
  }

  native.onMessage.addListener((message) => {
    if (!Object.hasOwn(message, "part")) {
      deliver(message);
      return;
    }
    // Parts 0 .. parts-1 of one answer, in order; their data joined is its JSON text.
    const expected = split ? split.data.length : 0;
    if (message.part !== expected || typeof message.data !== "string" ||
        (split && (message.id !== split.id || message.parts !== split.parts))) {
      close("the Quillbox host sent a garbled answer");
      return;
    }
    if (!split) {
      split = { id: message.id, parts: message.parts, data: [] };
    }
    split.data.push(message.data);
    if (split.data.length === split.parts) {
      const text = split.data.join("");
      split = null;
      let answer;
      try {
        answer = JSON.parse(text);
      } catch (error) {
        close("the Quillbox host sent a garbled answer");
        return;
      }
      deliver(answer);
    }
  });

  native.onDisconnect.addListener((port) => {
    // Chromium says why in lastError, Firefox in the port's error.
    const error = port.error || chrome.runtime.lastError;
    const reason = error ? error.message : "Native host has exited.";
    close(HOST_MISSING.includes(reason) ? NOT_INSTALLED : "the Quillbox host has ended: " + reason);
  });

  page.onDisconnect.addListener(() => {
    release();
    open = false;
    native.disconnect();
  });

  page.onMessage.addListener((message) => {
    const request = { id: nextId++, method: message.method, args: message.args, origin };
    if (new TextEncoder().encode(JSON.stringify(request)).length > MAX_REQUEST_BYTES) {
      page.postMessage({ type: "failed", call: message.call,
                         message: `${message.method}: the request is over ${MAX_REQUEST_BYTES} ` +
                                  "bytes; a task is handed over by its URL" });
      return;
    }
    calls.set(request.id, message.call);
    native.postMessage(request);
  });
});
