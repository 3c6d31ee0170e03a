// Runs in the page's own world and gives it window.QuillboxPlugin. Each control made by
// QuillboxPlugin.createControl() talks to its own native host process, so the tasks of
// one control share one task processor, as they did on a page with the plug-in object.
// Every method returns a promise of {status, ...out values}.
(() => {
  "use strict";
  if (window.QuillboxPlugin) {
    return;
  }
  const TO_EXTENSION = "quillbox:to-extension";
  const TO_PAGE = "quillbox:to-page";

  // The control's methods in slot order, with the type of their one argument.
  const METHODS = {
    SetLanguage: "string",
    ExecuteUrl: "string",
    SetDebug: "boolean",
    GetLogFileInfo: null,
    GetVersion: null,
  };

  const controls = new Map();
  let nextControl = 1;
  let nextCall = 1;
  const probes = new Map(); // probe number -> resolve of isInstalled()
  let nextProbe = 1;

  function fail(message, Kind = Error) {
    return Promise.reject(new Kind("QuillboxPlugin: " + message));
  }

  class QuillboxControl {
    #id;
    #running = null; // {call, method, resolve, reject}
    #closed = null; // why the control can no longer be used

    constructor() {
      this.#id = nextControl++;
      controls.set(this.#id, this);
      window.postMessage({ channel: TO_EXTENSION, type: "open", control: this.#id }, "*");
    }

    SetLanguage(...args) { return this.#call("SetLanguage", args); }
    ExecuteUrl(...args) { return this.#call("ExecuteUrl", args); }
    SetDebug(...args) { return this.#call("SetDebug", args); }
    GetLogFileInfo(...args) { return this.#call("GetLogFileInfo", args); }
    GetVersion(...args) { return this.#call("GetVersion", args); }

    // Ends the control and its host; a running call is rejected.
    close() {
      if (!this.#closed) {
        window.postMessage({ channel: TO_EXTENSION, type: "close", control: this.#id }, "*");
        this.#finish("the control was closed");
      }
    }

    #call(method, args) {
      const type = METHODS[method];
      const wanted = type === null ? 0 : 1;
      if (args.length !== wanted) {
        return fail(`${method} takes ${wanted} argument${wanted === 1 ? "" : "s"}, got ${args.length}`,
                    TypeError);
      }
      if (type !== null && typeof args[0] !== type) {
        return fail(`the argument of ${method} must be a ${type}, got ${typeof args[0]}`, TypeError);
      }
      if (this.#closed) {
        return fail(`${method}: the control is closed (${this.#closed})`);
      }
      if (this.#running) {
        return fail(`${method} called while ${this.#running.method} is still running on this ` +
                    "control; wait for its promise, or create another control");
      }
      return new Promise((resolve, reject) => {
        const call = nextCall++;
        this.#running = { call, method, resolve, reject };
        window.postMessage({ channel: TO_EXTENSION, type: "call", control: this.#id, call, method,
                             args }, "*");
      });
    }

    _deliver(message) {
      const running = this.#running;
      if (message.type === "closed") {
        this.#finish(message.message || "the Quillbox host has exited");
        return;
      }
      if (!running || running.call !== message.call) {
        return;
      }
      this.#running = null;
      if (message.type === "failed") {
        running.reject(new Error("QuillboxPlugin: " + message.message));
        return;
      }
      const answer = message.answer;
      if (typeof answer.error === "string") {
        running.reject(new Error(`QuillboxPlugin: ${running.method}: ${answer.error}`));
        return;
      }
      const { id, ...out } = answer;
      running.resolve(out);
    }

    #finish(reason) {
      this.#closed = reason;
      controls.delete(this.#id);
      const running = this.#running;
      this.#running = null;
      if (running) {
        running.reject(new Error(`QuillboxPlugin: ${running.method}: ${reason}`));
      }
    }
  }

  window.addEventListener("message", (event) => {
    const message = event.data;
    if (event.source !== window || !message || message.channel !== TO_PAGE) {
      return;
    }
    if (message.type === "probe") {
      const resolve = probes.get(message.probe);
      probes.delete(message.probe);
      if (resolve) {
        resolve(message.installed === true);
      }
      return;
    }
    const control = controls.get(message.control);
    if (control) {
      control._deliver(message);
    }
  });

  Object.defineProperty(window, "QuillboxPlugin", {
    value: Object.freeze({
      version: "1.31.0.81",
      createControl: () => new QuillboxControl(),
      // Whether the plug-in's program is installed here: a promise of true or false,
      // with nothing shown to the person.
      isInstalled: () => new Promise((resolve) => {
        const probe = nextProbe++;
        probes.set(probe, resolve);
        window.postMessage({ channel: TO_EXTENSION, type: "probe", probe }, "*");
      }),
    }),
    writable: false,
    enumerable: false,
    configurable: false,
  });
})();
