// Bridges the page's QuillboxPlugin (page_api.js) and the service worker: one
// extension port per control, which the service worker ties to one native host.
(() => {
  "use strict";
  const TO_EXTENSION = "quillbox:to-extension";
  const TO_PAGE = "quillbox:to-page";
  const ARGUMENT_TYPES = {
    SetLanguage: "string",
    ExecuteUrl: "string",
    SetDebug: "boolean",
    GetLogFileInfo: null,
    GetVersion: null,
  };

  const ports = new Map();

  function toPage(message) {
    window.postMessage({ channel: TO_PAGE, ...message }, "*");
  }

  // The page world can post anything: check again what page_api.js checked.
  function validCall(message) {
    if (!Object.hasOwn(ARGUMENT_TYPES, message.method) || !Array.isArray(message.args)) {
      return false;
    }
    const type = ARGUMENT_TYPES[message.method];
    return type === null ? message.args.length === 0
                         : message.args.length === 1 && typeof message.args[0] === type;
  }

  function open(control) {
    if (ports.has(control)) {
      return;
    }
    const port = chrome.runtime.connect({ name: "quillbox-control" });
    ports.set(control, port);
    port.onMessage.addListener((message) => {
      if (message.type === "answer" || message.type === "failed") {
        toPage({ type: message.type, control, call: message.call, answer: message.answer,
                 message: message.message });
      } else if (message.type === "closed") {
        ports.delete(control);
        toPage({ type: "closed", control, message: message.message });
      }
    });
    port.onDisconnect.addListener(() => {
      if (ports.get(control) === port) {
        ports.delete(control);
        toPage({ type: "closed", control, message: "the Quillbox extension closed the connection" });
      }
    });
  }

  function probe(number) {
    const answer = (installed) => toPage({ type: "probe", probe: number, installed });
    chrome.runtime.sendMessage({ type: "isInstalled" }).then((installed) => answer(installed === true),
                                                            () => answer(false));
  }

  window.addEventListener("message", (event) => {
    const message = event.data;
    if (event.source !== window || !message || message.channel !== TO_EXTENSION) {
      return;
    }
    if (message.type === "probe" && typeof message.probe === "number") {
      probe(message.probe);
      return;
    }
    if (typeof message.control !== "number") {
      return;
    }
    if (message.type === "open") {
      open(message.control);
    } else if (message.type === "close") {
      const port = ports.get(message.control);
      ports.delete(message.control);
      if (port) {
        port.disconnect();
      }
    } else if (message.type === "call") {
      const port = ports.get(message.control);
      if (!port) {
        toPage({ type: "failed", control: message.control, call: message.call,
                 message: "the control is closed" });
      } else if (!validCall(message)) {
        toPage({ type: "failed", control: message.control, call: message.call,
                 message: "invalid call of " + String(message.method) });
      } else {
        port.postMessage({ call: message.call, method: message.method, args: message.args });
      }
    }
  });
})();
